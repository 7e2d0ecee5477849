// rzctl as a process against the bench rzsim: the CPU a `watch` spends per communication cycle
// against a bare client making the same cycle's exchanges, and how soon SIGINT and SIGTERM end
// rzctl in each phase of its run.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "BenchSim.h"
#include "SimServer.h"
#include "common/FullBacklog.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// rzctl logged in as the bench user to 127.0.0.1:`port` running `command`; its output on a
// pipe, its errors discarded. Killed if still running at the end.
class CtlProcess {
  public:
    CtlProcess(const std::string& dataDir, uint16_t port, const std::vector<std::string>& command) {
        std::vector<std::string> args = {
            RzctlPath(),          "--host",     "127.0.0.1", "--port",
            std::to_string(port), "--user",     kBenchUser,  "--password",
            kBenchPassword,       "--data-dir", dataDir};
        args.insert(args.end(), command.begin(), command.end());
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) {
            return;
        }
        // The signals rzctl is measured on start at their defaults whatever runs the benchmark.
        pid_ = SpawnChild(std::move(args), {.out = out[1], .errorsToNull = true});
        close(out[1]);
        output_ = fdopen(out[0], "r");
    }
    ~CtlProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            Wait();
        }
        if (output_ != nullptr) {
            fclose(output_);
        }
    }
    CtlProcess(const CtlProcess&) = delete;
    CtlProcess& operator=(const CtlProcess&) = delete;

    bool Started() const { return pid_ > 0 && output_ != nullptr; }
    // Reads the next line of output; false at its end.
    bool ReadLine() {
        char* line = nullptr;
        size_t size = 0;
        const bool got = getline(&line, &size, output_) > 0;
        free(line);
        return got;
    }
    // The CPU time of all its threads so far, in seconds.
    double CpuSeconds() const {
        clockid_t clock{};
        timespec t{};
        if (clock_getcpuclockid(pid_, &clock) != 0 || clock_gettime(clock, &t) != 0) {
            return -1;
        }
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
    }
    void Signal(int signal) const { kill(pid_, signal); }
    // Waits for the end: the exit status, or -1 when it did not exit by itself.
    int Wait() {
        int status = 0;
        const pid_t ended = waitpid(pid_, &status, 0);
        pid_ = -1;
        return ended > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    FILE* output_ = nullptr;
};

// The CPU that `rzctl watch` spends on a 5000 ms cycle, the median of the cycles from its first
// printed cycle on, against a bare client making the same cycle's exchanges (the median of
// nine). A watch that spun between cycles would spend most of each cycle. Each cycle starts
// after five seconds asleep, with whatever else the machine ran in between in the caches, so a
// single cycle's CPU varies by a third from one to the next: one or two cycles are no figure.
void BM_RzctlWatchCycleCpu(benchmark::State& state) {
    constexpr int kCycleMs = 5000;
    constexpr int kCycles = 7;
    BenchDataDir data(kCycleMs);
    double cpu = 0;
    double wall = 0;
    std::vector<std::string> requests;
    for (auto _ : state) {
        CtlProcess watch(data.Path(), BenchServer().Port(),
                         {"watch", "--json", "--cycles", std::to_string(kCycles + 1)});
        if (!watch.Started() || !watch.ReadLine()) {
            state.SkipWithError("rzctl watch did not start");
            return;
        }
        double cpuBefore = watch.CpuSeconds();
        const auto start = Clock::now();
        BenchServer().ClearRequests();
        std::vector<double> cycles;
        for (int i = 0; i < kCycles; ++i) {
            if (!watch.ReadLine()) {
                state.SkipWithError("rzctl watch ended early");
                return;
            }
            const double cpuNow = watch.CpuSeconds();
            cycles.push_back(cpuNow - cpuBefore);
            cpuBefore = cpuNow;
            if (i == 0) {
                requests = BenchServer().CommandRequests();  // one cycle's
            }
        }
        std::nth_element(cycles.begin(), cycles.begin() + kCycles / 2, cycles.end());
        cpu = cycles[kCycles / 2];
        wall = Seconds(Clock::now() - start) / kCycles;
        state.SetIterationTime(cpu);
        if (watch.Wait() != 0) {
            state.SkipWithError("rzctl watch failed");
            return;
        }
    }
    BareInstrumentClient client(BenchServer().Port());
    client.Login();
    std::vector<double> bare;
    for (int i = 0; i < 9; ++i) {
        const double start = BenchThreadSeconds();
        for (const auto& request : requests) {
            client.Exchange(request);
        }
        bare.push_back(BenchThreadSeconds() - start);
    }
    std::nth_element(bare.begin(), bare.begin() + 4, bare.end());
    state.counters["cycle_cpu_us"] = cpu * 1e6;
    state.counters["bare_cpu_us"] = bare[4] * 1e6;
    state.counters["cycle_ms"] = wall * 1e3;
}
BENCHMARK(BM_RzctlWatchCycleCpu)
    ->Iterations(1)
    ->Repetitions(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// True while a TCP socket of this machine in `state` (as /proc/net/tcp numbers it: 1
// established, 2 connect sent) leads to 127.0.0.1:`port`.
bool SocketTo(uint16_t port, int state) {
    char remote[16];
    std::snprintf(remote, sizeof remote, "0100007F:%04X", port);
    std::ifstream table("/proc/net/tcp");
    std::string slot;
    std::string local;
    std::string peer;
    int st = 0;
    for (std::string line; std::getline(table, line);) {
        std::istringstream fields(line);
        if (fields >> slot >> local >> peer >> std::hex >> st && peer == remote && st == state) {
            return true;
        }
    }
    return false;
}

enum class Phase { kConnecting, kLogin, kLoading, kCommand, kWatch };

// From the signal to the end of rzctl held in `phase`, SIGINT and SIGTERM in turn; an end with
// another status than 130 or 143 fails the benchmark.
void RzctlSignalEnd(benchmark::State& state, Phase phase) {
    BenchDataDir data(1000);
    // A clean log-in's requests, so that a stall can aim at the first one after it.
    // rzsim serves one client at a time, and the previous run's client may still hold it (a
    // delayed answer ends before rzsim sees the close), so the log-in is tried for a while.
    bool loggedInOnce = false;
    for (int attempt = 0; attempt < 50 && !loggedInOnce; ++attempt) {
        if (attempt > 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        BenchServer().ClearRequests();
        CtlProcess info(data.Path(), BenchServer().Port(), {"info"});
        while (info.ReadLine()) {
        }
        loggedInOnce = info.Wait() == 0;
    }
    if (!loggedInOnce) {
        std::fprintf(stderr, "rzctl info failed\n");
    }
    const auto loggedIn = static_cast<uint32_t>(BenchServer().CommandRequests().size());
    CFullBacklog full;
    uint16_t port = BenchServer().Port();
    std::vector<std::string> command = {"info"};
    CSimFaults faults;
    std::function<bool()> reached;
    const auto requests = [](size_t n) {
        return [n] { return BenchServer().Requests().size() >= n; };  // user, password first
    };
    switch (phase) {
        case Phase::kConnecting:
            port = full.Port();
            reached = [port] { return SocketTo(port, 2); };
            break;
        case Phase::kLogin:
            faults.answerDelayMs = 3000;  // the greeting
            reached = [port] { return SocketTo(port, 1); };
            break;
        case Phase::kLoading:
            faults.stallFromRequest = 3;
            reached = requests(2 + 3);
            break;
        case Phase::kCommand:
        case Phase::kWatch:
            faults.stallFromRequest = loggedIn + 1;
            command = phase == Phase::kWatch ? std::vector<std::string>{"watch"}
                                             : std::vector<std::string>{"memory", "start"};
            reached = requests(2 + loggedIn + 1);
            break;
    }
    BenchServer().SetFaults(faults);
    int round = 0;
    double worst = 0;
    int failed = 0;
    for (auto _ : state) {
        if (!loggedInOnce) {
            ++failed;
            continue;
        }
        const int signal = round++ % 2 == 0 ? SIGINT : SIGTERM;
        BenchServer().ClearRequests();
        CtlProcess ctl(data.Path(), port, command);
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (ctl.Started() && !reached() && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (!ctl.Started() || !reached()) {
            std::fprintf(stderr, "rzctl did not reach the phase\n");
            ++failed;
            continue;
        }
        const auto start = Clock::now();
        ctl.Signal(signal);
        const int status = ctl.Wait();
        const double took = Seconds(Clock::now() - start);
        worst = std::max(worst, took);
        state.SetIterationTime(took);
        if (status != 128 + signal) {
            std::fprintf(stderr, "rzctl ended with %d, not 128 + %d\n", status, signal);
            ++failed;
        }
    }
    BenchServer().SetFaults({});
    // A failed end is counted rather than skipping the run: the aggregates of repeated runs
    // need every repetition complete, and the summary shows the bound as not met.
    state.counters["failed"] = failed;
    state.counters["worst_ms"] = worst * 1e3;
}

void BM_RzctlSignalConnecting(benchmark::State& state) {
    RzctlSignalEnd(state, Phase::kConnecting);
}
void BM_RzctlSignalLogin(benchmark::State& state) {
    RzctlSignalEnd(state, Phase::kLogin);
}
void BM_RzctlSignalLoading(benchmark::State& state) {
    RzctlSignalEnd(state, Phase::kLoading);
}
void BM_RzctlSignalCommand(benchmark::State& state) {
    RzctlSignalEnd(state, Phase::kCommand);
}
void BM_RzctlSignalWatch(benchmark::State& state) {
    RzctlSignalEnd(state, Phase::kWatch);
}
BENCHMARK(BM_RzctlSignalConnecting)->Iterations(4)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RzctlSignalLogin)->Iterations(4)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RzctlSignalLoading)->Iterations(4)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RzctlSignalCommand)->Iterations(4)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RzctlSignalWatch)->Iterations(4)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
