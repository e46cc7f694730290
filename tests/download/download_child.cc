// A download in a process of its own, for the tests that kill it or load a shim into it.
//
//   download_child URL LOCAL_PATH [STOP_AFTER_BYTES]
//
// Exit code 0 when the file was completed, 1 when the task ended otherwise, 2 on bad use, 3
// when OpenSSL was mapped before the download started (the engine loads it for https only).
// With STOP_AFTER_BYTES, the download is released once that many bytes have come. Error status
// lines go to standard error as they are (code page 936), one a line.

#include <signal.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "download/download.h"

namespace {

bool OpenSslMapped() {
  std::ifstream maps("/proc/self/maps");
  std::stringstream text;
  text << maps.rdbuf();
  return text.str().find("/libssl.so") != std::string::npos ||
         text.str().find("/libcrypto.so") != std::string::npos;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  if (OpenSslMapped()) return 3;
  const long long stop_after = argc > 3 ? std::atoll(argv[3]) : -1;
  signal(SIGPIPE, SIG_IGN);  // as in the program
  std::mutex mu;
  std::condition_variable cv;
  bool ended = false;
  bool complete = false;
  vorel::download::TaskParam param;
  param.Url = argv[1];
  param.LocalPath = argv[2];
  param.ConnectionCount = 5;
  param.StatusCallback = [](const vorel::runtime::Text& line, std::int32_t level) {
    if (level != vorel::download::kError) return;
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fputc('\n', stderr);
  };
  param.NotifyCallback = [&](std::int32_t type, const void*, std::int64_t, std::int64_t value2,
                             const void*) -> std::int32_t {
    if (type == vorel::download::kTaskEnded) {
      std::lock_guard<std::mutex> lock(mu);
      ended = true;
      complete = value2 == 1;
      cv.notify_all();
    }
    return 0;
  };
  vorel::download::Download download;
  if (!download.Start(param)) return 1;
  std::unique_lock<std::mutex> lock(mu);
  while (!ended) {
    cv.wait_for(lock, std::chrono::milliseconds(5));
    if (stop_after >= 0 && !ended && download.ReceivedBytes64() >= stop_after) {
      lock.unlock();
      download.Release();
      lock.lock();
    }
  }
  return complete ? 0 : 1;
}
