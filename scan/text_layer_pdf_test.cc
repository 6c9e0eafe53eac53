// The text layer and the source choice on real PDFs written by the fixture library.
#include <gtest/gtest.h>

#include <cstdio>

#include "scan/mupdf_pdf.h"
#include "scan/run_state.h"
#include "scan/testing/pdf_fixtures.h"
#include "scan/text_layer.h"

namespace marrowfen::scan {
namespace {

using testing::FixtureDocument;
using testing::FixturePage;

constexpr char kLetter[] = "Dear Ms Example, thank you for your letter of 3 May.";

class TextLayerPdfTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = recognitionOptions; }
  void TearDown() override {
    recognitionOptions = saved_;
    for (const std::string& path : paths_) std::remove(path.c_str());
  }
  // Writes the pages as one document and opens it.
  std::unique_ptr<PdfDocument> open(std::vector<FixturePage> pages) {
    FixtureDocument document;
    document.pages = std::move(pages);
    paths_.push_back(testing::temporaryPath(".pdf"));
    EXPECT_TRUE(testing::writeFixturePdf(document, paths_.back()));
    return mupdfPdfService().open(paths_.back());
  }
  PageSource sourceOf(const PdfPage& page, const std::string& source) {
    recognitionOptions.source = source;
    return chooseSource(page);
  }
  RecognitionOptions saved_;
  std::vector<std::string> paths_;
};

FixturePage textPage(std::string contents, PdfRect box = {0, 0, 612, 792}) {
  FixturePage page;
  page.mediaBox = box;
  page.contents = std::move(contents);
  return page;
}

TEST_F(TextLayerPdfTest, BornDigitalPageIsTakenFromItsLayer) {
  auto pdf = open({textPage(testing::textContent(kLetter, 72, 700, 12) +
                            testing::textContent("Yours sincerely", 72, 660, 12))});
  ASSERT_NE(pdf, nullptr);
  auto page = pdf->pageAt(0);
  const PageSource source = sourceOf(*page, "auto");
  EXPECT_EQ(source.kind, PageSource::Kind::kTextLayer);
  EXPECT_EQ(source.reason, "visible_text_layer");
  EXPECT_NE(source.text.find("thank you for your letter"), std::string::npos);
  EXPECT_NE(source.text.find("Yours sincerely"), std::string::npos);

  const std::vector<OcrFragment> fragments = textLayerFragments(*page);
  ASSERT_EQ(fragments.size(), 2u);
  EXPECT_EQ(fragments[0].text, kLetter);
  EXPECT_EQ(fragments[1].text, "Yours sincerely");
  // Helvetica 12 at baseline y 700: the line box sits around 700 / 792 with a lower-left origin.
  EXPECT_NEAR(fragments[0].boundingBox.x, 72.0 / 612, 0.005);
  EXPECT_NEAR(fragments[0].boundingBox.y, 700.0 / 792, 0.01);
  EXPECT_NEAR(fragments[0].boundingBox.height, 12.0 / 792, 0.01);
  EXPECT_GT(fragments[0].boundingBox.y, fragments[1].boundingBox.y);
  EXPECT_EQ(fragments[0].confidence, 1.0);
}

TEST_F(TextLayerPdfTest, InvisibleTextInAnyPlaceOfThePagesStreamMeansOcr) {
  const std::string words = testing::textContent(kLetter, 72, 700, 12);
  const std::string invisible = testing::textContent(kLetter, 72, 700, 12, 3);
  // Mode 3 inside the text object, before BT, and inside q/Q around the text.
  for (const std::string& contents :
       {invisible, "3 Tr\n" + words, "q 3 Tr " + words + " Q\n", words + "\n" + invisible,
        // The operator's two letters either side of the point where the stream is read in chunks.
        std::string(16381, ' ') + "3 Tr\n" + words, std::string(16382, ' ') + "3 Tr\n" + words}) {
    auto pdf = open({textPage(contents)});
    ASSERT_NE(pdf, nullptr);
    const PageSource source = sourceOf(*pdf->pageAt(0), "auto");
    EXPECT_EQ(source.kind, PageSource::Kind::kOcr) << contents;
    EXPECT_EQ(source.reason, "invisible_ocr_layer") << contents;
  }
  // Other modes are visible; a bad operand is ignored.
  for (const std::string& contents :
       {testing::textContent(kLetter, 72, 700, 12, 0),
        testing::textContent(kLetter, 72, 700, 12, 7), "/Name Tr\n" + words, "2 Tr 1 Tr\n" + words,
        testing::textContent("Set 3 Tr before the words to hide them", 72, 700, 12)}) {
    auto pdf = open({textPage(contents)});
    ASSERT_NE(pdf, nullptr);
    EXPECT_EQ(sourceOf(*pdf->pageAt(0), "auto").reason, "visible_text_layer") << contents;
  }
}

TEST_F(TextLayerPdfTest, TextInAFormObjectIsNotScanned) {
  FixturePage page = textPage(testing::textContent(kLetter, 72, 700, 12) + testing::formContent());
  page.formContents = testing::textContent("hidden words inside a form object", 72, 500, 12, 3);
  auto pdf = open({page});
  ASSERT_NE(pdf, nullptr);
  EXPECT_FALSE(pageHasInvisibleText(*pdf->pageAt(0)));
}

TEST_F(TextLayerPdfTest, ScannedPageHasNoTextLayer) {
  auto pdf = open({testing::scannedPage()});
  ASSERT_NE(pdf, nullptr);
  auto page = pdf->pageAt(0);
  EXPECT_EQ(sourceOf(*page, "auto").reason, "no_text_layer");
  const PageSource forced = sourceOf(*page, "text-layer");
  EXPECT_EQ(forced.kind, PageSource::Kind::kTextLayer);
  EXPECT_EQ(forced.text, "");
  EXPECT_TRUE(textLayerFragments(*page).empty());
}

TEST_F(TextLayerPdfTest, ShortTextIsForcedEmptyButStillGivesItsFragment) {
  auto pdf = open({textPage(testing::textContent("Page 1", 72, 700, 12))});
  ASSERT_NE(pdf, nullptr);
  auto page = pdf->pageAt(0);
  const PageSource source = sourceOf(*page, "text-layer");
  EXPECT_EQ(source.text, "");
  EXPECT_EQ(source.reason, "forced");
  ASSERT_EQ(textLayerFragments(*page).size(), 1u);
  EXPECT_EQ(textLayerFragments(*page)[0].text, "Page 1");
}

TEST_F(TextLayerPdfTest, BoxesAreInTheUnrotatedMediaBox) {
  // A media box with a non-zero origin, and the same page rotated: the boxes do not change.
  const PdfRect box{100, 200, 400, 500};
  FixturePage shifted = textPage(testing::textContent(kLetter, 150, 600, 10), box);
  FixturePage rotated = shifted;
  rotated.rotate = 90;
  auto pdf = open({shifted, rotated});
  ASSERT_NE(pdf, nullptr);
  const std::vector<OcrFragment> plain = textLayerFragments(*pdf->pageAt(0));
  const std::vector<OcrFragment> turned = textLayerFragments(*pdf->pageAt(1));
  ASSERT_EQ(plain.size(), 1u);
  ASSERT_EQ(turned.size(), 1u);
  EXPECT_NEAR(plain[0].boundingBox.x, 50.0 / 400, 0.005);
  EXPECT_NEAR(plain[0].boundingBox.y, 400.0 / 500, 0.01);
  EXPECT_NEAR(turned[0].boundingBox.x, plain[0].boundingBox.x, 1e-6);
  EXPECT_NEAR(turned[0].boundingBox.y, plain[0].boundingBox.y, 1e-6);
  EXPECT_NEAR(turned[0].boundingBox.width, plain[0].boundingBox.width, 1e-6);
  EXPECT_NEAR(turned[0].boundingBox.height, plain[0].boundingBox.height, 1e-6);
  EXPECT_EQ(sourceOf(*pdf->pageAt(1), "auto").reason, "visible_text_layer");
}

}  // namespace
}  // namespace marrowfen::scan
