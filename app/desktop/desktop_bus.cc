#include "app/desktop/desktop_bus.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QMetaObject>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <map>

#include "app/desktop/media_control.h"
#include "runtime/bridge.h"
#include "ui/qt/desktop.h"
#include "windows/window_ids.h"

namespace vorel::desktop {
namespace {

constexpr char kRootInterface[] = "org.mpris.MediaPlayer2";
constexpr char kPlayerInterface[] = "org.mpris.MediaPlayer2.Player";
constexpr char kHandOverInterface[] = "org.vorel.Vorel";
constexpr char kPropertiesInterface[] = "org.freedesktop.DBus.Properties";
constexpr char kIntrospectableInterface[] = "org.freedesktop.DBus.Introspectable";

// The standard interfaces every object answers, before the player's own.
constexpr char kIntrospectionHead[] =
    R"(<!DOCTYPE node PUBLIC "-//freedesktop//DTD D-BUS Object Introspection 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd">
<node>
  <interface name="org.freedesktop.DBus.Introspectable">
    <method name="Introspect"><arg name="xml_data" type="s" direction="out"/></method>
  </interface>
  <interface name="org.freedesktop.DBus.Peer">
    <method name="Ping"/>
  </interface>
  <interface name="org.freedesktop.DBus.Properties">
    <method name="Get">
      <arg name="interface_name" type="s" direction="in"/>
      <arg name="property_name" type="s" direction="in"/>
      <arg name="value" type="v" direction="out"/>
    </method>
    <method name="GetAll">
      <arg name="interface_name" type="s" direction="in"/>
      <arg name="props" type="a{sv}" direction="out"/>
    </method>
    <method name="Set">
      <arg name="interface_name" type="s" direction="in"/>
      <arg name="property_name" type="s" direction="in"/>
      <arg name="value" type="v" direction="in"/>
    </method>
    <signal name="PropertiesChanged">
      <arg name="interface_name" type="s"/>
      <arg name="changed_properties" type="a{sv}"/>
      <arg name="invalidated_properties" type="as"/>
    </signal>
  </interface>)";
constexpr char kInvalidArgs[] = "org.freedesktop.DBus.Error.InvalidArgs";

constexpr char kIntrospection[] = R"(
  <interface name="org.mpris.MediaPlayer2">
    <method name="Raise"/>
    <method name="Quit"/>
    <property name="CanQuit" type="b" access="read"/>
    <property name="Fullscreen" type="b" access="read"/>
    <property name="CanSetFullscreen" type="b" access="read"/>
    <property name="CanRaise" type="b" access="read"/>
    <property name="HasTrackList" type="b" access="read"/>
    <property name="Identity" type="s" access="read"/>
    <property name="DesktopEntry" type="s" access="read"/>
    <property name="SupportedUriSchemes" type="as" access="read"/>
    <property name="SupportedMimeTypes" type="as" access="read"/>
  </interface>
  <interface name="org.mpris.MediaPlayer2.Player">
    <method name="Next"/>
    <method name="Previous"/>
    <method name="Pause"/>
    <method name="PlayPause"/>
    <method name="Stop"/>
    <method name="Play"/>
    <method name="Seek"><arg direction="in" name="Offset" type="x"/></method>
    <method name="SetPosition">
      <arg direction="in" name="TrackId" type="o"/>
      <arg direction="in" name="Position" type="x"/>
    </method>
    <method name="OpenUri"><arg direction="in" name="Uri" type="s"/></method>
    <signal name="Seeked"><arg name="Position" type="x"/></signal>
    <property name="PlaybackStatus" type="s" access="read"/>
    <property name="LoopStatus" type="s" access="readwrite"/>
    <property name="Rate" type="d" access="readwrite"/>
    <property name="Shuffle" type="b" access="readwrite"/>
    <property name="Metadata" type="a{sv}" access="read">
      <annotation name="org.qtproject.QtDBus.QtTypeName" value="QVariantMap"/>
    </property>
    <property name="Volume" type="d" access="readwrite"/>
    <property name="Position" type="x" access="read"/>
    <property name="MinimumRate" type="d" access="read"/>
    <property name="MaximumRate" type="d" access="read"/>
    <property name="CanGoNext" type="b" access="read"/>
    <property name="CanGoPrevious" type="b" access="read"/>
    <property name="CanPlay" type="b" access="read"/>
    <property name="CanPause" type="b" access="read"/>
    <property name="CanSeek" type="b" access="read"/>
    <property name="CanControl" type="b" access="read"/>
  </interface>
  <interface name="org.vorel.Vorel">
    <method name="Open">
      <arg direction="in" name="Items" type="as"/>
      <arg direction="out" name="Refused" type="as"/>
    </method>
  </interface>
)";

QString Q(const std::string& s) { return QString::fromStdString(s); }

void ClickButton(runtime::ControlId button) {
  runtime::RaiseEvent(ids::kMainWindow, button, runtime::kEventClicked);
}

QVariantMap MetadataOf(const PlayerSnapshot& s) {
  QVariantMap m;
  m.insert("mpris:trackid", QVariant::fromValue(QDBusObjectPath(Q(s.track_id))));
  if (s.status == "Stopped") return m;
  m.insert("xesam:title", Q(s.title));
  if (!s.artist.empty()) m.insert("xesam:artist", QStringList{Q(s.artist)});
  if (!s.album.empty()) m.insert("xesam:album", Q(s.album));
  m.insert("xesam:url", Q(s.url));
  if (s.length_us > 0) m.insert("mpris:length", QVariant::fromValue<qlonglong>(s.length_us));
  if (!s.art_url.empty()) m.insert("mpris:artUrl", Q(s.art_url));
  return m;
}

// The player interface's properties that change with the player (Position excepted: MPRIS
// clients follow it by themselves between Seeked signals).
QVariantMap PlayerProperties(const PlayerSnapshot& s) {
  return {
      {"PlaybackStatus", Q(s.status)},
      {"LoopStatus", Q(s.loop_status)},
      {"Shuffle", s.shuffle},
      {"Metadata", MetadataOf(s)},
      {"Volume", s.volume},
      {"CanGoNext", s.can_go_next},
      {"CanGoPrevious", s.can_go_previous},
      {"CanPlay", s.can_play},
      {"CanPause", s.can_play},
      {"CanSeek", s.can_seek},
  };
}

QVariantMap FixedPlayerProperties() {
  return {{"Rate", 1.0}, {"MinimumRate", 1.0}, {"MaximumRate", 1.0}, {"CanControl", true}};
}

QVariantMap RootProperties() {
  return {
      {"CanQuit", true},
      {"Fullscreen", false},
      {"CanSetFullscreen", false},
      {"CanRaise", true},
      {"HasTrackList", false},
      {"Identity", QStringLiteral("Vorel")},
      {"DesktopEntry", QStringLiteral("vorel")},
      {"SupportedUriSchemes", QStringList{"file", "http", "https"}},
      {"SupportedMimeTypes", QStringList{"audio/mpeg", "audio/mp3"}},
  };
}

}  // namespace

// The object at /org/mpris/MediaPlayer2. Every request runs on the user-interface thread, as a
// click does. The player's own changes (a song ending, a click, a timer) come from many
// routines, so what the desktop sees is compared after anything ran that could change it: a
// routine (the player's timers run only while it plays) or a worker's work on the
// user-interface thread. Nothing wakes the program while nothing happens. Work it queues for
// itself is posted to itself, so none of it runs once it is destroyed.
class MediaObject : public QDBusVirtualObject {
 public:
  MediaObject(QDBusConnection bus, MediaControl& control)
      : bus_(std::move(bus)), control_(control) {}
  ~MediaObject() override {
    if (watching_) runtime::SetChangeObserver(nullptr);
  }

  void Start() {
    if (MainWindowReady()) last_ = control_.TakeSnapshot();
    watching_ = true;
    runtime::SetChangeObserver([this](runtime::EventSource ran) {
      // Every seek runs the position slider's routine: a drag or click on it, the keys, and
      // the requests below.
      if (ran.window == ids::kMainWindow && ran.control == ids::kPositionSlider) {
        seek_pending_ = true;
      }
      LookForChangesSoon();
    });
  }

  QString introspect(const QString&) const override { return QString::fromLatin1(kIntrospection); }

  bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
    if (message.type() != QDBusMessage::MethodCallMessage) return false;
    QDBusConnection bus = connection;
    if (!MainWindowReady()) {
      bus.send(
          message.createErrorReply("org.freedesktop.DBus.Error.Failed", "the player is closing"));
      return true;
    }
    QDBusMessage reply = Dispatch(message);
    if (message.isReplyRequired()) bus.send(reply);
    if (quit_requested_) {
      // The reply goes out first; the program then closes as the system's close does.
      QTimer::singleShot(0, this, [] { Quit(); });
      quit_requested_ = false;
    } else {
      AnnounceChanges();
    }
    return true;
  }

 private:
  static QDBusMessage BadArguments(const QDBusMessage& m) {
    return m.createErrorReply(kInvalidArgs,
                              "wrong arguments (" + m.signature() + ") for " + m.member());
  }

  static QDBusMessage Result(const QDBusMessage& m, const ControlResult& r) {
    if (r.empty()) return m.createReply();
    return m.createErrorReply(Q(r.front().name), Q(r.front().message));
  }

  QDBusMessage Dispatch(const QDBusMessage& m) {
    const QString iface = m.interface();
    const QString name = m.member();
    if (iface == kPropertiesInterface) return Properties(m);
    if ((iface == kIntrospectableInterface || iface.isEmpty()) && name == "Introspect" &&
        m.signature().isEmpty()) {
      return m.createReply(QString::fromLatin1(kIntrospectionHead) + introspect(QString()) +
                           QStringLiteral("</node>\n"));
    }
    if (iface == "org.freedesktop.DBus.Peer" && name == "Ping") return m.createReply();
    if ((iface == kRootInterface || iface.isEmpty()) && m.signature().isEmpty()) {
      if (name == "Raise") return Run(m, Raise);
      if (name == "Quit") {
        quit_requested_ = true;
        return m.createReply();
      }
    }
    if (iface == kPlayerInterface || iface.isEmpty()) {
      if (std::optional<QDBusMessage> reply = PlayerCall(m)) return *reply;
    }
    if ((iface == kHandOverInterface || iface.isEmpty()) && name == "Open") {
      if (m.signature() != "as") return BadArguments(m);
      std::vector<OpenItem> items;
      for (const QString& s : m.arguments().at(0).toStringList()) {
        items.push_back(OpenItem{OpenItem::Kind::kLocalFile, s.toStdString(), {}});
      }
      QStringList refused;
      for (const std::string& line : control_.OpenItems(items)) refused << Q(line);
      return m.createReply(refused);
    }
    return m.createErrorReply("org.freedesktop.DBus.Error.UnknownMethod",
                              "no method " + name + " in " + iface);
  }

  // The methods of the player interface; nothing for a name it does not have.
  std::optional<QDBusMessage> PlayerCall(const QDBusMessage& m) {
    static const std::map<QString, void (MediaControl::*)()> kPlain = {
        {"Next", &MediaControl::Next},   {"Previous", &MediaControl::Previous},
        {"Pause", &MediaControl::Pause}, {"PlayPause", &MediaControl::PlayPause},
        {"Stop", &MediaControl::Stop},   {"Play", &MediaControl::Play}};
    const QString name = m.member();
    const QString sig = m.signature();
    if (auto it = kPlain.find(name); it != kPlain.end()) {
      if (!sig.isEmpty()) return BadArguments(m);
      (control_.*(it->second))();
      return m.createReply();
    }
    if (name == "Seek") {
      if (sig != "x") return BadArguments(m);
      control_.Seek(m.arguments().at(0).toLongLong());
      return m.createReply();
    }
    if (name == "SetPosition") {
      if (sig != "ox") return BadArguments(m);
      const std::string track = m.arguments().at(0).value<QDBusObjectPath>().path().toStdString();
      return Result(m, control_.SetPosition(track, m.arguments().at(1).toLongLong()));
    }
    if (name == "OpenUri") {
      if (sig != "s") return BadArguments(m);
      return Result(m, control_.OpenUri(m.arguments().at(0).toString().toStdString()));
    }
    return std::nullopt;
  }

  static QDBusMessage Run(const QDBusMessage& m, void (*action)()) {
    action();
    return m.createReply();
  }

  QDBusMessage Properties(const QDBusMessage& m) {
    const QString name = m.member();
    const QString sig = m.signature();
    auto all_of = [&](const QString& iface) -> std::optional<QVariantMap> {
      if (iface == kRootInterface) return RootProperties();
      if (iface == kPlayerInterface) {
        QVariantMap p = PlayerProperties(control_.TakeSnapshot());
        p.insert(FixedPlayerProperties());
        p.insert("Position", QVariant::fromValue<qlonglong>(control_.PositionMicroseconds()));
        return p;
      }
      return std::nullopt;
    };
    if (name == "GetAll" && sig == "s") {
      auto all = all_of(m.arguments().at(0).toString());
      if (!all) return m.createErrorReply(kInvalidArgs, "no such interface");
      return m.createReply(*all);
    }
    if (name == "Get" && sig == "ss") {
      auto all = all_of(m.arguments().at(0).toString());
      const QString prop = m.arguments().at(1).toString();
      if (!all || !all->contains(prop)) {
        return m.createErrorReply(kInvalidArgs, "no property " + prop);
      }
      return m.createReply(QVariant::fromValue(QDBusVariant(all->value(prop))));
    }
    if (name == "Set" && sig == "ssv") return SetProperty(m);
    return BadArguments(m);
  }

  QDBusMessage SetProperty(const QDBusMessage& m) {
    const QString iface = m.arguments().at(0).toString();
    const QString prop = m.arguments().at(1).toString();
    const QVariant value = m.arguments().at(2).value<QDBusVariant>().variant();
    auto wrong_type = [&] {
      return m.createErrorReply(kInvalidArgs, prop + " takes a value of another type");
    };
    ControlResult r;
    if (iface != kPlayerInterface) {
      return m.createErrorReply("org.freedesktop.DBus.Error.PropertyReadOnly",
                                prop + " cannot be set");
    }
    if (prop == "Volume") {
      if (value.metaType().id() != QMetaType::Double) return wrong_type();
      r = control_.SetVolume(value.toDouble());
    } else if (prop == "LoopStatus") {
      if (value.metaType().id() != QMetaType::QString) return wrong_type();
      r = control_.SetLoopStatus(value.toString().toStdString());
    } else if (prop == "Shuffle") {
      if (value.metaType().id() != QMetaType::Bool) return wrong_type();
      control_.SetShuffle(value.toBool());
    } else if (prop == "Rate") {
      if (value.metaType().id() != QMetaType::Double) return wrong_type();
      if (value.toDouble() != 1.0) {
        r = {ControlError{"org.freedesktop.DBus.Error.NotSupported",
                          "the player plays at rate 1.0 only"}};
      }
    } else {
      return m.createErrorReply("org.freedesktop.DBus.Error.PropertyReadOnly",
                                prop + " cannot be set");
    }
    return Result(m, r);
  }

  // One look, queued behind the work that is running, however many routines it runs: the
  // snapshot reads the window, which must not happen in the middle of a routine.
  void LookForChangesSoon() {
    if (look_queued_) return;
    look_queued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
          look_queued_ = false;
          AnnounceChanges();
        },
        Qt::QueuedConnection);
  }

  void AnnounceChanges() {
    if (!MainWindowReady()) return;
    AnnounceSeek();
    PlayerSnapshot now = control_.TakeSnapshot();
    if (last_ && *last_ == now) return;
    QVariantMap changed = PlayerProperties(now);
    if (last_) {
      const QVariantMap before = PlayerProperties(*last_);
      for (auto it = changed.begin(); it != changed.end();) {
        it = before.value(it.key()) == it.value() ? changed.erase(it) : std::next(it);
      }
    }
    last_ = now;
    if (changed.isEmpty()) return;
    QDBusMessage signal =
        QDBusMessage::createSignal(kObjectPath, kPropertiesInterface, "PropertiesChanged");
    signal << QString(kPlayerInterface) << changed << QStringList();
    bus_.send(signal);
  }

  // A seek is announced with Seeked and the position it reached, once the routines that ran
  // are over; a seek that ended the song or moved to another shows as a new Metadata instead.
  void AnnounceSeek() {
    if (!seek_pending_) return;
    seek_pending_ = false;
    const PlayerSnapshot now = control_.TakeSnapshot();
    if (now.status == "Stopped" || (last_ && last_->track_id != now.track_id)) return;
    QDBusMessage signal = QDBusMessage::createSignal(kObjectPath, kPlayerInterface, "Seeked");
    signal << QVariant::fromValue<qlonglong>(control_.PositionMicroseconds());
    bus_.send(signal);
  }

  QDBusConnection bus_;
  MediaControl& control_;
  std::optional<PlayerSnapshot> last_;
  bool watching_ = false;  // the runtime's change observer is this object's
  bool look_queued_ = false;
  bool quit_requested_ = false;
  bool seek_pending_ = false;  // the position slider's routine ran since the last look
};

std::optional<int> HandOverToRunningProgram(const std::vector<OpenItem>& items,
                                            int item_arguments) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || bus.interface() == nullptr) return std::nullopt;
  if (!bus.interface()->isServiceRegistered(kBusName).value()) return std::nullopt;
  if (item_arguments > 0 && items.empty()) return 1;  // each refusal was already printed
  QDBusMessage call;
  if (items.empty()) {
    call = QDBusMessage::createMethodCall(kBusName, kObjectPath, kRootInterface, "Raise");
  } else {
    QStringList list;
    for (const OpenItem& item : items) list << Q(item.location);
    call = QDBusMessage::createMethodCall(kBusName, kObjectPath, kHandOverInterface, "Open");
    call << list;
  }
  QDBusMessage reply = bus.call(call, QDBus::Block, 60'000);
  if (reply.type() == QDBusMessage::ErrorMessage) {
    std::fprintf(stderr, "vorel: the running Vorel did not take the request: %s\n",
                 reply.errorMessage().toStdString().c_str());
    return 1;
  }
  if (!items.empty() && !reply.arguments().isEmpty()) {
    for (const QString& line : reply.arguments().at(0).toStringList()) {
      std::fprintf(stderr, "%s\n", line.toStdString().c_str());
    }
  }
  return 0;
}

MediaService::MediaService(MediaControl& control) : control_(control) {}

MediaService::~MediaService() {
  if (tray_menu_) qt::SetTrayMenu({});
  if (object_ == nullptr) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  bus.unregisterService(kBusName);
  bus.unregisterObject(kObjectPath);
}

BusRegistration MediaService::Start() {
  if (object_ != nullptr) return BusRegistration::kOwned;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    std::fprintf(stderr,
                 "vorel: no session bus; media keys and handing files to a running Vorel are "
                 "off\n");
    return BusRegistration::kNoBus;
  }
  auto object = std::make_unique<MediaObject>(bus, control_);
  if (!bus.registerVirtualObject(kObjectPath, object.get())) return BusRegistration::kTaken;
  if (!bus.registerService(kBusName)) {
    bus.unregisterObject(kObjectPath);
    return BusRegistration::kTaken;
  }
  object_ = std::move(object);
  object_->Start();
  return BusRegistration::kOwned;
}

void MediaService::InstallTrayMenu() {
  auto when_ready = [](std::function<void()> action) {
    return [action = std::move(action)] {
      if (MainWindowReady()) action();
    };
  };
  MediaControl& control = control_;
  tray_menu_ = true;
  qt::SetTrayMenu({
      {"显示/隐藏", when_ready(ToggleMainWindow)},
      {"播放/暂停", when_ready([&control] { control.PlayPause(); })},
      {"上一曲", when_ready([] { ClickButton(ids::kPreviousButton); })},
      {"下一曲", when_ready([] { ClickButton(ids::kNextButton); })},
      {"退出", when_ready(Quit)},
  });
}

void MediaService::StartDesktop(const std::vector<OpenItem>& items, int item_arguments) {
  InstallTrayMenu();
  if (Start() == BusRegistration::kTaken) {
    std::optional<int> code = HandOverToRunningProgram(items, item_arguments);
    runtime::ExitProgram(code.value_or(1));
  }
  for (const std::string& line : control_.OpenItems(items)) {
    std::fprintf(stderr, "%s\n", line.c_str());
  }
}

}  // namespace vorel::desktop
