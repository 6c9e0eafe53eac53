// The program's recogniser, loaded from the module built beside it.
#include "scan/recognizer_module.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "scan/testing/text_image.h"

namespace marrowfen::scan {
namespace {

using ::testing::HasSubstr;

TEST(RecognizerModule, MissingModuleFailsEveryRequestNamingTheFile) {
  const ModuleRecognizer recognizer("/nonexistent/marrowfen-tesseract.so", nullptr);
  const Image image = testing::textImage({"Invoice number 4711"}, 800, 200);
  for (int attempt = 0; attempt < 2; ++attempt) {
    const RecognitionResult result = recognizer.perform(image, {});
    ASSERT_TRUE(result.error);
    EXPECT_THAT(*result.error, HasSubstr("/nonexistent/marrowfen-tesseract.so"));
    EXPECT_TRUE(result.observations.empty());
  }
}

TEST(RecognizerModule, FileWithoutTheEntryPointIsRefused) {
  // Any shared object without the entry point: the C library will do.
  const ModuleRecognizer recognizer("libc.so.6", nullptr);
  const RecognitionResult result = recognizer.perform(testing::textImage({"x"}, 100, 50), {});
  ASSERT_TRUE(result.error);
  EXPECT_THAT(*result.error, HasSubstr("no entry point"));
}

TEST(RecognizerModule, BuiltModuleRecognisesWithOneOpenMpThread) {
  const ModuleRecognizer recognizer(MARROWFEN_TESSERACT_MODULE, nullptr);
  const Image image = testing::textImage({"Invoice number 4711", "Total amount due"}, 1200, 400);
  const RecognitionResult result = recognizer.perform(image, {});
  ASSERT_FALSE(result.error) << *result.error;
  ASSERT_EQ(result.observations.size(), 2u);
  EXPECT_EQ(result.observations[1].topCandidate->string(), "Total amount due");
  const char* limit = std::getenv("OMP_THREAD_LIMIT");
  ASSERT_NE(limit, nullptr);
  EXPECT_STREQ(limit, "1");
  // The engine's own failures come back as they are.
  const RecognitionResult bad = recognizer.perform(image, {.languages = {"xx"}});
  ASSERT_TRUE(bad.error);
  EXPECT_THAT(*bad.error, HasSubstr("\"xx\""));
}

TEST(RecognizerModule, PathIsBesideTheRunningProgram) {
  const std::string path = recognizerModulePath();
  EXPECT_THAT(path, ::testing::EndsWith(std::string("/") + kRecognizerModuleName));
  EXPECT_EQ(path.front(), '/');
}

}  // namespace
}  // namespace marrowfen::scan
