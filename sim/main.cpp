// rzsim: an RZ instrument on TCP for demonstrations, tests and operators without hardware.

#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "SimOptions.h"
#include "SimPlantServer.h"
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
    const std::unique_ptr<CSimPlantServer> plant = CSimPlantServer::Make(options, &error);
    if (!plant) {
        std::fprintf(stderr, "rzsim: %s\n", error.c_str());
        return 2;
    }

    // The signals are taken by sigwait below; every thread started later inherits the mask.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    if (!plant->Start()) {
        std::fprintf(stderr, "rzsim: %s\n", plant->LastError().c_str());
        return 1;
    }
    const unsigned port = plant->Port();
    for (int i = 0; i < plant->Count(); ++i) {
        const CSimPlantMember& member = plant->Member(i);
        const bool stopped = options.stopped.count(member.address) != 0;
        if (plant->Count() == 1 && !stopped) {
            std::printf("rzsim: listening on %s:%u\n", member.address.c_str(), port);
        } else {
            std::printf("rzsim: %s %s:%u as \"%s\" (%s)\n", stopped ? "stopped" : "listening on",
                        member.address.c_str(), port, member.name.c_str(), member.profile.c_str());
        }
    }
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);
    plant->Stop();
    return 0;
}
