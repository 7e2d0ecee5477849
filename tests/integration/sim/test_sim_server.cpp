#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "SimIdentity.h"
#include "SimServer.h"
#include "SimTestClient.h"
#include "SimTestSupport.h"

using namespace std::chrono_literals;

namespace {

// Runs Stop on another thread; false when it has not returned within a generous bound, which
// means a thread was left hanging.
bool StopsWithoutHanging(CSimServer& server) {
    auto stopped = std::async(std::launch::async, [&server] { server.Stop(); });
    return stopped.wait_for(10s) == std::future_status::ready;
}

}  // namespace

TEST(SimServer, StartFailuresAreReported) {
    CSimServer holder(CodeProfile());
    const uint16_t taken = holder.Start(0);
    ASSERT_NE(taken, 0);
    struct Case {
        const char* name;
        uint16_t port;
        const char* host;
    };
    const Case cases[] = {
        {"port in use", taken, "127.0.0.1"},
        {"not an address", 0, "localhost"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CSimServer server(CodeProfile());
        EXPECT_EQ(server.Start(c.port, c.host), 0);
        EXPECT_FALSE(server.LastError().empty());
        EXPECT_FALSE(server.IsRunning());
    }
    EXPECT_EQ(holder.Start(0), 0);  // already running
}

TEST(SimServer, StopReturnsWithIdleAndStalledClients) {
    CSimFaults faults;
    faults.stallFromRequest = 1;
    CSimServer server(CodeProfile(), faults);
    const uint16_t port = server.Start(0);
    ASSERT_NE(port, 0);
    CSimTestClient idleAtGreeting;
    CSimTestClient stalled;
    ASSERT_TRUE(idleAtGreeting.Connect(port));
    ASSERT_TRUE(stalled.Connect(port));
    ASSERT_TRUE(stalled.LogIn("admin", "secret"));
    ASSERT_TRUE(stalled.SendLine("_C"));
    ASSERT_TRUE(server.WaitForRequestCount(3, 5s));

    ASSERT_TRUE(StopsWithoutHanging(server));
    EXPECT_FALSE(server.IsRunning());
    bool closed = false;
    idleAtGreeting.ReadUntilClosed(&closed);
    EXPECT_TRUE(closed);
    CSimTestClient late;
    EXPECT_FALSE(late.Connect(port));
}

TEST(SimServer, ManyClientsAtOnceShareTheInstrument) {
    CSimServer server(ShippedProfile("full"));
    const uint16_t port = server.Start(0);
    ASSERT_NE(port, 0);
    constexpr int kClients = 6;
    constexpr int kRounds = 20;
    const std::string model = SimIdentityAnswer(ShippedProfile("full"));
    std::vector<std::future<int>> results;
    for (int i = 0; i < kClients; ++i) {
        results.push_back(std::async(std::launch::async, [port, &model, i] {
            CSimTestClient client;
            if (!client.Connect(port) ||
                !(i % 2 == 0 ? client.LogIn("guest", "") : client.LogIn("user", "rzuser"))) {
                return -1;
            }
            int good = 0;
            for (int r = 0; r < kRounds; ++r) {
                if (client.SendLine("_C") && client.ReadList() == model) {
                    ++good;
                }
            }
            return good;
        }));
    }
    for (auto& result : results) {
        EXPECT_EQ(result.get(), kRounds);
    }
    EXPECT_EQ(server.CommandRequests().size(), static_cast<size_t>(kClients * kRounds));
    server.ClearRequests();
    EXPECT_TRUE(server.Requests().empty());
}

TEST(SimServer, RequestLogKeepsTheMostRecentLinesAndCountsAll) {
    CSimRequestLog log(3);
    for (int i = 1; i <= 1000; ++i) {
        log.Add(1, i % 2 == 0 ? SimRequestPhase::kCommand : SimRequestPhase::kUser,
                std::to_string(i));
    }
    std::vector<std::string> kept;
    for (const auto& entry : log.Entries()) {
        kept.push_back(entry.text);
    }
    EXPECT_EQ(kept, (std::vector<std::string>{"998", "999", "1000"}));
    EXPECT_EQ(log.CommandTexts(), (std::vector<std::string>{"998", "1000"}));
    EXPECT_EQ(log.Count(), 1000u);
    EXPECT_TRUE(log.WaitForCount(1000, 0ms));
}

TEST(SimServer, ClientOverTheLimitIsRefusedWhileTheOthersAreServed) {
    CSimLimits limits;
    limits.maxClients = 2;
    CSimServer server(CodeProfile(), {}, limits);
    const uint16_t port = server.Start(0);
    ASSERT_NE(port, 0);
    CSimTestClient served[2];
    for (auto& client : served) {
        ASSERT_TRUE(client.Connect(port));
        ASSERT_FALSE(client.ReadLine().empty());  // the greeting
    }
    CSimTestClient over;
    ASSERT_TRUE(over.Connect(port));
    bool closed = false;
    EXPECT_EQ(over.ReadUntilClosed(&closed), "E1 Too many connections\r\n");
    EXPECT_TRUE(closed);
    ASSERT_TRUE(served[0].SendLine("user"));
    EXPECT_EQ(served[0].ReadLine(), "E0\r\n");
    // A place that frees up is taken again, once the server has seen the client leave.
    served[1].Disconnect();
    bool greeted = false;
    for (int attempt = 0; attempt < 100 && !greeted; ++attempt) {
        CSimTestClient next;
        ASSERT_TRUE(next.Connect(port));
        greeted = next.ReadLine().find("E1") == std::string::npos;
        std::this_thread::sleep_for(greeted ? 0ms : 20ms);
    }
    EXPECT_TRUE(greeted);
}

TEST(SimServer, ClientThatHasNotLoggedInInTimeIsDropped) {
    CSimLimits limits;
    limits.logInTimeoutMs = 300;
    CSimServer server(CodeProfile(), {}, limits);
    const uint16_t port = server.Start(0);
    ASSERT_NE(port, 0);
    struct Case {
        std::vector<std::string> lines;  // each sent after the server's last line
        bool dropped;
    };
    const Case cases[] = {
        {{"admin"}, true},
        {{"admin", "secret"}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines.size());
        CSimTestClient client;
        ASSERT_TRUE(client.Connect(port));
        for (const auto& line : c.lines) {
            ASSERT_FALSE(client.ReadLine().empty());
            ASSERT_TRUE(client.SendLine(line));
        }
        bool closed = false;
        client.ReadUntilClosed(&closed, 2s);
        EXPECT_EQ(closed, c.dropped);
    }
}
