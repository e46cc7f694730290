#ifndef VOREL_DOWNLOAD_INTERNAL_ENGINE_SETTINGS_H_
#define VOREL_DOWNLOAD_INTERNAL_ENGINE_SETTINGS_H_

// Engine-wide settings. They are fixed for the life of the program; only tests replace them,
// through ScopedEngineSettingsForTesting, to shorten the waits.

namespace vorel::download::internal {

struct EngineSettings {
  int retry_limit = 999;        // failed attempts a connection may make in all
  int retry_wait_ms = 5000;     // wait before a new attempt
  int connection_buffer_size = 20480;  // per-connection buffer; smallest size that is split
  int max_redirects = 10;       // consecutive redirects the probe follows
  int header_limit = 4097;      // bytes of a reply header
};

// The settings in force. Thread-safe (read-only outside tests).
const EngineSettings& Settings();

// Replaces the settings while it lives. Tests only; no task may run while it is made or undone.
class ScopedEngineSettingsForTesting {
 public:
  explicit ScopedEngineSettingsForTesting(const EngineSettings& settings);
  ~ScopedEngineSettingsForTesting();
  ScopedEngineSettingsForTesting(const ScopedEngineSettingsForTesting&) = delete;
  ScopedEngineSettingsForTesting& operator=(const ScopedEngineSettingsForTesting&) = delete;

 private:
  EngineSettings saved_;
};

// Waits until every task of the engine has ended (its threads gone); true when none is left.
bool WaitForAllTasksForTesting(int timeout_ms);

}  // namespace vorel::download::internal

#endif  // VOREL_DOWNLOAD_INTERNAL_ENGINE_SETTINGS_H_
