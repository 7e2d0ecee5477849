#include "PngTestFiles.h"

#include <png.h>
#include <zlib.h>

#include <cstring>

namespace {

void PutBe32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(v >> shift));
    }
}

uint32_t GetBe32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

void OnWrite(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void OnFlush(png_structp) {}

[[noreturn]] void OnError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void OnWarning(png_structp, png_const_charp) {}

// No objects with destructors here: libpng errors longjmp back into this frame.
bool WriteWith(png_structp png, png_infop info, const PngLayout* layout, png_bytep* rows,
               png_colorp palette, png_textp text) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    if (layout->compressionBufferSize > 0) {
        png_set_compression_buffer_size(png, static_cast<size_t>(layout->compressionBufferSize));
    }
    png_set_IHDR(png, info, static_cast<png_uint_32>(layout->width),
                 static_cast<png_uint_32>(layout->height), layout->bitDepth, layout->colorType,
                 layout->interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (palette != nullptr) {
        png_set_PLTE(png, info, palette, static_cast<int>(layout->paletteRgb.size() / 3));
    }
    if (!layout->paletteAlpha.empty()) {
        png_set_tRNS(png, info, layout->paletteAlpha.data(),
                     static_cast<int>(layout->paletteAlpha.size()), nullptr);
    } else if (layout->hasTransparentColour) {
        png_color_16 colour{};
        colour.gray = layout->transparent[0];
        colour.red = layout->transparent[0];
        colour.green = layout->transparent[1];
        colour.blue = layout->transparent[2];
        png_set_tRNS(png, info, nullptr, 0, &colour);
    }
    if (text != nullptr) {
        png_set_text(png, info, text, 1);
    }
    png_write_info(png, info);
    png_write_image(png, rows);
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

int ChannelsOf(int colorType) {
    return colorType == PNG_COLOR_TYPE_GRAY_ALPHA  ? 2
           : colorType == PNG_COLOR_TYPE_RGB       ? 3
           : colorType == PNG_COLOR_TYPE_RGB_ALPHA ? 4
                                                   : 1;
}

std::vector<uint8_t> WritePng(const PngLayout& layout) {
    const int channels = ChannelsOf(layout.colorType);
    const size_t rowBits = static_cast<size_t>(layout.width) * channels * layout.bitDepth;
    const size_t rowBytes = (rowBits + 7) / 8;
    std::vector<std::vector<uint8_t>> rows(layout.height, std::vector<uint8_t>(rowBytes, 0));
    size_t index = 0;
    for (int y = 0; y < layout.height; ++y) {
        size_t bit = 0;
        for (int s = 0; s < layout.width * channels; ++s, ++index) {
            const uint16_t v = layout.samples.at(index);
            if (layout.bitDepth == 16) {
                rows[y][2 * s] = static_cast<uint8_t>(v >> 8);
                rows[y][2 * s + 1] = static_cast<uint8_t>(v);
            } else if (layout.bitDepth == 8) {
                rows[y][s] = static_cast<uint8_t>(v);
            } else {
                // Samples below 8 bits are packed from the most significant bit down.
                const size_t shift = 8 - layout.bitDepth - (bit % 8);
                rows[y][bit / 8] |= static_cast<uint8_t>(v << shift);
                bit += layout.bitDepth;
            }
        }
    }
    std::vector<png_bytep> rowPointers;
    for (auto& row : rows) {
        rowPointers.push_back(row.data());
    }
    std::vector<png_color> palette;
    for (size_t i = 0; i + 2 < layout.paletteRgb.size(); i += 3) {
        palette.push_back(
            {layout.paletteRgb[i], layout.paletteRgb[i + 1], layout.paletteRgb[i + 2]});
    }
    std::string key = "Comment";
    std::string textValue = layout.text;
    png_text text{};
    text.compression = PNG_TEXT_COMPRESSION_NONE;
    text.key = key.data();
    text.text = textValue.data();
    text.text_length = textValue.size();

    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, OnWrite, OnFlush);
    const bool ok = WriteWith(png, info, &layout, rowPointers.data(),
                              palette.empty() ? nullptr : palette.data(),
                              layout.text.empty() ? nullptr : &text);
    png_destroy_write_struct(&png, &info);
    if (!ok) {
        out.clear();
    }
    return out;
}

std::vector<uint8_t> Chunk(const char type[4], const std::vector<uint8_t>& data) {
    std::vector<uint8_t> out;
    PutBe32(out, static_cast<uint32_t>(data.size()));
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(type), 4);
    if (!data.empty()) {
        // A null buffer would make crc32 return its initial value instead.
        crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
    }
    PutBe32(out, static_cast<uint32_t>(crc));
    return out;
}

std::vector<uint8_t> IhdrData(uint32_t width, uint32_t height, uint8_t bitDepth, uint8_t colorType,
                              uint8_t interlace) {
    std::vector<uint8_t> data;
    PutBe32(data, width);
    PutBe32(data, height);
    data.insert(data.end(), {bitDepth, colorType, 0, 0, interlace});
    return data;
}

std::vector<uint8_t> PngFromChunks(const std::vector<std::vector<uint8_t>>& chunks) {
    std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    for (const auto& chunk : chunks) {
        out.insert(out.end(), chunk.begin(), chunk.end());
    }
    return out;
}

std::vector<ChunkPosition> ListChunks(const std::vector<uint8_t>& png) {
    std::vector<ChunkPosition> chunks;
    size_t offset = 8;
    while (offset + 12 <= png.size()) {
        ChunkPosition chunk;
        chunk.offset = offset;
        chunk.dataLength = GetBe32(png.data() + offset);
        chunk.type.assign(reinterpret_cast<const char*>(png.data() + offset + 4), 4);
        chunks.push_back(chunk);
        offset += 12 + chunk.dataLength;
    }
    return chunks;
}

void FixCrc(std::vector<uint8_t>& png, const ChunkPosition& chunk) {
    const uint8_t* typeAndData = png.data() + chunk.offset + 4;
    const uLong crc = crc32(0L, typeAndData, static_cast<uInt>(4 + chunk.dataLength));
    uint8_t* at = png.data() + chunk.offset + 8 + chunk.dataLength;
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    }
}
