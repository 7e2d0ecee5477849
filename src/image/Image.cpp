#include "image/Image.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

CRzImage::CRzImage(CRzImage&& other) noexcept
    : pixels_(std::move(other.pixels_)),
      capacity_(std::exchange(other.capacity_, 0)),
      width_(std::exchange(other.width_, 0)),
      height_(std::exchange(other.height_, 0)) {}

CRzImage& CRzImage::operator=(CRzImage&& other) noexcept {
    if (this != &other) {
        pixels_ = std::move(other.pixels_);
        capacity_ = std::exchange(other.capacity_, 0);
        width_ = std::exchange(other.width_, 0);
        height_ = std::exchange(other.height_, 0);
    }
    return *this;
}

RzResult CRzImage::Resize(int width, int height) {
    if (width < 0 || height < 0 || width > kMaxSide || height > kMaxSide ||
        (width == 0) != (height == 0)) {
        return LINK_E_PARAMETER;
    }
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (count > capacity_) {
        // Uninitialised on purpose: the decoder overwrites every pixel, and zero-filling a
        // large buffer for nothing costs as much as a good part of the decode.
        std::unique_ptr<uint32_t[]> grown(new (std::nothrow) uint32_t[count]);
        if (!grown) {
            Clear();
            return LINK_E_NO_MEMORY;
        }
        pixels_ = std::move(grown);
        capacity_ = count;
    }
    width_ = width;
    height_ = height;
    return RZ_OK;
}

RzResult CRzImage::CopyFrom(const CRzImage& source) {
    if (&source == this) {
        return RZ_OK;
    }
    const RzResult result = Resize(source.width_, source.height_);
    if (result != RZ_OK) {
        return result;
    }
    if (!IsEmpty()) {
        std::memcpy(pixels_.get(), source.pixels_.get(),
                    static_cast<size_t>(width_) * height_ * sizeof(uint32_t));
    }
    return RZ_OK;
}

void CRzImage::Fill(uint32_t argb) {
    if (!IsEmpty()) {
        std::fill_n(pixels_.get(), static_cast<size_t>(width_) * height_, argb);
    }
}

bool CRzImage::IsOpaque() const {
    const size_t count = static_cast<size_t>(width_) * height_;
    for (size_t i = 0; i < count; ++i) {
        if ((pixels_[i] >> 24) != 0xFFu) {
            return false;
        }
    }
    return true;
}
