#ifndef VOREL_PLATFORM_AUDIO_INTERNAL_REPLY_STATUS_H_
#define VOREL_PLATFORM_AUDIO_INTERNAL_REPLY_STATUS_H_

// How a stream's server answers, asked before the decoder opens the stream: the status and the
// wait the server names in Retry-After. FFmpeg's http reader gives up at an error status before
// it reads the header lines, so it can tell neither a 429 from a 410 nor when to come back.
//
// Thread-safe; the network call blocks its caller.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vorel::platform::audio {

struct ReplyStatus {
  int status = 0;  // 0 when no reply header came
  // Why the server could not be asked: BASS_ERROR_TIMEOUT (no answer in time, or aborted),
  // BASS_ERROR_FILEOPEN (no connection, a refused certificate, a close before any byte); 0
  // when it answered, even with something that is not a reply header.
  int failure = 0;
  std::optional<std::int64_t> retry_after_s;  // the server's Retry-After, in seconds from now
};

// The status and Retry-After of a reply header ("HTTP/1.x NNN ...", or a radio server's
// "ICY NNN ...", then header lines).
// `now` is the time in seconds since the epoch, for a Retry-After given as a date.
ReplyStatus ParseReplyHead(std::string_view head, std::int64_t now);

// Sends a GET for `url` (http, or https with the certificate checked) asking for its bytes from
// `offset` on, reads the reply header alone and closes. Each step may take `timeout`; a set
// `abort` ends it at once.
ReplyStatus AskReplyStatus(const std::string& url, std::uint64_t offset,
                           const std::atomic<bool>* abort, std::chrono::milliseconds timeout);

// Before a network stream opens: asks its server (AskReplyStatus) until it answers something
// other than "not now" (5xx, 408, 429), waiting between the attempts as its Retry-After says
// (at most 30 s) or else 1, then 2, then 4 s; at most 4 attempts and 30 s of waiting in all.
// BASS_OK to go on opening the stream (also for a reply that is not a header, a request for a
// password or a redirect: the decoder's own open deals with those); BASS_ERROR_FILEOPEN at once
// for any other error status, when the server is still not ready after the attempts, or when it
// cannot be reached; BASS_ERROR_TIMEOUT when it does not answer in time or `abort` was set.
int AwaitStreamServer(const std::string& url, std::uint64_t offset, const std::atomic<bool>* abort,
                      std::chrono::milliseconds timeout);

}  // namespace vorel::platform::audio

#endif  // VOREL_PLATFORM_AUDIO_INTERNAL_REPLY_STATUS_H_
