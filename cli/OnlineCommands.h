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

// Runs the command named `name` on a logged-in connection. Returns an exit code; a usage error
// in the arguments gives kExitUsage with the reason in `usage`.
int RunOnlineCommand(const std::string& name, const CtlSession& session, std::string* usage);

// True when `name` is an online command (needs a log-in).
bool IsOnlineCommand(const std::string& name);
