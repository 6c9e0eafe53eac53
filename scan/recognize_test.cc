#include "scan/recognize.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <utility>

#include "scan/platform.h"
#include "scan/run_state.h"

namespace marrowfen::scan {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

// A candidate whose box lookup is a function of the range; records every range asked for.
class FakeText : public RecognizedText {
 public:
  using Lookup = std::function<std::optional<BoundingBox>(size_t, size_t)>;
  FakeText(std::string text, float confidence, Lookup lookup)
      : text_(std::move(text)), confidence_(confidence), lookup_(std::move(lookup)) {}
  const std::string& string() const override { return text_; }
  float confidence() const override { return confidence_; }
  std::optional<BoundingBox> boundingBox(size_t begin, size_t end) const override {
    asked.emplace_back(begin, end);
    return lookup_(begin, end);
  }
  std::optional<BoundingBox> uprightBoundingBox(size_t begin, size_t end) const override {
    if (!upright) return std::nullopt;
    return upright(begin, end);
  }
  mutable std::vector<std::pair<size_t, size_t>> asked;
  Lookup upright;  // the boxes as read upright; none when unset

 private:
  std::string text_;
  float confidence_;
  Lookup lookup_;
};

// Word boxes laid out along the line's box: x from the byte offset, so boxes tell ranges apart.
FakeText::Lookup alongLine(BoundingBox line) {
  return [line](size_t begin, size_t end) {
    return BoundingBox{.x = line.x + 0.01 * static_cast<double>(begin),
                       .y = line.y,
                       .width = 0.01 * static_cast<double>(end - begin),
                       .height = line.height};
  };
}

FakeText::Lookup nothing() {
  return [](size_t, size_t) { return std::optional<BoundingBox>(); };
}

TextObservation line(const std::string& text, float confidence, BoundingBox box) {
  return {.boundingBox = box,
          .topCandidate = std::make_shared<FakeText>(text, confidence, alongLine(box))};
}

BoundingBox box(double x, double y, double height = 0.05) {
  return {.x = x, .y = y, .width = 0.3, .height = height};
}

const FakeText& fake(const TextObservation& observation) {
  return static_cast<const FakeText&>(*observation.topCandidate);
}

std::vector<std::string> texts(const OcrPage& page) {
  std::vector<std::string> out;
  for (const OcrFragment& f : page.fragments) out.push_back(f.text);
  return out;
}

TEST(PageFromObservations, LinesWithinTheToleranceAreOrderedLeftToRight) {
  const std::vector<TextObservation> observations = {line("World", 0.5f, box(0.40, 0.50)),
                                                     line("Hello", 0.5f, box(0.10, 0.505))};
  const OcrPage page = pageFromObservations(observations, 3);
  EXPECT_EQ(page.pageNumber, 3);
  EXPECT_EQ(page.text, "Hello\nWorld");
  EXPECT_THAT(texts(page), ElementsAre("Hello", "World"));
  EXPECT_FALSE(page.source.has_value());
  EXPECT_FALSE(page.sourceReason.has_value());
}

TEST(PageFromObservations, HigherLineFirstWhenTopsDifferByMoreThanTheTolerance) {
  const OcrPage page = pageFromObservations(
      {line("lower left", 1.0f, box(0.0, 0.53)), line("upper right", 1.0f, box(0.9, 0.55))}, 1);
  EXPECT_EQ(page.text, "upper right\nlower left");
}

TEST(PageFromObservations, RepeatedWordsAreLocatedPastTheCursor) {
  const std::vector<TextObservation> observations = {
      line("to be or not to be", 0.25f, box(0, 0.5))};
  const OcrPage page = pageFromObservations(observations, 1);
  EXPECT_THAT(texts(page), ElementsAre("to", "be", "or", "not", "to", "be"));
  EXPECT_THAT(fake(observations[0]).asked, ElementsAre(Pair(0, 2), Pair(3, 5), Pair(6, 8),
                                                       Pair(9, 12), Pair(13, 15), Pair(16, 18)));
  for (const OcrFragment& f : page.fragments) EXPECT_EQ(f.confidence, 0.25);
  EXPECT_DOUBLE_EQ(page.fragments[4].boundingBox.x, 0.13);  // the second "to"
}

TEST(PageFromObservations, BoxesAreAskedForWithUntrimmedOffsets) {
  const std::vector<TextObservation> observations = {line("  Invoice 42 \n", 0.9f, box(0, 0.5))};
  const OcrPage page = pageFromObservations(observations, 1);
  EXPECT_EQ(page.text, "Invoice 42");
  EXPECT_THAT(texts(page), ElementsAre("Invoice", "42"));
  EXPECT_THAT(fake(observations[0]).asked, ElementsAre(Pair(2, 9), Pair(10, 12)));
}

TEST(PageFromObservations, ConfidencesAreWidenedExactlyAndAveragedOverLines) {
  const OcrPage single = pageFromObservations({line("x", 0.3f, box(0, 0.5))}, 1);
  EXPECT_EQ(single.confidence, 0.30000001192092896);
  EXPECT_EQ(single.fragments[0].confidence, 0.30000001192092896);

  // Lengths and fragment counts do not weigh; blank and candidate-less observations add nothing.
  std::vector<TextObservation> observations = {
      line("one two three four five", 0.5f, box(0, 0.8)),
      line("x", 1.0f, box(0, 0.6)),
      line("  \u3000 \n", 0.0f, box(0, 0.5)),
      line("a b", 0.75f, box(0, 0.4)),
      {.boundingBox = box(0, 0.3), .topCandidate = nullptr}};
  const OcrPage page = pageFromObservations(observations, 1);
  EXPECT_EQ(page.confidence, 0.75);
  EXPECT_EQ(page.text, "one two three four five\nx\na b");
  EXPECT_EQ(page.fragments.size(), 8u);
  EXPECT_TRUE(fake(observations[2]).asked.empty());
}

TEST(PageFromObservations, ALineWhoseWordsCannotBeLocatedBecomesOneFragment) {
  const BoundingBox lineBox = box(0.2, 0.4);
  const std::vector<TextObservation> observations = {
      {.boundingBox = lineBox,
       .topCandidate = std::make_shared<FakeText>(" Total due  ", 0.5f, nothing())}};
  const OcrPage page = pageFromObservations(observations, 1);
  ASSERT_EQ(page.fragments.size(), 1u);
  EXPECT_EQ(page.fragments[0].text, "Total due");
  EXPECT_EQ(page.fragments[0].boundingBox.x, lineBox.x);
  EXPECT_EQ(page.fragments[0].boundingBox.y, lineBox.y);
  EXPECT_EQ(page.fragments[0].boundingBox.width, lineBox.width);
  EXPECT_EQ(page.fragments[0].boundingBox.height, lineBox.height);
  EXPECT_THAT(fake(observations[0]).asked, ElementsAre(Pair(1, 6), Pair(7, 10)));
}

TEST(PageFromObservations, WordsWhoseLookupFailsAreLeftOutAlone) {
  // Only the middle word can be located: one fragment, no line fragment.
  const std::vector<TextObservation> observations = {
      {.boundingBox = box(0, 0.5),
       .topCandidate = std::make_shared<FakeText>(
           "alpha beta gamma", 0.5f, [](size_t begin, size_t end) -> std::optional<BoundingBox> {
             if (begin != 6) return std::nullopt;
             return BoundingBox{
                 .x = 0.5, .y = 0.5, .width = 0.1 * static_cast<double>(end - begin)};
           })}};
  const OcrPage page = pageFromObservations(observations, 1);
  EXPECT_THAT(texts(page), ElementsAre("beta"));
  EXPECT_DOUBLE_EQ(page.fragments[0].boundingBox.width, 0.4);
}

TEST(PageFromObservations, NothingRecognised) {
  const OcrPage page = pageFromObservations({}, 2);
  EXPECT_EQ(page.text, "");
  EXPECT_EQ(page.confidence, 0);
  EXPECT_TRUE(page.fragments.empty());
}

TEST(PageFromObservations, InnerSpacingOfALineIsKept) {
  const OcrPage page = pageFromObservations({line("Name:   Jane\u00a0Doe", 1.0f, box(0, 0.5))}, 1);
  EXPECT_EQ(page.text, "Name:   Jane\u00a0Doe");
  EXPECT_THAT(texts(page), ElementsAre("Name:", "Jane", "Doe"));
}

// The box `b` of an upright page, on that page turned `turns` quarters clockwise (normalised,
// lower-left origin): the bounds of its turned corners.
BoundingBox turnedBox(const BoundingBox& b, int turns) {
  double minX = 1, minY = 1, maxX = 0, maxY = 0;
  for (const double x : {b.x, b.x + b.width}) {
    for (const double y : {b.y, b.y + b.height}) {
      double tx = x, ty = y;
      for (int k = 0; k < turns; ++k) {
        const double px = tx;
        tx = ty;
        ty = 1 - px;
      }
      minX = std::min(minX, tx), maxX = std::max(maxX, tx);
      minY = std::min(minY, ty), maxY = std::max(maxY, ty);
    }
  }
  return {.x = minX, .y = minY, .width = maxX - minX, .height = maxY - minY};
}

// A line of a page that came in turned: reported boxes in the turned frame, and its upright box
// (and word boxes) as the recogniser read it.
TextObservation turnedLine(const std::string& text, BoundingBox uprightBox, int turns,
                           bool uprightWords = true) {
  auto candidate = std::make_shared<FakeText>(text, 1.0f, [uprightBox, turns](size_t b, size_t e) {
    return std::optional<BoundingBox>(turnedBox(*alongLine(uprightBox)(b, e), turns));
  });
  if (uprightWords) candidate->upright = alongLine(uprightBox);
  return {.boundingBox = turnedBox(uprightBox, turns),
          .uprightBox = uprightBox,
          .topCandidate = candidate};
}

bool sameBox(const BoundingBox& a, const BoundingBox& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

TEST(PageFromObservations, TurnedPagesAreReadInTheirUprightOrderWithBoxesAsReported) {
  // Two columns on the upright page: a heading over both, then a column on each side.
  struct UprightLine {
    std::string text;
    BoundingBox box;
  };
  const std::vector<UprightLine> page = {{"Certificate of birth", box(0.1, 0.85)},
                                         {"Name Jane", box(0.1, 0.7)},
                                         {"Born 1990", box(0.6, 0.7)},
                                         {"Place Leeds", box(0.1, 0.6)},
                                         {"Mother Ann", box(0.6, 0.6)}};
  const std::string upright = "Certificate of birth\nName Jane\nBorn 1990\nPlace Leeds\nMother Ann";
  const std::vector<std::string> uprightWords = {"Certificate", "of",     "birth", "Name",
                                                 "Jane",        "Born",   "1990",  "Place",
                                                 "Leeds",       "Mother", "Ann"};
  // The recogniser's order is not the reading order.
  const std::vector<size_t> recognised = {3, 0, 4, 2, 1};
  struct Case {
    int turns;
    std::string inputOrder;  // what ordering by the turned boxes gives
  };
  const std::vector<Case> cases = {
      {0, upright},
      {1, "Place Leeds\nName Jane\nCertificate of birth\nMother Ann\nBorn 1990"},
      {2, "Mother Ann\nPlace Leeds\nBorn 1990\nName Jane\nCertificate of birth"},
      {3, "Born 1990\nMother Ann\nCertificate of birth\nName Jane\nPlace Leeds"},
  };
  for (const Case& c : cases) {
    std::vector<TextObservation> observations;
    for (const size_t k : recognised) {
      observations.push_back(turnedLine(page[k].text, page[k].box, c.turns));
    }
    const OcrPage read = pageFromObservations(observations, 1);
    EXPECT_EQ(read.text, upright) << c.turns;
    EXPECT_EQ(texts(read), uprightWords) << c.turns;
    // Every fragment keeps the box the recogniser reported in the turned frame.
    const BoundingBox name = page[1].box;
    ASSERT_EQ(read.fragments.size(), uprightWords.size());
    EXPECT_TRUE(sameBox(read.fragments[4].boundingBox, turnedBox(*alongLine(name)(5, 9), c.turns)))
        << c.turns;  // "Jane"

    // Without upright boxes the lines are ordered as they stand in the turned frame.
    for (TextObservation& o : observations) o.uprightBox.reset();
    EXPECT_EQ(pageFromObservations(observations, 1).text, c.inputOrder) << c.turns;
  }
}

TEST(PageFromObservations, WordsWithoutAnUprightBoxAreOrderedByTheirLine) {
  // Turned half round: the upright lower line stands higher in the input.
  const BoundingBox first = box(0.1, 0.7), second = box(0.1, 0.5);
  const std::vector<TextObservation> observations = {turnedLine("two words", second, 2, false),
                                                     turnedLine("first line", first, 2)};
  const OcrPage read = pageFromObservations(observations, 1);
  EXPECT_EQ(read.text, "first line\ntwo words");
  EXPECT_THAT(texts(read), ElementsAre("first", "line", "two", "words"));
}

TEST(SplitWords, SeparatorsAreWhiteSpaceClusters) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"a b", {"a", "b"}},
      {"a  \t b", {"a", "b"}},
      {"Stra\u00dfe\u3000Nr.\u20037", {"Stra\u00dfe", "Nr.", "7"}},  // ideographic, em space
      {"one\u2028two\u2029three\u0085four", {"one", "two", "three", "four"}},
      {"x\u200by", {"x\u200by"}},  // a zero-width space is no White_Space
      {"a \u0301b", {"a", "b"}},   // a space with a combining mark is one separator
      {"", {}},
      {"\u00a0", {}},
  };
  for (const auto& [text, expected] : cases) {
    std::vector<std::string> words;
    for (std::string_view w : splitWords(text)) words.emplace_back(w);
    EXPECT_EQ(words, expected) << text;
  }
}

TEST(FindWord, MatchesWholeClustersOnlyAndRespectsCase) {
  const std::string decomposed = "cafe\u0301 cafe";  // "café" with a combining accent, then "cafe"
  EXPECT_EQ(findWord(decomposed, "cafe", 0), 7u);
  EXPECT_EQ(findWord(decomposed, "cafe\u0301", 0), 0u);
  EXPECT_EQ(findWord("Total total", "total", 0), 6u);
  EXPECT_EQ(findWord("ab ab", "ab", 1), 3u);
  EXPECT_EQ(findWord("ab", "abc", 0), std::nullopt);
}

TEST(PageFromObservations, OffsetsAreUtf8BytesOfTheCandidate) {
  const std::vector<TextObservation> observations = {
      line(" \u00fcber caf\u00e9 ", 1.0f, box(0, 0.5))};
  pageFromObservations(observations, 1);
  EXPECT_THAT(fake(observations[0]).asked, ElementsAre(Pair(1, 6), Pair(7, 12)));
}

// A recogniser that hands back canned observations or an error, and keeps the last request.
class FakeRecognizer : public TextRecognizer {
 public:
  RecognitionResult perform(Image image, const RecognitionRequest& request) const override {
    lastRequest = request;
    lastImage = image;
    return answer;
  }
  RecognitionResult answer;
  mutable RecognitionRequest lastRequest;
  mutable Image lastImage;
};

class RecognizeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedOptions_ = recognitionOptions;
    savedPlatform_ = platform();
    platform().recognizer = &recognizer_;
  }
  void TearDown() override {
    recognitionOptions = savedOptions_;
    platform() = savedPlatform_;
  }
  FakeRecognizer recognizer_;
  RecognitionOptions savedOptions_;
  Platform savedPlatform_;
};

TEST_F(RecognizeTest, RequestFollowsTheOptionsAndErrorsPassUnchanged) {
  const Image image(2, 2, PixelFormat::kGrey, 2, std::vector<uint8_t>(4, 255));
  recognitionOptions.fast = true;
  recognitionOptions.languageCorrection = false;
  recognitionOptions.languages = {"de-DE", "en-US"};
  recognizer_.answer.observations = {line("Hallo", 0.5f, box(0, 0.5))};
  const Recognition ok = recognize(image, 7);
  ASSERT_TRUE(ok.page.has_value());
  EXPECT_EQ(ok.page->pageNumber, 7);
  EXPECT_EQ(ok.page->text, "Hallo");
  EXPECT_TRUE(recognizer_.lastRequest.fast);
  EXPECT_FALSE(recognizer_.lastRequest.languageCorrection);
  EXPECT_THAT(recognizer_.lastRequest.languages, ElementsAre("de-DE", "en-US"));
  EXPECT_TRUE(recognizer_.lastImage.isSameImage(image));

  recognizer_.answer.error = "The recognition language \"xx\" is not supported.";
  const Recognition failed = recognize(image, 1);
  EXPECT_FALSE(failed.page.has_value());
  EXPECT_EQ(failed.error, "The recognition language \"xx\" is not supported.");
}

}  // namespace
}  // namespace marrowfen::scan
