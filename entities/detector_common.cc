#include "entities/detector_common.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>

#include "common/unicode.h"

namespace marrowfen::entities::detector {

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

bool isDigitUnit(char16_t c) { return c >= u'0' && c <= u'9'; }

size_t countDigits(std::u16string_view s) {
  return static_cast<size_t>(std::count_if(s.begin(), s.end(), isDigitUnit));
}

int toNumber(std::u16string_view digits) {
  int n = 0;
  for (char16_t c : digits) n = n * 10 + (c - u'0');
  return n;
}

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

icu::UnicodeString aliasOf(std::u16string_view s) {
  return icu::UnicodeString(false, s.data(), static_cast<int32_t>(s.size()));
}

std::unique_ptr<icu::RegexPattern> compile(const icu::UnicodeString& pattern, uint32_t flags) {
  UErrorCode status = U_ZERO_ERROR;
  UParseError parseError{};
  std::unique_ptr<icu::RegexPattern> p(
      icu::RegexPattern::compile(pattern, flags, parseError, status));
  if (U_FAILURE(status) || !p) {
    std::string text;
    pattern.toUTF8String(text);
    throw std::logic_error("data detector pattern does not compile (" +
                           std::string(u_errorName(status)) + " at offset " +
                           std::to_string(parseError.offset) + "): " + text);
  }
  return p;
}

icu::UnicodeString quoteForPattern(std::u16string_view s) {
  icu::UnicodeString out;
  for (size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    const bool pair = U16_IS_LEAD(c) && i + 1 < s.size() && U16_IS_TRAIL(s[i + 1]);
    const UChar32 scalar = pair ? U16_GET_SUPPLEMENTARY(c, s[i + 1]) : c;
    if (u_isalnum(scalar)) {
      out.append(scalar);
    } else {
      char hex[16];
      std::snprintf(hex, sizeof hex, "\\x{%X}", static_cast<unsigned>(scalar));
      out.append(icu::UnicodeString(hex, -1, icu::UnicodeString::kInvariant));
    }
    if (pair) ++i;
  }
  return out;
}

namespace {

// The alternation of the rests of words that share all before them, each rest a list of the
// UTF-16 pieces of its code points: one branch per first code point, an empty rest making the
// whole optional (tried after the longer words, as "?" is greedy).
icu::UnicodeString sharedAlternation(const std::vector<std::vector<std::u16string_view>>& rests) {
  bool endsHere = false;
  std::map<std::u16string_view, std::vector<std::vector<std::u16string_view>>> byFirst;
  for (const std::vector<std::u16string_view>& rest : rests) {
    if (rest.empty()) {
      endsHere = true;
      continue;
    }
    byFirst[rest.front()].emplace_back(rest.begin() + 1, rest.end());
  }
  icu::UnicodeString out;
  for (const auto& [first, more] : byFirst) {
    if (!out.isEmpty()) out.append(u'|');
    out.append(quoteForPattern(first));
    out.append(sharedAlternation(more));
  }
  if (out.isEmpty() || (byFirst.size() == 1 && !endsHere)) return out;
  return icu::UnicodeString(u"(?:") + out + (endsHere ? u")?" : u")");
}

}  // namespace

icu::UnicodeString alternationOf(std::span<const std::u16string_view> words) {
  std::vector<std::vector<std::u16string_view>> pieces;
  for (std::u16string_view w : words) {
    std::vector<std::u16string_view>& codePoints = pieces.emplace_back();
    for (size_t i = 0; i < w.size();) {
      const size_t n = U16_IS_LEAD(w[i]) && i + 1 < w.size() && U16_IS_TRAIL(w[i + 1]) ? 2 : 1;
      codePoints.push_back(w.substr(i, n));
      i += n;
    }
  }
  return sharedAlternation(pieces);
}

icu::UnicodeString firstUnitLookahead(std::span<const std::u16string_view> words) {
  std::u16string first;
  for (std::u16string_view w : words) {
    icu::UnicodeString folded(w.data(), static_cast<int32_t>(w.size()));
    folded.foldCase();
    if (folded.isEmpty()) return {};  // an empty word matches anywhere
    const char16_t c = folded.charAt(0);
    if (c < 0x80 && first.find(c) == std::u16string::npos) first.push_back(c);
  }
  std::sort(first.begin(), first.end());
  icu::UnicodeString out(u"(?=");
  if (!first.empty()) out += icu::UnicodeString(u"[") + quoteForPattern(first) + u"]|";
  out += u"(?-i:[^\\x{0}-\\x{7F}]))";
  return out;
}

bool mayStartWord(std::u16string_view line, size_t at) {
  if (at == 0) return true;
  const char16_t c = line[at - 1];
  return !((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'));
}

bool mayBeDigit(char16_t c) {
  return (c >= u'0' && c <= u'9') ||
         (c >= 0x80 && (U16_IS_SURROGATE(c) || u_charType(c) == U_DECIMAL_DIGIT_NUMBER));
}

WordStarts::WordStarts(const std::vector<std::u16string>& words) {
  for (const std::u16string& w : words) {
    icu::UnicodeString folded(w.data(), static_cast<int32_t>(w.size()));
    folded.foldCase();
    std::u16string prefix(folded.getBuffer(),
                          std::min<size_t>(kPrefix, static_cast<size_t>(folded.length())));
    // ASCII text folds to ASCII: it can begin only the words whose folding begins in ASCII.
    if (std::all_of(prefix.begin(), prefix.end(), [](char16_t c) { return c < 0x80; })) {
      prefixes_.push_back(std::move(prefix));
    }
  }
  std::sort(prefixes_.begin(), prefixes_.end());
  prefixes_.erase(std::unique(prefixes_.begin(), prefixes_.end()), prefixes_.end());
  for (const std::u16string& p : prefixes_) {
    if (p.size() < kPrefix) shortPrefixes_.push_back(p);
  }
}

bool WordStarts::mayStartAt(std::u16string_view line, size_t at) const {
  std::u16string next;
  for (size_t i = at; i < line.size() && next.size() < kPrefix; ++i) {
    const char16_t c = line[i];
    if (c >= 0x80) return true;
    next.push_back(c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + (u'a' - u'A')) : c);
  }
  if (next.size() == kPrefix && std::binary_search(prefixes_.begin(), prefixes_.end(), next)) {
    return true;
  }
  // A word whose folding is shorter than three units is its own prefix.
  return std::any_of(shortPrefixes_.begin(), shortPrefixes_.end(), [&](const std::u16string& p) {
    return std::u16string_view(next).substr(0, p.size()) == p;
  });
}

std::u16string groupText(icu::RegexMatcher& m, int group) {
  UErrorCode status = U_ZERO_ERROR;
  if (m.start(group, status) < 0) return {};
  icu::UnicodeString g = m.group(group, status);
  return std::u16string(g.getBuffer(), static_cast<size_t>(g.length()));
}

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

}  // namespace marrowfen::entities::detector
