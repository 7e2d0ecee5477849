#include <gtest/gtest.h>

#include <QImage>

#include "image/Image.h"

TEST(Image, ResizeAcceptsOnlySensibleSides) {
    struct Case {
        int width;
        int height;
        RzResult expected;
    };
    const Case cases[] = {
        {0, 0, RZ_OK},
        {CRzImage::kMaxSide, 3, RZ_OK},
        {-1, 1, LINK_E_PARAMETER},
        {1, -1, LINK_E_PARAMETER},
        {0, 5, LINK_E_PARAMETER},
        {5, 0, LINK_E_PARAMETER},
        {CRzImage::kMaxSide + 1, 1, LINK_E_PARAMETER},
        {1, CRzImage::kMaxSide + 1, LINK_E_PARAMETER},
        {INT32_MAX, INT32_MAX, LINK_E_PARAMETER},
    };
    for (const auto& c : cases) {
        CRzImage image;
        ASSERT_EQ(image.Resize(2, 2), RZ_OK);
        const RzResult result = image.Resize(c.width, c.height);
        EXPECT_EQ(result, c.expected) << c.width << "x" << c.height;
        if (result == RZ_OK) {
            EXPECT_EQ(image.width(), c.width);
            EXPECT_EQ(image.height(), c.height);
            EXPECT_EQ(image.stride(), static_cast<size_t>(c.width) * 4);
        } else {
            // A refused size leaves the image as it was.
            EXPECT_EQ(image.width(), 2);
            EXPECT_EQ(image.height(), 2);
        }
    }
}

TEST(Image, BufferIsKeptWhenShrinkingAndGrowsOnlyWhenNeeded) {
    CRzImage image;
    ASSERT_EQ(image.Resize(10, 10), RZ_OK);
    const uint32_t* buffer = image.Row(0);
    ASSERT_EQ(image.Resize(5, 20), RZ_OK);
    EXPECT_EQ(image.Row(0), buffer);
    image.Clear();
    EXPECT_TRUE(image.IsEmpty());
    EXPECT_EQ(image.capacity(), 100u);
    ASSERT_EQ(image.Resize(10, 10), RZ_OK);
    EXPECT_EQ(image.Row(0), buffer);
    ASSERT_EQ(image.Resize(11, 10), RZ_OK);
    EXPECT_EQ(image.capacity(), 110u);
    // Rows are packed: row y starts y * width pixels in.
    EXPECT_EQ(image.Row(3) - image.Row(0), 33);
}

TEST(Image, CopyFromIsExactAndIndependent) {
    CRzImage source;
    ASSERT_EQ(source.Resize(3, 2), RZ_OK);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            source.SetPixel(x, y, 0x01000000u * (x + 1) + 0x10u * y + 0x00AB0000u);
        }
    }
    CRzImage copy;
    ASSERT_EQ(copy.Resize(8, 8), RZ_OK);
    const uint32_t* buffer = copy.Row(0);
    ASSERT_EQ(copy.CopyFrom(source), RZ_OK);
    EXPECT_EQ(copy.Row(0), buffer);  // large enough: no new allocation
    ASSERT_EQ(copy.width(), 3);
    ASSERT_EQ(copy.height(), 2);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(copy.Pixel(x, y), source.Pixel(x, y));
        }
    }
    source.SetPixel(0, 0, 0);
    EXPECT_NE(copy.Pixel(0, 0), 0u);

    CRzImage empty;
    ASSERT_EQ(copy.CopyFrom(empty), RZ_OK);
    EXPECT_TRUE(copy.IsEmpty());
}

TEST(Image, OpacityAndQtViews) {
    CRzImage image;
    ASSERT_EQ(image.Resize(2, 2), RZ_OK);
    image.Fill(0xFF336699u);
    EXPECT_TRUE(image.IsOpaque());
    image.SetPixel(1, 1, 0xFE336699u);
    EXPECT_FALSE(image.IsOpaque());

    const QImage view = image.View();
    EXPECT_EQ(view.constBits(), reinterpret_cast<const uchar*>(image.Row(0)));
    EXPECT_EQ(view.pixel(1, 1), 0xFE336699u);

    QImage copy = image.ToQImage();
    EXPECT_NE(copy.constBits(), reinterpret_cast<const uchar*>(image.Row(0)));
    image.SetPixel(0, 0, 0xFF000000u);
    EXPECT_EQ(copy.pixel(0, 0), 0xFF336699u);
    EXPECT_EQ(copy.pixel(1, 1), 0xFE336699u);

    CRzImage empty;
    EXPECT_TRUE(empty.View().isNull());
    EXPECT_TRUE(empty.ToQImage().isNull());
}
