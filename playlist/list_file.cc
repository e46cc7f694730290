// The play list file: loading it at start, saving it soon after every change and at exit, and
// keeping a file that cannot be read out of harm's way.

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <string>

#include "playlist/playlist.h"
#include "runtime/bridge.h"
#include "runtime/files.h"
#include "runtime/list_view_records.h"
#include "runtime/threads.h"
#include "runtime/window_ops.h"
#include "windows/window_ids.h"

namespace vorel::playlist {
namespace {

using namespace runtime::literals;
using namespace ids;
using runtime::Bytes;
using runtime::Text;

// How long after a change the list is written: changes that come in a burst (a scan adds
// thousands of rows) share one save, and a crash loses at most this much.
constexpr int kSaveDelayMs = 1000;

const Text& ListFileName() {
  static const Text name = "播放列表.txt"_t;
  return name;
}

Text Quoted(const Text& text) { return "“"_t + text + "”"_t; }

}  // namespace

void Playlist::Later(int ms, std::function<void()> fn) {
  runtime::RunLater(ms, [alive = std::weak_ptr<const bool>(alive_), fn = std::move(fn)] {
    if (!alive.expired()) fn();
  });
}

void Playlist::SaveSoonNow() {
  ListFileState& st = list_file_;
  st.save_pending = false;
  if (st.revision == st.saved_revision || !runtime::IsWindowLoaded(kMainWindow)) return;
  const long long revision = st.revision;
  SaveResult saved = SavePlayList(kMainWindow, kPlayList, {}, false);
  if (saved) {
    st.saved_revision = std::max(st.saved_revision, revision);
    return;
  }
  // A data folder that cannot be written was already named at start; anything else (a full
  // disk, a folder made read-only since) is said once.
  if (st.failure_told || st.keep_damaged_file || !runtime::DataFolderProblem().empty()) return;
  st.failure_told = true;
  std::fprintf(stderr, "vorel: the play list was not saved: %s\n", saved.error().detail.c_str());
  runtime::ShowMessageBox("播放列表无法保存到"_t + Quoted(PlayListFilePath()) +
                          "，请检查磁盘空间和文件夹权限。"_t);
}

void Playlist::ScheduleSave() {
  ListFileState& st = list_file_;
  if (st.save_pending) return;
  st.save_pending = true;
  Later(kSaveDelayMs, [this] { SaveSoonNow(); });
}

void Playlist::OnRowsChanged() {
  ++list_file_.revision;
  ScheduleSave();
}

namespace {

// "20261208-173005": when a damaged file was put aside.
std::string TimeStamp() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

// Renames the damaged list file to "播放列表.txt.unreadable-<time>" beside it; the new name, or
// empty when it could not be renamed.
Text PutAside(const Text& path) {
  const Text base = path + ".unreadable-" + TimeStamp();
  for (int i = 0; i < 10; ++i) {
    const Text aside = i == 0 ? base : base + "-" + std::to_string(i);
    if (runtime::RenameFileKeeping(path, aside)) return aside;
  }
  return {};
}

Text FileNameOf(const Text& path) {
  const std::size_t slash = path.rfind('/');
  return slash == Text::npos ? path : path.substr(slash + 1);
}

}  // namespace

// What the window says about a list file it could not read whole, which is renamed aside.
Text Playlist::DamagedFileNotice(const Text& path, bool unreadable, int rows_kept) {
  const Text aside = PutAside(path);
  if (aside.empty()) {
    list_file_.keep_damaged_file = true;
    return "播放列表文件"_t + Quoted(path) +
           "无法读取，也无法改名保存；为免覆盖它，本次运行不会保存播放列表。"_t;
  }
  Text notice = (unreadable ? "播放列表文件无法读取"_t : "播放列表文件已损坏"_t) +
                "，原文件已改名为"_t + Quoted(FileNameOf(aside));
  if (rows_kept > 0) notice += "，已载入能读出的"_t + std::to_string(rows_kept) + "首歌"_t;
  return notice + "。"_t;
}

Text PlayListFilePath() { return runtime::DataFolderPath() + "/" + ListFileName(); }

SaveResult Playlist::SavePlayList(runtime::WindowId window,
                                  runtime::Control<runtime::controls::ListView> list,
                                  const Text& path, bool use_path) {
  // The list is written beside its final place and moved there only when complete: saving must
  // never leave a truncated or half-written play list behind.
  const Text target = use_path ? path : PlayListFilePath();
  auto fail = [](const char* what, const Text& file) {
    return platform::MakeUnexpected(
        SaveError{std::string(what) + " " + runtime::Utf8FromText(file)});
  };
  if (list_file_.keep_damaged_file && target == PlayListFilePath()) {
    return fail("keeping the unreadable list file", target);
  }
  // A save may start from a handler that runs while another save processes events: each
  // writes a file of its own, and the older snapshot never replaces the newer one.
  SaveRuns& runs = list_file_.saves;
  const int generation = ++runs.started;
  const Text temp = target + ".saving" + (runs.active > 0 ? std::to_string(runs.active) : "");
  int f = runtime::OpenDataFile(temp, runtime::FileMode::kCreateWrite);
  if (f == 0) return fail("cannot create", temp);
  ++runs.active;
  struct Leave {
    SaveRuns& runs;
    ~Leave() { --runs.active; }
  } leave{runs};
  // Every row is read at once before anything is written: handlers that run while the save
  // processes events may change or delete rows, or close the window, and must not tear the file.
  const Bytes records = runtime::ReadBytesProperty(window, list, kPropAllRows);
  // Written in blocks, with other handlers getting their turn between blocks: one write per
  // record would make a large list spend its time in system calls.
  constexpr std::size_t kBlock = 64 * 1024;
  bool ok = true;
  for (std::size_t at = 0; ok && at < records.size(); at += kBlock) {
    const std::size_t n = std::min(kBlock, records.size() - at);
    ok = runtime::WriteBytes(f, {Bytes(records.begin() + at, records.begin() + at + n)});
    runtime::ProcessEvents();
  }
  if (!ok) {
    runtime::CloseFile(f);
    runtime::RemoveFile(temp);
    return fail("cannot write", temp);
  }
  runtime::CloseFile(f);
  int& completed = runs.completed[target];
  if (completed > generation) {
    runtime::RemoveFile(temp);  // a later save already wrote newer rows
    return target;
  }
  if (!runtime::ReplaceFileAtomically(temp, target)) {
    runtime::RemoveFile(temp);
    return fail("cannot replace", target);
  }
  completed = std::max(completed, generation);
  return target;
}

void Playlist::SavePlayListAtExit() {
  SaveResult saved = SavePlayList(kMainWindow, kPlayList, {}, false);
  if (!saved) {
    std::fprintf(stderr, "vorel: the play list was not saved: %s\n", saved.error().detail.c_str());
  }
}

void Playlist::LoadPlayList() {
  ListFileState& st = list_file_;
  st.keep_damaged_file = false;
  runtime::WatchRows(kMainWindow, kPlayList, nullptr);
  const Text path = PlayListFilePath();
  Text source = path;
  // A list an earlier version kept in the program's own folder is read from there until the
  // data folder has one, and saved to the data folder at once; the old file stays as it was.
  const Text old_folder = runtime::PassedOverProgramFolder();
  const bool moving = !runtime::FileExists(path) && !old_folder.empty() &&
                      runtime::FileExists(old_folder + "/" + ListFileName());
  if (moving) source = old_folder + "/" + ListFileName();
  const Bytes data = runtime::ReadWholeFile(source);
  runtime::WriteProperty(kMainWindow, kPlayList, kPropAllRows, data);

  std::vector<Text> notices;
  if (const Text folder = runtime::DataFolderProblem(); !folder.empty()) {
    notices.push_back("无法写入数据文件夹"_t + Quoted(folder) +
                      "，播放列表的改动和下载的歌曲都无法保存。"_t);
  }
  const std::optional<runtime::FileStamp> stamp = runtime::StampOf(source);
  const bool unreadable = data.empty() && stamp && stamp->size > 0;
  const int columns = runtime::ColumnCount(kMainWindow, kPlayList);
  if (!moving && (unreadable || !runtime::ListRecordsIntact(data, columns))) {
    notices.push_back(
        DamagedFileNotice(path, unreadable, runtime::RowCount(kMainWindow, kPlayList)));
  }

  st.saved_revision = st.revision;
  if (moving) OnRowsChanged();
  runtime::WatchRows(kMainWindow, kPlayList, [this, alive = std::weak_ptr<const bool>(alive_)] {
    if (!alive.expired()) OnRowsChanged();
  });
  if (notices.empty()) return;
  // Said once the window is up, not before it appears.
  Later(0, [notices] {
    for (const Text& notice : notices) runtime::ShowMessageBox(notice);
  });
}

}  // namespace vorel::playlist
