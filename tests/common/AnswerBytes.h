#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

// A line of the latest-values answer: status letter at 0, number at 2 to 4, then text 1 (the
// unit) at 17, text 2 (the mantissa) at 23 and text 3 (the exponent) at 30; a math item's
// mantissa has nine characters, so its exponent is at 33. Each text fills its columns from the
// left; a shorter one leaves the filler '.' after it.
inline std::string ValueLine(char status, const std::string& number, const std::string& text1,
                             const std::string& text2, const std::string& text3,
                             bool math = false) {
    std::string line(math ? 36 : 33, '.');
    const auto put = [&line](size_t at, size_t width, const std::string& text) {
        line.replace(at, std::min(width, text.size()), text.substr(0, width));
    };
    line[0] = status;
    line[1] = ' ';
    put(2, 3, number);
    put(17, 6, text1);
    put(23, math ? 9 : 6, text2);
    put(math ? 33 : 30, 3, text3);
    return line;
}

// The program pattern list payload: format, declared length (10 + 3 per entry, moved by
// `lengthShift`), two little-endian words 0x12345678 and 0x90ABCDEF, two uninterpreted bytes,
// then the entries (pattern, flags, presence).
inline std::string PatternList(const std::vector<std::array<uint8_t, 3>>& entries,
                               uint16_t format = 1, int lengthShift = 0) {
    const int declared = 10 + 3 * static_cast<int>(entries.size()) + lengthShift;
    std::string payload;
    payload += static_cast<char>(format >> 8);
    payload += static_cast<char>(format & 0xFF);
    payload += static_cast<char>((declared >> 8) & 0xFF);
    payload += static_cast<char>(declared & 0xFF);
    payload += std::string("\x78\x56\x34\x12\xEF\xCD\xAB\x90\xAA\xBB", 10);
    for (const auto& e : entries) {
        payload.append(reinterpret_cast<const char*>(e.data()), e.size());
    }
    return payload;
}
