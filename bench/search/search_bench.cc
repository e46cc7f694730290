// The music search as a person runs it: the main window shown (offscreen, or on a display under
// Xvfb, see run.sh) and made tall enough that the search panel is visible, a query typed into
// the search box and a real Enter key pressed. A loopback server answers with a result page of
// ADDRESSES addresses (about 100 bytes each, so 10,000 make about 1 MiB).
//
//   search_bench [addresses] [runs]      (default 10000 addresses, 5 runs)
//
// Per run: the time from the key press to the label showing "<addresses>个", and the longest
// lateness of a 10 ms timer on the user-interface thread meanwhile (how long the window could
// not react). Then the median and the worst of the runs.

#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/features.h"
#include "app/window_set.h"
#include "bench/stall_watch.h"
#include "runtime/bridge.h"
#include "runtime/testing.h"
#include "runtime/threads.h"
#include "runtime/value.h"
#include "runtime/window_ops.h"
#include "search/music_search.h"
#include "tests/testing/loopback_server.h"
#include "ui/qt/qt_ui.h"
#include "ui/qt/testing.h"
#include "windows/window_ids.h"

namespace fs = std::filesystem;
using namespace vorel;
using namespace vorel::runtime::literals;

namespace {

std::string ResultPage(int addresses) {
  std::string page = "<html><body><ul>\n";
  char entry[160];
  for (int i = 0; i < addresses; ++i) {
    std::snprintf(
        entry, sizeof entry,
        "<li "
        "class=\"r\">;http://music.example.org/song/%06d/a-rather-long-song-title-%06d-live.mp3;"
        "</li>\n",
        i, i);
    page += entry;
  }
  return page + "</ul></body></html>\n";
}

struct Run {
  double total_ms = 0;
  double stall_ms = 0;
};

Run OneSearch(search::MusicSearch& search, const runtime::Text& expected_label) {
  runtime::WriteProperty(ids::kMainWindow, ids::kSearchCountLabel, ids::kPropCaption, "");
  runtime::WriteProperty(ids::kMainWindow, ids::kSearchBox, ids::kPropCaption, "bench");
  QApplication::processEvents();

  bench::StallWatch watch;

  QElapsedTimer clock;
  clock.start();
  qt::PressKey(ids::kMainWindow, ids::kSearchBox, Qt::Key_Return);
  while (runtime::ReadTextProperty(ids::kMainWindow, ids::kSearchCountLabel, ids::kPropCaption) !=
         expected_label) {
    QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    if (clock.elapsed() > 60000) {
      std::fprintf(stderr, "search_bench: no \"%s\" after 60 s\n",
                   runtime::Utf8FromText(expected_label).c_str());
      std::exit(1);
    }
  }
  Run run;
  run.total_ms = clock.nsecsElapsed() / 1e6;
  run.stall_ms = watch.LongestMs();
  search.WaitForWorkers(10000);
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  const int addresses = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
  setenv("VOREL_NONINTERACTIVE", "1", 0);
  setenv("VOREL_AUDIO", "null", 0);

  const std::string page = ResultPage(addresses);
  vorel::testing::LoopbackServer server([&](const vorel::testing::Request&) {
    return vorel::testing::LoopbackServer::Simple(page, {"Content-Type: text/html"});
  });
  setenv("VOREL_SEARCH_HOST", ("127.0.0.1:" + std::to_string(server.port())).c_str(), 1);

  qt::UiSession session(argc, argv);
  app::Features features;
  runtime::SetRoutineTable(app::BuildRoutineTable(features));
  runtime::InitRuntime(app::WindowTemplateBytes());
  fs::path work = fs::temp_directory_path() / ("vorel_search_bench_" + std::to_string(::getpid()));
  fs::create_directories(work);
  if (::chdir(work.c_str()) != 0) return 1;
  runtime::LoadStartWindow(ids::kMainWindow);
  // Tall and wide enough that the search panel (left 424, top 200, 240 x 255) is on screen.
  runtime::WriteProperty(ids::kMainWindow, ids::kMainWindowSelf, ids::kPropWidth, 690);
  runtime::WriteProperty(ids::kMainWindow, ids::kMainWindowSelf, ids::kPropHeight, 456);
  runtime::FocusControl(ids::kMainWindow, ids::kSearchBox);
  runtime::Delay(300);

  const runtime::Text expected = runtime::ToText(addresses) + "个"_t;
  std::vector<Run> all;
  for (int i = 0; i < runs; ++i) all.push_back(OneSearch(features.music_search(), expected));

  std::printf("page: %d addresses, %zu bytes; platform %s\n", addresses, page.size(),
              QApplication::platformName().toUtf8().constData());
  std::printf("%-5s %12s %14s\n", "run", "enter->label", "longest stall");
  for (std::size_t i = 0; i < all.size(); ++i) {
    std::printf("%-5zu %9.1f ms %11.1f ms\n", i + 1, all[i].total_ms, all[i].stall_ms);
  }
  auto median = [&](auto field) {
    std::vector<double> v;
    for (const Run& r : all) v.push_back(r.*field);
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  auto worst = [&](auto field) {
    double m = 0;
    for (const Run& r : all) m = std::max(m, r.*field);
    return m;
  };
  std::printf("median %9.1f ms %11.1f ms\n", median(&Run::total_ms), median(&Run::stall_ms));
  std::printf("worst  %9.1f ms %11.1f ms\n", worst(&Run::total_ms), worst(&Run::stall_ms));
  runtime::ResetWindows();
  fs::remove_all(work);
  std::fflush(stdout);
  _exit(0);
}
