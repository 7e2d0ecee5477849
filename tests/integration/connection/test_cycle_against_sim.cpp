// The communication cycle against rzsim: each pass reaches the views through the hub. Operations
// beside the cycle are the asynchronous suite's, their effects the entry points' and the
// conformance suites'.
#include <algorithm>

#include "common/SimFixture.h"

namespace {

using CycleTest = SimFixture;

// One connection per row. A pass polls pattern states, values, DI/DO states and the screen,
// then patterns and values again; a connection logged in without screen polling (as the plant
// overview's are) sends no "FC GET" from its log-in on, and its values stay fresh.
TEST_F(CycleTest, EachCycleReachesTheGuiThroughTheHub) {
    struct Case {
        const char* name;
        bool screen;
        std::vector<std::string> pass;
    };
    const Case cases[] = {
        {"ScreenPolled", true, {"FW", "FD0,1,248", "FO", "FC GET", "FW", "FD0,1,248"}},
        {"ScreenNotPolled", false, {"FW", "FD0,1,248", "FO", "FW", "FD0,1,248"}},
    };
    WriteCycle1000();
    StartSim("full");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        manager.SetScreenPolling(c.screen);
        server->ClearRequests();
        uint32_t id = 0;
        ASSERT_EQ(Login(&id), RZ_OK);
        EXPECT_EQ(Find(id)->TimerInterval(), 500u);
        const auto login = server->CommandRequests();
        EXPECT_EQ(std::find(login.begin(), login.end(), "FC GET") != login.end(), c.screen);
        const int64_t valuesAt = Find(id)->Freshness().values.validAtNs;
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
        const auto requests = server->CommandRequests();
        ASSERT_GE(requests.size(), c.pass.size());
        EXPECT_EQ(std::vector<std::string>(requests.begin(), requests.begin() + c.pass.size()),
                  c.pass);
        EXPECT_GT(Find(id)->Freshness().values.validAtNs, valuesAt);
        EXPECT_EQ(Find(id)->Freshness().image.polled, c.screen);
        EXPECT_EQ(manager.ConnectionCount(), 1u);
        EXPECT_EQ(manager.CloseConnection(id), RZ_OK);
        manager.hub().Unsubscribe({HUB_CHANNEL_VIEW, HUB_EVENT_DATA_REFRESHED},
                                  DataRefreshedEvent(id));
    }
}

}  // namespace
