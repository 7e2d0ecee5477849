#include "shell/CommandTable.h"

#include <array>

namespace {

using R = CommandRule;

// Besides the system's own Ctrl keys: Ctrl+Q quits, F1 opens the About box, F5 refreshes.
constexpr std::array<CommandSpec, 37> kCommands{{
    {ID_LOGIN, "Log&in...", "Login RZ recorder\nLogin...", "Ctrl+I", R::kLogin, "\u2192"},
    {ID_CANCEL_LOGIN, "&Cancel Login", "Abandon the log-in that is running\nCancel", "Esc",
     R::kLoginRunning, nullptr},
    {ID_LOGOUT, "Logo&ut", "Logout from RZ recorder\nLogout", "Ctrl+U", R::kLogout, "\u2190"},
    {ID_REFRESH, "&Refresh", "Reload the settings of RZ recorder\nRefresh", "Ctrl+R; F5", R::kView,
     "\u21bb"},
    {ID_REGISTER, "R&egister RZ...", "Register RZ recorders\nRegister RZ...", "Ctrl+E",
     R::kRegister, "\u2630"},
    {ID_STYLE_SHIFT, "S&tyle Shift",
     "Shift between the screen image and the simple control panel\nStyle Shift", "Ctrl+T", R::kView,
     "\u21c6"},
    {ID_CONFIG, "Confi&g...", "Set the communication cycle\nConfig...", "Ctrl+G", R::kConfig,
     "\u2699"},
    {ID_APP_EXIT, "E&xit", "Quit the application\nExit", "Ctrl+Q", R::kAlways, nullptr},
    {ID_CONTROL_TOOLBAR, "&Control toolBar", "Show or hide the control tool bar\nControl toolBar",
     nullptr, R::kControlToolBar, nullptr},
    {ID_TRACE, "Communication &trace",
     "Show the exchanges with RZ recorder since the log-in\nCommunication trace", nullptr,
     R::kLogout, nullptr},
    {ID_APP_ABOUT, "&About RZ Operator...",
     "Display program information, version number and copyright\nAbout", "F1", R::kAlways, "?"},
    {ID_DARK_LOOK, "&Dark look", "Show the console in light text on dark colours\nDark look",
     nullptr, R::kDarkLook, nullptr},
    {ID_CONTROL_MENU, "&Control", "Control group displays and program patterns\nControl", nullptr,
     R::kLoggedIn, "C"},
    {ID_TREND_MENU, "&Trend Group", "Trend displays of the measurement groups\nTrend", nullptr,
     R::kLoggedIn, "T"},
    {ID_DIGITAL_MENU, "&Digital Group", "Digital displays of the measurement groups\nDigital",
     nullptr, R::kLoggedIn, "D"},
    {ID_BAR_MENU, "&Bar Group", "Bar displays of the measurement groups\nBar", nullptr,
     R::kLoggedIn, "B"},
    {ID_OVERVIEW, "&Overview", "Overview\nOverview", nullptr, R::kView, "O"},
    {ID_SAVE_IMAGE, "Save &Image...", "Saves current RZ image\nSave", nullptr, R::kView, "S"},
    {ID_MEMORY, "Start &Memory", "Start or stop the memory\nMemory", nullptr, R::kView, nullptr},
    {ID_MATH, "Start M&ath", "Start or stop math\nMath", nullptr, R::kView, nullptr},
    {ID_MATH_RESET, "&Reset Math", "Reset math\nMath reset", nullptr, R::kView, nullptr},
    {ID_ALARM_ACK, "Acknowledge A&larm", "Acknowledge the alarms\nAlarmACK", nullptr, R::kView,
     nullptr},
    {ID_SAVE_DATA, "&Save Data", "Save data on the recorder\nSave", nullptr, R::kView, nullptr},
    {ID_WRITE_MESSAGE, "&Write Message", "Write a message\nMessage", nullptr, R::kView, nullptr},
    {ID_LOG, "L&og...", "Read the logs of the recorder\nLog", nullptr, R::kView, nullptr},
    {ID_SAVE_DISPLAY, "&Display", "Save the display data\nDisplay", nullptr, R::kView, nullptr},
    {ID_SAVE_EVENT, "&Event", "Save the event data\nEvent", nullptr, R::kView, nullptr},
    {ID_MANUAL_SAMPLE, "Manual &Sample", "Take a manual sample\nManual Sample", nullptr, R::kView,
     nullptr},
    {ID_MANUAL_TRIGGER, "Manual &Trigger", "Trigger the event data\nManual Trigger", nullptr,
     R::kView, nullptr},
    {ID_MESSAGE_1, "Message &1", "Write message 1\nMessage 1", nullptr, R::kView, nullptr},
    {ID_MESSAGE_1 + 1, "Message &2", "Write message 2\nMessage 2", nullptr, R::kView, nullptr},
    {ID_MESSAGE_1 + 2, "Message &3", "Write message 3\nMessage 3", nullptr, R::kView, nullptr},
    {ID_MESSAGE_1 + 3, "Message &4", "Write message 4\nMessage 4", nullptr, R::kView, nullptr},
    {ID_MESSAGE_1 + 4, "Message &5", "Write message 5\nMessage 5", nullptr, R::kView, nullptr},
    {ID_MESSAGE_1 + 5, "Message &6", "Write message 6\nMessage 6", nullptr, R::kView, nullptr},
    {ID_MESSAGE_1 + 6, "Message &7", "Write message 7\nMessage 7", nullptr, R::kView, nullptr},
    {ID_MESSAGE_1 + 7, "Message &8", "Write message 8\nMessage 8", nullptr, R::kView, nullptr},
}};

}  // namespace

std::span<const CommandSpec> FrameCommands() {
    return kCommands;
}

const CommandSpec* FindCommand(int id) {
    for (const CommandSpec& command : kCommands) {
        if (command.id == id) {
            return &command;
        }
    }
    return nullptr;
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
            result.enabled = !state.loggedIn && state.registeredCount > 0 && !state.loginRunning;
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
                result = state.view->StateOf(command.id);
            }
            break;
    }
    return result;
}
