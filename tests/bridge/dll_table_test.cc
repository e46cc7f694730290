#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "runtime/dll_table.h"

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
