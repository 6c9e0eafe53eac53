#include "entities/platform_services.h"

#include "entities/data_detector.h"
#include "entities/language_recognizer.h"
#include "entities/name_model_factory.h"
#include "entities/name_tagger.h"

namespace marrowfen::entities {

PlatformServices::PlatformServices()
    : recognizer_(makeCld2LanguageRecognizer()),
      model_(makeNameModel()),
      tagger_(makeNameTagger(*model_, recognizer_.get())) {}

PlatformServices::~PlatformServices() = default;

Services PlatformServices::services() {
  return Services{.recognizer = recognizer_.get(), .tagger = tagger_.get(), .makeDetector = [] {
                    return makeDataDetector();
                  }};
}

}  // namespace marrowfen::entities
