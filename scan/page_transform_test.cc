#include "scan/page_transform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

namespace marrowfen::scan {
namespace {

std::pair<double, double> apply(const PageTransform& t, double x, double y) {
  const double d = t.wx * x + t.wy * y + 1;
  return {(t.xx * x + t.xy * y + t.x0) / d, (t.yx * x + t.yy * y + t.y0) / d};
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

TEST(PageTransform, AQuadrilateralStretchedToARectangleMapsBackAndRoundTrips) {
  // Papers photographed at an angle: the 800 x 1000 rectangle read is the quadrilateral of the
  // photo, through any turn and rescaling done after it.
  const SourcePoint quads[][4] = {
      {{40, 30}, {830, 60}, {870, 1050}, {20, 990}},
      {{100, 100}, {700, 100}, {800, 900}, {0, 900}},  // a trapezoid: top edge shorter
      {{0, 0}, {800, 0}, {800, 1000}, {0, 1000}},      // no perspective at all
  };
  for (const auto& quad : quads) {
    const PageTransform back = quadTransform(quad, 800, 1000);
    const std::pair<double, double> corners[] = {{0, 0}, {800, 0}, {800, 1000}, {0, 1000}};
    for (int k = 0; k < 4; ++k) {
      const auto [x, y] = apply(back, corners[k].first, corners[k].second);
      EXPECT_NEAR(x, quad[k].x, 1e-9) << k;
      EXPECT_NEAR(y, quad[k].y, 1e-9) << k;
      const SourcePoint p = pointInSource(back, corners[k].first, corners[k].second);
      EXPECT_NEAR(p.x, x, 1e-9);
      EXPECT_NEAR(p.y, y, 1e-9);
    }
    // The middle of the rectangle is where the quadrilateral's diagonals cross.
    const auto [mx, my] = apply(back, 400, 500);
    const double cross =
        ((mx - quad[0].x) * (quad[2].y - quad[0].y) - (my - quad[0].y) * (quad[2].x - quad[0].x));
    EXPECT_NEAR(cross, 0, 1e-6);
    for (int turns = 0; turns < 4; ++turns) {
      const int tw = turns % 2 ? 1000 : 800, th = turns % 2 ? 800 : 1000;
      const PageTransform all = composed(composed(back, quarterTurnTransform(turns, 800, 1000)),
                                         scaleTransform(tw, th, tw * 3 / 2, th * 3 / 2));
      const PageTransform forth = inverted(all);
      for (const auto& [px, py] : {std::pair{50.0, 60.0}, {700.0, 900.0}, {123.5, 456.25}}) {
        const auto [fx, fy] = apply(forth, px, py);
        const auto [bx, by] = apply(all, fx, fy);
        EXPECT_NEAR(bx, px, 1e-7) << turns;
        EXPECT_NEAR(by, py, 1e-7) << turns;
      }
      // A box of the read image around a mapped source rectangle covers that rectangle.
      double minX = 1e9, minY = 1e9, maxX = -1e9, maxY = -1e9;
      for (const auto& [px, py] :
           {std::pair{200.0, 300.0}, {400.0, 300.0}, {200.0, 340.0}, {400.0, 340.0}}) {
        const auto [fx, fy] = apply(forth, px, py);
        minX = std::min(minX, fx), maxX = std::max(maxX, fx);
        minY = std::min(minY, fy), maxY = std::max(maxY, fy);
      }
      const BoundingBox box = boxInSource(all, int(std::floor(minX)), int(std::floor(minY)),
                                          int(std::ceil(maxX)), int(std::ceil(maxY)), 900, 1100);
      EXPECT_LE(box.x * 900, 200 + 1e-9) << turns;
      EXPECT_GE((box.x + box.width) * 900, 400 - 1e-9) << turns;
      EXPECT_LE((1 - box.y - box.height) * 1100, 300 + 1e-9) << turns;
      EXPECT_GE((1 - box.y) * 1100, 340 - 1e-9) << turns;
      // ...and not much more: the word's box stays on the word.
      EXPECT_LE(box.width * 900, 200 + 12) << turns;
      EXPECT_LE(box.height * 1100, 40 + 20) << turns;
    }
  }
}

TEST(PageTransform, AffineMapsComposeAsBefore) {
  // Turns, rotations and rescaling keep a denominator of exactly 1, so their boxes are what they
  // were before maps could be projective.
  const PageTransform t =
      composed(rotationTransform(0.1, 900, 700, 1000, 800), scaleTransform(1000, 800, 1500, 1200));
  EXPECT_EQ(t.wx, 0);
  EXPECT_EQ(t.wy, 0);
  EXPECT_EQ(inverted(t).wx, 0);
  EXPECT_DOUBLE_EQ(t.xx, std::cos(0.1) * 1000.0 / 1500);
  const PageTransform i = composed(t, inverted(t));
  EXPECT_NEAR(i.xx, 1, 1e-12);
  EXPECT_NEAR(i.xy, 0, 1e-12);
  EXPECT_NEAR(i.x0, 0, 1e-9);
}

}  // namespace
}  // namespace marrowfen::scan
