#include "scan/write_json.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace marrowfen::scan {
namespace {

TEST(WriteJsonTest, PageWithoutSourceHasExactlyFourMembers) {
  OcrOutput output{.ok = true,
                   .sourceType = "native_ocr_image",
                   .pageCount = 1,
                   .rawText = "",
                   .confidence = 0,
                   .pages = {OcrPage{.pageNumber = 1}},
                   .warnings = {}};
  EXPECT_EQ(*encodeJson(output),
            R"({"ok":true,"sourceType":"native_ocr_image","pageCount":1,"rawText":"",)"
            R"("confidence":0,"pages":[{"pageNumber":1,"text":"","confidence":0,"fragments":[]}],)"
            R"("warnings":[]})");
}

TEST(WriteJsonTest, SourceWithoutReason) {
  OcrPage page{.pageNumber = 2,
               .text = "a\"b\\c\td\ne\u0001 é",
               .confidence = 0.5,
               .fragments = {{.text = "x", .confidence = 1, .boundingBox = {0.25, 0.5, 0.125, 1}}},
               .source = "ocr"};
  OcrOutput output{.sourceType = "native_ocr_pdf", .pageCount = 1, .pages = {page}};
  const std::string json = *encodeJson(output);
  EXPECT_NE(json.find(R"("text":"a\"b\\c\td\ne\u0001 é")"), std::string::npos) << json;
  EXPECT_NE(json.find(R"("source":"ocr")"), std::string::npos);
  EXPECT_EQ(json.find("sourceReason"), std::string::npos);
  EXPECT_NE(json.find(R"("boundingBox":{"x":0.25,"y":0.5,"width":0.125,"height":1})"),
            std::string::npos);
}

TEST(WriteJsonTest, RenderOutputKeepsSlashesPlain) {
  RenderOutput output{.pageCount = 3,
                      .pages = {{.pageNumber = 1, .path = "/tmp/out dir/page-0001.png"}},
                      .warnings = {"Could not render PDF page 2."}};
  EXPECT_EQ(
      *encodeJson(output),
      R"({"ok":true,"pageCount":3,"pages":[{"pageNumber":1,)"
      R"("path":"/tmp/out dir/page-0001.png"}],"warnings":["Could not render PDF page 2."]})");
}

TEST(WriteJsonTest, NonFiniteValueAnywhereFailsTheWholeRecord) {
  const double bad[] = {std::nan(""), std::numeric_limits<double>::infinity()};
  for (double v : bad) {
    OcrOutput confidence{.confidence = v};
    EXPECT_FALSE(encodeJson(confidence));
    OcrOutput box{.pages = {{.fragments = {{.boundingBox = {0, 0, v, 0}}}}}};
    EXPECT_FALSE(encodeJson(box));
  }
  EXPECT_EQ(std::string(kEncodingFallback).size(), 52u);
}

TEST(WriteJsonTest, Failure) {
  EXPECT_EQ(*encodeJson(OcrFailure{.ok = false, .error = "Input file does not exist: a/b"}),
            R"({"ok":false,"error":"Input file does not exist: a/b"})");
}

}  // namespace
}  // namespace marrowfen::scan
