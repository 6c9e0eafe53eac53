#include "scan/tesseract_recognizer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <sstream>

#include "scan/page_preparation.h"
#include "scan/recognize.h"
#include "scan/testing/photographed_page.h"
#include "scan/testing/text_image.h"

namespace marrowfen::scan {
namespace {

using ::testing::HasSubstr;

TEST(TraineddataName, MapsBcp47Tags) {
  const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
      {"en-US", "eng"},
      {"en", "eng"},
      {"de-DE", "deu"},
      {"DE_at", "deu"},
      {"fr", "fra"},
      {"fr-CA", "fra"},
      {"zh-Hans", "chi_sim"},
      {"zh-CN", "chi_sim"},
      {"zh-Hant", "chi_tra"},
      {"zh-TW", "chi_tra"},
      {"zh-Hant-HK", "chi_tra"},
      {"zh", "chi_sim"},
      {"sr-Latn", "srp_latn"},
      {"sr", "srp"},
      {"iw", "heb"},
      {"nb-NO", "nor"},
      {"ja-JP", "jpn"},
      {"pt-BR", "por"},
      {"deu", "deu"},
      {"fil", "fil"},
      {"xx", std::nullopt},
      {"", std::nullopt},
      {"e1", std::nullopt},
  };
  for (const auto& [tag, name] : cases) EXPECT_EQ(traineddataName(tag), name) << tag;
}

// A traineddata file whose components are `parts` (nullopt: absent), laid out as Tesseract
// writes it.
std::string traineddataFile(const std::vector<std::optional<std::string>>& parts) {
  const uint32_t count = static_cast<uint32_t>(parts.size());
  std::string header(sizeof count + count * sizeof(int64_t), '\0');
  std::memcpy(header.data(), &count, sizeof count);
  std::string body;
  for (uint32_t k = 0; k < count; ++k) {
    const int64_t offset = parts[k] ? static_cast<int64_t>(header.size() + body.size()) : -1;
    std::memcpy(header.data() + sizeof count + k * sizeof(int64_t), &offset, sizeof offset);
    if (parts[k]) body += *parts[k];
  }
  return header + body;
}

// traineddataWithout over the bytes of `file`, counting the bytes read.
std::optional<std::string> withoutOf(const std::string& file, const std::vector<int>& dropped,
                                     size_t* bytesRead = nullptr) {
  size_t read = 0;
  auto readAt = [&](int64_t offset, size_t size, char* out) {
    if (offset < 0 || static_cast<size_t>(offset) + size > file.size()) return false;
    std::memcpy(out, file.data() + offset, size);
    read += size;
    return true;
  };
  const std::optional<std::vector<char>> out =
      traineddataWithout(static_cast<int64_t>(file.size()), readAt, dropped);
  if (bytesRead) *bytesRead = read;
  if (!out) return std::nullopt;
  return std::string(out->begin(), out->end());
}

TEST(TraineddataWithout, DropsTheNamedComponentsWithoutReadingThem) {
  using Parts = std::vector<std::optional<std::string>>;
  struct Case {
    Parts parts;
    std::vector<int> dropped;
    Parts expected;
  };
  const std::vector<Case> cases = {
      {{"aa", "bbb", "c"}, {1}, {"aa", std::nullopt, "c"}},
      {{"aa", "bbb", "c"}, {2}, {"aa", "bbb", std::nullopt}},
      {{"aa", std::nullopt, "dict", "c"}, {0, 2}, {std::nullopt, std::nullopt, std::nullopt, "c"}},
      {{"aa", "bbb"}, {5}, {"aa", "bbb"}},
      {{"aa", "", "c"}, {}, {"aa", "", "c"}},
  };
  for (const Case& c : cases) {
    const std::string file = traineddataFile(c.parts);
    size_t bytesRead = 0;
    EXPECT_EQ(withoutOf(file, c.dropped, &bytesRead), traineddataFile(c.expected));
    size_t droppedBytes = 0;
    for (const int k : c.dropped) {
      if (k < static_cast<int>(c.parts.size()) && c.parts[k]) droppedBytes += c.parts[k]->size();
    }
    EXPECT_EQ(bytesRead, file.size() - droppedBytes);
  }
}

TEST(TraineddataWithout, RefusesWhatIsNotATraineddataFile) {
  std::string decreasing = traineddataFile({"aa", "bb"});
  const int64_t before = 4;  // the second offset pointing inside the header
  std::memcpy(decreasing.data() + sizeof(uint32_t) + sizeof(int64_t), &before, sizeof before);
  std::string pastEnd = traineddataFile({"aa"});
  const int64_t far = 1 << 20;
  std::memcpy(pastEnd.data() + sizeof(uint32_t), &far, sizeof far);
  for (const std::string& file : {std::string(), std::string("ab"), std::string(4, '\0'),
                                  std::string("\xff\xff\xff\x7f", 4), decreasing, pastEnd}) {
    EXPECT_FALSE(withoutOf(file, {1})) << file.size();
  }
}

TEST(TurnsToTry, TheModelsTurnThenBothQuarterTurnsOrTheHalfTurn) {
  struct Case {
    int modelTurns, textTurns;
    std::vector<int> want;
  };
  const std::vector<Case> cases = {
      {0, 0, {2}},    {2, 0, {2}},    {1, 0, {1, 2}}, {0, 1, {1, 3}},
      {0, 3, {3, 1}}, {3, 1, {3, 1}}, {1, 1, {1, 3}}, {2, 3, {2, 3, 1}},
      {0, 2, {2}},    {3, 2, {3, 2}}, {4, 0, {2}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(turnsToTry(c.modelTurns, c.textTurns), c.want) << c.modelTurns << " " << c.textTurns;
  }
}

TEST(ReadAsRemnant, DoubtedShortWordsAndStrokeMarksNotAsHighAsTheLetters) {
  struct Case {
    std::string word;
    float confidence;
    double height;  // against the page's letters
    bool want;
  };
  const std::vector<Case> cases = {
      // Check boxes, rules' ends and specks read as short words, with doubt, lower or higher
      // than the letters (or on a page without confident words).
      {"o", 31, 0.05, true},
      {"e", 59.9f, 0.5, true},
      {"\u00e8", 20, 2.1, true},  // one character, two bytes
      {"oa", 49, 0.3, true},
      {"i\u00e9", 30, 1.3, true},
      {"ell", 39, 0.79, true},
      {"rar", 10, 0, true},
      // As high as the letters, read with enough confidence, or long enough, they are text.
      {"No", 20, 1.0, false},
      {"a", 10, 0.8, false},
      {":", 40, 1.29, false},
      {"a", 60, 0.3, false},
      {"of", 50, 0.5, false},
      {"the", 40, 2, false},
      {"\u00fcber", 5, 0.4, false},
      {"Total", 12, 0, false},
      // Rules and box sides read as stroke marks, at any length, with doubt; a real dash or a
      // separator is read with confidence.
      {"______________", 13.8f, 0.05, true},
      {"\u2014\u2014\u2014", 5.9f, 0.1, true},
      {"_\u2014_", 45, 1.8, true},
      {"|", 40, 3, true},
      {"=~", 49, 0.2, true},
      {"-------", 49, 0.1, true},
      {"-------", 50, 0.1, false},
      {"-", 84, 0.2, false},
      {"----", 84.5f, 0.2, false},
      {"\u2013", 91, 0.1, false},
      {"-12.50", 20, 0.3, false},
      {"", 0, 0, false},
      // Rows of asterisks or dots read as a few letters over and over, with no confidence at
      // all, as high as the letters or not.
      {"TTTTTETETETEET", 0, 0.87, true},
      {"ersersersssrsenros", 0, 0.91, true},
      {"EETETETEETOETETTETEEETETTETEEE", 4.9f, 1.0, true},
      {"ééèééèéé", 0, 1.0, true},  // 8 characters, 16 bytes
      // Real words, and words read with some confidence, stay.
      {"Mississippi", 0, 1.0, false},
      {"TTTTTETETETEET", 5, 1.0, false},
      {"Transmission", 0, 1.0, false},
      {"aaaaaaa", 0, 1.0, false},  // seven characters
      {"10000000", 0, 1.0, false},
      {"10017-5592", 0, 1.0, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(readAsRemnant(c.word, c.confidence, c.height), c.want)
        << c.word << " " << c.confidence << " " << c.height;
  }
}

TEST(DefaultModel, ProgramModelUnlessThePrefixNamesTheModelsThenScriptModelThenEng) {
  const std::string own = "/opt/m/share/marrowfen/tessdata/", system = "/usr/share/tessdata/";
  struct Case {
    bool prefixSet;
    std::string programModels;
    std::vector<std::string> files;
    ModelChoice want;
  };
  const std::vector<Case> cases = {
      {false, own, {own + "Latin.traineddata", system + "Latin.traineddata"}, {own, "Latin"}},
      {true, own, {own + "Latin.traineddata", system + "Latin.traineddata"}, {system, "Latin"}},
      {false, own, {system + "Latin.traineddata"}, {system, "Latin"}},
      {false, "", {"Latin.traineddata", system + "Latin.traineddata"}, {system, "Latin"}},
      {false, own, {own + "Latin.traineddata"}, {own, "Latin"}},
      {true, own, {own + "Latin.traineddata"}, {system, "eng"}},
      {false, own, {}, {system, "eng"}},
  };
  for (const Case& c : cases) {
    const auto exists = [&](const std::string& path) {
      return std::find(c.files.begin(), c.files.end(), path) != c.files.end();
    };
    const ModelChoice got = defaultModel(c.prefixSet, c.programModels, system, exists);
    EXPECT_EQ(got, c.want) << c.prefixSet << " " << c.files.size() << " -> " << got.directory
                           << got.name;
  }
}

TEST(AccentedLetterShare, AccentedLatinLettersAmongAllLetters) {
  const std::vector<std::pair<std::string, double>> cases = {
      {"", 0},
      {"12 - 34", 0},
      {"Invoice total", 0},
      {"\u00fcber", 0.25},
      {"Stra\u00dfe", 1.0 / 6},
      {"\u0142\u00f3d\u017a", 0.75},
      {"na\u00efve caf\u00e9", 2.0 / 9},
      {"\u00c9T\u00c9", 2.0 / 3},
      // Signs and letters of other scripts are letters of neither kind.
      {"3 \u00d7 4 \u00f7 2 = 6 \u20ac", 0},
      {"\u201cok\u201d 20\u00b0", 0},
      {"\u65e5\u672c ab", 0},
      {"\u0391\u03b8\u03ae\u03bd\u03b1 a\u00e4", 0.5},
  };
  for (const auto& [text, share] : cases) {
    EXPECT_DOUBLE_EQ(accentedLetterShare(text), share) << text;
  }
}

bool installed(const std::string& name) {
  struct stat info;
  return ::stat((tessdataDirectory() + name + ".traineddata").c_str(), &info) == 0;
}

std::vector<std::string> lineTexts(const RecognitionResult& result) {
  std::vector<std::string> out;
  for (const TextObservation& o : result.observations) out.push_back(o.topCandidate->string());
  return out;
}

class TesseractTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { recognizer_ = new TesseractRecognizer(); }
  static void TearDownTestSuite() { delete recognizer_; }
  static TesseractRecognizer* recognizer_;
};
TesseractRecognizer* TesseractTest::recognizer_ = nullptr;

TEST_F(TesseractTest, RecognisesLinesWithNormalisedLowerLeftBoxes) {
  const Image image = testing::textImage({"Invoice number 4711", "Total amount due"}, 1200, 400);
  ASSERT_FALSE(image.empty());
  const RecognitionResult result = recognizer_->perform(image, {});
  ASSERT_FALSE(result.error) << *result.error;
  ASSERT_EQ(lineTexts(result),
            (std::vector<std::string>{"Invoice number 4711", "Total amount due"}));
  const TextObservation& first = result.observations[0];
  const TextObservation& second = result.observations[1];
  // The first line is drawn at the top, so with y up it lies above the second.
  EXPECT_GT(first.boundingBox.y, second.boundingBox.y + second.boundingBox.height);
  EXPECT_NEAR(first.boundingBox.x, 60.0 / 1200, 0.01);
  EXPECT_GT(first.topCandidate->confidence(), 0.8f);
  EXPECT_LE(first.topCandidate->confidence(), 1.0f);

  // The box of "number" lies inside the line and right of "Invoice"; a range spanning two words
  // gets their union.
  const auto invoice = first.topCandidate->boundingBox(0, 7);
  const auto number = first.topCandidate->boundingBox(8, 14);
  const auto both = first.topCandidate->boundingBox(3, 10);
  ASSERT_TRUE(invoice && number && both);
  EXPECT_GT(number->x, invoice->x + invoice->width);
  EXPECT_NEAR(both->x, invoice->x, 1e-12);
  EXPECT_NEAR(both->x + both->width, number->x + number->width, 1e-12);
  EXPECT_GE(number->y, first.boundingBox.y - 1e-9);
  EXPECT_FALSE(first.topCandidate->boundingBox(7, 7));
  EXPECT_FALSE(first.topCandidate->boundingBox(0, 500));

  // Through the page logic: one fragment a word, in reading order.
  const OcrPage page = pageFromObservations(result.observations, 1);
  EXPECT_EQ(page.text, "Invoice number 4711\nTotal amount due");
  ASSERT_EQ(page.fragments.size(), 6u);
  EXPECT_EQ(page.fragments[2].text, "4711");
}

// A form's rows, each followed by a row of specks of ink (a dotted field's remains, dirt).
Image rowsWithSpecks(const std::vector<std::string>& rows) {
  const int width = 1000, rowHeight = 100;
  std::vector<uint8_t> pixels(size_t(width) * rowHeight * rows.size(), 255);
  // Tops of the specks against their common bottom, 50 pixels above each row's baseline.
  const int tops[4][6] = {
      {-5, -4, -4, 0, -3, 5}, {-1, -1, 4, -2, 4, -5}, {4, 5, -3, 1, 5, 1}, {3, 0, 3, 2, 3, -1}};
  for (size_t i = 0; i < rows.size(); ++i) {
    const Image row = testing::textImage({rows[i]}, width, rowHeight, 28, 38);
    if (row.empty()) return row;
    const int y0 = int(i) * rowHeight;
    for (int y = 0; y < rowHeight; ++y) {
      for (int x = 0; x + 22 < width; ++x) pixels[size_t(y0 + y) * width + x + 22] = row.row(y)[x];
    }
    for (int k = 0; k < 6; ++k) {
      const int a = y0 + 50 + tops[i % 4][k], b = y0 + 53;
      for (int y = std::min(a, b); y <= std::max(a, b); ++y) {
        for (int x = 420 + 25 * k; x <= 423 + 25 * k; ++x) pixels[size_t(y) * width + x] = 0;
      }
    }
  }
  return Image(width, rowHeight * int(rows.size()), PixelFormat::kGrey, width, std::move(pixels));
}

TEST_F(TesseractTest, ShortWordsReadWithDoubtFromSpecksAreLeftOut) {
  const std::vector<std::string> rows = {"Married Yes No", "Children Yes No", "Employed Yes No",
                                         "Retired Yes No"};
  const Image image = rowsWithSpecks(rows);
  ASSERT_FALSE(image.empty());
  const RecognitionResult result = recognizer_->perform(image, {});
  ASSERT_FALSE(result.error) << *result.error;
  ASSERT_EQ(result.observations.size(), rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    const TextObservation& o = result.observations[i];
    const std::string text = o.topCandidate->string();
    // The row's words are all there; whatever else was read is no short word.
    ASSERT_EQ(text.substr(0, rows[i].size()), rows[i]) << text;
    std::istringstream rest(text.substr(rows[i].size()));
    bool more = false;
    for (std::string word; rest >> word; more = true) EXPECT_GT(word.size(), 3u) << text;
    // A row read without anything else is bounded by its words, left of the specks.
    if (!more) {
      EXPECT_LT(o.boundingBox.x + o.boundingBox.width, 400.0 / 1000) << text;
    }
  }
}

TEST_F(TesseractTest, ColourImagesAndTransparencyAreRead) {
  const Image grey = testing::textImage({"Transparent colour page"}, 1000, 200);
  std::vector<uint8_t> rgba(static_cast<size_t>(grey.width()) * grey.height() * 4);
  for (int32_t y = 0; y < grey.height(); ++y) {
    for (int32_t x = 0; x < grey.width(); ++x) {
      uint8_t* p = &rgba[(static_cast<size_t>(y) * grey.width() + x) * 4];
      const uint8_t v = grey.row(y)[x];
      // Ink is opaque blue-black, paper is fully transparent black: composed over white it reads.
      p[0] = 0;
      p[1] = 0;
      p[2] = v < 128 ? 60 : 0;
      p[3] = static_cast<uint8_t>(255 - v);
    }
  }
  const Image image(grey.width(), grey.height(), PixelFormat::kRgba,
                    static_cast<size_t>(grey.width()) * 4, std::move(rgba));
  const RecognitionResult result = recognizer_->perform(image, {});
  ASSERT_FALSE(result.error);
  EXPECT_EQ(lineTexts(result), std::vector<std::string>{"Transparent colour page"});
}

// The engine's word reading is reported, start and end, and telling changes nothing read.
TEST_F(TesseractTest, WordReadingIsToldToThePhases) {
  struct Phases : RecognitionPhases {
    void readingWords(bool reading) override { told.push_back(reading); }
    std::vector<bool> told;
  };
  const struct {
    Image image;
    std::vector<bool> told;
  } cases[] = {
      {testing::textImage({"Invoice number 4711", "Total amount due"}, 1200, 400), {true, false}},
      {Image(400, 300, PixelFormat::kGrey, 400, std::vector<uint8_t>(400 * 300, 255)), {}},
  };
  for (const auto& c : cases) {
    Phases phases;
    const RecognitionResult told = recognizer_->perform(c.image, {.phases = &phases});
    const RecognitionResult untold = recognizer_->perform(c.image, {});
    ASSERT_FALSE(told.error || untold.error);
    EXPECT_EQ(phases.told, c.told);
    EXPECT_EQ(lineTexts(told), lineTexts(untold));
  }
}

TEST_F(TesseractTest, BlankPageGivesNoObservations) {
  const Image blank(400, 300, PixelFormat::kGrey, 400, std::vector<uint8_t>(400 * 300, 255));
  const RecognitionResult result = recognizer_->perform(blank, {});
  EXPECT_FALSE(result.error);
  EXPECT_TRUE(result.observations.empty());
}

TEST_F(TesseractTest, UnknownOrMissingLanguagesFailNamingTheTag) {
  const Image image = testing::textImage({"Hello"}, 400, 200);
  const RecognitionResult unknown = recognizer_->perform(image, {.languages = {"en-US", "xx-YY"}});
  ASSERT_TRUE(unknown.error);
  EXPECT_THAT(*unknown.error, HasSubstr("\"xx-YY\""));
  EXPECT_TRUE(unknown.observations.empty());
  if (!installed("kat")) {
    const RecognitionResult missing = recognizer_->perform(image, {.languages = {"ka-GE"}});
    ASSERT_TRUE(missing.error);
    EXPECT_THAT(*missing.error, HasSubstr("\"ka-GE\""));
    EXPECT_THAT(*missing.error, HasSubstr("kat.traineddata"));
  }
}

// A request that only starts the engine reads no image (none is given) and fails as a reading
// would for languages that cannot be had.
TEST_F(TesseractTest, StartingTheEngineReadsNothing) {
  const struct {
    std::vector<std::string> languages;
    std::optional<std::string> error;
  } cases[] = {{{}, std::nullopt}, {{"en-US"}, std::nullopt}, {{"xx-YY"}, "\"xx-YY\""}};
  for (const auto& c : cases) {
    const RecognitionResult started =
        recognizer_->perform(Image(), {.languages = c.languages, .startOnly = true});
    EXPECT_EQ(started.error.has_value(), c.error.has_value());
    if (c.error && started.error) {
      EXPECT_THAT(*started.error, HasSubstr(*c.error));
    }
    EXPECT_TRUE(started.observations.empty());
  }
  // The started engine reads the next page of the same settings.
  const RecognitionResult read =
      recognizer_->perform(testing::textImage({"Hello world"}, 600, 200), {.languages = {"en"}});
  EXPECT_THAT(lineTexts(read), ::testing::ElementsAre("Hello world"));
}

TEST_F(TesseractTest, AccentsAreReadWhenNoLanguageIsNamed) {
  if (!installed("Latin")) GTEST_SKIP() << "Latin.traineddata is not installed";
  const Image image = testing::textImage(
      {"\u00fcber die Stra\u00dfe", "gar\u00e7on pr\u00e9f\u00e9r\u00e9e ni\u00f1o"}, 1000, 260);
  // Without correction the model is started without its dictionaries (they are not read at all).
  for (const bool correction : {true, false}) {
    const RecognitionResult result =
        recognizer_->perform(image, {.languageCorrection = correction});
    ASSERT_FALSE(result.error);
    EXPECT_EQ(lineTexts(result),
              (std::vector<std::string>{"\u00fcber die Stra\u00dfe",
                                        "gar\u00e7on pr\u00e9f\u00e9r\u00e9e ni\u00f1o"}))
        << correction;
  }
}

// The program's own Latin-script model (built into the build tree beside the programs) reads
// accented European words as the system's script model does; TESSDATA_PREFIX switches to the
// latter.
TEST_F(TesseractTest, ProgramModelReadsAccentsAsTheSystemScriptModelDoes) {
  if (!installed("Latin")) GTEST_SKIP() << "Latin.traineddata is not installed";
  struct stat info;
  ASSERT_EQ(::stat((programModelDirectory() + "Latin.traineddata").c_str(), &info), 0)
      << "the build makes " << programModelDirectory() << "Latin.traineddata";
  const Image image = testing::textImage({"Köln Größe schräg", "señor mañana corazón",
                                          "informação français déjà", "Meißen élève naïve"},
                                         1200, 480);
  std::vector<std::vector<std::string>> readings;
  for (const char* prefix : {"", "/usr/share/tesseract-ocr/5/tessdata"}) {
    ::setenv("TESSDATA_PREFIX", prefix, 1);
    const RecognitionResult result = recognizer_->perform(image, {});
    ASSERT_FALSE(result.error) << *result.error;
    readings.push_back(lineTexts(result));
  }
  ::unsetenv("TESSDATA_PREFIX");
  EXPECT_EQ(readings[0], readings[1]);
  EXPECT_EQ(readings[0][1], "señor mañana corazón");
}

TEST_F(TesseractTest, LanguagesInOrderAndTheOtherSettingsChangeTheEngine) {
  if (!installed("deu")) GTEST_SKIP() << "deu.traineddata is not installed";
  const Image image = testing::textImage({"Stra\u00dfe und Gr\u00f6\u00dfe"}, 1000, 200);
  for (const RecognitionRequest& request :
       {RecognitionRequest{.languages = {"de-DE", "en-US"}},
        RecognitionRequest{.fast = true, .languages = {"de-DE"}},
        RecognitionRequest{.languageCorrection = false, .languages = {"de"}}}) {
    const RecognitionResult result = recognizer_->perform(image, request);
    ASSERT_FALSE(result.error) << *result.error;
    EXPECT_EQ(lineTexts(result), std::vector<std::string>{"Stra\u00dfe und Gr\u00f6\u00dfe"});
  }
}

// `image` (grey) turned `turns` quarters clockwise.
Image turnedImage(const Image& image, int turns) {
  const int32_t w = image.width(), h = image.height();
  const bool swap = turns % 2 == 1;
  const int32_t tw = swap ? h : w, th = swap ? w : h;
  std::vector<uint8_t> out(static_cast<size_t>(tw) * th);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      int32_t nx = x, ny = y;
      if (turns == 1) nx = h - 1 - y, ny = x;
      if (turns == 2) nx = w - 1 - x, ny = h - 1 - y;
      if (turns == 3) nx = y, ny = w - 1 - x;
      out[static_cast<size_t>(ny) * tw + nx] = image.row(y)[x];
    }
  }
  return Image(tw, th, PixelFormat::kGrey, static_cast<size_t>(tw), std::move(out));
}

// An 8-bit Leptonica page as a grey image.
Image imageFromPix(Pix* pix) {
  const int w = pixGetWidth(pix), h = pixGetHeight(pix);
  std::vector<uint8_t> out(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      l_uint32 v = 0;
      pixGetPixel(pix, x, y, &v);
      out[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(v);
    }
  }
  return Image(w, h, PixelFormat::kGrey, static_cast<size_t>(w), std::move(out));
}

struct PixelBox {
  double left, top, right, bottom;  // pixels, top-left origin
};

PixelBox pixels(const BoundingBox& box, int width, int height) {
  return {box.x * width, (1 - box.y - box.height) * height, (box.x + box.width) * width,
          (1 - box.y) * height};
}

// The share of `want` that `got` covers.
double covered(const PixelBox& got, const PixelBox& want) {
  const double w = std::min(got.right, want.right) - std::max(got.left, want.left);
  const double h = std::min(got.bottom, want.bottom) - std::max(got.top, want.top);
  if (w <= 0 || h <= 0) return 0;
  return w * h / ((want.right - want.left) * (want.bottom - want.top));
}

// Each word that occurs once on the page, with its box in pixels of the image it was recognised on.
std::map<std::string, PixelBox> wordBoxes(const RecognitionResult& result, int width, int height) {
  const OcrPage page = pageFromObservations(result.observations, 1);
  std::map<std::string, PixelBox> out;
  std::map<std::string, int> seen;
  for (const OcrFragment& f : page.fragments) {
    out[f.text] = pixels(f.boundingBox, width, height);
    ++seen[f.text];
  }
  // A word that occurs twice cannot be matched to its place; leave it out.
  for (const auto& [word, count] : seen) {
    if (count > 1) out.erase(word);
  }
  return out;
}

const std::vector<std::string> kPageLines = {
    "Certificate of registration issued", "to the holder named below, valid",
    "until the date shown on the back.",  "Reference number 58214 office",
    "Signed and sealed by the registrar", "of births, marriages and deaths."};

std::vector<std::string> splitOn(const std::string& text, char separator) {
  std::vector<std::string> out;
  std::string part;
  for (const char c : text + separator) {
    if (c != separator) {
      part += c;
    } else if (!part.empty()) {
      out.push_back(part);
      part.clear();
    }
  }
  return out;
}

// For each line of the page text, the index of the line of kPageLines it shares most words with
// (lines sharing none left out, a line read in pieces counted once).
std::vector<size_t> pageLineOrder(const std::string& text) {
  std::vector<size_t> order;
  for (const std::string& line : splitOn(text, '\n')) {
    const std::vector<std::string> words = splitOn(line, ' ');
    size_t best = 0, bestShared = 0;
    for (size_t k = 0; k < kPageLines.size(); ++k) {
      const std::vector<std::string> want = splitOn(kPageLines[k], ' ');
      size_t shared = 0;
      for (const std::string& w : words) shared += std::count(want.begin(), want.end(), w) > 0;
      if (shared > bestShared) best = k, bestShared = shared;
    }
    if (bestShared > 0 && (order.empty() || order.back() != best)) order.push_back(best);
  }
  return order;
}

// A colour copy of a grey page: each pixel's grey `v` becomes `colour(x, y, v)`.
template <typename Colour>
Image colouredImage(const Image& grey, const Colour& colour) {
  std::vector<uint8_t> rgb(static_cast<size_t>(grey.width()) * grey.height() * 4);
  for (int32_t y = 0; y < grey.height(); ++y) {
    for (int32_t x = 0; x < grey.width(); ++x) {
      const std::array<int, 3> c = colour(x, y, grey.row(y)[x]);
      uint8_t* p = &rgb[(static_cast<size_t>(y) * grey.width() + x) * 4];
      for (int k = 0; k < 3; ++k) p[k] = static_cast<uint8_t>(c[k]);
      p[3] = 255;
    }
  }
  return Image(grey.width(), grey.height(), PixelFormat::kRgbx,
               static_cast<size_t>(grey.width()) * 4, std::move(rgb));
}

TEST_F(TesseractTest, TextUnderAStampIsReadAndTextInColourIsKept) {
  const Image page = testing::textImage(kPageLines, 1100, 700, 30, 50);
  ASSERT_FALSE(page.empty());
  const RecognitionRequest request{.languages = {"en"}};
  const std::string text =
      pageFromObservations(recognizer_->perform(page, request).observations, 1).text;
  ASSERT_EQ(splitOn(text, '\n').size(), kPageLines.size()) << text;
  // A red stamp's ring crossing the second to fifth lines, its ink multiplied onto the page.
  const Image stamped = colouredImage(page, [](int x, int y, int v) {
    const double r = std::hypot(x - 420, y - 200);
    const bool ring = r > 95 && r < 112;
    return ring ? std::array<int, 3>{v * 215 / 255, v * 35 / 255, v * 45 / 255}
                : std::array<int, 3>{v, v, v};
  });
  // The third line printed in red.
  const Image redLine = colouredImage(page, [](int, int y, int v) {
    const int tint = y >= 50 + 3 * 36 && y < 50 + 4 * 36 ? 255 - v : 0;
    return std::array<int, 3>{v + tint * 200 / 255, v + tint * 30 / 255, v + tint * 30 / 255};
  });
  for (const auto& [name, image] : {std::pair{"stamped", &stamped}, {"red line", &redLine}}) {
    const RecognitionResult result = recognizer_->perform(*image, request);
    ASSERT_FALSE(result.error) << name;
    EXPECT_EQ(pageFromObservations(result.observations, 1).text, text) << name;
  }
}

TEST_F(TesseractTest, TurnedAndSkewedPagesAreReadWithBoxesOnTheirWordsInTheInput) {
  const Image upright = testing::textImage(kPageLines, 1100, 700, 30, 50);
  ASSERT_FALSE(upright.empty());
  const RecognitionRequest request{.languages = {"en"}};
  const RecognitionResult level = recognizer_->perform(upright, request);
  ASSERT_FALSE(level.error);
  const std::map<std::string, PixelBox> truth = wordBoxes(level, upright.width(), upright.height());
  ASSERT_GE(truth.size(), 20u);
  const std::vector<size_t> uprightOrder = {0, 1, 2, 3, 4, 5};
  ASSERT_EQ(pageLineOrder(pageFromObservations(level.observations, 1).text), uprightOrder);

  // Each case: the page as handed in, and the map from pixels of the upright page into it.
  struct Case {
    std::string name;
    Image image;
    PageTransform fromUpright;
  };
  std::vector<Case> cases;
  for (int turns = 1; turns < 4; ++turns) {
    cases.push_back({"turned " + std::to_string(turns), turnedImage(upright, turns),
                     inverted(quarterTurnTransform(turns, upright.width(), upright.height()))});
  }
  PixPtr pix = pixFromImage(upright);
  // Small print turned a quarter: the page is enlarged for reading, and measured upright.
  PixPtr small(pixScaleAreaMap(pix.get(), 0.4f, 0.4f));
  const int sw = pixGetWidth(small.get()), sh = pixGetHeight(small.get());
  for (const int turns : {1, 3}) {
    cases.push_back({"small, turned " + std::to_string(turns),
                     turnedImage(imageFromPix(small.get()), turns),
                     composed(inverted(quarterTurnTransform(turns, sw, sh)),
                              scaleTransform(sw, sh, upright.width(), upright.height()))});
  }
  // A photo taken well askew (25 degrees) is set level too.
  for (const double degrees : {-9.0, 6.0, 12.0, -25.0}) {
    const PreparedPage skewed = rotatedPage(pix.get(), degrees);
    cases.push_back({"skewed " + std::to_string(degrees), imageFromPix(skewed.pix.get()),
                     inverted(skewed.toInput)});
  }
  // Negatives (light letters on a dark ground), of the page and of its small print.
  PixPtr negative(pixInvert(nullptr, pix.get()));
  cases.push_back({"negative", imageFromPix(negative.get()), PageTransform{}});
  PixPtr smallNegative(pixInvert(nullptr, small.get()));
  cases.push_back({"negative of small print", imageFromPix(smallNegative.get()),
                   scaleTransform(sw, sh, upright.width(), upright.height())});
  // Photographed at an angle on a dark table and on a light grey desk, and square on a grey desk.
  const double w = upright.width(), h = upright.height();
  const SourcePoint tilted[4] = {{90, 50}, {w + 70, 100}, {w + 110, h + 90}, {60, h + 40}};
  const SourcePoint trapezoid[4] = {{140, 60}, {w + 40, 80}, {w + 120, h + 70}, {50, h + 60}};
  const SourcePoint square[4] = {{100, 80}, {w + 100, 80}, {w + 100, h + 80}, {100, h + 80}};
  for (const auto& [quad, level] : {std::pair{&tilted, 45}, {&trapezoid, 175}, {&square, 200}}) {
    PixPtr photo = testing::photographedAtAnAngle(pix.get(), *quad, upright.width() + 200,
                                                  upright.height() + 160, level, 20);
    cases.push_back({"photographed on " + std::to_string(level), imageFromPix(photo.get()),
                     quadTransform(*quad, upright.width(), upright.height())});
  }
  for (const Case& c : cases) {
    const RecognitionResult result = recognizer_->perform(c.image, request);
    ASSERT_FALSE(result.error) << c.name;
    const std::map<std::string, PixelBox> got =
        wordBoxes(result, c.image.width(), c.image.height());
    size_t matched = 0;
    for (const auto& [word, box] : got) {
      const auto it = truth.find(word);
      if (it == truth.end()) continue;
      const PixelBox& u = it->second;
      const BoundingBox expected = boxInSource(
          c.fromUpright, static_cast<int>(u.left), static_cast<int>(u.top),
          static_cast<int>(u.right), static_cast<int>(u.bottom), c.image.width(), c.image.height());
      EXPECT_GT(covered(box, pixels(expected, c.image.width(), c.image.height())), 0.8)
          << c.name << ": " << word;
      ++matched;
    }
    // The page is read, not letter soup: most of its words are found again, and its lines come
    // in the order they read on the upright page.
    EXPECT_GE(matched, truth.size() * 8 / 10) << c.name;
    const std::string text = pageFromObservations(result.observations, 1).text;
    EXPECT_EQ(pageLineOrder(text), uprightOrder) << c.name << ":\n" << text;
  }
}

TEST_F(TesseractTest, PagesOfTinyLettersAreReadWithBoxesOnTheirWordsInTheInput) {
  const Image upright = testing::textImage(kPageLines, 1100, 700, 30, 50);
  ASSERT_FALSE(upright.empty());
  const std::map<std::string, PixelBox> truth = wordBoxes(
      recognizer_->perform(upright, {.languages = {"en"}}), upright.width(), upright.height());
  ASSERT_GE(truth.size(), 20u);
  // The page scanned at a quarter and at a fifth of its resolution: letters 4 - 6 pixels high,
  // read in English and with no language named (the script model with English beside it).
  PixPtr pix = pixFromImage(upright);
  for (const auto& [factor, request] :
       {std::pair{0.25f, RecognitionRequest{.languages = {"en"}}},
        std::pair{0.2f, RecognitionRequest{.languages = {"en"}}},
        std::pair{0.25f, RecognitionRequest{}}, std::pair{0.2f, RecognitionRequest{}}}) {
    PixPtr small(pixScaleAreaMap(pix.get(), factor, factor));
    const Image image = imageFromPix(small.get());
    const RecognitionResult result = recognizer_->perform(image, request);
    ASSERT_FALSE(result.error) << factor;
    const std::map<std::string, PixelBox> got = wordBoxes(result, image.width(), image.height());
    size_t matched = 0;
    for (const auto& [word, box] : got) {
      const auto it = truth.find(word);
      if (it == truth.end()) continue;
      const PixelBox& u = it->second;
      const PixelBox expected = {u.left * factor, u.top * factor, u.right * factor,
                                 u.bottom * factor};
      EXPECT_GT(covered(box, expected), 0.7) << factor << ": " << word;
      ++matched;
    }
    EXPECT_GE(matched, truth.size() * 6 / 10) << factor;
  }
}

// With no language named, a page of tiny letters whose reading holds accents is read by the
// script model alone: the English model beside it reads accented letters as bare ones.
TEST_F(TesseractTest, TinyAccentedLettersKeepTheirAccentsWhenNoLanguageIsNamed) {
  if (!installed("Latin")) GTEST_SKIP() << "Latin.traineddata is not installed";
  const std::vector<std::string> lines = {
      "Der Beh\u00f6rde wurde die Urkunde \u00fcber",
      "die Gr\u00f6\u00dfe des Grundst\u00fccks",
      "vorgelegt. Les \u00e9l\u00e8ves fran\u00e7ais ont re\u00e7u",
      "leur dipl\u00f4me apr\u00e8s l'\u00e9t\u00e9.",
      "El se\u00f1or Mu\u00f1oz firm\u00f3 la declaraci\u00f3n",
      "en la oficina de Le\u00f3n."};
  const Image upright = testing::textImage(lines, 1300, 700, 30, 50);
  ASSERT_FALSE(upright.empty());
  // Letters 4 - 5 pixels high, where English beside the script model reads "uber", "francais".
  PixPtr pix = pixFromImage(upright);
  PixPtr small(pixScaleAreaMap(pix.get(), 0.22f, 0.22f));
  const RecognitionResult result = recognizer_->perform(imageFromPix(small.get()), {});
  ASSERT_FALSE(result.error);
  std::string read;
  for (const std::string& line : lineTexts(result)) read += line + "\n";
  const std::vector<std::string> accented = {
      "Beh\u00f6rde",  "\u00fcber",  "Gr\u00f6\u00dfe",  "Grundst\u00fccks", "\u00e9l\u00e8ves",
      "fran\u00e7ais", "re\u00e7u",  "dipl\u00f4me",     "apr\u00e8s",       "se\u00f1or",
      "Mu\u00f1oz",    "firm\u00f3", "declaraci\u00f3n", "Le\u00f3n"};
  const auto found = std::count_if(accented.begin(), accented.end(), [&](const std::string& w) {
    return read.find(w) != std::string::npos;
  });
  EXPECT_GE(found, 11) << read;
}

}  // namespace
}  // namespace marrowfen::scan
