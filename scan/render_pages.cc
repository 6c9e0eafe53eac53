#include "scan/render_pages.h"

#include "scan/command_line.h"

namespace marrowfen::scan {

int runRenderPages() {
  fail("Page rendering failed: page rendering is not built into this version of marrowfen-scan.");
}

}  // namespace marrowfen::scan
