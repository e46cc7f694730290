#include "ui/qt/internal/qt_native_ui.h"

#include <QMenu>
#include <cstdio>

#include "runtime/bridge.h"
#include "ui/qt/internal/tray_menu.h"

namespace vorel::qt {

using runtime::NativeHandle;

namespace {

// An icon in the tray for the window of `e`: its clicks raise the window's tray event, and a
// right-click opens the program's tray menu.
QSystemTrayIcon* NewTrayIcon(const ControlEntry& e) {
  auto* tray = new QSystemTrayIcon(e.widget);
  const runtime::WindowId w = e.window;
  const runtime::ControlId c = e.control;
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
  return tray;
}

}  // namespace

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
  QPixmap picture = PixmapOf(icon);
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
    tray = NewTrayIcon(*e);
    trays_[window] = tray;
  }
  tray->setIcon(QIcon(picture));
  tray->setToolTip(QStringOf(tip));
  tray->show();
  tray_looks_[window] = {icon, tip};
  return true;
}

}  // namespace vorel::qt
