#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/Image.h"
#include "platform/ResultCodes.h"

// PNG decoding and encoding with libpng. No function here prints or throws; libpng's
// warnings are swallowed and its errors become result codes.

// Decodes the PNG file in data[0, length) into `image` (ARGB32, see CRzImage). Palette, grey,
// 1/2/4/16-bit samples, tRNS and interlaced files are all expanded to 8 bits per channel;
// images without alpha come out opaque. Bytes after the IEND chunk are ignored (the binary
// receive mode counts a terminating NUL into the screen image's length).
//
// Returns LINK_E_PARAMETER for null or empty input, LINK_E_FORMAT for anything that is not a
// complete, intact PNG (bad signature or CRC, truncated, sides above CRzImage::kMaxSide,
// corrupt compressed data), LINK_E_NO_MEMORY when memory runs out. On failure `image` is left
// empty (0 x 0); its buffer is kept for the next call either way.
RzResult DecodePng(const uint8_t* data, size_t length, CRzImage& image);

// Encodes `image` as a PNG file into `out` (replacing its contents): 8-bit RGB for an opaque
// image, 8-bit RGBA otherwise. LINK_E_PARAMETER for an empty image, LINK_E_NO_MEMORY when
// memory runs out, LINK_E_GENERAL if libpng refuses; on failure `out` is left empty. Saving to a
// path is in ImageFile.h.
RzResult EncodePng(const CRzImage& image, std::vector<uint8_t>& out);
