#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "FramingBytes.h"
#include "transport/LinkFraming.h"

namespace {

struct Outcome {
    FrameStatus status = FrameStatus::kIncomplete;
    std::string answer;   // Received() bytes of Answer() once complete
    size_t consumed = 0;  // bytes the framing took from the input
};

// Feeds `input` cut into `chunks` (sizes adding up to the input's length), stopping at the
// first chunk that ends the answer.
Outcome Feed(CLinkFraming& framing, int32_t mode, uint32_t expectedLength, const std::string& input,
             const std::vector<size_t>& chunks) {
    framing.Reset();
    framing.SetMode(mode);
    framing.SetExpectedLength(expectedLength);
    Outcome out;
    size_t offset = 0;
    for (const size_t size : chunks) {
        const auto [status, used] = framing.Feed(input.data() + offset, size);
        out.status = status;
        EXPECT_LE(used, size);
        if (out.status == FrameStatus::kComplete && mode == RECV_BINARY) {
            EXPECT_EQ(framing.Received(), framing.Payload().Size());
        } else {
            EXPECT_LE(framing.Received(), kReceiveAreaSize + 1);
        }
        out.consumed += used;
        offset += size;
        if (out.status != FrameStatus::kIncomplete) {
            break;
        }
        EXPECT_EQ(used, size) << "an unfinished answer takes every byte";
    }
    if (out.status == FrameStatus::kComplete && framing.Received() != 0) {
        out.answer.assign(framing.Answer(), framing.Received());
    }
    return out;
}

// Ways to cut `n` bytes: whole, byte by byte, in two at every position (short inputs), and a
// few seeded random cuttings.
std::vector<std::vector<size_t>> Cuttings(size_t n) {
    std::vector<std::vector<size_t>> cuts;
    cuts.push_back({n});
    cuts.emplace_back(n, 1);
    if (n <= 4096) {
        for (size_t k = 1; k < n; ++k) {
            cuts.push_back({k, n - k});
        }
    }
    std::mt19937 random(static_cast<unsigned>(n) * 7919u + 1u);
    for (int round = 0; round < 12; ++round) {
        std::vector<size_t> cut;
        size_t left = n;
        const size_t largest = round % 2 == 0 ? 7 : 5000;
        while (left > 0) {
            const size_t size =
                std::min(left, std::uniform_int_distribution<size_t>(1, largest)(random));
            cut.push_back(size);
            left -= size;
        }
        cuts.push_back(cut);
    }
    return cuts;
}

struct FrameCase {
    const char* name;
    int32_t mode;
    uint32_t expectedLength;
    std::string input;
    FrameStatus status;
    std::string answer;  // expected answer when complete
    size_t consumed;     // bytes of the input that belong to the answer, when complete
};

void RunEveryCutting(const std::vector<FrameCase>& cases) {
    auto framing = std::make_unique<CLinkFraming>();
    for (const auto& c : cases) {
        for (const auto& cut : Cuttings(c.input.size())) {
            SCOPED_TRACE(testing::Message()
                         << c.name << " / cut into " << cut.size() << " pieces, first " << cut[0]);
            const Outcome out = Feed(*framing, c.mode, c.expectedLength, c.input, cut);
            ASSERT_EQ(out.status, c.status);
            if (c.status == FrameStatus::kComplete) {
                ASSERT_EQ(out.answer, c.answer);
                ASSERT_EQ(out.consumed, c.consumed);
                ASSERT_EQ(framing->Received(), c.answer.size());
            } else if (c.status == FrameStatus::kIncomplete) {
                ASSERT_EQ(out.consumed, c.input.size());
            }
        }
    }
}

const std::string kNul(1, '\0');

}  // namespace

TEST(LinkFraming, TextAnswersCompleteAtTheSameByteHoweverCut) {
    const std::string record48 = "EB\r\n" + Pattern(42, 1) + "\r\n";  // holds CR LF inside
    const std::string plain48 = "12\r\n" + Pattern(44, 2);
    const std::string list = "EA\r\n001,ABC,,D\r\n002,EF\r\nEN\r\n";
    const std::vector<FrameCase> cases = {
        {"list status line", RECV_LIST, 0, "E0\r\n", FrameStatus::kComplete, "E0\r\n", 4},
        {"list bytes after EN are the next answer's", RECV_LIST, 0, list + "E0\r\n",
         FrameStatus::kComplete, list, list.size()},
        {"empty list", RECV_LIST, 0, "EA\r\nEN\r\n", FrameStatus::kComplete, "EA\r\nEN\r\n", 8},
        {"data line ending in EN does not close the list", RECV_LIST, 0,
         "EA\r\nDO01,OPEN\r\nDO02,GREEN\r\n", FrameStatus::kIncomplete, "", 0},
        {"EN inside a line does not close the list", RECV_LIST, 0, "EA\r\nX\r\nEN,1\r\n",
         FrameStatus::kIncomplete, "", 0},
        {"END: anywhere closes a list", RECV_LIST, 0, "EA\r\nxyEND:\r\n", FrameStatus::kComplete,
         "EA\r\nxyEND:\r\n", 12},
        {"END without colon does not close a list", RECV_LIST, 0, "EA\r\nEND\r\n",
         FrameStatus::kIncomplete, "", 0},
        {"EA without line end closes only at END:", RECV_LIST, 0, "EAxy\r\nEN\r\n",
         FrameStatus::kIncomplete, "", 0},
        {"list answer that is neither status line nor list", RECV_LIST, 0, "MODEL:\r\nEN\r\n",
         FrameStatus::kMalformed, "", 0},
        {"a list where a line was asked is taken whole", RECV_LINE, 0, list + "E0\r\n",
         FrameStatus::kComplete, list, list.size()},
        {"a list where a record was asked is taken whole", RECV_FIXED, 4, "EA\r\nEN\r\nxy",
         FrameStatus::kComplete, "EA\r\nEN\r\n" + kNul, 8},
        {"line ends at the first CR LF", RECV_LINE, 0, "E0\r\nE1\r\n", FrameStatus::kComplete,
         "E0\r\n", 4},
        {"bare CR and LF do not end a line", RECV_LINE, 0, "a\rb\nc\n\r", FrameStatus::kIncomplete,
         "", 0},
        {"CR then LF later", RECV_LINE, 0, "a\rb\r\n", FrameStatus::kComplete, "a\rb\r\n", 5},
        {"empty line", RECV_LINE, 0, "\r\n", FrameStatus::kComplete, "\r\n", 2},
        {"fixed status line counts its NUL", RECV_FIXED, 48, "E0\r\n", FrameStatus::kComplete,
         "E0\r\n" + kNul, 4},
        {"fixed bytes after 48 are the next answer's", RECV_FIXED, 48, plain48 + "E0\r\n",
         FrameStatus::kComplete, plain48, 48},
        {"fixed EB record is no status line", RECV_FIXED, 48, record48, FrameStatus::kComplete,
         record48, 48},
        {"fixed status line equal to the length", RECV_FIXED, 4, "E0\r\n", FrameStatus::kComplete,
         "E0\r\n" + kNul, 4},
        {"fixed without expected length waits", RECV_FIXED, 0, "0123456789",
         FrameStatus::kIncomplete, "", 0},
        {"unknown mode never completes", 7, 0, "E0\r\nEA\r\nEN\r\n", FrameStatus::kIncomplete, "",
         0},
    };
    RunEveryCutting(cases);
}

TEST(LinkFraming, BinaryAnswersJoinBlockPayloadsHoweverCut) {
    const std::string p1 = Pattern(100, 1);
    const std::string p2 = Pattern(37, 2);
    const std::string p3 = Pattern(256, 3);
    const std::string three =
        BinaryBlock(p1, false) + BinaryBlock(p2, false) + BinaryBlock(p3, true);
    const std::string block256 = BinaryBlock(p3, true);
    const std::vector<FrameCase> cases = {
        {"three blocks flags 0 0 1", RECV_BINARY, 0, three, FrameStatus::kComplete, p1 + p2 + p3,
         three.size()},
        {"bytes after the last block are the next answer's", RECV_BINARY, 0, block256 + "E0\r\n",
         FrameStatus::kComplete, p3, 270},
        {"a block without EB lead", RECV_BINARY, 0, BinaryBlock(p2, true, std::string(4, '\0')),
         FrameStatus::kComplete, p2, p2.size() + 14},
        {"empty last block after data", RECV_BINARY, 0,
         BinaryBlock(p1, false) + BinaryBlock("", true), FrameStatus::kComplete, p1,
         p1.size() + 28},
        {"error line", RECV_BINARY, 0, "E1 Busy\r\n", FrameStatus::kComplete, "E1 Busy\r\n" + kNul,
         9},
        {"error line after a block replaces the payload", RECV_BINARY, 0,
         BinaryBlock(p1, false) + "E3\r\nxx", FrameStatus::kComplete, "E3\r\n" + kNul,
         p1.size() + 14 + 4},
        {"a list instead of blocks is taken whole", RECV_BINARY, 0, "EA\r\nL1\r\nEN\r\nE0\r\n",
         FrameStatus::kComplete, "EA\r\nL1\r\nEN\r\n" + kNul, 12},
        {"length below 6", RECV_BINARY, 0, BlockHeader(5) + std::string(20, 'x'),
         FrameStatus::kMalformed, "", 0},
        {"length larger than the area", RECV_BINARY, 0, BlockHeader(kReceiveAreaSize - 7),
         FrameStatus::kMalformed, "", 0},
        {"length with the top bit set", RECV_BINARY, 0, BlockHeader(0xFFFFFFFFu),
         FrameStatus::kMalformed, "", 0},
        {"malformed second block", RECV_BINARY, 0, BinaryBlock(p1, false) + BlockHeader(2),
         FrameStatus::kMalformed, "", 0},
    };
    RunEveryCutting(cases);

    // The trace tells how many blocks an answer came in; none when an error line replaced them.
    const struct {
        std::string input;
        uint32_t blocks;
    } counts[] = {{three, 3}, {block256, 1}, {BinaryBlock(p1, false) + "E3\r\n", 0}};
    auto framing = std::make_unique<CLinkFraming>();
    for (const auto& c : counts) {
        EXPECT_EQ(Feed(*framing, RECV_BINARY, 0, c.input, {c.input.size()}).status,
                  FrameStatus::kComplete);
        EXPECT_EQ(framing->Blocks(), c.blocks) << c.input.size();
    }
}

TEST(LinkFraming, AnswersLargerThanTheAreaOverflowInsteadOfOverrunning) {
    const uint32_t area = kReceiveAreaSize;
    const std::string fill(area, 'x');
    const std::string maxLine = std::string(area - 2, 'y') + "\r\n";
    const std::string maxStatus = "E1" + std::string(area - 4, 's') + "\r\n";
    const std::string maxBlockPayload = Pattern(area - 14, 4);
    const std::vector<FrameCase> cases = {
        {"line filling the area waits", RECV_LINE, 0, fill, FrameStatus::kIncomplete, "", 0},
        {"line one byte longer", RECV_LINE, 0, fill + "x", FrameStatus::kOverflow, "", 0},
        {"longest line", RECV_LINE, 0, maxLine, FrameStatus::kComplete, maxLine, area},
        {"line end one byte too late", RECV_LINE, 0, fill + "\r\n", FrameStatus::kOverflow, "", 0},
        {"fixed status line filling the area", RECV_FIXED, 0, maxStatus, FrameStatus::kComplete,
         maxStatus + kNul, area},
        {"fixed record filling the area", RECV_FIXED, area, fill, FrameStatus::kComplete, fill,
         area},
        {"binary error line too long", RECV_BINARY, 0, "E1" + fill, FrameStatus::kOverflow, "", 0},
        {"block filling the area", RECV_BINARY, 0, BinaryBlock(maxBlockPayload, true),
         FrameStatus::kComplete, maxBlockPayload, area},
    };
    RunEveryCutting(cases);
}

TEST(LinkFraming, RepeatedBinaryAnswersReuseThePayloadBlock) {
    std::string answer;
    std::string payload;
    for (int i = 0; i < 12; ++i) {
        const std::string part = Pattern(90000, static_cast<unsigned>(i));
        answer += BinaryBlock(part, i == 11);
        payload += part;
    }
    auto framing = std::make_unique<CLinkFraming>();
    const Outcome first = Feed(*framing, RECV_BINARY, 0, answer, {answer.size()});
    ASSERT_EQ(first.status, FrameStatus::kComplete);
    ASSERT_EQ(first.answer, payload);
    const char* block = framing->Payload().Data();
    const uint32_t capacity = framing->Payload().Capacity();
    const std::vector<size_t> cuts[] = {{answer.size()}, std::vector<size_t>(answer.size(), 1)};
    for (const auto& pieces : cuts) {
        const Outcome again = Feed(*framing, RECV_BINARY, 0, answer, pieces);
        ASSERT_EQ(again.status, FrameStatus::kComplete);
        EXPECT_EQ(again.answer, payload);
        EXPECT_EQ(framing->Payload().Data(), block);
        EXPECT_EQ(framing->Payload().Capacity(), capacity);
    }
}

TEST(LinkFraming, ResetStartsAFreshAnswerAfterAnyOutcome) {
    struct Case {
        const char* name;
        int32_t mode;
        std::string first;
        FrameStatus firstStatus;
    };
    const Case cases[] = {
        {"after a complete line", RECV_LINE, "E0\r\n", FrameStatus::kComplete},
        {"after an overflow", RECV_LINE, std::string(kReceiveAreaSize + 1, 'q'),
         FrameStatus::kOverflow},
        {"after a malformed block", RECV_BINARY, BlockHeader(1), FrameStatus::kMalformed},
        {"after part of a block", RECV_BINARY, BinaryBlock("abc", false), FrameStatus::kIncomplete},
    };
    auto framing = std::make_unique<CLinkFraming>();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome first = Feed(*framing, c.mode, 0, c.first, {c.first.size()});
        ASSERT_EQ(first.status, c.firstStatus);
        const std::string next = c.mode == RECV_BINARY ? BinaryBlock("next", true) : "E5\r\n";
        const Outcome second = Feed(*framing, c.mode, 0, next, {next.size()});
        EXPECT_EQ(second.status, FrameStatus::kComplete);
        EXPECT_EQ(second.answer, c.mode == RECV_BINARY ? "next" : "E5\r\n");
    }
}
