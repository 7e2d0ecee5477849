#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "commands/SettingQueries.h"
#include "model/InstrumentModel.h"
#include "platform/StatusSink.h"
#include "unit/commands/FakeLink.h"

namespace {

// One run of a query against a scripted answer and what must hold afterwards.
template <typename Command>
struct QueryCase {
    const char* name;
    std::string answer;
    RzResult expected;
    std::function<void(const Command&)> check;
    const char* shown = nullptr;  // the one text shown to the operator, if any
};

// Runs every case on a fresh object (prepared by `setup`) and a fresh link.
template <typename Command>
void RunCases(const std::vector<QueryCase<Command>>& cases,
              const std::function<void(Command&)>& setup = {}) {
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ShownMessages shown;
        FakeLink link;
        link.QueueAnswer(c.answer);
        Command command;
        if (setup) {
            setup(command);
        }
        command.Bind(&link, nullptr);
        EXPECT_EQ(command.Query(), c.expected);
        EXPECT_EQ(link.pendingAnswers(), 0u);
        EXPECT_EQ(link.requests().size(), 1u);
        if (c.check) {
            c.check(command);
        }
        const std::vector<std::string> expectedShown =
            c.shown != nullptr ? std::vector<std::string>{c.shown} : std::vector<std::string>{};
        EXPECT_EQ(shown.texts, expectedShown);
    }
}

// ---------------------------------------------------------------------------------------------
// Request texts and receive modes

struct RequestCase {
    const char* name;
    std::function<RzResult(FakeLink&)> run;
    std::string request;
    int32_t mode;
};

template <typename Command>
std::function<RzResult(FakeLink&)> QueryOf(std::function<void(Command&)> setup = {}) {
    return [setup](FakeLink& link) {
        Command command;
        if (setup) {
            setup(command);
        }
        command.Bind(&link, nullptr);
        return command.Query();
    };
}

TEST(SettingQueries, EveryClassSendsItsRequestInItsMode) {
    const std::vector<RequestCase> cases = {
        {"FU", QueryOf<CCmdFU>(), "FU 0", RECV_LIST},
        {"IS", QueryOf<CCmdIS>(), "IS 0", RECV_LIST},
        {"SX", QueryOf<CCmdSX>(), "SX?", RECV_LIST},
        {"ST", QueryOf<CCmdST>(), "ST?", RECV_LIST},
        {"SR", QueryOf<CCmdSR>(), "SR?", RECV_LIST},
        {"FG", QueryOf<CCmdFG>(), "FG?", RECV_LIST},
        {"HM", QueryOf<CCmdHM>(), "HM?", RECV_LIST},
        {"GJ", QueryOf<CCmdGJ>(), "GJ?", RECV_LIST},
        {"DX", QueryOf<CCmdDX>(), "DX?", RECV_LIST},
        {"DY", QueryOf<CCmdDY>(), "DY?", RECV_LIST},
        {"GG", QueryOf<CCmdGG>(), "GG?", RECV_LIST},
        {"PC", QueryOf<CCmdPC>(), "PC?", RECV_LIST},
        {"MY", QueryOf<CCmdMY>(), "MY?", RECV_LIST},
        {"MT", QueryOf<CCmdMT>(), "MT?", RECV_LIST},
        {"GF", QueryOf<CCmdGF>(), "GF?", RECV_LIST},
        {"HO", QueryOf<CCmdHO>(), "HO?", RECV_LIST},
        {"GV", QueryOf<CCmdGV>(), "GV?", RECV_LIST},
        {"FM loop 2", QueryOf<CCmdFM>([](CCmdFM& c) { c.loop = 2; }), "FM 2", RECV_LIST},
        {"DR loop 16", QueryOf<CCmdDR>([](CCmdDR& c) { c.loop = 16; }), "DR 16", RECV_LIST},
        {"FP loop 3", QueryOf<CCmdFP>([](CCmdFP& c) { c.loop = 3; }), "FP3", RECV_LIST},
        {"DQ loop 12", QueryOf<CCmdDQ>([](CCmdDQ& c) { c.loop = 12; }), "DQ12", RECV_LIST},
        {"IF",
         [](FakeLink& link) {
             CCmdIF command;
             command.Bind(&link, nullptr);
             return command.Execute();
         },
         "IF 255.255.255.255", RECV_LINE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeLink link;
        link.QueueAnswer(List({}));
        c.run(link);
        ASSERT_EQ(link.requests().size(), 1u);
        EXPECT_EQ(link.requests()[0].text, c.request);
        EXPECT_EQ(link.requests()[0].mode, c.mode);
    }
}

TEST(SettingQueries, LinkFailuresPassThroughUnchanged) {
    const std::vector<std::pair<const char*, std::function<RzResult(FakeLink&)>>> queries = {
        {"FU", QueryOf<CCmdFU>()}, {"IS", QueryOf<CCmdIS>()}, {"SX", QueryOf<CCmdSX>()},
        {"ST", QueryOf<CCmdST>()}, {"SR", QueryOf<CCmdSR>()}, {"FG", QueryOf<CCmdFG>()},
        {"GJ", QueryOf<CCmdGJ>()}, {"DX", QueryOf<CCmdDX>()}, {"GG", QueryOf<CCmdGG>()},
        {"MT", QueryOf<CCmdMT>()}, {"HO", QueryOf<CCmdHO>()}, {"GV", QueryOf<CCmdGV>()},
        {"FM", QueryOf<CCmdFM>()}, {"DR", QueryOf<CCmdDR>()}, {"FP", QueryOf<CCmdFP>()},
    };
    for (const auto& [name, run] : queries) {
        SCOPED_TRACE(name);
        {
            FakeLink link;
            link.QueueReceiveError(LINK_E_TIMEOUT);
            EXPECT_EQ(run(link), LINK_E_TIMEOUT);
        }
        {
            FakeLink link;
            link.FailNextSend(LINK_E_BROKEN);
            link.QueueAnswer(List({}));
            EXPECT_EQ(run(link), LINK_E_BROKEN);
            EXPECT_EQ(link.pendingAnswers(), 1u);  // nothing was read after the failed send
        }
    }
}

TEST(SettingQueries, UnboundObjectsRefuseWithoutALink) {
    CCmdHO ho;
    EXPECT_EQ(ho.Query(), LINK_E_NOT_INITIALIZED);
    CCmdFM fm;
    EXPECT_EQ(fm.Query(), LINK_E_NOT_INITIALIZED);
    CCmdST st;
    EXPECT_EQ(st.Query(), LINK_E_NOT_INITIALIZED);
    CCmdIF command;
    EXPECT_EQ(command.Execute(), LINK_E_NOT_INITIALIZED);
}

// ---------------------------------------------------------------------------------------------
// Field-list queries

TEST(SettingQueries, SetPointAndPidNumbers) {
    const std::vector<QueryCase<CCmdFP>> cases = {
        {"one entry", List({"DASP2,PID3"}), RZ_OK,
         [](const CCmdFP& c) {
             EXPECT_EQ(c.setPointNumber, 2);
             EXPECT_EQ(c.pidNumber, 3);
         }},
        {"fields spread over lines", List({"DASP1", "DAPID8", "DAextra"}), RZ_OK,
         [](const CCmdFP& c) {
             EXPECT_EQ(c.setPointNumber, 1);
             EXPECT_EQ(c.pidNumber, 8);
         }},
        {"prefixes shorter than skipped", List({"DAS,P"}), RZ_OK,
         [](const CCmdFP& c) {
             EXPECT_EQ(c.setPointNumber, 0);
             EXPECT_EQ(c.pidNumber, 0);
         }},
        {"one field", List({"DASP2"}), LINK_E_FIELDS,
         [](const CCmdFP& c) { EXPECT_EQ(c.setPointNumber, 0); }},
        {"no fields", List({}), LINK_E_FIELDS, {}},
        {"error answer is shown", "E1\r\n", REPLY_UNEXPECTED,
         [](const CCmdFP& c) {
             EXPECT_EQ(c.setPointNumber, 0);
             EXPECT_EQ(c.pidNumber, 0);
         },
         "E1"},
    };
    // Results of an earlier run must not survive into the next one.
    RunCases<CCmdFP>(cases, [](CCmdFP& c) {
        c.setPointNumber = 77;
        c.pidNumber = 77;
    });
    RunCases<CCmdDQ>({{"external loop", List({"DASP4,PID5"}), RZ_OK, [](const CCmdDQ& c) {
                           EXPECT_EQ(c.setPointNumber, 4);
                           EXPECT_EQ(c.pidNumber, 5);
                       }}});
}

TEST(SettingQueries, ControlGroupNamesPersistAcrossRuns) {
    FakeLink link;
    CCmdFG command;
    command.Bind(&link, nullptr);
    link.QueueAnswer(List({"DA1,Boiler,8,Tank farm"}));
    ASSERT_EQ(command.Query(), RZ_OK);
    link.QueueAnswer(List({"DA1,Line 1,9,Nowhere,0,Nothing"}));
    ASSERT_EQ(command.Query(), RZ_OK);
    EXPECT_STREQ(command.groupName[0], "Line 1");
    EXPECT_STREQ(command.groupName[7], "Tank farm");  // not in the second answer
    EXPECT_STREQ(command.groupName[1], "");

    link.QueueAnswer(List({"DA2,Abcdefghijklmnopqrstu,3"}));
    EXPECT_EQ(command.Query(), LINK_E_FIELDS);
    EXPECT_STREQ(command.groupName[1], "Abcdefghijklmnop");  // cut to 16 characters
}

TEST(SettingQueries, LoopNamesAndPointTexts) {
    RunCases<CCmdHM>(
        {
            {"two loops", List({"DA1,Boiler,Main,6,Cooler,Aux"}), RZ_OK,
             [](const CCmdHM& c) {
                 EXPECT_STREQ(c.loopName[0], "Boiler");
                 EXPECT_STREQ(c.loopText[0], "Main");
                 EXPECT_STREQ(c.loopName[5], "Cooler");
                 EXPECT_STREQ(c.loopText[5], "Aux");
                 EXPECT_STREQ(c.loopName[1], "");
             }},
            {"loops outside 1 to 6 are ignored", List({"DA0,Zero,Z,7,Seven,S,2,Two,T"}), RZ_OK,
             [](const CCmdHM& c) {
                 EXPECT_STREQ(c.loopName[1], "Two");
                 EXPECT_STREQ(c.loopText[5], "");
                 EXPECT_STREQ(c.loopName[0], "");
             }},
            {"incomplete entry", List({"DA1,Boiler,Main,2,Cooler"}), LINK_E_FIELDS,
             [](const CCmdHM& c) { EXPECT_STREQ(c.loopName[0], "Boiler"); }},
            {"cleared before the run", "E2\r\n", REPLY_UNEXPECTED,
             [](const CCmdHM& c) { EXPECT_STREQ(c.loopName[3], ""); }, "E2"},
        },
        [](CCmdHM& c) { CopyText(c.loopName[3], sizeof(c.loopName[3]), "stale"); });

    RunCases<CCmdDY>(
        {
            {"first and last point", List({"DA1,Pump,P1", "DA36,Valve,V36"}), RZ_OK,
             [](const CCmdDY& c) {
                 EXPECT_STREQ(c.pointText1[0], "Pump");
                 EXPECT_STREQ(c.pointText2[0], "P1");
                 EXPECT_STREQ(c.pointText1[35], "Valve");
                 EXPECT_STREQ(c.pointText2[35], "V36");
             }},
            {"point 37 is ignored", List({"DA37,Over,O"}), RZ_OK,
             [](const CCmdDY& c) {
                 EXPECT_STREQ(c.pointText1[35], "");
                 EXPECT_STREQ(c.pointText2[35], "");
             }},
            {"stale texts cleared", List({}), RZ_OK,
             [](const CCmdDY& c) { EXPECT_STREQ(c.pointText2[10], ""); }},
        },
        [](CCmdDY& c) { CopyText(c.pointText2[10], sizeof(c.pointText2[10]), "stale"); });
}

TEST(SettingQueries, LoopKindsAndOutputTypes) {
    RunCases<CCmdPC>(
        {
            {"every kind",
             List({"DA1,Single,2,Cascade,3,PVSwitching", "DA4,Retrans,5,Other,6,Single"}), RZ_OK,
             [](const CCmdPC& c) {
                 const int32_t expected[] = {1, 2, 3, 4, 0, 1};
                 for (int i = 0; i < 6; ++i) {
                     EXPECT_EQ(c.loopKind[i], expected[i]) << "loop " << i + 1;
                 }
             }},
            {"lower case is not a kind", List({"DA1,single,2,RETRANS"}), RZ_OK,
             [](const CCmdPC& c) {
                 EXPECT_EQ(c.loopKind[0], 0);
                 EXPECT_EQ(c.loopKind[1], 0);
             }},
            {"loop 7 ignored, default 0", List({"DA7,Single"}), RZ_OK,
             [](const CCmdPC& c) { EXPECT_EQ(c.loopKind[5], 0); }},
        },
        [](CCmdPC& c) { c.loopKind[5] = 3; });

    RunCases<CCmdGF>(
        {
            {"types in any case",
             List({"DA1,RELAY,a,b,2,voltage-pulse,a,b",
                   "DA3,Current-Output,a,b,4,ON/OFF-CONTROL,a,b", "DA5,SSR,a,b"}),
             RZ_OK,
             [](const CCmdGF& c) {
                 const int32_t expected[] = {1, 2, 3, 4, 0, 0};
                 for (int i = 0; i < 6; ++i) {
                     EXPECT_EQ(c.outputType[i], expected[i]) << "loop " << i + 1;
                 }
             }},
            {"entries are four fields", List({"DA1,RELAY,a,b,2,RELAY"}), LINK_E_FIELDS,
             [](const CCmdGF& c) {
                 EXPECT_EQ(c.outputType[0], 1);
                 EXPECT_EQ(c.outputType[1], 0);
             }},
        },
        [](CCmdGF& c) { c.outputType[5] = 2; });

    RunCases<CCmdMY>(
        {
            {"ON", List({"DAON"}), RZ_OK, [](const CCmdMY& c) { EXPECT_EQ(c.enabled, 1); }},
            {"on", List({"DAon"}), RZ_OK, [](const CCmdMY& c) { EXPECT_EQ(c.enabled, 1); }},
            {"OFF", List({"DAOFF"}), RZ_OK, [](const CCmdMY& c) { EXPECT_EQ(c.enabled, 0); }},
            {"ONE", List({"DAONE"}), RZ_OK, [](const CCmdMY& c) { EXPECT_EQ(c.enabled, 0); }},
            {"no field", List({}), LINK_E_FIELDS, [](const CCmdMY& c) { EXPECT_EQ(c.enabled, 0); }},
        },
        [](CCmdMY& c) { c.enabled = 1; });
}

TEST(SettingQueries, ControlGroupMembers) {
    RunCases<CCmdGG>(
        {
            {"an OFF entry takes three fields",
             List({"DA1,1,ON,Meas-CH,5,1,2,OFF,2,3,ON,Int-Loop,2", "DA8,6,on,DIO,36"}), RZ_OK,
             [](const CCmdGG& c) {
                 EXPECT_EQ(c.memberKind[0][0], 1);
                 EXPECT_EQ(c.memberNumber[0][0], 5);
                 EXPECT_EQ(c.memberKind[0][1], 0);
                 EXPECT_EQ(c.memberNumber[0][1], 0);
                 EXPECT_EQ(c.memberKind[1][2], 3);
                 EXPECT_EQ(c.memberNumber[1][2], 2);
                 EXPECT_EQ(c.memberKind[7][5], 5);
                 EXPECT_EQ(c.memberNumber[7][5], 36);
             }},
            {"every kind",
             List({"DA1,1,ON,Meas-CH,1,1,2,ON,Math-CH,31,1,3,ON,Int-Loop,6",
                   "DA1,4,ON,Ext-Loop,16,1,5,ON,DIO,1,1,6,ON,meas-ch,7"}),
             RZ_OK,
             [](const CCmdGG& c) {
                 const int32_t kinds[] = {1, 2, 3, 4, 5, 0};
                 const int32_t numbers[] = {1, 31, 6, 16, 1, 7};
                 for (int i = 0; i < 6; ++i) {
                     EXPECT_EQ(c.memberKind[0][i], kinds[i]) << "position " << i + 1;
                     EXPECT_EQ(c.memberNumber[0][i], numbers[i]) << "position " << i + 1;
                 }
             }},
            {"positions outside the table are consumed and ignored",
             List({"DA9,1,ON,DIO,4,1,7,ON,DIO,4,0,1,ON,DIO,4,2,6,ON,DIO,9"}), RZ_OK,
             [](const CCmdGG& c) {
                 EXPECT_EQ(c.memberKind[1][5], 5);
                 EXPECT_EQ(c.memberNumber[1][5], 9);
                 EXPECT_EQ(c.memberKind[0][0], 0);
                 EXPECT_EQ(c.memberKind[7][0], 0);
             }},
            {"ON entry short of its kind and number", List({"DA1,1,ON,DIO,4,1,2,ON,DIO"}),
             LINK_E_FIELDS, [](const CCmdGG& c) { EXPECT_EQ(c.memberNumber[0][0], 4); }},
            {"entry short of its state", List({"DA1,1"}), LINK_E_FIELDS, {}},
            {"cleared before the run", List({}), RZ_OK,
             [](const CCmdGG& c) {
                 EXPECT_EQ(c.memberKind[3][3], 0);
                 EXPECT_EQ(c.memberNumber[3][3], 0);
             }},
        },
        [](CCmdGG& c) {
            c.memberKind[3][3] = 4;
            c.memberNumber[3][3] = 9;
        });
}

TEST(SettingQueries, ExternalLoops) {
    RunCases<CCmdGJ>(
        {
            {"in use and not in use",
             List({"DAEXT01,ON,7,MODEL-03,x,Boiler feed,TIC-101", "DAEXT02,OFF"}), RZ_OK,
             [](const CCmdGJ& c) {
                 EXPECT_EQ(c.used[0], 1);
                 EXPECT_EQ(c.model[0], 3);
                 EXPECT_EQ(c.sharedNumber, 7);
                 EXPECT_STREQ(c.name[0], "Boiler feed");
                 EXPECT_STREQ(c.tag[0], "TIC-101");
                 EXPECT_EQ(c.used[1], 0);
                 EXPECT_STREQ(c.name[1], "EXT-02");
                 EXPECT_STREQ(c.tag[1], "");
             }},
            {"On is in use, on is not",
             List({"DAEXT16,On,3,model-14,x,N16,T16", "DAEXT15,on", "DAEXT14,ON,9,other,x,a,b"}),
             RZ_OK,
             [](const CCmdGJ& c) {
                 EXPECT_EQ(c.used[15], 1);
                 EXPECT_EQ(c.model[15], 14);
                 EXPECT_EQ(c.used[14], 0);
                 EXPECT_STREQ(c.name[14], "EXT-15");
                 EXPECT_EQ(c.model[13], 15);
                 EXPECT_EQ(c.sharedNumber, 9);  // the last entry in use
             }},
            {"unknown models", List({"DAEXT01,ON,1,MODEL-15,x,a,b", "DAEXT02,ON,1,MODEL-1,x,a,b"}),
             RZ_OK,
             [](const CCmdGJ& c) {
                 EXPECT_EQ(c.model[0], 0);
                 EXPECT_EQ(c.model[1], 0);
                 EXPECT_EQ(c.used[1], 1);
             }},
            {"loops outside 1 to 16 are consumed and ignored",
             List({"DAEXT17,ON,5,MODEL-01,x,Far,F", "DAEXT00,OFF", "DAEXT03,ON,6,OTHER,x,Near,N"}),
             RZ_OK,
             [](const CCmdGJ& c) {
                 EXPECT_EQ(c.used[2], 1);
                 EXPECT_STREQ(c.name[2], "Near");
                 EXPECT_STREQ(c.name[15], "");
                 EXPECT_EQ(c.sharedNumber, 6);
             }},
            {"long names are cut",
             List({"DAEXT04,ON,1,OTHER,x,ABCDEFGHIJKLMNOPQRS,0123456789abcdefXY"}), RZ_OK,
             [](const CCmdGJ& c) {
                 EXPECT_STREQ(c.name[3], "ABCDEFGHIJKLMNOP");
                 EXPECT_STREQ(c.tag[3], "0123456789abcdef");
             }},
            {"entry in use short of fields", List({"DAEXT01,ON,7,MODEL-03,x,Boiler"}),
             LINK_E_FIELDS, [](const CCmdGJ& c) { EXPECT_EQ(c.used[0], 0); }},
            {"cleared before the run", "E1\r\n", REPLY_UNEXPECTED,
             [](const CCmdGJ& c) {
                 EXPECT_EQ(c.used[5], 0);
                 EXPECT_EQ(c.model[5], 0);
                 EXPECT_EQ(c.sharedNumber, 0);
                 EXPECT_STREQ(c.name[5], "");
             },
             "E1"},
        },
        [](CCmdGJ& c) {
            c.used[5] = 1;
            c.model[5] = 2;
            c.sharedNumber = 3;
            CopyText(c.name[5], sizeof(c.name[5]), "stale");
        });
}

TEST(SettingQueries, TagsByChannelNumber) {
    RunCases<CCmdST>(
        {
            {"the ends of every range",
             List({"DA1,T1,31,T31,60,T60", "DA101,L101,118,L118,201,X201,248,X248"}), RZ_OK,
             [](const CCmdST& c) {
                 EXPECT_STREQ(c.channelTag[0], "T1");
                 EXPECT_STREQ(c.channelTag[30], "T31");
                 EXPECT_STREQ(c.channelTag[59], "T60");
                 EXPECT_STREQ(c.loopTag[0], "L101");
                 EXPECT_STREQ(c.loopTag[17], "L118");
                 EXPECT_STREQ(c.extLoopTag[0], "X201");
                 EXPECT_STREQ(c.extLoopTag[47], "X248");
                 EXPECT_EQ(c.lastNumber, 248);
             }},
            {"numbers between and beyond the ranges are ignored",
             List({"DA45,T45,0,Zero,61,Over,100,H,119,L,200,E,249,X,150,Mid"}), RZ_OK,
             [](const CCmdST& c) {
                 EXPECT_STREQ(c.channelTag[44], "T45");
                 EXPECT_STREQ(c.channelTag[59], "");
                 EXPECT_STREQ(c.loopTag[0], "");
                 EXPECT_STREQ(c.loopTag[17], "");
                 EXPECT_STREQ(c.extLoopTag[0], "");
                 EXPECT_STREQ(c.extLoopTag[47], "");
                 EXPECT_EQ(c.lastNumber, 150);
             }},
            {"huge numbers saturate instead of wrapping into a range",
             List({"DA4294967297,Wrap,-4294967295,Neg"}), RZ_OK,
             [](const CCmdST& c) {
                 EXPECT_STREQ(c.channelTag[0], "");
                 EXPECT_EQ(c.lastNumber, INT32_MIN);
             }},
            {"long tags are cut", List({"DA7,0123456789ABCDEFGHIJ"}), RZ_OK,
             [](const CCmdST& c) { EXPECT_STREQ(c.channelTag[6], "0123456789ABCDEF"); }},
            {"odd field count", List({"DA7,T7,8"}), LINK_E_FIELDS,
             [](const CCmdST& c) {
                 EXPECT_STREQ(c.channelTag[6], "T7");
                 EXPECT_EQ(c.lastNumber, 7);
             }},
            {"cleared before the run", List({}), RZ_OK,
             [](const CCmdST& c) {
                 EXPECT_STREQ(c.loopTag[4], "");
                 EXPECT_EQ(c.lastNumber, 0);
             }},
        },
        [](CCmdST& c) {
            CopyText(c.loopTag[4], sizeof(c.loopTag[4]), "stale");
            c.lastNumber = 5;
        });
}

TEST(SettingQueries, OversizedFieldListsAreRefused) {
    std::string many = "EA\r\n";
    for (int i = 0; i < 150; ++i) {
        many += "DA1,T\r\n";  // 300 fields: more than the rows hold
    }
    many += "EN\r\n";
    RunCases<CCmdST>({{"too many fields", many, LINK_E_FORMAT, {}}});
    RunCases<CCmdHM>(
        {{"over-long line", List({"DA1," + std::string(300, 'n') + ",t"}), LINK_E_FORMAT, {}}});
}

// ---------------------------------------------------------------------------------------------
// Line-walk queries

TEST(SettingQueries, OutputLimits) {
    RunCases<CCmdHO>({
        {"limits per PID number", List({"DA1,1,0,1000", "DA1,2,-50,500", "DA6,8,10,20"}), RZ_OK,
         [](const CCmdHO& c) {
             EXPECT_EQ(c.lastPid[0], 2);
             EXPECT_EQ(c.outputLow[0][0], 0.0);
             EXPECT_EQ(c.outputHigh[0][0], 1000.0);
             EXPECT_EQ(c.outputLow[0][1], -50.0);
             EXPECT_EQ(c.outputHigh[0][1], 500.0);
             EXPECT_EQ(c.lastPid[5], 8);
             EXPECT_EQ(c.outputLow[5][7], 10.0);
             EXPECT_EQ(c.outputHigh[5][7], 20.0);
             // Loop 2 has no line: its defaults stay.
             EXPECT_EQ(c.lastPid[1], 0);
             for (int k = 0; k < 8; ++k) {
                 EXPECT_EQ(c.outputLow[1][k], 0.0);
                 EXPECT_EQ(c.outputHigh[1][k], 100.0);
             }
         }},
        {"loops and PID numbers outside the tables are ignored",
         List({"DA0,1,1,1", "DA7,1,1,1", "DA2,0,1,1", "DA2,9,1,1", "DA-1,1,1,1"}), RZ_OK,
         [](const CCmdHO& c) {
             EXPECT_EQ(c.lastPid[1], 0);
             EXPECT_EQ(c.outputHigh[5][7], 100.0);
             EXPECT_EQ(c.outputHigh[0][0], 100.0);
         }},
        {"the list may end with END:", "EA\r\nDA3,4,5,6\r\nEND:\r\n", RZ_OK,
         [](const CCmdHO& c) { EXPECT_EQ(c.outputHigh[2][3], 6.0); }},
        {"error number above 0 is not shown", "E3\r\n", REPLY_UNEXPECTED, {}},
        {"last line without CR LF", "EA\r\nDA1,1,0,900\r\nEN", LINK_E_FORMAT,
         [](const CCmdHO& c) { EXPECT_EQ(c.outputHigh[0][0], 900.0); }},
        {"no end marker", "EA\r\nDA1,1,0,900\r\n", LINK_E_FORMAT, {}},
        {"more fields than rows", List({"DA1,1,0,900,1,2,3,4,5"}), LINK_E_FORMAT, {}},
        {"over-long line", List({"DA1,1,0," + std::string(300, '9')}), LINK_E_FORMAT, {}},
    });
}

TEST(SettingQueries, ExternalLoopDecimals) {
    RunCases<CCmdGV>(
        {
            {"items in any case", List({"DA1,PV,2", "DA1,sp,3", "DA16,Out,0"}), RZ_OK,
             [](const CCmdGV& c) {
                 EXPECT_EQ(c.pvDecimals[0], 2);
                 EXPECT_EQ(c.spDecimals[0], 3);
                 EXPECT_EQ(c.outDecimals[0], 1);
                 EXPECT_EQ(c.outDecimals[15], 0);
                 EXPECT_EQ(c.pvDecimals[15], 1);
             }},
            {"loop 17 is ignored", List({"DA17,PV,4", "DA0,SP,4"}), RZ_OK,
             [](const CCmdGV& c) {
                 EXPECT_EQ(c.pvDecimals[15], 1);
                 EXPECT_EQ(c.spDecimals[0], 1);
             }},
            {"unknown item", List({"DA1,PV,2", "DA2,MV,1"}), LINK_E_FORMAT,
             [](const CCmdGV& c) { EXPECT_EQ(c.pvDecimals[0], 2); }},
            {"unknown item on an ignored loop", List({"DA40,MV,1"}), LINK_E_FORMAT, {}},
            {"error number above 0", "E1\r\n", REPLY_UNEXPECTED,
             [](const CCmdGV& c) { EXPECT_EQ(c.pvDecimals[3], 1); }},
        },
        [](CCmdGV& c) { c.pvDecimals[3] = 4; });
}

TEST(SettingQueries, RetransmissionSpans) {
    RunCases<CCmdMT>(
        {
            {"only RETRANS lines count",
             List({"DA1,RETRANS,ON,x,0,1000,1", "DA2,retrans,off,x,5,6,7", "DA3,OTHER,ON,x,1,2,3",
                   "DA6,Retrans,on,x,-100,100,2"}),
             RZ_OK,
             [](const CCmdMT& c) {
                 EXPECT_EQ(c.retrans[0], 1);
                 EXPECT_EQ(c.spanLow[0], 0.0);
                 EXPECT_EQ(c.spanHigh[0], 1000.0);
                 EXPECT_EQ(c.spanDecimals[0], 1);
                 EXPECT_EQ(c.retrans[1], 0);
                 EXPECT_EQ(c.spanHigh[1], 0.0);
                 EXPECT_EQ(c.retrans[2], 0);
                 EXPECT_EQ(c.spanDecimals[2], 0);
                 EXPECT_EQ(c.retrans[5], 1);
                 EXPECT_EQ(c.spanLow[5], -100.0);
                 EXPECT_EQ(c.spanDecimals[5], 2);
             }},
            {"loop 7 is ignored", List({"DA7,RETRANS,ON,x,1,2,3"}), RZ_OK,
             [](const CCmdMT& c) { EXPECT_EQ(c.retrans[5], 0); }},
            {"eleven fields", List({"DA1,RETRANS,ON,x,0,1,2,3,4,5,6"}), LINK_E_FORMAT, {}},
            {"cleared before the run", "E4\r\n", REPLY_UNEXPECTED,
             [](const CCmdMT& c) {
                 EXPECT_EQ(c.retrans[4], 0);
                 EXPECT_EQ(c.spanHigh[4], 0.0);
             }},
        },
        [](CCmdMT& c) {
            c.retrans[4] = 1;
            c.spanHigh[4] = 5.0;
        });
}

TEST(SettingQueries, DisplayGroups) {
    RunCases<CCmdSX>(
        {
            {"ranges and single numbers",
             List({"DA1,GROUP 1,1-3.7", "DA2,Tank,31.32.101", "DA10,Last,248"}), RZ_OK,
             [](const CCmdSX& c) {
                 EXPECT_STREQ(c.groupName[0], "GROUP 1");
                 const int32_t first[] = {1, 2, 3, 7, 0};
                 for (int i = 0; i < 5; ++i) {
                     EXPECT_EQ(c.groupChannels[0][i], first[i]) << "member " << i;
                 }
                 EXPECT_EQ(c.groupChannels[1][0], 31);
                 EXPECT_EQ(c.groupChannels[1][1], 32);
                 EXPECT_EQ(c.groupChannels[1][2], 101);
                 EXPECT_STREQ(c.groupName[9], "Last");
                 EXPECT_EQ(c.groupChannels[9][0], 248);
             }},
            {"a wide range stops at ten channels", List({"DA3,All,1-2000000000", "DA4,Next,5"}),
             RZ_OK,
             [](const CCmdSX& c) {
                 for (int i = 0; i < 10; ++i) {
                     EXPECT_EQ(c.groupChannels[2][i], i + 1);
                 }
                 EXPECT_EQ(c.groupChannels[3][0], 5);
                 EXPECT_EQ(c.groupChannels[3][1], 0);
             }},
            {"more than ten items are cut", List({"DA4,Many,1.2.3.4.5.6.7.8.9.10.11.12"}), RZ_OK,
             [](const CCmdSX& c) {
                 EXPECT_EQ(c.groupChannels[3][9], 10);
                 EXPECT_EQ(c.groupChannels[4][0], 0);
             }},
            {"descending range and empty items store nothing", List({"DA5,Odd,5-3..9."}), RZ_OK,
             [](const CCmdSX& c) {
                 EXPECT_EQ(c.groupChannels[4][0], 9);
                 EXPECT_EQ(c.groupChannels[4][1], 0);
             }},
            {"groups outside 1 to 10 are ignored", List({"DA0,Zero,1", "DA11,Eleven,2"}), RZ_OK,
             [](const CCmdSX& c) {
                 EXPECT_STREQ(c.groupName[0], "");
                 EXPECT_STREQ(c.groupName[9], "");
                 EXPECT_EQ(c.groupChannels[9][0], 0);
             }},
            {"long names are cut", List({"DA6,Abcdefghijklmnopqrstuvwxyz,1"}), RZ_OK,
             [](const CCmdSX& c) { EXPECT_STREQ(c.groupName[5], "Abcdefghijklmnop"); }},
            {"four fields", List({"DA1,Name,1,2"}), LINK_E_FORMAT, {}},
            {"cleared before the run", "E2\r\n", REPLY_UNEXPECTED,
             [](const CCmdSX& c) {
                 EXPECT_STREQ(c.groupName[7], "");
                 EXPECT_EQ(c.groupChannels[7][2], 0);
             }},
        },
        [](CCmdSX& c) {
            CopyText(c.groupName[7], sizeof(c.groupName[7]), "stale");
            c.groupChannels[7][2] = 9;
        });
}

TEST(SettingQueries, InputTypes) {
    RunCases<CCmdSR>(
        {
            {"every type in any case",
             List({"DA01,VOLT,2V", "DA02,tc,K", "DA03,Rtd,PT", "DA04,DI,LEVEL", "DA05,DELTA,x",
                   "DA06,SCALE,x", "DA07,sqrt,x", "DA30,LOG"}),
             RZ_OK,
             [](const CCmdSR& c) {
                 const int32_t expected[] = {0, 1, 2, 3, 4, 5, 6};
                 for (int i = 0; i < 7; ++i) {
                     EXPECT_EQ(c.inputType[i], expected[i]) << "channel " << i + 1;
                 }
                 EXPECT_EQ(c.inputType[29], 7);
                 EXPECT_EQ(c.inputType[7], 8);
             }},
            {"unknown types leave the default",
             List({"DA01,XYZ,1", "DA02,SQRTSQRT,1", "DA03", "DA04,,VOLT"}), RZ_OK,
             [](const CCmdSR& c) {
                 for (int i = 0; i < 4; ++i) {
                     EXPECT_EQ(c.inputType[i], 8) << "channel " << i + 1;
                 }
             }},
            {"channels outside 1 to 30 are ignored", List({"DA31,VOLT", "DA00,TC"}), RZ_OK,
             [](const CCmdSR& c) { EXPECT_EQ(c.inputType[29], 8); }},
            {"error answer, not shown", "E1\r\n", REPLY_UNEXPECTED,
             [](const CCmdSR& c) { EXPECT_EQ(c.inputType[12], 8); }},
            {"EB counts as an error", "EB\r\n", REPLY_UNEXPECTED, {}},
        },
        [](CCmdSR& c) { c.inputType[12] = 2; });
}

TEST(SettingQueries, DioPointKinds) {
    RunCases<CCmdDX>(
        {
            {"DI-1 reads the fourth field, others the fifth",
             List(
                 {"DA1,ON,DI-1,DI001,DO999,x,y", "DA2,ON,DO-2P,x,RO005", "DA3,on,dio-12p,x,DIO12"}),
             RZ_OK,
             [](const CCmdDX& c) {
                 EXPECT_EQ(c.present[0], 1);
                 EXPECT_EQ(c.module[0], 0);
                 EXPECT_STREQ(c.text[0], "DI001");
                 EXPECT_EQ(c.value[0], 1);
                 EXPECT_EQ(c.module[1], 5);
                 EXPECT_STREQ(c.text[1], "RO005");  // the line end is not part of the text
                 EXPECT_EQ(c.value[1], 5);
                 EXPECT_EQ(c.module[2], 6);
             }},
            {"every module kind",
             List({"DA1,ON,DO-1,x,a", "DA2,ON,DO-2,x,a", "DA3,ON,DIO-11,x,a", "DA4,ON,DIO-12,x,a",
                   "DA5,ON,RELAY,x,a"}),
             RZ_OK,
             [](const CCmdDX& c) {
                 const int32_t expected[] = {1, 2, 3, 4, 7};
                 for (int i = 0; i < 5; ++i) {
                     EXPECT_EQ(c.module[i], expected[i]) << "point " << i + 1;
                     EXPECT_EQ(c.present[i], 1);
                 }
             }},
            {"a point that is not ON changes nothing else", List({"DA36,OFF,DO-1,x,RO036"}), RZ_OK,
             [](const CCmdDX& c) {
                 EXPECT_EQ(c.present[35], 0);
                 EXPECT_EQ(c.module[35], 7);
                 EXPECT_STREQ(c.text[35], "");
             }},
            {"texts are cut to seven characters", List({"DA5,ON,DO-1,x,RO12345678"}), RZ_OK,
             [](const CCmdDX& c) {
                 EXPECT_STREQ(c.text[4], "RO12345");
                 EXPECT_EQ(c.value[4], 12345678);
             }},
            {"point 37 is ignored", List({"DA37,ON,DI-1,x,y"}), RZ_OK,
             [](const CCmdDX& c) { EXPECT_EQ(c.present[35], 0); }},
            {"eight fields", List({"DA1,ON,DI-1,a,b,c,d,e"}), LINK_E_FORMAT, {}},
            {"error answer is shown", "E1 Not ready\r\n", REPLY_UNEXPECTED,
             [](const CCmdDX& c) {
                 EXPECT_EQ(c.present[8], 0);
                 EXPECT_EQ(c.module[8], 7);
                 EXPECT_STREQ(c.text[8], "");
             },
             "E1 Not ready"},
        },
        [](CCmdDX& c) {
            c.present[8] = 1;
            c.module[8] = 2;
            CopyText(c.text[8], sizeof(c.text[8]), "stale");
        });
}

// ---------------------------------------------------------------------------------------------
// Single-record queries

struct ModeState {
    int32_t bit7, state0, state1, state2, state4;
};

void ExpectModeState(const CCmdFM& c, const ModeState& expected) {
    EXPECT_EQ(c.bit7, expected.bit7);
    EXPECT_EQ(c.state0, expected.state0);
    EXPECT_EQ(c.state1, expected.state1);
    EXPECT_EQ(c.state2, expected.state2);
    EXPECT_EQ(c.state4, expected.state4);
}

constexpr ModeState kModeDefaults = {0, 2, 2, 3, 0};

TEST(SettingQueries, LoopModeRecords) {
    struct Case {
        const char* name;
        std::string answer;
        RzResult expected;
        ModeState fm;
        ModeState dr;
    };
    const std::vector<Case> cases = {
        {"MAN, run, bit 7", List({"128.000.000.005"}), RZ_OK, {1, 1, 0, 1, 0}, {0, 1, 0, 1, 0}},
        {"CAS wins over MAN", List({"000.000.000.012"}), RZ_OK, {0, 0, 0, 2, 0}, {0, 0, 0, 2, 0}},
        {"AUT, remote", List({"000.000.000.002"}), RZ_OK, {0, 0, 1, 0, 0}, {0, 0, 1, 0, 0}},
        {"bit 4", List({"127.000.000.019"}), RZ_OK, {0, 1, 1, 0, 1}, {0, 1, 1, 0, 1}},
        {"blank lines between",
         "EA\r\n\r\n255.000.000.008\r\n\r\nEN\r\n",
         RZ_OK,
         {1, 0, 0, 2, 0},
         {0, 0, 0, 2, 0}},
        {"14 characters", List({"00.000.000.005"}), LINK_E_FORMAT, kModeDefaults, kModeDefaults},
        {"16 characters", List({"0000.000.000.005"}), LINK_E_FORMAT, kModeDefaults, kModeDefaults},
        {"three numbers", List({"0000.00000.0005"}), LINK_E_FORMAT, kModeDefaults, kModeDefaults},
        {"no record", "EA\r\n", LINK_E_FORMAT, kModeDefaults, kModeDefaults},
        {"not a list resets", "E1\r\n", RZ_OK, kModeDefaults, kModeDefaults},
        {"not a list, any text", "000.000.000.005\r\n", RZ_OK, kModeDefaults, kModeDefaults},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ShownMessages shown;
        FakeLink link;
        CCmdFM fm;
        CCmdDR dr;
        fm.Bind(&link, nullptr);
        dr.Bind(&link, nullptr);
        fm.state2 = dr.state2 = 1;  // stale results of an earlier run
        fm.bit7 = 1;
        link.QueueAnswer(c.answer);
        EXPECT_EQ(fm.Query(), c.expected);
        ExpectModeState(fm, c.fm);
        link.QueueAnswer(c.answer);
        EXPECT_EQ(dr.Query(), c.expected);
        ExpectModeState(dr, c.dr);
        EXPECT_TRUE(shown.texts.empty());
    }
}

TEST(SettingQueries, RunStatusRecord) {
    RunCases<CCmdIS>(
        {
            {"memory and math running", List({"006.000.000.000"}), RZ_OK,
             [](const CCmdIS& c) {
                 EXPECT_EQ(c.statusA, 1);
                 EXPECT_EQ(c.statusB, 1);
             }},
            {"memory only", List({"002.000.000.000"}), RZ_OK,
             [](const CCmdIS& c) {
                 EXPECT_EQ(c.statusA, 1);
                 EXPECT_EQ(c.statusB, 0);
             }},
            {"math only", List({"252.000.000.000"}), RZ_OK,
             [](const CCmdIS& c) {
                 EXPECT_EQ(c.statusA, 0);
                 EXPECT_EQ(c.statusB, 1);
             }},
            {"wrong record length", List({"06.000.000.000"}), LINK_E_FORMAT,
             [](const CCmdIS& c) { EXPECT_EQ(c.statusA, 0); }},
            // A status line in place of the record is the whole answer: nothing more is read.
            {"status line E0", "E0\r\n", RZ_OK,
             [](const CCmdIS& c) {
                 EXPECT_EQ(c.statusA, 0);
                 EXPECT_EQ(c.statusB, 0);
             }},
            {"error status line is shown", "E3 Busy\r\n", REPLY_ERROR, {}, "E3 Busy"},
        },
        [](CCmdIS& c) {
            c.statusA = 1;
            c.statusB = 1;
        });
}

TEST(SettingQueries, StatusFilter) {
    struct Case {
        const char* name;
        std::string answer;
        RzResult expected;
        std::vector<std::string> shown;
    };
    const std::vector<Case> cases = {
        {"accepted", "E0\r\n", RZ_OK, {}},
        {"refused", "E1\r\n", REPLY_ERROR, {"E1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ShownMessages shown;
        FakeLink link;
        link.QueueAnswer(c.answer);
        CCmdIF command;
        command.Bind(&link, nullptr);
        EXPECT_EQ(command.Execute(), c.expected);
        EXPECT_EQ(command.Query(), RZ_OK);  // the base Query: nothing sent
        EXPECT_EQ(link.requests().size(), 1u);
        EXPECT_EQ(shown.texts, c.shown);
    }
}

TEST(SettingQueries, LoggedInUser) {
    // Exactly 256 bytes: the largest answer the query takes.
    const std::string full = "EA\r\nE0 A admin" + std::string(236, ' ') + "\r\nEN\r\n";
    ASSERT_EQ(full.size(), 256u);
    RunCases<CCmdFU>(
        {
            {"administrator", List({"E0 A admin"}), RZ_OK,
             [](const CCmdFU& c) {
                 EXPECT_STREQ(c.code, "E");
                 EXPECT_STREQ(c.level, "A");
                 EXPECT_STREQ(c.userName, "admin");
             }},
            {"the last line counts", List({"E0 A admin", "X1  U   operator"}), RZ_OK,
             [](const CCmdFU& c) {
                 EXPECT_STREQ(c.code, "X");
                 EXPECT_STREQ(c.level, "U");
                 EXPECT_STREQ(c.userName, "operator");
             }},
            {"two fields", List({"E0 U"}), RZ_OK,
             [](const CCmdFU& c) {
                 EXPECT_STREQ(c.level, "U");
                 EXPECT_STREQ(c.userName, "");
             }},
            {"long names are cut", List({"E0 U abcdefghijklmnopqrstuvwxyz"}), RZ_OK,
             [](const CCmdFU& c) { EXPECT_STREQ(c.userName, "abcdefghijklmnop"); }},
            {"256 bytes", full, RZ_OK, [](const CCmdFU& c) { EXPECT_STREQ(c.userName, "admin"); }},
            {"257 bytes", "EA\r\nE0 A admin" + std::string(237, ' ') + "\r\nEN\r\n",
             LINK_E_BUFFER_SMALL, [](const CCmdFU& c) { EXPECT_STREQ(c.userName, ""); }},
            {"four fields", List({"E0 A admin extra"}), LINK_E_FORMAT,
             [](const CCmdFU& c) {
                 EXPECT_STREQ(c.code, "");
                 EXPECT_STREQ(c.userName, "");
             }},
            {"no end marker", "EA\r\nE0 A admin\r\n", LINK_E_FORMAT,
             [](const CCmdFU& c) { EXPECT_STREQ(c.userName, ""); }},
            {"error number above 0, not shown", "E2\r\n", REPLY_UNEXPECTED,
             [](const CCmdFU& c) { EXPECT_STREQ(c.level, ""); }},
        },
        [](CCmdFU& c) {
            CopyText(c.level, sizeof(c.level), "A");
            CopyText(c.userName, sizeof(c.userName), "stale");
        });
}

}  // namespace
