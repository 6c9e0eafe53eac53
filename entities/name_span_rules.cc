#include "entities/name_span_rules.h"

#include <algorithm>
#include <array>

#include "common/unicode.h"
#include "entities/model/tagger_features.h"
#include "entities/name_tagger_words.h"

namespace marrowfen::entities {
namespace {

bool isPersonalTitle(std::string_view word) {
  return tagger_words::personalTitles().count(lowerCase(word)) > 0;
}

// +1 for an opening bracket, -1 for a closing one, 0 for any other token.
int bracketOf(std::string_view token) {
  if (token == "(" || token == "[" || token == "{") return 1;
  if (token == ")" || token == "]" || token == "}") return -1;
  return 0;
}

// Four digits, the first not 0: the number of a Dutch postcode.
bool isPostcodeDigits(std::string_view w) {
  return w.size() == 4 && w[0] >= '1' && w[0] <= '9' &&
         std::all_of(w.begin(), w.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Two capitals: the letters of a Dutch postcode.
bool isPostcodeLetters(std::string_view w) {
  return w.size() == 2 &&
         std::all_of(w.begin(), w.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

// The token after the salutation words that open the name at `first` ("Dear", "Sehr geehrte
// Frau" stops before "Frau"), or `first` when the name opens with none.
size_t salutationEnd(const NameLine& line, size_t first, size_t last) {
  const std::string w = lowerCase(line.words[first]);
  size_t next = first + 1;
  if (w == "sehr" && next < last) {
    if (!tagger_words::salutationsAfterSehr().count(lowerCase(line.words[next]))) return first;
    ++next;
  } else if (!tagger_words::salutations().count(w)) {
    return first;
  }
  while (next < last && !line.tokens[next].isWord) ++next;
  return next;
}

}  // namespace

NameSpan trimToWords(const NameLine& line, NameSpan span) {
  while (span.first < span.last && !line.tokens[span.first].isWord) ++span.first;
  while (span.last > span.first && !line.tokens[span.last - 1].isWord) --span.last;
  return span;
}

NameSpan dropDutchPostcode(const NameLine& line, NameSpan span) {
  if (span.first >= span.last) return span;
  const auto& w = line.words;
  size_t code = span.last;  // the postcode's letters, when the name starts with or after its digits
  if (span.first + 1 < span.last && isPostcodeDigits(w[span.first]) &&
      isPostcodeLetters(w[span.first + 1])) {
    code = span.first + 1;
  } else if (span.first > 0 && isPostcodeLetters(w[span.first]) &&
             isPostcodeDigits(w[span.first - 1])) {
    code = span.first;
  }
  if (code + 1 < span.last && line.tokens[code + 1].isWord) {
    span.first = code + 1;
    span.type = NameType::kPlaceName;
  }
  return span;
}

NameSpan dropSalutation(const NameLine& line, NameSpan span) {
  if (span.first >= span.last) return span;
  const size_t after = salutationEnd(line, span.first, span.last);
  if (after > span.first && after < span.last) {
    span.first = after;
    if (isPersonalTitle(line.words[span.first])) span.type = NameType::kPersonalName;
  }
  return span;
}

NameSpan dropPersonalTitles(const NameLine& line, NameSpan span) {
  const auto nextWord = [&](size_t k) {
    do ++k;
    while (k < span.last && !line.tokens[k].isWord);
    return k;
  };
  while (span.type == NameType::kPersonalName && span.first < span.last) {
    size_t next = nextWord(span.first);
    const std::string lower = lowerCase(line.words[span.first]);
    const std::string after = next < span.last ? lowerCase(line.words[next]) : std::string();
    const bool split = lower == "i" && (after == "a" || after == "v");  // "i. A."
    const bool onBehalf = split || lower == "i.a" || lower == "i.v";
    if (split) next = nextWord(next);
    const std::string_view word = line.words[span.first];
    const bool fieldCode = word == "LN" || word == "FN";  // licences: last name, first name
    if ((!onBehalf && !fieldCode && !isPersonalTitle(word)) || next >= span.last) break;
    span.first = next;
  }
  return span;
}

NameSpan dropCourses(const NameLine& line, NameSpan span) {
  if (span.type != NameType::kPersonalName || span.first >= span.last) return span;
  if (tagger_words::academicDegrees().count(lowerCase(line.words[span.first])) > 0)
    span.last = span.first;
  return span;
}

NameSpan dropNationalities(const NameLine& line, NameSpan span) {
  size_t words = 0;
  for (size_t k = span.first; k < span.last; ++k) {
    if (!line.tokens[k].isWord) continue;
    if (!tagger_words::isNationalityWord(lowerCase(line.words[k]))) return span;
    ++words;
  }
  if (words > 0 && (span.type != NameType::kPersonalName || words > 1)) span.last = span.first;
  return span;
}

NameSpan balanceBrackets(const NameLine& line, NameSpan span) {
  int depth = 0;
  size_t open = span.last;
  for (size_t k = span.first; k < span.last; ++k) {
    const int b = bracketOf(line.words[k]);
    if (b > 0 && depth++ == 0) open = k;
    if (b < 0 && --depth < 0) {
      span.last = k;
      depth = 0;
      break;
    }
  }
  if (depth == 1 && span.last < line.tokens.size() && bracketOf(line.words[span.last]) < 0) {
    ++span.last;
  } else if (depth > 0) {
    span.last = open;
  }
  return span;
}

NameSpan trimTrailingPunctuation(const NameLine& line, NameSpan span) {
  const auto closesInside = [&](size_t k) {
    int depth = 0;
    for (size_t j = span.first; j < k; ++j) depth += bracketOf(line.words[j]);
    return bracketOf(line.words[k]) < 0 && depth > 0;
  };
  while (span.last > span.first && !line.tokens[span.last - 1].isWord &&
         !closesInside(span.last - 1)) {
    --span.last;
  }
  return span;
}

std::span<const NameSpanRule> nameSpanRules() {
  static constexpr std::array<NameSpanRule, 8> kRules{
      trimToWords, dropDutchPostcode, dropSalutation,  dropPersonalTitles,
      dropCourses, dropNationalities, balanceBrackets, trimTrailingPunctuation};
  return kRules;
}

}  // namespace marrowfen::entities
