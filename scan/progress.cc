#include "scan/progress.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <exception>

#include "scan/command_line.h"

namespace marrowfen::scan {

std::optional<int> progressDescriptor(std::string_view value) {
  if (value.empty() || value.size() > 9) return std::nullopt;
  for (char c : value) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  const std::optional<int64_t> number = readInteger(value);
  if (!number || *number < 3) return std::nullopt;
  const int fd = static_cast<int>(*number);
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags == -1) return std::nullopt;
  const int mode = flags & O_ACCMODE;
  if (mode != O_WRONLY && mode != O_RDWR) return std::nullopt;
  return fd;
}

std::string progressLine(int64_t pageNumber, int64_t pagesDone, int64_t pagesSelected) {
  return "{\"pageNumber\":" + std::to_string(pageNumber) +
         ",\"pagesDone\":" + std::to_string(pagesDone) +
         ",\"pagesSelected\":" + std::to_string(pagesSelected) + "}\n";
}

bool writeProgressLine(int fd, std::string_view line) {
  // A pipe or socket whose reader is slow is not waited for: the line is dropped. Lines are far
  // shorter than PIPE_BUF, so a descriptor that polls writable takes the whole line at once.
  pollfd ready{.fd = fd, .events = POLLOUT, .revents = 0};
  if (::poll(&ready, 1, 0) != 1 || (ready.revents & POLLOUT) == 0 ||
      (ready.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
    return false;
  }
  // A reader that went away raises SIGPIPE, which would kill the run: block it for the write and
  // take a SIGPIPE this write caused off the pending set before unblocking.
  sigset_t pipeOnly, previous;
  sigemptyset(&pipeOnly);
  sigaddset(&pipeOnly, SIGPIPE);
  sigset_t pendingBefore;
  sigemptyset(&pendingBefore);
  ::sigpending(&pendingBefore);
  const bool wasPending = sigismember(&pendingBefore, SIGPIPE) == 1;
  ::pthread_sigmask(SIG_BLOCK, &pipeOnly, &previous);
  ssize_t written;
  do {
    written = ::write(fd, line.data(), line.size());
  } while (written == -1 && errno == EINTR);
  if (written == -1 && errno == EPIPE && !wasPending) {
    const timespec zero{0, 0};
    while (::sigtimedwait(&pipeOnly, nullptr, &zero) == -1 && errno == EINTR) {
    }
  }
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  return written == static_cast<ssize_t>(line.size());
}

PageProgress::PageProgress(int64_t pagesSelected) : pagesSelected_(pagesSelected) {
  if (const char* value = std::getenv(progressFdEnvironmentKey)) {
    fd_ = progressDescriptor(value);
  }
}

void PageProgress::pageFinished(int64_t pageNumber) {
  ++pagesDone_;
  if (!fd_) return;
  const int savedErrno = errno;
  writeProgressLine(*fd_, progressLine(pageNumber, pagesDone_, pagesSelected_));
  errno = savedErrno;
}

PageFinishedOnExit::PageFinishedOnExit(PageProgress& progress, int64_t pageNumber)
    : progress_(progress), pageNumber_(pageNumber), uncaught_(std::uncaught_exceptions()) {}

PageFinishedOnExit::~PageFinishedOnExit() {
  if (std::uncaught_exceptions() == uncaught_) progress_.pageFinished(pageNumber_);
}

}  // namespace marrowfen::scan
