#pragma once

#include "SimProfile.h"
#include "common/SimFixture.h"

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
