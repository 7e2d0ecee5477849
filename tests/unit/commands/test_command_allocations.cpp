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
             auto& ud = *s.Get<CCmdUD>();
             ud.kind = 4;
             return ud.Execute();
         }},
        {"GO with scaling", "E0\r\n",
         [](CCommandSet& s) {
             auto& go = *s.Get<CCmdGO>();
             go.value = 12.34;
             go.decimals = 2;
             return go.Execute();
         }},
        {"DV MOUT", "E0\r\n",
         [](CCommandSet& s) {
             auto& dv = *s.Get<CCmdDV>();
             dv.loop = 1;
             std::strcpy(dv.item[0], "mout");
             dv.records[0].manualOutput = 45.67;
             return dv.Execute();
         }},
        {"PN", "E0\r\n",
         [](CCommandSet& s) {
             auto& pn = *s.Get<CCmdPN>();
             pn.pattern = 4;
             return pn.Execute();
         }},
        {"FP field list", "EA\r\n  SP2,PID3\r\nEN\r\n",
         [](CCommandSet& s) { return s.Get<CCmdFP>()->Query(); }},
        {"DT line walk", "EA\r\nDT1,2,OH,1000\r\nDT1,2,OL,0\r\nEN\r\n",
         [](CCommandSet& s) { return s.Get<CCmdDT>()->Query(); }},
        {"FC image", image, [](CCommandSet& s) { return s.Get<CCmdFC>()->Query(); }},
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
    EXPECT_EQ(set->Get<CCmdFP>()->pidNumber, 3);
    EXPECT_EQ(set->Get<CCmdDT>()->outputHigh[0][1], 1000.0);
    ASSERT_EQ(set->Get<CCmdFC>()->imageLength, image.size());
    EXPECT_EQ(std::memcmp(set->Get<CCmdFC>()->imageData, image.data(), image.size()), 0);
}

}  // namespace
