// The data detector: phone numbers (libphonenumber), dates and postal addresses (our own), merged
// into one list of matches in text order without overlaps.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "entities/services.h"

namespace marrowfen::entities {

// A match of one of the detectors, in UTF-16 units of the text.
using Matches = std::vector<DetectorMatch>;

// Phone numbers in international form anywhere, and in the national forms of IN, US, GB, DE and
// FR. Not reported: dates, times, 6-digit PIN codes, 12-digit Aadhaar-style numbers without a "+".
Matches findPhoneNumbers(std::u16string_view text);
// Valid calendar dates: numeric (d/m/y, m/d/y, y-m-d with "/", "-", "."), with month names or
// abbreviations in en, de, fr, es, it, pt, nl, with ordinals ("1st March 2020", "March 3rd, 2020").
Matches findDates(std::u16string_view text);
// Postal addresses: street lines, postcode-and-place lines and "Address:" blocks; one match may
// span lines.
Matches findAddresses(std::u16string_view text);

// Joins the three lists: in text order; where matches overlap, an address wins over a date or
// phone number inside it, and a date over a phone number.
Matches mergeMatches(Matches addresses, Matches dates, Matches phones);

std::unique_ptr<DataDetector> makeDataDetector();

}  // namespace marrowfen::entities
