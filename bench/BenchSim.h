#pragma once

#include <benchmark/benchmark.h>
#include <QTemporaryDir>
#include <cstdint>
#include <functional>
#include <string>
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
void RunPair(benchmark::State& state, const std::function<double()>& console,
             const std::function<double()>& yardstick);

// Runs this program again with `arguments` (a child mode of its main); the child's peak resident
// memory in kB, or a negative number when it failed.
double ChildPeakKb(const std::vector<std::string>& arguments);

// rzctl beside this program in the build tree, or where RZCTL names it.
std::string RzctlPath();

// Logs `manager` in to the bench rzsim as the level-A user; false when that fails.
bool BenchLogIn(CConnectionManager& manager, uint32_t* id);

// A bare blocking socket client: the physical yardstick the console is measured against.
class BareClient {
  public:
    explicit BareClient(uint16_t port);
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
