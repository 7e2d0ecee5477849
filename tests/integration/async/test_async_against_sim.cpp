// The GUI thread never waits on the instrument: log-ins and operations against a slow, stalling
// rzsim run no exchange step on it, and closing a connection or cancelling a log-in leaves
// nothing behind. (How long the GUI thread goes without answering is measured by the
// benchmarks, not here.)
#include <algorithm>
#include <fstream>

#include "common/FullBacklog.h"
#include "integration/faults/FaultFixture.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class AsyncAgainstSim : public FaultFixture {
  protected:
    void WriteCycle(int ms) {
        std::ofstream(dataDir.filePath("SimpleCtrl.ini").toStdString(), std::ios::binary)
            << "[Config]\r\nCommCycle=" << ms << "\r\n";
    }
    RzExpected<void> StartLogin(LoginDoneHandler done, LoginProgressHandler progress = {}) {
        return manager.StartLogin("127.0.0.1", "admin", "rzdemo", port, std::move(done),
                                  std::move(progress));
    }
};

RzResult Ack(CInstrumentConnection& c) {
    return c.AcknowledgeAlarm();
}

TEST_F(AsyncAgainstSim, NoExchangeRunsOnTheGuiThreadWhileTheInstrumentIsSlow) {
    WriteCycle(60000);
    CSimFaults slow;
    slow.answerDelayMs = 300;
    StartSim("rz3100", slow);
    manager.SetLinkTimeout(kDefaultLinkTimeoutMs);
    std::vector<CLoginProgress::Phase> phases;
    int lastStep = 0;
    bool loggedIn = false;
    uint32_t id = 0;
    {
        ASSERT_TRUE(StartLogin(
                        [&](const RzExpected<uint32_t>& r) {
                            EXPECT_TRUE(r.ok());
                            loggedIn = true;
                            id = r.value_or(0);
                        },
                        [&](const CLoginProgress& p) {
                            if (phases.empty() || phases.back() != p.phase) {
                                phases.push_back(p.phase);
                            }
                            lastStep = p.step;
                        })
                        .ok());
        ASSERT_TRUE(ProcessEventsUntil([&] { return loggedIn; }, std::chrono::seconds(60)));
    }
    EXPECT_EQ(phases, (std::vector<CLoginProgress::Phase>{
                          CLoginProgress::kConnecting, CLoginProgress::kLoggingIn,
                          CLoginProgress::kIdentifying, CLoginProgress::kRefreshing}));
    EXPECT_EQ(lastStep, kRefreshSteps);
    ASSERT_NE(Find(id), nullptr);

    CSimFaults slower;
    slower.answerDelayMs = 2000;
    server->SetFaults(slower);
    bool done = false;
    const auto start = Clock::now();
    ASSERT_TRUE(Find(id)
                    ->StartOperation("Acknowledge alarm", Ack,
                                     [&](RzResult r) {
                                         EXPECT_EQ(r, RZ_OK);
                                         done = true;
                                     })
                    .ok());
    ASSERT_TRUE(ProcessEventsUntil([&] { return done; }));
    EXPECT_GE(Clock::now() - start, milliseconds(2000));
    EXPECT_GT(notes.Total(), size_t{kRefreshSteps});
    EXPECT_EQ(notes.OnThisThread(), 0u);
    CloseAllAndCheckThreads();
}

// In every phase a cancelled log-in gives its thread back at once: a new log-in is taken at
// once, and closing the manager meanwhile does not wait for the phase to end. While connecting,
// the instrument does not answer (its backlog is full): the connect would wait 2 s.
TEST_F(AsyncAgainstSim, ACancelledLogInLeavesNothingAndFreesTheLogInThreadInAnyPhase) {
    const CLoginProgress::Phase phases[] = {CLoginProgress::kConnecting, CLoginProgress::kLoggingIn,
                                            CLoginProgress::kIdentifying,
                                            CLoginProgress::kRefreshing};
    for (const auto phase : phases) {
        SCOPED_TRACE(phase);
        CSimFaults slow;
        slow.answerDelayMs = 50;
        StartSim("full", slow);
        CFullBacklog stalled;
        if (phase == CLoginProgress::kConnecting) {
            port = stalled.Port();
        }
        bool cancelled = false;
        bool doneCalled = false;
        RzResult again = LINK_E_GENERAL;
        const auto ignore = [](const RzExpected<uint32_t>&) {};
        ASSERT_TRUE(StartLogin([&](const RzExpected<uint32_t>&) { doneCalled = true; },
                               [&](const CLoginProgress& p) {
                                   if (p.phase == phase && !cancelled &&
                                       (phase != CLoginProgress::kRefreshing || p.step == 5)) {
                                       cancelled = true;
                                       manager.CancelLogin();
                                       again = StartLogin(ignore).code();
                                   }
                               })
                        .ok());
        // One log-in at a time; the refusal says so in its result.
        shown.clear();
        const RzExpected<void> busy = StartLogin(ignore);
        ASSERT_EQ(busy.code(), LINK_E_BUSY);
        EXPECT_EQ(busy.error().messages, std::vector<std::string>{"Log-in is still running"});
        EXPECT_TRUE(shown.empty());
        ASSERT_TRUE(ProcessEventsUntil([&] { return cancelled; }));
        EXPECT_EQ(again, RZ_OK);
        // The second log-in is in the same phase or before it; closing ends it at once.
        const auto start = Clock::now();
        manager.CloseAll();
        EXPECT_LT(Clock::now() - start, milliseconds(1000));
        EXPECT_FALSE(doneCalled);
        EXPECT_EQ(manager.ConnectionCount(), 0u);
        CloseAllAndCheckThreads();
    }
}

TEST_F(AsyncAgainstSim, LogOutDuringAStalledOperationReturnsAtOnceAndDropsItsResult) {
    WriteCycle(60000);
    StartSim("full");
    manager.SetLinkTimeout(kDefaultLinkTimeoutMs);
    uint32_t id = 0;
    ASSERT_EQ(LoginAndWatch(&id), RZ_OK);
    CSimFaults stall;
    stall.stallFromRequest = NextRequestNumber();
    server->SetFaults(stall);
    const size_t before = server->CommandRequests().size();
    CInstrumentConnection* connection = Find(id);
    bool delivered = false;
    ASSERT_TRUE(
        connection->StartOperation("Acknowledge alarm", Ack, [&](RzResult) { delivered = true; })
            .ok());
    ASSERT_TRUE(ProcessEventsUntil([&] { return server->CommandRequests().size() > before; }));

    const auto start = Clock::now();
    EXPECT_EQ(manager.CloseConnection(id), RZ_OK);
    EXPECT_LT(Clock::now() - start, milliseconds(100));
    ProcessEventsUntil([] { return false; }, milliseconds(300));
    EXPECT_FALSE(delivered);
    EXPECT_EQ(commErrors, 0);
    CloseAllAndCheckThreads();
}

TEST_F(AsyncAgainstSim, TheCycleGoesOnDuringTheStepsAndPausesOfASequence) {
    StartSim("full");
    uint32_t id = 0;
    ASSERT_EQ(LoginAndWatch(&id), RZ_OK);
    int refreshedAtFirstStep = -1;
    int refreshedAtLastStep = -1;
    CSequence sequence;
    sequence.Then(Ack, [&](RzResult) { refreshedAtFirstStep = refreshed; })
        .Pause(2500)
        .Then([](CInstrumentConnection& c) { return c.WriteMessage(1); },
              [&](RzResult) { refreshedAtLastStep = refreshed; });
    bool done = false;
    server->ClearRequests();
    ASSERT_TRUE(Find(id)
                    ->StartSequence("Send", std::move(sequence),
                                    [&](RzResult r) {
                                        EXPECT_EQ(r, RZ_OK);
                                        done = true;
                                    })
                    .ok());
    ASSERT_TRUE(ProcessEventsUntil([&] { return done; }));
    EXPECT_GE(refreshedAtLastStep, refreshedAtFirstStep + 2);
    const auto requests = server->CommandRequests();
    const auto ack = std::find(requests.begin(), requests.end(), "AK 0");
    const auto message = std::find(requests.begin(), requests.end(), "MS 1");
    ASSERT_TRUE(ack < message && message != requests.end());
    EXPECT_NE(std::find(ack, message, "FD0,1,248"), message);
    CloseAllAndCheckThreads();
}

}  // namespace
