#include "runtime/dll_table.h"

#include <dlfcn.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "platform/mutex.h"
#include "runtime/fatal.h"
#include "runtime/files.h"
#include "runtime/text.h"

namespace vorel::runtime {
namespace {

constexpr DllCommandEntry kEntries[kDllCommandCount] = {
    {"bass.dll", "BASS_ChannelIsActive"},
    {"bass.dll", "BASS_ChannelGetAttribute"},
    {"bass.dll", "BASS_ChannelSetAttribute"},
    {"", "CreateThread"},
    {"", "MsgWaitForMultipleObjects"},
    {"", "TerminateThread"},
    {"", "CloseHandle"},
    {"WinINet.dll", "InternetOpenA"},
    {"WinINet.dll", "InternetConnectA"},
    {"WinINet.dll", "InternetCloseHandle"},
    {"WinINet.dll", "HttpOpenRequestA"},
    {"wininet.dll", "HttpAddRequestHeadersA"},
    {"WinINet.dll", "HttpSendRequestA"},
    {"WinINet.dll", "InternetReadFile"},
    {"WinINet.dll", "HttpQueryInfoA"},
    {"WinINet.dll", "InternetSetCookieA"},
    {"bass.dll", "BASS_ChannelGetData"},
    {"bass.dll", "BASS_ChannelGetPosition"},
    {"bass.dll", "BASS_ChannelBytes2Seconds"},
    {"bass.dll", "BASS_ChannelStop"},
    {"bass.dll", "BASS_StreamFree"},
    {"bass.dll", "BASS_StreamCreateURL"},
    {"bass.dll", "BASS_StreamCreateFile"},
    {"bass.dll", "BASS_ChannelGetLength"},
    {"bass.dll", "BASS_ChannelPlay"},
    {"bass.dll", "BASS_ChannelPause"},
    {"wininet.dll", "InternetOpenA"},
    {"wininet.dll", "InternetCloseHandle"},
    {"wininet.dll", "InternetConnectA"},
    {"wininet.dll", "HttpOpenRequestA"},
    {"wininet.dll", "HttpSendRequestA"},
    {"wininet.dll", "HttpSendRequestA"},
    {"wininet.dll", "InternetReadFile"},
    {"wininet.dll", "HttpQueryInfoA"},
    {"kernel32.dll", "WideCharToMultiByte"},
    {"kernel32.dll", "WideCharToMultiByte"},
    {"kernel32.dll", "MultiByteToWideChar"},
    {"ole32.dll", "CoInitialize"},
    {"ole32.dll", "CoUninitialize"},
    {"bass.dll", "BASS_ChannelSeconds2Bytes"},
    {"bass.dll", "BASS_ChannelSetPosition"},
    {"bass.dll", "BASS_Init"},
};

// The two caches of an entry; each entry is resolved once.
struct Cache {
  std::once_flag once;
  void* module = nullptr;
  std::atomic<void*> address{nullptr};
};

Cache* Caches() {
  static Cache* caches = new Cache[kDllCommandCount];
  return caches;
}

platform::Mutex& RegistryMutex() {
  static auto* mu = new platform::Mutex;
  return *mu;
}

std::map<std::string, void*>& Registry() VOREL_REQUIRES(RegistryMutex()) {
  static auto* registry = new std::map<std::string, void*>;
  return *registry;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// The name an ordinal "#n" is registered under: "#" and n modulo 65536.
std::string RegistryKey(std::string_view function) {
  if (!function.empty() && function[0] == '#') {
    unsigned long n = 0;
    for (char c : function.substr(1)) {
      if (c < '0' || c > '9') break;
      n = (n * 10 + static_cast<unsigned>(c - '0')) % 65536;
    }
    return "#" + std::to_string(n);
  }
  return std::string(function);
}

bool IsPlatformLibrary(std::string_view library) {
  std::string l = Lower(library);
  return l.empty() || l == "wininet.dll" || l == "kernel32.dll" || l == "ole32.dll";
}

// The file our build gives a library the application names: "bass.dll" is libbass.so.
std::string LinuxFileName(std::string_view library) {
  if (Lower(library) == "bass.dll") return "libbass.so";
  return std::string(library);
}

void* OpenLibrary(std::string_view library) {
  std::string file = LinuxFileName(library);
  if (file.find('/') != std::string::npos) return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  // The program's own folder (the build, or a copy beside the program), then the library folder
  // of an installation (bin/../lib/vorel/), then the system's search path.
  const std::string run = Utf8FromText(RunDirectory());
  for (const std::string& dir : {run, run + "/../lib/vorel"}) {
    std::string local = dir + "/" + file;
    if (void* m = dlopen(local.c_str(), RTLD_NOW | RTLD_LOCAL)) return m;
  }
  return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void Resolve(int index) {
  const DllCommandEntry& e = kEntries[index];
  Cache& cache = Caches()[index];
  void* address = nullptr;
  if (IsPlatformLibrary(e.library)) {
    platform::MutexLock lock(RegistryMutex());
    auto it = Registry().find(RegistryKey(e.function));
    if (it != Registry().end()) address = it->second;
  } else if (e.function[0] != '#') {
    if (void* module = OpenLibrary(e.library)) {
      address = dlsym(module, e.function);
      if (address) {
        cache.module = module;
      } else {
        dlclose(module);
      }
    }
  }
  cache.address.store(address);
}

}  // namespace

const DllCommandEntry& DllCommandAt(int index) {
  if (index < 0 || index >= kDllCommandCount) RaiseRuntimeError(1);
  return kEntries[index];
}

void* ResolveDllCommand(int index) {
  if (index < 0 || index >= kDllCommandCount) RaiseRuntimeError(1);
  Cache& cache = Caches()[index];
  if (void* a = cache.address.load()) return a;
  std::call_once(cache.once, [index] { Resolve(index); });
  if (void* a = cache.address.load()) return a;
  const DllCommandEntry& e = kEntries[index];
  std::string message =
      e.library[0] == '\0'
          ? std::string("无法找到指定DLL库文件中的输出命令“") + e.function + "”"
          : std::string("无法找到指定DLL库文件“") + e.library + "”中的输出命令“" + e.function + "”";
  RaiseFatalError(TextFromUtf8(message));
}

void* ResolveBesideDllCommand(int index, const char* function) {
  ResolveDllCommand(index);
  void* module = Caches()[index].module;  // written before the entry's address was published
  return module != nullptr ? dlsym(module, function) : nullptr;
}

void RegisterSystemFunction(std::string_view function, void* address) {
  platform::MutexLock lock(RegistryMutex());
  Registry()[RegistryKey(function)] = address;
}

}  // namespace vorel::runtime
