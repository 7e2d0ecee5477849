#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

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

// Every request line the simulator received, in order of arrival. Thread-safe.
class CSimRequestLog {
  public:
    void Add(int session, SimRequestPhase phase, std::string_view text);
    std::vector<CSimRecordedRequest> Entries() const;
    // Texts of the kCommand entries only.
    std::vector<std::string> CommandTexts() const;
    size_t Count() const;
    void Clear();
    // True once at least `count` entries are held; false when `timeout` passes first.
    bool WaitForCount(size_t count, std::chrono::milliseconds timeout) const;

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<CSimRecordedRequest> entries_;
};
