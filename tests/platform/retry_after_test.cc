#include "platform/retry_after.h"

#include <gtest/gtest.h>

#include <optional>

namespace vorel::platform {
namespace {

TEST(RetryAfterTest, StatusesWorthAskingAgain) {
  for (int status : {408, 429, 500, 502, 503, 504, 599}) EXPECT_TRUE(IsRetryableStatus(status));
  for (int status : {0, 200, 206, 301, 400, 401, 403, 404, 410, 416, 499, 600}) {
    EXPECT_FALSE(IsRetryableStatus(status)) << status;
  }
}

TEST(RetryAfterTest, SecondsAndTheThreeDateForms) {
  // 1994-11-06 08:49:37 UTC.
  constexpr std::int64_t kDate = 784111777;
  struct Case {
    const char* value;
    std::int64_t now;
    std::optional<std::int64_t> seconds;
  } cases[] = {
      {"0", 0, 0},
      {" 120 ", 0, 120},
      {"99999999999999999999999", 0, 86400},  // cut to a day, no overflow
      {"Sun, 06 Nov 1994 08:49:37 GMT", kDate - 5, 5},
      {"Sunday, 06-Nov-94 08:49:37 GMT", kDate - 5, 5},
      {"Sun Nov  6 08:49:37 1994", kDate - 5, 5},
      {"Sun, 06 Nov 1994 08:49:37 GMT", kDate + 100, 0},  // already past
      {"Thu, 01 Jan 2099 00:00:00 GMT", kDate, 86400},
      {"Tue, 29 Feb 2028 23:59:60 GMT", 1835481600 - 1, 1},  // leap day, leap second
      {"", 0, std::nullopt},
      {"-5", 0, std::nullopt},
      {"1.5", 0, std::nullopt},
      {"soon", 0, std::nullopt},
      {"Sun, 06 Nov 1994 08:49:37 CET", 0, std::nullopt},
      {"Sun, 06 Foo 1994 08:49:37 GMT", 0, std::nullopt},
      {"Sun, 06 Nov 1994 25:49:37 GMT", 0, std::nullopt},
      {"Sun, 6 Nov 1994 08:49:37 GMT", 0, std::nullopt},
      {"Sun Nov  6 08:49:37", 0, std::nullopt},
      {",", 0, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RetryAfterSeconds(c.value, c.now), c.seconds) << "\"" << c.value << "\"";
  }
}

}  // namespace
}  // namespace vorel::platform
