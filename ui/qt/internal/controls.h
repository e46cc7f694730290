#ifndef VOREL_UI_QT_INTERNAL_CONTROLS_H_
#define VOREL_UI_QT_INTERNAL_CONTROLS_H_

// The native widgets of the fifteen control types. Each serves its type's property indexes
// (8 and above) through PropertyHost and raises its own events (key 0 and up) through the
// runtime; the shared mouse, keyboard and focus events are raised by the application object
// (input.cc). User-interface thread only.

#include <QAbstractButton>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QSlider>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>
#include <memory>
#include <vector>

#include "runtime/bridge.h"
#include "runtime/native_ui.h"
#include "runtime/type_data.h"
#include "ui/qt/internal/x11_canvas.h"

namespace vorel::qt {

using runtime::PropertyStatus;
using runtime::Value;

class PropertyHost {
 public:
  virtual ~PropertyHost() = default;
  virtual PropertyStatus Get(int index, Value* out) = 0;
  virtual PropertyStatus Set(int index, const Value& v) = 0;
};

// Where a control belongs, stored on its QObject so input events find their control.
void TagControl(QObject* object, runtime::WindowId window, runtime::ControlId control);
// The tagged object `object` belongs to (itself or an ancestor), or null.
const QObject* ControlObjectOf(const QObject* object);
// The control `object` belongs to; false when none or when its window is being destroyed.
bool ControlOf(const QObject* object, runtime::WindowId* window, runtime::ControlId* control);
void MarkDead(QObject* object);
// Raises an event of the control carried by `object` and returns the handler's value.
runtime::EventResult RaiseOwn(QObject* object, int key,
                              std::initializer_list<std::int32_t> args = {});

QColor ColourOf(std::uint32_t bgr);
QString QStringOf(const runtime::Text& text);
runtime::Text TextOf(const QString& s);
QFont FontOf(const runtime::TypeData& data);
QCursor CursorOf(const runtime::Bytes& pointer, bool* custom);

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

class ShapeBox : public QWidget, public PropertyHost {
 public:
  ShapeBox(QWidget* parent, const runtime::TypeData& data);
  PropertyStatus Get(int index, Value* out) override;
  PropertyStatus Set(int index, const Value& v) override;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  std::uint32_t outline_, fill_;
};

// A caption too long for its label shows the characters that fit whole, so none is cut in half;
// the text itself stays whole (reading it gives it all).
class TextLabel : public QLabel, public PropertyHost {
 public:
  TextLabel(QWidget* parent, const runtime::TypeData& data);
  PropertyStatus Get(int index, Value* out) override;
  PropertyStatus Set(int index, const Value& v) override;

 protected:
  void paintEvent(QPaintEvent* e) override;
};

class EditBox : public QLineEdit, public PropertyHost {
 public:
  EditBox(QWidget* parent, const runtime::TypeData& data);
  PropertyStatus Get(int index, Value* out) override;
  PropertyStatus Set(int index, const Value& v) override;
};

class PicBox : public QWidget, public PropertyHost {
 public:
  PicBox(QWidget* parent, const runtime::TypeData& data);
  PropertyStatus Get(int index, Value* out) override;
  PropertyStatus Set(int index, const Value& v) override;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  runtime::Bytes bytes_;
  QPixmap picture_;
  int mode_ = 0;
};

class DrawPanel : public QWidget, public PropertyHost {
 public:
  DrawPanel(QWidget* parent, const runtime::TypeData& data);
  PropertyStatus Get(int index, Value* out) override;
  PropertyStatus Set(int index, const Value& v) override;
  void Clear(const QRect& area);
  void Gradient(const QRect& area, int mode, const std::vector<std::uint32_t>& colours);

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  // None while the panel puts its pixels into its window itself (direct_).
  QPaintEngine* paintEngine() const override;

 private:
  // Puts `area` of the canvas straight into the panel's window. False when that cannot show
  // the canvas as it is (a scaled screen, a window of another depth): the panel then leaves
  // the direct way for good and Qt paints it.
  bool PutDirect(const QRect& area);
  // Stops putting pixels straight into the window: Qt paints the panel from now on.
  void LeaveDirect();
  // One painter serves every gradient between two paints. Closed before the canvas is shown,
  // compared or replaced.
  QPainter& CanvasPainter();
  void EndDrawing() { painter_.reset(); }
  // Fills `area` (clipped to the canvas) with one opaque colour by writing the pixels: the
  // same pixels a painter's fill gives, without opening a painter for it. Clearing and the
  // spectrum's bars (some eighty rectangles twenty times a second) are all such fills.
  void FillSolid(const QRect& area, QColor colour);
  // Notes that `area` of the canvas was drawn on. The screen catches up once, when the drawing
  // calls of the current event are done (Publish), not once per call.
  void Touch(const QRect& area);
  // Repaints the smallest rectangle that holds every pixel of the touched area that differs
  // from what the screen was last given; nothing when a tick drew the same picture again.
  void Publish();

  QImage canvas_;
  // The canvas as the screen was last given it, outside `touched_` always equal to canvas_.
  QImage shown_;
  QRect touched_;        // drawn on since the last Publish
  QRect painted_early_;  // painted (so possibly shown) after a touch, before Publish
  bool publish_queued_ = false;
  std::unique_ptr<QPainter> painter_;  // open on canvas_ while gradient calls arrive
  // On an X11 display the panel has a window of its own and puts the canvas into it (see
  // x11_canvas.h); null elsewhere (offscreen, Wayland), where Qt paints it.
  std::unique_ptr<X11Canvas> direct_;
  QColor background_;
  int pen_width_ = 1;
  std::uint32_t pen_colour_ = 0;
};

class CheckBox : public QCheckBox, public PropertyHost {
 public:
  CheckBox(QWidget* parent, const runtime::TypeData& data);
  PropertyStatus Get(int index, Value* out) override;
  PropertyStatus Set(int index, const Value& v) override;
};

// A slider whose groove takes a left click as "go here": the handle jumps under the pointer
// and can be dragged on from there. Its event is raised for what the user does only.
class SliderBar : public QSlider, public PropertyHost {
 public:
  SliderBar(QWidget* parent, const runtime::TypeData& data);
  PropertyStatus Get(int index, Value* out) override;
  PropertyStatus Set(int index, const Value& v) override;

 protected:
  void mousePressEvent(QMouseEvent* e) override;
};

class SuperBar : public QWidget, public PropertyHost {
 public:
  SuperBar(QWidget* parent, const runtime::TypeData& data);
  PropertyStatus Get(int index, Value* out) override;
  PropertyStatus Set(int index, const Value& v) override;

 protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  // A wheel notch or an arrow key moves the bar by a twentieth of its range.
  void wheelEvent(QWheelEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void MoveTo(int x);
  void StepBy(int steps);
  int wheel_rest_ = 0;  // wheel travel (eighths of a degree) not yet a whole notch
  int maximum_ = 100;
  int position_ = 0;
};

// Buttons take the focus from Tab only, never from a click, and press on Enter as on Space.
class SuperBtn : public QAbstractButton, public PropertyHost {
 public:
  SuperBtn(QWidget* parent, const runtime::TypeData& data);
  PropertyStatus Get(int index, Value* out) override;
  PropertyStatus Set(int index, const Value& v) override;

 protected:
  void paintEvent(QPaintEvent*) override;
  void keyPressEvent(QKeyEvent* e) override;
  void enterEvent(QEnterEvent*) override;
  void leaveEvent(QEvent*) override;

 private:
  std::uint32_t text_colour_, back_colour_, hot_colour_;
  bool hot_ = false;
};

class PicBtn : public QAbstractButton, public PropertyHost {
 public:
  PicBtn(QWidget* parent, const runtime::TypeData& data);
  PropertyStatus Get(int index, Value* out) override;
  PropertyStatus Set(int index, const Value& v) override;

 protected:
  void paintEvent(QPaintEvent*) override;
  void keyPressEvent(QKeyEvent* e) override;
  void enterEvent(QEnterEvent*) override;
  void leaveEvent(QEvent*) override;

 private:
  QPixmap pictures_[3];
  bool hot_ = false;
};

// A report-style list. Each row keeps the cells' bytes exactly as they were given (a path that
// is not valid in the code page comes back unchanged) and converts them for display only when
// they are painted.
//
// Rows appended in a burst (a folder scan adds one per file, with events processed between)
// are held back and reach the view together at most kAppendBatchMs later, so the view lays
// itself out and repaints a few times a second instead of once per row. Held rows count and
// read as rows at once; anything that changes the order or the selection lets them in first.
class ListView : public QTreeWidget, public PropertyHost {
 public:
  static constexpr int kAppendBatchMs = 50;

  ListView(QWidget* parent, const runtime::TypeData& data);
  PropertyStatus Get(int index, Value* out) override;
  PropertyStatus Set(int index, const Value& v) override;
  int RowCount() const;
  int InsertRow(int position, const runtime::ListRow& row);
  bool GetRow(int row, runtime::ListRow* out) const;
  bool SetCellText(int row, int column, const runtime::Text& text);
  bool DeleteRow(int row);
  void DeleteAllRows();
  // Moves the held rows into the view.
  void FlushAppends();

 protected:
  bool viewportEvent(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void paintEvent(QPaintEvent* e) override;

 private:
  std::vector<runtime::ListRow> held_;
  QTimer flush_timer_;
  QElapsedTimer last_append_;
};

class TimerControl : public QTimer, public PropertyHost {
 public:
  TimerControl(QObject* parent, const runtime::TypeData& data);
  PropertyStatus Get(int index, Value* out) override;
  PropertyStatus Set(int index, const Value& v) override;

 private:
  int interval_ = 0;
};

// The mark a control with the keyboard focus shows: a dotted frame just inside its edge, painted
// only when ShowsFocusMark: the control has the focus and the keyboard has moved the focus in
// its window (as desktop toolkits do, a window just opened or clicked shows no mark).
bool ShowsFocusMark(const QWidget* w);
void PaintFocusMark(QPainter& p, const QRect& area, QColor colour);

// The file dialog holder: no widget and no properties beyond the common ones.
class CommonDlg : public QObject, public PropertyHost {
 public:
  explicit CommonDlg(QObject* parent) : QObject(parent) {}
  PropertyStatus Get(int, Value*) override { return PropertyStatus::kUnknownIndex; }
  PropertyStatus Set(int, const Value&) override { return PropertyStatus::kUnknownIndex; }
};

}  // namespace vorel::qt

#endif  // VOREL_UI_QT_INTERNAL_CONTROLS_H_
