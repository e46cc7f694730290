// The retry rules on their own: sequences of failed attempts and what the decider says after
// each, at the engine's production settings unless a case says otherwise.

#include "download/internal/retry_decider.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vorel::download::internal {
namespace {

constexpr FailureKind kOther = FailureKind::kOther;
constexpr FailureKind kRefused = FailureKind::kRefused;
constexpr FailureKind kUnresolved = FailureKind::kUnresolved;
constexpr FailureKind kNoHandshake = FailureKind::kNoHandshake;
constexpr FailureKind kNotNow = FailureKind::kNotNow;

// One failed attempt and the verdict expected after it: a wait, or a give-up with its count.
struct Step {
  FailureKind kind;
  int asked_wait_ms = -1;
  bool brought_bytes = false;
  int wait_ms = 0;
  GiveUpReason give_up = GiveUpReason::kNone;
  int attempts = 0;
};

Step Wait(FailureKind kind, int wait_ms, bool brought_bytes = false) {
  return {kind, -1, brought_bytes, wait_ms};
}
Step Asked(int asked_ms, int wait_ms) { return {kNotNow, asked_ms, false, wait_ms}; }
Step Stop(FailureKind kind, GiveUpReason reason, int attempts, bool brought_bytes = false) {
  return {kind, -1, brought_bytes, 0, reason, attempts};
}

TEST(RetryDeciderTest, SequencesOfFailures) {
  struct Case {
    const char* what;
    int retry_limit;
    std::vector<Step> steps;
  } cases[] = {
      {"the wait doubles up to its cap",
       999,
       {Wait(kOther, 5000), Wait(kOther, 10000), Wait(kOther, 20000), Wait(kOther, 30000),
        Wait(kOther, 30000)}},
      {"bytes between failures start the wait over",
       999,
       {Wait(kOther, 5000), Wait(kOther, 10000), Wait(kOther, 5000, true), Wait(kOther, 10000)}},
      {"a refused connection is given up at the third attempt",
       999,
       {Wait(kRefused, 5000), Wait(kRefused, 10000), Stop(kRefused, GiveUpReason::kRefused, 3)}},
      {"an unknown name is given up at the third attempt",
       999,
       {Wait(kUnresolved, 5000), Wait(kOther, 10000), Wait(kUnresolved, 20000),
        Stop(kUnresolved, GiveUpReason::kUnresolved, 3)}},
      {"a mute TLS peer is given up at the second attempt",
       999,
       {Wait(kNoHandshake, 5000), Stop(kNoHandshake, GiveUpReason::kSilentHandshake, 2)}},
      {"hopeless failures of different kinds add up",
       999,
       {Wait(kRefused, 5000), Stop(kNoHandshake, GiveUpReason::kSilentHandshake, 2)}},
      {"bytes forgive hopeless failures",
       999,
       {Wait(kRefused, 5000), Wait(kRefused, 10000), Wait(kRefused, 5000, true),
        Wait(kRefused, 10000), Stop(kRefused, GiveUpReason::kRefused, 3)}},
      {"Retry-After is obeyed, shorter or longer than the growing wait",
       999,
       {Asked(30000, 30000), Asked(0, 0), Asked(7000, 7000)}},
      {"not now without Retry-After takes the growing wait",
       999,
       {Wait(kNotNow, 5000), Wait(kNotNow, 10000), Wait(kNotNow, 20000), Wait(kNotNow, 30000),
        Stop(kNotNow, GiveUpReason::kServerNeverReady, 5)}},
      {"five not-nows in a row end it, other failures between them do not count",
       999,
       {Asked(1000, 1000), Asked(1000, 1000), Wait(kOther, 20000), Asked(1000, 1000),
        Asked(1000, 1000), Stop(kNotNow, GiveUpReason::kServerNeverReady, 5)}},
      {"bytes forgive not-nows",
       999,
       {Asked(1000, 1000),
        Asked(1000, 1000),
        Asked(1000, 1000),
        Asked(1000, 1000),
        {kNotNow, 1000, true, 1000},
        Asked(1000, 1000),
        Asked(1000, 1000),
        Asked(1000, 1000),
        Stop(kNotNow, GiveUpReason::kServerNeverReady, 5)}},
      {"the attempt limit counts every failure, bytes or not",
       3,
       {Wait(kOther, 5000, true), Wait(kNotNow, 5000, true),
        Stop(kOther, GiveUpReason::kTooManyAttempts, 3, true)}},
      {"a final failure ends it at once, after waits of every kind",
       999,
       {Wait(kOther, 5000), Wait(kRefused, 10000), Asked(1000, 1000),
        Stop(FailureKind::kMismatchedReply, GiveUpReason::kFinal, 0)}},
      {"bytes do not forgive a final failure",
       999,
       {Stop(FailureKind::kErrorStatus, GiveUpReason::kFinal, 0, true)}},
      {"a final failure names no count even at the attempt limit",
       2,
       {Wait(kOther, 5000), Stop(FailureKind::kFileFailed, GiveUpReason::kFinal, 0)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EngineSettings settings;
    settings.retry_limit = c.retry_limit;
    RetryDecider decider(settings);
    for (std::size_t i = 0; i < c.steps.size(); ++i) {
      SCOPED_TRACE("attempt " + std::to_string(i + 1));
      const Step& step = c.steps[i];
      RetryVerdict verdict =
          decider.AfterFailure({step.kind, step.asked_wait_ms}, step.brought_bytes);
      EXPECT_EQ(verdict.give_up, step.give_up);
      if (step.give_up == GiveUpReason::kNone) {
        EXPECT_TRUE(verdict.retry());
        EXPECT_EQ(verdict.wait_ms, step.wait_ms);
      } else {
        EXPECT_EQ(verdict.attempts, step.attempts);
      }
    }
  }
}

// Every kind of failure met in an exchange or in the file, judged alone on a fresh decider:
// those that meet the same answer again end the connection without a give-up line of their
// own (the place that met them said why); the rest are tried again.
TEST(RetryDeciderTest, WhichFailuresAreFinal) {
  struct Case {
    FailureKind kind;
    bool final;
  } cases[] = {
      {kOther, false},
      {kRefused, false},
      {kUnresolved, false},
      {kNoHandshake, false},
      {kNotNow, false},
      {FailureKind::kUntrustedCertificate, true},
      {FailureKind::kPlainServer, true},
      {FailureKind::kNoTlsLibrary, true},
      {FailureKind::kNotHttp, true},
      {FailureKind::kHeaderTooLong, true},
      {FailureKind::kErrorStatus, true},
      {FailureKind::kBadRedirect, true},
      {FailureKind::kUnsupportedRequest, true},
      {FailureKind::kUnknownSize, true},
      {FailureKind::kMismatchedReply, true},
      {FailureKind::kBodyTakenElsewhere, true},
      {FailureKind::kFileFailed, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.kind));
    RetryDecider decider{EngineSettings()};
    RetryVerdict verdict = decider.AfterFailure({c.kind, -1}, false);
    EXPECT_EQ(RetryDecider::IsFinal(c.kind), c.final);
    EXPECT_EQ(verdict.retry(), !c.final);
    if (c.final) {
      EXPECT_EQ(verdict.give_up, GiveUpReason::kFinal);
      EXPECT_TRUE(GiveUpLine(verdict).empty());
    }
  }
}

TEST(RetryDeciderTest, RetryAfterIsBoundedByTheLongestWait) {
  const std::int64_t now = 1700000000;
  struct Case {
    const char* value;
    int asked_ms;
  } cases[] = {
      {"3", 3000},   {"0", 0},         {"30", 30000},
      {"31", 30000}, {"86400", 30000}, {"soon", -1},
      {"", -1},      {"-5", -1},       {"Sun, 06 Nov 1994 08:49:37 GMT", 0},
  };
  RetryDecider decider{EngineSettings()};
  for (const Case& c : cases) {
    Failure failure = decider.NotNow(c.value, now);
    EXPECT_EQ(failure.kind, FailureKind::kNotNow) << c.value;
    EXPECT_EQ(failure.asked_wait_ms, c.asked_ms) << c.value;
  }
}

}  // namespace
}  // namespace vorel::download::internal
