// One communication cycle at level A with the screen image: the CPU time the console spends on
// a pass of the polling steps, against a bare client making the same exchanges, and with the
// communication trace recording against the same connection without it; the peak memory of a
// logged-in `rzctl watch`; and what connections that poll values and state but not the screen
// image (the plant overview's) cost in memory and threads.
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "BenchSim.h"
#include "SimServer.h"
#include "platform/LargeBlocks.h"
#include "platform/Paths.h"
#include "session/ConnectionManager.h"
#include "session/ExchangeTrace.h"
#include "session/LoginDialogue.h"
#include "transport/LinkSocket.h"

namespace {

// The requests of one pass at level A, learnt from the console itself.
std::vector<std::string> PassRequests(CInstrumentConnection* connection) {
    BenchServer().ClearRequests();
    connection->PollOnce();
    return BenchServer().CommandRequests();
}

double PassCpu(CInstrumentConnection& connection) {
    const double start = BenchThreadSeconds();
    return connection.PollOnce() == RZ_OK ? BenchThreadSeconds() - start : -1;
}

// The console's pass against the bare client making the same requests on a connection of its
// own.
void BM_CyclePassCpu(benchmark::State& state) {
    BenchDataDir data(60000);
    CConnectionManager manager;
    manager.Init();
    uint32_t id = 0;
    if (!BenchLogIn(manager, &id)) {
        state.SkipWithError("log-in failed");
        return;
    }
    CInstrumentConnection* connection = manager.FindConnection(id).value_or(nullptr);
    const auto requests = PassRequests(connection);
    BareInstrumentClient client(BenchServer().Port());
    client.Login();
    RunPair(
        state, [connection] { return PassCpu(*connection); },
        [&client, &requests] {
            const double start = BenchThreadSeconds();
            for (const auto& request : requests) {
                client.Exchange(request);
            }
            return BenchThreadSeconds() - start;
        });
    state.counters["requests"] = static_cast<double>(requests.size());
    manager.CloseAll();
}
BENCHMARK(BM_CyclePassCpu)->UseManualTime()->Unit(benchmark::kMicrosecond);

// A pass with the trace recording against the same pass on the same connection with recording
// off: the link then only passes every call on.
void BM_CyclePassCpuTrace(benchmark::State& state) {
    auto socket = std::make_unique<CLinkSocket>();
    CTraceLink link(std::move(socket), std::make_shared<CExchangeTrace>());
    CEventHub hub;
    hub.SetupStandard();
    CInstrumentConnection connection(1, &hub, &link);
    RzExpected<CInstrumentIdentity> identity = RzError(LINK_E_NOT_OPEN);
    if (link.Open("127.0.0.1", BenchServer().Port()) != RZ_OK ||
        !RunLoginDialogue(&link, kBenchUser, kBenchPassword) ||
        !(identity = RunIdentification(&link)) || !connection.Prepare(*identity) ||
        connection.Refresh() != RZ_OK) {
        state.SkipWithError("log-in failed");
        return;
    }
    const auto pass = [&link, &connection](bool recording) {
        link.SetRecording(recording);
        return PassCpu(connection);
    };
    RunPair(
        state, [&pass] { return pass(true); }, [&pass] { return pass(false); });
    state.counters["traced"] = static_cast<double>(link.Trace()->Added());
    connection.StopCycle();
    link.Close();
}
BENCHMARK(BM_CyclePassCpuTrace)->UseManualTime()->Unit(benchmark::kMicrosecond);

// Peak resident memory of `rzctl watch` over a few 1000 ms cycles at level A (its VmHWM).
void BM_RzctlWatchPeakMemory(benchmark::State& state) {
    BenchDataDir data(1000);
    const std::string rzctl = RzctlPath();
    const std::string port = std::to_string(BenchServer().Port());
    const std::string dir = data.Path();
    std::vector<std::string> args = {
        rzctl,        "--host",       "127.0.0.1",  "--port", port,    "--user",   kBenchUser,
        "--password", kBenchPassword, "--data-dir", dir,      "watch", "--cycles", "3"};
    double peakKb = 0;
    for (auto _ : state) {
        const pid_t pid = SpawnChild(args, {.outToNull = true});
        if (pid < 0) {
            state.SkipWithError(("cannot start " + rzctl).c_str());
            return;
        }
        peakKb = WaitChildPeakKb(pid);
        if (peakKb < 0) {
            state.SkipWithError("rzctl watch failed");
            return;
        }
    }
    state.counters["peak_kB"] = peakKb;
}
BENCHMARK(BM_RzctlWatchPeakMemory)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// Connections that poll values and state but not the screen image, as the plant overview keeps
// one per instrument: each count is logged in by a child process (so that nothing else of this
// program counts), which reports its resident memory and threads before and after.
void BM_PolledConnectionsMemory(benchmark::State& state) {
    const auto count = static_cast<double>(state.range(0));
    QTemporaryDir dir;
    double peakKb = 0;
    double before[2] = {};
    double after[2] = {};
    for (auto _ : state) {
        peakKb = ChildPeakKb({"--bench-polled-connections", std::to_string(state.range(0)),
                              std::to_string(BenchServer().Port()), dir.path().toStdString()});
        std::ifstream figures(dir.filePath("figures").toStdString());
        if (peakKb <= 0 || !(figures >> before[0] >> before[1] >> after[0] >> after[1])) {
            state.SkipWithError("the connections' child failed");
            return;
        }
    }
    state.counters["connections"] = count;
    state.counters["process_peak_kB"] = peakKb;
    state.counters["kB_per_connection"] = (after[0] - before[0]) / count;
    state.counters["threads_per_connection"] = (after[1] - before[1]) / count;
}
BENCHMARK(BM_PolledConnectionsMemory)
    ->Arg(1)
    ->Arg(10)
    ->Arg(50)
    ->Iterations(1)
    ->Repetitions(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

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

void RunEventsFor(int ms) {
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
}

}  // namespace

// `count` connections logged in to rzsim at `port` (data directory `dir`, 1000 ms cycle)
// without the screen image, each with a full trace, through a few cycles; writes the resident
// memory and thread count before the first log-in and after the cycles to `dir`/figures.
int RunBenchPolledConnections(int count, const char* port, const char* dir) {
    KeepLargeBlocksMapped();  // as the console does
    SetDataDirectory(dir);
    std::ofstream(std::string(dir) + "/SimpleCtrl.ini", std::ios::binary)
        << "[Config]\r\nCommCycle=1000\r\n";
    CConnectionManager manager;
    manager.Init();
    manager.SetScreenPolling(false);
    double before[2] = {};
    ReadProcessFigures(&before[0], &before[1]);
    std::vector<CInstrumentConnection*> connections;
    for (int i = 0; i < count; ++i) {
        const RzExpected<uint32_t> login = manager.ConnectAndLogin(
            "127.0.0.1", kBenchUser, kBenchPassword, static_cast<uint16_t>(std::atoi(port)));
        if (!login) {
            return 1;
        }
        const RzExpected<CInstrumentConnection*> found = manager.FindConnection(*login);
        if (!found) {
            return 1;
        }
        const uint32_t id = *login;
        CInstrumentConnection* connection = *found;
        // As after a long run: passes until the communication trace holds all it keeps.
        while (manager.Trace(id)->Added() < CExchangeTrace::kCapacity) {
            if (connection->PollOnce() != RZ_OK) {
                return 1;
            }
        }
        connections.push_back(connection);
    }
    RunEventsFor(3500);
    for (CInstrumentConnection* connection : connections) {
        if (connection->DataReadyAtNs() == 0) {
            return 1;
        }
    }
    double after[2] = {};
    ReadProcessFigures(&after[0], &after[1]);
    std::ofstream(std::string(dir) + "/figures")
        << before[0] << ' ' << before[1] << ' ' << after[0] << ' ' << after[1] << '\n';
    manager.CloseAll();
    return 0;
}
