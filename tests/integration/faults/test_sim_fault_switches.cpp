// The simulator's fault switches themselves: where a stalled answer stops, how a list is
// garbled, how binary answers are cut into blocks, the soak mode's choices and the flags.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "SimAnswerFormat.h"
#include "SimOptions.h"
#include "SimSession.h"

namespace {

TEST(SimFaultSwitches, StallCutStopsInsideTheFirstBlockOrHalfway) {
    const std::string twoBlocks = SimBinaryBlocks(std::string(100, 'x'), 60);
    const std::string oneBlock = SimBinaryBlocks("abcdefgh", 0);
    struct Case {
        const char* name;
        std::string answer;
        size_t cut;
    };
    const Case cases[] = {
        {"List", "EA\r\nDA1\r\nEN\r\n", 6},
        {"StatusLine", "E0\r\n", 2},
        // Block of 60 payload bytes: header 8, L = 66, so 8 + 33.
        {"FirstOfTwoBlocks", twoBlocks, 8 + 33},
        // 8 payload bytes: L = 14, 8 + 7 — past the header, short of the payload's end.
        {"SingleBlock", oneBlock, 8 + 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SimStallCut(c.answer), c.cut);
        EXPECT_LT(SimStallCut(c.answer), c.answer.size());
    }
}

TEST(SimFaultSwitches, BlockSpansFollowTheLengthFields) {
    struct Case {
        const char* name;
        std::string answer;
        std::vector<size_t> sizes;
    };
    const std::string truncated = SimBinaryBlocks(std::string(10, 'y'), 0).substr(0, 12);
    const Case cases[] = {
        {"ThreeBlocks", SimBinaryBlocks(std::string(250, 'z'), 100), {114, 114, 64}},
        {"OneBlock", SimBinaryBlocks("p", 0), {15}},
        {"CutShortTakesTheRest", truncated, {12}},
        {"ShorterThanAHeader", "EB\r\n", {4}},
        {"Empty", "", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<size_t> sizes;
        size_t total = 0;
        for (const auto block : SimBinaryBlockSpans(c.answer)) {
            sizes.push_back(block.size());
            total += block.size();
        }
        EXPECT_EQ(sizes, c.sizes);
        EXPECT_EQ(total, c.answer.size());
    }
}

TEST(SimFaultSwitches, GarbledLists) {
    struct Case {
        const char* name;
        std::string answer;
        SimGarble kind;
        std::string garbled;
    };
    const Case cases[] = {
        {"DropOpener", "EA\r\nA,1\r\nB,2\r\nEN\r\n", SimGarble::kDropOpener,
         "A,1\r\nB,2\r\nEN\r\n"},
        {"CutFirstLineEnd", "EA\r\nA,1\r\nB,2\r\nEN\r\n", SimGarble::kCutLineEnd,
         "EA\r\nA,1B,2\r\nEN\r\n"},
        // An empty list has no data line to spoil; the closer must stay intact.
        {"EmptyListKeepsCloser", "EA\r\nEN\r\n", SimGarble::kCutLineEnd, "EA\r\nEN\r\n"},
        {"EndMarkerKept", "EA\r\nEND:\r\n", SimGarble::kCutLineEnd, "EA\r\nEND:\r\n"},
        {"StatusLinePasses", "E1\r\n", SimGarble::kDropOpener, "E1\r\n"},
        {"BinaryPasses", "EB\r\n\0\0\0\x07\x01\0\0\0x\r\n", SimGarble::kDropOpener,
         "EB\r\n\0\0\0\x07\x01\0\0\0x\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SimGarbleList(c.answer, c.kind), c.garbled);
    }
}

TEST(SimFaultSwitches, SoakModePicksEveryNthRequestAndEveryKind) {
    EXPECT_EQ(SimPickRandomFault(5, 0, 3), SimRandomFault::kNone);
    EXPECT_EQ(SimPickRandomFault(4, 5, 3), SimRandomFault::kNone);
    EXPECT_EQ(SimPickRandomFault(0, 5, 0), SimRandomFault::kDelay);
    std::map<SimRandomFault, int> seen;
    for (uint32_t draw = 0; draw < 50; ++draw) {
        const SimRandomFault f = SimPickRandomFault(10, 5, draw);
        EXPECT_NE(f, SimRandomFault::kNone);
        EXPECT_STRNE(SimRandomFaultName(f), "none");
        ++seen[f];
    }
    EXPECT_EQ(seen.size(), 5u);
}

TEST(SimFaultSwitches, FlagsSetTheSwitches) {
    struct Case {
        std::vector<std::string> args;
        bool ok;
        std::function<bool(const CSimFaults&)> check;
    };
    const Case cases[] = {
        {{"--stall-mid-answer", "7"},
         true,
         [](const CSimFaults& f) { return f.stallMidAnswerOn == 7; }},
        {{"--stall-mid-answer", "0"}, false, nullptr},
        {{"--garble-list=3"},
         true,
         [](const CSimFaults& f) {
             return f.garbleListOn == 3 && f.garbleKind == SimGarble::kDropOpener;
         }},
        {{"--garble-list", "2", "--garble-kind", "line-end"},
         true,
         [](const CSimFaults& f) { return f.garbleKind == SimGarble::kCutLineEnd; }},
        {{"--garble-kind", "middle"}, false, nullptr},
        {{"--merge-blocks"}, true, [](const CSimFaults& f) { return f.mergeBinaryBlocks; }},
        {{"--merge-blocks=1"}, false, nullptr},
        {{"--split-blocks", "25"},
         true,
         [](const CSimFaults& f) { return f.splitBlockPauseMs == 25; }},
        {{"--split-blocks", "0"}, false, nullptr},
        {{"--fault-every", "4", "--seed", "99", "--fault-delay", "200"},
         true,
         [](const CSimFaults& f) {
             return f.randomFaultEvery == 4 && f.randomSeed == 99 && f.randomDelayMs == 200;
         }},
        {{"--fault-every", "-1"}, false, nullptr},
        {{"--seed"}, false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.front());
        CSimOptions options;
        std::string error;
        ASSERT_EQ(ParseSimOptions(c.args, &options, &error), c.ok) << error;
        if (c.ok) {
            EXPECT_TRUE(c.check(options.faults));
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
    for (const char* flag :
         {"--stall-mid-answer", "--garble-list", "--garble-kind", "--merge-blocks",
          "--split-blocks", "--fault-every", "--seed", "--fault-delay"}) {
        EXPECT_NE(SimHelpText().find(flag), std::string::npos) << flag;
    }
}

}  // namespace
