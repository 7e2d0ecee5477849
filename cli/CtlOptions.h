#pragma once

#include <string>
#include <vector>

// Exit codes of rzctl.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
// The command ran, but the instrument refused steps of the settings load (named on stderr).
constexpr int kExitIncomplete = 3;
// Ended by SIGINT or SIGTERM (128 + the signal's number, as a shell reports it).
constexpr int kExitInterrupted = 130;
constexpr int kExitTerminated = 143;

struct CtlOptions {
    std::string host;
    std::string name;
    int port = 34260;
    std::string user;
    std::string password;
    bool hasPassword = false;
    std::string dataDir;
    std::string command;
    std::vector<std::string> args;
};

// Parses argv into `options`. On a usage error returns false with the reason in `error`.
bool ParseCtlOptions(const std::vector<std::string>& argv, CtlOptions* options, std::string* error);

extern const char* const kCtlUsage;
