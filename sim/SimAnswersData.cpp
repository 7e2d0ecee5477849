// Answers to the queries of what changes while the instrument runs: the latest values with the
// date and time, the DI/DO state record, the program pattern list and one pattern's state, and
// the logs.

#include <algorithm>
#include <cstdio>

#include "SimAnswerFormat.h"
#include "SimCommands.h"

namespace {

std::string Id(const char* format, int n) {
    char text[16];
    std::snprintf(text, sizeof text, format, n);
    return text;
}

CSimValueItem Item(const std::string& id, double value, int decimals, const std::string& unit) {
    CSimValueItem item;
    item.id = id;
    item.unit = unit;
    item.mantissa = SimScaled(value, decimals);
    item.decimals = decimals;
    return item;
}

// "FD<kind>,<first>,<last>": every item whose channel number lies from first to last, in the
// order measurement channels, math channels, internal loop PV/SP/OUT, external loop PV/SP/OUT.
std::string LatestValues(const CSimRequest& request, CSimInstrument& instrument) {
    std::string_view rest;
    int64_t args[3] = {};
    if (!SimArguments(request, "FD", &rest) || !SimReadNumbers(rest, 3, args) || args[0] != 0) {
        return SimErrorLine("Syntax error");
    }
    const int64_t first = args[1];
    const int64_t last = args[2];
    if (first < 1 || first > last || last > instrument.LastChannelNumber()) {
        return SimErrorLine("Channel range out of bounds");
    }
    const auto inRange = [first, last](int number) { return number >= first && number <= last; };
    const CSimSetup& setup = instrument.Setup();
    const bool unacknowledged = instrument.Panel().alarmsUnacknowledged;

    CSimListAnswer list;
    list.Add("DATE " + instrument.DateText());
    list.Add("TIME " + instrument.TimeText());
    for (int n = 1; n <= SimMeasCount(setup); ++n) {
        const CSimChannel& channel = setup.channels[n - 1];
        const std::string id = Id("%03d", n);
        if (!inRange(n)) {
            continue;
        }
        if (!channel.configured) {
            list.Add(SimSkippedValueLine(id));
            continue;
        }
        CSimValueItem item = Item(id, channel.value, channel.decimals, channel.unit);
        item.status = channel.status;
        item.alarm = channel.alarm;
        item.unacknowledged = unacknowledged;
        list.Add(SimValueLine(item));
    }
    // Math channels are numbered 31 to 60; their lines carry "A" and the math channel number.
    for (int n = 1; n <= SimMathCount(setup); ++n) {
        const CSimChannel& channel = setup.mathChannels[n - 1];
        const std::string id = Id("A%02d", n);
        if (!inRange(30 + n)) {
            continue;
        }
        if (!channel.configured) {
            list.Add(SimSkippedValueLine(id));
            continue;
        }
        CSimValueItem item = Item(id, channel.value, channel.decimals, channel.unit);
        item.status = channel.status;
        item.math = true;
        list.Add(SimValueLine(item));
    }
    for (int n = 1; n <= SimLoopCount(setup); ++n) {
        const CSimLoop& loop = setup.loops[n - 1];
        const CSimValueItem items[3] = {Item("", loop.pv, loop.pvDecimals, loop.unit),
                                        Item("", loop.EffectiveSp(), loop.spDecimals, loop.unit),
                                        Item("", loop.out, loop.outDecimals, "%")};
        for (int q = 0; q < 3; ++q) {
            const int number = 98 + 3 * n + q;
            if (!inRange(number)) {
                continue;
            }
            CSimValueItem item = items[q];
            item.id = Id("%03d", number);
            list.Add(loop.configured ? SimValueLine(item) : SimSkippedValueLine(item.id));
        }
    }
    const int extCount = std::min(SimExtLoopCount(setup), instrument.ExtLoopCapacity());
    for (int n = 1; n <= extCount; ++n) {
        const CSimExtLoop& loop = setup.extLoops[n - 1];
        const CSimValueItem items[3] = {Item("", loop.pv, loop.pvDecimals, loop.unit),
                                        Item("", loop.Sp(), loop.spDecimals, loop.unit),
                                        Item("", loop.out, loop.outDecimals, "%")};
        for (int q = 0; q < 3; ++q) {
            const int number = 198 + 3 * n + q;
            if (!inRange(number)) {
                continue;
            }
            CSimValueItem item = items[q];
            item.id = Id("%03d", number);
            const bool reported = loop.configured && loop.inUse;
            list.Add(reported ? SimValueLine(item) : SimSkippedValueLine(item.id));
        }
    }
    return std::move(list).Finish();
}

// The DI/DO state record. Six points to a byte in each bit field (bits 6 and 7 stay clear);
// one module-kind byte per point, 7 where the point has no module.
struct CDioLayout {
    size_t length, fieldA, kinds, fieldS, fieldD, fieldE;
};
constexpr CDioLayout kSmallDioLayout = {48, 26, 28, 40, 42, 44};
constexpr CDioLayout kLargeDioLayout = {88, 26, 32, 68, 74, 80};

std::string DioStates(const CSimRequest& request, CSimInstrument& instrument) {
    if (request.text != "FO") {
        return SimErrorLine("Syntax error");
    }
    const bool small = SimIsSmallModel(instrument.Profile().model);
    const CDioLayout& layout = small ? kSmallDioLayout : kLargeDioLayout;
    std::string record(layout.length, '\0');
    record.replace(0, 6, "FO" + std::to_string(instrument.Profile().model));
    record[layout.length - 2] = '\r';
    record[layout.length - 1] = '\n';
    const auto setBit = [&record](size_t field, int point) {
        record[field + static_cast<size_t>(point / 6)] |= static_cast<char>(1 << (point % 6));
    };
    for (int p = 0; p < instrument.DioPointCount(); ++p) {
        const CSimDioPoint& point = instrument.Setup().dio[static_cast<size_t>(p)];
        record[layout.kinds + static_cast<size_t>(p)] = static_cast<char>(point.module);
        if (!point.present) {
            continue;
        }
        setBit(layout.fieldA, p);
        if (point.mode == kSimMan) {
            setBit(layout.fieldS, p);
        }
        if (point.input != 0) {
            setBit(layout.fieldD, p);
        }
        if (point.output != 0) {
            setBit(layout.fieldE, p);
        }
    }
    return record;
}

// Flag byte of a pattern: running (bit 0), held (bit 1), waiting (bit 2), stored (bit 3).
unsigned PatternFlags(const CSimPattern& pattern) {
    if (!pattern.exists) {
        return 0;
    }
    return 8u | (pattern.running ? 1u : 0u) | (pattern.hold ? 2u : 0u) | (pattern.wait ? 4u : 0u);
}

// The pattern list as one binary block: format 1, the length of what follows the first four
// bytes, the masks of stored and running patterns (least significant byte first), the selected
// pattern and the pattern count, then three bytes per pattern: number, flags, presence.
std::string PatternList(const CSimRequest& request, CSimInstrument& instrument) {
    if (request.text != "FW") {
        return SimErrorLine("Syntax error");
    }
    const int count = instrument.PatternCapacity();
    uint32_t stored = 0;
    uint32_t running = 0;
    std::string entries;
    for (int n = 1; n <= count; ++n) {
        const CSimPattern& pattern = instrument.Setup().patterns[static_cast<size_t>(n - 1)];
        stored |= pattern.exists ? 1u << (n - 1) : 0u;
        running |= pattern.exists && pattern.running ? 1u << (n - 1) : 0u;
        entries += static_cast<char>(n);
        entries += static_cast<char>(PatternFlags(pattern));
        entries += static_cast<char>(pattern.exists ? 1 : 0);
    }
    const size_t length = 10 + entries.size();
    std::string payload;
    payload += '\0';
    payload += '\1';
    payload += static_cast<char>((length >> 8) & 0xFF);
    payload += static_cast<char>(length & 0xFF);
    for (const uint32_t word : {stored, running}) {
        for (int shift = 0; shift < 32; shift += 8) {
            payload += static_cast<char>((word >> shift) & 0xFF);
        }
    }
    payload += static_cast<char>(instrument.Panel().selectedPattern);
    payload += static_cast<char>(count);
    payload += entries;
    return SimBinaryBlocks(payload, 0);
}

// One pattern's state as "stored.waiting.held.running".
std::string PatternState(const CSimRequest& request, CSimInstrument& instrument) {
    int64_t n = instrument.Panel().selectedPattern;
    if (request.text != "FH") {
        std::string_view rest;
        if (!SimArguments(request, "FH", &rest) || !SimReadNumber(rest, &n) || rest[0] == '+' ||
            rest[0] == '-') {
            return SimErrorLine("Syntax error");
        }
    }
    if (n < 1 || n > instrument.PatternCapacity()) {
        return SimErrorLine("No such pattern");
    }
    const CSimPattern& pattern = instrument.Setup().patterns[static_cast<size_t>(n - 1)];
    CSimListAnswer list;
    list.Add(SimDottedRecord(pattern.exists ? 1 : 0, pattern.wait ? 1 : 0, pattern.hold ? 1 : 0,
                             pattern.running ? 1 : 0));
    return std::move(list).Finish();
}

// "FL <name>,<count>": the last `count` lines of a log, oldest first.
std::string LogLines(const CSimRequest& request, CSimInstrument& instrument) {
    std::string_view rest;
    if (!SimArguments(request, "FL ", &rest)) {
        return SimErrorLine("Syntax error");
    }
    const size_t comma = rest.rfind(',');
    int64_t count = 0;
    if (comma == std::string_view::npos || !SimReadNumber(rest.substr(comma + 1), &count)) {
        return SimErrorLine("Syntax error");
    }
    std::string_view name = rest.substr(0, comma);
    while (!name.empty() && name.back() == ' ') {
        name.remove_suffix(1);  // "ALARM " names the alarm log too
    }
    int kind = -1;
    for (int k = 0; k < kSimLogKinds; ++k) {
        if (name == kSimLogKindTable[k].name) {
            kind = k;
        }
    }
    if (kind < 0) {
        return SimErrorLine("No such log");
    }
    if (count < 1 || static_cast<size_t>(count) > kSimLogKindTable[kind].capacity) {
        return SimErrorLine("Line count out of range");
    }
    const auto& log = instrument.Setup().logs[static_cast<size_t>(kind)];
    const size_t wanted = static_cast<size_t>(count);
    const size_t from = log.size() > wanted ? log.size() - wanted : 0;
    CSimListAnswer list;
    for (size_t i = from; i < log.size(); ++i) {
        list.Add(log[i]);
    }
    return std::move(list).Finish();
}

}  // namespace

void AddDataAnswers(CSimCommandTable& table) {
    table.push_back({"FD", SimGate::kAlways, false, LatestValues});
    table.push_back({"FO", SimGate::kMajor3, false, DioStates});
    table.push_back({"FW", SimGate::kMajor3, true, PatternList});
    table.push_back({"FH", SimGate::kAlways, true, PatternState});
    table.push_back({"FL", SimGate::kAlways, false, LogLines});
}
