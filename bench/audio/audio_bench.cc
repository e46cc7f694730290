// audio_bench decode FILE   decodes FILE to the end through a decoding channel (no pacing) and
//                           prints wall and CPU seconds and the speed as a multiple of real time.
// audio_bench open FILE     opens FILE as the player does (a playing stream) and stops there.
// audio_bench play FILE     plays FILE on the output (VOREL_AUDIO=null: silent, real time) while
//                           reading the 256-point spectrum every 50 ms, as the player's timer
//                           does, and prints the CPU time used as a share of one core.
// Both print how long the first stream took to open (the decoding libraries load with it) and
// the process's peak resident memory.
#include <dlfcn.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio/bass.h"

namespace {

struct Api {
  decltype(&BASS_Init) Init;
  decltype(&BASS_Free) Free;
  decltype(&BASS_StreamCreateFile) StreamCreateFile;
  decltype(&BASS_ChannelPlay) ChannelPlay;
  decltype(&BASS_ChannelIsActive) ChannelIsActive;
  decltype(&BASS_ChannelGetLength) ChannelGetLength;
  decltype(&BASS_ChannelBytes2Seconds) ChannelBytes2Seconds;
  decltype(&BASS_ChannelGetData) ChannelGetData;
};

template <typename F>
bool Resolve(void* lib, const char* name, F* f) {
  *f = reinterpret_cast<F>(dlsym(lib, name));
  if (!*f) std::fprintf(stderr, "missing %s\n", name);
  return *f != nullptr;
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long PeakRssKb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "decode") != 0 && std::strcmp(argv[1], "play") != 0 &&
                    std::strcmp(argv[1], "open") != 0)) {
    std::fprintf(stderr, "usage: %s decode|play|open FILE\n", argv[0]);
    return 2;
  }
  const bool play = std::strcmp(argv[1], "play") == 0;
  const bool open_only = std::strcmp(argv[1], "open") == 0;
  const long rss_start = PeakRssKb();
  void* lib = dlopen(VOREL_LIBBASS_PATH, RTLD_NOW);
  if (!lib) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  Api b{};
  if (!Resolve(lib, "BASS_Init", &b.Init) || !Resolve(lib, "BASS_Free", &b.Free) ||
      !Resolve(lib, "BASS_StreamCreateFile", &b.StreamCreateFile) ||
      !Resolve(lib, "BASS_ChannelPlay", &b.ChannelPlay) ||
      !Resolve(lib, "BASS_ChannelIsActive", &b.ChannelIsActive) ||
      !Resolve(lib, "BASS_ChannelGetLength", &b.ChannelGetLength) ||
      !Resolve(lib, "BASS_ChannelBytes2Seconds", &b.ChannelBytes2Seconds) ||
      !Resolve(lib, "BASS_ChannelGetData", &b.ChannelGetData)) {
    return 1;
  }
  const long rss_loaded = PeakRssKb();
  if (!b.Init(-1, 44100, 0, nullptr, nullptr)) {
    std::fprintf(stderr, "no output device (set VOREL_AUDIO=null)\n");
    return 1;
  }
  const auto wall0 = std::chrono::steady_clock::now();
  const double cpu0 = CpuSeconds();
  const DWORD flags = play || open_only ? 0 : BASS_STREAM_DECODE;
  HSTREAM h = b.StreamCreateFile(FALSE, argv[2], 0, 0, flags);
  if (!h) {
    std::fprintf(stderr, "cannot open %s\n", argv[2]);
    return 1;
  }
  // The first stream of the process also loads the decoding libraries.
  const double open_ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall0).count();
  std::printf("first stream open: %.1f ms (decoding libraries loaded with it)\n", open_ms);
  if (open_only) {
    b.Free();
    return 0;
  }
  const double seconds = b.ChannelBytes2Seconds(h, b.ChannelGetLength(h, BASS_POS_BYTE));
  long spectra = 0;
  if (play) {
    b.ChannelPlay(h, FALSE);
    float bands[128];
    auto next = std::chrono::steady_clock::now();
    while (b.ChannelIsActive(h) != BASS_ACTIVE_STOPPED) {
      next += std::chrono::milliseconds(50);
      std::this_thread::sleep_until(next);
      if (b.ChannelGetData(h, bands, BASS_DATA_FFT256) != static_cast<DWORD>(-1)) ++spectra;
    }
  } else {
    std::vector<char> buf(64 * 1024);
    while (b.ChannelGetData(h, buf.data(), static_cast<DWORD>(buf.size())) !=
           static_cast<DWORD>(-1)) {
    }
  }
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
  const double cpu = CpuSeconds() - cpu0;
  if (play) {
    std::printf("play %.1f s of sound: wall %.2f s, cpu %.3f s = %.2f%% of one core, %ld spectra\n",
                seconds, wall, cpu, 100.0 * cpu / wall, spectra);
  } else {
    std::printf("decode %.1f s of sound: wall %.3f s, cpu %.3f s, %.0fx real time\n", seconds, wall,
                cpu, seconds / wall);
  }
  std::printf(
      "peak resident memory %ld KB (%ld KB before loading the library, %ld KB before "
      "BASS_Init)\n",
      PeakRssKb(), rss_start, rss_loaded);
  b.Free();
  return 0;
}
