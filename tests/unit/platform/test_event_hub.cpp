#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/EventHub.h"

namespace {

constexpr uint32_t kConnection = 100000;
const uint32_t kRefreshKey = MakeEventKey(kConnection, HUB_EVENT_DATA_REFRESHED);
const uint32_t kErrorKey = MakeEventKey(kConnection, HUB_EVENT_COMM_ERROR);
const uint32_t kClosedKey = MakeEventKey(HUB_CHANNEL_MANAGER, HUB_EVENT_CONNECTION_CLOSED);

// One handler call as a subscriber saw it.
struct Call {
    std::string who;
    uint32_t key;
    uint32_t event;
    std::vector<uint32_t> exclude;
    int32_t delivered;
    std::string payload;
    void* context;
};

class HubTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(hub.SetupStandard(), RZ_OK); }

    // A handler that records its calls under `who`, then runs `also` (if any).
    HubHandler Recorder(std::string who, std::function<void()> also = {}) {
        return [this, who, also](uint32_t key, uint32_t event, std::span<const uint32_t> exclude,
                                 int32_t delivered, const void* payload, size_t size,
                                 void* context) {
            calls.push_back(Call{
                who,
                key,
                event,
                {exclude.begin(), exclude.end()},
                delivered,
                size == 0 ? std::string() : std::string(static_cast<const char*>(payload), size),
                context});
            if (also) {
                also();
            }
        };
    }

    std::vector<std::string> Who() const {
        std::vector<std::string> names;
        for (const auto& c : calls) {
            names.push_back(c.who);
        }
        return names;
    }

    CEventHub hub;
    std::vector<Call> calls;
};

TEST(EventHubSetup, RefusesUseBeforeSetupAndZeroBuckets) {
    CEventHub hub;
    EXPECT_EQ(hub.Subscribe(
                  1, [](auto...) {}, nullptr, 1, 1),
              LINK_E_NOT_INITIALIZED);
    EXPECT_EQ(hub.Setup(0, 10), LINK_E_PARAMETER);
    ASSERT_EQ(hub.Setup(1, 0), RZ_OK);
    EXPECT_EQ(hub.Subscribe(1, HubHandler{}, nullptr, 1, 1), LINK_E_PARAMETER);
    // A freshly set-up hub is disabled: nothing is queued until Enable.
    EXPECT_FALSE(hub.IsEnabled());
    EXPECT_EQ(hub.Publish(1), RZ_OK);
    EXPECT_EQ(hub.QueuedCount(), 0u);
}

TEST_F(HubTest, SubscribersOfAKeyAreCalledInSubscriptionOrderWithTheirOwnEventAndContext) {
    int frameContext = 0;
    int viewContext = 0;
    const uint32_t frameEvent = MakeEventKey(HUB_CHANNEL_MAIN_FRAME, HUB_EVENT_DATA_REFRESHED);
    const uint32_t viewEvent = MakeEventKey(HUB_CHANNEL_VIEW, HUB_EVENT_DATA_REFRESHED);
    ASSERT_EQ(hub.Subscribe(frameEvent, Recorder("frame"), &frameContext, kRefreshKey,
                            HUB_CHANNEL_MAIN_FRAME),
              RZ_OK);
    ASSERT_EQ(
        hub.Subscribe(viewEvent, Recorder("view"), &viewContext, kRefreshKey, HUB_CHANNEL_VIEW),
        RZ_OK);
    // Same bucket as kRefreshKey ((key / 16) mod 257 repeats every 257 * 16 keys).
    ASSERT_EQ(hub.Subscribe(1, Recorder("other"), nullptr, kRefreshKey + 257 * 16, 1), RZ_OK);

    ASSERT_EQ(hub.Publish(kRefreshKey, {}, "abc", 3), RZ_OK);

    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(Who(), (std::vector<std::string>{"frame", "view"}));
    EXPECT_EQ(calls[0].key, kRefreshKey);
    EXPECT_EQ(calls[0].event, frameEvent);
    EXPECT_EQ(calls[0].context, &frameContext);
    EXPECT_EQ(calls[1].event, viewEvent);
    EXPECT_EQ(calls[1].context, &viewContext);
    for (const auto& c : calls) {
        EXPECT_EQ(c.delivered, 1);
        EXPECT_EQ(c.payload, "abc");
        EXPECT_TRUE(c.exclude.empty());
    }
    EXPECT_EQ(hub.QueuedCount(), 0u);
}

// Nothing is queued for a key nobody subscribed, a null payload with a size, or a disabled
// hub; a later subscriber, Flush or Enable never brings such a message back.
TEST_F(HubTest, UndeliverableMessagesAreDroppedForGood) {
    ASSERT_EQ(hub.Subscribe(1, Recorder("refresh"), nullptr, kRefreshKey, 1), RZ_OK);
    ASSERT_EQ(hub.Publish(kErrorKey), RZ_OK);
    EXPECT_EQ(hub.Publish(kRefreshKey, {}, nullptr, 4), LINK_E_PARAMETER);
    EXPECT_EQ(hub.QueuedCount(), 0u);
    ASSERT_EQ(hub.Subscribe(2, Recorder("late"), nullptr, kErrorKey, 2), RZ_OK);
    hub.Flush();
    EXPECT_TRUE(calls.empty());
    hub.Disable();
    EXPECT_EQ(hub.Publish(kRefreshKey, {}, "x", 1), RZ_OK);
    EXPECT_EQ(hub.QueuedCount(), 0u);
    hub.Flush();
    EXPECT_TRUE(calls.empty());
    hub.Enable();
    hub.Publish(kRefreshKey, {}, "y", 1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].payload, "y");
}

TEST_F(HubTest, ExclusionListsSkipTheMessageOrTheNamedSubscribers) {
    const uint32_t frameEvent = MakeEventKey(HUB_CHANNEL_MAIN_FRAME, HUB_EVENT_DATA_REFRESHED);
    const uint32_t viewEvent = MakeEventKey(HUB_CHANNEL_VIEW, HUB_EVENT_DATA_REFRESHED);
    const uint32_t panelEvent = MakeEventKey(HUB_CHANNEL_LOOP_PANEL, HUB_EVENT_DATA_REFRESHED);
    ASSERT_EQ(hub.Subscribe(frameEvent, Recorder("frame"), nullptr, kRefreshKey, 0), RZ_OK);
    ASSERT_EQ(hub.Subscribe(viewEvent, Recorder("view"), nullptr, kRefreshKey, 0), RZ_OK);
    ASSERT_EQ(hub.Subscribe(panelEvent, Recorder("panel"), nullptr, kRefreshKey, 0), RZ_OK);

    struct Case {
        std::vector<uint32_t> exclude;
        std::vector<std::string> called;
    };
    const Case cases[] = {
        {{}, {"frame", "view", "panel"}},
        {{viewEvent}, {"frame", "panel"}},
        {{frameEvent, panelEvent}, {"view"}},
        {{12345, 67890}, {"frame", "view", "panel"}},
        // The key itself in the list: the message is not published at all.
        {{viewEvent, kRefreshKey}, {}},
    };
    for (const auto& c : cases) {
        calls.clear();
        ASSERT_EQ(hub.Publish(kRefreshKey, c.exclude, nullptr, 0), RZ_OK);
        EXPECT_EQ(Who(), c.called) << "exclusions: " << c.exclude.size();
        for (const auto& call : calls) {
            EXPECT_EQ(call.exclude, c.exclude);
        }
    }
    EXPECT_EQ(hub.QueuedCount(), 0u);
}

TEST_F(HubTest, UnsubscribingAChannelOrAnEventStopsOnlyItsDelivery) {
    ASSERT_EQ(hub.Subscribe(MakeEventKey(HUB_CHANNEL_MAIN_FRAME, 0), Recorder("frame"), nullptr,
                            kClosedKey, HUB_CHANNEL_MAIN_FRAME),
              RZ_OK);
    ASSERT_EQ(hub.Subscribe(MakeEventKey(HUB_CHANNEL_MAIN_FRAME, 1), Recorder("frame-refresh"),
                            nullptr, kRefreshKey, HUB_CHANNEL_MAIN_FRAME),
              RZ_OK);
    ASSERT_EQ(hub.Subscribe(MakeEventKey(HUB_CHANNEL_VIEW, 0), Recorder("view"), nullptr,
                            kClosedKey, HUB_CHANNEL_VIEW),
              RZ_OK);

    hub.Publish(kClosedKey);
    EXPECT_EQ(Who(), (std::vector<std::string>{"frame", "view"}));

    hub.UnsubscribeChannel(HUB_CHANNEL_MAIN_FRAME);
    calls.clear();
    hub.Publish(kClosedKey);
    hub.Publish(kRefreshKey);
    EXPECT_EQ(Who(), (std::vector<std::string>{"view"}));
    EXPECT_EQ(hub.SubscriberCount(kRefreshKey), 0u);
    EXPECT_EQ(hub.SubscriberCount(kClosedKey), 1u);

    // Unsubscribe removes only the matching event of that key; what is not there is harmless.
    calls.clear();
    ASSERT_EQ(hub.Subscribe(7, Recorder("a"), nullptr, kRefreshKey, 1), RZ_OK);
    ASSERT_EQ(hub.Subscribe(8, Recorder("b"), nullptr, kRefreshKey, 1), RZ_OK);
    ASSERT_EQ(hub.Subscribe(7, Recorder("c"), nullptr, kRefreshKey, 2), RZ_OK);
    ASSERT_EQ(hub.Subscribe(7, Recorder("d"), nullptr, kErrorKey, 1), RZ_OK);
    hub.Unsubscribe(7, kRefreshKey);
    hub.Unsubscribe(1, 424242);
    hub.Publish(kRefreshKey);
    hub.Publish(kErrorKey);
    EXPECT_EQ(Who(), (std::vector<std::string>{"b", "d"}));
    hub.Unsubscribe(8, kRefreshKey);
    hub.Unsubscribe(8, kRefreshKey);
    EXPECT_EQ(hub.SubscriberCount(kRefreshKey), 0u);
    EXPECT_EQ(hub.SubscriberCount(kErrorKey), 1u);
}

TEST_F(HubTest, HandlerUnsubscribingItsOwnKeyDuringDeliveryIsSafe) {
    // The manager's communication-error handler closes the connection, which removes every
    // subscription to the connection's key, including its own and the ones after it.
    const uint32_t managerEvent = MakeEventKey(HUB_CHANNEL_MANAGER, HUB_EVENT_COMM_ERROR);
    const uint32_t viewEvent = MakeEventKey(HUB_CHANNEL_VIEW, HUB_EVENT_COMM_ERROR);
    ASSERT_EQ(hub.Subscribe(managerEvent,
                            Recorder("manager",
                                     [&] {
                                         hub.Unsubscribe(managerEvent, kErrorKey);
                                         hub.Unsubscribe(viewEvent, kErrorKey);
                                     }),
                            nullptr, kErrorKey, HUB_CHANNEL_MANAGER),
              RZ_OK);
    ASSERT_EQ(hub.Subscribe(viewEvent, Recorder("view"), nullptr, kErrorKey, HUB_CHANNEL_VIEW),
              RZ_OK);

    hub.Publish(kErrorKey);
    hub.Publish(kErrorKey);
    EXPECT_EQ(Who(), (std::vector<std::string>{"manager"}));
    EXPECT_EQ(hub.SubscriberCount(kErrorKey), 0u);
}

TEST_F(HubTest, ChangesToSubscriptionsDuringDeliveryApplyFromTheNextMessage) {
    bool added = false;
    ASSERT_EQ(hub.Subscribe(1,
                            Recorder("first",
                                     [&] {
                                         if (!added) {
                                             added = true;
                                             hub.Subscribe(3, Recorder("added"), nullptr,
                                                           kRefreshKey, 3);
                                             hub.UnsubscribeChannel(2);
                                         }
                                     }),
                            nullptr, kRefreshKey, 1),
              RZ_OK);
    ASSERT_EQ(hub.Subscribe(2, Recorder("second"), nullptr, kRefreshKey, 2), RZ_OK);

    hub.Publish(kRefreshKey);
    EXPECT_EQ(Who(), (std::vector<std::string>{"first"}));
    calls.clear();
    hub.Publish(kRefreshKey);
    EXPECT_EQ(Who(), (std::vector<std::string>{"first", "added"}));
}

TEST_F(HubTest, HandlerPublishingDuringDeliveryKeepsFirstInFirstOutOrder) {
    // "a" answers the first message by publishing two more; "b" must still see the first message
    // before anyone sees the new ones, and the new ones arrive in publication order.
    int depth = 0;
    int maxDepth = 0;
    ASSERT_EQ(hub.Subscribe(1,
                            Recorder("a",
                                     [&] {
                                         ++depth;
                                         maxDepth = std::max(maxDepth, depth);
                                         if (calls.back().payload == "m1") {
                                             hub.Publish(kRefreshKey, {}, "m2", 2);
                                             hub.Publish(kRefreshKey, {}, "m3", 2);
                                         }
                                         --depth;
                                     }),
                            nullptr, kRefreshKey, 1),
              RZ_OK);
    ASSERT_EQ(hub.Subscribe(2, Recorder("b"), nullptr, kRefreshKey, 2), RZ_OK);

    hub.Publish(kRefreshKey, {}, "m1", 2);

    std::vector<std::string> seen;
    for (const auto& c : calls) {
        seen.push_back(c.who + ":" + c.payload);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"a:m1", "b:m1", "a:m2", "b:m2", "a:m3", "b:m3"}));
    EXPECT_EQ(maxDepth, 1);
    EXPECT_EQ(hub.QueuedCount(), 0u);
}

TEST_F(HubTest, FlushModeQueuesCopiesUntilFlushAndThresholdModeWaitsForTheThreshold) {
    ASSERT_EQ(hub.Subscribe(1, Recorder("s"), nullptr, kRefreshKey, 1), RZ_OK);
    hub.SetDeliveryMode(HUB_DELIVER_ON_FLUSH);
    char buffer[8];
    std::memcpy(buffer, "first", 6);
    std::vector<uint32_t> exclude{99};
    ASSERT_EQ(hub.Publish(kRefreshKey, exclude, buffer, 5), RZ_OK);
    // The payload and the exclusion list are copied when published.
    std::memcpy(buffer, "OTHER", 6);
    exclude[0] = 1;  // would exclude the subscriber
    hub.Publish(kRefreshKey, {}, "2", 1);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(hub.QueuedCount(), 2u);
    hub.Flush();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].payload + calls[1].payload, "first2");
    EXPECT_EQ(calls[0].exclude, std::vector<uint32_t>{99});

    calls.clear();
    hub.SetDeliveryMode(HUB_DELIVER_THRESHOLD);
    hub.SetThreshold(3);
    hub.Publish(kRefreshKey, {}, "a", 1);
    hub.Publish(kRefreshKey, {}, "b", 1);
    EXPECT_TRUE(calls.empty());
    hub.Publish(kRefreshKey, {}, "c", 1);
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].payload + calls[1].payload + calls[2].payload, "abc");
}

TEST_F(HubTest, SetupDuringDeliveryDropsEverythingSafely) {
    ASSERT_EQ(
        hub.Subscribe(1, Recorder("reset", [&] { hub.SetupStandard(); }), nullptr, kRefreshKey, 1),
        RZ_OK);
    ASSERT_EQ(hub.Subscribe(2, Recorder("after"), nullptr, kRefreshKey, 2), RZ_OK);
    hub.Publish(kRefreshKey);
    EXPECT_EQ(Who(), (std::vector<std::string>{"reset"}));
    EXPECT_EQ(hub.SubscriberCount(kRefreshKey), 0u);
    // The hub works normally afterwards.
    ASSERT_EQ(hub.Subscribe(3, Recorder("new"), nullptr, kRefreshKey, 3), RZ_OK);
    hub.Publish(kRefreshKey);
    EXPECT_EQ(Who(), (std::vector<std::string>{"reset", "new"}));
}

}  // namespace
