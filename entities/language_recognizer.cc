#include "entities/language_recognizer.h"

// compact_lang_det.h uses FILE without including its header.
#include <cld2/public/compact_lang_det.h>

#include <climits>
#include <cstdio>

namespace marrowfen::entities {
namespace {

class Cld2LanguageRecognizer : public LanguageRecognizer {
 public:
  std::optional<std::string> dominantLanguage(std::string_view text) override {
    // CLD2 takes an int length; a longer text is judged by its first 2 GB, which is plenty.
    const int length = static_cast<int>(std::min<size_t>(text.size(), INT_MAX));
    CLD2::Language language3[3];
    int percent3[3];
    double normalizedScore3[3];
    int textBytes = 0;
    bool isReliable = false;
    int validPrefixBytes = 0;
    const CLD2::Language language = CLD2::ExtDetectLanguageSummaryCheckUTF8(
        text.data(), length, /*is_plain_text=*/true, /*cld_hints=*/nullptr, /*flags=*/0, language3,
        percent3, normalizedScore3, /*resultchunkvector=*/nullptr, &textBytes, &isReliable,
        &validPrefixBytes);
    if (!isReliable) return std::nullopt;
    return bcp47FromCld2Code(CLD2::LanguageCode(language));
  }
};

}  // namespace

std::optional<std::string> bcp47FromCld2Code(std::string_view code) {
  if (code.empty() || code == "un" || code == "xxx" || code.substr(0, 2) == "xx") {
    return std::nullopt;
  }
  // CLD2 keeps some withdrawn ISO 639 codes and a few of Google's own.
  static const struct {
    std::string_view cld2, bcp47;
  } kMapped[] = {
      {"iw", "he"},           {"in", "id"},      {"ji", "yi"},      {"jw", "jv"},
      {"mo", "ro"},           {"no", "nb"},      {"zh", "zh-Hans"}, {"zh-TW", "zh-Hant"},
      {"zh-Hant", "zh-Hant"}, {"sh", "sr-Latn"}, {"tl", "fil"},
  };
  for (const auto& m : kMapped) {
    if (code == m.cld2) return std::string(m.bcp47);
  }
  return std::string(code);
}

std::unique_ptr<LanguageRecognizer> makeCld2LanguageRecognizer() {
  return std::make_unique<Cld2LanguageRecognizer>();
}

}  // namespace marrowfen::entities
