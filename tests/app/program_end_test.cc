// Fatal errors and program end, each in a child process: exit code and exact report.

#include <gtest/gtest.h>

#include <string>

#include "tests/testing/process.h"

namespace {

using Outcome = vorel::testing::CommandOutcome;

Outcome RunProbe(const std::string& scenario) {
  // A runtime folder of its own keeps Qt from warning about a missing one.
  const std::string& runtime_dir = vorel::testing::ProcessTempFolder();
  return vorel::testing::RunCommand(
      "env LD_LIBRARY_PATH= QT_QPA_PLATFORM=offscreen VOREL_NONINTERACTIVE=1 XDG_RUNTIME_DIR=" +
      runtime_dir + " " SPINE_PROBE_PATH " " + scenario);
}

std::string Report(const std::string& message) {
  return "错误\n运行时出错!\n\n错误信息：" + message + "\n";
}

// Exit routines run once each, in registration order, after the report.
const char kExitRoutines[] = "exit routine 0\nsecond exit routine 1\n";

TEST(ProgramEndTest, MissingStartWindowIsFatal) {
  Outcome o = RunProbe("missing-start-window");
  EXPECT_EQ(o.code, 255);
  EXPECT_EQ(o.output, Report("载入启动窗口失败") + kExitRoutines);
}

TEST(ProgramEndTest, PropertyOfAWindowNeverLoadedIsFatal) {
  Outcome o = RunProbe("never-loaded");
  EXPECT_EQ(o.code, 255);
  EXPECT_EQ(o.output, Report("未载入欲访问窗口组件所在的窗口") + kExitRoutines);
}

TEST(ProgramEndTest, MissingAudioLibraryIsFatalOnFirstCall) {
  Outcome o = RunProbe("missing-bass");
  EXPECT_EQ(o.code, 255);
  EXPECT_EQ(o.output,
            Report("无法找到指定DLL库文件“bass.dll”中的输出命令“BASS_Init”") + kExitRoutines);
}

TEST(ProgramEndTest, DamagedTemplateIsFatal) {
  Outcome o = RunProbe("damaged-template");
  EXPECT_EQ(o.code, 255);
  EXPECT_EQ(o.output, Report("载入窗口模板数据段出错!"));
}

TEST(ProgramEndTest, ExitFromWorkerRunsTheCleanUpAndEndsWithItsCode) {
  Outcome o = RunProbe("exit-from-worker");
  EXPECT_EQ(o.code, 3);
  EXPECT_EQ(o.output, kExitRoutines);
}

TEST(ProgramEndTest, LastWindowClosedEndsTheLoopAndTheProgramWithZero) {
  Outcome o = RunProbe("normal-end");
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.output, std::string("being destroyed\n") + kExitRoutines);
}

TEST(ProgramEndTest, ExitRoutinesOfObjectsRunOncePerOwnerUnlessWithdrawn) {
  Outcome o = RunProbe("owned-exit-routines");
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.output, std::string("being destroyed\n") + kExitRoutines + "kept 2\n");
}

TEST(ProgramEndTest, FatalErrorOnAWorkerIsReportedOnTheUiThread) {
  Outcome o = RunProbe("fatal-on-worker");
  EXPECT_EQ(o.code, 255);
  EXPECT_EQ(o.output, Report("未载入欲访问窗口组件所在的窗口") + kExitRoutines);
}

TEST(ProgramEndTest, TerminationSignalClosesTheWindowsAndEndsWithZero) {
  Outcome o = RunProbe("sigterm");
  EXPECT_EQ(o.code, 0);
  EXPECT_EQ(o.output, std::string("being destroyed\n") + kExitRoutines);
}

}  // namespace
