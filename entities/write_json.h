// The only code of marrowfen-entities that writes to standard output.
#pragma once

#include <optional>
#include <string>

#include "entities/records.h"

namespace marrowfen::entities {

// Written in place of a record that cannot be encoded: 41 characters and a line feed, 42 bytes.
inline constexpr char kEncodingFallback[] = "{\"ok\":false,\"error\":\"json_encode_failed\"}\n";

// Written when the process runs out of memory before it has an answer: the failure record with
// the error "out_of_memory" and a line feed, as fixed bytes, since nothing can be allocated then.
inline constexpr char kOutOfMemoryFailure[] = "{\"ok\":false,\"error\":\"out_of_memory\"}\n";

// The compact JSON form of a record (absent optionals left out, "/" not escaped), or nothing when
// it cannot be encoded (a non-finite confidence).
std::optional<std::string> encodeJson(const HelperOutput& output);
std::optional<std::string> encodeJson(const HelperFailure& failure);

// Writes the encoded record to standard output, then a line feed in a second write, both
// unbuffered; or kEncodingFallback when the record cannot be encoded. Reports nothing to the
// caller.
void writeJson(const HelperOutput& output);
void writeJson(const HelperFailure& failure);

}  // namespace marrowfen::entities
