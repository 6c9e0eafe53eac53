#include "scan/ocr_run.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "scan/command_line.h"
#include "scan/imaging.h"
#include "scan/pdf_open.h"
#include "scan/platform.h"
#include "scan/recognize.h"
#include "scan/run_state.h"
#include "scan/text_layer.h"
#include "scan/write_json.h"

namespace marrowfen::scan {

std::vector<OcrPage> pages;
std::vector<std::string> warnings;

namespace {

void readPdfPages() {
  const std::unique_ptr<PdfDocument> document = openPdfDocument(inputUrl, "native OCR");
  const int64_t pageCount = document->pageCount();
  for (int64_t index = 0; index < pageCount; ++index) {
    const int64_t pageNumber = index + 1;
    if (recognitionOptions.pages && !recognitionOptions.pages->contains(pageNumber)) continue;
    const std::unique_ptr<PdfPage> page = document->pageAt(index);
    if (!page) {
      warnings.push_back("Could not read PDF page " + std::to_string(pageNumber) + ".");
      continue;
    }
    PageSource source = chooseSource(*page);
    if (source.kind == PageSource::Kind::kTextLayer) {
      const double confidence = source.text.empty() ? 0 : 1;
      pages.push_back({.pageNumber = pageNumber,
                       .text = std::move(source.text),
                       .confidence = confidence,
                       .fragments = textLayerFragments(*page),
                       .source = "text_layer",
                       .sourceReason = std::move(source.reason)});
      continue;
    }
    const std::optional<Image> image = renderPdfPage(*page);
    if (!image) {
      warnings.push_back("Could not render PDF page " + std::to_string(pageNumber) + " for OCR.");
      continue;
    }
    Recognition recognition = recognize(*image, pageNumber);
    if (!recognition.page) fail("Native OCR failed: " + recognition.error);
    if (recognitionOptions.source != "ocr") {
      recognition.page->source = "ocr";
      recognition.page->sourceReason = std::move(source.reason);
    }
    pages.push_back(std::move(*recognition.page));
  }
}

void readImage() {
  const std::optional<Image> loaded = platform().images->load(inputUrl);
  if (!loaded) fail("Could not open image for native OCR.");
  const std::optional<Image> bitmap = cgImage(*loaded);
  if (!bitmap) fail("Could not open image for native OCR.");
  // An image is always page 1 and always recognised; --pages and --source do not apply.
  Recognition recognition = recognize(resampledImage(*bitmap), 1);
  if (!recognition.page) fail("Native OCR failed: " + recognition.error);
  pages.push_back(std::move(*recognition.page));
}

}  // namespace

OcrOutput aggregatedOutput(const std::string& extension, const std::vector<OcrPage>& pages,
                           const std::vector<std::string>& warnings) {
  OcrOutput output;
  output.ok = true;
  output.sourceType = extension == "pdf" ? "native_ocr_pdf" : "native_ocr_image";
  bool first = true;
  double sum = 0;
  for (const OcrPage& page : pages) {
    sum += page.confidence;
    if (page.text.empty()) continue;
    if (!first) output.rawText += "\n\n";
    output.rawText += page.text;
    first = false;
  }
  output.confidence = pages.empty() ? 0 : sum / static_cast<double>(pages.size());
  output.pageCount = std::max<int64_t>(1, static_cast<int64_t>(pages.size()));
  output.pages = pages;
  output.warnings = warnings;
  return output;
}

int runOcr() {
  pages.clear();
  warnings.clear();
  if (ext == "pdf") {
    readPdfPages();
  } else {
    readImage();
  }
  writeJson(aggregatedOutput(ext, pages, warnings));
  return 0;
}

}  // namespace marrowfen::scan
