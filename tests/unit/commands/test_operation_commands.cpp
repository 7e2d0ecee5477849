#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "commands/OperationCommands.h"
#include "common/FakeLink.h"
#include "common/ModelBuilder.h"

namespace {

// One object of every operation command, bound to one link and model.
struct Operations {
    CCmdCA ca;
    CCmdRL rl;
    CCmdOC oc;
    CCmdHJ hj;
    CCmdGO go;
    CCmdDT dt;
    CCmdDL dl;
    CCmdDM dm;
    CCmdDV dv;
    CCmdPN pn;
    CCmdPX px;
    CCmdHU hu;
    CCmdAD ad;
    CCmdPS ps;
    CCmdTL tl;
    CCmdAK ak;
    CCmdEV ev;
    CCmdMS ms;

    void Bind(CLinkTransport* link, const CInstrumentModel* model) {
        for (CCommand* c :
             std::initializer_list<CCommand*>{&ca, &rl, &oc, &hj, &go, &dt, &dl, &dm, &dv, &pn, &px,
                                              &hu, &ad, &ps, &tl, &ak, &ev, &ms}) {
            c->Bind(link, model);
        }
    }
};

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Writes `p` into the parameter fields of the command of `key`, in the order of its fields.
CCommand& Apply(Operations& o, const std::string& key, const std::vector<double>& p) {
    auto i = [&p](size_t n) { return static_cast<int32_t>(p.at(n)); };
    auto d = [&p](size_t n) { return p.at(n); };
    if (key == "CA") {
        return o.ca.loop = i(0), o.ca.mode = i(1), o.ca;
    }
    if (key == "RL") {
        return o.rl.state = i(0), o.rl.loop = i(1), o.rl;
    }
    if (key == "OC") {
        return o.oc.state = i(0), o.oc.loop = i(1), o.oc;
    }
    if (key == "HJ") {
        return o.hj.value = d(0), o.hj.decimals = i(1), o.hj.loop = i(2), o.hj;
    }
    if (key == "GO") {
        o.go.loop = i(0), o.go.setPointNumber = i(1);
        return o.go.value = d(2), o.go.decimals = i(3), o.go;
    }
    if (key == "DT") {
        o.dt.loop = i(0), o.dt.setPointNumber = i(1);
        return o.dt.value = d(2), o.dt.decimals = i(3), o.dt;
    }
    if (key == "DL") {
        return o.dl.point = i(0), o.dl.mode = i(1), o.dl;
    }
    if (key == "DM") {
        return o.dm.point = i(0), o.dm.value = i(1), o.dm;
    }
    if (key == "PN") {
        return o.pn.pattern = i(0), o.pn;
    }
    if (key == "PX") {
        return o.px.run = i(0), o.px;
    }
    if (key == "HU") {
        return o.hu.hold = i(0), o.hu;
    }
    if (key == "PS") {
        return o.ps.start = i(0), o.ps;
    }
    if (key == "TL") {
        return o.tl.action = i(0), o.tl;
    }
    if (key == "EV") {
        return o.ev.kind = i(0), o.ev;
    }
    if (key == "MS") {
        return o.ms.message = i(0), o.ms;
    }
    return key == "AD" ? static_cast<CCommand&>(o.ad) : o.ak;
}

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

TEST(OperationCommands, RequestTextsModesRangeChecksAndRefusals) {
    struct Row {
        const char* key;
        const char* request;  // nullptr: refused with LINK_E_PARAMETER
        int32_t mode;
        int32_t optionFlags;                    // bit n sets option flag n + 1 of the identity
        double p0 = 0, p1 = 0, p2 = 0, p3 = 0;  // the parameter fields, in the order of Apply
    };
    constexpr int32_t kLine = RECV_LINE;
    // Internal loops (mode first, state first, values scaled), external loops and DI/DO points,
    // program patterns ("PN" checks 1 to 30), instrument functions.
    const Row rows[] = {{"CA", "CA1,2", kLine, 0, 2, 1},
                        {"RL", "RL1,3", kLine, 0, 1, 3},
                        {"OC", "OC1,4", kLine, 0, 1, 4},
                        {"OC", "OC0,1", kLine, 0, 0, 1},
                        {"OC", nullptr, 0, 0, 2, 1},
                        {"OC", nullptr, 0, 0, -1, 1},
                        {"HJ", "HJ457,2", kLine, 0, 45.67, 1, 2},
                        {"HJ", nullptr, 0, 0, 1e12, 2, 1},
                        {"GO", "GO3,2,1234", kLine, 0, 3, 2, 12.34, 2},
                        {"GO", nullptr, 0, 0, 3, 2, kInf, 0},
                        {"DT", "DT5,1,SP,1005", kLine, 0, 5, 1, 100.5, 1},
                        {"DT", nullptr, 0, 0, 1, 1, -kInf, 0},
                        {"DL", "DL2,1", kLine, 0, 2, 1},
                        {"DM", "DM36,1", kLine, 0, 36, 1},
                        {"PN", "PN 1", kLine, 0, 1},
                        {"PN", "PN 30", kLine, 0, 30},
                        {"PN", nullptr, 0, 0, 0},
                        {"PN", nullptr, 0, 0, 31},
                        {"PX", "PX 1", kLine, 0, 1},
                        {"PX", "PX 0", kLine, 0, 0},
                        {"HU", "HU 1", kLine, 0, 1},
                        {"HU", "HU 0", kLine, 0, 0},
                        {"AD", "AD 1", kLine, 0},
                        {"PS", "PS 0", kLine, 0, 1},
                        {"PS", "PS 0", kLine, 0, -4},
                        {"PS", "PS 1", kLine, 0, 0},
                        {"TL", "TL 0", kLine, 0, 1},
                        {"TL", "TL 2", kLine, 0, 3},
                        {"TL", nullptr, 0, 0, 0},
                        {"TL", nullptr, 0, 0, 4},
                        {"AK", "AK 0", kLine, 0},
                        {"EV", "EV 3", kLine, 0, 3},
                        {"MS", "MS 1", kLine, 0, 1},
                        {"MS", "MS 8", kLine, 0, 8},
                        {"MS", "MS1,8", kLine, 1 << 4, 8},
                        {"MS", "MS 2", kLine, 0x3FF & ~(1 << 4), 2},
                        {"MS", nullptr, 0, 0, 9},
                        {"MS", nullptr, 0, 0, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.key << " " << row.p0 << " " << row.p1 << " "
                                          << row.p2 << " " << row.p3);
        auto model = MakeModel();
        for (int n = 0; n < kPidAuxFlags; ++n) {
            model->pidAux[n] = (row.optionFlags >> n) & 1;
        }
        auto operations = std::make_unique<Operations>();
        FakeLink link;
        link.QueueAnswer("E1\r\n");
        operations->Bind(&link, model.get());
        ExpectRun(Apply(*operations, row.key, {row.p0, row.p1, row.p2, row.p3}), link, row.request,
                  row.mode, LINK_E_PARAMETER);
    }
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

// "PN" and "PX" read a one-line answer, which must begin "E0".
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
    for (bool pattern : {true, false}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(::testing::Message() << (pattern ? "PN / " : "PX / ") << c.name);
            ShownMessages shown;
            auto model = MakeModel();
            FakeLink link;
            if (!c.answer.empty()) {
                link.QueueAnswer(c.answer);
            }
            CCmdPN pn;
            CCmdPX px;
            pn.Bind(&link, model.get());
            px.Bind(&link, model.get());
            pn.pattern = 12;
            EXPECT_EQ(pattern ? pn.Execute() : px.Execute(), c.expected);
            EXPECT_EQ(shown.texts, c.shown);
            ASSERT_EQ(link.requests().size(), 1u);
            EXPECT_EQ(link.requests()[0].mode, RECV_LINE);
        }
    }
}

TEST(CmdDT, QueryFillsTheLimitsOfTheReportedNumbers) {
    struct Limit {
        int loop;    // 1-based
        int number;  // 1-based
        double high;
        double low;
    };
    const struct {
        const char* name;
        std::string answer;
        RzResult expected;
        std::vector<Limit> limits;  // every other entry must be 0
    } cases[] = {
        {"high and low of two numbers",
         "EA\r\nDT3,2,OH,1000\r\nDT3,2,OL,-50\r\nDT3,1,OH,900\r\nEN\r\n",
         RZ_OK,
         {{3, 2, 1000, -50}, {3, 1, 900, 0}}},
        {"numbers outside the tables are ignored",
         "EA\r\nDT17,1,OH,1\r\nDT0,1,OH,1\r\nDT1,9,OH,1\r\nDT1,0,OL,1\r\nDT16,8,OL,7\r\nEN\r\n",
         RZ_OK,
         {{16, 8, 0, 7}}},
        {"other keywords are ignored", "EA\r\nDT1,1,SP,500\r\nDT1,1,oh,5\r\nEN\r\n", RZ_OK, {}},
        {"extra rows up to six", "EA\r\nDT2,4,OL,25,x,y\r\nEN\r\n", RZ_OK, {{2, 4, 0, 25}}},
        {"limits before a malformed line stay",
         "EA\r\nDT1,1,OH,10\r\nDT2,4,OL,25,x,y,z\r\nEN\r\n",
         LINK_E_FORMAT,
         {{1, 1, 10, 0}}},
        {"error line", "E1\r\n", REPLY_UNEXPECTED, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto model = MakeModel();
        auto dt = std::make_unique<CCmdDT>();
        FakeLink link;
        link.QueueAnswer(c.answer);
        dt->Bind(&link, model.get());
        for (int l = 0; l < kDtLoops; ++l) {
            for (int k = 0; k < kDtSetPoints; ++k) {
                dt->outputHigh[l][k] = dt->outputLow[l][k] = 555.0;  // an earlier run's results
            }
        }
        dt->loop = 3;
        dt->pidNumber = 2;
        EXPECT_EQ(dt->Query(), c.expected);
        ASSERT_EQ(link.requests().size(), 1u);
        EXPECT_EQ(link.requests()[0].text, "DT3,2?");
        EXPECT_EQ(link.requests()[0].mode, RECV_LIST);
        double high[kDtLoops][kDtSetPoints] = {};
        double low[kDtLoops][kDtSetPoints] = {};
        for (const auto& limit : c.limits) {
            high[limit.loop - 1][limit.number - 1] = limit.high;
            low[limit.loop - 1][limit.number - 1] = limit.low;
        }
        for (int l = 0; l < kDtLoops; ++l) {
            for (int k = 0; k < kDtSetPoints; ++k) {
                EXPECT_EQ(dt->outputHigh[l][k], high[l][k]) << "loop " << l + 1 << " #" << k + 1;
                EXPECT_EQ(dt->outputLow[l][k], low[l][k]) << "loop " << l + 1 << " #" << k + 1;
            }
        }
    }
}

}  // namespace
