// Dates in a text: numeric forms and forms with month names.
#pragma once

#include <string_view>

#include "entities/detector_common.h"

namespace marrowfen::entities {

// Valid calendar dates: numeric (d/m/y, m/d/y, y-m-d with "/", "-", "."), with month names or
// abbreviations in en, de, fr, es, it, pt, nl, with ordinals ("1st March 2020", "March 3rd, 2020").
Matches findDates(std::u16string_view text);

// Compiles the date patterns (once, on the first call); throws std::logic_error when one does
// not compile.
void prepareDatePatterns();

}  // namespace marrowfen::entities
