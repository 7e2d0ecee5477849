#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "common/FileHelpers.h"
#include "platform/AtomicFile.h"
#include "platform/Configuration.h"
#include "platform/Paths.h"

namespace {

// What the file says (read as it stands, for the Config dialog) and the cycle a connection runs
// with, which is noted in the status bar when the file's value could not be used as written.
TEST(CommCycle, ReadFromIniText) {
    struct Case {
        const char* label;
        std::string text;
        int cycle;
        int used = cycle;
        bool noted = false;
    };
    const Case cases[] = {
        {"empty file", "", 5000},
        {"plain", "[Config]\nCommCycle=2500\n", 2500},
        {"CR LF line ends", "[Config]\r\nCommCycle=1500\r\n", 1500},
        {"no final line end", "[Config]\r\nCommCycle=1500", 1500},
        {"below the dialog's range is used", "[Config]\nCommCycle=500\n", 500},
        {"the least cycle", "[Config]\nCommCycle=1\n", 1},
        {"the greatest cycle", "[Config]\nCommCycle=60000\n", 60000},
        {"above the greatest", "[Config]\nCommCycle=60001\n", 60001, 60000, true},
        {"far above", "[Config]\nCommCycle=90000\n", 90000, 60000, true},
        {"zero", "[Config]\nCommCycle=0\n", 0, 5000, true},
        {"negative", "[Config]\nCommCycle=-20\n", -20, 5000, true},
        {"section and key in another case", "[CONFIG]\ncommcycle=1200\n", 1200},
        {"blanks around names and value", "  [ Config ]  \n  CommCycle  =  3000  \n", 3000},
        {"trailing text after the number", "[Config]\nCommCycle=4000ms\n", 4000},
        {"unreadable value", "[Config]\nCommCycle=fast\n", 0, 5000, true},
        {"empty value", "[Config]\nCommCycle=\n", 5000},
        {"quoted value", "[Config]\nCommCycle=\"7000\"\n", 7000},
        {"key missing", "[Config]\nOther=1\n", 5000},
        {"key in another section", "[Setting]\nCommCycle=1000\n[Config]\n", 5000},
        {"first of two keys", "[Config]\nCommCycle=1111\nCommCycle=2222\n", 1111},
        {"commented out", "[Config]\n;CommCycle=1111\n", 5000},
        {"key before any section", "CommCycle=1111\n[Config]\n", 5000},
        {"byte order mark", "\xEF\xBB\xBF[Config]\r\nCommCycle=8000\r\n", 8000},
        {"after other sections", "[A]\nx=1\n\n[Config]\nX=2\nCommCycle=6000\n[B]\ny=3\n", 6000},
        {"beyond the int range", "[Config]\nCommCycle=99999999999\n", INT_MAX, 60000, true},
        {"below the int range", "[Config]\nCommCycle=-99999999999\n", INT_MIN, 5000, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CommCycleFromIni(c.text), c.cycle) << c.label;
        const CCommCycleSetting setting = CommCycleSettingFromIni(c.text);
        EXPECT_EQ(setting.cycle, c.used) << c.label;
        EXPECT_EQ(setting.note != nullptr, c.noted) << c.label;
    }
}

TEST(CommCycle, WriteKeepsTheRestOfTheText) {
    struct Case {
        const char* label;
        std::string before;
        int value;
        std::string after;
    };
    const Case cases[] = {
        {"new file", "", 1234, "[Config]\r\nCommCycle=1234\r\n"},
        {"replace, LF", "[Config]\nCommCycle=5000\n", 60000, "[Config]\nCommCycle=60000\n"},
        {"replace, CR LF, other keys kept",
         "; site\r\n[Config]\r\nA=1\r\nCommCycle=5000\r\nB=2\r\n", 1000,
         "; site\r\n[Config]\r\nA=1\r\nCommCycle=1000\r\nB=2\r\n"},
        {"key spelling kept", "[config]\r\n  commcycle = 9 \r\n", 2000,
         "[config]\r\n  commcycle=2000\r\n"},
        {"add key at the end of its section", "[Config]\nA=1\n\n[Other]\nB=2\n", 3000,
         "[Config]\nA=1\nCommCycle=3000\n\n[Other]\nB=2\n"},
        {"add section after others", "[Other]\r\nB=2\r\n", 4000,
         "[Other]\r\nB=2\r\n[Config]\r\nCommCycle=4000\r\n"},
        {"text without final line end", "[Other]\nB=2", 4000,
         "[Other]\nB=2\n[Config]\nCommCycle=4000\n"},
        {"section as last line without line end", "[Config]", 4000,
         "[Config]\r\nCommCycle=4000\r\n"},
        {"negative value written as %d", "", -5, "[Config]\r\nCommCycle=-5\r\n"},
        {"byte order mark kept", "\xEF\xBB\xBF[Config]\r\nCommCycle=5000\r\n", 7000,
         "\xEF\xBB\xBF[Config]\r\nCommCycle=7000\r\n"},
        {"only the first matching section changes", "[Config]\nA=1\n[Config]\nCommCycle=1\n", 8000,
         "[Config]\nA=1\nCommCycle=8000\n[Config]\nCommCycle=1\n"},
    };
    for (const auto& c : cases) {
        const std::string after =
            IniWithValue(c.before, "Config", "CommCycle", std::to_string(c.value));
        EXPECT_EQ(after, c.after) << c.label;
        EXPECT_EQ(CommCycleFromIni(after), c.value) << c.label;
    }
}

// Without a path the file is the data directory's; what is read and how a value is merged
// into the text are checked above.
TEST(CommCycle, FileInTheDataDirectory) {
    QTemporaryDir dir;
    SetDataDirectory(dir.path().toStdString());
    const std::string path = DataFilePath("SimpleCtrl.ini");
    const int missing = ReadCommCycle();
    WriteBytes(path, "[Config]\r\nCommCycle=500\r\n");
    const int read = ReadCommCycle();
    const int used = ReadCommCycleSetting().cycle;
    const bool wrote = WriteCommCycle(45000);
    SetDataDirectory("");
    EXPECT_EQ(path, dir.path().toStdString() + "/SimpleCtrl.ini");
    EXPECT_EQ(missing, 5000);
    EXPECT_EQ(read, 500);
    EXPECT_EQ(used, 500);
    EXPECT_TRUE(wrote);
    EXPECT_EQ(ReadBytes(path), "[Config]\r\nCommCycle=45000\r\n");
}

// Every file the console writes is replaced whole or not at all: a replaced file keeps its
// permission bits, a symbolic link is written through, no temporary file stays behind, and
// whatever fails leaves the old file as it was.
TEST(AtomicFile, ReplacesAFileWholeOrNotAtAll) {
    const std::string data(100000, 'n');
    const std::string old = "old bytes";
    using Make = std::function<void(const std::string& root, const std::string& path)>;
    const Make none = [](const std::string&, const std::string&) {};
    const Make existing = [&](const std::string&, const std::string& p) { WriteBytes(p, old); };
    struct Case {
        const char* name;
        const char* file;
        Make make;
        RzResult result;
        rlim_t sizeLimit = 0;    // 0: none
        bool needsUser = false;  // permissions do not bind the superuser
    };
    const Case cases[] = {
        {"new file", "f", none, RZ_OK},
        {"overwrite keeps permissions", "f",
         [&](const std::string&, const std::string& p) {
             WriteBytes(p, old);
             ASSERT_EQ(::chmod(p.c_str(), 0640), 0);
         },
         RZ_OK},
        {"through a symbolic link", "f",
         [&](const std::string& root, const std::string& p) {
             WriteBytes(root + "/target", old);
             ASSERT_EQ(::symlink((root + "/target").c_str(), p.c_str()), 0);
         },
         RZ_OK},
        {"disk full", "f", existing, LINK_E_FILE, 64 * 1024},
        {"missing directory", "absent/f", none, LINK_E_FILE},
        {"a directory", "f",
         [](const std::string&, const std::string& p) { ASSERT_EQ(::mkdir(p.c_str(), 0755), 0); },
         LINK_E_FILE},
        {"read-only file", "f",
         [&](const std::string&, const std::string& p) {
             WriteBytes(p, old);
             ASSERT_EQ(::chmod(p.c_str(), 0444), 0);
         },
         LINK_E_FILE, 0, true},
        {"unwritable directory", "ro/f",
         [&](const std::string& root, const std::string& p) {
             ASSERT_EQ(::mkdir((root + "/ro").c_str(), 0755), 0);
             WriteBytes(p, old);
             ASSERT_EQ(::chmod((root + "/ro").c_str(), 0555), 0);
         },
         LINK_E_FILE, 0, true},
    };
    for (const auto& c : cases) {
        if (c.needsUser && ::geteuid() == 0) {
            continue;
        }
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        const std::string root = dir.path().toStdString();
        const std::string path = root + "/" + c.file;
        c.make(root, path);
        struct stat before {};
        const bool existed = ::stat(path.c_str(), &before) == 0;
        const std::string oldBytes = ReadBytes(path);
        const std::vector<std::string> entries = DirectoryEntries(root);
        RzResult result;
        {
            std::unique_ptr<FileSizeLimit> limit;
            if (c.sizeLimit != 0) {
                limit = std::make_unique<FileSizeLimit>(c.sizeLimit);
            }
            result = WriteFileAtomically(path, data.data(), data.size());
        }
        ::chmod((root + "/ro").c_str(), 0755);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(ReadBytes(path), c.result == RZ_OK ? data : oldBytes);
        struct stat after {};
        const bool exists = ::stat(path.c_str(), &after) == 0;
        if (existed && exists) {
            EXPECT_EQ(after.st_mode, before.st_mode);
        }
        if (c.result != RZ_OK || existed) {
            EXPECT_EQ(DirectoryEntries(root), entries);
        } else {
            EXPECT_EQ(DirectoryEntries(root), std::vector<std::string>{c.file});
        }
        struct stat link {};
        EXPECT_EQ(::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode),
                  std::string(c.name) == "through a symbolic link");
    }
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/raw";
    EXPECT_EQ(WriteFileAtomically(path, nullptr, 3), LINK_E_PARAMETER);
    EXPECT_EQ(WriteFileAtomically("", "x", 1), LINK_E_PARAMETER);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path)));
    EXPECT_EQ(WriteFileAtomically(path, nullptr, 0), RZ_OK);
    EXPECT_EQ(ReadBytes(path), "");
}

TEST(ConfigDialog, AcceptsOneThousandToSixtyThousand) {
    struct Case {
        const char* field;
        std::optional<int> accepted;  // none: refused
    };
    // "4294968296" is beyond the int range: unreadable, not wrapped to 1000.
    const Case cases[] = {
        {"999", {}}, {"1000", 1000},     {"60000", 60000},   {"60001", {}}, {"", {}},
        {"abc", {}}, {"   2500", 2500},  {"+3000", 3000},    {"-1000", {}}, {"1500ms", 1500},
        {"-", {}},   {"4294968296", {}}, {"00001000", 1000},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ConfigDialogAccept(QString::fromLatin1(c.field)), c.accepted)
            << "'" << c.field << "'";
    }
}

class UserSettingsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString File() const { return dir.filePath(QStringLiteral("profile.ini")); }
    QTemporaryDir dir;
};

TEST_F(UserSettingsTest, LoginIsRememberedAcrossInstances) {
    {
        CUserSettings store(File());
        EXPECT_EQ(store.LastLogin(), "");
        EXPECT_EQ(store.UserNameFor("Line-3"), "");
        EXPECT_TRUE(store.RememberLogin("Line-3", "admin"));
    }
    CUserSettings store(File());
    EXPECT_EQ(store.LastLogin(), "Line-3");
    EXPECT_EQ(store.UserNameFor("Line-3"), "admin");
    EXPECT_EQ(store.UserNameFor("Line-4"), "");
    const std::string text = ReadBytes(File().toStdString());
    for (const char* line : {"[Setting]", "LastLoginRz=Line-3", "Line-3=admin"}) {
        EXPECT_NE(text.find(line), std::string::npos) << text;
    }
}

TEST_F(UserSettingsTest, SectionNameIsReadInAnyCase) {
    for (const char* section : {"setting", "SETTING", "sEtTiNg"}) {
        const std::string text =
            std::string("[") + section + "]\r\nLastLoginRz=Kiln\r\nKiln=user\r\nLine-3=admin\r\n";
        WriteBytes(File().toStdString(), text);
        {
            CUserSettings store(File());
            EXPECT_EQ(store.LastLogin(), "Kiln") << section;
            EXPECT_EQ(store.UserNameFor("Kiln"), "user") << section;
            // A new value written to "Setting" wins over the old spelling, which is folded in.
            EXPECT_TRUE(store.SetUserNameFor("Kiln", "admin")) << section;
            EXPECT_EQ(store.UserNameFor("Kiln"), "admin") << section;
        }
        CUserSettings store(File());
        EXPECT_EQ(store.UserNameFor("Kiln"), "admin") << section;
        EXPECT_EQ(store.UserNameFor("Line-3"), "admin") << section;
        EXPECT_EQ(store.LastLogin(), "Kiln") << section;
        const std::string written = ReadBytes(File().toStdString());
        EXPECT_EQ(written.find(std::string("[") + section + "]"), std::string::npos) << written;
        EXPECT_EQ(written.find("[Setting]"), written.rfind("[Setting]")) << written;
        EXPECT_NE(written.find("[Setting]"), std::string::npos) << written;
    }
}

TEST_F(UserSettingsTest, AwkwardInstrumentNamesRoundTrip) {
    const char* names[] = {"a/b",       "a\\b",   "two words",   "x=y",
                           " lead",     "trail ", "%2F",         "[sec]",
                           ";comment",  "#hash",  "LastLoginRz", "lastloginrz",
                           "Ofen \xE4", "a\"b",   "\t",          "Setting/x"};
    {
        CUserSettings store(File());
        EXPECT_TRUE(store.SetLastLogin("Main"));
        int i = 0;
        for (const char* name : names) {
            EXPECT_TRUE(store.SetUserNameFor(name, "user" + std::to_string(i++))) << name;
        }
    }
    CUserSettings store(File());
    int i = 0;
    for (const char* name : names) {
        EXPECT_EQ(store.UserNameFor(name), "user" + std::to_string(i++)) << "'" << name << "'";
    }
    // Names that look like the last-instrument key do not overwrite it.
    EXPECT_EQ(store.LastLogin(), "Main");
    EXPECT_EQ(store.UserNameFor("a"), "");
    EXPECT_EQ(store.UserNameFor("b"), "");
}

TEST_F(UserSettingsTest, EmptyInstrumentNameIsNotStored) {
    CUserSettings store(File());
    EXPECT_FALSE(store.SetUserNameFor("", "admin"));
    EXPECT_EQ(store.UserNameFor(""), "");
}

// With a data directory named, the console writes nothing outside it; without one the store is
// the user's own.
TEST(UserSettingsDefault, LivesInTheChosenDataDirectoryElseUnderTheUsersConfigDirectory) {
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    // Must precede the first use of the default store in this process.
    ::setenv("XDG_CONFIG_HOME", home.path().toLocal8Bit().constData(), 1);
    // The rows that name a data directory come first, while the config directory is empty.
    enum class Chosen { kOption, kEnvironment, kNone };
    for (const Chosen chosen : {Chosen::kOption, Chosen::kEnvironment, Chosen::kNone}) {
        QTemporaryDir data;
        if (chosen == Chosen::kOption) {
            SetDataDirectory(data.path().toStdString());
        } else if (chosen == Chosen::kEnvironment) {
            ::setenv("RZ_DATA_DIR", data.path().toLocal8Bit().constData(), 1);
        }
        {
            CUserSettings store;
            EXPECT_TRUE(store.RememberLogin("Line-3", "admin"));
            EXPECT_TRUE(store.SetWindowGeometry("\x01\xd9\xd0\xcb"));
            EXPECT_TRUE(store.SetDarkLook(true));
        }
        QString expected = home.filePath(QStringLiteral("VELTRANO Electric Corp./RZOperator.conf"));
        if (chosen != Chosen::kNone) {
            // Qt's own settings too, as a file dialog writes them.
            KeepQtSettingsInChosenDataDirectory();
            QSettings(QSettings::UserScope, QStringLiteral("QtProject")).setValue("k", 1);
            expected = data.filePath(QLatin1String(CUserSettings::kDataDirFileName));
            EXPECT_TRUE(QFile::exists(data.filePath(QStringLiteral("QtProject.conf"))));
            EXPECT_EQ(QDir(home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                      QStringList());
            for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat}) {
                QSettings::setPath(format, QSettings::UserScope, home.path());
            }
        }
        SetDataDirectory({});
        ::unsetenv("RZ_DATA_DIR");
        const CUserSettings store(expected);
        EXPECT_EQ(store.LastLogin(), "Line-3") << expected.toStdString();
        EXPECT_EQ(store.UserNameFor("Line-3"), "admin");
        EXPECT_EQ(store.WindowGeometry(), QByteArray("\x01\xd9\xd0\xcb"));
        EXPECT_TRUE(store.DarkLook());
    }
}

}  // namespace
