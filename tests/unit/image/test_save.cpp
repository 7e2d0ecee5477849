#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <string>
#include <vector>

#include "PngTestFiles.h"
#include "common/FileHelpers.h"
#include "image/BmpWriter.h"
#include "image/ImageFile.h"
#include "image/PngCodec.h"

namespace {

using Names = std::vector<std::string>;

// Noise compresses badly, so both formats come out several hundred kilobytes.
CRzImage NoiseImage(int width, int height, uint32_t seed) {
    CRzImage image;
    EXPECT_EQ(image.Resize(width, height), RZ_OK);
    TestRandom random(seed);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.SetPixel(x, y, random.Next() | 0xFF000000u);
        }
    }
    return image;
}

std::string Encoded(const CRzImage& image, bool png) {
    std::vector<uint8_t> bytes;
    EXPECT_EQ((png ? EncodePng : EncodeBmp)(image, bytes), RZ_OK);
    return {bytes.begin(), bytes.end()};
}

}  // namespace

TEST(ImageSave, FormatFollowsTheLastThreeCharacters) {
    const struct {
        const char* path;
        ImageFileFormat format;
    } cases[] = {
        {"Current.png", ImageFileFormat::Png},
        {"shotpng", ImageFileFormat::Png},
        {"Current.PNG", ImageFileFormat::Bmp},
        {"a.pngx", ImageFileFormat::Bmp},
        {"dir.png/file", ImageFileFormat::Bmp},
        {"pn", ImageFileFormat::Bmp},
        {"", ImageFileFormat::Bmp},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ImageFormatForPath(c.path), c.format) << c.path;
    }
}

TEST(ImageSave, WritesTheChosenFormatAndNothingElse) {
    const CRzImage image = NoiseImage(7, 5, 3);
    for (const char* name : {"Current.png", "Current.PNG"}) {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const std::string path = dir.path().toStdString() + "/" + name;
        ASSERT_EQ(SaveImageFile(image, path), RZ_OK) << name;
        EXPECT_EQ(ReadBytes(path), Encoded(image, std::string(name) == "Current.png")) << name;
        // No temporary file is left beside it.
        EXPECT_EQ(DirectoryEntries(dir.path().toStdString()), Names{name});
    }
}

// How a write fails is the atomic file's business (its own tests); a save passes the failure on
// and refuses what it cannot encode, leaving the old file as it was.
TEST(ImageSave, FailuresGiveACodeAndLeaveTheDiskAsItWas) {
    const CRzImage image = NoiseImage(300, 300, 6);
    const CRzImage empty;
    const struct {
        const char* name;
        std::string fileName;  // inside the temporary directory
        const CRzImage* image;
        bool limitFileSize;
        RzResult expected;
    } cases[] = {
        {"disk full", "Current.png", &image, true, LINK_E_FILE},
        {"empty image", "Current.png", &empty, false, LINK_E_PARAMETER},
        {"no name", "", &image, false, LINK_E_PARAMETER},
    };
    const std::string oldBytes = "existing image bytes";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const std::string root = dir.path().toStdString();
        const std::string path = c.fileName.empty() ? "" : root + "/" + c.fileName;
        if (!path.empty()) {
            WriteBytes(path, oldBytes);
        }
        const Names before = DirectoryEntries(root);
        {
            FileSizeLimit limit(c.limitFileSize ? 64 * 1024 : RLIM_INFINITY);
            EXPECT_EQ(SaveImageFile(*c.image, path), c.expected);
        }
        EXPECT_EQ(DirectoryEntries(root), before);
        if (!path.empty()) {
            EXPECT_EQ(ReadBytes(path), oldBytes);
        }
    }
}
