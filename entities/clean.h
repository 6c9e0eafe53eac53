// Text cleaning shared by the input check and the candidate rules.
#pragma once

#include <string>
#include <string_view>

namespace marrowfen::entities {

// Every maximal run of Unicode White_Space characters becomes one U+0020, then the result is
// trimmed at both ends. Pure; invalid UTF-8 bytes are kept as they are.
std::string clean(std::string_view text);

}  // namespace marrowfen::entities
