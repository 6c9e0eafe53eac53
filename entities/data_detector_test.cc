#include "entities/data_detector.h"

#include <gtest/gtest.h>

#include "entities/detector_test_cases.h"

namespace marrowfen::entities {
namespace {

using detector_testing::texts;

TEST(DataDetector, ReportsEveryKindInTextOrder) {
  const std::string text =
      "\U0001F600 Phone: +91 98765 43210\nBorn 12/03/1990\nAddress: 221B Baker Street, London NW1 "
      "6XE";
  const auto detector = makeDataDetector();
  ASSERT_TRUE(detector);
  const std::u16string u = toUtf16(text);
  Matches got;
  detector->enumerateMatches(u, [&](const std::optional<DetectorMatch>& m) {
    ASSERT_TRUE(m);
    got.push_back(*m);
  });
  EXPECT_EQ(texts(text, got), (std::vector<std::string>{"+91 98765 43210", "12/03/1990",
                                                        "221B Baker Street, London NW1 6XE"}));
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].resultType, kResultTypePhoneNumber);
  EXPECT_EQ(got[1].resultType, kResultTypeDate);
  EXPECT_EQ(got[2].resultType, kResultTypeAddress);
}

}  // namespace
}  // namespace marrowfen::entities
