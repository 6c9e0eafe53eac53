// The only code of marrowfen-scan that writes to standard output.
#pragma once

#include <optional>
#include <string>

#include "scan/records.h"

namespace marrowfen::scan {

// The document written in place of a record that cannot be encoded (52 bytes with its line feed).
inline constexpr char kEncodingFallback[] =
    "{\"ok\":false,\"error\":\"Could not encode OCR output.\"}\n";

// The compact JSON form of a record, or nothing when it holds a non-finite double.
std::optional<std::string> encodeJson(const OcrOutput& output);
std::optional<std::string> encodeJson(const RenderOutput& output);
std::optional<std::string> encodeJson(const OcrFailure& failure);

// Encodes the record and writes it to standard output followed by a line feed in a second write;
// writes kEncodingFallback in one write instead when the record cannot be encoded. Reports nothing.
void writeJson(const OcrOutput& output);
void writeJson(const RenderOutput& output);
void writeJson(const OcrFailure& failure);

}  // namespace marrowfen::scan
