#include "scan/recognition_thread.h"

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

#include "scan/platform.h"

namespace marrowfen::scan {
namespace {

std::atomic<bool> leftBehind{false};

// What the recognising thread and the waiting caller share; it outlives whichever ends last.
struct Exchange {
  std::mutex mutex;
  std::condition_variable done;
  std::optional<Recognition> answer;  // guarded
  std::exception_ptr thrown;          // guarded
  pid_t thread = 0;                   // guarded: the recognising thread's id
  Image image;                        // the page, until the recognising thread takes it

  void settle(Recognition recognition, std::exception_ptr error = nullptr) {
    {
      const std::lock_guard lock(mutex);
      if (answer || thrown) return;  // the page ran out of time before it was finished
      if (error) {
        thrown = std::move(error);
      } else {
        answer = std::move(recognition);
      }
    }
    done.notify_all();
  }
};

}  // namespace

Recognition recognizeOnOwnThread(Image image, int64_t pageNumber) {
  const std::function<const TextRecognizer*()>& fresh = platform().freshRecognizer;
  if (!fresh) return recognize(std::move(image), pageNumber);
  auto exchange = std::make_shared<Exchange>();
  exchange->image = std::move(image);
  std::thread recognising;
  try {
    recognising = std::thread([exchange, pageNumber] {
      Image page;
      {
        const std::lock_guard lock(exchange->mutex);
        exchange->thread = ::gettid();
        page = std::move(exchange->image);
      }
      const auto overTime = [exchange](const std::string& error) {
        exchange->settle(Recognition{.error = error, .overTime = true});
      };
      try {
        exchange->settle(recognize(std::move(page), pageNumber, overTime));
      } catch (...) {
        exchange->settle({}, std::current_exception());
      }
    });
  } catch (const std::system_error&) {
    // No thread to be had: recognised here, where running out of time ends the run.
    return recognize(std::move(exchange->image), pageNumber);
  }
  std::unique_lock lock(exchange->mutex);
  exchange->done.wait(lock, [&] { return exchange->answer || exchange->thrown; });
  if (exchange->thrown) {
    lock.unlock();
    recognising.join();
    std::rethrow_exception(exchange->thrown);
  }
  Recognition answer = std::move(*exchange->answer);
  if (!answer.overTime) {
    lock.unlock();
    recognising.join();
    return answer;
  }
  // The engine goes on inside the page until it is done or the process ends: it yields to every
  // other thread and process (Linux keeps a niceness per thread), and its recogniser, which it
  // still uses, is never handed a page again.
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(exchange->thread), 19);
  lock.unlock();
  recognising.detach();
  leftBehind = true;
  platform().recognizer = fresh();
  return answer;
}

bool recognitionLeftBehind() { return leftBehind; }

}  // namespace marrowfen::scan
