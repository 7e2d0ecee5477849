#include <gtest/gtest.h>

#include <functional>

#include "ConnectionHarness.h"
#include "common/AnswerBytes.h"
#include "common/TableText.h"

namespace {

using Sent = std::vector<std::string>;

// Each row: firmware major, the answers queued ("|" between them; "timeout" for a receive that
// times out, "unframeable" for an answer too large to frame, which fails the link), the requests
// that must go out ("|" between them), the result, the call, and what the published model must
// show after. However the link is lost, the error flag rises, the lost link is reported once,
// and every later call is refused without touching the link.
TEST(EntryPoints, RequestsAndModelEffects) {
    struct Case {
        const char* name;
        int32_t major;
        std::string answers;
        const char* sent;
        RzResult expected;
        std::function<RzResult(CInstrumentConnection&)> call;
        std::function<bool(const CInstrumentModel&)> effect = nullptr;
        int32_t minor = -1;  // -1: 6 on firmware 3, else 0
    };
    const Case cases[] = {
        {"MemoryStart", 3, "E0\r\n", "PS 0", RZ_OK, [](auto& c) { return c.SetMemoryRunning(1); },
         [](const auto& m) { return m.memoryRunning == 1; }},
        {"MemoryRefused", 3, "E1\r\n", "PS 0", REPLY_ERROR,
         [](auto& c) { return c.SetMemoryRunning(1); },
         [](const auto& m) { return m.memoryRunning == 0; }},
        {"MathStart", 3, "E0\r\n", "TL 0", RZ_OK, [](auto& c) { return c.OperateMath(1); },
         [](const auto& m) { return m.mathRunning == 1; }},
        {"MathResetKeepsState", 3, "E0\r\n", "TL 2", RZ_OK,
         [](auto& c) { return c.OperateMath(3); },
         [](const auto& m) { return m.mathRunning == 0; }},
        {"ModeInternalNewFirmware", 3, "E0\r\n", "CA1,2", RZ_OK,
         [](auto& c) { return c.OperateLoopMode(kEntryInternalLoop, 2, 1); },
         [](const auto& m) { return m.internalLoops[1].modeCode == 0; }},
        {"ModeInternalOldFirmware", 1, "E0\r\n", "CA2,2", RZ_OK,
         [](auto& c) { return c.OperateLoopMode(kEntryInternalLoop, 2, 2); },
         [](const auto& m) {
             return m.internalLoops[1].modeCode == 2 &&
                    std::string(m.internalLoops[1].display.modeText) == "CAS";
         }},
        {"ModeExternal", 2, "E0\r\n", "DV5,MODE,1", RZ_OK,
         [](auto& c) { return c.OperateLoopMode(kEntryExternalLoop, 5, 1); }},
        {"ModeExternalOnOldFirmwareIsUnsupported", 1, "", "", LINK_E_UNSUPPORTED,
         [](auto& c) { return c.OperateLoopMode(kEntryExternalLoop, 5, 1); }},
        {"ModeDioPoint", 3, "E0\r\n", "DL2,1", RZ_OK,
         [](auto& c) { return c.OperateLoopMode(kEntryDioPoint, 2, 1); }},
        {"ModeOtherKindDoesNothing", 3, "", "", RZ_OK,
         [](auto& c) { return c.OperateLoopMode(7, 2, 1); }},
        {"ModeLoopOutOfRange", 3, "", "", LINK_E_PARAMETER,
         [](auto& c) { return c.OperateLoopMode(kEntryInternalLoop, 7, 1); }},
        {"RemoteOldFirmwareStored", 1, "E0\r\n", "RL1,3", RZ_OK,
         [](auto& c) { return c.OperateLoopRemote(kEntryInternalLoop, 3, 1); },
         [](const auto& m) { return m.internalLoops[2].remote == 1; }},
        {"RemoteExternal", 3, "E0\r\n", "DV16,RL,1", RZ_OK,
         [](auto& c) { return c.OperateLoopRemote(kEntryExternalLoop, 16, 1); }},
        {"RunInternalReloadsPatterns", 3, std::string("E0\r\n|E1\r\n\0", 10), "OC1,1|FW", RZ_OK,
         [](auto& c) { return c.OperateLoopRun(kEntryInternalLoop, 1, 1); }},
        {"RunInternalOldFirmware", 1, "E0\r\n", "OC0,1", RZ_OK,
         [](auto& c) { return c.OperateLoopRun(kEntryInternalLoop, 1, 0); },
         [](const auto& m) { return m.internalLoops[0].run == 0; }},
        {"RunExternal", 2, "E0\r\n", "DV4,SR,1", RZ_OK,
         [](auto& c) { return c.OperateLoopRun(kEntryExternalLoop, 4, 1); }},
        {"SetPointInternal", 3, "EA\r\nDASP2,PID3\r\nEN\r\n|E0\r\n", "FP1|GO1,2,123", RZ_OK,
         [](auto& c) {
             c.UpdateModel([](CInstrumentModel& m) { m.internalLoops[0].spDecimals = 1; });
             return c.SetLoopSP(kEntryInternalLoop, 1, 12.34);
         },
         [](const auto& m) {
             return m.internalLoops[0].spValue == 12.34 &&
                    std::string(m.internalLoops[0].display.valueText[1]) == "12.3";
         }},
        {"SetPointRefusedKeepsModel", 3, "EA\r\nDASP2,PID3\r\nEN\r\n|E2\r\n", "FP1|GO1,2,50",
         REPLY_ERROR, [](auto& c) { return c.SetLoopSP(kEntryInternalLoop, 1, 50.0); },
         [](const auto& m) { return m.internalLoops[0].spValue == 0.0; }},
        {"SetPointExternal", 3, "EA\r\nDASP1,PID1\r\nEN\r\n|E0\r\n", "DQ3|DT3,1,SP,-150", RZ_OK,
         [](auto& c) {
             c.UpdateModel([](CInstrumentModel& m) { m.externalLoops[2].spDecimals = 2; });
             return c.SetLoopSP(kEntryExternalLoop, 3, -1.5);
         },
         [](const auto& m) {
             return std::string(m.externalLoops[2].display.valueText[1]) == "-1.50";
         }},
        {"OutputInternal", 2, "E0\r\n", "HJ457,2", RZ_OK,
         [](auto& c) {
             c.UpdateModel([](CInstrumentModel& m) { m.internalLoops[1].outDecimals = 1; });
             return c.SetLoopOut(kEntryInternalLoop, 2, 45.67);
         },
         [](const auto& m) {
             return m.internalLoops[1].outValue == 45.67 &&
                    std::string(m.internalLoops[1].display.valueText[2]) == "45.7";
         }},
        {"OutputExternal", 2, "E0\r\n", "DV1,MOUT,457", RZ_OK,
         [](auto& c) {
             c.UpdateModel([](CInstrumentModel& m) { m.externalLoops[0].outDecimals = 1; });
             return c.SetLoopOut(kEntryExternalLoop, 1, 45.67);
         }},
        {"OutputNeedsMajor2", 1, "", "", LINK_E_UNSUPPORTED,
         [](auto& c) { return c.SetLoopOut(kEntryInternalLoop, 1, 1.0); }},
        {"DigitalOutputNeedsMajor3", 2, "", "", LINK_E_UNSUPPORTED,
         [](auto& c) { return c.SetDigitalOutput(1, 1); }},
        {"AcknowledgeAlarm", 3, "E0\r\n", "AK 0", RZ_OK,
         [](auto& c) { return c.AcknowledgeAlarm(); }},
        {"WriteMessage", 3, "E0\r\n", "MS 8", RZ_OK, [](auto& c) { return c.WriteMessage(8); }},
        {"WriteMessageOutOfRange", 3, "", "", LINK_E_PARAMETER,
         [](auto& c) { return c.WriteMessage(9); }},
        {"SaveData", 3, "E0\r\n", "EV 4", RZ_OK, [](auto& c) { return c.SaveData(4); }},
        {"PatternDisplayOn306", 3, "E0\r\n", "&4 7", RZ_OK,
         [](auto& c) { return c.ShowPattern(7); }},
        {"PatternDisplayBefore306", 3, "", "", LINK_E_UNSUPPORTED,
         [](auto& c) { return c.ShowPattern(1); }, nullptr, 5},
        {"TrendOptions", 3, "E0\r\n", "UD 4,OFF,All,OFF,ON", RZ_OK,
         [](auto& c) { return c.SetTrendOptions(1, 0, 5); },
         [](const auto& m) { return m.trendOptions == 5; }},
        {"TrendOptionsRefused", 3, "E1\r\n", "UD 4,OFF,All,ON,ON", REPLY_ERROR,
         [](auto& c) { return c.SetTrendOptions(1, 1, 1); },
         [](const auto& m) { return m.trendOptions == 0; }},
        {"LostLink", 3, "timeout", "AK 0", LINK_E_TIMEOUT,
         [](auto& c) { return c.AcknowledgeAlarm(); }},
        {"AnswerTooLargeToFrame", 3, "unframeable", "AK 0", LINK_E_FORMAT,
         [](auto& c) { return c.AcknowledgeAlarm(); }},
        {"ProgramScreenLostAfterARun", 3, "E0\r\n|" + PatternList({{4, 0, 1}}) + "|E0\r\n|timeout",
         "PN 4|FW|PX 1|UD 1,PROGRAM", LINK_E_TIMEOUT,
         [](auto& c) {
             c.UpdateModel([](CInstrumentModel& m) { m.patterns[3].exists = 1; });
             return c.OperateProgram(4, kProgramRun).code();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ConnectionHarness h(c.major, c.minor >= 0 ? c.minor : (c.major == 3 ? 6 : 0));
        ASSERT_EQ(h.prepared, RZ_OK);
        size_t errorLines = 0;
        int lost = 0;
        for (const std::string& answer : Split(c.answers)) {
            const bool timeout = answer == "timeout";
            if (timeout || answer == "unframeable") {
                h.link.QueueReceiveError(timeout ? LINK_E_TIMEOUT : LINK_E_FORMAT, !timeout);
                lost = 1;
                continue;
            }
            h.link.QueueAnswer(answer);
            errorLines +=
                answer.size() > 1 && answer[0] == 'E' && answer[1] > '0' && answer[1] <= '9';
        }
        EXPECT_EQ(c.call(*h.connection), c.expected);
        if (lost != 0) {
            EXPECT_EQ(h.connection->SetMemoryRunning(1), LINK_E_BROKEN);
        }
        EXPECT_EQ(h.link.sentText(), c.sent);
        if (c.effect) {
            EXPECT_TRUE(c.effect(h.connection->CopyModel()));
        }
        // Each error line the instrument answers is shown; the connection runs on.
        EXPECT_EQ(h.shown.size(), errorLines);
        EXPECT_EQ(h.commErrors, lost);
        EXPECT_EQ(h.connection->LinkFailed(), lost != 0);
    }
}

TEST(EntryPoints, SwitchDisplayBookkeeping) {
    struct Case {
        int32_t kind, index;
        std::string request;
        int32_t displayKind, displayGroup, measurePage, controlStyle;
    };
    // Fields start at -1 so that "unchanged" is visible.
    const Case cases[] = {
        {0, 3, "UD 1,TREND,3", 4, 2, 0, -1},         {1, 1, "UD 1,DIGITAL,1", 4, 0, 1, -1},
        {2, 10, "UD 1,BAR,10", 4, 9, 2, -1},         {7, 2, "UD 1,FACEPLATE,2", 1, 1, -1, 1},
        {8, 8, "UD 1,CONTROLLER,8", 1, 7, -1, 0},    {9, 1, "UD 1,HYBRID,1", 1, 0, -1, 2},
        {3, 0, "UD 1,OVERVIEW", 6, -1, -1, -1},      {10, 0, "UD 1,CTRLOVER", 2, -1, -1, -1},
        {11, 0, "UD 1,PROGRAM", 5, -1, -1, -1},      {12, 0, "UD 1,CTRLDO", 7, -1, -1, -1},
        {14, 0, "UD 1,CTRLSW", 3, -1, -1, -1},       {4, 0, "UD 1,ALARM", -1, -1, -1, -1},
        {13, 0, "UD 1,CTRLSUMMARY", -1, -1, -1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        ConnectionHarness h(3, 6);
        h.connection->UpdateViewState([](CViewState& v) {
            v.displayKind = v.displayGroup = v.measurePage = v.controlStyle = -1;
        });
        h.link.QueueAnswer("E0\r\n");
        EXPECT_EQ(h.connection->SwitchDisplay(c.kind, c.index), RZ_OK);
        EXPECT_EQ(h.Sent(), Sent{c.request});
        const CInstrumentModel m = h.connection->CopyModel();
        EXPECT_EQ(m.displayKind, c.displayKind);
        EXPECT_EQ(m.displayGroup, c.displayGroup);
        EXPECT_EQ(m.measurePage, c.measurePage);
        EXPECT_EQ(m.controlStyle, c.controlStyle);
    }
}

TEST(EntryPoints, ProgramActionsFollowThePatternState) {
    // "FW" answers: one entry for pattern 4 with the given status bits.
    struct Case {
        int32_t action;
        int32_t state;  // state the pattern reports: 1 reset, 2 running, 3 held, 4 bit 2
        Sent sent;      // after "PN 4" and "FW"
        int32_t newState;
        bool changed;
    };
    const Case cases[] = {
        {kProgramRun, 1, {"PX 1", "UD 1,PROGRAM"}, 2, true},
        {kProgramRun, 2, {}, 2, false},
        {kProgramRun, 3, {}, 3, false},
        {kProgramRun, 4, {}, 4, false},
        {kProgramReset, 2, {"PX 0", "UD 1,PROGRAM"}, 1, true},
        {kProgramReset, 1, {}, 1, false},
        {kProgramHold, 2, {"HU 1"}, 3, true},
        {kProgramHold, 3, {}, 3, false},
        {kProgramHold, 1, {}, 1, false},
        {kProgramRelease, 3, {"HU 0"}, 2, true},
        {kProgramRelease, 2, {}, 2, false},
        {kProgramAdvance, 2, {"AD 1"}, 2, true},
        {kProgramAdvance, 1, {}, 1, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.action) + " on state " + std::to_string(c.state));
        ConnectionHarness h(3, 6);
        h.connection->UpdateModel([](CInstrumentModel& m) { m.patterns[3].exists = 1; });
        const int bits = c.state == 1 ? 0 : (c.state == 2 ? 1 : (c.state == 3 ? 3 : 5));
        h.link.QueueAnswer("E0\r\n");  // PN
        h.link.QueueAnswer(PatternList({{4, static_cast<uint8_t>(bits), 1}}));
        h.link.SetDefaultAnswer("E0\r\n");
        const RzExpected<bool> changed = h.connection->OperateProgram(4, c.action);
        ASSERT_TRUE(changed.ok());
        Sent expected{"PN 4", "FW"};
        expected.insert(expected.end(), c.sent.begin(), c.sent.end());
        EXPECT_EQ(h.Sent(), expected);
        EXPECT_EQ(*changed, c.changed);
        EXPECT_EQ(h.connection->CopyModel().patterns[3].state, c.newState);
    }
}

TEST(EntryPoints, ProgramPreconditions) {
    struct Case {
        int32_t programOption, pattern, action;
        RzResult expected;
    };
    const Case cases[] = {
        {0, 1, kProgramRun, LINK_E_GENERAL},
        {2, 0, kProgramRun, LINK_E_GENERAL},
        {2, 31, kProgramRun, LINK_E_GENERAL},
        {2, 30, 0, RZ_OK},
    };
    for (const auto& c : cases) {
        ConnectionHarness h(3, 6, 3200, c.programOption);
        const RzExpected<bool> changed = h.connection->OperateProgram(c.pattern, c.action);
        EXPECT_EQ(changed.code(), c.expected);
        EXPECT_TRUE(h.Sent().empty());
        EXPECT_FALSE(changed.value_or(false));
    }
}

TEST(EntryPoints, ReadLogGivesTheText) {
    ConnectionHarness h(3, 6);
    h.link.SetDefaultAnswer("EA\r\nDA2026/12/06 10:00:00 power on\r\nEN\r\n");
    const RzExpected<std::string> log = h.connection->ReadLog(0);
    ASSERT_TRUE(log.ok());
    EXPECT_NE(log->find("power on"), std::string::npos);
    EXPECT_EQ(h.Sent(), Sent{"FL COM,200"});
}

TEST(EntryPoints, RunStopWithoutProgramsReturnsTheResultOfOC) {
    for (const int32_t major : {2, 3}) {
        ConnectionHarness h(major, 0, 3200, 0);  // no program option: nothing to reload
        h.link.QueueAnswer("E0\r\n");
        EXPECT_EQ(h.connection->OperateLoopRun(kEntryInternalLoop, 1, 1), RZ_OK) << major;
        EXPECT_EQ(h.Sent(), Sent{"OC1,1"}) << major;
    }
}

}  // namespace
