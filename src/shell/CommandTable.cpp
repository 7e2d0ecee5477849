#include "shell/CommandTable.h"

#include <QCoreApplication>
#include <array>

#include "shell/MainFrame.h"

namespace {

using R = CommandRule;

}  // namespace

// A friend of the frame, which names its handlers.
std::span<const CommandSpec> FrameCommands() {
    // Captions and prompts are source texts of the translation context "CommandTable"; the
    // window shows them translated. Besides the system's own Ctrl keys: Ctrl+Q quits, F1 opens
    // the About box, F5 refreshes. The tabs' keys are the ones the Linux desktops give the next
    // and previous child window and closing one (Qt's NextChild, PreviousChild and Close there).
    static constexpr std::array<CommandSpec, 41> kCommands{{
        {Command::kLogin, QT_TRANSLATE_NOOP("CommandTable", "Log&in..."),
         QT_TRANSLATE_NOOP("CommandTable", "Login RZ recorder\nLogin..."), "Ctrl+I", R::kLogin,
         "\u2192", RunByFrame(&CMainFrame::OnLogin)},
        {Command::kCancelLogin, QT_TRANSLATE_NOOP("CommandTable", "&Cancel Login"),
         QT_TRANSLATE_NOOP("CommandTable", "Abandon the log-in that is running\nCancel"), "Esc",
         R::kLoginRunning, nullptr, RunByFrame(&CMainFrame::OnCancelLogin)},
        {Command::kLogout, QT_TRANSLATE_NOOP("CommandTable", "Logo&ut"),
         QT_TRANSLATE_NOOP("CommandTable", "Logout from RZ recorder\nLogout"), "Ctrl+U", R::kLogout,
         "\u2190", RunByFrame(&CMainFrame::OnLogout)},
        {Command::kRefresh, QT_TRANSLATE_NOOP("CommandTable", "&Refresh"),
         QT_TRANSLATE_NOOP("CommandTable", "Reload the settings of RZ recorder\nRefresh"),
         "Ctrl+R; F5", R::kView, "\u21bb", kRunByView},
        {Command::kRegister, QT_TRANSLATE_NOOP("CommandTable", "R&egister RZ..."),
         QT_TRANSLATE_NOOP("CommandTable", "Register RZ recorders\nRegister RZ..."), "Ctrl+E",
         R::kRegister, "\u2630", RunByFrame(&CMainFrame::OnRegister)},
        {Command::kStyleShift, QT_TRANSLATE_NOOP("CommandTable", "S&tyle Shift"),
         QT_TRANSLATE_NOOP(
             "CommandTable",
             "Shift between the screen image and the simple control panel\nStyle Shift"),
         "Ctrl+T", R::kView, "\u21c6", kRunByView},
        {Command::kConfig, QT_TRANSLATE_NOOP("CommandTable", "Confi&g..."),
         QT_TRANSLATE_NOOP("CommandTable", "Set the communication cycle\nConfig..."), "Ctrl+G",
         R::kConfig, "\u2699", RunByFrame(&CMainFrame::OnConfig)},
        {Command::kExit, QT_TRANSLATE_NOOP("CommandTable", "E&xit"),
         QT_TRANSLATE_NOOP("CommandTable", "Quit the application\nExit"), "Ctrl+Q", R::kAlways,
         nullptr, RunByFrame(&CMainFrame::OnExit)},
        {Command::kControlToolBar, QT_TRANSLATE_NOOP("CommandTable", "&Control toolBar"),
         QT_TRANSLATE_NOOP("CommandTable", "Show or hide the control tool bar\nControl toolBar"),
         nullptr, R::kControlToolBar, nullptr, RunByFrame(&CMainFrame::OnControlToolBar)},
        {Command::kTrace, QT_TRANSLATE_NOOP("CommandTable", "Communication &trace"),
         QT_TRANSLATE_NOOP(
             "CommandTable",
             "Show the exchanges with RZ recorder since the log-in\nCommunication trace"),
         nullptr, R::kLogout, nullptr, RunByFrame(&CMainFrame::OnTrace)},
        {Command::kAbout, QT_TRANSLATE_NOOP("CommandTable", "&About RZ Operator..."),
         QT_TRANSLATE_NOOP("CommandTable",
                           "Display program information, version number and copyright\nAbout"),
         "F1", R::kAlways, "?", RunByFrame(&CMainFrame::OnAbout)},
        {Command::kDarkLook, QT_TRANSLATE_NOOP("CommandTable", "&Dark look"),
         QT_TRANSLATE_NOOP("CommandTable",
                           "Show the console in light text on dark colours\nDark look"),
         nullptr, R::kDarkLook, nullptr, RunByFrame(&CMainFrame::OnDarkLook)},
        {Command::kPlantOverview, QT_TRANSLATE_NOOP("CommandTable", "&Plant overview"),
         QT_TRANSLATE_NOOP("CommandTable",
                           "Show every registered instrument at a glance\nPlant overview"),
         nullptr, R::kAlways, nullptr, RunByFrame(&CMainFrame::OnPlantOverview)},
        {Command::kNextTab, QT_TRANSLATE_NOOP("CommandTable", "&Next Instrument"),
         QT_TRANSLATE_NOOP("CommandTable", "Show the tab of the next instrument open\nNext"),
         "Ctrl+Tab", R::kTabs, nullptr, RunByFrame(&CMainFrame::OnNextTab)},
        {Command::kPreviousTab, QT_TRANSLATE_NOOP("CommandTable", "&Previous Instrument"),
         QT_TRANSLATE_NOOP("CommandTable",
                           "Show the tab of the previous instrument open\nPrevious"),
         "Ctrl+Shift+Tab", R::kTabs, nullptr, RunByFrame(&CMainFrame::OnPreviousTab)},
        {Command::kCloseTab, QT_TRANSLATE_NOOP("CommandTable", "&Close Instrument"),
         QT_TRANSLATE_NOOP("CommandTable",
                           "Log out from the instrument shown and close its tab\nClose"),
         "Ctrl+W", R::kLogout, nullptr, RunByFrame(&CMainFrame::OnLogout)},
        {Command::kControlMenu, QT_TRANSLATE_NOOP("CommandTable", "&Control"),
         QT_TRANSLATE_NOOP("CommandTable", "Control group displays and program patterns\nControl"),
         nullptr, R::kLoggedIn, "C", kDropDown},
        {Command::kTrendMenu, QT_TRANSLATE_NOOP("CommandTable", "&Trend Group"),
         QT_TRANSLATE_NOOP("CommandTable", "Trend displays of the measurement groups\nTrend"),
         nullptr, R::kLoggedIn, "T", kDropDown},
        {Command::kDigitalMenu, QT_TRANSLATE_NOOP("CommandTable", "&Digital Group"),
         QT_TRANSLATE_NOOP("CommandTable", "Digital displays of the measurement groups\nDigital"),
         nullptr, R::kLoggedIn, "D", kDropDown},
        {Command::kBarMenu, QT_TRANSLATE_NOOP("CommandTable", "&Bar Group"),
         QT_TRANSLATE_NOOP("CommandTable", "Bar displays of the measurement groups\nBar"), nullptr,
         R::kLoggedIn, "B", kDropDown},
        {Command::kOverview, QT_TRANSLATE_NOOP("CommandTable", "&Overview"),
         QT_TRANSLATE_NOOP("CommandTable", "Overview\nOverview"), nullptr, R::kView, "O",
         kRunByView},
        {Command::kSaveImage, QT_TRANSLATE_NOOP("CommandTable", "Save &Image..."),
         QT_TRANSLATE_NOOP("CommandTable", "Saves current RZ image\nSave"), nullptr, R::kView, "S",
         kRunByView},
        {Command::kMemory, QT_TRANSLATE_NOOP("CommandTable", "Start &Memory"),
         QT_TRANSLATE_NOOP("CommandTable", "Start or stop the memory\nMemory"), nullptr, R::kView,
         nullptr, kRunByView},
        {Command::kMath, QT_TRANSLATE_NOOP("CommandTable", "Start M&ath"),
         QT_TRANSLATE_NOOP("CommandTable", "Start or stop math\nMath"), nullptr, R::kView, nullptr,
         kRunByView},
        {Command::kMathReset, QT_TRANSLATE_NOOP("CommandTable", "&Reset Math"),
         QT_TRANSLATE_NOOP("CommandTable", "Reset math\nMath reset"), nullptr, R::kView, nullptr,
         kRunByView},
        {Command::kAlarmAck, QT_TRANSLATE_NOOP("CommandTable", "Acknowledge A&larm"),
         QT_TRANSLATE_NOOP("CommandTable", "Acknowledge the alarms\nAlarmACK"), nullptr, R::kView,
         nullptr, kRunByView},
        {Command::kSaveDataMenu, QT_TRANSLATE_NOOP("CommandTable", "&Save Data"),
         QT_TRANSLATE_NOOP("CommandTable", "Save data on the recorder\nSave"), nullptr, R::kView,
         nullptr, kDropDown},
        {Command::kWriteMessageMenu, QT_TRANSLATE_NOOP("CommandTable", "&Write Message"),
         QT_TRANSLATE_NOOP("CommandTable", "Write a message\nMessage"), nullptr, R::kView, nullptr,
         kDropDown},
        {Command::kLog, QT_TRANSLATE_NOOP("CommandTable", "L&og..."),
         QT_TRANSLATE_NOOP("CommandTable", "Read the logs of the recorder\nLog"), nullptr, R::kView,
         nullptr, kRunByView},
        {Command::kSaveDisplay, QT_TRANSLATE_NOOP("CommandTable", "&Display"),
         QT_TRANSLATE_NOOP("CommandTable", "Save the display data\nDisplay"), nullptr, R::kView,
         nullptr, kRunByView},
        {Command::kSaveEvent, QT_TRANSLATE_NOOP("CommandTable", "&Event"),
         QT_TRANSLATE_NOOP("CommandTable", "Save the event data\nEvent"), nullptr, R::kView,
         nullptr, kRunByView},
        {Command::kManualSample, QT_TRANSLATE_NOOP("CommandTable", "Manual &Sample"),
         QT_TRANSLATE_NOOP("CommandTable", "Take a manual sample\nManual Sample"), nullptr,
         R::kView, nullptr, kRunByView},
        {Command::kManualTrigger, QT_TRANSLATE_NOOP("CommandTable", "Manual &Trigger"),
         QT_TRANSLATE_NOOP("CommandTable", "Trigger the event data\nManual Trigger"), nullptr,
         R::kView, nullptr, kRunByView},
        {CommandRef(Command::kMessage, 1), QT_TRANSLATE_NOOP("CommandTable", "Message &1"),
         QT_TRANSLATE_NOOP("CommandTable", "Write message 1\nMessage 1"), nullptr, R::kView,
         nullptr, kRunByView},
        {CommandRef(Command::kMessage, 2), QT_TRANSLATE_NOOP("CommandTable", "Message &2"),
         QT_TRANSLATE_NOOP("CommandTable", "Write message 2\nMessage 2"), nullptr, R::kView,
         nullptr, kRunByView},
        {CommandRef(Command::kMessage, 3), QT_TRANSLATE_NOOP("CommandTable", "Message &3"),
         QT_TRANSLATE_NOOP("CommandTable", "Write message 3\nMessage 3"), nullptr, R::kView,
         nullptr, kRunByView},
        {CommandRef(Command::kMessage, 4), QT_TRANSLATE_NOOP("CommandTable", "Message &4"),
         QT_TRANSLATE_NOOP("CommandTable", "Write message 4\nMessage 4"), nullptr, R::kView,
         nullptr, kRunByView},
        {CommandRef(Command::kMessage, 5), QT_TRANSLATE_NOOP("CommandTable", "Message &5"),
         QT_TRANSLATE_NOOP("CommandTable", "Write message 5\nMessage 5"), nullptr, R::kView,
         nullptr, kRunByView},
        {CommandRef(Command::kMessage, 6), QT_TRANSLATE_NOOP("CommandTable", "Message &6"),
         QT_TRANSLATE_NOOP("CommandTable", "Write message 6\nMessage 6"), nullptr, R::kView,
         nullptr, kRunByView},
        {CommandRef(Command::kMessage, 7), QT_TRANSLATE_NOOP("CommandTable", "Message &7"),
         QT_TRANSLATE_NOOP("CommandTable", "Write message 7\nMessage 7"), nullptr, R::kView,
         nullptr, kRunByView},
        {CommandRef(Command::kMessage, 8), QT_TRANSLATE_NOOP("CommandTable", "Message &8"),
         QT_TRANSLATE_NOOP("CommandTable", "Write message 8\nMessage 8"), nullptr, R::kView,
         nullptr, kRunByView},
    }};
    return kCommands;
}

const CommandSpec* FindCommand(CommandRef wanted) {
    for (const CommandSpec& command : FrameCommands()) {
        if (command.command == wanted) {
            return &command;
        }
    }
    return nullptr;
}

QString MenuTextOf(const CommandSpec& command) {
    return QCoreApplication::translate("CommandTable", command.menuText);
}

// The prompt before the line break goes to the status bar, the text after it is the tool tip.
QString PromptOf(const CommandSpec& command, int part) {
    return QCoreApplication::translate("CommandTable", command.prompt).section(u'\n', part, part);
}

QList<QKeySequence> ShortcutsOf(const CommandSpec& command) {
    if (command.shortcut == nullptr) {
        return {};
    }
    return QKeySequence::listFromString(QString::fromLatin1(command.shortcut));
}

CommandState CommandStateFor(const CommandSpec& command, const FrameState& state) {
    CommandState result;
    switch (command.rule) {
        case R::kAlways:
            result.enabled = true;
            break;
        case R::kLogin:
            // With an instrument open, a log-in opens another beside it; with only one
            // registered there is no other to open.
            result.enabled = state.registeredCount > 0 && !state.loginRunning &&
                             (!state.loggedIn || state.registeredCount > 1);
            break;
        case R::kTabs:
            result.enabled = state.openCount > 1;
            break;
        case R::kLogout:
        case R::kLoggedIn:
            result.enabled = state.loggedIn;
            break;
        case R::kLoginRunning:
            result.enabled = state.loginRunning;
            break;
        case R::kRegister:
            result.enabled = !state.loginRunning;
            break;
        case R::kConfig:
            result.enabled = !state.loggedIn && !state.loginRunning;
            break;
        case R::kControlToolBar:
            result.enabled = state.loggedIn && state.imageShown;
            result.checked = state.controlBarVisible;
            break;
        case R::kDarkLook:
            result.enabled = true;
            result.checked = state.darkLook;
            break;
        case R::kView:
            if (state.loggedIn && state.view != nullptr) {
                result = state.view->StateOf(command.command);
            }
            break;
    }
    return result;
}
