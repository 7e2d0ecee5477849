#include <gtest/gtest.h>

#include <QImage>
#include <vector>

#include "PngTestFiles.h"
#include "image/BmpWriter.h"

namespace {

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return b.at(at) | (b.at(at + 1) << 8) | (b.at(at + 2) << 16) | (uint32_t{b.at(at + 3)} << 24);
}

}  // namespace

// A 3 x 2 image: 9 pixel bytes per row padded to 12, checked byte by byte.
TEST(Bmp, OddWidthFileByteByByte) {
    CRzImage image;
    ASSERT_EQ(image.Resize(3, 2), RZ_OK);
    image.SetPixel(0, 0, 0xFF102030u);
    image.SetPixel(1, 0, 0xFF405060u);
    image.SetPixel(2, 0, 0x00708090u);  // alpha is dropped, colour kept
    image.SetPixel(0, 1, 0xFFA0B0C0u);
    image.SetPixel(1, 1, 0xFFD0E0F0u);
    image.SetPixel(2, 1, 0xFF010203u);
    std::vector<uint8_t> bmp;
    ASSERT_EQ(EncodeBmp(image, bmp), RZ_OK);
    const std::vector<uint8_t> expected = {
        // file header
        'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,
        // info header: size, width, height, planes, bits, compression, image size, x/y
        // resolution 2835 px/m, colours used, important colours
        40, 0, 0, 0, 3, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0, 0, 0, 0, 0, 24, 0, 0, 0, 0x13, 0x0B, 0, 0,
        0x13, 0x0B, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        // bottom row first, B G R, then 3 bytes of padding
        0xC0, 0xB0, 0xA0, 0xF0, 0xE0, 0xD0, 0x03, 0x02, 0x01, 0, 0, 0,
        // top row
        0x30, 0x20, 0x10, 0x60, 0x50, 0x40, 0x90, 0x80, 0x70, 0, 0, 0};
    EXPECT_EQ(bmp, expected);
}

// Rows padded to four bytes for every width remainder; a standard reader sees the same picture.
TEST(Bmp, SizesPaddingAndPixelPlacement) {
    const struct {
        int width, height;
        uint32_t fileSize;
    } cases[] = {{1, 1, 58}, {4, 1, 66}, {5, 3, 102}, {7, 2, 102}, {4096, 1, 12342}};
    uint32_t seed = 40;
    for (const auto& c : cases) {
        CRzImage image;
        ASSERT_EQ(image.Resize(c.width, c.height), RZ_OK);
        TestRandom random(seed++);
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                image.SetPixel(x, y, random.Next() | 0xFF000000u);
            }
        }
        std::vector<uint8_t> bmp;
        ASSERT_EQ(EncodeBmp(image, bmp), RZ_OK);
        ASSERT_EQ(bmp.size(), c.fileSize) << c.width << "x" << c.height;
        EXPECT_EQ(Le32(bmp, 2), c.fileSize);
        EXPECT_EQ(Le32(bmp, 34), c.fileSize - 54);
        QImage read;
        ASSERT_TRUE(read.loadFromData(bmp.data(), static_cast<int>(bmp.size()), "BMP"));
        ASSERT_EQ(read.size(), QSize(c.width, c.height));
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                ASSERT_EQ(read.pixel(x, y), image.Pixel(x, y)) << x << "," << y;
            }
        }
    }
}

TEST(Bmp, EmptyImageIsRefused) {
    std::vector<uint8_t> bmp = {1};
    EXPECT_EQ(EncodeBmp(CRzImage(), bmp), LINK_E_PARAMETER);
    EXPECT_TRUE(bmp.empty());
}
