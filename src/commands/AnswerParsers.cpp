#include "commands/AnswerParsers.h"

#include <climits>

namespace {

bool IsAnswerSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

char UpperOf(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

int32_t ReadAnswerIntN(const char* text, size_t length) {
    size_t i = 0;
    while (i < length && text[i] != '\0' && IsAnswerSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < length && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t value = 0;
    while (i < length && text[i] >= '0' && text[i] <= '9') {
        // Saturate well before int64 could overflow; the answer may hold any digit run.
        if (value <= INT64_C(0xFFFFFFFF)) {
            value = value * 10 + (text[i] - '0');
        }
        ++i;
    }
    if (negative) {
        value = -value;
    }
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<int32_t>(value);
}

int32_t ReadAnswerInt(const char* text) {
    return ReadAnswerIntN(text, SIZE_MAX);
}

int32_t ReadAnswerIntFrom(const char* text, size_t skip) {
    const size_t available = strnlen(text, skip);
    if (available < skip) {
        return 0;
    }
    return ReadAnswerInt(text + skip);
}

void CopyAnswerText(char* dest, size_t destSize, const char* source) {
    if (destSize == 0) {
        return;
    }
    size_t i = 0;
    while (i + 1 < destSize && source[i] != '\0' && source[i] != '\r' && source[i] != '\n') {
        dest[i] = source[i];
        ++i;
    }
    dest[i] = '\0';
}

void UpperAscii(char* text) {
    for (; *text != '\0'; ++text) {
        *text = UpperOf(*text);
    }
}

bool EqualsUpper(const char* text, const char* upper) {
    size_t i = 0;
    for (; text[i] != '\0' && upper[i] != '\0'; ++i) {
        if (UpperOf(text[i]) != upper[i]) {
            return false;
        }
    }
    return text[i] == '\0' && upper[i] == '\0';
}

RzExpected<uint32_t> ReceiveAnswer(CLinkTransport* link, char* buffer, uint32_t capacity,
                                   AnswerShape shape) {
    buffer[0] = '\0';
    if (link == nullptr) {
        return RzError(LINK_E_NOT_INITIALIZED);
    }
    RzExpected<uint32_t> received = link->Receive(buffer, capacity, shape);
    if (!received) {
        buffer[0] = '\0';
        return received;
    }
    if (*received > capacity) {
        // A transport must never report more than it was given room for.
        buffer[0] = '\0';
        return RzError(LINK_E_BUFFER_SMALL);
    }
    buffer[*received] = '\0';
    return received;
}
