#include "entities/name_tagger_words.h"

namespace marrowfen::entities::tagger_words {

#define MARROWFEN_TAGGER_WORDS(name, ...)                               \
  const std::unordered_set<std::string_view>& name() {                  \
    static const std::unordered_set<std::string_view> set{__VA_ARGS__}; \
    return set;                                                         \
  }

// clang-format off
MARROWFEN_TAGGER_WORDS(personalTitles,
  "mr", "mrs", "ms", "miss", "mx", "dr", "prof", "professor", "herr", "frau", "mme", "mlle", "dhr",
  "mevr", "shri", "smt", "sri", "kumari", "ppa")
MARROWFEN_TAGGER_WORDS(salutations,
  "dear", "dearest", "hello", "liebe", "lieber", "cher", "chère", "chers", "chères", "beste",
  "geachte")
MARROWFEN_TAGGER_WORDS(salutationsAfterSehr,
  "geehrte", "geehrter", "verehrte", "verehrter")
MARROWFEN_TAGGER_WORDS(letterClosings,
  "yours sincerely", "yours faithfully", "yours truly", "sincerely", "kind regards",
  "best regards", "regards", "with kind regards", "with best regards", "mit freundlichen grüßen",
  "mit freundlichen grüssen", "freundliche grüße", "viele grüße", "beste grüße",
  "hochachtungsvoll", "cordialement", "bien cordialement", "salutations distinguées",
  "met vriendelijke groet", "met vriendelijke groeten", "hoogachtend")

// clang-format on

#undef MARROWFEN_TAGGER_WORDS

}  // namespace marrowfen::entities::tagger_words
