#include "entities/address_detector.h"

#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <optional>
#include <set>
#include <span>

#include "entities/date_detector.h"

namespace marrowfen::entities {

using namespace detector;

namespace {

bool endsWith(const std::u16string& word, std::u16string_view suffix) {
  return word.size() >= suffix.size() &&
         std::u16string_view(word).substr(word.size() - suffix.size()) == suffix;
}

struct AddressPatterns {
  std::unique_ptr<icu::RegexPattern> label, street, postcode, postcodeWide, field;
};

// Compiles the postcode patterns of `p`.
void compilePostcodePatterns(AddressPatterns& p) {
  // US state + ZIP, UK postcode, Indian PIN after a place or "PIN" (six digits, not the start
  // of a longer number such as "SIRET 451 321 335 00017"), DE/FR code + place.
  const icu::UnicodeString postcodes =
      u"(?<![\\p{L}\\p{N}])(?:"
      u"((?=[A-Z]{2}[ "
      u"\\t\\u00A0])(?:AL|AK|AZ|AR|CA|CO|CT|DE|DC|FL|GA|HI|ID|IL|IN|IA|KS|KY|LA|ME|MD|MA|MI|MN|"
      u"MS|MO|MT|NE|"
      u"NV|NH|NJ|NM|NY|NC|ND|OH|OK|OR|PA|RI|SC|SD|TN|TX|UT|VT|VA|WA|WV|WI|WY)[ "
      u"\\t\\u00A0]+\\d{5}(?:-\\d{4})?)"
      u"|([A-Z]{1,2}\\d[A-Z\\d]?[ \\t\\u00A0]?\\d[ABD-HJLNP-UW-Z]{2})"
      u"|((?:(?i)pin(?:[ \\t\\u00A0]*code)?|\\p{Lu}\\p{L}+)[ \\t\\u00A0]*[:,\\-\\u2013]?[ "
      u"\\t\\u00A0]*[1-9]\\d{2}[ \\t\\u00A0]?\\d{3}(?![ \\t\\u00A0]?\\d))"
      u"|((?:(?i)d-|f-)?\\d{5}[ \\t\\u00A0]+\\p{Lu}[\\p{L}\\-]+(?:[ "
      u"\\t\\u00A0]+\\p{Lu}[\\p{L}\\-]+)?)"
      // Dutch: four digits and two capitals before the place ("3511 NK Utrecht").
      u"|((?:(?i)nl-)?[1-9]\\d{3}[ \\t\\u00A0]?[A-Z]{2}[ \\t\\u00A0]+\\p{Lu}[\\p{L}\\-]+)"
      // Austria, Switzerland, Belgium, Denmark, Norway: four digits before the place ("1010 Wien",
      // "0159 Oslo").
      u"|((?:(?i)a-|ch-|b-|dk-|n-)?\\d{4}[ \\t\\u00A0]+\\p{Lu}[\\p{L}\\-]+(?:[ "
      u"\\t\\u00A0]+\\p{Lu}[\\p{L}\\-]+)?)";
  // Forms that few lines can hold, in a pattern of their own that is tried only on lines
  // that may hold one of them (postcodePatternFor): every alternative costs time at every
  // word of every line that holds four digits.
  const icu::UnicodeString otherPostcodes =
      // Canada: letter, digit, letter, digit, letter, digit, after a province's code or its
      // name in brackets, or alone ("ON M5V 2T6", "(Québec) H3B 1A7", "H3B 1A7").
      u"|((?:(?:AB|BC|MB|NB|NL|NS|NT|NU|ON|PE|QC|SK|YT)[ \\t\\u00A0]+|\\(\\p{Lu}[\\p{L}\\-]+\\)[ "
      u"\\t\\u00A0]+)?[ABCEGHJ-NPRSTVXY]\\d[ABCEGHJ-NPRSTV-Z][ "
      u"\\t\\u00A0]?\\d[ABCEGHJ-NPRSTV-Z]\\d)"
      // Australia: a state and four digits ("NSW 2026"); the states of two letters only after
      // a town in capitals ("ADELAIDE SA 5000").
      u"|((?:\\p{Lu}[\\p{Lu}\\-]+[ \\t\\u00A0]+(?:SA|WA|NT)|NSW|VIC|QLD|TAS|ACT)[ "
      u"\\t\\u00A0]+\\d{4})"
      // Portugal and Poland: "1100-053 Lisboa", "00-590 Warszawa".
      u"|((?:\\d{4}-\\d{3}|\\d{2}-\\d{3})[ \\t\\u00A0]+\\p{Lu}[\\p{L}\\-]+(?:[ "
      u"\\t\\u00A0]+\\p{Lu}[\\p{L}\\-]+)?)"
      // Brazil's CEP after its town ("São Paulo - SP, 01310-200"), and five digits after a town
      // at the end of a line ("Jakarta Pusat 10220", "Bangkok 10110").
      u"|(\\d{5}-\\d{3})"
      // (not a US state's code before a ZIP: "Cupertino CA 95014")
      u"|(\\p{Lu}[\\p{L}\\-]+(?:[ \\t\\u00A0]+\\p{Lu}[\\p{L}\\-]+){0,2}"
      u"(?<![ \\t\\u00A0][A-Z]{2}),?[ \\t\\u00A0]+\\d{5}"
      u"(?=[ \\t\\u00A0.,]*(?![\\s\\S])))"
      // Ireland's Eircode: a routing key and four letters and digits ("D04 X2Y3", "P31 X2K8").
      u"|((?:[AC-FHKNPRTV-Y]\\d{2}|D6W)[ \\t\\u00A0]?[0-9AC-FHKNPRTV-Y]{4})"
      // Sweden, Czechia, Slovakia, Greece: three digits and two apart ("111 22 Stockholm",
      // "110 00 Praha 1").
      u"|((?:(?i)s-|se-|cz-|sk-)?[1-9]\\d{2} \\d{2}[ \\t\\u00A0]+\\p{Lu}[\\p{L}\\-]+(?:[ "
      u"\\t\\u00A0]+(?:\\p{Lu}[\\p{L}\\-]+|\\d{1,2}))?)";
  p.postcode = compile(postcodes + u")(?![\\p{L}\\p{N}])");
  p.postcodeWide = compile(postcodes + otherPostcodes + u")(?![\\p{L}\\p{N}])");
}

const AddressPatterns& addressPatterns() {
  static const AddressPatterns patterns = [] {
    AddressPatterns p;
    // Each list behind a look-ahead that fails at once where none of its words can start.
    const auto anyOf = [](std::span<const std::u16string_view> words) {
      return firstUnitLookahead(words) + u"(?:" + alternationOf(words) + u")";
    };
    const icu::UnicodeString streetWords = anyOf(kStreetWords);
    const icu::UnicodeString leadingStreetWords = anyOf(kLeadingStreetWords);
    const icu::UnicodeString germanSuffix = anyOf(kStreetSuffixes);
    const icu::UnicodeString smallLeadingStreetWords = anyOf(kSmallLeadingStreetWords);
    const icu::UnicodeString wordsAfterName = anyOf(kStreetWordsAfterName);
    const icu::UnicodeString sp = u"[ \\t\\u00A0]";
    // The look-aheads below ("(?=[fhpdau])" before "flat|house|...") fail at once where none of
    // the words after them can start; they change nothing else.
    // Words of a street's name: capitalised, or the small words inside names.
    const icu::UnicodeString nameWord(
        u"(?:(?-i:\\p{Lu})[\\p{L}.'\\-]*|(?=[dlotv])(?:de|la|le|du|des|of|the|di|del|della|dos|das|"
        u"do|da|van|von))");
    p.label = compile(icu::UnicodeString(u"^[ \\t\\u00A0]*(?:[\\p{L}']+[ \\t\\u00A0]+){0,2}(?:") +
                          alternationOf(kAddressLabelWords) +
                          u")"
                          u"(?:[ \\t\\u00A0]+(?:line[ \\t\\u00A0]*\\d|of[ \\t\\u00A0]+\\p{L}+))?[ "
                          u"\\t\\u00A0]*[:\\uFF1A]"
                          u"[ \\t\\u00A0]*",
                      UREGEX_CASE_INSENSITIVE);
    // A house number, up to five name words and a street word; a leading street word, name words
    // and a number; or a German or Dutch compound with a number ("Hauptstraße 5").
    p.street = compile(icu::UnicodeString(u"(?<![\\p{L}\\p{N}])(?:") +
                           u"(?:(?=[fhpdau])(?:flat|house|h\\.?|plot|door|apt|unit)[ "
                           u"\\t\\u00A0.]*(?:no\\.?)?[ \\t\\u00A0:]*)?"
                           u"\\d{1,5}[A-Za-z]?(?:[\\-/]\\d{1,5}[A-Za-z]?)*,?[ \\t\\u00A0]+"
                           // Without a name word between, "St" after a number is a saint's
                           // ("1990, St James's Hospital"), no street.
                           u"(?:(?:" +
                           nameWord + u",?[ \\t\\u00A0]+){1,5}|(?!st\\b))(?:" + streetWords +
                           u")\\.?(?![\\p{L}])"
                           // The name may end in a comma before the number: "Calle de Alcalá, 45".
                           u"|(?:(?=(?-i:\\p{Lu}))(?:" +
                           leadingStreetWords + u")|" + smallLeadingStreetWords + u")" + sp +
                           u"+(?:" + nameWord + u",?" + sp +
                           u"+){0,4}\\d{1,5}[A-Za-z]?(?![\\p{L}\\p{N}])"
                           // Capitalised name words, a street word apart and the number.
                           u"|(?-i:\\p{Lu})[\\p{L}'\\-]*(?:" +
                           sp + u"+(?-i:\\p{Lu})[\\p{L}'\\-]*){0,2}" + sp + u"+(?:" +
                           wordsAfterName + u"|(?<=s" + sp + u")(?-i:gate))" + sp +
                           u"+\\d{1,5}[A-Za-z]?(?![\\p{L}\\p{N}])"
                           u"|(?-i:\\p{Lu})[\\p{L}\\-]*" +
                           germanSuffix +
                           u"[ \\t\\u00A0]+\\d{1,5}[A-Za-z]?(?![\\p{L}\\p{N}])"
                           // A post-office box, which stands where the street would: "PO Box 227",
                           // "Postfach 10 12 34".
                           u"|(?=[gpbac])(?:g?p\\.?[ \\t\\u00A0]?o\\.?[ \\t\\u00A0]?box|post[ "
                           u"\\t\\u00A0]?box|postbus|postfach|"
                           u"bo[iî]te[ \\t\\u00A0]postale|apartado|casella[ \\t\\u00A0]postale)"
                           u"[ \\t\\u00A0]*(?:no\\.?[ \\t\\u00A0]*)?\\d{1,6}(?:[ "
                           u"\\t\\u00A0]\\d{2,3}){0,2}(?![\\p{L}\\p{N}])"
                           u")",
                       UREGEX_CASE_INSENSITIVE);
    compilePostcodePatterns(p);
    // Another "Key:" field, which ends an address block.
    p.field = compile(u"^[ \\t\\u00A0]*[\\p{L}][\\p{L}'. /]{0,30}[:\\uFF1A]");
    return p;
  }();
  return patterns;
}

struct Span {
  size_t begin = 0, end = 0;  // in the line
  bool found = false;
  int group = 0;  // the first capture group that took part in the match
};

int firstGroup(icu::RegexMatcher& m) {
  UErrorCode status = U_ZERO_ERROR;
  for (int g = 1; g <= m.groupCount(); ++g) {
    if (m.start(g, status) >= 0) return g;
  }
  return 0;
}

// Where a street or a postcode may start: at a letter or a digit after no letter or digit (every
// form of both opens with a letter or a digit behind (?<![\p{L}\p{N}])). Whatever is not ASCII
// is left to the patterns.
bool addressMayStart(std::u16string_view line, size_t at) {
  const char16_t c = line[at];
  if (c < 0x80 &&
      !((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'))) {
    return false;
  }
  return mayStartWord(line, at);
}

// The first and the last match of a pattern that may start only where `mayStart` holds.
template <typename MayStart>
Span firstMatch(const icu::RegexPattern* pattern, std::u16string_view line,
                const MayStart& mayStart) {
  Span span;
  forEachMatchWhere(pattern, line, mayStart, [&](size_t s, size_t e, icu::RegexMatcher& m) {
    span = {s, e, true, firstGroup(m)};
    return false;
  });
  return span;
}

// The match of a pattern that opens with "^" in `line`.
Span lineStartMatch(const icu::RegexPattern* pattern, std::u16string_view line) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::UnicodeString text = aliasOf(line);
  std::unique_ptr<icu::RegexMatcher> m(pattern->matcher(text, status));
  if (U_FAILURE(status) || !m->lookingAt(status) || U_FAILURE(status)) return {};
  return {static_cast<size_t>(m->start(status)), static_cast<size_t>(m->end(status)), true,
          firstGroup(*m)};
}

template <typename MayStart>
Span lastMatch(const icu::RegexPattern* pattern, std::u16string_view line,
               const MayStart& mayStart) {
  Span span;
  forEachMatchWhere(pattern, line, mayStart, [&](size_t s, size_t e, icu::RegexMatcher& m) {
    span = {s, e, true, firstGroup(m)};
  });
  return span;
}

// [begin, end) of `line` without white space at either end, and without commas and semicolons
// at its end (unlike trimmed() on UTF-8 text, which trims white space only).
Span trimmedSpan(std::u16string_view line, size_t begin, size_t end) {
  while (begin < end && (u_isUWhiteSpace(line[begin]))) ++begin;
  while (end > begin &&
         (u_isUWhiteSpace(line[end - 1]) || line[end - 1] == u',' || line[end - 1] == u';')) {
    --end;
  }
  return {begin, end, begin < end};
}

// Where the town after a street ends: at the first full stop, "!" or "?" that ends a sentence,
// that is, is followed by a space or the end of the line and comes after a word longer than
// three letters ("Leeds.", not "St." or "Mt."); the end of the line otherwise.
size_t townEnd(std::u16string_view line, size_t from) {
  size_t letters = 0;
  for (size_t i = from; i < line.size(); ++i) {
    const char16_t c = line[i];
    if (u_isalpha(c)) {
      ++letters;
      continue;
    }
    const bool ends = i + 1 == line.size() || u_isUWhiteSpace(line[i + 1]);
    if (ends && (c == u'!' || c == u'?' || (c == u'.' && letters > 3))) return i;
    letters = 0;
  }
  return line.size();
}

// The digits of a postcode of four to six digits that ends `town` after a space or a comma and a
// capitalised word ("Cape Town, 8001", "Singapore 560123"; not "Leeds, in 2019"), or 0.
size_t finalCodeDigits(std::u16string_view town) {
  size_t n = 0;
  while (n < town.size() && isDigitUnit(town[town.size() - 1 - n])) ++n;
  if (n < 4 || n > 6) return 0;
  size_t i = town.size() - n;
  if (i == 0 || (town[i - 1] != u' ' && town[i - 1] != u',')) return 0;
  while (i > 0 && (town[i - 1] == u' ' || town[i - 1] == u',')) --i;
  while (i > 0 && u_isalpha(town[i - 1])) --i;
  return i < town.size() && u_isupper(town[i]) ? n : 0;
}

// The words of a town, county and country after a street; more is prose, not an address.
constexpr size_t kMaxTownWords = 6;

size_t wordCount(std::u16string_view text) {
  size_t n = 0;
  bool inWord = false;
  for (char16_t c : text) {
    const bool letter = u_isalnum(c);
    if (letter && !inWord) ++n;
    inWord = letter;
  }
  return n;
}

// Whether the text before a postcode reads as an address written on one line: at least three
// parts apart by commas, each of at most five words that open with a capital or a digit (prose
// has words in small letters between its commas), no colon, "!" or "?", at most 160 characters.
bool addressOnOneLine(std::u16string_view before) {
  constexpr size_t kMinParts = 3, kMaxPartWords = 5, kMaxLength = 160;
  if (before.size() > kMaxLength || before.find_first_of(u":!?") != std::u16string_view::npos) {
    return false;
  }
  size_t parts = 0;
  for (size_t from = 0; from <= before.size();) {
    size_t comma = before.find(u',', from);
    if (comma == std::u16string_view::npos) comma = before.size();
    const std::u16string_view part = before.substr(from, comma - from);
    if (wordCount(part) > kMaxPartWords) return false;
    bool wordStart = true;
    for (const char16_t c : part) {
      if (wordStart && u_islower(c)) return false;
      wordStart = !u_isalnum(c) && c != u'\'' && c != u'.';
    }
    parts += wordCount(part) > 0;
    from = comma + 1;
  }
  return parts >= kMinParts;
}

// The letters of each of `words`, as the word tests see them ("c/" is "c", "str." is "str").
std::set<std::u16string> lettersOf(std::span<const std::u16string_view> words) {
  std::set<std::u16string> set;
  for (std::u16string_view w : words) {
    std::u16string letters;
    for (char16_t c : w) {
      if (u_isalpha(c)) letters.push_back(c);
    }
    set.insert(std::move(letters));
  }
  return set;
}

bool isAddressLabelWord(const std::u16string& w) {
  static const std::set<std::u16string> words = lettersOf(kAddressLabelWords);
  return words.count(w) > 0;
}

// Whether a lower-case word may be the street word of a street line.
bool isStreetWord(const std::u16string& w) {
  static const std::set<std::u16string> words = [] {
    std::set<std::u16string> set = lettersOf(kStreetWords);
    set.merge(lettersOf(kLeadingStreetWords));
    set.merge(lettersOf(kSmallLeadingStreetWords));
    set.merge(lettersOf(kStreetWordsAfterName));
    set.insert(u"gate");
    return set;
  }();
  if (words.count(w)) return true;
  static const std::set<std::u16string> suffixes = lettersOf(kStreetSuffixes);
  return std::any_of(suffixes.begin(), suffixes.end(),
                     [&](std::u16string_view suffix) { return endsWith(w, suffix); });
}

// Whether a lower-case word names a post-office box ("PO Box", "Postfach", "boîte postale").
bool isPostBoxWord(const std::u16string& w) {
  return w == u"box" || w == u"pobox" || w == u"postbus" || w == u"postfach" || w == u"postale" ||
         w == u"apartado";
}

// Capture groups of the postcode pattern.
enum PostcodeGroup {
  kUsZip = 1,
  kUkPostcode,
  kIndianPin,
  kFiveDigits,
  kDutchPostcode,
  kFourDigits,
  kCanadianPostcode,
  kAustralianPostcode,
  kHyphenatedPostcode,
  kBrazilianPostcode,
  kTownAndFiveDigits,
  kEircode,
  kSpacedPostcode
};

// Whether a line may hold a postcode of the forms few lines hold: a Canadian code's last half
// ("2T6"), a state of Australia's before four digits ("NSW 2026"), a code of digits joined by a
// hyphen ("1100-053", "00-590"), an Eircode ("D04 X2Y3"), or three digits and two apart before a
// word ("111 22 Stockholm").
bool mayHoldOtherPostcode(std::u16string_view line) {
  // Five digits that end the line after a space or a comma: a town's code.
  size_t end = line.size();
  while (end > 0 &&
         (u_isUWhiteSpace(line[end - 1]) || line[end - 1] == u'.' || line[end - 1] == u','))
    --end;
  size_t first = end;
  while (first > 0 && isDigitUnit(line[first - 1])) --first;
  if (end - first == 5 && first >= 2 && (line[first - 1] == u' ' || line[first - 1] == u',')) {
    return true;
  }
  static constexpr std::u16string_view kStates[] = {u"NSW ", u"VIC ", u"QLD ", u"TAS ",
                                                    u"ACT ", u"SA ",  u"WA ",  u"NT "};
  const auto upper = [](char16_t c) { return c >= u'A' && c <= u'Z'; };
  const auto digit = [&](size_t i) { return i < line.size() && isDigitUnit(line[i]); };
  for (size_t i = 0; i < line.size(); ++i) {
    if (digit(i) && i + 1 < line.size() && upper(line[i + 1]) && digit(i + 2)) return true;
    // Three digits after a hyphen, and no fourth: "1100-053", not "1982-06-27" or "040-1234".
    if (digit(i) && i + 1 < line.size() && line[i + 1] == u'-' && digit(i + 2) && digit(i + 3) &&
        digit(i + 4) && !digit(i + 5)) {
      return true;
    }
    if ((i == 0 || !u_isalnum(line[i - 1])) && upper(line[i]) && digit(i + 1) &&
        (digit(i + 2) || (i + 2 < line.size() && line[i + 2] == u'W')) && i + 6 < line.size() &&
        (line[i + 3] == u' ' || upper(line[i + 3]) || digit(i + 3))) {
      return true;
    }
    if ((i == 0 || !u_isalnum(line[i - 1])) && digit(i) && digit(i + 1) && digit(i + 2) &&
        i + 6 < line.size() && line[i + 3] == u' ' && digit(i + 4) && digit(i + 5) &&
        line[i + 6] == u' ') {
      return true;
    }
    if (upper(line[i]) && (i == 0 || !u_isalnum(line[i - 1]))) {
      for (const std::u16string_view state : kStates) {
        if (line.substr(i).starts_with(state) && digit(i + state.size())) return true;
      }
    }
  }
  return false;
}

// Four or more digits (ZIP, PIN and European codes), the inward code of a UK postcode ("6XE"), or
// a postcode of the forms few lines hold.
bool mayHoldPostcode(std::u16string_view line) {
  if (countDigits(line) >= 4) return true;
  const auto upper = [](char16_t c) { return c >= u'A' && c <= u'Z'; };
  for (size_t i = 0; i + 2 < line.size(); ++i) {
    if (isDigitUnit(line[i]) && upper(line[i + 1]) && upper(line[i + 2]) &&
        (i + 3 == line.size() || !u_isalnum(line[i + 3]))) {
      return true;
    }
  }
  return mayHoldOtherPostcode(line);
}

// The postcode pattern to try on `line`: the one with the rare forms only where they may stand.
const icu::RegexPattern* postcodePatternFor(const AddressPatterns& p, std::u16string_view line) {
  return mayHoldOtherPostcode(line) ? p.postcodeWide.get() : p.postcode.get();
}

// Whether a line after the first of an "Address:" block may still belong to the address: it
// holds a postcode or a street, or reads like a locality ("Mayfair", "Flat 3, Rose Court",
// "Near Shiv Mandir"). A date, or a lower-case word other than a street's or a locality's, ends
// the block ("Utrecht, 5 januari 2024", "De burgemeester van Utrecht").
bool mayContinueAddress(std::u16string_view line, const AddressPatterns& p) {
  if (mayHoldPostcode(line) && lastMatch(postcodePatternFor(p, line), line, addressMayStart).found)
    return true;
  if (!findDates(line).empty()) return false;
  static const std::set<std::u16string> kLocalityWords{
      u"near",  u"opp",       u"opposite",   u"behind", u"beside", u"next",
      u"post",  u"district",  u"dist",       u"floor",  u"block",  u"building",
      u"tower", u"apartment", u"apartments", u"flat",   u"house",  u"village",
      u"taluk", u"tehsil",    u"mandal",     u"bei",    u"chez",   u"care"};
  std::u16string word;
  bool lowerStart = false;
  const auto wordEnds = [&] {
    const bool ok =
        !lowerStart || word.size() <= 3 || isStreetWord(word) || kLocalityWords.count(word) > 0;
    word.clear();
    return ok;
  };
  for (size_t i = 0; i <= line.size(); ++i) {
    const char16_t c = i < line.size() ? line[i] : u' ';
    if (u_isalpha(c)) {
      if (word.empty()) lowerStart = u_islower(c);
      word.push_back(static_cast<char16_t>(u_tolower(c)));
    } else if (!word.empty() && !wordEnds()) {
      return false;
    }
  }
  return true;
}

constexpr size_t kMaxAddressLine = 240;  // longer lines are paragraphs, not address lines
constexpr size_t kMaxBlockLines = 6;

// ---- Addresses printed as a block of lines under a letterhead ----------------------------------
// Shops, firms and offices print their address under their name as a block of short lines: the
// premises and street first ("NO. 53, JALAN BESAR,", "LOT 3, JALAN PELABUR 23/1,", "3RD FLR,
// WISMA COSWAY,"), then quarters, and a line with the postcode ("43300 SERI KEMBANGAN,",
// "PETALING JAYA, 47800"), perhaps followed by the state or country alone ("SELANGOR DARUL
// EHSAN", "MALAYSIA"). Many languages put the street word first and the house number before it
// (Malay "Jalan", "Lorong"), which the street patterns above do not read.

// Words of streets, quarters and buildings in such a block, lower case: those of the street
// lines above of three letters or more ("road", not "c" or "st"), and these.
bool isBlockPlaceWord(const std::u16string& w);
bool isBlockStreetWord(const std::u16string& w) {
  return (w.size() >= 3 && isStreetWord(w)) || isBlockPlaceWord(w);
}
bool isBlockPlaceWord(const std::u16string& w) {
  static const std::set<std::u16string> words{
      u"jalan",      u"jln",       u"lorong",   u"lrg",      u"persiaran",
      u"lebuh",      u"lebuhraya", u"taman",    u"tmn",      u"kampung",
      u"kg",         u"bandar",    u"seksyen",  u"section",  u"medan",
      u"wisma",      u"menara",    u"kompleks", u"complex",  u"plaza",
      u"mall",       u"megamall",  u"centre",   u"center",   u"tower",
      u"building",   u"bangunan",  u"level",    u"floor",    u"flr",
      u"tingkat",    u"block",     u"blok",     u"kawasan",  u"perindustrian",
      u"industrial", u"estate",    u"park",     u"batu",     u"simpang",
      u"soi",        u"moo",       u"thanon",   u"barangay", u"purok"};
  return words.count(w) > 0;
}

// Where the house, lot or unit number ends that opens such a block, or nothing when the line
// opens none: it starts with the number ("NO 12,", "NO.LOT 24,", "22A-1,", "UNIT L1-044B,",
// "LOT P.T. 2811,", "3RD FLR,") and names a street, quarter or building.
std::optional<size_t> addressBlockOpening(std::u16string_view line) {
  const std::vector<std::u16string> words = lowerWords(line);
  if (words.empty() || !std::any_of(words.begin(), words.end(), isBlockStreetWord))
    return std::nullopt;
  size_t i = 0;
  while (i < line.size() && u_isUWhiteSpace(line[i])) ++i;
  // An opening word: "No", "Lot", "Unit", "Suite", "Shop", "Level", "Block", and "No." before one.
  static const std::set<std::u16string> kOpeners{u"no",    u"nos",  u"lot",   u"unit",
                                                 u"suite", u"shop", u"level", u"lvl",
                                                 u"block", u"blok", u"plot",  u"kedai"};
  for (int k = 0; k < 2; ++k) {
    size_t j = i;
    std::u16string w;
    while (j < line.size() && u_isalpha(line[j]))
      w.push_back(static_cast<char16_t>(u_tolower(line[j++])));
    if (w.empty() || !kOpeners.count(w)) break;
    while (j < line.size() && (line[j] == u'.' || line[j] == u':' || u_isUWhiteSpace(line[j]))) ++j;
    i = j;
  }
  // The number itself: a digit within its first six characters, after letters, "-", "." or
  // spaces ("12", "2A", "A-16-1", "L1-044B", "LG 315", "P.T. 2811"), or a floor ("3RD FLR").
  size_t at = i;
  while (at < line.size() && at < i + 6 && !isDigitUnit(line[at]) &&
         (u_isalpha(line[at]) || line[at] == u'-' || line[at] == u'.' || line[at] == u' ')) {
    ++at;
  }
  if (at >= line.size() || !isDigitUnit(line[at])) return std::nullopt;
  while (at < line.size() &&
         (u_isalnum(line[at]) || line[at] == u'-' || line[at] == u'/' || line[at] == u'.'))
    ++at;
  return at;
}

// How much of a line may stand in such a block (its end without trailing commas): all of a short
// line without a "Key:" field, an e-mail or web address or a date, or the part before a
// telephone, tax or document word ("81750 JOHOR BAHRU, JOHOR, TEL NO.: 07-387 3322"), which then
// sets `cut`; 0 when nothing may.
size_t addressBlockPart(std::u16string_view line, const AddressPatterns& p, bool& cut,
                        bool first = false) {
  cut = false;
  if (line.size() > 100 || !trimmedSpan(line, 0, line.size()).found) return 0;
  if (!first && lineStartMatch(p.field.get(), line).found) return 0;  // "NO: 28, ..." opens one
  if (line.find(u'@') != std::u16string_view::npos) return 0;
  static const std::set<std::u16string> kNotAddress{
      u"tel",   u"telephone", u"phone",   u"fax",   u"hp",     u"mobile",
      u"email", u"www",       u"http",    u"https", u"gst",    u"sst",
      u"vat",   u"invoice",   u"receipt", u"date",  u"cashier"};
  size_t end = line.size();
  std::u16string word;
  for (size_t i = 0; i <= line.size(); ++i) {
    if (i < line.size() && u_isalpha(line[i])) {
      word.push_back(static_cast<char16_t>(u_tolower(line[i])));
      continue;
    }
    if (kNotAddress.count(word)) {
      end = i - word.size();
      cut = true;
      break;
    }
    word.clear();
  }
  const std::u16string_view part = line.substr(0, trimmedSpan(line, 0, end).end);
  if (part.empty() || !findDates(part).empty()) return 0;
  return part.size();
}

// Where a postcode ends in a line from `from` on, or nothing: one the postcode pattern reads
// (but four digits and a word, as often a house number before its street), or five digits
// standing alone between commas, spaces and the ends of the line ("PETALING JAYA, 47800",
// "53200, KUALA LUMPUR").
std::optional<size_t> blockPostcodeEnd(std::u16string_view line, size_t from,
                                       const AddressPatterns& p) {
  if (from >= line.size() || !mayHoldPostcode(line.substr(from))) return std::nullopt;
  for (size_t i = from; i < line.size();) {
    if (!isDigitUnit(line[i])) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < line.size() && isDigitUnit(line[j])) ++j;
    const bool before = i == 0 || u_isUWhiteSpace(line[i - 1]) || line[i - 1] == u',';
    const bool after = j == line.size() || u_isUWhiteSpace(line[j]) || line[j] == u',' ||
                       u_isalpha(line[j]) || (line[j] == u'.' && j + 1 == line.size());
    if (j - i == 5 && before && after) return j;
    i = j;
  }
  std::optional<size_t> end;
  forEachMatchWhere(postcodePatternFor(p, line), line, addressMayStart,
                    [&](size_t s, size_t e, icu::RegexMatcher& m) {
                      if (s >= from && firstGroup(m) != kFourDigits) end = e;
                    });
  return end;
}

// Whether a line names only a state, region or country, as the last line of an address block.
bool isRegionLine(std::u16string_view line) {
  static const std::set<std::u16string> kRegions{
      u"johor",       u"kedah",    u"kelantan",   u"melaka",      u"malacca",   u"negeri",
      u"pahang",      u"penang",   u"pulau",      u"perak",       u"perlis",    u"sabah",
      u"sarawak",     u"selangor", u"terengganu", u"labuan",      u"putrajaya", u"wilayah",
      u"kuala",       u"malaysia", u"singapore",  u"indonesia",   u"brunei",    u"thailand",
      u"philippines", u"india",    u"australia",  u"england",     u"scotland",  u"wales",
      u"ireland",     u"canada",   u"germany",    u"deutschland", u"france",    u"netherlands",
      u"nederland",   u"belgium",  u"belgique",   u"switzerland", u"schweiz",   u"austria",
      u"österreich",  u"usa"};
  if (countDigits(line) > 0 || line.size() > 40) return false;
  const std::vector<std::u16string> words = lowerWords(line);
  return !words.empty() && words.size() <= 4 && kRegions.count(words.front()) > 0;
}

// The end of an address block that opens `lines` (its house number ends at `opening` in the
// first line): the last line in it and where that line's part ends, or nothing. The block runs
// over lines that may stand in it up to the first that holds a postcode, at most four lines on;
// a postcode at the end of its line ("BANDAR BUKIT RAJA, 41050") takes the town on the next line,
// and a line of state or country after the postcode belongs to it. A block without a postcode
// runs over the lines that name a street, quarter or building with one of the words above.
std::optional<std::pair<size_t, size_t>> addressBlockEnd(
    const std::vector<std::u16string_view>& lines, size_t opening, const AddressPatterns& p) {
  constexpr size_t kMaxLinesToPostcode = 4;
  const auto whole = [&](size_t j) {  // the line may stand in the block as a whole
    bool cut = false;
    return addressBlockPart(lines[j], p, cut) > 0 && !cut;
  };
  const auto regionAfter = [&](size_t j) -> std::pair<size_t, size_t> {
    if (j + 1 < lines.size() && isRegionLine(lines[j + 1]))
      return {j + 1, trimmedSpan(lines[j + 1], 0, lines[j + 1].size()).end};
    return {j, trimmedSpan(lines[j], 0, lines[j].size()).end};
  };
  std::optional<std::pair<size_t, size_t>>
      streets;  // the lines that name streets, when no postcode comes
  bool named = true;
  for (size_t j = 0; j < lines.size() && j <= kMaxLinesToPostcode; ++j) {
    bool cut = false;
    const size_t part = addressBlockPart(lines[j], p, cut, j == 0);
    if (part == 0) break;
    const std::u16string_view l = lines[j].substr(0, part);
    if (const auto code = blockPostcodeEnd(l, j == 0 ? opening : 0, p)) {
      if (cut) return std::pair{j, part};
      const bool townBelow = !trimmedSpan(l, *code, l.size()).found && j + 1 < lines.size() &&
                             whole(j + 1) && countDigits(lines[j + 1]) == 0 &&
                             lowerWords(lines[j + 1]).size() <= 6;
      return regionAfter(townBelow ? j + 1 : j);
    }
    if (cut) break;
    const std::vector<std::u16string> words = lowerWords(l);
    named = named && std::any_of(words.begin(), words.end(), isBlockPlaceWord);
    if (named) streets = std::pair{j, part};
  }
  return streets;
}

}  // namespace

namespace {

// Reads the addresses of a text line by line. Each kind of address has its step; a step that
// takes a block of lines tells the last line it took, and the reading goes on after it.
class AddressReader {
 public:
  explicit AddressReader(std::u16string_view text)
      : p_(addressPatterns()), text_(text), lines_(splitLines(text)) {}

  Matches read() {
    for (size_t k = 0; k < lines_.size(); ++k) {
      const std::u16string_view line = lineView(k);
      if (line.size() > kMaxAddressLine || line.empty()) continue;
      const std::vector<std::u16string> words = lowerWords(line);
      if (const auto last = labelledBlock(k, words)) {
        k = *last;
        continue;
      }
      if (const auto last = letterheadBlock(k)) {
        k = *last;
        continue;
      }
      if (japaneseAddress(k)) continue;
      if (countDigits(line) == 0) continue;  // streets and postcodes carry numbers
      const Span street =
          std::any_of(words.begin(), words.end(),
                      [](const std::u16string& w) { return isStreetWord(w) || isPostBoxWord(w); })
              ? firstMatch(p_.street.get(), line, addressMayStart)
              : Span{};
      const Span code = mayHoldPostcode(line)
                            ? lastMatch(postcodePatternFor(p_, line), line, addressMayStart)
                            : Span{};
      if (street.found) {
        k = streetLine(k, street, code);
      } else if (code.found) {
        postcodeLine(k, code);
      }
    }
    return withoutOverlaps(std::move(found_));
  }

 private:
  std::u16string_view lineView(size_t k) const {
    return text_.substr(lines_[k].begin, lines_[k].end - lines_[k].begin);
  }

  // An address from `begin` in line `firstLine` to `end` in line `lastLine`.
  void add(size_t firstLine, size_t begin, size_t lastLine, size_t end) {
    const size_t from = lines_[firstLine].begin + begin, to = lines_[lastLine].begin + end;
    if (to > from) found_.push_back({from, to - from, kResultTypeAddress});
  }

  // "Address: ..." and the lines that follow it, up to a postcode, a blank line or a field.
  // Nothing when line `k` (of lower-case `words`) holds no such label.
  std::optional<size_t> labelledBlock(size_t k, const std::vector<std::u16string>& words) {
    const std::u16string_view line = lineView(k);
    const bool mayBeLabel = line.find(u':') != std::u16string_view::npos ||
                            line.find(u'\uFF1A') != std::u16string_view::npos;
    if (!mayBeLabel || !std::any_of(words.begin(), words.end(), isAddressLabelWord)) return {};
    const Span label = lineStartMatch(p_.label.get(), line);
    if (!label.found) return {};
    size_t first = k, begin = label.end;
    if (!trimmedSpan(line, begin, line.size()).found) {
      // The address is on the next line, unless that is another field.
      if (k + 1 >= lines_.size() || lineStartMatch(p_.field.get(), lineView(k + 1)).found) {
        return k;
      }
      first = k + 1;
      begin = 0;
    }
    size_t last = first, end = line.size();
    for (size_t j = first; j < lines_.size() && j < first + kMaxBlockLines; ++j) {
      const std::u16string_view l = lineView(j);
      if (!trimmedSpan(l, 0, l.size()).found || l.size() > kMaxAddressLine) break;
      if (j > first && (lineStartMatch(p_.field.get(), l).found || !mayContinueAddress(l, p_)))
        break;
      last = j;
      end = trimmedSpan(l, 0, l.size()).end;
      if (mayHoldPostcode(l) && lastMatch(postcodePatternFor(p_, l), l, addressMayStart).found)
        break;
    }
    const Span start = trimmedSpan(lineView(first), begin, lineView(first).size());
    if (start.found) add(first, start.begin, last, end);
    return last;
  }

  // A Japanese address: the postal mark, the code ("〒100-0001", digits of either width) and the
  // rest of the line, which names prefecture, city, district and block without spaces. False
  // when line `k` holds none.
  bool japaneseAddress(size_t k) {
    const std::u16string_view line = lineView(k);
    const size_t mark = line.find(u'\u3012');
    if (mark == std::u16string_view::npos) return false;
    size_t i = mark + 1;
    while (i < line.size() && u_isUWhiteSpace(line[i])) ++i;
    const auto digits = [&](size_t n) {
      for (size_t d = 0; d < n; ++d, ++i) {
        if (i >= line.size() || !u_isdigit(line[i])) return false;
      }
      return true;
    };
    if (!digits(3) || i >= line.size() || (line[i] != u'-' && line[i] != u'\uFF0D')) return false;
    ++i;
    if (!digits(4) || (i < line.size() && u_isdigit(line[i]))) return false;
    const Span whole = trimmedSpan(line, mark, line.size());
    add(k, whole.begin, k, whole.end);
    return true;
  }

  // A block of address lines under a letterhead, from its street to its postcode, opening at
  // line `k`; nothing when none does.
  std::optional<size_t> letterheadBlock(size_t k) {
    const std::u16string_view line = lineView(k);
    const auto opening = countDigits(line) > 0 ? addressBlockOpening(line) : std::nullopt;
    if (!opening) return {};
    std::vector<std::u16string_view> following;
    for (size_t j = k; j < lines_.size() && j < k + kMaxBlockLines; ++j) {
      following.push_back(lineView(j));
    }
    const auto end = addressBlockEnd(following, *opening, p_);
    if (!end) return {};
    add(k, trimmedSpan(line, 0, line.size()).begin, k + end->first, end->second);
    return k + end->first;
  }

  // A street line, with its postcode (`code`, perhaps not found) on the same line or the next,
  // or its town after a comma. The last line taken.
  size_t streetLine(size_t k, const Span& street, const Span& code) {
    const std::u16string_view line = lineView(k);
    if (code.found && code.end > street.end) {
      add(k, street.begin, k, code.end);
      return k;
    }
    if (k + 1 < lines_.size()) {
      const std::u16string_view next = lineView(k + 1);
      const Span nextCode = next.size() <= kMaxAddressLine && mayHoldPostcode(next)
                                ? lastMatch(postcodePatternFor(p_, next), next, addressMayStart)
                                : Span{};
      if (nextCode.found) {
        add(k, street.begin, k + 1, nextCode.end);
        return k + 1;
      }
    }
    // "12 Baker Street, London": the rest of the line after a comma names the town, up to
    // the end of a sentence ("I moved to 12 Oxford Road, Leeds. The office ...").
    const Span rest = trimmedSpan(line, street.end, townEnd(line, street.end));
    const std::u16string_view town = line.substr(rest.begin, rest.end - rest.begin);
    if (rest.found && town[0] == u',' && countDigits(town) == finalCodeDigits(town) &&
        wordCount(town) <= kMaxTownWords) {
      add(k, street.begin, k, rest.end);
    } else {
      add(k, street.begin, k, street.end);
    }
    return k;
  }

  // A postcode line on its own: "London NW1 6XE", "10115 Berlin", "Springfield, IL 62704".
  // The place before the code holds no field and no other number but a house number that opens
  // the line, and a bare "PIN 411001" names no place.
  void postcodeLine(size_t k, const Span& code) {
    const std::u16string_view line = lineView(k);
    const std::u16string_view before = line.substr(0, code.begin);
    if (line.size() > 60) {
      // A whole address on one line, as Aadhaar cards print it: parts apart by commas up to
      // the postcode ("S/O Ramesh Kumar, House No 45, Ward 7, Village Rampur, Dist. Meerut,
      // Uttar Pradesh - 250001").
      if (addressOnOneLine(before) && !trimmedSpan(line, code.end, line.size()).found) {
        const Span whole = trimmedSpan(line, 0, code.end);
        add(k, whole.begin, k, whole.end);
      }
      return;
    }
    // Before a US ZIP, a UK postcode or a Canadian code, the house number and a street without
    // a street word may come first ("1 Infinite Loop Cupertino CA 95014").
    size_t number = 0;
    while (number < before.size() && number < 5 && isDigitUnit(before[number])) ++number;
    const bool houseNumberFirst =
        number > 0 && number < before.size() && before[number] == u' ' &&
        countDigits(before) == number &&
        (code.group == kUsZip || code.group == kUkPostcode || code.group == kCanadianPostcode);
    const bool placeOnly = before.find(u':') == std::u16string_view::npos &&
                           before.find(u'\uFF1A') == std::u16string_view::npos &&
                           (countDigits(before) == 0 || houseNumberFirst);
    const Span whole = trimmedSpan(line, 0, code.end);
    const bool atStart = !trimmedSpan(line, 0, code.begin).found;
    const bool barePin = atStart && (line[code.begin] == u'P' || line[code.begin] == u'p');
    // A 5-digit or Dutch code stands before its place ("10115 Berlin"): elsewhere it is any
    // number. Four digits and a word alone are as often a year ("1985 Bordeaux"), so they count
    // only beside a street.
    const bool codeInside = (code.group == kFiveDigits || code.group == kDutchPostcode) && !atStart;
    // So are scores and ranges ("10-150 Points"), and a Canadian code without its province is
    // as often a model's or part's number ("K9X 4T2").
    const bool bareCanadian = code.group == kCanadianPostcode && code.end - code.begin <= 7;
    // An Eircode alone is as often a part's number ("A12 C345"); after places apart by commas
    // ("Main Street, Ballincollig, Co. Cork P31 X2K8") it ends an address written on one line.
    const bool bareEircode =
        code.group == kEircode && before.find(u',') == std::u16string_view::npos;
    const bool besideStreetOnly = code.group == kFourDigits || code.group == kHyphenatedPostcode ||
                                  code.group == kBrazilianPostcode ||
                                  code.group == kTownAndFiveDigits ||
                                  code.group == kSpacedPostcode || bareCanadian || bareEircode;
    if (placeOnly && !barePin && !codeInside && !besideStreetOnly && whole.found) {
      add(k, whole.begin, k, code.end);
    }
  }

  const AddressPatterns& p_;
  std::u16string_view text_;
  std::vector<Line> lines_;
  Matches found_;
};

}  // namespace

Matches findAddresses(std::u16string_view text) { return AddressReader(text).read(); }

void prepareAddressPatterns() { addressPatterns(); }

}  // namespace marrowfen::entities
