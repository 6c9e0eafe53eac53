#include "scan/render_pages.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "scan/command_line.h"
#include "scan/run_state.h"
#include "scan/testing/fake_platform.h"

namespace marrowfen::scan {
namespace {

using Pages = std::vector<int64_t>;

TEST(SelectedRenderPageNumbersTest, LimitsAndFirstLastSelections) {
  const struct {
    int64_t pageCount;
    int64_t limit;
    std::string selection;
    Pages pages;
  } cases[] = {
      {10, 0, "first-last:3:2", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {10, -5, "", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {10, 12, "first-last:1:1", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {10, 4, "", {1, 2, 3, 4}},
      {10, 4, "first-last:3:2", {1, 2, 3, 10}},
      {10, 5, "first-last:x:y", {1, 2, 3, 9, 10}},
      {10, 5, "first-last:2:5", {1, 2, 8, 9, 10}},
      {10, 5, "first-last:0:-1", {1}},
      {10, 4, "first-last:6:2", {1, 2, 3, 4}},
      {10, 4, "FIRST-LAST:1:1", {1, 2, 3, 4}},
      {10, 4, "first-last:1", {1, 2, 3, 4}},
      {10, 4, "first-last:1:1:1", {1, 2, 3, 4}},
      {10, 4, "first-last::2", {1, 2, 3, 4}},
      {10, 4, ":first-last:1::1:", {1, 10}},  // empty pieces drop out
      {0, 3, "first-last:1:1", {}},
      {1, 7, "first-last:0:9", {1}},
      {3, 1, "", {1}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(selectedRenderPageNumbers(c.pageCount, c.limit, c.selection), c.pages)
        << c.pageCount << " " << c.limit << " " << c.selection;
  }
}

TEST(RenderedPageFileNameTest, PadsToFourDigits) {
  EXPECT_EQ(renderedPageFileName(7), "page-0007.png");
  EXPECT_EQ(renderedPageFileName(10000), "page-10000.png");
}

// The run against doubles: warnings for pages that cannot be read or rendered, the document's
// page count reported whatever was written.
TEST(RunRenderPagesTest, WarningsAndReportedPageCount) {
  testing::FakePdfService pdf;
  pdf.document = testing::FakePdfDocument();
  testing::FakePageData unrenderable;
  unrenderable.renderable = false;
  pdf.document->pages = {testing::FakePageData{}, std::nullopt, unrenderable,
                         testing::FakePageData{}};
  const Platform saved = platform();
  platform().pdf = &pdf;
  const auto dir =
      std::filesystem::temp_directory_path() / ("mf-render-test-" + std::to_string(::getpid()));
  renderOutputDir = (dir / "a" / "b").string();
  inputUrl = "/in/doc.pdf";
  ext = "pdf";
  renderMaxPages = 0;
  renderPageSelection = "";
  baseRenderScale = 0.1;
  minimumRenderLongEdge = 0;

  ::testing::internal::CaptureStdout();
  EXPECT_EQ(runRenderPages(), 0);
  const std::string json = ::testing::internal::GetCapturedStdout();
  platform() = saved;
  const std::string written = (dir / "a" / "b").string();
  EXPECT_EQ(json, R"({"ok":true,"pageCount":4,"pages":[{"pageNumber":1,"path":")" + written +
                      R"(/page-0001.png"},{"pageNumber":4,"path":")" + written +
                      R"(/page-0004.png"}],"warnings":["Could not read PDF page 2.",)"
                      R"("Could not render PDF page 3."]})"
                      "\n");
  EXPECT_TRUE(std::filesystem::exists(dir / "a" / "b" / "page-0004.png"));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace marrowfen::scan
