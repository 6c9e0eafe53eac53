// Opening the input PDF for either mode, with the document password when it is locked.
#pragma once

#include <memory>
#include <string>

#include "scan/platform.h"

namespace marrowfen::scan {

// Opens the PDF at `url` through platform().pdf and, when it is locked, unlocks it with
// documentPasswordFromEnvironment(). Returns the open, unlocked document (never nullptr) or ends
// the run through fail() with, for a `purpose` such as "page rendering":
//   "Could not open PDF for page rendering."
//   "document_password_required: PDF requires a password for page rendering."
//   "document_password_incorrect: Incorrect PDF password for page rendering."
// The environment is read only for a locked document.
std::unique_ptr<PdfDocument> openPdfDocument(const std::string& url, const std::string& purpose);

}  // namespace marrowfen::scan
