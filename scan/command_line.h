// marrowfen-scan's command line: options, number reading, page selections, and fail().
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace marrowfen::scan {

// A set of 1-based page numbers held as inclusive ranges, so that 1-9223372036854775807 costs
// no memory. Never empty once parsed.
struct PageSelection {
  std::vector<std::pair<int64_t, int64_t>> ranges;  // inclusive [first, last], first >= 1

  bool contains(int64_t pageNumber) const;
};

// The parsed options of one run.
struct RecognitionOptions {
  bool languageCorrection = true;      // the recogniser's language model on or off
  double renderScale = 2;              // image resampling factor and base PDF render scale
  double minimumLongEdge = 1600;       // PDF pages are rendered at least this long
  std::vector<std::string> languages;  // BCP 47 tags, in order; empty: recogniser's default
  bool fast = false;                   // the faster, less accurate recognition
  std::optional<PageSelection> pages;  // pages of a PDF to read; absent: all
  bool scaleWasSet = false;            // a valid --scale appeared; images are resampled only then
  std::string source = "ocr";          // "ocr", "auto" or "text-layer"
};

// What parseCommandLine returns.
struct CommandLine {
  RecognitionOptions options;           // the options, defaults where not given
  std::vector<std::string> positional;  // the other arguments, in order ("--render-pages" too)
};

// Thrown by fail(); the program's top level writes the failure document and exits with `code`.
struct RunEnded {
  std::string message;  // the failure's error text
  int32_t code = 1;     // the exit status
};

// Ends the run with a failure: the top level writes {"ok":false,"error":message} and exits with
// `code`. Never returns.
[[noreturn]] void fail(std::string message, int32_t code = 1);

// An optional sign and ASCII digits, nothing else, within the signed 64-bit range.
std::optional<int64_t> readInteger(std::string_view text);
// A complete strtod literal under the "C" locale; no leading blank. NaN and infinities are
// returned as such; callers' range tests reject them.
std::optional<double> readFloating(std::string_view text);

// The page numbers that a --pages value names, or nothing when it is no valid selection.
std::optional<PageSelection> parsePageSelection(std::string_view text);

// Parses the whole argument vector (index 0, the program name, is not examined). Calls fail()
// at the first bad argument.
CommandLine parseCommandLine(const std::vector<std::string>& argv);

// The value of MARROWFEN_DOCUMENT_PASSWORD, read afresh, or "" when unset.
std::string documentPasswordFromEnvironment();

}  // namespace marrowfen::scan
