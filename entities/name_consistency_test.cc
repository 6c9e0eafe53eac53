#include "entities/name_consistency.h"

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>

namespace marrowfen::entities {
namespace {

// Knows "Police", "OF" and "FELL" as common words; labels nothing itself.
class CommonWords : public NameModel {
 public:
  std::vector<NameLabel> label(const std::vector<std::string>& tokens) const override {
    return std::vector<NameLabel>(tokens.size());
  }
  bool isCommonWord(std::string_view word) const override {
    return word == "Police" || word == "OF" || word == "FELL";
  }
};

// A text written as lines of "word/T" tokens, T one of P, O, L for the first word of a name and
// p, o, l for the next ones; plain words have no tag.
struct Text {
  std::vector<std::vector<std::string>> lines;
  std::vector<std::vector<NameLabel>> labels;
};

Text parse(const std::vector<std::string>& lines) {
  Text t;
  for (const auto& line : lines) {
    t.lines.emplace_back();
    t.labels.emplace_back();
    std::istringstream in(line);
    for (std::string w; in >> w;) {
      const size_t slash = w.rfind('/');
      NameLabel l;
      if (slash != std::string::npos && slash + 2 == w.size()) {
        const char c = w.back();
        const char lower = static_cast<char>(std::tolower(c));
        l.type = lower == 'p'   ? NameType::kPersonalName
                 : lower == 'o' ? NameType::kOrganization
                                : NameType::kPlaceName;
        l.begins = std::isupper(static_cast<unsigned char>(c)) != 0;
        w.resize(slash);
      }
      t.lines.back().push_back(w);
      t.labels.back().push_back(l);
    }
  }
  return t;
}

TEST(NameAgreement, RepeatedNamesAreNamedAlike) {
  struct Case {
    uint32_t rules;
    std::vector<std::string> before, after;
  };
  const CommonWords model;
  for (const Case& c : {
           // A surname alone after the full name, also after a title; not inside a longer name
           // of capitalised words, and not without the rule.
           Case{kAgreeSurnames,
                {"Steven/P Seagal/p arrived", "then Seagal left", "Mr Seagal said",
                 "the Seagal Foundation"},
                {"Steven/P Seagal/p arrived", "then Seagal/P left", "Mr Seagal/P said",
                 "the Seagal Foundation"}},
           Case{kAgreeRepeats,
                {"Steven/P Seagal/p arrived", "then Seagal left"},
                {"Steven/P Seagal/p arrived", "then Seagal left"}},
           // A name found once is found again where it stands apart; a common word is not.
           Case{
               kAgreeRepeats,
               {"shares of Exxon/O rose", "and Exxon fell", "the Police/O said", "the Police left"},
               {"shares of Exxon/O rose", "and Exxon/O fell", "the Police/O said",
                "the Police left"}},
           // A common word that opens a sentence leaves a name after it apart; a name or
           // another capitalised word does not.
           Case{kAgreeRepeats,
                {"Exxon/O rose", "Police Exxon fell .", ". Police Exxon fell", "Paris Exxon"},
                {"Exxon/O rose", "Police Exxon/O fell .", ". Police Exxon/O fell", "Paris Exxon"}},
           // In a line in capitals, a name stands apart between common words.
           Case{kAgreeRepeats,
                {"EXXON/O ROSE", "SHARES OF EXXON FELL", "PARIS EXXON FELL", "Exxon fell"},
                {"EXXON/O ROSE", "SHARES OF EXXON/O FELL", "PARIS EXXON FELL", "Exxon fell"}},
           // The type most places give wins; a tie changes nothing.
           Case{kAgreeTypes,
                {"in Shenzhen/L today", "Shenzhen/O said", "to Shenzhen/L ."},
                {"in Shenzhen/L today", "Shenzhen/L said", "to Shenzhen/L ."}},
           Case{kAgreeTypes,
                {"in Shenzhen/L today", "Shenzhen/O said"},
                {"in Shenzhen/L today", "Shenzhen/O said"}},
           Case{0,
                {"Steven/P Seagal/p arrived", "Seagal left", "Exxon/O and Exxon"},
                {"Steven/P Seagal/p arrived", "Seagal left", "Exxon/O and Exxon"}},
       }) {
    Text t = parse(c.before);
    const Text expected = parse(c.after);
    agreeAcrossText(t.lines, t.labels, model, c.rules);
    for (size_t l = 0; l < t.lines.size(); ++l) {
      for (size_t k = 0; k < t.lines[l].size(); ++k) {
        EXPECT_EQ(t.labels[l][k].type, expected.labels[l][k].type) << c.before[l] << " " << k;
        EXPECT_EQ(t.labels[l][k].begins, expected.labels[l][k].begins) << c.before[l] << " " << k;
      }
    }
  }
}

}  // namespace
}  // namespace marrowfen::entities
