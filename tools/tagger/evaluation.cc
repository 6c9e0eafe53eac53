#include "tools/tagger/evaluation.h"

#include <algorithm>

#include "common/unicode.h"
#include "entities/name_consistency.h"
#include "entities/name_span_rules.h"

namespace marrowfen::tagger {

std::vector<Sentence> partOf(const std::vector<Sentence>& all, Part part) {
  const size_t half = all.size() / 2;
  switch (part) {
    case Part::kAll:
      return all;
    case Part::kFirstHalf:
      return {all.begin(), all.begin() + static_cast<long>(half)};
    case Part::kSecondHalf:
      return {all.begin() + static_cast<long>(half), all.end()};
  }
  return all;
}

void applySpanRules(const std::vector<std::string>& words, std::vector<entities::NameLabel>& labels,
                    int language) {
  std::vector<entities::LineToken> tokens(words.size());
  for (size_t k = 0; k < words.size(); ++k) {
    for (size_t at = 0; at < words[k].size() && !tokens[k].isWord;)
      tokens[k].isWord = isAlphanumeric(nextScalar(words[k], at));
  }
  const entities::NameLine line{tokens, words, language};
  entities::splitNamesAtSmallWords(line, labels);
  for (size_t i = 0; i < labels.size();) {
    const entities::NameType type = labels[i].type;
    if (type == entities::NameType::kNone) {
      ++i;
      continue;
    }
    const size_t end = entities::nameEnd(labels, i, labels.size());
    entities::NameSpan span{i, end, type};
    for (const entities::NameSpanRule rule : entities::nameSpanRules()) span = rule(line, span);
    for (size_t k = i; k < end; ++k) labels[k] = {};
    for (size_t k = span.first; k < span.last; ++k) labels[k] = {span.type, k == span.first};
    i = std::max(end, span.last);
  }
}

EntityCounts evaluate(const entities::PerceptronNameModel& model,
                      const std::vector<Sentence>& sentences, bool upper, uint32_t agreement,
                      size_t textSentences, bool spanRules) {
  EntityCounts counts;
  const size_t perText = std::max<size_t>(textSentences, 1);
  for (size_t from = 0; from < sentences.size(); from += perText) {
    const size_t to = std::min(sentences.size(), from + perText);
    std::vector<Sentence> texts;
    std::vector<SegmentedSentence> segs;
    std::vector<std::vector<std::string>> lines;
    std::vector<std::vector<entities::NameLabel>> labels;
    for (size_t k = from; k < to; ++k) {
      texts.push_back(upper ? upperCased(sentences[k]) : sentences[k]);
      segs.push_back(segmentSentence(texts.back()));
      lines.push_back(segs.back().sentence.tokens);
      labels.emplace_back();
      for (int t : model.tags(lines.back(), entities::modelLanguageOf(texts.back().language)))
        labels.back().push_back(entities::labelOf(t));
    }
    if (agreement) entities::agreeAcrossText(lines, labels, model, agreement);
    if (spanRules) {
      for (size_t k = 0; k < lines.size(); ++k) {
        applySpanRules(lines[k], labels[k], entities::modelLanguageOf(texts[k].language));
      }
    }
    for (size_t k = 0; k < texts.size(); ++k) {
      std::vector<int> predicted;
      for (const auto& l : labels[k]) predicted.push_back(entities::tagOf(l));
      counts.add(texts[k].tags, tagsOfOriginalTokens(segs[k], predicted, texts[k].tokens.size()));
    }
  }
  return counts;
}

}  // namespace marrowfen::tagger
