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
MARROWFEN_TAGGER_WORDS(academicDegrees,
  "b.sc", "bsc", "m.sc", "msc", "b.a", "m.a", "mba", "phd", "ph.d", "ll.b", "llb", "ll.m", "llm",
  "b.eng", "beng", "m.eng", "meng", "b.com", "bcom", "m.com", "mcom", "b.tech", "btech", "m.tech",
  "mtech", "m.phil", "mphil", "b.ed", "m.ed", "bba", "b.b.a", "m.b.a", "dipl.-ing", "dipl.-kfm")
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

MARROWFEN_TAGGER_WORDS(legalForms,
  "bhd", "ltd", "limited", "gmbh", "inc", "llc", "plc", "corp", "corporation", "pty", "sarl", "bv",
  "nv", "s.a", "ag", "kg", "ohg", "mbh", "llp", "lda", "s.p.a", "srl", "s.r.l", "oy", "a/s")
MARROWFEN_TAGGER_WORDS(nameJoiners,
  "&", "'", "-", ".", "/", "(", ")", "+")
MARROWFEN_TAGGER_WORDS(smallNameWords,
  "of", "and", "de", "der", "und", "et", "en", "van", "du", "des")
MARROWFEN_TAGGER_WORDS(wordsBeforeFirm,
  "to", "from", "by", "at", "for", "the", "with", "in", "on", "is", "was", "pay", "paid",
  "payable", "sold", "bill", "billed", "issued", "welcome", "ke", "dari", "oleh", "kepada", "an",
  "von", "bei", "für", "à", "chez", "par", "pour", "aan", "door", "voor", "bij")
MARROWFEN_TAGGER_WORDS(tradeNameEnds,
  "enterprise", "enterprises", "trading", "traders")
MARROWFEN_TAGGER_WORDS(tradeNameStarts,
  "restoran", "kedai", "syarikat", "pasaraya", "toko", "warung")

MARROWFEN_TAGGER_WORDS(priceColumns,
  "qty", "quantity", "amount", "amt", "price", "total", "subtotal", "tax", "item", "items",
  "description", "rm", "unit", "disc", "discount", "gst", "sst", "vat", "code", "rate")
MARROWFEN_TAGGER_WORDS(streetWordsFirst,
  "jalan", "jln", "lorong", "lrg", "persiaran", "lebuh", "lebuhraya", "taman", "tmn")
MARROWFEN_TAGGER_WORDS(streetWordsLast,
  "street", "road", "lane", "avenue", "drive", "way", "close", "crescent", "place", "square",
  "terrace")
// clang-format on

#undef MARROWFEN_TAGGER_WORDS

}  // namespace marrowfen::entities::tagger_words
