#ifndef VOREL_RUNTIME_WINDOW_OPS_H_
#define VOREL_RUNTIME_WINDOW_OPS_H_

// Window, dialog and drawing operations of the runtime library, and the list view's commands.
// Controls are named as in bridge.h. Any thread may call them (they are carried to the
// user-interface thread); once the program is ending they return their empty value at once.
// A window or control that is not loaded is the fatal error "指定窗口或窗口组件不存在或尚未载入",
// except where a result is given for it below.

#include <cstdint>
#include <optional>
#include <vector>

#include "runtime/bridge.h"
#include "runtime/list_view_records.h"

namespace vorel::runtime {

// Message box buttons and results (the Win32 values the application's code uses).
inline constexpr int kMessageBoxOk = 0;

// Shows a message box (caption "信息：" when empty) and returns 0 OK, 1 Cancel, 2 Abort,
// 3 Retry, 4 Ignore, 5 Yes, 6 No. With nobody to answer (offscreen, VOREL_NONINTERACTIVE=1) it
// prints the caption and text to standard error and answers OK.
int ShowMessageBox(const Text& content, int flags = 0, const Text& caption = {});

// Gives a control the keyboard focus.
void FocusControl(WindowId window, ControlId control);
// The native handle of a window or control (0 when it has none), for AddToolTip.
std::int64_t WindowHandle(WindowId window, ControlId control);
// Attaches a tooltip with `text` to the native control `handle`; 0 does nothing.
void AddToolTip(std::int64_t handle, const Text& text, bool balloon, bool centred);

// Shows, replaces or (with empty or unreadable `icon`) removes the window's tray icon; the tip is
// cut to 62 bytes on a character boundary. When the desktop has no tray this is said once on
// standard error and the program goes on.
void SetTrayIcon(WindowId window, const Bytes& icon, const Text& tip = {});
// Gives the window the outline of the picture's pixels that are not `transparent` (0x00BBGGRR).
void SetShapePicture(WindowId window, const Bytes& picture, std::uint32_t transparent = 0xFFFFFF);

// Drawing on a DrawPanel. Without an area the whole panel is cleared.
void ClearDrawing(WindowId window, ControlId panel, std::optional<std::int32_t> left = {},
                  std::optional<std::int32_t> top = {}, std::optional<std::int32_t> width = {},
                  std::optional<std::int32_t> height = {});
// Fills the rectangle with a gradient through `colours` (0x00BBGGRR); mode clamped to 1..8
// (1 left-right, 2 top-bottom, 3..8 diagonals and centre forms). Equal colours fill solidly; a
// rectangle narrower or lower than 1 or wholly outside the panel draws nothing. The pen colour
// (property 17) is used when no colour is given.
void DrawGradientRectangle(WindowId window, ControlId panel, std::int32_t left, std::int32_t top,
                           std::int32_t width, std::int32_t height, int mode = 2,
                           const std::vector<std::uint32_t>& colours = {});

// List views (rows and columns 0-based).
int RowCount(WindowId window, ControlId list);
int ColumnCount(WindowId window, ControlId list);
// Inserts a row at `position` (absent or negative: appended) with title and numbers; the index
// of the new row.
int InsertRow(WindowId window, ControlId list, std::optional<int> position = {},
              const Text& title = {}, std::int32_t image = -1, std::int32_t state_image = -1,
              std::int32_t indent = 0, std::int32_t data = 0);
void DeleteRow(WindowId window, ControlId list, int row);  // a row outside the list: nothing
void DeleteAllRows(WindowId window, ControlId list);
Text GetCellText(WindowId window, ControlId list, int row, int column = 0);  // empty outside
void SetCellText(WindowId window, ControlId list, int row, int column, const Text& text);
// A whole row, its cells and numbers, in one call; false for a row outside the list.
bool GetRow(WindowId window, ControlId list, int row, ListRow* out);
std::int32_t GetRowImage(WindowId window, ControlId list, int row);       // 0 outside the list
std::int32_t GetRowStateImage(WindowId window, ControlId list, int row);  // -1 for none
std::int32_t GetRowIndent(WindowId window, ControlId list, int row);
std::int32_t GetRowData(WindowId window, ControlId list, int row);

}  // namespace vorel::runtime

#endif  // VOREL_RUNTIME_WINDOW_OPS_H_
