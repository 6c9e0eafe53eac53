// Names repeated in one text named alike: a second pass over the model's labels of a whole text.
// The model labels each line on its own, so a surname that stands alone three paragraphs after
// the person's full name ("Seagal" after "Steven Seagal"), or a firm it found once and missed the
// next time, gets no help from the rest of the text; these rules give it that help. The name
// tagger applies all three to the lines of each text (entities/name_tagger.h); tagger-eval
// --agree measures them one by one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "entities/name_model.h"

namespace marrowfen::entities {

// The rules, one bit each.
enum NameAgreement : uint32_t {
  // A capitalised word standing alone that is the last word of a person's name of two or more
  // words elsewhere in the text is that person: "Seagal" after "Steven Seagal".
  kAgreeSurnames = 1u << 0,
  // A name written the same way in several places takes the type most of them have, when more
  // of them have it than any other type ("Shenzhen" a place twice, an organisation once).
  kAgreeTypes = 1u << 1,
  // A name the model found is found wherever its words stand again in the same case, not next to
  // other capitalised words: "Exxon" as an organisation once makes every "Exxon" one.
  kAgreeRepeats = 1u << 2,
};

// Applies the rules of `rules` to `labels`, the model's labels of `lines` (the words of each line
// of one text; the same shape). Words `model` calls common words ("Police", "Street") are never
// named by these rules, and a word is only named where it stands apart from other capitalised
// words (a common word that opens a sentence, "Later Exxon fell", a title, "Mr Osborne", and in a
// line in capitals any common word, "SHARES OF EXXON FELL", do not count), so that no name is cut
// out of a longer one.
void agreeAcrossText(const std::vector<std::vector<std::string>>& lines,
                     std::vector<std::vector<entities::NameLabel>>& labels,
                     const entities::NameModel& model, uint32_t rules);

}  // namespace marrowfen::entities
