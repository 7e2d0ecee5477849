#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "commands/DataQueries.h"
#include "model/InstrumentModel.h"
#include "platform/StatusSink.h"
#include "unit/commands/FakeLink.h"

namespace {

std::vector<std::string> Shown(const char* text) {
    return text != nullptr ? std::vector<std::string>{text} : std::vector<std::string>{};
}

// A model of the given class, zero elsewhere, as the connection binds the commands to it.
std::unique_ptr<CInstrumentModel> ModelOf(int32_t modelClass) {
    auto model = std::make_unique<CInstrumentModel>();
    std::memset(model.get(), 0, sizeof(CInstrumentModel));
    model->modelClass = modelClass;
    return model;
}

// ---------------------------------------------------------------------------------------------
// "FD"

// A values line: status letter at 0, number at 2 to 4, then text 1 at 17, text 2 at 23 and
// text 3 at 30 (33 for math items, whose text 2 has nine characters).
std::string ValueLine(char status, const std::string& number, const std::string& text1,
                      const std::string& text2, const std::string& text3, bool math = false) {
    std::string line(math ? 36 : 33, '.');
    // Each text fills its columns from the left; a shorter one leaves the filler after it.
    const auto put = [&line](size_t at, size_t width, const std::string& text) {
        line.replace(at, std::min(width, text.size()), text.substr(0, width));
    };
    line[0] = status;
    line[1] = ' ';
    put(2, 3, number);
    put(17, 6, text1);
    put(23, math ? 9 : 6, text2);
    put(math ? 33 : 30, 3, text3);
    return line;
}

void ExpectRecord(const CDataRecord& record, const char* status, const char* number,
                  const char* text1, const char* text2, const char* text3) {
    EXPECT_STREQ(record.status, status);
    EXPECT_STREQ(record.number, number);
    EXPECT_STREQ(record.text1, text1);
    EXPECT_STREQ(record.text2, text2);
    EXPECT_STREQ(record.text3, text3);
}

struct ValuesCase {
    const char* name;
    std::string answer;
    RzResult expected;
    std::function<void(const CCmdFD&)> check;
};

std::string Repeated(int count, const std::function<std::string(int)>& line) {
    std::string answer = "EA\r\n";
    for (int i = 0; i < count; ++i) {
        answer += line(i) + "\r\n";
    }
    return answer + "EN\r\n";
}

TEST(DataQueries, LatestValues) {
    const std::vector<ValuesCase> cases = {
        {"every table",
         List({"DATE 24/05/01", "TIME 12:34:56.789",
               "N 001xxxxxxxxxxxx+12345-00002xALM",  // written out by hand
               ValueLine('D', "002", "-00500", "-00001", "   "),
               ValueLine('N', "A01", "+00007", "-00000002", "HI ", true),
               ValueLine('O', "101", "+99999", "+00000", "   "),
               ValueLine('N', "200", "a", "b", "c"),
               ValueLine('E', "201", "+00001", "+00000", "   "),
               ValueLine('N', "999", "+00002", "+00000", "   ")}),
         RZ_OK,
         [](const CCmdFD& c) {
             EXPECT_STREQ(c.date, "24/05/01");
             EXPECT_STREQ(c.time, "12:34:56.789");
             EXPECT_EQ(c.measCount, 1);
             ExpectRecord(c.measRecords[0], "N", "001", "+12345", "-00002", "ALM");
             ExpectRecord(c.measRecords[1], "D", "002", "-00500", "-00001", "   ");
             EXPECT_EQ(c.mathCount, 0);
             ExpectRecord(c.mathRecords[0], "N", "A01", "+00007", "-00000002", "HI ");
             EXPECT_EQ(c.loopCount, 1);
             ExpectRecord(c.loopRecords[0], "O", "101", "+99999", "+00000", "   ");
             EXPECT_STREQ(c.loopRecords[1].number, "200");
             EXPECT_EQ(c.extCount, 1);
             EXPECT_STREQ(c.extRecords[0].number, "201");
             EXPECT_STREQ(c.extRecords[1].number, "999");
         }},
        {"status S keeps only status and number",
         List({ValueLine('S', "005", "+12345", "-00002", "ALM")}), RZ_OK,
         [](const CCmdFD& c) {
             EXPECT_EQ(c.measCount, 0);
             ExpectRecord(c.measRecords[0], "S", "005", "", "", "");
         }},
        {"numbers 31 to 100 and negative ones are skipped",
         List({ValueLine('N', "050", "+1    ", "+0    ", "   "),
               ValueLine('N', "-01", "+1    ", "+0    ", "   "),
               ValueLine('N', "003", "+3    ", "+0    ", "   ")}),
         RZ_OK,
         [](const CCmdFD& c) {
             EXPECT_EQ(c.measCount, 0);
             EXPECT_STREQ(c.measRecords[0].number, "003");
             EXPECT_EQ(c.mathCount, -1);
             EXPECT_EQ(c.loopCount, -1);
             EXPECT_EQ(c.extCount, -1);
         }},
        {"short lines", List({"N 0", "N 004", "N 006 short"}), RZ_OK,
         [](const CCmdFD& c) {
             EXPECT_EQ(c.measCount, 1);
             ExpectRecord(c.measRecords[0], "N", "004", "", "", "");
             ExpectRecord(c.measRecords[1], "N", "006", "", "", "");
             EXPECT_EQ(c.mathCount, -1);
         }},
        {"date and time words in any case, cut to their fields",
         List({"date 2024/05/01", "  Time   12:34:56.789abc  x"}), RZ_OK,
         [](const CCmdFD& c) {
             EXPECT_STREQ(c.date, "2024/05/0");
             EXPECT_STREQ(c.time, "12:34:56.789A");
             EXPECT_EQ(c.measCount, -1);
             EXPECT_EQ(c.mathCount, -1);
         }},
        {"more measurement items than records",
         Repeated(31, [](int) { return ValueLine('N', "001", "+1    ", "+0    ", "   "); }), RZ_OK,
         [](const CCmdFD& c) {
             EXPECT_EQ(c.measCount, 29);
             EXPECT_EQ(c.mathCount, -1);
             EXPECT_EQ(c.loopCount, -1);
         }},
        {"more loop and external items than records",
         Repeated(70,
                  [](int i) {
                      return ValueLine('N', i < 20 ? "150" : "230", "+1    ", "+0    ", "   ");
                  }),
         RZ_OK,
         [](const CCmdFD& c) {
             EXPECT_EQ(c.loopCount, 17);
             EXPECT_EQ(c.extCount, 47);
             EXPECT_EQ(c.measCount, -1);
         }},
        {"error answer, not shown", "E1\r\n", REPLY_UNEXPECTED,
         [](const CCmdFD& c) {
             EXPECT_EQ(c.measCount, -1);
             EXPECT_STREQ(c.date, "");
             EXPECT_STREQ(c.measRecords[2].number, "");
         }},
        {"no end marker", "EA\r\n" + ValueLine('N', "001", "+1    ", "+0    ", "   ") + "\r\n",
         LINK_E_FORMAT, [](const CCmdFD& c) { EXPECT_EQ(c.measCount, 0); }},
        {"over-long line", List({"N 001" + std::string(300, ' ')}), LINK_E_FORMAT,
         [](const CCmdFD& c) { EXPECT_EQ(c.measCount, -1); }},
    };
    const auto model = ModelOf(3200);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ShownMessages shown;
        FakeLink link;
        link.QueueAnswer(c.answer);
        auto command = std::make_unique<CCmdFD>();
        // Stale results of an earlier run.
        command->measCount = 2;
        CopyText(command->date, sizeof(command->date), "stale");
        CopyText(command->measRecords[2].number, sizeof(command->measRecords[2].number), "009");
        command->Bind(&link, model.get());
        EXPECT_EQ(command->Query(), c.expected);
        c.check(*command);
        EXPECT_TRUE(shown.texts.empty());
    }
}

TEST(DataQueries, ValuesRequestFollowsTheModel) {
    struct Case {
        int32_t modelClass;
        std::string request;
    };
    for (const Case& c : std::vector<Case>{{3100, "FD0,1,212"}, {3200, "FD0,1,248"}}) {
        SCOPED_TRACE(c.modelClass);
        const auto model = ModelOf(c.modelClass);
        FakeLink link;
        link.QueueAnswer(List({}));
        CCmdFD command;
        command.Bind(&link, model.get());
        EXPECT_EQ(command.Query(), RZ_OK);
        ASSERT_EQ(link.requests().size(), 1u);
        EXPECT_EQ(link.requests()[0].text, c.request);
        EXPECT_EQ(link.requests()[0].mode, RECV_LIST);
    }
    FakeLink link;
    CCmdFD command;
    command.Bind(&link, nullptr);
    EXPECT_EQ(command.Query(), LINK_E_NOT_INITIALIZED);
    EXPECT_TRUE(link.requests().empty());
}

// ---------------------------------------------------------------------------------------------
// "FO"

struct DioCase {
    const char* name;
    int32_t modelClass;
    std::string answer;
    RzResult expected;
    std::function<void(const CCmdFO&)> check;
    const char* shown;
};

// A record of `length` zero bytes with `bytes` set at their offsets.
std::string DioRecord(size_t length, std::initializer_list<std::pair<size_t, uint8_t>> bytes) {
    std::string record(length, '\0');
    for (const auto& [offset, value] : bytes) {
        record[offset] = static_cast<char>(value);
    }
    return record;
}

void ExpectPointDefaults(const CCmdFO& c, int from, int to) {
    for (int p = from; p < to; ++p) {
        SCOPED_TRACE(p);
        EXPECT_EQ(c.points[p].flagA, 0);
        EXPECT_EQ(c.points[p].flagS, 3);
        EXPECT_EQ(c.points[p].moduleKind, 7);
        EXPECT_EQ(c.points[p].flagD, 0);
        EXPECT_EQ(c.points[p].flagE, 0);
    }
}

TEST(DataQueries, DioPointStates) {
    // Model 3100: A at 26, kinds at 28 to 39, S at 40, D at 42, E at 44.
    // Model 3200: A at 26, kinds at 32 to 67, S at 68, D at 74, E at 80.
    const std::vector<DioCase> cases = {
        {"module kinds of model 3100", 3100,
         DioRecord(48, {{28, 0},
                        {29, 1},
                        {30, 2},
                        {31, 3},
                        {32, 4},
                        {33, 5},
                        {34, 6},
                        {35, 0},
                        {36, 1},
                        {37, 2},
                        {38, 3},
                        {39, 6}}),
         RZ_OK,
         [](const CCmdFO& c) {
             const int32_t kinds[] = {0, 1, 2, 3, 4, 5, 6, 0, 1, 2, 3, 6};
             for (int p = 0; p < 12; ++p) {
                 EXPECT_EQ(c.points[p].moduleKind, kinds[p]) << "point " << p;
                 EXPECT_EQ(c.points[p].flagS, 0) << "point " << p;
             }
             ExpectPointDefaults(c, 12, 36);
         },
         nullptr},
        {"bits 6 and 7 overlap the next byte's bits 0 and 1", 3100,
         DioRecord(48, {{26, 0x40},    // A: point 6 from byte 0 ...
                        {27, 0x00},    // ... not cleared by byte 1
                        {40, 0xC0},    // S: points 6 and 7 set by byte 0 ...
                        {41, 0x02},    // ... point 6 cleared, point 7 kept by byte 1
                        {43, 0x20},    // D: byte 1 bit 5 is point 11
                        {45, 0xC0}}),  // E: byte 1 bits 6 and 7 lie beyond the 14 bits
         RZ_OK,
         [](const CCmdFO& c) {
             EXPECT_EQ(c.points[6].flagA, 1);
             EXPECT_EQ(c.points[0].flagA, 0);
             EXPECT_EQ(c.points[6].flagS, 0);
             EXPECT_EQ(c.points[7].flagS, 1);
             EXPECT_EQ(c.points[11].flagD, 1);
             EXPECT_EQ(c.points[10].flagD, 0);
             for (int p = 0; p < 36; ++p) {
                 EXPECT_EQ(c.points[p].flagE, 0) << "point " << p;
             }
             ExpectPointDefaults(c, 12, 36);
         },
         nullptr},
        {"a kind above 6 ends the scan", 3100,
         DioRecord(48, {{28, 1}, {29, 1}, {30, 1}, {31, 9}, {32, 1}, {33, 1}}), RZ_OK,
         [](const CCmdFO& c) {
             EXPECT_EQ(c.points[2].moduleKind, 1);
             for (int p = 3; p < 36; ++p) {
                 EXPECT_EQ(c.points[p].moduleKind, 7) << "point " << p;
             }
         },
         nullptr},
        {"model 3200", 3200,
         DioRecord(88, {{31, 0x20},  // A: point 35
                        {30, 0x40},  // A: point 30
                        {68, 0xFF},
                        {69, 0xFF},
                        {70, 0xFF},
                        {71, 0xFF},  // S: all
                        {72, 0xFF},
                        {73, 0xFF},
                        {74, 0x01},  // D: point 0
                        {85, 0xC0},  // E: beyond 46 bits
                        {32, 2},
                        {50, 2},
                        {67, 6}}),
         RZ_OK,
         [](const CCmdFO& c) {
             EXPECT_EQ(c.points[35].flagA, 1);
             EXPECT_EQ(c.points[30].flagA, 1);
             EXPECT_EQ(c.points[29].flagA, 0);
             for (int p = 0; p < 36; ++p) {
                 EXPECT_EQ(c.points[p].flagS, 1) << "point " << p;
                 EXPECT_EQ(c.points[p].flagE, 0) << "point " << p;
             }
             EXPECT_EQ(c.points[0].flagD, 1);
             EXPECT_EQ(c.points[0].moduleKind, 2);
             EXPECT_EQ(c.points[18].moduleKind, 2);
             EXPECT_EQ(c.points[35].moduleKind, 6);
         },
         nullptr},
        {"47 bytes", 3100, DioRecord(47, {{28, 1}}), REPLY_UNEXPECTED,
         [](const CCmdFO& c) { ExpectPointDefaults(c, 0, 36); }, nullptr},
        {"49 bytes", 3100, DioRecord(49, {{28, 1}}), REPLY_UNEXPECTED,
         [](const CCmdFO& c) { ExpectPointDefaults(c, 0, 36); }, nullptr},
        {"a model 3200 record on a model 3100", 3100, DioRecord(88, {}), REPLY_UNEXPECTED,
         [](const CCmdFO& c) { ExpectPointDefaults(c, 0, 36); }, nullptr},
        {"error status line is shown, result 0", 3200, std::string("E1\r\n\0", 5), RZ_OK,
         [](const CCmdFO& c) { ExpectPointDefaults(c, 0, 36); }, "E1"},
        {"EB is no status line", 3200, std::string("EB\r\n\0", 5), REPLY_UNEXPECTED,
         [](const CCmdFO& c) { ExpectPointDefaults(c, 0, 36); }, nullptr},
        {"status line without its counted NUL", 3100, "E1\r\n", REPLY_UNEXPECTED, {}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ShownMessages shown;
        const auto model = ModelOf(c.modelClass);
        FakeLink link;
        link.QueueAnswer(c.answer);
        CCmdFO command;
        command.points[20] = {1, 1, 1, 1, 1};  // stale results of an earlier run
        command.Bind(&link, model.get());
        EXPECT_EQ(command.Query(), c.expected);
        ASSERT_EQ(link.requests().size(), 1u);
        EXPECT_EQ(link.requests()[0].text, "FO");
        EXPECT_EQ(link.requests()[0].mode, RECV_FIXED);
        EXPECT_EQ(link.expectedLength(), c.modelClass == 3100 ? 48u : 88u);
        if (c.check) {
            c.check(command);
        }
        EXPECT_EQ(shown.texts, Shown(c.shown));
    }
}

TEST(DataQueries, DioStatesNeedAKnownModel) {
    for (int32_t modelClass : {0, 3000, 3300}) {
        SCOPED_TRACE(modelClass);
        const auto model = ModelOf(modelClass);
        FakeLink link;
        link.QueueAnswer(DioRecord(48, {}));
        CCmdFO command;
        command.Bind(&link, model.get());
        EXPECT_EQ(command.Query(), REPLY_UNEXPECTED);
        EXPECT_TRUE(link.requests().empty());
    }
    FakeLink link;
    CCmdFO command;
    command.Bind(&link, nullptr);
    EXPECT_EQ(command.Query(), REPLY_UNEXPECTED);
    EXPECT_TRUE(link.requests().empty());
}

// ---------------------------------------------------------------------------------------------
// "FW"

using Entry = std::array<uint8_t, 3>;

// The pattern list payload: format, declared length (10 + 3 per entry, moved by
// `lengthShift`), two words, two uninterpreted bytes, then the entries.
std::string PatternList(const std::vector<Entry>& entries, uint16_t format = 1,
                        int lengthShift = 0) {
    const int declared = 10 + 3 * static_cast<int>(entries.size()) + lengthShift;
    std::string payload;
    payload += static_cast<char>(format >> 8);
    payload += static_cast<char>(format & 0xFF);
    payload += static_cast<char>((declared >> 8) & 0xFF);
    payload += static_cast<char>(declared & 0xFF);
    payload += std::string("\x78\x56\x34\x12\xEF\xCD\xAB\x90\xAA\xBB", 10);
    for (const Entry& e : entries) {
        payload.append(reinterpret_cast<const char*>(e.data()), e.size());
    }
    return payload;
}

struct PatternCase {
    const char* name;
    std::string answer;
    RzResult expected;
    std::function<void(const CCmdFW&)> check;
    const char* shown;
};

void ExpectPattern(const CPatternEntry& entry, int32_t pattern, int32_t bit0, int32_t bit1,
                   int32_t bit2) {
    EXPECT_EQ(entry.pattern, pattern);
    EXPECT_EQ(entry.bit0, bit0);
    EXPECT_EQ(entry.bit1, bit1);
    EXPECT_EQ(entry.bit2, bit2);
}

TEST(DataQueries, ProgramPatternList) {
    std::vector<Entry> many;
    for (int i = 0; i < 31; ++i) {
        many.push_back({static_cast<uint8_t>(i + 1), 1, 1});
    }
    const auto cleared = [](const CCmdFW& c) {
        EXPECT_EQ(c.word1, 0u);
        EXPECT_EQ(c.word2, 0u);
        EXPECT_EQ(c.patternCount, 0);
        ExpectPattern(c.patterns[0], 0, 0, 0, 0);
    };
    const std::vector<PatternCase> cases = {
        {"entries with a zero flag or presence byte are skipped",
         PatternList({{5, 3, 1}, {6, 0, 1}, {7, 4, 0}, {30, 7, 1}, {1, 4, 9}}), RZ_OK,
         [](const CCmdFW& c) {
             EXPECT_EQ(c.word1, 0x12345678u);
             EXPECT_EQ(c.word2, 0x90ABCDEFu);
             EXPECT_EQ(c.patternCount, 3);
             ExpectPattern(c.patterns[0], 5, 1, 2, 0);
             ExpectPattern(c.patterns[1], 30, 1, 2, 4);
             ExpectPattern(c.patterns[2], 1, 0, 0, 4);
             ExpectPattern(c.patterns[3], 0, 0, 0, 0);
         },
         nullptr},
        {"shortest declared length", PatternList({{2, 1, 1}}), RZ_OK,
         [](const CCmdFW& c) {
             EXPECT_EQ(c.patternCount, 1);
             ExpectPattern(c.patterns[0], 2, 1, 0, 0);
         },
         nullptr},
        {"bytes beyond the declared length are not entries",
         PatternList({{2, 1, 1}, {3, 1, 1}}, 1, -3), RZ_OK,
         [](const CCmdFW& c) { EXPECT_EQ(c.patternCount, 1); }, nullptr},
        {"only skipped entries", PatternList({{0, 0, 0}}), RZ_OK,
         [](const CCmdFW& c) {
             EXPECT_EQ(c.word1, 0x12345678u);
             EXPECT_EQ(c.patternCount, 0);
         },
         nullptr},
        {"wrong format", PatternList({{5, 3, 1}}, 2), LINK_E_GENERAL, cleared, nullptr},
        {"declared length 12", PatternList({}, 1, 2), LINK_E_GENERAL, cleared, nullptr},
        {"three bytes", std::string("\x00\x01\x00", 3), LINK_E_GENERAL, cleared, nullptr},
        {"declared length beyond the answer", PatternList({{5, 3, 1}, {6, 1, 1}}, 1, 3),
         LINK_E_FORMAT, [](const CCmdFW& c) { EXPECT_EQ(c.patternCount, 2); }, nullptr},
        {"header cut short", PatternList({{5, 3, 1}}).substr(0, 9), LINK_E_FORMAT, cleared,
         nullptr},
        {"more entries than patterns", PatternList(many), LINK_E_FORMAT,
         [](const CCmdFW& c) {
             EXPECT_EQ(c.patternCount, 30);
             ExpectPattern(c.patterns[29], 30, 1, 0, 0);
         },
         nullptr},
        {"error status line is shown, result 0", std::string("E2\r\n\0", 5), RZ_OK, cleared, "E2"},
        {"answer larger than the buffer", PatternList(std::vector<Entry>(81, Entry{1, 1, 1})),
         LINK_E_BUFFER_SMALL, cleared, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ShownMessages shown;
        FakeLink link;
        link.QueueAnswer(c.answer);
        CCmdFW command;
        command.patternCount = 4;  // stale results of an earlier run
        command.word1 = 9;
        command.patterns[0] = {9, 1, 2, 4};
        command.Bind(&link, nullptr);
        EXPECT_EQ(command.Query(), c.expected);
        ASSERT_EQ(link.requests().size(), 1u);
        EXPECT_EQ(link.requests()[0].text, "FW");
        EXPECT_EQ(link.requests()[0].mode, RECV_BINARY);
        c.check(command);
        EXPECT_EQ(shown.texts, Shown(c.shown));
    }
}

// ---------------------------------------------------------------------------------------------
// "FH"

TEST(DataQueries, ProgramPatternState) {
    struct Case {
        const char* name;
        int32_t pattern;
        std::string answer;
        std::string request;
        RzResult expected;
        int32_t bit0, bit1, bit2;
    };
    const std::vector<Case> cases = {
        {"current pattern", 0, List({"0.1.0.1"}), "FH", RZ_OK, 1, 0, 4},
        {"pattern 12", 12, List({"1.1.1.0"}), "FH12", RZ_OK, 0, 2, 4},
        {"the last line of four numbers counts", 30, List({"0.0.0.1", "1.1.1", "0.0.1.1"}), "FH30",
         RZ_OK, 1, 2, 0},
        {"a line of three numbers is skipped", 1, List({"0.0.1.1", "1.1.1"}), "FH1", RZ_OK, 1, 2,
         0},
        {"five numbers", 1, List({"1.0.0.0.1"}), "FH1", RZ_OK, 1, 0, 0},
        {"numbers are ORed in, not just bits", 1, List({"0.0.0.6"}), "FH1", RZ_OK, 0, 2, 4},
        {"many numbers do not overflow", 1, List({std::string(100, '1') + ".1.1.1"}), "FH1", RZ_OK,
         1, 2, 4},
        {"error number above 0, not shown", 1, "E1\r\n", "FH1", REPLY_UNEXPECTED, 0, 0, 0},
        {"no end marker", 1, "EA\r\n1.1.1.1\r\n", "FH1", LINK_E_FORMAT, 1, 2, 4},
        {"nothing to read", 1, List({}), "FH1", RZ_OK, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ShownMessages shown;
        FakeLink link;
        link.QueueAnswer(c.answer);
        CCmdFH command;
        command.bit0 = 1;  // stale results of an earlier run
        command.bit1 = 2;
        command.bit2 = 4;
        command.pattern = c.pattern;
        command.Bind(&link, nullptr);
        EXPECT_EQ(command.Query(), c.expected);
        ASSERT_EQ(link.requests().size(), 1u);
        EXPECT_EQ(link.requests()[0].text, c.request);
        EXPECT_EQ(link.requests()[0].mode, RECV_LIST);
        EXPECT_EQ(command.bit0, c.bit0);
        EXPECT_EQ(command.bit1, c.bit1);
        EXPECT_EQ(command.bit2, c.bit2);
        EXPECT_TRUE(shown.texts.empty());
    }
}

// ---------------------------------------------------------------------------------------------
// "FL"

TEST(DataQueries, LogRequests) {
    struct Case {
        int32_t kind;
        int32_t count;
        std::string request;
    };
    const std::vector<Case> cases = {
        {0, 0, "FL COM,200"},      {0, 200, "FL COM,200"},    {0, 201, "FL COM,200"},
        {1, 50, "FL FTPC,50"},     {1, 51, "FL FTPC,50"},     {2, 7, "FL ERR,7"},
        {3, 1, "FL KEY,1"},        {4, -3, "FL WEB,50"},      {5, 0, "FL EMAIL,50"},
        {6, 500, "FL ALARM ,120"}, {6, 120, "FL ALARM ,120"}, {7, 5, "FL MSG,5"},
        {7, 101, "FL MSG,100"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request);
        FakeLink link;
        link.QueueAnswer(List({}));
        CCmdFL command;
        command.kind = c.kind;
        command.count = c.count;
        command.Bind(&link, nullptr);
        EXPECT_EQ(command.Query(), RZ_OK);
        ASSERT_EQ(link.requests().size(), 1u);
        EXPECT_EQ(link.requests()[0].text, c.request);
        EXPECT_EQ(link.requests()[0].mode, RECV_LIST);
    }
    for (int32_t kind : {-1, 8}) {
        SCOPED_TRACE(kind);
        FakeLink link;
        CCmdFL command;
        command.kind = kind;
        command.Bind(&link, nullptr);
        EXPECT_EQ(command.Query(), LINK_E_PARAMETER);
        EXPECT_TRUE(link.requests().empty());
    }
}

// `count` lines of `size` bytes each, CR LF included.
std::vector<std::string> LogLines(int count, size_t size, char fill) {
    return std::vector<std::string>(static_cast<size_t>(count), std::string(size - 2, fill));
}

std::string LogAnswer(const std::vector<std::vector<std::string>>& groups) {
    std::string answer = "EA\r\n";
    for (const auto& group : groups) {
        for (const auto& line : group) {
            answer += line + "\r\n";
        }
    }
    return answer + "EN\r\n";
}

TEST(DataQueries, LogText) {
    struct Case {
        const char* name;
        std::string answer;
        RzResult expected;
        size_t textLength;
        std::string textStart;
        const char* shown;
    };
    const std::string full = "No corresponding log!";
    const std::vector<Case> cases = {
        {"lines keep their line ends", List({"10:00 start", "10:01 stop"}), RZ_OK, 25,
         "10:00 start\r\n10:01 stop\r\n", nullptr},
        {"empty log", List({}), RZ_OK, full.size(), full, nullptr},
        {"END: closes the list", "EA\r\nx\r\nEND:\r\n", RZ_OK, 3, "x\r\n", nullptr},
        {"a line longer than a line buffer is kept whole", List({std::string(1000, 'w')}), RZ_OK,
         1002, std::string(1000, 'w') + "\r\n", nullptr},
        {"error is shown", "E1 No data\r\n", REPLY_UNEXPECTED, 0, "", "E1 No data"},
        {"no CR LF before the end marker", "EA\r\nfirst\r\nEN", LINK_E_FORMAT, 7, "first\r\n",
         nullptr},
        // 102 lines of 100 bytes make 10200; 39 more reach 10239, the most that fits.
        {"up to 10239 bytes fit", LogAnswer({LogLines(102, 100, 'a'), LogLines(1, 39, 'b')}), RZ_OK,
         10239, "aaa", nullptr},
        {"a line that does not fit is dropped, later ones that fit are kept",
         LogAnswer({LogLines(102, 100, 'a'), LogLines(1, 40, '#'), LogLines(1, 39, 'b'),
                    LogLines(1, 2, 'd')}),
         LINK_E_BUFFER_SMALL, 10239, "aaa", nullptr},
        {"nothing fits", LogAnswer({LogLines(1, 10240, 'z')}), LINK_E_BUFFER_SMALL, 0, "", nullptr},
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
        EXPECT_EQ(text.find('#'), std::string::npos);  // the dropped line
        EXPECT_EQ(shown.texts, Shown(c.shown));
    }
}

TEST(DataQueries, LinkFailuresClearResults) {
    const auto model = ModelOf(3100);
    {
        FakeLink link;
        link.QueueReceiveError(LINK_E_TIMEOUT);
        CCmdFD command;
        command.extCount = 3;
        command.Bind(&link, model.get());
        EXPECT_EQ(command.Query(), LINK_E_TIMEOUT);
        EXPECT_EQ(command.extCount, -1);
    }
    {
        FakeLink link;
        link.FailNextSend(LINK_E_BROKEN);
        CCmdFO command;
        command.points[0].flagS = 1;
        command.Bind(&link, model.get());
        EXPECT_EQ(command.Query(), LINK_E_BROKEN);
        EXPECT_EQ(command.points[0].flagS, 3);
    }
    {
        FakeLink link;
        link.QueueReceiveError(LINK_E_BROKEN);
        CCmdFW command;
        command.patternCount = 2;
        command.Bind(&link, nullptr);
        EXPECT_EQ(command.Query(), LINK_E_BROKEN);
        EXPECT_EQ(command.patternCount, 0);
    }
    {
        FakeLink link;
        link.QueueReceiveError(LINK_E_TIMEOUT);
        CCmdFL command;
        CopyText(command.logText, sizeof(command.logText), "stale");
        command.Bind(&link, nullptr);
        EXPECT_EQ(command.Query(), LINK_E_TIMEOUT);
        EXPECT_STREQ(command.logText, "");
    }
}

}  // namespace
