#include "scan/render_pages.h"

#include <gtest/gtest.h>

namespace marrowfen::scan {
namespace {

TEST(RenderPagesTest, SelectedRenderPageNumbers) {
  using Pages = std::vector<int64_t>;
  struct Case {
    int64_t pageCount, maxPages;
    const char* selection;
    Pages pages;
  };
  const Case cases[] = {
      {10, 0, "first-last:1:1", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {10, 12, "", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
      {10, -5, "", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
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
      {10, 4, ":first-last:1:1:", {1, 10}},
      {0, 4, "first-last:1:1", {}},
      {1, 3, "first-last:0:5", {1}},
      {3, 1, "", {1}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(selectedRenderPageNumbers(c.pageCount, c.maxPages, c.selection), c.pages)
        << c.pageCount << " " << c.maxPages << " " << c.selection;
  }
}

TEST(RenderPagesTest, FileNamesHaveAtLeastFourDigits) {
  EXPECT_EQ(renderedPageFileName(7), "page-0007.png");
  EXPECT_EQ(renderedPageFileName(10000), "page-10000.png");
}

}  // namespace
}  // namespace marrowfen::scan
