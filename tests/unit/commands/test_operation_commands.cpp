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

struct ShownMessages {
    std::vector<std::string> texts;
    ScopedStatusSink sink{[this](const std::string& text) { texts.push_back(text); }};
};

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

// Sets the parameters of one command and returns it.
using Setup = std::function<CCommand&(Operations&, CInstrumentModel&)>;

struct RequestCase {
    const char* name;
    Setup setup;
    RzResult expected;
    const char* request;  // nullptr: nothing may be sent
    int32_t mode;
};

std::vector<RequestCase> RequestCases() {
    auto dv = [](int32_t loop, const char* item, std::function<void(CDvLoopRecord&)> set) {
        return [=](Operations& o, CInstrumentModel&) -> CCommand& {
            o.dv.loop = loop;
            if (loop >= 1 && loop <= kDvLoops) {
                std::memcpy(o.dv.item[loop - 1], item,
                            std::strlen(item) < 6 ? std::strlen(item) + 1 : 6);
                set(o.dv.records[loop - 1]);
            }
            return o.dv;
        };
    };
    auto none = [](CDvLoopRecord&) {};
    return {
        // Internal loops: the single-purpose commands.
        {"CA mode first",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.ca.loop = 2;
             o.ca.mode = 1;
             return o.ca;
         },
         RZ_OK, "CA1,2", RECV_LINE},
        {"CA cascade on loop 6",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.ca.loop = 6;
             o.ca.mode = 2;
             return o.ca;
         },
         RZ_OK, "CA2,6", RECV_LINE},
        {"RL state first",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.rl.loop = 3;
             o.rl.state = 1;
             return o.rl;
         },
         RZ_OK, "RL1,3", RECV_LINE},
        {"OC run",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.oc.loop = 4;
             o.oc.state = 1;
             return o.oc;
         },
         RZ_OK, "OC1,4", RECV_LINE},
        {"OC stop",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.oc.loop = 1;
             o.oc.state = 0;
             return o.oc;
         },
         RZ_OK, "OC0,1", RECV_LINE},
        {"OC state 2 refused",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.oc.loop = 1;
             o.oc.state = 2;
             return o.oc;
         },
         LINK_E_PARAMETER, nullptr, 0},
        {"OC state -1 refused",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.oc.loop = 1;
             o.oc.state = -1;
             return o.oc;
         },
         LINK_E_PARAMETER, nullptr, 0},
        {"HJ scaled output",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.hj.loop = 2;
             o.hj.value = 45.67;
             o.hj.decimals = 1;
             return o.hj;
         },
         RZ_OK, "HJ457,2", RECV_LINE},
        {"HJ negative half",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.hj.loop = 1;
             o.hj.value = -1.25;
             o.hj.decimals = 1;
             return o.hj;
         },
         RZ_OK, "HJ-12,1", RECV_LINE},
        {"HJ not a number",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.hj.loop = 1;
             o.hj.value = kNaN;
             return o.hj;
         },
         LINK_E_PARAMETER, nullptr, 0},
        {"HJ beyond 32 bits",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.hj.loop = 1;
             o.hj.value = 1e12;
             o.hj.decimals = 2;
             return o.hj;
         },
         LINK_E_PARAMETER, nullptr, 0},
        {"GO loop, number, value",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.go.loop = 3;
             o.go.setPointNumber = 2;
             o.go.value = 12.34;
             o.go.decimals = 2;
             return o.go;
         },
         RZ_OK, "GO3,2,1234", RECV_LINE},
        {"GO infinite value",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.go.loop = 3;
             o.go.setPointNumber = 2;
             o.go.value = std::numeric_limits<double>::infinity();
             return o.go;
         },
         LINK_E_PARAMETER, nullptr, 0},
        // External loops and DI/DO points.
        {"DT set point",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.dt.loop = 5;
             o.dt.setPointNumber = 1;
             o.dt.value = 100.5;
             o.dt.decimals = 1;
             return o.dt;
         },
         RZ_OK, "DT5,1,SP,1005", RECV_LINE},
        {"DT negative set point",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.dt.loop = 16;
             o.dt.setPointNumber = 8;
             o.dt.value = -0.5;
             o.dt.decimals = 0;
             return o.dt;
         },
         RZ_OK, "DT16,8,SP,0", RECV_LINE},
        {"DL point first",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.dl.point = 2;
             o.dl.mode = 1;
             return o.dl;
         },
         RZ_OK, "DL2,1", RECV_LINE},
        {"DM point and value",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.dm.point = 36;
             o.dm.value = 1;
             return o.dm;
         },
         RZ_OK, "DM36,1", RECV_LINE},
        {"DV SR lower case, run", dv(5, "sr", [](CDvLoopRecord& r) { r.runStop = 1; }), RZ_OK,
         "DV5,SR,1", RECV_LINE},
        {"DV SR default is stop", dv(5, "SR", none), RZ_OK, "DV5,SR,0", RECV_LINE},
        {"DV SR 0", dv(5, "Sr", [](CDvLoopRecord& r) { r.runStop = 0; }), RZ_OK, "DV5,SR,0",
         RECV_LINE},
        {"DV MODE", dv(3, "mode", [](CDvLoopRecord& r) { r.mode = 2; }), RZ_OK, "DV3,MODE,2",
         RECV_LINE},
        {"DV MODE default", dv(1, "MODE", none), RZ_OK, "DV1,MODE,3", RECV_LINE},
        {"DV RL on loop 16", dv(16, "rL", [](CDvLoopRecord& r) { r.remote = 1; }), RZ_OK,
         "DV16,RL,1", RECV_LINE},
        {"DV MOUT scaled",
         dv(1, "MOUT",
            [](CDvLoopRecord& r) {
                r.manualOutput = 45.67;
                r.outputDecimals = 1;
            }),
         RZ_OK, "DV1,MOUT,457", RECV_LINE},
        {"DV MOUT not a number", dv(2, "mout", [](CDvLoopRecord& r) { r.manualOutput = kNaN; }),
         LINK_E_PARAMETER, nullptr, 0},
        {"DV empty item", dv(5, "", none), RZ_OK, nullptr, 0},
        {"DV unknown item", dv(5, "SP", none), RZ_OK, nullptr, 0},
        {"DV item prefix", dv(5, "MOD", none), RZ_OK, nullptr, 0},
        {"DV item with extra letters", dv(5, "MODEX", none), RZ_OK, nullptr, 0},
        {"DV item filling all six bytes", dv(5, "MOUTXX", none), RZ_OK, nullptr, 0},
        {"DV loop 0", dv(0, "MODE", none), LINK_E_PARAMETER, nullptr, 0},
        {"DV loop 17", dv(17, "MODE", none), LINK_E_PARAMETER, nullptr, 0},
        {"DV negative loop", dv(-1, "MODE", none), LINK_E_PARAMETER, nullptr, 0},
        // Program patterns.
        {"PN 1",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.pn.pattern = 1;
             return o.pn;
         },
         RZ_OK, "PN 1", RECV_LIST},
        {"PN 30",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.pn.pattern = 30;
             return o.pn;
         },
         RZ_OK, "PN 30", RECV_LIST},
        {"PN 0 refused",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.pn.pattern = 0;
             return o.pn;
         },
         LINK_E_PARAMETER, nullptr, 0},
        {"PN 31 refused",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.pn.pattern = 31;
             return o.pn;
         },
         LINK_E_PARAMETER, nullptr, 0},
        {"PN negative refused",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.pn.pattern = -1;
             return o.pn;
         },
         LINK_E_PARAMETER, nullptr, 0},
        {"PX run",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.px.run = 1;
             return o.px;
         },
         RZ_OK, "PX 1", RECV_LIST},
        {"PX reset",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.px.run = 0;
             return o.px;
         },
         RZ_OK, "PX 0", RECV_LIST},
        {"HU hold",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.hu.hold = 1;
             return o.hu;
         },
         RZ_OK, "HU 1", RECV_LINE},
        {"HU release",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.hu.hold = 0;
             return o.hu;
         },
         RZ_OK, "HU 0", RECV_LINE},
        {"AD", [](Operations& o, CInstrumentModel&) -> CCommand& { return o.ad; }, RZ_OK, "AD 1",
         RECV_LINE},
        // Instrument functions.
        {"PS start",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.ps.start = 1;
             return o.ps;
         },
         RZ_OK, "PS 0", RECV_LINE},
        {"PS any non-zero starts",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.ps.start = -4;
             return o.ps;
         },
         RZ_OK, "PS 0", RECV_LINE},
        {"PS stop",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.ps.start = 0;
             return o.ps;
         },
         RZ_OK, "PS 1", RECV_LINE},
        {"TL start",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.tl.action = 1;
             return o.tl;
         },
         RZ_OK, "TL 0", RECV_LINE},
        {"TL stop",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.tl.action = 2;
             return o.tl;
         },
         RZ_OK, "TL 1", RECV_LINE},
        {"TL reset",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.tl.action = 3;
             return o.tl;
         },
         RZ_OK, "TL 2", RECV_LINE},
        {"TL 0 refused",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.tl.action = 0;
             return o.tl;
         },
         LINK_E_PARAMETER, nullptr, 0},
        {"TL 4 refused",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.tl.action = 4;
             return o.tl;
         },
         LINK_E_PARAMETER, nullptr, 0},
        {"AK", [](Operations& o, CInstrumentModel&) -> CCommand& { return o.ak; }, RZ_OK, "AK 0",
         RECV_LINE},
        {"EV display data",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.ev.kind = 3;
             return o.ev;
         },
         RZ_OK, "EV 3", RECV_LINE},
        {"MS 1",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.ms.message = 1;
             return o.ms;
         },
         RZ_OK, "MS 1", RECV_LINE},
        {"MS 8 without the option",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.ms.message = 8;
             return o.ms;
         },
         RZ_OK, "MS 8", RECV_LINE},
        {"MS 8 with the fifth option flag",
         [](Operations& o, CInstrumentModel& m) -> CCommand& {
             m.pidAux[4] = 1;
             o.ms.message = 8;
             return o.ms;
         },
         RZ_OK, "MS1,8", RECV_LINE},
        {"MS other option flags do not count",
         [](Operations& o, CInstrumentModel& m) -> CCommand& {
             for (int i = 0; i < kPidAuxFlags; ++i) {
                 m.pidAux[i] = i == 4 ? 0 : 1;
             }
             o.ms.message = 2;
             return o.ms;
         },
         RZ_OK, "MS 2", RECV_LINE},
        {"MS 9 refused",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.ms.message = 9;
             return o.ms;
         },
         LINK_E_PARAMETER, nullptr, 0},
        {"MS 0 refused",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.ms.message = 0;
             return o.ms;
         },
         LINK_E_PARAMETER, nullptr, 0},
        {"MS negative refused",
         [](Operations& o, CInstrumentModel&) -> CCommand& {
             o.ms.message = -8;
             return o.ms;
         },
         LINK_E_PARAMETER, nullptr, 0},
    };
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
        {"EA", "EA\r\n", RZ_OK, RZ_OK, false},
        {"not an E line", "OK\r\n", RZ_OK, RZ_OK, false},
        {"time-out", "", LINK_E_TIMEOUT, LINK_E_TIMEOUT, false},
    };
    for (const auto& c : RequestCases()) {
        if (c.request == nullptr || c.mode != RECV_LINE) {
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
// "PN" / "PX": list-mode request, one-line answer in line mode, mode restored afterwards.

// Records the link's mode at the moment of every receive.
class ModeRecordingLink : public FakeLink {
  public:
    RzResult Receive(char* buffer, uint32_t capacity, uint32_t* outLength) override {
        modesAtReceive.push_back(GetMode());
        capacities.push_back(capacity);
        return FakeLink::Receive(buffer, capacity, outLength);
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
        {"EA is a refusal here", "EA\r\n", RZ_OK, REPLY_ERROR, {"EA"}},
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
            EXPECT_EQ(link.requests()[0].mode, RECV_LIST);
            EXPECT_EQ(link.modesAtReceive, std::vector<int32_t>{RECV_LINE});
            EXPECT_EQ(link.capacities, std::vector<uint32_t>{256u});
            EXPECT_EQ(link.GetMode(), RECV_LIST) << "the list mode is restored";
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
