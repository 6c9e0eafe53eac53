// The corrections the name tagger makes to the edges of each name its model found: a salutation,
// a title or a postcode before a name is no part of it, nor is punctuation at its ends, and its
// brackets are balanced. Each rule takes a line and the span of one name in it and returns the
// span with its edges moved; a span whose `first` reaches its `last` is no name at all. The tagger
// applies nameSpanRules() in order and reports the words the rules cut off as words.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "entities/name_model.h"
#include "entities/name_tagger.h"

namespace marrowfen::entities {

// One line as the rules see it.
struct NameLine {
  const std::vector<LineToken>& tokens;   // its segments, as forEachLine gives them
  const std::vector<std::string>& words;  // the text of each segment, one per token
  int language = 0;                       // the text's language, a modelLanguageOf value
  // Counts of the words of running text before each token, filled on first use, so that asking
  // about the words around each of a long line's names does not read the whole line again.
  mutable std::vector<unsigned> smallWordsBefore{};
  mutable std::vector<unsigned> functionWordsBefore{};
};

// The tokens of one name in a line.
struct NameSpan {
  size_t first = 0;                 // its first token
  size_t last = 0;                  // one past its last token; no name when <= first
  NameType type = NameType::kNone;  // the kind of name it is reported as
  bool operator==(const NameSpan&) const = default;
};

// A name starts and ends on words: punctuation at its edges goes, but for the point of an
// abbreviation that ends it ("D.C.", "Jr.", "Ltd.", a person's initial "Joseph E.") and of a
// ruler's number in German ("Wilhelm II.").
NameSpan trimToWords(const NameLine& line, NameSpan span);
// A Dutch postcode is no part of a name: in "3511 NK Utrecht" the four digits and two capitals are
// a code and the word after them the town's name, reported as a place. Also when the name starts
// with the two capitals after the digits. Needs a word after the code. So is the postcode of a
// line that holds only it and the town ("20121 Milano MI", "D-01067 Dresden").
NameSpan dropDutchPostcode(const NameLine& line, NameSpan span);
// The salutation of a letter ("Dear", "Sehr geehrter", "Chère") is no part of a name, and a title
// after it makes the rest a person's name: "Dear Mr. Thompson" is a person, "Mr. Thompson".
NameSpan dropSalutation(const NameLine& line, NameSpan span);
// A name ends before a date after a comma in it: "Chennai, 3rd April 2023" names Chennai,
// "Berlin, den 3. Mai 2024" Berlin. A date joined to the name's words is part of it ("28 March
// Stadium").
NameSpan endBeforeDates(const NameLine& line, NameSpan span);
// A person's name of two words or more that opens with the word of an institution is an
// organisation's: "Ayuntamiento de Valencia", "Urząd Miasta", "Ministry of Health".
NameSpan institutionsAreOrganizations(const NameLine& line, NameSpan span);
// The value after a label of a place on its line, without a colon, as cards print it, is a
// place: "Luogo di nascita ROMA", "Place of birth LAGOS". A label of one word only when it is
// no word of names too ("Geburtsort BERLIN"; not "State BANK").
NameSpan placesAfterPlaceLabels(const NameLine& line, NameSpan span);
// A document's title is no person's name: "CERTIFICADO DE EMPADRONAMIENTO", "Acte de naissance";
// nor is a title line of any type that ends in a kind of document ("Hospital Discharge Summary").
NameSpan dropDocumentTitles(const NameLine& line, NameSpan span);
// A name after a form of address, or opening with one, is a person's, whatever type the model
// gave it: "Ms Jane Citizen" is no place, "Mr Smith" no organisation. The form of address is
// written as one ("Ms", "Herr") or in capitals before a name in capitals ("MR JOHN TAN"), not
// as the "MS" of "MS Office".
NameSpan addressedPersons(const NameLine& line, NameSpan span);
// A person's name starts after the titles before it ("Ms. Li Wei" is Li Wei), after the "i. A."
// or "i. V." of a German letter's signature and after the field codes "LN" and "FN" that American
// driving licences print before the value, as long as a word of the name is left.
NameSpan dropPersonalTitles(const NameLine& line, NameSpan span);
// A person's name does not open with an academic degree: "B.Sc. Computer Science" on the line of
// a CV or certificate is the course, no person (a degree follows a name: "Anna Weber, PhD").
// Such a span is no name at all, nor is a degree written out, of whatever type ("Master of
// Science", "BACHELOR OF ARTS").
NameSpan dropCourses(const NameLine& line, NameSpan span);
// In English running text (or text of no known language; three or more words in small letters on
// the line besides the name, or two function words) a name neither opens nor ends with a word in
// small letters: "eastern Moravia" is Moravia, "Tulcea county" Tulcea, "state of Athens" Athens,
// and "national park" no name at all. A particle that opens a person's name ("de
// Meza", but not "de Armenia" as a place) and a legal form that ends a firm's ("Acme plc") stay.
// Headings, titles and lines in capitals are left as they are, and so are German, French and Dutch
// text, whose names hold words in small letters ("République dominicaine", "Franse voetbalbond").
NameSpan trimSmallLetterEdges(const NameLine& line, NameSpan span);
// A name in English running text ends before a word in small
// letters inside it other than the small words names hold ("of", "the", "de", "upon"): "European
// exploration of the Americas" is "European", "USC Trojans football team" "USC Trojans".
NameSpan endBeforeInnerSmallWords(const NameLine& line, NameSpan span);
// In English running text (or text of no known language), an office, rank or title of rule is
// no part of a name: "Emperor Meiji" and "Foreign Minister Primakov" are persons without their
// office, "Archbishop of Salzburg" and "President of the United States" the place after the
// office, and a name made of office words only ("President", "Minister of State") no name at all.
// A nationality before the office goes with it ("Russian President Boris Yeltsin" is Boris
// Yeltsin, "German Chancellor" no name), and an organisation or place that ends in an office is
// the body or state before it ("U.S. President" is U.S., "Bank of England Governor" the bank).
// Other names that open with such a word stay ("General Motors").
NameSpan dropOffices(const NameLine& line, NameSpan span);
// Events and periods are no names of the three types: in English text (or text of no known
// language), an organisation or place that ends in an event word ("World Cup", "Trojan War",
// "Middle Bronze Age", "2008 Summer Olympic Games"), opens with one before "of" ("Treaty of
// Nanking", "1858 Treaty of Tientsin", "Battle of Marengo") or is one alone ("Renaissance") is no
// name.
NameSpan dropEvents(const NameLine& line, NameSpan span);
// Titles of works are no names: in English text (or text of no known language), a name right
// after a kind of work in small letters, quotes between allowed ("the film Salmon Fishing", "the
// album \"Over My Head\""), is none.
NameSpan dropWorks(const NameLine& line, NameSpan span);
// In English running text (or text of no known language) a person's name ends before a comma in it
// ("Henry , Duke of Cumberland" names Henry); elsewhere ("DOE, JOHN") it stays.
NameSpan endPersonsAtCommas(const NameLine& line, NameSpan span);
// Nationalities and peoples are no names of the three types: an organisation or place whose every
// word is one or a region word before one ("Egyptian", "Europeans", "THAI CHINESE", "South
// Korean"), or a person's name of two or more such words ("Spanish Jews"), is no name at all; nor
// is an organisation or place of one plural word in "-ians" or "-eans" ("Phoenicians"), nor, in
// English running text, one such word in "-ian" or "-ean" before a word in small letters, as an
// adjective ("Mycenaean palaces"). A lone word that is also a first name ("Christian", "Roman")
// stays a person. "Balkans" is a region, no people.
NameSpan dropNationalities(const NameLine& line, NameSpan span);
// A body named by its kind after a nationality in a line in capitals ("THE CHINESE COMPANY",
// "SOUTH KOREAN POLICE", "TURKISH AUTHORITIES") is no name: running text writes the kind in small
// letters. Only words in capitals are read so; "the Chinese Company" in mixed case, and a name
// with words of its own ("EUROPEAN COMMISSION", "RUSSIAN SECRET SERVICE"), stay.
NameSpan dropKindsAfterNationalities(const NameLine& line, NameSpan span);
// A word of capitals with a plural "s" ("MPs", "NGOs", "GIFs") names things of a kind, no one
// thing: a name of that word alone is no name at all.
NameSpan dropPluralAbbreviations(const NameLine& line, NameSpan span);
// A person's name holds no numbers: a person the model found with a word of digits outside
// brackets (a policy's number "AS-4471-2231", "Room 12") is no name. Ordinals ("1st Earl of
// Rosse") and years in brackets stay. A name of any type with a long code of capitals and digits
// ("Codice fiscale RSSMRA85T10A562S", "DNI 12345678Z") is none either.
NameSpan dropNumberedPersons(const NameLine& line, NameSpan span);
// A courtesy line is no name: a span that holds a word of thanks or of asking ("Thank You & Come
// Again", "Please Come Again", "TERIMA KASIH", "Merci De Votre Visite") is no name at all.
NameSpan dropCourtesies(const NameLine& line, NameSpan span);
// The label of a telephone, registry or tax number is no name: a span of such words alone
// ("Tel", "Phone", "SIRET", "UID") before the number, a "+", a bracket or a code.
NameSpan dropNumberLabels(const NameLine& line, NameSpan span);
// In English text (or text of no known language), a sentence written with capitals is no name: a
// span that holds an English verb of being or
// having, an auxiliary or "not", written in small letters or with one capital ("Goods Sold Are
// Not Returnable", "Have A Nice Day"), is no name at all. Such a word in capitals may be an
// abbreviation ("IS", "ARE") and is left alone.
NameSpan dropSentences(const NameLine& line, NameSpan span);
// A name that ends in a street word ("Market Street", "Woodhouse Lane", "Oak Ave.") where an
// address stands names a street: a place, whatever type the model gave it. An address stands there
// when a house number comes before the name (then also a name ending in "Way", "Close", "Place"
// ...), a comma or a number right after it, when the name is its line alone, or when a word such as
// "on" or "at" comes before it. Elsewhere a show, a song or a person is named so ("Coronation
// Street", "Diane Lane"). Outside English text, a name after a street word that comes first ("rue
// du Docteur Finlay", "avenue Victor Hugo", "Via Giuseppe Verdi") names the street too.
NameSpan streetsArePlaces(const NameLine& line, NameSpan span);
// An organisation of two words or more whose last word, with a capital, names a landform, a water
// or a park is a place: "Beverly Hills", "Danube Delta", "West Indies", "Royal National Park".
NameSpan landformsArePlaces(const NameLine& line, NameSpan span);
// A town before a comma and the postal code of a US state or Canadian province, at the end of the
// line or before a ZIP or postcode ("Portland, OR", "CHICAGO, IL 60610", "Toronto, ON M5V 2T6"),
// is a place, whatever type the model gave it.
NameSpan townsBeforeStateCodesArePlaces(const NameLine& line, NameSpan span);
// Its brackets are balanced: "Lille (Nord)" takes the closing bracket that follows it, and a name
// that would end inside a bracket, or close one it never opened, ends before it.
NameSpan balanceBrackets(const NameLine& line, NameSpan span);
// Punctuation left at its end goes, but for a bracket that closes one opened inside the name, the
// point of an abbreviation that ends it ("Washington, D.C.", "Cal Ripken Jr.") and, in German,
// the point of a ruler's number ("Johannes Paul II.", "Wilhelm II.").
NameSpan trimTrailingPunctuation(const NameLine& line, NameSpan span);

// In English running text (or text of no known language), a name found across a word that
// stands between names ("at", "in", "beat", "said": "Zimbabwe Open at the par-72 Chapman Golf
// Club") is two names: the word and the small words after it are no part of either. Applied to
// the labels of a line before the rules below.
void splitNamesAtSmallWords(const NameLine& line, std::vector<NameLabel>& labels);

using NameSpanRule = NameSpan (*)(const NameLine& line, NameSpan span);
// The rules above in the order the tagger applies them.
std::span<const NameSpanRule> nameSpanRules();

}  // namespace marrowfen::entities
