// The console logs in to rzsim for each shipped profile: the log-in dialogue, identification and
// the full refresh run in order, and the loaded model matches what the profile sets up.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "SimSetup.h"
#include "common/SimFixture.h"

namespace {

// The name the console shows: the instrument's text cut to 16 characters without trailing
// blanks, or the default when the instrument has none.
std::string Shown(const std::string& text, const std::string& fallback) {
    std::string shown = text.substr(0, 16);
    while (!shown.empty() && shown.back() == ' ') {
        shown.pop_back();
    }
    return shown.empty() ? fallback : shown;
}

std::string Numbered(const char* format, int n) {
    char text[32];
    std::snprintf(text, sizeof text, format, n);
    return text;
}

std::string ModeText(int mode) {
    return mode == 0 ? "AUT" : mode == 1 ? "MAN" : mode == 2 ? "CAS" : "";
}

// The loaded model against the profile's setup.
void ExpectModelMatches(const CInstrumentModel& m, const CSimProfile& profile) {
    const CSimSetup& s = profile.setup;
    EXPECT_EQ(m.memoryRunning, s.memoryRunning ? 1 : 0);
    EXPECT_EQ(m.mathRunning, s.mathRunning ? 1 : 0);
    EXPECT_EQ(m.measCount, SimMeasCount(s));
    EXPECT_EQ(m.mathCount, SimMathCount(s));
    EXPECT_EQ(m.loopCount, SimLoopCount(s));
    EXPECT_EQ(m.extLoopCount, std::min(SimExtLoopCount(s), profile.model == 3100 ? 4 : 16));
    EXPECT_GT(m.measCount + m.loopCount, 0) << "a profile with nothing to show tests nothing";
    for (int i = 0; i < m.measCount; ++i) {
        const CSimChannel& channel = s.channels[static_cast<size_t>(i)];
        if (channel.configured) {
            EXPECT_EQ(m.channels[i].display.tag[0], Shown(channel.tag, Numbered("%d", i + 1)))
                << "channel " << i + 1;
        }
        EXPECT_STREQ(m.channels[i].display.typeText, "Meas-CH");
    }
    for (int i = 0; i < m.loopCount; ++i) {
        SCOPED_TRACE("internal loop " + std::to_string(i + 1));
        const CSimLoop& loop = s.loops[static_cast<size_t>(i)];
        const CInternalLoopRecord& r = m.internalLoops[i];
        EXPECT_EQ(r.display.name, Shown(loop.name, Numbered("INT-%02d", i + 1)));
        EXPECT_EQ(r.loopKind, loop.kind);
        EXPECT_STREQ(r.display.typeText, "Int-Loop");
        // Retransmission is only asked of firmware 3; before that a Retrans loop counts as one
        // without it and shows no mode.
        const bool retransKnown = loop.retrans && m.firmwareMajor >= 3;
        std::string mode;
        if (m.firmwareMajor >= 2 && loop.kind != kSimKindNone &&
            !(loop.kind == kSimRetrans && !retransKnown)) {
            mode = ModeText(loop.mode);
            EXPECT_EQ(r.modeCode, loop.mode);
        }
        EXPECT_EQ(r.display.modeText, mode);
        if (loop.kind == kSimKindNone) {
            EXPECT_STREQ(r.display.valueText[2], "");
        }
    }
    for (int i = 0; i < m.extLoopCount; ++i) {
        SCOPED_TRACE("external loop " + std::to_string(i + 1));
        const CSimExtLoop& loop = s.extLoops[static_cast<size_t>(i)];
        const CExternalLoopRecord& r = m.externalLoops[i];
        EXPECT_EQ(r.inUse, loop.inUse ? 1 : 0);
        if (loop.inUse) {
            EXPECT_EQ(r.controllerModel, loop.controller);
            EXPECT_EQ(r.display.name, Shown(loop.name, Numbered("EXT-%02d", i + 1)));
        }
        const bool asked = m.firmwareMajor >= 2 && loop.Operable();
        EXPECT_EQ(r.display.modeText, asked ? ModeText(loop.mode) : std::string());
    }
    for (int g = 0; g < m.controlGroupCount; ++g) {
        const std::string& expected = s.controlGroups[static_cast<size_t>(g)].name;
        if (!expected.empty()) {
            EXPECT_EQ(m.controlGroups[g].name, expected.substr(0, 16)) << "group " << g + 1;
        }
    }
    if (m.firmwareMajor >= 3 && m.loopCount > 0) {
        for (int p = 0; p < m.dioCount; ++p) {
            const CSimDioPoint& point = s.dio[static_cast<size_t>(p)];
            if (point.present && !point.name.empty()) {
                EXPECT_EQ(m.dio[p].display.name, Shown(point.name, "")) << "point " << p + 1;
            }
        }
    }
    if (m.firmwareMajor >= 3 && m.programOption != 0) {
        for (int p = 0; p < kPatterns; ++p) {
            if (s.patterns[static_cast<size_t>(p)].running) {
                EXPECT_EQ(m.patterns[p].exists, 1) << "pattern " << p + 1;
                EXPECT_GE(m.patterns[p].state, 2) << "pattern " << p + 1;
            }
        }
    }
}

using LoginTest = SimFixture;

TEST_F(LoginTest, EachShippedProfileLogsInAndLoadsWhatItSetsUp) {
    struct Case {
        const char* profile;
        const char* user;
        const char* password;
        int32_t major, version, option;  // the identity read
        ProfileChange change;
    };
    const Case cases[] = {
        {"full", "admin", "rzadmin", 3, 0x30006, 2, nullptr},
        {"rz3100", "admin", "rzadmin", 1, 0x10014, 0, nullptr},
        {"rz3200v2", "admin", "rzadmin", 2, 0x2000B, 1, nullptr},
        // Below level A no screen image is fetched; without a password none is asked for.
        {"full", "user", "rzuser", 3, 0x30006, 2, nullptr},
        {"full", "guest", "", 3, 0x30006, 2,
         [](CSimProfile& p) { p.pidAux = {0, 1, 1, 0, 1, 0, 0, 1, 1, 0}; }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.profile) + " " + c.user);
        const CSimProfile profile = ShippedProfile(c.profile, c.change);
        StartSim(profile);
        uint32_t id = 0;
        ASSERT_EQ(Login(&id, c.user, c.password), RZ_OK);
        const CInstrumentModel m = ModelOf(id);
        EXPECT_EQ(m.modelClass, profile.model);
        EXPECT_EQ(m.firmwareMajor, c.major);
        EXPECT_EQ(m.version, c.version);
        EXPECT_EQ(m.programOption, c.option);
        EXPECT_TRUE(std::equal(profile.pidAux.begin(), profile.pidAux.end(), m.pidAux));
        EXPECT_STREQ(m.userName, c.user);
        const bool levelA = std::string(c.user) == "admin";
        EXPECT_STREQ(m.accessLevel, levelA ? "A" : "U");
        EXPECT_EQ(m.imageLength > 0, levelA);
        uint32_t imageBytes = 0;
        Find(id)->WithImage([&](const uint8_t* data, uint32_t length) {
            imageBytes = data != nullptr ? length : 0;
        });
        EXPECT_EQ(imageBytes, m.imageLength);

        // Log-in and identification, then the refresh begins with the log-in information.
        std::vector<std::string> expected{c.user, c.password, "_C", "ZSPID_AUX?", "FU 0"};
        if (c.password[0] == '\0') {
            expected.erase(expected.begin() + 1);
        }
        std::vector<std::string> received;
        for (const auto& r : server->Requests()) {
            received.push_back(r.text);
        }
        received.resize(std::min(received.size(), expected.size()));
        EXPECT_EQ(received, expected);

        ExpectModelMatches(m, profile);
        ASSERT_EQ(manager.CloseConnection(id), RZ_OK);
        server->Stop();
    }
    EXPECT_TRUE(shown.empty());
}

}  // namespace
