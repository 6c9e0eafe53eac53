#include "scan/page_transform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

namespace marrowfen::scan {
namespace {

std::pair<double, double> apply(const PageTransform& t, double x, double y) {
  return {t.xx * x + t.xy * y + t.x0, t.yx * x + t.yy * y + t.y0};
}

TEST(PageTransform, QuarterTurnsMapCornersOfTheTurnedImageBack) {
  // A 40 x 30 source; its top-left corner (0, 0) after 1, 2, 3 clockwise quarter turns lies at the
  // turned image's top-right, bottom-right and bottom-left corner.
  struct Case {
    int turns;
    double turnedX, turnedY;
  };
  for (const Case c : {Case{0, 0, 0}, Case{1, 30, 0}, Case{2, 40, 30}, Case{3, 0, 40},
                       Case{-1, 0, 40}, Case{5, 30, 0}}) {
    const auto [x, y] = apply(quarterTurnTransform(c.turns, 40, 30), c.turnedX, c.turnedY);
    EXPECT_NEAR(x, 0, 1e-12) << c.turns;
    EXPECT_NEAR(y, 0, 1e-12) << c.turns;
  }
  // The source's top-right corner (40, 0) turned once lies at the bottom-right (30, 40).
  const auto [x, y] = apply(quarterTurnTransform(1, 40, 30), 30, 40);
  EXPECT_NEAR(x, 40, 1e-12);
  EXPECT_NEAR(y, 0, 1e-12);
}

TEST(PageTransform, RoundTripsForEveryTurnAndARangeOfSkews) {
  for (int turns = 0; turns < 4; ++turns) {
    for (double degrees = -15; degrees <= 15; degrees += 2.5) {
      const double radians = degrees * M_PI / 180;
      // Turn a 900 x 700 page, rotate it on a larger canvas, enlarge it 1.5 times.
      const int tw = turns % 2 ? 700 : 900, th = turns % 2 ? 900 : 700;
      const PageTransform back =
          composed(composed(quarterTurnTransform(turns, 900, 700),
                            rotationTransform(radians, tw, th, tw + 200, th + 300)),
                   scaleTransform(tw + 200, th + 300, (tw + 200) * 3 / 2, (th + 300) * 3 / 2));
      const PageTransform forth = inverted(back);
      for (const auto& [px, py] : {std::pair{0.0, 0.0}, {900.0, 700.0}, {123.5, 456.25}}) {
        const auto [fx, fy] = apply(forth, px, py);
        const auto [bx, by] = apply(back, fx, fy);
        EXPECT_NEAR(bx, px, 1e-9) << turns << " " << degrees;
        EXPECT_NEAR(by, py, 1e-9) << turns << " " << degrees;
      }
      // A box of the prepared page around a mapped source rectangle covers that rectangle.
      double minX = 1e9, minY = 1e9, maxX = -1e9, maxY = -1e9;
      for (const auto& [px, py] :
           {std::pair{100.0, 200.0}, {300.0, 200.0}, {100.0, 250.0}, {300.0, 250.0}}) {
        const auto [fx, fy] = apply(forth, px, py);
        minX = std::min(minX, fx), maxX = std::max(maxX, fx);
        minY = std::min(minY, fy), maxY = std::max(maxY, fy);
      }
      const BoundingBox box = boxInSource(back, int(std::floor(minX)), int(std::floor(minY)),
                                          int(std::ceil(maxX)), int(std::ceil(maxY)), 900, 700);
      EXPECT_LE(box.x, 100.0 / 900 + 1e-9);
      EXPECT_GE(box.x + box.width, 300.0 / 900 - 1e-9);
      EXPECT_LE(box.y, (700 - 250.0) / 700 + 1e-9);
      EXPECT_GE(box.y + box.height, (700 - 200.0) / 700 - 1e-9);
    }
  }
}

TEST(PageTransform, IdentityBoxesAreTheEnginesPixelsNormalisedWithALowerLeftOrigin) {
  const BoundingBox box = boxInSource({}, 10, 20, 110, 70, 200, 100);
  EXPECT_DOUBLE_EQ(box.x, 10.0 / 200);
  EXPECT_DOUBLE_EQ(box.y, (100.0 - 70) / 100);
  EXPECT_DOUBLE_EQ(box.width, 100.0 / 200);
  EXPECT_DOUBLE_EQ(box.height, 50.0 / 100);
}

TEST(PageTransform, ARotatedRectangleGivesTheBoundsOfItsFourCorners) {
  // A 100 x 100 canvas turned by 45 degrees around its centre: the canvas's own square maps to a
  // diamond whose bounds reach sqrt(2) * 50 from the centre.
  const BoundingBox box =
      boxInSource(rotationTransform(M_PI / 4, 100, 100, 100, 100), 0, 0, 100, 100, 100, 100);
  const double reach = 50 * std::sqrt(2.0);
  EXPECT_NEAR(box.x, (50 - reach) / 100, 1e-9);
  EXPECT_NEAR(box.width, 2 * reach / 100, 1e-9);
  EXPECT_NEAR(box.height, 2 * reach / 100, 1e-9);
}

}  // namespace
}  // namespace marrowfen::scan
