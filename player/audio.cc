#include "player/audio.h"

#include "platform/audio/bass.h"
#include "runtime/dll_table.h"

namespace vorel::player::audio {

static_assert(kStopped == BASS_ACTIVE_STOPPED && kPlaying == BASS_ACTIVE_PLAYING &&
              kStalled == BASS_ACTIVE_STALLED && kPaused == BASS_ACTIVE_PAUSED);

namespace {

// The table entry `index` as a pointer of the library function's own type, so that a call
// here cannot drift from the library's declaration.
template <auto& Function>
auto Bass(int index) {
  return runtime::DllCommand<decltype(&Function)>(index);
}

// Files have always been opened with effects enabled; nothing else in the flags.
constexpr DWORD kFileFlags = BASS_SAMPLE_FX;

}  // namespace

bool Init(std::int64_t window_handle) {
  return Bass<BASS_Init>(runtime::kBassInit)(-1, 44100, 0, reinterpret_cast<void*>(window_handle),
                                             nullptr) != 0;
}

Handle StreamCreateFile(const runtime::Text& path) {
  std::string utf8 = runtime::Utf8FromText(path);
  return Bass<BASS_StreamCreateFile>(runtime::kBassStreamCreateFile)(FALSE, utf8.c_str(), 0, 0,
                                                                     kFileFlags);
}

Handle StreamCreateUrl(const runtime::Text& address) {
  std::string utf8 = runtime::Utf8FromText(address);
  return Bass<BASS_StreamCreateURL>(runtime::kBassStreamCreateUrl)(utf8.c_str(), 0, 0, nullptr,
                                                                   nullptr);
}

bool StreamFree(Handle h) { return Bass<BASS_StreamFree>(runtime::kBassStreamFree)(h) != 0; }
bool ChannelPlay(Handle h) {
  return Bass<BASS_ChannelPlay>(runtime::kBassChannelPlay)(h, FALSE) != 0;
}
bool ChannelPause(Handle h) { return Bass<BASS_ChannelPause>(runtime::kBassChannelPause)(h) != 0; }
bool ChannelStop(Handle h) { return Bass<BASS_ChannelStop>(runtime::kBassChannelStop)(h) != 0; }
std::uint32_t ChannelIsActive(Handle h) {
  return Bass<BASS_ChannelIsActive>(runtime::kBassChannelIsActive)(h);
}
std::uint64_t ChannelGetLength(Handle h) {
  return Bass<BASS_ChannelGetLength>(runtime::kBassChannelGetLength)(h, BASS_POS_BYTE);
}
std::uint64_t ChannelGetPosition(Handle h) {
  return Bass<BASS_ChannelGetPosition>(runtime::kBassChannelGetPosition)(h, BASS_POS_BYTE);
}
double ChannelBytes2Seconds(Handle h, std::uint64_t bytes) {
  return Bass<BASS_ChannelBytes2Seconds>(runtime::kBassChannelBytes2Seconds)(h, bytes);
}
std::uint64_t ChannelSeconds2Bytes(Handle h, double seconds) {
  return Bass<BASS_ChannelSeconds2Bytes>(runtime::kBassChannelSeconds2Bytes)(h, seconds);
}
bool ChannelSetPosition(Handle h, std::uint64_t bytes) {
  return Bass<BASS_ChannelSetPosition>(runtime::kBassChannelSetPosition)(h, bytes, BASS_POS_BYTE) !=
         0;
}
bool ChannelSetVolume(Handle h, float volume) {
  return Bass<BASS_ChannelSetAttribute>(runtime::kBassChannelSetAttribute)(h, BASS_ATTRIB_VOL,
                                                                           volume) != 0;
}
bool ChannelGetVolume(Handle h, float* volume) {
  return Bass<BASS_ChannelGetAttribute>(runtime::kBassChannelGetAttribute)(h, BASS_ATTRIB_VOL,
                                                                           volume) != 0;
}
Failure LastFailure() {
  // Not an entry of the command table, which is fixed; looked up beside BASS_Init.
  using ErrorGetCode = decltype(&BASS_ErrorGetCode);
  static const auto error_code = reinterpret_cast<ErrorGetCode>(
      runtime::ResolveBesideDllCommand(runtime::kBassInit, "BASS_ErrorGetCode"));
  if (error_code == nullptr) return Failure::kOther;
  switch (error_code()) {
    case BASS_OK: return Failure::kNone;
    // The library was never initialised (BASS_Init found no output), or the output lost its
    // device or server; a stream that cannot start on the output says so too.
    case BASS_ERROR_INIT:
    case BASS_ERROR_DEVICE:
    case BASS_ERROR_DRIVER:
    case BASS_ERROR_START: return Failure::kNoDevice;
    case BASS_ERROR_FILEOPEN: return Failure::kFileNotOpened;
    default: return Failure::kOther;
  }
}

bool ChannelGetSpectrum(Handle h, float bands[128]) {
  DWORD r = Bass<BASS_ChannelGetData>(runtime::kBassChannelGetData)(h, bands, BASS_DATA_FFT256);
  return r != static_cast<DWORD>(-1);
}

}  // namespace vorel::player::audio
