#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class QSocketNotifier;

// Hands calls from worker threads to the GUI thread: a queue of closures under a mutex, and an
// eventfd that wakes the GUI thread's event loop through a socket notifier. The hand-over is a
// plain mutex and a kernel write and read, which thread checkers see (a cross-thread Qt call
// would not be seen by them). It is the one way work reaches the GUI thread: operation results,
// the log-in's reports, the communication thread's wake-ups of the connection's timer and the
// status texts all travel through one.
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

    // A thin wait for command-line programs and tests: blocks the calling (GUI) thread on the
    // eventfd, running queued calls as they come, until `done` holds or the dispatcher is
    // destroyed by one of the calls.
    void WaitUntil(const std::function<bool()>& done);

    // Drops every queued call.
    void Clear();

  private:
    void OnWake();

    std::mutex mutex_;
    std::deque<std::function<void()>> queue_;
    int wakeFd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    // Cleared on destruction, so that a drain whose call destroyed the dispatcher stops.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
