#include "scan/text_layer.h"

#include "common/unicode.h"
#include "scan/run_state.h"

namespace marrowfen::scan {
namespace {

constexpr size_t kSubstantialAlphanumerics = 20;

}  // namespace

std::optional<std::string> embeddedText(const PdfPage& page) {
  const std::optional<std::string> text = page.text();
  const std::string_view layer = trimmed(text ? std::string_view(*text) : std::string_view());
  size_t count = 0;
  for (size_t i = 0; i < layer.size() && count < kSubstantialAlphanumerics;) {
    if (isAlphanumeric(nextScalar(layer, i))) ++count;
  }
  if (count < kSubstantialAlphanumerics) return std::nullopt;
  return std::string(layer);
}

bool pageHasInvisibleText(const PdfPage& page) {
  bool invisible = false;
  // The whole content is scanned; a mode that is not an integer is no answer.
  page.scanTextRenderModes([&invisible](std::optional<int64_t> mode) {
    if (mode && *mode == 3) invisible = true;
  });
  return invisible;
}

PageSource chooseSource(const PdfPage& page) {
  const std::string& source = recognitionOptions.source;
  if (source == "text-layer") {
    return PageSource::textLayer(embeddedText(page).value_or(std::string()), "forced");
  }
  if (source == "auto") {
    std::optional<std::string> text = embeddedText(page);
    if (!text) return PageSource::ocr("no_text_layer");
    if (pageHasInvisibleText(page)) return PageSource::ocr("invisible_ocr_layer");
    return PageSource::textLayer(std::move(*text), "visible_text_layer");
  }
  return PageSource::ocr("forced");
}

std::vector<OcrFragment> textLayerFragments(const PdfPage& page) {
  const PdfRect media = page.mediaBox();
  const std::optional<std::string> text = page.text();
  if (!(media.width > 0) || !(media.height > 0) || !text || utf16Length(*text) == 0) return {};
  const std::optional<std::vector<PdfTextLine>> lines = page.textLines();
  if (!lines) return {};
  std::vector<OcrFragment> fragments;
  for (const PdfTextLine& line : *lines) {
    const std::string_view lineText = trimmed(line.text);
    if (lineText.empty()) continue;
    const PdfRect& b = line.bounds;
    if (!(b.width > 0) || !(b.height > 0)) continue;
    fragments.push_back({.text = std::string(lineText),
                         .confidence = 1.0,
                         .boundingBox = {.x = (b.x - media.x) / media.width,
                                         .y = (b.y - media.y) / media.height,
                                         .width = b.width / media.width,
                                         .height = b.height / media.height}});
  }
  return fragments;
}

}  // namespace marrowfen::scan
