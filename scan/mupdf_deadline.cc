#include "scan/mupdf_deadline.h"

#include <pthread.h>

#include <system_error>

#include "scan/mupdf_context.h"
#include "scan/processor_time.h"

namespace marrowfen::scan {
namespace {

std::atomic<std::chrono::nanoseconds::rep> budgetNanoseconds{
    std::chrono::nanoseconds(kPageTimeBudget).count()};

}  // namespace

std::chrono::nanoseconds pageTimeBudget() {
  return std::chrono::nanoseconds(budgetNanoseconds.load());
}

void setPageTimeBudget(std::chrono::nanoseconds budget) { budgetNanoseconds = budget.count(); }

MupdfDeadline::MupdfDeadline(PageTime& time)
    : time_(time), start_(processorTime(CLOCK_THREAD_CPUTIME_ID)) {
  if (time_.spent || time_.left <= std::chrono::nanoseconds::zero()) {
    time_.spent = true;
    cookie_.abort = 1;
    return;
  }
  // The watchdog reads this thread's clock through its id; the thread outlives the watchdog.
  if (::pthread_getcpuclockid(::pthread_self(), &worker_) != 0) return;
  try {
    watchdog_ = std::thread(&MupdfDeadline::watch, this);
  } catch (const std::system_error&) {
    // No thread to be had: the work runs unwatched rather than not at all.
  }
}

void MupdfDeadline::watch() {
  std::unique_lock lock(mutex_);
  for (;;) {
    const std::chrono::nanoseconds left = time_.left - (processorTime(worker_) - start_);
    if (left <= std::chrono::nanoseconds::zero()) break;
    // The worker's processor time grows no faster than the clock on the wall, so waiting `left`
    // on the clock never oversleeps the deadline.
    if (wake_.wait_for(lock, left, [this] { return finished_; })) return;
  }
  // MuPDF reads the field without synchronisation; an atomic store keeps this side clean.
  __atomic_store_n(&cookie_.abort, 1, __ATOMIC_RELAXED);
  fired_ = true;
  stopMupdfAllocations(true);
}

MupdfDeadline::~MupdfDeadline() {
  if (watchdog_.joinable()) {
    {
      const std::lock_guard lock(mutex_);
      finished_ = true;
    }
    wake_.notify_one();
    watchdog_.join();
  }
  if (fired_) {
    stopMupdfAllocations(false);
    time_.spent = true;
  }
  time_.left -= processorTime(CLOCK_THREAD_CPUTIME_ID) - start_;
}

}  // namespace marrowfen::scan
