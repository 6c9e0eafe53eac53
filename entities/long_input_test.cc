// Texts far longer than a document's lines: the tagger hands a line without breaks on in bounded
// pieces, every word in exactly one of them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

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
      if (!all.empty()) EXPECT_LT(all.back().range.begin, t.range.begin);
      all.push_back(t);
    }
    p.lastTokenOfEach += text.substr(tokens.back().range.begin,
                                     tokens.back().range.end - tokens.back().range.begin);
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
  EXPECT_EQ(p.sizes, (std::vector<size_t>{kMaxLineTokens, kMaxLineTokens, 10000 - 2 * kMaxLineTokens}));
}

TEST(LongInputTest, OrdinaryLinesStayWhole) {
  std::string line;
  for (int i = 0; i < 300; ++i) line += "Anna Keller. ";
  const Pieces p = piecesOf(line + "\n" + line);
  EXPECT_EQ(p.sizes, (std::vector<size_t>{900, 900}));
}

}  // namespace
}  // namespace marrowfen::entities
