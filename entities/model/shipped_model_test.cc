// The program's name model as shipped in models/, through the tagger the program uses.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "entities/model/perceptron_model.h"
#include "entities/name_model_factory.h"
#include "entities/name_tagger.h"

namespace marrowfen::entities {
namespace {

struct Found {
  NameTag tag;
  std::string text;
  bool operator==(const Found&) const = default;
};

void PrintTo(const Found& f, std::ostream* os) { *os << static_cast<int>(f.tag) << ":" << f.text; }

std::vector<Found> namesIn(NameTagger& tagger, const std::string& text) {
  std::vector<Found> out;
  tagger.enumerateTags(text, [&](std::optional<NameTag> tag, TextRange r) {
    if (tag) out.push_back({*tag, text.substr(r.begin, r.end - r.begin)});
    return true;
  });
  return out;
}

TEST(ShippedNameModel, IsTheProgramsModel) {
  ::unsetenv("MARROWFEN_NAME_MODEL");
  const auto model = makeNameModel();
  EXPECT_NE(dynamic_cast<const PerceptronNameModel*>(model.get()), nullptr);
}

TEST(ShippedNameModel, StaysWithinItsSizeAndCarriesDictionariesAndEmbeddingClasses) {
  const auto path = findNameModelFile();
  ASSERT_TRUE(path.has_value());
  std::error_code error;
  EXPECT_LE(std::filesystem::file_size(*path, error), 30u * 1000 * 1000);
  EXPECT_FALSE(error);
  const auto weights = readNameModel(*path);
  ASSERT_TRUE(weights.has_value());
  const Lexicon* lexicon = weights->gazetteer.lexicon();
  ASSERT_NE(lexicon, nullptr);
  // A common word of each language, as the dictionaries write it.
  constexpr uint8_t kEnglishLower = 1, kGermanCapital = 2 << 2, kFrenchLower = 1 << 4,
                    kDutchLower = 1 << 6;
  EXPECT_TRUE(lexicon->lookup("yesterday") & kEnglishLower);
  EXPECT_TRUE(lexicon->lookup("mannschaft") & kGermanCapital);
  EXPECT_TRUE(lexicon->lookup("maison") & kFrenchLower);
  EXPECT_TRUE(lexicon->lookup("gemeente") & kDutchLower);
  // Words used alike share an embedding class, whatever labelled text showed of them.
  ASSERT_TRUE(weights->featureGroups & kEmbeddingClassFeatures);
  const WordClusters* embedded = weights->gazetteer.embeddingClasses();
  ASSERT_NE(embedded, nullptr);
  const auto monday = embedded->lookup("monday"), friday = embedded->lookup("friday");
  ASSERT_TRUE(monday.has_value() && friday.has_value());
  EXPECT_EQ(monday->fine, friday->fine);
}

TEST(ShippedNameModel, LabelsDocumentLines) {
  ::unsetenv("MARROWFEN_NAME_MODEL");
  const auto model = makeNameModel();
  auto tagger = makeNameTagger(*model);
  const struct {
    std::string text;
    std::vector<Found> names;
  } cases[] = {
      {"Surname: GARCÍA LÓPEZ", {{NameTag::kPersonalName, "GARCÍA LÓPEZ"}}},
      {"Given names: MARIA ELENA", {{NameTag::kPersonalName, "MARIA ELENA"}}},
      {"Place of Birth: MARSEILLE", {{NameTag::kPlaceName, "MARSEILLE"}}},
      {"Geburtsort: Leipzig", {{NameTag::kPlaceName, "Leipzig"}}},
      {"Nom: BERNARD", {{NameTag::kPersonalName, "BERNARD"}}},
      {"Issuing Authority: Stadt Dresden", {{NameTag::kOrganizationName, "Stadt Dresden"}}},
      {"Employer: Siemens AG", {{NameTag::kOrganizationName, "Siemens AG"}}},
      {"Date of Birth: 04.11.1979", {}},
      {"PASSPORT", {}},
      {"CARTE NATIONALE D'IDENTITE", {}},
      {"Authority: HMPO", {{NameTag::kOrganizationName, "HMPO"}}},
      {"British Gas", {{NameTag::kOrganizationName, "British Gas"}}},
      {"Customer Service Manager", {}},
      {"Type/Type P", {}},
      {"DOB: 14/08/1991", {}},
      {"Bill to: Jonathan Price", {{NameTag::kPersonalName, "Jonathan Price"}}},
      {"Sex: Boy", {}},
      {"IBAN: DE89 3704 0044 0532 0130 00", {}},
      {"Registration district: Birmingham", {{NameTag::kPlaceName, "Birmingham"}}},
      {"LN GARCIA", {{NameTag::kPersonalName, "GARCIA"}}},
      {"FN MARIA ELENA", {{NameTag::kPersonalName, "MARIA ELENA"}}},
      {"ACTE DE MARIAGE", {}},
      {"Le douze juin deux mille quinze, devant Nous, Marie DUPONT, Maire de Toulouse,",
       {{NameTag::kPersonalName, "Marie DUPONT"}, {NameTag::kPlaceName, "Toulouse"}}},
      {"Ms. Li Wei has been employed by Northwind Traders Inc. in Seattle since March 2019 as a "
       "Senior Accountant.",
       {{NameTag::kPersonalName, "Li Wei"},
        {NameTag::kOrganizationName, "Northwind Traders Inc"},
        {NameTag::kPlaceName, "Seattle"}}},
      {"CURRICULUM VITAE", {}},
      {"2015 - 2018: B.Sc. Computer Science, Università di Bologna",
       {{NameTag::kOrganizationName, "Università di Bologna"}}},
      // Street lines and postcodes: the street is no organisation, the town beside a postcode a
      // place.
      {"14 Kingsway Road", {}},
      {"Leeds LS11 5QT", {{NameTag::kPlaceName, "Leeds"}}},
      {"Adres: Oudegracht 231, 3511 NK Utrecht", {{NameTag::kPlaceName, "Utrecht"}}},
      {"Flat 12, Shanti Niketan Apartments, MG Road", {}},
      {"Le 1er septembre 2023, à Lille (Nord), est né Lucas Pierre DUBOIS, fils de Marc DUBOIS et "
       "de Claire LEFEBVRE.",
       {{NameTag::kPlaceName, "Lille (Nord)"},
        {NameTag::kPersonalName, "Lucas Pierre DUBOIS"},
        {NameTag::kPersonalName, "Marc DUBOIS"},
        {NameTag::kPersonalName, "Claire LEFEBVRE"}}},
      // Labels printed above their values, as on passports.
      {"Surname/Nom\nOKAFOR\nGiven names/Prénoms\nCHIDI EMEKA\nPlace of birth/Lieu de "
       "naissance\nLAGOS",
       {{NameTag::kPersonalName, "OKAFOR"},
        {NameTag::kPersonalName, "CHIDI EMEKA"},
        {NameTag::kPlaceName, "LAGOS"}}},
      {"Dressé le 3 septembre 2023 par Nous, Jean-Claude Moreau, adjoint au maire de Lille.",
       {{NameTag::kPersonalName, "Jean-Claude Moreau"}, {NameTag::kPlaceName, "Lille"}}},
      {"Je soussigné, Pierre Martin, maire de la commune de Saint-Étienne, certifie que Mme Sophie "
       "Bernard demeure à Lyon.",
       {{NameTag::kPersonalName, "Pierre Martin"},
        {NameTag::kPlaceName, "Saint-Étienne"},
        {NameTag::kPersonalName, "Sophie Bernard"},
        {NameTag::kPlaceName, "Lyon"}}},
  };
  for (const auto& c : cases) EXPECT_EQ(namesIn(*tagger, c.text), c.names) << c.text;
}

TEST(ShippedNameModel, FallsBackToRulesWithoutAReadableFile) {
  const std::string path =
      std::string(::testing::TempDir()) + "broken-model" + std::to_string(::getpid());
  {
    std::ofstream out(path);
    out << "not a model";
  }
  ::setenv("MARROWFEN_NAME_MODEL", path.c_str(), 1);
  const auto model = makeNameModel();
  ::unsetenv("MARROWFEN_NAME_MODEL");
  std::remove(path.c_str());
  ASSERT_NE(model, nullptr);
  EXPECT_EQ(dynamic_cast<const PerceptronNameModel*>(model.get()), nullptr);
  auto tagger = makeNameTagger(*model);
  EXPECT_FALSE(namesIn(*tagger, "Name: PRIYA SHARMA").empty());
}

}  // namespace
}  // namespace marrowfen::entities
