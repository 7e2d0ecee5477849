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
    std::vector<double> meas, math, loop;
    std::vector<char> measStatus;
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
    }
    for (int i = 0; i < kDataLoopRecords; ++i) {
        v.loop.push_back(RecordValue(fd.loopRecords[i]));
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
        {"sine with noise", kSimWaveSine, 3.0, true},
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

TEST_F(PlantTest, FaultyChannelReportsItsFault) {
    Start(LiveProfile("full", [](CSimProfile& p) { p.setup.channels[0].fault = kSimFaultOver; }));
    for (const CValues& v : Steps(session_, 5)) {
        EXPECT_EQ(v.measStatus[0], 'O');
        EXPECT_EQ(v.measStatus[1], 'N');  // the fault stays on its channel
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
    Start(LiveProfile("full", [](CSimProfile& p) { p.setup.memoryRunning = true; }));
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
        {kSimLogWeb, "Screen image"}, {kSimLogFtpc, "FTP put"},    {kSimLogKey, "Memory"},
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
    for (const Row row : {Row{"full", 640, 480}}) {
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

}  // namespace
