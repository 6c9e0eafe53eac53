// The text recogniser over Tesseract 5: one observation per text line, its candidate being the
// line's words joined by single spaces.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scan/page_transform.h"
#include "scan/recognizer.h"

struct Pix;
namespace tesseract {
class TessBaseAPI;
}

namespace marrowfen::scan {

struct PixDeleter;  // page_preparation.h
using PixPtr = std::unique_ptr<Pix, PixDeleter>;

// The traineddata name for a BCP 47 tag ("de-DE" -> "deu", "zh-Hant" -> "chi_tra",
// "sr-Latn" -> "srp_latn"); a bare three-letter primary subtag is taken as it is. Nothing for a
// tag this mapping does not know. Case and "_" versus "-" do not matter.
std::optional<std::string> traineddataName(std::string_view tag);

// The quarter turns clockwise to read a badly read page at, in order: the orientation model's
// (`modelTurns`, 0 when it is unsure), then, when the engine read most lines running up or down
// (`textTurns` odd), both quarter turns, the one the engine's lines suggest first, and otherwise
// the half turn. Repeats and no turn are left out.
std::vector<int> turnsToTry(int modelTurns, int textTurns);

// Whether a word the engine read with `confidence` (0 - 100), standing `heightToLetters` times as
// high as the page's letters (0 when unknown), is more likely a remnant of a page's furniture
// than text: a word of one, two or three characters the engine doubts (a check box read as "o",
// the end of a rule as "e", a speck as "i"), or a word made only of stroke marks (- _ | = ~ and
// dashes) read with doubt; either only when it does not stand about as high as the letters. Such
// words are left out of what is returned.
bool readAsRemnant(std::string_view word, float confidence, double heightToLetters);

// The directory the traineddata files are read from: $TESSDATA_PREFIX when set, otherwise the
// system's tessdata directory.
std::string tessdataDirectory();

// The directory of the program's own models, ../share/marrowfen/tessdata/ from the program's
// directory (an installed tree and the build tree alike); empty when that is unknown.
std::string programModelDirectory();

// A traineddata file to start the engine with: its directory (ending in "/") and its name.
struct ModelChoice {
  std::string directory;
  std::string name;
  bool operator==(const ModelChoice&) const = default;
};

// The model read when no language is named. The program's own Latin-script model in
// `programModels` (the script model with a smaller word list, scripts/make-latin-model) comes
// first, unless `prefixSet` (TESSDATA_PREFIX names the models to use); then the script model
// "Latin" in `tessdata`; then "eng" there. `exists` tells whether a file exists.
ModelChoice defaultModel(bool prefixSet, const std::string& programModels,
                         const std::string& tessdata,
                         const std::function<bool(const std::string&)>& exists);

// The share of the letters of UTF-8 `text` that are Latin letters with diacritics (U+00C0 -
// U+024F: ä, é, ß, ø, ł ...); letters are those and the ASCII ones; 0 without letters.
double accentedLetterShare(std::string_view text);

// Reads `size` bytes at `offset` of a file into `out`; false when it cannot.
using ReadAt = std::function<bool(int64_t offset, size_t size, char* out)>;

// A traineddata file of `size` bytes (a count of components, their offsets, then the components),
// read through `readAt`, with the components numbered in `dropped` left out and never read, laid
// out as Tesseract reads it; nothing when the file is not laid out that way or cannot be read.
// Used to start the engine without the line recogniser's dictionaries, which its variables do not
// switch off.
std::optional<std::vector<char>> traineddataWithout(int64_t size, const ReadAt& readAt,
                                                    const std::vector<int>& dropped);

class TesseractRecognizer : public TextRecognizer {
 public:
  TesseractRecognizer();
  ~TesseractRecognizer() override;

  // Languages map through traineddataName, keep their order (repeats dropped) and default to
  // the Latin-script model (defaultModel). A tag that maps to nothing
  // or to a file that is not installed fails the request with a description naming the tag. The
  // engine is started on the first request and kept for later ones with the same languages and
  // correction setting; `fast` switches off the second pass over lines read as inverted (light on
  // dark) text, `languageCorrection` loads or leaves out the dictionaries that the line
  // recogniser's search consults.
  //
  // The page is prepared first (page_preparation.h): small text enlarged, huge text reduced,
  // skewed lines set level; with no language named, a page of tiny letters is read with the
  // English model beside the script model unless its reading holds accented letters; a page that
  // then reads badly is read again at the turn the orientation model (osd.traineddata, when
  // installed) names and at its likely turns (turnsToTry), and a turned reading kept if it reads
  // better. A colour page with coloured marks on it is read again with the marks made pale, and the
  // better reading kept. Every box is mapped back into `image`.
  RecognitionResult perform(Image image, const RecognitionRequest& request) const override;

 private:
  struct Engine;
  // Makes engine_ the engine for `languages` ("+"-joined traineddata names in `dir`) with the
  // dictionaries on or off, keeping the running one when it already is; the error otherwise.
  std::optional<std::string> startEngine(const std::string& dir, const std::string& languages,
                                         bool languageCorrection) const;
  // Recognises `page` and maps its boxes through `toInput` into a `width` x `height` input,
  // telling `phases` (when set) while the engine reads words; `textTurns`, when given, tells
  // the quarter turns clockwise that set most of the text read upright (0 when it stood upright).
  // Pages of tiny letters (`tinyText`) are read with English beside the script model when the
  // settings say so (kAccentedText), and again by the script model alone when they read well
  // as text with accents.
  RecognitionResult recognised(bool tinyText, Pix* page, const PageTransform& toInput, int width,
                               int height, RecognitionPhases* phases,
                               int* textTurns = nullptr) const;
  // recognised, by the engine for `languages`.
  RecognitionResult readWith(const std::string& languages, bool tinyText, Pix* page,
                             const PageTransform& toInput, int width, int height,
                             RecognitionPhases* phases, int* textTurns) const;
  // Reads `page` (an image mapped to the input by `toInput`) turned `turns` quarters clockwise
  // and prepared again at that orientation.
  RecognitionResult turnedReading(Pix* page, const PageTransform& toInput, int turns, int width,
                                  int height, RecognitionPhases* phases) const;
  // Prepares `pix` (an image of the `width` x `height` input) and recognises it; a page that
  // reads badly is read again at the turns of turnsToTry (those the orientation model did not
  // name only while the page has been cheap) until one reads well, the best reading kept.
  RecognitionResult uprightReading(PixPtr pix, int width, int height,
                                   RecognitionPhases* phases) const;
  // uprightReading of the negative of a mostly dark page (negativeOfDarkPage), and of the page as
  // it is when the negative does not read well, the better kept; of the page alone otherwise.
  RecognitionResult negativeOrPage(PixPtr pix, int width, int height,
                                   RecognitionPhases* phases) const;
  // Quarter turns clockwise that set `page` upright; 0 when upright or unsure.
  int quarterTurnsToUpright(Pix* page) const;

  // The running engine for `languages` (the request's, or those of tiny letters) with the
  // request's settings, thresholding the next page locally when its letters are tiny; the
  // request's languages when those of tiny letters cannot start; null when none can.
  tesseract::TessBaseAPI* engineFor(const std::string& languages, bool tinyText) const;

  struct Settings;  // the languages and settings of the request being read
  mutable std::unique_ptr<Settings> settings_;
  mutable std::unique_ptr<Engine> engine_;
  mutable std::unique_ptr<tesseract::TessBaseAPI> orientation_;  // started on first use
  mutable bool orientationMissing_ = false;
};

}  // namespace marrowfen::scan
