#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "commands/OperationCommands.h"
#include "model/InstrumentModel.h"
#include "platform/StatusSink.h"
#include "unit/commands/FakeLink.h"

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

std::unique_ptr<CInstrumentModel> MakeModel() {
    auto model = std::make_unique<CInstrumentModel>();
    std::memset(model.get(), 0, sizeof(CInstrumentModel));
    model->modelClass = 3200;
    model->firmwareMajor = 3;
    model->version = 0x30006;
    return model;
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// Sets the parameters of one command and returns it.
using Setup = std::function<CCommand&(Operations&, CInstrumentModel&)>;

struct RequestCase {
    std::string name;
    Setup setup;
    RzResult expected;
    const char* request;  // nullptr: nothing may be sent
    int32_t mode;
};

// Writes `p` into the parameter fields of the command of `key`, in the order of its fields.
CCommand& Apply(Operations& o, const std::string& key, const std::vector<double>& p) {
    auto i = [&p](size_t n) { return static_cast<int32_t>(p.at(n)); };
    if (key == "CA") {
        o.ca.loop = i(0);
        o.ca.mode = i(1);
        return o.ca;
    }
    if (key == "RL") {
        o.rl.state = i(0);
        o.rl.loop = i(1);
        return o.rl;
    }
    if (key == "OC") {
        o.oc.state = i(0);
        o.oc.loop = i(1);
        return o.oc;
    }
    if (key == "HJ") {
        o.hj.value = p.at(0);
        o.hj.decimals = i(1);
        o.hj.loop = i(2);
        return o.hj;
    }
    if (key == "GO") {
        o.go.loop = i(0);
        o.go.setPointNumber = i(1);
        o.go.value = p.at(2);
        o.go.decimals = i(3);
        return o.go;
    }
    if (key == "DT") {
        o.dt.loop = i(0);
        o.dt.setPointNumber = i(1);
        o.dt.value = p.at(2);
        o.dt.decimals = i(3);
        return o.dt;
    }
    if (key == "DL") {
        o.dl.point = i(0);
        o.dl.mode = i(1);
        return o.dl;
    }
    if (key == "DM") {
        o.dm.point = i(0);
        o.dm.value = i(1);
        return o.dm;
    }
    if (key == "PN") {
        o.pn.pattern = i(0);
        return o.pn;
    }
    if (key == "PX") {
        o.px.run = i(0);
        return o.px;
    }
    if (key == "HU") {
        o.hu.hold = i(0);
        return o.hu;
    }
    if (key == "PS") {
        o.ps.start = i(0);
        return o.ps;
    }
    if (key == "TL") {
        o.tl.action = i(0);
        return o.tl;
    }
    if (key == "EV") {
        o.ev.kind = i(0);
        return o.ev;
    }
    if (key == "MS") {
        o.ms.message = i(0);
        return o.ms;
    }
    if (key == "AK") {
        return o.ak;
    }
    if (key == "AD") {
        return o.ad;
    }
    ADD_FAILURE() << "no command " << key;
    return o.ak;
}

std::vector<RequestCase> RequestCases() {
    struct Row {
        const char* key;
        std::vector<double> params;
        RzResult expected;
        const char* request;
        int32_t mode;
        int32_t optionFlags;  // bit n sets option flag n + 1 of the identity
    };
    const std::vector<Row> rows = {
        // Internal loops: mode first, state first; values scaled.
        {"CA", {2, 1}, RZ_OK, "CA1,2", RECV_LINE, 0},
        {"CA", {6, 2}, RZ_OK, "CA2,6", RECV_LINE, 0},
        {"RL", {1, 3}, RZ_OK, "RL1,3", RECV_LINE, 0},
        {"OC", {1, 4}, RZ_OK, "OC1,4", RECV_LINE, 0},
        {"OC", {0, 1}, RZ_OK, "OC0,1", RECV_LINE, 0},
        {"OC", {2, 1}, LINK_E_PARAMETER, nullptr, 0, 0},
        {"OC", {-1, 1}, LINK_E_PARAMETER, nullptr, 0, 0},
        {"HJ", {45.67, 1, 2}, RZ_OK, "HJ457,2", RECV_LINE, 0},
        {"HJ", {-1.25, 1, 1}, RZ_OK, "HJ-12,1", RECV_LINE, 0},
        {"HJ", {kNaN, 0, 1}, LINK_E_PARAMETER, nullptr, 0, 0},
        {"HJ", {1e12, 2, 1}, LINK_E_PARAMETER, nullptr, 0, 0},
        {"GO", {3, 2, 12.34, 2}, RZ_OK, "GO3,2,1234", RECV_LINE, 0},
        {"GO", {3, 2, kInf, 0}, LINK_E_PARAMETER, nullptr, 0, 0},
        // External loops and DI/DO points.
        {"DT", {5, 1, 100.5, 1}, RZ_OK, "DT5,1,SP,1005", RECV_LINE, 0},
        {"DT", {16, 8, -0.5, 0}, RZ_OK, "DT16,8,SP,0", RECV_LINE, 0},
        {"DT", {1, 1, -kInf, 0}, LINK_E_PARAMETER, nullptr, 0, 0},
        {"DL", {2, 1}, RZ_OK, "DL2,1", RECV_LINE, 0},
        {"DM", {36, 1}, RZ_OK, "DM36,1", RECV_LINE, 0},
        // Program patterns: "PN" checks 1 to 30; both send in list mode.
        {"PN", {1}, RZ_OK, "PN 1", RECV_LINE, 0},
        {"PN", {30}, RZ_OK, "PN 30", RECV_LINE, 0},
        {"PN", {0}, LINK_E_PARAMETER, nullptr, 0, 0},
        {"PN", {31}, LINK_E_PARAMETER, nullptr, 0, 0},
        {"PN", {-1}, LINK_E_PARAMETER, nullptr, 0, 0},
        {"PX", {1}, RZ_OK, "PX 1", RECV_LINE, 0},
        {"PX", {0}, RZ_OK, "PX 0", RECV_LINE, 0},
        {"HU", {1}, RZ_OK, "HU 1", RECV_LINE, 0},
        {"HU", {0}, RZ_OK, "HU 0", RECV_LINE, 0},
        {"AD", {}, RZ_OK, "AD 1", RECV_LINE, 0},
        // Instrument functions.
        {"PS", {1}, RZ_OK, "PS 0", RECV_LINE, 0},
        {"PS", {-4}, RZ_OK, "PS 0", RECV_LINE, 0},
        {"PS", {0}, RZ_OK, "PS 1", RECV_LINE, 0},
        {"TL", {1}, RZ_OK, "TL 0", RECV_LINE, 0},
        {"TL", {2}, RZ_OK, "TL 1", RECV_LINE, 0},
        {"TL", {3}, RZ_OK, "TL 2", RECV_LINE, 0},
        {"TL", {0}, LINK_E_PARAMETER, nullptr, 0, 0},
        {"TL", {4}, LINK_E_PARAMETER, nullptr, 0, 0},
        {"AK", {}, RZ_OK, "AK 0", RECV_LINE, 0},
        {"EV", {3}, RZ_OK, "EV 3", RECV_LINE, 0},
        {"MS", {1}, RZ_OK, "MS 1", RECV_LINE, 0},
        {"MS", {8}, RZ_OK, "MS 8", RECV_LINE, 0},
        {"MS", {8}, RZ_OK, "MS1,8", RECV_LINE, 1 << 4},
        {"MS", {2}, RZ_OK, "MS 2", RECV_LINE, 0x3FF & ~(1 << 4)},
        {"MS", {9}, LINK_E_PARAMETER, nullptr, 0, 0},
        {"MS", {0}, LINK_E_PARAMETER, nullptr, 0, 0},
        {"MS", {-8}, LINK_E_PARAMETER, nullptr, 0, 0},
    };

    // "DV": the item of the loop picks what is sent; other items send nothing.
    struct DvRow {
        int32_t loop;
        const char* item;  // copied with its terminator when it is shorter than six bytes
        CDvLoopRecord record;
        RzResult expected;
        const char* request;
    };
    const std::vector<DvRow> dvRows = {
        {5, "sr", {3, 0, 1, 0.0, 0}, RZ_OK, "DV5,SR,1"},
        {5, "SR", {}, RZ_OK, "DV5,SR,0"},  // runStop defaults to 2: stop
        {5, "Sr", {3, 0, 0, 0.0, 0}, RZ_OK, "DV5,SR,0"},
        {3, "mode", {2, 0, 2, 0.0, 0}, RZ_OK, "DV3,MODE,2"},
        {1, "MODE", {}, RZ_OK, "DV1,MODE,3"},
        {16, "rL", {3, 1, 2, 0.0, 0}, RZ_OK, "DV16,RL,1"},
        {1, "MOUT", {3, 0, 2, 45.67, 1}, RZ_OK, "DV1,MOUT,457"},
        {2, "mout", {3, 0, 2, kNaN, 1}, LINK_E_PARAMETER, nullptr},
        {5, "", {}, RZ_OK, nullptr},
        {5, "SP", {}, RZ_OK, nullptr},
        {5, "MOD", {}, RZ_OK, nullptr},
        {5, "MODEX", {}, RZ_OK, nullptr},
        {5, "MOUTXX", {}, RZ_OK, nullptr},  // fills all six bytes, no terminator
        {0, "MODE", {}, LINK_E_PARAMETER, nullptr},
        {17, "MODE", {}, LINK_E_PARAMETER, nullptr},
        {-1, "MODE", {}, LINK_E_PARAMETER, nullptr},
    };

    std::vector<RequestCase> cases;
    for (const auto& row : rows) {
        std::string name = row.key;
        for (double p : row.params) {
            name += " " + std::to_string(p);
        }
        cases.push_back({name,
                         [row](Operations& o, CInstrumentModel& m) -> CCommand& {
                             for (int n = 0; n < kPidAuxFlags; ++n) {
                                 m.pidAux[n] = (row.optionFlags >> n) & 1;
                             }
                             return Apply(o, row.key, row.params);
                         },
                         row.expected, row.request, row.mode});
    }
    for (const auto& row : dvRows) {
        cases.push_back({"DV " + std::to_string(row.loop) + " '" + row.item + "'",
                         [row](Operations& o, CInstrumentModel&) -> CCommand& {
                             o.dv.loop = row.loop;
                             if (row.loop >= 1 && row.loop <= kDvLoops) {
                                 const size_t length = std::strlen(row.item);
                                 std::memcpy(o.dv.item[row.loop - 1], row.item,
                                             length < kDvItemSize ? length + 1 : kDvItemSize);
                                 o.dv.records[row.loop - 1] = row.record;
                             }
                             return o.dv;
                         },
                         row.expected, row.request, row.request ? RECV_LINE : 0});
    }
    return cases;
}

TEST(OperationCommands, RequestTextsModesAndRangeChecks) {
    for (const auto& c : RequestCases()) {
        SCOPED_TRACE(c.name);
        auto model = MakeModel();
        auto operations = std::make_unique<Operations>();
        FakeLink link;
        link.QueueAnswer("E0\r\n");
        operations->Bind(&link, model.get());
        CCommand& command = c.setup(*operations, *model);
        EXPECT_EQ(command.Execute(), c.expected);
        if (c.request == nullptr) {
            EXPECT_TRUE(link.requests().empty());
            EXPECT_EQ(link.pendingAnswers(), 1u);
        } else {
            ASSERT_EQ(link.requests().size(), 1u);
            EXPECT_EQ(link.requests()[0].text, c.request);
            EXPECT_EQ(link.requests()[0].mode, c.mode);
            EXPECT_EQ(link.pendingAnswers(), 0u);
        }
    }
}

// Every status command reads its answer with the status rules.
TEST(OperationCommands, StatusAnswersOfEveryLineModeCommand) {
    struct Answer {
        const char* name;
        std::string bytes;  // empty: the link fails with `code`
        RzResult code;
        RzResult expected;
        bool shown;
    };
    const std::vector<Answer> answers = {
        {"E0", "E0\r\n", RZ_OK, RZ_OK, false},
        {"E1", "E1\r\n", RZ_OK, REPLY_ERROR, true},
        {"E7 with text", "E7 Not allowed\r\n", RZ_OK, REPLY_ERROR, true},
        {"EA", "EA\r\n", RZ_OK, REPLY_UNEXPECTED, true},
        {"not an E line", "OK\r\n", RZ_OK, RZ_OK, false},
        {"time-out", "", LINK_E_TIMEOUT, LINK_E_TIMEOUT, false},
    };
    for (const auto& c : RequestCases()) {
        // "PN" and "PX" read their line by their own rule (ProgramCommands below).
        const bool program = c.name.rfind("PN", 0) == 0 || c.name.rfind("PX", 0) == 0;
        if (c.request == nullptr || c.mode != RECV_LINE || program) {
            continue;
        }
        for (const auto& a : answers) {
            SCOPED_TRACE(::testing::Message() << c.name << " / " << a.name);
            ShownMessages shown;
            auto model = MakeModel();
            auto operations = std::make_unique<Operations>();
            FakeLink link;
            if (a.bytes.empty()) {
                link.QueueReceiveError(a.code);
            } else {
                link.QueueAnswer(a.bytes);
            }
            operations->Bind(&link, model.get());
            EXPECT_EQ(c.setup(*operations, *model).Execute(), a.expected);
            if (a.shown) {
                ASSERT_EQ(shown.texts.size(), 1u);
                EXPECT_EQ(shown.texts[0] + "\r\n", a.bytes);
            } else {
                EXPECT_TRUE(shown.texts.empty());
            }
        }
    }
}

TEST(OperationCommands, SendFailurePassesThroughWithoutAReceive) {
    for (const auto& c : RequestCases()) {
        if (c.request == nullptr) {
            continue;
        }
        SCOPED_TRACE(c.name);
        auto model = MakeModel();
        auto operations = std::make_unique<Operations>();
        FakeLink link;
        operations->Bind(&link, model.get());
        link.FailNextSend(LINK_E_SEND);
        link.QueueAnswer("E0\r\n");
        EXPECT_EQ(c.setup(*operations, *model).Execute(), LINK_E_SEND);
        EXPECT_EQ(link.pendingAnswers(), 1u);
    }
}

TEST(OperationCommands, UnboundCommandsSendNothing) {
    auto operations = std::make_unique<Operations>();
    auto model = MakeModel();
    for (const auto& c : RequestCases()) {
        if (c.request == nullptr) {
            continue;
        }
        SCOPED_TRACE(c.name);
        operations->Bind(nullptr, model.get());
        EXPECT_EQ(c.setup(*operations, *model).Execute(), LINK_E_NOT_INITIALIZED);
    }
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
    dv.records[3].outputDecimals = 0;
    dv.loop = 4;
    ASSERT_EQ(dv.Execute(), RZ_OK);
    ASSERT_EQ(link.requests().size(), 1u);
    EXPECT_EQ(link.requests()[0].text, "DV4,MOUT,13");
    EXPECT_STREQ(dv.item[3], "MOUT");
    EXPECT_STREQ(dv.item[4], "mode");
    for (int i = 0; i < kDvLoops; ++i) {
        if (i == 3) {
            continue;
        }
        EXPECT_EQ(dv.records[i].mode, 3);
        EXPECT_EQ(dv.records[i].remote, 0);
        EXPECT_EQ(dv.records[i].runStop, 2);
        EXPECT_EQ(dv.records[i].manualOutput, 0.0);
        EXPECT_EQ(dv.records[i].outputDecimals, 0);
    }
}

TEST(CmdMS, OptionFlagIsReadOnEveryRun) {
    auto model = MakeModel();
    CCmdMS ms;
    FakeLink link;
    ms.Bind(&link, model.get());
    ms.message = 3;
    for (int32_t flag : {0, 1, 0}) {
        model->pidAux[4] = flag;
        link.QueueAnswer("E0\r\n");
        ASSERT_EQ(ms.Execute(), RZ_OK);
    }
    ASSERT_EQ(link.requests().size(), 3u);
    EXPECT_EQ(link.requests()[0].text, "MS 3");
    EXPECT_EQ(link.requests()[1].text, "MS1,3");
    EXPECT_EQ(link.requests()[2].text, "MS 3");
}

// ---------------------------------------------------------------------------------------------
// "PN" / "PX": a one-line answer read in line mode.

// Records the mode and the capacity of every receive.
class ModeRecordingLink : public FakeLink {
  public:
    RzResult Receive(char* buffer, uint32_t capacity, uint32_t* outLength,
                     AnswerShape shape) override {
        modesAtReceive.push_back(shape.mode);
        capacities.push_back(capacity);
        return FakeLink::Receive(buffer, capacity, outLength, shape);
    }
    std::vector<int32_t> modesAtReceive;
    std::vector<uint32_t> capacities;
};

TEST(ProgramCommands, AnswersMustBeginE0) {
    struct Case {
        const char* name;
        std::string answer;  // empty: the receive fails with `code`
        RzResult code;
        RzResult expected;
        std::vector<std::string> shown;
    };
    const std::vector<Case> cases = {
        {"E0", "E0\r\n", RZ_OK, RZ_OK, {}},
        {"E0 with text", "E0 ok\r\n", RZ_OK, RZ_OK, {}},
        {"a list is no status line", "EA\r\n", RZ_OK, REPLY_UNEXPECTED, {"EA"}},
        {"E1", "E1\r\n", RZ_OK, REPLY_ERROR, {"E1"}},
        {"not an E line", "OK\r\n", RZ_OK, REPLY_ERROR, {"OK"}},
        {"longest answer", "E0" + std::string(254, 'x'), RZ_OK, RZ_OK, {}},
        {"answer beyond the line buffer",
         "E0" + std::string(255, 'x'),
         RZ_OK,
         LINK_E_BUFFER_SMALL,
         {}},
        {"time-out", "", LINK_E_TIMEOUT, LINK_E_TIMEOUT, {}},
    };
    for (bool pattern : {true, false}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(::testing::Message() << (pattern ? "PN / " : "PX / ") << c.name);
            ShownMessages shown;
            auto model = MakeModel();
            ModeRecordingLink link;
            if (c.answer.empty()) {
                link.QueueReceiveError(c.code);
            } else {
                link.QueueAnswer(c.answer);
            }
            CCmdPN pn;
            CCmdPX px;
            pn.Bind(&link, model.get());
            px.Bind(&link, model.get());
            pn.pattern = 12;
            px.run = 1;
            EXPECT_EQ(pattern ? pn.Execute() : px.Execute(), c.expected);
            EXPECT_EQ(shown.texts, c.shown);
            ASSERT_EQ(link.requests().size(), 1u);
            EXPECT_EQ(link.requests()[0].text, pattern ? "PN 12" : "PX 1");
            EXPECT_EQ(link.modesAtReceive, std::vector<int32_t>{RECV_LINE});
            EXPECT_EQ(link.capacities, std::vector<uint32_t>{256u});
        }
    }
}

// ---------------------------------------------------------------------------------------------
// "DT" query: the output limits per set point number.

struct DtLimit {
    int loop;    // 1-based
    int number;  // 1-based
    double high;
    double low;
};

struct DtQueryCase {
    const char* name;
    std::string answer;
    RzResult expected;
    std::vector<DtLimit> limits;  // every other entry must be 0
    std::vector<std::string> shown;
};

TEST(CmdDT, QueryFillsTheLimitsOfTheReportedNumbers) {
    const std::string longLine = "DT3,2,OH," + std::string(250, '1') + "\r\n";
    const std::vector<DtQueryCase> cases = {
        {"high and low of two numbers",
         "EA\r\nDT3,2,OH,1000\r\nDT3,2,OL,-50\r\nDT3,1,OH,900\r\nEN\r\n",
         RZ_OK,
         {{3, 2, 1000, -50}, {3, 1, 900, 0}},
         {}},
        {"numbers outside the tables are ignored",
         "EA\r\nDT17,1,OH,1\r\nDT0,1,OH,1\r\nDT1,9,OH,1\r\nDT1,0,OL,1\r\nDT16,8,OL,7\r\nEN\r\n",
         RZ_OK,
         {{16, 8, 0, 7}},
         {}},
        {"other keywords are ignored", "EA\r\nDT1,1,SP,500\r\nDT1,1,oh,5\r\nEN\r\n", RZ_OK, {}, {}},
        {"extra rows up to six", "EA\r\nDT2,4,OL,25,x,y\r\nEN\r\n", RZ_OK, {{2, 4, 0, 25}}, {}},
        {"a seventh row is malformed", "EA\r\nDT2,4,OL,25,x,y,z\r\nEN\r\n", LINK_E_FORMAT, {}, {}},
        {"limits before a malformed line stay",
         "EA\r\nDT1,1,OH,10\r\nDT2,4,OL,25,x,y,z\r\nEN\r\n",
         LINK_E_FORMAT,
         {{1, 1, 10, 0}},
         {}},
        {"missing end marker", "EA\r\nDT1,1,OH,10\r\n", LINK_E_FORMAT, {{1, 1, 10, 0}}, {}},
        {"over-long line", "EA\r\n" + longLine + "EN\r\n", LINK_E_FORMAT, {}, {}},
        {"error line is shown", "E1\r\n", REPLY_UNEXPECTED, {}, {"E1"}},
        {"empty list", "EA\r\nEN\r\n", RZ_OK, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ShownMessages shown;
        auto model = MakeModel();
        CCmdDT dt;
        FakeLink link;
        link.QueueAnswer(c.answer);
        dt.Bind(&link, model.get());
        // Results of an earlier run must not survive.
        for (auto& row : dt.outputHigh) {
            for (double& value : row) {
                value = 555.0;
            }
        }
        for (auto& row : dt.outputLow) {
            for (double& value : row) {
                value = 555.0;
            }
        }
        dt.loop = 3;
        dt.pidNumber = 2;
        EXPECT_EQ(dt.Query(), c.expected);
        ASSERT_EQ(link.requests().size(), 1u);
        EXPECT_EQ(link.requests()[0].text, "DT3,2?");
        EXPECT_EQ(link.requests()[0].mode, RECV_LIST);
        EXPECT_EQ(shown.texts, c.shown);
        double high[kDtLoops][kDtSetPoints] = {};
        double low[kDtLoops][kDtSetPoints] = {};
        for (const auto& limit : c.limits) {
            high[limit.loop - 1][limit.number - 1] = limit.high;
            low[limit.loop - 1][limit.number - 1] = limit.low;
        }
        for (int l = 0; l < kDtLoops; ++l) {
            for (int k = 0; k < kDtSetPoints; ++k) {
                EXPECT_EQ(dt.outputHigh[l][k], high[l][k]) << "loop " << l + 1 << " #" << k + 1;
                EXPECT_EQ(dt.outputLow[l][k], low[l][k]) << "loop " << l + 1 << " #" << k + 1;
            }
        }
    }
}

TEST(CmdDT, QueryAndExecuteUseTheirOwnNumbers) {
    auto model = MakeModel();
    CCmdDT dt;
    FakeLink link;
    dt.Bind(&link, model.get());
    dt.loop = 7;
    dt.setPointNumber = 3;
    dt.pidNumber = 5;
    dt.value = 2.5;
    dt.decimals = 2;
    link.QueueAnswer("EA\r\nEN\r\n");
    link.QueueAnswer("E0\r\n");
    EXPECT_EQ(dt.Query(), RZ_OK);
    EXPECT_EQ(dt.Execute(), RZ_OK);
    ASSERT_EQ(link.requests().size(), 2u);
    EXPECT_EQ(link.requests()[0].text, "DT7,5?");
    EXPECT_EQ(link.requests()[1].text, "DT7,3,SP,250");
    EXPECT_EQ(link.requests()[1].mode, RECV_LINE);
}

}  // namespace
