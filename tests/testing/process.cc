#include "tests/testing/process.h"

#include <sys/wait.h>

#include <cstdio>
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

}  // namespace vorel::testing
