#include <gtest/gtest.h>
#include <png.h>

#include <string>
#include <vector>

#include "PngTestFiles.h"
#include "image/PngCodec.h"

namespace {

struct FormatCase {
    const char* name;
    int colorType;
    int bitDepth;
    int width;
    int height;
    bool interlaced;
    int paletteSize;         // palette images
    int paletteAlphaCount;   // tRNS entries of a palette image
    bool transparentColour;  // tRNS of a grey or RGB image
};

PngLayout MakeLayout(const FormatCase& c, uint32_t seed) {
    PngLayout layout;
    layout.width = c.width;
    layout.height = c.height;
    layout.colorType = c.colorType;
    layout.bitDepth = c.bitDepth;
    layout.interlaced = c.interlaced;
    TestRandom random(seed);
    const uint32_t limit =
        c.colorType == PNG_COLOR_TYPE_PALETTE ? c.paletteSize : (1u << c.bitDepth);
    const size_t count = static_cast<size_t>(c.width) * c.height * ChannelsOf(c.colorType);
    for (size_t i = 0; i < count; ++i) {
        layout.samples.push_back(static_cast<uint16_t>(random.Next() % limit));
    }
    for (int i = 0; i < c.paletteSize * 3; ++i) {
        layout.paletteRgb.push_back(static_cast<uint8_t>(random.Next()));
    }
    for (int i = 0; i < c.paletteAlphaCount; ++i) {
        layout.paletteAlpha.push_back(static_cast<uint8_t>(random.Next()));
    }
    if (c.transparentColour) {
        // The colour of the first pixel, repeated in the last one so that two pixels match.
        const int channels = ChannelsOf(c.colorType);
        layout.hasTransparentColour = true;
        for (int ch = 0; ch < channels; ++ch) {
            layout.transparent[ch] = layout.samples[ch];
            layout.samples[count - channels + ch] = layout.samples[ch];
        }
    }
    return layout;
}

void ExpectPixels(const CRzImage& image, const PngLayout& layout, const std::string& name) {
    ASSERT_EQ(image.width(), layout.width) << name;
    ASSERT_EQ(image.height(), layout.height) << name;
    const std::vector<uint32_t> expected = ExpectedPixels(layout);
    int mismatches = 0;
    for (int y = 0; y < layout.height; ++y) {
        for (int x = 0; x < layout.width; ++x) {
            const uint32_t want = expected[static_cast<size_t>(y) * layout.width + x];
            if (image.Pixel(x, y) != want && ++mismatches <= 3) {
                ADD_FAILURE() << name << " pixel (" << x << "," << y << ") is " << std::hex
                              << image.Pixel(x, y) << ", expected " << want;
            }
        }
    }
    EXPECT_EQ(mismatches, 0) << name;
}

}  // namespace

// One file for each way the decoder takes: its own conversion of plain 8-bit RGB and RGBA rows,
// and each transform it asks libpng for (palette and low depths expanded, tRNS to alpha, 16 bits
// scaled, grey to RGB, interlacing). libpng's handling of every other combination is its own.
TEST(PngDecode, EveryPathGivesTheExactPixels) {
    constexpr int P = PNG_COLOR_TYPE_PALETTE;
    constexpr int G = PNG_COLOR_TYPE_GRAY;
    constexpr int GA = PNG_COLOR_TYPE_GRAY_ALPHA;
    constexpr int RGB = PNG_COLOR_TYPE_RGB;
    constexpr int RGBA = PNG_COLOR_TYPE_RGB_ALPHA;
    const FormatCase cases[] = {
        {"palette 8-bit, tRNS on the first 10 of 16", P, 8, 7, 5, false, 16, 10, false},
        {"palette 4-bit interlaced", P, 4, 13, 11, true, 16, 3, false},
        {"grey 2-bit", G, 2, 9, 3, false, 0, 0, false},
        {"grey 16-bit, tRNS colour", G, 16, 5, 4, false, 0, 0, true},
        {"grey+alpha 8-bit", GA, 8, 5, 5, false, 0, 0, false},
        {"RGB 8-bit, tRNS colour", RGB, 8, 9, 7, false, 0, 0, true},
        {"RGB 16-bit", RGB, 16, 9, 7, false, 0, 0, false},
        {"RGBA 16-bit interlaced", RGBA, 16, 10, 9, true, 0, 0, false},
        {"RGB 8-bit, one row at the widest side", RGB, 8, CRzImage::kMaxSide, 1, false, 0, 0,
         false},
    };
    uint32_t seed = 1;
    for (const auto& c : cases) {
        const PngLayout layout = MakeLayout(c, seed++);
        const std::vector<uint8_t> file = WritePng(layout);
        ASSERT_FALSE(file.empty()) << c.name;
        CRzImage image;
        ASSERT_EQ(DecodePng(file.data(), file.size(), image), RZ_OK) << c.name;
        ExpectPixels(image, layout, c.name);
    }
    // The plain 8-bit rows the decoder converts itself, for every width remainder.
    for (const int colourType : {RGB, RGBA}) {
        for (const int width : {1, 3, 4, 5, 8, 9, 640}) {
            const PngLayout layout =
                MakeLayout({"plain", colourType, 8, width, 5, false, 0, 0, false}, seed++);
            const std::vector<uint8_t> file = WritePng(layout);
            CRzImage image;
            ASSERT_EQ(DecodePng(file.data(), file.size(), image), RZ_OK);
            ExpectPixels(
                image, layout,
                (colourType == RGB ? "RGB width " : "RGBA width ") + std::to_string(width));
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
    const PngLayout layout =
        MakeLayout({"RGB", PNG_COLOR_TYPE_RGB, 8, 4, 3, false, 0, 0, false}, 7);
    std::vector<uint8_t> file = WritePng(layout);
    file.insert(file.end(), {'E', '0', '\r', '\n', 0});
    CRzImage image;
    ASSERT_EQ(DecodePng(file.data(), file.size(), image), RZ_OK);
    ExpectPixels(image, layout, "with a tail");
}

TEST(PngDecode, ReusesTheImageBufferWhileTheSizeDoesNotGrow) {
    const PngLayout bigLayout =
        MakeLayout({"big", PNG_COLOR_TYPE_RGB, 8, 64, 48, false, 0, 0, false}, 11);
    const PngLayout smallLayout =
        MakeLayout({"small", PNG_COLOR_TYPE_PALETTE, 8, 10, 10, false, 20, 0, false}, 13);
    const std::vector<uint8_t> bigFile = WritePng(bigLayout);
    const std::vector<uint8_t> smallFile = WritePng(smallLayout);

    CRzImage image;
    ASSERT_EQ(DecodePng(bigFile.data(), bigFile.size(), image), RZ_OK);
    const uint32_t* buffer = image.Row(0);
    ASSERT_EQ(DecodePng(smallFile.data(), smallFile.size(), image), RZ_OK);
    EXPECT_EQ(image.Row(0), buffer);
    ExpectPixels(image, smallLayout, "small after big");

    // A failed decode leaves an empty image but keeps the buffer for the next cycle.
    EXPECT_EQ(DecodePng(bigFile.data(), bigFile.size() / 2, image), LINK_E_FORMAT);
    EXPECT_TRUE(image.IsEmpty());
    ASSERT_EQ(DecodePng(bigFile.data(), bigFile.size(), image), RZ_OK);
    EXPECT_EQ(image.Row(0), buffer);
    EXPECT_EQ(image.capacity(), 64u * 48u);
    ExpectPixels(image, bigLayout, "big after a failure");
}

// A fault in an ancillary chunk that libpng only warns about leaves the picture intact;
// the warning is neither printed nor fatal.
TEST(PngDecode, AncillaryWarningsAreSilentAndHarmless) {
    const PngLayout layout =
        MakeLayout({"RGB", PNG_COLOR_TYPE_RGB, 8, 3, 2, false, 0, 0, false}, 5);
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
    ExpectPixels(image, layout, "bad tRNS ignored");
    EXPECT_EQ(printed, "");
}
