// FetchPage against a plain libcurl request of the same page from the same loopback server,
// for a 4 KiB and an 8 MiB page. Each request opens its own connection in both cases, as the
// page fetch does.
//
//   build/bin/web_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/http/wininet.h"
#include "tests/testing/loopback_server.h"
#include "web/fetch_page.h"

namespace {

using vorel::testing::LoopbackServer;
using vorel::testing::Reply;
using vorel::testing::Request;

LoopbackServer& Server() {
  static auto small = std::make_shared<const std::string>(4096, 's');
  static auto large = std::make_shared<const std::string>(8u << 20, 'l');
  static LoopbackServer server([](const Request& r) {
    const auto& body = r.request_line.find("/large") != std::string::npos ? large : small;
    return Reply()
        .Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body->size()) +
              "\r\nConnection: close\r\n\r\n")
        .SendShared(body);
  });
  return server;
}

std::string PathFor(std::int64_t bytes) { return bytes > 4096 ? "/large" : "/small"; }

// The plain request's body collector, as lean as the layer's: one allocation for an announced
// length, so the comparison does not favour the layer.
struct Sink {
  CURL* easy;
  std::string body;
};

size_t Append(char* data, size_t size, size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  if (sink->body.empty()) {
    curl_off_t announced = -1;
    curl_easy_getinfo(sink->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    if (announced > 0) sink->body.reserve(static_cast<size_t>(announced));
  }
  sink->body.append(data, size * count);
  return size * count;
}

void BM_PlainCurl(benchmark::State& state) {
  const std::string url = Server().Url(PathFor(state.range(0)));
  for (auto _ : state) {
    Sink sink{curl_easy_init(), {}};
    curl_easy_setopt(sink.easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(sink.easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(sink.easy, CURLOPT_PROXY, "");
    curl_easy_setopt(sink.easy, CURLOPT_WRITEFUNCTION, &Append);
    curl_easy_setopt(sink.easy, CURLOPT_WRITEDATA, &sink);
    curl_easy_perform(sink.easy);
    curl_easy_cleanup(sink.easy);
    if (sink.body.size() != static_cast<size_t>(state.range(0))) state.SkipWithError("short body");
    benchmark::DoNotOptimize(sink.body);
  }
  state.SetBytesProcessed(state.iterations() * state.range(0));
}

// The HTTP layer alone (the same calls the request engine makes), to tell its cost apart from
// the pack, the worker thread and the wait.
void BM_HttpLayer(benchmark::State& state) {
  namespace http = vorel::platform::http;
  const std::string path = PathFor(state.range(0));
  for (auto _ : state) {
    http::HINTERNET internet =
        http::InternetOpenA("bench", http::kOpenTypeDirect, nullptr, nullptr, 0);
    http::HINTERNET connection =
        http::InternetConnectA(internet, "127.0.0.1", static_cast<std::uint16_t>(Server().port()),
                               nullptr, nullptr, http::kServiceHttp, 0, 0);
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

// Both requests in every iteration, one after the other, so a change in the machine's load
// between benchmark runs cannot bias the comparison. Reports the medians and the median of the
// per-pair differences and ratios.
void BM_Paired(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  const std::string url = Server().Url(PathFor(state.range(0)));
  std::vector<double> plain_us, fetch_us, added_us, ratio;
  for (auto _ : state) {
    auto t0 = Clock::now();
    Sink sink{curl_easy_init(), {}};
    curl_easy_setopt(sink.easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(sink.easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(sink.easy, CURLOPT_PROXY, "");
    curl_easy_setopt(sink.easy, CURLOPT_WRITEFUNCTION, &Append);
    curl_easy_setopt(sink.easy, CURLOPT_WRITEDATA, &sink);
    curl_easy_perform(sink.easy);
    curl_easy_cleanup(sink.easy);
    auto t1 = Clock::now();
    vorel::runtime::Bytes body = vorel::web::FetchPage(url);
    auto t2 = Clock::now();
    if (body.size() != sink.body.size()) state.SkipWithError("bodies differ");
    const double p = std::chrono::duration<double, std::micro>(t1 - t0).count();
    const double f = std::chrono::duration<double, std::micro>(t2 - t1).count();
    plain_us.push_back(p);
    fetch_us.push_back(f);
    added_us.push_back(f - p);
    ratio.push_back(f / p);
    state.SetIterationTime((p + f) / 1e6);
  }
  auto median = [](std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
  };
  state.counters["plain_us"] = median(plain_us);
  state.counters["fetch_page_us"] = median(fetch_us);
  state.counters["added_us"] = median(added_us);
  state.counters["ratio"] = median(ratio);
}

BENCHMARK(BM_Paired)->Arg(4096)->Arg(8 << 20)->UseManualTime()->MinTime(2.0);
BENCHMARK(BM_PlainCurl)->Arg(4096)->Arg(8 << 20)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_HttpLayer)->Arg(4096)->Arg(8 << 20)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_FetchPage)->Arg(4096)->Arg(8 << 20)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

// Large blocks stay in the heap between iterations, so each variant is measured by its own work
// rather than by the page faults of fresh 8 MiB mappings, which vary with the machine's load.
// Run with --fresh-memory to keep the C library's default behaviour.
int main(int argc, char** argv) {
  bool fresh = false;
  for (int i = 1; i < argc; ++i) fresh = fresh || std::string(argv[i]) == "--fresh-memory";
  if (!fresh) {
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
  }
  std::vector<char*> args;
  for (int i = 0; i < argc; ++i) {
    if (std::string(argv[i]) != "--fresh-memory") args.push_back(argv[i]);
  }
  int n = static_cast<int>(args.size());
  benchmark::Initialize(&n, args.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
