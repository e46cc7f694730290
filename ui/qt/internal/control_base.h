#ifndef VOREL_UI_QT_INTERNAL_CONTROL_BASE_H_
#define VOREL_UI_QT_INTERNAL_CONTROL_BASE_H_

// What every native control is built on: the property interface the runtime reaches it
// through, the tag that names its window and control, the conversions between the runtime's
// values and Qt's, and the focus mark. User-interface thread only.

#include <QColor>
#include <QCursor>
#include <QFont>
#include <QObject>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <initializer_list>

#include "runtime/bridge.h"
#include "runtime/control_types.h"
#include "runtime/native_ui.h"
#include "runtime/type_data.h"

class QPainter;

namespace vorel::qt {

using runtime::PropertyStatus;
using runtime::Value;

// A control's own properties (index 8 and above), served by its widget.
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
// The picture encoded in `bytes` (any format Qt reads); null when empty or unreadable.
QPixmap PixmapOf(const runtime::Bytes& bytes);

// The mark a control with the keyboard focus shows: a dotted frame just inside its edge, painted
// only when ShowsFocusMark: the control has the focus and the keyboard has moved the focus in
// its window (as desktop toolkits do, a window just opened or clicked shows no mark).
bool ShowsFocusMark(const QWidget* w);
void PaintFocusMark(QPainter& p, const QRect& area, QColor colour);

// For the controls' constructors and property tables.
//
// The index of property `Prop` of control type `Type`, from the runtime's table of control types.
template <class Type, class Prop>
constexpr int K() {
  return runtime::kIndexOf<Type, Prop>;
}
inline std::int32_t Int(const Value& v) { return runtime::ToInteger(v); }
// The font and the accessible name (the caption, else the role) every control takes from its
// type data.
void ApplyCommonLook(QWidget* w, const runtime::TypeData& data);

}  // namespace vorel::qt

#endif  // VOREL_UI_QT_INTERNAL_CONTROL_BASE_H_
