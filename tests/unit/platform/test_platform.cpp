#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ResultCodes.h"
#include "platform/StatusSink.h"
#include "platform/Strings.h"

TEST(ResultCodes, BrokenRangeIsExactly0x11To0x15) {
    struct Case {
        RzResult code;
        bool broken;
    };
    const Case cases[] = {
        {LINK_E_NOT_OPEN, false}, {LINK_E_BROKEN, true}, {RzCode(0xFFFF0012u), true},
        {LINK_E_LOGIN, true},     {LINK_E_SEND, true},   {LINK_E_TIMEOUT, true},
        {LINK_E_FORMAT, false},   {RZ_OK, false},        {REPLY_ERROR, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsLinkBroken(c.code), c.broken) << ResultCodeName(c.code);
    }
    EXPECT_STREQ(ResultCodeName(LINK_E_TIMEOUT), "LINK_E_TIMEOUT");
    EXPECT_STREQ(ResultCodeName(RzCode(0xFFFF0002u)), "UNKNOWN");
}

TEST(Strings, TableTextsAndInserts) {
    EXPECT_STREQ(RzString(20016), "Communicate with RZ error!");
    EXPECT_STREQ(RzString(20015), "Socket  operation timeout!");
    EXPECT_EQ(RzString(20008), nullptr);
    EXPECT_STREQ(RzString(61279), "Pattern 1");
    EXPECT_STREQ(RzString(61308), "Pattern 30");
    EXPECT_EQ(RzString(61309), nullptr);
    EXPECT_EQ(RzFormatString(20023, 50), "The maximum register RZ number is limited in 50!");
    EXPECT_EQ(RzFormatString(20021, 3).rfind("The RZ name of item 3 is not inputed!", 0), 0u);
    EXPECT_EQ(RzFormatString(1, 3), "");
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

TEST(StatusSink, StripsOneTrailingLineEndAndSkipsUnknownIds) {
    std::vector<std::string> shown;
    ScopedStatusSink sink([&](const std::string& text) { shown.push_back(text); });
    ShowStatusMessage("E1 bad\r\n\r\n");
    ShowStatusMessage("plain");
    ShowStatusString(20012);
    ShowStatusString(20008);
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0], "E1 bad\r\n");
    EXPECT_EQ(shown[1], "plain");
    EXPECT_EQ(shown[2], "The socket Open error!");
}
