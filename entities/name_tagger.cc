#include "entities/name_tagger.h"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>

#include <algorithm>

#include "common/unicode.h"
#include "entities/date_detector.h"
#include "entities/model/tagger_features.h"
#include "entities/name_consistency.h"
#include "entities/name_span_rules.h"
#include "entities/name_tagger_words.h"

namespace marrowfen::entities {
namespace {

// "-", U+2010 hyphen or U+2011 non-breaking hyphen.
bool isHyphen(std::string_view segment) {
  return segment == "-" || segment == "\xE2\x80\x90" || segment == "\xE2\x80\x91";
}

NameTag tagOf(NameType type) {
  switch (type) {
    case NameType::kPersonalName:
      return NameTag::kPersonalName;
    case NameType::kOrganization:
      return NameTag::kOrganizationName;
    case NameType::kPlaceName:
      return NameTag::kPlaceName;
    case NameType::kNone:
      break;
  }
  return NameTag::kOtherWord;
}

// Whether `line` is a line of the machine-readable zone of a passport or identity card
// ("P<FRAMARTIN<<SOPHIE<ANNE<<<<..."): capitals, digits and filler '<' only, at least two
// fillers and as long as the shortest such line (30 characters) less a few an OCR may lose.
bool isMachineReadableLine(std::string_view line) {
  size_t length = 0, fillers = 0;
  for (char c : line) {
    if (c == ' ') continue;
    if (c == '<')
      ++fillers;
    else if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
      return false;
    ++length;
  }
  return fillers >= 2 && length >= 25;
}

// Whether a run of text without spaces is an e-mail address or a web address.
bool isAddressForMachines(std::string_view chunk) {
  const size_t at = chunk.find('@');
  if (at != std::string_view::npos && at > 0 && chunk.find('.', at) != std::string_view::npos) {
    return true;
  }
  const std::string lower = lowerCase(chunk.substr(0, 8));
  return lower.starts_with("http://") || lower.starts_with("https://") || lower.starts_with("www.");
}

// Clears the labels of the tokens of e-mail and web addresses ("sofia.rossi@example.com"): the
// words of an address are never a name, though they may spell one.
void clearMachineAddresses(std::string_view text, const std::vector<LineToken>& tokens,
                           std::vector<NameLabel>& labels) {
  for (size_t first = 0; first < tokens.size();) {
    size_t end = first + 1;  // tokens that touch, with no space between them
    while (end < tokens.size() && tokens[end].range.begin == tokens[end - 1].range.end) ++end;
    const size_t from = tokens[first].range.begin, to = tokens[end - 1].range.end;
    if (isAddressForMachines(text.substr(from, to - from))) {
      for (size_t k = first; k < end; ++k) labels[k] = NameLabel{};
    }
    first = end;
  }
}

bool startsWithCapitalOrDigit(std::string_view word) {
  if (word.empty()) return false;
  if (word[0] >= '0' && word[0] <= '9') return true;
  size_t i = 0;
  const char32_t c = nextScalar(word, i);
  return u_isupper(c) || u_istitle(c);
}

// Whether each token lies within a date, as the date detector finds dates in the line.
std::vector<bool> tokensInDates(std::string_view text, const std::vector<LineToken>& tokens) {
  std::vector<bool> inDate(tokens.size(), false);
  const size_t from = tokens.front().range.begin;
  const Matches dates = findDates(toUtf16(text.substr(from, tokens.back().range.end - from)));
  if (dates.empty()) return inDate;
  // Each token's place in the line's UTF-16 text, where the dates were found.
  size_t at = 0, byte = from;
  for (size_t k = 0; k < tokens.size(); ++k) {
    const TextRange& range = tokens[k].range;
    at += utf16Length(text.substr(byte, range.begin - byte));
    const size_t end = at + utf16Length(text.substr(range.begin, range.end - range.begin));
    for (const DetectorMatch& date : dates) {
      inDate[k] = inDate[k] || (at >= date.location && end <= date.location + date.length);
    }
    at = end;
    byte = range.end;
  }
  return inDate;
}

// Clears the names that are dates ("7 de febrero de 1982", "El 7 de febrero de 1982"): a model may
// take a date written out in a language it knows little of for a name. The date is reported as a
// date. A name that holds a date beside words with capitals of their own is a name ("28 March
// Stadium", "Movimiento 19 de Abril"), unless the text is in a language the model was not taught:
// there the words it labels around a date are no name either ("Nascido em 5 de maio de 1990 em
// Lisboa"). Only lines where a name holds a digit are searched.
void clearNamesOverDates(std::string_view text, const std::vector<LineToken>& tokens,
                         const std::vector<std::string>& words, std::vector<NameLabel>& labels,
                         bool languageTaught) {
  bool digitInName = false;
  for (size_t k = 0; k < tokens.size() && !digitInName; ++k) {
    digitInName = labels[k].type != NameType::kNone &&
                  words[k].find_first_of("0123456789") != std::string::npos;
  }
  if (!digitInName) return;
  const std::vector<bool> inDate = tokensInDates(text, tokens);
  for (size_t i = 0; i < tokens.size();) {
    if (labels[i].type == NameType::kNone) {
      ++i;
      continue;
    }
    const size_t end = nameEnd(labels, i, tokens.size());
    bool date = false, namedBeside = false;
    for (size_t k = i; k < end; ++k) {
      date = date || inDate[k];
      // Words of three letters or fewer are articles and prepositions here ("El", "On", "Am").
      namedBeside = namedBeside ||
                    (!inDate[k] && startsWithCapitalOrDigit(words[k]) && utf16Length(words[k]) > 3);
    }
    if (date && (!namedBeside || !languageTaught)) {
      for (size_t k = i; k < end; ++k) labels[k] = NameLabel{};
    }
    i = end;
  }
}

// `word` with its ASCII capitals in small letters: enough to look up the ASCII words of the
// lists below.
std::string asciiLower(std::string_view word) {
  std::string out(word);
  for (char& c : out) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return out;
}

// Whether a token is a sum of money as receipts and invoices print them: digits with two
// decimals ("80.91", "1,250.00", "RM11.90").
bool isAmount(std::string_view token) {
  const size_t n = token.size();
  if (n < 4 || (token[n - 3] != '.' && token[n - 3] != ',')) return false;
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  return digit(token[n - 1]) && digit(token[n - 2]) && digit(token[n - 4]);
}

// The organisations a model reads into the lines of a price list ("SQUARE BLACK FRAME 1 12.90",
// "TOTAL 22.90") are most often the articles and sums themselves: a line that holds a sum of
// money keeps its people and places but no organisation the model found. One with a legal form
// is read again by the rule below.
// The same holds for the heading of a price list, a line with two or more of its column words
// ("QTY U.PRICE TOTAL (RM)", "GST SUMMARY AMOUNT (RM) TAX"), where a name of column words alone
// ("Qty Price") is none of any type.
void clearOrganizationsInPriceLines(const std::vector<std::string>& words,
                                    std::vector<NameLabel>& labels) {
  const auto column = [](const std::string& w) {
    return w.size() <= 11 && tagger_words::priceColumns().count(asciiLower(w)) > 0;
  };
  const auto columns = std::count_if(words.begin(), words.end(), column);
  if (columns < 2 &&
      std::none_of(words.begin(), words.end(), [](const std::string& w) { return isAmount(w); })) {
    return;
  }
  for (NameLabel& l : labels) {
    if (l.type == NameType::kOrganization) l = NameLabel{};
  }
  const size_t n = std::min(words.size(), labels.size());
  for (size_t i = 0; columns >= 2 && i < n;) {
    const size_t end = labels[i].type == NameType::kNone ? i + 1 : nameEnd(labels, i, n);
    if (labels[i].type != NameType::kNone &&
        std::all_of(words.begin() + i, words.begin() + end, column)) {
      for (size_t k = i; k < end; ++k) labels[k] = NameLabel{};
    }
    i = end;
  }
}

// Words that join two people's names in the model languages ("Hans Müller und Maria Schmidt"),
// and the particles that may follow them ("fille de Pierre Dubois et de Marie Laurent").
bool isConjunction(std::string_view lower) {
  return lower == "and" || lower == "und" || lower == "et" || lower == "en" || lower == "y" ||
         lower == "e";
}
bool isParticleAfterConjunction(std::string_view lower) {
  return lower == "de" || lower == "von" || lower == "van" || lower == "of";
}

// Splits a person's name that the model ran over a conjunction joining two people, each with
// two capitalised words or more ("Pierre Dubois et de Marie Laurent", "Juan García y María
// López"). One name with a conjunction inside keeps it ("José Ortega y Gasset").
void splitPersonsAtConjunctions(const std::vector<std::string>& words,
                                std::vector<NameLabel>& labels) {
  const size_t n = std::min(words.size(), labels.size());
  const auto capitalised = [&](size_t from, size_t to) {
    size_t count = 0;
    for (size_t k = from; k < to; ++k) count += startsWithCapitalOrDigit(words[k]) ? 1 : 0;
    return count;
  };
  for (size_t i = 0; i < n;) {
    const size_t end = nameEnd(labels, i, n);
    if (labels[i].type == NameType::kPersonalName) {
      for (size_t k = i + 1; k + 1 < end; ++k) {
        if (!isConjunction(lowerCase(words[k]))) continue;
        size_t next = k + 1;
        if (next + 1 < end && isParticleAfterConjunction(lowerCase(words[next]))) ++next;
        if (capitalised(i, k) < 2 || capitalised(next, end) < 2) continue;
        for (size_t j = k; j < next; ++j) labels[j] = NameLabel{};
        labels[next].begins = true;
        break;
      }
    }
    i = end;
  }
}

// A field of one person's name written surname first, "Name: SMITH, John", "Patient: DOE, JANE
// A": where the model reads two people on either side of the comma, the value after a form label
// is one name. Both sides of up to three words, and nothing else named after the colon.
void joinSurnameFirstNames(const std::vector<std::string>& words, std::vector<NameLabel>& labels,
                           const NameModel& model) {
  const size_t n = std::min(words.size(), labels.size());
  size_t colon = 0;
  while (colon < n && !isColonToken(words[colon])) ++colon;
  if (colon == 0 || colon + 4 > n) return;
  std::vector<std::string> key(words.begin(), words.begin() + static_cast<std::ptrdiff_t>(colon));
  key.emplace_back(":");
  const size_t first = colon + 1;
  if (labels[first].type != NameType::kPersonalName) return;
  const size_t comma = nameEnd(labels, first, n);
  if (comma >= n || words[comma] != "," || comma - first > 3 || comma + 1 >= n ||
      labels[comma + 1].type != NameType::kPersonalName) {
    return;
  }
  const size_t end = nameEnd(labels, comma + 1, n);
  if (end - comma - 1 > 3) return;
  for (size_t k = end; k < n; ++k) {
    if (labels[k].type != NameType::kNone) return;
  }
  if (!model.isFieldLabel(key)) return;
  for (size_t k = comma; k < end; ++k) labels[k] = NameLabel{NameType::kPersonalName, false};
}

// Whether a line is written without small letters ("TEO HENG STATIONERY & BOOKS").
bool inCapitals(const std::vector<std::string>& words) {
  bool letters = false;
  for (const std::string& w : words) {
    for (size_t i = 0; i < w.size();) {
      const char32_t c = nextScalar(w, i);
      if (u_islower(c)) return false;
      letters = letters || u_isalpha(c);
    }
  }
  return letters;
}

bool isIn(const std::unordered_set<std::string_view>& words, std::string_view word) {
  return words.count(word) > 0;
}

// One line as the legal-form rule reads it.
struct FirmLine {
  const std::vector<std::string>& words;
  std::vector<NameLabel>& labels;
  const NameModel& model;
  size_t n = 0;                    // the words that have a label
  std::vector<std::string> lower;  // each of them in small letters
  bool capitals = false;           // the line is written without small letters
};

// Whether a line may hold a legal form or a trade word. Most lines hold none: a cheap look at
// the ASCII letters before anything else.
bool mayNameAFirm(const std::vector<std::string>& words, size_t n) {
  for (size_t k = 0; k < n; ++k) {
    if (words[k].size() > 11) continue;
    const std::string w = asciiLower(words[k]);
    if (isIn(tagger_words::legalForms(), w) || w == "co" || w == "b" ||
        isIn(tagger_words::tradeNameEnds(), w) || isIn(tagger_words::tradeNameStarts(), w)) {
      return true;
    }
  }
  return false;
}

bool isJoiner(const FirmLine& line, size_t k) {
  return isIn(tagger_words::nameJoiners(), line.lower[k]);
}

// Whether word k is the last word of a legal form: "BHD", "LTD" ... ; "S/B"; "CO." or "CO" ending
// the name.
bool formEndsAt(const FirmLine& line, size_t k) {
  const std::vector<std::string>& lower = line.lower;
  if (k > 0 && lower[k - 1] == "(") return false;  // "(INC. GST)" is no firm's form
  if (k > 0 && !lower[k - 1].empty() && lower[k - 1][0] >= '0' && lower[k - 1][0] <= '9') {
    return false;  // "5 KG"
  }
  if (isIn(tagger_words::legalForms(), lower[k])) return k > 0;
  if (lower[k] == "b" && k >= 2 && lower[k - 1] == "/" && lower[k - 2] == "s") return k > 2;
  if (lower[k] == "co" && k > 0) {
    return k + 1 == line.n || lower[k + 1] == "." || lower[k + 1] == "(";
  }
  return false;
}

// The last word of the legal form ending at e: further forms after it belong to it ("SDN BHD",
// "CO. (M) BHD", "Pty Ltd").
size_t lastFormWord(const FirmLine& line, size_t e) {
  size_t last = e;
  for (size_t k = e + 1; k < line.n && k <= e + 4; ++k) {
    if (formEndsAt(line, k) || line.lower[k] == "sdn" || line.lower[k] == "pte") {
      last = k;
    } else if (!isJoiner(line, k) && line.lower[k] != "m") {
      break;
    }
  }
  return last;
}

// Whether word k may belong to a firm's name. A number does at the start of a line ("99 SPEED MART
// S/B") or in capitals ("AMPANG 210 FIRST CITY PARKING SDN BHD"), not in a sentence ("In 2019 Acme
// Ltd grew").
bool nameLike(const FirmLine& line, size_t k) {
  const std::string& word = line.words[k];
  const bool digit = !word.empty() && word[0] >= '0' && word[0] <= '9';
  if (digit) return k == 0 || line.capitals;
  return startsWithCapitalOrDigit(word) || isJoiner(line, k);
}

// Whether word k is the month of a date: a month's name or its abbreviation beside a number
// ("10 Feb", "May 2024").
bool monthOfADate(const FirmLine& line, size_t k) {
  if (!isIn(tagger_words::monthNames(), line.lower[k])) return false;
  const auto number = [&](size_t j) {
    return j < line.n && !line.words[j].empty() && line.words[j][0] >= '0' &&
           line.words[j][0] <= '9';
  };
  return (k > 0 && number(k - 1)) || number(k + 1);
}

// The first word of the name of the firm whose legal form starts at e.
size_t firmNameStart(const FirmLine& line, size_t e) {
  constexpr size_t kMaxWords = 8;
  const std::vector<std::string>& lower = line.lower;
  // Back over capitalised words and joining signs; a small word ("of") only inside an
  // organisation the model found, so that "John Smith of Acme Ltd" keeps its person; never over
  // a date ("10 Feb Acme Ltd" on a statement).
  size_t first = e, wordsSeen = 0;
  while (first > 0 && nameLike(line, first - 1) &&
         !isIn(tagger_words::smallNameWords(), lower[first - 1]) &&
         !isIn(tagger_words::wordsBeforeFirm(), lower[first - 1]) &&
         !monthOfADate(line, first - 1) && wordsSeen < kMaxWords) {
    --first;
    if (!isJoiner(line, first)) ++wordsSeen;
  }
  // The first word of a sentence has its capital from the sentence: a common word there
  // ("Yesterday Acme Ltd announced") is no part of the name unless the model says so.
  const bool sentenceStart = first == 0 || lower[first - 1] == "." || lower[first - 1] == "!" ||
                             lower[first - 1] == "?" || isColonToken(line.words[first - 1]);
  if (!line.capitals && sentenceStart && first < e &&
      line.labels[first].type != NameType::kOrganization &&
      line.model.isCommonWord(line.words[first])) {
    ++first;
  }
  if (line.labels[e].type == NameType::kOrganization) {
    size_t start = e;
    while (start > 0 && !line.labels[start].begins &&
           line.labels[start - 1].type == NameType::kOrganization) {
      --start;
    }
    first = std::min(first, start);
  }
  return first;
}

// Whether the words from `first` up to the legal form at e hold one besides legal forms and
// joining signs.
bool hasNameWord(const FirmLine& line, size_t first, size_t e) {
  bool named = false;
  for (size_t k = first; k < e; ++k) {
    const std::string& w = line.lower[k];
    named = named || (!isJoiner(line, k) && !isIn(tagger_words::legalForms(), w) && w != "sdn" &&
                      w != "pte");
  }
  return named;
}

// Labels the words [first, last] an organisation, from the first that is no joining sign or small
// word; a name of the model's that ran on past the legal form ends there.
void markFirm(FirmLine& line, size_t first, size_t last) {
  while (first < last &&
         (isJoiner(line, first) || isIn(tagger_words::smallNameWords(), line.lower[first]))) {
    ++first;
  }
  if (first >= last) return;
  for (size_t k = first; k <= last; ++k) line.labels[k] = {NameType::kOrganization, k == first};
  for (size_t k = last + 1;
       k < line.n && line.labels[k].type != NameType::kNone && !line.labels[k].begins; ++k) {
    line.labels[k] = NameLabel{};
  }
}

// A letterhead in capitals of two to five name-like words is an organisation when it ends in a
// trade word ("... TRADING", "... ENTERPRISE 2") or opens with a trade word of Malay shops.
void markTradeName(FirmLine& line) {
  const size_t n = line.n;
  if (!line.capitals || n < 2 || n > 5) return;
  const auto& words = line.words;
  const bool allNameLike = std::all_of(
      words.begin(), words.begin() + static_cast<std::ptrdiff_t>(n), [&](const std::string& w) {
        return startsWithCapitalOrDigit(w) || isIn(tagger_words::nameJoiners(), w);
      });
  if (!allNameLike) return;
  const bool numbered = n >= 3 && std::all_of(words[n - 1].begin(), words[n - 1].end(),
                                              [](char c) { return c >= '0' && c <= '9'; });
  const auto& ends = tagger_words::tradeNameEnds();
  if (isIn(ends, line.lower[n - 1]) || (numbered && isIn(ends, line.lower[n - 2])) ||
      (isIn(tagger_words::tradeNameStarts(), line.lower[0]) && n <= 5)) {
    markFirm(line, 0, n - 1);
  }
}

// Firms name themselves with their legal form ("LIGHTROOM GALLERY SDN BHD", "AEON CO. (M) BHD",
// "Acme Widgets Ltd", "Müller Bau GmbH"): the capitalised words before a legal form, up to the
// start of the line, a colon, a word in small letters or a word that leads up to a name ("PAID
// TO", "von"), are an organisation whatever the model made of them; the small words inside names
// ("Bank of Scotland plc") only where the model found the organisation. In a line in capitals
// that is a letterhead of up to five words, so is a trade name ending in "ENTERPRISE" or "TRADING"
// or opening with a trade word of Malay shops ("RESTORAN WAN SHENG", "SYARIKAT PERNIAGAAN GIN
// KEE").
void markFirmsByLegalForm(const std::vector<std::string>& words, std::vector<NameLabel>& labels,
                          const NameModel& model) {
  const size_t n = std::min(words.size(), labels.size());
  if (!mayNameAFirm(words, n)) return;
  FirmLine line{words, labels, model, n, std::vector<std::string>(n), inCapitals(words)};
  for (size_t k = 0; k < n; ++k) line.lower[k] = lowerCase(words[k]);
  for (size_t e = 0; e < n; ++e) {
    if (!formEndsAt(line, e)) continue;
    const size_t last = lastFormWord(line, e);
    const size_t first = firmNameStart(line, e);
    if (hasNameWord(line, first, e)) markFirm(line, first, last);
    e = last;
  }
  markTradeName(line);
}

// Whether a line is a firm's registration number alone, as printed under its name: "(65351-M)",
// "(000760274-K)", "002043319-W", "(JM0517726)", "(CO.NO.639240 H)".
bool isRegistrationLine(std::string_view line) {
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
    line.remove_suffix(1);
  const bool bracketed = line.size() >= 2 && line.front() == '(' && line.back() == ')';
  if (bracketed) line = line.substr(1, line.size() - 2);
  size_t letters = 0, run = 0, longest = 0;
  for (char c : line) {
    const bool digit = c >= '0' && c <= '9';
    letters += c >= 'A' && c <= 'Z';
    run = digit ? run + 1 : 0;
    longest = std::max(longest, run);
    if (!digit && !(c >= 'A' && c <= 'Z') && c != '-' && c != '.' && c != ' ') return false;
  }
  if (!bracketed) {
    // Digits and a check letter only: "002043319-W", "1241045-D"; not "TEL 012-3456789".
    const size_t body =
        line.size() >= 2 && line[line.size() - 2] == '-' ? line.size() - 2 : line.size() - 1;
    return line.size() >= 6 && letters == 1 && line.back() >= 'A' && line.back() <= 'Z' &&
           longest == body;
  }
  return line.size() <= 24 && longest >= 5 && letters <= 6;
}

// Whether a word is made of letters only and opens with a capital.
bool isCapitalisedWord(const std::string& word) {
  bool first = true;
  for (size_t i = 0; i < word.size();) {
    const char32_t c = nextScalar(word, i);
    if (!u_isalpha(c) || (first && !u_isupper(c))) return false;
    first = false;
  }
  return !first;
}

// Whether `tokens` (a line, or the key before a colon) are a form label: one the model knows
// ("Place of birth", "Surname/Nom"), or one printed in two or more languages split by "/" of
// which the model knows one and every other is a single word written in the same case
// ("Staatsangehörigkeit/Nationality", "Geburtsort/Place of birth", "NATIONALITÉ/NATIONALITY"), as
// cards print them. "Name/MUSTERMANN" is no label: a label with its value after the slash.
bool isFormLabel(const std::vector<std::string>& tokens, const NameModel& model) {
  if (model.isFieldLabel(tokens)) return true;
  std::vector<std::vector<std::string>> parts(1);
  for (const std::string& t : tokens) {
    if (t == "/") {
      parts.emplace_back();
    } else {
      parts.back().push_back(t);
    }
  }
  const auto known = std::find_if(parts.begin(), parts.end(), [&](const auto& part) {
    return !part.empty() && model.isFieldLabel(part);
  });
  if (parts.size() < 2 || known == parts.end()) return false;
  const bool capitals = inCapitals(*known);
  return std::all_of(parts.begin(), parts.end(), [&](const std::vector<std::string>& part) {
    return model.isFieldLabel(part) ||
           (part.size() == 1 && isCapitalisedWord(part[0]) && inCapitals(part) == capitals);
  });
}

// Whether words[first, end) are the key of a field: keys of contact details ("Tél", "E-Mail",
// "Indirizzo"), or, at the line's start, a form label the model knows ("Place of birth").
bool isFieldKey(const std::vector<std::string>& words, size_t first, size_t end,
                const NameModel& model) {
  std::vector<std::string> key(words.begin() + static_cast<std::ptrdiff_t>(first),
                               words.begin() + static_cast<std::ptrdiff_t>(end));
  size_t keys = 0, others = 0;
  for (const std::string& w : key) {
    if (tagger_words::contactFieldKeys().count(lowerCase(w)))
      ++keys;
    else if (startsWithCapitalOrDigit(w))
      ++others;
  }
  const bool contact = keys > 0 && others == 0;
  key.emplace_back(":");
  return contact || (first == 0 && isFormLabel(key, model));
}

// The key of a field ("Teléfono: 912 345 678", "Indirizzo: Via Roma 12", "Tél. : 01 42 68 53 00")
// is no name, though a model that knows little of the text's language may label it as one, or run
// a name on through the colon into the value; nor is a name made of a form label alone. Such a key
// is cleared (at the line's start, every word before its first colon, "NATIONALITÉ/NATIONALITY:"
// too), and a name that runs through the colon after a key keeps the words after it. Names with a
// colon that are no keys ("Star Trek : Deep Space Nine") and names before a colon that are no keys
// ("Anna Weber: Ich komme") stay.
void clearFieldKeys(const std::vector<std::string>& words, std::vector<NameLabel>& labels,
                    const NameModel& model) {
  const size_t n = std::min(words.size(), labels.size());
  size_t colon = 1;
  while (colon < n && !isColonToken(words[colon])) ++colon;
  const size_t keyEnd = colon > 1 && words[colon - 1] == "." ? colon - 1 : colon;
  if (colon < n && isFieldKey(words, 0, keyEnd, model)) {
    for (size_t j = 0; j <= colon; ++j) labels[j] = NameLabel{};
    if (colon + 1 < n && labels[colon + 1].type != NameType::kNone) labels[colon + 1].begins = true;
  }
  for (size_t i = 0; i < n;) {
    if (labels[i].type == NameType::kNone) {
      ++i;
      continue;
    }
    const size_t end = nameEnd(labels, i, n);
    size_t after = end;
    if (after < n && words[after] == ".") ++after;
    // A form label is no name with its colon or without, where a card prints the value after
    // it on the same line ("FECHA DE NACIMIENTO 15 03 1985").
    const std::vector<std::string> name(words.begin() + static_cast<std::ptrdiff_t>(i),
                                        words.begin() + static_cast<std::ptrdiff_t>(end));
    if ((after < n && isColonToken(words[after]) && isFieldKey(words, i, end, model)) ||
        isFormLabel(name, model)) {
      for (size_t k = i; k < end; ++k) labels[k] = NameLabel{};
    }
    i = end;
  }
}

// A letterhead names its firm on the line above the firm's registration number: a line of up to
// six capitalised words without digits there ("GOLDEN KEY MAKER" above "(000760274-K)") is an
// organisation.
void markNameAboveRegistration(std::string_view text, const std::vector<LineToken>& tokens,
                               const std::vector<std::string>& words,
                               std::vector<NameLabel>& labels) {
  const size_t n = std::min(words.size(), labels.size());
  if (n == 0 || n > 8) return;
  size_t named = 0;
  for (size_t k = 0; k < n; ++k) {
    const bool joiner = words[k] == "&" || words[k] == "'" || words[k] == "-" || words[k] == ".";
    if (!joiner && (!startsWithCapitalOrDigit(words[k]) ||
                    words[k].find_first_of("0123456789") != std::string::npos)) {
      return;
    }
    named += joiner ? 0 : 1;
  }
  if (named == 0 || named > 6) return;
  const size_t lineEnd = text.find('\n', tokens.back().range.end);
  if (lineEnd == std::string_view::npos) return;
  const size_t nextEnd = std::min(text.find('\n', lineEnd + 1), text.size());
  if (!isRegistrationLine(text.substr(lineEnd + 1, nextEnd - lineEnd - 1))) return;
  for (size_t k = 0; k < n; ++k) labels[k] = {NameType::kOrganization, k == 0};
}

// A till receipt opens with its seller's name: on a price list, a first line of one to four
// capitalised words without digits ("TRADER JOE'S", "ALDI", "WALGREENS #4521") is an organisation
// unless it is a heading of the receipt itself ("TAX INVOICE", "WELCOME TO ..."), a person's name
// as the model reads it, or common words only ("THANK YOU", a stamp's "POSTED"). A store's number
// after the name ("#4521", "No. 12") is no part of it.
void markSellerOnFirstLine(std::string_view text, const std::vector<LineToken>& tokens,
                           const std::vector<std::string>& words, std::vector<NameLabel>& labels,
                           const NameModel& model) {
  const size_t n = std::min(words.size(), labels.size());
  if (n == 0 || text.substr(0, tokens.front().range.begin).find_first_not_of(" \t\r\n") !=
                    std::string_view::npos) {
    return;
  }
  size_t end = n;  // the store's number goes
  const auto storeNumber = [&](size_t k) {
    return words[k] == "#" || lowerCase(words[k]) == "no" || lowerCase(words[k]) == "store";
  };
  for (size_t k = 1; k < n; ++k) {
    if (storeNumber(k) || words[k][0] == '#') {
      end = k;
      break;
    }
  }
  while (end > 0 && !tokens[end - 1].isWord) --end;  // trailing punctuation
  size_t named = 0, letters = 0;
  bool uncommon = false;
  for (size_t k = 0; k < end; ++k) {
    if (labels[k].type == NameType::kPersonalName) return;
    const bool joiner = isIn(tagger_words::nameJoiners(), words[k]);
    if (joiner) continue;
    letters += words[k].size();
    uncommon = uncommon || !model.isCommonWord(words[k]);
    if (!startsWithCapitalOrDigit(words[k]) ||
        words[k].find_first_of("0123456789") != std::string::npos ||
        tagger_words::receiptHeadings().count(lowerCase(words[k]))) {
      return;
    }
    ++named;
  }
  if (named == 0 || named > 4 || letters < 3 || !uncommon || !tokens[0].isWord) return;
  for (size_t k = 0; k < end; ++k) labels[k] = {NameType::kOrganization, k == 0};
  for (size_t k = end; k < n; ++k) labels[k] = NameLabel{};
}

// A street is no organisation or person, though models read one as such ("12 Oxford Road",
// "JALAN ASTANA", "Jalan Maju"): the data detector reports the address it belongs to. Such a name
// that holds a street word of the languages that write it first (Malay "Jalan", "Lorong", "Taman"
// ...), that opens with a house number and ends in a street word, or that names a post-office box
// ("P.O. Box", "Postfach") is none.
void clearStreetNames(const std::vector<std::string>& words, std::vector<NameLabel>& labels) {
  const size_t n = std::min(words.size(), labels.size());
  const auto digitFirst = [&](size_t k) {
    return k < n && !words[k].empty() && words[k][0] >= '0' && words[k][0] <= '9';
  };
  for (size_t i = 0; i < n;) {
    const NameType type = labels[i].type;
    if (type != NameType::kOrganization && type != NameType::kPersonalName) {
      ++i;
      continue;
    }
    const size_t end = nameEnd(labels, i, n);
    size_t last = end;
    while (last > i + 1 && !startsWithCapitalOrDigit(words[last - 1]))
      --last;  // trailing punctuation
    bool street = false;
    for (size_t k = i; k < end; ++k) {
      street = street || tagger_words::streetWordsFirst().count(lowerCase(words[k])) > 0;
    }
    // A post-office box stands where a street would ("P.O. Box", "Postfach").
    std::string joined;
    for (size_t k = i; k < end; ++k) {
      for (const char c : lowerCase(words[k])) {
        if (c != '.') joined += c;
      }
    }
    street = street || joined == "pobox" || joined == "gpobox" || joined == "postbox" ||
             joined == "postfach" || joined == "postbus";
    const std::string opener = lowerCase(words[i]);
    const bool numbered =
        digitFirst(i) ||
        ((opener == "no" || opener == "lot" || opener == "unit") &&
         (digitFirst(i + 1) || (i + 1 < n && words[i + 1] == "." && digitFirst(i + 2))));
    street = street || (numbered && last > i + 1 &&
                        tagger_words::streetWordsLast().count(lowerCase(words[last - 1])) > 0);
    if (street) {
      for (size_t k = i; k < end; ++k) labels[k] = NameLabel{};
    }
    i = end;
  }
}

// What kind of price list a text is: none (fewer than three sums of money with two decimals), one
// in mixed case, or one printed in capitals as a till prints a receipt (hardly a small letter).
enum class PriceList { kNone, kMixedCase, kCapitals };

PriceList priceListKind(std::string_view text) {
  size_t sums = 0, small = 0, capitals = 0;
  const auto digit = [&](size_t i) { return i < text.size() && text[i] >= '0' && text[i] <= '9'; };
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= 'a' && c <= 'z')
      ++small;
    else if (c >= 'A' && c <= 'Z')
      ++capitals;
    else if ((c == '.' || c == ',') && i > 0 && digit(i - 1) && digit(i + 1) && digit(i + 2) &&
             !digit(i + 3))
      ++sums;
  }
  if (sums < 3) return PriceList::kNone;
  return small * 20 < capitals ? PriceList::kCapitals : PriceList::kMixedCase;
}

// In a price list in capitals, what the model reads as an organisation is most often an article,
// a heading or a printed notice ("GOODS", "THANK YOU", "ADJUSTMENT NOTE") or a number of a unit
// or lot ("NO. 31G", "LG226"): an organisation all of whose words are common words, or that has
// no word of three letters or more with more letters than digits, is none there.
void clearCommonOrganizations(const std::vector<std::string>& words, std::vector<NameLabel>& labels,
                              const NameModel& model) {
  const size_t n = std::min(words.size(), labels.size());
  for (size_t i = 0; i < n;) {
    if (labels[i].type != NameType::kOrganization) {
      ++i;
      continue;
    }
    const size_t end = nameEnd(labels, i, n);
    bool uncommon = false, lettered = false;
    for (size_t k = i; k < end; ++k) {
      size_t letters = 0, digits = 0;
      for (size_t j = 0; j < words[k].size();) {
        const char32_t c = nextScalar(words[k], j);
        letters += u_isalpha(c) ? 1 : 0;
        digits += u_isdigit(c) ? 1 : 0;
      }
      if (letters < 3 || letters <= digits) continue;
      lettered = true;
      uncommon = uncommon || !model.isCommonWord(words[k]);
    }
    if (!uncommon || !lettered) {
      for (size_t k = i; k < end; ++k) labels[k] = NameLabel{};
    }
    i = end;
  }
}

// Whether a line is the closing formula of a letter, before its signature ("Yours sincerely,").
bool isLetterClosing(const std::vector<std::string>& words) {
  std::string line;
  for (const auto& w : words) {
    if (w == "," || w == "." || w == "!") continue;  // "Yours sincerely,"
    if (!line.empty()) line += ' ';
    line += lowerCase(w);
  }
  return tagger_words::letterClosings().count(line) > 0;
}

// The lines of a text the tagger has labelled but not yet reported: the second pass that names
// repeated names alike (entities/name_consistency.h) needs the labels of all of them.
struct PendingLines {
  std::vector<std::vector<LineToken>> tokens;
  std::vector<std::vector<std::string>> words;
  std::vector<std::vector<NameLabel>> labels;
  std::vector<bool> machineReadable;
  size_t tokenCount = 0;

  void clear() {
    tokens.clear();
    words.clear();
    labels.clear();
    machineReadable.clear();
    tokenCount = 0;
  }
};

class ModelNameTagger : public NameTagger {
 public:
  ModelNameTagger(const NameModel& model, LanguageRecognizer* recognizer)
      : model_(model), recognizer_(recognizer) {}

  void enumerateTags(std::string_view text, const TagCallback& callback) override {
    std::string language;
    if (recognizer_) language = recognizer_->dominantLanguage(text).value_or("");
    const PriceList prices = priceListKind(text);
    PendingLines pending;
    // A form label on a line of its own ("Surname/Nom") names the value on the next line: that
    // line is labelled as "Surname/Nom: OKAFOR" would be, and only its own labels are kept. The
    // closing of a letter ("Mit freundlichen Grüßen") is read before the line under it the same
    // way, without a colon, as the signature under it is most often a name alone.
    std::vector<std::string> fieldLabel;
    bool labelIsKey = false;
    const auto report = [&] {
      const bool go = reportPending(text, language, prices, pending, callback);
      pending.clear();
      return go;
    };
    bool go = true;
    forEachLine(text, [&](const std::vector<LineToken>& tokens) {
      std::vector<std::string> words;
      for (const LineToken& t : tokens) {
        words.emplace_back(text.substr(t.range.begin, t.range.end - t.range.begin));
      }
      const bool isLabel = isFormLabel(words, model_);
      std::vector<NameLabel> labels;
      // The names of a machine-readable zone are run together with fillers and codes: its words
      // are reported as words, since no name can be cut out of them cleanly.
      const bool machineReadable = isMachineReadableLine(text.substr(
          tokens.front().range.begin, tokens.back().range.end - tokens.front().range.begin));
      if (machineReadable) {
        labels.assign(tokens.size(), NameLabel{});
      } else if (!fieldLabel.empty() && !isLabel) {
        if (labelIsKey && !isColonToken(fieldLabel.back())) fieldLabel.emplace_back(":");
        const size_t keyLength = fieldLabel.size();
        fieldLabel.insert(fieldLabel.end(), words.begin(), words.end());
        labels = model_.label(fieldLabel, language);
        const auto cut = static_cast<std::ptrdiff_t>(std::min(keyLength, labels.size()));
        labels.erase(labels.begin(), labels.begin() + cut);
      } else {
        labels = model_.label(words, language);
      }
      // A form label is no name, whatever the model makes of its words.
      if (isLabel) labels.assign(labels.size(), NameLabel{});
      labelIsKey = isLabel;
      fieldLabel = isLabel || isLetterClosing(words) ? words : std::vector<std::string>{};
      labels.resize(tokens.size());  // a model that miscounts labels the rest as no name
      if (!machineReadable) splitPersonsAtConjunctions(words, labels);
      pending.tokenCount += tokens.size();
      pending.tokens.push_back(tokens);
      pending.words.push_back(std::move(words));
      pending.labels.push_back(std::move(labels));
      pending.machineReadable.push_back(machineReadable);
      if (pending.tokenCount >= kAgreementWindowTokens) go = report();
      return go;
    });
    if (go) report();
  }

 private:
  // Names repeated names alike across the pending lines, corrects each line's names by the rules
  // for documents and reports the lines in order; false once the callback asks to stop.
  bool reportPending(std::string_view text, const std::string& language, PriceList prices,
                     PendingLines& pending, const TagCallback& callback) const {
    const bool priceList = prices == PriceList::kCapitals;
    agreeAcrossText(pending.words, pending.labels, model_,
                    kAgreeSurnames | kAgreeTypes | kAgreeRepeats);
    for (size_t l = 0; l < pending.words.size(); ++l) {
      const std::vector<LineToken>& tokens = pending.tokens[l];
      const std::vector<std::string>& words = pending.words[l];
      std::vector<NameLabel>& labels = pending.labels[l];
      if (pending.machineReadable[l]) labels.assign(tokens.size(), NameLabel{});
      clearOrganizationsInPriceLines(words, labels);
      clearStreetNames(words, labels);
      if (priceList) clearCommonOrganizations(words, labels, model_);
      markFirmsByLegalForm(words, labels, model_);
      markNameAboveRegistration(text, tokens, words, labels);
      if (prices != PriceList::kNone) markSellerOnFirstLine(text, tokens, words, labels, model_);
      clearMachineAddresses(text, tokens, labels);
      clearNamesOverDates(text, tokens, words, labels,
                          language.empty() || modelLanguageOf(language) != 0);
      clearFieldKeys(words, labels, model_);
      joinSurnameFirstNames(words, labels, model_);
      const NameLine line{tokens, words, modelLanguageOf(language)};
      splitNamesAtSmallWords(line, labels);
      if (!reportLine(line, labels, callback)) return false;
    }
    return true;
  }

  // Reports one line's words and names; false once the callback asks to stop.
  static bool reportLine(const NameLine& line, const std::vector<NameLabel>& labels,
                         const TagCallback& callback) {
    const std::vector<LineToken>& tokens = line.tokens;
    const auto reportWords = [&](size_t from, size_t to) {  // the words in [from, to), untagged
      for (size_t k = from; k < to; ++k) {
        if (tokens[k].isWord && !callback(std::nullopt, tokens[k].range)) return false;
      }
      return true;
    };
    for (size_t i = 0; i < tokens.size();) {
      const NameType type = labels[i].type;
      if (type == NameType::kNone) {
        if (!reportWords(i, i + 1)) return false;
        ++i;
        continue;
      }
      // A name runs on while the next token continues the same type.
      const size_t end = nameEnd(labels, i, tokens.size());
      NameSpan span{i, end, type};
      for (const NameSpanRule rule : nameSpanRules()) span = rule(line, span);
      // Words the rules cut off the name are reported as words.
      if (!reportWords(i, span.first)) return false;
      if (span.first < span.last) {
        const TextRange range{tokens[span.first].range.begin, tokens[span.last - 1].range.end};
        if (!callback(tagOf(span.type), range)) return false;
      }
      if (!reportWords(span.last, end)) return false;
      i = std::max(end, span.last);
    }
    return true;
  }

  const NameModel& model_;
  LanguageRecognizer* recognizer_;
};

}  // namespace

namespace {

// A punctuation segment that ends a sentence.
bool endsSentence(std::string_view punctuation) {
  return punctuation.find_first_of(".!?;") != std::string_view::npos;
}

}  // namespace

void forEachLine(std::string_view text,
                 const std::function<bool(const std::vector<LineToken>&)>& line) {
  UErrorCode status = U_ZERO_ERROR;
  UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
  std::unique_ptr<icu::BreakIterator> words(
      icu::BreakIterator::createWordInstance(icu::Locale::getRoot(), status));
  if (U_FAILURE(status)) {
    utext_close(utext);
    return;
  }
  words->setText(utext, status);
  std::vector<LineToken> tokens;
  bool go = true;
  int32_t start = words->first();
  for (int32_t end = words->next(); go && end != icu::BreakIterator::DONE;
       start = end, end = words->next()) {
    const bool isWord = words->getRuleStatus() != UBRK_WORD_NONE;
    const auto b = static_cast<size_t>(start), e = static_cast<size_t>(end);
    if (!isWord) {
      // A segment of white space or punctuation; line breaks end the line.
      bool allSpace = true, breaks = false, tab = false;
      size_t spaces = 0;
      for (size_t i = b; i < e;) {
        const char32_t c = nextScalar(text, i);
        breaks = breaks || isLineBreak(c);
        tab = tab || c == '\t';
        allSpace = allSpace && isWhiteSpaceProperty(c);
        ++spaces;
      }
      if (!allSpace) tokens.push_back({{b, e}, false});
      // A line far longer than any a document prints (a whole file without line breaks) is
      // handed on in pieces, at a sentence's end where there is one, so that the model's work
      // and memory stay those of ordinary lines.
      if (!allSpace && (tokens.size() >= kMaxLineTokens || (tokens.size() >= kLongLineTokens &&
                                                            endsSentence(text.substr(b, e - b))))) {
        go = line(tokens);
        tokens.clear();
        continue;
      }
      // A wide gap (a tab, or two or more spaces) parts the columns of a card or form: no name
      // runs across it, so each side is a line of its own. After a colon it only sets off the
      // value from its label, which belong together.
      const bool gap =
          allSpace && (tab || spaces >= 2) && !tokens.empty() &&
          !isColonToken(text.substr(tokens.back().range.begin,
                                    tokens.back().range.end - tokens.back().range.begin));
      if (breaks || gap) {
        if (!tokens.empty()) go = line(tokens);
        tokens.clear();
      }
      continue;
    }
    // Words joined by a hyphen without spaces are one word to the model ("Jean-Pierre",
    // "Baden-Württemberg", "EU-Kommission"): a compound is named, or not, as a whole.
    const size_t n = tokens.size();
    if (n >= 2 && tokens[n - 2].isWord && !tokens[n - 1].isWord && tokens[n - 1].range.end == b &&
        tokens[n - 2].range.end == tokens[n - 1].range.begin &&
        isHyphen(text.substr(tokens[n - 1].range.begin, b - tokens[n - 1].range.begin))) {
      tokens.pop_back();
      tokens.back().range.end = e;
      continue;
    }
    tokens.push_back({{b, e}, true});
    if (tokens.size() >= kMaxLineTokens) {
      go = line(tokens);
      tokens.clear();
    }
  }
  if (go && !tokens.empty()) line(tokens);
  words.reset();
  utext_close(utext);
}

std::unique_ptr<NameTagger> makeNameTagger(const NameModel& model, LanguageRecognizer* recognizer) {
  return std::make_unique<ModelNameTagger>(model, recognizer);
}

}  // namespace marrowfen::entities
