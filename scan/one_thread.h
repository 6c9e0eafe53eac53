// Tesseract is built with OpenMP, whose runtime reads OMP_THREAD_LIMIT once, when it is loaded
// with the program. Recognition is meant to run on the program's one thread (parallel regions cost
// several times more than they save on a shared machine), so the limit must already be in force at
// load time.
#pragma once

namespace marrowfen::scan {

// When OMP_THREAD_LIMIT is not "1", sets it and replaces the process image with the same program
// and arguments (same process id, same descriptors). Returns only when it is already set or when
// the program cannot be started again; the run then goes on as it is.
void restartWithOneOpenMpThread(char** argv);

}  // namespace marrowfen::scan

#include "scan/recognizer.h"

namespace marrowfen::scan {

// Hands requests to `inner`, but first makes sure the process runs with one OpenMP thread,
// restarting it (restartWithOneOpenMpThread) at the first request. Runs that never recognise,
// such as text-layer PDFs and page rendering, so never pay for the restart. The restart happens
// before anything is written to standard output, so the new process answers alone.
class OneThreadRecognizer : public TextRecognizer {
 public:
  OneThreadRecognizer(const TextRecognizer& inner, char** argv) : inner_(inner), argv_(argv) {}
  RecognitionResult perform(const Image& image, const RecognitionRequest& request) const override;

 private:
  const TextRecognizer& inner_;
  char** argv_;
};

}  // namespace marrowfen::scan
