#include "native/pressuregauge/pressure_level.h"

#include <gtest/gtest.h>

#include <string>

namespace marrowfen::pressure {
namespace {

TEST(ApplyPressureBits, HighestBitWinsAndEmptyLeavesTheLevel) {
  struct Case {
    int32_t bits;
    int32_t current;
    int32_t expected;
  };
  const Case cases[] = {
      {1, kUnknownLevel, kNormalLevel},    {2, kNormalLevel, kWarningLevel},
      {4, kNormalLevel, kCriticalLevel},   {3, kCriticalLevel, kWarningLevel},
      {6, kNormalLevel, kCriticalLevel},   {7, kUnknownLevel, kCriticalLevel},
      {5, kWarningLevel, kCriticalLevel},  {0, kUnknownLevel, kUnknownLevel},
      {0, kCriticalLevel, kCriticalLevel}, {8, kWarningLevel, kWarningLevel},
      {1, kCriticalLevel, kNormalLevel},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(applyPressureBits(c.bits, c.current), c.expected)
        << "bits " << c.bits << " current " << c.current;
  }
}

TEST(ApplyPressureBits, CriticalThenNormalLeavesNormal) {
  int32_t level = kUnknownLevel;
  level = applyPressureBits(kCriticalBit, level);
  level = applyPressureBits(kNormalBit, level);
  EXPECT_EQ(level, kNormalLevel);
}

TEST(LevelWord, NamesTheThreeLevelsAndNothingElse) {
  EXPECT_STREQ(levelWord(0), "unknown");
  EXPECT_STREQ(levelWord(1), "normal");
  EXPECT_STREQ(levelWord(2), "warning");
  EXPECT_STREQ(levelWord(3), "critical");
  EXPECT_STREQ(levelWord(4), "unknown");
  EXPECT_STREQ(levelWord(-1), "unknown");
}

TEST(ParsePsi, ReadsBothLinesOfTheKernelFormat) {
  const auto reading = parsePsi(
      "some avg10=12.50 avg60=3.01 avg300=0.70 total=123456789\n"
      "full avg10=4.99 avg60=1.00 avg300=0.00 total=42\n");
  ASSERT_TRUE(reading);
  ASSERT_TRUE(reading->some);
  ASSERT_TRUE(reading->full);
  EXPECT_DOUBLE_EQ(reading->some->avg10, 12.5);
  EXPECT_DOUBLE_EQ(reading->some->avg60, 3.01);
  EXPECT_DOUBLE_EQ(reading->some->avg300, 0.7);
  EXPECT_EQ(reading->some->total, 123456789u);
  EXPECT_DOUBLE_EQ(reading->full->avg10, 4.99);
  EXPECT_EQ(reading->full->total, 42u);
}

TEST(ParsePsi, AcceptsAMissingFullLineAndUnknownFields) {
  const auto reading = parsePsi("some avg10=0.00 avg60=0.00 avg300=0.00 total=0 extra=1");
  ASSERT_TRUE(reading);
  EXPECT_TRUE(reading->some);
  EXPECT_FALSE(reading->full);
}

TEST(ParsePsi, RefusesMalformedFiles) {
  const char* const texts[] = {
      "",
      "\n",
      "full avg10=0.00 avg60=0.00 avg300=0.00 total=0\n",           // no "some"
      "some avg10=0.00 avg60=0.00 total=0\n",                       // avg300 missing
      "some avg10=x avg60=0.00 avg300=0.00 total=0\n",              // not a number
      "some avg10=1.0 avg60=0.00 avg300=0.00 total=-3\n",           // negative total
      "some avg10=1.0 avg10=2.0 avg60=0.00 avg300=0.00 total=3\n",  // repeated field
      "some avg10 avg60=0.00 avg300=0.00 total=0\n",                // no '='
      "some avg10=0.00 avg60=0.00 avg300=0.00 total=0\n"
      "some avg10=0.00 avg60=0.00 avg300=0.00 total=0\n",  // "some" twice
  };
  for (const char* text : texts) EXPECT_FALSE(parsePsi(text)) << text;
}

TEST(ParseMemInfo, ReadsTotalAndAvailable) {
  const auto info = parseMemInfo(
      "MemTotal:        8029404 kB\n"
      "MemFree:          291224 kB\n"
      "MemAvailable:    2717780 kB\n"
      "Buffers:          148420 kB\n");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->totalKb, 8029404u);
  EXPECT_EQ(info->availableKb, 2717780u);
}

TEST(ParseMemInfo, RefusesFilesWithoutTheFields) {
  const char* const texts[] = {
      "",
      "MemTotal: 100 kB\n",  // kernels before 3.14 have no MemAvailable
      "MemAvailable: 100 kB\n",
      "MemTotal: 0 kB\nMemAvailable: 0 kB\n",
      "MemTotal: lots kB\nMemAvailable: 1 kB\n",
      "MemTotal: 100 MB\nMemAvailable: 1 kB\n",
  };
  for (const char* text : texts) EXPECT_FALSE(parseMemInfo(text)) << text;
}

TEST(MemInfoBits, ThresholdsAtFifteenAndTwentyFivePercent) {
  struct Case {
    uint64_t available;
    int32_t expected;
  };
  const Case cases[] = {
      {0, kCriticalBit},  {1499, kCriticalBit}, {1500, kWarningBit}, {2499, kWarningBit},
      {2500, kNormalBit}, {10000, kNormalBit},  {20000, kNormalBit},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(memInfoBits({.totalKb = 10000, .availableKb = c.available}), c.expected)
        << c.available;
  }
  // Large machines: no overflow in the comparison.
  EXPECT_EQ(memInfoBits({.totalKb = UINT64_MAX / 2, .availableKb = UINT64_MAX / 4}), kNormalBit);
  EXPECT_EQ(memInfoBits({.totalKb = UINT64_MAX / 2, .availableKb = UINT64_MAX / 16}), kCriticalBit);
}

TEST(PsiBits, AveragesAndRecentTriggers) {
  const auto reading = [](double some, double full) {
    return PsiReading{.some = PsiLine{.avg10 = some}, .full = PsiLine{.avg10 = full}};
  };
  struct Case {
    PsiReading reading;
    bool someFired;
    bool fullFired;
    int32_t expected;
  };
  const Case cases[] = {
      {reading(0, 0), false, false, kNormalBit},
      {reading(9.99, 4.99), false, false, kNormalBit},
      {reading(10, 0), false, false, kWarningBit},
      {reading(10, 5), false, false, kWarningBit | kCriticalBit},
      {reading(0, 5), false, false, kCriticalBit},
      {reading(0, 0), true, false, kWarningBit},
      {reading(0, 0), false, true, kCriticalBit},
      {reading(0, 0), true, true, kWarningBit | kCriticalBit},
      {PsiReading{.some = PsiLine{.avg10 = 50}}, false, false, kWarningBit},  // no "full" line
  };
  for (const Case& c : cases) {
    EXPECT_EQ(psiBits(c.reading, c.someFired, c.fullFired), c.expected)
        << c.reading.some->avg10 << " " << c.someFired << " " << c.fullFired;
  }
}

}  // namespace
}  // namespace marrowfen::pressure
