// The console against rzsim in process: log-in, log-out and lost link through the main window and
// the log-in controller; keyboard and screen-reader reach; two consoles in one process.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDirIterator>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <mutex>
#include <set>

#include "alarms/AlarmWatch.h"
#include "alarms/DesktopNotifier.h"
#include "app/ViewFactory.h"
#include "common/ModalWatcher.h"
#include "common/SimFixture.h"
#include "platform/Configuration.h"
#include "registry/InstrumentRegistry.h"
#include "registry/InstrumentSettings.h"
#include "registry_ui/RegisterDlg.h"
#include "secrets/KeychainPasswordStore.h"
#include "shell/AlarmMarks.h"
#include "shell/CommandTable.h"
#include "shell/ConfigDlg.h"
#include "shell/ControlDialogBar.h"
#include "shell/DisplayMenus.h"
#include "shell/LoginControl.h"
#include "shell/LoginDlg.h"
#include "shell/MainFrame.h"
#include "shell/TraceWindow.h"
#include "views/LogReporterDlg.h"
#include "views/RzView.h"

namespace {

class LoginAgainstSim : public SimFixture {
  protected:
    void SetUp() override {
        SimFixture::SetUp();
        WriteCycle1000();
        CInstrumentRegistry registry;
        ASSERT_TRUE(registry.Load().ok());
        ASSERT_EQ(registry.Add("Demo", "127.  0.  0.  1"), RZ_OK);
        ASSERT_EQ(registry.Add("Other", "127.  0.  0.  1"), RZ_OK);
        ASSERT_TRUE(registry.Save().ok());
    }
};

class KeyboardAccess : public LoginAgainstSim {
  protected:
    void SetUp() override {
        LoginAgainstSim::SetUp();
        StartSim("full");
        frame = std::make_unique<CMainFrame>(port);
        login = std::make_unique<CLoginControl>(manager, *frame, MakeInstrumentView);
        bool shown = false;
        QObject::connect(login.get(), &CLoginControl::FirstDataShown, [&shown] { shown = true; });
        frame->show();
        frame->LoginAtStart("Demo", "admin", std::string("rzdemo"));
        ASSERT_TRUE(ProcessEventsUntil([&] { return shown; }))
            << frame->StatusPane(1)->text().toStdString();
        frame->UpdateCommandStates();
    }
    void TearDown() override {
        login.reset();
        frame.reset();
        LoginAgainstSim::TearDown();
    }

    std::unique_ptr<CMainFrame> frame;
    std::unique_ptr<CLoginControl> login;
};

// Every action the menu bar reaches, through its menus and their submenus.
void CollectMenuActions(const QList<QAction*>& actions, std::set<const QAction*>& into) {
    for (const QAction* action : actions) {
        if (into.insert(action).second && action->menu() != nullptr) {
            CollectMenuActions(action->menu()->actions(), into);
        }
    }
}

bool IsInteractive(const QWidget* widget) {
    return qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QLineEdit*>(widget) ||
           qobject_cast<const QComboBox*>(widget) ||
           qobject_cast<const QAbstractSpinBox*>(widget) ||
           qobject_cast<const QAbstractItemView*>(widget);
}

// The shown inputs and buttons of `window` a screen reader cannot name. The parts of a compound
// input (a spin box's or combo box's own line edit, a table's headers) are read with the input.
QStringList UnnamedInputs(QWidget* window) {
    QStringList unnamed;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (!IsInteractive(widget) || !widget->isVisibleTo(window)) {
            continue;
        }
        bool part = false;
        for (QWidget* up = widget->parentWidget(); up != window && up != nullptr;
             up = up->parentWidget()) {
            part = part || qobject_cast<QComboBox*>(up) || qobject_cast<QAbstractSpinBox*>(up) ||
                   qobject_cast<QAbstractItemView*>(up);
        }
        QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(widget);
        const QString name = reader != nullptr ? reader->text(QAccessible::Name) : QString();
        if (!part && widget->accessibleName().isEmpty() && name.trimmed().isEmpty()) {
            unnamed << QStringLiteral("%1 %2 in %3")
                           .arg(QString::fromLatin1(widget->metaObject()->className()),
                                widget->objectName(), window->windowTitle());
        }
    }
    return unnamed;
}

struct Console {
    std::unique_ptr<CSimServer> sim;
    CConnectionManager manager;
    std::unique_ptr<CMainFrame> frame;
    std::unique_ptr<CLoginControl> login;
    bool shown = false;
};

}  // namespace

// Log-in through the dialog per model and firmware: menus and pattern rule follow the instrument;
// log-out, or a lost link with the core's message, returns to the logo; nothing on the GUI thread.
TEST_F(LoginAgainstSim, DialogLoginFollowsTheInstrument) {
    struct Row {
        const char* profile;
        const char* firmware;  // nullptr: the profile's
        int controlGroups;
        bool patternsDisabled;
        bool loseLink;      // the instrument goes away instead of a log-out
        const char* alarm;  // the alarm pane once logged in
    };
    const Row rows[] = {
        {"full", nullptr, 8, false, false, "Alarm on channel 3 (PI-201)"},
        {"full", "3.05", 8, true, true, "Alarm on channel 3 (PI-201)"},
        {"rz3100", nullptr, 4, true, false, "Alarm on channel 6 (LI-6)"},
    };
    manager.SetLinkTimeout(300);
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.profile) + " " + (row.firmware ? row.firmware : ""));
        StartSim(ShippedProfile(row.profile, [&row](CSimProfile& profile) {
            if (row.firmware != nullptr) {
                profile.firmwareVersion = row.firmware;
            }
        }));
        CMainFrame frame(port);
        CLoginControl login(manager, frame, MakeInstrumentView);
        CAlarmWatch alarms(manager, nullptr);  // marks only: no desktop notifications
        ShowAlarmMarks(alarms, login, frame);
        CModalWatcher watcher;
        watcher.onDialog = [](QDialog* dialog) {
            auto* dlg = static_cast<CLoginDlg*>(dialog);
            // The dialog takes passwords of up to 6 characters.
            dlg->UserField()->setText(QStringLiteral("user"));
            dlg->PasswordField()->setText(QStringLiteral("rzuser"));
            dlg->accept();
        };
        frame.Action(Command::kLogin)->trigger();
        EXPECT_NE(QGuiApplication::overrideCursor(), nullptr);
        ASSERT_TRUE(ProcessEventsUntil([&] { return !frame.State().loginRunning; }));
        ASSERT_TRUE(frame.State().loggedIn) << frame.StatusPane(1)->text().toStdString();
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(frame.windowTitle(), QStringLiteral("RZ Operator-Demo"));
        EXPECT_TRUE(frame.AlarmPane()->isVisibleTo(&frame));
        EXPECT_EQ(frame.AlarmPane()->text().toStdString(), row.alarm);

        QMenu* control = frame.DropDownMenu(Command::kControlMenu);
        control->popup(QPoint());
        control->hide();
        int groups = 0;
        for (const QAction* action : control->actions()) {
            groups += action->data().value<CommandRef>().command == Command::kControlGroup;
        }
        EXPECT_EQ(groups, row.controlGroups);
        const QList<QAction*> patterns = ProgramSubmenu(control)->actions().mid(2);
        ASSERT_FALSE(patterns.isEmpty());
        EXPECT_EQ(!patterns.first()->isEnabled(), row.patternsDisabled);

        // The trace shows what was said since the log-in dialogue; it stays after a lost link.
        frame.UpdateCommandStates();
        ASSERT_TRUE(frame.Action(Command::kTrace)->isEnabled());
        frame.Action(Command::kTrace)->trigger();
        auto* trace = frame.findChild<CTraceWindow*>();
        ASSERT_NE(trace, nullptr);
        EXPECT_TRUE(trace->isVisible());
        EXPECT_TRUE(trace->RowsAsText(false).contains(QStringLiteral("\t_C\t")));
        EXPECT_FALSE(trace->RowsAsText(false).contains(QStringLiteral("rzuser")));

        if (row.loseLink) {
            // The status pane ends with the lost link's cause, which names rzsim (closed or
            // reset, as the stop met the exchange).
            const QString address = QString("127.0.0.1:%1").arg(port);
            server->Stop();
            EXPECT_TRUE(
                ProcessEventsUntil([&] { return frame.StatusPane(1)->text().contains(address); }));
        } else {
            frame.Action(Command::kLogout)->trigger();
        }
        EXPECT_EQ(frame.windowTitle(), QStringLiteral("RZ Operator"));
        EXPECT_EQ(frame.size(), CMainFrame::kLoggedOutSize);
        EXPECT_FALSE(frame.AlarmPane()->isVisibleTo(&frame));
        EXPECT_FALSE(frame.Action(Command::kTrace)->isEnabled());
        EXPECT_TRUE(trace->isVisible());
        EXPECT_FALSE(frame.State().loggedIn);
        EXPECT_EQ(manager.ConnectionCount(), 0u);
        EXPECT_GT(notes.Total(), 0u);
        EXPECT_EQ(notes.OnThisThread(), 0u);
    }
}

// A log-in cancelled while the settings load (its progress in the status pane) leaves nothing.
TEST_F(LoginAgainstSim, CancelledDuringTheRefreshLeavesNothing) {
    CSimFaults slow;
    slow.answerDelayMs = 100;
    StartSim("full", slow);
    manager.SetLinkTimeout(300);
    CMainFrame shown(port);
    CLoginControl login(manager, shown, MakeInstrumentView);
    std::vector<bool> ended;
    QObject::connect(&shown, &CMainFrame::LoginFinished, [&](bool ok) { ended.push_back(ok); });
    shown.LoginAtStart("Demo", "admin", std::string("rzdemo"));
    const QRegularExpression loading(QStringLiteral("^Loading settings [1-9][0-9]*/[0-9]+$"));
    ASSERT_TRUE(
        ProcessEventsUntil([&] { return loading.match(shown.StatusPane(1)->text()).hasMatch(); }));
    shown.Action(Command::kCancelLogin)->trigger();
    EXPECT_EQ(ended, std::vector<bool>{false});
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(shown.Action(Command::kLogin)->isEnabled());
    ASSERT_TRUE(ProcessEventsUntil([&] { return !manager.LoginRunning(); }));
    EXPECT_EQ(manager.ConnectionCount(), 0u);
    EXPECT_EQ(notes.OnThisThread(), 0u);
}

// A failed log-in leaves its reason in the status pane, not a progress text, and no connection.
TEST_F(LoginAgainstSim, FailedLoginLeavesTheReason) {
    struct Row {
        const char* name;
        const char* password;
        const char* reason;
    };
    const Row rows[] = {
        {"Demo", "wrong", "Log-in to Demo failed: password refused (E1 Login failed)"},
        {"Nope", "rzdemo", "No instrument named 'Nope' is registered"},
    };
    StartSim("full");
    for (const Row& row : rows) {
        CMainFrame frame(port);
        CLoginControl login(manager, frame, MakeInstrumentView);
        std::vector<bool> ended;
        QObject::connect(&frame, &CMainFrame::LoginFinished, [&](bool ok) { ended.push_back(ok); });
        frame.LoginAtStart(row.name, "admin", std::string(row.password));
        ASSERT_TRUE(ProcessEventsUntil([&] { return !ended.empty(); })) << row.reason;
        EXPECT_EQ(ended, std::vector<bool>{false});
        EXPECT_EQ(frame.StatusPane(1)->text().toStdString(), row.reason);
        EXPECT_EQ(manager.ConnectionCount(), 0u);
        EXPECT_FALSE(frame.State().loggedIn);
    }
}

// A command on a tool bar or on the dialog bar that no menu offers cannot be run without a mouse.
TEST_F(KeyboardAccess, EveryBarCommandHasAMenuEntry) {
    std::set<const QAction*> inMenus;
    CollectMenuActions(frame->menuBar()->actions(), inMenus);
    QStringList missing;
    int commands = 0;
    auto check = [&](const QAction* command, const QString& where) {
        ++commands;
        if (command == nullptr || inMenus.count(command) == 0) {
            missing << where;
        }
    };
    for (QToolBar* bar : frame->findChildren<QToolBar*>()) {
        for (QAction* action : bar->actions()) {
            QWidget* shown = bar->widgetForAction(action);
            if (action->isSeparator()) {
                continue;
            }
            if (auto* dialogBar = qobject_cast<CControlDialogBar*>(shown)) {
                for (Command command : CControlDialogBar::kButtonCommands) {
                    check(frame->Action(command), dialogBar->Button(command)->text());
                }
            } else if (auto* button = qobject_cast<QToolButton*>(shown);
                       button != nullptr && button->defaultAction() != nullptr) {
                check(button->defaultAction(), button->defaultAction()->text());
            } else {
                check(action, bar->objectName() + QLatin1Char('/') +
                                  (shown ? shown->metaObject()->className() : "") +
                                  QLatin1Char('/') + action->text());
            }
        }
    }
    EXPECT_GE(commands, 7 + 9);  // the dialog bar's buttons and the main tool bar's commands
    EXPECT_TRUE(missing.isEmpty()) << missing.join(QStringLiteral(", ")).toStdString();
}

// The accessibility walk of each window the console opens.
TEST_F(KeyboardAccess, EveryInputAndButtonIsNamed) {
    QTemporaryDir dir;
    CUserSettings store(dir.filePath(QStringLiteral("user.ini")));
    CLoginDlg loginDlg(store);
    CConfigDlg configDlg(dir.filePath(QStringLiteral("SimpleCtrl.ini")).toStdString());
    CRegisterDlg registerDlg;
    frame->Action(Command::kLog)->trigger();
    frame->Action(Command::kTrace)->trigger();
    ASSERT_TRUE(
        ProcessEventsUntil([&] { return frame->findChild<CLogReporterDlg*>() != nullptr; }));
    ASSERT_NE(frame->findChild<CTraceWindow*>(), nullptr);
    const struct {
        const char* name;
        QWidget* window;
    } windows[] = {
        {"main window", frame.get()},
        {"log-in dialog", &loginDlg},
        {"Config dialog", &configDlg},
        {"Register dialog", &registerDlg},
        {"log reporter", frame->findChild<CLogReporterDlg*>()},
        {"trace window", frame->findChild<CTraceWindow*>()},
    };
    for (const auto& row : windows) {
        row.window->show();
        const QStringList unnamed = UnnamedInputs(row.window);
        EXPECT_TRUE(unnamed.isEmpty())
            << row.name << ": " << unnamed.join(QStringLiteral(", ")).toStdString();
        EXPECT_FALSE(row.window->findChildren<QAbstractButton*>().isEmpty()) << row.name;
    }
}

// Every view command, run as the operator runs it, leaves its exchanges off the GUI thread.
TEST_F(KeyboardAccess, EveryViewCommandRunsOffTheGuiThread) {
    CInstrumentConnection* connection = Find(login->ConnectionId());
    ASSERT_NE(connection, nullptr);
    auto* view = dynamic_cast<CRZView*>(frame->ClientPane());
    ASSERT_NE(view, nullptr);
    CModalWatcher watcher(QMessageBox::Cancel);
    watcher.onDialog = [](QDialog* dialog) { dialog->reject(); };
    using enum Command;
    std::vector<CommandRef> commands = {kInternalSwitch,  kDioStatus,   kProgram,
                                        kControlOverview, kOverview,    kControllerStyle,
                                        kFaceplateStyle,  kHybridStyle, kAllChannels,
                                        kGroupChannels,   kTrendScale,  kTrendDigital,
                                        kStyleShift,      kStyleShift,  kRefresh,
                                        kSaveImage,       kMath,        kMath,
                                        kMathReset,       kMemory,      kMemory,
                                        kAlarmAck,        kSaveDisplay, kLog};
    commands.emplace_back(kPattern, 1);
    for (Command family : {kControlGroup, kTrendGroup, kDigitalGroup, kBarGroup}) {
        const int count = family == kControlGroup ? kControlGroupCount : kMeasureGroupCount;
        for (int member = 1; member <= count; ++member) {
            commands.emplace_back(family, member);
        }
    }
    const size_t before = notes.Total();
    int ran = 0;
    for (CommandRef command : commands) {
        SCOPED_TRACE(testing::Message()
                     << "command " << static_cast<int>(command.command) << " #" << command.index);
        if (!view->StateOf(command).enabled) {
            continue;
        }
        ++ran;
        view->Run(command);
        ASSERT_TRUE(ProcessEventsUntil([&] { return !connection->OperationRunning(); }));
    }
    EXPECT_GE(ran, 50);
    EXPECT_GT(notes.Total(), before) << "the commands reached the instrument";
    EXPECT_EQ(notes.OnThisThread(), 0u);
}

// Two consoles in one process run independently; the user's store keeps what each remembered.
TEST_F(LoginAgainstSim, TwoConsolesRunIndependentlyAndKeepEachOthersSettings) {
    const struct {
        const char* instrument;
        const char* user;
        const char* password;
    } rows[] = {{"Demo", "admin", "rzdemo"}, {"Other", "user", "rzuser"}};

    Console consoles[2];
    for (size_t i = 0; i < 2; ++i) {
        Console& console = consoles[i];
        console.sim = StartSimServer(ShippedProfile("full"));
        ASSERT_NE(console.sim, nullptr);
        ASSERT_EQ(console.manager.Init(), RZ_OK);
        console.frame = std::make_unique<CMainFrame>(console.sim->Port());
        console.login =
            std::make_unique<CLoginControl>(console.manager, *console.frame, MakeInstrumentView);
        QObject::connect(console.login.get(), &CLoginControl::FirstDataShown,
                         [&console] { console.shown = true; });
    }
    // Both windows are open, each with its own handle on the user's store, before either logs
    // in.
    for (size_t i = 0; i < 2; ++i) {
        Console& console = consoles[i];
        console.frame->LoginAtStart(rows[i].instrument, rows[i].user,
                                    std::string(rows[i].password));
        ASSERT_TRUE(ProcessEventsUntil([&] { return console.shown; }))
            << console.frame->StatusPane(1)->text().toStdString();
    }
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(consoles[i].frame->windowTitle().toStdString(),
                  std::string("RZ Operator-") + rows[i].instrument);
        EXPECT_EQ(consoles[i].manager.ConnectionCount(), 1u);
    }
    // What each console remembered is still there after the other wrote to the same files.
    EXPECT_EQ(CUserSettings().LastLogin(), "Other");
    for (const auto& row : rows) {
        EXPECT_EQ(CInstrumentSettings().For(row.instrument).userName, row.user);
    }

    // The first console logs out; the second goes on with its cycle, asking its own instrument.
    consoles[0].frame->Action(Command::kLogout)->trigger();
    EXPECT_EQ(consoles[0].manager.ConnectionCount(), 0u);
    const size_t firstAsked = CommandRequestsFrom(*consoles[0].sim, 0).size();
    const size_t secondAsked = CommandRequestsFrom(*consoles[1].sim, 0).size();
    EXPECT_TRUE(ProcessEventsUntil(
        [&] { return CommandRequestsFrom(*consoles[1].sim, secondAsked).size() >= 2; }));
    EXPECT_EQ(CommandRequestsFrom(*consoles[0].sim, 0).size(), firstAsked);
    EXPECT_TRUE(consoles[1].frame->State().loggedIn);
}

// A known password through log-ins with "Remember password" ticked, then not, with a secret store
// and with QtKeychain where no Secret Service answers: the next dialog fills it in only while it
// is remembered (without a secret store, from memory for this session), and it never shows in a
// file of the data or configuration directory, the trace, a status text or a Qt message.
TEST_F(LoginAgainstSim, RememberedPasswordsNeverReachAFileTheTraceOrTheLog) {
    static const QString kPassword = QStringLiteral("Qz7#kw");
    StartSim(ShippedProfile("full", [](CSimProfile& profile) {
        profile.users.at(0).password = kPassword.toStdString();
    }));
    static QStringList messages;
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& text) { messages << text; });
    const QByteArray bus = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    QStringList seen;  // trace and status texts
    std::mutex statusLock;
    std::vector<std::string> statusTexts;
    for (const bool secretStore : {true, false}) {
        CMainFrame frame(port);
        auto* memory = secretStore ? new CMemoryPasswordStore : nullptr;
        frame.SetSecretStore(memory != nullptr ? std::unique_ptr<IPasswordStore>(memory)
                                               : std::make_unique<CKeychainPasswordStore>());
        CLoginControl login(manager, frame, MakeInstrumentView);
        // Every status text on its way to the frame's status pane, from any thread.
        const StatusSink relay = SetStatusSink({});
        SetStatusSink([&statusLock, &statusTexts, relay](const std::string& text) {
            const std::lock_guard hold(statusLock);
            statusTexts.push_back(text);
            relay(text);
        });
        for (const bool remember : {true, false}) {
            SCOPED_TRACE(std::to_string(secretStore) + std::to_string(remember));
            CModalWatcher watcher;
            watcher.onDialog = [remember](QDialog* dialog) {
                auto* dlg = static_cast<CLoginDlg*>(dialog);
                dlg->UserField()->setText(QStringLiteral("admin"));
                dlg->PasswordField()->setText(kPassword);
                dlg->RememberBox()->setChecked(remember);
                dlg->accept();
            };
            frame.Action(Command::kLogin)->trigger();
            ASSERT_TRUE(ProcessEventsUntil([&] { return !frame.State().loginRunning; }));
            ASSERT_TRUE(frame.State().loggedIn) << frame.StatusPane(1)->text().toStdString();
            const bool sessionOnly = remember && !secretStore;
            EXPECT_EQ(ProcessEventsUntil(
                          [&] {
                              return frame.StatusPane(1)->text().startsWith(
                                  "The password for Demo is kept until the console closes");
                          },
                          std::chrono::milliseconds(sessionOnly ? 10000 : 300)),
                      sessionOnly);
            seen << frame.StatusPane(1)->text();
            if (memory != nullptr) {
                EXPECT_EQ(memory->Count(), remember ? 1u : 0u);
            }
            EXPECT_EQ(CInstrumentSettings().For("Demo").rememberPassword, remember);
            for (const CTraceEntry& entry : login.Trace()->Entries()) {
                seen << QString::fromStdString(entry.request + '\t' + entry.answer);
            }
            frame.Action(Command::kLogout)->trigger();
            // The next log-in dialog, on the same instrument and user.
            watcher.onDialog = [remember](QDialog* dialog) {
                auto* dlg = static_cast<CLoginDlg*>(dialog);
                EXPECT_EQ(dlg->RememberBox()->isChecked(), remember);
                EXPECT_EQ(
                    ProcessEventsUntil([dlg] { return !dlg->PasswordField()->text().isEmpty(); },
                                       std::chrono::milliseconds(remember ? 10000 : 300)),
                    remember);
                EXPECT_EQ(dlg->PasswordField()->text(), remember ? kPassword : QString());
                // A filled-in password is not left for another instrument.
                dlg->SelectInstrument("Other");
                EXPECT_EQ(dlg->PasswordField()->text(), QString());
                dlg->reject();
            };
            frame.Action(Command::kLogin)->trigger();
        }
        SetStatusSink(relay);
    }
    qputenv("DBUS_SESSION_BUS_ADDRESS", bus);
    qInstallMessageHandler(previous);
    for (const std::string& text : statusTexts) {
        seen << QString::fromStdString(text);
    }
    EXPECT_TRUE(seen.contains(QStringLiteral("Logging in to Demo...")));
    EXPECT_FALSE(seen.filter(QStringLiteral("\t")).isEmpty()) << "the trace was read";
    EXPECT_TRUE(seen.filter(kPassword).isEmpty())
        << seen.filter(kPassword).join(u'|').toStdString();
    EXPECT_TRUE(messages.filter(kPassword).isEmpty());
    int files = 0;
    for (const QString& root : {dataDir.path(), qEnvironmentVariable("XDG_CONFIG_HOME")}) {
        QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_FALSE(file.readAll().contains(kPassword.toLatin1()))
                << file.fileName().toStdString();
            ++files;
        }
    }
    EXPECT_GE(files, 3);  // the registry, Instruments.ini and RZOperator.conf at least
}
