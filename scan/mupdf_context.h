// The one MuPDF context of the process, shared by the PDF and image adapters.
#pragma once

extern "C" {
#include <mupdf/fitz.h>
}

namespace marrowfen::scan {

// Created on first use and kept for the life of the process. MuPDF's own warning and error
// printing is switched off: nothing of this program may reach standard error. Not thread-safe;
// marrowfen-scan runs on one thread. Nullptr only when MuPDF cannot allocate its context.
fz_context* mupdfContext();

}  // namespace marrowfen::scan
