#include "ui/qt/internal/x11_canvas.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vorel::qt {
namespace {

// Whether the first screen's default visual (the one Qt gives opaque windows) keeps red, green
// and blue in the bytes where an RGB32 QImage has them.
bool RootVisualIsRgb(const xcb_setup_t* setup) {
  const xcb_screen_t* screen = xcb_setup_roots_iterator(setup).data;
  for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem > 0; xcb_depth_next(&d)) {
    for (auto v = xcb_depth_visuals_iterator(d.data); v.rem > 0; xcb_visualtype_next(&v)) {
      if (v.data->visual_id == screen->root_visual) {
        return v.data->red_mask == 0xFF0000 && v.data->green_mask == 0xFF00 &&
               v.data->blue_mask == 0xFF;
      }
    }
  }
  return false;
}

// The display connection when the display takes an RGB32 image as it is; null otherwise.
xcb_connection_t* UsableConnection() {
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
  auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
  xcb_connection_t* connection = x11 ? x11->connection() : nullptr;
  if (connection == nullptr) return nullptr;
  const xcb_setup_t* setup = xcb_get_setup(connection);
  if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) return nullptr;
  if (!RootVisualIsRgb(setup)) return nullptr;
  for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0; xcb_format_next(&it)) {
    if (it.data->depth == 24) {
      if (it.data->bits_per_pixel != 32) return nullptr;
      return connection;
    }
  }
  return nullptr;
}

}  // namespace

std::unique_ptr<X11Canvas> X11Canvas::ForThisDisplay() {
  xcb_connection_t* connection = UsableConnection();
  if (connection == nullptr) return nullptr;
  return std::unique_ptr<X11Canvas>(new X11Canvas(connection));
}

bool X11Canvas::Usable() { return UsableConnection() != nullptr; }

X11Canvas::X11Canvas(xcb_connection_t* connection)
    : connection_(connection),
      // The length is counted in 4-byte units; the put request's own fields come first.
      max_request_bytes_(std::size_t{xcb_get_maximum_request_length(connection)} * 4 -
                         sizeof(xcb_put_image_request_t)) {}

X11Canvas::~X11Canvas() {
  if (gc_ != 0) xcb_free_gc(connection_, gc_);
}

bool X11Canvas::Put(std::uint32_t window, const QImage& image, const QRect& area) {
  const QRect r = area & image.rect();
  if (window == 0 || r.isEmpty()) return true;
  if (window != checked_window_) {
    // Once per window: a 32-bit (translucent) window would refuse 24-bit images.
    xcb_get_geometry_reply_t* g =
        xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr);
    const bool fits = g != nullptr && g->depth == 24;
    std::free(g);
    if (!fits) return false;
    checked_window_ = window;
  }
  if (gc_window_ != window) {
    if (gc_ != 0) xcb_free_gc(connection_, gc_);
    gc_ = xcb_generate_id(connection_);
    const std::uint32_t no_exposures = 0;
    xcb_create_gc(connection_, gc_, window, XCB_GC_GRAPHICS_EXPOSURES, &no_exposures);
    gc_window_ = window;
  }
  const std::size_t row_bytes = static_cast<std::size_t>(r.width()) * 4;
  const int rows_per_put =
      static_cast<int>(std::max<std::size_t>(1, max_request_bytes_ / row_bytes));
  for (int top = r.top(); top <= r.bottom(); top += rows_per_put) {
    const int rows = std::min(rows_per_put, r.bottom() + 1 - top);
    const std::uint8_t* data;
    if (r.width() == image.width() && image.bytesPerLine() == static_cast<qsizetype>(row_bytes)) {
      data = image.constScanLine(top);  // whole rows lie one after the other already
    } else {
      rows_.resize(row_bytes * rows);
      for (int i = 0; i < rows; ++i) {
        std::memcpy(&rows_[row_bytes * i], image.constScanLine(top + i) + r.left() * 4, row_bytes);
      }
      data = rows_.data();
    }
    xcb_put_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window, gc_, r.width(), rows, r.left(),
                  top, 0, 24, static_cast<std::uint32_t>(row_bytes * rows), data);
  }
  xcb_flush(connection_);
  return true;
}

}  // namespace vorel::qt
