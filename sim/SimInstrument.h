#pragma once

#include <string_view>

#include "SimProfile.h"

// The simulated instrument's state, built from a profile. The server guards it with one mutex;
// command handlers get it only while that mutex is held.
class CSimInstrument {
  public:
    explicit CSimInstrument(CSimProfile profile) : profile_(std::move(profile)) {}

    const CSimProfile& Profile() const { return profile_; }

    // The user of that exact name, or nullptr.
    const CSimUser* FindUser(std::string_view name) const {
        for (const auto& user : profile_.users) {
            if (user.name == name) {
                return &user;
            }
        }
        return nullptr;
    }

  private:
    CSimProfile profile_;
};
