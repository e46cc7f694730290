// The application object, the shared mouse/keyboard/focus events, and the test seams.

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
      int key = 0;
      if (e->type() == QEvent::MouseMove) {
        key = runtime::kEventMouseMove;
      } else if (m->button() == Qt::LeftButton) {
        key = e->type() == QEvent::MouseButtonPress     ? runtime::kEventLeftDown
              : e->type() == QEvent::MouseButtonRelease ? runtime::kEventLeftUp
                                                        : runtime::kEventLeftDoubleClick;
      } else if (m->button() == Qt::RightButton && e->type() != QEvent::MouseButtonDblClick) {
        key = e->type() == QEvent::MouseButtonPress ? runtime::kEventRightDown
                                                    : runtime::kEventRightUp;
      }
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
  runtime::ResetWindowsForTesting();
  runtime::InstallEventLoopHooks({});
  runtime::InstallNativeUi(nullptr);
  g_ui = nullptr;
}

bool NonInteractive() {
  const char* v = std::getenv("VOREL_NONINTERACTIVE");
  if (v != nullptr && std::strcmp(v, "1") == 0) return true;
  return QGuiApplication::platformName() == QLatin1String("offscreen");
}

namespace {

QWidget* Find(runtime::WindowId window, runtime::ControlId control) {
  return g_ui ? g_ui->WidgetOf(window, control) : nullptr;
}

void SendMouse(QWidget* w, QEvent::Type type, Qt::MouseButtons buttons) {
  QPointF local(w->width() / 2.0, w->height() / 2.0);
  QMouseEvent e(type, local, w->mapToGlobal(local), Qt::LeftButton, buttons, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

}  // namespace

bool ClickControl(runtime::WindowId window, runtime::ControlId control) {
  QWidget* w = Find(window, control);
  if (w == nullptr) return false;
  SendMouse(w, QEvent::MouseButtonPress, Qt::LeftButton);
  SendMouse(w, QEvent::MouseButtonRelease, Qt::NoButton);
  return true;
}

bool DoubleClickControl(runtime::WindowId window, runtime::ControlId control) {
  QWidget* w = Find(window, control);
  if (w == nullptr) return false;
  // A list view takes the double-click on its viewport, where its rows are.
  if (auto* list = qobject_cast<QAbstractItemView*>(w)) w = list->viewport();
  SendMouse(w, QEvent::MouseButtonPress, Qt::LeftButton);
  SendMouse(w, QEvent::MouseButtonRelease, Qt::NoButton);
  SendMouse(w, QEvent::MouseButtonDblClick, Qt::LeftButton);
  SendMouse(w, QEvent::MouseButtonRelease, Qt::NoButton);
  return true;
}

bool PressKey(runtime::WindowId window, runtime::ControlId control, int qt_key) {
  QWidget* w = Find(window, control);
  if (w == nullptr) return false;
  const QString text = qt_key < 0x01000000 ? QString(QChar(qt_key)).toLower() : QString();
  QKeyEvent press(QEvent::KeyPress, qt_key, Qt::NoModifier, text);
  QApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, qt_key, Qt::NoModifier, text);
  QApplication::sendEvent(w, &release);
  return true;
}

long PixelOf(runtime::WindowId window, runtime::ControlId control, int x, int y) {
  QWidget* w = Find(window, control);
  if (w == nullptr) return -1;
  QImage image = w->grab().toImage();
  if (!image.valid(x, y)) return -1;
  QRgb c = image.pixel(x, y);
  return static_cast<long>(qRed(c) | qGreen(c) << 8 | qBlue(c) << 16);
}

std::string ToolTipOf(runtime::WindowId window, runtime::ControlId control) {
  QWidget* w = Find(window, control);
  return w ? w->toolTip().toStdString() : std::string();
}

std::string ObjectNameOf(runtime::WindowId window, runtime::ControlId control) {
  QWidget* w = Find(window, control);
  return w ? w->objectName().toStdString() : std::string();
}

std::string AccessibleNameOf(runtime::WindowId window, runtime::ControlId control) {
  QWidget* w = Find(window, control);
  return w ? w->accessibleName().toStdString() : std::string();
}

bool GrabWindowPng(runtime::WindowId window, const std::string& path) {
  if (g_ui == nullptr) return false;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    runtime::WindowId id;
    runtime::ControlId c;
    if (w->isVisible() && ControlOf(w, &id, &c) && id == window) {
      return w->grab().save(QString::fromStdString(path), "PNG");
    }
  }
  return false;
}

}  // namespace vorel::qt
