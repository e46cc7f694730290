// Replies without a Content-Length: chunked and close-delimited bodies, whole and cut short,
// and the redirect codes beside 301 and 302.

#include <gtest/gtest.h>

#include <atomic>

#include "download/download.h"
#include "download/internal/chunked_body.h"
#include "tests/download/engine_fixture.h"
#include "tests/testing/loopback_server.h"

namespace vorel::download::testing {
namespace {

using namespace runtime::literals;
using internal::ChunkedDecoder;

std::string Chunked(const std::string& body, std::size_t step, bool last_chunk = true) {
  std::string out;
  for (std::size_t at = 0; at < body.size(); at += step) {
    std::string part = body.substr(at, step);
    char size[32];
    snprintf(size, sizeof size, "%zx", part.size());
    // An extension on some chunks, as servers may send.
    out += std::string(size) + (at % (3 * step) == 0 ? ";name=value" : "") + "\r\n" + part + "\r\n";
  }
  if (last_chunk) out += "0\r\nX-Trailer: t\r\n\r\n";
  return out;
}

using BodyTest = EngineTest;

TEST(ChunkedDecoderTest, DecodesInPiecesOfAnySize) {
  const std::string body = MakeBody(10000, 3);
  const std::string encoded = Chunked(body, 777) + "bytes after the body";
  for (std::size_t piece : {std::size_t{1}, std::size_t{5}, std::size_t{4096}, encoded.size()}) {
    ChunkedDecoder decoder;
    std::string out;
    ChunkedDecoder::State state = ChunkedDecoder::State::kMore;
    for (std::size_t at = 0; at < encoded.size(); at += piece) {
      state = decoder.Feed(encoded.data() + at, std::min(piece, encoded.size() - at),
                           [&](const char* p, std::size_t n) { out.append(p, n); });
    }
    EXPECT_EQ(state, ChunkedDecoder::State::kDone) << piece;
    EXPECT_EQ(out, body) << piece;
  }
}

TEST(ChunkedDecoderTest, BrokenFramingIsRecognised) {
  for (std::string encoded :
       {std::string("zz\r\nabc\r\n0\r\n\r\n"), std::string("3\r\nabcX\r\n0\r\n\r\n"),
        std::string("fffffffffffffffff\r\n"), std::string(5000, '1'),
        std::string("3 x\r\nabc\r\n")}) {
    ChunkedDecoder decoder;
    EXPECT_EQ(decoder.Feed(encoded.data(), encoded.size(), [](const char*, std::size_t) {}),
              ChunkedDecoder::State::kBroken)
        << encoded.substr(0, 20);
  }
  ChunkedDecoder cut;
  std::string encoded = "5\r\nab";
  EXPECT_EQ(cut.Feed(encoded.data(), encoded.size(), [](const char*, std::size_t) {}),
            ChunkedDecoder::State::kMore);
}

TEST_F(BodyTest, ChunkedBodyComesWholeOverOneConnection) {
  const std::string body = MakeBody(300001);
  LoopbackServer server([&](const Request&) {
    return Reply()
        .Send(HeaderText("HTTP/1.1 200 OK", {"Transfer-Encoding: chunked"}))
        .Send(Chunked(body, 4099))
        .Stall();  // the last chunk, not a close, ends the body
  });
  Event end = Run(Param(server.Url("/c.mp3"), "c.mp3"));
  EXPECT_EQ(end.value2, 1) << recorder_.StatusDump();
  EXPECT_EQ(end.value, 300001);
  EXPECT_TRUE(ReadFile(PathOf("c.mp3")) == body);
  EXPECT_EQ(server.Requests().size(), 1u);
  for (const Event& e : recorder_.events()) {
    if (e.type == kTotalSize) {
      EXPECT_EQ(e.value, -1);  // unknown until the end
    }
  }
  EXPECT_EQ(recorder_.bytes_arrived(), 300001);
}

TEST_F(BodyTest, CutShortBodiesResumeAtTheFirstMissingByte) {
  const std::string body = MakeBody(250000);
  struct Case {
    const char* name;
    std::string first;  // the cut-short reply, after its header
    std::vector<std::string> header;
    std::int64_t resume_at;
  } cases[] = {
      // Cut inside a chunk: the three bytes of it that came are kept.
      {"chunked",
       Chunked(body.substr(0, 100000), 5000, false) + "1000\r\n" + body.substr(100000, 3),
       {"Transfer-Encoding: chunked"},
       100003},
      {"close-delimited", body.substr(0, 100000), {}, 100000},
  };
  for (const Case& c : cases) {
    std::atomic<bool> cut{false};
    LoopbackServer server([&](const Request& r) {
      if (!cut.exchange(true))
        return Reply().Send(HeaderText("HTTP/1.1 200 OK", c.header) + c.first);
      if (r.range_start && *r.range_start < 250000) return ServeBody(r, body);
      return Reply().Send(
          HeaderText("HTTP/1.1 416 Range Not Satisfiable", {"Content-Range: bytes */250000"}));
    });
    Recorder recorder;
    RunWith(Param(server.Url("/cut.mp3"), std::string(c.name) + ".mp3"), recorder);
    EXPECT_EQ(recorder.end().value2, 1) << c.name << "\n" << recorder.StatusDump();
    EXPECT_TRUE(ReadFile(PathOf(std::string(c.name) + ".mp3")) == body) << c.name;
    std::vector<Request> requests = server.Requests();
    ASSERT_GE(requests.size(), 2u) << c.name;
    EXPECT_EQ(requests[1].range_start, c.resume_at) << c.name;
  }
}

TEST_F(BodyTest, CloseEndsABodyOnlyWhenARangeRequestAgrees) {
  const std::string body = MakeBody(70000);
  struct Case {
    const char* name;
    std::string check_reply;  // the answer to "Range: bytes=70000-"
    int complete;
  } cases[] = {
      {"416 with the same size",
       HeaderText("HTTP/1.1 416 Range Not Satisfiable", {"Content-Range: bytes */70000"}), 1},
      {"416 without a size", HeaderText("HTTP/1.1 416 Range Not Satisfiable", {}), 1},
      {"whole body again, same length",
       HeaderText("HTTP/1.1 200 OK", {"Content-Length: 70000"}) + body, 1},
      {"416 with a larger size",
       HeaderText("HTTP/1.1 416 Range Not Satisfiable", {"Content-Range: bytes */90000"}), 0},
  };
  for (const Case& c : cases) {
    LoopbackServer server([&](const Request& r) {
      if (!r.range_start) return Reply().Send(HeaderText("HTTP/1.1 200 OK", {}) + body);
      return Reply().Send(c.check_reply);
    });
    Recorder recorder;
    RunWith(Param(server.Url("/close.mp3"), "close.mp3"), recorder);
    EXPECT_EQ(recorder.end().value2, c.complete) << c.name << "\n" << recorder.StatusDump();
    EXPECT_EQ(Exists(PathOf("close.mp3")), c.complete == 1) << c.name;
    if (c.complete) {
      EXPECT_TRUE(ReadFile(PathOf("close.mp3")) == body) << c.name;
      std::remove(PathOf("close.mp3").c_str());
    }
    std::vector<Request> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u) << c.name;
    EXPECT_EQ(requests[1].range_start, 70000) << c.name;
  }
}

TEST_F(BodyTest, BrokenChunkingFailsWithoutAFile) {
  LoopbackServer server([&](const Request&) {
    return Reply().Send(HeaderText("HTTP/1.1 200 OK", {"Transfer-Encoding: chunked"}) +
                        "10\r\n0123456789abcdefXY");
  });
  Event end = Run(Param(server.Url("/b.mp3"), "b.mp3"));
  EXPECT_EQ(end.value2, 0);
  EXPECT_TRUE(recorder_.HasStatus("出现错误"_t));
  EXPECT_TRUE(FolderEntries().empty());
}

TEST_F(BodyTest, SeeOtherAndTemporaryAndPermanentRedirectsAreFollowed) {
  const std::string body = MakeBody(60000);
  for (int code : {303, 307, 308}) {
    LoopbackServer server([&](const Request& r) {
      if (r.target == "/a/b/start") {
        return Reply().Send(HeaderText("HTTP/1.1 " + std::to_string(code) + " Moved",
                                       {"Location: ../c/./song.mp3"}));
      }
      if (r.target == "/a/c/song.mp3") return ServeBody(r, body);
      return Reply().Send(HeaderText("HTTP/1.1 404 Not Found", {}));
    });
    Recorder recorder;
    const std::string name = std::to_string(code) + ".mp3";
    RunWith(Param(server.Url("/a/b/start"), name), recorder);
    EXPECT_EQ(recorder.end().value2, 1) << code << "\n" << recorder.StatusDump();
    EXPECT_TRUE(ReadFile(PathOf(name)) == body) << code;
    EXPECT_EQ(server.Requests()[1].method, "GET") << code;
  }
}

}  // namespace
}  // namespace vorel::download::testing
