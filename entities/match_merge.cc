#include "entities/match_merge.h"

#include <algorithm>

namespace marrowfen::entities {

namespace {

// For each of `queries`, whether it overlaps any of `blockers`. One pass over both lists: the
// queries in order of their ends, the blockers in order of their starts, so that the blockers
// starting before a query's end are a growing prefix whose furthest end decides.
std::vector<bool> overlapsAny(const Matches& queries, Matches blockers) {
  std::vector<bool> hit(queries.size(), false);
  if (queries.empty() || blockers.empty()) return hit;
  std::vector<size_t> byEnd(queries.size());
  for (size_t i = 0; i < byEnd.size(); ++i) byEnd[i] = i;
  std::sort(byEnd.begin(), byEnd.end(), [&](size_t a, size_t b) {
    return queries[a].location + queries[a].length < queries[b].location + queries[b].length;
  });
  std::sort(blockers.begin(), blockers.end(),
            [](const DetectorMatch& a, const DetectorMatch& b) { return a.location < b.location; });
  size_t next = 0;
  size_t furthestEnd = 0;
  bool any = false;
  for (const size_t i : byEnd) {
    const DetectorMatch& q = queries[i];
    const size_t end = q.location + q.length;
    for (; next < blockers.size() && blockers[next].location < end; ++next) {
      furthestEnd = std::max(furthestEnd, blockers[next].location + blockers[next].length);
      any = true;
    }
    hit[i] = any && q.location < furthestEnd;
  }
  return hit;
}

}  // namespace

Matches mergeMatches(Matches addresses, Matches dates, Matches phones) {
  const std::vector<bool> dateInAddress = overlapsAny(dates, addresses);
  // A phone number gives way to any date, even one that an address has displaced.
  Matches addressesAndDates = addresses;
  addressesAndDates.insert(addressesAndDates.end(), dates.begin(), dates.end());
  const std::vector<bool> phoneHidden = overlapsAny(phones, std::move(addressesAndDates));

  Matches all = std::move(addresses);
  all.reserve(all.size() + dates.size() + phones.size());
  for (size_t i = 0; i < dates.size(); ++i) {
    if (!dateInAddress[i]) all.push_back(dates[i]);
  }
  for (size_t i = 0; i < phones.size(); ++i) {
    if (!phoneHidden[i]) all.push_back(phones[i]);
  }
  std::stable_sort(all.begin(), all.end(), [](const DetectorMatch& a, const DetectorMatch& b) {
    return a.location < b.location;
  });
  return all;
}

}  // namespace marrowfen::entities
