#ifndef VOREL_RUNTIME_SYSTEM_FUNCTIONS_H_
#define VOREL_RUNTIME_SYSTEM_FUNCTIONS_H_

// The kernel32 and ole32 functions of the DLL command table, as functions of our own with the
// Win32 signatures the application calls them with:
//   WideCharToMultiByte / MultiByteToWideChar over our code-page layer (65001 = UTF-8,
//   936 and 0 = GB18030), with the Win32 rules for -1 lengths and size queries;
//   CoInitialize / CoUninitialize do nothing (nothing here needs COM) and return 0.
// RegisterSystemFunctions makes the table resolve to them; InitRuntime calls it. Thread-safe.

namespace vorel::runtime {

void RegisterSystemFunctions();

}  // namespace vorel::runtime

#endif  // VOREL_RUNTIME_SYSTEM_FUNCTIONS_H_
