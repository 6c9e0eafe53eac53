#include "scan/command_line.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "scan/run_state.h"

namespace marrowfen::scan {
namespace {

// The message that parsing `args` (after the program name) fails with, or "" when it succeeds.
std::string failureOf(std::vector<std::string> args) {
  args.insert(args.begin(), "marrowfen-scan");
  try {
    parseCommandLine(args);
    return "";
  } catch (const RunEnded& ended) {
    EXPECT_EQ(ended.code, 1);
    return ended.message;
  }
}

CommandLine parsed(std::vector<std::string> args) {
  args.insert(args.begin(), "marrowfen-scan");
  return parseCommandLine(args);
}

TEST(CommandLineTest, Defaults) {
  const RecognitionOptions o;
  EXPECT_TRUE(o.languageCorrection);
  EXPECT_EQ(o.renderScale, 2);
  EXPECT_EQ(o.minimumLongEdge, 1600);
  EXPECT_TRUE(o.languages.empty());
  EXPECT_FALSE(o.fast);
  EXPECT_FALSE(o.pages);
  EXPECT_FALSE(o.scaleWasSet);
  EXPECT_EQ(o.source, "ocr");
}

TEST(CommandLineTest, Rejections) {
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{"--bogus", "file.png"}, "Unknown option: --bogus"},
      {{"--Fast"}, "Unknown option: --Fast"},
      {{"---"}, "Unknown option: ---"},
      {{"--scale=2"}, "Unknown option: --scale=2"},
      {{"x", "--scale"}, "--scale needs a value."},
      {{"--min-long-edge"}, "--min-long-edge needs a value."},
      {{"--languages"}, "--languages needs a value."},
      {{"--source"}, "--source needs a value."},
      {{"--pages"}, "--pages needs a value."},
      {{"--scale", "--fast"}, "--scale must be between 0 and 8."},
      {{"--scale", "0"}, "--scale must be between 0 and 8."},
      {{"--scale", "-1"}, "--scale must be between 0 and 8."},
      {{"--scale", "8.5"}, "--scale must be between 0 and 8."},
      {{"--scale", "nan"}, "--scale must be between 0 and 8."},
      {{"--scale", "inf"}, "--scale must be between 0 and 8."},
      {{"--scale", "2x"}, "--scale must be between 0 and 8."},
      {{"--scale", " 2"}, "--scale must be between 0 and 8."},
      {{"--scale", ""}, "--scale must be between 0 and 8."},
      {{"--scale", "1e999"}, "--scale must be between 0 and 8."},
      {{"--min-long-edge", "-0.5"}, "--min-long-edge must be between 0 and 10000."},
      {{"--min-long-edge", "10001"}, "--min-long-edge must be between 0 and 10000."},
      {{"--source", "OCR"}, "--source must be ocr, auto or text-layer."},
      {{"--source", "text_layer"}, "--source must be ocr, auto or text-layer."},
      {{"--pages", "3-1"}, "--pages must look like 1-3,5."},
      // Only the first bad argument is reported.
      {{"--scale", "9", "--bogus"}, "--scale must be between 0 and 8."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(failureOf(c.args), c.message) << testing::PrintToString(c.args);
  }
}

TEST(CommandLineTest, AcceptedValues) {
  EXPECT_EQ(parsed({"--scale", "8"}).options.renderScale, 8);
  EXPECT_EQ(parsed({"--scale", "0x1p1"}).options.renderScale, 2);
  EXPECT_EQ(parsed({"--scale", "1e0"}).options.renderScale, 1);
  EXPECT_TRUE(parsed({"--scale", "2"}).options.scaleWasSet);
  EXPECT_EQ(parsed({"--min-long-edge", "0"}).options.minimumLongEdge, 0);
  EXPECT_EQ(parsed({"--min-long-edge", "10000"}).options.minimumLongEdge, 10000);
  EXPECT_FALSE(parsed({"--fast", "--accurate"}).options.fast);
  EXPECT_TRUE(parsed({"--accurate", "--fast"}).options.fast);
  EXPECT_FALSE(parsed({"--no-language-correction"}).options.languageCorrection);
  EXPECT_TRUE(
      parsed({"--no-language-correction", "--language-correction"}).options.languageCorrection);
  EXPECT_EQ(parsed({"--source", "auto", "--source", "text-layer"}).options.source, "text-layer");
}

TEST(CommandLineTest, Languages) {
  using L = std::vector<std::string>;
  EXPECT_EQ(parsed({"--languages", " de-DE ,\t, en-US\u00a0,,fr"}).options.languages,
            (L{"de-DE", "en-US", "fr"}));
  EXPECT_EQ(parsed({"--languages", "en", "--languages", ""}).options.languages, L{});
  EXPECT_EQ(parsed({"--languages", "\nen"}).options.languages, L{"\nen"});
}

TEST(CommandLineTest, PositionalsAndValuesThatLookLikeOptions) {
  using P = std::vector<std::string>;
  EXPECT_EQ(parsed({"--", "file"}).positional, (P{"--", "file"}));
  EXPECT_EQ(parsed({"-", "-x", "a"}).positional, (P{"-", "-x", "a"}));
  EXPECT_EQ(parsed({"--languages", "--fast", "f"}).options.languages, P{"--fast"});
  EXPECT_EQ(parsed({"--render-pages", "--scale", "3", "in.pdf", "out"}).positional,
            (P{"--render-pages", "in.pdf", "out"}));
}

TEST(PageSelectionTest, Grammar) {
  const struct {
    std::string text;
    std::vector<int64_t> in;
    std::vector<int64_t> out;
  } accepted[] = {
      {"1-3,5", {1, 2, 3, 5}, {0, 4, 6}},
      {" 2 - 4\t", {2, 3, 4}, {1, 5}},
      {"1,,2", {1, 2}, {3}},
      {",7,", {7}, {6, 8}},
      {"+2", {2}, {1, 3}},
      {"3-3", {3}, {2, 4}},
      {"5,1-2,2-6", {1, 2, 3, 4, 5, 6}, {7}},
      {"1-9223372036854775807", {1, 1000000, INT64_MAX}, {0, -1}},
      {"9223372036854775807,1", {1, INT64_MAX}, {2}},
  };
  for (const auto& c : accepted) {
    const auto selection = parsePageSelection(c.text);
    ASSERT_TRUE(selection) << c.text;
    for (int64_t n : c.in) EXPECT_TRUE(selection->contains(n)) << c.text << " " << n;
    for (int64_t n : c.out) EXPECT_FALSE(selection->contains(n)) << c.text << " " << n;
  }
  for (std::string bad : {"3-1", "0", "0-2", "1-2-3", "-3", "5-", "a", "", ",", "1, ,2",
                          "9223372036854775808", "1-+", "2 3"}) {
    EXPECT_FALSE(parsePageSelection(bad)) << bad;
  }
}

TEST(NumberReadingTest, Integers) {
  EXPECT_EQ(readInteger("0"), 0);
  EXPECT_EQ(readInteger("-5"), -5);
  EXPECT_EQ(readInteger("+12"), 12);
  EXPECT_EQ(readInteger("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(readInteger("-9223372036854775808"), INT64_MIN);
  for (std::string bad : {"", "+", "-", " 1", "1 ", "1.0", "9223372036854775808",
                          "-9223372036854775809", "0x10", "١"}) {
    EXPECT_FALSE(readInteger(bad)) << bad;
  }
}

TEST(StartUpTest, ModesAndRenderArguments) {
  startUp({"scan", "--render-pages", "in.pdf", "out", "x", "first-last:1:1", "extra"});
  EXPECT_TRUE(renderOnly);
  EXPECT_EQ(inputPath, "in.pdf");
  EXPECT_EQ(renderOutputDir, "out");
  EXPECT_EQ(renderMaxPages, 0);
  EXPECT_EQ(renderPageSelection, "first-last:1:1");

  startUp({"scan", "--render-pages", "in.pdf", "out", "-5"});
  EXPECT_EQ(renderMaxPages, -5);
  EXPECT_EQ(renderPageSelection, "");

  startUp({"scan", "in.pdf", "--render-pages", "out"});
  EXPECT_FALSE(renderOnly);
  EXPECT_EQ(inputPath, "in.pdf");
  EXPECT_FALSE(renderOutputDir);

  startUp({"scan", "--render-pages", "in.pdf"});
  EXPECT_FALSE(renderOnly);
  EXPECT_EQ(inputPath, "--render-pages");

  startUp({"scan", "--scale", "3", "--min-long-edge", "99", "a.png"});
  EXPECT_EQ(baseRenderScale, 3);
  EXPECT_EQ(minimumRenderLongEdge, 99);
  EXPECT_EQ(renderCropMargin, 0.04);
}

TEST(StartUpTest, UsageWhenNoPositional) {
  const std::string usage =
      "Usage: marrowfen-scan <file-path> OR marrowfen-scan --render-pages <file-path> "
      "<output-dir>";
  for (auto argv : std::vector<std::vector<std::string>>{{"scan"}, {"scan", "--fast"}}) {
    try {
      startUp(argv);
      ADD_FAILURE() << "no failure";
    } catch (const RunEnded& ended) {
      EXPECT_EQ(ended.message, usage);
    }
  }
}

TEST(StartUpTest, PathExtension) {
  EXPECT_EQ(pathExtension("/a/b/Scan.PDF"), "pdf");
  EXPECT_EQ(pathExtension("/a/b.pdf/scan"), "");
  EXPECT_EQ(pathExtension("/a/x.tar.Gz"), "gz");
  EXPECT_EQ(pathExtension("/a/file."), "");
  EXPECT_EQ(pathExtension("/a/dir.pdf/"), "pdf");
}

TEST(EnvironmentTest, DocumentPassword) {
  unsetenv(documentPasswordEnvironmentKey);
  EXPECT_EQ(documentPasswordFromEnvironment(), "");
  setenv(documentPasswordEnvironmentKey, "", 1);
  EXPECT_EQ(documentPasswordFromEnvironment(), "");
  setenv(documentPasswordEnvironmentKey, "s3cr\u00e9t", 1);
  EXPECT_EQ(documentPasswordFromEnvironment(), "s3cr\u00e9t");
  unsetenv(documentPasswordEnvironmentKey);
}

}  // namespace
}  // namespace marrowfen::scan
