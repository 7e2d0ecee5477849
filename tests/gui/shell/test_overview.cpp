// The plant overview: its rows fed by the reachability probe and the console's log-in against
// several simulators on their own loopback addresses, their order, and staleness as time passes.
#include <QAbstractItemModel>
#include <string>
#include <vector>

#include "SimCommands.h"
#include "app/ViewFactory.h"
#include "common/SimFixture.h"
#include "registry/InstrumentRegistry.h"
#include "shell/LoginControl.h"
#include "shell/MainFrame.h"
#include "shell/OverviewModel.h"
#include "shell/OverviewPane.h"
#include "shell/PlantOverview.h"

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
    registry.Load();
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
    ASSERT_EQ(registry.Save(), RZ_OK);

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
