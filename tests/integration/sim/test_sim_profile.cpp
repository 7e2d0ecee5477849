#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include "SimProfile.h"
#include "SimTestSupport.h"

namespace {

const char* kMinimal = R"({"model": 3100, "firmwareVersion": "1.20",
    "users": [{"name": "admin", "password": "pw", "level": "A"}]})";

// kMinimal with one top-level key replaced or added.
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

TEST(SimProfile, MinimalProfileTakesTheDefaults) {
    CSimProfile profile;
    std::string error;
    ASSERT_TRUE(ParseSimProfile(kMinimal, &profile, &error)) << error;
    EXPECT_EQ(profile.family, "RZ");
    EXPECT_EQ(profile.model, 3100);
    EXPECT_EQ(profile.firmwareVersion, "1.20");
    EXPECT_EQ(profile.programOption, SimProgramOption::kNone);
    EXPECT_EQ(profile.pidAux, (std::array<int, 10>{}));
    EXPECT_EQ(profile.greeting, kSimDefaultGreeting);
    ASSERT_EQ(profile.users.size(), 1u);
    EXPECT_EQ(profile.users[0].name, "admin");
    EXPECT_EQ(profile.users[0].password, "pw");
    EXPECT_EQ(profile.users[0].level, 'A');
}

TEST(SimProfile, FieldsAreReadAndUnknownKeysIgnored) {
    struct Case {
        std::string key;
        std::string value;
        std::function<bool(const CSimProfile&)> check;
    };
    const Case cases[] = {
        {"family", R"("XY")", [](const CSimProfile& p) { return p.family == "XY"; }},
        {"model", "3200", [](const CSimProfile& p) { return p.model == 3200; }},
        {"model", "3200.0", [](const CSimProfile& p) { return p.model == 3200; }},
        {"firmwareVersion", R"("3.06")",
         [](const CSimProfile& p) { return p.firmwareVersion == "3.06"; }},
        {"programOption", R"("small")",
         [](const CSimProfile& p) { return p.programOption == SimProgramOption::kSmall; }},
        {"programOption", R"("large")",
         [](const CSimProfile& p) { return p.programOption == SimProgramOption::kLarge; }},
        {"pidAux", "[1,0,0,0,0,0,0,0,0,1]",
         [](const CSimProfile& p) {
             return p.pidAux[0] == 1 && p.pidAux[9] == 1 && p.pidAux[1] == 0;
         }},
        {"greeting", R"("Input username.\r\n")",
         [](const CSimProfile& p) { return p.greeting == "Input username.\r\n"; }},
        {"users", R"([{"name": "guest"}])",
         [](const CSimProfile& p) {
             return p.users.size() == 1 && p.users[0].password.empty() && p.users[0].level == 'U';
         }},
        {"channels", R"([{"tag": "TI-101"}])",
         [](const CSimProfile& p) { return p.model == 3100; }},
        {"comment", R"("any text")", [](const CSimProfile& p) { return p.users.size() == 1; }},
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
        {"", "JSON"},
        {"{", "JSON"},
        {"[1, 2]", "object"},
        {R"({"firmwareVersion": "1.20", "users": [{"name": "a"}]})", "model"},
        {MinimalWith("model", R"("3100")"), "model"},
        {MinimalWith("model", "3100.5"), "model"},
        {MinimalWith("model", "-3100"), "model"},
        {MinimalWith("firmwareVersion", "3.06"), "firmwareVersion"},
        {MinimalWith("firmwareVersion", R"("3")"), "firmwareVersion"},
        {MinimalWith("firmwareVersion", R"("3.0x")"), "firmwareVersion"},
        {MinimalWith("firmwareVersion", R"(".06")"), "firmwareVersion"},
        {MinimalWith("family", R"("R")"), "family"},
        {MinimalWith("family", R"("R\n")"), "family"},
        {MinimalWith("family", "12"), "family"},
        {MinimalWith("programOption", R"("medium")"), "programOption"},
        {MinimalWith("programOption", "2"), "programOption"},
        {MinimalWith("pidAux", "[1,0,1]"), "pidAux"},
        {MinimalWith("pidAux", "[1,0,1,0,0,0,0,0,0,2]"), "pidAux[9]"},
        {MinimalWith("pidAux", R"([1,0,1,0,0,0,0,0,"0",0])"), "pidAux[8]"},
        {MinimalWith("pidAux", "1"), "pidAux"},
        {MinimalWith("users", "[]"), "users"},
        {MinimalWith("users", R"({"name": "a"})"), "users"},
        {MinimalWith("users", "[3]"), "users[0]"},
        {MinimalWith("users", R"([{"password": "x"}])"), "users[0].name"},
        {MinimalWith("users", R"([{"name": ""}])"), "users[0].name"},
        {MinimalWith("users", R"([{"name": "a\r\nb"}])"), "users[0].name"},
        {MinimalWith("users", R"([{"name": "a", "level": "B"}])"), "users[0].level"},
        {MinimalWith("users", R"([{"name": "a", "level": 1}])"), "users[0].level"},
        {MinimalWith("users", R"([{"name": "a", "password": 5}])"), "users[0].password"},
        {MinimalWith("users", R"([{"name": "a"}, {"name": "a"}])"), "users[1].name"},
        {MinimalWith("greeting", R"("")"), "greeting"},
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
        {"full", true, 3200},
        {"rz3100", true, 3100},
        {"rz3200v2", true, 3200},
        {path, true, 3200},
        {broken, false, 0},
        {"nosuchprofile", false, 0},
        {std::string(dir) + "/missing.json", false, 0},
        {"../profiles/full", false, 0},
        {".hidden", false, 0},
        {"", false, 0},
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
