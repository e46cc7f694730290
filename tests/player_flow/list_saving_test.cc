// The play list reaches its file while the program runs, not only at exit, and a list file the
// program cannot read is never overwritten.
#include <signal.h>

#include <fstream>
#include <sstream>

#include "runtime/files.h"
#include "runtime/list_view_records.h"
#include "tests/player_flow/flow_fixture.h"
#include "ui/qt/desktop.h"
#include "ui/qt/testing.h"

namespace vorel::flow {
namespace {

using ListSavingTest = FlowTest;

runtime::Bytes ListRows() {
  return runtime::ReadBytesProperty(ids::kMainWindow, ids::kPlayList, ids::kPropAllRows);
}

runtime::Bytes ListFile() { return runtime::ReadWholeFile(playlist::PlayListFilePath()); }

// Processes events until the list file holds the rows the window shows (the saves come about a
// second after a change); false after `ms`.
bool WaitForSavedRows(int ms) {
  return runtime::WaitProcessingEvents([] { return ListFile() == ListRows(); }, ms);
}

// Counts the message boxes printed (with nobody to answer them) whose text holds `part`.
int Said(const std::string& printed, const std::string& part) {
  int n = 0;
  for (std::size_t at = printed.find(part); at != std::string::npos;
       at = printed.find(part, at + 1)) {
    ++n;
  }
  return n;
}

TEST_F(ListSavingTest, AScannedFolderIsInTheListFileWhenTheProgramIsKilledThreeSecondsLater) {
  const fs::path music = work_ / "music";
  for (int d = 0; d < 20; ++d) {
    fs::create_directories(music / std::to_string(d));
    for (int f = 0; f < 50; ++f) {
      std::ofstream(music / std::to_string(d) / (std::to_string(f) + ".mp3")) << "x";
    }
  }
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ::setenv("VOREL_FLOW_WORK", work_.c_str(), 1);
  EXPECT_EXIT(
      {
        qt::SetFolderAnswer(PathText(music));
        Click(ids::kOpenButton);
        runtime::Delay(3000);
        ::raise(SIGKILL);  // no exit save: only what was saved while running is on disk
      },
      ::testing::KilledBySignal(SIGKILL), "");
  ::unsetenv("VOREL_FLOW_WORK");
  const runtime::Bytes saved = runtime::ReadWholeFile(PathText(work_ / "播放列表.txt"));
  ASSERT_TRUE(runtime::ListRecordsIntact(saved, 4));
  const auto rows = runtime::DecodeListRows(saved, 4);
  ASSERT_EQ(rows.size(), 1000u);
  EXPECT_EQ(rows.back().cells[1], PathText(music / "9" / "9.mp3"));
}

TEST_F(ListSavingTest, AddingDeletingAndClearingEachReachTheFileWithoutAnExit) {
  AddLocalRow("/a.mp3", "a"_t);
  AddLocalRow("/b.mp3", "b"_t);
  EXPECT_TRUE(WaitForSavedRows(5000));
  EXPECT_EQ(runtime::DecodeListRows(ListFile(), 4).size(), 2u);

  runtime::WriteProperty(ids::kMainWindow, ids::kPlayList, ids::kPropSelectedRow, 0);
  Click(ids::kDeleteButton);
  EXPECT_TRUE(WaitForSavedRows(5000));
  ASSERT_EQ(runtime::DecodeListRows(ListFile(), 4).size(), 1u);
  EXPECT_EQ(runtime::DecodeListRows(ListFile(), 4)[0].cells[1], "/b.mp3");

  ClickWhenLoaded(ids::kClearDialog, ids::kClearConfirm);
  Click(ids::kClearButton);
  EXPECT_TRUE(WaitForSavedRows(5000));
  EXPECT_TRUE(ListFile().empty());
  EXPECT_TRUE(fs::exists(work_ / "播放列表.txt"));
}

TEST_F(ListSavingTest, ASaveThatFailsWhileRunningIsSaidOnceAndTheOldFileStays) {
  AddLocalRow("/a.mp3", "a"_t);
  ASSERT_TRUE(WaitForSavedRows(5000));
  const runtime::Bytes before = ListFile();
  // The new list cannot be written beside the old one: a folder stands where it would go.
  fs::create_directory(work_ / "播放列表.txt.saving");
  ::testing::internal::CaptureStderr();
  AddLocalRow("/b.mp3", "b"_t);
  runtime::Delay(2500);
  AddLocalRow("/c.mp3", "c"_t);
  runtime::Delay(2500);
  const std::string printed = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(Said(printed, "播放列表无法保存到“" + (work_ / "播放列表.txt").string() + "”"), 1)
      << printed;
  EXPECT_EQ(ListFile(), before);
}

TEST_F(ListSavingTest, ACutOffListIsPutAsideAndItsWholeRowsSavedAnew) {
  runtime::Bytes data = playlist::EncodeRow({"本地文件"_t, "/x.mp3", "x", ""}, -1, -1, 0, 0);
  const runtime::Bytes whole = data;
  runtime::Bytes cut = playlist::EncodeRow({"本地文件"_t, "/y.mp3", "y", ""}, -1, -1, 0, 0);
  data.insert(data.end(), cut.begin(), cut.begin() + 20);  // the second row's first record
  ASSERT_TRUE(runtime::WriteWholeFile(playlist::PlayListFilePath(), {data}));
  ::testing::internal::CaptureStderr();
  playlist().LoadPlayList();
  ASSERT_EQ(runtime::RowCount(ids::kMainWindow, ids::kPlayList), 1);
  fs::path aside;
  for (const auto& e : fs::directory_iterator(work_)) {
    if (e.path().filename().string().starts_with("播放列表.txt.unreadable-")) aside = e.path();
  }
  ASSERT_FALSE(aside.empty()) << "renamed before anything was written";
  EXPECT_EQ(runtime::ReadWholeFile(PathText(aside)), data);
  runtime::Delay(100);  // the message comes once the window is up
  const std::string printed = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(Said(printed, "播放列表文件已损坏，原文件已改名为“" + aside.filename().string() +
                              "”，已载入能读出的1首歌。"),
            1)
      << printed;

  AddLocalRow("/z.mp3", "z"_t);
  EXPECT_TRUE(WaitForSavedRows(5000));
  EXPECT_EQ(runtime::ReadWholeFile(PathText(aside)), data);
  const auto rows = runtime::DecodeListRows(ListFile(), 4);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].cells, runtime::DecodeListRows(whole, 4)[0].cells);
  EXPECT_EQ(rows[1].cells[1], "/z.mp3");
}

}  // namespace
}  // namespace vorel::flow
