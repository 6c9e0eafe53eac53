// tagger-eval: entity-level precision, recall and F1 (exact span and type) of the name model on
// labelled files.
//
//   tagger-eval [--model FILE] [--format wikiann|germeval|conll] [--upper]
//               [--part all|first|second] [--language CODE] [--agree RULES]
//               [--text-sentences N] [--span-rules 0|1] FILE...
//
// Without --model the model is found as the program finds it. The format defaults to the one the
// file name suggests (.iob WikiANN, .tsv GermEval, else token<TAB>tag). --part first/second takes
// the first or second half of each file's sentences (tuning and reporting halves). --language
// gives the language of sentences whose file does not name it (token<TAB>tag files); "none"
// takes every sentence as of no known language. --show-errors N prints the first N sentences the
// model tags wrongly, each token with its gold and predicted tags. --agree applies the rules of
// entities/name_consistency.h (their bits: 1 surnames, 2 types, 4 repeats) to every
// --text-sentences sentences in a row (default 20), taken as one text. --span-rules 1 applies the
// tagger's corrections to the edges of each name (entities/name_span_rules.h) to the model's
// names, as the program does, before they are scored.
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "tools/tagger/evaluation.h"

using namespace marrowfen;

namespace {

// The command line of tagger-eval.
struct EvalOptions {
  std::string modelPath;   // the model file; found as the program finds it when empty
  std::string format;      // the files' format; guessed from each file's name when empty
  std::string language;    // language of sentences whose file names none; "none" for no language
  bool upper = false;      // evaluate the sentences upper-cased
  bool spanRules = false;  // apply the tagger's corrections to the names' edges
  int showErrors = 0;      // sentences tagged wrongly to print
  uint32_t agreement = 0;  // entities::NameAgreement rules
  size_t textSentences = 20;
  tagger::Part part = tagger::Part::kAll;
  std::vector<std::string> files;
};

constexpr const char* kUsage =
    "usage: tagger-eval [--model FILE] [--format wikiann|germeval|conll] [--upper] "
    "[--part all|first|second] [--language CODE] FILE...\n";

// The options of the command line, or a message saying what is wrong with it.
std::optional<EvalOptions> parseEvalOptions(int argc, char** argv, std::string& error) {
  EvalOptions o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool takesValue = a == "--model" || a == "--format" || a == "--show-errors" ||
                            a == "--language" || a == "--part" || a == "--agree" ||
                            a == "--text-sentences" || a == "--span-rules";
    if (takesValue && i + 1 == argc) {
      error = a + " needs a value\n";
      return std::nullopt;
    }
    if (a == "--model") {
      o.modelPath = argv[++i];
    } else if (a == "--format") {
      o.format = argv[++i];
    } else if (a == "--show-errors") {
      const std::string v = argv[++i];
      size_t used = 0;
      try {
        o.showErrors = std::stoi(v, &used);
      } catch (const std::logic_error&) {
      }
      if (used == 0 || used != v.size()) {
        error = "--show-errors takes a number, not \"" + v + "\"\n";
        return std::nullopt;
      }
    } else if (a == "--span-rules") {
      o.spanRules = std::string(argv[++i]) != "0";
    } else if (a == "--agree" || a == "--text-sentences") {
      const std::string v = argv[++i];
      size_t used = 0;
      unsigned long n = 0;
      try {
        n = std::stoul(v, &used);
      } catch (const std::logic_error&) {
      }
      if (used == 0 || used != v.size()) {
        error = a + " takes a number, not \"" + v + "\"\n";
        return std::nullopt;
      }
      if (a == "--agree")
        o.agreement = static_cast<uint32_t>(n);
      else
        o.textSentences = n;
    } else if (a == "--language") {
      o.language = argv[++i];
    } else if (a == "--upper") {
      o.upper = true;
    } else if (a == "--part") {
      const std::string p = argv[++i];
      o.part = p == "first"    ? tagger::Part::kFirstHalf
               : p == "second" ? tagger::Part::kSecondHalf
                               : tagger::Part::kAll;
    } else if (!a.empty() && a[0] == '-') {
      error = "unknown option " + a + "\n";
      return std::nullopt;
    } else {
      o.files.push_back(a);
    }
  }
  if (o.files.empty()) {
    error = kUsage;
    return std::nullopt;
  }
  return o;
}

// Prints the sentences of `chosen` the model tags wrongly (after the span rules with `spanRules`),
// each token with its gold and predicted tags where either is a name, until `left` reaches 0.
void printErrors(const entities::PerceptronNameModel& model,
                 const std::vector<tagger::Sentence>& chosen, bool upper, bool spanRules,
                 int& left) {
  for (size_t k = 0; k < chosen.size() && left > 0; ++k) {
    const tagger::Sentence s = upper ? tagger::upperCased(chosen[k]) : chosen[k];
    const auto seg = tagger::segmentSentence(s);
    std::vector<int> tags = model.tags(seg.sentence.tokens, entities::modelLanguageOf(s.language));
    if (spanRules) {
      std::vector<entities::NameLabel> labels;
      for (int t : tags) labels.push_back(entities::labelOf(t));
      tagger::applySpanRules(seg.sentence.tokens, labels, entities::modelLanguageOf(s.language));
      tags.clear();
      for (const auto& l : labels) tags.push_back(entities::tagOf(l));
    }
    const auto pred = tagger::tagsOfOriginalTokens(seg, tags, s.tokens.size());
    if (pred == s.tags) continue;
    --left;
    for (size_t t = 0; t < s.tokens.size(); ++t) {
      std::cout << s.tokens[t];
      if (s.tags[t] || pred[t]) {
        std::cout << '/' << tagger::tagName(s.tags[t]) << '/' << tagger::tagName(pred[t]);
      }
      std::cout << ' ';
    }
    std::cout << '\n';
  }
}

void addCounts(tagger::EntityCounts& total, const tagger::EntityCounts& counts) {
  for (int t = 1; t <= 3; ++t) {
    total.gold[t] += counts.gold[t];
    total.predicted[t] += counts.predicted[t];
    total.correct[t] += counts.correct[t];
  }
}

// Scores one file and prints its figures (and its errors, while --show-errors leaves some);
// adds its counts to `total`. 0, or the exit status of an unknown format (2) or an unreadable
// file (1).
int evaluateFile(const std::string& f, const entities::PerceptronNameModel& model, EvalOptions& o,
                 tagger::EntityCounts& total) {
  auto fmt = o.format.empty() ? tagger::guessCorpusFormat(f) : tagger::parseCorpusFormat(o.format);
  if (!fmt) {
    std::cerr << "unknown format " << o.format << "\n";
    return 2;
  }
  auto sentences = tagger::readCorpusFile(f, *fmt);
  if (!sentences) {
    std::cerr << "cannot read " << f << "\n";
    return 1;
  }
  for (auto& s : *sentences) {
    if (o.language == "none")
      s.language.clear();
    else if (s.language.empty())
      s.language = o.language;
  }
  const auto chosen = tagger::partOf(*sentences, o.part);
  const auto counts =
      tagger::evaluate(model, chosen, o.upper, o.agreement, o.textSentences, o.spanRules);
  printErrors(model, chosen, o.upper, o.spanRules, o.showErrors);
  std::cout << f << " (" << chosen.size() << " sentences" << (o.upper ? ", upper-cased" : "")
            << ")\n";
  tagger::printScores(std::cout, counts);
  addCounts(total, counts);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string error;
  std::optional<EvalOptions> options = parseEvalOptions(argc, argv, error);
  if (!options) {
    std::cerr << error;
    return 2;
  }
  EvalOptions& o = *options;
  if (o.modelPath.empty()) o.modelPath = entities::findNameModelFile().value_or("");
  auto model = entities::loadPerceptronNameModel(o.modelPath);
  if (!model) {
    std::cerr << "cannot load the name model " << o.modelPath << "\n";
    return 1;
  }
  tagger::EntityCounts total;
  for (const auto& f : o.files) {
    if (const int status = evaluateFile(f, *model, o, total)) return status;
  }
  if (o.files.size() > 1) {
    std::cout << "all files\n";
    tagger::printScores(std::cout, total);
  }
  return 0;
}
