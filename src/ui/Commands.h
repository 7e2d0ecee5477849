#pragma once

#include <QMetaType>

// The commands of the main window and of the connection's view, by name. The console goes by
// the names alone and never reads a number from them; each name carries the numeric id the
// command is known by outside the code (for a numbered family that of its first member, member
// n being that id + n - 1). This is the one place those ids are written.
enum class Command : int {
    // The frame's own: log-in state, dialogs, chrome.
    kRegister = 32772,
    kLogin = 32773,
    kLogout = 32774,
    kConfig = 32782,
    kControlToolBar = 32815,
    kCancelLogin = 32899,
    kTrace = 32900,
    kDarkLook = 32901,
    kPlantOverview = 32902,
    kNextTab = 32903,
    kPreviousTab = 32904,
    kCloseTab = 32905,
    kAbout = 57664,
    kExit = 57665,
    // Drop-down menus of the control tool bar and of the control dialog bar.
    kControlMenu = 32787,
    kTrendMenu = 32788,
    kDigitalMenu = 32789,
    kBarMenu = 32790,
    kSaveDataMenu = 2004,
    kWriteMessageMenu = 2005,
    // The view's: displays of the instrument, layout, settings, the screen image.
    kControlGroup = 501,  // control group 1 to 8
    kInternalSwitch = 550,
    kDioStatus = 551,
    kProgram = 552,
    kControlOverview = 553,
    kControllerStyle = 580,
    kFaceplateStyle = 581,
    kHybridStyle = 582,
    kTrendGroup = 601,  // measurement group 1 to 10
    kAllChannels = 650,
    kGroupChannels = 651,
    kTrendScale = 652,
    kTrendDigital = 653,
    kDigitalGroup = 701,  // measurement group 1 to 10
    kBarGroup = 801,      // measurement group 1 to 10
    kRefresh = 32775,
    kOverview = 32791,
    kStyleShift = 32793,
    kSaveImage = 32795,
    kPattern = 32818,  // program pattern 1 to 30
    // The view's instrument functions.
    kMath = 2000,
    kMathReset = 2001,
    kMemory = 2002,
    kAlarmAck = 2003,
    kLog = 2006,
    kSaveDisplay = 2051,
    kSaveEvent = 2052,
    kManualSample = 2053,
    kManualTrigger = 2054,
    kMessage = 2100,  // message 1 to 8
};

// How many members each numbered family has at most.
constexpr int kControlGroupCount = 8;
constexpr int kMeasureGroupCount = 10;  // each of the trend, digital and bar groups
constexpr int kPatternCount = 30;
constexpr int kMessageCount = 8;

// One command to run or ask about: a command of a numbered family with its member's number
// (control group 3 is {kControlGroup, 3}), any other with 0.
struct CommandRef {
    Command command{};
    int index = 0;

    constexpr CommandRef() = default;
    constexpr CommandRef(Command c, int i = 0) : command(c), index(i) {}
    friend constexpr auto operator<=>(CommandRef, CommandRef) = default;
};

Q_DECLARE_METATYPE(CommandRef)
