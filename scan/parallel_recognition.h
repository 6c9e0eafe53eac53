// Recognition of the pages of one run on all the machine's cores: forked worker processes, each
// with its own recognition engine, fed one page at a time, whose answers come back in the order
// the pages were given. The answers are exactly those of recognising the pages one after another
// in this process: a worker runs the same recognize() on the same pixels, and a page whose worker
// dies or answers nonsense is recognised here instead.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scan/image.h"
#include "scan/recognize.h"

namespace marrowfen::scan {

// The processors this process may run on (its CPU affinity), at least 1.
int64_t machineCores();

// The number of recognition workers a run uses: MARROWFEN_OCR_WORKERS when it holds a whole
// number from 1 to 64, otherwise machineCores(). 1 means every page is recognised in the
// program itself.
int64_t recognitionWorkersFromEnvironment();

// The pages of one run in the order they are added. With a worker limit of 1 nothing is ever
// started: add() only keeps the page and take() recognises it here, right away, as a plain
// sequential run does. With 2 or more, the first page is kept until a second one comes, so that
// a run with one page to recognise starts nothing; the second starts the workers (at most the
// limit, and no more than the pages that can still come) and from then on every page goes to a
// free worker. add() waits while every worker is busy, so that at most one page is in flight per
// worker and the caller holds the next one. A worker that cannot be started, dies, or sends what
// cannot be read is stopped and its page recognised in this process when it is taken; the other
// workers go on, and when none is left the rest is recognised here.
class PageRecognition {
 public:
  explicit PageRecognition(int64_t workerLimit);
  PageRecognition(const PageRecognition&) = delete;
  PageRecognition& operator=(const PageRecognition&) = delete;
  // Stops every worker (also when the run ends early through fail()).
  ~PageRecognition();

  // Adds the image of page `pageNumber`, after which at most `morePagesAtMost` pages will be
  // added; returns the page's ticket: 0 for the first page added, then 1, 2 ...
  size_t add(Image image, int64_t pageNumber, int64_t morePagesAtMost);
  // Whether take(ticket) would answer without waiting for a worker. Reads what has arrived.
  bool finished(size_t ticket);
  // The page's recognition, as recognize(image, pageNumber) gives it; waits for its worker, or
  // recognises it here (recognizeOnOwnThread: a page that runs out of time here answers with
  // that error too, as in a worker). Each ticket is taken once, in the order of the tickets.
  Recognition take(size_t ticket);

  // Workers started so far (for tests and the benchmarks' sake).
  int64_t workersStarted() const { return workersStarted_; }

 private:
  enum class JobState { kHeld, kSent, kDone, kHere };
  struct Job {
    int64_t pageNumber = 0;
    Image image;  // kept until taken: a page whose worker dies is done here
    JobState state = JobState::kHeld;
    std::optional<Recognition> result;  // kDone only
  };
  struct Worker {
    pid_t pid = -1;
    int fd = -1;                   // our end of the socket pair
    std::optional<size_t> ticket;  // the page it is working on
  };

  Job& job(size_t ticket) { return jobs_[ticket - firstTicket_]; }
  void startWorkers(int64_t count);
  // Sends held pages, in order, to free workers; marks them kHere when no worker is left.
  void dispatch();
  // Waits until some busy worker answers or dies, and records what it sent. `block` false: only
  // what is readable now.
  void collect(bool block);
  void stop(Worker& worker);
  bool anyAlive() const;

  int64_t limit_;
  bool started_ = false;
  int64_t workersStarted_ = 0;
  std::deque<Job> jobs_;
  size_t firstTicket_ = 0;  // the ticket of jobs_.front()
  std::vector<Worker> workers_;
};

// The wire forms between the program and its workers (exposed for tests). A page image:
// pageNumber, width, height, format, then the rows without padding. A recognition: the page or
// the error, every field; doubles bit for bit. Decoders answer nothing for anything malformed.
std::string encodeRecognition(const Recognition& recognition);
std::optional<Recognition> decodeRecognition(std::string_view bytes);

}  // namespace marrowfen::scan
