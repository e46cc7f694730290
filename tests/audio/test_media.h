#ifndef VOREL_TESTS_AUDIO_TEST_MEDIA_H_
#define VOREL_TESTS_AUDIO_TEST_MEDIA_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vorel::audio_test {

// Sets environment variables for one test and puts the old values back (null: unset).
class ScopedEnv {
 public:
  void Set(const char* name, const char* value);
  // Chooses the output `output` (VOREL_AUDIO; null: the library chooses) and sends SDL's sound
  // to its disk driver, which writes what would be heard to `raw_file`.
  void UseSdlDiskDriver(const std::string& raw_file, const char* output = "sdl");
  ~ScopedEnv();

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

// A folder of this process's own, removed at exit.
const std::string& TempDir();

// Makes (once per process) a file in TempDir() from an ffmpeg lavfi source expression with the
// given output options, e.g. MakeAudio("a.mp3", "sine=f=440:d=1", "-c:a libmp3lame").
std::string MakeAudio(const std::string& name, const std::string& lavfi,
                      const std::string& options);

// A sine of amplitude 0.9 (stereo, 44.1 kHz): 16-bit WAV or 128 kbit/s CBR MP3.
std::string ToneWav(int hz, double seconds);
std::string ToneMp3(int hz, double seconds);
// Silence until 2.0 s, then a 1 kHz sine to 4.0 s: shows where a seek really lands.
std::string LateToneWav();
std::string LateToneMp3();

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& data);

struct Pcm {
  int rate = 0;
  int channels = 0;
  std::vector<int16_t> samples;  // interleaved
};
// Reads a 16-bit PCM WAV file (fails the test on anything else).
Pcm ReadWav(const std::string& path);

// Frequency of the sine in samples[begin, end) of channel 0, from its zero crossings.
double ToneFrequency(const Pcm& pcm, size_t begin_frame, size_t end_frame);

// Polls `done` every few milliseconds until it holds or `seconds` pass; returns its last value.
// The output is clocked in real time, so state changes take real time to show.
bool WaitUntil(const std::function<bool()>& done, double seconds);

}  // namespace vorel::audio_test

#endif  // VOREL_TESTS_AUDIO_TEST_MEDIA_H_
