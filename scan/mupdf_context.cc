#include "scan/mupdf_context.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "scan/jpx_budget.h"
#include "scan/pixel_budget.h"

namespace marrowfen::scan {
namespace {

void ignoreMessage(void*, const char*) {}

// The resource store caches decoded fonts and images between pages. A quarter of MuPDF's
// default keeps a long document's peak memory well below what the page canvases need.
constexpr size_t kStoreBytes = 64u << 20;

// The budgeted allocator. Each block carries its size in a header in front of it, so that frees
// and reallocations can keep the live total. MuPDF runs on one thread (the context is not shared
// between threads), so plain counters do.
struct Budget {
  uint64_t live = 0;
  uint64_t refused = 0;
  // A request refused for the live total. MuPDF answers such a refusal by emptying its store
  // and asking again; when the same request then succeeds, nothing was given up.
  size_t pendingRetry = 0;
};
Budget budget;
// Set from a deadline's watchdog thread while the work it watches is to stop.
std::atomic<bool> allocationsStopped{false};

// Keeps the payload aligned as malloc's would be.
constexpr size_t kHeader = alignof(std::max_align_t) > sizeof(size_t) ? alignof(std::max_align_t)
                                                                      : sizeof(size_t);

bool allowed(size_t size, size_t freed) {
  if (allocationsStopped.load(std::memory_order_relaxed)) return false;
  if (size > static_cast<uint64_t>(kMaxMupdfBlockBytes)) {
    ++budget.refused;
    return false;
  }
  if (budget.live - freed + size > static_cast<uint64_t>(kMaxMupdfBytes)) {
    if (budget.pendingRetry != size) ++budget.refused;
    budget.pendingRetry = size;
    return false;
  }
  if (budget.pendingRetry == size && budget.refused > 0) --budget.refused;
  budget.pendingRetry = 0;
  return true;
}

void* budgetMalloc(void*, size_t size) {
  if (!allowed(size, 0)) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
  if (block == nullptr) return nullptr;
  std::memcpy(block, &size, sizeof size);
  budget.live += size;
  return block + kHeader;
}

void budgetFree(void*, void* pointer) {
  if (pointer == nullptr) return;
  auto* block = static_cast<unsigned char*>(pointer) - kHeader;
  size_t size = 0;
  std::memcpy(&size, block, sizeof size);
  budget.live -= size;
  std::free(block);
}

void* budgetRealloc(void* user, void* pointer, size_t size) {
  if (pointer == nullptr) return budgetMalloc(user, size);
  auto* block = static_cast<unsigned char*>(pointer) - kHeader;
  size_t old = 0;
  std::memcpy(&old, block, sizeof old);
  if (size == 0) {
    budgetFree(user, pointer);
    return nullptr;
  }
  if (!allowed(size, old)) return nullptr;
  auto* moved = static_cast<unsigned char*>(std::realloc(block, size + kHeader));
  if (moved == nullptr) return nullptr;
  std::memcpy(moved, &size, sizeof size);
  budget.live = budget.live - old + size;
  return moved + kHeader;
}

fz_alloc_context budgetAllocator{nullptr, budgetMalloc, budgetRealloc, budgetFree};

}  // namespace

uint64_t mupdfRefusedAllocations() { return budget.refused; }

void stopMupdfAllocations(bool stop) { allocationsStopped = stop; }

fz_context* mupdfContext() {
  static fz_context* const context = [] {
    fz_context* ctx = fz_new_context(&budgetAllocator, nullptr, kStoreBytes);
    if (ctx != nullptr) {
      fz_set_warning_callback(ctx, ignoreMessage, nullptr);
      fz_set_error_callback(ctx, ignoreMessage, nullptr);
    }
    return ctx;
  }();
  return context;
}

}  // namespace marrowfen::scan

// The link wraps MuPDF's JPEG 2000 loader (-Wl,--wrap=fz_load_jpx, scan/CMakeLists.txt): every
// call, from the PDF interpreter or the image loader, comes here first. fz_throw leaves through
// this frame by longjmp, so nothing here has a destructor.
extern "C" {
fz_pixmap* __real_fz_load_jpx(fz_context* ctx, const unsigned char* data, size_t size,
                              fz_colorspace* colorspace);

fz_pixmap* __wrap_fz_load_jpx(fz_context* ctx, const unsigned char* data, size_t size,
                              fz_colorspace* colorspace) {
  if (!marrowfen::scan::jpxWithinBudget(data, size)) {
    ++marrowfen::scan::budget.refused;
    fz_throw(ctx, FZ_ERROR_GENERIC, "JPEG 2000 picture larger than the pixel budget");
  }
  return __real_fz_load_jpx(ctx, data, size, colorspace);
}
}
