// The spectrum panel as the screen shows it: the pixels of a tick's bars, what a tick repaints,
// and (when Xvfb is installed) the panel on a real X display, where it puts its pixels into a
// window of its own.
#include <QApplication>
#include <QEvent>
#include <QPaintEvent>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <filesystem>
#include <string>
#include <vector>

#include "player/spectrum.h"
#include "tests/player_flow/flow_fixture.h"
#include "tests/testing/process.h"

namespace vorel::flow {
namespace {

constexpr std::uint32_t kBarColour = 0x00E080;  // as the player draws its bars (0x00BBGGRR)

// 128 band magnitudes: a few loud bands (one above the panel's height, so its bar is cut and
// its cap lies on the top row), a few quiet ones, silence elsewhere.
std::vector<float> Bands(float loud) {
  std::vector<float> bands(128, 0.0f);
  bands[0] = loud;
  bands[1] = 0.05f;
  bands[3] = 0.012f;
  bands[7] = 2.0f;
  bands[30] = 0.07f;
  return bands;
}

QWidget* Canvas() {
  return reinterpret_cast<QWidget*>(runtime::WindowHandle(ids::kMainWindow, ids::kSpectrumCanvas));
}

// Draws one tick's picture through the runtime, as the player's spectrum routine does.
std::vector<player::SpectrumRect> DrawTick(const std::vector<float>& bands) {
  const int w = runtime::ReadIntProperty(ids::kMainWindow, ids::kSpectrumCanvas, ids::kPropWidth);
  const int h = runtime::ReadIntProperty(ids::kMainWindow, ids::kSpectrumCanvas, ids::kPropHeight);
  runtime::ClearDrawing(ids::kMainWindow, ids::kSpectrumCanvas);
  auto rects = player::SpectrumRects(bands.data(), w, h);
  for (const auto& r : rects) {
    runtime::DrawGradientRectangle(ids::kMainWindow, ids::kSpectrumCanvas, r.left, r.top, r.width,
                                   r.height, 1, {kBarColour, kBarColour});
  }
  return rects;
}

// The picture the rectangles make on the white panel, worked out pixel by pixel.
QImage Expected(const std::vector<player::SpectrumRect>& rects, QSize size) {
  QImage image(size, QImage::Format_RGB32);
  for (int y = 0; y < size.height(); ++y) {
    for (int x = 0; x < size.width(); ++x) {
      bool bar = false;
      for (const auto& r : rects) {
        bar |= x >= r.left && x < r.left + r.width && y >= r.top && y < r.top + r.height;
      }
      image.setPixel(x, y, bar ? qRgb(0x80, 0xE0, 0x00) : qRgb(0xFF, 0xFF, 0xFF));
    }
  }
  return image;
}

// The first pixel where two pictures differ, as text; empty when they are the same.
std::string FirstDifference(const QImage& shown, const QImage& expected) {
  if (shown.size() != expected.size()) return "the sizes differ";
  for (int y = 0; y < shown.height(); ++y) {
    for (int x = 0; x < shown.width(); ++x) {
      if ((shown.pixel(x, y) & 0xFFFFFF) != (expected.pixel(x, y) & 0xFFFFFF)) {
        return "pixel " + std::to_string(x) + "," + std::to_string(y);
      }
    }
  }
  return {};
}

// Lets the drawing reach the screen: the panel publishes a tick after the tick's event, and the
// window's repaint comes a few milliseconds after it is asked for.
void Settle() { QTest::qWait(30); }

// Notes the areas of the paint events the panel receives.
class PaintLog : public QObject {
 public:
  explicit PaintLog(QWidget* w) { w->installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) areas.push_back(static_cast<QPaintEvent*>(e)->rect());
    return false;
  }
  std::vector<QRect> areas;
};

using SpectrumCanvasTest = FlowTest;

TEST_F(SpectrumCanvasTest, ATicksBarsAndCapsArePaintedExactly) {
  QWidget* canvas = Canvas();
  ASSERT_NE(canvas, nullptr);
  const auto rects = DrawTick(Bands(0.4f));
  Settle();
  EXPECT_EQ(FirstDifference(canvas->grab().toImage(), Expected(rects, canvas->size())), "");

  // A quieter tick leaves nothing of the louder one behind.
  const auto quiet = DrawTick(Bands(0.02f));
  Settle();
  EXPECT_EQ(FirstDifference(canvas->grab().toImage(), Expected(quiet, canvas->size())), "");
}

TEST_F(SpectrumCanvasTest, ATickRepaintsOnlyWhatChangedAndAnIdenticalTickNothing) {
  QWidget* canvas = Canvas();
  ASSERT_NE(canvas, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(canvas->window()));
  DrawTick(Bands(0.4f));
  Settle();
  PaintLog log(canvas);

  DrawTick(Bands(0.4f));  // silence between songs, or a steady tone: the same picture again
  Settle();
  EXPECT_TRUE(log.areas.empty());

  // Only the first band changed: the repaint stays within its bar, and the screen shows it.
  const auto rects = DrawTick(Bands(0.03f));
  Settle();
  ASSERT_FALSE(log.areas.empty());
  QRect painted;
  for (const QRect& a : log.areas) painted |= a;
  EXPECT_GE(painted.left(), 1);
  EXPECT_LE(painted.right(), 4);
  EXPECT_EQ(FirstDifference(canvas->grab().toImage(), Expected(rects, canvas->size())), "");
}

// On an X display the panel bypasses Qt's painting, so only the display itself can show that
// the bars arrive: a child process runs the window on a private Xvfb and reads the screen.
TEST_F(SpectrumCanvasTest, OnAnXDisplayTheScreenShowsTheBars) {
  if (std::getenv("VOREL_SPECTRUM_X11_CHILD") != nullptr) {
    QWidget* canvas = Canvas();
    ASSERT_NE(canvas, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(canvas->window()));
    ASSERT_TRUE(canvas->testAttribute(Qt::WA_PaintOnScreen));  // the direct way is in use
    // Of the window's controls only the panel (and what holds it) has a window of its own; the
    // others are drawn inside the main window's.
    for (QWidget* other : canvas->window()->findChildren<QWidget*>()) {
      if (other == canvas || other->isAncestorOf(canvas)) continue;
      EXPECT_EQ(other->internalWinId(), 0u) << other->objectName().toStdString();
    }
    auto screen_shows = [&](const std::vector<player::SpectrumRect>& rects) {
      const QPoint at = canvas->mapToGlobal(QPoint(0, 0));
      std::string difference;
      // The display server draws in its own time: look until it shows the picture.
      (void)QTest::qWaitFor(
          [&] {
            QImage shown = canvas->screen()
                               ->grabWindow(0, at.x(), at.y(), canvas->width(), canvas->height())
                               .toImage();
            difference = FirstDifference(shown, Expected(rects, canvas->size()));
            return difference.empty();
          },
          2000);
      return difference;
    };
    auto loud = DrawTick(Bands(0.4f));
    Settle();
    EXPECT_EQ(screen_shows(loud), "");
    auto quiet = DrawTick(Bands(0.02f));
    Settle();
    EXPECT_EQ(screen_shows(quiet), "");
    return;
  }
  if (std::system("command -v Xvfb >/dev/null 2>&1") != 0) GTEST_SKIP() << "Xvfb is not installed";
  int display = 0;
  for (int n = 140 + ::getpid() % 300; display == 0 && n < 1000; ++n) {
    if (!std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n)) &&
        !std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock")) {
      display = n;
    }
  }
  ASSERT_NE(display, 0);
  const std::string number = std::to_string(display);
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const std::string start_x =
      "Xvfb :" + number + " -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 & x=$!; ";
  const std::string wait_x =
      "for i in $(seq 100); do [ -S /tmp/.X11-unix/X" + number + " ] && break; sleep 0.05; done; ";
  // With no session bus named, libdbus would try to start one for the X display and keep what
  // that attempt read until the process ends; a bus address that answers nothing ends the
  // search at once.
  const std::string no_bus = "unix:path=/tmp/.vorel-no-session-bus-" + std::to_string(::getpid());
  const std::string child =
      "DISPLAY=:" + number + " DBUS_SESSION_BUS_ADDRESS=" + no_bus +
      " QT_QPA_PLATFORM=xcb VOREL_SPECTRUM_X11_CHILD=1 '" + self +
      "' --gtest_filter=" + "SpectrumCanvasTest.OnAnXDisplayTheScreenShowsTheBars 2>&1; s=$?; ";
  const auto outcome =
      testing::RunCommand(start_x + wait_x + child + "kill $x; wait $x 2>/dev/null; exit $s");
  EXPECT_EQ(outcome.code, 0) << outcome.output;
}

}  // namespace
}  // namespace vorel::flow
