// The OCR run over an image file or a PDF document.
#pragma once

namespace marrowfen::scan {

// Reads every selected page of the input and writes one OcrOutput; returns the exit status.
// Ends through fail() on a run failure.
int runOcr();

}  // namespace marrowfen::scan
