// An immutable raster image with shared, reference-counted pixels. Copies and crops share the
// pixels; nothing ever changes them after construction.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace marrowfen::scan {

enum class PixelFormat : uint8_t {
  kGrey,  // 1 byte a pixel, 0 black .. 255 white
  kRgbx,  // 4 bytes a pixel: red, green, blue, one unused byte; opaque
  kRgba,  // 4 bytes a pixel: red, green, blue, alpha (straight, not premultiplied)
};

int bytesPerPixel(PixelFormat format);

class Image {
 public:
  // An empty image (no pixels); empty() is true.
  Image() = default;
  // Takes `pixels`: `height` rows of `stride` bytes, top row first. Requires width, height > 0,
  // stride >= width * bytesPerPixel(format) and pixels.size() >= stride * height.
  Image(int32_t width, int32_t height, PixelFormat format, size_t stride,
        std::vector<uint8_t> pixels);

  bool empty() const { return storage_ == nullptr; }
  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  PixelFormat format() const { return format_; }
  size_t stride() const { return stride_; }
  // The first byte of row y (0 is the top row).
  const uint8_t* row(int32_t y) const { return origin_ + static_cast<size_t>(y) * stride_; }

  // A view of the rectangle with top-left corner (x, y), clipped to the image; shares the pixels.
  // An empty image when nothing of the rectangle lies inside.
  Image cropped(int32_t x, int32_t y, int32_t width, int32_t height) const;

  // True when no other Image shares these pixels: releasing this one frees them.
  bool holdsPixelsAlone() const { return storage_ != nullptr && storage_.use_count() == 1; }

  // True when both are the same view of the same pixels (an operation handed its input back).
  bool isSameImage(const Image& other) const {
    return storage_ == other.storage_ && origin_ == other.origin_ && width_ == other.width_ &&
           height_ == other.height_;
  }

 private:
  std::shared_ptr<const std::vector<uint8_t>> storage_;
  const uint8_t* origin_ = nullptr;  // top-left pixel of this view inside storage_
  int32_t width_ = 0;
  int32_t height_ = 0;
  size_t stride_ = 0;
  PixelFormat format_ = PixelFormat::kGrey;
};

}  // namespace marrowfen::scan
