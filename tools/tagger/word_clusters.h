// Word classes learnt from unlabelled text: words that occur between the same neighbours fall into
// the same class, so a name seen once in labelled text lends its weights to the names that share
// its class ("Brattleboro", "Bennettsville" and the other small towns of running text).
//
// The classes are those of a class bigram model, found by the exchange algorithm: every word in
// turn moves to the class under which the text is most likely, until few words move.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace marrowfen::tagger {

class ClusterCounter {
 public:
  // Counts the lower-cased words of one sentence and the pairs of neighbours in it.
  void add(const std::vector<std::string>& lowerTokens);
  size_t tokenCount() const { return tokens_; }

  // The class of every word seen at least `minCount` times, classes numbered from 0 to
  // classCount - 1; `passes` bounds the exchange passes (they stop earlier once under 0.1% of the
  // words move).
  std::unordered_map<std::string, uint16_t> cluster(int classCount, int minCount, int passes) const;

 private:
  std::unordered_map<std::string, uint32_t> ids_;
  std::vector<std::string> words_;
  std::vector<uint64_t> count_;
  std::unordered_map<uint64_t, uint32_t> pairs_;  // left id << 32 | right id
  size_t tokens_ = 0;
};

}  // namespace marrowfen::tagger
