#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/Paths.h"
#include "platform/ResultCodes.h"
#include "platform/StatusSink.h"
#include "platform/Strings.h"

TEST(ResultCodes, BrokenRangeIsExactly0x11To0x15) {
    const struct {
        RzResult code;
        bool broken;
    } cases[] = {
        {LINK_E_NOT_OPEN, false}, {LINK_E_BROKEN, true}, {RzCode(0xFFFF0012u), true},
        {LINK_E_LOGIN, true},     {LINK_E_SEND, true},   {LINK_E_TIMEOUT, true},
        {LINK_E_FORMAT, false},   {RZ_OK, false},        {REPLY_ERROR, false},
        {LINK_E_BUSY, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsLinkBroken(c.code), c.broken) << ResultCodeName(c.code);
    }
    EXPECT_STREQ(ResultCodeName(LINK_E_TIMEOUT), "LINK_E_TIMEOUT");
    EXPECT_STREQ(ResultCodeName(LINK_E_BUSY), "LINK_E_BUSY");
    EXPECT_STREQ(ResultCodeName(RzCode(0xFFFF0002u)), "UNKNOWN");
}

TEST(Strings, FillsEveryInsert) {
    // Every insert of a text is filled; the texts themselves are the table's.
    const std::string filled = RzFormatString(RzStr::kRegisterRowLimit, -50);
    EXPECT_NE(filled.find("-50"), std::string::npos) << filled;
    EXPECT_EQ(filled.find('%'), std::string::npos) << filled;
    EXPECT_EQ(RzFormatString(RzStr::kPattern, 30), "Pattern 30");
}

TEST(Strings, CopyTextCopiesAtMostTheFieldAndAlwaysTerminates) {
    const struct {
        const char* source;
        size_t size;
        const char* expected;
    } cases[] = {
        {"abc", 17, "abc"}, {"0123456789abcdefXYZ", 17, "0123456789abcdef"}, {"abc", 1, ""}};
    for (const auto& c : cases) {
        char destination[32];
        std::memset(destination, '#', sizeof(destination));
        CopyText(destination, c.size, c.source);
        EXPECT_STREQ(destination, c.expected);
        EXPECT_EQ(destination[c.size], '#') << "wrote past the field";
    }
}

TEST(StatusSink, ASinkMayReportAgain) {
    std::vector<std::string> shown;
    ScopedStatusSink sink([&](const std::string& text) {
        shown.push_back(text);
        if (shown.size() == 1) {
            ShowStatusMessage("again");
        }
    });
    ShowStatusMessage("first");
    EXPECT_EQ(shown, (std::vector<std::string>{"first", "again"}));
}

TEST(StatusSink, StripsOneTrailingLineEnd) {
    std::vector<std::string> shown;
    ScopedStatusSink sink([&](const std::string& text) { shown.push_back(text); });
    ShowStatusMessage("E1 bad\r\n\r\n");
    ShowStatusMessage("plain");
    ShowStatusString(RzStr::kSocketOpenFailed);
    EXPECT_EQ(shown, (std::vector<std::string>{"E1 bad\r\n", "plain", "The socket Open error!"}));
}

TEST(Paths, InstalledProgramsKeepTheirDataInTheUsersDataLocation) {
    const struct {
        bool installed;
        const char* xdg;
        const char* home;
        const char* expected;
    } cases[] = {
        {false, "/x", "/home/op", "/opt/rz/bin"},
        {true, "/x", "/home/op", "/x/rz-operator"},
        {true, nullptr, "/home/op", "/home/op/.local/share/rz-operator"},
        {true, "relative", "/home/op", "/home/op/.local/share/rz-operator"},
        {true, "", "/home/op", "/home/op/.local/share/rz-operator"},
        {true, nullptr, nullptr, "/opt/rz/bin"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DefaultDataDirectory("/opt/rz/bin", c.installed, c.xdg, c.home), c.expected)
            << c.installed << " " << (c.xdg ? c.xdg : "(null)");
    }
}
