#include <gtest/gtest.h>

#include <QTest>
#include <string>
#include <vector>

#include "image/PngCodec.h"
#include "views/ImageWindow.h"

namespace {

constexpr QRgb kBackground = 0xFFFF00FFu;  // no pixel of CoordinateImage has this colour

// Each pixel names its own place: red and green the low bytes of x and y, blue their high bits.
std::vector<uint8_t> CoordinatePng(int w, int h) {
    CRzImage image;
    image.Resize(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            image.SetPixel(
                x, y, 0xFF000000u | (x & 255) << 16 | (y & 255) << 8 | (x >> 8) << 4 | (y >> 8));
        }
    }
    std::vector<uint8_t> png;
    EncodePng(image, png);
    return png;
}

QPoint SourceOf(QRgb pixel) {
    return QPoint(qRed(pixel) | (qBlue(pixel) >> 4) << 8, qGreen(pixel) | (qBlue(pixel) & 15) << 8);
}

std::vector<uint8_t> SolidPng(uint32_t argb) {
    CRzImage image;
    image.Resize(4, 3);
    image.Fill(argb);
    std::vector<uint8_t> png;
    EncodePng(image, png);
    return png;
}

QImage Rendered(CImageWindow& window) {
    return window.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

}  // namespace

TEST(ImageWindow, Sizes) {
    EXPECT_EQ(CImageWindow::CreationSize('A', 3200), QSize(640, 482));
    EXPECT_EQ(CImageWindow::CreationSize('U', 3200), QSize(329, 325));
    EXPECT_EQ(CImageWindow::CreationSize('A', 3100), QSize(329, 325));
    EXPECT_EQ(CImageWindow().size(), QSize(329, 325));
}

// A picture that fits is drawn unscaled at ((cw - w)/2 - 1, (ch - h)/2 - 1); one that does not
// is stretched to (cw - 1) x (ch - 1). Checked on every pixel of the rendered window.
TEST(ImageWindow, PaintRule) {
    struct Case {
        QSize window;
        QSize image;
        bool stretched;
    };
    const Case cases[] = {
        {{100, 80}, {100, 80}, false},
        {{100, 80}, {101, 80}, true},
        {{100, 80}, {100, 81}, true},
        {{100, 80}, {51, 40}, false},
    };
    for (const Case& c : cases) {
        CImageWindow window;
        QPalette palette = window.palette();
        palette.setColor(QPalette::Window, QColor::fromRgb(kBackground));
        window.setPalette(palette);
        window.resize(c.window);
        const std::vector<uint8_t> png = CoordinatePng(c.image.width(), c.image.height());
        ASSERT_TRUE(window.SetImageBytes(png.data(), static_cast<uint32_t>(png.size())));
        const QImage out = Rendered(window);
        ASSERT_EQ(out.size(), c.window);
        const int cw = c.window.width();
        const int ch = c.window.height();
        const std::string what = std::to_string(cw) + "x" + std::to_string(ch) + " <- " +
                                 std::to_string(c.image.width()) + "x" +
                                 std::to_string(c.image.height());
        const QRect drawn =
            c.stretched
                ? QRect(0, 0, cw - 1, ch - 1)
                : QRect(QPoint((cw - c.image.width()) / 2 - 1, (ch - c.image.height()) / 2 - 1),
                        c.image);
        int wrong = 0;
        for (int y = 0; y < ch; ++y) {
            for (int x = 0; x < cw; ++x) {
                const QRgb pixel = out.pixel(x, y);
                if (!drawn.contains(x, y)) {
                    wrong += pixel != kBackground;
                } else if (!c.stretched) {
                    wrong += SourceOf(pixel) != QPoint(x, y) - drawn.topLeft();
                } else {
                    wrong += pixel == kBackground;
                }
            }
        }
        EXPECT_EQ(wrong, 0) << what;
        if (c.stretched) {
            EXPECT_EQ(SourceOf(out.pixel(0, 0)), QPoint(0, 0)) << what;
            EXPECT_EQ(SourceOf(out.pixel(cw - 2, ch - 2)),
                      QPoint(c.image.width() - 1, c.image.height() - 1))
                << what;
        }
    }
}

// The picture follows each image that decodes; the copy for saving follows it too, except while
// copying is disabled. An image already taken (same generation) is not decoded again.
TEST(ImageWindow, NewImages) {
    const std::vector<uint8_t> a = SolidPng(0xFF102030u);
    const std::vector<uint8_t> b = SolidPng(0xFF405060u);
    const std::vector<uint8_t> c = SolidPng(0xFF708090u);
    const std::vector<uint8_t> garbage(a.begin(), a.begin() + static_cast<long>(a.size()) / 2);
    struct Step {
        const std::vector<uint8_t>* bytes;
        uint64_t generation;
        bool copyEnabled;
        bool taken;
        uint32_t picture;
        uint32_t saved;
    };
    const Step steps[] = {
        {&a, 0, true, true, 0xFF102030u, 0xFF102030u},
        {&garbage, 0, true, false, 0xFF102030u, 0xFF102030u},
        {nullptr, 0, true, false, 0xFF102030u, 0xFF102030u},
        {&b, 0, false, true, 0xFF405060u, 0xFF102030u},  // the save dialog is open
        {&c, 7, true, true, 0xFF708090u, 0xFF708090u},
        {&a, 7, true, false, 0xFF708090u, 0xFF708090u},
        {&a, 8, true, true, 0xFF102030u, 0xFF102030u},
    };
    CImageWindow window;
    window.resize(8, 8);
    int row = 0;
    for (const Step& s : steps) {
        window.SetCopyEnabled(s.copyEnabled);
        const uint8_t* data = s.bytes ? s.bytes->data() : nullptr;
        const uint32_t length = s.bytes ? static_cast<uint32_t>(s.bytes->size()) : 0;
        EXPECT_EQ(window.SetImageBytes(data, length, s.generation), s.taken) << row;
        EXPECT_EQ(Rendered(window).pixel(2, 2), s.picture) << row;
        ASSERT_FALSE(window.SavedCopy().IsEmpty()) << row;
        EXPECT_EQ(window.SavedCopy().Pixel(0, 0), s.saved) << row;
        ++row;
    }
}
