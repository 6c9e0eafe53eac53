// The extraction run: language, name tagging, data detection, the cap, the answer.
#pragma once

#include <string_view>

#include "entities/records.h"
#include "entities/services.h"

namespace marrowfen::entities {

// Builds the answer for an accepted `text` (as decoded, not cleaned): the dominant language, then
// the tagger's candidates (the tagging stops at 80), then the detector's in match order, cut to
// the first 80. A missing service adds nothing; the run never fails and adds no warning.
HelperOutput runExtraction(std::string_view text, const Services& services);

}  // namespace marrowfen::entities
