#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "QueryRunner.h"
#include "commands/Command.h"
#include "common/FakeLink.h"

namespace {

// The status path every status command takes (CCommand::ExchangeStatus ends in it).
TEST(ReceiveStatus, AnswersAreClassifiedAndErrorLinesShown) {
    struct Case {
        const char* name;
        std::string answer;  // empty: the receive fails with `expected`
        RzResult expected;
        std::vector<std::string> shown;
    };
    const std::vector<Case> cases = {
        {"success", "E0\r\n", RZ_OK, {}},
        {"a list is no status line", "EA\r\nLT1\r\nEN\r\n", REPLY_UNEXPECTED, {"EA\r\nLT1\r\nEN"}},
        {"error line", "E1\r\n", REPLY_ERROR, {"E1"}},
        {"error line with counted NUL", std::string("E1\r\n\0", 5), REPLY_ERROR, {"E1"}},
        {"lone E", "E", REPLY_ERROR, {"E"}},
        {"not an E line", "OK\r\n", RZ_OK, {}},
        {"lower-case e", "e1\r\n", RZ_OK, {}},
        {"E0 followed by text", "E0 done\r\n", RZ_OK, {}},
        {"too long", "E1" + std::string(kStatusAnswerCapacity, 'x'), LINK_E_BUFFER_SMALL, {}},
        {"time-out passes through", "", LINK_E_TIMEOUT, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ShownMessages shown;
        FakeLink link;
        if (c.answer.empty()) {
            link.QueueReceiveError(c.expected);
        } else {
            link.QueueAnswer(c.answer);
        }
        CCommand command;
        command.Bind(&link, nullptr);
        EXPECT_EQ(command.ReceiveStatus(), c.expected);
        EXPECT_EQ(shown.texts, c.shown);
        EXPECT_EQ(link.pendingAnswers(), 0u);
    }
    EXPECT_EQ(CCommand().ReceiveStatus(), LINK_E_NOT_INITIALIZED);
}

TEST(ReceiveFieldList, AnswersGiveTheirFieldsOrAnError) {
    struct Case {
        const char* name;
        std::string answer;
        RzResult expected;
        std::vector<std::string> fields;  // the rows filled, in order
    };
    auto numbered = [](int i) { return "XX" + std::to_string(i); };
    std::vector<std::string> numbers;
    for (int i = 0; i < kFieldRows; ++i) {
        numbers.push_back(std::to_string(i));
    }
    // 256 fields over 8 lines of 32, and one field more on a ninth line.
    auto fieldsOfLine = [](int line) {
        std::string text = "XX";
        for (int i = 0; i < 32; ++i) {
            text += (i ? "," : "") + std::to_string(line * 32 + i);
        }
        return text;
    };
    const std::string fullRows = ListOf(8, fieldsOfLine);
    const std::string overfullRows =
        ListOf(9, [&](int line) { return line < 8 ? fieldsOfLine(line) : std::string("XXextra"); });
    const std::vector<Case> cases = {
        {"empty field vanishes", "EA\r\nXX1,AB,,CD\r\nEN\r\n", RZ_OK, {"1", "AB", "CD"}},
        {"several lines", "EA\r\nXXa,b\r\nYYc\r\nEN\r\n", RZ_OK, {"a", "b", "c"}},
        {"blank, CR, LF", "EA\r\n\r\n\r\nXXa\n\nXXb\rEN\r\n", RZ_OK, {"a", "b"}},
        {"answer without end marker ends with the text", "EA\r\nXXa,b\r\n", RZ_OK, {"a", "b"}},
        {"ENX is data, after EN is not",
         "EA\r\nXXa\r\nENX,b\r\nEN\r\nXXc\r\n",
         RZ_OK,
         {"a", "X", "b"}},
        {"error line instead of the list", "E1\r\n", REPLY_UNEXPECTED, {}},
        {"opener must be exactly EA", "EAX\r\nXXa\r\nEN\r\n", REPLY_UNEXPECTED, {}},
        {"opener after a blank line still counts", "\r\nEA\r\nXXa\r\nEN\r\n", RZ_OK, {"a"}},
        {"255 characters",
         "EA\r\nXX" + std::string(253, 'a') + "\r\nEN\r\n",
         RZ_OK,
         {std::string(253, 'a')}},
        {"256 characters", "EA\r\nXX" + std::string(254, 'a') + "\r\nEN\r\n", LINK_E_FORMAT, {}},
        {"256 data lines fit", ListOf(kFieldListLines, numbered), RZ_OK, numbers},
        {"257 data lines are malformed", ListOf(kFieldListLines + 1, numbered), LINK_E_FORMAT,
         numbers},
        {"256 fields fill every row", fullRows, RZ_OK, numbers},
        {"257th field is malformed", overfullRows, LINK_E_FORMAT, numbers},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ShownMessages shown;
        FakeLink link;
        link.QueueAnswer(c.answer);
        static FieldRows rows;
        std::memset(rows, 0, sizeof rows);
        const RzExpected<int> count = ReceiveFieldList(&link, rows);
        EXPECT_EQ(count.code(), c.expected);
        EXPECT_EQ(count.value_or(static_cast<int>(c.fields.size())),
                  static_cast<int>(c.fields.size()));
        // Failed or not, the rows filled so far are filled, and no others.
        for (size_t i = 0; i < static_cast<size_t>(kFieldRows); ++i) {
            EXPECT_EQ(std::string(rows[i]), i < c.fields.size() ? c.fields[i] : "") << "row " << i;
        }
        // A refused answer is shown whole, less its trailing line end.
        const bool refused = c.expected == REPLY_UNEXPECTED;
        EXPECT_EQ(shown.texts,
                  refused ? std::vector<std::string>{c.answer.substr(0, c.answer.size() - 2)}
                          : std::vector<std::string>{});
    }
    static FieldRows rows;
    FakeLink link;
    link.QueueReceiveError(LINK_E_TIMEOUT);
    EXPECT_EQ(ReceiveFieldList(&link, rows).code(), LINK_E_TIMEOUT);
    EXPECT_EQ(ReceiveFieldList(nullptr, rows).code(), LINK_E_NOT_INITIALIZED);
}

TEST(SplitFields, LinesSplitIntoRowsWithinTheirLimit) {
    struct Case {
        const char* name;
        std::string line;
        int maxRows;
        RzResult expected;
        std::vector<std::string> rows;  // the first rows; every later row must be empty
    };
    std::string all = "XX";
    std::vector<std::string> numbers;
    for (int i = 0; i < kFieldRows; ++i) {
        all += (i ? "," : "") + std::to_string(i);
        numbers.push_back(std::to_string(i));
    }
    const std::vector<std::string> six = {"a", "b", "c", "d", "e", "f"};
    const std::vector<Case> cases = {
        {"seven fields in six rows", "XXa,b,c,d,e,f,g", 6, LINK_E_FORMAT, six},
        {"six fields in six rows", "XXa,b,c,d,e,f", 6, RZ_OK, six},
        {"line end stays with the last field", "XX1,2,3\r\n", 6, RZ_OK, {"1", "2", "3\r\n"}},
        {"comma runs and edges", "XX,,a,,,b,,", 6, RZ_OK, {"a", "b"}},
        {"shorter than the prefix", "X", 6, RZ_OK, {}},
        {"negative row count", "XXa", -3, LINK_E_FORMAT, {}},
        {"more rows than the array counts as the array", all, 1000, RZ_OK, numbers},
        {"one field beyond the array", all + ",x", 1000, LINK_E_FORMAT, numbers},
        {"255-character field fits a row",
         "XX" + std::string(255, 'f'),
         6,
         RZ_OK,
         {std::string(255, 'f')}},
        {"256-character field does not", "XX" + std::string(256, 'f'), 6, LINK_E_FORMAT, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        static FieldRows rows;
        for (auto& row : rows) {
            std::strcpy(row, "stale");
        }
        EXPECT_EQ(SplitFields(rows, c.line.c_str(), c.maxRows), c.expected);
        for (size_t i = 0; i < static_cast<size_t>(kFieldRows); ++i) {
            ASSERT_EQ(std::string(rows[i]), i < c.rows.size() ? c.rows[i] : "") << "row " << i;
        }
    }
}

TEST(ScaleValue, RoundsHalfUpOnTheDecimalValue) {
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    constexpr double kInf = std::numeric_limits<double>::infinity();
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    constexpr int64_t kBig = 9200000000000000000;
    constexpr int64_t kE9 = 1000000000;
    // 12.34 * 100 and 1.005 * 100 are 1233.9999... and 100.4999... in binary; halves round
    // upwards, so a negative half towards zero.
    const struct {
        double value;
        int decimals;
        int64_t expected;
    } cases[] = {{12.34, 2, 1234},      {1.005, 2, 101},     {1.25, 1, 13},     {0.5, 0, 1},
                 {-1.25, 1, -12},       {-0.5, 0, 0},        {-2.5, 0, -2},     {-2.6, 0, -3},
                 {-45.65, 1, -456},     {-0.0051, 2, -1},    {1.4999999, 0, 1}, {1e-9, 2, 0},
                 {-1e-9, 2, 0},         {-0.0, 3, 0},        {1234.5, -1, 123}, {1250.0, -2, 13},
                 {99999.99999, 4, kE9}, {9.2e18, 0, kBig},   {1e20, 0, kMax},   {-1e300, 2, kMin},
                 {5.0, 1000, kMax},     {5e-324, 400, kMax}, {kInf, 1, kMax},   {-kInf, 1, kMin},
                 {kNaN, 1, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(ScaleValue(c.value, c.decimals), c.expected)
            << c.value << " with " << c.decimals << " decimals";
    }
}

TEST(ScaleValue, RequestValuesMustBeFiniteAndFitThirtyTwoBits) {
    const struct {
        double value;
        int decimals;
        RzResult expected;
        int32_t scaled;
    } cases[] = {
        {2147483647.0, 0, RZ_OK, 2147483647},
        {-2147483648.0, 0, RZ_OK, -2147483647 - 1},
        {21474836.47, 2, RZ_OK, 2147483647},
        {21474836.48, 2, LINK_E_PARAMETER, 0},
        {-21474836.49, 2, LINK_E_PARAMETER, 0},
        {std::numeric_limits<double>::quiet_NaN(), 0, LINK_E_PARAMETER, 0},
        {std::numeric_limits<double>::infinity(), 0, LINK_E_PARAMETER, 0},
    };
    for (const auto& c : cases) {
        const RzExpected<int32_t> scaled = ScaleRequestValue(c.value, c.decimals);
        EXPECT_EQ(scaled.code(), c.expected) << c.value;
        EXPECT_EQ(scaled.value_or(0), c.scaled) << c.value;
    }
}

TEST(AnswerTests, ErrorAnswersAreRecognised) {
    const struct {
        const char* text;
        bool listError;
        bool numberedError;
    } cases[] = {
        {"E0\r\n", true, false},  {"EA\r\n", false, false}, {"E12\r\n", true, true},
        {"E-1\r\n", true, false}, {"E 3\r\n", true, true},  {"EN\r\n", true, false},
        {"X1\r\n", false, false}, {"", false, false},       {"E", true, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(IsListErrorAnswer(c.text), c.listError) << c.text;
        EXPECT_EQ(IsNumberedErrorAnswer(c.text), c.numberedError) << c.text;
    }
    const struct {
        std::string bytes;
        bool expected;
    } binary[] = {
        {std::string("E1\r\n\0", 5), true},
        {std::string("E\r\n\0", 4), true},
        {std::string("E1\r\n", 4), false},     // terminator not counted
        {std::string("EB1\r\n\0", 6), false},  // a binary block header
        {std::string("X1\r\n\0", 5), false},
        {std::string("E1\r\nxx\0", 7), false},  // CR LF not at the end
        {std::string("E\0", 2), false},
    };
    for (const auto& c : binary) {
        EXPECT_EQ(IsBinaryErrorAnswer(c.bytes.data(), static_cast<uint32_t>(c.bytes.size())),
                  c.expected)
            << c.bytes;
    }
}

TEST(RunLineWalk, LinesReachTheParserUpToTheEndMarker) {
    struct Case {
        std::string answer;
        LineWalkOptions options;
        RzResult expected;
        std::vector<std::string> lines;  // lines handed to the parser
        std::vector<std::string> shown;
    };
    const LineWalkOptions opener{};
    const LineWalkOptions silent{AnswerErrorTest::kNotListOpener, false, kLineWalkCapacity};
    const LineWalkOptions numbered{AnswerErrorTest::kPositiveNumber, true, kLineWalkCapacity};
    const std::string longest = "XX" + std::string(251, 'a') + "\r\n";  // 255 characters
    const std::string tooLong = "XX" + std::string(252, 'a') + "\r\n";  // 256 characters
    const std::vector<Case> cases = {
        {"EA\r\nL1\r\nL2\r\nEN\r\n", opener, RZ_OK, {"EA\r\n", "L1\r\n", "L2\r\n", "EN\r\n"}, {}},
        {"EA\r\nENX\r\nL1\r\n", opener, RZ_OK, {"EA\r\n", "ENX\r\n"}, {}},
        {"EA\r\nL1\r\n", opener, LINK_E_FORMAT, {"EA\r\n", "L1\r\n"}, {}},
        {"EA\r\nL1", opener, LINK_E_FORMAT, {"EA\r\n"}, {}},
        {"EA\nEN\n", opener, LINK_E_FORMAT, {}, {}},
        {"EA\r\n" + longest + "EN\r\n", opener, RZ_OK, {"EA\r\n", longest, "EN\r\n"}, {}},
        {"EA\r\n" + tooLong + "EN\r\n", opener, LINK_E_FORMAT, {"EA\r\n"}, {}},
        {"E1\r\n", opener, REPLY_UNEXPECTED, {}, {"E1"}},
        {"E0\r\nEN\r\n", opener, REPLY_UNEXPECTED, {}, {"E0\r\nEN"}},
        {"E1\r\n", silent, REPLY_UNEXPECTED, {}, {}},
        {"E0\r\nEN\r\n", numbered, RZ_OK, {"E0\r\n", "EN\r\n"}, {}},
        {"E5 busy\r\n", numbered, REPLY_UNEXPECTED, {}, {"E5 busy"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        ShownMessages shown;
        FakeLink link;
        link.QueueAnswer(c.answer);
        std::vector<std::string> lines;
        const RzResult result = RunLineWalk(
            &link, "HO?", c.options, [&lines](const char* line, int length) -> RzResult {
                EXPECT_EQ(std::strlen(line), static_cast<size_t>(length));
                lines.emplace_back(line);
                return RZ_OK;
            });
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(lines, c.lines);
        EXPECT_EQ(shown.texts, c.shown);
        ASSERT_EQ(link.requests().size(), 1u);
        EXPECT_EQ(link.requests()[0].text, "HO?");
        EXPECT_EQ(link.requests()[0].mode, RECV_LIST);
    }
}

TEST(RunLineWalk, ParserFailuresCapacityAndLinkFailures) {
    FakeLink link;
    link.QueueAnswer("EA\r\nL1\r\nL2\r\nL3\r\nEN\r\n");
    int calls = 0;
    EXPECT_EQ(RunLineWalk(&link, "GV?", LineWalkOptions{},
                          [&calls](const char* line, int) {
                              ++calls;
                              return std::strncmp(line, "L2", 2) == 0 ? LINK_E_FORMAT : RZ_OK;
                          }),
              LINK_E_FORMAT);
    EXPECT_EQ(calls, 3) << "the walk ends at the failing line";

    auto noLines = [](const char*, int) { return RZ_OK; };
    // A smaller receive area refuses a longer answer; a larger one is held to the walk's area.
    link.QueueAnswer("EA\r\n" + std::string(300, 'x') + "\r\nEN\r\n");
    const LineWalkOptions small{AnswerErrorTest::kPositiveNumber, false, 256};
    EXPECT_EQ(RunLineWalk(&link, "FU 0", small, noLines), LINK_E_BUFFER_SMALL);
    link.QueueAnswer(std::string(kLineWalkCapacity + 1, 'x'));
    const LineWalkOptions large{AnswerErrorTest::kNotListOpener, true, 1u << 24};
    EXPECT_EQ(RunLineWalk(&link, "FL COM,200", large, noLines), LINK_E_BUFFER_SMALL);

    link.FailNextSend(LINK_E_SEND);
    link.QueueAnswer("EA\r\nEN\r\n");
    EXPECT_EQ(RunLineWalk(&link, "HO?", LineWalkOptions{}, noLines), LINK_E_SEND);
    EXPECT_EQ(link.pendingAnswers(), 1u) << "no receive after a failed send";
    EXPECT_EQ(RunLineWalk(nullptr, "HO?", LineWalkOptions{}, noLines), LINK_E_NOT_INITIALIZED);
}

}  // namespace
