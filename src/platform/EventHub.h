#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "platform/ResultCodes.h"

// Publish/subscribe between connections, the connection manager, the main frame and the views.
// A key is channel * 256 + event type; a subscriber's own event number follows the same scheme
// with the subscriber's channel, so exclusion lists can name subscribers.

// Subscriber and publisher channels. Each connection uses its connection id (from 100000).
constexpr uint32_t HUB_CHANNEL_MANAGER = 200001;
constexpr uint32_t HUB_CHANNEL_MAIN_FRAME = 200003;
constexpr uint32_t HUB_CHANNEL_VIEW = 200004;
constexpr uint32_t HUB_CHANNEL_SIMPLE_PANEL = 200005;
constexpr uint32_t HUB_CHANNEL_IMAGE_WINDOW = 200006;
constexpr uint32_t HUB_CHANNEL_LOOP_PANEL = 200007;
constexpr uint32_t HUB_CHANNEL_PROGRAM_PANEL = 200008;

// Event types of the link.
constexpr uint32_t HUB_EVENT_CONNECTION_CLOSED = 0;  // on the manager's channel
constexpr uint32_t HUB_EVENT_DATA_REFRESHED = 1;     // on a connection's channel
constexpr uint32_t HUB_EVENT_COMM_ERROR = 9;         // on a connection's channel

// Delivery modes. The connection manager uses HUB_DELIVER_THRESHOLD with threshold 1, which
// delivers every message as soon as it is published.
constexpr int32_t HUB_DELIVER_ON_FLUSH = 0;   // queue until Flush()
constexpr int32_t HUB_DELIVER_THRESHOLD = 2;  // deliver once the queue holds `threshold` messages

constexpr uint32_t MakeEventKey(uint32_t channel, uint32_t type) {
    return channel * 256u + type;
}

// handler(key, event number of the entry, exclusion list, delivered flag, payload, payload size,
// context). The payload pointer is valid only during the call (nullptr when size is 0).
using HubHandler =
    std::function<void(uint32_t key, uint32_t event, std::span<const uint32_t> exclude,
                       int32_t delivered, const void* payload, size_t size, void* context)>;

// Single-threaded: every call, and therefore every handler, runs on the GUI thread. Handlers may
// publish (the message is queued and delivered after the current one, in order), subscribe and
// unsubscribe (a removed entry is not called again; an entry added while a message is being
// delivered does not receive that message).
class CEventHub {
  public:
    CEventHub() = default;
    CEventHub(const CEventHub&) = delete;
    CEventHub& operator=(const CEventHub&) = delete;

    // Sets up an empty table of `buckets` buckets (bucket = (key / 16) mod buckets); `block` is
    // the growth step of a key's entry list. Drops all subscriptions and queued messages and
    // leaves the hub disabled in mode HUB_DELIVER_ON_FLUSH. LINK_E_PARAMETER when buckets is 0.
    RzResult Setup(uint32_t buckets, uint32_t block);
    // The connection manager's set-up: 257 buckets, block 10, threshold delivery at 1, enabled.
    RzResult SetupStandard();

    void SetDeliveryMode(int32_t mode) { deliveryMode_ = mode; }
    void SetThreshold(uint32_t threshold) { threshold_ = threshold == 0 ? 1 : threshold; }
    void Enable() { enabled_ = true; }
    void Disable() { enabled_ = false; }
    bool IsEnabled() const { return enabled_; }

    // LINK_E_NOT_INITIALIZED before Setup, LINK_E_PARAMETER without a handler.
    RzResult Subscribe(uint32_t event, HubHandler handler, void* context, uint32_t key,
                       uint32_t channel);
    // Removes every entry of `key` with this event number.
    void Unsubscribe(uint32_t event, uint32_t key);
    // Removes every entry of every key subscribed by `channel`.
    void UnsubscribeChannel(uint32_t channel);

    // Copies the payload and queues the message, then delivers according to the mode. Nothing
    // happens while disabled or when `key` itself is in `exclude`. LINK_E_PARAMETER when size is
    // not 0 but payload is null.
    RzResult Publish(uint32_t key, std::span<const uint32_t> exclude, const void* payload,
                     size_t size);
    RzResult Publish(uint32_t key) { return Publish(key, {}, nullptr, 0); }

    // Delivers every queued message in order. Called from a handler it returns at once; the
    // delivery already running picks the new messages up.
    void Flush();

    size_t QueuedCount() const { return queue_.size(); }
    // Number of entries subscribed to `key`.
    size_t SubscriberCount(uint32_t key) const;

  private:
    struct Entry {
        uint32_t event;
        void* context;
        uint32_t deliveries;
        HubHandler handler;
        uint32_t channel;
        bool removed;
    };
    struct KeyList {
        uint32_t key;
        std::vector<std::shared_ptr<Entry>> entries;
    };
    struct Message {
        uint32_t key;
        std::vector<uint32_t> exclude;
        std::vector<unsigned char> payload;
    };

    std::vector<KeyList>& BucketOf(uint32_t key);
    const std::vector<KeyList>& BucketOf(uint32_t key) const;
    void Deliver(const Message& message);

    std::vector<std::vector<KeyList>> buckets_;
    uint32_t block_ = 1;
    std::deque<Message> queue_;
    bool enabled_ = false;
    bool delivering_ = false;
    int32_t deliveryMode_ = HUB_DELIVER_ON_FLUSH;
    uint32_t threshold_ = 1;
};
