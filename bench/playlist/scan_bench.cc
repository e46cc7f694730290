// The folder scan as a person runs it: the main window mapped on a display (run it under Xvfb,
// see run_scan.sh), the play list panel open, "打开" clicked and a folder of FILES songs in
// FOLDERS folders chosen. Beside it, `find DIR -iname '*.mp3'` on the same tree in the same run.
//
//   scan_bench [files] [folders]      (default 10000 files in 1000 folders)
//
// Prints a table row with the list panel open and one with it closed: files, folders, scan time
// (median of 5), ratio to find (median of 5), the longest gap between two repaints of the
// program's widgets during the scans, and whether the rows came in the documented order (songs
// of a folder by name, then each sub-folder depth first).

#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/features.h"
#include "app/window_ids.h"
#include "app/window_set.h"
#include "playlist/entry.h"
#include "runtime/bridge.h"
#include "runtime/threads.h"
#include "runtime/window_ops.h"
#include "ui/qt/desktop.h"
#include "ui/qt/qt_ui.h"
#include "ui/qt/testing.h"

namespace fs = std::filesystem;
using namespace vorel;
using Clock = std::chrono::steady_clock;

namespace {

// Runs of each measurement; the median is reported (the machine may be shared).
constexpr int kRuns = 5;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// Records when any widget of the program paints.
class PaintWatch : public QObject {
 public:
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::Paint && o->isWidgetType()) {
      auto now = Clock::now();
      if (running && now - last > longest) longest = now - last;
      last = now;
    }
    return false;
  }
  void Start() {
    running = true;
    last = Clock::now();
    longest = {};
  }
  void Stop() {
    if (Clock::now() - last > longest) longest = Clock::now() - last;
    running = false;
  }
  bool running = false;
  Clock::time_point last;
  Clock::duration longest{};
};

// The tree: FOLDERS album folders in groups of 100, the files spread evenly, named so that
// the byte order differs from the creation order. Returns the paths in the documented order.
std::vector<std::string> MakeTree(const fs::path& root, int files, int folders) {
  std::vector<std::string> order;
  for (int d = 0; d < folders; ++d) {
    fs::path dir = root / ("g" + std::to_string(d / 100)) / ("a" + std::to_string(d));
    fs::create_directories(dir);
    const int here = files / folders + (d < files % folders ? 1 : 0);
    for (int f = here - 1; f >= 0; --f) {
      std::ofstream(dir / ("t" + std::to_string(f) + (f % 3 ? ".mp3" : ".MP3")));
    }
  }
  // The order the scan documents: within a folder, song names sorted, then sub-folders sorted.
  auto walk = [&](auto&& self, const fs::path& dir) -> void {
    std::vector<std::string> songs, subs;
    for (const auto& e : fs::directory_iterator(dir)) {
      (e.is_directory() ? subs : songs).push_back(e.path().filename().string());
    }
    std::sort(songs.begin(), songs.end());
    std::sort(subs.begin(), subs.end());
    for (const auto& s : songs) order.push_back((dir / s).string());
    for (const auto& s : subs) self(self, dir / s);
  };
  walk(walk, root);
  return order;
}

double FindMs(const fs::path& root) {
  std::string cmd = "find '" + root.string() + "' -iname '*.mp3' > /dev/null";
  std::vector<double> runs;
  for (int i = 0; i < kRuns; ++i) {
    auto t0 = Clock::now();
    if (std::system(cmd.c_str()) != 0) return -1;
    runs.push_back(Ms(Clock::now() - t0));
  }
  std::sort(runs.begin(), runs.end());
  return runs[kRuns / 2];
}

struct ScanFigures {
  double median_ms = 0;
  double longest_gap_ms = 0;
  int rows = 0;
  bool in_order = true;
};

// kRuns scans of `tree` through the "打开" button, each into an emptied list.
ScanFigures ScanRepeatedly(const fs::path& tree, const std::vector<std::string>& order,
                           PaintWatch& watch) {
  ScanFigures f;
  std::vector<double> runs;
  for (int run = 0; run < kRuns; ++run) {
    runtime::DeleteAllRows(ids::kMainWindow, ids::kPlayList);
    runtime::Delay(200);
    qt::SetFolderAnswer(runtime::TextFromUtf8(tree.string()));
    watch.Start();
    auto t0 = Clock::now();
    runtime::RaiseEvent(ids::kMainWindow, ids::kOpenButton, runtime::kEventClicked);
    runs.push_back(Ms(Clock::now() - t0));
    watch.Stop();
    f.longest_gap_ms = std::max(f.longest_gap_ms, Ms(watch.longest));
    f.rows = runtime::RowCount(ids::kMainWindow, ids::kPlayList);
    f.in_order = f.in_order && f.rows == static_cast<int>(order.size());
    for (int r = 0; f.in_order && r < f.rows; ++r) {
      f.in_order = runtime::Utf8FromText(playlist::ReadEntry(r).location) == order[r];
    }
  }
  std::sort(runs.begin(), runs.end());
  f.median_ms = runs[kRuns / 2];
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  const int files = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int folders = argc > 2 ? std::atoi(argv[2]) : 1000;
  setenv("VOREL_NONINTERACTIVE", "1", 0);  // the folder chooser answers from the bench
  setenv("VOREL_AUDIO", "null", 0);
  qt::UiSession session(argc, argv);
  app::Features features;
  runtime::SetRoutineTable(app::BuildRoutineTable(features));
  runtime::InitRuntime(app::WindowTemplateBytes());
  fs::path work = fs::temp_directory_path() / ("vorel_scan_bench_" + std::to_string(::getpid()));
  fs::create_directories(work);
  if (::chdir(work.c_str()) != 0) return 1;
  const std::vector<std::string> order = MakeTree(work / "tree", files, folders);
  runtime::LoadStartWindow(ids::kMainWindow);
  runtime::RaiseEvent(ids::kMainWindow, ids::kPlayListToggle,
                      runtime::kEventClicked);  // open the list panel
  runtime::Delay(1500);                         // mapped, exposed and the panel's slide finished

  PaintWatch watch;
  qApp->installEventFilter(&watch);
  const double find = FindMs(work / "tree");
  std::printf(
      "| files | folders | list open | scan ms (median of 5) | find ms (median of 5) | ratio | "
      "longest repaint gap ms | rows in order |\n");
  for (const bool open : {true, false}) {
    ScanFigures f = ScanRepeatedly(work / "tree", order, watch);
    // Time to look at the window from outside (a screenshot of the display), when asked.
    if (const char* hold = std::getenv("SCAN_BENCH_HOLD_MS"); hold && open) {
      runtime::Delay(std::atoi(hold));
    }
    std::printf("| %d | %d | %s | %.0f | %.0f | %.2f | %.0f | %s |\n", f.rows, folders,
                open ? "yes" : "no", f.median_ms, find, f.median_ms / find, f.longest_gap_ms,
                f.in_order ? "yes" : "NO");
    std::fflush(stdout);
    runtime::RaiseEvent(ids::kMainWindow, ids::kPlayListToggle,
                        runtime::kEventClicked);  // close the panel
    runtime::Delay(1000);
  }
  fs::remove_all(work);
  std::fflush(stdout);
  std::_Exit(0);  // the windows and the audio library need no orderly end here
}
