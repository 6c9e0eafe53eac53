// The declared size of a JPEG 2000 picture, read before anything decodes it.
#pragma once

#include <cstddef>
#include <cstdint>

namespace marrowfen::scan {

// Whether OpenJPEG may be given the JPEG 2000 picture in `data` (a JP2 file or a bare codestream,
// told apart as MuPDF does: a codestream starts with its SOC marker). OpenJPEG allocates with
// malloc, outside MuPDF's budget, and from what the codestream's SIZ marker declares, so that
// declaration is checked here: the picture within withinPixelBudget, its components at most
// kMaxJpxSamples samples together, and at most kMaxJpxTiles tiles and kMaxJpxTileComponents tiles
// times components (OpenJPEG keeps some kilobytes of coding parameters for each, however little
// data the file holds). True also when no SIZ marker can be found where OpenJPEG reads it: it then
// refuses the picture itself before allocating for it.
bool jpxWithinBudget(const unsigned char* data, size_t size);

inline constexpr uint64_t kMaxJpxTiles = 4096;
inline constexpr uint64_t kMaxJpxTileComponents = 16384;

}  // namespace marrowfen::scan
