#include "entities/name_tagger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "entities/model/perceptron_model.h"
#include "entities/name_model_factory.h"
#include "entities/rule_name_model.h"

namespace marrowfen::entities {
namespace {

// Labels tokens from a table keyed by their text: "B-per", "I-org" ...; records what it saw.
class TableModel : public NameModel {
 public:
  std::map<std::string, NameLabel> table;
  mutable std::vector<std::vector<std::string>> seen;
  mutable std::vector<std::string> languages;  // the language given with each line
  std::set<std::string> labelTokens;           // a line of only these is a form label
  bool isFieldLabel(const std::vector<std::string>& tokens) const override {
    return !tokens.empty() && std::all_of(tokens.begin(), tokens.end(), [&](const std::string& t) {
      return labelTokens.count(t) > 0;
    });
  }
  std::vector<NameLabel> label(const std::vector<std::string>& tokens,
                               std::string_view language) const override {
    languages.emplace_back(language);
    return label(tokens);
  }
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

std::vector<Reported> tagAll(NameTagger& tagger, const std::string& text,
                             size_t stopAfter = SIZE_MAX) {
  std::vector<Reported> out;
  tagger.enumerateTags(text, [&](std::optional<NameTag> tag, TextRange r) {
    out.push_back({tag, text.substr(r.begin, r.end - r.begin)});
    return out.size() < stopAfter;
  });
  return out;
}

// The texts of the names reported, without the other words.
std::vector<std::string> namesIn(NameTagger& tagger, const std::string& text) {
  std::vector<std::string> named;
  for (const Reported& r : tagAll(tagger, text)) {
    if (r.tag) named.push_back(r.text);
  }
  return named;
}

const NameLabel kBPer{NameType::kPersonalName, true}, kIPer{NameType::kPersonalName, false},
    kBOrg{NameType::kOrganization, true}, kIOrg{NameType::kOrganization, false},
    kBLoc{NameType::kPlaceName, true};

TEST(NameTagger, SegmentsLinesJoinsNamesAndDropsPunctuation) {
  TableModel model;
  model.table = {{"PRIYA", kBPer}, {"SHARMA", kIPer}, {":", kIPer},
                 {"Acme", kBOrg},  {"Ltd", kIOrg},    {".", kIOrg},
                 {"Pune", kBLoc},  {"Anna", kBPer},   {"Marie", kBPer}};
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

TEST(NameTagger, WideGapsPartColumnsAndHyphensJoinWords) {
  struct Case {
    std::string text;
    std::vector<std::vector<std::string>> lines;
  };
  const std::vector<Case> cases = {
      {"INCOME TAX DEPARTMENT    GOVT. OF INDIA",
       {{"INCOME", "TAX", "DEPARTMENT"}, {"GOVT", ".", "OF", "INDIA"}}},
      {"Anna Schmidt\tBerlin", {{"Anna", "Schmidt"}, {"Berlin"}}},
      {"Name:   JOHN SMITH  Sex: M", {{"Name", ":", "JOHN", "SMITH"}, {"Sex", ":", "M"}}},
      {"Name\uFF1A  Li Wei", {{"Name", "\uFF1A", "Li", "Wei"}}},
      {"Anna Schmidt ,  Berlin", {{"Anna", "Schmidt", ","}, {"Berlin"}}},
      {"  Anna Schmidt lives in Berlin  ", {{"Anna", "Schmidt", "lives", "in", "Berlin"}}},
      // Words joined by a hyphen are one word; spaced or doubled hyphens do not join.
      {"Jean-Pierre Müller-Lüdenscheidt, Baden\u2010Württemberg",
       {{"Jean-Pierre", "Müller-Lüdenscheidt", ",", "Baden\u2010Württemberg"}}},
      {"Erzherzog-Johann-Hütte - EU -Kommission",
       {{"Erzherzog-Johann-Hütte", "-", "EU", "-", "Kommission"}}},
      {"Nord--Süd -Ost 12-03-1990", {{"Nord", "-", "-", "Süd", "-", "Ost", "12-03-1990"}}},
  };
  for (const Case& c : cases) {
    TableModel model;
    auto tagger = makeNameTagger(model);
    tagAll(*tagger, c.text);
    EXPECT_EQ(model.seen, c.lines) << c.text;
  }
}

TEST(NameTagger, AFormLabelBeforeItsValueIsNoName) {
  // Cards print the value after the label on the same line, without a colon.
  TableModel model;
  model.table = {{"FECHA", kBOrg}, {"DE", kIOrg}, {"NACIMIENTO", kIOrg}, {"GARCIA", kBPer}};
  model.labelTokens = {"FECHA", "DE", "NACIMIENTO", "APELLIDOS"};
  auto tagger = makeNameTagger(model);
  const std::optional<NameTag> word;
  EXPECT_EQ(tagAll(*tagger, "FECHA DE NACIMIENTO 15 03 1985"),
            (std::vector<Reported>{{word, "FECHA"},
                                   {word, "DE"},
                                   {word, "NACIMIENTO"},
                                   {word, "15"},
                                   {word, "03"},
                                   {word, "1985"}}));
  EXPECT_EQ(tagAll(*tagger, "APELLIDOS GARCIA"),
            (std::vector<Reported>{{word, "APELLIDOS"}, {NameTag::kPersonalName, "GARCIA"}}));
}

TEST(NameTagger, LabelsAValueUnderItsFormLabelAsAKeyValueLine) {
  TableModel model;
  model.table = {{"OKAFOR", kBPer}, {"Nom", kBOrg}};
  model.labelTokens = {"Surname", "/", "Nom", "Given", "names", ":"};
  auto tagger = makeNameTagger(model);
  const std::optional<NameTag> word;
  // The label line is labelled alone, and is no name whatever the model makes of it; the line
  // under it with the label and a colon before it, of which only its own tokens' labels count. A
  // label under a label, or a line under a value, is labelled alone; a label ending in a colon
  // gets no second one.
  EXPECT_EQ(tagAll(*tagger, "Surname/Nom\nOKAFOR\nGiven names\nSurname:\n\nOKAFOR\nOKAFOR"),
            (std::vector<Reported>{{word, "Surname"},
                                   {word, "Nom"},
                                   {NameTag::kPersonalName, "OKAFOR"},
                                   {word, "Given"},
                                   {word, "names"},
                                   {word, "Surname"},
                                   {NameTag::kPersonalName, "OKAFOR"},
                                   {NameTag::kPersonalName, "OKAFOR"}}));
  EXPECT_EQ(model.seen,
            (std::vector<std::vector<std::string>>{{"Surname", "/", "Nom"},
                                                   {"Surname", "/", "Nom", ":", "OKAFOR"},
                                                   {"Given", "names"},
                                                   {"Surname", ":"},
                                                   {"Surname", ":", "OKAFOR"},
                                                   {"OKAFOR"}}));
}

// A label printed in two languages of which the model knows one, the other a single word in the
// same case, is a label too: no name itself, and the key of the value under it or after its colon.
TEST(NameTagger, LabelsInTwoLanguagesOfWhichTheModelKnowsOne) {
  TableModel model;
  model.table = {{"MUSTERMANN", kBPer}, {"BERLIN", kBLoc},      {"Staatsangehörigkeit", kBLoc},
                 {"Geburtsort", kBLoc}, {"NATIONALITÉ", kBLoc}, {"Name", kBPer},
                 {"Anna", kBPer},       {"Germany", kBLoc}};
  model.labelTokens = {"Nationality", "NATIONALITY", "Place", "of", "birth", "Name", ":"};
  const std::optional<NameTag> word;
  const std::vector<std::pair<std::string, std::vector<Reported>>> cases = {
      {"Staatsangehörigkeit/Nationality\nMUSTERMANN",
       {{word, "Staatsangehörigkeit"},
        {word, "Nationality"},
        {NameTag::kPersonalName, "MUSTERMANN"}}},
      {"Geburtsort/Place of birth\nBERLIN",
       {{word, "Geburtsort"},
        {word, "Place"},
        {word, "of"},
        {word, "birth"},
        {NameTag::kPlaceName, "BERLIN"}}},
      {"NATIONALITÉ/NATIONALITY: MUSTERMANN",
       {{word, "NATIONALITÉ"}, {word, "NATIONALITY"}, {NameTag::kPersonalName, "MUSTERMANN"}}},
      // A value after the slash, in another case, or two words, or a name beside a place: no
      // label line, its names stand, but for a name that is a label the model knows alone.
      {"Name/MUSTERMANN", {{word, "Name"}, {NameTag::kPersonalName, "MUSTERMANN"}}},
      {"Staatsangehörigkeit/Anna Name",
       {{NameTag::kPlaceName, "Staatsangehörigkeit"},
        {NameTag::kPersonalName, "Anna"},
        {word, "Name"}}},
      {"Anna/Germany", {{NameTag::kPersonalName, "Anna"}, {NameTag::kPlaceName, "Germany"}}},
  };
  for (const auto& [text, want] : cases) {
    auto tagger = makeNameTagger(model);
    std::vector<Reported> got;
    for (const Reported& r : tagAll(*tagger, text)) {
      if (r.text != "/" && r.text != ":" && r.text != "\n") got.push_back(r);
    }
    EXPECT_EQ(got, want) << text;
  }
}

TEST(NameTagger, ReadsTheSignatureAfterTheClosingOfALetter) {
  TableModel model;
  model.table = {{"Weber", kBPer}, {"Grüßen", kBOrg}};
  auto tagger = makeNameTagger(model);
  const std::optional<NameTag> word;
  // The closing is labelled alone, the signature after it with the closing's words before it
  // (no colon) of which only its own labels count; the line after the signature is alone again.
  EXPECT_EQ(tagAll(*tagger, "Mit freundlichen Grüßen\nWeber\nWeber\nYours sincerely,\nAnna"),
            (std::vector<Reported>{{word, "Mit"},
                                   {word, "freundlichen"},
                                   {NameTag::kOrganizationName, "Grüßen"},
                                   {NameTag::kPersonalName, "Weber"},
                                   {NameTag::kPersonalName, "Weber"},
                                   {word, "Yours"},
                                   {word, "sincerely"},
                                   {word, "Anna"}}));
  EXPECT_EQ(model.seen,
            (std::vector<std::vector<std::string>>{{"Mit", "freundlichen", "Grüßen"},
                                                   {"Mit", "freundlichen", "Grüßen", "Weber"},
                                                   {"Weber"},
                                                   {"Yours", "sincerely", ","},
                                                   {"Yours", "sincerely", ",", "Anna"}}));
  // Other lines are no closings: "Regards to Anna" is a sentence.
  model.seen.clear();
  tagAll(*tagger, "Regards to Anna\nWeber");
  EXPECT_EQ(model.seen,
            (std::vector<std::vector<std::string>>{{"Regards", "to", "Anna"}, {"Weber"}}));
}

TEST(NameTagger, NoNamesInsideMailOrWebAddresses) {
  TableModel model;
  model.table = {{"sofia.rossi", kBOrg}, {"example.com", kIOrg},  {"Sofia", kBPer},
                 {"Rossi", kIPer},       {"www.rossi.it", kBOrg}, {"https", kBOrg},
                 {"rossi.it", kIOrg}};
  auto tagger = makeNameTagger(model);
  // "Rossi @ example.com" has spaces: no address, and its words are labelled as they come.
  EXPECT_EQ(
      namesIn(
          *tagger,
          "Sofia Rossi sofia.rossi@example.com, www.rossi.it HTTPS://rossi.it Rossi @ example.com"),
      (std::vector<std::string>{"Sofia Rossi", "Rossi", "example.com"}));
}

TEST(NameTagger, ReportsNoNamesInAMachineReadableZone) {
  TableModel model;
  model.table = {
      {"P", kBPer}, {"FRAMARTIN", kIPer}, {"SOPHIE", kBPer}, {"ANNE", kBPer}, {"MARTIN", kBPer}};
  auto tagger = makeNameTagger(model);
  const std::string text =
      "MARTIN\nP<FRAMARTIN<<SOPHIE<ANNE<<<<<<<<<<<<<<<<<<<<\n18AB123456FRA8805127F3001015<<<<<<<<<<"
      "<<<<06\n"
      "P<FRA MARTIN<<SOPHIE<ANNE<<<<<<<<<\nSOPHIE <ANNE>\nSOPHIE<<ANNE";
  // The ordinary lines keep their names, short ones with a filler or brackets included.
  EXPECT_EQ(namesIn(*tagger, text),
            (std::vector<std::string>{"MARTIN", "SOPHIE", "ANNE", "SOPHIE", "ANNE"}));
}

// Labels each line's tokens in order from a pattern of "B", "I" and "O" (names of `type`).
class SequenceModel : public NameModel {
 public:
  std::string pattern;
  NameType type = NameType::kPlaceName;
  std::vector<std::string> common;  // lower case
  bool isCommonWord(std::string_view word) const override {
    return std::find(common.begin(), common.end(), lowerCase(word)) != common.end();
  }
  std::vector<NameLabel> label(const std::vector<std::string>& tokens) const override {
    std::vector<NameLabel> out;
    for (size_t k = 0; k < tokens.size(); ++k) {
      const char c = k < pattern.size() ? pattern[k] : 'O';
      out.push_back(c == 'O' ? NameLabel{} : NameLabel{type, c == 'B'});
    }
    return out;
  }
};

// A text, the pattern a SequenceModel labels it with, and what the tagger reports.
struct PatternCase {
  std::string text, pattern;
  std::vector<Reported> expected;
};

void expectPatternCases(const std::vector<PatternCase>& cases, NameType type) {
  for (const PatternCase& c : cases) {
    SequenceModel model;
    model.pattern = c.pattern;
    model.type = type;
    auto tagger = makeNameTagger(model);
    EXPECT_EQ(tagAll(*tagger, c.text), c.expected) << c.text;
  }
}

TEST(NameTagger, KeepsBracketsInsideANameBalanced) {
  const std::optional<NameTag> word;
  expectPatternCases(
      {
          {"Lille (Nord) 1970", "BIIOO", {{NameTag::kPlaceName, "Lille (Nord)"}, {word, "1970"}}},
          {"Lille (Nord 1970",
           "BIIO",
           {{NameTag::kPlaceName, "Lille"}, {word, "Nord"}, {word, "1970"}}},
          {"Acme ) Hall", "BII", {{NameTag::kPlaceName, "Acme"}, {word, "Hall"}}},
          {"Paris (France) (x", "BIIIII", {{NameTag::kPlaceName, "Paris (France)"}, {word, "x"}}},
          {"Acme (UK) Hall", "BIIII", {{NameTag::kPlaceName, "Acme (UK) Hall"}}},
          {"( Nord )", "OBO", {{NameTag::kPlaceName, "Nord"}}},
      },
      NameType::kPlaceName);
}

TEST(NameTagger, APersonsNameStartsAfterItsTitle) {
  const std::optional<NameTag> word;
  expectPatternCases(
      {
          {"Ms. Li Wei", "BIII", {{word, "Ms"}, {NameTag::kPersonalName, "Li Wei"}}},
          {"DR PROF Anna Berg",
           "BIII",
           {{word, "DR"}, {word, "PROF"}, {NameTag::kPersonalName, "Anna Berg"}}},
          {"Mr", "B", {{NameTag::kPersonalName, "Mr"}}},  // nothing would be left
          {"Mr.", "BI", {{NameTag::kPersonalName, "Mr"}}},
          {"M. Patel", "BII", {{NameTag::kPersonalName, "M. Patel"}}},  // an initial, or Monsieur
          {"Mrsa Li", "BI", {{NameTag::kPersonalName, "Mrsa Li"}}},
          {"i. A. Jürgen Hofmann",
           "BIIIII",
           {{word, "i"}, {word, "A"}, {NameTag::kPersonalName, "Jürgen Hofmann"}}},
          {"i.V. Dr. Anna Berg",
           "BIIIIII",
           {{word, "i.V"}, {word, "Dr"}, {NameTag::kPersonalName, "Anna Berg"}}},
          {"I. Avdic", "BII", {{NameTag::kPersonalName, "I. Avdic"}}},
      },
      NameType::kPersonalName);
  // Other names keep their first word.
  expectPatternCases({{"Dr Berg", "BI", {{NameTag::kPlaceName, "Dr Berg"}}}}, NameType::kPlaceName);
}

TEST(NameTagger, NoNameStartsWithADutchPostcode) {
  const std::optional<NameTag> word;
  expectPatternCases(
      {
          {"3511 NK Utrecht",
           "OBI",
           {{word, "3511"}, {word, "NK"}, {NameTag::kPlaceName, "Utrecht"}}},
          {"3511 NK Utrecht",
           "BII",
           {{word, "3511"}, {word, "NK"}, {NameTag::kPlaceName, "Utrecht"}}},
          {"2514 EA Den Haag",
           "OBII",
           {{word, "2514"}, {word, "EA"}, {NameTag::kPlaceName, "Den Haag"}}},
          // Not a postcode: other digits, lower case, three letters, nothing after the code.
          {"351 NK Utrecht", "OBI", {{word, "351"}, {NameTag::kOrganizationName, "NK Utrecht"}}},
          {"0511 NK Utrecht", "OBI", {{word, "0511"}, {NameTag::kOrganizationName, "NK Utrecht"}}},
          {"3511 Nk Utrecht", "OBI", {{word, "3511"}, {NameTag::kOrganizationName, "Nk Utrecht"}}},
          {"1904 NKV Utrecht",
           "OBI",
           {{word, "1904"}, {NameTag::kOrganizationName, "NKV Utrecht"}}},
          {"3511 NK", "OB", {{word, "3511"}, {NameTag::kOrganizationName, "NK"}}},
          {"NK Maribor", "BI", {{NameTag::kOrganizationName, "NK Maribor"}}},
      },
      NameType::kOrganization);
}

TEST(NameTagger, TheSalutationOfALetterIsNoPartOfAName) {
  const std::optional<NameTag> word;
  expectPatternCases(
      {
          {"Dear Mr. Thompson,",
           "BIIIO",
           {{word, "Dear"}, {word, "Mr"}, {NameTag::kPersonalName, "Thompson"}}},
          {"Sehr geehrte Frau Dr. Berg",
           "BIIIII",
           {{word, "Sehr"},
            {word, "geehrte"},
            {word, "Frau"},
            {word, "Dr"},
            {NameTag::kPersonalName, "Berg"}}},
          {"Dear Professor Hayes",
           "BII",
           {{word, "Dear"}, {word, "Professor"}, {NameTag::kPersonalName, "Hayes"}}},
          // Without a title the rest keeps the model's type.
          {"Dear Acme Team", "BII", {{word, "Dear"}, {NameTag::kOrganizationName, "Acme Team"}}},
          // Nothing left after it, or no salutation at all.
          {"Dear", "B", {{NameTag::kOrganizationName, "Dear"}}},
          {"Sehr Gut GmbH", "BII", {{NameTag::kOrganizationName, "Sehr Gut GmbH"}}},
          {"Deary Mr Smith", "BII", {{NameTag::kOrganizationName, "Deary Mr Smith"}}},
      },
      NameType::kOrganization);
}

// Answers with a fixed language (or none) and counts its calls.
class FixedRecognizer : public LanguageRecognizer {
 public:
  explicit FixedRecognizer(std::optional<std::string> answer) : answer_(std::move(answer)) {}
  std::optional<std::string> dominantLanguage(std::string_view) override {
    ++calls;
    return answer_;
  }
  int calls = 0;

 private:
  std::optional<std::string> answer_;
};

TEST(NameTagger, HandsTheTextsLanguageToTheModelWithEveryLine) {
  const std::string text = "Geburtsort: Köln\nName: Anna Müller\n";
  struct Case {
    std::optional<std::string> recognised;
    bool withRecognizer;
    std::string expected;
  };
  for (const Case& c :
       {Case{"de", true, "de"}, Case{std::nullopt, true, ""}, Case{"de", false, ""}}) {
    TableModel model;
    FixedRecognizer recognizer(c.recognised);
    auto tagger = makeNameTagger(model, c.withRecognizer ? &recognizer : nullptr);
    tagAll(*tagger, text);
    EXPECT_EQ(model.languages, std::vector<std::string>(2, c.expected));
    EXPECT_EQ(recognizer.calls, c.withRecognizer ? 1 : 0);  // once per text, not per line
  }
}

// The names reported for `text` when the model labels every line by `pattern` with `type`.
std::vector<Reported> namedWith(const std::string& text, const std::string& pattern,
                                NameType type) {
  SequenceModel model;
  model.pattern = pattern;
  model.type = type;
  model.common = {"yesterday", "golden", "thank", "you", "goods"};
  auto tagger = makeNameTagger(model);
  std::vector<Reported> named;
  for (const Reported& r : tagAll(*tagger, text)) {
    if (r.tag) named.push_back(r);
  }
  return named;
}

TEST(NameTagger, FirmsAreNamedByTheirLegalForm) {
  const auto org = [](std::string t) { return Reported{NameTag::kOrganizationName, std::move(t)}; };
  const auto place = [](std::string t) { return Reported{NameTag::kPlaceName, std::move(t)}; };
  struct Case {
    std::string text, pattern;
    NameType type;
    std::vector<Reported> named;
  };
  const std::vector<Case> cases = {
      // Found whatever the model made of them, with their registration number left out.
      {"PELITA JAYA STATIONERY SDN BHD",
       "",
       NameType::kNone,
       {org("PELITA JAYA STATIONERY SDN BHD")}},
      {"WIRA CO. (M) BHD (123456-K)", "", NameType::kNone, {org("WIRA CO. (M) BHD")}},
      {"SAM LEE S/B", "BI", NameType::kPlaceName, {org("SAM LEE S/B")}},
      {"TOKO BUNGA SDN. BHD.", "B", NameType::kPlaceName, {org("TOKO BUNGA SDN. BHD")}},
      {"Invoice from Hollins Widgets Ltd, Leeds",
       "",
       NameType::kNone,
       {org("Hollins Widgets Ltd")}},
      {"Müller Bau GmbH & Co. KG", "", NameType::kNone, {org("Müller Bau GmbH & Co. KG")}},
      {"KING HOE TRADING CO", "", NameType::kNone, {org("KING HOE TRADING CO")}},
      // A sentence's first word and numbers in a sentence are no part of the name.
      {"Yesterday Hollins Widgets Ltd said", "", NameType::kNone, {org("Hollins Widgets Ltd")}},
      {"In 2019 Hollins Widgets Ltd grew.", "", NameType::kNone, {org("Hollins Widgets Ltd")}},
      {"Golden Scoop Sdn Bhd", "BIII", NameType::kOrganization, {org("Golden Scoop Sdn Bhd")}},
      {"GOLDEN SCOOP SDN BHD", "", NameType::kNone, {org("GOLDEN SCOOP SDN BHD")}},
      {"88 SPEED MART S/B", "", NameType::kNone, {org("88 SPEED MART S/B")}},
      // A date before it on a statement's line is no part of it; a month's name alone is.
      {"10 Feb Hollins Widgets Ltd 2,450.00", "", NameType::kNone, {org("Hollins Widgets Ltd")}},
      {"May 2024 Hollins Widgets Ltd", "", NameType::kNone, {org("Hollins Widgets Ltd")}},
      {"March Networks Ltd", "", NameType::kNone, {org("March Networks Ltd")}},
      // An organisation the model found keeps its small words; its name ends with the form.
      {"Bank of Leith plc today", "BIIII", NameType::kOrganization, {org("Bank of Leith plc")}},
      // A letterhead in capitals: trade names.
      {"MEI LING ENTERPRISE", "", NameType::kNone, {org("MEI LING ENTERPRISE")}},
      {"RESTORAN SRI MELAKA", "", NameType::kNone, {org("RESTORAN SRI MELAKA")}},
      // No legal form: the model's names stand.
      {"Paris Hall", "B", NameType::kPlaceName, {place("Paris")}},
      {"SDN BHD", "", NameType::kNone, {}},
      {"the trading company", "", NameType::kNone, {}},
      {"Mei Ling Enterprise", "", NameType::kNone, {}},
      {"THANK YOU FOR VISITING OUR HOUSE OF TRADING", "", NameType::kNone, {}},
      {"TRIPLE SEVEN ENTERPRISE 777", "", NameType::kNone, {org("TRIPLE SEVEN ENTERPRISE 777")}},
      {"TOTAL 0% SUPPLIES (INC. GST): 15.26", "", NameType::kNone, {}},
      {"BERAS WANGI 5 KG 12.90", "", NameType::kNone, {}},
      // The line above a registration number in a letterhead names the firm.
      {"BLUE DOOR KEYS\n(000123456-K)\nNO 5, JALAN MAJU",
       "",
       NameType::kNone,
       {org("BLUE DOOR KEYS")}},
      {"SUNRISE\n001234567-W", "", NameType::kNone, {org("SUNRISE")}},
      {"Blue Door Keys\n(CO.NO.123456 H)", "", NameType::kNone, {org("Blue Door Keys")}},
      {"BLUE DOOR KEYS\n(SEE OVERLEAF)", "", NameType::kNone, {}},
      {"BLUE DOOR KEYS\nTEL 012-3456789", "", NameType::kNone, {}},
      {"the blue door\n(000123456-K)", "", NameType::kNone, {}},
      {"TABLE 12\n(000123456-K)", "", NameType::kNone, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(namedWith(c.text, c.pattern, c.type), c.named) << c.text;
}

TEST(NameTagger, AStreetIsNoOrganization) {
  const auto org = [](std::string t) { return Reported{NameTag::kOrganizationName, std::move(t)}; };
  struct Case {
    std::string text, pattern;
    std::vector<Reported> named;
  };
  const std::vector<Case> cases = {
      {"12 Oxford Road", "BII", {}},
      {"I moved to 12 Oxford Road.", "OOOBIII", {}},
      {"NO. 5 Mill Lane", "BIIII", {}},
      {"JALAN ASTANA", "BI", {}},
      {"NO 2A JALAN COCHRANE", "BIII", {}},
      {"TAMAN SERDANG RAYA", "BII", {}},
      {"P.O. Box 997300", "BIIO", {}},
      {"Postfach 10 12 34", "BOOO", {}},
      // Firms named after streets or with numbers stay.
      {"Road Haulage Association", "BII", {org("Road Haulage Association")}},
      {"3M Company", "BI", {org("3M Company")}},
      {"Oxford Road Ltd", "BII", {org("Oxford Road Ltd")}},
      {"Abbey Road Studios", "BII", {org("Abbey Road Studios")}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(namedWith(c.text, c.pattern, NameType::kOrganization), c.named) << c.text;
  EXPECT_EQ(namedWith("No 5, Jalan Maju 3", "OOOBIO", NameType::kPersonalName),
            std::vector<Reported>{});
  EXPECT_EQ(namedWith("Jalan Maju", "BI", NameType::kPlaceName).size(),
            1u);  // places may hold them
}

TEST(NameTagger, NamesThatAreDatesAreNoNames) {
  const auto org = [](std::string t) { return Reported{NameTag::kOrganizationName, std::move(t)}; };
  struct Case {
    std::string text, pattern;
    std::optional<std::string> language;  // as the recogniser finds it
    std::vector<Reported> named;
  };
  const std::vector<Case> cases = {
      {"El 7 de febrero de 1982", "BIIIII", "es", {}},
      {"On 3 May 2020", "BIII", "en", {}},
      {"Carlos, nacido el 7 de febrero de 1982", "BOOOBIIII", "es", {org("Carlos")}},
      {"Signed 3rd March 2020 Acme", "OBIIB", std::nullopt, {org("Acme")}},
      // Beside words with capitals of their own, a date is part of a name; in a language the
      // model was not taught, such a name is a runaway of the model's.
      {"28 March Stadium", "BII", "en", {org("28 March Stadium")}},
      {"Kommunalreform zum 1. Januar 2007",
       "BIIIII",
       "de",
       {org("Kommunalreform zum 1. Januar 2007")}},
      {"Nascido em 5 de maio de 1990 em Lisboa", "BIIIIIIII", "pt", {}},
      // Numbers that are no dates, and names beside a date, stay.
      {"Apollo 13 landed on 3 May 1970", "BIOOOOO", "en", {org("Apollo 13")}},
      {"Club 18-30 Holidays", "BIIII", "en", {org("Club 18-30 Holidays")}},
      {"Terminal 5, 12.03.2020", "BIOOOOOO", "en", {org("Terminal 5")}},
      {"Boeing 747 12/2020", "BIIII", "es", {org("Boeing 747 12/2020")}},
  };
  for (const Case& c : cases) {
    SequenceModel model;
    model.pattern = c.pattern;
    model.type = NameType::kOrganization;
    FixedRecognizer recognizer(c.language);
    auto tagger = makeNameTagger(model, &recognizer);
    std::vector<Reported> named;
    for (const Reported& r : tagAll(*tagger, c.text)) {
      if (r.tag) named.push_back(r);
    }
    EXPECT_EQ(named, c.named) << c.text;
  }
}

TEST(NameTagger, TheKeyOfAFieldIsNoName) {
  const auto per = [](std::string t) { return Reported{NameTag::kPersonalName, std::move(t)}; };
  struct Case {
    std::string text, pattern;
    std::vector<Reported> named;
  };
  const std::vector<Case> cases = {
      {"Teléfono: 912 345 678", "BOOOO", {}},
      {"Paris. Tél. : 01 42 68", "BOBOOOO", {per("Paris")}},
      {"E-Mail: anna@example.com", "BIIOOOOO", {}},
      {"Indirizzo: Via Roma", "BIII", {per("Via Roma")}},
      {"Anschrift: Lindenweg", "BII", {per("Lindenweg")}},  // the address labels are keys too
      {"Addr: Kingsway", "BII", {per("Kingsway")}},
      // Names before a colon that are no keys stay: speakers, headings.
      {"Anna Weber: Ich komme", "BIOOO", {per("Anna Weber")}},
      {"OBAMA: We will", "BOOO", {per("OBAMA")}},
      {"Tel Aviv is far", "BIOO", {per("Tel Aviv")}},
      {"the subcommunities: many", "OBOO", {per("subcommunities")}},
      {"Star Trek: Deep Space Nine", "BIIIII", {per("Star Trek: Deep Space Nine")}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(namedWith(c.text, c.pattern, NameType::kPersonalName), c.named) << c.text;
}

TEST(NameTagger, TwoPeopleJoinedByAConjunctionAreTwoNames) {
  const auto per = [](std::string t) { return Reported{NameTag::kPersonalName, std::move(t)}; };
  struct Case {
    std::string text, pattern;
    NameType type;
    std::vector<Reported> named;
  };
  const std::vector<Case> cases = {
      // The model runs one name over both.
      {"fille de Pierre Dubois et de Marie Laurent",
       "OOBIIIII",
       NameType::kPersonalName,
       {per("Pierre Dubois"), per("Marie Laurent")}},
      {"hijo de Juan García y María López",
       "OOBIIII",
       NameType::kPersonalName,
       {per("Juan García"), per("María López")}},
      // One name with a conjunction inside, and firms, stay whole.
      {"José Ortega y Gasset", "BIII", NameType::kPersonalName, {per("José Ortega y Gasset")}},
      {"Marks and Spencer",
       "BII",
       NameType::kOrganization,
       {{NameTag::kOrganizationName, "Marks and Spencer"}}},
      {"John Smith and Mary Jones",
       "BIIII",
       NameType::kPersonalName,
       {per("John Smith"), per("Mary Jones")}},
      {"Marie and Pierre Curie", "BIII", NameType::kPersonalName, {per("Marie and Pierre Curie")}},
  };
  for (const Case& c : cases) EXPECT_EQ(namedWith(c.text, c.pattern, c.type), c.named) << c.text;
}

TEST(NameTagger, ANameFieldWrittenSurnameFirstIsOneName) {
  TableModel model;
  model.table = {{"SMITH", kBPer}, {"John", kBPer}, {"DOE", kBPer},
                 {"JANE", kBPer},  {"A", kIPer},    {"Jones", kBPer}};
  model.labelTokens = {"Name", "Patient", ":"};
  auto tagger = makeNameTagger(model);
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"Name: SMITH, John", {"SMITH, John"}},
      {"Patient: DOE, JANE A", {"DOE, JANE A"}},
      // Not after a form label, or more names after it: a list of people.
      {"Guests: SMITH, John", {"SMITH", "John"}},
      {"Name: SMITH, John, Jones", {"SMITH", "John", "Jones"}},
  };
  for (const auto& [text, names] : cases) EXPECT_EQ(namesIn(*tagger, text), names) << text;
}

TEST(NameTagger, APriceListOpensWithItsSeller) {
  const auto org = [](std::string t) { return Reported{NameTag::kOrganizationName, std::move(t)}; };
  const std::string prices = "\n12 Main Street\nMILK 2.49\nBREAD 1.99\nTOTAL 4.48";
  struct Case {
    std::string text;
    std::vector<Reported> named;
  };
  const std::vector<Case> cases = {
      {"TRADER JOE'S" + prices, {org("TRADER JOE'S")}},
      {"WALGREENS #4521" + prices, {org("WALGREENS")}},
      {"\n\nAldi Nord" + prices, {org("Aldi Nord")}},
      // Headings, a common word alone, a letter or two, digits, or a name that is not first.
      {"TAX INVOICE" + prices, {}},
      {"GOODS" + prices, {}},
      {"R" + prices, {}},
      {"MILK 2.49" + prices, {}},
      {"Receipt\nALDI" + prices, {}},
      {"the shop" + prices, {}},
      {"ONE TWO THREE FOUR FIVE" + prices, {}},
      // No price list: a letter's first line may be anyone's.
      {"TRADER JOE'S\n12 Main Street\nDear Sir", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(namedWith(c.text, "", NameType::kOrganization), c.named) << c.text;
  }
  // A person's name as the model reads it stays one.
  const std::vector<Reported> person =
      namedWith("ANNA LIM" + prices, "BI", NameType::kPersonalName);
  ASSERT_FALSE(person.empty());
  EXPECT_EQ(person.front(), (Reported{NameTag::kPersonalName, "ANNA LIM"}));
}

TEST(NameTagger, NoOrganizationsInPriceLines) {
  const auto org = [](std::string t) { return Reported{NameTag::kOrganizationName, std::move(t)}; };
  const auto person = [](std::string t) { return Reported{NameTag::kPersonalName, std::move(t)}; };
  // A line with a sum of money, or the heading of a price list, gives no organisation ...
  EXPECT_EQ(namedWith("GOLDEN FRAME 2 12.90", "BI", NameType::kOrganization),
            std::vector<Reported>{});
  EXPECT_EQ(namedWith("QTY ITEM PRICE", "BII", NameType::kOrganization), std::vector<Reported>{});
  EXPECT_EQ(namedWith("Tea 1,50", "B", NameType::kOrganization), std::vector<Reported>{});
  // In a heading, a name of column words alone is none of any type; other names stand.
  EXPECT_EQ(namedWith("Description Qty Price", "OBI", NameType::kPersonalName),
            std::vector<Reported>{});
  EXPECT_EQ(namedWith("Qty Price Anna Lim", "OOBI", NameType::kPersonalName),
            std::vector<Reported>{person("Anna Lim")});
  EXPECT_EQ(namedWith("Vincent Price", "BI", NameType::kPersonalName),
            std::vector<Reported>{person("Vincent Price")});
  // ... but its people, and firms with their legal form.
  EXPECT_EQ(namedWith("CASHIER ANNA LIM 12.90", "OBI", NameType::kPersonalName),
            std::vector<Reported>{person("ANNA LIM")});
  EXPECT_EQ(namedWith("PAID TO ACME SDN BHD 120.00", "OOB", NameType::kOrganization),
            std::vector<Reported>{org("ACME SDN BHD")});
  // Numbers are no sums: "12.9", "2018", "1.250".
  EXPECT_EQ(namedWith("ACME 12.9 2018 1.250", "B", NameType::kOrganization),
            std::vector<Reported>{org("ACME")});
  // In a price list in capitals, an organisation of unit or lot numbers only is none; elsewhere
  // the model's names stand.
  EXPECT_EQ(namedWith("GOLDEN GOODS\nA 1.00\nB 2.00\nC 3.00", "BI", NameType::kOrganization),
            std::vector<Reported>{});
  EXPECT_EQ(namedWith("GOLDEN GOODS", "BI", NameType::kOrganization),
            std::vector<Reported>{org("GOLDEN GOODS")});
  const std::string receipt = "NO. 31G, LORONG MAJU\nA 1.00\nB 2.00\nC 3.00";
  EXPECT_EQ(namedWith(receipt, "BII", NameType::kOrganization), std::vector<Reported>{});
  EXPECT_EQ(namedWith("NO. 31G, JALAN MAJU", "BII", NameType::kOrganization),
            std::vector<Reported>{org("NO. 31G")});
  EXPECT_EQ(
      namedWith("ZETA 31G, JALAN MAJU\nA 1.00\nB 2.00\nC 3.00", "BII", NameType::kOrganization),
      std::vector<Reported>{org("ZETA 31G")});
}

// Labels a token from its table only where the token first comes in the text it is shown, as a
// model that reads each line on its own may find a name once and miss it later.
class FirstTimeModel : public TableModel {
 public:
  mutable std::set<std::string> met;
  bool isCommonWord(std::string_view word) const override { return word == "Later"; }
  std::vector<NameLabel> label(const std::vector<std::string>& tokens) const override {
    std::vector<NameLabel> out = TableModel::label(tokens);
    for (size_t k = 0; k < tokens.size(); ++k) {
      if (!met.insert(tokens[k]).second) out[k] = NameLabel{};
    }
    return out;
  }
};

TEST(NameTagger, NamesARepeatedNameAlikeAcrossTheText) {
  struct Case {
    std::string text;
    std::vector<std::string> names;
  };
  for (const Case& c : std::vector<Case>{
           // A firm found once is found again where it stands apart, a surname after the full
           // name, also in a later line or a table row.
           {"Shares of Exxon rose.\nLater Exxon fell.", {"Exxon", "Exxon"}},
           {"Shares of Exxon rose.\nThen Exxon fell.", {"Exxon"}},
           {"Steven Seagal arrived.\nthen Seagal left\nSeagal 3 1",
            {"Steven Seagal", "Seagal", "Seagal"}},
           // Not inside a longer run of capitalised words, nor in a machine-readable zone or a
           // price line.
           {"Exxon rose.\nthe Exxon Valdez sank", {"Exxon"}},
           {"Steven Seagal\nP<GBRSEAGAL<<STEVEN<<<<<<<<<<<<<<<<<<<<<<<<", {"Steven Seagal"}},
           {"Exxon Ltd\nExxon 12.50 4.00 1.20", {"Exxon Ltd"}},
       }) {
    FirstTimeModel model;
    model.table = {{"Exxon", kBOrg}, {"Steven", kBPer}, {"Seagal", kIPer}, {"Ltd", kIOrg}};
    auto tagger = makeNameTagger(model);
    EXPECT_EQ(namesIn(*tagger, c.text), c.names) << c.text;
  }
}

TEST(NameTagger, StopsWhenTheCallbackSaysSo) {
  TableModel model;
  auto tagger = makeNameTagger(model);
  EXPECT_EQ(tagAll(*tagger, "one two\nthree four", 3).size(), 3u);
  EXPECT_EQ(model.seen.size(), 2u);
  EXPECT_TRUE(tagAll(*tagger, " \n\t ").empty());
}

// Ordinary sentences and document lines, and what each model should find in them. The trained
// model still misses the line marked `rulesOnly` with a lone surname after a title ("Dr. Rao");
// the last one checks the rules' five-word limit on personal names, which the trained model does
// not have.
struct NameCase {
  std::string text;
  std::vector<Reported> names;
  bool rulesOnly = false;
};

const std::vector<NameCase>& nameCases() {
  static const std::vector<NameCase> cases = {
      {"Name: PRIYA SHARMA", {{NameTag::kPersonalName, "PRIYA SHARMA"}}},
      {"Issued by: Ministry of External Affairs",
       {{NameTag::kOrganizationName, "Ministry of External Affairs"}}},
      {"Father's Name: Ramesh Kumar   Sex: M", {{NameTag::kPersonalName, "Ramesh Kumar"}}},
      {"Place of Birth: PUNE, MAHARASHTRA",
       {{NameTag::kPlaceName, "PUNE"}, {NameTag::kPlaceName, "MAHARASHTRA"}}},
      {"Name: Mr. John Smith", {{NameTag::kPersonalName, "John Smith"}}},
      {"Yesterday Anna Müller met Rahul Verma in Berlin.",
       {{NameTag::kPersonalName, "Anna Müller"},
        {NameTag::kPersonalName, "Rahul Verma"},
        {NameTag::kPlaceName, "Berlin"}}},
      {"She works at the State Bank of India in Mumbai.",
       {{NameTag::kOrganizationName, "State Bank of India"}, {NameTag::kPlaceName, "Mumbai"}}},
      {"John Smith of Acme Ltd wrote to Dr. Rao.",
       {{NameTag::kPersonalName, "John Smith"},
        {NameTag::kOrganizationName, "Acme Ltd"},
        {NameTag::kPersonalName, "Rao"}},
       true},
      {"INCOME TAX DEPARTMENT", {{NameTag::kOrganizationName, "INCOME TAX DEPARTMENT"}}},
      {"Siemens AG and Deutsche Bank",
       {{NameTag::kOrganizationName, "Siemens AG"}, {NameTag::kOrganizationName, "Deutsche Bank"}}},
      {"The office moved to a house in Springfield last year.",
       {{NameTag::kPlaceName, "Springfield"}}},
      // Nothing here is a name.
      {"Date of Birth: 12/03/1990", {}},
      {"Permanent Account Number Card", {}},
      {"Certificate of Birth", {}},
      {"The weather was fine. In March we left.", {}},
      {"PASSPORT", {}},
      {"Name: 12345", {}},
      {"Name: Name", {}},
      {"Name: PRIYA SHARMA DATE OF BIRTH 12/03/1990", {{NameTag::kPersonalName, "PRIYA SHARMA"}}},
      {"Priya Priya Priya Priya Priya Priya",
       {{NameTag::kPersonalName, "Priya Priya Priya Priya Priya"}},
       true},
  };
  return cases;
}

void expectNames(const NameModel& model, bool trained) {
  auto tagger = makeNameTagger(model);
  for (const NameCase& c : nameCases()) {
    if (trained && c.rulesOnly) continue;
    std::vector<Reported> names;
    for (const Reported& r : tagAll(*tagger, c.text)) {
      if (r.tag) names.push_back(r);
    }
    EXPECT_EQ(names, c.names) << c.text;
  }
}

// The rule-based model: the fallback when no trained model can be read.
TEST(RuleNameModel, FindsNamesInSentencesAndFields) { expectNames(*makeRuleNameModel(), false); }

// The program's model: the trained one, found through findNameModelFile.
TEST(ProgramNameModel, FindsNamesInSentencesAndFields) {
  ASSERT_TRUE(findNameModelFile()) << "the shipped model file";
  expectNames(*makeNameModel(), true);
}

}  // namespace
}  // namespace marrowfen::entities
