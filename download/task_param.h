#ifndef VOREL_DOWNLOAD_TASK_PARAM_H_
#define VOREL_DOWNLOAD_TASK_PARAM_H_

// The description of one transfer that an owner fills and hands to `Download::Start`, and the
// callbacks through which the engine reports back.

#include <cstdint>
#include <functional>

#include "runtime/text.h"

namespace vorel::download {

// Notification types sent to `NotifyCallback`. `pointer` is the connection concerned (an opaque
// identity; null for kTaskEnded).
enum NotifyType : std::int32_t {
  kTotalSize = 3,          // value = total size, or -1 when the reply does not say it (a
                           // chunked or close-delimited body, read to its end over one
                           // connection); once per task, from connection 1
  kTaskEnded = 4,          // value = total size (a body of unknown size: its length once
                           // complete), or the received count after a stop;
                           // value2 = 1 only when every byte of the file was written and the
                           // file is in place under its final name, else 0 (the file is gone)
  kConnectionStarted = 5,  // value = 0
  kFirstSegment = 6,       // value = offset the connection starts at, value2 = segment end
  kFurtherSegment = 7,     // as kFirstSegment
  kConnectionDone = 8,     // value = offset reached in the connection's last segment
  kConnectionFailed = 9,   // as kConnectionDone
  kBytesArrived = 16,      // value = bytes of this read
  kSameNameExists = 18,    // value = size of the existing file; called directly on the probe's
                           // thread. Result 0: pick "(1)".."(99)" names; 1: give up; 2: the
                           // callback changed the local path (see `SetTaskLocalPath`); else
                           // give up.
};

// Status line levels for `StatusCallback`.
enum StatusLevel : std::int32_t {
  kInformation = 0,
  kRequestSent = 1,
  kReplyHeader = 2,
  kError = 3,
};

// Notification callback: (type, connection, value, value2, task) -> result. Values are 64-bit so
// that files of 4 GiB and more report their sizes whole. Called on the task thread in queue
// order, except kSameNameExists (the probe's thread). Must not call back into the same `Download`.
using NotifyCallback =
    std::function<std::int32_t(std::int32_t type, const void* pointer, std::int64_t value,
                               std::int64_t value2, const void* task)>;

// Status callback: one status line (code page 936) with its level, on the task thread.
using StatusCallback = std::function<void(const runtime::Text& line, std::int32_t level)>;

// The task record. Defaults are those of a freshly created record; a copy is taken at start, so
// later changes do not affect a running task. Plain value type (thread-compatible).
struct TaskParam {
  // Kept for callers that set it (the song download does); the engine only forces the 0x1000
  // bit into its copy and does not branch on the flags.
  std::int32_t TaskFlags = 1;
  runtime::Text Url;
  runtime::Text LocalPath;  // file to write; ending in "/" asks the engine to pick the name
  std::int32_t ConnectionCount = 1;
  std::int32_t SpeedLimit = 0;  // bytes per second for the whole task; 0 = unlimited
  std::int32_t ConnectTimeout = 20000;
  std::int32_t SendTimeout = 20000;
  std::int32_t ReceiveTimeout = 20000;
  std::int32_t StopWait = 1000;
  std::int32_t ReceiveBlockSize = 20480;
  download::StatusCallback StatusCallback;
  download::NotifyCallback NotifyCallback;
  runtime::Text HttpProxy;  // "host[:port]"; when set, requests go through this proxy
  runtime::Text Referer;    // when empty, the address up to its last "/"
};

}  // namespace vorel::download

#endif  // VOREL_DOWNLOAD_TASK_PARAM_H_
