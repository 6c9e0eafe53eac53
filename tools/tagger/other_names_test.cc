#include "tools/tagger/other_names.h"

#include <gtest/gtest.h>

#include <sstream>

#include "entities/model/perceptron_model.h"
#include "tools/tagger/synthetic.h"

namespace marrowfen::tagger {
namespace {

constexpr int X = entities::kOtherNameTag;

Sentence sentence(const std::string& words, std::vector<int> tags) {
  Sentence s;
  std::istringstream in(words);
  for (std::string w; in >> w;) s.tokens.push_back(w);
  s.tags = std::move(tags);
  return s;
}

TEST(OtherNames, NationalitiesAndEventsAmongONames) {
  struct Case {
    std::string words;
    std::vector<int> tags, expected;
  };
  for (const Case& c : {
           Case{"The Russian striker scored", {0, 0, 0, 0}, {0, X, 0, 0}},
           Case{"Europeans and Israelis met Britons", {0, 0, 0, 0, 0}, {X, 0, X, 0, X}},
           // A name of one of the three types keeps its type.
           Case{"Russian Railways said", {3, 4, 0}, {3, 4, 0}},
           Case{"the Australian Open in Melbourne", {0, 0, 0, 0, 5}, {0, X, X, 0, 5}},
           Case{"after the Second World War ended", {0, 0, 0, 0, 0, 0}, {0, 0, X, X, X, 0}},
           Case{"the 2008 Summer Olympic Games in Beijing",
                {0, 0, 0, 0, 0, 0, 5},
                {0, X, X, X, X, 0, 5}},
           Case{"The Hundred Years War", {0, 0, 0, 0}, {0, X, X, X}},
           Case{"the War of Independence began", {0, 0, 0, 0, 0}, {0, X, X, X, 0}},
           Case{"the Treaty of Nanking", {0, 0, 0, 0}, {0, X, X, X}},
           Case{"Battle Creek and the Siege of Troy", {5, 6, 0, 0, 0, 0, 5}, {5, 6, 0, 0, 0, 0, 5}},
           Case{"during the Renaissance .", {0, 0, 0, 0}, {0, 0, X, 0}},
           // Capitalised words that are no event, and event words in small letters.
           Case{"Open the door", {0, 0, 0}, {0, 0, 0}},
           Case{"The Committee met", {0, 0, 0}, {0, 0, 0}},
           Case{"won the cup", {0, 0, 0}, {0, 0, 0}},
           Case{"russian and Russianness", {0, 0, 0}, {0, 0, 0}},
       }) {
    Sentence s = sentence(c.words, c.tags);
    markOtherNames(s);
    EXPECT_EQ(s.tags, c.expected) << c.words;
  }
}

TEST(OtherNames, ReadFromCorpusTagsOnlyWhenAsked) {
  const std::string text =
      "1\tDie\tO\tO\n2\tdeutschen\tB-LOCderiv\tO\n3\tBerliner\tB-LOCderiv\tO\n"
      "4\tTag\tB-OTH\tO\n5\tder\tI-OTH\tO\n6\tArbeit\tI-OTH\tO\n7\tin\tO\tO\n8\tBonn\tB-LOC\tO\n";
  std::istringstream plain(text), marked(text);
  const auto without = readCorpus(plain, CorpusFormat::kGermEval);
  const auto with = readCorpus(marked, CorpusFormat::kGermEval, true);
  ASSERT_EQ(without.size(), 1u);
  ASSERT_EQ(with.size(), 1u);
  EXPECT_EQ(without[0].tags, (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 5}));
  EXPECT_EQ(with[0].tags, (std::vector<int>{0, 0, X, X, X, X, 0, 5}));
  // Other names are no spans of the three types, and stay other names when a word is segmented.
  EXPECT_TRUE(spansOf({X, X, 0}).empty());
  Sentence s = sentence("Franco/Prussian", {X});
  EXPECT_EQ(segmentSentence(s).sentence.tags, (std::vector<int>(3, X)));
}

TEST(OtherNames, StatesAndDecoding) {
  EXPECT_EQ(entities::statesOfTags({X, 1, 2, X}),
            (std::vector<int>{entities::kOtherNameState, 1, 3, entities::kOtherNameState}));
  EXPECT_EQ(entities::tagOfState(entities::kOtherNameState), 0);
  EXPECT_TRUE(entities::transitionAllowed(entities::kOtherNameState, 1));
  EXPECT_TRUE(entities::transitionAllowed(4, entities::kOtherNameState));   // after U
  EXPECT_FALSE(entities::transitionAllowed(1, entities::kOtherNameState));  // inside a name
  EXPECT_FALSE(entities::transitionAllowed(entities::kOtherNameState, 2));
}

TEST(OtherNames, SyntheticNewsLinesAreTheSameLinesEitherWay) {
  NameLists lists;
  lists.firstNames = {"Anna", "Oleg", "Pierre", "Maria"};
  lists.lastNames = {"Weber", "Petrov", "Martin", "Rossi"};
  lists.cities = {"Bremen", "Lyon", "Leeds", "Turin"};
  lists.countries = {"Austria", "Chile", "Kenya"};
  lists.orgSuffixes = {"GmbH", "Ltd"};
  std::mt19937_64 a(7), b(7);
  const auto plain = syntheticLines(lists, 3000, a, false, true, false);
  const auto marked = syntheticLines(lists, 3000, b, false, true, true);
  ASSERT_EQ(plain.size(), marked.size());
  size_t others = 0;
  for (size_t i = 0; i < plain.size(); ++i) {
    ASSERT_EQ(plain[i].tokens, marked[i].tokens);
    for (size_t k = 0; k < plain[i].tags.size(); ++k) {
      if (marked[i].tags[k] == X) {
        ++others;
        EXPECT_EQ(plain[i].tags[k], 0);
      } else {
        EXPECT_EQ(plain[i].tags[k], marked[i].tags[k]);
      }
    }
  }
  EXPECT_GT(others, 10u);
}

}  // namespace
}  // namespace marrowfen::tagger
