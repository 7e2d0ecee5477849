// From the end of a communication cycle (the thread sets data-ready) to the new screen painted in
// the view's image window, against rzsim in the same process: the hand-over to the GUI thread,
// the data-refreshed event, decoding the screen and painting it.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <chrono>
#include <memory>

#include "BenchSim.h"
#include "SimCommands.h"
#include "SimProfile.h"
#include "SimServer.h"
#include "session/ConnectionManager.h"
#include "views/ImageWindow.h"
#include "views/RzView.h"

namespace {

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void BM_CycleEndToScreenPainted(benchmark::State& state) {
    BenchDataDir data(1000);
    // A live plant: the screen changes as the values move.
    CSimProfile profile;
    std::string error;
    if (!LoadSimProfile("full", &profile, &error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    profile.plant.live = true;
    CSimServer server(profile);
    if (!RegisterInstrumentCommands(server) || server.Start(0) == 0) {
        state.SkipWithError("rzsim did not start");
        return;
    }
    CConnectionManager manager;
    manager.Init();
    const RzExpected<uint32_t> login =
        manager.ConnectAndLogin("127.0.0.1", kBenchUser, kBenchPassword, server.Port());
    if (!login) {
        state.SkipWithError("log-in failed");
        return;
    }
    const uint32_t id = *login;
    CInstrumentConnection* connection = manager.FindConnection(id).value_or(nullptr);
    auto view = std::make_unique<CRZView>(CViewContext{connection, &manager.hub(), id});
    view->InitialUpdate();
    view->show();
    CImageWindow* window = view->ImageWindow();
    // Subscribed after the view, so it runs once the view has taken the new screen.
    int64_t latencyNs = -1;
    int decoded = 0;
    qint64 lastPicture = window->Picture().cacheKey();
    manager.hub().Subscribe({HUB_CHANNEL_MAIN_FRAME, HUB_EVENT_DATA_REFRESHED},
                            DataRefreshedEvent(id), [&](uint32_t) {
                                window->repaint();
                                latencyNs = NowNs() - connection->DataReadyAtNs();
                                decoded += window->Picture().cacheKey() != lastPicture;
                                lastPicture = window->Picture().cacheKey();
                            });
    for (auto _ : state) {
        latencyNs = -1;
        while (latencyNs < 0) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
        }
        state.SetIterationTime(static_cast<double>(latencyNs) / 1e9);
    }
    // Passes that brought a different screen, whose figure includes decoding it.
    state.counters["decoded"] = decoded;
    view.reset();
    manager.CloseAll();
    server.Stop();
}
BENCHMARK(BM_CycleEndToScreenPainted)
    ->UseManualTime()
    ->Iterations(8)
    ->Unit(benchmark::kMillisecond);

}  // namespace
