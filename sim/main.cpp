// rzsim: an RZ instrument on TCP for demonstrations, tests and operators without hardware.

#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "SimCommands.h"
#include "SimOptions.h"
#include "SimProfile.h"
#include "SimServer.h"
#include "platform/CommandLine.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    CSimOptions options;
    std::string error;
    if (!ParseSimOptions(args, &options, &error)) {
        std::fputs(UsageErrorText("rzsim", error).c_str(), stderr);
        return 2;
    }
    if (options.help || options.version) {
        std::fputs((options.help ? SimHelpText() : VersionText("rzsim")).c_str(), stdout);
        return 0;
    }
    CSimProfile profile;
    if (!LoadSimProfile(options.profile, &profile, &error)) {
        std::fprintf(stderr, "rzsim: profile: %s\n", error.c_str());
        return 2;
    }
    profile.plant = options.plant;

    // The signals are taken by sigwait below; every thread started later inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    CSimServer server(std::move(profile), options.faults, options.limits);
    if (!RegisterInstrumentCommands(server)) {
        std::fprintf(stderr, "rzsim: the instrument's commands could not be registered\n");
        return 1;
    }
    const uint16_t port = server.Start(options.port, options.host);
    if (port == 0) {
        std::fprintf(stderr, "rzsim: %s\n", server.LastError().c_str());
        return 1;
    }
    std::printf("rzsim: listening on %s:%u\n", options.host.c_str(), static_cast<unsigned>(port));
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);
    server.Stop();
    return 0;
}
