#ifndef VOREL_PLAYER_AUDIO_H_
#define VOREL_PLAYER_AUDIO_H_

// The player's calls into the audio library, through the table of functions resolved by name
// (libbass.so is loaded on the first call; a missing library or function ends the program with
// the runtime's message). Paths and addresses are `Text` here and reach the library as UTF-8.
// User-interface thread in practice; the library itself is thread-safe.

#include <cstdint>

#include "runtime/text.h"

namespace vorel::player::audio {

using Handle = std::uint32_t;
inline constexpr std::uint64_t kUnknownLength = ~std::uint64_t{0};

bool Init(std::int64_t window_handle);
Handle StreamCreateFile(const runtime::Text& path);
Handle StreamCreateUrl(const runtime::Text& address);
bool StreamFree(Handle h);
bool ChannelPlay(Handle h);
bool ChannelPause(Handle h);
bool ChannelStop(Handle h);
// What ChannelIsActive reports (the audio library's BASS_ACTIVE_* values): stopped (also at
// the end of a stream and for a freed one), playing, stalled (a network stream waiting for
// data) or paused.
inline constexpr std::uint32_t kStopped = 0;
inline constexpr std::uint32_t kPlaying = 1;
inline constexpr std::uint32_t kStalled = 2;
inline constexpr std::uint32_t kPaused = 3;
std::uint32_t ChannelIsActive(Handle h);
std::uint64_t ChannelGetLength(Handle h);
std::uint64_t ChannelGetPosition(Handle h);
double ChannelBytes2Seconds(Handle h, std::uint64_t bytes);
std::uint64_t ChannelSeconds2Bytes(Handle h, double seconds);
bool ChannelSetPosition(Handle h, std::uint64_t bytes);
bool ChannelSetVolume(Handle h, float volume);
bool ChannelGetVolume(Handle h, float* volume);
// 128 spectrum magnitudes of what plays now; false on failure.
bool ChannelGetSpectrum(Handle h, float bands[128]);

// Why the calling thread's last call into the library failed, as far as a person can act on it:
// no sound device or sound server to play on; a file that could not be opened (missing,
// unreadable); anything else (not a song, a network failure, ...). kNone after a success.
// The library keeps one error per thread, so this is asked on the thread that made the call.
enum class Failure { kNone, kNoDevice, kFileNotOpened, kOther };
Failure LastFailure();

}  // namespace vorel::player::audio

#endif  // VOREL_PLAYER_AUDIO_H_
