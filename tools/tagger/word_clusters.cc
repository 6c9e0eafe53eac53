#include "tools/tagger/word_clusters.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace marrowfen::tagger {
namespace {

// x log x, from a table for the small counts that make up most of the work.
class XLogX {
 public:
  XLogX() : table_(kTable) {
    for (size_t i = 1; i < kTable; ++i)
      table_[i] = static_cast<double>(i) * std::log(static_cast<double>(i));
  }
  double operator()(int64_t x) const {
    if (x <= 0) return 0;
    if (x < static_cast<int64_t>(kTable)) return table_[static_cast<size_t>(x)];
    const double d = static_cast<double>(x);
    return d * std::log(d);
  }

 private:
  static constexpr size_t kTable = size_t{1} << 20;
  std::vector<double> table_;
};

struct Neighbour {
  uint32_t word;
  int64_t count;
};

}  // namespace

void ClusterCounter::add(const std::vector<std::string>& lowerTokens) {
  auto idOf = [&](const std::string& w) {
    auto [it, added] = ids_.try_emplace(w, static_cast<uint32_t>(words_.size()));
    if (added) {
      words_.push_back(w);
      count_.push_back(0);
    }
    return it->second;
  };
  // The ends of a sentence are a word of their own, "<s>", so that first and last words have
  // neighbours too.
  uint32_t previous = idOf("<s>");
  ++count_[previous];
  for (const auto& t : lowerTokens) {
    const uint32_t id = idOf(t);
    ++count_[id];
    ++pairs_[static_cast<uint64_t>(previous) << 32 | id];
    previous = id;
  }
  ++pairs_[static_cast<uint64_t>(previous) << 32 | idOf("<s>")];
  tokens_ += lowerTokens.size();
}

std::unordered_map<std::string, uint16_t> ClusterCounter::cluster(int classCount, int minCount,
                                                                  int passes) const {
  std::unordered_map<std::string, uint16_t> out;
  if (classCount < 2 || words_.empty()) return out;
  const size_t classes = static_cast<size_t>(classCount);
  // Words seen often enough, most frequent first; all others share one pseudo-word, the last.
  std::vector<uint32_t> order(words_.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](uint32_t a, uint32_t b) { return count_[a] > count_[b]; });
  std::vector<uint32_t> vocab(words_.size());
  size_t kept = 0;
  for (uint32_t w : order) {
    if (count_[w] >= static_cast<uint64_t>(minCount)) vocab[w] = static_cast<uint32_t>(kept++);
  }
  const uint32_t rare = static_cast<uint32_t>(kept);
  for (uint32_t w : order) {
    if (count_[w] < static_cast<uint64_t>(minCount)) vocab[w] = rare;
  }
  const size_t n = kept + 1;
  std::vector<int64_t> count(n, 0);
  for (size_t w = 0; w < words_.size(); ++w) count[vocab[w]] += static_cast<int64_t>(count_[w]);
  // Neighbours of each word, both ways, merged; a word next to itself is counted apart.
  std::vector<std::vector<Neighbour>> left(n), right(n);
  std::vector<int64_t> self(n, 0);
  {
    std::unordered_map<uint64_t, int64_t> merged;
    merged.reserve(pairs_.size());
    for (const auto& [key, c] : pairs_) {
      const uint32_t a = vocab[key >> 32], b = vocab[key & 0xFFFFFFFFu];
      merged[static_cast<uint64_t>(a) << 32 | b] += c;
    }
    for (const auto& [key, c] : merged) {
      const uint32_t a = static_cast<uint32_t>(key >> 32),
                     b = static_cast<uint32_t>(key & 0xFFFFFFFFu);
      if (a == b) {
        self[a] += c;
      } else {
        right[a].push_back({b, c});
        left[b].push_back({a, c});
      }
    }
  }
  // The most frequent words start in classes of their own, the rest in turn.
  std::vector<uint32_t> cls(n);
  for (size_t w = 0; w < n; ++w) cls[w] = static_cast<uint32_t>(w % classes);
  std::vector<int64_t> classCountOf(classes, 0), bigram(classes * classes, 0);
  for (size_t w = 0; w < n; ++w) {
    classCountOf[cls[w]] += count[w];
    bigram[cls[w] * classes + cls[w]] += self[w];
    for (const auto& r : right[w]) bigram[cls[w] * classes + cls[r.word]] += r.count;
  }
  const XLogX f;
  std::vector<int64_t> l(classes, 0), r(classes, 0);
  std::vector<uint32_t> lClasses, rClasses;
  for (int pass = 0; pass < passes; ++pass) {
    size_t moved = 0;
    for (size_t w = 0; w < n; ++w) {
      // The word's neighbours by class.
      lClasses.clear();
      rClasses.clear();
      for (const auto& v : left[w]) {
        if (l[cls[v.word]] == 0) lClasses.push_back(cls[v.word]);
        l[cls[v.word]] += v.count;
      }
      for (const auto& u : right[w]) {
        if (r[cls[u.word]] == 0) rClasses.push_back(cls[u.word]);
        r[cls[u.word]] += u.count;
      }
      // Take it out of its class.
      const uint32_t from = cls[w];
      for (uint32_t c : lClasses) bigram[c * classes + from] -= l[c];
      for (uint32_t c : rClasses) bigram[from * classes + c] -= r[c];
      bigram[from * classes + from] -= self[w];
      classCountOf[from] -= count[w];
      // The gain in likelihood of each class it could join.
      uint32_t best = from;
      double bestGain = -std::numeric_limits<double>::infinity();
      for (uint32_t k = 0; k < classes; ++k) {
        double gain = 0;
        for (uint32_t c : lClasses) {
          if (c == k) continue;
          const int64_t b = bigram[c * classes + k];
          gain += f(b + l[c]) - f(b);
        }
        for (uint32_t c : rClasses) {
          if (c == k) continue;
          const int64_t b = bigram[k * classes + c];
          gain += f(b + r[c]) - f(b);
        }
        const int64_t kk = bigram[k * classes + k];
        gain += f(kk + l[k] + r[k] + self[w]) - f(kk);
        gain -= 2 * (f(classCountOf[k] + count[w]) - f(classCountOf[k]));
        if (gain > bestGain + 1e-9 || (k == from && gain >= bestGain - 1e-9)) {
          bestGain = gain;
          best = k;
        }
      }
      // Put it into the best one.
      for (uint32_t c : lClasses) bigram[c * classes + best] += l[c];
      for (uint32_t c : rClasses) bigram[best * classes + c] += r[c];
      // Its neighbours of its own old class now sit beside it in the new one; the counts above
      // went by their classes, which did not change, except for the word itself (self).
      bigram[best * classes + best] += self[w];
      classCountOf[best] += count[w];
      if (best != from) ++moved;
      cls[w] = best;
      for (uint32_t c : lClasses) l[c] = 0;
      for (uint32_t c : rClasses) r[c] = 0;
    }
    if (moved * 1000 < n) break;
  }
  for (size_t w = 0; w < words_.size(); ++w) {
    if (vocab[w] != rare && words_[w] != "<s>")
      out.emplace(words_[w], static_cast<uint16_t>(cls[vocab[w]]));
  }
  return out;
}

}  // namespace marrowfen::tagger
