// Operations started on the GUI thread, run on the connection's worker and handed back to the
// GUI thread's event loop, against the same entry point called synchronously on the calling
// thread, in the same run against the same rzsim: the full refresh, and the smallest operation
// (one request answered by a status line), where the two thread hand-offs weigh most.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include "BenchSim.h"
#include "SimServer.h"
#include "session/ConnectionManager.h"

namespace {

RzResult Refresh(CInstrumentConnection& c) {
    return c.Refresh();
}

RzResult Acknowledge(CInstrumentConnection& c) {
    return c.AcknowledgeAlarm();
}

// Runs `measure` with a logged-in connection whose cycle stays out of the way.
template <class Measure>
void WithConnection(benchmark::State& state, Measure measure) {
    BenchDataDir data(60000);
    CConnectionManager manager;
    manager.Init();
    uint32_t id = 0;
    CInstrumentConnection* connection = nullptr;
    if (!BenchLogIn(manager, &id) ||
        (connection = manager.FindConnection(id).value_or(nullptr)) == nullptr) {
        state.SkipWithError("log-in failed");
        return;
    }
    measure(*connection);
    manager.CloseAll();
}

void RunSync(benchmark::State& state, RzResult (*operation)(CInstrumentConnection&)) {
    WithConnection(state, [&](CInstrumentConnection& connection) {
        for (auto _ : state) {
            if (operation(connection) != RZ_OK) {
                state.SkipWithError("operation failed");
                return;
            }
        }
    });
}

// Start, then run the GUI thread's event loop until the result has been handed to it.
void RunAsync(benchmark::State& state, RzResult (*operation)(CInstrumentConnection&)) {
    WithConnection(state, [&](CInstrumentConnection& connection) {
        for (auto _ : state) {
            bool done = false;
            RzResult result = RZ_OK;
            const RzExpected<void> started =
                connection.StartOperation("Benchmark", operation, [&](RzResult r) {
                    done = true;
                    result = r;
                });
            while (started && !done) {
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            }
            if (!started || result != RZ_OK) {
                state.SkipWithError("operation failed");
                return;
            }
        }
    });
}

void BM_RefreshSync(benchmark::State& state) {
    RunSync(state, Refresh);
}
BENCHMARK(BM_RefreshSync)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_RefreshAsync(benchmark::State& state) {
    RunAsync(state, Refresh);
}
BENCHMARK(BM_RefreshAsync)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_AcknowledgeSync(benchmark::State& state) {
    RunSync(state, Acknowledge);
}
BENCHMARK(BM_AcknowledgeSync)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_AcknowledgeAsync(benchmark::State& state) {
    RunAsync(state, Acknowledge);
}
BENCHMARK(BM_AcknowledgeAsync)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
