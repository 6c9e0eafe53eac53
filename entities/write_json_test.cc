#include "entities/write_json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace marrowfen::entities {
namespace {

TEST(EncodeJson, OutputLeavesAbsentMembersOut) {
  HelperOutput output;
  output.entities.push_back(Candidate{.type = "date",
                                      .value = "12/03/1990",
                                      .evidence = "Born \"12/03/1990\"\tin\\Pune",
                                      .confidence = 0.84,
                                      .metadata = {{"detector", "NSDataDetector.date"}}});
  output.entities.push_back(Candidate{.type = "identifier",
                                      .value = "+91 98765 43210",
                                      .label = "phone",
                                      .suggestedRole = "reference_number",
                                      .evidence = "Phone: +91 98765 43210",
                                      .confidence = 0.72,
                                      .metadata = {{"detector", "NSDataDetector.phoneNumber"}}});
  EXPECT_EQ(
      encodeJson(output),
      R"({"ok":true,"entities":[{"type":"date","value":"12/03/1990","evidence":"Born \"12/03/1990\"\tin\\Pune","confidence":0.84,"metadata":{"detector":"NSDataDetector.date"}},)"
      R"({"type":"identifier","value":"+91 98765 43210","label":"phone","suggestedRole":"reference_number","evidence":"Phone: +91 98765 43210","confidence":0.72,"metadata":{"detector":"NSDataDetector.phoneNumber"}}],"warnings":[]})");
  output.language = "de";
  output.entities.clear();
  EXPECT_EQ(encodeJson(output), R"({"ok":true,"language":"de","entities":[],"warnings":[]})");
}

TEST(EncodeJson, ControlCharactersEscapedUnicodeRaw) {
  HelperOutput output;
  output.entities.push_back(Candidate{.type = "person",
                                      .value = "J\u00FCrgen \U0001F600",
                                      .evidence = std::string("a\x01", 2) + "\x1F",
                                      .confidence = 0.8,
                                      .metadata = {{"nlTag", "personalName"}}});
  const auto json = encodeJson(output);
  ASSERT_TRUE(json);
  EXPECT_NE(json->find("\"J\u00FCrgen \U0001F600\""), std::string::npos);
  EXPECT_NE(json->find(R"("a\u0001\u001f")"), std::string::npos);
  EXPECT_NE(json->find("\"confidence\":0.8,"), std::string::npos);
}

TEST(EncodeJson, NonFiniteConfidenceCannotBeEncoded) {
  HelperOutput output;
  output.entities.push_back(
      Candidate{.type = "date", .value = "x", .evidence = "x", .confidence = std::nan("")});
  EXPECT_FALSE(encodeJson(output));
  EXPECT_EQ(std::strlen(kEncodingFallback), 42u);
  EXPECT_EQ(std::string(kEncodingFallback), "{\"ok\":false,\"error\":\"json_encode_failed\"}\n");
}

TEST(EncodeJson, Failure) {
  EXPECT_EQ(encodeJson(HelperFailure{.ok = false, .error = kEmptyOrInvalidInput}),
            R"({"ok":false,"error":"empty_or_invalid_input"})");
}

}  // namespace
}  // namespace marrowfen::entities
