#include "entities/candidate_rules.h"

#include <gtest/gtest.h>

#include "common/unicode.h"

namespace marrowfen::entities {
namespace {

TEST(DedupeKey, LowerCasesAndKeepsLettersAndDigits) {
  const struct {
    std::string type, value, key;
  } cases[] = {
      {"organization", "ACME Ltd.", "organization:acmeltd"},
      {"organization", "  Acme   Ltd ", "organization:acmeltd"},
      {"identifier", "+91 (98765) 432-10", "identifier:919876543210"},
      {"person", "J\u00DCRGEN M\u00DCLLER", "person:j\u00FCrgenm\u00FCller"},
      {"person", "\u0130stanbul", "person:i\u0307stanbul"},  // default mapping, not Turkish
      {"location", "Stra\u00DFe 5\u00BD", "location:stra\u00DFe5\u00BD"},  // ½ has a Numeric_Type
      {"person", "e\u0301 \u0301x", "person:e\u0301x"},  // a stand-alone mark is dropped
      {"person", "\u0928\u0947\u0939\u093E", "person:\u0928\u0947\u0939\u093E"},  // matras stay
      {"person", "\U0001F600 !", "person:"},
      {"organization", "...", "organization:"},
  };
  for (const auto& c : cases) EXPECT_EQ(dedupeKey(c.type, c.value), c.key) << c.value;
}

TEST(CharacterCount, CountsGraphemeClusters) {
  EXPECT_EQ(characterCount("abc"), 3u);
  EXPECT_EQ(characterCount("a\r\nb"), 3u);
  EXPECT_EQ(characterCount("e\u0301"), 1u);
  EXPECT_EQ(characterCount("\U0001F468\u200D\U0001F469\u200D\U0001F467"), 1u);
  EXPECT_EQ(characterCount("\U0001F1EE\U0001F1F3x"), 2u);
}

TEST(ContextLine, LinesEndAtLoneLineFeedsOnly) {
  const std::string text = "first line\nName: Anna\tMarie\nlast";
  const auto rangeOf = [&](std::string_view word) {
    const size_t at = text.find(word);
    return TextRange{at, at + word.size()};
  };
  EXPECT_EQ(contextLine(rangeOf("first"), text), "first line");
  EXPECT_EQ(contextLine(rangeOf("Anna"), text), "Name: Anna Marie");
  EXPECT_EQ(contextLine(rangeOf("Marie"), text), "Name: Anna Marie");
  EXPECT_EQ(contextLine(rangeOf("last"), text), "last");
  EXPECT_EQ(contextLine(rangeOf("line\nName"), text), "first line Name: Anna Marie");
  const std::string crlf = "one\r\ntwo\r\nthree";
  EXPECT_EQ(contextLine({5, 8}, crlf), "one two three");
  EXPECT_EQ(contextLine({0, 0}, "\n\nx"), "");
  EXPECT_EQ(contextLine({3, 3}, "ab\n\ncd"), "");
}

struct AddCase {
  std::vector<Candidate>& entities;
  std::unordered_set<std::string>& seen;
  void add(std::string type, std::string value, std::optional<std::string> label,
           std::optional<std::string> role, double confidence, std::string evidence = "line") {
    addCandidate(entities, seen, type, value, label, role, evidence, confidence,
                 {{"nlTag", "personalName"}});
  }
};

TEST(AddCandidate, CleansDropsAndDeduplicates) {
  std::vector<Candidate> entities;
  std::unordered_set<std::string> seen;
  AddCase c{entities, seen};
  c.add("organization", " ACME\n Ltd. ", std::nullopt, std::nullopt, 0.82, " on\tthis line ");
  c.add("organization", "Acme Ltd", std::nullopt, std::nullopt, 0.82);
  c.add("location", "Paris", std::nullopt, std::nullopt, 0.78);
  c.add("person", "Paris", std::nullopt, std::nullopt, 0.82);
  c.add("person", "!!", std::nullopt, std::nullopt, 0.82);  // key "person:" is 7 characters
  c.add("person", "A", std::nullopt, std::nullopt, 0.82);   // "person:a" is 8
  c.add("date", "5/6", std::nullopt, std::nullopt, 0.84);   // "date:56" is 7
  c.add("date", "5/6/24", std::nullopt, std::nullopt, 0.84);
  c.add("organization", "...", std::nullopt, std::nullopt, 0.82);
  c.add("organization", "--", std::nullopt, std::nullopt, 0.82);
  c.add("person", "   ", std::nullopt, std::nullopt, 0.82);
  c.add("person", "Empty Evidence", std::nullopt, std::nullopt, 0.82, " \n ");
  ASSERT_EQ(entities.size(), 6u);
  EXPECT_EQ(entities[0].value, "ACME Ltd.");
  EXPECT_EQ(entities[0].evidence, "on this line");
  EXPECT_EQ(entities[1].type, "location");
  EXPECT_EQ(entities[2].type, "person");
  EXPECT_EQ(entities[3].value, "A");
  EXPECT_EQ(entities[4].value, "5/6/24");
  EXPECT_EQ(entities[5].value, "...");
  EXPECT_EQ(seen.size(), 6u);
  EXPECT_TRUE(seen.count("organization:"));
}

TEST(AddCandidate, ReplacementByLabelRoleAndConfidence) {
  const struct {
    const char* name;
    std::optional<std::string> oldLabel, oldRole;
    double oldConfidence;
    std::optional<std::string> newLabel, newRole;
    double newConfidence;
    bool replaced;
  } cases[] = {
      {"plain old, new with role", std::nullopt, std::nullopt, 0.9, std::nullopt, "subject", 0.5,
       true},
      {"plain new is ignored", std::nullopt, "subject", 0.5, std::nullopt, std::nullopt, 0.9,
       false},
      {"higher priority wins", std::nullopt, "subject", 0.8, std::nullopt, "spouse", 0.8, true},
      {"higher confidence wins", std::nullopt, "spouse", 0.7, std::nullopt, "subject", 0.75, true},
      {"equal priority stays", std::nullopt, "spouse", 0.8, std::nullopt, "parent_or_guardian", 0.8,
       false},
      {"label only old stays", "phone", std::nullopt, 0.72, "phone", std::nullopt, 0.72, false},
      {"same phone stays", "phone", "reference_number", 0.72, "phone", "reference_number", 0.72,
       false},
      {"label only old, new role", "phone", std::nullopt, 0.72, std::nullopt, "issuer", 0.72, true},
  };
  for (const auto& t : cases) {
    std::vector<Candidate> entities;
    std::unordered_set<std::string> seen;
    AddCase c{entities, seen};
    c.add("person", "Before", std::nullopt, std::nullopt, 0.82);
    c.add("person", "Anna Marie", t.oldLabel, t.oldRole, t.oldConfidence, "old");
    c.add("person", "ANNA-MARIE", t.newLabel, t.newRole, t.newConfidence, "new");
    ASSERT_EQ(entities.size(), 2u) << t.name;
    EXPECT_EQ(seen.size(), 2u) << t.name;
    const Candidate& kept = entities[1];
    EXPECT_EQ(kept.evidence, t.replaced ? "new" : "old") << t.name;
    EXPECT_EQ(kept.value, t.replaced ? "ANNA-MARIE" : "Anna Marie") << t.name;
    EXPECT_EQ(kept.suggestedRole, t.replaced ? t.newRole : t.oldRole) << t.name;
    EXPECT_EQ(entities[0].value, "Before") << t.name;
  }
}

// At equal confidence a repeated candidate replaces the first one only when its role ranks
// higher: family roles, then identity numbers, dates and the issuer, then the subject, then any
// other role (roles are compared exactly, so "Spouse" is an other role).
TEST(AddCandidate, HigherRankedRoleReplacesAtEqualConfidence) {
  const struct {
    std::string oldRole, newRole;
    bool replaced;
  } cases[] = {
      {"subject", "spouse", true},
      {"subject", "parent_or_guardian", true},
      {"issuer", "spouse", true},
      {"reference_number", "passport_number", true},
      {"reference_number", "date_of_birth", true},
      {"reference_number", "subject", true},
      {"subject", "issue_date", true},
      {"Spouse", "subject", true},
      {" spouse", "aadhaar_number", true},
      {"spouse", "issuer", false},
      {"pan_number", "subject", false},
      {"expiry_date", "reference_number", false},
      {"subject", "Spouse", false},
      {"spouse", "parent_or_guardian", false},
      {"pan_number", "aadhaar_number", false},
      {"reference_number", "", false},
  };
  for (const auto& t : cases) {
    std::vector<Candidate> entities;
    std::unordered_set<std::string> seen;
    AddCase c{entities, seen};
    c.add("person", "Anna Marie", std::nullopt, t.oldRole, 0.82, "old");
    c.add("person", "Anna Marie", std::nullopt, t.newRole, 0.82, "new");
    ASSERT_EQ(entities.size(), 1u) << t.oldRole << " / " << t.newRole;
    EXPECT_EQ(entities[0].suggestedRole, t.replaced ? t.newRole : t.oldRole)
        << t.oldRole << " / " << t.newRole;
    EXPECT_EQ(entities[0].evidence, t.replaced ? "new" : "old") << t.oldRole << " / " << t.newRole;
  }
}

TEST(HandleNameTag, KindsAndStopping) {
  const std::string text = "Anna Marie works at ACME Ltd in Paris.\nMore";
  RunState state(text);
  const auto rangeOf = [&](std::string_view word) {
    const size_t at = text.find(word);
    return TextRange{at, at + word.size()};
  };
  EXPECT_TRUE(handleNameTag(state, NameTag::kPersonalName, rangeOf("Anna Marie")));
  EXPECT_TRUE(handleNameTag(state, NameTag::kOrganizationName, rangeOf("ACME Ltd")));
  EXPECT_TRUE(handleNameTag(state, NameTag::kPlaceName, rangeOf("Paris")));
  EXPECT_TRUE(handleNameTag(state, NameTag::kOtherWord, rangeOf("works")));
  EXPECT_TRUE(handleNameTag(state, std::nullopt, rangeOf("at")));
  ASSERT_EQ(state.entities.size(), 3u);
  const Candidate& person = state.entities[0];
  EXPECT_EQ(person.type, "person");
  EXPECT_EQ(person.confidence, 0.82);
  EXPECT_EQ(person.metadata, (std::map<std::string, std::string>{{"nlTag", "personalName"}}));
  EXPECT_EQ(person.evidence, "Anna Marie works at ACME Ltd in Paris.");
  EXPECT_FALSE(person.label);
  EXPECT_FALSE(person.suggestedRole);
  EXPECT_EQ(state.entities[1].type, "organization");
  EXPECT_EQ(state.entities[1].metadata.at("nlTag"), "organizationName");
  EXPECT_EQ(state.entities[2].type, "location");
  EXPECT_EQ(state.entities[2].confidence, 0.78);
  EXPECT_EQ(state.entities[2].metadata.at("nlTag"), "placeName");

  // At 80 candidates every tagged token says stop, untagged ones do not.
  std::string many;
  for (int i = 0; i < 90; ++i) many += "Name" + std::to_string(i) + "\n";
  RunState full(many);
  size_t at = 0;
  int accepted = 0;
  for (int i = 0; i < 90; ++i) {
    const size_t end = many.find('\n', at);
    if (!handleNameTag(full, NameTag::kPersonalName, {at, end})) break;
    ++accepted;
    at = end + 1;
  }
  EXPECT_EQ(accepted, 79);
  EXPECT_EQ(full.entities.size(), 80u);
  EXPECT_TRUE(handleNameTag(full, std::nullopt, {0, 4}));
  EXPECT_FALSE(handleNameTag(full, NameTag::kOtherWord, {0, 4}));
  EXPECT_FALSE(handleNameTag(full, NameTag::kPersonalName, {0, 5}));  // duplicate: still stop
}

// A detector match over `needle` in `text`, in UTF-16 units.
DetectorMatch matchOf(std::string_view text, std::string_view needle, uint64_t type) {
  const size_t at = text.find(needle);
  return {utf16Length(text.substr(0, at)), utf16Length(needle), type};
}

TEST(HandleDetectorMatch, KindsAndUtf16Ranges) {
  const std::string text =
      "\U0001F600\U0001F468\u200D\U0001F469 born 12/03/1990\r\nat 221B Baker Street\nLondon NW1 "
      "6XE\n"
      "call +91 98765 43210 or +91-98765-43210";
  RunState state(text);
  handleDetectorMatch(state, matchOf(text, "12/03/1990", kResultTypeDate));
  handleDetectorMatch(state,
                      matchOf(text, "221B Baker Street\nLondon NW1 6XE", kResultTypeAddress));
  handleDetectorMatch(state, matchOf(text, "+91 98765 43210", kResultTypePhoneNumber));
  handleDetectorMatch(state, matchOf(text, "+91-98765-43210", kResultTypePhoneNumber));
  handleDetectorMatch(state, matchOf(text, "born", 32));
  handleDetectorMatch(state, std::nullopt);
  ASSERT_EQ(state.entities.size(), 3u);
  const Candidate& date = state.entities[0];
  EXPECT_EQ(date.value, "12/03/1990");
  EXPECT_EQ(date.type, "date");
  EXPECT_EQ(date.confidence, 0.84);
  EXPECT_EQ(date.metadata.at("detector"), "NSDataDetector.date");
  // CR LF does not end the line: the evidence runs to the first lone LF.
  EXPECT_EQ(date.evidence,
            "\U0001F600\U0001F468\u200D\U0001F469 born 12/03/1990 at 221B Baker Street");
  const Candidate& address = state.entities[1];
  EXPECT_EQ(address.type, "location");
  EXPECT_EQ(address.value, "221B Baker Street London NW1 6XE");
  EXPECT_EQ(address.confidence, 0.8);
  EXPECT_EQ(address.metadata.at("detector"), "NSDataDetector.address");
  EXPECT_EQ(
      address.evidence,
      "\U0001F600\U0001F468\u200D\U0001F469 born 12/03/1990 at 221B Baker Street London NW1 6XE");
  const Candidate& phone = state.entities[2];
  EXPECT_EQ(phone.type, "identifier");
  EXPECT_EQ(phone.value, "+91 98765 43210");
  EXPECT_EQ(phone.label, "phone");
  EXPECT_EQ(phone.suggestedRole, "reference_number");
  EXPECT_EQ(phone.confidence, 0.72);
  EXPECT_EQ(phone.metadata.at("detector"), "NSDataDetector.phoneNumber");
  EXPECT_EQ(phone.evidence, "call +91 98765 43210 or +91-98765-43210");
}

TEST(HandleDetectorMatch, RangesOffCharacterBoundariesAddNothing) {
  // "e" + combining acute, then a family emoji (a ZWJ sequence) and a flag.
  const std::string text = "xe\u0301 \U0001F468\u200D\U0001F469 \U0001F1EE\U0001F1F3 12/03/1990";
  const size_t n = utf16Length(text);
  const size_t family = 4;  // UTF-16 offset of the family emoji
  const size_t flag = family + 6;
  const struct {
    size_t location, length;
    bool adds;
  } cases[] = {
      {2, 20, false},           // starts on the combining mark
      {0, 2, false},            // ends between "e" and its mark
      {family + 1, 12, false},  // starts inside a surrogate pair
      {family + 2, 12, false},  // starts on the ZWJ, inside the cluster
      {flag + 2, 12, false},    // between the two regional indicators
      {0, n + 1, false},        // runs past the end
      {n + 1, 0, false},       {SIZE_MAX, 2, false}, {family, n - family, true},
      {flag, n - flag, true},
  };
  for (const auto& c : cases) {
    RunState state(text);
    handleDetectorMatch(state, DetectorMatch{c.location, c.length, kResultTypeAddress});
    EXPECT_EQ(state.entities.size(), c.adds ? 1u : 0u) << c.location << "+" << c.length;
  }
}

}  // namespace
}  // namespace marrowfen::entities
