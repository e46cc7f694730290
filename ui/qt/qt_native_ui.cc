#include "ui/qt/internal/qt_native_ui.h"

#include <QBitmap>
#include <QFontMetrics>
#include <QGridLayout>
#include <QHelpEvent>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QToolTip>

#include <cstdio>

#include "platform/code_page.h"
#include "runtime/bridge.h"
#include "ui/qt/internal/tray_menu.h"
#include "ui/qt/qt_ui.h"

namespace vorel::qt {

using runtime::Geometry;
using runtime::NativeHandle;

namespace {

NativeHandle HandleOf(const QObject* o) { return reinterpret_cast<NativeHandle>(o); }

QPixmap PictureOf(const runtime::Bytes& bytes) {
  QPixmap p;
  if (!bytes.empty()) p.loadFromData(bytes.data(), static_cast<uint>(bytes.size()));
  return p;
}

std::string Utf8(const runtime::Text& t) { return platform::Gb18030ToUtf8Lossy(t); }

// Shows a control's tooltip the way its flags ask: centred puts the tip centred just below the
// control instead of at the pointer; balloon gives it rounded corners.
class ToolTipPlacement : public QObject {
 public:
  explicit ToolTipPlacement(QWidget* owner) : QObject(owner) {}
  bool balloon = false;
  bool centred = false;

  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() != QEvent::ToolTip || !o->isWidgetType()) return false;
    auto* w = static_cast<QWidget*>(o);
    const QString text = w->toolTip();
    if (text.isEmpty()) {
      QToolTip::hideText();
      return true;
    }
    QPoint at = static_cast<QHelpEvent*>(e)->globalPos();
    if (centred) {
      const QSize tip = QFontMetrics(QToolTip::font()).size(0, text) + QSize(8, 6);
      // QToolTip shows the tip this far right of and below the point it is given.
      const QPoint offset(2, 16);
      at = w->mapToGlobal(QPoint((w->width() - tip.width()) / 2, w->height())) - offset;
    }
    QToolTip::showText(at, text, w);
    return true;
  }
};

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

template <typename T>
T* QtNativeUi::As(NativeHandle h) const {
  const ControlEntry* e = Entry(h);
  return e ? dynamic_cast<T*>(e->object.data()) : nullptr;
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

int QtNativeUi::RowCount(NativeHandle list) {
  auto* l = As<ListView>(list);
  return l ? l->RowCount() : 0;
}

int QtNativeUi::ColumnCount(NativeHandle list) {
  auto* l = As<ListView>(list);
  return l ? l->columnCount() : 0;
}

int QtNativeUi::InsertRow(NativeHandle list, int position, const runtime::ListRow& row) {
  auto* l = As<ListView>(list);
  return l ? l->InsertRow(position, row) : -1;
}

bool QtNativeUi::DeleteRow(NativeHandle list, int row) {
  auto* l = As<ListView>(list);
  return l && l->DeleteRow(row);
}

void QtNativeUi::DeleteAllRows(NativeHandle list) {
  if (auto* l = As<ListView>(list)) l->DeleteAllRows();
}

bool QtNativeUi::GetRow(NativeHandle list, int row, runtime::ListRow* out) {
  auto* l = As<ListView>(list);
  return l && l->GetRow(row, out);
}

bool QtNativeUi::SetCellText(NativeHandle list, int row, int column, const runtime::Text& text) {
  auto* l = As<ListView>(list);
  return l && l->SetCellText(row, column, text);
}

void QtNativeUi::FocusControl(NativeHandle h) {
  const ControlEntry* e = Entry(h);
  if (e && e->widget) e->widget->setFocus(Qt::OtherFocusReason);
}

bool QtNativeUi::IsLiveHandle(NativeHandle h) const { return Entry(h) != nullptr; }

int QtNativeUi::ShowMessageBox(const runtime::Text& content, int flags,
                               const runtime::Text& caption) {
  if (NonInteractive()) {
    std::string text = Utf8(content);
    for (std::size_t p; (p = text.find("\r\n")) != std::string::npos;) text.erase(p, 1);
    while (!text.empty() && text.back() == '\n') text.pop_back();
    std::fprintf(stderr, "%s\n%s\n", Utf8(caption).c_str(), text.c_str());
    std::fflush(stderr);
    return 0;
  }
  QMessageBox box;
  box.setWindowTitle(QStringOf(caption));
  box.setText(QStringOf(content));
  switch (flags & 0xF0) {
    case 0x10: box.setIcon(QMessageBox::Critical); break;
    case 0x20: box.setIcon(QMessageBox::Question); break;
    case 0x30: box.setIcon(QMessageBox::Warning); break;
    case 0x40: box.setIcon(QMessageBox::Information); break;
    default: break;
  }
  using B = QMessageBox::StandardButton;
  static const QMessageBox::StandardButtons kSets[] = {B::Ok,
                                                       B::Ok | B::Cancel,
                                                       B::Abort | B::Retry | B::Ignore,
                                                       B::Yes | B::No | B::Cancel,
                                                       B::Yes | B::No,
                                                       B::Retry | B::Cancel};
  const int set = flags & 0xF;
  box.setStandardButtons(set < 6 ? kSets[set] : QMessageBox::StandardButtons(B::Ok));
  // A narrow box would have its title cut by the window manager: the box is made at least as
  // wide as the title plus room for the title bar's buttons.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout())) {
    const int title_width =
        QFontMetrics(QApplication::font()).horizontalAdvance(box.windowTitle()) + 160;
    grid->addItem(new QSpacerItem(title_width, 0, QSizePolicy::Minimum, QSizePolicy::Minimum),
                  grid->rowCount(), 0, 1, grid->columnCount());
  }
  switch (box.exec()) {
    case B::Cancel: return 1;
    case B::Abort: return 2;
    case B::Retry: return 3;
    case B::Ignore: return 4;
    case B::Yes: return 5;
    case B::No: return 6;
    default: return 0;
  }
}

void QtNativeUi::WarnNoTray() {
  if (tray_warned_) return;
  std::fprintf(stderr, "vorel: this desktop has no system tray; the tray icon is not shown\n");
  tray_warned_ = true;
}

bool QtNativeUi::TrayAvailableNow() {
  constexpr qint64 kRecheckMs = 2000;
  if (tray_absent_since_.isValid() && tray_absent_since_.elapsed() < kRecheckMs) return false;
  const bool available = QSystemTrayIcon::isSystemTrayAvailable();
  if (available) tray_absent_since_.invalidate();
  else tray_absent_since_.start();
  return available;
}

bool QtNativeUi::SetTrayIcon(NativeHandle window, const runtime::Bytes& icon,
                             const runtime::Text& tip) {
  const ControlEntry* e = Entry(window);
  if (e == nullptr) return false;
  auto existing = trays_.find(window);
  auto shown = tray_looks_.find(window);
  if (existing != trays_.end() && existing->second && shown != tray_looks_.end() &&
      shown->second.icon == icon) {
    if (shown->second.tip != tip) {
      existing->second->setToolTip(QStringOf(tip));
      shown->second.tip = tip;
    }
    existing->second->show();
    return true;
  }
  const bool tray_available = TrayAvailableNow();
  if (!icon.empty() && existing == trays_.end() && !tray_available) {
    WarnNoTray();
    return false;  // what the lines below come to as well, without decoding the icon
  }
  QPixmap picture = PictureOf(icon);
  if (picture.isNull()) {
    if (existing != trays_.end()) {
      if (existing->second) {
        existing->second->hide();
        existing->second->deleteLater();
      }
      trays_.erase(existing);
    }
    tray_looks_.erase(window);
    return !icon.empty() ? false : true;
  }
  if (!tray_available) {
    WarnNoTray();
    return false;
  }
  QSystemTrayIcon* tray = existing != trays_.end() ? existing->second.data() : nullptr;
  if (tray == nullptr) {
    tray = new QSystemTrayIcon(e->widget);
    const runtime::WindowId w = e->window;
    const runtime::ControlId c = e->control;
    QObject::connect(tray, &QSystemTrayIcon::activated, tray,
                     [w, c](QSystemTrayIcon::ActivationReason reason) {
                       int kind = reason == QSystemTrayIcon::Trigger       ? 1
                                  : reason == QSystemTrayIcon::DoubleClick ? 2
                                  : reason == QSystemTrayIcon::Context     ? 3
                                                                           : 0;
                       // A right-click opens the tray menu instead; showing the window as
                       // well would close the menu at once (and undo its "hide" item).
                       if (kind == 3 && !TrayContextMenu()->actions().isEmpty()) return;
                       if (kind && runtime::IsWindowLoaded(w)) {
                         runtime::RaiseEvent(w, c, runtime::kEventTrayIcon, {kind});
                       }
                     });
    tray->setContextMenu(TrayContextMenu());
    trays_[window] = tray;
  }
  tray->setIcon(QIcon(picture));
  tray->setToolTip(QStringOf(tip));
  tray->show();
  tray_looks_[window] = {icon, tip};
  return true;
}

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

void QtNativeUi::ClearDrawing(NativeHandle panel, const Geometry* area) {
  auto* p = As<DrawPanel>(panel);
  if (p == nullptr) return;
  p->Clear(area ? QRect(area->left, area->top, area->width, area->height) : p->rect());
}

void QtNativeUi::DrawGradientRectangle(NativeHandle panel, const Geometry& area, int mode,
                                       const std::vector<std::uint32_t>& colours) {
  auto* p = As<DrawPanel>(panel);
  if (p == nullptr || colours.empty()) return;
  p->Gradient(QRect(area.left, area.top, area.width, area.height), mode, colours);
}

void QtNativeUi::AddToolTip(NativeHandle h, const runtime::Text& text, bool balloon, bool centred) {
  const ControlEntry* e = Entry(h);
  if (e == nullptr || e->widget == nullptr) return;
  // One tool per control: a later call replaces the text and flags of the earlier one.
  e->widget->setToolTip(QStringOf(text));
  auto* tip = e->widget->findChild<ToolTipPlacement*>(QString(), Qt::FindDirectChildrenOnly);
  if (tip == nullptr) {
    tip = new ToolTipPlacement(e->widget);
    e->widget->installEventFilter(tip);
  }
  if (tip->balloon != balloon) {
    // The tip takes its look from the control's style sheet; no control has one otherwise.
    e->widget->setStyleSheet(balloon ? QStringLiteral("QToolTip { border: 1px solid "
                                                      "palette(shadow); border-radius: 8px; "
                                                      "padding: 3px; }")
                                     : QString());
  }
  tip->balloon = balloon;
  tip->centred = centred;
}

QWidget* QtNativeUi::WidgetOf(runtime::WindowId window, runtime::ControlId control) const {
  for (const auto& [h, e] : controls_) {
    if (e.window == window && e.control == control && !e.object.isNull()) return e.widget;
  }
  return nullptr;
}

}  // namespace vorel::qt
