#include "entities/json_input.h"

#include <gtest/gtest.h>

namespace marrowfen::entities {
namespace {

TEST(DecodeHelperInput, AcceptsWellFormedObjectsWithText) {
  const struct {
    std::string json, text;
  } cases[] = {
      {R"({"text":"Anna"})", "Anna"},
      {" \r\n\t{ \"text\" : \"a\" } \n", "a"},
      {R"({"id":3,"text":"x","tags":["a",{"b":[1,2.5e-3,-0,true,false,null]}],"o":{}})", "x"},
      {R"({"text":"a\"b\\c\/d\b\f\n\r\t"})", "a\"b\\c/d\b\f\n\r\t"},
      {R"({"text":"\u00e9\u20AC\ud83d\ude00"})", "\u00e9\u20AC\U0001F600"},
      {R"({"text":"\u0000"})", std::string(1, '\0')},
      {"{\"text\":\"Gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80\"}", "Gr\u00FC\u00DF \U0001F600"},
      {R"({"text":"first","text":"last"})", "last"},
      {"\xEF\xBB\xBF{\"text\":\"bom\"}", "bom"},
      {R"({"nested":{"text":5},"text":"top"})", "top"},
  };
  for (const auto& c : cases) {
    const auto input = decodeHelperInput(c.json);
    ASSERT_TRUE(input) << c.json;
    EXPECT_EQ(input->text, c.text) << c.json;
  }
}

TEST(DecodeHelperInput, RefusesEverythingElse) {
  const std::string cases[] = {
      "",
      "   ",
      "{}",
      "[]",
      R"(["text"])",
      R"("text")",
      "null",
      "42",
      R"({"text":null})",
      R"({"text":42})",
      R"({"text":true})",
      R"({"text":["a"]})",
      R"({"text":{"a":"b"}})",
      R"({"text":"a","text":1})",
      R"({"Text":"a"})",
      R"({"nested":{"text":"only here"}})",
      // Outside the grammar.
      R"({"text":"a",})",
      R"({"text":"a" // note
})",
      R"({"text":"a" /* note */})",
      R"({'text':'a'})",
      R"({text:"a"})",
      R"({"text":"a"} x)",
      R"({"text":"a"}{"text":"b"})",
      R"({"text":"a","n":01})",
      R"({"text":"a","n":1.})",
      R"({"text":"a","n":.5})",
      R"({"text":"a","n":+1})",
      R"({"text":"a","n":1e})",
      R"({"text":"a","n":NaN})",
      R"({"text":"a","n":[1,]})",
      R"({"text":"a","n":[,1]})",
      R"({"text":"a","n":tru})",
      R"({"text":"a" "b":1})",
      R"({"text""a"})",
      R"({"text":"a")",
      R"({"text":"a)",
      "{\"text\":\"tab\tinside\"}",
      "{\"text\":\"line\nfeed\"}",
      R"({"text":"\x41"})",
      R"({"text":"\u12"})",
      R"({"text":"\uZZZZ"})",
      // Unpaired surrogate escapes.
      R"({"text":"\ud800"})",
      R"({"text":"\udc00"})",
      R"({"text":"\ud800x"})",
      R"({"text":"\ud800\u0041"})",
      R"({"text":"ok","other":"\udfff"})",
      // Invalid UTF-8: stray continuation, overlong, encoded surrogate, beyond U+10FFFF, truncated.
      "{\"text\":\"\x80\"}",
      "{\"text\":\"\xC0\xAF\"}",
      "{\"text\":\"\xED\xA0\x80\"}",
      "{\"text\":\"\xF4\x90\x80\x80\"}",
      "{\"text\":\"\xE2\x82\"}",
      "{\"text\":\"ok\",\"k\xFF\":1}",
      "{\"text\":\"ok\"}\xC3",
      // A NUL byte outside a string, and whitespace JSON does not allow.
      std::string("{\"text\":\"a\"}\0", 13),
      "{\"text\":\"a\"}\v",
      "\xC2\xA0{\"text\":\"a\"}",
  };
  for (const auto& json : cases) EXPECT_FALSE(decodeHelperInput(json)) << json;
}

TEST(DecodeHelperInput, DeepNestingIsReadWithoutRecursion) {
  const size_t depth = 1'000'000;
  std::string deep =
      R"({"text":"deep","n":)" + std::string(depth, '[') + std::string(depth, ']') + "}";
  const auto input = decodeHelperInput(deep);
  ASSERT_TRUE(input);
  EXPECT_EQ(input->text, "deep");
  // The same depth left unclosed is refused, not a crash.
  EXPECT_FALSE(decodeHelperInput(R"({"text":"x","n":)" + std::string(depth, '{')));
  std::string objects = R"({"text":"x","n":)";
  for (size_t i = 0; i < 100'000; ++i) objects += R"({"a":)";
  objects += "1" + std::string(100'000, '}') + "}";
  EXPECT_TRUE(decodeHelperInput(objects));
}

TEST(AcceptInput, RefusesTextThatCleansToNothing) {
  EXPECT_FALSE(acceptInput(R"({"text":""})"));
  EXPECT_FALSE(acceptInput(R"({"text":" \t\n\r\u00a0\u2028 "})"));
  const auto one = acceptInput(R"({"text":"  x\n"})");
  ASSERT_TRUE(one);
  EXPECT_EQ(one->text, "  x\n");  // handed on as decoded, not cleaned
}

}  // namespace
}  // namespace marrowfen::entities
