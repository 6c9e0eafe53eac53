// The text-recogniser service that recognition (recognize.h) consumes. The real one is the
// Tesseract adapter (tesseract_recognizer.h); tests supply their own.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "scan/image.h"
#include "scan/records.h"

namespace marrowfen::scan {

// The best reading of one observation.
class RecognizedText {
 public:
  virtual ~RecognizedText() = default;
  // The recognised text, UTF-8, untrimmed.
  virtual const std::string& string() const = 0;
  // 0..1.
  virtual float confidence() const = 0;
  // The box of the text at UTF-8 byte offsets [begin, end) of string(), normalised to the image
  // with a lower-left origin; nothing when the range cannot be located (a failed lookup is
  // reported the same way).
  virtual std::optional<BoundingBox> boundingBox(size_t begin, size_t end) const = 0;
  // The same box in the recogniser's upright frame (see TextObservation::uprightBox); nothing
  // when the recogniser read the image as it was given, or the range cannot be located.
  virtual std::optional<BoundingBox> uprightBoundingBox(size_t /*begin*/, size_t /*end*/) const {
    return std::nullopt;
  }
};

// One recognised region of text (a line), in the recogniser's own order.
struct TextObservation {
  BoundingBox boundingBox;  // normalised, lower-left origin
  // The line's box on the page as the recogniser read it upright, when that page is turned or
  // rotated from the image given: normalised to the upright page, lower-left origin. Lines are
  // put in the order they stand there; boundingBox stays the box reported.
  std::optional<BoundingBox> uprightBox;
  std::shared_ptr<const RecognizedText> topCandidate;  // nullptr when none was offered
};

// Told by a recogniser, on the thread that recognises, when it starts and stops reading words.
// Reading words takes time in proportion to the text on the page; everything else (preparing the
// page, finding its lines) should not take long on any page, and is what a watchdog bounds.
class RecognitionPhases {
 public:
  virtual ~RecognitionPhases() = default;
  virtual void readingWords(bool reading) = 0;
};

// The settings of one request; every request is made afresh with them.
struct RecognitionRequest {
  bool fast = false;                    // the faster configuration
  bool languageCorrection = true;       // dictionary / language model on
  std::vector<std::string> languages;   // BCP 47 tags in order; empty: the recogniser's default
  RecognitionPhases* phases = nullptr;  // told of word reading when set
  bool startOnly = false;  // only start the engine for these settings; the image is not read
};

// What one request gives: the observations, or the reason the request could not be performed.
struct RecognitionResult {
  std::vector<TextObservation> observations;  // empty when nothing was recognised
  std::optional<std::string> error;           // set when the request failed: its description
};

class TextRecognizer {
 public:
  virtual ~TextRecognizer() = default;
  // Recognises the upright image synchronously. The image is taken, not altered: a recogniser
  // lets go of it as soon as it has made its own copy, so a caller that moves a page in holds
  // one full-size copy of it the less while the engine works.
  virtual RecognitionResult perform(Image image, const RecognitionRequest& request) const = 0;
};

}  // namespace marrowfen::scan
