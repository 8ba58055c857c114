#pragma once
// "Abgleich mit dem Archiv": what a visit's tests would do to the archive,
// shown before anything of the visit is stored. New appliances, known ones,
// numbers the archive knows with other data (keep the archive's, change it,
// or another appliance), numbers twice in the visit, records without a
// number, retired appliances and planned ones without a test; one click
// accepts when there is nothing to decide.
#include <QAbstractTableModel>
#include <QDialog>

#include "core/visit.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;

class ReviewModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column { ColRow, ColRecord, ColNumber, ColDecision, ColDetail, ColFinding, ColumnCount };
  explicit ReviewModel(Visit::Review review, QObject* parent = nullptr);
  const Visit::Review& Review() const { return review_; }
  // Takes a decision (and the new number or the reason) for item `item`.
  bool Decide(int item, Visit::Item::Decision decision, const QString& detail = QString());
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 signals:
  void Decided();

 private:
  Visit::Review review_;
};

class ReviewDialog : public QDialog {
  Q_OBJECT
 public:
  enum : int { TableId = 21040, SummaryId = 21041, AcceptId = 21042, ShowKnownId = 21043 };
  ReviewDialog(Visit::Review review, QWidget* parent = nullptr);
  ~ReviewDialog() override;
  ReviewModel* Model() const { return model_; }
  QTableView* Table() const { return table_; }
  const Visit::Review& Result() const { return model_->Review(); }

 private:
  void Update();
  bool eventFilter(QObject* watched, QEvent* event) override;
  void FitFinding();
  int findingMin_ = 0;  // the finding's column never narrower: it wraps, a line of words each
  ReviewModel* model_;
  QSortFilterProxyModel* proxy_;
  QTableView* table_;
  QLabel* summary_;
  QLabel* open_;
  QCheckBox* showKnown_;
  QPushButton* accept_;
};
