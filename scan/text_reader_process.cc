#include "scan/text_reader_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/json_writer.h"

namespace marrowfen::scan {

std::string encodePageText(int64_t index, const PageTextLines& lines) {
  std::string record;
  const int64_t header[2] = {index, lines ? static_cast<int64_t>(lines->size()) : -1};
  record.append(reinterpret_cast<const char*>(header), sizeof header);
  if (lines) {
    for (const PdfTextLine& line : *lines) {
      const uint64_t length = line.text.size();
      const double box[4] = {line.bounds.x, line.bounds.y, line.bounds.width, line.bounds.height};
      record.append(reinterpret_cast<const char*>(&length), sizeof length);
      record.append(line.text);
      record.append(reinterpret_cast<const char*>(box), sizeof box);
    }
  }
  return record;
}

namespace {

// Reads `length` bytes of a line's text. In pieces, so that a length that lies (up to the limit)
// costs memory only for the bytes that actually come.
bool readText(const ReadExactly& read, uint64_t length, std::string& text) {
  constexpr uint64_t kPiece = uint64_t{1} << 16;
  text.clear();
  while (text.size() < length) {
    const size_t have = text.size();
    const size_t piece = static_cast<size_t>(std::min(kPiece, length - have));
    text.resize(have + piece);
    if (!read(text.data() + have, piece)) return false;
  }
  return true;
}

bool readLine(const ReadExactly& read, PdfTextLine& line) {
  uint64_t length = 0;
  double box[4];
  if (!read(&length, sizeof length) || length > kMaxRecordLineBytes) return false;
  if (!readText(read, length, line.text) || !read(box, sizeof box)) return false;
  line.bounds = PdfRect{.x = box[0], .y = box[1], .width = box[2], .height = box[3]};
  return true;
}

}  // namespace

bool decodePageText(const ReadExactly& read, int64_t expectedIndex, PageTextLines& lines) {
  int64_t header[2];
  if (!read(header, sizeof header) || header[0] != expectedIndex || header[1] < -1 ||
      header[1] > kMaxRecordLines) {
    return false;
  }
  PageTextLines decoded;
  if (header[1] >= 0) {
    decoded.emplace();
    decoded->reserve(static_cast<size_t>(header[1]));
    for (int64_t k = 0; k < header[1]; ++k) {
      PdfTextLine line;
      if (!readLine(read, line)) return false;
      decoded->push_back(std::move(line));
    }
  }
  lines = std::move(decoded);
  return true;
}

bool sendPageTexts(int out, int64_t first, int64_t count,
                   const std::function<PageTextLines(int64_t index)>& readPage) {
  for (int64_t index = first; index < count; index += 2) {
    if (!writeAll(out, encodePageText(index, readPage(index)))) return false;
  }
  return true;
}

bool TextReaderProcess::start(int64_t first, int64_t count, const ChildMain& child) {
  started_ = true;
  if (first >= count) return false;
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(fds[0]);
    ::close(fds[1]);
    return false;
  }
  if (pid == 0) {
    // The child: dies with the parent, never writes where the parent does, and leaves with
    // _exit so that nothing of the parent's (buffers, atexit handlers) runs twice.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(0);
    ::close(fds[0]);
    const int devnull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (devnull >= 0) {
      ::dup2(devnull, STDOUT_FILENO);
      ::dup2(devnull, STDERR_FILENO);
    }
    ::_exit(child(fds[1]));
  }
  ::close(fds[1]);
  pid_ = pid;
  fd_ = fds[0];
  next_ = first;
  count_ = count;
  return true;
}

bool TextReaderProcess::take(int64_t index, PageTextLines& lines) {
  if (pid_ <= 0 || index < next_ || index >= count_ || (index - next_) % 2 != 0) return false;
  const ReadExactly fromPipe = [this](void* data, size_t size) {
    // A child stopped or stuck mid-record must not hold up the parent, which can always read
    // the page itself.
    return readAll(fd_, data, size, static_cast<int>(stallTimeout_.count()));
  };
  for (;;) {
    PageTextLines read;
    if (!decodePageText(fromPipe, next_, read)) {
      stop();
      return false;
    }
    next_ += 2;
    if (next_ - 2 == index) {
      lines = std::move(read);
      return true;
    }
  }
}

void TextReaderProcess::stop() {
  if (pid_ > 0) {
    ::close(fd_);
    ::kill(pid_, SIGKILL);
    while (::waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  pid_ = -1;
  fd_ = -1;
}

}  // namespace marrowfen::scan
