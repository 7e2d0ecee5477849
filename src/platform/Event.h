#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

// A manual-reset event: stays signalled until Reset. Waiters wake at once on Set.
class CEvent {
  public:
    explicit CEvent(bool signalled = false) : signalled_(signalled) {}

    void Set() {
        {
            std::lock_guard lock(mutex_);
            signalled_ = true;
        }
        cv_.notify_all();
    }

    void Reset() {
        std::lock_guard lock(mutex_);
        signalled_ = false;
    }

    bool IsSet() const {
        std::lock_guard lock(mutex_);
        return signalled_;
    }

    void Wait() {
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return signalled_; });
    }

    // True when the event was (or became) signalled within `timeout`.
    template <class Rep, class Period>
    bool WaitFor(std::chrono::duration<Rep, Period> timeout) {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, timeout, [this] { return signalled_; });
    }

  private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool signalled_;
};
