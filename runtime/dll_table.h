#ifndef VOREL_RUNTIME_DLL_TABLE_H_
#define VOREL_RUNTIME_DLL_TABLE_H_

// The table of external functions the application calls by name (42 entries, fixed at build
// time). Each entry is resolved on its first call and cached for the rest of the run:
//   - "bass.dll" is our audio library libbass.so, looked for in the run directory first and
//     then through the system's search path (a name holding "/" is loaded by that path);
//   - the system, WinINet, kernel32 and ole32 entries resolve to functions that the platform
//     layer registers by name (RegisterSystemFunction).
// A function name "#n" names ordinal n modulo 65536, which only registered functions can carry.
// A failure is fatal: "无法找到指定DLL库文件“bass.dll”中的输出命令“BASS_Init”", or without the
// file name when the entry's file name is empty.
//
//   using InitFn = int (*)(int, unsigned, unsigned, void*, void*);
//   auto init = DllCommand<InitFn>(kBassInit);
//   init(-1, 44100, 0, nullptr, nullptr);
//
// Thread-safe: every entry resolves exactly once even when threads call it at the same time.

#include <cstdint>
#include <string_view>

namespace vorel::runtime {

inline constexpr int kDllCommandCount = 42;

// Entries of the table the application names.
inline constexpr int kBassChannelIsActive = 0;
inline constexpr int kBassChannelGetAttribute = 1;
inline constexpr int kBassChannelSetAttribute = 2;
inline constexpr int kBassChannelGetData = 16;
inline constexpr int kBassChannelGetPosition = 17;
inline constexpr int kBassChannelBytes2Seconds = 18;
inline constexpr int kBassChannelStop = 19;
inline constexpr int kBassStreamFree = 20;
inline constexpr int kBassStreamCreateUrl = 21;
inline constexpr int kBassStreamCreateFile = 22;
inline constexpr int kBassChannelGetLength = 23;
inline constexpr int kBassChannelPlay = 24;
inline constexpr int kBassChannelPause = 25;
inline constexpr int kBassChannelSeconds2Bytes = 39;
inline constexpr int kBassChannelSetPosition = 40;
inline constexpr int kBassInit = 41;

struct DllCommandEntry {
  const char* library;   // as the application names it; "" for the system libraries
  const char* function;  // exported name, or "#ordinal"
};
const DllCommandEntry& DllCommandAt(int index);

// The function address of entry `index`, resolving it on first use. Fatal when it cannot be
// found (see above) or when the index is outside the table (runtime error 1).
void* ResolveDllCommand(int index);

// A function the table does not name, from the library of entry `index` (loaded, and fatal
// when missing, as for that entry): null when the library has no such function.
//   auto error_code = reinterpret_cast<int (*)()>(ResolveBesideDllCommand(kBassInit,
//                                                                     "BASS_ErrorGetCode"));
void* ResolveBesideDllCommand(int index, const char* function);

template <typename F>
F DllCommand(int index) {
  return reinterpret_cast<F>(ResolveDllCommand(index));
}

// Makes `address` the function that entries with this function name and a library of the
// platform (empty, WinINet, kernel32, ole32: the case of the file name does not matter) resolve
// to. Call before the first use of such an entry, normally at start-up.
void RegisterSystemFunction(std::string_view function, void* address);

}  // namespace vorel::runtime

#endif  // VOREL_RUNTIME_DLL_TABLE_H_
