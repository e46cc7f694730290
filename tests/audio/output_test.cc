// What reaches the ears: the WAV stand-in and SDL's disk driver record what would be heard, so
// frequency, volume and seek landing can be checked in the sound itself; and no device at all.
#include <signal.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>

#include <gtest/gtest.h>

#include "tests/audio/bass_table.h"
#include "tests/audio/test_media.h"

namespace vorel::audio_test {
namespace {

const BassTable& B() { return Bass(); }

// The loud part of a recording: first and last frame above about -30 dB, and its peak.
struct Sound {
  size_t first = 0, last = 0;
  int peak = 0;
};
Sound FindSound(const Pcm& pcm) {
  Sound s;
  bool found = false;
  const size_t frames = pcm.samples.size() / pcm.channels;
  for (size_t f = 0; f < frames; ++f) {
    const int v = std::abs(pcm.samples[f * pcm.channels]);
    if (v > 1000) {
      if (!found) s.first = f;
      found = true;
      s.last = f;
    }
    s.peak = std::max(s.peak, v);
  }
  return s;
}

// Plays `path` from `from_seconds` to its end at `volume` and returns what was "heard".
Pcm Record(const std::string& path, double from_seconds, float volume) {
  const std::string wav = TempDir() + "/heard.wav";
  ScopedEnv env;
  env.Set("VOREL_AUDIO", ("wav:" + wav).c_str());
  EXPECT_TRUE(B().Init(-1, 44100, 0, nullptr, nullptr)) << B().ErrorGetCode();
  HSTREAM h = B().StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
  EXPECT_NE(h, 0u);
  EXPECT_TRUE(B().ChannelSetAttribute(h, BASS_ATTRIB_VOL, volume));
  EXPECT_TRUE(B().ChannelSetPosition(h, B().ChannelSeconds2Bytes(h, from_seconds), BASS_POS_BYTE));
  EXPECT_TRUE(B().ChannelPlay(h, FALSE));
  EXPECT_TRUE(WaitUntil([&] { return B().ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, 10));
  B().Free();
  return ReadWav(wav);
}

TEST(OutputTest, TheToneIsHeardAtItsFrequencyAndVolume) {
  const Pcm heard = Record(ToneMp3(440, 1), 0.0, 0.5f);
  ASSERT_EQ(heard.rate, 44100);
  ASSERT_EQ(heard.channels, 2);
  const Sound s = FindSound(heard);
  ASSERT_GT(s.last, s.first);
  EXPECT_NEAR((s.last - s.first) / 44100.0, 1.0, 0.05);
  EXPECT_NEAR(ToneFrequency(heard, s.first, s.last), 440.0, 2.0);
  EXPECT_NEAR(s.peak / 32767.0, 0.45, 0.03);  // amplitude 0.9 at half volume
}

// A mono MP3 is widened to both sides, and one at another rate than the output's is resampled:
// both sides carry the tone at its pitch, for its whole length.
TEST(OutputTest, MonoMp3sAreHeardOnBothSidesAtTheirPitchWhateverTheirRate) {
  for (const std::string rate : {"44100", "48000"}) {
    SCOPED_TRACE(rate);
    const Pcm heard = Record(MakeAudio("mono" + rate + ".mp3", "sine=f=440:r=" + rate + ":d=1",
                                       "-ac 1 -c:a libmp3lame -b:a 64k"),
                             0.0, 1.0f);
    ASSERT_EQ(heard.channels, 2);
    const Sound s = FindSound(heard);
    ASSERT_GT(s.last, s.first);
    EXPECT_NEAR((s.last - s.first) / 44100.0, 1.0, 0.05);
    EXPECT_NEAR(ToneFrequency(heard, s.first, s.last), 440.0, 2.0);
    size_t unequal = 0;
    for (size_t f = 0; f < heard.samples.size() / 2; ++f) {
      unequal += heard.samples[2 * f] != heard.samples[2 * f + 1];
    }
    EXPECT_EQ(unequal, 0u);
  }
}

TEST(OutputTest, WhatIsHeardAfterASeekStartsAtTheSeekTarget) {
  // The tone fills 2.0 s to 4.0 s of the file: from 3.0 s, exactly one second of it is heard,
  // also when the file's rate is not the output's.
  const std::string late48k = TempDir() + "/late48k.mp3";
  ASSERT_EQ(std::system(("ffmpeg -nostdin -v error -y -i \"" + LateToneMp3() +
                         "\" -ar 48000 -c:a libmp3lame -b:a 128k \"" + late48k + "\"")
                            .c_str()),
            0);
  for (const std::string& path : {LateToneMp3(), late48k}) {
    SCOPED_TRACE(path);
    const Pcm heard = Record(path, 3.0, 1.0f);
    const Sound s = FindSound(heard);
    ASSERT_GT(s.last, s.first);
    EXPECT_NEAR((s.last - s.first) / 44100.0, 1.0, 0.05);
    EXPECT_NEAR(ToneFrequency(heard, s.first, s.last), 1000.0, 3.0);
  }
}

// The /proc folder of this process's first thread whose name starts with `prefix`.
std::optional<std::filesystem::path> ThreadNamed(std::string_view prefix) {
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::ifstream comm(task.path() / "comm");
    std::string name;
    std::getline(comm, name);
    if (name.rfind(prefix, 0) == 0) return task.path();
  }
  return std::nullopt;
}

// Times the output thread has gone to sleep since it started (-1: no such thread).
long OutputThreadSleeps() {
  const std::optional<std::filesystem::path> task = ThreadNamed("bass-output");
  if (!task) return -1;
  std::ifstream status(*task / "status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("voluntary_ctxt_switches:", 0) == 0) return std::stol(line.substr(24));
  }
  return -1;
}

// Whether the output thread slept again during a quarter of a second, once the pull that may
// have been under way is over: a thread that pulls every 23 ms would, one that rests does not.
bool OutputThreadWakes() {
  usleep(100000);
  const long before = OutputThreadSleeps();
  usleep(250000);
  return OutputThreadSleeps() != before;
}

TEST(OutputTest, TheSilentOutputRestsWhileNothingPlays) {
  ScopedEnv env;
  env.Set("VOREL_AUDIO", "null");
  ASSERT_TRUE(B().Init(-1, 44100, 0, nullptr, nullptr)) << B().ErrorGetCode();
  ASSERT_TRUE(WaitUntil([] { return OutputThreadSleeps() >= 0; }, 5));
  EXPECT_FALSE(OutputThreadWakes()) << "no stream";

  HSTREAM h = B().StreamCreateFile(FALSE, ToneMp3(440, 0.5).c_str(), 0, 0, 0);
  ASSERT_NE(h, 0u);
  EXPECT_FALSE(OutputThreadWakes()) << "a stream that was not started";
  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  EXPECT_TRUE(WaitUntil([&] { return B().ChannelGetPosition(h, BASS_POS_BYTE) > 0; }, 5));
  ASSERT_TRUE(B().ChannelPause(h));
  const QWORD paused_at = B().ChannelGetPosition(h, BASS_POS_BYTE);
  EXPECT_FALSE(OutputThreadWakes()) << "paused";

  // Resumed, it plays on from where it was, in time, to its end; then the output rests again.
  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  EXPECT_TRUE(WaitUntil([&] { return B().ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, 5));
  EXPECT_GE(B().ChannelGetPosition(h, BASS_POS_BYTE), paused_at);
  EXPECT_FALSE(OutputThreadWakes()) << "played to its end";

  // Played again from the start: the rested output wakes for it.
  ASSERT_TRUE(B().ChannelPlay(h, TRUE));
  EXPECT_TRUE(WaitUntil([&] { return B().ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, 5));
  B().Free();
}

// What SDL's disk driver wrote to `raw`: the device format asked for, float stereo at 44.1 kHz.
Pcm HeardByDiskDriver(const std::string& raw) {
  const std::string bytes = ReadBytes(raw);
  Pcm heard;
  heard.rate = 44100;
  heard.channels = 2;
  for (size_t i = 0; i + 4 <= bytes.size(); i += 4) {
    float v;
    std::memcpy(&v, bytes.data() + i, 4);
    heard.samples.push_back(static_cast<int16_t>(std::lrint(v * 32767)));
  }
  return heard;
}

// Whether a thread of SDL's sound device (named "SDLAudio..." by SDL) is running.
bool SdlDeviceThreadRuns() { return ThreadNamed("SDLAudio").has_value(); }

// A paused SDL device still feeds the system silence from its own thread; after a rest with
// nothing playing it is closed, and the next song opens it again and is heard.
TEST(OutputTest, ARestingSdlDeviceIsClosedAndOpensAgainForTheNextSong) {
  const std::string raw = TempDir() + "/rest.raw";
  ScopedEnv env;
  env.UseSdlDiskDriver(raw);
  ScopedRest rest(0.3);
  ASSERT_TRUE(B().Init(-1, 44100, 0, nullptr, nullptr)) << B().ErrorGetCode();
  // SDL's thread names itself once it runs, so its start is waited for too.
  EXPECT_TRUE(WaitUntil(SdlDeviceThreadRuns, 5)) << "no device opened at start";
  EXPECT_TRUE(WaitUntil([] { return !SdlDeviceThreadRuns(); }, 5)) << "never closed at start";

  HSTREAM h = B().StreamCreateFile(FALSE, ToneWav(440, 0.4).c_str(), 0, 0, 0);
  ASSERT_NE(h, 0u);
  for (int song = 0; song < 2; ++song) {
    ASSERT_TRUE(B().ChannelPlay(h, TRUE)) << "song " << song << ": " << B().ErrorGetCode();
    EXPECT_TRUE(WaitUntil(SdlDeviceThreadRuns, 5)) << "song " << song;
    EXPECT_TRUE(WaitUntil([&] { return B().ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, 10));
    EXPECT_GT(B().ChannelGetPosition(h, BASS_POS_BYTE), 0u);
    EXPECT_TRUE(WaitUntil([] { return !SdlDeviceThreadRuns(); }, 5)) << "song " << song;
  }
  // A pause shorter than the rest keeps the device; the stream resumes where it was.
  ASSERT_TRUE(B().ChannelPlay(h, TRUE));
  ASSERT_TRUE(B().ChannelPause(h));
  EXPECT_TRUE(WaitUntil(SdlDeviceThreadRuns, 0.2));
  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  EXPECT_TRUE(WaitUntil([&] { return B().ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, 10));
  B().Free();

  // The disk driver starts its file anew at each opening: the last opening heard the tone.
  const Pcm heard = HeardByDiskDriver(raw);
  const Sound s = FindSound(heard);
  ASSERT_GT(s.last, s.first);
  EXPECT_NEAR(ToneFrequency(heard, s.first, s.last), 440.0, 2.0);
}

TEST(OutputTest, SdlOutputPlaysThroughItsDiskDriver) {
  const std::string raw = TempDir() + "/sdl.raw";
  ScopedEnv env;
  env.UseSdlDiskDriver(raw);
  struct sigaction before {};
  sigaction(SIGTERM, nullptr, &before);
  ASSERT_TRUE(B().Init(-1, 44100, 0, nullptr, nullptr)) << B().ErrorGetCode();
  // The program's own handling of SIGTERM and SIGINT stays as it was.
  struct sigaction after {};
  sigaction(SIGTERM, nullptr, &after);
  EXPECT_EQ(after.sa_handler, before.sa_handler);
  HSTREAM h = B().StreamCreateFile(FALSE, ToneWav(440, 0.5).c_str(), 0, 0, 0);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  EXPECT_TRUE(WaitUntil([&] { return B().ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, 10));
  B().Free();
  const Pcm heard = HeardByDiskDriver(raw);
  const Sound s = FindSound(heard);
  ASSERT_GT(s.last, s.first);
  EXPECT_NEAR((s.last - s.first) / 44100.0, 0.5, 0.05);
  EXPECT_NEAR(ToneFrequency(heard, s.first, s.last), 440.0, 2.0);
}

TEST(OutputTest, InitFailsWithoutASoundDeviceUnlessTheSilentOutputIsAskedFor) {
  ScopedEnv env;
  env.Set("VOREL_AUDIO", nullptr);
  env.Set("PULSE_SERVER", ("unix:" + TempDir() + "/no-sound-server").c_str());
  env.Set("SDL_AUDIODRIVER", "vorel_no_such_driver");
  EXPECT_FALSE(B().Init(-1, 44100, 0, nullptr, nullptr));
  const int error = B().ErrorGetCode();
  EXPECT_TRUE(error == BASS_ERROR_DRIVER || error == BASS_ERROR_DEVICE) << error;
  EXPECT_EQ(B().StreamCreateFile(FALSE, ToneWav(440, 1).c_str(), 0, 0, 0), 0u);
  EXPECT_EQ(B().ErrorGetCode(), BASS_ERROR_INIT);
  EXPECT_FALSE(B().Free());

  // Device 0 is the silent output by request, and works without any sound driver.
  ASSERT_TRUE(B().Init(0, 44100, 0, nullptr, nullptr));
  HSTREAM h = B().StreamCreateFile(FALSE, ToneWav(440, 1).c_str(), 0, 0, 0);
  EXPECT_TRUE(B().ChannelPlay(h, FALSE));
  EXPECT_EQ(B().ChannelIsActive(h), BASS_ACTIVE_PLAYING);
  B().Free();
}

}  // namespace
}  // namespace vorel::audio_test
