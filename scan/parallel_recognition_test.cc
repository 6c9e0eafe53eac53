#include "scan/parallel_recognition.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <limits>

#include "scan/platform.h"
#include "scan/recognizer.h"
#include "scan/run_state.h"
#include "scan/testing/fake_platform.h"

namespace marrowfen::scan {
namespace {

using testing::FixedText;

// A line of text with a confidence that varies with the text, so that pages differ in it.
std::shared_ptr<FixedText> lineOf(std::string text) {
  const float confidence = 0.25f + static_cast<float>(text.size() % 7) / 10;
  return std::make_shared<FixedText>(std::move(text), confidence);
}

// Reads pixel 0 of the page (its marker) and pixel 1 (a delay in tens of milliseconds):
//   'X'  the request fails;
//   'K'  in a worker process, the worker dies; in the program itself it recognises normally;
//   'H'  in a worker, the worker answers with garbage (a half record) and then dies;
//   other markers give one line "page <marker> <pixel 2>".
// Counts the requests made in this process only (a worker's count stays in the worker), and the
// requests that only start the engine.
class MarkerRecognizer : public TextRecognizer {
 public:
  RecognitionResult perform(Image image, const RecognitionRequest& request) const override {
    if (request.startOnly) {
      ++starts;
      return {};
    }
    const uint8_t marker = image.row(0)[0];
    const bool inWorker = ::getpid() != mainPid;
    if (inWorker && marker == 'K') ::_exit(3);
    if (inWorker && marker == 'H') {
      const uint64_t size = 1000;
      (void)!::write(3, &size, sizeof size);  // a worker's socket is descriptor 3
      ::_exit(0);
    }
    if (!inWorker) ++calls;
    ::usleep(image.row(0)[1] * 10000u);
    if (marker == 'X')
      return {.error = "the engine refused page " + std::to_string(image.row(0)[2])};
    return {
        .observations = {{.boundingBox = {0.1, 0.8, 0.5, 0.05},
                          .topCandidate = lineOf(std::string("page ") + static_cast<char>(marker) +
                                                 " " + std::to_string(image.row(0)[2]))}}};
  }
  pid_t mainPid = ::getpid();
  mutable int calls = 0;
  mutable int starts = 0;
};

Image page(char marker, int delayCentiseconds, int id) {
  std::vector<uint8_t> pixels(16 * 8, 255);
  pixels[0] = static_cast<uint8_t>(marker);
  pixels[1] = static_cast<uint8_t>(delayCentiseconds);
  pixels[2] = static_cast<uint8_t>(id);
  return Image(16, 8, PixelFormat::kGrey, 16, std::move(pixels));
}

class PageRecognitionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = platform();
    platform().recognizer = &recognizer_;
  }
  void TearDown() override { platform() = saved_; }

  // Adds the pages (marker, delay) in order and takes each as soon as it is finished, the way
  // the OCR run does; returns each page's text, or "error: ..." for a failed one.
  std::vector<std::string> run(PageRecognition& recognition,
                               const std::vector<std::pair<char, int>>& pages) {
    std::vector<std::string> out;
    std::vector<size_t> tickets;
    size_t taken = 0;
    const auto takeReady = [&](bool wait) {
      while (taken < tickets.size() && (wait || recognition.finished(tickets[taken]))) {
        const Recognition r = recognition.take(tickets[taken++]);
        out.push_back(r.page ? r.page->text : "error: " + r.error);
      }
    };
    for (size_t i = 0; i < pages.size(); ++i) {
      tickets.push_back(recognition.add(page(pages[i].first, pages[i].second, static_cast<int>(i)),
                                        static_cast<int64_t>(i + 1),
                                        static_cast<int64_t>(pages.size() - i - 1)));
      EXPECT_EQ(tickets.back(), i);
      takeReady(false);
    }
    takeReady(true);
    return out;
  }

  // The answers of the same pages recognised one after another in this process.
  std::vector<std::string> sequential(const std::vector<std::pair<char, int>>& pages) {
    PageRecognition recognition(1);
    auto out = run(recognition, pages);
    EXPECT_EQ(recognition.workersStarted(), 0);
    return out;
  }

  MarkerRecognizer recognizer_;
  Platform saved_;
};

TEST_F(PageRecognitionTest, AnswersComeInPageOrderWhateverFinishesFirst) {
  // The first pages are the slowest, so later ones finish first.
  const std::vector<std::pair<char, int>> pages = {{'a', 30}, {'b', 1}, {'c', 1}, {'d', 20},
                                                   {'e', 0},  {'f', 0}, {'g', 5}};
  const auto expected = sequential(pages);
  ASSERT_EQ(expected.size(), pages.size());
  EXPECT_EQ(expected[0], "page a 0");
  for (const int64_t workers : {2, 3, 8}) {
    PageRecognition recognition(workers);
    recognizer_.calls = 0;
    EXPECT_EQ(run(recognition, pages), expected) << workers << " workers";
    EXPECT_EQ(recognition.workersStarted(), std::min<int64_t>(workers, 7));
    EXPECT_EQ(recognizer_.calls, 0) << "every page recognised by a worker";
  }
}

TEST_F(PageRecognitionTest, OnePageStartsNothingAndFewPagesFewWorkers) {
  {
    PageRecognition recognition(4);
    EXPECT_EQ(run(recognition, {{'a', 0}}), std::vector<std::string>{"page a 0"});
    EXPECT_EQ(recognition.workersStarted(), 0);
    EXPECT_EQ(recognizer_.calls, 1);
    EXPECT_EQ(recognizer_.starts, 0);
  }
  {
    PageRecognition recognition(4);
    EXPECT_EQ(run(recognition, {{'a', 0}, {'b', 0}}),
              (std::vector<std::string>{"page a 0", "page b 1"}));
    EXPECT_EQ(recognition.workersStarted(), 2);
    // The engine is started once, in the program, before the workers are forked from it.
    EXPECT_EQ(recognizer_.starts, 1);
  }
}

TEST_F(PageRecognitionTest, ErrorsComeBackAsTheyAre) {
  const std::vector<std::pair<char, int>> pages = {{'a', 0}, {'b', 2}, {'X', 0}, {'d', 0}};
  PageRecognition recognition(2);
  const auto got = run(recognition, pages);
  EXPECT_EQ(got, sequential(pages));
  EXPECT_EQ(got[2], "error: the engine refused page 2");
}

TEST_F(PageRecognitionTest, APageWhoseWorkerDiesIsRecognisedHere) {
  const struct {
    const char* name;
    std::vector<std::pair<char, int>> pages;
    int retried;  // pages recognised in this process
  } cases[] = {
      {"one worker dies", {{'a', 0}, {'K', 0}, {'c', 0}, {'d', 3}, {'e', 0}, {'f', 0}}, 1},
      {"a worker sends half a record", {{'a', 2}, {'b', 0}, {'H', 0}, {'d', 0}, {'e', 0}}, 1},
      {"every worker dies", {{'K', 0}, {'K', 1}, {'K', 0}, {'d', 0}, {'e', 0}}, 5},
      {"the last page's worker dies", {{'a', 0}, {'b', 0}, {'K', 0}}, 1},
  };
  for (const auto& c : cases) {
    const auto expected = sequential(c.pages);
    recognizer_.calls = 0;
    PageRecognition recognition(2);
    EXPECT_EQ(run(recognition, c.pages), expected) << c.name;
    EXPECT_EQ(recognizer_.calls, c.retried) << c.name;
  }
}

TEST_F(PageRecognitionTest, AStoppedRunLeavesNoWorkerBehind) {
  std::vector<pid_t> children;
  {
    PageRecognition recognition(2);
    recognition.add(page('a', 50, 0), 1, 5);
    recognition.add(page('b', 50, 1), 2, 4);
    EXPECT_EQ(recognition.workersStarted(), 2);
    // Ended before anything is taken, as a failed run ends.
  }
  // Both workers were reaped: this process has no child left to wait for.
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
  EXPECT_EQ(errno, ECHILD);
}

TEST(RecognitionWireForm, RoundTripsEveryFieldBitForBit) {
  OcrPage full{
      .pageNumber = 12,
      .text = "Zeile eins\nligne deux \xE2\x80\x94 \xF0\x9F\x98\x80",
      .confidence = 0.1 + 0.2,
      .fragments = {{.text = "Zeile", .confidence = 0.87f, .boundingBox = {0.1, 0.2, 0.3, 1e-300}},
                    {.text = "", .confidence = -0.0, .boundingBox = {}}},
      .source = "ocr",
      .sourceReason = ""};
  const Recognition cases[] = {
      {.page = full},
      {.page = OcrPage{.pageNumber = 1}},
      {.error = "the engine refused"},
      {.error = ""},
      {.error = "Recognition of page 3 was stopped", .overTime = true},
  };
  for (const Recognition& r : cases) {
    const std::string bytes = encodeRecognition(r);
    const std::optional<Recognition> back = decodeRecognition(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(encodeRecognition(*back), bytes);
    ASSERT_EQ(back->page.has_value(), r.page.has_value());
    EXPECT_EQ(back->error, r.error);
    EXPECT_EQ(back->overTime, r.overTime);
    if (r.page) {
      EXPECT_EQ(back->page->text, r.page->text);
      EXPECT_EQ(back->page->confidence, r.page->confidence);
      ASSERT_EQ(back->page->fragments.size(), r.page->fragments.size());
      EXPECT_EQ(back->page->source, r.page->source);
      EXPECT_EQ(back->page->sourceReason, r.page->sourceReason);
    }
    // Every shorter prefix, and anything appended, is refused.
    for (size_t n = 0; n < bytes.size(); ++n) {
      EXPECT_FALSE(decodeRecognition(std::string_view(bytes).substr(0, n))) << n;
    }
    EXPECT_FALSE(decodeRecognition(bytes + "x"));
  }
  // A fragment count far beyond the bytes that follow is refused before anything is made.
  std::string lying = encodeRecognition({.page = OcrPage{.pageNumber = 1, .text = "a"}});
  const size_t countAt = 1 + 8 + 8 + 1 + 8;
  const uint64_t huge = uint64_t{1} << 60;
  lying.replace(countAt, 8, reinterpret_cast<const char*>(&huge), 8);
  EXPECT_FALSE(decodeRecognition(lying));
  // A kind of record that does not exist.
  std::string unknown = encodeRecognition({.error = "e"});
  unknown[0] = 3;
  EXPECT_FALSE(decodeRecognition(unknown));
}

TEST(RecognitionWorkers, TheEnvironmentOrTheMachineDecides) {
  EXPECT_GE(machineCores(), 1);
  const struct {
    const char* value;  // nullptr: unset
    int64_t expected;   // 0: the machine's cores
  } cases[] = {{nullptr, 0}, {"3", 3},  {"1", 1},  {"64", 64}, {"0", 0},
               {"65", 0},    {"-2", 0}, {"2x", 0}, {"", 0}};
  for (const auto& c : cases) {
    if (c.value) {
      setenv("MARROWFEN_OCR_WORKERS", c.value, 1);
    } else {
      unsetenv("MARROWFEN_OCR_WORKERS");
    }
    EXPECT_EQ(recognitionWorkersFromEnvironment(),
              c.expected != 0 ? c.expected : std::min<int64_t>(machineCores(), 64))
        << (c.value ? c.value : "unset");
  }
  unsetenv("MARROWFEN_OCR_WORKERS");
}

}  // namespace
}  // namespace marrowfen::scan
