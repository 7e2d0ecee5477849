// Load steps that read the instrument's settings: log-in, run status, groups, tags, input
// types, loop and point names, kinds, modes and external loops. How each answer is parsed is
// the commands' tests' business; these check what the steps make of the results.

#include <cstring>
#include <string>
#include <vector>

#include "unit/model/LoaderFixture.h"

namespace {

TEST_F(LoaderTest, LoginInfo) {
    std::strcpy(model->userName, "keep");
    link->QueueAnswer("E1\r\n");
    EXPECT_EQ(loader->LoadLoginInfo(), REPLY_UNEXPECTED);
    EXPECT_STREQ(model->accessLevel, "U");
    EXPECT_STREQ(model->userName, "keep");
    link->QueueAnswer(List({"F A ABCDEFGHIJKLMNOPQRST"}));
    EXPECT_EQ(loader->LoadLoginInfo(), RZ_OK);
    EXPECT_EQ(Sent(), (Requests{"FU 0", "FU 0"}));
    EXPECT_STREQ(model->userCode, "F");
    EXPECT_STREQ(model->accessLevel, "A");
    EXPECT_STREQ(model->userName, "ABCDEFGHIJKLMNOP");
}

TEST_F(LoaderTest, RunStatus) {
    const struct {
        const char* name;
        std::string filterAnswer;
        std::string statusAnswer;  // empty: not asked
        RzResult result;
        int32_t memory, math;
    } cases[] = {
        {"memory only", "E0\r\n", List({"002.000.000.000"}), RZ_OK, 1, 0},
        // The flags start at 1 below, so a failed step must leave them at 1.
        {"filter refused", "E1\r\n", "", REPLY_ERROR, 1, 1},
        {"short status record", "E0\r\n", List({"06.000.000.000"}), LINK_E_FORMAT, 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Reset(3200, 3);
        model->memoryRunning = model->mathRunning = 1;
        link->QueueAnswer(c.filterAnswer);
        if (!c.statusAnswer.empty()) {
            link->QueueAnswer(c.statusAnswer);
        }
        EXPECT_EQ(loader->LoadRunStatus(), c.result);
        EXPECT_EQ(Sent().size(), c.statusAnswer.empty() ? 1u : 2u);
        EXPECT_EQ(model->memoryRunning, c.memory);
        EXPECT_EQ(model->mathRunning, c.math);
    }
}

// Groups up to the model's count (and never beyond the array) are written; each member gets
// the kind its number belongs to.
TEST_F(LoaderTest, DisplayGroups) {
    Reset(3100, 3);
    std::strcpy(model->displayGroups[6].name, "keep");
    model->displayGroups[6].members[0] = {9, 9};
    link->QueueAnswer(List({"DA1,GROUP 1  ,1-3", "DA2,Mixed,31.150.101.248.0.60", "DA7,Seven,6"}));
    EXPECT_EQ(loader->LoadDisplayGroups(), RZ_OK);
    EXPECT_EQ(Sent(), Requests{"SX?"});
    EXPECT_STREQ(model->displayGroups[0].name, "GROUP 1  ") << "group names are not trimmed";
    const struct {
        int group, slot;
        int32_t kind, number;
    } members[] = {{0, 0, 1, 1},   {0, 2, 1, 3},   {0, 3, 1, 0},  {1, 0, 2, 31}, {1, 1, 0, 150},
                   {1, 2, 3, 101}, {1, 3, 4, 248}, {1, 5, 2, 60}, {6, 0, 9, 9}};
    for (const auto& m : members) {
        SCOPED_TRACE("group " + std::to_string(m.group + 1) + " slot " + std::to_string(m.slot));
        EXPECT_EQ(model->displayGroups[m.group].members[m.slot].kind, m.kind);
        EXPECT_EQ(model->displayGroups[m.group].members[m.slot].number, m.number);
    }
    EXPECT_STREQ(model->displayGroups[6].name, "keep");

    model->displayGroupCount = 1000;
    model->controlGroups[0].members[0] = {7, 7};  // right after the groups in the model
    link->QueueAnswer(List({"DA10,Ten,248"}));
    EXPECT_EQ(loader->LoadDisplayGroups(), RZ_OK);
    EXPECT_STREQ(model->displayGroups[9].name, "Ten");
    EXPECT_EQ(model->controlGroups[0].members[0].kind, 7);
}

TEST_F(LoaderTest, Tags) {
    link->QueueAnswer(List({"DA7,   ,31,  ,105, ,1,Flow  ,248,TIC-9  ,60,  M60,150,Ignored"}));
    EXPECT_EQ(loader->LoadTags(), RZ_OK);
    EXPECT_EQ(Sent(), Requests{"ST?"});
    const struct {
        const char* what;
        const char* tag;
        const char* expected;
    } cases[] = {
        {"channel 1", model->channels[0].display.tag[0], "Flow"},
        {"channel 2, not reported", model->channels[1].display.tag[0], "2"},
        {"channel 7, blanks", model->channels[6].display.tag[0], "7"},
        {"math channel 31, blanks", model->channels[30].display.tag[0], "31"},
        {"math channel 60", model->channels[59].display.tag[0], "  M60"},
        {"loop 1 PV", model->internalLoops[0].display.tag[0], "101"},
        {"loop 2 SP, blank", model->internalLoops[1].display.tag[1], "105"},
        {"loop 6 OUT", model->internalLoops[5].display.tag[2], "118"},
        {"external loop 16 SP", model->externalLoops[15].display.tag[1], "247"},
        {"external loop 16 OUT", model->externalLoops[15].display.tag[2], "TIC-9"},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(c.tag, c.expected) << c.what;
    }
    // A failed step leaves the tags alone.
    link->QueueAnswer(List({"DA1,New,2"}));  // odd field count
    EXPECT_EQ(loader->LoadTags(), LINK_E_FIELDS);
    EXPECT_STREQ(model->channels[0].display.tag[0], "Flow");
}

TEST_F(LoaderTest, InputTypes) {
    model->inputTypes[1] = 3;
    link->QueueAnswer(List({"DA01,LOG", "DA30,VOLT"}));
    EXPECT_EQ(loader->LoadInputTypes(), RZ_OK);
    EXPECT_EQ(Sent(), Requests{"SR?"});
    EXPECT_EQ(model->inputTypes[0], 7);
    EXPECT_EQ(model->inputTypes[1], 8) << "a channel not reported has no type";
    EXPECT_EQ(model->inputTypes[29], 0);
}

TEST_F(LoaderTest, ControlGroups) {
    model->controlGroupCount = 4;
    model->controlGroups[4].members[0] = {9, 9};
    link->QueueAnswer(List({"DA1,Boiler  ,8,Last"}));
    link->QueueAnswer(List({"DA1,1,ON,Meas-CH,5,1,6,ON,DIO,36", "DA4,3,ON,Ext-Loop,16"}));
    EXPECT_EQ(loader->LoadControlGroupNames(), RZ_OK);
    EXPECT_EQ(loader->LoadControlGroupMembers(), RZ_OK);
    EXPECT_EQ(Sent(), (Requests{"FG?", "GG?"}));
    // All eight names, whatever the group count, as received.
    EXPECT_STREQ(model->controlGroups[0].name, "Boiler  ");
    EXPECT_STREQ(model->controlGroups[7].name, "Last");
    const struct {
        int group, slot;
        int32_t kind, number;
    } members[] = {{0, 0, 1, 5}, {0, 1, 0, 0}, {0, 5, 5, 36}, {3, 2, 4, 16}, {4, 0, 9, 9}};
    for (const auto& m : members) {
        SCOPED_TRACE("group " + std::to_string(m.group + 1) + " slot " + std::to_string(m.slot));
        EXPECT_EQ(model->controlGroups[m.group].members[m.slot].kind, m.kind);
        EXPECT_EQ(model->controlGroups[m.group].members[m.slot].number, m.number);
    }
}

TEST_F(LoaderTest, LoopNamesAndKinds) {
    model->loopCount = 3;
    std::strcpy(model->internalLoops[3].display.name, "keep");
    model->internalLoops[3].loopKind = 9;
    link->QueueAnswer(List({"DA1,  Boiler  ,x,2,   ,y,4,Four,z"}));
    link->QueueAnswer(List({"DA1,Single,2,Retrans,4,Cascade"}));
    EXPECT_EQ(loader->LoadLoopNames(), RZ_OK);
    EXPECT_EQ(loader->LoadLoopKinds(), RZ_OK);
    EXPECT_EQ(Sent(), (Requests{"HM?", "PC?"}));
    const struct {
        const char* name;
        int32_t kind;
    } loops[] = {{"  Boiler", 1}, {"INT-02", 4}, {"INT-03", 0}, {"keep", 9}};
    for (int j = 0; j < 4; ++j) {
        SCOPED_TRACE("loop " + std::to_string(j + 1));  // loop 4 is beyond the loop count
        EXPECT_STREQ(model->internalLoops[j].display.name, loops[j].name);
        EXPECT_EQ(model->internalLoops[j].loopKind, loops[j].kind);
    }
}

TEST_F(LoaderTest, RetransRanges) {
    model->loopCount = 4;
    const int32_t kinds[] = {4, 4, 1, 4};
    for (int j = 0; j < 4; ++j) {
        auto& loop = model->internalLoops[j];
        loop.loopKind = kinds[j];
        loop.retrans = 7;
        loop.outDecimals = 9;
        loop.outLow = -1.0;
        loop.outHigh = -2.0;
    }
    link->QueueAnswer(List({"DA1,RETRANS,ON,x,0,1000,1", "DA2,RETRANS,OFF,x,5,6,7",
                            "DA3,RETRANS,ON,x,1,2,3", "DA4,RETRANS,on,x,-500,2500,2"}));
    EXPECT_EQ(loader->LoadRetransRanges(), RZ_OK);
    EXPECT_EQ(Sent(), Requests{"MT?"});
    const char* const expected[] = {
        "1|1|0|100",
        "0|9|-1|-2",  // retransmission off: limits untouched
        "1|9|-1|-2",  // not a Retrans loop
        "1|2|-5|25",
    };
    for (int j = 0; j < 4; ++j) {
        const auto& l = model->internalLoops[j];
        EXPECT_EQ(Row(l.retrans, l.outDecimals, l.outLow, l.outHigh), expected[j])
            << "loop " << j + 1;
    }
}

// Mode, remote, run, bit 7, operable and mode text.
std::string LoopState(const CInternalLoopRecord& l) {
    return Row(l.modeCode, l.remote, l.run, l.bit7, l.operable, l.display.modeText);
}

TEST_F(LoaderTest, LoopModes) {
    model->loopCount = 6;
    const struct {
        int32_t kind;
        int32_t retrans;
        std::string answer;  // empty: no query for this loop
        const char* state;
    } loops[] = {
        {1, 0, List({"128.000.000.007"}), "1|1|1|1|1|MAN"},
        {0, 0, "", "5|5|5|5|5|"},                         // no kind: no query, mode text cleared
        {4, 0, List({"000.000.000.000"}), "0|0|0|0|1|"},  // Retrans, no retransmission
        {4, 1, List({"000.000.000.012"}), "2|0|0|0|1|CAS"},
        {2, 0, List({"000.000.000.002"}), "0|1|0|0|1|AUT"},
        {3, 0, "no list\r\n", "3|2|2|0|0|"},  // undetermined: not operable
    };
    Requests expectedSent;
    for (int j = 0; j < 6; ++j) {
        auto& loop = model->internalLoops[j];
        loop.loopKind = loops[j].kind;
        loop.retrans = loops[j].retrans;
        loop.modeCode = loop.remote = loop.run = loop.bit7 = loop.operable = 5;
        std::strcpy(loop.display.modeText, "XX");
        if (!loops[j].answer.empty()) {
            link->QueueAnswer(loops[j].answer);
            expectedSent.push_back("FM " + std::to_string(j + 1));
        }
    }
    EXPECT_EQ(loader->LoadLoopModes(), RZ_OK);
    EXPECT_EQ(Sent(), expectedSent);
    for (int j = 0; j < 6; ++j) {
        EXPECT_EQ(LoopState(model->internalLoops[j]), loops[j].state) << "loop " << j + 1;
    }
    // The first failure ends the step; loops read before it keep their new state.
    model->internalLoops[3].modeCode = 5;
    link->QueueAnswer(List({"000.000.000.001"}));
    link->QueueReceiveError(LINK_E_TIMEOUT);
    EXPECT_EQ(loader->LoadLoopModes(), LINK_E_TIMEOUT);
    EXPECT_EQ(model->internalLoops[0].modeCode, 0);
    EXPECT_EQ(model->internalLoops[3].modeCode, 5);
}

TEST_F(LoaderTest, OldFirmwareLoopDefaults) {
    Reset(3200, 1);
    model->loopCount = 2;
    for (auto& loop : model->internalLoops) {
        std::strcpy(loop.display.modeText, "AUT");
    }
    loader->SetOldFirmwareLoopDefaults();
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(LoopState(model->internalLoops[0]), "3|2|2|0|1|");
    EXPECT_EQ(LoopState(model->internalLoops[1]), "3|2|2|0|1|");
    EXPECT_EQ(LoopState(model->internalLoops[2]), "0|0|0|0|0|AUT");
}

TEST_F(LoaderTest, ExternalLoopsAndTheirModes) {
    model->extLoopCount = 5;
    std::strcpy(model->externalLoops[5].display.name, "keep");
    link->QueueAnswer(List({"DAEXT01,ON,7,MODEL-03,x,Feed  ,T1", "DAEXT02,OFF",
                            "DAEXT03,ON,1,OTHER,x,   ,T3", "DAEXT04,ON,1,MODEL-14,x,a,b",
                            "DAEXT05,ON,1,MODEL-01,x,b,c", "DAEXT06,ON,1,MODEL-01,x,Six,T6"}));
    EXPECT_EQ(loader->LoadExtLoops(), RZ_OK);
    for (auto& loop : model->externalLoops) {
        loop.modeCode = loop.remote = loop.run = 5;
        std::strcpy(loop.display.modeText, "XX");
    }
    link->QueueAnswer(List({"000.000.000.007"}));
    link->QueueAnswer("E1\r\n");
    link->QueueAnswer(List({"000.000.000.008"}));
    EXPECT_EQ(loader->LoadExtLoopModes(), RZ_OK);
    EXPECT_EQ(Sent(), (Requests{"GJ?", "DR 1", "DR 4", "DR 5"}));
    // In use, controller, name, mode, remote, run and mode text.
    const char* const expected[] = {
        "1|3|Feed|1|1|1|MAN",
        "0|0|EXT-02|5|5|5|",   // not in use: never asked
        "1|15|EXT-03|5|5|5|",  // OTHER controller: never asked
        "1|14|a|3|2|2|***",    // refused: undetermined
        "1|1|b|2|0|0|CAS",
        "0|0|keep|5|5|5|XX",  // beyond the external loop count
    };
    for (int j = 0; j < 6; ++j) {
        const auto& l = model->externalLoops[j];
        EXPECT_EQ(Row(l.inUse, l.controllerModel, l.display.name, l.modeCode, l.remote, l.run,
                      l.display.modeText),
                  expected[j])
            << "external loop " << j + 1;
    }
    // The first failure ends the step.
    link->QueueAnswer(List({"000.000.00.008"}));
    EXPECT_EQ(loader->LoadExtLoopModes(), LINK_E_FORMAT);
    EXPECT_EQ(Sent().size(), 5u);
}

TEST_F(LoaderTest, DioNamesAndDefaults) {
    model->dioCount = 9;
    std::strcpy(model->dio[9].display.name, "keep");
    link->QueueAnswer(List({"DA1,Pump  ,P1", "DA6,Valve,V6", "DA7, ,x", "DA10,Ten,T"}));
    link->QueueAnswer(List({"DA1,ON,DO-1,x,DO001", "DA2,ON,DO-2P,x,RO005", "DA3,ON,DI-1,RI005,x",
                            "DA4,OFF", "DA5,ON,XYZ,x,DX005", "DA6,ON,DIO-12,x,DX006",
                            "DA7,ON,DIO-11,x,DX007", "DA8,ON,DI-1,DI008,x"}));
    EXPECT_EQ(loader->LoadDioNames(), RZ_OK);
    EXPECT_EQ(loader->LoadDioKinds(), RZ_OK);
    EXPECT_EQ(Sent(), (Requests{"DY?", "DX?"}));
    const char* const expected[] = {
        "Pump",     // named by the instrument, trimmed
        "RO-005",   // relay output
        "RI-005",   // relay input
        "",         // not present
        "",         // module kind 7
        "Valve",    // named: keeps its name whatever the kind
        "DIO-007",  // blanks only count as no name
        "DI-008",   //
        "",         // point 9: not in the answers
        "keep",     // beyond the DI/DO count
    };
    for (int p = 0; p < 10; ++p) {
        EXPECT_STREQ(model->dio[p].display.name, expected[p]) << "point " << p + 1;
    }
}

}  // namespace
