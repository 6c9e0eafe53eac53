// Reading labelled sentences (CoNLL-style files), splitting them into the word segments the tagger
// sees at run time, and scoring predicted names against gold names entity by entity.
#pragma once

#include <array>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marrowfen::tagger {

// One labelled sentence: tokens and their tag numbers (0 = O, 1/2 = B/I person, 3/4 = B/I
// organisation, 5/6 = B/I place, as in entities/model/perceptron_model.h).
struct Sentence {
  std::vector<std::string> tokens;
  std::vector<int> tags;
  std::string language;  // the text's language code, empty when not known
};

enum class CorpusFormat {
  kWikiAnn,   // "lang:token<TAB>tag"
  kGermEval,  // "index<TAB>token<TAB>outer<TAB>inner", '#' comment lines
  kTokenTag,  // "token<TAB>tag" (BTC, and the generated document lines)
};

// "wikiann", "germeval", "conll" (token<TAB>tag); nothing for another word.
std::optional<CorpusFormat> parseCorpusFormat(std::string_view name);
// The format a file name suggests: *.iob WikiANN, *.tsv GermEval, anything else token<TAB>tag.
CorpusFormat guessCorpusFormat(std::string_view path);

// The tag number of a tag text: "B-PER", "I-LOC", "O" ... Tags of other types (MISC, OTH) and
// GermEval's derived and partial names ("B-LOCderiv", "I-ORGpart") are O. I after a tag of another
// type is read as B (IOB1 and inconsistent files), so that every sentence is valid BIO.
int parseTag(std::string_view tag, int previous);
// Whether a tag text that parseTag reads as O marks a name of none of the three types, to be
// trained as entities::kOtherNameTag: other types ("B-OTH", "I-MISC") and derived names
// ("B-LOCderiv") written with a capital ("Berliner", "Deutschen"; not "deutschen").
bool isOtherNameTag(std::string_view tag, std::string_view token);
// "O", "B-PER", ... for a tag number.
std::string_view tagName(int tag);

// Reads the sentences of a stream; malformed lines are skipped. With `otherNames`, the words of
// isOtherNameTag get entities::kOtherNameTag instead of O.
std::vector<Sentence> readCorpus(std::istream& in, CorpusFormat format, bool otherNames = false);
// Reads a file; nothing when it cannot be opened.
std::optional<std::vector<Sentence>> readCorpusFile(const std::string& path, CorpusFormat format,
                                                    bool otherNames = false);
// Writes sentences as token<TAB>tag lines with a blank line after each.
void writeCorpus(std::ostream& out, const std::vector<Sentence>& sentences);

// The ICU word-break segments of `text` without the white-space ones, as the tagger adapter
// makes them for one line.
std::vector<std::string> wordSegments(std::string_view text);

// A sentence whose tokens are split further into word segments (WikiANN's "St." becomes "St" and
// "."); `origin[k]` is the index of the original token that segment k came from. The first
// segment of a token keeps its tag, later ones continue it (B-X becomes I-X).
struct SegmentedSentence {
  Sentence sentence;
  std::vector<size_t> origin;
};
SegmentedSentence segmentSentence(const Sentence& s);
// Tags of segments mapped back to the original tokens: each token takes its first segment's tag,
// then the sequence is repaired to valid BIO.
std::vector<int> tagsOfOriginalTokens(const SegmentedSentence& s,
                                      const std::vector<int>& segmentTags, size_t originalCount);

// Every token of the sentence upper-cased (full Unicode mapping).
Sentence upperCased(const Sentence& s);

// A name: tokens [begin, end) of one sentence, with its type 1..3 (person, organisation, place).
struct Span {
  size_t begin = 0;
  size_t end = 0;
  int type = 0;
  bool operator==(const Span&) const = default;
};
// The names of a BIO tag sequence; an I without a B before it starts a name (as conlleval does).
std::vector<Span> spansOf(const std::vector<int>& tags);

// Counts for entity-level precision and recall; a name is right only with exact span and type.
struct EntityCounts {
  std::array<long, 4> gold{};  // per type 1..3, index 0 unused
  std::array<long, 4> predicted{};
  std::array<long, 4> correct{};
  void add(const std::vector<int>& goldTags, const std::vector<int>& predictedTags);
};
struct Prf {
  double precision = 0;
  double recall = 0;
  double f1 = 0;
};
// Scores of one type (1..3), or of all types together (0).
Prf scoreOf(const EntityCounts& counts, int type);
// A table of precision, recall, F1 and counts per type and overall.
void printScores(std::ostream& out, const EntityCounts& counts);

}  // namespace marrowfen::tagger
