#include "entities/name_tagger.h"

#include <gtest/gtest.h>

#include "entities/rule_name_model.h"

namespace marrowfen::entities {
namespace {

// Labels tokens from a table keyed by their text: "B-per", "I-org" ...; records what it saw.
class TableModel : public NameModel {
 public:
  std::map<std::string, NameLabel> table;
  mutable std::vector<std::vector<std::string>> seen;
  std::vector<NameLabel> label(const std::vector<std::string>& tokens) const override {
    seen.push_back(tokens);
    std::vector<NameLabel> out;
    for (const auto& t : tokens) {
      const auto it = table.find(t);
      out.push_back(it == table.end() ? NameLabel{} : it->second);
    }
    return out;
  }
};

struct Reported {
  std::optional<NameTag> tag;
  std::string text;
  bool operator==(const Reported&) const = default;
};

void PrintTo(const Reported& r, std::ostream* os) {
  *os << (r.tag ? static_cast<int>(*r.tag) : -1) << ":" << r.text;
}

std::vector<Reported> tagAll(NameTagger& tagger, const std::string& text, size_t stopAfter = SIZE_MAX) {
  std::vector<Reported> out;
  tagger.enumerateTags(text, [&](std::optional<NameTag> tag, TextRange r) {
    out.push_back({tag, text.substr(r.begin, r.end - r.begin)});
    return out.size() < stopAfter;
  });
  return out;
}

const NameLabel kBPer{NameType::kPersonalName, true}, kIPer{NameType::kPersonalName, false},
    kBOrg{NameType::kOrganization, true}, kIOrg{NameType::kOrganization, false},
    kBLoc{NameType::kPlaceName, true};

TEST(NameTagger, SegmentsLinesJoinsNamesAndDropsPunctuation) {
  TableModel model;
  model.table = {{"PRIYA", kBPer}, {"SHARMA", kIPer}, {":", kIPer}, {"Acme", kBOrg},
                 {"Ltd", kIOrg},   {".", kIOrg},      {"Pune", kBLoc}, {"Anna", kBPer}, {"Marie", kBPer}};
  auto tagger = makeNameTagger(model);
  const std::string text = "Name: PRIYA SHARMA\r\nAcme Ltd. in Pune!\n\n  Anna Marie \U0001F600 x";
  const std::vector<Reported> expected = {
      {std::nullopt, "Name"},
      {NameTag::kPersonalName, "PRIYA SHARMA"},
      {NameTag::kOrganizationName, "Acme Ltd"},  // the trailing "." is not part of it
      {std::nullopt, "in"},
      {NameTag::kPlaceName, "Pune"},
      {NameTag::kPersonalName, "Anna"},  // a new B starts a new name
      {NameTag::kPersonalName, "Marie"},
      {std::nullopt, "x"},
  };
  EXPECT_EQ(tagAll(*tagger, text), expected);
  // The model sees each line's segments without white space, punctuation kept.
  ASSERT_EQ(model.seen.size(), 3u);
  EXPECT_EQ(model.seen[0], (std::vector<std::string>{"Name", ":", "PRIYA", "SHARMA"}));
  EXPECT_EQ(model.seen[1], (std::vector<std::string>{"Acme", "Ltd", ".", "in", "Pune", "!"}));
  EXPECT_EQ(model.seen[2], (std::vector<std::string>{"Anna", "Marie", "\U0001F600", "x"}));
}

TEST(NameTagger, StopsWhenTheCallbackSaysSo) {
  TableModel model;
  auto tagger = makeNameTagger(model);
  EXPECT_EQ(tagAll(*tagger, "one two\nthree four", 3).size(), 3u);
  EXPECT_EQ(model.seen.size(), 2u);
  EXPECT_TRUE(tagAll(*tagger, " \n\t ").empty());
}

// The rule-based model (the fallback without a model file) on ordinary sentences and lines.
TEST(RuleNameModel, FindsNamesInSentencesAndFields) {
  const auto model = makeRuleNameModel();
  auto tagger = makeNameTagger(*model);
  const struct {
    std::string text;
    std::vector<Reported> names;
  } cases[] = {
      {"Name: PRIYA SHARMA", {{NameTag::kPersonalName, "PRIYA SHARMA"}}},
      {"Issued by: Ministry of External Affairs", {{NameTag::kOrganizationName, "Ministry of External Affairs"}}},
      {"Father's Name: Ramesh Kumar   Sex: M", {{NameTag::kPersonalName, "Ramesh Kumar"}}},
      {"Place of Birth: PUNE, MAHARASHTRA",
       {{NameTag::kPlaceName, "PUNE"}, {NameTag::kPlaceName, "MAHARASHTRA"}}},
      {"Name: Mr. John Smith", {{NameTag::kPersonalName, "John Smith"}}},
      {"Yesterday Anna Müller met Rahul Verma in Berlin.",
       {{NameTag::kPersonalName, "Anna Müller"}, {NameTag::kPersonalName, "Rahul Verma"},
        {NameTag::kPlaceName, "Berlin"}}},
      {"She works at the State Bank of India in Mumbai.",
       {{NameTag::kOrganizationName, "State Bank of India"}, {NameTag::kPlaceName, "Mumbai"}}},
      {"John Smith of Acme Ltd wrote to Dr. Rao.",
       {{NameTag::kPersonalName, "John Smith"}, {NameTag::kOrganizationName, "Acme Ltd"},
        {NameTag::kPersonalName, "Rao"}}},
      {"INCOME TAX DEPARTMENT", {{NameTag::kOrganizationName, "INCOME TAX DEPARTMENT"}}},
      {"Siemens AG and Deutsche Bank", {{NameTag::kOrganizationName, "Siemens AG"},
                                        {NameTag::kOrganizationName, "Deutsche Bank"}}},
      {"The office moved to a house in Springfield last year.", {{NameTag::kPlaceName, "Springfield"}}},
      // Nothing here is a name.
      {"Date of Birth: 12/03/1990", {}},
      {"Permanent Account Number Card", {}},
      {"The weather was fine. In March we left.", {}},
      {"PASSPORT", {}},
      {"Name: 12345", {}},
      {"Name: Name", {}},
      {"Name: PRIYA SHARMA DATE OF BIRTH 12/03/1990", {{NameTag::kPersonalName, "PRIYA SHARMA"}}},
      {"Priya Priya Priya Priya Priya Priya", {{NameTag::kPersonalName, "Priya Priya Priya Priya Priya"}}},
  };
  for (const auto& c : cases) {
    std::vector<Reported> names;
    for (const Reported& r : tagAll(*tagger, c.text)) {
      if (r.tag) names.push_back(r);
    }
    EXPECT_EQ(names, c.names) << c.text;
  }
}

}  // namespace
}  // namespace marrowfen::entities
