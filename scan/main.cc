// marrowfen-scan: OCR of images and PDFs, or --render-pages to PNG files. One JSON document on
// standard output; status 0 after a result, 1 after a failure.
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "scan/command_line.h"
#include "scan/heap_tuning.h"
#include "scan/image_files.h"
#include "scan/mupdf_pdf.h"
#include "scan/ocr_run.h"
#include "scan/platform.h"
#include "scan/recognition_deadline.h"
#include "scan/recognition_thread.h"
#include "scan/recognizer_module.h"
#include "scan/run_state.h"
#include "scan/write_json.h"

namespace {

int run(char** argv, int argc) {
  using namespace marrowfen::scan;
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

}  // namespace

int main(int argc, char** argv) {
  using namespace marrowfen::scan;
  // Each page's text and images are freed before the next page allocates the same again.
  keepPageBuffersOnTheHeap(kRecognitionHeapBlockBytes);
  static const ModuleRecognizer recognizer(recognizerModulePath(), argv);
  platform().pdf = &mupdfPdfService();
  platform().images = &fileImageService();
  platform().recognizer = &recognizer;
  // The recogniser for the pages after one left running out of time; the process ends through
  // _exit then, so it is never destroyed.
  platform().freshRecognizer = [argv]() -> const TextRecognizer* {
    return new ModuleRecognizer(recognizerModulePath(), argv);
  };
  setRecognitionOverTime(endRunOverTime);
  const int status = run(argv, argc);
  if (recognitionLeftBehind()) {
    // An engine is still at work on a page that ran out of time: the answer is out, and nothing
    // may be torn down under it.
    std::fflush(stdout);
    ::_exit(status);
  }
  return status;
}
