#include "tools/tagger/trainer.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <numeric>
#include <random>

namespace marrowfen::tagger {

using entities::kStateCount;

namespace {

// Words of form labels; values after them are often names.
constexpr std::string_view kKeyWords[] = {
    "name",           "names",       "surname",     "given",     "forename",
    "forenames",      "first",       "last",        "family",    "holder",
    "father's",       "mother's",    "father",      "mother",    "spouse",
    "place",          "birth",       "birthplace",  "issue",     "issued",
    "authority",      "nom",         "prénom",      "prénoms",   "naissance",
    "lieu",           "délivré",     "vorname",     "vornamen",  "nachname",
    "familienname",   "geburtsname", "geburtsort",  "wohnort",   "ausstellungsort",
    "behörde",        "naam",        "achternaam",  "voornamen", "voornaam",
    "geboorteplaats", "woonplaats",  "nombre",      "apellidos", "cognome",
    "nome",           "luogo",       "nascita",     "lugar",     "nacimiento",
    "employer",       "arbeitgeber", "employeur",   "residence", "country",
    "city",           "town",        "nationality", "sex",       "date",
    "signature",      "inhaber",     "titulaire",   "applicant"};

// Words typical of organisation names, beside the company suffixes of the lists.
constexpr std::string_view kOrgWords[] = {"university",
                                          "universität",
                                          "université",
                                          "universiteit",
                                          "università",
                                          "universidad",
                                          "ministry",
                                          "ministère",
                                          "ministerie",
                                          "ministerium",
                                          "bundesministerium",
                                          "ministero",
                                          "bank",
                                          "banque",
                                          "sparkasse",
                                          "council",
                                          "office",
                                          "amt",
                                          "landratsamt",
                                          "bürgeramt",
                                          "standesamt",
                                          "finanzamt",
                                          "agency",
                                          "agentur",
                                          "agence",
                                          "department",
                                          "embassy",
                                          "botschaft",
                                          "ambassade",
                                          "gemeente",
                                          "mairie",
                                          "préfecture",
                                          "court",
                                          "gericht",
                                          "amtsgericht",
                                          "landgericht",
                                          "tribunal",
                                          "rechtbank",
                                          "hospital",
                                          "klinikum",
                                          "hôpital",
                                          "school",
                                          "schule",
                                          "école",
                                          "college",
                                          "institute",
                                          "institut",
                                          "police",
                                          "polizei",
                                          "company",
                                          "gesellschaft",
                                          "corporation",
                                          "association",
                                          "verein",
                                          "club",
                                          "foundation",
                                          "stiftung",
                                          "party",
                                          "partei",
                                          "union",
                                          "committee",
                                          "commission",
                                          "services",
                                          "group",
                                          "holding",
                                          "insurance",
                                          "versicherung",
                                          "assurances",
                                          "federation",
                                          "fc",
                                          "ltd",
                                          "inc",
                                          "gmbh",
                                          "ag",
                                          "plc",
                                          "llc",
                                          "sa",
                                          "sarl",
                                          "bv",
                                          "nv",
                                          "kg",
                                          "corp",
                                          "co"};

void addEntry(std::vector<uint64_t>& out, const std::string& entry, uint8_t oneWord, uint8_t part) {
  std::vector<std::string> words;
  for (auto& w : wordSegments(entry)) {
    bool letters = false;
    for (unsigned char c : w) letters = letters || c >= 0x80 || std::isalnum(c);
    if (letters) words.push_back(entities::lowerCase(w));
  }
  if (words.size() == 1) {
    out.push_back(entities::gazetteerEntry(words[0], oneWord));
  } else if (part) {
    for (const auto& w : words) {
      if (w.size() > 2) out.push_back(entities::gazetteerEntry(w, part));
    }
  }
}

void addPlacePhrase(std::vector<uint64_t>& out, const std::string& entry) {
  uint64_t key = entities::phraseKeyStart();
  size_t n = 0;
  for (auto& w : wordSegments(entry)) {
    key = entities::phraseKeyAdd(key, entities::lowerCase(w));
    ++n;
  }
  if (n > 0 && n <= entities::kMaxPhraseTokens)
    out.push_back(entities::phraseEntry(key, entities::kPhrasePlace));
}

}  // namespace

void CaseCounter::add(const std::vector<std::string>& tokens) {
  int lower = 0, upper = 0;
  std::vector<int> firstCase(tokens.size(), 0);  // -1 lower, 1 capital, 0 no letter first
  for (size_t i = 0; i < tokens.size(); ++i) {
    const icu::UnicodeString u = icu::UnicodeString::fromUTF8(tokens[i]);
    if (u.isEmpty()) continue;
    const UChar32 c = u.char32At(0);
    if (u_islower(c))
      firstCase[i] = -1;
    else if (u_isupper(c) || u_istitle(c))
      firstCase[i] = 1;
    for (int32_t k = 0; k < u.length(); k = u.moveIndex32(k, 1)) {
      const UChar32 d = u.char32At(k);
      lower += u_islower(d) ? 1 : 0;
      upper += u_isupper(d) ? 1 : 0;
    }
  }
  if (lower == 0 || upper > lower) return;  // a line in capitals
  for (size_t i = 0; i < tokens.size(); ++i) {
    // The first word of a sentence takes a capital whatever it is.
    if (firstCase[i] == 0 || (i == 0 && firstCase[i] == 1)) continue;
    auto& [l, c] = counts_[entities::lowerCase(tokens[i])];
    (firstCase[i] < 0 ? l : c) += 1;
  }
}

std::vector<uint64_t> CaseCounter::commonWordEntries(long minLower) const {
  std::vector<uint64_t> out;
  for (const auto& [word, count] : counts_) {
    if (count.first >= minLower && count.first >= count.second) {
      out.push_back(entities::gazetteerEntry(word, entities::kGazCommonWord));
    }
  }
  return out;
}

std::optional<entities::Lexicon> readDictionaries(
    const std::vector<std::pair<std::string, std::string>>& files) {
  std::vector<uint64_t> entries;
  for (const auto& [language, path] : files) {
    const int l = entities::modelLanguageOf(language);
    std::ifstream in(path);
    if (l == 0 || !in) return std::nullopt;
    std::string line;
    while (std::getline(in, line)) {
      while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
      if (!line.empty()) entries.push_back(entities::lexiconEntry(line, l));
    }
  }
  return entities::Lexicon(std::move(entries));
}

std::vector<uint64_t> phraseEntries(const std::vector<Sentence>& sentences) {
  std::vector<uint64_t> out;
  for (const auto& s : sentences) {
    for (const Span& span : spansOf(s.tags)) {
      if (span.end - span.begin > entities::kMaxPhraseTokens) continue;
      uint64_t key = entities::phraseKeyStart();
      for (size_t i = span.begin; i < span.end; ++i) {
        const std::string lower = entities::lowerCase(s.tokens[i]);
        key = entities::phraseKeyAdd(key, lower);
        // Each word on its own, too, as a word of a name of the type.
        const uint64_t word = entities::phraseKeyAdd(entities::phraseKeyStart(), lower);
        out.push_back(entities::phraseEntry(
            word, static_cast<uint8_t>(entities::kPhrasePersonWord << (span.type - 1))));
      }
      out.push_back(entities::phraseEntry(key, static_cast<uint8_t>(1 << (span.type - 1))));
    }
  }
  return out;
}

entities::Gazetteer buildGazetteer(const NameLists& lists) {
  return entities::Gazetteer(listEntries(lists));
}

std::vector<uint64_t> listEntries(const NameLists& lists) {
  using namespace entities;
  std::vector<uint64_t> entries;
  for (const auto& s : lists.cities) addPlacePhrase(entries, s);
  for (const auto& s : lists.countries) addPlacePhrase(entries, s);
  for (const auto& s : lists.firstNames) addEntry(entries, s, kGazFirstName, 0);
  for (const auto& s : lists.lastNames) addEntry(entries, s, kGazLastName, 0);
  for (const auto& s : lists.cities) addEntry(entries, s, kGazCity, kGazPlacePart);
  for (const auto& s : lists.countries) addEntry(entries, s, kGazCountry, kGazPlacePart);
  for (const auto& s : lists.orgSuffixes) addEntry(entries, s, kGazOrgWord, kGazOrgWord);
  for (auto w : kKeyWords) entries.push_back(gazetteerEntry(w, kGazKeyWord));
  for (auto w : kOrgWords) entries.push_back(gazetteerEntry(w, kGazOrgWord));
  return entries;
}

PerceptronTrainer::PerceptronTrainer(unsigned bucketBits, entities::Gazetteer gazetteer)
    : bits_(bucketBits), gazetteer_(std::move(gazetteer)) {
  const size_t n = (size_t{1} << bits_) * kStateCount;
  weights_.assign(n, 0.0f);
  accumulated_.assign(n, 0.0f);
  tokenOffset_.push_back(0);
  sentenceStart_.push_back(0);
}

void PerceptronTrainer::add(const Sentence& sentence) { add(sentence, gazetteer_); }

void PerceptronTrainer::add(const Sentence& sentence, const entities::Gazetteer& gazetteer) {
  if (sentence.tokens.empty()) return;
  entities::LineFeatures f;
  const int language = entities::modelLanguageOf(sentence.language);
  const auto recased = recaseCapitals
                           ? entities::recaseCapitals(sentence.tokens, gazetteer, language)
                           : std::nullopt;
  entities::extractLineFeatures(recased ? *recased : sentence.tokens, gazetteer, bits_, f, language,
                                featureGroups);
  const std::vector<int> states = entities::statesOfTags(sentence.tags);
  for (size_t i = 0; i < sentence.tokens.size(); ++i) {
    buckets_.insert(buckets_.end(), f.buckets.begin() + f.offsets[i],
                    f.buckets.begin() + f.offsets[i + 1]);
    tokenOffset_.push_back(buckets_.size());
    tags_.push_back(static_cast<uint8_t>(states[i]));
  }
  sentenceStart_.push_back(tags_.size());
}

bool PerceptronTrainer::dropped(uint64_t feature) const {
  if (dropThreshold_ == 0) return false;
  uint64_t h = (feature + dropSalt_) * 0x9E3779B97F4A7C15ull;
  h ^= h >> 31;
  h *= 0xBF58476D1CE4E5B9ull;
  h ^= h >> 29;
  return h < dropThreshold_;
}

void PerceptronTrainer::update(size_t s, const std::vector<int>& pred) {
  const size_t first = sentenceStart_[s], n = sentenceStart_[s + 1] - first;
  const double c = step_;
  for (size_t i = 0; i < n; ++i) {
    const int gold = tags_[first + i], p = pred[i];
    if (gold != p) {
      for (uint64_t k = tokenOffset_[first + i]; k < tokenOffset_[first + i + 1]; ++k) {
        if (dropped(k)) continue;
        const size_t row = static_cast<size_t>(buckets_[k]) * kStateCount;
        weights_[row + gold] += 1;
        accumulated_[row + gold] += c;
        weights_[row + p] -= 1;
        accumulated_[row + p] -= c;
      }
    }
    const int goldPrev = i ? tags_[first + i - 1] : -1, predPrev = i ? pred[i - 1] : -1;
    if (gold == p && goldPrev == predPrev) continue;
    if (i == 0) {
      start_[gold] += 1;
      startAcc_[gold] += c;
      start_[p] -= 1;
      startAcc_[p] -= c;
    } else {
      trans_[goldPrev * kStateCount + gold] += 1;
      transAcc_[goldPrev * kStateCount + gold] += c;
      trans_[predPrev * kStateCount + p] -= 1;
      transAcc_[predPrev * kStateCount + p] -= c;
    }
  }
}

void PerceptronTrainer::train(int epochs, uint64_t seed,
                              const std::function<void(int, double)>& afterEpoch) {
  std::vector<size_t> order(sentenceCount());
  std::iota(order.begin(), order.end(), size_t{0});
  std::mt19937_64 rng(seed);
  std::vector<float> emissions;
  dropThreshold_ =
      static_cast<uint64_t>(std::clamp(featureDropout, 0.0, 1.0) * 18446744073709551615.0);
  if (!otherNames) entities::forbidOtherNames(trans_, start_);
  for (int e = 1; e <= epochs; ++e) {
    std::shuffle(order.begin(), order.end(), rng);
    dropSalt_ = rng();
    size_t wrong = 0;
    for (size_t s : order) {
      const size_t first = sentenceStart_[s], n = sentenceStart_[s + 1] - first;
      emissions.assign(n * kStateCount, 0.0f);
      for (size_t i = 0; i < n; ++i) {
        float* e = &emissions[i * kStateCount];
        for (uint64_t k = tokenOffset_[first + i]; k < tokenOffset_[first + i + 1]; ++k) {
          if (dropped(k)) continue;
          const float* row = &weights_[static_cast<size_t>(buckets_[k]) * kStateCount];
          for (int t = 0; t < kStateCount; ++t) e[t] += row[t];
        }
        if (margin > 0) {
          for (int t = 0; t < kStateCount; ++t) {
            if (t != tags_[first + i]) e[t] += static_cast<float>(margin);
          }
        }
      }
      const std::vector<int> pred = entities::viterbiDecode(emissions, trans_, start_);
      bool same = true;
      for (size_t i = 0; i < n && same; ++i) same = pred[i] == tags_[first + i];
      if (!same) {
        ++wrong;
        update(s, pred);
      }
      step_ += 1;
    }
    if (afterEpoch) afterEpoch(e, order.empty() ? 0.0 : static_cast<double>(wrong) / order.size());
  }
}

void PerceptronTrainer::restart() {
  if (step_ > 1) {
    const double c = step_;
    ensemble_.resize(weights_.size(), 0.0f);
    for (size_t i = 0; i < weights_.size(); ++i)
      ensemble_[i] += static_cast<float>(weights_[i] - accumulated_[i] / c);
    for (size_t i = 0; i < trans_.size(); ++i) ensembleTrans_[i] += trans_[i] - transAcc_[i] / c;
    for (size_t i = 0; i < start_.size(); ++i) ensembleStart_[i] += start_[i] - startAcc_[i] / c;
    ++runs_;
  }
  std::fill(weights_.begin(), weights_.end(), 0.0f);
  std::fill(accumulated_.begin(), accumulated_.end(), 0.0);
  trans_.fill(0);
  transAcc_.fill(0);
  start_.fill(0);
  startAcc_.fill(0);
  step_ = 1;
}

entities::PerceptronWeights PerceptronTrainer::averagedWeights() const {
  entities::PerceptronWeights w;
  w.bucketBits = bits_;
  w.gazetteer = gazetteer_;
  w.featureGroups = featureGroups;
  w.otherNames = otherNames;
  // The mean of the finished runs' averages and, when it has begun, the current run's.
  const bool current = step_ > 1 || runs_ == 0;
  const double runs = runs_ + (current ? 1 : 0), c = step_;
  auto mean = [&](double ensemble, double weight, double accumulated) {
    return (ensemble + (current ? weight - accumulated / c : 0.0)) / runs;
  };
  float maxAbs = 0;
  std::vector<float> avg(weights_.size());
  for (size_t i = 0; i < weights_.size(); ++i) {
    avg[i] = static_cast<float>(
        mean(ensemble_.empty() ? 0.0 : ensemble_[i], weights_[i], accumulated_[i]));
    maxAbs = std::max(maxAbs, std::fabs(avg[i]));
  }
  w.scale = maxAbs > 0 ? maxAbs / 127.0f : 1.0f;
  w.quantised.resize(avg.size());
  for (size_t i = 0; i < avg.size(); ++i) {
    w.quantised[i] = static_cast<int8_t>(std::lround(avg[i] / w.scale));
  }
  for (size_t i = 0; i < w.transitions.size(); ++i) {
    w.transitions[i] = static_cast<float>(mean(ensembleTrans_[i], trans_[i], transAcc_[i]));
  }
  for (size_t i = 0; i < w.start.size(); ++i)
    w.start[i] = static_cast<float>(mean(ensembleStart_[i], start_[i], startAcc_[i]));
  return w;
}

}  // namespace marrowfen::tagger
