#include "image/BmpWriter.h"

namespace {

// BMP fields are little-endian whatever the host.
void PutU16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value);
    at[1] = static_cast<uint8_t>(value >> 8);
}

void PutU32(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

}  // namespace

RzResult EncodeBmp(const CRzImage& image, std::vector<uint8_t>& out) {
    out.clear();
    if (image.IsEmpty()) {
        return LINK_E_PARAMETER;
    }
    const int width = image.width();
    const int height = image.height();
    const size_t rowSize = BmpRowSize(width);
    const size_t pixelBytes = rowSize * static_cast<size_t>(height);
    const size_t headerBytes = kBmpFileHeaderSize + kBmpInfoHeaderSize;
    // At most 4096 x 4096 pixels: about 48 MiB, well inside the 32-bit size fields.
    const size_t fileBytes = headerBytes + pixelBytes;
    try {
        out.assign(fileBytes, 0);
    } catch (...) {
        out.clear();
        return LINK_E_NO_MEMORY;
    }
    uint8_t* p = out.data();
    p[0] = 'B';
    p[1] = 'M';
    PutU32(p + 2, static_cast<uint32_t>(fileBytes));
    // Bytes 6-9 are reserved and stay zero.
    PutU32(p + 10, static_cast<uint32_t>(headerBytes));

    uint8_t* info = p + kBmpFileHeaderSize;
    PutU32(info + 0, static_cast<uint32_t>(kBmpInfoHeaderSize));
    PutU32(info + 4, static_cast<uint32_t>(width));
    // A positive height means the rows are stored bottom-up.
    PutU32(info + 8, static_cast<uint32_t>(height));
    PutU16(info + 12, 1);   // planes
    PutU16(info + 14, 24);  // bits per pixel
    PutU32(info + 16, 0);   // BI_RGB, no compression
    PutU32(info + 20, static_cast<uint32_t>(pixelBytes));
    PutU32(info + 24, static_cast<uint32_t>(kBmpPixelsPerMetre));
    PutU32(info + 28, static_cast<uint32_t>(kBmpPixelsPerMetre));
    // Colours used and important colours stay zero: no palette.

    uint8_t* rows = p + headerBytes;
    for (int y = 0; y < height; ++y) {
        const uint32_t* source = image.Row(height - 1 - y);
        uint8_t* target = rows + static_cast<size_t>(y) * rowSize;
        for (int x = 0; x < width; ++x) {
            const uint32_t argb = source[x];
            target[3 * x + 0] = static_cast<uint8_t>(argb);
            target[3 * x + 1] = static_cast<uint8_t>(argb >> 8);
            target[3 * x + 2] = static_cast<uint8_t>(argb >> 16);
        }
        // The padding was zeroed by assign.
    }
    return RZ_OK;
}
