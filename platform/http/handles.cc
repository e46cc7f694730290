// Opening, configuring and closing handles, and the cookie calls.

#include "platform/http/internal/curl_api.h"

#include <atomic>
#include <cstring>
#include <ctime>
#include <map>

#include "platform/http/internal/cookie_store.h"
#include "platform/http/internal/handles.h"
#include "platform/http/transfer_control.h"
#include "platform/http/wininet.h"
#include "platform/mutex.h"

namespace vorel::platform::http {
namespace internal {
namespace {

struct Registry {
  Mutex mu;
  std::map<std::uintptr_t, std::shared_ptr<HandleObject>> objects VOREL_GUARDED_BY(mu);
  std::uintptr_t next VOREL_GUARDED_BY(mu) = 1;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;  // alive for threads still running at exit
  return *registry;
}

thread_local std::uint32_t last_error = 0;

}  // namespace

HINTERNET AddHandle(std::shared_ptr<HandleObject> object) {
  Registry& r = TheRegistry();
  MutexLock lock(r.mu);
  std::uintptr_t id = r.next++;
  r.objects.emplace(id, std::move(object));
  return reinterpret_cast<HINTERNET>(id);
}

std::shared_ptr<HandleObject> FindHandle(HINTERNET handle) {
  Registry& r = TheRegistry();
  MutexLock lock(r.mu);
  auto it = r.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == r.objects.end() ? nullptr : it->second;
}

bool RemoveHandle(HINTERNET handle) {
  std::shared_ptr<HandleObject> doomed;  // destroyed outside the lock
  Registry& r = TheRegistry();
  MutexLock lock(r.mu);
  auto it = r.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == r.objects.end()) return false;
  doomed = std::move(it->second);
  r.objects.erase(it);
  return true;
}

void SetLastError(std::uint32_t error) { last_error = error; }

bool EnsureCurlInitialised() { return LoadCurl() != nullptr; }

bool CopyOut(const std::string& value, void* buffer, std::uint32_t* buffer_length) {
  if (!buffer_length) return Fail(kErrorInvalidParameter);
  std::uint64_t needed = value.size() + 1;
  if (!buffer || *buffer_length < needed) {
    *buffer_length = static_cast<std::uint32_t>(needed);
    return Fail(kErrorInsufficientBuffer);
  }
  std::memcpy(buffer, value.data(), value.size());
  static_cast<char*>(buffer)[value.size()] = '\0';
  *buffer_length = static_cast<std::uint32_t>(value.size());
  return true;
}

}  // namespace internal

using namespace internal;

std::uint32_t InternetLastError() { return last_error; }

HINTERNET InternetOpenA(const char* agent, std::uint32_t access_type, const char* proxy,
                        const char* proxy_bypass, std::uint32_t flags) {
  if (!EnsureCurlInitialised()) {
    Fail(kErrorInternal);
    return nullptr;
  }
  if (access_type != kOpenTypeDirect && access_type != kOpenTypeProxy && access_type != 0) {
    Fail(kErrorInvalidParameter);
    return nullptr;
  }
  auto session = std::make_shared<Session>();
  session->agent = agent ? agent : "";
  // A line break in the agent would end its header line early and start another.
  for (char& c : session->agent) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  {
    // No other thread sees the session yet; its lock is taken so that its fields are only
    // ever touched under it.
    MutexLock lock(session->mu);
    session->access_type = access_type == kOpenTypeProxy ? kOpenTypeProxy : kOpenTypeDirect;
    if (access_type == kOpenTypeProxy && proxy) session->proxy = proxy;
  }
  return AddHandle(std::move(session));
}

HINTERNET InternetConnectA(HINTERNET internet, const char* server_name, std::uint16_t server_port,
                           const char* user_name, const char* password, std::uint32_t service,
                           std::uint32_t flags, std::uintptr_t context) {
  auto session = FindAs<Session>(internet, HandleKind::kSession);
  if (!session) {
    Fail(FindHandle(internet) ? kErrorIncorrectHandleType : kErrorInvalidHandle);
    return nullptr;
  }
  if (service != kServiceHttp) {
    Fail(kErrorInvalidParameter);
    return nullptr;
  }
  if (!server_name || !*server_name) {
    Fail(kErrorInvalidUrl);
    return nullptr;
  }
  auto connection = std::make_shared<Connection>();
  connection->session = session;
  connection->host = server_name;
  connection->port = server_port;
  connection->user = user_name ? user_name : "";
  connection->password = password ? password : "";
  {
    MutexLock session_lock(session->mu);
    MutexLock connection_lock(connection->mu);  // not shared yet, see InternetOpenA
    connection->max_response_bytes = session->max_response_bytes;
  }
  return AddHandle(std::move(connection));
}

HINTERNET HttpOpenRequestA(HINTERNET connect, const char* verb, const char* object_name,
                           const char* version, const char* referrer,
                           const char* const* accept_types, std::uint32_t flags,
                           std::uintptr_t context) {
  auto connection = FindAs<Connection>(connect, HandleKind::kConnection);
  if (!connection) {
    Fail(FindHandle(connect) ? kErrorIncorrectHandleType : kErrorInvalidHandle);
    return nullptr;
  }
  // The verb goes into the request line as it is, so it must be one token.
  for (const char* p = verb; p && *p; ++p) {
    if (static_cast<unsigned char>(*p) <= 0x20 || *p == 0x7F) {
      Fail(kErrorInvalidParameter);
      return nullptr;
    }
  }
  auto request = std::make_shared<Request>();
  request->connection = connection;
  request->verb = verb && *verb ? verb : "GET";
  request->object = object_name && *object_name ? object_name : "/";
  request->http10 = version && std::strcmp(version, "HTTP/1.0") == 0;
  if (referrer && *referrer) request->added_lines.push_back(std::string("Referer: ") + referrer);
  for (const char* const* a = accept_types; a && *a; ++a) {
    std::string type = *a;
    while (!type.empty() && (type.back() == '\n' || type.back() == '\r' || type.back() == ' ')) {
      type.pop_back();
    }
    if (!type.empty()) request->accept_types.push_back(type);
  }
  request->flags = flags;
  {
    MutexLock lock(connection->mu);
    request->max_response_bytes = connection->max_response_bytes;
  }
  return AddHandle(std::move(request));
}

bool InternetSetOptionA(HINTERNET internet, std::uint32_t option, const void* buffer,
                        std::uint32_t buffer_length) {
  auto object = FindHandle(internet);
  if (!object) return Fail(kErrorInvalidHandle);
  if (!buffer && option != kOptionProxyUsername && option != kOptionProxyPassword) {
    return Fail(kErrorInvalidParameter);
  }
  auto as_text = [&] {
    if (!buffer) return std::string();
    const char* p = static_cast<const char*>(buffer);
    return buffer_length ? std::string(p, strnlen(p, buffer_length)) : std::string(p);
  };
  switch (option) {
    case kOptionProxy: {
      if (object->kind != HandleKind::kSession) return Fail(kErrorIncorrectHandleType);
      auto* session = static_cast<Session*>(object.get());
      const auto* info = static_cast<const InternetProxyInfo*>(buffer);
      MutexLock lock(session->mu);
      session->access_type = info->access_type == kOpenTypeProxy ? kOpenTypeProxy : kOpenTypeDirect;
      session->proxy = info->proxy ? info->proxy : "";
      return true;
    }
    case kOptionProxyUsername:
    case kOptionProxyPassword: {
      std::string value = as_text();
      if (object->kind == HandleKind::kSession) {
        auto* s = static_cast<Session*>(object.get());
        MutexLock lock(s->mu);
        (option == kOptionProxyUsername ? s->proxy_user : s->proxy_password) = value;
        return true;
      }
      if (object->kind == HandleKind::kConnection) {
        auto* c = static_cast<Connection*>(object.get());
        MutexLock lock(c->mu);
        (option == kOptionProxyUsername ? c->proxy_user : c->proxy_password) = value;
        return true;
      }
      return Fail(kErrorIncorrectHandleType);
    }
    case kOptionMaxResponseBytes: {
      if (buffer_length < sizeof(std::uint64_t)) return Fail(kErrorInvalidParameter);
      std::uint64_t limit;
      std::memcpy(&limit, buffer, sizeof limit);
      if (object->kind == HandleKind::kSession) {
        auto* s = static_cast<Session*>(object.get());
        MutexLock lock(s->mu);
        s->max_response_bytes = limit;
      } else if (object->kind == HandleKind::kConnection) {
        auto* c = static_cast<Connection*>(object.get());
        MutexLock lock(c->mu);
        c->max_response_bytes = limit;
      } else {
        static_cast<Request*>(object.get())->max_response_bytes = limit;
      }
      return true;
    }
    default: return Fail(12009);  // ERROR_INTERNET_INVALID_OPTION
  }
}

bool InternetCloseHandle(HINTERNET handle) {
  return RemoveHandle(handle) ? true : Fail(kErrorInvalidHandle);
}

bool InternetSetCookieA(const char* url, const char* cookie_name, const char* cookie_data) {
  if (!url) return Fail(kErrorInvalidParameter);
  std::string host = CookieHostOfUrl(url);
  if (host.empty()) return Fail(kErrorInvalidUrl);
  if (!StoreCookie(host, cookie_name ? cookie_name : "", cookie_data ? cookie_data : "",
                   std::time(nullptr))) {
    return Fail(kErrorInvalidParameter);
  }
  return true;
}

bool InternetGetCookieA(const char* url, const char* cookie_name, char* data, std::uint32_t* size) {
  if (!url) return Fail(kErrorInvalidParameter);
  std::string host = CookieHostOfUrl(url);
  if (host.empty()) return Fail(kErrorInvalidUrl);
  std::string value = CookieHeaderValue(host, cookie_name ? cookie_name : "", std::time(nullptr));
  if (value.empty()) return Fail(kErrorHeaderNotFound);
  return CopyOut(value, data, size);
}

}  // namespace vorel::platform::http
