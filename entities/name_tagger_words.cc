#include "entities/name_tagger_words.h"

#include <string>
#include <vector>

#include "common/unicode.h"
#include "entities/detector_common.h"

namespace marrowfen::entities::tagger_words {

#define MARROWFEN_TAGGER_WORDS(name, ...)                               \
  const std::unordered_set<std::string_view>& name() {                  \
    static const std::unordered_set<std::string_view> set{__VA_ARGS__}; \
    return set;                                                         \
  }

// clang-format off
MARROWFEN_TAGGER_WORDS(personalTitles,
  "mr", "mrs", "ms", "miss", "mx", "dr", "prof", "professor", "herr", "frau", "mme", "mlle", "dhr",
  "mevr", "shri", "smt", "sri", "kumari", "ppa", "mevrouw", "meneer", "monsieur", "madame",
  "mademoiselle", "señor", "señora", "señorita", "sr", "sra", "srta", "signor", "signora", "sig",
  "dott", "dott.ssa", "avv", "attn", "sir", "dame", "lord")
// The forms of address among them, which name a person whatever follows ("Ms Jane Citizen");
// not the titles of degrees and callings, which firms and brands take too ("Dr. Oetker"), nor
// "Miss" ("Miss World") and "Sri" ("Sri Lanka").
MARROWFEN_TAGGER_WORDS(formsOfAddress,
  "mr", "mrs", "ms", "mx", "herr", "frau", "mme", "mlle", "dhr", "mevr", "mevrouw", "meneer",
  "monsieur", "madame", "mademoiselle", "señor", "señora", "señorita", "sr", "sra", "srta",
  "signor", "signora", "smt", "shri", "kumari")
// Words that open the names of public bodies and institutions, never a person's.
MARROWFEN_TAGGER_WORDS(institutionWords,
  "ministry", "ministerio", "ministère", "ministero", "ministerium", "ministerie", "department",
  "departamento", "département", "dipartimento", "ayuntamiento", "mairie", "préfecture", "comune",
  "gemeente", "municipality", "municipio", "município", "prefeitura", "university", "universidad",
  "université", "università", "universität", "universiteit", "universidade", "hospital",
  "hôpital", "ospedale", "krankenhaus", "ziekenhuis", "embassy", "embajada", "ambassade",
  "botschaft", "consulate", "consulado", "consulat", "konsulat", "bundesamt", "landesamt",
  "stadtverwaltung", "agenzia", "agencia", "agence", "agency", "registry", "tribunal", "urząd",
  "gmina", "starostwo", "úřad", "magistrát", "kommune", "kommun", "rathaus", "standesamt",
  "finanzamt", "bezirksamt", "jobcenter")
// Words that open the titles of documents, never a person's name.
MARROWFEN_TAGGER_WORDS(documentWords,
  "certificate", "certificado", "certificat", "certificato", "certidão", "certificaat",
  "attestation", "atestado", "attestato", "extrait", "acte", "uittreksel", "bescheinigung",
  "urkunde", "geburtsurkunde", "heiratsurkunde", "sterbeurkunde", "zeugnis", "diploma", "diplôme",
  "diplom", "passport", "pasaporte", "passeport", "reisepass", "paspoort", "licence", "license",
  "statement", "invoice", "factura", "facture", "rechnung", "receipt", "recibo", "reçu", "report",
  "summary", "transcript")
// Words that label a firm's or a person's registry or tax number before it: "SIRET 123 456 789
// 00012", "UID Nr.: DE812706034", "GST No: 0004", "KvK 12345678".
MARROWFEN_TAGGER_WORDS(registryLabels,
  "siret", "siren", "tva", "vat", "gst", "sst", "uid", "ust", "ust-idnr", "kvk", "btw", "nif",
  "cif", "nie", "abn", "acn", "ein", "tin", "pan", "iban", "bic", "swift", "ssn", "nino")
// Words that label a telephone number before it: "Tel (602) 251-8100", "HP 012-345 6789".
MARROWFEN_TAGGER_WORDS(phoneLabels,
  "tel", "tél", "tlf", "telephone", "téléphone", "teléfono", "telefono", "telefone", "telefon",
  "telefoon", "phone", "ph", "mobile", "mob", "mobil", "móvil", "movil", "cell", "portable",
  "handy", "fax", "hp", "whatsapp")
MARROWFEN_TAGGER_WORDS(offices,
  "king", "queen", "emperor", "empress", "prince", "princess", "president", "vice-president",
  "secretary-general", "director-general",
  "governor", "general", "senator", "minister", "chancellor", "premier", "mayor", "pope", "sultan",
  "sheikh", "archbishop", "bishop", "cardinal", "colonel", "captain", "lieutenant", "sergeant",
  "admiral", "marshal", "judge", "secretary", "ambassador", "commissioner", "chairman", "duke",
  "duchess", "earl", "baron", "tsar", "czar", "shah", "emir", "ayatollah", "rabbi", "reverend",
  "rev", "gen", "col", "capt", "lt", "sgt", "gov", "sen", "pres")
MARROWFEN_TAGGER_WORDS(officeWords,
  "prime", "deputy", "vice", "acting", "lord", "holy", "roman", "chief", "crown", "grand",
  "attorney", "foreign", "defence", "defense", "finance", "interior", "state", "justice", "health",
  "education", "labor", "labour", "trade", "home", "economy", "first", "of", "the",
  // The state or body an office serves, named in general: "President of the Republic" names
  // no place, "President of the Republic of Kenya" names Kenya.
  "republic", "kingdom", "realm", "nation", "commonwealth", "empire", "union", "federation",
  "government", "country", "council", "assembly", "senate", "parliament", "court", "house")
MARROWFEN_TAGGER_WORDS(politicalAdjectives,
  "democratic", "republican", "socialist", "communist", "separatist", "islamist", "marxist",
  "maoist", "leninist", "fascist")
MARROWFEN_TAGGER_WORDS(kindsOfBodies,
  "company", "companies", "firm", "firms", "group", "groups", "bank", "banks", "government",
  "authorities", "police", "military", "forces", "troops", "team", "side", "squad", "officials",
  "media", "press")
MARROWFEN_TAGGER_WORDS(eventWords,
  "war", "wars", "revolution", "olympics", "olympiad", "games", "cup", "championship",
  "championships", "open", "masters", "prix", "marathon", "tournament", "trophy", "festival",
  "expo", "crisis", "uprising", "rebellion", "revolt", "massacre", "age", "ages", "era", "period",
  "awards", "prize", "universiade", "crusade", "crusades", "treaty", "inquisition", "award",
  "medal", "accords")
MARROWFEN_TAGGER_WORDS(landformWords,
  "hill", "hills", "mountain", "mountains", "alps", "highlands", "island", "islands", "isles",
  "indies", "archipelago", "sea", "ocean", "bay", "gulf", "strait", "straits", "channel",
  "peninsula", "coast", "valley", "delta", "desert", "canyon", "lake", "lakes", "river", "falls",
  "glacier", "reef", "plateau", "plains", "basin", "forest", "park")
MARROWFEN_TAGGER_WORDS(kindsOfWorks,
  "film", "films", "movie", "novel", "novels", "novella", "book", "books", "album", "albums",
  "song", "songs", "single", "opera", "musical", "sitcom", "documentary", "poem", "painting",
  "memoir", "ballet", "symphony", "mixtape", "ep")
// The first word of an event's name before "of": "Treaty of Nanking", "Battle of Marengo".
MARROWFEN_TAGGER_WORDS(eventHeads,
  "treaty", "treaties", "battle", "siege", "war", "wars", "reign", "sack", "massacre", "peace",
  "edict")
MARROWFEN_TAGGER_WORDS(eventsAlone,
  "olympics", "olympiad", "renaissance", "reformation", "holocaust", "universiade", "crusades",
  // decades as periods ("the Sixties")
  "twenties", "thirties", "forties", "fifties", "sixties", "seventies", "eighties", "nineties")
MARROWFEN_TAGGER_WORDS(nameParticles,
  "de", "van", "von", "da", "di", "del", "della", "dos", "das", "du", "la", "le", "der", "den",
  "ten", "ter", "al", "el", "bin", "ibn", "zu", "y", "d'")
MARROWFEN_TAGGER_WORDS(academicDegrees,
  "b.sc", "bsc", "m.sc", "msc", "b.a", "m.a", "mba", "phd", "ph.d", "ll.b", "llb", "ll.m", "llm",
  "b.eng", "beng", "m.eng", "meng", "b.com", "bcom", "m.com", "mcom", "b.tech", "btech", "m.tech",
  "mtech", "m.phil", "mphil", "b.ed", "m.ed", "bba", "b.b.a", "m.b.a", "dipl.-ing", "dipl.-kfm")
MARROWFEN_TAGGER_WORDS(salutations,
  "dear", "dearest", "hello", "liebe", "lieber", "cher", "chère", "chers", "chères", "beste",
  "geachte", "estimado", "estimada", "estimados", "querido", "querida", "egregio", "egregia",
  "gentilissimo", "gentilissima", "spett.le", "spettabile")
MARROWFEN_TAGGER_WORDS(salutationsAfterSehr,
  "geehrte", "geehrter", "verehrte", "verehrter")
MARROWFEN_TAGGER_WORDS(letterClosings,
  "yours sincerely", "yours faithfully", "yours truly", "sincerely", "kind regards",
  "best regards", "regards", "with kind regards", "with best regards", "mit freundlichen grüßen",
  "mit freundlichen grüssen", "freundliche grüße", "viele grüße", "beste grüße",
  "hochachtungsvoll", "cordialement", "bien cordialement", "salutations distinguées",
  "met vriendelijke groet", "met vriendelijke groeten", "hoogachtend")
MARROWFEN_TAGGER_WORDS(courtesyWords,
  "thank", "thanks", "thankyou", "please", "pls", "kasih", "danke", "merci", "gracias", "grazie",
  "obrigado", "obrigada", "bedankt", "bitte")
MARROWFEN_TAGGER_WORDS(sentenceWords,
  "are", "is", "was", "were", "been", "not", "did", "does", "must", "should", "would",
  "could", "shall", "have", "has")

MARROWFEN_TAGGER_WORDS(legalForms,
  "bhd", "ltd", "limited", "gmbh", "inc", "llc", "plc", "corp", "corporation", "pty", "sarl", "bv",
  "nv", "s.a", "ag", "kg", "ohg", "mbh", "llp", "lda", "s.p.a", "srl", "s.r.l", "oy", "a/s")
MARROWFEN_TAGGER_WORDS(nameJoiners,
  "&", "'", "-", ".", "/", "(", ")", "+")
MARROWFEN_TAGGER_WORDS(smallNameWords,
  "of", "and", "de", "der", "und", "et", "en", "van", "du", "des")
MARROWFEN_TAGGER_WORDS(wordsBetweenNames,
  "at", "in", "by", "from", "with", "to", "against", "beat", "beats", "v", "vs", "after",
  "before", "during", "since", "when", "while", "said", "says", "near", "into", "over", "than",
  "as", "was", "is", "were", "are", "has", "had", "have", "who", "which", "where")
MARROWFEN_TAGGER_WORDS(wordsBeforeFirm,
  "to", "from", "by", "at", "for", "the", "with", "in", "on", "is", "was", "pay", "paid",
  "payable", "sold", "bill", "billed", "issued", "welcome", "ke", "dari", "oleh", "kepada", "an",
  "von", "bei", "für", "à", "chez", "par", "pour", "aan", "door", "voor", "bij")
MARROWFEN_TAGGER_WORDS(tradeNameEnds,
  "enterprise", "enterprises", "trading", "traders")
MARROWFEN_TAGGER_WORDS(tradeNameStarts,
  "restoran", "kedai", "syarikat", "pasaraya", "toko", "warung")

MARROWFEN_TAGGER_WORDS(priceColumns,
  "qty", "quantity", "amount", "amt", "price", "total", "subtotal", "tax", "item", "items",
  "description", "rm", "unit", "disc", "discount", "gst", "sst", "vat", "code", "rate")
MARROWFEN_TAGGER_WORDS(streetWordsFirst,
  "jalan", "jln", "lorong", "lrg", "persiaran", "lebuh", "lebuhraya", "taman", "tmn")
MARROWFEN_TAGGER_WORDS(streetWordsLast,
  "street", "road", "lane", "avenue", "drive", "way", "close", "crescent", "place", "square",
  "terrace")
MARROWFEN_TAGGER_WORDS(streetWordsEnding,
  "street", "st", "road", "rd", "lane", "ln", "avenue", "ave", "boulevard", "blvd", "highway",
  "hwy", "parkway", "pkwy")
MARROWFEN_TAGGER_WORDS(streetWordsLeading,
  "ul", "ulica", "aleja", "plac", "av",
  "rue", "avenue", "av.", "boulevard", "bd", "place", "allée", "chemin", "impasse", "quai",
  "via", "viale", "piazza", "corso", "largo", "calle", "avenida", "avda", "plaza",
  "paseo", "carrera", "rua", "travessa", "praça", "alameda")
MARROWFEN_TAGGER_WORDS(streetJoiners,
  "de", "du", "des", "la", "le", "les", "d'", "del", "della", "delle", "dei", "di", "da", "do",
  "dos", "das", "l'")
namespace {  // the keys of contact fields but for the words that label an address
MARROWFEN_TAGGER_WORDS(contactFieldWords,
  "tel", "tél", "telephone", "téléphone", "teléfono", "telefono", "telefone", "telefon", "telefoon",
  "phone", "mobile", "mobil", "móvil", "movil", "cell", "cel", "portable", "handy", "fax", "email",
  "e-mail", "mail", "courriel", "domicile", "residencia", "residenza", "straße", "strasse", "rue",
  "calle", "via", "ort", "plz", "cp", "cap", "web", "website", "homepage", "contact", "kontakt",
  "contacto", "contatto", "e")
}  // namespace
MARROWFEN_TAGGER_WORDS(receiptHeadings,
  "receipt", "invoice", "tax", "sales", "cash", "bill", "copy", "customer", "welcome", "official",
  "simplified", "order", "duplicate", "reprint", "transaction", "merchant", "statement",
  "quotation", "delivery", "note", "total", "table", "check", "ticket", "kassenbon", "rechnung",
  "quittung", "bon", "facture", "reçu", "ticket", "kassabon", "factuur", "bonnetje")
MARROWFEN_TAGGER_WORDS(nameEndingAbbreviations,
  "jr", "sr", "jnr", "snr", "ltd", "inc", "co", "corp", "bros", "cie", "mfg")
MARROWFEN_TAGGER_WORDS(monthNames,
  "january", "february", "march", "april", "may", "june", "july", "august", "september",
  "october", "november", "december", "jan", "feb", "mar", "apr", "jun", "jul", "aug", "sep",
  "sept", "oct", "nov", "dec")
MARROWFEN_TAGGER_WORDS(wordsBeforeStreet,
  "on", "at", "in", "off", "along", "via")
MARROWFEN_TAGGER_WORDS(stateCodes,
  "AL", "AK", "AZ", "AR", "CA", "CO", "CT", "DE", "DC", "FL", "GA", "HI", "ID", "IL", "IN", "IA",
  "KS", "KY", "LA", "ME", "MD", "MA", "MI", "MN", "MS", "MO", "MT", "NE", "NV", "NH", "NJ", "NM",
  "NY", "NC", "ND", "OH", "OK", "OR", "PA", "RI", "SC", "SD", "TN", "TX", "UT", "VT", "VA", "WA",
  "WV", "WI", "WY", "AB", "BC", "MB", "NB", "NL", "NS", "NT", "NU", "ON", "PE", "QC", "SK", "YT")
MARROWFEN_TAGGER_WORDS(nationalities,
  "aboriginal", "afghan", "african", "albanian", "algerian", "american", "andalusian", "anglican",
  "angolan", "arab", "arabian", "arabic", "argentine", "argentinian", "armenian", "asian",
  "assyrian", "australian", "austrian", "azerbaijani", "babylonian", "bahraini", "balkan",
  "baltic", "bangladeshi", "basque", "bavarian", "belarusian", "belgian", "bolivian", "bosnian",
  "brazilian", "british", "buddhist", "bulgarian", "burmese", "byzantine", "californian",
  "cambodian", "cameroonian", "canadian", "caribbean", "catalan", "catholic", "celtic", "chechen",
  "chilean", "chinese", "christian", "colombian", "congolese", "croatian", "cuban", "cypriot",
  "czech", "danish", "dutch", "ecuadorian", "egyptian", "english", "eritrean", "estonian",
  "ethiopian", "european", "filipino", "finnish", "flemish", "french", "georgian", "german",
  "germanic", "ghanaian", "greek", "guatemalan", "haitian", "hebrew", "hindu", "hispanic",
  "honduran", "hungarian", "icelandic", "indian", "indonesian", "iranian", "iraqi", "irish",
  "islamic", "israeli", "italian", "ivorian", "jamaican", "japanese", "jewish", "jordanian",
  "kazakh", "kenyan", "korean", "kosovar", "kurdish", "kuwaiti", "latvian", "lebanese",
  "liberian", "libyan", "lithuanian", "macedonian", "malaysian", "maltese", "mexican", "moldovan",
  "mongolian", "montenegrin", "moroccan", "mozambican", "muslim", "namibian", "nepalese",
  "nepali", "nicaraguan", "nigerian", "nordic", "norwegian", "pakistani", "palestinian",
  "panamanian", "paraguayan", "persian", "peruvian", "polish", "portuguese", "protestant",
  "prussian", "qatari", "roman", "romanian", "russian", "rwandan", "saudi", "scandinavian",
  "scottish", "senegalese", "serbian", "shiite", "sikh", "singaporean", "slavic", "slovak",
  "slovenian", "somali", "spanish", "sudanese", "sunni", "swedish", "swiss", "syrian",
  "taiwanese", "tanzanian", "thai", "tibetan", "tunisian", "turkish", "ugandan", "ukrainian",
  "uruguayan", "uzbek", "venezuelan", "vietnamese", "welsh", "yemeni", "zambian", "zimbabwean")
MARROWFEN_TAGGER_WORDS(regionWords,
  "north", "south", "east", "west", "northern", "southern", "eastern", "western", "central",
  "native", "ancient", "latin")
MARROWFEN_TAGGER_WORDS(citizenWords,
  "citizen", "citizens", "national", "nationals", "subject", "subjects", "citoyen", "citoyenne",
  "ressortissant", "staatsangehöriger", "staatsbürger", "staatsbürgerin", "ciudadano",
  "ciudadana", "cittadino", "cittadina", "onderdaan")
MARROWFEN_TAGGER_WORDS(peoples,
  "arabs", "aborigines", "britons", "buddhists", "catholics", "croats", "cypriots", "czechs",
  "danes", "filipinos", "finns", "greeks", "hindus", "jews", "kazakhs", "kurds", "maori", "poles",
  "protestants", "scots", "serbs", "shiites", "sikhs", "slovaks", "swedes", "turks", "uzbeks",
  "inuit")
// clang-format on

bool isNationalityWord(std::string_view lower) {
  if (nationalities().count(lower) > 0 || peoples().count(lower) > 0) return true;
  // "Balkans" is the region, not its people.
  if (lower.size() < 4 || lower.back() != 's' || lower == "balkans") return false;
  const std::string_view one = lower.substr(0, lower.size() - 1);
  return (one.ends_with("an") || one.ends_with("i")) && nationalities().count(one) > 0;
}

#undef MARROWFEN_TAGGER_WORDS

const std::unordered_set<std::string_view>& contactFieldKeys() {
  // The words that label an address field are the address detector's own.
  static const std::vector<std::string> labels = [] {
    std::vector<std::string> words;
    for (const std::u16string_view w : detector::kAddressLabelWords) words.push_back(toUtf8(w));
    return words;
  }();
  static const std::unordered_set<std::string_view> keys = [] {
    std::unordered_set<std::string_view> all = contactFieldWords();
    all.insert(labels.begin(), labels.end());
    return all;
  }();
  return keys;
}

}  // namespace marrowfen::entities::tagger_words
