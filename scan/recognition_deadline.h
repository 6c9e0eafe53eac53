// The processor time one page's recognition may take outside reading words, and the watchdog
// that ends the run when a page takes more.
#pragma once

#include <time.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "scan/recognizer.h"

namespace marrowfen::scan {

// Preparing a page and finding its lines take seconds on the largest real pages (a 67-Mpixel
// receipt photo 6 s, the same turned a quarter, which is looked at twice, 13 s); a page built to
// trip the engine's layout analysis (thousands of identical blocks lined up into one table) runs
// there for many minutes. Reading the words is not counted: it grows with the amount of text,
// about a hundred words a second, and a dense page at the pixel budget holds tens of thousands.
// Processor time, so that a busy machine cuts no page short. 20 s leaves half as much again above
// the heaviest real page and keeps a whole run over such a page within half a minute.
inline constexpr std::chrono::milliseconds kRecognitionTimeBudget{20000};

// The budget pages recognised from now on get: kRecognitionTimeBudget, unless a test has set
// another.
std::chrono::nanoseconds recognitionTimeBudget();
void setRecognitionTimeBudget(std::chrono::nanoseconds budget);

// What this process does when a page runs out of time, given the recognition error: called once,
// on the watchdog's thread, while the recognising thread is still inside the engine, which cannot
// be stopped. The program writes its failure and ends; a worker sends the error to the program
// and ends. Until an action is set, pages are not watched.
using RecognitionOverTime = std::function<void(const std::string& error)>;
void setRecognitionOverTime(RecognitionOverTime action);
RecognitionOverTime recognitionOverTime();

// The watch over one page's recognition, counted in the processor time of the thread that builds
// it (the one that recognises), less the time the recogniser reports reading words. Hand it to
// the recogniser as the request's phases. Without an action it starts nothing.
class RecognitionDeadline : public RecognitionPhases {
 public:
  // With the process's action (setRecognitionOverTime), or with `action`.
  explicit RecognitionDeadline(int64_t pageNumber);
  RecognitionDeadline(int64_t pageNumber, RecognitionOverTime action);
  RecognitionDeadline(const RecognitionDeadline&) = delete;
  RecognitionDeadline& operator=(const RecognitionDeadline&) = delete;
  // Waits for the watchdog; when it has fired, that is until the action has run.
  ~RecognitionDeadline() override;

  void readingWords(bool reading) override;

 private:
  void watch();
  // Processor time counted so far; mutex_ held.
  std::chrono::nanoseconds counted() const;

  int64_t pageNumber_;
  std::chrono::nanoseconds budget_;
  RecognitionOverTime action_;
  clockid_t clock_ = CLOCK_THREAD_CPUTIME_ID;  // the processor clock of the recognising thread
  std::chrono::nanoseconds start_;             // its reading when recognition began
  std::mutex mutex_;
  std::condition_variable wake_;
  std::chrono::nanoseconds readingTime_{0};   // guarded: time spent reading words, done
  std::chrono::nanoseconds readingSince_{0};  // guarded: the clock when reading began
  bool reading_ = false;                      // guarded
  bool finished_ = false;                     // guarded
  std::thread watchdog_;
};

}  // namespace marrowfen::scan
