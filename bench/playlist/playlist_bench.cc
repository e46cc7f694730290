// The play list at scale, through the real windows on the offscreen platform:
//   - loading and saving a play list of 100,000 rows;
//   - scanning a tree of 20,000 files in 2,000 folders, beside `find DIR -iname '*.mp3'`.
// Prints one line per measurement (median of 3 runs).

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/features.h"
#include "app/window_set.h"
#include "playlist/entry.h"
#include "playlist/playlist.h"
#include "runtime/bridge.h"
#include "runtime/files.h"
#include "runtime/window_ops.h"
#include "ui/qt/qt_ui.h"
#include "windows/window_ids.h"

namespace fs = std::filesystem;
using namespace vorel;

namespace {

template <typename F>
double MedianMs(int runs, F&& f) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    ms.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

void Clear() { runtime::DeleteAllRows(ids::kMainWindow, ids::kPlayList); }

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("VOREL_NONINTERACTIVE", "1", 0);
  setenv("VOREL_AUDIO", "null", 0);
  qt::UiSession session(argc, argv);
  app::Features features;
  runtime::SetRoutineTable(app::BuildRoutineTable(features));
  runtime::InitRuntime(app::WindowTemplateBytes());
  fs::path work = fs::temp_directory_path() / ("vorel_bench_" + std::to_string(::getpid()));
  fs::create_directories(work);
  if (::chdir(work.c_str()) != 0) return 1;
  runtime::LoadStartWindow(ids::kMainWindow);

  // 100,000 rows of the kind the folder scan adds.
  runtime::Bytes file;
  for (int i = 0; i < 100000; ++i) {
    std::string name = "歌曲" + std::to_string(i) + ".mp3";
    runtime::Bytes row =
        playlist::EncodeEntry({.kind = playlist::EntryKind::kLocalFile,
                               .location = runtime::TextFromUtf8("/home/user/音乐/专辑/" + name),
                               .title = runtime::TextFromUtf8(name),
                               .cover = {}});
    file.insert(file.end(), row.begin(), row.end());
  }
  if (!runtime::WriteWholeFile(playlist::PlayListFilePath(), {file})) return 1;
  double load = MedianMs(3, [&] {
    Clear();
    features.playlist().LoadPlayList();
  });
  int rows = runtime::RowCount(ids::kMainWindow, ids::kPlayList);
  bool ok = true;
  double save = MedianMs(3, [&] {
    ok = ok && features.playlist().SavePlayList(ids::kMainWindow, ids::kPlayList, {}, false);
  });
  bool same = runtime::ReadWholeFile(playlist::PlayListFilePath()) == file;
  std::printf("load %d rows: %.0f ms\n", rows, load);
  std::printf("save %d rows: %.0f ms (%s)\n", rows, save,
              ok && same ? "identical bytes" : "MISMATCH");

  // 2,000 folders of 10 files, half of them MP3s in mixed case.
  fs::path tree = work / "tree";
  for (int d = 0; d < 2000; ++d) {
    fs::path dir = tree / ("d" + std::to_string(d / 100)) / ("album" + std::to_string(d));
    fs::create_directories(dir);
    for (int f = 0; f < 10; ++f) {
      std::ofstream(dir / ("t" + std::to_string(f) + (f % 2 ? ".mp3" : f % 4 ? ".MP3" : ".txt")));
    }
  }
  double scan = MedianMs(3, [&] {
    Clear();
    features.playlist().ScanFolder(runtime::TextFromUtf8(tree.string()));
  });
  int found = runtime::RowCount(ids::kMainWindow, ids::kPlayList);
  std::string cmd = "find '" + tree.string() + "' -iname '*.mp3' > /dev/null";
  double find = MedianMs(3, [&] { (void)std::system(cmd.c_str()); });
  std::printf("scan 20000 files in 2000 folders: %.0f ms, %d songs; find: %.0f ms; ratio %.2f\n",
              scan, found, find, scan / find);
  fs::remove_all(work);
  std::fflush(stdout);
  std::_Exit(0);  // the windows and the audio library need no orderly end here
}
