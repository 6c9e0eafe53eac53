// The trained name model: an averaged perceptron over hashed features with first-order
// transitions between states, decoded by Viterbi under the constraints of the states.
//
// Callers see BIO tags over three name types: 0 = O, then B and I of person (1, 2), organisation
// (3, 4) and place (5, 6). Inside, the model tells four states of each type apart, BILOU: the
// first word of a longer name (B), a middle one (I), its last (L), a name of one word (U). Ends of
// names then get weights of their own. State 0 is O; type t (0 person, 1 organisation, 2 place)
// has B = 1 + 4t, I = 2 + 4t, L = 3 + 4t, U = 4 + 4t. A model may have one more state, 13, for
// the words of names of none of the three types (nationalities, events, works): it is trained
// from the training-only tag 7 and gives O, so that such words stop competing with the three
// types without being reported.
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
inline constexpr int kOtherNameTag = 7;  // training data only; never a tag of the model's answers
inline constexpr int kStateCount = 14;
inline constexpr int kOtherNameState = 13;
inline constexpr int kNameStateCount = 13;  // the states of a model without the other-name state

// The tag number of a label, and back.
int tagOf(NameLabel label);
NameLabel labelOf(int tag);

// The BIO tag of a state; the states of a valid BIO tag sequence.
int tagOfState(int state);
std::vector<int> statesOfTags(const std::vector<int>& tags);

// The best state sequence for per-token state scores `emissions` (n x kStateCount, row-major),
// transition scores `transitions[from * kStateCount + to]` and start scores, never breaking the
// order of the states.
std::vector<int> viterbiDecode(const std::vector<float>& emissions,
                               const std::array<float, kStateCount * kStateCount>& transitions,
                               const std::array<float, kStateCount>& start);

// Whether state `to` may follow state `from` (from = -1: the start of the line), and whether a
// line may end in `state` (not inside a name).
bool transitionAllowed(int from, int to);
bool endAllowed(int state);
// Makes the other-name state unreachable (a model trained without it).
void forbidOtherNames(std::array<float, kStateCount * kStateCount>& transitions,
                      std::array<float, kStateCount>& start);

// The weights of a model in the form stored on disk.
struct PerceptronWeights {
  unsigned bucketBits = 20;                                    // 2^bucketBits feature buckets
  float scale = 1.0f;                                          // weight = quantised * scale
  std::vector<int8_t> quantised;                               // (2^bucketBits) x kStateCount
  std::array<float, kStateCount * kStateCount> transitions{};  // from x to
  std::array<float, kStateCount> start{};                      // first token of a line
  Gazetteer gazetteer;                                         // word classes used by the features
  uint32_t featureGroups = 0;  // the FeatureGroup bits the model was trained with
  // Whether the model has the other-name state; without it, the file stores 13 states and the
  // state is forbidden by `transitions` and `start`.
  bool otherNames = false;
};

class PerceptronNameModel : public NameModel {
 public:
  explicit PerceptronNameModel(PerceptronWeights weights);

  std::vector<NameLabel> label(const std::vector<std::string>& tokens) const override;
  std::vector<NameLabel> label(const std::vector<std::string>& tokens,
                               std::string_view language) const override;
  // True when every word is a word of form labels ("Surname", "Lieu de naissance") or a short
  // word that joins them, at least one is a label word, and nothing follows a colon.
  bool isFieldLabel(const std::vector<std::string>& tokens) const override;
  bool isCommonWord(std::string_view word) const override;
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
//   3. ../share/marrowfen/name-tagger.model from that directory (an installed tree, and the build
//      tree, where that name links to the source tree's models/).
// Returns the first candidate that exists as a regular file, or nothing.
std::optional<std::string> findNameModelFile();

inline constexpr const char* kNameModelFileName = "name-tagger.model";

}  // namespace marrowfen::entities
