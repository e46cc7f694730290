// The media player interface driven as a desktop drives it: a client with its own connection to
// a private session bus calls methods and reads properties through QDBusInterface, while the
// player's real main window runs its events on this thread.

#include <QBuffer>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QObject>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <QWidget>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>
#include <limits>
#include <thread>

#include "app/desktop/desktop_bus.h"
#include "runtime/latest_work.h"
#include "runtime/testing.h"
#include "tests/desktop/mpris_fixture.h"
#include "tests/desktop/session_bus.h"
#include "tests/player_flow/flow_fixture.h"
#include "tests/testing/loopback_server.h"
#include "ui/qt/desktop.h"
#include "ui/qt/testing.h"

namespace vorel::flow {
namespace {

// Collects the player's PropertiesChanged signals on this (the user-interface) thread.
class ChangeLog : public QObject {
  Q_OBJECT
 public:
  explicit ChangeLog(const std::string& address, const char* connection_name = "watcher")
      : bus_(QDBusConnection::connectToBus(QString::fromStdString(address), connection_name)) {
    bus_.connect(desktop::kBusName, desktop::kObjectPath, "org.freedesktop.DBus.Properties",
                 "PropertiesChanged", this, SLOT(OnChanged(QString, QVariantMap, QStringList)));
  }
  std::vector<QVariantMap> changes;
  QDBusConnection& bus() { return bus_; }

 public slots:
  void OnChanged(const QString& iface, const QVariantMap& changed, const QStringList&) {
    if (iface == kPlayer) changes.push_back(changed);
  }

 private:
  QDBusConnection bus_;
};

TEST_F(MprisTest, PlayPauseTogglesAndPlaybackStatusFollows) {
  AddLongRows(2);
  AsDesktop([](Desktop& d) {
    EXPECT_EQ(d.Status(), "Stopped");
    EXPECT_EQ(d.Get("Identity", kRoot).toString(), "Vorel");
    EXPECT_EQ(d.Get("CanPlay").toBool(), true);
    EXPECT_EQ(ErrorOf(d.Call("PlayPause")), "");
    EXPECT_EQ(d.Status(), "Playing");
    d.Call("PlayPause");
    EXPECT_EQ(d.Status(), "Paused");
    d.Call("PlayPause");
    EXPECT_EQ(d.Status(), "Playing");
  });
  // The button's own routine ran: it reads as after a click.
  EXPECT_EQ(runtime::ReadTextProperty(ids::kMainWindow, ids::kPlayPauseButton, ids::kPropCaption),
            "暂停"_t);

  // A row started by a double-click leaves the button reading "播放"; a pause from the desktop
  // still pauses instead of starting the song over.
  Select(1);
  runtime::RaiseEvent(ids::kMainWindow, ids::kPlayList, runtime::kEventLeftDoubleClick);
  const std::uint32_t stream = player().State().current_stream;
  AsDesktop([](Desktop& d) {
    EXPECT_EQ(d.Status(), "Playing");
    d.Call("Pause");
    EXPECT_EQ(d.Status(), "Paused");
    d.Call("Pause");
    EXPECT_EQ(d.Status(), "Paused");
    d.Call("Play");
    EXPECT_EQ(d.Status(), "Playing");
  });
  EXPECT_EQ(player().State().current_stream, stream);  // resumed, not opened again
}

TEST_F(MprisTest, NextOnTheLastRowWrapsAsTheButtonDoes) {
  AddLongRows(2);
  Select(1);
  Click(ids::kPlayPauseButton);
  AsDesktop([](Desktop& d) {
    // "全部播放": the next button on the last row goes round to the first, so Next can act.
    EXPECT_EQ(d.Get("LoopStatus").toString(), "None");
    EXPECT_TRUE(d.Get("CanGoNext").toBool());
    EXPECT_TRUE(d.Get("CanGoPrevious").toBool());
    d.Call("Next");
    EXPECT_EQ(d.Status(), "Playing");
    EXPECT_EQ(d.Metadata().value("xesam:title").toString(), "0");
    d.Call("Previous");  // and back round from the first row to the last
    EXPECT_EQ(d.Metadata().value("xesam:title").toString(), "1");

    EXPECT_EQ(ErrorOf(d.Set("LoopStatus", QString("Playlist"))), "");
    d.Call("Next");
    EXPECT_EQ(d.Status(), "Playing");
    EXPECT_EQ(d.Metadata().value("xesam:title").toString(), "0");
  });
  EXPECT_EQ(playlist().CurrentPlayMode(), playlist::PlayMode::kLoopAll);
  EXPECT_EQ(runtime::ReadTextProperty(ids::kMainWindow, ids::kPlayModeButton, ids::kPropCaption),
            "全部循环"_t);
  EXPECT_EQ(Caption(), "0"_t);

  AsDesktop([](Desktop& d) {
    d.Set("Shuffle", true);
    EXPECT_TRUE(d.Get("Shuffle").toBool());
    d.Set("LoopStatus", QString("Track"));
    EXPECT_EQ(d.Get("LoopStatus").toString(), "Track");
    EXPECT_FALSE(d.Get("Shuffle").toBool());
    EXPECT_EQ(ErrorOf(d.Set("LoopStatus", QString("Sometimes"))),
              "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_EQ(ErrorOf(d.Set("Identity", QString("x"))),
              "org.freedesktop.DBus.Error.PropertyReadOnly");
  });
  EXPECT_EQ(playlist().CurrentPlayMode(), playlist::PlayMode::kSingleLoop);
}

TEST_F(MprisTest, MetadataFollowsTheSongAndChangesAreSignalled) {
  ChangeLog log(bus_->address());
  AddLocalRow(songs_ / "long.mp3", "第一首"_t);
  AddLocalRow(songs_ / "short1.mp3", "second"_t);
  Settle();
  log.changes.clear();
  AsDesktop([](Desktop& d) { d.Call("Play"); });
  // The rows above were written without an event, so their CanPlay may come in a signal of
  // its own, before the one that says the song plays.
  QVariantMap first;
  ASSERT_TRUE(runtime::WaitProcessingEvents(
      [&] {
        for (const QVariantMap& c : log.changes) {
          if (c.contains("PlaybackStatus")) first = c;
        }
        return !first.isEmpty();
      },
      5000));
  EXPECT_EQ(first.value("PlaybackStatus").toString(), "Playing");
  QVariantMap meta = qdbus_cast<QVariantMap>(first.value("Metadata").value<QDBusArgument>());
  EXPECT_EQ(meta.value("xesam:title").toString(), QString::fromUtf8("第一首"));
  EXPECT_EQ(meta.value("mpris:length").toLongLong(), 225'000'000);
  EXPECT_EQ(meta.value("xesam:url").toString(),
            QString::fromStdString("file://" + (songs_ / "long.mp3").string()));

  log.changes.clear();
  Click(ids::kNextButton);  // a click, not the desktop: the desktop still hears of it
  ASSERT_TRUE(runtime::WaitProcessingEvents(
      [&] {
        for (const QVariantMap& c : log.changes) {
          if (c.contains("Metadata")) return true;
        }
        return false;
      },
      5000));
  AsDesktop([&](Desktop& d) {
    QVariantMap now = d.Metadata();
    EXPECT_EQ(now.value("xesam:title").toString(), "second");
    EXPECT_NE(now.value("mpris:trackid").value<QDBusObjectPath>().path(),
              meta.value("mpris:trackid").value<QDBusObjectPath>().path());
  });
}

// Collects the Seeked signals on this thread.
class SeekLog : public QObject {
  Q_OBJECT
 public:
  explicit SeekLog(const std::string& address)
      : bus_(QDBusConnection::connectToBus(QString::fromStdString(address), "seeks")) {
    bus_.connect(desktop::kBusName, desktop::kObjectPath, kPlayer, "Seeked", this,
                 SLOT(OnSeeked(qlonglong)));
  }
  std::vector<qlonglong> positions;

 public slots:
  void OnSeeked(qlonglong position) { positions.push_back(position); }

 private:
  QDBusConnection bus_;
};

TEST_F(MprisTest, EverySeekIsAnnouncedWithSeeked) {
  SeekLog seeks(bus_->address());
  AddLongRows(1);
  Click(ids::kPlayPauseButton);
  HoldTimers();
  Settle(200);
  // A click with the mouse in the middle of the position slider.
  auto* slider =
      reinterpret_cast<QWidget*>(runtime::WindowHandle(ids::kMainWindow, ids::kPositionSlider));
  QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier,
                    QPoint(slider->width() / 2, slider->height() / 2));
  ASSERT_TRUE(runtime::WaitProcessingEvents([&] { return seeks.positions.size() == 1; }, 5000));
  EXPECT_NEAR(seeks.positions[0] / 1e6, 112.0, 8.0);
  // The keyboard's step and the desktop's own request.
  QTest::keyClick(
      reinterpret_cast<QWidget*>(runtime::WindowHandle(ids::kMainWindow, ids::kPlayPauseButton)),
      Qt::Key_Left);
  ASSERT_TRUE(runtime::WaitProcessingEvents([&] { return seeks.positions.size() == 2; }, 5000));
  EXPECT_NEAR((seeks.positions[0] - seeks.positions[1]) / 1e6, 5.0, 1.0);
  AsDesktop([](Desktop& d) { d.Call("Seek", {QVariant::fromValue<qlonglong>(-300'000'000)}); });
  ASSERT_TRUE(runtime::WaitProcessingEvents([&] { return seeks.positions.size() == 3; }, 5000));
  EXPECT_LT(seeks.positions[2], 1'000'000);
  Settle(200);
  EXPECT_EQ(seeks.positions.size(), 3u);  // once per seek
}

TEST_F(MprisTest, GdbusIntrospectDescribesThePlayer) {
  std::string out;
  std::thread client([&] {
    const std::string command = "DBUS_SESSION_BUS_ADDRESS='" + bus_->address() +
                                "' gdbus introspect --session --dest " + desktop::kBusName +
                                " --object-path " + desktop::kObjectPath + " 2>&1";
    FILE* p = ::popen(command.c_str(), "r");
    char buf[4096];
    for (std::size_t n; p && (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    if (p) ::pclose(p);
  });
  std::atomic<bool> done{false};
  std::thread waiter([&] {
    client.join();
    done = true;
  });
  ASSERT_TRUE(runtime::WaitProcessingEvents([&] { return done.load(); }, 30000));
  waiter.join();
  EXPECT_NE(out.find("interface org.mpris.MediaPlayer2.Player"), std::string::npos) << out;
  EXPECT_NE(out.find("interface org.freedesktop.DBus.Properties"), std::string::npos);
  EXPECT_NE(out.find("Seeked("), std::string::npos);
  EXPECT_NE(out.find("readonly b CanGoNext"), std::string::npos);
}

TEST_F(MprisTest, MetadataTakesTheSongsOwnTags) {
  // A tone with a tag and a cover, as a ripper writes them.
  ::setenv("XDG_CACHE_HOME", (work_ / "cache").c_str(), 1);
  const fs::path tagged = work_ / "tagged.mp3";
  const fs::path cover = work_ / "cover.png";
  const std::string make_cover =
      "ffmpeg -loglevel error -y -f lavfi -i color=c=red:s=16x16 -frames:v 1 '" + cover.string() +
      "'";
  ASSERT_EQ(std::system(make_cover.c_str()), 0);
  const std::string make_song =
      "ffmpeg -loglevel error -y -f lavfi -i sine=frequency=440:duration=30 -i '" + cover.string() +
      "' -map 0 -map 1 -c:a libmp3lame -b:a 64k -c:v copy -id3v2_version 3"
      " -metadata title='晴天' -metadata artist='周同学' -metadata album='叶惠美'"
      " -metadata:s:v comment='Cover (front)' '" +
      tagged.string() + "'";
  ASSERT_EQ(std::system(make_song.c_str()), 0);
  AddLocalRow(tagged, "tagged.mp3"_t);
  AddLocalRow(songs_ / "long.mp3", "no tags"_t);
  Click(ids::kPlayPauseButton);
  AsDesktop([&](Desktop& d) {
    QVariantMap m = d.Metadata();
    EXPECT_EQ(m.value("xesam:title").toString(), QString::fromUtf8("晴天"));
    EXPECT_EQ(m.value("xesam:artist").toStringList(), QStringList{QString::fromUtf8("周同学")});
    EXPECT_EQ(m.value("xesam:album").toString(), QString::fromUtf8("叶惠美"));
    const QString art = m.value("mpris:artUrl").toString();
    ASSERT_TRUE(art.startsWith("file:///")) << art.toStdString();
    std::ifstream copy(QUrl(art).toLocalFile().toStdString(), std::ios::binary);
    std::ifstream original(cover, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copy), {}),
              std::string(std::istreambuf_iterator<char>(original), {}));
    d.Call("Next");
    m = d.Metadata();
    EXPECT_EQ(m.value("xesam:title").toString(), "no tags");  // the row's title, as before
    EXPECT_FALSE(m.contains("xesam:artist"));
    EXPECT_FALSE(m.contains("mpris:artUrl"));
  });
}

// A change reaches the desktop as soon as the routine that made it has run: after the click,
// this thread runs only the work already queued (no timer) and then waits without running
// anything, while a listener on a thread of its own waits for the signal.
TEST_F(MprisTest, AChangeIsAnnouncedWithoutWaitingForATimer) {
  AddLongRows(2);
  Select(0);
  Settle();
  std::promise<void> listening;
  std::promise<QString> heard;
  std::thread listener([&] {
    QEventLoop loop;  // gives this thread the event dispatcher that delivers the signals
    ChangeLog log(bus_->address(), "listener");
    // A round trip to the bus after subscribing: the subscription is in force from here on.
    log.bus().interface()->isServiceRegistered(desktop::kBusName);
    listening.set_value();
    for (int i = 0; i < 2000; ++i) {
      loop.processEvents(QEventLoop::AllEvents, 10);
      for (const QVariantMap& c : log.changes) {
        if (c.contains("PlaybackStatus")) {
          heard.set_value(c.value("PlaybackStatus").toString());
          return;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    heard.set_value("nothing heard");
  });
  std::future<void> ready = listening.get_future();
  ASSERT_TRUE(runtime::WaitProcessingEvents(
      [&] { return ready.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 10000));

  Click(ids::kPlayPauseButton);
  QCoreApplication::sendPostedEvents();
  std::future<QString> status = heard.get_future();
  status.wait();  // the listener gives up by itself when nothing comes
  listener.join();
  EXPECT_EQ(status.get(), "Playing");
}

TEST_F(MprisTest, VolumeRoundTripsThroughTheVolumeBar) {
  AddLongRows(1);
  Click(ids::kPlayPauseButton);
  AsDesktop([](Desktop& d) {
    EXPECT_DOUBLE_EQ(d.Get("Volume").toDouble(), 1.0);
    EXPECT_EQ(ErrorOf(d.Set("Volume", 0.25)), "");
  });
  EXPECT_EQ(BarPosition(), 25);
  // The bar's own routine ran, as after a drag.
  EXPECT_EQ(TimeLabel(), "当前音量：25%"_t);

  runtime::WriteProperty(ids::kMainWindow, ids::kVolumeBar, ids::kPropPosition, 70);
  runtime::RaiseEvent(ids::kMainWindow, ids::kVolumeBar, runtime::kEventClicked);
  AsDesktop([](Desktop& d) {
    EXPECT_DOUBLE_EQ(d.Get("Volume").toDouble(), 0.7);
    // Not a number: refused, nothing moves. Out of range: clamped.
    EXPECT_EQ(ErrorOf(d.Set("Volume", std::numeric_limits<double>::quiet_NaN())),
              "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_DOUBLE_EQ(d.Get("Volume").toDouble(), 0.7);
    EXPECT_EQ(ErrorOf(d.Set("Volume", QString("loud"))), "org.freedesktop.DBus.Error.InvalidArgs");
    d.Set("Volume", 7.5);
    EXPECT_DOUBLE_EQ(d.Get("Volume").toDouble(), 1.0);
    d.Set("Volume", -2.0);
    EXPECT_DOUBLE_EQ(d.Get("Volume").toDouble(), 0.0);
  });
  EXPECT_EQ(BarPosition(), 0);
}

TEST_F(MprisTest, RaiseShowsAHiddenOrMinimisedWindow) {
  auto visible = [] {
    return runtime::ReadIntProperty(ids::kMainWindow, ids::kMainWindowSelf, ids::kPropVisible);
  };
  runtime::WriteProperty(ids::kMainWindow, ids::kMainWindowSelf, ids::kPropVisible, false);
  AsDesktop([](Desktop& d) {
    EXPECT_TRUE(d.Get("CanRaise", kRoot).toBool());
    EXPECT_EQ(ErrorOf(d.Call("Raise", {}, kRoot)), "");
  });
  EXPECT_NE(visible(), 0);

  // Without a tray (as here) the hide button minimises the window.
  Click(ids::kHideButton);
  ASSERT_TRUE(qt::WindowMinimised(ids::kMainWindow, ids::kMainWindowSelf));
  AsDesktop([](Desktop& d) { d.Call("Raise", {}, kRoot); });
  EXPECT_FALSE(qt::WindowMinimised(ids::kMainWindow, ids::kMainWindowSelf));
  EXPECT_NE(visible(), 0);
}

TEST_F(MprisTest, OpenUriAppendsAndPlaysAndRefusesWhatItCannotOpen) {
  AddLongRows(1);
  const QString song = QString::fromStdString("file://" + (songs_ / "short2.mp3").string());
  AsDesktop([&](Desktop& d) {
    EXPECT_EQ(ErrorOf(d.Call("OpenUri", {song})), "");
    EXPECT_EQ(d.Status(), "Playing");
    EXPECT_EQ(d.Metadata().value("xesam:url").toString(), song);
    EXPECT_EQ(ErrorOf(d.Call("OpenUri", {QString("file:///no/such/song.mp3")})),
              "org.freedesktop.DBus.Error.FileNotFound");
    EXPECT_EQ(ErrorOf(d.Call("OpenUri", {QString("ftp://127.0.0.1/a.mp3")})),
              "org.freedesktop.DBus.Error.NotSupported");
    EXPECT_EQ(ErrorOf(d.Call("OpenUri", {QString("file:///tmp")})),
              "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_EQ(ErrorOf(d.Call("OpenUri", {QString("song.mp3")})),
              "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_EQ(ErrorOf(d.Call("OpenUri", {42})), "org.freedesktop.DBus.Error.InvalidArgs");
  });
  ASSERT_EQ(Rows(), 2);
  EXPECT_EQ(runtime::GetCellText(ids::kMainWindow, ids::kPlayList, 1, 0), "本地文件"_t);
  EXPECT_EQ(runtime::GetCellText(ids::kMainWindow, ids::kPlayList, 1, 2), "short2.mp3"_t);
  EXPECT_EQ(Selected(), 1);
}

TEST_F(MprisTest, PositionRequestsOutsideTheSongAreRefusedOrBounded) {
  AddLongRows(2);
  Click(ids::kPlayPauseButton);
  HoldTimers();
  AsDesktop([](Desktop& d) {
    const QVariant track = d.Metadata().value("mpris:trackid");
    const QDBusObjectPath path = track.value<QDBusObjectPath>();
    EXPECT_EQ(ErrorOf(d.Call("SetPosition", {QVariant::fromValue(path), qlonglong(60'000'000)})),
              "");
    const qlonglong at = d.Get("Position").toLongLong();
    EXPECT_GE(at, 60'000'000);
    EXPECT_LT(at, 62'000'000);
    // Another track's id, a negative position, one past the end: refused, nothing moves.
    QDBusObjectPath stale("/org/vorel/Vorel/track/1");
    EXPECT_EQ(ErrorOf(d.Call("SetPosition", {QVariant::fromValue(stale), qlonglong(0)})),
              "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_EQ(ErrorOf(d.Call("SetPosition", {QVariant::fromValue(path), qlonglong(-1)})),
              "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_EQ(ErrorOf(d.Call("SetPosition", {QVariant::fromValue(path), qlonglong(226'000'000)})),
              "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_GE(d.Get("Position").toLongLong(), 60'000'000);
    // Seeking before the start lands on the start; past the end moves to the next song.
    d.Call("Seek", {qlonglong(-3'600'000'000)});
    EXPECT_LT(d.Get("Position").toLongLong(), 2'000'000);
    d.Call("Seek", {qlonglong(3'600'000'000)});
    EXPECT_EQ(d.Metadata().value("xesam:title").toString(), "1");
    EXPECT_EQ(ErrorOf(d.Call("Seek", {QString("soon")})), "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_EQ(ErrorOf(d.Call("Dance")), "org.freedesktop.DBus.Error.UnknownMethod");
  });
  EXPECT_EQ(Rows(), 2);
  EXPECT_EQ(player().State().current_entry_index, 1);
}

TEST_F(MprisTest, AStreamOfUnknownLengthCannotBePositioned) {
  // The song without its first 2 KiB (tags and the header frame that tells its length), sent
  // without a Content-Length and kept open: nobody can know where it ends.
  std::ifstream in(songs_ / "long.mp3", std::ios::binary);
  std::string body((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  body.erase(0, 2048);
  vorel::testing::LoopbackServer server([&](const vorel::testing::Request&) {
    return vorel::testing::Reply()
        .Send("HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n" + body.substr(0, 65536))
        .Stall();
  });
  const std::string address = server.Url("/live.mp3");
  int row = runtime::InsertRow(ids::kMainWindow, ids::kPlayList, std::nullopt, "网络文件"_t);
  runtime::SetCellText(ids::kMainWindow, ids::kPlayList, row, 1, runtime::TextFromUtf8(address));
  runtime::SetCellText(ids::kMainWindow, ids::kPlayList, row, 2, "live"_t);
  Click(ids::kPlayPauseButton);
  ASSERT_TRUE(runtime::WaitUntilNoWorkPending(20000));  // the stream opens on a worker
  HoldTimers();
  AsDesktop([&](Desktop& d) {
    ASSERT_EQ(d.Status(), "Playing");
    QVariantMap meta = d.Metadata();
    EXPECT_EQ(meta.value("xesam:url").toString(), QString::fromStdString(address));
    EXPECT_FALSE(meta.contains("mpris:length"));
    EXPECT_FALSE(d.Get("CanSeek").toBool());
    const QDBusObjectPath path = meta.value("mpris:trackid").value<QDBusObjectPath>();
    EXPECT_EQ(ErrorOf(d.Call("SetPosition", {QVariant::fromValue(path), qlonglong(1'000'000)})),
              "org.freedesktop.DBus.Error.NotSupported");
    d.Call("Seek", {qlonglong(5'000'000)});
    EXPECT_EQ(d.Status(), "Playing");
    EXPECT_EQ(d.Metadata().value("mpris:trackid").value<QDBusObjectPath>(), path);
  });
  player().StopPlayback();
}

TEST_F(MprisTest, TrayMenuItemsRunThePlayersRoutines) {
  AddLongRows(2);
  // Play/pause, then next, each chosen with the mouse in the tray menu.
  ASSERT_TRUE(qt::ClickTrayMenuItem(1));
  EXPECT_EQ(StreamState(), player::audio::kPlaying);
  EXPECT_EQ(Caption(), "0"_t);
  ASSERT_TRUE(qt::ClickTrayMenuItem(3));
  EXPECT_EQ(player().State().current_entry_index, 1);
  ASSERT_TRUE(qt::ClickTrayMenuItem(2));
  EXPECT_EQ(player().State().current_entry_index, 0);
  ASSERT_TRUE(qt::ClickTrayMenuItem(1));
  EXPECT_EQ(StreamState(), player::audio::kPaused);
  // Show/hide: hides (here: minimises, there being no tray) and shows again.
  ASSERT_TRUE(qt::ClickTrayMenuItem(0));
  EXPECT_TRUE(qt::WindowMinimised(ids::kMainWindow, ids::kMainWindowSelf));
  ASSERT_TRUE(qt::ClickTrayMenuItem(0));
  EXPECT_FALSE(qt::WindowMinimised(ids::kMainWindow, ids::kMainWindowSelf));
  EXPECT_FALSE(qt::ClickTrayMenuItem(5));
}

// A player's object and name on the bus and its tray menu go with its features: the desktop
// then finds no player at all (no call reaches a destroyed one), and the next player publishes
// afresh on the same connection.
TEST_F(MprisTest, ThePlayerLeavesTheBusAndTheTrayWithItsFeatures) {
  AsDesktop([](Desktop& d) { EXPECT_EQ(d.Status(), "Stopped"); });
  runtime::ResetWindows();
  features_.reset();
  AsDesktop([](Desktop& d) {
    EXPECT_EQ(ErrorOf(d.Call("PlayPause")), "org.freedesktop.DBus.Error.ServiceUnknown");
  });
  EXPECT_FALSE(qt::ClickTrayMenuItem(1));

  SetUp();  // a new player, as the next test makes
  AsDesktop([](Desktop& d) { EXPECT_EQ(d.Status(), "Stopped"); });
  EXPECT_TRUE(qt::ClickTrayMenuItem(0));
}

TEST_F(MprisTest, OpenUriOfASlowStreamIsAnsweredAtOnceAndPlaysWhenItComes) {
  // The stream's server answers 2 s late; the desktop's call must not wait for it.
  std::ifstream in(songs_ / "long.mp3", std::ios::binary);
  const std::string song((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  vorel::testing::LoopbackServer server([&](const vorel::testing::Request&) {
    return vorel::testing::Reply().Pause(2000).Send(
        vorel::testing::HeaderText("HTTP/1.1 200 OK",
                                   {"Content-Length: " + std::to_string(song.size())}) +
        song);
  });
  double answer_ms = -1;
  AsDesktop([&](Desktop& d) {
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(ErrorOf(d.Call("OpenUri", {QString::fromStdString(server.Url("/slow.mp3"))})), "");
    answer_ms = clock.nsecsElapsed() / 1e6;
  });
  EXPECT_LT(answer_ms, 1000.0);
  EXPECT_EQ(Rows(), 1);
  EXPECT_NE(StreamState(), player::audio::kPlaying);
  EXPECT_TRUE(runtime::WaitProcessingEvents(
      [&] { return StreamState() == player::audio::kPlaying; }, 20000));
  player().StopPlayback();
}

// A 10 ms timer on this thread measuring its own lateness: the longest time the window could not
// paint or take input. `tick` runs at each tick, to note what the window shows.
class StallMeter {
 public:
  explicit StallMeter(std::function<void()> tick = nullptr) : tick_(std::move(tick)) {
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      longest_ms_ = std::max(longest_ms_, since_.nsecsElapsed() / 1e6 - 10.0);
      since_.restart();
      if (tick_) tick_();
    });
    since_.start();
    timer_.start(10);
  }
  double longest_ms() const { return longest_ms_; }

 private:
  std::function<void()> tick_;
  QTimer timer_;
  QElapsedTimer since_;
  double longest_ms_ = 0;
};

TEST_F(MprisTest, SlowServersLeaveTheWindowAndTheMediaKeysAnswering) {
  // The sound service answers everything 2 s late: the record, the cover, the stream.
  constexpr int kLate = 2000;
  QImage image(8, 8, QImage::Format_RGB32);
  image.fill(qRgb(0, 0, 255));
  QByteArray png_bytes;
  QBuffer buffer(&png_bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  const std::string png = png_bytes.toStdString();
  std::ifstream in(songs_ / "long.mp3", std::ios::binary);
  const std::string song((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string record;
  vorel::testing::LoopbackServer server([&](const vorel::testing::Request& r) {
    auto late = [&](const std::string& type, const std::string& body) {
      return vorel::testing::Reply().Pause(kLate).Send(
          vorel::testing::HeaderText(
              "HTTP/1.1 200 OK",
              {"Content-Type: " + type, "Content-Length: " + std::to_string(body.size()),
               "Connection: close"}) +
          body);
    };
    if (r.target.starts_with("/cover.png")) return late("image/png", png);
    if (r.target.starts_with("/song.mp3")) return late("audio/mpeg", song);
    return late("application/json; charset=utf-8", record);
  });
  const std::string here = "http:\\/\\/127.0.0.1:" + std::to_string(server.port());
  record = "{\"pic\":\"" + here + "\\/cover.png\",\"source\":\"" + here +
           "\\/song.mp3\",\"name\":\"Late\",\"id\":\"22\"}";
  setenv("VOREL_SOUND_API_HOST", ("127.0.0.1:" + std::to_string(server.port())).c_str(), 1);

  // A media key pressed while the record is on its way, from the desktop's own connection.
  std::atomic<double> answer_ms{-1};
  std::thread desktop([&] {
    if (!server.WaitForRequests(1, 10000)) return;
    Desktop d(bus_->address());
    QElapsedTimer clock;
    clock.start();
    d.Call("Pause");
    answer_ms = clock.nsecsElapsed() / 1e6;
  });

  // When each effect was first seen, in ticks of the meter.
  int tick = 0, row_at = -1, caption_at = -1, cover_at = -1, playing_at = -1;
  auto note = [&](int& at, bool seen) {
    if (at < 0 && seen) at = tick;
  };
  StallMeter meter([&] {
    ++tick;
    note(row_at, Rows() == 1);
    note(caption_at, Caption() == "Late"_t);
    runtime::Bytes cover =
        runtime::ReadBytesProperty(ids::kMainWindow, ids::kCoverPicture, ids::kPropPicture);
    note(cover_at, std::string(cover.begin(), cover.end()) == png);
    note(playing_at, StreamState() == player::audio::kPlaying);
  });
  runtime::WriteProperty(ids::kMainWindow, ids::kAddressBox, ids::kPropCaption,
                         "http://sound.example/sound/22");
  ASSERT_TRUE(qt::ClickControl(ids::kMainWindow, ids::kResolveButton));  // the real mouse
  EXPECT_TRUE(runtime::WaitProcessingEvents(
      [&] { return playing_at >= 0 && answer_ms >= 0 && !runtime::WorkPending(); }, 30000));
  desktop.join();
  unsetenv("VOREL_SOUND_API_HOST");

  EXPECT_LT(meter.longest_ms(), 300.0);
  EXPECT_GE(answer_ms.load(), 0.0);
  EXPECT_LT(answer_ms.load(), 1000.0);
  // What a person sees comes in its usual order: the row (with its caption and cover), then the
  // song playing; the cover fetched for the playing row keeps the picture.
  EXPECT_EQ(Rows(), 1);
  EXPECT_GE(row_at, 0);
  EXPECT_LE(row_at, playing_at);
  EXPECT_LE(caption_at, playing_at);
  EXPECT_LE(cover_at, playing_at);
  EXPECT_EQ(StreamState(), player::audio::kPlaying);
  // The record, the cover, the stream's status and the stream, the playing row's cover.
  EXPECT_EQ(server.Requests().size(), 5u);
  player().StopPlayback();
}

}  // namespace
}  // namespace vorel::flow

#include "mpris_test.moc"
