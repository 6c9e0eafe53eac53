#include "entities/language_recognizer.h"

#include <gtest/gtest.h>

namespace marrowfen::entities {
namespace {

TEST(Bcp47FromCld2Code, MapsOldAndGoogleCodes) {
  const struct {
    std::string code;
    std::optional<std::string> tag;
  } cases[] = {
      {"en", "en"},
      {"de", "de"},
      {"iw", "he"},
      {"in", "id"},
      {"ji", "yi"},
      {"jw", "jv"},
      {"no", "nb"},
      {"zh", "zh-Hans"},
      {"zh-Hant", "zh-Hant"},
      {"un", std::nullopt},
      {"xx-Qaai", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(bcp47FromCld2Code(c.code), c.tag) << c.code;
}

TEST(Cld2LanguageRecognizer, RecognisesReliableLanguagesOnly) {
  const auto recognizer = makeCld2LanguageRecognizer();
  const struct {
    std::string text;
    std::optional<std::string> language;
  } cases[] = {
      {"Name: Priya Sharma\nDate of Birth: 12/03/1990\nPhone: +91 98765 43210\nAddress: 221B Baker "
       "Street, London NW1 6XE",
       "en"},
      {"Der Antragsteller wohnt seit vielen Jahren in Berlin und arbeitet bei der Stadt.", "de"},
      {"Bonjour, je m'appelle Marie et j'habite à Paris depuis dix ans.", "fr"},
      {"שלום עולם, מה שלומך היום? אני גר בתל אביב", "he"},
      {"这是一个中文句子，用于测试语言识别。", "zh-Hans"},
      {"12345 67890", std::nullopt},
      {"hi", std::nullopt},
      {"\U0001F600\U0001F600", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(recognizer->dominantLanguage(c.text), c.language) << c.text;
}

}  // namespace
}  // namespace marrowfen::entities
