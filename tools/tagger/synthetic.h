// Synthetic identity-document lines for training and testing the tagger: form fields
// ("Place of Birth: LYON"), short statements and lines without names, built from templates and
// from lists of names, places and company suffixes, in several languages, in ALL CAPS and in
// ordinary case.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tools/tagger/corpus.h"

namespace marrowfen::tagger {

// The lists that names are drawn from (one entry each, as written).
struct NameLists {
  std::vector<std::string> firstNames;
  std::vector<std::string> lastNames;
  std::vector<std::string> cities;
  std::vector<std::string> countries;
  std::vector<std::string> orgSuffixes;
};

// Reads first_names.txt, last_names.txt, cities.txt, countries.txt and org_suffixes.txt of `dir`;
// a missing file gives an empty list.
NameLists readNameLists(const std::string& dir);

// Splits every list into the part for training lines and the held-out part for test lines, by a
// hash of each entry (about one in five held out), so that test lines use names never seen in
// training lines.
void splitNameLists(const NameLists& all, NameLists& train, NameLists& heldOut);

// `count` labelled lines drawn from `lists` with the generator `rng`, as word segments. With
// `receiptLines`, about one line in twelve is a line of a shop's receipt (seller, registration,
// Malaysian address, articles, totals); with `newsLines`, about one in twelve of the others is a
// line of a newspaper (league tables, results, placings, datelines, headings, nationalities and
// events beside names). Without either, the lines and the draws are those of before. With
// `otherNames`, the nationalities and events of the newspaper lines are tagged
// entities::kOtherNameTag instead of O (the draws stay the same).
std::vector<Sentence> syntheticLines(const NameLists& lists, size_t count, std::mt19937_64& rng,
                                     bool receiptLines = false, bool newsLines = false,
                                     bool otherNames = false);

}  // namespace marrowfen::tagger
