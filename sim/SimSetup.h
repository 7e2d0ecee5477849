#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// What the simulated instrument is set up with and the state its operations change: channels,
// loops, DI/DO points, groups, program patterns and logs. A profile gives the initial setup;
// the instrument keeps a working copy that its commands read and change.

inline constexpr int kSimMeasChannels = 30;
inline constexpr int kSimMathChannels = 30;
inline constexpr int kSimLoops = 6;
inline constexpr int kSimExtLoops = 16;
inline constexpr int kSimDioPoints = 36;
inline constexpr int kSimPatterns = 30;
inline constexpr int kSimDisplayGroups = 10;
inline constexpr int kSimGroupChannels = 10;
inline constexpr int kSimControlGroups = 8;
inline constexpr int kSimControlMembers = 6;
inline constexpr int kSimSetPoints = 8;  // set point (PID) numbers per loop
inline constexpr int kSimLogKinds = 8;
inline constexpr int kSimMessages = 8;
inline constexpr size_t kSimNameMax = 16;  // names and tags
inline constexpr size_t kSimUnitMax = 6;
inline constexpr size_t kSimTerminalMax = 7;
inline constexpr size_t kSimLogLineMax = 200;
inline constexpr int kSimMaxDecimals = 4;
inline constexpr int64_t kSimMantissaMax = 99999;         // sign and five digits
inline constexpr int64_t kSimMathMantissaMax = 99999999;  // sign and eight digits

// Loop kinds, output types, module kinds and control-group member kinds as the instrument
// numbers them; the words it answers with are in SimAnswerFormat.h.
enum SimLoopKind : int { kSimKindNone, kSimSingle, kSimCascade, kSimPvSwitching, kSimRetrans };
enum SimModule : int { kSimModuleNone = 7 };
enum SimMode : int { kSimAut, kSimMan, kSimCas };

// A measurement or math channel.
struct CSimChannel {
    bool configured = false;  // reported with a value; a channel that is not is skipped
    std::string tag;
    std::string inputType;  // measurement channels: VOLT, TC, RTD, ...; empty: skipped
    std::string range;      // the range text beside the input type
    std::string unit;
    double value = 0.0;
    int decimals = 1;
    char status = 'N';   // N normal, D (measurement only), O over range, E error
    bool alarm = false;  // an alarm is active on the channel
};

// An internal control loop.
struct CSimLoop {
    bool configured = false;
    std::string name;
    std::string text;  // the second text beside the name
    int kind = kSimKindNone;
    int outputType = 0;  // 0 none, 1 RELAY, 2 VOLTAGE-PULSE, 3 CURRENT-OUTPUT, 4 ON/OFF-CONTROL
    std::string pvTag, spTag, outTag;
    std::string unit;
    double pv = 0.0;
    int pvDecimals = 1;
    std::array<double, kSimSetPoints> setPoints{};  // by set point number
    int spDecimals = 1;
    double spLow = 0.0;
    double spHigh = 100.0;
    double out = 0.0;
    int outDecimals = 1;  // the retransmission decimals when retransmission is on
    double outLow = 0.0;  // output limits (the retransmission span when it is on)
    double outHigh = 100.0;
    int spNumber = 1;
    int pidNumber = 1;
    int mode = kSimAut;
    bool remote = false;
    bool run = true;
    bool alarm = false;   // status bit 7
    bool tuning = false;  // status bit 4
    bool retrans = false;
    std::string retransSource = "PV";

    double Sp() const { return setPoints[static_cast<size_t>(spNumber - 1)]; }
};

// A controller on the instrument's serial line, operated as an external loop.
struct CSimExtLoop {
    bool configured = false;  // reported in the values answer
    bool inUse = false;
    int controller = 0;  // 0 none, 1 to 14 MODEL-01 to MODEL-14, 15 OTHER
    int address = 1;     // the controller's address on the line
    std::string name;
    std::string tag;
    std::string pvTag, spTag, outTag;
    std::string unit;
    double pv = 0.0;
    int pvDecimals = 1;
    std::array<double, kSimSetPoints> setPoints{};
    int spDecimals = 1;
    double spLow = 0.0;
    double spHigh = 100.0;
    double out = 0.0;
    int outDecimals = 1;
    std::array<double, kSimSetPoints> outLow{};  // output limits per set point number
    std::array<double, kSimSetPoints> outHigh{};
    int spNumber = 1;
    int mode = kSimAut;
    bool remote = false;
    bool run = true;

    CSimExtLoop() { outHigh.fill(100.0); }
    double Sp() const { return setPoints[static_cast<size_t>(spNumber - 1)]; }
    // A controller the instrument knows how to operate (not none, not OTHER).
    bool Operable() const { return inUse && controller >= 1 && controller <= 14; }
};

// A DI/DO point.
struct CSimDioPoint {
    int module = kSimModuleNone;  // 0 DI-1 ... 6 DIO-12P, 7 none
    bool present = false;
    std::string name;
    std::string comment;
    std::string terminal;  // "DI005", "RO012", ...: the point's terminal text
    int mode = kSimAut;    // 0 AUT, 1 MAN
    int input = 0;
    int output = 0;

    bool HasInput() const { return module == 0 || module == 3 || module == 4 || module == 6; }
    bool HasOutput() const { return module >= 1 && module <= 6; }
};

struct CSimPattern {
    bool exists = false;
    bool running = false;
    bool hold = false;  // running and held
    bool wait = false;  // running and waiting (status bit 2)
    int segment = 1;
};

struct CSimDisplayGroup {
    std::string name;
    std::vector<int> channels;  // channel numbers, at most kSimGroupChannels
};

struct CSimControlMember {
    int kind = 0;  // 0 none, 1 Meas-CH, 2 Math-CH, 3 Int-Loop, 4 Ext-Loop, 5 DIO
    int number = 0;
};

struct CSimControlGroup {
    std::string name;
    std::array<CSimControlMember, kSimControlMembers> members{};
};

struct CSimSetup {
    int64_t clockStart = 0;  // seconds since 1970-01-01 of the instrument's clock at start-up
    bool memoryRunning = false;
    bool mathRunning = false;
    bool myEnabled = false;  // the switch that "MY?" reports
    std::array<CSimChannel, kSimMeasChannels> channels{};
    std::array<CSimChannel, kSimMathChannels> mathChannels{};
    std::array<CSimDisplayGroup, kSimDisplayGroups> displayGroups{};
    std::array<CSimControlGroup, kSimControlGroups> controlGroups{};
    std::array<CSimLoop, kSimLoops> loops{};
    std::array<CSimExtLoop, kSimExtLoops> extLoops{};
    std::array<CSimDioPoint, kSimDioPoints> dio{};
    std::array<CSimPattern, kSimPatterns> patterns{};
    std::array<std::vector<std::string>, kSimLogKinds> logs{};
    std::array<std::string, kSimMessages> messages{};

    CSimSetup();
};

// Highest configured number of each table (0 when none): what the values answer reports.
int SimMeasCount(const CSimSetup& setup);
int SimMathCount(const CSimSetup& setup);
int SimLoopCount(const CSimSetup& setup);
int SimExtLoopCount(const CSimSetup& setup);

// The instrument's log names, by log kind, and how many lines each keeps.
struct CSimLogKind {
    const char* name;
    size_t capacity;
};
inline constexpr CSimLogKind kSimLogKindTable[kSimLogKinds] = {
    {"COM", 200}, {"FTPC", 50},  {"ERR", 50},    {"KEY", 50},
    {"WEB", 50},  {"EMAIL", 50}, {"ALARM", 120}, {"MSG", 100}};
enum SimLogKind : int {
    kSimLogCom,
    kSimLogFtpc,
    kSimLogErr,
    kSimLogKey,
    kSimLogWeb,
    kSimLogEmail,
    kSimLogAlarm,
    kSimLogMsg
};

// "2024/05/17 09:30:00" to seconds since 1970-01-01 (false when malformed), and back as the
// instrument's date ("24/05/17") and time ("09:30:00.000") texts.
bool SimParseClock(const std::string& text, int64_t* seconds);
std::string SimDateText(int64_t seconds);
std::string SimTimeText(int64_t seconds, int milliseconds);
