#include "scan/pdf_open.h"

#include "scan/command_line.h"

namespace marrowfen::scan {

std::unique_ptr<PdfDocument> openPdfDocument(const std::string& url, const std::string& purpose) {
  std::unique_ptr<PdfDocument> document = platform().pdf->open(url);
  if (document == nullptr) fail("Could not open PDF for " + purpose + ".");
  if (!document->isLocked()) return document;
  const std::string password = documentPasswordFromEnvironment();
  if (password.empty()) {
    fail("document_password_required: PDF requires a password for " + purpose + ".");
  }
  if (document->unlock(password) && !document->isLocked()) return document;
  fail("document_password_incorrect: Incorrect PDF password for " + purpose + ".");
}

}  // namespace marrowfen::scan
