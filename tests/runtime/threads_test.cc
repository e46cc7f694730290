#include "runtime/threads.h"

#include <gtest/gtest.h>

#include <atomic>

#include "runtime/array.h"
#include "runtime/fatal.h"
#include "runtime/text.h"

namespace vorel::runtime {
namespace {

using namespace literals;

TEST(ThreadsTest, StartedThreadRunsAndItsHandleCanBeWaitedFor) {
  std::atomic<int> value{0};
  ThreadHandle handle;
  ASSERT_TRUE(StartThread([&] { value = 42; }, &handle));
  ASSERT_TRUE(handle.valid());
  EXPECT_TRUE(handle.Wait(-1));
  EXPECT_TRUE(handle.finished());
  EXPECT_EQ(value, 42);
}

TEST(ThreadsTest, WorkPostedToAThreadRunsWhenItProcessesEvents) {
  auto queue = ThreadQueue::Current();
  int ran = 0;
  queue->Post([&] { ++ran; });
  EXPECT_EQ(ran, 0);
  ProcessEvents();
  EXPECT_EQ(ran, 1);
  // Posted from another thread while this one is in Delay.
  ThreadHandle h;
  StartThread([queue, &ran] { queue->Post([&ran] { ++ran; }); }, &h);
  h.Wait(-1);
  Delay(20);
  EXPECT_EQ(ran, 2);
}

TEST(ThreadsTest, WaitProcessingEventsReportsTimeOutAndSuccess) {
  EXPECT_FALSE(WaitProcessingEvents([] { return false; }, 30));
  std::atomic<bool> done{false};
  ThreadHandle h;
  StartThread([&] { done = true; }, &h);
  EXPECT_TRUE(WaitProcessingEvents([&] { return done.load(); }, 10000));
  h.Wait(-1);
}

TEST(ThreadsTest, DelayWaitsAtLeastTheGivenTime) {
  long long before = TickCount();
  Delay(0);
  Delay(-5);
  Delay(30);
  EXPECT_GE(TickCount() - before, 30);
}

TEST(FatalDeathTest, ArrayIndexesAreCheckedAgainstTheElementCount) {
  Array<Text> a(std::vector<Text>{"x", "y"});
  EXPECT_EQ(a[2], "y");
  std::string code4 = "错误代码：4";
  std::string code1 = "错误代码：1";
  EXPECT_EXIT(a[0], testing::ExitedWithCode(255),
              code4 + "\r\n\r\n错误信息：数组成员引用下标必须大于等于1");
  EXPECT_EXIT(a[3], testing::ExitedWithCode(255),
              code1 + "\r\n\r\n错误信息：数组成员引用下标超出定义范围");
}

TEST(FatalDeathTest, NamedFatalErrorsCarryNoNumber) {
  EXPECT_EXIT(RaiseFatalError("载入启动窗口失败"_t), testing::ExitedWithCode(255),
              "^运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n$");
}

TEST(FatalTest, ReportTextHasTheFixedLayout) {
  EXPECT_EQ(Utf8FromText(FatalErrorReport(6, "m"_t)),
            "运行时出错!\r\n\r\n错误代码：6\r\n\r\n错误信息：m\r\n");
  EXPECT_EQ(Utf8FromText(FatalErrorReport(0, "")), "运行时出错!\r\n\r\n");
  EXPECT_STREQ(RuntimeErrorMessageUtf8(12), "");
}

}  // namespace
}  // namespace vorel::runtime
