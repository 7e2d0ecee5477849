#pragma once

#include <cstdint>
#include <cstring>

// Fixed capacities of the settings model.
constexpr int kMaxDisplayGroups = 10;
constexpr int kMaxControlGroups = 8;
constexpr int kGroupMembers = 10;
constexpr int kMeasChannels = 30;
constexpr int kMathChannels = 30;
constexpr int kChannels = kMeasChannels + kMathChannels;
constexpr int kInternalLoops = 6;
constexpr int kExternalLoops = 16;
constexpr int kDioPoints = 36;
constexpr int kPatterns = 30;
constexpr int kPidAuxFlags = 10;

constexpr int kNameSize = 17;  // names and tags: 16 characters and a NUL
constexpr int kTypeTextSize = 10;
constexpr int kModeTextSize = 4;
constexpr int kValueTextSize = 8;
constexpr int kUnitTextSize = 7;

// Fields common to every channel, loop and DI/DO record, so that one panel routine can show any
// of them. A channel's value text uses all three value fields as one 24-byte text: it is copied
// in and out whole (SetWholeValueText, GetWholeValueText), never read past the end of one field.
struct CDisplayBlock {
    char name[kNameSize];
    char tag[3][kNameSize];
    char typeText[kTypeTextSize];
    char modeText[kModeTextSize];
    char valueText[3][kValueTextSize];
};

constexpr int kWholeValueTextSize = static_cast<int>(sizeof(CDisplayBlock::valueText));

// A buffer for the whole value text and a terminating NUL.
using WholeValueText = char[kWholeValueTextSize + 1];

// Stores the first 24 bytes of `text`.
inline void SetWholeValueText(CDisplayBlock& display, const WholeValueText& text) {
    std::memcpy(&display.valueText, text, sizeof display.valueText);
}

// The whole value text, NUL-terminated even when the stored one fills all 24 bytes.
inline void GetWholeValueText(const CDisplayBlock& display, WholeValueText& text) {
    std::memcpy(text, &display.valueText, sizeof display.valueText);
    text[kWholeValueTextSize] = '\0';
}

struct CGroupMember {
    int32_t kind;
    int32_t number;
};

struct CDisplayGroup {
    char name[kNameSize];
    CGroupMember members[kGroupMembers];
};

struct CControlGroup {
    char name[kNameSize];
    CGroupMember members[kGroupMembers];
};

struct CChannelRecord {
    CDisplayBlock display;
};

struct CInternalLoopRecord {
    int32_t operable;
    int32_t loopKind;
    int32_t outputType;
    int32_t retrans;
    CDisplayBlock display;
    int32_t modeCode;
    int32_t remote;
    int32_t run;
    int32_t bit7;
    double spValue;
    int32_t spDecimals;
    int32_t spEdited;
    double outValue;
    int32_t outDecimals;
    int32_t outEdited;
    double outLow;
    double outHigh;
};

struct CExternalLoopRecord {
    int32_t inUse;
    int32_t controllerModel;
    CDisplayBlock display;
    int32_t modeCode;
    int32_t remote;
    int32_t run;
    double spValue;
    int32_t spDecimals;
    int32_t spEdited;
    double outValue;
    int32_t outDecimals;
    int32_t outEdited;
    double outLow;
    double outHigh;
};

struct CDioRecord {
    int32_t present;
    CDisplayBlock display;
    int32_t outEdited;
    int32_t modeCode;
    int32_t moduleKind;
    int32_t inputState;
    int32_t outValue;
};

// What the values answer says beside one value: its unit and whether an alarm is raised on it.
struct CValueMark {
    char unit[kUnitTextSize];
    int32_t alarm;
};

struct CPatternRecord {
    int32_t exists;
    int32_t changed;
    int32_t state;
};

// Everything the console knows about the instrument of one connection. Zero-filled when the
// connection starts and never reallocated.
struct CInstrumentModel {
    // Run status.
    int32_t memoryRunning;
    int32_t mathRunning;
    // Login information.
    char userCode[2];
    char accessLevel[2];
    char userName[kNameSize];
    // Identity copy and counts.
    char family[4];
    int32_t modelClass;
    int32_t firmwareMajor;
    int32_t version;
    int32_t displayGroupCount;
    int32_t controlGroupCount;
    int32_t loopCount;
    int32_t extLoopCount;
    int32_t dioCount;
    int32_t measCount;
    int32_t mathCount;
    int32_t programOption;
    int32_t pidAux[kPidAuxFlags];
    // Date and time of the last values answer.
    char dataDate[10];
    char dataTime[14];
    // Beside the values of the last values answer: per channel, and per loop quantity (PV, SP
    // and OUT of each loop in turn); and how many of its values had an alarm raised.
    CValueMark channelMarks[kChannels];
    CValueMark loopMarks[3 * kInternalLoops];
    CValueMark extLoopMarks[3 * kExternalLoops];
    int32_t alarmsRaised;
    CDisplayGroup displayGroups[kMaxDisplayGroups];
    CControlGroup controlGroups[kMaxControlGroups];
    int32_t inputTypes[kMeasChannels];
    CChannelRecord channels[kChannels];
    CInternalLoopRecord internalLoops[kInternalLoops];
    CExternalLoopRecord externalLoops[kExternalLoops];
    CDioRecord dio[kDioPoints];
    CPatternRecord patterns[kPatterns];
    // Display state shared by the views.
    int32_t displayKind;
    int32_t displayGroup;
    int32_t simplePage;
    int32_t selectedPattern;
    int32_t controlStyle;
    int32_t trendOptions;
    int32_t measurePage;
    // The last screen image (owned by the screen-image command).
    const uint8_t* imageData;
    uint32_t imageLength;
};
