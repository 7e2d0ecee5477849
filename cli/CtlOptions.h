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

// Parses argv (the program name first) into `options`. Returns -1 to go on, or the exit status
// after --help or --version (kExitOk, with the text for stdout in `message`) or a usage error
// (kExitUsage, with the text for stderr in `message`).
int ParseCtlOptions(const std::vector<std::string>& argv, CtlOptions* options,
                    std::string* message);

// The text of a usage error: the reason and where to look for help.
std::string CtlUsageError(const std::string& reason);
