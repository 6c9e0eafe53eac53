// Every operation of marrowfen-scan that makes or changes pixels: resampling image inputs for
// recognition, drawing PDF pages, finding and cropping to the inked area, flattening onto opaque
// white, and PNG output. Operations never change their input; one that has nothing to do (or
// cannot do it) hands back the input itself (Image::isSameImage is then true).
//
// Redraws use a high-quality separable filter: area averaging when shrinking, linear
// interpolation when enlarging, transparency composited onto white first.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "scan/image.h"
#include "scan/pixel_budget.h"
#include "scan/platform.h"

namespace marrowfen::scan {

// The largest bitmap a redraw or a page canvas may have: half the pixel budget, 2^25 pixels
// (128 MiB as RGBX), about the area of an A0 page at scale 2. A page canvas above it is drawn at
// a lower scale; a resampling target above it is not made (the input is returned).
inline constexpr double kMaxCanvasPixels = static_cast<double>(kMaxPixels / 2);

// The image an image input is recognised from: with --scale given and not 1, resampled to
// (width x scale, height x scale), fractions dropped, at least 1, opaque RGBX on white;
// otherwise the input.
Image resampledImage(const Image& image);

// Canvas geometry of a page, before the page is drawn.
struct PageCanvas {
  double scale = 0;     // points to pixels
  double width = 0;     // canvas width in pixels, not rounded
  double height = 0;    // canvas height in pixels, not rounded
  bool capped = false;  // the scale was lowered to keep the canvas within kMaxCanvasPixels
};

// The canvas for a media box and /Rotate: sides swapped for a quarter turn; scale = max(base
// scale, minimum long edge / long side) (the base scale when the long side is not above 0); each
// side raised to 1 when it is 1 or less; then, if the canvas has more than kMaxCanvasPixels,
// the scale lowered so that it has that many.
PageCanvas pageCanvas(const PdfRect& mediaBox, int64_t rotation, double baseScale,
                      double minimumLongEdge);

// The page drawn (rotation applied, whole media box, white background) on the canvas that
// pageCanvas gives with baseRenderScale and minimumRenderLongEdge, rounded to whole pixels.
// Nothing when the page cannot be drawn.
std::optional<Image> renderPdfPage(const PdfPage& page);

// Grey samples: `pixels` holds width x height values, rows top first, 0 black, 255 white.
struct GreyscaleSamples {
  std::vector<uint8_t> pixels;
  int64_t width = 0;
  int64_t height = 0;
};

// The image drawn on white in grey, scaled so that its longer side is at most `longEdge`
// (never enlarged; each side the fraction dropped, at least 1). Nothing when the bitmap cannot
// be made.
std::optional<GreyscaleSamples> greyscaleSamples(const Image& image, double longEdge);

// A rectangle normalised to an image: fractions of its width and height, origin at the top-left
// corner, y down.
struct InkRegion {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
};

// The bounding box of the ink on a 300-pixel grey copy: samples strictly darker than the 90th
// percentile brightness minus 22. Nothing when there is no ink, or the 90th percentile is 30 or
// darker (a mostly dark picture).
std::optional<InkRegion> inkRegion(const Image& image);

// The image cut to its ink region widened by renderCropMargin on each side (clamped to the
// image, rounded outwards to whole pixels); a view sharing the input's pixels. The input itself
// when there is no ink region, the region covers nine tenths of the area or more, or the cut
// would be under 64 pixels wide or high.
Image croppedToContent(const Image& image);

// The image drawn onto opaque white as RGBX at its own size. An opaque RGBX input is returned
// as it is (drawing it again would give the same pixels).
Image flattenToOpaqueRgb(const Image& image);

// flattenToOpaqueRgb(croppedToContent(image)): what page rendering writes.
Image prepareRenderedPage(const Image& image);

// Encodes the image as PNG (8-bit grey, RGB or RGBA as the image holds) and writes it to `path`
// atomically: into a temporary file in the same directory, then renamed over the destination,
// so a reader never sees half a file. Nothing on success; otherwise the error's description:
// "Could not encode PNG image." when encoding fails, or one naming the path and the system's
// reason when the file cannot be written. No temporary file is left behind.
std::optional<std::string> writePng(const Image& image, const std::string& path);

// The bitmap of a decoded image file: the image itself, or nothing when it has no pixels.
std::optional<Image> cgImage(const Image& decoded);

}  // namespace marrowfen::scan
