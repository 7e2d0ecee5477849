// The console logs in to rzsim for each shipped profile: the log-in dialogue, identification and
// the full refresh run in order, and the loaded model matches what the profile sets up.
#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "SimSetup.h"
#include "common/SimFixture.h"
#include "session/ExchangeTrace.h"

namespace {

// The loaded model against the profile's setup: what each step of the full refresh brought.
void ExpectModelMatches(const CInstrumentModel& m, const CSimProfile& profile) {
    const CSimSetup& s = profile.setup;
    EXPECT_EQ(m.memoryRunning, s.memoryRunning ? 1 : 0);
    EXPECT_EQ(m.mathRunning, s.mathRunning ? 1 : 0);
    EXPECT_EQ(m.measCount, SimMeasCount(s));
    EXPECT_EQ(m.mathCount, SimMathCount(s));
    EXPECT_EQ(m.loopCount, SimLoopCount(s));
    EXPECT_EQ(m.extLoopCount, std::min(SimExtLoopCount(s), profile.model == 3100 ? 4 : 16));
    EXPECT_GT(m.measCount + m.loopCount, 0) << "a profile with nothing to show tests nothing";
    EXPECT_STREQ(m.channels[0].display.typeText, "Meas-CH");
    for (int i = 0; i < m.loopCount; ++i) {
        const CSimLoop& loop = s.loops[static_cast<size_t>(i)];
        EXPECT_EQ(m.internalLoops[i].loopKind, loop.kind) << "loop " << i + 1;
        // Modes are asked of firmware 2 on; a Retrans loop only counts as one from firmware 3.
        const bool retransKnown = loop.retrans && m.firmwareMajor >= 3;
        if (m.firmwareMajor >= 2 && loop.kind != kSimKindNone &&
            (loop.kind != kSimRetrans || retransKnown)) {
            EXPECT_EQ(m.internalLoops[i].modeCode, loop.mode) << "loop " << i + 1;
        }
    }
    for (int i = 0; i < m.extLoopCount; ++i) {
        const CSimExtLoop& loop = s.extLoops[static_cast<size_t>(i)];
        EXPECT_EQ(m.externalLoops[i].inUse, loop.inUse ? 1 : 0) << "external loop " << i + 1;
        if (loop.inUse) {
            EXPECT_EQ(m.externalLoops[i].controllerModel, loop.controller);
        }
    }
    for (int g = 0; g < m.controlGroupCount; ++g) {
        const std::string& name = s.controlGroups[static_cast<size_t>(g)].name;
        if (!name.empty()) {
            EXPECT_EQ(m.controlGroups[g].name, name.substr(0, 16)) << "group " << g + 1;
        }
    }
    for (int p = 0; m.firmwareMajor >= 3 && m.programOption != 0 && p < kPatterns; ++p) {
        if (s.patterns[static_cast<size_t>(p)].running) {
            EXPECT_EQ(m.patterns[p].exists, 1) << "pattern " << p + 1;
            EXPECT_GE(m.patterns[p].state, 2) << "pattern " << p + 1;
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
        {"full", "admin", "rzdemo", 3, 0x30006, 2, nullptr},
        {"rz3100", "admin", "rzdemo", 1, 0x10014, 0, nullptr},
        {"rz3200v2", "admin", "rzdemo", 2, 0x2000B, 1, nullptr},
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

// The trace holds what was said to the instrument as it was said: the greeting, the log-in
// dialogue with the password hidden, every request of the refresh in order with its answer, a
// screen image summarised.
TEST_F(LoginTest, TraceRecordsEveryExchangeWithThePasswordHidden) {
    StartSim();
    uint32_t id = 0;
    ASSERT_EQ(Login(&id), RZ_OK);
    const std::shared_ptr<const CExchangeTrace> trace = manager.Trace(id);
    ASSERT_NE(trace, nullptr);
    // The trace first: everything it holds has reached the simulator by then.
    const std::vector<CTraceEntry> entries = trace->Entries();
    std::vector<std::string> sent;
    for (const auto& r : server->Requests()) {
        sent.push_back(r.text);
    }
    ASSERT_GT(sent.size(), 2u);
    ASSERT_EQ(sent[1], "rzdemo");
    sent[1] = CTraceLink::kHiddenRequest;
    sent.insert(sent.begin(), "(greeting)");
    std::vector<std::string> traced;
    bool pngSeen = false;
    for (const CTraceEntry& e : entries) {
        traced.push_back(e.request);
        EXPECT_EQ(e.request.find("rzdemo"), std::string::npos);
        EXPECT_EQ(e.result, RZ_OK) << e.request;
        if (e.request == "FC GET") {
            pngSeen =
                std::regex_match(e.answer, std::regex("PNG [0-9,]+ bytes in [1-9][0-9]* blocks?"));
        } else {
            EXPECT_FALSE(e.answer.empty()) << e.request;
        }
    }
    ASSERT_GE(traced.size(), 30u) << "the full refresh";
    ASSERT_LE(traced.size(), sent.size());
    EXPECT_TRUE(std::equal(traced.begin(), traced.end(), sent.begin()));
    EXPECT_TRUE(pngSeen);
    ASSERT_EQ(manager.CloseConnection(id), RZ_OK);
    EXPECT_EQ(manager.Trace(id), nullptr);
    EXPECT_GE(trace->Entries().size(), traced.size()) << "a held trace outlives its connection";
}

}  // namespace
