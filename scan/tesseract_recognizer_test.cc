#include "scan/tesseract_recognizer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "scan/recognize.h"
#include "scan/testing/text_image.h"

namespace marrowfen::scan {
namespace {

using ::testing::HasSubstr;

TEST(TraineddataName, MapsBcp47Tags) {
  const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
      {"en-US", "eng"},       {"en", "eng"},          {"de-DE", "deu"},     {"DE_at", "deu"},
      {"fr", "fra"},          {"fr-CA", "fra"},       {"zh-Hans", "chi_sim"}, {"zh-CN", "chi_sim"},
      {"zh-Hant", "chi_tra"}, {"zh-TW", "chi_tra"},   {"zh-Hant-HK", "chi_tra"}, {"zh", "chi_sim"},
      {"sr-Latn", "srp_latn"}, {"sr", "srp"},         {"iw", "heb"},         {"nb-NO", "nor"},
      {"ja-JP", "jpn"},       {"pt-BR", "por"},       {"deu", "deu"},        {"fil", "fil"},
      {"xx", std::nullopt},   {"", std::nullopt},     {"e1", std::nullopt},
  };
  for (const auto& [tag, name] : cases) EXPECT_EQ(traineddataName(tag), name) << tag;
}

bool installed(const std::string& name) {
  struct stat info;
  return ::stat((tessdataDirectory() + name + ".traineddata").c_str(), &info) == 0;
}

std::vector<std::string> lineTexts(const RecognitionResult& result) {
  std::vector<std::string> out;
  for (const TextObservation& o : result.observations) out.push_back(o.topCandidate->string());
  return out;
}

class TesseractTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { recognizer_ = new TesseractRecognizer(); }
  static void TearDownTestSuite() { delete recognizer_; }
  static TesseractRecognizer* recognizer_;
};
TesseractRecognizer* TesseractTest::recognizer_ = nullptr;

TEST_F(TesseractTest, RecognisesLinesWithNormalisedLowerLeftBoxes) {
  const Image image = testing::textImage({"Invoice number 4711", "Total amount due"}, 1200, 400);
  ASSERT_FALSE(image.empty());
  const RecognitionResult result = recognizer_->perform(image, {});
  ASSERT_FALSE(result.error) << *result.error;
  ASSERT_EQ(lineTexts(result),
            (std::vector<std::string>{"Invoice number 4711", "Total amount due"}));
  const TextObservation& first = result.observations[0];
  const TextObservation& second = result.observations[1];
  // The first line is drawn at the top, so with y up it lies above the second.
  EXPECT_GT(first.boundingBox.y, second.boundingBox.y + second.boundingBox.height);
  EXPECT_NEAR(first.boundingBox.x, 60.0 / 1200, 0.01);
  EXPECT_GT(first.topCandidate->confidence(), 0.8f);
  EXPECT_LE(first.topCandidate->confidence(), 1.0f);

  // The box of "number" lies inside the line and right of "Invoice"; a range spanning two words
  // gets their union.
  const auto invoice = first.topCandidate->boundingBox(0, 7);
  const auto number = first.topCandidate->boundingBox(8, 14);
  const auto both = first.topCandidate->boundingBox(3, 10);
  ASSERT_TRUE(invoice && number && both);
  EXPECT_GT(number->x, invoice->x + invoice->width);
  EXPECT_NEAR(both->x, invoice->x, 1e-12);
  EXPECT_NEAR(both->x + both->width, number->x + number->width, 1e-12);
  EXPECT_GE(number->y, first.boundingBox.y - 1e-9);
  EXPECT_FALSE(first.topCandidate->boundingBox(7, 7));
  EXPECT_FALSE(first.topCandidate->boundingBox(0, 500));

  // Through the page logic: one fragment a word, in reading order.
  const OcrPage page = pageFromObservations(result.observations, 1);
  EXPECT_EQ(page.text, "Invoice number 4711\nTotal amount due");
  ASSERT_EQ(page.fragments.size(), 6u);
  EXPECT_EQ(page.fragments[2].text, "4711");
}

TEST_F(TesseractTest, ColourImagesAndTransparencyAreRead) {
  const Image grey = testing::textImage({"Transparent colour page"}, 1000, 200);
  std::vector<uint8_t> rgba(static_cast<size_t>(grey.width()) * grey.height() * 4);
  for (int32_t y = 0; y < grey.height(); ++y) {
    for (int32_t x = 0; x < grey.width(); ++x) {
      uint8_t* p = &rgba[(static_cast<size_t>(y) * grey.width() + x) * 4];
      const uint8_t v = grey.row(y)[x];
      // Ink is opaque blue-black, paper is fully transparent black: composed over white it reads.
      p[0] = 0; p[1] = 0; p[2] = v < 128 ? 60 : 0; p[3] = static_cast<uint8_t>(255 - v);
    }
  }
  const Image image(grey.width(), grey.height(), PixelFormat::kRgba,
                    static_cast<size_t>(grey.width()) * 4, std::move(rgba));
  const RecognitionResult result = recognizer_->perform(image, {});
  ASSERT_FALSE(result.error);
  EXPECT_EQ(lineTexts(result), std::vector<std::string>{"Transparent colour page"});
}

TEST_F(TesseractTest, BlankPageGivesNoObservations) {
  const Image blank(400, 300, PixelFormat::kGrey, 400, std::vector<uint8_t>(400 * 300, 255));
  const RecognitionResult result = recognizer_->perform(blank, {});
  EXPECT_FALSE(result.error);
  EXPECT_TRUE(result.observations.empty());
}

TEST_F(TesseractTest, UnknownOrMissingLanguagesFailNamingTheTag) {
  const Image image = testing::textImage({"Hello"}, 400, 200);
  const RecognitionResult unknown = recognizer_->perform(image, {.languages = {"en-US", "xx-YY"}});
  ASSERT_TRUE(unknown.error);
  EXPECT_THAT(*unknown.error, HasSubstr("\"xx-YY\""));
  EXPECT_TRUE(unknown.observations.empty());
  if (!installed("kat")) {
    const RecognitionResult missing = recognizer_->perform(image, {.languages = {"ka-GE"}});
    ASSERT_TRUE(missing.error);
    EXPECT_THAT(*missing.error, HasSubstr("\"ka-GE\""));
    EXPECT_THAT(*missing.error, HasSubstr("kat.traineddata"));
  }
}

TEST_F(TesseractTest, LanguagesInOrderAndTheOtherSettingsChangeTheEngine) {
  if (!installed("deu")) GTEST_SKIP() << "deu.traineddata is not installed";
  const Image image = testing::textImage({"Stra\u00dfe und Gr\u00f6\u00dfe"}, 1000, 200);
  for (const RecognitionRequest& request :
       {RecognitionRequest{.languages = {"de-DE", "en-US"}},
        RecognitionRequest{.fast = true, .languages = {"de-DE"}},
        RecognitionRequest{.languageCorrection = false, .languages = {"de"}}}) {
    const RecognitionResult result = recognizer_->perform(image, request);
    ASSERT_FALSE(result.error) << *result.error;
    EXPECT_EQ(lineTexts(result), std::vector<std::string>{"Stra\u00dfe und Gr\u00f6\u00dfe"});
  }
}

}  // namespace
}  // namespace marrowfen::scan
