#include "tools/tagger/other_names.h"

#include <algorithm>
#include <iterator>

#include "entities/model/perceptron_model.h"
#include "entities/model/tagger_features.h"
#include "entities/name_tagger_words.h"

namespace marrowfen::tagger {
namespace {

// Events are told by the program's own word lists (tagger_words::eventWords and the like), so
// that what the model is taught and what the program drops afterwards agree.
// Small words inside an event's name: "War of Independence", "Tour de France".
constexpr std::string_view kJoining[] = {"of", "the", "and", "de", "'s"};

template <size_t N>
bool listed(const std::string_view (&list)[N], std::string_view w) {
  return std::find(std::begin(list), std::end(list), w) != std::end(list);
}

bool capitalised(std::string_view w) { return !w.empty() && w[0] >= 'A' && w[0] <= 'Z'; }

bool isYear(std::string_view w) {
  return w.size() == 4 &&
         std::all_of(w.begin(), w.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Marks the event named by the O words [begin, end) of a run of capitalised words, if it is one.
size_t markEvent(Sentence& s, size_t begin, size_t end) {
  while (end > begin && listed(kJoining, s.tokens[end - 1])) --end;
  if (begin < end && s.tokens[begin] == "The") ++begin;  // "The Hundred Years War"
  if (begin >= end) return 0;
  namespace words = entities::tagger_words;
  const std::string last = entities::lowerCase(s.tokens[end - 1]);
  const bool alone = end - begin == 1;
  const bool event =
      alone ? words::eventsAlone().count(last) > 0
            : words::eventWords().count(last) > 0 || words::eventsAlone().count(last) > 0 ||
                  (end - begin > 2 && s.tokens[begin + 1] == "of" &&
                   words::eventHeads().count(entities::lowerCase(s.tokens[begin])) > 0);
  if (!event) return 0;
  size_t marked = 0;
  for (size_t i = begin; i < end; ++i) {
    marked += s.tags[i] == 0 ? 1 : 0;
    s.tags[i] = entities::kOtherNameTag;
  }
  return marked;
}

}  // namespace

bool isNationalityWord(std::string_view word) {
  // Capitalised and otherwise in small letters, as the lists write them with a capital.
  if (!capitalised(word)) return false;
  const std::string lower = entities::lowerCase(word);
  if (std::string_view(lower).substr(1) != word.substr(1)) return false;
  return entities::tagger_words::isNationalityWord(lower);
}

size_t markOtherNames(Sentence& s) {
  size_t marked = 0;
  const size_t n = s.tokens.size();
  for (size_t i = 0; i < n; ++i) {
    if (s.tags[i] == 0 && isNationalityWord(s.tokens[i])) {
      s.tags[i] = entities::kOtherNameTag;
      ++marked;
    }
  }
  // Runs of O words: capitalised words (a year may open them) and small words between them.
  for (size_t i = 0; i < n;) {
    const auto free = [&](size_t k) {
      return s.tags[k] == 0 || s.tags[k] == entities::kOtherNameTag;  // "Australian Open"
    };
    const bool opens = free(i) && (capitalised(s.tokens[i]) || isYear(s.tokens[i]));
    if (!opens) {
      ++i;
      continue;
    }
    size_t end = i + 1;
    while (end < n && free(end) && (capitalised(s.tokens[end]) || listed(kJoining, s.tokens[end])))
      ++end;
    marked += markEvent(s, i, end);
    i = end;
  }
  return marked;
}

}  // namespace marrowfen::tagger
