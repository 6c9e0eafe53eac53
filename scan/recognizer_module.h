// The Tesseract adapter is built as a module of its own, loaded on the first recognition. Loading
// Tesseract and the libraries it depends on costs more than a whole text-layer run or a small
// page rendering, which never recognise anything.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "scan/recognizer.h"

namespace marrowfen::scan {

// The module's file name; it is looked for in the directory of the running program.
inline constexpr const char* kRecognizerModuleName = "marrowfen-tesseract.so";
// The module's one entry point, and the interface version both sides must have been built with.
inline constexpr const char* kRecognizerModuleEntry = "marrowfen_new_text_recognizer";
inline constexpr int kRecognizerModuleVersion = 5;
using NewTextRecognizer = TextRecognizer* (*)(int version);

// Where the module of the running program is: beside /proc/self/exe.
std::string recognizerModulePath();

// Loads the module at `path` on the first request and hands every request to the recogniser it
// makes. Recognition runs on one OpenMP thread: OMP_THREAD_LIMIT=1 is set before the module
// (and with it the OpenMP runtime, which reads the limit once) is loaded. A module that cannot be
// loaded fails every request with a description naming the file.
class ModuleRecognizer : public TextRecognizer {
 public:
  ModuleRecognizer(std::string path, char** argv) : path_(std::move(path)), argv_(argv) {}
  RecognitionResult perform(Image image, const RecognitionRequest& request) const override;

 private:
  std::string path_;
  char** argv_;
  mutable bool tried_ = false;
  mutable std::unique_ptr<TextRecognizer> inner_;
  mutable std::string loadError_;
};

}  // namespace marrowfen::scan
