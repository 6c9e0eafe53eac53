#include "scan/heap_tuning.h"

#include <malloc.h>

namespace marrowfen::scan {

void keepPageBuffersOnTheHeap(int largestHeapBlock) {
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  // Setting the trim threshold freezes glibc's mmap threshold at its default of 128 KB, so every
  // large buffer would be mapped and unmapped again; it is set explicitly with it.
  mallopt(M_MMAP_THRESHOLD, largestHeapBlock);
  // A document's page may be recognised on a thread of its own (recognition_thread.h); one arena
  // keeps its buffers on the same heap as the rest instead of in a new arena's 64-MB heaps, whose
  // larger blocks would be mapped again per use.
  mallopt(M_ARENA_MAX, 1);
}

}  // namespace marrowfen::scan
