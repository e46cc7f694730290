#include "tests/main_window/download_fixture.h"

#include <QTest>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <fstream>
#include <sstream>

#include "ui/qt/testing.h"
#include "ui/qt/window_input.h"

namespace vorel::flow {

QWidget* ControlWidget(runtime::ControlId control, runtime::WindowId window) {
  return reinterpret_cast<QWidget*>(runtime::WindowHandle(window, control));
}

std::vector<std::string> TabWalk(runtime::ControlId start, bool forward) {
  QWidget* window = ControlWidget(ids::kMainWindowSelf);
  ControlWidget(start)->setFocus();
  std::vector<std::string> names;
  for (int i = 0; i < 60; ++i) {
    QTest::keyClick(window->focusWidget(), forward ? Qt::Key_Tab : Qt::Key_Backtab);
    QWidget* now = window->focusWidget();
    if (now == nullptr) break;
    names.push_back(now->objectName().toStdString());
    if (now == ControlWidget(start)) break;
  }
  return names;
}

void OpenMainWindowMenu() {
  auto* window =
      reinterpret_cast<QWidget*>(runtime::WindowHandle(ids::kMainWindow, ids::kMainWindowSelf));
  ASSERT_NE(window, nullptr);
  ASSERT_NE(window->windowHandle(), nullptr);
  QTest::mouseClick(window->windowHandle(), Qt::RightButton, Qt::NoModifier, QPoint(300, 180));
  ASSERT_TRUE(runtime::WaitProcessingEvents([] { return !qt::OpenMenuLabels().empty(); }, 5000));
}

void DownloadFlowTest::SetUp() {
  FlowTest::SetUp();
  download::EngineSettings settings;
  settings.retry_limit = 3;
  settings.retry_wait_ms = 20;
  Song().Downloader().set_engine_settings(settings);
  Song().SetServices({
      .sound_source_url = [this] { return url_; },
      .sound_name = [this] { return name_; },
  });
  ::testing::internal::CaptureStderr();
  capturing_ = true;
}

void DownloadFlowTest::TearDown() {
  // The test's download ends quietly, and none of its threads is left to report into the next.
  Song().ReleaseDownloader();
  Song().WaitForWorkers(10000);
  download::WaitForAllTasks(10000);
  StopCollectingMessages();
  FlowTest::TearDown();
}

void DownloadFlowTest::Resolve(const std::string& url, const Text& name) {
  url_ = url;
  name_ = name;
}

bool DownloadFlowTest::WaitForIdle(int timeout_ms) {
  return runtime::WaitProcessingEvents(
      [&] {
        return !Song().DownloadRunning() && Visible(ids::kDownloadButton) &&
               !Visible(ids::kDownloadProgress) && !Visible(ids::kDownloadLabel);
      },
      timeout_ms);
}

std::vector<std::string> DownloadFlowTest::TakeMessages() {
  std::string printed = ::testing::internal::GetCapturedStderr();
  ::testing::internal::CaptureStderr();
  // Each box is printed as its caption line and then its text line.
  std::vector<std::string> texts;
  std::istringstream lines(printed);
  std::string line;
  while (std::getline(lines, line)) {
    if (line == "信息：" && std::getline(lines, line)) texts.push_back(line);
  }
  return texts;
}

void DownloadFlowTest::StopCollectingMessages() {
  if (capturing_) ::testing::internal::GetCapturedStderr();
  capturing_ = false;
}

std::vector<std::string> DownloadFlowTest::MusicsEntries() const {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(Musics(), ec)) {
    names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string DownloadFlowTest::ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace vorel::flow
