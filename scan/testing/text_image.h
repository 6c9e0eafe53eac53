// Test helper: lines of text drawn with FreeType onto a white grey image, as a printed page
// would show them.
#pragma once

#include <string>
#include <vector>

#include "scan/image.h"

namespace marrowfen::scan::testing {

inline constexpr char kDejaVuSans[] = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

// The lines drawn left-aligned from (margin, margin), one below the other, in black at
// `pixelSize` with `fontPath`; the image is `width` x `height`. An empty image when the font
// cannot be loaded.
Image textImage(const std::vector<std::string>& lines, int width, int height, int pixelSize = 40,
                int margin = 60, const std::string& fontPath = kDejaVuSans);

}  // namespace marrowfen::scan::testing
