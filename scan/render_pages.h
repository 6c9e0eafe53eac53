// The page-rendering mode: selected pages of a PDF (or one image) to cropped, opaque PNG files
// "page-%04d.png" in the output directory, answered with one RenderOutput.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace marrowfen::scan {

// The 1-based pages to render, ascending, without repeats. Every page when maxPages is 0 or
// below or not below pageCount; otherwise the first maxPages pages, or, for a selection
// "first-last:F:L", the first F pages (3 when F is no number, at least 1) and then as many of
// the last L pages (2 when L is no number, at least 0) as still fit under maxPages.
std::vector<int64_t> selectedRenderPageNumbers(int64_t pageCount, int64_t maxPages,
                                               const std::string& selection);

// "page-0007.png" for 7; at least four digits.
std::string renderedPageFileName(int64_t pageNumber);

// Creates the output directory (with its parents), then renders, writes the PNG files and one
// RenderOutput, and returns the exit status 0. Ends through fail() when the directory cannot be
// made, the input cannot be opened, or a PNG cannot be written; unreadable or undrawable pages
// only add warnings.
int runRenderPages();

}  // namespace marrowfen::scan
