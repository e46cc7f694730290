#ifndef VOREL_RUNTIME_FATAL_H_
#define VOREL_RUNTIME_FATAL_H_

// Fatal runtime errors. Every one ends the program with exit code -1 after telling the user:
//
//   运行时出错!
//
//   错误代码：4            (only when the number is not 0)
//
//   错误信息：<message>    (only when the message is not empty)
//
// Until a window framework installs its own reporter (a message box, then the end-of-program
// clean-up), the text goes to standard error in UTF-8 and the process ends at once.

#include <string>
#include <string_view>

namespace vorel::runtime {

// The message of numbered runtime error 1..11; empty for other numbers.
const char* RuntimeErrorMessageUtf8(int number);

// The full report text, in code page 936, with "\r\n" line breaks as shown to the user.
std::string FatalErrorReport(int number, std::string_view message);

// Raises numbered runtime error `number` with its message. Never returns.
[[noreturn]] void RaiseRuntimeError(int number);

// Raises a fatal error with error number 0 and `message` (code page 936). Never returns.
[[noreturn]] void RaiseFatalError(std::string_view message);

// Receives every fatal error; must not return. Installed once at start-up, before any worker
// thread runs. Passing nullptr restores the default (standard error, then _exit(-1)).
using FatalReporter = void (*)(int number, std::string_view message);
void SetFatalReporter(FatalReporter reporter);

}  // namespace vorel::runtime

#endif  // VOREL_RUNTIME_FATAL_H_
