// How marrowfen-scan's heap treats the large buffers a run allocates and frees again page after
// page: page canvases, decoded pictures, the recognition engine's working buffers.
#pragma once

namespace marrowfen::scan {

// The largest block taken from the heap instead of being mapped on its own. An OCR run's largest
// repeated buffers are the recognition engine's; a page-rendering run's are its page canvases
// of some megabytes, which the larger limit keeps on the heap too.
inline constexpr int kRecognitionHeapBlockBytes = 32 << 20;
inline constexpr int kRenderingHeapBlockBytes = 64 << 20;

/// Keeps up to 64 MB of freed heap instead of handing it back to the system after each page, and
/// takes every block up to `largestHeapBlock` bytes from the heap, so that the next page reuses
/// the memory instead of having it mapped afresh, faulted in and zeroed by the kernel.
void keepPageBuffersOnTheHeap(int largestHeapBlock);

}  // namespace marrowfen::scan
