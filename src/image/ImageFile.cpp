#include "image/ImageFile.h"

#include "image/BmpWriter.h"
#include "image/PngCodec.h"
#include "platform/AtomicFile.h"

ImageFileFormat ImageFormatForPath(const std::string& path) {
    if (path.size() >= 3 && path.compare(path.size() - 3, 3, "png") == 0) {
        return ImageFileFormat::Png;
    }
    return ImageFileFormat::Bmp;
}

RzResult EncodeImage(const CRzImage& image, ImageFileFormat format, std::vector<uint8_t>& out) {
    return format == ImageFileFormat::Png ? EncodePng(image, out) : EncodeBmp(image, out);
}

RzResult SaveImageFile(const CRzImage& image, const std::string& path) {
    return SaveImageFile(image, path, ImageFormatForPath(path));
}

RzResult SaveImageFile(const CRzImage& image, const std::string& path, ImageFileFormat format) {
    if (image.IsEmpty() || path.empty()) {
        return LINK_E_PARAMETER;
    }
    // Encoded in memory first, so a failed encode never touches the disk.
    std::vector<uint8_t> bytes;
    const RzResult encoded = EncodeImage(image, format, bytes);
    if (encoded != RZ_OK) {
        return encoded;
    }
    return WriteFileAtomically(path, bytes.data(), bytes.size());
}
