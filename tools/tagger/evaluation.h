// Running a name model over labelled sentences and counting its names against the gold ones.
#pragma once

#include <string_view>
#include <vector>

#include "entities/model/perceptron_model.h"
#include "tools/tagger/corpus.h"

namespace marrowfen::tagger {

// Which sentences of a file to use: all, the first half (tuning) or the second half (reporting).
enum class Part { kAll, kFirstHalf, kSecondHalf };
std::vector<Sentence> partOf(const std::vector<Sentence>& all, Part part);

// Tags every sentence, split into the word segments the program sees, and scores the names on
// the file's own tokens; `upper` upper-cases the text first.
// With `agreement` rules (NameAgreement bits of tools/tagger/name_consistency.h), every
// `textSentences` sentences in a row are taken as one text, whose labels the rules make agree.
// With `spanRules`, the tagger's corrections to the edges of each name
// (entities::nameSpanRules()) are applied to the model's names, as the program does.
EntityCounts evaluate(const entities::PerceptronNameModel& model,
                      const std::vector<Sentence>& sentences, bool upper, uint32_t agreement = 0,
                      size_t textSentences = 1, bool spanRules = false);

// The labels of the words of one line after the tagger's corrections to each name's edges;
// `language` is the line's entities::modelLanguageOf value.
void applySpanRules(const std::vector<std::string>& words, std::vector<entities::NameLabel>& labels,
                    int language);

}  // namespace marrowfen::tagger
