// tagger-train: trains the name model and writes it as one file.
//
//   tagger-train --data DIR --lists DIR --out FILE [--epochs N] [--bits B] [--synthetic N]
//                [--seed S] [--heldout FILE] [--tune FILE] [--dev-halves 0|1]
//                [--upper-copies 0|1] [--upper-fraction F] [--repeat PART=N]... [--only PART]
//                [--skip PART]... [--shared-only PART]... [--unknown-language F]
//                [--common-words 0|1] [--margin M] [--feature-dropout P] [--runs N]
//                [--dictionary LANG=FILE]... [--classes COARSE,FINE] [--class-min-count N]
//                [--news-and-web 0|1] [--receipt-lines 0|1] [--line-kinds 0|1]
//                [--news-lines 0|1] [--other-names 0|1] [--recase-capitals 0|1]
//                [--embedding-classes FILE]
//
// --data holds the labelled files (wikiann-*-train.iob, btc-*.conll, germeval2014-de-dev.tsv of
// which only the first half is used; with --dev-halves 1 also the first halves of the
// wikiann-*-dev.iob files; with --news-and-web 1 also wnut17-*.conll and uner-*.conll, of the
// news treebanks uner-*-pud.conll only the first halves), --lists the word lists that
// tools/tagger/extract_lists.mjs writes. Every sentence is also trained in upper case.
// --receipt-lines 1 adds synthetic lines of shop receipts to the document lines, --news-lines 1
// lines of newspapers' sports and news pages (tables, results, datelines, headings, nationalities).
// --line-kinds 1 adds the features of the kind of line (running text, fragment, table row;
// entities:: kLineKindFeatures), which the model file records. --other-names 1 trains a state of
// its own for names of none of the three types (never reported): GermEval's OTH and capitalised
// derived names, English nationalities and events in the labelled sentences (other_names.h), and
// the nationalities and events of the synthetic newspaper lines; the model file then has 14 states.
// --recase-capitals 1 trains lines of running text in capitals (the upper-cased copies of
// sentences, above all) as the model reads them: recased as prose (entities::recaseCapitals).
// --synthetic document lines are generated from the training share of the lists; --heldout writes
// 3000 lines made from the held-out share, for tagger-eval. --tune prints the first half's F1 of a
// dev file after each pass. Sentences are trained as of their file's language (BTC: English),
// except a share
// --unknown-language (default 0.4) trained as of none; --common-words 0 leaves the words the
// labelled text mostly writes in lower case out of the gazetteer. --skip leaves out the files
// whose names contain PART; --shared-only trains their sentences as of no known language, so that
// they teach the shared weights only (a language's own weights then come from its other files).
// --margin and --feature-dropout are the trainer's knobs of the same names (both 0 by default).
// --runs N trains N times from zero weights in different orders and keeps the mean. --dictionary
// gives a spelling word list of a model language (one word per line, as the dictionary writes it),
// whose words the model keeps with the case they are written in.
// --classes learns two sets of word classes (e.g. 64,256) from the words of the labelled
// sentences; words seen fewer than --class-min-count times (default 3) get none.
// --embedding-classes reads the classes of words' embedding vectors ("word<TAB>coarse<TAB>fine"
// lines, as tools/tagger/embedding_classes.mjs writes them) and trains their features
// (entities:: kEmbeddingClassFeatures); the model file carries them. Every option
// takes a value; an unknown option or a malformed value is reported and ends the run with 2.
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>

#include "tools/tagger/evaluation.h"
#include "tools/tagger/other_names.h"
#include "tools/tagger/trainer.h"
#include "tools/tagger/word_clusters.h"

using namespace marrowfen;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

// The command line of tagger-train.
struct TrainOptions {
  std::string data;     // directory of the labelled files
  std::string lists;    // directory of the word lists
  std::string out;      // the model file to write
  std::string heldout;  // where to write held-out synthetic lines; none when empty
  std::string tune;     // a dev file whose first half is scored after each pass; none when empty
  int epochs = 8;
  unsigned bits = 20;
  size_t synthetic = 40000;  // synthetic document lines
  uint64_t seed = 20261208;
  bool upperCopies = true;
  bool devHalves = false;
  bool receiptLines = false;    // synthetic lines of shop receipts
  bool newsAndWeb = false;      // also WNUT 17 and Universal NER (first halves of the news files)
  bool lineKinds = false;       // the features of the kind of line
  bool newsLines = false;       // synthetic lines of newspapers
  bool recaseCapitals = false;  // train running text in capitals recased as the model reads it
  bool otherNames = false;      // the state of names of none of the three types
  double upperFraction = 1.0;   // share of the labelled sentences that also get an upper-cased copy
  double unknownLanguage = 0.4;  // share of the sentences trained as of no known language
  bool commonWords = true;       // list the words mostly written in lower case
  double margin = 0, featureDropout = 0;
  int runs = 1;  // independent training runs whose mean is the model
  std::string only;
  std::vector<std::string> skip;                     // file-name parts not to train on
  std::vector<std::string> sharedOnly;               // parts whose sentences keep no language
  std::vector<std::pair<std::string, int>> repeats;  // file-name part, times its sentences are used
  std::vector<std::pair<std::string, std::string>> dictionaries;  // language, word list
  int coarseClasses = 0, fineClasses = 0, classMinCount = 3;
  std::string embeddingClasses;  // file of the embedding classes; none when empty
};

constexpr const char* kUsage =
    "usage: tagger-train --data DIR --lists DIR --out FILE [--epochs N] [--bits B] "
    "[--synthetic N] [--seed S] [--heldout FILE] [--tune FILE]\n";

// `value` read whole by `read` (std::stoi ...); throws std::invalid_argument naming the option when
// it is no number or has anything after the number.
template <typename Read>
auto number(const std::string& option, const std::string& value, Read read) {
  size_t used = 0;
  try {
    const auto n = read(value, &used);
    if (used == value.size()) return n;
  } catch (const std::logic_error&) {
  }
  throw std::invalid_argument(option + " takes a number, not \"" + value + "\"");
}
int toInt(const std::string& o, const std::string& v) {
  return number(o, v, [](const std::string& s, size_t* n) { return std::stoi(s, n); });
}
unsigned long toUnsigned(const std::string& o, const std::string& v) {
  return number(o, v, [](const std::string& s, size_t* n) { return std::stoul(s, n); });
}
uint64_t toUint64(const std::string& o, const std::string& v) {
  return number(o, v, [](const std::string& s, size_t* n) { return std::stoull(s, n); });
}
double toDouble(const std::string& o, const std::string& v) {
  return number(o, v, [](const std::string& s, size_t* n) { return std::stod(s, n); });
}

// `value` split at its first `separator` ("en=FILE", "64,256"); throws naming the option when it
// holds none.
std::pair<std::string, std::string> splitAt(const std::string& option, const std::string& value,
                                            char separator, const char* form) {
  const size_t at = value.find(separator);
  if (at == std::string::npos) throw std::invalid_argument(option + " takes " + form);
  return {value.substr(0, at), value.substr(at + 1)};
}

// Sets the one option `a` with its value `v`; throws std::invalid_argument with a message for an
// unknown option or a malformed value.
void setOption(TrainOptions& o, const std::string& a, const std::string& v) {
  if (a == "--data")
    o.data = v;
  else if (a == "--lists")
    o.lists = v;
  else if (a == "--out")
    o.out = v;
  else if (a == "--epochs")
    o.epochs = toInt(a, v);
  else if (a == "--bits")
    o.bits = static_cast<unsigned>(toUnsigned(a, v));
  else if (a == "--synthetic")
    o.synthetic = toUnsigned(a, v);
  else if (a == "--seed")
    o.seed = toUint64(a, v);
  else if (a == "--heldout")
    o.heldout = v;
  else if (a == "--tune")
    o.tune = v;
  else if (a == "--upper-copies")
    o.upperCopies = v != "0";
  else if (a == "--dev-halves")
    o.devHalves = v != "0";
  else if (a == "--news-and-web")
    o.newsAndWeb = v != "0";
  else if (a == "--receipt-lines")
    o.receiptLines = v != "0";
  else if (a == "--news-lines")
    o.newsLines = v != "0";
  else if (a == "--line-kinds")
    o.lineKinds = v != "0";
  else if (a == "--other-names")
    o.otherNames = v != "0";
  else if (a == "--recase-capitals")
    o.recaseCapitals = v != "0";
  else if (a == "--upper-fraction")
    o.upperFraction = toDouble(a, v);
  else if (a == "--unknown-language")
    o.unknownLanguage = toDouble(a, v);
  else if (a == "--common-words")
    o.commonWords = v != "0";
  else if (a == "--margin")
    o.margin = toDouble(a, v);
  else if (a == "--runs")
    o.runs = std::max(1, toInt(a, v));
  else if (a == "--feature-dropout")
    o.featureDropout = toDouble(a, v);
  else if (a == "--only")
    o.only = v;
  else if (a == "--skip")
    o.skip.push_back(v);
  else if (a == "--shared-only")
    o.sharedOnly.push_back(v);
  else if (a == "--embedding-classes")
    o.embeddingClasses = v;
  else if (a == "--class-min-count")
    o.classMinCount = std::max(1, toInt(a, v));
  else if (a == "--classes") {
    const auto [coarse, fine] = splitAt(a, v, ',', "COARSE,FINE");
    o.coarseClasses = toInt(a, coarse);
    o.fineClasses = toInt(a, fine);
  } else if (a == "--dictionary") {
    o.dictionaries.push_back(splitAt(a, v, '=', "LANG=FILE"));
  } else if (a == "--repeat") {
    const auto [part, times] = splitAt(a, v, '=', "PART=N");
    o.repeats.emplace_back(part, toInt(a, times));
  } else {
    throw std::invalid_argument("unknown option " + a);
  }
}

// The options of the command line, or a message saying what is wrong with it.
std::optional<TrainOptions> parseTrainOptions(int argc, char** argv, std::string& error) {
  TrainOptions o;
  try {
    for (int i = 1; i < argc; i += 2) {
      if (i + 1 == argc) throw std::invalid_argument(std::string(argv[i]) + " needs a value");
      setOption(o, argv[i], argv[i + 1]);
    }
  } catch (const std::invalid_argument& e) {
    error = std::string(e.what()) + "\n";
    return std::nullopt;
  }
  if (o.data.empty() || o.lists.empty() || o.out.empty()) {
    error = kUsage;
    return std::nullopt;
  }
  if (o.fineClasses > 256 || o.coarseClasses > 256 || (o.fineClasses > 0 && o.coarseClasses < 2)) {
    error = "--classes takes two numbers from 2 to 256\n";
    return std::nullopt;
  }
  return o;
}

// The spelling dictionaries of --dictionary as one lexicon; null without any, nullopt when one
// cannot be read.
std::optional<std::shared_ptr<const entities::Lexicon>> loadDictionaries(const TrainOptions& o) {
  if (o.dictionaries.empty()) return std::shared_ptr<const entities::Lexicon>();
  auto lexicon = tagger::readDictionaries(o.dictionaries);
  if (!lexicon) return std::nullopt;
  std::cerr << lexicon->hashes().size() << " dictionary words\n";
  return std::make_shared<const entities::Lexicon>(std::move(*lexicon));
}

// The labelled files of --data to train on, in name order; nullopt when there is no such directory.
std::optional<std::vector<std::string>> trainingFiles(const TrainOptions& o) {
  std::error_code error;
  if (!fs::is_directory(o.data, error)) return std::nullopt;
  std::vector<std::string> files;
  const auto contains = [](const std::string& name, const std::vector<std::string>& parts) {
    return std::any_of(parts.begin(), parts.end(),
                       [&](const std::string& p) { return name.find(p) != std::string::npos; });
  };
  for (const auto& e : fs::directory_iterator(o.data, error)) {
    const std::string name = e.path().filename().string();
    const bool wanted =
        (name.starts_with("wikiann-") && name.ends_with("-train.iob")) ||
        (name.starts_with("btc-") && name.ends_with(".conll")) ||
        name == "germeval2014-de-dev.tsv" ||
        (o.newsAndWeb && (name.starts_with("wnut17-") || name.starts_with("uner-")) &&
         name.ends_with(".conll")) ||
        (o.devHalves && name.starts_with("wikiann-") && name.ends_with("-dev.iob"));
    if (!wanted) continue;
    if (!o.only.empty() && name.find(o.only) == std::string::npos) continue;
    if (contains(name, o.skip)) continue;
    files.push_back(e.path().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The language of the sentences of a token<TAB>tag file, which names none per sentence: BTC is
// English, and the others give it after the corpus name ("wnut17-en.conll", "uner-de-pud.conll").
std::string languageOfFile(const std::string& path) {
  const std::string fileName = fs::path(path).filename().string();
  if (fileName.starts_with("btc-")) return "en";
  const size_t dash = fileName.find('-');
  if (dash == std::string::npos) return "";
  const std::string code = fileName.substr(dash + 1, 2);
  const bool codeEnds =
      fileName.size() == dash + 3 || !std::isalpha(static_cast<unsigned char>(fileName[dash + 3]));
  return entities::modelLanguageOf(code) > 0 && codeEnds ? code : "";
}

// The labelled sentences to train on, and what is counted over their words.
struct LabelledData {
  std::vector<tagger::Sentence> sentences;
  std::vector<size_t> foldOf;            // cross-fitting fold of each sentence (copies share it)
  tagger::CaseCounter caseCounts;        // how the words of the labelled text are written
  tagger::ClusterCounter clusterCounts;  // the neighbours of every word, for word classes
};

std::vector<std::string> lowered(const std::vector<std::string>& tokens) {
  std::vector<std::string> out;
  out.reserve(tokens.size());
  for (const auto& t : tokens) out.push_back(entities::lowerCase(t));
  return out;
}

// Reads, segments and counts the sentences of `files`, each as often as --repeat says.
LabelledData readLabelledSentences(const std::vector<std::string>& files, const TrainOptions& o) {
  LabelledData d;
  size_t originals = 0;
  for (const auto& f : files) {
    auto s = tagger::readCorpusFile(f, tagger::guessCorpusFormat(f), o.otherNames);
    if (!s) continue;
    size_t others = 0;
    if (o.otherNames) {
      for (auto& sentence : *s) others += tagger::markOtherNames(sentence);
    }
    // Only the first half of the GermEval dev file is trained on; the second half is for reporting.
    // The same holds for the news treebanks (uner-*-pud): their second halves report news text.
    if (f.ends_with(".tsv") || f.ends_with("-dev.iob") || f.ends_with("-pud.conll")) {
      *s = tagger::partOf(*s, tagger::Part::kFirstHalf);
    }
    std::cerr << f << ": " << s->size() << " sentences";
    if (o.otherNames) std::cerr << ", " << others << " words of other names marked";
    std::cerr << "\n";
    int times = 1;
    for (const auto& [part, n] : o.repeats) {
      if (f.find(part) != std::string::npos) times = n;
    }
    const std::string fileLanguage = languageOfFile(f);
    const bool shared =
        std::any_of(o.sharedOnly.begin(), o.sharedOnly.end(),
                    [&](const std::string& p) { return f.find(p) != std::string::npos; });
    for (size_t k = 0; k < s->size(); ++k) {
      if ((*s)[k].language.empty()) (*s)[k].language = fileLanguage;
      if (shared) (*s)[k].language.clear();
      const tagger::Sentence segmented = tagger::segmentSentence((*s)[k]).sentence;
      d.caseCounts.add(segmented.tokens);
      if (o.fineClasses > 0) d.clusterCounts.add(lowered(segmented.tokens));
      for (int r = 0; r < times; ++r) {
        d.sentences.push_back(segmented);
        d.foldOf.push_back(originals % 5);
      }
      ++originals;
    }
  }
  return d;
}

// Two sets of word classes (--classes) learnt from the labelled words; null without --classes.
std::shared_ptr<const entities::WordClusters> learnWordClusters(const LabelledData& d,
                                                                const TrainOptions& o,
                                                                Clock::time_point t0) {
  if (o.fineClasses <= 0) return nullptr;
  const auto coarse = d.clusterCounts.cluster(o.coarseClasses, o.classMinCount, 10);
  const auto fine = d.clusterCounts.cluster(o.fineClasses, o.classMinCount, 10);
  std::vector<std::pair<std::string, entities::WordClusters::Classes>> words;
  for (const auto& [w, c] : fine) {
    auto it = coarse.find(w);
    words.push_back(
        {w, {static_cast<uint8_t>(it == coarse.end() ? 0 : it->second), static_cast<uint8_t>(c)}});
  }
  std::cerr << words.size() << " words in classes from " << d.clusterCounts.tokenCount()
            << " tokens (" << secondsSince(t0) << " s)\n";
  return std::make_shared<const entities::WordClusters>(words);
}

// The classes of --embedding-classes: null without the option, nothing when the file cannot be read
// or a line is malformed.
std::optional<std::shared_ptr<const entities::WordClusters>> readEmbeddingClasses(
    const TrainOptions& o) {
  if (o.embeddingClasses.empty()) return std::shared_ptr<const entities::WordClusters>();
  std::ifstream in(o.embeddingClasses);
  if (!in) return std::nullopt;
  std::vector<std::pair<std::string, entities::WordClusters::Classes>> words;
  std::string line;
  while (std::getline(in, line)) {
    const size_t a = line.find('\t'), b = a == std::string::npos ? a : line.find('\t', a + 1);
    if (b == std::string::npos) return std::nullopt;
    int coarse = -1, fine = -1;
    try {
      coarse = std::stoi(line.substr(a + 1, b - a - 1));
      fine = std::stoi(line.substr(b + 1));
    } catch (const std::exception&) {
      return std::nullopt;
    }
    if (coarse < 0 || coarse > 255 || fine < 0 || fine > 255) return std::nullopt;
    words.push_back(
        {line.substr(0, a), {static_cast<uint8_t>(coarse), static_cast<uint8_t>(fine)}});
  }
  std::cerr << words.size() << " words with embedding classes\n";
  return std::make_shared<const entities::WordClusters>(words);
}

// Whether the i-th of a sequence falls into a share `fraction` of it, the same on every run.
bool inShare(uint64_t i, double fraction) {
  return (i * 0x9E3779B97F4A7C15ull >> 11) < fraction * 9007199254740992.0;
}

// The model lists the names of all labelled sentences as phrases. While training, each sentence
// sees only the names of the other folds, so that the weights learn how far a listed phrase can
// be trusted for text that was not in the list. Adds the labelled sentences (and their upper-cased
// copies) to a trainer over the whole list, which it returns; empties `d.sentences`.
tagger::PerceptronTrainer trainerWithLabelledSentences(
    LabelledData& d, const std::vector<uint64_t>& listed, const TrainOptions& o,
    std::shared_ptr<const entities::Lexicon> lexicon,
    std::shared_ptr<const entities::WordClusters> clusters,
    std::shared_ptr<const entities::WordClusters> embedded) {
  auto withPhrases = [&](const std::vector<tagger::Sentence>& from) {
    std::vector<uint64_t> entries = listed;
    auto phrases = tagger::phraseEntries(from);
    entries.insert(entries.end(), phrases.begin(), phrases.end());
    return entities::Gazetteer(std::move(entries), lexicon, clusters, embedded);
  };
  constexpr size_t kFolds = 5;
  std::vector<entities::Gazetteer> foldGazetteers;
  for (size_t k = 0; k < kFolds; ++k) {
    std::vector<tagger::Sentence> others;
    for (size_t i = 0; i < d.sentences.size(); ++i) {
      if (d.foldOf[i] != k) others.push_back(d.sentences[i]);
    }
    foldGazetteers.push_back(withPhrases(others));
  }
  tagger::PerceptronTrainer trainer(o.bits, withPhrases(d.sentences));
  if (o.lineKinds) trainer.featureGroups |= entities::kLineKindFeatures;
  if (embedded) trainer.featureGroups |= entities::kEmbeddingClassFeatures;
  trainer.otherNames = o.otherNames;
  trainer.recaseCapitals = o.recaseCapitals;
  // Some sentences are trained without their language, so that the shared weights also serve
  // text whose language is not known.
  for (size_t i = 0; i < d.sentences.size(); ++i) {
    tagger::Sentence& s = d.sentences[i];
    if (inShare(i ^ 0x5bd1e995u, o.unknownLanguage)) s.language.clear();
    trainer.add(s, foldGazetteers[d.foldOf[i]]);
    if (o.upperCopies && inShare(i, o.upperFraction)) {
      trainer.add(tagger::upperCased(s), foldGazetteers[d.foldOf[i]]);
    }
  }
  d.sentences.clear();
  return trainer;
}

// Adds --synthetic document lines made from the training share of the lists. Document lines mix
// languages; each is trained as of one of the model's languages or of none.
void addSyntheticLines(tagger::PerceptronTrainer& trainer, const tagger::NameLists& trainLists,
                       const TrainOptions& o) {
  std::mt19937_64 rng(o.seed);
  for (auto& s : tagger::syntheticLines(trainLists, o.synthetic, rng, o.receiptLines, o.newsLines,
                                        o.otherNames)) {
    const size_t k =
        std::uniform_int_distribution<size_t>(0, std::size(entities::kModelLanguages))(rng);
    if (k > 0) s.language = std::string(entities::kModelLanguages[k - 1]);
    trainer.add(s);
    if (o.upperCopies) trainer.add(tagger::upperCased(s));
  }
}

// Writes 3000 synthetic lines made from the held-out share of the lists to --heldout, if given.
void writeHeldOutLines(const tagger::NameLists& heldOutLists, const TrainOptions& o) {
  if (o.heldout.empty()) return;
  std::mt19937_64 heldRng(o.seed ^ 0x5eed);
  std::ofstream h(o.heldout);
  tagger::writeCorpus(h, tagger::syntheticLines(heldOutLists, 3000, heldRng, o.receiptLines,
                                                o.newsLines, o.otherNames));
}

// The first half of the --tune file; empty without one.
std::vector<tagger::Sentence> tuningSentences(const TrainOptions& o) {
  if (o.tune.empty()) return {};
  if (auto s = tagger::readCorpusFile(o.tune, tagger::guessCorpusFormat(o.tune))) {
    return tagger::partOf(*s, tagger::Part::kFirstHalf);
  }
  return {};
}

// --runs training runs of --epochs passes, each reported on stderr (with the tuning F1 when there
// are tuning sentences).
void train(tagger::PerceptronTrainer& trainer, const TrainOptions& o,
           const std::vector<tagger::Sentence>& tuning, Clock::time_point t0) {
  trainer.margin = o.margin;
  trainer.featureDropout = o.featureDropout;
  for (int run = 0; run < o.runs; ++run) {
    if (run > 0) trainer.restart();
    trainer.train(o.epochs, o.seed + static_cast<uint64_t>(run), [&](int epoch, double wrong) {
      std::cerr << "run " << run + 1 << " pass " << epoch << ": " << wrong * 100
                << "% sentences wrong, " << secondsSince(t0) << " s";
      if (!tuning.empty()) {
        entities::PerceptronNameModel model(trainer.averagedWeights());
        std::cerr << ", tuning F1 "
                  << tagger::scoreOf(tagger::evaluate(model, tuning, false), 0).f1;
      }
      std::cerr << "\n";
    });
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  const std::optional<TrainOptions> parsed = parseTrainOptions(argc, argv, error);
  if (!parsed) {
    std::cerr << error;
    return 2;
  }
  const TrainOptions& o = *parsed;
  const auto t0 = Clock::now();
  const tagger::NameLists all = tagger::readNameLists(o.lists);
  if (all.firstNames.empty() || all.cities.empty()) {
    std::cerr << "no word lists in " << o.lists << "\n";
    return 1;
  }
  const auto lexicon = loadDictionaries(o);
  if (!lexicon) {
    std::cerr << "cannot read the dictionaries\n";
    return 1;
  }
  tagger::NameLists trainLists, heldOutLists;
  tagger::splitNameLists(all, trainLists, heldOutLists);
  const auto files = trainingFiles(o);
  if (!files) {
    std::cerr << "no data directory " << o.data << "\n";
    return 1;
  }
  LabelledData labelled = readLabelledSentences(*files, o);
  const auto clusters = learnWordClusters(labelled, o, t0);
  const auto embedded = readEmbeddingClasses(o);
  if (!embedded) {
    std::cerr << "cannot read the embedding classes " << o.embeddingClasses << "\n";
    return 1;
  }
  std::vector<uint64_t> listed = tagger::listEntries(all);
  if (o.commonWords) {
    const auto common = labelled.caseCounts.commonWordEntries();
    listed.insert(listed.end(), common.begin(), common.end());
    std::cerr << common.size() << " common words\n";
  }
  tagger::PerceptronTrainer trainer =
      trainerWithLabelledSentences(labelled, listed, o, *lexicon, clusters, *embedded);
  addSyntheticLines(trainer, trainLists, o);
  std::cerr << "training on " << trainer.sentenceCount() << " sentences, " << trainer.tokenCount()
            << " tokens (features in " << secondsSince(t0) << " s)\n";
  writeHeldOutLines(heldOutLists, o);
  train(trainer, o, tuningSentences(o), t0);
  if (!entities::saveNameModel(trainer.averagedWeights(), o.out)) {
    std::cerr << "cannot write " << o.out << "\n";
    return 1;
  }
  std::cerr << "wrote " << o.out << " after " << secondsSince(t0) << " s\n";
  return 0;
}
