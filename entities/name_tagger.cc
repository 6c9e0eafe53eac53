#include "entities/name_tagger.h"

#include <algorithm>

#include <unicode/brkiter.h>
#include <unicode/utext.h>

#include "common/unicode.h"
#include "entities/model/tagger_features.h"

namespace marrowfen::entities {
namespace {

// "-", U+2010 hyphen or U+2011 non-breaking hyphen.
bool isHyphen(std::string_view segment) {
  return segment == "-" || segment == "\xE2\x80\x90" || segment == "\xE2\x80\x91";
}

bool isLineBreak(char32_t c) {
  return c == '\n' || c == '\r' || c == 0x0B || c == 0x0C || c == 0x85 || c == 0x2028 ||
         c == 0x2029;
}

NameTag tagOf(NameType type) {
  switch (type) {
    case NameType::kPersonalName: return NameTag::kPersonalName;
    case NameType::kOrganization: return NameTag::kOrganizationName;
    case NameType::kPlaceName: return NameTag::kPlaceName;
    case NameType::kNone: break;
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
    if (c == '<') ++fillers;
    else if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
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

class ModelNameTagger : public NameTagger {
 public:
  ModelNameTagger(const NameModel& model, LanguageRecognizer* recognizer)
      : model_(model), recognizer_(recognizer) {}

  void enumerateTags(std::string_view text, const TagCallback& callback) override {
    std::string language;
    if (recognizer_) language = recognizer_->dominantLanguage(text).value_or("");
    std::vector<std::string> words;
    // A form label on a line of its own ("Surname/Nom") names the value on the next line: that
    // line is labelled as "Surname/Nom: OKAFOR" would be, and only its own labels are kept. The
    // closing of a letter ("Mit freundlichen Grüßen") is read before the line under it the same
    // way, without a colon, as the signature under it is most often a name alone.
    std::vector<std::string> fieldLabel;
    bool labelIsKey = false;
    forEachLine(text, [&](const std::vector<LineToken>& tokens) {
      words.clear();
      for (const LineToken& t : tokens) {
        words.emplace_back(text.substr(t.range.begin, t.range.end - t.range.begin));
      }
      const bool isLabel = model_.isFieldLabel(words);
      std::vector<NameLabel> labels;
      // The names of a machine-readable zone are run together with fillers and codes: its words
      // are reported as words, since no name can be cut out of them cleanly.
      if (isMachineReadableLine(text.substr(tokens.front().range.begin,
                                            tokens.back().range.end - tokens.front().range.begin))) {
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
      labelIsKey = isLabel;
      fieldLabel = isLabel || isLetterClosing(words) ? words : std::vector<std::string>{};
      labels.resize(tokens.size());  // a model that miscounts labels the rest as no name
      clearMachineAddresses(text, tokens, labels);
      return reportLine(text, tokens, labels, callback);
    });
  }

 private:
  // Reports one line's words and names; false once the callback asks to stop.
  static bool reportLine(std::string_view text, const std::vector<LineToken>& tokens,
                         const std::vector<NameLabel>& labels, const TagCallback& callback) {
    const auto word = [&](size_t k) {
      return text.substr(tokens[k].range.begin, tokens[k].range.end - tokens[k].range.begin);
    };
    const auto bracket = [&](size_t k) { return bracketOf(word(k)); };
    for (size_t i = 0; i < tokens.size();) {
      const NameType type = labels[i].type;
      if (type == NameType::kNone) {
        if (tokens[i].isWord && !callback(std::nullopt, tokens[i].range)) return false;
        ++i;
        continue;
      }
      // A name runs on while the next token continues the same type.
      size_t end = i + 1;
      while (end < tokens.size() && labels[end].type == type && !labels[end].begins) ++end;
      // It starts and ends on words: punctuation at its edges is not part of it.
      size_t first = i, last = end;
      while (first < last && !tokens[first].isWord) ++first;
      while (last > first && !tokens[last - 1].isWord) --last;
      // A Dutch postcode is no part of a name: in "3511 NK Utrecht" the four digits and two
      // capitals are a code, and the name after them is the town's.
      NameType reported = type;
      const auto postcodeDigits = [&](size_t k) {
        const std::string_view w = word(k);
        return w.size() == 4 && w[0] >= '1' && w[0] <= '9' &&
               std::all_of(w.begin(), w.end(), [](char c) { return c >= '0' && c <= '9'; });
      };
      const auto postcodeLetters = [&](size_t k) {
        const std::string_view w = word(k);
        return w.size() == 2 && std::all_of(w.begin(), w.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
      };
      size_t code = last;  // the postcode's letters, when the name starts with or after its digits
      if (first + 1 < last && postcodeDigits(first) && postcodeLetters(first + 1)) {
        code = first + 1;
      } else if (first > 0 && postcodeLetters(first) && postcodeDigits(first - 1)) {
        code = first;
      }
      if (code + 1 < last && tokens[code + 1].isWord) {
        for (size_t k = first; k <= code; ++k) {
          if (!callback(std::nullopt, tokens[k].range)) return false;
        }
        first = code + 1;
        reported = NameType::kPlaceName;
      }
      // The salutation of a letter ("Dear", "Sehr geehrter", "Chère") is no part of a name,
      // and a title after it makes the rest a person's name: "Dear Mr. Thompson" is Thompson.
      if (first < last) {
        const size_t after = salutationEnd(text, tokens, first, last);
        if (after > first && after < last) {
          for (size_t k = first; k < after; ++k) {
            if (tokens[k].isWord && !callback(std::nullopt, tokens[k].range)) return false;
          }
          first = after;
          if (isPersonalTitle(word(first))) reported = NameType::kPersonalName;
        }
      }
      // A person's name starts after the title before it ("Ms. Li Wei" is Li Wei) and after
      // the "i. A." or "i. V." of a German letter's signature, when a word of the name is left;
      // those words are reported as words.
      const auto nextWord = [&](size_t k) {
        do ++k;
        while (k < last && !tokens[k].isWord);
        return k;
      };
      while (reported == NameType::kPersonalName && first < last) {
        size_t next = nextWord(first);
        const std::string lower = lowerCase(word(first));
        const std::string after = next < last ? lowerCase(word(next)) : std::string();
        const bool split = lower == "i" && (after == "a" || after == "v");
        const bool onBehalf = split || lower == "i.a" || lower == "i.v";
        if (split) next = nextWord(next);
        if ((!onBehalf && !isPersonalTitle(word(first))) || next >= last) break;
        for (size_t k = first; k < next; ++k) {
          if (tokens[k].isWord && !callback(std::nullopt, tokens[k].range)) return false;
        }
        first = next;
      }
      // Its brackets are balanced: "Lille (Nord)" takes the closing bracket that follows it, and
      // a name that would end inside a bracket, or close one it never opened, ends before it.
      int depth = 0;
      size_t open = last;
      for (size_t k = first; k < last; ++k) {
        const int b = bracket(k);
        if (b > 0 && depth++ == 0) open = k;
        if (b < 0 && --depth < 0) {
          last = k;
          depth = 0;
          break;
        }
      }
      if (depth == 1 && last < tokens.size() && bracket(last) < 0) {
        ++last;
      } else if (depth > 0) {
        last = open;
      }
      // Punctuation left at the end goes, but for a bracket that closes one inside the name.
      const auto closesInside = [&](size_t k) {
        int d = 0;
        for (size_t j = first; j < k; ++j) d += bracket(j);
        return bracket(k) < 0 && d > 0;
      };
      while (last > first && !tokens[last - 1].isWord && !closesInside(last - 1)) --last;
      if (first < last) {
        const TextRange range{tokens[first].range.begin, tokens[last - 1].range.end};
        if (!callback(tagOf(reported), range)) return false;
      }
      // Words cut off the name are reported as words.
      for (size_t k = last; k < end; ++k) {
        if (tokens[k].isWord && !callback(std::nullopt, tokens[k].range)) return false;
      }
      i = std::max(end, last);
    }
    return true;
  }

  // Whether a line is the closing formula of a letter, before its signature.
  static bool isLetterClosing(const std::vector<std::string>& words) {
    static constexpr std::string_view kClosings[] = {
        "yours sincerely", "yours faithfully", "yours truly", "sincerely", "kind regards", "best regards",
        "regards", "with kind regards", "with best regards", "mit freundlichen grüßen",
        "mit freundlichen grüssen", "freundliche grüße", "viele grüße", "beste grüße", "hochachtungsvoll",
        "cordialement", "bien cordialement", "salutations distinguées", "met vriendelijke groet",
        "met vriendelijke groeten", "hoogachtend"};
    std::string line;
    for (const auto& w : words) {
      if (w == "," || w == "." || w == "!") continue;  // "Yours sincerely,"
      if (!line.empty()) line += ' ';
      line += lowerCase(w);
    }
    return std::find(std::begin(kClosings), std::end(kClosings), line) != std::end(kClosings);
  }

  // The token after the salutation words that open the name at `first` ("Dear", "Sehr
  // geehrte Frau" stops before "Frau"), or `first` when the name opens with none.
  static size_t salutationEnd(std::string_view text, const std::vector<LineToken>& tokens, size_t first,
                              size_t last) {
    static constexpr std::string_view kOne[] = {"dear", "dearest", "hello", "liebe", "lieber", "cher", "chère",
                                                "chers", "chères", "beste", "geachte"};
    const auto lower = [&](size_t k) {
      return lowerCase(text.substr(tokens[k].range.begin, tokens[k].range.end - tokens[k].range.begin));
    };
    const std::string w = lower(first);
    size_t next = first + 1;
    if (w == "sehr" && next < last) {
      const std::string g = lower(next);
      if (g != "geehrte" && g != "geehrter" && g != "verehrte" && g != "verehrter") return first;
      ++next;
    } else if (std::find(std::begin(kOne), std::end(kOne), w) == std::end(kOne)) {
      return first;
    }
    while (next < last && !tokens[next].isWord) ++next;
    return next;
  }

  // Whether a word is a title written before a person's name, in any case.
  static bool isPersonalTitle(std::string_view token) {
    static constexpr std::string_view kTitles[] = {
        "mr", "mrs", "ms", "miss", "mx", "dr", "prof", "professor", "herr", "frau", "mme", "mlle", "dhr", "mevr",
        "shri", "smt", "sri", "kumari", "ppa"};
    const std::string lower = lowerCase(token);
    return std::find(std::begin(kTitles), std::end(kTitles), lower) != std::end(kTitles);
  }

  // +1 for an opening bracket, -1 for a closing one, 0 for any other token.
  static int bracketOf(std::string_view token) {
    if (token == "(" || token == "[" || token == "{") return 1;
    if (token == ")" || token == "]" || token == "}") return -1;
    return 0;
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
      if (!allSpace && tokens.size() >= kLongLineTokens && endsSentence(text.substr(b, e - b))) {
        go = line(tokens);
        tokens.clear();
        continue;
      }
      // A wide gap (a tab, or two or more spaces) parts the columns of a card or form: no name
      // runs across it, so each side is a line of its own. After a colon it only sets off the
      // value from its label, which belong together.
      const bool gap = allSpace && (tab || spaces >= 2) && !tokens.empty() &&
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
