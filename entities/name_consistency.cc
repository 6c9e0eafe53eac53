#include "entities/name_consistency.h"

#include <unicode/uchar.h>

#include <map>
#include <unordered_map>

#include "common/unicode.h"
#include "entities/model/tagger_features.h"
#include "entities/name_tagger_words.h"

namespace marrowfen::entities {

namespace {

// A word that starts with a capital letter and has at least two letters.
bool capitalised(const std::string& word) {
  size_t i = 0;
  if (word.empty()) return false;
  const char32_t first = nextScalar(word, i);
  if (!(u_isupper(static_cast<UChar32>(first)) || u_istitle(static_cast<UChar32>(first))))
    return false;
  while (i < word.size()) {
    if (u_isalpha(static_cast<UChar32>(nextScalar(word, i)))) return true;
  }
  return false;
}

// One name the model found: where it stands, its type and its words joined by spaces.
struct FoundName {
  size_t line = 0, first = 0, last = 0;  // tokens [first, last) of the line
  NameType type = NameType::kNone;
  std::string text;
};

std::vector<FoundName> namesOf(const std::vector<std::vector<std::string>>& lines,
                               const std::vector<std::vector<NameLabel>>& labels) {
  std::vector<FoundName> out;
  for (size_t l = 0; l < lines.size(); ++l) {
    const auto& tags = labels[l];
    for (size_t i = 0; i < tags.size();) {
      if (tags[i].type == NameType::kNone) {
        ++i;
        continue;
      }
      const size_t end = nameEnd(tags, i, tags.size());
      FoundName n{l, i, end, tags[i].type, lines[l][i]};
      for (size_t k = i + 1; k < end; ++k) n.text += " " + lines[l][k];
      out.push_back(std::move(n));
      i = end;
    }
  }
  return out;
}

void relabel(std::vector<NameLabel>& tags, size_t first, size_t last, NameType type) {
  for (size_t k = first; k < last; ++k) tags[k] = {type, k == first};
}

// A line with letters, all of them capitals.
bool inCapitals(const std::vector<std::string>& words) {
  bool letters = false;
  for (const std::string& w : words) {
    for (size_t i = 0; i < w.size();) {
      const auto c = static_cast<UChar32>(nextScalar(w, i));
      if (u_islower(c)) return false;
      letters = letters || u_isupper(c);
    }
  }
  return letters;
}

// Whether a token ends a sentence, so that the word after it opens one.
bool opensSentence(const std::string& token) {
  return token == "." || token == "!" || token == "?" || token == ":" || token == "\"" ||
         token == "\u201C" || token == "(";
}

// Whether tokens [first, last) of a line stand apart: none of them is in a name, and the tokens
// around them are not capitalised words (in a line in capitals: words other than common ones)
// or names.
bool standsApart(const std::vector<std::string>& words, const std::vector<NameLabel>& tags,
                 size_t first, size_t last, const NameModel& model) {
  for (size_t k = first; k < last; ++k) {
    if (tags[k].type != NameType::kNone) return false;
  }
  // In a line in capitals every word has a capital: there a common word stands apart too.
  const bool capitals = inCapitals(words);
  const auto free = [&](size_t k) {
    return tags[k].type == NameType::kNone &&
           (!capitalised(words[k]) || (capitals && model.isCommonWord(words[k])));
  };
  // A title before a surname leaves it apart: "Mr Osborne".
  const bool afterTitle =
      first > 0 && tags[first - 1].type == NameType::kNone &&
      tagger_words::personalTitles().count(entities::lowerCase(words[first - 1])) > 0;
  // A common word that opens a sentence is capitalised only for that: "Later Exxon fell".
  const bool afterOpening = first > 0 && tags[first - 1].type == NameType::kNone &&
                            (first == 1 || opensSentence(words[first - 2])) &&
                            model.isCommonWord(words[first - 1]);
  return (first == 0 || afterTitle || afterOpening || free(first - 1)) &&
         (last == words.size() || free(last));
}

// Names every place where the words of `phrase` stand apart, in the same case, as `type`.
void nameWhereverItStands(const std::vector<std::vector<std::string>>& lines,
                          std::vector<std::vector<NameLabel>>& labels, const NameModel& model,
                          const std::vector<std::string>& phrase, NameType type) {
  for (size_t l = 0; l < lines.size(); ++l) {
    const auto& words = lines[l];
    for (size_t i = 0; i + phrase.size() <= words.size(); ++i) {
      if (!std::equal(phrase.begin(), phrase.end(), words.begin() + static_cast<long>(i))) continue;
      if (standsApart(words, labels[l], i, i + phrase.size(), model))
        relabel(labels[l], i, i + phrase.size(), type);
    }
  }
}

void agreeOnTypes(const std::vector<FoundName>& names,
                  std::vector<std::vector<NameLabel>>& labels) {
  std::unordered_map<std::string, std::map<NameType, int>> votes;
  for (const FoundName& n : names) ++votes[n.text][n.type];
  for (const FoundName& n : names) {
    const auto& v = votes[n.text];
    NameType best = n.type;
    int bestCount = 0, others = 0;
    for (const auto& [type, count] : v) {
      if (count > bestCount) {
        others += bestCount;
        best = type;
        bestCount = count;
      } else {
        others += count;
      }
    }
    if (bestCount > others && best != n.type) relabel(labels[n.line], n.first, n.last, best);
  }
}

}  // namespace

void agreeAcrossText(const std::vector<std::vector<std::string>>& lines,
                     std::vector<std::vector<NameLabel>>& labels, const NameModel& model,
                     uint32_t rules) {
  if (rules & kAgreeTypes) agreeOnTypes(namesOf(lines, labels), labels);
  const std::vector<FoundName> names = namesOf(lines, labels);
  // Phrases to name wherever they stand, with their type; the first type found wins.
  std::map<std::vector<std::string>, NameType> phrases;
  for (const FoundName& n : names) {
    const auto& words = lines[n.line];
    std::vector<std::string> nameWords;
    for (size_t k = n.first; k < n.last; ++k) {
      if (capitalised(words[k])) nameWords.push_back(words[k]);
    }
    if (nameWords.empty()) continue;
    if ((rules & kAgreeSurnames) && n.type == NameType::kPersonalName && nameWords.size() >= 2 &&
        n.last - n.first == nameWords.size() && !model.isCommonWord(nameWords.back())) {
      phrases.emplace(std::vector<std::string>{nameWords.back()}, NameType::kPersonalName);
    }
    if (rules & kAgreeRepeats) {
      bool common = nameWords.size() != n.last - n.first;
      for (const auto& w : nameWords) common = common || model.isCommonWord(w);
      if (!common) phrases.emplace(nameWords, n.type);
    }
  }
  for (const auto& [phrase, type] : phrases)
    nameWhereverItStands(lines, labels, model, phrase, type);
}

}  // namespace marrowfen::entities
