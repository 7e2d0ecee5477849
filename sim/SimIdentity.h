#pragma once

#include <string>

#include "SimDispatcher.h"
#include "SimProfile.h"

// Answer to "_C": model, firmware version and program option as a list.
std::string SimIdentityAnswer(const CSimProfile& profile);

// Answer to "ZSPID_AUX?": ten option flags, "ON" for 1 and "OFF" for 0, each followed by a comma.
std::string SimPidAuxAnswer(const CSimProfile& profile);

// Registers "_C" and "ZS" (the only request of that key is "ZSPID_AUX?").
void RegisterIdentityCommands(CSimDispatcher& dispatcher);
