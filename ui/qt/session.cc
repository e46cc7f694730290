// The application object and the shared mouse/keyboard/focus events.

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QLocale>
#include <QMouseEvent>
#include <QTimer>
#include <QTranslator>
#include <QWheelEvent>

#include <fcntl.h>
#include <unistd.h>

#include <QSessionManager>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "runtime/threads.h"
#include "ui/qt/internal/qt_native_ui.h"
#include "ui/qt/internal/window_drag.h"
#include "ui/qt/internal/x11_canvas.h"
#include "ui/qt/qt_ui.h"

namespace vorel::qt {
namespace {

QtNativeUi* g_ui = nullptr;
int g_signal_pipe[2] = {-1, -1};

// Only async-signal-safe work here: the loop picks the byte up and closes the windows.
void OnTerminationSignal(int) {
  char byte = 1;
  [[maybe_unused]] ssize_t n = write(g_signal_pipe[1], &byte, 1);
}

// SIGTERM, SIGINT and the end of the desktop session close the windows the way the window
// manager would, so the play list is saved before the program ends with 0.
void WatchForSystemClose(QObject* owner) {
  if (pipe2(g_signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(g_signal_pipe[0], QSocketNotifier::Read, owner);
  QObject::connect(notifier, &QSocketNotifier::activated, owner, [] {
    char buf[16];
    while (read(g_signal_pipe[0], buf, sizeof buf) > 0) {
    }
    runtime::NativeSystemClose();
  });
  QObject::connect(qApp, &QGuiApplication::commitDataRequest, owner,
                   [](QSessionManager&) { runtime::NativeSystemClose(); });
  struct sigaction sa {};
  sa.sa_handler = &OnTerminationSignal;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESTART;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
}

int KeyState(Qt::KeyboardModifiers m) {
  return ((m & Qt::ControlModifier) ? 1 : 0) | ((m & Qt::ShiftModifier) ? 2 : 0) |
         ((m & Qt::AltModifier) ? 4 : 0);
}

// Windows virtual-key codes, which the application's key handlers compare against.
int VirtualKey(int key) {
  if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
    return key;  // upper-case ASCII, as the virtual keys are
  }
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return 0x70 + (key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab: return 9;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Pause: return 19;
    case Qt::Key_CapsLock: return 20;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    default: return key & 0xFFFF;
  }
}

// The event a mouse message raises; 0 for a button that raises none.
int MouseEventKey(const QMouseEvent& m) {
  const QEvent::Type type = m.type();
  if (type == QEvent::MouseMove) return runtime::kEventMouseMove;
  if (m.button() == Qt::LeftButton) {
    return type == QEvent::MouseButtonPress     ? runtime::kEventLeftDown
           : type == QEvent::MouseButtonRelease ? runtime::kEventLeftUp
                                                : runtime::kEventLeftDoubleClick;
  }
  if (m.button() == Qt::RightButton && type != QEvent::MouseButtonDblClick) {
    return type == QEvent::MouseButtonPress ? runtime::kEventRightDown : runtime::kEventRightUp;
  }
  return 0;
}

// Raises the shared event family for a message on its way to a control. True when a handler
// returned false, which keeps the message from the control.
bool RaiseShared(QObject* receiver, QEvent* e) {
  if (!receiver->isWidgetType()) return false;
  const QObject* control_object = ControlObjectOf(receiver);
  if (control_object == nullptr || !control_object->isWidgetType()) return false;
  auto* control_widget = static_cast<const QWidget*>(control_object);
  auto client = [&](QPointF global) {
    QPoint p = control_widget->mapFromGlobal(global.toPoint());
    return std::pair<int, int>(p.x(), p.y());
  };
  runtime::EventResult r;
  auto* target = const_cast<QObject*>(control_object);
  switch (e->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove: {
      auto* m = static_cast<QMouseEvent*>(e);
      auto [x, y] = client(m->globalPosition());
      const int state = KeyState(m->modifiers());
      const int key = MouseEventKey(*m);
      if (key != 0) r = RaiseOwn(target, key, {x, y, state});
      break;
    }
    case QEvent::Wheel: {
      auto* w = static_cast<QWheelEvent*>(e);
      r = RaiseOwn(target, runtime::kEventWheel, {w->angleDelta().y(), KeyState(w->modifiers())});
      break;
    }
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      auto* k = static_cast<QKeyEvent*>(e);
      const bool press = e->type() == QEvent::KeyPress;
      r = RaiseOwn(target, press ? runtime::kEventKeyDown : runtime::kEventKeyUp,
                   {VirtualKey(k->key()), KeyState(k->modifiers())});
      if (press && !(r && *r == 0) && !k->text().isEmpty()) {
        runtime::Text t = TextOf(k->text().left(1));
        int code = 0;
        for (unsigned char c : t) code = (code << 8) | c;
        r = RaiseOwn(target, runtime::kEventCharacter, {code});
      }
      break;
    }
    case QEvent::FocusIn:
      if (receiver == control_object) RaiseOwn(target, runtime::kEventGotFocus);
      return false;
    case QEvent::FocusOut:
      if (receiver == control_object) RaiseOwn(target, runtime::kEventLostFocus);
      return false;
    default: return false;
  }
  return r && *r == 0;
}

// QApplication::notify is entered once per delivered event (propagation to parents happens
// inside it), so the shared events are raised exactly once, before the widget sees them.
class Application : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* e) override {
    switch (e->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseMove:
        if (WatchWindowDrag(receiver, e)) return true;
        if (RaiseShared(receiver, e)) return true;
        break;
      case QEvent::MouseButtonDblClick:
      case QEvent::Wheel:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::FocusIn:
      case QEvent::FocusOut:
        if (RaiseShared(receiver, e)) return true;
        break;
      default: break;
    }
    return QApplication::notify(receiver, e);
  }
};

bool NeedsOffscreen() {
  auto set = [](const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0';
  };
  return !set("QT_QPA_PLATFORM") && !set("DISPLAY") && !set("WAYLAND_DISPLAY");
}

}  // namespace

struct UiSession::Impl {
  std::unique_ptr<Application> app;
  std::unique_ptr<QtNativeUi> ui;
};

namespace {

// While the application object is made, a fatal message means the platform plugin could not
// open the display (a DISPLAY with no X server behind it, a dead Wayland socket). Qt would
// abort with advice about reinstalling; the person is told what is wrong on one line instead,
// as when no display is named at all, and the program ends with 1. The plugin's own warnings
// on the way there are held back, and printed only when the application object was made.
std::vector<std::string>& HeldMessages() {
  static std::vector<std::string> held;
  return held;
}

void EndWithoutDisplay(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type != QtFatalMsg) {
    HeldMessages().push_back(qFormatLogMessage(type, context, message).toStdString());
    return;
  }
  std::string display;
  for (const char* name : {"WAYLAND_DISPLAY", "DISPLAY"}) {
    const char* v = std::getenv(name);
    if (v != nullptr && *v != '\0') display = std::string(name) + "=" + v;
  }
  std::fprintf(stderr,
               "vorel: no display to show the player on (%s cannot be opened); start it from a "
               "desktop session\n",
               display.empty() ? "the display" : display.c_str());
  std::fflush(stderr);
  _exit(1);
}

}  // namespace

UiSession::UiSession(int& argc, char** argv) : impl_(std::make_unique<Impl>()) {
  if (NeedsOffscreen()) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  const QtMessageHandler previous = qInstallMessageHandler(&EndWithoutDisplay);
  impl_->app = std::make_unique<Application>(argc, argv);
  qInstallMessageHandler(previous);
  for (const std::string& line : HeldMessages()) std::fprintf(stderr, "%s\n", line.c_str());
  HeldMessages().clear();
  // Where the display takes the drawing panel's pixels straight into a window of the panel's
  // own (X11Canvas), only the panel gets one: its siblings stay drawn inside the main window
  // (nothing in the template lies over the panel, so the stacking does not change). Whether
  // the display allows it is known once the platform is open; Qt reads the attribute each time
  // a widget is made native, so it needs no setting before the application object.
  if (X11Canvas::Usable()) QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
  // The loop ends by the window-set rule only; closing a dialog must never end the program.
  QApplication::setQuitOnLastWindowClosed(false);
  QFont font({"Noto Sans CJK SC", "Noto Sans CJK", "sans-serif"});
  font.setPixelSize(12);
  font.setStyleName("Regular");  // bold text is emboldened from it (see FontOf)
  QApplication::setFont(font);
  // Qt's own dialogs (folder and file choosers, message box buttons) speak the program's
  // language, whatever the environment's locale is.
  auto* translator = new QTranslator(impl_->app.get());
  if (translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                       QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(translator);
  }
  impl_->ui = std::make_unique<QtNativeUi>();
  g_ui = impl_->ui.get();
  runtime::InstallNativeUi(g_ui);
  runtime::EventLoopHooks hooks;
  hooks.is_ui_thread = [] { return g_ui != nullptr && g_ui->IsUiThread(); };
  hooks.process_pending = [] { QCoreApplication::processEvents(QEventLoop::AllEvents); };
  hooks.wait_for_event = [](int ms) {
    QTimer wake;
    wake.setSingleShot(true);
    wake.start(std::max(ms, 0));
    QAbstractEventDispatcher::instance()->processEvents(QEventLoop::WaitForMoreEvents);
    return wake.isActive();
  };
  runtime::InstallEventLoopHooks(std::move(hooks));
  WatchForSystemClose(impl_->app.get());
}

UiSession::~UiSession() {
  runtime::InstallNativeUi(nullptr);  // its windows go with it
  runtime::InstallEventLoopHooks({});
  g_ui = nullptr;
}

QtNativeUi* SessionNativeUi() { return g_ui; }

bool NonInteractive() {
  const char* v = std::getenv("VOREL_NONINTERACTIVE");
  if (v != nullptr && std::strcmp(v, "1") == 0) return true;
  return QGuiApplication::platformName() == QLatin1String("offscreen");
}

}  // namespace vorel::qt
