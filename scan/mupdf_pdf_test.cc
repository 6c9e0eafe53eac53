#include "scan/mupdf_pdf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "scan/testing/pdf_fixtures.h"

namespace marrowfen::scan {
namespace {

using testing::FixtureDocument;
using testing::FixtureEncryption;
using testing::FixturePage;

// A fixture file removed when the test ends.
struct FixtureFile {
  std::string path;
  explicit FixtureFile(const FixtureDocument& document, std::string_view suffix = ".pdf")
      : path(testing::temporaryPath(suffix)) {
    EXPECT_TRUE(testing::writeFixturePdf(document, path));
  }
  explicit FixtureFile(std::string bytes, std::string_view suffix)
      : path(testing::temporaryPath(suffix)) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  ~FixtureFile() { std::remove(path.c_str()); }
};

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

FixturePage pageWithText(std::string_view text, PdfRect box = {0, 0, 612, 792}) {
  FixturePage page;
  page.mediaBox = box;
  page.contents = testing::textContent(text, box.x + 72, box.y + box.height - 100, 12);
  return page;
}

TEST(MupdfPdfTest, PagesGiveMediaBoxAndRotationAsWritten) {
  FixtureDocument document;
  document.inheritedRotate = 180;
  FixturePage plain = pageWithText("one");
  FixturePage shifted = pageWithText("two", {100, -50, 300, 400});
  shifted.rotate = 90;
  FixturePage negative = pageWithText("three");
  negative.rotate = -90;
  FixturePage zero = pageWithText("four");
  zero.rotate = 0;
  document.pages = {plain, shifted, negative, zero};
  FixtureFile file(document);

  auto pdf = mupdfPdfService().open(file.path);
  ASSERT_NE(pdf, nullptr);
  EXPECT_FALSE(pdf->isLocked());
  ASSERT_EQ(pdf->pageCount(), 4);
  struct Expected {
    PdfRect box;
    int64_t rotation;
  };
  const Expected expected[] = {{{0, 0, 612, 792}, 180},
                               {{100, -50, 300, 400}, 90},
                               {{0, 0, 612, 792}, -90},
                               {{0, 0, 612, 792}, 0}};
  for (int i = 0; i < 4; ++i) {
    auto page = pdf->pageAt(i);
    ASSERT_NE(page, nullptr) << i;
    EXPECT_DOUBLE_EQ(page->mediaBox().x, expected[i].box.x) << i;
    EXPECT_DOUBLE_EQ(page->mediaBox().y, expected[i].box.y) << i;
    EXPECT_DOUBLE_EQ(page->mediaBox().width, expected[i].box.width) << i;
    EXPECT_DOUBLE_EQ(page->mediaBox().height, expected[i].box.height) << i;
    EXPECT_EQ(page->rotation(), expected[i].rotation) << i;
  }
  EXPECT_EQ(pdf->pageAt(4), nullptr);
  EXPECT_EQ(pdf->pageAt(-1), nullptr);
}

TEST(MupdfPdfTest, PageCountIsThePagesThatExistNotTheClaimedCount) {
  FixtureDocument document;
  document.pages = {pageWithText("only")};
  document.claimedPageCount = 1410065407;
  FixtureFile file(document);
  auto pdf = mupdfPdfService().open(file.path);
  ASSERT_NE(pdf, nullptr);
  EXPECT_EQ(pdf->pageCount(), 1);
  EXPECT_NE(pdf->pageAt(0), nullptr);
  EXPECT_EQ(pdf->pageAt(1), nullptr);
}

// Documents long enough for the second text reader: every page's text must be its own, whatever
// order the pages are read in, whether the file is locked, and even when its name is given to
// another file while it is open.
TEST(MupdfPdfTest, ManyPagesGiveEachPageItsOwnText) {
  constexpr int kPages = 24;
  FixtureDocument document;
  for (int k = 0; k < kPages; ++k)
    document.pages.push_back(pageWithText("Page number " + std::to_string(k + 1)));
  FixtureDocument locked = document;
  locked.encryption = FixtureEncryption::kAes256;
  locked.userPassword = "secret";
  const std::vector<std::vector<int>> orders = {
      [] {
        std::vector<int> all(kPages);
        for (int k = 0; k < kPages; ++k) all[k] = k;
        return all;
      }(),
      {0, 1, 2, 9, 10, 11, 23},  // a selection with gaps, both parities
      {0, 1, 7, 4, 5, 6, 20},    // going back: pages the reader has passed
      {3, 4},                    // only the start of a run
  };
  for (const FixtureDocument* d : {&document, &locked}) {
    for (const std::vector<int>& order : orders) {
      FixtureFile file(*d);
      auto pdf = mupdfPdfService().open(file.path);
      ASSERT_NE(pdf, nullptr);
      if (pdf->isLocked()) {
        ASSERT_TRUE(pdf->unlock("secret"));
      }
      ASSERT_EQ(pdf->pageCount(), kPages);
      // The name now leads elsewhere; the open document still reads its own file.
      std::remove(file.path.c_str());
      { std::ofstream(file.path) << "not a pdf"; }
      for (int k : order) {
        auto page = pdf->pageAt(k);
        ASSERT_NE(page, nullptr);
        const auto lines = page->textLines();
        ASSERT_TRUE(lines && lines->size() == 1) << k;
        EXPECT_EQ((*lines)[0].text, "Page number " + std::to_string(k + 1));
        EXPECT_GT((*lines)[0].bounds.width, 50);
      }
    }
  }
}

TEST(MupdfPdfTest, FilesThatAreNoPdfOpenAsNothing) {
  FixtureDocument document;
  document.pages = {pageWithText("whole")};
  FixtureFile whole(document);
  const std::string bytes = readAll(whole.path);
  FixtureFile text("just some words, no PDF at all\n", ".pdf");
  FixtureFile empty("", ".pdf");
  FixtureFile png(std::string("\x89PNG\r\n\x1a\n", 8) + std::string(100, '\0'), ".pdf");
  EXPECT_EQ(mupdfPdfService().open(text.path), nullptr);
  EXPECT_EQ(mupdfPdfService().open(empty.path), nullptr);
  EXPECT_EQ(mupdfPdfService().open(png.path), nullptr);
  EXPECT_EQ(mupdfPdfService().open(std::filesystem::temp_directory_path().string()), nullptr);
  EXPECT_EQ(mupdfPdfService().open("/no/such/file.pdf"), nullptr);

  // Cut anywhere, a PDF either opens (repaired) or gives nothing; it never crashes, and every
  // page it claims can be asked for.
  for (size_t cut : {size_t{20}, bytes.size() / 3, bytes.size() / 2, bytes.size() - 30}) {
    FixtureFile truncated(bytes.substr(0, cut), ".pdf");
    auto pdf = mupdfPdfService().open(truncated.path);
    if (pdf == nullptr) continue;
    for (int64_t i = 0; i < pdf->pageCount(); ++i) {
      if (auto page = pdf->pageAt(i)) {
        page->render(50, 60);
        page->text();
      }
    }
  }
}

struct EncryptionCase {
  FixtureEncryption encryption;
  const char* name;
};

class MupdfEncryptionTest : public ::testing::TestWithParam<EncryptionCase> {};

TEST_P(MupdfEncryptionTest, UnlocksWithUserOrOwnerPasswordOnly) {
  FixtureDocument document;
  document.pages = {pageWithText("secret"), pageWithText("pages")};
  document.encryption = GetParam().encryption;
  document.userPassword = "user-pw";
  document.ownerPassword = "owner-pw";
  FixtureFile file(document);

  for (const char* right : {"user-pw", "owner-pw"}) {
    auto pdf = mupdfPdfService().open(file.path);
    ASSERT_NE(pdf, nullptr);
    EXPECT_TRUE(pdf->isLocked());
    EXPECT_EQ(pdf->pageCount(), 0) << "no pages while locked";
    EXPECT_FALSE(pdf->unlock(""));
    EXPECT_FALSE(pdf->unlock("wrong"));
    EXPECT_TRUE(pdf->isLocked());
    EXPECT_TRUE(pdf->unlock(right)) << right;
    EXPECT_FALSE(pdf->isLocked());
    ASSERT_EQ(pdf->pageCount(), 2);
    auto page = pdf->pageAt(0);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->text().value_or(""), "secret");
  }
}

INSTANTIATE_TEST_SUITE_P(Revisions, MupdfEncryptionTest,
                         ::testing::Values(EncryptionCase{FixtureEncryption::kAes128, "R4"},
                                           EncryptionCase{FixtureEncryption::kAes256, "R6"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MupdfPdfTest, Aes256PasswordInAnotherNormalisationFormOpens) {
  FixtureDocument document;
  document.pages = {pageWithText("caf\xc3\xa9")};
  document.encryption = FixtureEncryption::kAes256;
  document.userPassword = "caf\xc3\xa9";  // U+00E9, the SASLprep form
  document.ownerPassword = "other";
  FixtureFile file(document);
  auto pdf = mupdfPdfService().open(file.path);
  ASSERT_NE(pdf, nullptr);
  EXPECT_FALSE(pdf->unlock("cafe"));
  EXPECT_TRUE(pdf->unlock("cafe\xcc\x81"));  // e + U+0301 COMBINING ACUTE ACCENT
  EXPECT_FALSE(pdf->isLocked());
}

TEST(MupdfPdfTest, SaslPrepNormalisesAndRejects) {
  EXPECT_EQ(saslPrepared("cafe\xcc\x81"), "caf\xc3\xa9");
  EXPECT_EQ(saslPrepared("I\xc2\xadX"), "IX");  // soft hyphen maps to nothing
  EXPECT_EQ(saslPrepared("a\xc2\xa0"
                         "b"),
            "a b");                                                // no-break space to space
  EXPECT_EQ(saslPrepared("\xe2\x85\xa8"), "IX");                   // compatibility form (NFKC)
  EXPECT_EQ(saslPrepared(std::string("a\x07", 2)), std::nullopt);  // control character
}

TEST(MupdfPdfTest, TextLinesAreInUnrotatedUserSpace) {
  for (int64_t rotate : {0, 90, 180, -90}) {
    FixtureDocument document;
    FixturePage page;
    page.mediaBox = {100, 200, 400, 300};
    page.rotate = rotate;
    page.contents = testing::textContent("Hello World", 150, 400, 20) +
                    testing::textContent("Second line", 150, 300, 20);
    document.pages = {page};
    FixtureFile file(document);
    auto pdf = mupdfPdfService().open(file.path);
    ASSERT_NE(pdf, nullptr);
    auto loaded = pdf->pageAt(0);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->text().value_or(""), "Hello World\nSecond line") << rotate;
    auto lines = loaded->textLines();
    ASSERT_TRUE(lines.has_value());
    ASSERT_EQ(lines->size(), 2u) << rotate;
    const PdfRect first = (*lines)[0].bounds;
    EXPECT_EQ((*lines)[0].text, "Hello World");
    // The baseline starts at (150, 400): the box starts there, holds the baseline, and is about
    // one font size high and eleven glyphs wide.
    EXPECT_NEAR(first.x, 150, 2) << rotate;
    EXPECT_LT(first.y, 400) << rotate;
    EXPECT_GT(first.y, 390) << rotate;
    EXPECT_NEAR(first.height, 24, 6) << rotate;  // ascent plus descent of Helvetica
    EXPECT_GT(first.width, 80) << rotate;
    EXPECT_LT(first.width, 140) << rotate;
    EXPECT_LT((*lines)[1].bounds.y, first.y - 80) << rotate;
  }
}

TEST(MupdfPdfTest, PageWithoutTextHasNoTextLayer) {
  FixtureDocument document;
  document.pages = {testing::scannedPage()};
  FixtureFile file(document);
  auto pdf = mupdfPdfService().open(file.path);
  ASSERT_NE(pdf, nullptr);
  auto page = pdf->pageAt(0);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->text(), std::nullopt);
  ASSERT_TRUE(page->textLines().has_value());
  EXPECT_TRUE(page->textLines()->empty());
}

TEST(MupdfPdfTest, TextRenderModeScanSeesThePagesOwnStreamsOnly) {
  struct Case {
    const char* name;
    std::string contents;
    std::string form;
    std::vector<int64_t> modes;
  };
  const std::string text = testing::textContent("Invisible words", 72, 700);
  const Case cases[] = {
      {"inside BT", testing::textContent("Invisible", 72, 700, 12, 3), "", {3}},
      {"before BT", "3 Tr\n" + text, "", {3}},
      {"inside q", "q 3 Tr\n" + text + "Q 0 Tr\n" + text, "", {3, 0}},
      {"in a form only", testing::formContent(), testing::textContent("x", 72, 700, 12, 3), {}},
      {"none", text, "", {}},
  };
  for (const Case& c : cases) {
    FixtureDocument document;
    FixturePage page;
    page.contents = c.contents;
    page.formContents = c.form;
    document.pages = {page};
    FixtureFile file(document);
    auto pdf = mupdfPdfService().open(file.path);
    ASSERT_NE(pdf, nullptr) << c.name;
    auto loaded = pdf->pageAt(0);
    ASSERT_NE(loaded, nullptr) << c.name;
    std::vector<int64_t> seen;
    EXPECT_TRUE(loaded->scanTextRenderModes([&](std::optional<int64_t> mode) {
      seen.push_back(mode.value_or(-1));
    })) << c.name;
    EXPECT_EQ(seen, c.modes) << c.name;
  }
}

// The darkness (255 - red) of the pixel at (x, y).
int darkness(const Image& image, int32_t x, int32_t y) {
  return 255 - image.row(y)[static_cast<size_t>(x) * bytesPerPixel(image.format())];
}

TEST(MupdfPdfTest, RenderDrawsTheMediaBoxWithRotationOnWhite) {
  // A 200 x 100 media box with a non-zero origin and a black square in its lower-left corner;
  // a crop box that would hide it must not matter.
  struct Case {
    int64_t rotate;
    int32_t width, height;  // canvas at scale 2
    int32_t darkX, darkY;   // a pixel inside the square once rotated
  };
  const Case cases[] = {{0, 400, 200, 20, 180},
                        {90, 200, 400, 20, 20},
                        {-270, 200, 400, 20, 20},
                        {180, 400, 200, 380, 20},
                        {270, 200, 400, 180, 380}};
  for (const Case& c : cases) {
    FixtureDocument document;
    FixturePage page;
    page.mediaBox = {100, 200, 200, 100};
    page.rotate = c.rotate;
    page.contents = testing::rectContent(100, 200, 30, 30);
    document.pages = {page};
    FixtureFile file(document);
    auto pdf = mupdfPdfService().open(file.path);
    ASSERT_NE(pdf, nullptr);
    auto loaded = pdf->pageAt(0);
    ASSERT_NE(loaded, nullptr);
    auto image = loaded->render(c.width, c.height);
    ASSERT_TRUE(image.has_value()) << c.rotate;
    EXPECT_EQ(image->width(), c.width);
    EXPECT_EQ(image->height(), c.height);
    EXPECT_GT(darkness(*image, c.darkX, c.darkY), 200) << c.rotate;
    // The opposite corner is white.
    EXPECT_EQ(darkness(*image, c.width - 1 - c.darkX, c.height - 1 - c.darkY), 0) << c.rotate;
  }
}

TEST(MupdfPdfTest, RenderRoundsSizesAndRefusesAbsurdOnes) {
  FixtureDocument document;
  document.pages = {pageWithText("x")};
  FixtureFile file(document);
  auto pdf = mupdfPdfService().open(file.path);
  ASSERT_NE(pdf, nullptr);
  auto page = pdf->pageAt(0);
  ASSERT_NE(page, nullptr);
  auto image = page->render(1236.36, 1600);
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(image->width(), 1236);
  EXPECT_EQ(image->height(), 1600);
  auto tiny = page->render(0.2, 0.4);
  ASSERT_TRUE(tiny.has_value());
  EXPECT_EQ(tiny->width(), 1);
  EXPECT_EQ(tiny->height(), 1);
  EXPECT_EQ(page->render(1e9, 1e9), std::nullopt);
  EXPECT_EQ(page->render(std::nan(""), 10), std::nullopt);
}

}  // namespace
}  // namespace marrowfen::scan
