#pragma once

#include <array>
#include <cstdint>
#include <limits>
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

// How the plant moves a measurement channel, what a math channel computes, and the faults a
// profile can give a channel.
enum SimWave : int { kSimWaveAuto, kSimWaveSine, kSimWaveRamp, kSimWaveWalk, kSimWaveConstant };
enum SimMathOp : int { kSimMathNone, kSimMathSum, kSimMathAverage, kSimMathDifference };
enum SimFault : int { kSimFaultNone, kSimFaultOver, kSimFaultError };

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

    // The plant: a measurement channel moves between low and high (both 0: around its value)
    // with the given period and noise; a math channel computes `mathOp` over `inputs`
    // (channel numbers). Alarm limits are off unless set.
    int wave = kSimWaveAuto;
    double low = 0.0;
    double high = 0.0;
    double periodS = 60.0;
    double noise = 0.0;
    int fault = kSimFaultNone;
    bool alarmHighSet = false;
    bool alarmLowSet = false;
    double alarmHigh = 0.0;
    double alarmLow = 0.0;
    int mathOp = kSimMathNone;
    std::vector<int> inputs;
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

    // The process and the controller the plant runs: a first-order lag (gain from OUT span to
    // SP span, time constant) under PI; a stopped loop drives `stopOut` (NaN: the low limit).
    // In CAS or remote the set point comes from channel `remoteSource`, or from the loop
    // before it (its output across this loop's SP span) when that is 0.
    double gain = 1.0;
    double timeConstantS = 10.0;
    double kp = 2.0;
    double tiS = 20.0;
    double stopOut = std::numeric_limits<double>::quiet_NaN();
    int remoteSource = 0;
    bool remoteSpValid = false;  // set by the plant while the remote set point is in use
    double remoteSp = 0.0;
    double lastError = 0.0;

    double Sp() const { return setPoints[static_cast<size_t>(spNumber - 1)]; }
    // The set point in effect: the remote one in CAS or remote operation.
    double EffectiveSp() const { return remoteSpValid ? remoteSp : Sp(); }
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
    // The process behind the controller, as for internal loops.
    double gain = 1.0;
    double timeConstantS = 0.0;  // 0: by controller model
    double kp = 2.0;
    double tiS = 20.0;
    double lastError = 0.0;

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
    double togglePeriodS = 0.0;  // the input changes every this many seconds; 0: by number

    bool HasInput() const { return module == 0 || module == 3 || module == 4 || module == 6; }
    bool HasOutput() const { return module >= 1 && module <= 6; }
};

struct CSimSegment {
    double seconds = 30.0;
    double sp = 0.0;  // the set point reached at the segment's end
};

struct CSimPattern {
    bool exists = false;
    bool running = false;
    bool hold = false;  // running and held
    bool wait = false;  // running and waiting (status bit 2)
    int segment = 1;
    // What the plant runs: the segments (none given: three of 30, 60 and 30 s), the loop whose
    // set point the pattern drives (0: none), the time into the segment and the set point at
    // its start.
    std::vector<CSimSegment> segments;
    int loop = 0;
    double elapsedS = 0.0;
    double startSp = 0.0;
    bool startSpValid = false;
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

// How the plant runs. Off, values change only through operations and the screen is a fixed
// picture (the instrument as the conformance tests see it). Live, it moves on real time, or with
// `stepMs` set, on a manual clock that advances by that much at every "FD" request, so that a
// seed and a request sequence give the same values and screens every time.
struct CSimPlantSettings {
    bool live = false;
    uint64_t seed = 1;
    uint32_t stepMs = 0;
};

struct CSimSetup {
    int64_t clockStart = 0;  // seconds since 1970-01-01 of the instrument's clock at start-up
    bool memoryRunning = false;
    bool mathRunning = false;
    bool myEnabled = false;  // the switch that "MY?" reports
    // A scheduled alarm on the first measurement channel (SimScheduledAlarmChannel): with a live
    // plant it is up for the first `alarmOnMs` of every `alarmEveryMs` of plant time, from
    // start-up on, and that channel's own limits are not checked. 0: no schedule.
    uint32_t alarmEveryMs = 0;
    uint32_t alarmOnMs = 0;
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
