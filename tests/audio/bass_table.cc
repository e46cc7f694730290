#include "tests/audio/bass_table.h"

#include <dlfcn.h>

#include <gtest/gtest.h>
#include <cstdlib>

namespace vorel::audio_test {

const char* const kPlayerFunctions[16] = {"BASS_Init",
                                          "BASS_StreamCreateFile",
                                          "BASS_StreamCreateURL",
                                          "BASS_StreamFree",
                                          "BASS_ChannelPlay",
                                          "BASS_ChannelPause",
                                          "BASS_ChannelStop",
                                          "BASS_ChannelIsActive",
                                          "BASS_ChannelGetLength",
                                          "BASS_ChannelGetPosition",
                                          "BASS_ChannelBytes2Seconds",
                                          "BASS_ChannelSeconds2Bytes",
                                          "BASS_ChannelSetPosition",
                                          "BASS_ChannelSetAttribute",
                                          "BASS_ChannelGetAttribute",
                                          "BASS_ChannelGetData"};

std::string LibraryPath() { return VOREL_LIBBASS_PATH; }

namespace {

template <typename F>
void Resolve(void* lib, const char* name, F* out) {
  *out = reinterpret_cast<F>(dlsym(lib, name));
  if (!*out) {
    std::fprintf(stderr, "libbass.so lacks %s\n", name);
    std::abort();
  }
}

BassTable Load() {
  BassTable t;
  t.library = dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!t.library) {
    std::fprintf(stderr, "cannot load %s: %s\n", LibraryPath().c_str(), dlerror());
    std::abort();
  }
  Resolve(t.library, "BASS_Init", &t.Init);
  Resolve(t.library, "BASS_Free", &t.Free);
  Resolve(t.library, "BASS_ErrorGetCode", &t.ErrorGetCode);
  Resolve(t.library, "BASS_StreamCreateFile", &t.StreamCreateFile);
  Resolve(t.library, "BASS_StreamCreateURL", &t.StreamCreateURL);
  Resolve(t.library, "BASS_StreamFree", &t.StreamFree);
  Resolve(t.library, "BASS_ChannelPlay", &t.ChannelPlay);
  Resolve(t.library, "BASS_ChannelPause", &t.ChannelPause);
  Resolve(t.library, "BASS_ChannelStop", &t.ChannelStop);
  Resolve(t.library, "BASS_ChannelIsActive", &t.ChannelIsActive);
  Resolve(t.library, "BASS_ChannelGetLength", &t.ChannelGetLength);
  Resolve(t.library, "BASS_ChannelGetPosition", &t.ChannelGetPosition);
  Resolve(t.library, "BASS_ChannelBytes2Seconds", &t.ChannelBytes2Seconds);
  Resolve(t.library, "BASS_ChannelSeconds2Bytes", &t.ChannelSeconds2Bytes);
  Resolve(t.library, "BASS_ChannelSetPosition", &t.ChannelSetPosition);
  Resolve(t.library, "BASS_ChannelSetAttribute", &t.ChannelSetAttribute);
  Resolve(t.library, "BASS_ChannelGetAttribute", &t.ChannelGetAttribute);
  Resolve(t.library, "BASS_ChannelGetData", &t.ChannelGetData);
  Resolve(t.library, "vorel_bass_set_rest_seconds", &t.SetRestSeconds);
  return t;
}

}  // namespace

const BassTable& Bass() {
  static const BassTable table = Load();
  return table;
}

}  // namespace vorel::audio_test
