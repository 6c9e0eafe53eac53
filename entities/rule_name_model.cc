#include "entities/rule_name_model.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>

#include "common/unicode.h"
#include "entities/model/tagger_features.h"
#include "entities/rule_name_model_words.h"

namespace marrowfen::entities {
namespace {

using words::companySuffixes;
using words::connectors;
using words::firstNames;
using words::notNameWords;
using words::organizationKeys;
using words::organizationWords;
using words::personKeys;
using words::placeKeys;
using words::placePrepositions;
using words::places;
using words::titles;

std::string lowerCase(std::string_view s) {
  std::string out;
  if (std::all_of(s.begin(), s.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
    out.reserve(s.size());
    for (char c : s) out.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    return out;
  }
  icu::UnicodeString u =
      icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
  u.toLower(icu::Locale::getRoot());
  // Curly apostrophes are written as straight ones in the word lists.
  u.findAndReplace(icu::UnicodeString(static_cast<UChar32>(0x2019)), icu::UnicodeString("'"));
  u.toUTF8String(out);
  return out;
}

// What the model needs to know about one token.
struct Token {
  std::string lower;
  bool isWord = false;  // holds a letter or digit
  bool hasDigit = false;
  bool capitalised = false;  // starts with an upper- or title-case letter, holds no digit
  bool allCaps = false;      // two or more letters, none lower-case
  bool used = false;         // part of a labelled field
};

Token describe(std::string_view text) {
  Token t;
  t.lower = lowerCase(text);
  int letters = 0, lower = 0;
  bool first = true, firstUpper = false;
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<UChar32>(nextScalar(text, i));
    if (u_isdigit(c)) t.hasDigit = true;
    if (u_isalpha(c)) {
      ++letters;
      if (u_islower(c)) ++lower;
      if (first) firstUpper = u_isupper(c) || u_istitle(c);
    }
    if (u_isalnum(c)) first = false;
  }
  t.isWord = letters > 0 || t.hasDigit;
  t.capitalised = firstUpper && !t.hasDigit;
  t.allCaps = letters >= 2 && lower == 0;
  return t;
}

bool isColon(const Token& t) { return isColonToken(t.lower); }

enum class KeyKind { kUnknown, kPerson, kOrganization, kPlace };

KeyKind keyKindOf(const std::string& key) {
  if (organizationKeys().count(key)) return KeyKind::kOrganization;
  if (placeKeys().count(key)) return KeyKind::kPlace;
  if (personKeys().count(key)) return KeyKind::kPerson;
  // "Employee name", "Name of the nominee" ...: a key about a name names a person.
  const bool endsWithName = key.size() >= 5 && key.compare(key.size() - 5, 5, " name") == 0;
  if (endsWithName || key.rfind("name of ", 0) == 0) return KeyKind::kPerson;
  return KeyKind::kUnknown;
}

NameType typeOf(KeyKind kind) {
  switch (kind) {
    case KeyKind::kPerson:
      return NameType::kPersonalName;
    case KeyKind::kOrganization:
      return NameType::kOrganization;
    case KeyKind::kPlace:
      return NameType::kPlaceName;
    case KeyKind::kUnknown:
      break;
  }
  return NameType::kNone;
}

class RuleNameModel : public NameModel {
 public:
  std::vector<NameLabel> label(const std::vector<std::string>& texts) const override {
    std::vector<Token> tokens;
    tokens.reserve(texts.size());
    for (const std::string& text : texts) tokens.push_back(describe(text));
    std::vector<NameLabel> labels(tokens.size());
    labelFields(tokens, labels);
    labelRuns(tokens, labels);
    return labels;
  }

 private:
  static constexpr size_t kMaxKeyTokens = 7;

  // The longest known key that ends just before `colon` and starts at or after `from`.
  static std::pair<size_t, KeyKind> findKey(const std::vector<Token>& tokens, size_t from,
                                            size_t colon) {
    size_t bestStart = colon;
    KeyKind bestKind = KeyKind::kUnknown;
    std::string key;
    for (size_t start = colon; start > from && colon - start < kMaxKeyTokens;) {
      --start;
      key = tokens[start].lower + (key.empty() ? "" : " " + key);
      const KeyKind kind = keyKindOf(key);
      if (kind != KeyKind::kUnknown) {
        bestStart = start;
        bestKind = kind;
      }
    }
    if (bestKind == KeyKind::kUnknown && colon > from) bestStart = colon - 1;
    return {bestStart, bestKind};
  }

  // "Key: value" fields: each colon's key is the longest known key before it; its value runs to
  // the next field's key or the end of the line.
  static void labelFields(std::vector<Token>& tokens, std::vector<NameLabel>& labels) {
    std::vector<size_t> colons;
    for (size_t i = 0; i < tokens.size(); ++i) {
      if (isColon(tokens[i])) colons.push_back(i);
    }
    if (colons.empty()) return;
    std::vector<std::pair<size_t, KeyKind>> keys;
    size_t from = 0;
    for (size_t colon : colons) {
      keys.push_back(findKey(tokens, from, colon));
      from = colon + 1;
    }
    for (size_t k = 0; k < colons.size(); ++k) {
      const auto [keyStart, kind] = keys[k];
      const size_t valueEnd = k + 1 < colons.size() ? keys[k + 1].first : tokens.size();
      if (kind == KeyKind::kUnknown) continue;
      for (size_t i = keyStart; i <= colons[k]; ++i) tokens[i].used = true;
      labelValue(tokens, labels, colons[k] + 1, valueEnd, kind);
    }
  }

  static void labelValue(std::vector<Token>& tokens, std::vector<NameLabel>& labels, size_t begin,
                         size_t end, KeyKind kind) {
    const NameType type = typeOf(kind);
    size_t i = begin;
    // Titles are not part of the name.
    while (kind == KeyKind::kPerson && i < end &&
           (titles().count(tokens[i].lower) || tokens[i].lower == ".")) {
      tokens[i++].used = true;
    }
    const size_t maxWords = kind == KeyKind::kOrganization ? 12 : 6;
    size_t wordsTaken = 0;
    bool begins = true;
    for (; i < end; ++i) {
      Token& t = tokens[i];
      if (t.isWord) {
        if (t.hasDigit && kind != KeyKind::kOrganization) break;
        // "Name: PRIYA SHARMA DATE OF BIRTH ...": a field word ends a personal name.
        if (kind == KeyKind::kPerson && notNameWords().count(t.lower) &&
            !firstNames().count(t.lower))
          break;
        if (++wordsTaken > maxWords) break;
        labels[i] = {type, begins};
        begins = false;
        t.used = true;
        continue;
      }
      const std::string& p = t.lower;
      const bool inside = p == "." || p == "-" || p == "'" || p == "\u2019" ||
                          (kind == KeyKind::kOrganization && (p == "&" || p == "(" || p == ")"));
      if (inside && !begins) {
        labels[i] = {type, false};
        t.used = true;
        continue;
      }
      // Places are often listed: "Pune, Maharashtra" gives two.
      if (p == "," && kind == KeyKind::kPlace && !begins) {
        begins = true;
        continue;
      }
      break;
    }
  }

  static bool isSentenceStart(const std::vector<Token>& tokens, size_t i) {
    if (i == 0) return true;
    const std::string& before = tokens[i - 1].lower;
    return before == "." || before == "!" || before == "?" || before == ":" || before == "\"" ||
           before == "(" || before == "-" || before == "\u2022";
  }

  // Runs of capitalised words outside fields, classified as organisation, place or person.
  static void labelRuns(const std::vector<Token>& tokens, std::vector<NameLabel>& labels) {
    for (size_t i = 0; i < tokens.size();) {
      if (tokens[i].used || !tokens[i].capitalised) {
        ++i;
        continue;
      }
      const size_t end = runEnd(tokens, i);
      classifyRun(tokens, labels, i, end);
      i = end;
    }
  }

  static bool sameCaseStyle(const Token& a, const Token& b) {
    // Initials and short words ("A.", "AG", "MG Road") fit either style.
    const auto letters = [](const Token& t) { return t.lower.size() > 3; };
    return !letters(a) || !letters(b) || a.allCaps == b.allCaps;
  }

  // The end of the run of capitalised words that starts at `start`.
  static size_t runEnd(const std::vector<Token>& tokens, size_t start) {
    // No name is longer; the bound also keeps the work on each run small.
    constexpr size_t kMaxRunTokens = 24;
    size_t end = start + 1;
    size_t lastCap = start;
    while (end < tokens.size() && end - start < kMaxRunTokens) {
      const Token& t = tokens[end];
      if (t.used) break;
      if (t.capitalised && sameCaseStyle(tokens[lastCap], t)) {
        lastCap = end++;
        continue;
      }
      // Connectors and inner punctuation stay only when a capitalised word follows them.
      size_t j = end;
      while (j < tokens.size() && j - end < 3 && !tokens[j].used &&
             (connectors().count(tokens[j].lower) ||
              (tokens[j].lower == "." && tokens[j - 1].capitalised &&
               tokens[j - 1].lower.size() <= 4) ||
              tokens[j].lower == "-" || tokens[j].lower == "'")) {
        ++j;
      }
      if (j > end && j < tokens.size() && !tokens[j].used && tokens[j].capitalised) {
        end = j;
        continue;
      }
      break;
    }
    return lastCap + 1;
  }

  static bool known(const std::string& word) {
    return firstNames().count(word) || places().count(word) || organizationWords().count(word) ||
           titles().count(word);
  }

  static std::string joined(const std::vector<Token>& tokens, size_t begin, size_t end) {
    std::string s;
    for (size_t i = begin; i < end; ++i) {
      if (!tokens[i].isWord) continue;
      if (!s.empty()) s.push_back(' ');
      s += tokens[i].lower;
    }
    return s;
  }

  static void mark(std::vector<NameLabel>& labels, size_t begin, size_t end, NameType type) {
    for (size_t i = begin; i < end; ++i) labels[i] = {type, i == begin};
  }

  static void classifyRun(const std::vector<Token>& tokens, std::vector<NameLabel>& labels,
                          size_t begin, size_t end) {
    // "John Smith of Acme Ltd", "Siemens AG and Deutsche Bank": a connector between a name and
    // an organisation, or between two organisations, separates two names.
    const auto isOrganizationWord = [&](size_t i, size_t from) {
      const std::string& w = tokens[i].lower;
      return organizationWords().count(w) > 0 || (i > from && companySuffixes().count(w) > 0);
    };
    for (size_t i = begin + 1; i + 1 < end; ++i) {
      const std::string& w = tokens[i].lower;
      const bool joins = w == "and" || w == "&" || w == "und" || w == "et";
      if (w != "of" && !joins) continue;
      size_t next = i + 1;
      while (next < end && !tokens[next].capitalised) ++next;
      bool left = false, right = false;
      for (size_t j = begin; j < i; ++j) left = left || isOrganizationWord(j, begin);
      for (size_t j = next; j < end; ++j) right = right || isOrganizationWord(j, next);
      if (right && (!left || joins)) {
        classifyRun(tokens, labels, begin, i);
        classifyRun(tokens, labels, next, end);
        return;
      }
    }
    // Organisation words anywhere make an organisation ("State Bank of India", "ACME GmbH").
    for (size_t i = begin; i < end; ++i) {
      if (isOrganizationWord(i, begin)) {
        mark(labels, begin, end, NameType::kOrganization);
        return;
      }
    }
    // A capitalised first word of a sentence says nothing unless it is a known word.
    if (isSentenceStart(tokens, begin) && !known(tokens[begin].lower)) {
      size_t next = begin + 1;
      while (next < end && !tokens[next].capitalised) ++next;
      if (next < end) classifyRun(tokens, labels, next, end);
      return;
    }
    if (places().count(joined(tokens, begin, end))) {
      mark(labels, begin, end, NameType::kPlaceName);
      return;
    }
    size_t first = begin;
    bool titled = false;
    while (first < end && (titles().count(tokens[first].lower) || !tokens[first].isWord)) {
      titled = titled || tokens[first].isWord;
      ++first;
    }
    // A personal name stops at the first word that is not part of one.
    size_t last = first;
    size_t words = 0;
    bool knownFirstName = false;
    constexpr size_t kMaxPersonWords = 5;
    for (size_t i = first; i < end; ++i) {
      if (!tokens[i].isWord) continue;
      if (words == kMaxPersonWords) break;
      const std::string& w = tokens[i].lower;
      if ((words > 0 || !firstNames().count(w)) && notNameWords().count(w)) break;
      if (connectors().count(w) && !(w == "van" || w == "von" || w == "de" || w == "da" ||
                                     w == "del" || w == "di" || w == "bin" || w == "al")) {
        break;
      }
      if (firstNames().count(w)) knownFirstName = true;
      ++words;
      last = i + 1;
    }
    if (words == 0) return;
    const bool allCaps = tokens[first].allCaps;
    const bool byShape = words >= 2 && words <= 4 && !allCaps;
    if (titled || knownFirstName || byShape) {
      mark(labels, first, last, NameType::kPersonalName);
      return;
    }
    // "in Springfield": an unknown capitalised word after a place preposition.
    if (begin > 0 && placePrepositions().count(tokens[begin - 1].lower) && !allCaps &&
        !notNameWords().count(tokens[begin].lower)) {
      mark(labels, begin, end, NameType::kPlaceName);
    }
  }
};

}  // namespace

std::unique_ptr<NameModel> makeRuleNameModel() { return std::make_unique<RuleNameModel>(); }

}  // namespace marrowfen::entities
