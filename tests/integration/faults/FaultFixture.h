#pragma once

#include <dirent.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "common/SimFixture.h"
#include "platform/Strings.h"
#include "session/InstrumentConnection.h"

// Threads of this process, counted from /proc/self/task.
inline int ProcessThreadCount() {
    DIR* dir = opendir("/proc/self/task");
    if (dir == nullptr) {
        return -1;
    }
    int count = 0;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') {
            ++count;
        }
    }
    closedir(dir);
    return count;
}

// The thread count once it has come down to `expected`, or after a second. A joined thread can
// still be listed for a moment while the kernel finishes its exit.
inline int ThreadCountSettledAt(int expected) {
    int count = ProcessThreadCount();
    for (int i = 0; i < 1000 && count > expected; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        count = ProcessThreadCount();
    }
    return count;
}

// rzsim with fault switches and a console that logs in to it with a short link time-out, a
// 1000 ms cycle, and counters for the hub's communication-error and data-refreshed events.
class FaultFixture : public SimFixture {
  protected:
    static constexpr uint32_t kLinkTimeoutMs = 300;

    void SetUp() override {
        SimFixture::SetUp();
        WriteCycle1000();
        manager.SetLinkTimeout(kLinkTimeoutMs);
        // Some runtimes (the thread sanitizer's) start a helper thread with the first thread
        // of the process; start and join one so the baseline already holds it.
        std::thread([] {}).join();
        threadsBefore = ProcessThreadCount();
        ASSERT_GT(threadsBefore, 0);
    }

    // Logs in and counts the connection's hub events from then on.
    RzResult LoginAndWatch(uint32_t* id, const char* user = "admin",
                           const char* password = "rzdemo") {
        const RzResult result = Login(id, user, password);
        if (result == RZ_OK) {
            Watch(*id);
        }
        return result;
    }

    void Watch(uint32_t id) {
        ASSERT_EQ(manager.hub().Subscribe({HUB_CHANNEL_VIEW, HUB_EVENT_COMM_ERROR},
                                          CommErrorEvent(id), [this](uint32_t) { ++commErrors; }),
                  RZ_OK);
        ASSERT_EQ(
            manager.hub().Subscribe({HUB_CHANNEL_VIEW, HUB_EVENT_DATA_REFRESHED},
                                    DataRefreshedEvent(id), [this](uint32_t) { ++refreshed; }),
            RZ_OK);
    }

    // Waits for the end of a cycle pass: the thread then waits most of a cycle before it sends
    // again, so a fault set now meets the next pass's requests in order.
    bool WaitForPassEnd() {
        const int seen = refreshed;
        return ProcessEventsUntil([&] { return refreshed > seen; });
    }

    // The number the next command request of the (one) connection will get.
    uint32_t NextRequestNumber() const {
        return static_cast<uint32_t>(server->CommandRequests().size()) + 1;
    }

    // Logs out, stops rzsim, and checks that no thread of the console or the simulator is
    // left running.
    void CloseAllAndCheckThreads() {
        manager.CloseAll();
        server->Stop();
        EXPECT_EQ(ThreadCountSettledAt(threadsBefore), threadsBefore);
        ASSERT_EQ(manager.Init(), RZ_OK);
        manager.SetLinkTimeout(kLinkTimeoutMs);
        commErrors = 0;
        refreshed = 0;
        shown.clear();
    }

    // Status texts with "@" read as rzsim's address, as the link names it in a failure's cause.
    std::vector<std::string> At(std::vector<std::string> texts) const {
        for (auto& text : texts) {
            if (const size_t at = text.find('@'); at != std::string::npos) {
                text.replace(at, 1, "127.0.0.1:" + std::to_string(port));
            }
        }
        return texts;
    }
    // The causes of a lost link as the status text names them.
    static constexpr const char* kNoAnswer = "No answer from @ within 300 ms";
    static_assert(kLinkTimeoutMs == 300);
    static constexpr const char* kClosed = "@ closed the connection";
    static constexpr const char* kTooLong = "@ sent an answer longer than 102400 bytes";
    static constexpr const char* kUnreadable = "@ sent an answer of a form that cannot be read";

    int threadsBefore = 0;
    int commErrors = 0;
    int refreshed = 0;
};
