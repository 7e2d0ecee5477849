#pragma once

#include <gtest/gtest.h>

#include <string>

#include "SimProfile.h"

// A shipped profile, loaded from the source tree.
inline CSimProfile ShippedProfile(const std::string& name) {
    CSimProfile profile;
    std::string error;
    const std::string path = std::string(RZSIM_PROFILE_DIR) + "/" + name + ".json";
    EXPECT_TRUE(LoadSimProfileFile(path, &profile, &error)) << error;
    return profile;
}

// A small profile built in code: one user with a password, one without.
inline CSimProfile CodeProfile() {
    CSimProfile profile;
    profile.model = 3100;
    profile.firmwareVersion = "3.01";
    profile.programOption = SimProgramOption::kSmall;
    profile.pidAux = {0, 1, 1, 0, 0, 0, 0, 0, 0, 1};
    profile.users = {{"admin", "secret", 'A'}, {"user", "", 'U'}};
    return profile;
}
