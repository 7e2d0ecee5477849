#pragma once

#include <cstdint>
#include <string>

// A binary answer block: lead, big-endian length of what follows it, flags (bit 0 = last),
// three unread bytes, the payload and two trailing bytes.
inline std::string BinaryBlock(const std::string& payload, bool last,
                               const std::string& lead = "EB\r\n") {
    const auto length = static_cast<uint32_t>(payload.size() + 6);
    std::string block = lead;
    block += static_cast<char>(length >> 24);
    block += static_cast<char>(length >> 16);
    block += static_cast<char>(length >> 8);
    block += static_cast<char>(length);
    block += static_cast<char>(last ? 1 : 0);
    block += std::string("\x00\x7f\x0a", 3);
    block += payload;
    block += "\r\n";
    return block;
}

// A block header with any length field, for malformed blocks.
inline std::string BlockHeader(uint32_t length, char flags = 1) {
    std::string header = "EB\r\n";
    header += static_cast<char>(length >> 24);
    header += static_cast<char>(length >> 16);
    header += static_cast<char>(length >> 8);
    header += static_cast<char>(length);
    header += flags;
    header += std::string(3, '\0');
    return header;
}

// Bytes that cover every value, so payload copies cannot hide behind text.
inline std::string Pattern(size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        s[i] = static_cast<char>((i * 131 + seed * 17 + (i >> 8)) & 0xFF);
    }
    return s;
}
