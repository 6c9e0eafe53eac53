// Speed of the trained name model: load time of the model file, and tokens labelled per second
// on the tokenised lines of a text file (WikiANN dev files, a document dump ...).
//
//   name_model_bench <model file> <text file> [language]
// For files in the `LANG:token<TAB>tag` form, only the token column is used. Lines are labelled
// as of `language` (default "en"; "none" for text of no known language).
#include <chrono>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "entities/model/perceptron_model.h"

using namespace marrowfen::entities;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::cerr << "usage: name_model_bench <model file> <text file> [language]\n";
    return 2;
  }
  const auto loadStart = Clock::now();
  const auto model = loadPerceptronNameModel(argv[1]);
  const double loadMs = std::chrono::duration<double, std::milli>(Clock::now() - loadStart).count();
  if (!model) {
    std::cerr << "cannot read the model " << argv[1] << "\n";
    return 1;
  }
  // Sentences: one token a line, blank lines between sentences (the CoNLL layout).
  std::vector<std::vector<std::string>> sentences(1);
  std::ifstream in(argv[2]);
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) {
      if (!sentences.back().empty()) sentences.emplace_back();
      continue;
    }
    std::string token = line.substr(0, line.find('\t'));
    if (const auto colon = token.find(':'); colon != std::string::npos && colon <= 3) {
      token = token.substr(colon + 1);
    }
    sentences.back().push_back(token);
  }
  const std::string language = argc == 4 ? (std::string(argv[3]) == "none" ? "" : argv[3]) : "en";
  size_t tokens = 0;
  size_t names = 0;
  const auto start = Clock::now();
  for (int round = 0; round < 3; ++round) {
    for (const auto& sentence : sentences) {
      for (const NameLabel& label : model->label(sentence, language)) names += label.begins;
      tokens += sentence.size();
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::cout << "model load " << loadMs << " ms\n"
            << tokens << " tokens in " << seconds << " s: " << static_cast<long>(tokens / seconds)
            << " tokens/s (" << names << " names)\n";
  return 0;
}
