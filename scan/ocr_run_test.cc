#include "scan/ocr_run.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "scan/command_line.h"
#include "scan/platform.h"
#include "scan/run_state.h"
#include "scan/testing/fake_platform.h"

namespace marrowfen::scan {
namespace {

using ::testing::ElementsAre;
using testing::FakePageData;

class ConstantText : public RecognizedText {
 public:
  explicit ConstantText(std::string text) : text_(std::move(text)) {}
  const std::string& string() const override { return text_; }
  float confidence() const override { return 0.5f; }
  std::optional<BoundingBox> boundingBox(size_t, size_t) const override { return std::nullopt; }

 private:
  std::string text_;
};

// Recognises "seen <marker>" from the grey value of a rendered fake page's first pixel, and
// fails at one call when told to.
class MarkerRecognizer : public TextRecognizer {
 public:
  RecognitionResult perform(const Image& image, const RecognitionRequest&) const override {
    ++calls;
    sizes.emplace_back(image.width(), image.height());
    if (calls == failAtCall) return {.error = "the engine gave up"};
    const char marker = static_cast<char>(image.row(0)[0]);
    return {.observations = {{.boundingBox = {0.1, 0.8, 0.5, 0.05},
                              .topCandidate = std::make_shared<ConstantText>(
                                  std::string("seen ") + marker)}}};
  }
  int failAtCall = 0;
  mutable int calls = 0;
  mutable std::vector<std::pair<int32_t, int32_t>> sizes;
};

const std::string kLayer = "A text layer with well over twenty letters in it.";

FakePageData textPage(char marker) {
  return {.text = kLayer + " " + marker,
          .lines = std::vector<PdfTextLine>{{kLayer, {72, 700, 300, 12}}},
          .marker = std::string(1, marker)};
}
FakePageData scannedPage(char marker) { return {.marker = std::string(1, marker)}; }
FakePageData ocrLayerPage(char marker) {
  FakePageData page = textPage(marker);
  page.renderModes = {3};
  return page;
}

class OcrRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedPlatform_ = platform();
    savedOptions_ = recognitionOptions;
    platform().pdf = &pdfService_;
    platform().images = &imageService_;
    platform().recognizer = &recognizer_;
    pdfService_.document.emplace();
    inputUrl = "/input/file.pdf";
    ext = "pdf";
  }
  void TearDown() override {
    platform() = savedPlatform_;
    recognitionOptions = savedOptions_;
    ext.clear();
    inputUrl.clear();
  }
  // Runs the OCR run; the failure message when it ended through fail(), "" otherwise.
  std::string run() {
    ::testing::internal::CaptureStdout();
    std::string failure;
    try {
      EXPECT_EQ(runOcr(), 0);
    } catch (const RunEnded& ended) {
      failure = ended.message;
    }
    output_ = ::testing::internal::GetCapturedStdout();
    return failure;
  }
  std::vector<int64_t> pageNumbers() const {
    std::vector<int64_t> out;
    for (const OcrPage& page : pages) out.push_back(page.pageNumber);
    return out;
  }
  void setPages(std::vector<std::optional<FakePageData>> data) {
    pdfService_.document->pages = std::move(data);
  }

  testing::FakePdfService pdfService_;
  testing::FakeImageService imageService_;
  MarkerRecognizer recognizer_;
  Platform savedPlatform_;
  RecognitionOptions savedOptions_;
  std::string output_;
};

TEST_F(OcrRunTest, AutoTakesVisibleLayersAndRecognisesTheRest) {
  recognitionOptions.source = "auto";
  setPages({textPage('a'), ocrLayerPage('b'), scannedPage('c')});
  ASSERT_EQ(run(), "");
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[0].source, "text_layer");
  EXPECT_EQ(pages[0].sourceReason, "visible_text_layer");
  EXPECT_EQ(pages[0].text, kLayer + " a");
  EXPECT_EQ(pages[0].confidence, 1);
  ASSERT_EQ(pages[0].fragments.size(), 1u);
  EXPECT_EQ(pages[1].text, "seen b");
  EXPECT_EQ(pages[1].source, "ocr");
  EXPECT_EQ(pages[1].sourceReason, "invisible_ocr_layer");
  EXPECT_EQ(pages[2].text, "seen c");
  EXPECT_EQ(pages[2].sourceReason, "no_text_layer");
  EXPECT_EQ(recognizer_.calls, 2);
  EXPECT_THAT(output_, ::testing::HasSubstr("\"sourceType\":\"native_ocr_pdf\""));
  EXPECT_EQ(output_.back(), '\n');
}

TEST_F(OcrRunTest, DefaultSourceRecognisesEveryPageAndLeavesSourcesAbsent) {
  setPages({textPage('a'), scannedPage('b')});
  ASSERT_EQ(run(), "");
  EXPECT_EQ(recognizer_.calls, 2);
  for (const OcrPage& page : pages) {
    EXPECT_FALSE(page.source.has_value());
    EXPECT_FALSE(page.sourceReason.has_value());
  }
  // A Letter page at the defaults is drawn 1600 pixels high.
  EXPECT_EQ(recognizer_.sizes[0], std::make_pair(1236, 1600));
}

TEST_F(OcrRunTest, TextLayerSourceNeverRendersOrRecognises) {
  recognitionOptions.source = "text-layer";
  setPages({textPage('a'), scannedPage('b'), ocrLayerPage('c')});
  ASSERT_EQ(run(), "");
  EXPECT_EQ(recognizer_.calls, 0);
  EXPECT_EQ(pdfService_.document->counters->renders, 0);
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_EQ(pages[1].text, "");
  EXPECT_EQ(pages[1].confidence, 0);
  for (const OcrPage& page : pages) EXPECT_EQ(page.sourceReason, "forced");
}

TEST_F(OcrRunTest, PagesSelectionUnreadableAndUnrenderablePages) {
  FakePageData broken = scannedPage('d');
  broken.renderable = false;
  setPages({scannedPage('a'), std::nullopt, scannedPage('c'), broken, scannedPage('e')});
  recognitionOptions.pages = parsePageSelection("2-4,9");
  ASSERT_EQ(run(), "");
  EXPECT_THAT(pageNumbers(), ElementsAre(3));
  EXPECT_THAT(warnings, ElementsAre("Could not read PDF page 2.",
                                    "Could not render PDF page 4 for OCR."));
}

TEST_F(OcrRunTest, SelectionBeyondTheEndAndEmptyDocumentsGiveNoPages) {
  setPages({scannedPage('a'), scannedPage('b')});
  recognitionOptions.pages = parsePageSelection("12");
  ASSERT_EQ(run(), "");
  EXPECT_TRUE(pages.empty());
  EXPECT_TRUE(warnings.empty());
  EXPECT_THAT(output_, ::testing::HasSubstr("\"pageCount\":1"));

  recognitionOptions.pages.reset();
  setPages({});
  ASSERT_EQ(run(), "");
  EXPECT_TRUE(pages.empty());
  EXPECT_THAT(output_, ::testing::HasSubstr("\"rawText\":\"\""));
}

TEST_F(OcrRunTest, RecognitionFailureOnALaterPageEndsTheRun) {
  setPages({scannedPage('a'), scannedPage('b'), scannedPage('c'), scannedPage('d'),
            scannedPage('e')});
  recognizer_.failAtCall = 5;
  EXPECT_EQ(run(), "Native OCR failed: the engine gave up");
  EXPECT_EQ(output_, "");  // nothing of pages 1 to 4 is written
}

TEST_F(OcrRunTest, PdfThatCannotBeOpened) {
  pdfService_.document.reset();
  EXPECT_EQ(run(), "Could not open PDF for native OCR.");
}

TEST_F(OcrRunTest, ImagesAreOnePageWhateverPagesAndSourceSay) {
  ext = "png";
  inputUrl = "/input/photo.png";
  std::vector<uint8_t> pixels(30 * 20, 255);
  pixels[0] = 'p';
  imageService_.image = Image(30, 20, PixelFormat::kGrey, 30, pixels);
  recognitionOptions.pages = parsePageSelection("2");
  recognitionOptions.source = "auto";
  ASSERT_EQ(run(), "");
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_EQ(pages[0].pageNumber, 1);
  EXPECT_EQ(pages[0].text, "seen p");
  EXPECT_FALSE(pages[0].source.has_value());
  EXPECT_EQ(recognizer_.sizes[0], std::make_pair(30, 20));  // no --scale: the image's own size
  EXPECT_THAT(output_, ::testing::HasSubstr("\"sourceType\":\"native_ocr_image\""));

  recognitionOptions.renderScale = 0.5;
  recognitionOptions.scaleWasSet = true;
  run();
  EXPECT_EQ(recognizer_.sizes[1], std::make_pair(15, 10));

  recognizer_.failAtCall = 3;
  EXPECT_EQ(run(), "Native OCR failed: the engine gave up");
  imageService_.image.reset();
  EXPECT_EQ(run(), "Could not open image for native OCR.");
}

TEST(AggregatedOutput, JoinsNonEmptyTextsAndAveragesEveryPage) {
  const std::vector<OcrPage> pages = {{.pageNumber = 1, .text = "A", .confidence = 1},
                                      {.pageNumber = 2, .text = "", .confidence = 0},
                                      {.pageNumber = 3, .text = " ", .confidence = 0.5},
                                      {.pageNumber = 4, .text = "B", .confidence = 0.5}};
  const OcrOutput output = aggregatedOutput("pdf", pages, {"w"});
  EXPECT_EQ(output.rawText, "A\n\n \n\nB");
  EXPECT_EQ(output.confidence, 0.5);
  EXPECT_EQ(output.pageCount, 4);
  EXPECT_EQ(output.sourceType, "native_ocr_pdf");
  EXPECT_THAT(output.warnings, ElementsAre("w"));

  const OcrOutput none = aggregatedOutput("tiff", {}, {});
  EXPECT_EQ(none.pageCount, 1);
  EXPECT_EQ(none.confidence, 0);
  EXPECT_EQ(none.rawText, "");
  EXPECT_EQ(none.sourceType, "native_ocr_image");
}

}  // namespace
}  // namespace marrowfen::scan
