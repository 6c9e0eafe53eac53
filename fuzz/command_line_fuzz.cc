// marrowfen-scan's command line and page selections: the arguments are the input split at NUL
// bytes. Every argument vector parses or ends the run through fail(), nothing else.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scan/command_line.h"
#include "scan/render_pages.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace marrowfen::scan;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> argv{"marrowfen-scan"};
  size_t start = 0;
  while (start <= bytes.size()) {
    size_t end = bytes.find('\0', start);
    if (end == std::string_view::npos) end = bytes.size();
    argv.emplace_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  try {
    const CommandLine line = parseCommandLine(argv);
    if (line.options.pages) (void)line.options.pages->contains(7);
  } catch (const RunEnded&) {
  }
  if (auto selection = parsePageSelection(bytes)) (void)selection->contains(1);
  (void)readInteger(bytes);
  (void)readFloating(bytes);
  // The render selection over small documents, with the first argument as the selection text.
  const int64_t pageCount = size % 40;
  const int64_t limit = size > 0 ? static_cast<int8_t>(data[0]) : 0;
  const std::vector<int64_t> pages = selectedRenderPageNumbers(pageCount, limit, argv[1]);
  for (size_t i = 0; i < pages.size(); ++i) {
    if (pages[i] < 1 || pages[i] > pageCount || (i > 0 && pages[i] <= pages[i - 1]))
      __builtin_trap();
  }
  return 0;
}
