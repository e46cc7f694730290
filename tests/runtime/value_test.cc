#include "runtime/value.h"

#include <clocale>
#include <cstdlib>

#include <gtest/gtest.h>

namespace vorel::runtime {
namespace {

using namespace literals;

TEST(ValueTest, ToTextFormatsEachType) {
  EXPECT_EQ(ToText(std::uint8_t{200}), "200");
  EXPECT_EQ(ToText(std::int16_t{-5}), "-5");
  EXPECT_EQ(ToText(-2147483647 - 1), "-2147483648");
  EXPECT_EQ(ToText(std::int64_t{1} << 40), "1099511627776");
  EXPECT_EQ(ToText(0.1f), "0.1");
  EXPECT_EQ(ToText(1.0 / 3.0), "0.3333333333333");
  EXPECT_EQ(ToText(1e20), "1e+20");
  EXPECT_EQ(ToText(true), "真"_t);
  EXPECT_EQ(ToText(false), "假"_t);
  EXPECT_EQ(ToText(Bytes{'a', 'b', 0, 'c'}), "ab");
}

TEST(ValueTest, DateTimeShowsOnlyTheTimeFieldsThatMatter) {
  auto at = [](int h, int m, int s) { return FromCivilTime({2024, 3, 9, h, m, s}); };
  EXPECT_EQ(ToText(at(0, 0, 0)), "2024年3月9日"_t);
  EXPECT_EQ(ToText(at(7, 0, 0)), "2024年3月9日7时"_t);
  EXPECT_EQ(ToText(at(7, 5, 0)), "2024年3月9日7时5分"_t);
  EXPECT_EQ(ToText(at(0, 0, 9)), "2024年3月9日0时0分9秒"_t);
  EXPECT_EQ(ToText(DateTime{0}), "1899年12月30日"_t);
  EXPECT_EQ(ToText(DateTime{2.5}), "1900年1月1日12时"_t);
}

TEST(ValueTest, NumbersParseTheLeadingPartAndFullWidthDigits) {
  EXPECT_DOUBLE_EQ(ToNumber(Text("12.5abc")), 12.5);
  EXPECT_DOUBLE_EQ(ToNumber(Text("  -3e2")), -300);
  EXPECT_DOUBLE_EQ(ToNumber(Text("abc")), 0);
  EXPECT_DOUBLE_EQ(ToNumber("１２．５"_t), 12.5);
  EXPECT_DOUBLE_EQ(ToNumber("－７"_t), -7);
  EXPECT_EQ(ToInteger("１２３"_t), 123);
  EXPECT_EQ(ToInteger(Text("+42x")), 42);
  EXPECT_EQ(ToInteger(Text("99999999999")), 2147483647);
  EXPECT_EQ(ToInteger(-2.9), -2);
  EXPECT_EQ(ToInteger(2.9f), 2);
  EXPECT_EQ(ToInteger((std::int64_t{1} << 32) + 7), 7);
  EXPECT_EQ(ToInteger(true), 1);
}

TEST(ValueTest, ConversionsIgnoreTheProcessLocale) {
  // Qt sets the locale from the environment; a comma-decimal locale must not change results.
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = old ? old : "C";
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no German locale here";
  EXPECT_EQ(ToText(2.5), "2.5");
  EXPECT_DOUBLE_EQ(ToNumber(Text("2.5")), 2.5);
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(ValueTest, ToBytesGivesLittleEndianBinaryForms) {
  EXPECT_EQ(ToBytes(0x01020304), (Bytes{4, 3, 2, 1}));
  EXPECT_EQ(ToBytes(true), (Bytes{1, 0, 0, 0}));
  EXPECT_EQ(ToBytes(std::int16_t{-2}), (Bytes{0xFE, 0xFF}));
  EXPECT_EQ(ToBytes(Text("ab")), (Bytes{'a', 'b'}));
  EXPECT_EQ(ToBytes(1.0).size(), 8u);
}

TEST(ValueTest, RoundNumberRoundsHalfAwayFromZero) {
  EXPECT_DOUBLE_EQ(RoundNumber(2.5), 3);
  EXPECT_DOUBLE_EQ(RoundNumber(-2.5), -3);
  EXPECT_DOUBLE_EQ(RoundNumber(2.4999), 2);
  EXPECT_DOUBLE_EQ(RoundNumber(1.005, 2), 1.01);  // the 1e-12 nudge catches 1.00499999..
  EXPECT_DOUBLE_EQ(RoundNumber(1250, -2), 1300);
  EXPECT_DOUBLE_EQ(RoundNumber(-0.4), 0);
}

TEST(ValueDeathTest, EveryRunDrawsTheClassicUnseededSequence) {
  // The classic C runtime's first draws from seed 1 are 41, 18467, 6334; the "threadsafe" style
  // re-runs this test in a fresh process, so no earlier draw disturbs the sequence.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        bool ok = RandomNumber(0, 99) == 41 && RandomNumber(0, 99) == 67 && RandomNumber() == 6334;
        std::_Exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(ValueTest, RandomNumberBoundsAreNormalised) {
  for (int i = 0; i < 200; ++i) {
    int r = RandomNumber(5, 1);  // swapped bounds: 1..5
    EXPECT_GE(r, 1);
    EXPECT_LE(r, 5);
    EXPECT_EQ(RandomNumber(-7, -3), 0);  // negative bounds become 0
  }
  EXPECT_LE(RandomNumber(), 32767);
  EXPECT_EQ(BitOr({1, 4, 0x100}), 0x105);
}

}  // namespace
}  // namespace vorel::runtime
