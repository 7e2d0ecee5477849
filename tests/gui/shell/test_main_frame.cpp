#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QToolBar>
#include <QToolTip>
#include <QWindow>
#include <climits>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "common/FileHelpers.h"
#include "common/ModalWatcher.h"
#include "common/TextFit.h"
#include "platform/CommandLine.h"
#include "platform/Configuration.h"
#include "platform/Paths.h"
#include "platform/StatusSink.h"
#include "registry/InstrumentRegistry.h"
#include "registry/InstrumentSettings.h"
#include "registry_ui/RegisterDlg.h"
#include "registry_ui/RegisterGrid.h"
#include "session/ExchangeTrace.h"
#include "shell/CommandTable.h"
#include "shell/ConfigDlg.h"
#include "shell/ControlDialogBar.h"
#include "shell/DisplayMenus.h"
#include "shell/LoginController.h"
#include "shell/LoginDlg.h"
#include "shell/LogoPane.h"
#include "shell/MainFrame.h"
#include "shell/Options.h"
#include "shell/OverviewPane.h"
#include "shell/StatusRelay.h"
#include "shell/TraceWindow.h"
#include "shell/WindowPlace.h"
#include "ui/FlatLook.h"
#include "ui/Widgets.h"
#include "views/LogReporterDlg.h"

namespace {

// The view as the frame sees it: the image-window commands it enables, and the math caption.
struct FakeView : ICommandTarget {
    std::vector<CommandRef> ran;
    CommandState StateOf(CommandRef command) const override {
        CommandState state;
        state.enabled = command != Command::kStyleShift && command != Command::kMathReset &&
                        command != CommandRef(Command::kMessage, 8);
        state.caption = command == Command::kMath ? QStringLiteral("Stop math") : QString();
        return state;
    }
    void Run(CommandRef command) override { ran.push_back(command); }
};

struct FakeLogin : ILoginController {
    std::vector<LoginRequest> started;
    int cancelled = 0;
    int loggedOut = 0;
    void StartLogin(const LoginRequest& request) override { started.push_back(request); }
    void CancelLogin() override { ++cancelled; }
    void Logout() override { ++loggedOut; }
};

// A data directory with a registry of `records` (none: no file) and a user's store beside it.
struct DataDir {
    struct Record {
        const char* name;
        const char* ip = "  1.  2.  3.  4";
    };
    using Records = std::vector<Record>;
    QTemporaryDir dir;
    CUserSettings store{dir.filePath(QStringLiteral("user.ini"))};
    explicit DataDir(const Records& records) {
        SetDataDirectory(dir.path().toStdString());
        if (records.empty()) {
            return;
        }
        CInstrumentRegistry registry;
        EXPECT_TRUE(registry.Load().ok());
        for (const auto& [name, ip] : records) {
            registry.Add(name, ip);
        }
        EXPECT_TRUE(registry.Save().ok());
    }
    ~DataDir() { SetDataDirectory({}); }
};

std::vector<CommandRef> ItemCommands(const QMenu* menu) {
    std::vector<CommandRef> commands;
    for (const QAction* action : menu->actions()) {
        if (action->data().isValid()) {
            commands.push_back(action->data().value<CommandRef>());
        }
    }
    return commands;
}

// "Pattern 3+" lists the program submenu's pattern items, "+" enabled and "-" greyed.
std::string PatternItems(const QMenu* program) {
    std::string items;
    for (const QAction* action : program->actions().mid(2)) {
        items += action->text().toStdString() + (action->isEnabled() ? "+" : "-");
    }
    return items;
}

QStringList Items(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) {
        items << combo->itemText(i);
    }
    return items;
}

void Add(CExchangeTrace& trace, const std::string& request, const std::string& answer,
         RzResult result = RZ_OK) {
    trace.Add(0, request.data(), request.size(), answer.data(), answer.size(), 1500, result);
}

}  // namespace

TEST(CommandRules, OneTableOfStates) {
    using enum Command;
    FakeView view;
    // Columns: logged out with none registered; logged out with two; a log-in running; logged in
    // with the image shown and the control bar visible; logged in with the image hidden; two
    // instruments open; logged in with the only instrument registered.
    const FrameState states[] = {
        {false, 0, false, false, false, nullptr},    {false, 2, false, false, false, nullptr},
        {false, 2, true, false, false, nullptr},     {true, 2, false, true, true, &view},
        {true, 2, false, false, false, &view, true}, {true, 2, false, true, true, &view, false, 2},
        {true, 1, false, true, true, &view},
    };
    struct Row {
        CommandRef command;
        const char* enabled;
        const char* checked;
    };
    const Row rows[] = {
        {kLogin, "0101110", "0000000"},          {kCancelLogin, "0010000", "0000000"},
        {kLogout, "0001111", "0000000"},         {kRefresh, "0001111", "0000000"},
        {kRegister, "1101111", "0000000"},       {kStyleShift, "0000000", "0000000"},
        {kConfig, "1100000", "0000000"},         {kExit, "1111111", "0000000"},
        {kControlToolBar, "0001011", "0001011"}, {kAbout, "1111111", "0000000"},
        {kControlMenu, "0001111", "0000000"},    {kBarMenu, "0001111", "0000000"},
        {kOverview, "0001111", "0000000"},       {kSaveImage, "0001111", "0000000"},
        {kMathReset, "0000000", "0000000"},      {kWriteMessageMenu, "0001111", "0000000"},
        {kDarkLook, "1111111", "0000100"},       {kNextTab, "0000010", "0000000"},
        {kPreviousTab, "0000010", "0000000"},    {kCloseTab, "0001111", "0000000"},
    };
    for (const Row& row : rows) {
        const CommandSpec* command = FindCommand(row.command);
        ASSERT_NE(command, nullptr) << "row " << &row - rows;
        std::string enabled;
        std::string checked;
        for (const FrameState& state : states) {
            const CommandState shown = CommandStateFor(*command, state);
            enabled += shown.enabled ? '1' : '0';
            checked += shown.checked ? '1' : '0';
        }
        EXPECT_EQ(enabled, row.enabled) << command->menuText;
        EXPECT_EQ(checked, row.checked) << command->menuText;
    }
}

// One key, one command: a key two actions share would run neither.
TEST(CommandRules, EveryKeyRunsOneCommandAndTheDesktopKeysAreThere) {
    using enum Command;
    std::map<QString, const CommandSpec*> owner;
    for (const CommandSpec& command : FrameCommands()) {
        for (const QKeySequence& key : ShortcutsOf(command)) {
            EXPECT_TRUE(owner.emplace(key.toString(), &command).second)
                << key.toString().toStdString() << " of " << command.menuText << " and "
                << owner[key.toString()]->menuText;
        }
    }
    const std::pair<const char*, Command> keys[] = {
        {"Ctrl+I", kLogin},    {"Ctrl+U", kLogout},    {"Ctrl+R", kRefresh},
        {"F5", kRefresh},      {"Ctrl+E", kRegister},  {"Ctrl+T", kStyleShift},
        {"Ctrl+G", kConfig},   {"Ctrl+Q", kExit},      {"F1", kAbout},
        {"Esc", kCancelLogin}, {"Ctrl+Tab", kNextTab}, {"Ctrl+Shift+Tab", kPreviousTab},
        {"Ctrl+W", kCloseTab},
    };
    EXPECT_EQ(owner.size(), std::size(keys));
    for (const auto& [key, command] : keys) {
        ASSERT_NE(owner[QString::fromLatin1(key)], nullptr) << key;
        EXPECT_EQ(owner[QString::fromLatin1(key)]->command, command) << key;
    }
    EXPECT_EQ(ShortcutsOf(*FindCommand(kRefresh)).first(), QKeySequence(QStringLiteral("Ctrl+R")));
}

// A window on a screen too small for it, or partly off it, is brought within the screen.
TEST(WindowPlace, FitsTheWindowWithinTheScreensArea) {
    const QRect desk(0, 0, 1280, 900);
    const struct {
        QRect window;
        QRect area;
        QRect fitted;
    } rows[] = {
        {{100, 80, 600, 400}, desk, {100, 80, 600, 400}},
        {{20, 10, 802, 598}, {0, 0, 640, 450}, {0, 0, 640, 450}},  // twice the scale
        {{1000, 100, 600, 400}, desk, {680, 100, 600, 400}},
        {{-50, -20, 600, 400}, desk, {0, 0, 600, 400}},
        {{100, 100, 600, 1000}, desk, {100, 0, 600, 900}},
        {{0, 0, 600, 400}, {1280, 32, 1920, 1048}, {1280, 32, 600, 400}},  // a second screen
        {{100, 80, 600, 400}, {}, {100, 80, 600, 400}},                    // no screen
    };
    for (const auto& row : rows) {
        EXPECT_EQ(FitWithin(row.window, row.area), row.fitted)
            << row.window.x() << "," << row.window.y();
    }
}

TEST(StatusRelay, TextsFromAnyThreadArriveInOrder) {
    std::vector<QString> shown;
    {
        CStatusRelay relay([&](const QString& text) { shown.push_back(text); });
        constexpr int kThreads = 4;
        constexpr int kTexts = 500;
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([t] {
                for (int i = 0; i < kTexts; ++i) {
                    ShowStatusMessage(std::to_string(t) + ":" + std::to_string(i) + "\r\n");
                }
            });
        }
        // Delivered while the threads still show texts.
        ASSERT_TRUE(QTest::qWaitFor([&] { return shown.size() == size_t{kThreads * kTexts}; }));
        for (auto& thread : threads) {
            thread.join();
        }
        ShowStatusMessage("last");
        ASSERT_TRUE(QTest::qWaitFor([&] { return shown.back() == QStringLiteral("last"); }));
        ASSERT_EQ(shown.size(), size_t{kThreads * kTexts + 1});
        int next[kThreads] = {};
        for (size_t k = 0; k + 1 < shown.size(); ++k) {
            const int t = shown[k].section(u':', 0, 0).toInt();
            EXPECT_EQ(shown[k].section(u':', 1).toInt(), next[t]++) << shown[k].toStdString();
        }
    }
    ShowStatusMessage("after the relay");
    QCoreApplication::processEvents();
    EXPECT_EQ(shown.back(), QStringLiteral("last"));
}

TEST(MainFrame, LogInAttachesTheViewAndLogOutReturnsToTheLogo) {
    DataDir data(DataDir::Records{{"Boiler", " 10.  0.  0.  9"}, {"Line-3", "127.  0.  0.  1"}});
    FakeLogin login;
    FakeView commands;
    QWidget view;
    view.setFixedSize(640, 482);
    CMainFrame frame(4000);
    frame.SetLoginController(&login);
    frame.show();
    EXPECT_EQ(frame.size(), CMainFrame::kLoggedOutSize);
    EXPECT_TRUE(frame.ControlToolBar()->isHidden());

    CModalWatcher watcher;
    watcher.onDialog = [](QDialog* dialog) {
        auto* dlg = qobject_cast<CLoginDlg*>(dialog);
        ASSERT_NE(dlg, nullptr);
        dlg->Instruments()->setCurrentIndex(1);
        dlg->UserField()->setText(QStringLiteral("admin"));
        dlg->PasswordField()->setText(QStringLiteral("rzadm"));
        dlg->accept();
    };
    frame.Action(Command::kLogin)->trigger();
    ASSERT_EQ(login.started.size(), 1u);
    const LoginRequest& r = login.started[0];
    EXPECT_EQ(std::tie(r.instrumentName, r.address, r.port, r.userName, r.password),
              std::make_tuple("Line-3", "127.0.0.1", 4000, "admin", "rzadm"));
    EXPECT_FALSE(frame.Action(Command::kLogin)->isEnabled());  // while the log-in runs
    frame.Action(Command::kCancelLogin)->trigger();
    EXPECT_EQ(login.cancelled, 1);

    InstrumentFacts facts;  // model 3200, firmware 3.06, no pattern running
    facts.version = kPatternMenuVersion;
    frame.LoginSucceeded(&view, &commands, [&] { return facts; });
    QCoreApplication::processEvents();
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("RZ Operator-Line-3"));
    EXPECT_EQ(frame.ClientPane(), &view);
    EXPECT_FALSE(frame.ControlToolBar()->isHidden());
    EXPECT_EQ(frame.centralWidget()->size(), QSize(645, 487));  // the view and 5 pixels each way
    EXPECT_EQ(CUserSettings().LastLogin(), "Line-3");
    // The user name goes to the instrument's settings beside the registry, no longer to the
    // user's store.
    EXPECT_EQ(CInstrumentSettings().For("Line-3").userName, "admin");
    EXPECT_EQ(CUserSettings().UserNameFor("Line-3"), "");
    using enum Command;
    EXPECT_EQ(frame.DialogBar()->Button(kMath)->text(), QStringLiteral("Stop math"));
    EXPECT_FALSE(frame.DialogBar()->Button(kMathReset)->isEnabled());
    frame.DialogBar()->Button(kLog)->click();
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    QTest::keyClick(frame.StatusPane(1), Qt::Key_F5);
    EXPECT_EQ(commands.ran, (std::vector<CommandRef>{kLog, kRefresh}));
    // Save and Message drop their items down, in the view's states; an item runs in the view.
    const struct {
        Command button;
        std::vector<CommandRef> items;
        const char* enabled;
    } dropDowns[] = {
        {kSaveDataMenu, {kSaveDisplay, kSaveEvent, kManualSample, kManualTrigger}, "1111"},
        {kWriteMessageMenu,
         {{kMessage, 1},
          {kMessage, 2},
          {kMessage, 3},
          {kMessage, 4},
          {kMessage, 5},
          {kMessage, 6},
          {kMessage, 7},
          {kMessage, 8}},
         "11111110"}};
    for (const auto& [button, items, enabled] : dropDowns) {
        QMenu* menu = frame.DropDownMenu(button);
        frame.DialogBar()->Button(button)->click();
        std::string shown;
        for (const QAction* item : menu->actions()) {
            shown += item->isEnabled() ? '1' : '0';
        }
        menu->hide();
        ASSERT_EQ(ItemCommands(menu), items);
        EXPECT_EQ(shown, enabled);
        menu->actions().first()->trigger();
        EXPECT_EQ(commands.ran.back(), items.front());
    }
    // The Control drop-down asks for the running patterns at each drop-down.
    QMenu* control = frame.DropDownMenu(kControlMenu);
    facts.patternStates[3] = 2;
    control->popup(QPoint());
    control->hide();
    const QAction* last = ProgramSubmenu(control)->actions().last();
    EXPECT_EQ(last->text(), QStringLiteral("Pattern 4"));
    ProgramSubmenu(control)->actions().last()->trigger();
    EXPECT_EQ(commands.ran.back(), CommandRef(kPattern, 4));

    // The view hides and shows its image: the control bars follow, the view keeps its size.
    const QSize client = frame.centralWidget()->size();
    for (bool show : {false, true}) {
        frame.ShowControlBars(show);
        QCoreApplication::processEvents();
        EXPECT_EQ(frame.ControlToolBar()->isHidden(), !show);
        EXPECT_EQ(frame.centralWidget()->size(), client) << show;
        EXPECT_EQ(frame.Action(kControlToolBar)->isEnabled(), show);
    }
    const QSize before = frame.size();
    frame.ResizeForView(-20, 30);
    EXPECT_EQ(frame.size(), before + QSize(-20, 30));

    frame.Action(kLogout)->trigger();
    EXPECT_EQ(login.loggedOut, 1);
    EXPECT_EQ(frame.windowTitle(), QStringLiteral("RZ Operator"));
    EXPECT_NE(frame.ClientPane(), &view);
    EXPECT_TRUE(frame.ControlToolBar()->isHidden());
    EXPECT_EQ(frame.size(), CMainFrame::kLoggedOutSize);
    EXPECT_TRUE(frame.Action(kLogin)->isEnabled());
    // Closing the window while logged in logs out as well.
    frame.Action(kLogin)->trigger();
    frame.LoginSucceeded(&view, &commands, [&] { return facts; });
    frame.close();
    EXPECT_EQ(login.loggedOut, 2);
}

// With more than one instrument the overview is the first page: Return on a row opens the log-in
// dialog for it, or the tab of an instrument open; View > Plant overview shows the overview again.
TEST(MainFrame, OverviewRowsOpenByKeyboard) {
    {
        DataDir one(DataDir::Records{{"Line-3", "127.  0.  0.  1"}});
        CMainFrame frame;
        EXPECT_NE(qobject_cast<CLogoPane*>(frame.ClientPane()), nullptr);
    }
    DataDir data(DataDir::Records{{"Boiler", "127.  0.  0.  9"},
                                  {"Spare", "127.  0.  0.  8"},
                                  {"Line-3", "127.  0.  0.  1"}});
    CInstrumentSettings().Set("Spare", {"", false, false});  // not shown in the overview
    FakeLogin login;
    FakeView commands;
    QWidget view;
    QWidget boiler;
    CMainFrame frame(4000);
    frame.SetLoginController(&login);
    frame.show();
    COverviewPane* pane = frame.OverviewPane();
    ASSERT_EQ(frame.ClientPane(), pane);
    EXPECT_EQ(pane->model()->rowCount(), 2);
    frame.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
    std::vector<std::string> chosen;
    CModalWatcher watcher;
    watcher.onDialog = [&](QDialog* dialog) {
        auto* dlg = qobject_cast<CLoginDlg*>(dialog);
        ASSERT_NE(dlg, nullptr);
        chosen.push_back(dlg->InstrumentName());
        dlg->UserField()->setText(QStringLiteral("admin"));
        dlg->PasswordField()->setText(QStringLiteral("rzadm"));
        dlg->accept();
    };
    QTest::keyClick(pane, Qt::Key_Down);
    QTest::keyClick(pane, Qt::Key_Return);
    EXPECT_EQ(chosen, std::vector<std::string>{"Line-3"});
    ASSERT_EQ(login.started.size(), 1u);
    EXPECT_EQ(login.started[0].instrumentName, "Line-3");
    frame.LoginSucceeded(&view, &commands, {});
    EXPECT_EQ(frame.ClientPane(), &view);

    frame.Action(Command::kPlantOverview)->trigger();
    ASSERT_EQ(frame.ClientPane(), pane);
    QTest::keyClick(pane, Qt::Key_Up);
    QTest::keyClick(pane, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(chosen, (std::vector<std::string>{"Line-3", "Boiler"}));
    frame.LoginSucceeded(&boiler, &commands, {});
    EXPECT_EQ(frame.ClientPane(), &boiler);
    EXPECT_EQ(frame.TabCount(), 2);
    frame.Action(Command::kPlantOverview)->trigger();
    QTest::keyClick(pane, Qt::Key_Down);
    QTest::keyClick(pane, Qt::Key_Return);
    EXPECT_EQ(frame.ClientPane(), &view);
    EXPECT_EQ(chosen.size(), 2u);
    frame.Action(Command::kLogout)->trigger();
    EXPECT_EQ(frame.ClientPane(), &boiler);
    frame.Action(Command::kLogout)->trigger();
    EXPECT_EQ(frame.ClientPane(), pane);
}

TEST(MainFrame, RegisterAndConfigAreNotEnteredTwice) {
    DataDir data(DataDir::Records{});
    CMainFrame frame;
    EXPECT_FALSE(frame.Action(Command::kLogin)->isEnabled());  // nothing registered
    std::vector<QString> opened;
    CModalWatcher watcher(QMessageBox::Yes);
    watcher.onDialog = [&](QDialog* dialog) {
        opened.push_back(dialog->windowTitle());
        // The dialog's command again while it is open: nothing happens.
        auto* reg = qobject_cast<CRegisterDlg*>(dialog);
        if (opened.size() == 1 || opened.back() != opened[opened.size() - 2]) {
            frame.Action(reg != nullptr ? Command::kRegister : Command::kConfig)->trigger();
        }
        if (reg != nullptr) {
            reg->Grid()->SetText(0, 1, QStringLiteral("Line-3"));
            reg->Grid()->SetText(0, 2, QStringLiteral("127.  0.  0.  1"));
            reg->accept();
        } else {
            dialog->reject();
        }
    };
    frame.Action(Command::kRegister)->trigger();
    frame.Action(Command::kConfig)->trigger();
    EXPECT_EQ(opened, (std::vector<QString>{"Register", "Config"}));
    EXPECT_TRUE(
        frame.Action(Command::kLogin)->isEnabled());  // the count follows the Register dialog
}

// Shortcuts reach the commands from any child of the active main window, not from a dialog.
TEST(MainFrame, ShortcutsWorkFromAnyChildButNotInsideADialog) {
    DataDir data(DataDir::Records{{"Line-3", "127.  0.  0.  1"}});
    CMainFrame frame;
    frame.show();
    std::vector<QString> opened;
    CModalWatcher watcher;
    watcher.onDialog = [&](QDialog* dialog) {
        opened.push_back(dialog->windowTitle());
        for (Qt::Key key : {Qt::Key_E, Qt::Key_G, Qt::Key_I}) {
            QTest::keyClick(dialog, key, Qt::ControlModifier);
        }
        dialog->reject();
    };
    for (Qt::Key key : {Qt::Key_E, Qt::Key_G, Qt::Key_I, Qt::Key_F1}) {
        frame.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&frame));
        QTest::keyClick(frame.StatusPane(1), key,
                        key == Qt::Key_F1 ? Qt::NoModifier : Qt::ControlModifier);
    }
    EXPECT_EQ(opened,
              (std::vector<QString>{"Register", "Config", "RZ Login", "About RZ Operator"}));
}

// The window opens where and as large as it was closed, with the look the user chose.
TEST(MainFrame, OpensWhereItWasClosedWithTheLookChosen) {
    DataDir data(DataDir::Records{});
    const QRect place(37, 41, 700, 450);
    {
        CMainFrame frame;
        frame.show();
        frame.setGeometry(place);
        frame.Action(Command::kDarkLook)->trigger();
        EXPECT_TRUE(IsDarkPalette(QApplication::palette()));
        frame.close();
    }
    CMainFrame frame;
    frame.show();
    EXPECT_EQ(frame.geometry(), place);
    EXPECT_TRUE(frame.Action(Command::kDarkLook)->isChecked());
    frame.Action(Command::kDarkLook)->trigger();
    EXPECT_FALSE(IsDarkPalette(QApplication::palette()));
    EXPECT_FALSE(CUserSettings().DarkLook());
}

TEST(DisplayMenus, GroupsFollowTheModel) {
    for (const int model : {3100, 3200}) {
        QMenu control, trend, digital, bar;
        FillDisplayMenus(&control, &trend, &digital, &bar, model, [](CommandRef) {});
        const int controlGroups = model == 3100 ? 4 : 8;
        const int displayGroups = model == 3100 ? 6 : 10;
        const std::vector<CommandRef> items = ItemCommands(&control);
        EXPECT_EQ(std::count_if(items.begin(), items.end(),
                                [](CommandRef c) { return c.command == Command::kControlGroup; }),
                  controlGroups)
            << model;
        EXPECT_EQ(ItemCommands(&digital).size(), size_t(displayGroups)) << model;
        EXPECT_EQ(ItemCommands(&bar).back(), CommandRef(Command::kBarGroup, displayGroups))
            << model;
        EXPECT_EQ(ItemCommands(&trend)[size_t(displayGroups) - 1],
                  CommandRef(Command::kTrendGroup, displayGroups))
            << model;
        ASSERT_NE(ProgramSubmenu(&control), nullptr);
    }
}

// The pattern rule is recomputed at every drop-down: an earlier state holds nothing back.
TEST(DisplayMenus, ProgramSubmenuFollowsFirmwareAndPatternStates) {
    QMenu control, trend, digital, bar;
    FillDisplayMenus(&control, &trend, &digital, &bar, 3200, [](CommandRef) {});
    QMenu* program = ProgramSubmenu(&control);
    FakeView view;
    struct Step {
        int32_t version;
        std::vector<std::pair<int, int32_t>> states;  // pattern index, state code
        bool disabled;
        const char* items;
    };
    const Step steps[] = {
        {0x30005, {{2, 3}}, true, "Pattern 1-"},
        {0x30006, {{0, 1}, {5, 0}}, true, "Pattern 1-"},
        {0x30006, {{2, 2}, {29, 5}}, false, "Pattern 3+Pattern 30+"},
        {0x30006, {}, true, "Pattern 1-"},
        {0x30006, {{0, 4}}, false, "Pattern 1+"},
    };
    for (const Step& step : steps) {
        InstrumentFacts facts;
        facts.version = step.version;
        for (const auto& [index, state] : step.states) {
            facts.patternStates[size_t(index)] = state;
        }
        const bool disabled = UpdateProgramSubmenu(program, facts, [](CommandRef) {});
        ApplyItemStates(&control, &view, disabled);
        EXPECT_EQ(disabled, step.disabled) << step.items;
        EXPECT_EQ(PatternItems(program), step.items);
    }
}

TEST(LoginDialog, OpensOnTheLastInstrumentWithItsUserName) {
    struct Case {
        const char* what;
        const char* last;
        std::vector<std::pair<const char*, const char*>> users;
        const char* selected;
        const char* user;
    };
    const Case cases[] = {
        {"last instrument and its user", "Line-3", {{"Line-3", "admin"}}, "Line-3", "admin"},
        {"last instrument no longer registered", "Gone", {{"Boiler", "user"}}, "Boiler", "user"},
        {"nothing remembered", "", {}, "Boiler", ""},
    };
    for (const Case& c : cases) {
        DataDir fixture(DataDir::Records{{"Boiler"}, {"Line-3"}, {"Mixer"}});
        if (*c.last != '\0') {
            fixture.store.SetLastLogin(c.last);
        }
        for (const auto& [instrument, user] : c.users) {
            fixture.store.SetUserNameFor(instrument, user);
        }
        CLoginDlg dlg(fixture.store);
        EXPECT_EQ(Items(dlg.Instruments()), QStringList({"Boiler", "Line-3", "Mixer"})) << c.what;
        EXPECT_EQ(dlg.InstrumentName(), c.selected) << c.what;
        EXPECT_EQ(dlg.UserName(), c.user) << c.what;
    }
}

TEST(LoginDialog, ChoosingAnotherInstrumentFillsItsUserNameAndFieldsAreLimited) {
    DataDir fixture(DataDir::Records{{"Boiler"}, {"Line-3"}});
    fixture.store.SetUserNameFor("Line-3", "admin");
    CLoginDlg dlg(fixture.store);
    dlg.show();
    dlg.UserField()->setText(QStringLiteral("typed"));
    dlg.Instruments()->setCurrentIndex(1);
    EXPECT_EQ(dlg.UserName(), "admin");
    EXPECT_EQ(dlg.UserField()->selectedText(), QStringLiteral("admin"));
    EXPECT_EQ(dlg.focusWidget(), dlg.UserField());
    dlg.Instruments()->setCurrentIndex(0);
    EXPECT_EQ(dlg.UserName(), "");  // nothing remembered for Boiler
    QTest::keyClicks(dlg.UserField(), QStringLiteral("abcdefghijklmnopqrst"));
    // The password's limit shows where it is typed; a 7th character, or a paste that would
    // pass it, is refused whole and visibly, until the password is edited again.
    const QString refused = QStringLiteral("Not taken: the password has at most 6 characters");
    EXPECT_EQ(dlg.PasswordHint()->text(), QStringLiteral("At most 6 characters"));
    QTest::keyClicks(dlg.PasswordField(), QStringLiteral("secret99"));
    EXPECT_EQ(dlg.UserName(), "abcdefghijklmnop");
    EXPECT_EQ(dlg.Password(), "secret");
    EXPECT_EQ(dlg.PasswordField()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dlg.PasswordField()->accessibleDescription(), refused);
    QTest::keyClick(dlg.PasswordField(), Qt::Key_Backspace);
    EXPECT_NE(dlg.PasswordHint()->text(), refused);
    dlg.PasswordField()->insert(QStringLiteral("rzdemo7"));
    EXPECT_EQ(dlg.Password(), "secre");
    EXPECT_TRUE(dlg.PasswordHint()->text() == refused && dlg.PasswordHint()->font().bold());
}

TEST(LoginDialog, OkNeedsAnInstrumentAndAUserName) {
    struct Case {
        DataDir::Records names;
        const char* user;
        const char* message;  // nullptr: accepted
        const char* focus;
    };
    const Case cases[] = {
        {{}, "admin", "You must select a RZ before login to it!", "RZ Name"},
        {{{"Boiler"}}, "", "You must input user name before login RZ!", "User Name"},
        {{{"Boiler"}}, "admin", nullptr, nullptr},
    };
    for (const Case& c : cases) {
        DataDir fixture(c.names);
        CModalWatcher watcher;
        CLoginDlg dlg(fixture.store);
        dlg.show();
        dlg.UserField()->setText(QString::fromLatin1(c.user));
        dlg.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        if (c.message == nullptr) {
            EXPECT_TRUE(watcher.boxes.empty());
            EXPECT_EQ(dlg.result(), QDialog::Accepted);
            continue;
        }
        ASSERT_EQ(watcher.boxes.size(), 1u) << c.message;
        EXPECT_EQ(watcher.boxes[0].text.toStdString(), c.message);
        EXPECT_TRUE(dlg.isVisible());
        ASSERT_NE(dlg.focusWidget(), nullptr);
        EXPECT_EQ(dlg.focusWidget()->accessibleName().toStdString(), c.focus);
    }
}

TEST(ConfigDialog, ShowsTheCycleInRangeAndWritesOnlyAnAcceptedOne) {
    struct Case {
        const char* file;  // nullptr: no file
        const char* shown;
        const char* typed;  // nullptr: Cancel
        const char* message;
        int written;  // the file's cycle afterwards
    };
    const char* range = kCommCycleRangeWarning;
    const Case cases[] = {
        {nullptr, "5000", "60000", nullptr, 60000},
        {"[Config]\r\nCommCycle=500\r\n", "1000", "1000", nullptr, 1000},
        {"[Config]\r\nCommCycle=70000\r\n", "60000", "60001", range, 70000},
        {"[Config]\r\nCommCycle=2000\r\n", "2000", nullptr, nullptr, 2000},
    };
    for (const Case& c : cases) {
        QTemporaryDir dir;
        const std::string ini = dir.filePath(QStringLiteral("SimpleCtrl.ini")).toStdString();
        if (c.file != nullptr) {
            std::ofstream(ini, std::ios::binary) << c.file;
        }
        CModalWatcher watcher;
        CConfigDlg dlg(ini);
        dlg.show();
        EXPECT_EQ(dlg.CycleField()->text().toStdString(), c.shown);
        if (c.typed == nullptr) {
            dlg.reject();
        } else {
            dlg.CycleField()->setText(QString::fromLatin1(c.typed));
            dlg.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        }
        EXPECT_EQ(dlg.isVisible(), c.message != nullptr) << c.typed;
        ASSERT_EQ(watcher.boxes.size(), c.message != nullptr ? 1u : 0u) << c.typed;
        if (c.message != nullptr) {
            EXPECT_EQ(watcher.boxes[0].text.toStdString(), c.message);
        }
        EXPECT_EQ(ReadCommCycle(ini), c.written) << c.typed;
    }
}

TEST(ConfigDialog, FailedWriteIsReportedAndKeepsTheDialogOpen) {
    QTemporaryDir dir;
    const std::string ini = dir.filePath(QStringLiteral("gone/SimpleCtrl.ini")).toStdString();
    CModalWatcher watcher;
    CConfigDlg dlg(ini);
    dlg.show();
    dlg.CycleField()->setText(QStringLiteral("3000"));
    dlg.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    ASSERT_EQ(watcher.boxes.size(), 1u);
    EXPECT_TRUE(watcher.boxes[0].text.contains(QString::fromStdString(ini)));
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.CycleField()->text().toStdString(), "3000");
}

TEST(OperatorOptions, CommandLine) {
    struct Case {
        QStringList args;
        int status;
        uint16_t port;
        QString dataDir;
        QString texts;         // login|user|grab|style
        QString qt = {};       // what QApplication gets after the program name
        QString message = {};  // the start of the text for stdout or stderr
    };
    const QString version = QStringLiteral("rz-operator %1\n").arg(ProjectVersion());
    const Case cases[] = {
        {{}, -1, 34260, {}, "|||"},
        {{"--port", "4000", "--data-dir", "/tmp/rz"}, -1, 4000, "/tmp/rz", "|||"},
        {{"--port=65535"}, -1, 65535, {}, "|||"},
        {{"--port", "0"}, 2, 34260, {}, "|||", {}, "rz-operator: --port needs a number"},
        {{"--port", "65536"}, 2, 34260, {}, "|||"},
        {{"--port", "12x"}, 2, 34260, {}, "|||"},
        {{"--data-dir"}, 2, 34260, {}, "|||"},
        {{"--bogus"}, 2, 34260, {}, "|||", {}, "rz-operator: Unknown option 'bogus'."},
        {{"extra"}, 2, 34260, {}, "|||"},
        {{"--version"}, 0, 34260, {}, "|||", {}, version},
        {{"--help"}, 0, 34260, {}, "|||", {}, "Usage: rz-operator [options]\n"},
        {{"--help-all"}, 0, 34260, {}, "|||", {}, "Usage: rz-operator [options]\n"},
        {{"--login", "Demo", "--user", "u", "--grab", "/a.png"}, -1, 34260, {}, "Demo|u|/a.png|"},
        {{"--grab", "a.png"}, -1, 34260, {}, "||a.png|"},
        {{"--login", "Demo"}, 2, 34260, {}, "|||"},
        {{"--user", "admin"}, 2, 34260, {}, "|||"},
        {{"--login", "", "--user", "admin"}, 2, 34260, {}, "|||"},
        {{"-style", "windows", "-port", "4000"}, -1, 4000, {}, "|||windows", "-style windows"},
        {{"-style=kvantum"}, -1, 34260, {}, "|||kvantum", "-style kvantum"},
        {{"--style", "fusion"}, -1, 34260, {}, "|||fusion", "-style fusion"},
        {{"-style"}, 2, 34260, {}, "|||"},
        {{"-platform", "offscreen", "-reverse"},
         -1,
         34260,
         {},
         "|||",
         "-platform offscreen -reverse"},
        {{"--reverse", "--platform=xcb:a=1", "--port=4000"},
         -1,
         4000,
         {},
         "|||",
         "-platform xcb:a=1 -reverse"},
        {{"-reverse=1"}, 2, 34260, {}, "|||"},
    };
    for (const Case& c : cases) {
        const std::string args = c.args.join(' ').toStdString();
        const CommandLineResult<OperatorOptions> parsed =
            ParseOperatorOptions(QStringList{"/usr/bin/rz-operator"} + c.args);
        const auto* exit = std::get_if<CommandLineExit>(&parsed);
        const OperatorOptions options =
            exit == nullptr ? std::get<OperatorOptions>(parsed) : OperatorOptions{};
        const QString message = exit != nullptr ? QString::fromStdString(exit->text) : QString();
        EXPECT_EQ(exit != nullptr ? exit->status : -1, c.status) << args;
        EXPECT_EQ(options.port, c.port) << args;
        EXPECT_EQ(options.dataDir, c.dataDir) << args;
        EXPECT_EQ(options.login + '|' + options.user + '|' + options.grab + '|' + options.style,
                  c.texts)
            << args;
        EXPECT_TRUE(message.startsWith(c.message)) << args << "\n" << message.toStdString();
        if (c.status == -1) {
            EXPECT_EQ(options.qtArguments.join(' '), ("/usr/bin/rz-operator " + c.qt).trimmed())
                << args;
        }
        // A usage error is one line, then where to look.
        if (c.status == 2) {
            EXPECT_EQ(message.count('\n'), 2) << args << "\n" << message.toStdString();
            EXPECT_TRUE(message.endsWith("\nTry 'rz-operator --help' for more information.\n"))
                << args;
        }
        // Qt's options other than -style are listed by --help-all alone.
        EXPECT_EQ(message.contains("-platform <"), c.args == QStringList{"--help-all"}) << args;
    }
}

TEST(TraceWindow, ShowsExchangesNewestLastFilteredAndSaved) {
    auto trace = std::make_shared<CExchangeTrace>();
    Add(*trace, "FD 1,2", "EA");
    Add(*trace, "FC GET", "PNG 245,312 bytes");
    CTraceWindow window(trace);
    EXPECT_EQ(window.Table()->model()->rowCount(), 2);

    Add(*trace, "CA1,1", "E1", REPLY_ERROR);
    window.Reload();
    const QString all = window.RowsAsText(false);
    const QStringList lines = all.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].contains(QStringLiteral("\tFD 1,2\tEA\t1.5 ms\t")));
    EXPECT_TRUE(lines[2].contains(QStringLiteral("CA1,1\tE1")));
    EXPECT_TRUE(lines[2].endsWith(QString::fromLatin1(ResultCodeName(REPLY_ERROR))));

    window.FilterBox()->setText(QStringLiteral("png"));
    EXPECT_EQ(window.Table()->model()->rowCount(), 1);
    EXPECT_TRUE(window.RowsAsText(false).contains(QStringLiteral("FC GET")));

    QTemporaryDir dir;
    ASSERT_TRUE(window.SaveTo(dir.filePath(QStringLiteral("trace.txt"))).ok());
    EXPECT_EQ(ReadBytes(dir.filePath(QStringLiteral("trace.txt")).toStdString()),
              window.RowsAsText(false).toStdString());
    const RzExpected<void> refused =
        window.SaveTo(dir.filePath(QStringLiteral("missing/trace.txt")));
    ASSERT_FALSE(refused.ok());
    EXPECT_FALSE(refused.error().text.empty());
}

TEST(Translation, MenusAndWindowCaptionsGoThroughTheTranslation) {
    DataDir data(DataDir::Records{{"Boiler"}});
    auto trace = std::make_shared<CExchangeTrace>();
    const std::pair<const char*, std::function<std::unique_ptr<QWidget>()>> windows[] = {
        {"main window", [] { return std::make_unique<CMainFrame>(4000); }},
        {"trace window", [&] { return std::make_unique<CTraceWindow>(trace); }},
        {"log-in dialog", [&] { return std::make_unique<CLoginDlg>(data.store); }},
    };
    for (const auto& [name, make] : windows) {
        SCOPED_TRACE(name);
        ExpectCaptionsTranslated(make);
    }
}

// Text from the instrument, the registry or the configuration, wherever it shows: as it reads
// (markup is not taken as such, nothing is loaded), one line without control characters, fitted
// to its place with the whole line in the tool tip; the status panes give it to screen readers.
TEST(PlainText, HostileTextsShowAsPlainLinesEverywhere) {
    DataDir data(DataDir::Records{});
    const QString picture = data.dir.filePath(QStringLiteral("big.png"));
    ASSERT_TRUE(QImage(40, 300, QImage::Format_RGB32).save(picture));
    QString high;
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        high += QChar(byte);
    }
    const QString markup = "[*]<h1>BIG</h1><img src=\"" + picture + "\">";
    const struct {
        QString text;
        QString kept;  // the line the text shows as, or its start where a place cuts it
    } texts[] = {
        {markup, markup},
        {"row 1\rrow 2\nEN\r\n", "row 1 row 2 EN"},
        {"E1 " + high, "E1 " + QString(32, QChar::ReplacementCharacter) + high.mid(32)},
        {QString(10240, u'W'), QString(10240, u'W')},
    };
    // The whole line a place holds, what it paints, its tool tip and what a screen reader
    // hears (null: not checked), the width it paints in (-1: the view elides).
    struct Shown {
        QString line, shown, tip = {}, spoken = {};
        int width = -1;
    };
    FakeLogin login;
    FakeView commands;
    QWidget view;
    CMainFrame frame;
    frame.SetLoginController(&login);
    frame.show();
    QTest::qWait(5);
    const int barHeight = frame.statusBar()->height();
    const auto pane = [&](int index) {
        CPlainLabel* label = frame.StatusPane(index);
        return Shown{label->text(), label->ShownText(), label->toolTip(),
                     QAccessible::queryAccessibleInterface(label)->text(QAccessible::Name),
                     label->contentsRect().width()};
    };
    const auto cell = [](QAbstractItemView& table, const QModelIndex& index) {
        table.resize(400, 200);
        table.show();
        const QPoint at = table.visualRect(index).center();
        QHelpEvent help(QEvent::ToolTip, at, table.viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(table.viewport(), &help);
        const QString line = static_cast<QStyledItemDelegate*>(table.itemDelegateForIndex(index))
                                 ->displayText(index.data(), QLocale());
        return Shown{line, line, QToolTip::text()};
    };
    const auto bytes = [](const QString& text) { return text.toLatin1().toStdString(); };
    const auto registered = [&](const QString& text) {  // as the only registered name
        std::remove(DataFilePath(CInstrumentRegistry::kFileName).c_str());
        CInstrumentRegistry registry;
        EXPECT_TRUE(registry.Load().ok());
        registry.Add(bytes(text), "127.  0.  0.  1");
        EXPECT_TRUE(registry.Save().ok());
        return CInstrumentRegistry::ListedName(bytes(text));
    };
    struct Place {
        const char* name;
        int keeps;   // characters of the text it can hold (a registered name: no line break)
        bool lines;  // several lines are its form
        std::function<Shown(const QString&)> show;
    };
    const Place places[] = {
        {"status pane", 10240, false,
         [&](const QString& text) {
             ShowStatusMessage(bytes(text));
             frame.StatusTexts().Flush();
             return pane(1);
         }},
        {"updated pane", 10240, false,
         [&](const QString& text) {
             frame.ShowDataUpdated(text);
             return pane(2);
         }},
        {"window title", 15, false,
         [&](const QString& text) {
             frame.LoginAtStart(registered(text), "admin", std::string("pw"));
             frame.LoginSucceeded(&view, &commands, {});
             const QString title = frame.windowHandle()->title().mid(12);  // after "RZ Operator-"
             frame.ConnectionClosed();
             return Shown{title, title};
         }},
        {"log-in list", 15, false,
         [&](const QString& text) {
             registered(text);
             CLoginDlg dlg(data.store);
             const QString item = dlg.Instruments()->itemText(0);
             return Shown{item, item, dlg.Instruments()->itemData(0, Qt::ToolTipRole).toString()};
         }},
        {"register grid", 10240, false,
         [&](const QString& text) {
             CRegisterGrid grid;
             grid.InsertRow(0, text, QStringLiteral("127.  0.  0.  1"));
             return cell(grid, grid.model()->index(0, CRegisterGrid::kNameColumn));
         }},
        {"trace", 150, false,
         [&](const QString& text) {
             auto trace = std::make_shared<CExchangeTrace>();
             Add(*trace, bytes(text), bytes(text));
             CTraceWindow window(trace);
             return cell(*window.Table(), window.Table()->model()->index(0, 2));
         }},
        {"log reporter", 10240, true,
         [&](const QString& text) {
             const QString log = LogDisplayText(bytes(text));
             return Shown{log, log};
         }},
        {"message box", 10240, true,
         [&](const QString& text) {
             CModalWatcher watcher;
             ShowErrorBox(nullptr, text);
             EXPECT_EQ(watcher.boxes.at(0).format, Qt::PlainText);
             return Shown{watcher.boxes.at(0).text, watcher.boxes.at(0).text};
         }},
    };
    for (const Place& place : places) {
        for (const auto& [text, kept] : texts) {
            if (place.keeps == 15 && text.contains(u'\n')) {
                continue;
            }
            SCOPED_TRACE(std::string(place.name) + ": " + bytes(text.left(40)));
            const Shown shown = place.show(text);
            for (const QChar c : shown.shown) {
                EXPECT_TRUE(c.category() != QChar::Other_Control || (place.lines && c == u'\n'))
                    << int{c.unicode()};
            }
            EXPECT_TRUE(
                QString(shown.line).replace(u'\n', u' ').startsWith(kept.left(place.keeps)));
            QTextDocument tip;
            tip.setHtml(shown.tip);
            EXPECT_TRUE(shown.tip.isNull() || tip.toRawText() == shown.line);
            EXPECT_TRUE(shown.spoken.isNull() || shown.spoken == shown.line);
            EXPECT_LE(frame.fontMetrics().horizontalAdvance(shown.shown),
                      shown.width < 0 ? INT_MAX : shown.width);
            QTest::qWait(5);  // the layouts follow the panes
            EXPECT_EQ(frame.statusBar()->height(), barHeight);
        }
    }
}
