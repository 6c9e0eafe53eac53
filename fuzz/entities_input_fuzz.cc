// The entity program's input reader and the text operations after it: any bytes on standard input
// are accepted (a decoded text) or refused, never more.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/json_writer.h"
#include "entities/clean.h"
#include "entities/json_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (auto input = marrowfen::entities::acceptInput(bytes)) {
    // What the answer is built from must also write out.
    std::string out;
    marrowfen::appendJsonString(out, input->text);
    (void)marrowfen::entities::clean(input->text);
  }
  // The writer on raw bytes, which need not be UTF-8.
  std::string out;
  marrowfen::appendJsonString(out, bytes);
  return 0;
}
