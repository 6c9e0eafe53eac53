#include "common/unicode.h"

#include <gtest/gtest.h>

namespace marrowfen {
namespace {

TEST(UnicodeTest, TrimSets) {
  const struct {
    std::string_view in;
    bool (*set)(char32_t);
    std::string_view out;
  } cases[] = {
      {"  Invoice 42 \n", isWhitespaceOrNewline, "Invoice 42"},
      {"\u00a0\u2028x y\u0085\u3000", isWhitespaceOrNewline, "x y"},
      {" \t de-DE \u00a0", isSpaceSeparatorOrTab, "de-DE"},
      {"\nen\n", isSpaceSeparatorOrTab, "\nen\n"},  // line breaks are not blanks here
      {"   ", isWhitespaceOrNewline, ""},
      {"", isWhitespaceOrNewline, ""},
      // Ill-formed bytes are kept, whitespace around them goes; a stray lead byte does not
      // swallow the separator after it.
      {" ab\xE2\x80 ", isWhitespaceOrNewline, "ab\xE2\x80"},
      {"ab\xF0\xE2\x80\xA8", isWhitespaceOrNewline, "ab\xF0"},
      {"\x80 \x80", isWhitespaceOrNewline, "\x80 \x80"},
      {"x\U0001F600\u2003", isWhitespaceOrNewline, "x\U0001F600"},
  };
  for (const auto& c : cases) EXPECT_EQ(trimScalars(c.in, c.set), c.out) << c.in;
}

TEST(UnicodeTest, Utf16RoundTripAndLength) {
  const std::string text = "a\u00e9\u6771\U0001F600";
  EXPECT_EQ(utf16Length(text), 5u);
  EXPECT_EQ(toUtf16(text), u"a\u00e9\u6771\U0001F600");
  EXPECT_EQ(toUtf8(toUtf16(text)), text);
}

TEST(UnicodeTest, InvalidBytesBecomeReplacementCharacters) {
  const std::string bad = "a\xff\xc3";
  EXPECT_EQ(toUtf16(bad), u"a\uFFFD\uFFFD");
  EXPECT_EQ(toUtf8(std::u16string(1, u'\xD800')), "\uFFFD");
}

TEST(UnicodeTest, Classes) {
  EXPECT_TRUE(isAlphanumeric(U'é'));
  EXPECT_TRUE(isAlphanumeric(U'\u0301'));  // combining mark
  EXPECT_TRUE(isAlphanumeric(U'٣'));
  EXPECT_FALSE(isAlphanumeric(U'-'));
  EXPECT_TRUE(isWhiteSpaceProperty(U'\u2029'));
  EXPECT_FALSE(isWhiteSpaceProperty(U'\u200b'));
}

TEST(UnicodeTest, LineBreaks) {
  for (char32_t c : {U'\n', U'\v', U'\f', U'\r', U'\u0085', U'\u2028', U'\u2029'}) {
    EXPECT_TRUE(isLineBreak(c)) << static_cast<uint32_t>(c);
  }
  for (char32_t c : {U'\t', U' ', U'\u00a0', U'\u2009', U'\u0009', U'\u001c', U'a'}) {
    EXPECT_FALSE(isLineBreak(c)) << static_cast<uint32_t>(c);
  }
}

}  // namespace
}  // namespace marrowfen
