// Reading the input document: strict RFC 8259 JSON, then the "text" member.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "entities/records.h"

namespace marrowfen::entities {

// Decodes `bytes` as one JSON text whose top-level value is an object with a string member
// "text"; every other member is checked for well-formedness and ignored. Returns nothing for
// empty input, anything outside the RFC 8259 grammar (comments, trailing commas, single quotes,
// leading zeros, unescaped control characters, trailing content), invalid UTF-8 anywhere, string
// escapes that leave a surrogate unpaired, a top-level value that is not an object, or a
// missing or non-string "text". A leading UTF-8 byte order mark is ignored. When "text" occurs
// more than once the last occurrence counts. Nesting depth is limited only by memory: the reader
// keeps its own stack.
std::optional<HelperInput> decodeHelperInput(std::string_view bytes);

// The input check: the decoded input when it is accepted, nothing when it is refused (it does
// not decode, or its text cleans to the empty string).
std::optional<HelperInput> acceptInput(std::string_view bytes);

// All of standard input, read to end of file.
std::string readAllStandardInput();

}  // namespace marrowfen::entities
