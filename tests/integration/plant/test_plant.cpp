// The simulated plant seen through the console's own command objects: rzsim runs in process on a
// manual clock (one second per values request), so every value and screen below is reproducible.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "commands/AnswerParsers.h"
#include "commands/DataQueries.h"
#include "commands/DisplayCommands.h"
#include "commands/OperationCommands.h"
#include "commands/SettingQueries.h"
#include "common/SimFixture.h"
#include "common/SimOperations.h"
#include "image/PngCodec.h"

namespace {

constexpr uint32_t kStepMs = 1000;

using Change = std::function<void(CSimProfile&)>;

CSimProfile LiveProfile(const char* name, const Change& change = nullptr, uint64_t seed = 7) {
    return ShippedProfile(name, [&](CSimProfile& profile) {
        profile.plant = {true, seed, kStepMs};
        if (change) {
            change(profile);
        }
    });
}

// One values request through the console's "FD" command: advances the clock one step.
struct CValues {
    std::string date, time;
    std::vector<double> meas, math, loop, ext;
    std::vector<char> measStatus, mathStatus;
};

CValues ReadValues(CSimCmdSession& s) {
    auto& fd = s.Cmd<CCmdFD>("FD");
    EXPECT_EQ(fd.Query(), RZ_OK);
    CValues v;
    v.date = fd.date;
    v.time = fd.time;
    for (int i = 0; i < kDataMeasRecords; ++i) {
        v.meas.push_back(RecordValue(fd.measRecords[i]));
        v.measStatus.push_back(fd.measRecords[i].status[0]);
    }
    for (int i = 0; i < kDataMathRecords; ++i) {
        v.math.push_back(RecordValue(fd.mathRecords[i]));
        v.mathStatus.push_back(fd.mathRecords[i].status[0]);
    }
    for (int i = 0; i < kDataLoopRecords; ++i) {
        v.loop.push_back(RecordValue(fd.loopRecords[i]));
    }
    for (int i = 0; i < kDataExtRecords; ++i) {
        v.ext.push_back(RecordValue(fd.extRecords[i]));
    }
    return v;
}

std::vector<CValues> Steps(CSimCmdSession& s, int count) {
    std::vector<CValues> all;
    for (int i = 0; i < count; ++i) {
        all.push_back(ReadValues(s));
    }
    return all;
}

// Runs an operation that must be taken.
void Do(CSimCmdSession& s, const Operation& run) {
    ASSERT_EQ(run(s), RZ_OK);
}

std::string LastLog(CSimCmdSession& s, int kind) {
    auto& fl = s.Cmd<CCmdFL>("FL");
    fl.kind = kind;
    fl.count = 1;
    EXPECT_EQ(fl.Query(), RZ_OK);
    return fl.logText;
}

// The screen through the console's "FC" command, decoded as the image view decodes it.
std::vector<uint32_t> Screen(CSimCmdSession& s, int* width, int* height) {
    auto& fc = s.Cmd<CCmdFC>("FC");
    EXPECT_EQ(fc.Query(), RZ_OK);
    CRzImage image;
    EXPECT_EQ(DecodePng(fc.imageData, fc.imageLength, image), RZ_OK);
    *width = image.width();
    *height = image.height();
    std::vector<uint32_t> pixels;
    for (int y = 0; y < image.height(); ++y) {
        pixels.insert(pixels.end(), image.Row(y), image.Row(y) + image.width());
    }
    return pixels;
}

void SwitchDisplay(CSimCmdSession& s, int code, int group) {
    Do(s, Ud(1, code, group));
}

class PlantTest : public ::testing::Test {
  protected:
    void Start(const CSimProfile& profile) {
        ASSERT_TRUE(session_.Start(profile)) << session_.Error();
    }
    CSimCmdSession session_;
};

TEST_F(PlantTest, MeasuredValuesMoveByTheirWaveAndStayInRange) {
    struct Row {
        const char* name;
        int wave;
        double noise;
        bool moves;
    };
    const Row rows[] = {
        {"sine", kSimWaveSine, 0.0, true},          {"ramp", kSimWaveRamp, 0.0, true},
        {"walk", kSimWaveWalk, 0.0, true},          {"sine with noise", kSimWaveSine, 3.0, true},
        {"constant", kSimWaveConstant, 0.0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CSimCmdSession s;
        ASSERT_TRUE(s.Start(LiveProfile("full", [&](CSimProfile& p) {
            CSimChannel& c = p.setup.channels[0];
            c.wave = row.wave;
            c.low = 200.0;
            c.high = 300.0;
            c.periodS = 20.0;
            c.noise = row.noise;
        }))) << s.Error();
        std::set<double> seen;
        for (const CValues& v : Steps(s, 40)) {
            EXPECT_GE(v.meas[0], 200.0);
            EXPECT_LE(v.meas[0], 300.0);
            seen.insert(v.meas[0]);
        }
        if (row.moves) {
            EXPECT_GE(seen.size(), 20u);
        } else {
            EXPECT_EQ(seen, std::set<double>{251.3});
        }
    }
}

TEST_F(PlantTest, ChannelsWithoutPlantKeysMoveAroundTheirProfileValue) {
    Start(LiveProfile("full"));
    const std::vector<CValues> steps = Steps(session_, 30);
    std::set<double> seen;
    for (const CValues& v : steps) {
        seen.insert(v.meas[1]);                        // channel 2: -12.45, two decimals
        EXPECT_NEAR(v.meas[1], -12.45, 1.245 + 1e-9);  // a tenth of the value either side
    }
    EXPECT_GE(seen.size(), 10u);
}

TEST_F(PlantTest, FaultyChannelsReportOverRangeAndError) {
    struct Row {
        int fault;
        char status;
    };
    for (const Row row :
         {Row{kSimFaultOver, 'O'}, Row{kSimFaultError, 'E'}, Row{kSimFaultNone, 'N'}}) {
        SCOPED_TRACE(row.status);
        CSimCmdSession s;
        ASSERT_TRUE(s.Start(LiveProfile("full", [&](CSimProfile& p) {
            p.setup.channels[0].fault = row.fault;
        }))) << s.Error();
        for (const CValues& v : Steps(s, 5)) {
            EXPECT_EQ(v.measStatus[0], row.status);
            EXPECT_EQ(v.measStatus[1], 'N');  // the fault stays on its channel
        }
    }
}

TEST_F(PlantTest, MathChannelsFollowTheirInputsWhileMathRuns) {
    struct Row {
        const char* name;
        int op;
        bool running;
        std::function<double(double, double)> expected;
    };
    const Row rows[] = {
        {"sum", kSimMathSum, true, [](double a, double b) { return a + b; }},
        {"average", kSimMathAverage, true, [](double a, double b) { return (a + b) / 2; }},
        {"difference", kSimMathDifference, true, [](double a, double b) { return a - b; }},
        {"stopped", kSimMathSum, false, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CSimCmdSession s;
        ASSERT_TRUE(s.Start(LiveProfile("full", [&](CSimProfile& p) {
            p.setup.mathRunning = row.running;
            p.setup.mathChannels[0].mathOp = row.op;
            p.setup.mathChannels[0].inputs = {1, 2};
        }))) << s.Error();
        std::set<double> inputs;
        for (const CValues& v : Steps(s, 15)) {
            inputs.insert(v.meas[0]);
            if (row.expected) {
                // Inputs arrive rounded to their decimals; the math works on the exact values.
                EXPECT_NEAR(v.math[0], row.expected(v.meas[0], v.meas[1]), 0.06);
            } else {
                EXPECT_DOUBLE_EQ(v.math[0], 12345.678);
            }
        }
        EXPECT_GE(inputs.size(), 5u);
    }
}

// Internal loop 1 of the full profile: SP 0-1200, OUT 0-100.
TEST_F(PlantTest, InternalLoopsFollowTheirMode) {
    struct Row {
        const char* name;
        Operation operate;
        std::function<void(const std::vector<CValues>&)> check;
        int mode;  // read back through "FM" and "DR"
        int run;
    };
    const auto pv = [](const CValues& v) { return v.loop[0]; };
    const auto sp = [](const CValues& v) { return v.loop[1]; };
    const auto out = [](const CValues& v) { return v.loop[2]; };
    const Row rows[] = {
        {"AUT drives PV to a new SP", Go(1, 1, 600.0, 1),
         [&](const std::vector<CValues>& steps) {
             EXPECT_DOUBLE_EQ(sp(steps.front()), 600.0);
             EXPECT_LT(std::fabs(pv(steps.back()) - 600.0), 0.1 * std::fabs(600.0 - 249.8));
             for (const CValues& v : steps) {
                 EXPECT_GE(out(v), 0.0);
                 EXPECT_LE(out(v), 100.0);
             }
         },
         kSimAut, 1},
        {"MAN holds the HJ output", Then(Ca(1, kSimMan), Hj(1, 30.0, 1)),
         [&](const std::vector<CValues>& steps) {
             for (const CValues& v : steps) {
                 EXPECT_DOUBLE_EQ(out(v), 30.0);
             }
             // The process settles where 30 % output holds it: 30 % of the SP span.
             EXPECT_NEAR(pv(steps.back()), 360.0, 5.0);
         },
         kSimMan, 1},
        {"stop holds OUT at the low limit", Oc(1, 0),
         [&](const std::vector<CValues>& steps) {
             for (const CValues& v : steps) {
                 EXPECT_DOUBLE_EQ(out(v), 0.0);
             }
             EXPECT_LT(pv(steps.back()), 50.0);
         },
         kSimAut, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CSimCmdSession s;
        ASSERT_TRUE(s.Start(LiveProfile("full"))) << s.Error();
        Do(s, row.operate);
        row.check(Steps(s, 120));
        auto& fm = s.Cmd<CCmdFM>("FM");
        fm.loop = 1;
        ASSERT_EQ(fm.Query(), RZ_OK);
        EXPECT_EQ(fm.state2, row.mode);
        EXPECT_EQ(fm.state0, row.run);
    }
}

TEST_F(PlantTest, StoppedLoopDrivesTheProfilesStopValue) {
    Start(LiveProfile("full", [](CSimProfile& p) {
        p.setup.loops[0].stopOut = 12.5;
        p.setup.loops[0].run = false;
    }));
    for (const CValues& v : Steps(session_, 10)) {
        EXPECT_DOUBLE_EQ(v.loop[2], 12.5);
    }
}

TEST_F(PlantTest, CascadeLoopTakesItsRemoteSetPoint) {
    struct Row {
        const char* name;
        int source;
    };
    for (const Row row : {Row{"from channel 1", 1}, Row{"from the master loop", 0}}) {
        SCOPED_TRACE(row.name);
        CSimCmdSession s;
        ASSERT_TRUE(s.Start(LiveProfile("full", [&](CSimProfile& p) {
            p.setup.loops[1].remoteSource = row.source;
            CSimChannel& c = p.setup.channels[0];
            c.low = 100.0;
            c.high = 400.0;
            c.periodS = 30.0;
        }))) << s.Error();
        std::set<double> sps;
        for (const CValues& v : Steps(s, 30)) {
            // Loop 2 (SP -50 to 500) in CAS: its SP item is the remote set point.
            // From the master, loop 1's OUT (0-100 %, one decimal) across -50 to 500.
            const double remote = row.source == 1 ? v.meas[0] : -50.0 + 5.5 * v.loop[2];
            EXPECT_NEAR(v.loop[4], std::clamp(remote, -50.0, 500.0), row.source == 1 ? 0.06 : 0.3);
            sps.insert(v.loop[4]);
        }
        EXPECT_GE(sps.size(), 5u);
    }
}

// External loop 1 of the full profile: controller model 1, SP 0-400, OUT 0-100 on SP number 1.
TEST_F(PlantTest, ExternalLoopsFollowTheirMode) {
    struct Row {
        const char* name;
        Operation operate;
        int mode;
        int run;
        double heldOut;  // NaN: the controller computes OUT
    };
    const double computed = std::nan("");
    const Row rows[] = {
        {"AUT", nullptr, kSimAut, 1, computed},
        {"MAN holds the manual output", Then(Dv(1, "MODE", kSimMan), Dv(1, "MOUT", 0, 25.0)),
         kSimMan, 1, 25.0},
        {"stop drives the low limit", Dv(1, "SR", 0), kSimAut, 0, 0.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CSimCmdSession s;
        ASSERT_TRUE(s.Start(LiveProfile("full"))) << s.Error();
        if (row.operate) {
            Do(s, row.operate);
        }
        std::set<double> outs;
        const std::vector<CValues> steps = Steps(s, 60);
        for (const CValues& v : steps) {
            outs.insert(v.ext[2]);
            if (!std::isnan(row.heldOut)) {
                EXPECT_DOUBLE_EQ(v.ext[2], row.heldOut);
            }
            EXPECT_GE(v.ext[2], 0.0);
            EXPECT_LE(v.ext[2], 100.0);
        }
        if (std::isnan(row.heldOut)) {
            // The controller works its output and holds PV at SP 121.0.
            EXPECT_NEAR(steps.back().ext[0], 121.0, 1.0);
        } else {
            // The process follows the held output: its share of the 0-400 SP span.
            EXPECT_NEAR(steps.back().ext[0], 4.0 * row.heldOut, 4.0);
        }
        auto& dr = s.Cmd<CCmdDR>("DR");
        dr.loop = 1;
        ASSERT_EQ(dr.Query(), RZ_OK);
        EXPECT_EQ(dr.state2, row.mode);
        EXPECT_EQ(dr.state0, row.run);
    }
}

TEST_F(PlantTest, DigitalPointsToggleAndFollowManualOutputs) {
    Start(LiveProfile("full"));
    auto& fo = session_.Cmd<CCmdFO>("FO");
    std::set<int> inputs;
    for (const int value : {0, 1, 0}) {
        Do(session_, Dm(3, value));  // a point in MAN
        for (int i = 0; i < 6; ++i) {
            ReadValues(session_);
            ASSERT_EQ(fo.Query(), RZ_OK);
            EXPECT_EQ(fo.points[2].flagE != 0, value == 1);
            inputs.insert(fo.points[0].flagD != 0 ? 1 : 0);
        }
    }
    EXPECT_EQ(inputs, (std::set<int>{0, 1}));  // DI 1 toggles every five seconds
}

TEST_F(PlantTest, ProgramPatternsRunHoldAndEndByThemselves) {
    Start(LiveProfile("full", [](CSimProfile& p) {
        p.setup.patterns[0].segments = {{4.0, 300.0}, {4.0, 500.0}};
        p.setup.patterns[0].loop = 1;
    }));
    const auto state = [this](int* running, int* held) {
        auto& fh = session_.Cmd<CCmdFH>("FH");
        fh.pattern = 1;
        ASSERT_EQ(fh.Query(), RZ_OK);
        *running = fh.bit0;
        *held = fh.bit1;
        auto& fw = session_.Cmd<CCmdFW>("FW");
        ASSERT_EQ(fw.Query(), RZ_OK);
        EXPECT_EQ((fw.word2 & 1u) != 0, *running != 0);
    };
    int running = 0;
    int held = 0;
    Do(session_, Program(1, "PX", 1));
    state(&running, &held);
    EXPECT_EQ(running, 1);
    EXPECT_EQ(held, 0);
    const double sp1 = Steps(session_, 2).back().loop[1];
    EXPECT_GT(sp1, 250.0);  // ramping towards 300
    EXPECT_LT(sp1, 300.0);

    Do(session_, Program(1, "HU", 1));
    state(&running, &held);
    EXPECT_EQ(running, 1);
    EXPECT_EQ(held, 2);
    for (const CValues& v : Steps(session_, 20)) {
        EXPECT_DOUBLE_EQ(v.loop[1], sp1);  // held: the set point stands
    }
    Do(session_, Program(1, "HU", 0));
    const std::vector<CValues> rest = Steps(session_, 7);
    EXPECT_GT(rest[3].loop[1], 300.0);  // in the second segment
    state(&running, &held);
    EXPECT_EQ(running, 0);  // ended after its last segment
    EXPECT_NE(LastLog(session_, kSimLogKey).find("Pattern 1 end"), std::string::npos);

    // Operation again, then reset: stops at once.
    Do(session_, Then(Program(1, "PX", 1), Program(1, "PX", 0)));
    state(&running, &held);
    EXPECT_EQ(running, 0);
}

TEST_F(PlantTest, AlarmsRiseOnLimitsAndAreAcknowledged) {
    Start(LiveProfile("full", [](CSimProfile& p) {
        CSimChannel& c = p.setup.channels[0];
        c.low = 0.0;
        c.high = 100.0;
        c.periodS = 20.0;
        c.alarmHighSet = true;
        c.alarmHigh = 90.0;
        p.setup.channels[2].alarm = false;  // no alarm from the profile
    }));
    ASSERT_EQ(session_.Cmd<CCmdAK>("AK").Execute(), RZ_OK);
    bool raised = false;
    for (int i = 0; i < 25 && !raised; ++i) {
        raised = session_.Raw("FD0,1,1").find("001 ALM*") != std::string::npos;
    }
    ASSERT_TRUE(raised);
    EXPECT_NE(LastLog(session_, kSimLogEmail).find("CH001"), std::string::npos);
    auto& fl = session_.Cmd<CCmdFL>("FL");
    fl.kind = kSimLogAlarm;
    fl.count = 5;
    ASSERT_EQ(fl.Query(), RZ_OK);
    EXPECT_NE(std::string(fl.logText).find("CH001 H ON"), std::string::npos) << fl.logText;
    ASSERT_EQ(session_.Cmd<CCmdAK>("AK").Execute(), RZ_OK);
    const std::string after = session_.Raw("FD0,1,1");
    EXPECT_EQ(after.find("ALM*"), std::string::npos) << after;
}

TEST_F(PlantTest, EveryLogFills) {
    Start(LiveProfile("full", [](CSimProfile& p) {
        p.setup.memoryRunning = true;
        CSimChannel& c = p.setup.channels[0];
        c.alarmHighSet = true;
        c.alarmHigh = c.value;  // crossed within the first half period
    }));
    Do(session_, Then(Ms(3), Ps(0)));
    EXPECT_NE(Go(1, 1, 5000.0, 1)(session_), RZ_OK);  // above the SP high limit: refused
    Steps(session_, 61);
    auto& fc = session_.Cmd<CCmdFC>("FC");
    ASSERT_EQ(fc.Query(), RZ_OK);
    struct Row {
        int kind;
        const char* contains;
    };
    const Row rows[] = {
        {kSimLogMsg, "BATCH START"},  {kSimLogErr, "GO1,1,50000"}, {kSimLogCom, "FC GET OK"},
        {kSimLogWeb, "Screen image"}, {kSimLogFtpc, "FTP put"},    {kSimLogEmail, "CH001"},
        {kSimLogAlarm, "CH001"},      {kSimLogKey, "Memory"},
    };
    for (const Row& row : rows) {
        auto& fl = session_.Cmd<CCmdFL>("FL");
        fl.kind = row.kind;
        fl.count = 50;
        ASSERT_EQ(fl.Query(), RZ_OK);
        EXPECT_NE(std::string(fl.logText).find(row.contains), std::string::npos)
            << kSimLogKindTable[row.kind].name << ": " << fl.logText;
    }
}

TEST_F(PlantTest, ClockAdvancesOneStepPerValuesRequest) {
    Start(LiveProfile("full"));
    const std::vector<CValues> steps = Steps(session_, 3);
    EXPECT_EQ(steps[0].date, "24/05/17");
    EXPECT_EQ(steps[0].time, "09:30:01.000");
    EXPECT_EQ(steps[2].time, "09:30:03.000");
    // Other requests leave the clock alone.
    session_.Raw("IS 0");
    session_.Raw("FL COM,1");
    EXPECT_EQ(ReadValues(session_).time, "09:30:04.000");
}

TEST_F(PlantTest, SameSeedGivesTheSameValuesAndAnotherSeedDoesNot) {
    const auto answers = [](uint64_t seed) {
        CSimCmdSession s;
        EXPECT_TRUE(s.Start(LiveProfile(
            "full", [](CSimProfile& p) { p.setup.channels[0].wave = kSimWaveWalk; }, seed)));
        std::vector<std::string> all;
        for (int i = 0; i < 10; ++i) {
            all.push_back(s.Raw("FD0,1,248"));
        }
        return all;
    };
    const std::vector<std::string> first = answers(11);
    EXPECT_EQ(first, answers(11));
    EXPECT_NE(first, answers(12));
    EXPECT_NE(first.front(), first.back());
}

TEST_F(PlantTest, ScreensFollowTheDisplayAndHaveTheModelsSize) {
    struct Row {
        const char* profile;
        int width, height;
    };
    for (const Row row : {Row{"full", 640, 480}, Row{"rz3100", 320, 240}}) {
        SCOPED_TRACE(row.profile);
        CSimCmdSession s;
        ASSERT_TRUE(s.Start(LiveProfile(row.profile))) << s.Error();
        Steps(s, 5);
        const bool program = s.Profile().programOption != SimProgramOption::kNone;
        std::vector<std::vector<uint32_t>> screens;
        for (const int code : {0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12, 13, 14, 15}) {
            SCOPED_TRACE(code);
            if (code == 11 && !program) {
                continue;
            }
            SwitchDisplay(s, code, code <= 2 || (code >= 7 && code <= 9) ? 1 : 0);
            int width = 0;
            int height = 0;
            const std::vector<uint32_t> pixels = Screen(s, &width, &height);
            EXPECT_EQ(width, row.width);
            EXPECT_EQ(height, row.height);
            const std::set<uint32_t> colours(pixels.begin(), pixels.end());
            EXPECT_GE(colours.size(), 5u);
            for (const auto& earlier : screens) {
                EXPECT_NE(earlier, pixels);  // every display looks different
            }
            screens.push_back(pixels);
        }
    }
}

TEST_F(PlantTest, TrendOptionsMessagesAndTheProgramPatternChangeTheScreen) {
    Start(LiveProfile("full"));
    Steps(session_, 5);
    int w = 0;
    int h = 0;
    SwitchDisplay(session_, 0, 1);
    const std::vector<uint32_t> plain = Screen(session_, &w, &h);
    Do(session_, Ud(4, 0, 1));  // all channels
    const std::vector<uint32_t> options = Screen(session_, &w, &h);
    EXPECT_NE(plain, options);
    // A written message shows on the message summary at once, without a clock step.
    SwitchDisplay(session_, 5, 0);
    const std::vector<uint32_t> messages = Screen(session_, &w, &h);
    Do(session_, Ms(2));
    EXPECT_NE(messages, Screen(session_, &w, &h));
    SwitchDisplay(session_, 11, 0);
    const std::vector<uint32_t> pattern1 = Screen(session_, &w, &h);
    Do(session_, Amp4(2));
    EXPECT_NE(pattern1, Screen(session_, &w, &h));
}

TEST_F(PlantTest, ScreensAreReproducibleAndTheTrendScrolls) {
    const auto trend = [](int steps) {
        CSimCmdSession s;
        EXPECT_TRUE(s.Start(LiveProfile("full")));
        Steps(s, steps);
        SwitchDisplay(s, 0, 1);
        int w = 0;
        int h = 0;
        return Screen(s, &w, &h);
    };
    const std::vector<uint32_t> at10 = trend(10);
    EXPECT_EQ(at10, trend(10));
    EXPECT_NE(at10, trend(11));
}

}  // namespace
