#include "platform/EventHub.h"

#include <algorithm>

namespace {

bool Contains(std::span<const uint32_t> list, uint32_t value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

}  // namespace

RzResult CEventHub::Setup(uint32_t buckets, uint32_t block) {
    if (buckets == 0) {
        return LINK_E_PARAMETER;
    }
    // Entries still referenced by a delivery in progress stay alive through their shared_ptr,
    // but they must not be called after the table they belonged to is gone.
    for (auto& bucket : buckets_) {
        for (auto& list : bucket) {
            for (auto& entry : list.entries) {
                entry->removed = true;
            }
        }
    }
    buckets_.assign(buckets, {});
    block_ = block == 0 ? 1 : block;
    queue_.clear();
    enabled_ = false;
    deliveryMode_ = HUB_DELIVER_ON_FLUSH;
    threshold_ = 1;
    return RZ_OK;
}

RzResult CEventHub::SetupStandard() {
    const RzResult result = Setup(257, 10);
    if (result != RZ_OK) {
        return result;
    }
    SetDeliveryMode(HUB_DELIVER_THRESHOLD);
    SetThreshold(1);
    Enable();
    return RZ_OK;
}

std::vector<CEventHub::KeyList>& CEventHub::BucketOf(uint32_t key) {
    return buckets_[(key / 16u) % buckets_.size()];
}

const std::vector<CEventHub::KeyList>& CEventHub::BucketOf(uint32_t key) const {
    return buckets_[(key / 16u) % buckets_.size()];
}

RzResult CEventHub::AddEntry(HubSubscriber who, uint32_t key, RawHandler handler) {
    if (buckets_.empty()) {
        return LINK_E_NOT_INITIALIZED;
    }
    if (!handler) {
        return LINK_E_PARAMETER;
    }
    auto& bucket = BucketOf(key);
    auto it = std::find_if(bucket.begin(), bucket.end(),
                           [key](const KeyList& l) { return l.key == key; });
    if (it == bucket.end()) {
        bucket.push_back(KeyList{key, {}});
        it = std::prev(bucket.end());
    }
    auto& entries = it->entries;
    if (entries.size() == entries.capacity()) {
        entries.reserve(entries.size() + block_);
    }
    entries.push_back(std::make_shared<Entry>(
        Entry{who.Event(), std::move(handler), who.channel, /*removed=*/false}));
    return RZ_OK;
}

void CEventHub::RemoveEntries(uint32_t event, uint32_t key) {
    if (buckets_.empty()) {
        return;
    }
    auto& bucket = BucketOf(key);
    for (auto it = bucket.begin(); it != bucket.end(); ++it) {
        if (it->key != key) {
            continue;
        }
        std::erase_if(it->entries, [event](const std::shared_ptr<Entry>& e) {
            if (e->event == event) {
                e->removed = true;
                return true;
            }
            return false;
        });
        if (it->entries.empty()) {
            bucket.erase(it);
        }
        return;
    }
}

void CEventHub::UnsubscribeChannel(uint32_t channel) {
    for (auto& bucket : buckets_) {
        for (auto& list : bucket) {
            std::erase_if(list.entries, [channel](const std::shared_ptr<Entry>& e) {
                if (e->channel == channel) {
                    e->removed = true;
                    return true;
                }
                return false;
            });
        }
        std::erase_if(bucket, [](const KeyList& l) { return l.entries.empty(); });
    }
    std::erase_if(queue_, [channel](const Message& m) { return m.call && m.channel == channel; });
}

size_t CEventHub::CountEntries(uint32_t key) const {
    if (buckets_.empty()) {
        return 0;
    }
    for (const auto& list : BucketOf(key)) {
        if (list.key == key) {
            return list.entries.size();
        }
    }
    return 0;
}

RzResult CEventHub::Queue(uint32_t key, std::span<const HubSubscriber> exclude,
                          std::span<const std::byte> payload, std::function<void()> call,
                          uint32_t channel) {
    std::vector<uint32_t> events;
    events.reserve(exclude.size());
    for (const HubSubscriber& who : exclude) {
        events.push_back(who.Event());
    }
    if (!enabled_ || (!call && Contains(events, key))) {
        return RZ_OK;
    }
    queue_.push_back(Message{
        key, std::move(events), {payload.begin(), payload.end()}, std::move(call), channel});
    if (deliveryMode_ == HUB_DELIVER_THRESHOLD && queue_.size() >= threshold_) {
        Flush();
    }
    return RZ_OK;
}

RzResult CEventHub::Defer(uint32_t channel, std::function<void()> call) {
    if (!call) {
        return LINK_E_PARAMETER;
    }
    return Queue(0, {}, {}, std::move(call), channel);
}

void CEventHub::Flush() {
    // A handler that publishes lands here again; the outer loop delivers its message after the
    // current one, which keeps the order and the stack depth bounded.
    if (delivering_) {
        return;
    }
    delivering_ = true;
    while (!queue_.empty()) {
        const Message message = std::move(queue_.front());
        queue_.pop_front();
        Deliver(message);
    }
    delivering_ = false;
}

void CEventHub::Deliver(const Message& message) {
    if (message.call) {
        message.call();
        return;
    }
    if (buckets_.empty()) {
        return;
    }
    // Snapshot the entries: handlers may change the list while it is being walked.
    std::vector<std::shared_ptr<Entry>> snapshot;
    for (const auto& list : BucketOf(message.key)) {
        if (list.key == message.key) {
            snapshot = list.entries;
            break;
        }
    }
    for (const auto& entry : snapshot) {
        if (entry->removed || Contains(message.exclude, entry->event)) {
            continue;
        }
        entry->handler(message.payload);
    }
}
