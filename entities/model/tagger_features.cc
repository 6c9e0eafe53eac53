#include "entities/model/tagger_features.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <array>

namespace marrowfen::entities {
namespace {

constexpr uint64_t kFnvOffset = 0xcbf29ce484222325ull;
constexpr uint64_t kFnvPrime = 0x100000001b3ull;

uint64_t mix64(uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ull;
  h ^= h >> 33;
  return h;
}

uint64_t hashBytes(uint64_t h, std::string_view s) {
  for (unsigned char c : s) {
    h ^= c;
    h *= kFnvPrime;
  }
  return h;
}

UChar32 decodeAt(std::string_view s, size_t& i) {
  UChar32 c = 0;
  const auto* bytes = reinterpret_cast<const uint8_t*>(s.data());
  int32_t pos = static_cast<int32_t>(i);
  U8_NEXT(bytes, pos, static_cast<int32_t>(s.size()), c);
  i = static_cast<size_t>(pos);
  return c < 0 ? 0xFFFD : c;
}

// Byte offsets of the first `n` code points' ends (prefixes) of `s`.
size_t prefixBytes(std::string_view s, size_t n) {
  size_t i = 0;
  for (size_t k = 0; k < n && i < s.size(); ++k) decodeAt(s, i);
  return i;
}

// Byte offset where the last `n` code points of `s` start.
size_t suffixStart(std::string_view s, size_t n) {
  int32_t i = static_cast<int32_t>(s.size());
  const auto* bytes = reinterpret_cast<const uint8_t*>(s.data());
  for (size_t k = 0; k < n && i > 0; ++k) U8_BACK_1(bytes, 0, i);
  return static_cast<size_t>(i);
}

size_t codePointCount(std::string_view s) {
  size_t n = 0;
  for (size_t i = 0; i < s.size();) {
    decodeAt(s, i);
    ++n;
  }
  return n;
}

// Letter-case summary of one token.
struct CaseInfo {
  int letters = 0;
  int upper = 0;
  int lower = 0;
  bool firstUpper = false;
};

CaseInfo caseInfo(std::string_view w) {
  CaseInfo info;
  bool first = true;
  for (size_t i = 0; i < w.size();) {
    UChar32 c = decodeAt(w, i);
    if (u_isalpha(c)) {
      ++info.letters;
      if (u_isupper(c) || u_istitle(c)) {
        ++info.upper;
        if (first) info.firstUpper = true;
      } else if (u_islower(c)) {
        ++info.lower;
      }
      first = false;
    } else if (u_isdigit(c)) {
      first = false;
    }
  }
  return info;
}

bool isPunctuationToken(std::string_view w) {
  for (size_t i = 0; i < w.size();) {
    UChar32 c = decodeAt(w, i);
    if (u_isalnum(c) || (U_GET_GC_MASK(c) & U_GC_M_MASK)) return false;
  }
  return true;
}

// Everything about a line that the per-token templates read.
struct LineContext {
  const std::vector<std::string>* tokens = nullptr;
  std::vector<std::string> lower;
  std::vector<std::string> shape;
  std::vector<uint8_t> gaz;
  std::vector<uint8_t>
      stemGaz;               // name classes of the word less a final "s", when it has none itself
  std::vector<int> keyLast;  // index of the last word of the key before the nearest colon, or -1
  std::vector<int> keyPrev;  // index of the word before that, or -1
  std::vector<int> colonDistance;  // tokens since that colon, 0 when none
  std::vector<uint8_t> nameWord;   // per token the types of listed names it is a word of (bits 0-2)
  std::vector<uint8_t> phrase;     // bit 2t: begins a listed phrase of type t, bit 2t+1: inside one
  std::string dictionary;          // per token a dictionaryClass, empty without a lexicon
  std::vector<std::string> coarse, fine;  // per token its word classes ("c12", "f201"), "" when it
                                          // has none; no entries without word classes
  std::vector<std::string> embeddingCoarse, embeddingFine;  // the same of the embedding classes
                                                            // ("g7", "e90")
  char pattern = 'M';          // 'C' all caps line, 'T' title-case line, 'M' mixed
  char kind = 0;               // lineKind, 0 without kLineKindFeatures
  std::string_view wordCount;  // words with letters or digits, bucketed ("1" ... "8+")
};

// How the dictionaries of `language` (0: of every model language) know a lower-cased word:
// 'l' in lower case only, 'c' with a capital only, 'b' both, 'k' not at all but a compound of a
// known noun ("regionalligamannschaft" ends in "mannschaft"; German and Dutch, whose compounds are
// written as one word), 'n' not at all, '-' no letters.
char dictionaryClass(const Lexicon& lexicon, std::string_view lower, int language) {
  bool letters = false;
  for (size_t i = 0; i < lower.size() && !letters;) letters = u_isalpha(decodeAt(lower, i));
  if (!letters) return '-';
  const uint8_t lowerBits = language > 0 ? static_cast<uint8_t>(1u << (2 * (language - 1))) : 0x55;
  const uint8_t capitalBits = static_cast<uint8_t>(lowerBits << 1);
  const uint8_t f = lexicon.lookup(lower);
  if ((f & lowerBits) && (f & capitalBits)) return 'b';
  if (f & lowerBits) return 'l';
  if (f & capitalBits) return 'c';
  // Nouns: German writes them with a capital, Dutch in lower case.
  constexpr int kGerman = 2, kDutch = 4;
  uint8_t nounBits = 0;
  if (language == 0 || language == kGerman)
    nounBits |= static_cast<uint8_t>(2u << (2 * (kGerman - 1)));
  if (language == 0 || language == kDutch)
    nounBits |= static_cast<uint8_t>(1u << (2 * (kDutch - 1)));
  if (nounBits == 0) return 'n';
  // The known noun is at least four letters long and leaves at least three in front of it. A
  // "word" longer than any compound (a run of letters without spaces in a broken or hostile
  // text) is none: trying each of its ends would cost the square of its length.
  constexpr size_t kLongestCompound = 100;
  const size_t cps = codePointCount(lower);
  if (cps < 7 || cps > kLongestCompound) return 'n';
  size_t at = prefixBytes(lower, 3);
  for (size_t k = 3; k + 4 <= cps; ++k) {
    if (lexicon.lookup(lower.substr(at)) & nounBits) return 'k';
    decodeAt(lower, at);
  }
  return 'n';
}

// The listed name classes (given name, family name, country, city) of a word that has none
// itself but ends in "s" after them: German and Dutch genitives ("Indiens", "Böhmens",
// "Jacksons") and plurals of names hide a listed name. 0 otherwise.
uint8_t genitiveStemClasses(const Gazetteer& gazetteer, std::string_view lower, uint8_t classes) {
  constexpr uint8_t kNameClasses = kGazFirstName | kGazLastName | kGazCountry | kGazCity;
  if (lower.size() < 5 || lower.back() != 's' || (classes & kNameClasses)) return 0;
  return gazetteer.lookup(lower.substr(0, lower.size() - 1)) & kNameClasses;
}

std::string className(char kind, unsigned number) { return kind + std::to_string(number); }

// Small words that stand inside names as well as in running text: "Bank of England", "Charles de
// Gaulle", "Frankfurt am Main", "Procter and Gamble".
bool isNameJoiningWord(std::string_view lower) {
  static constexpr std::string_view kWords[] = {
      "of",  "the", "de",   "du",  "des", "la",  "le",  "les", "d",   "da",  "das",  "do",
      "dos", "di",  "del",  "der", "die", "den", "dem", "von", "vom", "zu",  "zur",  "zum",
      "am",  "im",  "van",  "het", "ten", "ter", "y",   "e",   "et",  "and", "und",  "en",
      "for", "für", "upon", "on",  "st",  "af",  "a",   "an",  "al",  "el",  "della"};
  return std::find(std::begin(kWords), std::end(kWords), lower) != std::end(kWords);
}

}  // namespace

namespace {

constexpr int kEnglish = 1;  // modelLanguageOf("en")

// The English words of isFunctionWord.
constexpr std::string_view kEnglishFunctionWords[] = {
    "is",    "was",   "were", "are",   "be",   "been", "has",  "have", "had",   "said",   "says",
    "will",  "would", "can",  "could", "to",   "with", "by",   "from", "that",  "this",   "which",
    "who",   "it",    "its",  "he",    "she",  "they", "we",   "i",    "you",   "his",    "her",
    "their", "our",   "not",  "but",   "or",   "as",   "at",   "in",   "after", "before", "when",
    "where", "while", "also", "than",  "into", "over", "about"};

bool isEnglishFunctionWord(std::string_view lower) {
  return std::find(std::begin(kEnglishFunctionWords), std::end(kEnglishFunctionWords), lower) !=
         std::end(kEnglishFunctionWords);
}

}  // namespace

bool isFunctionWord(std::string_view lower) {
  static constexpr std::string_view kWords[] = {
      // German
      "ist", "war", "sind", "wurde", "hat", "haben", "ein", "eine", "einer", "einem", "einen",
      "mit", "auf", "nicht", "sich", "er", "sie", "es", "wird", "werden", "als", "bei", "nach",
      "aus", "auch", "dass",
      // French
      "est", "était", "sont", "une", "un", "il", "elle", "qui", "que", "dans", "par", "avec",
      "pour", "sur", "au", "aux", "ne", "pas", "se", "son", "sa", "ses", "été",
      // Dutch
      "zijn", "werd", "een", "met", "op", "voor", "niet", "zich", "hij", "zij", "dat", "ook", "bij",
      "naar", "uit", "wordt", "heeft"};
  return isEnglishFunctionWord(lower) ||
         std::find(std::begin(kWords), std::end(kWords), lower) != std::end(kWords);
}

namespace {

std::string_view wordCountBucket(int words) {
  static constexpr std::array<std::string_view, 9> kBuckets = {"0",   "1",   "2",   "3", "4",
                                                               "5-7", "5-7", "5-7", "8+"};
  return kBuckets[static_cast<size_t>(std::clamp(words, 0, 8))];
}

// The lineKind of a line whose context is made but for its kind; `punct` marks the tokens
// without letters or digits.
char kindOfLine(const LineContext& ctx, const std::vector<bool>& punct, int& contentWords) {
  const auto& tokens = *ctx.tokens;
  int numbers = 0, lettered = 0, runningWords = 0;
  bool functionWord = false;
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (punct[i]) continue;
    const CaseInfo ci = caseInfo(tokens[i]);
    if (ci.letters == 0) {
      ++numbers;
      continue;
    }
    ++lettered;
    if (isNameJoiningWord(ctx.lower[i])) continue;
    functionWord = functionWord || isFunctionWord(ctx.lower[i]);  // "He", "IN" as well
    const bool running =
        ctx.pattern == 'C'
            ? (ctx.gaz[i] & kGazCommonWord) || (!ctx.dictionary.empty() && ctx.dictionary[i] == 'l')
            : ci.lower > 0 && !ci.firstUpper;
    if (!running) continue;
    ++runningWords;
  }
  contentWords = numbers + lettered;
  if (numbers >= 2 && lettered > 0 && numbers * 3 >= contentWords) return 'R';
  // A sentence ends in a full stop, a question or an exclamation mark, perhaps before a quote or
  // a bracket.
  size_t last = tokens.size();
  while (last > 0 && punct[last - 1] && tokens[last - 1].find_first_of(".!?") == std::string::npos)
    --last;
  const bool sentenceEnd =
      last > 0 && punct[last - 1] && tokens[last - 1].find_first_of(".!?") != std::string::npos;
  // A title may hold a word or two in small letters ("Zasyadko (crater)", "Clustered file
  // system"); a function word or three such words make it running text.
  return sentenceEnd || functionWord || runningWords >= 3 ? 'S' : 'F';
}

// Key: value lines. A colon ends a key; the words just before it name the value after it.
void markKeys(const std::vector<std::string>& tokens, const std::vector<bool>& punct,
              LineContext& ctx) {
  const size_t n = tokens.size();
  ctx.keyLast.assign(n, -1);
  ctx.keyPrev.assign(n, -1);
  ctx.colonDistance.assign(n, 0);
  int last = -1, prev = -1, colon = -1;
  int lastWord = -1, prevWord = -1;  // the last two words so far, of any key or value
  for (size_t i = 0; i < n; ++i) {
    if (colon >= 0) {
      ctx.keyLast[i] = last;
      ctx.keyPrev[i] = prev;
      ctx.colonDistance[i] = static_cast<int>(i) - colon;
    }
    if (isColonToken(tokens[i]) && lastWord > colon) {  // a key needs a word after the last key
      last = lastWord;
      prev = prevWord > colon ? prevWord : -1;
      colon = static_cast<int>(i);
    }
    if (!punct[i]) {
      prevWord = lastWord;
      lastWord = static_cast<int>(i);
    }
  }
}

LineContext makeContext(const std::vector<std::string>& tokens, const Gazetteer& gazetteer,
                        int language, uint32_t groups) {
  LineContext ctx;
  ctx.tokens = &tokens;
  const size_t n = tokens.size();
  ctx.lower.reserve(n);
  ctx.shape.reserve(n);
  ctx.gaz.reserve(n);
  int wordTokens = 0, capsTokens = 0, titleTokens = 0, commonCapitalised = 0, commonLower = 0;
  bool longCaps = false;
  std::vector<bool> punct(n);
  for (size_t i = 0; i < n; ++i) {
    ctx.lower.push_back(lowerCase(tokens[i]));
    ctx.shape.push_back(wordShape(tokens[i]));
    ctx.gaz.push_back(gazetteer.lookup(ctx.lower.back()));
    ctx.stemGaz.push_back(genitiveStemClasses(gazetteer, ctx.lower.back(), ctx.gaz.back()));
    if (const Lexicon* lexicon = gazetteer.lexicon()) {
      ctx.dictionary.push_back(dictionaryClass(*lexicon, ctx.lower.back(), language));
    }
    if (const WordClusters* clusters = gazetteer.clusters()) {
      ctx.coarse.emplace_back();
      ctx.fine.emplace_back();
      if (auto c = clusters->lookup(ctx.lower.back())) {
        ctx.coarse.back() = className('c', c->coarse);
        ctx.fine.back() = className('f', c->fine);
      }
    }
    const WordClusters* embedded = gazetteer.embeddingClasses();
    if (embedded && (groups & kEmbeddingClassFeatures)) {
      ctx.embeddingCoarse.emplace_back();
      ctx.embeddingFine.emplace_back();
      if (auto c = embedded->lookup(ctx.lower.back())) {
        ctx.embeddingCoarse.back() = className('g', c->coarse);
        ctx.embeddingFine.back() = className('e', c->fine);
      }
    }
    punct[i] = isPunctuationToken(tokens[i]);
    CaseInfo ci = caseInfo(tokens[i]);
    if (ci.letters > 0 && ci.upper + ci.lower > 0) {
      ++wordTokens;
      if (ci.lower == 0) {
        ++capsTokens;
        if (ci.upper >= 2) longCaps = true;
      }
      if (ci.firstUpper) ++titleTokens;
      // Common words tell a heading in title case from a sentence full of names: the heading
      // capitalises them too. The first word is capitalised in either.
      if (i > 0 && (ctx.gaz.back() & kGazCommonWord)) {
        if (ci.firstUpper)
          ++commonCapitalised;
        else
          ++commonLower;
      }
    }
  }
  if (wordTokens > 0 && longCaps && capsTokens * 4 >= wordTokens * 3) {
    ctx.pattern = 'C';
  } else if (wordTokens > 1 && titleTokens * 4 >= wordTokens * 3 &&
             commonCapitalised >= commonLower) {
    ctx.pattern = 'T';
  }
  if (groups & kLineKindFeatures) {
    int words = 0;
    ctx.kind = kindOfLine(ctx, punct, words);
    ctx.wordCount = wordCountBucket(words);
  }
  // Listed phrases: every span of up to kMaxPhraseTokens tokens that starts and ends with a word.
  ctx.phrase.assign(n, 0);
  ctx.nameWord.assign(n, 0);
  for (size_t b = 0; b < n; ++b) {
    if (punct[b]) continue;
    uint64_t key = phraseKeyStart();
    for (size_t e = b; e < n && e < b + kMaxPhraseTokens; ++e) {
      key = phraseKeyAdd(key, ctx.lower[e]);
      if (punct[e]) continue;
      const uint8_t types = gazetteer.lookupPhrase(key);
      if (e == b) ctx.nameWord[b] = static_cast<uint8_t>((types >> 3) & 7);
      for (int t = 0; t < 3; ++t) {
        if (!(types & (1 << t))) continue;
        ctx.phrase[b] |= static_cast<uint8_t>(1 << (2 * t));
        for (size_t k = b + 1; k <= e; ++k) ctx.phrase[k] |= static_cast<uint8_t>(1 << (2 * t + 1));
      }
    }
  }
  markKeys(tokens, punct, ctx);
  return ctx;
}

std::string_view lengthBucket(size_t cps) {
  static constexpr std::array<std::string_view, 11> kBuckets = {"0", "1", "2", "3", "4",  "5",
                                                                "6", "7", "8", "9", "10+"};
  return kBuckets[std::min<size_t>(cps, 10)];
}

std::string_view distanceName(int d) {
  static constexpr std::array<std::string_view, 6> kNames = {"0", "1", "2", "3", "4", "5+"};
  return kNames[std::min(d, 5)];
}

// The class mask of a position before the first or after the last token.
constexpr unsigned kBeyondLine = 0x100;

std::string_view maskName(unsigned m, std::array<char, 4>& buf) {
  if (m == kBeyondLine) return "--";
  static constexpr char kHex[] = "0123456789abcdef";
  buf[0] = kHex[m >> 4];
  buf[1] = kHex[m & 15];
  return std::string_view(buf.data(), 2);
}

// Calls sink(templateId, {parts...}) for every feature of token i.
template <class Sink>
void tokenFeatures(const LineContext& ctx, size_t i, Sink& sink) {
  const size_t n = ctx.lower.size();
  auto word = [&](long k) -> std::string_view {
    if (k < 0) return "<s>";
    if (k >= static_cast<long>(n)) return "</s>";
    return ctx.lower[k];
  };
  auto shape = [&](long k) -> std::string_view {
    if (k < 0) return "<s>";
    if (k >= static_cast<long>(n)) return "</s>";
    return ctx.shape[k];
  };
  auto gaz = [&](long k) -> unsigned {
    if (k < 0 || k >= static_cast<long>(n)) return kBeyondLine;
    return ctx.gaz[k];
  };
  const long j = static_cast<long>(i);
  const std::string_view w0 = ctx.lower[i];
  const std::string_view pattern(&ctx.pattern, 1);
  std::array<char, 4> b1{}, b2{}, b3{};

  sink(0, {});
  sink(1, {w0});
  sink(2, {word(j - 1)});
  sink(3, {word(j + 1)});
  sink(4, {word(j - 2)});
  sink(5, {word(j + 2)});
  sink(6, {word(j - 1), w0});
  sink(7, {w0, word(j + 1)});
  const size_t cps = codePointCount(w0);
  for (size_t k = 1; k <= 4 && k < cps; ++k) {
    sink(static_cast<uint32_t>(7 + k), {w0.substr(0, prefixBytes(w0, k))});
    sink(static_cast<uint32_t>(11 + k), {w0.substr(suffixStart(w0, k))});
  }
  // Longer endings of long words: the last part of a compound ("...stiftung", "...straße").
  for (size_t k = 5; k <= 6 && k + 2 < cps; ++k)
    sink(static_cast<uint32_t>(53 + k), {w0.substr(suffixStart(w0, k))});
  sink(16, {shape(j)});
  sink(17, {shape(j - 1)});
  sink(18, {shape(j + 1)});
  sink(19, {shape(j - 1), shape(j), shape(j + 1)});
  sink(20, {pattern, shape(j)});
  sink(21, {pattern, shape(j - 1), shape(j)});
  const bool lineStart = i == 0 || ctx.colonDistance[i] == 1;
  sink(22, {lineStart ? "start" : "inner", pattern, shape(j)});
  sink(23, {maskName(gaz(j), b1)});
  sink(24, {maskName(gaz(j - 1), b2)});
  sink(25, {maskName(gaz(j + 1), b3)});
  sink(26, {maskName(gaz(j - 1), b2), maskName(gaz(j), b1), maskName(gaz(j + 1), b3)});
  const uint8_t g = ctx.gaz[i];
  if (ctx.stemGaz[i]) sink(44, {maskName(ctx.stemGaz[i], b1), pattern});
  static constexpr std::array<std::string_view, 8> kBits = {
      "first", "last", "country", "city", "org", "placepart", "key", "common"};
  for (size_t bit = 0; bit < kBits.size(); ++bit) {
    if (g & (1u << bit)) sink(27, {kBits[bit], pattern});
  }
  if (ctx.keyLast[i] >= 0) {
    const std::string_view key = ctx.lower[ctx.keyLast[i]];
    const std::string_view distance = distanceName(ctx.colonDistance[i]);
    sink(28, {key});
    sink(29, {ctx.keyPrev[i] >= 0 ? std::string_view(ctx.lower[ctx.keyPrev[i]]) : "<k>", key});
    sink(30, {key, distance});
    sink(31, {key, shape(j)});
  } else {
    sink(28, {"<nokey>"});
  }
  sink(32, {lengthBucket(cps), pattern});
  sink(33, {word(j - 1), shape(j)});
  sink(34, {shape(j), word(j + 1)});
  if (ctx.pattern != 'C')
    sink(35, {(*ctx.tokens)[i]});  // the word as written, where case means something
  std::array<char, 4> b4{}, b5{}, b6{};
  const uint8_t ph = ctx.phrase[i];
  const uint8_t phPrev = i > 0 ? ctx.phrase[i - 1] : 0x80,
                phNext = i + 1 < n ? ctx.phrase[i + 1] : 0x80;
  sink(36, {maskName(ph, b4)});
  sink(37, {maskName(phPrev, b5), maskName(ph, b4), maskName(phNext, b6)});
  static constexpr std::array<std::string_view, 6> kPhraseBits = {"B-PER", "I-PER", "B-ORG",
                                                                  "I-ORG", "B-LOC", "I-LOC"};
  for (size_t bit = 0; bit < kPhraseBits.size(); ++bit) {
    if (ph & (1u << bit)) sink(38, {kPhraseBits[bit], pattern});
  }
  // Words seen inside names of each type: a surname alone, one word of a firm's name.
  {
    auto nameWord = [&](long k) -> unsigned {
      if (k < 0 || k >= static_cast<long>(n)) return kBeyondLine;
      return ctx.nameWord[k];
    };
    const unsigned before = nameWord(j - 1), self = nameWord(j), after = nameWord(j + 1);
    std::array<char, 4> c1{}, c2{}, c3{};
    if (self) sink(45, {maskName(self, c1), pattern});
    if ((before | self | after) & 7)
      sink(46, {maskName(before, c2), maskName(self, c1), maskName(after, c3)});
  }
  // What the dictionaries know of the word and its neighbours.
  if (!ctx.dictionary.empty()) {
    auto dict = [&](long k) -> std::string_view {
      if (k < 0) return "<";
      if (k >= static_cast<long>(n)) return ">";
      return std::string_view(&ctx.dictionary[k], 1);
    };
    const std::string_view written = shape(j).substr(0, 1);
    sink(40, {dict(j), written, lineStart ? "start" : "inner", pattern});
    sink(41, {dict(j - 1), dict(j), dict(j + 1)});
    sink(42, {word(j - 1), dict(j)});
    sink(43, {dict(j), word(j + 1)});
  }
  // Word classes of the word and its neighbours: a rare word borrows what its class has taught.
  if (!ctx.coarse.empty()) {
    auto coarse = [&](long k) -> std::string_view {
      if (k < 0) return "<s>";
      if (k >= static_cast<long>(n)) return "</s>";
      return ctx.coarse[k];
    };
    if (!ctx.fine[i].empty()) {
      sink(47, {ctx.fine[i]});
      sink(48, {ctx.fine[i], shape(j)});
    }
    if (!ctx.coarse[i].empty()) sink(49, {ctx.coarse[i], pattern});
    sink(50, {coarse(j - 1), coarse(j)});
    sink(51, {coarse(j), coarse(j + 1)});
    if (j > 0 && !ctx.fine[i - 1].empty()) sink(52, {ctx.fine[i - 1], shape(j)});
    if (i + 1 < n && !ctx.fine[i + 1].empty()) sink(53, {shape(j), ctx.fine[i + 1]});
    sink(54, {coarse(j - 2), coarse(j - 1)});
    sink(55, {coarse(j + 1), coarse(j + 2)});
    if (!ctx.coarse[i].empty()) sink(56, {coarse(j - 1), ctx.coarse[i], coarse(j + 1)});
  }
  // Embedding classes of the word and its neighbours: what words used alike have taught, whatever
  // their case.
  if (!ctx.embeddingCoarse.empty()) {
    auto coarse = [&](long k) -> std::string_view {
      if (k < 0) return "<s>";
      if (k >= static_cast<long>(n)) return "</s>";
      return ctx.embeddingCoarse[k];
    };
    const auto& fine = ctx.embeddingFine;
    if (!fine[i].empty()) {
      sink(70, {fine[i]});
      sink(71, {fine[i], shape(j)});
      if (ctx.kind != 0) sink(72, {std::string_view(&ctx.kind, 1), fine[i]});
    }
    if (!ctx.embeddingCoarse[i].empty()) sink(73, {ctx.embeddingCoarse[i], pattern});
    sink(74, {coarse(j - 1), coarse(j)});
    sink(75, {coarse(j), coarse(j + 1)});
    if (j > 0 && !fine[i - 1].empty()) sink(76, {fine[i - 1], shape(j)});
    if (i + 1 < n && !fine[i + 1].empty()) sink(77, {shape(j), fine[i + 1]});
  }
  // The kind of line: brackets, digits and small words read apart in titles, tables and prose.
  if (ctx.kind != 0) {
    const std::string_view kind(&ctx.kind, 1);
    sink(60, {kind, ctx.wordCount, pattern});
    sink(61, {kind, pattern, shape(j)});
    sink(62, {kind, shape(j - 1), shape(j), shape(j + 1)});
    if (ctx.shape[i].empty() || ctx.shape[i][0] != 'X') sink(63, {kind, w0});
    if (!ctx.fine.empty() && !ctx.fine[i].empty()) sink(64, {kind, ctx.fine[i]});
  }
  // Letter trigrams of longer words carry over to names never seen whole.
  if (cps >= 5) {
    size_t a = 0, b = prefixBytes(w0, 3);
    for (size_t k = 0; k + 3 <= cps && k < 12; ++k) {
      sink(39, {w0.substr(a, b - a)});
      size_t next = a;
      decodeAt(w0, next);
      a = next;
      if (b < w0.size()) decodeAt(w0, b);
    }
  }
}

// Features weigh differently in a line printed in capitals, where case says nothing: every
// template gets weights of its own there, so that what the upper-cased training copies teach does
// not blur what ordinary text has taught, and the other way round.
constexpr uint32_t kCapitalsTemplates = 100;

// Letter trigrams are many and say much the same in every language: they stay shared only.
constexpr uint32_t kSharedOnlyTemplate = 39;

struct HashSink {
  unsigned bits;
  std::vector<uint32_t>* out;
  bool capitals = false;
  int language = 0;
  void operator()(uint32_t templ, std::initializer_list<std::string_view> parts) {
    const bool perLanguage = language > 0 && templ != kSharedOnlyTemplate;
    if (capitals) templ += kCapitalsTemplates;
    uint64_t h = kFnvOffset ^ (static_cast<uint64_t>(templ + 1) * 0x9E3779B97F4A7C15ull);
    h *= kFnvPrime;
    for (std::string_view p : parts) {
      h = hashBytes(h, p);
      h ^= 0x1F;
      h *= kFnvPrime;
    }
    out->push_back(static_cast<uint32_t>(mix64(h) >> (64 - bits)));
    if (perLanguage) {
      const uint64_t l = h ^ (static_cast<uint64_t>(language) * 0xD6E8FEB86659FD93ull);
      out->push_back(static_cast<uint32_t>(mix64(l) >> (64 - bits)));
    }
  }
};

struct StringSink {
  std::vector<std::string>* out;
  bool capitals = false;
  int language = 0;
  void operator()(uint32_t templ, std::initializer_list<std::string_view> parts) {
    const bool perLanguage = language > 0 && templ != kSharedOnlyTemplate;
    if (capitals) templ += kCapitalsTemplates;
    std::string s = std::to_string(templ) + "=";
    bool first = true;
    for (std::string_view p : parts) {
      if (!first) s += '|';
      s += p;
      first = false;
    }
    if (perLanguage) out->push_back(std::string(kModelLanguages[language - 1]) + ":" + s);
    out->push_back(std::move(s));
  }
};

}  // namespace

Lexicon::Lexicon(std::vector<uint64_t> entries) {
  std::sort(entries.begin(), entries.end());
  for (uint64_t e : entries) {
    const auto hash = static_cast<uint32_t>(e >> 8);
    if (!hashes_.empty() && hashes_.back() == hash) {
      flags_.back() |= static_cast<uint8_t>(e & 0xFF);
    } else {
      hashes_.push_back(hash);
      flags_.push_back(static_cast<uint8_t>(e & 0xFF));
    }
  }
}

namespace {

uint32_t lexiconHash(std::string_view lowerWord) {
  return static_cast<uint32_t>(mix64(hashBytes(kFnvOffset ^ 0x4c4558ull, lowerWord)) >> 32);
}

// Whether word hashes and their values read from a model file fit together: one value per hash,
// the hashes strictly increasing (lookups search them).
template <class Value>
bool storedInOrder(const std::vector<uint32_t>& hashes, const std::vector<Value>& values) {
  if (hashes.size() != values.size()) return false;
  for (size_t i = 1; i < hashes.size(); ++i) {
    if (hashes[i - 1] >= hashes[i]) return false;
  }
  return true;
}

// The index of `lowerWord` in sorted `hashes`, or -1.
long indexOfWord(const std::vector<uint32_t>& hashes, std::string_view lowerWord) {
  const uint32_t h = lexiconHash(lowerWord);
  auto it = std::lower_bound(hashes.begin(), hashes.end(), h);
  return it != hashes.end() && *it == h ? it - hashes.begin() : -1;
}

}  // namespace

std::optional<Lexicon> Lexicon::fromSorted(std::vector<uint32_t> hashes,
                                           std::vector<uint8_t> flags) {
  if (!storedInOrder(hashes, flags)) return std::nullopt;
  Lexicon l;
  l.hashes_ = std::move(hashes);
  l.flags_ = std::move(flags);
  return l;
}

uint8_t Lexicon::lookup(std::string_view lowerWord) const {
  const long i = indexOfWord(hashes_, lowerWord);
  return i < 0 ? 0 : flags_[static_cast<size_t>(i)];
}

WordClusters::WordClusters(const std::vector<std::pair<std::string, Classes>>& words) {
  std::vector<std::pair<uint32_t, uint16_t>> entries;
  entries.reserve(words.size());
  for (const auto& [w, c] : words) {
    entries.emplace_back(lexiconHash(w), static_cast<uint16_t>(c.coarse << 8 | c.fine));
  }
  std::stable_sort(entries.begin(), entries.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [h, c] : entries) {
    if (!hashes_.empty() && hashes_.back() == h) continue;
    hashes_.push_back(h);
    classes_.push_back(c);
  }
}

std::optional<WordClusters> WordClusters::fromSorted(std::vector<uint32_t> hashes,
                                                     std::vector<uint16_t> classes) {
  if (!storedInOrder(hashes, classes)) return std::nullopt;
  WordClusters w;
  w.hashes_ = std::move(hashes);
  w.classes_ = std::move(classes);
  return w;
}

std::optional<WordClusters::Classes> WordClusters::lookup(std::string_view lowerWord) const {
  const long i = indexOfWord(hashes_, lowerWord);
  if (i < 0) return std::nullopt;
  const uint16_t c = classes_[static_cast<size_t>(i)];
  return Classes{static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c & 0xFF)};
}

uint64_t lexiconEntry(std::string_view word, int language) {
  if (language < 1 || language > static_cast<int>(std::size(kModelLanguages))) return 0;
  size_t i = 0;
  const UChar32 first = word.empty() ? 0 : decodeAt(word, i);
  const bool capital = u_isupper(first) || u_istitle(first);
  const unsigned bit = 2 * static_cast<unsigned>(language - 1) + (capital ? 1 : 0);
  return (static_cast<uint64_t>(lexiconHash(lowerCase(word))) << 8) | (1u << bit);
}

Gazetteer::Gazetteer(std::vector<uint64_t> entries, std::shared_ptr<const Lexicon> lexicon,
                     std::shared_ptr<const WordClusters> clusters,
                     std::shared_ptr<const WordClusters> embeddingClasses)
    : lexicon_(std::move(lexicon)),
      clusters_(std::move(clusters)),
      embeddingClasses_(std::move(embeddingClasses)) {
  std::sort(entries.begin(), entries.end());
  for (uint64_t e : entries) {
    if (!entries_.empty() && (entries_.back() & ~0xFFull) == (e & ~0xFFull)) {
      entries_.back() |= e & 0xFF;
    } else {
      entries_.push_back(e);
    }
  }
}

uint8_t Gazetteer::lookup(std::string_view lowerWord) const {
  if (entries_.empty()) return 0;
  const uint64_t key = gazetteerEntry(lowerWord, 0);
  auto it = std::lower_bound(entries_.begin(), entries_.end(), key);
  if (it != entries_.end() && (*it & ~0xFFull) == key) return static_cast<uint8_t>(*it & 0xFF);
  return 0;
}

uint8_t Gazetteer::lookupPhrase(uint64_t key) const {
  if (entries_.empty()) return 0;
  const uint64_t k = phraseEntry(key, 0);
  auto it = std::lower_bound(entries_.begin(), entries_.end(), k);
  if (it != entries_.end() && (*it & ~0xFFull) == k) return static_cast<uint8_t>(*it & 0xFF);
  return 0;
}

uint64_t phraseKeyStart() { return 0x84222325cbf29ce4ull; }

uint64_t phraseKeyAdd(uint64_t key, std::string_view lowerToken) {
  key = hashBytes(key, lowerToken);
  key ^= 0x20;
  return key * kFnvPrime;
}

uint64_t phraseEntry(uint64_t key, uint8_t mask) {
  return (mix64(key ^ 0x5bd1e995ull) & ~0xFFull) | mask;
}

uint64_t gazetteerEntry(std::string_view lowerWord, uint8_t mask) {
  return (mix64(hashBytes(kFnvOffset, lowerWord)) & ~0xFFull) | mask;
}

bool isColonToken(std::string_view token) { return token == ":" || token == "\xEF\xBC\x9A"; }

std::string lowerCase(std::string_view word) {
  bool ascii = true;
  for (unsigned char c : word) {
    if (c >= 0x80) {
      ascii = false;
      break;
    }
  }
  if (ascii) {
    std::string out(word);
    for (char& c : out) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
  }
  icu::UnicodeString u = icu::UnicodeString::fromUTF8(
      icu::StringPiece(word.data(), static_cast<int32_t>(word.size())));
  u.toLower(icu::Locale::getRoot());
  std::string out;
  u.toUTF8String(out);
  return out;
}

std::string wordShape(std::string_view word) {
  std::string out;
  for (size_t i = 0; i < word.size();) {
    UChar32 c = decodeAt(word, i);
    char s;
    if (u_isupper(c) || u_istitle(c)) {
      s = 'X';
    } else if (u_islower(c)) {
      s = 'x';
    } else if (u_isdigit(c)) {
      s = 'd';
    } else if (u_isalpha(c)) {
      s = 'a';
    } else if (U_GET_GC_MASK(c) & U_GC_M_MASK) {
      continue;  // combining marks take the shape of their base
    } else if (c < 0x80) {
      s = static_cast<char>(c);
    } else {
      s = '.';
    }
    if (out.empty() || out.back() != s) out += s;
    if (out.size() >= 8) break;
  }
  return out;
}

int modelLanguageOf(std::string_view code) {
  const std::string_view base = code.substr(0, code.find_first_of("-_"));
  for (size_t k = 0; k < std::size(kModelLanguages); ++k) {
    if (base == kModelLanguages[k]) return static_cast<int>(k) + 1;
  }
  return 0;
}

namespace {

// `word` with its first letter upper-cased and the rest lower-cased.
std::string capitalised(std::string_view word) {
  const std::string lower = lowerCase(word);
  size_t i = 0;
  const UChar32 first = decodeAt(lower, i);
  std::string out;
  char buffer[4];
  size_t length = 0;
  UBool error = false;
  U8_APPEND(reinterpret_cast<uint8_t*>(buffer), length, 4, u_totitle(first), error);
  if (error) return lower;
  out.assign(buffer, length);
  out.append(lower, i);
  return out;
}

// One word of a line in capitals as running text writes it (see recaseCapitals); `whole` when it
// is a token of its own, not a part of a hyphenated one.
std::string recasedWord(std::string_view word, const Gazetteer& gazetteer, int language,
                        bool whole) {
  const CaseInfo ci = caseInfo(word);
  if (ci.letters == 0 || ci.lower > 0 || word.find_first_of("0123456789.") != word.npos)
    return std::string(word);
  const std::string lower = lowerCase(word);
  // In English text a function word of another language is read as any other word ("UN").
  const bool foreign = whole && language == kEnglish && !isEnglishFunctionWord(lower);
  if (isNameJoiningWord(lower) || (isFunctionWord(lower) && !foreign)) return lower;
  const uint8_t listed = gazetteer.lookup(lower);
  if (listed & kGazOrgWord) return ci.letters > 3 ? capitalised(word) : std::string(word);
  const Lexicon* lexicon = gazetteer.lexicon();
  const char known = lexicon ? dictionaryClass(*lexicon, lower, language) : 'n';
  const bool common = (listed & kGazCommonWord) != 0;
  if (ci.letters <= 3 && lower != "us") {
    // Short words: common words the dictionaries know in small letters ("NOW", "SO", "JOB") and
    // words of three letters they know in small letters only; codes stay ("UN", "BBC", "SUN").
    const bool small =
        (common && (known == 'l' || known == 'b')) || (known == 'l' && ci.letters == 3);
    return small ? lower : std::string(word);
  }
  if (known == 'l' || (known == 'b' && common && ci.letters > 3)) return lower;
  const bool inDictionary = known == 'b' || known == 'c';
  if (ci.letters <= 3 || (ci.letters == 4 && !inDictionary)) return std::string(word);
  return capitalised(word);
}

// "US" in a line of running text in capitals is the pronoun where a sentence has one: not after
// "the", and before the end of the line, punctuation, a function word or an article ("TOLD US
// THAT", "SHOPPING WITH US .", "GIVE US A"); elsewhere it stays the country ("US STOCKS", "THE US
// ."). `out` holds the recased words of `tokens`.
void readUsAsPronoun(const std::vector<std::string>& tokens, std::vector<std::string>& out) {
  for (size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i] != "US" || (i > 0 && lowerCase(tokens[i - 1]) == "the")) continue;
    const std::string next = i + 1 < out.size() ? lowerCase(out[i + 1]) : std::string();
    const bool pronoun = next.empty() || caseInfo(next).letters == 0 || isFunctionWord(next) ||
                         next == "a" || next == "an" || next == "the";
    if (pronoun) out[i] = "us";
  }
}

// In English text an article or particle of another language after a word in small letters (or
// first) and before a word with a capital opens a name and takes a capital: "le Figaro" is "Le
// Figaro", "los Angeles" "Los Angeles", "von Beust" "Von Beust"; "Charles de Gaulle" stays.
void capitaliseForeignArticles(std::vector<std::string>& out) {
  static constexpr std::string_view kArticles[] = {"le",  "la", "les", "el",  "los",
                                                   "las", "il", "die", "der", "das",
                                                   "de",  "du", "von", "van", "al"};
  for (size_t i = 0; i + 1 < out.size(); ++i) {
    if (std::find(std::begin(kArticles), std::end(kArticles), lowerCase(out[i])) ==
        std::end(kArticles))
      continue;
    if (i > 0 && caseInfo(out[i - 1]).upper > 0) continue;
    const CaseInfo next = caseInfo(out[i + 1]);
    if (next.upper > 0 && next.letters > 1) out[i] = capitalised(out[i]);
  }
}

bool hasCapital(const std::string& word) { return caseInfo(word).upper > 0; }

// Whether the organisation word at `i` of a recased line stands in a name: beside a word with a
// capital that is no organisation word itself ("Essen Police", "Police Scotland"), before "of" or
// "for" ("Ministry of Health", "Association for ..."), before a small word inside names and a word
// with a capital ("Bank and Trust"), or after a word in small letters that follows a name
// ("Gulfport high School").
bool organisationWordInName(const std::vector<std::string>& tokens, const Gazetteer& gazetteer,
                            const std::vector<std::string>& out, size_t i) {
  const auto capitalNonOrganisation = [&](size_t k) {
    return hasCapital(out[k]) && !(gazetteer.lookup(lowerCase(tokens[k])) & kGazOrgWord);
  };
  const size_t n = out.size();
  if ((i > 0 && capitalNonOrganisation(i - 1)) || (i + 1 < n && capitalNonOrganisation(i + 1)))
    return true;
  if (i + 1 < n) {
    const std::string next = lowerCase(tokens[i + 1]);
    if (next == "of" || next == "for") return true;
    if (i + 2 < n && isNameJoiningWord(next) && hasCapital(out[i + 2])) return true;
  }
  if (i < 2 || hasCapital(out[i - 1]) || !hasCapital(out[i - 2]) || caseInfo(out[i - 2]).lower == 0)
    return false;
  const std::string before = lowerCase(tokens[i - 1]);
  return !isNameJoiningWord(before) && !isFunctionWord(before);
}

// An organisation word the dictionaries also know in small letters keeps its capital only where
// it stands in a name (organisationWordInName): "THE UNIONS HAVE" is "the unions have", "THE
// ESSEN POLICE" "the Essen Police".
void lowerLoneOrganisationWords(const std::vector<std::string>& tokens, const Gazetteer& gazetteer,
                                int language, std::vector<std::string>& out) {
  const Lexicon* lexicon = gazetteer.lexicon();
  if (!lexicon) return;
  std::vector<size_t> lone;
  for (size_t i = 0; i < out.size(); ++i) {
    const std::string lower = lowerCase(tokens[i]);
    if (!(gazetteer.lookup(lower) & kGazOrgWord) || caseInfo(tokens[i]).letters <= 3) continue;
    const char known = dictionaryClass(*lexicon, lower, language);
    if (known != 'l' && known != 'b') continue;
    if (!organisationWordInName(tokens, gazetteer, out, i)) lone.push_back(i);
  }
  for (size_t i : lone) out[i] = lowerCase(tokens[i]);
}

// In English, a word the dictionaries know both ways after an article, a possessive or a modal
// verb is the common word: "HER MARK" is "her mark", "CAN LEVY" "can levy" (not "Mark", "Levy").
void lowerWordsAfterDeterminers(const std::vector<std::string>& tokens, const Gazetteer& gazetteer,
                                int language, std::vector<std::string>& out) {
  static constexpr std::string_view kBefore[] = {
      "a",     "an",  "his",   "her",  "its",   "my",     "your", "our",
      "their", "can", "could", "will", "would", "should", "must", "might"};
  const Lexicon* lexicon = gazetteer.lexicon();
  if (!lexicon) return;
  for (size_t i = 1; i < out.size(); ++i) {
    if (std::find(std::begin(kBefore), std::end(kBefore), lowerCase(tokens[i - 1])) ==
        std::end(kBefore))
      continue;
    const CaseInfo ci = caseInfo(out[i]);
    if (ci.upper == 0 || ci.lower == 0) continue;  // in small letters already, or a code
    const std::string lower = lowerCase(tokens[i]);
    if (gazetteer.lookup(lower) & kGazOrgWord) continue;
    if (dictionaryClass(*lexicon, lower, language) == 'b') out[i] = lower;
  }
}

}  // namespace

std::optional<std::vector<std::string>> recaseCapitals(const std::vector<std::string>& tokens,
                                                       const Gazetteer& gazetteer, int language) {
  int words = 0, capitals = 0;
  for (const std::string& t : tokens) {
    const CaseInfo ci = caseInfo(t);
    if (ci.letters == 0) continue;
    ++words;
    if (ci.lower == 0) ++capitals;
  }
  if (capitals < 3 || capitals * 4 < words * 3) return std::nullopt;
  int functionWords = 0, articles = 0;
  for (const std::string& t : tokens) {
    const std::string lower = lowerCase(t);
    // English text counts its own function words only ("WAR" is none).
    const bool function =
        language == kEnglish ? isEnglishFunctionWord(lower) : isFunctionWord(lower);
    functionWords += function ? 1 : 0;
    articles += lower == "the" || lower == "a" || lower == "an" ? 1 : 0;
  }
  // English: one function word and an article in a line of five words or more will also do
  // ("KING SALAMAN REPLACED THE VETERAN WITH ...").
  const bool english = language == 0 || language == kEnglish;
  const bool running =
      functionWords >= 2 || (english && functionWords == 1 && articles >= 1 && words >= 5);
  if (!running) return std::nullopt;
  std::vector<std::string> out;
  out.reserve(tokens.size());
  for (const std::string& t : tokens) {
    std::string word;
    for (size_t from = 0; from <= t.size();) {  // each part of a hyphenated word on its own
      const size_t hyphen = std::min(t.find('-', from), t.size());
      word += recasedWord(std::string_view(t).substr(from, hyphen - from), gazetteer, language,
                          from == 0 && hyphen == t.size());
      if (hyphen < t.size()) word += '-';
      from = hyphen + 1;
    }
    out.push_back(std::move(word));
  }
  readUsAsPronoun(tokens, out);
  if (english) capitaliseForeignArticles(out);
  lowerLoneOrganisationWords(tokens, gazetteer, language, out);
  if (english) lowerWordsAfterDeterminers(tokens, gazetteer, language, out);
  for (std::string& word : out) {  // a sentence opens with a capital
    const CaseInfo ci = caseInfo(word);
    if (ci.letters == 0) continue;
    if (ci.upper == 0) word = capitalised(word);
    break;
  }
  return out;
}

char lineKind(const std::vector<std::string>& tokens, const Gazetteer& gazetteer, int language) {
  if (tokens.empty()) return 'F';
  return makeContext(tokens, gazetteer, language, kLineKindFeatures).kind;
}

void extractLineFeatures(const std::vector<std::string>& tokens, const Gazetteer& gazetteer,
                         unsigned bucketBits, LineFeatures& out, int language, uint32_t groups) {
  out.buckets.clear();
  out.offsets.clear();
  out.offsets.push_back(0);
  if (tokens.empty()) return;
  const LineContext ctx = makeContext(tokens, gazetteer, language, groups);
  HashSink sink{bucketBits, &out.buckets, ctx.pattern == 'C', language};
  for (size_t i = 0; i < tokens.size(); ++i) {
    tokenFeatures(ctx, i, sink);
    out.offsets.push_back(static_cast<uint32_t>(out.buckets.size()));
  }
}

std::vector<std::string> describeFeatures(const std::vector<std::string>& tokens,
                                          const Gazetteer& gazetteer, size_t index, int language,
                                          uint32_t groups) {
  std::vector<std::string> out;
  if (index >= tokens.size()) return out;
  const LineContext ctx = makeContext(tokens, gazetteer, language, groups);
  StringSink sink{&out, ctx.pattern == 'C', language};
  tokenFeatures(ctx, index, sink);
  return out;
}

}  // namespace marrowfen::entities
