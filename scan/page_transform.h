// Where a point of a prepared page image lies in the image it was prepared from. Page
// preparation (page_preparation.h) turns, rotates and rescales a page before it is recognised;
// each step hands back the map from its output to its input, and the maps compose, so every box
// the recogniser finds on the prepared page can be put back on the page it was given.
#pragma once

#include "scan/records.h"

namespace marrowfen::scan {

// A projective map of pixel coordinates (origin at the top-left corner of the image, y down,
// pixel edges on whole numbers, so a w x h image spans [0, w] x [0, h]):
//   source x = (xx * x + xy * y + x0) / d,  source y = (yx * x + yy * y + y0) / d,
//   d = wx * x + wy * y + 1.
// Turns, rotations, crops and rescaling are affine (wx = wy = 0, d = 1); only straightening a
// photographed paper's perspective needs the denominator.
struct PageTransform {
  double xx = 1, xy = 0, x0 = 0;  // source x as a function of (x, y), before the division
  double yx = 0, yy = 1, y0 = 0;  // source y as a function of (x, y), before the division
  double wx = 0, wy = 0;          // the denominator's terms in x and y
};

// Where the point (x, y) of the prepared image lies in the source.
struct SourcePoint {
  double x = 0, y = 0;
};
SourcePoint pointInSource(const PageTransform& t, double x, double y);

// `later` applied first, then `earlier`: maps points of the last image of two steps into the
// first one's input, when `earlier` maps step one's output to its input and `later` maps step
// two's output to step one's output.
PageTransform composed(const PageTransform& earlier, const PageTransform& later);

// The inverse map (source to prepared); every transform made here is invertible.
PageTransform inverted(const PageTransform& t);

// The map back from an image made by turning a `width` x `height` source `quarterTurns` times a
// quarter clockwise (any integer; taken modulo 4).
PageTransform quarterTurnTransform(int quarterTurns, int width, int height);

// The map back from an image of `outWidth` x `outHeight` whose centre holds the centre of a
// `width` x `height` source turned clockwise (on screen, y down) by `radians`.
PageTransform rotationTransform(double radians, int width, int height, int outWidth, int outHeight);

// The map back from an image made by resizing a `width` x `height` source to `outWidth` x
// `outHeight`.
PageTransform scaleTransform(int width, int height, int outWidth, int outHeight);

// The map back from an `outWidth` x `outHeight` image onto which the quadrilateral `corners` of
// the source (top-left, top-right, bottom-right, bottom-left) was stretched: the image's corners
// map to those four points and its straight lines to straight lines.
PageTransform quadTransform(const SourcePoint (&corners)[4], int outWidth, int outHeight);

// The pixel rectangle [left, right) x [top, bottom) of the prepared image, mapped into the
// `width` x `height` source: the bounds of its four mapped corners, normalised to the source with
// a lower-left origin.
BoundingBox boxInSource(const PageTransform& t, int left, int top, int right, int bottom, int width,
                        int height);

}  // namespace marrowfen::scan
