// Log-in with the full refresh (against a bare client making the same exchanges), the cycle's
// hand-over to the GUI thread and stopping the cycle, against rzsim in the same process.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <chrono>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "BenchSim.h"
#include "SimServer.h"
#include "session/ConnectionManager.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

// The requests the console sends for log-in and refresh, learnt from one console log-in.
const std::vector<std::string>& RefreshRequests() {
    static const std::vector<std::string> requests = [] {
        BenchDataDir data(60000);
        CConnectionManager manager;
        manager.Init();
        BenchServer().ClearRequests();
        uint32_t id = 0;
        if (!BenchLogIn(manager, &id)) {
            throw std::runtime_error("console log-in failed");
        }
        manager.CloseAll();
        return BenchServer().CommandRequests();
    }();
    return requests;
}

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The console's log-in with its full refresh and log-out, against the bare client connecting,
// logging in and making the same requests.
void BM_FullRefresh(benchmark::State& state) {
    const auto& requests = RefreshRequests();
    BenchDataDir data(60000);
    CConnectionManager manager;
    manager.Init();
    const auto console = [&manager]() -> double {
        const auto start = Clock::now();
        uint32_t id = 0;
        if (!BenchLogIn(manager, &id)) {
            return -1;
        }
        manager.CloseConnection(id);
        return SecondsSince(start);
    };
    const auto bare = [&requests]() -> double {
        const auto start = Clock::now();
        {
            BareInstrumentClient client(BenchServer().Port());
            client.Login();
            for (const auto& request : requests) {
                client.Exchange(request);
            }
        }
        return SecondsSince(start);
    };
    RunPair(state, console, bare);
    state.counters["requests"] = static_cast<double>(requests.size());
}
BENCHMARK(BM_FullRefresh)->UseManualTime()->Unit(benchmark::kMillisecond);

// From the thread setting data-ready to the GUI thread's data-refreshed handler.
void BM_CycleToGuiLatency(benchmark::State& state) {
    BenchDataDir data(1000);
    CConnectionManager manager;
    manager.Init();
    uint32_t id = 0;
    if (!BenchLogIn(manager, &id)) {
        state.SkipWithError("log-in failed");
        return;
    }
    CInstrumentConnection* connection = manager.FindConnection(id).value_or(nullptr);
    int64_t latencyNs = -1;
    manager.hub().Subscribe({HUB_CHANNEL_VIEW, HUB_EVENT_DATA_REFRESHED}, DataRefreshedEvent(id),
                            [&](uint32_t) { latencyNs = NowNs() - connection->DataReadyAtNs(); });
    for (auto _ : state) {
        latencyNs = -1;
        while (latencyNs < 0) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
        }
        state.SetIterationTime(static_cast<double>(latencyNs) / 1e9);
    }
    manager.CloseAll();
}
BENCHMARK(BM_CycleToGuiLatency)->UseManualTime()->Iterations(8)->Unit(benchmark::kMillisecond);

// StopCycle on a thread that waits out a long cycle.
void BM_StopCycleLatency(benchmark::State& state) {
    BenchDataDir data(60000);
    CConnectionManager manager;
    manager.Init();
    for (auto _ : state) {
        uint32_t id = 0;
        if (!BenchLogIn(manager, &id)) {
            state.SkipWithError("log-in failed");
            return;
        }
        CInstrumentConnection* connection = manager.FindConnection(id).value_or(nullptr);
        const auto start = Clock::now();
        connection->StopCycle();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        manager.CloseConnection(id);
    }
}
BENCHMARK(BM_StopCycleLatency)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

}  // namespace
