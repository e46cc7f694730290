#ifndef VOREL_DOWNLOAD_SONG_DOWNLOAD_H_
#define VOREL_DOWNLOAD_SONG_DOWNLOAD_H_

// Saving the resolved song as an MP3 file in the "Musics" folder of the working directory, with
// its progress in the main window: the download button hides while a download runs, the progress
// bar and the percentage label show, and the download timer refreshes them every 100 ms. At the
// end a message box says whether the file is complete or why it is not.
//
// Handlers (OnDownloadClicked, DownloadTimerTick, CancelDownload) run on the user-interface
// thread; the start runs on a short-lived worker; the engine's notifications come on its task
// thread. Controls are reached only through the runtime bridge.

#include <functional>
#include <memory>

#include "download/download.h"
#include "download/task_param.h"
#include "runtime/text.h"

namespace vorel::download {

namespace internal {
struct SongShared;
}

// Where the song to save comes from: the address and name the link resolver found last. Both
// are read on the user-interface thread at the click, and the worker gets copies.
struct SongDownloadServices {
  std::function<runtime::Text()> sound_source_url;
  std::function<runtime::Text()> sound_name;
};

// The download of the main window. The application makes one and binds the handlers below to
// it; the members named as the program's globals (DownloadTaskParam, Downloader,
// DownloadTotalBytes) are those globals.
//
// Lifetime. What the start worker and the engine's callbacks touch (the task record, the
// download object, the download shown, the total) lives in a record this object shares with
// them: a start worker holds it until it returns, and each task's callbacks hold it weakly, so
// a task still ending on its own thread after this object is gone, or after the program's end
// began, finds no download of its own shown and reaches no window. The first click registers
// the exit routine that stops the running task at program end, for this object; the object
// withdraws it when it is destroyed.
class SongDownload {
 public:
  explicit SongDownload(SongDownloadServices services = {});
  // Forgets the download shown and stops its task, whose partial file the engine removes;
  // shows nothing. UI thread.
  ~SongDownload();
  SongDownload(const SongDownload&) = delete;
  SongDownload& operator=(const SongDownload&) = delete;

  // Replaces where the song comes from. UI thread.
  void SetServices(SongDownloadServices services) { services_ = std::move(services); }

  // The click on the download button: does nothing while no song was resolved (empty address)
  // or a download runs; otherwise hides the button, shows the bar and label, starts the timer
  // and hands a copy of the address and name to the StartDownload worker, which creates
  // "Musics" (0755) when missing, fills DownloadTaskParam and starts the task. A start that
  // fails puts the controls back to idle and says why in a message box.
  //
  // The task's notification callback (OnDownloadNotify) returns 0 for every type (for type 18,
  // 0 lets the engine pick a "(1)".."(99)" name) and keeps the total the engine reports. At the
  // task's end the controls return to idle and a message box says
  // "下载完成，路径为当前目录下的\Musics文件夹。" only when every byte is in the file under its
  // final name; otherwise it says the download failed and, when the engine said, why.
  void OnDownloadClicked();

  // Tick of the download timer: the label takes the bar's position (so it trails one tick),
  // then the bar shows received / total in percent, rounded half away from zero and kept in
  // 0..100; 0 while the total is not known yet.
  void DownloadTimerTick();

  // True from the click until the download has ended or was cancelled. Any thread.
  bool DownloadRunning() const;

  // Stops the running download, whose partial file the engine removes, returns the controls to
  // idle and says the download was cancelled. Nothing when no download runs. UI thread.
  void CancelDownload();

  // What the exit routine does at program end, when the windows are gone: forgets the download
  // shown, so nothing of it reaches a window, and stops its task. Shows nothing. UI thread.
  void ReleaseDownloader();

  // Processes events until every start worker has returned or `timeout_ms` passed; true when
  // they have. For orderly ends: a worker may be carrying window calls to this thread.
  bool WaitForWorkers(int timeout_ms);

  // The globals of the download: the reused task record, the download object and the total
  // the engine reported last. Any thread.
  TaskParam DownloadTaskParam() const;
  Download& Downloader();
  double DownloadTotalBytes() const;

 private:
  SongDownloadServices services_;                 // UI thread only
  std::shared_ptr<internal::SongShared> shared_;  // see Lifetime above
};

// Removes, on a worker of its own, the hidden part files that downloads killed mid-way left in
// "Musics" (see RemoveStalePartFiles), so that none accumulate over the runs. Start-up calls it
// once the data folder is entered. Any thread.
void RemoveLeftoverParts();

// The file name a song is saved under inside "Musics": the name made safe for the file system
// (see SafeFileName), short enough that ".mp3" and a "(99)" still fit into 255 bytes.
runtime::Text SongFileName(const runtime::Text& sound_name);

}  // namespace vorel::download

#endif  // VOREL_DOWNLOAD_SONG_DOWNLOAD_H_
