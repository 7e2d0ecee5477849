#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <QTemporaryDir>
#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "common/FileHelpers.h"
#include "platform/Configuration.h"
#include "platform/Paths.h"
#include "platform/StatusSink.h"
#include "registry/InstrumentRegistry.h"
#include "registry/InstrumentSettings.h"

namespace {

const std::string kHeaderPrefix = "QORSimpleControlRZRegFile\r\n";

std::string FixturePath(const char* name) {
    return std::string(RZ_FIXTURE_DIR) + "/" + name;
}

// The records as "name/ip" texts, "|" between records.
std::string Rows(const CInstrumentRegistry& registry) {
    std::string rows;
    for (int i = 0; i < registry.GetCount(); ++i) {
        const CRegistryRecord r = registry.GetRecord(i);
        rows += (i == 0 ? "" : "|") + std::string(r.name) + "/" + r.ip;
    }
    return rows;
}

class RegistryTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }

    std::string PathOf(const char* name) const { return dir.filePath(name).toStdString(); }

    QTemporaryDir dir;
};

TEST_F(RegistryTest, SaveWritesTheFixedWidthLayoutByteForByte) {
    struct Case {
        std::vector<std::pair<const char*, const char*>> added;  // name and IP text
        std::string lines;                                       // the records as written
    };
    const Case cases[] = {
        {{}, ""},
        {{{"Line-3", "192.168.  1. 10"}}, "Line-3          ,192.168.  1. 10 \r\n"},
        // Short texts are padded, full-width ones kept, longer ones cut to 15, trailing
        // blanks written like padding.
        {{{"A", "1.2.3.4"}, {"ABCDEFGHIJKLMNO", "255.255.255.255"}},
         "A               ,1.2.3.4         \r\nABCDEFGHIJKLMNO ,255.255.255.255 \r\n"},
        {{{"Boiler-house-north-2", "192.168.100.100.7"}}, "Boiler-house-no ,192.168.100.100 \r\n"},
        {{{"Kiln  ", "   .   .   .   "}}, "Kiln            ,   .   .   .    \r\n"},
    };
    for (const auto& c : cases) {
        const std::string path = PathOf("RZRegist.rzr");
        ::unlink(path.c_str());
        CInstrumentRegistry registry;
        ASSERT_EQ(registry.Load(path.c_str()).code(), RZ_OK) << c.lines;  // no file: an empty list
        registry.Clear();
        for (const auto& [name, ip] : c.added) {
            ASSERT_EQ(registry.Add(name, ip), RZ_OK) << c.lines;
        }
        ASSERT_EQ(registry.Save().code(), RZ_OK) << c.lines;
        EXPECT_TRUE(registry.IsInSync()) << c.lines;
        const std::string count = std::to_string(c.added.size());
        EXPECT_EQ(ReadBytes(path),
                  kHeaderPrefix + std::string(10 - count.size(), ' ') + count + "\r\n" + c.lines);
    }
}

TEST_F(RegistryTest, LoadsAFileWrittenOnWindowsAndWritesItBackByteForByte) {
    const std::string path = PathOf("RZRegist.rzr");
    const std::string original = ReadBytes(FixturePath("windows_crlf.rzr"));
    WriteBytes(path, original);
    // An old time stamp, so that any rewrite shows even on a coarse clock.
    const utimbuf old{1000000000, 1000000000};
    ASSERT_EQ(::utime(path.c_str(), &old), 0);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    CInstrumentRegistry registry;
    ASSERT_EQ(registry.Load(path.c_str()).code(), RZ_OK);
    SetDataDirectory(dir.path().toStdString());
    const RzResult again = registry.Load(nullptr).code();  // the data directory's file
    SetDataDirectory("");
    ASSERT_EQ(again, RZ_OK);
    EXPECT_EQ(registry.Path(), path);
    EXPECT_TRUE(registry.IsInSync());
    ASSERT_EQ(registry.Save().code(), RZ_OK);
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_mtime, before.st_mtime);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(Rows(registry),
              "Line-3/192.168.  1. 10|Boiler east/ 10.  0.  0.  7|"
              "Press-15-West-A/172. 16.254.  1");
    EXPECT_EQ(registry.FindAddress("Line-3"), "192.168.1.10");
    EXPECT_EQ(registry.FindAddress("Boiler east"), "10.0.0.7");
    EXPECT_EQ(registry.FindAddress("Press-15-West-A"), "172.16.254.1");
    EXPECT_EQ(registry.FindAddress("Boiler"), std::nullopt);
    EXPECT_EQ(registry.FindAddress("line-3"), std::nullopt);
    std::vector<CRegistryRecord> records;
    for (int i = 0; i < registry.GetCount(); ++i) {
        records.push_back(registry.GetRecord(i));
    }
    registry.Clear();
    for (const auto& record : records) {
        ASSERT_EQ(registry.Add(record.name, record.ip), RZ_OK);
    }
    ASSERT_EQ(registry.Save().code(), RZ_OK);
    EXPECT_EQ(ReadBytes(path), original);
}

TEST_F(RegistryTest, AddRefusesOnlyAnExactlyEqualName) {
    struct Step {
        const char* name;
        const char* ip;
        RzResult result;
    };
    const Step steps[] = {
        {"Line-3", "10.0.0.1", RZ_OK},
        {"Line-3 ", "10.0.0.2", RZ_OK},  // differs by a trailing blank
        {"Line-3", "10.0.0.3", LINK_E_EXISTS},
        {"line-3", "10.0.0.4", RZ_OK},  // case matters
        {"ABCDEFGHIJKLMNOPQ", "10.0.0.5", RZ_OK},
        {"ABCDEFGHIJKLMNOxyz", "10.0.0.6", LINK_E_EXISTS},  // same once cut to 15
        {"", "10.0.0.7", RZ_OK},
        {"", "10.0.0.8", LINK_E_EXISTS},
    };
    CInstrumentRegistry registry;
    for (const auto& s : steps) {
        EXPECT_EQ(registry.Add(s.name, s.ip), s.result) << "'" << s.name << "'";
    }
    EXPECT_EQ(Rows(registry),
              "Line-3/10.0.0.1|Line-3/10.0.0.2|line-3/10.0.0.4|ABCDEFGHIJKLMNO/10.0.0.5|/10.0.0.7");
    // Both "Line-3" records read back without blanks; the address lookup takes the first.
    EXPECT_EQ(registry.FindAddress("Line-3"), "10.0.0.1");
    EXPECT_EQ(registry.FindAddress("Line-3 "), std::nullopt);
    EXPECT_EQ(registry.FindIndex("line-3"), 2);
    EXPECT_FALSE(registry.IsInSync());
}

TEST_F(RegistryTest, AddCutsAFullRecordAndGetRecordAndRemoveCheckTheIndex) {
    CRegistryRecord record;
    std::memset(&record, 'x', sizeof record);
    std::memcpy(record.name, "SIXTEEN-CHARS-AB", 17);
    std::memcpy(record.ip, "192.168.100.200", 16);
    CInstrumentRegistry registry;
    ASSERT_EQ(registry.Add(record), RZ_OK);
    EXPECT_STREQ(registry.GetRecord(0).name, "SIXTEEN-CHARS-A");
    EXPECT_STREQ(registry.GetRecord(0).ip, "192.168.100.200");
    // Fields without any terminator are read only up to their own end.
    std::memset(&record, 'x', sizeof record);
    ASSERT_EQ(registry.Add(record), RZ_OK);
    EXPECT_EQ(std::string(registry.GetRecord(1).name), std::string(15, 'x'));
    EXPECT_EQ(std::string(registry.GetRecord(1).ip), std::string(15, 'x'));
    registry.Clear();
    ASSERT_EQ(registry.Add("a", "1"), RZ_OK);
    ASSERT_EQ(registry.Add("b", "2"), RZ_OK);
    ASSERT_EQ(registry.Add("c", "3"), RZ_OK);
    // A record removed from the end leaves its bytes behind the last one: index 3 must not
    // reach them.
    ASSERT_EQ(registry.Add("d", "4"), RZ_OK);
    ASSERT_EQ(registry.Remove(3), RZ_OK);
    for (int bad : {-1, 3, 1000}) {
        EXPECT_STREQ(registry.GetRecord(bad).name, "") << bad;
        EXPECT_STREQ(registry.GetRecord(bad).ip, "") << bad;
        EXPECT_EQ(registry.Remove(bad), LINK_E_PARAMETER) << bad;
    }
    EXPECT_EQ(registry.GetCount(), 3);
    ASSERT_EQ(registry.Remove(1), RZ_OK);
    EXPECT_EQ(Rows(registry), "a/1|c/3");
    EXPECT_EQ(registry.FindIndex("b"), -1);
}

TEST_F(RegistryTest, LoadAfterClearAndAddWritesTheChangedListFirst) {
    const std::string path = PathOf("RZRegist.rzr");
    const std::string other = PathOf("other.rzr");
    WriteBytes(path, ReadBytes(FixturePath("windows_crlf.rzr")));
    WriteBytes(other, kHeaderPrefix + "         1\r\nOther           ,9.9.9.9         \r\n");

    CInstrumentRegistry registry;
    ASSERT_EQ(registry.Load(path.c_str()).code(), RZ_OK);
    registry.Clear();
    ASSERT_EQ(registry.Add("Kiln", "10.1.1.1"), RZ_OK);
    ASSERT_EQ(registry.Load(path.c_str()).code(), RZ_OK);
    EXPECT_TRUE(registry.IsInSync());
    EXPECT_EQ(Rows(registry), "Kiln/10.1.1.1");
    EXPECT_EQ(ReadBytes(path),
              kHeaderPrefix + "         1\r\n" + "Kiln            ,10.1.1.1        \r\n");

    // A pending change goes to the file it came from, not to the one loaded next.
    ASSERT_EQ(registry.Add("Dryer", "10.1.1.2"), RZ_OK);
    ASSERT_EQ(registry.Load(other.c_str()).code(), RZ_OK);
    EXPECT_EQ(Rows(registry), "Other/9.9.9.9");
    CInstrumentRegistry check;
    ASSERT_EQ(check.Load(path.c_str()).code(), RZ_OK);
    EXPECT_EQ(Rows(check), "Kiln/10.1.1.1|Dryer/10.1.1.2");
}

TEST_F(RegistryTest, FilesAreReadWholeOrRefusedAndLeftAlone) {
    const std::string sig = CInstrumentRegistry::kSignature;
    const std::string rec1 = "Line-3          ,192.168.  1. 10 ";
    const std::string rec2 = "Kiln            ,10.1.1.1        ";
    const char* const both = "Line-3/192.168.  1. 10|Kiln/10.1.1.1";
    const std::string two = kHeaderPrefix + "         2\r\n" + rec1 + "\r\n";
    struct Case {
        const char* label;
        std::string bytes;
        RzResult result;
        const char* rows = "";  // as Rows lists them
    };
    const Case cases[] = {
        {"LF line ends", sig + "\n         2\n" + rec1 + "\n" + rec2 + "\n", RZ_OK, both},
        {"last record without line end", two + rec2, RZ_OK, both},
        {"no records", kHeaderPrefix + "         0\r\n", RZ_OK},
        {"empty file", "", LINK_E_FILE_FORMAT},
        {"wrong signature", "QORSimpleControlRZRegFilX\r\n         1\r\n" + rec1 + "\r\n",
         LINK_E_FILE_FORMAT},
        {"count cut short", kHeaderPrefix + "     ", LINK_E_FILE_FORMAT},
        {"count larger than the records", kHeaderPrefix + "         5\r\n" + rec1 + "\r\n",
         LINK_E_FILE_FORMAT},
        {"half a record", two + rec2.substr(0, 20), LINK_E_FILE_FORMAT},
        {"count smaller than the records", kHeaderPrefix + "         1\r\n" + rec1 + "\r\n" + rec2,
         LINK_E_FILE_FORMAT},
        {"negative count", kHeaderPrefix + "        -2\r\n" + rec1 + "\r\n" + rec2 + "\r\n",
         LINK_E_FILE_FORMAT},
        {"huge count", kHeaderPrefix + "9999999999\r\n" + rec1 + "\r\n", LINK_E_FILE_FORMAT},
        {"record out of the fixed widths", kHeaderPrefix + "         1\r\n" + std::string(33, 'N'),
         LINK_E_FILE_FORMAT},
    };
    const std::string path = PathOf("RZRegist.rzr");
    for (const auto& c : cases) {
        WriteBytes(path, c.bytes);
        CInstrumentRegistry registry;
        // Start from a filled list to see that a failed load does not keep stale records.
        ASSERT_EQ(registry.Load(FixturePath("windows_crlf.rzr").c_str()).code(), RZ_OK);
        EXPECT_EQ(registry.Load(path.c_str()).code(), c.result) << c.label;
        EXPECT_EQ(Rows(registry), c.rows) << c.label;
        if (c.result != RZ_OK) {
            // A file that was not read whole is never written over.
            registry.Clear();
            ASSERT_EQ(registry.Add("Dryer", "10.1.1.2"), RZ_OK);
            EXPECT_EQ(registry.Save().code(), LINK_E_FILE) << c.label;
            EXPECT_EQ(ReadBytes(path), c.bytes) << c.label;
        }
    }
}

// What is at `path`, for telling whether anything changed it.
std::string Describe(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        return "nothing";
    }
    std::string text = std::to_string(info.st_mode) + ":";
    if (S_ISDIR(info.st_mode)) {
        for (const auto& name : DirectoryEntries(path)) {
            text += name + "/";
        }
    } else if (S_ISREG(info.st_mode)) {
        text += ReadBytes(path);
    }
    return text;
}

TEST_F(RegistryTest, UnreadableFilesAreReportedAndNeverWrittenOver) {
    const std::string original = ReadBytes(FixturePath("windows_crlf.rzr"));
    struct Case {
        const char* label;
        std::string path;
        std::function<void(const std::string&)> make;
        RzResult result;
    };
    const auto none = [](const std::string&) {};
    const Case cases[] = {
        {"missing file", PathOf("absent.rzr"), none, RZ_OK},
        {"missing directory", PathOf("absent/RZRegist.rzr"), none, LINK_E_FILE},
        {"empty path", "", none, LINK_E_FILE},
        {"directory", PathOf("dir.rzr"),
         [](const std::string& p) {
             ASSERT_EQ(::mkdir(p.c_str(), 0755), 0);
             WriteBytes(p + "/keep", "x");
         },
         LINK_E_FILE},
        {"FIFO", PathOf("fifo.rzr"),
         [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0644), 0); }, LINK_E_FILE},
        {"no read permission", PathOf("secret.rzr"),
         [&](const std::string& p) {
             WriteBytes(p, original);
             ASSERT_EQ(::chmod(p.c_str(), 0200), 0);
         },
         LINK_E_FILE},
    };
    ::alarm(20);  // a read that waits on the FIFO ends the test here
    for (const auto& c : cases) {
        if (::geteuid() == 0 && std::string(c.label) == "no read permission") {
            continue;  // permissions do not bind the superuser
        }
        c.make(c.path);
        const std::string before = Describe(c.path);
        const std::vector<std::string> entries = DirectoryEntries(dir.path().toStdString());
        std::vector<std::string> shown;
        ScopedStatusSink sink([&](const std::string& text) { shown.push_back(text); });
        CInstrumentRegistry registry;
        const RzExpected<void> loaded = registry.Load(c.path.c_str());
        ASSERT_EQ(loaded.code(), c.result) << c.label;
        EXPECT_EQ(registry.GetCount(), 0) << c.label;
        registry.Clear();
        ASSERT_EQ(registry.Add("Kiln", "10.1.1.1"), RZ_OK);
        if (c.result == RZ_OK) {
            // A missing file reads as an empty list and is created by the first save.
            EXPECT_EQ(registry.Save().code(), RZ_OK) << c.label;
            EXPECT_EQ(ReadBytes(c.path),
                      kHeaderPrefix + "         1\r\n" + "Kiln            ,10.1.1.1        \r\n");
            continue;
        }
        // The message names the file; it travels in the result, nothing shows it on the way.
        const std::vector<std::string>& messages = loaded.error().messages;
        ASSERT_FALSE(messages.empty()) << c.label;
        EXPECT_NE(messages[0].find(c.path), std::string::npos) << c.label << ": " << messages[0];
        EXPECT_TRUE(shown.empty()) << c.label;
        EXPECT_EQ(registry.Save().code(), LINK_E_FILE) << c.label;
        EXPECT_EQ(Describe(c.path), before) << c.label;
        EXPECT_EQ(DirectoryEntries(dir.path().toStdString()), entries) << c.label;
    }
    ::alarm(0);
}

TEST_F(RegistryTest, ParallelUpdatesKeepEveryRecord) {
    const std::string path = PathOf("RZRegist.rzr");
    constexpr int kThreads = 8;
    constexpr int kEach = 5;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            CInstrumentRegistry registry;  // each holds the list it read first
            failures += registry.Load(path.c_str()).code() != RZ_OK;
            for (int k = 0; k < kEach; ++k) {
                const std::string name = std::to_string(t) + "-" + std::to_string(k);
                failures +=
                    !registry
                         .Update([&](CInstrumentRegistry& r) { return r.Add(name, "10.0.0.1"); })
                         .ok();
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, 0);
    CInstrumentRegistry check;
    ASSERT_EQ(check.Load(path.c_str()).code(), RZ_OK);
    EXPECT_EQ(check.GetCount(), kThreads * kEach);
    EXPECT_EQ(DirectoryEntries(dir.path().toStdString()), std::vector<std::string>{"RZRegist.rzr"});
    // A change that fails writes nothing and leaves the list as the file holds it.
    const std::string before = ReadBytes(path);
    EXPECT_EQ(check
                  .Update([](CInstrumentRegistry& r) {
                      r.Clear();
                      return LINK_E_EXISTS;
                  })
                  .code(),
              LINK_E_EXISTS);
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_EQ(check.GetCount(), kThreads * kEach);
    EXPECT_TRUE(check.IsInSync());
}

TEST_F(RegistryTest, FailedWriteLeavesTheOldFileWhole) {
    const std::string path = PathOf("RZRegist.rzr");
    const std::string original = ReadBytes(FixturePath("windows_crlf.rzr"));
    WriteBytes(path, original);
    CInstrumentRegistry registry;
    ASSERT_EQ(registry.Load(path.c_str()).code(), RZ_OK);
    registry.Clear();
    for (const char* name : {"a", "b", "c", "d"}) {
        ASSERT_EQ(registry.Add(name, "10.0.0.1"), RZ_OK);
    }
    {
        FileSizeLimit limit(50);
        ASSERT_TRUE(limit.ok());
        EXPECT_EQ(registry.Save().code(), LINK_E_FILE);
        // Loading would drop the unsaved list: it refuses and keeps it.
        EXPECT_EQ(registry.Load(path.c_str()).code(), LINK_E_FILE);
    }
    EXPECT_EQ(ReadBytes(path), original);
    EXPECT_EQ(DirectoryEntries(dir.path().toStdString()), std::vector<std::string>{"RZRegist.rzr"});
    EXPECT_FALSE(registry.IsInSync());
    EXPECT_EQ(registry.GetCount(), 4);
    // Once writing works again the same list is saved.
    ASSERT_EQ(registry.Save().code(), RZ_OK);
    CInstrumentRegistry check;
    ASSERT_EQ(check.Load(path.c_str()).code(), RZ_OK);
    EXPECT_EQ(check.GetCount(), 4);
}

// Instruments.ini beside the registry: each registered name's settings round-trip under awkward
// names; a user name the file lacks comes from the user's old store, and writes leave that
// store and the registry file as they were.
TEST_F(RegistryTest, InstrumentSettingsLiveBesideTheRegistryUnderTheirNames) {
    struct Row {
        const char* name;
        bool set;  // false: nothing written for it
        CInstrumentPrefs prefs;
    };
    const Row rows[] = {
        {"Line-3", true, {"admin", false, true}},
        {"a/b", true, {"u1", true, false}},
        {"a\\b", true, {"u2", false, false}},
        {"%2F", true, {"u3", true, true}},
        {"General", true, {"\xE4 x=y", true, false}},
        {" lead [s];#", true, {"", false, true}},
        {"a/", true, {"u4", true, false}},
        {"a", true, {"u5", false, true}},
        {"Kiln", false, {"old", true, false}},
        {"Mixer", false, {"", true, false}},
    };
    const std::string registryPath = PathOf("RZRegist.rzr");
    WriteBytes(registryPath, ReadBytes(FixturePath("windows_crlf.rzr")));
    const QString userFile = dir.filePath(QStringLiteral("user.ini"));
    CUserSettings legacy(userFile);
    ASSERT_TRUE(legacy.SetUserNameFor("Kiln", "old") && legacy.SetUserNameFor("Line-3", "old"));
    const std::string legacyBytes = ReadBytes(userFile.toStdString());
    {
        CInstrumentSettings settings(registryPath, &legacy);
        EXPECT_EQ(settings.FileName(), dir.filePath(QLatin1String(CInstrumentSettings::kFileName)));
        for (const Row& row : rows) {
            EXPECT_TRUE(!row.set || settings.Set(row.name, row.prefs)) << row.name;
        }
        EXPECT_FALSE(settings.Set("", {}));
    }
    const CInstrumentSettings settings(registryPath, &legacy);
    for (const Row& row : rows) {
        const CInstrumentPrefs read = settings.For(row.name);
        EXPECT_EQ(
            std::tie(read.userName, read.showInOverview, read.rememberPassword),
            std::tie(row.prefs.userName, row.prefs.showInOverview, row.prefs.rememberPassword))
            << "'" << row.name << "'";
    }
    EXPECT_EQ(ReadBytes(userFile.toStdString()), legacyBytes);
    EXPECT_EQ(ReadBytes(registryPath), ReadBytes(FixturePath("windows_crlf.rzr")));
}

}  // namespace
