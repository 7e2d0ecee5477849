#include "SimRequestLog.h"

#include <algorithm>

CSimRequestLog::CSimRequestLog(size_t capacity) : capacity_(std::max<size_t>(capacity, 1)) {}

void CSimRequestLog::Add(int session, SimRequestPhase phase, std::string_view text) {
    {
        std::lock_guard lock(mutex_);
        if (entries_.size() >= capacity_) {
            entries_.pop_front();
        }
        entries_.push_back(CSimRecordedRequest{session, phase, std::string(text)});
        ++count_;
    }
    changed_.notify_all();
}

std::vector<CSimRecordedRequest> CSimRequestLog::Entries() const {
    std::lock_guard lock(mutex_);
    return {entries_.begin(), entries_.end()};
}

std::vector<std::string> CSimRequestLog::CommandTexts() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> texts;
    for (const auto& entry : entries_) {
        if (entry.phase == SimRequestPhase::kCommand) {
            texts.push_back(entry.text);
        }
    }
    return texts;
}

size_t CSimRequestLog::Count() const {
    std::lock_guard lock(mutex_);
    return count_;
}

void CSimRequestLog::Clear() {
    std::lock_guard lock(mutex_);
    // Swapped out rather than cleared, so that a deque grown by a burst gives its memory back.
    std::deque<CSimRecordedRequest>().swap(entries_);
    count_ = 0;
}

bool CSimRequestLog::WaitForCount(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return count_ >= count; });
}
