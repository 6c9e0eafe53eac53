// Word lists of the rule-based name model, all lower-case.
#pragma once

#include <string_view>
#include <unordered_set>

namespace marrowfen::entities::words {

// Keys of "key: value" fields by the kind of name their value holds.
const std::unordered_set<std::string_view>& personKeys();
const std::unordered_set<std::string_view>& organizationKeys();
const std::unordered_set<std::string_view>& placeKeys();
// Words that make a run of capitalised words an organisation.
const std::unordered_set<std::string_view>& organizationWords();
// Short company suffixes (Co, AG, SA ...), counted only after a first word.
const std::unordered_set<std::string_view>& companySuffixes();
// Countries, regions and cities, single or multi-word ("new delhi").
const std::unordered_set<std::string_view>& places();
// Common given names in several languages.
const std::unordered_set<std::string_view>& firstNames();
// Honorifics that precede a personal name.
const std::unordered_set<std::string_view>& titles();
// Lower-case words that may sit inside a name ("of", "van", "de").
const std::unordered_set<std::string_view>& connectors();
// Capitalised words that are not parts of a personal name (headings, months, pronouns ...).
const std::unordered_set<std::string_view>& notNameWords();
// Prepositions before which a capitalised word is a place.
const std::unordered_set<std::string_view>& placePrepositions();

}  // namespace marrowfen::entities::words
