#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "PngTestFiles.h"
#include "image/PixelRows.h"

namespace {

// A row buffer of `width` words whose first 3 * width bytes are R, G, B samples and whose
// remaining bytes are junk, as libpng leaves it.
std::vector<uint32_t> RgbRow(int width, TestRandom& random, std::vector<uint8_t>& rgb) {
    std::vector<uint32_t> row(static_cast<size_t>(width));
    rgb.resize(static_cast<size_t>(width) * 3);
    for (auto& b : rgb) {
        b = static_cast<uint8_t>(random.Next());
    }
    for (auto& w : row) {
        w = random.Next();
    }
    if (width > 0) {
        std::memcpy(row.data(), rgb.data(), rgb.size());
    }
    return row;
}

}  // namespace

TEST(PixelRows, EveryWideningGivesOpaqueArgbForEveryWidth) {
    using Widen = bool (*)(uint32_t*, int);
    struct Variant {
        const char* name;
        Widen widen;
    };
    const Variant variants[] = {
        {"best", [](uint32_t* r, int w) { return WidenRgbRow(r, w), true; }},
        {"portable", [](uint32_t* r, int w) { return WidenRgbRowPortable(r, w), true; }},
        {"ssse3", WidenRgbRowSsse3},
    };
    std::vector<int> widths;
    for (int w = 0; w <= 41; ++w) {
        widths.push_back(w);
    }
    widths.push_back(640);
    widths.push_back(4093);
    TestRandom random(21);
    for (const auto& v : variants) {
        for (const int width : widths) {
            std::vector<uint8_t> rgb;
            std::vector<uint32_t> row = RgbRow(width, random, rgb);
            if (!v.widen(row.data(), width)) {
                GTEST_SKIP() << v.name << " is not available on this processor";
            }
            for (int x = 0; x < width; ++x) {
                const uint32_t want = 0xFF000000u | (uint32_t{rgb[3 * x]} << 16) |
                                      (uint32_t{rgb[3 * x + 1]} << 8) | rgb[3 * x + 2];
                ASSERT_EQ(row[x], want) << v.name << " width " << width << " pixel " << x;
            }
        }
    }
}
