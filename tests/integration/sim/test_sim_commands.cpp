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

TEST(SimSession, RequestsAreCutFromTheStreamAndOverlongLinesSkipped) {
    auto server = StartSimServer(ShippedProfile("full"));
    ASSERT_NE(server, nullptr);
    CSimTestClient client;
    ASSERT_TRUE(client.Connect(server->Port()));
    ASSERT_TRUE(client.LogIn("admin", "rzadmin"));
    const std::string model = "EA\r\nMODEL:\r\nRZ3200\r\n";
    // A request in pieces is answered once its line is whole.
    ASSERT_TRUE(client.SendRaw("_"));
    EXPECT_TRUE(client.StaysQuiet(std::chrono::milliseconds(30)));
    ASSERT_TRUE(client.SendRaw("C\r"));
    ASSERT_TRUE(client.SendRaw("\n"));
    EXPECT_EQ(client.ReadList().rfind(model, 0), 0u);
    // Requests sent together are answered in order.
    ASSERT_TRUE(client.SendRaw("ZSPID_AUX?\r\nQQ\r\n"));
    EXPECT_EQ(client.ReadList().rfind("EA\r\nPID_AUX", 0), 0u);
    EXPECT_EQ(client.ReadList(), "E1\r\n");
    // A line at the limit is a (malformed) request; one over it is refused once as too long,
    // and the rest of it, sent in pieces, is never taken for a request.
    const std::string limit = "_C" + std::string(CSimLineReader::kMaxLine - 2, 'x');
    const std::string over = "_C" + std::string(CSimLineReader::kMaxLine, 'y');
    ASSERT_TRUE(client.SendLine(limit));
    EXPECT_EQ(client.ReadList(), "E1\r\n");
    ASSERT_TRUE(client.SendRaw(over.substr(0, 700)));
    ASSERT_TRUE(client.SendRaw(over.substr(700) + std::string(3000, 'z')));
    EXPECT_EQ(client.ReadList(), "E1\r\n");
    ASSERT_TRUE(client.SendRaw("\r\n_C\r\n"));
    EXPECT_EQ(client.ReadList().rfind(model, 0), 0u);
    EXPECT_TRUE(client.StaysQuiet(std::chrono::milliseconds(50)));

    const std::vector<CSimRecordedRequest> requests = server->Requests();
    using P = SimRequestPhase;
    const std::vector<std::pair<P, std::string>> expected = {
        {P::kUser, "admin"},
        {P::kPassword, "rzadmin"},
        {P::kCommand, "_C"},
        {P::kCommand, "ZSPID_AUX?"},
        {P::kCommand, "QQ"},
        {P::kCommand, limit},
        {P::kOverlong, over.substr(0, CSimLineReader::kMaxLine)},
        {P::kCommand, "_C"}};
    ASSERT_EQ(requests.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(requests[i].session, 1);
        EXPECT_EQ(requests[i].phase, expected[i].first) << i;
        EXPECT_EQ(requests[i].text, expected[i].second) << i;
    }
}
