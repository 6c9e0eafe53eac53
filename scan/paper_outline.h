// The outline of a paper photographed lying on a surface darker than itself: where each of the
// paper's four edges runs, found from the picture's sides inwards, and the quadrilateral they
// close. A paper photographed at an angle is such a quadrilateral rather than a rectangle; page
// preparation stretches it back to one (page_preparation.h).
#pragma once

#include <leptonica/allheaders.h>

#include <array>
#include <optional>

#include "scan/page_transform.h"

namespace marrowfen::scan {

// The paper's corners (top-left, top-right, bottom-right, bottom-left) in the pixel coordinates
// of `grey`, an 8-bit image (a small copy of the photo is enough), each edge set a little inside
// the paper so that its shadow stays out. A side of the picture where no edge is found (the paper
// runs off the picture there) counts as the edge. Nothing unless at least `minEdges` edges are
// found, or when the outline does not look like a paper (too small, corners far outside).
std::optional<std::array<SourcePoint, 4>> paperCorners(Pix* grey, int minEdges);

}  // namespace marrowfen::scan
