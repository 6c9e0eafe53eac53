// The data detector: phone numbers (libphonenumber), dates and postal addresses (our own), merged
// into one list of matches in text order without overlaps.
#pragma once

#include <memory>

#include "entities/address_detector.h"
#include "entities/date_detector.h"
#include "entities/match_merge.h"
#include "entities/phone_detector.h"
#include "entities/services.h"

namespace marrowfen::entities {

// The three detectors and their merge. Compiles every pattern first: throws std::logic_error
// when one does not compile.
std::unique_ptr<DataDetector> makeDataDetector();

}  // namespace marrowfen::entities
