#include "SimScreen.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "SimInstrument.h"
#include "SimWords.h"
#include "image/Image.h"
#include "image/PngCodec.h"

namespace {

// A 5 x 7 pixel font for the characters from ' ' to '_' (lower case is drawn in upper case);
// each byte is one row, bit 4 the leftmost pixel.
constexpr unsigned char kGlyphs[64][7] = {
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},  // space
    {0x04, 0x04, 0x04, 0x04, 0x04, 0x00, 0x04},  // !
    {0x0A, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00},  // "
    {0x0A, 0x0A, 0x1F, 0x0A, 0x1F, 0x0A, 0x0A},  // #
    {0x04, 0x0F, 0x14, 0x0E, 0x05, 0x1E, 0x04},  // $
    {0x18, 0x19, 0x02, 0x04, 0x08, 0x13, 0x03},  // %
    {0x0C, 0x12, 0x14, 0x08, 0x15, 0x12, 0x0D},  // &
    {0x04, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00},  // '
    {0x02, 0x04, 0x08, 0x08, 0x08, 0x04, 0x02},  // (
    {0x08, 0x04, 0x02, 0x02, 0x02, 0x04, 0x08},  // )
    {0x00, 0x04, 0x15, 0x0E, 0x15, 0x04, 0x00},  // *
    {0x00, 0x04, 0x04, 0x1F, 0x04, 0x04, 0x00},  // +
    {0x00, 0x00, 0x00, 0x00, 0x0C, 0x04, 0x08},  // ,
    {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00},  // -
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C},  // .
    {0x00, 0x01, 0x02, 0x04, 0x08, 0x10, 0x00},  // /
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E},  // 0
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},  // 1
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F},  // 2
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},  // 3
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02},  // 4
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},  // 5
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E},  // 6
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},  // 7
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E},  // 8
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},  // 9
    {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00},  // :
    {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x04, 0x08},  // ;
    {0x02, 0x04, 0x08, 0x10, 0x08, 0x04, 0x02},  // <
    {0x00, 0x00, 0x1F, 0x00, 0x1F, 0x00, 0x00},  // =
    {0x08, 0x04, 0x02, 0x01, 0x02, 0x04, 0x08},  // >
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x00, 0x04},  // ?
    {0x0E, 0x11, 0x01, 0x0D, 0x15, 0x15, 0x0E},  // @
    {0x0E, 0x11, 0x11, 0x11, 0x1F, 0x11, 0x11},  // A
    {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E},  // B
    {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E},  // C
    {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C},  // D
    {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F},  // E
    {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10},  // F
    {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F},  // G
    {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11},  // H
    {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E},  // I
    {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C},  // J
    {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11},  // K
    {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F},  // L
    {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11},  // M
    {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11},  // N
    {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E},  // O
    {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10},  // P
    {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D},  // Q
    {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11},  // R
    {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E},  // S
    {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04},  // T
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E},  // U
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04},  // V
    {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A},  // W
    {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11},  // X
    {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04},  // Y
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F},  // Z
    {0x0E, 0x08, 0x08, 0x08, 0x08, 0x08, 0x0E},  // [
    {0x00, 0x10, 0x08, 0x04, 0x02, 0x01, 0x00},  // backslash
    {0x0E, 0x02, 0x02, 0x02, 0x02, 0x02, 0x0E},  // ]
    {0x04, 0x0A, 0x11, 0x00, 0x00, 0x00, 0x00},  // ^
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x1F},  // _
};

constexpr int kCharW = 6;  // glyph advance and line height in logical pixels
constexpr int kCharH = 9;

// An opaque pixel, 0xFFRRGGBB as CRzImage holds it.
using Rgb = uint32_t;
constexpr Rgb Color(int r, int g, int b) {
    return 0xFF000000u | static_cast<Rgb>(r) << 16 | static_cast<Rgb>(g) << 8 | static_cast<Rgb>(b);
}

// A point in logical coordinates.
struct CPoint {
    CPoint(double px, double py) : x(px), y(py) {}
    double x;
    double y;
};

constexpr Rgb kBackground = Color(12, 20, 40);
constexpr Rgb kPanel = Color(28, 40, 70);
constexpr Rgb kTitle = Color(40, 70, 130);
constexpr Rgb kText = Color(230, 235, 240);
constexpr Rgb kDim = Color(140, 150, 170);
constexpr Rgb kGrid = Color(45, 60, 95);
constexpr Rgb kAlarm = Color(230, 50, 50);
constexpr Rgb kGood = Color(60, 200, 90);
constexpr Rgb kWarn = Color(240, 190, 40);
constexpr Rgb kPen[10] = {Color(255, 80, 80),  Color(80, 220, 80),   Color(80, 160, 255),
                          Color(250, 220, 60), Color(230, 110, 230), Color(60, 220, 220),
                          Color(255, 150, 50), Color(180, 180, 255), Color(160, 230, 120),
                          Color(240, 240, 240)};

// Logical 320 x 240 coordinates, scaled up to the screen; the pixel font scales with it.
// Drawing is done here pixel by pixel rather than through QPainter: Qt's raster engine hands
// large fills to a thread pool of its own, which races under the thread checker and is not
// needed for screens this small; plain loops also draw the same pixels on every machine, and
// leave the simulator free of Qt Gui.
class CCanvas {
  public:
    CCanvas(CRzImage& image, int scale) : image_(image), scale_(scale) {}

    void Fill(double x, double y, double w, double h, Rgb color) {
        const int x0 = Device(x);
        const int y0 = Device(y);
        const int x1 = Device(x + w);
        const int y1 = Device(y + h);
        for (int py = std::max(y0, 0); py < std::min(y1, image_.height()); ++py) {
            auto* line = image_.Row(py);
            std::fill(line + std::clamp(x0, 0, image_.width()),
                      line + std::clamp(x1, 0, image_.width()), color);
        }
    }

    void Frame(double x, double y, double w, double h, Rgb color) {
        Line(x, y, x + w, y, color);
        Line(x + w, y, x + w, y + h, color);
        Line(x + w, y + h, x, y + h, color);
        Line(x, y + h, x, y, color);
    }

    // A one-pixel line (Bresenham) between two logical points.
    void Line(double x1, double y1, double x2, double y2, Rgb color) {
        int x = Device(x1);
        int y = Device(y1);
        const int xEnd = Device(x2);
        const int yEnd = Device(y2);
        const int dx = std::abs(xEnd - x);
        const int dy = -std::abs(yEnd - y);
        const int sx = x < xEnd ? 1 : -1;
        const int sy = y < yEnd ? 1 : -1;
        int error = dx + dy;
        for (;;) {
            Plot(x, y, color);
            if (x == xEnd && y == yEnd) {
                break;
            }
            const int twice = 2 * error;
            if (twice >= dy) {
                error += dy;
                x += sx;
            }
            if (twice <= dx) {
                error += dx;
                y += sy;
            }
        }
    }

    // Joins the points in order.
    void Polyline(const std::vector<CPoint>& points, Rgb color) {
        for (size_t i = 1; i < points.size(); ++i) {
            Line(points[i - 1].x, points[i - 1].y, points[i].x, points[i].y, color);
        }
    }

    // Text with its top-left corner at (x, y); `size` multiplies the glyphs. Returns the width.
    int Text(int x, int y, const std::string& text, Rgb color, int size = 1, int maxChars = 60) {
        const int cell = scale_ * size;
        int column = 0;
        for (char c : text) {
            if (column >= maxChars) {
                break;
            }
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 'a' + 'A');
            }
            if (c < ' ' || c > '_') {
                c = '?';
            }
            const unsigned char* glyph = kGlyphs[c - ' '];
            const int left = (x + column * kCharW * size) * scale_;
            for (int row = 0; row < 7; ++row) {
                for (int bit = 0; bit < 5; ++bit) {
                    if ((glyph[row] & (0x10 >> bit)) != 0) {
                        Block(left + bit * cell, y * scale_ + row * cell, cell, color);
                    }
                }
            }
            ++column;
        }
        return column * kCharW * size;
    }

    // Right-aligned text ending at x.
    void TextRight(int x, int y, const std::string& text, Rgb color, int size = 1) {
        Text(x - static_cast<int>(text.size()) * kCharW * size, y, text, color, size);
    }

  private:
    int Device(double logical) const { return static_cast<int>(std::lround(logical * scale_)); }

    void Plot(int x, int y, Rgb rgb) {
        if (x >= 0 && y >= 0 && x < image_.width() && y < image_.height()) {
            image_.SetPixel(x, y, rgb);
        }
    }

    void Block(int x, int y, int side, Rgb rgb) {
        for (int dy = 0; dy < side; ++dy) {
            if (y + dy < 0 || y + dy >= image_.height()) {
                continue;
            }
            auto* line = image_.Row(y + dy);
            for (int dx = 0; dx < side; ++dx) {
                if (x + dx >= 0 && x + dx < image_.width()) {
                    line[x + dx] = rgb;
                }
            }
        }
    }

    CRzImage& image_;
    int scale_;
};

std::string Fixed(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", std::clamp(decimals, 0, 4), value);
    return text;
}

// The value as the instrument shows it: over range and errors as words.
std::string Shown(const CSimItem& item) {
    if (item.status == 'O') {
        return item.value < 0 ? "-OVER" : "+OVER";
    }
    if (item.status == 'E') {
        return "ERROR";
    }
    return Fixed(item.value, item.decimals);
}

double Fraction(const CSimItem& item) {
    return std::clamp((item.value - item.low) / (item.high - item.low), 0.0, 1.0);
}

const CSimPanel& PanelOf(const CSimInstrument& instrument) {
    return instrument.Panel();
}

// The items of a display group, or every configured channel for the trend's "All" option.
std::vector<int> GroupItems(const CSimInstrument& instrument, bool all) {
    std::vector<int> numbers;
    CSimItem item;
    if (all) {
        for (int n = 1; n <= 60 && numbers.size() < 10; ++n) {
            if (SimFindItem(instrument, n, &item)) {
                numbers.push_back(n);
            }
        }
        return numbers;
    }
    const int group = PanelOf(instrument).displayGroup;
    if (group >= 1 && group <= kSimDisplayGroups) {
        for (const int n :
             instrument.Setup().displayGroups[static_cast<size_t>(group - 1)].channels) {
            if (SimFindItem(instrument, n, &item)) {
                numbers.push_back(n);
            }
        }
    }
    return numbers;
}

void DrawEmpty(CCanvas& c, const char* what) {
    c.Text(110, 110, what, kDim);
}

void DrawTrend(CCanvas& c, const CSimInstrument& instrument) {
    const CSimPanel& panel = PanelOf(instrument);
    const std::vector<int> numbers = GroupItems(instrument, panel.trendAllChannels);
    const int top = panel.trendScale ? 34 : 16;
    const int right = panel.trendDigital ? 228 : 316;
    const int bottom = 224;
    c.Fill(4, top, right - 4, bottom - top, kBackground);
    for (int i = 0; i <= 10; ++i) {
        const double x = 4 + (right - 4) * i / 10.0;
        const double y = top + (bottom - top) * i / 10.0;
        c.Line(x, top, x, bottom, kGrid);
        c.Line(4, y, right, y, kGrid);
    }
    c.Frame(4, top, right - 4, bottom - top, kDim);
    const CSimPlant& plant = instrument.Plant();
    const int points = std::min(plant.HistoryCount(), (right - 4) * 2);
    for (size_t i = 0; i < numbers.size(); ++i) {
        CSimItem item;
        SimFindItem(instrument, numbers[i], &item);
        const Rgb pen = kPen[i % 10];
        const std::vector<float> history = plant.History(numbers[i]);
        std::vector<CPoint> path;
        for (int p = 0; p < points; ++p) {
            const double value = history[history.size() - static_cast<size_t>(points - p)];
            const double f = std::clamp((value - item.low) / (item.high - item.low), 0.0, 1.0);
            // The newest sample at the right edge; history scrolls to the left.
            path.emplace_back(right - (points - 1 - p) * 0.5, bottom - f * (bottom - top));
        }
        c.Polyline(path, pen);
        if (panel.trendScale && i < 2) {
            // The scales of the first two pens, with the pen's colour.
            const int y = 16 + static_cast<int>(i) * 9;
            c.Fill(4, y + 2, 4, 4, pen);
            c.Text(10, y, Fixed(item.low, item.decimals), pen);
            c.TextRight(right, y, Fixed(item.high, item.decimals), pen);
            c.Text(100, y, item.tag + " " + item.unit, pen);
        }
        if (panel.trendDigital) {
            const int y = top + static_cast<int>(i) * 19;
            c.Fill(232, y, 84, 18, kPanel);
            c.Fill(232, y, 3, 18, pen);
            c.Text(237, y + 1, item.tag, kDim, 1, 13);
            c.TextRight(314, y + 9, Shown(item), item.alarm ? kAlarm : kText);
        }
    }
    if (numbers.empty()) {
        DrawEmpty(c, "NO CHANNELS IN GROUP");
    }
}

void DrawDigital(CCanvas& c, const CSimInstrument& instrument) {
    const std::vector<int> numbers = GroupItems(instrument, false);
    for (size_t i = 0; i < numbers.size(); ++i) {
        CSimItem item;
        SimFindItem(instrument, numbers[i], &item);
        const int x = 4 + static_cast<int>(i % 2) * 157;
        const int y = 16 + static_cast<int>(i / 2) * 42;
        c.Fill(x, y, 153, 40, item.alarm ? Color(90, 20, 20) : kPanel);
        c.Fill(x, y, 4, 40, kPen[i % 10]);
        c.Text(x + 8, y + 3, item.tag, kDim);
        c.TextRight(x + 148, y + 3, item.unit, kDim);
        c.TextRight(x + 148, y + 18, Shown(item), item.alarm ? kAlarm : kText, 2);
    }
    if (numbers.empty()) {
        DrawEmpty(c, "NO CHANNELS IN GROUP");
    }
}

void DrawBar(CCanvas& c, const CSimInstrument& instrument) {
    const std::vector<int> numbers = GroupItems(instrument, false);
    const int n = std::max<int>(1, static_cast<int>(numbers.size()));
    const double width = 312.0 / n;
    for (size_t i = 0; i < numbers.size(); ++i) {
        CSimItem item;
        SimFindItem(instrument, numbers[i], &item);
        const double x = 4 + width * static_cast<double>(i);
        const double barTop = 40;
        const double barBottom = 206;
        c.Fill(x + 4, barTop, width - 8, barBottom - barTop, kPanel);
        const double h = (barBottom - barTop) * Fraction(item);
        c.Fill(x + 4, barBottom - h, width - 8, h, item.alarm ? kAlarm : kPen[i % 10]);
        c.Frame(x + 4, barTop, width - 8, barBottom - barTop, kDim);
        c.Text(static_cast<int>(x) + 4, 18, item.tag, kDim, 1, static_cast<int>(width / kCharW));
        c.Text(static_cast<int>(x) + 4, 28, Shown(item), kText, 1,
               static_cast<int>(width / kCharW));
        c.Text(static_cast<int>(x) + 4, 210, Fixed(item.low, item.decimals), kDim, 1,
               static_cast<int>(width / kCharW));
    }
    if (numbers.empty()) {
        DrawEmpty(c, "NO CHANNELS IN GROUP");
    }
}

void DrawOverview(CCanvas& c, const CSimInstrument& instrument) {
    int cell = 0;
    for (int n = 1; n <= 60; ++n) {
        CSimItem item;
        if (!SimFindItem(instrument, n, &item)) {
            continue;
        }
        const int x = 4 + (cell % 4) * 78;
        const int y = 16 + (cell / 4) * 21;
        if (y > 205) {
            break;
        }
        const bool bad = item.status == 'O' || item.status == 'E';
        c.Fill(x, y, 76, 19, item.alarm ? Color(110, 25, 25) : (bad ? Color(90, 70, 20) : kPanel));
        c.Text(x + 2, y + 1, item.tag, kDim, 1, 12);
        c.TextRight(x + 74, y + 10, Shown(item), kText);
        ++cell;
    }
}

// Lines of a log, newest first, as a list display.
void DrawLog(CCanvas& c, const std::vector<std::string>& lines, const char* heading, Rgb color) {
    c.Fill(4, 16, 312, 11, kPanel);
    c.Text(8, 18, heading, kDim);
    int y = 30;
    for (auto it = lines.rbegin(); it != lines.rend() && y < 218; ++it, y += 10) {
        c.Text(8, y, *it, color, 1, 51);
    }
    if (lines.empty()) {
        DrawEmpty(c, "NO ENTRIES");
    }
}

struct CLoopView {
    std::string name;
    CSimItem pv, sp, out;
    std::string mode;
    bool remote = false;
    bool run = true;
};

// The PV channel numbers of the loop members of the shown control group (internal and
// external loops), or of every loop.
std::vector<int> LoopBases(const CSimInstrument& instrument, bool groupOnly) {
    std::vector<int> bases;
    if (groupOnly) {
        const int group = PanelOf(instrument).displayGroup;
        if (group >= 1 && group <= kSimControlGroups) {
            for (const CSimControlMember& member :
                 instrument.Setup().controlGroups[static_cast<size_t>(group - 1)].members) {
                if (member.kind == 3) {
                    bases.push_back(98 + 3 * member.number);
                } else if (member.kind == 4) {
                    bases.push_back(198 + 3 * member.number);
                }
            }
        }
        return bases;
    }
    for (int n = 1; n <= kSimLoops; ++n) {
        bases.push_back(98 + 3 * n);
    }
    for (int n = 1; n <= instrument.ExtLoopCapacity(); ++n) {
        bases.push_back(198 + 3 * n);
    }
    return bases;
}

std::vector<CLoopView> Loops(const CSimInstrument& instrument, bool groupOnly) {
    const std::vector<int> bases = LoopBases(instrument, groupOnly);
    std::vector<CLoopView> loops;
    for (const int base : bases) {
        CLoopView view;
        if (!SimFindItem(instrument, base, &view.pv) ||
            !SimFindItem(instrument, base + 1, &view.sp) ||
            !SimFindItem(instrument, base + 2, &view.out)) {
            continue;
        }
        const bool external = base > 200;
        const int n = (base - (external ? 198 : 98)) / 3;
        if (external) {
            const CSimExtLoop& loop = instrument.Setup().extLoops[static_cast<size_t>(n - 1)];
            view.name = loop.name.empty() ? "EXT" + std::to_string(n) : loop.name;
            view.mode = kSimModeWords[loop.mode];
            view.remote = loop.remote;
            view.run = loop.run;
        } else {
            const CSimLoop& loop = instrument.Setup().loops[static_cast<size_t>(n - 1)];
            view.name = loop.name.empty() ? "LOOP" + std::to_string(n) : loop.name;
            view.mode = kSimModeWords[loop.mode];
            view.remote = loop.remote;
            view.run = loop.run;
        }
        loops.push_back(view);
    }
    return loops;
}

std::string ModeText(const CLoopView& loop) {
    return loop.mode + (loop.remote ? " REM" : " LCL") + (loop.run ? " RUN" : " STOP");
}

void DrawFaceplate(CCanvas& c, const CLoopView& loop, int x, int y, int w, int h) {
    c.Fill(x, y, w, h, kPanel);
    c.Text(x + 3, y + 2, loop.name, kText, 1, (w - 6) / kCharW);
    c.Text(x + 3, y + 12, loop.mode, loop.mode == "MAN" ? kWarn : kGood);
    if (!loop.run) {
        c.TextRight(x + w - 3, y + 12, "STOP", kAlarm);
    }
    const int barTop = y + 24;
    const int barBottom = y + h - 42;
    const int barX = x + w / 2 - 8;
    c.Fill(barX, barTop, 16, barBottom - barTop, kBackground);
    const double pvH = (barBottom - barTop) * Fraction(loop.pv);
    c.Fill(barX, barBottom - pvH, 16, pvH, kPen[2]);
    const double spY = barBottom - (barBottom - barTop) * Fraction(loop.sp);
    c.Fill(barX - 5, spY - 1, 26, 3, kPen[3]);
    c.Frame(barX, barTop, 16, barBottom - barTop, kDim);
    c.Text(x + 3, y + h - 38, "PV " + Shown(loop.pv), kPen[2], 1, (w - 6) / kCharW);
    c.Text(x + 3, y + h - 28, "SP " + Shown(loop.sp), kPen[3], 1, (w - 6) / kCharW);
    const int outW = w - 6;
    c.Fill(x + 3, y + h - 16, outW, 6, kBackground);
    c.Fill(x + 3, y + h - 16, outW * Fraction(loop.out), 6, kPen[1]);
    c.Text(x + 3, y + h - 9, "OUT " + Shown(loop.out), kPen[1], 1, (w - 6) / kCharW);
}

void DrawControlGroup(CCanvas& c, const CSimInstrument& instrument, const std::string& style) {
    const std::vector<CLoopView> loops = Loops(instrument, true);
    if (loops.empty()) {
        DrawEmpty(c, "NO LOOPS IN GROUP");
        return;
    }
    const int n = static_cast<int>(loops.size());
    if (style == "FACEPLATE") {
        const int w = 312 / n;
        for (int i = 0; i < n; ++i) {
            DrawFaceplate(c, loops[static_cast<size_t>(i)], 4 + i * w, 16, w - 3, 208);
        }
    } else if (style == "CONTROLLER") {
        const int h = std::min(68, 208 / n);
        for (int i = 0; i < n; ++i) {
            const CLoopView& loop = loops[static_cast<size_t>(i)];
            const int y = 16 + i * h;
            c.Fill(4, y, 312, h - 3, kPanel);
            c.Text(8, y + 3, loop.name, kText);
            c.TextRight(312, y + 3, ModeText(loop), loop.run ? kGood : kAlarm);
            c.Text(8, y + 14, "PV", kPen[2]);
            c.Text(26, y + 14, Shown(loop.pv), kPen[2], h >= 40 ? 2 : 1);
            c.Text(140, y + 14, "SP " + Shown(loop.sp), kPen[3]);
            c.Text(230, y + 14, "OUT " + Shown(loop.out), kPen[1]);
            c.Fill(140, y + h - 10, 170 * Fraction(loop.out), 4, kPen[1]);
        }
    } else {
        // Hybrid: the loops' PV trend above, small faceplates below.
        const CSimPlant& plant = instrument.Plant();
        c.Fill(4, 16, 312, 92, kBackground);
        c.Frame(4, 16, 312, 92, kDim);
        for (int i = 1; i < 5; ++i) {
            c.Line(4, 16 + i * 18.4, 316, 16 + i * 18.4, kGrid);
        }
        const int points = std::min(plant.HistoryCount(), 624);
        const int w = 312 / n;
        for (int i = 0; i < n; ++i) {
            DrawFaceplate(c, loops[static_cast<size_t>(i)], 4 + i * w, 112, w - 3, 112);
        }
        int index = 0;
        for (const int base : LoopBases(instrument, true)) {
            CSimItem pv;
            if (!SimFindItem(instrument, base, &pv)) {
                continue;
            }
            const std::vector<float> history = plant.History(base);
            std::vector<CPoint> path;
            for (int p = 0; p < points; ++p) {
                const double value = history[history.size() - static_cast<size_t>(points - p)];
                const double f = std::clamp((value - pv.low) / (pv.high - pv.low), 0.0, 1.0);
                path.emplace_back(316 - (points - 1 - p) * 0.5, 108 - f * 92);
            }
            c.Polyline(path, kPen[(index++) % 10]);
        }
    }
}

void DrawControlOverview(CCanvas& c, const CSimInstrument& instrument) {
    const std::vector<CLoopView> loops = Loops(instrument, false);
    for (size_t i = 0; i < loops.size() && i < 16; ++i) {
        const CLoopView& loop = loops[i];
        const int x = 4 + static_cast<int>(i % 4) * 78;
        const int y = 16 + static_cast<int>(i / 4) * 52;
        c.Fill(x, y, 76, 50, kPanel);
        c.Text(x + 2, y + 2, loop.name, kText, 1, 12);
        c.Text(x + 2, y + 12, "PV " + Shown(loop.pv), kPen[2], 1, 12);
        c.Text(x + 2, y + 22, "SP " + Shown(loop.sp), kPen[3], 1, 12);
        c.Text(x + 2, y + 32, "OUT " + Shown(loop.out), kPen[1], 1, 12);
        c.Text(x + 2, y + 41, loop.mode, loop.run ? kGood : kAlarm);
    }
    if (loops.empty()) {
        DrawEmpty(c, "NO LOOPS");
    }
}

void DrawControlSummary(CCanvas& c, const CSimInstrument& instrument) {
    const std::vector<CLoopView> loops = Loops(instrument, false);
    c.Fill(4, 16, 312, 11, kPanel);
    c.Text(8, 18, "LOOP         PV        SP        OUT    MODE", kDim);
    int y = 30;
    for (const CLoopView& loop : loops) {
        if (y > 216) {
            break;
        }
        c.Text(8, y, loop.name, kText, 1, 12);
        c.TextRight(140, y, Shown(loop.pv), kPen[2]);
        c.TextRight(200, y, Shown(loop.sp), kPen[3]);
        c.TextRight(250, y, Shown(loop.out), kPen[1]);
        c.Text(256, y, ModeText(loop).substr(0, 10), loop.run ? kGood : kAlarm);
        y += 10;
    }
}

void DrawDio(CCanvas& c, const CSimInstrument& instrument) {
    const int count = instrument.DioPointCount();
    const int columns = count > 12 ? 6 : 4;
    for (int p = 0; p < count; ++p) {
        const CSimDioPoint& point = instrument.Setup().dio[static_cast<size_t>(p)];
        const int x = 4 + (p % columns) * (312 / columns);
        const int y = 16 + (p / columns) * 34;
        const int w = 312 / columns - 3;
        c.Fill(x, y, w, 32, point.present ? kPanel : kBackground);
        c.Text(x + 2, y + 2, point.present ? point.terminal : "----", kDim, 1, w / kCharW);
        if (!point.present) {
            continue;
        }
        if (point.HasInput()) {
            c.Fill(x + 3, y + 13, 10, 8, point.input != 0 ? kGood : kGrid);
            c.Text(x + 15, y + 13, "IN", kDim);
        }
        if (point.HasOutput()) {
            c.Fill(x + 3, y + 22, 10, 8, point.output != 0 ? kWarn : kGrid);
            c.Text(x + 15, y + 22, point.mode == kSimMan ? "MAN" : "AUT", kDim);
        }
    }
}

void DrawSwitches(CCanvas& c, const CSimInstrument& instrument) {
    const CSimSetup& setup = instrument.Setup();
    struct Row {
        std::string name;
        bool on;
    };
    std::vector<Row> rows = {{"MEMORY", setup.memoryRunning},
                             {"MATH", setup.mathRunning},
                             {"MY SWITCH", setup.myEnabled},
                             {"ALARM ACK", !PanelOf(instrument).alarmsUnacknowledged}};
    for (int n = 1; n <= kSimLoops; ++n) {
        const CSimLoop& loop = setup.loops[static_cast<size_t>(n - 1)];
        if (loop.configured) {
            rows.push_back({"L" + std::to_string(n) + " REMOTE", loop.remote});
            rows.push_back({"L" + std::to_string(n) + " RUN", loop.run});
        }
    }
    for (size_t i = 0; i < rows.size() && i < 40; ++i) {
        const int x = 4 + static_cast<int>(i / 20) * 157;
        const int y = 16 + static_cast<int>(i % 20) * 10;
        c.Text(x + 4, y, rows[i].name, kText);
        c.Fill(x + 110, y, 30, 8, rows[i].on ? kGood : kGrid);
        c.Text(x + 113, y, rows[i].on ? "ON" : "OFF", kBackground);
    }
}

void DrawProgram(CCanvas& c, const CSimInstrument& instrument) {
    const int n = PanelOf(instrument).programDisplayPattern;
    const CSimPattern& pattern = instrument.Setup().patterns[static_cast<size_t>(n - 1)];
    const char* state = !pattern.exists   ? "NOT STORED"
                        : pattern.hold    ? "HOLD"
                        : pattern.wait    ? "WAIT"
                        : pattern.running ? "RUN"
                                          : "RESET";
    c.Fill(4, 16, 312, 11, kPanel);
    c.Text(8, 18, "PATTERN " + std::to_string(n) + "  " + state, kText);
    c.TextRight(312, 18, "SEG " + std::to_string(pattern.segment), kText);
    if (!pattern.exists) {
        return;
    }
    const std::vector<CSimSegment> segments = pattern.segments.empty()
                                                  ? SimDefaultSegments(instrument.Setup(), pattern)
                                                  : pattern.segments;
    // The run starts from the last segment's set point unless the plant kept the real start.
    const double start = pattern.startSpValid ? pattern.startSp : segments.back().sp;
    double total = 0.0;
    double low = start;
    double high = start;
    for (const CSimSegment& segment : segments) {
        total += segment.seconds;
        low = std::min(low, segment.sp);
        high = std::max(high, segment.sp);
    }
    const double margin = high > low ? (high - low) * 0.1 : 1.0;
    low -= margin;
    high += margin;
    const auto yOf = [&](double sp) {
        return 200 - std::clamp((sp - low) / (high - low), 0.0, 1.0) * 160;
    };
    c.Fill(4, 32, 312, 176, kBackground);
    c.Frame(4, 32, 312, 176, kDim);
    double t = 0.0;
    double sp = start;
    for (size_t i = 0; i < segments.size(); ++i) {
        const double x1 = 8 + 304 * t / total;
        t += segments[i].seconds;
        const double x2 = 8 + 304 * t / total;
        c.Line(x1, yOf(sp), x2, yOf(segments[i].sp),
               static_cast<int>(i) + 1 == pattern.segment ? kPen[3] : kPen[5]);
        c.Line(x2, 34, x2, 206, kGrid);
        sp = segments[i].sp;
    }
    if (pattern.running) {
        double done = pattern.elapsedS;
        for (int i = 0; i + 1 < pattern.segment && i < static_cast<int>(segments.size()); ++i) {
            done += segments[static_cast<size_t>(i)].seconds;
        }
        const double x = 8 + 304 * std::min(done / total, 1.0);
        c.Line(x, 34, x, 206, kPen[0]);
    }
    if (pattern.loop >= 1) {
        const CSimLoop& loop = instrument.Setup().loops[static_cast<size_t>(pattern.loop - 1)];
        c.Text(8, 212,
               "LOOP " + std::to_string(pattern.loop) + "  SP " +
                   Fixed(loop.Sp(), loop.spDecimals) + "  PV " + Fixed(loop.pv, loop.pvDecimals),
               kText);
    }
}

void DrawEvents(CCanvas& c, const CSimInstrument& instrument) {
    std::vector<std::string> lines;
    for (const int kind : {kSimLogKey, kSimLogAlarm, kSimLogMsg}) {
        const auto& log = instrument.Setup().logs[static_cast<size_t>(kind)];
        lines.insert(lines.end(), log.begin(), log.end());
    }
    // Stamps lead every line, so a text sort is a time sort.
    std::stable_sort(lines.begin(), lines.end());
    DrawLog(c, lines, "EVENT SUMMARY", kText);
}

std::string Title(const CSimInstrument& instrument) {
    const CSimPanel& panel = PanelOf(instrument);
    std::string title = panel.displayWord;
    if (panel.displayGroup > 0) {
        title += " " + std::to_string(panel.displayGroup);
        const bool control = panel.displayWord == "FACEPLATE" ||
                             panel.displayWord == "CONTROLLER" || panel.displayWord == "HYBRID";
        const size_t g = static_cast<size_t>(panel.displayGroup - 1);
        const std::string& name = control ? instrument.Setup().controlGroups[g].name
                                          : instrument.Setup().displayGroups[g].name;
        title += name.empty() ? "" : " " + name;
    }
    return title;
}

}  // namespace

size_t SimImageBlockBytes(size_t size) {
    return std::clamp<size_t>((size + 3) / 4, 512, kSimImageBlockBytes);
}

std::string SimScreenKey(const CSimInstrument& instrument) {
    const CSimPanel& panel = instrument.Panel();
    char key[160];
    std::snprintf(key, sizeof key, "%llu|%llu|%s|%d|%d%d%d%d|%d|%s",
                  static_cast<unsigned long long>(instrument.Plant().Steps()),
                  static_cast<unsigned long long>(instrument.Revision()), panel.displayWord.c_str(),
                  panel.displayGroup, panel.trendFirst, panel.trendAllChannels, panel.trendScale,
                  panel.trendDigital, panel.programDisplayPattern,
                  instrument.DateTimeText().c_str());
    return key;
}

bool SimRenderScreen(const CSimInstrument& instrument, CRzImage& image) {
    const int model = instrument.Profile().model;
    const int width = SimScreenWidth(model);
    const int height = SimScreenHeight(model);
    if (image.Resize(width, height) != RZ_OK) {
        return false;
    }
    image.Fill(kBackground);
    CCanvas c(image, width / 320);
    const CSimPanel& panel = instrument.Panel();
    c.Fill(0, 0, 320, 13, kTitle);
    c.Text(3, 3, Title(instrument), kText, 1, 34);
    c.TextRight(317, 3, instrument.DateTimeText(), kText);

    const std::string& word = panel.displayWord;
    if (word == "TREND") {
        DrawTrend(c, instrument);
    } else if (word == "DIGITAL") {
        DrawDigital(c, instrument);
    } else if (word == "BAR") {
        DrawBar(c, instrument);
    } else if (word == "OVERVIEW") {
        DrawOverview(c, instrument);
    } else if (word == "ALARM") {
        DrawLog(c, instrument.Setup().logs[kSimLogAlarm], "ALARM SUMMARY", kAlarm);
    } else if (word == "MESSAGE") {
        DrawLog(c, instrument.Setup().logs[kSimLogMsg], "MESSAGE SUMMARY", kText);
    } else if (word == "FACEPLATE" || word == "CONTROLLER" || word == "HYBRID") {
        DrawControlGroup(c, instrument, word);
    } else if (word == "CTRLOVER") {
        DrawControlOverview(c, instrument);
    } else if (word == "PROGRAM") {
        DrawProgram(c, instrument);
    } else if (word == "CTRLDO") {
        DrawDio(c, instrument);
    } else if (word == "CTRLSUMMARY") {
        DrawControlSummary(c, instrument);
    } else if (word == "CTRLSW") {
        DrawSwitches(c, instrument);
    } else {
        DrawEvents(c, instrument);
    }

    const CSimSetup& setup = instrument.Setup();
    c.Fill(0, 227, 320, 13, kPanel);
    c.Text(3, 230, std::string("MEM ") + (setup.memoryRunning ? "RUN" : "STOP"),
           setup.memoryRunning ? kGood : kDim);
    c.Text(70, 230, std::string("MATH ") + (setup.mathRunning ? "RUN" : "STOP"),
           setup.mathRunning ? kGood : kDim);
    if (panel.alarmsUnacknowledged) {
        c.Fill(270, 228, 47, 11, kAlarm);
        c.Text(276, 230, "ALARM", kText);
    }
    return true;
}

std::string SimRenderScreenPng(const CSimInstrument& instrument) {
    CRzImage image;
    std::vector<uint8_t> bytes;
    if (!SimRenderScreen(instrument, image) || EncodePng(image, bytes) != RZ_OK) {
        return {};
    }
    return std::string(bytes.begin(), bytes.end());
}

namespace {

// A recorder-like picture: a title bar, a grid with four trend curves and a strip of
// fine-grained marks, which keeps the file several blocks long.
std::string MakePng(int width, int height) {
    CRzImage image;
    if (image.Resize(width, height) != RZ_OK) {
        return {};
    }
    image.Fill(Color(16, 24, 48));
    const int title = height / 12;
    for (int y = 0; y < title; ++y) {
        for (int x = 0; x < width; ++x) {
            image.SetPixel(x, y, Color(200, 200, 210));
        }
    }
    for (int y = title; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if (x % 20 == 0 || (y - title) % 20 == 0) {
                image.SetPixel(x, y, Color(48, 64, 96));
            }
        }
    }
    const Rgb colors[] = {Color(255, 64, 64), Color(64, 255, 64), Color(64, 160, 255),
                          Color(255, 224, 64)};
    const int plot = height - title - 24;
    for (int c = 0; c < 4; ++c) {
        for (int x = 0; x < width; ++x) {
            // A triangle wave per curve, each with its own period and phase.
            const int period = 60 + 25 * c;
            const int phase = (x + 17 * c) % period;
            const int rise = phase < period / 2 ? phase : period - phase;
            const int y = title + 8 + (rise * (plot - 16)) / (period / 2);
            image.SetPixel(x, y < height ? y : height - 1, colors[c]);
        }
    }
    uint32_t seed = 0x2545F491u;
    for (int y = height - 16; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            image.SetPixel(x, y, 0xFF000000u | seed >> 8);
        }
    }
    std::vector<uint8_t> bytes;
    if (EncodePng(image, bytes) != RZ_OK) {
        return {};
    }
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

int SimScreenWidth(int model) {
    return SimIsSmallModel(model) ? 320 : 640;
}

int SimScreenHeight(int model) {
    return SimIsSmallModel(model) ? 240 : 480;
}

const std::string& SimPlaceholderPng(int model) {
    static const std::string small = MakePng(320, 240);
    static const std::string large = MakePng(640, 480);
    return SimIsSmallModel(model) ? small : large;
}
