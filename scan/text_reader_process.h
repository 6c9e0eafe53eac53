// The second text reader of a text-layer run. Structured text is the whole cost of such a run,
// and a page's text does not depend on the others, so a run that reads page after page gets a
// child process that reads the text of every other page and sends it to the parent through a
// pipe, one record a page. The parent takes a page from the pipe when the child owns it and reads
// every other page itself; whenever the child disagrees or fails (died, stalled, sent a short or
// malformed record, or another page than expected) the child is stopped and the parent reads the
// page itself, so the answer never depends on the child.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "scan/platform.h"

namespace marrowfen::scan {

// The lines of one page as the reader gives them; nothing when the page had no readable text.
using PageTextLines = std::optional<std::vector<PdfTextLine>>;

// A page's record, in the machine's own byte order (both ends are the same program on the same
// machine): int64 page index; int64 line count, -1 for a page without readable text; then for
// each line a uint64 byte length, the line's UTF-8 bytes and four doubles (x, y, width, height).
std::string encodePageText(int64_t index, const PageTextLines& lines);

// Reads exactly `size` bytes into `data`; false when they do not all come.
using ReadExactly = std::function<bool(void* data, size_t size)>;

// The most lines a record may announce and the most bytes one line may have; a record beyond
// either is refused as malformed before anything is allocated for it.
inline constexpr int64_t kMaxRecordLines = int64_t{1} << 24;
inline constexpr uint64_t kMaxRecordLineBytes = uint64_t{1} << 30;

// Reads the record of page `expectedIndex` through `read` into `lines`. False, and `lines`
// untouched, for a record of another page, a line count or length out of range, or bytes that
// stop short.
bool decodePageText(const ReadExactly& read, int64_t expectedIndex, PageTextLines& lines);

// The child's side of the pipe: sends the records of pages first, first + 2, ... below `count`,
// read by `readPage`, to `out`. False when the pipe refused a record.
bool sendPageTexts(int out, int64_t first, int64_t count,
                   const std::function<PageTextLines(int64_t index)>& readPage);

class TextReaderProcess {
 public:
  // What the child runs once forked: it writes the records of pages first, first + 2, ... to
  // `out` (sendPageTexts) and returns the child's exit status.
  using ChildMain = std::function<int(int out)>;

  TextReaderProcess() = default;
  TextReaderProcess(const TextReaderProcess&) = delete;
  TextReaderProcess& operator=(const TextReaderProcess&) = delete;
  ~TextReaderProcess() { stop(); }

  /// Starts a child running `child` for pages first, first + 2, ... below `count`. False when
  /// no child could be started. Tried once: afterwards started() is true either way.
  bool start(int64_t first, int64_t count, const ChildMain& child);
  /// Whether the child owns page `index`; if so `lines` is what it read. False also when the
  /// child failed; it is then stopped. Pages the caller skipped are read from the pipe and
  /// dropped, since the child sends pages in order.
  bool take(int64_t index, PageTextLines& lines);
  /// How long take() waits for the next byte of a record before it gives the child up as stalled
  /// (60 s unless set); the parent then reads the page itself, as after any other failure.
  void setStallTimeout(std::chrono::milliseconds timeout) { stallTimeout_ = timeout; }
  /// Whether start() was called.
  bool started() const { return started_; }
  /// Kills and reaps the child, if one runs.
  void stop();

 private:
  bool started_ = false;  // tried once; never started again for the same document
  pid_t pid_ = -1;
  int fd_ = -1;
  int64_t next_ = 0;  // the next page the child will send
  int64_t count_ = 0;
  std::chrono::milliseconds stallTimeout_{60000};
};

}  // namespace marrowfen::scan
