#pragma once

#include <QKeySequence>
#include <QList>
#include <span>

#include "ui/CommandTarget.h"

// The commands of the main window, by id.
enum CommandId : int {
    ID_MATH = 2000,
    ID_MATH_RESET = 2001,
    ID_MEMORY = 2002,
    ID_ALARM_ACK = 2003,
    ID_SAVE_DATA = 2004,
    ID_WRITE_MESSAGE = 2005,
    ID_LOG = 2006,
    ID_SAVE_DISPLAY = 2051,  // the save-data items, in the "Save Data" drop-down
    ID_SAVE_EVENT = 2052,
    ID_MANUAL_SAMPLE = 2053,
    ID_MANUAL_TRIGGER = 2054,
    ID_MESSAGE_1 = 2100,  // Message 1 to 8 (2100 to 2107), in the "Write Message" drop-down
    ID_REGISTER = 32772,
    ID_LOGIN = 32773,
    ID_LOGOUT = 32774,
    ID_REFRESH = 32775,
    ID_CONFIG = 32782,
    ID_CONTROL_MENU = 32787,
    ID_TREND_MENU = 32788,
    ID_DIGITAL_MENU = 32789,
    ID_BAR_MENU = 32790,
    ID_OVERVIEW = 32791,
    ID_STYLE_SHIFT = 32793,
    ID_SAVE_IMAGE = 32795,
    ID_CONTROL_TOOLBAR = 32815,
    ID_CANCEL_LOGIN = 32899,
    ID_TRACE = 32900,
    ID_DARK_LOOK = 32901,
    ID_PLANT_OVERVIEW = 32902,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
};

// What a command's enabled and checked state follows.
enum class CommandRule {
    kAlways,
    kLogin,           // logged out, an instrument registered, no log-in running
    kLogout,          // logged in
    kRegister,        // no log-in running
    kConfig,          // logged out and no log-in running
    kLoginRunning,    // a log-in is running
    kLoggedIn,        // the control tool bar's drop-down menus
    kControlToolBar,  // logged in with the image shown; checked while the bar is visible
    kView,            // decided by the connection's view; disabled without one
    kDarkLook,        // always; checked while the dark look is on
};

struct CommandSpec {
    int id;
    const char* menuText;  // caption with its mnemonic, as menus show it
    const char* prompt;    // "status bar prompt\ntool tip"
    const char* shortcut;  // portable key sequence texts separated by "; ", or nullptr
    CommandRule rule;
    const char* glyph;  // the tool-bar icon's glyph, or nullptr for a command without a button
};

// Every command of the main window, once. Menus, tool bars, the dialog bar and the shortcuts
// are all made from this table.
std::span<const CommandSpec> FrameCommands();
const CommandSpec* FindCommand(int id);
// The command's menu caption, and its status-bar prompt (part 0) or tool tip (part 1), in the
// user's language.
QString MenuTextOf(const CommandSpec& command);
QString PromptOf(const CommandSpec& command, int part);
// The command's keys; menus show the first.
QList<QKeySequence> ShortcutsOf(const CommandSpec& command);

// The state the frame is in, as far as enabling commands goes.
struct FrameState {
    bool loggedIn = false;
    int registeredCount = 0;
    bool loginRunning = false;
    bool imageShown = false;         // the view shows the instrument's screen image
    bool controlBarVisible = false;  // the control tool bar is visible
    const ICommandTarget* view = nullptr;
    bool darkLook = false;  // the user chose the dark look
};

CommandState CommandStateFor(const CommandSpec& command, const FrameState& state);
