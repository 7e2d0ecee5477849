#pragma once

#include <cstdint>
#include <string>
#include <vector>

// PNG files for the tests, written with libpng directly (independent of the console's encoder,
// which only writes 8-bit RGB/RGBA) and chunk by chunk for damaged files.

struct PngLayout {
    int width = 0;
    int height = 0;
    int colorType = 0;  // PNG_COLOR_TYPE_*
    int bitDepth = 8;
    bool interlaced = false;
    // Samples row by row, pixel by pixel, channel by channel (1 grey, 2 grey+alpha, 3 RGB,
    // 4 RGBA, 1 palette index), each at bitDepth.
    std::vector<uint16_t> samples;
    std::vector<uint8_t> paletteRgb;      // 3 bytes per entry
    std::vector<uint8_t> paletteAlpha;    // tRNS for palette images
    bool hasTransparentColour = false;    // tRNS for grey / RGB images
    uint16_t transparent[3] = {0, 0, 0};  // grey in [0], or R, G, B
    int compressionBufferSize = 0;        // >0 splits IDAT into chunks of about this size
    std::string text;                     // a tEXt chunk ahead of the image data when not empty
};

int ChannelsOf(int colorType);

// The PNG file for `layout`; empty if libpng refused it.
std::vector<uint8_t> WritePng(const PngLayout& layout);

// One chunk: length, type, data and its CRC.
std::vector<uint8_t> Chunk(const char type[4], const std::vector<uint8_t>& data);
std::vector<uint8_t> IhdrData(uint32_t width, uint32_t height, uint8_t bitDepth, uint8_t colorType,
                              uint8_t interlace = 0);
// Signature + chunks.
std::vector<uint8_t> PngFromChunks(const std::vector<std::vector<uint8_t>>& chunks);

struct ChunkPosition {
    std::string type;
    size_t offset = 0;  // of the length field
    size_t dataLength = 0;
};
// The chunks of a PNG file (after the 8-byte signature), in file order.
std::vector<ChunkPosition> ListChunks(const std::vector<uint8_t>& png);
// Recomputes the CRC of the chunk at `offset` after its data was changed.
void FixCrc(std::vector<uint8_t>& png, const ChunkPosition& chunk);

// A deterministic pseudo-random sequence for sample data.
class TestRandom {
  public:
    explicit TestRandom(uint32_t seed) : state_(seed ? seed : 1) {}
    uint32_t Next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }

  private:
    uint32_t state_;
};
