// The plant overview: its rows fed by the reachability probe and the console's log-in against
// several simulators on their own loopback addresses, their order, and staleness as time passes.
#include <QAbstractItemModel>
#include <QAccessible>
#include <QAction>
#include <QColor>
#include <QElapsedTimer>
#include <QTabBar>
#include <QTest>
#include <QTime>
#include <algorithm>
#include <functional>
#include <ranges>
#include <set>
#include <string>
#include <vector>

#include "SimCommands.h"
#include "SimInstrument.h"
#include "SimPlantServer.h"
#include "alarms/AlarmWatch.h"
#include "alarms/DesktopNotifier.h"
#include "app/ViewFactory.h"
#include "common/ModalWatcher.h"
#include "common/NotificationBus.h"
#include "common/SimFixture.h"
#include "registry/InstrumentRegistry.h"
#include "registry/InstrumentSettings.h"
#include "secrets/PasswordStore.h"
#include "shell/AlarmMarks.h"
#include "shell/LoginControl.h"
#include "shell/MainFrame.h"
#include "shell/OverviewModel.h"
#include "shell/OverviewPane.h"
#include "shell/PlantOverview.h"
#include "shell/TraceWindow.h"
#include "ui/FlatLook.h"
#include "views/RzView.h"

namespace {

std::string Cell(const QAbstractItemModel& model, int row, int column, int role = Qt::DisplayRole) {
    return model.data(model.index(row, column), role).toString().toStdString();
}

// The names in the order the overview shows them.
std::vector<std::string> Shown(const COverviewPane& pane) {
    std::vector<std::string> names;
    for (int row = 0; row < pane.Order()->rowCount(); ++row) {
        names.push_back(Cell(*pane.Order(), row, COverviewModel::kNameColumn));
    }
    return names;
}

// The requests `server` received in `phase` since its log was cleared that begin with `start`.
size_t Received(const CSimServer& server, SimRequestPhase phase, const std::string& start = {}) {
    size_t count = 0;
    for (const CSimRecordedRequest& request : server.Requests()) {
        count += request.phase == phase && request.text.starts_with(start) ? 1 : 0;
    }
    return count;
}

// Whether `server`, cleared just now, asks for no screen image in the pass of the cycle that
// follows: none from its first values request on (one asked for before that was on its way).
bool PassWithoutImage(const CSimServer& server) {
    const auto values = [&] { return Received(server, SimRequestPhase::kCommand, "FD"); };
    if (!ProcessEventsUntil([&] { return values() >= 3; })) {
        return false;
    }
    const std::vector<std::string> requests = server.CommandRequests();
    auto it = std::find_if(requests.begin(), requests.end(),
                           [](const std::string& r) { return r.starts_with("FD"); });
    return std::none_of(it, requests.end(),
                        [](const std::string& r) { return r.starts_with("FC"); });
}

using PlantOverview = SimFixture;

}  // namespace

// One simulator per loopback address at the one instrument port, or none; probes run on two
// threads, so a silent instrument holds up no other row. The refused and the logged-in state
// come from the console's own log-ins; the rows that need attention come first.
TEST_F(PlantOverview, RowsFollowProbesAndLogInsAndNeedsComeFirst) {
    CSimFaults refuse;
    refuse.refuseLogin = true;
    CSimFaults silent;
    silent.answerDelayMs = 5000;  // the greeting too
    const struct {
        const char* name;
        const char* profile;  // nullptr: nothing listens
        CSimFaults faults;
        const char* state;
        bool attention;
        const char* alarm;
    } rows[] = {
        {"Fine", "rz3200v2", {}, "reachable", false, ""},
        {"Stopped", nullptr, {}, "not reachable", true, ""},
        {"Plant", "full", {}, "logged in", true, "alarm"},
        {"Locked", "full", refuse, "log-in refused", true, ""},
        {"Silent", "full", silent, "not reachable", true, ""},
        {"Spare", "rz3100", {}, "reachable", false, ""},
    };
    std::vector<std::unique_ptr<CSimServer>> sims;
    CInstrumentRegistry registry;
    ASSERT_TRUE(registry.Load().ok());
    for (size_t i = 0; i < std::size(rows); ++i) {
        const std::string address = "127.0.0." + std::to_string(i + 2);
        ASSERT_EQ(registry.Add(rows[i].name, address), RZ_OK);
        if (rows[i].profile == nullptr) {
            continue;
        }
        sims.push_back(
            std::make_unique<CSimServer>(ShippedProfile(rows[i].profile), rows[i].faults));
        ASSERT_TRUE(RegisterInstrumentCommands(*sims.back()));
        const uint16_t got = sims.back()->Start(port, address);
        ASSERT_NE(got, 0) << address << ": " << sims.back()->LastError();
        port = got;  // the first picks the port the others share
    }
    ASSERT_TRUE(registry.Save().ok());

    CMainFrame frame(port);
    CLoginControl login(manager, frame, MakeInstrumentView);
    CProbeOptions quick;
    quick.intervalMs = 200;
    quick.workers = 2;
    quick.greetingTimeoutMs = 500;
    CPlantOverview plant(frame, login, manager, port, quick);
    frame.show();
    COverviewPane* pane = frame.OverviewPane();
    ASSERT_EQ(frame.ClientPane(), pane);
    const COverviewModel& model = frame.Overview();
    const auto known = [&](int row) { return model.StateAt(row) != OverviewState::kUnknown; };
    ASSERT_TRUE(ProcessEventsUntil(
        [&] { return known(0) && known(1) && known(2) && known(3) && known(5); }));
    EXPECT_FALSE(known(4)) << "the silent instrument holds up no other";
    EXPECT_EQ(Cell(model, 3, COverviewModel::kStateColumn), "reachable");
    ASSERT_TRUE(ProcessEventsUntil([&] { return known(4); }));

    std::vector<bool> ended;
    QObject::connect(&frame, &CMainFrame::LoginFinished, [&](bool ok) { ended.push_back(ok); });
    for (const char* name : {"Locked", "Plant"}) {
        frame.LoginAtStart(name, "admin", std::string("rzdemo"));
        ASSERT_TRUE(ProcessEventsUntil([&] { return !frame.State().loginRunning; })) << name;
    }
    ASSERT_EQ(ended, (std::vector<bool>{false, true})) << frame.StatusPane(1)->text().toStdString();

    for (int row = 0; row < static_cast<int>(std::size(rows)); ++row) {
        SCOPED_TRACE(rows[row].name);
        EXPECT_EQ(Cell(model, row, COverviewModel::kStateColumn), rows[row].state);
        EXPECT_EQ(model.NeedsAttention(row), rows[row].attention);
        EXPECT_EQ(Cell(model, row, COverviewModel::kAlarmColumn), rows[row].alarm);
    }
    // The logged-in row shows what its connection's model holds; the others what a probe saw.
    const std::pair<int, const char*> plantCells[] = {
        {COverviewModel::kModelColumn, "RZ3200"},
        {COverviewModel::kFirmwareColumn, "3.06"},
        {COverviewModel::kMemoryColumn, "running"},
        {COverviewModel::kMathColumn, "stopped"},
        {COverviewModel::kValuesColumn, "251.3 C, -12.45 C, 1.234 V, 1"},
    };
    for (const auto& [column, text] : plantCells) {
        EXPECT_EQ(Cell(model, 2, column), text) << column;
    }
    EXPECT_EQ(Cell(model, 2, COverviewModel::kValuesColumn, Qt::AccessibleDescriptionRole),
              "TI-101 251.3 C; TI-102 -12.45 C; PI-201 1.234 V; LS-301 1");
    EXPECT_EQ(Cell(model, 4, COverviewModel::kReachColumn, Qt::AccessibleDescriptionRole),
              "No answer from 127.0.0.6:" + std::to_string(port) + " within 500 ms");
    EXPECT_EQ(Cell(model, 3, COverviewModel::kStateColumn, Qt::AccessibleTextRole),
              "State: log-in refused");
    EXPECT_EQ(Shown(*pane),
              (std::vector<std::string>{"Stopped", "Plant", "Locked", "Silent", "Fine", "Spare"}));

    frame.Action(Command::kLogout)->trigger();
    EXPECT_EQ(Cell(model, 2, COverviewModel::kStateColumn), "reachable");
    EXPECT_EQ(Cell(model, 2, COverviewModel::kModelColumn), "RZ3200");
    EXPECT_EQ(Cell(model, 2, COverviewModel::kAlarmColumn), "");
    for (auto& sim : sims) {
        sim->Stop();
    }
}

// With its password remembered, each instrument gets one logged-in connection of the
// overview's that polls values and state without the screen image; opening one gives that
// connection to the view (no second log-in) and log-out hands it back. A refused password is not
// tried again; a lost link is logged in again once the instrument answers. A plant of a fine
// instrument, one in alarm, one with a wrong password remembered and a stopped one shows them
// within two cycles; the alarm's row is red until the alarm clears and is acknowledged from the
// overview. The alarm of the instrument in the background raises one desktop notification, also
// across cycles and its hand-over to the view and back, closed when the alarm clears; a lost link
// in the background is named as that instrument's. Logging a row out from the overview ends its
// connection (and its tab) for good.
TEST_F(PlantOverview, RememberedPasswordsKeepOnePolledConnectionThatTheViewTakesOver) {
    CSimOptions options;
    options.instruments = 4;
    options.port = 0;
    options.stopped = {"127.0.0.4"};
    std::string error;
    const auto plant = CSimPlantServer::Make(options, &error);
    ASSERT_NE(plant, nullptr) << error;
    ASSERT_TRUE(plant->Start()) << plant->LastError();
    const struct {
        const char* state;
        const char* alarm;
        bool attention;
    } rows[] = {
        {"logged in", "none", false},
        {"logged in", "alarm", true},  // its scheduled alarm is up for the plant's first 30 s
        {"log-in refused", "", true},
        {"not reachable", "", true},
    };
    auto secrets = std::make_unique<CMemoryPasswordStore>();
    CInstrumentRegistry registry;
    ASSERT_TRUE(registry.Load());
    for (int i = 0; i < plant->Count(); ++i) {
        const CSimPlantMember& member = plant->Member(i);
        ASSERT_EQ(registry.Add(member.name, member.address), RZ_OK);
        ASSERT_TRUE(CInstrumentSettings().Set(member.name, {"admin", true, true}));
        secrets->Write({member.name, member.address, "admin"}, i == 2 ? "wrong" : "rzdemo", {});
    }
    ASSERT_TRUE(registry.Save());
    WriteCycle1000();

    CMainFrame frame(plant->Port());
    frame.SetSecretStore(std::move(secrets));
    CLoginControl login(manager, frame, MakeInstrumentView);
    CProbeOptions quick;
    quick.intervalMs = 200;
    quick.greetingTimeoutMs = 500;
    CPlantOverview overview(frame, login, manager, plant->Port(), quick);
    CNotificationBus bus;  // without dbus-daemon, marks only
    const bool notifying = CNotificationBus::Installed() && bus.Start();
    CAlarmWatch alarms(manager,
                       notifying ? std::make_unique<CDesktopNotifier>(bus.address) : nullptr);
    ShowAlarmMarks(alarms, login, frame);
    overview.WatchAlarms(alarms);
    const auto notified = [&](const std::string& calls) {
        return !notifying ||
               ProcessEventsUntil([&] { return bus.fake.calls.toStdString() == calls; });
    };
    frame.show();
    const COverviewModel& model = frame.Overview();
    const auto state = [&](int row) { return Cell(model, row, COverviewModel::kStateColumn); };
    const auto reached = [&] {
        return std::ranges::all_of(std::views::iota(0, 4),
                                   [&](int row) { return state(row) == rows[row].state; });
    };
    ASSERT_TRUE(ProcessEventsUntil(reached, std::chrono::milliseconds(2 * 1000)))
        << state(0) << ", " << state(1) << ", " << state(2) << ", " << state(3);
    COverviewPane* pane = frame.OverviewPane();
    for (int row = 0; row < 4; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(Cell(model, row, COverviewModel::kAlarmColumn), rows[row].alarm);
        EXPECT_EQ(model.NeedsAttention(row), rows[row].attention);
        const bool alarm = std::string(rows[row].alarm) == "alarm";
        EXPECT_EQ(model.index(row, 0).data(Qt::BackgroundRole).value<QColor>(),
                  alarm ? AlarmColour() : QColor());
        pane->setCurrentIndex(pane->Order()->mapFromSource(model.index(row, 0)));
        EXPECT_EQ(pane->AcknowledgeAction()->isEnabled(), alarm);
        EXPECT_EQ(pane->LogoutAction()->isEnabled(), std::string(rows[row].state) == "logged in");
    }
    EXPECT_EQ(Cell(model, 1, COverviewModel::kNameColumn, Qt::AccessibleDescriptionRole),
              "Alarm on channel 1 (2-T-01)");
    EXPECT_EQ(alarms.AlarmText("Dryer 2"), "channel 1 (2-T-01)");
    EXPECT_TRUE(notified(" N1")) << bus.fake.calls.toStdString();
    EXPECT_EQ(Shown(*pane),
              (std::vector<std::string>{"Dryer 2", "Kiln 3", "Boiler 4", "Furnace 1"}));
    EXPECT_EQ(Cell(model, 0, COverviewModel::kModelColumn), "RZ3200");
    EXPECT_EQ(manager.ConnectionCount(), 2u);
    CSimServer& fine = plant->Instrument(0);
    fine.ClearRequests();
    EXPECT_TRUE(PassWithoutImage(fine));

    // Acknowledging the row in alarm asks first; a yes sends one acknowledge, to it alone.
    CSimServer& alarmed = plant->Instrument(1);
    pane->setCurrentIndex(pane->Order()->mapFromSource(model.index(1, 0)));
    for (const QMessageBox::StandardButton answer : {QMessageBox::No, QMessageBox::Yes}) {
        CModalWatcher watcher(answer);
        const size_t values = Received(alarmed, SimRequestPhase::kCommand, "FD");
        pane->AcknowledgeAction()->trigger();
        ASSERT_EQ(watcher.boxes.size(), 1u);
        EXPECT_TRUE(watcher.boxes[0].text.contains("Dryer 2"));
        // Sent at once, if at all: before the second values request after it.
        EXPECT_TRUE(ProcessEventsUntil(
            [&] { return Received(alarmed, SimRequestPhase::kCommand, "FD") >= values + 2; }));
        EXPECT_EQ(Received(alarmed, SimRequestPhase::kCommand, "AK"),
                  answer == QMessageBox::Yes ? 1u : 0u);
    }
    EXPECT_EQ(Received(fine, SimRequestPhase::kCommand, "AK"), 0u);

    // Opening the fine row by keyboard (it is shown last) and by mouse, and the row in alarm
    // (shown first): the view shows its screen over the polled connection, log-out hands the
    // connection back, and the alarm raises no second notification.
    const auto keys = [&](const char* sequence) {
        pane->setFocus();
        QTest::keySequence(pane, QKeySequence(QString::fromLatin1(sequence)));
    };
    const struct {
        std::function<void()> open;
        CSimServer& server;
        int row;
    } opens[] = {
        {[&] { keys("Ctrl+End, Return"); }, fine, 0},
        {[&] {  // a widget's double click: press and release, then the double click
             const QPoint at = pane->visualRect(pane->Order()->index(3, 0)).center();
             QTest::mouseClick(pane->viewport(), Qt::LeftButton, {}, at);
             QTest::mouseDClick(pane->viewport(), Qt::LeftButton, {}, at);
         },
         fine, 0},
        {[&] { keys("Ctrl+Home, Return"); }, alarmed, 1},
    };
    for (const auto& open : opens) {
        SCOPED_TRACE(&open - opens);
        open.server.ClearRequests();
        open.open();
        ASSERT_TRUE(frame.State().loggedIn);
        EXPECT_NE(frame.ClientPane(), frame.OverviewPane());
        EXPECT_TRUE(ProcessEventsUntil(
            [&] { return Received(open.server, SimRequestPhase::kCommand, "FC") >= 2; }));
        EXPECT_EQ(Received(open.server, SimRequestPhase::kUser), 0u) << "no second log-in";
        EXPECT_EQ(manager.ConnectionCount(), 2u);

        frame.Action(Command::kLogout)->trigger();
        EXPECT_EQ(frame.ClientPane(), frame.OverviewPane());
        EXPECT_EQ(state(open.row), "logged in");
        EXPECT_EQ(manager.ConnectionCount(), 2u);
    }
    const size_t values = Received(alarmed, SimRequestPhase::kCommand, "FD");
    EXPECT_TRUE(ProcessEventsUntil(
        [&] { return Received(alarmed, SimRequestPhase::kCommand, "FD") >= values + 2; }));
    EXPECT_TRUE(alarms.InAlarm("Dryer 2"));
    EXPECT_TRUE(notified(" N1")) << bus.fake.calls.toStdString();

    // A cleared alarm clears the mark, and the row leaves the top.
    alarmed.WithInstrument([](CSimInstrument& instrument) {
        instrument.Setup().alarmEveryMs = 0;
        instrument.Setup().channels[0].alarm = false;
    });
    ASSERT_TRUE(
        ProcessEventsUntil([&] { return Cell(model, 1, COverviewModel::kAlarmColumn) == "none"; }));
    EXPECT_FALSE(model.index(1, 0).data(Qt::BackgroundRole).isValid());
    EXPECT_FALSE(pane->AcknowledgeAction()->isEnabled());
    EXPECT_EQ(Shown(*pane),
              (std::vector<std::string>{"Kiln 3", "Boiler 4", "Furnace 1", "Dryer 2"}));
    EXPECT_FALSE(alarms.InAlarm("Dryer 2"));
    EXPECT_TRUE(notified(" N1 C1")) << bus.fake.calls.toStdString();

    fine.ClearRequests();
    EXPECT_TRUE(PassWithoutImage(fine));

    // While the fine one is in front (shown third), the one that loses its link is named.
    keys("Ctrl+Home, Down, Down, Return");
    ASSERT_TRUE(frame.State().loggedIn);
    ASSERT_TRUE(plant->SetServed(1, false));
    const auto named = [&] {
        return frame.StatusPane(1)->text().startsWith(QStringLiteral("Lost the link to Dryer 2: "));
    };
    EXPECT_TRUE(ProcessEventsUntil(named)) << frame.StatusPane(1)->text().toStdString();
    EXPECT_EQ(manager.ConnectionCount(), 1u);
    frame.Action(Command::kLogout)->trigger();
    EXPECT_TRUE(ProcessEventsUntil([&] { return state(1) == "not reachable"; }));
    alarmed.ClearRequests();
    ASSERT_TRUE(plant->SetServed(1, true)) << plant->LastError();
    EXPECT_TRUE(ProcessEventsUntil([&] { return state(1) == "logged in"; }));
    EXPECT_EQ(Received(alarmed, SimRequestPhase::kUser), 1u);
    EXPECT_EQ(Received(plant->Instrument(2), SimRequestPhase::kUser), 1u) << "refused once";

    // Logged out from the overview, beside Kiln 3 open in a tab of its own: the row open in a
    // tab closes that tab alone, the polled one ends its connection; each row is back to
    // reachability, and neither instrument hears from the console again.
    pane->setCurrentIndex(pane->Order()->mapFromSource(model.index(1, 0)));
    keys("Return");
    frame.LoginAtStart("Kiln 3", "admin", std::string("rzdemo"));
    ASSERT_TRUE(ProcessEventsUntil([&] { return !frame.State().loginRunning; }));
    ASSERT_EQ(frame.TabCount(), 2);
    frame.Action(Command::kPlantOverview)->trigger();
    const struct {
        int row;
        CSimServer& server;
        size_t connections;
    } logouts[] = {{1, alarmed, 2}, {0, fine, 1}};
    for (const auto& out : logouts) {
        SCOPED_TRACE(out.row);
        pane->setCurrentIndex(pane->Order()->mapFromSource(model.index(out.row, 0)));
        ASSERT_TRUE(pane->LogoutAction()->isEnabled());
        pane->LogoutAction()->trigger();
        out.server.ClearRequests();
        EXPECT_EQ(frame.TabCount(), 1);
        EXPECT_EQ(manager.ConnectionCount(), out.connections);
        EXPECT_TRUE(ProcessEventsUntil([&] { return state(out.row) == "reachable"; }));
        EXPECT_FALSE(pane->LogoutAction()->isEnabled());
    }
    EXPECT_EQ(frame.windowTitle().toStdString(), "RZ Operator-Kiln 3");
    ProcessEventsUntil([] { return false; }, std::chrono::milliseconds(1500));
    for (const auto& out : logouts) {
        EXPECT_EQ(out.server.Requests().size(), 0u) << out.row;
    }
}

// Two instruments of a plant open in tabs. Each view follows its own cycle and only the one
// shown asks for the screen image, at once when shown again; Ctrl+Tab and Ctrl+Shift+Tab switch,
// the title and the menus follow; each tab has its own trace window; the tab of the instrument in
// alarm is marked; an instrument that stalls holds up no other tab; Ctrl+W logs out from the
// instrument shown alone.
TEST_F(PlantOverview, InstrumentsOpenInTabsRunIndependently) {
    CSimOptions options;
    options.instruments = 2;
    options.port = 0;
    std::string error;
    const auto plant = CSimPlantServer::Make(options, &error);
    ASSERT_NE(plant, nullptr) << error;
    ASSERT_TRUE(plant->Start()) << plant->LastError();
    CInstrumentRegistry registry;
    ASSERT_TRUE(registry.Load());
    std::vector<std::string> names;
    for (int i = 0; i < 2; ++i) {
        names.push_back(plant->Member(i).name);
        ASSERT_EQ(registry.Add(names[i], plant->Member(i).address), RZ_OK);
    }
    ASSERT_TRUE(registry.Save());
    WriteCycle1000();
    CMainFrame frame(plant->Port());
    CLoginControl login(manager, frame, MakeInstrumentView);
    CAlarmWatch alarms(manager, nullptr);
    ShowAlarmMarks(alarms, login, frame);
    frame.show();
    for (const std::string& name : names) {
        frame.LoginAtStart(name, "admin", std::string("rzdemo"));
        ASSERT_TRUE(ProcessEventsUntil([&] { return !frame.State().loginRunning; }));
    }
    ASSERT_EQ(frame.TabCount(), 2);
    EXPECT_TRUE(frame.TabBar()->isVisible());
    // The second instrument raises its alarm from start-up on: its tab alone is marked.
    QAccessibleInterface* tabs = QAccessible::queryAccessibleInterface(frame.TabBar());
    EXPECT_TRUE(ProcessEventsUntil([&] { return frame.TabBar()->tabTextColor(1).isValid(); }));
    EXPECT_EQ(frame.TabBar()->tabTextColor(1),
              frame.AlarmPane()->palette().color(QPalette::Window));
    EXPECT_EQ(tabs->child(1)->text(QAccessible::Description), QStringLiteral("in alarm"));
    EXPECT_FALSE(frame.TabBar()->tabTextColor(0).isValid());
    EXPECT_TRUE(frame.AlarmPane()->isVisibleTo(&frame));
    // Each view and when it last showed new data.
    CRZView* views[2] = {};
    QElapsedTimer clock;
    clock.start();
    std::vector<int64_t> updated[2];
    for (int i : {1, 0}) {
        ASSERT_TRUE(frame.ShowInstrument(names[i]));
        views[i] = dynamic_cast<CRZView*>(frame.ClientPane());
        ASSERT_NE(views[i], nullptr);
        QObject::connect(views[i], &CRZView::DataUpdated,
                         [&updated, &clock, i] { updated[i].push_back(clock.elapsed()); });
    }
    EXPECT_FALSE(frame.AlarmPane()->isVisibleTo(&frame));
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int shown;
    } steps[] = {
        {Qt::Key_Tab, Qt::ControlModifier, 1},
        {Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier, 0},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.shown);
        QTest::keyClick(frame.StatusPane(1), step.key, step.modifiers);
        ASSERT_EQ(frame.CurrentTab(), step.shown);
        // Shown again, its screen image is fetched at once: ahead of the values, which a pass of
        // the cycle reads before and after the image.
        CInstrumentConnection* connection = Find(login.ConnectionOf(names[step.shown]));
        EXPECT_TRUE(ProcessEventsUntil(
            [&] {
                const CDataFreshness fresh = connection->Freshness();
                return fresh.image.validAtNs > fresh.values.validAtNs;
            },
            std::chrono::milliseconds(2000)));
        EXPECT_EQ(frame.windowTitle().toStdString(), "RZ Operator-" + names[step.shown]);
        EXPECT_EQ(frame.ClientPane(), views[step.shown]);
        CSimServer& shown = plant->Instrument(step.shown);
        CSimServer& hidden = plant->Instrument(1 - step.shown);
        shown.ClearRequests();
        hidden.ClearRequests();
        updated[0].clear();
        updated[1].clear();
        ASSERT_TRUE(ProcessEventsUntil([&] { return updated[0].size() + updated[1].size() >= 6; }));
        EXPECT_GE(std::min(updated[0].size(), updated[1].size()), 2u);
        EXPECT_TRUE(PassWithoutImage(hidden));
        EXPECT_GE(Received(shown, SimRequestPhase::kCommand, "FC"), 2u);
    }
    // Each tab has a trace window of its own connection's exchanges.
    std::set<const CExchangeTrace*> traces;
    for (int i : {1, 0}) {
        ASSERT_TRUE(frame.ShowInstrument(names[i]));
        frame.Action(Command::kTrace)->trigger();
        traces.insert(login.TraceOf(views[i]).get());
    }
    std::set<const CExchangeTrace*> shownTraces;
    for (const CTraceWindow* window : frame.findChildren<CTraceWindow*>()) {
        shownTraces.insert(window->isVisible() ? window->Source() : nullptr);
    }
    EXPECT_EQ(traces.size(), 2u);
    EXPECT_EQ(shownTraces, traces);
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    // The menus act on the tab shown: its instrument alone hears the memory command, and its
    // panels alone follow a display command.
    for (int i = 0; i < 2; ++i) {
        plant->Instrument(i).ClearRequests();
    }
    const uint32_t otherPanels = views[1]->PanelFlags();
    frame.Action(Command::kMemory)->trigger();
    CInstrumentConnection* first = Find(login.ConnectionOf(names[0]));
    ASSERT_TRUE(ProcessEventsUntil([&] {
        return Received(plant->Instrument(0), SimRequestPhase::kCommand, "PS") == 1 &&
               !first->OperationRunning();
    }));
    views[0]->Run(Command::kProgram);
    ASSERT_TRUE(
        ProcessEventsUntil([&] { return views[0]->PanelFlags() & CRZView::kProgramShown; }));
    EXPECT_EQ(views[1]->PanelFlags(), otherPanels);
    // The instrument shown stalls: the other tab goes on at its cycle, and Ctrl+W closes the
    // stalled one's tab at once, whose neighbour then shows its screen.
    plant->Instrument(0).SetFaults({.stallFromRequest = 1});
    updated[1].clear();
    ProcessEventsUntil([] { return false; }, std::chrono::milliseconds(3500));
    EXPECT_EQ(Received(plant->Instrument(1), SimRequestPhase::kCommand, "PS"), 0u);
    for (size_t i = 1; i < updated[1].size(); ++i) {
        EXPECT_LE(updated[1][i] - updated[1][i - 1], 1500) << i;
    }
    EXPECT_GE(updated[1].size(), 3u);
    QTest::keyClick(frame.StatusPane(1), Qt::Key_W, Qt::ControlModifier);
    ASSERT_EQ(frame.TabCount(), 1);
    EXPECT_EQ(frame.windowTitle().toStdString(), "RZ Operator-" + names[1]);
    EXPECT_FALSE(frame.TabBar()->isVisible());
    EXPECT_EQ(login.ConnectionOf(names[0]), 0u);
    EXPECT_EQ(manager.ConnectionCount(), 1u);
    plant->Instrument(1).ClearRequests();
    updated[1].clear();
    EXPECT_TRUE(ProcessEventsUntil([&] { return updated[1].size() >= 2; }));
    EXPECT_GE(Received(plant->Instrument(1), SimRequestPhase::kCommand, "FC"), 2u);
    alarms.Forget(names[1]);  // its mark goes with the alarm
    EXPECT_FALSE(frame.TabBar()->tabTextColor(0).isValid());
    EXPECT_FALSE(frame.AlarmPane()->isVisibleTo(&frame));
    EXPECT_EQ(tabs->child(0)->text(QAccessible::Description), QString());
}

// A logged-in row is stale once no valid values came for the time it is given, counted from
// the log-in until the first; stale rows come first, with the age in the last data's tip.
TEST(OverviewModel, StalenessFollowsTheAgeOfTheLastValidValues) {
    const struct {
        int64_t validAgoMs;  // -1: no valid values since the log-in
        int64_t loggedInAgoMs;
        bool stale;
        const char* tip;
    } rows[] = {
        {1000, 5000, false, ""},
        {2500, 5000, true, "No data for 2 s"},
        {-1, 1500, false, ""},
        {-1, 3200, true, "No data for 3 s"},
    };
    COverviewModel model;
    std::vector<COverviewModel::Instrument> instruments;
    for (size_t i = 0; i < std::size(rows); ++i) {
        instruments.push_back({"I" + std::to_string(i), "127.0.0.1"});
    }
    model.SetInstruments(instruments);
    COverviewOrder order(&model);
    int64_t now = 0;
    model.SetClock([&now] { return now; });
    const int64_t ms = 1000000;
    const int64_t start = 100000 * ms;
    for (size_t i = 0; i < std::size(rows); ++i) {
        now = start - rows[i].loggedInAgoMs * ms;
        CInstrumentSummary summary;
        summary.valuesValidAtNs = rows[i].validAgoMs < 0 ? 0 : start - rows[i].validAgoMs * ms;
        model.UpdateSession(instruments[i].name, summary, 2000);
    }
    now = start;
    model.Tick();
    std::vector<std::string> expectedOrder;
    for (int stale : {1, 0}) {
        for (size_t i = 0; i < std::size(rows); ++i) {
            if (rows[i].stale == (stale == 1)) {
                expectedOrder.push_back(instruments[i].name);
            }
        }
    }
    for (int row = 0; row < static_cast<int>(std::size(rows)); ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(model.IsStale(row), rows[row].stale);
        EXPECT_EQ(model.NeedsAttention(row), rows[row].stale);
        if (rows[row].stale) {
            EXPECT_EQ(Cell(model, row, COverviewModel::kLastDataColumn, Qt::ToolTipRole),
                      rows[row].tip);
        }
        // The last data's local wall-clock time: the values came validAgo before `start`,
        // which the fake clock put loggedInAgo after the real time of the update.
        const QString shown = QString::fromStdString(
            Cell(model, row, COverviewModel::kLastDataColumn, Qt::DisplayRole));
        if (rows[row].validAgoMs < 0) {
            EXPECT_EQ(shown, QString());
        } else {
            const QTime expected = QTime::currentTime().addMSecs(
                static_cast<int>(rows[row].loggedInAgoMs - rows[row].validAgoMs));
            const int apart =
                (expected.secsTo(QTime::fromString(shown, "HH:mm:ss")) + 86400) % 86400;
            EXPECT_TRUE(apart <= 1 || apart >= 86399) << shown.toStdString();
        }
    }
    std::vector<std::string> shown;
    for (int row = 0; row < order.rowCount(); ++row) {
        shown.push_back(Cell(order, row, COverviewModel::kNameColumn));
    }
    EXPECT_EQ(shown, expectedOrder);
    // A connection that ends leaves nothing stale behind.
    model.EndSession("I1");
    EXPECT_FALSE(model.IsStale(1));
    EXPECT_EQ(model.StateAt(1), OverviewState::kUnknown);
}
