#include "entities/data_detector.h"

#include <phonenumbers/phonenumbermatch.h>
#include <phonenumbers/phonenumbermatcher.h>
#include <phonenumbers/phonenumberutil.h>
#include <unicode/dtfmtsym.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <unordered_map>
#include <map>
#include <optional>
#include <set>

#include "common/unicode.h"

namespace marrowfen::entities {
namespace {

// One line of the text: [begin, end) in UTF-16 units, without its line break.
struct Line {
  size_t begin = 0;
  size_t end = 0;
};

std::vector<Line> splitLines(std::u16string_view text) {
  std::vector<Line> lines;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (isLineBreak(text[i])) {
      lines.push_back({start, i});
      if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;  // CR LF
      start = i + 1;
    }
  }
  lines.push_back({start, text.size()});
  return lines;
}

size_t countDigits(std::u16string_view s) {
  return static_cast<size_t>(std::count_if(s.begin(), s.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; }));
}

bool isDigitUnit(char16_t c) { return c >= u'0' && c <= u'9'; }

// The lower-cased letter runs of a line: a cheap test for the words a pattern needs, so that the
// patterns run only on the few lines that can match.
std::vector<std::u16string> lowerWords(std::u16string_view line) {
  std::vector<std::u16string> words;
  std::u16string word;
  for (char16_t c : line) {
    if (u_isalpha(c) || (c >= 0xD800 && c <= 0xDFFF)) {
      word.push_back(static_cast<char16_t>(u_tolower(c)));
    } else if (!word.empty()) {
      words.push_back(std::move(word));
      word.clear();
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

// Whether any word of lowerWords(line) passes `wanted`, without holding the line's words: a
// line can be a whole file long.
template <typename Wanted>
bool anyLowerWord(std::u16string_view line, const Wanted& wanted) {
  std::u16string word;
  for (size_t i = 0; i <= line.size(); ++i) {
    const char16_t c = i < line.size() ? line[i] : u' ';
    if (u_isalpha(c) || (c >= 0xD800 && c <= 0xDFFF)) {
      word.push_back(static_cast<char16_t>(u_tolower(c)));
    } else if (!word.empty()) {
      if (wanted(word)) return true;
      word.clear();
    }
  }
  return false;
}

// A digit, one of "." "/" "-", and a digit: the core of every numeric date.
bool hasNumericDateShape(std::u16string_view line) {
  for (size_t i = 1; i + 1 < line.size(); ++i) {
    const char16_t c = line[i];
    if ((c == u'.' || c == u'/' || c == u'-') && isDigitUnit(line[i - 1]) && isDigitUnit(line[i + 1])) {
      return true;
    }
  }
  return false;
}

bool endsWith(const std::u16string& word, std::u16string_view suffix) {
  return word.size() >= suffix.size() && std::u16string_view(word).substr(word.size() - suffix.size()) == suffix;
}

icu::UnicodeString aliasOf(std::u16string_view s) {
  // Read-only alias: no copy of the text.
  return icu::UnicodeString(false, s.data(), static_cast<int32_t>(s.size()));
}

std::unique_ptr<icu::RegexPattern> compile(const icu::UnicodeString& pattern, uint32_t flags = 0) {
  UErrorCode status = U_ZERO_ERROR;
  UParseError parseError;
  std::unique_ptr<icu::RegexPattern> p(icu::RegexPattern::compile(pattern, flags, parseError, status));
  return U_SUCCESS(status) ? std::move(p) : nullptr;
}

// Calls `found(start, end, matcher)` for each match of `pattern` in `line` (UTF-16 offsets in
// the line).
template <typename Found>
void forEachMatch(const icu::RegexPattern* pattern, const icu::UnicodeString& line, Found found) {
  if (!pattern) return;
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::RegexMatcher> m(pattern->matcher(line, status));
  if (U_FAILURE(status)) return;
  while (m->find(status) && U_SUCCESS(status)) {
    found(static_cast<size_t>(m->start(status)), static_cast<size_t>(m->end(status)), *m);
  }
}

std::u16string groupText(icu::RegexMatcher& m, int group) {
  UErrorCode status = U_ZERO_ERROR;
  if (m.start(group, status) < 0) return {};
  icu::UnicodeString g = m.group(group, status);
  return std::u16string(g.getBuffer(), static_cast<size_t>(g.length()));
}

int toNumber(std::u16string_view digits) {
  int n = 0;
  for (char16_t c : digits) n = n * 10 + (c - u'0');
  return n;
}

// Keeps, among overlapping matches, the one that starts first (the longer one on a tie).
Matches withoutOverlaps(Matches matches) {
  std::sort(matches.begin(), matches.end(), [](const DetectorMatch& a, const DetectorMatch& b) {
    return a.location != b.location ? a.location < b.location : a.length > b.length;
  });
  Matches out;
  for (const DetectorMatch& m : matches) {
    if (!out.empty() && m.location < out.back().location + out.back().length) continue;
    out.push_back(m);
  }
  return out;
}

[[maybe_unused]] bool overlaps(const DetectorMatch& a, const DetectorMatch& b) {
  return a.location < b.location + b.length && b.location < a.location + a.length;
}

// ---------------------------------------------------------------------------------------------
// Dates

bool isValidDate(int day, int month, std::optional<int> year) {
  if (month < 1 || month > 12 || day < 1) return false;
  static constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (day > kDays[month - 1]) return false;
  if (month == 2 && day == 29 && year) {
    const int y = *year;
    if (!((y % 4 == 0 && y % 100 != 0) || y % 400 == 0)) return false;
  }
  return true;
}

// Years as written: two digits, or four from 1800 to 2199.
std::optional<int> readYear(std::u16string_view digits) {
  if (digits.size() == 2) return 2000 + toNumber(digits);  // the century only matters for 29 Feb
  if (digits.size() == 4) {
    const int y = toNumber(digits);
    if (y >= 1800 && y <= 2199) return y;
  }
  return std::nullopt;
}

struct MonthNames {
  std::map<std::u16string, int> number;  // lower-case name or abbreviation -> 1..12
  std::set<std::u16string> full;         // the wide names
  icu::UnicodeString alternation;        // all names, longest first, for a pattern
  icu::UnicodeString fullAlternation;    // the wide names only
};

icu::UnicodeString quoteForPattern(const std::u16string& s) {
  icu::UnicodeString out;
  for (char16_t c : s) {
    if (u_isalpha(c)) {
      out.append(c);
    } else {
      out.append(u'\\');
      out.append(c);
    }
  }
  return out;
}

const MonthNames& monthNames() {
  static const MonthNames names = [] {
    MonthNames n;
    const char* locales[] = {"en", "de", "fr", "es", "it", "pt", "nl"};
    auto add = [&](const icu::UnicodeString& name, int month, bool full) {
      icu::UnicodeString s(name);
      s.toLower(icu::Locale::getRoot());
      while (s.length() > 0 && s.charAt(s.length() - 1) == u'.') s.truncate(s.length() - 1);
      if (s.length() < 3) return;
      std::u16string key(s.getBuffer(), static_cast<size_t>(s.length()));
      n.number.emplace(key, month);
      if (full) n.full.insert(key);
    };
    for (const char* locale : locales) {
      UErrorCode status = U_ZERO_ERROR;
      icu::DateFormatSymbols symbols(icu::Locale(locale), status);
      if (U_FAILURE(status)) continue;
      for (auto context : {icu::DateFormatSymbols::FORMAT, icu::DateFormatSymbols::STANDALONE}) {
        for (auto width : {icu::DateFormatSymbols::WIDE, icu::DateFormatSymbols::ABBREVIATED}) {
          int32_t count = 0;
          const icu::UnicodeString* months = symbols.getMonths(count, context, width);
          for (int32_t i = 0; i < count && i < 12; ++i) {
            add(months[i], i + 1, width == icu::DateFormatSymbols::WIDE);
          }
        }
      }
    }
    // Common forms the locale data does not list.
    add(u"sept", 9, false);
    add(u"sep", 9, false);
    std::vector<std::u16string> all;
    for (const auto& [name, month] : n.number) all.push_back(name);
    std::sort(all.begin(), all.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
    for (const auto& name : all) {
      if (!n.alternation.isEmpty()) n.alternation.append(u'|');
      n.alternation.append(quoteForPattern(name));
      if (n.full.count(name)) {
        if (!n.fullAlternation.isEmpty()) n.fullAlternation.append(u'|');
        n.fullAlternation.append(quoteForPattern(name));
      }
    }
    return n;
  }();
  return names;
}

struct DatePatterns {
  std::unique_ptr<icu::RegexPattern> numeric, dayMonth, monthDay, monthYear, ordinalDayMonth;
};

// English ordinal numbers of the days of a month ("fourth", "twenty-first"), as certificates write
// dates out in words: "Fourth June 1990", "the twenty-first day of March 2001".
const std::vector<std::u16string>& dayOrdinals() {
  static const std::vector<std::u16string> ordinals = [] {
    const std::u16string units[] = {u"first", u"second", u"third", u"fourth", u"fifth",
                                    u"sixth", u"seventh", u"eighth", u"ninth"};
    std::vector<std::u16string> o(units, units + 9);
    for (const char16_t* w : {u"tenth", u"eleventh", u"twelfth", u"thirteenth", u"fourteenth", u"fifteenth",
                              u"sixteenth", u"seventeenth", u"eighteenth", u"nineteenth", u"twentieth"}) {
      o.emplace_back(w);
    }
    for (const auto& u : units) o.push_back(u"twenty " + u);
    o.emplace_back(u"thirtieth");
    o.emplace_back(u"thirty first");
    return o;
  }();
  return ordinals;
}

// The day of an ordinal matched by the pattern (its words apart by spaces or hyphens), or 0.
int dayOfOrdinal(std::u16string_view matched) {
  std::u16string key;
  for (const std::u16string& w : lowerWords(matched)) {
    if (!key.empty()) key += u' ';
    key += w;
  }
  const auto& o = dayOrdinals();
  const auto it = std::find(o.begin(), o.end(), key);
  return it == o.end() ? 0 : static_cast<int>(it - o.begin()) + 1;
}

const DatePatterns& datePatterns() {
  static const DatePatterns patterns = [] {
    const MonthNames& names = monthNames();
    const icu::UnicodeString sp(u"[ \\t\\u00A0]");
    const icu::UnicodeString months = icu::UnicodeString(u"(") + names.alternation + u")";
    DatePatterns p;
    p.numeric = compile(
        u"(?<![\\p{L}\\p{N}.,/:+\\-])(\\d{1,4})([./\\-])(\\d{1,2})\\2(\\d{1,4})"
        u"(?![\\p{L}\\p{N}]|[./\\-:,]\\p{N})");
    p.dayMonth = compile(
        icu::UnicodeString(u"(?<![\\p{L}\\p{N}])(\\d{1,2})(?:st|nd|rd|th|er|\\.)?(?:") + sp +
            u"*[\\-./]?" + sp + u"*|" + sp + u"+(?:of|de|del)" + sp + u"+)" + months +
            u"\\.?(?![\\p{L}])(?:(?:,?" + sp + u"*[\\-./]?" + sp + u"*|" + sp + u"+(?:de|del)" +
            sp + u"+)(\\d{4}|\\d{2}(?!\\d)))?(?![\\p{L}\\p{N}])",
        UREGEX_CASE_INSENSITIVE);
    p.monthDay = compile(icu::UnicodeString(u"(?<![\\p{L}\\p{N}])") + months + u"\\.?" + sp +
                             u"+(\\d{1,2})(?:st|nd|rd|th)?(?![\\p{L}\\p{N}])(?:,?" + sp +
                             u"+(\\d{4})(?![\\p{L}\\p{N}]))?",
                         UREGEX_CASE_INSENSITIVE);
    p.monthYear = compile(icu::UnicodeString(u"(?<![\\p{L}\\p{N}])(") + names.fullAlternation +
                              u")" + sp + u"+(\\d{4})(?![\\p{L}\\p{N}])",
                          UREGEX_CASE_INSENSITIVE);
    // Compounds first, so that "twenty first" is not read as far as "twenty" only.
    icu::UnicodeString ordinals;
    const auto& words = dayOrdinals();
    for (auto it = words.rbegin(); it != words.rend(); ++it) {
      icu::UnicodeString word(it->data(), static_cast<int32_t>(it->size()));
      word.findAndReplace(u" ", u"[ \\-]+");
      if (!ordinals.isEmpty()) ordinals += u"|";
      ordinals += word;
    }
    p.ordinalDayMonth = compile(icu::UnicodeString(u"(?<![\\p{L}\\p{N}])(") + ordinals + u")(?:" + sp +
                                    u"+day)?(?:" + sp + u"+of)?" + sp + u"+" + months + u",?" + sp +
                                    u"+(\\d{4})(?![\\p{L}\\p{N}])",
                                UREGEX_CASE_INSENSITIVE);
    return p;
  }();
  return patterns;
}

std::optional<int> monthNumber(std::u16string name, bool& full) {
  icu::UnicodeString s(name.data(), static_cast<int32_t>(name.size()));
  s.toLower(icu::Locale::getRoot());
  const std::u16string key(s.getBuffer(), static_cast<size_t>(s.length()));
  const MonthNames& names = monthNames();
  const auto it = names.number.find(key);
  if (it == names.number.end()) return std::nullopt;
  full = names.full.count(key) > 0;
  return it->second;
}

bool numericDateIsValid(icu::RegexMatcher& m) {
  const std::u16string a = groupText(m, 1), sep = groupText(m, 2), b = groupText(m, 3),
                       c = groupText(m, 4);
  if (a.size() == 4) {  // y-m-d
    const auto year = readYear(a);
    return year && c.size() <= 2 && isValidDate(toNumber(c), toNumber(b), year);
  }
  if (a.size() > 2 || (c.size() != 2 && c.size() != 4)) return false;
  const auto year = readYear(c);
  if (!year) return false;
  // "1.2.10" reads like a version number and "12-3-45" like a house number; dates with a short
  // year and these separators are written 01.02.10.
  if ((sep == u"." || sep == u"-") && c.size() == 2 && (a.size() < 2 || b.size() < 2)) return false;
  return isValidDate(toNumber(a), toNumber(b), year) || isValidDate(toNumber(b), toNumber(a), year);
}

}  // namespace

Matches findDates(std::u16string_view text) {
  const DatePatterns& p = datePatterns();
  Matches found;
  for (const Line& line : splitLines(text)) {
    const std::u16string_view lineText = text.substr(line.begin, line.end - line.begin);
    if (countDigits(lineText) == 0) continue;  // every date form holds a digit
    const icu::UnicodeString u = aliasOf(lineText);
    const bool monthWord = anyLowerWord(lineText, [](const std::u16string& w) {
      return monthNames().number.count(w) > 0;
    });
    const auto add = [&](size_t start, size_t end) {
      found.push_back({line.begin + start, end - start, kResultTypeDate});
    };
    if (hasNumericDateShape(lineText)) {
      forEachMatch(p.numeric.get(), u, [&](size_t s, size_t e, icu::RegexMatcher& m) {
        if (numericDateIsValid(m)) add(s, e);
      });
    }
    if (!monthWord) continue;
    forEachMatch(p.dayMonth.get(), u, [&](size_t s, size_t e, icu::RegexMatcher& m) {
      bool full = false;
      const auto month = monthNumber(groupText(m, 2), full);
      const std::u16string y = groupText(m, 3);
      const auto year = y.empty() ? std::nullopt : readYear(y);
      if (!month || (!y.empty() && !year) || (y.empty() && !full)) return;
      if (isValidDate(toNumber(groupText(m, 1)), *month, year)) add(s, e);
    });
    forEachMatch(p.monthDay.get(), u, [&](size_t s, size_t e, icu::RegexMatcher& m) {
      bool full = false;
      const auto month = monthNumber(groupText(m, 1), full);
      const std::u16string y = groupText(m, 3);
      const auto year = y.empty() ? std::nullopt : readYear(y);
      if (!month || (!y.empty() && !year) || (y.empty() && !full)) return;
      if (isValidDate(toNumber(groupText(m, 2)), *month, year)) add(s, e);
    });
    forEachMatch(p.ordinalDayMonth.get(), u, [&](size_t s, size_t e, icu::RegexMatcher& m) {
      bool full = false;
      const auto month = monthNumber(groupText(m, 2), full);
      const auto year = readYear(groupText(m, 3));
      if (month && year && isValidDate(dayOfOrdinal(groupText(m, 1)), *month, year)) add(s, e);
    });
    forEachMatch(p.monthYear.get(), u, [&](size_t s, size_t e, icu::RegexMatcher& m) {
      if (readYear(groupText(m, 2))) add(s, e);
    });
  }
  return withoutOverlaps(std::move(found));
}

// ---------------------------------------------------------------------------------------------
// Phone numbers

namespace {

// Whether a phone-number match is really one of the numbers documents print that are not phones.
bool isExcludedNumber(std::string_view raw) {
  size_t digits = 0;
  std::vector<size_t> groups;
  bool inGroup = false;
  for (char c : raw) {
    if (c >= '0' && c <= '9') {
      ++digits;
      if (!inGroup) groups.push_back(0);
      ++groups.back();
      inGroup = true;
    } else {
      inGroup = false;
    }
  }
  const bool international = !raw.empty() && (raw[0] == '+' || raw.substr(0, 2) == "00");
  if (digits < 7) return true;  // PIN and postal codes, extensions, short codes
  if (!international && digits == 12) {
    // Aadhaar numbers: twelve digits, written whole or as 4-4-4.
    if (groups.size() == 1 || (groups.size() == 3 && groups[0] == 4 && groups[1] == 4)) return true;
  }
  return false;
}

// A run of digits and separators that is a numeric date or a 4-4-4 Aadhaar number: the matcher
// would drop it anyway, at a cost.
bool looksLikeDateOrAadhaar(std::u16string_view run) {
  while (!run.empty() && !isDigitUnit(run.back())) run.remove_suffix(1);
  std::vector<size_t> groups;
  std::u16string separators;
  bool inGroup = false;
  for (char16_t c : run) {
    if (isDigitUnit(c)) {
      if (!inGroup) groups.push_back(0);
      ++groups.back();
      inGroup = true;
    } else {
      if (inGroup) separators.push_back(c);
      inGroup = false;
    }
  }
  if (groups.size() == 3 && separators.size() == 2 && separators[0] == separators[1] &&
      (separators[0] == u'/' || separators[0] == u'.' || separators[0] == u'-')) {
    const bool ymd = groups[0] == 4 && groups[1] <= 2 && groups[2] <= 2;
    const bool dmy = groups[0] <= 2 && groups[1] <= 2 && (groups[2] == 2 || groups[2] == 4);
    if (ymd || dmy) return true;
  }
  const bool plain = !run.empty() && run[0] != u'+' && run[0] != u'(';
  return plain && groups.size() == 3 && groups[0] == 4 && groups[1] == 4 && groups[2] == 4;
}

// Whether `matches` hold one that spans from the first to the last digit of `run` (at `at`).
bool coversRun(const Matches& matches, size_t at, std::u16string_view run) {
  size_t first = 0, last = run.size();
  while (first < last && !isDigitUnit(run[first])) ++first;
  while (last > first && !isDigitUnit(run[last - 1])) --last;
  return std::any_of(matches.begin(), matches.end(), [&](const DetectorMatch& m) {
    return m.location <= at + first && m.location + m.length >= at + last;
  });
}

const char* const kRegions[] = {"IN", "US", "GB", "DE", "FR"};

// The matcher's work on one text is bounded: past this many matcher runs (a text with tens of
// thousands of number-shaped pieces is a table of figures) the rest of the text is not searched.
constexpr size_t kMatcherBudget = 10000;

// The phone numbers in `snippet` (UTF-16 units within it), found with the regions in turn until
// one reads the whole run at `runAt`. Counts matcher runs into `matcherRuns`.
Matches matchSnippet(std::u16string_view snippet, size_t runAt, std::u16string_view run,
                     size_t& matcherRuns) {
  using i18n::phonenumbers::PhoneNumberMatch;
  using i18n::phonenumbers::PhoneNumberMatcher;
  using i18n::phonenumbers::PhoneNumberUtil;
  const PhoneNumberUtil& util = *PhoneNumberUtil::GetInstance();
  const std::string utf8 = toUtf8(snippet);
  // The UTF-16 offset of each UTF-8 byte offset: the matcher counts bytes.
  std::vector<size_t> unitOfByte(utf8.size() + 1, 0);
  size_t unit = 0;
  for (size_t b = 0; b < utf8.size();) {
    const size_t start = b;
    const char32_t c = nextScalar(utf8, b);
    for (size_t k = start; k < b; ++k) unitOfByte[k] = unit;
    unit += c >= 0x10000 ? 2 : 1;
  }
  unitOfByte[utf8.size()] = unit;
  Matches matches;
  const bool international = !run.empty() && run[0] == u'+';
  for (const char* region : kRegions) {
    ++matcherRuns;
    PhoneNumberMatcher matcher(util, utf8, region, PhoneNumberMatcher::VALID, 10);
    PhoneNumberMatch match;
    while (matcher.HasNext() && matcher.Next(&match)) {
      const std::string& raw = match.raw_string();
      if (isExcludedNumber(raw)) continue;
      const auto start = static_cast<size_t>(match.start());
      const size_t stop = start + raw.size();
      if (stop > utf8.size()) continue;
      matches.push_back({unitOfByte[start], unitOfByte[stop] - unitOfByte[start], kResultTypePhoneNumber});
    }
    // An international number reads the same in every region, and a region that reads the
    // whole run leaves nothing for the others.
    if (international || coversRun(matches, runAt, run)) break;
  }
  return withoutOverlaps(std::move(matches));
}

}  // namespace

Matches findPhoneNumbers(std::u16string_view text) {
  Matches found;
  // Matches of each snippet already read (documents repeat their numbers), within the snippet.
  std::unordered_map<std::u16string, Matches> cache;
  constexpr size_t kMaxCached = 10000;
  size_t matcherRuns = 0;
  const auto isNumberUnit = [](char16_t c) {
    return isDigitUnit(c) || c == u'+' || c == u'(' || c == u')' || c == u'-' || c == u'.' ||
           c == u'/' || c == u' ' || c == 0xA0;
  };
  const auto isSpace = [](char16_t c) { return c == u' ' || c == 0xA0; };
  for (const Line& line : splitLines(text)) {
    const std::u16string_view lineText = text.substr(line.begin, line.end - line.begin);
    if (countDigits(lineText) < 7) continue;
    // The matcher runs only on runs of digits and phone punctuation with at least 7 digits (and
    // a few characters on either side, which it looks at to tell a number from part of a word).
    for (size_t i = 0; i < lineText.size();) {
      if (!isDigitUnit(lineText[i]) && lineText[i] != u'+' && lineText[i] != u'(') {
        ++i;
        continue;
      }
      // A "+" starts a number, so it also ends the run before it.
      const size_t runStart0 = i;
      size_t end = i;
      while (end < lineText.size() && isNumberUnit(lineText[end]) &&
             !(lineText[end] == u'+' && end > i) &&
             !(isSpace(lineText[end]) && end + 1 < lineText.size() && isSpace(lineText[end + 1]))) {
        ++end;
      }
      const size_t runEnd = end;
      i = std::max(runEnd, i + 1);
      // Digits that follow a letter without a break are the tail of a code, not a phone
      // number: an IBAN ("DE89 3704 0044 0532 0130 00"), a document number ("AB1234567").
      if (runStart0 > 0 && isDigitUnit(lineText[runStart0]) && u_isalpha(lineText[runStart0 - 1])) continue;
      // A run may hold several numbers, or a table of figures: the matcher sees it in pieces of
      // at most 6 digit groups and as many digits as a phone number has (13 written nationally,
      // 16 after a "+"), cut where a group would go past either.
      for (size_t pieceStart = runStart0; pieceStart < runEnd;) {
        const bool plus = lineText[pieceStart] == u'+';
        const size_t maxDigits = plus ? 16 : 13;
        size_t digits = 0, groups = 0, pieceEnd = pieceStart, at = pieceStart;
        size_t nextStart = runEnd;
        while (at < runEnd) {
          if (!isDigitUnit(lineText[at])) {
            ++at;
            continue;
          }
          size_t g = at;
          while (g < runEnd && isDigitUnit(lineText[g])) ++g;
          if (groups > 0 && (digits + (g - at) > maxDigits || groups == 6)) {
            // The next piece starts at this group, or at the bracket just before it.
            nextStart = at > pieceEnd && lineText[at - 1] == u'(' ? at - 1 : at;
            break;
          }
          digits += g - at;
          ++groups;
          pieceEnd = g;
          at = g;
        }
        const size_t runStart = pieceStart;
        const size_t end = pieceEnd;
        pieceStart = nextStart > pieceStart ? nextStart : runEnd;
        const std::u16string_view run = lineText.substr(runStart, end - runStart);
        if (digits < 7 || digits > maxDigits || looksLikeDateOrAadhaar(run)) continue;
        // Up to 3 characters of context on either side, but no digit of a neighbouring piece.
        constexpr size_t kContext = 3;
        size_t from = runStart, to = end;
        while (from > 0 && runStart - from < kContext && !isDigitUnit(lineText[from - 1])) --from;
        while (to < lineText.size() && to - end < kContext && !isDigitUnit(lineText[to])) ++to;
        const std::u16string_view snippet = lineText.substr(from, to - from);
        const std::u16string_view runInSnippet = run;
        const size_t runAt = runStart - from;
        std::u16string key(snippet);
        key.push_back(static_cast<char16_t>(runAt));
        auto cached = cache.find(key);
        if (cached == cache.end()) {
          if (matcherRuns >= kMatcherBudget) return found;
          if (cache.size() > kMaxCached) cache.clear();
          cached = cache.emplace(std::move(key), matchSnippet(snippet, runAt, runInSnippet, matcherRuns)).first;
        }
        for (const DetectorMatch& m : cached->second) {
          const size_t location = line.begin + from + m.location;
          if (found.empty() || location >= found.back().location + found.back().length) {
            found.push_back({location, m.length, kResultTypePhoneNumber});
          }
        }
      }
    }
  }
  return found;
}

// ---------------------------------------------------------------------------------------------
// Postal addresses

namespace {

struct AddressPatterns {
  std::unique_ptr<icu::RegexPattern> label, street, postcode, field;
};

const AddressPatterns& addressPatterns() {
  static const AddressPatterns patterns = [] {
    AddressPatterns p;
    const icu::UnicodeString streetWords(
        u"street|st|road|rd|avenue|ave|av|lane|ln|drive|dr|boulevard|blvd|way|court|ct|place|pl|"
        u"square|sq|terrace|close|crescent|highway|hwy|parkway|circle|row|mews|gardens|grove|"
        u"marg|nagar|colony|chowk|gali|sector|layout|cross|main|enclave|vihar|bagh|puram|"
        u"rue|bd|allée|chemin|impasse|quai|cours|via|viale|piazza|corso|largo|calle|avenida|"
        u"avda|plaza|paseo|carrera|rua|travessa|praça|alameda|straat|laan|weg|plein|gracht|kade|"
        u"singel");
    // Languages that put the street word first: "Via Roma 10", "Calle Mayor 5", "Rua Augusta 100".
    const icu::UnicodeString leadingStreetWords(
        u"via|viale|piazza|corso|largo|calle|c/|avenida|avda|plaza|paseo|carrera|rua|travessa|"
        u"praça|alameda|avenue|boulevard|rue|place");
    const icu::UnicodeString germanSuffix(
        u"(?:straße|strasse|str\\.|weg|gasse|platz|allee|ring|damm|ufer|chaussee|straat|laan|"
        u"gracht|plein|kade|singel|steenweg)");
    // Words of a street's name: capitalised, or the small words inside names.
    const icu::UnicodeString nameWord(
        u"(?:(?-i:\\p{Lu})[\\p{L}.'\\-]*|de|la|le|du|des|of|the|di|del|della|dos|das|do|da|van|von)");
    p.label = compile(
        u"^[ \\t\\u00A0]*(?:[\\p{L}']+[ \\t\\u00A0]+){0,2}(?:address|addr|adresse|anschrift|"
        u"dirección|direccion|domicilio|indirizzo|morada|endereço|adres|adresa)"
        u"(?:[ \\t\\u00A0]+(?:line[ \\t\\u00A0]*\\d|of[ \\t\\u00A0]+\\p{L}+))?[ \\t\\u00A0]*[:\\uFF1A]"
        u"[ \\t\\u00A0]*",
        UREGEX_CASE_INSENSITIVE);
    // A house number, up to five name words and a street word; a leading street word, name words
    // and a number; or a German or Dutch compound with a number ("Hauptstraße 5").
    p.street = compile(
        icu::UnicodeString(u"(?<![\\p{L}\\p{N}])(?:") +
            u"(?:(?:flat|house|h\\.?|plot|door|apt|unit)[ \\t\\u00A0.]*(?:no\\.?)?[ \\t\\u00A0:]*)?"
            u"\\d{1,5}[A-Za-z]?(?:[\\-/]\\d{1,5}[A-Za-z]?)*,?[ \\t\\u00A0]+"
            u"(?:" + nameWord + u",?[ \\t\\u00A0]+){0,5}(?:" + streetWords + u")\\.?(?![\\p{L}])"
            u"|(?=(?-i:\\p{Lu}))(?:" + leadingStreetWords + u")[ \\t\\u00A0]+(?:" + nameWord +
            u"[ \\t\\u00A0]+){0,4}\\d{1,5}[A-Za-z]?(?![\\p{L}\\p{N}])"
            u"|(?-i:\\p{Lu})[\\p{L}\\-]*" + germanSuffix + u"[ \\t\\u00A0]+\\d{1,5}[A-Za-z]?(?![\\p{L}\\p{N}])"
            // A post-office box, which stands where the street would: "PO Box 227", "Postfach 10 12 34".
            u"|(?:g?p\\.?[ \\t\\u00A0]?o\\.?[ \\t\\u00A0]?box|post[ \\t\\u00A0]?box|postbus|postfach|"
            u"bo[iî]te[ \\t\\u00A0]postale|apartado|casella[ \\t\\u00A0]postale)"
            u"[ \\t\\u00A0]*(?:no\\.?[ \\t\\u00A0]*)?\\d{1,6}(?:[ \\t\\u00A0]\\d{2,3}){0,2}(?![\\p{L}\\p{N}])"
            u")",
        UREGEX_CASE_INSENSITIVE);
    // US state + ZIP, UK postcode, Indian PIN after a place or "PIN", DE/FR code + place.
    p.postcode = compile(
        u"(?<![\\p{L}\\p{N}])(?:"
        u"((?:AL|AK|AZ|AR|CA|CO|CT|DE|DC|FL|GA|HI|ID|IL|IN|IA|KS|KY|LA|ME|MD|MA|MI|MN|MS|MO|MT|NE|"
        u"NV|NH|NJ|NM|NY|NC|ND|OH|OK|OR|PA|RI|SC|SD|TN|TX|UT|VT|VA|WA|WV|WI|WY)[ \\t\\u00A0]+\\d{5}(?:-\\d{4})?)"
        u"|([A-Z]{1,2}\\d[A-Z\\d]?[ \\t\\u00A0]?\\d[ABD-HJLNP-UW-Z]{2})"
        u"|((?:(?i)pin(?:[ \\t\\u00A0]*code)?|\\p{Lu}\\p{L}+)[ \\t\\u00A0]*[:,\\-\\u2013]?[ \\t\\u00A0]*[1-9]\\d{2}[ \\t\\u00A0]?\\d{3})"
        u"|((?:(?i)d-|f-)?\\d{5}[ \\t\\u00A0]+\\p{Lu}[\\p{L}\\-]+(?:[ \\t\\u00A0]+\\p{Lu}[\\p{L}\\-]+)?)"
        // Dutch: four digits and two capitals before the place ("3511 NK Utrecht").
        u"|((?:(?i)nl-)?[1-9]\\d{3}[ \\t\\u00A0]?[A-Z]{2}[ \\t\\u00A0]+\\p{Lu}[\\p{L}\\-]+)"
        // Austria, Switzerland, Belgium, Denmark: four digits before the place ("1010 Wien").
        u"|((?:(?i)a-|ch-|b-|dk-)?[1-9]\\d{3}[ \\t\\u00A0]+\\p{Lu}[\\p{L}\\-]+(?:[ \\t\\u00A0]+\\p{Lu}[\\p{L}\\-]+)?)"
        u")(?![\\p{L}\\p{N}])");
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

Span firstMatch(const icu::RegexPattern* pattern, const icu::UnicodeString& line) {
  Span span;
  forEachMatch(pattern, line, [&](size_t s, size_t e, icu::RegexMatcher& m) {
    if (!span.found) span = {s, e, true, firstGroup(m)};
  });
  return span;
}

Span lastMatch(const icu::RegexPattern* pattern, const icu::UnicodeString& line) {
  Span span;
  forEachMatch(pattern, line, [&](size_t s, size_t e, icu::RegexMatcher& m) {
    span = {s, e, true, firstGroup(m)};
  });
  return span;
}

// [begin, end) of `line` without white space and trailing commas at either end.
Span trimmed(std::u16string_view line, size_t begin, size_t end) {
  while (begin < end && (u_isUWhiteSpace(line[begin]))) ++begin;
  while (end > begin && (u_isUWhiteSpace(line[end - 1]) || line[end - 1] == u',' ||
                         line[end - 1] == u';')) {
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

const std::set<std::u16string>& addressLabelWords() {
  static const std::set<std::u16string> words{
      u"address", u"addr", u"adresse", u"anschrift", u"dirección", u"direccion", u"domicilio",
      u"indirizzo", u"morada", u"endereço", u"adres", u"adresa"};
  return words;
}

// Whether a lower-case word may be the street word of a street line.
bool isStreetWord(const std::u16string& w) {
  static const std::set<std::u16string> words = [] {
    std::set<std::u16string> set;
    std::u16string list =
        u"street st road rd avenue ave av lane ln drive dr boulevard blvd way court ct place pl "
        u"square sq terrace close crescent highway hwy parkway circle row mews gardens grove marg "
        u"nagar colony chowk gali sector layout cross main enclave vihar bagh puram rue bd allée "
        u"chemin impasse quai cours via viale piazza corso largo calle c avenida avda plaza paseo "
        u"carrera rua travessa praça alameda straat laan weg plein gracht kade singel";
    size_t start = 0;
    for (size_t i = 0; i <= list.size(); ++i) {
      if (i == list.size() || list[i] == u' ') {
        set.insert(list.substr(start, i - start));
        start = i + 1;
      }
    }
    return set;
  }();
  if (words.count(w)) return true;
  static const std::u16string_view kSuffixes[] = {
      u"straße", u"strasse", u"str", u"weg", u"gasse", u"platz", u"allee", u"ring", u"damm",
      u"ufer", u"chaussee", u"straat", u"laan", u"gracht", u"plein", u"kade", u"singel", u"steenweg"};
  return std::any_of(std::begin(kSuffixes), std::end(kSuffixes),
                     [&](std::u16string_view suffix) { return endsWith(w, suffix); });
}

// Whether a lower-case word names a post-office box ("PO Box", "Postfach", "boîte postale").
bool isPostBoxWord(const std::u16string& w) {
  return w == u"box" || w == u"pobox" || w == u"postbus" || w == u"postfach" || w == u"postale" || w == u"apartado";
}

// Capture groups of the postcode pattern.
enum PostcodeGroup { kUsZip = 1, kUkPostcode, kIndianPin, kFiveDigits, kDutchPostcode, kFourDigits };

// Four or more digits (ZIP, PIN and European codes) or the inward code of a UK postcode ("6XE").
bool mayHoldPostcode(std::u16string_view line) {
  if (countDigits(line) >= 4) return true;
  const auto upper = [](char16_t c) { return c >= u'A' && c <= u'Z'; };
  for (size_t i = 0; i + 2 < line.size(); ++i) {
    if (isDigitUnit(line[i]) && upper(line[i + 1]) && upper(line[i + 2]) &&
        (i + 3 == line.size() || !u_isalnum(line[i + 3]))) {
      return true;
    }
  }
  return false;
}

// Whether a line after the first of an "Address:" block may still belong to the address: it
// holds a postcode or a street, or reads like a locality ("Mayfair", "Flat 3, Rose Court",
// "Near Shiv Mandir"). A date, or a lower-case word other than a street's or a locality's, ends
// the block ("Utrecht, 5 januari 2024", "De burgemeester van Utrecht").
bool mayContinueAddress(std::u16string_view line, const AddressPatterns& p) {
  const icu::UnicodeString u = aliasOf(line);
  if (mayHoldPostcode(line) && lastMatch(p.postcode.get(), u).found) return true;
  if (!findDates(line).empty()) return false;
  static const std::set<std::u16string> kLocalityWords{
      u"near", u"opp", u"opposite", u"behind", u"beside", u"next", u"post", u"district", u"dist",
      u"floor", u"block", u"building", u"tower", u"apartment", u"apartments", u"flat", u"house",
      u"village", u"taluk", u"tehsil", u"mandal", u"bei", u"chez", u"care"};
  std::u16string word;
  bool lowerStart = false;
  const auto wordEnds = [&] {
    const bool ok = !lowerStart || word.size() <= 3 || isStreetWord(word) || kLocalityWords.count(word) > 0;
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
bool isBlockStreetWord(const std::u16string& w) { return (w.size() >= 3 && isStreetWord(w)) || isBlockPlaceWord(w); }
bool isBlockPlaceWord(const std::u16string& w) {
  static const std::set<std::u16string> words{
      u"jalan", u"jln", u"lorong", u"lrg", u"persiaran", u"lebuh", u"lebuhraya", u"taman", u"tmn",
      u"kampung", u"kg", u"bandar", u"seksyen", u"section", u"medan", u"wisma", u"menara", u"kompleks",
      u"complex", u"plaza", u"mall", u"megamall", u"centre", u"center", u"tower", u"building", u"bangunan",
      u"level", u"floor", u"flr", u"tingkat", u"block", u"blok", u"kawasan", u"perindustrian", u"industrial",
      u"estate", u"park", u"batu", u"simpang", u"soi", u"moo", u"thanon", u"barangay", u"purok"};
  return words.count(w) > 0;
}

// Where the house, lot or unit number ends that opens such a block, or nothing when the line
// opens none: it starts with the number ("NO 12,", "NO.LOT 24,", "22A-1,", "UNIT L1-044B,",
// "LOT P.T. 2811,", "3RD FLR,") and names a street, quarter or building.
std::optional<size_t> addressBlockOpening(std::u16string_view line) {
  const std::vector<std::u16string> words = lowerWords(line);
  if (words.empty() || !std::any_of(words.begin(), words.end(), isBlockStreetWord)) return std::nullopt;
  size_t i = 0;
  while (i < line.size() && u_isUWhiteSpace(line[i])) ++i;
  // An opening word: "No", "Lot", "Unit", "Suite", "Shop", "Level", "Block", and "No." before one.
  static const std::set<std::u16string> kOpeners{u"no", u"nos", u"lot", u"unit", u"suite", u"shop", u"level",
                                                 u"lvl", u"block", u"blok", u"plot", u"kedai"};
  for (int k = 0; k < 2; ++k) {
    size_t j = i;
    std::u16string w;
    while (j < line.size() && u_isalpha(line[j])) w.push_back(static_cast<char16_t>(u_tolower(line[j++])));
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
  while (at < line.size() && (u_isalnum(line[at]) || line[at] == u'-' || line[at] == u'/' || line[at] == u'.')) ++at;
  return at;
}

// How much of a line may stand in such a block (its end without trailing commas): all of a short
// line without a "Key:" field, an e-mail or web address or a date, or the part before a
// telephone, tax or document word ("81750 JOHOR BAHRU, JOHOR, TEL NO.: 07-387 3322"), which then
// sets `cut`; 0 when nothing may.
size_t addressBlockPart(std::u16string_view line, const AddressPatterns& p, bool& cut, bool first = false) {
  cut = false;
  if (line.size() > 100 || !trimmed(line, 0, line.size()).found) return 0;
  if (!first && firstMatch(p.field.get(), aliasOf(line)).found) return 0;  // "NO: 28, ..." opens one
  if (line.find(u'@') != std::u16string_view::npos) return 0;
  static const std::set<std::u16string> kNotAddress{u"tel", u"telephone", u"phone", u"fax", u"hp", u"mobile",
                                                    u"email", u"www", u"http", u"https", u"gst", u"sst", u"vat",
                                                    u"invoice", u"receipt", u"date", u"cashier"};
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
  const std::u16string_view part = line.substr(0, trimmed(line, 0, end).end);
  if (part.empty() || !findDates(part).empty()) return 0;
  return part.size();
}

// Where a postcode ends in a line from `from` on, or nothing: one the postcode pattern reads
// (but four digits and a word, as often a house number before its street), or five digits
// standing alone between commas, spaces and the ends of the line ("PETALING JAYA, 47800",
// "53200, KUALA LUMPUR").
std::optional<size_t> blockPostcodeEnd(std::u16string_view line, size_t from, const AddressPatterns& p) {
  if (from >= line.size() || !mayHoldPostcode(line.substr(from))) return std::nullopt;
  for (size_t i = from; i < line.size();) {
    if (!isDigitUnit(line[i])) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < line.size() && isDigitUnit(line[j])) ++j;
    const bool before = i == 0 || u_isUWhiteSpace(line[i - 1]) || line[i - 1] == u',';
    const bool after = j == line.size() || u_isUWhiteSpace(line[j]) || line[j] == u',' || u_isalpha(line[j]) ||
                       (line[j] == u'.' && j + 1 == line.size());
    if (j - i == 5 && before && after) return j;
    i = j;
  }
  const icu::UnicodeString u = aliasOf(line);
  std::optional<size_t> end;
  forEachMatch(p.postcode.get(), u, [&](size_t s, size_t e, icu::RegexMatcher& m) {
    if (s >= from && firstGroup(m) != kFourDigits) end = e;
  });
  return end;
}

// Whether a line names only a state, region or country, as the last line of an address block.
bool isRegionLine(std::u16string_view line) {
  static const std::set<std::u16string> kRegions{
      u"johor", u"kedah", u"kelantan", u"melaka", u"malacca", u"negeri", u"pahang", u"penang", u"pulau",
      u"perak", u"perlis", u"sabah", u"sarawak", u"selangor", u"terengganu", u"labuan", u"putrajaya", u"wilayah",
      u"kuala", u"malaysia", u"singapore", u"indonesia", u"brunei", u"thailand", u"philippines", u"india",
      u"australia", u"england", u"scotland", u"wales", u"ireland", u"canada", u"germany", u"deutschland",
      u"france", u"netherlands", u"nederland", u"belgium", u"belgique", u"switzerland", u"schweiz", u"austria",
      u"österreich", u"usa"};
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
std::optional<std::pair<size_t, size_t>> addressBlockEnd(const std::vector<std::u16string_view>& lines,
                                                         size_t opening, const AddressPatterns& p) {
  constexpr size_t kMaxLinesToPostcode = 4;
  const auto whole = [&](size_t j) {  // the line may stand in the block as a whole
    bool cut = false;
    return addressBlockPart(lines[j], p, cut) > 0 && !cut;
  };
  const auto regionAfter = [&](size_t j) -> std::pair<size_t, size_t> {
    if (j + 1 < lines.size() && isRegionLine(lines[j + 1])) return {j + 1, trimmed(lines[j + 1], 0, lines[j + 1].size()).end};
    return {j, trimmed(lines[j], 0, lines[j].size()).end};
  };
  std::optional<std::pair<size_t, size_t>> streets;  // the lines that name streets, when no postcode comes
  bool named = true;
  for (size_t j = 0; j < lines.size() && j <= kMaxLinesToPostcode; ++j) {
    bool cut = false;
    const size_t part = addressBlockPart(lines[j], p, cut, j == 0);
    if (part == 0) break;
    const std::u16string_view l = lines[j].substr(0, part);
    if (const auto code = blockPostcodeEnd(l, j == 0 ? opening : 0, p)) {
      if (cut) return std::pair{j, part};
      const bool townBelow = !trimmed(l, *code, l.size()).found && j + 1 < lines.size() && whole(j + 1) &&
                             countDigits(lines[j + 1]) == 0 && lowerWords(lines[j + 1]).size() <= 6;
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

Matches findAddresses(std::u16string_view text) {
  const AddressPatterns& p = addressPatterns();
  const std::vector<Line> lines = splitLines(text);
  Matches found;
  const auto lineView = [&](size_t k) {
    return text.substr(lines[k].begin, lines[k].end - lines[k].begin);
  };
  const auto add = [&](size_t firstLine, size_t begin, size_t lastLine, size_t end) {
    const size_t from = lines[firstLine].begin + begin, to = lines[lastLine].begin + end;
    if (to > from) found.push_back({from, to - from, kResultTypeAddress});
  };
  for (size_t k = 0; k < lines.size(); ++k) {
    const std::u16string_view line = lineView(k);
    if (line.size() > kMaxAddressLine || line.empty()) continue;
    const icu::UnicodeString u = aliasOf(line);

    // "Address: ..." and the lines that follow it, up to a postcode, a blank line or a field.
    const std::vector<std::u16string> lineWords = lowerWords(line);
    const auto hasWord = [&](const auto& wanted) {
      return std::any_of(lineWords.begin(), lineWords.end(), wanted);
    };
    const bool mayBeLabel = line.find(u':') != std::u16string_view::npos ||
                            line.find(u'\uFF1A') != std::u16string_view::npos;
    const Span label = mayBeLabel && hasWord([](const std::u16string& w) {
                         return addressLabelWords().count(w) > 0;
                       })
                           ? firstMatch(p.label.get(), u)
                           : Span{};
    if (label.found) {
      size_t first = k, begin = label.end;
      if (!trimmed(line, begin, line.size()).found) {
        // The address is on the next line, unless that is another field.
        if (k + 1 >= lines.size() || firstMatch(p.field.get(), aliasOf(lineView(k + 1))).found) continue;
        first = k + 1;
        begin = 0;
      }
      size_t last = first, end = line.size();
      for (size_t j = first; j < lines.size() && j < first + kMaxBlockLines; ++j) {
        const std::u16string_view l = lineView(j);
        const icu::UnicodeString lu = aliasOf(l);
        if (!trimmed(l, 0, l.size()).found || l.size() > kMaxAddressLine) break;
        if (j > first && (firstMatch(p.field.get(), lu).found || !mayContinueAddress(l, p))) break;
        last = j;
        end = trimmed(l, 0, l.size()).end;
        if (mayHoldPostcode(l) && lastMatch(p.postcode.get(), lu).found) break;
      }
      const Span start = trimmed(lineView(first), begin, lineView(first).size());
      if (start.found) add(first, start.begin, last, end);
      k = last;
      continue;
    }

    // A block of address lines under a letterhead, from its street to its postcode.
    if (const auto opening = countDigits(line) > 0 ? addressBlockOpening(line) : std::nullopt) {
      std::vector<std::u16string_view> following;
      for (size_t j = k; j < lines.size() && j < k + kMaxBlockLines; ++j) following.push_back(lineView(j));
      if (const auto end = addressBlockEnd(following, *opening, p)) {
        add(k, trimmed(line, 0, line.size()).begin, k + end->first, end->second);
        k += end->first;
        continue;
      }
    }

    // A street line, with its postcode on the same line or the next.
    if (countDigits(line) == 0) continue;  // streets and postcodes carry numbers
    const Span street = hasWord([](const std::u16string& w) { return isStreetWord(w) || isPostBoxWord(w); })
                            ? firstMatch(p.street.get(), u)
                            : Span{};
    const Span code = mayHoldPostcode(line) ? lastMatch(p.postcode.get(), u) : Span{};
    if (street.found) {
      if (code.found && code.end > street.end) {
        add(k, street.begin, k, code.end);
        continue;
      }
      if (k + 1 < lines.size()) {
        const std::u16string_view next = lineView(k + 1);
        const Span nextCode = next.size() <= kMaxAddressLine && mayHoldPostcode(next)
                                  ? lastMatch(p.postcode.get(), aliasOf(next))
                                  : Span{};
        if (nextCode.found) {
          add(k, street.begin, k + 1, nextCode.end);
          ++k;
          continue;
        }
      }
      // "12 Baker Street, London": the rest of the line after a comma names the town, up to
      // the end of a sentence ("I moved to 12 Oxford Road, Leeds. The office ...").
      const Span rest = trimmed(line, street.end, townEnd(line, street.end));
      const std::u16string_view town = line.substr(rest.begin, rest.end - rest.begin);
      if (rest.found && town[0] == u',' && countDigits(town) == 0 && wordCount(town) <= kMaxTownWords) {
        add(k, street.begin, k, rest.end);
      } else {
        add(k, street.begin, k, street.end);
      }
      continue;
    }
    // A postcode line on its own: "London NW1 6XE", "10115 Berlin", "Springfield, IL 62704".
    // The place before the code holds no field and no other number, and a bare "PIN 411001"
    // names no place.
    if (code.found && line.size() <= 60) {
      const std::u16string_view before = line.substr(0, code.begin);
      const bool placeOnly = before.find(u':') == std::u16string_view::npos &&
                             before.find(u'\uFF1A') == std::u16string_view::npos &&
                             countDigits(before) == 0;
      const Span whole = trimmed(line, 0, code.end);
      const bool atStart = !trimmed(line, 0, code.begin).found;
      const bool barePin = atStart && (line[code.begin] == u'P' || line[code.begin] == u'p');
      // A 5-digit or Dutch code stands before its place ("10115 Berlin"): elsewhere it is any
      // number. Four digits and a word alone are as often a year ("1985 Bordeaux"), so they count
      // only beside a street.
      const bool codeInside = (code.group == kFiveDigits || code.group == kDutchPostcode) && !atStart;
      if (placeOnly && !barePin && !codeInside && code.group != kFourDigits && whole.found) {
        add(k, whole.begin, k, code.end);
      }
    }
  }
  return withoutOverlaps(std::move(found));
}

namespace {

// For each of `queries`, whether it overlaps any of `blockers`. One pass over both lists: the
// queries in order of their ends, the blockers in order of their starts, so that the blockers
// starting before a query's end are a growing prefix whose furthest end decides.
std::vector<bool> overlapsAny(const Matches& queries, Matches blockers) {
  std::vector<bool> hit(queries.size(), false);
  if (queries.empty() || blockers.empty()) return hit;
  std::vector<size_t> byEnd(queries.size());
  for (size_t i = 0; i < byEnd.size(); ++i) byEnd[i] = i;
  std::sort(byEnd.begin(), byEnd.end(), [&](size_t a, size_t b) {
    return queries[a].location + queries[a].length < queries[b].location + queries[b].length;
  });
  std::sort(blockers.begin(), blockers.end(),
            [](const DetectorMatch& a, const DetectorMatch& b) { return a.location < b.location; });
  size_t next = 0;
  size_t furthestEnd = 0;
  bool any = false;
  for (const size_t i : byEnd) {
    const DetectorMatch& q = queries[i];
    const size_t end = q.location + q.length;
    for (; next < blockers.size() && blockers[next].location < end; ++next) {
      furthestEnd = std::max(furthestEnd, blockers[next].location + blockers[next].length);
      any = true;
    }
    hit[i] = any && q.location < furthestEnd;
  }
  return hit;
}

}  // namespace

Matches mergeMatches(Matches addresses, Matches dates, Matches phones) {
  const std::vector<bool> dateInAddress = overlapsAny(dates, addresses);
  // A phone number gives way to any date, even one that an address has displaced.
  Matches addressesAndDates = addresses;
  addressesAndDates.insert(addressesAndDates.end(), dates.begin(), dates.end());
  const std::vector<bool> phoneHidden = overlapsAny(phones, std::move(addressesAndDates));

  Matches all = std::move(addresses);
  all.reserve(all.size() + dates.size() + phones.size());
  for (size_t i = 0; i < dates.size(); ++i) {
    if (!dateInAddress[i]) all.push_back(dates[i]);
  }
  for (size_t i = 0; i < phones.size(); ++i) {
    if (!phoneHidden[i]) all.push_back(phones[i]);
  }
  std::stable_sort(all.begin(), all.end(), [](const DetectorMatch& a, const DetectorMatch& b) {
    return a.location < b.location;
  });
  return all;
}

namespace {

class CombinedDataDetector : public DataDetector {
 public:
  void enumerateMatches(std::u16string_view nsText, const MatchCallback& callback) override {
    for (const DetectorMatch& m :
         mergeMatches(findAddresses(nsText), findDates(nsText), findPhoneNumbers(nsText))) {
      callback(m);
    }
  }
};

}  // namespace

std::unique_ptr<DataDetector> makeDataDetector() {
  // The patterns compile once; a pattern that failed to compile means no detector at all.
  const DatePatterns& d = datePatterns();
  const AddressPatterns& a = addressPatterns();
  if (!d.numeric || !d.dayMonth || !d.monthDay || !d.monthYear || !a.label || !a.street ||
      !a.postcode || !a.field) {
    return nullptr;
  }
  return std::make_unique<CombinedDataDetector>();
}

}  // namespace marrowfen::entities
