#include "entities/date_detector.h"

#include <unicode/dtfmtsym.h>
#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace marrowfen::entities {

using namespace detector;

namespace {

// A digit, one of "." "/" "-", and a digit: the core of every numeric date.
bool hasNumericDateShape(std::u16string_view line) {
  for (size_t i = 1; i + 1 < line.size(); ++i) {
    const char16_t c = line[i];
    if ((c == u'.' || c == u'/' || c == u'-') && isDigitUnit(line[i - 1]) &&
        isDigitUnit(line[i + 1])) {
      return true;
    }
  }
  return false;
}

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
  icu::UnicodeString lookahead;          // where one of them may start
  icu::UnicodeString fullAlternation;    // the wide names only
};

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
    // The full names of more languages, in the forms dates use ("12 marca 2024", "5 februari
    // 2024", "3. května 2023"); their abbreviations are left out, as many of them are words of
    // other languages ("lis", "sie", "kas"), and so is the Malay "Mac" ("2 Mac Mini").
    const char* moreLocales[] = {"sv", "da", "nb", "fi", "pl", "cs", "sk", "sl", "hr",
                                 "ro", "hu", "tr", "ms", "id", "lt", "lv", "et", "ca"};
    const auto addLocale = [&](const char* locale, bool abbreviations) {
      UErrorCode status = U_ZERO_ERROR;
      icu::DateFormatSymbols symbols(icu::Locale(locale), status);
      if (U_FAILURE(status)) return;
      for (auto context : {icu::DateFormatSymbols::FORMAT, icu::DateFormatSymbols::STANDALONE}) {
        for (auto width : {icu::DateFormatSymbols::WIDE, icu::DateFormatSymbols::ABBREVIATED}) {
          if (width == icu::DateFormatSymbols::ABBREVIATED && !abbreviations) continue;
          int32_t count = 0;
          const icu::UnicodeString* months = symbols.getMonths(count, context, width);
          for (int32_t i = 0; i < count && i < 12; ++i) {
            if (!abbreviations && months[i].caseCompare(u"mac", 0) == 0) continue;
            add(months[i], i + 1, width == icu::DateFormatSymbols::WIDE);
          }
        }
      }
    };
    for (const char* locale : locales) addLocale(locale, true);
    for (const char* locale : moreLocales) addLocale(locale, false);
    // Common forms the locale data does not list; Dutch papers abbreviate March "MAA" (beside
    // "MAR": "15 MAA/MAR 1985") and Dutch writing "mrt".
    add(u"sept", 9, false);
    add(u"sep", 9, false);
    add(u"maa", 3, false);
    add(u"mrt", 3, false);
    std::vector<std::u16string_view> all, full;
    for (const auto& [name, month] : n.number) {
      all.push_back(name);
      if (n.full.count(name)) full.push_back(name);
    }
    n.alternation = alternationOf(all);
    n.lookahead = firstUnitLookahead(all);
    n.fullAlternation = alternationOf(full);
    return n;
  }();
  return names;
}

struct DatePatterns {
  std::unique_ptr<icu::RegexPattern> numeric, dayMonth, monthDay, monthYear, ordinalDayMonth,
      yearMonthDay, romanMonth, spacedNumeric, yearFirstMonthName;
  // Where the patterns that open with a month name or an ordinal may start.
  std::optional<WordStarts> monthStarts, fullMonthStarts, ordinalStarts;
};

// English ordinal numbers of the days of a month ("fourth", "twenty-first"), as certificates write
// dates out in words: "Fourth June 1990", "the twenty-first day of March 2001".
const std::vector<std::u16string>& dayOrdinals() {
  static const std::vector<std::u16string> ordinals = [] {
    const std::u16string units[] = {u"first", u"second",  u"third",  u"fourth", u"fifth",
                                    u"sixth", u"seventh", u"eighth", u"ninth"};
    std::vector<std::u16string> o(units, units + 9);
    for (const char16_t* w :
         {u"tenth", u"eleventh", u"twelfth", u"thirteenth", u"fourteenth", u"fifteenth",
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
    // The look-ahead fails at once where no month name can start, before the long alternation
    // is tried name by name.
    const icu::UnicodeString months = names.lookahead + u"(" + names.alternation + u")";
    DatePatterns p;
    p.numeric = compile(
        u"(?<![\\p{L}\\p{N}.,/:+\\-])(\\d{1,4})([./\\-])(\\d{1,2})\\2(\\d{1,4})"
        // A time may follow a date as ISO 8601 writes it ("2021-03-15T10:00:00Z").
        u"(?!(?!T\\d{2}:)[\\p{L}\\p{N}]|[./\\-:,]\\p{N})");
    // Papers printed in two languages give the month twice ("05 JUN /JUIN 78", "12 JAN/JAN 2019").
    p.dayMonth =
        compile(icu::UnicodeString(u"(?<![\\p{L}\\p{N}])(\\d{1,2})(?:st|nd|rd|th|er|\\.)?(?:") +
                    sp + u"*[\\-./]?" + sp + u"*|" + sp + u"+(?:day" + sp + u"+of|of|de|del)" + sp +
                    u"+)" + months + u"\\.?(?:" + sp + u"*/" + sp + u"*" + months + u"\\.?)?" +
                    u"(?![\\p{L}])(?:(?:,?" + sp + u"*[\\-./]?" + sp + u"*|" + sp + u"+(?:de|del)" +
                    sp + u"+)(\\d{4}|\\d{2}(?!\\d)))?(?![\\p{L}\\p{N}])",
                UREGEX_CASE_INSENSITIVE);
    p.monthDay = compile(icu::UnicodeString(u"(?<![\\p{L}\\p{N}])") + months + u"\\.?" + sp +
                             u"+(\\d{1,2})(?:st|nd|rd|th)?(?![\\p{L}\\p{N}])(?:,?" + sp +
                             u"+(\\d{4})(?![\\p{L}\\p{N}]))?",
                         UREGEX_CASE_INSENSITIVE);
    p.monthYear = compile(icu::UnicodeString(u"(?<![\\p{L}\\p{N}])(") + names.fullAlternation +
                              u")" + sp + u"+(\\d{4})(?![\\p{L}\\p{N}])",
                          UREGEX_CASE_INSENSITIVE);
    // The month in Roman numerals, as Polish, Czech, Hungarian and Italian papers write it:
    // "15.III.1985", "3-XII-2001", "7 IX 1999". Capitals only, the same separator twice.
    p.romanMonth = compile(
        u"(?<![\\p{L}\\p{N}.,/:\\-])(\\d{1,2})([./\\- ])(XII|XI|X|IX|VIII|VII|VI|V|IV|III|II|I)\\2("
        u"\\d{4}|\\d{2})(?![\\p{L}\\p{N}]|[./\\-]\\p{N})");
    // The year first, then the month's name and the day, as Hungarian writes dates
    // ("2024. március 12.") and as some English does ("2024 March 12").
    p.yearFirstMonthName =
        compile(icu::UnicodeString(u"(?<![\\p{L}\\p{N}.,/:\\-])(\\d{4})\\.?") + sp + u"+" + months +
                    u"\\.?" + sp + u"+(\\d{1,2})\\.?(?![\\p{L}\\p{N}])",
                UREGEX_CASE_INSENSITIVE);
    // Day, month and year apart by single spaces, as identity cards print them after a label
    // ("FECHA DE NACIMIENTO 15 03 1985"): a date only after such a label (datedByLabel).
    p.spacedNumeric = compile(
        u"(?<![\\p{L}\\p{N}.,/:\\-])(\\d{1,2}) (\\d{1,2}) (\\d{4})(?![\\p{L}\\p{N}]|[./\\- "
        u"]\\p{N})");
    // Chinese, Japanese and Korean: year, month and day with their signs ("2023年5月1日",
    // "2023년 5월 1일").
    p.yearMonthDay = compile(
        u"(?<![0-9])([0-9]{4})[ \\t]*[\\u5E74\\uB144][ \\t]*([0-9]{1,2})[ \\t]*[\\u6708\\uC6D4][ "
        u"\\t]*([0-9]{1,2})[ \\t]*[\\u65E5\\uC77C]");
    // Compounds first, so that "twenty first" is not read as far as "twenty" only.
    icu::UnicodeString ordinals;
    const auto& words = dayOrdinals();
    for (auto it = words.rbegin(); it != words.rend(); ++it) {
      icu::UnicodeString word(it->data(), static_cast<int32_t>(it->size()));
      word.findAndReplace(u" ", u"[ \\-]+");
      if (!ordinals.isEmpty()) ordinals += u"|";
      ordinals += word;
    }
    p.ordinalDayMonth = compile(icu::UnicodeString(u"(?<![\\p{L}\\p{N}])(") + ordinals + u")(?:" +
                                    sp + u"+day)?(?:" + sp + u"+of)?" + sp + u"+" + months + u",?" +
                                    sp + u"+(\\d{4})(?![\\p{L}\\p{N}])",
                                UREGEX_CASE_INSENSITIVE);
    std::vector<std::u16string> all, full;
    for (const auto& [name, month] : names.number) all.push_back(name);
    full.assign(names.full.begin(), names.full.end());
    p.monthStarts.emplace(all);
    p.fullMonthStarts.emplace(full);
    p.ordinalStarts.emplace(dayOrdinals());
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

// A match of the Roman month pattern that is a valid date; a two-digit year only after points
// ("15.III.85"; "7 V 85" is too often something else).
bool romanMonthDateIsValid(icu::RegexMatcher& m) {
  static const std::u16string kRoman[] = {u"I",   u"II",   u"III", u"IV", u"V",  u"VI",
                                          u"VII", u"VIII", u"IX",  u"X",  u"XI", u"XII"};
  const std::u16string month = groupText(m, 3), year = groupText(m, 4);
  const auto it = std::find(std::begin(kRoman), std::end(kRoman), month);
  if (it == std::end(kRoman) || (year.size() == 2 && groupText(m, 2) != u".")) return false;
  const auto y = readYear(year);
  return y &&
         isValidDate(toNumber(groupText(m, 1)), static_cast<int>(it - std::begin(kRoman)) + 1, y);
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

// A match of a day and a month name ("3 March", "March 3rd, 2020") whose groups `dayGroup` and
// `monthGroup` hold the day and the month, and `yearGroup` the year if written: a valid date, where
// a date without a year needs the month's full name ("3 Mar" is too often something else).
bool namedMonthDateIsValid(icu::RegexMatcher& m, int dayGroup, int monthGroup, int yearGroup) {
  bool full = false;
  const auto month = monthNumber(groupText(m, monthGroup), full);
  const std::u16string y = groupText(m, yearGroup);
  const auto year = y.empty() ? std::nullopt : readYear(y);
  if (!month || (!y.empty() && !year) || (y.empty() && !full)) return false;
  return isValidDate(toNumber(groupText(m, dayGroup)), *month, year);
}

// Whether the month named a second time in `secondGroup`, if it is, is the one of `firstGroup`:
// "12 JAN/FEB" is a span of months, not a date.
bool sameMonthTwice(icu::RegexMatcher& m, int firstGroup, int secondGroup) {
  const std::u16string second = groupText(m, secondGroup);
  if (second.empty()) return true;
  bool full = false;
  return monthNumber(second, full) == monthNumber(groupText(m, firstGroup), full);
}

// Words of the labels that papers print before a date: of birth, issue and expiry.
bool isDateLabelWord(const std::u16string& lower) {
  // clang-format off
  static const std::unordered_set<std::u16string> words = {
      u"date", u"dob", u"birth", u"born", u"expiry", u"expires", u"expiration", u"issue",
      u"issued", u"valid", u"until", u"fecha", u"nacimiento", u"expedición", u"caducidad",
      u"validez", u"emisión", u"naissance", u"délivrance", u"validité", u"data", u"nascita",
      u"rilascio", u"scadenza", u"emissione", u"datum", u"geburtsdatum", u"geboren",
      u"ausstellungsdatum", u"gültig", u"geboortedatum", u"geldig", u"afgifte"};
  // clang-format on
  return words.count(lower) > 0;
}

// Whether the words just before `at` in `line` (up to four, back to a digit) hold a date label.
bool datedByLabel(std::u16string_view line, size_t at) {
  std::u16string word;
  int words = 0;
  for (size_t i = at; i-- > 0 && words < 4;) {
    const char16_t c = line[i];
    if (u_isdigit(c)) return false;
    if (u_isalpha(c)) {
      word.insert(word.begin(), static_cast<char16_t>(u_tolower(c)));
      if (i > 0 && u_isalpha(line[i - 1])) continue;
      if (isDateLabelWord(word)) return true;
      word.clear();
      ++words;
    }
  }
  return false;
}

// Where the numeric and day-first patterns may start: a digit after no letter or digit.
bool startsNumber(std::u16string_view line, size_t at) {
  return mayBeDigit(line[at]) && mayStartWord(line, at);
}

// Where a pattern that opens with one of `words` may start.
auto startsWordOf(const WordStarts& words) {
  return [&words](std::u16string_view line, size_t at) {
    return mayStartWord(line, at) && words.mayStartAt(line, at);
  };
}

// The dates of a line as Chinese, Japanese and Korean write them, year first with the signs of
// year, month and day ("2023年5月1日", "2023년 5월 1일"); `add` takes each one's bounds. These
// scripts put no space between words, so the year may follow any letter.
void addYearMonthDayDates(const DatePatterns& p, std::u16string_view line,
                          const std::function<void(size_t, size_t)>& add) {
  if (line.find_first_of(u"\u5E74\uB144") == std::u16string_view::npos) return;
  const auto startsYear = [](std::u16string_view l, size_t at) {
    return isDigitUnit(l[at]) && (at == 0 || !isDigitUnit(l[at - 1]));
  };
  forEachMatchWhere(p.yearMonthDay.get(), line, startsYear,
                    [&](size_t s, size_t e, icu::RegexMatcher& m) {
                      const auto year = readYear(groupText(m, 1));
                      const int month = toNumber(groupText(m, 2)), day = toNumber(groupText(m, 3));
                      if (year && isValidDate(day, month, year)) add(s, e);
                    });
}

// ---- Dates written out in words, as French and Spanish civil records write them ----------------
// "le dix-sept mars mil neuf cent quatre-vingt-dix", "diecisiete de marzo de mil novecientos
// noventa", "le premier janvier deux mille".

struct NumberWord {
  enum Kind { kAdd, kHundreds, kThousands, kJoin } kind = kAdd;
  int value = 0;
};

// The French and Spanish number words of days and years, lower case.
const std::unordered_map<std::u16string, NumberWord>& numberWords() {
  static const std::unordered_map<std::u16string, NumberWord> words = [] {
    std::unordered_map<std::u16string, NumberWord> w;
    // clang-format off
    const std::pair<const char16_t*, int> adds[] = {
        // French
        {u"un", 1}, {u"une", 1}, {u"premier", 1}, {u"deux", 2}, {u"trois", 3}, {u"quatre", 4},
        {u"cinq", 5}, {u"six", 6}, {u"sept", 7}, {u"huit", 8}, {u"neuf", 9}, {u"dix", 10},
        {u"onze", 11}, {u"douze", 12}, {u"treize", 13}, {u"quatorze", 14}, {u"quinze", 15},
        {u"seize", 16}, {u"vingt", 20}, {u"vingts", 20}, {u"trente", 30}, {u"quarante", 40},
        {u"cinquante", 50}, {u"soixante", 60},
        // Spanish
        {u"uno", 1}, {u"primero", 1}, {u"dos", 2}, {u"tres", 3}, {u"cuatro", 4}, {u"cinco", 5},
        {u"seis", 6}, {u"siete", 7}, {u"ocho", 8}, {u"nueve", 9}, {u"diez", 10}, {u"once", 11},
        {u"doce", 12}, {u"trece", 13}, {u"catorce", 14}, {u"quince", 15}, {u"dieciséis", 16},
        {u"dieciseis", 16}, {u"diecisiete", 17}, {u"dieciocho", 18}, {u"diecinueve", 19},
        {u"veinte", 20}, {u"veintiuno", 21}, {u"veintiún", 21}, {u"veintidós", 22},
        {u"veintidos", 22}, {u"veintitrés", 23}, {u"veintitres", 23}, {u"veinticuatro", 24},
        {u"veinticinco", 25}, {u"veintiséis", 26}, {u"veintiseis", 26}, {u"veintisiete", 27},
        {u"veintiocho", 28}, {u"veintinueve", 29}, {u"treinta", 30}, {u"cuarenta", 40},
        {u"cincuenta", 50}, {u"sesenta", 60}, {u"setenta", 70}, {u"ochenta", 80},
        {u"noventa", 90}, {u"cien", 100}, {u"ciento", 100}, {u"doscientos", 200},
        {u"trescientos", 300}, {u"cuatrocientos", 400}, {u"quinientos", 500},
        {u"seiscientos", 600}, {u"setecientos", 700}, {u"ochocientos", 800},
        {u"novecientos", 900}};
    // clang-format on
    for (const auto& [word, value] : adds) w[word] = {NumberWord::kAdd, value};
    w[u"cent"] = w[u"cents"] = {NumberWord::kHundreds, 100};
    w[u"mil"] = w[u"mille"] = {NumberWord::kThousands, 1000};
    w[u"et"] = w[u"y"] = {NumberWord::kJoin, 0};
    return w;
  }();
  return words;
}

// A word of a line: [begin, end) and its letters lower-cased (or its digits).
struct LineWord {
  size_t begin = 0, end = 0;
  std::u16string lower;
};

// The next run of letters or of digits in the line from `i` on (hyphens part words: "dix-sept"),
// with `i` moved past it; nothing at the line's end.
std::optional<LineWord> nextLineWord(std::u16string_view line, size_t& i) {
  while (i < line.size() && !u_isalpha(line[i]) && !isDigitUnit(line[i])) ++i;
  if (i >= line.size()) return std::nullopt;
  const bool letter = u_isalpha(line[i]);
  LineWord w{i, i, {}};
  while (i < line.size() && (letter ? u_isalpha(line[i]) != 0 : isDigitUnit(line[i]))) {
    w.lower.push_back(static_cast<char16_t>(u_tolower(line[i++])));
  }
  w.end = i;
  return w;
}

// The value of number words in French or Spanish ("quatre vingt dix" 90, "mil neuf cent" 1900,
// "mil novecientos noventa" 1990), or nothing when one is no number word or a joiner stands at
// either end.
std::optional<int> valueOfNumberWords(const std::vector<LineWord>& words, size_t from, size_t to) {
  if (from >= to) return std::nullopt;
  const auto& table = numberWords();
  int total = 0, current = 0;
  for (size_t k = from; k < to; ++k) {
    const auto it = table.find(words[k].lower);
    if (it == table.end()) return std::nullopt;
    const NumberWord& n = it->second;
    switch (n.kind) {
      case NumberWord::kJoin:
        if (k == from || k + 1 == to) return std::nullopt;
        break;
      case NumberWord::kAdd:
        // French counts eighty as four twenties: "quatre-vingt".
        current = n.value == 20 && current % 100 == 4 ? current - 4 + 80 : current + n.value;
        break;
      case NumberWord::kHundreds:
        current = std::max(current, 1) * 100;
        break;
      case NumberWord::kThousands:
        total += std::max(current, 1) * 1000;
        current = 0;
        break;
    }
  }
  return total + current;
}

bool isNumberWord(const LineWord& w) { return numberWords().count(w.lower) > 0; }

// "de" of Spanish dates, before the month and before the year.
bool isLinkingWord(const LineWord& w) { return w.lower == u"de" || w.lower == u"del"; }

// The date written in words around a month named in full: its day in the words `before` it (the
// last of them next to the month), its year in the words after it from `i` on, in words (1000 to
// 2099) or digits. Its bounds in the line, or nothing.
std::optional<std::pair<size_t, size_t>> dateInWords(std::u16string_view line,
                                                     const std::vector<LineWord>& before, int month,
                                                     size_t i) {
  size_t dayEnd = before.size();
  if (dayEnd > 0 && isLinkingWord(before[dayEnd - 1])) --dayEnd;
  size_t dayBegin = dayEnd;
  while (dayBegin > 0 && dayEnd - dayBegin < 4 && isNumberWord(before[dayBegin - 1])) --dayBegin;
  const std::optional<int> day = valueOfNumberWords(before, dayBegin, dayEnd);
  if (!day) return std::nullopt;
  std::vector<LineWord> after;
  for (size_t j = i; after.size() < 9;) {
    std::optional<LineWord> w = nextLineWord(line, j);
    if (!w) break;
    after.push_back(std::move(*w));
  }
  size_t yearBegin = !after.empty() && isLinkingWord(after[0]) ? 1 : 0;
  size_t yearEnd = yearBegin;
  std::optional<int> year;
  if (yearEnd < after.size() && isDigitUnit(after[yearEnd].lower[0])) {
    if (after[yearEnd].lower.size() == 4) year = readYear(after[yearEnd].lower);
    ++yearEnd;
  } else {
    while (yearEnd < after.size() && isNumberWord(after[yearEnd])) ++yearEnd;
    // A trailing joiner belongs to what follows ("... quatre-vingt-dix et ...").
    while (yearEnd > yearBegin &&
           numberWords().at(after[yearEnd - 1].lower).kind == NumberWord::kJoin) {
      --yearEnd;
    }
    year = valueOfNumberWords(after, yearBegin, yearEnd);
    if (year && (*year < 1000 || *year > 2099)) year.reset();
  }
  if (!year || !isValidDate(*day, month, *year)) return std::nullopt;
  return std::pair{before[dayBegin].begin, after[yearEnd - 1].end};
}

// Adds the dates of a line written out in words: day in words, the month's full name, the year
// in words or digits. Only a few words around each month are held, however long the line.
void addDatesInWords(std::u16string_view line, const std::function<void(size_t, size_t)>& add) {
  constexpr size_t kWordsBefore = 5;
  const MonthNames& names = monthNames();
  std::vector<LineWord> before;
  for (size_t i = 0;;) {
    std::optional<LineWord> w = nextLineWord(line, i);
    if (!w) break;
    const auto month = names.number.find(w->lower);
    if (month != names.number.end() && names.full.count(w->lower)) {
      if (const auto date = dateInWords(line, before, month->second, i)) {
        add(date->first, date->second);
        i = date->second;
        before.clear();
        continue;
      }
    }
    if (before.size() == kWordsBefore) before.erase(before.begin());
    before.push_back(std::move(*w));
  }
}

}  // namespace

Matches findDates(std::u16string_view text) {
  const DatePatterns& p = datePatterns();
  Matches found;
  for (const Line& line : splitLines(text)) {
    const std::u16string_view lineText = text.substr(line.begin, line.end - line.begin);
    const auto add = [&](size_t start, size_t end) {
      found.push_back({line.begin + start, end - start, kResultTypeDate});
    };
    const bool digits = countDigits(lineText) > 0;
    const bool monthWord = digits && anyLowerWord(lineText, [](const std::u16string& w) {
                             return monthNames().number.count(w) > 0;
                           });
    // Dates in words count a thousand in their year ("mil", "mille") or have it in digits. Most
    // lines hold no "mil" at all, which is quicker to find than that they hold no such word.
    const bool mil = lineText.find(u"mil") != std::u16string_view::npos ||
                     lineText.find(u"MIL") != std::u16string_view::npos ||
                     lineText.find(u"Mil") != std::u16string_view::npos;
    if (monthWord || (mil && anyLowerWord(lineText, [](const std::u16string& w) {
                        return w == u"mil" || w == u"mille";
                      }))) {
      addDatesInWords(lineText, add);
    }
    if (!digits) continue;  // every other date form holds a digit
    if (hasNumericDateShape(lineText)) {
      forEachMatchWhere(p.numeric.get(), lineText, startsNumber,
                        [&](size_t s, size_t e, icu::RegexMatcher& m) {
                          if (numericDateIsValid(m)) add(s, e);
                        });
    }
    forEachMatchWhere(p.spacedNumeric.get(), lineText, startsNumber,
                      [&](size_t s, size_t e, icu::RegexMatcher& m) {
                        const int day = toNumber(groupText(m, 1)),
                                  month = toNumber(groupText(m, 2));
                        const auto year = readYear(groupText(m, 3));
                        if (year && isValidDate(day, month, year) && datedByLabel(lineText, s)) {
                          add(s, e);
                        }
                      });
    addYearMonthDayDates(p, lineText, add);
    forEachMatchWhere(p.romanMonth.get(), lineText, startsNumber,
                      [&](size_t s, size_t e, icu::RegexMatcher& m) {
                        if (romanMonthDateIsValid(m)) add(s, e);
                      });
    if (!monthWord) continue;
    forEachMatchWhere(p.dayMonth.get(), lineText, startsNumber,
                      [&](size_t s, size_t e, icu::RegexMatcher& m) {
                        if (namedMonthDateIsValid(m, 1, 2, 4) && sameMonthTwice(m, 2, 3)) {
                          add(s, e);
                        }
                      });
    forEachMatchWhere(p.yearFirstMonthName.get(), lineText, startsNumber,
                      [&](size_t s, size_t e, icu::RegexMatcher& m) {
                        if (namedMonthDateIsValid(m, 3, 2, 1)) add(s, e);
                      });
    forEachMatchWhere(p.monthDay.get(), lineText, startsWordOf(*p.monthStarts),
                      [&](size_t s, size_t e, icu::RegexMatcher& m) {
                        if (namedMonthDateIsValid(m, 2, 1, 3)) add(s, e);
                      });
    forEachMatchWhere(
        p.ordinalDayMonth.get(), lineText, startsWordOf(*p.ordinalStarts),
        [&](size_t s, size_t e, icu::RegexMatcher& m) {
          bool full = false;
          const auto month = monthNumber(groupText(m, 2), full);
          const auto year = readYear(groupText(m, 3));
          if (month && year && isValidDate(dayOfOrdinal(groupText(m, 1)), *month, year)) add(s, e);
        });
    forEachMatchWhere(p.monthYear.get(), lineText, startsWordOf(*p.fullMonthStarts),
                      [&](size_t s, size_t e, icu::RegexMatcher& m) {
                        if (readYear(groupText(m, 2))) add(s, e);
                      });
  }
  return withoutOverlaps(std::move(found));
}

void prepareDatePatterns() { datePatterns(); }

}  // namespace marrowfen::entities
