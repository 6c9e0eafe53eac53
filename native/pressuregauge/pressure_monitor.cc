#include "native/pressuregauge/pressure_monitor.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

#include "native/pressuregauge/pressure_level.h"

namespace marrowfen::pressure {

namespace {

// The whole of a small kernel file, or nothing when it cannot be opened or read.
std::optional<std::string> readSmallFile(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string text;
  char chunk[4096];
  for (;;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    text.append(chunk, static_cast<size_t>(n));
  }
  close(fd);
  return text;
}

// A trigger descriptor for one trigger line, or -1 when the kernel refuses it (no PSI, EINVAL
// for a window it does not allow, EPERM, ...). The line is written with its terminating NUL.
int openTrigger(const std::string& path, const char* line) {
  int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  if (write(fd, line, std::strlen(line) + 1) < 0) {
    close(fd);
    return -1;
  }
  return fd;
}

void fold(std::atomic<int32_t>* cache, int32_t bits) {
  cache->store(applyPressureBits(bits, cache->load(std::memory_order_acquire)),
               std::memory_order_release);
}

}  // namespace

int32_t readPressureBits(const MonitorConfig& config, bool someFiredRecently,
                         bool fullFiredRecently) {
  if (std::optional<std::string> text = readSmallFile(config.psiPath)) {
    if (std::optional<PsiReading> reading = parsePsi(*text)) {
      return psiBits(*reading, someFiredRecently, fullFiredRecently);
    }
  }
  if (std::optional<std::string> text = readSmallFile(config.memInfoPath)) {
    if (std::optional<MemInfo> info = parseMemInfo(*text)) return memInfoBits(*info);
  }
  return 0;
}

PressureMonitor::PressureMonitor(MonitorConfig config, std::atomic<int32_t>* cache)
    : config_(std::move(config)), cache_(cache) {
  stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  // Without a stop descriptor the thread could not be woken, so it is not started: the cache
  // then keeps the first reading.
  if (stopFd_ >= 0) thread_ = std::thread([this] { run(); });
}

PressureMonitor::~PressureMonitor() {
  if (thread_.joinable()) {
    const uint64_t one = 1;
    while (write(stopFd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
    thread_.join();
  }
  if (stopFd_ >= 0) close(stopFd_);
}

void PressureMonitor::run() {
  using Clock = std::chrono::steady_clock;
  enum { kStop, kSome, kFull, kCount };
  pollfd fds[kCount] = {};
  fds[kStop] = {.fd = stopFd_, .events = POLLIN};
  fds[kSome] = {.fd = config_.useTriggers ? openTrigger(config_.psiPath, kSomeTrigger) : -1,
                .events = POLLPRI};
  fds[kFull] = {.fd = config_.useTriggers ? openTrigger(config_.psiPath, kFullTrigger) : -1,
                .events = POLLPRI};
  triggersActive_.store(fds[kSome].fd >= 0 || fds[kFull].fd >= 0, std::memory_order_release);

  std::optional<Clock::time_point> someFired;
  std::optional<Clock::time_point> fullFired;
  const auto recent = [this](const std::optional<Clock::time_point>& fired, Clock::time_point now) {
    return fired && now - *fired < std::chrono::milliseconds(config_.holdMs);
  };

  for (;;) {
    const int ready = poll(fds, kCount, config_.rereadIntervalMs);
    if (ready < 0 && errno != EINTR) break;
    if (fds[kStop].revents & POLLIN) break;
    const Clock::time_point now = Clock::now();
    for (int which : {kSome, kFull}) {
      pollfd& trigger = fds[which];
      if (trigger.fd < 0 || trigger.revents == 0) continue;
      if (trigger.revents & POLLPRI) (which == kSome ? someFired : fullFired) = now;
      if (trigger.revents & (POLLERR | POLLHUP | POLLNVAL)) {
        // The trigger is gone (e.g. its cgroup was removed); the periodic re-read carries on.
        close(trigger.fd);
        trigger.fd = -1;
      }
    }
    fold(cache_, readPressureBits(config_, recent(someFired, now), recent(fullFired, now)));
  }
  for (int which : {kSome, kFull}) {
    if (fds[which].fd >= 0) close(fds[which].fd);
  }
}

}  // namespace marrowfen::pressure
