#ifndef VOREL_DOWNLOAD_DOWNLOAD_H_
#define VOREL_DOWNLOAD_DOWNLOAD_H_

// The download object: an owner's handle on at most one running transfer.
//
//   Download downloader;
//   TaskParam param;
//   param.Url = "http://host/song.mp3";
//   param.LocalPath = "Musics/song.mp3";
//   param.ConnectionCount = 5;
//   param.NotifyCallback = [](int32_t type, const void*, int64_t value, int64_t value2,
//                             const void*) { ...; return 0; };
//   if (!downloader.Start(param)) { /* nothing runs, no notification will come */ }
//
// A started task runs on its own task thread with one thread per connection; it reports through
// the callbacks of its TaskParam and ends with notification 4 (`kTaskEnded`). The object is
// emptied just before that notification, so the owner may start the next task from inside it.

#include <cstdint>
#include <memory>

#include "download/engine_settings.h"
#include "download/task_param.h"

namespace vorel::download {

namespace internal {
struct TaskSlot;
}

class Download {  // Thread-safe.
 public:
  // Every task this object starts runs with a copy of `settings`.
  explicit Download(EngineSettings settings = {});
  ~Download();  // releases a running task (see Release)
  Download(const Download&) = delete;
  Download& operator=(const Download&) = delete;

  // Copies `param`, forces the 0x1000 bit into TaskFlags and starts the task thread. False, and
  // nothing started, when this object already holds a task, when the address does not parse to
  // an HTTP address with a host (see ParseTransferAddress) or the thread cannot be had.
  bool Start(const TaskParam& param);

  // Bytes received so far by the running task; 0 when no task runs. The 32-bit form saturates at
  // INT32_MAX.
  std::int32_t ReceivedBytes() const;
  std::int64_t ReceivedBytes64() const;

  // True while this object holds a task.
  bool HasTask() const;

  // The settings the next Start hands its task; a running task keeps the ones it started with.
  void set_engine_settings(EngineSettings settings);

  // Stops a running task: every connection leaves its loops within about 10 ms, the call waits
  // up to the task's StopWait for them, and the task then ends on its own thread with
  // notification 4 carrying the received count and value2 = 0: the unfinished file is removed
  // (even when its last byte had come). The object is empty afterwards.
  void Release();

 private:
  std::shared_ptr<internal::TaskSlot> slot_;
};

// For use inside a kSameNameExists callback that answers 2: gives the task its new local path.
// `task` is the callback's last argument. False when `task` is not a live task.
bool SetTaskLocalPath(const void* task, const runtime::Text& local_path);

// Where the file system cannot hold unnamed files, a download writes to a hidden
// ".<name>.<random>.part" beside its final name, and one killed mid-way leaves that file behind.
// Removes such leftovers from `folder`: files of exactly that form that no running download
// holds, in this process or another. Every other entry stays. The count removed. Any thread;
// it reads the whole folder, so not the user-interface thread.
int RemoveStalePartFiles(const runtime::Text& folder);

}  // namespace vorel::download

#endif  // VOREL_DOWNLOAD_DOWNLOAD_H_
