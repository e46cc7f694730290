#include "web/fetch_page.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <memory>

#include "runtime/files.h"
#include "runtime/threads.h"
#include "web/internal/http_reading.h"
#include "web/request_engine.h"

namespace vorel::web {

using namespace runtime;

namespace {

constexpr std::int32_t kDefaultTimeoutSeconds = 90;

// A text of the pack ends at its first NUL, as the worker reads it; a NUL inside a text would
// shift every text after it into the wrong field.
Text UpToNul(const Text& t) { return t.substr(0, t.find('\0')); }

// The wait in milliseconds: the caller's seconds, or the default for none.
int TimeoutMs(std::int32_t timeout_seconds) {
  const std::int32_t seconds = timeout_seconds > 0 ? timeout_seconds : kDefaultTimeoutSeconds;
  return static_cast<int>(std::min<long long>(seconds * 1000LL, INT_MAX));
}

// What the fetch shares with its request worker. The worker may outlive an abandoned fetch, so
// both hold every part.
struct SharedWithWorker {
  std::shared_ptr<std::atomic<bool>> cancel = std::make_shared<std::atomic<bool>>(false);
  std::shared_ptr<std::atomic<bool>> done = std::make_shared<std::atomic<bool>>(false);
  // The worker leaves the body here rather than in the pack (one copy of a large page fewer
  // on the way in, one on the way out); it writes it before `done`, and only a finished fetch
  // reads it.
  std::shared_ptr<Bytes> body_sink = std::make_shared<Bytes>();
  std::shared_ptr<std::atomic<std::uint32_t>> send_error =
      std::make_shared<std::atomic<std::uint32_t>>(0);
};

// Runs the request worker over `pack` on a thread of its own and waits for it, processing
// events, at most `timeout_ms`. True when it finished in time; a worker still running is
// stopped and writes nothing afterwards.
bool RunWorker(int pack, const SharedWithWorker& shared, int timeout_ms) {
  // The empty task posted at the end wakes the wait below at once instead of at its next
  // polling slice.
  std::shared_ptr<ThreadQueue> caller_queue = ThreadQueue::Current();
  const bool started = StartThread([pack, shared, caller_queue] {
    internal::RequestContext context{shared.cancel, shared.body_sink};
    internal::RunRequest(pack, context);
    shared.send_error->store(context.send_error);
    shared.done->store(true);
    if (!shared.cancel->load()) caller_queue->Post([] {});
  });

  bool finished = false;
  if (started) {
    std::atomic<bool>& done = *shared.done;
    finished = WaitProcessingEvents([&done] { return done.load(); }, timeout_ms,
                                    /*restart_on_input=*/true);
    ProcessEvents();
  }
  shared.cancel->store(true);
  return finished;
}

// The worker's answer.
struct Answer {
  bool complete = false;  // the worker finished in time and wrote its result
  Text header_text;
  Bytes body;  // empty unless complete
};

// Reads the worker's answer out of the pack and closes it; the body comes from `body_sink`
// when the worker left it there.
Answer TakeAnswer(int pack, bool finished, Bytes& body_sink) {
  Answer answer;
  Text marker;
  MoveToFileStart(pack);
  ReadData(pack, {&marker, &answer.header_text, &answer.body});
  CloseFile(pack);
  answer.complete = finished && marker == "Zendrak_OK";
  if (!answer.complete) {
    answer.body.clear();
  } else if (answer.body.empty()) {
    answer.body = std::move(body_sink);
  }
  return answer;
}

// Whether a response came, whether the fetch ran out of time, and the response's status.
FetchOutcome OutcomeOf(bool finished, const Answer& answer, std::uint32_t send_error) {
  FetchOutcome outcome;
  outcome.answered = answer.complete && !answer.header_text.empty();
  outcome.timed_out =
      !finished || (!outcome.answered && send_error == platform::http::kErrorTimeout);
  // "HTTP/1.1 404 Not Found": the three digits after the first space.
  const std::size_t space = answer.header_text.find(' ');
  if (outcome.answered && space != Text::npos) {
    outcome.status = std::atoi(answer.header_text.substr(space + 1, 3).c_str());
  }
  return outcome;
}

}  // namespace

Bytes FetchPage(const Text& address, const Text& method, const Text& proxy, const Text& user_name,
                const Text& password, const Text& extra_headers, const Text& post_data,
                std::int32_t timeout_seconds, Text* response_headers, const Text& cookies,
                FetchOutcome* outcome) {
  if (outcome) *outcome = FetchOutcome();
  if (response_headers) response_headers->clear();
  // The pack's number is never reused within a run, so a worker that is abandoned later can
  // only ever reach this pack, and after CloseFile not even that.
  const int pack = OpenMemoryFile();
  if (pack == 0) return {};
  WriteData(pack,
            {Text("Zendrak"), UpToNul(address), UpToNul(method), UpToNul(proxy), UpToNul(user_name),
             UpToNul(password), UpToNul(extra_headers), UpToNul(post_data), UpToNul(cookies)});

  const SharedWithWorker shared;
  const bool finished = RunWorker(pack, shared, TimeoutMs(timeout_seconds));
  Answer answer = TakeAnswer(pack, finished, *shared.body_sink);
  if (outcome) *outcome = OutcomeOf(finished, answer, shared.send_error->load());
  if (response_headers) *response_headers = std::move(answer.header_text);
  return std::move(answer.body);
}

}  // namespace vorel::web
