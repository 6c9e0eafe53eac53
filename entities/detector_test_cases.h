// Helpers for the data detectors' tests: the texts a finder reports, checked against a table.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "common/unicode.h"
#include "entities/detector_common.h"

namespace marrowfen::entities::detector_testing {

// The texts of `matches` in `text`, in order.
inline std::vector<std::string> texts(const std::string& text, const Matches& matches) {
  const std::u16string u = toUtf16(text);
  std::vector<std::string> out;
  for (const DetectorMatch& m : matches)
    out.push_back(toUtf8(std::u16string_view(u).substr(m.location, m.length)));
  return out;
}

using Finder = Matches (*)(std::u16string_view);

struct Case {
  std::string text;
  std::vector<std::string> found;
};

inline void check(Finder find, const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(texts(c.text, find(toUtf16(c.text))), c.found) << c.text;
}

}  // namespace marrowfen::entities::detector_testing
