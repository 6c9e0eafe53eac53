#include "scan/page_transform.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace marrowfen::scan {

namespace {

using Matrix = std::array<std::array<double, 3>, 3>;

Matrix matrixOf(const PageTransform& t) {
  return {{{t.xx, t.xy, t.x0}, {t.yx, t.yy, t.y0}, {t.wx, t.wy, 1}}};
}

// The map of a homogeneous matrix, scaled so that its last element is 1.
PageTransform transformOf(const Matrix& m) {
  const double s = m[2][2];
  return {.xx = m[0][0] / s,
          .xy = m[0][1] / s,
          .x0 = m[0][2] / s,
          .yx = m[1][0] / s,
          .yy = m[1][1] / s,
          .y0 = m[1][2] / s,
          .wx = m[2][0] / s,
          .wy = m[2][1] / s};
}

bool affine(const PageTransform& t) { return t.wx == 0 && t.wy == 0; }

}  // namespace

SourcePoint pointInSource(const PageTransform& t, double x, double y) {
  const double d = t.wx * x + t.wy * y + 1;
  return {(t.xx * x + t.xy * y + t.x0) / d, (t.yx * x + t.yy * y + t.y0) / d};
}

PageTransform composed(const PageTransform& earlier, const PageTransform& later) {
  if (!affine(earlier) || !affine(later)) {
    const Matrix e = matrixOf(earlier), l = matrixOf(later);
    Matrix m{};
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j)
        m[i][j] = e[i][0] * l[0][j] + e[i][1] * l[1][j] + e[i][2] * l[2][j];
    }
    return transformOf(m);
  }
  // earlier(later(p)).
  return {.xx = earlier.xx * later.xx + earlier.xy * later.yx,
          .xy = earlier.xx * later.xy + earlier.xy * later.yy,
          .x0 = earlier.xx * later.x0 + earlier.xy * later.y0 + earlier.x0,
          .yx = earlier.yx * later.xx + earlier.yy * later.yx,
          .yy = earlier.yx * later.xy + earlier.yy * later.yy,
          .y0 = earlier.yx * later.x0 + earlier.yy * later.y0 + earlier.y0};
}

PageTransform inverted(const PageTransform& t) {
  if (!affine(t)) {
    // The adjugate: the inverse up to a factor, which transformOf divides out.
    const Matrix a = matrixOf(t);
    Matrix m{};
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        const int r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
        m[i][j] = a[r0][c0] * a[r1][c1] - a[r0][c1] * a[r1][c0];
      }
    }
    return transformOf(m);
  }
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

PageTransform quadTransform(const SourcePoint (&corners)[4], int outWidth, int outHeight) {
  // The unit square onto the quadrilateral (its corners (0,0), (1,0), (1,1), (0,1) in order),
  // then the image's pixels onto the unit square.
  const auto [x0, y0] = corners[0];
  const auto [x1, y1] = corners[1];
  const auto [x2, y2] = corners[2];
  const auto [x3, y3] = corners[3];
  const double sx = x0 - x1 + x2 - x3, sy = y0 - y1 + y2 - y3;
  const double dx1 = x1 - x2, dx2 = x3 - x2, dy1 = y1 - y2, dy2 = y3 - y2;
  const double det = dx1 * dy2 - dx2 * dy1;
  const double g = (sx * dy2 - dx2 * sy) / det, h = (dx1 * sy - sx * dy1) / det;
  const double w = outWidth, hgt = outHeight;
  return {.xx = (x1 - x0 + g * x1) / w,
          .xy = (x3 - x0 + h * x3) / hgt,
          .x0 = x0,
          .yx = (y1 - y0 + g * y1) / w,
          .yy = (y3 - y0 + h * y3) / hgt,
          .y0 = y0,
          .wx = g / w,
          .wy = h / hgt};
}

BoundingBox boxInSource(const PageTransform& t, int left, int top, int right, int bottom, int width,
                        int height) {
  double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
  for (const double x : {double(left), double(right)}) {
    for (const double y : {double(top), double(bottom)}) {
      const auto [sx, sy] = pointInSource(t, x, y);
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
