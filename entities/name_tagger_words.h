// Word lists of the name tagger's corrections to its model, all lower-case.
#pragma once

#include <string_view>
#include <unordered_set>

namespace marrowfen::entities::tagger_words {

// Titles written before a person's name ("Ms. Li Wei").
const std::unordered_set<std::string_view>& personalTitles();
// Salutations of a letter that stand alone before a name ("Dear", "Liebe", "Chère").
const std::unordered_set<std::string_view>& salutations();
// The second word of the German salutation "Sehr geehrte(r)" / "Sehr verehrte(r)".
const std::unordered_set<std::string_view>& salutationsAfterSehr();
// Closing formulas of a letter, before its signature, their words joined by one space.
const std::unordered_set<std::string_view>& letterClosings();

}  // namespace marrowfen::entities::tagger_words
