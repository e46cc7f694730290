#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "runtime/dll_table.h"
#include "runtime/system_functions.h"

namespace vorel {
namespace {

int CoInitializeStandIn(void*) { return 0; }

TEST(DllTableTest, PlatformEntriesResolveToRegisteredFunctions) {
  runtime::RegisterSystemFunction("CoInitialize", reinterpret_cast<void*>(&CoInitializeStandIn));
  auto fn = runtime::DllCommand<int (*)(void*)>(37);
  EXPECT_EQ(fn, &CoInitializeStandIn);
  EXPECT_EQ(fn(nullptr), 0);
}

TEST(DllTableTest, TableHasTheFixedEntries) {
  EXPECT_STREQ(runtime::DllCommandAt(runtime::kBassInit).function, "BASS_Init");
  EXPECT_STREQ(runtime::DllCommandAt(runtime::kBassInit).library, "bass.dll");
  EXPECT_STREQ(runtime::DllCommandAt(11).library, "wininet.dll");
  EXPECT_STREQ(runtime::DllCommandAt(3).library, "");
  EXPECT_STREQ(runtime::DllCommandAt(31).function, "HttpSendRequestA");
}

TEST(DllTableTest, ConcurrentFirstCallsResolveOnce) {
  runtime::RegisterSystemFunction("CoUninitialize", reinterpret_cast<void*>(&CoInitializeStandIn));
  std::vector<std::thread> threads;
  std::atomic<int> same{0};
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&] {
      if (runtime::ResolveDllCommand(38) == reinterpret_cast<void*>(&CoInitializeStandIn)) ++same;
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(same.load(), 8);
}

}  // namespace
}  // namespace vorel

namespace vorel {
namespace {

TEST(SystemFunctionsTest, CodePageCallsFollowTheWin32Rules) {
  runtime::RegisterSystemFunctions();
  using ToMulti = int (*)(unsigned, unsigned, const char16_t*, int, char*, int, const char*, int*);
  using ToWide = int (*)(unsigned, unsigned, const char*, int, char16_t*, int);
  auto to_multi = runtime::DllCommand<ToMulti>(34);
  auto to_wide = runtime::DllCommand<ToWide>(36);
  const char16_t wide[] = u"歌A";
  // A size query with -1 counts the terminating NUL.
  EXPECT_EQ(to_multi(65001, 0, wide, -1, nullptr, 0, nullptr, nullptr), 5);
  char out[8] = {};
  EXPECT_EQ(to_multi(936, 0, wide, 2, out, sizeof out, nullptr, nullptr), 3);
  EXPECT_EQ(std::string(out, 3), std::string("\xB8\xE8"
                                             "A"));
  EXPECT_EQ(to_multi(65001, 0, wide, -1, out, 2, nullptr, nullptr), 0);  // too small
  char16_t back[4] = {};
  EXPECT_EQ(to_wide(936, 0, out, 3, back, 4), 2);
  EXPECT_EQ(std::u16string(back, 2), u"歌A");
  EXPECT_EQ(runtime::DllCommand<long (*)(void*)>(37)(nullptr), 0);
}

}  // namespace
}  // namespace vorel
