#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/EventHub.h"

namespace {

using Names = std::vector<std::string>;

constexpr uint32_t kConnection = 100000;
constexpr HubEvent<uint32_t> kRefresh = DataRefreshedEvent(kConnection);
constexpr HubEvent<uint32_t> kError = CommErrorEvent(kConnection);
constexpr HubEvent<uint32_t> kClosed = kConnectionClosedEvent;
// Same bucket as kRefresh ((key / 16) mod 257 repeats every 257 * 16 keys).
constexpr HubEvent<uint32_t> kRefreshNeighbour{kRefresh.key + 257 * 16};

constexpr HubSubscriber kFrame{HUB_CHANNEL_MAIN_FRAME, 1};
constexpr HubSubscriber kView{HUB_CHANNEL_VIEW, 1};
constexpr HubSubscriber kPanel{HUB_CHANNEL_LOOP_PANEL, 1};

class HubTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(hub.SetupStandard(), RZ_OK); }

    // A handler that notes "who:payload", then runs `also` (if any).
    std::function<void(uint32_t)> Recorder(std::string who, std::function<void()> also = {}) {
        return [this, who, also](uint32_t payload) {
            calls.push_back(who + ":" + std::to_string(payload));
            if (also) {
                also();
            }
        };
    }
    // A call of the subscriber on `channel` for Defer that notes `who`.
    RzResult Defer(uint32_t channel, std::string who) {
        return hub.Defer(channel, [this, who] { calls.push_back(who); });
    }

    CEventHub hub;
    Names calls;
};

TEST(EventHubSetup, RefusesUseBeforeSetupAndZeroBuckets) {
    CEventHub hub;
    EXPECT_EQ(hub.Subscribe(kView, kRefresh, [](uint32_t) {}), LINK_E_NOT_INITIALIZED);
    EXPECT_EQ(hub.Setup(0, 10), LINK_E_PARAMETER);
    ASSERT_EQ(hub.Setup(1, 0), RZ_OK);
    EXPECT_EQ(hub.Subscribe(kView, kRefresh, {}), LINK_E_PARAMETER);
    EXPECT_EQ(hub.Defer(1, {}), LINK_E_PARAMETER);
    // A freshly set-up hub is disabled: nothing is queued until Enable.
    EXPECT_FALSE(hub.IsEnabled());
    EXPECT_EQ(hub.Publish(kRefresh, kConnection), RZ_OK);
    EXPECT_EQ(hub.Defer(1, [] {}), RZ_OK);
    EXPECT_EQ(hub.QueuedCount(), 0u);
}

TEST_F(HubTest, SubscribersOfAnEventGetItsPayloadInSubscriptionOrder) {
    ASSERT_EQ(hub.Subscribe(kFrame, kRefresh, Recorder("frame")), RZ_OK);
    ASSERT_EQ(hub.Subscribe(kView, kRefresh, Recorder("view")), RZ_OK);
    ASSERT_EQ(hub.Subscribe(kPanel, kRefreshNeighbour, Recorder("other")), RZ_OK);

    ASSERT_EQ(hub.Publish(kRefresh, kConnection), RZ_OK);
    EXPECT_EQ(calls, (Names{"frame:100000", "view:100000"}));
    EXPECT_EQ(hub.QueuedCount(), 0u);

    // A payload of several fields arrives whole.
    struct Reading {
        int32_t channel;
        double value;
    };
    const HubEvent<Reading> reading{MakeEventKey(kConnection, 2)};
    Reading heard{};
    ASSERT_EQ(hub.Subscribe(kView, reading, [&](Reading r) { heard = r; }), RZ_OK);
    hub.Publish(reading, Reading{7, -12.5});
    EXPECT_EQ(heard.channel, 7);
    EXPECT_EQ(heard.value, -12.5);
}

// Nothing is queued for an event nobody subscribed or on a disabled hub; a later subscriber,
// Flush or Enable never brings such a message back.
TEST_F(HubTest, UndeliverableMessagesAreDroppedForGood) {
    ASSERT_EQ(hub.Subscribe(kView, kRefresh, Recorder("refresh")), RZ_OK);
    ASSERT_EQ(hub.Publish(kError, 1), RZ_OK);
    EXPECT_EQ(hub.QueuedCount(), 0u);
    ASSERT_EQ(hub.Subscribe(kView, kError, Recorder("late")), RZ_OK);
    hub.Flush();
    EXPECT_TRUE(calls.empty());
    hub.Disable();
    EXPECT_EQ(hub.Publish(kRefresh, 2), RZ_OK);
    EXPECT_EQ(hub.QueuedCount(), 0u);
    hub.Flush();
    EXPECT_TRUE(calls.empty());
    hub.Enable();
    hub.Publish(kRefresh, 3);
    EXPECT_EQ(calls, Names{"refresh:3"});
}

TEST_F(HubTest, ExclusionListsSkipTheMessageOrTheNamedSubscribers) {
    ASSERT_EQ(hub.Subscribe(kFrame, kRefresh, Recorder("frame")), RZ_OK);
    ASSERT_EQ(hub.Subscribe(kView, kRefresh, Recorder("view")), RZ_OK);
    ASSERT_EQ(hub.Subscribe(kPanel, kRefresh, Recorder("panel")), RZ_OK);
    const struct {
        std::vector<HubSubscriber> exclude;
        Names called;
    } cases[] = {
        {{}, {"frame", "view", "panel"}},
        {{kView}, {"frame", "panel"}},
        {{kFrame, kPanel}, {"view"}},
        {{{kFrame.channel, 2}, {kView.channel + 1, 1}}, {"frame", "view", "panel"}},
        // The event's key itself in the list: the message is not published at all.
        {{kView, {kConnection, HUB_EVENT_DATA_REFRESHED}}, {}},
    };
    for (const auto& c : cases) {
        calls.clear();
        ASSERT_EQ(hub.Publish(kRefresh, 0, c.exclude), RZ_OK);
        Names called;
        for (const std::string& call : calls) {
            called.push_back(call.substr(0, call.find(':')));
        }
        EXPECT_EQ(called, c.called) << "exclusions: " << c.exclude.size();
    }
    EXPECT_EQ(hub.QueuedCount(), 0u);
}

TEST_F(HubTest, UnsubscribingAChannelOrAnEventStopsOnlyItsDelivery) {
    ASSERT_EQ(hub.Subscribe(kFrame, kClosed, Recorder("frame")), RZ_OK);
    ASSERT_EQ(hub.Subscribe({HUB_CHANNEL_MAIN_FRAME, 2}, kRefresh, Recorder("frame-refresh")),
              RZ_OK);
    ASSERT_EQ(hub.Subscribe(kView, kClosed, Recorder("view")), RZ_OK);
    hub.Publish(kClosed, 1);
    EXPECT_EQ(calls, (Names{"frame:1", "view:1"}));

    hub.UnsubscribeChannel(HUB_CHANNEL_MAIN_FRAME);
    calls.clear();
    hub.Publish(kClosed, 2);
    hub.Publish(kRefresh, 3);
    EXPECT_EQ(calls, Names{"view:2"});
    EXPECT_EQ(hub.SubscriberCount(kRefresh), 0u);
    EXPECT_EQ(hub.SubscriberCount(kClosed), 1u);

    // Unsubscribe removes only that subscriber's entries of that event; what is not there is
    // harmless.
    calls.clear();
    ASSERT_EQ(hub.Subscribe({1, 7}, kRefresh, Recorder("a")), RZ_OK);
    ASSERT_EQ(hub.Subscribe({1, 8}, kRefresh, Recorder("b")), RZ_OK);
    ASSERT_EQ(hub.Subscribe({1, 7}, kRefresh, Recorder("c")), RZ_OK);
    ASSERT_EQ(hub.Subscribe({1, 7}, kError, Recorder("d")), RZ_OK);
    hub.Unsubscribe({1, 7}, kRefresh);
    hub.Unsubscribe({1, 1}, HubEvent<uint32_t>{424242});
    hub.Publish(kRefresh, 4);
    hub.Publish(kError, 5);
    EXPECT_EQ(calls, (Names{"b:4", "d:5"}));
    hub.Unsubscribe({1, 8}, kRefresh);
    hub.Unsubscribe({1, 8}, kRefresh);
    EXPECT_EQ(hub.SubscriberCount(kRefresh), 0u);
    EXPECT_EQ(hub.SubscriberCount(kError), 1u);
}

TEST_F(HubTest, HandlerUnsubscribingItsOwnEventDuringDeliveryIsSafe) {
    // The manager's communication-error handler closes the connection, which removes every
    // subscription to the connection's event, including its own and the ones after it.
    const HubSubscriber manager{HUB_CHANNEL_MANAGER, HUB_EVENT_COMM_ERROR};
    ASSERT_EQ(hub.Subscribe(manager, kError,
                            Recorder("manager",
                                     [&] {
                                         hub.Unsubscribe(manager, kError);
                                         hub.Unsubscribe(kView, kError);
                                     })),
              RZ_OK);
    ASSERT_EQ(hub.Subscribe(kView, kError, Recorder("view")), RZ_OK);
    hub.Publish(kError, 1);
    hub.Publish(kError, 2);
    EXPECT_EQ(calls, Names{"manager:1"});
    EXPECT_EQ(hub.SubscriberCount(kError), 0u);
}

TEST_F(HubTest, ChangesToSubscriptionsDuringDeliveryApplyFromTheNextMessage) {
    bool added = false;
    ASSERT_EQ(hub.Subscribe({1, 1}, kRefresh,
                            Recorder("first",
                                     [&] {
                                         if (!added) {
                                             added = true;
                                             hub.Subscribe({3, 1}, kRefresh, Recorder("added"));
                                             hub.UnsubscribeChannel(2);
                                         }
                                     })),
              RZ_OK);
    ASSERT_EQ(hub.Subscribe({2, 1}, kRefresh, Recorder("second")), RZ_OK);
    hub.Publish(kRefresh, 1);
    EXPECT_EQ(calls, Names{"first:1"});
    calls.clear();
    hub.Publish(kRefresh, 2);
    EXPECT_EQ(calls, (Names{"first:2", "added:2"}));
}

TEST_F(HubTest, MessagesAndDeferredCallsOfAHandlerKeepFirstInFirstOutOrder) {
    // "a" answers the first message by publishing two more with a deferred call between them;
    // "b" must still see the first message before anything new, and the new ones follow in the
    // order they were queued.
    int depth = 0;
    int maxDepth = 0;
    ASSERT_EQ(hub.Subscribe({1, 1}, kRefresh,
                            Recorder("a",
                                     [&] {
                                         maxDepth = std::max(maxDepth, ++depth);
                                         if (calls.back() == "a:1") {
                                             hub.Publish(kRefresh, 2);
                                             Defer(1, "deferred");
                                             hub.Publish(kRefresh, 3);
                                         }
                                         --depth;
                                     })),
              RZ_OK);
    ASSERT_EQ(hub.Subscribe({2, 1}, kRefresh, Recorder("b")), RZ_OK);
    hub.Publish(kRefresh, 1);
    EXPECT_EQ(calls, (Names{"a:1", "b:1", "a:2", "b:2", "deferred", "a:3", "b:3"}));
    EXPECT_EQ(maxDepth, 1);
    EXPECT_EQ(hub.QueuedCount(), 0u);
    // With nothing being delivered a deferred call runs at once.
    calls.clear();
    Defer(1, "now");
    EXPECT_EQ(calls, Names{"now"});
}

// A deferred call waiting for its turn is dropped with its channel's subscriptions, and only
// those of that channel.
TEST_F(HubTest, UnsubscribingAChannelDropsItsDeferredCalls) {
    ASSERT_EQ(hub.Subscribe({1, 1}, kRefresh,
                            Recorder("a",
                                     [&] {
                                         Defer(5, "five");
                                         Defer(6, "six");
                                     })),
              RZ_OK);
    ASSERT_EQ(hub.Subscribe({2, 1}, kRefresh, Recorder("b", [&] { hub.UnsubscribeChannel(5); })),
              RZ_OK);
    hub.Publish(kRefresh, 1);
    EXPECT_EQ(calls, (Names{"a:1", "b:1", "six"}));
}

TEST_F(HubTest, FlushModeQueuesCopiesUntilFlushAndThresholdModeWaitsForTheThreshold) {
    ASSERT_EQ(hub.Subscribe({1, 1}, kRefresh, Recorder("s")), RZ_OK);
    hub.SetDeliveryMode(HUB_DELIVER_ON_FLUSH);
    uint32_t payload = 1;
    std::vector<HubSubscriber> exclude{{9, 9}};
    ASSERT_EQ(hub.Publish(kRefresh, payload, exclude), RZ_OK);
    // The payload and the exclusion list are copied when published.
    payload = 99;
    exclude[0] = {1, 1};  // would exclude the subscriber
    hub.Publish(kRefresh, 2);
    Defer(1, "deferred");
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(hub.QueuedCount(), 3u);
    hub.Flush();
    EXPECT_EQ(calls, (Names{"s:1", "s:2", "deferred"}));

    calls.clear();
    hub.SetDeliveryMode(HUB_DELIVER_THRESHOLD);
    hub.SetThreshold(3);
    hub.Publish(kRefresh, 1);
    hub.Publish(kRefresh, 2);
    EXPECT_TRUE(calls.empty());
    hub.Publish(kRefresh, 3);
    EXPECT_EQ(calls, (Names{"s:1", "s:2", "s:3"}));
}

TEST_F(HubTest, SetupDuringDeliveryDropsEverythingSafely) {
    ASSERT_EQ(hub.Subscribe({1, 1}, kRefresh,
                            Recorder("reset",
                                     [&] {
                                         Defer(1, "deferred");
                                         hub.SetupStandard();
                                     })),
              RZ_OK);
    ASSERT_EQ(hub.Subscribe({2, 1}, kRefresh, Recorder("after")), RZ_OK);
    hub.Publish(kRefresh, 1);
    EXPECT_EQ(calls, Names{"reset:1"});
    EXPECT_EQ(hub.SubscriberCount(kRefresh), 0u);
    // The hub works normally afterwards.
    ASSERT_EQ(hub.Subscribe({3, 1}, kRefresh, Recorder("new")), RZ_OK);
    hub.Publish(kRefresh, 2);
    EXPECT_EQ(calls, (Names{"reset:1", "new:2"}));
}

}  // namespace
