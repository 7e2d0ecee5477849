#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "SimLimits.h"

// Where in its session a recorded request line arrived.
enum class SimRequestPhase {
    kUser,      // the user name answering the greeting
    kPassword,  // the password answering "Input password."
    kCommand,   // a command line after the log-in
    kOverlong,  // a line over the length limit (only its first bytes are kept)
};

struct CSimRecordedRequest {
    int session = 0;  // connection number, from 1 in the order of acceptance
    SimRequestPhase phase = SimRequestPhase::kCommand;
    std::string text;  // without the line end
};

// The most recent request lines the simulator received, in order of arrival, and the number of
// all lines since the last Clear. A long run keeps only the last `capacity` lines, so memory
// stays bounded. Thread-safe.
class CSimRequestLog {
  public:
    explicit CSimRequestLog(size_t capacity = CSimLimits{}.requestLogCapacity);

    void Add(int session, SimRequestPhase phase, std::string_view text);
    // The kept entries, oldest first.
    std::vector<CSimRecordedRequest> Entries() const;
    // Texts of the kept kCommand entries only.
    std::vector<std::string> CommandTexts() const;
    // Every entry added since the last Clear, the dropped ones included.
    size_t Count() const;
    void Clear();
    // True once Count() reaches `count`; false when `timeout` passes first.
    bool WaitForCount(size_t count, std::chrono::milliseconds timeout) const;

  private:
    const size_t capacity_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<CSimRecordedRequest> entries_;
    size_t count_ = 0;
};
