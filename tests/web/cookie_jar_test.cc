#include "web/cookie_jar.h"

#include <gtest/gtest.h>

#include "tests/testing/param_name.h"

namespace vorel::web {
namespace {

struct MergeCase {
  const char* name;
  Text jar, new_cookies, expected;
};

class MergeCookiesTest : public ::testing::TestWithParam<MergeCase> {};

TEST_P(MergeCookiesTest, Merges) {
  const MergeCase& c = GetParam();
  Text jar = c.jar, fresh = c.new_cookies;
  EXPECT_EQ(MergeCookies(jar, fresh), c.expected) << c.name;
  EXPECT_EQ(jar, c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, MergeCookiesTest,
    ::testing::Values(MergeCase{"empty jar", "", "a=1; b=2", "a=1; b=2"},
                      MergeCase{"new value replaces old", "a=1; c=3", "a=9", "a=9; c=3"},
                      MergeCase{"deleted leaves", "a=1; b=2", "b=deleted", "a=1"},
                      MergeCase{"spaces inside values vanish", "", "n=a b", "n=ab"},
                      MergeCase{"duplicate items", "a=1; a=1", "", "a=1"},
                      MergeCase{"first of two old items with one name wins", "a=1; a=2", "", "a=1"},
                      MergeCase{"both empty", "", "", ""},
                      MergeCase{"names are case-sensitive", "A=1", "a=2", "a=2; A=1"},
                      MergeCase{"bare items", "flag", "x=1", "x=1; flag"},
                      MergeCase{"separators without space", "a=1;b=2", "c=3", "c=3; a=1; b=2"}),
    testing_names::ByField<&MergeCase::name>());

TEST(MergeCookiesTest, RewritesTheNewCookiesVariableWithoutSpaces) {
  Text jar, fresh = "a=1; b=x y";
  MergeCookies(jar, fresh);
  EXPECT_EQ(fresh, "a=1;b=xy");
}

TEST(CookieJarTest, NamesAndLookups) {
  EXPECT_EQ(CookieName(" sid =abc=d"), "sid");
  EXPECT_EQ(CookieName("flag"), "flag");
  Array<Text> items({"a=1", "B=2"});
  EXPECT_TRUE(HasCookieNamed(items, "B"));
  EXPECT_FALSE(HasCookieNamed(items, "b"));
  EXPECT_EQ(FindItem(items, "B=2"), 2);
  EXPECT_EQ(FindItem(items, "b=2"), -1);
  EXPECT_EQ(RemoveDuplicateItems("x; y; x; ; ", "; "), "x; y; ");
  EXPECT_EQ(RemoveDuplicateItems("", "; "), "");
}

}  // namespace
}  // namespace vorel::web
