#include "entities/model/perceptron_model.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace marrowfen::entities {
namespace {

std::array<float, kTagCount * kTagCount> noTransitions() { return {}; }

std::vector<float> rows(std::initializer_list<std::array<float, kTagCount>> r) {
  std::vector<float> out;
  for (const auto& row : r) out.insert(out.end(), row.begin(), row.end());
  return out;
}

TEST(Labels, TagNumbersRoundTrip) {
  for (int t = 0; t < kTagCount; ++t) EXPECT_EQ(tagOf(labelOf(t)), t);
  EXPECT_EQ(labelOf(1).type, NameType::kPersonalName);
  EXPECT_TRUE(labelOf(3).begins);
  EXPECT_EQ(labelOf(6).type, NameType::kPlaceName);
  EXPECT_FALSE(labelOf(6).begins);
  EXPECT_FALSE(labelOf(0).begins);
}

TEST(Viterbi, NeverStartsOrContinuesANameWrongly) {
  // The best single scores say I-PER, I-ORG: not allowed at the start nor after another type.
  const auto e = rows({{0, 1, 5, 0, 0, 0, 0}, {0, 0, 0, 0, 5, 0, 0}});
  const auto path = viterbiDecode(e, noTransitions(), {});
  for (size_t i = 0; i < path.size(); ++i) {
    EXPECT_TRUE(transitionAllowed(i ? path[i - 1] : -1, path[i])) << i;
  }
  // The I-ORG score is reached legally through B-ORG: 0 + 5 beats B-PER then B-ORG (1 + 0).
  EXPECT_EQ(path, (std::vector<int>{3, 4}));
}

TEST(Viterbi, TransitionsDecide) {
  // Token scores alone prefer O then B-LOC; a strong B-LOC -> I-LOC transition with a weak I-LOC
  // second token makes B-LOC I-LOC the best sequence.
  const auto e = rows({{1, 0, 0, 0, 0, 0.9f, 0}, {0, 0, 0, 0, 0, 1, 0.8f}});
  auto t = noTransitions();
  t[5 * kTagCount + 6] = 2;
  EXPECT_EQ(viterbiDecode(e, t, {}), (std::vector<int>{5, 6}));
  EXPECT_EQ(viterbiDecode(e, noTransitions(), {}), (std::vector<int>{0, 5}));
  EXPECT_TRUE(viterbiDecode({}, t, {}).empty());
}

// A hand-made model whose only weights say: the word "smith" is a person's name, anything else O.
PerceptronWeights tinyModel() {
  PerceptronWeights w;
  w.bucketBits = 16;
  w.scale = 0.5f;
  w.quantised.assign((size_t{1} << w.bucketBits) * kTagCount, 0);
  w.gazetteer = Gazetteer({gazetteerEntry("smith", kGazLastName)});
  // The first two features of a token are the bias and the lower-cased word.
  LineFeatures f;
  extractLineFeatures({"smith"}, w.gazetteer, w.bucketBits, f);
  w.quantised[f.buckets[0] * kTagCount + 0] = 1;  // bias: O
  w.quantised[f.buckets[1] * kTagCount + 1] = 4;  // "smith": B-PER
  w.transitions[1 * kTagCount + 2] = -1;
  w.start[0] = 0.25f;
  return w;
}

TEST(PerceptronNameModel, LabelsFromWeights) {
  PerceptronNameModel m(tinyModel());
  const auto labels = m.label({"Mr", "Smith", "arrived"});
  ASSERT_EQ(labels.size(), 3u);
  EXPECT_EQ(labels[0].type, NameType::kNone);
  EXPECT_EQ(labels[1].type, NameType::kPersonalName);
  EXPECT_TRUE(labels[1].begins);
  EXPECT_EQ(labels[2].type, NameType::kNone);
  EXPECT_TRUE(m.label({}).empty());
}

std::string tempPath(const char* name) {
  return std::string(::testing::TempDir()) + name + std::to_string(::getpid());
}

TEST(ModelFile, RoundTripsAndRefusesDamage) {
  const PerceptronWeights w = tinyModel();
  const std::string path = tempPath("model");
  ASSERT_TRUE(saveNameModel(w, path));
  auto r = readNameModel(path);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->bucketBits, w.bucketBits);
  EXPECT_EQ(r->scale, w.scale);
  EXPECT_EQ(r->quantised, w.quantised);
  EXPECT_EQ(r->transitions, w.transitions);
  EXPECT_EQ(r->start, w.start);
  EXPECT_EQ(r->gazetteer.entries(), w.gazetteer.entries());
  PerceptronNameModel a(w), b(std::move(*r));
  EXPECT_EQ(a.tags({"Anna", "Smith"}), b.tags({"Anna", "Smith"}));

  std::string bytes;
  {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), {});
  }
  auto writeBytes = [&](const std::string& b) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << b;
  };
  writeBytes(bytes.substr(0, bytes.size() - 1));  // truncated
  EXPECT_FALSE(readNameModel(path).has_value());
  writeBytes(bytes + "x");  // trailing bytes
  EXPECT_FALSE(readNameModel(path).has_value());
  std::string wrongMagic = bytes;
  wrongMagic[0] = 'X';
  writeBytes(wrongMagic);
  EXPECT_FALSE(readNameModel(path).has_value());
  std::remove(path.c_str());
  EXPECT_FALSE(readNameModel(path).has_value());
  EXPECT_EQ(loadPerceptronNameModel(path), nullptr);

  PerceptronWeights bad = w;
  bad.quantised.pop_back();
  EXPECT_FALSE(saveNameModel(bad, path));
}

TEST(ModelFile, EnvironmentChoosesTheFile) {
  const std::string path = tempPath("envmodel");
  ASSERT_TRUE(saveNameModel(tinyModel(), path));
  ::setenv("MARROWFEN_NAME_MODEL", path.c_str(), 1);
  EXPECT_EQ(findNameModelFile(), path);
  std::remove(path.c_str());
  EXPECT_FALSE(findNameModelFile().has_value());  // a missing explicit choice is not replaced
  ::unsetenv("MARROWFEN_NAME_MODEL");
}

}  // namespace
}  // namespace marrowfen::entities
