#include "scan/ocr_run.h"

#include <memory>
#include <optional>

#include "scan/command_line.h"
#include "scan/imaging.h"
#include "scan/pdf_open.h"
#include "scan/platform.h"
#include "scan/progress.h"
#include "scan/recognize.h"
#include "scan/run_state.h"
#include "scan/text_layer.h"
#include "scan/write_json.h"

namespace marrowfen::scan {
namespace {

// Recognises one image; a recogniser failure ends the run, dropping what was collected.
OcrPage recognizeOrFail(const Image& image, int64_t pageNumber) {
  Recognition recognition = recognize(image, pageNumber);
  if (!recognition.page) fail("Native OCR failed: " + recognition.error);
  return std::move(*recognition.page);
}

// How many of a document's pages the run reads.
int64_t selectedPageCount(int64_t pageCount, const std::optional<PageSelection>& selection) {
  if (!selection) return pageCount;
  int64_t count = 0;
  for (int64_t pageNumber = 1; pageNumber <= pageCount; ++pageNumber) {
    if (selection->contains(pageNumber)) ++count;
  }
  return count;
}

void readPdf(std::vector<OcrPage>& pages, std::vector<std::string>& warnings) {
  const std::unique_ptr<PdfDocument> document = openPdfDocument(inputUrl, "native OCR");
  const int64_t pageCount = document->pageCount();
  const auto& selection = recognitionOptions.pages;
  PageProgress progress(selectedPageCount(pageCount, selection));
  for (int64_t index = 0; index < pageCount; ++index) {
    const int64_t pageNumber = index + 1;
    if (selection && !selection->contains(pageNumber)) continue;
    const PageFinishedOnExit reportWhenDone(progress, pageNumber);
    const std::unique_ptr<PdfPage> page = document->pageAt(index);
    if (page == nullptr) {
      warnings.push_back("Could not read PDF page " + std::to_string(pageNumber) + ".");
      continue;
    }
    PageSource source = chooseSource(*page);
    if (source.kind == PageSource::Kind::kTextLayer) {
      OcrPage textPage{.pageNumber = pageNumber,
                       .text = source.text,
                       .confidence = source.text.empty() ? 0.0 : 1.0,
                       .fragments = textLayerFragments(*page),
                       .source = "text_layer",
                       .sourceReason = source.reason};
      pages.push_back(std::move(textPage));
      continue;
    }
    const std::optional<Image> image = renderPdfPage(*page);
    if (!image) {
      warnings.push_back("Could not render PDF page " + std::to_string(pageNumber) + " for OCR.");
      continue;
    }
    OcrPage recognized = recognizeOrFail(*image, pageNumber);
    if (recognitionOptions.source != "ocr") {
      recognized.source = "ocr";
      recognized.sourceReason = source.reason;
    }
    pages.push_back(std::move(recognized));
  }
}

void readImage(std::vector<OcrPage>& pages) {
  const std::optional<Image> loaded = platform().images->load(inputUrl);
  if (!loaded) fail("Could not open image for native OCR.");
  const std::optional<Image> bitmap = cgImage(*loaded);
  if (!bitmap) fail("Could not open image for native OCR.");
  // An image is always page 1 and always recognised, whatever --pages and --source say.
  PageProgress progress(1);
  pages.push_back(recognizeOrFail(resampledImage(*bitmap), 1));
  progress.pageFinished(1);
}

}  // namespace

OcrOutput aggregateOcrOutput(std::vector<OcrPage> pages, std::vector<std::string> warnings,
                             bool isPdf) {
  OcrOutput output;
  output.ok = true;
  output.sourceType = isPdf ? "native_ocr_pdf" : "native_ocr_image";
  for (const OcrPage& page : pages) {
    if (page.text.empty()) continue;
    if (!output.rawText.empty()) output.rawText += "\n\n";
    output.rawText += page.text;
  }
  double sum = 0;
  for (const OcrPage& page : pages) sum += page.confidence;
  output.confidence = pages.empty() ? 0.0 : sum / static_cast<double>(pages.size());
  output.pageCount = std::max<int64_t>(static_cast<int64_t>(pages.size()), 1);
  output.pages = std::move(pages);
  output.warnings = std::move(warnings);
  return output;
}

int runOcr() {
  std::vector<OcrPage> pages;
  std::vector<std::string> warnings;
  const bool isPdf = ext == "pdf";
  if (isPdf) {
    readPdf(pages, warnings);
  } else {
    readImage(pages);
  }
  writeJson(aggregateOcrOutput(std::move(pages), std::move(warnings), isPdf));
  return 0;
}

}  // namespace marrowfen::scan
