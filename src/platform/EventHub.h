#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <span>
#include <type_traits>
#include <vector>

#include "platform/ResultCodes.h"

// Publish/subscribe between connections, the connection manager, the main frame and the views.
// An event is named by a key, channel * 256 + event type, and carries a payload of the one type
// its HubEvent names. A subscriber is a channel and a number of its own on it; its event number
// follows the same scheme, so exclusion lists can name subscribers.

// Subscriber and publisher channels. Each connection uses its connection id (from 100000).
constexpr uint32_t HUB_CHANNEL_MANAGER = 200001;
constexpr uint32_t HUB_CHANNEL_MAIN_FRAME = 200003;
constexpr uint32_t HUB_CHANNEL_VIEW = 200004;
constexpr uint32_t HUB_CHANNEL_SIMPLE_PANEL = 200005;
constexpr uint32_t HUB_CHANNEL_IMAGE_WINDOW = 200006;
constexpr uint32_t HUB_CHANNEL_LOOP_PANEL = 200007;
constexpr uint32_t HUB_CHANNEL_PROGRAM_PANEL = 200008;
constexpr uint32_t HUB_CHANNEL_ALARMS = 200009;

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

// An event of the hub: its key and the type of the payload it carries. Each is declared once,
// beside the code that publishes it.
template <class Payload>
struct HubEvent {
    static_assert(std::is_trivially_copyable_v<Payload>, "the hub keeps a copy of the payload");
    uint32_t key;
};

// A subscriber: its channel and its own number on the channel.
struct HubSubscriber {
    uint32_t channel;
    uint32_t number;
    // The subscriber's event number, as exclusion lists name it.
    constexpr uint32_t Event() const { return MakeEventKey(channel, number); }
};

// The link's events, each carrying the id of the connection it concerns.
// A communication cycle brought new data (published by the connection's timer).
constexpr HubEvent<uint32_t> DataRefreshedEvent(uint32_t connectionId) {
    return {MakeEventKey(connectionId, HUB_EVENT_DATA_REFRESHED)};
}
// The connection lost its link (published by its timer or after an operation).
constexpr HubEvent<uint32_t> CommErrorEvent(uint32_t connectionId) {
    return {MakeEventKey(connectionId, HUB_EVENT_COMM_ERROR)};
}
// The manager closed a connection that had a view.
constexpr HubEvent<uint32_t> kConnectionClosedEvent{
    MakeEventKey(HUB_CHANNEL_MANAGER, HUB_EVENT_CONNECTION_CLOSED)};

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

    // Calls `handler` with the payload of every `event` published from now on, after the
    // handlers subscribed to it before. LINK_E_NOT_INITIALIZED before Setup, LINK_E_PARAMETER
    // without a handler.
    template <class Payload>
    RzResult Subscribe(HubSubscriber who, HubEvent<Payload> event,
                       std::type_identity_t<std::function<void(Payload)>> handler) {
        RawHandler raw;
        if (handler) {
            raw = [handler = std::move(handler)](std::span<const std::byte> bytes) {
                handler(FromBytes<Payload>(bytes));
            };
        }
        return AddEntry(who, event.key, std::move(raw));
    }
    // Removes every entry of `who` for `event`.
    template <class Payload>
    void Unsubscribe(HubSubscriber who, HubEvent<Payload> event) {
        RemoveEntries(who.Event(), event.key);
    }
    // Removes every entry of every event subscribed on `channel`, and its deferred calls.
    void UnsubscribeChannel(uint32_t channel);

    // Copies the payload and queues the message, then delivers according to the mode; the
    // subscribers named in `exclude` do not receive it. Nothing happens while disabled or when
    // `exclude` names the event's key itself.
    template <class Payload>
    RzResult Publish(HubEvent<Payload> event, const std::type_identity_t<Payload>& payload,
                     std::span<const HubSubscriber> exclude = {}) {
        return Queue(event.key, exclude, std::as_bytes(std::span(&payload, 1)), {}, 0);
    }

    // Queues `call` as a message for the subscriber on `channel` alone: it runs after the
    // message being delivered and those queued before it (at once when there are none, with the
    // standard set-up), for a subscriber that acts once everyone has heard the current message.
    // Nothing happens while disabled; UnsubscribeChannel(channel) and Setup drop it unrun.
    RzResult Defer(uint32_t channel, std::function<void()> call);

    // Delivers every queued message in order. Called from a handler it returns at once; the
    // delivery already running picks the new messages up.
    void Flush();

    size_t QueuedCount() const { return queue_.size(); }
    // Number of entries subscribed to `event`.
    template <class Payload>
    size_t SubscriberCount(HubEvent<Payload> event) const {
        return CountEntries(event.key);
    }

  private:
    // The untyped core: an entry's handler gets the payload's bytes.
    using RawHandler = std::function<void(std::span<const std::byte> payload)>;

    struct Entry {
        uint32_t event;
        RawHandler handler;
        uint32_t channel;
        bool removed;
    };
    struct KeyList {
        uint32_t key;
        std::vector<std::shared_ptr<Entry>> entries;
    };
    // A published event, or a deferred call of the subscriber on `channel`.
    struct Message {
        uint32_t key;
        std::vector<uint32_t> exclude;
        std::vector<std::byte> payload;
        std::function<void()> call;
        uint32_t channel;
    };

    // Every publication of an event carries its payload type, so the sizes agree.
    template <class Payload>
    static Payload FromBytes(std::span<const std::byte> bytes) {
        Payload payload{};
        if (bytes.size() == sizeof payload) {
            std::memcpy(&payload, bytes.data(), bytes.size());
        }
        return payload;
    }

    RzResult AddEntry(HubSubscriber who, uint32_t key, RawHandler handler);
    void RemoveEntries(uint32_t event, uint32_t key);
    size_t CountEntries(uint32_t key) const;
    RzResult Queue(uint32_t key, std::span<const HubSubscriber> exclude,
                   std::span<const std::byte> payload, std::function<void()> call,
                   uint32_t channel);
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
