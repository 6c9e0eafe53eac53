#include "entities/model/perceptron_model.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <set>

namespace marrowfen::entities {
namespace {

std::array<float, kStateCount * kStateCount> noTransitions() { return {}; }

std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Emission rows: each row gives scores to a few states, the rest are 0.
std::vector<float> rows(std::initializer_list<std::initializer_list<std::pair<int, float>>> r) {
  std::vector<float> out;
  for (const auto& row : r) {
    std::array<float, kStateCount> scores{};
    for (const auto& [state, score] : row) scores[state] = score;
    out.insert(out.end(), scores.begin(), scores.end());
  }
  return out;
}

// States: O 0; person B 1, I 2, L 3, U 4; organisation 5-8; place 9-12.
constexpr int kBPer = 1, kIPer = 2, kLPer = 3, kUPer = 4, kBOrg = 5, kLOrg = 7, kBLoc = 9,
              kLLoc = 11, kULoc = 12;

TEST(Labels, TagNumbersRoundTrip) {
  for (int t = 0; t < kTagCount; ++t) EXPECT_EQ(tagOf(labelOf(t)), t);
  EXPECT_EQ(labelOf(1).type, NameType::kPersonalName);
  EXPECT_TRUE(labelOf(3).begins);
  EXPECT_EQ(labelOf(6).type, NameType::kPlaceName);
  EXPECT_FALSE(labelOf(6).begins);
  EXPECT_FALSE(labelOf(0).begins);
}

TEST(States, SplitBioTagsAndMapBack) {
  struct Case {
    std::vector<int> tags;
    std::vector<int> states;
  };
  for (const Case& c : {
           Case{{1, 2, 2, 0, 5, 3, 4}, {kBPer, kIPer, kLPer, 0, kULoc, kBOrg, kLOrg}},
           Case{{1, 1, 2}, {kUPer, kBPer, kLPer}},  // a new B ends the name before it
           Case{{5, 6, 3}, {kBLoc, kLLoc, 8}},      // a different type ends it too
           Case{{0, 0}, {0, 0}},
           Case{{}, {}},
       }) {
    EXPECT_EQ(statesOfTags(c.tags), c.states);
    std::vector<int> back;
    for (int s : c.states) back.push_back(tagOfState(s));
    EXPECT_EQ(back, c.tags);
  }
}

TEST(States, OnlyNamesThatOpenCloseAndOnlyAtTheirEnds) {
  struct Case {
    int from, to;
    bool allowed;
  };
  for (const Case& c :
       {Case{-1, 0, true}, Case{-1, kBPer, true}, Case{-1, kUPer, true}, Case{-1, kIPer, false},
        Case{-1, kLPer, false}, Case{kBPer, kIPer, true}, Case{kBPer, kLPer, true},
        Case{kIPer, kIPer, true}, Case{kBPer, 0, false}, Case{kBPer, kBPer, false},
        Case{kBPer, kUPer, false}, Case{kBPer, kLOrg, false}, Case{kLPer, 0, true},
        Case{kLPer, kBOrg, true}, Case{kLPer, kIPer, false}, Case{kUPer, kULoc, true},
        Case{kUPer, kLPer, false}, Case{0, kLLoc, false}}) {
    EXPECT_EQ(transitionAllowed(c.from, c.to), c.allowed) << c.from << " -> " << c.to;
  }
  for (int s = 0; s < kStateCount; ++s) {
    const int kind = (s - 1) % 4;
    EXPECT_EQ(endAllowed(s), s == 0 || s == kOtherNameState || kind == 2 || kind == 3) << s;
  }
}

TEST(Viterbi, KeepsToTheOrderOfTheStates) {
  struct Case {
    std::vector<float> emissions;
    std::vector<int> expected;
  };
  for (const Case& c : {
           // The best single scores say I-PER, L-ORG: not allowed at the start nor after
           // another type. B-ORG then L-ORG (0 + 5) is the best sequence that keeps the order.
           Case{rows({{{kBPer, 1}, {kIPer, 5}}, {{kLOrg, 5}}}), {kBOrg, kLOrg}},
           // A line cannot end inside a name: B-PER scores best alone, U-PER is next.
           Case{rows({{{kBPer, 5}, {kUPer, 2}}}), {kUPer}},
           // A strong B must be closed by an L, even where O scores better.
           Case{rows({{{kBLoc, 3}}, {{0, 1}}}), {kBLoc, kLLoc}},
       }) {
    const auto path = viterbiDecode(c.emissions, noTransitions(), {});
    ASSERT_FALSE(path.empty());
    for (size_t i = 0; i < path.size(); ++i) {
      EXPECT_TRUE(transitionAllowed(i ? path[i - 1] : -1, path[i])) << i;
    }
    EXPECT_TRUE(endAllowed(path.back()));
    EXPECT_EQ(path, c.expected);
  }
}

TEST(Viterbi, TransitionsDecide) {
  // Token scores alone prefer O then U-LOC; a strong B-LOC -> L-LOC transition with a weak L-LOC
  // second token makes B-LOC L-LOC the best sequence.
  const auto e = rows({{{0, 1}, {kBLoc, 0.9f}}, {{kULoc, 1}, {kLLoc, 0.8f}}});
  auto t = noTransitions();
  t[kBLoc * kStateCount + kLLoc] = 2;
  EXPECT_EQ(viterbiDecode(e, t, {}), (std::vector<int>{kBLoc, kLLoc}));
  EXPECT_EQ(viterbiDecode(e, noTransitions(), {}), (std::vector<int>{0, kULoc}));
  EXPECT_TRUE(viterbiDecode({}, t, {}).empty());
}

// A model of 2^10 buckets whose only weights say: "smith" is a person's name.
PerceptronWeights tinyModel() {
  PerceptronWeights w;
  w.bucketBits = 10;
  w.scale = 0.5f;
  w.quantised.assign((size_t{1} << w.bucketBits) * kStateCount, 0);
  w.gazetteer = Gazetteer({gazetteerEntry("smith", kGazLastName)});
  // Weight for a one-word person's name (U-PER) on the features "smith" has and an ordinary word
  // lacks (its word, affixes, gazetteer class); the features both share (bias, shape) lean to O.
  LineFeatures f;
  extractLineFeatures({"Smith"}, w.gazetteer, w.bucketBits, f);
  LineFeatures plain;
  extractLineFeatures({"Arrived"}, w.gazetteer, w.bucketBits, plain);
  const std::set<uint32_t> shared(plain.buckets.begin(), plain.buckets.end());
  for (uint32_t b : f.buckets) w.quantised[b * kStateCount + (shared.count(b) ? 0 : kUPer)] += 3;
  w.transitions[kBPer * kStateCount + kIPer] = -1;
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

TEST(PerceptronNameModel, TellsFormLabelsStandingAlone) {
  PerceptronWeights w = tinyModel();
  w.gazetteer =
      Gazetteer({gazetteerEntry("surname", kGazKeyWord), gazetteerEntry("nom", kGazKeyWord),
                 gazetteerEntry("birth", kGazKeyWord), gazetteerEntry("naissance", kGazKeyWord),
                 gazetteerEntry("smith", kGazLastName)});
  const PerceptronNameModel m(std::move(w));
  const struct {
    std::vector<std::string> tokens;
    bool label;
  } cases[] = {
      {{"Surname", "/", "Nom"}, true},
      {{"SURNAME"}, true},
      {{"Surname", ":"}, true},
      {{"Place", "of", "birth"}, false},  // "place" is no label word of this gazetteer
      {{"Date", "of", "birth", "/", "Date", "de", "naissance"}, false},
      {{"of", "birth", "(", "de", "naissance", ")"}, true},
      {{"Surname", ":", "Smith"}, false},  // the value is on the line
      {{"Surname", "Smith"}, false},
      {{"of", "de"}, false},  // joining words alone
      // The words of identity cards' labels the gazetteer may lack.
      {{"Staatsangehörigkeit"}, true},
      {{"FECHA", "DE", "EXPEDICIÓN"}, true},
      {{"Comune", "di", "rilascio"}, true},
      {{"Address", "and", "number"}, true},
      {{"Data", "Science"}, false},
      {{"Gültig", "bis"}, true},
      {{"Gültig", "für"}, false},
      {{"/"}, false},
      {{}, false},
  };
  for (const auto& c : cases) {
    std::string line;
    for (const auto& t : c.tokens) line += t + " ";
    EXPECT_EQ(m.isFieldLabel(c.tokens), c.label) << line;
  }
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

  const std::string bytes = fileBytes(path);
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

TEST(ModelFile, StoresTheOtherNameStateOnlyWhenTrained) {
  PerceptronWeights w = tinyModel();
  const std::string plain = tempPath("plain"), other = tempPath("other");
  ASSERT_TRUE(saveNameModel(w, plain));
  // The other-name state scores best on every word; a model without it never takes it.
  for (size_t r = 0; r < w.quantised.size() / kStateCount; ++r)
    w.quantised[r * kStateCount + kOtherNameState] = 100;
  ASSERT_TRUE(saveNameModel(w, other));  // written without the state: the same file
  std::ifstream a(plain, std::ios::binary), b(other, std::ios::binary);
  const std::string plainBytes(std::istreambuf_iterator<char>(a), {});
  EXPECT_EQ(plainBytes, std::string(std::istreambuf_iterator<char>(b), {}));
  EXPECT_EQ(PerceptronNameModel(*readNameModel(plain)).tags({"Mr", "Smith", "arrived"}),
            (std::vector<int>{0, 1, 0}));
  w.otherNames = true;
  ASSERT_TRUE(saveNameModel(w, other));
  auto r = readNameModel(other);
  ASSERT_TRUE(r.has_value());
  EXPECT_TRUE(r->otherNames);
  EXPECT_FALSE(readNameModel(plain)->otherNames);
  EXPECT_EQ(r->quantised, w.quantised);
  // The state wins every word, and is reported as no name.
  EXPECT_EQ(PerceptronNameModel(std::move(*r)).tags({"Mr", "Smith", "arrived"}),
            (std::vector<int>{0, 0, 0}));
  std::remove(plain.c_str());
  std::remove(other.c_str());
}

TEST(ModelFile, KeepsItsFeatureGroups) {
  PerceptronWeights w = tinyModel();
  const std::string path = tempPath("groups");
  ASSERT_TRUE(saveNameModel(w, path));
  EXPECT_EQ(readNameModel(path)->featureGroups, 0u);  // a model of the plain features
  w.featureGroups = kLineKindFeatures;
  ASSERT_TRUE(saveNameModel(w, path));
  auto r = readNameModel(path);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->featureGroups, kLineKindFeatures);
  // The model is given the features it records: the line-kind ones add buckets to each token.
  LineFeatures plain, kinds;
  extractLineFeatures({"Smith"}, w.gazetteer, w.bucketBits, plain);
  extractLineFeatures({"Smith"}, w.gazetteer, w.bucketBits, kinds, 0, kLineKindFeatures);
  EXPECT_GT(kinds.buckets.size(), plain.buckets.size());
  // A group this program does not know makes the file unreadable rather than misread.
  w.featureGroups = 1u << 7;
  ASSERT_TRUE(saveNameModel(w, path));
  EXPECT_FALSE(readNameModel(path).has_value());
  std::remove(path.c_str());
}

TEST(ModelFile, KeepsTheDictionaryWordsAndWordClasses) {
  PerceptronWeights w = tinyModel();
  w.gazetteer =
      Gazetteer(w.gazetteer.entries(),
                std::make_shared<const Lexicon>(std::vector<uint64_t>{
                    lexiconEntry("Haus", 2), lexiconEntry("house", 1), lexiconEntry("maison", 3)}),
                std::make_shared<const WordClusters>(
                    std::vector<std::pair<std::string, WordClusters::Classes>>{
                        {"house", {1, 9}}, {"maison", {2, 9}}}));
  const std::string path = tempPath("lexmodel");
  ASSERT_TRUE(saveNameModel(w, path));
  auto r = readNameModel(path);
  ASSERT_TRUE(r.has_value());
  ASSERT_NE(r->gazetteer.lexicon(), nullptr);
  EXPECT_EQ(r->gazetteer.lexicon()->hashes(), w.gazetteer.lexicon()->hashes());
  EXPECT_EQ(r->gazetteer.lexicon()->lookup("haus"), 2u << 2);
  EXPECT_EQ(r->gazetteer.entries(), w.gazetteer.entries());
  ASSERT_NE(r->gazetteer.clusters(), nullptr);
  EXPECT_EQ(r->gazetteer.clusters()->lookup("house")->fine, 9);
  EXPECT_EQ(r->gazetteer.clusters()->lookup("maison")->coarse, 2);

  // Hashes out of order mean a damaged file: lookups would silently miss.
  const std::string bytes = fileBytes(path);
  // The dictionary's hashes follow the gazetteer; the word classes (two of them) come last.
  const size_t hashes =
      bytes.size() - 2 * (sizeof(uint32_t) + sizeof(uint16_t)) - 3 - 3 * sizeof(uint32_t);
  std::string swapped = bytes;
  std::swap_ranges(swapped.begin() + hashes, swapped.begin() + hashes + 4,
                   swapped.begin() + hashes + 4);
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << swapped;
  }
  EXPECT_FALSE(readNameModel(path).has_value());
  std::remove(path.c_str());
  // A model without dictionary words or classes stays without them.
  ASSERT_TRUE(saveNameModel(tinyModel(), path));
  auto plain = readNameModel(path);
  ASSERT_TRUE(plain.has_value());
  EXPECT_EQ(plain->gazetteer.lexicon(), nullptr);
  EXPECT_EQ(plain->gazetteer.clusters(), nullptr);
  std::remove(path.c_str());
}

TEST(ModelFile, CarriesEmbeddingClassesWithTheirGroup) {
  PerceptronWeights w = tinyModel();
  auto classes = std::make_shared<const WordClusters>(
      std::vector<std::pair<std::string, WordClusters::Classes>>{{"wigan", {11, 125}},
                                                                 {"exxon", {51, 64}}});
  w.gazetteer = Gazetteer(w.gazetteer.entries(), nullptr, nullptr, classes);
  w.featureGroups = kLineKindFeatures | kEmbeddingClassFeatures;
  const std::string path = tempPath("embedded");
  ASSERT_TRUE(saveNameModel(w, path));
  auto r = readNameModel(path);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->featureGroups, w.featureGroups);
  EXPECT_EQ(r->gazetteer.clusters(), nullptr);
  ASSERT_NE(r->gazetteer.embeddingClasses(), nullptr);
  EXPECT_EQ(r->gazetteer.embeddingClasses()->lookup("wigan")->fine, 125);
  EXPECT_EQ(r->gazetteer.embeddingClasses()->lookup("exxon")->coarse, 51);
  // A file cut short inside the classes, or with bytes after them, is refused.
  const std::string bytes = fileBytes(path);
  for (const std::string& damaged : {bytes.substr(0, bytes.size() - 1), bytes + "x"}) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << damaged;
    EXPECT_FALSE(readNameModel(path).has_value()) << damaged.size();
  }
  // Without the group the classes are not written, and a model without the classes has none.
  w.featureGroups = kLineKindFeatures;
  ASSERT_TRUE(saveNameModel(w, path));
  EXPECT_EQ(readNameModel(path)->gazetteer.embeddingClasses(), nullptr);
  w.gazetteer = Gazetteer(w.gazetteer.entries());
  w.featureGroups = kEmbeddingClassFeatures;
  ASSERT_TRUE(saveNameModel(w, path));
  r = readNameModel(path);
  ASSERT_TRUE(r.has_value());
  EXPECT_EQ(r->gazetteer.embeddingClasses(), nullptr);
  std::remove(path.c_str());
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
