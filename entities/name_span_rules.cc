#include "entities/name_span_rules.h"

#include <algorithm>
#include <array>

#include "common/unicode.h"
#include "entities/date_detector.h"
#include "entities/detector_common.h"
#include "entities/model/tagger_features.h"
#include "entities/name_tagger_words.h"
#include "entities/rule_name_model_words.h"

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

// Whether every character of `w` is an ASCII digit (true for an empty `w`).
bool onlyDigits(std::string_view w) {
  return std::all_of(w.begin(), w.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whether every character of `w` is an ASCII capital (true for an empty `w`).
bool onlyCapitals(std::string_view w) {
  return std::all_of(w.begin(), w.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

// Four digits, the first not 0: the number of a Dutch postcode.
bool isPostcodeDigits(std::string_view w) {
  return w.size() == 4 && w[0] >= '1' && w[0] <= '9' && onlyDigits(w);
}

// Four or five digits, with a country's capitals and a hyphen before them or not ("20121",
// "75001", "D-01067", "1010"): a postcode as continental Europe writes it before the town. Four
// digits from 1900 to 2099 alone are more likely a year ("2010 Winter Olympics").
bool isTownPostcode(std::string_view w) {
  if (w.size() == 4 && (w.starts_with("19") || w.starts_with("20"))) return false;
  const size_t hyphen = w.find('-');
  if (hyphen != std::string_view::npos) {
    const std::string_view country = w.substr(0, hyphen);
    if (country.empty() || country.size() > 2 || !onlyCapitals(country)) return false;
    w.remove_prefix(hyphen + 1);
  }
  return (w.size() == 4 || w.size() == 5) && onlyDigits(w);
}

// Two capitals: the letters of a Dutch postcode.
bool isPostcodeLetters(std::string_view w) { return w.size() == 2 && onlyCapitals(w); }

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

// A quotation mark as the segmenter leaves it: straight, doubled, curly or angled.
bool isQuote(std::string_view w) {
  static constexpr std::string_view kQuotes[] = {
      "\"", "'", "``", "''", "\u201C", "\u201D", "\u2018", "\u2019", "\u00AB", "\u00BB", "\u201E"};
  return std::find(std::begin(kQuotes), std::end(kQuotes), w) != std::end(kQuotes);
}

// A word token written in small letters only, with at least one letter ("county", "1350s"), and
// no dot inside, as web addresses have ("example.com").
bool isSmallLetterWord(const NameLine& line, size_t k) {
  if (!line.tokens[k].isWord) return false;
  const std::string& w = line.words[k];
  if (w.find('.') != std::string::npos) return false;
  const bool letter = std::any_of(w.begin(), w.end(), [](char c) { return c < '0' || c > '9'; });
  return letter && lowerCase(w) == w;
}

// Fills the line's counts of small-letter words (other than the small words inside names) and
// of function words before each token, once per line.
void countRunningWords(const NameLine& line) {
  if (line.smallWordsBefore.size() == line.words.size() + 1) return;
  line.smallWordsBefore.assign(1, 0);
  line.functionWordsBefore.assign(1, 0);
  for (size_t k = 0; k < line.words.size(); ++k) {
    unsigned small = 0, function = 0;
    if (line.tokens[k].isWord) {
      const std::string lower = lowerCase(line.words[k]);
      function = isFunctionWord(lower) ? 1 : 0;
      small = isSmallLetterWord(line, k) && !tagger_words::smallNameWords().count(lower) &&
                      !tagger_words::nameParticles().count(lower)
                  ? 1
                  : 0;
    }
    line.smallWordsBefore.push_back(line.smallWordsBefore.back() + small);
    line.functionWordsBefore.push_back(line.functionWordsBefore.back() + function);
  }
}

// Running text around a name: outside it, three or more words in small letters other than the
// small words inside names, or two or more function words ("was", "IN" in a line in capitals).
bool isRunningText(const NameLine& line, NameSpan span) {
  countRunningWords(line);
  const auto outside = [&](const std::vector<unsigned>& before) {
    const size_t first = std::min(span.first, line.words.size());
    const size_t last = std::clamp(span.last, first, line.words.size());
    return before.back() - (before[last] - before[first]);
  };
  return outside(line.smallWordsBefore) >= 3 || outside(line.functionWordsBefore) >= 2;
}

// Whether token k, a point inside a name of `type` that starts at `first`, belongs to the word
// before it: the last point of an abbreviation written with points ("D.C.", "N.E.C."), of one
// that ends names ("Jr.", "Ltd.") or of a person's initial, or, as German writes a ruler's number
// as an ordinal, the point after a Roman number ("Johannes Paul II.").
bool isPointOfTheWordBefore(const NameLine& line, size_t first, size_t k, NameType type) {
  if (line.words[k] != "." || k <= first) return false;
  const std::string& before = line.words[k - 1];
  const size_t inner = before.find('.');
  if (inner != std::string::npos && inner > 0 && inner + 1 < before.size()) return true;
  if (tagger_words::nameEndingAbbreviations().count(lowerCase(before))) return true;
  if (type == NameType::kPersonalName && before.size() == 1 && before[0] >= 'A' &&
      before[0] <= 'Z') {
    return true;
  }
  return line.language == 2 && before.size() <= 6 &&
         before.find_first_not_of("IVXLC") == std::string::npos;
}

}  // namespace

void splitNamesAtSmallWords(const NameLine& line, std::vector<NameLabel>& labels) {
  if (line.language > 1) return;
  for (size_t i = 0; i < labels.size();) {
    if (labels[i].type == NameType::kNone) {
      ++i;
      continue;
    }
    const size_t end = nameEnd(labels, i, labels.size());
    if (end - i >= 3 && isRunningText(line, NameSpan{i, end, labels[i].type})) {
      bool gap = false;  // within the words a split word opened, up to the next capitalised one
      for (size_t k = i + 1; k + 1 < end; ++k) {
        const bool small = isSmallLetterWord(line, k);
        if (small && tagger_words::wordsBetweenNames().count(line.words[k]) > 0) gap = true;
        if (gap && (small || !line.tokens[k].isWord)) {
          labels[k] = NameLabel{};
        } else if (gap) {
          labels[k].begins = true;
          gap = false;
        }
      }
    }
    i = end;
  }
}

NameSpan trimToWords(const NameLine& line, NameSpan span) {
  while (span.first < span.last && !line.tokens[span.first].isWord) ++span.first;
  while (span.last > span.first && !line.tokens[span.last - 1].isWord &&
         !isPointOfTheWordBefore(line, span.first, span.last - 1, span.type)) {
    --span.last;
  }
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
    return span;
  }
  // A line of a postcode and its town ("20121 Milano MI", "D-01067 Dresden"): the town.
  const auto isWordAt = [&](size_t k) { return line.tokens[k].isWord; };
  // At the line's start or after a comma: "Avenida del Puerto 15, 3º B, 46021 Valencia".
  const bool opensLine = std::none_of(line.tokens.begin(), line.tokens.begin() + span.first,
                                      [](const auto& t) { return t.isWord; }) ||
                         (span.first > 0 && w[span.first - 1] == ",");
  const bool endsLine = std::none_of(line.tokens.begin() + span.last, line.tokens.end(),
                                     [](const auto& t) { return t.isWord; });
  // The town opens with a capital; two capitals alone are a Dutch postcode's letters.
  const auto town = [&](size_t k) {
    return isWordAt(k) && !w[k].empty() && w[k][0] >= 'A' && w[k][0] <= 'Z' &&
           !isPostcodeLetters(w[k]);
  };
  if (opensLine && endsLine && span.first + 1 < span.last && isTownPostcode(w[span.first]) &&
      town(span.first + 1)) {
    span.first += 1;
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
  if (span.first >= span.last) return span;
  const std::string first = lowerCase(line.words[span.first]);
  // A degree written out, of any type the model gave it: "Master of Science", "Bachelor of
  // Arts", "Doctor of Philosophy", "Bachelor in Business".
  size_t next = span.first + 1;
  while (next < span.last && !line.tokens[next].isWord) ++next;
  const std::string after = next < span.last ? lowerCase(line.words[next]) : std::string();
  const bool writtenOut = (first == "master" || first == "bachelor" || first == "doctor") &&
                          (after == "of" || after == "in");
  if (writtenOut ||
      (span.type == NameType::kPersonalName && tagger_words::academicDegrees().count(first) > 0)) {
    span.last = span.first;
  }
  return span;
}

NameSpan trimSmallLetterEdges(const NameLine& line, NameSpan span) {
  if (span.first >= span.last || line.language > 1 || !isRunningText(line, span)) return span;
  for (size_t k = span.first; k < span.last; ++k) {  // the words before the first kept one go
    if (!line.tokens[k].isWord) continue;
    const bool particle = span.type == NameType::kPersonalName &&
                          tagger_words::nameParticles().count(line.words[k]) > 0;
    if (!isSmallLetterWord(line, k) || particle) break;
    span.first = k + 1;
  }
  for (size_t k = span.last; k > span.first; --k) {  // the words after the last kept one go
    if (!line.tokens[k - 1].isWord) continue;
    if (!isSmallLetterWord(line, k - 1) || tagger_words::legalForms().count(line.words[k - 1]))
      break;
    span.last = k - 1;
  }
  return trimToWords(line, span);
}

NameSpan endBeforeInnerSmallWords(const NameLine& line, NameSpan span) {
  // English only: names of other languages hold their small words ("Stal voor Zes Paarden").
  if (span.first >= span.last || line.language != 1 || !isRunningText(line, span)) return span;
  // The small words English names hold; "s" is that of "People's", as the segmenter leaves it
  // after the apostrophe.
  static constexpr std::string_view kInnerWords[] = {"of", "the", "and", "for", "on", "upon",
                                                     "at", "in",  "s",   "'s",  "am", "an",
                                                     "im", "sur", "a",   "og",  "och"};
  for (size_t k = span.first + 1; k < span.last; ++k) {
    const std::string& w = line.words[k];
    const bool digit = std::any_of(w.begin(), w.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!isSmallLetterWord(line, k) || digit) continue;
    if (std::find(std::begin(kInnerWords), std::end(kInnerWords), w) != std::end(kInnerWords) ||
        tagger_words::smallNameWords().count(w) || tagger_words::nameParticles().count(w))
      continue;
    return trimSmallLetterEdges(line, trimToWords(line, NameSpan{span.first, k, span.type}));
  }
  return span;
}

namespace {

// An organisation or place that ends in an office after the body or state the office serves
// ("U.S. President", "Microsoft Chairman", "UN Secretary-General") is that body or state alone.
// "General" closes offices that are no names of a body ("Surgeon General"), and short words
// ("Rev", "Gen", "Duke") end names of other kinds ("Mercury Rev"), so they cut nothing.
NameSpan dropTrailingOffice(const NameLine& line, NameSpan span) {
  if (span.type == NameType::kPersonalName) return span;
  size_t cut = span.last;  // the first of the office's words at the end
  bool office = false;
  for (size_t k = span.last; k > span.first; --k) {
    if (!line.tokens[k - 1].isWord) continue;
    const std::string w = lowerCase(line.words[k - 1]);
    const bool isOffice = tagger_words::offices().count(w) > 0 && w != "general" && w.size() > 4;
    if (!office && !isOffice) return span;  // the name does not end in an office
    if (!isOffice && (w == "of" || w == "the" || !tagger_words::officeWords().count(w))) break;
    office = true;
    cut = k - 1;
  }
  if (cut == span.first) return span;  // office words only: left to dropOffices
  return trimToWords(line, NameSpan{span.first, cut, span.type});
}

}  // namespace

NameSpan dropOffices(const NameLine& line, NameSpan span) {
  if (span.first >= span.last || line.language > 1 || !isRunningText(line, span)) return span;
  bool office = false, of = false;
  // The state an office serves may stand before it as a nationality: "Russian President",
  // "South Korean Foreign Minister".
  size_t start = span.first;
  while (start < span.last && (!line.tokens[start].isWord ||
                               tagger_words::isNationalityWord(lowerCase(line.words[start])) ||
                               tagger_words::regionWords().count(lowerCase(line.words[start])) > 0))
    ++start;
  size_t rest = start;  // the first token after the office's words
  for (size_t k = start; k < span.last; ++k) {
    if (!line.tokens[k].isWord) continue;
    const std::string w = lowerCase(line.words[k]);
    const bool isOffice = tagger_words::offices().count(w) > 0;
    if (!isOffice && !tagger_words::officeWords().count(w)) break;
    office = office || isOffice;
    of = of || w == "of";
    rest = k + 1;
  }
  if (!office) return dropTrailingOffice(line, span);
  while (rest < span.last && !line.tokens[rest].isWord) ++rest;
  if (rest < span.last && isSmallLetterWord(line, rest)) return span;  // "Secretary of State for"
  if (rest >= span.last) {
    span.last = span.first;
  } else if (of) {
    span = trimToWords(line, NameSpan{rest, span.last, NameType::kPlaceName});
  } else if (span.type == NameType::kPersonalName) {
    span = trimToWords(line, NameSpan{rest, span.last, span.type});
  }
  return span;
}

NameSpan dropEvents(const NameLine& line, NameSpan span) {
  if (span.first >= span.last || line.language > 1 || span.type == NameType::kPersonalName)
    return span;
  std::vector<std::string> words;  // lower-cased, a year or "the" before the first left out
  for (size_t k = span.first; k < span.last; ++k) {
    if (!line.tokens[k].isWord) continue;
    std::string w = lowerCase(line.words[k]);
    const bool lead = words.empty() && (w == "the" || (w.size() == 4 && onlyDigits(w)));
    if (!lead) words.push_back(std::move(w));
  }
  if (words.empty()) return span;
  const std::string& w = words.back();
  const bool event = words.size() == 1 ? tagger_words::eventsAlone().count(w) > 0
                                       : tagger_words::eventWords().count(w) > 0 ||
                                             (words[1] == "of" && words.size() > 2 &&
                                              tagger_words::eventHeads().count(words[0]) > 0);
  if (event) span.last = span.first;
  return span;
}

// The title of a work after the word for its kind in English running text ("the film Salmon
// Fishing", "the album \"Over My Head\"") is no name of the three types, whatever it holds.
NameSpan dropWorks(const NameLine& line, NameSpan span) {
  if (span.first >= span.last || line.language > 1) return span;
  size_t k = span.first;
  while (k > 0 && !line.tokens[k - 1].isWord && isQuote(line.words[k - 1])) --k;
  if (k == 0 || !isSmallLetterWord(line, k - 1)) return span;
  if (tagger_words::kindsOfWorks().count(line.words[k - 1])) span.last = span.first;
  return span;
}

NameSpan dropNationalities(const NameLine& line, NameSpan span) {
  size_t words = 0, nationalities = 0, others = 0;
  std::string last;
  for (size_t k = span.first; k < span.last; ++k) {
    if (!line.tokens[k].isWord) continue;
    last = lowerCase(line.words[k]);
    ++words;
    if (tagger_words::isNationalityWord(last))
      ++nationalities;
    else if (!tagger_words::regionWords().count(last) && !tagger_words::citizenWords().count(last))
      ++others;
  }
  // "Egyptian", "South Korean", "BRITISH CITIZEN" (a passport's nationality)
  const bool nationality = nationalities > 0 && others == 0;
  const bool people =  // a people named by a plural alone: "Phoenicians", "Achaeans"
      words == 1 && last.size() >= 7 && (last.ends_with("ians") || last.ends_with("eans"));
  // An adjective of a people, an age or a political camp before a noun in English running text:
  // "Mycenaean palaces", "Phoenician traders", "Victorian houses", "the Republican convention".
  const bool adjectiveWord =
      (last.size() >= 7 && (last.ends_with("ian") || last.ends_with("ean"))) ||
      tagger_words::politicalAdjectives().count(last) > 0;
  const bool adjective = words == 1 && line.language <= 1 && adjectiveWord &&
                         span.last < line.words.size() && isSmallLetterWord(line, span.last) &&
                         !isFunctionWord(lowerCase(line.words[span.last])) &&
                         isRunningText(line, span);
  // A faith or a doctrine alone: "Islam", "Judaism", "Marxism", "Katholizismus".
  const bool doctrine = last.size() >= 6 && (last.ends_with("ism") || last.ends_with("isme") ||
                                             last.ends_with("ismus"));
  const bool belief = words == 1 && (doctrine || last == "islam" || last == "christianity");
  if (span.type == NameType::kPersonalName ? nationality && words > 1
                                           : nationality || people || adjective || belief)
    span.last = span.first;
  return span;
}

NameSpan dropKindsAfterNationalities(const NameLine& line, NameSpan span) {
  if (span.first >= span.last || span.type == NameType::kPersonalName) return span;
  size_t nationalities = 0, kinds = 0;
  for (size_t k = span.first; k < span.last; ++k) {
    if (!line.tokens[k].isWord) continue;
    const std::string& word = line.words[k];
    if (kinds > 0 ||
        std::any_of(word.begin(), word.end(), [](char c) { return c >= 'a' && c <= 'z'; }))
      return span;  // a word after the kind, or one with small letters
    const std::string lower = lowerCase(word);
    if (tagger_words::kindsOfBodies().count(lower) > 0)
      ++kinds;
    else if (tagger_words::isNationalityWord(lower))
      ++nationalities;
    else if (!tagger_words::regionWords().count(lower))
      return span;
  }
  if (nationalities > 0 && kinds == 1) span.last = span.first;
  return span;
}

NameSpan dropPluralAbbreviations(const NameLine& line, NameSpan span) {
  size_t words = 0, word = span.first;
  for (size_t k = span.first; k < span.last; ++k) {
    if (!line.tokens[k].isWord) continue;
    ++words;
    word = k;
  }
  if (words != 1) return span;
  const std::string& w = line.words[word];
  if (w.size() < 3 || w.back() != 's') return span;
  const bool capitals =
      std::all_of(w.begin(), w.end() - 1, [](char c) { return c >= 'A' && c <= 'Z'; });
  if (capitals) span.last = span.first;
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
         !closesInside(span.last - 1) &&
         !isPointOfTheWordBefore(line, span.first, span.last - 1, span.type)) {
    --span.last;
  }
  return span;
}

namespace {

// The next word token at or after k on the line; the line's end when there is none.
size_t nextWord(const NameLine& line, size_t k) {
  while (k < line.tokens.size() && !line.tokens[k].isWord) ++k;
  return k;
}

// The word token before k on the line; k itself when there is none.
size_t previousWord(const NameLine& line, size_t k) {
  for (size_t j = k; j > 0; --j) {
    if (line.tokens[j - 1].isWord) return j - 1;
  }
  return k;
}

bool isUpperCaseWord(std::string_view word) {
  return std::any_of(word.begin(), word.end(), [](char c) { return c >= 'A' && c <= 'Z'; }) &&
         std::none_of(word.begin(), word.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

bool holdsDigit(std::string_view word) {
  return word.find_first_of("0123456789") != std::string_view::npos;
}

}  // namespace

NameSpan dropNumberedPersons(const NameLine& line, NameSpan span) {
  const bool person = span.type == NameType::kPersonalName;
  int depth = 0;  // brackets open at the word: "Anna Weber ( 1901 - 1980 )" keeps its years
  for (size_t k = span.first; k < span.last; ++k) {
    depth += bracketOf(line.words[k]);
    // A number or code: at least as many digits as letters ("1986", "AS-4471-2231", "2B"; not
    // the ordinals "1st", "5.", nor "Holmes1").
    const std::string_view w = line.words[k];
    if (w.ends_with('.') || (k + 1 < line.words.size() && line.words[k + 1] == ".")) continue;
    const auto digits =
        std::count_if(w.begin(), w.end(), [](char c) { return c >= '0' && c <= '9'; });
    const auto letters = std::count_if(w.begin(), w.end(), [](char c) {
      return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c & 0x80) != 0;
    });
    // A long code of capitals and digits mixed is none either ("RSSMRA85T10A562S"; not a name
    // with figures run on to it, "Shkolina1,90").
    const bool code = digits >= 3 && w.size() >= 8 && std::all_of(w.begin(), w.end(), [](char c) {
                        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
                      });
    // Firms and places may hold numbers ("7-Eleven", "Studio 54"), but no such code.
    const bool number =
        line.tokens[k].isWord && digits > 0 && (person ? digits >= letters || code : code);
    if (number && depth == 0) {
      span.last = span.first;
      break;
    }
  }
  return span;
}

namespace {

// `span` made no name when one of its words, lower-cased, is in `words` and passes `also`.
template <typename Also>
NameSpan noNameWithWordOf(const NameLine& line, NameSpan span,
                          const std::unordered_set<std::string_view>& words, Also also) {
  for (size_t k = span.first; k < span.last; ++k) {
    if (line.tokens[k].isWord && words.count(lowerCase(line.words[k])) && also(line.words[k])) {
      span.last = span.first;
      break;
    }
  }
  return span;
}

}  // namespace

NameSpan dropCourtesies(const NameLine& line, NameSpan span) {
  return noNameWithWordOf(line, span, tagger_words::courtesyWords(),
                          [](std::string_view) { return true; });
}

NameSpan dropNumberLabels(const NameLine& line, NameSpan span) {
  if (span.first >= span.last) return span;
  const auto opensWithDigit = [](std::string_view w) {
    return !w.empty() && w[0] >= '0' && w[0] <= '9';
  };
  size_t k = span.first;  // the first word that is no label
  for (; k < span.last; ++k) {
    const std::string word = lowerCase(line.words[k]);
    if (line.tokens[k].isWord && !tagger_words::phoneLabels().count(word) &&
        !tagger_words::registryLabels().count(word)) {
      break;
    }
  }
  if (k < span.last) {
    // The label and its number as one name ("TEL 07-3523888"): none.
    bool numberOnly = k > span.first;
    for (size_t j = k; j < span.last && numberOnly; ++j)
      numberOnly = !line.tokens[j].isWord || opensWithDigit(line.words[j]);
    if (numberOnly) span.last = span.first;
    return span;
  }
  if (span.last >= line.tokens.size()) return span;
  // The number may come after a point or a colon ("Tel.", "Ph:"), and after the word for number
  // ("UID Nr.:", "GST No").
  size_t next = span.last;
  while (next < line.tokens.size() &&
         (line.words[next].find_first_not_of(" \t.:") == std::string::npos ||
          lowerCase(line.words[next]) == "no" || lowerCase(line.words[next]) == "nr")) {
    ++next;
  }
  if (next >= line.tokens.size() || line.words[next].empty()) return span;
  const std::string& w = line.words[next];
  // The number, or a code that opens with capitals, in one word or after a country's letters
  // ("DE812706034", "GB 220 4302 31").
  const bool code =
      w[0] >= 'A' && w[0] <= 'Z' &&
      (holdsDigit(w) || (w.size() <= 3 && isUpperCaseWord(w) && next + 1 < line.tokens.size() &&
                         opensWithDigit(line.words[next + 1])));
  if (opensWithDigit(w) || w[0] == '+' || w[0] == '(' || code) span.last = span.first;
  return span;
}

NameSpan dropSentences(const NameLine& line, NameSpan span) {
  if (line.language > 1) return span;  // English or no known language
  return noNameWithWordOf(line, span, tagger_words::sentenceWords(), [](std::string_view w) {
    return std::any_of(w.begin(), w.end(), [](char c) { return c >= 'a' && c <= 'z'; });
  });
}

namespace {

// What follows a street or a town in an address on the same line: a comma, or a word with a digit
// (a house number, a ZIP or postcode, a suite).
bool addressGoesOn(const NameLine& line, size_t k) {
  return k < line.tokens.size() &&
         (line.words[k] == "," || (line.tokens[k].isWord && holdsDigit(line.words[k])));
}

// Whether a line holds a quotation mark: a name alone there is a title ("'' Cross Road ''").
bool quoted(const NameLine& line) {
  return std::any_of(line.words.begin(), line.words.end(),
                     [](const std::string& w) { return isQuote(w); });
}

// Whether the words before `first` are a street word of the languages that write it first, with
// the small words that join it to the name ("rue du", "avenue", "Via", "calle de la").
bool afterLeadingStreetWord(const NameLine& line, size_t first) {
  if (line.language == 1) return false;  // English writes the street word last
  size_t k = previousWord(line, first);
  while (k < first && tagger_words::streetJoiners().count(lowerCase(line.words[k]))) {
    const size_t before = previousWord(line, k);
    if (before == k) return false;
    k = before;
  }
  if (k >= first) return false;
  const std::string& word = line.words[k];
  // "via" is a word of other languages too; only "Via" opens a street.
  if (word == "via") return false;
  return tagger_words::streetWordsLeading().count(lowerCase(word)) > 0;
}

// Whether the word token at `k` (a point before it allowed, as in "Hauptstr. 5") is a house
// number: digits, with a letter or two after them at most ("5", "123", "12a").
bool houseNumberAt(const NameLine& line, size_t k) {
  if (k < line.tokens.size() && line.words[k] == ".") ++k;
  if (k >= line.tokens.size() || !line.tokens[k].isWord) return false;
  const std::string& word = line.words[k];
  const size_t digits = std::min(word.find_first_not_of("0123456789"), word.size());
  return digits > 0 && digits <= 4 && word.size() - digits <= 2;
}

// Whether a name is a street by its own words beside a house number: "Calle Mayor 15",
// "12 Avenue Foch", "Oudegracht 123", "Hauptstraße 5", "Berliner Straße 12"; or, in a language
// that writes the street word first, before the rest of an address ("Rue de Rivoli, 75001").
// Other names open with such words too ("Avenue Q", "Chemin de fer du Nord", "Place Vendome
// Hotel").
bool streetByItsWords(const NameLine& line, NameSpan span) {
  const size_t first = nextWord(line, span.first);
  const size_t last = previousWord(line, span.last);
  if (first >= span.last || last < first) return false;
  // The number may end the name itself ("Calle Mayor 15").
  const bool numberInside = last > first && houseNumberAt(line, last);
  const size_t street = numberInside ? previousWord(line, last) : last;
  const bool numbered = numberInside || houseNumberAt(line, span.last);
  const size_t before = previousWord(line, span.first);
  const bool numberBefore = before < span.first && houseNumberAt(line, before);
  // "via" in small letters is a word of other languages too; only "Via" opens a street.
  if (street > first && line.words[first] != "via" &&
      tagger_words::streetWordsLeading().count(lowerCase(line.words[first])) &&
      (numbered || numberBefore || (line.language != 1 && addressGoesOn(line, span.last)))) {
    return true;
  }
  if (!numbered) return false;
  // The street words German and Dutch join to the name ("Hauptstraße", "Goethestr.") or write
  // after it ("Berliner Straße"), as the address detector reads them.
  const bool point = street + 1 < line.tokens.size() && line.words[street + 1] == ".";
  const std::u16string name = toUtf16(lowerCase(line.words[street]) + (point ? "." : ""));
  return std::any_of(std::begin(detector::kStreetSuffixes), std::end(detector::kStreetSuffixes),
                     [&](std::u16string_view ending) { return name.ends_with(ending); });
}

// Whether a street word written apart follows the name, then a house number: "Karl Johans gate
// 22", "Václavské náměstí 1", "Berliner Straße 12" (the name the model found without its
// street word).
bool streetWordAfter(const NameLine& line, NameSpan span) {
  const size_t word = nextWord(line, span.last);
  if (word >= line.tokens.size() || word != span.last) return false;
  const std::u16string street = toUtf16(lowerCase(line.words[word]));
  const bool apart = std::any_of(std::begin(detector::kStreetWordsAfterName),
                                 std::end(detector::kStreetWordsAfterName),
                                 [&](std::u16string_view w) { return w == street; });
  // "gate" only after a genitive, in small letters (no "Departure Gate 5").
  const bool gate = line.words[word] == "gate" && span.first < span.last &&
                    line.words[previousWord(line, span.last)].ends_with('s');
  return (apart || gate) && houseNumberAt(line, nextWord(line, word + 1));
}

}  // namespace

NameSpan streetsArePlaces(const NameLine& line, NameSpan span) {
  if (span.type != NameType::kOrganization && span.type != NameType::kPersonalName) return span;
  if (span.first < span.last && (afterLeadingStreetWord(line, span.first) ||
                                 streetByItsWords(line, span) || streetWordAfter(line, span))) {
    span.type = NameType::kPlaceName;
    return span;
  }
  size_t words = 0, last = span.first;
  for (size_t k = span.first; k < span.last; ++k) {
    if (line.words[k] == "(") return span;  // "M-8 (Michigan highway)" is a road's number
    if (line.tokens[k].isWord) ++words, last = k;
  }
  if (words < 2) return span;
  const std::string street = lowerCase(line.words[last]);
  // After a house number ("2001 Point West Way") the street words that end other names too.
  const bool numbered = span.first > 0 && holdsDigit(line.words[span.first - 1]);
  if (!tagger_words::streetWordsEnding().count(street) &&
      !(numbered && tagger_words::streetWordsLast().count(street))) {
    return span;
  }
  // Shows, songs, labels and schools are named after streets too ("Coronation Street", "NC St."):
  // a street stands where an address does, or after a word that places something on it.
  const size_t before = previousWord(line, span.first);
  const bool placed =
      before < span.first && tagger_words::wordsBeforeStreet().count(lowerCase(line.words[before]));
  const bool alone =
      before == span.first && nextWord(line, span.last) == line.tokens.size() && !quoted(line);
  if (!numbered && !placed && !alone && !addressGoesOn(line, span.last)) return span;
  span.type = NameType::kPlaceName;
  return span;
}

NameSpan addressedPersons(const NameLine& line, NameSpan span) {
  if (span.type == NameType::kPersonalName || span.first >= span.last) return span;
  // A firm's legal form says otherwise: "MR. D.I.Y. (M) SDN BHD" is a shop.
  for (size_t k = span.first; k < span.last; ++k) {
    const std::string w = lowerCase(line.words[k]);
    if (line.tokens[k].isWord && (w == "sdn" || tagger_words::legalForms().count(w))) return span;
  }
  // Whether the word at `title` is a form of address written as one before the word after it:
  // "Ms", "Herr" (a capital and small letters); "MR" only before a name in capitals.
  const auto addresses = [&](size_t title) {
    const std::string_view word = line.words[title];
    if (word.empty() || !tagger_words::formsOfAddress().count(lowerCase(word))) return false;
    const size_t next = nextWord(line, title + 1);
    if (next >= span.last) return false;  // no word of the name after it
    return word[0] >= 'A' && word[0] <= 'Z' &&
           (!isUpperCaseWord(word) || isUpperCaseWord(line.words[next]));
  };
  const size_t before = previousWord(line, span.first);
  if ((line.tokens[span.first].isWord && addresses(span.first)) ||
      (before < span.first && addresses(before))) {
    span.type = NameType::kPersonalName;
  }
  return span;
}

NameSpan endBeforeDates(const NameLine& line, NameSpan span) {
  if (span.first >= span.last) return span;
  const bool digit = std::any_of(line.words.begin() + span.first, line.words.begin() + span.last,
                                 [](const std::string& w) { return holdsDigit(w); });
  if (!digit) return span;
  // The span and a few tokens after it (a date may run on past the name: "3rd April 2023"), as
  // text, with where each token starts in it.
  constexpr size_t kTokensAfter = 6;
  const size_t end = std::min(line.tokens.size(), span.last + kTokensAfter);
  std::u16string text;
  std::vector<size_t> starts;
  for (size_t k = span.first; k < end; ++k) {
    // Tokens apart in the line are apart by a space here too ("3rd April", not "3rdApril").
    if (k > span.first && line.tokens[k - 1].range.end < line.tokens[k].range.begin) text += u' ';
    starts.push_back(text.size());
    text += toUtf16(line.words[k]);
  }
  const Matches dates = findDates(text);
  if (dates.empty()) return span;
  const size_t dateStart = dates.front().location;
  size_t k = span.first;
  while (k + 1 < end && starts[k + 1 - span.first] <= dateStart) ++k;
  if (k >= span.last) return span;
  // The words in small letters that led to the date go with it ("Berlin, den"), but only after a
  // comma: a date joined to a name's words is part of the name ("28 March Stadium",
  // "Kommunalreform zum 1. Januar 2007").
  bool comma = false;
  while (k > span.first && (!line.tokens[k - 1].isWord || isSmallLetterWord(line, k - 1))) {
    comma = comma || line.words[k - 1] == ",";
    --k;
  }
  if (comma && k > span.first) span.last = k;
  return span;
}

NameSpan institutionsAreOrganizations(const NameLine& line, NameSpan span) {
  if (span.type != NameType::kPersonalName || span.first >= span.last) return span;
  if (nextWord(line, span.first + 1) >= span.last) return span;  // one word: a surname may be one
  if (tagger_words::institutionWords().count(lowerCase(line.words[span.first]))) {
    span.type = NameType::kOrganization;
  }
  return span;
}

NameSpan dropDocumentTitles(const NameLine& line, NameSpan span) {
  if (span.first >= span.last) return span;
  const auto& documents = tagger_words::documentWords();
  if (span.type == NameType::kPersonalName && documents.count(lowerCase(line.words[span.first]))) {
    span.last = span.first;
    return span;
  }
  // A title line of any type: the name is all the line's words and ends in a kind of document
  // ("Hospital Discharge Summary", "School Report", "BANK STATEMENT").
  const auto word = [&](const auto& t) { return t.isWord; };
  const bool wholeLine =
      std::none_of(line.tokens.begin(), line.tokens.begin() + span.first, word) &&
      std::none_of(line.tokens.begin() + span.last, line.tokens.end(), word);
  const size_t last = previousWord(line, span.last);
  if (wholeLine && last < span.last && documents.count(lowerCase(line.words[last])))
    span.last = span.first;
  return span;
}

NameSpan placesAfterPlaceLabels(const NameLine& line, NameSpan span) {
  if (span.type == NameType::kPlaceName || span.first >= span.last) return span;
  // The name ends the line, but for punctuation.
  for (size_t k = span.last; k < line.tokens.size(); ++k) {
    if (line.tokens[k].isWord) return span;
  }
  // The words before it, from the line's start, are the label.
  std::string key;
  size_t count = 0;
  for (size_t k = 0; k < span.first; ++k) {
    if (!line.tokens[k].isWord) {
      if (line.words[k] == ":") return span;  // with a colon, the model reads the field itself
      continue;
    }
    if (!key.empty()) key += ' ';
    key += lowerCase(line.words[k]);
    ++count;
  }
  // One word alone ("State Bank", "City Hall") is too often part of a name.
  static const std::unordered_set<std::string_view> kOneWordLabels{
      "birthplace", "geburtsort", "geboorteplaats", "ausstellungsort"};
  if (count == 0 || !words::placeKeys().count(key) || (count == 1 && !kOneWordLabels.count(key))) {
    return span;
  }
  span.type = NameType::kPlaceName;
  return span;
}

NameSpan townsBeforeStateCodesArePlaces(const NameLine& line, NameSpan span) {
  if (span.last <= span.first) return span;  // no name left
  if (span.type != NameType::kOrganization && span.type != NameType::kPersonalName) return span;
  // The code either ends the name ("Portland , OR") or follows it.
  size_t code = span.last - 1;
  size_t comma = code > span.first ? code - 1 : code;
  if (!(line.tokens[code].isWord && comma > span.first && line.words[comma] == ",")) {
    comma = span.last;
    code = comma + 1;
    if (code >= line.tokens.size() || line.words[comma] != ",") return span;
  }
  if (!tagger_words::stateCodes().count(line.words[code])) return span;
  const size_t after = nextWord(line, code + 1);
  if (after < line.tokens.size() && !holdsDigit(line.words[after])) return span;
  span.type = NameType::kPlaceName;
  return span;
}

// A person's name does not run on through a comma in English running text: what follows is an
// apposition or another name ("Henry, Duke of Cumberland", "Margaret Douglas, Countess of
// Lennox"). Cards and lists that write the surname first ("DOE, JOHN") are no running text.
NameSpan endPersonsAtCommas(const NameLine& line, NameSpan span) {
  if (span.type != NameType::kPersonalName || line.language > 1) return span;
  size_t comma = span.first;
  while (comma < span.last && line.words[comma] != ",") ++comma;
  if (comma == span.first || comma >= span.last || !isRunningText(line, span)) return span;
  // "Martin Luther King, Jr.", "James G. Rowe, Sr." keep their suffix.
  const size_t after = nextWord(line, comma + 1);
  static constexpr std::string_view kSuffixes[] = {"jr", "sr", "ii", "iii", "iv", "esq", "phd"};
  const std::string suffix = after < span.last ? lowerCase(line.words[after]) : std::string();
  if (std::find(std::begin(kSuffixes), std::end(kSuffixes), suffix) != std::end(kSuffixes))
    return span;
  span.last = comma;
  return span;
}

NameSpan landformsArePlaces(const NameLine& line, NameSpan span) {
  if (span.type != NameType::kOrganization) return span;
  size_t words = 0;
  const size_t last = previousWord(line, span.last);
  for (size_t k = span.first; k < span.last; ++k) words += line.tokens[k].isWord ? 1 : 0;
  if (words < 2 || last >= span.last || last < span.first) return span;
  const std::string& w = line.words[last];
  // Written with a capital, as a name's own word ("Royal National Park", not "the park").
  if (w.empty() || !(w[0] >= 'A' && w[0] <= 'Z')) return span;
  if (tagger_words::landformWords().count(lowerCase(w))) span.type = NameType::kPlaceName;
  return span;
}

std::span<const NameSpanRule> nameSpanRules() {
  static constexpr std::array<NameSpanRule, 28> kRules{trimToWords,
                                                       dropDutchPostcode,
                                                       dropSalutation,
                                                       addressedPersons,
                                                       dropPersonalTitles,
                                                       trimSmallLetterEdges,
                                                       endBeforeInnerSmallWords,
                                                       dropOffices,
                                                       dropCourses,
                                                       dropEvents,
                                                       dropWorks,
                                                       endPersonsAtCommas,
                                                       dropNationalities,
                                                       dropKindsAfterNationalities,
                                                       dropPluralAbbreviations,
                                                       dropNumberedPersons,
                                                       dropCourtesies,
                                                       dropNumberLabels,
                                                       endBeforeDates,
                                                       institutionsAreOrganizations,
                                                       dropDocumentTitles,
                                                       placesAfterPlaceLabels,
                                                       dropSentences,
                                                       streetsArePlaces,
                                                       landformsArePlaces,
                                                       townsBeforeStateCodesArePlaces,
                                                       balanceBrackets,
                                                       trimTrailingPunctuation};
  return kRules;
}

}  // namespace marrowfen::entities
