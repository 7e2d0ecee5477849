// The communication cycle against rzsim: each pass reaches the views through the hub. Operations
// beside the cycle are the asynchronous suite's, their effects the entry points' and the
// conformance suites'.

#include "common/SimFixture.h"

namespace {

using CycleTest = SimFixture;

TEST_F(CycleTest, EachCycleReachesTheGuiThroughTheHub) {
    WriteCycle1000();
    StartSim("full");
    uint32_t id = 0;
    ASSERT_EQ(Login(&id), RZ_OK);
    EXPECT_EQ(Find(id)->TimerInterval(), 500u);
    int refreshed = 0;
    ASSERT_EQ(manager.hub().Subscribe({HUB_CHANNEL_VIEW, HUB_EVENT_DATA_REFRESHED},
                                      DataRefreshedEvent(id),
                                      [&](uint32_t from) {
                                          EXPECT_EQ(from, id);
                                          ++refreshed;
                                      }),
              RZ_OK);
    server->ClearRequests();
    ASSERT_TRUE(ProcessEventsUntil([&] { return refreshed >= 2; }));
    // A pass polls pattern states, values, DI/DO states and the screen, then patterns and
    // values again.
    const auto requests = server->CommandRequests();
    ASSERT_GE(requests.size(), 6u);
    EXPECT_EQ(std::vector<std::string>(requests.begin(), requests.begin() + 6),
              (std::vector<std::string>{"FW", "FD0,1,248", "FO", "FC GET", "FW", "FD0,1,248"}));
    EXPECT_EQ(manager.ConnectionCount(), 1u);
}

}  // namespace
