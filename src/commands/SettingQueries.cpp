#include "commands/SettingQueries.h"

#include <cstdio>
#include <cstring>

#include "commands/AnswerParsers.h"
#include "platform/StatusSink.h"

namespace {

// Sizes of the answer areas on the stack of a run.
constexpr uint32_t kRecordAnswerCapacity = kStatusAnswerCapacity;  // "FM", "DR"
constexpr uint32_t kSmallAnswerCapacity = 256;                     // "IS 0", "FU 0"

bool InRange(int32_t number, int32_t count) {
    return number >= 1 && number <= count;
}

bool IsListMarker(const char* line) {
    return LineBegins(line, "EA") || LineBegins(line, "EN");
}

// The dotted status record shared by "FM", "DR" and "IS 0": the answer's lines, with runs of
// CR and LF as one separator, must be "EA" and then a record of exactly 15 characters.
enum class RecordShape { kRecord, kNotList, kMalformed };

constexpr size_t kRecordLength = 15;
constexpr int kRecordNumbers = 4;

RecordShape ReadStatusRecord(const char* text, uint32_t length, int needed,
                             int32_t (&numbers)[kRecordNumbers]) {
    const size_t end = strnlen(text, length);
    size_t pos = 0;
    auto nextLine = [&](size_t* start, size_t* lineLength) {
        while (pos < end && (text[pos] == '\r' || text[pos] == '\n')) {
            ++pos;
        }
        *start = pos;
        while (pos < end && text[pos] != '\r' && text[pos] != '\n') {
            ++pos;
        }
        *lineLength = pos - *start;
        return *lineLength > 0;
    };
    size_t start = 0;
    size_t lineLength = 0;
    if (!nextLine(&start, &lineLength) || lineLength != 2 || text[start] != 'E' ||
        text[start + 1] != 'A') {
        return RecordShape::kNotList;
    }
    if (!nextLine(&start, &lineLength) || lineLength != kRecordLength) {
        return RecordShape::kMalformed;
    }
    const char* record = text + start;
    int found = 0;
    size_t pieceStart = 0;
    for (size_t i = 0; i <= kRecordLength && found < kRecordNumbers; ++i) {
        if (i == kRecordLength || record[i] == '.') {
            numbers[found++] = ReadAnswerIntN(record + pieceStart, i - pieceStart);
            pieceStart = i + 1;
        }
    }
    return found >= needed ? RecordShape::kRecord : RecordShape::kMalformed;
}

}  // namespace

// ---- Field-list queries ----

void CCmdFP::Clear() {
    setPointNumber = 0;
    pidNumber = 0;
}

RzResult CCmdFP::Query() {
    Clear();
    char request[32];
    std::snprintf(request, sizeof(request), RequestFormat(), loop);
    return RunFieldListQuery(link_, request, [this](const FieldRows& rows, int count) {
        return ParseFields(rows, count);
    });
}

RzResult CCmdFP::ParseFields(const FieldRows& rows, int count) {
    if (count < 2) {
        return LINK_E_FIELDS;
    }
    setPointNumber = ReadAnswerIntFrom(rows[0], 2);
    pidNumber = ReadAnswerIntFrom(rows[1], 3);
    return RZ_OK;
}

RzResult CCmdFG::Query() {
    return RunFieldListQuery(link_, "FG?", [this](const FieldRows& rows, int count) {
        return ParseFields(rows, count);
    });
}

RzResult CCmdFG::ParseFields(const FieldRows& rows, int count) {
    int i = 0;
    for (; i + 2 <= count; i += 2) {
        const int32_t group = ReadAnswerInt(rows[i]);
        if (InRange(group, kQueryControlGroups)) {
            CopyAnswerText(groupName[group - 1], kQueryTextSize, rows[i + 1]);
        }
    }
    return i == count ? RZ_OK : LINK_E_FIELDS;
}

void CCmdHM::Clear() {
    std::memset(loopName, 0, sizeof(loopName));
    std::memset(loopText, 0, sizeof(loopText));
}

RzResult CCmdHM::Query() {
    Clear();
    return RunFieldListQuery(link_, "HM?", [this](const FieldRows& rows, int count) {
        return ParseFields(rows, count);
    });
}

RzResult CCmdHM::ParseFields(const FieldRows& rows, int count) {
    int i = 0;
    for (; i + 3 <= count; i += 3) {
        const int32_t loop = ReadAnswerInt(rows[i]);
        if (InRange(loop, kQueryLoops)) {
            CopyAnswerText(loopName[loop - 1], kQueryTextSize, rows[i + 1]);
            CopyAnswerText(loopText[loop - 1], kQueryTextSize, rows[i + 2]);
        }
    }
    return i == count ? RZ_OK : LINK_E_FIELDS;
}

void CCmdDY::Clear() {
    std::memset(pointText1, 0, sizeof(pointText1));
    std::memset(pointText2, 0, sizeof(pointText2));
}

RzResult CCmdDY::Query() {
    Clear();
    return RunFieldListQuery(link_, "DY?", [this](const FieldRows& rows, int count) {
        return ParseFields(rows, count);
    });
}

RzResult CCmdDY::ParseFields(const FieldRows& rows, int count) {
    int i = 0;
    for (; i + 3 <= count; i += 3) {
        const int32_t point = ReadAnswerInt(rows[i]);
        if (InRange(point, kQueryPoints)) {
            CopyAnswerText(pointText1[point - 1], kQueryTextSize, rows[i + 1]);
            CopyAnswerText(pointText2[point - 1], kQueryTextSize, rows[i + 2]);
        }
    }
    return i == count ? RZ_OK : LINK_E_FIELDS;
}

void CCmdPC::Clear() {
    std::memset(loopKind, 0, sizeof(loopKind));
}

RzResult CCmdPC::Query() {
    Clear();
    return RunFieldListQuery(link_, "PC?", [this](const FieldRows& rows, int count) {
        return ParseFields(rows, count);
    });
}

RzResult CCmdPC::ParseFields(const FieldRows& rows, int count) {
    static const char* const kKinds[] = {"Single", "Cascade", "PVSwitching", "Retrans"};
    int i = 0;
    for (; i + 2 <= count; i += 2) {
        const int32_t loop = ReadAnswerInt(rows[i]);
        if (InRange(loop, kQueryLoops)) {
            loopKind[loop - 1] = LookUpName(rows[i + 1], kKinds);
        }
    }
    return i == count ? RZ_OK : LINK_E_FIELDS;
}

void CCmdGF::Clear() {
    std::memset(outputType, 0, sizeof(outputType));
}

RzResult CCmdGF::Query() {
    Clear();
    return RunFieldListQuery(link_, "GF?", [this](const FieldRows& rows, int count) {
        return ParseFields(rows, count);
    });
}

RzResult CCmdGF::ParseFields(const FieldRows& rows, int count) {
    static const char* const kTypes[] = {"RELAY", "VOLTAGE-PULSE", "CURRENT-OUTPUT",
                                         "ON/OFF-CONTROL"};
    int i = 0;
    for (; i + 4 <= count; i += 4) {
        const int32_t loop = ReadAnswerInt(rows[i]);
        if (InRange(loop, kQueryLoops)) {
            outputType[loop - 1] = LookUpName(rows[i + 1], kTypes, true);
        }
    }
    return i == count ? RZ_OK : LINK_E_FIELDS;
}

void CCmdMY::Clear() {
    enabled = 0;
}

RzResult CCmdMY::Query() {
    Clear();
    return RunFieldListQuery(link_, "MY?", [this](const FieldRows& rows, int count) {
        return ParseFields(rows, count);
    });
}

RzResult CCmdMY::ParseFields(const FieldRows& rows, int count) {
    if (count < 1) {
        return LINK_E_FIELDS;
    }
    enabled = EqualsUpper(rows[0], "ON") ? 1 : 0;
    return RZ_OK;
}

void CCmdGG::Clear() {
    std::memset(memberKind, 0, sizeof(memberKind));
    std::memset(memberNumber, 0, sizeof(memberNumber));
}

RzResult CCmdGG::Query() {
    Clear();
    return RunFieldListQuery(link_, "GG?", [this](const FieldRows& rows, int count) {
        return ParseFields(rows, count);
    });
}

RzResult CCmdGG::ParseFields(const FieldRows& rows, int count) {
    static const char* const kKinds[] = {"Meas-CH", "Math-CH", "Int-Loop", "Ext-Loop", "DIO"};
    int i = 0;
    while (i < count) {
        if (i + 3 > count) {
            return LINK_E_FIELDS;
        }
        const int32_t group = ReadAnswerInt(rows[i]);
        const int32_t position = ReadAnswerInt(rows[i + 1]);
        if (!EqualsUpper(rows[i + 2], "ON")) {
            i += 3;
            continue;
        }
        if (i + 5 > count) {
            return LINK_E_FIELDS;
        }
        if (InRange(group, kQueryControlGroups) && InRange(position, kQueryControlMembers)) {
            memberKind[group - 1][position - 1] = LookUpName(rows[i + 3], kKinds);
            memberNumber[group - 1][position - 1] = ReadAnswerInt(rows[i + 4]);
        }
        i += 5;
    }
    return RZ_OK;
}

void CCmdGJ::Clear() {
    std::memset(used, 0, sizeof(used));
    std::memset(model, 0, sizeof(model));
    sharedNumber = 0;
    std::memset(name, 0, sizeof(name));
    std::memset(tag, 0, sizeof(tag));
}

RzResult CCmdGJ::Query() {
    Clear();
    return RunFieldListQuery(link_, "GJ?", [this](const FieldRows& rows, int count) {
        return ParseFields(rows, count);
    });
}

RzResult CCmdGJ::ParseFields(const FieldRows& rows, int count) {
    static const char* const kModels[] = {"MODEL-01", "MODEL-02", "MODEL-03", "MODEL-04",
                                          "MODEL-05", "MODEL-06", "MODEL-07", "MODEL-08",
                                          "MODEL-09", "MODEL-10", "MODEL-11", "MODEL-12",
                                          "MODEL-13", "MODEL-14", "OTHER"};
    int i = 0;
    while (i < count) {
        if (i + 2 > count) {
            return LINK_E_FIELDS;
        }
        const int32_t loop = ReadAnswerIntFrom(rows[i], 3);
        const bool inRange = InRange(loop, kQueryExtLoops);
        const char* state = rows[i + 1];
        if (std::strcmp(state, "On") != 0 && std::strcmp(state, "ON") != 0) {
            if (inRange) {
                used[loop - 1] = 0;
                std::snprintf(name[loop - 1], kQueryTextSize, "EXT-%02d", loop);
            }
            i += 2;
            continue;
        }
        if (i + 7 > count) {
            return LINK_E_FIELDS;
        }
        sharedNumber = ReadAnswerInt(rows[i + 2]);
        if (inRange) {
            used[loop - 1] = 1;
            model[loop - 1] = LookUpName(rows[i + 3], kModels, true);
            CopyAnswerText(name[loop - 1], kQueryTextSize, rows[i + 5]);
            CopyAnswerText(tag[loop - 1], kQueryTextSize, rows[i + 6]);
        }
        i += 7;
    }
    return RZ_OK;
}

void CCmdST::Clear() {
    std::memset(channelTag, 0, sizeof(channelTag));
    std::memset(loopTag, 0, sizeof(loopTag));
    std::memset(extLoopTag, 0, sizeof(extLoopTag));
    lastNumber = 0;
}

RzResult CCmdST::Query() {
    Clear();
    return RunFieldListQuery(link_, "ST?", [this](const FieldRows& rows, int count) {
        return ParseFields(rows, count);
    });
}

RzResult CCmdST::ParseFields(const FieldRows& rows, int count) {
    int i = 0;
    for (; i + 2 <= count; i += 2) {
        const int32_t number = ReadAnswerInt(rows[i]);
        lastNumber = number;
        const char* tagText = rows[i + 1];
        if (number >= 1 && number <= 60) {
            CopyAnswerText(channelTag[number - 1], kQueryTextSize, tagText);
        } else if (number >= 101 && number <= 118) {
            CopyAnswerText(loopTag[number - 101], kQueryTextSize, tagText);
        } else if (number >= 201 && number <= 248) {
            CopyAnswerText(extLoopTag[number - 201], kQueryTextSize, tagText);
        }
    }
    return i == count ? RZ_OK : LINK_E_FIELDS;
}

// ---- Line-walk queries ----

void CCmdHO::Clear() {
    for (int loop = 0; loop < kQueryLoops; ++loop) {
        lastPid[loop] = 0;
        for (int k = 0; k < kQueryPidSets; ++k) {
            outputLow[loop][k] = 0.0;
            outputHigh[loop][k] = 100.0;
        }
    }
}

RzResult CCmdHO::Query() {
    Clear();
    LineWalkOptions options;
    options.errorTest = AnswerErrorTest::kPositiveNumber;
    options.showError = false;
    return RunLineWalk(link_, "HO?", options,
                       [this](const char* line, int) { return ParseLine(line); });
}

RzResult CCmdHO::ParseLine(const char* line) {
    if (IsListMarker(line)) {
        return RZ_OK;
    }
    FieldRows rows;
    const RzResult result = SplitFields(rows, line, 8);
    if (result != RZ_OK) {
        return result;
    }
    const int32_t loop = ReadAnswerInt(rows[0]);
    const int32_t k = ReadAnswerInt(rows[1]);
    if (InRange(loop, kQueryLoops) && InRange(k, kQueryPidSets)) {
        lastPid[loop - 1] = k;
        outputLow[loop - 1][k - 1] = ReadAnswerInt(rows[2]);
        outputHigh[loop - 1][k - 1] = ReadAnswerInt(rows[3]);
    }
    return RZ_OK;
}

void CCmdGV::Clear() {
    for (int loop = 0; loop < kQueryExtLoops; ++loop) {
        pvDecimals[loop] = 1;
        spDecimals[loop] = 1;
        outDecimals[loop] = 1;
    }
}

RzResult CCmdGV::Query() {
    Clear();
    LineWalkOptions options;
    options.errorTest = AnswerErrorTest::kPositiveNumber;
    options.showError = false;
    return RunLineWalk(link_, "GV?", options,
                       [this](const char* line, int) { return ParseLine(line); });
}

RzResult CCmdGV::ParseLine(const char* line) {
    if (IsListMarker(line)) {
        return RZ_OK;
    }
    FieldRows rows;
    const RzResult result = SplitFields(rows, line, 4);
    if (result != RZ_OK) {
        return result;
    }
    const int32_t loop = ReadAnswerInt(rows[0]);
    int32_t* table = nullptr;
    if (EqualsUpper(rows[1], "PV")) {
        table = pvDecimals;
    } else if (EqualsUpper(rows[1], "SP")) {
        table = spDecimals;
    } else if (EqualsUpper(rows[1], "OUT")) {
        table = outDecimals;
    } else {
        return LINK_E_FORMAT;
    }
    if (InRange(loop, kQueryExtLoops)) {
        table[loop - 1] = ReadAnswerInt(rows[2]);
    }
    return RZ_OK;
}

void CCmdMT::Clear() {
    std::memset(retrans, 0, sizeof(retrans));
    std::memset(spanDecimals, 0, sizeof(spanDecimals));
    for (int loop = 0; loop < kQueryLoops; ++loop) {
        spanLow[loop] = 0.0;
        spanHigh[loop] = 0.0;
    }
}

RzResult CCmdMT::Query() {
    Clear();
    LineWalkOptions options;
    options.errorTest = AnswerErrorTest::kPositiveNumber;
    options.showError = false;
    return RunLineWalk(link_, "MT?", options,
                       [this](const char* line, int) { return ParseLine(line); });
}

RzResult CCmdMT::ParseLine(const char* line) {
    if (IsListMarker(line)) {
        return RZ_OK;
    }
    FieldRows rows;
    const RzResult result = SplitFields(rows, line, 10);
    if (result != RZ_OK) {
        return result;
    }
    const int32_t loop = ReadAnswerInt(rows[0]);
    if (!EqualsUpper(rows[1], "RETRANS") || !InRange(loop, kQueryLoops)) {
        return RZ_OK;
    }
    const int index = loop - 1;
    if (EqualsUpper(rows[2], "ON")) {
        retrans[index] = 1;
        spanLow[index] = ReadAnswerInt(rows[4]);
        spanHigh[index] = ReadAnswerInt(rows[5]);
        spanDecimals[index] = ReadAnswerInt(rows[6]);
    } else {
        retrans[index] = 0;
    }
    return RZ_OK;
}

void CCmdSX::Clear() {
    std::memset(groupName, 0, sizeof(groupName));
    std::memset(groupChannels, 0, sizeof(groupChannels));
}

RzResult CCmdSX::Query() {
    Clear();
    LineWalkOptions options;
    options.errorTest = AnswerErrorTest::kPositiveNumber;
    options.showError = false;
    return RunLineWalk(link_, "SX?", options,
                       [this](const char* line, int) { return ParseLine(line); });
}

RzResult CCmdSX::ParseLine(const char* line) {
    if (IsListMarker(line)) {
        return RZ_OK;
    }
    FieldRows rows;
    const RzResult result = SplitFields(rows, line, 3);
    if (result != RZ_OK) {
        return result;
    }
    const int32_t group = ReadAnswerInt(rows[0]);
    if (!InRange(group, kQueryDisplayGroups)) {
        return RZ_OK;
    }
    CopyAnswerText(groupName[group - 1], kQueryTextSize, rows[1]);
    int32_t* channels = groupChannels[group - 1];
    int stored = 0;
    const char* item = rows[2];
    // Items are separated by '.'; "a-b" stands for a to b inclusive. A group holds at
    // most ten channels, so a wide range stops there instead of running its length.
    while (stored < kQueryGroupChannels) {
        size_t itemLength = 0;
        while (item[itemLength] != '\0' && item[itemLength] != '.' && item[itemLength] != '\r' &&
               item[itemLength] != '\n') {
            ++itemLength;
        }
        if (itemLength > 0) {
            const char* dash = static_cast<const char*>(std::memchr(item, '-', itemLength));
            if (dash != nullptr) {
                const int64_t from = ReadAnswerIntN(item, static_cast<size_t>(dash - item));
                const int64_t to =
                    ReadAnswerIntN(dash + 1, itemLength - static_cast<size_t>(dash - item) - 1);
                for (int64_t n = from; n <= to && stored < kQueryGroupChannels; ++n) {
                    channels[stored++] = static_cast<int32_t>(n);
                }
            } else {
                channels[stored++] = ReadAnswerIntN(item, itemLength);
            }
        }
        if (item[itemLength] != '.') {
            break;
        }
        item += itemLength + 1;
    }
    return RZ_OK;
}

void CCmdSR::Clear() {
    for (int32_t& type : inputType) {
        type = 8;
    }
}

RzResult CCmdSR::Query() {
    Clear();
    LineWalkOptions options;
    options.errorTest = AnswerErrorTest::kNotListOpener;
    options.showError = false;
    return RunLineWalk(link_, "SR?", options,
                       [this](const char* line, int) { return ParseLine(line); });
}

RzResult CCmdSR::ParseLine(const char* line) {
    static const char* const kTypes[] = {"VOLT",  "TC",    "RTD",  "DI",
                                         "DELTA", "SCALE", "SQRT", "LOG"};
    if (IsListMarker(line)) {
        return RZ_OK;
    }
    const int32_t channel = ReadAnswerIntFrom(line, 2);
    const char* first = std::strchr(line, ',');
    if (first == nullptr || !InRange(channel, kQueryMeasChannels)) {
        return RZ_OK;
    }
    // The type runs to the second comma, or to the line end when there is none.
    char type[8];
    size_t n = 0;
    const char* p = first + 1;
    for (; *p != '\0' && *p != ',' && *p != '\r' && *p != '\n'; ++p, ++n) {
        if (n + 1 >= sizeof(type)) {
            return RZ_OK;  // longer than every known type
        }
        type[n] = *p;
    }
    type[n] = '\0';
    const int32_t code = LookUpName(type, kTypes, true);
    if (code != 0) {
        inputType[channel - 1] = code - 1;
    }
    return RZ_OK;
}

void CCmdDX::Clear() {
    for (int point = 0; point < kQueryPoints; ++point) {
        present[point] = 0;
        module[point] = 7;
        text[point][0] = '\0';
        value[point] = 0;
    }
}

RzResult CCmdDX::Query() {
    Clear();
    LineWalkOptions options;
    options.errorTest = AnswerErrorTest::kNotListOpener;
    options.showError = true;
    return RunLineWalk(link_, "DX?", options,
                       [this](const char* line, int) { return ParseLine(line); });
}

RzResult CCmdDX::ParseLine(const char* line) {
    static const char* const kModules[] = {"DI-1",   "DO-1",  "DO-2",   "DIO-11",
                                           "DIO-12", "DO-2P", "DIO-12P"};
    if (IsListMarker(line)) {
        return RZ_OK;
    }
    FieldRows rows;
    const RzResult result = SplitFields(rows, line, 7);
    if (result != RZ_OK) {
        return result;
    }
    const int32_t point = ReadAnswerInt(rows[0]);
    if (!InRange(point, kQueryPoints)) {
        return RZ_OK;
    }
    const int index = point - 1;
    if (!EqualsUpper(rows[1], "ON")) {
        present[index] = 0;
        return RZ_OK;
    }
    present[index] = 1;
    const int32_t found = LookUpName(rows[2], kModules, true);
    module[index] = found == 0 ? 7 : found - 1;
    const char* source = module[index] == 0 ? rows[3] : rows[4];
    CopyAnswerText(text[index], sizeof(text[index]), source);
    value[index] = ReadAnswerIntFrom(source, 2);
    return RZ_OK;
}

// ---- Single-record queries ----

void CCmdFM::Clear() {
    bit7 = 0;
    state0 = 2;
    state1 = 2;
    state2 = 3;
    state4 = 0;
}

RzResult CCmdFM::Query() {
    Clear();
    char request[32];
    std::snprintf(request, sizeof(request), RequestFormat(), loop);
    return RunAnswerQuery<kRecordAnswerCapacity>(
        link_, request, RECV_LIST,
        [this](const char* text, uint32_t length) { return ParseAnswer(text, length); });
}

RzResult CCmdFM::ParseAnswer(const char* text, uint32_t length) {
    int32_t numbers[kRecordNumbers] = {};
    switch (ReadStatusRecord(text, length, 4, numbers)) {
        case RecordShape::kNotList:
            Clear();
            return RZ_OK;
        case RecordShape::kMalformed:
            return LINK_E_FORMAT;
        case RecordShape::kRecord:
            break;
    }
    const int32_t status = numbers[3];
    if (ReadsBit7()) {
        bit7 = (numbers[0] >> 7) & 1;
    }
    state0 = status & 1;
    state1 = (status >> 1) & 1;
    state2 = (status & 8) != 0 ? 2 : ((status & 4) != 0 ? 1 : 0);
    state4 = (status >> 4) & 1;
    return RZ_OK;
}

void CCmdIS::Clear() {
    statusA = 0;
    statusB = 0;
}

RzResult CCmdIS::Query() {
    Clear();
    return RunAnswerQuery<kSmallAnswerCapacity>(
        link_, "IS 0", RECV_LIST,
        [this](const char* text, uint32_t length) { return ParseAnswer(text, length); });
}

RzResult CCmdIS::ParseAnswer(const char* text, uint32_t length) {
    int32_t numbers[kRecordNumbers] = {};
    switch (ReadStatusRecord(text, length, 1, numbers)) {
        case RecordShape::kNotList:
            // The instrument answered with a status line instead of the record. That line is
            // the whole answer: waiting for another would only run into the time-out and
            // break the link, so it is judged as a status answer here.
            if (text[0] == 'E' && text[1] != 'A' && text[1] != '0') {
                ShowStatusMessage(text);
                return REPLY_ERROR;
            }
            return RZ_OK;
        case RecordShape::kMalformed:
            return LINK_E_FORMAT;
        case RecordShape::kRecord:
            break;
    }
    statusA = (numbers[0] >> 1) & 1;
    statusB = (numbers[0] >> 2) & 1;
    return RZ_OK;
}

RzResult CCmdIF::Execute() {
    return ExchangeStatus("IF 255.255.255.255");
}

void CCmdFU::Clear() {
    code[0] = '\0';
    level[0] = '\0';
    userName[0] = '\0';
}

RzResult CCmdFU::Query() {
    Clear();
    // The fields of the last user line; they become the results only at the "EN" line.
    char lastCode = '\0';
    char lastLevel = '\0';
    char lastName[kQueryTextSize] = {};
    LineWalkOptions options;
    options.errorTest = AnswerErrorTest::kPositiveNumber;
    options.showError = false;
    options.capacity = kSmallAnswerCapacity;
    return RunLineWalk(link_, "FU 0", options, [&](const char* line, int) -> RzResult {
        if (LineBegins(line, "EN")) {
            code[0] = lastCode;
            code[1] = '\0';
            level[0] = lastLevel;
            level[1] = '\0';
            CopyAnswerText(userName, sizeof(userName), lastName);
            return RZ_OK;
        }
        if (LineBegins(line, "EA")) {
            return RZ_OK;
        }
        const char* fields[3] = {"", "", ""};
        size_t lengths[3] = {0, 0, 0};
        int found = 0;
        const char* p = line;
        for (;;) {
            while (*p == ' ') {
                ++p;
            }
            if (*p == '\0' || *p == '\r' || *p == '\n') {
                break;
            }
            if (found == 3) {
                return LINK_E_FORMAT;
            }
            fields[found] = p;
            while (*p != '\0' && *p != ' ' && *p != '\r' && *p != '\n') {
                ++p;
            }
            lengths[found] = static_cast<size_t>(p - fields[found]);
            ++found;
        }
        lastCode = lengths[0] > 0 ? fields[0][0] : '\0';
        lastLevel = lengths[1] > 0 ? fields[1][0] : '\0';
        const size_t nameLength =
            lengths[2] < sizeof(lastName) - 1 ? lengths[2] : sizeof(lastName) - 1;
        std::memcpy(lastName, fields[2], nameLength);
        lastName[nameLength] = '\0';
        return RZ_OK;
    });
}
