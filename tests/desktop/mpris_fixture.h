#ifndef VOREL_TESTS_DESKTOP_MPRIS_FIXTURE_H_
#define VOREL_TESTS_DESKTOP_MPRIS_FIXTURE_H_

// The player's real main window with its media player object on a private session bus, and a
// desktop that calls it from a connection and a thread of its own, as another program would.

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusVariant>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "app/desktop/desktop_bus.h"
#include "tests/desktop/session_bus.h"
#include "tests/player_flow/flow_fixture.h"
#include "ui/qt/desktop.h"

namespace vorel::flow {

inline constexpr char kPlayer[] = "org.mpris.MediaPlayer2.Player";
inline constexpr char kRoot[] = "org.mpris.MediaPlayer2";

// What the desktop sees, from its own connection.
class Desktop {
 public:
  explicit Desktop(const std::string& address)
      : bus_(QDBusConnection::connectToBus(QString::fromStdString(address), "desktop")) {}

  QDBusMessage Call(const QString& method, const QVariantList& args = {},
                    const char* iface = kPlayer) {
    QDBusInterface i(desktop::kBusName, desktop::kObjectPath, iface, bus_);
    return i.callWithArgumentList(QDBus::Block, method, args);
  }
  QVariant Get(const QString& property, const char* iface = kPlayer) {
    QDBusInterface props(desktop::kBusName, desktop::kObjectPath, "org.freedesktop.DBus.Properties",
                         bus_);
    QDBusMessage reply = props.call("Get", QString(iface), property);
    if (reply.type() != QDBusMessage::ReplyMessage) return {};
    return reply.arguments().at(0).value<QDBusVariant>().variant();
  }
  QDBusMessage Set(const QString& property, const QVariant& value) {
    QDBusInterface props(desktop::kBusName, desktop::kObjectPath, "org.freedesktop.DBus.Properties",
                         bus_);
    return props.call("Set", QString(kPlayer), property, QVariant::fromValue(QDBusVariant(value)));
  }
  // Any message, as built: a call whose arguments no interface description would allow.
  QDBusMessage Send(const QString& iface, const QString& method, const QVariantList& args,
                    const QString& path = desktop::kObjectPath) {
    QDBusMessage m = QDBusMessage::createMethodCall(desktop::kBusName, path, iface, method);
    m.setArguments(args);
    return bus_.call(m, QDBus::Block, 20000);
  }
  QString Status() { return Get("PlaybackStatus").toString(); }
  QVariantMap Metadata() { return qdbus_cast<QVariantMap>(Get("Metadata").value<QDBusArgument>()); }

 private:
  QDBusConnection bus_;
};

class MprisTest : public FlowTest {
 protected:
  // One bus for the whole process, whichever suites use it: the player's connection to it
  // lasts as long as the process; each test's player publishes its object and takes the name
  // there, and gives both up when the test's features go. The daemon ends with the process.
  static void SetUpTestSuite() {
    FlowTest::SetUpTestSuite();
    if (bus_ != nullptr) return;
    bus_ = new testing::PrivateSessionBus;
    ASSERT_TRUE(bus_->Start()) << "dbus-daemon did not start";
  }

  void SetUp() override {
    FlowTest::SetUp();
    ASSERT_EQ(features().media_service().Start(), desktop::BusRegistration::kOwned);
    features().media_service().InstallTrayMenu();
  }

  // Runs `client` on a thread of its own, as another program would, while this thread keeps
  // the player's events (and so its D-Bus object) running.
  void AsDesktop(const std::function<void(Desktop&)>& client) {
    std::atomic<bool> done{false};
    std::thread t([&] {
      Desktop d(bus_->address());
      client(d);
      done = true;
    });
    bool finished = runtime::WaitProcessingEvents([&] { return done.load(); }, 60000);
    t.join();
    ASSERT_TRUE(finished);
  }

  // Lets the player's events run for a while (the change watch, timers).
  void Settle(int ms = 400) { runtime::Delay(ms); }

  static QString ErrorOf(const QDBusMessage& m) {
    return m.type() == QDBusMessage::ErrorMessage ? m.errorName() : QString();
  }

  int Rows() { return runtime::RowCount(ids::kMainWindow, ids::kPlayList); }
  int BarPosition() {
    return runtime::ReadIntProperty(ids::kMainWindow, ids::kVolumeBar, ids::kPropPosition);
  }

  static inline testing::PrivateSessionBus* bus_ = nullptr;
};

}  // namespace vorel::flow

#endif  // VOREL_TESTS_DESKTOP_MPRIS_FIXTURE_H_
