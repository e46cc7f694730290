#ifndef VOREL_RUNTIME_TYPE_DATA_H_
#define VOREL_RUNTIME_TYPE_DATA_H_

// The type data at the end of a ControlRecord: the control type's own initial property values.
// Every type stores them the same way, as a keyed list:
//   data version (32-bit), entry count (32-bit), then per entry: key (signed 32-bit),
//   kind (1 byte: 0 integer, 1 text, 2 bytes), then a signed 32-bit integer, or a 32-bit length
//   and that many bytes.
// Keys below 0x1000 are the type's property indexes; the keys of TypeKey carry the look that no
// property index reaches (fonts, colours of button states, list columns, pictures).
//
// Pure data code: thread-compatible.

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <variant>

#include "platform/expected.h"
#include "runtime/text.h"
#include "runtime/window_template.h"

namespace vorel::runtime {

enum TypeKey : std::int32_t {
  kKeyCaption = 0x1001,        // Text
  kKeyFontFace = 0x1002,       // Text; empty: the default face
  kKeyFontHeight = 0x1003,     // pixels; 0: the default interface font
  kKeyFontWeight = 0x1004,     // 400 normal, 700 bold
  kKeyTextColour = 0x1005,     // 0x00BBGGRR
  kKeyBackColour = 0x1006,     // 0x00BBGGRR, 0xFF000000: none
  kKeyHotBackColour = 0x1007,  // SuperBtn background while the mouse is over it
  kKeyTooltip = 0x1008,        // Text
  kKeyOutlineColour = 0x1009,  // ShapeBox
  kKeyFillColour = 0x100A,     // ShapeBox
  kKeyColumns = 0x100B,        // ListView: per column a 32-bit width, a counted header text
  kKeyPicture0 = 0x100C,       // PicBtn pictures of its states (normal, hot, pressed)
  kKeyPicture1 = 0x100D,
  kKeyPicture2 = 0x100E,
  kKeyInterval = 0x100F,     // Timer, milliseconds
  kKeyMaximum = 0x1010,      // SliderBar, SuperBar
  kKeyPosition = 0x1011,     // SliderBar, SuperBar
  kKeyPlaceholder = 0x1012,  // EditBox: 1 = the sample address built from the web host
  kKeyAccessible = 0x1013,   // Text: what a screen reader says of a control without caption
};

inline constexpr std::uint32_t kNoColour = 0xFF000000;

using TypeValue = std::variant<std::int32_t, Text, Bytes>;

struct TypeData {
  std::uint32_t version = 1;
  std::map<std::int32_t, TypeValue> values;

  std::optional<std::int32_t> Int(std::int32_t key) const;
  Text GetText(std::int32_t key) const;  // empty when absent or not a text
  Bytes GetBytes(std::int32_t key) const;
};

platform::Expected<TypeData, TemplateError> ParseTypeData(std::span<const std::uint8_t> data);
Bytes SerializeTypeData(const TypeData& data);

// List-view columns in the kKeyColumns form.
struct ColumnSpec {
  Text header;
  std::int32_t width = 0;
};
Bytes SerializeColumns(const std::vector<ColumnSpec>& columns);
platform::Expected<std::vector<ColumnSpec>, TemplateError> ParseColumns(
    std::span<const std::uint8_t> data);

}  // namespace vorel::runtime

#endif  // VOREL_RUNTIME_TYPE_DATA_H_
