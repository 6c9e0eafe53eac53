#include "entities/name_span_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace marrowfen::entities {
namespace {

constexpr NameType kPerson = NameType::kPersonalName, kOrg = NameType::kOrganization,
                   kPlace = NameType::kPlaceName;

// One line of text cut into tokens as the tagger cuts it.
struct TestLine {
  std::string text;
  std::vector<LineToken> tokens;
  std::vector<std::string> words;

  explicit TestLine(std::string t) : text(std::move(t)) {
    forEachLine(text, [&](const std::vector<LineToken>& line) {
      tokens.insert(tokens.end(), line.begin(), line.end());
      return true;
    });
    for (const LineToken& token : tokens) {
      words.push_back(text.substr(token.range.begin, token.range.end - token.range.begin));
    }
  }
  NameLine view(int language = 0) const { return NameLine{tokens, words, language}; }
  // The span of the tokens inside the first occurrence of `name`.
  NameSpan spanOf(std::string_view name, NameType type) const {
    const size_t from = text.find(name), to = from + name.size();
    NameSpan span{tokens.size(), tokens.size(), type};
    for (size_t k = 0; k < tokens.size(); ++k) {
      if (tokens[k].range.begin < from || tokens[k].range.end > to) continue;
      if (span.first == tokens.size()) span.first = k;
      span.last = k + 1;
    }
    return span;
  }
  // The text a span covers, empty when it holds no token.
  std::string textOf(NameSpan span) const {
    if (span.first >= span.last) return "";
    return text.substr(tokens[span.first].range.begin,
                       tokens[span.last - 1].range.end - tokens[span.first].range.begin);
  }
};

struct SpanCase {
  std::string text;      // the line
  std::string name;      // the name the model found in it
  NameType type;         // the model's type
  std::string expected;  // the name after the rule; empty when none is left
  NameType expectedType;
  int language = 0;  // the text's language, a modelLanguageOf value
};

void expectRule(NameSpanRule rule, const std::vector<SpanCase>& cases) {
  for (const SpanCase& c : cases) {
    const TestLine line(c.text);
    const NameSpan out = rule(line.view(c.language), line.spanOf(c.name, c.type));
    EXPECT_EQ(line.textOf(out), c.expected) << c.text << " / " << c.name;
    if (out.first < out.last) {
      EXPECT_EQ(out.type, c.expectedType) << c.text << " / " << c.name;
    }
  }
}

TEST(NameSpanRules, TrimToWordsDropsPunctuationAtBothEnds) {
  expectRule(
      trimToWords,
      {
          {"Name: PRIYA SHARMA", ": PRIYA SHARMA", kPerson, "PRIYA SHARMA", kPerson},
          {"Acme Ltd.", "Acme Ltd.", kOrg, "Acme Ltd.", kOrg},
          {"Acme Labs.", "Acme Labs.", kOrg, "Acme Labs", kOrg},
          {"(Acme & Co)", "(Acme & Co)", kOrg, "Acme & Co", kOrg},
          {"x - , ;", "- , ;", kOrg, "", kOrg},
          {"Anna", "Anna", kPerson, "Anna", kPerson},
          // A German ruler's number keeps its point; elsewhere it is punctuation.
          {"Papst Johannes Paul II. ernannte", "Johannes Paul II.", kPerson, "Johannes Paul II.",
           kPerson, 2},
          {"Pope John Paul II.", "John Paul II.", kPerson, "John Paul II", kPerson, 1},
          {"der Verein ABC.", "ABC.", kOrg, "ABC", kOrg, 2},
          // An abbreviation written with points keeps its last one.
          {"in Washington , D.C .", "Washington , D.C .", kPlace, "Washington , D.C .", kPlace, 1},
          {"bij N.E.C .", "N.E.C .", kOrg, "N.E.C .", kOrg, 4},
          {"at Acme Corp .", "Acme Corp .", kOrg, "Acme Corp .", kOrg, 1},
          {"Cal Ripken Jr .", "Cal Ripken Jr .", kPerson, "Cal Ripken Jr .", kPerson, 1},
          {"Persico , Joseph E .", "Joseph E .", kPerson, "Joseph E .", kPerson, 1},
          {"they chose Plan B .", "Plan B .", kOrg, "Plan B", kOrg, 1},
      });
}

TEST(NameSpanRules, DutchPostcodeBeforeATownIsDropped) {
  expectRule(
      dropDutchPostcode,
      {
          {"3511 NK Utrecht", "3511 NK Utrecht", kOrg, "Utrecht", kPlace},
          {"3511 NK Utrecht", "NK Utrecht", kPerson, "Utrecht", kPlace},
          {"1000 AB Den Haag", "1000 AB Den Haag", kOrg, "Den Haag", kPlace},
          // Not a postcode: a leading zero, five digits, small letters.
          {"0511 NK Utrecht", "0511 NK Utrecht", kOrg, "0511 NK Utrecht", kOrg},
          {"35112 NK Utrecht", "35112 NK Utrecht", kOrg, "35112 NK Utrecht", kOrg},
          {"3511 nk Utrecht", "3511 nk Utrecht", kOrg, "3511 nk Utrecht", kOrg},
          {"Jan NK Utrecht", "NK Utrecht", kOrg, "NK Utrecht", kOrg},
          // No word of a name after the code.
          {"3511 NK", "3511 NK", kOrg, "3511 NK", kOrg},
          {"3511 NK, Utrecht", "3511 NK, Utrecht", kOrg, "3511 NK, Utrecht", kOrg},
          // A line of another country's postcode and its town.
          {"20121 Milano MI", "20121 Milano MI", kOrg, "Milano MI", kPlace},
          {"D-01067 Dresden", "D-01067 Dresden", kOrg, "Dresden", kPlace},
          {"75001 Paris", "75001 Paris", kPerson, "Paris", kPlace},
          {"Avenida del Puerto 15, 3º B, 46021 Valencia", "46021 Valencia", kOrg, "Valencia",
           kPlace},
          // Not alone on its line, or no town after it: stays.
          {"Paid to 20121 Milano MI", "20121 Milano MI", kOrg, "20121 Milano MI", kOrg},
          {"1860 München e.V. won", "1860 München", kOrg, "1860 München", kOrg},
          {"20121 milano", "20121 milano", kOrg, "20121 milano", kOrg},
          {"2010 Winter Olympics", "2010 Winter Olympics", kOrg, "2010 Winter Olympics", kOrg},
          {"1010 Wien", "1010 Wien", kOrg, "Wien", kPlace},
      });
}

TEST(NameSpanRules, SalutationIsDroppedAndATitleAfterItMakesAPerson) {
  expectRule(
      dropSalutation,
      {
          {"Dear Anna Smith", "Dear Anna Smith", kPerson, "Anna Smith", kPerson},
          {"Dear Mr. Thompson", "Dear Mr. Thompson", kOrg, "Mr. Thompson", kPerson},
          {"DEAR JOHN", "DEAR JOHN", kPlace, "JOHN", kPlace},
          {"Dear, Anna", "Dear, Anna", kPerson, "Anna", kPerson},
          {"Chère Marie", "Chère Marie", kPerson, "Marie", kPerson},
          {"Sehr geehrte Frau Weber", "Sehr geehrte Frau Weber", kOrg, "Frau Weber", kPerson},
          {"Sehr verehrter Herr Roth", "Sehr verehrter Herr Roth", kPerson, "Herr Roth", kPerson},
          {"Geachte heer Jansen", "Geachte heer Jansen", kPerson, "heer Jansen", kPerson},
          {"Estimada Sra. López", "Estimada Sra. López", kOrg, "Sra. López", kPerson},
          {"Spett.le Rossi S.r.l.", "Spett.le Rossi S.r.l.", kOrg, "Rossi S.r.l.", kOrg},
          {"Egregio Dott. Bianchi", "Egregio Dott. Bianchi", kPerson, "Dott. Bianchi", kPerson},
          // Not a salutation, or nothing left after it.
          {"Sehr Gut GmbH", "Sehr Gut GmbH", kOrg, "Sehr Gut GmbH", kOrg},
          {"Dearborn Inc", "Dearborn Inc", kOrg, "Dearborn Inc", kOrg},
          {"Dear", "Dear", kPerson, "Dear", kPerson},
          {"Dear ,", "Dear ,", kPerson, "Dear ,", kPerson},
      });
}

TEST(NameSpanRules, NameEndsBeforeADate) {
  expectRule(endBeforeDates,
             {
                 {"Chennai, 3rd April 2023", "Chennai, 3rd April", kPerson, "Chennai", kPerson},
                 {"Berlin, den 3. Mai 2024", "Berlin, den 3. Mai", kOrg, "Berlin", kOrg},
                 // A date joined to the name's words is part of it.
                 {"Ville de Paris de la loi du 14 juillet 1913", "Ville de Paris de la loi du 14",
                  kOrg, "Ville de Paris de la loi du 14", kOrg},
                 {"May 4th Movement", "May 4th Movement", kOrg, "May 4th Movement", kOrg},
                 {"28 March Stadium", "28 March Stadium", kOrg, "28 March Stadium", kOrg},
                 // Numbers that start no date stay.
                 {"1st Earl of Rosse", "1st Earl of Rosse", kPerson, "1st Earl of Rosse", kPerson},
                 {"1860 München", "1860 München", kOrg, "1860 München", kOrg},
             });
}

TEST(NameSpanRules, InstitutionsAndDocumentTitlesAreNoPersons) {
  expectRule(institutionsAreOrganizations,
             {
                 {"Ayuntamiento de Valencia", "Ayuntamiento de Valencia", kPerson,
                  "Ayuntamiento de Valencia", kOrg},
                 {"Ministry of Health", "Ministry of Health", kPlace, "Ministry of Health", kPlace},
                 {"Hospital", "Hospital", kPerson, "Hospital", kPerson},
             });
  expectRule(
      dropDocumentTitles,
      {
          {"CERTIFICADO DE EMPADRONAMIENTO", "CERTIFICADO DE EMPADRONAMIENTO", kPerson, "",
           kPerson},
          {"Certificate of Birth", "Certificate of Birth", kOrg, "Certificate of Birth", kOrg},
          // A title line of any type ending in a kind of document.
          {"Hospital Discharge Summary", "Hospital Discharge Summary", kOrg, "", kOrg},
          {"BANK STATEMENT", "BANK STATEMENT", kPlace, "", kPlace},
          // Not the whole line, or another last word: stays.
          {"Annual Report of Acme Ltd", "Acme Ltd", kOrg, "Acme Ltd", kOrg},
          {"Consumer Reports Inc", "Consumer Reports Inc", kOrg, "Consumer Reports Inc", kOrg},
      });
}

TEST(NameSpanRules, ValueAfterAPlaceLabelIsAPlace) {
  expectRule(placesAfterPlaceLabels,
             {
                 {"Luogo di nascita ROMA", "ROMA", kPerson, "ROMA", kPlace},
                 {"Place of birth LAGOS", "LAGOS", kOrg, "LAGOS", kPlace},
                 {"Geburtsort BERLIN", "BERLIN", kPerson, "BERLIN", kPlace},
                 // Words after the name, a label of one common word, a colon: left to the model.
                 {"Place of birth LAGOS 1990", "LAGOS", kOrg, "LAGOS", kOrg},
                 {"State BANK", "BANK", kOrg, "BANK", kOrg},
                 {"Place of birth: LAGOS", "LAGOS", kOrg, "LAGOS", kOrg},
                 {"Nome MARIO", "MARIO", kPerson, "MARIO", kPerson},
             });
}

TEST(NameSpanRules, LabelOfANumberIsNoName) {
  expectRule(dropNumberLabels,
             {
                 {"Tel (602) 251-8100", "Tel", kOrg, "", kOrg},
                 {"Mobile Phone +44 7911 123456", "Mobile Phone", kOrg, "", kOrg},
                 {"HP. 012-345 6789", "HP", kPerson, "", kPerson},
                 {"SIRET 123 456 789 00012", "SIRET", kOrg, "", kOrg},
                 {"UID Nr.: DE812706034", "UID", kOrg, "", kOrg},
                 {"VAT No: GB 220 4302 31", "VAT", kOrg, "", kOrg},
                 {"TEL 07-3523888", "TEL 07-3523888", kPlace, "", kPlace},
                 // Other words in the name, or no number after it.
                 {"Tel Aviv 61000", "Tel Aviv", kPlace, "Tel Aviv", kPlace},
                 {"Tel Aviv 61000", "Tel Aviv 61000", kPlace, "Tel Aviv 61000", kPlace},
                 {"Handy Andy 5", "Handy Andy", kPerson, "Handy Andy", kPerson},
                 {"HP Inc", "HP", kOrg, "HP", kOrg},
                 {"PAN Am 1970", "PAN Am", kOrg, "PAN Am", kOrg},
                 {"GST Summary", "GST", kOrg, "GST", kOrg},
                 {"Phone", "Phone", kOrg, "Phone", kOrg},
             });
}

TEST(NameSpanRules, FormOfAddressMakesAPerson) {
  expectRule(
      addressedPersons,
      {
          {"Ms Jane Citizen", "Ms Jane Citizen", kPlace, "Ms Jane Citizen", kPerson},
          {"Dear Mr. Smith,", "Smith", kOrg, "Smith", kPerson},
          {"Herr Lukas Brunner", "Lukas Brunner", kPlace, "Lukas Brunner", kPerson},
          {"MR JOHN TAN", "MR JOHN TAN", kOrg, "MR JOHN TAN", kPerson},
          {"Sra. Ana Ruiz", "Sra. Ana Ruiz", kOrg, "Sra. Ana Ruiz", kPerson},
          // Not forms of address: a program's maker, degrees and callings, pageants, a country.
          {"MS Office 365", "Office", kOrg, "Office", kOrg},
          {"Dr. Oetker GmbH", "Dr. Oetker GmbH", kOrg, "Dr. Oetker GmbH", kOrg},
          {"MR. D.I.Y. (M) SDN BHD", "MR. D.I.Y. (M) SDN BHD", kOrg, "MR. D.I.Y. (M) SDN BHD",
           kOrg},
          {"Mr Price Group Ltd", "Mr Price Group Ltd", kOrg, "Mr Price Group Ltd", kOrg},
          {"Miss World 2019", "Miss World", kOrg, "Miss World", kOrg},
          {"Sri Lanka", "Sri Lanka", kPlace, "Sri Lanka", kPlace},
          {"Ms", "Ms", kPlace, "Ms", kPlace},
          {"ms Berlin", "Berlin", kPlace, "Berlin", kPlace},
      });
}

TEST(NameSpanRules, PersonsNameStartsAfterTitlesAndOnBehalfMarks) {
  expectRule(
      dropPersonalTitles,
      {
          {"Ms. Li Wei", "Ms. Li Wei", kPerson, "Li Wei", kPerson},
          {"Prof. Dr. Maria Rossi", "Prof. Dr. Maria Rossi", kPerson, "Maria Rossi", kPerson},
          {"MR JOHN TAN", "MR JOHN TAN", kPerson, "JOHN TAN", kPerson},
          {"i. A. Hans Meier", "i. A. Hans Meier", kPerson, "Hans Meier", kPerson},
          {"i.A. Petra Schulz", "i.A. Petra Schulz", kPerson, "Petra Schulz", kPerson},
          {"i. V. Jonas Berg", "i. V. Jonas Berg", kPerson, "Jonas Berg", kPerson},
          // The field codes of American licences before the value: "LN GARCIA", "FN MARIA".
          {"LN GARCIA", "LN GARCIA", kPerson, "GARCIA", kPerson},
          // Forms of address of the other languages, and the "Attn." of a letter or invoice.
          {"Aan: mevrouw J. de Jong", "mevrouw J. de Jong", kPerson, "J. de Jong", kPerson},
          {"Señora María López", "Señora María López", kPerson, "María López", kPerson},
          {"Attn. Katrin Vogel", "Attn. Katrin Vogel", kPerson, "Katrin Vogel", kPerson},
          // Titles of rank, as news writes them before a name ("Lord North" is North).
          {"Sir Ernest Shackleton", "Sir Ernest Shackleton", kPerson, "Ernest Shackleton", kPerson},
          {"Lord North", "Lord North", kPerson, "North", kPerson},
          {"Lord Howe Island", "Lord Howe Island", kPlace, "Lord Howe Island", kPlace},
          {"2 FN MARIA ELENA", "FN MARIA ELENA", kPerson, "MARIA ELENA", kPerson},
          {"Ln Wei", "Ln Wei", kPerson, "Ln Wei", kPerson},
          // Only persons; a title with no name after it stays.
          {"Dr. Oetker GmbH", "Dr. Oetker GmbH", kOrg, "Dr. Oetker GmbH", kOrg},
          {"Mr.", "Mr.", kPerson, "Mr.", kPerson},
          {"Herr Dr.", "Herr Dr.", kPerson, "Dr.", kPerson},
          {"i. B. Hans", "i. B. Hans", kPerson, "i. B. Hans", kPerson},
          {"Anna Mr. Smith", "Anna Mr. Smith", kPerson, "Anna Mr. Smith", kPerson},
      });
}

TEST(NameSpanRules, ADegreeOpensACourseNotAPerson) {
  expectRule(
      dropCourses,
      {
          {"2015 - 2018: B.Sc. Computer Science", "B.Sc. Computer Science", kPerson, "", kPerson},
          {"MSc Data Science, Leeds", "MSc Data Science", kPerson, "", kPerson},
          {"PH.D. PHYSICS", "PH.D. PHYSICS", kPerson, "", kPerson},
          {"the degree of Master of Science", "Master of Science", kPerson, "", kPerson},
          {"BACHELOR OF ARTS", "BACHELOR OF ARTS", kOrg, "", kOrg},
          {"Doctor of Philosophy in Physics", "Doctor of Philosophy", kPlace, "", kPlace},
          {"Bachelor in Business Administration", "Bachelor in Business Administration", kOrg, "",
           kOrg},
          // A doctor by name and a show stay.
          {"Doctor Who returns", "Doctor Who", kPerson, "Doctor Who", kPerson},
          {"Master Chef Anna", "Master Chef", kOrg, "Master Chef", kOrg},
          // A degree after the name, a degree word inside it, and other types stay.
          {"Anna Weber PhD", "Anna Weber PhD", kPerson, "Anna Weber PhD", kPerson},
          {"Ma Long", "Ma Long", kPerson, "Ma Long", kPerson},
          {"MBA Partners Ltd", "MBA Partners Ltd", kOrg, "MBA Partners Ltd", kOrg},
      });
}

TEST(NameSpanRules, NationalitiesAreNoNames) {
  expectRule(
      dropNationalities,
      {
          {"the Egyptian army", "Egyptian", kPlace, "", kPlace},
          {"Europeans and Americans", "Europeans", kOrg, "", kOrg},
          // Faiths and doctrines alone; a name that holds one stays.
          {"he converted to Judaism in 1990", "Judaism", kOrg, "", kOrg},
          {"the spread of Islam", "Islam", kPlace, "", kPlace},
          {"Institute of Marxism", "Institute of Marxism", kOrg, "Institute of Marxism", kOrg},
          {"THAI CHINESE MERCHANTS", "THAI CHINESE", kOrg, "", kOrg},
          {"Spanish Jews settled", "Spanish Jews", kPerson, "", kPerson},
          {"the South Korean team", "South Korean", kPlace, "", kPlace},
          {"BRITISH CITIZEN", "BRITISH CITIZEN", kPlace, "", kPlace},
          {"a French national", "French national", kPerson, "", kPerson},
          {"Native Americans lived there", "Native Americans", kOrg, "", kOrg},
          {"the Latin American vote", "Latin American", kOrg, "", kOrg},
          {"the Phoenicians traded", "Phoenicians", kPlace, "", kPlace},
          {"the Achaeans came", "Achaeans", kOrg, "", kOrg},
          {"the Mycenaean palaces were burnt in the end", "Mycenaean", kOrg, "", kOrg},
          {"he was one of the Phoenician traders who came", "Phoenician", kPlace, "", kPlace},
          // The adjective of a political camp before a noun.
          {"she made her first appearance since the Republican convention in July", "Republican",
           kOrg, "", kOrg},
          {"much of the debate from the Democratic side has been about it", "Democratic", kOrg, "",
           kOrg},
          // A region in the plural, and such a word standing as a noun or in a title,
          // stays.
          {"the Balkans", "Balkans", kPlace, "Balkans", kPlace},
          {"they sailed across the Mediterranean to the east", "Mediterranean", kPlace,
           "Mediterranean", kPlace},
          {"Mycenaean palaces", "Mycenaean", kOrg, "Mycenaean", kOrg},
          // The party's name, a camp that names a party, and the adjective before a function word.
          {"she spoke at the Republican Party convention in July", "Republican Party", kOrg,
           "Republican Party", kOrg},
          {"he sat as a Liberal member for the town from 1930", "Liberal", kOrg, "Liberal", kOrg},
          {"the vote was Democratic in the end and that was all", "Democratic", kOrg, "Democratic",
           kOrg},
          // A nationality in a longer name, and a lone first name, stay.
          {"Russian Railways", "Russian Railways", kOrg, "Russian Railways", kOrg},
          {"British Airways plc", "British Airways plc", kOrg, "British Airways plc", kOrg},
          {"South Africa", "South Africa", kPlace, "South Africa", kPlace},
          {"Central Asia", "Central Asia", kPlace, "Central Asia", kPlace},
          {"Latin America", "Latin America", kPlace, "Latin America", kPlace},
          {"Julians", "Julians", kPerson, "Julians", kPerson},
          {"Mians", "Mians", kOrg, "Mians", kOrg},
          {"Christian signed", "Christian", kPerson, "Christian", kPerson},
          {"Germany", "Germany", kPlace, "Germany", kPlace},
      });
}

TEST(NameSpanRules, NamesInRunningTextNeitherOpenNorEndInSmallLetters) {
  constexpr int en = 1, de = 2, fr = 3;
  expectRule(
      trimSmallLetterEdges,
      {
          {"It lies in eastern Moravia near the border.", "eastern Moravia", kPlace, "Moravia",
           kPlace},
          {"He was born in Tulcea county in the north.", "Tulcea county", kPlace, "Tulcea", kPlace,
           en},
          {"the Greek city - state of Athens was dependent on grain", "state of Athens", kOrg,
           "Athens", kOrg},
          {"They walked through the national park all day.", "national park", kPlace, "", kPlace},
          {"the new firm of Acme plc was founded in the spring", "Acme plc", kOrg, "Acme plc",
           kOrg},
          {"you can write to them at example.com as well", "example.com", kOrg, "example.com",
           kOrg},
          {"He met General de Meza at the river in the evening.", "de Meza", kPerson, "de Meza",
           kPerson},
          {"the town of de Armenia lies in the hills over there", "de Armenia", kPlace, "Armenia",
           kPlace},
          // Titles and headings with few words in small letters, lines in capitals, and German
          // or French text, whose names hold such words, stay as they are.
          {"Kollam district", "Kollam district", kPlace, "Kollam district", kPlace},
          {"Buffy broad-nosed bat", "Buffy broad-nosed bat", kOrg, "Buffy broad-nosed bat", kOrg},
          {"IT LIES IN EASTERN MORAVIA NEAR THE BORDER.", "EASTERN MORAVIA", kPlace,
           "EASTERN MORAVIA", kPlace},
          {"Elle est présente en République dominicaine et au Cameroun.", "République dominicaine",
           kPlace, "République dominicaine", kPlace, fr},
          {"Er spielte für den Verein e.V. in der Stadt bis zum Ende.", "Verein e.V.", kOrg,
           "Verein e.V.", kOrg, de},
      });
}

TEST(NameSpanRules, OneLineAnswersEveryNameInItAsAFreshLineWould) {
  // The tagger asks about all the names of a line through one NameLine, which keeps counts of the
  // line's words: each answer must be the one a line made for that name alone gives.
  const TestLine line(
      "the old firm of Acme plc was run by Mayor John Smith in the city of Bonn near the river");
  const NameLine shared = line.view();
  for (size_t first = 0; first < line.tokens.size(); ++first) {
    for (size_t last = first + 1; last <= line.tokens.size(); ++last) {
      for (const NameType type : {kPerson, kOrg}) {
        const NameSpan span{first, last, type};
        EXPECT_EQ(trimSmallLetterEdges(shared, span), trimSmallLetterEdges(line.view(), span));
        EXPECT_EQ(dropOffices(shared, span), dropOffices(line.view(), span));
      }
    }
  }
  // Counted outside the name only: the same small words are running text around a short name,
  // and none around a name that holds them all.
  const TestLine few("big old Acme in town");
  EXPECT_EQ(few.textOf(trimSmallLetterEdges(few.view(), few.spanOf("big old Acme", kOrg))),
            "big old Acme");
  EXPECT_EQ(few.textOf(trimSmallLetterEdges(few.view(), few.spanOf("old Acme", kOrg))), "Acme");
}

TEST(NameSpanRules, OfficesAreNoPartOfANameInRunningText) {
  constexpr int en = 1, nl = 4;
  expectRule(
      dropOffices,
      {
          {"She was a daughter of Emperor Tenji and lived at court.", "Emperor Tenji", kPerson,
           "Tenji", kPerson},
          {"He was received by Foreign Minister Yevgeny Primakov on Monday.",
           "Foreign Minister Yevgeny Primakov", kPerson, "Yevgeny Primakov", kPerson, en},
          {"the land was held by the Archbishop of Salzburg for years", "Archbishop of Salzburg",
           kPlace, "Salzburg", kPlace},
          {"he was sworn in as President of the United States in the end",
           "President of the United States", kOrg, "United States", kPlace},
          {"he told the President that he would not go", "President", kOrg, "", kOrg},
          {"he was then named Minister of State by the council", "Minister of State", kOrg, "",
           kOrg},
          {"he was received by the President of the Republic on Friday",
           "President of the Republic", kOrg, "", kOrg},
          {"she wrote to the President of the Republic of Kenya in May",
           "President of the Republic of Kenya", kOrg, "Kenya", kPlace},
          // The state an office serves, as a nationality before it, goes with the office; the
          // body or state before an office stays without it.
          {"Russian President Boris Yeltsin met the Pope in Moscow on Friday",
           "Russian President Boris Yeltsin", kPerson, "Boris Yeltsin", kPerson},
          {"he met German Chancellor Helmut Kohl in Bonn on Friday", "German Chancellor", kOrg, "",
           kOrg},
          {"the talks were held by the South Korean Foreign Minister in Seoul",
           "South Korean Foreign Minister", kOrg, "", kOrg},
          {"a spokesman for U.S. President Bill Clinton said on Friday", "U.S. President", kOrg,
           "U.S.", kOrg},
          {"the UN Secretary-General said in a statement that it was over", "UN Secretary-General",
           kOrg, "UN", kOrg},
          {"the Bank of England Governor said on Friday that rates would rise",
           "Bank of England Governor", kOrg, "Bank of England", kOrg},
          {"the Surgeon General said in a report that it was harmful", "Surgeon General", kOrg,
           "Surgeon General", kOrg},
          {"he was a Russian Railways manager for many years", "Russian Railways", kOrg,
           "Russian Railways", kOrg},
          {"the album was made with the band Mercury Rev in the spring", "Mercury Rev", kOrg,
           "Mercury Rev", kOrg},
          // Other names that open with an office word, and offices before small words, stay.
          {"he has worked for General Motors since he was young", "General Motors", kOrg,
           "General Motors", kOrg},
          {"he was named Secretary of State for Transport in the end",
           "Secretary of State for Transport", kOrg, "Secretary of State for Transport", kOrg},
          {"he said that Martin Luther King was a great man", "Martin Luther King", kPerson,
           "Martin Luther King", kPerson},
          // Lists and titles without running text, and Dutch text, stay.
          {"Pope Pius XII", "Pope Pius XII", kPerson, "Pope Pius XII", kPerson},
          {"hij zei dat President Obama in het paleis was", "President Obama", kPerson,
           "President Obama", kPerson, nl},
      });
}

TEST(NameSpanRules, EventsAreNoNames) {
  constexpr int en = 1, de = 2;
  expectRule(
      dropEvents,
      {
          {"after the First World War the town grew", "First World War", kOrg, "", kOrg},
          {"Japan won the Asian Cup on Sunday", "Asian Cup", kOrg, "", kOrg, en},
          {"the 2008 Summer Olympic Games were held", "2008 Summer Olympic Games", kOrg, "", kOrg},
          {"during the Renaissance the city grew", "Renaissance", kOrg, "", kOrg},
          {"she started in the mid-Sixties", "Sixties", kOrg, "", kOrg},
          {"THE MIDDLE BRONZE AGE", "MIDDLE BRONZE AGE", kPlace, "", kPlace},
          // Treaties, battles and reigns open with their word; a year or "the" may lead.
          {"the 1858 Treaty of Tientsin opened ports", "1858 Treaty of Tientsin", kOrg, "", kOrg},
          {"after the Battle of Marengo he left", "Battle of Marengo", kPlace, "", kPlace},
          {"it began the Reign of Terror in Paris", "Reign of Terror", kOrg, "", kOrg},
          {"she won the Honorary Academy Award in 2010", "Honorary Academy Award", kOrg, "", kOrg},
          // An event word that opens a name without "of", or a name of two words, stays.
          {"Battle Creek is a city", "Battle Creek", kPlace, "Battle Creek", kPlace},
          {"the War Office said", "War Office", kOrg, "War Office", kOrg},
          {"he read it in Treaty Oak", "Treaty Oak", kPlace, "Treaty Oak", kPlace},
          // A person, a name that does not end in an event word, a lone event word that
          // names no event alone, and German text stay.
          {"Cup Ltd sold it", "Cup Ltd", kOrg, "Cup Ltd", kOrg},
          {"Games Workshop sold it", "Games Workshop", kOrg, "Games Workshop", kOrg},
          {"Open", "Open", kOrg, "Open", kOrg},
          {"Anna War said so", "Anna War", kPerson, "Anna War", kPerson},
          {"der DFB Cup wurde gespielt", "DFB Cup", kOrg, "DFB Cup", kOrg, de},
      });
}

TEST(NameSpanRules, NamesEndBeforeInnerSmallWordsInProse) {
  constexpr int en = 1, nl = 4;
  expectRule(endBeforeInnerSmallWords,
             {
                 {"sparking a period of European exploration of the Americas .",
                  "European exploration of the Americas", kOrg, "European", kOrg, en},
                 {"he coached the USC Trojans football team for a year",
                  "USC Trojans football team", kOrg, "USC Trojans", kOrg, en},
                 // The small words that names hold, a word with digits, a list, and text of other
                 // or unknown languages stay.
                 {"she worked for the Bank of America in the city", "Bank of America", kOrg,
                  "Bank of America", kOrg, en},
                 {"he moved to Newcastle upon Tyne in the spring", "Newcastle upon Tyne", kPlace,
                  "Newcastle upon Tyne", kPlace, en},
                 {"it was sold by the European People's Party in May", "European People's Party",
                  kOrg, "European People's Party", kOrg, en},
                 {"Acme widgets Ltd", "Acme widgets Ltd", kOrg, "Acme widgets Ltd", kOrg, en},
                 {"het paard stond in de Stal voor Zes Paarden in het dorp",
                  "Stal voor Zes Paarden", kOrg, "Stal voor Zes Paarden", kOrg, nl},
                 {"sparking a period of European exploration of the Americas .",
                  "European exploration of the Americas", kOrg,
                  "European exploration of the Americas", kOrg},
             });
}

TEST(NameSpanRules, LandformsArePlaces) {
  expectRule(
      landformsArePlaces,
      {
          {"they moved to Beverly Hills in 1990", "Beverly Hills", kOrg, "Beverly Hills", kPlace},
          {"the Danube Delta is wide", "Danube Delta", kOrg, "Danube Delta", kPlace},
          {"sailed to the West Indies", "West Indies", kOrg, "West Indies", kPlace},
          {"ROYAL NATIONAL PARK", "ROYAL NATIONAL PARK", kOrg, "ROYAL NATIONAL PARK", kPlace},
          // One word, a person, a word in small letters, another last word: stays.
          {"Delta flew there", "Delta", kOrg, "Delta", kOrg},
          {"the actress Veronica Lake", "Veronica Lake", kPerson, "Veronica Lake", kPerson},
          {"Acme river", "Acme river", kOrg, "Acme river", kOrg},
          {"Lake Shore Ltd", "Lake Shore Ltd", kOrg, "Lake Shore Ltd", kOrg},
      });
}

TEST(NameSpanRules, TitlesOfWorksAreNoNames) {
  constexpr int en = 1, de = 2;
  expectRule(
      dropWorks,
      {
          {"the 2011 comedy film Salmon Fishing in the Yemen", "Salmon Fishing", kOrg, "", kOrg},
          {"her album \"Over My Head\" sold well", "Over My Head", kOrg, "", kOrg, en},
          {"the novel Emma was written in 1815", "Emma", kPerson, "", kPerson},
          // A kind of work with a capital, after a comma, or in German text, and a name before
          // its kind, stay.
          {"the Film Society met", "Society", kOrg, "Society", kOrg},
          {"he saw the film , Smith said", "Smith", kPerson, "Smith", kPerson},
          {"das Album Berlin erschien", "Berlin", kPlace, "Berlin", kPlace, de},
          {"Smith wrote the book", "Smith", kPerson, "Smith", kPerson},
      });
}

TEST(NameSpanRules, PersonsEndAtCommasInRunningText) {
  constexpr int de = 2;
  expectRule(
      endPersonsAtCommas,
      {
          {"he was succeeded by his son Henry , Duke of Cumberland , in 1790",
           "Henry , Duke of Cumberland", kPerson, "Henry", kPerson},
          // Suffixes after a comma, names in lists and cards, other types and German text stay.
          {"the speech of Martin Luther King , Jr . was read", "Martin Luther King , Jr", kPerson,
           "Martin Luther King , Jr", kPerson},
          {"Name: DOE , JOHN", "DOE , JOHN", kPerson, "DOE , JOHN", kPerson},
          {"the office is in Spokane , Washington since then", "Spokane , Washington", kPlace,
           "Spokane , Washington", kPlace},
          {"er traf Heinrich , Herzog von Bayern , in der Stadt", "Heinrich , Herzog von Bayern",
           kPerson, "Heinrich , Herzog von Bayern", kPerson, de},
      });
}

TEST(NameSpanRules, KindsOfBodiesAfterNationalitiesInCapitalsAreNoNames) {
  expectRule(
      dropKindsAfterNationalities,
      {
          {"THE CHINESE COMPANY SAID ON MONDAY", "CHINESE COMPANY", kOrg, "", kOrg},
          {"THE SOUTH KOREAN POLICE SAID", "SOUTH KOREAN POLICE", kOrg, "", kOrg},
          {"TURKISH AUTHORITIES CLOSED IT", "TURKISH AUTHORITIES", kPlace, "", kPlace},
          // Mixed case writes a kind in small letters: a capital makes it a name.
          {"the Dutch Bank said", "Dutch Bank", kOrg, "Dutch Bank", kOrg},
          // Names with words of their own, or with more after the kind, stay.
          {"THE EUROPEAN COMMISSION SAID", "EUROPEAN COMMISSION", kOrg, "EUROPEAN COMMISSION",
           kOrg},
          {"RUSSIAN SECRET SERVICE AGENTS", "RUSSIAN SECRET SERVICE", kOrg,
           "RUSSIAN SECRET SERVICE", kOrg},
          {"THE GERMAN BANK OF TRADE", "GERMAN BANK OF TRADE", kOrg, "GERMAN BANK OF TRADE", kOrg},
          {"THE ACME COMPANY SAID", "ACME COMPANY", kOrg, "ACME COMPANY", kOrg},
          {"COMPANY", "COMPANY", kOrg, "COMPANY", kOrg},
          // A person is left to the other rules.
          {"GERMAN TEAM", "GERMAN TEAM", kPerson, "GERMAN TEAM", kPerson},
      });
}

TEST(NameSpanRules, APersonsNameHoldsNoDigits) {
  expectRule(dropNumberedPersons,
             {
                 {"Versicherungsschein Nr. AS-4471-2231", "AS-4471-2231", kPerson, "", kPerson},
                 {"Room 12 Anna", "Room 12", kPerson, "", kPerson},
                 {"Codice fiscale RSSMRA85T10A562S", "Codice fiscale RSSMRA85T10A562S", kPerson, "",
                  kPerson},
                 {"Anna Weber", "Anna Weber", kPerson, "Anna Weber", kPerson},
                 // Ordinals, numbers glued to a name (a footnote's mark), and years in brackets
                 // stay.
                 {"Laurence Parsons, 1st Earl of Rosse", "Laurence Parsons, 1st Earl of Rosse",
                  kPerson, "Laurence Parsons, 1st Earl of Rosse", kPerson},
                 {"Kelly Holmes1", "Kelly Holmes1", kPerson, "Kelly Holmes1", kPerson},
                 {"Svetlana Shkolina1,90 m", "Svetlana Shkolina1,90", kPerson,
                  "Svetlana Shkolina1,90", kPerson},
                 {"Richard Grosvenor, 1. Earl Grosvenor", "Richard Grosvenor, 1. Earl Grosvenor",
                  kPerson, "Richard Grosvenor, 1. Earl Grosvenor", kPerson},
                 {"Anna Weber (1901 - 1980)", "Anna Weber (1901 - 1980)", kPerson,
                  "Anna Weber (1901 - 1980)", kPerson},
                 {"Henry VIII", "Henry VIII", kPerson, "Henry VIII", kPerson},
                 // Firms and places may hold numbers, but no long code.
                 {"3M Deutschland", "3M Deutschland", kOrg, "3M Deutschland", kOrg},
                 {"DNI 12345678Z", "DNI 12345678Z", kOrg, "", kOrg},
                 {"Codice fiscale RSSMRA85T10A562S", "Codice fiscale RSSMRA85T10A562S", kPlace, "",
                  kPlace},
                 {"Route 66", "Route 66", kPlace, "Route 66", kPlace},
             });
}

TEST(NameSpanRules, CourtesiesAndSentencesWithCapitalsAreNoNames) {
  expectRule(dropCourtesies,
             {
                 {"Thank You & Come Again!", "Thank You & Come Again", kOrg, "", kOrg},
                 {"PLEASE COME AGAIN", "PLEASE COME AGAIN", kOrg, "", kOrg},
                 {"TERIMA KASIH", "TERIMA KASIH", kPerson, "", kPerson},
                 {"Merci De Votre Visite", "Merci De Votre Visite", kOrg, "", kOrg},
                 {"Thanks For Shopping At Mydin", "Thanks For Shopping At Mydin", kOrg, "", kOrg},
                 // Names with none of those words stay, and so do words that hold one.
                 {"Come Again Cafe", "Come Again Cafe", kOrg, "Come Again Cafe", kOrg},
                 {"Pleasant Valley", "Pleasant Valley", kPlace, "Pleasant Valley", kPlace},
             });
  expectRule(dropSentences,
             {
                 {"Goods Sold Are Not Returnable", "Goods Sold Are Not Returnable", kOrg, "", kOrg},
                 {"Have A Nice Day", "Have A Nice Day", kOrg, "", kOrg},
                 {"Did We Smile At You?", "Did We Smile At You", kOrg, "", kOrg},
                 {"This is Acme", "This is Acme", kOrg, "", kOrg},
                 // Capitals may be abbreviations; other names, and other languages, stay.
                 {"IS fighters", "IS", kOrg, "IS", kOrg},
                 {"Frankfurt am Main", "Frankfurt am Main", kPlace, "Frankfurt am Main", kPlace},
                 {"Acme Trading", "Acme Trading", kOrg, "Acme Trading", kOrg},
                 {"Dit Is Amsterdam", "Dit Is Amsterdam", kOrg, "Dit Is Amsterdam", kOrg, 4},
             });
}

TEST(NameSpanRules, PluralsOfAbbreviationsAreNoNames) {
  expectRule(dropPluralAbbreviations,
             {
                 {"the votes of 367 MPs", "MPs", kOrg, "", kOrg},
                 {"send GIFs and stickers", "GIFs", kOrg, "", kOrg},
                 {"NGOs said", "NGOs", kPerson, "", kPerson},
                 // Abbreviations, names ending in "s", names of more words and capitals stay.
                 {"the NGO said", "NGO", kOrg, "NGO", kOrg},
                 {"Jones said", "Jones", kPerson, "Jones", kPerson},
                 {"at IBMs Lab", "IBMs Lab", kOrg, "IBMs Lab", kOrg},
                 {"ARMS LTD", "ARMS", kOrg, "ARMS", kOrg},
                 {"Ms", "Ms", kPerson, "Ms", kPerson},
             });
}

TEST(NameSpanRules, StreetsWhereAnAddressStandsArePlaces) {
  constexpr int en = 1, de = 2, fr = 3, nl = 4;
  expectRule(
      streetsArePlaces,
      {
          {"our office on Market Street by April 1", "Market Street", kOrg, "Market Street",
           kPlace},
          {"Woodhouse Lane, Leeds LS2 9JT", "Woodhouse Lane", kPerson, "Woodhouse Lane", kPlace},
          {"West Cromwell Road", "West Cromwell Road", kOrg, "West Cromwell Road", kPlace},
          {"78 Oak Ave. Portland", "Oak Ave", kOrg, "Oak Ave", kPlace},
          {"2001 Point West Way", "Point West Way", kOrg, "Point West Way", kPlace},
          {"Harms Rd 12", "Harms Rd", kPerson, "Harms Rd", kPlace},
          // Named after a street, where no address stands: shows, labels, people.
          {"'' Coronation Street '' ( 3 episodes , 1988 )", "Coronation Street", kOrg,
           "Coronation Street", kOrg},
          {"Label : Gee Street", "Gee Street", kOrg, "Gee Street", kOrg},
          {"Diane Lane starred", "Diane Lane", kPerson, "Diane Lane", kPerson},
          {"Point West Way", "Point West Way", kOrg, "Point West Way", kOrg},
          {"Red Crescent workers", "Red Crescent", kOrg, "Red Crescent", kOrg},
          {"M-8 ( Michigan highway )", "M-8 ( Michigan highway )", kOrg, "M-8 ( Michigan highway )",
           kOrg},
          {"Street", "Street", kOrg, "Street", kOrg},
          {"'' Cross Road ''", "Cross Road", kOrg, "Cross Road", kOrg},
          // Streets named after people, after the street word of languages that write it first;
          // not in English, and not after "via" in small letters.
          {"50 rue du Docteur Finlay", "Docteur Finlay", kPerson, "Docteur Finlay", kPlace, fr},
          {"8, avenue Victor Hugo", "Victor Hugo", kPerson, "Victor Hugo", kPlace, fr},
          {"Via Giuseppe Verdi 12", "Giuseppe Verdi", kPerson, "Giuseppe Verdi", kPlace},
          {"calle de la Princesa 5", "Princesa", kPerson, "Princesa", kPlace},
          {"ul. Marsza\u0142kowska 10/12", "Marsza\u0142kowska", kOrg, "Marsza\u0142kowska",
           kPlace},
          // A street word apart after the name, then the number.
          {"Karl Johans gate 22", "Karl Johans", kPerson, "Karl Johans", kPlace},
          {"V\u00E1clavsk\u00E9 n\u00E1m\u011Bst\u00ED 1", "V\u00E1clavsk\u00E9", kOrg,
           "V\u00E1clavsk\u00E9", kPlace},
          {"Maria Curie gate 5", "Maria Curie", kPerson, "Maria Curie", kPerson},
          {"Anna Weber Platz", "Anna Weber", kPerson, "Anna Weber", kPerson},
          {"sent via Hollins Widgets", "Hollins Widgets", kOrg, "Hollins Widgets", kOrg},
          {"the avenue Victor Hugo took", "Victor Hugo", kPerson, "Victor Hugo", kPerson, en},
          {"il suit les cours Alexandre Cabanel", "Alexandre Cabanel", kPerson, "Alexandre Cabanel",
           kPerson, fr},
          // Streets by their own words: a leading street word inside the name, a street word
          // joined to the name or after it, before a house number.
          {"Domicilio: Calle Mayor 15, 3º B", "Calle Mayor", kPerson, "Calle Mayor", kPlace},
          {"habite Rue de Rivoli, 75001 Paris", "Rue de Rivoli", kOrg, "Rue de Rivoli", kPlace, fr},
          {"le Chemin de fer du Nord", "Chemin de fer du Nord", kOrg, "Chemin de fer du Nord", kOrg,
           fr},
          {"12 Avenue Foch", "Avenue Foch", kPerson, "Avenue Foch", kPlace, en},
          {"Adres: Oudegracht 123, 3511 AL Utrecht", "Oudegracht", kPerson, "Oudegracht", kPlace,
           nl},
          {"Hauptstraße 5a", "Hauptstraße", kOrg, "Hauptstraße", kPlace, de},
          {"Berliner Str. 12", "Berliner Str", kOrg, "Berliner Str", kPlace, de},
          {"Amsterdamseweg 1990", "Amsterdamseweg", kPerson, "Amsterdamseweg", kPlace, nl},
          // Without a house number, or in English without one, they stay.
          {"Avenue Q is a musical", "Avenue Q", kOrg, "Avenue Q", kOrg, en},
          {"Place Vendome Hotel", "Place Vendome Hotel", kOrg, "Place Vendome Hotel", kOrg, en},
          {"Herr Hartweg sagte", "Hartweg", kPerson, "Hartweg", kPerson, de},
          {"Hartweg 20190 mal", "Hartweg", kPerson, "Hartweg", kPerson, de},
          {"Team Markt 12345", "Team Markt", kOrg, "Team Markt", kOrg, de},
      });
}

TEST(NameSpanRules, TownsBeforeAStateCodeArePlaces) {
  expectRule(townsBeforeStateCodesArePlaces,
             {
                 {"Portland, OR 97205", "Portland, OR", kOrg, "Portland, OR", kPlace},
                 {"CHICAGO, IL 60610", "CHICAGO", kOrg, "CHICAGO", kPlace},
                 {"Toronto, ON M5V 2T6", "Toronto", kPerson, "Toronto", kPlace},
                 {"San Francisco, CA", "San Francisco, CA", kOrg, "San Francisco, CA", kPlace},
                 // A code that reads as a word goes on in words; a code in small letters, none.
                 {"Smith, OR his brother", "Smith", kPerson, "Smith", kPerson},
                 {"Acme, In 1990", "Acme", kOrg, "Acme", kOrg},
                 {"Acme, XX 12345", "Acme", kOrg, "Acme", kOrg},
                 {"Acme", "Acme", kOrg, "Acme", kOrg},
             });
}

TEST(NameSpanRules, EveryRuleLeavesANameThatIsGoneGone) {
  for (const std::string text : {"", "Acme", "Portland , OR"}) {
    const TestLine line(text);
    for (const size_t at : {size_t{0}, line.tokens.size()}) {
      for (const NameSpanRule rule : nameSpanRules()) {
        const NameSpan out = rule(line.view(), NameSpan{at, at, kOrg});
        EXPECT_GE(out.first, out.last) << text << " at " << at;
      }
    }
  }
}

// The names left after splitNamesAtSmallWords, as "text|type" with the type's first letter.
std::vector<std::string> namesAfterSplit(const std::string& text, const std::string& name,
                                         NameType type, int language) {
  const TestLine line(text);
  const NameSpan span = line.spanOf(name, type);
  std::vector<NameLabel> labels(line.tokens.size());
  for (size_t k = span.first; k < span.last; ++k) labels[k] = {type, k == span.first};
  splitNamesAtSmallWords(line.view(language), labels);
  std::vector<std::string> names;
  for (size_t i = 0; i < labels.size();) {
    size_t end = i + 1;
    while (end < labels.size() && labels[end].type == labels[i].type && !labels[end].begins) ++end;
    if (labels[i].type != NameType::kNone) {
      const char kind = labels[i].type == kPerson ? 'P' : labels[i].type == kOrg ? 'O' : 'L';
      names.push_back(line.textOf(NameSpan{i, end, labels[i].type}) + "|" + kind);
    }
    i = end;
  }
  return names;
}

TEST(NameSpanRules, NamesAreSplitAtWordsBetweenNames) {
  constexpr int en = 1, de = 2;
  struct Case {
    std::string text, name;
    NameType type;
    std::vector<std::string> names;
    int language = 0;
  };
  for (const Case& c : std::vector<Case>{
           {"Leading scores in the Zimbabwe Open at the par-72 Chapman Golf Club on Friday :",
            "Zimbabwe Open at the par-72 Chapman Golf Club",
            kOrg,
            {"Zimbabwe Open|O", "Chapman Golf Club|O"},
            en},
           {"it said on Friday that Leeds beat Chelsea at home in the end",
            "Leeds beat Chelsea",
            kOrg,
            {"Leeds|O", "Chelsea|O"}},
           {"the war that China fought with Great Britain was lost in the end",
            "China fought with Great Britain",
            kPlace,
            {"China fought|L", "Great Britain|L"}},
           // Small words inside names stay, and so do names in headings, lists and German text.
           {"he was sent to the Bank of England in London by the firm",
            "Bank of England",
            kOrg,
            {"Bank of England|O"}},
           {"he was a member of the Commission on Human Rights for years",
            "Commission on Human Rights",
            kOrg,
            {"Commission on Human Rights|O"}},
           {"Zimbabwe Open at Chapman Golf Club",
            "Zimbabwe Open at Chapman Golf Club",
            kOrg,
            {"Zimbabwe Open at Chapman Golf Club|O"}},
           {"er war bei der Bank in Frankfurt am Main und in der Stadt",
            "Bank in Frankfurt am Main",
            kOrg,
            {"Bank in Frankfurt am Main|O"},
            de},
       }) {
    EXPECT_EQ(namesAfterSplit(c.text, c.name, c.type, c.language), c.names) << c.text;
  }
}

TEST(NameSpanRules, BracketsOfANameAreBalanced) {
  expectRule(balanceBrackets,
             {
                 // Takes the closing bracket that follows it.
                 {"Lille (Nord) 59000", "Lille (Nord", kPlace, "Lille (Nord)", kPlace},
                 {"Acme (UK) Ltd", "Acme (UK) Ltd", kOrg, "Acme (UK) Ltd", kOrg},
                 // Ends before a bracket it opens and does not close.
                 {"Orléans (Loiret", "Orléans (Loiret", kPlace, "Orléans", kPlace},
                 {"A (B (C) D", "A (B (C) D", kOrg, "A", kOrg},
                 {"Lille (Nord (x)", "Lille (Nord", kPlace, "Lille", kPlace},
                 // Ends before a bracket it closes without opening it.
                 {"Paris) Lyon", "Paris) Lyon", kPlace, "Paris", kPlace},
                 {"(Berlin] x", "(Berlin]", kPlace, "(Berlin]", kPlace},
             });
}

TEST(NameSpanRules, TrailingPunctuationGoesButForABracketClosedInside) {
  expectRule(trimTrailingPunctuation,
             {
                 {"Acme Ltd .", "Acme Ltd .", kOrg, "Acme Ltd .", kOrg},
                 {"Acme Labs .", "Acme Labs .", kOrg, "Acme Labs", kOrg},
                 {"Acme - ,", "Acme - ,", kOrg, "Acme", kOrg},
                 {"Lille (Nord)", "Lille (Nord)", kPlace, "Lille (Nord)", kPlace},
                 {"Lille (Nord).", "Lille (Nord).", kPlace, "Lille (Nord)", kPlace},
                 {"Acme Ltd )", "Acme Ltd )", kOrg, "Acme Ltd", kOrg},
                 {"Wilhelm II. sprach", "Wilhelm II.", kPerson, "Wilhelm II.", kPerson, 2},
                 {"by Henry VIII.", "Henry VIII.", kPerson, "Henry VIII", kPerson, 1},
                 {"in Berlin.", "Berlin.", kPlace, "Berlin", kPlace, 2},
                 {"das ABC.", "ABC.", kOrg, "ABC", kOrg, 2},
             });
}

TEST(NameSpanRules, AppliedInOrderTheyCutSalutationTitleAndPunctuation) {
  const struct {
    std::string text;
    NameType type;
    std::string expected;
    NameType expectedType;
  } cases[] = {
      {"Dear Mr. Thompson,", kOrg, "Thompson", kPerson},
      {"Sehr geehrte Frau Dr. Weber:", kPerson, "Weber", kPerson},
      {"3511 NK Utrecht (NL)", kOrg, "Utrecht (NL)", kPlace},
      {"i. A. (Hans Meier", kPerson, "Hans Meier", kPerson},
      {", ;", kOrg, "", kOrg},
  };
  for (const auto& c : cases) {
    const TestLine line(c.text);
    NameSpan span = line.spanOf(c.text, c.type);
    for (const NameSpanRule rule : nameSpanRules()) span = rule(line.view(), span);
    EXPECT_EQ(line.textOf(span), c.expected) << c.text;
    if (span.first < span.last) {
      EXPECT_EQ(span.type, c.expectedType) << c.text;
    }
  }
}

}  // namespace
}  // namespace marrowfen::entities
