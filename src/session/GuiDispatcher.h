#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

// Hands calls from worker threads to the GUI thread: a queue of closures under a mutex per
// dispatcher, and one eventfd shared by every dispatcher of the process that wakes the GUI
// thread's event loop through one socket notifier. The hand-over is a plain mutex and a kernel
// write and read, which thread checkers see (a cross-thread Qt call would not be seen by them).
// It is the one way work reaches the GUI thread: operation results, the log-in's reports, the
// communication thread's wake-ups of the connection's timer and the status texts all travel
// through one. However many connections are open, the event loop watches one descriptor, and
// one wake-up runs the calls of every dispatcher that has some.
//
// Post from any thread; everything else on the GUI thread. Calls still queued when the
// dispatcher is cleared or destroyed are dropped, never run.
class CGuiDispatcher {
  public:
    CGuiDispatcher();
    ~CGuiDispatcher();
    CGuiDispatcher(const CGuiDispatcher&) = delete;
    CGuiDispatcher& operator=(const CGuiDispatcher&) = delete;

    // Queues `call` for the GUI thread and wakes it.
    void Post(std::function<void()> call);

    // Lets the GUI thread's event loop run the queued calls from now on; does nothing before
    // the application object exists (thin waits still run them).
    void Arm();

    // Runs the calls queued so far, in the order they were posted. A call may destroy the
    // dispatcher; the calls after it are then dropped.
    void Drain();

    // A thin wait for command-line programs and tests: blocks the calling (GUI) thread until a
    // call is posted, running queued calls as they come, until `done` holds or the dispatcher is
    // destroyed by one of the calls.
    void WaitUntil(const std::function<bool()>& done);

    // Drops every queued call.
    void Clear();

  private:
    friend class CGuiWake;

    std::mutex mutex_;
    std::condition_variable posted_;  // for a thin wait
    std::deque<std::function<void()>> queue_;
    bool armed_ = false;    // under mutex_
    bool waiting_ = false;  // under mutex_: a thin wait is blocked on `posted_`
    bool listed_ = false;   // under the shared wake-up's lock: on its list of ready dispatchers
    // Cleared on destruction, so that a drain whose call destroyed the dispatcher stops.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
