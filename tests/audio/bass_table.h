#ifndef VOREL_TESTS_AUDIO_BASS_TABLE_H_
#define VOREL_TESTS_AUDIO_BASS_TABLE_H_

#include <string>

#include "platform/audio/bass.h"
#include "platform/audio/testing.h"

namespace vorel::audio_test {

// The library's functions as the player reaches them: resolved by name from the loaded file.
struct BassTable {
  void* library = nullptr;
  decltype(&::BASS_Init) Init = nullptr;
  decltype(&::BASS_Free) Free = nullptr;
  decltype(&::BASS_ErrorGetCode) ErrorGetCode = nullptr;
  decltype(&::BASS_StreamCreateFile) StreamCreateFile = nullptr;
  decltype(&::BASS_StreamCreateURL) StreamCreateURL = nullptr;
  decltype(&::BASS_StreamFree) StreamFree = nullptr;
  decltype(&::BASS_ChannelPlay) ChannelPlay = nullptr;
  decltype(&::BASS_ChannelPause) ChannelPause = nullptr;
  decltype(&::BASS_ChannelStop) ChannelStop = nullptr;
  decltype(&::BASS_ChannelIsActive) ChannelIsActive = nullptr;
  decltype(&::BASS_ChannelGetLength) ChannelGetLength = nullptr;
  decltype(&::BASS_ChannelGetPosition) ChannelGetPosition = nullptr;
  decltype(&::BASS_ChannelBytes2Seconds) ChannelBytes2Seconds = nullptr;
  decltype(&::BASS_ChannelSeconds2Bytes) ChannelSeconds2Bytes = nullptr;
  decltype(&::BASS_ChannelSetPosition) ChannelSetPosition = nullptr;
  decltype(&::BASS_ChannelSetAttribute) ChannelSetAttribute = nullptr;
  decltype(&::BASS_ChannelGetAttribute) ChannelGetAttribute = nullptr;
  decltype(&::BASS_ChannelGetData) ChannelGetData = nullptr;
  // The tests' own seam.
  decltype(&::vorel_bass_set_rest_seconds) SetRestSeconds = nullptr;
};

// Loads the library once per process; fails the calling test when a function is missing.
const BassTable& Bass();

// How long outputs opened from now on rest before closing, for one test; the default after it.
class ScopedRest {
 public:
  explicit ScopedRest(double seconds) { Bass().SetRestSeconds(seconds); }
  ~ScopedRest() { Bass().SetRestSeconds(-1); }
  ScopedRest(const ScopedRest&) = delete;
  ScopedRest& operator=(const ScopedRest&) = delete;
};

// The built library's path, and the names of the sixteen functions the player resolves.
std::string LibraryPath();
extern const char* const kPlayerFunctions[16];

}  // namespace vorel::audio_test

#endif  // VOREL_TESTS_AUDIO_BASS_TABLE_H_
