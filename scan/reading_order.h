// Reading order of recognised boxes, and the stable run-and-merge sort that applies it.
//
// The comparator is not transitive (tops within 0.015 of each other chain along a slanted line),
// so the order produced depends on exactly which pairs are compared. runMergeSort fixes that
// sequence of comparisons, and finishes for any comparator, consistent or not.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "scan/records.h"

namespace marrowfen::scan {

// True when box a comes before box b: the higher top edge first when the tops differ by more
// than 0.015, otherwise the smaller x first.
inline bool comesBeforeInReadingOrder(const BoundingBox& a, const BoundingBox& b) {
  const double topA = a.y + a.height;
  const double topB = b.y + b.height;
  const double diff = topA - topB;
  if (diff > 0.015 || diff < -0.015) return topA > topB;
  return a.x < b.x;
}

// The minimum run length for n elements: n below 64, otherwise the six leading bits of n plus
// one when any lower bit is set.
inline size_t minimumRunLength(size_t n) {
  if (n < 64) return n;
  size_t r = 0;
  while (n >= 64) {
    r |= n & 1;
    n >>= 1;
  }
  return n + r;
}

namespace detail {

// Straight insertion of the elements [sortedEnd, end) into the ordered stretch [begin, sortedEnd).
template <class T, class Before>
void insertionSort(std::vector<T>& v, size_t begin, size_t sortedEnd, size_t end, Before& before) {
  for (size_t i = std::max(sortedEnd, begin + 1); i < end; ++i) {
    T moving = std::move(v[i]);
    size_t j = i;
    while (j > begin && before(moving, v[j - 1])) {
      v[j] = std::move(v[j - 1]);
      --j;
    }
    v[j] = std::move(moving);
  }
}

// Merges the adjacent ordered stretches [low, mid) and [mid, high) through `scratch`. The shorter
// side goes to scratch; ties keep the lower stretch's element first.
template <class T, class Before>
void mergeRuns(std::vector<T>& v, size_t low, size_t mid, size_t high, std::vector<T>& scratch,
               Before& before) {
  const size_t lowCount = mid - low;
  const size_t highCount = high - mid;
  if (lowCount < highCount) {
    std::move(v.begin() + low, v.begin() + mid, scratch.begin());
    size_t buffer = 0;
    const size_t bufferEnd = lowCount;
    size_t source = mid;
    size_t dest = low;
    while (buffer < bufferEnd && source < high) {
      if (before(v[source], scratch[buffer])) {
        v[dest++] = std::move(v[source++]);
      } else {
        v[dest++] = std::move(scratch[buffer++]);
      }
    }
    std::move(scratch.begin() + buffer, scratch.begin() + bufferEnd, v.begin() + dest);
  } else {
    std::move(v.begin() + mid, v.begin() + high, scratch.begin());
    const size_t bufferBegin = 0;
    size_t bufferEnd = highCount;
    size_t source = mid;  // one past A's last remaining element
    size_t dest = high;   // one past the next position to fill
    while (source > low && bufferEnd > bufferBegin) {
      --dest;
      if (before(scratch[bufferEnd - 1], v[source - 1])) {
        v[dest] = std::move(v[source - 1]);
        --source;
      } else {
        v[dest] = std::move(scratch[bufferEnd - 1]);
        --bufferEnd;
      }
    }
    // What is left of scratch fills the gap [source, source + rest) in order.
    std::move(scratch.begin() + bufferBegin, scratch.begin() + bufferEnd, v.begin() + source);
  }
}

}  // namespace detail

// Sorts `v` in place with `before(a, b)` ("a comes first"): straight insertion below 64
// elements, otherwise natural runs lengthened to the minimum run length and merged from a stack
// of runs. Equal elements keep their order. Any comparator is accepted; only elements of `v` are
// compared.
template <class T, class Before>
void runMergeSort(std::vector<T>& v, Before before) {
  const size_t n = v.size();
  if (n < 2) return;
  const size_t minRun = minimumRunLength(n);
  if (n <= minRun) {
    detail::insertionSort(v, 0, 1, n, before);
    return;
  }
  struct Run {
    size_t begin;
    size_t end;
    size_t length() const { return end - begin; }
  };
  std::vector<Run> runs;
  std::vector<T> scratch(n / 2);
  auto mergeAt = [&](size_t k) {  // merges runs[k] with runs[k + 1]
    detail::mergeRuns(v, runs[k].begin, runs[k].end, runs[k + 1].end, scratch, before);
    runs[k].end = runs[k + 1].end;
    runs.erase(runs.begin() + static_cast<std::ptrdiff_t>(k) + 1);
  };

  size_t i = 0;
  while (i < n) {
    size_t end = i + 1;
    if (end < n) {
      const bool descending = before(v[i + 1], v[i]);
      end = i + 2;
      while (end < n && before(v[end], v[end - 1]) == descending) ++end;
      if (descending) std::reverse(v.begin() + i, v.begin() + end);
    }
    if (end < n && end - i < minRun) {
      const size_t newEnd = std::min(i + minRun, n);
      detail::insertionSort(v, i, end, newEnd, before);
      end = newEnd;
    }
    runs.push_back({i, end});
    while (runs.size() > 1) {
      const size_t count = runs.size();
      const size_t z = runs[count - 1].length();
      const size_t y = runs[count - 2].length();
      if ((count > 3 && runs[count - 4].length() <= runs[count - 3].length() + y) ||
          (count > 2 && runs[count - 3].length() <= y + z)) {
        if (runs[count - 3].length() < z) {
          mergeAt(count - 3);
        } else {
          mergeAt(count - 2);
        }
      } else if (y <= z) {
        mergeAt(count - 2);
      } else {
        break;
      }
    }
    i = end;
  }
  while (runs.size() > 1) mergeAt(runs.size() - 2);
}

}  // namespace marrowfen::scan
