#include "app/settings.h"

#include <QSettings>
#include <QString>
#include <QVariant>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace vorel::app {
namespace {

struct HostSpec {
  const char* variable;
  const char* file_key;
  const char* built_in;
};

constexpr std::array<HostSpec, 3> kSpecs = {{
    {"VOREL_SEARCH_HOST", "search", "search.invalid"},
    {"VOREL_SOUND_WEB_HOST", "sound_web", "sound.invalid"},
    {"VOREL_SOUND_API_HOST", "sound_api", "api.sound.invalid"},
}};

// A value as it may be shown in a complaint: control bytes and bytes above 0x7E as \xNN, cut
// after 80 bytes so a binary file cannot flood the terminal.
std::string Shown(std::string_view value) {
  std::string out;
  for (std::size_t i = 0; i < value.size() && i < 80; ++i) {
    unsigned char c = static_cast<unsigned char>(value[i]);
    if (c < 0x20 || c > 0x7E) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  if (value.size() > 80) out += "...";
  return out;
}

bool IsNameByte(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_';
}

// Why the file's bytes are not an INI text QSettings reads as written, or empty when they are:
// every line blank, a comment, a "[group]" or a "key=value".
std::string IniProblem(const std::string& bytes) {
  if (bytes.find('\0') != std::string::npos) return "it holds a NUL byte";
  std::size_t line_no = 0, pos = 0;
  while (pos <= bytes.size()) {
    std::size_t end = bytes.find('\n', pos);
    if (end == std::string::npos) end = bytes.size();
    std::string_view line(bytes.data() + pos, end - pos);
    ++line_no;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
      line.remove_suffix(1);
    }
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    bool ok = line.empty() || line[0] == ';' || line[0] == '#' ||
              (line.front() == '[' && line.back() == ']') || line.find('=') != line.npos;
    if (!ok) return "line " + std::to_string(line_no) + " is neither a [group] nor key=value";
    pos = end + 1;
  }
  return {};
}

void ReadFile(const SettingsSources& src, HostSettings* out) {
  const std::string& path = src.file_path;
  if (path.empty()) return;
  std::error_code ec;
  auto status = std::filesystem::status(path, ec);
  if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    src.report("vorel: cannot read the settings file " + path +
               ": it is not a regular file; its hosts are ignored");
    return;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (errno == ENOENT) return;  // no file: nothing configured there, nothing to say
    src.report("vorel: cannot read the settings file " + path + ": " + std::strerror(errno) +
               "; its hosts are ignored");
    return;
  }
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    src.report("vorel: cannot read the settings file " + path + "; its hosts are ignored");
    return;
  }
  if (bytes.find_first_not_of(" \t\r\n") == std::string::npos) {
    src.report("vorel: the settings file " + path + " is empty; its hosts are ignored");
    return;
  }
  std::string problem = IniProblem(bytes);
  QSettings ini(QString::fromStdString(path), QSettings::IniFormat);
  if (problem.empty() && ini.status() != QSettings::NoError) problem = "it cannot be parsed";
  if (!problem.empty()) {
    src.report("vorel: the settings file " + path + " is not an INI file (" + problem +
               "); its hosts are ignored");
    return;
  }
  for (std::size_t i = 0; i < kSpecs.size(); ++i) {
    QString key = QStringLiteral("hosts/") + QLatin1String(kSpecs[i].file_key);
    if (!ini.contains(key)) continue;
    QVariant v = ini.value(key);
    // A comma makes QSettings hand back a list; no host holds one.
    std::string value = v.typeId() == QMetaType::QString ? v.toString().toStdString()
                                                         : v.toStringList().join(',').toStdString();
    if (!IsHostValue(value)) {
      src.report("vorel: settings file " + path + ": [hosts] " + kSpecs[i].file_key + " = \"" +
                 Shown(value) + "\" is not a host or host:port; ignored");
      continue;
    }
    out->hosts[i] = {value, false};
  }
}

}  // namespace

bool IsHostValue(std::string_view value) {
  std::string_view name = value, port;
  if (std::size_t colon = value.find(':'); colon != value.npos) {
    name = value.substr(0, colon);
    port = value.substr(colon + 1);
    if (port.empty() || port.size() > 5) return false;
  }
  if (name.empty() || name.size() > 253 || name.front() == '.' || name.front() == '-') return false;
  for (char c : name) {
    if (!IsNameByte(c)) return false;
  }
  long n = 0;
  for (char c : port) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
  }
  return port.empty() || (n >= 1 && n <= 65535);
}

SettingsSources ProcessSettingsSources() {
  SettingsSources s;
  s.env = [](const char* name) -> std::optional<std::string> {
    const char* v = std::getenv(name);
    if (v == nullptr) return std::nullopt;
    return std::string(v);
  };
  s.report = [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); };
  s.file_path = SettingsFilePath(s);
  return s;
}

std::string SettingsFilePath(const SettingsSources& sources) {
  std::optional<std::string> config = sources.env("XDG_CONFIG_HOME");
  if (config && !config->empty() && config->front() == '/') return *config + "/vorel/vorel.conf";
  std::optional<std::string> home = sources.env("HOME");
  // A relative HOME would name a file in whatever folder the program runs in.
  if (home && !home->empty() && home->front() == '/') return *home + "/.config/vorel/vorel.conf";
  return {};
}

HostSettings ReadHostSettings(const SettingsSources& sources) {
  HostSettings out;
  for (std::size_t i = 0; i < kSpecs.size(); ++i) out.hosts[i] = {kSpecs[i].built_in, true};
  ReadFile(sources, &out);
  for (std::size_t i = 0; i < kSpecs.size(); ++i) {
    std::optional<std::string> v = sources.env(kSpecs[i].variable);
    if (!v || v->empty()) continue;
    if (!IsHostValue(*v)) {
      sources.report(std::string("vorel: environment variable ") + kSpecs[i].variable + "=\"" +
                     Shown(*v) + "\" is not a host or host:port; ignored");
      continue;
    }
    out.hosts[i] = {*v, false};
  }
  return out;
}

HostSettings ProgramHostSettings() { return ReadHostSettings(ProcessSettingsSources()); }

std::optional<std::string> ConfiguredHost(HostKey key, std::string_view feature) {
  SettingsSources sources = ProcessSettingsSources();
  HostChoice choice = ReadHostSettings(sources).of(key);
  if (!choice.built_in_default) return choice.host;
  const HostSpec& spec = kSpecs[static_cast<int>(key)];
  const std::string& path = sources.file_path;
  std::fprintf(stderr,
               "vorel: %.*s has no host configured (built-in %s sends nothing): set %s, or %s "
               "in the [hosts] group of %s\n",
               static_cast<int>(feature.size()), feature.data(), spec.built_in, spec.variable,
               spec.file_key, path.empty() ? "~/.config/vorel/vorel.conf" : path.c_str());
  return std::nullopt;
}

std::string HostMissingMessage(HostKey key, std::string_view feature) {
  const HostSpec& spec = kSpecs[static_cast<int>(key)];
  std::string path = ProcessSettingsSources().file_path;
  if (path.empty()) path = "~/.config/vorel/vorel.conf";
  return std::string(feature) + "没有设置服务器。请在设置文件 " + path + " 的 [hosts] 组里写上 " +
         spec.file_key + " = 主机名[:端口]，或设置环境变量 " + spec.variable + "，然后再试。";
}

const char* HostVariable(HostKey key) { return kSpecs[static_cast<int>(key)].variable; }
const char* HostFileKey(HostKey key) { return kSpecs[static_cast<int>(key)].file_key; }

}  // namespace vorel::app
