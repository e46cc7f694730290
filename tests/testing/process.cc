#include "tests/testing/process.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace vorel::testing {

CommandOutcome RunCommand(const std::string& command) {
  CommandOutcome out;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.output.append(buffer, n);
  const int status = ::pclose(pipe);
  if (WIFEXITED(status)) out.code = WEXITSTATUS(status);
  return out;
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

const std::string& ProcessTempFolder() {
  static pid_t owner = 0;
  // Never destroyed: the exit handler that removes the folder still needs the name.
  static const std::string* folder = [] {
    // A death test's child runs the test again in a new process, and ends with _exit: it works
    // in its parent's folder, which the parent removes.
    if (const char* inherited = std::getenv("VOREL_TEST_FOLDER");
        inherited != nullptr && std::filesystem::is_directory(inherited)) {
      return new std::string(inherited);
    }
    auto* name =
        new std::string((std::filesystem::temp_directory_path() / "vorel-test-XXXXXX").string());
    if (::mkdtemp(name->data()) == nullptr) std::abort();
    ::setenv("VOREL_TEST_FOLDER", name->c_str(), 1);
    owner = ::getpid();
    std::atexit([] {
      std::error_code ignored;
      if (::getpid() == owner) std::filesystem::remove_all(ProcessTempFolder(), ignored);
    });
    return name;
  }();
  return *folder;
}

}  // namespace vorel::testing
