#pragma once

#include <cstdint>

// The clock the communication thread waits with. The real one sleeps on the connection's stop
// event; tests drive the wait logic with a clock of their own.
class CCycleClock {
  public:
    virtual ~CCycleClock() = default;
    // Milliseconds since the previous reading (the first reading starts the stopwatch).
    virtual uint32_t Stopwatch() = 0;
    // Waits up to `ms`, returning early with true when a stop is requested.
    virtual bool WaitForStop(uint32_t ms) = 0;
};

constexpr uint32_t kCycleSliceMs = 500;
constexpr int32_t kCycleMinimumLeftMs = 250;
constexpr int32_t kCycleOverrunWaitMs = 500;

// Waits out `remainingMs` in 500 ms slices, adding the stopwatch after each slice, until the
// time waited reaches the remaining wait or less than 250 ms of it is left. At least one slice
// is always waited. Returns false when a stop was requested. `waitedMs`, when given, hears the
// time of the slices waited out in full.
bool WaitCycle(CCycleClock& clock, int32_t remainingMs, int64_t* waitedMs = nullptr);

// The next remaining wait after a pass of steps that took `stepsMs`: the cycle less the steps,
// or 500 ms when the steps took longer than the cycle.
int32_t NextCycleWait(int32_t commCycleMs, uint32_t stepsMs);

// The GUI timer's interval for a cycle: a quarter of the cycle, kept within 500 to 1000 ms.
constexpr uint32_t TimerIntervalForCycle(int32_t commCycleMs) {
    const int32_t quarter = commCycleMs / 4;
    return static_cast<uint32_t>(quarter < 500 ? 500 : (quarter > 1000 ? 1000 : quarter));
}
