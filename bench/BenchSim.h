#pragma once

#include <benchmark/benchmark.h>
#include <sched.h>
#include <sys/types.h>

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class CSimServer;
class CConnectionManager;

constexpr const char* kBenchUser = "admin";
constexpr const char* kBenchPassword = "rzdemo";

// One rzsim for the whole benchmark run, on a free loopback port, full profile.
CSimServer& BenchServer();

// The calling thread's CPU clock, in seconds: for single-threaded work on a shared machine,
// where wall time mostly measures the neighbours.
double BenchThreadSeconds();

// A fresh data directory with the given communication cycle, for the lifetime of the object.
class BenchDataDir {
  public:
    explicit BenchDataDir(int cycleMs);
    ~BenchDataDir();
    std::string Path() const { return dir_.path().toStdString(); }

  private:
    QTemporaryDir dir_;
};

// Measures a console figure and its yardstick alternately, one of each per iteration (in turn
// which goes first), so that both meet the same load on a shared machine. Each function returns
// the seconds it measured, or a negative number on failure. The iteration time is the console's;
// the counters console_us and yardstick_us are the medians of each, which the ratio table reads.
//
// All threads of the process (and those they start meanwhile) run on one CPU while it measures.
// On a virtual machine a socket exchange costs a thread far more when its peer thread sits on
// another, idle CPU (waking it goes through the hypervisor) than when both share one, and where
// the scheduler puts each thread of rzsim is chance: on one CPU both sides of a ratio pay for
// the same work.
// Puts every thread of the process on the CPU the caller runs on, for its lifetime; threads
// started meanwhile inherit it from their creator. Puts back what they had.
class OneCpu {
  public:
    OneCpu();
    ~OneCpu();
    OneCpu(const OneCpu&) = delete;
    OneCpu& operator=(const OneCpu&) = delete;

  private:
    std::vector<std::pair<pid_t, cpu_set_t>> saved_;
};

// The middle of `values` (0 when there are none).
double Median(std::vector<double> values);

void RunPair(benchmark::State& state, const std::function<double()>& console,
             const std::function<double()>& yardstick);

// Where a child's standard files go: a descriptor to put there (-1 keeps the parent's), or
// /dev/null.
struct ChildFiles {
    int in = -1;
    int out = -1;
    bool outToNull = false;
    bool errorsToNull = false;
};

// Starts the program `args[0]` with `args`, its standard files as `files` says and SIGINT and
// SIGTERM at their defaults (a child keeps a signal its starter ignores, as programs started in
// the background do, and some children are measured on those signals); its pid, or -1.
pid_t SpawnChild(std::vector<std::string> args, const ChildFiles& files);

// Waits for child `pid` to end; its peak resident memory (kB) since it started its program when
// it ended well, a negative number otherwise. The figure is the child's VmHWM, read while it
// runs: the resource usage wait4 reports is no good, as a child started with posix_spawn runs in
// its parent's memory until exec, and the kernel carries that memory's high-water mark into the
// child's maximum (every child would seem at least as large as the benchmark program).
double WaitChildPeakKb(pid_t pid);

// Runs this program again with `arguments` (a child mode of its main); the child's peak resident
// memory in kB, or a negative number when it failed.
double ChildPeakKb(const std::vector<std::string>& arguments);

// Ticks every 5 ms on the GUI thread and keeps the longest time between two ticks.
class GapProbe {
  public:
    GapProbe() {
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
        clock_.start();
    }
    void Start() {
        longestNs_ = 0;
        lastNs_ = clock_.nsecsElapsed();
        timer_.start(5);
    }
    // The longest gap since Start, the time since the last tick included.
    double StopSeconds() {
        Tick();
        timer_.stop();
        return static_cast<double>(longestNs_) / 1e9;
    }

  private:
    void Tick() {
        const qint64 now = clock_.nsecsElapsed();
        longestNs_ = std::max(longestNs_, now - lastNs_);
        lastNs_ = now;
    }
    QTimer timer_;
    QElapsedTimer clock_;
    qint64 lastNs_ = 0;
    qint64 longestNs_ = 0;
};

// Runs the GUI thread's events until `done` holds; false after `timeoutMs`.
bool RunUntil(const std::function<bool()>& done, int timeoutMs);
// Runs the GUI thread's events for `ms`.
void RunFor(int ms);

// rzctl beside this program in the build tree, or where RZCTL names it.
std::string RzctlPath();

// Logs `manager` in to the bench rzsim as the level-A user; false when that fails.
bool BenchLogIn(CConnectionManager& manager, uint32_t* id);

// A bare blocking socket client: the physical yardstick the console is measured against.
class BareClient {
  public:
    explicit BareClient(uint16_t port, const char* address = "127.0.0.1");
    ~BareClient();
    BareClient(const BareClient&) = delete;
    BareClient& operator=(const BareClient&) = delete;

    void SendLine(const std::string& text);
    // Whatever one recv returns (at least one byte).
    std::string ReadSome();
    std::string ReadExactly(size_t count);
    // Reads until the bytes read so far end with `terminator`.
    void ReadUntil(const char* terminator);
    // Greeting, user name, password.
    void Login();

  private:
    int fd_ = -1;
    std::string pending_;
};

// A bare client that knows just enough of the answer shapes to tell where each one ends.
class BareInstrumentClient : public BareClient {
  public:
    using BareClient::BareClient;
    void Exchange(const std::string& request);

  private:
    void ReadTextAnswer();
    void ReadBlocks();
};
