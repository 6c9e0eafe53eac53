#include "scan/parallel_recognition.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <utility>

#include "common/json_writer.h"
#include "scan/command_line.h"
#include "scan/pixel_budget.h"
#include "scan/recognition_deadline.h"
#include "scan/recognition_thread.h"

namespace marrowfen::scan {
namespace {

constexpr int64_t kMaxWorkers = 64;
// A worker never gets an image over the pixel budget (no page canvas is larger), nor sends a
// record above this.
constexpr int64_t kMaxSide = int64_t{1} << 20;
constexpr uint64_t kMaxRecordBytes = uint64_t{1} << 30;
constexpr int kWorkerSocket = 3;

bool sendAll(int fd, const void* data, size_t size) {
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    // MSG_NOSIGNAL: a peer that died gives EPIPE here instead of killing this process.
    const ssize_t n = ::send(fd, p, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Appends plain values and strings; the reader below takes them back in the same order.
class Writer {
 public:
  template <typename T>
  void value(const T& v) {
    bytes_.append(reinterpret_cast<const char*>(&v), sizeof v);
  }
  void string(const std::string& s) {
    value(static_cast<uint64_t>(s.size()));
    bytes_ += s;
  }
  void optionalString(const std::optional<std::string>& s) {
    value(static_cast<uint8_t>(s.has_value()));
    if (s) string(*s);
  }
  std::string take() { return std::move(bytes_); }

 private:
  std::string bytes_;
};

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  template <typename T>
  bool value(T& v) {
    if (bytes_.size() < sizeof v) return false;
    std::memcpy(&v, bytes_.data(), sizeof v);
    bytes_.remove_prefix(sizeof v);
    return true;
  }
  bool string(std::string& s) {
    uint64_t size = 0;
    if (!value(size) || size > bytes_.size()) return false;
    s.assign(bytes_.data(), static_cast<size_t>(size));
    bytes_.remove_prefix(static_cast<size_t>(size));
    return true;
  }
  bool optionalString(std::optional<std::string>& s) {
    uint8_t present = 0;
    if (!value(present) || present > 1) return false;
    if (present == 0) {
      s.reset();
      return true;
    }
    s.emplace();
    return string(*s);
  }
  bool atEnd() const { return bytes_.empty(); }
  size_t left() const { return bytes_.size(); }

 private:
  std::string_view bytes_;
};

bool readBox(Reader& in, BoundingBox& box) {
  return in.value(box.x) && in.value(box.y) && in.value(box.width) && in.value(box.height);
}

// The job record's fixed part.
struct JobHeader {
  int64_t pageNumber = 0;
  int64_t width = 0;
  int64_t height = 0;
  int64_t format = 0;
};

bool sendImage(int fd, const Image& image, int64_t pageNumber) {
  const JobHeader header{.pageNumber = pageNumber,
                         .width = image.width(),
                         .height = image.height(),
                         .format = static_cast<int64_t>(image.format())};
  if (!sendAll(fd, &header, sizeof header)) return false;
  const size_t rowBytes = static_cast<size_t>(image.width()) * bytesPerPixel(image.format());
  if (image.stride() == rowBytes) {
    return sendAll(fd, image.row(0), rowBytes * static_cast<size_t>(image.height()));
  }
  for (int32_t y = 0; y < image.height(); ++y) {
    if (!sendAll(fd, image.row(y), rowBytes)) return false;
  }
  return true;
}

// The next page sent to a worker; nothing at end of file or for a malformed record.
std::optional<std::pair<int64_t, Image>> receiveImage(int fd) {
  JobHeader header;
  if (!readAll(fd, &header, sizeof header)) return std::nullopt;
  if (header.width < 1 || header.height < 1 || header.width > kMaxSide ||
      header.height > kMaxSide || header.width * header.height > kMaxPixels || header.format < 0 ||
      header.format > static_cast<int64_t>(PixelFormat::kRgba)) {
    return std::nullopt;
  }
  const auto format = static_cast<PixelFormat>(header.format);
  const size_t stride = static_cast<size_t>(header.width) * bytesPerPixel(format);
  std::vector<uint8_t> pixels(stride * static_cast<size_t>(header.height));
  if (!readAll(fd, pixels.data(), pixels.size())) return std::nullopt;
  return std::make_pair(header.pageNumber, Image(static_cast<int32_t>(header.width),
                                                 static_cast<int32_t>(header.height), format,
                                                 stride, std::move(pixels)));
}

bool sendRecord(int fd, const std::string& body) {
  const uint64_t size = body.size();
  return sendAll(fd, &size, sizeof size) && sendAll(fd, body.data(), body.size());
}

std::optional<std::string> receiveRecord(int fd) {
  uint64_t size = 0;
  if (!readAll(fd, &size, sizeof size) || size > kMaxRecordBytes) return std::nullopt;
  std::string body(static_cast<size_t>(size), '\0');
  if (!readAll(fd, body.data(), body.size())) return std::nullopt;
  return body;
}

// A worker's life: take a page, recognise it, send the answer; until the program closes its end.
// It never writes to the program's standard output and leaves through _exit, so nothing of the
// program's (buffers, handlers, the caller's stack) runs twice.
[[noreturn]] void workerMain(int fd) {
  // A page that runs out of time answers with its error, marked as such, as the program itself
  // would answer it; the engine cannot be stopped, so the worker ends.
  setRecognitionOverTime([fd](const std::string& error) {
    sendRecord(fd, encodeRecognition(Recognition{.error = error, .overTime = true}));
    ::_exit(0);
  });
  try {
    for (;;) {
      std::optional<std::pair<int64_t, Image>> job = receiveImage(fd);
      if (!job) ::_exit(0);
      const Recognition recognition = recognize(std::move(job->second), job->first);
      job.reset();
      if (!sendRecord(fd, encodeRecognition(recognition))) ::_exit(1);
    }
  } catch (...) {
    // Out of memory and the like: the program recognises the page itself.
  }
  ::_exit(1);
}

// Closes every descriptor from 3 up except `keep`.
void closeOtherDescriptors(int keep) {
  if (keep > 3) ::close_range(3, static_cast<unsigned>(keep - 1), 0);
  ::close_range(static_cast<unsigned>(std::max(keep + 1, 3)), UINT_MAX, 0);
}

}  // namespace

int64_t machineCores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count >= 1) return count;
  }
  const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  return online >= 1 ? online : 1;
}

int64_t recognitionWorkersFromEnvironment() {
  if (const char* value = std::getenv("MARROWFEN_OCR_WORKERS")) {
    const std::optional<int64_t> n = readInteger(value);
    if (n && *n >= 1 && *n <= kMaxWorkers) return *n;
  }
  return std::min(machineCores(), kMaxWorkers);
}

std::string encodeRecognition(const Recognition& recognition) {
  Writer out;
  // 1 a page; 0 an error; 2 the error that the page ran out of time.
  out.value(static_cast<uint8_t>(recognition.page ? 1 : recognition.overTime ? 2 : 0));
  if (!recognition.page) {
    out.string(recognition.error);
    return out.take();
  }
  const OcrPage& page = *recognition.page;
  out.value(page.pageNumber);
  out.string(page.text);
  out.value(page.confidence);
  out.value(static_cast<uint64_t>(page.fragments.size()));
  for (const OcrFragment& fragment : page.fragments) {
    out.string(fragment.text);
    out.value(fragment.confidence);
    out.value(fragment.boundingBox.x);
    out.value(fragment.boundingBox.y);
    out.value(fragment.boundingBox.width);
    out.value(fragment.boundingBox.height);
  }
  out.optionalString(page.source);
  out.optionalString(page.sourceReason);
  return out.take();
}

std::optional<Recognition> decodeRecognition(std::string_view bytes) {
  Reader in(bytes);
  uint8_t kind = 0;
  if (!in.value(kind) || kind > 2) return std::nullopt;
  Recognition recognition;
  if (kind != 1) {
    if (!in.string(recognition.error) || !in.atEnd()) return std::nullopt;
    recognition.overTime = kind == 2;
    return recognition;
  }
  OcrPage page;
  uint64_t count = 0;
  if (!in.value(page.pageNumber) || !in.string(page.text) || !in.value(page.confidence) ||
      !in.value(count)) {
    return std::nullopt;
  }
  // Each fragment takes at least 48 bytes; a count beyond what is left is a lie.
  if (count > in.left() / 48) return std::nullopt;
  page.fragments.resize(static_cast<size_t>(count));
  for (OcrFragment& fragment : page.fragments) {
    if (!in.string(fragment.text) || !in.value(fragment.confidence) ||
        !readBox(in, fragment.boundingBox)) {
      return std::nullopt;
    }
  }
  if (!in.optionalString(page.source) || !in.optionalString(page.sourceReason) || !in.atEnd()) {
    return std::nullopt;
  }
  recognition.page = std::move(page);
  return recognition;
}

PageRecognition::PageRecognition(int64_t workerLimit)
    : limit_(std::clamp<int64_t>(workerLimit, 1, kMaxWorkers)) {}

PageRecognition::~PageRecognition() {
  for (Worker& worker : workers_) stop(worker);
}

size_t PageRecognition::add(Image image, int64_t pageNumber, int64_t morePagesAtMost) {
  const size_t ticket = firstTicket_ + jobs_.size();
  jobs_.push_back(Job{.pageNumber = pageNumber, .image = std::move(image)});
  if (limit_ <= 1) {
    jobs_.back().state = JobState::kHere;
    return ticket;
  }
  if (!started_) {
    if (jobs_.size() == 1) return ticket;  // a run of one page starts nothing
    const int64_t pagesAtMost =
        static_cast<int64_t>(jobs_.size()) + std::max<int64_t>(0, morePagesAtMost);
    startWorkers(std::min(limit_, pagesAtMost));
  }
  dispatch();
  // Until this page is with a worker (or left to this process), wait for one to become free.
  while (jobs_.back().state == JobState::kHeld) {
    collect(true);
    dispatch();
  }
  return ticket;
}

bool PageRecognition::finished(size_t ticket) {
  if (started_) collect(false);
  const JobState state = job(ticket).state;
  return state == JobState::kDone || state == JobState::kHere;
}

Recognition PageRecognition::take(size_t ticket) {
  while (job(ticket).state == JobState::kSent) collect(true);
  Job& taken = job(ticket);
  Recognition recognition = taken.state == JobState::kDone
                                ? std::move(*taken.result)
                                : recognizeOnOwnThread(std::move(taken.image), taken.pageNumber);
  // Tickets are taken in order: the front job is done with.
  while (!jobs_.empty() && firstTicket_ <= ticket) {
    jobs_.pop_front();
    ++firstTicket_;
  }
  return recognition;
}

void PageRecognition::startWorkers(int64_t count) {
  started_ = true;
  // The engine is started before the forks: the workers share its model (a few hundred
  // megabytes with the default model's dictionary) instead of each reading it again, and a page
  // left to this process finds it ready.
  startRecognizer();
  const pid_t parent = ::getpid();
  for (int64_t k = 0; k < count; ++k) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) break;
    const pid_t pid = ::fork();
    if (pid < 0) {
      ::close(fds[0]);
      ::close(fds[1]);
      break;
    }
    if (pid == 0) {
      // Dies with the program; owns nothing of it but its own socket; writes nowhere else.
      ::prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (::getppid() != parent) ::_exit(0);
      const int devnull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
      if (devnull >= 0) {
        ::dup2(devnull, STDIN_FILENO);
        ::dup2(devnull, STDOUT_FILENO);
        ::dup2(devnull, STDERR_FILENO);
      }
      // The worker's socket is always descriptor 3; nothing else of the program stays open.
      int socket = fds[1];
      if (socket != kWorkerSocket && ::dup3(socket, kWorkerSocket, O_CLOEXEC) == kWorkerSocket) {
        socket = kWorkerSocket;
      }
      closeOtherDescriptors(socket);
      workerMain(socket);
    }
    ::close(fds[1]);
    workers_.push_back(Worker{.pid = pid, .fd = fds[0]});
    ++workersStarted_;
  }
}

bool PageRecognition::anyAlive() const {
  return std::any_of(workers_.begin(), workers_.end(), [](const Worker& w) { return w.pid > 0; });
}

void PageRecognition::dispatch() {
  for (size_t index = 0; index < jobs_.size(); ++index) {
    Job& j = jobs_[index];
    if (j.state != JobState::kHeld) continue;
    const size_t ticket = firstTicket_ + index;
    for (;;) {
      if (!anyAlive()) {
        j.state = JobState::kHere;
        break;
      }
      auto free = std::find_if(workers_.begin(), workers_.end(),
                               [](const Worker& w) { return w.pid > 0 && !w.ticket; });
      if (free == workers_.end()) return;  // every live worker is busy: this page waits
      if (sendImage(free->fd, j.image, j.pageNumber)) {
        free->ticket = ticket;
        j.state = JobState::kSent;
        break;
      }
      stop(*free);  // it died while idle; try the next one
    }
  }
}

void PageRecognition::collect(bool block) {
  std::vector<pollfd> polled;
  std::vector<Worker*> busy;
  for (Worker& w : workers_) {
    if (w.pid > 0 && w.ticket) {
      polled.push_back(pollfd{.fd = w.fd, .events = POLLIN, .revents = 0});
      busy.push_back(&w);
    }
  }
  if (polled.empty()) return;
  int ready = 0;
  do {
    ready = ::poll(polled.data(), polled.size(), block ? -1 : 0);
  } while (ready < 0 && errno == EINTR);
  if (ready < 0) {
    // Cannot wait on the workers at all: stop them; their pages are done here.
    for (Worker* w : busy) {
      job(*w->ticket).state = JobState::kHere;
      stop(*w);
    }
    return;
  }
  for (size_t i = 0; i < polled.size(); ++i) {
    if (polled[i].revents == 0) continue;
    Worker& w = *busy[i];
    Job& j = job(*w.ticket);
    std::optional<Recognition> answer;
    if (std::optional<std::string> record = receiveRecord(w.fd))
      answer = decodeRecognition(*record);
    // An answer for another page than the one sent is as good as none.
    if (answer && answer->page && answer->page->pageNumber != j.pageNumber) answer.reset();
    if (answer) {
      j.result = std::move(answer);
      j.state = JobState::kDone;
      w.ticket.reset();
    } else {
      j.state = JobState::kHere;
      stop(w);
    }
  }
}

void PageRecognition::stop(Worker& worker) {
  if (worker.pid <= 0) return;
  ::close(worker.fd);
  ::kill(worker.pid, SIGKILL);
  while (::waitpid(worker.pid, nullptr, 0) < 0 && errno == EINTR) {
  }
  worker.pid = -1;
  worker.fd = -1;
  worker.ticket.reset();
}

}  // namespace marrowfen::scan
