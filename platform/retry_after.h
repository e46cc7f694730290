#ifndef VOREL_PLATFORM_RETRY_AFTER_H_
#define VOREL_PLATFORM_RETRY_AFTER_H_

// When a server that answered with an error status may be asked again: the one rule the
// download engine and the opening of a network stream share. Pure functions, thread-safe.

#include <cstdint>
#include <optional>
#include <string_view>

namespace vorel::platform {

// True for the statuses that mean "not now" rather than "never": a server error (500-599), a
// request the server timed out waiting for (408) and too many requests (429). Every other
// error status is final: asking again gets the same answer.
bool IsRetryableStatus(int status);

// The wait a Retry-After value asks for, in whole seconds from `now` (seconds since the
// epoch, UTC): a number of seconds as given, or the time until an HTTP date (the IMF form
// "Sun, 06 Nov 1994 08:49:37 GMT", the obsolete RFC 850 and asctime forms); 0 for a date in
// the past. None for anything else. Values beyond a day are cut to a day.
std::optional<std::int64_t> RetryAfterSeconds(std::string_view value, std::int64_t now);

}  // namespace vorel::platform

#endif  // VOREL_PLATFORM_RETRY_AFTER_H_
