#ifndef VOREL_UI_QT_INTERNAL_TRAY_MENU_H_
#define VOREL_UI_QT_INTERNAL_TRAY_MENU_H_

// The one context menu every tray icon of the program shows (desktop.cc fills it).

class QMenu;

namespace vorel::qt {

// Created on first use and kept for the life of the process. User-interface thread only.
QMenu* TrayContextMenu();

}  // namespace vorel::qt

#endif  // VOREL_UI_QT_INTERNAL_TRAY_MENU_H_
