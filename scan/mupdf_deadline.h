// The time MuPDF may spend on one page, and the watchdog that stops it there.
#pragma once

#include <time.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

extern "C" {
#include <mupdf/fitz.h>
}

namespace marrowfen::scan {

// The processor time MuPDF may spend on one page: finding the box of a page without one, reading
// its text layer and text render modes, and drawing it, together. Processor time rather than
// time on the clock, so that a busy machine does not cut a page short. The heaviest real pages
// take a few seconds here (a 600 dpi colour scan drawn on the largest canvas 1.7 s; a map of
// 300,000 filled and stroked curves at the default scale 7 s); a hostile page (millions of
// operators, forms nested into billions of drawings) would run for minutes.
inline constexpr std::chrono::milliseconds kPageTimeBudget{20000};

// The budget pages loaded from now on get: kPageTimeBudget, unless a test has set another.
std::chrono::nanoseconds pageTimeBudget();
void setPageTimeBudget(std::chrono::nanoseconds budget);

// What is left of one page's time. Once spent, every later piece of work on the page fails
// at once.
struct PageTime {
  std::chrono::nanoseconds left = pageTimeBudget();
  bool spent = false;
};

// One piece of MuPDF's work on a page, under what is left of the page's time, counted in the
// processor time of the thread that builds the object (the one that calls MuPDF). Pass cookie() to
// MuPDF. While the object lives a watchdog thread waits; when the time is up it sets the cookie's
// abort, which MuPDF's content interpreter checks between operators and answers by stopping, and
// has MuPDF's allocator refuse every request, so that a decoder or device that never looks at the
// cookie fails at its next allocation. The time taken is charged to the page when the object
// goes. Build it outside fz_try: it owns a thread.
class MupdfDeadline {
 public:
  explicit MupdfDeadline(PageTime& time);
  MupdfDeadline(const MupdfDeadline&) = delete;
  MupdfDeadline& operator=(const MupdfDeadline&) = delete;
  ~MupdfDeadline();

  fz_cookie* cookie() { return &cookie_; }
  // Whether the page's time ran out, during this work or before it began. Work that ran out
  // of time is unfinished: whatever it produced is not the page.
  bool expired() const { return time_.spent || fired_.load(); }

 private:
  void watch();

  PageTime& time_;
  clockid_t worker_ = CLOCK_THREAD_CPUTIME_ID;  // the processor clock of the working thread
  std::chrono::nanoseconds start_;              // its reading when the work began
  fz_cookie cookie_{};
  std::atomic<bool> fired_{false};
  std::mutex mutex_;
  std::condition_variable wake_;
  bool finished_ = false;  // guarded by mutex_
  std::thread watchdog_;
};

}  // namespace marrowfen::scan
