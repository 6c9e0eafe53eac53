#include "scan/mupdf_context.h"

namespace marrowfen::scan {
namespace {

void ignoreMessage(void*, const char*) {}

// The resource store caches decoded fonts and images between pages. A quarter of MuPDF's
// default keeps a long document's peak memory well below what the page canvases need.
constexpr size_t kStoreBytes = 64u << 20;

}  // namespace

fz_context* mupdfContext() {
  static fz_context* const context = [] {
    fz_context* ctx = fz_new_context(nullptr, nullptr, kStoreBytes);
    if (ctx != nullptr) {
      fz_set_warning_callback(ctx, ignoreMessage, nullptr);
      fz_set_error_callback(ctx, ignoreMessage, nullptr);
    }
    return ctx;
  }();
  return context;
}

}  // namespace marrowfen::scan
