#pragma once

#include <QJsonObject>
#include <string>

#include "SimProfile.h"

// Reads the setup keys of a profile ("clock", "channels", "mathChannels", "loops",
// "externalLoops", "dio", "displayGroups", "controlGroups", "patterns", "logs", "messages",
// the run flags) into `setup`, checking them against what the model and the program option
// can hold. Every text must fit the answers it travels in. On failure says what is wrong in
// `error`, naming the key; `setup` may then be partly filled.
bool ReadSimSetup(const QJsonObject& root, int model, SimProgramOption option, CSimSetup* setup,
                  std::string* error);
