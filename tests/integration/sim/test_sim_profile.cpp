#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <tuple>

#include "SimProfile.h"
#include "SimTestSupport.h"

namespace {

// A minimal profile with one top-level key replaced or added.
std::string MinimalWith(const std::string& key, const std::string& value) {
    std::string json = R"({"model": 3100, "firmwareVersion": "1.20",
        "users": [{"name": "admin", "password": "pw", "level": "A"}])";
    const std::string quoted = "\"" + key + "\":";
    if (const auto at = json.find(quoted); at != std::string::npos) {
        const auto end = key == "users" ? json.find("}]", at) + 2 : json.find_first_of(",}", at);
        json.replace(at, end - at, quoted + " " + value);
    } else {
        json += ", " + quoted + " " + value;
    }
    return json + "}";
}

}  // namespace

TEST(SimProfile, FieldsAreReadAndUnknownKeysIgnored) {
    struct Case {
        std::string key;
        std::string value;
        std::function<bool(const CSimProfile&)> check;
    };
    const Case cases[] = {
        {"family", R"("XY")", [](const CSimProfile& p) { return p.family == "XY"; }},
        {"model", "3200", [](const CSimProfile& p) { return p.model == 3200; }},
        {"firmwareVersion", R"("3.06")",
         [](const CSimProfile& p) { return p.firmwareVersion == "3.06"; }},
        {"programOption", R"("large")",
         [](const CSimProfile& p) { return p.programOption == SimProgramOption::kLarge; }},
        {"pidAux", "[1,0,0,0,0,0,0,0,0,1]",
         [](const CSimProfile& p) {
             return p.pidAux[0] == 1 && p.pidAux[9] == 1 && p.pidAux[1] == 0;
         }},
        {"users", R"([{"name": "guest"}])",
         [](const CSimProfile& p) {
             return p.users.size() == 1 && p.users[0].password.empty() && p.users[0].level == 'U';
         }},
        // Everything not given takes its default.
        {"comment", R"("any text")",
         [](const CSimProfile& p) {
             return p.family == "RZ" && p.model == 3100 && p.firmwareVersion == "1.20" &&
                    p.programOption == SimProgramOption::kNone &&
                    p.pidAux == std::array<int, 10>{} && p.greeting == kSimDefaultGreeting &&
                    p.users.size() == 1 && p.users[0].name == "admin" &&
                    p.users[0].password == "pw" && p.users[0].level == 'A';
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key + " = " + c.value);
        CSimProfile profile;
        std::string error;
        ASSERT_TRUE(ParseSimProfile(MinimalWith(c.key, c.value), &profile, &error)) << error;
        EXPECT_TRUE(c.check(profile));
    }
}

TEST(SimProfile, MalformedProfilesAreRefusedWithAReason) {
    struct Case {
        std::string json;
        const char* mentions;  // the error text names the culprit
    };
    const Case cases[] = {
        {"{", "JSON"},
        {"[1, 2]", "object"},
        {R"({"firmwareVersion": "1.20", "users": [{"name": "a"}]})", "model"},
        {MinimalWith("model", "3100.5"), "model"},
        {MinimalWith("firmwareVersion", R"("3.0x")"), "firmwareVersion"},
        {MinimalWith("family", R"("R\n")"), "family"},
        {MinimalWith("programOption", R"("medium")"), "programOption"},
        {MinimalWith("pidAux", "[1,0,1,0,0,0,0,0,0,2]"), "pidAux[9]"},
        {MinimalWith("users", "[]"), "users"},
        {MinimalWith("users", R"([{"name": "a", "password": 5}])"), "users[0].password"},
        {MinimalWith("users", R"([{"name": "a"}, {"name": "a"}])"), "users[1].name"},
        {MinimalWith("greeting", "null"), "greeting"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        CSimProfile profile;
        profile.model = 1234;
        std::string error;
        EXPECT_FALSE(ParseSimProfile(c.json, &profile, &error));
        EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
        EXPECT_EQ(profile.model, 1234);  // untouched on failure
    }
}

// A minimal valid profile with `setup` (JSON members, without braces) added.
std::string ProfileWith(const std::string& setup, int model = 3200, const char* option = "large") {
    return "{\"model\": " + std::to_string(model) +
           ", \"firmwareVersion\": \"3.06\", \"programOption\": \"" + option +
           "\", \"users\": [{\"name\": \"admin\"}]" + (setup.empty() ? "" : ", " + setup) + "}";
}

// One row for each way of reading a key (whole number, word, text of each kind, flag, list,
// object) and for each rule that ties keys together; the path names the refused key.
TEST(SimProfile, MalformedSetupsAreRefusedWithTheirKey) {
    struct Case {
        std::string setup;
        const char* mentions;  // empty: the limit itself is taken
        int model = 3200;
        const char* option = "large";
    };
    const std::string tooLong(17, 'x');
    const Case cases[] = {
        {R"("clock": "2024/02/30 10:00:00")", "clock"},
        {R"("memoryRunning": 1)", "memoryRunning"},
        {R"("channels": {"number": 1})", "channels"},
        {R"("channels": [{"number": 31}])", "channels[0].number"},
        {R"("channels": [{"number": 2}, {"number": 2}])", "channels[1].number"},
        {R"("channels": [{"inputType": "volt"}])", "channels[0].inputType"},
        {R"("channels": [{"tag": ")" + tooLong + R"("}])", "channels[0].tag"},
        {R"("channels": [{"value": 1000.0, "decimals": 2}])", "channels[0].value"},
        {R"("loops": [{"outLow": 50.0, "outHigh": 40.0}])", "loops[0].outLow"},
        {R"("externalLoops": [{"number": 5}])", "externalLoops[0].number", 3100},
        {R"("dio": [{"module": "DO-1", "terminal": "DO00001"}])", ""},
        {R"("dio": [{"module": "DO-1", "terminal": "DO000001"}])", "dio[0].terminal"},
        {R"("patterns": [{"number": 1}])", "patterns[0]", 3200, "none"},
        {R"("logs": {"MSG": ["ok", "PROGRAM END:"]})", "logs.MSG[1]"},
        {R"("channels": [{"number": 1, "periodS": 0}])", "channels[0].periodS"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setup);
        CSimProfile profile;
        std::string error;
        const bool parsed =
            ParseSimProfile(ProfileWith(c.setup, c.model, c.option), &profile, &error);
        EXPECT_EQ(parsed, c.mentions[0] == '\0') << error;
        if (!parsed) {
            EXPECT_EQ(error.rfind(c.mentions, 0), 0u) << error;
        }
    }
}

TEST(SimProfile, PlantKeysAreRead) {
    struct Row {
        std::string json;
        std::function<void(const CSimProfile&)> check;
    };
    const Row rows[] = {
        {ProfileWith(
             R"("channels": [{"number": 2, "wave": "ramp", "low": -5, "high": 5, "periodS": 30,
             "noise": 0.5, "fault": "error", "alarmHigh": 4, "alarmLow": -4}])"),
         [](const CSimProfile& p) {
             const CSimChannel& c = p.setup.channels[1];
             EXPECT_EQ(std::tie(c.wave, c.low, c.high, c.periodS, c.noise, c.fault, c.alarmHigh,
                                c.alarmLow, c.alarmHighSet, c.alarmLowSet),
                       std::make_tuple(kSimWaveRamp, -5.0, 5.0, 30.0, 0.5, kSimFaultError, 4.0,
                                       -4.0, true, true));
             EXPECT_FALSE(p.setup.channels[0].alarmHighSet);
         }},
        {ProfileWith(
             R"("loops": [{"number": 1, "kind": "Single", "gain": 0.8, "timeConstantS": 5, "kp": 1.5,
             "tiS": 12, "stopOut": 7.5, "remoteSource": 31}])"),
         [](const CSimProfile& p) {
             const CSimLoop& l = p.setup.loops[0];
             EXPECT_EQ(std::tie(l.gain, l.timeConstantS, l.kp, l.tiS, l.stopOut, l.remoteSource),
                       std::make_tuple(0.8, 5.0, 1.5, 12.0, 7.5, 31));
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.json);
        CSimProfile profile;
        std::string error;
        ASSERT_TRUE(ParseSimProfile(row.json, &profile, &error)) << error;
        row.check(profile);
    }
}

TEST(SimProfile, ProfilesAreFoundByNameOrPath) {
    char dir[] = "/tmp/rzsim-profile-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string path = std::string(dir) + "/custom.json";
    std::ofstream(path) << MinimalWith("model", "3200");
    const std::string broken = std::string(dir) + "/broken.json";
    std::ofstream(broken) << "{\"model\": ";

    struct Case {
        std::string argument;
        bool loads;
        int model;
    };
    const Case cases[] = {
        {"rz3100", true, 3100},
        {path, true, 3200},
        {broken, false, 0},
        {"nosuchprofile", false, 0},
        {"../profiles/full", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument);
        CSimProfile profile;
        std::string error;
        EXPECT_EQ(LoadSimProfile(c.argument, &profile, &error), c.loads) << error;
        if (c.loads) {
            EXPECT_EQ(profile.model, c.model);
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
    std::remove(path.c_str());
    std::remove(broken.c_str());
    rmdir(dir);
}
