// The one budget for pixels and bytes that every decoder and renderer of marrowfen-scan asks
// before it allocates, so that no input, however it lies about its size, takes more than this.
#pragma once

#include <cstdint>

namespace marrowfen::scan {

// The most pixels one picture may have, decoded or drawn: 2^26 (8192 x 8192, 256 MiB as RGBA).
// A page scanned at 600 dpi (A4: 4960 x 7016) or a 48-megapixel photograph fits.
inline constexpr int64_t kMaxPixels = int64_t{1} << 26;

// The most bytes MuPDF may hold at once (fonts, streams, decoded pictures, the store), and the
// largest single block it may ask for: one picture of the budget at 4 bytes a pixel. A request
// beyond either fails inside MuPDF, which gives up the picture or page it was working on.
inline constexpr int64_t kMaxMupdfBytes = int64_t{640} << 20;
inline constexpr int64_t kMaxMupdfBlockBytes = kMaxPixels * 4;

// The most samples (pixels times components) of one JPEG 2000 picture: OpenJPEG, which decodes
// them outside MuPDF's allocator, holds 4 bytes a sample, so this is 512 MiB. A grey picture of
// the whole pixel budget fits, and an RGB one of 44 Mpixels (a 600 dpi A4 scan holds 35).
inline constexpr int64_t kMaxJpxSamples = kMaxPixels * 2;

// Whether a picture of width x height fits the budget: both sides positive and at most 2^31 - 1,
// and at most kMaxPixels pixels in all.
inline bool withinPixelBudget(int64_t width, int64_t height) {
  return width > 0 && height > 0 && width <= INT32_MAX && height <= INT32_MAX &&
         width <= kMaxPixels && height <= kMaxPixels && width * height <= kMaxPixels;
}

}  // namespace marrowfen::scan
