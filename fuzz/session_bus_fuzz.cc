// libFuzzer target: what other programs may send the player over the session bus. The player
// runs with its real main window (offscreen, silent output) and owns its name on a private
// dbus-daemon; each input becomes one method call from a second connection: OpenUri, the
// hand-over of a second start's items (Open), SetPosition, Seek, property sets of Volume,
// LoopStatus, Shuffle and Rate with values of any type, property reads, the plain player
// methods, or any name with any arguments.
//   - Every call is answered, with a reply or a D-Bus error: the player neither crashes nor
//     stops answering.
//   - A refused call changes nothing: rows, volume and play mode stay.
//   - Only OpenUri and Open add rows: OpenUri one when it succeeds, Open one per item it does
//     not refuse; refusals are short lines, one per refused item.
//   - Volume stays a number from 0 to 1 and LoopStatus one of its three names; an accepted set
//     of Volume, LoopStatus or Shuffle leaves the player as asked.
// Inputs never reach the network: an http(s) address is pointed at a closed local port.

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "app/desktop/desktop_bus.h"
#include "app/desktop/media_control.h"
#include "app/features.h"
#include "app/window_set.h"
#include "fuzz/fuzz_check.h"
#include "player/player.h"
#include "playlist/playlist.h"
#include "runtime/bridge.h"
#include "runtime/window_ops.h"
#include "tests/desktop/session_bus.h"
#include "tests/testing/tone.h"
#include "ui/qt/qt_ui.h"
#include "windows/window_ids.h"

// Qt's bus connections and type registry live as long as the process, so leak checks at the
// end of a run report them; this target is about the bus's answers, and the sanitizer test run
// watches the player's own memory.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

namespace {

namespace fs = std::filesystem;
using namespace vorel;

constexpr char kPlayer[] = "org.mpris.MediaPlayer2.Player";
constexpr char kRoot[] = "org.mpris.MediaPlayer2";
constexpr char kProperties[] = "org.freedesktop.DBus.Properties";
constexpr char kHandOver[] = "org.vorel.Vorel";
constexpr std::size_t kLongestRefusal = 1000;

struct World {
  fs::path folder;
  std::string song;  // a playable MP3 of 30 s
  QDBusConnection client{QString()};
  app::Features* features = nullptr;  // ends with the process, as the windows do
};
World* world = nullptr;

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return s;
}

// An http(s) address pointed at a closed port on this machine, path and query kept.
std::string Offline(const std::string& s) {
  const std::string lower = Lower(s.substr(0, 8));
  std::size_t scheme = lower.rfind("http://", 0) == 0 ? 7 : lower.rfind("https://", 0) == 0 ? 8 : 0;
  if (scheme == 0) return s;
  std::size_t path = s.find_first_of("/?#", scheme);
  return s.substr(0, scheme) + "127.0.0.1:9" + (path == std::string::npos ? "" : s.substr(path));
}

std::string SomeText(FuzzedDataProvider& in) {
  std::string text = in.ConsumeRandomLengthString(300);
  // Now and then a huge one: a few bytes repeated up to about a megabyte.
  if (in.ConsumeIntegralInRange(0, 15) == 0 && !text.empty()) {
    const int times = in.ConsumeIntegralInRange(1, 1 << 20) / static_cast<int>(text.size()) + 1;
    std::string big;
    for (int i = 0; i < times; ++i) big += text;
    text = std::move(big);
  }
  return text;
}

std::string SomeUri(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 5)) {
    case 0: return "file://" + world->song;
    case 1: return world->song;
    case 2: return "file://" + (world->folder / in.ConsumeRandomLengthString(40)).string();
    case 3: return "http://127.0.0.1:9/" + in.ConsumeRandomLengthString(100);
    default: return Offline(SomeText(in));
  }
}

QDBusObjectPath SomePath(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: return QDBusObjectPath(Q(world->features->media_control().TakeSnapshot().track_id));
    case 1: return QDBusObjectPath(desktop::kNoTrack);
    case 2:
      return QDBusObjectPath(
          Q("/org/vorel/Vorel/track/" + std::to_string(in.ConsumeIntegral<std::uint32_t>())));
    default: {
      std::string path;
      for (int n = in.ConsumeIntegralInRange(0, 4); n > 0; --n) {
        path += "/" + std::string(1, static_cast<char>('a' + in.ConsumeIntegralInRange(0, 25)));
      }
      return QDBusObjectPath(Q(path.empty() ? "/" : path));
    }
  }
}

QVariant AnyValue(FuzzedDataProvider& in, int depth = 0) {
  switch (in.ConsumeIntegralInRange(0, depth < 2 ? 10 : 9)) {
    case 0: return QString::fromUtf8(Offline(SomeText(in)));  // may reach OpenUri or Open
    case 1: return QVariant::fromValue<qlonglong>(in.ConsumeIntegral<std::int64_t>());
    case 2: return in.ConsumeIntegral<int>();
    case 3: return std::bit_cast<double>(in.ConsumeIntegral<std::uint64_t>());
    case 4: return in.ConsumeBool();
    case 5: return QVariant::fromValue(SomePath(in));
    case 6: {
      QStringList list;
      for (int n = in.ConsumeIntegralInRange(0, 5); n > 0; --n) list << Q(SomeUri(in));
      return list;
    }
    case 7: return QByteArray::fromStdString(in.ConsumeRandomLengthString(64));
    case 8: return QVariant::fromValue<qulonglong>(in.ConsumeIntegral<std::uint64_t>());
    case 9: return QVariant::fromValue<uchar>(in.ConsumeIntegral<std::uint8_t>());
    default: return QVariant::fromValue(QDBusVariant(AnyValue(in, depth + 1)));
  }
}

// What a call may change, read straight from the player.
struct Observed {
  int rows = 0;
  int volume_bar = 0;
  playlist::PlayMode mode = playlist::PlayMode::kPlayAll;
  desktop::PlayerSnapshot snapshot;
};

Observed Observe() {
  Observed o;
  o.rows = runtime::RowCount(ids::kMainWindow, ids::kPlayList);
  o.volume_bar = runtime::ReadIntProperty(ids::kMainWindow, ids::kVolumeBar, ids::kPropPosition);
  o.mode = world->features->playlist().CurrentPlayMode();
  o.snapshot = world->features->media_control().TakeSnapshot();
  VOREL_FUZZ_CHECK(std::isfinite(o.snapshot.volume) && o.snapshot.volume >= 0 &&
                   o.snapshot.volume <= 1);
  const std::string& loop = o.snapshot.loop_status;
  VOREL_FUZZ_CHECK(loop == "None" || loop == "Track" || loop == "Playlist");
  return o;
}

enum class Kind { kOpenUri, kOpen, kSetPosition, kSeek, kSet, kOther };

struct Call {
  Kind kind = Kind::kOther;
  QDBusMessage message;
  QString property;  // kSet
  QVariant value;    // kSet
  int items = 0;     // kOpen
};

QDBusMessage Method(const char* iface, const QString& name) {
  return QDBusMessage::createMethodCall(desktop::kBusName, desktop::kObjectPath, iface, name);
}

Call MakeCall(FuzzedDataProvider& in) {
  Call call;
  switch (in.ConsumeIntegralInRange(0, 8)) {
    case 0:
      call.kind = Kind::kOpenUri;
      call.message = Method(kPlayer, "OpenUri") << Q(SomeUri(in));
      break;
    case 1: {
      call.kind = Kind::kOpen;
      QStringList items;
      for (int n = in.ConsumeIntegralInRange(0, 6); n > 0; --n) items << Q(SomeUri(in));
      call.items = static_cast<int>(items.size());
      call.message = Method(kHandOver, "Open") << items;
      break;
    }
    case 2:
      call.kind = Kind::kSetPosition;
      call.message = Method(kPlayer, "SetPosition")
                     << QVariant::fromValue(SomePath(in))
                     << QVariant::fromValue<qlonglong>(in.ConsumeIntegral<std::int64_t>());
      break;
    case 3:
      call.kind = Kind::kSeek;
      call.message = Method(kPlayer, "Seek")
                     << QVariant::fromValue<qlonglong>(in.ConsumeIntegral<std::int64_t>());
      break;
    case 4: {
      static const char* const kNames[] = {"Volume",   "LoopStatus", "Shuffle",       "Rate",
                                           "Position", "Metadata",   "PlaybackStatus"};
      call.kind = Kind::kSet;
      call.property = kNames[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kNames) - 1)];
      switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0: call.value = std::bit_cast<double>(in.ConsumeIntegral<std::uint64_t>()); break;
        case 1: {
          static const char* const kLoops[] = {"None", "Track", "Playlist", "none", ""};
          call.value = QString(kLoops[in.ConsumeIntegralInRange<std::size_t>(0, 4)]);
          break;
        }
        default: call.value = AnyValue(in); break;
      }
      const char* iface = in.ConsumeIntegralInRange(0, 7) == 0 ? kRoot : kPlayer;
      call.message = Method(kProperties, "Set") << QString(iface) << call.property
                                                << QVariant::fromValue(QDBusVariant(call.value));
      if (iface == kRoot) call.kind = Kind::kOther;
      break;
    }
    case 5: {
      static const char* const kPlain[] = {"Play", "Pause", "PlayPause",
                                           "Stop", "Next",  "Previous"};
      call.message = Method(kPlayer, kPlain[in.ConsumeIntegralInRange<std::size_t>(0, 5)]);
      break;
    }
    case 6:
      call.message = Method(kProperties, in.ConsumeBool() ? "Get" : "GetAll")
                     << QString(in.ConsumeBool() ? kPlayer : kRoot)
                     << Q(in.ConsumeRandomLengthString(20));
      break;
    default: {
      // Any interface, name and arguments; Quit alone is kept out, since it ends the player.
      static const char* const kIfaces[] = {kPlayer,
                                            kRoot,
                                            kProperties,
                                            kHandOver,
                                            "",
                                            "org.freedesktop.DBus.Peer",
                                            "org.freedesktop.DBus.Introspectable"};
      static const char* const kMembers[] = {"OpenUri", "Open",       "SetPosition", "Seek",
                                             "Set",     "Get",        "GetAll",      "Raise",
                                             "Play",    "Introspect", "Ping",        "Dance"};
      const char* iface =
          kIfaces[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kIfaces) - 1)];
      QString member = kMembers[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kMembers) - 1)];
      call.message =
          QDBusMessage::createMethodCall(desktop::kBusName, desktop::kObjectPath, iface, member);
      for (int n = in.ConsumeIntegralInRange(0, 3); n > 0; --n) call.message << AnyValue(in);
      if (member == "OpenUri" || member == "Open") call.kind = Kind::kOpen;
      call.items = 100;  // at most as many rows as arguments could name; bounded below
      break;
    }
  }
  return call;
}

void CheckOutcome(const Call& call, const QDBusMessage& reply, const Observed& before,
                  const Observed& after) {
  const bool refused = reply.type() == QDBusMessage::ErrorMessage;
  if (refused) {
    VOREL_FUZZ_CHECK(after.rows == before.rows && after.volume_bar == before.volume_bar &&
                     after.mode == before.mode);
    VOREL_FUZZ_CHECK(reply.errorMessage().toUtf8().size() <=
                     static_cast<qsizetype>(kLongestRefusal));
    return;
  }
  switch (call.kind) {
    case Kind::kOpenUri: VOREL_FUZZ_CHECK(after.rows == before.rows + 1); break;
    case Kind::kOpen: {
      const int added = after.rows - before.rows;
      VOREL_FUZZ_CHECK(added >= 0);
      if (call.message.member() == "Open" && call.message.signature() == "as" &&
          !reply.arguments().isEmpty()) {
        const QStringList refusals = reply.arguments().at(0).toStringList();
        VOREL_FUZZ_CHECK(added + refusals.size() == call.items);
        for (const QString& line : refusals) {
          VOREL_FUZZ_CHECK(line.toUtf8().size() <= static_cast<qsizetype>(kLongestRefusal));
        }
      } else {
        VOREL_FUZZ_CHECK(added <= call.items);
      }
      break;
    }
    case Kind::kSet: {
      const QVariant& v = call.value;
      if (call.property == "Volume" && v.metaType().id() == QMetaType::Double) {
        const int max =
            runtime::ReadIntProperty(ids::kMainWindow, ids::kVolumeBar, ids::kPropMaximum);
        VOREL_FUZZ_CHECK(after.volume_bar == std::lround(std::clamp(v.toDouble(), 0.0, 1.0) * max));
      } else if (call.property == "LoopStatus") {
        VOREL_FUZZ_CHECK(after.snapshot.loop_status == v.toString().toStdString());
      } else if (call.property == "Shuffle") {
        VOREL_FUZZ_CHECK(after.snapshot.shuffle == v.toBool());
      }
      VOREL_FUZZ_CHECK(after.rows == before.rows);
      break;
    }
    default: VOREL_FUZZ_CHECK(after.rows == before.rows); break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::setenv("VOREL_AUDIO", "null", 1);
  ::setenv("VOREL_NONINTERACTIVE", "1", 1);
  world = new World;
  world->folder = fs::temp_directory_path() / ("vorel-bus-fuzz-" + std::to_string(::getpid()));
  fs::create_directories(world->folder);
  world->song = (world->folder / "song.mp3").string();
  if (!vorel::testing::MakeAudioFile(world->song, vorel::testing::SineSource(440, 30),
                                     "-b:a 64k")) {
    std::abort();
  }
  auto* bus = new vorel::testing::PrivateSessionBus;  // ends with the process
  if (!bus->Start()) std::abort();
  new qt::UiSession(*argc, *argv);
  world->features = new app::Features;
  runtime::SetRoutineTable(app::BuildRoutineTable(*world->features));
  runtime::InitRuntime(app::WindowTemplateBytes());
  if (::chdir(world->folder.c_str()) != 0) std::abort();
  runtime::LoadStartWindow(ids::kMainWindow);
  if (world->features->media_service().Start() != desktop::BusRegistration::kOwned) {
    std::abort();
  }
  world->client = QDBusConnection::connectToBus(Q(bus->address()), "fuzz-client");
  if (!world->client.isConnected()) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  if (runtime::RowCount(ids::kMainWindow, ids::kPlayList) > 40) {
    world->features->player().StopPlayback();
    runtime::DeleteAllRows(ids::kMainWindow, ids::kPlayList);
  }
  const Call call = MakeCall(in);
  const Observed before = Observe();
  // The player runs on this thread: its events are run here until the reply comes, looking
  // at the call every 0.2 ms. QDBus::BlockWithGui did that in a loop of its own that, about
  // once in 20,000 calls, slept in poll for 10 s and more (past the call's own time-out) with
  // the player idle and no reply taken.
  QDBusPendingCall pending = world->client.asyncCall(call.message, 8000);
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(9);
  while (!pending.isFinished() && std::chrono::steady_clock::now() < give_up) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (!pending.isFinished()) std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  VOREL_FUZZ_CHECK(pending.isFinished());  // the bus's own time-out ends it after 8 s
  const QDBusMessage reply = pending.reply();
  VOREL_FUZZ_CHECK(reply.type() == QDBusMessage::ReplyMessage ||
                   (reply.type() == QDBusMessage::ErrorMessage &&
                    reply.errorName() != "org.freedesktop.DBus.Error.NoReply" &&
                    reply.errorName() != "org.freedesktop.DBus.Error.Timeout" &&
                    reply.errorName() != "org.freedesktop.DBus.Error.ServiceUnknown"));
  CheckOutcome(call, reply, before, Observe());
  return 0;
}
