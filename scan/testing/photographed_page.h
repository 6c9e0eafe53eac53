// Test helper: a page as a phone photographs it, at an angle on a table or desk.
#pragma once

#include <leptonica/allheaders.h>

#include <algorithm>
#include <cmath>

#include "scan/page_preparation.h"
#include "scan/page_transform.h"

namespace marrowfen::scan::testing {

// A photo of `paper` (8-bit) taken at an angle: its corners (top-left, top-right, bottom-right,
// bottom-left) at `quad` of a `width` x `height` picture of a surface of grey `level` with grain.
inline PixPtr photographedAtAnAngle(Pix* paper, const SourcePoint (&quad)[4], int width, int height,
                                    int level, int grain) {
  // Leptonica reads the paper at the map of each photo pixel's whole-numbered coordinates.
  const PageTransform toPaper =
      inverted(quadTransform(quad, pixGetWidth(paper), pixGetHeight(paper)));
  const PageTransform onCentres =
      composed(composed({.x0 = -0.5, .y0 = -0.5}, toPaper), {.x0 = 0.5, .y0 = 0.5});
  l_float32 vc[8] = {l_float32(onCentres.xx), l_float32(onCentres.xy), l_float32(onCentres.x0),
                     l_float32(onCentres.yx), l_float32(onCentres.yy), l_float32(onCentres.y0),
                     l_float32(onCentres.wx), l_float32(onCentres.wy)};
  PixPtr canvas(pixCreate(width, height, 8));
  pixRasterop(canvas.get(), 0, 0, pixGetWidth(paper), pixGetHeight(paper), PIX_SRC, paper, 0, 0);
  PixPtr shape(pixCreate(width, height, 8));
  pixRasterop(shape.get(), 0, 0, pixGetWidth(paper), pixGetHeight(paper), PIX_SET, nullptr, 0, 0);
  PixPtr warped(pixProjectiveGray(canvas.get(), vc, 0));
  PixPtr warpedShape(pixProjectiveSampled(shape.get(), vc, L_BRING_IN_BLACK));
  PixPtr mask(pixThresholdToBinary(warpedShape.get(), 128));
  pixInvert(mask.get(), mask.get());
  PixPtr photo(pixCreate(width, height, 8));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double wood =
          std::sin(x / 5.0 + 3 * std::sin(y / 40.0)) + ((x * 7919 + y * 104729) % 13) / 6.0 - 1;
      pixSetPixel(photo.get(), x, y, std::clamp(int(level + grain * wood / 2), 0, 255));
    }
  }
  pixCombineMasked(photo.get(), warped.get(), mask.get());
  return photo;
}

}  // namespace marrowfen::scan::testing
