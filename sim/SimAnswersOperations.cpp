// Answers to the operation commands: loop mode, local/remote, run/stop, set point and manual
// output of internal and external loops, DI/DO mode and output, program pattern operation,
// memory, math, alarm acknowledge, messages and data saving. Each changes the instrument's
// state and answers "E0", or refuses with an error line and changes nothing.

#include <cstdio>

#include "SimAnswerFormat.h"
#include "SimCommands.h"

namespace {

std::string SyntaxError() {
    return SimErrorLine("Syntax error");
}

std::string Ok() {
    return std::string(kSimOkLine);
}

// "<head>" followed by exactly `count` comma-separated numbers.
bool Numbers(const CSimRequest& request, std::string_view head, size_t count, int64_t* out) {
    std::string_view rest;
    return SimArguments(request, head, &rest) && SimReadNumbers(rest, count, out);
}

bool IsFlag(int64_t value) {
    return value == 0 || value == 1;
}

// A scaled value within [low, high] with `decimals` places; compared as the integers the
// instrument works in, so a limit itself is always accepted.
bool WithinLimits(int64_t scaled, double low, double high, int decimals) {
    return scaled >= SimScaled(low, decimals) && scaled <= SimScaled(high, decimals);
}

// "CA<mode>,<loop>"
std::string LoopMode(const CSimRequest& request, CSimInstrument& instrument) {
    int64_t args[2] = {};
    if (!Numbers(request, "CA", 2, args)) {
        return SyntaxError();
    }
    CSimLoop* loop = SimControlLoop(instrument, args[1]);
    if (loop == nullptr) {
        return SimErrorLine("No such loop");
    }
    if (args[0] < kSimAut || args[0] > kSimCas ||
        (args[0] == kSimCas && loop->kind != kSimCascade)) {
        return SimErrorLine("Mode not available");
    }
    loop->mode = static_cast<int>(args[0]);
    return Ok();
}

// "RL<state>,<loop>" and "OC<state>,<loop>"
std::string LoopRemote(const CSimRequest& request, CSimInstrument& instrument) {
    int64_t args[2] = {};
    if (!Numbers(request, "RL", 2, args) || !IsFlag(args[0])) {
        return SyntaxError();
    }
    CSimLoop* loop = SimControlLoop(instrument, args[1]);
    if (loop == nullptr) {
        return SimErrorLine("No such loop");
    }
    loop->remote = args[0] == 1;
    return Ok();
}

std::string LoopRun(const CSimRequest& request, CSimInstrument& instrument) {
    int64_t args[2] = {};
    if (!Numbers(request, "OC", 2, args) || !IsFlag(args[0])) {
        return SyntaxError();
    }
    CSimLoop* loop = SimControlLoop(instrument, args[1]);
    if (loop == nullptr) {
        return SimErrorLine("No such loop");
    }
    loop->run = args[0] == 1;
    return Ok();
}

// "HJ<scaled output>,<loop>"
std::string LoopOutput(const CSimRequest& request, CSimInstrument& instrument) {
    int64_t args[2] = {};
    if (!Numbers(request, "HJ", 2, args)) {
        return SyntaxError();
    }
    CSimLoop* loop = SimControlLoop(instrument, args[1]);
    if (loop == nullptr) {
        return SimErrorLine("No such loop");
    }
    if (!WithinLimits(args[0], loop->outLow, loop->outHigh, loop->outDecimals)) {
        return SimErrorLine("Output out of range");
    }
    loop->out = SimUnscaled(args[0], loop->outDecimals);
    return Ok();
}

// "GO<loop>,<set point number>,<scaled set point>"
std::string LoopSetPoint(const CSimRequest& request, CSimInstrument& instrument) {
    int64_t args[3] = {};
    if (!Numbers(request, "GO", 3, args)) {
        return SyntaxError();
    }
    CSimLoop* loop = SimControlLoop(instrument, args[0]);
    if (loop == nullptr) {
        return SimErrorLine("No such loop");
    }
    if (args[1] < 1 || args[1] > kSimSetPoints) {
        return SimErrorLine("No such set point number");
    }
    if (!WithinLimits(args[2], loop->spLow, loop->spHigh, loop->spDecimals)) {
        return SimErrorLine("Set point out of range");
    }
    loop->setPoints[static_cast<size_t>(args[1] - 1)] = SimUnscaled(args[2], loop->spDecimals);
    return Ok();
}

// "DT<loop>,<k>?" reads set point number k of an external loop with its output limits;
// "DT<loop>,<k>,SP,<scaled set point>" writes its set point.
std::string ExternalParameters(const CSimRequest& request, CSimInstrument& instrument) {
    std::string_view rest;
    if (!SimArguments(request, "DT", &rest) || rest.empty()) {
        return SyntaxError();
    }
    int64_t args[2] = {};
    int64_t value = 0;
    const bool query = rest.back() == '?';
    if (query) {
        if (!SimReadNumbers(rest.substr(0, rest.size() - 1), 2, args)) {
            return SyntaxError();
        }
    } else {
        const size_t sp = rest.find(",SP,");
        if (sp == std::string_view::npos || !SimReadNumbers(rest.substr(0, sp), 2, args) ||
            !SimReadNumber(rest.substr(sp + 4), &value)) {
            return SyntaxError();
        }
    }
    CSimExtLoop* loop = SimOperableExtLoop(instrument, args[0]);
    if (loop == nullptr) {
        return SimErrorLine("No controller on this loop");
    }
    if (args[1] < 1 || args[1] > kSimSetPoints) {
        return SimErrorLine("No such set point number");
    }
    const size_t k = static_cast<size_t>(args[1] - 1);
    if (query) {
        const std::string head = "DT" + std::to_string(args[0]) + "," + std::to_string(args[1]);
        CSimListAnswer list;
        list.Add(head + ",SP," + std::to_string(SimScaled(loop->setPoints[k], loop->spDecimals)));
        list.Add(head + ",OH," + std::to_string(SimScaled(loop->outHigh[k], loop->outDecimals)));
        list.Add(head + ",OL," + std::to_string(SimScaled(loop->outLow[k], loop->outDecimals)));
        return std::move(list).Finish();
    }
    if (!WithinLimits(value, loop->spLow, loop->spHigh, loop->spDecimals)) {
        return SimErrorLine("Set point out of range");
    }
    loop->setPoints[k] = SimUnscaled(value, loop->spDecimals);
    return Ok();
}

// "DV<loop>,<item>,<value>" with the items MODE, RL, SR and MOUT.
std::string ExternalItem(const CSimRequest& request, CSimInstrument& instrument) {
    std::string_view rest;
    if (!SimArguments(request, "DV", &rest)) {
        return SyntaxError();
    }
    const size_t first = rest.find(',');
    const size_t second = first == std::string_view::npos ? first : rest.find(',', first + 1);
    int64_t number = 0;
    int64_t value = 0;
    if (second == std::string_view::npos || !SimReadNumber(rest.substr(0, first), &number) ||
        !SimReadNumber(rest.substr(second + 1), &value)) {
        return SyntaxError();
    }
    const std::string_view item = rest.substr(first + 1, second - first - 1);
    if (item != "MODE" && item != "RL" && item != "SR" && item != "MOUT") {
        return SimErrorLine("No such item");
    }
    CSimExtLoop* loop = SimOperableExtLoop(instrument, number);
    if (loop == nullptr) {
        return SimErrorLine("No controller on this loop");
    }
    if (item == "MODE") {
        // External controllers run in AUT or MAN.
        if (value != kSimAut && value != kSimMan) {
            return SimErrorLine("Mode not available");
        }
        loop->mode = static_cast<int>(value);
    } else if (item == "MOUT") {
        const size_t k = static_cast<size_t>(loop->spNumber - 1);
        if (!WithinLimits(value, loop->outLow[k], loop->outHigh[k], loop->outDecimals)) {
            return SimErrorLine("Output out of range");
        }
        loop->out = SimUnscaled(value, loop->outDecimals);
    } else {
        if (!IsFlag(value)) {
            return SyntaxError();
        }
        (item == "RL" ? loop->remote : loop->run) = value == 1;
    }
    return Ok();
}

// The DI/DO point of "DL"/"DM" requests: present, with an output.
CSimDioPoint* OutputPoint(CSimInstrument& instrument, int64_t number) {
    if (number < 1 || number > instrument.DioPointCount()) {
        return nullptr;
    }
    CSimDioPoint& point = instrument.Setup().dio[static_cast<size_t>(number - 1)];
    return point.present && point.HasOutput() ? &point : nullptr;
}

std::string DioMode(const CSimRequest& request, CSimInstrument& instrument) {
    int64_t args[2] = {};
    if (!Numbers(request, "DL", 2, args) || !IsFlag(args[1])) {
        return SyntaxError();
    }
    CSimDioPoint* point = OutputPoint(instrument, args[0]);
    if (point == nullptr) {
        return SimErrorLine("No output point");
    }
    point->mode = static_cast<int>(args[1]);
    return Ok();
}

std::string DioOutput(const CSimRequest& request, CSimInstrument& instrument) {
    int64_t args[2] = {};
    if (!Numbers(request, "DM", 2, args) || !IsFlag(args[1])) {
        return SyntaxError();
    }
    CSimDioPoint* point = OutputPoint(instrument, args[0]);
    if (point == nullptr) {
        return SimErrorLine("No output point");
    }
    point->output = static_cast<int>(args[1]);
    return Ok();
}

// "<head><digit>" with one unsigned number, as "PN 3" or "PX 1".
bool Word(const CSimRequest& request, std::string_view head, int64_t* value) {
    std::string_view rest;
    return SimArguments(request, head, &rest) && !rest.empty() && rest[0] >= '0' &&
           rest[0] <= '9' && SimReadNumber(rest, value);
}

CSimPattern& Selected(CSimInstrument& instrument) {
    return instrument.Setup().patterns[static_cast<size_t>(instrument.Panel().selectedPattern - 1)];
}

std::string SelectPattern(const CSimRequest& request, CSimInstrument& instrument) {
    int64_t n = 0;
    if (!Word(request, "PN ", &n)) {
        return SyntaxError();
    }
    if (n < 1 || n > instrument.PatternCapacity() ||
        !instrument.Setup().patterns[static_cast<size_t>(n - 1)].exists) {
        return SimErrorLine("No such pattern");
    }
    instrument.Panel().selectedPattern = static_cast<int>(n);
    return Ok();
}

std::string RunPattern(const CSimRequest& request, CSimInstrument& instrument) {
    int64_t run = 0;
    if (!Word(request, "PX ", &run) || !IsFlag(run)) {
        return SyntaxError();
    }
    CSimPattern& pattern = Selected(instrument);
    if (!pattern.exists) {
        return SimErrorLine("No such pattern");
    }
    if (run == 1 && pattern.running) {
        return SimErrorLine("Pattern running");
    }
    // Run and reset both start from the first segment; the pattern's segments stay.
    pattern.running = run == 1;
    pattern.hold = false;
    pattern.wait = false;
    pattern.segment = 1;
    pattern.elapsedS = 0.0;
    pattern.startSpValid = false;
    return Ok();
}

std::string HoldPattern(const CSimRequest& request, CSimInstrument& instrument) {
    int64_t hold = 0;
    if (!Word(request, "HU ", &hold) || !IsFlag(hold)) {
        return SyntaxError();
    }
    CSimPattern& pattern = Selected(instrument);
    if (hold == 1 ? (!pattern.running || pattern.hold) : !pattern.hold) {
        return SimErrorLine(hold == 1 ? "Pattern not running" : "Pattern not held");
    }
    pattern.hold = hold == 1;
    return Ok();
}

std::string AdvancePattern(const CSimRequest& request, CSimInstrument& instrument) {
    if (request.text != "AD 1") {
        return SyntaxError();
    }
    CSimPattern& pattern = Selected(instrument);
    if (!pattern.running) {
        return SimErrorLine("Pattern not running");
    }
    ++pattern.segment;
    pattern.wait = false;  // advancing ends a wait
    return Ok();
}

std::string Memory(const CSimRequest& request, CSimInstrument& instrument) {
    if (request.text != "PS 0" && request.text != "PS 1") {
        return SyntaxError();
    }
    const bool start = request.text == "PS 0";
    instrument.Setup().memoryRunning = start;
    instrument.AppendLog(kSimLogKey,
                         instrument.DateTimeText() + (start ? " Memory start" : " Memory stop"));
    return Ok();
}

std::string Math(const CSimRequest& request, CSimInstrument& instrument) {
    static const char* const kActions[] = {" Math start", " Math stop", " Math reset"};
    int64_t action = 0;
    if (!Word(request, "TL ", &action) || action > 2) {
        return SyntaxError();
    }
    if (action == 2) {
        for (CSimChannel& channel : instrument.Setup().mathChannels) {
            channel.value = 0.0;
        }
    } else {
        instrument.Setup().mathRunning = action == 0;
    }
    instrument.AppendLog(kSimLogKey, instrument.DateTimeText() + kActions[action]);
    return Ok();
}

std::string AcknowledgeAlarms(const CSimRequest& request, CSimInstrument& instrument) {
    if (request.text != "AK 0") {
        return SyntaxError();
    }
    instrument.Panel().alarmsUnacknowledged = false;
    instrument.AppendLog(kSimLogAlarm, instrument.DateTimeText() + " Alarm ACK");
    return Ok();
}

std::string SaveData(const CSimRequest& request, CSimInstrument& instrument) {
    int64_t kind = 0;
    if (!Word(request, "EV ", &kind) || !(kind == 0 || kind == 1 || kind == 3 || kind == 4)) {
        return SyntaxError();
    }
    ++instrument.Panel().dataSaves[kind];
    return Ok();
}

// "MS <n>", or "MS<group>,<n>" on instruments with the fifth option flag.
std::string WriteMessage(const CSimRequest& request, CSimInstrument& instrument) {
    int64_t n = 0;
    if (instrument.Profile().pidAux[4] != 0) {
        int64_t args[2] = {};
        if (!Numbers(request, "MS", 2, args) || args[0] < 1 ||
            args[0] > instrument.DisplayGroupCount()) {
            return SyntaxError();
        }
        n = args[1];
    } else if (!Word(request, "MS ", &n)) {
        return SyntaxError();
    }
    if (n < 1 || n > kSimMessages) {
        return SimErrorLine("No such message");
    }
    instrument.AppendLog(kSimLogMsg, instrument.DateTimeText() + " " +
                                         instrument.Setup().messages[static_cast<size_t>(n - 1)]);
    return Ok();
}

}  // namespace

void AddOperationAnswers(CSimCommandTable& table) {
    table.push_back({"CA", SimGate::kAlways, false, LoopMode});
    table.push_back({"RL", SimGate::kAlways, false, LoopRemote});
    table.push_back({"OC", SimGate::kAlways, false, LoopRun});
    table.push_back({"HJ", SimGate::kAlways, false, LoopOutput});
    table.push_back({"GO", SimGate::kAlways, false, LoopSetPoint});
    table.push_back({"DT", SimGate::kMajor2, false, ExternalParameters});
    table.push_back({"DV", SimGate::kMajor2, false, ExternalItem});
    table.push_back({"DL", SimGate::kMajor3, false, DioMode});
    table.push_back({"DM", SimGate::kMajor3, false, DioOutput});
    table.push_back({"PN", SimGate::kAlways, true, SelectPattern});
    table.push_back({"PX", SimGate::kAlways, true, RunPattern});
    table.push_back({"HU", SimGate::kAlways, true, HoldPattern});
    table.push_back({"AD", SimGate::kAlways, true, AdvancePattern});
    table.push_back({"PS", SimGate::kAlways, false, Memory});
    table.push_back({"TL", SimGate::kAlways, false, Math});
    table.push_back({"AK", SimGate::kAlways, false, AcknowledgeAlarms});
    table.push_back({"EV", SimGate::kAlways, false, SaveData});
    table.push_back({"MS", SimGate::kAlways, false, WriteMessage});
}
