#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <thread>

class QSocketNotifier;

// Owns one GUI-thread timer and calls OnTimer on each tick. Construct and use it on the GUI
// thread.
class CTimerObject {
  public:
    CTimerObject();
    virtual ~CTimerObject();
    CTimerObject(const CTimerObject&) = delete;
    CTimerObject& operator=(const CTimerObject&) = delete;

    // Stores the interval and (re)starts the timer with it.
    void StartTimer(uint32_t intervalMs);
    // Off stops the timer. On restarts it with the stored interval unless it runs already; with
    // a stored interval of 0 it only leaves the timer stopped.
    void EnableTimer(bool on);
    bool IsTimerRunning() const { return timer_.isActive(); }
    uint32_t TimerInterval() const { return intervalMs_; }
    // True on the thread that created the object (the GUI thread), the only one that may touch
    // the timer.
    bool OnTimerThread() const { return std::this_thread::get_id() == owner_; }

    // Has OnTimer run on the GUI thread as soon as its event loop gets to it; callable from any
    // thread. Calls made before the timer was first started are delivered once it starts.
    // The wake-up travels through an eventfd rather than a cross-thread Qt call, so the hand-over
    // is a plain kernel write and read that thread checkers see.
    void PostTimerCall();

  protected:
    virtual void OnTimer() = 0;

  private:
    void OnWake();

    std::thread::id owner_ = std::this_thread::get_id();
    QObject context_;
    QTimer timer_;
    uint32_t intervalMs_ = 0;
    int wakeFd_ = -1;
    std::unique_ptr<QSocketNotifier> wakeNotifier_;
};

// The timer interval of a connection: a quarter of the cycle, kept within 500 to 1000 ms.
constexpr uint32_t TimerIntervalForCycle(int32_t commCycleMs) {
    const int32_t quarter = commCycleMs / 4;
    return static_cast<uint32_t>(quarter < 500 ? 500 : (quarter > 1000 ? 1000 : quarter));
}
