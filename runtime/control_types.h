#ifndef VOREL_RUNTIME_CONTROL_TYPES_H_
#define VOREL_RUNTIME_CONTROL_TYPES_H_

// The control types of the window template and the property indexes each serves: the one place
// where a property has a number. Code names a property by what it is (kPropCaption) and a
// control by an id that carries its type (Control<controls::SuperBtn>); the number comes from
// this table at compile time, so asking a control for a property its type does not have fails
// the build instead of ending the program at run time.
//
//   WriteProperty(kMainWindow, kStatusCaption, kPropCaption, "歌曲已删除！"_t);  // index 8
//   WriteProperty(kMainWindow, kPlayPauseButton, kPropCaption, "暂停"_t);       // index 22

#include <concepts>

#include "runtime/bridge.h"

namespace vorel::runtime {

// What a property is, whatever its number for a given type.
namespace property {
struct Left {};
struct Top {};
struct Width {};
struct Height {};
struct Tag {};
struct Visible {};
struct Disabled {};
struct Pointer {};
struct Caption {};
struct Tooltip {};
struct Checked {};
struct Outline {};
struct Fill {};
struct Minimum {};
struct Maximum {};
struct Position {};
struct Interval {};
struct Picture {};
struct PictureMode {};
struct PenWidth {};
struct PenColour {};
struct SelectedRow {};
struct AllRows {};
}  // namespace property

// The names application code uses.
namespace property_names {
inline constexpr property::Left kPropLeft;
inline constexpr property::Top kPropTop;
inline constexpr property::Width kPropWidth;
inline constexpr property::Height kPropHeight;
inline constexpr property::Tag kPropTag;
inline constexpr property::Visible kPropVisible;
inline constexpr property::Disabled kPropDisabled;
inline constexpr property::Pointer kPropPointer;
inline constexpr property::Caption kPropCaption;
inline constexpr property::Tooltip kPropTooltip;
inline constexpr property::Checked kPropChecked;
inline constexpr property::Outline kPropOutline;
inline constexpr property::Fill kPropFill;
inline constexpr property::Minimum kPropMinimum;
inline constexpr property::Maximum kPropMaximum;
inline constexpr property::Position kPropPosition;
inline constexpr property::Interval kPropInterval;
inline constexpr property::Picture kPropPicture;
inline constexpr property::PictureMode kPropPictureMode;
inline constexpr property::PenWidth kPropPenWidth;
inline constexpr property::PenColour kPropPenColour;
inline constexpr property::SelectedRow kPropSelectedRow;
inline constexpr property::AllRows kPropAllRows;
}  // namespace property_names

namespace controls {

// Served by the runtime itself for every control and window, whatever its type.
struct AnyControl {
  static constexpr PropertyIndex Index(property::Left) { return 0; }
  static constexpr PropertyIndex Index(property::Top) { return 1; }
  static constexpr PropertyIndex Index(property::Width) { return 2; }   // 0..32627 when written
  static constexpr PropertyIndex Index(property::Height) { return 3; }  // 0..32627 when written
  static constexpr PropertyIndex Index(property::Tag) { return 4; }
  static constexpr PropertyIndex Index(property::Visible) { return 5; }
  static constexpr PropertyIndex Index(property::Disabled) { return 6; }
  static constexpr PropertyIndex Index(property::Pointer) { return 7; }
  static constexpr PropertyIndex kLastShared = 7;
};

// A type-specific property: "static constexpr PropertyIndex Index(property::X) { return n; }".
#define VOREL_PROPERTY(name, index) \
  static constexpr PropertyIndex Index(property::name) { return index; }

struct Window : AnyControl {
  static constexpr UnitTypeId kTypeId = kTypeWindow;
  using AnyControl::Index;
  VOREL_PROPERTY(Caption, 8)  // the title
};
struct EditBox : AnyControl {
  static constexpr UnitTypeId kTypeId = kTypeEditBox;
  using AnyControl::Index;
  VOREL_PROPERTY(Caption, 8)  // the content
};
struct PicBox : AnyControl {
  static constexpr UnitTypeId kTypeId = kTypePicBox;
  using AnyControl::Index;
  VOREL_PROPERTY(Picture, 10)      // Bytes of an image file; empty clears it
  VOREL_PROPERTY(PictureMode, 11)  // 0 own size, 1 stretched, 2 centred and scaled down
};
struct ShapeBox : AnyControl {
  static constexpr UnitTypeId kTypeId = kTypeShapeBox;
  using AnyControl::Index;
  VOREL_PROPERTY(Outline, 13)
  VOREL_PROPERTY(Fill, 14)
};
struct DrawPanel : AnyControl {
  static constexpr UnitTypeId kTypeId = kTypeDrawPanel;
  using AnyControl::Index;
  VOREL_PROPERTY(PenWidth, 16)
  VOREL_PROPERTY(PenColour, 17)
};
struct Label : AnyControl {
  static constexpr UnitTypeId kTypeId = kTypeLabel;
  using AnyControl::Index;
  VOREL_PROPERTY(Caption, 8)
};
struct TransLabel : AnyControl {
  static constexpr UnitTypeId kTypeId = kTypeTransLabel;
  using AnyControl::Index;
  VOREL_PROPERTY(Caption, 8)
};
struct CheckBox : AnyControl {
  static constexpr UnitTypeId kTypeId = kTypeCheckBox;
  using AnyControl::Index;
  VOREL_PROPERTY(Caption, 8)
  VOREL_PROPERTY(Checked, 18)
};
struct SliderBar : AnyControl {
  static constexpr UnitTypeId kTypeId = kTypeSliderBar;
  using AnyControl::Index;
  VOREL_PROPERTY(Minimum, 17)   // limited to 32767
  VOREL_PROPERTY(Maximum, 18)   // limited to 32767
  VOREL_PROPERTY(Position, 19)  // kept between minimum and maximum
};
struct CommonDlg : AnyControl {
  static constexpr UnitTypeId kTypeId = kTypeCommonDlg;
  using AnyControl::Index;
};
struct Timer : AnyControl {
  static constexpr UnitTypeId kTypeId = kTypeTimer;
  using AnyControl::Index;
  VOREL_PROPERTY(Interval, 8)  // milliseconds; 0 stops the timer
};
struct PicBtn : AnyControl {
  static constexpr UnitTypeId kTypeId = kTypePicBtn;
  using AnyControl::Index;
};
struct ListView : AnyControl {
  static constexpr UnitTypeId kTypeId = kTypeListView;
  using AnyControl::Index;
  VOREL_PROPERTY(SelectedRow, 35)  // 0-based, -1 for none
  VOREL_PROPERTY(AllRows, 37)      // every row as list-view records
};
struct SuperBtn : AnyControl {
  static constexpr UnitTypeId kTypeId = kTypeSuperBtn;
  using AnyControl::Index;
  VOREL_PROPERTY(Caption, 22)
  VOREL_PROPERTY(Tooltip, 33)
};
struct SuperBar : AnyControl {
  static constexpr UnitTypeId kTypeId = kTypeSuperBar;
  using AnyControl::Index;
  VOREL_PROPERTY(Maximum, 16)
  VOREL_PROPERTY(Position, 17)
};

#undef VOREL_PROPERTY

}  // namespace controls

// The index `Type` gives the property `Prop`; only for a property the type has.
template <class Type, class Prop>
concept HasProperty = requires {
  { Type::Index(Prop{}) } -> std::same_as<PropertyIndex>;
};
template <class Type, class Prop>
requires HasProperty<Type, Prop>
inline constexpr PropertyIndex kIndexOf = Type::Index(Prop{});

// A control id that knows its control's type. It converts to a plain ControlId wherever one is
// taken.
template <class Type>
struct Control {
  ControlId id;
  constexpr operator ControlId() const { return id; }
};

// Property access by a typed control and a property name.
template <class Type, class Prop>
requires HasProperty<Type, Prop> Value ReadProperty(WindowId window, Control<Type> control, Prop) {
  return ReadProperty(window, control.id, kIndexOf<Type, Prop>);
}
template <class Type, class Prop>
requires HasProperty<Type, Prop> std::int32_t ReadIntProperty(WindowId window,
                                                              Control<Type> control, Prop) {
  return ReadIntProperty(window, control.id, kIndexOf<Type, Prop>);
}
template <class Type, class Prop>
requires HasProperty<Type, Prop> Text ReadTextProperty(WindowId window, Control<Type> control,
                                                       Prop) {
  return ReadTextProperty(window, control.id, kIndexOf<Type, Prop>);
}
template <class Type, class Prop>
requires HasProperty<Type, Prop> Bytes ReadBytesProperty(WindowId window, Control<Type> control,
                                                         Prop) {
  return ReadBytesProperty(window, control.id, kIndexOf<Type, Prop>);
}
template <class Type, class Prop>
requires HasProperty<Type, Prop>
void WriteProperty(WindowId window, Control<Type> control, Prop, const Value& value) {
  WriteProperty(window, control.id, kIndexOf<Type, Prop>, value);
}

// The properties every control shares, for code that walks controls by their plain ids.
template <class Prop>
requires HasProperty<controls::AnyControl, Prop> std::int32_t ReadIntProperty(WindowId window,
                                                                              ControlId control,
                                                                              Prop) {
  return ReadIntProperty(window, control, kIndexOf<controls::AnyControl, Prop>);
}
template <class Prop>
requires HasProperty<controls::AnyControl, Prop> Text ReadTextProperty(WindowId window,
                                                                       ControlId control, Prop) {
  return ReadTextProperty(window, control, kIndexOf<controls::AnyControl, Prop>);
}
template <class Prop>
requires HasProperty<controls::AnyControl, Prop>
void WriteProperty(WindowId window, ControlId control, Prop, const Value& value) {
  WriteProperty(window, control, kIndexOf<controls::AnyControl, Prop>, value);
}

}  // namespace vorel::runtime

#endif  // VOREL_RUNTIME_CONTROL_TYPES_H_
