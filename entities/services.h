// The three services the extraction run uses, as small interfaces so that the run and the
// candidate rules work the same on the real libraries and on test doubles.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace marrowfen::entities {

// A range of the input text in UTF-8 bytes, [begin, end).
struct TextRange {
  size_t begin = 0;
  size_t end = 0;
};

// The tags of the name-type scheme; kOtherWord stands for any tag that is not a name.
enum class NameTag { kPersonalName, kOrganizationName, kPlaceName, kOtherWord };

// Data-detector result types.
inline constexpr uint64_t kResultTypeDate = 8;
inline constexpr uint64_t kResultTypeAddress = 16;
inline constexpr uint64_t kResultTypePhoneNumber = 2048;

// One data-detector match, in UTF-16 code units of the text.
struct DetectorMatch {
  size_t location = 0;
  size_t length = 0;
  uint64_t resultType = 0;
};

class LanguageRecognizer {
 public:
  virtual ~LanguageRecognizer() = default;
  // The BCP 47 code of the text's dominant language, or nothing when none is reliable.
  virtual std::optional<std::string> dominantLanguage(std::string_view text) = 0;
};

// Called for each token, in text order, with its tag (or none) and its byte range in the text;
// returns false to stop the tagging.
using TagCallback = std::function<bool(std::optional<NameTag>, TextRange)>;

class NameTagger {
 public:
  virtual ~NameTagger() = default;
  // Tags the words of `text` (valid UTF-8) with the name-type scheme. Punctuation and white space
  // get no call; the words of one name come back as one token. Stops when `callback` says so.
  virtual void enumerateTags(std::string_view text, const TagCallback& callback) = 0;
};

// Called for each match, in text order.
using MatchCallback = std::function<void(const std::optional<DetectorMatch>&)>;

class DataDetector {
 public:
  virtual ~DataDetector() = default;
  // Reports the dates, postal addresses and phone numbers of `nsText`, in text order.
  virtual void enumerateMatches(std::u16string_view nsText, const MatchCallback& callback) = 0;
};

// What one run uses. `makeDetector` may return nullptr: the detector could not be created.
struct Services {
  LanguageRecognizer* recognizer = nullptr;
  NameTagger* tagger = nullptr;
  std::function<std::unique_ptr<DataDetector>()> makeDetector;
};

}  // namespace marrowfen::entities
