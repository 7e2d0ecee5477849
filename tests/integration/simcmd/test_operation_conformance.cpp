// Operation commands run by the console's command objects against rzsim: each sends exactly
// the request the console makes, the instrument takes it, and the query that reads the state
// back sees the change.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "commands/AnswerParsers.h"
#include "common/SimFixture.h"
#include "common/SimOperations.h"
#include "common/TableText.h"

namespace {

using Check = std::function<void(CSimCmdSession&)>;

// Checks of the state, each read back through the console's query.
Check Both(Check first, Check second) {
    return [=](CSimCmdSession& s) {
        first(s);
        second(s);
    };
}
Check LoopState(const char* key, int loop, int mode, int remote, int run) {
    return [=](CSimCmdSession& s) {
        auto& fm = s.Cmd<CCmdFM>(key);
        fm.loop = loop;
        ASSERT_EQ(fm.Query(), RZ_OK);
        EXPECT_EQ(std::tie(fm.state2, fm.state1, fm.state0), std::tie(mode, remote, run));
    };
}
// Item `index` of the internal (or external) loop values.
Check ItemIs(bool external, int index, double value) {
    return [=](CSimCmdSession& s) {
        auto& fd = s.Cmd<CCmdFD>("FD");
        ASSERT_EQ(fd.Query(), RZ_OK);
        EXPECT_DOUBLE_EQ(RecordValue(external ? fd.extRecords[index] : fd.loopRecords[index]),
                         value);
    };
}
Check RunStatus(int memory, int math) {
    return [=](CSimCmdSession& s) {
        auto& is = s.Cmd<CCmdIS>("IS");
        ASSERT_EQ(is.Query(), RZ_OK);
        EXPECT_EQ(memory < 0 ? -1 : is.statusA, memory);
        EXPECT_EQ(math < 0 ? -1 : is.statusB, math);
    };
}
Check PatternIs(int pattern, int bit0, int bit1, int bit2) {
    return [=](CSimCmdSession& s) {
        auto& fh = s.Cmd<CCmdFH>("FH");
        fh.pattern = pattern;
        ASSERT_EQ(fh.Query(), RZ_OK);
        EXPECT_EQ(std::tie(fh.bit0, fh.bit1, fh.bit2), std::tie(bit0, bit1, bit2));
    };
}
// The mode flag (S) or the output (E) of DI/DO points, as {point, value}.
Check DioIs(char flag, std::vector<std::pair<int, int>> points) {
    return [=](CSimCmdSession& s) {
        auto& fo = s.Cmd<CCmdFO>("FO");
        ASSERT_EQ(fo.Query(), RZ_OK);
        for (const auto& [point, value] : points) {
            const CDioPointState& state = fo.points[point - 1];
            EXPECT_EQ(flag == 'S' ? state.flagS : state.flagE, value) << "point " << point;
        }
    };
}
Check LogEndsWith(int kind, std::string tail) {
    return [=](CSimCmdSession& s) {
        auto& fl = s.Cmd<CCmdFL>("FL");
        fl.kind = kind;
        fl.count = 1;
        ASSERT_EQ(fl.Query(), RZ_OK);
        EXPECT_TRUE(std::string(fl.logText).ends_with(tail)) << fl.logText;
    };
}
// The instrument's own state, read under its lock where no query reaches it.
Check Instrument(std::function<void(CSimInstrument&)> check) {
    return [check](CSimCmdSession& s) { s.Server().WithInstrument(check); };
}

struct OperationRow {
    const char* name;
    const char* profile;
    Operation run;
    const char* requests;  // exactly what the instrument receives, "|" between requests
    Check check;           // reads the change back
    ProfileChange change = nullptr;
};

TEST(OperationConformance, OperationsChangeWhatTheQueriesReadBack) {
    const char* const kFull = "full";
    const char* const kV2 = "rz3200v2";
    const char* const k3100 = "rz3100";
    const OperationRow rows[] = {
        {"internal loop mode", kFull, Ca(1, 1), "CA1,1", LoopState("FM", 1, 1, 0, 1)},
        {"cascade loop back to AUT", kFull, Ca(2, 0), "CA0,2", LoopState("FM", 2, 0, 1, 1)},
        {"internal loop remote", kFull, Rl(1, 1), "RL1,1", LoopState("FM", 1, 0, 1, 1)},
        {"internal loop stop", kFull, Oc(1, 0), "OC0,1", LoopState("FM", 1, 0, 0, 0)},
        {"manual output", kFull, Hj(3, 33.3, 1), "HJ333,3", ItemIs(false, 8, 33.3)},
        {"set point in use", kFull, Go(2, 0, 190.25, 2), "FP2|GO2,3,19025",
         ItemIs(false, 4, 190.25)},
        // The loop still runs on set point 3; number 8, the last, keeps the new value for later.
        {"set point not in use", kFull, Go(2, 8, 160.0, 2), "GO2,8,16000",
         Both(ItemIs(false, 4, 180.0), Instrument([](CSimInstrument& instrument) {
                  EXPECT_DOUBLE_EQ(instrument.Setup().loops[1].setPoints[7], 160.0);
              }))},
        {"set point, old firmware", k3100, Go(1, 1, 90.5, 1), "GO1,1,905", ItemIs(false, 1, 90.5)},
        {"external set point", kFull, Dt(7, 0, 4.25, 2), "DQ7|DT7,2,SP,425",
         Both(ItemIs(true, 19, 4.25),
              [](CSimCmdSession& s) {
                  EXPECT_EQ(s.Raw("DT7,2?"),
                            "EA\r\nDT7,2,SP,425\r\nDT7,2,OH,800\r\nDT7,2,OL,200\r\nEN\r\n");
              })},
        {"external mode", kFull, Dv(1, "mode", 1), "DV1,MODE,1", LoopState("DR", 1, 1, 0, 1)},
        {"external local", kFull, Dv(2, "RL", 0), "DV2,RL,0", LoopState("DR", 2, 1, 0, 0)},
        {"external stop", kV2, Dv(1, "SR", 2), "DV1,SR,0", LoopState("DR", 1, 0, 0, 0)},
        {"external manual output", kFull, Dv(7, "MOUT", 0, 75.5), "DV7,MOUT,755",
         ItemIs(true, 20, 75.5)},
        {"DI/DO point mode", kFull, Dl(3, 0), "DL3,0", DioIs('S', {{3, 0}})},
        // Point 4 switches on; its neighbours keep theirs.
        {"DI/DO point output", kFull, Dm(4, 1), "DM4,1", DioIs('E', {{3, 1}, {4, 1}, {5, 0}})},
        {"program run", kFull, Program(1, "PX", 1), "PN 1|PX 1",
         Both(Both(PatternIs(1, 1, 0, 0), PatternIs(0, 1, 0, 0)),
              [](CSimCmdSession& s) {
                  auto& fw = s.Cmd<CCmdFW>("FW");
                  ASSERT_EQ(fw.Query(), RZ_OK);
                  ASSERT_GE(fw.patternCount, 1);
                  EXPECT_EQ(std::tie(fw.patterns[0].pattern, fw.patterns[0].bit0),
                            std::make_tuple(1, 1));
              })},
        {"program reset", kFull, Program(2, "PX", 0), "PN 2|PX 0", PatternIs(2, 0, 0, 0)},
        {"program hold", kFull, Program(12, "HU", 1), "PN 12|HU 1", PatternIs(12, 1, 2, 0)},
        {"program advance ends a wait", kFull, Program(4, "AD"), "PN 4|AD 1",
         Both(PatternIs(4, 1, 0, 0), Instrument([](CSimInstrument& instrument) {
                  EXPECT_EQ(instrument.Setup().patterns[3].segment, 2);
              }))},
        {"memory stop", kFull, Ps(0), "PS 1",
         Both(RunStatus(0, -1), LogEndsWith(kSimLogKey, " Memory stop\r\n"))},
        {"math start", kFull, Tl(1), "TL 0", RunStatus(-1, 1)},
        {"math reset", kFull, Tl(3), "TL 2",
         [](CSimCmdSession& s) {
             auto& fd = s.Cmd<CCmdFD>("FD");
             ASSERT_EQ(fd.Query(), RZ_OK);
             ASSERT_GE(fd.mathCount, 0);
             EXPECT_EQ(ReadAnswerInt(fd.mathRecords[0].text2), 0);
         }},
        // The alarm stays on the channel's item, without its unacknowledged mark.
        {"alarm acknowledge", kFull, Plain("AK"), "AK 0",
         Both(LogEndsWith(kSimLogAlarm, " Alarm ACK\r\n"),
              [](CSimCmdSession& s) {
                  const std::string item = s.Raw("FD0,3,3");
                  EXPECT_NE(item.find(" ALM "), std::string::npos) << item;
                  EXPECT_EQ(item.find("ALM*"), std::string::npos) << item;
              })},
        {"save display data", kFull, Ev(3), "EV 3",
         Instrument([](CSimInstrument& i) { EXPECT_EQ(i.Panel().dataSaves[3], 1); })},
        {"message", kFull, Ms(3), "MS 3", LogEndsWith(kSimLogMsg, " BATCH START\r\n")},
        {"message to a group", kFull, Ms(8), "MS1,8", LogEndsWith(kSimLogMsg, " OPERATOR NOTE\r\n"),
         [](CSimProfile& p) { p.pidAux[4] = 1; }},
        {"display switch", kFull, Ud(1, 8, 8), "UD 1,CONTROLLER,8",
         Instrument([](CSimInstrument& i) {
             EXPECT_EQ(std::tie(i.Panel().displayWord, i.Panel().displayGroup),
                       std::make_tuple("CONTROLLER", 8));
         })},
        {"display without a group", k3100, Ud(1, 14, 0), "UD 1,CTRLSW",
         Instrument([](CSimInstrument& i) {
             EXPECT_EQ(std::tie(i.Panel().displayWord, i.Panel().displayGroup),
                       std::make_tuple("CTRLSW", 0));
         })},
        {"trend options", kFull, Ud(4, 0, 1, 1, 0), "UD 4,OFF,All,ON,OFF",
         Instrument([](CSimInstrument& i) {
             const CSimPanel& p = i.Panel();
             EXPECT_EQ(std::tie(p.trendFirst, p.trendAllChannels, p.trendScale, p.trendDigital),
                       std::make_tuple(false, true, true, false));
         })},
        {"program display pattern", kFull, Amp4(12), "&4 12",
         Instrument([](CSimInstrument& i) { EXPECT_EQ(i.Panel().programDisplayPattern, 12); })},
    };
    for (const OperationRow& row : rows) {
        SCOPED_TRACE(row.name);
        CSimCmdSession session;
        ASSERT_TRUE(session.Start(ShippedProfile(row.profile, row.change))) << session.Error();
        EXPECT_EQ(row.run(session), RZ_OK);
        EXPECT_EQ(Joined(session.TakeRequests()), row.requests);
        row.check(session);
        EXPECT_EQ(session.TakeShown(), std::vector<std::string>{});
    }
}

}  // namespace
