#include "tools/tagger/word_clusters.h"

#include <gtest/gtest.h>

#include <sstream>

namespace marrowfen::tagger {
namespace {

std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

TEST(WordClusters, WordsBetweenTheSameNeighboursShareAClass) {
  ClusterCounter counter;
  // Animals after articles and before verbs, towns after prepositions and before times.
  for (int r = 0; r < 5; ++r) {
    for (const char* line : {"the cat sleeps", "the dog sleeps", "a cat runs", "a dog runs",
                             "the horse runs", "in paris today", "in london today",
                             "from paris now", "from london now", "in rome now"}) {
      counter.add(words(line));
    }
  }
  EXPECT_EQ(counter.tokenCount(), 150u);
  const auto classes = counter.cluster(6, 2, 20);
  for (const char* w : {"cat", "dog", "horse", "paris", "london", "rome", "the", "in"}) {
    ASSERT_TRUE(classes.count(w)) << w;
  }
  EXPECT_EQ(classes.at("cat"), classes.at("dog"));
  EXPECT_EQ(classes.at("cat"), classes.at("horse"));
  EXPECT_EQ(classes.at("paris"), classes.at("london"));
  EXPECT_EQ(classes.at("paris"), classes.at("rome"));
  EXPECT_NE(classes.at("cat"), classes.at("paris"));
  for (const auto& [w, c] : classes) EXPECT_LT(c, 6) << w;
  EXPECT_FALSE(classes.count("<s>"));  // the sentence ends are no word of the text
}

TEST(WordClusters, RareWordsGetNoClass) {
  ClusterCounter counter;
  counter.add(words("the cat sleeps"));
  counter.add(words("the dog sleeps"));
  counter.add(words("the cat runs"));
  const auto classes = counter.cluster(4, 2, 5);
  EXPECT_TRUE(classes.count("cat"));
  EXPECT_TRUE(classes.count("the"));
  EXPECT_FALSE(classes.count("dog"));
  EXPECT_FALSE(classes.count("runs"));
  EXPECT_TRUE(ClusterCounter().cluster(4, 1, 5).empty());
  EXPECT_TRUE(counter.cluster(1, 1, 5).empty());
}

}  // namespace
}  // namespace marrowfen::tagger
