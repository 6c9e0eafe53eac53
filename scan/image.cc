#include "scan/image.h"

#include <algorithm>
#include <cassert>

namespace marrowfen::scan {

int bytesPerPixel(PixelFormat format) { return format == PixelFormat::kGrey ? 1 : 4; }

Image::Image(int32_t width, int32_t height, PixelFormat format, size_t stride,
             std::vector<uint8_t> pixels)
    : width_(width), height_(height), stride_(stride), format_(format) {
  assert(width > 0 && height > 0);
  assert(stride >= static_cast<size_t>(width) * bytesPerPixel(format));
  assert(pixels.size() >= stride * static_cast<size_t>(height));
  auto storage = std::make_shared<const std::vector<uint8_t>>(std::move(pixels));
  origin_ = storage->data();
  storage_ = std::move(storage);
}

Image Image::cropped(int32_t x, int32_t y, int32_t width, int32_t height) const {
  const int64_t left = std::max<int64_t>(x, 0);
  const int64_t top = std::max<int64_t>(y, 0);
  const int64_t right = std::min<int64_t>(int64_t{x} + width, width_);
  const int64_t bottom = std::min<int64_t>(int64_t{y} + height, height_);
  if (empty() || right <= left || bottom <= top) return Image();
  Image view = *this;
  view.origin_ = origin_ + static_cast<size_t>(top) * stride_ +
                 static_cast<size_t>(left) * bytesPerPixel(format_);
  view.width_ = static_cast<int32_t>(right - left);
  view.height_ = static_cast<int32_t>(bottom - top);
  return view;
}

}  // namespace marrowfen::scan
