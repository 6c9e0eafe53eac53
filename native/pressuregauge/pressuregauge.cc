// pressuregauge: the system's memory-pressure level, kept up to date by one background thread.
//
//   currentLevel() -> "normal" | "warning" | "critical" | "unknown"
//
// Loading the addon takes a first reading at once and starts the thread; currentLevel only loads
// the cached level and never blocks or touches the system. Arguments are ignored; nothing throws.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "native/napi_binding.h"
#include "native/pressuregauge/pressure_level.h"
#include "native/pressuregauge/pressure_monitor.h"

namespace {

using namespace marrowfen::pressure;

// The process-wide cached level, shared by every environment (main thread and workers) that
// loads the addon.
std::atomic<int32_t> cachedLevel{kUnknownLevel};

// One monitor thread for the whole process, alive while at least one environment uses the addon.
// It lives on the heap and is never destroyed by static destructors, so a process that exits
// without tearing its environments down does not trip over a joinable thread.
std::mutex monitorMutex;
PressureMonitor* monitor = nullptr;
int monitorUsers = 0;

// Runs when an environment is torn down (the host exits, a worker ends): the last one stops the
// thread so that nothing keeps running, or blocks the exit, once no JavaScript can read the level.
void ReleaseMonitor(void* token) {
  delete static_cast<char*>(token);
  std::lock_guard lock(monitorMutex);
  if (--monitorUsers == 0) {
    delete monitor;
    monitor = nullptr;
  }
}

napi_value CurrentLevel(napi_env env, napi_callback_info) {
  napi_value word = nullptr;
  napi_create_string_utf8(env, levelWord(cachedLevel.load(std::memory_order_acquire)),
                          NAPI_AUTO_LENGTH, &word);
  return word;
}

void Init(napi_env env, napi_value exports) {
  const MonitorConfig config;
  const int32_t bits = readPressureBits(config, false, false);
  cachedLevel.store(applyPressureBits(bits, cachedLevel.load(std::memory_order_acquire)),
                    std::memory_order_release);
  {
    std::lock_guard lock(monitorMutex);
    if (monitorUsers++ == 0) monitor = new PressureMonitor(config, &cachedLevel);
  }
  // Each registration gets its own token: an environment that initialises the addon twice must not
  // register the same hook and argument twice, which Node refuses.
  napi_add_env_cleanup_hook(env, ReleaseMonitor, new char);
  marrowfen::napi::exportFunctions(env, exports, {{"currentLevel", CurrentLevel}});
}

}  // namespace

MARROWFEN_NAPI_ADDON(Init)
