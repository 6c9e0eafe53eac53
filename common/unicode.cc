#include "common/unicode.h"

#include <unicode/uchar.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <cstdint>

namespace marrowfen {

char32_t nextScalar(std::string_view s, size_t& i) {
  UChar32 c = 0;
  int32_t pos = 0;
  const auto* bytes = reinterpret_cast<const uint8_t*>(s.data() + i);
  const int32_t length = static_cast<int32_t>(std::min<size_t>(s.size() - i, 4));
  U8_NEXT(bytes, pos, length, c);
  if (c < 0) {
    // U8_NEXT skips a maximal ill-formed prefix; move by one byte as documented.
    i += 1;
    return U'\uFFFD';
  }
  i += static_cast<size_t>(pos);
  return static_cast<char32_t>(c);
}

bool isWhitespaceOrNewline(char32_t c) {
  if ((c >= 0x0A && c <= 0x0D) || c == 0x85) return true;
  return (U_GET_GC_MASK(static_cast<UChar32>(c)) & U_GC_Z_MASK) != 0;
}

bool isLineBreak(char32_t c) {
  return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool isSpaceSeparatorOrTab(char32_t c) {
  return c == 0x09 || u_charType(static_cast<UChar32>(c)) == U_SPACE_SEPARATOR;
}

bool isWhiteSpaceProperty(char32_t c) {
  return u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_WHITE_SPACE);
}

bool isAlphanumeric(char32_t c) {
  return (U_GET_GC_MASK(static_cast<UChar32>(c)) & (U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK)) != 0;
}

std::string_view trimScalars(std::string_view s, bool (*inSet)(char32_t)) {
  size_t begin = 0;
  while (begin < s.size()) {
    size_t next = begin;
    if (!inSet(nextScalar(s, next))) break;
    begin = next;
  }
  // The trailing run, read backwards. UTF-8 synchronises on lead bytes, so a scalar decoded
  // backwards is the one the forward reading meets there; an ill-formed byte ends the run, as
  // its U+FFFD would.
  size_t end = s.size();
  if (end > static_cast<size_t>(INT32_MAX)) {
    end = begin;
    for (size_t i = begin; i < s.size();) {
      if (!inSet(nextScalar(s, i))) end = i;
    }
    return s.substr(begin, end - begin);
  }
  const auto* bytes = reinterpret_cast<const uint8_t*>(s.data());
  while (end > begin) {
    int32_t at = static_cast<int32_t>(end);
    UChar32 c = 0;
    U8_PREV(bytes, static_cast<int32_t>(begin), at, c);
    if (c < 0 || !inSet(static_cast<char32_t>(c))) break;
    end = static_cast<size_t>(at);
  }
  return s.substr(begin, end - begin);
}

std::string_view trimmed(std::string_view s) { return trimScalars(s, isWhitespaceOrNewline); }

std::u16string toUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const char32_t c = nextScalar(s, i);
    if (c >= 0x10000) {
      out.push_back(static_cast<char16_t>(U16_LEAD(c)));
      out.push_back(static_cast<char16_t>(U16_TRAIL(c)));
    } else {
      out.push_back(static_cast<char16_t>(c));
    }
  }
  return out;
}

std::string toUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    UChar32 c = 0;
    U16_NEXT(s.data(), i, s.size(), c);
    if (U_IS_SURROGATE(c)) c = 0xFFFD;  // a lone surrogate
    uint8_t buf[4];
    int32_t n = 0;
    U8_APPEND_UNSAFE(buf, n, c);
    out.append(reinterpret_cast<const char*>(buf), static_cast<size_t>(n));
  }
  return out;
}

size_t utf16Length(std::string_view s) {
  size_t n = 0;
  for (size_t i = 0; i < s.size();) n += nextScalar(s, i) >= 0x10000 ? 2 : 1;
  return n;
}

}  // namespace marrowfen
