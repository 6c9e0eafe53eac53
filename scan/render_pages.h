// The page-rendering mode: selected pages (or an image) to cropped, opaque PNG files.
#pragma once

namespace marrowfen::scan {

// Writes the PNG files and one RenderOutput; returns the exit status. Ends through fail() on a
// run failure.
int runRenderPages();

}  // namespace marrowfen::scan
