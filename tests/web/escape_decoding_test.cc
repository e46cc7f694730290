#include "web/escape_decoding.h"

#include <gtest/gtest.h>

#include "platform/code_page.h"
#include "runtime/text.h"
#include "tests/testing/param_name.h"

namespace vorel::web {
namespace {

using namespace runtime::literals;

// Text from a UTF-8 literal, for expected values.
runtime::Text T(const char* utf8) { return platform::Utf8ToGb18030Lossy(utf8); }

struct Case {
  const char* name;
  runtime::Text input;
  runtime::Text expected;
};

class DecodeEscapesTest : public ::testing::TestWithParam<Case> {};

TEST_P(DecodeEscapesTest, Decodes) {
  const Case& c = GetParam();
  EXPECT_EQ(DecodeEscapes(c.input), c.expected) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Table, DecodeEscapesTest,
    ::testing::Values(
        Case{"plain", "abc", "abc"}, Case{"empty", "", ""},
        Case{"unicode escapes", "\\u4E2D\\u6587", T("中文")},
        Case{"lower-case hex", "\\u4e2d", T("中")},
        Case{"surrogate pair joins", "\\uD83D\\uDE00", T("😀")},
        Case{"lone surrogate", "a\\uD83Db", "a?b"}, Case{"percent u", "%u4E2D", T("中")},
        Case{"percent hex is Latin-1", "%41%E4", T("Aä")},
        Case{"utf-8 percent bytes stay Latin-1", "%E4%B8%AD", T("\u00E4\u00B8\u00AD")},
        Case{"lone percent", "100%", "100%"}, Case{"percent with one digit", "%4", "%4"},
        Case{"percent with non-hex", "%zz%u12G4", "%zz%u12G4"},
        Case{"crlf survives", "a\r\nb", "a\r\nb"}, Case{"leading cr dropped", "\rab", "ab"},
        Case{"apostrophe survives", "it's", "it's"},
        Case{"protection marks come back as what they stand for", "x{$}y" + "’"_t, "x\r\ny'"},
        Case{"hex escape", "\\x41\\x4a", "AJ"}, Case{"octal escapes", "\\101\\60\\0610", "A010"},
        Case{"octal stops at three digits and at 0377", "\\1012\\400", "A2 0"},
        Case{"single escapes", "a\\tb\\nc\\\\d\\/e\\\"f", "a\tb\nc\\d/e\"f"},
        Case{"classic JScript reads \\v as v", "\\v1", "v1"},
        Case{"non-octal digits stand for themselves", "\\8\\9", "89"},
        Case{"identity escape", "\\q\\%41", "qA"},
        Case{"escaped backslash before u", "\\\\u0041", "A"},
        Case{"line continuation", "a\\\nb", "ab"},
        Case{"nul is dropped", "a\\0b%00c\\u0000d", "abcd"},
        Case{"chinese text passes", "中文"_t, "中文"_t},
        // A lone line feed or carriage return is kept, escapes around it still decode.
        Case{"lone line feed", "a\nb", "a\nb"}, Case{"lone carriage return inside", "a\rb", "a\rb"},
        Case{"reply ending in a line feed", "{\"n\":\"\\u0041\"}\n", "{\"n\":\"A\"}\n"},
        Case{"carriage return at the start is dropped", "\ra\n\r", "a\n\r"},
        // Inputs on which the script would not compile give an empty text.
        Case{"trailing backslash", "abc\\", ""},
        Case{"even backslashes at the end are fine", "abc\\\\", "abc\\"},
        Case{"short hex escape", "\\x4", ""}, Case{"non-hex hex escape", "\\xZZ", ""},
        Case{"line separator", T("a\u2028b"), ""}),
    testing_names::ByField<&Case::name>());

}  // namespace
}  // namespace vorel::web
