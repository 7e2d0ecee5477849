// The operator's window while the instrument is slow or stalls: the real main window, log-in
// control, connection manager and instrument view against rzsim in the same process. A 5 ms
// probe timer on the GUI thread records the longest time between two of its ticks, the time
// the window did not answer, during a log-in to a slow instrument, a loop panel's Send with its
// pause, a Refresh, a display switch that waits out the receive time-out, and a log-out from an
// instrument stalled mid-answer and in each phase that waits (connecting, logging in, refreshing,
// an operation's pause, a DI/DO settle), each with the time until the logo pane is back. Also the
// logged-in console's peak memory against a bare window showing the same picture, each in a child
// process.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFocusEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "BenchSim.h"
#include "SimCommands.h"
#include "SimInstrument.h"
#include "SimProfile.h"
#include "SimServer.h"
#include "ViewFactory.h"
#include "common/FullBacklog.h"
#include "platform/LargeBlocks.h"
#include "platform/Paths.h"
#include "registry/InstrumentRegistry.h"
#include "session/ConnectionManager.h"
#include "shell/CommandTable.h"
#include "shell/LoginControl.h"
#include "shell/LogoPane.h"
#include "shell/MainFrame.h"
#include "ui/FlatLook.h"
#include "views/LoopPanelDlg.h"
#include "views/NumericEdit.h"
#include "views/RzView.h"

namespace {

std::unique_ptr<CSimServer> StartServer(const std::function<void(CSimInstrument&)>& setUp = {}) {
    CSimProfile profile;
    std::string error;
    if (!LoadSimProfile("full", &profile, &error)) {
        return nullptr;
    }
    auto server = std::make_unique<CSimServer>(profile);
    if (!RegisterInstrumentCommands(*server) || server->Start(0) == 0) {
        return nullptr;
    }
    if (setUp) {
        server->WithInstrument(setUp);
    }
    return server;
}

// A data directory with the given cycle and the instrument "Demo" on the loopback address.
void RegisterDemo() {
    CInstrumentRegistry registry;
    (void)registry.Load();
    registry.Add("Demo", "127.  0.  0.  1");
    (void)registry.Save();
}

// The console as the program puts it together.
class Console {
  public:
    Console(uint16_t port, int cycleMs, uint32_t linkTimeoutMs = 0) : data_(cycleMs) {
        RegisterDemo();
        manager.Init();
        if (linkTimeoutMs != 0) {
            manager.SetLinkTimeout(linkTimeoutMs);
        }
        frame = std::make_unique<CMainFrame>(port);
        login = std::make_unique<CLoginControl>(manager, *frame, MakeInstrumentView);
        frame->show();
    }
    ~Console() {
        login.reset();
        frame.reset();
        manager.CloseAll();
    }
    // Logs in as the level-A user; with `settle`, runs the events a little longer so that the
    // view has laid itself out.
    bool LogIn(bool settle) {
        bool ended = false;
        bool succeeded = false;
        const auto finished = QObject::connect(frame.get(), &CMainFrame::LoginFinished,
                                               [&](bool ok) { ended = true, succeeded = ok; });
        frame->LoginAtStart("Demo", kBenchUser, std::string(kBenchPassword));
        RunUntil([&] { return ended; }, 120000);
        QObject::disconnect(finished);
        if (!succeeded) {
            return false;
        }
        if (settle) {
            RunFor(200);
        }
        connection = manager.FindConnection(login->ConnectionId()).value_or(nullptr);
        return connection != nullptr;
    }
    CRZView* View() const { return dynamic_cast<CRZView*>(frame->ClientPane()); }
    bool LogoShown() const { return dynamic_cast<CLogoPane*>(frame->ClientPane()) != nullptr; }
    // Runs the view command `command` and the events until the view's operation has ended or the
    // connection is gone.
    bool RunViewCommand(CommandRef command, int timeoutMs) {
        bool ended = false;
        const auto conn =
            QObject::connect(View(), &CRZView::CommandStatesChanged, [&] { ended = true; });
        View()->Run(command);
        const bool ok = RunUntil([&] { return ended || LogoShown(); }, timeoutMs);
        QObject::disconnect(conn);
        return ok;
    }

    CConnectionManager manager;
    std::unique_ptr<CMainFrame> frame;
    std::unique_ptr<CLoginControl> login;
    CInstrumentConnection* connection = nullptr;

  private:
    BenchDataDir data_;
};

// The number of the next command request of the only connection to `server`.
uint32_t NextRequest(const CSimServer& server) {
    return static_cast<uint32_t>(server.CommandRequests().size() + 1);
}

#define BENCH_REQUIRE(condition, message) \
    if (!(condition)) {                   \
        state.SkipWithError(message);     \
        return;                           \
    }

void BM_GuiGapSlowLogin(benchmark::State& state) {
    auto server = StartServer();
    BENCH_REQUIRE(server, "rzsim did not start");
    server->SetFaults({.answerDelayMs = 300});
    for (auto _ : state) {
        Console console(server->Port(), 60000);
        GapProbe probe;
        probe.Start();
        const bool loggedIn = console.LogIn(false);
        const double gap = probe.StopSeconds();
        BENCH_REQUIRE(loggedIn, "log-in failed");
        state.SetIterationTime(gap);
    }
}
BENCHMARK(BM_GuiGapSlowLogin)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(1)
    ->Unit(benchmark::kMillisecond);

// Loop 1 of control group 1 in AUT; MAN with a typed output makes Send pause before the output.
void BM_GuiGapLoopSend(benchmark::State& state) {
    auto server = StartServer([](CSimInstrument& instrument) {
        CSimSetup& s = instrument.Setup();
        s.controlGroups[0].members = {};
        s.controlGroups[0].members[0] = CSimControlMember{3, 1};
        CSimLoop& loop = s.loops[0];
        loop.kind = 1, loop.mode = 0, loop.remote = false, loop.run = true, loop.out = 42.5;
    });
    BENCH_REQUIRE(server, "rzsim did not start");
    for (auto _ : state) {
        Console console(server->Port(), 60000);
        BENCH_REQUIRE(console.LogIn(true), "log-in failed");
        BENCH_REQUIRE(console.RunViewCommand({Command::kControlGroup, 1}, 10000),
                      "no control group");
        auto* panel = dynamic_cast<CLoopPanelDlg*>(console.View()->LoopPanel());
        BENCH_REQUIRE(panel, "no loop panel");
        auto* send = panel->findChild<QPushButton*>("Send");
        auto* manual = panel->findChild<QRadioButton*>("MAN");
        auto* out = panel->findChild<CNumericEdit*>("OUT");
        BENCH_REQUIRE(send && manual && out, "loop panel incomplete");
        BENCH_REQUIRE(RunUntil([&] { return !panel->Busy() && send->isEnabled(); }, 10000),
                      "Send stays disabled");
        manual->click();
        out->selectAll();
        QTest::keyClick(out, Qt::Key_Backspace);
        QTest::keyClicks(out, "50");
        QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(out, &leave);
        const size_t before = server->CommandRequests().size();
        QElapsedTimer clock;
        clock.start();
        GapProbe probe;
        probe.Start();
        send->click();
        const bool ended = RunUntil([&] { return !panel->Busy(); }, 15000);
        const double gap = probe.StopSeconds();
        BENCH_REQUIRE(ended && clock.elapsed() >= 2000, "Send did not pause and end");
        BENCH_REQUIRE(server->CommandRequests().size() >= before + 3, "Send sent too little");
        state.SetIterationTime(gap);
    }
}
BENCHMARK(BM_GuiGapLoopSend)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

void BM_GuiGapRefresh(benchmark::State& state) {
    auto server = StartServer();
    BENCH_REQUIRE(server, "rzsim did not start");
    Console console(server->Port(), 60000);
    BENCH_REQUIRE(console.LogIn(true), "log-in failed");
    for (auto _ : state) {
        const size_t before = server->CommandRequests().size();
        GapProbe probe;
        probe.Start();
        const bool ended = console.RunViewCommand(Command::kRefresh, 20000);
        const double gap = probe.StopSeconds();
        BENCH_REQUIRE(ended && !console.LogoShown(), "Refresh did not end");
        BENCH_REQUIRE(server->CommandRequests().size() > before + 10, "Refresh sent too little");
        state.SetIterationTime(gap);
    }
}
BENCHMARK(BM_GuiGapRefresh)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

// The instrument takes the request of a display switch and answers nothing: the switch waits
// out the receive time-out (2 s) and the link is given up.
void BM_GuiGapStalledSwitch(benchmark::State& state) {
    auto server = StartServer();
    BENCH_REQUIRE(server, "rzsim did not start");
    for (auto _ : state) {
        Console console(server->Port(), 60000, 2000);
        BENCH_REQUIRE(console.LogIn(true), "log-in failed");
        server->SetFaults({.stallFromRequest = NextRequest(*server)});
        QElapsedTimer clock;
        clock.start();
        GapProbe probe;
        probe.Start();
        const bool ended = console.RunViewCommand({Command::kControlGroup, 2}, 15000);
        const double gap = probe.StopSeconds();
        server->SetFaults({});
        BENCH_REQUIRE(ended && clock.elapsed() >= 1900, "the switch did not wait out the time-out");
        state.SetIterationTime(gap);
        state.counters["waited_ms"] = static_cast<double>(clock.elapsed());
        server->ClearRequests();
    }
}
BENCHMARK(BM_GuiGapStalledSwitch)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

// A Refresh whose first answer stops half-way; a log-out while it waits. The longest gap and
// the time from the command to the logo pane, in seconds.
bool StalledLogout(CSimServer& server, double* gap, double* toLogo) {
    server.ClearRequests();
    Console console(server.Port(), 60000, 10000);
    if (!console.LogIn(true)) {
        return false;
    }
    server.SetFaults({.stallMidAnswerOn = NextRequest(server)});
    console.View()->Run(Command::kRefresh);
    // The half answer has arrived and the refresh waits for the rest.
    RunFor(200);
    if (!console.connection->OperationRunning()) {
        return false;
    }
    QElapsedTimer clock;
    GapProbe probe;
    clock.start();
    probe.Start();
    console.frame->Action(Command::kLogout)->trigger();
    const bool back = RunUntil([&] { return console.LogoShown(); }, 10000);
    *toLogo = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    // The window goes on answering while the connection winds down.
    RunFor(100);
    *gap = probe.StopSeconds();
    server.SetFaults({});
    return back;
}

// The stalled log-out's longest GUI gap, or its time until the logo pane is back.
void StalledLogoutFigure(benchmark::State& state, bool toLogoPane) {
    auto server = StartServer();
    BENCH_REQUIRE(server, "rzsim did not start");
    for (auto _ : state) {
        double gap = 0;
        double toLogo = 0;
        BENCH_REQUIRE(StalledLogout(*server, &gap, &toLogo), "log-out did not return");
        state.SetIterationTime(toLogoPane ? toLogo : gap);
    }
}

void BM_GuiGapStalledLogout(benchmark::State& state) {
    StalledLogoutFigure(state, false);
}
BENCHMARK(BM_GuiGapStalledLogout)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

void BM_StalledLogoutToLogoPane(benchmark::State& state) {
    StalledLogoutFigure(state, true);
}
BENCHMARK(BM_StalledLogoutToLogoPane)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(3)
    ->Unit(benchmark::kMillisecond);

// Where the console is when the operator leaves: a log-in that waits for the connect, for the
// greeting or for an answer of the full refresh, or a logged-in connection whose operation
// waits in a sequence's pause or in the settle after a DI/DO output.
enum class Phase { kConnecting, kLoggingIn, kRefreshing, kPause, kSettle };

bool LoggedInPhase(Phase phase) {
    return phase == Phase::kPause || phase == Phase::kSettle;
}

// Brings `console` into `phase` (the server's faults or the listener hold it there); false when
// it could not.
bool EnterPhase(Console& console, CSimServer& server, Phase phase) {
    if (!LoggedInPhase(phase)) {
        console.frame->LoginAtStart("Demo", kBenchUser, std::string(kBenchPassword));
        // The connect, the greeting or the third request (the refresh's first) waits.
        RunUntil([&] { return server.CommandRequests().size() >= 3; },
                 phase == Phase::kRefreshing ? 10000 : 200);
        RunFor(100);
        return console.frame->State().loginRunning;
    }
    if (!console.LogIn(true)) {
        return false;
    }
    server.ClearRequests();
    const auto ack = [](CInstrumentConnection& c) { return c.AcknowledgeAlarm(); };
    const RzExpected<void> started =
        phase == Phase::kPause
            ? console.connection->StartSequence("Send",
                                                std::move(CSequence().Then(ack).Pause(60000)))
            : console.connection->StartOperation(
                  "Send", [](CInstrumentConnection& c) { return c.SetDigitalOutput(4, 1); });
    // Well inside the 500 ms settle once its request has gone out.
    RunUntil([&] { return !server.CommandRequests().empty(); }, 10000);
    RunFor(100);
    return started.ok() && console.connection->OperationRunning();
}

// Leaving in `phase`: the log-out command (Cancel while logging in), then what closing the
// window ends with, every connection closed. The longest GUI gap, and the time until the logo
// pane shows with no log-in running, in seconds.
bool LogoutDuring(Phase phase, double* gap, double* toLogo) {
    CFullBacklog stalled;
    auto server = StartServer();
    if (!server || stalled.Port() == 0) {
        return false;
    }
    if (phase == Phase::kLoggingIn) {
        server->SetFaults({.answerDelayMs = 30000});
    } else if (phase == Phase::kRefreshing) {
        server->SetFaults({.stallFromRequest = 3});
    }
    Console console(phase == Phase::kConnecting ? stalled.Port() : server->Port(), 60000, 10000);
    if (!EnterPhase(console, *server, phase)) {
        return false;
    }
    QElapsedTimer clock;
    GapProbe probe;
    clock.start();
    probe.Start();
    console.frame->Action(LoggedInPhase(phase) ? Command::kLogout : Command::kCancelLogin)
        ->trigger();
    console.manager.CloseAll();
    const bool back = RunUntil(
        [&] { return console.LogoShown() && !console.frame->State().loginRunning; }, 10000);
    *toLogo = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    RunFor(100);
    *gap = probe.StopSeconds();
    return back;
}

void LogoutPhaseFigure(benchmark::State& state, Phase phase, bool toLogoPane) {
    for (auto _ : state) {
        double gap = 0;
        double toLogo = 0;
        BENCH_REQUIRE(LogoutDuring(phase, &gap, &toLogo), "the phase or the log-out failed");
        state.SetIterationTime(toLogoPane ? toLogo : gap);
    }
}

// BM_GuiGapLogout<phase> and BM_LogoutToLogoPane<phase>.
const bool kLogoutPhasesRegistered = [] {
    const std::pair<const char*, Phase> phases[] = {{"Connecting", Phase::kConnecting},
                                                    {"LoggingIn", Phase::kLoggingIn},
                                                    {"Refreshing", Phase::kRefreshing},
                                                    {"Pause", Phase::kPause},
                                                    {"Settle", Phase::kSettle}};
    for (const auto& [name, phase] : phases) {
        for (const bool toLogo : {false, true}) {
            const std::string figure =
                std::string(toLogo ? "BM_LogoutToLogoPane" : "BM_GuiGapLogout") + name;
            benchmark::RegisterBenchmark(figure.c_str(), LogoutPhaseFigure, phase, toLogo)
                ->UseManualTime()
                ->Iterations(1)
                ->Repetitions(3)
                ->Unit(benchmark::kMillisecond);
        }
    }
    return true;
}();

// Peak memory: this program again, as the logged-in console or as the bare window.

void BM_ConsolePeakMemory(benchmark::State& state) {
    QTemporaryDir dir;
    double peakKb = 0;
    for (auto _ : state) {
        peakKb = ChildPeakKb({"--bench-console-window", std::to_string(BenchServer().Port()),
                              dir.path().toStdString()});
        BENCH_REQUIRE(peakKb > 0, "the console child failed");
    }
    state.counters["peak_kB"] = peakKb;
}
BENCHMARK(BM_ConsolePeakMemory)
    ->Iterations(1)
    ->Repetitions(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

void BM_BareWindowPeakMemory(benchmark::State& state) {
    QTemporaryDir dir;
    const std::string file = dir.filePath("screen.png").toStdString();
    BenchServer().WithInstrument([&](CSimInstrument& instrument) {
        std::ofstream(file, std::ios::binary) << instrument.ScreenPng();
    });
    double peakKb = 0;
    for (auto _ : state) {
        peakKb = ChildPeakKb({"--bench-bare-window", file});
        BENCH_REQUIRE(peakKb > 0, "the bare window child failed");
    }
    state.counters["peak_kB"] = peakKb;
}
BENCHMARK(BM_BareWindowPeakMemory)
    ->Iterations(1)
    ->Repetitions(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// Two instruments open, each in its tab, against one open: the CPU the console spends per
// communication cycle (1000 ms), from a cycle of the first instrument's connection to the fourth
// after it. The plant of two is rzsim in a child process, so that the process's CPU clock counts
// the console alone. Each side is measured alternately (RunPair); the second tab is opened for
// the two-tab side and closed (Close Instrument) for the one-tab side.
class RzsimPlant {
  public:
    RzsimPlant() {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) {
            return;
        }
        pid_ = SpawnChild(
            {ExecutableDirectory() + "/../sim/rzsim", "--instruments", "2", "--port", "0"},
            {.out = out[1]});
        close(out[1]);
        FILE* output = fdopen(out[0], "r");
        // rzsim: listening on ADDRESS:PORT as "NAME" (PROFILE)
        char line[256];
        while (pid_ > 0 && members.size() < 2 && std::fgets(line, sizeof line, output) != nullptr) {
            char address[32] = {};
            unsigned port = 0;
            char name[64] = {};
            if (std::sscanf(line, "rzsim: listening on %31[0-9.]:%u as \"%63[^\"]\"", address,
                            &port, name) == 3) {
                members.emplace_back(name, address);
                port_ = static_cast<uint16_t>(port);
            }
        }
        if (output != nullptr) {
            fclose(output);  // rzsim writes no more than these lines
        }
    }
    ~RzsimPlant() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
    }
    RzsimPlant(const RzsimPlant&) = delete;
    RzsimPlant& operator=(const RzsimPlant&) = delete;

    bool Started() const { return pid_ > 0 && members.size() == 2 && port_ != 0; }
    uint16_t Port() const { return port_; }
    std::vector<std::pair<std::string, std::string>> members;  // name, address

  private:
    pid_t pid_ = -1;
    uint16_t port_ = 0;
};

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void BM_TwoTabsCycleCpu(benchmark::State& state) {
    constexpr int kCycleMs = 1000;
    constexpr int kCycles = 4;
    RzsimPlant plant;
    BENCH_REQUIRE(plant.Started(), "rzsim --instruments 2 did not start");
    BenchDataDir data(kCycleMs);
    CInstrumentRegistry registry;
    (void)registry.Load();
    for (const auto& [name, address] : plant.members) {
        registry.Add(name, address);
    }
    (void)registry.Save();
    CConnectionManager manager;
    manager.Init();
    auto frame = std::make_unique<CMainFrame>(plant.Port());
    auto login = std::make_unique<CLoginControl>(manager, *frame, MakeInstrumentView);
    frame->show();
    const auto open = [&](const std::string& name) {
        bool ended = false;
        const auto finished =
            QObject::connect(frame.get(), &CMainFrame::LoginFinished, [&](bool) { ended = true; });
        frame->LoginAtStart(name, kBenchUser, std::string(kBenchPassword));
        RunUntil([&] { return ended; }, 30000);
        QObject::disconnect(finished);
        return frame->ShowInstrument(name);
    };
    const std::string first = plant.members[0].first;
    const std::string second = plant.members[1].first;
    BENCH_REQUIRE(open(first), "the first log-in failed");
    const uint32_t firstId = login->ConnectionOf(first);
    // The console's CPU from a cycle of the first connection to the kCycles-th after it.
    const auto perCycle = [&]() -> double {
        int passes = -1;
        double start = 0;
        manager.hub().Subscribe({HUB_CHANNEL_MAIN_FRAME, 0x70}, DataRefreshedEvent(firstId),
                                [&](uint32_t) {
                                    if (++passes == 0) {
                                        start = ProcessCpuSeconds();
                                    }
                                });
        const bool done = RunUntil([&] { return passes >= kCycles; }, 4 * kCycles * kCycleMs);
        const double cpu = ProcessCpuSeconds() - start;
        manager.hub().Unsubscribe({HUB_CHANNEL_MAIN_FRAME, 0x70}, DataRefreshedEvent(firstId));
        return done ? cpu / kCycles : -1;
    };
    const auto twoTabs = [&]() -> double {
        if (frame->TabCount() < 2 && !open(second)) {
            return -1;
        }
        // The first instrument's tab in front, as in the one-tab measure.
        frame->ShowInstrument(first);
        RunFor(kCycleMs);
        return perCycle();
    };
    const auto oneTab = [&]() -> double {
        if (frame->ShowInstrument(second)) {
            frame->Action(Command::kCloseTab)->trigger();
        }
        if (frame->TabCount() != 1) {
            return -1;
        }
        RunFor(kCycleMs);
        return perCycle();
    };
    RunPair(state, twoTabs, oneTab);
    login.reset();
    frame.reset();
    manager.CloseAll();
}
BENCHMARK(BM_TwoTabsCycleCpu)
    ->Iterations(3)
    ->Repetitions(1)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

// The console logged in to rzsim at `port` (data directory `dir`), through three 1000 ms cycles
// after its first screen.
int RunBenchConsoleWindow(QApplication& app, const char* port, const char* dir) {
    KeepLargeBlocksMapped();  // as the console does
    ApplyFlatLook(app);
    SetDataDirectory(dir);
    std::ofstream(std::string(dir) + "/SimpleCtrl.ini", std::ios::binary)
        << "[Config]\r\nCommCycle=1000\r\n";
    RegisterDemo();
    CConnectionManager manager;
    manager.Init();
    CMainFrame frame(static_cast<uint16_t>(std::atoi(port)));
    CLoginControl login(manager, frame, MakeInstrumentView);
    bool shown = false;
    QObject::connect(&login, &CLoginControl::FirstDataShown, [&] { shown = true; });
    frame.show();
    frame.LoginAtStart("Demo", kBenchUser, std::string(kBenchPassword));
    if (!RunUntil([&] { return shown; }, 30000)) {
        return 1;
    }
    RunFor(3500);
    return frame.State().loggedIn ? 0 : 1;
}

// A plain window showing the picture in `file`, painted a few times.
int RunBenchBareWindow(const char* file) {
    QLabel label;
    QPixmap picture(QString::fromLocal8Bit(file));
    if (picture.isNull()) {
        return 1;
    }
    label.setPixmap(picture);
    label.show();
    for (int i = 0; i < 4; ++i) {
        label.repaint();
        RunFor(50);
    }
    return 0;
}
