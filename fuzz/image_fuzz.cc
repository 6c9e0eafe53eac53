// One image decoder (the target is built once per format, each with its own seed corpus; the
// decoder is chosen by the file's first bytes, as for a real file), then what page rendering
// does with the picture: crop to content and flatten.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "scan/image_files.h"
#include "scan/imaging.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace marrowfen::scan;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (auto image = decodeImage(bytes)) {
    if (image->width() < 1 || image->height() < 1 ||
        static_cast<int64_t>(image->width()) * image->height() > kMaxImagePixels) {
      __builtin_trap();
    }
    (void)prepareRenderedPage(*image);
  }
  return 0;
}
