// Answers to the display commands: switching the instrument's own display and its trend
// options ("UD"), the pattern on the program display ("&4") and the screen image ("FC GET").

#include "SimAnswerFormat.h"
#include "SimCommands.h"
#include "SimScreen.h"

namespace {

enum class GroupKind { kNone, kDisplay, kControl, kProgram };

struct CDisplayWord {
    const char* word;
    GroupKind group;
};

constexpr CDisplayWord kDisplayWords[] = {
    {"TREND", GroupKind::kDisplay},     {"DIGITAL", GroupKind::kDisplay},
    {"BAR", GroupKind::kDisplay},       {"OVERVIEW", GroupKind::kNone},
    {"ALARM", GroupKind::kNone},        {"MESSAGE", GroupKind::kNone},
    {"FACEPLATE", GroupKind::kControl}, {"CONTROLLER", GroupKind::kControl},
    {"HYBRID", GroupKind::kControl},    {"CTRLOVER", GroupKind::kNone},
    {"PROGRAM", GroupKind::kProgram},   {"CTRLDO", GroupKind::kNone},
    {"CTRLSUMMARY", GroupKind::kNone},  {"CTRLSW", GroupKind::kNone},
    {"EVENTSUMMARY", GroupKind::kNone},
};

// "UD 1,<display>" or "UD 1,<display>,<group>".
std::string SwitchDisplay(std::string_view rest, CSimInstrument& instrument) {
    const size_t comma = rest.find(',');
    const std::string_view word = rest.substr(0, comma);
    for (const CDisplayWord& entry : kDisplayWords) {
        if (word != entry.word) {
            continue;
        }
        const bool grouped =
            entry.group == GroupKind::kDisplay || entry.group == GroupKind::kControl;
        if (grouped != (comma != std::string_view::npos)) {
            return SimErrorLine("Syntax error");
        }
        int64_t group = 0;
        if (grouped) {
            const int64_t count = entry.group == GroupKind::kDisplay
                                      ? instrument.DisplayGroupCount()
                                      : instrument.ControlGroupCount();
            const std::string_view number = rest.substr(comma + 1);
            if (!SimReadNumber(number, &group) || number[0] == '+' || number[0] == '-') {
                return SimErrorLine("Syntax error");
            }
            if (group < 1 || group > count) {
                return SimErrorLine("No such group");
            }
        }
        if (entry.group == GroupKind::kProgram && !instrument.HasProgram()) {
            return SimErrorLine("No program option");
        }
        instrument.Panel().displayWord = entry.word;
        instrument.Panel().displayGroup = static_cast<int>(group);
        return std::string(kSimOkLine);
    }
    return SimErrorLine("No such display");
}

// "UD 4,<ON|OFF>,<All|GROUP>,<ON|OFF>,<ON|OFF>".
std::string TrendOptions(std::string_view rest, CSimInstrument& instrument) {
    std::string_view words[4];
    for (int i = 0; i < 4; ++i) {
        const size_t comma = rest.find(',');
        if ((i == 3) != (comma == std::string_view::npos)) {
            return SimErrorLine("Syntax error");
        }
        words[i] = rest.substr(0, comma);
        rest = i == 3 ? std::string_view() : rest.substr(comma + 1);
    }
    const auto onOff = [](std::string_view word, bool* out) {
        *out = word == "ON";
        return word == "ON" || word == "OFF";
    };
    CSimPanel options = instrument.Panel();
    if (!onOff(words[0], &options.trendFirst) || (words[1] != "All" && words[1] != "GROUP") ||
        !onOff(words[2], &options.trendScale) || !onOff(words[3], &options.trendDigital)) {
        return SimErrorLine("Syntax error");
    }
    options.trendAllChannels = words[1] == "All";
    instrument.Panel() = options;
    return std::string(kSimOkLine);
}

std::string Display(const CSimRequest& request, CSimInstrument& instrument) {
    std::string_view rest;
    if (SimArguments(request, "UD 1,", &rest)) {
        return SwitchDisplay(rest, instrument);
    }
    if (SimArguments(request, "UD 4,", &rest)) {
        return TrendOptions(rest, instrument);
    }
    return SimErrorLine("Syntax error");
}

std::string ProgramDisplayPattern(const CSimRequest& request, CSimInstrument& instrument) {
    std::string_view rest;
    int64_t n = 0;
    if (!SimArguments(request, "&4 ", &rest) || rest.empty() || rest[0] < '0' || rest[0] > '9' ||
        !SimReadNumber(rest, &n)) {
        return SimErrorLine("Syntax error");
    }
    if (n < 1 || n > instrument.PatternCapacity()) {
        return SimErrorLine("No such pattern");
    }
    instrument.Panel().programDisplayPattern = static_cast<int>(n);
    return std::string(kSimOkLine);
}

std::string ScreenImage(const CSimRequest& request, CSimInstrument& instrument) {
    if (request.text != "FC GET") {
        return SimErrorLine("Syntax error");
    }
    const std::string& png = instrument.ScreenPng();
    if (png.empty()) {
        return SimErrorLine("Screen not available");  // drawing or encoding ran out of memory
    }
    return SimBinaryBlocks(png, SimImageBlockBytes(png.size()));
}

}  // namespace

void AddDisplayAnswers(CSimCommandTable& table) {
    table.push_back({"UD", SimGate::kAlways, false, Display});
    table.push_back({"&4", SimGate::kVersion306, true, ProgramDisplayPattern});
    table.push_back({"FC", SimGate::kAlways, false, ScreenImage});
}
