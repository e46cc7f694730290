#include "player/audio.h"

#include "platform/audio/bass.h"
#include "runtime/dll_table.h"

namespace vorel::player::audio {

using runtime::DllCommand;

namespace {
constexpr DWORD kAttribVolume = 2;
constexpr DWORD kPosByte = 0;
constexpr DWORD kDataFft256 = 0x80000000u;
constexpr DWORD kSampleFx = 0x80;  // the flags the player has always opened files with
}  // namespace

bool Init(std::int64_t window_handle) {
  auto f = DllCommand<BOOL (*)(int, DWORD, DWORD, void*, void*)>(runtime::kBassInit);
  return f(-1, 44100, 0, reinterpret_cast<void*>(window_handle), nullptr) != 0;
}

Handle StreamCreateFile(const runtime::Text& path) {
  auto f = DllCommand<HSTREAM (*)(BOOL, const void*, QWORD, QWORD, DWORD)>(
      runtime::kBassStreamCreateFile);
  std::string utf8 = runtime::Utf8FromText(path);
  return f(FALSE, utf8.c_str(), 0, 0, kSampleFx);
}

Handle StreamCreateUrl(const runtime::Text& address) {
  auto f = DllCommand<HSTREAM (*)(const char*, DWORD, DWORD, DOWNLOADPROC*, void*)>(
      runtime::kBassStreamCreateUrl);
  std::string utf8 = runtime::Utf8FromText(address);
  return f(utf8.c_str(), 0, 0, nullptr, nullptr);
}

bool StreamFree(Handle h) {
  return DllCommand<BOOL (*)(HSTREAM)>(runtime::kBassStreamFree)(h) != 0;
}
bool ChannelPlay(Handle h) {
  return DllCommand<BOOL (*)(DWORD, BOOL)>(runtime::kBassChannelPlay)(h, FALSE) != 0;
}
bool ChannelPause(Handle h) {
  return DllCommand<BOOL (*)(DWORD)>(runtime::kBassChannelPause)(h) != 0;
}
bool ChannelStop(Handle h) {
  return DllCommand<BOOL (*)(DWORD)>(runtime::kBassChannelStop)(h) != 0;
}
std::uint32_t ChannelIsActive(Handle h) {
  return DllCommand<DWORD (*)(DWORD)>(runtime::kBassChannelIsActive)(h);
}
std::uint64_t ChannelGetLength(Handle h) {
  return DllCommand<QWORD (*)(DWORD, DWORD)>(runtime::kBassChannelGetLength)(h, kPosByte);
}
std::uint64_t ChannelGetPosition(Handle h) {
  return DllCommand<QWORD (*)(DWORD, DWORD)>(runtime::kBassChannelGetPosition)(h, kPosByte);
}
double ChannelBytes2Seconds(Handle h, std::uint64_t bytes) {
  return DllCommand<double (*)(DWORD, QWORD)>(runtime::kBassChannelBytes2Seconds)(h, bytes);
}
std::uint64_t ChannelSeconds2Bytes(Handle h, double seconds) {
  return DllCommand<QWORD (*)(DWORD, double)>(runtime::kBassChannelSeconds2Bytes)(h, seconds);
}
bool ChannelSetPosition(Handle h, std::uint64_t bytes) {
  return DllCommand<BOOL (*)(DWORD, QWORD, DWORD)>(runtime::kBassChannelSetPosition)(
             h, bytes, kPosByte) != 0;
}
bool ChannelSetVolume(Handle h, float volume) {
  return DllCommand<BOOL (*)(DWORD, DWORD, float)>(runtime::kBassChannelSetAttribute)(
             h, kAttribVolume, volume) != 0;
}
bool ChannelGetVolume(Handle h, float* volume) {
  return DllCommand<BOOL (*)(DWORD, DWORD, float*)>(runtime::kBassChannelGetAttribute)(
             h, kAttribVolume, volume) != 0;
}
bool ChannelGetSpectrum(Handle h, float bands[128]) {
  DWORD r = DllCommand<DWORD (*)(DWORD, void*, DWORD)>(runtime::kBassChannelGetData)(
      h, bands, kDataFft256);
  return r != static_cast<DWORD>(-1);
}

}  // namespace vorel::player::audio
