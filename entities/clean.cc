#include "entities/clean.h"

#include "common/unicode.h"

namespace marrowfen::entities {

std::string clean(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  bool pendingSpace = false;  // a run of white space stands before the next kept character
  for (size_t i = 0; i < text.size();) {
    const size_t start = i;
    const auto byte = static_cast<unsigned char>(text[i]);
    bool white;
    if (byte < 0x80) {
      // ASCII fast path: tab, LF, VT, FF, CR and space are the ASCII White_Space characters.
      white = byte == ' ' || (byte >= 0x09 && byte <= 0x0D);
      ++i;
    } else {
      white = isWhiteSpaceProperty(nextScalar(text, i));
    }
    if (white) {
      pendingSpace = true;
      continue;
    }
    if (pendingSpace && !out.empty()) out.push_back(' ');
    pendingSpace = false;
    out.append(text.substr(start, i - start));
  }
  return out;
}

}  // namespace marrowfen::entities
