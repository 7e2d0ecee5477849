#include "image/PixelRows.h"

#include <bit>
#include <cstddef>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define RZ_HAVE_X86_SHUFFLE 1
#endif

// The widening runs from the last pixel back, so nothing is overwritten before it is read:
// pixels x to x+3 are read from bytes 3x to 3x+11 (3x+15 for a 16-byte load) and written to
// bytes 4x to 4x+15, and every byte still to be read lies below 3x + 16 <= 4x + 16.

namespace {

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

uint32_t ArgbFromBytes(const uint8_t* rgb) {
    return 0xFF000000u | (uint32_t{rgb[0]} << 16) | (uint32_t{rgb[1]} << 8) | rgb[2];
}

uint32_t Load32(const uint8_t* p) {
    uint32_t word;
    std::memcpy(&word, p, 4);
    return word;
}

// Converts the pixels beyond the last multiple of 4 and returns that multiple.
int WidenTail(uint32_t* row, int width) {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(row);
    int x = width;
    while (x % 4 != 0) {
        --x;
        row[x] = ArgbFromBytes(bytes + 3 * static_cast<size_t>(x));
    }
    return x;
}

#ifdef RZ_HAVE_X86_SHUFFLE
__attribute__((target("ssse3"))) void WidenWithShuffle(uint32_t* row, int width) {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(row);
    int x = WidenTail(row, width);
    // Byte i of the result comes from source byte shuffle[i]; -1 gives 0, where alpha goes.
    const __m128i shuffle = _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    while (x > 0) {
        x -= 4;
        const __m128i rgb =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 3 * static_cast<size_t>(x)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x),
                         _mm_or_si128(_mm_shuffle_epi8(rgb, shuffle), alpha));
    }
}
#endif

}  // namespace

void WidenRgbRowPortable(uint32_t* row, int width) {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(row);
    int x = WidenTail(row, width);
    if constexpr (kLittleEndian) {
        // Four pixels from three word loads: R0 G0 B0 R1 | G1 B1 R2 G2 | B2 R3 G3 B3.
        while (x > 0) {
            x -= 4;
            const uint8_t* p = bytes + 3 * static_cast<size_t>(x);
            const uint32_t w0 = Load32(p);
            const uint32_t w1 = Load32(p + 4);
            const uint32_t w2 = Load32(p + 8);
            row[x] = 0xFF000000u | ((w0 & 0xFFu) << 16) | (w0 & 0xFF00u) | ((w0 >> 16) & 0xFFu);
            row[x + 1] =
                0xFF000000u | ((w0 >> 24) << 16) | ((w1 & 0xFFu) << 8) | ((w1 >> 8) & 0xFFu);
            row[x + 2] = 0xFF000000u | (w1 & 0xFF0000u) | ((w1 >> 24) << 8) | (w2 & 0xFFu);
            row[x + 3] = 0xFF000000u | ((w2 & 0xFF00u) << 8) | ((w2 >> 8) & 0xFF00u) | (w2 >> 24);
        }
    } else {
        while (x > 0) {
            --x;
            row[x] = ArgbFromBytes(bytes + 3 * static_cast<size_t>(x));
        }
    }
}

bool WidenRgbRowSsse3(uint32_t* row, int width) {
#ifdef RZ_HAVE_X86_SHUFFLE
    static const bool available = __builtin_cpu_supports("ssse3");
    if (available) {
        WidenWithShuffle(row, width);
        return true;
    }
#endif
    (void)row;
    (void)width;
    return false;
}

void WidenRgbRow(uint32_t* row, int width) {
    if (!WidenRgbRowSsse3(row, width)) {
        WidenRgbRowPortable(row, width);
    }
}

void ReorderRgbaRow(uint32_t* row, int width) {
    if constexpr (kLittleEndian) {
        // R G B A in memory is the word A<<24 | B<<16 | G<<8 | R: swap R and B.
        for (int x = 0; x < width; ++x) {
            const uint32_t w = row[x];
            row[x] = (w & 0xFF00FF00u) | ((w & 0xFFu) << 16) | ((w >> 16) & 0xFFu);
        }
    } else {
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(row);
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = bytes + 4 * static_cast<size_t>(x);
            row[x] = (uint32_t{p[3]} << 24) | (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
        }
    }
}
