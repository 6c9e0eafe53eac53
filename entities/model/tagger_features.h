// Features of the name tagger: turns the tokens of one line into hashed feature buckets.
//
// Training and labelling share this code, so a model always sees the features it was trained on.
// Every feature is a template number plus a short string, hashed into one of 2^bucketBits buckets;
// collisions are accepted (the table stays small and no feature dictionary is stored).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marrowfen::entities {

// Gazetteer classes, one bit each in a word's mask.
enum GazetteerClass : uint8_t {
  kGazFirstName = 1 << 0,   // a given name
  kGazLastName = 1 << 1,    // a family name
  kGazCountry = 1 << 2,     // a country, region or subdivision (one-word names)
  kGazCity = 1 << 3,        // a city or town (one-word names)
  kGazOrgWord = 1 << 4,     // a word typical of organisation names ("GmbH", "Ministry")
  kGazPlacePart = 1 << 5,   // a word of a multi-word country, region or city name
  kGazKeyWord = 1 << 6,     // a word of a form label ("Surname", "Geburtsort")
  kGazCommonWord = 1 << 7,  // a word mostly written in lower case in running text ("yesterday")
};

// The words of a spelling dictionary of each model language and how the dictionary writes them:
// for the language kModelLanguages[k], bit 2k of a word's flags is set when its dictionary lists
// the word in lower case ("haus", "yesterday"), bit 2k+1 when it lists it with a capital ("Haus",
// "Paris", "NATO"). In German a capital marks every noun, so a capitalised word the dictionary
// does not know is far more likely a name than one it lists. Membership is tested by a 32-bit
// hash of the lower-cased word: at a million words about one unlisted word in 4000 passes for
// listed, which the weights absorb.
class Lexicon {
 public:
  Lexicon() = default;
  // `entries` are lexiconEntry values in any order; entries of the same word are merged.
  explicit Lexicon(std::vector<uint64_t> entries);
  // Parallel arrays as stored in a model file; nothing unless the hashes strictly increase.
  static std::optional<Lexicon> fromSorted(std::vector<uint32_t> hashes,
                                           std::vector<uint8_t> flags);
  // The flags of a lower-cased word, 0 when no dictionary lists it.
  uint8_t lookup(std::string_view lowerWord) const;
  const std::vector<uint32_t>& hashes() const { return hashes_; }
  const std::vector<uint8_t>& flags() const { return flags_; }

 private:
  std::vector<uint32_t> hashes_;  // sorted, one per word
  std::vector<uint8_t> flags_;
};

// The entry that lists `word` (as the dictionary writes it) in the dictionary of `language`, a
// modelLanguageOf value from 1.
uint64_t lexiconEntry(std::string_view word, int language);

// Classes of words learnt from plain text (words between the same neighbours share one), a
// coarse and a fine one per lower-cased word, found by a 32-bit hash like the dictionary words.
class WordClusters {
 public:
  struct Classes {
    uint8_t coarse = 0;
    uint8_t fine = 0;
  };
  WordClusters() = default;
  // Lower-cased words with their classes, in any order; of words whose hashes collide the first
  // is kept.
  explicit WordClusters(const std::vector<std::pair<std::string, Classes>>& words);
  // Parallel arrays as stored in a model file (coarse << 8 | fine); nothing unless the hashes
  // strictly increase.
  static std::optional<WordClusters> fromSorted(std::vector<uint32_t> hashes,
                                                std::vector<uint16_t> classes);
  std::optional<Classes> lookup(std::string_view lowerWord) const;
  const std::vector<uint32_t>& hashes() const { return hashes_; }
  const std::vector<uint16_t>& classes() const { return classes_; }

 private:
  std::vector<uint32_t> hashes_;
  std::vector<uint16_t> classes_;
};

// Lower-cased words with their class masks; membership is tested by a 56-bit hash of the word.
// It may carry the dictionary words of the model languages too (shared, as the trainer keeps
// several gazetteers that differ only in their phrases).
class Gazetteer {
 public:
  Gazetteer() = default;
  // `entries` are (hash & ~0xFF) | mask values as made by gazetteerEntry, in any order; entries of
  // the same word are merged.
  explicit Gazetteer(std::vector<uint64_t> entries,
                     std::shared_ptr<const Lexicon> lexicon = nullptr,
                     std::shared_ptr<const WordClusters> clusters = nullptr,
                     std::shared_ptr<const WordClusters> embeddingClasses = nullptr);
  // The class mask of a lower-cased word, 0 when it is not listed.
  uint8_t lookup(std::string_view lowerWord) const;
  // The name types (kPhrasePerson | kPhraseOrganization | kPhrasePlace) a phrase is listed under;
  // `key` is phraseKey of its lower-cased words.
  uint8_t lookupPhrase(uint64_t key) const;
  const std::vector<uint64_t>& entries() const { return entries_; }
  // The dictionary words, or null when the model has none.
  const Lexicon* lexicon() const { return lexicon_.get(); }
  // The word classes, or null when the model has none.
  const WordClusters* clusters() const { return clusters_.get(); }
  // The classes of the words' embedding vectors, or null when the model has none.
  const WordClusters* embeddingClasses() const { return embeddingClasses_.get(); }

 private:
  std::vector<uint64_t> entries_;  // sorted by hash, one per word
  std::shared_ptr<const Lexicon> lexicon_;
  std::shared_ptr<const WordClusters> clusters_;
  std::shared_ptr<const WordClusters> embeddingClasses_;
};

// The entry that lists `lowerWord` under the classes of `mask`.
uint64_t gazetteerEntry(std::string_view lowerWord, uint8_t mask);

// Name types of listed phrases (multi-word or single-word names).
enum PhraseType : uint8_t {
  kPhrasePerson = 1 << 0,
  kPhraseOrganization = 1 << 1,
  kPhrasePlace = 1 << 2,
  // A single word that occurs in some listed name of the type ("schrempp" from "Jürgen
  // Schrempp"): the same three types in bits 3 to 5.
  kPhrasePersonWord = 1 << 3,
  kPhraseOrganizationWord = 1 << 4,
  kPhrasePlaceWord = 1 << 5,
};
// Longest phrase, in tokens, that is looked up.
inline constexpr size_t kMaxPhraseTokens = 6;
// The running key of a phrase: start with phraseKeyStart(), then add each lower-cased token.
uint64_t phraseKeyStart();
uint64_t phraseKeyAdd(uint64_t key, std::string_view lowerToken);
// The entry that lists the phrase of `key` under the types of `mask`.
uint64_t phraseEntry(uint64_t key, uint8_t mask);

// Whether a token is a colon (':' or the full-width one), which ends the key of a key: value line.
bool isColonToken(std::string_view token);

// The word lower-cased (full Unicode case mapping; ASCII without ICU calls).
std::string lowerCase(std::string_view word);
// The word's shape with runs collapsed: "Smith" -> "Xx", "IBM" -> "X", "D-12" -> "X-d",
// "McDonald" -> "XxXx", "über" -> "x". Letters without case give 'a', other symbols '.' unless
// ASCII.
std::string wordShape(std::string_view word);

// Feature buckets of every token of a line: token i owns buckets[offsets[i] .. offsets[i+1]).
struct LineFeatures {
  std::vector<uint32_t> buckets;  // bucket numbers, < 2^bucketBits
  std::vector<uint32_t> offsets;  // tokens.size() + 1 entries
};

// The languages whose text the model has weights of its own for; features of a line in one of
// them are given twice, once shared by all text and once for that language alone, so that what
// capitals or a suffix mean in German need not be what they mean in English.
inline constexpr std::string_view kModelLanguages[] = {"en", "de", "fr", "nl"};
// The language's index + 1 in kModelLanguages ("en-GB" counts as "en"), 0 for any other or none.
int modelLanguageOf(std::string_view languageCode);

// Optional groups of features, one bit each; a model file records the groups it was trained
// with, and a model is always given exactly those.
enum FeatureGroup : uint32_t {
  // The kind of line: running text, a fragment with no word of running text (a title, a bare
  // name, a heading) or a table row (words among numbers), with its length in words. Words
  // between brackets, digits and small words are read apart in each kind, so that titles such as
  // "Zasyadko ( crater )" do not teach that names run on through brackets in prose, and a team
  // before its scores can be told from a town in a sentence.
  kLineKindFeatures = 1u << 0,
  // Classes of words whose embedding vectors (learnt from a large plain text) point the same way,
  // looked up by the lower-cased word: the model file carries them after the word classes.
  kEmbeddingClassFeatures = 1u << 1,
};
inline constexpr uint32_t kKnownFeatureGroups = kLineKindFeatures | kEmbeddingClassFeatures;

// The kind of a line as kLineKindFeatures reads it: 'R' a table row (two or more numbers, at least
// a third of its words), 'S' running text (a sentence end, a function word such as "was", "mit",
// "dans", or three words written in small letters other than the small words inside names such
// as "of", "de", "von"), 'F' a fragment (neither: titles, bare names, headings). In a line in
// capitals a word listed as a common word, or by a dictionary in small letters only, stands for a
// word written in small letters.
char lineKind(const std::vector<std::string>& tokens, const Gazetteer& gazetteer, int language = 0);

// Words that only running text has, in small letters: articles, pronouns, auxiliary verbs and
// prepositions of the model languages that names hardly ever hold ("was", "mit", "dans", "met").
bool isFunctionWord(std::string_view lower);

// A line of running text printed in capitals (at least two function words, "THE ARMY WAS ...";
// in English, where only English function words count, also one with an article in five words or
// more) written as mixed-case text would write it, so that the model reads it with what prose has
// taught: function words and the small words inside names in small letters ("was", "of", "de";
// in English a function word of another language is read as any other word: "UN"); words of
// organisations' names with a capital ("Department", "Limited"), but those the dictionaries also
// know in small letters only where they stand in a name ("the Essen Police", "the unions"); a
// word the dictionaries of `language` know in small letters only, or in both ways but mostly
// written in small letters, in small letters ("army"); other words of four letters or more with a
// capital ("Athens", "Bill"), but for unknown words of four ("NATO"); short words in small letters
// when common ("now") or of three letters known in small letters only ("job"), else as they are
// ("US", "BBC"); words with digits or dots as they are ("U.S."); the parts of a hyphenated word
// each on its own; in English, a word known both ways after an article, a possessive or a modal
// verb in small letters ("her mark") and an article of another language that opens a name with a
// capital ("Los Angeles"); the first word with a capital. Nothing for any other line.
std::optional<std::vector<std::string>> recaseCapitals(const std::vector<std::string>& tokens,
                                                       const Gazetteer& gazetteer,
                                                       int language = 0);

// Computes the features of `tokens` (one line, ICU word segments without white space) into `out`;
// `language` is a modelLanguageOf value, `groups` the FeatureGroup bits to add.
void extractLineFeatures(const std::vector<std::string>& tokens, const Gazetteer& gazetteer,
                         unsigned bucketBits, LineFeatures& out, int language = 0,
                         uint32_t groups = 0);

// The human-readable feature strings of token `index`, for tests and debugging; the same
// templates that extractLineFeatures hashes.
std::vector<std::string> describeFeatures(const std::vector<std::string>& tokens,
                                          const Gazetteer& gazetteer, size_t index,
                                          int language = 0, uint32_t groups = 0);

}  // namespace marrowfen::entities
