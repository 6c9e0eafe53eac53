#include "scan/recognition_deadline.h"

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

#include "scan/platform.h"
#include "scan/processor_time.h"
#include "scan/recognize.h"
#include "scan/testing/fake_platform.h"

namespace marrowfen::scan {
namespace {

// Keeps this thread's processor busy for `ms` milliseconds of its own time.
void work(int ms) {
  const auto until = processorTime(CLOCK_THREAD_CPUTIME_ID) + std::chrono::milliseconds(ms);
  volatile uint64_t sink = 0;
  while (processorTime(CLOCK_THREAD_CPUTIME_ID) < until) sink = sink + 1;
}

// Works as the page's pixels say, in tens of milliseconds: pixel 0 before reading words, pixel 1
// reading them (reported to the request's phases), pixel 2 after.
class WorkingRecognizer : public TextRecognizer {
 public:
  RecognitionResult perform(Image image, const RecognitionRequest& request) const override {
    if (request.startOnly) return {};
    const uint8_t* tens = image.row(0);
    work(tens[0] * 10);
    if (request.phases != nullptr) request.phases->readingWords(true);
    work(tens[1] * 10);
    if (request.phases != nullptr) request.phases->readingWords(false);
    work(tens[2] * 10);
    return {.observations = {{.boundingBox = {0.1, 0.8, 0.5, 0.05},
                              .topCandidate = std::make_shared<testing::FixedText>("read", 1.0f)}}};
  }
};

class RecognitionDeadlineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = platform();
    platform().recognizer = &recognizer_;
    setRecognitionTimeBudget(std::chrono::milliseconds(100));
  }
  void TearDown() override {
    platform() = saved_;
    setRecognitionTimeBudget(kRecognitionTimeBudget);
    setRecognitionOverTime(nullptr);
  }

  WorkingRecognizer recognizer_;
  Platform saved_;
};

TEST_F(RecognitionDeadlineTest, OnlyTimeOutsideReadingWordsCounts) {
  const struct {
    int before, reading, after;  // tens of milliseconds
    bool watched;                // an over-time action is set
    bool stopped;
  } cases[] = {
      {0, 0, 0, true, false},    // a page with nothing to do
      {2, 30, 2, true, false},   // long reading, little else
      {20, 0, 0, false, false},  // slow preparation, but nothing watches
      {20, 0, 0, true, true},    // the same, watched
      {8, 10, 8, true, true},    // the parts before and after reading add up
      {0, 0, 20, true, true},    // time after reading counts too
  };
  for (const auto& c : cases) {
    std::mutex mutex;
    std::vector<std::string> errors;
    if (c.watched) {
      setRecognitionOverTime([&](const std::string& error) {
        const std::lock_guard lock(mutex);
        errors.push_back(error);
      });
    }
    std::vector<uint8_t> pixels(16, 0);
    pixels[0] = static_cast<uint8_t>(c.before);
    pixels[1] = static_cast<uint8_t>(c.reading);
    pixels[2] = static_cast<uint8_t>(c.after);
    const Recognition recognition = recognize(Image(4, 4, PixelFormat::kGrey, 4, pixels), 7);
    // The action here returns, so the page goes on to its end.
    ASSERT_TRUE(recognition.page) << c.before << " " << c.reading << " " << c.after;
    const std::lock_guard lock(mutex);
    if (c.stopped) {
      ASSERT_EQ(errors.size(), 1u) << c.before << " " << c.reading << " " << c.after;
      EXPECT_EQ(errors[0],
                "Recognition of page 7 was stopped: preparing the page and finding its lines "
                "took more than 0.1 s of processor time.");
    } else {
      EXPECT_TRUE(errors.empty()) << c.before << " " << c.reading << " " << c.after;
    }
    setRecognitionOverTime(nullptr);
  }
}

}  // namespace
}  // namespace marrowfen::scan
