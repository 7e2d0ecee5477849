#pragma once

#include <cstddef>

// Heap allocations made by the calling thread while counting is on. A test program that links
// AllocationCounter.cpp has its global allocation functions replaced by counting ones; other
// threads and the time outside a count are unaffected.
void StartCountingAllocations();
size_t StopCountingAllocations();

// The allocations made on this thread while `run` executes.
template <typename Run>
size_t AllocationsDuring(Run&& run) {
    StartCountingAllocations();
    run();
    return StopCountingAllocations();
}
