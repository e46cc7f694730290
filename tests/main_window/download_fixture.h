#ifndef VOREL_TESTS_MAIN_WINDOW_DOWNLOAD_FIXTURE_H_
#define VOREL_TESTS_MAIN_WINDOW_DOWNLOAD_FIXTURE_H_

// The real main window with a song "resolved" by the test (the address and name the download
// button saves), the engine's retries shortened, and the message boxes collected as they are
// printed with nobody to answer them.

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "download/engine_settings.h"
#include "download/song_download.h"
#include "download/testing.h"
#include "tests/player_flow/flow_fixture.h"
#include "tests/testing/loopback_server.h"

namespace vorel::flow {

// The widget of a loaded control (null when it has none).
QWidget* ControlWidget(runtime::ControlId control, runtime::WindowId window = ids::kMainWindow);

// The object names of the controls of the main window that Tab (or Shift+Tab) reaches, from
// the one after `start` round to `start` again.
std::vector<std::string> TabWalk(runtime::ControlId start, bool forward = true);

// Right-clicks the main window where no control has a menu of its own, as a person does, and
// waits for the window's menu to open.
void OpenMainWindowMenu();

class DownloadFlowTest : public FlowTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // This test's song download, the one the window's download button drives.
  download::SongDownload& Song() { return features().song_download(); }
  // What the resolver would have found last.
  void Resolve(const std::string& url, const Text& name);
  void ClickDownload() { Click(ids::kDownloadButton); }
  void Tick() { Click(ids::kDownloadTimer); }
  // Processes events until the controls are idle again after a download; false on time-out.
  bool WaitForIdle(int timeout_ms = 30000);
  bool Visible(runtime::ControlId c) {
    return runtime::ReadIntProperty(ids::kMainWindow, c, ids::kPropVisible) != 0;
  }
  int BarPosition() {
    return runtime::ReadIntProperty(ids::kMainWindow, ids::kDownloadProgress, ids::kPropPosition);
  }
  Text LabelCaption() {
    return runtime::ReadTextProperty(ids::kMainWindow, ids::kDownloadLabel, ids::kPropCaption);
  }
  // The message boxes shown since the last call (their texts, UTF-8).
  std::vector<std::string> TakeMessages();
  // Lets the message boxes through to standard error again (a death test needs it free).
  void StopCollectingMessages();
  // Names in the Musics folder (hidden ones too), sorted.
  std::vector<std::string> MusicsEntries() const;
  fs::path Musics() const { return work_ / "Musics"; }
  // The message of a complete download into this test's data folder.
  std::string Done() const { return "下载完成，路径为" + Musics().string() + "文件夹。"; }
  static std::string ReadFile(const fs::path& path);

 private:
  Text url_;
  Text name_;
  bool capturing_ = false;
};

}  // namespace vorel::flow

#endif  // VOREL_TESTS_MAIN_WINDOW_DOWNLOAD_FIXTURE_H_
