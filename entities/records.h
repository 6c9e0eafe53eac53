// The records that cross the boundary of marrowfen-entities: the decoded input, the candidates,
// the success answer and the refusal. Plain values, built by the run and only ever written.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace marrowfen::entities {

// The one object read from standard input; only "text" is read, other keys are ignored.
struct HelperInput {
  std::string text;  // exactly as decoded (valid UTF-8), not cleaned
};

// One entity candidate. Members are written in this order.
struct Candidate {
  std::string type;                  // "person", "organization", "location", "date", "identifier"
  std::string value;                 // the cleaned text of the token or match
  std::optional<std::string> label;  // "phone" or absent
  std::optional<std::string> suggestedRole;     // "reference_number" or absent
  std::string evidence;                         // the cleaned line(s) around the value
  double confidence = 0;                        // 0.72 .. 0.84
  std::map<std::string, std::string> metadata;  // one entry: "nlTag" or "detector"
};

// The success answer.
struct HelperOutput {
  bool ok = true;                       // always true
  std::optional<std::string> language;  // BCP 47 code of the dominant language, or absent
  std::vector<Candidate> entities;      // at most 80, in the order the run produced them
  std::vector<std::string> warnings;    // always empty
};

// The refusal answer.
struct HelperFailure {
  bool ok = false;    // always false
  std::string error;  // "empty_or_invalid_input"
};

inline constexpr char kEmptyOrInvalidInput[] = "empty_or_invalid_input";

}  // namespace marrowfen::entities
