#include <algorithm>
#include <cstdio>
#include <string>

#include "SimFixture.h"
#include "SimSetup.h"
#include "session/InstrumentConnection.h"

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

std::string Format(const char* format, int n) {
    char text[32];
    std::snprintf(text, sizeof text, format, n);
    return text;
}

std::string ModeText(int mode) {
    return mode == 0 ? "AUT" : mode == 1 ? "MAN" : mode == 2 ? "CAS" : "";
}

using LoaderTest = SimFixture;

TEST_F(LoaderTest, TheModelMatchesEachProfile) {
    for (const char* name : {"full", "rz3100", "rz3200v2"}) {
        SCOPED_TRACE(name);
        CSimProfile profile;
        std::string error;
        ASSERT_TRUE(LoadSimProfile(name, &profile, &error)) << error;
        StartSim(profile);
        uint32_t id = 0;
        ASSERT_EQ(Login(&id), RZ_OK);
        CInstrumentConnection* connection = nullptr;
        ASSERT_EQ(manager.FindConnection(id, &connection), RZ_OK);
        CInstrumentModel m{};
        connection->CopyModel(&m);
        const CSimSetup& s = profile.setup;

        EXPECT_EQ(m.memoryRunning, s.memoryRunning ? 1 : 0);
        EXPECT_EQ(m.mathRunning, s.mathRunning ? 1 : 0);
        EXPECT_EQ(m.measCount, SimMeasCount(s));
        EXPECT_EQ(m.mathCount, SimMathCount(s));
        EXPECT_EQ(m.loopCount, SimLoopCount(s));
        EXPECT_EQ(m.extLoopCount, std::min(SimExtLoopCount(s), profile.model == 3100 ? 4 : 16));
        EXPECT_GT(m.measCount + m.loopCount, 0) << "a profile with nothing to show tests nothing";

        for (int i = 0; i < m.measCount; ++i) {
            const CDisplayBlock& d = m.channels[i].display;
            if (s.channels[static_cast<size_t>(i)].configured) {
                EXPECT_EQ(d.tag[0],
                          Shown(s.channels[static_cast<size_t>(i)].tag, Format("%d", i + 1)))
                    << "channel " << i + 1;
            }
            EXPECT_STREQ(d.typeText, "Meas-CH");
        }
        for (int i = 0; i < m.loopCount; ++i) {
            const CSimLoop& loop = s.loops[static_cast<size_t>(i)];
            const CInternalLoopRecord& r = m.internalLoops[i];
            SCOPED_TRACE("internal loop " + std::to_string(i + 1));
            EXPECT_EQ(r.display.name, Shown(loop.name, Format("INT-%02d", i + 1)));
            EXPECT_EQ(r.loopKind, loop.kind);
            EXPECT_STREQ(r.display.typeText, "Int-Loop");
            // Retransmission is only asked of firmware 3; before that a Retrans loop counts as
            // one without it and shows no mode.
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
            const CSimExtLoop& loop = s.extLoops[static_cast<size_t>(i)];
            const CExternalLoopRecord& r = m.externalLoops[i];
            SCOPED_TRACE("external loop " + std::to_string(i + 1));
            EXPECT_EQ(r.inUse, loop.inUse ? 1 : 0);
            if (loop.inUse) {
                EXPECT_EQ(r.controllerModel, loop.controller);
                EXPECT_EQ(r.display.name, Shown(loop.name, Format("EXT-%02d", i + 1)));
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
                const CSimPattern& pattern = s.patterns[static_cast<size_t>(p)];
                if (pattern.running) {
                    EXPECT_EQ(m.patterns[p].exists, 1) << "pattern " << p + 1;
                    EXPECT_GE(m.patterns[p].state, 2) << "pattern " << p + 1;
                }
            }
        }
        ASSERT_EQ(manager.CloseConnection(id), RZ_OK);
        server->Stop();
    }
}

}  // namespace
