// libFuzzer target: the settings file and the environment variables beside it.
//   - Any file and any variables: every host chosen is a host or host:port (or the built-in
//     default, marked so), a valid variable wins over the file, and every complaint is one line
//     without control bytes.
//   - A file written with valid hosts (any spacing, comments, other groups, CR LF) reads back
//     as those hosts, with no complaint.
//   - The settings file's path is absolute (or there is none) and ends in vorel/vorel.conf.

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/settings.h"
#include "fuzz/fuzz_check.h"

using namespace vorel::app;
using vorel::fuzz::NoControlBytes;

namespace {

constexpr std::array<HostKey, 3> kKeys = {HostKey::kSearch, HostKey::kSoundWeb, HostKey::kSoundApi};

// A file of its own for each input: QSettings keeps what it read of a file until the file's
// time or size changes, which two inputs written within a millisecond may not do.
std::string file_path;

void WriteFile(const std::string& bytes) {
  static const std::filesystem::path folder = [] {
    std::filesystem::path f = std::filesystem::temp_directory_path() /
                              ("vorel-settings-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(f);
    return f;
  }();
  static unsigned long count = 0;
  if (!file_path.empty()) std::filesystem::remove(file_path);
  file_path = (folder / ("vorel-" + std::to_string(++count) + ".conf")).string();
  std::ofstream(file_path, std::ios::binary | std::ios::trunc) << bytes;
}

struct Run {
  HostSettings hosts;
  std::vector<std::string> reports;
};

Run Read(const std::map<std::string, std::string>& env) {
  Run run;
  SettingsSources sources;
  sources.env = [&env](const char* name) -> std::optional<std::string> {
    auto it = env.find(name);
    if (it == env.end()) return std::nullopt;
    return it->second;
  };
  sources.file_path = file_path;
  sources.report = [&run](const std::string& line) { run.reports.push_back(line); };
  run.hosts = ReadHostSettings(sources);
  for (const std::string& line : run.reports) VOREL_FUZZ_CHECK(NoControlBytes(line));
  return run;
}

// A valid host value made of the input's bytes.
std::string HostFrom(FuzzedDataProvider& in) {
  static constexpr char kName[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-._";
  std::string host(1, 'a' + in.ConsumeIntegralInRange(0, 25));
  for (int n = in.ConsumeIntegralInRange(0, 40); n > 0; --n) {
    host += kName[in.ConsumeIntegralInRange<std::size_t>(0, sizeof kName - 2)];
  }
  if (in.ConsumeBool()) host += ":" + std::to_string(in.ConsumeIntegralInRange(1, 65535));
  return host;
}

void CheckAnyInput(FuzzedDataProvider& in) {
  std::map<std::string, std::string> env;
  for (HostKey key : kKeys) {
    if (in.ConsumeBool()) env[HostVariable(key)] = in.ConsumeRandomLengthString(100);
  }
  WriteFile(in.ConsumeRemainingBytesAsString());
  const Run run = Read(env);
  for (HostKey key : kKeys) {
    const HostChoice& choice = run.hosts.of(key);
    VOREL_FUZZ_CHECK(IsHostValue(choice.host));
    auto it = env.find(HostVariable(key));
    if (it != env.end() && IsHostValue(it->second)) {
      VOREL_FUZZ_CHECK(choice.host == it->second && !choice.built_in_default);
    }
  }
}

void CheckWrittenFile(FuzzedDataProvider& in) {
  const std::string end = in.ConsumeBool() ? "\r\n" : "\n";
  std::string file = "# written for the player" + end + "[other]" + end + "search=elsewhere" + end;
  file += "[hosts]" + end;
  std::array<std::string, 3> want;
  for (std::size_t i = 0; i < kKeys.size(); ++i) {
    if (!in.ConsumeBool()) continue;
    want[i] = HostFrom(in);
    const std::string pad = in.ConsumeBool() ? " " : "";
    file += pad + HostFileKey(kKeys[i]) + pad + "=" + pad + want[i] + pad + end;
    if (in.ConsumeBool()) file += "; a comment" + end;
  }
  WriteFile(file);
  const Run run = Read({});
  VOREL_FUZZ_CHECK(run.reports.empty());
  for (std::size_t i = 0; i < kKeys.size(); ++i) {
    const HostChoice& choice = run.hosts.of(kKeys[i]);
    VOREL_FUZZ_CHECK(choice.built_in_default == want[i].empty());
    if (!want[i].empty()) VOREL_FUZZ_CHECK(choice.host == want[i]);
  }
}

void CheckFilePath(FuzzedDataProvider& in) {
  std::map<std::string, std::string> env;
  if (in.ConsumeBool()) env["XDG_CONFIG_HOME"] = in.ConsumeRandomLengthString(60);
  if (in.ConsumeBool()) env["HOME"] = in.ConsumeRandomLengthString(60);
  SettingsSources sources;
  sources.env = [&env](const char* name) -> std::optional<std::string> {
    auto it = env.find(name);
    if (it == env.end()) return std::nullopt;
    return it->second;
  };
  const std::string path = SettingsFilePath(sources);
  if (path.empty()) return;
  VOREL_FUZZ_CHECK(path.front() == '/');
  VOREL_FUZZ_CHECK(path.size() >= 17 &&
                   path.compare(path.size() - 17, 17, "/vorel/vorel.conf") == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0: CheckAnyInput(in); break;
    case 1: CheckWrittenFile(in); break;
    default: CheckFilePath(in); break;
  }
  return 0;
}
