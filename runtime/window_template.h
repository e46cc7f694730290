#ifndef VOREL_RUNTIME_WINDOW_TEMPLATE_H_
#define VOREL_RUNTIME_WINDOW_TEMPLATE_H_

// The binary window template: every window of the program with its controls, their geometry,
// look and event bindings. The build makes it from windows/windows.desc and embeds it; start-up
// reads it once.
//
// Layout (integers 32-bit little-endian; a counted text is a 32-bit length then that many bytes;
// a C text ends in NUL):
//   window directory: byte count n (8 x windows), the n/8 WindowIds, n/8 slots (ignored)
//   per window: two words, two counted texts, control count c, byte count m, then m bytes:
//     c ControlIds, c record offsets (from the end of the offset table), then the records,
//     each preceded by its byte size. The first control is the window itself.
//   ControlRecord: type, 5 words, name (C text), remark (C text), handle slot, left, top, width,
//     height, word, container, child count k, k child ids, mouse pointer (counted bytes), tag
//     (C text), word, flags, tab order, event count e, e pairs (key, handler), 5 words, type data.
//
// Pure data code: thread-compatible, no global state.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/expected.h"
#include "runtime/text.h"

namespace vorel::runtime {

using WindowId = std::uint32_t;
using ControlId = std::uint32_t;
using UnitTypeId = std::uint32_t;

// Control types of the window set.
inline constexpr UnitTypeId kTypeWindow = 0x00010001;
inline constexpr UnitTypeId kTypeEditBox = 0x00010005;
inline constexpr UnitTypeId kTypePicBox = 0x00010006;
inline constexpr UnitTypeId kTypeShapeBox = 0x00010007;
inline constexpr UnitTypeId kTypeDrawPanel = 0x00010008;
inline constexpr UnitTypeId kTypeLabel = 0x0001000A;
inline constexpr UnitTypeId kTypeCheckBox = 0x0001000C;
inline constexpr UnitTypeId kTypeSliderBar = 0x00010014;
inline constexpr UnitTypeId kTypeCommonDlg = 0x0001001F;
inline constexpr UnitTypeId kTypeTimer = 0x00010020;
inline constexpr UnitTypeId kTypePicBtn = 0x0001002D;
inline constexpr UnitTypeId kTypeListView = 0x00020004;
inline constexpr UnitTypeId kTypeTransLabel = 0x00020005;
inline constexpr UnitTypeId kTypeSuperBtn = 0x00050001;
inline constexpr UnitTypeId kTypeSuperBar = 0x00060001;

// Flag bits of a record.
inline constexpr std::uint32_t kFlagVisible = 1;
inline constexpr std::uint32_t kFlagDisabled = 2;
inline constexpr std::uint32_t kFlagTabStop = 4;

// Handler reference that binds nothing.
inline constexpr std::int32_t kNoHandler = -1;

struct EventBinding {
  std::int32_t key = 0;
  std::int32_t handler = kNoHandler;  // index into the application's routine table
};

struct ControlRecord {
  ControlId id = 0;  // from the window's id list, not stored in the record itself
  UnitTypeId type = 0;
  Text name;
  Text remark;
  std::int32_t left = 0, top = 0, width = 0, height = 0;
  ControlId container = 0;  // 0: placed on the window
  std::vector<ControlId> children;
  Bytes mouse_pointer;  // 4 zero bytes: default; 4 bytes: a standard cursor; -1 + cursor file
  Text tag;
  std::uint32_t flags = 0;
  std::int32_t tab_order = 0;
  std::vector<EventBinding> events;
  Bytes type_data;  // begins with the type's 32-bit data version

  bool visible() const { return flags & kFlagVisible; }
  bool disabled() const { return flags & kFlagDisabled; }
};

struct WindowRecord {
  WindowId id = 0;
  std::uint32_t word1 = 0, word2 = 0;
  Text text1, text2;
  std::vector<ControlRecord> controls;  // controls[0] is the window itself

  // The record of `control`, or nullptr. The window's own id is tried first.
  const ControlRecord* Find(ControlId control) const;
};

struct WindowTemplate {
  std::vector<WindowRecord> windows;
  const WindowRecord* Find(WindowId window) const;
};

struct TemplateError {
  std::string detail;  // where the data broke, for tests and logs
};

// Reads a template. Any count or length that runs past the data, a text without its NUL,
// a record offset outside its block or trailing garbage gives an error; never reads out of bounds.
platform::Expected<WindowTemplate, TemplateError> ParseWindowTemplate(
    std::span<const std::uint8_t> data);

// The binary form of `tmpl`; ParseWindowTemplate(SerializeWindowTemplate(t)) gives t back.
Bytes SerializeWindowTemplate(const WindowTemplate& tmpl);

}  // namespace vorel::runtime

#endif  // VOREL_RUNTIME_WINDOW_TEMPLATE_H_
