#include "records/frozencolumns.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QSignalBlocker>
#include <algorithm>

// The view over the frozen columns; it lets the table open its editors.
class FrozenColumnsTable::Part : public QTableView {
 public:
  using QTableView::QTableView;
  bool EditFor(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    return QTableView::edit(index, trigger, event);
  }

 protected:
  // Tab out of a frozen cell goes on in the table, to the cell beside it
  // (this view has none: the table's other columns are hidden here).
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override {
    if (hint != QAbstractItemDelegate::EditNextItem && hint != QAbstractItemDelegate::EditPreviousItem) {
      QTableView::closeEditor(editor, hint);
      return;
    }
    QTableView::closeEditor(editor, QAbstractItemDelegate::NoHint);
    auto* table = static_cast<FrozenColumnsTable*>(parentWidget());
    const QModelIndex next = table->moveCursor(hint == QAbstractItemDelegate::EditNextItem ? MoveNext : MovePrevious,
                                               Qt::NoModifier);
    if (!next.isValid()) return;
    table->selectionModel()->setCurrentIndex(next, QItemSelectionModel::ClearAndSelect |
                                                       (table->selectionBehavior() == SelectRows
                                                            ? QItemSelectionModel::Rows
                                                            : QItemSelectionModel::NoUpdate));
    table->setFocus();
    if (next.flags() & Qt::ItemIsEditable) static_cast<QAbstractItemView*>(table)->edit(next);
  }
};

FrozenColumnsTable::FrozenColumnsTable(QWidget* parent) : QTableView(parent) {
  frozen_ = new Part(this);
  frozen_->setFocusPolicy(Qt::NoFocus);  // the keyboard stays with the table
  frozen_->verticalHeader()->hide();
  frozen_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  frozen_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  frozen_->setFrameShape(QFrame::NoFrame);
  // A line at its right edge, where the table's other columns pass under it.
  frozen_->setStyleSheet(QStringLiteral("QTableView { border-right: 1px solid palette(dark); }"));
  frozen_->horizontalHeader()->setSectionsClickable(true);
  frozen_->horizontalHeader()->setSortIndicatorShown(true);
  frozen_->horizontalHeader()->setHighlightSections(false);
  setHorizontalScrollMode(ScrollPerPixel);
  setVerticalScrollMode(ScrollPerPixel);
  frozen_->setHorizontalScrollMode(ScrollPerPixel);
  frozen_->setVerticalScrollMode(ScrollPerPixel);
  viewport()->stackUnder(frozen_);

  // Rows, widths, scrolling and sorting follow the table (and the other way
  // round where the user acts on the frozen view).
  connect(verticalScrollBar(), &QScrollBar::valueChanged, frozen_->verticalScrollBar(), &QScrollBar::setValue);
  connect(frozen_->verticalScrollBar(), &QScrollBar::valueChanged, verticalScrollBar(), &QScrollBar::setValue);
  connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int size) {
    if (!IsFrozen(column)) return;
    frozen_->setColumnWidth(column, size);
    Place();
  });
  connect(frozen_->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int column, int, int size) {
    if (IsFrozen(column) && columnWidth(column) != size) setColumnWidth(column, size);
  });
  connect(verticalHeader(), &QHeaderView::sectionResized, this,
          [this](int row, int, int size) { frozen_->setRowHeight(row, size); });
  connect(frozen_->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int column) {
    if (!isSortingEnabled()) return;
    const QHeaderView* header = horizontalHeader();
    const Qt::SortOrder order = header->sortIndicatorSection() == column && header->sortIndicatorOrder() == Qt::AscendingOrder
                                    ? Qt::DescendingOrder
                                    : Qt::AscendingOrder;
    sortByColumn(column, order);
  });
  connect(horizontalHeader(), &QHeaderView::sortIndicatorChanged, this, [this](int column, Qt::SortOrder order) {
    const QSignalBlocker quiet(frozen_->horizontalHeader());
    frozen_->horizontalHeader()->setSortIndicator(column, order);
  });
}

QTableView* FrozenColumnsTable::FrozenView() const { return frozen_; }

void FrozenColumnsTable::setModel(QAbstractItemModel* model) {
  QTableView::setModel(model);
  frozen_->setModel(model);
  frozen_->setSelectionModel(selectionModel());
  if (model) connect(model, &QAbstractItemModel::modelReset, this, &FrozenColumnsTable::ApplyColumns);
  ApplyColumns();
}

void FrozenColumnsTable::Freeze(const std::vector<int>& columns) {
  columns_ = columns;
  ApplyColumns();
}

bool FrozenColumnsTable::IsFrozen(int column) const {
  return std::find(columns_.begin(), columns_.end(), column) != columns_.end();
}

int FrozenColumnsTable::FrozenWidth() const {
  int width = 0;
  for (int column : columns_)
    if (!isColumnHidden(column)) width += columnWidth(column);
  return width;
}

void FrozenColumnsTable::ApplyColumns() {
  if (!model()) return;
  frozen_->setSelectionBehavior(selectionBehavior());
  frozen_->setSelectionMode(selectionMode());
  frozen_->setAlternatingRowColors(alternatingRowColors());
  frozen_->setEditTriggers(editTriggers());
  frozen_->verticalHeader()->setDefaultSectionSize(verticalHeader()->defaultSectionSize());
  QHeaderView* header = horizontalHeader();
  QHeaderView* frozenHeader = frozen_->horizontalHeader();
  for (int i = 0; i < int(columns_.size()); ++i) {
    header->moveSection(header->visualIndex(columns_[size_t(i)]), i);
    frozenHeader->moveSection(frozenHeader->visualIndex(columns_[size_t(i)]), i);
  }
  for (int column = 0; column < model()->columnCount(); ++column) {
    frozen_->setColumnHidden(column, !IsFrozen(column));
    if (IsFrozen(column)) frozen_->setColumnWidth(column, columnWidth(column));
  }
  frozen_->setVisible(!columns_.empty());
  Place();
}

void FrozenColumnsTable::Place() {
  if (columns_.empty()) return;
  frozen_->horizontalHeader()->setFixedHeight(horizontalHeader()->height());
  frozen_->setGeometry(verticalHeader()->isVisible() ? verticalHeader()->width() + frameWidth() : frameWidth(), frameWidth(),
                       FrozenWidth() + 1, viewport()->height() + horizontalHeader()->height());
}

void FrozenColumnsTable::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  Place();
}

void FrozenColumnsTable::updateGeometries() {
  QTableView::updateGeometries();
  Place();
}

QModelIndex FrozenColumnsTable::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
  const QModelIndex current = QTableView::moveCursor(action, modifiers);
  // Moving left into a column that has passed under the frozen view scrolls it out.
  if (action == MoveLeft && current.isValid() && !IsFrozen(current.column())) {
    const int hidden = FrozenWidth() - visualRect(current).left();
    if (hidden > 0) horizontalScrollBar()->setValue(horizontalScrollBar()->value() - hidden);
  }
  return current;
}

void FrozenColumnsTable::scrollTo(const QModelIndex& index, ScrollHint hint) {
  // A frozen column is always in view: only the rows scroll for it.
  if (IsFrozen(index.column())) {
    const int x = horizontalScrollBar()->value();
    QTableView::scrollTo(index, hint);
    horizontalScrollBar()->setValue(x);
    return;
  }
  QTableView::scrollTo(index, hint);
  const int hidden = FrozenWidth() - visualRect(index).left();
  if (hidden > 0) horizontalScrollBar()->setValue(horizontalScrollBar()->value() - hidden);
}

bool FrozenColumnsTable::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  if (index.isValid() && IsFrozen(index.column())) return frozen_->EditFor(index, trigger, event);
  return QTableView::edit(index, trigger, event);
}
