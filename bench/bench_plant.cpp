// The plant overview polling a whole plant: the real main window, log-in control, connection
// manager and plant overview, with every instrument's password remembered (in memory), logged in
// to an in-process plant of 50 simulated instruments on their own loopback addresses at a 1 s
// cycle. The console runs in a child process, so that its CPU time, memory and threads are its
// own and not the simulators'. Measured: the console's CPU per cycle against a bare client making
// the same requests to the same instruments (each in its own child, alternately, all on one CPU
// as RunPair does), its peak memory and the threads each polled instrument adds, the GUI
// thread's longest stall while it polls, and the longest time a row goes without an update
// while one instrument stalls (it reads every request and answers none).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "BenchSim.h"
#include "SimPlantServer.h"
#include "ViewFactory.h"
#include "platform/LargeBlocks.h"
#include "platform/Paths.h"
#include "registry/InstrumentRegistry.h"
#include "registry/InstrumentSettings.h"
#include "secrets/PasswordStore.h"
#include "session/ConnectionManager.h"
#include "shell/LoginControl.h"
#include "shell/MainFrame.h"
#include "shell/OverviewModel.h"
#include "shell/PlantOverview.h"
#include "ui/FlatLook.h"

namespace {

constexpr int kPlantSize = 50;
constexpr int kCycleMs = 1000;
// Seconds of polling each child measures (one cycle each).
constexpr int kPollSeconds = 4;
// The instrument that stalls in the stalled row.
constexpr int kStalledIndex = 7;

CSimPlantServer& BenchPlant() {
    static std::unique_ptr<CSimPlantServer> plant = [] {
        CSimOptions options;
        options.instruments = kPlantSize;
        options.port = 0;
        std::string error;
        auto p = CSimPlantServer::Make(options, &error);
        if (p == nullptr || !p->Start()) {
            throw std::runtime_error("cannot start the plant: " +
                                     (p == nullptr ? error : p->LastError()));
        }
        return p;
    }();
    return *plant;
}

// A data directory with the plant registered, each instrument's password to be remembered for
// the level-A user, and the benchmark's cycle.
class PlantDataDir {
  public:
    PlantDataDir() : data_(kCycleMs) {
        CInstrumentRegistry registry;
        ok_ = static_cast<bool>(registry.Load());
        for (int i = 0; ok_ && i < BenchPlant().Count(); ++i) {
            const CSimPlantMember& member = BenchPlant().Member(i);
            ok_ = registry.Add(member.name.c_str(), member.address.c_str()) == RZ_OK &&
                  CInstrumentSettings().Set(member.name, {kBenchUser, true, true});
        }
        ok_ = ok_ && static_cast<bool>(registry.Save());
    }
    bool ok() const { return ok_; }
    std::string Path() const { return data_.Path(); }

  private:
    BenchDataDir data_;
    bool ok_ = false;
};

// This program again in a child mode, talking to it a line at a time over its standard input and
// output.
class Child {
  public:
    explicit Child(const std::vector<std::string>& arguments) {
        std::vector<std::string> args = {ExecutableDirectory() + "/rz_bench"};
        args.insert(args.end(), arguments.begin(), arguments.end());
        int in[2];
        int out[2];
        if (pipe2(in, O_CLOEXEC) != 0) {
            return;
        }
        if (pipe2(out, O_CLOEXEC) != 0) {
            close(in[0]);
            close(in[1]);
            return;
        }
        pid_ = SpawnChild(std::move(args), {.in = in[0], .out = out[1]});
        close(in[0]);
        close(out[1]);
        toChild_ = fdopen(in[1], "w");
        fromChild_ = fdopen(out[0], "r");
    }
    ~Child() {
        if (toChild_ != nullptr) {
            std::fclose(toChild_);
        }
        if (fromChild_ != nullptr) {
            std::fclose(fromChild_);
        }
        if (pid_ > 0 && !waited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // The child's next line, without its end; false when it closed its output.
    bool ReadLine(std::string* line) {
        char buffer[512];
        if (fromChild_ == nullptr || std::fgets(buffer, sizeof buffer, fromChild_) == nullptr) {
            return false;
        }
        *line = buffer;
        while (!line->empty() && (line->back() == '\n' || line->back() == '\r')) {
            line->pop_back();
        }
        return true;
    }
    void WriteLine(const char* text) {
        if (toChild_ != nullptr) {
            std::fprintf(toChild_, "%s\n", text);
            std::fflush(toChild_);
        }
    }
    // Its peak resident memory in kB once it has ended well; a negative number otherwise.
    double WaitPeakKb() {
        waited_ = true;
        return WaitChildPeakKb(pid_);
    }

  private:
    pid_t pid_ = -1;
    bool waited_ = false;
    FILE* toChild_ = nullptr;
    FILE* fromChild_ = nullptr;
};

// What the console's child measured over its polling.
struct ConsoleFigures {
    double cpuSeconds = 0;      // the process's CPU time
    double stallSeconds = 0;    // the GUI thread's longest stall (when probed)
    double longestGapMs = 0;    // the longest time a row other than the stalled one went unchanged
    double updates = 0;         // row updates of those rows
    double stalledUpdates = 0;  // row updates of the stalled row
    double threadsBefore = 0;   // before the overview's first connection
    double threadsAfter = 0;
    double rssBeforeKb = 0;
    double rssAfterKb = 0;
    double peakKb = 0;
    std::vector<std::vector<std::string>> requests;  // per instrument, while it measured
};

enum class Stall { kNone, kOne };

// Runs the console's child against the plant: once all are logged in the child's polling is
// measured for kPollSeconds, with instrument kStalledIndex stalled from then on when asked.
bool RunConsole(const PlantDataDir& data, Stall stall, bool probe, ConsoleFigures* figures) {
    CSimPlantServer& plant = BenchPlant();
    const std::string stalled = stall == Stall::kOne ? plant.Member(kStalledIndex).address : "-";
    Child child({"--bench-plant-console", std::to_string(plant.Port()), data.Path(),
                 std::to_string(kPollSeconds), stalled, probe ? "1" : "0"});
    std::string line;
    if (!child.ReadLine(&line) || line != "ready") {
        return false;
    }
    CSimFaults original;
    if (stall == Stall::kOne) {
        original = plant.Instrument(kStalledIndex).Faults();
        CSimFaults stallNow = original;
        stallNow.stallFromRequest = 1;  // every request from now on is read, none answered
        plant.Instrument(kStalledIndex).SetFaults(stallNow);
    }
    for (int i = 0; i < plant.Count(); ++i) {
        plant.Instrument(i).ClearRequests();
    }
    child.WriteLine("go");
    const bool done = child.ReadLine(&line);
    figures->requests.clear();
    for (int i = 0; i < plant.Count(); ++i) {
        figures->requests.push_back(plant.Instrument(i).CommandRequests());
    }
    child.WriteLine("ok");
    figures->peakKb = child.WaitPeakKb();
    if (stall == Stall::kOne) {
        plant.Instrument(kStalledIndex).SetFaults(original);
    }
    ConsoleFigures& f = *figures;
    return done && figures->peakKb > 0 &&
           std::sscanf(line.c_str(), "done %lf %lf %lf %lf %lf %lf %lf %lf %lf", &f.cpuSeconds,
                       &f.stallSeconds, &f.longestGapMs, &f.updates, &f.stalledUpdates,
                       &f.threadsBefore, &f.threadsAfter, &f.rssBeforeKb, &f.rssAfterKb) == 9;
}

// The bare client's child making `requests` (per instrument) in kPollSeconds cycles, from one
// thread or from a thread per instrument; its CPU time, or a negative number on failure.
double RunBare(const PlantDataDir& data, const std::vector<std::vector<std::string>>& requests,
               bool threaded = false) {
    CSimPlantServer& plant = BenchPlant();
    const std::string file = data.Path() + "/bare-requests";
    {
        std::ofstream out(file);
        for (int i = 0; i < plant.Count(); ++i) {
            out << '@' << plant.Member(i).address << '\n';
            for (const std::string& request : requests[static_cast<size_t>(i)]) {
                out << request << '\n';
            }
        }
    }
    Child child({"--bench-plant-bare", std::to_string(plant.Port()), file,
                 std::to_string(kPollSeconds), threaded ? "1" : "0"});
    std::string line;
    double cpu = -1;
    if (!child.ReadLine(&line) || std::sscanf(line.c_str(), "done %lf", &cpu) != 1) {
        return -1;
    }
    return child.WaitPeakKb() > 0 ? cpu : -1;
}

// The overview's CPU per cycle against the bare client's, alternately; the memory and threads of
// the console's children.
void BM_PlantOverviewCpu(benchmark::State& state) {
    PlantDataDir data;
    if (!data.ok()) {
        state.SkipWithError("cannot register the plant");
        return;
    }
    ConsoleFigures figures;
    double peakKb = 0;
    bool failed = false;
    RunPair(
        state,
        [&]() -> double {
            if (!RunConsole(data, Stall::kNone, false, &figures)) {
                failed = true;
                return -1;
            }
            peakKb = std::max(peakKb, figures.peakKb);
            return figures.cpuSeconds / kPollSeconds;
        },
        [&]() -> double {
            if (figures.requests.empty() && !RunConsole(data, Stall::kNone, false, &figures)) {
                return -1;
            }
            const double cpu = RunBare(data, figures.requests);
            return cpu < 0 ? -1 : cpu / kPollSeconds;
        });
    if (failed) {
        return;
    }
    // What one thread per instrument costs by itself: the same bare client with a thread per
    // instrument against it with one, alternately. No console with a communication thread per
    // connection spends less than the first.
    std::vector<double> threaded;
    std::vector<double> single;
    {
        const OneCpu pinned;
        for (int i = 0; i < 3; ++i) {
            threaded.push_back(RunBare(data, figures.requests, true) / kPollSeconds);
            single.push_back(RunBare(data, figures.requests, false) / kPollSeconds);
        }
    }
    if (*std::min_element(threaded.begin(), threaded.end()) > 0 &&
        *std::min_element(single.begin(), single.end()) > 0) {
        state.counters["bare_threaded_us"] = Median(threaded) * 1e6;
        state.counters["bare_single_us"] = Median(single) * 1e6;
    }
    size_t requests = 0;
    for (const auto& each : figures.requests) {
        requests += each.size();
    }
    state.counters["requests_per_cycle"] = static_cast<double>(requests) / kPollSeconds;
    state.counters["connections"] = kPlantSize;
    state.counters["process_peak_kB"] = peakKb;
    state.counters["kB_per_connection"] = (figures.rssAfterKb - figures.rssBeforeKb) / kPlantSize;
    state.counters["threads_per_connection"] =
        (figures.threadsAfter - figures.threadsBefore) / kPlantSize;
}
BENCHMARK(BM_PlantOverviewCpu)
    ->Iterations(3)
    ->Repetitions(1)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// The GUI thread's longest stall while the overview polls the plant.
void BM_PlantOverviewGuiStall(benchmark::State& state) {
    PlantDataDir data;
    ConsoleFigures figures;
    for (auto _ : state) {
        if (!data.ok() || !RunConsole(data, Stall::kNone, true, &figures)) {
            state.SkipWithError("the console's child failed");
            return;
        }
        state.SetIterationTime(figures.stallSeconds);
    }
    state.counters["row_updates"] = figures.updates;
}
BENCHMARK(BM_PlantOverviewGuiStall)
    ->Iterations(1)
    ->Repetitions(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The longest time any other row goes without an update while one instrument stalls.
void BM_PlantOverviewStalledOneGap(benchmark::State& state) {
    PlantDataDir data;
    ConsoleFigures figures;
    for (auto _ : state) {
        if (!data.ok() || !RunConsole(data, Stall::kOne, true, &figures)) {
            state.SkipWithError("the console's child failed");
            return;
        }
        state.SetIterationTime(figures.longestGapMs / 1e3);
    }
    state.counters["row_updates"] = figures.updates;
    state.counters["stalled_row_updates"] = figures.stalledUpdates;
    state.counters["gui_stall_ms"] = figures.stallSeconds * 1e3;
}
BENCHMARK(BM_PlantOverviewStalledOneGap)
    ->Iterations(1)
    ->Repetitions(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// This process's resident memory (kB) and thread count.
void ReadProcessFigures(double* rssKb, double* threads) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) {
            *rssKb = std::atof(line.c_str() + 6);
        } else if (line.rfind("Threads:", 0) == 0) {
            *threads = std::atof(line.c_str() + 8);
        }
    }
}

// Waits for a line from the parent (outside what is measured).
bool AwaitParent(const char* word) {
    char buffer[64];
    return std::fgets(buffer, sizeof buffer, stdin) != nullptr &&
           std::strncmp(buffer, word, std::strlen(word)) == 0;
}

}  // namespace

// The console with the plant overview, every registered instrument's password remembered (in
// memory), in data directory `dir` against the plant at `port`. Once every row is logged in it
// says "ready" and waits for "go"; then it polls for `seconds`, with the GUI thread's stall
// probe when `probe` is "1", and says "done" with its figures; the row of the instrument at
// `stalled` ("-": none) does not count in the longest gap.
int RunBenchPlantConsole(QApplication& app, const char* port, const char* dir, int seconds,
                         const char* stalled, bool probe) {
    KeepLargeBlocksMapped();  // as the console does
    ApplyFlatLook(app);
    SetDataDirectory(dir);
    const auto instrumentPort = static_cast<uint16_t>(std::atoi(port));
    CConnectionManager manager;
    manager.Init();
    CMainFrame frame(instrumentPort);
    const COverviewModel& model = frame.Overview();
    auto secrets = std::make_unique<CMemoryPasswordStore>();
    for (const COverviewModel::Instrument& instrument : model.Instruments()) {
        secrets->Write({instrument.name, instrument.address, kBenchUser}, kBenchPassword, {});
    }
    frame.SetSecretStore(std::move(secrets));
    CLoginControl login(manager, frame, MakeInstrumentView);
    double rssBefore = 0;
    double threadsBefore = 0;
    ReadProcessFigures(&rssBefore, &threadsBefore);
    CPlantOverview overview(frame, login, manager, instrumentPort);
    frame.show();
    const int rows = model.rowCount();
    const auto allLoggedIn = [&] {
        for (int row = 0; row < rows; ++row) {
            if (model.StateAt(row) != OverviewState::kLoggedIn) {
                return false;
            }
        }
        return true;
    };
    if (rows == 0 || !RunUntil(allLoggedIn, 30000)) {
        return 1;
    }
    RunFor(kCycleMs);  // the last one logged in through its first cycle
    std::printf("ready\n");
    std::fflush(stdout);
    if (!AwaitParent("go")) {
        return 1;
    }

    QElapsedTimer clock;
    clock.start();
    std::vector<qint64> lastMs(static_cast<size_t>(rows), 0);
    std::vector<qint64> longestMs(static_cast<size_t>(rows), 0);
    std::vector<int> updates(static_cast<size_t>(rows), 0);
    QObject::connect(
        &model, &QAbstractItemModel::dataChanged,
        [&](const QModelIndex& first, const QModelIndex& last) {
            const qint64 now = clock.elapsed();
            for (int row = first.row(); row <= last.row(); ++row) {
                if (model.StateAt(row) != OverviewState::kLoggedIn || model.IsStale(row)) {
                    continue;
                }
                const auto r = static_cast<size_t>(row);
                longestMs[r] = std::max(longestMs[r], now - lastMs[r]);
                lastMs[r] = now;
                ++updates[r];
            }
        });
    GapProbe gaps;
    if (probe) {
        gaps.Start();
    }
    const double cpuStart = ProcessCpuSeconds();
    RunFor(seconds * 1000);
    const double cpu = ProcessCpuSeconds() - cpuStart;
    const double stall = probe ? gaps.StopSeconds() : 0;
    const qint64 end = clock.elapsed();
    qint64 longest = 0;
    int counted = 0;
    int stalledUpdates = 0;
    for (int row = 0; row < rows; ++row) {
        const auto r = static_cast<size_t>(row);
        if (model.Instruments()[r].address == stalled) {
            stalledUpdates = updates[r];
            continue;
        }
        longest = std::max({longest, longestMs[r], end - lastMs[r]});
        counted += updates[r];
    }
    double rssAfter = 0;
    double threadsAfter = 0;
    ReadProcessFigures(&rssAfter, &threadsAfter);
    std::printf("done %.6f %.6f %lld %d %d %.0f %.0f %.0f %.0f\n", cpu, stall,
                static_cast<long long>(longest), counted, stalledUpdates, threadsBefore,
                threadsAfter, rssBefore, rssAfter);
    std::fflush(stdout);
    return AwaitParent("ok") ? 0 : 1;
}

// The bare client: one blocking socket per instrument of the plant at `port`, logged in, making
// the requests `file` lists for each (a line "@ADDRESS" and then its requests) in `cycles`
// cycles of kCycleMs, spread evenly; says "done" with its CPU time over the cycles. All from one
// thread, or with `threaded` from a thread per instrument, each on its own phase of the cycle as
// the console's communication threads are: what one thread per connection costs by itself.
int RunBenchPlantBare(const char* port, const char* file, int cycles, bool threaded) {
    struct Target {
        std::string address;
        std::vector<std::string> requests;
        std::unique_ptr<BareInstrumentClient> client;
    };
    std::vector<Target> targets;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind('@', 0) == 0) {
            targets.push_back({line.substr(1), {}, nullptr});
        } else if (!targets.empty()) {
            targets.back().requests.push_back(line);
        }
    }
    // Target `target`'s requests of cycle `cycle`.
    const auto exchange = [cycles](Target& target, int cycle) {
        const size_t n = target.requests.size();
        const auto c = static_cast<size_t>(cycle);
        const auto all = static_cast<size_t>(cycles);
        for (size_t i = c * n / all; i < (c + 1) * n / all; ++i) {
            target.client->Exchange(target.requests[i]);
        }
    };
    // Calls `pass(cycle)` at `start` and then every kCycleMs.
    const auto run = [cycles](timespec next, const std::function<void(int)>& pass) {
        for (int cycle = 0; cycle < cycles; ++cycle) {
            while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) == EINTR) {
            }
            pass(cycle);
            next.tv_sec += kCycleMs / 1000;
        }
    };
    try {
        for (Target& target : targets) {
            target.client = std::make_unique<BareInstrumentClient>(
                static_cast<uint16_t>(std::atoi(port)), target.address.c_str());
            target.client->Login();
        }
        timespec start{};
        clock_gettime(CLOCK_MONOTONIC, &start);
        double cpuStart = ProcessCpuSeconds();
        if (!threaded) {
            run(start, [&](int cycle) {
                for (Target& target : targets) {
                    exchange(target, cycle);
                }
            });
        } else {
            // The threads are made before the measurement starts (the console's exist before
            // its polling is measured too); they begin with the first phase.
            start.tv_sec += 1;
            std::vector<std::thread> threads;
            std::atomic<bool> failed{false};
            for (size_t i = 0; i < targets.size(); ++i) {
                timespec phase = start;
                phase.tv_nsec += static_cast<long>(i * kCycleMs * 1000000L / targets.size());
                phase.tv_sec += phase.tv_nsec / 1000000000L;
                phase.tv_nsec %= 1000000000L;
                threads.emplace_back([&, i, phase] {
                    try {
                        run(phase, [&](int cycle) { exchange(targets[i], cycle); });
                    } catch (const std::exception&) {
                        failed = true;
                    }
                });
            }
            cpuStart = ProcessCpuSeconds();
            for (std::thread& thread : threads) {
                thread.join();
            }
            if (failed) {
                return 1;
            }
        }
        // The last cycle's pass ends the measurement, as the console's last cycle does.
        std::printf("done %.6f\n", ProcessCpuSeconds() - cpuStart);
        std::fflush(stdout);
    } catch (const std::exception&) {
        return 1;
    }
    return 0;
}
