#ifndef VOREL_UI_QT_INTERNAL_LIST_VIEW_H_
#define VOREL_UI_QT_INTERNAL_LIST_VIEW_H_

// The report-style list view. User-interface thread only.

#include <QElapsedTimer>
#include <QTimer>
#include <QTreeWidget>
#include <vector>

#include "ui/qt/internal/control_base.h"

namespace vorel::qt {

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

}  // namespace vorel::qt

#endif  // VOREL_UI_QT_INTERNAL_LIST_VIEW_H_
