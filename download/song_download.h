#ifndef VOREL_DOWNLOAD_SONG_DOWNLOAD_H_
#define VOREL_DOWNLOAD_SONG_DOWNLOAD_H_

// Saving the resolved song as an MP3 file in the "Musics" folder of the working directory, with
// its progress in the main window: the download button hides while a download runs, the progress
// bar and the percentage label show, and the download timer refreshes them every 100 ms. At the
// end a message box says whether the file is complete or why it is not.
//
// Handlers (OnDownloadClicked, DownloadTimerTick, CancelDownload) run on the user-interface
// thread; the start runs on a short-lived worker; OnDownloadNotify runs on the engine's task
// thread. Controls are reached only through the runtime bridge.

#include <functional>

#include "download/download.h"
#include "download/task_param.h"
#include "runtime/text.h"

namespace vorel::download {

// Where the song to save comes from: the address and name the link resolver found last. Both
// are read on the user-interface thread at the click, and the worker gets copies.
struct SongDownloadServices {
  std::function<runtime::Text()> sound_source_url;
  std::function<runtime::Text()> sound_name;
};
void SetSongDownloadServices(SongDownloadServices services);

// The click on the download button: does nothing while no song was resolved (empty address) or
// a download runs; otherwise hides the button, shows the bar and label, starts the timer and
// hands a copy of the address and name to the StartDownload worker, which creates "Musics"
// (0755) when missing, fills DownloadTaskParam and starts the task. A start that fails puts the
// controls back to idle and says why in a message box.
void OnDownloadClicked();

// The engine's notification callback; returns 0 for every type (for type 18, 0 lets the engine
// pick a "(1)".."(99)" name). At the task's end the controls return to idle and a message box
// says "下载完成，路径为当前目录下的\Musics文件夹。" only when every byte is in the file under its
// final name; otherwise it says the download failed and, when the engine said, why.
std::int32_t OnDownloadNotify(std::int32_t type, const void* pointer, std::int64_t value,
                              std::int64_t value2, const void* task);

// Tick of the download timer: the label takes the bar's position (so it trails one tick), then
// the bar shows received / total in percent, rounded half away from zero and kept in 0..100; 0
// while the total is not known yet.
void DownloadTimerTick();

// True from the click until the download has ended or was cancelled. Any thread.
bool DownloadRunning();

// Stops the running download, whose partial file the engine removes, returns the controls to
// idle and says the download was cancelled. Nothing when no download runs. UI thread.
void CancelDownload();

// Removes, on a worker of its own, the hidden part files that downloads killed mid-way left in
// "Musics" (see RemoveStalePartFiles), so that none accumulate over the runs. Start-up calls it
// once the data folder is entered. Any thread.
void RemoveLeftoverParts();

// The file name a song is saved under inside "Musics": the name made safe for the file system
// (see SafeFileName), short enough that ".mp3" and a "(99)" still fit into 255 bytes.
runtime::Text SongFileName(const runtime::Text& sound_name);

// The globals of the download task: the reused task record, the download object and the total
// the engine reported last.
TaskParam DownloadTaskParam();
Download& Downloader();
double DownloadTotalBytes();

// Stops a running task, waits for start workers still under way and forgets the state, for tests
// that run downloads one after another in one process. UI thread.
void ResetSongDownloadForTesting();

}  // namespace vorel::download

#endif  // VOREL_DOWNLOAD_SONG_DOWNLOAD_H_
