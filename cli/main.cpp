// rzctl: a headless client over the console's core.
#include <arpa/inet.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include "CtlOptions.h"
#include "OnlineCommands.h"
#include "platform/Paths.h"
#include "platform/StatusSink.h"
#include "registry/InstrumentRegistry.h"
#include "session/ConnectionManager.h"

namespace {

int Fail(RzResult code) {
    std::fprintf(stderr, "error 0x%08X %s\n", static_cast<unsigned>(code), ResultCodeName(code));
    return kExitFailed;
}

int Usage(const std::string& reason) {
    std::fprintf(stderr, "rzctl: %s\n\n%s", reason.c_str(), kCtlUsage);
    return kExitUsage;
}

// The password from RZ_PASSWORD, or read from the terminal without echo.
std::string ReadPassword() {
    if (const char* env = std::getenv("RZ_PASSWORD"); env != nullptr) {
        return env;
    }
    std::string password;
    termios saved{};
    const bool tty = isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved) == 0;
    if (tty) {
        std::fprintf(stderr, "Password: ");
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::getline(std::cin, password);
    if (tty) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fprintf(stderr, "\n");
    }
    return password;
}

int RunRegistry(const CtlOptions& options) {
    CInstrumentRegistry registry;
    const std::string path = DataFilePath(CInstrumentRegistry::kFileName);
    const RzResult loaded = registry.Load(path.c_str());
    if (loaded != RZ_OK && loaded != LINK_E_FILE) {
        std::fprintf(stderr, "rzctl: cannot read %s\n", path.c_str());
        return Fail(loaded);
    }
    const auto& args = options.args;
    if (args.size() == 1 && args[0] == "list") {
        for (int i = 0; i < registry.GetCount(); ++i) {
            const CRegistryRecord record = registry.GetRecord(i);
            std::printf("%-15s %s\n", record.name, record.ip);
        }
        return kExitOk;
    }
    RzResult result = RZ_OK;
    if (args.size() == 3 && args[0] == "add") {
        in_addr parsed{};
        if (args[1].empty() || inet_pton(AF_INET, args[2].c_str(), &parsed) != 1) {
            return Usage("registry add needs a name and a dotted IPv4 address");
        }
        // Names loaded from the file are held blank-padded, so compare them as listed.
        result = registry.FindIndex(args[1]) >= 0 ? LINK_E_EXISTS : registry.Add(args[1], args[2]);
    } else if (args.size() == 2 && args[0] == "remove") {
        const int index = registry.FindIndex(args[1]);
        if (index < 0) {
            std::fprintf(stderr, "rzctl: no instrument registered as %s\n", args[1].c_str());
            return kExitFailed;
        }
        result = registry.Remove(index);
    } else {
        return Usage("registry needs list, add NAME IP or remove NAME");
    }
    if (result == RZ_OK) {
        result = registry.Save();
    }
    return result == RZ_OK ? kExitOk : Fail(result);
}

int RunOnline(const CtlOptions& options) {
    if (!IsOnlineCommand(options.command)) {
        return Usage("unknown command " + options.command);
    }
    if (options.user.empty()) {
        return Usage("--user is required");
    }
    std::string host = options.host;
    if (!options.name.empty()) {
        CInstrumentRegistry registry;
        registry.Load(DataFilePath(CInstrumentRegistry::kFileName).c_str());
        const auto address = registry.FindAddress(options.name);
        if (!address) {
            std::fprintf(stderr, "rzctl: no instrument registered as %s\n", options.name.c_str());
            return kExitFailed;
        }
        host = *address;
    }
    if (host.empty()) {
        return Usage("give --host IP or --name NAME");
    }
    const std::string password = options.hasPassword ? options.password : ReadPassword();

    CConnectionManager manager;
    manager.Init();
    uint32_t id = 0;
    const RzResult result =
        manager.ConnectAndLogin(host.c_str(), options.user.c_str(), password.c_str(), &id,
                                static_cast<uint16_t>(options.port));
    if (result != RZ_OK) {
        return Fail(result);
    }
    std::string usage;
    const CtlSession session{&manager, id, &options.args};
    const int exitCode = RunOnlineCommand(options.command, session, &usage);
    manager.CloseAll();
    if (exitCode == kExitUsage) {
        return Usage(usage);
    }
    return exitCode;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv, argv + argc);
    for (const auto& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::printf("%s", kCtlUsage);
            return kExitOk;
        }
    }
    CtlOptions options;
    std::string error;
    if (!ParseCtlOptions(args, &options, &error)) {
        return Usage(error);
    }
    if (!options.dataDir.empty()) {
        SetDataDirectory(options.dataDir);
    }
    SetStatusSink([](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); });
    if (options.command == "registry") {
        return RunRegistry(options);
    }
    return RunOnline(options);
}
