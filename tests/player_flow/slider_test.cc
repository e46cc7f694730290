// The position slider under a real mouse: the press, move and release reach the slider widget
// through Qt's input path on the offscreen platform, as a person's clicks do.
#include <QApplication>
#include <QSlider>
#include <QTest>

#include "tests/player_flow/flow_fixture.h"

namespace vorel::flow {
namespace {

using SliderFlowTest = FlowTest;

QSlider* PositionSlider() {
  QList<QSlider*> sliders;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (top->isVisible()) sliders += top->findChildren<QSlider*>();
  }
  // The main window has one slider: the song's position.
  return sliders.size() == 1 ? sliders.first() : nullptr;
}

double PlayedSeconds(const player::Player& player) {
  auto h = player.State().current_stream;
  return player::audio::ChannelBytes2Seconds(h, player::audio::ChannelGetPosition(h));
}

TEST_F(SliderFlowTest, ClickOnTheGrooveSeeksWhereItLandsAndADragCarriesOn) {
  AddLocalRow(songs_ / "long.mp3", "长歌"_t);
  Click(ids::kPlayPauseButton);
  HoldTimers();
  ASSERT_EQ(StreamState(), player::audio::kPlaying);
  QSlider* slider = PositionSlider();
  ASSERT_NE(slider, nullptr);
  ASSERT_EQ(slider->maximum(), 225);
  const int y = slider->height() / 2;
  // How far one pixel moves the value, with some slack for the handle's own width.
  const double slack = 225.0 / slider->width() * 8 + 1;

  // Three quarters along the groove: far from the handle at 0 and far beyond one page step.
  QTest::mousePress(slider, Qt::LeftButton, {}, QPoint(slider->width() * 3 / 4, y));
  EXPECT_NEAR(slider->value(), 225 * 0.75, slack);
  EXPECT_NEAR(PlayedSeconds(player()), slider->value(), 0.5);

  // The press grabbed the handle: moving the mouse with the button held drags it back.
  QTest::mouseMove(slider, QPoint(slider->width() / 4, y));
  QTest::mouseRelease(slider, Qt::LeftButton, {}, QPoint(slider->width() / 4, y));
  EXPECT_NEAR(slider->value(), 225 * 0.25, slack);
  EXPECT_NEAR(PlayedSeconds(player()), slider->value(), 0.5);

  // A click on the handle itself does not move anything.
  const int at = slider->value();
  QTest::mouseClick(slider, Qt::LeftButton, {}, QPoint(slider->width() / 4, y));
  EXPECT_NEAR(slider->value(), at, 1);
}

}  // namespace
}  // namespace vorel::flow
