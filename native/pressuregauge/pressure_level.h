// Memory-pressure levels: the bit sets that readings produce, the rule that folds them into the
// cached level, and the parsers for the kernel files the readings come from. Pure functions over
// text, so they run on fake file contents.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace marrowfen::pressure {

// Bits of a reading. A reading may carry several; the highest wins.
inline constexpr int32_t kNormalBit = 1;
inline constexpr int32_t kWarningBit = 2;
inline constexpr int32_t kCriticalBit = 4;

// Cached levels. 0 is "not known yet".
inline constexpr int32_t kUnknownLevel = 0;
inline constexpr int32_t kNormalLevel = 1;
inline constexpr int32_t kWarningLevel = 2;
inline constexpr int32_t kCriticalLevel = 3;

// The level a reading leaves in the cache: 3 if bit 4 is set, else 2 if bit 2, else 1 if bit 1,
// else the current level unchanged.
int32_t applyPressureBits(int32_t bits, int32_t current);

// "normal", "warning", "critical" for 1, 2, 3; "unknown" for anything else. Static storage.
const char* levelWord(int32_t level);

// One line of a pressure file: "some avg10=0.00 avg60=0.00 avg300=0.00 total=0".
struct PsiLine {
  double avg10 = 0;    // share of the last 10 s, in percent, that tasks stalled
  double avg60 = 0;    // the same over 60 s
  double avg300 = 0;   // the same over 300 s
  uint64_t total = 0;  // total stall time in microseconds
};

// /proc/pressure/memory. "some": at least one task stalled on memory; "full": all non-idle tasks
// stalled at once. Older kernels write only "some".
struct PsiReading {
  std::optional<PsiLine> some;
  std::optional<PsiLine> full;
};

// Parses a pressure file; nothing when it holds no "some" line or a line is malformed.
std::optional<PsiReading> parsePsi(std::string_view text);

// The two /proc/meminfo fields the fallback needs, in kB.
struct MemInfo {
  uint64_t totalKb = 0;      // MemTotal
  uint64_t availableKb = 0;  // MemAvailable: what can be had without swapping
};

// Parses /proc/meminfo; nothing when MemTotal or MemAvailable is missing or MemTotal is 0.
std::optional<MemInfo> parseMemInfo(std::string_view text);

// Thresholds of the fallback: MemAvailable under 15 % of MemTotal is critical, under 25 % warning.
inline constexpr unsigned kMemCriticalPercent = 15;
inline constexpr unsigned kMemWarningPercent = 25;
int32_t memInfoBits(const MemInfo& info);

// Thresholds on the pressure averages (avg10, percent): "full" at or above 5 % is critical,
// "some" at or above 10 % warning. The kernel triggers use the same shares of a 2-second window.
inline constexpr double kFullCriticalPercent = 5;
inline constexpr double kSomeWarningPercent = 10;

// The bits of one pressure reading. fullFiredRecently / someFiredRecently say whether the kernel's
// "full" / "some" trigger fired within the hold time: the averages lag behind a sudden stall and
// the kernel sends no event when pressure falls, so a recent event holds its level until both the
// event is old and the averages have come down.
int32_t psiBits(const PsiReading& reading, bool someFiredRecently, bool fullFiredRecently);

}  // namespace marrowfen::pressure
