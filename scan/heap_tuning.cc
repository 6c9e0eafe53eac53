#include "scan/heap_tuning.h"

#include <malloc.h>

namespace marrowfen::scan {

void keepPageBuffersOnTheHeap(int largestHeapBlock) {
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  // Setting the trim threshold freezes glibc's mmap threshold at its default of 128 KB, so every
  // large buffer would be mapped and unmapped again; it is set explicitly with it.
  mallopt(M_MMAP_THRESHOLD, largestHeapBlock);
}

}  // namespace marrowfen::scan
