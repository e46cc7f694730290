#ifndef VOREL_DOWNLOAD_INTERNAL_RETRY_DECIDER_H_
#define VOREL_DOWNLOAD_INTERNAL_RETRY_DECIDER_H_

// The one place that decides whether a connection tries again after a failed attempt, and how
// long it waits first: the growing wait, a server's Retry-After, the "not now" statuses, the
// failures that a new attempt seldom mends and those it never mends. The code that meets a
// failure only says what happened (a FailureKind); the verdict is always made here.
//
//   RetryDecider retry(settings);
//   ... an attempt fails with `failure` ...
//   RetryVerdict verdict = retry.AfterFailure(failure, brought_bytes);
//   if (!verdict.retry()) { Status(GiveUpLine(verdict)) unless it is empty; return; }
//   wait verdict.wait_ms, then try again
//
// Thread-compatible: one decider per connection, used on that connection's thread.

#include <cstdint>
#include <string_view>

#include "download/engine_settings.h"
#include "runtime/text.h"

namespace vorel::download::internal {

// Why an attempt failed, as far as the retry rules care.
enum class FailureKind {
  kOther,        // retried with growing waits
  kRefused,      // nothing listens at the address
  kUnresolved,   // the host name does not resolve
  kNoHandshake,  // the server took the connection but never answered the TLS handshake
  kNotNow,       // the server answered "not now" (5xx, 408, 429): asked again after its wait

  // Failures that meet the same answer on every attempt. The code that met one has already
  // said why in a status line of its own.
  kUntrustedCertificate,  // the server's certificate does not verify for the host
  kPlainServer,           // the server answers a TLS handshake in plain text
  kNoTlsLibrary,          // nothing in this process can speak TLS
  kNotHttp,               // the server's reply is another protocol
  kHeaderTooLong,         // the reply header passes the header limit
  kErrorStatus,           // an error status that is not "not now" (403, 404, ...)
  kBadRedirect,           // a redirect without a target, one too many, or to an unusable address
  kUnsupportedRequest,    // a request this engine cannot make (https through a proxy)
  kUnknownSize,           // the reply gives no size the segments can be planned by
  kMismatchedReply,       // the reply does not fit the file: length, range, framing or body
  kBodyTakenElsewhere,    // the server ignores Range and another connection reads the reply
  kFileFailed,            // the file cannot be created, mapped or written
};

struct Failure {
  FailureKind kind = FailureKind::kOther;
  // kNotNow: the wait the server's Retry-After asked for, bounded by the longest wait between
  // attempts; -1 when it asked for none.
  int asked_wait_ms = -1;
};

// Why a connection stops trying.
enum class GiveUpReason {
  kNone,              // it tries again
  kServerNeverReady,  // "not now" to every one of the allowed attempts in a row
  kSilentHandshake,   // the server never answers a TLS handshake
  kRefused,           // nothing listens at the address
  kUnresolved,        // the host name does not resolve
  kTooManyAttempts,   // the connection's attempts are used up
  kFinal,             // a failure no new attempt mends; its own status line said why
};

struct RetryVerdict {
  GiveUpReason give_up = GiveUpReason::kNone;
  int attempts = 0;  // a give-up: the count of attempts its status line names
  int wait_ms = 0;   // a retry: the wait before the next attempt
  bool retry() const { return give_up == GiveUpReason::kNone; }
};

class RetryDecider {
 public:
  explicit RetryDecider(const EngineSettings& settings);

  // True for a reply status that means "not now" rather than "never" (5xx, 408, 429): the
  // attempt failed, and another one may get the file. Every other error status is final.
  static bool IsNotNow(int status);

  // True for the failures that end the connection at their first occurrence.
  static bool IsFinal(FailureKind kind);

  // The failure a "not now" reply makes: the wait its Retry-After value asks for, counted from
  // `now` (seconds since the epoch) and never longer than the longest wait between attempts.
  Failure NotNow(std::string_view retry_after, std::int64_t now) const;

  // Counts one failed attempt and decides. A final failure gives up at once, whatever the
  // counts. An attempt that brought bytes before it failed starts the growing wait and the
  // counts of refusals and hopeless failures over; every attempt counts towards the
  // connection's limit.
  RetryVerdict AfterFailure(const Failure& failure, bool brought_bytes);

  // The growing wait after `streak` failures in a row (1, 2, ...): the first wait, doubled for
  // each further failure, never beyond the longest wait.
  int BackOffMs(int streak) const;

 private:
  const int retry_limit_;
  const int retry_wait_ms_;
  const int retry_wait_cap_ms_;
  const int hopeless_attempts_;
  const int silent_handshake_attempts_;
  const int not_now_attempts_;

  int failures_ = 0;  // every failed attempt
  int streak_ = 0;    // failures since the last attempt that brought bytes
  int hopeless_ = 0;  // attempts that met a refused connection, an unknown name or a mute TLS peer
  int refusals_ = 0;  // "not now" replies since the last attempt that brought bytes

  GiveUpReason GiveUp(FailureKind kind, int* attempts) const;
};

// The status line (code page 936) that says why a connection gave up; empty for a final
// failure, whose own line said it already.
runtime::Text GiveUpLine(const RetryVerdict& verdict);

// The status line that announces the wait before the next attempt.
runtime::Text WaitLine(int wait_ms);

}  // namespace vorel::download::internal

#endif  // VOREL_DOWNLOAD_INTERNAL_RETRY_DECIDER_H_
