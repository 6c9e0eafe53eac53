// marrowfen-scan: OCR of images and PDFs, or --render-pages to PNG files. One JSON document on
// standard output; status 0 after a result, 1 after a failure.
#include <string>
#include <vector>

#include "scan/command_line.h"
#include "scan/image_files.h"
#include "scan/mupdf_pdf.h"
#include "scan/one_thread.h"
#include "scan/platform.h"
#include "scan/run_state.h"
#include "scan/tesseract_recognizer.h"
#include "scan/write_json.h"

int main(int argc, char** argv) {
  using namespace marrowfen::scan;
  restartWithOneOpenMpThread(argv);
  static const TesseractRecognizer recognizer;
  platform().pdf = &mupdfPdfService();
  platform().images = &fileImageService();
  platform().recognizer = &recognizer;
  try {
    startUp(std::vector<std::string>(argv, argv + argc));
    return commonStart();
  } catch (const RunEnded& ended) {
    writeJson(OcrFailure{.ok = false, .error = ended.message});
    return ended.code;
  }
}
