#pragma once

#include <cstdint>
#include <optional>

// Growable heap block that collects the payload of a binary answer block by block. Clearing
// keeps the block, so repeated answers of the same size allocate nothing after the first.
class CReceiveBuffer {
  public:
    CReceiveBuffer() = default;
    ~CReceiveBuffer();
    CReceiveBuffer(const CReceiveBuffer&) = delete;
    CReceiveBuffer& operator=(const CReceiveBuffer&) = delete;

    // Appends `n` bytes. When they do not fit, the block grows to capacity + max(n, 4096).
    // Returns false, leaving the buffer unchanged, when the block cannot be allocated or its
    // size would not fit in 32 bits.
    bool Append(const char* data, uint32_t n);

    // Copies the contents into `dest` and returns their size; none, with nothing written, when
    // `capacity` is smaller than the size.
    std::optional<uint32_t> CopyOut(char* dest, uint32_t capacity) const;

    // Forgets the contents; the capacity stays.
    void Clear() { size_ = 0; }

    const char* Data() const { return data_; }
    uint32_t Size() const { return size_; }
    uint32_t Capacity() const { return capacity_; }

  private:
    char* data_ = nullptr;
    uint32_t capacity_ = 0;
    uint32_t size_ = 0;
};
