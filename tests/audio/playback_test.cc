// Streams over local files played on the silent real-time output: states, positions, seeking,
// spectrum, volume, and the rule that any call with a bad handle is harmless.
#include <dlfcn.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "tests/audio/bass_table.h"
#include "tests/audio/test_media.h"

namespace vorel::audio_test {
namespace {

const BassTable& B() { return Bass(); }

class PlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(B().Init(-1, 44100, 0, nullptr, nullptr)) << B().ErrorGetCode();
  }
  void TearDown() override { B().Free(); }

  static double PositionSeconds(HSTREAM h) {
    return B().ChannelBytes2Seconds(h, B().ChannelGetPosition(h, BASS_POS_BYTE));
  }
  static HSTREAM Open(const std::string& path) {
    HSTREAM h = B().StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_SAMPLE_FX);
    EXPECT_NE(h, 0u) << path << " error " << B().ErrorGetCode();
    return h;
  }
};

TEST(LibraryTest, LoadsByNameAndResolvesTheSixteenFunctions) {
  EXPECT_EQ(std::filesystem::path(LibraryPath()).filename(), "libbass.so");
  void* lib = Bass().library;
  for (const char* name : kPlayerFunctions) EXPECT_NE(dlsym(lib, name), nullptr) << name;
  // Once loaded, the bare name finds the same library, as the player's by-name lookup does.
  void* by_name = dlopen("libbass.so", RTLD_NOW | RTLD_NOLOAD);
  EXPECT_EQ(by_name, lib);
  if (by_name) dlclose(by_name);
}

TEST_F(PlaybackTest, PlayPauseResumeStopAndFree) {
  HSTREAM h = Open(ToneWav(440, 3));
  EXPECT_EQ(B().ChannelIsActive(h), BASS_ACTIVE_STOPPED);
  EXPECT_EQ(B().ChannelGetPosition(h, BASS_POS_BYTE), 0u);

  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  EXPECT_EQ(B().ChannelIsActive(h), BASS_ACTIVE_PLAYING);
  ASSERT_TRUE(WaitUntil([&] { return PositionSeconds(h) >= 0.3; }, 5));

  ASSERT_TRUE(B().ChannelPause(h));
  EXPECT_EQ(B().ChannelIsActive(h), BASS_ACTIVE_PAUSED);
  const QWORD paused_at = B().ChannelGetPosition(h, BASS_POS_BYTE);
  // Time passes on the real-time output; a paused stream must not move.
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(B().ChannelGetPosition(h, BASS_POS_BYTE), paused_at);
  EXPECT_FALSE(B().ChannelPause(h));
  EXPECT_EQ(B().ErrorGetCode(), BASS_ERROR_NOPLAY);

  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  EXPECT_EQ(B().ChannelIsActive(h), BASS_ACTIVE_PLAYING);
  const double resumed = PositionSeconds(h);
  EXPECT_GE(resumed, B().ChannelBytes2Seconds(h, paused_at));
  // Only what the output played since the resume (a tick or two) may lie beyond the pause.
  EXPECT_LT(resumed, B().ChannelBytes2Seconds(h, paused_at) + 0.25);
  ASSERT_TRUE(WaitUntil([&] { return B().ChannelGetPosition(h, BASS_POS_BYTE) > paused_at; }, 5));

  ASSERT_TRUE(B().ChannelStop(h));
  EXPECT_EQ(B().ChannelIsActive(h), BASS_ACTIVE_STOPPED);
  ASSERT_TRUE(B().StreamFree(h));
  EXPECT_EQ(B().ChannelIsActive(h), BASS_ACTIVE_STOPPED);
  EXPECT_FALSE(B().StreamFree(h));
  EXPECT_EQ(B().ErrorGetCode(), BASS_ERROR_HANDLE);
}

struct LengthCase {
  const char* label;
  std::string (*make)();
  double seconds;
  int rate;
  int channels;
};

void PrintTo(const LengthCase& c, std::ostream* os) { *os << c.label; }

class LengthTest : public PlaybackTest, public ::testing::WithParamInterface<LengthCase> {};

TEST_P(LengthTest, LengthAndConversionsUseTheStreamsOwnFormat) {
  const LengthCase& c = GetParam();
  HSTREAM h = Open(c.make());
  const QWORD length = B().ChannelGetLength(h, BASS_POS_BYTE);
  ASSERT_NE(length, static_cast<QWORD>(-1));
  const QWORD block = static_cast<QWORD>(c.channels) * 2;
  EXPECT_EQ(length % block, 0u);
  EXPECT_NEAR(B().ChannelBytes2Seconds(h, length), c.seconds, 0.05);
  EXPECT_EQ(B().ChannelSeconds2Bytes(h, 1.0), static_cast<QWORD>(c.rate) * block);
  EXPECT_DOUBLE_EQ(B().ChannelBytes2Seconds(h, static_cast<QWORD>(c.rate) * block), 1.0);
  // Seconds to bytes rounds down to a whole frame.
  EXPECT_EQ(B().ChannelSeconds2Bytes(h, 1.5 / c.rate), block);
  EXPECT_EQ(B().ChannelSeconds2Bytes(h, -1.0), static_cast<QWORD>(-1));
  EXPECT_LT(B().ChannelBytes2Seconds(h, static_cast<QWORD>(-1)), 0.0);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, LengthTest,
    ::testing::Values(LengthCase{"wav", [] { return ToneWav(1000, 3); }, 3.0, 44100, 2},
                      LengthCase{"mp3", [] { return ToneMp3(1000, 3); }, 3.0, 44100, 2},
                      LengthCase{"mono48k",
                                 [] {
                                   return MakeAudio("mono48k.wav", "sine=f=300:r=48000:d=2",
                                                    "-ac 1 -c:a pcm_s16le");
                                 },
                                 2.0, 48000, 1},
                      LengthCase{"mono48kmp3",
                                 [] {
                                   return MakeAudio("mono48k.mp3", "sine=f=300:r=48000:d=2",
                                                    "-ac 1 -c:a libmp3lame");
                                 },
                                 2.0, 48000, 1},
                      LengthCase{"mono22kmp3",
                                 [] {
                                   return MakeAudio("mono22k.mp3", "sine=f=300:r=22050:d=2",
                                                    "-ac 1 -c:a libmp3lame");
                                 },
                                 2.0, 22050, 1}),
    [](const auto& info) { return info.param.label; });

TEST_F(PlaybackTest, StreamThatReachesItsEndReportsStoppedAndCanRestart) {
  HSTREAM h = Open(ToneMp3(440, 1));
  const QWORD length = B().ChannelGetLength(h, BASS_POS_BYTE);
  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  ASSERT_TRUE(WaitUntil([&] { return B().ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, 10));
  const QWORD end = B().ChannelGetPosition(h, BASS_POS_BYTE);
  EXPECT_NEAR(B().ChannelBytes2Seconds(h, end), 1.0, 0.05);
  EXPECT_LE(end, B().ChannelGetLength(h, BASS_POS_BYTE));
  EXPECT_NEAR(B().ChannelBytes2Seconds(h, length), 1.0, 0.05);
  float bands[128];
  EXPECT_EQ(B().ChannelGetData(h, bands, BASS_DATA_FFT256), static_cast<DWORD>(-1));

  ASSERT_TRUE(B().ChannelPlay(h, FALSE));  // from the start again
  EXPECT_EQ(B().ChannelIsActive(h), BASS_ACTIVE_PLAYING);
  EXPECT_LT(PositionSeconds(h), 0.5);
}

TEST_F(PlaybackTest, SeekMovesThePositionAndRejectsPositionsOutsideTheStream) {
  HSTREAM h = Open(ToneMp3(440, 3));
  ASSERT_TRUE(B().ChannelSetPosition(h, B().ChannelSeconds2Bytes(h, 2.0), BASS_POS_BYTE));
  EXPECT_NEAR(PositionSeconds(h), 2.0, 0.05);
  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  ASSERT_TRUE(WaitUntil([&] { return PositionSeconds(h) > 2.2; }, 5));
  EXPECT_LT(PositionSeconds(h), 3.0);

  // Back while playing; the caller passes a 32-bit value widened with its sign.
  const int32_t one_second = static_cast<int32_t>(B().ChannelSeconds2Bytes(h, 1.0));
  ASSERT_TRUE(B().ChannelSetPosition(h, static_cast<QWORD>(static_cast<int64_t>(one_second)),
                                     BASS_POS_BYTE));
  EXPECT_NEAR(PositionSeconds(h), 1.0, 0.05);

  const QWORD before = B().ChannelGetPosition(h, BASS_POS_BYTE);
  EXPECT_FALSE(
      B().ChannelSetPosition(h, static_cast<QWORD>(static_cast<int64_t>(-176400)), BASS_POS_BYTE));
  EXPECT_EQ(B().ErrorGetCode(), BASS_ERROR_POSITION);
  EXPECT_FALSE(B().ChannelSetPosition(h, B().ChannelSeconds2Bytes(h, 60.0), BASS_POS_BYTE));
  EXPECT_EQ(B().ErrorGetCode(), BASS_ERROR_POSITION);
  EXPECT_GE(B().ChannelGetPosition(h, BASS_POS_BYTE), before);
  EXPECT_EQ(B().ChannelIsActive(h), BASS_ACTIVE_PLAYING);
}

TEST_F(PlaybackTest, SeekWhilePausedKeepsThePauseAndTheNewPosition) {
  HSTREAM h = Open(ToneWav(440, 3));
  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  ASSERT_TRUE(WaitUntil([&] { return PositionSeconds(h) > 0.1; }, 5));
  ASSERT_TRUE(B().ChannelPause(h));
  ASSERT_TRUE(B().ChannelSetPosition(h, B().ChannelSeconds2Bytes(h, 2.5), BASS_POS_BYTE));
  EXPECT_EQ(B().ChannelIsActive(h), BASS_ACTIVE_PAUSED);
  EXPECT_NEAR(PositionSeconds(h), 2.5, 0.001);
  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  ASSERT_TRUE(WaitUntil([&] { return B().ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, 5));
  EXPECT_NEAR(PositionSeconds(h), 3.0, 0.05);
}

struct ToneBand {
  int hz;
  int band;
};

void PrintTo(const ToneBand& t, std::ostream* os) { *os << t.hz << " Hz"; }

class SpectrumTest : public PlaybackTest, public ::testing::WithParamInterface<ToneBand> {};

TEST_P(SpectrumTest, PureTonePeaksInItsBand) {
  HSTREAM h = Open(ToneWav(GetParam().hz, 2));
  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  ASSERT_TRUE(WaitUntil([&] { return PositionSeconds(h) > 0.3; }, 5));
  float bands[128];
  ASSERT_NE(B().ChannelGetData(h, bands, BASS_DATA_FFT256), static_cast<DWORD>(-1));
  const int peak = static_cast<int>(std::max_element(bands, bands + 128) - bands);
  EXPECT_EQ(peak, GetParam().band);
  // Amplitude 0.9, between two band centres at worst: about 0.75 to 0.9.
  EXPECT_GT(bands[peak], 0.6f);
  EXPECT_LT(bands[peak], 1.1f);
  for (int k = 0; k < 128; ++k) {
    if (std::abs(k - peak) > 2) {
      EXPECT_LT(bands[k], 0.02f) << "band " << k;
    }
  }
}

// 44100 / 256 Hz per band; band k is centred on k * 172.27 Hz.
INSTANTIATE_TEST_SUITE_P(Tones, SpectrumTest,
                         ::testing::Values(ToneBand{1000, 6}, ToneBand{5000, 29},
                                           ToneBand{10000, 58}),
                         [](const auto& info) { return std::to_string(info.param.hz) + "Hz"; });

TEST_F(PlaybackTest, SpectrumOfAnMp3AndOfSilence) {
  HSTREAM h = Open(ToneMp3(1000, 2));
  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  ASSERT_TRUE(WaitUntil([&] { return PositionSeconds(h) > 0.3; }, 5));
  float bands[128];
  ASSERT_NE(B().ChannelGetData(h, bands, BASS_DATA_FFT256), static_cast<DWORD>(-1));
  EXPECT_EQ(std::max_element(bands, bands + 128) - bands, 6);

  // A longer transform halves the band width: 1 kHz lies near band 12 of 256 (86 Hz each).
  float fine[256];
  ASSERT_NE(B().ChannelGetData(h, fine, BASS_DATA_FFT512), static_cast<DWORD>(-1));
  EXPECT_EQ(std::max_element(fine, fine + 256) - fine, 12);
  // Modifier flags this library does not produce (complex output would need a larger buffer).
  EXPECT_EQ(B().ChannelGetData(h, bands, BASS_DATA_FFT256 | 0x80), static_cast<DWORD>(-1));
  EXPECT_EQ(B().ErrorGetCode(), BASS_ERROR_ILLPARAM);

  HSTREAM quiet =
      Open(MakeAudio("silence.wav", "anullsrc=r=44100:cl=stereo:d=2", "-c:a pcm_s16le"));
  ASSERT_TRUE(B().ChannelPlay(quiet, FALSE));
  ASSERT_TRUE(WaitUntil([&] { return PositionSeconds(quiet) > 0.3; }, 5));
  ASSERT_NE(B().ChannelGetData(quiet, bands, BASS_DATA_FFT256), static_cast<DWORD>(-1));
  EXPECT_LT(*std::max_element(bands, bands + 128), 1e-4f);
}

TEST_F(PlaybackTest, VolumeRoundTripsAndIsClamped) {
  HSTREAM h = Open(ToneWav(440, 1));
  float v = -5;
  ASSERT_TRUE(B().ChannelGetAttribute(h, BASS_ATTRIB_VOL, &v));
  EXPECT_FLOAT_EQ(v, 1.0f);
  for (float set : {0.0f, 0.37f, 1.0f}) {
    ASSERT_TRUE(B().ChannelSetAttribute(h, BASS_ATTRIB_VOL, set));
    ASSERT_TRUE(B().ChannelGetAttribute(h, BASS_ATTRIB_VOL, &v));
    EXPECT_FLOAT_EQ(v, set);
  }
  ASSERT_TRUE(B().ChannelSetAttribute(h, BASS_ATTRIB_VOL, 3.0f));
  ASSERT_TRUE(B().ChannelGetAttribute(h, BASS_ATTRIB_VOL, &v));
  EXPECT_FLOAT_EQ(v, 1.0f);
  ASSERT_TRUE(B().ChannelSetAttribute(h, BASS_ATTRIB_VOL, -0.5f));
  ASSERT_TRUE(B().ChannelGetAttribute(h, BASS_ATTRIB_VOL, &v));
  EXPECT_FLOAT_EQ(v, 0.0f);
  EXPECT_FALSE(B().ChannelSetAttribute(h, BASS_ATTRIB_VOL, std::nanf("")));
  EXPECT_EQ(B().ErrorGetCode(), BASS_ERROR_ILLPARAM);
  EXPECT_FALSE(B().ChannelSetAttribute(h, BASS_ATTRIB_FREQ, 1.0f));
  EXPECT_EQ(B().ErrorGetCode(), BASS_ERROR_ILLTYPE);
  EXPECT_FALSE(B().ChannelGetAttribute(h, BASS_ATTRIB_VOL, nullptr));
}

TEST_F(PlaybackTest, CallsWithHandleZeroFreedOrUnknownAreHarmless) {
  HSTREAM freed = Open(ToneWav(440, 1));
  ASSERT_TRUE(B().ChannelPlay(freed, FALSE));
  ASSERT_TRUE(B().StreamFree(freed));
  for (DWORD h : {0u, freed, 0x7fffffffu}) {
    SCOPED_TRACE(h);
    EXPECT_FALSE(B().ChannelPlay(h, FALSE));
    EXPECT_EQ(B().ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_FALSE(B().ChannelPause(h));
    EXPECT_FALSE(B().ChannelStop(h));
    EXPECT_EQ(B().ChannelIsActive(h), BASS_ACTIVE_STOPPED);
    EXPECT_EQ(B().ChannelGetLength(h, BASS_POS_BYTE), static_cast<QWORD>(-1));
    EXPECT_EQ(B().ChannelGetPosition(h, BASS_POS_BYTE), static_cast<QWORD>(-1));
    EXPECT_LT(B().ChannelBytes2Seconds(h, 1000), 0.0);
    EXPECT_EQ(B().ChannelSeconds2Bytes(h, 1.0), static_cast<QWORD>(-1));
    EXPECT_FALSE(B().ChannelSetPosition(h, 0, BASS_POS_BYTE));
    EXPECT_FALSE(B().ChannelSetAttribute(h, BASS_ATTRIB_VOL, 0.5f));
    float v = 42.0f;
    EXPECT_FALSE(B().ChannelGetAttribute(h, BASS_ATTRIB_VOL, &v));
    EXPECT_EQ(v, 42.0f);
    float bands[128];
    EXPECT_EQ(B().ChannelGetData(h, bands, BASS_DATA_FFT256), static_cast<DWORD>(-1));
    EXPECT_FALSE(B().StreamFree(h));
    EXPECT_EQ(B().ErrorGetCode(), BASS_ERROR_HANDLE);
  }
  // Handles are never reused, so the stale value can never reach a newer stream.
  for (int i = 0; i < 5; ++i) {
    HSTREAM h = Open(ToneWav(440, 1));
    EXPECT_NE(h, freed);
    B().StreamFree(h);
  }
}

TEST_F(PlaybackTest, InitTwiceFailsAndStreamsNeedInit) {
  EXPECT_FALSE(B().Init(-1, 44100, 0, nullptr, nullptr));
  EXPECT_EQ(B().ErrorGetCode(), BASS_ERROR_ALREADY);
  HSTREAM h = Open(ToneWav(440, 1));
  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  ASSERT_TRUE(B().Free());
  EXPECT_EQ(B().ChannelIsActive(h), BASS_ACTIVE_STOPPED);  // freed with the device
  EXPECT_EQ(B().StreamCreateFile(FALSE, ToneWav(440, 1).c_str(), 0, 0, 0), 0u);
  EXPECT_EQ(B().ErrorGetCode(), BASS_ERROR_INIT);
  EXPECT_EQ(B().StreamCreateURL("http://127.0.0.1:1/a.mp3", 0, 0, nullptr, nullptr), 0u);
  EXPECT_EQ(B().ErrorGetCode(), BASS_ERROR_INIT);
  ASSERT_TRUE(B().Init(-1, 44100, 0, nullptr, nullptr));
}

TEST_F(PlaybackTest, OpensUtf8AndUtf16Paths) {
  const std::string path = TempDir() + "/歌曲 测试.mp3";
  std::filesystem::copy_file(ToneMp3(440, 1), path,
                             std::filesystem::copy_options::overwrite_existing);
  HSTREAM h = Open(path);
  EXPECT_NE(B().ChannelGetLength(h, BASS_POS_BYTE), static_cast<QWORD>(-1));
  const std::u16string wide = std::filesystem::path(path).u16string();
  HSTREAM w = B().StreamCreateFile(FALSE, wide.c_str(), 0, 0, BASS_UNICODE);
  EXPECT_NE(w, 0u) << B().ErrorGetCode();
  EXPECT_NEAR(B().ChannelBytes2Seconds(w, B().ChannelGetLength(w, BASS_POS_BYTE)), 1.0, 0.05);
}

}  // namespace
}  // namespace vorel::audio_test
