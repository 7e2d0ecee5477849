// rzsim's screens: drawing a 640 x 480 display from the instrument's state and encoding it, and
// the console's decode of that file next to a bare libpng decode of the same bytes (timed by the
// thread's CPU clock, see BenchPng.h).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "BenchPng.h"
#include "SimInstrument.h"
#include "SimScreen.h"
#include "image/PngCodec.h"

namespace {

// The full profile on a manual clock, run for three minutes so the trend has history.
std::unique_ptr<CSimInstrument> MakeInstrument(const char* display, int group) {
    CSimProfile profile;
    std::string error;
    if (!LoadSimProfile("full", &profile, &error)) {
        return nullptr;
    }
    profile.plant = {true, 1, 1000};
    auto instrument = std::make_unique<CSimInstrument>(std::move(profile));
    for (int i = 0; i < 180; ++i) {
        instrument->BeginRequest("FD0,1,248");
    }
    instrument->Panel().displayWord = display;
    instrument->Panel().displayGroup = group;
    return instrument;
}

void RenderDisplay(benchmark::State& state, const char* display, int group) {
    const auto instrument = MakeInstrument(display, group);
    if (!instrument) {
        state.SkipWithError("no profile");
        return;
    }
    CRzImage image;
    for (auto _ : state) {
        const double start = BenchThreadSeconds();
        const bool drawn = SimRenderScreen(*instrument, image);
        state.SetIterationTime(BenchThreadSeconds() - start);
        if (!drawn) {
            state.SkipWithError("render failed");
            break;
        }
        benchmark::DoNotOptimize(image.Row(0));
    }
}

void BM_SimRenderTrendScreen(benchmark::State& state) {
    RenderDisplay(state, "TREND", 1);
}
BENCHMARK(BM_SimRenderTrendScreen)->UseManualTime();

void BM_SimRenderFaceplateScreen(benchmark::State& state) {
    RenderDisplay(state, "FACEPLATE", 1);
}
BENCHMARK(BM_SimRenderFaceplateScreen)->UseManualTime();

void BM_SimEncodeTrendScreen(benchmark::State& state) {
    const auto instrument = MakeInstrument("TREND", 1);
    CRzImage image;
    if (!instrument || !SimRenderScreen(*instrument, image)) {
        state.SkipWithError("render failed");
        return;
    }
    std::vector<uint8_t> out;
    for (auto _ : state) {
        const double start = BenchThreadSeconds();
        const RzResult result = EncodePng(image, out);
        state.SetIterationTime(BenchThreadSeconds() - start);
        if (result != RZ_OK) {
            state.SkipWithError("encode failed");
            break;
        }
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["png_bytes"] = static_cast<double>(out.size());
}
BENCHMARK(BM_SimEncodeTrendScreen)->UseManualTime();

const std::vector<uint8_t>& TrendPng() {
    static const std::vector<uint8_t> png = [] {
        const auto instrument = MakeInstrument("TREND", 1);
        const std::string bytes = instrument ? SimRenderScreenPng(*instrument) : std::string();
        return std::vector<uint8_t>(bytes.begin(), bytes.end());
    }();
    return png;
}

void BM_ConsoleDecodeSimScreen(benchmark::State& state) {
    BenchConsoleDecode(state, TrendPng(), 640, 480);
}
BENCHMARK(BM_ConsoleDecodeSimScreen)->UseManualTime();

void BM_BareLibpngDecodeSimScreen(benchmark::State& state) {
    const std::vector<uint8_t>& file = TrendPng();
    const size_t rowBytes = static_cast<size_t>(640) * 3;  // the screen is opaque: stored as RGB
    std::vector<uint8_t> pixels(rowBytes * 480);
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
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 640 * 480 * 4);
}
BENCHMARK(BM_BareLibpngDecodeSimScreen)->UseManualTime();

}  // namespace
