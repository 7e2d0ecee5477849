#include <gtest/gtest.h>
#include <png.h>

#include <string>
#include <vector>

#include "PngTestFiles.h"
#include "image/PngCodec.h"

namespace {

// An 8-bit RGB (or RGBA) layout of `width` x `height` with pseudo-random samples.
PngLayout Plain(int width, int height, bool alpha, uint32_t seed) {
    PngLayout layout;
    layout.width = width;
    layout.height = height;
    layout.colorType = alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
    TestRandom random(seed);
    layout.samples.resize(static_cast<size_t>(width) * height * (alpha ? 4 : 3));
    for (auto& sample : layout.samples) {
        sample = static_cast<uint16_t>(random.Next() & 0xFF);
    }
    return layout;
}

// The ARGB words an 8-bit RGB or RGBA layout stands for.
std::vector<uint32_t> PlainPixels(const PngLayout& layout) {
    const size_t channels = layout.colorType == PNG_COLOR_TYPE_RGB_ALPHA ? 4 : 3;
    std::vector<uint32_t> pixels;
    for (size_t at = 0; at < layout.samples.size(); at += channels) {
        const uint16_t* s = &layout.samples[at];
        pixels.push_back((channels == 4 ? uint32_t{s[3]} << 24 : 0xFF000000u) |
                         uint32_t{s[0]} << 16 | uint32_t{s[1]} << 8 | s[2]);
    }
    return pixels;
}

// The decoded image must be `layout`'s size with the `expected` pixels, row by row.
void ExpectPixels(const CRzImage& image, const PngLayout& layout,
                  const std::vector<uint32_t>& expected, const std::string& name) {
    ASSERT_EQ(image.width(), layout.width) << name;
    ASSERT_EQ(image.height(), layout.height) << name;
    std::vector<uint32_t> pixels;
    for (int y = 0; y < layout.height; ++y) {
        for (int x = 0; x < layout.width; ++x) {
            pixels.push_back(image.Pixel(x, y));
        }
    }
    EXPECT_TRUE(pixels == expected) << name;  // not printed: a row may be 2048 pixels long
}

}  // namespace

// One file for each transform the decoder asks libpng for (palette and low depths expanded,
// tRNS to alpha, 16 bits scaled, grey to RGB, interlacing), with the pixels each must give.
// libpng's handling of every other combination is its own.
TEST(PngDecode, EveryTransformGivesTheExactPixels) {
    constexpr int P = PNG_COLOR_TYPE_PALETTE;
    struct Case {
        const char* name;
        PngLayout layout;
        std::vector<uint32_t> pixels;
    };
    const auto layout = [](int width, int height, int type, int depth, std::vector<uint16_t> s) {
        PngLayout l;
        l.width = width;
        l.height = height;
        l.colorType = type;
        l.bitDepth = depth;
        l.samples = std::move(s);
        return l;
    };
    Case cases[] = {
        {"palette 8-bit, tRNS on the first entry",
         layout(3, 1, P, 8, {0, 1, 2}),
         {0x80010203, 0xFF040506, 0xFF070809}},
        // 3 x 3 takes five of the seven passes.
        {"palette 4-bit interlaced",
         layout(3, 3, P, 4, {0, 1, 0, 1, 1, 0, 0, 0, 1}),
         {0xFF102030, 0xFF405060, 0xFF102030, 0xFF405060, 0xFF405060, 0xFF102030, 0xFF102030,
          0xFF102030, 0xFF405060}},
        {"grey 2-bit",
         layout(4, 1, PNG_COLOR_TYPE_GRAY, 2, {0, 1, 2, 3}),
         {0xFF000000, 0xFF555555, 0xFFAAAAAA, 0xFFFFFFFF}},
        {"grey 16-bit, tRNS colour",
         layout(2, 1, PNG_COLOR_TYPE_GRAY, 16, {0x1234, 0xFFFF}),
         {0x00121212, 0xFFFFFFFF}},
        {"grey+alpha 8-bit",
         layout(2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8, {0x10, 0x80, 0xF0, 0xFF}),
         {0x80101010, 0xFFF0F0F0}},
        {"RGB 8-bit, tRNS colour",
         layout(2, 1, PNG_COLOR_TYPE_RGB, 8, {1, 2, 3, 4, 5, 6}),
         {0x00010203, 0xFF040506}},
        {"RGB 16-bit", layout(1, 1, PNG_COLOR_TYPE_RGB, 16, {0xFFFF, 0x8080, 0}), {0xFFFF8000}},
        {"RGBA 16-bit interlaced",
         layout(2, 2, PNG_COLOR_TYPE_RGB_ALPHA, 16,
                {0x1111, 0x2222, 0x3333, 0x4444, 0x5555, 0x6666, 0x7777, 0x8888, 0x9999, 0xAAAA,
                 0xBBBB, 0xCCCC, 0xDDDD, 0xEEEE, 0xFFFF, 0}),
         {0x44112233, 0x88556677, 0xCC99AABB, 0x00DDEEFF}},
    };
    cases[0].layout.paletteRgb = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    cases[0].layout.paletteAlpha = {0x80};
    cases[1].layout.paletteRgb = {0x10, 0x20, 0x30, 0x40, 0x50, 0x60};
    cases[1].layout.interlaced = cases[7].layout.interlaced = true;
    cases[3].layout.hasTransparentColour = cases[5].layout.hasTransparentColour = true;
    cases[3].layout.transparent[0] = 0x1234;
    cases[5].layout.transparent[0] = 1;
    cases[5].layout.transparent[1] = 2;
    cases[5].layout.transparent[2] = 3;
    for (const auto& c : cases) {
        const std::vector<uint8_t> file = WritePng(c.layout);
        ASSERT_FALSE(file.empty()) << c.name;
        CRzImage image;
        ASSERT_EQ(DecodePng(file.data(), file.size(), image), RZ_OK) << c.name;
        ExpectPixels(image, c.layout, c.pixels, c.name);
    }
}

// The plain 8-bit rows the decoder converts itself, for every width remainder and the widest.
TEST(PngDecode, PlainRowsGiveTheExactPixels) {
    uint32_t seed = 1;
    for (const bool alpha : {false, true}) {
        for (const int width : {1, 3, 4, 5, 8, 9, 640, CRzImage::kMaxSide}) {
            const PngLayout layout =
                Plain(width, width == CRzImage::kMaxSide ? 1 : 5, alpha, seed++);
            const std::vector<uint8_t> file = WritePng(layout);
            CRzImage image;
            ASSERT_EQ(DecodePng(file.data(), file.size(), image), RZ_OK);
            ExpectPixels(image, layout, PlainPixels(layout),
                         (alpha ? "RGBA width " : "RGB width ") + std::to_string(width));
        }
    }
}

// A 16-bit value becomes the nearest 8-bit one (v / 257 rounded), not just its high byte.
TEST(PngDecode, SixteenBitSamplesRoundToNearest) {
    const uint16_t values[] = {0, 128, 129, 385, 386, 0x7F80, 0x80FF, 65406, 65407, 65535};
    PngLayout layout;
    layout.width = static_cast<int>(std::size(values));
    layout.height = 1;
    layout.colorType = PNG_COLOR_TYPE_GRAY;
    layout.bitDepth = 16;
    layout.samples.assign(std::begin(values), std::end(values));
    const std::vector<uint8_t> file = WritePng(layout);
    CRzImage image;
    ASSERT_EQ(DecodePng(file.data(), file.size(), image), RZ_OK);
    for (int x = 0; x < layout.width; ++x) {
        const uint32_t grey = (values[x] * 2u + 257u) / (2u * 257u);
        EXPECT_EQ(image.Pixel(x, 0), 0xFF000000u | (grey << 16) | (grey << 8) | grey) << values[x];
    }
}

TEST(PngDecode, BytesAfterIendAreIgnored) {
    const PngLayout layout = Plain(4, 3, false, 7);
    std::vector<uint8_t> file = WritePng(layout);
    file.insert(file.end(), {'E', '0', '\r', '\n', 0});
    CRzImage image;
    ASSERT_EQ(DecodePng(file.data(), file.size(), image), RZ_OK);
    ExpectPixels(image, layout, PlainPixels(layout), "with a tail");
}

TEST(PngDecode, ReusesTheImageBufferWhileTheSizeDoesNotGrow) {
    const PngLayout bigLayout = Plain(64, 48, false, 11);
    const PngLayout smallLayout = Plain(10, 10, true, 13);
    const std::vector<uint8_t> bigFile = WritePng(bigLayout);
    const std::vector<uint8_t> smallFile = WritePng(smallLayout);

    CRzImage image;
    ASSERT_EQ(DecodePng(bigFile.data(), bigFile.size(), image), RZ_OK);
    const uint32_t* buffer = image.Row(0);
    ASSERT_EQ(DecodePng(smallFile.data(), smallFile.size(), image), RZ_OK);
    EXPECT_EQ(image.Row(0), buffer);
    ExpectPixels(image, smallLayout, PlainPixels(smallLayout), "small after big");

    // A failed decode leaves an empty image but keeps the buffer for the next cycle.
    EXPECT_EQ(DecodePng(bigFile.data(), bigFile.size() / 2, image), LINK_E_FORMAT);
    EXPECT_TRUE(image.IsEmpty());
    ASSERT_EQ(DecodePng(bigFile.data(), bigFile.size(), image), RZ_OK);
    EXPECT_EQ(image.Row(0), buffer);
    EXPECT_EQ(image.capacity(), 64u * 48u);
    ExpectPixels(image, bigLayout, PlainPixels(bigLayout), "big after a failure");
}

// A fault in an ancillary chunk that libpng only warns about leaves the picture intact;
// the warning is neither printed nor fatal.
TEST(PngDecode, AncillaryWarningsAreSilentAndHarmless) {
    const PngLayout layout = Plain(3, 2, false, 5);
    std::vector<uint8_t> file = WritePng(layout);
    // A tRNS chunk of the wrong length for an RGB image (6 bytes are required), with a valid
    // CRC, placed right after IHDR.
    const std::vector<uint8_t> badTrns = Chunk("tRNS", {1, 2, 3});
    file.insert(file.begin() + 8 + 25, badTrns.begin(), badTrns.end());
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    CRzImage image;
    const RzResult result = DecodePng(file.data(), file.size(), image);
    const std::string printed =
        testing::internal::GetCapturedStderr() + testing::internal::GetCapturedStdout();
    ASSERT_EQ(result, RZ_OK);
    ExpectPixels(image, layout, PlainPixels(layout), "bad tRNS ignored");
    EXPECT_EQ(printed, "");
}
