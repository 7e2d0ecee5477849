// One paint of the image window at the size an operator of level A on the larger model sees
// (640 x 482, a 640 x 480 screen drawn unscaled): the work the GUI thread does for each new
// screen once it is decoded. Rendered into an image, as the window's backing store would be.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <vector>

#include "image/PngCodec.h"
#include "views/ImageWindow.h"

namespace {

void BM_ImageWindowPaint(benchmark::State& state) {
    CRzImage screen;
    screen.Resize(640, 480);
    for (int y = 0; y < screen.height(); ++y) {
        for (int x = 0; x < screen.width(); ++x) {
            screen.SetPixel(x, y, 0xFF000000u | static_cast<uint32_t>(x * 7 ^ y * 13) << 4);
        }
    }
    std::vector<uint8_t> png;
    if (EncodePng(screen, png) != RZ_OK) {
        state.SkipWithError("encode failed");
        return;
    }
    CImageWindow window;
    window.resize(CImageWindow::CreationSize('A', 3200));
    if (!window.SetImageBytes(png.data(), static_cast<uint32_t>(png.size()))) {
        state.SkipWithError("decode failed");
        return;
    }
    QImage target(window.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        window.render(&target);
        benchmark::DoNotOptimize(target.constBits());
    }
}
BENCHMARK(BM_ImageWindowPaint)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
