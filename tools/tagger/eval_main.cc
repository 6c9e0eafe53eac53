// tagger-eval: entity-level precision, recall and F1 (exact span and type) of the name model on
// labelled files.
//
//   tagger-eval [--model FILE] [--format wikiann|germeval|conll] [--upper]
//               [--part all|first|second] [--language CODE] FILE...
//
// Without --model the model is found as the program finds it. The format defaults to the one the
// file name suggests (.iob WikiANN, .tsv GermEval, else token<TAB>tag). --part first/second takes
// the first or second half of each file's sentences (tuning and reporting halves). --language
// gives the language of sentences whose file does not name it (token<TAB>tag files); "none"
// takes every sentence as of no known language.
#include <iostream>
#include <string>
#include <vector>

#include "tools/tagger/evaluation.h"

using namespace marrowfen;

int main(int argc, char** argv) {
  std::string modelPath, format, language;
  bool upper = false;
  int showErrors = 0;
  tagger::Part part = tagger::Part::kAll;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--model" && i + 1 < argc) {
      modelPath = argv[++i];
    } else if (a == "--format" && i + 1 < argc) {
      format = argv[++i];
    } else if (a == "--show-errors" && i + 1 < argc) {
      showErrors = std::stoi(argv[++i]);
    } else if (a == "--language" && i + 1 < argc) {
      language = argv[++i];
    } else if (a == "--upper") {
      upper = true;
    } else if (a == "--part" && i + 1 < argc) {
      const std::string p = argv[++i];
      part = p == "first" ? tagger::Part::kFirstHalf : p == "second" ? tagger::Part::kSecondHalf : tagger::Part::kAll;
    } else if (!a.empty() && a[0] == '-') {
      std::cerr << "unknown option " << a << "\n";
      return 2;
    } else {
      files.push_back(a);
    }
  }
  if (files.empty()) {
    std::cerr << "usage: tagger-eval [--model FILE] [--format wikiann|germeval|conll] [--upper] "
                 "[--part all|first|second] [--language CODE] FILE...\n";
    return 2;
  }
  if (modelPath.empty()) modelPath = entities::findNameModelFile().value_or("");
  auto model = entities::loadPerceptronNameModel(modelPath);
  if (!model) {
    std::cerr << "cannot load the name model " << modelPath << "\n";
    return 1;
  }
  tagger::EntityCounts total;
  for (const auto& f : files) {
    auto fmt = format.empty() ? tagger::guessCorpusFormat(f) : tagger::parseCorpusFormat(format);
    if (!fmt) {
      std::cerr << "unknown format " << format << "\n";
      return 2;
    }
    auto sentences = tagger::readCorpusFile(f, *fmt);
    if (!sentences) {
      std::cerr << "cannot read " << f << "\n";
      return 1;
    }
    for (auto& s : *sentences) {
      if (language == "none") s.language.clear();
      else if (s.language.empty()) s.language = language;
    }
    const auto chosen = tagger::partOf(*sentences, part);
    const auto counts = tagger::evaluate(*model, chosen, upper);
    for (size_t k = 0; k < chosen.size() && showErrors > 0; ++k) {
      const tagger::Sentence s = upper ? tagger::upperCased(chosen[k]) : chosen[k];
      const auto seg = tagger::segmentSentence(s);
      const auto pred = tagger::tagsOfOriginalTokens(seg, model->tags(seg.sentence.tokens, entities::modelLanguageOf(s.language)), s.tokens.size());
      if (pred == s.tags) continue;
      --showErrors;
      for (size_t t = 0; t < s.tokens.size(); ++t) {
        std::cout << s.tokens[t];
        if (s.tags[t] || pred[t]) std::cout << '/' << tagger::tagName(s.tags[t]) << '/' << tagger::tagName(pred[t]);
        std::cout << ' ';
      }
      std::cout << '\n';
    }
    std::cout << f << " (" << chosen.size() << " sentences" << (upper ? ", upper-cased" : "") << ")\n";
    tagger::printScores(std::cout, counts);
    for (int t = 1; t <= 3; ++t) {
      total.gold[t] += counts.gold[t];
      total.predicted[t] += counts.predicted[t];
      total.correct[t] += counts.correct[t];
    }
  }
  if (files.size() > 1) {
    std::cout << "all files\n";
    tagger::printScores(std::cout, total);
  }
  return 0;
}
