#include "commands/Command.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

#include "platform/StatusSink.h"

RzResult CCommand::Bind(CLinkTransport* link, const CInstrumentModel* identity) {
    link_ = link;
    identity_ = identity;
    return RZ_OK;
}

RzResult CCommand::SendRequest(const char* request) {
    if (link_ == nullptr) {
        return LINK_E_NOT_INITIALIZED;
    }
    return link_->Send(request, static_cast<uint32_t>(std::strlen(request)));
}

RzResult CCommand::ExchangeStatus(const char* request) {
    const RzResult result = SendRequest(request);
    if (result != RZ_OK) {
        return result;
    }
    return ReceiveStatus();
}

namespace {

// Receives one answer into `buffer` (capacity + 1 bytes) and terminates it. The length is
// clamped to the capacity so a misbehaving transport cannot make us write past the buffer.
RzResult ReceiveText(CLinkTransport* link, char* buffer, uint32_t capacity, int32_t mode) {
    const RzExpected<uint32_t> received = link->Receive(buffer, capacity, mode);
    if (!received) {
        buffer[0] = '\0';
        return received.code();
    }
    buffer[*received > capacity ? capacity : *received] = '\0';
    return RZ_OK;
}

bool IsLineEnd(char c) {
    return c == '\r' || c == '\n';
}

// Next non-empty line of `cursor`; runs of CR and LF count as one separator.
bool NextLine(const char*& cursor, const char** start, size_t* length) {
    while (IsLineEnd(*cursor)) {
        ++cursor;
    }
    if (*cursor == '\0') {
        return false;
    }
    *start = cursor;
    while (*cursor != '\0' && !IsLineEnd(*cursor)) {
        ++cursor;
    }
    *length = static_cast<size_t>(cursor - *start);
    return true;
}

// Leading blanks and a sign, then digits; saturates at the int32 range.
int32_t ReadStatusNumber(const char* text) {
    while (*text == ' ' || *text == '\t') {
        ++text;
    }
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        ++text;
    }
    int64_t magnitude = 0;
    constexpr int64_t kCap = static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1;
    for (; *text >= '0' && *text <= '9'; ++text) {
        magnitude = magnitude * 10 + (*text - '0');
        if (magnitude > kCap) {
            magnitude = kCap;
        }
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int32_t>::max()) {
        return std::numeric_limits<int32_t>::max();
    }
    return static_cast<int32_t>(value);
}

// The first CR LF at or after `text` (as strstr finds it, without its general search), or
// nullptr when the terminated text has none.
const char* FindLineEnd(const char* text) {
    for (const char* p = std::strchr(text, '\r'); p != nullptr; p = std::strchr(p + 1, '\r')) {
        if (p[1] == '\n') {
            return p;
        }
    }
    return nullptr;
}

}  // namespace

RzResult CCommand::ReceiveStatus() {
    if (link_ == nullptr) {
        return LINK_E_NOT_INITIALIZED;
    }
    char buffer[kStatusAnswerCapacity + 1];
    const RzResult result = ReceiveText(link_, buffer, kStatusAnswerCapacity, RECV_LINE);
    if (result != RZ_OK) {
        return result;
    }
    // buffer[1] is the terminator when only one byte arrived, so reading it is always safe.
    if (buffer[0] == 'E' && buffer[1] != '0') {
        ShowStatusMessage(buffer);
        return buffer[1] == 'A' ? REPLY_UNEXPECTED : REPLY_ERROR;  // a list is no status
    }
    return RZ_OK;
}

RzExpected<int> ReceiveFieldList(CLinkTransport* link, FieldRows& rows) {
    if (link == nullptr) {
        return RzError(LINK_E_NOT_INITIALIZED);
    }
    char buffer[kStatusAnswerCapacity + 1];
    const RzResult result = ReceiveText(link, buffer, kStatusAnswerCapacity, RECV_LIST);
    if (result != RZ_OK) {
        return RzError(result);
    }

    const char* cursor = buffer;
    const char* line = nullptr;
    size_t lineLength = 0;
    if (!NextLine(cursor, &line, &lineLength) || lineLength != 2 ||
        std::strncmp(line, "EA", 2) != 0) {
        ShowStatusMessage(buffer);
        return RzError(REPLY_UNEXPECTED);
    }

    int lines = 0;
    int count = 0;
    while (NextLine(cursor, &line, &lineLength)) {
        if (lineLength == 2 && std::strncmp(line, "EN", 2) == 0) {
            break;
        }
        if (lineLength > static_cast<size_t>(kLineBufferSize - 1) || ++lines > kFieldListLines) {
            return RzError(LINK_E_FORMAT);
        }
        const char* field = line + (lineLength < 2 ? lineLength : 2);
        const char* end = line + lineLength;
        while (field < end) {
            while (field < end && *field == ',') {
                ++field;
            }
            const char* fieldEnd = field;
            while (fieldEnd < end && *fieldEnd != ',') {
                ++fieldEnd;
            }
            if (fieldEnd == field) {
                break;
            }
            if (count >= kFieldRows) {
                return RzError(LINK_E_FORMAT);
            }
            // A line holds at most 255 characters, so a field always fits its row.
            const auto fieldLength = static_cast<size_t>(fieldEnd - field);
            std::memcpy(rows[count], field, fieldLength);
            rows[count][fieldLength] = '\0';
            ++count;
            field = fieldEnd;
        }
    }
    return count;
}

RzResult SplitFields(FieldRows& rows, const char* line, int maxRows) {
    for (auto& row : rows) {
        row[0] = '\0';
    }
    const int limit = maxRows < 0 ? 0 : (maxRows > kFieldRows ? kFieldRows : maxRows);
    const char* field = line;
    for (int skipped = 0; skipped < 2 && *field != '\0'; ++skipped) {
        ++field;
    }
    int filled = 0;
    while (*field != '\0') {
        while (*field == ',') {
            ++field;
        }
        if (*field == '\0') {
            break;
        }
        const char* fieldEnd = field;
        while (*fieldEnd != '\0' && *fieldEnd != ',') {
            ++fieldEnd;
        }
        const auto fieldLength = static_cast<size_t>(fieldEnd - field);
        if (filled >= limit || fieldLength >= static_cast<size_t>(kFieldRowSize)) {
            return LINK_E_FORMAT;
        }
        std::memcpy(rows[filled], field, fieldLength);
        rows[filled][fieldLength] = '\0';
        ++filled;
        field = fieldEnd;
    }
    return RZ_OK;
}

int64_t ScaleValue(double value, int decimals) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    if (std::isnan(value)) {
        return 0;
    }
    if (std::isinf(value)) {
        return value > 0 ? kMax : kMin;
    }
    // The shortest text that reads back as `value` is the decimal number the operator meant;
    // rounding that text avoids the binary error of value * 10^d (1233.9999... for 12.34).
    char text[64];
    const auto converted =
        std::to_chars(text, text + sizeof(text) - 1, value, std::chars_format::scientific);
    if (converted.ec != std::errc()) {
        // No finite double needs this much room; should it ever fail, saturate so that a
        // request refuses the value rather than send a number that was never read.
        return value > 0 ? kMax : kMin;
    }
    *converted.ptr = '\0';

    const char* cursor = text;
    const bool negative = *cursor == '-';
    if (negative) {
        ++cursor;
    }
    char digits[32];
    int digitCount = 0;
    for (; *cursor != '\0' && *cursor != 'e'; ++cursor) {
        if (*cursor >= '0' && *cursor <= '9' && digitCount < static_cast<int>(sizeof(digits))) {
            digits[digitCount++] = *cursor;
        }
    }
    const long exponent = *cursor == 'e' ? std::strtol(cursor + 1, nullptr, 10) : 0;
    bool zero = true;
    for (int i = 0; i < digitCount; ++i) {
        zero = zero && digits[i] == '0';
    }
    if (zero) {
        return 0;
    }

    // |value| = digits * 10^(exponent - (digitCount - 1)); scaled by 10^decimals.
    const long shift = exponent - (digitCount - 1) + static_cast<long>(decimals);
    uint64_t magnitude = 0;
    bool roundUp = false;
    bool roundUpNegative = false;  // a negative value rounds towards zero on an exact half
    const uint64_t limit = static_cast<uint64_t>(kMax);
    auto appendDigit = [&](int digit) {
        if (magnitude > (limit - static_cast<uint64_t>(digit)) / 10) {
            magnitude = limit + 1;  // saturated
            return false;
        }
        magnitude = magnitude * 10 + static_cast<uint64_t>(digit);
        return true;
    };
    if (shift >= 0) {
        bool ok = true;
        for (int i = 0; i < digitCount && ok; ++i) {
            ok = appendDigit(digits[i] - '0');
        }
        for (long i = 0; i < shift && ok; ++i) {
            ok = appendDigit(0);
        }
    } else {
        const long dropped = -shift;
        const long kept = digitCount - dropped;
        bool ok = true;
        for (long i = 0; i < kept && ok; ++i) {
            ok = appendDigit(digits[i] - '0');
        }
        if (kept >= 0) {
            // The fraction is 0.d[kept] d[kept+1] ...: compare it with one half.
            const int first = kept < digitCount ? digits[kept] - '0' : 0;
            bool restNonZero = false;
            for (long i = kept + 1; i < digitCount; ++i) {
                restNonZero = restNonZero || digits[i] != '0';
            }
            const bool aboveHalf = first > 5 || (first == 5 && restNonZero);
            const bool exactHalf = first == 5 && !restNonZero;
            roundUp = aboveHalf || exactHalf;
            roundUpNegative = aboveHalf;
        }
        // kept < 0: the fraction starts with a zero digit, so it is below one half.
    }
    if (negative ? roundUpNegative : roundUp) {
        if (magnitude <= limit) {
            ++magnitude;
        }
    }
    if (magnitude > limit) {
        return negative ? kMin : kMax;
    }
    const auto result = static_cast<int64_t>(magnitude);
    return negative ? -result : result;
}

RzExpected<int32_t> ScaleRequestValue(double value, int decimals) {
    if (!std::isfinite(value)) {
        return RzError(LINK_E_PARAMETER);
    }
    const int64_t scaled = ScaleValue(value, decimals);
    if (scaled < std::numeric_limits<int32_t>::min() ||
        scaled > std::numeric_limits<int32_t>::max()) {
        return RzError(LINK_E_PARAMETER);
    }
    return static_cast<int32_t>(scaled);
}

bool IsListErrorAnswer(const char* text) {
    return text[0] == 'E' && text[1] != 'A';
}

bool IsNumberedErrorAnswer(const char* text) {
    return text[0] == 'E' && ReadStatusNumber(text + 1) > 0;
}

bool IsBinaryErrorAnswer(const char* answer, uint32_t length) {
    return length >= 4 && answer[0] == 'E' && answer[1] != 'B' && answer[length - 3] == '\r' &&
           answer[length - 2] == '\n' && answer[length - 1] == '\0';
}

void KeepErrorLine(char* out, const char* answer) {
    size_t n = 0;
    while (n + 1 < kErrorLineSize && answer[n] != '\0' && !IsLineEnd(answer[n])) {
        out[n] = answer[n];
        ++n;
    }
    out[n] = '\0';
}

RzResult RunLineWalk(CLinkTransport* link, const char* request, const LineWalkOptions& options,
                     LineParser parser) {
    if (link == nullptr) {
        return LINK_E_NOT_INITIALIZED;
    }
    RzResult result = link->Send(request, static_cast<uint32_t>(std::strlen(request)));
    if (result != RZ_OK) {
        return result;
    }
    char buffer[kLineWalkCapacity + 1];
    const uint32_t capacity =
        options.capacity < kLineWalkCapacity ? options.capacity : kLineWalkCapacity;
    result = ReceiveText(link, buffer, capacity, RECV_LIST);
    if (result != RZ_OK) {
        return result;
    }
    const bool error = options.errorTest == AnswerErrorTest::kPositiveNumber
                           ? IsNumberedErrorAnswer(buffer)
                           : IsListErrorAnswer(buffer);
    if (error) {
        if (options.errorLine != nullptr) {
            KeepErrorLine(options.errorLine, buffer);
        }
        if (options.showError) {
            ShowStatusMessage(buffer);
        }
        return REPLY_UNEXPECTED;
    }

    char line[kLineBufferSize];
    const char* cursor = buffer;
    for (;;) {
        const char* lineEnd = FindLineEnd(cursor);
        if (lineEnd == nullptr) {
            return LINK_E_FORMAT;
        }
        const auto lineLength = static_cast<size_t>(lineEnd + 2 - cursor);
        if (lineLength > static_cast<size_t>(kLineBufferSize - 1)) {
            return LINK_E_FORMAT;
        }
        std::memcpy(line, cursor, lineLength);
        line[lineLength] = '\0';
        result = parser(line, static_cast<int>(lineLength));
        if (result != RZ_OK) {
            return result;
        }
        if (line[0] == 'E' && line[1] == 'N') {
            return RZ_OK;
        }
        cursor = lineEnd + 2;
    }
}
