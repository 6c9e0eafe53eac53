#include "scan/recognize.h"

#include <unicode/brkiter.h>
#include <unicode/utext.h>

#include <memory>

#include "common/unicode.h"
#include "scan/platform.h"
#include "scan/reading_order.h"
#include "scan/recognition_deadline.h"
#include "scan/run_state.h"

namespace marrowfen::scan {
namespace {

// Byte offsets of the grapheme-cluster boundaries of `text`, 0 and text.size() included.
std::vector<size_t> graphemeBoundaries(std::string_view text) {
  std::vector<size_t> boundaries;
  UErrorCode status = U_ZERO_ERROR;
  UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
  std::unique_ptr<icu::BreakIterator> breaks(
      icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
  if (U_SUCCESS(status)) {
    breaks->setText(utext, status);
  }
  if (U_FAILURE(status)) {
    // Without ICU's break data fall back to scalar boundaries.
    for (size_t i = 0; i < text.size();) {
      boundaries.push_back(i);
      nextScalar(text, i);
    }
    boundaries.push_back(text.size());
  } else {
    for (int32_t b = breaks->first(); b != icu::BreakIterator::DONE; b = breaks->next()) {
      boundaries.push_back(static_cast<size_t>(b));
    }
  }
  utext_close(utext);
  return boundaries;
}

bool isWordSeparator(char32_t c) { return isWhiteSpaceProperty(c) || isLineBreak(c); }

}  // namespace

std::vector<std::string_view> splitWords(std::string_view line) {
  std::vector<std::string_view> words;
  const std::vector<size_t> boundaries = graphemeBoundaries(line);
  size_t wordStart = 0;
  bool inWord = false;
  for (size_t k = 0; k + 1 < boundaries.size(); ++k) {
    size_t first = boundaries[k];
    const bool separator = isWordSeparator(nextScalar(line, first));
    if (separator && inWord) {
      words.push_back(line.substr(wordStart, boundaries[k] - wordStart));
      inWord = false;
    } else if (!separator && !inWord) {
      wordStart = boundaries[k];
      inWord = true;
    }
  }
  if (inWord) words.push_back(line.substr(wordStart));
  return words;
}

namespace {

std::optional<size_t> findWordWithin(std::string_view text, const std::vector<size_t>& boundaries,
                                     std::string_view word, size_t from) {
  if (word.empty() || from > text.size()) return std::nullopt;
  auto isBoundary = [&](size_t offset) {
    return std::binary_search(boundaries.begin(), boundaries.end(), offset);
  };
  for (size_t at = text.find(word, from); at != std::string_view::npos;
       at = text.find(word, at + 1)) {
    // A match inside a cluster (a base letter of an accented one) is no occurrence.
    if (isBoundary(at) && isBoundary(at + word.size())) return at;
  }
  return std::nullopt;
}

}  // namespace

std::optional<size_t> findWord(std::string_view text, std::string_view word, size_t from) {
  return findWordWithin(text, graphemeBoundaries(text), word, from);
}

OcrPage pageFromObservations(const std::vector<TextObservation>& observations, int64_t pageNumber) {
  // Each line and fragment keeps the box it is put in reading order by: its box on the upright
  // page when the recogniser read the page turned, otherwise the box it is reported with.
  struct Line {
    std::string text;
    BoundingBox box;
  };
  struct Fragment {
    OcrFragment fragment;
    BoundingBox orderBox;
  };
  std::vector<Line> lines;
  std::vector<double> lineConfidences;
  std::vector<Fragment> fragments;

  for (const TextObservation& observation : observations) {
    if (!observation.topCandidate) continue;
    const RecognizedText& candidate = *observation.topCandidate;
    const std::string& full = candidate.string();
    const std::string_view line = trimmed(full);
    if (line.empty()) continue;
    // Offset of the trimmed text inside the candidate's own string, for the box lookups.
    const size_t leading = static_cast<size_t>(line.data() - full.data());
    const double confidence = static_cast<double>(candidate.confidence());
    const BoundingBox lineOrderBox = observation.uprightBox.value_or(observation.boundingBox);
    lines.push_back({std::string(line), lineOrderBox});
    lineConfidences.push_back(confidence);

    bool anyFragment = false;
    size_t cursor = 0;
    const std::vector<size_t> boundaries = graphemeBoundaries(line);
    for (std::string_view word : splitWords(line)) {
      if (trimmed(word).empty()) continue;
      const std::optional<size_t> at = findWordWithin(line, boundaries, word, cursor);
      if (!at) continue;
      cursor = *at + word.size();
      const std::optional<BoundingBox> box =
          candidate.boundingBox(leading + *at, leading + *at + word.size());
      if (!box) continue;
      BoundingBox orderBox = *box;
      if (observation.uprightBox) {
        // A word whose upright box cannot be told is placed by its line's.
        orderBox = candidate.uprightBoundingBox(leading + *at, leading + *at + word.size())
                       .value_or(*observation.uprightBox);
      }
      fragments.push_back({{std::string(word), confidence, *box}, orderBox});
      anyFragment = true;
    }
    if (!anyFragment) {
      fragments.push_back({{std::string(line), confidence, observation.boundingBox}, lineOrderBox});
    }
  }

  runMergeSort(fragments, [](const Fragment& a, const Fragment& b) {
    return comesBeforeInReadingOrder(a.orderBox, b.orderBox);
  });
  runMergeSort(
      lines, [](const Line& a, const Line& b) { return comesBeforeInReadingOrder(a.box, b.box); });

  OcrPage page;
  page.pageNumber = pageNumber;
  for (size_t k = 0; k < lines.size(); ++k) {
    if (k > 0) page.text += '\n';
    page.text += lines[k].text;
  }
  double sum = 0;
  for (double c : lineConfidences) sum += c;
  page.confidence = lineConfidences.empty() ? 0 : sum / static_cast<double>(lineConfidences.size());
  page.fragments.reserve(fragments.size());
  for (Fragment& f : fragments) page.fragments.push_back(std::move(f.fragment));
  return page;
}

namespace {

// The request recognitionOptions ask for now.
RecognitionRequest requestFromOptions() {
  return {.fast = recognitionOptions.fast,
          .languageCorrection = recognitionOptions.languageCorrection,
          .languages = recognitionOptions.languages};
}

}  // namespace

void startRecognizer() {
  if (const TextRecognizer* recognizer = platform().recognizer) {
    RecognitionRequest request = requestFromOptions();
    request.startOnly = true;
    recognizer->perform(Image(), request);
  }
}

Recognition recognize(Image image, int64_t pageNumber) {
  return recognize(std::move(image), pageNumber, recognitionOverTime());
}

Recognition recognize(Image image, int64_t pageNumber, RecognitionOverTime overTime) {
  // Read before the watch begins: a page that runs out of time has the recogniser replaced.
  const TextRecognizer* recognizer = platform().recognizer;
  if (recognizer == nullptr) return {.error = "no text recogniser is available"};
  RecognitionDeadline deadline(pageNumber, std::move(overTime));
  RecognitionRequest request = requestFromOptions();
  request.phases = &deadline;
  RecognitionResult result = recognizer->perform(std::move(image), request);
  if (result.error) return {.error = *result.error};
  return {.page = pageFromObservations(result.observations, pageNumber)};
}

}  // namespace marrowfen::scan
