#include "session/CycleWait.h"

bool WaitCycle(CCycleClock& clock, int32_t remainingMs, int64_t* waitedMs) {
    int64_t own = 0;
    int64_t& waited = waitedMs != nullptr ? *waitedMs : own;
    waited = 0;
    for (;;) {
        if (clock.WaitForStop(kCycleSliceMs)) {
            return false;
        }
        waited += clock.Stopwatch();
        if (waited >= remainingMs || remainingMs - waited < kCycleMinimumLeftMs) {
            return true;
        }
    }
}

int32_t NextCycleWait(int32_t commCycleMs, uint32_t stepsMs) {
    const int64_t next = static_cast<int64_t>(commCycleMs) - static_cast<int64_t>(stepsMs);
    return next < 0 ? kCycleOverrunWaitMs : static_cast<int32_t>(next);
}
