#include "platform/code_page.h"

#include <gtest/gtest.h>

namespace vorel::platform {
namespace {

// "播放" in code page 936 and in UTF-8.
const std::string kGb = "\xB2\xA5\xB7\xC5";
const std::string kUtf8 = "\xE6\x92\xAD\xE6\x94\xBE";

TEST(CodePageTest, Cp936TextRoundTripsThroughUtf8AndUtf16) {
  EXPECT_EQ(Gb18030ToUtf8(kGb).value(), kUtf8);
  EXPECT_EQ(Utf8ToGb18030(kUtf8).value(), kGb);
  EXPECT_EQ(Gb18030ToUtf16(kGb).value(), u"播放");
  EXPECT_EQ(Utf16ToGb18030(u"播放").value(), kGb);
}

TEST(CodePageTest, CharactersOutsideCp936SurviveAsFourByteGb18030) {
  const std::string emoji = "\xF0\x9F\x8E\xB5";  // U+1F3B5
  auto gb = Utf8ToGb18030(emoji);
  ASSERT_TRUE(gb);
  EXPECT_EQ(gb->size(), 4u);
  EXPECT_EQ(Gb18030ToUtf8(*gb).value(), emoji);
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(emoji).value()).value(), emoji);
}

TEST(CodePageTest, StrictConversionNamesTheOffendingOffset) {
  auto bad = Gb18030ToUtf8("ab\xB2\xA5\xFF\x30zz");
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.error().code, ConvertErrorCode::kInvalidSequence);
  EXPECT_EQ(bad.error().offset, 4u);

  auto cut = Gb18030ToUtf8("ab\xB2");  // a character cut in half by a byte count
  ASSERT_FALSE(cut);
  EXPECT_EQ(cut.error().code, ConvertErrorCode::kIncompleteInput);

  auto lone = Utf16ToUtf8(std::u16string(1, u'\xD800'));
  EXPECT_FALSE(lone);
}

TEST(CodePageTest, LossyConversionReplacesInvalidAndDropsCutTail) {
  EXPECT_EQ(Gb18030ToUtf8Lossy("a\xFF"
                               "b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(Gb18030ToUtf8Lossy("ab\xB2\xA5\xB7"), "ab\xE6\x92\xAD");
  EXPECT_EQ(Utf8ToGb18030Lossy("x\xC3(y"), "x?(y");
  EXPECT_EQ(Gb18030ToUtf16Lossy(std::string("\x80", 1)), u"\uFFFD");
  EXPECT_EQ(Utf8ToGb18030Lossy(""), "");
}

TEST(CodePageTest, Utf8Validation) {
  EXPECT_TRUE(IsValidUtf8(kUtf8));
  EXPECT_TRUE(IsValidUtf8("plain"));
  EXPECT_FALSE(IsValidUtf8(kGb));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));          // overlong "/"
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // past U+10FFFF
  EXPECT_FALSE(IsValidUtf8("\xE6\x92"));          // cut
}

}  // namespace
}  // namespace vorel::platform
