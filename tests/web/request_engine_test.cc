// The threaded page fetch and its request engine, against a scripted loopback server.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "platform/http/testing.h"
#include "runtime/files.h"
#include "runtime/threads.h"
#include "tests/testing/loopback_server.h"
#include "web/fetch_page.h"
#include "web/request_engine.h"

namespace vorel::web {
namespace {

using vorel::testing::LoopbackServer;
using vorel::testing::Reply;
using vorel::testing::Request;

constexpr char kAccept[] =
    "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*";

std::string S(const Bytes& b) { return std::string(b.begin(), b.end()); }

class FetchPageTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::http::ClearCookieStore(); }
  void TearDown() override { platform::http::SetTransferTimeouts({}); }
};

TEST_F(FetchPageTest, GetSendsTheDefaultLinesInOrder) {
  LoopbackServer server(
      [](const Request&) { return LoopbackServer::Simple("page body", {"X-Test: 1"}); });
  const std::string url = server.Url("/music.so?query=a");
  Text headers;
  EXPECT_EQ(S(FetchPage(url, {}, {}, {}, {}, {}, {}, 0, &headers)), "page body");
  EXPECT_EQ(headers.substr(0, 28), "HTTP/1.1 200 OK\r\nX-Test: 1\r\n");
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].head,
            "GET /music.so?query=a HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.port()) +
                "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n" + kAccept +
                "\r\nReferer: " + url + "\r\nAccept-Language: zh-cn\r\n\r\n");
}

TEST_F(FetchPageTest, ExtraHeadersSuppressDefaultsIgnoringCase) {
  LoopbackServer server([](const Request&) { return LoopbackServer::Simple(""); });
  FetchPage(server.Url("/"), "get", {}, {}, {}, "referer: http://elsewhere/\r\nX-A: b\r\n");
  const auto lines = server.Requests().at(0).header_lines;
  EXPECT_EQ(server.Requests()[0].request_line, "get / HTTP/1.1");
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[2], "referer: http://elsewhere/");
  EXPECT_EQ(lines[3], "X-A: b");
  EXPECT_EQ(lines[4], kAccept);
  EXPECT_EQ(lines[5], "Accept-Language: zh-cn");
}

TEST_F(FetchPageTest, PostVariants) {
  LoopbackServer server([](const Request&) { return LoopbackServer::Simple("ok"); });
  // Lower case with data: form type and length are added, the verb goes out as written.
  EXPECT_EQ(S(FetchPage(server.Url("/p"), "post", {}, {}, {}, {}, "a=1&b=2")), "ok");
  // Mixed case without data: no type, no length, no body.
  EXPECT_EQ(S(FetchPage(server.Url("/p"), "PoSt")), "ok");
  // A Content-Length of the caller's own gets a second one after it.
  FetchPage(server.Url("/p"), "POST", {}, {}, {}, "Content-Length: 7\r\n", "a=1&b=2");

  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].request_line, "post /p HTTP/1.1");
  EXPECT_EQ(requests[0].body, "a=1&b=2");
  auto& l0 = requests[0].header_lines;
  ASSERT_EQ(l0.size(), 7u);
  EXPECT_EQ(l0[5], "Content-Type: application/x-www-form-urlencoded");
  EXPECT_EQ(l0[6], "Content-Length: 7");

  EXPECT_EQ(requests[1].request_line, "PoSt /p HTTP/1.1");
  EXPECT_EQ(requests[1].header_lines.size(), 5u);
  EXPECT_EQ(requests[1].head.find("Content-"), std::string::npos);
  EXPECT_TRUE(requests[1].body.empty());

  int lengths = 0;
  for (const auto& line : requests[2].header_lines) lengths += line == "Content-Length: 7";
  EXPECT_EQ(lengths, 2);
}

TEST_F(FetchPageTest, ANulInsideATextDoesNotShiftTheOthers) {
  LoopbackServer server([](const Request&) { return LoopbackServer::Simple(""); });
  static const char kHeaders[] = "X-A: 1\r\n\0X-Hidden: 2\r\n";
  FetchPage(server.Url("/"), "POST", {}, {}, {}, Text(kHeaders, sizeof kHeaders - 1), "d=1");
  const Request r = server.Requests().at(0);
  EXPECT_EQ(r.body, "d=1");
  EXPECT_EQ(r.header_lines[2], "X-A: 1");
  EXPECT_EQ(r.head.find("X-Hidden"), std::string::npos);
}

TEST_F(FetchPageTest, OtherMethodsSendNothing) {
  LoopbackServer server([](const Request&) { return LoopbackServer::Simple("x"); });
  Text headers = "stale";
  EXPECT_TRUE(FetchPage(server.Url("/"), "PUT", {}, {}, {}, {}, {}, 0, &headers).empty());
  EXPECT_EQ(headers, "");
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(FetchPageTest, CookiesRecordedByOneRequestAreSentByTheNextOnlyWithCookies) {
  LoopbackServer server([](const Request& r) {
    if (r.request_line.find("/login") != std::string::npos) {
      return LoopbackServer::Simple("", {"Set-Cookie: sid=abc; path=/"});
    }
    return LoopbackServer::Simple("");
  });
  FetchPage(server.Url("/login"));
  FetchPage(server.Url("/with"), {}, {}, {}, {}, {}, {}, 0, nullptr, "lang=zh");
  FetchPage(server.Url("/without"), {}, {}, {}, {}, {}, {}, 0, nullptr, "   ");
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[1].header_lines[2], "Cookie: lang=zh; sid=abc");
  EXPECT_EQ(requests[2].head.find("Cookie"), std::string::npos);
}

TEST_F(FetchPageTest, FailuresGiveAnEmptyBodyAndHeaderText) {
  Text headers = "stale";
  // Nothing listens on port 1.
  EXPECT_TRUE(FetchPage("http://127.0.0.1:1/", {}, {}, {}, {}, {}, {}, 5, &headers).empty());
  EXPECT_EQ(headers, "");
  EXPECT_TRUE(FetchPage("http://127.0.0.1:70000/", {}, {}, {}, {}, {}, {}, 5, &headers).empty());
}

TEST_F(FetchPageTest, TimeOutGivesAnEmptyBodyAndAbandonsTheWorker) {
  LoopbackServer server([](const Request&) {
    return Reply{"HTTP/1.1 200 OK\r\nX-Seen: 1\r\nContent-Length: 100\r\n\r\npartial", 0, true};
  });
  Text headers = "stale";
  EXPECT_TRUE(FetchPage(server.Url("/slow"), {}, {}, {}, {}, {}, {}, 1, &headers).empty());
  EXPECT_EQ(headers, "");
  // The abandoned worker's transfer is cancelled: it hangs up on the server by itself.
  EXPECT_TRUE(server.WaitForClientHangups(1, 10000));
}

TEST_F(FetchPageTest, InputKeepsTheWaitAlive) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  LoopbackServer server([released](const Request&) {
    released.wait();
    return LoopbackServer::Simple("late but wanted");
  });
  // Events reach the fetching thread every 100 ms for longer than its 1 s time-out, then the
  // server answers.
  auto queue = runtime::ThreadQueue::Current();
  std::atomic<int> handled{0};
  std::thread input([&] {
    for (int i = 0; i < 25; ++i) {
      queue->Post([&handled] { ++handled; });
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    release.set_value();
  });
  Bytes body = FetchPage(server.Url("/"), {}, {}, {}, {}, {}, {}, 1);
  input.join();
  EXPECT_EQ(S(body), "late but wanted");
  EXPECT_GT(handled.load(), 0);  // the events were processed during the wait
}

TEST_F(FetchPageTest, ALargePageWithNulBytesArrivesWhole) {
  // Every byte value, NULs included, over 3 MiB: the body travels beside the request pack, and
  // nothing may be cut at a NUL or lost on the way.
  std::string page(3 << 20, '\0');
  for (std::size_t i = 0; i < page.size(); ++i)
    page[i] = static_cast<char>((i * 7 + i / 4096) & 0xFF);
  LoopbackServer server([&page](const Request&) { return LoopbackServer::Simple(page); });
  Text headers;
  Bytes body = FetchPage(server.Url("/big"), {}, {}, {}, {}, {}, {}, 30, &headers);
  EXPECT_EQ(body.size(), page.size());
  EXPECT_TRUE(S(body) == page);
  EXPECT_EQ(headers.substr(0, 17), "HTTP/1.1 200 OK\r\n");
  // The next fetch gets its own page, not the last one's.
  LoopbackServer small([](const Request&) { return LoopbackServer::Simple("small"); });
  EXPECT_EQ(S(FetchPage(small.Url("/"))), "small");
}

TEST(RequestWorkerTest, LeavesAForeignPackUntouched) {
  EXPECT_EQ(RequestWorker(0), 0);
  int pack = runtime::OpenMemoryFile();
  runtime::WriteData(pack, {Text("Other"), Text("x")});
  EXPECT_EQ(RequestWorker(pack), 0);
  EXPECT_EQ(runtime::FileLength(pack), 8);
  runtime::CloseFile(pack);
}

TEST(RequestWorkerTest, WritesTheResultIntoThePack) {
  LoopbackServer server([](const Request&) { return LoopbackServer::Simple("abc"); });
  int pack = runtime::OpenMemoryFile();
  runtime::WriteData(pack, {Text("Zendrak"), Text(server.Url("/")), Text(), Text(), Text(), Text(),
                            Text(), Text(), Text()});
  EXPECT_EQ(RequestWorker(pack), 1);
  runtime::MoveToFileStart(pack);
  Text marker, headers;
  Bytes body;
  EXPECT_TRUE(runtime::ReadData(pack, {&marker, &headers, &body}));
  EXPECT_EQ(marker, "Zendrak_OK");
  EXPECT_EQ(headers.substr(0, 17), "HTTP/1.1 200 OK\r\n");
  EXPECT_EQ(S(body), "abc");
  runtime::CloseFile(pack);
}

}  // namespace
}  // namespace vorel::web
