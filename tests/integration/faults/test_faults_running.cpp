// Faults met by a running connection: during the communication cycle, an operation entry point
// or the operator's refresh. A lost link closes the connection exactly once, with the hub's
// communication-error event and "Communicate with RZ error!"; an instrument error line in the
// cycle is a command-level error that leaves the connection and its cycle running.
#include <algorithm>

#include "FaultFixture.h"

namespace {

// A fault: `faults` as given, and when `at` is set that switch aimed at the `step`-th request
// from the moment it is set.
struct Aim {
    CSimFaults faults;
    uint32_t CSimFaults::*at = nullptr;
    uint32_t step = 1;
};

// Order of a pass's requests at level A with patterns and DI/DO: FW, FD, FO, FC GET, FW, FD.
constexpr uint32_t kPassValues = 2;
constexpr uint32_t kPassImage = 4;

class RunningFaults : public FaultFixture {
  protected:
    // Logs in, waits for the end of a pass (so that the next pass's requests come next) and
    // sets the fault.
    void LogInAndAim(uint32_t* id, const Aim& aim) {
        ASSERT_EQ(LoginAndWatch(id), RZ_OK);
        ASSERT_TRUE(WaitForPassEnd());
        shown.clear();
        CSimFaults faults = aim.faults;
        if (aim.at != nullptr) {
            faults.*aim.at = NextRequestNumber() + aim.step - 1;
        }
        server->SetFaults(faults);
    }

    // The lost link ends in exactly one close, reported once with its cause.
    void ExpectClosedOnce(const std::string& cause) {
        EXPECT_TRUE(ProcessEventsUntil([&] { return manager.ConnectionCount() == 0; }));
        EXPECT_EQ(commErrors, 1);
        EXPECT_EQ(shown, At({RzString(RzStr::kLinkBroken), cause}));
    }
};

enum class Outcome {
    kLinkLost,     // the connection closes once, "Communicate with RZ error!"
    kGoesOn,       // nothing shown, the cycle goes on
    kShownGoesOn,  // the error line is shown (every time it comes), the cycle goes on
    kAnyGoesOn,    // the cycle goes on; what is shown depends on how the list was spoiled
};

// One fault of each kind the link tells apart (time-out, closed stream, unframeable answer) and
// every step whose error line is handled its own way; which fault switch spoils which answer is
// rzsim's business, how the link reports each the link's.
TEST_F(RunningFaults, FaultsDuringTheCycle) {
    using F = CSimFaults;
    const uint32_t t = kLinkTimeoutMs;
    struct Case {
        const char* name;
        Aim aim;
        Outcome outcome;
        const char* cause = "";  // of a lost link
    };
    const std::vector<Case> cases = {
        {"DelayBeyondTimeout", {{.answerDelayMs = t * 3}}, Outcome::kLinkLost, kNoAnswer},
        {"CloseMidBinaryBlock",
         {{}, &F::closeMidAnswerOn, kPassImage},
         Outcome::kLinkLost,
         kClosed},
        {"OversizeValues", {{}, &F::oversizeAnswerOn, kPassValues}, Outcome::kLinkLost, kTooLong},
        // Error lines: values are refused silently; pattern list, DI/DO record and screen image
        // show the instrument's line.
        {"ErrorLineForValues", {{.errorForKeys = {"FD"}}}, Outcome::kGoesOn},
        {"ErrorLineForPatterns", {{.errorForKeys = {"FW"}}}, Outcome::kShownGoesOn},
        {"ErrorLineForDio", {{.errorForKeys = {"FO"}}}, Outcome::kShownGoesOn},
        {"ErrorLineForImage", {{.errorForKeys = {"FC"}}}, Outcome::kShownGoesOn},
        // A list without its opener has no known end: the link is out of step and lost.
        {"ValuesWithoutOpener",
         {{.garbleKind = SimGarble::kDropOpener}, &F::garbleListOn, kPassValues},
         Outcome::kLinkLost,
         kUnreadable},
        {"ValuesLineRunsOn",
         {{.garbleKind = SimGarble::kCutLineEnd}, &F::garbleListOn, kPassValues},
         Outcome::kAnyGoesOn},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartSim("full");
        uint32_t id = 0;
        LogInAndAim(&id, c.aim);
        if (c.outcome == Outcome::kLinkLost) {
            ExpectClosedOnce(c.cause);
        } else {
            // The connection stays and its cycle goes on for two more passes.
            const int seen = refreshed;
            EXPECT_TRUE(ProcessEventsUntil([&] { return refreshed >= seen + 2; }));
            EXPECT_EQ(manager.ConnectionCount(), 1u);
            EXPECT_EQ(commErrors, 0);
        }
        if (c.outcome == Outcome::kGoesOn) {
            EXPECT_EQ(shown, std::vector<std::string>{});
        }
        if (c.outcome == Outcome::kShownGoesOn) {
            EXPECT_FALSE(shown.empty());
            EXPECT_EQ(std::count(shown.begin(), shown.end(), "E1"), std::ssize(shown));
        }
        CloseAllAndCheckThreads();
    }
}

// Every entry point meets a lost link through the one frame around it: one operation of each
// answer shape, and the operator's refresh.
TEST_F(RunningFaults, ALinkLostDuringAnOperation) {
    using F = CSimFaults;
    using Operation = std::function<RzResult(CInstrumentConnection&)>;
    const Operation ps = [](CInstrumentConnection& c) { return c.SetMemoryRunning(1); };
    const Operation readLog = [](CInstrumentConnection& c) { return c.ReadLog(1).code(); };
    const Operation refresh = [](CInstrumentConnection& c) { return c.Refresh(); };
    const Operation modeSwitch = [](CInstrumentConnection& c) {
        return c.OperateLoopMode(kEntryInternalLoop, 1, 1);
    };
    struct Case {
        const char* name;
        Aim aim;
        Operation operation;
        RzResult code;  // 0: any code of the link-broken range
        const char* cause;
    };
    const std::vector<Case> cases = {
        {"StallOnMemoryStart", {{}, &F::stallFromRequest}, ps, LINK_E_TIMEOUT, kNoAnswer},
        {"CloseMidLogList", {{}, &F::closeMidAnswerOn}, readLog, 0, kClosed},
        // A list where a status line was expected is read whole; one beyond the receive area
        // ends the link instead of passing for success.
        {"OversizeListForModeSwitch", {{}, &F::oversizeAnswerOn}, modeSwitch, 0, kTooLong},
        // The operator's refresh is an operation too.
        {"StallMidRefresh", {{}, &F::stallFromRequest, 4}, refresh, LINK_E_TIMEOUT, kNoAnswer},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartSim("full");
        uint32_t id = 0;
        LogInAndAim(&id, c.aim);
        CInstrumentConnection* connection = Find(id);
        ASSERT_NE(connection, nullptr);
        const RzResult result = c.operation(*connection);
        EXPECT_TRUE(IsLinkBroken(result)) << ResultCodeName(result);
        if (c.code != 0) {
            EXPECT_EQ(result, c.code) << ResultCodeName(result);
        }
        // Until the manager closes it, the connection refuses every operation without
        // touching the link.
        const size_t sent = server->CommandRequests().size();
        EXPECT_EQ(connection->OperateMath(1), LINK_E_BROKEN);
        EXPECT_EQ(server->CommandRequests().size(), sent);
        ExpectClosedOnce(c.cause);
        CloseAllAndCheckThreads();
    }
}

TEST_F(RunningFaults, EndingAConnectionDoesNotWaitOutAStalledAnswer) {
    const std::vector<std::pair<const char*, std::function<void(CConnectionManager&, uint32_t)>>>
        cases = {
            {"CloseConnection", [](CConnectionManager& m, uint32_t id) { m.CloseConnection(id); }},
            {"LogOut", [](CConnectionManager& m, uint32_t) { m.CloseAll(); }},
            {"StopCycle",
             [](CConnectionManager& m, uint32_t id) {
                 const RzExpected<CInstrumentConnection*> connection = m.FindConnection(id);
                 ASSERT_TRUE(connection.ok());
                 (*connection)->StopCycle();
             }},
        };
    for (const auto& [name, end] : cases) {
        SCOPED_TRACE(name);
        StartSim("full");
        manager.SetLinkTimeout(10000);
        uint32_t id = 0;
        LogInAndAim(&id, {{}, &CSimFaults::stallMidAnswerOn, kPassValues});
        const uint32_t stalled = server->Faults().stallMidAnswerOn;
        ASSERT_TRUE(ProcessEventsUntil([&] { return NextRequestNumber() > stalled; }));
        // The thread now waits for the rest of the answer; the link's time-out is far off.
        const auto start = std::chrono::steady_clock::now();
        end(manager, id);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        CloseAllAndCheckThreads();
    }
}

}  // namespace
