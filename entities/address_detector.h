// Postal addresses in a text.
#pragma once

#include <string_view>

#include "entities/detector_common.h"

namespace marrowfen::entities {

// Postal addresses: street lines, postcode-and-place lines and "Address:" blocks; one match may
// span lines.
Matches findAddresses(std::u16string_view text);

// Compiles the address patterns (once, on the first call); throws std::logic_error when one does
// not compile.
void prepareAddressPatterns();

}  // namespace marrowfen::entities
