#include "entities/extraction_run.h"

#include "common/unicode.h"
#include "entities/candidate_rules.h"

namespace marrowfen::entities {

HelperOutput runExtraction(std::string_view text, const Services& services) {
  HelperOutput output;
  if (services.recognizer) output.language = services.recognizer->dominantLanguage(text);

  RunState state(text);
  if (services.tagger) {
    services.tagger->enumerateTags(text, [&](std::optional<NameTag> tag, TextRange range) {
      return handleNameTag(state, tag, range);
    });
  }

  if (services.makeDetector) {
    if (std::unique_ptr<DataDetector> detector = services.makeDetector()) {
      const std::u16string nsText = toUtf16(text);
      detector->enumerateMatches(nsText, [&](const std::optional<DetectorMatch>& match) {
        handleDetectorMatch(state, match);
      });
    }
  }

  if (state.entities.size() > kMaxCandidates) state.entities.resize(kMaxCandidates);
  output.entities = std::move(state.entities);
  return output;
}

}  // namespace marrowfen::entities
