// Recognition of one page image: words with boxes, lines in reading order, the page confidence.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scan/image.h"
#include "scan/recognition_deadline.h"
#include "scan/recognizer.h"
#include "scan/records.h"

namespace marrowfen::scan {

// The answer of recognize(): a page, or the recogniser's description of why it could not work.
struct Recognition {
  std::optional<OcrPage> page;  // set on success; source and sourceReason absent
  std::string error;            // the recogniser's error description when page is absent
  bool overTime = false;        // the error is that the page ran out of time
};

// Recognises `image` with platform().recognizer and the fast, languageCorrection and languages
// fields of recognitionOptions, read at every call. Fails only when the recogniser refuses the
// request; its error is handed on unchanged.
// The image is handed on to the recogniser: move a page in to free its pixels early. The page is
// recognised under a RecognitionDeadline (recognition_deadline.h) with this process's over-time
// action, or with `overTime` when one is given.
Recognition recognize(Image image, int64_t pageNumber);
Recognition recognize(Image image, int64_t pageNumber, RecognitionOverTime overTime);

// Starts platform().recognizer's engine for the settings recognize() would use now, reading no
// page: before worker processes are forked, so that they share the started engine.
void startRecognizer();

// The page made of a recogniser's observations, in the recogniser's order: trimmed lines, one
// fragment per located word (or per line whose words cannot be located), both sorted into reading
// order, the lines joined by line feeds, and the mean line confidence.
OcrPage pageFromObservations(const std::vector<TextObservation>& observations, int64_t pageNumber);

// The words of a trimmed line: split at grapheme clusters whose first scalar is white space,
// runs of separators counting as one, no empty words. Each is a view into `line`.
std::vector<std::string_view> splitWords(std::string_view line);

// The first occurrence of `word` in `text` at or after byte `from` that begins and ends on
// grapheme-cluster boundaries, as a byte offset; nothing when there is none.
std::optional<size_t> findWord(std::string_view text, std::string_view word, size_t from);

}  // namespace marrowfen::scan
