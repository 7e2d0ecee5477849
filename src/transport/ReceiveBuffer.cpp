#include "transport/ReceiveBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {
constexpr uint32_t kMinimumGrowth = 4096;
}

CReceiveBuffer::~CReceiveBuffer() {
    std::free(data_);
}

bool CReceiveBuffer::Append(const char* data, uint32_t n) {
    if (n == 0) {
        return true;
    }
    if (data == nullptr) {
        return false;
    }
    if (capacity_ - size_ < n) {
        const uint64_t wanted = uint64_t{capacity_} + std::max(n, kMinimumGrowth);
        if (wanted > UINT32_MAX) {
            return false;
        }
        auto* grown = static_cast<char*>(std::malloc(static_cast<size_t>(wanted)));
        if (grown == nullptr) {
            return false;
        }
        if (size_ != 0) {
            std::memcpy(grown, data_, size_);
        }
        std::free(data_);
        data_ = grown;
        capacity_ = static_cast<uint32_t>(wanted);
    }
    std::memcpy(data_ + size_, data, n);
    size_ += n;
    return true;
}

std::optional<uint32_t> CReceiveBuffer::CopyOut(char* dest, uint32_t capacity) const {
    if (capacity < size_ || (dest == nullptr && size_ != 0)) {
        return std::nullopt;
    }
    if (size_ != 0) {
        std::memcpy(dest, data_, size_);
    }
    return size_;
}
