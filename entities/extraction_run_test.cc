#include "entities/extraction_run.h"

#include <gtest/gtest.h>

#include "common/unicode.h"
#include "entities/clean.h"

namespace marrowfen::entities {
namespace {

class FixedLanguage : public LanguageRecognizer {
 public:
  explicit FixedLanguage(std::optional<std::string> code) : code_(std::move(code)) {}
  std::optional<std::string> dominantLanguage(std::string_view) override { return code_; }

 private:
  std::optional<std::string> code_;
};

// Reports scripted tokens and records how many callbacks it made.
class ScriptedTagger : public NameTagger {
 public:
  std::vector<std::pair<std::optional<NameTag>, TextRange>> tokens;
  size_t calls = 0;
  void enumerateTags(std::string_view, const TagCallback& callback) override {
    for (const auto& [tag, range] : tokens) {
      ++calls;
      if (!callback(tag, range)) return;
    }
  }
};

class ScriptedDetector : public DataDetector {
 public:
  explicit ScriptedDetector(std::vector<std::optional<DetectorMatch>> matches)
      : matches_(std::move(matches)) {}
  void enumerateMatches(std::u16string_view, const MatchCallback& callback) override {
    for (const auto& m : matches_) callback(m);
  }

 private:
  std::vector<std::optional<DetectorMatch>> matches_;
};

// A text of numbered lines, and the byte and UTF-16 ranges of each line's content.
struct Lines {
  std::string text;
  std::vector<TextRange> ranges;
  void add(const std::string& line) {
    ranges.push_back({text.size(), text.size() + line.size()});
    text += line + "\n";
  }
  DetectorMatch match(size_t k, uint64_t type) const {
    const TextRange r = ranges[k];
    return {utf16Length(std::string_view(text).substr(0, r.begin)),
            utf16Length(std::string_view(text).substr(r.begin, r.end - r.begin)), type};
  }
};

Services servicesOf(LanguageRecognizer* language, NameTagger* tagger,
                    std::vector<std::optional<DetectorMatch>> matches,
                    bool detectorAvailable = true) {
  return Services{.recognizer = language,
                  .tagger = tagger,
                  .makeDetector = [matches, detectorAvailable]() -> std::unique_ptr<DataDetector> {
                    if (!detectorAvailable) return nullptr;
                    return std::make_unique<ScriptedDetector>(matches);
                  }};
}

TEST(ExtractionRun, TaggerFirstThenDetectorCappedAt80) {
  Lines lines;
  for (int i = 0; i < 10; ++i) lines.add("Person" + std::to_string(i));
  for (int i = 0; i < 100; ++i)
    lines.add(std::to_string(1 + i % 28) + "/05/" + std::to_string(1900 + i));
  ScriptedTagger tagger;
  for (size_t k = 0; k < 10; ++k) {
    tagger.tokens.push_back({std::nullopt, lines.ranges[k]});
    tagger.tokens.push_back({NameTag::kPersonalName, lines.ranges[k]});
  }
  std::vector<std::optional<DetectorMatch>> matches;
  for (size_t k = 10; k < 110; ++k) matches.push_back(lines.match(k, kResultTypeDate));
  FixedLanguage language("en");
  const HelperOutput out = runExtraction(lines.text, servicesOf(&language, &tagger, matches));
  ASSERT_EQ(out.entities.size(), 80u);
  for (size_t i = 0; i < 10; ++i) EXPECT_EQ(out.entities[i].value, "Person" + std::to_string(i));
  for (size_t i = 10; i < 80; ++i) {
    EXPECT_EQ(out.entities[i].type, "date");
    EXPECT_EQ(out.entities[i].evidence, out.entities[i].value);
    EXPECT_EQ(out.entities[i].value,
              std::to_string(1 + (i - 10) % 28) + "/05/" + std::to_string(1900 + i - 10));
  }
  EXPECT_EQ(out.language, "en");
  EXPECT_TRUE(out.warnings.empty());
  EXPECT_TRUE(out.ok);
}

TEST(ExtractionRun, TaggingStopsAt80AndDetectorAddsNothingVisible) {
  Lines lines;
  for (int i = 0; i < 100; ++i) lines.add("Name" + std::to_string(i));
  lines.add("12/03/1990");
  ScriptedTagger tagger;
  for (size_t k = 0; k < 100; ++k)
    tagger.tokens.push_back({NameTag::kOrganizationName, lines.ranges[k]});
  FixedLanguage language(std::nullopt);
  const HelperOutput out = runExtraction(
      lines.text, servicesOf(&language, &tagger, {lines.match(100, kResultTypeDate)}));
  EXPECT_EQ(tagger.calls, 80u);  // the 80th candidate's callback said stop
  ASSERT_EQ(out.entities.size(), 80u);
  for (const Candidate& c : out.entities) EXPECT_EQ(c.type, "organization");
  EXPECT_FALSE(out.language);
}

TEST(ExtractionRun, MissingDetectorAndNoLanguage) {
  const std::string text = "Anna Marie";
  ScriptedTagger tagger;
  tagger.tokens.push_back({NameTag::kPersonalName, {0, text.size()}});
  FixedLanguage language(std::nullopt);
  const HelperOutput out = runExtraction(
      text, servicesOf(&language, &tagger, {DetectorMatch{0, 4, kResultTypeDate}}, false));
  ASSERT_EQ(out.entities.size(), 1u);
  EXPECT_EQ(out.entities[0].type, "person");
  EXPECT_FALSE(out.language);
  EXPECT_TRUE(out.warnings.empty());
}

TEST(ExtractionRun, EmojiBeforeADateKeepsTheUtf16RangeRight) {
  const std::string text = "\U0001F600\U0001F44D\U0001F3FD Geburtsdatum 12.03.1990 \U0001F600";
  const std::string date = "12.03.1990";
  const size_t at = text.find(date);
  const DetectorMatch match{utf16Length(std::string_view(text).substr(0, at)), date.size(),
                            kResultTypeDate};
  EXPECT_EQ(match.location, 20u);  // 3 emoji of 2 units, a space, 12 letters and a space
  ScriptedTagger tagger;
  const HelperOutput out = runExtraction(text, servicesOf(nullptr, &tagger, {match, std::nullopt}));
  ASSERT_EQ(out.entities.size(), 1u);
  EXPECT_EQ(out.entities[0].value, date);
  EXPECT_EQ(out.entities[0].evidence, clean(text));
}

TEST(ExtractionRun, CrLfLinesGiveTheWholeTextAsEvidence) {
  const std::string text = "Name: Anna Marie\r\nBorn 12/03/1990\r\nin Paris";
  ScriptedTagger tagger;
  tagger.tokens.push_back({NameTag::kPersonalName, {6, 16}});
  tagger.tokens.push_back({NameTag::kPlaceName, {text.size() - 5, text.size()}});
  const HelperOutput out =
      runExtraction(text, servicesOf(nullptr, &tagger, {DetectorMatch{23, 10, kResultTypeDate}}));
  ASSERT_EQ(out.entities.size(), 3u);
  for (const Candidate& c : out.entities)
    EXPECT_EQ(c.evidence, "Name: Anna Marie Born 12/03/1990 in Paris");
  EXPECT_EQ(out.entities[2].value, "12/03/1990");
}

TEST(ExtractionRun, TaggedPlaceHidesTheSameAddressAndDuplicatePhones) {
  const std::string text =
      "Baker Street 221B\nbaker street, 221-B\n+91 98765 43210\n+91-98765-43210";
  ScriptedTagger tagger;
  tagger.tokens.push_back({NameTag::kPlaceName, {0, 17}});
  const HelperOutput out =
      runExtraction(text, servicesOf(nullptr, &tagger,
                                     {DetectorMatch{18, 19, kResultTypeAddress},
                                      DetectorMatch{38, 15, kResultTypePhoneNumber},
                                      DetectorMatch{54, 15, kResultTypePhoneNumber}}));
  ASSERT_EQ(out.entities.size(), 2u);
  EXPECT_EQ(out.entities[0].metadata.at("nlTag"), "placeName");
  EXPECT_EQ(out.entities[1].value, "+91 98765 43210");
  EXPECT_EQ(out.entities[1].label, "phone");
}

}  // namespace
}  // namespace marrowfen::entities
