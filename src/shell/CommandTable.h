#pragma once

#include <QKeySequence>
#include <QList>
#include <span>

#include "ui/CommandTarget.h"

// What a command's enabled and checked state follows.
enum class CommandRule {
    kAlways,
    kLogin,           // an instrument registered, no log-in running
    kLogout,          // logged in
    kRegister,        // no log-in running
    kConfig,          // logged out and no log-in running
    kLoginRunning,    // a log-in is running
    kLoggedIn,        // the control tool bar's drop-down menus
    kControlToolBar,  // logged in with the image shown; checked while the bar is visible
    kView,            // decided by the connection's view; disabled without one
    kDarkLook,        // always; checked while the dark look is on
    kTabs,            // more than one instrument open
};

class CMainFrame;
// A command the frame runs itself.
using FrameHandler = void (CMainFrame::*)();

// What choosing a command does: the frame runs one of its handlers, the command's drop-down
// menu opens, or the connection's view runs it.
struct CommandRun {
    FrameHandler handler = nullptr;
    bool dropDown = false;
};
constexpr CommandRun kRunByView{};
constexpr CommandRun kDropDown{nullptr, true};
constexpr CommandRun RunByFrame(FrameHandler handler) {
    return {handler, false};
}

struct CommandSpec {
    CommandRef command;
    const char* menuText;  // caption with its mnemonic, as menus show it
    const char* prompt;    // "status bar prompt\ntool tip"
    const char* shortcut;  // portable key sequence texts separated by "; ", or nullptr
    CommandRule rule;
    const char* glyph;  // the tool-bar icon's glyph, or nullptr for a command without a button
    CommandRun run;
};

// Every command of the main window, once, with what it runs. Menus, tool bars, the dialog bar
// and the shortcuts are all made from this table.
std::span<const CommandSpec> FrameCommands();
const CommandSpec* FindCommand(CommandRef command);
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
    int openCount = 0;      // instruments open, each in its tab
};

CommandState CommandStateFor(const CommandSpec& command, const FrameState& state);
