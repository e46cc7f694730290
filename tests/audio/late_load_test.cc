// The decoding, output and FFT libraries are loaded when first needed, not with libbass.so:
// each check runs in a fresh process (a threadsafe death test re-runs this binary), since
// other tests of this binary have long loaded everything.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/audio/bass_table.h"
#include "tests/audio/test_media.h"

namespace vorel::audio_test {
namespace {

bool Mapped(const char* name_part) {
  std::ifstream maps("/proc/self/maps");
  std::stringstream text;
  text << maps.rdbuf();
  return text.str().find(name_part) != std::string::npos;
}

// Ends the child: 0 when every step held, otherwise the number of the step that failed.
[[noreturn]] void Fail(int step, const char* what) {
  std::fprintf(stderr, "step %d: %s\n", step, what);
  std::fflush(stderr);
  _exit(step);
}

void OpenPlayAndAskForASpectrum(const std::string& mp3, const std::string& wav_path) {
  const BassTable& b = Bass();
  if (Mapped("libavcodec") || Mapped("libavformat")) Fail(1, "FFmpeg mapped with libbass.so");
  if (!b.Init(-1, 44100, 0, nullptr, nullptr)) Fail(2, "BASS_Init failed");
  if (Mapped("libavcodec") || Mapped("libSDL2") || Mapped("libfftw3f")) {
    Fail(3, "a decoding, output or FFT library mapped by BASS_Init");
  }
  const HSTREAM h = b.StreamCreateFile(FALSE, mp3.c_str(), 0, 0, 0);
  if (h == 0) Fail(4, "the first stream did not open");
  // An MP3 costs only libmpg123; FFmpeg's libraries (and all they depend on) would add
  // megabytes of private memory.
  if (!Mapped("libmpg123")) Fail(5, "an MP3 opened without its decoder mapped");
  if (Mapped("libavcodec") || Mapped("libavformat")) Fail(12, "FFmpeg mapped for an MP3");
  if (b.ChannelBytes2Seconds(h, b.ChannelGetLength(h, BASS_POS_BYTE)) < 0.9) {
    Fail(6, "wrong length");
  }
  if (!b.ChannelPlay(h, FALSE)) Fail(7, "play failed");
  if (!WaitUntil([&] { return b.ChannelGetPosition(h, BASS_POS_BYTE) > 0; }, 5)) {
    Fail(8, "the stream did not advance");
  }
  if (Mapped("libfftw3f")) Fail(9, "FFTW mapped before the first spectrum");
  std::vector<float> bands(128);
  if (b.ChannelGetData(h, bands.data(), BASS_DATA_FFT256) == static_cast<DWORD>(-1)) {
    Fail(10, "no spectrum");
  }
  if (Mapped("libSDL2") || Mapped("libpulse"))
    Fail(11, "a sound output mapped for the silent output");
  // Any other format loads FFmpeg when it is first opened.
  const HSTREAM wav = b.StreamCreateFile(FALSE, wav_path.c_str(), 0, 0, 0);
  if (wav == 0) Fail(13, "a WAV file did not open");
  if (!Mapped("libavcodec")) Fail(14, "a WAV file opened without FFmpeg mapped");
  b.Free();
  _exit(0);
}

TEST(LateLoadTest, FirstStreamLoadsTheDecoderAndPlays) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string mp3 = ToneMp3(440, 1.5);
  const std::string wav = ToneWav(440, 1);
  EXPECT_EXIT(OpenPlayAndAskForASpectrum(mp3, wav), ::testing::ExitedWithCode(0), "");
}

TEST(LateLoadTest, DecodeChannelOpensFirstAndGivesSamples) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const std::string mp3 = ToneMp3(440, 1.5);
  EXPECT_EXIT(
      {
        const BassTable& b = Bass();
        if (!b.Init(0, 44100, 0, nullptr, nullptr)) Fail(1, "BASS_Init failed");
        const HSTREAM h = b.StreamCreateFile(FALSE, mp3.c_str(), 0, 0, BASS_STREAM_DECODE);
        if (h == 0) Fail(2, "the first decoding channel did not open");
        std::vector<int16_t> pcm(4096);
        if (b.ChannelGetData(h, pcm.data(), pcm.size() * 2) == static_cast<DWORD>(-1)) {
          Fail(3, "no samples");
        }
        _exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace vorel::audio_test
