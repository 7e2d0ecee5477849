// The load steps run every communication cycle and must not touch the heap.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "commands/CommandSet.h"
#include "common/AllocationCounter.h"
#include "model/InstrumentModel.h"
#include "session/ModelLoader.h"
#include "unit/model/LoaderFixture.h"

namespace {

// Hands out answers prepared beforehand, in order, and counts requests; it allocates nothing
// while the steps run.
class PreparedLink : public CLinkTransport {
  public:
    explicit PreparedLink(const std::vector<std::string>& answers) : answers_(answers) {}

    size_t requestCount() const { return requests_; }
    size_t answersUsed() const { return next_; }

    RzResult Connect() override { return RZ_OK; }
    RzResult Open(const char*, uint16_t) override { return RZ_OK; }
    RzResult Close() override { return RZ_OK; }
    RzResult Send(const char*, uint32_t) override {
        ++requests_;
        return RZ_OK;
    }
    RzResult Receive(char* buffer, uint32_t capacity, uint32_t* outLength, AnswerShape) override {
        *outLength = 0;
        if (next_ >= answers_.size()) {
            return LINK_E_TIMEOUT;
        }
        const std::string& answer = answers_[next_++];
        if (answer.size() > capacity) {
            return LINK_E_BUFFER_SMALL;
        }
        std::memcpy(buffer, answer.data(), answer.size());
        buffer[answer.size()] = '\0';
        *outLength = static_cast<uint32_t>(answer.size());
        return RZ_OK;
    }
    RzResult SetTimeout(uint32_t) override { return RZ_OK; }
    uint32_t GetTimeout() const override { return kDefaultLinkTimeoutMs; }

  private:
    const std::vector<std::string>& answers_;
    size_t next_ = 0;
    size_t requests_ = 0;
};

std::string PatternPayload() {
    std::string payload("\x00\x01\x00\x10", 4);  // format 1, length 16: two entries
    payload += std::string(10, '\0');
    payload += std::string("\x01\x01\x01\x02\x03\x01", 6);
    return payload;
}

TEST(LoaderAllocations, EveryStepRunsWithoutTheHeap) {
    auto model = std::make_unique<CInstrumentModel>();
    model->modelClass = 3200;
    model->firmwareMajor = 3;
    model->version = 0x30006;
    model->displayGroupCount = 10;
    model->controlGroupCount = 8;
    model->dioCount = 36;
    model->programOption = 1;
    model->inputTypes[0] = 7;

    std::string dio(88, '\0');
    dio[26] = 0x3F;  // points 1 to 6 present
    dio[33] = 3;
    dio[80] = 0x02;
    const std::vector<std::string> answers = {
        List({"E A admin"}),
        "E0\r\n",
        StatusRecord("006.000.000.000"),
        List({"DA1,GROUP 1,1-3.31.101.150"}),
        List({"DA1,Flow  ,101,  "}),
        List({"DA01,LOG", "DA02,VOLT"}),
        List({"DATE 24/05/01", "TIME 10:00:00", ValueLine('N', "001", "+00123", "-5"),
              ValueLine('O', "002", "-00001", "+0"),
              ValueLine('N', "A01", "+12345678", "-99", true),
              ValueLine('N', "101", "+00250", "-1"), ValueLine('N', "102", "+00300", "-1"),
              ValueLine('E', "103", "+00001", "+0"), ValueLine('N', "104", "+00001", "999"),
              ValueLine('N', "105", "+00001", "-1"), ValueLine('N', "106", "+00001", "-1"),
              ValueLine('N', "201", "+00001", "+0"), ValueLine('O', "202", "+00001", "+0"),
              ValueLine('N', "203", "+00001", "-1")}),
        List({"DA1,Boiler"}),
        List({"DA1,1,ON,Int-Loop,1"}),
        List({"DA1,  Boiler  ,x,2,   ,y"}),
        List({"DA1,Single,2,Retrans"}),
        List({"DA2,RETRANS,ON,x,0,1000,1"}),
        StatusRecord("000.000.000.004"),
        StatusRecord("000.000.000.008"),
        List({"DAEXT01,ON,7,MODEL-03,x,Feed  ,T1"}),
        StatusRecord("000.000.000.000"),
        List({"DA1,Pump  ,P1"}),
        List({"DA1,ON,DO-1,x,DO001", "DA2,ON,DO-2P,x,RO005"}),
        dio,
        PatternPayload(),
        List({"0.0.1.1"}),
        List({"DA1,RELAY,a,b,2,ON/OFF-CONTROL,a,b"}),
        List({"DA1,1,0,1000"}),
        List({"DASP1,PID1"}),
        List({"DA1,1,OH,1000", "DA1,1,OL,-100"}),
        std::string("\x89PNG\r\n\x1a\nDATA", 12),
    };
    PreparedLink link(answers);
    auto commands = std::make_unique<CCommandSet>();
    commands->Bind(&link, model.get(), model.get());
    CModelLoader loader(*commands, *model);

    constexpr int kSteps = 23;
    RzResult results[kSteps] = {};
    int n = 0;
    StartCountingAllocations();
    results[n++] = loader.LoadLoginInfo();
    results[n++] = loader.LoadRunStatus();
    results[n++] = loader.LoadDisplayGroups();
    results[n++] = loader.LoadTags();
    results[n++] = loader.LoadInputTypes();
    results[n++] = loader.LoadValues();
    results[n++] = loader.LoadControlGroupNames();
    results[n++] = loader.LoadControlGroupMembers();
    results[n++] = loader.LoadLoopNames();
    results[n++] = loader.LoadLoopKinds();
    results[n++] = loader.LoadRetransRanges();
    results[n++] = loader.LoadLoopModes();
    results[n++] = loader.LoadExtLoops();
    results[n++] = loader.LoadExtLoopModes();
    results[n++] = loader.LoadDioNames();
    results[n++] = loader.LoadDioKinds();
    results[n++] = loader.LoadDioStatus();
    results[n++] = loader.LoadPatternStates();
    results[n++] = loader.LoadPatternState(2, 0);
    results[n++] = loader.LoadOutputTypes();
    results[n++] = loader.LoadOutputRanges();
    results[n++] = loader.LoadExtOutputRanges();
    results[n++] = loader.LoadScreenImage();
    loader.SetOldFirmwareLoopDefaults();
    loader.ApplyDefaultNames();
    EXPECT_EQ(StopCountingAllocations(), 0u);
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(results[i], RZ_OK) << "step " << i + 1;
    }
    EXPECT_EQ(link.answersUsed(), answers.size()) << "every prepared answer was asked for";
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
