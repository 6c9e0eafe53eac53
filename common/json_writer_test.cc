#include "common/json_writer.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace marrowfen {
namespace {

std::string encoded(std::string_view text) {
  std::string out;
  appendJsonString(out, text);
  return out;
}

TEST(JsonStringTest, EscapesOnlyWhatJsonRequires) {
  const struct {
    std::string_view in;
    std::string_view out;
  } cases[] = {
      {"plain", R"("plain")"},
      {"a\"b", R"("a\"b")"},
      {"back\\slash", R"("back\\slash")"},
      {"tab\there", R"("tab\there")"},
      {"line\nfeed\r", R"("line\nfeed\r")"},
      {std::string_view("\x01\x1f\0", 3), R"("\u0001\u001f\u0000")"},
      {"/usr/local/x.png", R"("/usr/local/x.png")"},
      {"Zoë 東京 😀", "\"Zoë 東京 😀\""},
      {"\x7f", "\"\x7f\""},
  };
  for (const auto& c : cases) EXPECT_EQ(encoded(c.in), c.out) << c.in;
}

TEST(JsonStringTest, IllFormedUtf8BecomesReplacementCharacters) {
#define FFFD "\xEF\xBF\xBD"
  const struct {
    std::string_view in;
    std::string_view out;
  } cases[] = {
      {"caf\xE9.png", "\"caf" FFFD ".png\""},               // Latin-1
      {"\xFF\xFE", "\"" FFFD FFFD "\""},                    // never in UTF-8
      {"\xC0\xAF", "\"" FFFD FFFD "\""},                    // overlong solidus
      {"\xED\xA0\x80", "\"" FFFD FFFD FFFD "\""},           // a surrogate
      {"a\xE2\x82", "\"a" FFFD "\""},                       // cut short at the end
      {"\xE2\x82\"", "\"" FFFD "\\\"\""},                   // cut short, then escaped
      {"\xF0\x9F\x98", "\"" FFFD "\""},                     // an emoji cut short
      {"\xF4\x90\x80\x80", "\"" FFFD FFFD FFFD FFFD "\""},  // above U+10FFFF
      {"\x80x", "\"" FFFD "x\""},                           // a lone continuation byte
      {"\xE2\x82\xAC\xF0\x9F\x98\x80", "\"\xE2\x82\xAC\xF0\x9F\x98\x80\""},  // valid stays
  };
#undef FFFD
  for (const auto& c : cases) EXPECT_EQ(encoded(c.in), c.out) << c.in;
}

TEST(JsonWriterTest, DoublesReadBackExactly) {
  const double values[] = {0.0,
                           1.0,
                           0.1,
                           1.0 / 3,
                           0.30000001192092896,
                           1e-300,
                           1.7976931348623157e308,
                           -2.5,
                           5e-324,
                           123456789012345678.0};
  for (double v : values) {
    JsonWriter w;
    w.value(v);
    ASSERT_FALSE(w.failed());
    EXPECT_EQ(std::strtod(w.buffer().c_str(), nullptr), v) << w.buffer();
  }
}

TEST(JsonWriterTest, NonFiniteDoubleMarksFailure) {
  for (double v : {std::nan(""), std::numeric_limits<double>::infinity(),
                   -std::numeric_limits<double>::infinity()}) {
    JsonWriter w;
    w.beginObject();
    w.key("confidence");
    w.value(v);
    w.endObject();
    EXPECT_TRUE(w.failed());
  }
}

TEST(JsonWriterTest, CompactNesting) {
  JsonWriter w;
  w.beginObject();
  w.key("a");
  w.beginArray();
  w.value(int64_t{-9223372036854775807 - 1});
  w.value(true);
  w.beginObject();
  w.endObject();
  w.beginArray();
  w.endArray();
  w.endArray();
  w.key("b");
  w.value("x");
  w.endObject();
  EXPECT_EQ(w.buffer(), R"({"a":[-9223372036854775808,true,{},[]],"b":"x"})");
}

}  // namespace
}  // namespace marrowfen

namespace marrowfen {
namespace {

TEST(ReadAllTest, ReadsExactlyOrRefuses) {
  const struct {
    const char* name;
    std::string written;
    bool closed;  // the writer closes its end after writing
    int stallMs;
    size_t asked;
    bool expected;
  } cases[] = {
      {"all there", "abcdef", true, -1, 6, true},
      {"more there than asked", "abcdef", false, -1, 4, true},
      {"writer closed early", "abc", true, -1, 6, false},
      {"nothing and closed", "", true, -1, 1, false},
      {"all there, waiting allowed", "abcdef", false, 50, 6, true},
      {"writer stalls before the end", "abc", false, 50, 6, false},
      {"writer stalls before anything", "", false, 0, 1, false},
  };
  for (const auto& c : cases) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ASSERT_TRUE(writeAll(fds[1], c.written));
    if (c.closed) ::close(fds[1]);
    std::string read(c.asked, '\0');
    EXPECT_EQ(readAll(fds[0], read.data(), c.asked, c.stallMs), c.expected) << c.name;
    if (c.expected) {
      EXPECT_EQ(read, c.written.substr(0, c.asked)) << c.name;
    }
    ::close(fds[0]);
    if (!c.closed) ::close(fds[1]);
  }
}

}  // namespace
}  // namespace marrowfen
