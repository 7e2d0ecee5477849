#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "image/Image.h"
#include "platform/ResultCodes.h"

// Uncompressed 24-bit BMP: a 14-byte file header ("BM"), a 40-byte info header, then the rows
// bottom-up as B, G, R bytes, each row padded with zeros to a multiple of 4 bytes. Alpha is
// dropped. Resolution 2835 pixels per metre (72 dpi) in both directions.
constexpr size_t kBmpFileHeaderSize = 14;
constexpr size_t kBmpInfoHeaderSize = 40;
constexpr int32_t kBmpPixelsPerMetre = 2835;

// Bytes of one stored row of a 24-bit BMP `width` pixels wide.
constexpr size_t BmpRowSize(int width) {
    return (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
}

// Replaces `out` by the BMP file of `image`. LINK_E_PARAMETER for an empty image,
// LINK_E_NO_MEMORY when `out` cannot hold the file (then `out` is empty).
RzResult EncodeBmp(const CRzImage& image, std::vector<uint8_t>& out);
