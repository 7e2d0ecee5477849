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
        {"IPv6 text", 0, "::1"},
        {"empty host", 0, ""},
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

TEST(SimServer, StopReturnsWithIdleStalledAndUnreadClients) {
    CSimFaults faults;
    faults.stallFromRequest = 1;
    CSimServer server(CodeProfile(), faults);
    const uint16_t port = server.Start(0);
    ASSERT_NE(port, 0);
    CSimTestClient idleAtGreeting;
    CSimTestClient loggedIn;
    CSimTestClient stalled;
    CSimTestClient delayed;
    ASSERT_TRUE(idleAtGreeting.Connect(port));
    ASSERT_TRUE(loggedIn.Connect(port));
    ASSERT_TRUE(loggedIn.LogIn("user", ""));
    ASSERT_TRUE(stalled.Connect(port));
    ASSERT_TRUE(stalled.LogIn("admin", "secret"));
    ASSERT_TRUE(stalled.SendLine("_C"));
    ASSERT_TRUE(server.WaitForRequestCount(4, 5s));
    // A client that waits in a long answer delay.
    faults.answerDelayMs = 600000;
    server.SetFaults(faults);
    ASSERT_TRUE(delayed.Connect(port));

    ASSERT_TRUE(StopsWithoutHanging(server));
    EXPECT_FALSE(server.IsRunning());
    bool closed = false;
    idleAtGreeting.ReadUntilClosed(&closed);
    EXPECT_TRUE(closed);
    loggedIn.ReadUntilClosed(&closed);
    EXPECT_TRUE(closed);
    CSimTestClient late;
    EXPECT_FALSE(late.Connect(port));
}

TEST(SimServer, StopWhileAClientDoesNotReadItsAnswer) {
    CSimServer server(CodeProfile());
    // An answer far larger than the socket buffers: the sender blocks until the client reads.
    ASSERT_TRUE(server.RegisterCommand("BG", [](const CSimRequest&, CSimInstrument&) {
        return "EA\r\n" + std::string(32 << 20, 'x') + "\r\nEN\r\n";
    }));
    const uint16_t port = server.Start(0);
    ASSERT_NE(port, 0);
    CSimTestClient client;
    ASSERT_TRUE(client.Connect(port));
    ASSERT_TRUE(client.LogIn("user", ""));
    ASSERT_TRUE(client.SendLine("BG"));
    ASSERT_TRUE(server.WaitForRequestCount(2, 5s));
    EXPECT_TRUE(StopsWithoutHanging(server));
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

TEST(SimServer, RequestLogWaitsForEntries) {
    CSimRequestLog log;
    EXPECT_FALSE(log.WaitForCount(1, 10ms));
    std::thread writer([&log] {
        log.Add(1, SimRequestPhase::kUser, "admin");
        log.Add(1, SimRequestPhase::kCommand, "FC GET");
    });
    EXPECT_TRUE(log.WaitForCount(2, 5s));
    writer.join();
    EXPECT_EQ(log.CommandTexts(), std::vector<std::string>{"FC GET"});
    EXPECT_EQ(log.Count(), 2u);
    log.Clear();
    EXPECT_EQ(log.Count(), 0u);
}
