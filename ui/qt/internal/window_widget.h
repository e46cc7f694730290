#ifndef VOREL_UI_QT_INTERNAL_WINDOW_WIDGET_H_
#define VOREL_UI_QT_INTERNAL_WINDOW_WIDGET_H_

// The window itself with the order Tab walks its controls in, and the two controls without a
// widget: the timer and the file dialog holder. User-interface thread only.

#include <QTimer>
#include <QWidget>
#include <vector>

#include "ui/qt/internal/control_base.h"

namespace vorel::qt {

class WindowWidget : public QWidget, public PropertyHost {
 public:
  explicit WindowWidget(const runtime::TypeData& data);
  PropertyStatus Get(int index, Value* out) override;
  PropertyStatus Set(int index, const Value& v) override;
  // The controls Tab walks, in reading order: shown, enabled, taking the focus by Tab and at
  // least partly inside the window (a panel parked beyond its edge is skipped). Blocks are read
  // as a unit: of two, the one wholly above the other comes first, else the one further left.
  std::vector<QWidget*> FocusOrder() const;

 protected:
  void closeEvent(QCloseEvent* e) override;
  bool focusNextPrevChild(bool next) override;
};

class TimerControl : public QTimer, public PropertyHost {
 public:
  TimerControl(QObject* parent, const runtime::TypeData& data);
  PropertyStatus Get(int index, Value* out) override;
  PropertyStatus Set(int index, const Value& v) override;

 private:
  int interval_ = 0;
};

// The file dialog holder: no widget and no properties beyond the common ones.
class CommonDlg : public QObject, public PropertyHost {
 public:
  explicit CommonDlg(QObject* parent) : QObject(parent) {}
  PropertyStatus Get(int, Value*) override { return PropertyStatus::kUnknownIndex; }
  PropertyStatus Set(int, const Value&) override { return PropertyStatus::kUnknownIndex; }
};

}  // namespace vorel::qt

#endif  // VOREL_UI_QT_INTERNAL_WINDOW_WIDGET_H_
