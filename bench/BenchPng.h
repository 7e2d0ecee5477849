#pragma once

// Shared by the decode benchmarks: the console's decode loop and the bare libpng decode it is
// measured against. Iterations are timed by the thread's CPU clock: the decode is
// single-threaded, and on a shared machine wall time mostly measures the neighbours.

#include <benchmark/benchmark.h>
#include <png.h>
#include <time.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "BenchSim.h"
#include "image/Image.h"
#include "image/PngCodec.h"

struct BenchPngReader {
    const uint8_t* data;
    size_t length;
    size_t offset;
};

inline void BenchPngReadFromMemory(png_structp png, png_bytep out, size_t count) {
    auto* reader = static_cast<BenchPngReader*>(png_get_io_ptr(png));
    if (count > reader->length - reader->offset) {
        png_error(png, "end of data");
    }
    std::memcpy(out, reader->data + reader->offset, count);
    reader->offset += count;
}

// The yardstick: libpng's own rows, in the file's layout, into a buffer made beforehand.
inline bool BenchBareDecode(const std::vector<uint8_t>* file, uint8_t* pixels, size_t rowBytes) {
    BenchPngReader reader{file->data(), file->size(), 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &reader, BenchPngReadFromMemory);
    png_read_info(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    for (png_uint_32 y = 0; y < height; ++y) {
        png_read_row(png, pixels + y * rowBytes, nullptr);
    }
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

// The console's decode of `file` (width x height pixels) into a reused image.
inline void BenchConsoleDecode(benchmark::State& state, const std::vector<uint8_t>& file,
                               int64_t width, int64_t height) {
    CRzImage image;
    for (auto _ : state) {
        const double start = BenchThreadSeconds();
        const RzResult result = DecodePng(file.data(), file.size(), image);
        state.SetIterationTime(BenchThreadSeconds() - start);
        if (result != RZ_OK) {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(image.Row(0));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * width * height * 4);
}
