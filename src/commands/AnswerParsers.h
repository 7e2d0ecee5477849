#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "commands/Command.h"
#include "platform/ResultCodes.h"
#include "transport/LinkTransport.h"

// Pure helpers that the query commands use to read answer text. None of them allocates, and
// none of them reads or writes outside the buffers it is given, whatever the answer holds.

// Reads a decimal integer the way the instrument's answers are read: leading white space and
// one sign are accepted, reading stops at the first character that is not a digit, and an
// empty or non-numeric text reads as 0. Values beyond 32 bits saturate instead of wrapping.
int32_t ReadAnswerInt(const char* text);

// Reads the integer that starts `skip` characters into `text`; a text shorter than that reads
// as 0 (the skipped characters are a prefix such as "SP" or "PID").
int32_t ReadAnswerIntFrom(const char* text, size_t skip);

// As ReadAnswerInt, but reads at most `length` characters of `text`.
int32_t ReadAnswerIntN(const char* text, size_t length);

// Copies at most destSize - 1 characters of `source` into `dest` and terminates it. The copy
// stops early at a NUL, CR or LF, so a field that ends a line does not carry the line end.
void CopyAnswerText(char* dest, size_t destSize, const char* source);

// Converts the letters a to z of `text` to upper case, in place.
void UpperAscii(char* text);

// True when `text`, with its letters a to z taken in upper case, equals `upper` exactly.
bool EqualsUpper(const char* text, const char* upper);

// True when the line begins with the two characters of `prefix`.
inline bool LineBegins(const char* line, const char* prefix) {
    return line[0] == prefix[0] && line[0] != '\0' && line[1] == prefix[1];
}

// Receives an answer of the given shape and at most `capacity` bytes into `buffer` (capacity + 1
// bytes), terminates it and returns its length; the link's code is returned unchanged.
RzExpected<uint32_t> ReceiveAnswer(CLinkTransport* link, char* buffer, uint32_t capacity,
                                   AnswerShape shape);

// Sends `request`, receives an answer of the given shape and hands it, received on the stack into
// at most `Capacity` bytes, to `parse(const char* text, uint32_t length)`. An unbound command (null
// link) gives LINK_E_NOT_INITIALIZED; link codes are returned unchanged.
template <uint32_t Capacity, typename Parse>
RzResult RunAnswerQuery(CLinkTransport* link, const char* request, AnswerShape shape,
                        Parse&& parse) {
    if (link == nullptr) {
        return LINK_E_NOT_INITIALIZED;
    }
    const RzResult sent = link->Send(request, static_cast<uint32_t>(std::strlen(request)));
    if (sent != RZ_OK) {
        return sent;
    }
    char buffer[Capacity + 1];
    const RzExpected<uint32_t> received = ReceiveAnswer(link, buffer, Capacity, shape);
    if (!received) {
        return received.code();
    }
    return parse(static_cast<const char*>(buffer), *received);
}

// Sends `request` in list mode, reads the field list and hands its rows to
// `parse(const FieldRows& rows, int count)`.
template <typename Parse>
RzResult RunFieldListQuery(CLinkTransport* link, const char* request, Parse&& parse) {
    if (link == nullptr) {
        return LINK_E_NOT_INITIALIZED;
    }
    const RzResult sent = link->Send(request, static_cast<uint32_t>(std::strlen(request)));
    if (sent != RZ_OK) {
        return sent;
    }
    FieldRows rows;
    const RzExpected<int> count = ReceiveFieldList(link, rows);
    if (!count) {
        return count.code();
    }
    return parse(static_cast<const FieldRows&>(rows), *count < 0 ? 0 : *count);
}

// Looks `text` up in `names`; returns its 1-based position or 0. The comparison is exact, or
// on the upper-case form of `text` with `upper`.
template <size_t N>
int32_t LookUpName(const char* text, const char* const (&names)[N], bool upper = false) {
    for (size_t i = 0; i < N; ++i) {
        if (upper ? EqualsUpper(text, names[i]) : std::strcmp(text, names[i]) == 0) {
            return static_cast<int32_t>(i + 1);
        }
    }
    return 0;
}

// Walks the CR LF-terminated lines of `text` (up to `length` bytes or the first NUL) and
// hands each line, CR LF included, to `onLine(const char* line, size_t length)` without
// copying it, so a line is not limited to the line buffer of the shared line walk. A non-zero
// result of onLine is returned at once. The walk ends with 0 after the line that begins "EN"; text
// that runs out before such a line gives LINK_E_FORMAT.
template <typename OnLine>
RzResult WalkAnswerLineViews(const char* text, uint32_t length, OnLine&& onLine) {
    const size_t end = strnlen(text, length);
    size_t pos = 0;
    while (pos < end) {
        size_t crlf = pos;
        while (crlf + 1 < end && !(text[crlf] == '\r' && text[crlf + 1] == '\n')) {
            ++crlf;
        }
        if (crlf + 1 >= end) {
            return LINK_E_FORMAT;
        }
        const size_t lineLength = crlf + 2 - pos;
        const RzResult result = onLine(text + pos, lineLength);
        if (result != RZ_OK) {
            return result;
        }
        if (lineLength >= 2 && text[pos] == 'E' && text[pos + 1] == 'N') {
            return RZ_OK;
        }
        pos = crlf + 2;
    }
    return LINK_E_FORMAT;
}
