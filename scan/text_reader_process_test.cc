#include "scan/text_reader_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <string_view>

#include "common/json_writer.h"

namespace marrowfen::scan {
namespace {

// Reads from a byte string, as the parent reads from the pipe.
ReadExactly readerOf(std::string_view& bytes) {
  return [&bytes](void* data, size_t size) {
    if (bytes.size() < size) return false;
    std::memcpy(data, bytes.data(), size);
    bytes.remove_prefix(size);
    return true;
  };
}

PdfTextLine line(std::string text, PdfRect bounds) { return {std::move(text), bounds}; }

bool sameLines(const PageTextLines& a, const PageTextLines& b) {
  if (a.has_value() != b.has_value()) return false;
  if (!a) return true;
  if (a->size() != b->size()) return false;
  for (size_t i = 0; i < a->size(); ++i) {
    const PdfTextLine& x = (*a)[i];
    const PdfTextLine& y = (*b)[i];
    if (x.text != y.text || x.bounds.x != y.bounds.x || x.bounds.y != y.bounds.y ||
        x.bounds.width != y.bounds.width || x.bounds.height != y.bounds.height) {
      return false;
    }
  }
  return true;
}

struct RoundTripCase {
  const char* name;
  int64_t index;
  PageTextLines lines;
};

TEST(PageTextRecordTest, RecordsDecodeToWhatWasEncoded) {
  const RoundTripCase cases[] = {
      {"page without readable text", 0, std::nullopt},
      {"page with no lines", 3, std::vector<PdfTextLine>{}},
      {"one line", 7, std::vector<PdfTextLine>{line("Name: Ada", {72, 692, 120.5, 12})}},
      {"several lines, UTF-8 and odd boxes", 1234567890123,
       std::vector<PdfTextLine>{line("Straße – 12", {-5.25, 1e-300, 0, -3}), line("", {0, 0, 0, 0}),
                                line(std::string("a\0b", 3), {1, 2, 3, 4})}},
      {"a line longer than one read piece", 2,
       std::vector<PdfTextLine>{line(std::string(200000, 'x'), {1, 1, 1, 1}),
                                line("after", {2, 2, 2, 2})}},
  };
  for (const RoundTripCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string record = encodePageText(c.index, c.lines);
    std::string_view bytes = record;
    PageTextLines decoded = std::vector<PdfTextLine>{line("stale", {})};
    ASSERT_TRUE(decodePageText(readerOf(bytes), c.index, decoded));
    EXPECT_TRUE(sameLines(decoded, c.lines));
    EXPECT_TRUE(bytes.empty()) << "the record is read to its end and no further";
  }
}

TEST(PageTextRecordTest, EveryTruncationOfARecordIsRefused) {
  const PageTextLines lines =
      std::vector<PdfTextLine>{line("first", {1, 2, 3, 4}), line("second", {5, 6, 7, 8})};
  const std::string record = encodePageText(4, lines);
  for (size_t size = 0; size < record.size(); ++size) {
    SCOPED_TRACE(size);
    std::string_view bytes(record.data(), size);
    PageTextLines decoded = std::vector<PdfTextLine>{line("kept", {})};
    EXPECT_FALSE(decodePageText(readerOf(bytes), 4, decoded));
    ASSERT_TRUE(decoded.has_value());
    ASSERT_EQ(decoded->size(), 1u);
    EXPECT_EQ((*decoded)[0].text, "kept") << "a refused record leaves the lines untouched";
  }
}

std::string header(int64_t index, int64_t count) {
  const int64_t words[2] = {index, count};
  return std::string(reinterpret_cast<const char*>(words), sizeof words);
}

std::string lengthOf(uint64_t length) {
  return std::string(reinterpret_cast<const char*>(&length), sizeof length);
}

struct MalformedCase {
  const char* name;
  std::string bytes;
};

TEST(PageTextRecordTest, MalformedRecordsAreRefused) {
  const MalformedCase cases[] = {
      {"another page", encodePageText(5, std::vector<PdfTextLine>{})},
      {"line count below -1", header(2, -2)},
      {"line count beyond the limit", header(2, kMaxRecordLines + 1)},
      {"line longer than the limit", header(2, 1) + lengthOf(kMaxRecordLineBytes + 1)},
      {"line length that wraps when read as signed", header(2, 1) + lengthOf(~uint64_t{0})},
      {"announced lines missing",
       header(2, 3) + encodePageText(2, std::vector<PdfTextLine>{line("one", {})}).substr(16)},
      {"text", "this is no record at all, just words sent down the pipe"},
      {"nothing", ""},
  };
  for (const MalformedCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string_view bytes = c.bytes;
    PageTextLines decoded;
    EXPECT_FALSE(decodePageText(readerOf(bytes), 2, decoded));
    EXPECT_FALSE(decoded.has_value());
  }
}

// The lines the test children read for page `index`: page 4 has no readable text.
PageTextLines pageLines(int64_t index) {
  if (index == 4) return std::nullopt;
  return std::vector<PdfTextLine>{line("page " + std::to_string(index), {0, double(index), 1, 1})};
}

TEST(TextReaderProcessTest, ParentTakesThePagesTheChildOwns) {
  TextReaderProcess reader;
  ASSERT_TRUE(
      reader.start(2, 11, [](int out) { return sendPageTexts(out, 2, 11, pageLines) ? 0 : 1; }));
  EXPECT_TRUE(reader.started());
  PageTextLines lines;
  EXPECT_FALSE(reader.take(1, lines)) << "before the child's first page";
  EXPECT_FALSE(reader.take(3, lines)) << "a page the parent reads itself";
  ASSERT_TRUE(reader.take(2, lines));
  EXPECT_TRUE(sameLines(lines, pageLines(2)));
  ASSERT_TRUE(reader.take(4, lines));
  EXPECT_FALSE(lines.has_value());
  // Page 6 is skipped: its record is read and dropped on the way to page 8.
  ASSERT_TRUE(reader.take(8, lines));
  EXPECT_TRUE(sameLines(lines, pageLines(8)));
  EXPECT_FALSE(reader.take(6, lines)) << "a page already passed";
  ASSERT_TRUE(reader.take(10, lines));
  EXPECT_TRUE(sameLines(lines, pageLines(10)));
  EXPECT_FALSE(reader.take(12, lines)) << "beyond the count";
}

TEST(TextReaderProcessTest, NothingToReadStartsNoChild) {
  TextReaderProcess reader;
  bool ran = false;
  EXPECT_FALSE(reader.start(5, 5, [&](int) {
    ran = true;
    return 0;
  }));
  EXPECT_TRUE(reader.started()) << "never tried again";
  PageTextLines lines;
  EXPECT_FALSE(reader.take(5, lines));
  EXPECT_FALSE(ran);
}

struct FailingChildCase {
  const char* name;
  TextReaderProcess::ChildMain child;
  int64_t goodPages;  // how many pages, from the first, the parent still gets
};

TEST(TextReaderProcessTest, AFailingChildIsStoppedAndRefused) {
  const FailingChildCase cases[] = {
      {"dies before sending",
       [](int) {
         ::raise(SIGKILL);
         return 0;
       },
       0},
      {"gives up before sending", [](int) { return 1; }, 0},
      {"dies after one page",
       [](int out) {
         writeAll(out, encodePageText(0, pageLines(0)));
         ::raise(SIGKILL);
         return 0;
       },
       1},
      {"sends a short record",
       [](int out) {
         const std::string record = encodePageText(0, pageLines(0));
         writeAll(out, record.substr(0, record.size() - 3));
         return 0;
       },
       0},
      {"sends a header only",
       [](int out) {
         writeAll(out, header(0, 2));
         return 0;
       },
       0},
      {"sends garbage",
       [](int out) {
         writeAll(out, std::string(4096, '\xa5'));
         return 0;
       },
       0},
      {"sends another page first",
       [](int out) {
         writeAll(out, encodePageText(2, pageLines(2)));
         return 0;
       },
       0},
      {"sends garbage after a good page",
       [](int out) {
         writeAll(out, encodePageText(0, pageLines(0)) + header(2, -7) + "xyz");
         return 0;
       },
       1},
  };
  for (const FailingChildCase& c : cases) {
    SCOPED_TRACE(c.name);
    TextReaderProcess reader;
    ASSERT_TRUE(reader.start(0, 6, c.child));
    PageTextLines lines;
    for (int64_t k = 0; k < c.goodPages; ++k) {
      ASSERT_TRUE(reader.take(2 * k, lines));
      EXPECT_TRUE(sameLines(lines, pageLines(2 * k)));
    }
    lines = std::vector<PdfTextLine>{line("kept", {})};
    EXPECT_FALSE(reader.take(2 * c.goodPages, lines));
    ASSERT_TRUE(lines.has_value());
    EXPECT_EQ((*lines)[0].text, "kept");
    // Stopped: every later page is the parent's own.
    EXPECT_FALSE(reader.take(2 * c.goodPages + 2, lines));
  }
}

TEST(TextReaderProcessTest, AChildThatStallsMidRecordIsGivenUp) {
  const std::string record = encodePageText(0, pageLines(0));
  const struct {
    const char* name;
    std::string sent;  // what the child sends before it stops sending
  } cases[] = {{"nothing at all", ""},
               {"half a header", record.substr(0, 8)},
               {"a header and part of a line", record.substr(0, record.size() - 5)}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TextReaderProcess reader;
    reader.setStallTimeout(std::chrono::milliseconds(100));
    ASSERT_TRUE(reader.start(0, 4, [&](int out) {
      writeAll(out, c.sent);
      ::pause();
      return 0;
    }));
    PageTextLines lines;
    EXPECT_FALSE(reader.take(0, lines));
    EXPECT_FALSE(lines.has_value());
    EXPECT_FALSE(reader.take(2, lines)) << "stopped";
  }
}

TEST(TextReaderProcessTest, ASlowChildIsWaitedFor) {
  TextReaderProcess reader;
  reader.setStallTimeout(std::chrono::milliseconds(2000));
  ASSERT_TRUE(reader.start(0, 4, [](int out) {
    return sendPageTexts(out, 0, 4,
                         [](int64_t index) {
                           ::usleep(100000);
                           return pageLines(index);
                         })
               ? 0
               : 1;
  }));
  PageTextLines lines;
  ASSERT_TRUE(reader.take(0, lines));
  EXPECT_TRUE(sameLines(lines, pageLines(0)));
  ASSERT_TRUE(reader.take(2, lines));
  EXPECT_TRUE(sameLines(lines, pageLines(2)));
}

TEST(TextReaderProcessTest, StoppingDoesNotWaitForABusyChild) {
  TextReaderProcess reader;
  // The child would send far more than a pipe holds and then wait forever; the parent never
  // reads, and stopping must not wait for the child to finish.
  ASSERT_TRUE(reader.start(0, 1 << 20, [](int out) {
    sendPageTexts(out, 0, 1 << 20, pageLines);
    ::pause();
    return 0;
  }));
  reader.stop();
  PageTextLines lines;
  EXPECT_FALSE(reader.take(0, lines));
}

}  // namespace
}  // namespace marrowfen::scan
