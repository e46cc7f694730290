#include "runtime/text_ops.h"

#include <gtest/gtest.h>

namespace vorel::runtime {
namespace {

using namespace literals;

// A double-byte character whose second byte is 'A' (0x41): 0x81 0x41.
const Text kTrailA = "\x81\x41";

std::vector<Text> Pieces(const Array<Text>& a) { return a.elements(); }

TEST(TextOpsTest, CuttingCountsBytesAndClampsToTheText) {
  EXPECT_EQ(LeftText("abcdef", 2), "ab");
  EXPECT_EQ(LeftText("abc", 10), "abc");
  EXPECT_EQ(LeftText("abc", -1), "");
  EXPECT_EQ(RightText("abcdef", 2), "ef");
  EXPECT_EQ(RightText("abc", 0), "");
  EXPECT_EQ(MidText("abcdef", 0, 2), "");  // start 0 is outside the text
  EXPECT_EQ(MidText("abcdef", 5, 10), "ef");
  EXPECT_EQ(MidText("abcdef", 7, 1), "");
  EXPECT_EQ(MidText("abcdef", 2, 0), "");
  EXPECT_EQ(TextLength("播放"_t), 4);
}

TEST(TextOpsTest, FindTextFollowsTheRuntimeRules) {
  struct Case {
    Text text, sought;
    int start;
    bool ignore_case;
    int want;
  } cases[] = {
      {"hello", "", 1, false, 1},  // empty sought on a non-empty text
      {"", "", 1, false, -1},      // and on an empty one
      {"", "a", 1, false, -1},
      {"abcabc", "bc", 1, false, 2},
      {"abcabc", "bc", 3, false, 5},
      {"abcabc", "bc", 6, false, -1},
      {"abcabc", "bc", -4, false, 2},  // a start below 1 counts from the beginning
      {"abcabc", "BC", 1, false, -1},
      {"abcabc", "BC", 1, true, 2},
      {kTrailA, "A", 1, false, -1},  // never matches on a trail byte
      {kTrailA, "a", 1, true, -1},
      {kTrailA + "A", "A", 1, false, 3},
      {"\x81\x81\x81\x41"
       "A",
       "A", 1, false, 5},
      {"x\x81\x81\x81\x41", "\x81\x41", 1, false, 4},
      {"\xB2\xA5\xB7\xC5", "\xA5\xB7", 1, false, -1},
      {"\xB2\xA5\xB7\xC5", "\xB7\xC5", 1, false, 3},
      {"xy" + kTrailA + "b",
       "\x41"
       "B",
       1, true, -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FindText(c.text, c.sought, c.start, c.ignore_case), c.want)
        << "text=" << c.text << " sought=" << c.sought << " start=" << c.start;
  }
}

TEST(TextOpsTest, IgnoringCaseNeverFoldsTheBytesOfDoubleByteCharacters) {
  // Sought "\x81\x61" must not match text "\x81\x41" even ignoring case: 'a' there is a trail byte.
  EXPECT_EQ(FindText("\x81\x41", "\x81\x61", 1, true), -1);
  EXPECT_EQ(FindText("zz\x81\x41Q", "\x81\x41q", 1, true), 3);
}

TEST(TextOpsTest, FindTextBackwardLooksWithinTheFirstStartMinusOneBytes) {
  EXPECT_EQ(FindTextBackward("abcabc", "bc"), 5);
  EXPECT_EQ(FindTextBackward("abcabc", "bc", 6), 2);  // 5..6 is not within the first 5 bytes
  EXPECT_EQ(FindTextBackward("abcabc", "bc", 7), 5);
  EXPECT_EQ(FindTextBackward("abcabc", "BC", std::nullopt, true), 5);
  EXPECT_EQ(FindTextBackward("abcabc", "x"), -1);
  EXPECT_EQ(FindTextBackward("A" + kTrailA, "A"), 1);
  EXPECT_EQ(FindTextBackward("abc", "a", 1), -1);
}

TEST(TextOpsTest, ReplaceTextClampsItsSpan) {
  EXPECT_EQ(ReplaceText("abcdef", 2, 3, "X"), "aXef");
  EXPECT_EQ(ReplaceText("abcdef", 5, 100, "X"), "abcdX");
  EXPECT_EQ(ReplaceText("abc", 10, 1, "X"), "abcX");
  EXPECT_EQ(ReplaceText("abc", -3, 1), "bc");
}

TEST(TextOpsTest, SubstituteTextDoesNotRescanAndRespectsStartAndCount) {
  EXPECT_EQ(SubstituteText("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(SubstituteText("abab", "ab", "b"), "bb");
  EXPECT_EQ(SubstituteText("a-a-a-a", "a", "b", 3), "a-b-b-b");
  EXPECT_EQ(SubstituteText("a-a-a-a", "a", "b", 1, 2), "b-b-a-a");
  EXPECT_EQ(SubstituteText("a-a", "a", "b", 1, 0), "a-a");
  EXPECT_EQ(SubstituteText("A-a", "a", "b", 1, std::nullopt, false), "b-b");
  EXPECT_EQ(SubstituteText("", "a", "b"), "");
  EXPECT_EQ(SubstituteText("abc", "", "b"), "abc");
  EXPECT_EQ(SubstituteText(kTrailA + "A", "A", "z"), kTrailA + "z");
}

TEST(TextOpsTest, SplitTextKeepsInnerEmptyPiecesAndDropsATrailingOne) {
  EXPECT_EQ(Pieces(SplitText("a,,b,")), (std::vector<Text>{"a", "", "b"}));
  EXPECT_EQ(Pieces(SplitText(",")), (std::vector<Text>{""}));
  EXPECT_EQ(Pieces(SplitText("a,b,,")), (std::vector<Text>{"a", "b", ""}));
  EXPECT_EQ(Pieces(SplitText("a|b|c", "|", 2)), (std::vector<Text>{"a", "b"}));
  EXPECT_EQ(Pieces(SplitText("a,b", "")), (std::vector<Text>{"a,b"}));
  EXPECT_TRUE(Pieces(SplitText("")).empty());
  EXPECT_TRUE(Pieces(SplitText("a,b", ",", -1)).empty());
  EXPECT_EQ(ElementCount(SplitText("")), 0);
  EXPECT_EQ(ElementCount(SplitText("x,y")), 2);
  // A delimiter that appears as a trail byte does not split a character.
  EXPECT_EQ(Pieces(SplitText(kTrailA + "A1", "A")), (std::vector<Text>{kTrailA, "1"}));
}

TEST(TextOpsTest, SpacesIncludeTheFullWidthSpace) {
  const Text full = "\xA1\xA1";
  EXPECT_EQ(TrimSpaces("  " + full + "a b" + full + " "), "a b");
  EXPECT_EQ(TrimSpaces(full + full), "");
  EXPECT_EQ(RemoveAllSpaces(" a" + full + "b c "), "abc");
  // 0xB0 0xA1 is one character; its trail byte plus the next lead is not a full-width space.
  EXPECT_EQ(TrimSpaces("\xB0\xA1\xA1\xA1"), "\xB0\xA1");
  EXPECT_EQ(TrimSpaces("\xB0\xA1\xA1\xB0"), "\xB0\xA1\xA1\xB0");
}

TEST(TextOpsTest, CaseMappingLeavesDoubleByteCharactersAlone) {
  EXPECT_EQ(ToUpper("ab" + kTrailA + "c"), "AB" + kTrailA + "C");
  EXPECT_EQ(ToLower("\x81\x41Z"), "\x81\x41z");
  EXPECT_EQ(BlankText(3), "   ");
  EXPECT_EQ(BlankText(0), "");
  EXPECT_EQ(Character(65), "A");
  EXPECT_EQ(Character(0), "");
  EXPECT_EQ(Character(256), "");
}

TEST(TextOpsTest, CompareAndJoin) {
  EXPECT_EQ(CompareTexts("", ""), 0);
  EXPECT_EQ(CompareTexts("a", "b"), -1);
  EXPECT_EQ(CompareTexts("ab", "a"), 1);
  EXPECT_EQ(CompareTexts("\x80", "\x7F"), 1);  // bytes compare unsigned
  EXPECT_EQ(JoinTexts({"a", "", "bc"}), "abc");
}

TEST(BytesOpsTest, SearchAndSubstituteAreByteExact) {
  Bytes b = {1, 0, 2, 0, 2};
  EXPECT_EQ(FindBytes(b, {0, 2}), 2);
  EXPECT_EQ(FindBytes(b, {0, 2}, 3), 4);
  EXPECT_EQ(FindBytes(b, {9}), -1);
  EXPECT_EQ(FindBytes({}, {1}), -1);
  EXPECT_EQ(SubstituteBytes(b, {0, 2}, {7}), (Bytes{1, 7, 7}));
  EXPECT_EQ(SubstituteBytes(b, {0, 2}, {}, 1, 1), (Bytes{1, 0, 2}));
  EXPECT_EQ(LeftBytes(b, 2), (Bytes{1, 0}));
  EXPECT_EQ(LeftBytes(b, -2), Bytes{});
  EXPECT_EQ(BlankBytes(2), (Bytes{0, 0}));
  EXPECT_EQ(BytesLength(BlankBytes(-1)), 0);
}

}  // namespace
}  // namespace vorel::runtime
