// Faults met by a running connection: during the communication cycle, an operation entry point
// or the operator's refresh. A lost link closes the connection exactly once, with the hub's
// communication-error event and "Communicate with RZ error!"; an instrument error line is a
// command-level error that leaves the connection and its cycle running.
#include <algorithm>

#include "FaultFixture.h"

namespace {

class RunningFaults : public FaultFixture {
  protected:
    // Logs in and waits for the end of a pass, so that the next pass's requests come next.
    void LogInAndSettle(uint32_t* id) {
        ASSERT_EQ(LoginAndWatch(id), RZ_OK);
        ASSERT_TRUE(WaitForPassEnd());
        shown.clear();
    }

    // The lost link ends in exactly one close, reported once.
    void ExpectClosedOnce() {
        EXPECT_TRUE(ProcessEventsUntil([&] { return manager.ConnectionCount() == 0; }));
        EXPECT_EQ(commErrors, 1);
        EXPECT_EQ(shown, std::vector<std::string>{Text(20016)});
    }

    // The connection stays and its cycle goes on for two more passes.
    void ExpectCycleGoesOn() {
        const int seen = refreshed;
        EXPECT_TRUE(ProcessEventsUntil([&] { return refreshed >= seen + 2; }));
        EXPECT_EQ(manager.ConnectionCount(), 1u);
        EXPECT_EQ(commErrors, 0);
    }
};

// Order of a pass's requests at level A with patterns and DI/DO: FW, FD, FO, FC GET, FW, FD.
constexpr uint32_t kPassPatterns = 1;
constexpr uint32_t kPassValues = 2;
constexpr uint32_t kPassDio = 3;
constexpr uint32_t kPassImage = 4;

enum class Outcome {
    kLinkLost,     // the connection closes once, "Communicate with RZ error!"
    kGoesOn,       // nothing shown, the cycle goes on
    kShownGoesOn,  // the error line is shown (every time it comes), the cycle goes on
    kAnyGoesOn,    // the cycle goes on; what is shown depends on how the list was spoiled
};

TEST_F(RunningFaults, FaultsDuringTheCycle) {
    struct Case {
        const char* name;
        // Sets the fault; `next` is the number of the next pass's first request.
        std::function<void(CSimFaults&, uint32_t next)> fault;
        Outcome outcome;
        // A 20 kB screen sent one byte per write may take longer than the suite's short
        // time-out on a slow (sanitizer) build; it gets the link's usual time-out.
        uint32_t linkTimeoutMs = kLinkTimeoutMs;
    };
    const std::vector<Case> cases = {
        {"DelayBelowTimeout", [](CSimFaults& f, uint32_t) { f.answerDelayMs = kLinkTimeoutMs / 4; },
         Outcome::kGoesOn},
        {"ByteByByte", [](CSimFaults& f, uint32_t) { f.segmentBytes = 1; }, Outcome::kGoesOn,
         kDefaultLinkTimeoutMs},
        {"BlocksSplitInTwoWrites", [](CSimFaults& f, uint32_t) { f.splitBlockPauseMs = 2; },
         Outcome::kGoesOn},
        {"BlocksMerged",
         [](CSimFaults& f, uint32_t) {
             f.segmentBytes = 3;
             f.mergeBinaryBlocks = true;
         },
         Outcome::kGoesOn},
        {"DelayBeyondTimeout",
         [](CSimFaults& f, uint32_t) { f.answerDelayMs = kLinkTimeoutMs * 3; }, Outcome::kLinkLost},
        {"CloseOnPatterns", [](CSimFaults& f, uint32_t n) { f.closeOnRequest = n; },
         Outcome::kLinkLost},
        {"StallFromValues",
         [](CSimFaults& f, uint32_t n) { f.stallFromRequest = n + kPassValues - 1; },
         Outcome::kLinkLost},
        {"StallMidList",
         [](CSimFaults& f, uint32_t n) { f.stallMidAnswerOn = n + kPassValues - 1; },
         Outcome::kLinkLost},
        {"StallMidBinaryBlock",
         [](CSimFaults& f, uint32_t n) { f.stallMidAnswerOn = n + kPassImage - 1; },
         Outcome::kLinkLost},
        {"CloseMidList",
         [](CSimFaults& f, uint32_t n) { f.closeMidAnswerOn = n + kPassValues - 1; },
         Outcome::kLinkLost},
        {"CloseMidBinaryBlock",
         [](CSimFaults& f, uint32_t n) { f.closeMidAnswerOn = n + kPassImage - 1; },
         Outcome::kLinkLost},
        {"OversizeValues",
         [](CSimFaults& f, uint32_t n) { f.oversizeAnswerOn = n + kPassValues - 1; },
         Outcome::kLinkLost},
        // Error lines: values are refused silently; pattern list, DI/DO record and screen image
        // show the instrument's line.
        {"ErrorLineForValues", [](CSimFaults& f, uint32_t) { f.errorForKeys = {"FD"}; },
         Outcome::kGoesOn},
        {"ErrorLineForPatterns", [](CSimFaults& f, uint32_t) { f.errorForKeys = {"FW"}; },
         Outcome::kShownGoesOn},
        {"ErrorLineForDio", [](CSimFaults& f, uint32_t) { f.errorForKeys = {"FO"}; },
         Outcome::kShownGoesOn},
        {"ErrorLineForImage", [](CSimFaults& f, uint32_t) { f.errorForKeys = {"FC"}; },
         Outcome::kShownGoesOn},
        // A list without its opener has no known end: the link is out of step and lost.
        {"ValuesWithoutOpener",
         [](CSimFaults& f, uint32_t n) {
             f.garbleListOn = n + kPassValues - 1;
             f.garbleKind = SimGarble::kDropOpener;
         },
         Outcome::kLinkLost},
        {"ValuesLineRunsOn",
         [](CSimFaults& f, uint32_t n) {
             f.garbleListOn = n + kPassValues - 1;
             f.garbleKind = SimGarble::kCutLineEnd;
         },
         Outcome::kAnyGoesOn},
    };
    static_assert(kPassPatterns == 1 && kPassDio == 3, "pass order as the cycle polls");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartSim("full");
        manager.SetLinkTimeout(c.linkTimeoutMs);
        uint32_t id = 0;
        LogInAndSettle(&id);
        CSimFaults faults;
        c.fault(faults, NextRequestNumber());
        server->SetFaults(faults);
        switch (c.outcome) {
            case Outcome::kLinkLost:
                ExpectClosedOnce();
                break;
            case Outcome::kGoesOn:
                ExpectCycleGoesOn();
                EXPECT_TRUE(shown.empty()) << shown.front();
                break;
            case Outcome::kShownGoesOn:
                ExpectCycleGoesOn();
                EXPECT_FALSE(shown.empty());
                EXPECT_TRUE(std::all_of(shown.begin(), shown.end(),
                                        [](const std::string& s) { return s == "E1"; }));
                break;
            case Outcome::kAnyGoesOn:
                ExpectCycleGoesOn();
                break;
        }
        CloseAllAndCheckThreads();
    }
}

TEST_F(RunningFaults, InstrumentErrorLinesDuringOperations) {
    struct Case {
        const char* key;
        std::function<RzResult(CInstrumentConnection&)> operation;
        RzResult expected;
    };
    char log[4096];
    const std::vector<Case> cases = {
        {"PS", [](CInstrumentConnection& c) { return c.ExecPS(1); }, REPLY_ERROR},
        {"TL", [](CInstrumentConnection& c) { return c.ExecTL(1); }, REPLY_ERROR},
        {"AK", [](CInstrumentConnection& c) { return c.AcknowledgeAlarm(); }, REPLY_ERROR},
        {"MS", [](CInstrumentConnection& c) { return c.WriteMessage(1); }, REPLY_ERROR},
        {"EV", [](CInstrumentConnection& c) { return c.ExecEV(1); }, REPLY_ERROR},
        {"UD", [](CInstrumentConnection& c) { return c.SwitchDisplay(3, 0); }, REPLY_ERROR},
        {"CA", [](CInstrumentConnection& c) { return c.OperateLoopMode(kEntryInternalLoop, 1, 0); },
         REPLY_ERROR},
        {"FL", [&log](CInstrumentConnection& c) { return c.ReadLog(1, log, sizeof log); },
         REPLY_UNEXPECTED},
    };
    StartSim("full");
    uint32_t id = 0;
    LogInAndSettle(&id);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        CSimFaults faults;
        faults.errorForKeys = {c.key};
        server->SetFaults(faults);
        shown.clear();
        CInstrumentConnection* connection = Find(id);
        ASSERT_NE(connection, nullptr);
        const RzResult result = c.operation(*connection);
        EXPECT_EQ(result, c.expected) << ResultCodeName(result);
        EXPECT_EQ(shown, std::vector<std::string>{"E1"});
        ExpectCycleGoesOn();
    }
    CloseAllAndCheckThreads();
}

TEST_F(RunningFaults, ALinkLostDuringAnOperation) {
    struct Case {
        const char* name;
        std::function<void(CSimFaults&, uint32_t next)> fault;
        std::function<RzResult(CInstrumentConnection&)> operation;
        RzResult code;  // 0: any code of the link-broken range
    };
    char log[4096];
    const std::vector<Case> cases = {
        {"StallOnMemoryStart", [](CSimFaults& f, uint32_t n) { f.stallFromRequest = n; },
         [](CInstrumentConnection& c) { return c.ExecPS(1); }, LINK_E_TIMEOUT},
        {"CloseOnAlarmAck", [](CSimFaults& f, uint32_t n) { f.closeOnRequest = n; },
         [](CInstrumentConnection& c) { return c.AcknowledgeAlarm(); }, 0},
        {"DelayBeyondTimeoutOnDisplaySwitch",
         [](CSimFaults& f, uint32_t) { f.answerDelayMs = kLinkTimeoutMs * 3; },
         [](CInstrumentConnection& c) { return c.SwitchDisplay(3, 0); }, LINK_E_TIMEOUT},
        {"StallMidLogList", [](CSimFaults& f, uint32_t n) { f.stallMidAnswerOn = n; },
         [&log](CInstrumentConnection& c) { return c.ReadLog(1, log, sizeof log); },
         LINK_E_TIMEOUT},
        {"CloseMidLogList", [](CSimFaults& f, uint32_t n) { f.closeMidAnswerOn = n; },
         [&log](CInstrumentConnection& c) { return c.ReadLog(1, log, sizeof log); }, 0},
        {"OversizeLoopState", [](CSimFaults& f, uint32_t n) { f.oversizeAnswerOn = n; },
         [](CInstrumentConnection& c) { return c.ReadLoopState(kEntryInternalLoop, 1); }, 0},
        // A list where a status line was expected is read whole; one beyond the receive area
        // ends the link instead of passing for success.
        {"OversizeListForModeSwitch", [](CSimFaults& f, uint32_t n) { f.oversizeAnswerOn = n; },
         [](CInstrumentConnection& c) { return c.OperateLoopMode(kEntryInternalLoop, 1, 1); }, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartSim("full");
        uint32_t id = 0;
        LogInAndSettle(&id);
        CSimFaults faults;
        c.fault(faults, NextRequestNumber());
        server->SetFaults(faults);
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
        EXPECT_EQ(connection->ExecTL(1), LINK_E_BROKEN);
        EXPECT_EQ(server->CommandRequests().size(), sent);
        ExpectClosedOnce();
        CloseAllAndCheckThreads();
    }
}

TEST_F(RunningFaults, FaultsDuringTheOperatorsRefresh) {
    struct Case {
        const char* name;
        std::function<void(CSimFaults&, uint32_t next)> fault;
        bool linkLost;
        RzResult code;  // 0 with a lost link: any code of the link-broken range
    };
    const std::vector<Case> cases = {
        {"StallMidRefresh", [](CSimFaults& f, uint32_t n) { f.stallFromRequest = n + 3; }, true,
         LINK_E_TIMEOUT},
        {"CloseMidList", [](CSimFaults& f, uint32_t n) { f.closeMidAnswerOn = n + 2; }, true, 0},
        // Only negative results end a refresh; a refused query leaves its part of the model as
        // it was and the refresh goes on to the end.
        {"DisplayGroupsRefused", [](CSimFaults& f, uint32_t) { f.errorForKeys = {"SX"}; }, false,
         RZ_OK},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StartSim("full");
        uint32_t id = 0;
        LogInAndSettle(&id);
        CSimFaults faults;
        c.fault(faults, NextRequestNumber());
        server->SetFaults(faults);
        const RzResult result = Find(id)->Refresh();
        if (c.linkLost) {
            EXPECT_TRUE(IsLinkBroken(result)) << ResultCodeName(result);
            if (c.code != 0) {
                EXPECT_EQ(result, c.code) << ResultCodeName(result);
            }
            ExpectClosedOnce();
        } else {
            EXPECT_EQ(result, c.code) << ResultCodeName(result);
            // The display-group query's refusal is not shown; the refresh only reports it.
            EXPECT_TRUE(shown.empty()) << shown.front();
            ExpectCycleGoesOn();
        }
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
                 CInstrumentConnection* connection = nullptr;
                 ASSERT_EQ(m.FindConnection(id, &connection), RZ_OK);
                 connection->StopCycle();
             }},
        };
    for (const auto& [name, end] : cases) {
        SCOPED_TRACE(name);
        StartSim("full");
        manager.SetLinkTimeout(10000);
        uint32_t id = 0;
        LogInAndSettle(&id);
        CSimFaults faults;
        const uint32_t stalled = NextRequestNumber() + kPassValues - 1;
        faults.stallMidAnswerOn = stalled;
        server->SetFaults(faults);
        ASSERT_TRUE(ProcessEventsUntil([&] { return NextRequestNumber() > stalled; }));
        // The thread now waits for the rest of the answer; the link's time-out is far off.
        const auto start = std::chrono::steady_clock::now();
        end(manager, id);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        CloseAllAndCheckThreads();
    }
}

}  // namespace
