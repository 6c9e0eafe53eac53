// The entry point of marrowfen-tesseract.so, the module that holds the Tesseract adapter.
#include "scan/recognizer_module.h"
#include "scan/tesseract_recognizer.h"

extern "C" __attribute__((visibility("default"))) marrowfen::scan::TextRecognizer*
marrowfen_new_text_recognizer(int version) {
  if (version != marrowfen::scan::kRecognizerModuleVersion) return nullptr;
  return new marrowfen::scan::TesseractRecognizer();
}
