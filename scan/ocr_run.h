// The OCR run over an image file or a PDF document.
#pragma once

#include <string>
#include <vector>

#include "scan/records.h"

namespace marrowfen::scan {

// Reads every selected page of the input (inputUrl, ext and recognitionOptions) and writes one
// OcrOutput; returns the exit status 0. Ends through fail() when the input cannot be opened or a
// page cannot be recognised; a document's pages that cannot be read or rendered, or that run out
// of recognition time, become warnings.
int runOcr();

// Ends the process as a run whose page could not be recognised ends, with the recogniser's
// `error`: the failure on standard output, status 1. What the program does when an image's
// recognition runs out of time (setRecognitionOverTime); the engine is not left to finish.
[[noreturn]] void endRunOverTime(const std::string& error);

// The answer of a run that collected `pages` and `warnings`: page texts joined by blank lines
// (empty ones left out), the mean page confidence, at least one page counted.
OcrOutput aggregateOcrOutput(std::vector<OcrPage> pages, std::vector<std::string> warnings,
                             bool isPdf);

}  // namespace marrowfen::scan
