#include "scan/jpx_budget.h"

#include <optional>

#include "scan/pixel_budget.h"

namespace marrowfen::scan {
namespace {

uint64_t bigEndian(const unsigned char* p, int bytes) {
  uint64_t v = 0;
  for (int i = 0; i < bytes; ++i) v = (v << 8) | p[i];
  return v;
}

uint64_t ceilDiv(uint64_t a, uint64_t b) { return (a + b - 1) / b; }

// Where the codestream starts: at 0 for a bare codestream, else after the header of the first
// top-level "jp2c" box, which is where OpenJPEG's JP2 reader goes. Nothing when there is none.
std::optional<size_t> codestreamOffset(const unsigned char* data, size_t size) {
  if (size >= 2 && data[0] == 0xff && data[1] == 0x4f) return 0;
  size_t at = 0;
  while (size - at >= 8) {
    uint64_t length = bigEndian(data + at, 4);
    const bool contiguous = bigEndian(data + at + 4, 4) == 0x6a703263;  // "jp2c"
    size_t header = 8;
    if (length == 1) {
      if (size - at < 16) return std::nullopt;
      length = bigEndian(data + at + 8, 8);
      header = 16;
    } else if (length == 0) {
      length = size - at;  // the last box runs to the end
    }
    if (contiguous) return at + header;
    if (length < header || length > size - at) return std::nullopt;
    at += length;
  }
  return std::nullopt;
}

}  // namespace

bool jpxWithinBudget(const unsigned char* data, size_t size) {
  const std::optional<size_t> start = codestreamOffset(data, size);
  // SOC, then SIZ: marker, length, capabilities, eight 32-bit sizes, component count.
  constexpr size_t kSizBytes = 2 + 2 + 2 + 2 + 8 * 4 + 2;
  if (!start || size - *start < kSizBytes) return true;
  const unsigned char* siz = data + *start;
  if (bigEndian(siz, 2) != 0xff4f || bigEndian(siz + 2, 2) != 0xff51) return true;
  const unsigned char* p = siz + 8;
  const uint64_t width = bigEndian(p, 4), height = bigEndian(p + 4, 4);
  const uint64_t left = bigEndian(p + 8, 4), top = bigEndian(p + 12, 4);
  const uint64_t tileWidth = bigEndian(p + 16, 4), tileHeight = bigEndian(p + 20, 4);
  const uint64_t tileLeft = bigEndian(p + 24, 4), tileTop = bigEndian(p + 28, 4);
  const uint64_t components = bigEndian(p + 32, 2);
  // Sizes OpenJPEG rejects as they stand are left to it.
  if (left >= width || top >= height || tileWidth == 0 || tileHeight == 0 || tileLeft > left ||
      tileTop > top || components == 0) {
    return true;
  }
  if (!withinPixelBudget(static_cast<int64_t>(width - left), static_cast<int64_t>(height - top))) {
    return false;
  }
  const uint64_t tiles =
      ceilDiv(width - tileLeft, tileWidth) * ceilDiv(height - tileTop, tileHeight);
  if (tiles > kMaxJpxTiles || tiles * components > kMaxJpxTileComponents) return false;
  if (size - *start - kSizBytes < components * 3) return true;
  const unsigned char* component = p + 34;
  uint64_t samples = 0;
  for (uint64_t c = 0; c < components; ++c, component += 3) {
    const uint64_t dx = component[1], dy = component[2];
    if (dx == 0 || dy == 0) return true;
    samples += (ceilDiv(width, dx) - ceilDiv(left, dx)) * (ceilDiv(height, dy) - ceilDiv(top, dy));
  }
  return samples <= static_cast<uint64_t>(kMaxJpxSamples);
}

}  // namespace marrowfen::scan
