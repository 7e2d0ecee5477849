// Command runs must not touch the heap: the communication thread runs them every cycle. The
// queries of the load steps are counted with the loader; these are the operations.

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
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
    auto& ud = *set->Get<CCmdUD>();
    ud.kind = 4;
    auto& go = *set->Get<CCmdGO>();
    go.value = 12.34;
    go.decimals = 2;
    auto& dv = *set->Get<CCmdDV>();
    dv.loop = 1;
    std::strcpy(dv.item[0], "mout");
    dv.records[0].manualOutput = 45.67;
    auto& pn = *set->Get<CCmdPN>();
    pn.pattern = 4;
    for (CCommand* command : std::initializer_list<CCommand*>{&ud, &go, &dv, &pn}) {
        link.QueueAnswer("E0\r\n");
        const size_t sent = link.sendCount();
        RzResult result = LINK_E_GENERAL;
        EXPECT_EQ(AllocationsDuring([&] { result = command->Execute(); }), 0u);
        EXPECT_EQ(result, RZ_OK);
        EXPECT_EQ(link.sendCount(), sent + 1);
        EXPECT_EQ(link.pendingAnswers(), 0u);
    }
}

}  // namespace
