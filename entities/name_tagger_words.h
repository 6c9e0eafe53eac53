// Word lists of the name tagger's corrections to its model, all lower-case.
#pragma once

#include <string_view>
#include <unordered_set>

namespace marrowfen::entities::tagger_words {

// Titles written before a person's name ("Ms. Li Wei").
const std::unordered_set<std::string_view>& personalTitles();
const std::unordered_set<std::string_view>& formsOfAddress();
// Offices, ranks and titles of rule written before a person's name ("President", "Emperor").
const std::unordered_set<std::string_view>& offices();
// Words that stand with an office in its name ("Prime Minister", "Secretary of State").
const std::unordered_set<std::string_view>& officeWords();
// Small words that open or join a person's name ("de Meza", "van Gogh").
const std::unordered_set<std::string_view>& nameParticles();
// Last words of the names of events and periods ("World Cup", "Trojan War", "Bronze Age").
const std::unordered_set<std::string_view>& eventWords();
// Last words of the names of landforms, waters and parks ("Beverly Hills", "Danube Delta").
const std::unordered_set<std::string_view>& landformWords();
// Kinds of works named before their titles in English ("the film", "the album").
const std::unordered_set<std::string_view>& kindsOfWorks();
// First words of the names of events before "of" ("Treaty of Nanking", "Battle of Marengo").
const std::unordered_set<std::string_view>& eventHeads();
// Events and periods named by one word ("Olympics", "Renaissance").
const std::unordered_set<std::string_view>& eventsAlone();
// Academic degrees as written before a subject ("B.Sc. Computer Science"), without a final dot.
const std::unordered_set<std::string_view>& academicDegrees();
// Salutations of a letter that stand alone before a name ("Dear", "Liebe", "Chère").
const std::unordered_set<std::string_view>& salutations();
// The second word of the German salutation "Sehr geehrte(r)" / "Sehr verehrte(r)".
const std::unordered_set<std::string_view>& salutationsAfterSehr();
// Closing formulas of a letter, before its signature, their words joined by one space.
const std::unordered_set<std::string_view>& letterClosings();
// Words of thanks and of asking, which courtesy lines are made of ("Thank You & Come Again",
// "Please Come Again", "Terima Kasih", "Danke Schön").
const std::unordered_set<std::string_view>& courtesyWords();
const std::unordered_set<std::string_view>& phoneLabels();
const std::unordered_set<std::string_view>& registryLabels();
const std::unordered_set<std::string_view>& institutionWords();
const std::unordered_set<std::string_view>& documentWords();
// English verbs of being and having, auxiliaries and the negation: the words that make a run of
// capitalised words a sentence ("Goods Sold Are Not Returnable", "Did We Smile At You").
const std::unordered_set<std::string_view>& sentenceWords();

// Legal forms that end a firm's name ("bhd", "gmbh", "plc").
const std::unordered_set<std::string_view>& legalForms();
// Punctuation that joins the words of a firm's name ("&", "(", "/").
const std::unordered_set<std::string_view>& nameJoiners();
// Small words inside a firm's name ("Bank of Scotland plc").
const std::unordered_set<std::string_view>& smallNameWords();
// Small words that stand between two names, never inside one, in English running text.
const std::unordered_set<std::string_view>& wordsBetweenNames();
// Words that stand before a firm's name in a line ("paid to", "von").
const std::unordered_set<std::string_view>& wordsBeforeFirm();
// Last words of a trade name in capitals ("... TRADING").
const std::unordered_set<std::string_view>& tradeNameEnds();
// First words of a trade name of Malay shops in capitals ("RESTORAN ...").
const std::unordered_set<std::string_view>& tradeNameStarts();

// Column words of a price list's heading ("QTY", "U.PRICE", "TOTAL").
const std::unordered_set<std::string_view>& priceColumns();
// Street words of the languages that write them first ("jalan", "taman").
const std::unordered_set<std::string_view>& streetWordsFirst();
// Street words written after the street's name ("road", "lane").
const std::unordered_set<std::string_view>& streetWordsLast();
// Street words that end a street's name and hardly anything else's ("street", "road", "ave").
const std::unordered_set<std::string_view>& streetWordsEnding();
// Street words of the languages that write them before the street's name, in small letters
// ("rue", "avenue", "via", "calle", "rua").
const std::unordered_set<std::string_view>& streetWordsLeading();
// Small words between a leading street word and the street's name ("du", "de", "la", "del").
const std::unordered_set<std::string_view>& streetJoiners();
// Keys of the fields of contact details, in the languages of documents ("tel", "teléfono",
// "indirizzo", "anschrift", and every word that labels an address field), without a trailing point.
const std::unordered_set<std::string_view>& contactFieldKeys();
// Words of a receipt's own headings and greetings ("receipt", "invoice", "welcome").
const std::unordered_set<std::string_view>& receiptHeadings();
// Abbreviations that end names, written with a point ("jr", "ltd", "inc").
const std::unordered_set<std::string_view>& nameEndingAbbreviations();
// Months' names and their abbreviations in English ("february", "feb", "sept").
const std::unordered_set<std::string_view>& monthNames();
// Words that place something on a street before the street's name ("on", "at").
const std::unordered_set<std::string_view>& wordsBeforeStreet();
// The postal codes of the US states and Canadian provinces, in capitals ("CA", "IL", "ON").
const std::unordered_set<std::string_view>& stateCodes();

// English adjectives of nations, regions, peoples, languages and religions ("russian",
// "european", "muslim"); most also name a person ("a Russian").
const std::unordered_set<std::string_view>& nationalities();
// Peoples whose plural is not the adjective with an "s" ("britons", "swedes", "jews").
const std::unordered_set<std::string_view>& peoples();
// Words of regions that stand before a nationality ("south", "central", "native").
const std::unordered_set<std::string_view>& regionWords();
// Words naming a person by the state they belong to, after a nationality ("British citizen",
// "French national", "ressortissant").
const std::unordered_set<std::string_view>& citizenWords();
// Adjectives of political camps that name no party before a noun ("the Republican convention",
// "Socialist deputies"), unlike the party's name ("Republican Party"). "Liberal" and
// "Conservative" stay out: parties are called so ("a Liberal member" of the Liberal Party).
const std::unordered_set<std::string_view>& politicalAdjectives();
// Nouns of kinds of bodies that follow a nationality in running text without naming one ("the
// Chinese company", "Turkish authorities", "the Dutch bank").
const std::unordered_set<std::string_view>& kindsOfBodies();
// Whether a word in small letters names a nationality or people: a word of the two lists above,
// or an adjective in "-an" or "-i" with an "s" ("russians", "israelis").
bool isNationalityWord(std::string_view lower);

}  // namespace marrowfen::entities::tagger_words
