// The exported C functions: a table of handles over the channel objects, the output device,
// and the per-thread error code.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>

#include "platform/audio/bass.h"
#include "platform/audio/internal/decode_channel.h"
#include "platform/audio/internal/decoder.h"
#include "platform/audio/internal/output.h"
#include "platform/audio/internal/playback_stream.h"
#include "platform/mutex.h"

namespace vorel::platform::audio {
namespace {

constexpr int kDefaultRate = 44100;
constexpr QWORD kNoQword = static_cast<QWORD>(-1);
constexpr DWORD kNoDword = static_cast<DWORD>(-1);

thread_local int t_error = BASS_OK;

// Process-wide state. Created once and never destroyed, so that no static destructor runs
// while output or decoding threads may still be working at process exit.
struct Library {
  Mutex mu;
  bool initialized VOREL_GUARDED_BY(mu) = false;
  int rate VOREL_GUARDED_BY(mu) = kDefaultRate;
  Output::Rest rest VOREL_GUARDED_BY(mu) = Output::kDefaultRest;
  std::unique_ptr<Mixer> mixer VOREL_GUARDED_BY(mu);
  std::unique_ptr<Output> output VOREL_GUARDED_BY(mu);
  // Calls into the output made without the lock (OutputCall); BASS_Free waits for them to end
  // before it takes the output down.
  int output_calls VOREL_GUARDED_BY(mu) = 0;
  CondVar output_calls_ended;
  // Handles count up and are never reused, so a stale handle can never reach another stream.
  DWORD next_handle VOREL_GUARDED_BY(mu) = 0x10001;
  std::unordered_map<DWORD, std::shared_ptr<Channel>> channels VOREL_GUARDED_BY(mu);
};

Library& Lib() {
  static Library* lib = new Library;
  return *lib;
}

template <typename T>
T Fail(int code, T value) {
  t_error = code;
  return value;
}

std::shared_ptr<Channel> Find(DWORD handle) {
  if (handle == 0) return nullptr;
  Library& lib = Lib();
  MutexLock lock(lib.mu);
  auto it = lib.channels.find(handle);
  return it == lib.channels.end() ? nullptr : it->second;
}

// The output, kept for a call made without the library lock: opening, pausing or closing a
// device may wait for its callback or its server, and no other call on any stream waits for
// that. Null when the library is not initialised.
class OutputCall {
 public:
  OutputCall() {
    Library& lib = Lib();
    MutexLock lock(lib.mu);
    if (!lib.initialized) return;
    output_ = lib.output.get();
    ++lib.output_calls;
  }
  ~OutputCall() {
    if (!output_) return;
    Library& lib = Lib();
    MutexLock lock(lib.mu);
    if (--lib.output_calls == 0) lib.output_calls_ended.NotifyAll();
  }
  OutputCall(const OutputCall&) = delete;
  OutputCall& operator=(const OutputCall&) = delete;

  Output* output() const { return output_; }

 private:
  Output* output_ = nullptr;
};

// Lets the output rest or wake after a stream's playing state may have changed. False when
// the output cannot play (its device, closed while resting, did not open again; its sound
// server is gone).
bool PlayingChanged() {
  OutputCall call;
  return !call.output() || call.output()->PlayingChanged();
}

// Drops what the output holds but has not played (after a seek, a stop, or a pause while
// other streams play on), so the change is heard at once.
void Discard() {
  OutputCall call;
  if (call.output()) call.output()->Discard();
}

bool IsPlayback(Channel& channel) { return dynamic_cast<PlaybackStream*>(&channel) != nullptr; }

bool AnyPlaying() {
  Library& lib = Lib();
  MutexLock lock(lib.mu);
  return lib.mixer && lib.mixer->AnyPlaying();
}

std::string Utf8FromUtf16(const char16_t* s) {
  std::string out;
  for (size_t i = 0; s[i] != 0; ++i) {
    uint32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;  // an unpaired surrogate
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Opens the source and registers the new channel. Opening runs without the library lock, so
// a slow server never holds up calls on other streams.
HSTREAM CreateStream(const SourceSpec& spec, DWORD flags) {
  Library& lib = Lib();
  int rate;
  std::shared_ptr<HeardClock> clock;
  {
    MutexLock lock(lib.mu);
    if (!lib.initialized) return Fail<HSTREAM>(BASS_ERROR_INIT, 0);
    // The sound server went away: a stream opened now could not be heard.
    if (!(flags & BASS_STREAM_DECODE) && !lib.output->CanPlay()) {
      return Fail<HSTREAM>(BASS_ERROR_DEVICE, 0);
    }
    rate = lib.rate;
    clock = lib.mixer->clock();
  }
  const bool decode_only = (flags & BASS_STREAM_DECODE) != 0;
  OutputFormat format;
  if (decode_only) {
    format.sample =
        (flags & BASS_SAMPLE_FLOAT) ? OutputFormat::Sample::kFloat : OutputFormat::Sample::kS16;
  } else {
    format.sample = OutputFormat::Sample::kFloat;
    format.rate = rate;
    format.channels = 2;
  }
  int error = BASS_OK;
  std::unique_ptr<Decoder> decoder = Decoder::Open(spec, format, nullptr, &error);
  if (!decoder) return Fail<HSTREAM>(error, 0);

  std::shared_ptr<Channel> channel;
  std::shared_ptr<PlaybackStream> playback;
  if (decode_only) {
    channel = std::make_shared<DecodeChannel>(std::move(decoder));
  } else {
    playback = std::make_shared<PlaybackStream>(std::move(decoder), rate, std::move(clock));
    if (!playback->WaitForFirstData()) return Fail<HSTREAM>(BASS_ERROR_FILEFORM, 0);
    channel = playback;
  }
  MutexLock lock(lib.mu);
  if (!lib.initialized || lib.rate != rate) return Fail<HSTREAM>(BASS_ERROR_INIT, 0);
  const DWORD handle = lib.next_handle++;
  lib.channels.emplace(handle, channel);
  if (playback) lib.mixer->Add(playback);
  t_error = BASS_OK;
  return handle;
}

}  // namespace
}  // namespace vorel::platform::audio

using namespace vorel::platform::audio;
using vorel::platform::MutexLock;

extern "C" {

BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win, const void* dsguid) {
  if (device < -1) return Fail<BOOL>(BASS_ERROR_DEVICE, FALSE);
  const int rate = (freq == 0) ? kDefaultRate : static_cast<int>(freq);
  if (rate < 1000 || rate > 384000) return Fail<BOOL>(BASS_ERROR_FREQ, FALSE);
  Library& lib = Lib();
  MutexLock lock(lib.mu);
  if (lib.initialized) return Fail<BOOL>(BASS_ERROR_ALREADY, FALSE);
  auto mixer = std::make_unique<Mixer>(std::make_shared<HeardClock>(rate));
  int error = BASS_OK;
  std::unique_ptr<Output> output = Output::Open(device, rate, mixer.get(), lib.rest, &error);
  if (!output) return Fail<BOOL>(error, FALSE);
  lib.mixer = std::move(mixer);
  lib.output = std::move(output);
  lib.rate = rate;
  lib.initialized = true;
  t_error = BASS_OK;
  return TRUE;
}

BOOL BASS_Free(void) {
  Library& lib = Lib();
  std::unique_ptr<Output> output;
  std::unique_ptr<Mixer> mixer;
  std::unordered_map<DWORD, std::shared_ptr<Channel>> channels;
  {
    MutexLock lock(lib.mu);
    if (!lib.initialized) return Fail<BOOL>(BASS_ERROR_INIT, FALSE);
    lib.initialized = false;
    while (lib.output_calls > 0) lib.output_calls_ended.Wait(lib.mu);
    output = std::move(lib.output);
    mixer = std::move(lib.mixer);
    channels.swap(lib.channels);
  }
  output.reset();  // the output thread stops before the streams it mixes go away
  mixer.reset();
  channels.clear();
  t_error = BASS_OK;
  return TRUE;
}

int BASS_ErrorGetCode(void) { return t_error; }

HSTREAM BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags) {
  if (!file) return Fail<HSTREAM>(BASS_ERROR_FILEOPEN, 0);
  SourceSpec spec;
  spec.offset = offset;
  spec.length = length;
  if (mem) {
    if (length == 0) return Fail<HSTREAM>(BASS_ERROR_ILLPARAM, 0);
    spec.kind = SourceSpec::Kind::kMemory;
    spec.memory = static_cast<const uint8_t*>(file);
    spec.location = "memory";
  } else {
    spec.kind = SourceSpec::Kind::kFile;
    spec.location = (flags & BASS_UNICODE) ? Utf8FromUtf16(static_cast<const char16_t*>(file))
                                           : std::string(static_cast<const char*>(file));
    if (spec.location.empty()) return Fail<HSTREAM>(BASS_ERROR_FILEOPEN, 0);
  }
  return CreateStream(spec, flags);
}

HSTREAM BASS_StreamCreateURL(const char* url, DWORD offset, DWORD flags, DOWNLOADPROC* proc,
                             void* user) {
  if (!url) return Fail<HSTREAM>(BASS_ERROR_FILEOPEN, 0);
  SourceSpec spec;
  spec.kind = SourceSpec::Kind::kUrl;
  spec.location = (flags & BASS_UNICODE) ? Utf8FromUtf16(reinterpret_cast<const char16_t*>(url))
                                         : std::string(url);
  // Control bytes in an address are never legitimate and would end up in the request line.
  for (unsigned char c : spec.location) {
    if (c < 0x20 || c == 0x7F) return Fail<HSTREAM>(BASS_ERROR_ILLPARAM, 0);
  }
  spec.offset = offset;
  if (proc) {
    spec.on_download = [proc, user](const void* buffer, uint32_t length) {
      proc(buffer, length, user);
    };
  }
  return CreateStream(spec, flags);
}

BOOL BASS_StreamFree(HSTREAM handle) {
  Library& lib = Lib();
  std::shared_ptr<Channel> channel;
  {
    MutexLock lock(lib.mu);
    auto it = lib.channels.find(handle);
    if (handle == 0 || it == lib.channels.end()) return Fail<BOOL>(BASS_ERROR_HANDLE, FALSE);
    channel = std::move(it->second);
    lib.channels.erase(it);
    if (auto* playback = dynamic_cast<PlaybackStream*>(channel.get())) {
      lib.mixer->Remove(playback);
    }
  }
  if (IsPlayback(*channel)) {
    Discard();
    PlayingChanged();
  }
  channel.reset();  // joins the decoding thread, outside the library lock
  t_error = BASS_OK;
  return TRUE;
}

BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) {
  auto channel = Find(handle);
  if (!channel) return Fail<BOOL>(BASS_ERROR_HANDLE, FALSE);
  int error = BASS_OK;
  if (!channel->Play(restart != FALSE, &error)) return Fail<BOOL>(error, FALSE);
  if (restart && IsPlayback(*channel)) Discard();
  if (!PlayingChanged()) {
    // Nothing can be heard: the stream stays where it was instead of seeming to play.
    channel->Pause(&error);
    return Fail<BOOL>(BASS_ERROR_START, FALSE);
  }
  t_error = BASS_OK;
  return TRUE;
}

BOOL BASS_ChannelPause(DWORD handle) {
  auto channel = Find(handle);
  if (!channel) return Fail<BOOL>(BASS_ERROR_HANDLE, FALSE);
  int error = BASS_OK;
  if (!channel->Pause(&error)) return Fail<BOOL>(error, FALSE);
  // The only stream playing pauses in place (the output holds its sound for the resume);
  // among others its sound must go at once.
  if (IsPlayback(*channel) && AnyPlaying()) Discard();
  PlayingChanged();
  t_error = BASS_OK;
  return TRUE;
}

BOOL BASS_ChannelStop(DWORD handle) {
  auto channel = Find(handle);
  if (!channel) return Fail<BOOL>(BASS_ERROR_HANDLE, FALSE);
  int error = BASS_OK;
  if (!channel->Stop(&error)) return Fail<BOOL>(error, FALSE);
  if (IsPlayback(*channel)) Discard();
  PlayingChanged();
  t_error = BASS_OK;
  return TRUE;
}

DWORD BASS_ChannelIsActive(DWORD handle) {
  auto channel = Find(handle);
  if (!channel) return Fail<DWORD>(BASS_ERROR_HANDLE, BASS_ACTIVE_STOPPED);
  const DWORD state = channel->State();
  if (state == BASS_ACTIVE_STOPPED) PlayingChanged();  // it may have ended just now
  t_error = BASS_OK;
  return state;
}

QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode) {
  auto channel = Find(handle);
  if (!channel) return Fail<QWORD>(BASS_ERROR_HANDLE, kNoQword);
  if (mode != BASS_POS_BYTE) return Fail<QWORD>(BASS_ERROR_NOTAVAIL, kNoQword);
  const int64_t frames = channel->LengthFrames();
  if (frames < 0) return Fail<QWORD>(BASS_ERROR_NOTAVAIL, kNoQword);
  t_error = BASS_OK;
  return static_cast<QWORD>(frames) * channel->block_bytes();
}

QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode) {
  auto channel = Find(handle);
  if (!channel) return Fail<QWORD>(BASS_ERROR_HANDLE, kNoQword);
  if (mode != BASS_POS_BYTE) return Fail<QWORD>(BASS_ERROR_NOTAVAIL, kNoQword);
  t_error = BASS_OK;
  return static_cast<QWORD>(channel->PositionFrames()) * channel->block_bytes();
}

BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) {
  auto channel = Find(handle);
  if (!channel) return Fail<BOOL>(BASS_ERROR_HANDLE, FALSE);
  if (mode != BASS_POS_BYTE) return Fail<BOOL>(BASS_ERROR_NOTAVAIL, FALSE);
  // A negative 32-bit position widened with its sign arrives as a huge value: out of range.
  if (pos > static_cast<QWORD>(INT64_MAX)) return Fail<BOOL>(BASS_ERROR_POSITION, FALSE);
  int error = BASS_OK;
  if (!channel->SeekFrames(static_cast<int64_t>(pos / channel->block_bytes()), &error)) {
    return Fail<BOOL>(error, FALSE);
  }
  if (IsPlayback(*channel)) Discard();
  t_error = BASS_OK;
  return TRUE;
}

double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
  auto channel = Find(handle);
  if (!channel) return Fail<double>(BASS_ERROR_HANDLE, -1.0);
  if (pos == kNoQword) return Fail<double>(BASS_ERROR_ILLPARAM, -1.0);  // the unknown length
  t_error = BASS_OK;
  return static_cast<double>(pos) /
         (static_cast<double>(channel->source_rate()) * channel->block_bytes());
}

QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double pos) {
  auto channel = Find(handle);
  if (!channel) return Fail<QWORD>(BASS_ERROR_HANDLE, kNoQword);
  if (!std::isfinite(pos) || pos < 0 || pos > 1e9)
    return Fail<QWORD>(BASS_ERROR_ILLPARAM, kNoQword);
  t_error = BASS_OK;
  // A tiny tolerance keeps a value such as 2.9999999999 seconds from losing a whole frame.
  const auto frames = static_cast<QWORD>(std::floor(pos * channel->source_rate() + 1e-6));
  return frames * channel->block_bytes();
}

BOOL BASS_ChannelSetAttribute(DWORD handle, DWORD attrib, float value) {
  auto channel = Find(handle);
  if (!channel) return Fail<BOOL>(BASS_ERROR_HANDLE, FALSE);
  if (attrib != BASS_ATTRIB_VOL) return Fail<BOOL>(BASS_ERROR_ILLTYPE, FALSE);
  if (std::isnan(value)) return Fail<BOOL>(BASS_ERROR_ILLPARAM, FALSE);
  channel->SetVolume(std::clamp(value, 0.0f, 1.0f));
  t_error = BASS_OK;
  return TRUE;
}

BOOL BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float* value) {
  auto channel = Find(handle);
  if (!channel) return Fail<BOOL>(BASS_ERROR_HANDLE, FALSE);
  if (attrib != BASS_ATTRIB_VOL) return Fail<BOOL>(BASS_ERROR_ILLTYPE, FALSE);
  if (!value) return Fail<BOOL>(BASS_ERROR_ILLPARAM, FALSE);
  *value = channel->Volume();
  t_error = BASS_OK;
  return TRUE;
}

DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) {
  auto channel = Find(handle);
  if (!channel) return Fail<DWORD>(BASS_ERROR_HANDLE, kNoDword);
  if (!buffer && length != BASS_DATA_AVAILABLE) return Fail<DWORD>(BASS_ERROR_ILLPARAM, kNoDword);
  int error = BASS_OK;
  const DWORD result = channel->GetData(buffer, length, &error);
  if (result == kNoDword) return Fail<DWORD>(error, kNoDword);
  t_error = BASS_OK;
  return result;
}

}  // extern "C"

// The tests' seam, declared in platform/audio/testing.h.
extern "C" BASSAPI void vorel_bass_set_rest_seconds(double seconds) {
  Library& lib = Lib();
  MutexLock lock(lib.mu);
  lib.rest = seconds < 0 ? Output::kDefaultRest : Output::Rest(seconds);
}
