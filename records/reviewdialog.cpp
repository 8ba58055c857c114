#include "records/reviewdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QVBoxLayout>

#include "core/cformat.h"
#include "platform/screenfit.h"

namespace {

bool NeedsDetail(const Visit::Item& item) {
  return item.decision == Visit::Item::Decision::OtherAppliance || item.decision == Visit::Item::Decision::Retire;
}

// The decision of an item: a choice of what its kind allows.
class DecisionDelegate : public QStyledItemDelegate {
 public:
  DecisionDelegate(ReviewModel* model, QObject* parent) : QStyledItemDelegate(parent), model_(model) {}
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    if (index.column() != ReviewModel::ColDecision) return QStyledItemDelegate::createEditor(parent, option, index);
    auto* combo = new QComboBox(parent);
    const Visit::Item& item = model_->Review().items[size_t(index.data(Qt::UserRole).toInt())];
    if (item.decision == Visit::Item::Decision::None) combo->addItem(Visit::DecisionText(Visit::Item::Decision::None), -1);
    for (Visit::Item::Decision d : item.Choices()) combo->addItem(DecisionLabel(item, d), int(d));
    combo->setCurrentIndex(std::max(0, combo->findData(int(item.decision))));
    // Taken at once: the dialog knows whether anything is left to decide.
    connect(combo, qOverload<int>(&QComboBox::activated), combo, [this, combo] {
      emit const_cast<DecisionDelegate*>(this)->commitData(combo);
    });
    return combo;
  }
  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
      const Visit::Item& item = model_->Review().items[size_t(index.data(Qt::UserRole).toInt())];
      combo->setCurrentIndex(std::max(0, combo->findData(int(item.decision))));
      return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
  }
  void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
      if (combo->currentData().toInt() >= 0) model->setData(index, combo->currentData(), Qt::EditRole);
      return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
  }
  static QString DecisionLabel(const Visit::Item& item, Visit::Item::Decision d) {
    if (item.kind == Visit::Item::Kind::NoNumber && d == Visit::Item::Decision::OtherAppliance)
      return QStringLiteral("Inventar-Nr. vergeben");
    if (item.kind == Visit::Item::Kind::NoNumber && d == Visit::Item::Decision::Store)
      return QStringLiteral("ohne Nummer speichern");
    if (item.kind == Visit::Item::Kind::Duplicate && d == Visit::Item::Decision::Store)
      return QStringLiteral("Prüfung desselben Geräts");
    return Visit::DecisionText(d);
  }

 private:
  ReviewModel* model_;
};

}  // namespace

ReviewModel::ReviewModel(Visit::Review review, QObject* parent) : QAbstractTableModel(parent), review_(std::move(review)) {}

bool ReviewModel::Decide(int item, Visit::Item::Decision decision, const QString& detail) {
  if (item < 0 || item >= int(review_.items.size())) return false;
  Visit::Item& it = review_.items[size_t(item)];
  const std::vector<Visit::Item::Decision> choices = it.Choices();
  if (std::find(choices.begin(), choices.end(), decision) == choices.end()) return false;
  it.decision = decision;
  if (decision == Visit::Item::Decision::OtherAppliance) it.newNumber = detail;
  if (decision == Visit::Item::Decision::Retire) it.retireReason = detail;
  emit dataChanged(index(item, 0), index(item, ColumnCount - 1));
  emit Decided();
  return true;
}

int ReviewModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(review_.items.size()); }
int ReviewModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant ReviewModel::headerData(int section, Qt::Orientation orientation, int role) const {
  static const char* const kColumns[] = {"Zeile", "Prüfung", "Inventar-Nr.", "Entscheidung",
                                         "Neue Inventar-Nr. / Grund", "Befund"};
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < ColumnCount)
    return QString::fromUtf8(kColumns[section]);
  return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags ReviewModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractTableModel::flags(index);
  const Visit::Item& item = review_.items[size_t(index.row())];
  if (index.column() == ColDecision && item.Choices().size() > 1) flags |= Qt::ItemIsEditable;
  if (index.column() == ColDetail && NeedsDetail(item)) flags |= Qt::ItemIsEditable;
  return flags;
}

QVariant ReviewModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= int(review_.items.size())) return QVariant();
  const Visit::Item& item = review_.items[size_t(index.row())];
  if (role == Qt::UserRole) return index.row();
  // The order: what waits for a decision first, then the questions, then the rest.
  if (role == Qt::UserRole + 1) {
    const int weight = item.decision == Visit::Item::Decision::None ? 0
                       : item.kind == Visit::Item::Kind::Known    ? 3
                       : item.kind == Visit::Item::Kind::New      ? 2
                                                                  : 1;
    return weight * 100000 + item.row;
  }
  if (role == Qt::DisplayRole || role == Qt::EditRole) {
    switch (index.column()) {
      case ColRow: return item.row + 1;
      case ColRecord: return item.record >= 0 ? CFormat("%03d", item.record + 1) : QStringLiteral("–");
      case ColNumber: return item.number.isEmpty() ? QStringLiteral("(keine)") : item.number;
      case ColFinding: {
        QString text = Visit::KindText(item.kind);
        if (item.kind == Visit::Item::Kind::Conflict) text += QStringLiteral(": ") + item.differences.join(QStringLiteral("; "));
        if (item.kind == Visit::Item::Kind::Duplicate) {
          QStringList rows;
          for (int other : item.sameRows) rows << QString::number(other + 1);
          text += QStringLiteral(" (auch Zeile %1)").arg(rows.join(QStringLiteral(", ")));
        }
        if (item.kind == Visit::Item::Kind::Retired)
          text += QStringLiteral(" am %1%2").arg(item.known.RetiredOn.toString(QStringLiteral("dd.MM.yyyy")),
                                                 item.known.RetiredReason.isEmpty() ? QString() : QStringLiteral(": ") + item.known.RetiredReason);
        if (item.kind == Visit::Item::Kind::NotTested && !item.known.Bezeichnung.isEmpty())
          text += QStringLiteral(" (%1)").arg(item.known.Bezeichnung);
        if (item.kind == Visit::Item::Kind::NoNumber)
          text += QStringLiteral(": ohne Nummer wird das Gerät beim nächsten Besuch nicht wiedererkannt");
        return text;
      }
      case ColDecision: return DecisionDelegate::DecisionLabel(item, item.decision);
      case ColDetail:
        if (item.decision == Visit::Item::Decision::OtherAppliance) return item.newNumber;
        if (item.decision == Visit::Item::Decision::Retire) return item.retireReason;
        return QVariant();
      default: return QVariant();
    }
  }
  if (role == Qt::ToolTipRole && index.column() == ColFinding) return data(index, Qt::DisplayRole);
  if (role == Qt::BackgroundRole && item.decision == Visit::Item::Decision::None) return QColor(255, 236, 200);
  if (role == Qt::BackgroundRole && index.column() == ColDetail && NeedsDetail(item)) return QColor(235, 245, 255);
  return QVariant();
}

bool ReviewModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole) return false;
  Visit::Item& item = review_.items[size_t(index.row())];
  if (index.column() == ColDecision) {
    const auto decision = Visit::Item::Decision(value.toInt());
    return Decide(index.row(), decision,
                  decision == Visit::Item::Decision::OtherAppliance ? item.newNumber : item.retireReason);
  }
  if (index.column() == ColDetail && NeedsDetail(item)) {
    (item.decision == Visit::Item::Decision::OtherAppliance ? item.newNumber : item.retireReason) = value.toString().simplified();
    emit dataChanged(index, index);
    emit Decided();
    return true;
  }
  return false;
}

// Hiding the dialog on its way out may commit an open editor's choice; by then
// the dialog is no longer one to update.
ReviewDialog::~ReviewDialog() { disconnect(model_, nullptr, this, nullptr); }

ReviewDialog::ReviewDialog(Visit::Review review, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("21039"));
  setWindowTitle(QStringLiteral("Abgleich mit dem Archiv"));
  model_ = new ReviewModel(std::move(review), this);
  proxy_ = new QSortFilterProxyModel(this);
  proxy_->setSourceModel(model_);
  proxy_->setSortRole(Qt::UserRole + 1);
  proxy_->setDynamicSortFilter(false);
  summary_ = new QLabel(this);
  summary_->setObjectName(QString::number(SummaryId));
  summary_->setWordWrap(true);
  open_ = new QLabel(this);
  open_->setWordWrap(true);
  table_ = new QTableView(this);
  table_->setObjectName(QString::number(TableId));
  table_->setModel(proxy_);
  table_->setItemDelegate(new DecisionDelegate(model_, this));
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setEditTriggers(QAbstractItemView::AllEditTriggers);
  table_->verticalHeader()->setVisible(false);
  // What was found takes the rest of the width and wraps there: a conflict
  // names what differs, and that is what the user decides on.
  table_->setWordWrap(true);
  table_->setTextElideMode(Qt::ElideNone);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->verticalHeader()->setMinimumSectionSize(table_->verticalHeader()->defaultSectionSize());
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  showKnown_ = new QCheckBox(QStringLiteral("Auch die bekannten Geräte zeigen"), this);
  showKnown_->setObjectName(QString::number(ShowKnownId));
  auto* buttons = new QDialogButtonBox(this);
  accept_ = buttons->addButton(QStringLiteral("Übernehmen"), QDialogButtonBox::AcceptRole);
  accept_->setObjectName(QString::number(AcceptId));
  accept_->setDefault(true);
  buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(model_, &ReviewModel::Decided, this, &ReviewDialog::Update);
  connect(showKnown_, &QCheckBox::toggled, this, &ReviewDialog::Update);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(summary_);
  layout->addWidget(table_, 1);
  layout->addWidget(open_);
  layout->addWidget(showKnown_);
  layout->addWidget(buttons);
  proxy_->sort(0);
  // The decision beside the number; what was found takes the rest (also in its tool tip).
  const QFontMetrics fm(table_->font());
  const int widths[] = {fm.horizontalAdvance(QStringLiteral("Zeile_")), fm.horizontalAdvance(QStringLiteral("Prüfung_")),
                        fm.horizontalAdvance(QStringLiteral("INV-000000")),
                        fm.horizontalAdvance(QStringLiteral("Archiv gilt (Zeile übernimmt die Stammdaten)")) + 30,
                        fm.horizontalAdvance(QStringLiteral("Neue Inventar-Nr. / Grund"))};
  for (int c = 0; c < 5; ++c) table_->setColumnWidth(c, widths[c] + 16);
  findingMin_ = fm.horizontalAdvance(QStringLiteral("andere Daten: Hersteller/Typ:")) + 16;
  table_->viewport()->installEventFilter(this);
  // Within the screen's free area, whatever its size.
  ScreenFit::Fit(this, QSize(1000, 520));
  Update();
}

bool ReviewDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == table_->viewport() && event->type() == QEvent::Resize) FitFinding();
  return QDialog::eventFilter(watched, event);
}

// The finding takes what the other columns leave, but on a narrow screen not
// less than a few words' width (the table scrolls sideways then): squeezed
// narrower, a conflict's text would wrap into a column of single words.
void ReviewDialog::FitFinding() {
  QHeaderView* header = table_->horizontalHeader();
  int others = 0;
  for (int c = 0; c < ReviewModel::ColFinding; ++c) others += header->sectionSize(c);
  const bool room = table_->viewport()->width() - others >= findingMin_;
  if (header->stretchLastSection() != room) header->setStretchLastSection(room);
  if (!room && header->sectionSize(ReviewModel::ColFinding) != findingMin_)
    header->resizeSection(ReviewModel::ColFinding, findingMin_);
}

void ReviewDialog::Update() {
  const Visit::Review& review = model_->Review();
  QString text = QStringLiteral("Was dieser Besuch im Archiv speichert: %1").arg(review.Summary());
  if (!review.reached)
    text += QStringLiteral("\nDas Archiv war nicht erreichbar (%1); die Geräte konnten nicht abgeglichen werden. Die "
                           "Prüfungen warten in der Warteschlange, bis es wieder erreichbar ist.")
                .arg(review.archiveError);
  summary_->setText(text);
  int open = 0;
  for (int row = 0; row < proxy_->rowCount(); ++row) {
    const int item = proxy_->index(row, 0).data(Qt::UserRole).toInt();
    const Visit::Item& it = review.items[size_t(item)];
    // Only what changes: an editor open in the table stays as it is.
    const bool hide = it.kind == Visit::Item::Kind::Known && !showKnown_->isChecked();
    if (table_->isRowHidden(row) != hide) table_->setRowHidden(row, hide);
    if (it.decision == Visit::Item::Decision::None) ++open;
    // A decision to take: its choice stands open.
    const QModelIndex decision = proxy_->index(row, ReviewModel::ColDecision);
    if (it.Choices().size() > 1 && !table_->isPersistentEditorOpen(decision)) table_->openPersistentEditor(decision);
  }
  bool detailsMissing = false;
  for (const Visit::Item& it : review.items)
    detailsMissing |= it.decision == Visit::Item::Decision::OtherAppliance && it.newNumber.isEmpty();
  open_->setText(open > 0 ? QStringLiteral("Noch %1 zu entscheiden (orange).").arg(open)
                 : detailsMissing ? QStringLiteral("Geben Sie die neue Inventar-Nr. ein.")
                                  : QStringLiteral("Nichts mehr zu entscheiden."));
  accept_->setEnabled(open == 0 && !detailsMissing);
}
