#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "SimDispatcher.h"
#include "SimLineReader.h"
#include "SimServer.h"
#include "SimTestClient.h"
#include "SimTestSupport.h"

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
        {"exactly the limit", {{limit + "\r\n", {{Result::kLine, limit}}}}},
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

TEST(SimServer, HandlersAreRegisteredOnceAndSeeTheUserAndTheState) {
    CSimServer server(ShippedProfile("full"));
    ASSERT_TRUE(server.RegisterCommand("FU", [](const CSimRequest& request, CSimInstrument& state) {
        return "EA\r\nFU" + request.user->name + "," + std::string(1, request.user->level) + "," +
               std::to_string(state.Profile().model) + "\r\nEN\r\n";
    }));
    // Keys are two characters, taken once; a handler must be given.
    const auto answer = [](const CSimRequest&, CSimInstrument&) { return std::string("E0\r\n"); };
    for (const char* key : {"_C", "FU", "C", "CAX", ""}) {
        EXPECT_FALSE(server.RegisterCommand(key, answer)) << key;
    }
    EXPECT_FALSE(server.RegisterCommand("DV", CSimHandler()));
    EXPECT_TRUE(server.RegisterCommand("ca", answer));
    ASSERT_TRUE(server.RegisterCommand(
        "FC", [](const CSimRequest&, CSimInstrument&) -> std::string { throw std::bad_alloc(); }));
    const CSimUser admin{"admin", "x", 'A'};
    EXPECT_EQ(server.Dispatch("FU 0", admin), "EA\r\nFUadmin,A,3200\r\nEN\r\n");
    EXPECT_EQ(server.Dispatch("FC GET", admin), "E1\r\n");
    EXPECT_EQ(server.Dispatch("FU 0", admin), "EA\r\nFUadmin,A,3200\r\nEN\r\n");
}

// How the stream is cut into lines is the line reader's (above); the session answers each line
// once it is whole, refuses an overlong one once and never takes its rest for a request.
TEST(SimSession, RequestsAreCutFromTheStreamAndOverlongLinesSkipped) {
    auto server = StartSimServer(ShippedProfile("full"));
    ASSERT_NE(server, nullptr);
    CSimTestClient client;
    ASSERT_TRUE(client.Connect(server->Port()));
    ASSERT_TRUE(client.LogIn("admin", "rzdemo"));
    const std::string model = "EA\r\nMODEL:\r\nRZ3200\r\n";
    ASSERT_TRUE(client.SendRaw("_"));
    EXPECT_TRUE(client.StaysQuiet(std::chrono::milliseconds(30)));
    ASSERT_TRUE(client.SendRaw("C\r\n"));
    EXPECT_EQ(client.ReadList().rfind(model, 0), 0u);
    const std::string over = "_C" + std::string(CSimLineReader::kMaxLine, 'y');
    ASSERT_TRUE(client.SendRaw(over.substr(0, 700)));
    ASSERT_TRUE(client.SendRaw(over.substr(700) + std::string(3000, 'z')));
    EXPECT_EQ(client.ReadList(), "E1\r\n");
    ASSERT_TRUE(client.SendRaw("\r\n_C\r\n"));
    EXPECT_EQ(client.ReadList().rfind(model, 0), 0u);
    EXPECT_TRUE(client.StaysQuiet(std::chrono::milliseconds(50)));
    std::vector<std::string> requests;
    for (const CSimRecordedRequest& r : server->Requests()) {
        EXPECT_EQ(r.session, 1);
        requests.push_back(std::to_string(static_cast<int>(r.phase)) + ":" + r.text);
    }
    using P = SimRequestPhase;
    const auto entry = [](P phase, const std::string& text) {
        return std::to_string(static_cast<int>(phase)) + ":" + text;
    };
    EXPECT_EQ(requests,
              (std::vector<std::string>{
                  entry(P::kUser, "admin"), entry(P::kPassword, "rzdemo"), entry(P::kCommand, "_C"),
                  entry(P::kOverlong, over.substr(0, CSimLineReader::kMaxLine)),
                  entry(P::kCommand, "_C")}));
}
