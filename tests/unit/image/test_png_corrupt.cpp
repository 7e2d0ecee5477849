#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "PngTestFiles.h"
#include "image/PngCodec.h"

namespace {

using Bytes = std::vector<uint8_t>;

// An intact 40 x 30 RGB file with a tEXt chunk and its image data split over several IDATs.
const Bytes& GoodFile() {
    static const Bytes file = [] {
        PngLayout layout;
        layout.width = 40;
        layout.height = 30;
        layout.colorType = PNG_COLOR_TYPE_RGB;
        TestRandom random(99);
        for (int i = 0; i < 40 * 30 * 3; ++i) {
            layout.samples.push_back(static_cast<uint16_t>(random.Next() & 0xFF));
        }
        layout.compressionBufferSize = 512;
        layout.text = "screen";
        return WritePng(layout);
    }();
    return file;
}

// The first chunk of `type`.
ChunkPosition Find(const std::vector<ChunkPosition>& chunks, const std::string& type) {
    const auto at = std::find_if(chunks.begin(), chunks.end(),
                                 [&](const ChunkPosition& c) { return c.type == type; });
    EXPECT_NE(at, chunks.end()) << "no " << type << " chunk";
    return at != chunks.end() ? *at : ChunkPosition{};
}

Bytes Truncated(size_t length) {
    return Bytes(GoodFile().begin(), GoodFile().begin() + length);
}

Bytes WithFlippedByte(size_t offset) {
    Bytes file = GoodFile();
    file[offset] ^= 0x5A;
    return file;
}

Bytes FlipCrc(const std::string& type) {
    const ChunkPosition c = Find(ListChunks(GoodFile()), type);
    return WithFlippedByte(c.offset + 8 + c.dataLength + 2);
}

Bytes ZlibOf(const Bytes& raw) {
    uLongf size = compressBound(raw.size());
    Bytes out(size);
    compress(out.data(), &size, raw.data(), raw.size());
    out.resize(size);
    return out;
}

// A 4 x 4 RGB image whose compressed data holds only `rows` filtered rows.
Bytes WithRows(int rows) {
    Bytes raw;
    for (int y = 0; y < rows; ++y) {
        raw.push_back(0);  // filter: none
        raw.insert(raw.end(), 4 * 3, 0x40);
    }
    return PngFromChunks({Chunk("IHDR", IhdrData(4, 4, 8, PNG_COLOR_TYPE_RGB)),
                          Chunk("IDAT", ZlibOf(raw)), Chunk("IEND", {})});
}

// The given header over the image data of one black 8-bit RGB pixel.
Bytes WithHeader(uint32_t width, uint32_t height, uint8_t depth, uint8_t colourType,
                 uint8_t interlace = 0) {
    const Bytes raw(1 + 3, 0);
    return PngFromChunks({Chunk("IHDR", IhdrData(width, height, depth, colourType, interlace)),
                          Chunk("IDAT", ZlibOf(raw)), Chunk("IEND", {})});
}

}  // namespace

// The file this table damages decodes, so every failure below is the damage's doing.
TEST(PngCorrupt, TheUndamagedFileDecodes) {
    CRzImage image;
    ASSERT_EQ(DecodePng(GoodFile().data(), GoodFile().size(), image), RZ_OK);
    EXPECT_EQ(image.width(), 40);
    const std::vector<ChunkPosition> chunks = ListChunks(GoodFile());
    EXPECT_GT(std::count_if(chunks.begin(), chunks.end(),
                            [](const ChunkPosition& c) { return c.type == "IDAT"; }),
              2);
    // The valid 4 x 4 file the short-data cases start from.
    const Bytes complete = WithRows(4);
    EXPECT_EQ(DecodePng(complete.data(), complete.size(), image), RZ_OK);
    // The hand-made files the header cases vary.
    const Bytes onePixel = WithHeader(1, 1, 8, PNG_COLOR_TYPE_RGB);
    EXPECT_EQ(DecodePng(onePixel.data(), onePixel.size(), image), RZ_OK);
    EXPECT_EQ(image.Pixel(0, 0), 0xFF000000u);
}

// Damage that reaches what the decoder sets up itself: reading short input, the CRC check of
// ancillary chunks, the size caps and the image data; what libpng refuses of its own accord
// (signature, critical chunks) is its business.
TEST(PngCorrupt, DamagedFilesGiveACodeAndAnEmptyImage) {
    const std::vector<ChunkPosition> chunks = ListChunks(GoodFile());
    const ChunkPosition firstIdat = Find(chunks, "IDAT");
    const size_t size = GoodFile().size();

    struct Case {
        std::string name;
        Bytes file;
        RzResult expected;
    };
    std::vector<Case> cases = {
        {"empty", {}, LINK_E_PARAMETER},
        {"signature only", Truncated(8), LINK_E_FORMAT},
        {"IHDR only", Truncated(33), LINK_E_FORMAT},
        {"inside the first IDAT", Truncated(firstIdat.offset + 8 + firstIdat.dataLength / 2),
         LINK_E_FORMAT},
        {"without IEND", Truncated(size - 12), LINK_E_FORMAT},
        {"IEND without its last CRC byte", Truncated(size - 1), LINK_E_FORMAT},
        {"bad CRC in tEXt", FlipCrc("tEXt"), LINK_E_FORMAT},
        {"IDAT data changed, CRC not", WithFlippedByte(firstIdat.offset + 8 + 20), LINK_E_FORMAT},
        {"width above the cap", WithHeader(CRzImage::kMaxSide + 1, 1, 8, PNG_COLOR_TYPE_GRAY),
         LINK_E_FORMAT},
        {"sides that overflow 32 bits", WithHeader(0xFFFFFFFF, 0xFFFFFFFF, 8, PNG_COLOR_TYPE_RGB),
         LINK_E_FORMAT},
        {"largest allowed sides, data for one pixel",
         WithHeader(CRzImage::kMaxSide, CRzImage::kMaxSide, 8, PNG_COLOR_TYPE_GRAY), LINK_E_FORMAT},
        {"image data for 3 of 4 rows", WithRows(3), LINK_E_FORMAT},
    };
    {
        // Compressed data that is not a zlib stream, under a correct CRC.
        Bytes file = GoodFile();
        file[firstIdat.offset + 8] = 0xFF;
        file[firstIdat.offset + 9] = 0xFF;
        FixCrc(file, firstIdat);
        cases.push_back({"broken zlib header", file, LINK_E_FORMAT});
    }

    testing::internal::CaptureStderr();
    for (const auto& c : cases) {
        CRzImage image;
        ASSERT_EQ(image.Resize(2, 2), RZ_OK);
        EXPECT_EQ(DecodePng(c.file.data(), c.file.size(), image), c.expected)
            << c.name << ": " << ResultCodeName(DecodePng(c.file.data(), c.file.size(), image));
        EXPECT_TRUE(image.IsEmpty()) << c.name;
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    CRzImage image;
    EXPECT_EQ(DecodePng(nullptr, 100, image), LINK_E_PARAMETER);
}
