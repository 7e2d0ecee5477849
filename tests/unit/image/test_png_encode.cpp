#include <gtest/gtest.h>
#include <png.h>

#include <vector>

#include "PngTestFiles.h"
#include "image/PngCodec.h"

namespace {

void FillRandom(CRzImage& image, uint32_t seed, bool opaque) {
    TestRandom random(seed);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            uint32_t argb = random.Next();
            if (opaque) {
                argb |= 0xFF000000u;
            }
            image.SetPixel(x, y, argb);
        }
    }
}

// IHDR's colour type byte: signature 8, length 4, type 4, width 4, height 4, depth 1.
uint8_t ColourTypeOf(const std::vector<uint8_t>& png) {
    return png.at(8 + 4 + 4 + 9);
}

}  // namespace

TEST(PngEncode, RoundTripKeepsEveryPixel) {
    struct Case {
        int width;
        int height;
        bool opaque;
        uint8_t colourType;  // what the file must declare
    };
    const Case cases[] = {{1, 1, false, PNG_COLOR_TYPE_RGB_ALPHA},
                          {17, 5, true, PNG_COLOR_TYPE_RGB},
                          {3, 200, false, PNG_COLOR_TYPE_RGB_ALPHA},
                          {CRzImage::kMaxSide, 2, true, PNG_COLOR_TYPE_RGB}};
    uint32_t seed = 100;
    for (const auto& c : cases) {
        CRzImage image;
        ASSERT_EQ(image.Resize(c.width, c.height), RZ_OK);
        FillRandom(image, seed++, c.opaque);
        std::vector<uint8_t> png;
        ASSERT_EQ(EncodePng(image, png), RZ_OK) << c.width << "x" << c.height;
        ASSERT_GT(png.size(), 8u);
        EXPECT_EQ(png_sig_cmp(png.data(), 0, 8), 0);
        EXPECT_EQ(ColourTypeOf(png), c.colourType) << c.width << "x" << c.height;

        CRzImage back;
        ASSERT_EQ(DecodePng(png.data(), png.size(), back), RZ_OK);
        ASSERT_EQ(back.width(), c.width);
        ASSERT_EQ(back.height(), c.height);
        int mismatches = 0;
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                if (back.Pixel(x, y) != image.Pixel(x, y) && ++mismatches <= 3) {
                    ADD_FAILURE() << c.width << "x" << c.height << " (" << x << "," << y << ") "
                                  << std::hex << back.Pixel(x, y) << " != " << image.Pixel(x, y);
                }
            }
        }
        EXPECT_EQ(mismatches, 0);
    }
    std::vector<uint8_t> png = {1, 2, 3};
    EXPECT_EQ(EncodePng(CRzImage(), png), LINK_E_PARAMETER);
    EXPECT_TRUE(png.empty());
}

// The encoder's file is read by a plain libpng reader with no transforms, so its bytes are
// checked in the PNG's own channel order rather than through our decoder.
TEST(PngEncode, ChannelsAreStoredInRgbOrder) {
    CRzImage image;
    ASSERT_EQ(image.Resize(2, 1), RZ_OK);
    image.SetPixel(0, 0, 0xFF112233u);
    image.SetPixel(1, 0, 0x80445566u);
    std::vector<uint8_t> png;
    ASSERT_EQ(EncodePng(image, png), RZ_OK);

    png_image reader{};
    reader.version = PNG_IMAGE_VERSION;
    ASSERT_NE(png_image_begin_read_from_memory(&reader, png.data(), png.size()), 0);
    reader.format = PNG_FORMAT_RGBA;
    std::vector<uint8_t> rgba(PNG_IMAGE_SIZE(reader));
    ASSERT_NE(png_image_finish_read(&reader, nullptr, rgba.data(), 0, nullptr), 0);
    const std::vector<uint8_t> expected = {0x11, 0x22, 0x33, 0xFF, 0x44, 0x55, 0x66, 0x80};
    EXPECT_EQ(rgba, expected);
}
