#ifndef VOREL_APP_SETTINGS_H_
#define VOREL_APP_SETTINGS_H_

// The hosts the network features talk to. Each comes, in this order, from an environment
// variable, from the settings file ($XDG_CONFIG_HOME/vorel/vorel.conf, an INI file with the keys
// in a [hosts] group) or from a built-in default under the reserved ".invalid" domain, so an
// unconfigured program sends nothing to anyone. A value may carry a port ("127.0.0.1:8080").
// The program never writes the file.
//
//   [hosts]
//   search = music.example.org
//   sound_api = 127.0.0.1:8080
//
// Bad input never stops the program: an empty, unreadable or non-INI file, or a value that is
// not a host[:port], is reported in one line on standard error naming the file and key (or the
// variable), and that source is skipped.

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vorel::app {

enum class HostKey { kSearch = 0, kSoundWeb = 1, kSoundApi = 2 };

struct HostChoice {
  std::string host;              // host or host:port
  bool built_in_default = true;  // true when neither the environment nor the file gave one
};

struct HostSettings {
  std::array<HostChoice, 3> hosts;  // indexed by HostKey
  const HostChoice& of(HostKey key) const { return hosts[static_cast<int>(key)]; }
};

// Where the values come from; the process's own by default. `report` receives each complaint
// (one line, no newline at the end).
struct SettingsSources {
  std::function<std::optional<std::string>(const char* name)> env;
  std::string file_path;
  std::function<void(const std::string& line)> report;
};
SettingsSources ProcessSettingsSources();

// $XDG_CONFIG_HOME/vorel/vorel.conf, or ~/.config/vorel/vorel.conf when that variable is unset,
// empty or not absolute. Empty when neither it nor HOME is usable (set and absolute).
std::string SettingsFilePath(const SettingsSources& sources);

// Reads the three hosts. Thread-safe (touches only what `sources` reaches).
HostSettings ReadHostSettings(const SettingsSources& sources);

// True for "name" and "name:port": letters, digits, "-", "." and "_" in the name (an IPv4
// address is one), a port of 1 to 65535; nothing else, so no spaces or control bytes.
bool IsHostValue(std::string_view value);

// The process's hosts, read afresh at each call, so an edited file counts from the next search
// or resolve on. Thread-safe.
HostSettings ProgramHostSettings();

// The host for a feature when one is configured. With only the built-in default, writes one line
// to standard error naming the variable and the file key to set, and returns nothing: the caller
// then behaves as if its request had failed. `feature` names the feature in that line. Any
// thread; reads the environment and the file afresh.
std::optional<std::string> ConfiguredHost(HostKey key, std::string_view feature);

// What the window says when `feature` (its name in Chinese, UTF-8) cannot work because its host
// is not configured: the variable to set, or the key and group of the settings file (named).
// UTF-8. Any thread.
std::string HostMissingMessage(HostKey key, std::string_view feature);

// The environment variable and file key of a host setting.
const char* HostVariable(HostKey key);
const char* HostFileKey(HostKey key);

}  // namespace vorel::app

#endif  // VOREL_APP_SETTINGS_H_
