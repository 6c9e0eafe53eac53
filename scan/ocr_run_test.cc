#include "scan/ocr_run.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "scan/processor_time.h"
#include "scan/recognition_deadline.h"
#include "scan/recognizer.h"
#include "scan/run_state.h"
#include "scan/testing/fake_platform.h"

namespace marrowfen::scan {
namespace {

using ::testing::ElementsAre;
using testing::FakeImageService;
using testing::FakePageData;
using testing::FakePdfDocument;
using testing::FakePdfService;
using testing::FixedText;

// Reads the marker the fake pages draw into pixel 0: 'X' makes the request fail, 255 (no
// marker) recognises nothing, any other marker is recognised as the text "page <marker>".
class MarkerRecognizer : public TextRecognizer {
 public:
  RecognitionResult perform(Image image, const RecognitionRequest& request) const override {
    if (request.startOnly) return {};
    const uint8_t marker = image.row(0)[0];
    if (!image.holdsPixelsAlone()) ++sharedImages;
    // A worker process dies on 'K'; the program itself recognises that page normally.
    if (marker == 'K' && ::getpid() != mainPid) ::_exit(3);
    // 'S' works (for at most ten seconds of processor time) until the test lets it go: a page
    // that runs out of time.
    if (marker == 'S') {
      ++slowPages;
      const auto until = processorTime(CLOCK_THREAD_CPUTIME_ID) + std::chrono::seconds(10);
      while (!letGo && processorTime(CLOCK_THREAD_CPUTIME_ID) < until) {
      }
      --slowPages;
      return {.error = "the slow page was finished"};
    }
    ++calls;
    if (marker == 'X') return {.error = "the engine refused"};
    if (marker == 255) return {};
    return {.observations = {{.boundingBox = {0.1, 0.8, 0.5, 0.05},
                              .topCandidate = std::make_shared<FixedText>(
                                  std::string("page ") + static_cast<char>(marker), 0.5f)}}};
  }
  mutable int calls = 0;                  // in this process
  mutable int sharedImages = 0;           // pages whose pixels something else still held
  mutable std::atomic<int> slowPages{0};  // 'S' pages being worked on in this process
  std::atomic<bool> letGo{false};
  pid_t mainPid = ::getpid();
};

FakePageData scanned(char marker) { return {.marker = std::string(1, marker)}; }
FakePageData withText(std::string text, std::vector<std::optional<int64_t>> modes = {}) {
  return {.text = text,
          .lines = std::vector<PdfTextLine>{{.text = text, .bounds = {72, 700, 200, 12}}},
          .renderModes = std::move(modes),
          .marker = "T"};
}

class OcrRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    savedPlatform_ = platform();
    savedOptions_ = recognitionOptions;
    savedBaseRenderScale_ = baseRenderScale;
    savedMinimumRenderLongEdge_ = minimumRenderLongEdge;
    savedInputUrl_ = inputUrl;
    savedExt_ = ext;
    savedRecognitionWorkers_ = recognitionWorkers;
    platform().pdf = &pdf_;
    platform().images = &images_;
    platform().recognizer = &recognizer_;
    recognitionOptions = RecognitionOptions();
    baseRenderScale = 0.1;  // small fake renders
    minimumRenderLongEdge = 0;
    inputUrl = "/in/doc.pdf";
    ext = "pdf";
    recognitionWorkers = 1;
  }
  void TearDown() override {
    platform() = savedPlatform_;
    recognitionOptions = savedOptions_;
    baseRenderScale = savedBaseRenderScale_;
    minimumRenderLongEdge = savedMinimumRenderLongEdge_;
    inputUrl = savedInputUrl_;
    ext = savedExt_;
    recognitionWorkers = savedRecognitionWorkers_;
    setRecognitionTimeBudget(kRecognitionTimeBudget);
  }

  // Runs the OCR run and parses nothing: returns the written JSON line.
  std::string run() {
    ::testing::internal::CaptureStdout();
    try {
      EXPECT_EQ(runOcr(), 0);
    } catch (...) {
      ::testing::internal::GetCapturedStdout();
      throw;
    }
    return ::testing::internal::GetCapturedStdout();
  }
  std::string failure() {
    ::testing::internal::CaptureStdout();
    try {
      runOcr();
    } catch (const RunEnded& ended) {
      EXPECT_EQ(::testing::internal::GetCapturedStdout(), "") << "nothing before the failure";
      return ended.message;
    }
    ::testing::internal::GetCapturedStdout();
    ADD_FAILURE() << "the run did not fail";
    return "";
  }
  void setPages(std::vector<std::optional<FakePageData>> pages) {
    pdf_.document = FakePdfDocument();
    pdf_.document->pages = std::move(pages);
  }

  FakePdfService pdf_;
  FakeImageService images_;
  MarkerRecognizer recognizer_;
  Platform savedPlatform_;
  RecognitionOptions savedOptions_;
  double savedBaseRenderScale_ = 0;
  double savedMinimumRenderLongEdge_ = 0;
  std::string savedInputUrl_;
  std::string savedExt_;
  int64_t savedRecognitionWorkers_ = 1;
};

const std::string kLetter = "Dear Ms Sharma, your certificate is enclosed.";

TEST_F(OcrRunTest, PageSelectionSkipsSilentlyAndCountsProducedPages) {
  std::vector<std::optional<FakePageData>> pages;
  for (char c = '1'; c <= '9'; ++c) pages.push_back(scanned(c));
  pages.push_back(scanned('0'));
  setPages(pages);
  recognitionOptions.pages = parsePageSelection("2-3");
  const std::string json = run();
  EXPECT_NE(json.find(R"("pageCount":2,"rawText":"page 2\n\npage 3")"), std::string::npos) << json;
  EXPECT_EQ(recognizer_.calls, 2);

  recognitionOptions.pages = parsePageSelection("12");
  EXPECT_EQ(run(), R"({"ok":true,"sourceType":"native_ocr_pdf","pageCount":1,"rawText":"",)"
                   R"("confidence":0,"pages":[],"warnings":[]})"
                   "\n");
}

TEST_F(OcrRunTest, SourcesAndReasonsFollowTheSourceOption) {
  setPages({withText(kLetter), scanned('2'), withText(kLetter, {0, 3})});
  const struct {
    std::string source;
    std::vector<std::string> expected;  // source/sourceReason per page, "" when absent
  } cases[] = {
      {"ocr", {"", "", ""}},
      {"auto", {"text_layer/visible_text_layer", "ocr/no_text_layer", "ocr/invisible_ocr_layer"}},
      {"text-layer", {"text_layer/forced", "text_layer/forced", "text_layer/forced"}},
  };
  for (const auto& c : cases) {
    recognitionOptions.source = c.source;
    recognizer_.calls = 0;
    const std::string json = run();
    size_t at = 0;
    for (const std::string& expected : c.expected) {
      at = json.find("\"pageNumber\"", at + 1);
      ASSERT_NE(at, std::string::npos) << json;
      const size_t next = json.find("\"pageNumber\"", at + 1);
      const std::string page = json.substr(at, next == std::string::npos ? next : next - at);
      if (expected.empty()) {
        EXPECT_EQ(page.find("source"), std::string::npos) << c.source << ": " << page;
      } else {
        const auto slash = expected.find('/');
        EXPECT_NE(page.find("\"source\":\"" + expected.substr(0, slash) + "\""), std::string::npos)
            << c.source << ": " << page;
        EXPECT_NE(page.find("\"sourceReason\":\"" + expected.substr(slash + 1) + "\""),
                  std::string::npos)
            << c.source << ": " << page;
      }
    }
    if (c.source == "text-layer") {
      EXPECT_EQ(recognizer_.calls, 0);
      // The scanned page has no text: empty text, confidence 0; the others confidence 1.
      EXPECT_NE(json.find(R"("pageNumber":2,"text":"","confidence":0,"fragments":[])"),
                std::string::npos)
          << json;
      EXPECT_NE(json.find(R"("confidence":0.6666666666666666,"pages")"), std::string::npos) << json;
    }
  }
}

TEST_F(OcrRunTest, UnreadableAndUnrenderablePagesBecomeWarnings) {
  FakePageData unrenderable = scanned('4');
  unrenderable.renderable = false;
  setPages({scanned('1'), std::nullopt, scanned('3'), unrenderable});
  const std::string json = run();
  EXPECT_NE(json.find(R"("pageCount":2,"rawText":"page 1\n\npage 3")"), std::string::npos) << json;
  EXPECT_NE(json.find(R"("warnings":["Could not read PDF page 2.",)"
                      R"("Could not render PDF page 4 for OCR."])"),
            std::string::npos)
      << json;
}

TEST_F(OcrRunTest, RecognitionFailureOnALaterPageEndsTheRun) {
  setPages({scanned('1'), scanned('2'), scanned('3'), scanned('4'), scanned('X')});
  EXPECT_EQ(failure(), "Native OCR failed: the engine refused");
}

// A document's page that runs out of time becomes the page's warning wherever it is recognised,
// and the pages after it are read: in the program itself by a fresh recogniser, the first being
// left inside the slow page. An image that runs out of time ends the run: the failure on standard
// output, status 1.
TEST_F(OcrRunTest, APageOutOfTimeIsADocumentsWarningAndAnImagesFailure) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  setRecognitionTimeBudget(std::chrono::milliseconds(100));
  const std::string stopped =
      "Recognition of page 2 was stopped: preparing the page and finding its lines took more "
      "than 0.1 s of processor time.";
  MarkerRecognizer fresh;
  platform().freshRecognizer = [&fresh] { return &fresh; };
  setPages({scanned('1'), scanned('S'), scanned('3')});
  std::map<int64_t, std::string> answers;
  for (const int64_t workers : {2, 1}) {
    recognitionWorkers = workers;
    const std::string json = run();
    EXPECT_NE(json.find(R"("pageCount":2,"rawText":"page 1\n\npage 3")"), std::string::npos)
        << json;
    EXPECT_NE(json.find(R"("warnings":[")" + stopped + R"("]})"), std::string::npos) << json;
    answers[workers] = json;
  }
  EXPECT_EQ(answers[1], answers[2]) << "the same answer with and without workers";
  EXPECT_EQ(platform().recognizer, &fresh);
  EXPECT_EQ(fresh.calls, 1) << "page 3, after the slow page";
  EXPECT_EQ(recognizer_.calls, 1) << "page 1";
  recognizer_.letGo = true;
  while (recognizer_.slowPages > 0) std::this_thread::yield();

  const std::string answer = ::testing::TempDir() + "out-of-time.json";
  ext = "png";
  inputUrl = "/in/page.png";
  images_.image = Image(4, 4, PixelFormat::kGrey, 4, std::vector<uint8_t>(16, 'S'));
  recognizer_.letGo = false;
  platform().recognizer = &recognizer_;
  EXPECT_EXIT(
      {
        const int fd = ::open(answer.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, STDOUT_FILENO);
        setRecognitionOverTime(endRunOverTime);
        runOcr();
      },
      ::testing::ExitedWithCode(1), "");
  std::stringstream written;
  written << std::ifstream(answer).rdbuf();
  EXPECT_EQ(written.str(), R"({"ok":false,"error":"Native OCR failed: Recognition of page 1 was )"
                           R"(stopped: preparing the page and finding its lines took more than )"
                           R"(0.1 s of processor time."})"
                           "\n");
}

TEST_F(OcrRunTest, DocumentWithoutPages) {
  setPages({});
  EXPECT_EQ(run(), R"({"ok":true,"sourceType":"native_ocr_pdf","pageCount":1,"rawText":"",)"
                   R"("confidence":0,"pages":[],"warnings":[]})"
                   "\n");
}

TEST_F(OcrRunTest, OpenFailuresAndPasswords) {
  pdf_.document.reset();
  EXPECT_EQ(failure(), "Could not open PDF for native OCR.");
  setPages({scanned('1')});
  pdf_.document->password = "pw";
  unsetenv(documentPasswordEnvironmentKey);
  EXPECT_EQ(failure(), "document_password_required: PDF requires a password for native OCR.");
  setenv(documentPasswordEnvironmentKey, "wrong", 1);
  EXPECT_EQ(failure(), "document_password_incorrect: Incorrect PDF password for native OCR.");
  setenv(documentPasswordEnvironmentKey, "pw", 1);
  EXPECT_NE(run().find(R"("rawText":"page 1")"), std::string::npos);
  unsetenv(documentPasswordEnvironmentKey);
}

TEST_F(OcrRunTest, ImageIsAlwaysPageOneWithoutSource) {
  ext = "png";
  inputUrl = "/in/photo.png";
  images_.image = Image(4, 4, PixelFormat::kGrey, 4, std::vector<uint8_t>(16, 'I'));
  recognitionOptions.pages = parsePageSelection("2");
  recognitionOptions.source = "auto";
  const std::string json = run();
  EXPECT_EQ(json, R"({"ok":true,"sourceType":"native_ocr_image","pageCount":1,"rawText":"page I",)"
                  R"("confidence":0.5,"pages":[{"pageNumber":1,"text":"page I","confidence":0.5,)"
                  R"("fragments":[{"text":"page I","confidence":0.5,"boundingBox":)"
                  R"({"x":0.1,"y":0.8,"width":0.5,"height":0.05}}]}],"warnings":[]})"
                  "\n");

  images_.image.reset();
  EXPECT_EQ(failure(), "Could not open image for native OCR.");
  images_.image = Image();  // a file that decodes to no pixels
  EXPECT_EQ(failure(), "Could not open image for native OCR.");
  images_.image = Image(4, 4, PixelFormat::kGrey, 4, std::vector<uint8_t>(16, 'X'));
  EXPECT_EQ(failure(), "Native OCR failed: the engine refused");
}

// A page goes to the recogniser as the only holder of its pixels, so the recogniser can free them
// once it has its own copy (a page at the pixel budget is hundreds of megabytes).
TEST_F(OcrRunTest, RecognisedPagesAreHeldByNothingElse) {
  const struct {
    std::string ext;
    std::optional<double> scale;
  } cases[] = {{"png", std::nullopt}, {"png", 2.0}, {"pdf", std::nullopt}, {"pdf", 3.0}};
  for (const auto& c : cases) {
    ext = c.ext;
    inputUrl = "/in/page." + c.ext;
    images_.image = Image(4, 4, PixelFormat::kGrey, 4, std::vector<uint8_t>(16, 'I'));
    setPages({scanned('1'), withText(kLetter), scanned('3')});
    recognitionOptions = RecognitionOptions();
    if (c.scale) {
      recognitionOptions.scaleWasSet = true;
      recognitionOptions.renderScale = *c.scale;
    }
    recognizer_.calls = recognizer_.sharedImages = 0;
    run();
    EXPECT_EQ(recognizer_.calls, c.ext == "pdf" ? 3 : 1) << c.ext;
    EXPECT_EQ(recognizer_.sharedImages, 0) << c.ext << " scale " << c.scale.value_or(0);
  }
}

TEST_F(OcrRunTest, PagesRecognisedByWorkersAnswerExactlyAsOneAfterAnother) {
  FakePageData unrenderable = scanned('4');
  unrenderable.renderable = false;
  const std::vector<std::vector<std::optional<FakePageData>>> documents = {
      {scanned('1'), std::nullopt, scanned('3'), unrenderable, withText(kLetter), scanned('6'),
       scanned('7'), scanned('8')},
      {scanned('1')},
      {withText(kLetter), scanned('2'), withText(kLetter, {0, 3}), withText(kLetter)},
      {scanned('1'), scanned('K'), scanned('3'), unrenderable, scanned('5')},
      {scanned('1'), scanned('2'), std::nullopt, scanned('X'), scanned('5'), scanned('X')},
  };
  // The JSON line, or the failure's message.
  const auto answer = [&] {
    ::testing::internal::CaptureStdout();
    try {
      const int status = runOcr();
      return std::to_string(status) + " " + ::testing::internal::GetCapturedStdout();
    } catch (const RunEnded& ended) {
      return "failed: " + ended.message + " " + ::testing::internal::GetCapturedStdout();
    }
  };
  for (const std::string source : {"ocr", "auto"}) {
    for (size_t d = 0; d < documents.size(); ++d) {
      setPages(documents[d]);
      recognitionOptions.source = source;
      recognitionWorkers = 1;
      const std::string sequential = answer();
      for (const int64_t workers : {2, 3}) {
        recognitionWorkers = workers;
        EXPECT_EQ(answer(), sequential) << "document " << d << ", " << workers << " workers";
      }
    }
  }
  // One page to recognise among text pages: nothing is started, the program recognises it.
  setPages({withText(kLetter), scanned('2'), withText(kLetter)});
  recognitionOptions.source = "auto";
  recognitionWorkers = 2;
  recognizer_.calls = 0;
  EXPECT_NE(answer().find(R"("text":"page 2")"), std::string::npos);
  EXPECT_EQ(recognizer_.calls, 1);
}

TEST(AggregateTest, TextsJoinAndConfidencesAverageOverEveryPage) {
  std::vector<OcrPage> pages = {{.pageNumber = 1, .text = "A", .confidence = 1},
                                {.pageNumber = 2, .text = "", .confidence = 0},
                                {.pageNumber = 3, .text = " ", .confidence = 0.5},
                                {.pageNumber = 4, .text = "B", .confidence = 0.5}};
  const OcrOutput output = aggregateOcrOutput(pages, {"w"}, true);
  EXPECT_EQ(output.rawText, "A\n\n \n\nB");
  EXPECT_EQ(output.confidence, 0.5);
  EXPECT_EQ(output.pageCount, 4);
  EXPECT_THAT(output.warnings, ElementsAre("w"));
  EXPECT_EQ(aggregateOcrOutput({}, {}, false).sourceType, "native_ocr_image");
}

}  // namespace
}  // namespace marrowfen::scan
