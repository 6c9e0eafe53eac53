#include "scan/recognition_deadline.h"

#include <pthread.h>

#include <atomic>
#include <system_error>
#include <utility>

#include "scan/processor_time.h"

namespace marrowfen::scan {
namespace {

std::atomic<std::chrono::nanoseconds::rep> budgetNanoseconds{
    std::chrono::nanoseconds(kRecognitionTimeBudget).count()};

// Set once per process before any page is recognised, and read when a page's watch begins.
RecognitionOverTime& overTimeAction() {
  static RecognitionOverTime action;
  return action;
}

std::string overTimeError(int64_t pageNumber, std::chrono::nanoseconds budget) {
  const int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(budget).count();
  std::string amount = std::to_string(ms / 1000);
  if (ms % 1000 != 0) {
    std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
    while (fraction.back() == '0') fraction.pop_back();
    amount += "." + fraction;
  }
  return "Recognition of page " + std::to_string(pageNumber) +
         " was stopped: preparing the page and finding its lines took more than " + amount +
         " s of processor time.";
}

}  // namespace

std::chrono::nanoseconds recognitionTimeBudget() {
  return std::chrono::nanoseconds(budgetNanoseconds.load());
}

void setRecognitionTimeBudget(std::chrono::nanoseconds budget) {
  budgetNanoseconds = budget.count();
}

void setRecognitionOverTime(RecognitionOverTime action) { overTimeAction() = std::move(action); }

RecognitionOverTime recognitionOverTime() { return overTimeAction(); }

RecognitionDeadline::RecognitionDeadline(int64_t pageNumber)
    : RecognitionDeadline(pageNumber, overTimeAction()) {}

RecognitionDeadline::RecognitionDeadline(int64_t pageNumber, RecognitionOverTime action)
    : pageNumber_(pageNumber),
      budget_(recognitionTimeBudget()),
      action_(std::move(action)),
      start_(processorTime(CLOCK_THREAD_CPUTIME_ID)) {
  if (!action_) return;
  // The watchdog reads this thread's clock through its id; the thread outlives the watchdog.
  if (::pthread_getcpuclockid(::pthread_self(), &clock_) != 0) return;
  try {
    watchdog_ = std::thread(&RecognitionDeadline::watch, this);
  } catch (const std::system_error&) {
    // No thread to be had: the page is recognised unwatched rather than not at all.
  }
}

std::chrono::nanoseconds RecognitionDeadline::counted() const {
  const std::chrono::nanoseconds now = processorTime(clock_);
  return now - start_ - readingTime_ -
         (reading_ ? now - readingSince_ : std::chrono::nanoseconds{0});
}

void RecognitionDeadline::watch() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (finished_) return;
    if (reading_) {
      wake_.wait(lock);
      continue;
    }
    const std::chrono::nanoseconds left = budget_ - counted();
    if (left <= std::chrono::nanoseconds::zero()) break;
    // The recognising thread's processor time grows no faster than the clock on the wall, so
    // waiting `left` on the clock never oversleeps the deadline.
    wake_.wait_for(lock, left);
  }
  lock.unlock();
  action_(overTimeError(pageNumber_, budget_));
}

void RecognitionDeadline::readingWords(bool reading) {
  if (!watchdog_.joinable()) return;
  {
    const std::lock_guard lock(mutex_);
    if (reading == reading_) return;
    const std::chrono::nanoseconds now = processorTime(CLOCK_THREAD_CPUTIME_ID);
    if (reading) {
      readingSince_ = now;
    } else {
      readingTime_ += now - readingSince_;
    }
    reading_ = reading;
  }
  wake_.notify_one();
}

RecognitionDeadline::~RecognitionDeadline() {
  if (!watchdog_.joinable()) return;
  {
    const std::lock_guard lock(mutex_);
    finished_ = true;
  }
  wake_.notify_one();
  watchdog_.join();
}

}  // namespace marrowfen::scan
