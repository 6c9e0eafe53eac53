#include "scan/command_line.h"

#include <locale.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>

#include "common/unicode.h"
#include "scan/run_state.h"

namespace marrowfen::scan {
namespace {

std::vector<std::string_view> splitKeepingEmpty(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    const size_t at = text.find(separator, start);
    if (at == std::string_view::npos) {
      parts.push_back(text.substr(start));
      return parts;
    }
    parts.push_back(text.substr(start, at - start));
    start = at + 1;
  }
}

std::vector<std::string_view> splitDroppingEmpty(std::string_view text, char separator) {
  auto parts = splitKeepingEmpty(text, separator);
  std::erase_if(parts, [](std::string_view part) { return part.empty(); });
  return parts;
}

std::string_view trimBlanks(std::string_view text) {
  return trimScalars(text, isSpaceSeparatorOrTab);
}

std::vector<std::string> parseLanguages(std::string_view value) {
  std::vector<std::string> languages;
  for (std::string_view piece : splitDroppingEmpty(value, ',')) {
    piece = trimBlanks(piece);
    if (!piece.empty()) languages.emplace_back(piece);
  }
  return languages;
}

// Sorts and merges overlapping or touching ranges so that contains() can search them.
void normalise(PageSelection& selection) {
  auto& ranges = selection.ranges;
  std::sort(ranges.begin(), ranges.end());
  std::vector<std::pair<int64_t, int64_t>> merged;
  for (const auto& range : ranges) {
    if (!merged.empty() &&
        (merged.back().second == INT64_MAX || range.first <= merged.back().second + 1)) {
      merged.back().second = std::max(merged.back().second, range.second);
    } else {
      merged.push_back(range);
    }
  }
  ranges = std::move(merged);
}

}  // namespace

bool PageSelection::contains(int64_t pageNumber) const {
  // Ranges are sorted and disjoint: find the last one starting at or before the page.
  auto it = std::upper_bound(ranges.begin(), ranges.end(), pageNumber,
                             [](int64_t n, const auto& range) { return n < range.first; });
  if (it == ranges.begin()) return false;
  --it;
  return pageNumber <= it->second;
}

void fail(std::string message, int32_t code) { throw RunEnded{std::move(message), code}; }

std::optional<int64_t> readInteger(std::string_view text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) return std::nullopt;
  // Accumulate as a negative number so that INT64_MIN is reachable.
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    const int digit = c - '0';
    if (value < (INT64_MIN + digit) / 10) return std::nullopt;
    value = value * 10 - digit;
  }
  if (!negative) {
    if (value == INT64_MIN) return std::nullopt;
    value = -value;
  }
  return value;
}

std::optional<double> readFloating(std::string_view text) {
  if (text.empty()) return std::nullopt;
  switch (text.front()) {
    case ' ':
    case '\t':
    case '\n':
    case '\v':
    case '\f':
    case '\r':
      return std::nullopt;
  }
  // strtod needs a terminated string; an embedded NUL would end it early and is caught below.
  const std::string copy(text);
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
  char* end = nullptr;
  const double value = strtod_l(copy.c_str(), &end, cLocale);
  if (end != copy.c_str() + copy.size() || end == copy.c_str()) return std::nullopt;
  return value;
}

std::optional<PageSelection> parsePageSelection(std::string_view text) {
  const auto pieces = splitDroppingEmpty(text, ',');
  if (pieces.empty()) return std::nullopt;
  PageSelection selection;
  for (std::string_view piece : pieces) {
    const auto parts = splitKeepingEmpty(piece, '-');
    if (parts.size() == 1) {
      const auto page = readInteger(trimBlanks(parts[0]));
      if (!page || *page < 1) return std::nullopt;
      selection.ranges.emplace_back(*page, *page);
    } else if (parts.size() == 2) {
      const auto first = readInteger(trimBlanks(parts[0]));
      const auto last = readInteger(trimBlanks(parts[1]));
      if (!first || !last || *first < 1 || *last < *first) return std::nullopt;
      selection.ranges.emplace_back(*first, *last);
    } else {
      return std::nullopt;
    }
  }
  normalise(selection);
  return selection;
}

CommandLine parseCommandLine(const std::vector<std::string>& argv) {
  CommandLine result;
  RecognitionOptions& options = result.options;
  for (size_t i = 1; i < argv.size(); ++i) {
    const std::string& arg = argv[i];
    auto takeValue = [&]() -> const std::string& {
      if (i + 1 >= argv.size()) fail(arg + " needs a value.");
      return argv[++i];
    };
    if (arg == "--render-pages") {
      result.positional.push_back(arg);
    } else if (arg == "--no-language-correction") {
      options.languageCorrection = false;
    } else if (arg == "--language-correction") {
      options.languageCorrection = true;
    } else if (arg == "--fast") {
      options.fast = true;
    } else if (arg == "--accurate") {
      options.fast = false;
    } else if (arg == "--scale") {
      const auto value = readFloating(takeValue());
      if (!value || !(*value > 0 && *value <= 8)) fail("--scale must be between 0 and 8.");
      options.renderScale = *value;
      options.scaleWasSet = true;
    } else if (arg == "--min-long-edge") {
      const auto value = readFloating(takeValue());
      if (!value || !(*value >= 0 && *value <= 10000)) {
        fail("--min-long-edge must be between 0 and 10000.");
      }
      options.minimumLongEdge = *value;
    } else if (arg == "--languages") {
      options.languages = parseLanguages(takeValue());
    } else if (arg == "--source") {
      const std::string& value = takeValue();
      if (value != "ocr" && value != "auto" && value != "text-layer") {
        fail("--source must be ocr, auto or text-layer.");
      }
      options.source = value;
    } else if (arg == "--pages") {
      auto selection = parsePageSelection(takeValue());
      if (!selection) fail("--pages must look like 1-3,5.");
      options.pages = std::move(selection);
    } else if (arg.size() > 2 && arg.starts_with("--")) {
      fail("Unknown option: " + arg);
    } else {
      result.positional.push_back(arg);
    }
  }
  return result;
}

std::string documentPasswordFromEnvironment() {
  const char* value = std::getenv(documentPasswordEnvironmentKey);
  return value ? std::string(value) : std::string();
}

}  // namespace marrowfen::scan
