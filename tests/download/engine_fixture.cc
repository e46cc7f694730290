#include "tests/download/engine_fixture.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "download/testing.h"

extern char** environ;

namespace vorel::download::testing {

struct Recorder::State {
  mutable std::mutex mu;
  std::condition_variable cv;
  std::vector<Event> events;
  std::vector<std::pair<runtime::Text, std::int32_t>> statuses;
  std::function<std::int32_t(const void*)> same_name_answer;
  bool ended = false;
};

Recorder::Recorder() : state_(std::make_shared<State>()) {}

NotifyCallback Recorder::Notifier() {
  std::shared_ptr<State> state = state_;
  return [state](std::int32_t type, const void* pointer, std::int64_t value, std::int64_t value2,
                 const void* task) -> std::int32_t {
    std::function<std::int32_t(const void*)> answer;
    {
      std::lock_guard<std::mutex> lock(state->mu);
      state->events.push_back({type, pointer, value, value2});
      if (type == kTaskEnded) state->ended = true;
      answer = state->same_name_answer;
    }
    state->cv.notify_all();
    if (type == kSameNameExists && answer) return answer(task);
    return 0;
  };
}

StatusCallback Recorder::Statuser() {
  std::shared_ptr<State> state = state_;
  return [state](const runtime::Text& line, std::int32_t level) {
    {
      std::lock_guard<std::mutex> lock(state->mu);
      state->statuses.emplace_back(line, level);
    }
    state->cv.notify_all();
  };
}

void Recorder::set_same_name_answer(std::function<std::int32_t(const void*)> answer) {
  std::lock_guard<std::mutex> lock(state_->mu);
  state_->same_name_answer = std::move(answer);
}

bool Recorder::WaitForEnd(int timeout_ms) {
  std::unique_lock<std::mutex> lock(state_->mu);
  return state_->cv.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                             [this] { return state_->ended; });
}

bool Recorder::WaitUntil(const std::function<bool()>& done, int timeout_ms) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  std::unique_lock<std::mutex> lock(state_->mu);
  while (true) {
    lock.unlock();
    bool ok = done();
    lock.lock();
    if (ok) return true;
    if (state_->cv.wait_until(lock, deadline) == std::cv_status::timeout) return done();
  }
}

std::vector<Event> Recorder::events() const {
  std::lock_guard<std::mutex> lock(state_->mu);
  return state_->events;
}

std::vector<std::pair<runtime::Text, std::int32_t>> Recorder::statuses() const {
  std::lock_guard<std::mutex> lock(state_->mu);
  return state_->statuses;
}

bool Recorder::HasStatus(const runtime::Text& line) const {
  std::lock_guard<std::mutex> lock(state_->mu);
  return std::any_of(state_->statuses.begin(), state_->statuses.end(),
                     [&](const auto& s) { return s.first == line; });
}

Event Recorder::end() const {
  std::lock_guard<std::mutex> lock(state_->mu);
  for (const Event& e : state_->events) {
    if (e.type == kTaskEnded) return e;
  }
  return Event{0, nullptr, -1, -1};
}

std::int64_t Recorder::bytes_arrived() const {
  std::lock_guard<std::mutex> lock(state_->mu);
  std::int64_t sum = 0;
  for (const Event& e : state_->events) {
    if (e.type == kBytesArrived) sum += e.value;
  }
  return sum;
}

std::string Recorder::StatusDump() const {
  std::ostringstream out;
  for (const auto& [line, level] : statuses()) {
    if (level == kRequestSent || level == kReplyHeader) continue;
    out << "  [" << level << "] " << runtime::Utf8FromText(line) << "\n";
  }
  return out.str();
}

void EngineTest::SetUp() {
  char pattern[] = "/tmp/vorel-download-test-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  dir_ = pattern;
  settings_ = EngineSettings();
  settings_.retry_wait_ms = 20;
  settings_.retry_limit = 3;
}

void EngineTest::TearDown() {
  EXPECT_TRUE(WaitForAllTasks(60000));
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

void EngineTest::UseProductionSettings(int speed) {
  settings_ = EngineSettings();
  const auto start = std::chrono::steady_clock::now();
  settings_.clock = [start, speed] {
    auto real = std::chrono::steady_clock::now() - start;
    return std::chrono::duration_cast<std::chrono::milliseconds>(real).count() * speed;
  };
}

double EngineTest::EngineSeconds() const {
  const long long ms = settings_.clock ? settings_.clock()
                                       : std::chrono::duration_cast<std::chrono::milliseconds>(
                                             std::chrono::steady_clock::now().time_since_epoch())
                                             .count();
  return static_cast<double>(ms) / 1000.0;
}

TaskParam EngineTest::Param(const std::string& url, const std::string& name) {
  TaskParam param;
  param.TaskFlags = 0x1000;
  param.Url = url;
  param.LocalPath = PathOf(name);
  param.ConnectionCount = 5;
  param.ConnectTimeout = 5000;
  param.SendTimeout = 5000;
  param.ReceiveTimeout = 5000;
  param.StopWait = 1000;
  param.ReceiveBlockSize = 10240;
  param.NotifyCallback = recorder_.Notifier();
  param.StatusCallback = recorder_.Statuser();
  return param;
}

Event EngineTest::RunWith(TaskParam param, Recorder& recorder) {
  param.NotifyCallback = recorder.Notifier();
  param.StatusCallback = recorder.Statuser();
  Download download(settings_);
  EXPECT_TRUE(download.Start(param));
  EXPECT_TRUE(recorder.WaitForEnd());
  return recorder.end();
}

std::string EngineTest::ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool EngineTest::Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> EngineTest::FolderEntries() const {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

pid_t EngineTest::SpawnChild(const std::vector<std::string>& args, const char* preload,
                             const std::string& error_path) {
  std::vector<std::string> env;
  // In the sanitizer build the preloaded shim comes before the sanitizer's runtime, which the
  // runtime refuses unless told that the order is intended.
  bool asan_options = false;
  for (char** e = environ; *e != nullptr; ++e) {
    env.emplace_back(*e);
    if (env.back().rfind("ASAN_OPTIONS=", 0) == 0) {
      env.back() += ":verify_asan_link_order=0";
      asan_options = true;
    }
  }
  if (!asan_options) env.push_back("ASAN_OPTIONS=verify_asan_link_order=0");
  env.push_back(std::string("LD_PRELOAD=") + preload);
  std::vector<std::string> all = {VOREL_DOWNLOAD_CHILD};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv, envp;
  for (std::string& a : all) argv.push_back(a.data());
  for (std::string& e : env) envp.push_back(e.data());
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!error_path.empty()) {
    posix_spawn_file_actions_addopen(&actions, 2, error_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
  }
  pid_t pid = -1;
  EXPECT_EQ(posix_spawn(&pid, VOREL_DOWNLOAD_CHILD, &actions, nullptr, argv.data(), envp.data()),
            0);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int EngineTest::ExitCode(pid_t pid) {
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace vorel::download::testing
