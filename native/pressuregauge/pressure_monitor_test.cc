#include "native/pressuregauge/pressure_monitor.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

#include "native/pressuregauge/pressure_level.h"

namespace marrowfen::pressure {
namespace {

namespace fs = std::filesystem;

class PressureMonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "pressure-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    config_ = {.psiPath = (dir_ / "memory").string(),
               .memInfoPath = (dir_ / "meminfo").string(),
               .useTriggers = false,
               .rereadIntervalMs = 10};
  }
  void TearDown() override { fs::remove_all(dir_); }

  static void write(const std::string& path, const std::string& text) {
    // Written aside and renamed, so that the monitor never reads half a file.
    std::ofstream(path + ".new") << text;
    fs::rename(path + ".new", path);
  }
  static std::string memInfo(int totalKb, int availableKb) {
    return "MemTotal: " + std::to_string(totalKb) +
           " kB\nMemAvailable: " + std::to_string(availableKb) + " kB\n";
  }
  static std::string psi(double some, double full) {
    return "some avg10=" + std::to_string(some) +
           " avg60=0.00 avg300=0.00 total=1\nfull avg10=" + std::to_string(full) +
           " avg60=0.00 avg300=0.00 total=1\n";
  }
  // Waits (boundedly) for the cache to reach a level; the bound only guards against a hang.
  static bool eventually(const std::atomic<int32_t>& cache, int32_t level) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      if (cache.load(std::memory_order_acquire) == level) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  fs::path dir_;
  MonitorConfig config_;
};

TEST_F(PressureMonitorTest, ReadingPrefersPsiAndFallsBackToMemInfo) {
  EXPECT_EQ(readPressureBits(config_, false, false), 0);  // neither file
  write(config_.memInfoPath, memInfo(1000, 100));
  EXPECT_EQ(readPressureBits(config_, false, false), kCriticalBit);
  write(config_.psiPath, psi(0, 0));
  EXPECT_EQ(readPressureBits(config_, false, false), kNormalBit);
  EXPECT_EQ(readPressureBits(config_, false, true), kCriticalBit);
  write(config_.psiPath, "garbage\n");  // unreadable PSI counts as none
  EXPECT_EQ(readPressureBits(config_, false, false), kCriticalBit);
}

TEST_F(PressureMonitorTest, PeriodicReadingFollowsRisingAndFallingPressure) {
  write(config_.memInfoPath, memInfo(1000, 900));
  std::atomic<int32_t> cache{kUnknownLevel};
  PressureMonitor monitor(config_, &cache);
  EXPECT_TRUE(eventually(cache, kNormalLevel));
  write(config_.memInfoPath, memInfo(1000, 200));
  EXPECT_TRUE(eventually(cache, kWarningLevel));
  write(config_.memInfoPath, memInfo(1000, 100));
  EXPECT_TRUE(eventually(cache, kCriticalLevel));
  write(config_.memInfoPath, memInfo(1000, 800));
  EXPECT_TRUE(eventually(cache, kNormalLevel));
  write(config_.psiPath, psi(20, 0));
  EXPECT_TRUE(eventually(cache, kWarningLevel));
  EXPECT_FALSE(monitor.triggersActive());
}

TEST_F(PressureMonitorTest, UnreadableFilesLeaveTheCacheAlone) {
  std::atomic<int32_t> cache{kWarningLevel};
  {
    PressureMonitor monitor(config_, &cache);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_EQ(cache.load(), kWarningLevel);
}

TEST_F(PressureMonitorTest, StopsPromptlyWithALongInterval) {
  // The destructor must wake the thread rather than wait out its poll.
  config_.rereadIntervalMs = 60 * 60 * 1000;
  std::atomic<int32_t> cache{kUnknownLevel};
  auto monitor = std::make_unique<PressureMonitor>(config_, &cache);
  monitor.reset();  // hangs (and the test times out) if the thread is not woken
}

// The real kernel file, where there is one: the triggers the monitor writes must be accepted
// from an unprivileged-style open, and a reading must come out.
TEST(PressureMonitorKernel, RegistersTriggersWhereThereIsPsi) {
  MonitorConfig config;
  if (!fs::exists(config.psiPath)) GTEST_SKIP() << "no PSI on this kernel";
  const int probe = open(config.psiPath.c_str(), O_RDWR | O_CLOEXEC);
  if (probe < 0) GTEST_SKIP() << "the PSI file is read-only here";
  close(probe);
  EXPECT_NE(readPressureBits(config, false, false), 0);
  std::atomic<int32_t> cache{kUnknownLevel};
  PressureMonitor monitor(config, &cache);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (cache.load() == kUnknownLevel && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_NE(cache.load(), kUnknownLevel);
  EXPECT_TRUE(monitor.triggersActive());
}

}  // namespace
}  // namespace marrowfen::pressure
