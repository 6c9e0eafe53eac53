#include "scan/one_thread.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace marrowfen::scan {

void restartWithOneOpenMpThread(char** argv) {
  const char* limit = std::getenv("OMP_THREAD_LIMIT");
  if (limit != nullptr && std::strcmp(limit, "1") == 0) return;
  if (::setenv("OMP_THREAD_LIMIT", "1", 1) != 0) return;
  // /proc/self/exe is this very binary even when argv[0] was a relative name or a link.
  ::execv("/proc/self/exe", argv);
}

}  // namespace marrowfen::scan

namespace marrowfen::scan {

RecognitionResult OneThreadRecognizer::perform(const Image& image,
                                               const RecognitionRequest& request) const {
  restartWithOneOpenMpThread(argv_);
  return inner_.perform(image, request);
}

}  // namespace marrowfen::scan
