// The program on a Wayland desktop. Each test starts a headless Weston of its own, which draws a
// plain background and no panel, so whatever else its screenshots show is our window: its size
// is what the compositor really shows, not what the program believes it asked for.
//
// The window checks run in a second copy of this test binary that is a client of that compositor
// (the window framework's Wayland plugin); the last test runs the built program itself.
#include <signal.h>

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QTest>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

#include "shell/full_view.h"
#include "tests/player_flow/flow_fixture.h"
#include "tests/testing/process.h"

namespace vorel::flow {
namespace {

namespace fs = std::filesystem;

constexpr QRgb kBackground = 0xff102030;
constexpr char kSocket[] = "vorel-test";
constexpr char kChildFlag[] = "VOREL_WAYLAND_CHILD";

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

// A headless Weston with a runtime folder of its own (mode 0700, as Wayland wants it).
class Compositor {
 public:
  Compositor() {
    dir_ = testing::ProcessTempFolder() + "/wayland";
    fs::create_directories(dir_ + "/shots");
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::replace);
    std::ofstream(dir_ + "/weston.ini") << "[core]\nidle-time=0\n"
                                           "[shell]\nbackground-color=0xff102030\n"
                                           "panel-position=none\nlocking=false\n"
                                           "animation=none\nstartup-animation=none\n";
    // --debug lets weston-screenshooter take the output's picture.
    const auto started = testing::RunCommand(
        "cd " + Quoted(dir_) + "; XDG_RUNTIME_DIR=" + Quoted(dir_) +
        " weston --config=" + Quoted(dir_ + "/weston.ini") +
        " --backend=headless-backend.so --use-pixman --width=1024 --height=768 --debug"
        " --socket=" +
        kSocket +
        " > weston.log 2>&1 & echo $! > weston.pid; "
        "for i in $(seq 200); do [ -S " +
        kSocket + " ] && exit 0; sleep 0.05; done; exit 1");
    pid_ = std::atoi(testing::ReadWholeFile(dir_ + "/weston.pid").c_str());
    ready_ = started.code == 0;
  }
  ~Compositor() {
    if (pid_ > 0) ::kill(pid_, SIGTERM);
  }

  bool ready() const { return ready_; }
  std::string Log() const { return testing::ReadWholeFile(dir_ + "/weston.log"); }
  // What a client of this compositor needs in its environment, as shell assignments.
  std::string ClientEnvironment() const {
    return "XDG_RUNTIME_DIR=" + Quoted(dir_) + " WAYLAND_DISPLAY=" + kSocket +
           " QT_QPA_PLATFORM=wayland ";
  }

 private:
  std::string dir_;
  int pid_ = 0;
  bool ready_ = false;
};

// The compositor's whole output now; a null image when the screenshot failed.
QImage Screenshot() {
  const std::string shots = std::string(std::getenv("XDG_RUNTIME_DIR")) + "/shots";
  fs::remove_all(shots);
  fs::create_directories(shots);
  const auto taken = testing::RunCommand("cd " + Quoted(shots) + " && WAYLAND_DISPLAY=" + kSocket +
                                         " weston-screenshooter");
  if (taken.code != 0) return {};
  for (const auto& entry : fs::directory_iterator(shots)) {
    return QImage(QString::fromStdString(entry.path().string()));
  }
  return {};
}

// The smallest rectangle holding every pixel that is not the background.
QRect ShownArea(const QImage& shot) {
  QRect area;
  for (int y = 0; y < shot.height(); ++y) {
    for (int x = 0; x < shot.width(); ++x) {
      if (shot.pixel(x, y) != kBackground) area |= QRect(x, y, 1, 1);
    }
  }
  return area;
}

// Looks at the compositor's output until it shows a window of `size` (it draws in its own time)
// and returns the area shown. The compositor places a new window where it likes; a window that
// grew past the output's right or bottom edge is shown cut there, which counts as its size.
QRect WaitForShownSize(QSize size) {
  QRect area;
  (void)QTest::qWaitFor(
      [&] {
        const QImage shot = Screenshot();
        area = ShownArea(shot);
        const QSize visible(std::min(size.width(), shot.width() - area.left()),
                            std::min(size.height(), shot.height() - area.top()));
        return !area.isEmpty() && area.size() == visible;
      },
      5000);
  return area;
}

// The check that runs in the compositor's client; in the parent, runs that client.
class WaylandTest : public FlowTest {
 protected:
  bool InChild() const { return std::getenv(kChildFlag) != nullptr; }

  void RunInChild() {
    Compositor compositor;
    ASSERT_TRUE(compositor.ready()) << "weston did not start:\n" << compositor.Log();
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const auto outcome = testing::RunCommand(compositor.ClientEnvironment() + kChildFlag + "=1 " +
                                             Quoted(self) + " --gtest_filter=WaylandTest." + name);
    EXPECT_EQ(outcome.code, 0) << outcome.output << "\nweston:\n" << compositor.Log();
    EXPECT_NE(outcome.output.find("[  PASSED  ] 1 test"), std::string::npos) << outcome.output;
  }

  static QWidget* Widget(runtime::ControlId control) {
    return reinterpret_cast<QWidget*>(runtime::WindowHandle(ids::kMainWindow, control));
  }
};

TEST_F(WaylandTest, TheWindowMapsAtItsSizeAndBothViewsResizeIt) {
  if (!InChild()) return RunInChild();
  ASSERT_EQ(QGuiApplication::platformName(), "wayland");
  QWidget* window = Widget(ids::kMainWindowSelf)->window();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  EXPECT_EQ(window->size(), QSize(448, 192));
  const QRect compact = WaitForShownSize({448, 192});
  EXPECT_EQ(compact.size(), QSize(448, 192));

  // Ctrl+F opens the full view, and with it the play list. The keys go to the window itself:
  // a text box asks the compositor's text input, and a headless compositor has no seat for it.
  QTest::keyClick(window, Qt::Key_F, Qt::ControlModifier);
  // The window stays where it was and shows `size`, cut at the output's edges.
  auto shown_as = [&](QSize size) {
    const QRect expected = QRect(compact.topLeft(), size) & QRect(0, 0, 1024, 768);
    return WaitForShownSize(size) == expected;
  };
  EXPECT_TRUE(shown_as({690, 456}));
  // Escape returns to the compact strip; the play list stays open.
  QTest::keyClick(window, Qt::Key_Escape);
  EXPECT_TRUE(shown_as({690, 192}));
  // The list toggle, clicked, closes it again.
  QTest::mouseClick(Widget(ids::kPlayListToggle), Qt::LeftButton);
  EXPECT_TRUE(shown_as({448, 192}));
}

TEST_F(WaylandTest, TheSpectrumIsDrawnWithoutTheX11Way) {
  if (!InChild()) return RunInChild();
  QWidget* canvas = Widget(ids::kSpectrumCanvas);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(canvas->window()));
  // The direct X11 way paints on screen, past the window framework; there is no X server here.
  EXPECT_FALSE(canvas->testAttribute(Qt::WA_PaintOnScreen));

  constexpr std::uint32_t kGreen = 0x00E080;  // blue, green, red from the high byte down
  runtime::ClearDrawing(ids::kMainWindow, ids::kSpectrumCanvas);
  runtime::DrawGradientRectangle(ids::kMainWindow, ids::kSpectrumCanvas, 10, 5, 8,
                                 canvas->height() - 5, 1, {kGreen, kGreen});
  const QRect window_area = WaitForShownSize(canvas->window()->size());
  const QPoint bar = window_area.topLeft() + canvas->mapTo(canvas->window(), QPoint(14, 30));
  QRgb shown = 0;
  (void)QTest::qWaitFor(
      [&] {
        const QImage shot = Screenshot();
        shown = shot.isNull() ? 0 : shot.pixel(bar);
        return (shown & 0xffffff) == 0x80e000;
      },
      3000);
  EXPECT_EQ(shown & 0xffffff, 0x80e000u) << std::hex << shown;
}

// The built program, started as a person starts it with a song, maps its window and ends with
// code 0 on the session's end, its play list saved.
TEST_F(WaylandTest, TheProgramPlaysAndEndsCleanly) {
  if (InChild()) GTEST_SKIP() << "runs in the parent";
  Compositor compositor;
  ASSERT_TRUE(compositor.ready()) << "weston did not start:\n" << compositor.Log();
  const std::string app = testing::ProcessTempFolder() + "/app";
  fs::create_directories(app);
  fs::copy_file(VOREL_PROGRAM_PATH, app + "/vorel", fs::copy_options::overwrite_existing);
  fs::copy_file(VOREL_LIBBASS_PATH, app + "/libbass.so", fs::copy_options::overwrite_existing);
  const std::string song = (songs_ / "short1.mp3").string();

  const auto started = testing::RunCommand(
      "cd " + Quoted(app) + "; (" + compositor.ClientEnvironment() + "VOREL_AUDIO=null ./vorel " +
      Quoted(song) +
      " > out.log 2>&1 & echo $! > pid; wait $!; echo $? > code) > /dev/null 2>&1 &");
  ASSERT_EQ(started.code, 0);
  ::setenv("XDG_RUNTIME_DIR", (testing::ProcessTempFolder() + "/wayland").c_str(), 1);
  EXPECT_EQ(WaitForShownSize({448, 192}).size(), QSize(448, 192))
      << testing::ReadWholeFile(app + "/out.log");

  const int pid = std::atoi(testing::ReadWholeFile(app + "/pid").c_str());
  ASSERT_GT(pid, 0);
  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  std::string code;
  for (int i = 0; i < 100 && code.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    code = testing::ReadWholeFile(app + "/code");
  }
  EXPECT_EQ(code, "0\n") << testing::ReadWholeFile(app + "/out.log");
  const std::string list = testing::ReadWholeFile(app + "/播放列表.txt");
  EXPECT_NE(list.find(song), std::string::npos) << "the play list was not saved";
}

}  // namespace
}  // namespace vorel::flow
