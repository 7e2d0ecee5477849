#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "SimDispatcher.h"
#include "SimLineReader.h"
#include "SimServer.h"
#include "SimTestClient.h"
#include "SimTestSupport.h"

namespace {

bool IsErrorLine(const std::string& line) {
    return line.size() >= 4 && line[0] == 'E' && line[1] != '0' && line[1] != 'A' &&
           line[1] != 'B' && line.find("\r\n") == line.size() - 2;
}

}  // namespace

TEST(SimDispatcher, RoutesByTheFirstTwoCharacters) {
    CSimDispatcher dispatcher;
    std::vector<std::string> seen;
    auto echo = [&seen](const CSimRequest& request, CSimInstrument&) {
        seen.push_back(std::string(request.key) + "|" + std::string(request.text) + "|" +
                       (request.user != nullptr ? request.user->name : "-"));
        return std::string("E0\r\n");
    };
    ASSERT_TRUE(dispatcher.Register("&4", echo));
    ASSERT_TRUE(dispatcher.Register("FC", echo));
    ASSERT_TRUE(dispatcher.Register("UD", [](const CSimRequest&, CSimInstrument&) {
        return std::string();  // a handler that fails to answer
    }));
    CSimInstrument instrument(CodeProfile());
    const CSimUser user{"admin", "x", 'A'};

    struct Case {
        const char* request;
        const char* answer;
        const char* seen;  // what the handler was given, or nullptr when none ran
    };
    const Case cases[] = {
        {"&4 5", "E0\r\n", "&4|&4 5|admin"},
        {"FC GET", "E0\r\n", "FC|FC GET|admin"},
        {"FC", "E0\r\n", "FC|FC|admin"},
        {"fc GET", "E1\r\n", nullptr},
        {"&", "E1\r\n", nullptr},
        {"", "E1\r\n", nullptr},
        {"XX?", "E1\r\n", nullptr},
        {"UD 1,", "E1\r\n", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        seen.clear();
        EXPECT_EQ(dispatcher.Dispatch(c.request, &user, instrument), c.answer);
        if (c.seen != nullptr) {
            ASSERT_EQ(seen.size(), 1u);
            EXPECT_EQ(seen[0], c.seen);
        } else {
            EXPECT_TRUE(seen.empty());
        }
    }
}

TEST(SimDispatcher, RegistrationRefusesBadAndDuplicateKeys) {
    CSimDispatcher dispatcher;
    auto answer = [](const CSimRequest&, CSimInstrument&) { return std::string("E0\r\n"); };
    struct Case {
        const char* key;
        bool accepted;
    };
    const Case cases[] = {{"CA", true}, {"CA", false}, {"C", false}, {"CAX", false},
                          {"", false},  {"_4", true},  {"ca", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(dispatcher.Register(c.key, answer), c.accepted);
    }
    EXPECT_FALSE(dispatcher.Register("DV", CSimHandler()));
    EXPECT_FALSE(dispatcher.Has("DV"));
    EXPECT_TRUE(dispatcher.Has("_4"));
}

TEST(SimLineReader, CutsLinesAcrossFeedsAndBoundsLongOnes) {
    using Result = CSimLineReader::Result;
    const std::string limit(CSimLineReader::kMaxLine, 'a');
    const std::string over(CSimLineReader::kMaxLine + 1, 'b');
    struct Step {
        std::string feed;
        std::vector<std::pair<Result, std::string>> out;  // then kNone
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"two lines in one feed",
         {{"_C\r\nZSPID_AUX?\r\n", {{Result::kLine, "_C"}, {Result::kLine, "ZSPID_AUX?"}}}}},
        {"line split byte by byte",
         {{"F", {}}, {"C", {}}, {" GET\r", {}}, {"\n", {{Result::kLine, "FC GET"}}}}},
        {"bare LF ends a line too", {{"UD 1,\n", {{Result::kLine, "UD 1,"}}}}},
        {"empty line", {{"\r\n", {{Result::kLine, ""}}}}},
        {"inner CR stays", {{"A\rB\r\n", {{Result::kLine, "A\rB"}}}}},
        {"exactly the limit", {{limit + "\r\n", {{Result::kLine, limit}}}}},
        {"limit without CR", {{limit + "\n", {{Result::kLine, limit}}}}},
        {"limit, line end later", {{limit + "\r", {}}, {"\n", {{Result::kLine, limit}}}}},
        {"one over the limit",
         {{over + "\r\n_C\r\n",
           {{Result::kOverlong, over.substr(0, 1024)}, {Result::kLine, "_C"}}}}},
        {"over the limit reported before its end",
         {{over + "x", {{Result::kOverlong, over.substr(0, 1024)}}},
          {std::string(5000, 'c'), {}},
          {"tail\r\nFC GET\r\n", {{Result::kLine, "FC GET"}}}}},
        {"limit plus a byte, then line end",
         {{limit + "z", {}}, {"\r\n", {{Result::kOverlong, limit}}}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CSimLineReader reader;
        for (const auto& step : c.steps) {
            reader.Feed(step.feed);
            std::string line;
            for (const auto& [result, text] : step.out) {
                ASSERT_EQ(reader.Next(&line), result);
                EXPECT_EQ(line, text);
            }
            EXPECT_EQ(reader.Next(&line), Result::kNone);
        }
    }
}

class SimCommandsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        port_ = server_.Start(0);
        ASSERT_NE(port_, 0) << server_.LastError();
        ASSERT_TRUE(client_.Connect(port_));
        ASSERT_TRUE(client_.LogIn("admin", "rzadmin"));
    }

    CSimServer server_{ShippedProfile("full")};
    CSimTestClient client_;
    uint16_t port_ = 0;
};

TEST_F(SimCommandsTest, UnknownAndMalformedRequestsGetAnErrorLine) {
    const char* requests[] = {"XX",    "",   "Z",  "FC GET",   "&4 1",
                              "UD 1,", "E0", "EA", "\x01\x02", "_C_C"};
    for (const char* request : requests) {
        SCOPED_TRACE(request);
        ASSERT_TRUE(client_.SendLine(request));
        const std::string answer = client_.ReadList();
        EXPECT_TRUE(IsErrorLine(answer)) << answer;
    }
    // The connection is still usable afterwards.
    ASSERT_TRUE(client_.SendLine("_C"));
    EXPECT_EQ(client_.ReadList().rfind("EA\r\n", 0), 0u);
}

TEST_F(SimCommandsTest, OverlongLinesGetOneErrorLineAndAreSkipped) {
    const std::string limit = "_C" + std::string(CSimLineReader::kMaxLine - 2, 'x');
    const std::string over = "_C" + std::string(CSimLineReader::kMaxLine, 'y');
    // A line at the limit is a (malformed) command; one over it is refused as too long, and the
    // rest of it, sent in pieces, is never taken for a request.
    ASSERT_TRUE(client_.SendLine(limit));
    EXPECT_EQ(client_.ReadList(), "E1\r\n");
    ASSERT_TRUE(client_.SendRaw(over.substr(0, 700)));
    ASSERT_TRUE(client_.SendRaw(over.substr(700) + std::string(3000, 'z')));
    EXPECT_EQ(client_.ReadList(), "E1\r\n");
    ASSERT_TRUE(client_.SendRaw("\r\n_C\r\n"));
    EXPECT_EQ(client_.ReadList().rfind("EA\r\nMODEL:", 0), 0u);
    EXPECT_TRUE(client_.StaysQuiet(std::chrono::milliseconds(50)));

    const auto requests = server_.Requests();
    ASSERT_EQ(requests.size(), 5u);
    EXPECT_EQ(requests[2].phase, SimRequestPhase::kCommand);
    EXPECT_EQ(requests[2].text, limit);
    EXPECT_EQ(requests[3].phase, SimRequestPhase::kOverlong);
    EXPECT_EQ(requests[3].text, over.substr(0, CSimLineReader::kMaxLine));
    EXPECT_EQ(requests[4].phase, SimRequestPhase::kCommand);
    EXPECT_EQ(requests[4].text, "_C");
}

TEST_F(SimCommandsTest, SplitAndPipelinedRequestsAreAnsweredInOrder) {
    const std::string model = "EA\r\nMODEL:\r\nRZ3200\r\n";
    ASSERT_TRUE(client_.SendRaw("_"));
    EXPECT_TRUE(client_.StaysQuiet(std::chrono::milliseconds(30)));
    ASSERT_TRUE(client_.SendRaw("C\r"));
    ASSERT_TRUE(client_.SendRaw("\n"));
    EXPECT_EQ(client_.ReadList().rfind(model, 0), 0u);

    ASSERT_TRUE(client_.SendRaw("ZSPID_AUX?\r\nQQ\r\n_C\r\n"));
    EXPECT_EQ(client_.ReadList().rfind("EA\r\nPID_AUX", 0), 0u);
    EXPECT_EQ(client_.ReadList(), "E1\r\n");
    EXPECT_EQ(client_.ReadList().rfind(model, 0), 0u);
    EXPECT_EQ(server_.CommandRequests(),
              (std::vector<std::string>{"_C", "ZSPID_AUX?", "QQ", "_C"}));
}

TEST_F(SimCommandsTest, HandlersAddedLaterSeeTheUserAndTheState) {
    ASSERT_TRUE(
        server_.RegisterCommand("FU", [](const CSimRequest& request, CSimInstrument& state) {
            if (request.text != "FU 0") {
                return std::string();
            }
            return "EA\r\nFU" + request.user->name + "," + std::string(1, request.user->level) +
                   "," + std::to_string(state.Profile().model) + "\r\nEN\r\n";
        }));
    EXPECT_FALSE(server_.RegisterCommand(
        "_C", [](const CSimRequest&, CSimInstrument&) { return std::string("E0\r\n"); }));
    ASSERT_TRUE(client_.SendLine("FU 0"));
    EXPECT_EQ(client_.ReadList(), "EA\r\nFUadmin,A,3200\r\nEN\r\n");
    ASSERT_TRUE(client_.SendLine("FU 1"));
    EXPECT_EQ(client_.ReadList(), "E1\r\n");

    // A handler that fails by throwing fails its own request only.
    ASSERT_TRUE(server_.RegisterCommand(
        "FC", [](const CSimRequest&, CSimInstrument&) -> std::string { throw std::bad_alloc(); }));
    ASSERT_TRUE(client_.SendLine("FC GET"));
    EXPECT_EQ(client_.ReadList(), "E1\r\n");
    ASSERT_TRUE(client_.SendLine("FU 0"));
    EXPECT_EQ(client_.ReadList(), "EA\r\nFUadmin,A,3200\r\nEN\r\n");
}
