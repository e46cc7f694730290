#include "shell/main_window.h"

#include <atomic>
#include <cmath>

#include "app/window_ids.h"
#include "runtime/bridge.h"
#include "runtime/threads.h"
#include "runtime/window_ops.h"

namespace vorel::shell {
namespace {

using namespace runtime::literals;
using namespace ids;
using runtime::ReadIntProperty;
using runtime::WriteProperty;

constexpr int kPanelShownTop = 17;
constexpr int kPanelHiddenTop = -272;

}  // namespace

MainWindow::MainWindow(ShellServices services) : services_(std::move(services)) {}

// Moves a panel one pixel per step towards `to`, letting events run between steps, or at once
// while a song plays. The slide stops when the panel reaches `to` or the program is ending; when
// another handler moves the panel meanwhile, the next step starts from where it put it, and at
// most 1000 steps are taken, so a panel pushed the other way cannot keep the slide going.
void MainWindow::MovePanel(runtime::ControlId panel, int to) {
  if (services_.playing && services_.playing()) {
    WriteProperty(kMainWindow, panel, kPropTop, to);
    return;
  }
  const int step = to > ReadIntProperty(kMainWindow, panel, kPropTop) ? 1 : -1;
  for (int guard = 0; guard < 1000; ++guard) {
    int top = ReadIntProperty(kMainWindow, panel, kPropTop);
    if (top == to || runtime::ProgramEnding()) return;
    runtime::ProcessEvents();
    WriteProperty(kMainWindow, panel, kPropTop,
                  ReadIntProperty(kMainWindow, panel, kPropTop) + step);
    runtime::ProcessEvents();
  }
}

void MainWindow::SlidePanel(int which) {
  const runtime::ControlId panel = which == 1 ? kPlayListPanel : kSearchPanel;
  const int top = ReadIntProperty(kMainWindow, panel, kPropTop);
  if (top == kPanelShownTop) {
    MovePanel(panel, kPanelHiddenTop);
  } else if (top == kPanelHiddenTop) {
    MovePanel(panel, kPanelShownTop);
  }
}

void MainWindow::CollapseSearchPanel() { SlidePanel(2); }
void MainWindow::CollapsePlayListPanel() { SlidePanel(1); }

void MainWindow::TogglePlayListPanel() {
  if (play_list_open_) {
    play_list_open_ = false;
    WriteProperty(kMainWindow, kPlayListToggle, kPropCaption, "打开列表"_t);
    WriteProperty(kMainWindow, kMainWindowSelf, kPropWidth, 448);
    return;
  }
  play_list_open_ = true;
  WriteProperty(kMainWindow, kPlayListToggle, kPropCaption, "收起列表"_t);
  WriteProperty(kMainWindow, kMainWindowSelf, kPropWidth, 690);
  SlidePanel(1);
}

void MainWindow::TogglePlayModeChooser() {
  bool shown = ReadIntProperty(kMainWindow, kModeChooser, kPropVisible) == 1;
  if (!shown && services_.mark_button && services_.current_play_mode) {
    using playlist::PlayMode;
    const std::pair<runtime::ControlId, PlayMode> buttons[] = {
        {kModeSinglePlay, PlayMode::kSinglePlay},
        {kModeSingleLoop, PlayMode::kSingleLoop},
        {kModePlayAll, PlayMode::kPlayAll},
        {kModeLoopAll, PlayMode::kLoopAll},
        {kModeRandom, PlayMode::kRandom}};
    const PlayMode now = services_.current_play_mode();
    for (const auto& [button, mode] : buttons) services_.mark_button(button, mode == now);
  }
  WriteProperty(kMainWindow, kModeChooser, kPropVisible, !shown);
}

void MainWindow::ToggleVolumePanel() {
  bool shown = ReadIntProperty(kMainWindow, kVolumePanel, kPropVisible) != 0;
  WriteProperty(kMainWindow, kVolumePanel, kPropVisible, !shown);
}

void MainWindow::OnSearchBoxFocus() {
  WriteProperty(kMainWindow, kSearchBox, kPropCaption, runtime::Text());
}

void MainWindow::OnSearchBoxBlur() {
  WriteProperty(kMainWindow, kSearchBox, kPropCaption, "提供一点点的搜索服务，功能不咋滴"_t);
}

void MainWindow::HideMainWindow() {
  const ShellServices& s = services_;
  if (s.tray_available && !s.tray_available()) {
    if (s.minimise_main_window) s.minimise_main_window();
    return;
  }
  WriteProperty(kMainWindow, kMainWindowSelf, kPropVisible, false);
}

void MainWindow::OnTrayIconEvent() {
  WriteProperty(kMainWindow, kMainWindowSelf, kPropVisible, true);
}

void MainWindow::OnCloseClicked() {
  exit_confirmed_ = false;  // an earlier confirmation whose exit failed must not linger
  runtime::LoadWindow(kExitDialog, std::nullopt, true);
  if (!exit_confirmed_) return;
  if (services_.stop_playback) services_.stop_playback();
  if (!runtime::StartThread([] { ExitAnimation(); })) runtime::ExitProgram(0);
}

void ExitAnimation() {
  int h = ReadIntProperty(kMainWindow, kMainWindowSelf, kPropHeight);
  int t = ReadIntProperty(kMainWindow, kMainWindowSelf, kPropTop);
  // The window climbs 50 pixels a step until its lower edge is above the screen. Window managers
  // that keep windows on screen (and Wayland) ignore the moves, so the steps are bounded by what
  // the climb needs, and the program ends in any case.
  const int max_steps = static_cast<int>(std::ceil((t + h) / 50.0)) + 1;
  for (int step = 0; step < max_steps && t - (0.0 - h) >= -0.0000001; ++step) {
    WriteProperty(kMainWindow, kMainWindowSelf, kPropTop, t - 50);
    runtime::Delay(1);
    h = ReadIntProperty(kMainWindow, kMainWindowSelf, kPropHeight);
    t = ReadIntProperty(kMainWindow, kMainWindowSelf, kPropTop);
  }
  runtime::ExitProgram(0);
}

void MainWindow::ConfirmExit() {
  if (services_.save_play_list_at_exit) services_.save_play_list_at_exit();
  exit_confirmed_ = true;
  runtime::UnloadWindow(kExitDialog);
}

void MainWindow::CancelExit() { runtime::UnloadWindow(kExitDialog); }

void MainWindow::CloseExitDialog() {
  if (services_.save_play_list_at_exit) services_.save_play_list_at_exit();
  runtime::UnloadWindow(kExitDialog);
}

}  // namespace vorel::shell
