// marrowfen-scan: OCR of images and PDFs, or --render-pages to PNG files. One JSON document on
// standard output; status 0 after a result, 1 after a failure.
#include <malloc.h>

#include <exception>
#include <string>
#include <vector>

#include "scan/command_line.h"
#include "scan/image_files.h"
#include "scan/mupdf_pdf.h"
#include "scan/platform.h"
#include "scan/run_state.h"
#include "scan/recognizer_module.h"
#include "scan/write_json.h"

int main(int argc, char** argv) {
  using namespace marrowfen::scan;
  // Each page's text and images are freed before the next page allocates the same again; keeping
  // up to 64 MB of freed heap spares the system handing the memory back and forth page by page.
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
  // Setting the trim threshold freezes glibc's mmap threshold at 128 KB, so every large buffer the
  // recognition engine allocates (many per page) would be mapped, zeroed by the kernel, faulted in
  // and unmapped again; below 32 MB (glibc's largest) they are taken from the heap and reused.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  static const ModuleRecognizer recognizer(recognizerModulePath(), argv);
  platform().pdf = &mupdfPdfService();
  platform().images = &fileImageService();
  platform().recognizer = &recognizer;
  try {
    startUp(std::vector<std::string>(argv, argv + argc));
    return commonStart();
  } catch (const RunEnded& ended) {
    writeJson(OcrFailure{.ok = false, .error = ended.message});
    return ended.code;
  } catch (const std::exception& error) {
    // Out of memory and the like: still one JSON failure on stdout, never a trace on stderr.
    const char* mode = renderOnly ? "Page rendering failed: " : "Native OCR failed: ";
    writeJson(OcrFailure{.ok = false, .error = mode + std::string(error.what())});
    return 1;
  }
}
