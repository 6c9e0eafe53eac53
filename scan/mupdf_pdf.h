// The PDF service over MuPDF. Every MuPDF error stops at this adapter's edge and becomes a plain
// nullptr, nothing or false; MuPDF prints nothing.
#pragma once

#include <string>

#include "scan/platform.h"

namespace marrowfen::scan {

// The process's MuPDF-backed PDF service. Documents and pages it hands out may outlive each
// other in any order; a page keeps its document's MuPDF objects alive.
const PdfService& mupdfPdfService();

// The password as an AES-256 (revision 6) document expects it: SASLprep (RFC 4013) of the UTF-8
// text, still UTF-8. Nothing when the text holds characters SASLprep prohibits.
std::optional<std::string> saslPrepared(const std::string& password);

}  // namespace marrowfen::scan
