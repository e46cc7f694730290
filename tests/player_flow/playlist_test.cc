#include <atomic>
#include <fstream>
#include <functional>
#include <memory>

#include "platform/testing.h"
#include "runtime/files.h"
#include "runtime/testing.h"
#include "tests/player_flow/flow_fixture.h"
#include "ui/qt/desktop.h"
#include "ui/qt/testing.h"

namespace vorel::flow {
namespace {

using PlaylistFlowTest = FlowTest;

std::vector<Text> Row(int row) {
  std::vector<Text> cells;
  for (int c = 0; c < 4; ++c) {
    cells.push_back(runtime::GetCellText(ids::kMainWindow, ids::kPlayList, row, c));
  }
  return cells;
}

TEST_F(PlaylistFlowTest, SaveAndLoadRoundTripTwoRowsAsEightRecords) {
  AddLocalRow("/音乐/一.mp3", "第一首"_t);
  int net = runtime::InsertRow(ids::kMainWindow, ids::kPlayList, std::nullopt, "网络文件"_t);
  runtime::SetCellText(ids::kMainWindow, ids::kPlayList, net, 1, "http://h/s.mp3");
  runtime::SetCellText(ids::kMainWindow, ids::kPlayList, net, 2, "第二首🎵"_t);
  runtime::SetCellText(ids::kMainWindow, ids::kPlayList, net, 3, "http://h/c.jpg");
  const auto row0 = Row(0), row1 = Row(1);

  ASSERT_TRUE(playlist().SavePlayList(ids::kMainWindow, ids::kPlayList, {}, false));
  runtime::Bytes file = runtime::ReadWholeFile(playlist::PlayListFilePath());
  runtime::Bytes want = playlist::EncodeRow(row0, -1, -1, 0, 0);
  runtime::Bytes second = playlist::EncodeRow(row1, -1, -1, 0, 0);
  want.insert(want.end(), second.begin(), second.end());
  EXPECT_EQ(file, want);
  int records = 0;
  for (std::size_t i = 0; i < file.size(); ++records) {
    i += 17;
    while (file[i] != 0) ++i;
    i += 2;
  }
  EXPECT_EQ(records, 8);
  EXPECT_FALSE(fs::exists(work_ / "播放列表.txt.saving"));

  runtime::DeleteAllRows(ids::kMainWindow, ids::kPlayList);
  playlist().LoadPlayList();
  ASSERT_EQ(runtime::RowCount(ids::kMainWindow, ids::kPlayList), 2);
  EXPECT_EQ(Row(0), row0);
  EXPECT_EQ(Row(1), row1);
}

// A power cut at any moment leaves the old list or the new one: the new file is flushed before
// it takes the list's name, and the folder holding that name after.
TEST_F(PlaylistFlowTest, TheNewListIsFlushedBeforeItsRenameAndTheFolderAfter) {
  AddLocalRow("/a.mp3", "a"_t);
  const std::string list = runtime::Utf8FromText(playlist::PlayListFilePath());
  const std::string folder = list.substr(0, list.rfind('/'));
  for (int save = 0; save < 2; ++save) {  // a new list, then a replaced one
    platform::ScopedFileStepRecord record;
    ASSERT_TRUE(playlist().SavePlayList(ids::kMainWindow, ids::kPlayList, {}, false));
    EXPECT_EQ(record.steps(), (std::vector<std::string>{"sync " + list + ".saving",
                                                        "name " + list + ".saving " + list,
                                                        "sync-folder " + folder}));
  }
}

TEST_F(PlaylistFlowTest, AFailedSaveKeepsThePreviousList) {
  AddLocalRow("/a.mp3", "a"_t);
  ASSERT_TRUE(playlist().SavePlayList(ids::kMainWindow, ids::kPlayList, {}, false));
  runtime::Bytes before = runtime::ReadWholeFile(playlist::PlayListFilePath());
  // The temporary file cannot be created: a folder stands where it would go.
  fs::create_directory(work_ / "播放列表.txt.saving");
  AddLocalRow("/b.mp3", "b"_t);
  EXPECT_FALSE(playlist().SavePlayList(ids::kMainWindow, ids::kPlayList, {}, false));
  EXPECT_EQ(runtime::ReadWholeFile(playlist::PlayListFilePath()), before);
}

TEST_F(PlaylistFlowTest, AListThatCannotBeSavedAtExitIsReportedOnStandardError) {
  AddLocalRow("/a.mp3", "a"_t);
  fs::create_directory(work_ / "播放列表.txt.saving");
  const playlist::SaveResult saved =
      playlist().SavePlayList(ids::kMainWindow, ids::kPlayList, {}, false);
  ASSERT_FALSE(saved);
  EXPECT_NE(saved.error().detail.find("播放列表.txt.saving"), std::string::npos)
      << saved.error().detail;

  // The window going away saves the list; the failure reaches the user's terminal.
  ::testing::internal::CaptureStderr();
  runtime::RaiseEvent(ids::kMainWindow, ids::kMainWindowSelf, runtime::kEventWindowDestroying);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("vorel: the play list was not saved: cannot create"), std::string::npos)
      << err;
  EXPECT_FALSE(fs::exists(work_ / "播放列表.txt"));

  // Once the file can be written again, the same path saves quietly.
  fs::remove(work_ / "播放列表.txt.saving");
  ::testing::internal::CaptureStderr();
  runtime::RaiseEvent(ids::kMainWindow, ids::kMainWindowSelf, runtime::kEventWindowDestroying);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(fs::exists(work_ / "播放列表.txt"));
}

TEST_F(PlaylistFlowTest, RowsChangedWhileASaveRunsNeitherTearNorOutdateTheFile) {
  // Enough rows for the save to write several blocks and process events between them.
  for (int i = 0; i < 3000; ++i) {
    AddLocalRow("/音乐/很长的文件夹名字/" + std::to_string(i) + ".mp3", "歌"_t);
  }
  const runtime::Bytes all =
      runtime::ReadBytesProperty(ids::kMainWindow, ids::kPlayList, ids::kPropAllRows);
  // The save the additions asked for comes first. Left pending, it could come due inside the
  // save below on a slow machine and, being the newer save, rightly write the emptied list.
  ASSERT_TRUE(runtime::WaitProcessingEvents(
      [&] { return runtime::ReadWholeFile(playlist::PlayListFilePath()) == all; }, 10000));
  // A handler that deletes every row runs in the middle of the save: the file holds the rows
  // as they were when the save began.
  runtime::ThreadQueue::Current()->Post(
      [] { runtime::DeleteAllRows(ids::kMainWindow, ids::kPlayList); });
  ASSERT_TRUE(playlist().SavePlayList(ids::kMainWindow, ids::kPlayList, {}, false));
  EXPECT_EQ(runtime::ReadWholeFile(playlist::PlayListFilePath()), all);

  // A handler that adds a row and saves again runs in the middle of a save: the newer save's
  // file stays.
  runtime::WriteProperty(ids::kMainWindow, ids::kPlayList, ids::kPropAllRows, all);
  runtime::ThreadQueue::Current()->Post([this] {
    AddLocalRow("/新.mp3", "新"_t);
    EXPECT_TRUE(playlist().SavePlayList(ids::kMainWindow, ids::kPlayList, {}, false));
  });
  ASSERT_TRUE(playlist().SavePlayList(ids::kMainWindow, ids::kPlayList, {}, false));
  EXPECT_EQ(runtime::ReadWholeFile(playlist::PlayListFilePath()),
            runtime::ReadBytesProperty(ids::kMainWindow, ids::kPlayList, ids::kPropAllRows));
  EXPECT_EQ(runtime::RowCount(ids::kMainWindow, ids::kPlayList), 3001);
  for (const auto& e : fs::directory_iterator(work_)) {
    EXPECT_EQ(e.path().filename().string().find(".saving"), std::string::npos) << e.path();
  }
}

TEST_F(PlaylistFlowTest, DamagedFileLoadsTheWholeRowsOnly) {
  runtime::Bytes data = playlist::EncodeRow({"本地文件"_t, "/x.mp3", "x", ""}, -1, -1, 0, 0);
  runtime::Bytes cut = playlist::EncodeRow({"本地文件"_t, "/y.mp3", "y", ""}, -1, -1, 0, 0);
  data.insert(data.end(), cut.begin(), cut.begin() + 40);  // the second row ends mid-record
  ASSERT_TRUE(runtime::WriteWholeFile(playlist::PlayListFilePath(), {data}));
  playlist().LoadPlayList();
  ASSERT_GE(runtime::RowCount(ids::kMainWindow, ids::kPlayList), 1);
  EXPECT_EQ(runtime::GetCellText(ids::kMainWindow, ids::kPlayList, 0, 1), "/x.mp3");
}

TEST_F(PlaylistFlowTest, ClearAsksFirstAndEmptiesOnlyWhenConfirmed) {
  AddLocalRow("/a.mp3", "a"_t);
  ClickWhenLoaded(ids::kClearDialog, ids::kClearCancel);
  Click(ids::kClearButton);
  EXPECT_EQ(runtime::RowCount(ids::kMainWindow, ids::kPlayList), 1);
  ClickWhenLoaded(ids::kClearDialog, ids::kClearConfirm);
  Click(ids::kClearButton);
  EXPECT_EQ(runtime::RowCount(ids::kMainWindow, ids::kPlayList), 0);
}

TEST_F(PlaylistFlowTest, SearchResultIsAddedAsANetworkEntryEveryTime) {
  runtime::InsertRow(ids::kMainWindow, ids::kSearchResults, std::nullopt, "http://127.0.0.1:9/x");
  runtime::WriteProperty(ids::kMainWindow, ids::kSearchResults, ids::kPropSelectedRow, 0);
  ::testing::internal::CaptureStderr();  // the dead address fails to open
  runtime::RaiseEvent(ids::kMainWindow, ids::kSearchResults, runtime::kEventLeftDoubleClick);
  runtime::RaiseEvent(ids::kMainWindow, ids::kSearchResults, runtime::kEventLeftDoubleClick);
  ::testing::internal::GetCapturedStderr();
  HoldTimers();
  ASSERT_EQ(runtime::RowCount(ids::kMainWindow, ids::kPlayList), 2);
  EXPECT_EQ(Row(1)[0], "网络文件"_t);
  EXPECT_EQ(Row(1)[1], "http://127.0.0.1:9/x");
  EXPECT_EQ(Selected(), 1);
}

TEST_F(PlaylistFlowTest, FolderScanAddsMp3FilesFolderByFolderDepthFirst) {
  fs::path root = work_ / "music";
  for (const char* d : {"b", "a/deep", ".hidden"}) fs::create_directories(root / d);
  for (const char* f :
       {"z.mp3", "A.MP3", "note.txt", "b/2.mp3", "a/1.mp3", "a/deep/0.mp3", ".hidden/h.mp3"}) {
    std::ofstream(root / f) << "x";
  }
  fs::create_directory_symlink(root, root / "a" / "loop");  // leads back up the tree
  qt::SetFolderAnswer(PathText(root));
  Click(ids::kOpenButton);
  qt::SetFolderAnswer(std::nullopt);
  std::vector<Text> names;
  for (int r = 0; r < runtime::RowCount(ids::kMainWindow, ids::kPlayList); ++r) {
    names.push_back(runtime::GetCellText(ids::kMainWindow, ids::kPlayList, r, 2));
    EXPECT_EQ(runtime::GetCellText(ids::kMainWindow, ids::kPlayList, r, 0), "本地文件"_t);
  }
  EXPECT_EQ(names, (std::vector<Text>{"A.MP3", "z.mp3", "h.mp3", "1.mp3", "0.mp3", "2.mp3"}));
  EXPECT_EQ(runtime::GetCellText(ids::kMainWindow, ids::kPlayList, 3, 1),
            PathText(root / "a" / "1.mp3"));
  EXPECT_EQ(Caption(), "添加完毕！"_t);
  EXPECT_EQ(Selected(), 0);

  Click(ids::kOpenButton);  // cancelled: nothing happens
  EXPECT_EQ(runtime::RowCount(ids::kMainWindow, ids::kPlayList), 6);
}

TEST_F(PlaylistFlowTest, TheScanSaysHowManyNamesItSkippedAndWhy) {
  const fs::path root = work_ / "music";
  fs::create_directories(root / "\xB8\xE8");  // 歌 in GBK: not UTF-8
  fs::create_directories(root / "ok");
  for (const char* f :
       {"\xC7\xE9\xB8\xE8.mp3", "\xFF.mp3", "note\xFF.txt", "ok/fine.mp3", "\xB8\xE8/inside.mp3"}) {
    std::ofstream(root / f) << "x";
  }
  qt::SetFolderAnswer(PathText(root));
  ::testing::internal::CaptureStderr();
  Click(ids::kOpenButton);
  const std::string printed = ::testing::internal::GetCapturedStderr();
  qt::SetFolderAnswer(std::nullopt);
  EXPECT_EQ(runtime::RowCount(ids::kMainWindow, ids::kPlayList), 1);
  EXPECT_EQ(Caption(), "添加完毕！"_t);
  // The text file is no song: only the two songs and the folder count.
  EXPECT_NE(printed.find("信息：\n有2首歌和1个文件夹的名字不是UTF-8编码，无法显示和播放，已跳过。"),
            std::string::npos)
      << printed;
}

// A tree of `folders` folders of `per_folder` songs each; the paths in the order a scan adds them.
std::vector<Text> MakeSongTree(const fs::path& root, int folders, int per_folder) {
  std::vector<Text> order;
  for (int d = 0; d < folders; ++d) {
    fs::path dir = root / ("d" + std::to_string(100 + d));
    fs::create_directories(dir);
    for (int f = 0; f < per_folder; ++f) {
      fs::path song = dir / ("s" + std::to_string(100 + f) + ".mp3");
      std::ofstream(song) << "x";
      order.push_back(runtime::TextFromUtf8(song.string()));
    }
  }
  return order;
}

std::vector<Text> Paths() {
  std::vector<Text> paths;
  for (int r = 0; r < runtime::RowCount(ids::kMainWindow, ids::kPlayList); ++r) {
    paths.push_back(runtime::GetCellText(ids::kMainWindow, ids::kPlayList, r, 1));
  }
  return paths;
}

// Starts a worker that waits until the scan has added `rows` rows and then runs `act`; both
// the wait and the action reach the user-interface thread through its event processing, so
// they happen while the scan dispatches events. The flag tells whether the scan still ran.
std::shared_ptr<std::atomic<int>> WhenRowsReach(int rows, std::function<void()> act) {
  auto seen = std::make_shared<std::atomic<int>>(-1);
  runtime::StartThread([rows, act, seen] {
    for (int i = 0; i < 20000; ++i) {
      int n = runtime::RowCount(ids::kMainWindow, ids::kPlayList);
      if (n >= rows) {
        seen->store(n);
        act();
        return;
      }
      runtime::Delay(0);
    }
  });
  return seen;
}

TEST_F(PlaylistFlowTest, ASecondOpenDuringAScanDoesNothing) {
  const auto order = MakeSongTree(work_ / "music", 40, 100);
  qt::SetFolderAnswer(PathText(work_ / "music"));
  auto seen = WhenRowsReach(
      200, [] { runtime::RaiseEvent(ids::kMainWindow, ids::kOpenButton, runtime::kEventClicked); });
  Click(ids::kOpenButton);
  runtime::Delay(50);
  ASSERT_GE(seen->load(), 200);
  ASSERT_LT(seen->load(), 4000) << "the second open came after the scan";
  EXPECT_EQ(Paths(), order);
  EXPECT_EQ(Caption(), "添加完毕！"_t);

  Click(ids::kOpenButton);  // once the scan is over, another one runs
  qt::SetFolderAnswer(std::nullopt);
  EXPECT_EQ(runtime::RowCount(ids::kMainWindow, ids::kPlayList), 8000);
}

TEST_F(PlaylistFlowTest, AConfirmedClearDuringAScanStopsItAndLeavesTheListEmpty) {
  MakeSongTree(work_ / "music", 40, 100);
  qt::SetFolderAnswer(PathText(work_ / "music"));
  auto seen = WhenRowsReach(200, [] {
    ClickWhenLoaded(ids::kClearDialog, ids::kClearConfirm);
    runtime::RaiseEvent(ids::kMainWindow, ids::kClearButton, runtime::kEventClicked);
  });
  Click(ids::kOpenButton);
  qt::SetFolderAnswer(std::nullopt);
  runtime::Delay(50);
  ASSERT_GE(seen->load(), 200);
  ASSERT_LT(seen->load(), 4000) << "the clear came after the scan";
  EXPECT_EQ(runtime::RowCount(ids::kMainWindow, ids::kPlayList), 0);
  EXPECT_FALSE(playlist().ScanRunning());
}

TEST_F(PlaylistFlowTest, ClosingTheWindowDuringAScanEndsTheScanAndKeepsTheRowsSoFar) {
  MakeSongTree(work_ / "music", 40, 100);
  qt::SetFolderAnswer(PathText(work_ / "music"));
  auto seen = WhenRowsReach(200, [] { runtime::UnloadWindow(ids::kMainWindow, true); });
  Click(ids::kOpenButton);
  qt::SetFolderAnswer(std::nullopt);
  ASSERT_GE(seen->load(), 200);
  EXPECT_FALSE(runtime::IsWindowLoaded(ids::kMainWindow));
  EXPECT_FALSE(playlist().ScanRunning());
  // The being-destroyed handler saved the rows the scan had added by then.
  runtime::LoadWindow(ids::kMainWindow);
  EXPECT_GE(runtime::RowCount(ids::kMainWindow, ids::kPlayList), seen->load());
}

TEST_F(PlaylistFlowTest, AListInAReadOnlyProgramFolderIsReadAndThenSavedInTheDataFolder) {
  const fs::path program = work_ / "opt";
  const fs::path data = work_ / "xdg";
  fs::create_directories(program);
  runtime::Bytes old_list =
      playlist::EncodeRow({"本地文件"_t, "/old.mp3", "旧歌"_t, ""}, -1, -1, 0, 0);
  ASSERT_TRUE(runtime::WriteWholeFile(PathText(program / "播放列表.txt"), {old_list}));
  const char* saved_xdg = std::getenv("XDG_DATA_HOME");
  std::string keep = saved_xdg ? saved_xdg : "";
  setenv("XDG_DATA_HOME", data.c_str(), 1);
  runtime::TreatFolderAsReadOnly(PathText(program));
  runtime::EnterDataFolder(PathText(program));
  runtime::TreatFolderAsReadOnly({});
  if (saved_xdg) {
    setenv("XDG_DATA_HOME", keep.c_str(), 1);
  } else {
    unsetenv("XDG_DATA_HOME");
  }
  EXPECT_EQ(runtime::CurrentDirectory(), PathText(data / "vorel"));

  playlist().LoadPlayList();
  ASSERT_EQ(runtime::RowCount(ids::kMainWindow, ids::kPlayList), 1);
  EXPECT_EQ(runtime::GetCellText(ids::kMainWindow, ids::kPlayList, 0, 2), "旧歌"_t);

  AddLocalRow("/new.mp3", "新歌"_t);
  playlist().OnMainWindowDestroyed();
  EXPECT_EQ(runtime::ReadWholeFile(PathText(program / "播放列表.txt")), old_list);
  runtime::DeleteAllRows(ids::kMainWindow, ids::kPlayList);
  playlist().LoadPlayList();  // the data folder's own list wins from now on
  ASSERT_EQ(runtime::RowCount(ids::kMainWindow, ids::kPlayList), 2);
  EXPECT_EQ(runtime::GetCellText(ids::kMainWindow, ids::kPlayList, 1, 2), "新歌"_t);
  runtime::EnterDataFolder(PathText(work_));
}

TEST_F(PlaylistFlowTest, BytesTheCodePageCannotShowComeBackUnchanged) {
  // 81 30 starts a four-byte character that FF FE does not complete.
  const Text path = std::string("/music/\x81\x30\xFF\xFE.mp3");
  runtime::Bytes file =
      playlist::EncodeRow({"本地文件"_t, path, Text("\xFF") + "标题"_t, ""}, -1, -1, 0, 0);
  ASSERT_TRUE(runtime::WriteWholeFile(playlist::PlayListFilePath(), {file}));
  playlist().LoadPlayList();
  ASSERT_EQ(runtime::RowCount(ids::kMainWindow, ids::kPlayList), 1);
  EXPECT_EQ(runtime::GetCellText(ids::kMainWindow, ids::kPlayList, 0, 1), path);
  ASSERT_TRUE(playlist().SavePlayList(ids::kMainWindow, ids::kPlayList, {}, false));
  EXPECT_EQ(runtime::ReadWholeFile(playlist::PlayListFilePath()), file);
}

}  // namespace
}  // namespace vorel::flow
