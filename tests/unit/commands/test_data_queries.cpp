#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "QueryRunner.h"
#include "commands/DataQueries.h"
#include "common/AnswerBytes.h"
#include "common/FakeLink.h"
#include "common/ModelBuilder.h"

namespace {

std::vector<std::string> Shown(const char* text) {
    return text != nullptr ? std::vector<std::string>{text} : std::vector<std::string>{};
}

}  // namespace

// Entry 0 is the date and time, -1 the four last indexes (measurement, math, internal and
// external loop items); 100 * table + n is record n of the measurement (1), math (2), internal
// loop (3) or external loop (4) table: status, number and the three texts.
template <>
std::string Entry(const CCmdFD& c, int at) {
    if (at == 0) {
        return Row(c.date, c.time);
    }
    if (at < 0) {
        return Row(c.measCount, c.mathCount, c.loopCount, c.extCount);
    }
    const CDataRecord* tables[] = {c.measRecords, c.mathRecords, c.loopRecords, c.extRecords};
    const CDataRecord& r = tables[at / 100 - 1][at % 100 - 1];
    return Row(r.status, r.number, r.text1, r.text2, r.text3);
}

namespace {

TEST(DataQueries, LatestValues) {
    const auto model = MakeModel(3200);
    const auto fd = Runner<CCmdFD>(
        [](CCmdFD& c) {
            c.measCount = 2;
            CopyText(c.date, sizeof(c.date), "stale");
            CopyText(c.measRecords[2].number, sizeof(c.measRecords[2].number), "009");
        },
        model.get());
    const auto item = [](const char* number) { return ValueLine('N', number, "+1", "+0", "   "); };
    fd("every table",
       List({"DATE 24/05/01", "TIME 12:34:56.789",
             "N 001xxxxxxxxxxxx+12345-00002xALM",  // written out by hand
             ValueLine('D', "002", "-00500", "-00001", "   "),
             ValueLine('N', "A01", "+00007", "-00000002", "HI ", true),
             ValueLine('O', "101", "+99999", "+00000", "   "), ValueLine('N', "200", "a", "b", "c"),
             ValueLine('E', "201", "+00001", "+00000", "   "),
             ValueLine('N', "999", "+00002", "+00000", "   ")}),
       RZ_OK,
       {"0=24/05/01|12:34:56.789", "-1=1|0|1|1", "101=N|001|+12345|-00002|ALM",
        "102=D|002|-00500|-00001|   ", "201=N|A01|+00007|-00000002|HI ",
        "301=O|101|+99999|+00000|   ", "302=N|200|a.....|b.....|c..", "401=E|201|+00001|+00000|   ",
        "402=N|999|+00002|+00000|   "});
    fd("status S keeps only status and number",
       List({ValueLine('S', "005", "+12345", "-00002", "ALM")}), RZ_OK, {"101=S|005|||"});
    fd("numbers 31 to 100 and negative ones are skipped",
       List({item("050"), item("-01"), item("003")}), RZ_OK,
       {"-1=0|-1|-1|-1", "101=N|003|+1....|+0....|   "});
    fd("short lines", List({"N 0", "N 004", "N 006 short"}), RZ_OK,
       {"-1=1|-1|-1|-1", "101=N|004|||", "102=N|006|||"});
    fd("date and time words in any case, cut to their fields",
       List({"date 2024/05/01", "  Time   12:34:56.789abc  x"}), RZ_OK,
       {"0=2024/05/0|12:34:56.789A"});
    fd("more measurement items than records", ListOf(31, [&](int) { return item("001"); }), RZ_OK,
       {"-1=29|-1|-1|-1"});
    fd("more loop and external items than records",
       ListOf(70, [&](int i) { return item(i < 20 ? "150" : "230"); }), RZ_OK, {"-1=-1|-1|17|47"});
    fd("error answer, not shown", "E1\r\n", REPLY_UNEXPECTED,
       {"-1=-1|-1|-1|-1", "0=|", "103=||||"});
    fd("no end marker", "EA\r\n" + item("001") + "\r\n", LINK_E_FORMAT, {"-1=0|-1|-1|-1"});
}

// Without a model the items to ask for are unknown: nothing is asked.
TEST(DataQueries, ValuesRequestFollowsTheModel) {
    for (const auto& [modelClass, request] :
         {std::pair{3100, "FD0,1,212"}, {3200, "FD0,1,248"}, {0, ""}}) {
        const auto model = MakeModel(modelClass);
        FakeLink link;
        link.QueueAnswer(List({}));
        CCmdFD command;
        command.Bind(&link, modelClass != 0 ? model.get() : nullptr);
        EXPECT_EQ(command.Query(), modelClass != 0 ? RZ_OK : LINK_E_NOT_INITIALIZED);
        EXPECT_EQ(link.sentText(), request);
        EXPECT_TRUE(link.requests().empty() || link.requests()[0].mode == RECV_LIST);
    }
}

// A record of `length` zero bytes with `bytes` set at their offsets.
std::string DioRecord(size_t length, std::initializer_list<std::pair<size_t, uint8_t>> bytes) {
    std::string record(length, '\0');
    for (const auto& [offset, value] : bytes) {
        record[offset] = static_cast<char>(value);
    }
    return record;
}

}  // namespace

// Entries -1 to -5 are flag A, flag S, module kind, flag D and flag E of every point, one digit
// a point.
template <>
std::string Entry(const CCmdFO& c, int field) {
    std::string digits;
    for (const auto& p : c.points) {
        const int32_t values[] = {p.flagA, p.flagS, p.moduleKind, p.flagD, p.flagE};
        digits += std::to_string(values[-field - 1]);
    }
    return digits;
}

namespace {

TEST(DataQueries, DioPointStates) {
    // Model 3100: A at 26, kinds at 28 to 39, S at 40, D at 42, E at 44.
    // Model 3200: A at 26, kinds at 32 to 67, S at 68, D at 74, E at 80.
    const auto stale = [](CCmdFO& c) { c.points[20] = {1, 1, 1, 1, 1}; };
    const auto model3100 = MakeModel(3100);
    const auto model3200 = MakeModel(3200);
    const auto fo3100 = Runner<CCmdFO>(stale, model3100.get());
    const auto fo3200 = Runner<CCmdFO>(stale, model3200.get());
    const std::string none(36, '0');
    const std::vector<std::string> defaults = {"-1=" + none, "-2=" + std::string(36, '3'),
                                               "-3=" + std::string(36, '7'), "-4=" + none,
                                               "-5=" + none};
    fo3100("module kinds of model 3100",
           DioRecord(48, {{28, 0}, {29, 1}, {30, 2}, {31, 3}, {32, 4}, {33, 5}, {34, 6}, {39, 6}}),
           RZ_OK,
           {"-1=000000000000000000000000000000000000", "-2=000000000000333333333333333333333333",
            "-3=012345600006777777777777777777777777", "-4=000000000000000000000000000000000000",
            "-5=000000000000000000000000000000000000"});
    fo3100("bits 6 and 7 overlap the next byte's bits 0 and 1",
           DioRecord(48, {{26, 0x40},    // A: point 6 from byte 0 ...
                          {27, 0x00},    // ... not cleared by byte 1
                          {40, 0xC0},    // S: points 6 and 7 set by byte 0 ...
                          {41, 0x02},    // ... point 6 cleared, point 7 kept by byte 1
                          {43, 0x20},    // D: byte 1 bit 5 is point 11
                          {45, 0xC0}}),  // E: byte 1 bits 6 and 7 lie beyond the 14 bits
           RZ_OK,
           {"-1=000000100000000000000000000000000000", "-2=000000010000333333333333333333333333",
            "-3=000000000000777777777777777777777777", "-4=000000000001000000000000000000000000",
            "-5=000000000000000000000000000000000000"});
    fo3100("a kind above 6 ends the scan",
           DioRecord(48, {{28, 1}, {29, 1}, {30, 1}, {31, 9}, {32, 1}, {33, 1}}), RZ_OK,
           {"-1=000000000000000000000000000000000000", "-2=000000000000333333333333333333333333",
            "-3=111777777777777777777777777777777777", "-4=000000000000000000000000000000000000",
            "-5=000000000000000000000000000000000000"});
    // A: points 35 and 30; S: all; D: point 0; E: bits beyond the 46 read.
    fo3200(
        "model 3200",
        DioRecord(88, {{31, 0x20}, {30, 0x40}, {74, 0x01}, {85, 0xC0}, {32, 2}, {50, 2}, {67, 6}})
            .replace(68, 6, 6, '\xFF'),
        RZ_OK,
        {"-1=000000000000000000000000000000100001", "-2=111111111111111111111111111111111111",
         "-3=200000000000000000200000000000000006", "-4=100000000000000000000000000000000000",
         "-5=000000000000000000000000000000000000"});
    fo3100("47 bytes", DioRecord(47, {{28, 1}}), REPLY_UNEXPECTED, defaults);
    fo3100("a model 3200 record on a model 3100", DioRecord(88, {}), REPLY_UNEXPECTED, defaults);
    fo3200("error status line is shown, result 0", std::string("E1\r\n\0", 5), RZ_OK, defaults,
           "E1");
    fo3200("EB is no status line", std::string("EB\r\n\0", 5), REPLY_UNEXPECTED, defaults);
    // Without a known model the record length is unknown: nothing is asked.
    for (const auto& [modelClass, length] :
         {std::pair{3100, 48u}, {3200, 88u}, {0, 0u}, {3300, 0u}}) {
        const auto model = MakeModel(modelClass);
        FakeLink link;
        CCmdFO command;
        command.Bind(&link, model.get());
        const RzResult result = command.Query();
        ASSERT_EQ(link.requests().size(), length != 0 ? 1u : 0u) << modelClass;
        if (length == 0) {
            EXPECT_EQ(result, REPLY_UNEXPECTED);
            continue;
        }
        EXPECT_EQ(link.requests()[0].text, "FO");
        EXPECT_EQ(link.requests()[0].mode, RECV_FIXED);
        EXPECT_EQ(link.expectedLength(), length);
    }
}

}  // namespace

// Entry 0 is the two words and the pattern count; entry n is pattern entry n: pattern and the
// three bits.
template <>
std::string Entry(const CCmdFW& c, int n) {
    if (n == 0) {
        return Row(c.word1, c.word2, c.patternCount);
    }
    const CPatternEntry& e = c.patterns[n - 1];
    return Row(e.pattern, e.bit0, e.bit1, e.bit2);
}

template <>
std::string Entry(const CCmdFH& c, int) {
    return Row(c.bit0, c.bit1, c.bit2);
}

namespace {

TEST(DataQueries, ProgramPatternList) {
    const auto fw = Runner<CCmdFW>([](CCmdFW& c) {
        c.patternCount = 4;
        c.word1 = 9;
        c.patterns[0] = {9, 1, 2, 4};
    });
    std::vector<std::array<uint8_t, 3>> many;
    for (int i = 0; i < 31; ++i) {
        many.push_back({static_cast<uint8_t>(i + 1), 1, 1});
    }
    const std::vector<std::string> cleared = {"0=0|0|0", "1=0|0|0|0"};
    // PatternList's words are 0x12345678 and 0x90ABCDEF.
    fw("entries with a zero flag or presence byte are skipped",
       PatternList({{5, 3, 1}, {6, 0, 1}, {7, 4, 0}, {30, 7, 1}, {1, 4, 9}}), RZ_OK,
       {"0=305419896|2427178479|3", "1=5|1|2|0", "2=30|1|2|4", "3=1|0|0|4", "4=0|0|0|0"});
    fw("shortest declared length", PatternList({{2, 1, 1}}), RZ_OK, {"1=2|1|0|0"});
    fw("bytes beyond the declared length are not entries",
       PatternList({{2, 1, 1}, {3, 1, 1}}, 1, -3), RZ_OK, {"0=305419896|2427178479|1"});
    fw("wrong format", PatternList({{5, 3, 1}}, 2), LINK_E_GENERAL, cleared);
    fw("declared length 12", PatternList({}, 1, 2), LINK_E_GENERAL, cleared);
    fw("three bytes", std::string("\x00\x01\x00", 3), LINK_E_GENERAL, cleared);
    fw("declared length beyond the answer", PatternList({{5, 3, 1}, {6, 1, 1}}, 1, 3),
       LINK_E_FORMAT, {"0=305419896|2427178479|2"});
    fw("header cut short", PatternList({{5, 3, 1}}).substr(0, 9), LINK_E_FORMAT, cleared);
    fw("more entries than patterns", PatternList(many), LINK_E_FORMAT,
       {"0=305419896|2427178479|30", "30=30|1|0|0"});
    fw("error status line is shown, result 0", std::string("E2\r\n\0", 5), RZ_OK, cleared, "E2");
    fw("answer larger than the buffer",
       PatternList(std::vector<std::array<uint8_t, 3>>(81, {1, 1, 1})), LINK_E_BUFFER_SMALL,
       cleared);
    FakeLink link;
    link.QueueAnswer(PatternList({}));
    CCmdFW command;
    command.Bind(&link, nullptr);
    command.Query();
    ASSERT_EQ(link.requests().size(), 1u);
    EXPECT_EQ(link.requests()[0].text, "FW");
    EXPECT_EQ(link.requests()[0].mode, RECV_BINARY);
}

TEST(DataQueries, ProgramPatternState) {
    const auto fh = [](int32_t pattern) {
        return Runner<CCmdFH>([pattern](CCmdFH& c) {
            c.bit0 = 1;  // stale results of an earlier run
            c.bit1 = 2;
            c.bit2 = 4;
            c.pattern = pattern;
        });
    };
    fh(0)("current pattern", List({"0.1.0.1"}), RZ_OK, {"?=FH|3", "0=1|0|4"});
    fh(12)("pattern 12", List({"1.1.1.0"}), RZ_OK, {"?=FH12|3", "0=0|2|4"});
    fh(30)("the last line of four numbers counts", List({"0.0.0.1", "1.1.1", "0.0.1.1"}), RZ_OK,
           {"?=FH30|3", "0=1|2|0"});
    fh(1)("five numbers", List({"1.0.0.0.1"}), RZ_OK, {"0=1|0|0"});
    fh(1)("numbers are ORed in, not just bits", List({"0.0.0.6"}), RZ_OK, {"0=0|2|4"});
    fh(1)("many numbers do not overflow", List({std::string(100, '1') + ".1.1.1"}), RZ_OK,
          {"0=1|2|4"});
    fh(1)("error number above 0, not shown", "E1\r\n", REPLY_UNEXPECTED, {"0=0|0|0"});
    fh(1)("nothing to read", List({}), RZ_OK, {"0=0|0|0"});
}

TEST(DataQueries, LogRequests) {
    const struct {
        int32_t kind;
        int32_t count;
        const char* request;  // nullptr: refused with LINK_E_PARAMETER
    } cases[] = {{0, 0, "FL COM,200"},   {0, 200, "FL COM,200"},
                 {0, 201, "FL COM,200"}, {1, 50, "FL FTPC,50"},
                 {1, 51, "FL FTPC,50"},  {2, 7, "FL ERR,7"},
                 {3, 1, "FL KEY,1"},     {4, -3, "FL WEB,50"},
                 {5, 0, "FL EMAIL,50"},  {6, 500, "FL ALARM ,120"},
                 {7, 101, "FL MSG,100"}, {-1, 1, nullptr},
                 {8, 1, nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.kind << "," << c.count);
        FakeLink link;
        link.QueueAnswer(List({}));
        CCmdFL command;
        command.kind = c.kind;
        command.count = c.count;
        command.Bind(&link, nullptr);
        EXPECT_EQ(command.Query(), c.request ? RZ_OK : LINK_E_PARAMETER);
        ASSERT_EQ(link.requests().size(), c.request ? 1u : 0u);
        if (c.request) {
            EXPECT_EQ(link.requests()[0].text, c.request);
            EXPECT_EQ(link.requests()[0].mode, RECV_LIST);
        }
    }
}

// `count` lines of `size` bytes each, CR LF included.
std::string LogLines(int count, size_t size, char fill) {
    std::string lines;
    for (int i = 0; i < count; ++i) {
        lines += std::string(size - 2, fill) + "\r\n";
    }
    return lines;
}

TEST(DataQueries, LogText) {
    const std::string none = "No corresponding log!";
    const struct {
        const char* name;
        std::string answer;
        RzResult expected;
        size_t textLength;
        std::string textStart;
        const char* shown;
    } cases[] = {
        {"lines keep their line ends", List({"10:00 start", "10:01 stop"}), RZ_OK, 25,
         "10:00 start\r\n10:01 stop\r\n", nullptr},
        {"empty log", List({}), RZ_OK, none.size(), none, nullptr},
        {"END: closes the list", "EA\r\nx\r\nEND:\r\n", RZ_OK, 3, "x\r\n", nullptr},
        {"a line longer than a line buffer is kept whole", List({std::string(1000, 'w')}), RZ_OK,
         1002, std::string(1000, 'w') + "\r\n", nullptr},
        {"error is shown", "E1 No data\r\n", REPLY_UNEXPECTED, 0, "", "E1 No data"},
        {"no CR LF before the end marker", "EA\r\nfirst\r\nEN", LINK_E_FORMAT, 7, "first\r\n",
         nullptr},
        // 1023 lines of 100 bytes and one of 92 with "EA" and "EN" fill the 102400-byte area.
        {"a log as long as the receive area takes is kept whole",
         "EA\r\n" + LogLines(1023, 100, 'a') + LogLines(1, 92, 'b') + "EN\r\n", RZ_OK, 102392,
         "aaa", nullptr},
        {"an answer one byte longer is refused",
         "EA\r\n" + LogLines(1023, 100, 'a') + LogLines(1, 93, 'b') + "EN\r\n", LINK_E_BUFFER_SMALL,
         0, "", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ShownMessages shown;
        FakeLink link;
        link.QueueAnswer(c.answer);
        auto command = std::make_unique<CCmdFL>();
        CopyText(command->logText, sizeof(command->logText), "stale");
        command->Bind(&link, nullptr);
        EXPECT_EQ(command->Query(), c.expected);
        const std::string text = command->logText;
        EXPECT_EQ(text.size(), c.textLength);
        EXPECT_EQ(text.substr(0, c.textStart.size()), c.textStart);
        EXPECT_EQ(shown.texts, Shown(c.shown));
    }
}

// Every query clears its results before it asks, so a failed link leaves none of the last run.
TEST(DataQueries, LinkFailuresClearResults) {
    const auto model = MakeModel(3100);
    FakeLink link;  // every receive times out
    CCmdFD fd;
    CCmdFO fo;
    CCmdFW fw;
    CCmdFL fl;
    fd.extCount = 3;
    fo.points[0].flagS = 1;
    fw.patternCount = 2;
    CopyText(fl.logText, sizeof(fl.logText), "stale");
    for (CCommand* command : std::initializer_list<CCommand*>{&fd, &fo, &fw, &fl}) {
        command->Bind(&link, model.get());
        EXPECT_EQ(command->Query(), LINK_E_TIMEOUT);
    }
    EXPECT_EQ(fd.extCount, -1);
    EXPECT_EQ(fo.points[0].flagS, 3);
    EXPECT_EQ(fw.patternCount, 0);
    EXPECT_STREQ(fl.logText, "");
}

}  // namespace
