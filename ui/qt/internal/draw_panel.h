#ifndef VOREL_UI_QT_INTERNAL_DRAW_PANEL_H_
#define VOREL_UI_QT_INTERNAL_DRAW_PANEL_H_

// The drawing panel: a canvas the program clears and fills with gradients (the spectrum), shown
// on the screen once per event whatever number of calls drew it. User-interface thread only.

#include <QImage>
#include <QPainter>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <vector>

#include "ui/qt/internal/control_base.h"
#include "ui/qt/internal/x11_canvas.h"

namespace vorel::qt {

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

}  // namespace vorel::qt

#endif  // VOREL_UI_QT_INTERNAL_DRAW_PANEL_H_
