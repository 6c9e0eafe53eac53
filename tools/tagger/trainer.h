// Training of the name model: an averaged perceptron over the hashed features of
// entities/model/tagger_features.h, decoded with the same Viterbi as at run time.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "entities/model/perceptron_model.h"
#include "tools/tagger/corpus.h"
#include "tools/tagger/synthetic.h"

namespace marrowfen::tagger {

// The gazetteer of the lists: one-word entries under their class, words of longer place names as
// place parts, plus the built-in words of form labels and organisation names.
// Places of more than one word are also listed as phrases.
std::vector<uint64_t> listEntries(const NameLists& lists);
// Counts how a word is written in running text, to tell common words from names.
class CaseCounter {
 public:
  // Counts the words of one sentence (lines in capitals say nothing and are passed over).
  void add(const std::vector<std::string>& tokens);
  // The words written in lower case at least `minLower` times and at least as often as with a
  // capital, listed as common words.
  std::vector<uint64_t> commonWordEntries(long minLower = 2) const;

 private:
  std::unordered_map<std::string, std::pair<long, long>>
      counts_;  // lower-cased word: lower, capital
};

// The dictionary words of spelling word lists, one word per line as the dictionary writes it;
// `files` pairs a model language ("de") with a file. Nothing when a file cannot be read or its
// language is not a model language.
std::optional<entities::Lexicon> readDictionaries(
    const std::vector<std::pair<std::string, std::string>>& files);

// The names of labelled sentences as phrases of their types, and each of their words as a word
// of a name of that type.
std::vector<uint64_t> phraseEntries(const std::vector<Sentence>& sentences);
entities::Gazetteer buildGazetteer(const NameLists& lists);

class PerceptronTrainer {
 public:
  PerceptronTrainer(unsigned bucketBits, entities::Gazetteer gazetteer);

  // Adds a training sentence (tokens as the tagger sees them); its features are computed once.
  void add(const Sentence& sentence);
  // The same with the features computed against another gazetteer (cross-fitting: the names of a
  // sentence's own part of the corpus are left out of the phrases it sees).
  void add(const Sentence& sentence, const entities::Gazetteer& gazetteer);
  size_t sentenceCount() const { return sentenceStart_.size() - 1; }
  size_t tokenCount() const { return tags_.size(); }

  // Runs `epochs` passes in an order shuffled by `seed`; after each pass calls `afterEpoch`
  // (when set) with the pass number and the fraction of sentences that were tagged wrongly.
  void train(int epochs, uint64_t seed, const std::function<void(int, double)>& afterEpoch = {});

  // Training knobs: `margin` is added to the score of every wrong state while a sentence is
  // decoded for training, so updates continue until the gold path wins by that much; each
  // feature of a token is left out of a training pass with probability `featureDropout`.
  double margin = 0;
  double featureDropout = 0;
  // The optional feature groups (entities::FeatureGroup bits) of the sentences added after it is
  // set; the model records them.
  uint32_t featureGroups = 0;
  // Whether the model learns the state of names of none of the three types (sentences tagged
  // kOtherNameTag); without it, the state is never taken and the model file stores 13 states.
  bool otherNames = false;
  // Whether lines of running text in capitals are trained as the model reads them
  // (entities::recaseCapitals), rather than as written.
  bool recaseCapitals = false;

  // Keeps the averages of the run so far and starts a new run from zero weights; the model is
  // then the mean of all runs (runs in different orders disagree on rare features, and their mean
  // trusts those less).
  void restart();

  // The averaged weights, quantised to 8 bits, with the gazetteer: a complete model.
  entities::PerceptronWeights averagedWeights() const;

 private:
  void update(size_t sentence, const std::vector<int>& predicted);
  // Whether feature occurrence `feature` (an index into buckets_) sits out this pass.
  bool dropped(uint64_t feature) const;

  unsigned bits_;
  entities::Gazetteer gazetteer_;
  std::vector<uint32_t> buckets_;      // features of all tokens, concatenated
  std::vector<uint64_t> tokenOffset_;  // per token, start in buckets_; one extra at the end
  std::vector<uint8_t> tags_;          // gold state per token
  std::vector<size_t> sentenceStart_;  // first token of each sentence; one extra at the end
  std::vector<float> weights_;         // current weights
  std::vector<double> accumulated_;    // step-weighted sums of the updates (averaging)
  std::array<float, entities::kStateCount * entities::kStateCount> trans_{};
  std::array<double, entities::kStateCount * entities::kStateCount> transAcc_{};
  std::array<float, entities::kStateCount> start_{};
  std::array<double, entities::kStateCount> startAcc_{};
  double step_ = 1;
  std::vector<float> ensemble_;  // sums of the finished runs' averaged weights
  std::array<double, entities::kStateCount * entities::kStateCount> ensembleTrans_{};
  std::array<double, entities::kStateCount> ensembleStart_{};
  int runs_ = 0;                // finished runs
  uint64_t dropSalt_ = 0;       // changes every pass
  uint64_t dropThreshold_ = 0;  // featureDropout scaled to 2^64
};

}  // namespace marrowfen::tagger
