// Result records of marrowfen-scan: plain values, built in one step and only ever written out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace marrowfen::scan {

// A rectangle normalised to its image or page: fractions of width and height, origin at the
// lower-left corner, y growing upwards; (x, y) is the lower-left corner.
struct BoundingBox {
  double x = 0;       // left edge
  double y = 0;       // bottom edge
  double width = 0;   // horizontal extent
  double height = 0;  // vertical extent
};

// One piece of recognised or extracted text.
struct OcrFragment {
  std::string text;         // the word or line
  double confidence = 0;    // 0..1; exactly 1 for text-layer fragments
  BoundingBox boundingBox;  // where it stands on the page
};

// One page of an OCR run.
struct OcrPage {
  int64_t pageNumber = 0;                   // 1-based
  std::string text;                         // the page's text in reading order
  double confidence = 0;                    // mean line confidence, or 1/0 for text layers
  std::vector<OcrFragment> fragments;       // words or lines, possibly empty
  std::optional<std::string> source;        // where the text came from; may be set later
  std::optional<std::string> sourceReason;  // why; may be set later
};

// The result of an OCR run.
struct OcrOutput {
  bool ok = true;                     // always true when written
  std::string sourceType;             // "native_ocr_pdf" or "native_ocr_image"
  int64_t pageCount = 0;              // pages produced, at least 1
  std::string rawText;                // page texts joined by blank lines
  double confidence = 0;              // mean page confidence
  std::vector<OcrPage> pages;         // in page order
  std::vector<std::string> warnings;  // per-page problems, in the order they arose
};

// The answer to any failure, in either mode.
struct OcrFailure {
  bool ok = false;    // always false when written
  std::string error;  // the message
};

// One written page image.
struct RenderedPage {
  int64_t pageNumber = 0;  // 1-based
  std::string path;        // absolute path of the PNG file
};

// The result of a page-rendering run.
struct RenderOutput {
  bool ok = true;                     // always true when written
  int64_t pageCount = 0;              // the document's page count, at least 1
  std::vector<RenderedPage> pages;    // in ascending page order
  std::vector<std::string> warnings;  // pages that could not be read or rendered
};

}  // namespace marrowfen::scan
