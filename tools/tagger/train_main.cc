// tagger-train: trains the name model and writes it as one file.
//
//   tagger-train --data DIR --lists DIR --out FILE [--epochs N] [--bits B] [--synthetic N]
//                [--seed S] [--heldout FILE] [--tune FILE] [--dev-halves 0|1]
//                [--upper-copies 0|1] [--upper-fraction F] [--repeat PART=N]... [--only PART]
//                [--skip PART]... [--shared-only PART]... [--unknown-language F] [--common-words 0|1] [--margin M]
//                [--feature-dropout P] [--runs N] [--dictionary LANG=FILE]...
//                [--classes COARSE,FINE] [--class-min-count N] [--news-and-web 0|1]
//                [--receipt-lines 0|1]
//
// --data holds the labelled files (wikiann-*-train.iob, btc-*.conll, germeval2014-de-dev.tsv of
// which only the first half is used; with --dev-halves 1 also the first halves of the
// wikiann-*-dev.iob files; with --news-and-web 1 also wnut17-*.conll and uner-*.conll, of the
// news treebanks uner-*-pud.conll only the first halves), --lists the word lists that tools/tagger/extract_lists.mjs
// writes. Every sentence is also trained in upper case. --receipt-lines 1 adds synthetic lines of
// shop receipts to the document lines. --synthetic document lines are generated
// from the training share of the lists; --heldout writes 3000 lines made from the held-out share,
// for tagger-eval. --tune prints the first half's F1 of a dev file after each pass.
// Sentences are trained as of their file's language (BTC: English), except a share
// --unknown-language (default 0.4) trained as of none; --common-words 0 leaves the words the
// labelled text mostly writes in lower case out of the gazetteer. --skip leaves out the files
// whose names contain PART; --shared-only trains their sentences as of no known language, so that
// they teach the shared weights only (a language's own weights then come from its other files). --margin and --feature-dropout are the trainer's knobs of the same
// names (both 0 by default). --runs N trains N times from zero weights in different orders and
// keeps the mean. --dictionary gives a spelling word list of a model language (one word per line,
// as the dictionary writes it), whose words the model keeps with the case they are written in.
// --classes learns two sets of word classes (e.g. 64,256) from the words of the labelled
// sentences; words seen fewer than --class-min-count times (default 3) get none.
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>

#include "tools/tagger/evaluation.h"
#include "tools/tagger/trainer.h"
#include "tools/tagger/word_clusters.h"

using namespace marrowfen;

namespace {

double secondsSince(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

}  // namespace

int main(int argc, char** argv) {
  std::string data, lists, out, heldout, tune;
  int epochs = 8;
  unsigned bits = 20;
  size_t synthetic = 40000;
  uint64_t seed = 20261208;
  bool upperCopies = true;
  bool devHalves = false;
  bool receiptLines = false;  // synthetic lines of shop receipts
  bool newsAndWeb = false;  // also train on WNUT 17 and Universal NER (first halves of the news files)
  double upperFraction = 1.0;  // share of the labelled sentences that also get an upper-cased copy
  double unknownLanguage = 0.4;  // share of the sentences trained as of no known language
  bool commonWords = true;       // list the words mostly written in lower case
  double margin = 0, featureDropout = 0;
  int runs = 1;  // independent training runs whose mean is the model
  std::string only;
  std::vector<std::string> skip;  // file-name parts not to train on
  std::vector<std::string> sharedOnly;  // file-name parts whose sentences keep no language
  std::vector<std::pair<std::string, int>> repeats;  // file-name part, times its sentences are used
  std::vector<std::pair<std::string, std::string>> dictionaries;  // language, word list
  int coarseClasses = 0, fineClasses = 0, classMinCount = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i], v = argv[i + 1];
    if (a == "--data") data = v;
    else if (a == "--lists") lists = v;
    else if (a == "--out") out = v;
    else if (a == "--epochs") epochs = std::stoi(v);
    else if (a == "--bits") bits = static_cast<unsigned>(std::stoul(v));
    else if (a == "--synthetic") synthetic = std::stoul(v);
    else if (a == "--seed") seed = std::stoull(v);
    else if (a == "--heldout") heldout = v;
    else if (a == "--tune") tune = v;
    else if (a == "--upper-copies") upperCopies = v != "0";
    else if (a == "--dev-halves") devHalves = v != "0";
    else if (a == "--news-and-web") newsAndWeb = v != "0";
    else if (a == "--receipt-lines") receiptLines = v != "0";
    else if (a == "--upper-fraction") upperFraction = std::stod(v);
    else if (a == "--unknown-language") unknownLanguage = std::stod(v);
    else if (a == "--common-words") commonWords = v != "0";
    else if (a == "--margin") margin = std::stod(v);
    else if (a == "--runs") runs = std::max(1, std::stoi(v));
    else if (a == "--feature-dropout") featureDropout = std::stod(v);
    else if (a == "--only") only = v;
    else if (a == "--skip") skip.push_back(v);
    else if (a == "--shared-only") sharedOnly.push_back(v);
    else if (a == "--class-min-count") classMinCount = std::max(1, std::stoi(v));
    else if (a == "--classes" && v.find(',') != std::string::npos) {
      coarseClasses = std::stoi(v.substr(0, v.find(',')));
      fineClasses = std::stoi(v.substr(v.find(',') + 1));
    }
    else if (a == "--dictionary" && v.find('=') != std::string::npos) {
      dictionaries.emplace_back(v.substr(0, v.find('=')), v.substr(v.find('=') + 1));
    }
    else if (a == "--repeat" && v.find('=') != std::string::npos) {
      repeats.emplace_back(v.substr(0, v.find('=')), std::stoi(v.substr(v.find('=') + 1)));
    }
    else {
      std::cerr << "unknown option " << a << "\n";
      return 2;
    }
  }
  if (data.empty() || lists.empty() || out.empty()) {
    std::cerr << "usage: tagger-train --data DIR --lists DIR --out FILE [--epochs N] [--bits B] "
                 "[--synthetic N] [--seed S] [--heldout FILE] [--tune FILE]\n";
    return 2;
  }
  if (fineClasses > 256 || coarseClasses > 256 || (fineClasses > 0 && coarseClasses < 2)) {
    std::cerr << "--classes takes two numbers from 2 to 256\n";
    return 2;
  }
  const auto t0 = std::chrono::steady_clock::now();
  const tagger::NameLists all = tagger::readNameLists(lists);
  if (all.firstNames.empty() || all.cities.empty()) {
    std::cerr << "no word lists in " << lists << "\n";
    return 1;
  }
  std::shared_ptr<const entities::Lexicon> lexicon;
  if (!dictionaries.empty()) {
    auto l = tagger::readDictionaries(dictionaries);
    if (!l) {
      std::cerr << "cannot read the dictionaries\n";
      return 1;
    }
    std::cerr << l->hashes().size() << " dictionary words\n";
    lexicon = std::make_shared<const entities::Lexicon>(std::move(*l));
  }
  tagger::NameLists trainLists, heldOutLists;
  tagger::splitNameLists(all, trainLists, heldOutLists);
  std::vector<tagger::Sentence> labelled;
  std::vector<size_t> foldOf;  // cross-fitting fold of each labelled sentence (copies share it)
  size_t originals = 0;
  namespace fs = std::filesystem;
  std::vector<std::string> files;
  std::error_code error;
  if (!fs::is_directory(data, error)) {
    std::cerr << "no data directory " << data << "\n";
    return 1;
  }
  for (const auto& e : fs::directory_iterator(data, error)) {
    const std::string name = e.path().filename().string();
    if ((name.starts_with("wikiann-") && name.ends_with("-train.iob")) ||
        (name.starts_with("btc-") && name.ends_with(".conll")) || name == "germeval2014-de-dev.tsv" ||
        (newsAndWeb && (name.starts_with("wnut17-") || name.starts_with("uner-")) && name.ends_with(".conll")) ||
        (devHalves && name.starts_with("wikiann-") && name.ends_with("-dev.iob"))) {
      if (!only.empty() && name.find(only) == std::string::npos) continue;
      if (std::any_of(skip.begin(), skip.end(), [&](const std::string& p) { return name.find(p) != std::string::npos; })) continue;
      files.push_back(e.path().string());
    }
  }
  std::sort(files.begin(), files.end());
  tagger::CaseCounter caseCounts;  // how the words of the labelled text are written
  tagger::ClusterCounter clusterCounts;  // the neighbours of every word, for word classes
  auto lowered = [](const std::vector<std::string>& tokens) {
    std::vector<std::string> out;
    out.reserve(tokens.size());
    for (const auto& t : tokens) out.push_back(entities::lowerCase(t));
    return out;
  };
  for (const auto& f : files) {
    auto s = tagger::readCorpusFile(f, tagger::guessCorpusFormat(f));
    if (!s) continue;
    // Only the first half of the GermEval dev file is trained on; the second half is for reporting.
    // The same holds for the news treebanks (uner-*-pud): their second halves report news text.
    if (f.ends_with(".tsv") || f.ends_with("-dev.iob") || f.ends_with("-pud.conll")) {
      *s = tagger::partOf(*s, tagger::Part::kFirstHalf);
    }
    std::cerr << f << ": " << s->size() << " sentences\n";
    int times = 1;
    for (const auto& [part, n] : repeats) {
      if (f.find(part) != std::string::npos) times = n;
    }
    // token<TAB>tag files name no language per sentence: BTC is English, and the others give it
    // after the corpus name ("wnut17-en.conll", "uner-de-pud.conll").
    const std::string fileName = fs::path(f).filename().string();
    std::string fileLanguage = fileName.starts_with("btc-") ? "en" : "";
    if (const size_t dash = fileName.find('-'); fileLanguage.empty() && dash != std::string::npos) {
      const std::string code = fileName.substr(dash + 1, 2);
      if (entities::modelLanguageOf(code) > 0 && (fileName.size() == dash + 3 || !std::isalpha(static_cast<unsigned char>(fileName[dash + 3])))) {
        fileLanguage = code;
      }
    }
    const bool shared = std::any_of(sharedOnly.begin(), sharedOnly.end(),
                                    [&](const std::string& p) { return f.find(p) != std::string::npos; });
    for (size_t k = 0; k < s->size(); ++k) {
      if ((*s)[k].language.empty()) (*s)[k].language = fileLanguage;
      if (shared) (*s)[k].language.clear();
      const tagger::Sentence segmented = tagger::segmentSentence((*s)[k]).sentence;
      caseCounts.add(segmented.tokens);
      if (fineClasses > 0) clusterCounts.add(lowered(segmented.tokens));
      for (int r = 0; r < times; ++r) {
        labelled.push_back(segmented);
        foldOf.push_back(originals % 5);
      }
      ++originals;
    }
  }
  std::shared_ptr<const entities::WordClusters> clusters;
  if (fineClasses > 0) {
    const auto coarse = clusterCounts.cluster(coarseClasses, classMinCount, 10);
    const auto fine = clusterCounts.cluster(fineClasses, classMinCount, 10);
    std::vector<std::pair<std::string, entities::WordClusters::Classes>> words;
    for (const auto& [w, c] : fine) {
      auto it = coarse.find(w);
      words.push_back({w, {static_cast<uint8_t>(it == coarse.end() ? 0 : it->second), static_cast<uint8_t>(c)}});
    }
    clusters = std::make_shared<const entities::WordClusters>(words);
    std::cerr << words.size() << " words in classes from " << clusterCounts.tokenCount() << " tokens ("
              << secondsSince(t0) << " s)\n";
  }
  // The model lists the names of all labelled sentences as phrases. While training, each sentence
  // sees only the names of the other folds, so that the weights learn how far a listed phrase
  // can be trusted for text that was not in the list.
  std::vector<uint64_t> listed = tagger::listEntries(all);
  if (commonWords) {
    const auto common = caseCounts.commonWordEntries();
    listed.insert(listed.end(), common.begin(), common.end());
    std::cerr << common.size() << " common words\n";
  }
  auto withPhrases = [&](const std::vector<tagger::Sentence>& from) {
    std::vector<uint64_t> entries = listed;
    auto phrases = tagger::phraseEntries(from);
    entries.insert(entries.end(), phrases.begin(), phrases.end());
    return entities::Gazetteer(std::move(entries), lexicon, clusters);
  };
  constexpr size_t kFolds = 5;
  std::vector<entities::Gazetteer> foldGazetteers;
  for (size_t k = 0; k < kFolds; ++k) {
    std::vector<tagger::Sentence> others;
    for (size_t i = 0; i < labelled.size(); ++i) {
      if (foldOf[i] != k) others.push_back(labelled[i]);
    }
    foldGazetteers.push_back(withPhrases(others));
  }
  tagger::PerceptronTrainer trainer(bits, withPhrases(labelled));
  // Some sentences are trained without their language, so that the shared weights also serve
  // text whose language is not known.
  auto share = [](uint64_t i, double fraction) {
    return (i * 0x9E3779B97F4A7C15ull >> 11) < fraction * 9007199254740992.0;
  };
  for (size_t i = 0; i < labelled.size(); ++i) {
    if (share(i ^ 0x5bd1e995u, unknownLanguage)) labelled[i].language.clear();
    trainer.add(labelled[i], foldGazetteers[foldOf[i]]);
    if (upperCopies && share(i, upperFraction)) {
      trainer.add(tagger::upperCased(labelled[i]), foldGazetteers[foldOf[i]]);
    }
  }
  labelled.clear();
  foldGazetteers.clear();
  std::mt19937_64 rng(seed);
  // Document lines mix languages; each is trained as of one of the model's languages or of none.
  for (auto& s : tagger::syntheticLines(trainLists, synthetic, rng, receiptLines)) {
    const size_t k = std::uniform_int_distribution<size_t>(0, std::size(entities::kModelLanguages))(rng);
    if (k > 0) s.language = std::string(entities::kModelLanguages[k - 1]);
    trainer.add(s);
    if (upperCopies) trainer.add(tagger::upperCased(s));
  }
  std::cerr << "training on " << trainer.sentenceCount() << " sentences, " << trainer.tokenCount()
            << " tokens (features in " << secondsSince(t0) << " s)\n";

  if (!heldout.empty()) {
    std::mt19937_64 heldRng(seed ^ 0x5eed);
    std::ofstream h(heldout);
    tagger::writeCorpus(h, tagger::syntheticLines(heldOutLists, 3000, heldRng, receiptLines));
  }
  std::vector<tagger::Sentence> tuning;
  if (!tune.empty()) {
    if (auto s = tagger::readCorpusFile(tune, tagger::guessCorpusFormat(tune))) {
      tuning = tagger::partOf(*s, tagger::Part::kFirstHalf);
    }
  }
  trainer.margin = margin;
  trainer.featureDropout = featureDropout;
  for (int run = 0; run < runs; ++run) {
    if (run > 0) trainer.restart();
    trainer.train(epochs, seed + static_cast<uint64_t>(run), [&](int epoch, double wrong) {
      std::cerr << "run " << run + 1 << " pass " << epoch << ": " << wrong * 100 << "% sentences wrong, "
                << secondsSince(t0) << " s";
      if (!tuning.empty()) {
        entities::PerceptronNameModel model(trainer.averagedWeights());
        std::cerr << ", tuning F1 " << tagger::scoreOf(tagger::evaluate(model, tuning, false), 0).f1;
      }
      std::cerr << "\n";
    });
  }
  if (!entities::saveNameModel(trainer.averagedWeights(), out)) {
    std::cerr << "cannot write " << out << "\n";
    return 1;
  }
  std::cerr << "wrote " << out << " after " << secondsSince(t0) << " s\n";
  return 0;
}
