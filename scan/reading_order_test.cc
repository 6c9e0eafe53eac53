#include "scan/reading_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <random>
#include <utility>
#include <vector>

namespace marrowfen::scan {
namespace {

// A box with an id, so that orders can be compared element by element.
struct Item {
  int id = 0;
  BoundingBox box;
};

// The same run-and-merge procedure written out plainly, step by step: copies instead of a shared
// scratch area, swaps instead of moves, the minimum run from the bit width.
template <class Before>
void referenceSort(std::vector<Item>& v, Before before) {
  const size_t n = v.size();
  if (n < 2) return;
  size_t r = n;
  if (n >= 64) {
    const int shift = std::bit_width(n) - 6;
    r = (n >> shift) + ((n & ((size_t{1} << shift) - 1)) != 0 ? 1 : 0);
  }
  auto insert = [&](size_t begin, size_t from, size_t end) {
    for (size_t k = from; k < end; ++k) {
      for (size_t m = k; m > begin && before(v[m], v[m - 1]); --m) std::swap(v[m], v[m - 1]);
    }
  };
  if (n <= r) {
    insert(0, 1, n);
    return;
  }
  auto merge = [&](size_t low, size_t mid, size_t high) {
    std::vector<Item> a(v.begin() + low, v.begin() + mid);
    std::vector<Item> b(v.begin() + mid, v.begin() + high);
    if (a.size() < b.size()) {
      size_t ia = 0, ib = 0, out = low;
      while (ia < a.size() && ib < b.size()) {
        if (before(b[ib], a[ia]))
          v[out++] = b[ib++];
        else
          v[out++] = a[ia++];
      }
      while (ia < a.size()) v[out++] = a[ia++];
    } else {
      size_t ia = a.size(), ib = b.size(), out = high;
      while (ia > 0 && ib > 0) {
        if (before(b[ib - 1], a[ia - 1]))
          v[--out] = a[--ia];
        else
          v[--out] = b[--ib];
      }
      while (ib > 0) v[--out] = b[--ib];
    }
  };
  std::vector<std::pair<size_t, size_t>> runs;  // [begin, end)
  auto length = [&](size_t k) { return runs[k].second - runs[k].first; };
  auto mergeWithNext = [&](size_t k) {
    merge(runs[k].first, runs[k].second, runs[k + 1].second);
    runs[k].second = runs[k + 1].second;
    runs.erase(runs.begin() + static_cast<long>(k) + 1);
  };
  size_t i = 0;
  while (i < n) {
    size_t j = i + 1;
    if (i != n - 1) {
      const bool descending = before(v[i + 1], v[i]);
      j = i + 2;
      while (j < n && before(v[j], v[j - 1]) == descending) ++j;
      if (descending) std::reverse(v.begin() + i, v.begin() + j);
    }
    if (j < n && j - i < r) {
      const size_t e = std::min(i + r, n);
      insert(i, j, e);
      j = e;
    }
    runs.push_back({i, j});
    for (;;) {
      const size_t c = runs.size();
      if (c < 2) break;
      const size_t Z = length(c - 1), Y = length(c - 2);
      const bool fourRule = c >= 4 && length(c - 4) <= length(c - 3) + Y;
      const bool threeRule = c >= 3 && length(c - 3) <= Y + Z;
      if (fourRule || threeRule) {
        mergeWithNext(length(c - 3) < Z ? c - 3 : c - 2);
      } else if (Y <= Z) {
        mergeWithNext(c - 2);
      } else {
        break;
      }
    }
    i = j;
  }
  while (runs.size() > 1) mergeWithNext(runs.size() - 2);
}

std::vector<int> ids(const std::vector<Item>& items) {
  std::vector<int> out;
  for (const Item& item : items) out.push_back(item.id);
  return out;
}

// Words on a few slanted lines: each next word a little lower than the one before, so that the
// tops of neighbours lie within 0.015 but a line's ends do not. Many exact ties on x and top.
std::vector<Item> slantedBoxes(size_t n, std::mt19937& random) {
  std::uniform_real_distribution<double> jitter(-0.004, 0.004);
  std::uniform_int_distribution<int> coarse(0, 9);
  std::vector<Item> items;
  const size_t perLine = 3 + random() % 12;
  for (size_t k = 0; k < n; ++k) {
    const double lineTop = 0.9 - 0.03 * static_cast<double>(k / perLine);
    const double slant = 0.011 * static_cast<double>(k % perLine);
    Item item{.id = static_cast<int>(k)};
    // Some boxes snap to a coarse grid so that equal tops and equal x occur.
    const bool snapped = coarse(random) < 3;
    item.box.x =
        snapped ? 0.1 * coarse(random) : 0.07 * static_cast<double>(k % perLine) + jitter(random);
    item.box.height = 0.02;
    item.box.y = (snapped ? lineTop : lineTop - slant + jitter(random)) - item.box.height;
    item.box.width = 0.05;
    items.push_back(item);
  }
  std::shuffle(items.begin(), items.end(), random);
  // Keep long stretches in recognition order too, so that natural runs occur.
  if (random() % 2 == 0)
    std::sort(items.begin(), items.begin() + static_cast<long>(n / 2),
              [](const Item& a, const Item& b) { return a.id < b.id; });
  return items;
}

TEST(ReadingOrder, ComparatorCases) {
  const BoundingBox world{.x = 0.40, .y = 0.50, .width = 0.1, .height = 0.05};
  const BoundingBox hello{.x = 0.10, .y = 0.505, .width = 0.1, .height = 0.05};
  EXPECT_TRUE(comesBeforeInReadingOrder(hello, world));
  EXPECT_FALSE(comesBeforeInReadingOrder(world, hello));
  const BoundingBox high{.x = 0.9, .y = 0.55, .width = 0.1, .height = 0.05};  // top 0.60
  const BoundingBox low{.x = 0.0, .y = 0.53, .width = 0.1, .height = 0.05};   // top 0.58
  EXPECT_TRUE(comesBeforeInReadingOrder(high, low));
  EXPECT_FALSE(comesBeforeInReadingOrder(low, high));
  // Same top, same x: neither comes first; the width plays no part.
  const BoundingBox wide{.x = 0.2, .y = 0.5, .width = 0.7, .height = 0.05};
  const BoundingBox narrow{.x = 0.2, .y = 0.5, .width = 0.1, .height = 0.05};
  EXPECT_FALSE(comesBeforeInReadingOrder(wide, narrow));
  EXPECT_FALSE(comesBeforeInReadingOrder(narrow, wide));
}

TEST(ReadingOrder, MinimumRunLength) {
  const std::vector<std::pair<size_t, size_t>> cases = {
      {0, 0},    {1, 1},    {63, 63},  {64, 32},   {65, 33},   {96, 48},
      {127, 64}, {128, 32}, {129, 33}, {1000, 63}, {1024, 32}, {4095, 64}};
  for (const auto& [n, r] : cases) EXPECT_EQ(minimumRunLength(n), r) << n;
}

TEST(ReadingOrder, MatchesTheReferenceOnSlantedLinesComparisonForComparison) {
  std::mt19937 random(20261208);
  const std::vector<size_t> sizes = {0,  1,  2,   3,   17,  40,  63,  64,  65,
                                     66, 97, 128, 129, 200, 257, 600, 1500};
  for (size_t n : sizes) {
    for (int round = 0; round < 12; ++round) {
      std::vector<Item> ours = slantedBoxes(n, random);
      std::vector<Item> theirs = ours;
      std::vector<std::pair<int, int>> ourCalls, theirCalls;
      runMergeSort(ours, [&](const Item& a, const Item& b) {
        ourCalls.push_back({a.id, b.id});
        return comesBeforeInReadingOrder(a.box, b.box);
      });
      referenceSort(theirs, [&](const Item& a, const Item& b) {
        theirCalls.push_back({a.id, b.id});
        return comesBeforeInReadingOrder(a.box, b.box);
      });
      ASSERT_EQ(ids(ours), ids(theirs)) << "n=" << n << " round " << round;
      ASSERT_EQ(ourCalls, theirCalls) << "n=" << n << " round " << round;
    }
  }
}

TEST(ReadingOrder, FinishesAndAgreesForArbitraryAnswers) {
  // A comparator that answers at random (but the same for the same pair) is neither transitive
  // nor antisymmetric; the sort must still finish, keep every element and follow the procedure.
  std::mt19937 random(7);
  for (size_t n : {5u, 63u, 64u, 150u, 700u}) {
    std::vector<Item> ours;
    for (size_t k = 0; k < n; ++k) ours.push_back({.id = static_cast<int>(k)});
    std::shuffle(ours.begin(), ours.end(), random);
    std::vector<Item> theirs = ours;
    const uint32_t salt = random();
    auto answer = [salt](const Item& a, const Item& b) {
      uint32_t h =
          static_cast<uint32_t>(a.id) * 2654435761u ^ static_cast<uint32_t>(b.id) * 40503u ^ salt;
      h ^= h >> 15;
      h *= 2246822519u;
      return ((h >> 13) & 1) != 0;
    };
    runMergeSort(ours, answer);
    referenceSort(theirs, answer);
    EXPECT_EQ(ids(ours), ids(theirs)) << n;
    std::vector<int> sorted = ids(ours);
    std::sort(sorted.begin(), sorted.end());
    for (size_t k = 0; k < n; ++k) ASSERT_EQ(sorted[k], static_cast<int>(k));
  }
}

TEST(ReadingOrder, IsAStableSortForAConsistentOrder) {
  // Lines far apart and x on a coarse grid: the comparator is a strict weak order here, so the
  // result must be the stable sorted order.
  std::mt19937 random(3);
  for (size_t n : {10u, 64u, 300u, 2000u}) {
    std::vector<Item> items;
    for (size_t k = 0; k < n; ++k) {
      const double top = 0.05 * static_cast<double>(random() % 18);
      items.push_back({.id = static_cast<int>(k),
                       .box = {.x = 0.1 * static_cast<double>(random() % 6),
                               .y = top - 0.02,
                               .width = 0.05,
                               .height = 0.02}});
    }
    std::vector<Item> expected = items;
    auto before = [](const Item& a, const Item& b) {
      return comesBeforeInReadingOrder(a.box, b.box);
    };
    std::stable_sort(expected.begin(), expected.end(), before);
    runMergeSort(items, before);
    EXPECT_EQ(ids(items), ids(expected)) << n;
  }
}

}  // namespace
}  // namespace marrowfen::scan
