#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "SimFaults.h"
#include "SimLimits.h"
#include "SimSetup.h"

struct CSimOptions {
    std::string host = "127.0.0.1";
    uint16_t port = 34260;
    std::string profile = "full";
    CSimFaults faults;
    CSimLimits limits;
    CSimPlantSettings plant{true, 1, 0};  // rzsim's plant runs on real time unless told
    bool help = false;
    bool version = false;
};

// Reads the command-line arguments (without the program name) over the defaults in `options`.
// False with the reason in `error` on an unknown option, a missing or malformed value.
bool ParseSimOptions(const std::vector<std::string>& args, CSimOptions* options,
                     std::string* error);

// The text of `rzsim --help`.
std::string SimHelpText();
