// The merge of the three detectors' matches into one list.
#pragma once

#include "entities/detector_common.h"

namespace marrowfen::entities {

// Joins the three lists: in text order; where matches overlap, an address wins over a date or
// phone number inside it, and a date over a phone number.
Matches mergeMatches(Matches addresses, Matches dates, Matches phones);

}  // namespace marrowfen::entities
