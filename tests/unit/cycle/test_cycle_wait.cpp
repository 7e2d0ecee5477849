#include <gtest/gtest.h>

#include <vector>

#include "session/CycleWait.h"

namespace {

// Each slice takes exactly what it was asked for, plus `drift` ms; a stop can be requested
// before slice number `stopAtSlice` (1-based).
class FakeClock : public CCycleClock {
  public:
    uint32_t Stopwatch() override {
        const uint32_t since = pending_;
        pending_ = 0;
        return since;
    }
    bool WaitForStop(uint32_t ms) override {
        ++slices;
        if (stopAtSlice != 0 && slices >= stopAtSlice) {
            return true;
        }
        pending_ += ms + drift;
        return false;
    }
    int slices = 0;
    int stopAtSlice = 0;
    uint32_t drift = 0;

  private:
    uint32_t pending_ = 0;
};

TEST(CycleWait, SlicesPerRemainingWait) {
    struct Case {
        int32_t remaining;
        uint32_t drift;
        int slices;
    };
    const Case cases[] = {
        {1000, 0, 2},    {1200, 0, 2},  {1300, 0, 3}, {1249, 0, 2}, {1250, 0, 3},
        {500, 0, 1},     {100, 0, 1},   {0, 0, 1},    {-20, 0, 1},  {5000, 0, 10},
        {60000, 0, 120}, {1300, 60, 2},  // slices that run long count what they took
    };
    for (const auto& c : cases) {
        FakeClock clock;
        clock.drift = c.drift;
        EXPECT_TRUE(WaitCycle(clock, c.remaining)) << c.remaining;
        EXPECT_EQ(clock.slices, c.slices) << c.remaining << " drift " << c.drift;
    }
}

TEST(CycleWait, StopEndsTheWaitAtOnce) {
    FakeClock clock;
    clock.stopAtSlice = 2;
    EXPECT_FALSE(WaitCycle(clock, 5000));
    EXPECT_EQ(clock.slices, 2);
}

TEST(CycleWait, NextWaitIsTheCycleLessTheSteps) {
    struct Case {
        int32_t cycle;
        uint32_t steps;
        int32_t next;
    };
    const Case cases[] = {
        {5000, 1200, 3800},       {5000, 5000, 0}, {5000, 5001, 500},
        {1000, 4000000000u, 500}, {500, 100, 400},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NextCycleWait(c.cycle, c.steps), c.next) << c.cycle << " " << c.steps;
    }
}

}  // namespace
