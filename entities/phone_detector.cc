#include "entities/phone_detector.h"

#include <phonenumbers/phonenumbermatch.h>
#include <phonenumbers/phonenumbermatcher.h>
#include <phonenumbers/phonenumberutil.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <unordered_map>

#include "common/unicode.h"

namespace marrowfen::entities {

using namespace detector;

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
      matches.push_back(
          {unitOfByte[start], unitOfByte[stop] - unitOfByte[start], kResultTypePhoneNumber});
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
      if (runStart0 > 0 && isDigitUnit(lineText[runStart0]) && u_isalpha(lineText[runStart0 - 1]))
        continue;
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
          cached =
              cache.emplace(std::move(key), matchSnippet(snippet, runAt, runInSnippet, matcherRuns))
                  .first;
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

}  // namespace marrowfen::entities
