// What the data detectors share: the text split into lines, cheap word tests that keep the
// patterns off lines that cannot match, and ICU pattern helpers.
#pragma once

#include <unicode/regex.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "entities/services.h"

namespace marrowfen::entities {

// A match of one of the detectors, in UTF-16 units of the text.
using Matches = std::vector<DetectorMatch>;

namespace detector {

// One line of the text: [begin, end) in UTF-16 units, without its line break.
struct Line {
  size_t begin = 0;
  size_t end = 0;
};

// The lines of `text`; CR LF is one break.
std::vector<Line> splitLines(std::u16string_view text);

bool isDigitUnit(char16_t c);
size_t countDigits(std::u16string_view s);
// The value of a run of ASCII digits.
int toNumber(std::u16string_view digits);

// The lower-cased letter runs of a line: a cheap test for the words a pattern needs, so that the
// patterns run only on the few lines that can match.
std::vector<std::u16string> lowerWords(std::u16string_view line);

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

// A read-only ICU string over `s`: no copy of the text.
icu::UnicodeString aliasOf(std::u16string_view s);

// The compiled `pattern`. The patterns are the program's own, so one that does not compile is a
// fault of the program: it throws std::logic_error naming the pattern and the place, rather than
// leaving a detector that silently finds nothing.
std::unique_ptr<icu::RegexPattern> compile(const icu::UnicodeString& pattern, uint32_t flags = 0);

// `s` for a pattern: letters and digits as they are, anything else escaped, so that it matches
// itself only.
icu::UnicodeString quoteForPattern(std::u16string_view s);

// An alternation of `words` for a pattern, each quoted, with the words that begin alike sharing
// their beginning ("(?:rd|st(?:reet)?)"): the engine tries the alternatives one after another,
// so a long list written out word by word costs a comparison per word at every place it is tried,
// where the shared form costs one per letter. Where one word begins another, the longer is tried
// first, so that none stops at a shorter word it begins with.
icu::UnicodeString alternationOf(std::span<const std::u16string_view> words);

// The words of postal addresses, lower case. Each list is written once: the patterns are built
// from it, and the quick word tests from its letters.
//
// Street words after a house number and a name: "12 Baker Street", "5 MG Marg".
inline constexpr std::u16string_view kStreetWords[] = {
    u"street",   u"st",       u"road",    u"rd",     u"avenue",    u"ave",     u"av",
    u"lane",     u"ln",       u"drive",   u"dr",     u"boulevard", u"blvd",    u"way",
    u"court",    u"ct",       u"place",   u"pl",     u"square",    u"sq",      u"terrace",
    u"close",    u"crescent", u"highway", u"hwy",    u"parkway",   u"circle",  u"row",
    u"mews",     u"gardens",  u"grove",   u"marg",   u"nagar",     u"colony",  u"chowk",
    u"gali",     u"sector",   u"layout",  u"cross",  u"main",      u"enclave", u"vihar",
    u"bagh",     u"puram",    u"rue",     u"bd",     u"allée",     u"chemin",  u"impasse",
    u"quai",     u"cours",    u"via",     u"viale",  u"piazza",    u"corso",   u"largo",
    u"calle",    u"avenida",  u"avda",    u"plaza",  u"paseo",     u"carrera", u"rua",
    u"travessa", u"praça",    u"alameda", u"straat", u"laan",      u"weg",     u"plein",
    u"gracht",   u"kade",     u"singel"};
// Street words of the languages that put them first: "Via Roma 10", "Calle Mayor 5", "C/ Mayor 5".
inline constexpr std::u16string_view kLeadingStreetWords[] = {
    u"via", u"viale", u"piazza", u"corso", u"largo", u"calle", u"c/", u"avenida", u"avda", u"plaza",
    u"paseo", u"carrera", u"rua", u"travessa", u"praça", u"alameda", u"avenue", u"boulevard",
    u"rue", u"place",
    // Portuguese and Indonesian abbreviations: "Av. Paulista, 1578", "Jl. Sudirman No. 5".
    u"av.", u"jl.", u"jln."};
// Street words of the languages that put them first and write them in small letters, as Polish
// does: "ul. Marszałkowska 10", "plac Bankowy 2".
inline constexpr std::u16string_view kSmallLeadingStreetWords[] = {u"ul.", u"ulica", u"aleja",
                                                                   u"plac"};
// Street words written apart after the name and before the number: "Berliner Straße 12",
// "Potsdamer Platz 1", "Nørre Allé 5", "Drottning Kristinas väg 5", "Václavské náměstí 1",
// "Andrássy út 5"; and the Norwegian "gate" after a name in the genitive ("Karl Johans gate 22"),
// which is only so read (a "Departure gate 5" is no street).
inline constexpr std::u16string_view kStreetWordsAfterName[] = {
    u"straße", u"strasse", u"str.", u"allee", u"weg",   u"platz", u"gasse", u"damm",  u"ufer",
    u"allé",   u"vej",     u"vei",  u"veien", u"väg",   u"vägen", u"gata",  u"gatan", u"plads",
    u"torv",   u"náměstí", u"nám.", u"třída", u"ulice", u"utca",  u"út",    u"tér"};
// Endings of German and Dutch street names written as one word: "Hauptstraße", "Goethestr.",
// "Keizersgracht".
inline constexpr std::u16string_view kStreetSuffixes[] = {
    u"straße", u"strasse", u"str.", u"weg", u"gasse", u"platz", u"allee", u"ring", u"damm", u"ufer",
    u"chaussee", u"straat", u"laan", u"gracht", u"plein", u"kade", u"singel", u"steenweg",
    // Swedish, Norwegian, Danish and Finnish ones: "Storgatan", "Drammensveien", "Strandvej",
    // "Vesterbrogade", "Aleksanterinkatu".
    u"gatan", u"gata", u"gaten", u"vägen", u"veien", u"vegen", u"vej", u"gade", u"katu", u"kuja",
    u"torget", u"stræde"};
// Words that label an address field: "Address:", "Anschrift:", "Dirección:".
inline constexpr std::u16string_view kAddressLabelWords[] = {
    u"address",   u"addr",      u"adresse", u"anschrift", u"dirección", u"direccion",
    u"domicilio", u"indirizzo", u"morada",  u"endereço",  u"adres",     u"adresa"};

// A look-ahead for a pattern, "(?=[..]|(?-i:[^\x{0}-\x{7F}]))", that holds where a case-insensitive
// alternation of `words` may match: at an ASCII unit that begins the case folding of one of them,
// or at any unit that is not ASCII (left to the alternation). It does not change what the
// pattern matches, only how soon it gives up.
icu::UnicodeString firstUnitLookahead(std::span<const std::u16string_view> words);

// Calls `found(start, end, matcher)` for each match of `pattern` in `line` (UTF-16 offsets in
// the line) that RegexMatcher::find() would find, and stops early when `found` returns false.
// It tries the pattern only at the positions `at` where `mayStart(line, at)` holds, where find()
// tries every position: the same matches as long as no match can start elsewhere. Most positions
// of a line cannot start a date or an address, and a pattern that opens with a look-behind or a
// long alternation is slow to find that out itself. The pattern's look-behind and look-ahead
// still see the whole line (transparent bounds); it must not use "^" or "$".
template <typename MayStart, typename Found>
void forEachMatchWhere(const icu::RegexPattern* pattern, std::u16string_view line,
                       const MayStart& mayStart, Found found) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::UnicodeString text = aliasOf(line);
  std::unique_ptr<icu::RegexMatcher> m(pattern->matcher(text, status));
  if (U_FAILURE(status)) return;
  m->useTransparentBounds(true);
  m->useAnchoringBounds(false);
  const auto size = static_cast<int64_t>(line.size());
  for (size_t at = 0; at < line.size();) {
    if (!mayStart(line, at)) {
      ++at;
      continue;
    }
    m->region(static_cast<int64_t>(at), size, status);
    if (!m->lookingAt(status) || U_FAILURE(status)) {
      if (U_FAILURE(status)) return;
      ++at;
      continue;
    }
    const auto start = static_cast<size_t>(m->start(status));
    const auto end = static_cast<size_t>(m->end(status));
    if constexpr (std::is_same_v<decltype(found(start, end, *m)), bool>) {
      if (!found(start, end, *m)) return;
    } else {
      found(start, end, *m);
    }
    at = end > start ? end : start + 1;
  }
}

// Whether `at` may start a word for a pattern that opens with (?<![\p{L}\p{N}]): the unit
// before it is not an ASCII letter or digit (other letters and digits are left to the pattern).
bool mayStartWord(std::u16string_view line, size_t at);

// Whether the unit at `at` may be where \d matches: a decimal digit, or half of a surrogate pair.
bool mayBeDigit(char16_t c);

// The positions where a case-insensitive alternation of words may match: the next (up to)
// three units of the text, if ASCII, must begin the case folding of one of the words. Text that
// is not ASCII there is left to the pattern.
class WordStarts {
 public:
  explicit WordStarts(const std::vector<std::u16string>& words);
  bool mayStartAt(std::u16string_view line, size_t at) const;

 private:
  static constexpr size_t kPrefix = 3;
  std::vector<std::u16string> prefixes_;       // sorted, lower-case ASCII
  std::vector<std::u16string> shortPrefixes_;  // those of the words shorter than kPrefix
};

// The text of capture group `group` of the current match; empty when it took no part.
std::u16string groupText(icu::RegexMatcher& m, int group);

// Keeps, among overlapping matches, the one that starts first (the longer one on a tie).
Matches withoutOverlaps(Matches matches);

}  // namespace detector
}  // namespace marrowfen::entities
