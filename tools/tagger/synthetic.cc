#include "tools/tagger/synthetic.h"

#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <array>
#include <fstream>
#include <string_view>

#include "entities/model/perceptron_model.h"

namespace marrowfen::tagger {
namespace {

// A part of a line: text, and the name type it is (0 none, 1 person, 2 organisation, 3 place).
struct Piece {
  std::string text;
  int type = 0;
};

std::vector<std::string> readLines(const std::string& path) {
  std::vector<std::string> out;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) out.push_back(line);
  }
  return out;
}

uint64_t hashOf(std::string_view s) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : s) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h ^ (h >> 29);
}

std::string upper(std::string_view s) {
  icu::UnicodeString u =
      icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
  u.toUpper(icu::Locale::getRoot());
  std::string out;
  u.toUTF8String(out);
  return out;
}

class Generator {
 public:
  Generator(const NameLists& lists, std::mt19937_64& rng, bool receiptLines, bool newsLines,
            bool otherNames)
      : l_(lists),
        rng_(rng),
        receiptLines_(receiptLines),
        newsLines_(newsLines),
        otherNames_(otherNames) {}

  Sentence line() {
    pieces_.clear();
    capitals_ = false;
    asWritten_ = false;
    if (receiptLines_ && chance(8)) {
      receiptLine();
      return render();
    }
    if (newsLines_ && chance(8)) {
      newsLine();
      return render();
    }
    const int r = uniform(100);
    if (r < 6) {
      numberedField();
    } else if (r < 56) {
      field();
      if (uniform(100) < 15) {  // two fields on one line, as on cards
        pieces_.push_back({"  ", 0});
        field();
      }
    } else if (r < 74) {
      statement();
    } else if (r < 82) {
      noNameField();
    } else if (r < 91) {
      addressLine();
    } else if (r < 93) {
      text(jobTitle());
    } else {
      heading();
    }
    return render();
  }

 private:
  int uniform(int n) {
    return static_cast<int>(std::uniform_int_distribution<int>(0, n - 1)(rng_));
  }
  bool chance(int percent) { return uniform(100) < percent; }
  template <class T>
  const T& pick(const std::vector<T>& v) {
    return v[static_cast<size_t>(uniform(static_cast<int>(v.size())))];
  }
  std::string_view pickView(std::initializer_list<std::string_view> v) {
    return *(v.begin() + uniform(static_cast<int>(v.size())));
  }

  std::string first() { return l_.firstNames.empty() ? "Anna" : pick(l_.firstNames); }
  std::string last() { return l_.lastNames.empty() ? "Smith" : pick(l_.lastNames); }
  std::string city() { return l_.cities.empty() ? "Lyon" : pick(l_.cities); }
  std::string country() { return l_.countries.empty() ? "France" : pick(l_.countries); }

  static void joinTo(std::string& s, char sep, const std::string& more) {
    s.push_back(sep);
    s.append(more);
  }
  std::string lastName() {
    std::string s = last();
    const int r = uniform(100);
    if (r < 8)
      joinTo(s, '-', last());
    else if (r < 11)
      s = std::string(pickView({"van", "van der", "de", "von", "van den", "di", "da"})) + " " + s;
    else if (r < 13)
      s = std::string(pickView({"O'", "Mac", "Mc", "D'"})) + s;
    return s;
  }
  std::string givenNames() {
    std::string s = first();
    if (chance(25))
      joinTo(s, ' ', first());
    else if (chance(6))
      joinTo(s, '-', first());
    return s;
  }
  std::string person() {
    const int r = uniform(100);
    if (r < 55) return givenNames() + " " + lastName();
    if (r < 70) return lastName() + ", " + givenNames();
    if (r < 80) return lastName() + " " + givenNames();
    if (r < 88) return first() + " " + std::string(1, upper(first()).front()) + ". " + lastName();
    return lastName();
  }
  std::string org() {
    static const std::vector<std::string> kNouns = {
        "Consulting", "Logistik",   "Bau",           "Solutions", "Partners",
        "Holding",    "Medical",    "Transport",     "Software",  "Immobilien",
        "Trading",    "Services",   "Versicherung",  "Energie",   "Technologies",
        "Industries", "Assurances", "Verzekeringen", "Handel",    "Systems"};
    static const std::vector<std::string> kDepts = {
        "the Interior", "Foreign Affairs", "Justice", "Health", "Education",
        "Transport",    "Home Affairs",    "Finance", "Labour", "Defence"};
    const std::string suffix = l_.orgSuffixes.empty() ? "GmbH" : pick(l_.orgSuffixes);
    switch (uniform(32)) {
      case 30:
      case 31:  // a people or region and a trade: "British Gas", "Northern Rail"
        return std::string(
                   pickView({"British", "German", "French", "Dutch", "European", "American",
                             "Scottish", "Northern", "Southern", "Western", "Eastern", "Royal",
                             "Thames", "Anglian", "Deutsche", "Rheinische", "Nationale"})) +
               " " +
               std::string(pickView({"Gas", "Airways", "Telecom", "Rail", "Water", "Power",
                                     "Energy", "Petroleum", "Steel", "Mail", "Lines", "Bahn",
                                     "Post", "Bank", "Insurance"}));
      case 0:
        return last() + " " + suffix;
      case 1:
        return last() + " & " + last() + " " + suffix;
      case 2:
        return last() + " " + pick(kNouns) + " " + suffix;
      case 3:
        return "City of " + city();
      case 4:
        return city() + " City Council";
      case 5:
        return std::string(pickView({"Stadt", "Landratsamt", "Bürgeramt", "Standesamt", "Finanzamt",
                                     "Polizeipräsidium", "Sparkasse", "Agentur für Arbeit"})) +
               " " + city();
      case 6:
        return "Gemeente " + city();
      case 7:
        return std::string(pickView(
                   {"Mairie de", "Préfecture de", "Université de", "Sous-préfecture de"})) +
               " " + city();
      case 8:
        return std::string(
                   pickView({"University of", "Universität", "Universiteit", "Università di"})) +
               " " + city();
      case 9:
        return city() + " " +
               std::string(pickView({"University Hospital", "Savings Bank", "Police Department",
                                     "Chamber of Commerce", "District Court"}));
      case 10:
        return std::string(
                   pickView({"Bank of ", "Government of ", "Govt. of ", "Govt of ", "State of "})) +
               country();
      case 11:
        return "Ministry of " + pick(kDepts);
      case 12:
        return "Embassy of " + country();
      case 13:
        return country() + " Embassy";
      case 14:
        return std::string(pickView({"Federal Office for Migration and Refugees",
                                     "HM Passport Office",
                                     "Driver and Vehicle Licensing Agency",
                                     "Internal Revenue Service",
                                     "Bundesministerium des Innern",
                                     "Ministère de l'Intérieur",
                                     "Ministerie van Buitenlandse Zaken",
                                     "Bundesdruckerei",
                                     "Agence nationale des titres sécurisés",
                                     "Department of State",
                                     "Ministero dell'Interno",
                                     "Dirección General de la Policía",
                                     "Rijksdienst voor Identiteitsgegevens",
                                     "Kraftfahrt-Bundesamt",
                                     "Deutsche Rentenversicherung",
                                     "Caisse d'allocations familiales",
                                     "Income Tax Department",
                                     "Government of India",
                                     "Election Commission of India",
                                     "Unique Identification Authority of India",
                                     "Social Security Administration",
                                     "Department of Motor Vehicles",
                                     "Registrar of Births and Deaths",
                                     "Transport Department",
                                     "Passport Seva",
                                     "General Register Office",
                                     "Bundesagentur für Arbeit",
                                     "Ausländerbehörde",
                                     "Service Public",
                                     "Belastingdienst",
                                     "Sociale Verzekeringsbank",
                                     "Agenzia delle Entrate"}));
      case 15:
        return "Department of " + pick(kDepts);
      case 16:
        return last() + " " + pick(kNouns);
      case 17:
        return city() + " " + pick(kNouns) + " " + suffix;
      case 18:
        return std::string(pickView({"Amtsgericht", "Landgericht", "Tribunal de", "Rechtbank"})) +
               " " + city();
      case 19:
        return std::string(pickView({"Deutsche", "Royal", "National", "Allgemeine"})) + " " +
               pick(kNouns) + " " + suffix;
      case 20:
      case 21:
        return acronym();
      default:
        return last() + " " + suffix;
    }
  }

  // Authorities and firms as their initials ("HMPO", "DVLA", "BAMF").
  std::string acronym() {
    if (chance(40)) {
      return std::string(
          pickView({"HMPO", "DVLA",   "BAMF", "ANTS", "RDW", "UIDAI", "IRS",   "DMV",  "SSA",
                    "CAF",  "URSSAF", "AOK",  "TK",   "DRV", "SVB",   "UWV",   "ING",  "BNP",
                    "HSBC", "NHS",    "LIC",  "SBI",  "KBA", "GRO",   "USCIS", "INSEE"}));
    }
    std::string out;
    const int n = 2 + uniform(4);
    for (int k = 0; k < n; ++k) out += static_cast<char>('A' + uniform(26));
    return out;
  }

  void name(int type, std::string text) { pieces_.push_back({std::move(text), type}); }
  void text(std::string_view t) { pieces_.push_back({std::string(t), 0}); }
  // Text holding a nationality or an event (`other`, found at its first place in `t`): that part
  // is of its own type (4) when other names are trained, else all of it is O.
  void textWithOther(const std::string& t, const std::string& other) {
    const size_t at = t.find(other);
    if (!otherNames_ || other.empty() || at == std::string::npos) {
      text(t);
      return;
    }
    if (at > 0) text(t.substr(0, at));
    pieces_.push_back({other, 4});
    if (at + other.size() < t.size()) text(t.substr(at + other.size()));
  }
  // Keeps the nationality or event just drawn for textWithOther.
  std::string kept(std::string_view drawn) {
    kept_ = std::string(drawn);
    return kept_;
  }

  void place() {
    const int r = uniform(100);
    if (r < 55) {
      name(3, city());
    } else if (r < 75) {
      name(3, city());
      text(", ");
      name(3, country());
    } else if (r < 85) {
      name(3, city());
      text(" (");
      name(3, country());
      text(")");
    } else {
      name(3, country());
    }
  }

  std::string date() {
    static const std::vector<std::string> kMonths = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                     "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    const int d = 1 + uniform(28), m = 1 + uniform(12), y = 1940 + uniform(85);
    char buf[40];
    if (chance(30)) return dateInWords(d, m, y);
    switch (uniform(4)) {
      case 0:
        std::snprintf(buf, sizeof buf, "%02d.%02d.%d", d, m, y);
        break;
      case 1:
        std::snprintf(buf, sizeof buf, "%02d %s %d", d, kMonths[m - 1].c_str(), y);
        break;
      case 2:
        std::snprintf(buf, sizeof buf, "%d-%02d-%02d", y, m, d);
        break;
      default:
        std::snprintf(buf, sizeof buf, "%02d/%02d/%d", d, m, y);
        break;
    }
    return buf;
  }
  // "1er septembre 2023", "3. Februar 2025", "5 januari 2024", "January 5, 2024".
  std::string dateInWords(int d, int m, int y) {
    static const std::array<std::array<std::string_view, 12>, 4> kMonthNames = {
        {{"January", "February", "March", "April", "May", "June", "July", "August", "September",
          "October", "November", "December"},
         {"Januar", "Februar", "März", "April", "Mai", "Juni", "Juli", "August", "September",
          "Oktober", "November", "Dezember"},
         {"janvier", "février", "mars", "avril", "mai", "juin", "juillet", "août", "septembre",
          "octobre", "novembre", "décembre"},
         {"januari", "februari", "maart", "april", "mei", "juni", "juli", "augustus", "september",
          "oktober", "november", "december"}}};
    const int language = uniform(4);
    const std::string month(kMonthNames[language][m - 1]), day = std::to_string(d),
                                                           year = std::to_string(y);
    switch (language) {
      case 0:
        return chance(50) ? day + " " + month + " " + year : month + " " + day + ", " + year;
      case 1:
        return day + ". " + month + " " + year;
      case 2:
        return (d == 1 ? "1er" : day) + " " + month + " " + year;
      default:
        return day + " " + month + " " + year;
    }
  }

  std::string number() {
    std::string s;
    const int n = 6 + uniform(5);
    static constexpr std::string_view kChars = "ABCDEFGHJKLMNPRTVWXYZ0123456789";
    for (int i = 0; i < n; ++i)
      s += kChars[static_cast<size_t>(uniform(static_cast<int>(kChars.size())))];
    return s;
  }

  void key(std::string_view k) {
    const int r = uniform(100);
    std::string t(k);
    if (r < 79)
      t += ": ";
    else if (r < 86)
      t += " : ";
    else if (r < 96)
      t += " ";  // scans and OCR often lose the colon
    else
      t += ":";
    text(t);
  }

  void field() {
    static const std::vector<std::string_view> kPerson = {"Name",
                                                          "Full Name",
                                                          "Name of Holder",
                                                          "Holder",
                                                          "Father's Name",
                                                          "Mother's Name",
                                                          "Name of Father",
                                                          "Name of Mother",
                                                          "Spouse",
                                                          "Applicant",
                                                          "Patient",
                                                          "Employee",
                                                          "Account Holder",
                                                          "Issued to",
                                                          "Nom",
                                                          "Nom et prénom",
                                                          "Titulaire",
                                                          "Nom du père",
                                                          "Name / Nom",
                                                          "Name des Inhabers",
                                                          "Inhaber",
                                                          "Naam",
                                                          "Naam houder",
                                                          "Nombre",
                                                          "Nome e cognome",
                                                          "Name of Child",
                                                          "Witness",
                                                          "Signature",
                                                          "Signed",
                                                          "Contact person",
                                                          "Ehegatte",
                                                          "Name des Vaters",
                                                          "Name der Mutter",
                                                          "Policyholder",
                                                          "Versicherter",
                                                          "Bill to",
                                                          "Invoice to",
                                                          "Ship to",
                                                          "Customer",
                                                          "Client",
                                                          "Recipient",
                                                          "Empfänger",
                                                          "Destinataire",
                                                          "Kontoinhaber",
                                                          "Titulaire du compte",
                                                          "Rekeninghouder",
                                                          "Name and surname",
                                                          "Name and surname of father",
                                                          "Name and surname of mother",
                                                          "Informant"};
    static const std::vector<std::string_view> kLast = {
        "Surname",     "Last Name",      "Family Name",          "Nachname",     "Familienname",
        "Geburtsname", "Nom de famille", "Nom d'usage",          "Achternaam",   "Apellidos",
        "Cognome",     "Surname / Nom",  "Name / Surname / Nom", "Name/Surname", "Nom/Surname"};
    static const std::vector<std::string_view> kFirst = {"Given Names",
                                                         "Given Name(s)",
                                                         "First Name",
                                                         "Forenames",
                                                         "Vorname",
                                                         "Vornamen",
                                                         "Prénom",
                                                         "Prénoms",
                                                         "Voornamen",
                                                         "Voornaam",
                                                         "Nome",
                                                         "Given names / Prénoms",
                                                         "Vornamen / Given names",
                                                         "Christian Name"};
    static const std::vector<std::string_view> kPlace = {"Place of Birth",
                                                         "Place of birth",
                                                         "Birthplace",
                                                         "Country of Birth",
                                                         "Place of Issue",
                                                         "Issued at",
                                                         "City",
                                                         "Town",
                                                         "Residence",
                                                         "Country",
                                                         "Country of Residence",
                                                         "State",
                                                         "Lieu de naissance",
                                                         "Né à",
                                                         "Née à",
                                                         "Lieu de délivrance",
                                                         "Geburtsort",
                                                         "Wohnort",
                                                         "Ausstellungsort",
                                                         "Geboorteplaats",
                                                         "Plaats van afgifte",
                                                         "Woonplaats",
                                                         "Lugar de nacimiento",
                                                         "Luogo di nascita",
                                                         "Place of birth / Lieu de naissance",
                                                         "Geburtsort / Place of birth",
                                                         "Destination",
                                                         "Municipality",
                                                         "Gemeinde",
                                                         "Commune",
                                                         "Registration district",
                                                         "Sub-district",
                                                         "District",
                                                         "County",
                                                         "Province",
                                                         "Region",
                                                         "Bundesland",
                                                         "Kreis",
                                                         "Landkreis",
                                                         "Département",
                                                         "Provincie",
                                                         "Place of birth of father"};
    static const std::vector<std::string_view> kOrg = {"Issuing Authority",
                                                       "Authority",
                                                       "Issued by",
                                                       "Employer",
                                                       "Company",
                                                       "Bank",
                                                       "Institution",
                                                       "School",
                                                       "University",
                                                       "Insurer",
                                                       "Behörde",
                                                       "Ausstellende Behörde",
                                                       "Arbeitgeber",
                                                       "Autorité",
                                                       "Délivré par",
                                                       "Autorité de délivrance",
                                                       "Employeur",
                                                       "Afgegeven door",
                                                       "Autoridad",
                                                       "Autorità",
                                                       "Issuing Office",
                                                       "Registry Office",
                                                       "Firma",
                                                       "Versicherung",
                                                       "Krankenkasse",
                                                       "Insurance Company",
                                                       "Arbeitgeber / Employer",
                                                       "Authority / Autorité",
                                                       "Organisation",
                                                       "Organization",
                                                       "Club"};
    const int r = uniform(100);
    if (r < 30) {
      key(pick(kPerson));
      if (chance(12))
        text(std::string(pickView({"Mr ", "Mrs ", "Dr. ", "Herr ", "Frau ", "M. ", "Mme "})));
      name(1, person());
    } else if (r < 45) {
      key(pick(kLast));
      name(1, lastName());
    } else if (r < 57) {
      key(pick(kFirst));
      name(1, givenNames());
    } else if (r < 80) {
      key(pick(kPlace));
      place();
    } else {
      key(pick(kOrg));
      name(2, org());
      if (chance(20)) {
        text(", ");
        name(3, city());
      }
    }
  }

  // Fields numbered instead of labelled, as driving licences print them ("1. SMITH", "4c. DVLA").
  void numberedField() {
    if (chance(30)) {  // American licences print short field codes instead: "LN GARCIA", "FN MARIA"
      switch (uniform(6)) {
        case 0:
          text(pickView({"LN ", "1 ", "LN: "}));
          name(1, lastName());
          break;
        case 1:
          text(pickView({"FN ", "2 ", "FN: "}));
          name(1, givenNames());
          break;
        case 2:
          text(std::string(pickView({"DOB ", "EXP ", "ISS ", "DOB: "})) + date());
          break;
        case 3:
          text(std::string(pickView({"DL ", "ID ", "DD "})) + number());
          break;
        case 4:
          text(std::string(pickView({"CLASS ", "SEX ", "HGT ", "EYES ", "END ", "RSTR "})) +
               std::string(pickView({"C", "M", "F", "5-05", "BRN", "NONE", "A"})));
          break;
        default:
          addressLine();
          break;
      }
      return;
    }
    switch (uniform(8)) {
      case 0:
        text("1. ");
        name(1, lastName());
        break;
      case 1:
        text("2. ");
        name(1, givenNames());
        break;
      case 2:
        text("3. " + date() + " ");
        place();
        break;
      case 3:
        text(std::string(pickView({"4a. ", "4b. ", "10. ", "11. "})) + date());
        break;
      case 4:
        text(std::string(pickView({"4c. ", "4c "})));
        name(2, org());
        break;
      case 5:
        text(std::string(pickView({"4d. ", "5. ", "5 "})) + number());
        break;
      case 6:
        text("8. ");
        addressLine();
        break;
      default:
        text("9. " + std::string(pickView({"AM/A/B", "B/BE", "C1/D1", "A1 B"})));
        break;
    }
  }

  void noNameField() {
    switch (uniform(17)) {
      case 15:  // languages and nationalities spoken of as such are no names
        key(pickView({"Languages", "Language skills", "Sprachen", "Sprachkenntnisse", "Langues",
                      "Talen", "Mother tongue"}));
        for (int k = 0, n = 1 + uniform(4); k < n; ++k) {
          if (k > 0) text(pickView({", ", ", ", " and ", " und ", " et ", " / "}));
          text(pickView({"English", "German",   "French",      "Dutch",      "Italian",
                         "Spanish", "Hindi",    "Polish",      "Turkish",    "Arabic",
                         "Deutsch", "Englisch", "Französisch", "anglais",    "allemand",
                         "Engels",  "Duits",    "ENGLISH",     "Portuguese", "Mandarin"}));
          if (chance(30)) text(pickView({" (fluent)", " (native)", " C1", " B2", " (basic)"}));
        }
        break;
      case 16:  // a résumé's line of years, a role and where
        text(std::to_string(1990 + uniform(30)));
        text(pickView({" - ", " – ", "-", " to "}));
        text(chance(20) ? std::string("present") : std::to_string(1995 + uniform(30)));
        text(pickView({": ", " ", ", "}));
        if (chance(50)) {
          text(jobTitle());
        } else {
          text(pickView(
              {"B.Sc. ", "M.Sc. ", "BA ", "MA ", "PhD ", "Bachelor of ", "Master of ", "Diplom "}));
          text(pickView({"Computer Science", "Economics", "Law", "Mechanical Engineering",
                         "Nursing", "Business Administration", "Physics", "Informatik",
                         "Betriebswirtschaftslehre"}));
        }
        text(pickView({", ", " at ", " bei ", " - "}));
        name(2, org());
        if (chance(40)) {
          text(", ");
          name(3, city());
        }
        break;
      case 14:  // bank account numbers: letters run into the digits, never a name
        key(pickView({"IBAN", "BIC", "IBAN / BIC", "Account No.", "Kontonummer", "N° de compte",
                      "Rekeningnummer"}));
        text(acronym().substr(0, 2) + std::to_string(10 + uniform(90)) + " " +
             std::to_string(1000 + uniform(9000)) + " " + std::to_string(1000 + uniform(9000)) +
             " " + std::to_string(1000 + uniform(9000)) + " " + std::to_string(10 + uniform(90)));
        break;
      case 0:
        key(pickView({"Date of Birth", "Geburtsdatum", "Date de naissance", "Geboortedatum", "DOB",
                      "D.O.B.", "Date of birth / Date de naissance", "Year of Birth"}));
        text(date());
        break;
      case 1:
        key(pickView({"Sex", "Geschlecht", "Sexe", "Geslacht", "Gender"}));
        text(pickView({"M", "F", "X", "W", "Boy", "Girl", "Male", "Female", "MÄNNLICH", "weiblich",
                       "Masculin", "Féminin", "Man", "Vrouw"}));
        break;
      case 2:
        key(pickView({"Nationality", "Staatsangehörigkeit", "Nationalité", "Nationaliteit"}));
        text(pickView({"BRITISH CITIZEN", "DEUTSCH", "FRANÇAISE", "Nederlandse", "ITALIANA",
                       "GERMAN", "Française"}));
        break;
      case 3:
        key(pickView({"Passport No.", "Document No", "Card number", "Nummer", "N° du document",
                      "Documentnummer"}));
        text(number());
        break;
      case 4:
        key(pickView({"Date of Issue", "Date of Expiry", "Ausstellungsdatum", "Gültig bis",
                      "Date d'expiration", "Valid until"}));
        text(date());
        break;
      case 5:
        key(pickView({"Height", "Größe", "Taille", "Lengte"}));
        text(std::to_string(150 + uniform(50)) + " cm");
        break;
      case 6:
        key(pickView({"Eye colour", "Augenfarbe", "Couleur des yeux"}));
        text(pickView({"BROWN", "BLUE", "GRÜN", "Marron"}));
        break;
      case 7:
        key(pickView({"Type", "Code", "Class", "Klasse", "Category", "Type/Type", "Code/Code",
                      "Type / Typ", "Country code", "Code du pays"}));
        text(pickView({"P", "ID", "B", "C1E", "A", "GBR", "D", "FRA", "NLD", "IND", "USA"}));
        break;
      case 8:
        key(pickView({"Amount", "Betrag", "Montant", "Total"}));
        text(std::to_string(uniform(5000)) + ",00 EUR");
        break;
      case 9:
        key(pickView({"Telephone", "Telefon", "Tel.", "Phone"}));
        text("+49 30 " + std::to_string(1000000 + uniform(8999999)));
        break;
      case 10:
        key(pickView({"Reference", "Aktenzeichen", "Référence", "Kenmerk"}));
        text(number());
        break;
      case 11:
        key(pickView(
            {"Subject", "Re", "Objet", "Betreff", "Onderwerp", "Document", "Document type"}));
        text(documentTitle());
        break;
      case 12:
        key(pickView({"Occupation", "Designation", "Position", "Beruf", "Profession", "Beroep",
                      "Job title"}));
        text(jobTitle());
        break;
      default:
        key(pickView({"Marital status", "Familienstand", "État civil"}));
        text(pickView({"single", "LEDIG", "married", "VERHEIRATET", "célibataire"}));
        break;
    }
  }

  // Titles of documents: printed in capitals or in title case, never names.
  std::string_view documentTitle() {
    return pickView({"Passport",
                     "Reisepass",
                     "Passeport",
                     "Paspoort",
                     "Identity Card",
                     "Personalausweis",
                     "Carte nationale d'identité",
                     "Carte nationale d'identite",
                     "Driving Licence",
                     "Driver License",
                     "Führerschein",
                     "Residence Permit",
                     "Aufenthaltstitel",
                     "Titre de séjour",
                     "Verblijfsvergunning",
                     "Birth Certificate",
                     "Certificate of Birth",
                     "Geburtsurkunde",
                     "Acte de naissance",
                     "Certificate of Marriage",
                     "Marriage Certificate",
                     "Heiratsurkunde",
                     "Death Certificate",
                     "Permanent Account Number Card",
                     "Health Insurance Card",
                     "Social Security Card",
                     "Tax Identification Number",
                     "Certificate of Registration",
                     "Vehicle Registration Certificate",
                     "Meldebescheinigung",
                     "Attestation de domicile",
                     "Certificate of Residence",
                     "Employment Contract",
                     "Arbeitsvertrag",
                     "Payslip",
                     "Gehaltsabrechnung",
                     "Bulletin de paie",
                     "Bank Statement",
                     "Kontoauszug",
                     "Invoice",
                     "Rechnung",
                     "Facture",
                     "Diploma",
                     "Zeugnis",
                     "Transcript of Records",
                     "Certificate of Completion",
                     "Voter Identity Card",
                     "Electoral Photo Identity Card",
                     "Ration Card",
                     "Visa",
                     "Schengen Visa",
                     "Travel Document",
                     "Emergency Certificate",
                     "Certificate of Naturalisation",
                     "Einbürgerungsurkunde",
                     "Proof of Address",
                     "Utility Bill",
                     "Insurance Policy",
                     "Versicherungsschein",
                     "Employment Verification Letter",
                     "Letter of Employment",
                     "Salary Certificate",
                     "Arbeitsbescheinigung",
                     "Attestation de travail",
                     "Werkgeversverklaring",
                     "Uittreksel Basisregistratie Personen",
                     "Certificate of Good Conduct",
                     "Führungszeugnis",
                     "Acte de mariage",
                     "Acte de décès",
                     "Extrait d'acte de naissance",
                     "Livret de famille",
                     "Eheurkunde",
                     "Sterbeurkunde",
                     "Huwelijksakte",
                     "Geboorteakte",
                     "Akte van overlijden",
                     "Certified Copy of an Entry of Birth",
                     "Certificate of Death",
                     "Adoption Certificate",
                     "Curriculum Vitae",
                     "Lebenslauf",
                     "Resume",
                     "Résumé",
                     "Cover Letter",
                     "Bewerbung",
                     "Letter of Recommendation",
                     "Reference Letter",
                     "Arbeitszeugnis"});
  }

  // What people do, as letters print it under a signature: not names. Most are composed, of a
  // grade and a profession ("Senior Accountant") or of a field and a rank ("Customer Service
  // Manager"), so that titles never listed are known too.
  std::string jobTitle() {
    if (chance(20)) {
      return std::string(pickView({"Senior", "Junior", "Chief", "Lead", "Principal", "Assistant",
                                   "Staff", "Trainee", "Certified", "Registered"})) +
             " " +
             std::string(
                 pickView({"Accountant", "Engineer", "Nurse", "Analyst", "Developer", "Consultant",
                           "Teacher", "Clerk", "Auditor", "Architect", "Pharmacist", "Technician",
                           "Designer", "Underwriter", "Surveyor", "Paralegal", "Buyer"}));
    }
    if (chance(50)) {
      return std::string(pickView({"Customer Service",
                                   "Customer Services",
                                   "Sales",
                                   "Marketing",
                                   "Operations",
                                   "Finance",
                                   "Accounts",
                                   "Regional",
                                   "Area",
                                   "Technical",
                                   "Quality",
                                   "Payroll",
                                   "Client Relations",
                                   "Billing",
                                   "Human Resources",
                                   "Credit Control",
                                   "Admissions",
                                   "Compliance",
                                   "Logistics",
                                   "Facilities",
                                   "Research",
                                   "Claims",
                                   "Lending"})) +
             " " +
             std::string(
                 pickView({"Manager", "Director", "Advisor", "Adviser", "Officer", "Assistant",
                           "Coordinator", "Team Leader", "Team", "Representative", "Supervisor",
                           "Specialist", "Department", "Executive", "Administrator"}));
    }
    return std::string(pickView({"Senior Software Engineer",
                                 "Software Engineer",
                                 "Human Resources Manager",
                                 "HR Manager",
                                 "Head of Human Resources",
                                 "Managing Director",
                                 "Chief Executive Officer",
                                 "Chief Financial Officer",
                                 "Office Manager",
                                 "Account Manager",
                                 "Branch Manager",
                                 "Sales Director",
                                 "Project Manager",
                                 "Registrar",
                                 "Deputy Registrar",
                                 "Notary Public",
                                 "Medical Officer",
                                 "Senior Consultant",
                                 "Head of Department",
                                 "Principal",
                                 "Sachbearbeiter",
                                 "Sachbearbeiterin",
                                 "Geschäftsführer",
                                 "Personalleiterin",
                                 "Abteilungsleiter",
                                 "Standesbeamtin",
                                 "Directeur général",
                                 "Directrice des ressources humaines",
                                 "Responsable administratif",
                                 "Officier de l'état civil",
                                 "Gérant",
                                 "Teamleider",
                                 "Directeur",
                                 "Afdelingshoofd",
                                 "Ambtenaar van de burgerlijke stand"}));
  }

  // A line of a shop's receipt or invoice, mostly in capitals: the seller as a trade name with its
  // legal form ("TEO HENG STATIONERY SDN BHD", "RESTORAN WAN SHENG"), registration and tax numbers,
  // the shop's address in the Malaysian way ("NO 12, JALAN MELATI 3/4,", "43300 SERI KEMBANGAN,
  // SELANGOR"), articles with quantities and prices, totals, payment and greetings. Only the
  // seller, a cashier's name and the town and state after a postcode are names.
  // A line of a newspaper's sports and news pages, as written: rows of league tables and results
  // with the teams (named after their town, an organisation there) and scorers, placings of
  // players with their country in brackets, datelines, headings without names, and sentences
  // where a nationality or an event (never a name of the three types) stands before or among
  // names.
  void newsLine() {
    asWritten_ = true;
    const int r = uniform(100);
    if (r < 22) {
      tableRow();
    } else if (r < 42) {
      resultLine();
    } else if (r < 56) {
      placingLine();
    } else if (r < 66) {
      capitals_ = true;
      name(3, city());
      if (chance(30)) {
        text(" , ");
        name(3, country());
      }
      text(" " + std::to_string(1990 + uniform(35)) + "-" + twoDigits(1 + uniform(12)) + "-" +
           twoDigits(1 + uniform(28)));
    } else if (r < 78) {
      newsHeading();
    } else {
      nationalitySentence();
    }
  }

  static std::string twoDigits(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }
  std::string number(int below) { return std::to_string(uniform(below)); }

  std::string team() {
    std::string t = city();
    if (chance(35)) {
      t += " " + std::string(pickView({"United", "City", "Rovers", "Athletic", "Wanderers", "FC",
                                       "Town", "County", "Albion", "SC", "Sporting", "Real"}));
    }
    return t;
  }

  void tableRow() {  // "Bordeaux 20 9 7 4 25 22 34"
    if (chance(40)) text(std::to_string(1 + uniform(20)) + (chance(50) ? ". " : " "));
    name(2, team());
    for (int k = 0, n = 3 + uniform(6); k < n; ++k) text(" " + number(40));
  }

  void scorers() {  // "( Marshall 78 , Bowen 12 pen )"
    text(" ( ");
    for (int k = 0, n = 1 + uniform(3); k < n; ++k) {
      if (k > 0) text(" , ");
      name(1, chance(80) ? last() : first() + " " + last());
      text(" " + std::to_string(1 + uniform(90)));
      if (chance(10)) text(" pen");
    }
    text(" )");
  }

  void resultLine() {  // "Leicester 1 ( Marshall 78 ) Blackburn 2"
    const bool withScorers = chance(50);
    name(2, team());
    text(" " + number(6));
    if (withScorers) scorers();
    text(" ");
    name(2, team());
    text(" " + number(6));
    if (withScorers && chance(60)) scorers();
  }

  void placingLine() {  // "3. Ernie Els ( South Africa ) 69 70 72", "Anna Weber ( Austria ) beat"
    if (chance(60)) text(std::to_string(1 + uniform(30)) + ". ");
    name(1, first() + " " + last());
    text(" ( ");
    name(3, country());
    text(" ) ");
    if (chance(30)) {
      text("beat ");
      name(1, first() + " " + last());
      text(" 6-" + number(5) + " 7-" + number(6));
    } else if (chance(50)) {
      text(std::to_string(60 + uniform(15)) + " " + std::to_string(60 + uniform(15)) + " " +
           std::to_string(200 + uniform(90)));
    } else {
      text(std::to_string(1 + uniform(3)) + ":" + twoDigits(uniform(60)) + "." +
           twoDigits(uniform(100)));
    }
  }

  std::string_view nationality() {
    return pickView(
        {"Russian",       "French",     "German",     "British",   "American",  "Italian",
         "Spanish",       "Dutch",      "Belgian",    "Swiss",     "Austrian",  "Polish",
         "Czech",         "Swedish",    "Danish",     "Norwegian", "Finnish",   "Greek",
         "Turkish",       "Chinese",    "Japanese",   "Indian",    "Brazilian", "Mexican",
         "Canadian",      "Australian", "Irish",      "Scottish",  "English",   "Israeli",
         "Palestinian",   "Iraqi",      "Iranian",    "Pakistani", "Nigerian",  "Kenyan",
         "South African", "Argentine",  "Portuguese", "Hungarian", "Serbian",   "Croatian",
         "Bosnian",       "Ukrainian",  "Egyptian",   "Zimbabwean"});
  }

  void newsHeading() {  // "SOCCER - ENGLISH LEAGUE RESULTS", "Group B", "Men 's singles"
    if (chance(45)) {
      capitals_ = true;
      text(std::string(pickView({"SOCCER", "TENNIS", "GOLF", "CRICKET", "RUGBY UNION", "ATHLETICS",
                                 "CYCLING", "BASKETBALL", "MOTOR RACING"})) +
           " - " + std::string(nationality()) + " " +
           std::string(pickView({"LEAGUE RESULTS", "FIRST DIVISION", "LEAGUE STANDINGS",
                                 "CHAMPIONSHIP", "CUP RESULTS", "OPEN RESULTS", "SQUAD"})));
      return;
    }
    text(pickView({"Group B", "Group C", "Men 's singles", "Women 's singles", "Second round",
                   "Standings", "Results", "Semifinals", "Quarter-finals", "FRIDAY", "SATURDAY",
                   "SUNDAY", "Division one", "Premier division", "Leading scores", "Halftime",
                   "First innings", "Played on Saturday", "Final standings"}));
  }

  std::string_view event() {
    return pickView({"World Cup", "Olympic Games", "Grand Prix", "Open", "Masters", "Marathon",
                     "Cup final", "championship", "Games"});
  }

  void nationalitySentence() {  // "The Russian striker Oleg Petrov scored in Bremen ."
    switch (uniform(4)) {
      case 0:
        textWithOther("The " + kept(nationality()) + " " +
                          std::string(pickView({"striker ", "champion ", "minister ", "president ",
                                                "driver ", "coach ", "company "})),
                      kept_);
        name(1, first() + " " + last());
        text(std::string(pickView({" scored in ", " arrived in ", " won in ", " spoke in "})));
        name(3, city());
        text(" .");
        break;
      case 1:
        name(1, first() + " " + last());
        text(" won the ");
        // An event named after a country or town is no place.
        text((chance(50) ? country() : city()) + " " + std::string(event()));
        if (otherNames_) pieces_.back().type = 4;  // the whole event, town and all
        text(" on " + std::string(pickView({"Sunday", "Friday", "Saturday"})) + " .");
        break;
      case 2:
        textWithOther(
            kept(nationality()) + " " +
                std::string(pickView({"troops", "officials", "shares", "voters", "police"})) +
                " said on Tuesday that ",
            kept_);
        name(2, org());
        text(" had left ");
        name(3, city());
        text(" .");
        break;
      default:
        textWithOther("He told " + kept(nationality()) + " " +
                          std::string(pickView({"television", "radio", "newspapers"})) + " in ",
                      kept_);
        name(3, city());
        textWithOther(" that the " + kept(event()) + " would go ahead .", kept_);
        break;
    }
  }

  void receiptLine() {
    capitals_ = chance(80);
    const int r = uniform(100);
    if (r < 22) {
      seller();
    } else if (r < 30) {
      registration();
    } else if (r < 46) {
      localAddress();
    } else if (r < 68) {
      article();
    } else if (r < 84) {
      total();
    } else {
      receiptNote();
    }
  }

  std::string tradeWord() {
    return std::string(pickView({"Enterprise",
                                 "Trading",
                                 "Hardware",
                                 "Stationery",
                                 "Restaurant",
                                 "Bakery",
                                 "Mart",
                                 "Supermarket",
                                 "Pharmacy",
                                 "Bookstore",
                                 "Café",
                                 "Seafood Restaurant",
                                 "Electrical",
                                 "Motor",
                                 "Florist",
                                 "Optical",
                                 "Confectionery",
                                 "Marketing",
                                 "Hardware Trading",
                                 "Stationery & Books",
                                 "Cash & Carry",
                                 "Food Industries",
                                 "Services",
                                 "Store",
                                 "Minimarket",
                                 "Boutique",
                                 "Kitchen",
                                 "Tailor",
                                 "Printing",
                                 "Auto Parts",
                                 "Furniture",
                                 "Distributor",
                                 "Supply",
                                 "Agency",
                                 "Clinic",
                                 "Traders"}));
  }

  std::string localWord() {
    if (chance(30)) return last();
    return std::string(pickView(
        {"Dedap",  "Astana",     "Besar",   "Mewah",     "Permas",       "Serdang", "Mahkota",
         "Melati", "Bunga Raya", "Kenanga", "Cempaka",   "Sri Muda",     "Indah",   "Jaya",
         "Baru",   "Utama",      "Setia",   "Damai",     "Putra",        "Raja",    "Maju",
         "Murni",  "Perdana",    "Sentosa", "Bakti",     "Harmoni",      "Mutiara", "Seri",
         "Cheras", "Kepong",     "Ampang",  "Tebrau",    "Gemilang",     "Intan",   "Delima",
         "Mawar",  "Anggerik",   "Kuning",  "Tun Razak", "Sultan Ismail"}));
  }

  void seller() {
    std::string who = chance(50) ? last() : last() + " " + last();
    if (chance(20)) who = acronym();
    const int r = uniform(10);
    if (r < 3) {
      name(2, who + " " + tradeWord() + " " +
                  std::string(pickView({"Sdn Bhd", "Sdn. Bhd.", "S/B", "(M) Sdn Bhd", "Bhd",
                                        "Pte Ltd", "Co.", "Ltd", "Company"})));
    } else if (r < 6) {
      name(2, who + " " + tradeWord());
    } else if (r < 8) {
      name(2, std::string(
                  pickView({"Restoran", "Kedai", "Syarikat", "Kedai Runcit", "Kedai Makan",
                            "Pasaraya", "Kedai Ubat", "Syarikat Perniagaan", "Toko", "Warung"})) +
                  " " + who);
    } else {
      name(2, who + " " +
                  std::string(pickView({"Sdn Bhd", "Sdn. Bhd.", "S/B", "(M) Sdn Bhd", "Bhd",
                                        "Pte Ltd", "Holdings Sdn Bhd", "Group"})));
    }
    if (chance(30))
      text(" (" + std::to_string(10000 + uniform(990000)) + "-" +
           std::string(1, 'A' + uniform(26)) + ")");
  }

  void registration() {
    const std::string n =
        std::to_string(100000 + uniform(900000)) + std::to_string(100000 + uniform(900000));
    switch (uniform(5)) {
      case 0:
        text("(" + std::to_string(10000 + uniform(990000)) + "-" +
             std::string(1, 'A' + uniform(26)) + ")");
        break;
      case 1:
        text(std::string(
                 pickView({"GST ID: ", "GST NO: ", "GST REG NO : ", "SST ID: ", "TAX ID: "})) +
             n);
        break;
      case 2:
        text(std::string(pickView({"ROC NO. : ", "CO. REG NO: ", "COMPANY REG. NO. : ", "BRN: "})) +
             std::to_string(10000 + uniform(990000)) + "-" + std::string(1, 'A' + uniform(26)));
        break;
      case 3:
        text(std::string(
                 pickView({"TEL: 03-", "TEL : 07-", "TEL/FAX : 03-", "PHONE: 012-", "FAX: 03-"})) +
             std::to_string(1000 + uniform(9000)) + " " + std::to_string(1000 + uniform(9000)));
        break;
      default:
        text(std::string(
                 pickView({"DOC NO: CS", "INVOICE NO: ", "RECEIPT #: ", "BILL NO: ", "TABLE "})) +
             std::to_string(1000 + uniform(900000)));
        break;
    }
  }

  // The streets and quarters are no names here, as in the other address lines: the address is the
  // data detector's. The town and state after the postcode are places.
  void localAddress() {
    const std::string n = std::to_string(1 + uniform(200));
    const auto number = [&] {
      return std::to_string(1 + uniform(30)) +
             (chance(40) ? "/" + std::to_string(1 + uniform(60)) : "");
    };
    const std::string_view states[] = {"Selangor",
                                       "Johor",
                                       "Kuala Lumpur",
                                       "Pulau Pinang",
                                       "Perak",
                                       "Pahang",
                                       "Sarawak",
                                       "Sabah",
                                       "Kedah",
                                       "Melaka",
                                       "Negeri Sembilan",
                                       "Kelantan",
                                       "Terengganu",
                                       "Selangor Darul Ehsan",
                                       "Johor Darul Takzim",
                                       "Malaysia"};
    switch (uniform(6)) {
      case 0:
        text(std::string(pickView({"NO ", "NO. ", "NO.", "LOT ", "", "NO: "})) + n + ", " +
             std::string(pickView({"JALAN ", "JLN ", "LORONG ", "PERSIARAN ", "LEBUH "})) +
             localWord() + " " + number() + ",");
        break;
      case 1:
        text(std::string(pickView(
                 {"TAMAN ", "TMN ", "BANDAR ", "KAMPUNG ", "SEKSYEN ", "KAWASAN PERINDUSTRIAN "})) +
             localWord() + (chance(50) ? " " + localWord() : "") + ",");
        break;
      case 2: {
        text(std::to_string(10000 + uniform(89999)) + (chance(30) ? ", " : " "));
        name(3, city());
        if (chance(60)) {
          text(", ");
          name(3, std::string(states[uniform(static_cast<int>(std::size(states)))]));
        }
        break;
      }
      case 3:
        name(3, std::string(states[uniform(static_cast<int>(std::size(states)))]));
        break;
      case 4:
        text(std::string(pickView({"UNIT ", "LOT ", "G-", "NO. "})) +
             std::to_string(1 + uniform(99)) + ", " +
             std::string(pickView({"WISMA ", "MENARA ", "PLAZA ", "KOMPLEKS "})) + localWord() +
             ",");
        break;
      default:
        text(std::to_string(1 + uniform(5)) +
             std::string(pickView({"ND FLOOR, ", "RD FLR, ", "TH FLOOR, ", "F, "})) + localWord() +
             " " + std::string(pickView({"MALL", "PLAZA", "CENTRE", "SHOPPING CENTRE", "CITY"})));
        break;
    }
  }

  std::string price() {
    return std::to_string(uniform(300)) + "." + std::to_string(10 + uniform(90));
  }

  void article() {
    static const std::vector<std::string> kWords = {
        "Rice",    "Chicken", "Bread",   "Milk",   "Sugar",  "Coffee", "Tea",    "Noodle", "Egg",
        "Fish",    "Paper",   "Glue",    "Pen",    "Bag",    "Box",    "Tape",   "Bulb",   "LED",
        "Light",   "Frame",   "Pipe",    "Screw",  "Nail",   "Paint",  "Brush",  "Cable",  "Plug",
        "Towel",   "Soap",    "Shampoo", "Tissue", "Water",  "Juice",  "Cake",   "Bun",    "Roti",
        "Nasi",    "Ayam",    "Teh",     "Kopi",   "Goreng", "Ikan",   "Mee",    "Sayur",  "Susu",
        "Gula",    "Color",   "Black",   "White",  "Super",  "Mini",   "Large",  "Small",  "Fresh",
        "Sweet",   "Spicy",   "Plastic", "Steel",  "Cotton", "Square", "Twin",   "Pack",   "Set",
        "Pcs",     "A4",      "Refill",  "Cup",    "Cone",   "Sauce",  "Chilli", "Pizza",  "Burger",
        "Set Meal"};
    std::string item = pick(kWords);
    for (int k = uniform(3); k >= 0; --k) item += " " + pick(kWords);
    switch (uniform(4)) {
      case 0:
        text(item + " " + std::to_string(1 + uniform(9)) + " " + price() + " " + price() + " " +
             std::string(pickView({"SR", "S", "ZR", "T", ""})));
        break;
      case 1:
        text(std::to_string(1000000 + uniform(9000000)) + std::to_string(100000 + uniform(900000)) +
             " " + std::to_string(1 + uniform(5)) + " X " + price() + " " + price());
        break;
      case 2:
        text(item + " " + std::to_string(1 + uniform(500)) + (chance(50) ? "G" : "ML"));
        break;
      default:
        text(std::to_string(1 + uniform(9)) + " " + item + " " + price());
        break;
    }
  }

  void total() {
    text(std::string(pickView({"TOTAL",
                               "SUBTOTAL",
                               "TOTAL SALES (INCLUSIVE OF GST)",
                               "TOTAL (EXCLUDING GST)",
                               "ROUNDING",
                               "ROUNDING ADJ",
                               "CASH",
                               "CHANGE",
                               "DISCOUNT",
                               "GST 6%",
                               "SST 6%",
                               "SERVICE CHARGE 10%",
                               "NET TOTAL",
                               "TOTAL AMOUNT",
                               "TOTAL QTY",
                               "VISA",
                               "MASTERCARD",
                               "CREDIT CARD",
                               "AMOUNT DUE",
                               "GRAND TOTAL",
                               "TOTAL GST",
                               "NO. OF ITEMS",
                               "TAX AMT (S) 6%",
                               "TOTAL RM",
                               "PAID",
                               "BALANCE"})) +
         std::string(pickView({" : ", " ", ": RM ", " RM", " RM "})) + price());
  }

  void receiptNote() {
    switch (uniform(4)) {
      case 0:
        text(std::string(
            pickView({"CASHIER: ", "CASHIER : ", "SERVED BY: ", "SALESPERSON: ", "STAFF: "})));
        name(1, chance(50) ? first() : first() + " " + last());
        break;
      case 1:
        text("DATE: " + date() + " TIME: " + std::to_string(10 + uniform(12)) + ":" +
             std::to_string(10 + uniform(50)));
        break;
      default:
        text(pickView({"TAX INVOICE", "SIMPLIFIED TAX INVOICE", "CASH SALES", "CASH RECEIPT",
                       "OFFICIAL RECEIPT", "THANK YOU. PLEASE COME AGAIN",
                       "THANK YOU FOR YOUR PATRONAGE", "GOODS SOLD ARE NOT RETURNABLE",
                       "GST SUMMARY", "TAX CODE % AMT (RM) TAX (RM)", "ITEM QTY S/PRICE AMOUNT TAX",
                       "TAKE AWAY", "DINE IN", "PLEASE KEEP THIS RECEIPT", "CUSTOMER COPY",
                       "MEMBER POINTS", "CREDIT NOTE", "PRICE INCLUSIVE OF GST", "E. & O. E.",
                       "DESCRIPTION QTY PRICE AMOUNT",
                       // The same notices in Malay, as Malaysian shops print them.
                       "TERIMA KASIH", "TERIMA KASIH SILA DATANG LAGI", "SILA DATANG LAGI",
                       "SILA SIMPAN RESIT INI", "BARANG YANG DIJUAL TIDAK BOLEH DIPULANGKAN",
                       "RESIT RASMI", "RESIT CUKAI", "BUNGKUS", "MAKAN SINI"}));
        break;
    }
  }

  // A street line with its house number (the address is the data detector's; the street is not
  // a name here), a postcode line with its place, or both on one line.
  void addressLine() {
    const int r = uniform(20);
    if (r < 9) {
      streetLine();
    } else if (r < 15) {
      postcodeLine();
    } else if (r < 18) {
      streetLine();
      text(pickView({", ", " · ", " - ", " | ", " "}));
      postcodeLine();
    } else {
      indianAddress();
    }
  }

  void streetLine() {
    const std::string n = std::to_string(1 + uniform(250));
    // Streets are named after people, places and plain words alike ("Kingsway Road").
    const int named = uniform(10);
    const std::string who =
        named < 6 ? last()
        : named < 8
            ? city()
            : std::string(pickView({"Kingsway", "Victoria", "Queens", "Oak", "Mill", "Green",
                                    "Park", "Bridge", "North", "West", "Albert", "Hill", "Meadow",
                                    "Springfield", "Chapel", "Orchard", "Market", "Linden"}));
    switch (uniform(8)) {
      case 0:
        text(n + " rue " +
             std::string(
                 pickView({"de la République", "Victor Hugo", "du Général Leclerc", "de Paris"})));
        break;
      case 1:
        text(n + " " + std::string(pickView({"rue", "avenue", "boulevard", "place"})) + " " + who);
        break;
      case 2:
        text(who + std::string(pickView({"straße", "str.", "weg", "platz", "allee"})) + " " + n);
        break;
      case 3:
        text(std::string(pickView({"Haupt", "Bahnhof", "Schiller", "Goethe", "Linden", "Markt"})) +
             std::string(pickView({"straße", "platz", "weg"})) + " " + n);
        break;
      case 4:
        text(n + " " + who + " " +
             std::string(pickView({"Street", "Road", "Lane", "Avenue", "Close", "Drive"})));
        break;
      case 5:
        text(n + " " +
             std::string(pickView(
                 {"High Street", "Station Road", "Church Lane", "Main Street", "Park Avenue"})));
        break;
      case 6:
        text(who + std::string(pickView({"laan", "straat", "weg", "plein", "gracht"})) + " " + n);
        break;
      default:
        text(std::string(pickView({"Flat ", "Apt. ", "Wohnung ", "Bât. ", "Unit "})) + n + ", " +
             who + " " +
             std::string(pickView({"House", "Court", "Residency", "Apartments", "Business Park"})));
        break;
    }
  }

  void postcodeLine() {
    switch (uniform(6)) {
      case 0: {  // a British postcode after its town: "Manchester M19 2LF"
        name(3, city());
        std::string code = acronym().substr(0, 1 + uniform(2)) + std::to_string(1 + uniform(29));
        code += " " + std::to_string(uniform(10)) + acronym().substr(0, 2);
        text(" " + code);
        break;
      }
      case 1:  // a Dutch postcode before its place: "3511 NK Utrecht"
        text(std::to_string(1000 + uniform(9000)) + " " + acronym().substr(0, 2) + " ");
        name(3, city());
        break;
      case 2: {  // an American state and ZIP code after the town: "Springfield, IL 62704"
        char zip[16];
        std::snprintf(zip, sizeof zip, "%05d", 1000 + uniform(98000));
        name(3, city());
        text(", " +
             std::string(pickView({"IL", "CA", "NY", "TX", "OH", "PA", "FL", "WA", "MA", "GA"})) +
             " " + zip);
        break;
      }
      case 3:  // an Indian PIN after the town: "Mumbai - 400001", "Pune 411 001"
        name(3, city());
        text(pinCode());
        break;
      default: {
        char code[16];
        // Five digits in most of Europe, four in Austria, Switzerland, Belgium and Denmark.
        if (chance(25))
          std::snprintf(code, sizeof code, "%04d", 1000 + uniform(8999));
        else
          std::snprintf(code, sizeof code, "%05d", 1000 + uniform(98000));
        text(std::string(code) + " ");
        name(3, city());
        break;
      }
    }
  }

  std::string pinCode() {
    return std::string(pickView({" - ", " ", ", ", "-"})) + std::to_string(110 + uniform(740)) +
           std::string(pickView({"", " "})) + std::to_string(100 + uniform(900));
  }

  // An Indian address as cards print it: the relation to the head of the house ("W/O Ramesh
  // Nair"), the house, a building or colony, a road, then town, state and PIN.
  void indianAddress() {
    if (chance(70)) {
      text(pickView({"S/O ", "D/O ", "W/O ", "C/O ", "S/O: ", "C/o "}));
      name(1, person());
      text(", ");
    }
    text(std::to_string(1 + uniform(400)) + std::string(pickView({"/B", "/2", "-A", "", "/14"})) +
         ", ");
    if (chance(60)) {
      text(std::string(pickView(
               {"Shanti", "Sai", "Green", "Lake", "Royal", "Krishna", "Ganga", "Silver"})) +
           " " +
           std::string(pickView({"Niketan", "Kunj", "Vihar", "Enclave", "Heights", "Residency"})) +
           std::string(pickView({" Apartments", " Society", "", " Colony"})) + ", ");
    }
    text(std::string(pickView({"MG Road", "Station Road", "Gandhi Nagar", "Nehru Marg", "Ring Road",
                               "Main Road", "Near Bus Stand", "Opp. Post Office"})) +
         ", ");
    name(3, city());
    text(", ");
    name(3, country());
    text(pinCode());
  }

  void heading() {
    switch (uniform(6)) {
      case 0:
        text(documentTitle());
        break;
      case 1:
        text(pickView(
            {"Republic of ", "REPUBLIC OF ", "Kingdom of ", "République de ", "Koninkrijk der "}));
        name(3, country());
        break;
      case 2:
        name(3, country());
        break;
      case 3:
        name(2, org());
        break;
      case 4:
        text(pickView({"Signature of holder", "Unterschrift", "Signature du titulaire",
                       "Handtekening", "Page 1 of 2"}));
        break;
      default:
        name(3, city());
        text(", ");
        text(pickView({"den ", "le ", "on ", ""}));
        text(date());
        break;
    }
  }

  void statement() {
    switch (uniform(26)) {
      case 24:  // the booking lines of a bank statement
        text(pickView({"Überweisung an ", "Lastschrift ", "Gutschrift von ", "Dauerauftrag an ",
                       "Payment to ", "Direct debit ", "Transfer from ", "Virement à ",
                       "Prélèvement ", "Overboeking naar ", "Incasso "}));
        if (chance(50))
          name(1, person());
        else
          name(2, org());
        if (chance(50))
          text(pickView(
              {", Verwendungszweck: Miete", ", Ref. ", " Abschlag Mai", ", loyer", ", huur"}));
        break;
      case 23: {  // a birth record names the child and both parents in one sentence
        const int lang = uniform(4);
        static const char* const kOn[] = {"Le ", "On ", "Am ", "Op "};
        static const char* const kIn[] = {", à ", ", in ", " wurde in ", " werd te "};
        static const char* const kChild[] = {", est né ", ", was born ", " ", " geboren "};
        static const char* const kOf[][2] = {{", fils de ", ", fille de "},
                                             {", son of ", ", daughter of "},
                                             {", Sohn von ", ", Tochter von "},
                                             {", zoon van ", ", dochter van "}};
        static const char* const kAnd[] = {" et de ", " and ", " und ", " en "};
        static const char* const kEnd[] = {".", ".", ", geboren.", "."};
        text(kOn[lang] + date() + kIn[lang]);
        name(3, city());
        text(kChild[lang]);
        name(1, person());
        text(kOf[lang][uniform(2)]);
        name(1, person());
        text(kAnd[lang]);
        name(1, person());
        text(kEnd[lang]);
        break;
      }
      case 22:  // French civil-status records sign off with "par Nous, <officer>, ..."
        text(pickView({"Dressé le ", "Dressé le ", "Établi le ", "Fait le "}));
        text(date());
        text(pickView({" par Nous, ", ", par Nous, ", " par nous, "}));
        name(1, person());
        text(pickView({", adjoint au maire de ", ", maire de ", ", officier de l'état civil de "}));
        name(3, city());
        text(pickView({", officier de l'état civil.", ".", ", qui a signé avec le déclarant."}));
        break;
      case 21:  // a person and the office they hold, in lower case, before a place
        name(1, person());
        text(
            pickView({", maire de ", ", maire de la commune de ", ", Bürgermeister von ",
                      ", Bürgermeisterin von ", ", mayor of ", ", registrar of ",
                      ", burgemeester van ", ", wethouder van ", ", Maire de ", ", Mayor of ",
                      ", Oberbürgermeister der Stadt ", ", Burgemeester van ", ", Registrar of "}));
        name(3, city());
        text(pickView(
            {", certifie que ", ", bestätigt, dass ", ", certifies that ", ", verklaart dat "}));
        name(1, person());
        text(pickView({" demeure à ", " wohnhaft ist in ", " resides in ", " woont in "}));
        name(3, city());
        text(".");
        break;
      case 0:
        text("This is to certify that ");
        name(1, person());
        text(" was born in ");
        name(3, city());
        text(" on " + date() + ".");
        break;
      case 1:
        name(1, person());
        text(" is employed by ");
        name(2, org());
        text(" as " + std::string(pickView({"an engineer", "a nurse", "a teacher", "a driver"})) +
             ".");
        break;
      case 18:
        if (chance(50)) {
          name(1, person());
          text(" has worked at ");
          name(2, org());
          text(", ");
          name(3, city());
          text(" as " + std::string(pickView({"a ", "the ", ""})) + std::string(jobTitle()) +
               " since " + date() + ".");
        } else {  // "... has been employed by Northwind Traders Inc. in Seattle, Washington since
                  // ..."
          text(pickView({"This is to confirm that ", "We confirm that ", "", "Please note that "}));
          text(pickView({"", "Mr. ", "Ms. ", "Mrs. ", "Dr. "}));
          name(1, person());
          text(pickView({" has been employed by ", " is employed by ", " works for ",
                         " has been working for "}));
          name(2, org());
          text(" in ");
          name(3, city());
          if (chance(60)) {
            text(", ");
            name(3, country());
          }
          text(" since " + date() + " as " + std::string(pickView({"a ", "an ", "the ", ""})) +
               jobTitle() + ".");
        }
        break;
      case 20:  // a sentence that starts with a common word, then a name
        text(pickView({"Yesterday ", "Today ", "Recently ", "Last week ", "Later ", "Then ",
                       "Unfortunately ", "Meanwhile ", "Gestern ", "Heute ", "Dann ", "Leider ",
                       "Hier ", "Ensuite ", "Aujourd'hui ", "Gisteren ", "Vandaag ", "Daarna "}));
        name(1, person());
        text(pickView({" met ", " called ", " visited ", " wrote to ", " traf ", " besuchte ",
                       " a rencontré ", " a appelé ", " ontmoette ", " belde "}));
        if (chance(50))
          name(1, person());
        else
          name(3, city());
        text(".");
        break;
      case 19:
        text(pickView({"To whom it may concern,", "Dear Sir or Madam,",
                       "Sehr geehrte Damen und Herren,", "Madame, Monsieur,",
                       "Geachte heer, mevrouw,"}));
        break;
      case 2:
        text("Issued by ");
        name(2, org());
        text(" on behalf of the Government of ");
        name(3, country());
        text(".");
        break;
      case 3:
        text(pickView({"Dear Mr ", "Dear Ms ", "Dear Mrs ", "Sehr geehrter Herr ",
                       "Sehr geehrte Frau ", "Chère Madame ", "Beste meneer "}));
        name(1, lastName());
        text(",");
        break;
      case 4:
        text(pickView({"Yours sincerely, ", "Mit freundlichen Grüßen ", "Cordialement, ",
                       "Met vriendelijke groet, ", "Signed: "}));
        name(1, person());
        break;
      case 5:
        text("I, ");
        name(1, person());
        text(", residing in ");
        name(3, city());
        text(", declare that the above is true.");
        break;
      case 6:
        text("Hiermit wird bestätigt, dass ");
        name(1, person());
        text(" am " + date() + " in ");
        name(3, city());
        text(" geboren wurde.");
        break;
      case 7:
        text(pickView({"Herr ", "Frau ", ""}));
        name(1, person());
        text(" ist seit 2015 bei der ");
        name(2, org());
        text(" beschäftigt.");
        break;
      case 8:
        text("Ausgestellt von ");
        name(2, org());
        text(" in ");
        name(3, city());
        text(".");
        break;
      case 9:
        text("Je soussigné, ");
        name(1, person());
        text(", né le " + date() + " à ");
        name(3, city());
        text(", déclare sur l'honneur.");
        break;
      case 10:
        text("Délivré par ");
        name(2, org());
        text(" à ");
        name(3, city());
        text(" le " + date() + ".");
        break;
      case 11:
        text("Hierbij verklaar ik, ");
        name(1, person());
        text(", geboren te ");
        name(3, city());
        text(", dat de gegevens juist zijn.");
        break;
      case 12:
        text("Afgegeven door ");
        name(2, org());
        text(" te ");
        name(3, city());
        text(".");
        break;
      case 13:
        name(1, person());
        text(", born " + date() + " in ");
        name(3, city());
        text(", ");
        name(3, country());
        break;
      case 14:
        text(pickView({"Account holder ", "Beneficiary ", "Payee "}));
        name(1, person());
        text(" at ");
        name(2, org());
        break;
      case 15:  // a title before a surname alone
        text(pickView({"Referred by ", "Please contact ", "Signed by ", "Examined by ",
                       "Approved by ", "Letter to "}));
        text(pickView({"Dr. ", "Dr ", "Prof. ", "Mr. ", "Mrs. ", "Ms. ", "Shri ", "Smt. "}));
        name(1, lastName());
        text(pickView(
            {".", " on " + date() + ".", ", " + std::string(documentTitle()) + " enclosed."}));
        break;
      case 16:
        text(documentTitle());
        text(" of ");
        name(1, person());
        break;
      case 17:
        text("The ");
        text(documentTitle());
        text(" was issued by the ");
        name(2, org());
        text(".");
        break;
      default:
        text("Nacido en ");
        name(3, city());
        text(" el " + date() + ", hijo de ");
        name(1, person());
        text(".");
        break;
    }
  }

  Sentence render() {
    // Identity documents print most lines in capitals; letters and statements mostly not.
    const int mode = uniform(100);
    const bool allCaps = capitals_ || (!asWritten_ && mode < 40);
    const bool namesCaps = !allCaps && !asWritten_ && mode < 65;
    Sentence s;
    for (const Piece& p : pieces_) {
      std::string t = (allCaps || (namesCaps && p.type != 0)) ? upper(p.text) : p.text;
      std::vector<std::string> words = wordSegments(t);
      for (size_t k = 0; k < words.size(); ++k) {
        s.tokens.push_back(std::move(words[k]));
        s.tags.push_back(p.type == 4   ? entities::kOtherNameTag
                         : p.type == 0 ? 0
                                       : (k == 0 ? 2 * p.type - 1 : 2 * p.type));
      }
    }
    return s;
  }

  const NameLists& l_;
  std::mt19937_64& rng_;
  std::vector<Piece> pieces_;
  bool receiptLines_ = false;
  bool newsLines_ = false;
  bool otherNames_ = false;
  std::string kept_;        // the nationality or event of the line being made
  bool capitals_ = false;   // the line is printed in capitals whatever the draw
  bool asWritten_ = false;  // the line is printed in the case it is written in (unless capitals_)
};

}  // namespace

NameLists readNameLists(const std::string& dir) {
  NameLists l;
  l.firstNames = readLines(dir + "/first_names.txt");
  l.lastNames = readLines(dir + "/last_names.txt");
  l.cities = readLines(dir + "/cities.txt");
  l.countries = readLines(dir + "/countries.txt");
  l.orgSuffixes = readLines(dir + "/org_suffixes.txt");
  return l;
}

void splitNameLists(const NameLists& all, NameLists& train, NameLists& heldOut) {
  auto split = [](const std::vector<std::string>& in, std::vector<std::string>& a,
                  std::vector<std::string>& b) {
    a.clear();
    b.clear();
    for (const auto& s : in) (hashOf(s) % 5 == 0 ? b : a).push_back(s);
  };
  split(all.firstNames, train.firstNames, heldOut.firstNames);
  split(all.lastNames, train.lastNames, heldOut.lastNames);
  split(all.cities, train.cities, heldOut.cities);
  split(all.countries, train.countries, heldOut.countries);
  // Company suffixes are a closed class: both sides use all of them.
  train.orgSuffixes = all.orgSuffixes;
  heldOut.orgSuffixes = all.orgSuffixes;
}

std::vector<Sentence> syntheticLines(const NameLists& lists, size_t count, std::mt19937_64& rng,
                                     bool receiptLines, bool newsLines, bool otherNames) {
  Generator g(lists, rng, receiptLines, newsLines, otherNames);
  std::vector<Sentence> out;
  out.reserve(count);
  while (out.size() < count) {
    Sentence s = g.line();
    if (!s.tokens.empty()) out.push_back(std::move(s));
  }
  return out;
}

}  // namespace marrowfen::tagger
