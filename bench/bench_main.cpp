// Runs every benchmark and then prints the ratios that the project's performance goals are
// stated in: each console figure against its bare yardstick measured in the same run.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// console benchmark, yardstick benchmark, goal (ratio at most)
struct RatioGoal {
    const char* console;
    const char* yardstick;
    double limit;
};

const RatioGoal kGoals[] = {
    {"BM_LinkSocketStatusExchange", "BM_RawSocketStatusRoundTrip", 1.5},
    {"BM_ConsoleLoginIdentify", "BM_BareLoginIdentify", 2.0},
    {"BM_ConsoleDecodeScreen", "BM_BareLibpngDecode", 1.2},
    {"BM_ConsoleDecodeSimScreen", "BM_BareLibpngDecodeSimScreen", 1.2},
    {"BM_RefreshAsync", "BM_RefreshSync", 1.2},
};

// Figures measured alternately with their yardstick in one benchmark (RunPair): the console's
// median against the yardstick's.
struct PairGoal {
    const char* name;
    const char* console;
    const char* yardstick;
    double limit;
};

const PairGoal kPairGoals[] = {
    {"BM_FullRefresh", "console log-in + refresh", "bare client, same requests", 1.3},
    {"BM_CyclePassCpu", "console cycle pass CPU", "bare client, same requests", 1.1},
    {"BM_CyclePassCpuTrace", "cycle pass CPU, trace on", "same pass, no trace", 1.05},
    {"BM_TwoTabsCycleCpu", "two tabs CPU per cycle", "one tab, same plant", 2.1},
    // The plant overview polling 50 instruments: the console's CPU per 1 s cycle.
    {"BM_PlantOverviewCpu", "overview, 50 at 1 s: CPU", "bare client, same requests", 1.2},
};

// Latencies and paint times measured against a fixed bound (milliseconds, medians).
struct LatencyGoal {
    const char* name;
    double limitMs;
};

const LatencyGoal kLatencyGoals[] = {
    {"BM_CycleToGuiLatency", 10.0},
    {"BM_StopCycleLatency", 20.0},
    {"BM_ImageWindowPaint", 2.0},
    {"BM_CycleEndToScreenPainted", 16.0},
    // The longest time the window does not answer (a 5 ms probe timer's longest gap).
    {"BM_GuiGapSlowLogin", 50.0},
    {"BM_GuiGapLoopSend", 50.0},
    {"BM_GuiGapRefresh", 50.0},
    {"BM_GuiGapStalledSwitch", 50.0},
    {"BM_GuiGapStalledLogout", 50.0},
    {"BM_StalledLogoutToLogoPane", 100.0},
    // The plant overview polling 50 instruments at a 1 s cycle; with one of them stalled, the
    // longest time another row goes without an update (a cycle and 100 ms).
    {"BM_PlantOverviewGuiStall", 50.0},
    {"BM_PlantOverviewStalledOneGap", 1100.0},
    // From SIGINT or SIGTERM to the end of rzctl, whatever it waits for.
    {"BM_RzctlSignalConnecting", 200.0},
    {"BM_RzctlSignalLogin", 200.0},
    {"BM_RzctlSignalLoading", 200.0},
    {"BM_RzctlSignalCommand", 200.0},
    {"BM_RzctlSignalWatch", 200.0},
    // Log-out (Cancel while logging in) and closing every connection, in each phase that waits.
    {"BM_GuiGapLogoutConnecting", 50.0},
    {"BM_LogoutToLogoPaneConnecting", 100.0},
    {"BM_GuiGapLogoutLoggingIn", 50.0},
    {"BM_LogoutToLogoPaneLoggingIn", 100.0},
    {"BM_GuiGapLogoutRefreshing", 50.0},
    {"BM_LogoutToLogoPaneRefreshing", 100.0},
    {"BM_GuiGapLogoutPause", 50.0},
    {"BM_LogoutToLogoPanePause", 100.0},
    {"BM_GuiGapLogoutSettle", 50.0},
    {"BM_LogoutToLogoPaneSettle", 100.0},
};

// CPU per communication cycle (the benchmark's cycle_cpu_us, bare_cpu_us and cycle_ms
// counters): the share of a core it takes at most.
struct CycleCpuGoal {
    const char* name;
    const char* console;
    double limitPercent;
};

const CycleCpuGoal kCycleCpuGoals[] = {
    {"BM_RzctlWatchCycleCpu", "rzctl watch", 2.0},
};

// Peak resident memory (the benchmarks' peak_kB counters): console against yardstick.
const RatioGoal kMemoryGoals[] = {
    {"BM_ConsolePeakMemory", "BM_BareWindowPeakMemory", 2.0},
};

// Connections polling values and state but not the screen image (the counters connections,
// process_peak_kB, kB_per_connection, threads_per_connection): the peak resident memory at most
// a base plus a share per connection, and at most so many threads per connection.
constexpr double kPolledBaseKb = 40 * 1024;
constexpr double kPolledPerConnectionKb = 2 * 1024;
// A polled connection has its communication thread; its worker starts with its first operation,
// which an overview's connection never runs, and the log-in thread and the reachability probe's
// workers serve all instruments together.
constexpr double kPolledThreadsPerConnection = 2;

class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const auto& run : runs) {
            if (run.error_occurred) {
                continue;
            }
            // With repetitions only the medians count; without, the single run does.
            const std::string name = run.benchmark_name();
            if (auto failed = run.counters.find("failed");
                failed != run.counters.end() && failed->second > 0) {
                failed_.insert(BaseName(name));  // any repetition with a failed run
            }
            if (auto cpu = run.counters.find("cycle_cpu_us"); cpu != run.counters.end()) {
                cycleCpu_[BaseName(name)] = {cpu->second, run.counters.at("bare_cpu_us"),
                                             run.counters.at("cycle_ms")};
            }
            if (auto each = run.counters.find("kB_per_connection"); each != run.counters.end()) {
                polled_[name.substr(0, name.find("/iterations"))] = {
                    run.counters.at("connections"), run.counters.at("process_peak_kB"),
                    each->second, run.counters.at("threads_per_connection")};
            }
            if (auto peak = run.counters.find("peak_kB"); peak != run.counters.end()) {
                peaksKb_[BaseName(name.substr(0, name.rfind("_median")))] = peak->second;
            }
            if (auto threaded = run.counters.find("bare_threaded_us");
                threaded != run.counters.end()) {
                floors_[BaseName(name)] = {threaded->second, run.counters.at("bare_single_us")};
            }
            const auto console = run.counters.find("console_us");
            const auto yardstick = run.counters.find("yardstick_us");
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (console != run.counters.end() && yardstick != run.counters.end() &&
                (median || (run.run_type != Run::RT_Aggregate && !pairs_.count(BaseName(name))))) {
                pairs_[BaseName(name.substr(0, name.rfind("_median")))] = {console->second,
                                                                           yardstick->second};
            }
            const auto suffix = name.rfind("_median");
            if (run.run_type == Run::RT_Aggregate) {
                if (suffix != std::string::npos && suffix + 7 == name.size()) {
                    medians_[BaseName(name.substr(0, suffix))] = run.GetAdjustedRealTime();
                }
            } else if (!medians_.count(BaseName(name))) {
                singles_[BaseName(name)] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void PrintRatios() const {
        std::printf("\n%-32s %12s %12s %s\n", "latency", "median ms", "goal ms", "");
        for (const auto& goal : kLatencyGoals) {
            const double ms = Value(goal.name);
            if (ms <= 0) {
                continue;
            }
            const bool failed = failed_.count(goal.name) != 0;
            std::printf(
                "%-32s %12.3f %12.1f %s\n", goal.name, ms, goal.limitMs,
                failed ? "NOT MET (some runs failed)" : (ms <= goal.limitMs ? "met" : "NOT MET"));
        }
        std::printf("\n%-32s %-32s %10s %8s %s\n", "console", "yardstick", "ratio", "goal", "");
        for (const auto& goal : kGoals) {
            const double a = Value(goal.console);
            const double b = Value(goal.yardstick);
            if (a <= 0 || b <= 0) {
                continue;
            }
            const double ratio = a / b;
            std::printf("%-32s %-32s %10.3f %8.2f %s\n", goal.console, goal.yardstick, ratio,
                        goal.limit, ratio <= goal.limit ? "met" : "NOT MET");
        }
        for (const auto& goal : kPairGoals) {
            const auto it = pairs_.find(goal.name);
            if (it == pairs_.end() || it->second.second <= 0) {
                continue;
            }
            const double ratio = it->second.first / it->second.second;
            char console[64];
            char yardstick[64];
            std::snprintf(console, sizeof console, "%s %.0f us", goal.console, it->second.first);
            std::snprintf(yardstick, sizeof yardstick, "%s %.0f us", goal.yardstick,
                          it->second.second);
            std::printf("%-32s %-32s %10.3f %8.2f %s\n", console, yardstick, ratio, goal.limit,
                        ratio <= goal.limit ? "met" : "NOT MET");
            if (const auto floor = floors_.find(goal.name); floor != floors_.end()) {
                // The same bare client with a thread per instrument: the least a console with
                // a communication thread per connection can spend, against the same yardstick.
                std::snprintf(console, sizeof console, "  floor: bare, thread each %.0f us",
                              floor->second.first);
                std::snprintf(yardstick, sizeof yardstick, "bare client, one thread %.0f us",
                              floor->second.second);
                std::printf("%-32s %-32s %10.3f\n", console, yardstick,
                            floor->second.first / floor->second.second);
            }
        }
        std::printf("\n%-32s %-32s %10s %8s %s\n", "CPU per watch cycle", "bare client, same cycle",
                    "ratio", "goal", "");
        for (const auto& goal : kCycleCpuGoals) {
            const auto it = cycleCpu_.find(goal.name);
            if (it == cycleCpu_.end() || it->second.bare <= 0 || it->second.cycleMs <= 0) {
                continue;
            }
            const CycleCpu& c = it->second;
            const double share = c.console / (c.cycleMs * 1e3) * 100;
            char console[64];
            char yardstick[64];
            char limit[16];
            std::snprintf(console, sizeof console, "%s %.0f us (%.2f %%)", goal.console, c.console,
                          share);
            std::snprintf(yardstick, sizeof yardstick, "%.0f us per %.0f ms cycle", c.bare,
                          c.cycleMs);
            std::snprintf(limit, sizeof limit, "%.0f %%", goal.limitPercent);
            std::printf("%-32s %-32s %10.3f %8s %s\n", console, yardstick, c.console / c.bare,
                        limit, share <= goal.limitPercent ? "met" : "NOT MET");
        }
        std::printf("\n%-32s %-32s %10s %8s %s\n", "peak memory (kB)", "yardstick (kB)", "ratio",
                    "goal", "");
        for (const auto& goal : kMemoryGoals) {
            const auto a = peaksKb_.find(goal.console);
            const auto b = peaksKb_.find(goal.yardstick);
            if (a == peaksKb_.end() || b == peaksKb_.end() || b->second <= 0) {
                continue;
            }
            const double ratio = a->second / b->second;
            const std::string console =
                std::string(goal.console) + " " + std::to_string(static_cast<long>(a->second));
            const std::string yardstick =
                std::string(goal.yardstick) + " " + std::to_string(static_cast<long>(b->second));
            std::printf("%-32s %-32s %10.3f %8.2f %s\n", console.c_str(), yardstick.c_str(), ratio,
                        goal.limit, ratio <= goal.limit ? "met" : "NOT MET");
        }
        std::printf("\n%-32s %10s %10s %10s %12s %s\n", "connections without the screen", "peak kB",
                    "budget kB", "kB each", "threads each", "");
        for (const auto& [name, p] : polled_) {
            const double budget = kPolledBaseKb + kPolledPerConnectionKb * p.connections;
            const bool met = p.peakKb <= budget && p.threads <= kPolledThreadsPerConnection;
            std::printf("%-32s %10.0f %10.0f %10.1f %12.2f %s\n", name.c_str(), p.peakKb, budget,
                        p.kbEach, p.threads, met ? "met" : "NOT MET");
        }
    }

  private:
    static std::string BaseName(const std::string& name) {
        const auto slash = name.find('/');
        return slash == std::string::npos ? name : name.substr(0, slash);
    }
    double Value(const std::string& name) const {
        if (auto it = medians_.find(name); it != medians_.end())
            return it->second;
        if (auto it = singles_.find(name); it != singles_.end())
            return it->second;
        return 0;
    }
    std::map<std::string, double> medians_;
    std::map<std::string, double> singles_;
    std::set<std::string> failed_;
    std::map<std::string, double> peaksKb_;
    struct CycleCpu {
        double console;
        double bare;
        double cycleMs;
    };
    std::map<std::string, CycleCpu> cycleCpu_;
    struct Polled {
        double connections;
        double peakKb;
        double kbEach;
        double threads;
    };
    std::map<std::string, Polled> polled_;
    std::map<std::string, std::pair<double, double>> pairs_;
    std::map<std::string, std::pair<double, double>> floors_;  // threaded and single bare
};

}  // namespace

// Child modes for the peak-memory benchmarks (bench_gui.cpp).
int RunBenchConsoleWindow(QApplication& app, const char* port, const char* dir);
int RunBenchBareWindow(const char* file);
// Child mode for the polled connections' memory (bench_cycle.cpp).
int RunBenchPolledConnections(int count, const char* port, const char* dir);
// Child modes for the plant overview and its bare yardstick (bench_plant.cpp).
int RunBenchPlantConsole(QApplication& app, const char* port, const char* dir, int seconds,
                         const char* stalled, bool probe);
int RunBenchPlantBare(const char* port, const char* file, int cycles, bool threaded);

int main(int argc, char** argv) {
    // The connections' timers and queued calls need an application object, the widgets one
    // with a display: offscreen unless the environment names another platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "--bench-console-window") == 0) {
        return RunBenchConsoleWindow(app, argv[2], argv[3]);
    }
    if (argc == 3 && std::strcmp(argv[1], "--bench-bare-window") == 0) {
        return RunBenchBareWindow(argv[2]);
    }
    if (argc == 5 && std::strcmp(argv[1], "--bench-polled-connections") == 0) {
        return RunBenchPolledConnections(std::atoi(argv[2]), argv[3], argv[4]);
    }
    if (argc == 7 && std::strcmp(argv[1], "--bench-plant-console") == 0) {
        return RunBenchPlantConsole(app, argv[2], argv[3], std::atoi(argv[4]), argv[5],
                                    std::strcmp(argv[6], "1") == 0);
    }
    if (argc == 6 && std::strcmp(argv[1], "--bench-plant-bare") == 0) {
        return RunBenchPlantBare(argv[2], argv[3], std::atoi(argv[4]),
                                 std::strcmp(argv[5], "1") == 0);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
