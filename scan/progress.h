// Progress lines for a host that watches a long run: when MARROWFEN_PROGRESS_FD names an open,
// writable descriptor other than 0, 1 and 2, one compact JSON line is written there for every
// finished page, e.g. {"pageNumber":3,"pagesDone":2,"pagesSelected":5}. Standard output and
// standard error never change because of it, and a bad, full or closed descriptor never blocks
// or fails the run: its lines are dropped.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace marrowfen::scan {

inline constexpr char progressFdEnvironmentKey[] = "MARROWFEN_PROGRESS_FD";

// The descriptor a value of MARROWFEN_PROGRESS_FD names: decimal digits only, at least 3, open
// and writable. Nothing otherwise.
std::optional<int> progressDescriptor(std::string_view value);

// The line for a finished page, line feed included.
std::string progressLine(int64_t pageNumber, int64_t pagesDone, int64_t pagesSelected);

// Writes `line` to `fd` in one write if the descriptor can take it now; false when it could not
// (not ready, closed reader, error). Never blocks, never raises SIGPIPE.
bool writeProgressLine(int fd, std::string_view line);

// Counts the finished pages of one run and reports each. Reads the environment variable once,
// when made; does nothing at all when it is unset or names no usable descriptor.
class PageProgress {
 public:
  explicit PageProgress(int64_t pagesSelected);
  // Reports that page `pageNumber` is finished (read, recognised, rendered or warned about).
  void pageFinished(int64_t pageNumber);

 private:
  std::optional<int> fd_;
  int64_t pagesSelected_ = 0;
  int64_t pagesDone_ = 0;
};

// Reports the page to `progress` when the scope it guards ends normally, whichever way the page's
// handling leaves it (a warning's early exit included), but not when the run ends with a failure.
class PageFinishedOnExit {
 public:
  PageFinishedOnExit(PageProgress& progress, int64_t pageNumber);
  ~PageFinishedOnExit();
  PageFinishedOnExit(const PageFinishedOnExit&) = delete;
  PageFinishedOnExit& operator=(const PageFinishedOnExit&) = delete;

 private:
  PageProgress& progress_;
  int64_t pageNumber_;
  int uncaught_;
};

}  // namespace marrowfen::scan
