// rzctl: a headless client over the console's core.
#include <arpa/inet.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "CtlOptions.h"
#include "ModelJson.h"
#include "OnlineCommands.h"
#include "platform/Paths.h"
#include "platform/StatusSink.h"
#include "registry/InstrumentRegistry.h"
#include "session/ConnectionManager.h"
#include "session/InstrumentConnection.h"

namespace {

int Fail(RzResult code) {
    std::fprintf(stderr, "error 0x%08X %s\n", static_cast<unsigned>(code), ResultCodeName(code));
    return kExitFailed;
}

// The messages the failure brought, then its code.
int Fail(const RzError& error) {
    ShowStatusMessages(error);
    return Fail(error.code);
}

int Usage(const std::string& reason) {
    std::fputs(CtlUsageError(reason).c_str(), stderr);
    return kExitUsage;
}

volatile std::sig_atomic_t promptSignal = 0;

void OnPromptSignal(int signal) {
    promptSignal = signal;
}

// The password from RZ_PASSWORD, or typed on the terminal without echo. Without a terminal
// there is nobody to ask: a script gives --password or RZ_PASSWORD rather than having rzctl
// wait on an input that may never end.
std::optional<std::string> ReadPassword() {
    if (const char* env = std::getenv("RZ_PASSWORD"); env != nullptr) {
        return env;
    }
    termios saved{};
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &saved) != 0) {
        return std::nullopt;
    }
    // A signal that would end rzctl at the prompt ends the read instead (no SA_RESTART); the
    // terminal echoes again before the signal takes its course.
    const int endingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
    struct sigaction previous[std::size(endingSignals)] = {};
    struct sigaction catcher {};
    catcher.sa_handler = OnPromptSignal;
    sigemptyset(&catcher.sa_mask);
    for (size_t i = 0; i < std::size(endingSignals); ++i) {
        sigaction(endingSignals[i], &catcher, &previous[i]);
        if (previous[i].sa_handler == SIG_IGN) {
            sigaction(endingSignals[i], &previous[i], nullptr);
        }
    }
    std::fprintf(stderr, "Password: ");
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    // read() rather than a stream, so that the signal reaches the handler while the read waits.
    std::string password;
    char c = 0;
    for (;;) {
        const ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR && promptSignal == 0) {
            continue;
        }
        if (n <= 0 || c == '\n') {
            break;
        }
        password += c;
    }
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fprintf(stderr, "\n");
    for (size_t i = 0; i < std::size(endingSignals); ++i) {
        sigaction(endingSignals[i], &previous[i], nullptr);
    }
    if (promptSignal != 0) {
        std::signal(promptSignal, SIG_DFL);
        std::raise(promptSignal);
    }
    return password;
}

// From the connect on, SIGINT and SIGTERM end rzctl at once with 130 or 143, whatever it waits
// for: a connect that does not come up, an answer that does not come, the next cycle. Nothing
// is left to finish: the system closes the link, and each cycle's output is already written.
void EndOnSignal(int signal) {
    _exit(signal == SIGINT ? kExitInterrupted : kExitTerminated);
}

void EndOnSignals() {
    struct sigaction ending {};
    ending.sa_handler = EndOnSignal;
    sigemptyset(&ending.sa_mask);
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction previous {};
        sigaction(signal, nullptr, &previous);
        // A signal the caller ignores (nohup, a background job) stays ignored.
        if (previous.sa_handler != SIG_IGN) {
            sigaction(signal, &ending, nullptr);
        }
    }
}

bool HasControlCharacter(const std::string& text) {
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

int RunRegistry(const CtlOptions& options) {
    CInstrumentRegistry registry;
    const auto& args = options.args;
    const bool json = args.size() == 2 && args[1] == "--json";
    if ((args.size() == 1 || json) && args[0] == "list") {
        const RzExpected<void> loaded =
            registry.Load(DataFilePath(CInstrumentRegistry::kFileName).c_str());
        if (!loaded) {
            return Fail(loaded.error());
        }
        if (json) {
            PrintJson(RegistryToJson(registry), false);
            return kExitOk;
        }
        for (int i = 0; i < registry.GetCount(); ++i) {
            const CRegistryRecord record = registry.GetRecord(i);
            std::printf("%-15s %s\n", record.name, record.ip);
        }
        return kExitOk;
    }
    // Names are held cut to 15 characters without trailing blanks: look them up that way.
    const std::string name = args.size() >= 2 ? CInstrumentRegistry::ListedName(args[1]) : "";
    bool absent = false;
    std::function<RzResult(CInstrumentRegistry&)> change;
    if (args.size() == 3 && args[0] == "add") {
        in_addr parsed{};
        if (name.empty() || HasControlCharacter(name) ||
            inet_pton(AF_INET, args[2].c_str(), &parsed) != 1) {
            return Usage("registry add needs a name and a dotted IPv4 address");
        }
        change = [&](CInstrumentRegistry& r) {
            return r.FindIndex(name) >= 0 ? LINK_E_EXISTS : r.Add(name, args[2]);
        };
    } else if (args.size() == 2 && args[0] == "remove") {
        change = [&](CInstrumentRegistry& r) {
            const int index = r.FindIndex(name);
            absent = index < 0;
            return absent ? LINK_E_PARAMETER : r.Remove(index);
        };
    } else {
        return Usage("registry needs list [--json], add NAME IP or remove NAME");
    }
    // Read, change and write under the file's lock, so that parallel runs keep each other's
    // records.
    const RzExpected<void> result = registry.Update(change);
    if (absent) {
        std::fprintf(stderr, "rzctl: no instrument registered as %s\n", name.c_str());
        return kExitFailed;
    }
    return result ? kExitOk : Fail(result.error());
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
        const RzExpected<void> loaded =
            registry.Load(DataFilePath(CInstrumentRegistry::kFileName).c_str());
        if (!loaded) {
            return Fail(loaded.error());
        }
        const auto address = registry.FindAddress(CInstrumentRegistry::ListedName(options.name));
        if (!address) {
            std::fprintf(stderr, "rzctl: no instrument registered as %s\n", options.name.c_str());
            return kExitFailed;
        }
        host = *address;
    }
    if (host.empty()) {
        return Usage("give --host IP or --name NAME");
    }
    std::optional<std::string> password = options.password;
    if (!options.hasPassword && !(password = ReadPassword())) {
        return Usage("no password: give --password P or RZ_PASSWORD, or type it on a terminal");
    }

    EndOnSignals();
    CConnectionManager manager;
    manager.Init();
    const RzExpected<uint32_t> login = manager.ConnectAndLogin(
        host.c_str(), options.user.c_str(), password->c_str(), static_cast<uint16_t>(options.port));
    if (!login) {
        return Fail(login.error());
    }
    const uint32_t id = *login;
    const CtlSession session{&manager, id, &options.args};
    const CtlCommandResult command = RunOnlineCommand(options.command, session);
    int exitCode = command.exitCode;
    // A link the command lost is closed now, with its cause on stderr.
    QCoreApplication::processEvents();
    // The model the command saw comes from the last full refresh (the log-in's, or the refresh
    // command's): name every step of it that the instrument refused. The cycle stops first,
    // closing the link, so that an exchange waiting on a silent instrument ends at once rather
    // than holding the connection's lock until its time-out.
    if (CInstrumentConnection* connection = manager.FindConnection(id).value_or(nullptr)) {
        connection->StopCycle();
        const std::vector<std::string> refused = connection->RefusedLoadSteps();
        for (const auto& step : refused) {
            std::fprintf(stderr,
                         "rzctl: the instrument refused the settings load step %s; what it "
                         "fills is left empty\n",
                         step.c_str());
        }
        if (!refused.empty() && exitCode == kExitOk) {
            exitCode = kExitIncomplete;
        }
    }
    manager.CloseAll();
    if (exitCode == kExitUsage) {
        return Usage(command.usage);
    }
    return exitCode;
}

// Output that could not be written (a full disk, a closed pipe) fails the run.
int CheckOutput(int exitCode) {
    errno = 0;
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) {
        return exitCode;
    }
    std::fprintf(stderr, "rzctl: cannot write the output%s%s\n", errno != 0 ? ": " : "",
                 errno != 0 ? std::strerror(errno) : "");
    return exitCode == kExitOk || exitCode == kExitIncomplete ? kExitFailed : exitCode;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv, argv + argc);
    CommandLineResult<CtlOptions> parsed = ParseCtlOptions(args);
    if (const auto* exit = std::get_if<CommandLineExit>(&parsed)) {
        std::fputs(exit->text.c_str(), exit->status == kExitOk ? stdout : stderr);
        return exit->status;
    }
    const CtlOptions options = std::get<CtlOptions>(std::move(parsed));
    if (!options.dataDir.empty()) {
        struct stat info {};
        if (stat(options.dataDir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            return Usage("--data-dir " + options.dataDir + " is not a directory");
        }
        SetDataDirectory(options.dataDir);
    }
    SetStatusSink([](const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); });
    return CheckOutput(options.command == "registry" ? RunRegistry(options) : RunOnline(options));
}
