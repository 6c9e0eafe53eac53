// A PDF opened as marrowfen-scan opens one: the page count, then the first page's media box, text
// layer, text render modes and a small rendering.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "scan/imaging.h"
#include "scan/mupdf_deadline.h"
#include "scan/mupdf_pdf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace marrowfen::scan;
  // The adapter opens files by name; one scratch file per process, rewritten for each input.
  static const std::string path = [] {
    char name[] = "/tmp/marrowfen-pdf-fuzz-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd >= 0) ::close(fd);
    return std::string(name);
  }();
  // Each page gets 2 s of MuPDF's time instead of 20: a slow input is stopped as the program
  // stops it, sooner, and is not reported as a timeout.
  static const bool shortPages = [] {
    setPageTimeBudget(std::chrono::seconds(2));
    return true;
  }();
  (void)shortPages;
  FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  auto document = mupdfPdfService().open(path);
  if (!document) return 0;
  if (document->isLocked() && !document->unlock("")) return 0;
  if (document->pageCount() < 1) return 0;
  auto page = document->pageAt(0);
  if (!page) return 0;
  (void)page->text();
  page->scanTextRenderModes([](std::optional<int64_t>) {});
  // A small canvas keeps each run short; the drawing code is the same at any size.
  const PageCanvas canvas = pageCanvas(page->mediaBox(), page->rotation(), 0.25, 0);
  (void)page->render(std::min(canvas.width, 300.0), std::min(canvas.height, 300.0));
  return 0;
}
