#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/ResultCodes.h"

class QImage;

// A decoded picture: 32-bit pixels 0xAARRGGBB (straight alpha, the layout of QImage's ARGB32),
// rows top-down and packed (stride = width * 4 bytes).
//
// The pixel buffer is kept when the image shrinks or is cleared, so the screen image decoded
// every communication cycle reuses one allocation as long as the size does not grow.
class CRzImage {
  public:
    // Larger sides are refused: no screen is that big, and the cap keeps width * height * 4
    // far from any overflow.
    static constexpr int kMaxSide = 4096;

    CRzImage() = default;
    CRzImage(CRzImage&& other) noexcept;
    CRzImage& operator=(CRzImage&& other) noexcept;
    // Copies would allocate behind the caller's back; use CopyFrom.
    CRzImage(const CRzImage&) = delete;
    CRzImage& operator=(const CRzImage&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    size_t stride() const { return static_cast<size_t>(width_) * 4; }
    bool IsEmpty() const { return width_ == 0 || height_ == 0; }
    // Pixels the buffer holds without a new allocation.
    size_t capacity() const { return capacity_; }

    // Sets the size; the pixels are left undefined. 0 x 0 is allowed (an empty image).
    // LINK_E_PARAMETER for a negative side, a side above kMaxSide or one side 0 and the other
    // not; LINK_E_NO_MEMORY when the buffer cannot grow (the image is then empty).
    RzResult Resize(int width, int height);
    // Makes the image empty without releasing the buffer.
    void Clear() { width_ = height_ = 0; }
    // Becomes a pixel-exact copy of `source`, reusing the buffer when it is large enough.
    RzResult CopyFrom(const CRzImage& source);
    void Fill(uint32_t argb);

    uint32_t* Row(int y) { return pixels_.get() + static_cast<size_t>(y) * width_; }
    const uint32_t* Row(int y) const { return pixels_.get() + static_cast<size_t>(y) * width_; }
    uint32_t Pixel(int x, int y) const { return Row(y)[x]; }
    void SetPixel(int x, int y, uint32_t argb) { Row(y)[x] = argb; }

    // True when every pixel is fully opaque.
    bool IsOpaque() const;

    // The two QImage bridges live in the image_qt layer (rz_image_qt), which links Qt Gui; a
    // caller links it and includes <QImage>. The headless programs never need them.
    //
    // A QImage over this image's pixels, without a copy. It is valid only while this image is
    // neither resized nor destroyed; Qt detaches it (copies) before any write through it.
    QImage View() const;
    // A QImage that owns a copy of the pixels (a null QImage for an empty image).
    QImage ToQImage() const;

  private:
    std::unique_ptr<uint32_t[]> pixels_;
    size_t capacity_ = 0;
    int width_ = 0;
    int height_ = 0;
};
