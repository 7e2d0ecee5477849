#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <filesystem>
#include <string>
#include <vector>

#include "PngTestFiles.h"
#include "common/FileHelpers.h"
#include "image/BmpWriter.h"
#include "image/ImageFile.h"
#include "image/PngCodec.h"
#include "platform/AtomicFile.h"

namespace fs = std::filesystem;

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

TEST(ImageSave, OverwriteKeepsThePermissionsAndWritesThroughALink) {
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString();
    WriteBytes(root + "/old.bmp", "old contents");
    ASSERT_EQ(chmod((root + "/old.bmp").c_str(), 0640), 0);
    ASSERT_EQ(symlink((root + "/old.bmp").c_str(), (root + "/link.bmp").c_str()), 0);
    const CRzImage image = NoiseImage(3, 3, 4);
    ASSERT_EQ(SaveImageFile(image, root + "/link.bmp"), RZ_OK);
    EXPECT_TRUE(fs::is_symlink(root + "/link.bmp"));
    EXPECT_EQ(ReadBytes(root + "/old.bmp"), Encoded(image, false));
    struct stat st {};
    ASSERT_EQ(stat((root + "/old.bmp").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(DirectoryEntries(root), (Names{"link.bmp", "old.bmp"}));
}

TEST(ImageSave, FailuresGiveACodeAndLeaveTheDiskAsItWas) {
    const CRzImage image = NoiseImage(300, 300, 6);
    const CRzImage empty;
    const struct {
        const char* name;
        std::string fileName;  // inside the temporary directory
        const CRzImage* image;
        bool existing;  // a file with known bytes is there beforehand
        bool limitFileSize;
        RzResult expected;
    } cases[] = {
        {"missing directory", "missing/Current.png", &image, false, false, LINK_E_FILE},
        {"new file, disk full, png", "Current.png", &image, false, true, LINK_E_FILE},
        {"overwrite, disk full, png", "Current.png", &image, true, true, LINK_E_FILE},
        {"empty image over a file", "Current.png", &empty, true, false, LINK_E_PARAMETER},
        {"a directory", "folder.png", &image, false, false, LINK_E_FILE},
        {"no name", "", &image, false, false, LINK_E_PARAMETER},
    };
    const std::string oldBytes = "existing image bytes";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const std::string root = dir.path().toStdString();
        const std::string path = c.fileName.empty() ? "" : root + "/" + c.fileName;
        if (c.existing) {
            WriteBytes(path, oldBytes);
        }
        fs::create_directory(root + "/folder.png");
        const Names before = DirectoryEntries(root);
        if (c.limitFileSize) {
            FileSizeLimit limit(64 * 1024);
            ASSERT_TRUE(limit.ok());
            EXPECT_EQ(SaveImageFile(*c.image, path), c.expected);
        } else {
            EXPECT_EQ(SaveImageFile(*c.image, path), c.expected);
        }
        EXPECT_EQ(DirectoryEntries(root), before);
        EXPECT_TRUE(fs::is_directory(root + "/folder.png"));
        if (c.existing) {
            EXPECT_EQ(ReadBytes(path), oldBytes);
        }
    }
}

TEST(ImageSave, ReadOnlyFileIsNotReplaced) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root may write any file";
    }
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/locked.png";
    WriteBytes(path, "locked");
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    EXPECT_EQ(SaveImageFile(NoiseImage(2, 2, 8), path), LINK_E_FILE);
    EXPECT_EQ(ReadBytes(path), "locked");
}

TEST(ImageSave, WriteFileAtomicallyArguments) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/raw";
    EXPECT_EQ(WriteFileAtomically(path, nullptr, 3), LINK_E_PARAMETER);
    EXPECT_FALSE(fs::exists(path));
    EXPECT_EQ(WriteFileAtomically(path, nullptr, 0), RZ_OK);
    EXPECT_TRUE(fs::exists(path));
    EXPECT_EQ(fs::file_size(path), 0u);
    const uint8_t bytes[] = {1, 2, 3};
    EXPECT_EQ(WriteFileAtomically(path, bytes, 3), RZ_OK);
    EXPECT_EQ(ReadBytes(path), "\x01\x02\x03");
}
