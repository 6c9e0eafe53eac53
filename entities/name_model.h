// The statistical core of the name tagger: labels the tokens of one line or sentence.
//
// The tagger splits the text into lines, each line into ICU word-break segments without white
// space (punctuation segments such as ":" stay in, since they carry context), and asks a NameModel
// for one label per token. It then drops punctuation and joins the tokens of each name.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace marrowfen::entities {

enum class NameType {
  kNone,          // not part of a name
  kPersonalName,  // a person
  kOrganization,  // a company, authority, school ...
  kPlaceName,     // a city, country, region ...
};

// One token's label: its name type, and whether it starts a new name (B of BIO) rather than
// continuing the name of the token before it (I of BIO). `begins` is false for kNone.
struct NameLabel {
  NameType type = NameType::kNone;
  bool begins = false;
};

// One past the last label of the name that starts at label i: a name runs on over the labels of
// its type that do not begin a name of their own, up to `limit` at most.
inline size_t nameEnd(const std::vector<NameLabel>& labels, size_t i, size_t limit) {
  size_t end = i + 1;
  while (end < limit && labels[end].type == labels[i].type && !labels[end].begins) ++end;
  return end;
}

class NameModel {
 public:
  virtual ~NameModel() = default;
  // One label per token of `tokens` (UTF-8, in order), same length as `tokens`.
  virtual std::vector<NameLabel> label(const std::vector<std::string>& tokens) const = 0;
  // The same for a line of a text in `language` (a BCP 47 code, empty when not known); a model
  // that makes no use of it labels as above.
  virtual std::vector<NameLabel> label(const std::vector<std::string>& tokens,
                                       std::string_view language) const {
    (void)language;
    return label(tokens);
  }
  // Whether `tokens` (one line) are a form label standing alone, its value on the line below, as
  // cards print "Surname/Nom" above "OKAFOR". A model that cannot tell says no.
  virtual bool isFieldLabel(const std::vector<std::string>& tokens) const {
    (void)tokens;
    return false;
  }
  // Whether a word (any case) is a common word: a dictionary of the model lists it in small
  // letters ("goods", "good" beside the surname "Good"; not "Paris"). A model without
  // dictionaries says no.
  virtual bool isCommonWord(std::string_view word) const {
    (void)word;
    return false;
  }
};

}  // namespace marrowfen::entities
