// Keyboard and screen-reader reach of the logged-in console against rzsim in process, with the
// console's real instrument view: every command of a bar has a menu entry, and every input and
// button of every window has a name a screen reader can read out.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <set>

#include "app/ViewFactory.h"
#include "common/ModalWatcher.h"
#include "common/SimFixture.h"
#include "common/ThreadNotes.h"
#include "platform/Configuration.h"
#include "registry/InstrumentRegistry.h"
#include "registry_ui/RegisterDlg.h"
#include "shell/CommandTable.h"
#include "shell/ConfigDlg.h"
#include "shell/ControlDialogBar.h"
#include "shell/LoginControl.h"
#include "shell/LoginDlg.h"
#include "shell/MainFrame.h"
#include "shell/TraceWindow.h"
#include "views/LogReporterDlg.h"
#include "views/RzView.h"

namespace {

class KeyboardAccess : public SimFixture {
  protected:
    void SetUp() override {
        SimFixture::SetUp();
        WriteCycle1000();
        StartSim("full");
        CInstrumentRegistry registry;
        registry.Load();
        ASSERT_EQ(registry.Add("Demo", "127.  0.  0.  1"), RZ_OK);
        ASSERT_EQ(registry.Save(), RZ_OK);
        ASSERT_EQ(console.Init(), RZ_OK);
        frame = std::make_unique<CMainFrame>(port);
        login = std::make_unique<CLoginControl>(console, *frame, MakeInstrumentView);
        bool shown = false;
        QObject::connect(login.get(), &CLoginControl::FirstDataShown, [&shown] { shown = true; });
        frame->show();
        frame->LoginAtStart("Demo", "admin", std::string("rzadmin"));
        ASSERT_TRUE(ProcessEventsUntil([&] { return shown; }))
            << frame->StatusPane(1)->text().toStdString();
        frame->UpdateCommandStates();
    }
    void TearDown() override {
        login.reset();
        frame.reset();
        console.CloseAll();
        SimFixture::TearDown();
    }
    template <typename T>
    static T* OpenWindow() {
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (auto* found = qobject_cast<T*>(window); found != nullptr && found->isVisible()) {
                return found;
            }
        }
        return nullptr;
    }

    // The console's links note the thread of every exchange step.
    CThreadNotes notes;
    CConnectionManager console{notes.Factory()};
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

}  // namespace

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
                for (int id : CControlDialogBar::kButtonIds) {
                    check(frame->Action(id), dialogBar->Button(id)->text());
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
    frame->Action(ID_LOG)->trigger();
    frame->Action(ID_TRACE)->trigger();
    ASSERT_TRUE(ProcessEventsUntil([&] { return OpenWindow<CLogReporterDlg>() != nullptr; }));
    ASSERT_NE(OpenWindow<CTraceWindow>(), nullptr);
    const struct {
        const char* name;
        QWidget* window;
    } windows[] = {
        {"main window", frame.get()},
        {"log-in dialog", &loginDlg},
        {"Config dialog", &configDlg},
        {"Register dialog", &registerDlg},
        {"log reporter", OpenWindow<CLogReporterDlg>()},
        {"trace window", OpenWindow<CTraceWindow>()},
    };
    for (const auto& row : windows) {
        row.window->show();
        const QStringList unnamed = UnnamedInputs(row.window);
        EXPECT_TRUE(unnamed.isEmpty())
            << row.name << ": " << unnamed.join(QStringLiteral(", ")).toStdString();
        EXPECT_FALSE(row.window->findChildren<QAbstractButton*>().isEmpty()) << row.name;
    }
}

// Every command of the view, run as the operator runs it, leaves the exchanges to the
// connection's threads: none runs on the GUI thread.
TEST_F(KeyboardAccess, EveryViewCommandRunsOffTheGuiThread) {
    CInstrumentConnection* connection = nullptr;
    ASSERT_EQ(console.FindConnection(login->ConnectionId(), &connection), RZ_OK);
    auto* view = dynamic_cast<CRZView*>(frame->ClientPane());
    ASSERT_NE(view, nullptr);
    CModalWatcher watcher(QMessageBox::Cancel);
    watcher.onDialog = [](QDialog* dialog) { dialog->reject(); };
    std::vector<int> ids{550,  551,  552,  553,   32791, 580,   581,   582,   650,
                         651,  652,  653,  32818, 32793, 32793, 32775, 32795, 2000,
                         2000, 2001, 2002, 2002,  2003,  2051,  2006};
    for (int first : {501, 601, 701, 801}) {
        for (int id = first; id < first + (first == 501 ? 8 : 10); ++id) {
            ids.push_back(id);
        }
    }
    const size_t before = notes.Total();
    int ran = 0;
    for (int id : ids) {
        SCOPED_TRACE(id);
        if (!view->StateOf(id).enabled) {
            continue;
        }
        ++ran;
        view->Run(id);
        ASSERT_TRUE(ProcessEventsUntil([&] { return !connection->OperationRunning(); }));
    }
    EXPECT_GE(ran, 50);
    EXPECT_GT(notes.Total(), before) << "the commands reached the instrument";
    EXPECT_EQ(notes.OnThisThread(), 0u);
}
