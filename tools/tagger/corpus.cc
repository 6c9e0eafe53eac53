#include "tools/tagger/corpus.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>

#include "entities/model/perceptron_model.h"
#include "entities/name_tagger.h"

namespace marrowfen::tagger {
namespace {

std::vector<std::string_view> splitTabs(std::string_view line) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    size_t tab = line.find('\t', start);
    parts.push_back(line.substr(start, tab == std::string_view::npos ? tab : tab - start));
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  return parts;
}

void repairBio(std::vector<int>& tags) {
  int prev = 0;
  for (int& t : tags) {
    if (t != 0 && t % 2 == 0 && prev != t && prev != t - 1) t = t - 1;
    prev = t;
  }
}

}  // namespace

std::optional<CorpusFormat> parseCorpusFormat(std::string_view name) {
  if (name == "wikiann") return CorpusFormat::kWikiAnn;
  if (name == "germeval") return CorpusFormat::kGermEval;
  if (name == "conll" || name == "btc") return CorpusFormat::kTokenTag;
  return std::nullopt;
}

CorpusFormat guessCorpusFormat(std::string_view path) {
  if (path.ends_with(".iob")) return CorpusFormat::kWikiAnn;
  if (path.ends_with(".tsv")) return CorpusFormat::kGermEval;
  return CorpusFormat::kTokenTag;
}

int parseTag(std::string_view tag, int previous) {
  if (tag.size() != 5 || tag[1] != '-') return 0;  // "O", other types, "...deriv", "...part"
  int type = 0;
  const std::string_view name = tag.substr(2);
  if (name == "PER") {
    type = 1;
  } else if (name == "ORG") {
    type = 2;
  } else if (name == "LOC") {
    type = 3;
  } else {
    return 0;
  }
  const int b = 2 * type - 1, i = 2 * type;
  if (tag[0] == 'B') return b;
  if (tag[0] != 'I') return 0;
  return (previous == b || previous == i) ? i : b;
}

bool isOtherNameTag(std::string_view tag, std::string_view token) {
  if (tag.size() < 3 || (tag[0] != 'B' && tag[0] != 'I') || tag[1] != '-') return false;
  const std::string_view name = tag.substr(2);
  if (name == "OTH" || name == "MISC") return true;
  if (!name.ends_with("deriv") || token.empty()) return false;
  UChar32 c = 0;
  int32_t k = 0;
  U8_NEXT(token.data(), k, static_cast<int32_t>(token.size()), c);
  return u_isupper(c);
}

std::string_view tagName(int tag) {
  static constexpr std::string_view kNames[] = {"O",     "B-PER", "I-PER", "B-ORG",
                                                "I-ORG", "B-LOC", "I-LOC"};
  return (tag >= 0 && tag < 7) ? kNames[tag] : "O";
}

std::vector<Sentence> readCorpus(std::istream& in, CorpusFormat format, bool otherNames) {
  std::vector<Sentence> out;
  Sentence current;
  auto flush = [&] {
    if (!current.tokens.empty()) out.push_back(std::move(current));
    current = Sentence{};
  };
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) {
      flush();
      continue;
    }
    if (format == CorpusFormat::kGermEval && line[0] == '#') continue;
    if (format == CorpusFormat::kGermEval) current.language = "de";
    const auto parts = splitTabs(line);
    std::string_view token, tag;
    if (format == CorpusFormat::kGermEval) {
      if (parts.size() < 3) continue;
      token = parts[1];
      tag = parts[2];
    } else {
      if (parts.size() < 2) continue;
      token = parts[0];
      tag = parts.back();
      if (format == CorpusFormat::kWikiAnn) {
        // "en:word"; the language prefix is two or three letters before the first colon.
        const size_t colon = token.find(':');
        if (colon != std::string_view::npos && colon <= 3) {
          if (current.tokens.empty()) current.language = std::string(token.substr(0, colon));
          token = token.substr(colon + 1);
        }
      }
    }
    if (token.empty()) continue;
    const int prev = current.tags.empty() ? 0 : current.tags.back();
    current.tokens.emplace_back(token);
    int t = parseTag(tag, prev);
    if (otherNames && t == 0 && isOtherNameTag(tag, token)) t = entities::kOtherNameTag;
    current.tags.push_back(t);
  }
  flush();
  return out;
}

std::optional<std::vector<Sentence>> readCorpusFile(const std::string& path, CorpusFormat format,
                                                    bool otherNames) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  return readCorpus(in, format, otherNames);
}

void writeCorpus(std::ostream& out, const std::vector<Sentence>& sentences) {
  for (const auto& s : sentences) {
    for (size_t i = 0; i < s.tokens.size(); ++i)
      out << s.tokens[i] << '\t' << tagName(s.tags[i]) << '\n';
    out << '\n';
  }
}

std::vector<std::string> wordSegments(std::string_view text) {
  std::vector<std::string> out;
  entities::forEachLine(text, [&](const std::vector<entities::LineToken>& tokens) {
    for (const auto& t : tokens)
      out.emplace_back(text.substr(t.range.begin, t.range.end - t.range.begin));
    return true;
  });
  return out;
}

SegmentedSentence segmentSentence(const Sentence& s) {
  SegmentedSentence out;
  out.sentence.language = s.language;
  for (size_t i = 0; i < s.tokens.size(); ++i) {
    std::vector<std::string> parts = wordSegments(s.tokens[i]);
    if (parts.empty()) continue;  // a token of white space only
    for (size_t k = 0; k < parts.size(); ++k) {
      int tag = s.tags[i];
      const bool begins = tag % 2 == 1 && tag != entities::kOtherNameTag;
      if (k > 0 && begins) tag += 1;  // later segments continue the name
      out.sentence.tokens.push_back(std::move(parts[k]));
      out.sentence.tags.push_back(tag);
      out.origin.push_back(i);
    }
  }
  return out;
}

std::vector<int> tagsOfOriginalTokens(const SegmentedSentence& s,
                                      const std::vector<int>& segmentTags, size_t originalCount) {
  std::vector<int> out(originalCount, 0);
  std::vector<bool> set(originalCount, false);
  for (size_t k = 0; k < s.origin.size() && k < segmentTags.size(); ++k) {
    const size_t o = s.origin[k];
    if (!set[o]) {
      out[o] = segmentTags[k];
      set[o] = true;
    }
  }
  repairBio(out);
  return out;
}

Sentence upperCased(const Sentence& s) {
  Sentence out = s;
  for (auto& t : out.tokens) {
    icu::UnicodeString u = icu::UnicodeString::fromUTF8(t);
    u.toUpper(icu::Locale::getRoot());
    t.clear();
    u.toUTF8String(t);
  }
  return out;
}

std::vector<Span> spansOf(const std::vector<int>& tags) {
  std::vector<Span> out;
  for (size_t i = 0; i < tags.size(); ++i) {
    const int t = tags[i];
    if (t == 0 || t == entities::kOtherNameTag) continue;  // other names are no names of a type
    const int type = (t + 1) / 2;
    const bool continues =
        t % 2 == 0 && !out.empty() && out.back().end == i && out.back().type == type;
    if (continues) {
      out.back().end = i + 1;
    } else {
      out.push_back({i, i + 1, type});
    }
  }
  return out;
}

void EntityCounts::add(const std::vector<int>& goldTags, const std::vector<int>& predictedTags) {
  const auto g = spansOf(goldTags);
  const auto p = spansOf(predictedTags);
  for (const auto& s : g) ++gold[s.type];
  for (const auto& s : p) ++predicted[s.type];
  size_t gi = 0;
  for (const auto& s : p) {
    while (gi < g.size() && g[gi].begin < s.begin) ++gi;
    if (gi < g.size() && g[gi] == s) ++correct[s.type];
  }
}

Prf scoreOf(const EntityCounts& c, int type) {
  long gold = 0, pred = 0, ok = 0;
  for (int t = 1; t <= 3; ++t) {
    if (type != 0 && t != type) continue;
    gold += c.gold[t];
    pred += c.predicted[t];
    ok += c.correct[t];
  }
  Prf r;
  r.precision = pred ? static_cast<double>(ok) / pred : 0;
  r.recall = gold ? static_cast<double>(ok) / gold : 0;
  r.f1 = (r.precision + r.recall) > 0 ? 2 * r.precision * r.recall / (r.precision + r.recall) : 0;
  return r;
}

void printScores(std::ostream& out, const EntityCounts& c) {
  static constexpr const char* kNames[] = {"overall", "PER", "ORG", "LOC"};
  char line[160];
  std::snprintf(line, sizeof line, "%-8s %9s %9s %9s %7s %7s %7s\n", "type", "precision", "recall",
                "F1", "gold", "found", "correct");
  out << line;
  for (int t : {1, 2, 3, 0}) {
    const Prf p = scoreOf(c, t);
    long gold = 0, pred = 0, ok = 0;
    for (int u = 1; u <= 3; ++u) {
      if (t != 0 && u != t) continue;
      gold += c.gold[u];
      pred += c.predicted[u];
      ok += c.correct[u];
    }
    std::snprintf(line, sizeof line, "%-8s %9.4f %9.4f %9.4f %7ld %7ld %7ld\n", kNames[t],
                  p.precision, p.recall, p.f1, gold, pred, ok);
    out << line;
  }
}

}  // namespace marrowfen::tagger
