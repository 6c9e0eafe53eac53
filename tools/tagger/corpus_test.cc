#include "tools/tagger/corpus.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <set>
#include <sstream>

#include "tools/tagger/synthetic.h"
#include "tools/tagger/trainer.h"

namespace marrowfen::tagger {
namespace {

TEST(ParseTag, MapsTypesAndRepairsBio) {
  const struct {
    const char* tag;
    int previous;
    int expected;
  } cases[] = {{"O", 0, 0},          {"B-PER", 0, 1},     {"I-PER", 1, 2}, {"I-PER", 2, 2},
               {"I-PER", 0, 1},      {"I-ORG", 1, 3},     {"B-LOC", 6, 5}, {"I-LOC", 5, 6},
               {"B-LOCderiv", 0, 0}, {"I-ORGpart", 3, 0}, {"B-OTH", 0, 0}, {"B-MISC", 0, 0},
               {"", 0, 0},           {"X-PER", 0, 0}};
  for (const auto& c : cases) EXPECT_EQ(parseTag(c.tag, c.previous), c.expected) << c.tag;
}

TEST(ReadCorpus, ReadsTheThreeFormats) {
  std::istringstream wiki("en:R.H.\tB-ORG\nen:Saunders\tI-ORG\nen:(\tO\n\nde:Köln\tB-LOC\n");
  auto w = readCorpus(wiki, CorpusFormat::kWikiAnn);
  ASSERT_EQ(w.size(), 2u);
  EXPECT_EQ(w[0].tokens, (std::vector<std::string>{"R.H.", "Saunders", "("}));
  EXPECT_EQ(w[0].tags, (std::vector<int>{3, 4, 0}));
  EXPECT_EQ(w[1].tokens, (std::vector<std::string>{"Köln"}));
  EXPECT_EQ(w[0].language, "en");
  EXPECT_EQ(w[1].language, "de");
  EXPECT_EQ(segmentSentence(w[0]).sentence.language, "en");
  EXPECT_EQ(upperCased(w[1]).language, "de");

  std::istringstream germ(
      "#\thttp://example.org\t[2010-07-04]\n1\tDie\tO\tO\n2\tdeutschen\tB-LOCderiv\tO\n"
      "3\tEcce\tB-OTH\tO\n4\tAngela\tB-PER\tO\n5\tMerkel\tI-PER\tO\n\n");
  auto g = readCorpus(germ, CorpusFormat::kGermEval);
  ASSERT_EQ(g.size(), 1u);
  EXPECT_EQ(g[0].tokens.size(), 5u);
  EXPECT_EQ(g[0].tags, (std::vector<int>{0, 0, 0, 1, 2}));
  EXPECT_EQ(g[0].language, "de");

  std::istringstream btc("I\tO\nlove\tO\nLondon\tB-LOC\r\n\n\n@bob\tB-PER\nmalformed\n");
  auto b = readCorpus(btc, CorpusFormat::kTokenTag);
  ASSERT_EQ(b.size(), 2u);
  EXPECT_EQ(b[0].tags, (std::vector<int>{0, 0, 5}));
  EXPECT_EQ(b[1].tokens, (std::vector<std::string>{"@bob"}));
  EXPECT_EQ(b[0].language, "");  // the format names no language

  std::ostringstream out;
  writeCorpus(out, b);
  std::istringstream again(out.str());
  auto b2 = readCorpus(again, CorpusFormat::kTokenTag);
  ASSERT_EQ(b2.size(), 2u);
  EXPECT_EQ(b2[0].tokens, b[0].tokens);
  EXPECT_EQ(b2[0].tags, b[0].tags);
}

TEST(CaseCounter, ListsWordsMostlyWrittenInLowerCase) {
  CaseCounter counter;
  counter.add({"Yesterday", "Anna", "left", "the", "house", "in", "Bath", "."});
  counter.add({"We", "met", "Anna", "yesterday", "at", "the", "bath", "."});
  counter.add({"It", "rained", "yesterday", "in", "Bath", "and", "the", "bath", "leaked"});
  counter.add({"THE", "BATH", "THE", "BATH", "IN", "BATH"});  // capitals count for nothing
  counter.add({"Anna"});                                      // the first word neither
  const entities::Gazetteer g(counter.commonWordEntries());
  struct Case {
    const char* word;
    bool common;
  };
  for (const Case& c :
       {Case{"yesterday", true}, Case{"the", true}, Case{"bath", true}, Case{"in", true},
        Case{"anna", false}, Case{"met", false}, Case{"we", false}, Case{".", false}}) {
    EXPECT_EQ(g.lookup(c.word) == entities::kGazCommonWord, c.common) << c.word;
  }
}

TEST(Segments, SplitLikeTheProgramAndMapBack) {
  EXPECT_EQ(wordSegments("Father's Name:  JEAN-PIERRE"),
            (std::vector<std::string>{"Father's", "Name", ":", "JEAN-PIERRE"}));
  EXPECT_TRUE(wordSegments(" \t ").empty());
  Sentence s{{"St.", "Lawrence", "river"}, {3, 4, 0}};
  const SegmentedSentence seg = segmentSentence(s);
  EXPECT_EQ(seg.sentence.tokens, (std::vector<std::string>{"St", ".", "Lawrence", "river"}));
  EXPECT_EQ(seg.sentence.tags, (std::vector<int>{3, 4, 4, 0}));
  EXPECT_EQ(seg.origin, (std::vector<size_t>{0, 0, 1, 2}));
  EXPECT_EQ(tagsOfOriginalTokens(seg, {3, 0, 4, 0}, 3), (std::vector<int>{3, 4, 0}));
  // A continuation left without its start becomes a start.
  EXPECT_EQ(tagsOfOriginalTokens(seg, {0, 0, 4, 0}, 3), (std::vector<int>{0, 3, 0}));
  EXPECT_EQ(upperCased(s).tokens, (std::vector<std::string>{"ST.", "LAWRENCE", "RIVER"}));
}

TEST(Scoring, CountsExactSpansAndTypes) {
  EXPECT_EQ(spansOf({1, 2, 0, 2, 5, 6, 5}),
            (std::vector<Span>{{0, 2, 1}, {3, 4, 1}, {4, 6, 3}, {6, 7, 3}}));
  EntityCounts c;
  // gold: PER [0,2), LOC [3,4), ORG [5,7)
  const std::vector<int> gold = {1, 2, 0, 5, 0, 3, 4};
  // right PER, LOC as ORG (wrong type), ORG cut short (wrong span), one extra PER
  const std::vector<int> pred = {1, 2, 1, 3, 0, 3, 0};
  c.add(gold, pred);
  EXPECT_EQ(c.gold[1] + c.gold[2] + c.gold[3], 3);
  EXPECT_EQ(c.predicted[1], 2);
  EXPECT_EQ(c.correct[1], 1);
  EXPECT_EQ(c.correct[2] + c.correct[3], 0);
  const Prf all = scoreOf(c, 0);
  EXPECT_DOUBLE_EQ(all.precision, 1.0 / 4);
  EXPECT_DOUBLE_EQ(all.recall, 1.0 / 3);
  EXPECT_NEAR(all.f1, 2 * (0.25 / 3) / (0.25 + 1.0 / 3), 1e-12);
  EXPECT_DOUBLE_EQ(scoreOf(c, 1).precision, 0.5);
  EXPECT_DOUBLE_EQ(scoreOf(c, 1).recall, 1.0);
  EXPECT_DOUBLE_EQ(scoreOf(EntityCounts{}, 0).f1, 0.0);
  std::ostringstream table;
  printScores(table, c);
  EXPECT_NE(table.str().find("overall"), std::string::npos);
}

NameLists smallLists() {
  NameLists l;
  for (int i = 0; i < 50; ++i) {
    l.firstNames.push_back("Given" + std::string(1, static_cast<char>('a' + i % 26)) +
                           std::to_string(i));
    l.lastNames.push_back("Family" + std::to_string(i));
    l.cities.push_back("Town" + std::to_string(i));
    l.countries.push_back("Land" + std::to_string(i));
  }
  l.orgSuffixes = {"GmbH", "Ltd"};
  return l;
}

TEST(Synthetic, LinesAreValidBioAndHeldOutNamesStayOut) {
  NameLists train, held;
  splitNameLists(smallLists(), train, held);
  ASSERT_FALSE(held.lastNames.empty());
  ASSERT_FALSE(train.lastNames.empty());
  std::set<std::string> heldWords;
  for (const auto& v : {held.firstNames, held.lastNames, held.cities, held.countries}) {
    for (const auto& s : v) heldWords.insert(s);
  }
  std::mt19937_64 rng(7);
  const auto lines = syntheticLines(train, 500, rng);
  ASSERT_EQ(lines.size(), 500u);
  size_t names = 0;
  for (const auto& s : lines) {
    ASSERT_EQ(s.tokens.size(), s.tags.size());
    int prev = 0;
    for (size_t i = 0; i < s.tokens.size(); ++i) {
      const int t = s.tags[i];
      EXPECT_TRUE(t == 0 || t % 2 == 1 || prev == t || prev == t - 1);
      if (t) {
        EXPECT_EQ(heldWords.count(s.tokens[i]), 0u) << s.tokens[i];
      }
      prev = t;
    }
    names += spansOf(s.tags).size();
  }
  EXPECT_GT(names, 300u);
}

TEST(Synthetic, ReceiptLinesNameTheSellerAndNotTheSums) {
  NameLists train, held;
  splitNameLists(smallLists(), train, held);
  // Some receipt lines are a seller with its legal form or trade word, an organisation; the
  // totals are no names.
  std::mt19937_64 c(11);
  const auto lines = syntheticLines(train, 3000, c, true);
  size_t sellers = 0, sums = 0;
  for (const auto& s : lines) {
    for (const Span& span : spansOf(s.tags)) {
      if (span.type == 2 &&
          (s.tokens[span.end - 1] == "BHD" || s.tokens[span.end - 1] == "ENTERPRISE"))
        ++sellers;
    }
    for (size_t i = 0; i < s.tokens.size(); ++i) {
      if (s.tokens[i] == "TOTAL") {
        ++sums;
        EXPECT_EQ(s.tags[i], 0);
      }
    }
  }
  EXPECT_GT(sellers, 0u);
  EXPECT_GT(sums, 0u);
}

TEST(Synthetic, NewsLinesNameTeamsAndPlayersButNoNationalities) {
  NameLists train, held;
  splitNameLists(smallLists(), train, held);
  std::mt19937_64 plainRng(5), newsRng(5);
  const auto plain = syntheticLines(train, 2000, plainRng);
  const auto news = syntheticLines(train, 2000, newsRng, false, true);
  size_t rows = 0, nationalities = 0, differ = 0;
  const std::set<std::string> kNationalities = {"Russian", "French", "German", "Swiss", "Greek"};
  for (size_t k = 0; k < news.size(); ++k) {
    const Sentence& s = news[k];
    if (k < plain.size() && s.tokens != plain[k].tokens) ++differ;
    // A table row: a name, then numbers only; the name is the team, an organisation.
    size_t numbers = 0;
    for (size_t i = 1; i < s.tokens.size(); ++i) {
      numbers += std::isdigit(static_cast<unsigned char>(s.tokens[i][0])) ? 1 : 0;
    }
    if (s.tokens.size() >= 4 && numbers + 1 == s.tokens.size() && s.tags[0] != 0) {
      ++rows;
      EXPECT_EQ(s.tags[0], 3) << s.tokens[0];
    }
    for (size_t i = 0; i < s.tokens.size(); ++i) {
      if (kNationalities.count(s.tokens[i])) {
        ++nationalities;
        EXPECT_EQ(s.tags[i], 0) << s.tokens[i];
      }
    }
  }
  EXPECT_GT(rows, 0u);
  EXPECT_GT(nationalities, 0u);
  EXPECT_GT(differ, 0u);
}

TEST(Trainer, LearnsASmallCorpus) {
  std::vector<Sentence> corpus = {
      {{"Name", ":", "ANNA", "BERG"}, {0, 0, 1, 2}},
      {{"Place", "of", "Birth", ":", "OSLO"}, {0, 0, 0, 0, 5}},
      {{"Employer", ":", "Acme", "Ltd"}, {0, 0, 3, 4}},
      {{"Date", ":", "12.03.1990"}, {0, 0, 0}},
      {{"Witnesses", ":", "Anna", "Berg", "Oslo", "Acme", "Group", "Ltd"},
       {0, 0, 1, 2, 5, 3, 4, 4}},
  };
  // Plain updates, updates until a margin is won, and passes with features left out all have to
  // learn the corpus (the last two need more passes).
  struct Case {
    double margin, dropout;
    int epochs;
  };
  for (const Case& c : {Case{0, 0, 10}, Case{5, 0, 20}, Case{0, 0.3, 30}, Case{5, 0.3, 40}}) {
    PerceptronTrainer trainer(14, entities::Gazetteer());
    trainer.margin = c.margin;
    trainer.featureDropout = c.dropout;
    for (int r = 0; r < 3; ++r) {
      for (const auto& s : corpus) trainer.add(s);
    }
    EXPECT_EQ(trainer.sentenceCount(), 15u);
    double lastWrong = 1;
    trainer.train(c.epochs, 1, [&](int, double wrong) { lastWrong = wrong; });
    if (c.dropout == 0) {
      EXPECT_EQ(lastWrong, 0.0) << c.margin;
    }
    entities::PerceptronNameModel model(trainer.averagedWeights());
    for (const auto& s : corpus) {
      EXPECT_EQ(model.tags(s.tokens), s.tags)
          << s.tokens[0] << " margin " << c.margin << " dropout " << c.dropout;
    }
  }
}

TEST(Trainer, RunsFromZeroAgainAndKeepsTheMean) {
  const std::vector<Sentence> corpus = {
      {{"Name", ":", "ANNA", "BERG"}, {0, 0, 1, 2}},
      {{"Employer", ":", "Acme", "Ltd"}, {0, 0, 3, 4}},
      {{"Place", "of", "Birth", ":", "OSLO"}, {0, 0, 0, 0, 5}},
  };
  PerceptronTrainer once(12, entities::Gazetteer()), twice(12, entities::Gazetteer()),
      mixed(12, entities::Gazetteer());
  for (auto* t : {&once, &twice, &mixed}) {
    for (const auto& s : corpus) t->add(s);
  }
  once.train(6, 1);
  twice.train(6, 1);
  twice.restart();
  twice.train(6, 1);
  // Two identical runs have the mean of one.
  const auto a = once.averagedWeights(), b = twice.averagedWeights();
  EXPECT_NEAR(a.scale, b.scale, 1e-6 * a.scale);
  size_t differ = 0;
  for (size_t i = 0; i < a.quantised.size(); ++i) {
    EXPECT_LE(std::abs(a.quantised[i] - b.quantised[i]), 1);
    differ += a.quantised[i] != b.quantised[i];
  }
  EXPECT_LT(differ, 10u);
  for (size_t i = 0; i < a.transitions.size(); ++i) {
    if (std::isinf(a.transitions[i]) && a.transitions[i] == b.transitions[i])
      continue;  // forbidden
    EXPECT_NEAR(a.transitions[i], b.transitions[i], 1e-4);
  }
  // Runs in other orders still make a model that knows the corpus; restarting before any
  // training adds no empty run.
  mixed.restart();
  for (uint64_t seed : {1, 2, 3}) {
    if (seed > 1) mixed.restart();
    mixed.train(8, seed);
  }
  entities::PerceptronNameModel model(mixed.averagedWeights());
  for (const auto& s : corpus) EXPECT_EQ(model.tags(s.tokens), s.tags) << s.tokens[0];
}

}  // namespace
}  // namespace marrowfen::tagger
