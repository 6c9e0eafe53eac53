// marrowfen-scan: OCR of images and PDFs, or --render-pages to PNG files. One JSON document on
// standard output; status 0 after a result, 1 after a failure.
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
#include "scan/recognizer_module.h"
#include "scan/run_state.h"
#include "scan/write_json.h"

int main(int argc, char** argv) {
  using namespace marrowfen::scan;
  // Each page's text and images are freed before the next page allocates the same again.
  keepPageBuffersOnTheHeap(kRecognitionHeapBlockBytes);
  static const ModuleRecognizer recognizer(recognizerModulePath(), argv);
  platform().pdf = &mupdfPdfService();
  platform().images = &fileImageService();
  platform().recognizer = &recognizer;
  setRecognitionOverTime(endRunOverTime);
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
