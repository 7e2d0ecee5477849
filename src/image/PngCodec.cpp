#include "image/PngCodec.h"

#include <png.h>

#include <bit>
#include <cstdlib>
#include <cstring>

#include "image/PixelRows.h"

// libpng reports errors by longjmp. The functions that call setjmp below hold no object with a
// destructor and read no local after the jump, so the jump skips nothing that needs unwinding;
// everything that owns memory lives in their callers.

namespace {

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

// Ancillary chunks that may not be larger than this; screen images carry none that big.
constexpr png_alloc_size_t kMaxChunkBytes = 1024 * 1024;

// Shared by the libpng callbacks of one decode or encode; trivially destructible.
struct CodecState {
    const uint8_t* input;
    size_t inputLength;
    size_t inputOffset;
    std::vector<uint8_t>* output;
    bool outOfMemory;
};

CodecState* MemoryStateOf(png_structp png) {
    return static_cast<CodecState*>(png_get_mem_ptr(png));
}

CodecState* IoStateOf(png_structp png) {
    return static_cast<CodecState*>(png_get_io_ptr(png));
}

[[noreturn]] void OnPngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

// Warnings concern metadata the console does not use, and the core never prints.
void OnPngWarning(png_structp, png_const_charp) {}

png_voidp OnPngMalloc(png_structp png, png_alloc_size_t size) {
    void* block = std::malloc(size);
    if (block == nullptr) {
        MemoryStateOf(png)->outOfMemory = true;
    }
    return block;
}

void OnPngFree(png_structp, png_voidp block) {
    std::free(block);
}

void OnPngRead(png_structp png, png_bytep out, size_t count) {
    CodecState* state = IoStateOf(png);
    if (count > state->inputLength - state->inputOffset) {
        png_error(png, "truncated");
    }
    std::memcpy(out, state->input + state->inputOffset, count);
    state->inputOffset += count;
}

void OnPngWrite(png_structp png, png_bytep data, size_t count) {
    CodecState* state = IoStateOf(png);
    bool failed = false;
    try {
        state->output->insert(state->output->end(), data, data + count);
    } catch (...) {
        failed = true;
    }
    // Jump only once the catch block is left.
    if (failed) {
        state->outOfMemory = true;
        png_error(png, "out of memory");
    }
}

void OnPngFlush(png_structp) {}

// How the rows libpng delivers become ARGB32 words.
enum class RowLayout {
    Argb,  // libpng's transforms deliver the words
    Rgb,   // plain 8-bit RGB, widened here
    Rgba,  // plain 8-bit RGBA, reordered here
};

// Reads the header and chooses the row layout. A screen is nearly always plain 8-bit RGB(A);
// widening those rows in one pass of our own costs much less than libpng's separate swap and
// filler passes. Everything else (palette, grey, other depths, tRNS, interlacing) goes
// through libpng's transforms. Returns false on a libpng error or an unexpected row size.
bool ReadHeader(png_structp png, png_infop info, png_uint_32* width, png_uint_32* height,
                int* passes, RowLayout* layout) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_info(png, info);
    const int colourType = png_get_color_type(png, info);
    const bool plain8 = png_get_bit_depth(png, info) == 8 &&
                        png_get_interlace_type(png, info) == PNG_INTERLACE_NONE &&
                        png_get_valid(png, info, PNG_INFO_tRNS) == 0;
    size_t channels = 4;
    if (plain8 && colourType == PNG_COLOR_TYPE_RGB) {
        *layout = RowLayout::Rgb;
        channels = 3;
    } else if (plain8 && colourType == PNG_COLOR_TYPE_RGB_ALPHA) {
        *layout = RowLayout::Rgba;
    } else {
        *layout = RowLayout::Argb;
        // Palette to RGB, grey below 8 bits to 8, tRNS to an alpha channel.
        png_set_expand(png);
        png_set_scale_16(png);
        png_set_gray_to_rgb(png);
        if constexpr (kLittleEndian) {
            png_set_bgr(png);
            png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
        } else {
            png_set_swap_alpha(png);
            png_set_add_alpha(png, 0xFF, PNG_FILLER_BEFORE);
        }
    }
    *passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    *width = png_get_image_width(png, info);
    *height = png_get_image_height(png, info);
    return png_get_bit_depth(png, info) == 8 && png_get_channels(png, info) == channels &&
           png_get_rowbytes(png, info) == static_cast<size_t>(*width) * channels;
}

bool ReadRows(png_structp png, png_infop info, CRzImage* image, int passes, RowLayout layout) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    const int width = image->width();
    const int height = image->height();
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < height; ++y) {
            uint32_t* row = image->Row(y);
            png_read_row(png, reinterpret_cast<png_bytep>(row), nullptr);
            if (layout == RowLayout::Rgb) {
                WidenRgbRow(row, width);
            } else if (layout == RowLayout::Rgba) {
                ReorderRgbaRow(row, width);
            }
        }
    }
    // Reads through IEND, so a truncated tail or a bad CRC on the last chunks is caught too.
    png_read_end(png, info);
    return true;
}

void LimitDecoder(png_structp png) {
    png_set_user_limits(png, CRzImage::kMaxSide, CRzImage::kMaxSide);
    png_set_chunk_malloc_max(png, kMaxChunkBytes);
    // A damaged screen must not be shown as if it were intact: any CRC error rejects the file.
    // Other faults in ancillary chunks stay libpng's benign warnings; the picture is whole.
    png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
    // Text, profiles and the like are checked (CRC) but never decompressed or stored.
    static const png_byte kSkipped[] = "tEXt\0zTXt\0iTXt\0iCCP\0sPLT\0eXIf\0tIME\0";
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, kSkipped,
                                static_cast<int>(sizeof(kSkipped) / 5));
}

RzResult DecodeWith(png_structp png, png_infop info, CodecState& state, CRzImage& image) {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int passes = 0;
    RowLayout layout = RowLayout::Argb;
    if (!ReadHeader(png, info, &width, &height, &passes, &layout)) {
        return state.outOfMemory ? LINK_E_NO_MEMORY : LINK_E_FORMAT;
    }
    // libpng enforces the limits already; this keeps Resize's contract independent of that.
    if (width == 0 || height == 0 || width > CRzImage::kMaxSide || height > CRzImage::kMaxSide) {
        return LINK_E_FORMAT;
    }
    const RzResult resized = image.Resize(static_cast<int>(width), static_cast<int>(height));
    if (resized != RZ_OK) {
        return resized;
    }
    if (!ReadRows(png, info, &image, passes, layout)) {
        return state.outOfMemory ? LINK_E_NO_MEMORY : LINK_E_FORMAT;
    }
    return RZ_OK;
}

bool WriteImage(png_structp png, png_infop info, const CRzImage* image, bool alpha) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_IHDR(png, info, static_cast<png_uint_32>(image->width()),
                 static_cast<png_uint_32>(image->height()), 8,
                 alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    // The rows are 32-bit 0xAARRGGBB words; for RGB output the alpha byte is dropped.
    if constexpr (kLittleEndian) {
        png_set_bgr(png);
        if (!alpha) {
            png_set_filler(png, 0, PNG_FILLER_AFTER);
        }
    } else {
        if (alpha) {
            png_set_swap_alpha(png);
        } else {
            png_set_filler(png, 0, PNG_FILLER_BEFORE);
        }
    }
    const int height = image->height();
    for (int y = 0; y < height; ++y) {
        png_write_row(png, reinterpret_cast<png_const_bytep>(image->Row(y)));
    }
    png_write_end(png, nullptr);
    return true;
}

}  // namespace

RzResult DecodePng(const uint8_t* data, size_t length, CRzImage& image) {
    image.Clear();
    if (data == nullptr || length == 0) {
        return LINK_E_PARAMETER;
    }
    if (length < 8 || png_sig_cmp(data, 0, 8) != 0) {
        return LINK_E_FORMAT;
    }
    CodecState state{data, length, 0, nullptr, false};
    png_structp png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, nullptr, OnPngError,
                                               OnPngWarning, &state, OnPngMalloc, OnPngFree);
    if (png == nullptr) {
        return LINK_E_NO_MEMORY;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return LINK_E_NO_MEMORY;
    }
    LimitDecoder(png);
    png_set_read_fn(png, &state, OnPngRead);
    const RzResult result = DecodeWith(png, info, state, image);
    png_destroy_read_struct(&png, &info, nullptr);
    if (result != RZ_OK) {
        image.Clear();
    }
    return result;
}

RzResult EncodePng(const CRzImage& image, std::vector<uint8_t>& out) {
    out.clear();
    if (image.IsEmpty()) {
        return LINK_E_PARAMETER;
    }
    CodecState state{nullptr, 0, 0, &out, false};
    png_structp png = png_create_write_struct_2(PNG_LIBPNG_VER_STRING, nullptr, OnPngError,
                                                OnPngWarning, &state, OnPngMalloc, OnPngFree);
    if (png == nullptr) {
        return LINK_E_NO_MEMORY;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return LINK_E_NO_MEMORY;
    }
    png_set_write_fn(png, &state, OnPngWrite, OnPngFlush);
    const bool ok = WriteImage(png, info, &image, !image.IsOpaque());
    png_destroy_write_struct(&png, &info);
    if (!ok) {
        out.clear();
        return state.outOfMemory ? LINK_E_NO_MEMORY : LINK_E_GENERAL;
    }
    return RZ_OK;
}
