#include "platform/http/internal/cookie_store.h"

#include "platform/http/internal/curl_api.h"
#include "platform/mutex.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>
#include <optional>
#include <vector>

namespace vorel::platform::http::internal {
namespace {

struct Cookie {
  std::string name;
  std::string value;
  std::optional<std::time_t> expires;  // none: lives until the program ends
};

struct Store {
  Mutex mu;
  std::map<std::string, std::vector<Cookie>, std::less<>> by_host VOREL_GUARDED_BY(mu);
};

Store& TheStore() {
  static Store* store = new Store;  // outlives every thread that may still use it at exit
  return *store;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The expiry an attribute list gives, relative to `now`. Max-Age wins over Expires.
std::optional<std::time_t> ExpiryOf(std::string_view attributes, std::time_t now) {
  std::optional<std::time_t> expires;
  std::optional<std::time_t> max_age;
  while (!attributes.empty()) {
    size_t semi = attributes.find(';');
    std::string_view attr = Trim(attributes.substr(0, semi));
    attributes = semi == std::string_view::npos ? std::string_view() : attributes.substr(semi + 1);
    size_t eq = attr.find('=');
    if (eq == std::string_view::npos) continue;
    std::string key = Lower(Trim(attr.substr(0, eq)));
    std::string val(Trim(attr.substr(eq + 1)));
    if (key == "expires") {
      // Without libcurl's date parser the cookie lives for the session, like an unparsable date.
      const CurlApi* curl = LoadCurl();
      std::time_t t = curl ? curl->curl_getdate(val.c_str(), nullptr) : -1;
      if (t != -1) expires = t;
    } else if (key == "max-age") {
      long long seconds = 0;
      auto [p, ec] = std::from_chars(val.data(), val.data() + val.size(), seconds);
      if (ec == std::errc() && p == val.data() + val.size()) {
        max_age = seconds <= 0 ? 0 : now + static_cast<std::time_t>(std::min(seconds, 1LL << 40));
      }
    }
  }
  return max_age ? max_age : expires;
}

}  // namespace

std::string CookieHostOfUrl(std::string_view url) {
  size_t scheme = url.find("://");
  if (scheme != std::string_view::npos) url.remove_prefix(scheme + 3);
  url = url.substr(0, url.find_first_of("/?#"));
  size_t at = url.rfind('@');
  if (at != std::string_view::npos) url.remove_prefix(at + 1);
  if (!url.empty() && url.front() == '[') {
    size_t close = url.find(']');
    return Lower(url.substr(0, close == std::string_view::npos ? url.size() : close + 1));
  }
  return Lower(url.substr(0, url.find(':')));
}

bool StoreCookie(std::string_view host, std::string_view name, std::string_view data,
                 std::time_t now) {
  if (host.empty()) return false;
  size_t semi = data.find(';');
  std::string_view first = data.substr(0, semi);
  std::string_view attributes =
      semi == std::string_view::npos ? std::string_view() : data.substr(semi + 1);
  Cookie cookie;
  if (name.empty()) {
    size_t eq = first.find('=');
    if (eq != std::string_view::npos) {
      cookie.name = std::string(Trim(first.substr(0, eq)));
      cookie.value = std::string(Trim(first.substr(eq + 1)));
    } else {
      cookie.value = std::string(Trim(first));
    }
  } else {
    cookie.name = std::string(Trim(name));
    cookie.value = std::string(Trim(first));
  }
  cookie.expires = ExpiryOf(attributes, now);

  Store& store = TheStore();
  MutexLock lock(store.mu);
  auto& list = store.by_host[std::string(host)];
  auto it = std::find_if(list.begin(), list.end(),
                         [&](const Cookie& c) { return c.name == cookie.name; });
  bool expired = cookie.expires && *cookie.expires <= now;
  if (expired) {
    if (it != list.end()) list.erase(it);
  } else if (it != list.end()) {
    *it = std::move(cookie);
  } else {
    list.push_back(std::move(cookie));
  }
  return true;
}

std::string CookieHeaderValue(std::string_view host, std::string_view name, std::time_t now) {
  Store& store = TheStore();
  MutexLock lock(store.mu);
  auto found = store.by_host.find(host);
  if (found == store.by_host.end()) return {};
  auto& list = found->second;
  std::erase_if(list, [&](const Cookie& c) { return c.expires && *c.expires <= now; });
  std::string out;
  for (const Cookie& c : list) {
    if (!name.empty() && c.name != name) continue;
    if (!out.empty()) out += "; ";
    if (!c.name.empty()) out += c.name + "=";
    out += c.value;
  }
  return out;
}

void ClearCookies() {
  Store& store = TheStore();
  MutexLock lock(store.mu);
  store.by_host.clear();
}

}  // namespace vorel::platform::http::internal
