#include "common/AllocationCounter.h"

#include <cstdlib>
#include <new>

namespace {

thread_local bool countAllocations = false;
thread_local size_t allocationCount = 0;

void* CountedAllocate(size_t size) {
    if (countAllocations) {
        ++allocationCount;
    }
    void* pointer = std::malloc(size == 0 ? 1 : size);
    if (pointer == nullptr) {
        throw std::bad_alloc();
    }
    return pointer;
}

void* CountedAllocateAligned(size_t size, std::align_val_t alignment) {
    if (countAllocations) {
        ++allocationCount;
    }
    const auto align = static_cast<size_t>(alignment);
    const size_t rounded = ((size == 0 ? 1 : size) + align - 1) / align * align;
    void* pointer = std::aligned_alloc(align, rounded);
    if (pointer == nullptr) {
        throw std::bad_alloc();
    }
    return pointer;
}

template <class Allocate>
void* WithoutThrowing(Allocate allocate) noexcept {
    try {
        return allocate();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace

void* operator new(size_t size) {
    return CountedAllocate(size);
}
void* operator new[](size_t size) {
    return CountedAllocate(size);
}
void* operator new(size_t size, std::align_val_t alignment) {
    return CountedAllocateAligned(size, alignment);
}
void* operator new[](size_t size, std::align_val_t alignment) {
    return CountedAllocateAligned(size, alignment);
}
// The non-throwing forms allocate from the same heap, so that what they return is freed by the
// deletes below as it was allocated (and counted the same way).
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return WithoutThrowing([size] { return CountedAllocate(size); });
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return WithoutThrowing([size] { return CountedAllocate(size); });
}
void* operator new(size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return WithoutThrowing([=] { return CountedAllocateAligned(size, alignment); });
}
void* operator new[](size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return WithoutThrowing([=] { return CountedAllocateAligned(size, alignment); });
}
void operator delete(void* pointer) noexcept {
    std::free(pointer);
}
void operator delete[](void* pointer) noexcept {
    std::free(pointer);
}
void operator delete(void* pointer, size_t) noexcept {
    std::free(pointer);
}
void operator delete[](void* pointer, size_t) noexcept {
    std::free(pointer);
}
void operator delete(void* pointer, std::align_val_t) noexcept {
    std::free(pointer);
}
void operator delete[](void* pointer, std::align_val_t) noexcept {
    std::free(pointer);
}
void operator delete(void* pointer, size_t, std::align_val_t) noexcept {
    std::free(pointer);
}
void operator delete[](void* pointer, size_t, std::align_val_t) noexcept {
    std::free(pointer);
}

void StartCountingAllocations() {
    allocationCount = 0;
    countAllocations = true;
}

size_t StopCountingAllocations() {
    countAllocations = false;
    return allocationCount;
}
