// The console's log-in, log-out and lost link against rzsim in process: the main window, the
// log-in controller and the core's asynchronous log-in, with a stand-in for the instrument view.
#include <QAction>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <mutex>
#include <thread>

#include "common/ModalWatcher.h"
#include "common/SimFixture.h"
#include "common/ThreadNotes.h"
#include "registry/InstrumentRegistry.h"
#include "shell/CommandTable.h"
#include "shell/DisplayMenus.h"
#include "shell/LoginControl.h"
#include "shell/LoginDlg.h"
#include "shell/MainFrame.h"
#include "shell/TraceWindow.h"

namespace {

// The instrument view as the frame and the manager see it.
class StandInView : public QWidget, public ICommandTarget, public IConnectionView {
  public:
    StandInView() { setFixedSize(320, 240); }
    CommandState StateOf(int) const override { return {}; }
    void Run(int) override {}
    uintptr_t Handle() const override { return reinterpret_cast<uintptr_t>(this); }
};

ConnectionView MakeStandIn(CInstrumentConnection&, CEventHub&, uint32_t, CMainFrame&) {
    auto view = std::make_unique<StandInView>();
    ConnectionView made;
    made.widget = view.get();
    made.commands = view.get();
    made.owner = std::move(view);
    return made;
}

class LoginAgainstSim : public SimFixture {
  protected:
    void SetUp() override {
        SimFixture::SetUp();
        WriteCycle1000();
        ASSERT_EQ(console.Init(), RZ_OK);
        console.SetLinkTimeout(300);
    }
    void TearDown() override {
        console.CloseAll();
        SimFixture::TearDown();
    }
    void Register(const char* name, const char* address) {
        CInstrumentRegistry registry;
        registry.Load();
        ASSERT_EQ(registry.Add(name, address), RZ_OK);
        ASSERT_EQ(registry.Save(), RZ_OK);
    }
    // Exchange steps run on the GUI thread so far.
    size_t OnGuiThread() const { return notes.OnThisThread(); }

    CThreadNotes notes;
    CConnectionManager console{notes.Factory()};
};

}  // namespace

// Log-in through the dialog per model and firmware: the title, the drop-down menus and the
// pattern rule follow the instrument; log-out, or a lost link with the core's message, returns
// to the logo pane. No exchange runs on the GUI thread meanwhile.
TEST_F(LoginAgainstSim, DialogLoginFollowsTheInstrument) {
    struct Row {
        const char* profile;
        const char* firmware;  // nullptr: the profile's
        int controlGroups;
        bool patternsDisabled;
        bool loseLink;  // the instrument goes away instead of a log-out
    };
    const Row rows[] = {
        {"full", nullptr, 8, false, false},
        {"full", "3.05", 8, true, true},
        {"rz3200v2", nullptr, 8, true, false},
        {"rz3100", nullptr, 4, true, false},
    };
    Register("Demo", "127.  0.  0.  1");
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.profile) + " " + (row.firmware ? row.firmware : ""));
        StartSim(ShippedProfile(row.profile, [&row](CSimProfile& profile) {
            if (row.firmware != nullptr) {
                profile.firmwareVersion = row.firmware;
            }
        }));
        CMainFrame frame(port);
        CLoginControl login(console, frame, MakeStandIn);
        CModalWatcher watcher;
        watcher.onDialog = [](QDialog* dialog) {
            auto* dlg = static_cast<CLoginDlg*>(dialog);
            // The dialog takes passwords of up to 6 characters.
            dlg->UserField()->setText(QStringLiteral("user"));
            dlg->PasswordField()->setText(QStringLiteral("rzuser"));
            dlg->accept();
        };
        frame.Action(ID_LOGIN)->trigger();
        EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_FALSE(frame.Action(ID_CONFIG)->isEnabled());
        ASSERT_TRUE(ProcessEventsUntil([&] { return !frame.State().loginRunning; }));
        ASSERT_TRUE(frame.State().loggedIn) << frame.StatusPane(1)->text().toStdString();
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(frame.windowTitle(), QStringLiteral("RZ Operator-Demo"));
        EXPECT_NE(dynamic_cast<StandInView*>(frame.ClientPane()), nullptr);

        QMenu* control = frame.DropDownMenu(ID_CONTROL_MENU);
        control->popup(QPoint());
        control->hide();
        int groups = 0;
        for (const QAction* action : control->actions()) {
            groups += action->data().toInt() / 100 == 5 && action->data().toInt() < 510;
        }
        EXPECT_EQ(groups, row.controlGroups);
        const QList<QAction*> patterns = ProgramSubmenu(control)->actions().mid(2);
        ASSERT_FALSE(patterns.isEmpty());
        EXPECT_EQ(!patterns.first()->isEnabled(), row.patternsDisabled);

        // The trace shows what was said since the log-in dialogue; it stays after a lost link.
        frame.UpdateCommandStates();
        ASSERT_TRUE(frame.Action(ID_TRACE)->isEnabled());
        frame.Action(ID_TRACE)->trigger();
        auto* trace = frame.findChild<CTraceWindow*>();
        ASSERT_NE(trace, nullptr);
        EXPECT_TRUE(trace->isVisible());
        EXPECT_TRUE(trace->RowsAsText(false).contains(QStringLiteral("\t_C\t")));
        EXPECT_FALSE(trace->RowsAsText(false).contains(QStringLiteral("rzuser")));

        if (row.loseLink) {
            server->Stop();
            EXPECT_TRUE(ProcessEventsUntil([&] {
                return frame.StatusPane(1)->text() == QStringLiteral("Communicate with RZ error!");
            }));
        } else {
            frame.Action(ID_LOGOUT)->trigger();
        }
        EXPECT_EQ(frame.windowTitle(), QStringLiteral("RZ Operator"));
        EXPECT_EQ(frame.size(), CMainFrame::kLoggedOutSize);
        EXPECT_EQ(dynamic_cast<StandInView*>(frame.ClientPane()), nullptr);
        EXPECT_FALSE(frame.Action(ID_TRACE)->isEnabled());
        EXPECT_TRUE(trace->isVisible());
        EXPECT_FALSE(frame.State().loggedIn);
        EXPECT_EQ(console.ConnectionCount(), 0u);
        EXPECT_GT(notes.Total(), 0u);
        EXPECT_EQ(OnGuiThread(), 0u);
    }
}

// A log-in cancelled while the settings load leaves no connection; its progress was in the
// status pane.
TEST_F(LoginAgainstSim, CancelledDuringTheRefreshLeavesNothing) {
    CSimFaults slow;
    slow.answerDelayMs = 100;
    StartSim("full", slow);
    Register("Demo", "127.  0.  0.  1");
    CMainFrame shown(port);
    CLoginControl login(console, shown, MakeStandIn);
    bool ended = false;
    bool succeeded = true;
    QObject::connect(&shown, &CMainFrame::LoginFinished, [&](bool ok) {
        ended = true;
        succeeded = ok;
    });
    shown.LoginAtStart("Demo", "admin", std::string("rzadmin"));
    const QRegularExpression loading(QStringLiteral("^Loading settings [1-9][0-9]*/[0-9]+$"));
    ASSERT_TRUE(
        ProcessEventsUntil([&] { return loading.match(shown.StatusPane(1)->text()).hasMatch(); }));
    shown.Action(ID_CANCEL_LOGIN)->trigger();
    EXPECT_TRUE(ended);
    EXPECT_FALSE(succeeded);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(shown.Action(ID_LOGIN)->isEnabled());
    ASSERT_TRUE(ProcessEventsUntil([&] { return !console.LoginRunning(); }));
    EXPECT_EQ(console.ConnectionCount(), 0u);
    EXPECT_EQ(OnGuiThread(), 0u);
}

// A failed log-in ends with its reason in the status pane, not a progress text, and leaves no
// connection.
TEST_F(LoginAgainstSim, FailedLoginLeavesTheReason) {
    struct Row {
        const char* name;
        const char* password;
        const char* reason;
    };
    const Row rows[] = {
        {"Demo", "wrong", "E1 Login failed"},
        {"Nope", "rzadmin", "No instrument named 'Nope' is registered"},
    };
    Register("Demo", "127.  0.  0.  1");
    StartSim("full");
    for (const Row& row : rows) {
        CMainFrame frame(port);
        CLoginControl login(console, frame, MakeStandIn);
        std::vector<bool> ended;
        QObject::connect(&frame, &CMainFrame::LoginFinished, [&](bool ok) { ended.push_back(ok); });
        frame.LoginAtStart(row.name, "admin", std::string(row.password));
        ASSERT_TRUE(ProcessEventsUntil([&] { return !ended.empty(); })) << row.reason;
        EXPECT_EQ(ended, std::vector<bool>{false});
        EXPECT_EQ(frame.StatusPane(1)->text().toStdString(), row.reason);
        EXPECT_EQ(console.ConnectionCount(), 0u);
        EXPECT_FALSE(frame.State().loggedIn);
    }
}
