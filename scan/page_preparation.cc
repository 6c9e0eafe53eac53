#include "scan/page_preparation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <tuple>
#include <utility>
#include <vector>

#include "scan/paper_outline.h"

namespace marrowfen::scan {
namespace {

// Letters this many pixels high (median of a page's letter-like components, mostly the height of
// lower-case letters) read well; pages below are enlarged to the target, pages far above are
// reduced. Measured on scanned forms: enlarging 6-pixel text twice read best, four times worse.
constexpr double kSmallText = 10;
constexpr double kTargetText = 13;
constexpr double kLargeText = 110;
constexpr double kReducedText = 40;
constexpr double kMaxEnlargement = 4;
// Letters of dots are told from small print by at least this many letters.
constexpr size_t kMinDottedLetters = 100;
// Pixels either side by which the rules of a page enlarged from tiny letters are painted out.
constexpr int kEnlargedRuleFringe = 3;
// A horizontal run with this share of ink over half a letter on one side, and kOtherSideInk on the
// other, is the edge of a line of bold letters: on 17 scanned forms and receipts 2 of 481 runs
// found as rules are inked so, on a photographed form all 12.
constexpr double kLetterSideInk = 0.6;
constexpr double kOtherSideInk = 0.3;
// The height of a line of bold letters whose top and bottom edges pass for rules, at most, in
// letters of the page's text.
constexpr double kBoldLine = 1.5;
// A long run is a rule when it is one line at most kRuleThickness letters thick, in all but
// kWideRuleShare of its length, and spans at most kRuleSpan letters across (a heavy or slightly
// slanted rule); a line of letters bridged into one blob is about a letter thick.
// Such runs are at least kLongRule times as long as the shortest rule, and are no edge of a mass
// of ink (a dark banner, a line of bold letters). On 132 flat and photographed copies of 22 forms
// and receipts, thicknesses of 0.5 to 0.65 letters read alike; spans of one letter missed the
// rules that photos slant.
constexpr double kRuleThickness = 0.55;
constexpr double kWideRuleShare = 0.1;
constexpr double kRuleSpan = 2;
constexpr int kLongRule = 2;
// A run lying for at least kEdgeLetterShare of its length on components at least
// kEdgeLetterHeight letters high and at most kEdgeLetterWidth long is a line of letters' edge.
constexpr double kEdgeLetterShare = 0.5;
constexpr double kEdgeLetterHeight = 0.6;
constexpr double kEdgeLetterWidth = 4;
// Rows of separate dashes: at least kMinDashes pieces kDashWidth letters wide, kDashGap apart.
constexpr size_t kMinDashes = 8;
constexpr double kDashWidth[2] = {0.25, 1.5};
constexpr double kDashGap = 1.0;
// Skew below this is left to the engine's own line finding; a search result must stand out by
// this much to be believed (Leptonica's confidence: the best score over the spread).
constexpr double kMinSkewDegrees = 0.8;
constexpr double kMinSkewConfidence = 3.0;
// Skew is searched up to these angles either way: first the narrow sweep, then the wide one.
// Beyond 45 degrees a page is a quarter turn plus a skew the other way.
constexpr float kNarrowSkewSweep = 15.0f;
constexpr float kWideSkewSweep = 45.0f;
// A skew at least kFarSkewDegrees from level is believed at a lower confidence: there the engine
// reads little or nothing of the page as it lies, while the pages whose lines stood out too
// little (photos, half-size scans, papers on a dark table) had their best angle within 3 degrees
// of level.
constexpr double kMinFarSkewConfidence = 2.0;
constexpr double kFarSkewDegrees = 4.0;

// A page is taken for a negative when more than this share of it, and of its middle, is darker
// than the split of its brightness: on the scans, photos and receipts measured, ink and shadows
// never passed 0.23 of a page, their negatives never fell below 0.79 (0.87 in the middle), and
// papers photographed on a dark table were at most 0.16 dark in the middle.
constexpr double kDarkPageShare = 0.5;

// Colour marks: a pixel whose channels spread this far apart is coloured; a pixel darker than
// kInkShare of the paper's brightness is ink. A page's coloured marks are taken out when they are
// at least kMinColouredInk and at most kMaxColouredInk of its ink.
constexpr int kColoured = 60;
constexpr double kInkShare = 0.75;
constexpr double kMinColouredInk = 0.02;
constexpr double kMaxColouredInk = 0.4;

// Photos are sharpened by adding back this many times the difference between the page and its
// mean over a square of (2 * kUnsharpHalfWidth + 1) pixels, a little under half the height of the
// letters once they are scaled to read best.
constexpr int kUnsharpHalfWidth = 3;
constexpr float kUnsharpAmount = 1.5f;

// The paper is taken as uneven when the brightest tenth of the tiles and the darkest tenth of
// them (each tile's paper level: its 90th-percentile brightness) lie this far apart.
constexpr int kUnevenLight = 20;
// The grey level Leptonica's background normalisation gives the paper.
constexpr int kLevelledPaper = 200;

}  // namespace

namespace {

// Whether every sample of a grey image is black or white.
bool isTwoValued(const Image& image) {
  for (int32_t y = 0; y < image.height(); ++y) {
    const uint8_t* in = image.row(y);
    for (int32_t x = 0; x < image.width(); ++x) {
      if (in[x] != 0 && in[x] != 255) return false;
    }
  }
  return true;
}

// `pix` (of the image's size) with each of its rows written by `putRow(imageRow, pixRow)`;
// nothing when `pix` could not be made.
template <typename PutRow>
PixPtr filledPix(PixPtr pix, const Image& image, const PutRow& putRow) {
  if (!pix) return nullptr;
  l_uint32* data = pixGetData(pix.get());
  const int wpl = pixGetWpl(pix.get());
  for (int32_t y = 0; y < image.height(); ++y) {
    putRow(image.row(y), data + static_cast<size_t>(y) * wpl);
  }
  return pix;
}

}  // namespace

PixPtr pixFromImage(const Image& image) {
  const int32_t width = image.width();
  const int32_t height = image.height();
  if (image.empty()) return nullptr;
  if (image.format() == PixelFormat::kGrey && isTwoValued(image)) {
    // 1 bit a pixel, created zeroed: white.
    return filledPix(PixPtr(pixCreate(width, height, 1)), image,
                     [width](const uint8_t* in, l_uint32* line) {
                       for (int32_t x = 0; x < width; ++x) {
                         if (in[x] == 0) SET_DATA_BIT(line, x);
                       }
                     });
  }
  if (image.format() == PixelFormat::kGrey) {
    return filledPix(PixPtr(pixCreateNoInit(width, height, 8)), image,
                     [width](const uint8_t* in, l_uint32* line) {
                       for (int32_t x = 0; x < width; ++x) SET_DATA_BYTE(line, x, in[x]);
                     });
  }
  PixPtr pix(pixCreateNoInit(width, height, 32));
  if (pix) pixSetSpp(pix.get(), 3);
  const bool alpha = image.format() == PixelFormat::kRgba;
  return filledPix(std::move(pix), image, [width, alpha](const uint8_t* in, l_uint32* line) {
    for (int32_t x = 0; x < width; ++x, in += 4) {
      l_uint32 rgb[3];
      for (int c = 0; c < 3; ++c) {
        rgb[c] = alpha ? static_cast<l_uint32>((in[c] * in[3] + 255 * (255 - in[3]) + 127) / 255)
                       : in[c];
      }
      line[x] = (rgb[0] << L_RED_SHIFT) | (rgb[1] << L_GREEN_SHIFT) | (rgb[2] << L_BLUE_SHIFT);
    }
  });
}

PixPtr binaryForAnalysis(Pix* pix) {
  if (pixGetDepth(pix) == 1) return PixPtr(pixClone(pix));
  PixPtr grey(pixConvertTo8(pix, 0));
  if (!grey) return nullptr;
  // A global Otsu threshold (with Leptonica's search for the histogram's minimum near the best
  // split), applied to the page as it is: what pixOtsuAdaptiveThreshold does with one tile, without
  // its three full-page copies of the tile.
  l_int32 threshold = 128;
  if (pixSplitDistributionFgBg(grey.get(), 0.1f, 1, &threshold, nullptr, nullptr, nullptr) != 0) {
    threshold = 128;
  }
  return PixPtr(pixThresholdToBinary(grey.get(), threshold));
}

namespace {

// The share of the pixels of `binary` inked in the rectangle (x, y, w, h); 0 when it is empty.
double inkShare(Pix* binary, l_int32 x, l_int32 y, l_int32 w, l_int32 h) {
  if (h <= 0 || w <= 0) return 0.0;
  Box* box = boxCreate(x, y, w, h);
  l_int32 ink = 0;
  pixCountPixelsInRect(binary, box, &ink, nullptr);
  boxDestroy(&box);
  return double(ink) / (double(w) * h);
}

}  // namespace

PixPtr negativeOfDarkPage(Pix* pix) {
  const double area = double(pixGetWidth(pix)) * pixGetHeight(pix);
  if (area <= 0) return nullptr;
  // About a million pixels tell the shares as well as all of them.
  const int step = std::max(1, static_cast<int>(std::sqrt(area / 1e6)));
  PixPtr sample(step > 1 ? pixScaleByIntSampling(pix, step) : pixClone(pix));
  PixPtr ink = sample ? binaryForAnalysis(sample.get()) : nullptr;
  if (!ink) return nullptr;
  // A negative is dark all over, its middle too; a paper photographed on a dark table is dark
  // around the paper, which fills the middle of the picture.
  const int w = pixGetWidth(ink.get()), h = pixGetHeight(ink.get());
  if (inkShare(ink.get(), 0, 0, w, h) <= kDarkPageShare ||
      inkShare(ink.get(), w / 4, h / 4, std::max(1, w / 2), std::max(1, h / 2)) <= kDarkPageShare) {
    return nullptr;
  }
  if (pixGetDepth(pix) == 32 && area > kMaxSharpenedColourPixels) {
    PixPtr grey(pixConvertRGBToLuminance(pix));
    return grey ? PixPtr(pixInvert(nullptr, grey.get())) : nullptr;
  }
  return PixPtr(pixInvert(nullptr, pix));
}

namespace {

// A connected component too small to be a letter or a part of one.
bool isSpeck(l_int32 w, l_int32 h) { return h < 3 || w * h < 6; }

// The median height (or width) of the letter-like connected components of a 1-bit page; 0 when
// there are too few to tell.
double medianLetterSize(Pix* binary, bool width, size_t* count = nullptr) {
  if (count) *count = 0;
  Boxa* boxes = pixConnCompBB(binary, 8);
  if (!boxes) return 0;
  const int pageHeight = pixGetHeight(binary);
  std::vector<int> sizes;
  const int n = boxaGetCount(boxes);
  for (int k = 0; k < n; ++k) {
    l_int32 x, y, w, h;
    if (boxaGetBoxGeometry(boxes, k, &x, &y, &w, &h) != 0) continue;
    // Specks, rules, frames and pictures say nothing about the size of letters.
    if (isSpeck(w, h) || w > 3 * h || h > pageHeight / 8 || h > 10 * w) continue;
    sizes.push_back(width ? w : h);
  }
  boxaDestroy(&boxes);
  if (count) *count = sizes.size();
  if (sizes.size() < 20) return 0;
  std::nth_element(sizes.begin(), sizes.begin() + sizes.size() / 2, sizes.end());
  return sizes[sizes.size() / 2];
}

}  // namespace

bool speckled(Pix* binary) {
  Boxa* boxes = pixConnCompBB(binary, 8);
  if (!boxes) return false;
  size_t specks = 0, others = 0;
  for (int k = 0; k < boxaGetCount(boxes); ++k) {
    l_int32 x, y, w, h;
    if (boxaGetBoxGeometry(boxes, k, &x, &y, &w, &h) != 0) continue;
    ++(isSpeck(w, h) ? specks : others);
  }
  boxaDestroy(&boxes);
  return specks > kSpeckledPage * others;
}

PixPtr smoothedGrain(Pix* pix) {
  PixPtr grey(pixConvertTo8(pix, 0));
  return grey ? PixPtr(pixBlockconv(grey.get(), 1, 1)) : nullptr;
}

double medianTextHeight(Pix* binary) { return medianLetterSize(binary, false); }

double medianTextWidth(Pix* binary) { return medianLetterSize(binary, true); }

bool unevenLight(Pix* pix) {
  if (pixGetDepth(pix) < 8) return false;
  PixPtr grey(pixConvertTo8(pix, 0));
  if (!grey) return false;
  const int w = pixGetWidth(grey.get()), h = pixGetHeight(grey.get());
  constexpr int kTiles = 8;
  if (w < kTiles * 8 || h < kTiles * 8) return false;
  std::vector<int> levels;
  for (int ty = 0; ty < kTiles; ++ty) {
    for (int tx = 0; tx < kTiles; ++tx) {
      int histogram[256] = {};
      int n = 0;
      // Every other pixel of every other row is plenty to find the paper level.
      for (int y = ty * h / kTiles; y < (ty + 1) * h / kTiles; y += 2) {
        const l_uint32* line =
            pixGetData(grey.get()) + static_cast<size_t>(y) * pixGetWpl(grey.get());
        for (int x = tx * w / kTiles; x < (tx + 1) * w / kTiles; x += 2) {
          ++histogram[GET_DATA_BYTE(line, x)];
          ++n;
        }
      }
      int below = 0, level = 0;
      while (level < 255 && (below += histogram[level]) < n * 9 / 10) ++level;
      levels.push_back(level);
    }
  }
  std::sort(levels.begin(), levels.end());
  const int tenth = static_cast<int>(levels.size()) / 10;
  return levels[levels.size() - 1 - tenth] - levels[tenth] >= kUnevenLight;
}

PixPtr levelledLight(Pix* pix) {
  PixPtr grey(pixConvertTo8(pix, 0));
  if (!grey) return nullptr;
  PixPtr levelled(pixBackgroundNormSimple(grey.get(), nullptr, nullptr));
  if (!levelled) return nullptr;
  // The paper now lies at kLevelledPaper, grey. Whatever is whiter (glare, the margin around a
  // photographed sheet, the white corners brought in when the page is set level) makes a second
  // bright mode, and the engine's global threshold then splits white from grey paper and reads
  // the paper as ink: the page comes back empty. The paper level is made white, the ink spread
  // over the range below it.
  if (pixGammaTRC(levelled.get(), levelled.get(), 1.0f, 0, kLevelledPaper) == nullptr) {
    return nullptr;
  }
  return levelled;
}

namespace {

struct Rgb {
  int r, g, b;
  int brightness() const { return (77 * r + 150 * g + 29 * b) >> 8; }
  int spread() const { return std::max({r, g, b}) - std::min({r, g, b}); }
};

Rgb rgbOf(l_uint32 v) {
  return {int((v >> L_RED_SHIFT) & 0xff), int((v >> L_GREEN_SHIFT) & 0xff),
          int((v >> L_BLUE_SHIFT) & 0xff)};
}

// Whether the coloured share of a colour page's ink lies between kMinColouredInk and
// kMaxColouredInk, on a sparse grid of samples (every fourth pixel of every fourth row): one pass
// finds the paper's brightness (the 90th percentile), a second counts the ink.
bool hasColouredMarks(Pix* pix) {
  const int w = pixGetWidth(pix), h = pixGetHeight(pix), wpl = pixGetWpl(pix);
  const l_uint32* data = pixGetData(pix);
  auto forSamples = [&](const auto& use) {
    for (int y = 0; y < h; y += 4) {
      const l_uint32* line = data + static_cast<size_t>(y) * wpl;
      for (int x = 0; x < w; x += 4) use(rgbOf(line[x]));
    }
  };
  std::array<size_t, 256> histogram{};
  size_t samples = 0;
  forSamples([&](const Rgb& c) { ++histogram[c.brightness()], ++samples; });
  if (samples < 1000) return false;
  int paper = 0;
  for (size_t below = 0; paper < 255 && (below += histogram[paper]) < samples * 9 / 10;) ++paper;
  size_t ink = 0, coloured = 0;
  forSamples([&](const Rgb& c) {
    if (c.brightness() >= kInkShare * paper) return;
    ++ink;
    coloured += c.spread() > kColoured;
  });
  return ink >= 100 && coloured >= kMinColouredInk * ink && coloured <= kMaxColouredInk * ink;
}

}  // namespace

PixPtr withoutColouredMarks(Pix* pix) {
  const int w = pixGetWidth(pix), h = pixGetHeight(pix);
  if (pixGetDepth(pix) != 32 || double(w) * h > kMaxSharpenedColourPixels ||
      !hasColouredMarks(pix)) {
    return nullptr;
  }
  return PixPtr(pixConvertRGBToGrayMinMax(pix, L_CHOOSE_MAX));
}

namespace {

// The share of ink of `binary` in the bands `band` pixels wide along either side of the run at
// (x, y, w, h): above and below it when it runs along rows (`horizontal`), left and right of it
// otherwise, each cut at the page's edge.
std::pair<double, double> inkBeside(Pix* binary, bool horizontal, l_int32 x, l_int32 y, l_int32 w,
                                    l_int32 h, int band) {
  if (horizontal) {
    const int top = std::max(0, y - band);
    return {inkShare(binary, x, top, w, y - top),
            inkShare(binary, x, y + h, w, std::min(band, pixGetHeight(binary) - (y + h)))};
  }
  const int left = std::max(0, x - band);
  return {inkShare(binary, left, y, x - left, h),
          inkShare(binary, x + w, y, std::min(band, pixGetWidth(binary) - (x + w)), h)};
}

// Ink is measured beside a run over half a letter.
int sideBand(double textHeight) { return std::max(2, static_cast<int>(textHeight / 2)); }

// Takes out of `runs`, strokes of `binary` along rows (`horizontal`) or columns whose letters are
// `textHeight` high, the runs that are parts of a line of bold letters bridged together, not
// rules: a run inked as letters are over half a letter on one side (at least kLetterSideInk) and
// at least kOtherSideInk on the other (their middle bars), and a top edge (paper above, letters
// below) over a bottom edge (letters above, paper below) of the same stretch, at most kBoldLine
// letters apart; on a page turned a quarter, its lines run along columns and so do these edges.
// A rule has paper on both sides, or the letters typed on it on one side and paper on the other.
void clearEdgesOfLetters(Pix* runs, Pix* binary, double textHeight, bool horizontal) {
  Boxa* boxes = pixConnCompBB(runs, 8);
  if (!boxes) return;
  const int band = sideBand(textHeight);
  struct Run {
    l_int32 x = 0, y = 0, w = 0, h = 0;
    int from = 0, length = 0;  // along the run
    int start = 0, end = 0;    // across it
    double before = 0, after = 0;
    bool letters = false;
  };
  std::vector<Run> found;
  for (int i = 0; i < boxaGetCount(boxes); ++i) {
    Run r;
    if (boxaGetBoxGeometry(boxes, i, &r.x, &r.y, &r.w, &r.h) != 0) continue;
    r.from = horizontal ? r.x : r.y;
    r.length = horizontal ? r.w : r.h;
    r.start = horizontal ? r.y : r.x;
    r.end = r.start + (horizontal ? r.h : r.w);
    std::tie(r.before, r.after) = inkBeside(binary, horizontal, r.x, r.y, r.w, r.h, band);
    r.letters = std::max(r.before, r.after) >= kLetterSideInk &&
                std::min(r.before, r.after) >= kOtherSideInk;
    found.push_back(r);
  }
  boxaDestroy(&boxes);
  for (Run& top : found) {
    if (top.after < kLetterSideInk || top.before >= kOtherSideInk) continue;
    for (Run& bottom : found) {
      if (bottom.before < kLetterSideInk || bottom.after >= kOtherSideInk) continue;
      const int apart = bottom.start - top.end;
      const int overlap = std::min(top.from + top.length, bottom.from + bottom.length) -
                          std::max(top.from, bottom.from);
      if (apart <= 0 || apart > kBoldLine * textHeight ||
          2 * overlap < std::min(top.length, bottom.length))
        continue;
      top.letters = bottom.letters = true;
    }
  }
  for (const Run& r : found) {
    if (!r.letters) continue;
    Box* box = boxCreate(r.x, r.y, r.w, r.h);
    pixClearInRect(runs, box);
    boxDestroy(&box);
  }
}

// Whether `piece`, a run along rows (`horizontal`) or columns, is one line at most `limit` pixels
// thick wherever it lies: across nearly every column (or row) its ink spans at most `limit`. The
// top and middle bars of bold letters bridged into one piece span the letters' height where both
// lie.
bool singleLine(Pix* piece, bool horizontal, int limit) {
  const int w = pixGetWidth(piece);
  const int h = pixGetHeight(piece);
  const int along = horizontal ? w : h;
  std::vector<int> first(along, -1), last(along, -1);
  const l_int32 wpl = pixGetWpl(piece);
  const l_uint32* data = pixGetData(piece);
  for (int y = 0; y < h; ++y) {
    const l_uint32* line = data + static_cast<ptrdiff_t>(y) * wpl;
    for (int x = 0; x < w; ++x) {
      if (!GET_DATA_BIT(line, x)) continue;
      const int at = horizontal ? x : y;
      const int across = horizontal ? y : x;
      if (first[at] < 0) first[at] = across;
      last[at] = across;
    }
  }
  int wide = 0;
  for (int i = 0; i < along; ++i) {
    if (first[i] >= 0 && last[i] - first[i] + 1 > limit) ++wide;
  }
  return wide <= along * kWideRuleShare;
}

// Whether the run at (x, y, w, h) is the edge of a mass of ink (a dark banner with light letters,
// a line of bold letters): inked as letters are on one side, where a rule has paper or the
// letters typed on it.
bool edgeOfInk(Pix* binary, bool horizontal, l_int32 x, l_int32 y, l_int32 w, l_int32 h, int band) {
  const auto [before, after] = inkBeside(binary, horizontal, x, y, w, h, band);
  return std::max(before, after) >= kLetterSideInk;
}

// Whether the run at (x, y, w, h) is the aligned bottoms (or tops) of a line of letters, bridged
// across the gaps between them, not a rule: most of its length lies on ink shaped like letters
// (components at least kEdgeLetterHeight letters high across the run and far shorter than it
// along), where a rule's ink is its own long stroke, or a row of dots and dashes too flat to be
// letters. Text printed large and close (a receipt's bold lines) lines its letters up so.
bool edgeOfLetters(Pix* binary, bool horizontal, l_int32 x, l_int32 y, l_int32 w, l_int32 h,
                   double textHeight) {
  // Below kSmallText, a letter stands a pixel or two above a dot: the shapes tell nothing.
  if (textHeight < kSmallText) return false;
  const int reach = static_cast<int>(1.5 * textHeight) + 1;
  const int pageAcross = horizontal ? pixGetHeight(binary) : pixGetWidth(binary);
  const int start = std::max(0, (horizontal ? y : x) - reach);
  const int end = std::min(pageAcross, (horizontal ? y + h : x + w) + reach);
  Box* region =
      horizontal ? boxCreate(x, start, w, end - start) : boxCreate(start, y, end - start, h);
  PixPtr near(pixClipRectangle(binary, region, nullptr));
  boxDestroy(&region);
  Boxa* boxes = near ? pixConnCompBB(near.get(), 8) : nullptr;
  if (!boxes) return false;
  const int length = horizontal ? w : h;
  const int runFrom = (horizontal ? y : x) - start, runTo = runFrom + (horizontal ? h : w);
  std::vector<char> onLetters(length, 0);
  for (int i = 0; i < boxaGetCount(boxes); ++i) {
    l_int32 bx = 0, by = 0, bw = 0, bh = 0;
    if (boxaGetBoxGeometry(boxes, i, &bx, &by, &bw, &bh) != 0) continue;
    const int from = horizontal ? bx : by, along = horizontal ? bw : bh;
    const int across0 = horizontal ? by : bx, across = horizontal ? bh : bw;
    if (across0 >= runTo || across0 + across <= runFrom) continue;  // off the run
    // Letters stand far above the run; dots bridged into a run are about as high as it is.
    if (across < kEdgeLetterHeight * textHeight || across < 2 * (runTo - runFrom) ||
        along > kEdgeLetterWidth * textHeight) {
      continue;
    }
    std::fill(onLetters.begin() + from, onLetters.begin() + std::min(length, from + along), 1);
  }
  boxaDestroy(&boxes);
  return std::count(onLetters.begin(), onLetters.end(), 1) >= kEdgeLetterShare * length;
}

// What makes a long run of a page a rule, in pixels.
struct RuleShape {
  int thickness = 0;      // any run at most this thick across
  int lineThickness = 0;  // or a single line at most this thick,
  int span = 0;           // spanning at most this much across,
  int longRun = 0;        // at least this long,
  int band = 0;           // with no mass of ink in this band along either side
  double textHeight = 0;  // and not the edge of a line of letters this high
};

RuleShape ruleShape(double textHeight, int length) {
  const int thickness = std::max(3, static_cast<int>(textHeight / 3));
  return {.thickness = thickness,
          .lineThickness = std::max(thickness, static_cast<int>(kRuleThickness * textHeight)),
          .span = static_cast<int>(kRuleSpan * textHeight),
          .longRun = kLongRule * length,
          .band = sideBand(textHeight),
          .textHeight = textHeight};
}

// The rules among `runs`, the long runs of `binary` along one direction, of `shape`. A rule may
// be thicker than a letter's stroke (a form's heavy frame) and, left slightly slanted (a photo's
// remaining perspective, a skew too small to straighten), climb over several rows as it runs; a
// line of letters bridged into one blob is as thick as its letters are high.
PixPtr thinRuns(Pix* runs, Pix* binary, bool horizontal, const RuleShape& shape) {
  Pixa* pieces = nullptr;
  Boxa* boxes = pixConnComp(runs, &pieces, 8);
  PixPtr thin(boxes ? pixCreateTemplate(runs) : nullptr);
  for (int i = 0; thin && i < boxaGetCount(boxes); ++i) {
    l_int32 x = 0, y = 0, w = 0, h = 0;
    if (boxaGetBoxGeometry(boxes, i, &x, &y, &w, &h) != 0) continue;
    Pix* piece = pixaGetPix(pieces, i, L_CLONE);
    const int along = horizontal ? w : h;
    const int across = horizontal ? h : w;
    if ((across <= shape.thickness || (along >= shape.longRun && across <= shape.span &&
                                       singleLine(piece, horizontal, shape.lineThickness) &&
                                       !edgeOfInk(binary, horizontal, x, y, w, h, shape.band))) &&
        !edgeOfLetters(binary, horizontal, x, y, w, h, shape.textHeight)) {
      pixRasterop(thin.get(), x, y, w, h, PIX_PAINT, piece, 0, 0);
    }
    pixDestroy(&piece);
  }
  boxaDestroy(&boxes);
  pixaDestroy(&pieces);
  return thin;
}

// The strokes of `binary` along one direction, for letters `textHeight` high: runs at least
// `length` long (after bridging gaps of up to `gap` pixels, which joins dotted and dashed lines)
// that are thin as rules are.
PixPtr strokes(Pix* binary, bool horizontal, int length, int gap, double textHeight) {
  PixPtr bridged(horizontal ? pixCloseBrick(nullptr, binary, gap, 1)
                            : pixCloseBrick(nullptr, binary, 1, gap));
  if (!bridged) return nullptr;
  // The composite brick costs about the same for any length.
  PixPtr runs(horizontal ? pixOpenCompBrick(nullptr, bridged.get(), length, 1)
                         : pixOpenCompBrick(nullptr, bridged.get(), 1, length));
  if (!runs) return nullptr;
  return thinRuns(runs.get(), binary, horizontal, ruleShape(textHeight, length));
}

// Rows of dashes whose gaps are too wide to bridge (a receipt's separators, photographed): at
// least kMinDashes short pieces (at most a third of a letter high, kDashWidth letters wide and at
// least as wide as high), each at most kDashGap letters from the next along one line. Letters
// stand taller; the periods, commas and hyphens of text do not run eight in a row.
PixPtr dashRows(Pix* binary, double textHeight) {
  Boxa* boxes = pixConnCompBB(binary, 8);
  if (!boxes) return nullptr;
  const int thickness = std::max(3, static_cast<int>(textHeight / 3));
  struct Piece {
    l_int32 x = 0, y = 0, w = 0, h = 0;
  };
  std::vector<Piece> dashes;  // by their left edges
  for (int i = 0; i < boxaGetCount(boxes); ++i) {
    Piece b;
    if (boxaGetBoxGeometry(boxes, i, &b.x, &b.y, &b.w, &b.h) != 0) continue;
    if (b.h <= thickness && b.w >= b.h && b.w >= kDashWidth[0] * textHeight &&
        b.w <= kDashWidth[1] * textHeight) {
      dashes.push_back(b);
    }
  }
  boxaDestroy(&boxes);
  std::sort(dashes.begin(), dashes.end(), [](const Piece& a, const Piece& b) { return a.x < b.x; });
  // Each row: its dashes' indices. A dash joins the row whose last dash ends just before it on
  // the same line; rows are filed by the line of their last dash, so that a page of specks costs
  // what its neighbourhoods hold.
  std::vector<std::vector<size_t>> rows;
  std::vector<std::vector<size_t>> filed(pixGetHeight(binary) / thickness + 2);
  const auto middle = [](const Piece& d) { return d.y + d.h / 2; };
  const int maxGap = static_cast<int>(kDashGap * textHeight);
  for (size_t i = 0; i < dashes.size(); ++i) {
    const Piece& d = dashes[i];
    const int line = middle(d) / thickness;
    size_t joined = rows.size();
    for (int l = std::max(0, line - 1); l <= line + 1 && joined == rows.size(); ++l) {
      std::vector<size_t>& near = filed[l];
      for (size_t k = 0; k < near.size();) {
        const Piece& last = dashes[rows[near[k]].back()];
        const int gap = d.x - (last.x + last.w);
        if (gap > maxGap) {  // left behind for good
          near[k] = near.back();
          near.pop_back();
          continue;
        }
        if (gap >= 0 && std::abs(middle(d) - middle(last)) <= thickness / 2) {
          joined = near[k];
          near[k] = near.back();
          near.pop_back();
          break;
        }
        ++k;
      }
    }
    if (joined == rows.size()) rows.emplace_back();
    rows[joined].push_back(i);
    filed[line].push_back(joined);
  }
  PixPtr mask(pixCreateTemplate(binary));
  bool any = false;
  for (const std::vector<size_t>& row : rows) {
    if (row.size() < kMinDashes) continue;
    for (const size_t i : row) {
      const Piece& d = dashes[i];
      pixRasterop(mask.get(), d.x, d.y, d.w, d.h, PIX_SET, nullptr, 0, 0);
    }
    any = true;
  }
  return any ? std::move(mask) : nullptr;
}

}  // namespace

PixPtr ruleMask(Pix* binary, double textHeight, int fringe) {
  if (textHeight <= 0) return nullptr;
  const int length = std::max(40, static_cast<int>(8 * textHeight));
  const int gap = std::max(2, static_cast<int>(textHeight / 3));
  PixPtr mask = strokes(binary, true, length, gap, textHeight);
  if (!mask) return nullptr;
  clearEdgesOfLetters(mask.get(), binary, textHeight, true);
  if (PixPtr vertical = strokes(binary, false, length, gap, textHeight)) {
    clearEdgesOfLetters(vertical.get(), binary, textHeight, false);
    pixOr(mask.get(), mask.get(), vertical.get());
  }
  if (PixPtr dashes = dashRows(binary, textHeight)) pixOr(mask.get(), mask.get(), dashes.get());
  l_int32 empty = 1;
  pixZero(mask.get(), &empty);
  if (empty) return nullptr;
  // Only ink is painted over: the bridged gaps of dotted lines stay paper anyway, and the mask
  // grows by `fringe` pixels to take the grey fringe of each stroke with it.
  const int side = 2 * fringe + 1;
  return PixPtr(pixDilateBrick(nullptr, mask.get(), side, side));
}

namespace {

// Paints the pixels of `pix` under `mask` white, in place (rules, the surface around a paper).
bool paintedWhite(Pix* pix, Pix* mask) {
  const int depth = pixGetDepth(pix);
  const l_uint32 white = depth == 1 ? 0 : depth == 8 ? 255 : 0xffffff00;
  return pixPaintThroughMask(pix, mask, 0, 0, white) == 0;
}

}  // namespace

namespace {

// The height of letters printed as dots (a dot-matrix receipt photographed sharp enough that its
// dots stand apart), whose dots pass for small print of `dotHeight`; 0 when the page's letters
// are no dots. Closed over gaps up to twice a dot's size, the dots of each letter join into it:
// many letter-like shapes at least three dots high. Small print closed so joins its lines and
// words into shapes too wide or too few to count.
double dottedLetterHeight(Pix* binary, double dotHeight) {
  const int gap = 2 * static_cast<int>(dotHeight) + 1;
  PixPtr closed(pixCloseBrick(nullptr, binary, gap, gap));
  if (!closed) return 0;
  size_t letters = 0;
  const double height = medianLetterSize(closed.get(), false, &letters);
  return letters >= kMinDottedLetters && height >= 3 * dotHeight ? height : 0;
}

}  // namespace

double letterHeight(Pix* binary) {
  const double height = medianTextHeight(binary);
  if (height <= 0 || height >= kSmallText) return height;
  // Rows of dots (a fax header of asterisks or periods, dotted leaders) can outnumber the letters
  // and pass for small print: measured again without the strokes found at that height (rows of
  // dots bridged into lines), the letters speak.
  PixPtr rows = ruleMask(binary, height);
  PixPtr rest = rows ? withoutRules(binary, rows.get()) : nullptr;
  const double measured = rest ? medianTextHeight(rest.get()) : height;
  if (measured <= 0 || measured >= kSmallText) return measured;
  const double dotted = dottedLetterHeight(binary, measured);
  return dotted > 0 ? dotted : measured;
}

PixPtr withoutRules(Pix* pix, Pix* mask) {
  PixPtr copy(pixCopy(nullptr, pix));
  if (!copy || !paintedWhite(copy.get(), mask)) return nullptr;
  return copy;
}

double scaleForTextHeight(double textHeight, int width, int height) {
  if (textHeight <= 0) return 1;
  double scale = 1;
  if (textHeight < kSmallText) {
    scale = std::min(kMaxEnlargement, kTargetText / textHeight);
  } else if (textHeight > kLargeText) {
    scale = kReducedText / textHeight;
  }
  if (std::abs(scale - 1) < 0.05) scale = 1;
  const double pixels = double(width) * height * scale * scale;
  if (pixels > kMaxPreparedPixels) scale *= std::sqrt(kMaxPreparedPixels / pixels);
  return scale;
}

std::optional<PreparedPage> scaledPage(Pix* pix, double scale) {
  if (scale == 1) return std::nullopt;
  PixPtr source(pixClone(pix));
  if (pixGetDepth(pix) == 1 && scale > 1) source.reset(pixConvertTo8(pix, 0));
  if (!source) return std::nullopt;
  const float factor = static_cast<float>(scale);
  const double pixels = double(pixGetWidth(pix)) * pixGetHeight(pix) * scale * scale;
  const bool sharpen = pixGetDepth(source.get()) < 32 || pixels <= kMaxSharpenedColourPixels;
  PixPtr scaled(sharpen ? pixScale(source.get(), factor, factor)
                        : pixScaleGeneral(source.get(), factor, factor, 0.0f, 0));
  if (!scaled) return std::nullopt;
  const PageTransform back = scaleTransform(pixGetWidth(pix), pixGetHeight(pix),
                                            pixGetWidth(scaled.get()), pixGetHeight(scaled.get()));
  return PreparedPage{std::move(scaled), back};
}

namespace {

// Leptonica's sweep over `range` degrees either way and its search for the best angle; a
// confidence of 0 when it gave none (the search failed, the best angle lies within a step of the
// sweep's end, or the weakest score is small for the picture's size).
struct SweptSkew {
  double degrees = 0;
  double confidence = 0;
};

SweptSkew sweptSkew(Pix* binary, float range) {
  const int width = pixGetWidth(binary);
  // Lines must stay lines in the reduced copy the sweep works on.
  const int reduction = width >= 2400 ? 4 : width >= 1200 ? 2 : 1;
  l_float32 angle = 0, confidence = 0;
  if (pixFindSkewSweepAndSearch(binary, &angle, &confidence, reduction, 1, range, 1.0f, 0.01f) !=
      0) {
    return {};
  }
  return {angle, confidence};
}

}  // namespace

std::optional<double> textSkewDegrees(Pix* page) {
  const SweptSkew narrow = sweptSkew(page, kNarrowSkewSweep);
  if (narrow.confidence >= kMinSkewConfidence) return narrow.degrees;
  // Nothing stood out within the narrow sweep. Leptonica gives no confidence at all when the
  // weakest score is small for the picture's size, and a page whose white margins or corners are
  // large (a receipt on a scanner's bed, a scan turned onto a larger canvas) scores little at
  // every angle however plain its lines: the part that holds ink is searched again then. A page
  // held at 14 to 45 degrees (a photo taken askew) has its best angle at or beyond the sweep's
  // end, or only the paper's edges stand out a little within it, and is searched over the wide
  // sweep. A level page pays for the first sweep alone.
  Pix* clipped = nullptr;
  if (pixClipToForeground(page, &clipped, nullptr) != 0 || !clipped) return std::nullopt;
  PixPtr ink(clipped);
  const bool smaller =
      pixGetWidth(clipped) < pixGetWidth(page) || pixGetHeight(clipped) < pixGetHeight(page);
  if (narrow.confidence == 0 && smaller) {
    const SweptSkew inked = sweptSkew(clipped, kNarrowSkewSweep);
    if (inked.confidence >= kMinSkewConfidence) return inked.degrees;
  }
  // The wide sweep's weakest score, far from the lines, is weaker than the narrow one's, so its
  // confidence runs higher for the same page: only what the narrow sweep could not see is taken
  // from it. Past 14 degrees the lines of a photographed paper stand out less (the paper's edges
  // and the surface's grain score at every angle), so less confidence is asked there.
  const SweptSkew wide = sweptSkew(clipped, kWideSkewSweep);
  if (wide.confidence >= kMinFarSkewConfidence && std::abs(wide.degrees) >= kNarrowSkewSweep - 1) {
    return wide.degrees;
  }
  // Lines that stand out a little within the narrow sweep, far from level: the engine reads
  // nothing of such a page as it lies (a small scan's lines, a few pixels high, stand out less at
  // any angle). Only now, because a page held further askew shows such a peak too.
  if (narrow.confidence >= kMinFarSkewConfidence && std::abs(narrow.degrees) >= kFarSkewDegrees) {
    return narrow.degrees;
  }
  return std::nullopt;
}

PreparedPage rotatedPage(Pix* pix, double degrees) {
  const float radians = static_cast<float>(degrees * M_PI / 180);
  const int width = pixGetWidth(pix), height = pixGetHeight(pix);
  PixPtr grey;
  if (pixGetDepth(pix) == 32 && double(width) * height > kMaxSharpenedColourPixels) {
    grey.reset(pixConvertRGBToLuminance(pix));
  }
  PixPtr embedded(
      pixEmbedForRotation(grey ? grey.get() : pix, radians, L_BRING_IN_WHITE, width, height));
  grey.reset();
  if (!embedded) return {PixPtr(pixClone(pix)), {}};
  const int outWidth = pixGetWidth(embedded.get()), outHeight = pixGetHeight(embedded.get());
  // The source sits in the middle of the larger canvas, rounded down (as Leptonica places it).
  const PageTransform unembed = {.xx = 1,
                                 .xy = 0,
                                 .x0 = -double((outWidth - width) / 2),
                                 .yx = 0,
                                 .yy = 1,
                                 .y0 = -double((outHeight - height) / 2)};
  PixPtr rotated(pixRotate(embedded.get(), radians, L_ROTATE_AREA_MAP, L_BRING_IN_WHITE, 0, 0));
  if (!rotated) return {PixPtr(pixClone(pix)), {}};
  const PageTransform back =
      composed(unembed, rotationTransform(radians, outWidth, outHeight, pixGetWidth(rotated.get()),
                                          pixGetHeight(rotated.get())));
  return {std::move(rotated), back};
}

PreparedPage turnedPage(Pix* pix, int quarterTurns) {
  const int turns = ((quarterTurns % 4) + 4) % 4;
  PixPtr turned(turns == 0 ? pixClone(pix) : pixRotateOrth(pix, turns));
  if (!turned) return {PixPtr(pixClone(pix)), {}};
  return {std::move(turned), quarterTurnTransform(turns, pixGetWidth(pix), pixGetHeight(pix))};
}

namespace {

// An edge pixel darker than this share of the paper's level is surface, not paper; a page is taken
// as lying on a surface when at least kMinDarkEdge of its edge samples are surface. The paper must
// then cover at least kMinPaperShare of the picture, and the surface around it kMinSurfaceShare.
constexpr double kSurfaceDarkness = 0.6;
constexpr double kMinDarkEdge = 0.4;
constexpr double kMinPaperShare = 0.1;
constexpr double kMinSurfaceShare = 0.03;
// A paper lies on a grey surface (a desk, a table: lighter than the dark surface above) when at
// least kMinGreyEdge of the page's edge samples are darker than kGreySurface of its paper. Scans
// whose margins are only shaded reach a third at most.
constexpr double kGreySurface = 0.85;
constexpr double kMinGreyEdge = 0.5;
// The paper's outline is traced on a copy this many pixels along its longer side.
constexpr int kOutlineSize = 600;

// The brightness of pixel x of a row of an 8-bit grey or 32-bit colour image.
int brightnessAt(const l_uint32* line, int depth, int x) {
  return depth == 8 ? static_cast<int>(GET_DATA_BYTE(line, x)) : rgbOf(line[x]).brightness();
}

// The paper's level (the 90th percentile of a sparse grid of samples) when at least `share` of
// the samples along the page's four edges are darker than `darkness` times it; 0 otherwise. Reads
// about 5,000 pixels.
int paperLevelOnDarkEdges(Pix* pix, double darkness, double share = kMinDarkEdge) {
  const int depth = pixGetDepth(pix);
  const int w = pixGetWidth(pix), h = pixGetHeight(pix);
  if ((depth != 8 && depth != 32) || pixGetColormap(pix) || w < 64 || h < 64) return 0;
  const l_uint32* data = pixGetData(pix);
  const int wpl = pixGetWpl(pix);
  auto at = [&](int x, int y) {
    return brightnessAt(data + static_cast<size_t>(y) * wpl, depth, x);
  };
  constexpr int kGrid = 64;
  std::vector<int> grid;
  for (int j = 0; j < kGrid; ++j) {
    for (int i = 0; i < kGrid; ++i)
      grid.push_back(at((2 * i + 1) * w / (2 * kGrid), (2 * j + 1) * h / (2 * kGrid)));
  }
  std::nth_element(grid.begin(), grid.begin() + grid.size() * 9 / 10, grid.end());
  const int paper = grid[grid.size() * 9 / 10];
  // Samples a little inside the edges: the outermost rows of a photo are often damaged.
  const int inX = std::max(1, w / 200), inY = std::max(1, h / 200);
  constexpr int kAlong = 256;
  int dark = 0;
  for (int k = 0; k < kAlong; ++k) {
    const int x = inX + k * (w - 2 * inX) / kAlong, y = inY + k * (h - 2 * inY) / kAlong;
    for (int v : {at(x, inY), at(x, h - 1 - inY), at(inX, y), at(w - 1 - inX, y)}) {
      dark += v < darkness * paper;
    }
  }
  return dark >= share * 4 * kAlong ? paper : 0;
}

// The surface around the paper on a small grey copy of the page: the dark region connected to
// the copy's edges, without the thin dark strokes (rules, letters) by which it may touch the
// paper's own ink. 1 = surface.
PixPtr surfaceMask(Pix* small, int paperLevel) {
  PixPtr dark(pixThresholdToBinary(small, static_cast<int>(kSurfaceDarkness * paperLevel)));
  if (!dark) return nullptr;
  PixPtr solid(pixOpenBrick(nullptr, dark.get(), 5, 5));
  return solid ? PixPtr(pixExtractBorderConnComps(solid.get(), 8)) : nullptr;
}

// The largest 4-connected region of `mask` (by the area of its box), as a mask of the
// same size, with that box; nothing when the mask is empty.
PixPtr largestRegion(Pix* mask, l_int32* x, l_int32* y, l_int32* w, l_int32* h) {
  Pixa* parts = nullptr;
  Boxa* boxes = pixConnComp(mask, &parts, 4);
  int best = -1, bestArea = 0;
  for (int k = 0; boxes && k < boxaGetCount(boxes); ++k) {
    l_int32 bx, by, bw, bh;
    boxaGetBoxGeometry(boxes, k, &bx, &by, &bw, &bh);
    if (bw * bh > bestArea) best = k, bestArea = bw * bh, *x = bx, *y = by, *w = bw, *h = bh;
  }
  PixPtr region;
  if (best >= 0) {
    PixPtr part(pixaGetPix(parts, best, L_CLONE));
    region.reset(pixCreate(pixGetWidth(mask), pixGetHeight(mask), 1));
    if (part && region) pixRasterop(region.get(), *x, *y, *w, *h, PIX_SRC, part.get(), 0, 0);
  }
  boxaDestroy(&boxes);
  pixaDestroy(&parts);
  return region;
}

}  // namespace

namespace {

// A grey copy of the page at most kOutlineSize pixels along its longer side, reduced by `factor`.
PixPtr smallGreyCopy(Pix* pix, float factor) {
  PixPtr grey(pixConvertTo8(pix, 0));
  // Leptonica's area map is for reductions below 0.7; nearer 1 it interpolates.
  return PixPtr(!grey          ? nullptr
                : factor < 0.7 ? pixScaleAreaMap(grey.get(), factor, factor)
                : factor < 1   ? pixScale(grey.get(), factor, factor)
                               : pixClone(grey.get()));
}

float outlineFactor(Pix* pix) {
  return std::min(1.0f, float(kOutlineSize) / std::max(pixGetWidth(pix), pixGetHeight(pix)));
}

}  // namespace

std::optional<PreparedPage> paperOnDarkSurface(Pix* pix) {
  const int paperLevel = paperLevelOnDarkEdges(pix, kSurfaceDarkness);
  if (paperLevel == 0) return std::nullopt;
  const int width = pixGetWidth(pix), height = pixGetHeight(pix);
  const float factor = outlineFactor(pix);
  PixPtr small = smallGreyCopy(pix, factor);
  PixPtr surface = small ? surfaceMask(small.get(), paperLevel) : nullptr;
  if (!surface) return std::nullopt;
  pixInvert(surface.get(), surface.get());
  l_int32 x = 0, y = 0, w = 0, h = 0;
  PixPtr paper = largestRegion(surface.get(), &x, &y, &w, &h);
  l_int32 paperPixels = 0;
  if (!paper || pixCountPixels(paper.get(), &paperPixels, nullptr) != 0) return std::nullopt;
  const double area = double(pixGetWidth(paper.get())) * pixGetHeight(paper.get());
  if (paperPixels < kMinPaperShare * area || paperPixels > (1 - kMinSurfaceShare) * area) {
    return std::nullopt;
  }
  // Everything but the paper is painted white, a pixel of the small copy into the paper too: the
  // paper's edge is a soft shadow that would read as a rule or a letter.
  pixInvert(paper.get(), paper.get());
  PixPtr around(pixDilateBrick(nullptr, paper.get(), 3, 3));
  // The paper's box on the page, each edge rounded outwards.
  const int left = std::max(0, int(std::floor(x / factor)));
  const int top = std::max(0, int(std::floor(y / factor)));
  const int right = std::min(width, int(std::ceil((x + w) / factor)));
  const int bottom = std::min(height, int(std::ceil((y + h) / factor)));
  Box* box = boxCreate(left, top, right - left, bottom - top);
  Box* smallBox = boxCreate(x, y, w, h);
  PixPtr cropped(pixClipRectangle(pix, box, nullptr));
  PixPtr smallMask(around ? pixClipRectangle(around.get(), smallBox, nullptr) : nullptr);
  boxDestroy(&box);
  boxDestroy(&smallBox);
  if (!cropped || !smallMask) return std::nullopt;
  PixPtr mask(pixScaleBySamplingToSize(smallMask.get(), right - left, bottom - top));
  if (!mask || !paintedWhite(cropped.get(), mask.get())) return std::nullopt;
  return PreparedPage{std::move(cropped), {.x0 = double(left), .y0 = double(top)}};
}

bool onGreySurface(Pix* pix) { return paperLevelOnDarkEdges(pix, kGreySurface, kMinGreyEdge) != 0; }

namespace {

// The outline search runs on photos whose edges are mostly darker than this share of the paper
// (a paper on a dark table or desk); at least this many of the paper's edges must be found. On a
// surface only a little darker than the paper (a grey surround) the warp won about as many
// pages as it lost, and lost on the real-pages benchmark's photo-like pages, so those are left
// as they were.
constexpr double kDarkerSurface = 0.6;
constexpr int kMinPaperEdges = 2;

double distance(const SourcePoint& a, const SourcePoint& b) {
  return std::hypot(a.x - b.x, a.y - b.y);
}

// The map of a shift by `d` pixels along both axes.
PageTransform shifted(double d) { return {.x0 = d, .y0 = d}; }

// Whether each edge of the quadrilateral runs within kMinSkewDegrees of the picture's sides: a
// paper lying square in the photo, which resampling would only blur.
bool squareInPicture(const std::array<SourcePoint, 4>& c) {
  const double limit = std::tan(kMinSkewDegrees * M_PI / 180);
  auto steep = [&](const SourcePoint& a, const SourcePoint& b, bool horizontal) {
    const double along = horizontal ? b.x - a.x : b.y - a.y;
    const double across = horizontal ? b.y - a.y : b.x - a.x;
    return std::abs(across) > limit * std::abs(along);
  };
  return !steep(c[0], c[1], true) && !steep(c[3], c[2], true) && !steep(c[0], c[3], false) &&
         !steep(c[1], c[2], false);
}

// The scale at which the paper inside `corners` of a levelled page is read best, measured on the
// largest upright rectangle inside them (a photo's mild perspective changes letters little).
double paperScale(Pix* levelled, const std::array<SourcePoint, 4>& c) {
  const int left = int(std::ceil(std::max(c[0].x, c[3].x)));
  const int top = int(std::ceil(std::max(c[0].y, c[1].y)));
  const int right = int(std::floor(std::min(c[1].x, c[2].x)));
  const int bottom = int(std::floor(std::min(c[3].y, c[2].y)));
  Box* box = boxCreate(std::max(0, left), std::max(0, top), right - left, bottom - top);
  PixPtr inside(pixClipRectangle(levelled, box, nullptr));
  boxDestroy(&box);
  PixPtr binary = inside ? binaryForAnalysis(inside.get()) : nullptr;
  if (!binary) return 1;
  const double paperWidth = (distance(c[0], c[1]) + distance(c[3], c[2])) / 2;
  const double paperHeight = (distance(c[0], c[3]) + distance(c[1], c[2])) / 2;
  return scaleForTextHeight(letterHeight(binary.get()), int(paperWidth), int(paperHeight));
}

}  // namespace

std::optional<PreparedPage> straightenedPaper(Pix* pix) {
  if (paperLevelOnDarkEdges(pix, kDarkerSurface) == 0) return std::nullopt;
  PixPtr small = smallGreyCopy(pix, outlineFactor(pix));
  const std::optional<std::array<SourcePoint, 4>> found =
      small ? paperCorners(small.get(), kMinPaperEdges) : std::nullopt;
  if (!found) return std::nullopt;
  const int width = pixGetWidth(pix), height = pixGetHeight(pix);
  const double fx = double(width) / pixGetWidth(small.get());
  const double fy = double(height) / pixGetHeight(small.get());
  small.reset();
  std::array<SourcePoint, 4> c;
  for (int k = 0; k < 4; ++k) c[k] = {(*found)[k].x * fx, (*found)[k].y * fy};
  if (squareInPicture(c)) return std::nullopt;
  // The paper's light is levelled before it is stretched (a photo's light is uneven, and the
  // page is read in grey), and it is stretched straight to the size its letters read best at:
  // one resampling of the photo, not two.
  PixPtr levelled = levelledLight(pix);
  if (!levelled) return std::nullopt;
  const double scale = paperScale(levelled.get(), c);
  const int outWidth = int(std::lround(scale * (distance(c[0], c[1]) + distance(c[3], c[2])) / 2));
  const int outHeight = int(std::lround(scale * (distance(c[0], c[3]) + distance(c[1], c[2])) / 2));
  // Leptonica's warp keeps the page's size: a paper enlarged beyond it gets a larger canvas.
  PixPtr canvas(outWidth <= width && outHeight <= height
                    ? pixClone(levelled.get())
                    : pixAddBorderGeneral(levelled.get(), 0, std::max(0, outWidth - width), 0,
                                          std::max(0, outHeight - height), 255));
  levelled.reset();
  if (!canvas) return std::nullopt;
  const SourcePoint corners[4] = {c[0], c[1], c[2], c[3]};
  const PageTransform back = quadTransform(corners, outWidth, outHeight);
  // Leptonica reads the source at the map of each pixel's whole-numbered coordinates; the map
  // here takes pixel centres (x + 0.5) to pixel centres.
  const PageTransform onCentres = composed(composed(shifted(-0.5), back), shifted(0.5));
  l_float32 coefficients[8] = {l_float32(onCentres.xx), l_float32(onCentres.xy),
                               l_float32(onCentres.x0), l_float32(onCentres.yx),
                               l_float32(onCentres.yy), l_float32(onCentres.y0),
                               l_float32(onCentres.wx), l_float32(onCentres.wy)};
  PixPtr warped(pixProjective(canvas.get(), coefficients, L_BRING_IN_WHITE));
  canvas.reset();
  if (!warped) return std::nullopt;
  Box* box = boxCreate(0, 0, outWidth, outHeight);
  PixPtr paper(pixClipRectangle(warped.get(), box, nullptr));
  boxDestroy(&box);
  if (!paper) return std::nullopt;
  return PreparedPage{std::move(paper), back};
}

PixPtr sharpenedPhoto(Pix* pix) {
  if (double(pixGetWidth(pix)) * pixGetHeight(pix) > kMaxUnsharpPixels) return nullptr;
  return PixPtr(pixUnsharpMasking(pix, kUnsharpHalfWidth, kUnsharpAmount));
}

namespace {

// `photographed`: the page is a photo of a paper cut from its surface, whose light is levelled
// whether or not it looks uneven (the white around the paper would otherwise stand beside grey
// paper, and the engine's global threshold read the grey paper as ink). A paper on a grey surface
// is levelled too: left as it is, the surface falls below the global threshold with the ink, a
// black frame around the page whose measures (letter height, rules) are wrong.
std::optional<PreparedPage> preparedFlatPage(Pix* input, bool photographed) {
  PixPtr levelled;  // the page with its light levelled or its grain smoothed, same geometry
  if (photographed || unevenLight(input) || onGreySurface(input)) levelled = levelledLight(input);
  Pix* pix = levelled ? levelled.get() : input;
  PixPtr binary = binaryForAnalysis(pix);
  if (!binary) return std::nullopt;
  // A grainy page is measured and read smoothed: thresholded as it is, its grain is a snow of
  // specks that the letter height is taken from and that the engine cannot find lines through.
  const bool grainy = pixGetDepth(pix) >= 8 && speckled(binary.get());
  if (grainy) {
    PixPtr smooth = smoothedGrain(pix);
    PixPtr smoothBinary = smooth ? binaryForAnalysis(smooth.get()) : nullptr;
    if (smoothBinary) {
      levelled = std::move(smooth);
      pix = levelled.get();
      binary = std::move(smoothBinary);
    }
  }
  const double textHeight = letterHeight(binary.get());
  const double scale = scaleForTextHeight(textHeight, pixGetWidth(pix), pixGetHeight(pix));
  const std::optional<double> skew = textSkewDegrees(binary.get());
  std::optional<PreparedPage> page = scaledPage(pix, scale);
  if (skew && std::abs(*skew) >= kMinSkewDegrees) {
    PreparedPage rotated = rotatedPage(page ? page->pix.get() : pix, *skew);
    if (page) rotated.toInput = composed(page->toInput, rotated.toInput);
    page = std::move(rotated);
  }
  const bool wasLevelled = levelled != nullptr;
  if (!page && levelled) page = PreparedPage{std::move(levelled), {}};
  levelled.reset();  // a scaled or rotated page has pixels of its own
  // A page whose light needed levelling is a photo, and a photo is blurred: its letters are
  // sharpened at their final size, unless that would bring its grain back.
  if (wasLevelled && !grainy && page && page->pix) {
    if (PixPtr sharp = sharpenedPhoto(page->pix.get())) page->pix = std::move(sharp);
  }
  // Letters count as tiny only when their pieces are narrow too (tiny letters run together, so
  // up to kSmallText): on a page turned a quarter, the letters' widths pass for their height.
  if (page && textHeight > 0 && textHeight <= kTinyText) {
    page->localThreshold = medianTextWidth(binary.get()) <= kSmallText;
  }
  // Rules are looked for once the page is level and at its final size, where they run straight
  // along rows and columns.
  if (page) binary = binaryForAnalysis(page->pix.get());
  // Rules enlarged with tiny letters are blurred over several pixels either side.
  const int fringe = page && page->localThreshold ? kEnlargedRuleFringe : 1;
  PixPtr rules = binary ? ruleMask(binary.get(), textHeight * scale, fringe) : nullptr;
  binary.reset();
  // A prepared copy that nothing else holds is cleaned in place: one full-size copy the less.
  if (rules && page && page->pix && pixGetRefcount(page->pix.get()) == 1) {
    paintedWhite(page->pix.get(), rules.get());
  } else if (rules) {
    if (PixPtr clean = withoutRules(page ? page->pix.get() : input, rules.get())) {
      if (!page) page = PreparedPage{nullptr, {}};
      page->pix = std::move(clean);
    }
  }
  return page;
}

}  // namespace

std::optional<PreparedPage> preparedPage(Pix* input) {
  std::optional<PreparedPage> paper = straightenedPaper(input);
  const bool straightened = paper.has_value();
  if (!paper) paper = paperOnDarkSurface(input);
  if (!paper) return preparedFlatPage(input, false);
  // A straightened paper is levelled already.
  std::optional<PreparedPage> page = preparedFlatPage(paper->pix.get(), !straightened);
  if (!page || !page->pix) return paper;
  page->toInput = composed(paper->toInput, page->toInput);
  return page;
}

}  // namespace marrowfen::scan
