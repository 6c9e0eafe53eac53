#include "scan/progress.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace marrowfen::scan {
namespace {

struct Pipe {
  int read = -1, write = -1;
  Pipe() {
    int fds[2];
    if (::pipe(fds) == 0) read = fds[0], write = fds[1];
  }
  ~Pipe() {
    if (read >= 0) ::close(read);
    if (write >= 0) ::close(write);
  }
  std::string drain() {
    std::string text;
    ::fcntl(read, F_SETFL, O_NONBLOCK);
    char buffer[4096];
    for (ssize_t n; (n = ::read(read, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    return text;
  }
};

TEST(ProgressDescriptor, AcceptsOnlyAnOpenWritableDescriptorAboveTheStandardThree) {
  Pipe pipe;
  const std::string writeEnd = std::to_string(pipe.write);
  const std::string readEnd = std::to_string(pipe.read);
  const int closed = ::dup(pipe.write);
  ::close(closed);
  const struct {
    std::string value;
    bool accepted;
  } cases[] = {
      {writeEnd, true},
      {"", false},
      {"0", false},
      {"1", false},
      {"2", false},
      {"-4", false},
      {"+" + writeEnd, false},
      {" " + writeEnd, false},
      {writeEnd + "x", false},
      {"abc", false},
      {readEnd, false},
      {std::to_string(closed), false},
      {"99999999999999999999", false},
  };
  for (const auto& c : cases) {
    const auto fd = progressDescriptor(c.value);
    EXPECT_EQ(fd.has_value(), c.accepted) << "'" << c.value << "'";
    if (fd && c.accepted) {
      EXPECT_EQ(*fd, pipe.write);
    }
  }
}

TEST(ProgressLine, IsOneCompactJsonLine) {
  EXPECT_EQ(progressLine(7, 2, 5), "{\"pageNumber\":7,\"pagesDone\":2,\"pagesSelected\":5}\n");
}

TEST(WriteProgressLine, AClosedReaderNeitherKillsNorBlocks) {
  Pipe pipe;
  ::close(pipe.read);
  pipe.read = -1;
  EXPECT_FALSE(writeProgressLine(pipe.write, progressLine(1, 1, 1)));
  // The process is still here and SIGPIPE is not left pending.
  sigset_t pending;
  sigemptyset(&pending);
  ::sigpending(&pending);
  EXPECT_EQ(sigismember(&pending, SIGPIPE), 0);
}

TEST(WriteProgressLine, AFullPipeDropsTheLineInsteadOfWaiting) {
  Pipe pipe;
  ::fcntl(pipe.write, F_SETFL, O_NONBLOCK);
  const std::string block(4096, 'x');
  while (::write(pipe.write, block.data(), block.size()) > 0) {
  }
  ::fcntl(pipe.write, F_SETFL, 0);  // blocking again: only the poll keeps the write from waiting
  EXPECT_FALSE(writeProgressLine(pipe.write, progressLine(1, 1, 1)));
}

TEST(PageProgress, CountsPagesAndWritesOneLineEach) {
  Pipe pipe;
  ::setenv(progressFdEnvironmentKey, std::to_string(pipe.write).c_str(), 1);
  {
    PageProgress progress(3);
    progress.pageFinished(2);
    progress.pageFinished(5);
    progress.pageFinished(9);
  }
  ::unsetenv(progressFdEnvironmentKey);
  EXPECT_EQ(pipe.drain(),
            "{\"pageNumber\":2,\"pagesDone\":1,\"pagesSelected\":3}\n"
            "{\"pageNumber\":5,\"pagesDone\":2,\"pagesSelected\":3}\n"
            "{\"pageNumber\":9,\"pagesDone\":3,\"pagesSelected\":3}\n");
}

TEST(PageProgress, WritesNothingWithoutTheVariable) {
  Pipe pipe;
  ::unsetenv(progressFdEnvironmentKey);
  PageProgress progress(1);
  progress.pageFinished(1);
  EXPECT_EQ(pipe.drain(), "");
}

TEST(PageFinishedOnExit, ReportsEarlyExitsButNotAFailedRun) {
  Pipe pipe;
  ::setenv(progressFdEnvironmentKey, std::to_string(pipe.write).c_str(), 1);
  PageProgress progress(3);
  ::unsetenv(progressFdEnvironmentKey);
  for (int64_t page = 1; page <= 2; ++page) {
    const PageFinishedOnExit done(progress, page);
    if (page == 1) continue;  // a page that became a warning
  }
  EXPECT_THROW(
      {
        const PageFinishedOnExit done(progress, 3);
        throw std::runtime_error("the run failed");
      },
      std::runtime_error);
  EXPECT_EQ(pipe.drain(),
            "{\"pageNumber\":1,\"pagesDone\":1,\"pagesSelected\":3}\n"
            "{\"pageNumber\":2,\"pagesDone\":2,\"pagesSelected\":3}\n");
}

}  // namespace
}  // namespace marrowfen::scan
