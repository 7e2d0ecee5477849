#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "image/Image.h"
#include "platform/ResultCodes.h"

enum class ImageFileFormat { Png, Bmp };

// PNG when the path's last three characters are exactly "png" (lower case), BMP otherwise:
// "a.PNG" is saved as BMP, as operators of the console have always seen it.
ImageFileFormat ImageFormatForPath(const std::string& path);

// Replaces `out` by the file bytes of `image` in `format` (codes as EncodePng / EncodeBmp).
RzResult EncodeImage(const CRzImage& image, ImageFileFormat format, std::vector<uint8_t>& out);

// Saves `image` to `path` in the format ImageFormatForPath chooses (or the one given).
// LINK_E_PARAMETER for an empty image or path, LINK_E_NO_MEMORY when encoding runs out of
// memory, LINK_E_FILE when the file cannot be written (it is replaced all or nothing, see
// platform/AtomicFile.h).
RzResult SaveImageFile(const CRzImage& image, const std::string& path);
RzResult SaveImageFile(const CRzImage& image, const std::string& path, ImageFileFormat format);
