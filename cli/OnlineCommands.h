#pragma once

#include <string>
#include <vector>

class CConnectionManager;
class CInstrumentConnection;

// What an online command gets: the logged-in connection and its arguments.
struct CtlSession {
    CConnectionManager* manager;
    unsigned connectionId;
    const std::vector<std::string>* args;
};

// How a command ended: its exit code, and with kExitUsage the reason of the usage error.
struct CtlCommandResult {
    int exitCode;
    std::string usage;
};

// Runs the command named `name` on a logged-in connection; a usage error in the arguments gives
// kExitUsage.
CtlCommandResult RunOnlineCommand(const std::string& name, const CtlSession& session);

// True when `name` is an online command (needs a log-in).
bool IsOnlineCommand(const std::string& name);
