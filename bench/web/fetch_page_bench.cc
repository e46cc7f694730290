// FetchPage against a plain libcurl request of the same page from the same loopback server,
// for a 4 KiB and an 8 MiB page. Each request opens its own connection in both cases, as the
// page fetch does.
//
//   build/bin/web_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <memory>
#include <string>

#include "tests/web/loopback_server.h"
#include "platform/http/wininet.h"
#include "web/fetch_page.h"

namespace {

using vorel::web::testing::LoopbackServer;
using vorel::web::testing::RecordedRequest;
using vorel::web::testing::Reply;

LoopbackServer& Server() {
  static auto small = std::make_shared<const std::string>(4096, 's');
  static auto large = std::make_shared<const std::string>(8u << 20, 'l');
  static LoopbackServer server([](const RecordedRequest& r) {
    const auto& body = r.request_line.find("/large") != std::string::npos ? large : small;
    Reply reply{"HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body->size()) +
                "\r\nConnection: close\r\n\r\n"};
    reply.shared_tail = body;
    return reply;
  });
  return server;
}

std::string PathFor(std::int64_t bytes) { return bytes > 4096 ? "/large" : "/small"; }

size_t Append(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

void BM_PlainCurl(benchmark::State& state) {
  const std::string url = Server().Url(PathFor(state.range(0)));
  for (auto _ : state) {
    std::string body;
    CURL* easy = curl_easy_init();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROXY, "");
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Append);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
    curl_easy_perform(easy);
    curl_easy_cleanup(easy);
    if (body.size() != static_cast<size_t>(state.range(0))) state.SkipWithError("short body");
    benchmark::DoNotOptimize(body);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

// The HTTP layer alone (the same calls the request engine makes), to tell its cost apart from
// the pack, the worker thread and the wait.
void BM_HttpLayer(benchmark::State& state) {
  namespace http = vorel::platform::http;
  const std::string path = PathFor(state.range(0));
  for (auto _ : state) {
    http::HINTERNET internet = http::InternetOpenA("bench", http::kOpenTypeDirect, nullptr, nullptr, 0);
    http::HINTERNET connection = http::InternetConnectA(
        internet, "127.0.0.1", static_cast<std::uint16_t>(Server().port()), nullptr, nullptr,
        http::kServiceHttp, 0, 0);
    http::HINTERNET request = http::HttpOpenRequestA(connection, nullptr, path.c_str(), nullptr,
                                                     nullptr, nullptr, http::kFlagNoCookies, 0);
    http::HttpSendRequestA(request, nullptr, 0, nullptr, 0);
    std::uint32_t available = 0;
    http::InternetQueryDataAvailable(request, &available, 0, 0);
    std::string body(available, '\0');
    std::uint32_t n = 0;
    http::InternetReadFile(request, body.data(), available, &n);
    http::InternetCloseHandle(request);
    http::InternetCloseHandle(connection);
    http::InternetCloseHandle(internet);
    if (n != static_cast<std::uint32_t>(state.range(0))) state.SkipWithError("short body");
    benchmark::DoNotOptimize(body);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

void BM_FetchPage(benchmark::State& state) {
  const std::string url = Server().Url(PathFor(state.range(0)));
  for (auto _ : state) {
    vorel::runtime::Bytes body = vorel::web::FetchPage(url);
    if (body.size() != static_cast<size_t>(state.range(0))) state.SkipWithError("short body");
    benchmark::DoNotOptimize(body);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_PlainCurl)->Arg(4096)->Arg(8 << 20)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_HttpLayer)->Arg(4096)->Arg(8 << 20)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_FetchPage)->Arg(4096)->Arg(8 << 20)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
