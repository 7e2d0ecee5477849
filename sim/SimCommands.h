#pragma once

#include <string>
#include <vector>

#include "SimDispatcher.h"
#include "SimInstrument.h"

class CSimServer;

// One command of the instrument: its key, the firmware that offers it, whether it belongs to
// the program option, and its answer. Requests for a command the instrument does not offer get
// an error line.
struct CSimCommandEntry {
    std::string key;
    SimGate gate = SimGate::kAlways;
    bool program = false;
    CSimHandler handler;
};
using CSimCommandTable = std::vector<CSimCommandEntry>;

// The command families, each adding its entries to the table.
void AddSettingAnswers(CSimCommandTable& table);    // names, groups, kinds, tags, ranges
void AddStateAnswers(CSimCommandTable& table);      // loop and run status, set point numbers
void AddDataAnswers(CSimCommandTable& table);       // values, DI/DO states, patterns, logs
void AddOperationAnswers(CSimCommandTable& table);  // loop, DI/DO, program and function ops
void AddDisplayAnswers(CSimCommandTable& table);    // display switching and the screen image

// Helpers of the command families.

// The request's text after `head` ("FM " for "FM 3"), or false when it does not begin so.
bool SimArguments(const CSimRequest& request, std::string_view head, std::string_view* rest);
// Internal loop `number` when it is set up as a control loop (configured, kind not none).
CSimLoop* SimControlLoop(CSimInstrument& instrument, int64_t number);
// External loop `number` when it is in use with a controller the instrument can operate.
CSimExtLoop* SimOperableExtLoop(CSimInstrument& instrument, int64_t number);

// Every command of the console's command table.
CSimCommandTable SimInstrumentCommands();

// Registers every command of the instrument. A server starts with the log-in and the
// identification only, so that a test can stand up a bare peer; rzsim always adds these.
// False when one of the keys is taken already (nothing is registered then on the dispatcher;
// on the server the keys before it stay registered).
bool RegisterInstrumentCommands(CSimDispatcher& dispatcher);
bool RegisterInstrumentCommands(CSimServer& server);
