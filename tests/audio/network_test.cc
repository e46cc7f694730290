// Streams over http from a loopback server: playing to the end, seeking with ranges, the
// stalled state, and servers that are dead, silent, broken or not speaking audio.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

#include "tests/audio/bass_table.h"
#include "tests/audio/test_media.h"
#include "tests/testing/loopback_server.h"

namespace vorel::audio_test {
namespace {

const BassTable& B() { return Bass(); }
constexpr size_t kBytesPerSecond = 176400;  // 44.1 kHz stereo 16-bit

class NetworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(B().Init(-1, 44100, 0, nullptr, nullptr)) << B().ErrorGetCode();
  }
  void TearDown() override { B().Free(); }
  static double PositionSeconds(HSTREAM h) {
    return B().ChannelBytes2Seconds(h, B().ChannelGetPosition(h, BASS_POS_BYTE));
  }
};

// Where the samples of a WAV file start (after its "data" chunk header).
size_t WavDataStart(const std::string& wav) { return wav.find("data") + 8; }

using vorel::testing::BodyOptions;
using vorel::testing::Handler;
using vorel::testing::LoopbackServer;
using vorel::testing::Reply;
using vorel::testing::Request;
using vorel::testing::ServeBody;

// Every request gets `body` the way a plain file server sends it, bent by `options`.
Handler ServingBytes(std::string body, BodyOptions options = {}) {
  options.headers.insert(options.headers.begin(),
                         {"Content-Type: application/octet-stream", "Connection: close"});
  return
      [body = std::move(body), options](const Request& r) { return ServeBody(r, body, options); };
}

Handler Serving(const std::string& path, BodyOptions options = {}) {
  return ServingBytes(ReadBytes(path), std::move(options));
}

TEST_F(NetworkTest, HttpStreamPlaysToItsEnd) {
  LoopbackServer server(Serving(ToneWav(1000, 1.5)));
  HSTREAM h = B().StreamCreateURL(server.Url("/tone.wav").c_str(), 0, 0, nullptr, nullptr);
  ASSERT_NE(h, 0u) << B().ErrorGetCode();
  EXPECT_NEAR(B().ChannelBytes2Seconds(h, B().ChannelGetLength(h, BASS_POS_BYTE)), 1.5, 0.01);
  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  ASSERT_TRUE(WaitUntil([&] { return PositionSeconds(h) > 0.3; }, 5));
  float bands[128];
  ASSERT_NE(B().ChannelGetData(h, bands, BASS_DATA_FFT256), static_cast<DWORD>(-1));
  EXPECT_EQ(std::max_element(bands, bands + 128) - bands, 6);
  ASSERT_TRUE(WaitUntil([&] { return B().ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, 10));
  EXPECT_NEAR(PositionSeconds(h), 1.5, 0.05);
}

// Sends the first `kept` bytes of a request for the whole file and holds the rest back until
// the server ends; a request for a range further on gets its bytes at once. A seek past the
// bytes kept can then only be served by asking for a range.
Handler HoldingAllButRanges(std::string body, std::size_t kept) {
  return [body = std::move(body), kept](const Request& r) {
    BodyOptions options;
    options.headers = {"Content-Type: audio/mpeg"};
    if (!r.range_start || *r.range_start == 0) options.hold_at = kept;
    return ServeBody(r, body, options);
  };
}

// Silence, then a 1 kHz tone from 50.0 s to the end at 60 s: far enough into the file (800 KB)
// that a seek there lies well beyond what a connection reads ahead on its own.
std::string FarToneMp3() {
  return MakeAudio("far_tone.mp3",
                   "aevalsrc=exprs=if(gte(t\\,50)\\,0.9*sin(2*PI*1000*t)\\,0)|"
                   "if(gte(t\\,50)\\,0.9*sin(2*PI*1000*t)\\,0):s=44100:d=60",
                   "-c:a libmp3lame -b:a 128k");
}

// Range starts asked for since request `from`, for failure messages.
std::string RangeStarts(const LoopbackServer& server, std::size_t from) {
  std::string starts;
  const std::vector<Request> requests = server.Requests();
  for (std::size_t i = from; i < requests.size(); ++i) {
    starts += requests[i].range_start ? std::to_string(*requests[i].range_start) + " " : "- ";
  }
  return starts;
}

// Whether a request since request `from` asked for a range starting near `offset`.
bool AskedForRangeNear(const LoopbackServer& server, std::size_t from, double offset) {
  const std::vector<Request> requests = server.Requests();
  for (std::size_t i = from; i < requests.size(); ++i) {
    const auto start = requests[i].range_start;
    if (start && *start > offset * 0.9 && *start < offset * 1.05) return true;
  }
  return false;
}

TEST_F(NetworkTest, Mp3OverHttpSeeksWithRanges) {
  const std::string mp3 = ReadBytes(FarToneMp3());
  LoopbackServer server(HoldingAllButRanges(mp3, 32 * 1024));
  HSTREAM d =
      B().StreamCreateURL(server.Url("/far.mp3").c_str(), 0, BASS_STREAM_DECODE, nullptr, nullptr);
  ASSERT_NE(d, 0u) << B().ErrorGetCode();
  std::size_t asked = server.Requests().size();
  ASSERT_TRUE(B().ChannelSetPosition(d, B().ChannelSeconds2Bytes(d, 49.9), BASS_POS_BYTE));
  // The tone starts at 50.0 s: the first loud sample must come 0.1 s after the seek, from the
  // bytes of the range the seek asked for (the first reply never sends them).
  int16_t buf[4096];
  size_t frames = 0;
  double at = -1;
  while (at < 0) {
    const DWORD n = B().ChannelGetData(d, buf, sizeof buf);
    ASSERT_NE(n, static_cast<DWORD>(-1))
        << B().ErrorGetCode() << " range starts: " << RangeStarts(server, 0);
    for (size_t i = 0; i < n / 2 && at < 0; ++i) {
      if (std::abs(buf[i]) > 1000) at = (frames + i / 2) / 44100.0;
    }
    frames += n / 4;
  }
  EXPECT_NEAR(at, 0.1, 0.05);
  EXPECT_TRUE(AskedForRangeNear(server, asked, mp3.size() * 49.9 / 60))
      << "range starts: " << RangeStarts(server, asked) << "of " << mp3.size();

  HSTREAM h = B().StreamCreateURL(server.Url("/far.mp3").c_str(), 0, 0, nullptr, nullptr);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  asked = server.Requests().size();
  ASSERT_TRUE(B().ChannelSetPosition(h, B().ChannelSeconds2Bytes(h, 57.0), BASS_POS_BYTE));
  EXPECT_NEAR(PositionSeconds(h), 57.0, 0.05);
  ASSERT_TRUE(WaitUntil([&] { return B().ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, 10));
  EXPECT_NEAR(PositionSeconds(h), 60.0, 0.05);
  EXPECT_TRUE(AskedForRangeNear(server, asked, mp3.size() * 57.0 / 60))
      << "range starts: " << RangeStarts(server, asked) << "of " << mp3.size();
}

// Answers each request with the next of `refusals`, then serves `body`; notes when each request
// came, in seconds of the steady clock.
struct RefusingServer {
  RefusingServer(std::vector<std::string> refusals, std::string body)
      : server([this, refusals = std::move(refusals), body = std::move(body)](const Request& r) {
          std::lock_guard<std::mutex> lock(mu);
          times.push_back(
              std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
                  .count());
          if (times.size() <= refusals.size()) return Reply(refusals[times.size() - 1]);
          return ServeBody(r, body);
        }) {}
  double SecondsBetween(std::size_t a, std::size_t b) {
    std::lock_guard<std::mutex> lock(mu);
    return b < times.size() ? times[b] - times[a] : -1;
  }
  std::mutex mu;
  std::vector<double> times;  // guarded by mu
  LoopbackServer server;
};

std::string Refusal(const std::string& status, const std::string& retry_after = "") {
  std::vector<std::string> lines = {"Content-Length: 4"};
  if (!retry_after.empty()) lines.push_back("Retry-After: " + retry_after);
  return vorel::testing::HeaderText("HTTP/1.1 " + status, lines) + "busy";
}

// "Not now" (5xx, 408, 429) is asked again before the stream opens: after the wait the server
// names, else after 1 s, then 2 s.
TEST_F(NetworkTest, AServerSayingNotNowIsAskedAgainBeforeTheStreamOpens) {
  const std::string wav = ReadBytes(ToneWav(440, 1));
  struct Case {
    const char* what;
    std::vector<std::string> refusals;
    double least, most;  // seconds from the first request to the one that was answered
  } cases[] = {
      {"503", {Refusal("503 Service Unavailable")}, 1.0, 2.5},
      {"503 asking for 2 s", {Refusal("503 Service Unavailable", "2")}, 2.0, 3.5},
      {"429 asking for 1 s, then 429",
       {Refusal("429 Too Many Requests", "1"), Refusal("429 Too Many Requests")},
       2.0,
       3.5},
      {"408", {Refusal("408 Request Timeout")}, 1.0, 2.5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RefusingServer refusing(c.refusals, wav);
    HSTREAM h = B().StreamCreateURL(refusing.server.Url("/a.wav").c_str(), 0, 0, nullptr, nullptr);
    ASSERT_NE(h, 0u) << B().ErrorGetCode();
    EXPECT_NEAR(B().ChannelBytes2Seconds(h, B().ChannelGetLength(h, BASS_POS_BYTE)), 1.0, 0.01);
    const double waited = refusing.SecondsBetween(0, c.refusals.size());
    EXPECT_GE(waited, c.least);
    EXPECT_LE(waited, c.most);
    // The refusals, the question answered, and the stream's own requests.
    EXPECT_GE(refusing.server.Requests().size(), c.refusals.size() + 2);
    B().StreamFree(h);
  }
}

TEST_F(NetworkTest, AStreamThatIsGoneOrNeverReadyFailsWithoutWaitingLong) {
  // Gone: one request, no retry.
  RefusingServer gone({Refusal("404 Not Found"), Refusal("404 Not Found")}, "");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(B().StreamCreateURL(gone.server.Url("/a.mp3").c_str(), 0, 0, nullptr, nullptr), 0u);
  EXPECT_EQ(B().ErrorGetCode(), BASS_ERROR_FILEOPEN);
  EXPECT_EQ(gone.server.Requests().size(), 1u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));

  // Never ready: four requests, then the open fails.
  std::vector<std::string> busy(10, Refusal("500 Internal Server Error", "0"));
  RefusingServer never(busy, "");
  EXPECT_EQ(B().StreamCreateURL(never.server.Url("/a.mp3").c_str(), 0, 0, nullptr, nullptr), 0u);
  EXPECT_EQ(B().ErrorGetCode(), BASS_ERROR_FILEOPEN);
  EXPECT_EQ(never.server.Requests().size(), 4u);
}

TEST_F(NetworkTest, OffsetStartsTheDownloadPartWay) {
  LoopbackServer server(Serving(ToneMp3(1000, 3)));
  const DWORD half = static_cast<DWORD>(ReadBytes(ToneMp3(1000, 3)).size() / 2);
  HSTREAM d =
      B().StreamCreateURL(server.Url("/a.mp3").c_str(), half, BASS_STREAM_DECODE, nullptr, nullptr);
  ASSERT_NE(d, 0u) << B().ErrorGetCode();
  int16_t buf[4096];
  size_t bytes = 0;
  for (DWORD n; (n = B().ChannelGetData(d, buf, sizeof buf)) != static_cast<DWORD>(-1);) bytes += n;
  EXPECT_NEAR(B().ChannelBytes2Seconds(d, bytes), 1.5, 0.2);
}

TEST_F(NetworkTest, StarvedStreamReportsStalledAndRecovers) {
  const std::string wav = ReadBytes(ToneWav(440, 3));
  BodyOptions options;
  options.hold_at = WavDataStart(wav) + kBytesPerSecond * 6 / 10;  // 0.6 s of sound, then nothing
  options.ranges = false;  // a live stream: nothing to read ahead of the stall
  LoopbackServer server(ServingBytes(wav, options));
  HSTREAM h = B().StreamCreateURL(server.Url("/stall.wav").c_str(), 0, 0, nullptr, nullptr);
  ASSERT_NE(h, 0u) << B().ErrorGetCode();
  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  ASSERT_TRUE(WaitUntil([&] { return B().ChannelIsActive(h) == BASS_ACTIVE_STALLED; }, 5));
  const double stalled_at = PositionSeconds(h);
  EXPECT_NEAR(stalled_at, 0.6, 0.05);
  // While starved, every call answers at once; pause and resume work as usual.
  float bands[128];
  EXPECT_NE(B().ChannelGetData(h, bands, BASS_DATA_FFT256), static_cast<DWORD>(-1));
  ASSERT_TRUE(B().ChannelPause(h));
  EXPECT_EQ(B().ChannelIsActive(h), BASS_ACTIVE_PAUSED);
  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  EXPECT_EQ(B().ChannelIsActive(h), BASS_ACTIVE_STALLED);

  server.Release();
  ASSERT_TRUE(WaitUntil([&] { return B().ChannelIsActive(h) == BASS_ACTIVE_PLAYING; }, 5));
  ASSERT_TRUE(WaitUntil([&] { return B().ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, 10));
  EXPECT_NEAR(PositionSeconds(h), 3.0, 0.05);
}

TEST_F(NetworkTest, FreeingAStalledStreamReturns) {
  const std::string wav = ReadBytes(ToneWav(440, 3));
  BodyOptions options;
  options.hold_at = WavDataStart(wav) + kBytesPerSecond * 6 / 10;
  options.ranges = false;
  LoopbackServer server(ServingBytes(wav, options));
  HSTREAM h = B().StreamCreateURL(server.Url("/stall.wav").c_str(), 0, 0, nullptr, nullptr);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  ASSERT_TRUE(WaitUntil([&] { return B().ChannelIsActive(h) == BASS_ACTIVE_STALLED; }, 5));
  EXPECT_TRUE(B().ChannelStop(h));
  EXPECT_TRUE(B().StreamFree(h));
  EXPECT_EQ(B().ChannelIsActive(h), BASS_ACTIVE_STOPPED);
}

TEST_F(NetworkTest, StallLongerThanTheTimeOutEndsTheStream) {
  const std::string wav = ReadBytes(ToneWav(440, 3));
  BodyOptions options;
  options.hold_at = WavDataStart(wav) + kBytesPerSecond * 6 / 10;
  options.ranges = false;
  LoopbackServer server(ServingBytes(wav, options));  // never released
  HSTREAM h = B().StreamCreateURL(server.Url("/stall.wav").c_str(), 0, 0, nullptr, nullptr);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  ASSERT_TRUE(WaitUntil([&] { return B().ChannelIsActive(h) == BASS_ACTIVE_STALLED; }, 5));
  // After 10 s without data the read gives up and the stream ends where the data ended.
  ASSERT_TRUE(WaitUntil([&] { return B().ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, 30));
  EXPECT_NEAR(PositionSeconds(h), 0.6, 0.05);
}

TEST_F(NetworkTest, ServerClosingHalfwayEndsTheStreamEarly) {
  const std::string wav = ReadBytes(ToneWav(440, 2));
  BodyOptions options;
  options.close_at = WavDataStart(wav) + kBytesPerSecond / 2;
  LoopbackServer server(ServingBytes(wav, options));
  HSTREAM h = B().StreamCreateURL(server.Url("/half.wav").c_str(), 0, 0, nullptr, nullptr);
  ASSERT_NE(h, 0u);
  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  ASSERT_TRUE(WaitUntil([&] { return B().ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, 15));
  EXPECT_NEAR(PositionSeconds(h), 0.5, 0.05);
}

TEST_F(NetworkTest, StreamWithoutContentLengthPlays) {
  BodyOptions options;
  options.content_length = false;
  options.ranges = false;
  LoopbackServer server(Serving(ToneMp3(1000, 1), options));
  HSTREAM h = B().StreamCreateURL(server.Url("/a.mp3").c_str(), 0, 0, nullptr, nullptr);
  ASSERT_NE(h, 0u) << B().ErrorGetCode();
  EXPECT_FALSE(B().ChannelSetPosition(h, 0, BASS_POS_BYTE));  // the server cannot seek
  ASSERT_TRUE(B().ChannelPlay(h, FALSE));
  ASSERT_TRUE(WaitUntil([&] { return B().ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }, 10));
  EXPECT_NEAR(PositionSeconds(h), 1.0, 0.05);
}

TEST_F(NetworkTest, DeadServerFailsToOpen) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  close(fd);  // nobody listens on this port any more
  const std::string url = "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/a.mp3";
  EXPECT_EQ(B().StreamCreateURL(url.c_str(), 0, 0, nullptr, nullptr), 0u);
  EXPECT_EQ(B().ErrorGetCode(), BASS_ERROR_FILEOPEN);
}

TEST_F(NetworkTest, ServerThatNeverAnswersFailsAfterTheTimeOut) {
  LoopbackServer server([](const Request&) { return Reply().Stall(); });
  EXPECT_EQ(B().StreamCreateURL(server.Url("/a.mp3").c_str(), 0, 0, nullptr, nullptr), 0u);
  EXPECT_EQ(B().ErrorGetCode(), BASS_ERROR_TIMEOUT);
}

TEST_F(NetworkTest, GarbageFromTheServerFailsToOpen) {
  LoopbackServer garbage(
      [](const Request&) { return Reply(std::string(3000, '\x17') + "not http at all"); });
  EXPECT_EQ(B().StreamCreateURL(garbage.Url().c_str(), 0, 0, nullptr, nullptr), 0u);

  LoopbackServer html(ServingBytes("<html><body>" + std::string(20000, 'x') + "</body></html>"));
  EXPECT_EQ(B().StreamCreateURL(html.Url("/song.mp3").c_str(), 0, 0, nullptr, nullptr), 0u);
  EXPECT_NE(B().ErrorGetCode(), BASS_OK);
}

TEST_F(NetworkTest, OnlyHttpAndHttpsAddressesAreOpened) {
  const std::string local = ToneWav(440, 1);
  for (const std::string& url :
       {"file://" + local, local, "concat:" + local + "|" + local, "subfile:" + local,
        std::string("ftp://127.0.0.1/a.mp3"), std::string("")}) {
    SCOPED_TRACE(url);
    EXPECT_EQ(B().StreamCreateURL(url.c_str(), 0, 0, nullptr, nullptr), 0u);
    EXPECT_EQ(B().ErrorGetCode(), BASS_ERROR_PROTOCOL);
  }
  // Control bytes would otherwise reach the request line as extra header lines.
  EXPECT_EQ(
      B().StreamCreateURL("http://127.0.0.1:1/a.mp3\r\nX-Injected: 1", 0, 0, nullptr, nullptr), 0u);
  EXPECT_EQ(B().ErrorGetCode(), BASS_ERROR_ILLPARAM);
}

struct Downloaded {
  std::atomic<size_t> bytes{0};
  std::atomic<int> ends{0};
};

void CountDownload(const void* buffer, DWORD length, void* user) {
  auto* d = static_cast<Downloaded*>(user);
  if (buffer) {
    d->bytes += length;
  } else {
    ++d->ends;
  }
}

TEST_F(NetworkTest, DownloadCallbackSeesEveryByte) {
  const std::string path = ToneMp3(440, 1);
  LoopbackServer server(Serving(path));
  Downloaded seen;
  HSTREAM h = B().StreamCreateURL(server.Url("/a.mp3").c_str(), 0, BASS_STREAM_DECODE,
                                  &CountDownload, &seen);
  ASSERT_NE(h, 0u) << B().ErrorGetCode();
  int16_t buf[4096];
  while (B().ChannelGetData(h, buf, sizeof buf) != static_cast<DWORD>(-1)) {
  }
  EXPECT_EQ(seen.bytes.load(), ReadBytes(path).size());
  ASSERT_TRUE(B().StreamFree(h));
  EXPECT_EQ(seen.ends.load(), 1);
}

}  // namespace
}  // namespace vorel::audio_test

namespace vorel::audio_test {
namespace {

// A self-signed certificate for 127.0.0.1 and its key, made with the openssl command in TempDir();
// false when that failed.
bool MakeSelfSignedCertificate(vorel::testing::TlsOptions* tls) {
  tls->certificate = TempDir() + "/cert.pem";
  tls->key = TempDir() + "/key.pem";
  const std::string command =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1 -keyout " + tls->key +
      " -out " + tls->certificate + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

TEST_F(NetworkTest, HttpsServerWithAnUntrustedCertificateIsRefused) {
  vorel::testing::TlsOptions tls;
  ASSERT_TRUE(MakeSelfSignedCertificate(&tls));
  LoopbackServer server(Serving(ToneMp3(440, 1)), tls);
  // The song itself is served fine; only the certificate check can refuse it.
  EXPECT_EQ(B().StreamCreateURL(server.Url("/a.mp3").c_str(), 0, 0, nullptr, nullptr), 0u);
  EXPECT_EQ(B().ErrorGetCode(), BASS_ERROR_FILEOPEN);
}

}  // namespace
}  // namespace vorel::audio_test
