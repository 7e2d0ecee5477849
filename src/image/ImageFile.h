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

// Writes data[0, length) as the file `path` all or nothing: the bytes go to a temporary file in
// the same directory, which replaces `path` only once it is complete and flushed to disk. On
// failure no new file is left behind and an existing file keeps its bytes. An existing file
// keeps its permission bits; a symbolic link is written through to its target. Refuses
// (LINK_E_FILE) to replace anything but a regular file, or a file we may not write.
// LINK_E_PARAMETER for an empty path or null data with a non-zero length.
RzResult WriteFileAtomically(const std::string& path, const uint8_t* data, size_t length);

// Saves `image` to `path` in the format ImageFormatForPath chooses (or the one given).
// LINK_E_PARAMETER for an empty image or path, LINK_E_NO_MEMORY when encoding runs out of
// memory, LINK_E_FILE when the file cannot be written (see WriteFileAtomically).
RzResult SaveImageFile(const CRzImage& image, const std::string& path);
RzResult SaveImageFile(const CRzImage& image, const std::string& path, ImageFileFormat format);
