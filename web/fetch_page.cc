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

  const std::int32_t seconds = timeout_seconds > 0 ? timeout_seconds : kDefaultTimeoutSeconds;
  const int timeout_ms = static_cast<int>(std::min<long long>(seconds * 1000LL, INT_MAX));

  auto cancel = std::make_shared<std::atomic<bool>>(false);
  auto done = std::make_shared<std::atomic<bool>>(false);
  // The worker leaves the body here rather than in the pack (one copy of a large page fewer
  // on the way in, one on the way out); it writes it before `done`, and only a finished fetch
  // reads it.
  auto body_sink = std::make_shared<Bytes>();
  auto send_error = std::make_shared<std::atomic<std::uint32_t>>(0);
  // The empty task posted at the end wakes the wait below at once instead of at its next
  // polling slice.
  std::shared_ptr<ThreadQueue> caller_queue = ThreadQueue::Current();
  const bool started = StartThread([pack, cancel, done, body_sink, send_error, caller_queue] {
    internal::RequestContext context{cancel, body_sink};
    internal::RunRequest(pack, context);
    send_error->store(context.send_error);
    done->store(true);
    if (!cancel->load()) caller_queue->Post([] {});
  });

  bool finished = false;
  if (started) {
    finished = WaitProcessingEvents([&done] { return done->load(); }, timeout_ms,
                                    /*restart_on_input=*/true);
    ProcessEvents();
  }
  // Stops a worker that is still running; it writes nothing after this.
  cancel->store(true);

  Text marker, header_text;
  Bytes body;
  MoveToFileStart(pack);
  ReadData(pack, {&marker, &header_text, &body});
  CloseFile(pack);
  if (marker != "Zendrak_OK" || !finished) {
    body.clear();
  } else if (body.empty()) {
    body = std::move(*body_sink);
  }
  if (response_headers) *response_headers = header_text;
  if (outcome) {
    outcome->answered = finished && marker == "Zendrak_OK" && !header_text.empty();
    outcome->timed_out =
        !finished || (!outcome->answered && send_error->load() == platform::http::kErrorTimeout);
    // "HTTP/1.1 404 Not Found": the three digits after the first space.
    const std::size_t space = header_text.find(' ');
    if (outcome->answered && space != Text::npos) {
      outcome->status = std::atoi(header_text.substr(space + 1, 3).c_str());
    }
  }
  return body;
}

}  // namespace vorel::web
