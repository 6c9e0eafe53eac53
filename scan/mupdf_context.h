// The one MuPDF context of the process, shared by the PDF and image adapters.
#pragma once

#include <cstdint>

extern "C" {
#include <mupdf/fitz.h>
}

namespace marrowfen::scan {

// Created on first use and kept for the life of the process. MuPDF's own warning and error
// printing is switched off: nothing of this program may reach standard error. Not thread-safe;
// marrowfen-scan runs on one thread. Nullptr only when MuPDF cannot allocate its context.
//
// Every allocation MuPDF makes goes through a budget (scan/pixel_budget.h): a block larger than
// kMaxMupdfBlockBytes, or one that would take MuPDF's live total over kMaxMupdfBytes, is refused,
// so MuPDF throws and drops the picture or page it was working on instead of taking gigabytes.
//
// JPEG 2000 pictures are decoded by OpenJPEG, a shared library that allocates with malloc, past
// this allocator. Every picture MuPDF hands to OpenJPEG passes a check first (the link wraps
// fz_load_jpx): its declared size must pass jpxWithinBudget (scan/jpx_budget.h). A larger one is
// not decoded, MuPDF leaves the picture out, and the refusal is counted as a refused allocation.
fz_context* mupdfContext();

// How many allocations the budget has refused so far in this process. A caller compares the
// count before and after a piece of work to learn whether MuPDF had to leave something out.
uint64_t mupdfRefusedAllocations();

// While on, every allocation MuPDF asks for is refused (and not counted above): work whose time
// is up then fails at its next allocation. Safe to call from another thread.
void stopMupdfAllocations(bool stop);

}  // namespace marrowfen::scan
