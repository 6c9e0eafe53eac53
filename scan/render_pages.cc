#include "scan/render_pages.h"

#include <cinttypes>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "scan/command_line.h"
#include "scan/heap_tuning.h"
#include "scan/imaging.h"
#include "scan/pdf_open.h"
#include "scan/platform.h"
#include "scan/progress.h"
#include "scan/run_state.h"
#include "scan/temporary_files.h"
#include "scan/write_json.h"

namespace marrowfen::scan {
namespace {

std::vector<std::string_view> nonEmptyPieces(std::string_view text, char separator) {
  std::vector<std::string_view> pieces;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(separator, start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) pieces.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return pieces;
}

// Creates `directory` with its missing parents; the error's description when that fails.
std::optional<std::string> createOutputDirectory(const std::string& directory) {
  namespace fs = std::filesystem;
  if (directory.empty()) return "The output directory path is empty.";
  std::error_code error;
  fs::create_directories(directory, error);
  if (!error && fs::is_directory(directory, error)) return std::nullopt;
  if (!error) error = std::make_error_code(std::errc::not_a_directory);
  return "Could not create the directory " + directory + ": " + error.message() + ".";
}

// Crops, flattens and writes one page image; ends the run when it cannot be written.
void writePage(const Image& image, const std::string& path) {
  if (auto error = writePng(prepareRenderedPage(image), path)) {
    fail("Page rendering failed: " + *error);
  }
}

}  // namespace

std::vector<int64_t> selectedRenderPageNumbers(int64_t pageCount, int64_t maxPages,
                                               const std::string& selection) {
  std::vector<int64_t> pages;
  if (pageCount <= 0) return pages;
  const int64_t limit = maxPages <= 0 ? pageCount : std::min(maxPages, pageCount);
  const auto range = [&](int64_t first, int64_t last) {
    for (int64_t n = first; n <= last; ++n) pages.push_back(n);
  };
  const auto pieces = nonEmptyPieces(selection, ':');
  if (limit == pageCount || pieces.size() != 3 || pieces[0] != "first-last") {
    range(1, limit);
    return pages;
  }
  int64_t firstCount = readInteger(pieces[1]).value_or(3);
  if (firstCount < 1) firstCount = 1;
  int64_t lastCount = readInteger(pieces[2]).value_or(2);
  if (lastCount < 0) lastCount = 0;
  const int64_t head = std::min(limit, firstCount);
  const int64_t tail = std::max<int64_t>(0, std::min(limit - head, lastCount));
  range(1, head);
  if (tail >= 1) range(std::max(head + 1, pageCount - tail + 1), pageCount);
  if (static_cast<int64_t>(pages.size()) > limit) pages.resize(static_cast<size_t>(limit));
  return pages;
}

std::string renderedPageFileName(int64_t pageNumber) {
  char name[40];
  std::snprintf(name, sizeof name, "page-%04" PRId64 ".png", pageNumber);
  return name;
}

int runRenderPages() {
  // Every page allocates a canvas of some megabytes and frees it again.
  keepPageBuffersOnTheHeap(kRenderingHeapBlockBytes);
  const std::string& directory = *renderOutputDir;
  // Made before the input is opened, so it exists even when opening fails.
  if (auto error = createOutputDirectory(directory)) fail("Page rendering failed: " + *error);
  // What a killed earlier run may have left half-written here.
  removeStaleTemporaryFiles(directory);
  const std::filesystem::path absoluteDirectory(absolutePath(directory));
  const auto pathFor = [&](int64_t pageNumber) {
    return (absoluteDirectory / renderedPageFileName(pageNumber)).string();
  };

  RenderOutput output;
  if (ext == "pdf") {
    const std::unique_ptr<PdfDocument> document = openPdfDocument(inputUrl, "page rendering");
    const int64_t pageCount = document->pageCount();
    int64_t reportedPageCount = std::max<int64_t>(pageCount, 1);
    const std::vector<int64_t> selected =
        selectedRenderPageNumbers(pageCount, renderMaxPages, renderPageSelection);
    PageProgress progress(static_cast<int64_t>(selected.size()));
    for (int64_t n : selected) {
      const PageFinishedOnExit reportWhenDone(progress, n);
      const std::unique_ptr<PdfPage> page = document->pageAt(n - 1);
      if (page == nullptr) {
        output.warnings.push_back("Could not read PDF page " + std::to_string(n) + ".");
        continue;
      }
      std::optional<Image> image = renderPdfPage(*page);
      if (!image) {
        output.warnings.push_back("Could not render PDF page " + std::to_string(n) + ".");
        continue;
      }
      const std::string path = pathFor(n);
      writePage(*image, path);
      output.pages.push_back(RenderedPage{.pageNumber = n, .path = path});
    }
    output.pageCount =
        std::max<int64_t>(reportedPageCount, static_cast<int64_t>(output.pages.size()));
  } else {
    std::optional<Image> loaded = platform().images->load(inputUrl);
    if (!loaded) fail("Could not open image for page rendering.");
    std::optional<Image> bitmap = cgImage(*loaded);
    if (!bitmap) fail("Could not open image for page rendering.");
    const std::string path = pathFor(1);
    PageProgress progress(1);
    writePage(*bitmap, path);
    output.pages.push_back(RenderedPage{.pageNumber = 1, .path = path});
    output.pageCount = 1;
    progress.pageFinished(1);
  }
  output.ok = true;
  writeJson(output);
  return 0;
}

}  // namespace marrowfen::scan
