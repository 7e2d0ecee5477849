#pragma once

#include <array>
#include <string>
#include <vector>

#include "SimSetup.h"

// What the simulated instrument is: identity, users, greeting and the setup of its channels,
// loops, DI/DO points, groups, program patterns and logs. Loaded from a JSON profile or built
// in code.

inline constexpr const char* kSimDefaultGreeting = "Select username from 'admin' or 'user'\r\n";

enum class SimProgramOption { kNone, kSmall, kLarge };

struct CSimUser {
    std::string name;
    std::string password;  // empty: the user logs in without a password
    char level = 'U';      // access level, 'A' or 'U'
    char code = '1';       // the user code the instrument reports with the level
};

struct CSimProfile {
    std::string family = "RZ";
    int model = 3200;
    std::string firmwareVersion = "3.06";  // "major.minor" as the instrument prints it
    SimProgramOption programOption = SimProgramOption::kNone;
    std::array<int, 10> pidAux{};  // option flags, 0 or 1
    std::vector<CSimUser> users;
    std::string greeting = kSimDefaultGreeting;  // sent exactly as given
    CSimSetup setup;
    CSimPlantSettings plant;  // set by rzsim's options or by the test that starts the server
};

// Sizes that follow from the model: the smaller model (below 3200) has 6 display groups,
// 4 control groups, 12 DI/DO points, 4 external loops and channel numbers up to 212.
bool SimIsSmallModel(int model);
int SimDisplayGroupCount(int model);
int SimControlGroupCount(int model);
int SimDioPointCount(int model);
int SimExtLoopCapacity(int model);
int SimLastChannelNumber(int model);
// Program patterns the option holds: none 0, small 10, large 30.
int SimPatternCapacity(SimProgramOption option);

// Reads a profile from JSON text. Keys it does not know are ignored; "model", "firmwareVersion"
// and "users" are required, the rest default as in CSimProfile (and CSimSetup: nothing
// configured, names empty). On failure returns false and
// says what is wrong in `error`; `profile` is left unchanged.
bool ParseSimProfile(const std::string& json, CSimProfile* profile, std::string* error);

bool LoadSimProfileFile(const std::string& path, CSimProfile* profile, std::string* error);

// The file a --profile argument names: a path when it contains '/' or ends in ".json", else
// NAME.json in the profiles folder beside the executable, then in the source profile folder.
// Empty when there is no such file.
std::string FindSimProfile(const std::string& nameOrPath);

// FindSimProfile followed by LoadSimProfileFile.
bool LoadSimProfile(const std::string& nameOrPath, CSimProfile* profile, std::string* error);
