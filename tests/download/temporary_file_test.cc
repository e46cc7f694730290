// Where the file system refuses unnamed files (simulated with an LD_PRELOAD shim that refuses
// O_TMPFILE), a download runs in a process of its own and writes to a hidden temporary name:
// killed, stopped or finished, nothing unfinished ever appears under the final name.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <vector>

#include "tests/download/engine_fixture.h"
#include "tests/testing/loopback_server.h"

namespace vorel::download::testing {
namespace {

bool IsTemporaryName(const std::string& name) {
  return name.size() > 6 && name[0] == '.' && name.rfind(".part") == name.size() - 5;
}

class TemporaryFileTest : public EngineTest {
 protected:
  // Starts the child downloader with the shim loaded; its process id.
  pid_t Spawn(const std::string& url, const std::string& name, long long stop_after = -1) {
    std::vector<std::string> args = {url, PathOf(name)};
    if (stop_after >= 0) args.push_back(std::to_string(stop_after));
    return SpawnChild(args, VOREL_NO_TMPFILE_SHIM);
  }
};

TEST_F(TemporaryFileTest, KilledStoppedOrFinishedNothingUnfinishedTakesTheFinalName) {
  const std::string body = MakeBody(600000);
  std::atomic<bool> stall{true};
  LoopbackServer server([&](const Request& r) {
    if (!stall) return ServeBody(r, body);
    // The header of the real reply, its first 1000 bytes, then nothing more.
    const std::size_t start = static_cast<std::size_t>(r.range_start.value_or(0));
    const std::string head = *ServeBody(r, body).steps()[0].bytes;
    return Reply().Send(head).Send(body.substr(start, 1000)).Stall();
  });

  // Killed mid-download: the hidden temporary file is all that remains.
  pid_t child = Spawn(server.Url("/k.mp3"), "k.mp3");
  bool started = false;
  for (int i = 0; i < 2000 && !started; ++i) {
    std::vector<std::string> entries = FolderEntries();
    started = server.Requests().size() == 5 && entries.size() == 1 && IsTemporaryName(entries[0]);
    if (!started) usleep(10000);
  }
  ASSERT_TRUE(started) << "the download did not start on a temporary name";
  kill(child, SIGKILL);
  ExitCode(child);
  std::vector<std::string> left = FolderEntries();
  ASSERT_EQ(left.size(), 1u);
  EXPECT_TRUE(IsTemporaryName(left[0])) << left[0];
  EXPECT_FALSE(Exists(PathOf("k.mp3")));

  // Stopped by its owner: its temporary file goes.
  child = Spawn(server.Url("/s.mp3"), "s.mp3", 3000);
  EXPECT_EQ(ExitCode(child), 1);
  EXPECT_EQ(FolderEntries(), left);

  // Finished: the final name appears with every byte, and the leftover of the killed run was
  // not taken for an existing song of that name.
  stall = false;
  child = Spawn(server.Url("/k.mp3"), "k.mp3");
  EXPECT_EQ(ExitCode(child), 0);
  EXPECT_TRUE(ReadFile(PathOf("k.mp3")) == body);
  std::vector<std::string> expected = {left[0], "k.mp3"};
  EXPECT_EQ(FolderEntries(), expected);
}

}  // namespace
}  // namespace vorel::download::testing
