#ifndef VOREL_UI_QT_INTERNAL_CONTROLS_H_
#define VOREL_UI_QT_INTERNAL_CONTROLS_H_

// The native widgets of the fifteen control types, for the code that makes them. Each serves its
// type's property indexes (8 and above) through PropertyHost and raises its own events (key 0 and
// up) through the runtime; the shared mouse, keyboard and focus events are raised by the
// application object (session.cc). User-interface thread only.

#include "ui/qt/internal/bars.h"
#include "ui/qt/internal/buttons.h"
#include "ui/qt/internal/control_base.h"
#include "ui/qt/internal/draw_panel.h"
#include "ui/qt/internal/labels.h"
#include "ui/qt/internal/list_view.h"
#include "ui/qt/internal/window_widget.h"

#endif  // VOREL_UI_QT_INTERNAL_CONTROLS_H_
