#include "ui/qt/internal/qt_native_ui.h"

#include <QBitmap>
#include <QScreen>

#include "runtime/bridge.h"
#include "ui/qt/internal/controls.h"
#include "ui/qt/qt_ui.h"

namespace vorel::qt {

using runtime::Geometry;
using runtime::NativeHandle;

namespace {

NativeHandle HandleOf(const QObject* o) { return reinterpret_cast<NativeHandle>(o); }

}  // namespace

QtNativeUi::QtNativeUi() : ui_thread_(std::this_thread::get_id()) {}
QtNativeUi::~QtNativeUi() = default;

bool QtNativeUi::IsUiThread() const { return std::this_thread::get_id() == ui_thread_; }

bool QtNativeUi::InvokeOnUiThread(const std::function<void()>& fn) {
  if (IsUiThread()) {
    fn();
    return true;
  }
  if (qApp == nullptr) return false;
  return QMetaObject::invokeMethod(
      qApp, [&fn] { fn(); }, Qt::BlockingQueuedConnection);
}

void QtNativeUi::ProcessPending() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void QtNativeUi::RunLoop() {
  QEventLoop loop;
  main_loop_ = &loop;
  quit_requested_ = false;
  loop.exec();
  main_loop_ = nullptr;
}

void QtNativeUi::QuitLoop() {
  if (main_loop_) main_loop_->quit();
}

void QtNativeUi::SetIdleActive(bool active) {
  if (idle_timer_ == nullptr) {
    idle_timer_ = new QTimer(qApp);
    idle_timer_->setInterval(0);
    QObject::connect(idle_timer_, &QTimer::timeout, idle_timer_, [this] {
      if (!runtime::RunIdleCallbacks()) idle_timer_->stop();
    });
  }
  if (active) {
    idle_timer_->start();
  } else {
    idle_timer_->stop();
  }
}

void QtNativeUi::PostDelayed(int ms, std::function<void()> fn) {
  QTimer::singleShot(std::max(0, ms), qApp, std::move(fn));
}

const ControlEntry* QtNativeUi::Entry(NativeHandle h) const {
  auto it = controls_.find(h);
  if (it == controls_.end() || it->second.object.isNull()) return nullptr;
  return &it->second;
}

NativeHandle QtNativeUi::CreateControl(runtime::WindowId window, const runtime::ControlRecord& rec,
                                       const runtime::TypeData& data, NativeHandle parent) {
  const ControlEntry* parent_entry = parent ? Entry(parent) : nullptr;
  QWidget* pw = parent_entry ? parent_entry->widget : nullptr;
  if (rec.type != runtime::kTypeWindow && pw == nullptr) return 0;
  QObject* object = nullptr;
  QWidget* widget = nullptr;
  PropertyHost* host = nullptr;
  auto make = [&](auto* w) {
    object = w;
    host = w;
    if constexpr (std::is_base_of_v<QWidget, std::remove_pointer_t<decltype(w)>>) widget = w;
  };
  switch (rec.type) {
    case runtime::kTypeWindow: make(new WindowWidget(data)); break;
    case runtime::kTypeEditBox: make(new EditBox(pw, data)); break;
    case runtime::kTypePicBox: make(new PicBox(pw, data)); break;
    case runtime::kTypeShapeBox: make(new ShapeBox(pw, data)); break;
    case runtime::kTypeDrawPanel: make(new DrawPanel(pw, data)); break;
    case runtime::kTypeLabel:
    case runtime::kTypeTransLabel: make(new TextLabel(pw, data)); break;
    case runtime::kTypeCheckBox: make(new CheckBox(pw, data)); break;
    case runtime::kTypeSliderBar: make(new SliderBar(pw, data)); break;
    case runtime::kTypeCommonDlg: make(new CommonDlg(pw)); break;
    case runtime::kTypeTimer: make(new TimerControl(pw, data)); break;
    case runtime::kTypePicBtn: make(new PicBtn(pw, data)); break;
    case runtime::kTypeListView: make(new ListView(pw, data)); break;
    case runtime::kTypeSuperBtn: make(new SuperBtn(pw, data)); break;
    case runtime::kTypeSuperBar: make(new SuperBar(pw, data)); break;
    default: return 0;
  }
  object->setObjectName(QStringOf(rec.name));
  TagControl(object, window, rec.id);
  if (widget) {
    widget->setGeometry(rec.left, rec.top, std::max(rec.width, 0), std::max(rec.height, 0));
    widget->setEnabled(!rec.disabled());
    if (rec.type != runtime::kTypeWindow) {
      widget->hide();
      // An earlier sibling lies above a later one, as the template's order says.
      widget->lower();
    }
    SetMousePointerOn(widget, rec.mouse_pointer);
  }
  ControlEntry entry{object, widget, host, rec.type, window, rec.id};
  controls_[HandleOf(object)] = entry;
  return HandleOf(object);
}

void QtNativeUi::SetMousePointerOn(QWidget* widget, const runtime::Bytes& pointer) {
  // Most controls of the main window share one cursor file; decode it once.
  static std::map<runtime::Bytes, std::pair<QCursor, bool>> decoded;
  auto it = decoded.find(pointer);
  if (it == decoded.end()) {
    bool is_custom = false;
    QCursor c = CursorOf(pointer, &is_custom);
    it = decoded.emplace(pointer, std::make_pair(c, is_custom)).first;
  }
  const QCursor& cursor = it->second.first;
  const bool custom = it->second.second;
  if (custom || (pointer.size() == 4 && pointer != runtime::Bytes(4, 0))) {
    widget->setCursor(cursor);
  } else {
    widget->unsetCursor();
  }
}

void QtNativeUi::DestroyWindow(NativeHandle h) {
  const ControlEntry* e = Entry(h);
  if (e == nullptr) return;
  const runtime::WindowId window = e->window;
  QWidget* widget = e->widget;
  for (auto it = controls_.begin(); it != controls_.end();) {
    if (it->second.window == window && !it->second.object.isNull() &&
        (it->second.widget == nullptr || it->second.widget->window() == widget)) {
      MarkDead(it->second.object);
      if (auto* t = qobject_cast<QTimer*>(it->second.object.data())) t->stop();
      it = controls_.erase(it);
    } else {
      ++it;
    }
  }
  if (auto t = trays_.find(h); t != trays_.end()) {
    if (t->second) {
      t->second->hide();
      t->second->deleteLater();
    }
    trays_.erase(t);
  }
  if (auto m = modal_loops_.find(h); m != modal_loops_.end()) m->second->quit();
  widget->hide();
  // Deleted later: the window may be destroyed from inside one of its own handlers.
  widget->deleteLater();
}

void QtNativeUi::PostClose(NativeHandle h) {
  const ControlEntry* e = Entry(h);
  if (e == nullptr) return;
  QPointer<QObject> target = e->object;
  const runtime::WindowId window = e->window;
  QMetaObject::invokeMethod(
      qApp,
      [target, window] {
        runtime::WindowId w;
        runtime::ControlId c;
        if (target && ControlOf(target, &w, &c)) runtime::NativeCloseRequested(window);
      },
      Qt::QueuedConnection);
}

void QtNativeUi::ShowWindow(NativeHandle h) {
  const ControlEntry* e = Entry(h);
  if (e == nullptr || e->widget == nullptr) return;
  QWidget* w = e->widget;
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect area = screen->availableGeometry();
    w->move(area.center() - QPoint(w->width() / 2, w->height() / 2));
  }
  w->show();
  // The offscreen platform has no stacking to change and warns about trying.
  if (!NonInteractive()) {
    w->raise();
    w->activateWindow();
  }
}

void QtNativeUi::ActivateWindow(NativeHandle h) {
  const ControlEntry* e = Entry(h);
  if (e == nullptr || e->widget == nullptr) return;
  if (e->widget->isMinimized()) {
    e->widget->showNormal();
  } else {
    e->widget->raise();
    e->widget->activateWindow();
  }
}

void QtNativeUi::RunModal(NativeHandle h) {
  if (Entry(h) == nullptr) return;
  QEventLoop loop;
  modal_loops_[h] = &loop;
  loop.exec();
  modal_loops_.erase(h);
}

bool QtNativeUi::HasGeometry(NativeHandle h) const {
  const ControlEntry* e = Entry(h);
  return e && e->widget;
}

Geometry QtNativeUi::GetGeometry(NativeHandle h) const {
  const ControlEntry* e = Entry(h);
  if (e == nullptr || e->widget == nullptr) return {};
  QRect r = e->widget->geometry();
  return {r.x(), r.y(), r.width(), r.height()};
}

void QtNativeUi::SetGeometry(NativeHandle h, const Geometry& g) {
  const ControlEntry* e = Entry(h);
  if (e == nullptr || e->widget == nullptr) return;
  if (e->widget->isWindow()) {
    e->widget->move(g.left, g.top);
    e->widget->resize(g.width, g.height);
  } else {
    e->widget->setGeometry(g.left, g.top, g.width, g.height);
  }
}

bool QtNativeUi::IsVisible(NativeHandle h) const {
  const ControlEntry* e = Entry(h);
  return e && e->widget && !e->widget->isHidden();
}

void QtNativeUi::SetVisible(NativeHandle h, bool visible) {
  const ControlEntry* e = Entry(h);
  if (e && e->widget) e->widget->setVisible(visible);
}

bool QtNativeUi::IsDisabled(NativeHandle h) const {
  const ControlEntry* e = Entry(h);
  return e && e->widget && !e->widget->isEnabled();
}

void QtNativeUi::SetDisabled(NativeHandle h, bool disabled) {
  const ControlEntry* e = Entry(h);
  if (e && e->widget) e->widget->setEnabled(!disabled);
}

void QtNativeUi::SetMousePointer(NativeHandle h, const runtime::Bytes& pointer) {
  const ControlEntry* e = Entry(h);
  if (e && e->widget) SetMousePointerOn(e->widget, pointer);
}

runtime::PropertyStatus QtNativeUi::GetProperty(NativeHandle h, std::int32_t index,
                                                runtime::Value* out) {
  const ControlEntry* e = Entry(h);
  if (e == nullptr) return runtime::PropertyStatus::kUnknownIndex;
  return e->host->Get(index, out);
}

runtime::PropertyStatus QtNativeUi::SetProperty(NativeHandle h, std::int32_t index,
                                                const runtime::Value& v) {
  const ControlEntry* e = Entry(h);
  if (e == nullptr) return runtime::PropertyStatus::kUnknownIndex;
  return e->host->Set(index, v);
}

void QtNativeUi::FocusControl(NativeHandle h) {
  const ControlEntry* e = Entry(h);
  if (e && e->widget) e->widget->setFocus(Qt::OtherFocusReason);
}

bool QtNativeUi::IsLiveHandle(NativeHandle h) const { return Entry(h) != nullptr; }

bool QtNativeUi::SetShapePicture(NativeHandle window, const runtime::Bytes& picture,
                                 std::uint32_t transparent) {
  const ControlEntry* e = Entry(window);
  if (e == nullptr || e->widget == nullptr) return false;
  QImage image;
  if (picture.empty() || !image.loadFromData(picture.data(), static_cast<int>(picture.size()))) {
    e->widget->clearMask();
    return false;
  }
  QImage mask = image.createMaskFromColor(ColourOf(transparent).rgb(), Qt::MaskOutColor);
  e->widget->setMask(QBitmap::fromImage(mask));
  return true;
}

QWidget* QtNativeUi::WidgetOf(runtime::WindowId window, runtime::ControlId control) const {
  for (const auto& [h, e] : controls_) {
    if (e.window == window && e.control == control && !e.object.isNull()) return e.widget;
  }
  return nullptr;
}

}  // namespace vorel::qt
