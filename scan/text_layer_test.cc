#include "scan/text_layer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "scan/run_state.h"
#include "scan/testing/fake_platform.h"

namespace marrowfen::scan {
namespace {

using testing::FakeCounters;
using testing::FakePageData;
using testing::FakePdfPage;

class TextLayerTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = recognitionOptions; }
  void TearDown() override { recognitionOptions = saved_; }

  FakePdfPage page(FakePageData data) { return FakePdfPage(std::move(data), counters_); }

  std::shared_ptr<FakeCounters> counters_ = std::make_shared<FakeCounters>();
  RecognitionOptions saved_;
};

TEST_F(TextLayerTest, EmbeddedTextNeedsTwentyLettersMarksOrDigits) {
  const std::vector<std::pair<std::optional<std::string>, std::optional<std::string>>> cases = {
      {std::nullopt, std::nullopt},
      {"", std::nullopt},
      {"abcdefghij klmnopqrs ... !!! ,,, ---", std::nullopt},    // 19 letters
      {"  abcdefghij klmnopqrst!\n", "abcdefghij klmnopqrst!"},  // 20, trimmed
      {"1234567890 123456789 0", "1234567890 123456789 0"},      // digits count
      {"e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301",
       "e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301e\u0301"},  // marks count
      {"\u0417\u0434\u0440\u0430\u0432\u0441\u0442\u0432\u0443\u0439\u0442\u0435 \u043c\u0438"
       "\u0440 \u0438 \u0432\u0441\u0435\u043c",
       "\u0417\u0434\u0440\u0430\u0432\u0441\u0442\u0432\u0443\u0439\u0442\u0435 \u043c\u0438"
       "\u0440 \u0438 \u0432\u0441\u0435\u043c"},
      {"$$$ %%% &&& *** ### @@@ +++ === ~~~ ^^^ <<<", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(embeddedText(page({.text = text})), expected) << text.value_or("(none)");
  }
}

TEST_F(TextLayerTest, InvisibleTextIsAnyModeThreeOperand) {
  const std::vector<std::pair<std::vector<std::optional<int64_t>>, bool>> cases = {
      {{}, false},
      {{0, 1, 2}, false},
      {{0, 3, 0}, true},           // once is enough, even when switched back
      {{std::nullopt, 7}, false},  // a bad operand is ignored
      {{std::nullopt, 3}, true},
  };
  for (const auto& [modes, expected] : cases) {
    EXPECT_EQ(pageHasInvisibleText(page({.renderModes = modes})), expected);
  }
  EXPECT_FALSE(pageHasInvisibleText(page({.renderModes = {3}, .scannable = false})));
}

TEST_F(TextLayerTest, ChooseSourceBySourceOption) {
  const std::string letters = "The quick brown fox jumps over the lazy dog";
  struct Case {
    std::string source;
    FakePageData page;
    PageSource::Kind kind;
    std::string text;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"auto", {.text = "too short 19 chars!"}, PageSource::Kind::kOcr, "", "no_text_layer"},
      {"auto", {.text = std::nullopt}, PageSource::Kind::kOcr, "", "no_text_layer"},
      {"auto",
       {.text = letters, .renderModes = {3}},
       PageSource::Kind::kOcr,
       "",
       "invisible_ocr_layer"},
      {"auto",
       {.text = " " + letters + "\n", .renderModes = {0}},
       PageSource::Kind::kTextLayer,
       letters,
       "visible_text_layer"},
      {"text-layer",
       {.text = "Page 1", .renderModes = {3}},
       PageSource::Kind::kTextLayer,
       "",
       "forced"},
      {"text-layer",
       {.text = letters, .renderModes = {3}},
       PageSource::Kind::kTextLayer,
       letters,
       "forced"},
      {"ocr", {.text = letters}, PageSource::Kind::kOcr, "", "forced"},
  };
  for (const Case& c : cases) {
    recognitionOptions.source = c.source;
    const PageSource source = chooseSource(page(c.page));
    EXPECT_EQ(source.kind, c.kind) << c.source << " " << c.page.text.value_or("");
    EXPECT_EQ(source.text, c.text) << c.source;
    EXPECT_EQ(source.reason, c.reason) << c.source;
  }
}

TEST_F(TextLayerTest, OcrAndTextLayerSourcesDoNotReadMoreThanNeeded) {
  recognitionOptions.source = "ocr";
  chooseSource(page({.text = "whatever the page says, it is not read", .renderModes = {3}}));
  EXPECT_EQ(counters_->textReads, 0);
  EXPECT_EQ(counters_->scans, 0);
  recognitionOptions.source = "text-layer";
  chooseSource(page({.text = "whatever the page says, it is read once", .renderModes = {3}}));
  EXPECT_EQ(counters_->scans, 0);
}

TEST_F(TextLayerTest, FragmentsAreLinesNormalisedToTheMediaBox) {
  const std::vector<OcrFragment> fragments = textLayerFragments(
      page({.mediaBox = {0, 0, 612, 792},
            .text = "Page 1\n \nsecond",
            .lines = std::vector<PdfTextLine>{{"Page 1\n", {72, 700, 200, 12}},
                                              {"  \n", {72, 680, 200, 12}},
                                              {"zero width", {72, 660, 0, 12}},
                                              {"zero height", {72, 640, 30, 0}},
                                              {" second ", {300, 100, 50, 10}}}}));
  ASSERT_EQ(fragments.size(), 2u);
  EXPECT_EQ(fragments[0].text, "Page 1");
  EXPECT_EQ(fragments[0].confidence, 1.0);
  EXPECT_EQ(fragments[0].boundingBox.x, 72.0 / 612);
  EXPECT_EQ(fragments[0].boundingBox.y, 700.0 / 792);
  EXPECT_EQ(fragments[0].boundingBox.width, 200.0 / 612);
  EXPECT_EQ(fragments[0].boundingBox.height, 12.0 / 792);
  EXPECT_EQ(fragments[1].text, "second");  // the reader's order, not re-sorted
}

TEST_F(TextLayerTest, MediaBoxOriginIsSubtracted) {
  const std::vector<OcrFragment> fragments = textLayerFragments(page(
      {.mediaBox = {10, 20, 600, 800},
       .text = "corner",
       .lines = std::vector<PdfTextLine>{{"corner", {10, 20, 60, 8}}, {"x", {-50, 900, 60, 8}}}}));
  ASSERT_EQ(fragments.size(), 2u);
  EXPECT_EQ(fragments[0].boundingBox.x, 0);
  EXPECT_EQ(fragments[0].boundingBox.y, 0);
  EXPECT_EQ(fragments[1].boundingBox.x, -60.0 / 600);  // not clamped
  EXPECT_EQ(fragments[1].boundingBox.y, 880.0 / 800);
}

TEST_F(TextLayerTest, NoFragmentsWithoutTextAreaOrSelection) {
  const auto lines = std::vector<PdfTextLine>{{"text", {1, 1, 5, 5}}};
  EXPECT_TRUE(textLayerFragments(page({.text = std::nullopt, .lines = lines})).empty());
  EXPECT_TRUE(textLayerFragments(page({.text = "", .lines = lines})).empty());
  EXPECT_TRUE(textLayerFragments(
                  page({.text = " \n ", .lines = std::vector<PdfTextLine>{{" \n ", {1, 1, 5, 5}}}}))
                  .empty());
  EXPECT_TRUE(textLayerFragments(page({.mediaBox = {0, 0, 0, 792}, .text = "text", .lines = lines}))
                  .empty());
  EXPECT_TRUE(
      textLayerFragments(page({.mediaBox = {0, 0, 612, -1}, .text = "text", .lines = lines}))
          .empty());
  EXPECT_TRUE(textLayerFragments(page({.text = "text", .lines = std::nullopt})).empty());
}

}  // namespace
}  // namespace marrowfen::scan
