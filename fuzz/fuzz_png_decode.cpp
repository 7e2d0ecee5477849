// Feeds arbitrary bytes to the screen-image decoder. Besides crashes and sanitizer reports it
// checks the decoder's promises: a decoded image has sensible sides, a failure leaves it empty,
// and a decoded image survives an encode/decode round trip unchanged.
#include <cstdint>
#include <cstring>
#include <vector>

#include "image/PngCodec.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One image object for the whole run, as the console keeps one across cycles.
    static CRzImage image;
    static CRzImage again;
    static std::vector<uint8_t> encoded;

    const RzResult result = DecodePng(data, size, image);
    if (result != RZ_OK) {
        Check(image.IsEmpty());
        Check(result == LINK_E_FORMAT || result == LINK_E_PARAMETER || result == LINK_E_NO_MEMORY);
        return 0;
    }
    Check(image.width() >= 1 && image.width() <= CRzImage::kMaxSide);
    Check(image.height() >= 1 && image.height() <= CRzImage::kMaxSide);
    Check(EncodePng(image, encoded) == RZ_OK);
    Check(DecodePng(encoded.data(), encoded.size(), again) == RZ_OK);
    Check(again.width() == image.width() && again.height() == image.height());
    // Comparing every row also reads every pixel the decoder produced.
    for (int y = 0; y < image.height(); ++y) {
        Check(std::memcmp(again.Row(y), image.Row(y), image.stride()) == 0);
    }
    return 0;
}
