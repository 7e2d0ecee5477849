// Command runs must not touch the heap: the communication thread runs them every cycle.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "commands/CommandSet.h"
#include "common/AllocationCounter.h"
#include "common/FakeLink.h"
#include "common/ModelBuilder.h"

namespace {

TEST(CommandAllocations, TheCounterSeesAnAllocation) {
    // Without this the checks below could pass with a counter that never counts.
    std::unique_ptr<std::string> text;
    EXPECT_GE(AllocationsDuring([&text] { text = std::make_unique<std::string>(200, 'x'); }), 1u);
}

TEST(CommandAllocations, RepresentativeRunsAllocateNothing) {
    auto model = MakeModel();
    auto set = std::make_unique<CCommandSet>();
    FakeLink link;
    link.StopRecording();
    set->Bind(&link, model.get(), model.get());
    // A large image, so that any per-run buffer would have to come from the heap.
    std::string image(600000, '\0');
    for (size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<char>(i * 31 + 7);
    }
    const struct {
        const char* name;
        std::string answer;
        RzResult (*run)(CCommandSet&);
    } cases[] = {
        {"UD trend options", "E0\r\n",
         [](CCommandSet& s) {
             s.cmdUD.kind = 4;
             return s.cmdUD.Execute();
         }},
        {"GO with scaling", "E0\r\n",
         [](CCommandSet& s) {
             s.cmdGO.value = 12.34;
             s.cmdGO.decimals = 2;
             return s.cmdGO.Execute();
         }},
        {"DV MOUT", "E0\r\n",
         [](CCommandSet& s) {
             s.cmdDV.loop = 1;
             std::strcpy(s.cmdDV.item[0], "mout");
             s.cmdDV.records[0].manualOutput = 45.67;
             return s.cmdDV.Execute();
         }},
        {"PN", "E0\r\n",
         [](CCommandSet& s) {
             s.cmdPN.pattern = 4;
             return s.cmdPN.Execute();
         }},
        {"FP field list", "EA\r\n  SP2,PID3\r\nEN\r\n",
         [](CCommandSet& s) { return s.cmdFP.Query(); }},
        {"DT line walk", "EA\r\nDT1,2,OH,1000\r\nDT1,2,OL,0\r\nEN\r\n",
         [](CCommandSet& s) { return s.cmdDT.Query(); }},
        {"FC image", image, [](CCommandSet& s) { return s.cmdFC.Query(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        link.QueueAnswer(c.answer);
        const size_t sent = link.sendCount();
        RzResult result = LINK_E_GENERAL;
        EXPECT_EQ(AllocationsDuring([&] { result = c.run(*set); }), 0u);
        EXPECT_EQ(result, RZ_OK);
        EXPECT_EQ(link.sendCount(), sent + 1);
        EXPECT_EQ(link.pendingAnswers(), 0u);
    }
    // The runs did their work, so the counts above cover real parsing and copying.
    EXPECT_EQ(set->cmdFP.pidNumber, 3);
    EXPECT_EQ(set->cmdDT.outputHigh[0][1], 1000.0);
    ASSERT_EQ(set->cmdFC.imageLength, image.size());
    EXPECT_EQ(std::memcmp(set->cmdFC.imageData, image.data(), image.size()), 0);
}

}  // namespace
