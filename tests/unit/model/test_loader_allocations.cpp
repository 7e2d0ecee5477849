// The load steps run every communication cycle and must not touch the heap (the screen image's
// buffers come with its first fetch and stay).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/AllocationCounter.h"
#include "unit/model/LoaderFixture.h"

namespace {

TEST_F(LoaderTest, EveryStepRunsWithoutTheHeap) {
    link->StopRecording();
    link->QueueAnswer(std::string("\x89PNG\r\n\x1a\nDATA", 12));
    ASSERT_EQ(loader->LoadScreenImage(), RZ_OK);
    model->inputTypes[0] = 7;
    std::string dio(88, '\0');
    dio[26] = 0x3F;  // points 1 to 6 present
    dio[33] = 3;
    dio[80] = 0x02;
    const auto item = [](char status, const char* number, const char* mantissa,
                         const char* exponent) {
        return ValueLine(status, number, "", mantissa, exponent, number[0] == 'A');
    };
    const std::vector<std::string> answers = {
        List({"E A admin"}),
        "E0\r\n",
        List({"006.000.000.000"}),
        List({"DA1,GROUP 1,1-3.31.101.150"}),
        List({"DA1,Flow  ,101,  "}),
        List({"DA01,LOG", "DA02,VOLT"}),
        List({"DATE 24/05/01", "TIME 10:00:00", item('N', "001", "+00123", "-5"),
              item('O', "002", "-00001", "+0"), item('N', "A01", "+12345678", "-99"),
              item('N', "101", "+00250", "-1"), item('N', "102", "+00300", "-1"),
              item('E', "103", "+00001", "+0"), item('N', "104", "+00001", "999"),
              item('N', "105", "+00001", "-1"), item('N', "106", "+00001", "-1"),
              item('N', "201", "+00001", "+0"), item('O', "202", "+00001", "+0"),
              item('N', "203", "+00001", "-1")}),
        List({"DA1,Boiler"}),
        List({"DA1,1,ON,Int-Loop,1"}),
        List({"DA1,  Boiler  ,x,2,   ,y"}),
        List({"DA1,Single,2,Retrans"}),
        List({"DA2,RETRANS,ON,x,0,1000,1"}),
        List({"000.000.000.004"}),
        List({"000.000.000.008"}),
        List({"DAEXT01,ON,7,MODEL-03,x,Feed  ,T1"}),
        List({"000.000.000.000"}),
        List({"DA1,Pump  ,P1"}),
        List({"DA1,ON,DO-1,x,DO001", "DA2,ON,DO-2P,x,RO005"}),
        dio,
        PatternList({{1, 1, 1}, {2, 3, 1}}),
        List({"0.0.1.1"}),
        List({"DA1,RELAY,a,b,2,ON/OFF-CONTROL,a,b"}),
        List({"DA1,1,0,1000"}),
        List({"DASP1,PID1"}),
        List({"DA1,1,OH,1000", "DA1,1,OL,-100"}),
        std::string("\x89PNG\r\n\x1a\nDATA", 12),
    };
    for (const auto& answer : answers) {
        link->QueueAnswer(answer);
    }
    using Step = RzResult (CModelLoader::*)();
    const Step steps[] = {
        &CModelLoader::LoadLoginInfo,         &CModelLoader::LoadRunStatus,
        &CModelLoader::LoadDisplayGroups,     &CModelLoader::LoadTags,
        &CModelLoader::LoadInputTypes,        &CModelLoader::LoadValues,
        &CModelLoader::LoadControlGroupNames, &CModelLoader::LoadControlGroupMembers,
        &CModelLoader::LoadLoopNames,         &CModelLoader::LoadLoopKinds,
        &CModelLoader::LoadRetransRanges,     &CModelLoader::LoadLoopModes,
        &CModelLoader::LoadExtLoops,          &CModelLoader::LoadExtLoopModes,
        &CModelLoader::LoadDioNames,          &CModelLoader::LoadDioKinds,
        &CModelLoader::LoadDioStatus,         &CModelLoader::LoadPatternStates};
    const Step lateSteps[] = {&CModelLoader::LoadOutputTypes, &CModelLoader::LoadOutputRanges,
                              &CModelLoader::LoadExtOutputRanges, &CModelLoader::LoadScreenImage};
    RzResult results[23] = {};
    int n = 0;
    StartCountingAllocations();
    for (const Step step : steps) {
        results[n++] = (loader.get()->*step)();
    }
    results[n++] = loader->LoadPatternState(2, 0);
    for (const Step step : lateSteps) {
        results[n++] = (loader.get()->*step)();
    }
    loader->SetOldFirmwareLoopDefaults();
    loader->ApplyDefaultNames();
    EXPECT_EQ(StopCountingAllocations(), 0u);
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(results[i], RZ_OK) << "step " << i + 1;
    }
    EXPECT_EQ(link->pendingAnswers(), 0u) << "every prepared answer was asked for";
    // The run did what it was scripted for, so the count above covers real work.
    EXPECT_EQ(model->loopCount, 2);
    EXPECT_EQ(model->extLoopCount, 1);
    EXPECT_EQ(model->internalLoops[1].retrans, 1);
    EXPECT_STREQ(model->externalLoops[0].display.modeText, "AUT");
    EXPECT_EQ(model->dio[1].moduleKind, 3);
    EXPECT_EQ(model->patterns[1].state, 3);
    EXPECT_EQ(model->imageLength, 12u);
}

}  // namespace
