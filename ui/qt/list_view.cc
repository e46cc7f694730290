#include "ui/qt/internal/list_view.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <utility>

namespace vorel::qt {

using runtime::TypeData;
namespace controls = runtime::controls;
namespace property = runtime::property;

ListView::ListView(QWidget* parent, const TypeData& data) : QTreeWidget(parent) {
  ApplyCommonLook(this, data);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setFrameShape(QFrame::NoFrame);
  // The columns are laid out to the list's width: nothing to scroll sideways to, and End or a
  // long cell must not shift the rows out of place either.
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
    if (value != 0) horizontalScrollBar()->setValue(0);
  });
  flush_timer_.setSingleShot(true);
  connect(&flush_timer_, &QTimer::timeout, this, [this] { FlushAppends(); });
  auto columns = runtime::ParseColumns(data.GetBytes(runtime::kKeyColumns));
  QStringList headers;
  if (columns) {
    for (const auto& c : *columns) headers << QStringOf(c.header);
  }
  if (headers.isEmpty()) headers << QString();
  setColumnCount(headers.size());
  setHeaderLabels(headers);
  // A header with no titles would be an empty grey strip.
  setHeaderHidden(
      std::all_of(headers.begin(), headers.end(), [](const QString& h) { return h.isEmpty(); }));
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  if (columns) {
    for (int i = 0; i < static_cast<int>(columns->size()); ++i) {
      setColumnWidth(i, (*columns)[i].width);
      if ((*columns)[i].width == 0) header()->setSectionHidden(i, true);
    }
  }
}

namespace {

// One row of a list view. The cells stay the bytes they were given, so a stored path that the
// code page cannot show still comes back unchanged; the display gets a converted copy (with a
// replacement character where a byte is invalid) when the row is painted.
class ListRowItem : public QTreeWidgetItem {
 public:
  explicit ListRowItem(runtime::ListRow row)
      : QTreeWidgetItem(QTreeWidgetItem::UserType), row_(std::move(row)) {}

  QVariant data(int column, int role) const override {
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
      if (column < 0 || column >= static_cast<int>(row_.cells.size())) return QString();
      return QStringOf(row_.cells[column]);
    }
    return QTreeWidgetItem::data(column, role);
  }

  void setData(int column, int role, const QVariant& value) override {
    if ((role == Qt::DisplayRole || role == Qt::EditRole) && column >= 0) {
      SetCell(column, TextOf(value.toString()));
    } else {
      QTreeWidgetItem::setData(column, role, value);
    }
  }

  void SetCell(int column, runtime::Text text) {
    if (column >= static_cast<int>(row_.cells.size())) row_.cells.resize(column + 1);
    row_.cells[column] = std::move(text);
    // Tells the view that the cell changed, so it repaints it.
    QTreeWidgetItem::setData(column, kRoleRevision, ++revision_);
  }

  const runtime::ListRow& row() const { return row_; }

 private:
  static constexpr int kRoleRevision = Qt::UserRole + 1;
  runtime::ListRow row_;
  int revision_ = 0;
};

}  // namespace

PropertyStatus ListView::Get(int index, Value* out) {
  if (index != K<controls::ListView, property::SelectedRow>()) return PropertyStatus::kUnknownIndex;
  auto selected = selectedItems();
  *out = std::int32_t{selected.isEmpty() ? -1 : indexOfTopLevelItem(selected.first())};
  return PropertyStatus::kOk;
}

PropertyStatus ListView::Set(int index, const Value& v) {
  if (index != K<controls::ListView, property::SelectedRow>()) return PropertyStatus::kUnknownIndex;
  FlushAppends();
  const int row = Int(v);
  if (row < 0 || row >= topLevelItemCount()) {
    clearSelection();
    return PropertyStatus::kOk;
  }
  QTreeWidgetItem* item = topLevelItem(row);
  setCurrentItem(item);
  item->setSelected(true);
  scrollToItem(item);
  return PropertyStatus::kOk;
}

int ListView::RowCount() const { return topLevelItemCount() + static_cast<int>(held_.size()); }

int ListView::InsertRow(int position, const runtime::ListRow& row) {
  runtime::ListRow copy = row;
  copy.cells.resize(columnCount());
  const int count = RowCount();
  if (position >= 0 && position < count) {
    FlushAppends();
    insertTopLevelItem(position, new ListRowItem(std::move(copy)));
    return position;
  }
  // An append right after another one is part of a burst and waits for the next batch; one
  // on its own shows at once.
  const bool in_burst =
      !held_.empty() || (last_append_.isValid() && last_append_.elapsed() < kAppendBatchMs);
  last_append_.start();
  if (!in_burst) {
    addTopLevelItem(new ListRowItem(std::move(copy)));
    return count;
  }
  held_.push_back(std::move(copy));
  if (!flush_timer_.isActive()) flush_timer_.start(kAppendBatchMs);
  return count;
}

bool ListView::GetRow(int row, runtime::ListRow* out) const {
  if (row < 0 || row >= RowCount()) return false;
  const int shown = topLevelItemCount();
  if (row >= shown) {
    *out = held_[row - shown];
  } else if (auto* item = dynamic_cast<const ListRowItem*>(topLevelItem(row))) {
    *out = item->row();
  } else {  // an item made by Qt itself: its texts are all there is
    *out = runtime::ListRow{};
    const QTreeWidgetItem* plain = topLevelItem(row);
    for (int c = 0; c < columnCount(); ++c) out->cells.push_back(TextOf(plain->text(c)));
  }
  return true;
}

bool ListView::SetCellText(int row, int column, const runtime::Text& text) {
  if (row < 0 || row >= RowCount() || column < 0 || column >= columnCount()) return false;
  const int shown = topLevelItemCount();
  if (row < shown) {
    if (auto* item = dynamic_cast<ListRowItem*>(topLevelItem(row))) {
      item->SetCell(column, text);
    } else {
      topLevelItem(row)->setText(column, QStringOf(text));
    }
  } else {
    held_[row - shown].cells[column] = text;
  }
  return true;
}

bool ListView::DeleteRow(int row) {
  if (row < 0 || row >= RowCount()) return false;
  FlushAppends();
  delete takeTopLevelItem(row);
  return true;
}

void ListView::DeleteAllRows() {
  flush_timer_.stop();
  held_.clear();
  clear();
}

void ListView::FlushAppends() {
  flush_timer_.stop();
  if (held_.empty()) return;
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(held_.size()));
  for (auto& row : held_) items.append(new ListRowItem(std::move(row)));
  held_.clear();
  addTopLevelItems(items);
}

bool ListView::viewportEvent(QEvent* e) {
  // What a person clicks must be the rows as they are now.
  if (e->type() == QEvent::MouseButtonPress || e->type() == QEvent::MouseButtonDblClick) {
    FlushAppends();
  }
  return QTreeWidget::viewportEvent(e);
}

void ListView::keyPressEvent(QKeyEvent* e) {
  FlushAppends();
  QTreeWidget::keyPressEvent(e);
}

void ListView::paintEvent(QPaintEvent* e) {
  QTreeWidget::paintEvent(e);
  if (!ShowsFocusMark(this) || currentItem() != nullptr) return;
  // An empty list (or one without a current row) shows its focus on its edge.
  QPainter p(viewport());
  PaintFocusMark(p, viewport()->rect(), QColor(0x40, 0x40, 0x40));
}

}  // namespace vorel::qt
