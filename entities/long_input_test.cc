// Texts far longer than a document's lines: the tagger hands a line without breaks on in bounded
// pieces, every word in exactly one of them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/json_writer.h"
#include "entities/candidate_rules.h"
#include "entities/name_tagger.h"

namespace marrowfen::entities {
namespace {

struct Pieces {
  std::vector<size_t> sizes;
  size_t words = 0;
  std::string lastTokenOfEach;  // the last token of every piece but the final one, joined
};

Pieces piecesOf(const std::string& text) {
  Pieces p;
  std::vector<LineToken> all;
  forEachLine(text, [&](const std::vector<LineToken>& tokens) {
    p.sizes.push_back(tokens.size());
    for (const LineToken& t : tokens) {
      if (t.isWord) ++p.words;
      if (!all.empty()) {
        EXPECT_LT(all.back().range.begin, t.range.begin);
      }
      all.push_back(t);
    }
    p.lastTokenOfEach +=
        text.substr(tokens.back().range.begin, tokens.back().range.end - tokens.back().range.begin);
    return true;
  });
  return p;
}

TEST(LongInputTest, LineWithoutBreaksIsCutAtSentencesWithinBounds) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "Anna Keller lives in Berlin. ";
  const Pieces p = piecesOf(text);
  EXPECT_EQ(p.words, 3000u * 5);
  ASSERT_GT(p.sizes.size(), 1u);
  for (size_t size : p.sizes) EXPECT_LE(size, kMaxLineTokens);
  // Every piece ends with a full stop: no sentence is cut.
  EXPECT_EQ(p.lastTokenOfEach, std::string(p.sizes.size(), '.'));
}

TEST(LongInputTest, LineWithoutSentencesIsCutAtTheHardBound) {
  std::string text;
  for (int i = 0; i < 10000; ++i) text += "word ";
  const Pieces p = piecesOf(text);
  EXPECT_EQ(p.words, 10000u);
  EXPECT_EQ(p.sizes,
            (std::vector<size_t>{kMaxLineTokens, kMaxLineTokens, 10000 - 2 * kMaxLineTokens}));
}

TEST(LongInputTest, LineOfPunctuationIsCutAtTheHardBoundToo) {
  // Colons, brackets and dashes are no words and end no sentence: a line of them alone, or of
  // them between words, is cut like a line of words.
  for (const std::string unit : {":", "(", " - ", "a : "}) {
    std::string text;
    while (text.size() < 30000 * unit.size()) text += unit;
    const Pieces p = piecesOf(text);
    ASSERT_GT(p.sizes.size(), 1u) << unit;
    for (size_t size : p.sizes) EXPECT_LE(size, kMaxLineTokens) << unit;
  }
}

TEST(LongInputTest, OrdinaryLinesStayWhole) {
  std::string line;
  for (int i = 0; i < 300; ++i) line += "Anna Keller. ";
  const Pieces p = piecesOf(line + "\n" + line);
  EXPECT_EQ(p.sizes, (std::vector<size_t>{900, 900}));
}

TEST(LongInputTest, EvidenceOnAHugeLineIsAWindowOfWholeCharacters) {
  // "é" is two bytes: a window edge would fall inside one somewhere unless it is kept whole.
  std::string text;
  while (text.size() < 200000) text += "Café Zoë é ";
  const size_t at = text.size() / 2 + 1;
  const std::string value = "12 March 2021";
  text.insert(text.begin() + static_cast<std::ptrdiff_t>(at), value.begin(), value.end());
  for (size_t shift = 0; shift < 4; ++shift) {
    const TextRange range{at, at + value.size()};
    std::string padded = std::string(shift, 'x') + text;
    const TextRange moved{range.begin + shift, range.end + shift};
    const std::string evidence = contextLine(moved, padded);
    EXPECT_NE(evidence.find(value), std::string::npos);
    EXPECT_LE(evidence.size(), value.size() + 2 * kEvidenceWindow);
    EXPECT_GE(evidence.size(), value.size() + 2 * kEvidenceWindow - 8);
    // Every byte that starts a scalar is a lead byte or ASCII: no character was cut.
    EXPECT_NE(static_cast<unsigned char>(evidence.front()) & 0xC0, 0x80);
    std::string out;
    appendJsonString(out, evidence);
    EXPECT_EQ(out.find("\xEF\xBF\xBD"), std::string::npos) << shift;
  }
  // A line just under the bound is taken whole.
  const std::string line(kMaxEvidenceLine - 20, 'a');
  EXPECT_EQ(contextLine({10, 12}, line + "\nnext"), line);
}

}  // namespace
}  // namespace marrowfen::entities
