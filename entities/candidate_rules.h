// The rules that turn tagger tokens and detector matches into candidates: cleaning, the
// de-duplication key, context lines, replacement by role, and the two service callbacks.
//
// A character is an extended grapheme cluster. Texts are valid UTF-8.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "entities/records.h"
#include "entities/services.h"

namespace marrowfen::entities {

// Maps UTF-16 offsets of a text to its UTF-8 offsets and tells character boundaries.
class TextIndex {
 public:
  explicit TextIndex(std::string_view text);
  ~TextIndex();
  TextIndex(const TextIndex&) = delete;
  TextIndex& operator=(const TextIndex&) = delete;

  // The byte offset of UTF-16 offset `unit`, or nothing when it lies beyond the text or inside
  // a scalar's surrogate pair.
  std::optional<size_t> byteOffset(size_t unit) const;
  // Whether byte offset `offset` (within the text) starts or ends an extended grapheme cluster.
  bool isCharacterBoundary(size_t offset) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The shared state of one extraction run: the input text, which the callbacks only read, and the
// candidates and keys they add.
struct RunState {
  explicit RunState(std::string_view text) : text(text) {}
  std::string_view text;
  std::vector<Candidate> entities;
  std::unordered_set<std::string> seen;
  // The place in `entities` of the candidate with each key of `seen`.
  std::unordered_map<std::string, size_t> firstIndex;
  // Built on the first detector match.
  std::unique_ptr<TextIndex> index;
};

inline constexpr size_t kMaxCandidates = 80;
inline constexpr size_t kMinKeyCharacters = 8;

// `type`, ":", then `value` cleaned, lower-cased (locale-independent default mapping), keeping only
// the characters whose first code point is Alphabetic or has a Numeric_Type.
std::string dedupeKey(std::string_view type, std::string_view value);
// Number of extended grapheme clusters of `text`.
size_t characterCount(std::string_view text);

// The cleaned line(s) of `text` around `range`: from just after the last lone LF before the range
// to just before the first lone LF from its end. CR LF does not end a line.
// On a line longer than kMaxEvidenceLine bytes only the range and kEvidenceWindow bytes on
// either side of it (whole characters) are taken.
inline constexpr size_t kMaxEvidenceLine = 4096;
inline constexpr size_t kEvidenceWindow = 500;
std::string contextLine(TextRange range, std::string_view text);

// 0 for no role; 5, 4 or 3 for the listed roles; 2 for any other role. Exact comparison.
int rolePriority(const std::optional<std::string>& suggestedRole);

// Cleans and adds one candidate unless it is empty, its key is under 8 characters, or its key was
// seen; a duplicate carrying a label or role may overwrite the first candidate with its key.
void addCandidate(std::vector<Candidate>& entities, std::unordered_set<std::string>& seen,
                  std::string_view type, std::string_view value,
                  const std::optional<std::string>& label,
                  const std::optional<std::string>& suggestedRole, std::string_view evidence,
                  double confidence, const std::map<std::string, std::string>& metadata = {});

// One tagger token; returns false (stop) once 80 candidates are held, true for untagged tokens.
bool handleNameTag(RunState& state, std::optional<NameTag> tag, TextRange range);

// One detector match. A range beyond the text or not on character boundaries adds nothing.
void handleDetectorMatch(RunState& state, const std::optional<DetectorMatch>& match);

}  // namespace marrowfen::entities
