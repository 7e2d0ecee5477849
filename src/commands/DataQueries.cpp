#include "commands/DataQueries.h"

#include <cstdio>
#include <cstring>

#include "commands/AnswerParsers.h"
#include "model/InstrumentModel.h"
#include "platform/StatusSink.h"

namespace {

constexpr uint32_t kSmallAnswerCapacity = 256;  // "FO", "FW"

// Length of a line without its CR LF.
size_t ContentLength(const char* line) {
    size_t n = 0;
    while (line[n] != '\0' && line[n] != '\r' && line[n] != '\n') {
        ++n;
    }
    return n;
}

// Copies characters [start, start + count) of a line of `length` characters into `dest`;
// positions past the line's end are simply not there.
template <size_t N>
void CopySpan(char (&dest)[N], const char* line, size_t length, size_t start, size_t count) {
    size_t n = 0;
    for (size_t i = start; i < start + count && i < length && n + 1 < N; ++i) {
        dest[n++] = line[i];
    }
    dest[n] = '\0';
}

// Copies the blank-delimited word at `word` (at most N - 1 characters).
template <size_t N>
void CopyWord(char (&dest)[N], const char* word) {
    size_t n = 0;
    while (word[n] != '\0' && word[n] != ' ' && word[n] != '\r' && word[n] != '\n' && n + 1 < N) {
        dest[n] = word[n];
        ++n;
    }
    dest[n] = '\0';
}

const char* SkipBlanks(const char* p) {
    while (*p == ' ') {
        ++p;
    }
    return p;
}

const char* SkipWord(const char* p) {
    while (*p != '\0' && *p != ' ' && *p != '\r' && *p != '\n') {
        ++p;
    }
    return p;
}

// Layout of the DI/DO state record per model.
struct CDioRecordLayout {
    uint32_t length;
    int points;
    int bits;
    uint32_t fieldA;
    uint32_t kinds;
    uint32_t fieldS;
    uint32_t fieldD;
    uint32_t fieldE;
};

const CDioRecordLayout* DioLayout(int32_t modelClass) {
    static const CDioRecordLayout k3100 = {48, 12, 14, 26, 28, 40, 42, 44};
    static const CDioRecordLayout k3200 = {88, 36, 46, 26, 32, 68, 74, 80};
    if (modelClass == 3100) {
        return &k3100;
    }
    if (modelClass == 3200) {
        return &k3200;
    }
    return nullptr;
}

struct CLogKind {
    const char* name;
    int32_t largestCount;
};

constexpr CLogKind kLogKinds[] = {{"COM", 200}, {"FTPC", 50},  {"ERR", 50},     {"KEY", 50},
                                  {"WEB", 50},  {"EMAIL", 50}, {"ALARM ", 120}, {"MSG", 100}};
constexpr int32_t kLogKindCount = static_cast<int32_t>(sizeof(kLogKinds) / sizeof(kLogKinds[0]));

}  // namespace

// ---- "FD" ----

void CCmdFD::Clear() {
    errorLine[0] = '\0';
    date[0] = '\0';
    time[0] = '\0';
    measCount = -1;
    mathCount = -1;
    loopCount = -1;
    extCount = -1;
    std::memset(measRecords, 0, sizeof(measRecords));
    std::memset(mathRecords, 0, sizeof(mathRecords));
    std::memset(loopRecords, 0, sizeof(loopRecords));
    std::memset(extRecords, 0, sizeof(extRecords));
}

RzResult CCmdFD::Query() {
    Clear();
    if (identity_ == nullptr) {
        return LINK_E_NOT_INITIALIZED;
    }
    const char* request = identity_->modelClass < 3200 ? "FD0,1,212" : "FD0,1,248";
    LineWalkOptions options;
    options.errorTest = AnswerErrorTest::kNotListOpener;
    options.showError = false;
    options.errorLine = errorLine;
    return RunLineWalk(link_, request, options, [this](const char* line, int) {
        ParseLine(line);
        return RZ_OK;
    });
}

void CCmdFD::ParseLine(const char* line) {
    const size_t length = ContentLength(line);
    if (LineBegins(line, "EA") || LineBegins(line, "EN")) {
        return;
    }
    const char* first = SkipBlanks(line);
    const char* firstEnd = SkipWord(first);
    const size_t firstLength = static_cast<size_t>(firstEnd - first);
    if (firstLength == 4) {
        char word[5];
        std::memcpy(word, first, 4);
        word[4] = '\0';
        const bool isDate = EqualsUpper(word, "DATE");
        if (isDate || EqualsUpper(word, "TIME")) {
            char second[kLineBufferSize];
            CopyWord(second, SkipBlanks(firstEnd));
            UpperAscii(second);
            if (isDate) {
                CopyAnswerText(date, sizeof(date), second);
            } else {
                CopyAnswerText(time, sizeof(time), second);
            }
            return;
        }
    }
    // A data line: status letter, then the channel number in characters 2 to 4.
    if (length < 5) {
        return;
    }
    const int32_t number = ReadAnswerIntN(line + 2, 3);
    CDataRecord* table = nullptr;
    int32_t* count = nullptr;
    int32_t capacity = 0;
    bool math = false;
    if (number == 0) {
        table = mathRecords;
        count = &mathCount;
        capacity = kDataMathRecords;
        math = true;
    } else if (number >= 1 && number <= 30) {
        table = measRecords;
        count = &measCount;
        capacity = kDataMeasRecords;
    } else if (number >= 101 && number <= 200) {
        table = loopRecords;
        count = &loopCount;
        capacity = kDataLoopRecords;
    } else if (number >= 201) {
        table = extRecords;
        count = &extCount;
        capacity = kDataExtRecords;
    } else {
        return;
    }
    if (*count + 1 >= capacity) {
        return;  // the table is full; more items than the instrument can have
    }
    CDataRecord& record = table[++*count];
    CopySpan(record.status, line, length, 0, 1);
    CopySpan(record.number, line, length, 2, 3);
    if (line[0] == 'S') {
        return;
    }
    CopySpan(record.marks, line, length, 5, 12);
    CopySpan(record.text1, line, length, 17, 6);
    if (math) {
        CopySpan(record.text2, line, length, 23, 9);
        CopySpan(record.text3, line, length, 33, 3);
    } else {
        CopySpan(record.text2, line, length, 23, 6);
        CopySpan(record.text3, line, length, 30, 3);
    }
}

// ---- "FO" ----

void CCmdFO::Clear() {
    for (CDioPointState& point : points) {
        point = {0, 3, 7, 0, 0};
    }
}

RzResult CCmdFO::Query() {
    Clear();
    const int32_t modelClass = identity_ != nullptr ? identity_->modelClass : 0;
    const CDioRecordLayout* layout = DioLayout(modelClass);
    if (layout == nullptr) {
        return REPLY_UNEXPECTED;
    }
    if (link_ == nullptr) {
        return LINK_E_NOT_INITIALIZED;
    }
    return RunAnswerQuery<kSmallAnswerCapacity>(
        link_, "FO", AnswerShape(RECV_FIXED, layout->length),
        [this, modelClass](const char* bytes, uint32_t length) {
            return ParseAnswer(bytes, length, modelClass);
        });
}

RzResult CCmdFO::ParseAnswer(const char* bytes, uint32_t length, int32_t modelClass) {
    const CDioRecordLayout* layout = DioLayout(modelClass);
    if (layout == nullptr) {
        return REPLY_UNEXPECTED;
    }
    if (IsBinaryErrorAnswer(bytes, length)) {
        ShowStatusMessage(bytes);
        return RZ_OK;
    }
    if (length != layout->length) {
        return REPLY_UNEXPECTED;
    }
    const auto* record = reinterpret_cast<const unsigned char*>(bytes);
    // Bit b of byte k belongs to point 6k + b: bits 6 and 7 of a byte overlap bits 0 and 1 of
    // the next one, which are read after them.
    for (int i = 0; i < layout->bits; ++i) {
        const int byte = i / 8;
        const int bit = i % 8;
        const int point = 6 * byte + bit;
        if (point >= layout->points || point >= kDioStatePoints) {
            continue;
        }
        const auto isSet = [&](uint32_t field) { return ((record[field + byte] >> bit) & 1) != 0; };
        if (isSet(layout->fieldA)) {
            points[point].flagA = 1;
        }
        points[point].flagS = isSet(layout->fieldS) ? 1 : 0;
        if (isSet(layout->fieldD)) {
            points[point].flagD = 1;
        }
        if (isSet(layout->fieldE)) {
            points[point].flagE = 1;
        }
    }
    for (int point = 0; point < layout->points && point < kDioStatePoints; ++point) {
        const unsigned char kind = record[layout->kinds + point];
        if (kind > 6) {
            break;
        }
        points[point].moduleKind = kind;
    }
    return RZ_OK;
}

// ---- "FW" ----

void CCmdFW::Clear() {
    word1 = 0;
    word2 = 0;
    patternCount = 0;
    std::memset(patterns, 0, sizeof(patterns));
}

RzResult CCmdFW::Query() {
    Clear();
    return RunAnswerQuery<kSmallAnswerCapacity>(
        link_, "FW", RECV_BINARY,
        [this](const char* bytes, uint32_t length) { return ParseAnswer(bytes, length); });
}

RzResult CCmdFW::ParseAnswer(const char* bytes, uint32_t length) {
    if (IsBinaryErrorAnswer(bytes, length)) {
        ShowStatusMessage(bytes);
        return RZ_OK;
    }
    const auto* payload = reinterpret_cast<const unsigned char*>(bytes);
    if (length < 4) {
        return LINK_E_GENERAL;
    }
    const uint32_t format = (uint32_t{payload[0]} << 8) | payload[1];
    const uint32_t declared = (uint32_t{payload[2]} << 8) | payload[3];
    if (format != 1 || declared < 13) {
        return LINK_E_GENERAL;
    }
    if (length < 12) {
        return LINK_E_FORMAT;
    }
    word1 = uint32_t{payload[4]} | (uint32_t{payload[5]} << 8) | (uint32_t{payload[6]} << 16) |
            (uint32_t{payload[7]} << 24);
    word2 = uint32_t{payload[8]} | (uint32_t{payload[9]} << 8) | (uint32_t{payload[10]} << 16) |
            (uint32_t{payload[11]} << 24);
    // Entries run to the declared length; one that the received bytes do not hold whole is a
    // truncated answer, never read past its end.
    for (uint32_t offset = 14; offset < declared + 4; offset += 3) {
        if (offset + 3 > length) {
            return LINK_E_FORMAT;
        }
        const unsigned char number = payload[offset];
        const unsigned char flags = payload[offset + 1];
        const unsigned char presence = payload[offset + 2];
        if (flags == 0 || presence == 0) {
            continue;
        }
        if (patternCount >= kPatternEntries) {
            return LINK_E_FORMAT;
        }
        CPatternEntry& entry = patterns[patternCount++];
        entry.pattern = number;
        entry.bit0 = flags & 1;
        entry.bit1 = flags & 2;
        entry.bit2 = flags & 4;
    }
    return RZ_OK;
}

// ---- "FH" ----

void CCmdFH::Clear() {
    bit0 = 0;
    bit1 = 0;
    bit2 = 0;
}

RzResult CCmdFH::Query() {
    Clear();
    char request[32];
    if (pattern == 0) {
        std::snprintf(request, sizeof(request), "FH");
    } else {
        std::snprintf(request, sizeof(request), "FH%d", pattern);
    }
    LineWalkOptions options;
    options.errorTest = AnswerErrorTest::kPositiveNumber;
    options.showError = false;
    return RunLineWalk(link_, request, options,
                       [this](const char* line, int) { return ParseLine(line); });
}

RzResult CCmdFH::ParseLine(const char* line) {
    if (LineBegins(line, "EA") || LineBegins(line, "EN")) {
        return RZ_OK;
    }
    const size_t length = ContentLength(line);
    uint32_t value = 0;
    int numbers = 0;
    size_t start = 0;
    for (size_t i = 0; i <= length; ++i) {
        if (i == length || line[i] == '.') {
            const auto number = static_cast<uint32_t>(ReadAnswerIntN(line + start, i - start));
            value = (value << 1) | number;
            ++numbers;
            start = i + 1;
        }
    }
    if (numbers >= 4) {
        bit0 = static_cast<int32_t>(value & 1);
        bit1 = static_cast<int32_t>(value & 2);
        bit2 = static_cast<int32_t>(value & 4);
    }
    return RZ_OK;
}

// ---- "FL" ----

void CCmdFL::Clear() {
    logText[0] = '\0';
}

RzResult CCmdFL::Query() {
    Clear();
    if (kind < 0 || kind >= kLogKindCount) {
        return LINK_E_PARAMETER;
    }
    const CLogKind& log = kLogKinds[kind];
    const int32_t lines = (count <= 0 || count > log.largestCount) ? log.largestCount : count;
    char request[32];
    std::snprintf(request, sizeof(request), "FL %s,%d", log.name, lines);
    return RunAnswerQuery<kLogReceiveSize>(
        link_, request, RECV_LIST,
        [this](const char* text, uint32_t length) { return ParseAnswer(text, length); });
}

RzResult CCmdFL::ParseAnswer(const char* text, uint32_t length) {
    logText[0] = '\0';
    if (IsNumberedErrorAnswer(text)) {
        ShowStatusMessage(text);
        return REPLY_UNEXPECTED;
    }
    // Log lines are appended straight from the answer, so their length is bounded only by
    // the log text, not by a line buffer.
    size_t used = 0;
    bool dropped = false;
    const RzResult walk =
        WalkAnswerLineViews(text, length, [&](const char* line, size_t lineLength) {
            if (LineBegins(line, "EN") || LineBegins(line, "EA")) {
                return RZ_OK;
            }
            if (used + lineLength < kLogTextSize) {
                std::memcpy(logText + used, line, lineLength);
                used += lineLength;
                logText[used] = '\0';
            } else {
                dropped = true;
            }
            return RZ_OK;
        });
    if (walk != RZ_OK) {
        return walk;
    }
    if (dropped) {
        return LINK_E_BUFFER_SMALL;
    }
    if (used == 0) {
        std::snprintf(logText, sizeof(logText), "No corresponding log!");
    }
    return RZ_OK;
}
