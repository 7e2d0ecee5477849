// The screen image is decoded on every paint, so the console's decoder is measured against a
// bare libpng read of the same bytes into a preallocated buffer (no transforms), in the same
// run. Saving encodes, which is measured alone. Each iteration is timed by the thread's CPU
// clock (BenchPng.h).
#include <benchmark/benchmark.h>

#include <vector>

#include "BenchPng.h"
#include "image/PngCodec.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

class BenchRandom {
  public:
    uint32_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }

  private:
    uint32_t state_ = 2463534242u;
};

void FillRect(CRzImage& image, int x0, int y0, int w, int h, uint32_t argb) {
    for (int y = y0; y < y0 + h && y < image.height(); ++y) {
        for (int x = x0; x < x0 + w && x < image.width(); ++x) {
            image.SetPixel(x, y, argb);
        }
    }
}

// Rows of 5 x 7 "glyphs" from random bit patterns: compresses like rendered text.
void DrawText(CRzImage& image, BenchRandom& random, int x0, int y0, int chars, uint32_t argb) {
    for (int c = 0; c < chars; ++c) {
        const uint32_t bits = random.Next();
        for (int row = 0; row < 7; ++row) {
            for (int col = 0; col < 5; ++col) {
                if ((bits >> ((row * 5 + col) % 32)) & 1u) {
                    image.SetPixel(x0 + c * 6 + col, y0 + row, argb);
                }
            }
        }
    }
}

// A recorder-like screen: title bar, trend area with a dotted grid and six pens, a column of
// digital values, a status line.
const CRzImage& Screen() {
    static const CRzImage screen = [] {
        CRzImage image;
        image.Resize(kWidth, kHeight);
        BenchRandom random;
        image.Fill(0xFF101820u);
        FillRect(image, 0, 0, kWidth, 24, 0xFF3050A0u);
        DrawText(image, random, 8, 8, 40, 0xFFFFFFFFu);
        for (int x = 0; x < 480; x += 40) {
            for (int y = 30; y < 450; y += 2) {
                image.SetPixel(x, y, 0xFF506070u);
            }
        }
        for (int y = 30; y < 450; y += 42) {
            for (int x = 0; x < 480; x += 2) {
                image.SetPixel(x, y, 0xFF506070u);
            }
        }
        const uint32_t pens[] = {0xFFFF4040u, 0xFF40FF40u, 0xFF4080FFu,
                                 0xFFFFFF40u, 0xFFFF40FFu, 0xFF40FFFFu};
        for (int pen = 0; pen < 6; ++pen) {
            int y = 60 + pen * 60;
            for (int x = 0; x < 480; ++x) {
                y += static_cast<int>(random.Next() % 5) - 2;
                y = y < 32 ? 32 : (y > 446 ? 446 : y);
                FillRect(image, x, y, 1, 2, pens[pen]);
            }
        }
        for (int i = 0; i < 6; ++i) {
            FillRect(image, 488, 30 + i * 70, 144, 64, 0xFF203040u);
            FillRect(image, 488, 30 + i * 70, 144, 14, pens[i]);
            DrawText(image, random, 492, 34 + i * 70, 12, 0xFF000000u);
            DrawText(image, random, 500, 60 + i * 70, 8, 0xFFFFFFFFu);
        }
        FillRect(image, 0, 456, kWidth, 24, 0xFF303030u);
        DrawText(image, random, 8, 464, 60, 0xFFC0C0C0u);
        return image;
    }();
    return screen;
}

const std::vector<uint8_t>& ScreenPng() {
    static const std::vector<uint8_t> png = [] {
        std::vector<uint8_t> out;
        EncodePng(Screen(), out);
        return out;
    }();
    return png;
}

void BM_ConsoleDecodeScreen(benchmark::State& state) {
    BenchConsoleDecode(state, ScreenPng(), kWidth, kHeight);
}
BENCHMARK(BM_ConsoleDecodeScreen)->UseManualTime();

void BM_BareLibpngDecode(benchmark::State& state) {
    const std::vector<uint8_t>& file = ScreenPng();
    const size_t rowBytes = static_cast<size_t>(kWidth) * 3;  // the screen is stored as RGB
    std::vector<uint8_t> pixels(rowBytes * kHeight);
    for (auto _ : state) {
        const double start = BenchThreadSeconds();
        const bool decoded = BenchBareDecode(&file, pixels.data(), rowBytes);
        state.SetIterationTime(BenchThreadSeconds() - start);
        if (!decoded) {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(pixels.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight * 4);
}
BENCHMARK(BM_BareLibpngDecode)->UseManualTime();

void BM_ConsoleEncodeScreen(benchmark::State& state) {
    std::vector<uint8_t> out;
    for (auto _ : state) {
        const double start = BenchThreadSeconds();
        const RzResult result = EncodePng(Screen(), out);
        state.SetIterationTime(BenchThreadSeconds() - start);
        if (result != RZ_OK) {
            state.SkipWithError("encode failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["png_bytes"] = static_cast<double>(ScreenPng().size());
}
BENCHMARK(BM_ConsoleEncodeScreen)->UseManualTime();

}  // namespace
