// The regular expressions of the music search: byte-wise Perl matching, line breaks, resuming
// after each match, and what happens when the engine gives up.
#include "search/regex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorel::search {
namespace {

// Group `group` of every match of `pattern` over `text`.
std::vector<std::string> All(const std::string& pattern, const std::string& text, int group = 0,
                             bool case_sensitive = true) {
  Regex re;
  EXPECT_TRUE(RegexCompile(re, pattern, case_sensitive)) << pattern;
  std::vector<std::string> out;
  Array<SearchResult> found = RegexSearchAll(re, text);
  for (int i = 1; i <= ElementCount(found); ++i) out.push_back(SubMatchText(found[i], text, group));
  return out;
}

using Rows = std::vector<std::string>;

TEST(RegexTest, MatchingRules) {
  struct Case {
    const char* what;
    std::string pattern, text;
    int group;
    Rows expected;
  };
  const std::vector<Case> cases = {
      {"dot crosses line breaks", "a.b", "a\nb a\rb", 0, {"a\nb", "a\rb"}},
      {"lazy capture spans lines", ";x(.*?);", ";x1\n2;", 1, {"1\n2"}},
      {"anchors at line breaks", "^\\w+$", "one\ntwo\nthree", 0, {"one", "two", "three"}},
      {"matches never overlap", "aa", "aaaaa", 0, {"aa", "aa"}},
      {"a shared delimiter goes to the first", ";(\\w+);", ";a;b;c;", 1, {"a", "c"}},
      {"bytes, not characters", "^..$", "\xB2\xA5", 0, {"\xB2\xA5"}},
      {"case-sensitive by default", "http", "HTTP http", 0, {"http"}},
      {"empty matches move on", "x*", "ab", 0, {"", "", ""}},
      {"empty match after a match", "a*", "aab", 0, {"aa", "", ""}},
  };
  for (const Case& c : cases) EXPECT_EQ(All(c.pattern, c.text, c.group), c.expected) << c.what;
  EXPECT_EQ(All("http", "HTTP http", 0, false), (Rows{"HTTP", "http"}));
}

TEST(RegexTest, GroupsOutsideTheMatchAreEmpty) {
  Regex re;
  ASSERT_TRUE(RegexCompile(re, "(a)|(b)"));
  const std::string text = "b";
  Array<SearchResult> found = RegexSearchAll(re, text);
  ASSERT_EQ(ElementCount(found), 1);
  EXPECT_EQ(SubMatchText(found[1], text, 0), "b");
  EXPECT_EQ(SubMatchText(found[1], text, 1), "");  // did not take part
  EXPECT_EQ(SubMatchText(found[1], text, 2), "b");
  EXPECT_EQ(SubMatchText(found[1], text, 3), "");
  EXPECT_EQ(SubMatchText(found[1], text, -1), "");
  // A result held against a shorter text than the one searched yields nothing, not a crash.
  EXPECT_EQ(SubMatchText(found[1], "", 0), "");
}

TEST(RegexTest, InvalidPatternOrEmptyTextMatchNothing) {
  Regex re;
  EXPECT_TRUE(RegexSearchAll(re, "abc").elements().empty());  // never compiled
  ASSERT_TRUE(RegexCompile(re, "b"));
  EXPECT_FALSE(RegexCompile(re, "(unclosed"));
  EXPECT_TRUE(RegexSearchAll(re, "abc").elements().empty());  // the old pattern is gone too
  ASSERT_TRUE(RegexCompile(re, "b"));
  EXPECT_TRUE(RegexSearchAll(re, "").elements().empty());
}

TEST(RegexTest, EngineGivingUpKeepsEarlierMatches) {
  // Nested repeats over a long run that never completes make the engine give up.
  Regex re;
  ASSERT_TRUE(RegexCompile(re, "ok|(a*)*b"));
  const std::string text = "ok ok " + std::string(30000, 'a');
  bool gave_up = false;
  Array<SearchResult> found = RegexSearchAll(re, text, &gave_up);
  EXPECT_TRUE(gave_up);
  EXPECT_EQ(ElementCount(found), 2);
}

TEST(RegexTest, HundredThousandMatches) {
  std::string page;
  for (int i = 0; i < 100000; ++i) page += ";http://h/" + std::to_string(i) + ";x";
  Rows rows = All(";http://(.*?);", page, 1);
  ASSERT_EQ(rows.size(), 100000u);
  EXPECT_EQ(rows.front(), "h/0");
  EXPECT_EQ(rows.back(), "h/99999");
}

}  // namespace
}  // namespace vorel::search
