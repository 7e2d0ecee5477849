#pragma once

#include <cstdint>
#include <map>
#include <set>
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
    CSimLimits limits;                    // of each instrument
    CSimPlantSettings plant{true, 1, 0};  // rzsim's plant runs on real time unless told

    // A plant: `instruments` instruments on consecutive addresses from `host`, all at `port`.
    // Every --profile in order, taken in turn (none: full, rz3200v2 and rz3100 in turn).
    uint32_t instruments = 1;
    std::vector<std::string> profiles;
    // By address (as inet_ntop writes it): an instrument's faults, the ones given before the
    // first --faults-for changed by the options after its own --faults-for.
    std::map<std::string, CSimFaults> faultsFor;
    std::set<std::string> stopped;  // addresses of the plant that are not served
    bool help = false;
    bool version = false;
};

// Reads the command-line arguments (without the program name) over the defaults in `options`.
// False with the reason in `error` on an unknown option, a missing or malformed value.
bool ParseSimOptions(const std::vector<std::string>& args, CSimOptions* options,
                     std::string* error);

// The address of instrument `index` (from 0) of the plant: --host counted up by `index`.
std::string SimInstrumentAddress(const CSimOptions& options, uint32_t index);

// The text of `rzsim --help`.
std::string SimHelpText();
