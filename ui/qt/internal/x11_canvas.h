#ifndef VOREL_UI_QT_INTERNAL_X11_CANVAS_H_
#define VOREL_UI_QT_INTERNAL_X11_CANVAS_H_

// Puts the pixels of a drawing panel straight into the panel's own X11 window. A panel that
// changes twenty times a second (the spectrum) would otherwise go through Qt's window
// backing store on every change: a paint of the window region, a round trip to the display
// server before each paint (the shared-memory image may still be read) and a flush, which
// cost more than everything else the player does while it plays. User-interface thread only.

#include <QImage>
#include <QRect>
#include <cstdint>
#include <memory>
#include <vector>

struct xcb_connection_t;

namespace vorel::qt {

class X11Canvas {
 public:
  // Null unless the application runs on the xcb platform and the display takes 24-bit images
  // of 32 bits per pixel, low byte first (the layout of an RGB32 QImage on this machine):
  // then the panel is painted by Qt as any other widget.
  static std::unique_ptr<X11Canvas> ForThisDisplay();
  // Whether ForThisDisplay gives a canvas: the same answer for the whole session.
  static bool Usable();
  ~X11Canvas();

  // Puts `area` of `image` (RGB32) at the same place in `window`, whose size is the image's.
  // False without drawing when the window is not of depth 24 (the caller then paints through
  // Qt from now on). Requests are split to stay within the server's request size.
  bool Put(std::uint32_t window, const QImage& image, const QRect& area);

 private:
  explicit X11Canvas(xcb_connection_t* connection);

  xcb_connection_t* connection_;
  std::size_t max_request_bytes_;
  std::uint32_t gc_ = 0;
  std::uint32_t gc_window_ = 0;       // the window gc_ was made for
  std::uint32_t checked_window_ = 0;  // the last window found to be of depth 24
  std::vector<std::uint8_t> rows_;    // a sub-rectangle's rows, packed for one request
};

}  // namespace vorel::qt

#endif  // VOREL_UI_QT_INTERNAL_X11_CANVAS_H_
