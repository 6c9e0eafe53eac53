// A PDF page's text layer and the choice, per page, between it and recognition.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "scan/platform.h"
#include "scan/records.h"

namespace marrowfen::scan {

// Where one page's text comes from.
struct PageSource {
  enum class Kind { kOcr, kTextLayer };
  Kind kind = Kind::kOcr;  // render and recognise, or take the text layer
  std::string text;        // the text-layer text (kTextLayer only)
  std::string reason;      // "forced", "no_text_layer", "invisible_ocr_layer", "visible_text_layer"

  static PageSource ocr(std::string reason) { return {Kind::kOcr, {}, std::move(reason)}; }
  static PageSource textLayer(std::string text, std::string reason) {
    return {Kind::kTextLayer, std::move(text), std::move(reason)};
  }
};

// By recognitionOptions.source, read at every call: "text-layer" takes the layer (empty when it
// is not substantial), "auto" takes it only when substantial and drawn visibly, anything else
// recognises without reading the page.
PageSource chooseSource(const PdfPage& page);

// The page's text trimmed at both ends, when it holds at least 20 letters, marks or digits;
// otherwise nothing.
std::optional<std::string> embeddedText(const PdfPage& page);

// True when the page's own content sets text render mode 3 (invisible) anywhere.
bool pageHasInvisibleText(const PdfPage& page);

// One fragment per non-blank line of the text layer, in the reader's order, confidence 1, boxes
// normalised to the media box (lower-left origin, unrotated page space). Empty when the media
// box has no area or the page has no text.
std::vector<OcrFragment> textLayerFragments(const PdfPage& page);

}  // namespace marrowfen::scan
