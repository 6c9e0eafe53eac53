#include "scan/ocr_run.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <memory>
#include <optional>

#include "scan/command_line.h"
#include "scan/imaging.h"
#include "scan/parallel_recognition.h"
#include "scan/pdf_open.h"
#include "scan/platform.h"
#include "scan/progress.h"
#include "scan/recognize.h"
#include "scan/run_state.h"
#include "scan/text_layer.h"
#include "scan/write_json.h"

namespace marrowfen::scan {
namespace {

constexpr char kRecognitionFailed[] = "Native OCR failed: ";

// Recognises one image; a recogniser failure ends the run, dropping what was collected.
OcrPage recognizeOrFail(Image image, int64_t pageNumber) {
  Recognition recognition = recognize(std::move(image), pageNumber);
  if (!recognition.page) fail(kRecognitionFailed + recognition.error);
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

// One entry of the answer, in page order: a page read from its text layer, a warning, or a
// page under recognition.
struct PendingPage {
  int64_t pageNumber = 0;
  std::optional<OcrPage> page;         // a page that is ready
  std::optional<std::string> warning;  // a page that could not be read or rendered
  std::optional<size_t> ticket;        // a page being recognised (PageRecognition)
  std::string reason;                  // why that page is recognised
};

// The pages selected after index `index` of a document of `pageCount` pages.
int64_t selectedPagesAfter(int64_t index, int64_t pageCount) {
  const auto& selection = recognitionOptions.pages;
  if (!selection) return pageCount - index - 1;
  int64_t count = 0;
  for (const auto& [first, last] : selection->ranges) {
    const int64_t from = std::max(first, index + 2);
    const int64_t to = std::min(last, pageCount);
    if (to >= from) count += to - from + 1;
  }
  return count;
}

// Takes the entries at the front of `pending` whose answer is there (with `wait`, all of them,
// waiting for each), in page order. This is the one place where the answer grows: pages and
// warnings are appended here and nowhere else, and each page is reported to `progress` as it is
// taken. A recognition error ends the run, as it would have if the pages had been read one after
// another; a page that ran out of time becomes a warning.
void takePages(std::deque<PendingPage>& pending, PageRecognition& recognition, bool wait,
               PageProgress& progress, std::vector<OcrPage>& pages,
               std::vector<std::string>& warnings) {
  while (!pending.empty()) {
    PendingPage& next = pending.front();
    if (next.warning) {
      warnings.push_back(std::move(*next.warning));
    } else if (next.page) {
      pages.push_back(std::move(*next.page));
    } else {
      if (!wait && !recognition.finished(*next.ticket)) return;
      Recognition recognized = recognition.take(*next.ticket);
      if (recognized.overTime) {
        // The page is given up, not the document.
        warnings.push_back(std::move(recognized.error));
      } else if (!recognized.page) {
        fail(kRecognitionFailed + recognized.error);
      } else {
        if (recognitionOptions.source != "ocr") {
          recognized.page->source = "ocr";
          recognized.page->sourceReason = next.reason;
        }
        pages.push_back(std::move(*recognized.page));
      }
    }
    progress.pageFinished(next.pageNumber);
    pending.pop_front();
  }
}

// Pages are read, chosen and rendered here one after another; the pages to recognise go to
// PageRecognition, which recognises them on every core when there are two or more.
void readPdf(std::vector<OcrPage>& pages, std::vector<std::string>& warnings) {
  const std::unique_ptr<PdfDocument> document = openPdfDocument(inputUrl, "native OCR");
  const int64_t pageCount = document->pageCount();
  const auto& selection = recognitionOptions.pages;
  PageProgress progress(selectedPageCount(pageCount, selection));
  PageRecognition recognition(recognitionWorkers);
  std::deque<PendingPage> pending;
  for (int64_t index = 0; index < pageCount; ++index) {
    const int64_t pageNumber = index + 1;
    if (selection && !selection->contains(pageNumber)) continue;
    pending.push_back(PendingPage{.pageNumber = pageNumber});
    PendingPage& entry = pending.back();
    const std::unique_ptr<PdfPage> page = document->pageAt(index);
    if (page == nullptr) {
      entry.warning = "Could not read PDF page " + std::to_string(pageNumber) + ".";
    } else if (PageSource source = chooseSource(*page);
               source.kind == PageSource::Kind::kTextLayer) {
      OcrPage textPage{.pageNumber = pageNumber,
                       .text = source.text,
                       .confidence = source.text.empty() ? 0.0 : 1.0,
                       .fragments = textLayerFragments(*page),
                       .source = "text_layer",
                       .sourceReason = source.reason};
      entry.page = std::move(textPage);
    } else if (std::optional<Image> image = renderPdfPage(*page)) {
      entry.reason = source.reason;
      entry.ticket =
          recognition.add(std::move(*image), pageNumber, selectedPagesAfter(index, pageCount));
    } else {
      entry.warning = "Could not render PDF page " + std::to_string(pageNumber) + " for OCR.";
    }
    takePages(pending, recognition, false, progress, pages, warnings);
  }
  takePages(pending, recognition, true, progress, pages, warnings);
}

// The page to recognise from the input image; nothing else keeps its pixels, so the recogniser
// can free them once it has its own copy.
Image imageToRecognise() {
  const std::optional<Image> loaded = platform().images->load(inputUrl);
  if (!loaded) fail("Could not open image for native OCR.");
  const std::optional<Image> bitmap = cgImage(*loaded);
  if (!bitmap) fail("Could not open image for native OCR.");
  return resampledImage(*bitmap);
}

void readImage(std::vector<OcrPage>& pages) {
  Image image = imageToRecognise();
  // An image is always page 1 and always recognised, whatever --pages and --source say.
  PageProgress progress(1);
  pages.push_back(recognizeOrFail(std::move(image), 1));
  progress.pageFinished(1);
}

}  // namespace

void endRunOverTime(const std::string& error) {
  writeJson(OcrFailure{.ok = false, .error = kRecognitionFailed + error});
  std::fflush(stdout);
  ::_exit(1);
}

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
