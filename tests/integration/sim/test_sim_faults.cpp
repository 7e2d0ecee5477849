// The simulator's fault switches. Those that spoil an answer (close, stall, error, garble) are
// driven through the console's own link by the fault suites, which see each at the request it
// names; here the timing switches, the oversize answer, a changed switch on a live session and
// the pieces the switches are built from.
#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "SimAnswerFormat.h"
#include "SimIdentity.h"
#include "SimServer.h"
#include "SimSession.h"
#include "SimTestClient.h"
#include "SimTestSupport.h"

using namespace std::chrono_literals;

namespace {

const std::string kModel = SimIdentityAnswer(CodeProfile());

// What arrives for one request: a whole answer, or (when the expectation ends in "|closed" or
// "|open") everything until the peer closes or stays quiet for a while, and which it was.
std::string Answer(CSimTestClient& client, const std::string& request,
                   const std::string& expected) {
    if (!client.SendLine(request)) {
        return "(send failed)";
    }
    const bool closes = expected.ends_with("|closed");
    if (!closes && !expected.ends_with("|open")) {
        return client.ReadList();
    }
    bool closed = false;
    const std::string got = client.ReadUntilClosed(&closed, closes ? 5000ms : 200ms);
    return got + (closed ? "|closed" : "|open");
}

}  // namespace

TEST(SimFaults, DelaysOversizeGreetingSwitchesChangedWhileConnectedAndFailedLogIns) {
    CSimFaults faults;
    faults.answerDelayMs = 80;
    faults.greeting = "Welcome\r\n";
    CSimServer server(CodeProfile(), faults);
    ASSERT_NE(server.Start(0), 0);
    CSimTestClient client;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(client.Connect(server.Port()));
    EXPECT_EQ(client.ReadLine(), "Welcome\r\n");
    ASSERT_TRUE(client.SendLine("user"));
    EXPECT_EQ(client.ReadLine(), "E0\r\n");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 160ms);  // greeting and log-in answer

    // A session takes changed switches up at its next request. Request 1: in pieces paused
    // apart, whole and no sooner than all the pauses.
    faults = CSimFaults{};
    faults.segmentBytes = 10;
    faults.segmentPauseMs = 20;
    server.SetFaults(faults);
    const auto sent = std::chrono::steady_clock::now();
    EXPECT_EQ(Answer(client, "_C", kModel), kModel);
    EXPECT_GE(std::chrono::steady_clock::now() - sent, (kModel.size() - 1) / 10 * 20ms);
    faults = CSimFaults{};
    faults.oversizeAnswerOn = 3;
    server.SetFaults(faults);
    EXPECT_EQ(Answer(client, "_C", kModel), kModel);
    const std::string big = Answer(client, "_C", "");
    EXPECT_GT(big.size(), 102400u);
    EXPECT_EQ(big.rfind("EA\r\n", 0), 0u);
    EXPECT_EQ(big.find("\r\nEN\r\n"), big.size() - 6);  // one list, not several
    EXPECT_EQ(Answer(client, "_C", kModel), kModel);

    // A failed log-in ends the connection.
    CSimTestClient refused;
    ASSERT_TRUE(refused.Connect(server.Port()));
    EXPECT_FALSE(refused.LogIn("admin", "wrong"));
    bool closed = false;
    EXPECT_EQ(refused.ReadUntilClosed(&closed), "");
    EXPECT_TRUE(closed);
}

TEST(SimFaults, GarbledLists) {
    struct Case {
        std::string answer;
        SimGarble kind;
        std::string garbled;
    };
    const std::string binary("EB\r\n\0\0\0\x07\x01\0\0\0x\r\n", 15);
    const Case cases[] = {
        {"EA\r\nA,1\r\nB,2\r\nEN\r\n", SimGarble::kDropOpener, "A,1\r\nB,2\r\nEN\r\n"},
        {"EA\r\nA,1\r\nB,2\r\nEN\r\n", SimGarble::kCutLineEnd, "EA\r\nA,1B,2\r\nEN\r\n"},
        // An empty list has no data line to spoil; the closer must stay intact.
        {"EA\r\nEN\r\n", SimGarble::kCutLineEnd, "EA\r\nEN\r\n"},
        {binary, SimGarble::kDropOpener, binary},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SimGarbleList(c.answer, c.kind), c.garbled) << c.answer;
    }
}

TEST(SimFaults, SoakModePicksEveryNthRequestAndEveryKind) {
    EXPECT_EQ(SimPickRandomFault(5, 0, 3), SimRandomFault::kNone);
    EXPECT_EQ(SimPickRandomFault(4, 5, 3), SimRandomFault::kNone);
    EXPECT_EQ(SimPickRandomFault(0, 5, 0), SimRandomFault::kDelay);
    std::map<SimRandomFault, int> seen;
    for (uint32_t draw = 0; draw < 50; ++draw) {
        const SimRandomFault f = SimPickRandomFault(10, 5, draw);
        EXPECT_NE(f, SimRandomFault::kNone);
        EXPECT_STRNE(SimRandomFaultName(f), "none");
        ++seen[f];
    }
    EXPECT_EQ(seen.size(), 5u);
}
