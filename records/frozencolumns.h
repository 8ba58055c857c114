#pragma once
// A table whose leading columns stay in view while it scrolls sideways, as a
// spreadsheet's frozen panes do: a second view of the same model and
// selection lies over the table's left edge and shows only those columns.
// The record list keeps its record number and Inventar-Nr. in view so.
#include <QTableView>
#include <vector>

class FrozenColumnsTable : public QTableView {
  Q_OBJECT
 public:
  explicit FrozenColumnsTable(QWidget* parent = nullptr);
  void setModel(QAbstractItemModel* model) override;
  // Shows these model columns first, in this order, and keeps them in view.
  void Freeze(const std::vector<int>& columns);
  // The view over the frozen columns.
  QTableView* FrozenView() const;
  // How wide the frozen columns are together.
  int FrozenWidth() const;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void updateGeometries() override;
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
  void scrollTo(const QModelIndex& index, ScrollHint hint = EnsureVisible) override;
  // A frozen column's cell is edited in the view over it, where it can be seen.
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

 private:
  class Part;
  bool IsFrozen(int column) const;
  void ApplyColumns();
  void Place();
  Part* frozen_ = nullptr;
  std::vector<int> columns_;
};
