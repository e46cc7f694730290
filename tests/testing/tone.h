#ifndef VOREL_TESTS_TESTING_TONE_H_
#define VOREL_TESTS_TESTING_TONE_H_

// Test audio made with the ffmpeg command from an lavfi source expression, so no sound file has
// to be kept in the tree.

#include <string>

namespace vorel::testing {

// Writes `path` from `lavfi` (an ffmpeg lavfi source, e.g. "sine=frequency=440:duration=1")
// with the given output options (e.g. "-c:a libmp3lame -b:a 128k"). A file already there is
// kept. The file is written beside its name and renamed when complete, so threads and processes
// making the same file side by side never see half of one. False, with the command and why on
// `error` when given, when ffmpeg failed.
bool MakeAudioFile(const std::string& path, const std::string& lavfi, const std::string& options,
                   std::string* error = nullptr);

// An lavfi source: a sine of `hz` at `amplitude` (of full scale) on both channels, 44.1 kHz.
// Each channel has its own expression: a mono source widened by ffmpeg would lose 3 dB.
std::string SineSource(int hz, double seconds, double amplitude = 0.9);

}  // namespace vorel::testing

#endif  // VOREL_TESTS_TESTING_TONE_H_
