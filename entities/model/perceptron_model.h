// The trained name model: an averaged perceptron over hashed features with first-order label
// transitions, decoded by Viterbi under the BIO constraints.
//
// Labels are BIO over three name types: 0 = O, then B and I of person (1, 2), organisation
// (3, 4) and place (5, 6). An I label may only follow the B or I of its own type.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "entities/model/tagger_features.h"
#include "entities/name_model.h"

namespace marrowfen::entities {

inline constexpr int kTagCount = 7;

// The tag number of a label, and back.
int tagOf(NameLabel label);
NameLabel labelOf(int tag);

// The best tag sequence for per-token tag scores `emissions` (n x kTagCount, row-major),
// transition scores `transitions[from * kTagCount + to]` and start scores, never breaking BIO.
std::vector<int> viterbiDecode(const std::vector<float>& emissions,
                               const std::array<float, kTagCount * kTagCount>& transitions,
                               const std::array<float, kTagCount>& start);

// Whether tag `to` may follow tag `from` (from = -1: the start of the line).
bool transitionAllowed(int from, int to);

// The weights of a model in the form stored on disk.
struct PerceptronWeights {
  unsigned bucketBits = 20;                              // 2^bucketBits feature buckets
  float scale = 1.0f;                                    // weight = quantised * scale
  std::vector<int16_t> quantised;                        // (2^bucketBits) x kTagCount
  std::array<float, kTagCount * kTagCount> transitions{};  // from x to
  std::array<float, kTagCount> start{};                  // first token of a line
  Gazetteer gazetteer;                                   // word classes used by the features
};

class PerceptronNameModel : public NameModel {
 public:
  explicit PerceptronNameModel(PerceptronWeights weights);

  std::vector<NameLabel> label(const std::vector<std::string>& tokens) const override;
  std::vector<NameLabel> label(const std::vector<std::string>& tokens,
                               std::string_view language) const override;
  // The tag numbers for `tokens`, as label() but without converting; `language` is a
  // modelLanguageOf value (0: not known).
  std::vector<int> tags(const std::vector<std::string>& tokens, int language = 0) const;

  const PerceptronWeights& weights() const { return weights_; }

 private:
  PerceptronWeights weights_;
};

// Writes `weights` to `path`; false when the file cannot be written.
bool saveNameModel(const PerceptronWeights& weights, const std::string& path);
// Reads a model file; nothing when it is missing, truncated or of another format or version.
std::optional<PerceptronWeights> readNameModel(const std::string& path);
// readNameModel wrapped in a model, or null.
std::unique_ptr<PerceptronNameModel> loadPerceptronNameModel(const std::string& path);

// Where the model file is looked for, first match wins:
//   1. the environment variable MARROWFEN_NAME_MODEL, when set and not empty (tests, benchmarks);
//   2. name-tagger.model in the directory of the running executable (/proc/self/exe);
//   3. ../share/marrowfen/name-tagger.model from that directory (an installed tree);
//   4. models/name-tagger.model of the source tree this binary was built from.
// Returns the first candidate that exists as a regular file, or nothing.
std::optional<std::string> findNameModelFile();

inline constexpr const char* kNameModelFileName = "name-tagger.model";

}  // namespace marrowfen::entities
