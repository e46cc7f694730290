// Callers on the session bus that send what no desktop should: huge or malformed addresses,
// values of the wrong type or outside any sense, another track's id, wrong signatures. Each
// gets a D-Bus error or is ignored; the player keeps answering, and its list, volume and play
// mode stay as they were.

#include <sys/stat.h>

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QStringList>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "app/desktop/media_control.h"
#include "tests/desktop/mpris_fixture.h"

namespace vorel::flow {
namespace {

constexpr char kInvalidArgs[] = "org.freedesktop.DBus.Error.InvalidArgs";
constexpr char kNotSupported[] = "org.freedesktop.DBus.Error.NotSupported";
constexpr char kFileNotFound[] = "org.freedesktop.DBus.Error.FileNotFound";
constexpr char kReadOnly[] = "org.freedesktop.DBus.Error.PropertyReadOnly";
constexpr char kUnknownMethod[] = "org.freedesktop.DBus.Error.UnknownMethod";
constexpr char kProperties[] = "org.freedesktop.DBus.Properties";
constexpr int kLongestMessage = 600;

// What a refused call must leave as it was.
struct PlayerState {
  int rows = 0;
  int selected = -1;
  int current = -1;
  std::uint32_t stream = 0;
  int volume = 0;
  playlist::PlayMode mode{};
  Text caption;
  bool operator==(const PlayerState&) const = default;
};

class HostileCallerTest : public MprisTest {
 protected:
  void SetUp() override {
    MprisTest::SetUp();
    AddLongRows(3);
    Select(1);
    Click(ids::kPlayPauseButton);
    HoldTimers();
    ASSERT_EQ(StreamState(), player::audio::kPlaying);
  }

  PlayerState State() {
    return {Rows(),
            Selected(),
            player().State().current_entry_index,
            player().State().current_stream,
            BarPosition(),
            playlist().CurrentPlayMode(),
            Caption()};
  }

  // The player still answers, and plays what it played.
  static void StillAnswers(Desktop& d) {
    QDBusMessage ping = d.Send("org.freedesktop.DBus.Peer", "Ping", {});
    EXPECT_EQ(ping.type(), QDBusMessage::ReplyMessage) << ping.errorMessage().toStdString();
    EXPECT_EQ(d.Status(), "Playing");
  }

  static std::string Refusal(const QDBusMessage& m) {
    if (m.type() != QDBusMessage::ErrorMessage) return "(accepted)";
    EXPECT_LE(m.errorMessage().toUtf8().size(), kLongestMessage) << m.errorName().toStdString();
    return m.errorName().toStdString();
  }
};

TEST_F(HostileCallerTest, MalformedOrHugeOpenUriAddsNothing) {
  const std::string fifo = (work_ / "pipe.mp3").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const std::string big(4 << 20, 'a');
  const std::vector<std::pair<std::string, const char*>> cases = {
      {"", kInvalidArgs},
      {"file://", kNotSupported},  // no path: nothing on this computer
      {"file:///%", kInvalidArgs},
      {"file:///%zz.mp3", kInvalidArgs},
      {"file:///a%00b.mp3", kInvalidArgs},
      {"file:///%FF%FE.mp3", kInvalidArgs},
      {"file://elsewhere/x.mp3", kNotSupported},
      {"file:///no/such/song.mp3", kFileNotFound},
      {"file://" + fifo, kInvalidArgs},
      {"file:///dev/null", kInvalidArgs},
      {"file://" + work_.string(), kInvalidArgs},
      {"/etc/passwd", kInvalidArgs},
      {"javascript:alert(1)", kInvalidArgs},
      {"smb://host/share/x.mp3", kNotSupported},
      {"http://", kInvalidArgs},
      {"http://127.0.0.1:9/a b.mp3", kInvalidArgs},
      {"http://127.0.0.1:9/\r\nHost: x", kInvalidArgs},
      {"file:///" + big, kInvalidArgs},
      {"http://127.0.0.1:9/" + big, kInvalidArgs},
  };
  const PlayerState before = State();
  AsDesktop([&](Desktop& d) {
    for (const auto& [uri, error] : cases) {
      EXPECT_EQ(Refusal(d.Call("OpenUri", {QString::fromStdString(uri)})), error)
          << uri.substr(0, 60);
    }
    StillAnswers(d);
  });
  EXPECT_EQ(State(), before);
}

TEST_F(HostileCallerTest, PropertyValuesOfTheWrongKindChangeNothing) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const std::vector<std::pair<QString, QVariant>> wrong = {
      {"Volume", nan},
      {"Volume", inf},
      {"Volume", -inf},
      {"Volume", 1},
      {"Volume", QString("0.5")},
      {"Volume", true},
      {"Volume", QVariant::fromValue(QDBusVariant(0.5))},
      {"LoopStatus", QString("Sometimes")},
      {"LoopStatus", QString("")},
      {"LoopStatus", QString("none")},
      {"LoopStatus", QString(1 << 20, QChar('T'))},
      {"LoopStatus", 1},
      {"Shuffle", QString("true")},
      {"Shuffle", 1},
      {"Shuffle", 1.0},
      {"Shuffle", QStringList{"true"}},
      {"Shuffle", QVariant::fromValue(QDBusVariant(true))},
      {"Rate", QString("1.0")},
  };
  const PlayerState before = State();
  AsDesktop([&](Desktop& d) {
    for (const auto& [property, value] : wrong) {
      EXPECT_EQ(Refusal(d.Set(property, value)), kInvalidArgs)
          << property.toStdString() << " = " << value.toString().left(20).toStdString();
    }
    EXPECT_EQ(Refusal(d.Set("Rate", 2.0)), kNotSupported);
    EXPECT_EQ(Refusal(d.Set("Rate", nan)), kNotSupported);
    EXPECT_EQ(Refusal(d.Set("Position", qlonglong(0))), kReadOnly);
    EXPECT_EQ(Refusal(d.Set("Metadata", QVariantMap())), kReadOnly);
    auto as_variant = [](const QVariant& v) { return QVariant::fromValue(QDBusVariant(v)); };
    EXPECT_EQ(Refusal(d.Send(kProperties, "Set",
                             {QString(kRoot), QString("Identity"), as_variant(QString("x"))})),
              kReadOnly);
    EXPECT_EQ(Refusal(d.Send(kProperties, "Set", {QString(kPlayer), QString("Volume")})),
              kInvalidArgs);
    EXPECT_EQ(Refusal(d.Send(kProperties, "Set", {QString(kPlayer), QString("Volume"), 0.5})),
              kInvalidArgs);  // a double where a variant belongs
    EXPECT_DOUBLE_EQ(d.Get("Volume").toDouble(), 1.0);
    EXPECT_EQ(d.Get("LoopStatus").toString(), "None");
    EXPECT_FALSE(d.Get("Shuffle").toBool());
    StillAnswers(d);
  });
  EXPECT_EQ(State(), before);
}

TEST_F(HostileCallerTest, PositionsAndOffsetsAtTheEndsOfTheirRange) {
  constexpr qlonglong kMax = std::numeric_limits<qlonglong>::max();
  constexpr qlonglong kMin = std::numeric_limits<qlonglong>::min();
  const PlayerState before = State();
  AsDesktop([&](Desktop& d) {
    const QDBusObjectPath track = d.Metadata().value("mpris:trackid").value<QDBusObjectPath>();
    const QVariant no_track = QVariant::fromValue(QDBusObjectPath(desktop::kNoTrack));
    const QVariant other = QVariant::fromValue(QDBusObjectPath(track.path() + QString::number(7)));
    for (const QVariant& id : {no_track, other}) {
      for (qlonglong at : {qlonglong(0), kMax, kMin}) {
        EXPECT_EQ(Refusal(d.Call("SetPosition", {id, at})), kInvalidArgs);
      }
    }
    for (qlonglong at : {kMax, kMin, qlonglong(-1)}) {
      EXPECT_EQ(Refusal(d.Call("SetPosition", {QVariant::fromValue(track), at})), kInvalidArgs);
    }
    EXPECT_EQ(Refusal(d.Send(kPlayer, "SetPosition", {QString(track.path()), qlonglong(0)})),
              kInvalidArgs);  // a string where an object path belongs
    StillAnswers(d);
  });
  EXPECT_EQ(State(), before);

  AsDesktop([&](Desktop& d) {
    // The largest offsets back and forth: the start of the song, and the next song, without
    // the sum wrapping round.
    d.Call("Seek", {qlonglong(60'000'000)});
    EXPECT_GE(d.Get("Position").toLongLong(), 60'000'000);
    d.Call("Seek", {kMin});
    EXPECT_LT(d.Get("Position").toLongLong(), 2'000'000);
    d.Call("Seek", {kMax});
    EXPECT_EQ(d.Metadata().value("xesam:title").toString(), "2");
  });
  EXPECT_EQ(Rows(), before.rows);
}

TEST_F(HostileCallerTest, HandOverTakesOnlyWhatItCanOpen) {
  const std::string song = (songs_ / "short1.mp3").string();
  const QStringList items = {
      "",
      "short1.mp3",  // not absolute: nothing to resolve it against
      QString::fromStdString("/no/such/" + std::string(1 << 20, 'x') + ".mp3"),
      QString::fromStdString(work_.string()),
      "/dev/null",
      "ftp://127.0.0.1/x.mp3",
      QString::fromStdString(song),
      "http://127.0.0.1:9/a b.mp3",
  };
  const int rows = Rows();
  AsDesktop([&](Desktop& d) {
    QDBusMessage reply = d.Send("org.vorel.Vorel", "Open", {items});
    ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage);
    const QStringList refused = reply.arguments().at(0).toStringList();
    EXPECT_EQ(refused.size(), items.size() - 1);
    for (const QString& line : refused) {
      EXPECT_TRUE(line.startsWith("vorel: "));
      EXPECT_LE(line.toUtf8().size(), kLongestMessage);
    }
    EXPECT_EQ(Refusal(d.Send("org.vorel.Vorel", "Open", {QString::fromStdString(song)})),
              kInvalidArgs);
    EXPECT_EQ(Refusal(d.Send("org.vorel.Vorel", "Open", {QStringList()})), "(accepted)");
  });
  ASSERT_EQ(Rows(), rows + 1);
  EXPECT_EQ(runtime::GetCellText(ids::kMainWindow, ids::kPlayList, rows, 1), PathText(song));
  EXPECT_EQ(Selected(), rows);  // the one item taken plays
}

TEST_F(HostileCallerTest, WrongSignaturesAndUnknownNamesAreRefused) {
  const PlayerState before = State();
  AsDesktop([&](Desktop& d) {
    EXPECT_EQ(Refusal(d.Send(kPlayer, "Play", {QString("now")})), kInvalidArgs);
    EXPECT_EQ(Refusal(d.Send(kPlayer, "Next", {1, 2})), kInvalidArgs);
    EXPECT_EQ(Refusal(d.Send(kPlayer, "OpenUri", {QStringList{"file:///x.mp3"}})), kInvalidArgs);
    EXPECT_EQ(Refusal(d.Send(kPlayer, "OpenUri", {})), kInvalidArgs);
    EXPECT_EQ(Refusal(d.Send(kPlayer, "Seek", {1.5})), kInvalidArgs);
    EXPECT_EQ(Refusal(d.Send(kRoot, "Quit", {true})), kUnknownMethod);
    EXPECT_EQ(Refusal(d.Send("org.example.Player", "Play", {})), kUnknownMethod);
    EXPECT_EQ(Refusal(d.Send(kProperties, "Get", {QString(kPlayer), QString("Loudness")})),
              kInvalidArgs);
    EXPECT_EQ(Refusal(d.Send(kProperties, "GetAll", {QString("org.example.Player")})),
              kInvalidArgs);
    EXPECT_EQ(Refusal(d.Send(kProperties, "GetAll", {})), kInvalidArgs);
    const QDBusMessage elsewhere = d.Send(kPlayer, "Pause", {}, "/org/mpris/MediaPlayer2/x");
    EXPECT_EQ(elsewhere.type(), QDBusMessage::ErrorMessage);
    StillAnswers(d);
  });
  EXPECT_EQ(State(), before);
}

}  // namespace
}  // namespace vorel::flow
