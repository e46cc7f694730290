#include "tests/audio/test_media.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/testing/process.h"
#include "tests/testing/tone.h"

namespace vorel::audio_test {

void ScopedEnv::Set(const char* name, const char* value) {
  const char* old = std::getenv(name);
  saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
  if (value) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
}

void ScopedEnv::UseSdlDiskDriver(const std::string& raw_file, const char* output) {
  Set("VOREL_AUDIO", output);
  Set("SDL_AUDIODRIVER", "disk");
  Set("SDL_DISKAUDIOFILE", raw_file.c_str());
}

ScopedEnv::~ScopedEnv() {
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
    if (it->second) {
      setenv(it->first.c_str(), it->second->c_str(), 1);
    } else {
      unsetenv(it->first.c_str());
    }
  }
}

const std::string& TempDir() { return vorel::testing::ProcessTempFolder(); }

std::string MakeAudio(const std::string& name, const std::string& lavfi,
                      const std::string& options) {
  const std::string path = TempDir() + "/" + name;
  std::string error;
  if (!vorel::testing::MakeAudioFile(path, lavfi, options, &error)) {
    ADD_FAILURE() << "could not generate test audio: " << error;
  }
  return path;
}

namespace {
using vorel::testing::SineSource;
constexpr const char* kWav = "-c:a pcm_s16le";
constexpr const char* kMp3 = "-c:a libmp3lame -b:a 128k";
// Two channel expressions, as in SineSource.
#define VOREL_LATE "if(gte(t\\,2)\\,0.9*sin(2*PI*1000*t)\\,0)"
constexpr const char* kLateTone = "aevalsrc=exprs=" VOREL_LATE "|" VOREL_LATE ":s=44100:d=4";
#undef VOREL_LATE
}  // namespace

std::string ToneWav(int hz, double seconds) {
  std::ostringstream name;
  name << "tone" << hz << "_" << seconds << ".wav";
  return MakeAudio(name.str(), SineSource(hz, seconds), kWav);
}

std::string ToneMp3(int hz, double seconds) {
  std::ostringstream name;
  name << "tone" << hz << "_" << seconds << ".mp3";
  return MakeAudio(name.str(), SineSource(hz, seconds), kMp3);
}

std::string LateToneWav() { return MakeAudio("late.wav", kLateTone, kWav); }
std::string LateToneMp3() { return MakeAudio("late.mp3", kLateTone, kMp3); }

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteBytes(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary);
  out << data;
}

Pcm ReadWav(const std::string& path) {
  Pcm pcm;
  const std::string data = ReadBytes(path);
  auto u32 = [&](size_t at) {
    uint32_t v;
    std::memcpy(&v, data.data() + at, 4);
    return v;
  };
  auto u16 = [&](size_t at) {
    uint16_t v;
    std::memcpy(&v, data.data() + at, 2);
    return v;
  };
  if (data.size() < 12 || data.compare(0, 4, "RIFF") != 0 || data.compare(8, 4, "WAVE") != 0) {
    ADD_FAILURE() << path << " is not a WAV file";
    return pcm;
  }
  size_t at = 12;
  while (at + 8 <= data.size()) {
    const uint32_t size = u32(at + 4);
    if (data.compare(at, 4, "fmt ") == 0) {
      EXPECT_EQ(u16(at + 8), 1) << "not PCM";
      pcm.channels = u16(at + 10);
      pcm.rate = static_cast<int>(u32(at + 12));
      EXPECT_EQ(u16(at + 22), 16) << "not 16-bit";
    } else if (data.compare(at, 4, "data") == 0) {
      const size_t n = std::min<size_t>(size, data.size() - at - 8) / 2;
      pcm.samples.resize(n);
      std::memcpy(pcm.samples.data(), data.data() + at + 8, n * 2);
      break;
    }
    at += 8 + size + (size & 1);
  }
  return pcm;
}

double ToneFrequency(const Pcm& pcm, size_t begin_frame, size_t end_frame) {
  int crossings = 0;
  size_t first = 0, last = 0;
  for (size_t f = begin_frame + 1; f < end_frame; ++f) {
    const int16_t a = pcm.samples[(f - 1) * pcm.channels];
    const int16_t b = pcm.samples[f * pcm.channels];
    if (a < 0 && b >= 0) {
      if (crossings == 0) first = f;
      last = f;
      ++crossings;
    }
  }
  if (crossings < 2) return 0;
  return (crossings - 1) * static_cast<double>(pcm.rate) / static_cast<double>(last - first);
}

bool WaitUntil(const std::function<bool()>& done, double seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace vorel::audio_test
