// Names of none of the three types in labelled English text: nationalities and peoples
// ("Russian", "Europeans"), religions and languages, and events ("World Cup", "Trojan War",
// "Industrial Revolution"). The labelled corpora leave them O; training them as a state of their
// own (entities::kOtherNameTag) keeps them from teaching that a capitalised word can be O only
// by its spelling, and from being taken for places and organisations.
#pragma once

#include <string_view>

#include "tools/tagger/corpus.h"

namespace marrowfen::tagger {

// Whether `word` (as written, with its capital) names a nationality, people, language or
// religion: "French", "Germans", "Britons", "Muslim".
bool isNationalityWord(std::string_view word);

// Gives entities::kOtherNameTag to the O words of `s` that are nationality words, and to runs of
// capitalised O words that name an event: ending in an event word ("World Cup", "Summer Olympic
// Games", "Second World War", "Middle Bronze Age") or a single word that is one ("Renaissance").
// Words of the three types are left as they are. Returns how many words it marked.
size_t markOtherNames(Sentence& s);

}  // namespace marrowfen::tagger
