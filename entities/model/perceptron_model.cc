#include "entities/model/perceptron_model.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <unordered_set>

#include "common/program_path.h"
#include "common/unicode.h"

namespace marrowfen::entities {
namespace {

constexpr char kMagic[8] = {'M', 'F', 'N', 'A', 'M', 'E', 'S', '5'};
constexpr float kForbidden = -std::numeric_limits<float>::infinity();

struct Header {
  char magic[8];
  uint32_t bucketBits;
  uint32_t tagCount;
  uint64_t gazetteerCount;
  float scale;
  uint32_t lexiconCount;   // dictionary words, after the gazetteer: their hashes, then their flags
  uint32_t clusterCount;   // words with classes, after those: their hashes, then their classes
  uint32_t featureGroups;  // FeatureGroup bits the weights were trained with
};
static_assert(sizeof(Header) == 40);

bool isRegularFile(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

int tagOf(NameLabel label) {
  switch (label.type) {
    case NameType::kNone:
      return 0;
    case NameType::kPersonalName:
      return label.begins ? 1 : 2;
    case NameType::kOrganization:
      return label.begins ? 3 : 4;
    case NameType::kPlaceName:
      return label.begins ? 5 : 6;
  }
  return 0;
}

NameLabel labelOf(int tag) {
  static constexpr NameType kTypes[] = {NameType::kPersonalName, NameType::kOrganization,
                                        NameType::kPlaceName};
  if (tag <= 0 || tag >= kTagCount) return {};
  return {kTypes[(tag - 1) / 2], (tag % 2) == 1};
}

int tagOfState(int state) {
  if (state <= 0 || state >= kNameStateCount) return 0;
  const int type = (state - 1) / 4, kind = (state - 1) % 4;  // kind: 0 B, 1 I, 2 L, 3 U
  return 1 + 2 * type + (kind == 1 || kind == 2 ? 1 : 0);
}

std::vector<int> statesOfTags(const std::vector<int>& tags) {
  std::vector<int> out(tags.size(), 0);
  for (size_t i = 0; i < tags.size(); ++i) {
    const int t = tags[i];
    if (t == kOtherNameTag) out[i] = kOtherNameState;
    if (t <= 0 || t >= kTagCount) continue;
    const int type = (t - 1) / 2;
    const bool continues = i + 1 < tags.size() && tags[i + 1] == 2 + 2 * type;
    const bool begins = t % 2 == 1;
    out[i] = 1 + 4 * type + (begins ? (continues ? 0 : 3) : (continues ? 1 : 2));
  }
  return out;
}

bool transitionAllowed(int from, int to) {
  const bool open = from > 0 && from < kNameStateCount &&
                    ((from - 1) % 4 == 0 || (from - 1) % 4 == 1);  // after B or I
  if (to == 0 || to == kOtherNameState) return !open;
  const int kind = (to - 1) % 4;
  if (kind == 0 || kind == 3) return !open;       // B and U start a name
  return open && (from - 1) / 4 == (to - 1) / 4;  // I and L continue one of their type
}

bool endAllowed(int state) { return transitionAllowed(state, 0); }

void forbidOtherNames(std::array<float, kStateCount * kStateCount>& transitions,
                      std::array<float, kStateCount>& start) {
  start[kOtherNameState] = kForbidden;
  for (int f = 0; f < kStateCount; ++f) transitions[f * kStateCount + kOtherNameState] = kForbidden;
}

std::vector<int> viterbiDecode(const std::vector<float>& emissions,
                               const std::array<float, kStateCount * kStateCount>& transitions,
                               const std::array<float, kStateCount>& start) {
  const size_t n = emissions.size() / kStateCount;
  std::vector<int> path(n, 0);
  if (n == 0) return path;
  std::vector<int> back(n * kStateCount, 0);
  std::array<float, kStateCount> score{}, next{};
  for (int t = 0; t < kStateCount; ++t) {
    score[t] = transitionAllowed(-1, t) ? start[t] + emissions[t] : kForbidden;
  }
  for (size_t i = 1; i < n; ++i) {
    for (int t = 0; t < kStateCount; ++t) {
      float best = kForbidden;
      int arg = 0;
      for (int f = 0; f < kStateCount; ++f) {
        if (!transitionAllowed(f, t) || score[f] == kForbidden) continue;
        const float s = score[f] + transitions[f * kStateCount + t];
        if (s > best) {
          best = s;
          arg = f;
        }
      }
      next[t] = best == kForbidden ? kForbidden : best + emissions[i * kStateCount + t];
      back[i * kStateCount + t] = arg;
    }
    score = next;
  }
  int best = 0;
  for (int t = 1; t < kStateCount; ++t) {
    if (endAllowed(t) && score[t] > score[best]) best = t;
  }
  for (size_t i = n; i-- > 0;) {
    path[i] = best;
    best = back[i * kStateCount + best];
  }
  return path;
}

PerceptronNameModel::PerceptronNameModel(PerceptronWeights weights) : weights_(std::move(weights)) {
  if (!weights_.otherNames) forbidOtherNames(weights_.transitions, weights_.start);
}

std::vector<int> PerceptronNameModel::tags(const std::vector<std::string>& tokens,
                                           int language) const {
  if (tokens.empty()) return {};
  thread_local LineFeatures features;
  // Running text in capitals is read as mixed-case prose would be written (recaseCapitals).
  const auto recased = recaseCapitals(tokens, weights_.gazetteer, language);
  extractLineFeatures(recased ? *recased : tokens, weights_.gazetteer, weights_.bucketBits,
                      features, language, weights_.featureGroups);
  std::vector<float> emissions(tokens.size() * kStateCount);
  const int8_t* w = weights_.quantised.data();
  for (size_t i = 0; i < tokens.size(); ++i) {
    std::array<int32_t, kStateCount> sum{};
    for (uint32_t k = features.offsets[i]; k < features.offsets[i + 1]; ++k) {
      const int8_t* row = w + static_cast<size_t>(features.buckets[k]) * kStateCount;
      for (int t = 0; t < kStateCount; ++t) sum[t] += row[t];
    }
    for (int t = 0; t < kStateCount; ++t) {
      emissions[i * kStateCount + t] = static_cast<float>(sum[t]) * weights_.scale;
    }
  }
  std::vector<int> tags = viterbiDecode(emissions, weights_.transitions, weights_.start);
  for (int& t : tags) t = tagOfState(t);
  return tags;
}

std::vector<NameLabel> PerceptronNameModel::label(const std::vector<std::string>& tokens) const {
  return label(tokens, {});
}

std::vector<NameLabel> PerceptronNameModel::label(const std::vector<std::string>& tokens,
                                                  std::string_view language) const {
  std::vector<NameLabel> out;
  out.reserve(tokens.size());
  for (int t : tags(tokens, modelLanguageOf(language))) out.push_back(labelOf(t));
  return out;
}

bool PerceptronNameModel::isCommonWord(std::string_view word) const {
  const Lexicon* lexicon = weights_.gazetteer.lexicon();
  if (!lexicon) return false;
  // Bit 2k: the dictionary of language k lists the word in small letters, 2k + 1: with a capital.
  constexpr uint8_t kSmallLetters = 0x55;
  return (lexicon->lookup(lowerCase(word)) & kSmallLetters) != 0;
}

bool PerceptronNameModel::isFieldLabel(const std::vector<std::string>& tokens) const {
  // Words that join the words of a label: "Place of birth", "Lieu de naissance", "Date of issue".
  static constexpr std::string_view kJoining[] = {"of", "the", "de",  "du",  "la",  "le",  "des",
                                                  "d",  "der", "die", "des", "van", "het", "von",
                                                  "en", "e",   "di",  "and", "et",  "und"};
  // Words of the labels of identity cards, licences and forms beside the gazetteer's (which the
  // model has as features): "Staatsangehörigkeit", "Fecha de nacimiento", "Comune di rilascio",
  // "Date of expiry".
  static const std::unordered_set<std::string_view> kLabelWords = {
      "apellido",      "fecha",
      "domicilio",     "nacionalidad",
      "sexo",          "expedición",
      "validez",       "caducidad",
      "dirección",     "número",
      "firma",         "emisión",
      "data",          "sesso",
      "cittadinanza",  "nazionalità",
      "comune",        "rilascio",
      "scadenza",      "residenza",
      "indirizzo",     "statura",
      "emissione",     "nationalité",
      "sexe",          "taille",
      "adresse",       "délivrance",
      "expiration",    "validité",
      "domicile",      "numéro",
      "émission",      "staatsangehörigkeit",
      "geburtsdatum",  "geburtstag",
      "gültig",        "anschrift",
      "größe",         "augenfarbe",
      "geschlecht",    "ausstellungsdatum",
      "unterschrift",  "datum",
      "nummer",        "geboortedatum",
      "nationaliteit", "geslacht",
      "lengte",        "adres",
      "afgiftedatum",  "geldig",
      "handtekening",  "expiry",
      "valid",         "until",
      "address",       "height",
      "occupation",    "profession",
      "number",        "issuing",
      "municipality",  "gender",
      "bis",           "tot",
      "hasta",         "válido",
      "valido"};
  constexpr size_t kLongest = 10;
  bool labelWord = false;
  size_t words = 0;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const std::string& t = tokens[i];
    if (isColonToken(t)) {
      if (i + 1 != tokens.size()) return false;  // a value follows on the same line
      continue;
    }
    bool alphanumeric = false;
    for (size_t k = 0; k < t.size() && !alphanumeric;)
      alphanumeric = isAlphanumeric(nextScalar(t, k));
    if (!alphanumeric) continue;  // "/", "(", "." between the languages of a label
    if (++words > kLongest) return false;
    const std::string lower = lowerCase(t);
    if ((weights_.gazetteer.lookup(lower) & kGazKeyWord) || kLabelWords.count(lower) > 0) {
      labelWord = true;
    } else if (std::find(std::begin(kJoining), std::end(kJoining), lower) == std::end(kJoining)) {
      return false;
    }
  }
  return labelWord;
}

namespace {

// The weights of the first `states` states of each row (all of them, or all but the other-name
// state), as stored in a file.
template <typename T>
std::vector<T> storedColumns(const T* values, size_t rows, int states) {
  std::vector<T> out(rows * states);
  for (size_t r = 0; r < rows; ++r) {
    std::copy_n(values + r * kStateCount, states, out.begin() + static_cast<long>(r * states));
  }
  return out;
}

// The stored rows of `states` states widened to kStateCount, the missing state's weights 0.
template <typename T>
std::vector<T> widenedColumns(std::vector<T> stored, size_t rows, int states) {
  if (states == kStateCount) return stored;
  std::vector<T> out(rows * kStateCount, T{});
  for (size_t r = 0; r < rows; ++r) {
    std::copy_n(stored.begin() + static_cast<long>(r * states), states,
                out.begin() + static_cast<long>(r * kStateCount));
  }
  return out;
}

bool writeClasses(const WordClusters& clusters, FILE* f) {
  const auto& hashes = clusters.hashes();
  const auto& classes = clusters.classes();
  return std::fwrite(hashes.data(), sizeof(uint32_t), hashes.size(), f) == hashes.size() &&
         std::fwrite(classes.data(), sizeof(uint16_t), classes.size(), f) == classes.size();
}

// Reads `count` words' classes as writeClasses wrote them; null when they are empty, false when
// they cannot be read or are out of order.
bool readClasses(FILE* f, size_t count, std::shared_ptr<const WordClusters>& out) {
  std::vector<uint32_t> hashes(count);
  std::vector<uint16_t> classes(count);
  if (std::fread(hashes.data(), sizeof(uint32_t), count, f) != count ||
      std::fread(classes.data(), sizeof(uint16_t), count, f) != count) {
    return false;
  }
  if (count == 0) return true;
  auto c = WordClusters::fromSorted(std::move(hashes), std::move(classes));
  if (!c) return false;
  out = std::make_shared<const WordClusters>(std::move(*c));
  return true;
}

}  // namespace

bool saveNameModel(const PerceptronWeights& weights, const std::string& path) {
  const size_t rows = size_t{1} << weights.bucketBits;
  if (weights.quantised.size() != rows * kStateCount) return false;
  const int states = weights.otherNames ? kStateCount : kNameStateCount;
  const Lexicon* lexicon = weights.gazetteer.lexicon();
  const WordClusters* clusters = weights.gazetteer.clusters();
  const size_t lexiconCount = lexicon ? lexicon->hashes().size() : 0;
  const size_t clusterCount = clusters ? clusters->hashes().size() : 0;
  constexpr size_t kMaxCount = std::numeric_limits<uint32_t>::max();
  if (lexiconCount > kMaxCount || clusterCount > kMaxCount) return false;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  Header h{};
  std::memcpy(h.magic, kMagic, sizeof kMagic);
  h.bucketBits = weights.bucketBits;
  h.tagCount = static_cast<uint32_t>(states);
  h.gazetteerCount = weights.gazetteer.entries().size();
  h.scale = weights.scale;
  h.lexiconCount = static_cast<uint32_t>(lexiconCount);
  h.clusterCount = static_cast<uint32_t>(clusterCount);
  h.featureGroups = weights.featureGroups;
  bool ok = std::fwrite(&h, sizeof h, 1, f) == 1;
  const auto transitions = storedColumns(weights.transitions.data(), states, states);
  const auto quantised = storedColumns(weights.quantised.data(), rows, states);
  const size_t startCount = static_cast<size_t>(states);
  ok = ok && std::fwrite(weights.start.data(), sizeof(float), startCount, f) == startCount;
  ok = ok &&
       std::fwrite(transitions.data(), sizeof(float), transitions.size(), f) == transitions.size();
  ok = ok && std::fwrite(quantised.data(), sizeof(int8_t), quantised.size(), f) == quantised.size();
  const auto& gaz = weights.gazetteer.entries();
  ok = ok && std::fwrite(gaz.data(), sizeof(uint64_t), gaz.size(), f) == gaz.size();
  if (lexicon) {
    const auto& hashes = lexicon->hashes();
    const auto& flags = lexicon->flags();
    ok = ok && std::fwrite(hashes.data(), sizeof(uint32_t), hashes.size(), f) == hashes.size() &&
         std::fwrite(flags.data(), 1, flags.size(), f) == flags.size();
  }
  if (clusters) ok = ok && writeClasses(*clusters, f);
  if (weights.featureGroups & kEmbeddingClassFeatures) {
    // The embedding classes follow with their count, present exactly when the group is.
    const WordClusters none;
    const WordClusters* embedded = weights.gazetteer.embeddingClasses();
    const WordClusters& classes = embedded ? *embedded : none;
    const size_t count = classes.hashes().size();
    const auto stored = static_cast<uint32_t>(count);
    ok = ok && count <= kMaxCount && std::fwrite(&stored, sizeof stored, 1, f) == 1 &&
         writeClasses(classes, f);
  }
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

std::optional<PerceptronWeights> readNameModel(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return std::nullopt;
  PerceptronWeights w;
  Header h{};
  bool ok = std::fread(&h, sizeof h, 1, f) == 1 &&
            std::memcmp(h.magic, kMagic, sizeof kMagic) == 0 &&
            (h.tagCount == kStateCount || h.tagCount == kNameStateCount) && h.bucketBits >= 4 &&
            h.bucketBits <= 24 && h.gazetteerCount <= (uint64_t{1} << 26) &&
            h.lexiconCount <= (uint32_t{1} << 26) && h.clusterCount <= (uint32_t{1} << 26) &&
            (h.featureGroups & ~kKnownFeatureGroups) == 0;
  if (ok) {
    w.bucketBits = h.bucketBits;
    w.featureGroups = h.featureGroups;
    w.scale = h.scale;
    const int states = static_cast<int>(h.tagCount);
    const size_t rows = size_t{1} << h.bucketBits;
    w.otherNames = states == kStateCount;
    std::vector<int8_t> quantised(rows * states);
    std::vector<float> transitions(static_cast<size_t>(states) * states);
    std::vector<uint64_t> gaz(h.gazetteerCount);
    std::vector<uint32_t> hashes(h.lexiconCount);
    std::vector<uint8_t> flags(h.lexiconCount);
    ok = std::fread(w.start.data(), sizeof(float), states, f) == static_cast<size_t>(states) &&
         std::fread(transitions.data(), sizeof(float), transitions.size(), f) ==
             transitions.size() &&
         std::fread(quantised.data(), sizeof(int8_t), quantised.size(), f) == quantised.size() &&
         std::fread(gaz.data(), sizeof(uint64_t), gaz.size(), f) == gaz.size() &&
         std::fread(hashes.data(), sizeof(uint32_t), hashes.size(), f) == hashes.size() &&
         std::fread(flags.data(), 1, flags.size(), f) == flags.size();
    std::shared_ptr<const WordClusters> clusters, embedded;
    ok = ok && readClasses(f, h.clusterCount, clusters);
    if (ok && (h.featureGroups & kEmbeddingClassFeatures)) {
      uint32_t count = 0;
      ok = std::fread(&count, sizeof count, 1, f) == 1 && count <= (uint32_t{1} << 26) &&
           readClasses(f, count, embedded);
    }
    ok = ok && std::fgetc(f) == EOF;
    if (ok) {
      w.quantised = widenedColumns(std::move(quantised), rows, states);
      const auto wide = widenedColumns(transitions, static_cast<size_t>(states), states);
      std::copy_n(wide.begin(), static_cast<long>(states) * kStateCount, w.transitions.begin());
    }
    std::shared_ptr<const Lexicon> lexicon;
    if (ok && h.lexiconCount > 0) {
      auto l = Lexicon::fromSorted(std::move(hashes), std::move(flags));
      ok = l.has_value();
      if (ok) lexicon = std::make_shared<const Lexicon>(std::move(*l));
    }
    // The stored entries are already sorted and merged; the constructor keeps them so.
    if (ok) {
      w.gazetteer =
          Gazetteer(std::move(gaz), std::move(lexicon), std::move(clusters), std::move(embedded));
    }
  }
  std::fclose(f);
  if (!ok) return std::nullopt;
  return w;
}

std::unique_ptr<PerceptronNameModel> loadPerceptronNameModel(const std::string& path) {
  auto weights = readNameModel(path);
  if (!weights) return nullptr;
  return std::make_unique<PerceptronNameModel>(std::move(*weights));
}

std::optional<std::string> findNameModelFile() {
  if (const char* env = std::getenv("MARROWFEN_NAME_MODEL"); env && *env) {
    if (isRegularFile(env)) return std::string(env);
    return std::nullopt;  // an explicit choice that does not exist is not silently replaced
  }
  std::vector<std::string> candidates;
  if (const std::string dir = executableDirectory(); !dir.empty()) {
    candidates.push_back(dir + kNameModelFileName);
    candidates.push_back(dir + "../share/marrowfen/" + kNameModelFileName);
  }
  for (const auto& c : candidates) {
    if (isRegularFile(c)) return c;
  }
  return std::nullopt;
}

}  // namespace marrowfen::entities
