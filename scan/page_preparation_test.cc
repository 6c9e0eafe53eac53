#include "scan/page_preparation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "scan/testing/photographed_page.h"
#include "scan/testing/text_image.h"

namespace marrowfen::scan {
namespace {

// A white 8-bit page with a black square of side `side` at (x, y).
PixPtr pageWithSquare(int width, int height, int x, int y, int side) {
  PixPtr pix(pixCreate(width, height, 8));
  pixSetAllArbitrary(pix.get(), 255);
  pixRasterop(pix.get(), x, y, side, side, PIX_CLR, nullptr, 0, 0);
  return pix;
}

// The centre of the dark pixels (below 128) of an 8-bit or 1-bit page.
std::pair<double, double> darkCentre(Pix* pix) {
  double sx = 0, sy = 0, n = 0;
  for (int y = 0; y < pixGetHeight(pix); ++y) {
    for (int x = 0; x < pixGetWidth(pix); ++x) {
      l_uint32 v = 0;
      pixGetPixel(pix, x, y, &v);
      const bool dark = pixGetDepth(pix) == 1 ? v == 1 : v < 128;
      if (dark) sx += x + 0.5, sy += y + 0.5, n += 1;
    }
  }
  return {sx / n, sy / n};
}

std::pair<double, double> apply(const PageTransform& t, std::pair<double, double> p) {
  return {t.xx * p.first + t.xy * p.second + t.x0, t.yx * p.first + t.yy * p.second + t.y0};
}

// The box (left, top, width, height) of the largest piece of ink on `page`, binarised as the
// preparation does; zeros when there is none.
std::array<l_int32, 4> largestInk(Pix* page) {
  std::array<l_int32, 4> largest = {0, 0, 0, 0};
  PixPtr binary = binaryForAnalysis(page);
  Boxa* boxes = binary ? pixConnCompBB(binary.get(), 8) : nullptr;
  for (int k = 0; boxes && k < boxaGetCount(boxes); ++k) {
    l_int32 x, y, bw, bh;
    boxaGetBoxGeometry(boxes, k, &x, &y, &bw, &bh);
    if (bw * bh > largest[2] * largest[3]) largest = {x, y, bw, bh};
  }
  boxaDestroy(&boxes);
  return largest;
}

// Of the ink of `ink` in the rectangle (x, y, w, h): how much `mask` covers, and how much there is.
std::pair<l_int32, l_int32> inkUnderMask(Pix* ink, Pix* mask, l_int32 x, l_int32 y, l_int32 w,
                                         l_int32 h) {
  PixPtr covered(pixAnd(nullptr, ink, mask));
  Box* box = boxCreate(x, y, w, h);
  l_int32 all = 0, masked = 0;
  pixCountPixelsInRect(ink, box, &all, nullptr);
  pixCountPixelsInRect(covered.get(), box, &masked, nullptr);
  boxDestroy(&box);
  return {masked, all};
}

Image textPage(int pixelSize) {
  std::vector<std::string> lines;
  for (int k = 0; k < 14; ++k) lines.push_back("The quick brown fox jumps over the lazy dog 1234");
  return testing::textImage(lines, pixelSize * 30, pixelSize * 30, pixelSize, pixelSize * 2);
}

TEST(PagePreparation, TurnsMapTheirPixelsBackToTheSource) {
  PixPtr page = pageWithSquare(300, 200, 40, 30, 20);
  for (int turns = 0; turns < 4; ++turns) {
    const PreparedPage turned = turnedPage(page.get(), turns);
    const auto [x, y] = apply(turned.toInput, darkCentre(turned.pix.get()));
    EXPECT_NEAR(x, 50, 0.01) << turns;
    EXPECT_NEAR(y, 40, 0.01) << turns;
  }
}

TEST(PagePreparation, RotationsMapTheirPixelsBackToTheSource) {
  PixPtr page = pageWithSquare(400, 300, 60, 200, 16);
  for (double degrees = -15; degrees <= 15; degrees += 3) {
    const PreparedPage rotated = rotatedPage(page.get(), degrees);
    // The whole page stays on the larger canvas.
    EXPECT_GE(pixGetWidth(rotated.pix.get()), 400);
    const auto [x, y] = apply(rotated.toInput, darkCentre(rotated.pix.get()));
    EXPECT_NEAR(x, 68, 1.0) << degrees;
    EXPECT_NEAR(y, 208, 1.0) << degrees;
  }
}

TEST(PagePreparation, ScalingMapsBack) {
  PixPtr page = pageWithSquare(300, 200, 40, 30, 20);
  const std::optional<PreparedPage> scaled = scaledPage(page.get(), 2.5);
  ASSERT_TRUE(scaled);
  EXPECT_EQ(pixGetWidth(scaled->pix.get()), 750);
  const auto [x, y] = apply(scaled->toInput, darkCentre(scaled->pix.get()));
  EXPECT_NEAR(x, 50, 0.5);
  EXPECT_NEAR(y, 40, 0.5);
  EXPECT_FALSE(scaledPage(page.get(), 1));
}

TEST(PagePreparation, PixKeepsTheFewestBitsThatHoldThePage) {
  std::vector<uint8_t> bilevel = {0, 255, 255, 0, 255, 255};
  PixPtr one = pixFromImage(Image(3, 2, PixelFormat::kGrey, 3, bilevel));
  ASSERT_TRUE(one);
  EXPECT_EQ(pixGetDepth(one.get()), 1);
  l_uint32 v = 0;
  pixGetPixel(one.get(), 1, 0, &v);  // 255: white, bit 0
  EXPECT_EQ(v, 0u);
  pixGetPixel(one.get(), 0, 0, &v);
  EXPECT_EQ(v, 1u);

  PixPtr grey = pixFromImage(Image(3, 2, PixelFormat::kGrey, 3, {0, 128, 255, 7, 8, 9}));
  ASSERT_TRUE(grey);
  EXPECT_EQ(pixGetDepth(grey.get()), 8);
  pixGetPixel(grey.get(), 1, 0, &v);
  EXPECT_EQ(v, 128u);

  // Half-transparent black over white is mid grey; the unused byte of opaque colour is ignored.
  PixPtr rgba = pixFromImage(Image(1, 1, PixelFormat::kRgba, 4, {0, 0, 0, 128}));
  PixPtr rgbx = pixFromImage(Image(1, 1, PixelFormat::kRgbx, 4, {10, 20, 30, 0}));
  ASSERT_TRUE(rgba && rgbx);
  l_int32 r, g, b;
  pixGetRGBPixel(rgba.get(), 0, 0, &r, &g, &b);
  EXPECT_EQ(r, 127);
  pixGetRGBPixel(rgbx.get(), 0, 0, &r, &g, &b);
  EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{10, 20, 30}));
}

TEST(PagePreparation, UnevenLightIsFoundAndLevelled) {
  // Text on paper that darkens from 240 on the left to 110 on the right, as in a photo.
  const Image text = textPage(30);
  ASSERT_FALSE(text.empty());
  std::vector<uint8_t> shaded(static_cast<size_t>(text.width()) * text.height());
  for (int32_t y = 0; y < text.height(); ++y) {
    for (int32_t x = 0; x < text.width(); ++x) {
      const int paper = 240 - 130 * x / text.width();
      shaded[static_cast<size_t>(y) * text.width() + x] =
          static_cast<uint8_t>(text.row(y)[x] * paper / 255);
    }
  }
  PixPtr even = pixFromImage(text);
  PixPtr uneven = pixFromImage(
      Image(text.width(), text.height(), PixelFormat::kGrey, text.width(), std::move(shaded)));
  EXPECT_FALSE(unevenLight(even.get()));
  ASSERT_TRUE(unevenLight(uneven.get()));
  PixPtr levelled = levelledLight(uneven.get());
  ASSERT_TRUE(levelled);
  EXPECT_EQ(pixGetWidth(levelled.get()), text.width());
  EXPECT_FALSE(unevenLight(levelled.get()));
}

// Dark pixels of an 8-bit page.
int inkCount(Pix* pix) {
  l_int32 count = 0;
  PixPtr binary(pixThresholdToBinary(pix, 128));
  pixCountPixels(binary.get(), &count, nullptr);
  return count;
}

TEST(PagePreparation, LevelledPaperIsWhiteAndItsTextSurvivesAGlobalThreshold) {
  // Text on paper shaded from `left` to `right` across the page, as a photo's light falls, inside
  // a white frame `frame` pixels wide (the margin of a photographed sheet, or the corners a
  // rotation brings in).
  struct Case {
    int left, right, frame;
  };
  const Image text = textPage(30);
  ASSERT_FALSE(text.empty());
  PixPtr clean = binaryForAnalysis(pixFromImage(text).get());
  l_int32 cleanInk = 0;
  pixCountPixels(clean.get(), &cleanInk, nullptr);
  for (const Case c : {Case{240, 110, 0}, Case{240, 110, 80}, Case{190, 140, 80},
                       Case{150, 230, 40}, Case{220, 200, 120}}) {
    const int32_t width = text.width() + 2 * c.frame, height = text.height() + 2 * c.frame;
    std::vector<uint8_t> photo(static_cast<size_t>(width) * height, 255);
    for (int32_t y = 0; y < text.height(); ++y) {
      for (int32_t x = 0; x < text.width(); ++x) {
        const int paper = c.left + (c.right - c.left) * x / text.width();
        photo[static_cast<size_t>(y + c.frame) * width + x + c.frame] =
            static_cast<uint8_t>(text.row(y)[x] * paper / 255);
      }
    }
    PixPtr page = pixFromImage(Image(width, height, PixelFormat::kGrey, width, std::move(photo)));
    PixPtr levelled = levelledLight(page.get());
    ASSERT_TRUE(levelled) << c.left << " " << c.frame;
    // A global threshold of the levelled page finds the letters, nearly all of their ink and
    // little else.
    PixPtr binary = binaryForAnalysis(levelled.get());
    l_int32 ink = 0;
    pixCountPixels(binary.get(), &ink, nullptr);
    EXPECT_GE(ink, cleanInk * 8 / 10) << c.left << " " << c.frame;
    EXPECT_LE(ink, cleanInk * 12 / 10) << c.left << " " << c.frame;
    // The paper below the text is white.
    l_uint32 paper = 0;
    pixGetPixel(levelled.get(), width / 2, c.frame + text.height() - 60, &paper);
    EXPECT_GE(paper, 250u) << c.left << " " << c.frame;
  }
}

// A colour copy of a grey text page: ink of the rows in [inkTop, inkBottom) printed in `ink`, the
// rest black; then, over every pixel in the band of rows [markTop, markBottom) and within
// `markWidth` of column `markX`, a coloured stroke `mark` multiplied in (as a stamp's ink lies
// on the paper and on the print).
struct Colouring {
  std::array<int, 3> ink = {0, 0, 0};
  int inkTop = 0, inkBottom = 0;
  std::array<int, 3> mark = {255, 255, 255};
  int markTop = 0, markBottom = 0, markX = 0, markWidth = 0;
};

PixPtr colouredPage(const Image& grey, const Colouring& c) {
  PixPtr pix(pixCreate(grey.width(), grey.height(), 32));
  for (int y = 0; y < grey.height(); ++y) {
    for (int x = 0; x < grey.width(); ++x) {
      const int v = grey.row(y)[x];
      std::array<int, 3> rgb = {v, v, v};
      if (y >= c.inkTop && y < c.inkBottom) {
        for (int k = 0; k < 3; ++k) rgb[k] = 255 - (255 - v) * (255 - c.ink[k]) / 255;
      }
      if (y >= c.markTop && y < c.markBottom && std::abs(x - c.markX) < c.markWidth) {
        for (int k = 0; k < 3; ++k) rgb[k] = rgb[k] * c.mark[k] / 255;
      }
      pixSetRGBPixel(pix.get(), x, y, rgb[0], rgb[1], rgb[2]);
    }
  }
  return pix;
}

TEST(PagePreparation, ColouredMarksAreMadePaleOnlyWhenTheyAreAFewOfTheInk) {
  const Image text = textPage(30);
  ASSERT_FALSE(text.empty());
  const int w = text.width(), h = text.height();
  const std::array<int, 3> red = {220, 40, 50}, blue = {30, 50, 170};
  struct Case {
    std::string name;
    Colouring colouring;
    bool paled;
  };
  const std::vector<Case> cases = {
      {"black print", {}, false},
      {"a red stamp's stroke across the lines",
       {.mark = red, .markBottom = h, .markX = w / 2, .markWidth = 10},
       true},
      {"a blue pen's stroke across one line",
       {.mark = blue, .markTop = 200, .markBottom = 215, .markX = w / 2, .markWidth = 300},
       true},
      {"blue print", {.ink = blue, .inkBottom = h}, false},
      {"half the lines printed red", {.ink = red, .inkBottom = h / 2}, false},
  };
  for (const Case& c : cases) {
    PixPtr page = colouredPage(text, c.colouring);
    PixPtr paled = withoutColouredMarks(page.get());
    EXPECT_EQ(paled != nullptr, c.paled) << c.name;
    if (!paled) continue;
    ASSERT_EQ(pixGetDepth(paled.get()), 8) << c.name;
    // The black print keeps its ink (the mark lies over part of it); the mark is gone but for
    // the pale fringes of letters it darkens a little.
    PixPtr black = pixFromImage(text);
    EXPECT_GT(inkCount(paled.get()), inkCount(black.get()) * 9 / 10) << c.name;
    EXPECT_LT(inkCount(paled.get()), inkCount(black.get()) * 101 / 100) << c.name;
    PixPtr marked(pixConvertTo8(page.get(), 0));
    EXPECT_GT(inkCount(marked.get()), inkCount(black.get()) * 21 / 20) << c.name;
  }
  // Grey and 1-bit pages have no colour to take out.
  PixPtr grey = pixFromImage(text);
  EXPECT_FALSE(withoutColouredMarks(grey.get()));
}

// The mean brightness of an 8-bit page under a 1-bit mask.
double meanUnder(Pix* pix, Pix* mask) {
  l_float32 mean = 0;
  pixGetAverageMasked(pix, mask, 0, 0, 1, L_MEAN_ABSVAL, &mean);
  return mean;
}

TEST(PagePreparation, SharpeningDarkensBlurredLettersAndKeepsThePaper) {
  // Letters of the size the preparation scales a page to (lower case about 13 pixels high).
  const Image text = textPage(24);
  ASSERT_FALSE(text.empty());
  PixPtr page = pixFromImage(text);
  PixPtr ink(pixThresholdToBinary(page.get(), 128));
  PixPtr paper(pixInvert(nullptr, ink.get()));
  for (const int blur : {1, 2}) {
    // A photo's blur, washed out as a phone's low contrast would leave it.
    PixPtr blurred(pixBlockconv(page.get(), blur, blur));
    PixPtr faint(pixGammaTRC(nullptr, blurred.get(), 1.0f, -120, 255));
    ASSERT_TRUE(faint);
    PixPtr sharp = sharpenedPhoto(faint.get());
    ASSERT_TRUE(sharp);
    EXPECT_EQ(pixGetWidth(sharp.get()), pixGetWidth(page.get()));
    EXPECT_LT(meanUnder(sharp.get(), ink.get()), meanUnder(faint.get(), ink.get()) - 20)
        << "blur " << blur;
    EXPECT_GT(meanUnder(sharp.get(), paper.get()), meanUnder(faint.get(), paper.get()) - 5)
        << "blur " << blur;
  }
  // Past the size limit the page is left alone.
  PixPtr huge(pixCreate(8000, static_cast<int>(kMaxUnsharpPixels / 8000) + 1, 8));
  EXPECT_FALSE(sharpenedPhoto(huge.get()));
}

TEST(PagePreparation, RowsOfDotsDoNotPassForSmallPrint) {
  // Ten lines of letters above twenty rows of 3-pixel dots (a fax header of asterisks, dotted
  // leaders): the dots outnumber the letters, yet the letters' height is what is measured.
  for (const int pixelSize : {14, 18, 24, 32}) {
    std::vector<std::string> lines(10, "The quick brown fox jumps over the lazy dog 1234");
    const int width = pixelSize * 30;
    const int textBottom = 40 + 11 * pixelSize * 3 / 2;
    const Image text = testing::textImage(lines, width, textBottom + 40 * pixelSize, pixelSize, 40);
    ASSERT_FALSE(text.empty());
    PixPtr letters = binaryForAnalysis(pixFromImage(text).get());
    PixPtr page(pixCopy(nullptr, letters.get()));
    for (int row = 0; row < 20; ++row) {
      for (int x = 40; x < width - 40; x += 4) {
        pixRasterop(page.get(), x, textBottom + row * 2 * pixelSize, 3, 3, PIX_SET, nullptr, 0, 0);
      }
    }
    const double truth = medianTextHeight(letters.get());
    ASSERT_GT(truth, 0) << pixelSize;
    // Counted as they come, the dots win.
    EXPECT_LE(medianTextHeight(page.get()), 4) << pixelSize;
    EXPECT_NEAR(letterHeight(page.get()), truth, 0.2 * truth) << pixelSize;
    // A page without dots keeps its plain measure.
    EXPECT_EQ(letterHeight(letters.get()), truth) << pixelSize;
  }
}

// `text` as faint grey print (ink 140 on paper 215) with grain of about `sigma` grey levels.
PixPtr grainyCopy(const Image& text, int sigma) {
  PixPtr grey(pixConvertTo8(pixFromImage(text).get(), 0));
  const int w = pixGetWidth(grey.get()), h = pixGetHeight(grey.get());
  uint32_t state = 12345;
  const auto uniform = [&state] {  // in [-0.5, 0.5)
    state = state * 1664525u + 1013904223u;
    return (state >> 8) / double(1u << 24) - 0.5;
  };
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      l_uint32 v = 0;
      pixGetPixel(grey.get(), x, y, &v);
      // Four uniform draws sum to about a normal spread of a third of their width.
      const double noise = (uniform() + uniform() + uniform() + uniform()) * sigma * 1.73;
      pixSetPixel(grey.get(), x, y, std::clamp(int(140 + v * 75 / 255 + noise), 0, 255));
    }
  }
  return grey;
}

TEST(PagePreparation, GrainyPagesAreMeasuredSmoothed) {
  // Faint print under heavy grain: thresholded as it is, the grain is a snow of specks that
  // outnumbers the letters and passes for tiny print. Smoothed, the letters measure as they
  // are printed; pages with light grain, or none, are not taken for grainy.
  for (const int pixelSize : {18, 28}) {
    const Image text = textPage(pixelSize);
    ASSERT_FALSE(text.empty());
    PixPtr clean = binaryForAnalysis(pixFromImage(text).get());
    const double truth = letterHeight(clean.get());
    EXPECT_FALSE(speckled(clean.get())) << pixelSize;
    PixPtr light = grainyCopy(text, 8);
    EXPECT_FALSE(speckled(binaryForAnalysis(light.get()).get())) << pixelSize;
    PixPtr grainy = grainyCopy(text, 20);
    PixPtr binary = binaryForAnalysis(grainy.get());
    ASSERT_TRUE(binary);
    EXPECT_TRUE(speckled(binary.get())) << pixelSize;
    if (pixelSize == 28) {
      EXPECT_LT(letterHeight(binary.get()), 0.5 * truth);
    }
    PixPtr smooth = smoothedGrain(grainy.get());
    ASSERT_TRUE(smooth);
    EXPECT_NEAR(letterHeight(binaryForAnalysis(smooth.get()).get()), truth, 0.25 * truth)
        << pixelSize;
    // Prepared, the page is not enlarged as tiny print would be.
    std::optional<PreparedPage> prepared = preparedPage(grainy.get());
    ASSERT_TRUE(prepared && prepared->pix) << pixelSize;
    EXPECT_LE(pixGetWidth(prepared->pix.get()), pixGetWidth(grainy.get()) * 11 / 10) << pixelSize;
    EXPECT_FALSE(prepared->localThreshold) << pixelSize;
  }
}

TEST(PagePreparation, LettersPrintedAsDotsMeasureAsLetters) {
  // Lines of letters printed as dots (the strokes seen through a grid of 3-pixel dots, as a
  // dot-matrix printer prints them): each dot is a component of its own, yet the letters' height
  // is what is measured. The same page as small print keeps the small measure.
  for (const int pixelSize : {32, 40}) {
    std::vector<std::string> lines(16, "The quick brown fox jumps over the lazy dog 1234");
    const Image text =
        testing::textImage(lines, pixelSize * 30, 40 + 17 * pixelSize * 3 / 2, pixelSize, 40);
    ASSERT_FALSE(text.empty());
    PixPtr letters = binaryForAnalysis(pixFromImage(text).get());
    const int width = pixGetWidth(letters.get()), height = pixGetHeight(letters.get());
    PixPtr grid(pixCreate(width, height, 1));
    for (int y = 0; y + 3 <= height; y += 5) {
      for (int x = 0; x + 3 <= width; x += 5) {
        pixRasterop(grid.get(), x, y, 3, 3, PIX_SET, nullptr, 0, 0);
      }
    }
    PixPtr dots(pixAnd(nullptr, letters.get(), grid.get()));
    const double truth = medianTextHeight(letters.get());
    ASSERT_GT(truth, 0) << pixelSize;
    EXPECT_LE(medianTextHeight(dots.get()), 4) << pixelSize;
    EXPECT_NEAR(letterHeight(dots.get()), truth, 0.25 * truth) << pixelSize;
    // Small print: the page at a fifth of its size, letters of 6 to 8 pixels.
    PixPtr small(pixScaleToGray(letters.get(), 0.2f));
    ASSERT_TRUE(small);
    PixPtr smallBinary = binaryForAnalysis(small.get());
    const double smallHeight = medianTextHeight(smallBinary.get());
    ASSERT_GT(smallHeight, 0) << pixelSize;
    ASSERT_LT(smallHeight, 10) << pixelSize;
    EXPECT_EQ(letterHeight(smallBinary.get()), smallHeight) << pixelSize;
  }
}

// How much of the ink of a 1-bit `page` with letters `height` high its rule mask covers.
l_int32 inkUnderRuleMask(Pix* page, double height) {
  PixPtr mask = ruleMask(page, height);
  l_int32 masked = 0;
  if (mask) {
    PixPtr eaten(pixAnd(nullptr, mask.get(), page));
    pixCountPixels(eaten.get(), &masked, nullptr);
  }
  return masked;
}

// With a rule of 3 pixels drawn `length` long from (x, y) on the 1-bit `page`, the share of the
// rule its rule mask covers.
double ruleFoundUnder(Pix* page, double height, int y, int x, int length) {
  pixRasterop(page, x, y, length, 3, PIX_SET, nullptr, 0, 0);
  PixPtr mask = ruleMask(page, height);
  if (!mask) return 0;
  l_int32 rule = 0;
  Box* line = boxCreate(x, y, length, 3);
  pixCountPixelsInRect(mask.get(), line, &rule, nullptr);
  boxDestroy(&line);
  return rule / (3.0 * length);
}

TEST(PagePreparation, EdgesOfBoldCapitalsAreNoRules) {
  // Lines of bold capitals (thick strokes, letters nearly touching), beside smaller text: bridged
  // at the small text's gaps, their tops and bottoms run on like thin rules. They stay letters;
  // a rule under them is still found.
  std::vector<std::string> lines(6, "PURCHASE REQUISITION EXTENDED HEADINGS");
  const Image text = testing::textImage(lines, 1500, 420, 30, 40);
  ASSERT_FALSE(text.empty());
  PixPtr thin = binaryForAnalysis(pixFromImage(text).get());
  PixPtr bold(pixDilateBrick(nullptr, thin.get(), 9, 5));
  ASSERT_TRUE(bold);
  l_int32 letters = 0;
  pixCountPixels(bold.get(), &letters, nullptr);
  const double smallText = 0.6 * medianTextHeight(thin.get());
  // Upright, and turned a quarter (the lines, and the edges, run along columns).
  PixPtr turned(pixRotate90(bold.get(), 1));
  for (Pix* page : {bold.get(), turned.get()}) {
    const l_int32 masked = inkUnderRuleMask(page, smallText);
    EXPECT_LT(masked, letters / 50) << masked << " of " << letters;
  }
  // A rule of 3 pixels across the page below the lines is found whole.
  EXPECT_GE(ruleFoundUnder(bold.get(), smallText, 400, 40, 1400), 0.9);
}

TEST(PagePreparation, BaselinesOfCloseLettersAreNoRules) {
  // Large round letters set close (a receipt's bold lines): bridged across the gaps between
  // letters, the bottoms of a line run on like a thin rule touching the letters above it, as an
  // underline would. They stay letters, upright and turned a quarter; a real underline under
  // the same letters is found.
  std::vector<std::string> lines(5, "facebook.com/cocoabean occasion bacon scones");
  const Image text = testing::textImage(lines, 1700, 400, 36, 70);
  ASSERT_FALSE(text.empty());
  PixPtr thin = binaryForAnalysis(pixFromImage(text).get());
  PixPtr close(pixDilateBrick(nullptr, thin.get(), 5, 1));
  ASSERT_TRUE(close);
  l_int32 letters = 0;
  pixCountPixels(close.get(), &letters, nullptr);
  const double height = medianTextHeight(close.get());
  PixPtr turned(pixRotate90(close.get(), 1));
  for (Pix* page : {close.get(), turned.get()}) {
    const l_int32 masked = inkUnderRuleMask(page, height);
    EXPECT_LT(masked, letters / 200) << masked << " of " << letters;
  }
  EXPECT_GE(ruleFoundUnder(close.get(), height, 392, 40, 1600), 0.9);
}

TEST(PagePreparation, RulesAndDottedLinesGoLettersStay) {
  const Image text = textPage(30);
  ASSERT_FALSE(text.empty());
  PixPtr letters = pixFromImage(text);
  PixPtr page(pixCopy(nullptr, letters.get()));
  const int width = pixGetWidth(page.get());
  // A 2-pixel underline touching the first line's baseline, a dotted separator below the second
  // line, and a vertical frame line on the right.
  pixRasterop(page.get(), 40, 90, width - 80, 2, PIX_CLR, nullptr, 0, 0);
  for (int x = 40; x < width - 40; x += 7) {
    pixRasterop(page.get(), x, 150, 3, 3, PIX_CLR, nullptr, 0, 0);
  }
  pixRasterop(page.get(), width - 20, 20, 2, pixGetHeight(page.get()) - 40, PIX_CLR, nullptr, 0, 0);
  PixPtr binary = binaryForAnalysis(page.get());
  const double height = medianTextHeight(binary.get());
  PixPtr mask = ruleMask(binary.get(), height);
  ASSERT_TRUE(mask);
  PixPtr cleaned = withoutRules(page.get(), mask.get());
  ASSERT_TRUE(cleaned);
  // The strokes are gone: what is left is about the ink of the letters alone, with at most a few
  // pixels of letters lost where the underline crossed them.
  const int before = inkCount(letters.get());
  const int after = inkCount(cleaned.get());
  EXPECT_GE(after, before * 97 / 100);
  EXPECT_LE(after, before * 101 / 100);
  // A page of letters only has no rules.
  PixPtr plain = binaryForAnalysis(letters.get());
  EXPECT_FALSE(ruleMask(plain.get(), medianTextHeight(plain.get())));
}

TEST(PagePreparation, HeavyAndSlantedRulesAreRules) {
  // Lines of letters, then a rule about half a letter thick (a form's heavy frame), a thin rule
  // and a thin vertical line each slanted by about a degree (a photo's remaining perspective).
  std::vector<std::string> lines(5, "The quick brown fox jumps over the lazy dog 1234");
  const Image text = testing::textImage(lines, 1500, 1000, 30, 60);
  ASSERT_FALSE(text.empty());
  PixPtr letters = binaryForAnalysis(pixFromImage(text).get());
  ASSERT_TRUE(letters);
  const double height = medianTextHeight(letters.get());
  PixPtr page(pixCopy(nullptr, letters.get()));
  const int heavy = static_cast<int>(0.45 * height);
  pixRasterop(page.get(), 40, 450, 1200, heavy, PIX_SET, nullptr, 0, 0);
  const double slope = std::tan(1.1 * M_PI / 180);
  for (int t = 0; t < 1200; ++t) {
    const int drift = static_cast<int>(t * slope);
    pixRasterop(page.get(), 40 + t, 560 + drift, 1, 3, PIX_SET, nullptr, 0, 0);
    if (t < 900) pixRasterop(page.get(), 1400 - drift, 40 + t, 3, 1, PIX_SET, nullptr, 0, 0);
  }
  PixPtr mask = ruleMask(page.get(), height);
  ASSERT_TRUE(mask);
  PixPtr rules(pixXor(nullptr, page.get(), letters.get()));
  // Each rule is masked (nearly) whole; the letters above keep their ink.
  for (const auto& [x, y, w, h] : std::vector<std::array<l_int32, 4>>{
           {0, 440, 1300, 40}, {0, 550, 1300, 50}, {1350, 0, 150, 1000}}) {
    const auto [masked, all] = inkUnderMask(rules.get(), mask.get(), x, y, w, h);
    EXPECT_GE(masked, all * 9 / 10) << y;
  }
  const auto [eaten, ink] = inkUnderMask(letters.get(), mask.get(), 0, 0, 1300, 420);
  EXPECT_LT(eaten, ink / 50) << eaten << " of " << ink;
}

TEST(PagePreparation, RowsOfSeparateDashesAreRules) {
  // Below lines of letters, a row of short dashes set wider apart than any gap bridged (a
  // receipt's separator, photographed), running a little downhill, and a row of only five.
  std::vector<std::string> lines(4, "The quick brown fox jumps over the lazy dog 1234");
  const Image text = testing::textImage(lines, 1500, 600, 30, 60);
  ASSERT_FALSE(text.empty());
  PixPtr letters = binaryForAnalysis(pixFromImage(text).get());
  ASSERT_TRUE(letters);
  const double height = medianTextHeight(letters.get());
  PixPtr page(pixCopy(nullptr, letters.get()));
  const int dash = static_cast<int>(0.4 * height);
  const int step = dash + static_cast<int>(0.6 * height);
  for (int k = 0; k < 60; ++k) {
    pixRasterop(page.get(), 40 + k * step, 400 + k / 8, dash, 3, PIX_SET, nullptr, 0, 0);
    if (k < 5) pixRasterop(page.get(), 40 + k * step, 500, dash, 3, PIX_SET, nullptr, 0, 0);
  }
  PixPtr mask = ruleMask(page.get(), height);
  ASSERT_TRUE(mask);
  const auto [row, rowInk] = inkUnderMask(page.get(), mask.get(), 0, 395, 1500, 20);
  EXPECT_EQ(row, rowInk);
  const auto [few, fewInk] = inkUnderMask(page.get(), mask.get(), 0, 495, 1500, 10);
  EXPECT_EQ(few, 0) << fewInk;
  const auto [eaten, ink] = inkUnderMask(letters.get(), mask.get(), 0, 0, 1500, 380);
  EXPECT_LT(eaten, ink / 50) << eaten << " of " << ink;
}

TEST(PagePreparation, EdgesOfADarkBannerAreNoRules) {
  // Light capitals on a dark banner that reaches a little above and below them, on a page of
  // smaller text: the banner's edges run long and thin beside the ink of the banner, and stay.
  const Image text =
      testing::textImage({"SIMPLIFIED TAX INVOICE FOR THE ITEMS BELOW"}, 1500, 200, 40, 60);
  ASSERT_FALSE(text.empty());
  PixPtr page = binaryForAnalysis(pixFromImage(text).get());
  ASSERT_TRUE(page);
  Box* letters = nullptr;
  ASSERT_EQ(pixClipToForeground(page.get(), nullptr, &letters), 0);
  l_int32 x, y, w, h;
  boxGetGeometry(letters, &x, &y, &w, &h);
  boxDestroy(&letters);
  const double height = 0.4 * h;  // the page's smaller text
  const int margin = static_cast<int>(0.45 * height);
  pixRasterop(page.get(), x - 20, y - margin, w + 40, h + 2 * margin, PIX_NOT(PIX_DST), nullptr, 0,
              0);
  l_int32 banner = 0;
  pixCountPixels(page.get(), &banner, nullptr);
  PixPtr mask = ruleMask(page.get(), height);
  l_int32 masked = 0;
  if (mask) {
    PixPtr eaten(pixAnd(nullptr, mask.get(), page.get()));
    pixCountPixels(eaten.get(), &masked, nullptr);
  }
  EXPECT_LT(masked, banner / 50) << masked << " of " << banner;
}

TEST(PagePreparation, RuleMaskTakesItsFringeWithIt) {
  // A 3-pixel rule across a page of letters, blurred by a third of its length either side.
  PixPtr binary = binaryForAnalysis(pixFromImage(textPage(30)).get());
  ASSERT_TRUE(binary);
  const int width = pixGetWidth(binary.get());
  pixRasterop(binary.get(), 40, 500, width - 80, 3, PIX_SET, nullptr, 0, 0);
  const double height = medianTextHeight(binary.get());
  for (const int fringe : {1, 3}) {
    PixPtr mask = ruleMask(binary.get(), height, fringe);
    ASSERT_TRUE(mask) << fringe;
    auto masked = [&](int y) {
      l_uint32 v = 0;
      pixGetPixel(mask.get(), width / 2, y, &v);
      return v == 1;
    };
    for (int y = 500 - fringe; y < 503 + fringe; ++y) EXPECT_TRUE(masked(y)) << fringe << " " << y;
    EXPECT_FALSE(masked(500 - fringe - 1)) << fringe;
    EXPECT_FALSE(masked(503 + fringe)) << fringe;
  }
}

TEST(PagePreparation, TextSizeDecidesTheScale) {
  struct Case {
    double textHeight;
    double scale;
  };
  for (const Case c : {Case{0, 1}, Case{26, 1}, Case{16, 1}, Case{10, 1}, Case{6.5, 2}, Case{2, 4},
                       Case{80, 1}, Case{200, 0.2}}) {
    EXPECT_NEAR(scaleForTextHeight(c.textHeight, 1000, 1000), c.scale, 1e-9) << c.textHeight;
  }
  // A huge page is never enlarged past the pixel limit.
  const double s = scaleForTextHeight(6, 8000, 8000);
  EXPECT_LE(8000 * s * 8000 * s, kMaxPreparedPixels * 1.0001);
}

TEST(PagePreparation, OnlyTinyLettersAreMarkedForALocalThreshold) {
  PixPtr page = pixFromImage(textPage(40));
  ASSERT_TRUE(page);
  struct Case {
    float across, down;           // the page reduced by this much
    int turns;                    // and turned this many quarters
    double minHeight, maxHeight;  // its letters then measure this many pixels
    bool enlarged, local;
  };
  // Narrow letters turned a quarter measure their width as their height, which is no reason for
  // a local threshold; tiny letters turned a quarter stay tiny.
  for (const Case c :
       {Case{0.14f, 0.14f, 0, 3, 6, true, true}, Case{0.18f, 0.18f, 0, 4, 6, true, true},
        Case{0.3f, 0.3f, 0, 7, 9.5, true, false}, Case{1, 1, 0, 20, 40, false, false},
        Case{0.18f, 0.18f, 1, 3, 6, true, true}, Case{0.15f, 0.6f, 1, 3, 6, true, false}}) {
    const std::string name = std::to_string(c.across) + " " + std::to_string(c.down);
    PixPtr reduced(c.across == 1 ? pixClone(page.get())
                                 : pixScaleAreaMap(page.get(), c.across, c.down));
    PixPtr small = std::move(turnedPage(reduced.get(), c.turns).pix);
    PixPtr binary = binaryForAnalysis(small.get());
    const double height = letterHeight(binary.get());
    ASSERT_GE(height, c.minHeight) << name;
    ASSERT_LE(height, c.maxHeight) << name;
    const std::optional<PreparedPage> prepared = preparedPage(small.get());
    ASSERT_EQ(prepared.has_value(), c.enlarged) << name;
    if (!prepared) continue;
    EXPECT_EQ(prepared->localThreshold, c.local) << name;
    EXPECT_GT(pixGetWidth(prepared->pix.get()), pixGetWidth(small.get()) * 1.3) << name;
  }
}

TEST(PagePreparation, MeasuresTextHeightAndSkewOfAGeneratedPage) {
  const Image image = textPage(40);
  ASSERT_FALSE(image.empty());
  PixPtr pix = pixFromImage(image);
  PixPtr binary = binaryForAnalysis(pix.get());
  const double height = medianTextHeight(binary.get());
  EXPECT_GT(height, 20);
  EXPECT_LT(height, 40);
  // Level text has no skew worth correcting; rotated text reports its angle.
  const std::optional<double> level = textSkewDegrees(binary.get());
  EXPECT_TRUE(!level || std::abs(*level) < 0.5);
  // Beyond the narrow sweep (15 degrees), a page held askew is found by the wide one.
  for (const double degrees : {-40.0, -22.0, -15.0, -12.0, -7.0, 5.0, 10.0, 15.0, 18.0, 33.0}) {
    const PreparedPage rotated = rotatedPage(pix.get(), degrees);
    PixPtr rotatedBinary = binaryForAnalysis(rotated.pix.get());
    const std::optional<double> skew = textSkewDegrees(rotatedBinary.get());
    ASSERT_TRUE(skew) << degrees;
    // Turning by the measured skew levels the lines again.
    EXPECT_NEAR(*skew, -degrees, 0.5);
  }
  // The same page scanned small, 8 degrees askew: its lines stand out less, but far from level.
  for (const float factor : {0.25f, 0.2f}) {
    PixPtr small(pixScaleAreaMap(pix.get(), factor, factor));
    const PreparedPage rotated = rotatedPage(small.get(), -8.0);
    PixPtr rotatedBinary = binaryForAnalysis(rotated.pix.get());
    const std::optional<double> skew = textSkewDegrees(rotatedBinary.get());
    ASSERT_TRUE(skew) << factor;
    EXPECT_NEAR(*skew, 8.0, 1.0) << factor;
  }
  // The same page small on a wide white bed (a receipt scanned on an A4 glass): the weak score of
  // the empty bed must not make the plain lines untrustworthy.
  PixPtr bed(pixAddBorder(pix.get(), 3 * pixGetWidth(pix.get()), 0xffffffff));
  for (const double degrees : {-12.0, 9.0}) {
    const PreparedPage rotated = rotatedPage(bed.get(), degrees);
    PixPtr rotatedBinary = binaryForAnalysis(rotated.pix.get());
    const std::optional<double> skew = textSkewDegrees(rotatedBinary.get());
    ASSERT_TRUE(skew) << degrees;
    EXPECT_NEAR(*skew, -degrees, 0.5);
  }
  // A clean page of ordinary text needs nothing.
  EXPECT_FALSE(preparedPage(pix.get()));
}

// A photo of `paper` (8-bit) lying on a surface of grey `level` with grain of `grain` either way,
// the paper turned by `degrees` and placed with its top-left corner at (x, y) of a `width` x
// `height` picture; the parts of the paper that fall outside the picture are cut off.
struct Surface {
  int level, grain, x, y, width, height;
  double degrees;
};

PixPtr onSurface(Pix* paper, const Surface& s) {
  PixPtr photo(pixCreate(s.width, s.height, 8));
  for (int y = 0; y < s.height; ++y) {
    for (int x = 0; x < s.width; ++x) {
      const double wood =
          std::sin(x / 5.0 + 3 * std::sin(y / 40.0)) + ((x * 7919 + y * 104729) % 13) / 6.0 - 1;
      pixSetPixel(photo.get(), x, y, std::clamp(int(s.level + s.grain * wood / 2), 0, 255));
    }
  }
  const float radians = static_cast<float>(s.degrees * M_PI / 180);
  PixPtr turned(pixRotate(paper, radians, L_ROTATE_AREA_MAP, L_BRING_IN_WHITE, 0, 0));
  PixPtr shape(pixCreate(pixGetWidth(paper), pixGetHeight(paper), 1));
  pixSetAll(shape.get());
  PixPtr turnedShape(pixRotate(shape.get(), radians, L_ROTATE_SAMPLING, L_BRING_IN_WHITE, 0, 0));
  pixCombineMaskedGeneral(photo.get(), turned.get(), turnedShape.get(), s.x, s.y);
  return photo;
}

// Pages with no surface around the paper: the paper itself, the same with a dark band across its
// top (a letterhead), and a 1-bit page with a black surround (a scanner's).
std::vector<PixPtr> pagesWithoutSurface(Pix* paper) {
  const int w = pixGetWidth(paper), h = pixGetHeight(paper);
  std::vector<PixPtr> pages;
  pages.emplace_back(pixClone(paper));
  pages.emplace_back(pixCopy(nullptr, paper));
  pixRasterop(pages.back().get(), 0, 0, w, h / 6, PIX_CLR, nullptr, 0, 0);
  pages.emplace_back(
      pixThresholdToBinary(onSurface(paper, {0, 0, 50, 50, w + 100, h + 100, 0}).get(), 128));
  return pages;
}

TEST(PagePreparation, PaperOnADarkSurfaceIsCutOutAndItsPixelsMapBack) {
  const Image text = textPage(24);
  ASSERT_FALSE(text.empty());
  PixPtr paper = pixFromImage(text);
  const int w = pixGetWidth(paper.get()), h = pixGetHeight(paper.get());
  const int paperInk = inkCount(paper.get());
  for (const Surface s : {Surface{30, 0, 150, 100, w + 300, h + 200, 0},
                          Surface{60, 50, 90, 140, w + 260, h + 230, 0},
                          Surface{45, 40, 160, 120, w + 320, h + 240, 3.5},
                          Surface{20, 10, 200, 110, w + 400, h + 300, -5},
                          // The paper runs off the bottom of the picture.
                          Surface{50, 30, 120, 150, w + 240, h + 100, 0}}) {
    PixPtr photo = onSurface(paper.get(), s);
    const std::optional<PreparedPage> cut = paperOnDarkSurface(photo.get());
    ASSERT_TRUE(cut) << s.level << " " << s.degrees;
    Pix* out = cut->pix.get();
    // The box of the paper, no more than a few pixels either way (a turned paper's box is larger).
    const int slack = 8 + static_cast<int>(std::abs(s.degrees) * h / 50);
    EXPECT_NEAR(cut->toInput.x0, s.x, slack) << s.level << " " << s.degrees;
    EXPECT_NEAR(cut->toInput.y0, s.y, slack) << s.level << " " << s.degrees;
    EXPECT_NEAR(pixGetWidth(out), std::min(w, s.width - s.x), 2 * slack) << s.level;
    // The surface is gone and the letters are all there.
    EXPECT_GE(inkCount(out), paperInk * 97 / 100) << s.level << " " << s.degrees;
    EXPECT_LE(inkCount(out), paperInk * 103 / 100) << s.level << " " << s.degrees;
    // Every pixel of the cut-out that was not painted is the photo's pixel where the map puts it.
    int differ = 0, kept = 0;
    for (int y = 0; y < pixGetHeight(out); y += 3) {
      for (int x = 0; x < pixGetWidth(out); x += 3) {
        l_uint32 v = 0, source = 0;
        pixGetPixel(out, x, y, &v);
        const auto [sx, sy] = apply(cut->toInput, {x + 0.5, y + 0.5});
        pixGetPixel(photo.get(), int(sx), int(sy), &source);
        if (v != 255) ++kept, differ += v != source;
      }
    }
    EXPECT_GT(kept, 0);
    EXPECT_EQ(differ, 0) << s.level << " " << s.degrees;
  }
}

TEST(PagePreparation, PagesNotLyingOnADarkSurfaceAreLeftAlone) {
  const Image text = textPage(24);
  ASSERT_FALSE(text.empty());
  PixPtr paper = pixFromImage(text);
  const int w = pixGetWidth(paper.get()), h = pixGetHeight(paper.get());
  // Besides the pages without a surface, a page on a light grey surface and a page that is dark
  // all over.
  std::vector<PixPtr> pages = pagesWithoutSurface(paper.get());
  pages.push_back(onSurface(paper.get(), {190, 20, 100, 100, w + 200, h + 200, 0}));
  pages.emplace_back(pixCopy(nullptr, paper.get()));
  pixMultConstantGray(pages.back().get(), 0.2f);
  for (const PixPtr& page : pages) {
    EXPECT_FALSE(paperOnDarkSurface(page.get()))
        << pixGetWidth(page.get()) << " " << pixGetDepth(page.get());
  }
}

// Ink pixels of a page thresholded as the preparation measures it.
int binaryInk(Pix* pix) {
  PixPtr binary = binaryForAnalysis(pix);
  l_int32 count = 0;
  pixCountPixels(binary.get(), &count, nullptr);
  return count;
}

TEST(PagePreparation, NegativesAreTurnedBackAndPapersOnADarkTableAreNot) {
  const Image text = textPage(24);
  ASSERT_FALSE(text.empty());
  PixPtr paper = pixFromImage(text);
  const int w = pixGetWidth(paper.get()), h = pixGetHeight(paper.get());
  PixPtr binary(pixThresholdToBinary(paper.get(), 128));
  PixPtr colour(pixConvertTo32(paper.get()));
  // Each negative comes back as the page it was made from, at its own depth.
  for (Pix* page : {paper.get(), binary.get(), colour.get()}) {
    PixPtr negative(pixInvert(nullptr, page));
    PixPtr back = negativeOfDarkPage(negative.get());
    ASSERT_TRUE(back) << pixGetDepth(page);
    l_int32 same = 0;
    pixEqual(back.get(), page, &same);
    EXPECT_TRUE(same) << pixGetDepth(page);
  }
  // Pages that are no negatives: the pages themselves, a page with a dark letterhead, and the
  // paper photographed on a dark table that takes three quarters of the picture.
  PixPtr letterhead(pixCopy(nullptr, paper.get()));
  pixRasterop(letterhead.get(), 0, 0, w, h / 4, PIX_CLR, nullptr, 0, 0);
  PixPtr onTable = onSurface(paper.get(), {25, 20, w / 2, h / 2, 2 * w, 2 * h, 0});
  for (Pix* page : {paper.get(), binary.get(), colour.get(), letterhead.get(), onTable.get()}) {
    EXPECT_FALSE(negativeOfDarkPage(page)) << pixGetWidth(page) << " " << pixGetDepth(page);
  }
}

TEST(PagePreparation, PaperOnAGreySurfaceIsLevelledSoTheSurfaceIsNoInk) {
  // A sparse page (a form, a letter): its paper is most of the picture's light pixels.
  const Image text = testing::textImage(
      {"Name of the applicant", "Date of birth 12.03.1981", "Signature"}, 600, 700, 14, 40);
  ASSERT_FALSE(text.empty());
  PixPtr paper = pixFromImage(text);
  const int w = pixGetWidth(paper.get()), h = pixGetHeight(paper.get());
  // Desks and tables a little darker than the paper, the paper inside the picture or running off
  // its bottom; the surface, left as it is, is darker than the global threshold.
  for (const Surface s :
       {Surface{200, 10, 60, 70, w + 120, h + 140, 0}, Surface{185, 8, 90, 50, w + 150, h + 110, 0},
        Surface{210, 6, 70, 60, w + 140, h + 30, 0}}) {
    PixPtr photo = onSurface(paper.get(), s);
    ASSERT_TRUE(onGreySurface(photo.get())) << s.level;
    ASSERT_FALSE(paperOnDarkSurface(photo.get())) << s.level;
    // What the engine reads, thresholded as the engine does: the surface is paper now, and the
    // letters are still there (ink counted at the input's scale).
    const std::optional<PreparedPage> page = preparedPage(photo.get());
    Pix* read = page && page->pix ? page->pix.get() : photo.get();
    const double scale = page ? page->toInput.xx : 1;
    const double ink = binaryInk(read) * scale * scale;
    EXPECT_LT(ink, 2.0 * binaryInk(paper.get())) << s.level;
    EXPECT_GT(ink, 0.7 * binaryInk(paper.get())) << s.level;
  }
  // Pages whose edges are not a surface: without one, with a letterhead band, a 1-bit page, and a
  // scan whose margins are shaded a tenth darker than its paper.
  std::vector<PixPtr> pages = pagesWithoutSurface(paper.get());
  pages.push_back(onSurface(paper.get(), {230, 6, 60, 60, w + 120, h + 120, 0}));
  for (const PixPtr& page : pages) {
    EXPECT_FALSE(onGreySurface(page.get()))
        << pixGetWidth(page.get()) << " " << pixGetDepth(page.get());
  }
}

TEST(PagePreparation, BoxesOnPaperCutFromItsSurfaceLandOnTheInput) {
  // Small print (enlarged for reading) above an empty space holding a black square, on a dark
  // table: the square found in the prepared page maps back onto the square in the photo.
  const Image text = textPage(8);
  ASSERT_FALSE(text.empty());
  const int w = text.width(), h = text.height() * 2;
  PixPtr paper(pixCreate(w, h, 8));
  pixSetAllArbitrary(paper.get(), 255);
  pixRasterop(paper.get(), 0, 0, w, h / 2, PIX_SRC, pixFromImage(text).get(), 0, 0);
  pixRasterop(paper.get(), w / 2, h * 3 / 4, 30, 30, PIX_CLR, nullptr, 0, 0);
  PixPtr photo = onSurface(paper.get(), {35, 20, 70, 90, w + 160, h + 150, 0});
  const std::optional<PreparedPage> page = preparedPage(photo.get());
  ASSERT_TRUE(page && page->pix);
  const auto [x, y, bw, bh] = largestInk(page->pix.get());
  // The page was enlarged, and the square is still the largest thing on it.
  EXPECT_GT(bw, 40);
  const BoundingBox box = boxInSource(page->toInput, x, y, x + bw, y + bh, pixGetWidth(photo.get()),
                                      pixGetHeight(photo.get()));
  const double photoW = pixGetWidth(photo.get()), photoH = pixGetHeight(photo.get());
  EXPECT_NEAR(box.x * photoW, 70 + w / 2, 2);
  EXPECT_NEAR(box.width * photoW, 30, 3);
  // Lower-left origin: the square's bottom edge.
  EXPECT_NEAR((1 - box.y - box.height) * photoH, 90 + h * 3 / 4, 2);
  EXPECT_NEAR(box.height * photoH, 30, 3);
}

TEST(PagePreparation, PaperPhotographedAtAnAngleIsStraightenedAndMapsBack) {
  // A page of text with a black square below it, photographed at an angle on surfaces from dark
  // wood to a mid grey desk; one paper runs off the picture's right side. On a light grey desk
  // the paper is left as it is.
  const Image text = textPage(20);
  ASSERT_FALSE(text.empty());
  const int w = text.width(), h = text.height() * 3 / 2;
  PixPtr paper(pixCreate(w, h, 8));
  pixSetAllArbitrary(paper.get(), 255);
  pixRasterop(paper.get(), 0, 0, w, text.height(), PIX_SRC, pixFromImage(text).get(), 0, 0);
  const int sq = 40, sqX = w / 2, sqY = h * 5 / 6;
  pixRasterop(paper.get(), sqX, sqY, sq, sq, PIX_CLR, nullptr, 0, 0);
  struct Case {
    SourcePoint quad[4];
    int width, height, level, grain;
  };
  const double W = w, H = h;
  const Case cases[] = {
      {{{80, 60}, {80 + W, 90}, {60 + W * 0.98, 80 + H}, {100, 40 + H * 1.02}},
       w + 200,
       h + 170,
       40,
       40},
      {{{150, 70}, {W + 20, 70}, {W + 120, H + 60}, {50, H + 60}}, w + 200, h + 160, 120, 10},
      {{{60, 80}, {W + 60, 120}, {W + 40, H + 90}, {40, H + 60}}, w + 130, h + 180, 140, 6},
      // The right side of the paper is outside the picture.
      {{{60, 50}, {W + 60, 90}, {W + 30, H + 70}, {30, H + 40}}, w, h + 140, 60, 30},
  };
  const SourcePoint lightDesk[4] = {{60, 80}, {W + 60, 120}, {W + 40, H + 90}, {40, H + 60}};
  EXPECT_FALSE(straightenedPaper(
      testing::photographedAtAnAngle(paper.get(), lightDesk, w + 130, h + 180, 190, 6).get()));
  for (const Case& c : cases) {
    PixPtr photo =
        testing::photographedAtAnAngle(paper.get(), c.quad, c.width, c.height, c.level, c.grain);
    const std::optional<PreparedPage> page = straightenedPaper(photo.get());
    ASSERT_TRUE(page) << c.level;
    ASSERT_EQ(pixGetDepth(page->pix.get()), 8);
    const int ow = pixGetWidth(page->pix.get()), oh = pixGetHeight(page->pix.get());
    // The straightened page's corners are the paper's, a few pixels inside it (or the picture's
    // side, where the paper runs off it).
    const std::pair<double, double> corners[] = {{0, 0}, {ow, 0}, {ow, oh}, {0, oh}};
    for (int k = 0; k < 4; ++k) {
      const SourcePoint p = pointInSource(page->toInput, corners[k].first, corners[k].second);
      const double wantX = std::min(c.quad[k].x, double(c.width));
      EXPECT_NEAR(p.x, wantX, 8) << c.level << " corner " << k;
      EXPECT_NEAR(p.y, c.quad[k].y, 8) << c.level << " corner " << k;
    }
    // The square is square again, and its box lands on the square in the photo.
    const auto [x, y, bw, bh] = largestInk(page->pix.get());
    EXPECT_NEAR(bw, bh, 4) << c.level;
    const double pw = pixGetWidth(photo.get()), ph = pixGetHeight(photo.get());
    const BoundingBox box = boxInSource(page->toInput, x, y, x + bw, y + bh, c.width, c.height);
    const PageTransform there = quadTransform(c.quad, w, h);
    double minX = 1e9, minY = 1e9, maxX = -1e9, maxY = -1e9;
    for (const auto& [qx, qy] :
         {std::pair{sqX, sqY}, {sqX + sq, sqY}, {sqX, sqY + sq}, {sqX + sq, sqY + sq}}) {
      const SourcePoint p = pointInSource(there, qx, qy);
      minX = std::min(minX, p.x), maxX = std::max(maxX, p.x);
      minY = std::min(minY, p.y), maxY = std::max(maxY, p.y);
    }
    EXPECT_NEAR(box.x * pw, minX, 3) << c.level;
    EXPECT_NEAR((box.x + box.width) * pw, maxX, 3) << c.level;
    EXPECT_NEAR((1 - box.y - box.height) * ph, minY, 3) << c.level;
    EXPECT_NEAR((1 - box.y) * ph, maxY, 3) << c.level;
  }
}

TEST(PagePreparation, PagesWithoutASurfaceAroundThemAreNotStraightened) {
  const Image text = textPage(24);
  ASSERT_FALSE(text.empty());
  PixPtr paper = pixFromImage(text);
  const int w = pixGetWidth(paper.get()), h = pixGetHeight(paper.get());
  // Besides the pages without a surface, papers lying square on a grey desk and on a dark table
  // (nothing to straighten: resampling would only blur them).
  std::vector<PixPtr> pages = pagesWithoutSurface(paper.get());
  pages.push_back(onSurface(paper.get(), {160, 10, 90, 70, w + 200, h + 150, 0}));
  pages.push_back(onSurface(paper.get(), {40, 30, 110, 60, w + 220, h + 140, 0}));
  EXPECT_TRUE(paperOnDarkSurface(pages.back().get()));
  for (const PixPtr& page : pages) {
    EXPECT_FALSE(straightenedPaper(page.get()))
        << pixGetWidth(page.get()) << " " << pixGetDepth(page.get());
  }
}

}  // namespace
}  // namespace marrowfen::scan
