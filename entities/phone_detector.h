// Phone numbers in a text, read by libphonenumber on the number-shaped runs of each line.
#pragma once

#include <string_view>

#include "entities/detector_common.h"

namespace marrowfen::entities {

// Phone numbers in international form anywhere, and in the national forms of IN, US, GB, DE and
// FR. Not reported: dates, times, 6-digit PIN codes, 12-digit Aadhaar-style numbers without a "+".
Matches findPhoneNumbers(std::u16string_view text);

}  // namespace marrowfen::entities
