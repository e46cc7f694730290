#ifndef VOREL_PLATFORM_HTTP_INTERNAL_HANDLES_H_
#define VOREL_PLATFORM_HTTP_INTERNAL_HANDLES_H_

// The objects behind the opaque handles of platform/http/wininet.h, and the registry that maps
// handles to them. A handle number is never reused, so a stale handle finds nothing.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/http/wininet.h"
#include "platform/mutex.h"

namespace vorel::platform::http::internal {

enum class HandleKind { kSession, kConnection, kRequest };

struct HandleObject {
  explicit HandleObject(HandleKind k) : kind(k) {}
  virtual ~HandleObject() = default;
  const HandleKind kind;
};

// InternetOpenA. Its proxy may be changed later (kOptionProxy), hence the lock.
struct Session : HandleObject {
  Session() : HandleObject(HandleKind::kSession) {}
  std::string agent;  // immutable after open
  mutable Mutex mu;
  std::uint32_t access_type VOREL_GUARDED_BY(mu) = kOpenTypeDirect;
  std::string proxy VOREL_GUARDED_BY(mu);
  std::string proxy_user VOREL_GUARDED_BY(mu);
  std::string proxy_password VOREL_GUARDED_BY(mu);
  std::uint64_t max_response_bytes VOREL_GUARDED_BY(mu) = kDefaultMaxResponseBytes;
};

// InternetConnectA.
struct Connection : HandleObject {
  Connection() : HandleObject(HandleKind::kConnection) {}
  std::shared_ptr<Session> session;
  std::string host;
  std::uint16_t port = 0;  // 0: the scheme's default
  std::string user, password;
  mutable Mutex mu;
  std::string proxy_user VOREL_GUARDED_BY(mu);
  std::string proxy_password VOREL_GUARDED_BY(mu);
  std::uint64_t max_response_bytes VOREL_GUARDED_BY(mu) = kDefaultMaxResponseBytes;
};

// HttpOpenRequestA. Used by one thread at a time.
struct Request : HandleObject {
  Request() : HandleObject(HandleKind::kRequest) {}
  std::shared_ptr<Connection> connection;
  std::string verb;
  std::string object;
  bool http10 = false;
  std::vector<std::string> accept_types;
  std::uint32_t flags = 0;
  std::vector<std::string> added_lines;
  std::uint64_t max_response_bytes = kDefaultMaxResponseBytes;
  // While it is true, the transfer stops (transfer_control.h).
  std::shared_ptr<const std::atomic<bool>> cancel;

  bool sent = false;
  bool answered = false;
  std::string raw_headers;  // final response's block
  std::vector<std::uint8_t> body;
  std::size_t read_pos = 0;
  std::uint32_t body_error = 0;  // reported once the delivered bytes are used up
};

HINTERNET AddHandle(std::shared_ptr<HandleObject> object);
std::shared_ptr<HandleObject> FindHandle(HINTERNET handle);
bool RemoveHandle(HINTERNET handle);

template <typename T>
std::shared_ptr<T> FindAs(HINTERNET handle, HandleKind kind) {
  auto object = FindHandle(handle);
  if (!object || object->kind != kind) return nullptr;
  return std::static_pointer_cast<T>(object);
}

// The calling thread's last error.
void SetLastError(std::uint32_t error);
inline bool Fail(std::uint32_t error) {
  SetLastError(error);
  return false;
}

// Loads and initialises libcurl on first use; false when it cannot be loaded.
bool EnsureCurlInitialised();

// Copies `value` and a NUL into a caller's buffer by HttpQueryInfoA's rules.
bool CopyOut(const std::string& value, void* buffer, std::uint32_t* buffer_length);

}  // namespace vorel::platform::http::internal

#endif  // VOREL_PLATFORM_HTTP_INTERNAL_HANDLES_H_
