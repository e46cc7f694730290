// Command-line driver of the download engine for the benchmark script:
//   download_driver URL OUTPUT [connections] [receive-block-bytes]
// Downloads URL to OUTPUT and exits 0 when the file is complete, 1 otherwise. Status lines of
// level 3 (errors) go to standard error as UTF-8.

#include <signal.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "download/download.h"
#include "runtime/text.h"

int main(int argc, char** argv) {
  using namespace vorel;
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s URL OUTPUT [connections] [receive-block-bytes]\n", argv[0]);
    return 2;
  }
  // As in the program: a peer that hangs up must not end the process through a TLS write.
  signal(SIGPIPE, SIG_IGN);
  std::mutex mu;
  std::condition_variable cv;
  bool ended = false;
  bool complete = false;

  download::TaskParam param;
  param.Url = argv[1];
  param.LocalPath = runtime::TextFromUtf8(argv[2]);
  if (argc > 3) param.ConnectionCount = std::atoi(argv[3]);
  if (argc > 4) param.ReceiveBlockSize = std::atoi(argv[4]);
  param.NotifyCallback = [&](std::int32_t type, const void*, std::int64_t, std::int64_t value2,
                             const void*) -> std::int32_t {
    if (type == download::kTaskEnded) {
      std::lock_guard<std::mutex> lock(mu);
      ended = true;
      complete = value2 == 1;
      cv.notify_all();
    }
    return 0;
  };
  param.StatusCallback = [](const runtime::Text& line, std::int32_t level) {
    if (level == download::kError) {
      std::fprintf(stderr, "%s\n", runtime::Utf8FromText(line).c_str());
    }
  };

  download::Download downloader;
  if (!downloader.Start(param)) {
    std::fprintf(stderr, "the download did not start\n");
    return 1;
  }
  std::unique_lock<std::mutex> lock(mu);
  cv.wait(lock, [&] { return ended; });
  return complete ? 0 : 1;
}
