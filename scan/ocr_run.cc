#include "scan/ocr_run.h"

#include "scan/command_line.h"

namespace marrowfen::scan {

int runOcr() {
  fail("Native OCR failed: text recognition is not built into this version of marrowfen-scan.");
}

}  // namespace marrowfen::scan
