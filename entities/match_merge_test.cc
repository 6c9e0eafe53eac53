#include "entities/match_merge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <tuple>

namespace marrowfen::entities {
namespace {

TEST(MergeMatches, AddressesWinThenDatesAndTextOrder) {
  const Matches addresses = {{10, 20, kResultTypeAddress}};
  const Matches dates = {
      {0, 5, kResultTypeDate}, {15, 5, kResultTypeDate}, {40, 8, kResultTypeDate}};
  const Matches phones = {{3, 6, kResultTypePhoneNumber},
                          {29, 5, kResultTypePhoneNumber},
                          {50, 9, kResultTypePhoneNumber}};
  const Matches merged = mergeMatches(addresses, dates, phones);
  std::vector<std::pair<size_t, uint64_t>> got;
  for (const auto& m : merged) got.emplace_back(m.location, m.resultType);
  EXPECT_EQ(got, (std::vector<std::pair<size_t, uint64_t>>{{0, kResultTypeDate},
                                                           {10, kResultTypeAddress},
                                                           {40, kResultTypeDate},
                                                           {50, kResultTypePhoneNumber}}));
}

// The rule written out pair by pair: every address; a date that overlaps no address; a phone
// number that overlaps no address and no date (displaced or not).
Matches mergedPairwise(const Matches& addresses, const Matches& dates, const Matches& phones) {
  const auto overlap = [](const DetectorMatch& a, const DetectorMatch& b) {
    return a.location < b.location + b.length && b.location < a.location + a.length;
  };
  Matches all = addresses;
  for (const DetectorMatch& d : dates) {
    if (std::none_of(addresses.begin(), addresses.end(),
                     [&](const auto& a) { return overlap(a, d); })) {
      all.push_back(d);
    }
  }
  for (const DetectorMatch& p : phones) {
    const auto hit = [&](const auto& m) { return overlap(m, p); };
    if (std::none_of(addresses.begin(), addresses.end(), hit) &&
        std::none_of(dates.begin(), dates.end(), hit)) {
      all.push_back(p);
    }
  }
  return all;
}

std::vector<std::tuple<size_t, size_t, uint64_t>> sortedTuples(const Matches& matches) {
  std::vector<std::tuple<size_t, size_t, uint64_t>> out;
  for (const auto& m : matches) out.emplace_back(m.location, m.length, m.resultType);
  std::sort(out.begin(), out.end());
  return out;
}

TEST(MergeMatches, AgreesWithThePairwiseRuleOnRandomLists) {
  std::mt19937 random(18);
  for (int round = 0; round < 2000; ++round) {
    // Short texts and long matches make overlaps of every kind common: nested, touching,
    // zero-length, unsorted and (in some rounds) overlapping within one list.
    const size_t textLength = 1 + random() % 60;
    const auto list = [&](uint64_t type) {
      Matches m(random() % 7);
      for (auto& x : m) {
        x = {random() % textLength, random() % 12, type};
      }
      return m;
    };
    const Matches a = list(kResultTypeAddress), d = list(kResultTypeDate),
                  p = list(kResultTypePhoneNumber);
    const Matches merged = mergeMatches(a, d, p);
    EXPECT_EQ(sortedTuples(merged), sortedTuples(mergedPairwise(a, d, p))) << "round " << round;
    EXPECT_TRUE(std::is_sorted(merged.begin(), merged.end(), [](const auto& x, const auto& y) {
      return x.location < y.location;
    }));
  }
}

}  // namespace
}  // namespace marrowfen::entities
