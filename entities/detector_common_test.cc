#include "entities/detector_common.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "common/unicode.h"

namespace marrowfen::entities::detector {
namespace {

std::string utf8(const icu::UnicodeString& s) {
  std::string out;
  s.toUTF8String(out);
  return out;
}

TEST(AlternationOf, QuotesEachWordAndSharesTheirBeginnings) {
  struct Case {
    std::vector<std::u16string_view> words;
    std::string pattern;
  };
  const std::vector<Case> cases = {
      {{}, ""},
      {{u"street"}, "street"},
      {{u"st", u"street", u"rd"}, "(?:rd|st(?:reet)?)"},
      {{u"ab", u"cd", u"abc", u"ef"}, "(?:ab(?:c)?|cd|ef)"},
      {{u"c/", u"str."}, "(?:c\\x{2F}|str\\x{2E})"},
      {{u"a|b", u"(x)", u"\\1"}, "(?:\\x{28}x\\x{29}|\\x{5C}1|a\\x{7C}b)"},
      {{u"allée", u"allé", u"alle"}, "all(?:e|é(?:e)?)"},
      {{u"a b"}, "a\\x{20}b"},
      // A code point beyond 16 bits is one branch, never split between its two units.
      {{u"\U0001F600a", u"\U0001F600b"}, "\\x{1F600}(?:a|b)"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(utf8(alternationOf(c.words)), c.pattern) << c.pattern;
  }
}

TEST(AlternationOf, MatchesItsWordsAndNothingElse) {
  const std::u16string_view words[] = {u"c/", u"str.", u"a|b", u"(x)", u"st", u"street", u"$1"};
  const auto whole =
      compile(icu::UnicodeString(u"^(?:") + alternationOf(words) + u")$", UREGEX_CASE_INSENSITIVE);
  ASSERT_TRUE(whole);
  const auto matches = [&](std::u16string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString u = aliasOf(text);
    std::unique_ptr<icu::RegexMatcher> m(whole->matcher(u, status));
    return m->matches(status);
  };
  for (std::u16string_view w : words) EXPECT_TRUE(matches(w)) << toUtf8(w);
  for (std::u16string_view other :
       {u"c", u"c-", u"str", u"strx", u"a", u"b", u"x", u"", u"$", u"stree", u"streets"}) {
    EXPECT_FALSE(matches(other)) << toUtf8(other);
  }
  EXPECT_TRUE(matches(u"STREET"));
}

TEST(AlternationOf, TriesTheLongerOfTwoWordsThatBeginAlikeFirst) {
  const std::u16string_view words[] = {u"mar", u"march", u"marc", u"ma"};
  const auto pattern =
      compile(icu::UnicodeString(u"(?:") + alternationOf(words) + u")", UREGEX_CASE_INSENSITIVE);
  for (const auto& [text, taken] : std::vector<std::pair<std::u16string, int>>{
           {u"March 5", 5}, {u"marc.", 4}, {u"mart", 3}, {u"MAY", 2}, {u"mx", -1}}) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString u = aliasOf(text);
    std::unique_ptr<icu::RegexMatcher> m(pattern->matcher(u, status));
    const int end = m->lookingAt(status) ? m->end(status) : -1;
    EXPECT_EQ(end, taken) << toUtf8(text);
  }
}

TEST(Compile, RefusesABadPatternLoudly) {
  for (const char16_t* bad : {u"(unclosed", u"[a-", u"a{2,1}", u"(?<!a+)b", u"\\x{110000}", u"*"}) {
    EXPECT_THROW(compile(bad), std::logic_error) << toUtf8(bad);
  }
  try {
    compile(u"ab(c");
    ADD_FAILURE() << "no exception";
  } catch (const std::logic_error& e) {
    EXPECT_NE(std::string(e.what()).find("ab(c"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("U_REGEX_"), std::string::npos) << e.what();
  }
  for (const char16_t* good : {u"a|b", u"(?<![\\p{L}])\\d{1,2}", u"\\x{2F}"}) {
    EXPECT_TRUE(compile(good, UREGEX_CASE_INSENSITIVE)) << toUtf8(good);
  }
}

// All matches as (start, end) pairs, found by find() at every position or only where `mayStart`.
std::vector<std::pair<size_t, size_t>> allMatches(const icu::RegexPattern& pattern,
                                                  std::u16string_view line) {
  std::vector<std::pair<size_t, size_t>> out;
  UErrorCode status = U_ZERO_ERROR;
  const icu::UnicodeString text = aliasOf(line);
  std::unique_ptr<icu::RegexMatcher> m(pattern.matcher(text, status));
  while (m->find(status) && U_SUCCESS(status)) {
    out.emplace_back(static_cast<size_t>(m->start(status)), static_cast<size_t>(m->end(status)));
  }
  return out;
}

template <typename MayStart>
std::vector<std::pair<size_t, size_t>> matchesWhere(const icu::RegexPattern& pattern,
                                                    std::u16string_view line,
                                                    const MayStart& mayStart) {
  std::vector<std::pair<size_t, size_t>> out;
  forEachMatchWhere(&pattern, line, mayStart,
                    [&](size_t s, size_t e, icu::RegexMatcher&) { out.emplace_back(s, e); });
  return out;
}

TEST(ForEachMatchWhere, FindsWhatFindFindsWhereMatchesCanStart) {
  const std::vector<std::u16string> months = {u"march", u"mar", u"mai", u"märz", u"juni"};
  std::vector<std::u16string_view> views(months.begin(), months.end());
  const WordStarts starts(months);
  const auto wordStart = [&](std::u16string_view l, size_t at) {
    return mayStartWord(l, at) && starts.mayStartAt(l, at);
  };
  const auto digit = [](std::u16string_view l, size_t at) {
    return mayBeDigit(l[at]) && mayStartWord(l, at);
  };
  const auto monthFirst =
      compile(icu::UnicodeString(u"(?<![\\p{L}\\p{N}])") + firstUnitLookahead(views) + u"(?:" +
                  alternationOf(views) + u")\\.?(?![\\p{L}])",
              UREGEX_CASE_INSENSITIVE);
  const auto dayFirst =
      compile(icu::UnicodeString(u"(?<![\\p{L}\\p{N}])\\d{1,2}[ .]+") + firstUnitLookahead(views) +
                  u"(?:" + alternationOf(views) + u")",
              UREGEX_CASE_INSENSITIVE);
  const std::u16string texts[] = {
      u"3 March 2020, MAR. 4, mai 5, Märzen, März 6",
      u"xMarch 1 March 12.Juni 1Mai a3 juni",
      u"\u017Fep MÄRZ 7 \u0661\u0662 juni",  // long s, capitals, Arabic-Indic digits
      u"",
      u"ma",
      u"12 ju",
  };
  for (const std::u16string& t : texts) {
    EXPECT_EQ(matchesWhere(*monthFirst, t, wordStart), allMatches(*monthFirst, t)) << toUtf8(t);
    EXPECT_EQ(matchesWhere(*dayFirst, t, digit), allMatches(*dayFirst, t)) << toUtf8(t);
  }
  EXPECT_EQ(allMatches(*monthFirst, texts[0]).size(), 4u);  // the test sees real matches
}

TEST(WordStarts, HoldsWhereAWordMayBeginAndForAnythingNotAscii) {
  const WordStarts starts({u"march", u"de", u"märz"});
  struct Case {
    std::u16string_view text;
    bool may;
  };
  const Case cases[] = {{u"March", true}, {u"MAR", true},  {u"mat", false}, {u"De", true},
                        {u"d", false},    {u"MÄRZ", true}, {u"ma", false},  {u"\u017Fx", true},
                        {u"x", false},    {u"", false}};
  for (const Case& c : cases) EXPECT_EQ(starts.mayStartAt(c.text, 0), c.may) << toUtf8(c.text);
}

TEST(FirstUnitLookahead, ListsTheAsciiFirstLettersOfTheFoldedWords) {
  const std::u16string_view words[] = {u"Street", u"rue", u"straße", u"Äpfel", u"c/"};
  EXPECT_EQ(utf8(firstUnitLookahead(words)), "(?=[crs]|(?-i:[^\\x{0}-\\x{7F}]))");
}

TEST(SplitLines, BreaksAtEveryLineBreakAndOnceAtCrLf) {
  struct Case {
    std::u16string text;
    std::vector<std::pair<size_t, size_t>> lines;
  };
  const std::vector<Case> cases = {
      {u"", {{0, 0}}},
      {u"abc", {{0, 3}}},
      {u"a\nb", {{0, 1}, {2, 3}}},
      {u"a\r\nb", {{0, 1}, {3, 4}}},
      {u"a\r\rb", {{0, 1}, {2, 2}, {3, 4}}},
      {u"a\u2028b\u0085c\n", {{0, 1}, {2, 3}, {4, 5}, {6, 6}}},
  };
  for (const Case& c : cases) {
    std::vector<std::pair<size_t, size_t>> got;
    for (const Line& line : splitLines(c.text)) got.emplace_back(line.begin, line.end);
    EXPECT_EQ(got, c.lines) << toUtf8(c.text);
  }
}

TEST(WithoutOverlaps, KeepsTheFirstStartingAndTheLongerOnATie) {
  const auto pairs = [](const Matches& ms) {
    std::vector<std::pair<size_t, size_t>> out;
    for (const DetectorMatch& m : ms) out.emplace_back(m.location, m.length);
    return out;
  };
  const Matches in = {{10, 5, 0}, {0, 4, 0}, {3, 2, 0}, {10, 8, 0}, {17, 3, 0}, {18, 2, 0}};
  EXPECT_EQ(pairs(withoutOverlaps(in)),
            (std::vector<std::pair<size_t, size_t>>{{0, 4}, {10, 8}, {18, 2}}));
}

}  // namespace
}  // namespace marrowfen::entities::detector
