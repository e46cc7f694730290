// What makes a finished download last and keeps unfinished ones from piling up: the file is on
// the disk before it takes its name (and the name in its folder after), and the hidden part
// files that killed downloads leave where the file system has no unnamed files are removed at
// the next start, unless a running download still holds them.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "download/download.h"
#include "download/internal/output_file.h"
#include "platform/testing.h"
#include "tests/download/engine_fixture.h"
#include "tests/testing/loopback_server.h"

namespace vorel::download::testing {
namespace {

using internal::OutputFile;

class PartFilesTest : public EngineTest {
 protected:
  // The part files in the folder, by name.
  std::vector<std::string> Parts() const {
    std::vector<std::string> parts;
    for (const std::string& name : FolderEntries()) {
      if (OutputFile::IsPartFileName(name)) parts.push_back(name);
    }
    return parts;
  }
  // Waits until the folder holds `n` part files; false after 20 s.
  bool WaitForParts(std::size_t n) const {
    for (int i = 0; i < 2000; ++i) {
      if (Parts().size() == n) return true;
      usleep(10000);
    }
    return false;
  }
};

TEST_F(PartFilesTest, AFinishedDownloadIsFlushedBeforeItTakesItsNameAndItsFolderAfter) {
  const std::string body = MakeBody(300000);
  LoopbackServer server([&](const Request& r) { return ServeBody(r, body); });
  for (bool unnamed : {true, false}) {
    SCOPED_TRACE(unnamed ? "unnamed file" : "hidden part file");
    settings_ = EngineSettings();
    settings_.retry_wait_ms = 20;
    settings_.unnamed_files = unnamed;
    const std::string name = unnamed ? "u.mp3" : "h.mp3";
    platform::ScopedFileStepRecord record;
    Recorder recorder;
    ASSERT_EQ(RunWith(Param(server.Url("/" + name), name), recorder).value2, 1);
    ASSERT_TRUE(ReadFile(PathOf(name)) == body);
    std::vector<std::string> steps = record.steps();
    ASSERT_EQ(steps.size(), 3u);
    std::string written;  // what the bytes went to before the name
    if (unnamed) {
      written = "unnamed:" + PathOf(name);
    } else {
      written = steps[0].substr(steps[0].rfind('/') + 1);
      EXPECT_TRUE(OutputFile::IsPartFileName(written) && written.rfind("." + name, 0) == 0)
          << written;
      written = dir_ + "/" + written;
    }
    EXPECT_EQ(steps[0], "sync " + written);
    EXPECT_EQ(steps[1], "name " + written + " " + PathOf(name));
    EXPECT_EQ(steps[2], "sync-folder " + dir_);
  }
  // A download that fails names nothing.
  LoopbackServer missing([](const Request&) {
    return Reply().Send(HeaderText("HTTP/1.1 404 Not Found", {"Content-Length: 0"}));
  });
  platform::ScopedFileStepRecord record;
  ASSERT_EQ(Run(Param(missing.Url("/m.mp3"), "m.mp3")).value2, 0);
  EXPECT_TRUE(record.steps().empty());
}

TEST_F(PartFilesTest, OnlyOurExactNameFormIsAPartFile) {
  for (const char* name : {".a.abcdefgh.part", ".歌.mp3.0123456z.part", "..mp3.zzzzzzzz.part"}) {
    EXPECT_TRUE(OutputFile::IsPartFileName(name)) << name;
  }
  for (const char* name : {"a.mp3", "..abcdefgh.part", "a.mp3.abcdefgh.part", ".a.ABCDEFGH.part",
                           ".a.abcdefg.part", ".a.abcdefghi.part", ".a.abcdefgh.part.bak",
                           ".a.abcdefgh.parts", ".a-abcdefgh.part", ".a.abc-efgh.part", ""}) {
    EXPECT_FALSE(OutputFile::IsPartFileName(name)) << name;
  }
}

// Downloads in processes of their own on a file system without unnamed files (the shim): one
// killed, one still running. Only the killed one's part goes; links, folders, pipes and every
// other name stay as they are.
TEST_F(PartFilesTest, StalePartsGoAtStartButHeldOnesAndOtherFilesStay) {
  const std::string body = MakeBody(600000);
  LoopbackServer server([&](const Request& r) {
    const std::size_t start = static_cast<std::size_t>(r.range_start.value_or(0));
    const std::string head = *ServeBody(r, body).steps()[0].bytes;
    return Reply().Send(head).Send(body.substr(start, 1000)).Stall();
  });
  pid_t killed = SpawnChild({server.Url("/k.mp3"), PathOf("k.mp3")}, VOREL_NO_TMPFILE_SHIM);
  ASSERT_TRUE(WaitForParts(1));
  kill(killed, SIGKILL);
  ExitCode(killed);
  const std::string stale = Parts()[0];
  pid_t running = SpawnChild({server.Url("/r.mp3"), PathOf("r.mp3")}, VOREL_NO_TMPFILE_SHIM);
  ASSERT_TRUE(WaitForParts(2));
  std::string held = Parts()[0] == stale ? Parts()[1] : Parts()[0];

  const std::string outside = dir_ + "/outside.mp3";
  std::ofstream(outside) << "kept";
  const std::vector<std::string> others = {"song.mp3", ".song.mp3.abcdefgh.part.bak",
                                           ".song.mp3.ABCDEFGH.part", ".song.mp3.abc.part",
                                           "song.mp3.abcdefgh.part"};
  for (const std::string& name : others) std::ofstream(PathOf(name)) << name;
  ASSERT_EQ(symlink(outside.c_str(), PathOf(".link.mp3.abcdefgh.part").c_str()), 0);
  ASSERT_EQ(mkdir(PathOf(".dir.mp3.abcdefgh.part").c_str(), 0755), 0);
  ASSERT_EQ(mkfifo(PathOf(".pipe.mp3.abcdefgh.part").c_str(), 0644), 0);
  std::vector<std::string> before = FolderEntries();

  EXPECT_EQ(RemoveStalePartFiles(runtime::TextFromUtf8(dir_)), 1);
  std::vector<std::string> after = before;
  after.erase(std::find(after.begin(), after.end(), stale));
  EXPECT_EQ(FolderEntries(), after);
  EXPECT_EQ(ReadFile(outside), "kept");
  for (const std::string& name : others) EXPECT_EQ(ReadFile(PathOf(name)), name);

  // Once its download is gone, the part it held is stale too.
  kill(running, SIGKILL);
  ExitCode(running);
  EXPECT_EQ(RemoveStalePartFiles(runtime::TextFromUtf8(dir_)), 1);
  after.erase(std::find(after.begin(), after.end(), held));
  EXPECT_EQ(FolderEntries(), after);
}

}  // namespace
}  // namespace vorel::download::testing
