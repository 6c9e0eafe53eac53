// The real services of the program: CLD2, the name tagger with the chosen model, and the data
// detector over libphonenumber and our own date and address detectors.
#pragma once

#include <memory>

#include "entities/name_model.h"
#include "entities/services.h"

namespace marrowfen::entities {

// Owns the real services; services() hands them to the run.
class PlatformServices {
 public:
  PlatformServices();
  ~PlatformServices();
  Services services();

 private:
  std::unique_ptr<LanguageRecognizer> recognizer_;
  std::unique_ptr<NameModel> model_;
  std::unique_ptr<NameTagger> tagger_;
};

}  // namespace marrowfen::entities
