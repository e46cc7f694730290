#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <fstream>

#include "runtime/files.h"
#include "runtime/latest_work.h"
#include "search/sound_link.h"
#include "shell/full_view.h"
#include "tests/download/test_certificates.h"
#include "tests/main_window/download_fixture.h"
#include "ui/qt/testing.h"
#include "ui/qt/window_input.h"

namespace vorel::flow {
namespace {

using vorel::testing::HeaderText;
using vorel::testing::LoopbackServer;
using vorel::testing::MakeBody;
using vorel::testing::Reply;
using vorel::testing::Request;
using vorel::testing::ServeBody;

// The completion message when the data folder is the program's own folder.
const char kDoneBesideTheProgram[] = "下载完成，路径为当前目录下的\\Musics文件夹。";

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

// The end message tells the truth: the completion text only with the whole file in place,
// otherwise a failure text with a reason and nothing left in Musics.
void ExpectTruthfulEnd(const std::string& done, const std::vector<std::string>& messages,
                       const std::vector<std::string>& left, const std::string& saved,
                       const std::string& body) {
  ASSERT_EQ(messages.size(), 1u);
  if (messages[0] == done) {
    EXPECT_EQ(saved, body);
    return;
  }
  EXPECT_TRUE(StartsWith(messages[0], "下载失败：")) << messages[0];
  EXPECT_GT(messages[0].size(), std::string("下载失败：").size());
  EXPECT_EQ(left, std::vector<std::string>{});
}

// Answers with a 1000-byte length, sends 505 bytes and then nothing more.
Reply HalfThenStall(const Request&, int pause_ms = 0) {
  return Reply()
      .Pause(pause_ms)
      .Send(HeaderText("HTTP/1.1 200 OK", {"Content-Length: 1000"}))
      .Send(MakeBody(505))
      .Stall();
}

TEST_F(DownloadFlowTest, NothingHappensBeforeASongWasResolved) {
  ClickDownload();
  EXPECT_TRUE(Visible(ids::kDownloadButton));
  EXPECT_FALSE(Visible(ids::kDownloadProgress));
  EXPECT_FALSE(Song().DownloadRunning());
  EXPECT_FALSE(fs::exists(Musics()));
}

TEST_F(DownloadFlowTest, SavesTheSongByteExactAndASecondCopyBesideIt) {
  const std::string body = MakeBody(300000, 7);
  LoopbackServer server([&](const Request& r) { return ServeBody(r, body); });
  Resolve(server.Url("/sound/42.mp3"), "晴天"_t);
  ASSERT_FALSE(fs::exists(Musics()));  // the download makes the folder itself

  ClickDownload();
  EXPECT_FALSE(Visible(ids::kDownloadButton));
  EXPECT_TRUE(Visible(ids::kDownloadProgress));
  EXPECT_TRUE(Visible(ids::kDownloadLabel));
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(ReadFile(Musics() / "晴天.mp3"), body);
  EXPECT_EQ((fs::status(Musics()).permissions() & fs::perms::all),
            fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                fs::perms::others_read | fs::perms::others_exec);
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{Done()});
  EXPECT_EQ(LabelCaption(), "下载"_t);
  EXPECT_EQ(BarPosition(), 0);
  Tick();  // a tick queued before the end changes nothing afterwards
  EXPECT_EQ(LabelCaption(), "下载"_t);
  EXPECT_EQ(runtime::ReadIntProperty(ids::kMainWindow, ids::kDownloadTimer, ids::kPropInterval), 0);
  EXPECT_EQ(Song().DownloadTotalBytes(), 300000.0);
  const download::TaskParam param = Song().DownloadTaskParam();
  EXPECT_EQ(param.ConnectionCount, 5);
  EXPECT_EQ(param.ReceiveBlockSize, 10240);

  ClickDownload();
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(ReadFile(Musics() / "晴天(1).mp3"), body);
  EXPECT_EQ(MusicsEntries(), (std::vector<std::string>{"晴天(1).mp3", "晴天.mp3"}));
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{Done()});
}

TEST_F(DownloadFlowTest, ResolvedSongIsSavedUnderItsName) {
  const std::string song = ReadFile(songs_ / "short1.mp3");
  std::atomic<int> port{0};  // known once the server listens, before any request comes
  LoopbackServer server([&](const Request& r) {
    if (r.target.starts_with("/sound/info?sound_id=77")) {
      const std::string host = "http://127.0.0.1:" + std::to_string(port);
      const std::string info = "{\"pic\":\"" + host + "/none.png\",\"source\":\"" + host +
                               "/media/77.mp3\",\"name\":\"河边的歌\",\"duration\":\"1\"}";
      return Reply()
          .Send(HeaderText("HTTP/1.1 200 OK", {"Content-Type: application/json; charset=utf-8",
                                               "Content-Length: " + std::to_string(info.size())}))
          .Send(info);
    }
    if (r.target == "/media/77.mp3") return ServeBody(r, song);
    return Reply().Send(HeaderText("HTTP/1.1 404 Not Found", {"Content-Length: 0"}));
  });
  port = server.port();
  ::setenv("VOREL_SOUND_API_HOST", ("127.0.0.1:" + std::to_string(server.port())).c_str(), 1);
  // The download button reads the resolver's last sound, as the program wires it.
  Song().SetServices({
      .sound_source_url = [this] { return features().sound_link().SoundSourceUrl(); },
      .sound_name = [this] { return features().sound_link().SoundName(); },
  });

  runtime::WriteProperty(ids::kMainWindow, ids::kAddressBox, ids::kPropCaption,
                         "http://sound.test/sound/77"_t);
  Click(ids::kResolveButton);
  ASSERT_TRUE(runtime::WaitUntilNoWorkPending(20000));  // the record, the stream and the cover
  ClickDownload();
  const bool idle = WaitForIdle();
  ::unsetenv("VOREL_SOUND_API_HOST");
  ASSERT_TRUE(idle);
  EXPECT_EQ(ReadFile(Musics() / "河边的歌.mp3"), song);
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{Done()});
}

TEST_F(DownloadFlowTest, BarFollowsTheBytesAndTheLabelTrailsOneTick) {
  LoopbackServer server([](const Request& r) { return HalfThenStall(r, 500); });
  Resolve(server.Url("/a.mp3"), "a"_t);
  ClickDownload();
  // The test ticks the timer itself from here on.
  runtime::WriteProperty(ids::kMainWindow, ids::kDownloadTimer, ids::kPropInterval, 0);

  Tick();  // nothing known yet: no division by a zero total
  EXPECT_EQ(BarPosition(), 0);
  EXPECT_EQ(LabelCaption(), "0%"_t);

  ASSERT_TRUE(runtime::WaitProcessingEvents(
      [this] {
        return Song().Downloader().ReceivedBytes64() == 505 && Song().DownloadTotalBytes() == 1000;
      },
      20000));
  Tick();
  EXPECT_EQ(BarPosition(), 51);  // 50.5 rounds away from zero
  EXPECT_EQ(LabelCaption(), "0%"_t);
  Tick();
  EXPECT_EQ(LabelCaption(), "51%"_t);

  Song().CancelDownload();
  EXPECT_TRUE(Visible(ids::kDownloadButton));
  EXPECT_FALSE(Visible(ids::kDownloadLabel));
  EXPECT_EQ(LabelCaption(), "下载"_t);
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{"下载已取消。"});
}

TEST_F(DownloadFlowTest, NamesFromTheServerStayInsideMusics) {
  const std::string body = MakeBody(2000, 3);
  LoopbackServer server([&](const Request& r) { return ServeBody(r, body); });
  std::string long_name;
  for (int i = 0; i < 300; ++i) long_name += "歌";
  for (const Text& name : {Text(), "../../evil/x"_t, "AC/DC"_t, runtime::TextFromUtf8(long_name)}) {
    Resolve(server.Url("/s.mp3"), name);
    ClickDownload();
    ASSERT_TRUE(WaitForIdle()) << runtime::Utf8FromText(name);
  }
  std::vector<std::string> entries = MusicsEntries();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0], "AC_DC.mp3");
  EXPECT_EQ(entries[1], "_.._evil_x.mp3");
  EXPECT_EQ(entries[2], "download.mp3");
  EXPECT_LE(entries[3].size(), 255u - 4);  // room for a "(99)"
  EXPECT_TRUE(StartsWith(entries[3], "歌歌歌"));
  EXPECT_TRUE(entries[3].ends_with("歌.mp3"));  // cut between characters, not inside one
  for (const std::string& e : entries) EXPECT_EQ(ReadFile(Musics() / e), body) << e;
  EXPECT_FALSE(fs::exists(work_ / "evil"));
  EXPECT_FALSE(fs::exists(work_.parent_path() / "evil"));
  EXPECT_EQ(TakeMessages(), std::vector<std::string>(4, Done()));
}

// Each failing source ends with a failure message, never the completion text, and leaves no
// file; the controls are idle again so the next download can start.
TEST_F(DownloadFlowTest, FailingSourcesAreReportedAndLeaveNothing) {
  const std::string body = MakeBody(100000, 5);
  LoopbackServer not_found([](const Request&) {
    return Reply().Send(HeaderText("HTTP/1.1 404 Not Found", {"Content-Length: 0"}));
  });
  LoopbackServer drops([&](const Request&) {
    return Reply()
        .Send(HeaderText("HTTP/1.1 200 OK", {"Content-Length: 100000"}))
        .Send(body.substr(0, 3000));
  });
  struct Case {
    const char* what;
    std::string url;
  };
  for (const Case& c :
       {Case{"404", not_found.Url("/gone.mp3")}, Case{"connection dropped", drops.Url("/cut.mp3")},
        Case{"nobody listening", "http://127.0.0.1:1/x.mp3"},
        Case{"https", "https://127.0.0.1:1/x.mp3"}, Case{"no host", "http:///x.mp3"}}) {
    SCOPED_TRACE(c.what);
    Resolve(c.url, "坏"_t);
    ClickDownload();
    ASSERT_TRUE(WaitForIdle(60000));
    std::vector<std::string> messages = TakeMessages();
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_NE(messages[0], Done());
    ExpectTruthfulEnd(Done(), messages, MusicsEntries(), "", body);
  }
}

TEST_F(DownloadFlowTest, AServerIgnoringRangeGivesTheWholeFileOrATruthfulFailure) {
  const std::string body = MakeBody(200000, 9);
  LoopbackServer server([&](const Request&) {
    return Reply().Send(HeaderText("HTTP/1.1 200 OK", {"Content-Length: 200000"})).Send(body);
  });
  Resolve(server.Url("/whole.mp3"), "整"_t);
  ClickDownload();
  ASSERT_TRUE(WaitForIdle(60000));
  ExpectTruthfulEnd(Done(), TakeMessages(), MusicsEntries(), ReadFile(Musics() / "整.mp3"), body);
}

TEST_F(DownloadFlowTest, CancelFromTheRightClickMenuRemovesThePartialFile) {
  const std::string body = MakeBody(400000, 11);
  LoopbackServer server([&](const Request&) {
    return Reply()
        .Send(HeaderText("HTTP/1.1 200 OK", {"Content-Length: 400000"}))
        .Send(body.substr(0, 30000))
        .Stall();
  });
  Resolve(server.Url("/long.mp3"), "长"_t);
  ClickDownload();
  ASSERT_TRUE(runtime::WaitProcessingEvents(
      [this] { return Song().Downloader().ReceivedBytes64() > 0; }, 20000));

  OpenMainWindowMenu();
  EXPECT_EQ(qt::OpenMenuLabels(),
            (std::vector<Text>{"显示搜索与歌词"_t, "添加文件…"_t, "取消下载"_t}));
  ASSERT_TRUE(qt::ChooseMenuItem("取消下载"_t));
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{"下载已取消。"});
  EXPECT_TRUE(runtime::WaitProcessingEvents([&] { return MusicsEntries().empty(); }, 10000));

  // With nothing running the menu has no cancel item.
  OpenMainWindowMenu();
  EXPECT_EQ(qt::OpenMenuLabels(), (std::vector<Text>{"显示搜索与歌词"_t, "添加文件…"_t}));
}

TEST_F(DownloadFlowTest, CancelRightAfterTheClickLeavesNoTaskAndNoFile) {
  const std::string body = MakeBody(5000, 13);
  LoopbackServer server([&](const Request& r) { return ServeBody(r, body); });
  Resolve(server.Url("/quick.mp3"), "快"_t);
  // Whether the cancel comes before or after the worker hands the task over, nothing runs on.
  for (int i = 0; i < 5; ++i) {
    ClickDownload();
    Song().CancelDownload();
    EXPECT_TRUE(Visible(ids::kDownloadButton));
    EXPECT_FALSE(Song().DownloadRunning());
  }
  ASSERT_TRUE(download::WaitForAllTasks(10000));
  EXPECT_FALSE(Song().Downloader().HasTask());
  EXPECT_EQ(MusicsEntries(), std::vector<std::string>{});
  EXPECT_EQ(TakeMessages(), std::vector<std::string>(5, "下载已取消。"));
}

TEST_F(DownloadFlowTest, AFileNamedMusicsIsReportedAndKept) {
  std::ofstream(Musics()) << "not a folder";
  Resolve("http://127.0.0.1:1/x.mp3", "x"_t);
  ClickDownload();
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{"下载失败：无法创建Musics文件夹。"});
  EXPECT_EQ(ReadFile(Musics()), "not a folder");
}

// What start-up clears from Musics: a part file nobody holds. One that another running
// instance holds (it keeps a lock on it) and every other file stay.
TEST_F(DownloadFlowTest, LeftoverPartFilesInMusicsGoButHeldOnesStay) {
  fs::create_directories(Musics());
  const fs::path stale = Musics() / ".晴天.mp3.k3x9a0qz.part";
  const fs::path held = Musics() / ".雨天.mp3.0a1b2c3d.part";
  std::ofstream(stale) << "left by a download that was killed";
  std::ofstream(held) << "still being written";
  std::ofstream(Musics() / "晴天.mp3") << "a song";
  const int holder = ::open(held.c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX), 0);
  download::RemoveLeftoverParts();
  for (int i = 0; i < 500 && fs::exists(stale); ++i) usleep(10000);
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_EQ(MusicsEntries(), (std::vector<std::string>{".雨天.mp3.0a1b2c3d.part", "晴天.mp3"}));
  ::close(holder);
}

// A failed download says why in a few words, not the engine's generic line.
TEST_F(DownloadFlowTest, AFailedDownloadGivesItsReason) {
  LoopbackServer not_found([](const Request&) {
    return Reply().Send(HeaderText("HTTP/1.1 404 Not Found", {"Content-Length: 0"}));
  });
  LoopbackServer broken([](const Request&) {
    return Reply().Send(HeaderText("HTTP/1.1 503 Service Unavailable", {"Content-Length: 0"}));
  });
  LoopbackServer limited([](const Request&) {
    return Reply().Send(HeaderText("HTTP/1.1 429 Too Many Requests", {"Content-Length: 0"}));
  });
  const download::testing::CertificateFiles& files = download::testing::TestCertificates();
  LoopbackServer untrusted([](const Request&) { return ServeBody({}, "abc"); },
                           {files.self_signed_certificate, files.self_signed_key});
  int refused_port;
  {
    LoopbackServer gone([](const Request&) { return Reply(); });
    refused_port = gone.port();
  }
  struct Case {
    std::string url;
    std::string message;
  } cases[] = {
      {not_found.Url("/gone.mp3"), "下载失败：服务器上找不到这个文件（404）。"},
      {broken.Url("/busy.mp3"), "下载失败：服务器出错（503）。"},
      {limited.Url("/often.mp3"), "下载失败：服务器限制了请求次数（429）。"},
      {untrusted.Url("/x.mp3"), "下载失败：服务器的证书无法验证。"},
      {"http://127.0.0.1:" + std::to_string(refused_port) + "/x.mp3", "下载失败：服务器拒绝连接。"},
  };
  {
    // The busy servers are asked again five times: 20 ms apart instead of up to a minute.
    download::EngineSettings quick_retries;
    quick_retries.retry_wait_ms = 20;
    Song().Downloader().set_engine_settings(quick_retries);
    for (const Case& c : cases) {
      Resolve(c.url, "坏"_t);
      ClickDownload();
      ASSERT_TRUE(WaitForIdle(60000));
      EXPECT_EQ(TakeMessages(), std::vector<std::string>{c.message}) << c.url;
    }
  }

  // A server that stops sending: the seconds the download waited for a byte.
  LoopbackServer stalls([](const Request& r) { return HalfThenStall(r); });
  {
    download::EngineSettings quick_stall;
    quick_stall.retry_wait_ms = 20;
    quick_stall.stall_limit_ms = 1000;
    Song().Downloader().set_engine_settings(quick_stall);
    Resolve(stalls.Url("/slow.mp3"), "慢"_t);
    ClickDownload();
    ASSERT_TRUE(WaitForIdle(60000));
    EXPECT_EQ(TakeMessages(), std::vector<std::string>{"下载失败：1秒没有收到数据。"});
  }
  EXPECT_EQ(MusicsEntries(), std::vector<std::string>{});
}

TEST_F(DownloadFlowTest, AFileTheDiskCannotHoldIsSaidSo) {
  const std::string body = MakeBody(300000, 3);
  LoopbackServer server([&](const Request& r) { return ServeBody(r, body); });
  struct sigaction ignore {
  }, saved{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &saved);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  rlimit small = old;
  small.rlim_cur = 100000;  // the file cannot grow to its size, as on a full disk
  setrlimit(RLIMIT_FSIZE, &small);
  Resolve(server.Url("/big.mp3"), "大"_t);
  ClickDownload();
  const bool idle = WaitForIdle(60000);
  setrlimit(RLIMIT_FSIZE, &old);
  sigaction(SIGXFSZ, &saved, nullptr);
  ASSERT_TRUE(idle);
  EXPECT_EQ(TakeMessages(),
            std::vector<std::string>{"下载失败：文件太大，超出磁盘或系统允许的大小。"});
}

// Downloads go to the data folder, and the message names it; only when that is the program's
// own folder does it keep the words "当前目录".
TEST_F(DownloadFlowTest, TheCompletionMessageNamesTheFolderTheFileIsIn) {
  const std::string body = MakeBody(3000, 4);
  LoopbackServer server([&](const Request& r) { return ServeBody(r, body); });
  Resolve(server.Url("/a.mp3"), "在此"_t);
  ClickDownload();
  ASSERT_TRUE(WaitForIdle());
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{Done()});
  EXPECT_EQ(ReadFile(Musics() / "在此.mp3"), body);

  const fs::path program_folder = runtime::Utf8FromText(runtime::RunDirectory());
  const bool had_musics = fs::exists(program_folder / "Musics");
  ASSERT_EQ(::chdir(program_folder.c_str()), 0);
  Resolve(server.Url("/b.mp3"), "程序旁"_t);
  ClickDownload();
  const bool idle = WaitForIdle();
  const std::string saved = ReadFile(program_folder / "Musics" / "程序旁.mp3");
  fs::remove(program_folder / "Musics" / "程序旁.mp3");
  if (!had_musics) fs::remove(program_folder / "Musics");
  ASSERT_EQ(::chdir(work_.c_str()), 0);
  ASSERT_TRUE(idle);
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{kDoneBesideTheProgram});
  EXPECT_EQ(saved, body);
}

TEST_F(DownloadFlowTest, ConfirmingExitDuringADownloadInTheFullViewEndsWithZero) {
  StopCollectingMessages();
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ::setenv("VOREL_FLOW_WORK", work_.c_str(), 1);
  EXPECT_EXIT(
      {
        LoopbackServer server([](const Request& r) { return HalfThenStall(r); });
        Resolve(server.Url("/a.mp3"), "退出"_t);
        ClickDownload();
        runtime::WaitProcessingEvents(
            [this] { return Song().Downloader().ReceivedBytes64() == 505; }, 20000);
        features()
            .full_view()
            .ShowFullView();  // the window slides away from its full height as well
        AnswerExitDialog(ids::kExitConfirm);
        runtime::WaitProcessingEvents([] { return false; }, 10000);
        std::_Exit(7);  // never reached when the program ends by itself
      },
      ::testing::ExitedWithCode(0), "");
  ::unsetenv("VOREL_FLOW_WORK");
  // The released task left nothing under the song's name.
  EXPECT_TRUE(
      runtime::WaitProcessingEvents([&] { return !fs::exists(Musics() / "退出.mp3"); }, 10000));
}

// A download object of its own, sharing the window with the test's one, started on `url`.
std::unique_ptr<download::SongDownload> StartedElsewhere(const std::string& url) {
  auto song = std::make_unique<download::SongDownload>(download::SongDownloadServices{
      .sound_source_url = [url] { return Text(url); },
      .sound_name = [] { return "别处"_t; },
  });
  song->OnDownloadClicked();
  return song;
}

TEST_F(DownloadFlowTest, ATaskEndingAfterItsDownloadObjectIsGoneShowsNothing) {
  LoopbackServer server([](const Request& r) { return HalfThenStall(r, 300); });
  std::unique_ptr<download::SongDownload> song = StartedElsewhere(server.Url("/a.mp3"));
  ASSERT_TRUE(song->DownloadRunning());
  // Gone while its start worker may still be connecting: the task, if it started, is stopped,
  // and its end finds nothing of it shown.
  song.reset();
  ASSERT_TRUE(download::WaitForAllTasks(10000));
  runtime::WaitProcessingEvents([] { return false; }, 100);
  EXPECT_EQ(TakeMessages(), std::vector<std::string>{});
  EXPECT_EQ(MusicsEntries(), std::vector<std::string>{});
}

TEST_F(DownloadFlowTest, TheExitRoutineLeavesADownloadObjectThatIsGoneAlone) {
  StopCollectingMessages();
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        LoopbackServer server([](const Request& r) { return HalfThenStall(r); });
        std::unique_ptr<download::SongDownload> song = StartedElsewhere(server.Url("/a.mp3"));
        runtime::WaitProcessingEvents([&] { return song->Downloader().ReceivedBytes64() == 505; },
                                      20000);
        song.reset();  // it registered the exit routine, which must not reach it now
        AnswerExitDialog(ids::kExitConfirm);
        runtime::WaitProcessingEvents([] { return false; }, 10000);
        std::_Exit(7);  // never reached when the program ends by itself
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace vorel::flow
