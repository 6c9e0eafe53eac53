#include "scan/heap_tuning.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdlib>

namespace marrowfen::scan {
namespace {

// Whether a block of `bytes` is mapped on its own rather than taken from the heap.
bool mappedOnItsOwn(size_t bytes) {
  const size_t before = mallinfo2().hblkhd;
  void* block = std::malloc(bytes);
  // The block escapes, so that the compiler cannot leave out the allocation.
  asm volatile("" : : "g"(block) : "memory");
  const bool mapped = mallinfo2().hblkhd > before;
  std::free(block);
  return mapped;
}

TEST(HeapTuningTest, BlocksUpToTheLimitComeFromTheHeap) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "AddressSanitizer's allocator takes the place of glibc's heap";
#endif
  // Changes the allocator of this test process only (each test runs in its own process).
  // Blocks mapped on their own are the ones the heap could not give without growing: each call
  // sees the heap as the earlier ones left it, so the smaller limit comes first.
  const size_t canvas = size_t{40} << 20;  // between the two limits
  keepPageBuffersOnTheHeap(kRecognitionHeapBlockBytes);
  EXPECT_TRUE(mappedOnItsOwn(canvas));
  EXPECT_FALSE(mappedOnItsOwn(size_t{16} << 20));
  keepPageBuffersOnTheHeap(kRenderingHeapBlockBytes);
  EXPECT_FALSE(mappedOnItsOwn(canvas));
  EXPECT_FALSE(mappedOnItsOwn(size_t{1} << 20));
  EXPECT_TRUE(mappedOnItsOwn(size_t{80} << 20));
}

}  // namespace
}  // namespace marrowfen::scan
