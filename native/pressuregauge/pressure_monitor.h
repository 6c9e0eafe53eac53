// The background reader behind pressuregauge: one thread that keeps a cached pressure level up to
// date from the kernel's pressure-stall information (PSI) or, where the kernel has none, from
// /proc/meminfo.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace marrowfen::pressure {

struct MonitorConfig {
  std::string psiPath = "/proc/pressure/memory";  // PSI file; also where triggers are registered
  std::string memInfoPath = "/proc/meminfo";      // fallback when the PSI file cannot be read
  bool useTriggers = true;      // register kernel triggers on psiPath (needs a real PSI file)
  int rereadIntervalMs = 1000;  // periodic re-read: PSI sends no event when pressure falls
  int holdMs = 10000;           // how long a trigger event holds its level
};

// Trigger lines written to the PSI file: a stall share within a 2-second window, the shortest
// window the kernel accepts from unprivileged processes. "some" 200 ms of 2 s (10 %) is a warning,
// "full" 100 ms of 2 s (5 %) critical, matching the thresholds on the averages.
inline constexpr char kSomeTrigger[] = "some 200000 2000000";
inline constexpr char kFullTrigger[] = "full 100000 2000000";

// One reading now: the bits from the PSI file (with the given trigger history), or from
// /proc/meminfo when the PSI file cannot be read or parsed; 0 when neither can.
int32_t readPressureBits(const MonitorConfig& config, bool someFiredRecently,
                         bool fullFiredRecently);

// Owns the background thread. Every reading and every trigger event is folded into *cache with
// applyPressureBits and stored with release order; readers load it with acquire order. The
// destructor stops the thread and joins it; it returns within one poll wake-up.
class PressureMonitor {
 public:
  PressureMonitor(MonitorConfig config, std::atomic<int32_t>* cache);
  ~PressureMonitor();
  PressureMonitor(const PressureMonitor&) = delete;
  PressureMonitor& operator=(const PressureMonitor&) = delete;

  // Whether kernel triggers were registered (known once the thread has set them up).
  bool triggersActive() const { return triggersActive_.load(std::memory_order_acquire); }

 private:
  void run();

  MonitorConfig config_;
  std::atomic<int32_t>* cache_;
  int stopFd_ = -1;  // eventfd written by the destructor to wake the thread
  std::atomic<bool> triggersActive_{false};
  std::thread thread_;
};

}  // namespace marrowfen::pressure
