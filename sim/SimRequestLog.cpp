#include "SimRequestLog.h"

void CSimRequestLog::Add(int session, SimRequestPhase phase, std::string_view text) {
    {
        std::lock_guard lock(mutex_);
        entries_.push_back(CSimRecordedRequest{session, phase, std::string(text)});
    }
    changed_.notify_all();
}

std::vector<CSimRecordedRequest> CSimRequestLog::Entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
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
    return entries_.size();
}

void CSimRequestLog::Clear() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

bool CSimRequestLog::WaitForCount(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return entries_.size() >= count; });
}
