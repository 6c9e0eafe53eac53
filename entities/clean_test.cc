#include "entities/clean.h"

#include <gtest/gtest.h>

namespace marrowfen::entities {
namespace {

TEST(Clean, CollapsesWhiteSpaceRunsAndTrims) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"  Anna\n\t Marie  ", "Anna Marie"},
      {" \t\n\r\v\f ", ""},
      {"", ""},
      {"a", "a"},
      {"a\r\nb", "a b"},
      {"x\u00A0\u2003\u2028\u2029\u0085\u3000y", "x y"},  // NBSP, em space, separators, NEL
      {"\u00A0lead and trail\u202F", "lead and trail"},
      {"keep\u200Bzero-width", "keep\u200Bzero-width"},  // ZWSP has no White_Space property
      {"Stra\u00DFe  12", "Stra\u00DFe 12"},
  };
  for (const auto& c : cases) EXPECT_EQ(clean(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace marrowfen::entities
