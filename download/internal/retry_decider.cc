#include "download/internal/retry_decider.h"

#include <algorithm>
#include <optional>
#include <string>

#include "platform/retry_after.h"

namespace vorel::download::internal {

using namespace runtime::literals;

RetryDecider::RetryDecider(const EngineSettings& settings)
    : retry_limit_(settings.retry_limit),
      retry_wait_ms_(settings.retry_wait_ms),
      retry_wait_cap_ms_(settings.retry_wait_cap_ms),
      hopeless_attempts_(settings.hopeless_attempts),
      silent_handshake_attempts_(settings.silent_handshake_attempts),
      not_now_attempts_(settings.not_now_attempts) {}

bool RetryDecider::IsNotNow(int status) { return platform::IsRetryableStatus(status); }

bool RetryDecider::IsFinal(FailureKind kind) {
  switch (kind) {
    case FailureKind::kOther:
    case FailureKind::kRefused:
    case FailureKind::kUnresolved:
    case FailureKind::kNoHandshake:
    case FailureKind::kNotNow: return false;
    case FailureKind::kUntrustedCertificate:
    case FailureKind::kPlainServer:
    case FailureKind::kNoTlsLibrary:
    case FailureKind::kNotHttp:
    case FailureKind::kHeaderTooLong:
    case FailureKind::kErrorStatus:
    case FailureKind::kBadRedirect:
    case FailureKind::kUnsupportedRequest:
    case FailureKind::kUnknownSize:
    case FailureKind::kMismatchedReply:
    case FailureKind::kBodyTakenElsewhere:
    case FailureKind::kFileFailed: return true;
  }
  return true;
}

Failure RetryDecider::NotNow(std::string_view retry_after, std::int64_t now) const {
  Failure failure{FailureKind::kNotNow, -1};
  if (std::optional<std::int64_t> seconds = platform::RetryAfterSeconds(retry_after, now)) {
    failure.asked_wait_ms =
        static_cast<int>(std::min<std::int64_t>(*seconds * 1000, retry_wait_cap_ms_));
  }
  return failure;
}

int RetryDecider::BackOffMs(int streak) const {
  long long wait = retry_wait_ms_;
  for (int i = 1; i < streak && wait < retry_wait_cap_ms_; ++i) wait *= 2;
  return static_cast<int>(std::min<long long>(wait, retry_wait_cap_ms_));
}

RetryVerdict RetryDecider::AfterFailure(const Failure& failure, bool brought_bytes) {
  if (IsFinal(failure.kind)) {
    RetryVerdict verdict;
    verdict.give_up = GiveUpReason::kFinal;
    return verdict;
  }
  if (brought_bytes) streak_ = hopeless_ = refusals_ = 0;
  ++failures_;
  ++streak_;
  if (failure.kind == FailureKind::kNotNow) {
    ++refusals_;
  } else if (failure.kind != FailureKind::kOther) {
    ++hopeless_;
  }
  RetryVerdict verdict;
  verdict.give_up = GiveUp(failure.kind, &verdict.attempts);
  if (!verdict.retry()) return verdict;
  // A server's own word on when to come back beats a guess, shorter or longer.
  verdict.wait_ms = failure.kind == FailureKind::kNotNow && failure.asked_wait_ms >= 0
                        ? failure.asked_wait_ms
                        : BackOffMs(streak_);
  return verdict;
}

GiveUpReason RetryDecider::GiveUp(FailureKind kind, int* attempts) const {
  if (refusals_ >= not_now_attempts_) {
    *attempts = refusals_;
    return GiveUpReason::kServerNeverReady;
  }
  if (kind == FailureKind::kNoHandshake && hopeless_ >= silent_handshake_attempts_) {
    *attempts = hopeless_;
    return GiveUpReason::kSilentHandshake;
  }
  if (hopeless_ >= hopeless_attempts_) {
    *attempts = hopeless_;
    // The kind of the failure that used up the attempts names them all.
    if (kind == FailureKind::kRefused) return GiveUpReason::kRefused;
    if (kind == FailureKind::kNoHandshake) return GiveUpReason::kSilentHandshake;
    return GiveUpReason::kUnresolved;
  }
  if (failures_ >= retry_limit_) {
    *attempts = failures_;
    return GiveUpReason::kTooManyAttempts;
  }
  return GiveUpReason::kNone;
}

runtime::Text GiveUpLine(const RetryVerdict& verdict) {
  runtime::Text what;
  switch (verdict.give_up) {
    case GiveUpReason::kServerNeverReady: what = "服务器一直无法提供文件, 已尝试"_t; break;
    case GiveUpReason::kSilentHandshake: what = "服务器不回应安全连接(https), 已尝试"_t; break;
    case GiveUpReason::kRefused: what = "服务器拒绝连接, 已尝试"_t; break;
    case GiveUpReason::kUnresolved: what = "无法解析域名, 已尝试"_t; break;
    case GiveUpReason::kTooManyAttempts: what = "已尝试"_t; break;
    case GiveUpReason::kNone:
    case GiveUpReason::kFinal: return {};
  }
  return what + std::to_string(verdict.attempts) + "次, 放弃下载"_t;
}

runtime::Text WaitLine(int wait_ms) {
  return "等待"_t + std::to_string(wait_ms / 1000) + "秒后重试"_t;
}

}  // namespace vorel::download::internal
