// Unicode helpers over ICU for UTF-8 text.
//
// Strings are held as UTF-8. Decoding treats each invalid byte as U+FFFD and moves on by one byte,
// so every function here accepts arbitrary bytes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace marrowfen {

// Decodes the scalar at byte offset `i` of `s` and advances `i` past it. Requires i < s.size().
char32_t nextScalar(std::string_view s, size_t& i);

// Unicode general category Z (Zs, Zl, Zp), U+000A..U+000D and U+0085: the whitespace-and-newline
// set used when trimming recognised and embedded text.
bool isWhitespaceOrNewline(char32_t c);
// The line breaks: U+000A..U+000D, U+0085, U+2028 and U+2029.
bool isLineBreak(char32_t c);
// Space separators (general category Zs) and the tab U+0009; line breaks are not in this set.
bool isSpaceSeparatorOrTab(char32_t c);
// The Unicode White_Space property.
bool isWhiteSpaceProperty(char32_t c);
// General categories L, M and N.
bool isAlphanumeric(char32_t c);

// `s` without the leading and trailing scalars for which `inSet` is true.
std::string_view trimScalars(std::string_view s, bool (*inSet)(char32_t));

// `s` without leading and trailing isWhitespaceOrNewline scalars.
std::string_view trimmed(std::string_view s);

// UTF-8 to UTF-16 and back; invalid input bytes become U+FFFD.
std::u16string toUtf16(std::string_view s);
std::string toUtf8(std::u16string_view s);
// Number of UTF-16 code units `s` takes.
size_t utf16Length(std::string_view s);

}  // namespace marrowfen
