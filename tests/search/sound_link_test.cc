// The sound-link resolver through the address box and the "解析" button of the real window,
// against a sound service served on 127.0.0.1.
#include <QBuffer>
#include <QHelpEvent>
#include <QImage>
#include <QTest>
#include <QToolTip>
#include <algorithm>

#include "player/player.h"
#include "runtime/latest_work.h"
#include "search/search_services.h"
#include "tests/search/search_fixture.h"
#include "tests/testing/process.h"
#include "ui/qt/testing.h"
#include "ui/qt/window_input.h"

namespace vorel::search_test {
namespace {

using namespace runtime::literals;

constexpr char kAgent[] =
    "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1; 73MQA; .NET CLR 2.0.50727; "
    ".NET CLR 3.0.04506.648; .NET CLR 3.5.21022)";

// A PNG picture of one colour, made here.
std::string SolidPng(QRgb colour) {
  QImage image(8, 8, QImage::Format_RGB32);
  image.fill(colour);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return bytes.toStdString();
}

std::string FileBytes(const std::filesystem::path& path) {
  return vorel::testing::ReadWholeFile(path);
}

// A sound service: "/sound/info" answers with the reply the test sets, "/cover.png" with a
// picture, "/song.mp3" with a short tone.
class SoundLinkTest : public SearchFlowTest {
 protected:
  void SetUp() override {
    SearchFlowTest::SetUp();
    SetCover(SolidPng(qRgb(255, 0, 0)));
    song_ = FileBytes(songs_ / "short1.mp3");
    server_ = std::make_unique<LoopbackServer>([this](const Request& r) {
      std::lock_guard lock(mu_);
      if (r.request_line.find(" /cover.png") != std::string::npos ||
          r.request_line.find(" /%E5%B0%81%E9%9D%A2.png") != std::string::npos) {
        return LoopbackServer::Simple(cover_, {"Content-Type: image/png"});
      }
      if (r.request_line.find(" /song.mp3") != std::string::npos) {
        return LoopbackServer::Simple(song_, {"Content-Type: audio/mpeg"});
      }
      std::string body = replies_.empty() ? std::string() : replies_.front();
      if (replies_.size() > 1) replies_.erase(replies_.begin());
      return LoopbackServer::Simple(body, {"Content-Type: application/json; charset=utf-8"});
    });
    UseHost("VOREL_SOUND_API_HOST", *server_);
  }
  void TearDown() override {
    SearchFlowTest::TearDown();
    server_.reset();
  }

  void SetCover(std::string bytes) {
    std::lock_guard lock(mu_);
    cover_ = std::move(bytes);
  }
  // Replies for the next sound-info requests, in order; the last one repeats.
  void Replies(std::vector<std::string> replies) {
    std::lock_guard lock(mu_);
    replies_ = std::move(replies);
  }
  std::string Here(const std::string& path) {
    return "http:\\/\\/127.0.0.1:" + std::to_string(server_->port()) + path;
  }
  std::string Record(const std::string& name) {
    return "{\"code\":0,\"info\":{\"PIC\":\"" + Here("\\/cover.png") + "\",\"Source\":\"" +
           Here("\\/song.mp3") + "\",\"Name\":\"" + name + "\",\"id\":\"22\"}}";
  }
  // Resolves and waits until what the resolve started (the record, the stream, the covers) has
  // reached the window.
  void Resolve(const Text& address) {
    TypeInto(ids::kAddressBox, address);
    Click(ids::kResolveButton);
    ASSERT_TRUE(runtime::WaitUntilNoWorkPending(20000));
  }
  std::vector<Request> InfoRequests() {
    std::vector<Request> out;
    for (const Request& r : server_->Requests()) {
      if (r.request_line.find("/sound/info") != std::string::npos) out.push_back(r);
    }
    return out;
  }

  std::unique_ptr<LoopbackServer> server_;
  std::string song_;
  std::mutex mu_;
  std::string cover_;                 // guarded by mu_
  std::vector<std::string> replies_;  // guarded by mu_
};

TEST_F(SoundLinkTest, ResolveAppendsSelectsAndPlaysWithTheExactRequests) {
  Replies({Record("Tone \\u0041")});
  Resolve("http://sound.example/sound/1/sound/22?x=1 y#z");

  const std::string origin = "http://127.0.0.1:" + std::to_string(server_->port());
  ASSERT_EQ(PlayListRows(), 1);
  EXPECT_EQ(PlayListRow(0), (std::vector<Text>{"网络文件"_t, origin + "/song.mp3", "Tone A",
                                               origin + "/cover.png"}));
  EXPECT_EQ(Selected(), 0);
  EXPECT_EQ(qt::ToolTipOf(ids::kMainWindow, ids::kStatusCaption), "Tone A");
  EXPECT_NE(player().State().current_stream, 0u);  // the new row is playing
  EXPECT_EQ(features().sound_link().SoundSourceUrl(), origin + "/song.mp3");
  EXPECT_EQ(features().sound_link().SoundName(), "Tone A");

  // The id is what follows the last "sound/", query string included; the space and "#" are
  // escaped so the request line stays one line.
  const std::string info_url = origin + "/sound/info?sound_id=22?x=1%20y%23z";
  std::vector<Request> info = InfoRequests();
  ASSERT_EQ(info.size(), 1u);
  EXPECT_EQ(info[0].head, "GET /sound/info?sound_id=22?x=1%20y%23z HTTP/1.1\r\nHost: 127.0.0.1:" +
                              std::to_string(server_->port()) + "\r\n" + kAgent +
                              "\r\nReferer: " + info_url +
                              "\r\nAccept: */*\r\nAccept-Language: zh-cn\r\n"
                              "Content-Type: application/x-www-form-urlencoded\r\n\r\n");
  bool cover_seen = false;
  for (const Request& r : server_->Requests()) {
    if (r.request_line != "GET /cover.png HTTP/1.0") continue;
    cover_seen = true;
    EXPECT_EQ(r.head,
              "GET /cover.png HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(server_->port()) +
                  "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)\r\n"
                  "Accept: */*\r\n\r\n");
  }
  EXPECT_TRUE(cover_seen);
}

TEST_F(SoundLinkTest, AddressesGoOutInTheirUtf8Form) {
  // A UTF-8 reply: the name becomes text of the program, the addresses stay what the service
  // meant, so the cover (and stream, and download) request the right resource.
  Replies({"{\"pic\":\"" + Here("\\/封面.png") + "\",\"source\":\"" + Here("\\/歌 1.mp3") +
           "\",\"name\":\"测试\",\"x\":\"1\"}"});
  Resolve("http://sound.example/sound/8");
  const std::string origin = "http://127.0.0.1:" + std::to_string(server_->port());
  ASSERT_EQ(PlayListRows(), 1);
  EXPECT_EQ(PlayListRow(0), (std::vector<Text>{"网络文件"_t, origin + "/%E6%AD%8C%201.mp3",
                                               "测试"_t, origin + "/%E5%B0%81%E9%9D%A2.png"}));
  bool cover_seen = false;
  for (const Request& r : server_->Requests()) {
    cover_seen |= r.request_line == "GET /%E5%B0%81%E9%9D%A2.png HTTP/1.0";
  }
  EXPECT_TRUE(cover_seen);
  runtime::Bytes shown =
      runtime::ReadBytesProperty(ids::kMainWindow, ids::kCoverPicture, ids::kPropPicture);
  EXPECT_EQ(std::string(shown.begin(), shown.end()), SolidPng(qRgb(255, 0, 0)));
}

TEST_F(SoundLinkTest, EachResolveAddsARowAndTheTooltipFollowsTheLatest) {
  Replies({Record("Same"), Record("Same"), Record("Other")});
  for (int i = 0; i < 3; ++i) Resolve("http://sound.example/sound/7");
  ASSERT_EQ(PlayListRows(), 3);
  EXPECT_EQ(PlayListRow(0), PlayListRow(1));
  EXPECT_EQ(PlayListRow(2)[2], "Other");
  EXPECT_EQ(Selected(), 2);
  EXPECT_EQ(qt::ToolTipOf(ids::kMainWindow, ids::kStatusCaption), "Other");
}

TEST_F(SoundLinkTest, TooltipShowsTheNameCentredBelowTheCaption) {
  Replies({Record("Short")});
  Resolve("http://sound.example/sound/7");
  QWidget* caption = Widget<QWidget>(ids::kStatusCaption);
  ASSERT_NE(caption, nullptr);
  // The pointer rests near the caption's left end; the tip still centres on the caption.
  const QPoint local(5, 5);
  QHelpEvent hover(QEvent::ToolTip, local, caption->mapToGlobal(local));
  QApplication::sendEvent(caption, &hover);
  QWidget* tip = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->isVisible() && w->inherits("QTipLabel") && w->property("text").toString() == "Short") {
      tip = w;
    }
  }
  ASSERT_NE(tip, nullptr);
  const QRect shown = tip->geometry();
  const QRect below = QRect(caption->mapToGlobal(QPoint(0, 0)), caption->size());
  EXPECT_NEAR(shown.center().x(), below.center().x(), 6);
  EXPECT_NEAR(shown.top(), below.bottom() + 1, 3);
  QToolTip::hideText();
}

TEST_F(SoundLinkTest, AddressBoxSampleClearsOnTheFirstPressOnly) {
  const Text sample = app::SampleAddress();
  EXPECT_EQ(sample, "http://sound.invalid/sound/xxxx");  // no web host configured
  TypeInto(ids::kAddressBox, sample);
  ASSERT_TRUE(qt::ClickControl(ids::kMainWindow, ids::kAddressBox));  // a real mouse press
  EXPECT_EQ(ReadCaption(ids::kAddressBox), "");
  EXPECT_EQ(runtime::ReadIntProperty(ids::kMainWindow, ids::kAddressFrame, ids::kPropOutline),
            0x00E080);

  TypeInto(ids::kAddressBox, "http://sound.example/sound/5");
  ASSERT_TRUE(qt::ClickControl(ids::kMainWindow, ids::kAddressBox));
  EXPECT_EQ(ReadCaption(ids::kAddressBox), "http://sound.example/sound/5");

  ASSERT_TRUE(qt::DoubleClickControl(ids::kMainWindow, ids::kAddressBox));
  EXPECT_EQ(ReadCaption(ids::kAddressBox), "");
}

TEST_F(SoundLinkTest, BadRepliesGiveEmptyOrCleanedFieldsAndStillARow) {
  const std::string dead = "http:\\/\\/127.0.0.1:1";  // nothing listens there
  const std::string big(100 * 1024, 'n');
  struct Case {
    const char* what;
    std::string reply;
    Text picture, source, name;
  };
  const std::vector<Case> cases = {
      {"truncated", "{\"pic\":\"" + dead + "\\/p.png\",\"source\":\"" + dead + "\\/s.mp3\",\"na",
       "http://127.0.0.1:1/p.png", "http://127.0.0.1:1/s.mp3", ""},
      {"not the expected shape", "<html><body>Service unavailable</body></html>", "", "", ""},
      {"last field closed by a brace", "{\"pic\":\"x\",\"name\":\"last\"}", "x", "", ""},
      {"escaped control bytes",
       "{\"pic\":\"" + dead + "\\/p\\r\\n.png\",\"source\":\"" + dead +
           "\\/s\\u0007.mp3\\r\\nX-Evil: 1\",\"name\":\"a\\tb\\r\\nc\",\"x\":\"1\"}",
       "http://127.0.0.1:1/p.png", "http://127.0.0.1:1/s.mp3X-Evil:%201", "a b  c"},
      {"100 KiB fields",
       "{\"pic\":\"" + dead + "\\/" + big + "\",\"source\":\"" + dead + "\\/" + big +
           "\",\"name\":\"" + big + "\",\"x\":\"1\"}",
       "http://127.0.0.1:1/" + big, "http://127.0.0.1:1/" + big, big},
      {"slashes in the name",
       "{\"pic\":\"\",\"source\":\"\",\"name\":\"..\\/..\\/AC\\/DC\",\"x\":\"1\"}", "", "",
       "../../AC/DC"},

      {"reply ending in a line feed, as many servers send it",
       "{\"pic\":\"" + dead + "\\/p.png\",\"source\":\"" + dead +
           "\\/s.mp3\",\"name\":\"Tone\",\"x\":\"1\"}\n",
       "http://127.0.0.1:1/p.png", "http://127.0.0.1:1/s.mp3", "Tone"},
  };
  int row = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Replies({c.reply});
    Resolve("http://sound.example/sound/9");
    ASSERT_EQ(PlayListRows(), row + 1);
    EXPECT_EQ(PlayListRow(row), (std::vector<Text>{"网络文件"_t, c.source, c.name, c.picture}));
    EXPECT_EQ(Selected(), row);
    ++row;
  }
}

TEST_F(SoundLinkTest, CoverPictureAndCaption) {
  struct Case {
    const char* what;
    std::string cover_bytes;
    bool kept;  // whether the picture box receives the bytes
  };
  const std::vector<Case> cases = {
      {"a picture", SolidPng(qRgb(0, 0, 255)), true},
      {"not a picture", "this is no picture", true},  // the box then shows nothing
      {"50 MiB", std::string(50 << 20, 'p'), false},  // past the whole-resource cap: no picture
  };
  Replies({Record("Covered")});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetCover(c.cover_bytes);
    features().sound_link().FetchSoundInfo("22");
    ASSERT_TRUE(runtime::WaitUntilNoWorkPending(20000));
    runtime::Bytes shown =
        runtime::ReadBytesProperty(ids::kMainWindow, ids::kCoverPicture, ids::kPropPicture);
    EXPECT_EQ(std::string(shown.begin(), shown.end()), c.kept ? c.cover_bytes : "");
    EXPECT_EQ(runtime::ReadIntProperty(ids::kMainWindow, ids::kCoverPicture, ids::kPropPictureMode),
              1);
    EXPECT_EQ(ReadCaption(ids::kStatusCaption), "Covered");
  }
}

TEST_F(SoundLinkTest, WithoutAConfiguredHostTheWindowSaysWhatToSetAndAddsNoRow) {
  unsetenv("VOREL_SOUND_API_HOST");
  ::testing::internal::CaptureStderr();  // the message box, and the terminal's line
  Resolve("http://sound.example/sound/3");
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("声音链接解析没有设置服务器"), std::string::npos) << said;
  EXPECT_NE(said.find("sound_api = "), std::string::npos) << said;
  EXPECT_NE(said.find("VOREL_SOUND_API_HOST，"), std::string::npos) << said;
  EXPECT_TRUE(InfoRequests().empty());
  EXPECT_EQ(PlayListRows(), 0);
}

TEST_F(SoundLinkTest, AResolveThatGetsNothingAddsNoRowAndSaysSo) {
  Replies({""});
  Resolve("http://sound.example/sound/3");
  EXPECT_EQ(InfoRequests().size(), 1u);
  EXPECT_EQ(PlayListRows(), 0);
  EXPECT_EQ(ReadCaption(ids::kStatusCaption), "解析失败：声音服务没有回答。"_t);
}

// A sound service whose record for "slow" is held back until the test lets it go.
class HeldResolveTest : public SoundLinkTest {
 protected:
  void SetUp() override {
    SoundLinkTest::SetUp();
    held_ = std::make_unique<LoopbackServer>([this](const Request& r) {
      const bool slow = r.target.find("sound_id=slow") != std::string::npos;
      Reply reply = slow ? Reply().Hold() : Reply();
      const std::string body = Record(slow ? "Slow" : "Quick");
      return reply.Send(vorel::testing::HeaderText(
                            "HTTP/1.1 200 OK", {"Content-Length: " + std::to_string(body.size()),
                                                "Connection: close"}) +
                        body);
    });
    UseHost("VOREL_SOUND_API_HOST", *held_);
  }
  void TearDown() override {
    held_->Release();
    EXPECT_TRUE(features().sound_link().WaitForWorkers(20000));
    SoundLinkTest::TearDown();
    held_.reset();
  }
  void StartResolve(const Text& address) {
    TypeInto(ids::kAddressBox, address);
    Click(ids::kResolveButton);
  }
  std::unique_ptr<LoopbackServer> held_;
};

TEST_F(HeldResolveTest, ANewerResolveSupersedesOneStillWaiting) {
  StartResolve("http://sound.example/sound/slow");
  ASSERT_TRUE(runtime::WaitProcessingEvents([&] { return held_->Requests().size() == 1; }, 5000));
  EXPECT_TRUE(features().sound_link().ResolvePending());
  Resolve("http://sound.example/sound/quick");
  ASSERT_EQ(PlayListRows(), 1);
  EXPECT_EQ(PlayListRow(0)[2], "Quick");
  // The older reply arrives late and is dropped: no row, no caption, the quick song plays on.
  held_->Release();
  ASSERT_TRUE(features().sound_link().WaitForWorkers(20000));
  EXPECT_EQ(PlayListRows(), 1);
  EXPECT_EQ(features().sound_link().SoundName(), "Quick");
  EXPECT_EQ(Selected(), 0);
  EXPECT_NE(player().State().current_stream, 0u);
}

TEST_F(HeldResolveTest, CancelInTheRightClickMenuDropsAWaitingResolve) {
  StartResolve("http://sound.example/sound/slow");
  ASSERT_TRUE(runtime::WaitProcessingEvents([&] { return held_->Requests().size() == 1; }, 5000));
  // While it waits the window says so, with the busy pointer and in the caption.
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
  EXPECT_EQ(ReadCaption(ids::kStatusCaption), "正在获取声音信息……"_t);
  auto* window =
      reinterpret_cast<QWidget*>(runtime::WindowHandle(ids::kMainWindow, ids::kMainWindowSelf));
  ASSERT_NE(window, nullptr);
  QTest::mouseClick(window->windowHandle(), Qt::RightButton, Qt::NoModifier, QPoint(300, 180));
  ASSERT_TRUE(runtime::WaitProcessingEvents([] { return !qt::OpenMenuLabels().empty(); }, 5000));
  ASSERT_TRUE(qt::ChooseMenuItem("取消"_t));
  // The item's action runs once the menu has closed.
  EXPECT_TRUE(runtime::WaitProcessingEvents([] { return !runtime::WorkPending(); }, 5000));
  EXPECT_EQ(ReadCaption(ids::kStatusCaption), "已取消"_t);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  held_->Release();
  ASSERT_TRUE(features().sound_link().WaitForWorkers(20000));
  EXPECT_EQ(PlayListRows(), 0);
  EXPECT_EQ(ReadCaption(ids::kStatusCaption), "已取消"_t);
  // With nothing waiting, the menu has no such item.
  QTest::mouseClick(window->windowHandle(), Qt::RightButton, Qt::NoModifier, QPoint(300, 180));
  ASSERT_TRUE(runtime::WaitProcessingEvents([] { return !qt::OpenMenuLabels().empty(); }, 5000));
  const std::vector<Text> labels = qt::OpenMenuLabels();
  EXPECT_EQ(std::count(labels.begin(), labels.end(), "取消"_t), 0);
  QApplication::activePopupWidget()->close();
}

TEST_F(HeldResolveTest, AnotherSongStartedMeanwhileKeepsPlayingAndTheRecordOnlyAddsItsRow) {
  AddLocalRow(songs_ / "long.mp3", "本地"_t);
  StartResolve("http://sound.example/sound/slow");
  ASSERT_TRUE(runtime::WaitProcessingEvents([&] { return held_->Requests().size() == 1; }, 5000));
  Select(0);
  runtime::RaiseEvent(ids::kMainWindow, ids::kPlayList, runtime::kEventLeftDoubleClick);
  held_->Release();
  ASSERT_TRUE(runtime::WaitUntilNoWorkPending(20000));
  ASSERT_EQ(PlayListRows(), 2);
  EXPECT_EQ(PlayListRow(1)[2], "Slow");
  EXPECT_EQ(Selected(), 0);
  EXPECT_EQ(player().State().current_entry_index, 0);
  EXPECT_EQ(ReadCaption(ids::kStatusCaption), "本地"_t);
  EXPECT_EQ(StreamState(), player::audio::kPlaying);
}

// A sound service that labels its JSON replies without a charset: the names are UTF-8 all the
// same, and come out right in the caption and the play list.
TEST_F(SoundLinkTest, NamesOfAJsonReplyWithoutACharsetAreReadAsUtf8) {
  const std::string record =
      Record("\xE6\xB5\x8B\xE8\xAF\x95\xE6\xAD\x8C\xE6\x9B\xB2");  // 测试歌曲
  LoopbackServer plain([&](const Request&) {
    return LoopbackServer::Simple(record, {"Content-Type: application/json"});
  });
  UseHost("VOREL_SOUND_API_HOST", plain);
  Resolve("http://sound.example/sound/1/sound/22");
  ASSERT_EQ(PlayListRows(), 1);
  EXPECT_EQ(PlayListRow(0)[2], "测试歌曲"_t);
  EXPECT_EQ(ReadCaption(ids::kStatusCaption), "测试歌曲"_t);
}

}  // namespace
}  // namespace vorel::search_test
