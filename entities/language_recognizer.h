// The language recogniser over CLD2.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "entities/services.h"

namespace marrowfen::entities {

// The BCP 47 tag for a CLD2 language code ("iw" -> "he", "zh" -> "zh-Hans", "zh-Hant" stays),
// or nothing for CLD2's "unknown" codes ("un", "xx", "xx-..." and the like).
std::optional<std::string> bcp47FromCld2Code(std::string_view code);

// A recogniser that reports CLD2's summary language when CLD2 calls it reliable, as plain text.
std::unique_ptr<LanguageRecognizer> makeCld2LanguageRecognizer();

}  // namespace marrowfen::entities
