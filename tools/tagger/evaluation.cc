#include "tools/tagger/evaluation.h"

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

EntityCounts evaluate(const entities::PerceptronNameModel& model,
                      const std::vector<Sentence>& sentences, bool upper) {
  EntityCounts counts;
  for (const Sentence& original : sentences) {
    const Sentence s = upper ? upperCased(original) : original;
    const SegmentedSentence seg = segmentSentence(s);
    const std::vector<int> predicted =
        model.tags(seg.sentence.tokens, entities::modelLanguageOf(s.language));
    counts.add(s.tags, tagsOfOriginalTokens(seg, predicted, s.tokens.size()));
  }
  return counts;
}

}  // namespace marrowfen::tagger
