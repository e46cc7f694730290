#include "tests/testing/tone.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <system_error>

namespace vorel::testing {

bool MakeAudioFile(const std::string& path, const std::string& lavfi, const std::string& options,
                   std::string* error) {
  namespace fs = std::filesystem;
  if (fs::exists(path)) return true;
  static std::atomic<int> serial{0};
  // The extension stays last so ffmpeg still picks the container from it.
  const fs::path target(path);
  const std::string part =
      (target.parent_path() / (target.stem().string() + ".part" + std::to_string(::getpid()) + "-" +
                               std::to_string(serial++)))
          .string() +
      target.extension().string();
  const std::string command =
      "ffmpeg -nostdin -v error -y -f lavfi -i \"" + lavfi + "\" " + options + " \"" + part + "\"";
  if (std::system(command.c_str()) != 0 || !fs::exists(part)) {
    std::error_code ignored;
    fs::remove(part, ignored);
    if (error != nullptr) *error = "ffmpeg failed: " + command;
    return false;
  }
  std::error_code ec;
  fs::rename(part, path, ec);
  if (ec) {
    fs::remove(part, ec);
    if (error != nullptr) *error = "cannot rename " + part + " to " + path;
    return false;
  }
  return true;
}

std::string SineSource(int hz, double seconds, double amplitude) {
  std::ostringstream wave;
  wave << amplitude << "*sin(2*PI*" << hz << "*t)";
  std::ostringstream s;
  s << "aevalsrc=exprs=" << wave.str() << "|" << wave.str() << ":s=44100:d=" << seconds;
  return s.str();
}

}  // namespace vorel::testing
