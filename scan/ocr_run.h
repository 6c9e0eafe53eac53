// The OCR run over an image file or a PDF document.
#pragma once

#include <string>
#include <vector>

#include "scan/records.h"

namespace marrowfen::scan {

// The run's pages and warnings, emptied when the run starts and appended to in page order.
extern std::vector<OcrPage> pages;
extern std::vector<std::string> warnings;

// Reads the input at inputUrl (a PDF when ext is "pdf", otherwise an image) page by page, each
// page from its text layer or recognised, and writes one OcrOutput; returns the exit status 0.
// Ends through fail() when the input cannot be opened or recognition fails; per-page problems of
// a PDF become warnings.
int runOcr();

// The answer made of the pages and warnings gathered: rawText of the non-empty page texts
// joined by blank lines, the mean page confidence (0 without pages), pageCount at least 1.
OcrOutput aggregatedOutput(const std::string& extension, const std::vector<OcrPage>& pages,
                           const std::vector<std::string>& warnings);

}  // namespace marrowfen::scan
