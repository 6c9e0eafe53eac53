// Page preparation for the Tesseract adapter: what the engine needs to read a real page, done to
// the page before it is recognised. Each step takes a Leptonica image and gives a new one plus the
// map from the new image back to the old (page_transform.h), or nothing when the page does not
// need it; the steps are cheap checks first, so a clean upright page passes through unchanged.
#pragma once

#include <leptonica/allheaders.h>

#include <memory>
#include <optional>

#include "scan/image.h"
#include "scan/page_transform.h"

namespace marrowfen::scan {

struct PixDeleter {
  void operator()(Pix* pix) const { pixDestroy(&pix); }
};
using PixPtr = std::unique_ptr<Pix, PixDeleter>;

// The image as the engine reads it with the fewest bytes: a grey image whose pixels are all black
// or white becomes 1 bit a pixel, other grey 8 bits, colour 32 bits (transparency composed over
// white). Nothing when Leptonica cannot allocate it.
PixPtr pixFromImage(const Image& image);

// A new image and the map from it back to the image the step was given. `localThreshold`: the
// page's letters were tiny and have been enlarged so far that their edges are a wide blur, which
// a page-wide threshold takes for ink (letters run together and the engine's layout finds no
// lines); the engine should threshold such a page by the neighbourhood of each pixel instead.
struct PreparedPage {
  PixPtr pix;
  PageTransform toInput;
  bool localThreshold = false;
};

// Black-on-white 1-bit copy for measuring (a global Otsu threshold on the luminance).
PixPtr binaryForAnalysis(Pix* pix);

// The median height in pixels of letter-like connected components of a 1-bit page (neither
// specks nor rules nor pictures); 0 when there are too few to tell.
double medianTextHeight(Pix* binary);
// The median width of the same components; 0 when there are too few to tell.
double medianTextWidth(Pix* binary);

// The height of the page's letters: medianTextHeight, measured again without the page's rules
// when it comes out small, so that rows of dots do not pass for small print.
double letterHeight(Pix* binary);

// True when the paper's brightness varies across a grey or colour page so much (shadows, a
// photo's falling light) that one global threshold would lose text in the dark or light parts.
bool unevenLight(Pix* pix);

// The page with its background levelled to one brightness (Leptonica's background
// normalisation) and that brightness made white, as 8-bit grey; pixels stay where they are.
PixPtr levelledLight(Pix* pix);

// Whether a 1-bit page's ink is mostly specks: pieces too small to be letters outnumber the
// letter-like ones kSpeckledPage times over (the grain of a photo taken in poor light, a noisy
// scan of faint print). Such specks pass for tiny print and hide the letters from the engine.
bool speckled(Pix* binary);
inline constexpr double kSpeckledPage = 5;

// A grey or colour page smoothed over each pixel's 3 x 3 neighbourhood, as 8-bit grey: grain
// averages out, strokes two or more pixels wide stay.
PixPtr smoothedGrain(Pix* pix);

// A colour page whose print is neutral (black or grey) but which carries coloured marks (a
// stamp, a pen's ticks and signature, a highlighter) that cross its text: the page in 8-bit grey
// where each pixel takes its brightest channel, so that coloured ink turns pale and the print
// stays dark. Nothing when the page is not colour, has next to no coloured ink, or when coloured
// ink is a large part of its ink (a page printed in colour, whose text that would wipe out), and
// for a page over kMaxSharpenedColourPixels, where the grey copy held beside the page while it is
// read would take recognition towards a gigabyte.
PixPtr withoutColouredMarks(Pix* pix);

// The negative of a page that is mostly dark (light letters on a dark ground: a film negative, a
// screenshot of a dark theme): most of its pixels, and of its middle half, fall below the split
// of its brightness between ink and paper (a paper photographed on a dark table is light in the
// middle). Same depth, except a colour page over kMaxSharpenedColourPixels, whose negative is
// grey. Nothing for a page that is mostly light.
PixPtr negativeOfDarkPage(Pix* pix);

// A photographed page (grey or colour) sharpened by unsharp masking, which undoes some of a phone
// photo's blur; nothing above kMaxUnsharpPixels, whose blurred copies (four bytes a pixel) would
// cost more memory than the sharpening is worth.
PixPtr sharpenedPhoto(Pix* pix);
inline constexpr double kMaxUnsharpPixels = 32e6;

// The long thin horizontal and vertical strokes of a 1-bit page (underlines, table rules, box
// frames, dotted or dashed separators) whose letters are `textHeight` pixels high, as a mask of
// the page's size: runs at least eight letters long and at most a third of a letter thick, so
// letters themselves never qualify; the mask takes `fringe` pixels either side of each stroke
// with it. Nothing when the page has none.
PixPtr ruleMask(Pix* binary, double textHeight, int fringe = 1);

// A copy of the page with the pixels under `mask` painted white.
PixPtr withoutRules(Pix* pix, Pix* mask);

// The scale that brings text of `textHeight` pixels to a size the engine reads well: 1 when it
// already is (or the height is unknown), above 1 for small text, below 1 for very large text;
// never makes a page larger than kMaxPreparedPixels.
double scaleForTextHeight(double textHeight, int width, int height);
// Letters at most this many pixels high (before enlargement; their pieces at most kSmallText
// wide) are read with a local threshold.
inline constexpr double kTinyText = 6;
inline constexpr double kMaxPreparedPixels = 60e6;
// Leptonica sharpens a page it scales by less than 1.4 through a float copy of each channel; for
// a colour page above this size (128 MB of pixels) that copy and the channel copies would lift
// the peak past a gigabyte, so such a page is scaled without the sharpening.
inline constexpr double kMaxSharpenedColourPixels = 32e6;

// The page resampled by `scale` (grey or colour interpolated; 1-bit pages are made grey first
// when enlarged). Nothing for a scale of 1.
std::optional<PreparedPage> scaledPage(Pix* pix, double scale);

// The skew of the text lines of a 1-bit page, in degrees clockwise, searched up to 15 degrees
// either way and, when no direction stands out there, up to 45; nothing when none stands out.
std::optional<double> textSkewDegrees(Pix* binary);

// The page turned by `degrees` clockwise around its centre onto a canvas large enough to hold all
// of it, white brought in at the corners. A colour page above kMaxSharpenedColourPixels is turned
// in grey: its canvas and the turned copy, at four bytes a pixel, would hold the best part of a
// gigabyte beside the page.
PreparedPage rotatedPage(Pix* pix, double degrees);

// The page turned `quarterTurns` quarters clockwise.
PreparedPage turnedPage(Pix* pix, int quarterTurns);

// A photo of a paper lying on a darker surface (a table, a hand): the page cropped to the bounds
// of the bright paper, everything around the paper inside those bounds painted white, and the map
// back. Nothing when the page's edges are not mostly far darker than its paper (scans, photos
// the paper fills), which a sample of edge pixels tells before anything else is done.
std::optional<PreparedPage> paperOnDarkSurface(Pix* pix);

// Whether most of the page's edges are a little darker than its paper (a grey desk or table around
// a photographed paper): darker than a scan's shaded margins, too light for paperOnDarkSurface.
bool onGreySurface(Pix* pix);

// A photo of a paper lying on a darker surface (less dark than paperOnDarkSurface needs: a grey
// desk will do), whose edges can be traced as straight lines: the paper with its light levelled
// (grey), stretched from the quadrilateral a photo taken at an angle makes of it back to a
// rectangle, at the size its letters read best at (one resampling); and the map back. Nothing
// when the page's edges are not mostly darker than its paper, fewer than two of the paper's
// edges are found, or the paper lies square in the picture (resampling would only blur it).
std::optional<PreparedPage> straightenedPaper(Pix* pix);

// The paper found on its surface (straightened, or else cut from a dark one), then light, grain,
// scale, skew, sharpening (of a page whose light was levelled and that is not grainy) and rules in
// that order, each only when the page needs it: the page the engine should read, or nothing when
// the input is best read as it is.
std::optional<PreparedPage> preparedPage(Pix* pix);

}  // namespace marrowfen::scan
