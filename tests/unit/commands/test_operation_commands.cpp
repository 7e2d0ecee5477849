#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "QueryRunner.h"
#include "commands/OperationCommands.h"
#include "common/FakeLink.h"
#include "common/ModelBuilder.h"

// Entry 0: every limit that is not 0, as loop, number, high and low.
template <>
std::string Entry(const CCmdDT& c, int) {
    std::string cells;
    for (int l = 0; l < kDtLoops; ++l) {
        for (int k = 0; k < kDtSetPoints; ++k) {
            if (c.outputHigh[l][k] != 0 || c.outputLow[l][k] != 0) {
                cells += Row(l + 1, k + 1, c.outputHigh[l][k], c.outputLow[l][k]) + " ";
            }
        }
    }
    return cells;
}

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Sets up each command through its parameter fields and answers its request "E1": the refusal
// must reach the caller, so each command is seen to read its answer and pass on the status.
// A command that refuses its parameters sends nothing and leaves the answer unread.
void ExpectRun(CCommand& command, FakeLink& link, const char* request, int32_t mode,
               RzResult unsent) {
    ShownMessages shown;
    if (request == nullptr) {
        EXPECT_EQ(command.Execute(), unsent);
        EXPECT_TRUE(link.requests().empty());
        EXPECT_EQ(link.pendingAnswers(), 1u);
        return;
    }
    EXPECT_EQ(command.Execute(), REPLY_ERROR);
    ASSERT_EQ(link.requests().size(), 1u);
    EXPECT_EQ(link.requests()[0].text, request);
    EXPECT_EQ(link.requests()[0].mode, mode);
    EXPECT_EQ(shown.texts, std::vector<std::string>{"E1"});
}

using P = std::vector<double>;

// Runs a fresh `Command`, its parameter fields set from `p` by `set`, on an identity whose
// option flag n + 1 is bit n of `optionFlags`; `request` nullptr: refused with LINK_E_PARAMETER.
template <typename Command>
auto Op(void (*set)(Command&, const P&)) {
    return [set](const P& p, const char* request, int32_t optionFlags = 0) {
        SCOPED_TRACE(::testing::Message()
                     << ::testing::PrintToString(p) << " flags " << optionFlags);
        auto model = MakeModel();
        for (int n = 0; n < kPidAuxFlags; ++n) {
            model->pidAux[n] = (optionFlags >> n) & 1;
        }
        FakeLink link;
        link.QueueAnswer("E1\r\n");
        auto command = std::make_unique<Command>();
        command->Bind(&link, model.get());
        set(*command, p);
        ExpectRun(*command, link, request, RECV_LINE, LINK_E_PARAMETER);
    };
}

// Internal loops (mode first, state first, values scaled), external loops and DI/DO points,
// program patterns ("PN" checks 1 to 30), instrument functions.
TEST(OperationCommands, RequestTextsModesRangeChecksAndRefusals) {
    Op<CCmdCA>([](CCmdCA& c, const P& p) { c.loop = p[0], c.mode = p[1]; })({2, 1}, "CA1,2");
    Op<CCmdRL>([](CCmdRL& c, const P& p) { c.state = p[0], c.loop = p[1]; })({1, 3}, "RL1,3");
    const auto oc = Op<CCmdOC>([](CCmdOC& c, const P& p) { c.state = p[0], c.loop = p[1]; });
    oc({1, 4}, "OC1,4");
    oc({0, 1}, "OC0,1");
    oc({2, 1}, nullptr);
    oc({-1, 1}, nullptr);
    const auto hj =
        Op<CCmdHJ>([](CCmdHJ& c, const P& p) { c.value = p[0], c.decimals = p[1], c.loop = p[2]; });
    hj({45.67, 1, 2}, "HJ457,2");
    hj({1e12, 2, 1}, nullptr);
    const auto go = Op<CCmdGO>([](CCmdGO& c, const P& p) {
        c.loop = p[0], c.setPointNumber = p[1], c.value = p[2], c.decimals = p[3];
    });
    go({3, 2, 12.34, 2}, "GO3,2,1234");
    go({3, 2, kInf, 0}, nullptr);
    const auto dt = Op<CCmdDT>([](CCmdDT& c, const P& p) {
        c.loop = p[0], c.setPointNumber = p[1], c.value = p[2], c.decimals = p[3];
    });
    dt({5, 1, 100.5, 1}, "DT5,1,SP,1005");
    dt({1, 1, -kInf, 0}, nullptr);
    Op<CCmdDL>([](CCmdDL& c, const P& p) { c.point = p[0], c.mode = p[1]; })({2, 1}, "DL2,1");
    Op<CCmdDM>([](CCmdDM& c, const P& p) { c.point = p[0], c.value = p[1]; })({36, 1}, "DM36,1");
    const auto pn = Op<CCmdPN>([](CCmdPN& c, const P& p) { c.pattern = p[0]; });
    pn({1}, "PN 1");
    pn({30}, "PN 30");
    pn({0}, nullptr);
    pn({31}, nullptr);
    const auto px = Op<CCmdPX>([](CCmdPX& c, const P& p) { c.run = p[0]; });
    px({1}, "PX 1");
    px({0}, "PX 0");
    const auto hu = Op<CCmdHU>([](CCmdHU& c, const P& p) { c.hold = p[0]; });
    hu({1}, "HU 1");
    hu({0}, "HU 0");
    Op<CCmdAD>([](CCmdAD&, const P&) {})({}, "AD 1");
    const auto ps = Op<CCmdPS>([](CCmdPS& c, const P& p) { c.start = p[0]; });
    ps({1}, "PS 0");
    ps({-4}, "PS 0");
    ps({0}, "PS 1");
    const auto tl = Op<CCmdTL>([](CCmdTL& c, const P& p) { c.action = p[0]; });
    tl({1}, "TL 0");
    tl({3}, "TL 2");
    tl({0}, nullptr);
    tl({4}, nullptr);
    Op<CCmdAK>([](CCmdAK&, const P&) {})({}, "AK 0");
    Op<CCmdEV>([](CCmdEV& c, const P& p) { c.kind = p[0]; })({3}, "EV 3");
    const auto ms = Op<CCmdMS>([](CCmdMS& c, const P& p) { c.message = p[0]; });
    ms({1}, "MS 1");
    ms({8}, "MS 8");
    ms({8}, "MS1,8", 1 << 4);
    ms({2}, "MS 2", 0x3FF & ~(1 << 4));
    ms({9}, nullptr);
    ms({0}, nullptr);
    // "DV": the item of the loop picks what is sent; other items send nothing. runStop defaults
    // to 2, stop; an item shorter than six bytes is copied with its terminator, so "MOUTXX"
    // fills all six.
    const struct {
        int32_t loop;
        const char* item;
        CDvLoopRecord record;
        const char* request;
        RzResult unsent;
    } dvRows[] = {
        {5, "sr", {3, 0, 1, 0.0, 0}, "DV5,SR,1", RZ_OK},
        {5, "SR", {}, "DV5,SR,0", RZ_OK},
        {1, "MODE", {}, "DV1,MODE,3", RZ_OK},
        {16, "rL", {3, 1, 2, 0.0, 0}, "DV16,RL,1", RZ_OK},
        {1, "MOUT", {3, 0, 2, 45.67, 1}, "DV1,MOUT,457", RZ_OK},
        {2, "mout", {3, 0, 2, kNaN, 1}, nullptr, LINK_E_PARAMETER},
        {5, "MOD", {}, nullptr, RZ_OK},
        {5, "MODEX", {}, nullptr, RZ_OK},
        {5, "MOUTXX", {}, nullptr, RZ_OK},
        {0, "MODE", {}, nullptr, LINK_E_PARAMETER},
        {17, "MODE", {}, nullptr, LINK_E_PARAMETER},
    };
    for (const auto& row : dvRows) {
        SCOPED_TRACE(::testing::Message() << "DV " << row.loop << " '" << row.item << "'");
        auto model = MakeModel();
        CCmdDV dv;
        FakeLink link;
        link.QueueAnswer("E1\r\n");
        dv.Bind(&link, model.get());
        dv.loop = row.loop;
        if (row.loop >= 1 && row.loop <= kDvLoops) {
            const size_t length = std::strlen(row.item);
            std::memcpy(dv.item[row.loop - 1], row.item,
                        length < kDvItemSize ? length + 1 : kDvItemSize);
            dv.records[row.loop - 1] = row.record;
        }
        ExpectRun(dv, link, row.request, RECV_LINE, row.unsent);
    }
}

TEST(OperationCommands, FailedSendIsNotFollowedByAReceive) {
    auto model = MakeModel();
    FakeLink link;
    CCmdAK ak;
    EXPECT_EQ(ak.Execute(), LINK_E_NOT_INITIALIZED);
    ak.Bind(&link, model.get());
    link.FailNextSend(LINK_E_SEND);
    link.QueueAnswer("E0\r\n");
    EXPECT_EQ(ak.Execute(), LINK_E_SEND);
    EXPECT_EQ(link.pendingAnswers(), 1u);
}

TEST(CmdDV, ItemIsUpperCasedInPlaceAndOtherLoopsAreUntouched) {
    auto model = MakeModel();
    CCmdDV dv;
    FakeLink link;
    link.QueueAnswer("E0\r\n");
    dv.Bind(&link, model.get());
    std::strcpy(dv.item[3], "mout");
    std::strcpy(dv.item[4], "mode");
    dv.records[3].manualOutput = 12.5;
    dv.loop = 4;
    ASSERT_EQ(dv.Execute(), RZ_OK);
    ASSERT_EQ(link.requests().size(), 1u);
    EXPECT_EQ(link.requests()[0].text, "DV4,MOUT,13");
    EXPECT_STREQ(dv.item[3], "MOUT");
    EXPECT_STREQ(dv.item[4], "mode");
}

TEST(CmdMS, OptionFlagIsReadOnEveryRun) {
    auto model = MakeModel();
    CCmdMS ms;
    FakeLink link;
    link.SetDefaultAnswer("E0\r\n");
    ms.Bind(&link, model.get());
    ms.message = 3;
    for (int32_t flag : {0, 1, 0}) {
        model->pidAux[4] = flag;
        ASSERT_EQ(ms.Execute(), RZ_OK);
    }
    ASSERT_EQ(link.requests().size(), 3u);
    EXPECT_EQ(link.requests()[1].text, "MS1,3");
    EXPECT_EQ(link.requests()[2].text, "MS 3");
}

// The one-line status path the program commands share, through "PN"; "PX" takes it too.
TEST(ProgramCommands, OneLineAnswersMustBeginE0) {
    const struct {
        const char* name;
        std::string answer;  // empty: the receive times out
        RzResult expected;
        std::vector<std::string> shown;
    } cases[] = {
        {"E0 with text", "E0 ok\r\n", RZ_OK, {}},
        {"a list is no status line", "EA\r\n", REPLY_UNEXPECTED, {"EA"}},
        {"not an E line", "OK\r\n", REPLY_ERROR, {"OK"}},
        {"longest answer", "E0" + std::string(254, 'x'), RZ_OK, {}},
        {"answer beyond the line buffer", "E0" + std::string(255, 'x'), LINK_E_BUFFER_SMALL, {}},
        {"time-out", "", LINK_E_TIMEOUT, {}},
    };
    auto model = MakeModel();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ShownMessages shown;
        FakeLink link;
        if (!c.answer.empty()) {
            link.QueueAnswer(c.answer);
        }
        CCmdPN pn;
        pn.Bind(&link, model.get());
        pn.pattern = 12;
        EXPECT_EQ(pn.Execute(), c.expected);
        EXPECT_EQ(shown.texts, c.shown);
        ASSERT_EQ(link.requests().size(), 1u);
        EXPECT_EQ(link.requests()[0].mode, RECV_LINE);
    }
    FakeLink link;
    link.QueueAnswer("OK\r\n");
    CCmdPX px;
    px.Bind(&link, model.get());
    EXPECT_EQ(px.Execute(), REPLY_ERROR);
}

TEST(CmdDT, QueryFillsTheLimitsOfTheReportedNumbers) {
    const auto dt = Runner<CCmdDT>([](CCmdDT& c) {
        for (int l = 0; l < kDtLoops; ++l) {
            for (int k = 0; k < kDtSetPoints; ++k) {
                c.outputHigh[l][k] = c.outputLow[l][k] = 555.0;  // an earlier run's results
            }
        }
        c.loop = 3;
        c.pidNumber = 2;
    });
    dt("high and low of two numbers", List({"DT3,2,OH,1000", "DT3,2,OL,-50", "DT3,1,OH,900"}),
       RZ_OK, {"?=DT3,2?|3", "0=3|1|900|0 3|2|1000|-50 "});
    dt("numbers outside the tables are ignored",
       List({"DT17,1,OH,1", "DT0,1,OH,1", "DT1,9,OH,1", "DT1,0,OL,1", "DT16,8,OL,7"}), RZ_OK,
       {"0=16|8|0|7 "});
    dt("other keywords are ignored", List({"DT1,1,SP,500", "DT1,1,oh,5"}), RZ_OK, {"0="});
    dt("extra rows up to six", List({"DT2,4,OL,25,x,y"}), RZ_OK, {"0=2|4|0|25 "});
    dt("limits before a malformed line stay", List({"DT1,1,OH,10", "DT2,4,OL,25,x,y,z"}),
       LINK_E_FORMAT, {"0=1|1|10|0 "});
    dt("error line", "E1\r\n", REPLY_UNEXPECTED, {"0="}, "E1");
}

}  // namespace
