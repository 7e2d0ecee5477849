#include <gtest/gtest.h>
#include <png.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "PngTestFiles.h"
#include "image/BmpWriter.h"
#include "image/ImageFile.h"
#include "image/PngCodec.h"
#include "platform/AtomicFile.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::set<std::string> Listing(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

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

// Makes writes beyond `bytes` fail with EFBIG for the object's lifetime. Works for root too,
// unlike a read-only directory.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    bool active() const { return active_; }

  private:
    rlimit previous_{};
    void (*previousHandler_)(int) = nullptr;
    bool active_ = false;
};

const Bytes kPngSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

bool StartsWith(const Bytes& bytes, const Bytes& prefix) {
    return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

}  // namespace

TEST(ImageSave, FormatFollowsTheLastThreeCharacters) {
    struct Case {
        const char* path;
        ImageFileFormat format;
    };
    const Case cases[] = {
        {"Current.png", ImageFileFormat::Png}, {"/a/b/c.png", ImageFileFormat::Png},
        {"png", ImageFileFormat::Png},         {"shotpng", ImageFileFormat::Png},
        {"Current.PNG", ImageFileFormat::Bmp}, {"Current.Png", ImageFileFormat::Bmp},
        {"Current.bmp", ImageFileFormat::Bmp}, {"Current", ImageFileFormat::Bmp},
        {"a.pngx", ImageFileFormat::Bmp},      {"dir.png/file", ImageFileFormat::Bmp},
        {"pn", ImageFileFormat::Bmp},          {"", ImageFileFormat::Bmp},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ImageFormatForPath(c.path), c.format) << c.path;
    }
}

TEST(ImageSave, WritesTheChosenFormatAndNothingElse) {
    const CRzImage image = NoiseImage(7, 5, 3);
    Bytes bmp;
    ASSERT_EQ(EncodeBmp(image, bmp), RZ_OK);
    struct Case {
        const char* name;
        bool png;
    };
    const Case cases[] = {
        {"Current.png", true}, {"Current.PNG", false}, {"shot.bmp", false},
        {"Current", false},    {"x.Png", false},
    };
    for (const auto& c : cases) {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const std::string path = dir.path().toStdString() + "/" + c.name;
        ASSERT_EQ(SaveImageFile(image, path), RZ_OK) << c.name;
        const Bytes written = ReadFile(path);
        if (c.png) {
            ASSERT_TRUE(StartsWith(written, kPngSignature)) << c.name;
            CRzImage back;
            ASSERT_EQ(DecodePng(written.data(), written.size(), back), RZ_OK);
            ASSERT_EQ(back.width(), 7);
            for (int y = 0; y < 5; ++y) {
                for (int x = 0; x < 7; ++x) {
                    EXPECT_EQ(back.Pixel(x, y), image.Pixel(x, y));
                }
            }
        } else {
            EXPECT_EQ(written, bmp) << c.name;
        }
        // No temporary file is left beside it.
        EXPECT_EQ(Listing(dir.path().toStdString()), std::set<std::string>{c.name});
    }
}

TEST(ImageSave, OverwriteReplacesTheBytesAndKeepsThePermissions) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/old.bmp";
    WriteFile(path, "old contents");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    const CRzImage image = NoiseImage(3, 3, 4);
    ASSERT_EQ(SaveImageFile(image, path), RZ_OK);
    Bytes bmp;
    ASSERT_EQ(EncodeBmp(image, bmp), RZ_OK);
    EXPECT_EQ(ReadFile(path), bmp);
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(Listing(dir.path().toStdString()), std::set<std::string>{"old.bmp"});
}

TEST(ImageSave, SymbolicLinkIsWrittenThrough) {
    QTemporaryDir dir;
    const std::string target = dir.path().toStdString() + "/target.png";
    const std::string link = dir.path().toStdString() + "/link.png";
    WriteFile(target, "old");
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    ASSERT_EQ(SaveImageFile(NoiseImage(2, 2, 5), link), RZ_OK);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_TRUE(StartsWith(ReadFile(target), kPngSignature));
}

TEST(ImageSave, FailuresGiveACodeAndLeaveTheDiskAsItWas) {
    const CRzImage image = NoiseImage(300, 300, 6);
    const CRzImage empty;
    struct Case {
        const char* name;
        std::string fileName;  // inside the temporary directory
        const CRzImage* image;
        bool existing;  // a file with known bytes is there beforehand
        bool limitFileSize;
        RzResult expected;
    };
    const Case cases[] = {
        {"missing directory, png", "missing/Current.png", &image, false, false, LINK_E_FILE},
        {"missing directory, bmp", "missing/Current.bmp", &image, false, false, LINK_E_FILE},
        {"new file, disk full, png", "Current.png", &image, false, true, LINK_E_FILE},
        {"new file, disk full, bmp", "Current.bmp", &image, false, true, LINK_E_FILE},
        {"overwrite, disk full, png", "Current.png", &image, true, true, LINK_E_FILE},
        {"overwrite, disk full, bmp", "Current.bmp", &image, true, true, LINK_E_FILE},
        {"empty image", "Current.png", &empty, false, false, LINK_E_PARAMETER},
        {"empty image over a file", "Current.png", &empty, true, false, LINK_E_PARAMETER},
    };
    const std::string oldBytes = "existing image bytes";
    for (const auto& c : cases) {
        QTemporaryDir dir;
        ASSERT_TRUE(dir.isValid());
        const std::string root = dir.path().toStdString();
        const std::string path = root + "/" + c.fileName;
        if (c.existing) {
            WriteFile(path, oldBytes);
        }
        const std::set<std::string> before = Listing(root);
        RzResult result = RZ_OK;
        if (c.limitFileSize) {
            FileSizeLimit limit(64 * 1024);
            ASSERT_TRUE(limit.active()) << c.name;
            result = SaveImageFile(*c.image, path);
        } else {
            result = SaveImageFile(*c.image, path);
        }
        EXPECT_EQ(result, c.expected) << c.name;
        EXPECT_EQ(Listing(root), before) << c.name;
        if (c.existing) {
            const Bytes kept = ReadFile(path);
            EXPECT_EQ(std::string(kept.begin(), kept.end()), oldBytes) << c.name;
        }
    }
}

TEST(ImageSave, RefusesToReplaceWhatIsNotAWritableFile) {
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString();
    const CRzImage image = NoiseImage(2, 2, 7);

    const std::string directory = root + "/folder.png";
    ASSERT_TRUE(fs::create_directory(directory));
    EXPECT_EQ(SaveImageFile(image, directory), LINK_E_FILE);
    EXPECT_TRUE(fs::is_directory(directory));
    EXPECT_EQ(SaveImageFile(image, root + "/"), LINK_E_FILE);
    EXPECT_EQ(SaveImageFile(image, ""), LINK_E_PARAMETER);
    EXPECT_EQ(Listing(root), std::set<std::string>{"folder.png"});
}

TEST(ImageSave, ReadOnlyFileIsNotReplaced) {
    if (geteuid() == 0) {
        GTEST_SKIP() << "root may write any file";
    }
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/locked.png";
    WriteFile(path, "locked");
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    EXPECT_EQ(SaveImageFile(NoiseImage(2, 2, 8), path), LINK_E_FILE);
    const Bytes kept = ReadFile(path);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "locked");
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
    EXPECT_EQ(ReadFile(path), Bytes({1, 2, 3}));
}
