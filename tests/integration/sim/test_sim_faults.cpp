#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "SimIdentity.h"
#include "SimServer.h"
#include "SimSession.h"
#include "SimTestClient.h"
#include "SimTestSupport.h"

using namespace std::chrono_literals;

namespace {

// A server with `faults` and a client logged in as the password-less user.
class FaultSession {
  public:
    explicit FaultSession(const CSimFaults& faults) : server_(CodeProfile(), faults) {
        port_ = server_.Start(0);
    }
    bool Open() { return port_ != 0 && client_.Connect(port_) && client_.LogIn("user", ""); }
    CSimServer& Server() { return server_; }
    CSimTestClient& Client() { return client_; }

  private:
    CSimServer server_;
    CSimTestClient client_;
    uint16_t port_ = 0;
};

const std::string kModelAnswer = SimIdentityAnswer(CodeProfile());
const std::string kPidAnswer = SimPidAuxAnswer(CodeProfile());

}  // namespace

TEST(SimFaults, AnswerDelayHoldsEveryAnswerBack) {
    CSimFaults faults;
    faults.answerDelayMs = 80;
    FaultSession session(faults);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(session.Open());  // greeting and log-in answer, each delayed
    EXPECT_GE(std::chrono::steady_clock::now() - start, 160ms);
    for (const char* request : {"_C", "XX"}) {
        SCOPED_TRACE(request);
        const auto sent = std::chrono::steady_clock::now();
        ASSERT_TRUE(session.Client().SendLine(request));
        EXPECT_FALSE(session.Client().ReadList().empty());
        EXPECT_GE(std::chrono::steady_clock::now() - sent, 80ms);
    }
}

TEST(SimFaults, SegmentsArriveInSeveralSmallReads) {
    struct Case {
        uint32_t bytes;
        const char* request;
        std::string answer;
    };
    const Case cases[] = {
        {20, "_C", kModelAnswer}, {16, "ZSPID_AUX?", kPidAnswer}, {1, "Q", "E1\r\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        FaultSession session(CSimFaults{});
        ASSERT_TRUE(session.Open());
        CSimFaults faults;
        faults.segmentBytes = c.bytes;
        faults.segmentPauseMs = 50;
        session.Server().SetFaults(faults);
        session.Client().ClearReadSizes();
        const auto sent = std::chrono::steady_clock::now();
        ASSERT_TRUE(session.Client().SendLine(c.request));
        EXPECT_EQ(session.Client().ReadList(), c.answer);
        // The pieces are paused apart, so the whole answer cannot arrive sooner than all the
        // pauses; how the reads group the pieces depends on scheduling and is not checked.
        const size_t pieces = (c.answer.size() + c.bytes - 1) / c.bytes;
        EXPECT_GE(std::chrono::steady_clock::now() - sent, (pieces - 1) * 50ms);
        EXPECT_GE(session.Client().ReadSizes().size(), pieces > 1 ? 2u : 1u);
    }
}

TEST(SimFaults, CloseOnRequestEndsTheConnectionUnanswered) {
    CSimFaults faults;
    faults.closeOnRequest = 2;
    FaultSession session(faults);
    ASSERT_TRUE(session.Open());
    ASSERT_TRUE(session.Client().SendLine("_C"));
    EXPECT_EQ(session.Client().ReadList(), kModelAnswer);
    ASSERT_TRUE(session.Client().SendLine("ZSPID_AUX?"));
    bool closed = false;
    EXPECT_EQ(session.Client().ReadUntilClosed(&closed), "");
    EXPECT_TRUE(closed);
    EXPECT_EQ(session.Server().CommandRequests(), (std::vector<std::string>{"_C", "ZSPID_AUX?"}));
}

TEST(SimFaults, StallReadsButNeverAnswersAndKeepsTheSocketOpen) {
    CSimFaults faults;
    faults.stallFromRequest = 2;
    FaultSession session(faults);
    ASSERT_TRUE(session.Open());
    ASSERT_TRUE(session.Client().SendLine("_C"));
    EXPECT_EQ(session.Client().ReadList(), kModelAnswer);
    const std::string over(2000, 'x');
    ASSERT_TRUE(session.Client().SendRaw("ZSPID_AUX?\r\nXX\r\n" + over + "\r\n_C\r\n"));
    // The user name, "_C" and four more lines; the last is read only after the ones before it
    // were handled, so any answer to them would be on its way by now.
    ASSERT_TRUE(session.Server().WaitForRequestCount(6, 5s));
    EXPECT_TRUE(session.Client().StaysQuiet(100ms));
    EXPECT_EQ(session.Server().CommandRequests(),
              (std::vector<std::string>{"_C", "ZSPID_AUX?", "XX", "_C"}));
}

TEST(SimFaults, ErrorForAKeyAnswersOnlyThatKeyWithAnErrorLine) {
    CSimFaults faults;
    faults.errorForKeys = {"_C", "FC"};
    FaultSession session(faults);
    ASSERT_TRUE(session.Open());
    struct Case {
        const char* request;
        std::string answer;
    };
    const Case cases[] = {{"_C", "E1\r\n"}, {"ZSPID_AUX?", kPidAnswer}, {"_C", "E1\r\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        ASSERT_TRUE(session.Client().SendLine(c.request));
        EXPECT_EQ(session.Client().ReadList(), c.answer);
    }
}

TEST(SimFaults, GreetingOverrideReplacesTheProfileGreeting) {
    struct Case {
        std::optional<std::string> greeting;
        std::string expected;
    };
    const Case cases[] = {
        {std::nullopt, kSimDefaultGreeting},
        {std::string("Input username.\r\n"), "Input username.\r\n"},
        {std::string("Welcome\r\n"), "Welcome\r\n"},
    };
    for (const auto& c : cases) {
        CSimFaults faults;
        faults.greeting = c.greeting;
        CSimServer server(CodeProfile(), faults);
        const uint16_t port = server.Start(0);
        ASSERT_NE(port, 0);
        CSimTestClient client;
        ASSERT_TRUE(client.Connect(port));
        EXPECT_EQ(client.ReadLine(), c.expected);
    }
}

TEST(SimFaults, CloseMidAnswerSendsTheFirstHalfOnly) {
    CSimFaults faults;
    faults.closeMidAnswerOn = 1;
    FaultSession session(faults);
    ASSERT_TRUE(session.Open());
    ASSERT_TRUE(session.Client().SendLine("_C"));
    bool closed = false;
    EXPECT_EQ(session.Client().ReadUntilClosed(&closed),
              kModelAnswer.substr(0, kModelAnswer.size() / 2));
    EXPECT_TRUE(closed);
}

TEST(SimFaults, OversizeAnswerIsAListBeyondTheReceiveArea) {
    CSimFaults faults;
    faults.oversizeAnswerOn = 2;
    FaultSession session(faults);
    ASSERT_TRUE(session.Open());
    ASSERT_TRUE(session.Client().SendLine("_C"));
    EXPECT_EQ(session.Client().ReadList(), kModelAnswer);
    ASSERT_TRUE(session.Client().SendLine("_C"));
    const std::string big = session.Client().ReadList();
    EXPECT_GT(big.size(), 102400u);
    EXPECT_EQ(big.rfind("EA\r\n", 0), 0u);
    EXPECT_EQ(big.compare(big.size() - 6, 6, "\r\nEN\r\n"), 0);
    EXPECT_EQ(big.find("\r\nEN\r\n"), big.size() - 6);  // one list, not several
    ASSERT_TRUE(session.Client().SendLine("_C"));
    EXPECT_EQ(session.Client().ReadList(), kModelAnswer);
}

TEST(SimFaults, SwitchesChangeWhileAClientIsConnected) {
    FaultSession session(CSimFaults{});
    ASSERT_TRUE(session.Open());
    CSimFaults faults;
    faults.errorForKeys = {"_C"};
    session.Server().SetFaults(faults);
    EXPECT_EQ(session.Server().Faults().errorForKeys, faults.errorForKeys);
    ASSERT_TRUE(session.Client().SendLine("_C"));
    EXPECT_EQ(session.Client().ReadList(), "E1\r\n");
    session.Server().SetFaults(CSimFaults{});
    ASSERT_TRUE(session.Client().SendLine("_C"));
    EXPECT_EQ(session.Client().ReadList(), kModelAnswer);
    // Request numbers count per connection from the log-in: this was request 2.
    faults = CSimFaults{};
    faults.closeOnRequest = 3;
    session.Server().SetFaults(faults);
    ASSERT_TRUE(session.Client().SendLine("_C"));
    bool closed = false;
    EXPECT_EQ(session.Client().ReadUntilClosed(&closed), "");
    EXPECT_TRUE(closed);
}

TEST(SimFaults, RequestNumbersStartAgainOnEveryConnection) {
    CSimFaults faults;
    faults.closeOnRequest = 2;
    CSimServer server(CodeProfile(), faults);
    const uint16_t port = server.Start(0);
    ASSERT_NE(port, 0);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        CSimTestClient client;
        ASSERT_TRUE(client.Connect(port));
        ASSERT_TRUE(client.LogIn("user", ""));
        ASSERT_TRUE(client.SendLine("_C"));
        EXPECT_EQ(client.ReadList(), kModelAnswer);
        ASSERT_TRUE(client.SendLine("_C"));
        bool closed = false;
        EXPECT_EQ(client.ReadUntilClosed(&closed), "");
        EXPECT_TRUE(closed);
    }
}
