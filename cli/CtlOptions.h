#pragma once

#include <string>
#include <vector>

#include "platform/CommandLine.h"

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

// Parses argv (the program name first): the options to go on with, or the end of the run after
// --help or --version (kExitOk, with the text for stdout) or a usage error (kExitUsage, with the
// text for stderr).
CommandLineResult<CtlOptions> ParseCtlOptions(const std::vector<std::string>& argv);

// The text of a usage error: the reason and where to look for help.
std::string CtlUsageError(const std::string& reason);
