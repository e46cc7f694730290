#ifndef VOREL_TESTS_TESTING_PROCESS_H_
#define VOREL_TESTS_TESTING_PROCESS_H_

// For tests that look at a whole program from outside: run it, read what it left behind.

#include <string>

namespace vorel::testing {

struct CommandOutcome {
  int code = -1;       // the exit code; -1 when the command did not exit normally
  std::string output;  // standard output and standard error together
  bool operator==(const CommandOutcome&) const = default;
};

// Runs `command` with /bin/sh and waits for it.
CommandOutcome RunCommand(const std::string& command);

// The whole file, byte for byte; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

// A folder of this test process's own (mode 0700), made on first use and removed when the
// process exits normally. Child processes (a death test's, a forked one) use their parent's
// folder and leave it to the parent.
const std::string& ProcessTempFolder();

}  // namespace vorel::testing

#endif  // VOREL_TESTS_TESTING_PROCESS_H_
