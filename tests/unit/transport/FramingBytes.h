#pragma once

#include <cstdint>
#include <string>

// A block header with any length field (big-endian, counting the 6 bytes from the flags on),
// flags (bit 0 = last) and three unread bytes.
inline std::string BlockHeader(uint32_t length, char flags = 1) {
    std::string header = "EB\r\n";
    for (int shift = 24; shift >= 0; shift -= 8) {
        header += static_cast<char>(length >> shift);
    }
    return header + flags + std::string("\x00\x7f\x0a", 3);
}

// A binary answer block: lead, header, the payload and two trailing bytes.
inline std::string BinaryBlock(const std::string& payload, bool last,
                               const std::string& lead = "EB\r\n") {
    return lead + BlockHeader(static_cast<uint32_t>(payload.size() + 6), last ? 1 : 0).substr(4) +
           payload + "\r\n";
}

// Bytes that cover every value, so payload copies cannot hide behind text.
inline std::string Pattern(size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) {
        s[i] = static_cast<char>((i * 131 + seed * 17 + (i >> 8)) & 0xFF);
    }
    return s;
}
