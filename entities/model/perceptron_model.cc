#include "entities/model/perceptron_model.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "common/program_path.h"

#ifndef MARROWFEN_MODELS_DIR
#define MARROWFEN_MODELS_DIR ""
#endif

namespace marrowfen::entities {
namespace {

constexpr char kMagic[8] = {'M', 'F', 'N', 'A', 'M', 'E', 'S', '1'};
constexpr float kForbidden = -std::numeric_limits<float>::infinity();

struct Header {
  char magic[8];
  uint32_t bucketBits;
  uint32_t tagCount;
  uint64_t gazetteerCount;
  float scale;
  uint32_t reserved;
};
static_assert(sizeof(Header) == 32);

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

bool transitionAllowed(int from, int to) {
  if (to == 0 || to % 2 == 1) return true;  // O and every B may come anywhere
  return from == to || from == to - 1;      // I-X only after B-X or I-X
}

std::vector<int> viterbiDecode(const std::vector<float>& emissions,
                               const std::array<float, kTagCount * kTagCount>& transitions,
                               const std::array<float, kTagCount>& start) {
  const size_t n = emissions.size() / kTagCount;
  std::vector<int> path(n, 0);
  if (n == 0) return path;
  std::vector<int> back(n * kTagCount, 0);
  std::array<float, kTagCount> score{}, next{};
  for (int t = 0; t < kTagCount; ++t) {
    score[t] = transitionAllowed(-1, t) ? start[t] + emissions[t] : kForbidden;
  }
  for (size_t i = 1; i < n; ++i) {
    for (int t = 0; t < kTagCount; ++t) {
      float best = kForbidden;
      int arg = 0;
      for (int f = 0; f < kTagCount; ++f) {
        if (!transitionAllowed(f, t) || score[f] == kForbidden) continue;
        const float s = score[f] + transitions[f * kTagCount + t];
        if (s > best) {
          best = s;
          arg = f;
        }
      }
      next[t] = best == kForbidden ? kForbidden : best + emissions[i * kTagCount + t];
      back[i * kTagCount + t] = arg;
    }
    score = next;
  }
  int best = 0;
  for (int t = 1; t < kTagCount; ++t) {
    if (score[t] > score[best]) best = t;
  }
  for (size_t i = n; i-- > 0;) {
    path[i] = best;
    best = back[i * kTagCount + best];
  }
  return path;
}

PerceptronNameModel::PerceptronNameModel(PerceptronWeights weights) : weights_(std::move(weights)) {}

std::vector<int> PerceptronNameModel::tags(const std::vector<std::string>& tokens, int language) const {
  if (tokens.empty()) return {};
  thread_local LineFeatures features;
  extractLineFeatures(tokens, weights_.gazetteer, weights_.bucketBits, features, language);
  std::vector<float> emissions(tokens.size() * kTagCount);
  const int16_t* w = weights_.quantised.data();
  for (size_t i = 0; i < tokens.size(); ++i) {
    std::array<int32_t, kTagCount> sum{};
    for (uint32_t k = features.offsets[i]; k < features.offsets[i + 1]; ++k) {
      const int16_t* row = w + static_cast<size_t>(features.buckets[k]) * kTagCount;
      for (int t = 0; t < kTagCount; ++t) sum[t] += row[t];
    }
    for (int t = 0; t < kTagCount; ++t) {
      emissions[i * kTagCount + t] = static_cast<float>(sum[t]) * weights_.scale;
    }
  }
  return viterbiDecode(emissions, weights_.transitions, weights_.start);
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

bool saveNameModel(const PerceptronWeights& weights, const std::string& path) {
  const size_t rows = size_t{1} << weights.bucketBits;
  if (weights.quantised.size() != rows * kTagCount) return false;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  Header h{};
  std::memcpy(h.magic, kMagic, sizeof kMagic);
  h.bucketBits = weights.bucketBits;
  h.tagCount = kTagCount;
  h.gazetteerCount = weights.gazetteer.entries().size();
  h.scale = weights.scale;
  bool ok = std::fwrite(&h, sizeof h, 1, f) == 1;
  ok = ok && std::fwrite(weights.start.data(), sizeof(float), kTagCount, f) == kTagCount;
  ok = ok && std::fwrite(weights.transitions.data(), sizeof(float), weights.transitions.size(), f) ==
                 weights.transitions.size();
  ok = ok && std::fwrite(weights.quantised.data(), sizeof(int16_t), weights.quantised.size(), f) ==
                 weights.quantised.size();
  const auto& gaz = weights.gazetteer.entries();
  ok = ok && std::fwrite(gaz.data(), sizeof(uint64_t), gaz.size(), f) == gaz.size();
  ok = std::fclose(f) == 0 && ok;
  return ok;
}

std::optional<PerceptronWeights> readNameModel(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return std::nullopt;
  PerceptronWeights w;
  Header h{};
  bool ok = std::fread(&h, sizeof h, 1, f) == 1 && std::memcmp(h.magic, kMagic, sizeof kMagic) == 0 &&
            h.tagCount == kTagCount && h.bucketBits >= 4 && h.bucketBits <= 24 &&
            h.gazetteerCount <= (uint64_t{1} << 26);
  if (ok) {
    w.bucketBits = h.bucketBits;
    w.scale = h.scale;
    w.quantised.resize((size_t{1} << h.bucketBits) * kTagCount);
    std::vector<uint64_t> gaz(h.gazetteerCount);
    ok = std::fread(w.start.data(), sizeof(float), kTagCount, f) == kTagCount &&
         std::fread(w.transitions.data(), sizeof(float), w.transitions.size(), f) ==
             w.transitions.size() &&
         std::fread(w.quantised.data(), sizeof(int16_t), w.quantised.size(), f) ==
             w.quantised.size() &&
         std::fread(gaz.data(), sizeof(uint64_t), gaz.size(), f) == gaz.size() &&
         std::fgetc(f) == EOF;
    // The stored entries are already sorted and merged; the constructor keeps them so.
    if (ok) w.gazetteer = Gazetteer(std::move(gaz));
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
  if (std::strlen(MARROWFEN_MODELS_DIR) > 0) {
    candidates.push_back(std::string(MARROWFEN_MODELS_DIR) + "/" + kNameModelFileName);
  }
  for (const auto& c : candidates) {
    if (isRegularFile(c)) return c;
  }
  return std::nullopt;
}

}  // namespace marrowfen::entities
