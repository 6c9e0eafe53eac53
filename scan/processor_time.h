// Readings of a processor-time clock, for the watchdogs that bound a page's work.
#pragma once

#include <time.h>

#include <chrono>

namespace marrowfen::scan {

// The reading of `clock` (a thread's or process's processor-time clock) as a duration.
inline std::chrono::nanoseconds processorTime(clockid_t clock) {
  timespec now{};
  ::clock_gettime(clock, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

}  // namespace marrowfen::scan
