#ifndef VOREL_TESTS_DOWNLOAD_ENGINE_FIXTURE_H_
#define VOREL_TESTS_DOWNLOAD_ENGINE_FIXTURE_H_

// What the engine tests share: a recorder of notifications and status lines, a temporary
// folder, and engine waits shortened through the test seam.

#include <gtest/gtest.h>
#include <sys/types.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "download/download.h"
#include "download/engine_settings.h"
#include "download/task_param.h"
#include "runtime/text.h"
#include "tests/testing/loopback_server.h"

namespace vorel::download::testing {

// The scripted loopback server the engine tests download from.
using vorel::testing::HeaderText;
using vorel::testing::LoopbackServer;
using vorel::testing::MakeBody;
using vorel::testing::Reply;
using vorel::testing::Request;
using vorel::testing::ServeBody;
using vorel::testing::TlsOptions;

struct Event {
  std::int32_t type;
  const void* pointer;
  std::int64_t value;
  std::int64_t value2;
};

// Collects what a task reports. Its state is shared with the callbacks, so a task that ends
// after the recorder is gone touches nothing freed.
class Recorder {
 public:
  Recorder();
  NotifyCallback Notifier();
  StatusCallback Statuser();
  // The answer to notification 18 (default 0).
  void set_same_name_answer(std::function<std::int32_t(const void* task)> answer);

  // Waits (a hang guard, not a timing check) for notification 4; false when it did not come.
  bool WaitForEnd(int timeout_ms = 60000);
  bool WaitUntil(const std::function<bool()>& done, int timeout_ms = 60000);

  std::vector<Event> events() const;
  std::vector<std::pair<runtime::Text, std::int32_t>> statuses() const;
  bool HasStatus(const runtime::Text& line) const;
  Event end() const;  // notification 4
  std::int64_t bytes_arrived() const;
  std::string StatusDump() const;  // UTF-8, for failure messages

 private:
  struct State;
  std::shared_ptr<State> state_;
};

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A record for `url` writing `name` in the temporary folder, with the owner's settings of
  // the player (5 connections, 10240-byte blocks) and shortened time-outs.
  TaskParam Param(const std::string& url, const std::string& name);
  std::string PathOf(const std::string& name) const { return dir_ + "/" + name; }
  static std::string ReadFile(const std::string& path);
  static bool Exists(const std::string& path);
  std::vector<std::string> FolderEntries() const;
  // Runs one download of `param` to its end; its notification 4.
  Event Run(const TaskParam& param) { return RunWith(param, recorder_); }
  // Runs one download of `param` to its end, reported to `recorder` (for tests with several
  // cases, each with a recorder of its own); its notification 4.
  Event RunWith(TaskParam param, Recorder& recorder);
  // Replaces the shortened waits with the engine's production settings, with its clock running
  // `speed` times faster than real time: waits of minutes pass in seconds, and the test reads
  // how long a case took on that clock (EngineSeconds).
  void UseProductionSettings(int speed);
  double EngineSeconds() const;

  // Starts the download_child program with `args` (its URL, local path, ...) and the shim
  // library `preload` loaded into it; its standard error goes to `error_path` when given.
  // The child's process id.
  static pid_t SpawnChild(const std::vector<std::string>& args, const char* preload,
                          const std::string& error_path = {});
  // Waits for the child; its exit code, or -1 when it did not exit normally.
  static int ExitCode(pid_t pid);

  std::string dir_;
  Recorder recorder_;
  // The settings every download of the test runs with (pass them to each Download).
  EngineSettings settings_;
};

}  // namespace vorel::download::testing

#endif  // VOREL_TESTS_DOWNLOAD_ENGINE_FIXTURE_H_
