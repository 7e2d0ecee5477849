// The setting and data queries, run by the console's own command objects against rzsim for each
// shipped profile; what the console reads must be what the profile sets up. Log-in information,
// run status and pattern states are read over the link by the log-in suite's full refresh.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "SimWords.h"
#include "commands/AnswerParsers.h"
#include "common/SimFixture.h"

namespace {

const char* const kProfiles[] = {"full", "rz3100", "rz3200v2"};

// The code of an input type word: its place in the instrument's list.
int InputTypeCode(const std::string& word) {
    const auto* const words = std::begin(kSimInputTypeWords);
    return static_cast<int>(std::find(words, std::end(kSimInputTypeWords), word) - words);
}

int64_t Scaled(double value, int decimals) {
    return std::llround(value * std::pow(10.0, decimals));
}

// A text as a field list delivers it: the instrument sends an empty text as one blank.
std::string AsField(const std::string& text) {
    return text.empty() ? " " : text;
}

template <typename Table>
int Highest(const Table& table) {
    int highest = 0;
    for (size_t i = 0; i < table.size(); ++i) {
        highest = table[i].configured ? static_cast<int>(i) + 1 : highest;
    }
    return highest;
}

std::string Trimmed(const char* text) {
    std::string s = text;
    while (!s.empty() && s.back() == ' ') {
        s.pop_back();
    }
    return s;
}

class QueryConformance : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        profile_ = ShippedProfile(GetParam());
        ASSERT_TRUE(session_.Start(profile_)) << session_.Error();
    }
    void TearDown() override {
        // A conforming answer is never shown to the operator.
        EXPECT_EQ(session_.TakeShown(), std::vector<std::string>{});
    }

    const CSimSetup& Setup() const { return profile_.setup; }
    int Major() { return session_.Model().firmwareMajor; }
    bool Small() const { return profile_.model == 3100; }
    int ExtCapacity() const { return Small() ? 4 : 16; }
    template <typename T>
    T& Cmd(const char* key) {
        return session_.Cmd<T>(key);
    }

    CSimProfile profile_;
    CSimCmdSession session_;
};

TEST_P(QueryConformance, DisplayGroups) {
    auto& sx = Cmd<CCmdSX>("SX");
    ASSERT_EQ(sx.Query(), RZ_OK);
    const int displayGroups = Small() ? 6 : 10;
    for (int g = 0; g < kSimDisplayGroups; ++g) {
        SCOPED_TRACE("display group " + std::to_string(g + 1));
        const CSimDisplayGroup& group = Setup().displayGroups[g];
        const bool listed = g < displayGroups && (!group.name.empty() || !group.channels.empty());
        EXPECT_EQ(sx.groupName[g], listed ? AsField(group.name) : "");
        std::vector<int> channels(group.channels.begin(), group.channels.end());
        channels.resize(kSimGroupChannels, 0);
        EXPECT_EQ(std::vector<int>(sx.groupChannels[g], sx.groupChannels[g] + 10), channels);
    }
}

TEST_P(QueryConformance, TagsInputTypesAndValues) {
    auto& st = Cmd<CCmdST>("ST");
    ASSERT_EQ(st.Query(), RZ_OK);
    for (int n = 0; n < kSimMeasChannels; ++n) {
        EXPECT_EQ(st.channelTag[n], Setup().channels[n].tag) << "channel " << n + 1;
        EXPECT_EQ(st.channelTag[30 + n], Setup().mathChannels[n].tag) << "math " << n + 1;
    }

    auto& sr = Cmd<CCmdSR>("SR");
    ASSERT_EQ(sr.Query(), RZ_OK);
    for (int n = 0; n < kSimMeasChannels; ++n) {
        const CSimChannel& channel = Setup().channels[n];
        EXPECT_EQ(sr.inputType[n], channel.configured ? InputTypeCode(channel.inputType) : 8)
            << "channel " << n + 1;
    }

    auto& fd = Cmd<CCmdFD>("FD");
    ASSERT_EQ(fd.Query(), RZ_OK);
    const int measCount = Highest(Setup().channels);
    const int mathCount = Highest(Setup().mathChannels);
    const int loopCount = Highest(Setup().loops);
    const int extCount = Highest(Setup().extLoops);
    ASSERT_EQ(fd.measCount, measCount - 1);
    ASSERT_EQ(fd.mathCount, mathCount - 1);
    ASSERT_EQ(fd.loopCount, 3 * loopCount - 1);
    ASSERT_EQ(fd.extCount, 3 * extCount - 1);

    // An item: status, then mantissa and exponent; a skipped one has status S and no texts.
    auto expectItem = [](const CDataRecord& record, const std::string& number, bool reported,
                         char status, double value, int decimals, const std::string& unit) {
        EXPECT_EQ(record.number, number);
        if (!reported) {
            EXPECT_STREQ(record.status, "S");
            EXPECT_STREQ(record.text2, "");
            return;
        }
        EXPECT_EQ(record.status[0], status);
        EXPECT_EQ(ReadAnswerInt(record.text2), Scaled(value, decimals));
        EXPECT_EQ(ReadAnswerInt(record.text3), -decimals);
        EXPECT_EQ(Trimmed(record.text1), unit);
    };
    char number[16];
    for (int n = 0; n < measCount; ++n) {
        SCOPED_TRACE("channel " + std::to_string(n + 1));
        const CSimChannel& c = Setup().channels[n];
        std::snprintf(number, sizeof number, "%03d", n + 1);
        expectItem(fd.measRecords[n], number, c.configured, c.status, c.value, c.decimals, c.unit);
    }
    for (int n = 0; n < loopCount; ++n) {
        SCOPED_TRACE("loop " + std::to_string(n + 1));
        const CSimLoop& l = Setup().loops[n];
        std::snprintf(number, sizeof number, "%03d", 101 + 3 * n);
        expectItem(fd.loopRecords[3 * n], number, l.configured, 'N', l.pv, l.pvDecimals, l.unit);
    }
}

TEST_P(QueryConformance, InternalLoops) {
    auto& hm = Cmd<CCmdHM>("HM");
    auto& pc = Cmd<CCmdPC>("PC");
    auto& gf = Cmd<CCmdGF>("GF");
    auto& ho = Cmd<CCmdHO>("HO");
    ASSERT_EQ(hm.Query(), RZ_OK);
    ASSERT_EQ(pc.Query(), RZ_OK);
    ASSERT_EQ(gf.Query(), RZ_OK);
    ASSERT_EQ(ho.Query(), RZ_OK);
    for (int n = 0; n < kSimLoops; ++n) {
        SCOPED_TRACE("loop " + std::to_string(n + 1));
        const CSimLoop& loop = Setup().loops[n];
        EXPECT_EQ(hm.loopName[n], loop.configured ? AsField(loop.name) : "");
        EXPECT_EQ(hm.loopText[n], loop.configured ? AsField(loop.text) : "");
        EXPECT_EQ(pc.loopKind[n], loop.configured ? loop.kind : 0);
        EXPECT_EQ(gf.outputType[n], loop.configured ? loop.outputType : 0);
        const bool control = loop.configured && loop.kind != kSimKindNone;
        // Output limits of the PID set in use, in tenths of a percent; retransmission loops
        // have none and keep the console's defaults.
        if (control && loop.kind != kSimRetrans) {
            ASSERT_EQ(ho.lastPid[n], loop.pidNumber);
            EXPECT_EQ(ho.outputLow[n][loop.pidNumber - 1], Scaled(loop.outLow, 1));
            EXPECT_EQ(ho.outputHigh[n][loop.pidNumber - 1], Scaled(loop.outHigh, 1));
        } else {
            EXPECT_EQ(ho.lastPid[n], 0);
        }
        if (!control) {
            continue;
        }
        auto& fp = Cmd<CCmdFP>("FP");
        fp.loop = n + 1;
        ASSERT_EQ(fp.Query(), RZ_OK);
        EXPECT_EQ(fp.setPointNumber, loop.spNumber);
        EXPECT_EQ(fp.pidNumber, loop.pidNumber);
        if (Major() >= 2) {
            auto& fm = Cmd<CCmdFM>("FM");
            fm.loop = n + 1;
            ASSERT_EQ(fm.Query(), RZ_OK);
            EXPECT_EQ(std::tie(fm.state2, fm.state1, fm.state0, fm.bit7, fm.state4),
                      std::make_tuple(loop.mode, int{loop.remote}, int{loop.run}, int{loop.alarm},
                                      int{loop.tuning}));
        }
    }
}

TEST_P(QueryConformance, ExternalLoops) {
    auto& gj = Cmd<CCmdGJ>("GJ");
    ASSERT_EQ(gj.Query(), RZ_OK);
    for (int n = 0; n < kSimExtLoops; ++n) {
        SCOPED_TRACE("external loop " + std::to_string(n + 1));
        const CSimExtLoop& loop = Setup().extLoops[n];
        const bool used = n < ExtCapacity() && loop.configured && loop.inUse;
        EXPECT_EQ(gj.used[n], used ? 1 : 0);
        EXPECT_EQ(gj.model[n], used ? loop.controller : 0);
        char unused[16];
        std::snprintf(unused, sizeof unused, "EXT-%02d", n + 1);
        EXPECT_EQ(gj.name[n], used ? AsField(loop.name) : n < ExtCapacity() ? unused : "");
        EXPECT_EQ(gj.tag[n], used ? AsField(loop.tag) : "");
    }
    if (Major() < 2) {
        return;
    }
    auto& gv = Cmd<CCmdGV>("GV");
    ASSERT_EQ(gv.Query(), RZ_OK);
    for (int n = 0; n < kSimExtLoops; ++n) {
        SCOPED_TRACE("external loop " + std::to_string(n + 1));
        const CSimExtLoop& loop = Setup().extLoops[n];
        const bool used = loop.configured && loop.inUse;
        EXPECT_EQ(std::tie(gv.pvDecimals[n], gv.spDecimals[n], gv.outDecimals[n]),
                  used ? std::make_tuple(loop.pvDecimals, loop.spDecimals, loop.outDecimals)
                       : std::make_tuple(1, 1, 1));
        if (!used || !loop.Operable()) {
            continue;
        }
        auto& dr = Cmd<CCmdDR>("DR");
        dr.loop = n + 1;
        ASSERT_EQ(dr.Query(), RZ_OK);
        EXPECT_EQ(std::tie(dr.state2, dr.state1, dr.state0),
                  std::make_tuple(loop.mode, int{loop.remote}, int{loop.run}));
    }
}

TEST_P(QueryConformance, DioPoints) {
    if (Major() < 3) {
        return;  // older firmware has no DI/DO queries at all
    }
    const int points = Small() ? 12 : 36;
    auto& dy = Cmd<CCmdDY>("DY");
    auto& dx = Cmd<CCmdDX>("DX");
    auto& fo = Cmd<CCmdFO>("FO");
    ASSERT_EQ(dy.Query(), RZ_OK);
    ASSERT_EQ(dx.Query(), RZ_OK);
    ASSERT_EQ(fo.Query(), RZ_OK);
    bool scanEnded = false;  // the module-kind scan stops at the first point without a module
    for (int p = 0; p < kSimDioPoints; ++p) {
        SCOPED_TRACE("point " + std::to_string(p + 1));
        const CSimDioPoint& point = Setup().dio[p];
        const bool inRange = p < points;
        EXPECT_EQ(dy.pointText1[p], inRange ? AsField(point.name) : "");
        EXPECT_EQ(dy.pointText2[p], inRange ? AsField(point.comment) : "");
        const bool present = inRange && point.present;
        EXPECT_EQ(dx.present[p], present ? 1 : 0);
        EXPECT_EQ(dx.module[p], present ? point.module : 7);
        EXPECT_EQ(dx.text[p], present ? point.terminal : "");
        EXPECT_EQ(dx.value[p], present ? std::atoi(point.terminal.c_str() + 2) : 0);

        const CDioPointState& state = fo.points[p];
        EXPECT_EQ(state.flagA, present ? 1 : 0);
        EXPECT_EQ(state.flagS, !inRange ? 3 : (present && point.mode == kSimMan ? 1 : 0));
        EXPECT_EQ(state.flagD, present ? point.input : 0);
        EXPECT_EQ(state.flagE, present ? point.output : 0);
        scanEnded = scanEnded || !inRange || point.module > 6;
        EXPECT_EQ(state.moduleKind, scanEnded ? 7 : point.module);
    }
}

std::string ProfileName(const ::testing::TestParamInfo<const char*>& info) {
    return info.param;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(ShippedProfiles, QueryConformance, ::testing::ValuesIn(kProfiles),
                         ProfileName);
