// Operation commands run by the console's command objects against rzsim: each sends exactly
// the request the console makes, the instrument takes it, and the query that reads the state
// back sees the change.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "commands/AnswerParsers.h"
#include "common/SimFixture.h"

namespace {

using Run = std::function<RzResult(CCommandSet&)>;
using Check = std::function<void(CSimCmdSession&)>;

template <typename T>
T& Get(CCommandSet& set, const char* key) {
    T* command = dynamic_cast<T*>(set.GetCommand(key));
    if (command == nullptr) {
        throw std::logic_error(std::string("no command ") + key + " for this firmware");
    }
    return *command;
}

// Runs `query` and hands the command object to `check`.
template <typename T>
void Read(CSimCmdSession& session, const char* key, const std::function<void(T&)>& prepare,
          const std::function<void(const T&)>& check) {
    T& command = session.Cmd<T>(key);
    prepare(command);
    ASSERT_EQ(command.Query(), RZ_OK) << key;
    check(command);
}

// The value of an "FD" record: mantissa and exponent read back as a number.
double ItemValue(const CDataRecord& record) {
    int exponent = ReadAnswerInt(record.text3);
    double value = ReadAnswerInt(record.text2);
    for (; exponent < 0; ++exponent) {
        value /= 10.0;
    }
    return value;
}

const CDataRecord& Values(CSimCmdSession& session, bool external, int index) {
    auto& fd = session.Cmd<CCmdFD>("FD");
    EXPECT_EQ(fd.Query(), RZ_OK);
    return external ? fd.extRecords[index] : fd.loopRecords[index];
}

void ExpectLoopState(CSimCmdSession& session, const char* key, int loop, int mode, int remote,
                     int run) {
    auto& fm = session.Cmd<CCmdFM>(key);
    fm.loop = loop;
    ASSERT_EQ(fm.Query(), RZ_OK);
    EXPECT_EQ(fm.state2, mode);
    EXPECT_EQ(fm.state1, remote);
    EXPECT_EQ(fm.state0, run);
}

void ExpectPattern(CSimCmdSession& session, int pattern, int bit0, int bit1, int bit2) {
    auto& fh = session.Cmd<CCmdFH>("FH");
    fh.pattern = pattern;
    ASSERT_EQ(fh.Query(), RZ_OK);
    EXPECT_EQ(fh.bit0, bit0);
    EXPECT_EQ(fh.bit1, bit1);
    EXPECT_EQ(fh.bit2, bit2);
}

std::string LastLogLine(CSimCmdSession& session, int kind) {
    auto& fl = session.Cmd<CCmdFL>("FL");
    fl.kind = kind;
    fl.count = 1;
    EXPECT_EQ(fl.Query(), RZ_OK);
    return fl.logText;
}

bool EndsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

struct OperationRow {
    const char* name;
    CSimProfile profile;
    Run run;
    std::vector<std::string> requests;  // exactly what the instrument receives
    Check check;                        // reads the change back
};

// Runs of one command with its parameters set.
template <typename T, typename Set>
Run Op(const char* key, Set set) {
    return [key, set](CCommandSet& commands) {
        T& command = Get<T>(commands, key);
        set(command);
        return command.Execute();
    };
}
Run Ca(int loop, int mode) {
    return Op<CCmdCA>("CA", [=](CCmdCA& c) { std::tie(c.loop, c.mode) = std::tie(loop, mode); });
}
Run Rl(int loop, int state) {
    return Op<CCmdRL>("RL", [=](CCmdRL& c) { std::tie(c.loop, c.state) = std::tie(loop, state); });
}
Run Oc(int loop, int state) {
    return Op<CCmdOC>("OC", [=](CCmdOC& c) { std::tie(c.loop, c.state) = std::tie(loop, state); });
}
Run Hj(int loop, double value, int decimals) {
    return Op<CCmdHJ>("HJ", [=](CCmdHJ& c) {
        std::tie(c.loop, c.value, c.decimals) = std::tie(loop, value, decimals);
    });
}
Run Go(int loop, int number, double value, int decimals) {
    return Op<CCmdGO>("GO", [=](CCmdGO& c) {
        std::tie(c.loop, c.setPointNumber, c.value, c.decimals) =
            std::tie(loop, number, value, decimals);
    });
}
Run Dt(int loop, int number, double value, int decimals) {
    return Op<CCmdDT>("DT", [=](CCmdDT& c) {
        std::tie(c.loop, c.setPointNumber, c.value, c.decimals) =
            std::tie(loop, number, value, decimals);
    });
}
// "DV" with `item` for `loop`; `value` goes to the mode, remote and run/stop fields alike.
Run Dv(int loop, const char* item, int value, double output = 0.0) {
    return Op<CCmdDV>("DV", [=](CCmdDV& c) {
        c.loop = loop;
        std::strcpy(c.item[loop - 1], item);
        CDvLoopRecord& record = c.records[loop - 1];
        record.mode = record.remote = record.runStop = value;
        record.manualOutput = output;
        record.outputDecimals = 1;
    });
}
Run Dl(int point, int mode) {
    return Op<CCmdDL>("DL", [=](CCmdDL& c) { std::tie(c.point, c.mode) = std::tie(point, mode); });
}
Run Dm(int point, int value) {
    return Op<CCmdDM>("DM",
                      [=](CCmdDM& c) { std::tie(c.point, c.value) = std::tie(point, value); });
}
Run Pn(int pattern) {
    return Op<CCmdPN>("PN", [=](CCmdPN& c) { c.pattern = pattern; });
}
Run Ps(int start) {
    return Op<CCmdPS>("PS", [=](CCmdPS& c) { c.start = start; });
}
Run Tl(int action) {
    return Op<CCmdTL>("TL", [=](CCmdTL& c) { c.action = action; });
}
Run Ev(int kind) {
    return Op<CCmdEV>("EV", [=](CCmdEV& c) { c.kind = kind; });
}
Run Ms(int message) {
    return Op<CCmdMS>("MS", [=](CCmdMS& c) { c.message = message; });
}
Run Ud(int kind, int display, int group, int option2 = 0, int option3 = 0) {
    return Op<CCmdUD>("UD", [=](CCmdUD& c) {
        std::tie(c.kind, c.display, c.group, c.option2, c.option3) =
            std::tie(kind, display, group, option2, option3);
    });
}
Run Amp4(int pattern) {
    return Op<CCmdAmp4>("_4", [=](CCmdAmp4& c) { c.pattern = pattern; });
}
Run Plain(const char* key) {
    return [key](CCommandSet& set) { return set.GetCommand(key)->Execute(); };
}
// "PN" for the pattern, then the program operation.
Run Program(int pattern, Run operation) {
    return [pattern, operation](CCommandSet& set) {
        const RzResult result = Pn(pattern)(set);
        return result != RZ_OK ? result : operation(set);
    };
}
Run Px(int run) {
    return Op<CCmdPX>("PX", [=](CCmdPX& c) { c.run = run; });
}
Run Hu(int hold) {
    return Op<CCmdHU>("HU", [=](CCmdHU& c) { c.hold = hold; });
}

// The instrument's panel, read under its lock.
Check Panel(std::function<void(const CSimPanel&)> check) {
    return [check](CSimCmdSession& s) {
        s.Server().WithInstrument(
            [&check](CSimInstrument& instrument) { check(instrument.Panel()); });
    };
}
Check RunStatus(int memory, int math) {
    return [=](CSimCmdSession& s) {
        auto& is = s.Cmd<CCmdIS>("IS");
        ASSERT_EQ(is.Query(), RZ_OK);
        if (memory >= 0) {
            EXPECT_EQ(is.statusA, memory);
        }
        if (math >= 0) {
            EXPECT_EQ(is.statusB, math);
        }
    };
}
Check LoopState(const char* key, int loop, int mode, int remote, int run) {
    return [=](CSimCmdSession& s) { ExpectLoopState(s, key, loop, mode, remote, run); };
}
Check ItemIs(bool external, int index, double value) {
    return
        [=](CSimCmdSession& s) { EXPECT_DOUBLE_EQ(ItemValue(Values(s, external, index)), value); };
}
Check LogEndsWith(int kind, std::string tail) {
    return [=](CSimCmdSession& s) { EXPECT_TRUE(EndsWith(LastLogLine(s, kind), tail)); };
}

std::vector<OperationRow> OperationRows() {
    const CSimProfile kFull = ShippedProfile("full");
    const CSimProfile kV2 = ShippedProfile("rz3200v2");
    const CSimProfile k3100 = ShippedProfile("rz3100");
    const CSimProfile kFullGroupMessages =
        ShippedProfile("full", [](CSimProfile& p) { p.pidAux[4] = 1; });
    return {
        {"internal loop mode", kFull, Ca(1, 1), {"CA1,1"}, LoopState("FM", 1, 1, 0, 1)},
        {"cascade loop back to AUT", kFull, Ca(2, 0), {"CA0,2"}, LoopState("FM", 2, 0, 1, 1)},
        {"internal loop remote", kFull, Rl(1, 1), {"RL1,1"}, LoopState("FM", 1, 0, 1, 1)},
        {"internal loop stop", kFull, Oc(1, 0), {"OC0,1"}, LoopState("FM", 1, 0, 0, 0)},
        {"internal loop run", kV2, Oc(3, 1), {"OC1,3"}, LoopState("FM", 3, 1, 0, 1)},
        {"internal loop manual output", kFull, Hj(3, 33.3, 1), {"HJ333,3"}, ItemIs(false, 8, 33.3)},
        {"internal loop set point in use",
         kFull,
         [](CCommandSet& set) {
             auto& fp = Get<CCmdFP>(set, "FP");
             fp.loop = 2;
             const RzResult result = fp.Query();
             return result != RZ_OK ? result : Go(2, fp.setPointNumber, 190.25, 2)(set);
         },
         {"FP2", "GO2,3,19025"},
         ItemIs(false, 4, 190.25)},
        {"internal loop set point not in use",
         kFull,
         Go(2, 1, 160.0, 2),
         {"GO2,1,16000"},
         [](CSimCmdSession& s) {
             // The loop still runs on set point 3; number 1 keeps the new value for later.
             ItemIs(false, 4, 180.0)(s);
             s.Server().WithInstrument([](CSimInstrument& instrument) {
                 EXPECT_DOUBLE_EQ(instrument.Setup().loops[1].setPoints[0], 160.0);
             });
         }},
        {"internal loop set point on old firmware",
         k3100,
         Go(1, 1, 90.5, 1),
         {"GO1,1,905"},
         ItemIs(false, 1, 90.5)},
        {"external loop set point",
         kFull,
         [](CCommandSet& set) {
             auto& dq = Get<CCmdDQ>(set, "DQ");
             dq.loop = 7;
             const RzResult result = dq.Query();
             return result != RZ_OK ? result : Dt(7, dq.setPointNumber, 4.25, 2)(set);
         },
         {"DQ7", "DT7,2,SP,425"},
         [](CSimCmdSession& s) {
             ItemIs(true, 19, 4.25)(s);
             EXPECT_EQ(s.Raw("DT7,2?"),
                       "EA\r\nDT7,2,SP,425\r\nDT7,2,OH,800\r\nDT7,2,OL,200\r\nEN\r\n");
         }},
        {"external loop mode",
         kFull,
         Dv(1, "mode", 1),
         {"DV1,MODE,1"},
         LoopState("DR", 1, 1, 0, 1)},
        {"external loop local", kFull, Dv(2, "RL", 0), {"DV2,RL,0"}, LoopState("DR", 2, 1, 0, 0)},
        {"external loop stop", kV2, Dv(1, "SR", 2), {"DV1,SR,0"}, LoopState("DR", 1, 0, 0, 0)},
        {"external loop run", kV2, Dv(2, "Sr", 1), {"DV2,SR,1"}, LoopState("DR", 2, 1, 0, 1)},
        {"external loop manual output",
         kFull,
         Dv(7, "MOUT", 0, 75.5),
         {"DV7,MOUT,755"},
         ItemIs(true, 20, 75.5)},
        {"DI/DO point mode",
         kFull,
         Dl(3, 0),
         {"DL3,0"},
         [](CSimCmdSession& s) {
             Read<CCmdFO>(
                 s, "FO", [](CCmdFO&) {},
                 [](const CCmdFO& fo) { EXPECT_EQ(fo.points[2].flagS, 0); });
         }},
        {"DI/DO point output",
         kFull,
         Dm(4, 1),
         {"DM4,1"},
         [](CSimCmdSession& s) {
             Read<CCmdFO>(
                 s, "FO", [](CCmdFO&) {},
                 [](const CCmdFO& fo) {
                     EXPECT_EQ(fo.points[3].flagE, 1);
                     EXPECT_EQ(fo.points[2].flagE, 1);  // its neighbours keep theirs
                     EXPECT_EQ(fo.points[4].flagE, 0);
                 });
         }},
        {"program run",
         kFull,
         Program(1, Px(1)),
         {"PN 1", "PX 1"},
         [](CSimCmdSession& s) {
             ExpectPattern(s, 1, 1, 0, 0);
             ExpectPattern(s, 0, 1, 0, 0);  // the selected pattern
             Read<CCmdFW>(
                 s, "FW", [](CCmdFW&) {},
                 [](const CCmdFW& fw) {
                     ASSERT_GE(fw.patternCount, 1);
                     EXPECT_EQ(fw.patterns[0].pattern, 1);
                     EXPECT_EQ(fw.patterns[0].bit0, 1);
                 });
         }},
        {"program reset",
         kFull,
         Program(2, Px(0)),
         {"PN 2", "PX 0"},
         [](CSimCmdSession& s) { ExpectPattern(s, 2, 0, 0, 0); }},
        {"program hold",
         kFull,
         Program(12, Hu(1)),
         {"PN 12", "HU 1"},
         [](CSimCmdSession& s) { ExpectPattern(s, 12, 1, 2, 0); }},
        {"program release",
         kV2,
         Program(3, Hu(0)),
         {"PN 3", "HU 0"},
         [](CSimCmdSession& s) { ExpectPattern(s, 3, 1, 0, 0); }},
        {"program advance ends a wait",
         kFull,
         Program(4, Plain("AD")),
         {"PN 4", "AD 1"},
         [](CSimCmdSession& s) {
             ExpectPattern(s, 4, 1, 0, 0);
             s.Server().WithInstrument([](CSimInstrument& instrument) {
                 EXPECT_EQ(instrument.Setup().patterns[3].segment, 2);
             });
         }},
        {"memory stop",
         kFull,
         Ps(0),
         {"PS 1"},
         [](CSimCmdSession& s) {
             RunStatus(0, -1)(s);
             LogEndsWith(kSimLogKey, " Memory stop\r\n")(s);
         }},
        {"memory start", k3100, Ps(1), {"PS 0"}, RunStatus(1, -1)},
        {"math start", kFull, Tl(1), {"TL 0"}, RunStatus(-1, 1)},
        {"math stop", kV2, Tl(2), {"TL 1"}, RunStatus(-1, 0)},
        {"math reset",
         kFull,
         Tl(3),
         {"TL 2"},
         [](CSimCmdSession& s) {
             auto& fd = s.Cmd<CCmdFD>("FD");
             ASSERT_EQ(fd.Query(), RZ_OK);
             ASSERT_GE(fd.mathCount, 0);
             EXPECT_EQ(ReadAnswerInt(fd.mathRecords[0].text2), 0);
         }},
        {"alarm acknowledge",
         kFull,
         Plain("AK"),
         {"AK 0"},
         [](CSimCmdSession& s) {
             LogEndsWith(kSimLogAlarm, " Alarm ACK\r\n")(s);
             // The alarm stays on the channel's item, without its unacknowledged mark.
             const std::string item = s.Raw("FD0,3,3");
             EXPECT_NE(item.find(" ALM "), std::string::npos) << item;
             EXPECT_EQ(item.find("ALM*"), std::string::npos) << item;
         }},
        {"save display data", kFull, Ev(3), {"EV 3"}, Panel([](const CSimPanel& panel) {
             EXPECT_EQ(panel.dataSaves[3], 1);
         })},
        {"message", kFull, Ms(3), {"MS 3"}, LogEndsWith(kSimLogMsg, " BATCH START\r\n")},
        {"message to a group",
         kFullGroupMessages,
         Ms(8),
         {"MS1,8"},
         LogEndsWith(kSimLogMsg, " OPERATOR NOTE\r\n")},
        {"display switch",
         kFull,
         Ud(1, 8, 8),
         {"UD 1,CONTROLLER,8"},
         Panel([](const CSimPanel& panel) {
             EXPECT_EQ(panel.displayWord, "CONTROLLER");
             EXPECT_EQ(panel.displayGroup, 8);
         })},
        {"display without a group",
         k3100,
         Ud(1, 14, 0),
         {"UD 1,CTRLSW"},
         Panel([](const CSimPanel& panel) {
             EXPECT_EQ(panel.displayWord, "CTRLSW");
             EXPECT_EQ(panel.displayGroup, 0);
         })},
        {"trend options",
         kFull,
         Ud(4, 0, 1, 1, 0),
         {"UD 4,OFF,All,ON,OFF"},
         Panel([](const CSimPanel& panel) {
             EXPECT_FALSE(panel.trendFirst);
             EXPECT_TRUE(panel.trendAllChannels);
             EXPECT_TRUE(panel.trendScale);
             EXPECT_FALSE(panel.trendDigital);
         })},
        {"program display pattern", kFull, Amp4(12), {"&4 12"}, Panel([](const CSimPanel& panel) {
             EXPECT_EQ(panel.programDisplayPattern, 12);
         })},
    };
}

TEST(OperationConformance, OperationsChangeWhatTheQueriesReadBack) {
    for (const OperationRow& row : OperationRows()) {
        SCOPED_TRACE(row.name);
        CSimCmdSession session;
        ASSERT_TRUE(session.Start(row.profile)) << session.Error();
        EXPECT_EQ(row.run(session.Set()), RZ_OK);
        EXPECT_EQ(session.TakeRequests(), row.requests);
        row.check(session);
        EXPECT_EQ(session.TakeShown(), std::vector<std::string>{});
    }
}

}  // namespace
