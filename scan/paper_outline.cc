#include "scan/paper_outline.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace marrowfen::scan {
namespace {

// Each side of the picture is crossed by this many scan lines, spread over its middle 80 %.
constexpr int kScanLines = 48;
// A scan line starts on the surface when its first pixels are darker than this share of the
// paper's level along it; the edge is where it first rises half way from there to the paper.
constexpr double kSurfaceShare = 0.85;
// Edges are looked for in the outer share of the picture's width or height.
constexpr double kMaxDepth = 0.4;
// An edge is a straight line through at least half of its side's scan lines, within this many
// pixels, running at most this steeply against its side (about 17 degrees).
constexpr double kFitTolerance = 2.0;
constexpr double kMinInlierShare = 0.5;
constexpr double kMaxSlope = 0.3;
// Edges are moved this many pixels into the paper, past the soft shadow along them.
constexpr double kInset = 1.5;
// The outline must cover this share of the picture, its corners lie no further outside it.
constexpr double kMinAreaShare = 0.25;
constexpr double kMaxOutside = 0.05;

enum Side { kLeft, kTop, kRight, kBottom };

// An edge found from one side of the picture: its distance from that side is a + b * t, t the
// position along the side (pixel edges on whole numbers).
struct Edge {
  double a = 0, b = 0;
  bool found = false;
};

class GreyImage {
 public:
  explicit GreyImage(Pix* pix)
      : data_(pixGetData(pix)),
        wpl_(pixGetWpl(pix)),
        width_(pixGetWidth(pix)),
        height_(pixGetHeight(pix)) {}
  int width() const { return width_; }
  int height() const { return height_; }
  // Depth of the picture across `side` and its length along it.
  int depth(Side side) const { return side == kLeft || side == kRight ? width_ : height_; }
  int length(Side side) const { return side == kLeft || side == kRight ? height_ : width_; }
  // The brightness `i` pixels in from `side` on line `t` along it, the mean of three lines.
  double at(Side side, int t, int i) const {
    double sum = 0;
    for (int k = std::max(0, t - 1); k <= std::min(length(side) - 1, t + 1); ++k)
      sum += pixel(side, k, i);
    return sum / (std::min(length(side) - 1, t + 1) - std::max(0, t - 1) + 1);
  }

 private:
  int pixel(Side side, int t, int i) const {
    const int x = side == kLeft ? i : side == kRight ? width_ - 1 - i : t;
    const int y = side == kTop ? i : side == kBottom ? height_ - 1 - i : t;
    return GET_DATA_BYTE(data_ + static_cast<size_t>(y) * wpl_, x);
  }
  const l_uint32* data_;
  int wpl_, width_, height_;
};

// How far in from `side` scan line `t` crosses from surface onto paper; nothing when it does not
// start on the surface, or finds no paper in the outer part of the picture.
std::optional<double> edgeDepth(const GreyImage& grey, Side side, int t) {
  const int reach = grey.depth(side) / 2;
  std::vector<double> line(reach);
  for (int i = 0; i < reach; ++i) line[i] = grey.at(side, t, i);
  std::vector<double> sorted = line;
  std::nth_element(sorted.begin(), sorted.begin() + reach * 9 / 10, sorted.end());
  const double paper = sorted[reach * 9 / 10];
  // The outermost pixel of a photo is often damaged; the surface is read just inside it.
  const double surface = (line[1] + line[2] + line[3]) / 3;
  if (surface >= kSurfaceShare * paper) return std::nullopt;
  const double middle = (surface + paper) / 2;
  const int last = std::min(reach - 4, static_cast<int>(kMaxDepth * grey.depth(side)));
  for (int i = 2; i < last; ++i) {
    if (line[i] < middle) continue;
    // A bright speck of the surface is not the paper: the paper goes on being bright.
    if ((line[i] + line[i + 1] + line[i + 2] + line[i + 3]) / 4 < middle) continue;
    // Between pixel centres i - 1 and i, where the brightness crosses the middle.
    return i - 0.5 + (middle - line[i - 1]) / (line[i] - line[i - 1]);
  }
  return std::nullopt;
}

double median(std::vector<double> values) {
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

// The straight line through most of the points (t, depth): the median of the slopes between
// pairs, the median intercept, then a least-squares fit of the points near that line.
Edge fittedEdge(const std::vector<std::pair<double, double>>& points) {
  if (points.size() < kMinInlierShare * kScanLines) return {};
  std::vector<double> slopes;
  for (size_t i = 0; i < points.size(); ++i) {
    for (size_t j = i + 1; j < points.size(); ++j) {
      slopes.push_back((points[j].second - points[i].second) / (points[j].first - points[i].first));
    }
  }
  double b = median(slopes);
  std::vector<double> intercepts;
  for (const auto& [t, d] : points) intercepts.push_back(d - b * t);
  double a = median(intercepts);
  double n = 0, st = 0, sd = 0, stt = 0, std_ = 0;
  for (const auto& [t, d] : points) {
    if (std::abs(d - a - b * t) > kFitTolerance) continue;
    n += 1, st += t, sd += d, stt += t * t, std_ += t * d;
  }
  if (n < kMinInlierShare * kScanLines) return {};
  const double spread = n * stt - st * st;
  if (spread > 0) {
    b = (n * std_ - st * sd) / spread;
    a = (sd - b * st) / n;
  }
  if (std::abs(b) > kMaxSlope) return {};
  return {.a = a + kInset, .b = b, .found = true};
}

Edge paperEdge(const GreyImage& grey, Side side) {
  std::vector<std::pair<double, double>> points;
  const int length = grey.length(side);
  for (int k = 0; k < kScanLines; ++k) {
    const int t = static_cast<int>(length * (0.1 + 0.8 * (k + 0.5) / kScanLines));
    if (std::optional<double> depth = edgeDepth(grey, side, t))
      points.emplace_back(t + 0.5, *depth);
  }
  return fittedEdge(points);
}

// Where the vertical line x = p + q * y meets the horizontal line y = r + s * x.
SourcePoint crossing(double p, double q, double r, double s) {
  const double x = (p + q * r) / (1 - q * s);
  return {x, r + s * x};
}

}  // namespace

std::optional<std::array<SourcePoint, 4>> paperCorners(Pix* grey, int minEdges) {
  if (!grey || pixGetDepth(grey) != 8 || pixGetWidth(grey) < 32 || pixGetHeight(grey) < 32) {
    return std::nullopt;
  }
  const GreyImage image(grey);
  Edge edges[4];
  int found = 0;
  for (const Side side : {kLeft, kTop, kRight, kBottom}) {
    edges[side] = paperEdge(image, side);
    found += edges[side].found;
  }
  if (found < std::max(1, minEdges)) return std::nullopt;
  const double w = image.width(), h = image.height();
  // Each edge as a line of the picture: x = p + q * y for the left and right, y = r + s * x for
  // the top and bottom.
  const Edge &left = edges[kLeft], &top = edges[kTop], &right = edges[kRight],
             &bottom = edges[kBottom];
  const double pl = left.a, ql = left.b, pr = w - right.a, qr = -right.b;
  const double rt = top.a, st = top.b, rb = h - bottom.a, sb = -bottom.b;
  const std::array<SourcePoint, 4> corners = {crossing(pl, ql, rt, st), crossing(pr, qr, rt, st),
                                              crossing(pr, qr, rb, sb), crossing(pl, ql, rb, sb)};
  double area = 0;
  for (int k = 0; k < 4; ++k) {
    const SourcePoint &p = corners[k], &n = corners[(k + 1) % 4];
    area += p.x * n.y - n.x * p.y;
    if (p.x < -kMaxOutside * w || p.x > (1 + kMaxOutside) * w || p.y < -kMaxOutside * h ||
        p.y > (1 + kMaxOutside) * h) {
      return std::nullopt;
    }
  }
  if (area / 2 < kMinAreaShare * w * h) return std::nullopt;
  return corners;
}

}  // namespace marrowfen::scan
