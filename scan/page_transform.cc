#include "scan/page_transform.h"

#include <algorithm>
#include <cmath>

namespace marrowfen::scan {

PageTransform composed(const PageTransform& earlier, const PageTransform& later) {
  // earlier(later(p)).
  return {.xx = earlier.xx * later.xx + earlier.xy * later.yx,
          .xy = earlier.xx * later.xy + earlier.xy * later.yy,
          .x0 = earlier.xx * later.x0 + earlier.xy * later.y0 + earlier.x0,
          .yx = earlier.yx * later.xx + earlier.yy * later.yx,
          .yy = earlier.yx * later.xy + earlier.yy * later.yy,
          .y0 = earlier.yx * later.x0 + earlier.yy * later.y0 + earlier.y0};
}

PageTransform inverted(const PageTransform& t) {
  const double det = t.xx * t.yy - t.xy * t.yx;
  const double ixx = t.yy / det, ixy = -t.xy / det, iyx = -t.yx / det, iyy = t.xx / det;
  return {.xx = ixx,
          .xy = ixy,
          .x0 = -(ixx * t.x0 + ixy * t.y0),
          .yx = iyx,
          .yy = iyy,
          .y0 = -(iyx * t.x0 + iyy * t.y0)};
}

PageTransform quarterTurnTransform(int quarterTurns, int width, int height) {
  switch (((quarterTurns % 4) + 4) % 4) {
    case 1:  // output is height x width; output (x, y) came from (y, height - x)
      return {.xx = 0, .xy = 1, .x0 = 0, .yx = -1, .yy = 0, .y0 = double(height)};
    case 2:  // output (x, y) came from (width - x, height - y)
      return {.xx = -1, .xy = 0, .x0 = double(width), .yx = 0, .yy = -1, .y0 = double(height)};
    case 3:  // output is height x width; output (x, y) came from (width - y, x)
      return {.xx = 0, .xy = -1, .x0 = double(width), .yx = 1, .yy = 0, .y0 = 0};
    default:
      return {};
  }
}

PageTransform rotationTransform(double radians, int width, int height, int outWidth,
                                int outHeight) {
  // Forward, with y down, a clockwise turn by a: x' = c*dx - s*dy, y' = s*dx + c*dy around the
  // centres; back: dx = c*x' + s*y', dy = -s*x' + c*y'.
  const double c = std::cos(radians), s = std::sin(radians);
  const double cx = outWidth / 2.0, cy = outHeight / 2.0;
  const double sx = width / 2.0, sy = height / 2.0;
  return {
      .xx = c, .xy = s, .x0 = sx - c * cx - s * cy, .yx = -s, .yy = c, .y0 = sy + s * cx - c * cy};
}

PageTransform scaleTransform(int width, int height, int outWidth, int outHeight) {
  return {.xx = double(width) / outWidth,
          .xy = 0,
          .x0 = 0,
          .yx = 0,
          .yy = double(height) / outHeight,
          .y0 = 0};
}

BoundingBox boxInSource(const PageTransform& t, int left, int top, int right, int bottom, int width,
                        int height) {
  double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
  for (const double x : {double(left), double(right)}) {
    for (const double y : {double(top), double(bottom)}) {
      const double sx = t.xx * x + t.xy * y + t.x0;
      const double sy = t.yx * x + t.yy * y + t.y0;
      minX = std::min(minX, sx);
      maxX = std::max(maxX, sx);
      minY = std::min(minY, sy);
      maxY = std::max(maxY, sy);
    }
  }
  const double w = width, h = height;
  return {
      .x = minX / w, .y = (h - maxY) / h, .width = (maxX - minX) / w, .height = (maxY - minY) / h};
}

}  // namespace marrowfen::scan
