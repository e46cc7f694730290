#ifndef VOREL_WEB_FETCH_PAGE_H_
#define VOREL_WEB_FETCH_PAGE_H_

// The threaded page fetch: one HTTP request performed by RequestWorker (web/request_engine.h) on
// a worker thread, while the calling thread keeps processing its events.

#include <cstdint>

#include "runtime/text.h"

namespace vorel::web {

using runtime::Bytes;
using runtime::Text;

// Fetches `address` and returns the response body; empty when the request failed or the wait
// timed out. The request goes to the worker in a parameter pack (a memory file: "Zendrak" and
// the eight texts); the worker answers in the same pack.
//
// The wait lasts `timeout_seconds` (0 or negative: 90) and starts afresh whenever an event
// arrives for the calling thread, which processes its events meanwhile. When the wait ends with
// the worker still running, the worker is abandoned: its transfer is cancelled, and nothing it
// does afterwards reaches the caller or the pack, which is closed on return.
//
// `response_headers`, when given, receives the raw response header text the worker wrote (even
// after a time-out), or an empty text. `outcome`, when given, says how the fetch ended, for a
// caller that tells the user why no page came. May be called on any thread.
struct FetchOutcome {
  bool timed_out = false;  // no answer in time: the wait, or the transfer's own time-outs
  bool answered = false;   // a response came (its status may still be an error)
  int status = 0;          // the final response's status code; 0 when none came
};
Bytes FetchPage(const Text& address, const Text& method = {}, const Text& proxy = {},
                const Text& user_name = {}, const Text& password = {},
                const Text& extra_headers = {}, const Text& post_data = {},
                std::int32_t timeout_seconds = 0, Text* response_headers = nullptr,
                const Text& cookies = {}, FetchOutcome* outcome = nullptr);

}  // namespace vorel::web

#endif  // VOREL_WEB_FETCH_PAGE_H_
