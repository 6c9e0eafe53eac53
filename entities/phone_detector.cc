#include "entities/phone_detector.h"

#include <phonenumbers/phonenumbermatch.h>
#include <phonenumbers/phonenumbermatcher.h>
#include <phonenumbers/phonenumberutil.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <unordered_map>

#include "common/unicode.h"
#include "entities/name_tagger_words.h"

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
// The regions a number written nationally is also read in when a telephone label stands before
// it ("Tel: 91 123 45 67", "Telefone: (11) 98765-4321"): the label says it is a phone number,
// so the numbering plans of more countries may read it without taking sums and codes for one.
const char* const kLabelledRegions[] = {"ES", "IT", "PT", "BR", "NL", "BE", "CH", "AT", "IE",
                                        "AU", "NZ", "ZA", "NG", "KE", "MY", "SG", "ID", "PH",
                                        "MX", "AR", "CO", "CL", "PL", "SE", "NO", "DK", "FI",
                                        "CZ", "TR", "JP", "CN", "HK", "AE", "SA", "PK", "RU"};

// The matcher's work on one text is bounded: past this many matcher runs (a text with tens of
// thousands of number-shaped pieces is a table of figures) the rest of the text is not searched.
constexpr size_t kMatcherBudget = 10000;
// The runs in the regions of labelled numbers have a budget of their own: past it, labelled
// numbers are read as the others are, and the rest of the text is still searched.
constexpr size_t kLabelledBudget = 4000;

// The phone numbers in `snippet` (UTF-16 units within it), found with the regions in turn until
// one reads the whole run at `runAt`. Counts matcher runs into `matcherRuns`.
Matches matchSnippet(std::u16string_view snippet, size_t runAt, std::u16string_view run,
                     bool labelled, size_t& matcherRuns, size_t& labelledRuns) {
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
  std::vector<const char*> regions(std::begin(kRegions), std::end(kRegions));
  if (labelled && !international) {
    regions.insert(regions.end(), std::begin(kLabelledRegions), std::end(kLabelledRegions));
  }
  for (size_t r = 0; r < regions.size(); ++r) {
    const char* region = regions[r];
    ++(r < std::size(kRegions) ? matcherRuns : labelledRuns);
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

bool isNumberUnit(char16_t c) {
  return isDigitUnit(c) || c == u'+' || c == u'(' || c == u')' || c == u'-' || c == u'.' ||
         c == u'/' || c == u' ' || c == 0xA0;
}

bool isSpace(char16_t c) { return c == u' ' || c == 0xA0; }

// The end of the run of digits and phone punctuation that starts at `start` (a digit, "+" or
// "("). A "+" starts a number, so it ends the run before it; so do two spaces.
size_t numberRunEnd(std::u16string_view line, size_t start) {
  size_t end = start;
  while (end < line.size() && isNumberUnit(line[end]) && !(line[end] == u'+' && end > start) &&
         !(isSpace(line[end]) && end + 1 < line.size() && isSpace(line[end + 1]))) {
    ++end;
  }
  return end;
}

// A piece of a run as the matcher sees it: [begin, end) from its first to its last digit group,
// and where the next piece starts.
struct Piece {
  size_t begin = 0, end = 0, next = 0;
  size_t digits = 0, maxDigits = 0;
};

// A run may hold several numbers, or a table of figures: the matcher sees it in pieces of at most
// 6 digit groups and as many digits as a phone number has (13 written nationally, 16 after a
// "+"), cut where a group would go past either. The piece that starts at `begin`.
Piece pieceAt(std::u16string_view line, size_t begin, size_t runEnd) {
  Piece piece{.begin = begin, .end = begin, .next = runEnd};
  piece.maxDigits = line[begin] == u'+' ? 16 : 13;
  size_t groups = 0;
  for (size_t at = begin; at < runEnd;) {
    if (!isDigitUnit(line[at])) {
      ++at;
      continue;
    }
    size_t g = at;
    while (g < runEnd && isDigitUnit(line[g])) ++g;
    if (groups > 0 && (piece.digits + (g - at) > piece.maxDigits || groups == 6)) {
      // The next piece starts at this group, or at the bracket just before it.
      piece.next = at > piece.end && line[at - 1] == u'(' ? at - 1 : at;
      break;
    }
    piece.digits += g - at;
    ++groups;
    piece.end = g;
    at = g;
  }
  if (piece.next <= begin) piece.next = runEnd;
  return piece;
}

// Reads the pieces of a text's lines with libphonenumber, remembering what each snippet gave
// (documents repeat their numbers) and counting matcher runs against the budget.
class PhoneReader {
 public:
  // Reads one piece of the line that starts at `lineBegin` in the text; false once the matcher
  // budget is spent.
  bool read(std::u16string_view line, size_t lineBegin, const Piece& piece, bool labelled) {
    // Up to 3 characters of context on either side, which the matcher looks at to tell a number
    // from part of a word, but no digit of a neighbouring piece.
    constexpr size_t kContext = 3;
    size_t from = piece.begin, to = piece.end;
    while (from > 0 && piece.begin - from < kContext && !isDigitUnit(line[from - 1])) --from;
    while (to < line.size() && to - piece.end < kContext && !isDigitUnit(line[to])) ++to;
    const std::u16string_view snippet = line.substr(from, to - from);
    const std::u16string_view run = line.substr(piece.begin, piece.end - piece.begin);
    const size_t runAt = piece.begin - from;
    labelled = labelled && labelledRuns_ < kLabelledBudget;
    std::u16string key(snippet);
    key.push_back(static_cast<char16_t>(runAt));
    key.push_back(labelled ? u'l' : u'-');
    auto cached = cache_.find(key);
    if (cached == cache_.end()) {
      if (matcherRuns_ >= kMatcherBudget) return false;
      if (cache_.size() > kMaxCached) cache_.clear();
      cached = cache_
                   .emplace(std::move(key), matchSnippet(snippet, runAt, run, labelled,
                                                         matcherRuns_, labelledRuns_))
                   .first;
    }
    for (const DetectorMatch& m : cached->second) {
      const size_t location = lineBegin + from + m.location;
      if (found_.empty() || location >= found_.back().location + found_.back().length) {
        found_.push_back({location, m.length, kResultTypePhoneNumber});
      }
    }
    return true;
  }

  Matches take() { return std::move(found_); }

 private:
  static constexpr size_t kMaxCached = 10000;
  std::unordered_map<std::u16string, Matches> cache_;  // snippet and run offset -> its matches
  size_t matcherRuns_ = 0;
  size_t labelledRuns_ = 0;
  Matches found_;
};

// Whether a telephone label ends just before `at` in the line ("Tel: ", "Phone ", "Telefone:",
// "TEL NO.: "), with only spaces, points or colons between.
bool afterPhoneLabel(std::u16string_view line, size_t at) {
  size_t end = at;
  for (int words = 0; words < 2; ++words) {
    while (end > 0 && (isSpace(line[end - 1]) || line[end - 1] == u':' || line[end - 1] == u'.' ||
                       line[end - 1] == u'\uFF1A')) {
      --end;
    }
    size_t begin = end;
    while (begin > 0 && u_isalpha(line[begin - 1])) --begin;
    if (begin == end || end - begin > 12) return false;
    std::u16string word;
    for (size_t k = begin; k < end; ++k) word.push_back(static_cast<char16_t>(u_tolower(line[k])));
    if (tagger_words::phoneLabels().count(toUtf8(word))) return true;
    if (word != u"no" && word != u"nr" && word != u"number") return false;
    end = begin;  // "Tel No.": the label before the word for number
  }
  return false;
}

// Reads the runs of one line; false once the matcher budget is spent.
bool readLine(std::u16string_view line, size_t lineBegin, PhoneReader& reader) {
  for (size_t i = 0; i < line.size();) {
    if (!isDigitUnit(line[i]) && line[i] != u'+' && line[i] != u'(') {
      ++i;
      continue;
    }
    const size_t runStart = i, runEnd = numberRunEnd(line, runStart);
    i = std::max(runEnd, i + 1);
    const bool labelled = afterPhoneLabel(line, runStart);
    // Digits that follow a letter without a break are the tail of a code, not a phone number:
    // an IBAN ("DE89 3704 0044 0532 0130 00"), a document number ("AB1234567").
    if (runStart > 0 && isDigitUnit(line[runStart]) && u_isalpha(line[runStart - 1])) continue;
    for (size_t pieceStart = runStart; pieceStart < runEnd;) {
      const Piece piece = pieceAt(line, pieceStart, runEnd);
      pieceStart = piece.next;
      const std::u16string_view run = line.substr(piece.begin, piece.end - piece.begin);
      if (piece.digits < 7 || piece.digits > piece.maxDigits || looksLikeDateOrAadhaar(run)) {
        continue;
      }
      // The label stands before the run's first piece only.
      if (!reader.read(line, lineBegin, piece, labelled && piece.begin == runStart)) return false;
    }
  }
  return true;
}

}  // namespace

Matches findPhoneNumbers(std::u16string_view text) {
  PhoneReader reader;
  for (const Line& line : splitLines(text)) {
    const std::u16string_view lineText = text.substr(line.begin, line.end - line.begin);
    // The matcher runs only on runs of digits and phone punctuation with at least 7 digits.
    if (countDigits(lineText) < 7) continue;
    if (!readLine(lineText, line.begin, reader)) break;
  }
  return reader.take();
}

}  // namespace marrowfen::entities
