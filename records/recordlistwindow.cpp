#include "records/recordlistwindow.h"

#include "records/intervallookup.h"
#include "records/labeldialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QAbstractItemView>
#include <QCompleter>
#include <QEventLoop>
#include <QShortcut>
#include <QStandardItemModel>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QStyledItemDelegate>
#include <QPrinter>
#include <QEventLoop>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <set>
#include <tuple>

#include "core/archiveservice.h"
#include "core/clock.h"
#include "core/earliertests.h"
#include "core/reportrules.h"
#include "records/archivereader.h"
#include "records/reviewdialog.h"
#include "controls/fieldguard.h"
#include "device/TMessgeraet.h"
#include "core/cformat.h"
#include "core/label.h"
#include "core/duedates.h"
#include "core/fieldcheck.h"
#include "core/fileio.h"
#include "platform/screenfit.h"
#include "platform/seams.h"
#include "records/frozencolumns.h"
#include "core/userfolders.h"
#include "report/TFormular.h"
#include "render/batch.h"
#include "report/batchprint.h"
#include "core/layout.h"
#include "core/values.h"
#include "report/printing.h"
#include "report/storejob.h"

namespace {

const QColor kPassedColor(0, 110, 0);
const QColor kFailedColor(190, 0, 0);
const QColor kOpenColor(140, 90, 0);
const QString kCaption = QStringLiteral("Prüfungen");

QString ResultText(int result) {
  return result < 0 ? QString() : result ? QStringLiteral("bestanden") : QStringLiteral("nicht bestanden");
}

const QColor kWarnColor(255, 214, 170);

// The reasons the list offers for a record: the form's, or one of its own.
QStringList AnlassChoices() {
  QStringList choices{QStringLiteral("(wie im Formular)")};
  for (int a = 1; a <= 4; ++a) choices << Report::AnlassText(a);
  return choices;
}

QString Decimal(double value) { return QString::number(value, 'g', 6).replace(QLatin1Char('.'), QLatin1Char(',')); }

bool IsPreviousColumn(int column, int* row) {
  if (column < RecordListModel::ColFirstPrevious || column >= RecordListModel::ColFirstPrevious + kDeviceRowCount) return false;
  *row = column - RecordListModel::ColFirstPrevious;
  return true;
}

bool IsValueColumn(int column, int* row, int* part) {
  if (column < RecordListModel::ColFirstValue || column >= RecordListModel::ColInventar) return false;
  *row = (column - RecordListModel::ColFirstValue) / 3;
  *part = (column - RecordListModel::ColFirstValue) % 3;  // 0 value, 1 limit, 2 result
  return true;
}

}  // namespace

// ---- the model

RecordListModel::RecordListModel(TMessgeraet* device, TFormular* form, QObject* parent)
    : QAbstractTableModel(parent), device_(device), form_(form), lookup_(new IntervalLookup(this)) {
  earlierTimer_ = new QTimer(this);
  earlierTimer_->setSingleShot(true);
  earlierTimer_->setInterval(300);
  connect(earlierTimer_, &QTimer::timeout, this, &RecordListModel::LookUpEarlier);
}

bool RecordListModel::EarlierBusy() const { return (earlier_ && earlier_->Busy()) || (earlierTimer_ && earlierTimer_->isActive()); }

void RecordListModel::LookUpEarlier() {
  if (!archive_) return;
  std::vector<EarlierTests::Key> keys;
  for (int row = 0; row < RecordCount(); ++row) {
    if (!HasRecord(row) || rows_[size_t(row)].Data.InventarNr.simplified().isEmpty()) continue;
    const ReportRecord report = Report(row);
    EarlierTests::Key key;
    if (!Archive::KeyOf(report, &key.customer, &key.inventarNr)) continue;
    key.before = Archive::TestDate(report, today_);
    keys.push_back(key);
  }
  if (keys.empty()) return;
  if (!earlier_) earlier_ = new EarlierTests(this);
  earlier_->Request(archive_->Location(), keys, 0, [this](const EarlierTests::Result& result) {
    earlierError_ = result.failed && !result.noArchive ? result.error : QString();
    // The rows as they are now (a row may have changed since it was asked for).
    std::map<std::tuple<QString, QString, QDate>, std::vector<int>> rowsOf;
    for (int row = 0; row < RecordCount(); ++row) {
      if (!HasRecord(row) || rows_[size_t(row)].Data.InventarNr.simplified().isEmpty()) continue;
      const ReportRecord report = Report(row);
      QString customer, inventar;
      if (Archive::KeyOf(report, &customer, &inventar))
        rowsOf[{customer, inventar, Archive::TestDate(report, today_)}].push_back(row);
    }
    for (const EarlierTests::Answer& answer : result.answers) {
      const auto rows = rowsOf.find({answer.key.customer, answer.key.inventarNr, answer.key.before});
      if (rows == rowsOf.end()) continue;
      for (int row : rows->second) {
        ApplianceData& d = rows_[size_t(row)].Data;
        d.Previous = answer.earlier.previous;
        // The cord and kind the archive knows, where nothing was typed.
        const ArchiveData::Appliance& known = answer.earlier.appliance;
        if (answer.earlier.applianceFound && !d.CordTyped) {
          if (d.Leitungslaenge.isEmpty() && !std::isnan(known.CordLengthM)) d.Leitungslaenge = Decimal(known.CordLengthM);
          if (d.Leitungsquerschnitt.isEmpty() && !std::isnan(known.CrossSectionMm2))
            d.Leitungsquerschnitt = Decimal(known.CrossSectionMm2);
        }
        if (answer.earlier.applianceFound && d.Kind == 0 && known.Kind != 0) d.Kind = known.Kind;
        Recompute(row);
      }
    }
    if (RecordCount() > 0) emit dataChanged(index(0, 0), index(RecordCount() - 1, ColumnCount - 1));
  });
}

int RecordListModel::WarningRows() const {
  return int(std::count_if(entries_.begin(), entries_.end(), [](const ListEntry& e) { return !e.Warnings.isEmpty(); }));
}

QString RecordListModel::MissingSummary() const {
  std::map<QString, int> counts;
  QStringList order;
  int read = 0;  // the reports under today's standards, which are asked
  for (const ListEntry& e : entries_) {
    if (!e.Read || !Profiles::IsCurrent(e.ReportStandard)) continue;
    ++read;
    for (const QString& item : e.Missing) {
      if (!counts.count(item)) order << item;
      ++counts[item];
    }
  }
  QStringList parts;
  for (const QString& item : order)
    parts << (counts[item] == read ? item
                                   : counts[item] == 1 ? QStringLiteral("%1 (1 Gerät)").arg(item)
                                                       : QStringLiteral("%1 (%2 Geräte)").arg(item).arg(counts[item]));
  return Report::MissingText(parts);
}

bool RecordListModel::IntervalsPending() const { return lookup_->Busy(); }

void RecordListModel::LookUpIntervals() {
  // Only where the form names no interval is the archive's needed; the list
  // is one customer's (the form's "Auftraggeber", as the archive files it).
  if (DueDates::IntervalMonths(template_.Fields[Layout::kFieldPruefintervall]) > 0 || rows_.empty()) return;
  QString customer = template_.Fields[Layout::kFieldAuftraggeber].simplified();
  if (customer.isEmpty()) customer = QStringLiteral("(ohne Auftraggeber)");
  if (!archive_) return;
  const QString location = archive_->Location();
  const QString key = location + QLatin1Char('\n') + customer;
  if (key == knownFor_) return;
  knownFor_ = key;
  known_.clear();
  ApplyIntervals();
  lookup_->Request(location, customer, [this](const IntervalLookup::Intervals& intervals) {
    known_ = intervals;
    ApplyIntervals();
  });
}

void RecordListModel::ApplyIntervals() {
  bool changed = false;
  for (int row = 0; row < RecordCount(); ++row) {
    const auto it = known_.find(IntervalLookup::Key(rows_[size_t(row)].Data.InventarNr));
    const int months = it == known_.end() ? 0 : it->second;
    if (rows_[size_t(row)].Data.KnownIntervalMonths == months) continue;
    rows_[size_t(row)].Data.KnownIntervalMonths = months;
    Recompute(row);
    changed = true;
  }
  if (changed) emit dataChanged(index(0, 0), index(RecordCount() - 1, ColumnCount - 1));
}

RecordList::Source RecordListModel::Source() const {
  RecordList::Source source;
  source.Records = records_.data();
  source.Count = int(records_.size());
  source.Profiles = &profiles_;
  if (!device_) return source;
  for (int r = 0; r < kDeviceRowCount; ++r) source.MeasurementAvailable[r] = device_->MeasurementAvailable[r];
  source.DeviceText = device_->DeviceText;
  source.DefaultLimits = &device_->DefaultLimits;
  source.Profiles = &profiles_;
  return source;
}

void RecordListModel::TakeRecords(std::vector<DeviceRecord> records, std::vector<char> read) {
  records_ = std::move(records);
  read_ = std::move(read);
}

void RecordListModel::Rebuild() {
  // Records go to the rows by position: the k-th row not skipped takes record k.
  if (planned_) {
    // Rows the records of an earlier load added, without a word typed, go again.
    while (!rows_.empty() && rows_.back().Made == Visit::Row::Origin::Record && !typed_.back()) {
      rows_.pop_back();
      typed_.pop_back();
      unsaved_.pop_back();
    }
  }
  int takers = int(std::count_if(rows_.begin(), rows_.end(), [](const Visit::Row& r) { return !r.Skipped; }));
  for (; takers < int(records_.size()); ++takers) {
    rows_.emplace_back();
    typed_.push_back(0);
    unsaved_.push_back(0);
  }
  recordOf_ = Visit::Assign(rows_, int(records_.size()));
  entries_.assign(rows_.size(), ListEntry());
  template_ = form_ ? form_->Record() : ReportRecord();
  FindDuplicates();
  for (int row = 0; row < RecordCount(); ++row) Recompute(row);
}

void RecordListModel::Reload() {
  beginResetModel();
  const int count = device_ ? device_->RecordCount : 0;
  // During a load the records from the cursor on are not read yet.
  const int read = device_ && device_->LoadState != 0 ? std::min(count, device_->RecordIndex) : count;
  std::vector<DeviceRecord> records(device_ && count > 0 ? device_->Records.get() : nullptr,
                                    device_ && count > 0 ? device_->Records.get() + count : nullptr);
  std::vector<char> readFlags(size_t(count), 0);
  std::fill(readFlags.begin(), readFlags.begin() + read, 1);
  TakeRecords(std::move(records), std::move(readFlags));
  if (!planned_) {
    rows_.assign(size_t(count), Visit::Row());
    typed_.assign(size_t(count), 0);
    unsaved_.assign(size_t(count), 0);
  }
  today_ = Clock::Today();
  Profiles::LoadUserProfiles(&profiles_, nullptr);
  Rebuild();
  endResetModel();
  knownFor_.clear();
  LookUpIntervals();
  LookUpEarlier();
}

void RecordListModel::TakeLoad() {
  if (!device_) return;
  const int count = device_->RecordCount;
  // Given up or cancelled: the records it did not read stay as they were.
  const bool cut = device_->LateAnswersIgnored;
  beginResetModel();
  const int total = cut ? std::max(count, int(records_.size())) : count;
  std::vector<DeviceRecord> records(static_cast<size_t>(total));
  std::vector<char> read(size_t(total), 1);
  int kept = total;
  for (int k = 0; k < total; ++k) {
    if (k < count) {
      records[size_t(k)] = device_->Records[k];
    } else if (read_[size_t(k)]) {
      records[size_t(k)] = records_[size_t(k)];
    } else {
      kept = k;  // a record the earlier load had not read either: the list ends here
      break;
    }
  }
  records.resize(size_t(kept));
  read.resize(size_t(kept));
  if (!planned_) {
    // Without a visit a row is its record: the rows of the records read
    // again start empty, the others keep what was typed for them.
    std::vector<Visit::Row> rows(static_cast<size_t>(kept));
    std::vector<char> typed(size_t(kept), 0), unsaved(size_t(kept), 0);
    for (int row = count; row < kept && row < RecordCount(); ++row) {
      rows[size_t(row)] = rows_[size_t(row)];
      typed[size_t(row)] = typed_[size_t(row)];
      unsaved[size_t(row)] = unsaved_[size_t(row)];
    }
    rows_.swap(rows);
    typed_.swap(typed);
    unsaved_.swap(unsaved);
  }
  TakeRecords(std::move(records), std::move(read));
  today_ = Clock::Today();
  Profiles::LoadUserProfiles(&profiles_, nullptr);
  Rebuild();
  endResetModel();
  reviewed_ = false;
  knownFor_.clear();
  LookUpIntervals();
  LookUpEarlier();
}

void RecordListModel::Refresh() {
  if (rows_.empty()) return;
  const QString customer = template_.Fields[Layout::kFieldAuftraggeber].simplified();
  template_ = form_ ? form_->Record() : ReportRecord();
  // Another customer: other appliances in the archive.
  if (template_.Fields[Layout::kFieldAuftraggeber].simplified() != customer && earlierTimer_) earlierTimer_->start();
  FindDuplicates();
  for (int row = 0; row < RecordCount(); ++row) Recompute(row);
  emit dataChanged(index(0, 0), index(RecordCount() - 1, ColumnCount - 1));
  LookUpIntervals();
}

void RecordListModel::Recompute(int row) {
  const int record = recordOf_[size_t(row)];
  if (record >= 0 && read_[size_t(record)]) {
    entries_[size_t(row)] = RecordList::EntryFor(Source(), record, rows_[size_t(row)].Data, template_, today_);
    return;
  }
  // No record, or not read yet: no values, no limits, no verdict.
  ListEntry entry;
  entry.Number = record + 1;
  entry.Read = false;
  entry.RowResult.fill(-1);
  const int klasse = rows_[size_t(row)].Data.Klasse;
  entry.Klasse = klasse;
  entry.ClassText = Values::ClassText(klasse);
  entries_[size_t(row)] = entry;
}

void RecordListModel::FindDuplicates() {
  duplicates_.assign(rows_.size(), {});
  std::map<QString, std::vector<int>> rowsOf;
  for (int row = 0; row < RecordCount(); ++row) {
    const QString key = rows_[size_t(row)].Data.InventarNr.simplified().toCaseFolded();
    if (!key.isEmpty() && !rows_[size_t(row)].Skipped) rowsOf[key].push_back(row);
  }
  for (const auto& [key, rows] : rowsOf) {
    if (rows.size() < 2) continue;
    for (int row : rows)
      for (int other : rows)
        if (other != row) duplicates_[size_t(row)].push_back(other);
  }
}

std::vector<int> RecordListModel::SameInventar(int row) const {
  return row >= 0 && row < int(duplicates_.size()) ? duplicates_[size_t(row)] : std::vector<int>();
}

int RecordListModel::TypedRows() const { return int(std::count(typed_.begin(), typed_.end(), 1)); }

std::vector<int> RecordListModel::UnsavedRows() const {
  std::vector<int> rows;
  for (int row = 0; row < RecordCount(); ++row)
    if (unsaved_[size_t(row)]) rows.push_back(row);
  return rows;
}

void RecordListModel::MarkSaved(const std::vector<int>& rows) {
  for (int row : rows)
    if (row >= 0 && row < RecordCount()) unsaved_[size_t(row)] = 0;
}

ListEntry RecordListModel::Entry(int row) const { return entries_[size_t(row)]; }

const DeviceRecord& RecordListModel::Record(int row) const {
  static const DeviceRecord kNone;
  const int record = recordOf_[size_t(row)];
  return record >= 0 ? records_[size_t(record)] : kNone;
}

bool RecordListModel::HasRecord(int row) const {
  const int record = row >= 0 && row < RecordCount() ? recordOf_[size_t(row)] : -1;
  return record >= 0 && read_[size_t(record)];
}

ReportRecord RecordListModel::Report(int row) const {
  const int record = recordOf_[size_t(row)];
  if (record >= 0) return RecordList::ReportFor(Source(), record, rows_[size_t(row)].Data, template_, today_);
  // A row without a record: the template with the appliance's data.
  ReportRecord report = template_;
  RecordList::ApplyAppliance(rows_[size_t(row)].Data, today_, &report);
  return report;
}

// ---- a visit

void RecordListModel::Plan(const Visit::Plan& plan) {
  beginResetModel();
  plan_ = plan;
  planned_ = true;
  rows_.clear();
  for (const ArchiveData::Appliance& a : plan.Appliances) {
    Visit::Row row;
    row.Made = Visit::Row::Origin::Planned;
    row.Known = a;
    row.Data = Visit::DataOf(a);
    rows_.push_back(row);
  }
  typed_.assign(rows_.size(), 0);
  unsaved_.assign(rows_.size(), 0);
  marked_ = -1;
  today_ = Clock::Today();
  Rebuild();
  endResetModel();
  reviewed_ = false;
}

void RecordListModel::Changed() {
  reviewed_ = false;
  recordOf_ = Visit::Assign(rows_, int(records_.size()));
  entries_.assign(rows_.size(), ListEntry());
  FindDuplicates();
  for (int row = 0; row < RecordCount(); ++row) Recompute(row);
}

bool RecordListModel::MoveRow(int row, int to) {
  if (row < 0 || row >= RecordCount() || to < 0 || to >= RecordCount() || row == to) return false;
  // The row goes, the records stay where they are: each row takes the record of its place.
  beginMoveRows(QModelIndex(), row, row, QModelIndex(), to > row ? to + 1 : to);
  auto move = [&](auto& v) {
    auto item = v[size_t(row)];
    v.erase(v.begin() + row);
    v.insert(v.begin() + to, item);
  };
  move(rows_);
  move(typed_);
  move(unsaved_);
  endMoveRows();
  Changed();
  marked_ = to;
  emit dataChanged(index(0, 0), index(RecordCount() - 1, ColumnCount - 1));
  return true;
}

void RecordListModel::SetSkipped(int row, bool skipped) {
  if (row < 0 || row >= RecordCount() || rows_[size_t(row)].Skipped == skipped) return;
  rows_[size_t(row)].Skipped = skipped;
  Changed();
  // A skipped row that a load added (no appliance) leaves the list when records shrink.
  emit dataChanged(index(0, 0), index(RecordCount() - 1, ColumnCount - 1));
  emit headerDataChanged(Qt::Vertical, 0, RecordCount() - 1);
}

int RecordListModel::InsertRow(int at) {
  at = std::clamp(at, 0, RecordCount());
  beginInsertRows(QModelIndex(), at, at);
  Visit::Row row;
  row.Made = Visit::Row::Origin::Inserted;
  rows_.insert(rows_.begin() + at, row);
  typed_.insert(typed_.begin() + at, 0);
  unsaved_.insert(unsaved_.begin() + at, 0);
  recordOf_.insert(recordOf_.begin() + at, -1);
  entries_.insert(entries_.begin() + at, ListEntry());
  duplicates_.insert(duplicates_.begin() + at, std::vector<int>());
  endInsertRows();
  Changed();
  emit dataChanged(index(0, 0), index(RecordCount() - 1, ColumnCount - 1));
  return at;
}

bool RecordListModel::RemoveRow(int row) {
  if (row < 0 || row >= RecordCount() || rows_[size_t(row)].Made == Visit::Row::Origin::Planned) return false;
  beginRemoveRows(QModelIndex(), row, row);
  rows_.erase(rows_.begin() + row);
  typed_.erase(typed_.begin() + row);
  unsaved_.erase(unsaved_.begin() + row);
  recordOf_.erase(recordOf_.begin() + row);
  entries_.erase(entries_.begin() + row);
  duplicates_.erase(duplicates_.begin() + row);
  endRemoveRows();
  Changed();
  emit dataChanged(index(0, 0), index(std::max(0, RecordCount() - 1), ColumnCount - 1));
  return true;
}

Visit::Placed RecordListModel::Place(int cursor, const QString& number, const ArchiveData::Appliance* known) {
  beginResetModel();
  std::vector<Visit::Row> before = rows_;
  const Visit::Placed placed = Visit::Place(&rows_, cursor, number, known);
  // What was typed follows its row.
  auto follow = [&](std::vector<char>& flags) {
    std::vector<char> moved = flags;
    if (placed.kind == Visit::Placed::Kind::Moved) {
      const char flag = moved[size_t(placed.from)];
      moved.erase(moved.begin() + placed.from);
      moved.insert(moved.begin() + placed.row, flag);
    } else if (placed.kind == Visit::Placed::Kind::Added) {
      moved.insert(moved.begin() + placed.row, 0);
    }
    flags = moved;
  };
  follow(typed_);
  follow(unsaved_);
  if (placed.kind == Visit::Placed::Kind::Added || placed.kind == Visit::Placed::Kind::Assigned)
    typed_[size_t(placed.row)] = unsaved_[size_t(placed.row)] = 1;
  marked_ = placed.row;
  Changed();
  endResetModel();
  return placed;
}

void RecordListModel::FillKnown(int row, const ArchiveData::Appliance& known) {
  if (row < 0 || row >= RecordCount()) return;
  Visit::Row& r = rows_[size_t(row)];
  r.Known = known;
  Visit::FillFrom(known, &r.Data);
  typed_[size_t(row)] = unsaved_[size_t(row)] = 1;
  Changed();
  emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void RecordListModel::TakeRows(const std::vector<Visit::Row>& rows) {
  if (rows.size() != rows_.size()) return;
  rows_ = rows;
  const bool reviewed = reviewed_;
  Changed();
  reviewed_ = reviewed;
  emit dataChanged(index(0, 0), index(RecordCount() - 1, ColumnCount - 1));
}

void RecordListModel::SetMarked(int row) {
  const int old = marked_;
  marked_ = row;
  for (int r : {old, row})
    if (r >= 0 && r < RecordCount()) emit dataChanged(index(r, 0), index(r, ColumnCount - 1));
}

std::vector<int> RecordListModel::ClassesOfRows() const {
  std::vector<int> classes;
  for (int row = 0; row < RecordCount(); ++row) classes.push_back(entries_[size_t(row)].Klasse);
  return classes;
}

int RecordListModel::TextLimit(int column) {
  switch (column) {
    case ColLeistung: return Layout::kFields[Layout::kFieldLeistung].limit;
    case ColLaenge:
    case ColQuerschnitt: return 10;
    case ColInventar: return Layout::kFields[Layout::kFieldIdentnummer].limit;
    case ColBezeichnung: return Layout::kFields[Layout::kFieldGeraetArt].limit;
    case ColHersteller: return Layout::kFields[Layout::kFieldHersteller].limit;
    case ColStandort: return Layout::kFields[Layout::kFieldStandort].limit;
    case ColDatum: return 10;  // TT.MM.JJJJ
    case ColBemerkungen: return Layout::kFields[Layout::kFieldBemerkung].limit;
    default: return TMessgeraet::kLimitMaxChars;
  }
}

int RecordListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : RecordCount(); }
int RecordListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant RecordListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Vertical) {
    // In a visit: the row's place, and what it is.
    if (section < 0 || section >= RecordCount()) return QVariant();
    const Visit::Row& row = rows_[size_t(section)];
    if (role == Qt::DisplayRole) return section + 1;
    if (role == Qt::ToolTipRole) {
      if (row.Skipped) return QStringLiteral("übersprungen: in diesem Besuch nicht geprüft");
      if (row.Made == Visit::Row::Origin::Planned) return QStringLiteral("geplant (aus dem Archiv)");
      if (row.Known.Id > 0) return QStringLiteral("im Archiv bekannt");
      return row.Data.InventarNr.isEmpty() ? QString() : QStringLiteral("neu: nicht im Archiv");
    }
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  if (role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
  const QStringList columns = RecordList::Columns();
  return section >= 0 && section < columns.size() ? columns[section] : QVariant();
}

Qt::ItemFlags RecordListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractTableModel::flags(index);
  int row = 0, part = 0;
  const int c = index.column();
  // Nothing is typed while a load runs.
  if (device_ && device_->LoadState != 0) return flags;
  if (!entries_[size_t(index.row())].Read) {
    // A row without its record yet: the appliance's data and class may be set.
    if (c == ColInventar || c == ColBezeichnung || c == ColHersteller || c == ColStandort || (planned_ && c == ColClass))
      flags |= Qt::ItemIsEditable;
    return flags;
  }
  if ((c >= ColInventar && c <= ColDatum) || c == ColBemerkungen) flags |= Qt::ItemIsEditable;
  if (c == ColClass) flags |= Qt::ItemIsEditable;  // the tester does not send the class
  if (c == ColSicht || c == ColFunktion) flags |= Qt::ItemIsUserCheckable;
  if (IsValueColumn(c, &row, &part) && part == 1 && entries_[size_t(index.row())].RowResult[row] >= 0)
    flags |= Qt::ItemIsEditable;  // a limit of its own for this record
  if (c >= ColAnlass && c <= ColQuerschnitt) flags |= Qt::ItemIsEditable;
  // Another standard only where the tester's has successors.
  if (c == ColReportStandard && Profiles::Choices(Record(index.row()).NormIndex + 4).size() > 1)
    flags |= Qt::ItemIsEditable;
  return flags;
}

QVariant RecordListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= RecordCount()) return QVariant();
  const ListEntry& e = entries_[size_t(index.row())];
  const Visit::Row& visitRow = rows_[size_t(index.row())];
  const ApplianceData& d = visitRow.Data;
  const int c = index.column();
  int row = 0, part = 0;
  const bool value = IsValueColumn(c, &row, &part);

  if (role == Qt::DisplayRole || role == Qt::EditRole || role == SortRole) {
    if (role == SortRole) {
      // The list's order: the place of the row (the records follow it).
      if (c == ColNumber) return index.row();
      if (value && part < 2) {
        bool ok = false;
        const double number = (part == 0 ? e.Value[row] : e.Limit[row]).trimmed().toDouble(&ok);
        if (ok) return number;
        return (part == 0 ? e.Value[row] : e.Limit[row]) == QLatin1String("Overflow") ? 1e30 : -1e30;
      }
    }
    switch (c) {
      case ColNumber:
        if (visitRow.Skipped) return QStringLiteral("–");
        return e.Number > 0 ? CFormat("%03d", e.Number) : QString();
      case ColStandard: return e.StandardText;
      case ColClass: return e.ClassText;
      case ColInventar: return d.InventarNr;
      case ColBezeichnung: return d.Bezeichnung;
      case ColHersteller: return d.HerstellerTyp;
      case ColStandort: return d.Standort;
      case ColDatum:
        if (!e.Read) return QString();
        return d.Pruefdatum.isEmpty() ? today_.toString(QStringLiteral("dd.MM.yyyy")) : d.Pruefdatum;
      case ColNaechste: return e.Read ? e.NextTest : QString();
      case ColMessung: return e.Read ? ResultText(e.Measured) : QString();
      case ColVerdict:
        if (visitRow.Skipped) return QStringLiteral("übersprungen");
        return e.Read ? RecordList::VerdictText(e.Verdict) : QString();
      case ColBemerkungen: return d.Bemerkungen;
      case ColSicht:
      case ColFunktion:
        // An inspection not ticked yet (here or in the form) is open.
        return e.Read && (c == ColSicht ? e.Sicht : e.Funktion) < 0 ? QStringLiteral("offen") : QVariant();
      case ColReportStandard: return e.Read ? Profiles::Name(e.ReportStandard) : QString();
      case ColAnlass: return e.AnlassText;
      case ColKind: return e.KindText;
      case ColLeistung: return e.Leistung;
      case ColLaenge: return d.Leitungslaenge;
      case ColQuerschnitt: return d.Leitungsquerschnitt;
      case ColVorpruefung: return e.PreviousDate;
      case ColVergleich: return e.Warnings.join(QStringLiteral("; "));
      default: break;
    }
    int previousRow = 0;
    if (IsPreviousColumn(c, &previousRow)) {
      if (role == SortRole) {
        bool ok = false;
        const double number = e.Previous[previousRow].trimmed().toDouble(&ok);
        return ok ? number : e.Previous[previousRow] == QLatin1String("Overflow") ? 1e30 : -1e30;
      }
      return e.Previous[previousRow];
    }
    if (value) {
      if (part == 0) return e.Value[row].trimmed();
      if (part == 1) return e.Limit[row];
      return ResultText(e.RowResult[row]);
    }
  }
  // The row of the last scan stands out; a skipped row is grey.
  if (role == Qt::BackgroundRole && index.row() == marked_ && c != ColVerdict) return QColor(200, 225, 255);
  if (role == Qt::ForegroundRole && visitRow.Skipped) return QColor(140, 140, 140);
  if (role == Qt::FontRole && visitRow.Skipped) {
    QFont font;
    font.setItalic(true);
    return font;
  }
  if (c == ColInventar && planned_) {
    // New in this visit: not in the archive.
    const bool fresh = visitRow.Known.Id == 0 && !d.InventarNr.isEmpty();
    if (role == Qt::BackgroundRole && fresh && duplicates_[size_t(index.row())].empty()) return QColor(220, 235, 255);
    if (role == Qt::ToolTipRole && fresh && duplicates_[size_t(index.row())].empty())
      return QStringLiteral("Neu: diese Inventar-Nr. kennt das Archiv bei diesem Auftraggeber nicht.");
  }
  if (!e.Read) return QVariant();
  if (role == Qt::CheckStateRole && (c == ColSicht || c == ColFunktion)) {
    const int state = c == ColSicht ? e.Sicht : e.Funktion;
    return state < 0 ? Qt::PartiallyChecked : state ? Qt::Checked : Qt::Unchecked;
  }
  if (role == Qt::ForegroundRole) {
    if (c == ColVerdict) return e.Verdict < 0 ? kOpenColor : e.Verdict ? kPassedColor : kFailedColor;
    if (c == ColMessung) return e.Measured ? kPassedColor : kFailedColor;
    if (value && part == 2 && e.RowResult[row] >= 0) return e.RowResult[row] ? kPassedColor : kFailedColor;
    if (c == ColInventar && !duplicates_[size_t(index.row())].empty()) return kFailedColor;
  }
  int previousRow = 0;
  if (role == Qt::BackgroundRole && ((value && part == 0 && e.Warn[row]) || (c == ColVergleich && !e.Warnings.isEmpty())))
    return kWarnColor;
  if (role == Qt::ToolTipRole && value && part == 0 && e.Warn[row]) return e.Why[row];
  if (role == Qt::ToolTipRole && IsPreviousColumn(c, &previousRow) && !e.PreviousDate.isEmpty())
    return QStringLiteral("Vorprüfung vom %1").arg(e.PreviousDate);
  if (role == Qt::TextAlignmentRole && IsPreviousColumn(c, &previousRow)) return int(Qt::AlignRight | Qt::AlignVCenter);
  if (role == Qt::BackgroundRole) {
    if (c == ColVerdict) return e.Verdict < 0 ? QColor(250, 240, 200) : e.Verdict ? QColor(220, 245, 220) : QColor(250, 222, 222);
    if (c == ColInventar && !duplicates_[size_t(index.row())].empty()) return QColor(255, 214, 170);
  }
  if (role == Qt::ToolTipRole && c == ColInventar && !duplicates_[size_t(index.row())].empty()) {
    QStringList numbers;
    for (int other : duplicates_[size_t(index.row())])
      numbers << (recordOf_[size_t(other)] >= 0 ? CFormat("%03d", recordOf_[size_t(other)] + 1)
                                                : QStringLiteral("Zeile %1").arg(other + 1));
    return QStringLiteral("Dieselbe Inventar-Nr. steht auch bei Nr. %1: das Archiv führt sie als ein Gerät.")
        .arg(numbers.join(QStringLiteral(", ")));
  }
  if (role == Qt::ToolTipRole && c == ColNaechste) {
    // Where the interval comes from.
    const int named = DueDates::IntervalMonths(template_.Fields[Layout::kFieldPruefintervall]);
    if (named > 0) return QStringLiteral("Prüfdatum + %1 Monate („Prüfintervall“ des Formulars)").arg(named);
    if (d.KnownIntervalMonths > 0) return QStringLiteral("Prüfdatum + %1 Monate (das Intervall des Geräts im Archiv)").arg(d.KnownIntervalMonths);
    return QStringLiteral("Prüfdatum + %1 Monate (weder das Formular noch das Archiv nennen ein Intervall)").arg(DueDates::kDefaultMonths);
  }
  if (role == Qt::TextAlignmentRole && value && part < 2) return int(Qt::AlignRight | Qt::AlignVCenter);
  return QVariant();
}

bool RecordListModel::Refuse(const QString& why) {
  refusal_ = why;
  return false;
}

bool RecordListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  refusal_.clear();
  if (!index.isValid() || index.row() >= RecordCount()) return false;
  const int r = index.row();
  ApplianceData& d = rows_[size_t(r)].Data;
  const int c = index.column();
  if (!(flags(index) & (Qt::ItemIsEditable | Qt::ItemIsUserCheckable))) return false;
  if (role == Qt::CheckStateRole && (c == ColSicht || c == ColFunktion)) {
    const int checked = value.toInt() == Qt::Checked ? 1 : 0;
    (c == ColSicht ? d.Sichtpruefung : d.Funktionspruefung) = checked;
  } else if (role == Qt::EditRole && c == ColReportStandard) {
    const std::vector<int> choices = Profiles::Choices(Record(r).NormIndex + 4);
    int code = 0;
    if (value.typeId() == QMetaType::Int) {
      if (value.toInt() >= 0 && value.toInt() < int(choices.size())) code = choices[size_t(value.toInt())];
    } else {
      for (int choice : choices)
        if (Profiles::Name(choice) == value.toString().trimmed()) code = choice;
    }
    if (code == 0) return Refuse(QStringLiteral("Diese Norm gibt es für den Datensatz nicht."));
    d.ReportStandard = code;
  } else if (role == Qt::EditRole && (c == ColAnlass || c == ColKind)) {
    const QStringList choices = c == ColAnlass ? AnlassChoices() : Profiles::KindTexts();
    const int index = value.typeId() == QMetaType::Int ? value.toInt() : int(choices.indexOf(value.toString().trimmed()));
    if (index < 0 || index >= choices.size()) return Refuse(QStringLiteral("Bitte wählen Sie aus der Liste."));
    if (c == ColAnlass)
      d.Anlass = index == 0 ? -1 : index;
    else
      d.Kind = index;
  } else if (role == Qt::EditRole && (c == ColLaenge || c == ColQuerschnitt)) {
    const QString text = value.toString().trimmed();
    const double number = Profiles::ParseNumber(text);
    if (!text.isEmpty() && (std::isnan(number) || number <= 0 || number > 1000))
      return Refuse(c == ColLaenge
                        ? QStringLiteral("\u201E%1\u201C ist keine Leitungslänge in Metern (zum Beispiel 10 oder 2,5).").arg(text)
                        : QStringLiteral("\u201E%1\u201C ist kein Leitungsquerschnitt in mm² (zum Beispiel 1,5).").arg(text));
    (c == ColLaenge ? d.Leitungslaenge : d.Leitungsquerschnitt) = text;
    d.CordTyped = true;
  } else if (role == Qt::EditRole && c == ColClass) {
    // A class of its own for this appliance: the rows that apply and their
    // default limits follow it, as in the device window.
    const int klasse = value.typeId() == QMetaType::Int ? value.toInt() : Values::ClassCode(value.toString().trimmed()) - 1;
    if (klasse < 0 || klasse > 2) return Refuse(QStringLiteral("Die Schutzklasse ist I, II oder III."));
    if (entries_[size_t(r)].Klasse == klasse + 1 && d.Klasse == klasse + 1) return true;
    d.Klasse = klasse + 1;
    d.Limits.fill(QString());
  } else if (role == Qt::EditRole) {
    // One line each: the data record file keeps a field as one line.
    QString text = value.toString();
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    int row = 0, part = 0;
    const bool limit = IsValueColumn(c, &row, &part) && part == 1;
    const QString character = FieldCheck::UnstorableCharacter(text);
    if (!character.isEmpty()) return Refuse(FieldCheck::UnstorableMessage(character));
    if (text.size() > TextLimit(c)) return Refuse(FieldCheck::FullMessage(TextLimit(c)));
    switch (c) {
      case ColInventar:
        // Another number: what the archive knew of the former one no longer holds.
        if (Archive::NumberKey(text) != Archive::NumberKey(d.InventarNr)) rows_[size_t(r)].Known = ArchiveData::Appliance();
        d.InventarNr = text;
        break;
      case ColBezeichnung: d.Bezeichnung = text; break;
      case ColHersteller: d.HerstellerTyp = text; break;
      case ColStandort: d.Standort = text; break;
      case ColDatum: {
        // Empty: today. Otherwise a day that exists, written TT.MM.JJJJ.
        QString date;
        if (!text.trimmed().isEmpty() && !FieldCheck::Date(text, &date)) return Refuse(FieldCheck::DateMessage(text.trimmed()));
        d.Pruefdatum = date;
        break;
      }
      case ColBemerkungen: d.Bemerkungen = text; break;
      case ColLeistung: d.Leistung = text; break;
      default: {
        if (!limit) return false;
        // As the device window's limit fields: a decimal comma is the point.
        QString number = text.trimmed();
        if (!number.isEmpty() && FieldCheck::Limit(number) != FieldCheck::State::Acceptable)
          return Refuse(FieldCheck::LimitMessage(text.trimmed()));
        d.Limits[row] = number;
        break;
      }
    }
  } else {
    return false;
  }
  typed_[size_t(r)] = 1;
  unsaved_[size_t(r)] = 1;
  reviewed_ = false;
  if (c == ColInventar) {
    const auto known = known_.find(IntervalLookup::Key(d.InventarNr));
    d.KnownIntervalMonths = known == known_.end() ? 0 : known->second;
    // The marks of every row with this number change (or of the one it had).
    FindDuplicates();
    emit dataChanged(this->index(0, ColInventar), this->index(RecordCount() - 1, ColInventar));
  }
  // Another appliance, or another test date: another previous test.
  if ((c == ColInventar || c == ColDatum) && earlierTimer_) earlierTimer_->start();
  Recompute(r);
  emit dataChanged(this->index(r, 0), this->index(r, ColumnCount - 1));
  return true;
}

// The editors of the list's cells: the same checks as the form's fields and
// the device window's limit fields; a value the list refuses says why.
class RecordListDelegate : public QStyledItemDelegate {
 public:
  RecordListDelegate(RecordListModel* model, QWidget* window)
      : QStyledItemDelegate(window), model_(model), window_(window) {}

  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const int c = index.column();
    if (c == RecordListModel::ColClass) {
      auto* combo = new QComboBox(parent);
      combo->addItems(Values::ClassTexts());
      return combo;
    }
    if (c == RecordListModel::ColAnlass || c == RecordListModel::ColKind) {
      auto* combo = new QComboBox(parent);
      combo->addItems(c == RecordListModel::ColAnlass ? AnlassChoices() : Profiles::KindTexts());
      return combo;
    }
    if (c == RecordListModel::ColReportStandard) {
      // The standards of the record's family: the tester's and its successors.
      int family = 0;
      for (int code = 1; code <= Profiles::kStandardCodeMax; ++code)
        if (Profiles::Name(code) == index.data(Qt::EditRole).toString()) family = Profiles::TesterStandard(code);
      auto* combo = new QComboBox(parent);
      for (int code : Profiles::Choices(family)) combo->addItem(Profiles::Name(code));
      return combo;
    }
    auto* edit = qobject_cast<QLineEdit*>(QStyledItemDelegate::createEditor(parent, option, index));
    if (!edit) return QStyledItemDelegate::createEditor(parent, option, index);
    int row = 0, part = 0;
    if (IsValueColumn(c, &row, &part))
      FieldGuard::Limit(edit, TMessgeraet::kLimitMaxChars);
    else
      FieldGuard::Text(edit, RecordListModel::TextLimit(c));
    if (c == RecordListModel::ColInventar) {
      // The archive's numbers as they are typed.
      if (auto* list = qobject_cast<RecordListWindow*>(window_)) {
        auto* completer = new QCompleter(list->Completions(), edit);
        completer->setCompletionRole(Qt::UserRole);
        completer->setCaseSensitivity(Qt::CaseInsensitive);
        completer->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
        edit->setCompleter(completer);
        QObject::connect(edit, &QLineEdit::textEdited, list, &RecordListWindow::RequestCompletion);
      }
    }
    return edit;
  }
  void setEditorData(QWidget* editor, const QModelIndex& index) const override {
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
      combo->setCurrentText(index.data(Qt::EditRole).toString());
      return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
  }
  void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
    QVariant value;
    if (auto* combo = qobject_cast<QComboBox*>(editor))
      value = combo->currentIndex();
    else if (auto* edit = qobject_cast<QLineEdit*>(editor))
      value = edit->text();
    else
      return QStyledItemDelegate::setModelData(editor, model, index);
    if (model->setData(index, value, Qt::EditRole)) {
      if (index.column() == RecordListModel::ColInventar)
        if (auto* list = qobject_cast<RecordListWindow*>(window_))
          list->NumberTyped(static_cast<QSortFilterProxyModel*>(model)->mapToSource(index).row(), value.toString());
      return;
    }
    const QString why = model_->LastRefusal();
    if (why.isEmpty()) return;
    // Told once the editor has closed, so the box does not take the focus from it.
    QPointer<QWidget> window = window_;
    QTimer::singleShot(0, window_, [window, why] {
      if (window) Seams::MessageBox(window, why, kCaption, Win::MB_OK | Win::MB_ICONEXCLAMATION);
    });
  }

 private:
  RecordListModel* model_;
  QWidget* window_;
};

// ---- the window

RecordListWindow::RecordListWindow(TMessgeraet* device, TFormular* form, ArchiveService& archive, QWidget* parent)
    : QWidget(parent, Qt::Window), device_(device), form_(form), archive_(archive) {
  setObjectName(QStringLiteral("20015"));
  setWindowTitle(kCaption);
  model_ = new RecordListModel(device, form, this);
  model_->SetArchive(&archive_);
  proxy_ = new QSortFilterProxyModel(this);
  proxy_->setSourceModel(model_);
  proxy_->setSortRole(RecordListModel::SortRole);
  table_ = new FrozenColumnsTable(this);
  table_->setObjectName(QString::number(TableId));
  table_->setModel(proxy_);
  table_->setItemDelegate(new RecordListDelegate(model_, this));
  table_->FrozenView()->setObjectName(QString::number(FrozenColumnsId));
  table_->FrozenView()->setItemDelegate(new RecordListDelegate(model_, this));
  table_->setSortingEnabled(true);
  table_->sortByColumn(RecordListModel::ColNumber, Qt::AscendingOrder);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setAlternatingRowColors(true);
  table_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                          QAbstractItemView::AnyKeyPressed);
  table_->verticalHeader()->setVisible(false);
  table_->verticalHeader()->setDefaultSectionSize(table_->fontMetrics().height() + 6);
  table_->horizontalHeader()->setHighlightSections(false);
  // Column widths from the first rows: measuring all 500 would stall the window.
  table_->horizontalHeader()->setResizeContentsPrecision(40);
  // Which record a row is stays in view while the table scrolls sideways.
  table_->Freeze({RecordListModel::ColNumber, RecordListModel::ColInventar});
  // The appliance's other data beside its number, so Tab goes from one to the
  // next as a row is typed (the columns of the files stay as they are).
  {
    QHeaderView* header = table_->horizontalHeader();
    for (int c = RecordListModel::ColBezeichnung; c <= RecordListModel::ColStandort; ++c)
      header->moveSection(header->visualIndex(c), 2 + c - RecordListModel::ColBezeichnung);
  }
  ArrangePreviousColumns();
  connect(proxy_, &QAbstractItemModel::modelReset, this, &RecordListWindow::ArrangePreviousColumns);

  status_ = new QLabel(this);
  status_->setObjectName(QString::number(StatusId));
  status_->setWordWrap(true);  // a narrow window (a small screen at 200 %) keeps the whole text
  cancelLoad_ = new QPushButton(QStringLiteral("Laden abbrechen"), this);
  cancelLoad_->setObjectName(QString::number(CancelLoadId));
  cancelLoad_->hide();

  auto* top = new QHBoxLayout;
  top->addWidget(status_, 1);
  top->addWidget(cancelLoad_);
  buttons_ = new QGridLayout;
  auto button = [&](int id, const QString& text, const QString& tip = QString()) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(QString::number(id));
    b->setToolTip(tip);
    connect(b, &QPushButton::clicked, this, [this, id] { Command(id); });
    commandButtons_.push_back(b);
  };
  button(PdfFilesId, QStringLiteral("Berichte als PDF..."));
  button(OnePdfId, QStringLiteral("Eine PDF-Datei..."));
  button(PrintId, QStringLiteral("Berichte drucken..."));
  button(RecordsId, QStringLiteral("Datensätze speichern..."));
  button(CsvId, QStringLiteral("CSV (Tabelle)..."),
         QStringLiteral("UTF-8 mit Semikolon und Dezimalkomma, für eine deutsche Tabellenkalkulation"));
  button(CsvPlainId, QStringLiteral("CSV (Komma)..."), QStringLiteral("UTF-8 mit Komma und Dezimalpunkt, für Skripte"));
  button(LabelsId, QStringLiteral("Etiketten..."),
         QStringLiteral("Prüfplaketten der gewählten Geräte (oder aller): nächste Prüfung, Inventar-Nr. mit Code"));
  ArrangeButtons();

  // The visit's row: the scanner types into its field; the rows' tools beside.
  reader_ = new ArchiveReader(archive_, this);
  scan_ = new QLineEdit(this);
  scan_->setObjectName(QString::number(ScanId));
  scan_->setPlaceholderText(QStringLiteral("Inventar-Nr. scannen oder tippen, Enter"));
  scan_->setClearButtonEnabled(true);
  scan_->setToolTip(QStringLiteral("Ein Scan (oder eine getippte Inventar-Nr. und Enter) ordnet die Prüfung der "
                                   "aktuellen Zeile diesem Gerät zu und geht zur nächsten Zeile weiter."));
  completions_ = new QStandardItemModel(this);
  completer_ = new QCompleter(completions_, this);
  completer_->setCompletionRole(Qt::UserRole);
  completer_->setCaseSensitivity(Qt::CaseInsensitive);
  completer_->setCompletionMode(QCompleter::UnfilteredPopupCompletion);
  scan_->setCompleter(completer_);
  completeTimer_ = new QTimer(this);
  completeTimer_->setSingleShot(true);
  completeTimer_->setInterval(150);
  scanNote_ = new QLabel(this);
  scanNote_->setObjectName(QString::number(ScanNoteId));
  scanNote_->setWordWrap(true);
  auto* scanRow = new QHBoxLayout;
  auto* scanLabel = new QLabel(QStringLiteral("Scanner / Inventar-Nr.:"), this);
  scanLabel->setBuddy(scan_);
  scanRow->addWidget(scanLabel);
  scan_->setMinimumWidth(scan_->fontMetrics().averageCharWidth() * 22);
  scanRow->addWidget(scan_, 1);
  auto tool = [&](int id, const QString& text, const QString& tip, const QKeySequence& keys) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(QString::number(id));
    b->setToolTip(QStringLiteral("%1 (%2)").arg(tip, keys.toString(QKeySequence::NativeText)));
    b->setFocusPolicy(Qt::NoFocus);
    // The arrows need little room: the scanner's field gets it.
    if (text.size() == 1) b->setMaximumWidth(b->fontMetrics().height() * 3);
    auto* shortcut = new QShortcut(keys, this);
    connect(shortcut, &QShortcut::activated, b, &QPushButton::click);
    scanRow->addWidget(b);
    return b;
  };
  connect(tool(UpId, QStringLiteral("▲"), QStringLiteral("Zeile nach oben"), QKeySequence(Qt::CTRL | Qt::Key_Up)),
          &QPushButton::clicked, this, [this] { MoveCurrent(-1); });
  connect(tool(DownId, QStringLiteral("▼"), QStringLiteral("Zeile nach unten"), QKeySequence(Qt::CTRL | Qt::Key_Down)),
          &QPushButton::clicked, this, [this] { MoveCurrent(1); });
  connect(tool(SkipId, QStringLiteral("Überspringen"), QStringLiteral("Gerät in diesem Besuch nicht geprüft: die Zeile "
                                                                      "bekommt keine Prüfung (noch einmal: zurück)"),
               QKeySequence(Qt::CTRL | Qt::Key_U)),
          &QPushButton::clicked, this, &RecordListWindow::SkipCurrent);
  connect(tool(InsertId, QStringLiteral("Einfügen"), QStringLiteral("Eine Zeile für ein neues Gerät vor der aktuellen"),
               QKeySequence(Qt::CTRL | Qt::Key_Insert)),
          &QPushButton::clicked, this, &RecordListWindow::InsertAtCurrent);
  connect(tool(RemoveId, QStringLiteral("Entfernen"), QStringLiteral("Eine eingefügte oder gescannte Zeile entfernen"),
               QKeySequence(Qt::CTRL | Qt::Key_Delete)),
          &QPushButton::clicked, this, &RecordListWindow::RemoveCurrent);
  connect(scan_, &QLineEdit::returnPressed, this, [this] {
    const QString number = scan_->text();
    // A completion still on its way is for a number that is done.
    completeTimer_->stop();
    completePrefix_.clear();
    completer_->popup()->hide();
    scan_->clear();
    Scan(number);
  });
  connect(scan_, &QLineEdit::textEdited, this, &RecordListWindow::RequestCompletion);
  connect(completeTimer_, &QTimer::timeout, this, [this] {
    const QString prefix = completePrefix_;
    const bool planned = model_->Planned();
    const qint64 planId = model_->VisitPlan().Customer.Id;
    const QString name = CustomerName();
    auto found = std::make_shared<std::vector<ArchiveData::Appliance>>();
    reader_->Run(
        [prefix, planned, planId, name, found](Archive& archive, const ArchiveReader::Post&) {
          const qint64 id = planned ? planId : archive.CustomerId(name);
          if (id > 0 && !archive.Failed()) *found = archive.Complete(id, prefix, 20);
        },
        [this, prefix, found](const QString& error) {
          if (!error.isEmpty() || prefix != completePrefix_) return;  // typed on since
          completions_->clear();
          for (const ArchiveData::Appliance& a : *found) {
            auto* item = new QStandardItem(QStringLiteral("%1 – %2%3").arg(a.InventarNr, a.Bezeichnung,
                                                                            a.Standort.isEmpty() ? QString() : QStringLiteral(", ") + a.Standort));
            item->setData(a.InventarNr, Qt::UserRole);
            completions_->appendRow(item);
          }
          if (scan_->hasFocus() && scan_->text().simplified() == prefix && !found->empty()) completer_->complete();
        });
  });

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(scanRow);
  layout->addWidget(scanNote_);
  layout->addWidget(table_, 1);
  layout->addLayout(buttons_);
  // The window may be narrower than one row of buttons (they go in two rows
  // then), never narrower than two rows.
  layout->setSizeConstraint(QLayout::SetNoConstraint);
  {
    int half = 0;
    for (size_t i = 0; i < commandButtons_.size(); i += 2)
      half += std::max(commandButtons_[i]->sizeHint().width(),
                       i + 1 < commandButtons_.size() ? commandButtons_[i + 1]->sizeHint().width() : 0);
    const QMargins m = layout->contentsMargins();
    setMinimumSize(half + int(commandButtons_.size()) * 6 + m.left() + m.right(), 240);
  }

  loadWatch_ = new QTimer(this);
  loadWatch_->setInterval(500);
  connect(loadWatch_, &QTimer::timeout, this, &RecordListWindow::UpdateLoadState);
  connect(cancelLoad_, &QPushButton::clicked, this, [this] {
    if (device_) device_->Session.CancelSequence();
  });
  for (QTableView* view : {static_cast<QTableView*>(table_), table_->FrozenView()})
    connect(view, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
      // Typing columns open their editor; the others show the record.
      if (!(model_->flags(proxy_->mapToSource(index)) & Qt::ItemIsEditable))
        ShowInDevice(proxy_->mapToSource(index).row());
    });
  // In a visit each row shows its place.
  connect(proxy_, &QAbstractItemModel::modelReset, this, [this] { table_->verticalHeader()->setVisible(model_->Planned()); });
  if (device_) {
    connect(device_, &TMessgeraet::RecordsLoaded, this, &RecordListWindow::OnRecordsLoaded);
    device_->ConfirmLoadAll = [this](bool deleting) { return ConfirmLoad(deleting); };
  }
  // The form is the template of every row at any moment: its inspection boxes
  // are the rows' default, its texts those of every report.
  formWatch_ = new QTimer(this);
  formWatch_->setSingleShot(true);
  formWatch_->setInterval(0);
  connect(formWatch_, &QTimer::timeout, this, [this] {
    model_->Refresh();
    UpdateLoadState();
  });
  if (form_) {
    for (QCheckBox* box : {form_->SichtpruefungBox, form_->FunktionspruefungBox})
      connect(box, &QCheckBox::toggled, formWatch_, qOverload<>(&QTimer::start));
    for (QLineEdit* edit : form_->Edits) connect(edit, &QLineEdit::textChanged, formWatch_, qOverload<>(&QTimer::start));
    connect(form_, &TFormular::DetailsChanged, formWatch_, qOverload<>(&QTimer::start));
  }
}

QTableView* RecordListWindow::Table() const { return table_; }
QTableView* RecordListWindow::FrozenColumns() const { return table_->FrozenView(); }

RecordListWindow::~RecordListWindow() {
  if (device_) device_->ConfirmLoadAll = nullptr;
}

void RecordListWindow::SetupWindow() {
  // A small screen (1366 x 768 at 200 %) gets a window that fits on it.
  ScreenFit::Fit(this, QSize(1180, 560));
  fitted_ = size();
  model_->Reload();
  table_->resizeColumnsToContents();
  UpdateLoadState();
  loadWatch_->start();
}

void RecordListWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!sizeRestored_) {
    // The size it had, as far as this screen has room for it (it may have
    // been saved on a larger screen or at a smaller scale); the size saved
    // stays until the user changes it.
    const QStringList saved = UserSettings::Value(QStringLiteral("Prüfungen"), QStringLiteral("Größe")).split('x');
    QSize wanted = size();
    if (saved.size() == 2 && saved[0].toInt() >= 300 && saved[1].toInt() >= 200) wanted = QSize(saved[0].toInt(), saved[1].toInt());
    ScreenFit::Fit(this, wanted);
    fitted_ = size();
    sizeRestored_ = true;
  }
  // The form may have changed since: it is the template of every report.
  model_->Refresh();
}

void RecordListWindow::ArrangeButtons() {
  // One row where the window is wide enough, else two: no button is cut off.
  int wide = 0;
  for (QPushButton* b : commandButtons_) wide += b->sizeHint().width() + buttons_->horizontalSpacing();
  const int columns = width() >= wide + 40 ? int(commandButtons_.size()) : (int(commandButtons_.size()) + 1) / 2;
  if (columns == buttonColumns_) return;
  buttonColumns_ = columns;
  for (QPushButton* b : commandButtons_) buttons_->removeWidget(b);
  for (int i = 0; i < int(commandButtons_.size()); ++i) buttons_->addWidget(commandButtons_[size_t(i)], i / columns, i % columns);
  for (int c = 0; c <= int(commandButtons_.size()); ++c) buttons_->setColumnStretch(c, 0);
  buttons_->setColumnStretch(columns, 1);
}

void RecordListWindow::ArrangePreviousColumns() {
  // The report's standard beside the tester's; each previous value right of
  // this test's value, before the limit.
  QHeaderView* header = table_->horizontalHeader();
  const int standard = header->visualIndex(RecordListModel::ColStandard);
  if (header->visualIndex(RecordListModel::ColReportStandard) != standard + 1)
    header->moveSection(header->visualIndex(RecordListModel::ColReportStandard), standard + 1);
  for (int r = 0; r < kDeviceRowCount; ++r) {
    const int value = header->visualIndex(RecordListModel::ColFirstValue + 3 * r);
    const int previous = header->visualIndex(RecordListModel::ColFirstPrevious + r);
    if (previous != value + 1) header->moveSection(previous, value + 1);
  }
}

void RecordListWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  ArrangeButtons();
  if (sizeRestored_ && isVisible() && size() != fitted_)
    UserSettings::SetValue(QStringLiteral("Prüfungen"), QStringLiteral("Größe"),
                           QStringLiteral("%1x%2").arg(width()).arg(height()));
}

void RecordListWindow::OnRecordsLoaded() {
  model_->TakeLoad();
  table_->resizeColumnsToContents();
  UpdateLoadState();
}

void RecordListWindow::UpdateLoadState() {
  const bool loading = device_ && device_->LoadState != 0;
  cancelLoad_->setVisible(loading);
  if (!loading) {
    loadClock_.invalidate();
    int counts[3] = {0, 0, 0};  // open, failed, passed
    int records = 0;
    for (int row = 0; row < model_->RecordCount(); ++row) {
      if (!model_->HasRecord(row)) continue;
      ++records;
      ++counts[model_->Entry(row).Verdict + 1];
    }
    QString text = QStringLiteral("%1 Prüfungen: %2 bestanden, %3 nicht bestanden, %4 offen")
                       .arg(records)
                       .arg(counts[2])
                       .arg(counts[1])
                       .arg(counts[0]);
    // Open: the measurements passed, an inspection is not ticked yet.
    text += counts[0] ? QStringLiteral(" (Sicht- oder Funktionsprüfung nicht abgehakt).") : QStringLiteral(".");
    // The previous tests and what the reports of today's standards lack.
    if (const int warnings = model_->WarningRows())
      text += QStringLiteral(" %1 mit Werten, die sich seit der letzten Prüfung deutlich dem Grenzwert genähert haben "
                             "(Spalte \u201EVergleich\u201C).")
                  .arg(warnings == 1 ? QStringLiteral("Eine Prüfung") : QStringLiteral("%1 Prüfungen").arg(warnings));
    const QString missing = model_->MissingSummary();
    if (!missing.isEmpty()) text += QLatin1Char(' ') + missing;
    if (!model_->EarlierError().isEmpty())
      text += QStringLiteral(" Die früheren Prüfungen sind nicht zu lesen: %1").arg(model_->EarlierError());
    std::vector<int> all(size_t(model_->RecordCount()));
    for (int row = 0; row < model_->RecordCount(); ++row) all[size_t(row)] = row;
    const QString calibration = CalibrationNote(WithRecords(all));
    if (!calibration.isEmpty()) text += QLatin1Char('\n') + calibration;
    if (model_->Planned()) {
      int planned = 0, skipped = 0;
      for (const Visit::Row& row : model_->Rows()) {
        planned += row.Made == Visit::Row::Origin::Planned;
        skipped += row.Skipped;
      }
      const QString visit = QStringLiteral("Besuch bei \u201E%1\u201C: %2 Geräte geplant%3")
                                .arg(model_->VisitPlan().Customer.Name)
                                .arg(planned)
                                .arg(skipped ? QStringLiteral(", %1 übersprungen").arg(skipped) : QString());
      status_->setText(records == 0 ? visit + QStringLiteral(". Jetzt \u201ELade Alle Datensätze\u201C im Messgerät: "
                                                             "Prüfung 1 kommt in Zeile 1, und so fort.")
                                    : visit + QStringLiteral("; ") + text);
      return;
    }
    status_->setText(records == 0
                         ? QStringLiteral("Noch keine Prüfungen geladen: \u201ELade Alle Datensätze\u201C im Messgerät.")
                         : text);
    return;
  }
  const int done = device_->RecordIndex;
  const int total = device_->RecordCount;
  if (!loadClock_.isValid()) {
    loadClock_.start();
    loadStartRecord_ = done;
  }
  QString text = QStringLiteral("Lade Datensatz %1 von %2").arg(done + 1).arg(total);
  const int read = done - loadStartRecord_;
  if (read > 0 && total > done) {
    // The time per record so far, for the records still to come.
    const qint64 left = loadClock_.elapsed() * (total - done) / read / 1000;
    text += QStringLiteral(" \u2013 noch etwa %1:%2 min").arg(left / 60).arg(left % 60, 2, 10, QLatin1Char('0'));
  }
  status_->setText(text);
}

std::vector<int> RecordListWindow::ChosenRows() const {
  std::set<int> selected;
  for (const QModelIndex& index : table_->selectionModel()->selectedRows()) selected.insert(index.row());
  std::vector<int> rows;
  for (int p = 0; p < proxy_->rowCount(); ++p)
    if (selected.empty() || selected.count(p)) rows.push_back(proxy_->mapToSource(proxy_->index(p, 0)).row());
  return rows;
}

std::vector<ReportRecord> RecordListWindow::Reports(const std::vector<int>& rows) const {
  std::vector<ReportRecord> reports;
  reports.reserve(rows.size());
  for (int row : rows) reports.push_back(model_->Report(row));
  return reports;
}

void RecordListWindow::ShowInDevice(int row) {
  if (!device_ || row < 0) return;
  const bool listed = row < model_->RecordCount();
  // Without a visit a row is its record, also one the list has not taken yet.
  const int record = listed ? model_->RecordOf(row) : model_->Planned() ? -1 : row;
  if (record < 0 || record >= device_->RecordCount) return;
  // The class set in the list is the record's class in the device window too.
  if (listed && model_->Entry(row).Klasse >= 1) device_->Records[record].ClassIndex = model_->Entry(row).Klasse - 1;
  device_->RecordIndex = record;
  device_->ShowRecord();
  emit DeviceWindowWanted();
}

QString RecordListWindow::AskFolder(const QString& title) {
  FileDialogRequest request;
  request.owner = this;
  request.folder = true;
  request.title = title;
  request.initialName = UserFolders::StartFolder();
  QString folder;
  if (!Seams::FileDialog(request, &folder)) return QString();
  UserFolders::Remember(folder);
  lastFolder_ = folder;
  return folder;
}

QString RecordListWindow::AskFile(const QString& title, const QString& filter, const QString& name) {
  FileDialogRequest request;
  request.owner = this;
  request.save = true;
  request.title = title;
  request.filter = filter;
  request.initialName = QDir(UserFolders::StartFolder()).filePath(name);
  request.overwritePrompt = true;
  QString path;
  if (!Seams::FileDialog(request, &path)) return QString();
  UserFolders::Remember(path);
  return path;
}

bool RecordListWindow::ConfirmReplace(const QStringList& paths) {
  QStringList existing;
  for (const QString& path : paths)
    if (QFileInfo::exists(path)) existing << QFileInfo(path).fileName();
  if (existing.isEmpty()) return true;
  const QString names = existing.mid(0, 5).join(QStringLiteral("\n")) + (existing.size() > 5 ? QStringLiteral("\n...") : QString());
  return Seams::MessageBox(this,
                           QStringLiteral("%1 der Dateien sind bereits vorhanden:\n\n%2\n\nMöchten Sie sie ersetzen?")
                               .arg(existing.size())
                               .arg(names),
                           kCaption, Win::MB_YESNO | Win::MB_ICONEXCLAMATION | Win::MB_DEFBUTTON2) == Win::IDYES;
}

bool RecordListWindow::RunWithProgress(const QString& title, int total,
                                       const std::function<bool(const std::function<bool(int)>&)>& job) {
  QProgressDialog progress(title, QStringLiteral("Abbrechen"), 0, total, this);
  progress.setWindowTitle(kCaption);
  progress.setMinimumDuration(300);
  progress.setValue(0);
  return job([&progress](int done) {
    progress.setValue(done);
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    return !progress.wasCanceled();
  });
}

namespace {
// Paths for the files of the rows in a folder: named after the Inventar-Nr.
// (or the record number), each name once.
QStringList TargetPaths(const RecordListModel& model, const std::vector<int>& rows, const QString& folder,
                        const QString& suffix) {
  QStringList stems, paths;
  for (int row : rows) stems << RecordList::FileStem(model.Entry(row), model.Appliance(row));
  for (const QString& name : RecordList::UniqueFileNames(stems, suffix)) paths << QDir(folder).filePath(name);
  return paths;
}
}  // namespace

std::vector<QString> RecordListWindow::StoredHashes(const std::vector<ReportRecord>& reports) {
  std::vector<QByteArray> files;
  files.reserve(reports.size());
  for (const ReportRecord& report : reports) {
    QByteArray bytes;
    Report::Encode(report, &bytes);
    files.push_back(bytes);
  }
  QProgressDialog progress(QStringLiteral("Prüfnachweise im Archiv suchen ..."), QStringLiteral("Ohne Prüfnachweise weiter"),
                           0, 0, this);
  progress.setWindowTitle(kCaption);
  progress.setMinimumDuration(500);
  QEventLoop waiting;
  std::vector<QString> hashes;
  bool answered = false;
  archive_.HashesAsync(files, &progress, [&](const std::vector<QString>& found, const QString&) {
    hashes = found;
    answered = true;
    waiting.quit();
  });
  connect(&progress, &QProgressDialog::canceled, &waiting, &QEventLoop::quit);
  if (!answered) waiting.exec();
  hashes.resize(reports.size());
  return hashes;
}

void RecordListWindow::ReportsAsPdfFiles() {
  const std::vector<int> rows = WithRecords(ChosenRows());
  if (rows.empty()) return;
  const QString folder = AskFolder(QStringLiteral("Ordner für die Berichte (PDF)"));
  if (folder.isEmpty()) return;
  const QStringList paths = TargetPaths(*model_, rows, folder, QStringLiteral(".pdf"));
  if (!ConfirmReplace(paths)) return;
  const std::vector<ReportRecord> reports = Reports(rows);
  const std::vector<QString> hashes = StoredHashes(reports);
  Batch::Result result;
  RunWithProgress(QStringLiteral("Berichte als PDF ..."), int(reports.size()), [&](const Batch::Progress& p) {
    result = Batch::WritePdfs(reports, paths, p, hashes);
    return result.ok;
  });
  if (!result.ok) Seams::MessageBox(this, result.error, kCaption, Win::MB_OK | Win::MB_ICONHAND);
}

void RecordListWindow::ReportsAsOnePdf() {
  const std::vector<int> rows = WithRecords(ChosenRows());
  if (rows.empty()) return;
  const QString path =
      AskFile(QStringLiteral("Alle Berichte in eine PDF-Datei"), QStringLiteral("PDF-Dateien (*.pdf)|*.pdf"),
              QStringLiteral("Prüfprotokolle %1.pdf").arg(Clock::Today().toString(QStringLiteral("dd.MM.yyyy"))));
  if (path.isEmpty()) return;
  const QString target = QFileInfo(path).suffix().isEmpty() ? path + QStringLiteral(".pdf") : path;
  const std::vector<ReportRecord> reports = Reports(rows);
  const std::vector<QString> hashes = StoredHashes(reports);
  Batch::Result result;
  RunWithProgress(QStringLiteral("Berichte in eine PDF-Datei ..."), int(reports.size()), [&](const Batch::Progress& p) {
    result = Batch::WriteOnePdf(reports, target, p, hashes);
    return result.ok;
  });
  if (!result.ok) Seams::MessageBox(this, result.error, kCaption, Win::MB_OK | Win::MB_ICONHAND);
}

void RecordListWindow::PrintReports() {
  const std::vector<int> rows = WithRecords(ChosenRows());
  if (rows.empty() || !form_) return;
  QPrinter* printer = PrintJob::EnsurePrinter(*form_);
  if (printer->outputFormat() == QPrinter::PdfFormat) {
    // No printer on this machine: the reports go into one PDF file.
    ReportsAsOnePdf();
    return;
  }
  if (PrintJob::AskPrinter(*printer, this, QStringLiteral("%1 Berichte").arg(rows.size())) != Win::IDOK) return;
  const std::vector<ReportRecord> reports = Reports(rows);
  const std::vector<QString> hashes = StoredHashes(reports);
  Batch::Result result;
  RunWithProgress(QStringLiteral("Berichte drucken ..."), int(reports.size()), [&](const Batch::Progress& p) {
    result = Batch::Print(reports, *printer, p, hashes);
    return result.ok;
  });
  if (!result.ok) Seams::MessageBox(this, result.error, kCaption, Win::MB_OK | Win::MB_ICONHAND);
}

void RecordListWindow::SaveRecords() {
  std::vector<int> rows = WithRecords(ChosenRows());
  if (rows.empty()) return;
  const QString folder = AskFolder(QStringLiteral("Ordner für die Datensätze"));
  if (folder.isEmpty()) return;
  // Nothing of a visit goes into the archive before its review was shown
  // (it may give rows new numbers, and so their files new names).
  if (!Review(&rows) || rows.empty()) {
    lastFolder_.clear();
    return;
  }
  const QStringList paths = TargetPaths(*model_, rows, folder, QStringLiteral(".ini"));
  if (!ConfirmReplace(paths)) return;
  lastSaved_ = rows;
  const std::vector<ReportRecord> reports = Reports(rows);
  // Each test goes into the archive (or its queue) as its file is written;
  // the archive's work runs beside the window, which never waits for it.
  Batch::Result result;
  const StoreJob::Tally tally = StoreJob::SaveRecords(archive_, this, kCaption, reports, paths, &result);
  if (!result.ok) Seams::MessageBox(this, result.error, kCaption, Win::MB_OK | Win::MB_ICONHAND);
  status_->setText(tally.Text());
  if (!tally.missing.isEmpty() || !tally.journalError.isEmpty()) {
    QString text;
    if (!tally.missing.isEmpty())
      text = QStringLiteral("Diese Datensätze wurden gespeichert, sind aber weder im Archiv noch in seiner "
                            "Warteschlange:\n\n%1\n\nBitte übernehmen Sie sie später mit „Datensätze importieren...“ "
                            "im Archiv.")
                 .arg(tally.missing.mid(0, 15).join(QLatin1Char('\n')) +
                      (tally.missing.size() > 15 ? QStringLiteral("\n...") : QString()));
    else
      text = QStringLiteral("Die Datensätze wurden gespeichert. Sie konnten aber nicht für den Fall eines Absturzes "
                            "vorgemerkt werden: %1").arg(tally.journalError);
    Seams::MessageBox(this, text, kCaption, Win::MB_OK | Win::MB_ICONEXCLAMATION);
  }
}

void RecordListWindow::ExportCsv(bool spreadsheet) {
  const std::vector<int> rows = ChosenRows();
  const QString path = AskFile(QStringLiteral("Liste als CSV exportieren"), QStringLiteral("CSV-Dateien (*.csv)|*.csv"),
                               QStringLiteral("Prüfungen %1.csv").arg(Clock::Today().toString(QStringLiteral("dd.MM.yyyy"))));
  if (path.isEmpty()) return;
  const QString target = QFileInfo(path).suffix().isEmpty() ? path + QStringLiteral(".csv") : path;
  std::vector<QStringList> table{RecordList::Columns()};
  for (int row : rows) table.push_back(RecordList::CsvCells(model_->Entry(row), model_->Appliance(row), model_->Report(row)));
  QString error;
  if (!FileIO::SaveFileAtomically(target, RecordList::Csv(table, spreadsheet, RecordList::NumberColumns()), &error)) {
    Seams::MessageBox(this, QStringLiteral("Die Liste konnte nicht gespeichert werden.\n\n%1\n\n%2").arg(target, error),
                      kCaption, Win::MB_OK | Win::MB_ICONHAND);
    return;
  }
  model_->MarkSaved(rows);  // what was typed for them is in a file now
}

void RecordListWindow::Command(int id) {
  // The form may have changed a moment ago: it is the template of every report.
  model_->Refresh();
  const bool batch = id == PdfFilesId || id == OnePdfId || id == PrintId || id == RecordsId;
  if (batch && !ConfirmDuplicates(WithRecords(ChosenRows()))) return;
  // Answered: the review does not ask about the duplicates again.
  duplicatesConfirmed_ = batch;
  struct Reset {
    bool* flag;
    ~Reset() { *flag = false; }
  } reset{&duplicatesConfirmed_};
  switch (id) {
    case PdfFilesId: ReportsAsPdfFiles(); break;
    case OnePdfId: ReportsAsOnePdf(); break;
    case PrintId: PrintReports(); break;
    case RecordsId: SaveRecordsAndNote(); break;
    case CsvId: ExportCsv(true); break;
    case CsvPlainId: ExportCsv(false); break;
    case LabelsId: OpenLabels(); break;
    default: break;
  }
  // The instrument's calibration had run out: said beside the result, the
  // reports are made all the same.
  if (batch) {
    const QString note = CalibrationNote(ChosenRows());
    if (!note.isEmpty() && !status_->text().contains(note)) status_->setText(status_->text() + QLatin1Char('\n') + note);
  }
}

LabelDialog* RecordListWindow::OpenLabels() {
  const std::vector<int> rows = ChosenRows();
  if (rows.empty()) return nullptr;
  int open = 0;
  for (int row : rows) open += model_->Entry(row).Verdict < 0;
  QStringList notes;
  if (open)
    notes << QStringLiteral("%1 Prüfungen sind offen (Sicht- oder Funktionsprüfung nicht abgehakt): ihr Etikett sagt "
                            "„GESPERRT“, wie ihr Bericht „nicht bestanden“ sagt.")
                 .arg(open);
  const QString calibration = CalibrationNote(rows);
  if (!calibration.isEmpty()) notes << calibration;
  return LabelDialog::Open(this, Reports(rows), notes.join(QLatin1Char('\n')));
}

int RecordListWindow::SelectByInventar(const QString& scanned) {
  const QString whole = scanned.simplified().toCaseFolded();
  const QString number = Labels::InventarOfCode(scanned).simplified().toCaseFolded();
  int found = -1;
  for (const QString& wanted : {whole, number}) {
    if (wanted.isEmpty()) continue;
    for (int row = 0; row < model_->RecordCount() && found < 0; ++row)
      if (model_->Appliance(row).InventarNr.simplified().toCaseFolded() == wanted) found = row;
    if (found >= 0) break;
  }
  if (found < 0) return -1;
  const QModelIndex index = proxy_->mapFromSource(model_->index(found, RecordListModel::ColInventar));
  table_->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  table_->setCurrentIndex(index);
  static_cast<QTableView*>(table_)->scrollTo(index);
  return found;
}

QString RecordListWindow::CalibrationNote(const std::vector<int>& rows) const {
  // The form's "nächste Kalibrierung" against each row's test date.
  const QString calibration = model_->Template().Fields[Layout::kFieldNaechsteKalibrierung].simplified();
  const QDate validUntil = DueDates::CalibrationValidUntil(calibration);
  if (!validUntil.isValid()) return QString();
  int late = 0;
  for (int row : rows) {
    const QString typed = model_->Appliance(row).Pruefdatum;
    const QDate tested = typed.isEmpty() ? QDate::currentDate() : DueDates::ParseDate(typed);
    late += tested.isValid() && tested > validUntil;
  }
  if (late == 0) return QString();
  return QStringLiteral("Achtung: Bei %1 war die Kalibrierung des Messgeräts am Prüftag abgelaufen (nächste "
                        "Kalibrierung: %2). Die Berichte werden trotzdem erstellt; lassen Sie das Messgerät kalibrieren.")
      .arg(late == 1 ? QStringLiteral("einer Prüfung") : QStringLiteral("%1 Prüfungen").arg(late), calibration);
}

bool RecordListWindow::ConfirmDuplicates(const std::vector<int>& rows) {
  std::set<int> chosen(rows.begin(), rows.end());
  QStringList lines;
  std::set<QString> told;
  for (int row : rows) {
    std::vector<int> same = model_->SameInventar(row);
    if (same.empty()) continue;
    const QString number = model_->Appliance(row).InventarNr.simplified();
    if (!told.insert(number.toCaseFolded()).second) continue;
    same.push_back(row);
    std::sort(same.begin(), same.end());
    QStringList numbers;
    for (int r : same) numbers << CFormat("%03d", r + 1);
    lines << QStringLiteral("\u201E%1\u201C: Nr. %2").arg(number, numbers.join(QStringLiteral(", ")));
  }
  if (lines.isEmpty()) return true;
  const QString shown = lines.mid(0, 8).join(QLatin1Char('\n')) + (lines.size() > 8 ? QStringLiteral("\n...") : QString());
  return Seams::MessageBox(this,
                           QStringLiteral("Dieselbe Inventar-Nr. steht bei mehreren Geräten:\n\n%1\n\nDas Archiv "
                                          "führt sie als ein Gerät. Trotzdem fortfahren?")
                               .arg(shown),
                           kCaption, Win::MB_YESNO | Win::MB_ICONEXCLAMATION | Win::MB_DEFBUTTON2) == Win::IDYES;
}

void RecordListWindow::SaveRecordsAndNote() {
  lastFolder_.clear();
  lastSaved_.clear();
  const QDateTime started = QDateTime::currentDateTime().addSecs(-1);
  SaveRecords();
  if (lastFolder_.isEmpty()) return;
  const std::vector<int> rows = lastSaved_;
  // The rows whose data record file is there now hold their typed data in a file.
  const QStringList paths = TargetPaths(*model_, rows, lastFolder_, QStringLiteral(".ini"));
  std::vector<int> written;
  for (size_t i = 0; i < rows.size() && int(i) < paths.size(); ++i) {
    const QFileInfo file(paths[int(i)]);
    if (file.exists() && file.lastModified() >= started) written.push_back(rows[i]);
  }
  model_->MarkSaved(written);
}

bool RecordListWindow::ConfirmLoad(bool deleting) {
  const int typed = model_->TypedRows();
  // In a visit the rows stay with what was typed; only the records change.
  if (typed == 0 || model_->Planned()) return true;
  const QString what = typed == 1 ? QStringLiteral("ein Gerät Daten") : QStringLiteral("%1 Geräte Daten").arg(typed);
  if (deleting)
    return Seams::MessageBox(device_,
                             QStringLiteral("In der Liste \u201EPrüfungen\u201C sind für %1 eingegeben. Nach dem Löschen "
                                            "ist die Liste leer, und diese Daten sind verloren, soweit sie in keiner "
                                            "Datei gespeichert sind.\n\nTrotzdem alle Datensätze im Gerätetester löschen?")
                                 .arg(what),
                             QStringLiteral("Lösche alle Datensätze"),
                             Win::MB_YESNO | Win::MB_ICONQUESTION | Win::MB_DEFBUTTON2) == Win::IDYES;
  return Seams::MessageBox(device_,
                           QStringLiteral("In der Liste \u201EPrüfungen\u201C sind für %1 eingegeben. Das Laden ersetzt "
                                          "sie bei jedem Datensatz, den es liest.\n\nAlle Datensätze neu laden?")
                               .arg(what),
                           QStringLiteral("Lade Alle Datensätze"),
                           Win::MB_YESNO | Win::MB_ICONQUESTION | Win::MB_DEFBUTTON2) == Win::IDYES;
}

bool RecordListWindow::QueryClose() {
  const std::vector<int> unsaved = model_->UnsavedRows();
  if (unsaved.empty()) return true;
  const QString what = unsaved.size() == 1 ? QStringLiteral("Die Daten eines Geräts")
                                           : QStringLiteral("Die Daten von %1 Geräten").arg(unsaved.size());
  switch (Seams::MessageBox(this,
                            QStringLiteral("%1 aus der Liste \u201EPrüfungen\u201C sind in keiner Datei gespeichert. "
                                           "Als Datensätze speichern?")
                                .arg(what),
                            kCaption, Win::MB_YESNOCANCEL | Win::MB_ICONQUESTION)) {
    case Win::IDYES: {
      // The rows with unsaved data, as if the user had selected them.
      table_->clearSelection();
      for (int p = 0; p < proxy_->rowCount(); ++p) {
        const int row = proxy_->mapToSource(proxy_->index(p, 0)).row();
        if (std::binary_search(unsaved.begin(), unsaved.end(), row))
          table_->selectionModel()->select(proxy_->index(p, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
      }
      Command(RecordsId);
      return model_->UnsavedRows().empty();
    }
    case Win::IDNO: return true;
    default: return false;
  }
}

// ---- a visit

std::vector<int> RecordListWindow::WithRecords(const std::vector<int>& rows) const {
  std::vector<int> with;
  for (int row : rows)
    if (model_->HasRecord(row)) with.push_back(row);
  return with;
}

QString RecordListWindow::CustomerName() const {
  if (model_->Planned()) return model_->VisitPlan().Customer.Name;
  // As the archive names the customer of a report.
  const QString name = form_ ? form_->FieldText(Layout::kFieldAuftraggeber).simplified() : QString();
  return name.isEmpty() ? QStringLiteral("(ohne Auftraggeber)") : name;
}

QAbstractItemModel* RecordListWindow::Completions() const { return completions_; }

bool RecordListWindow::Busy() const { return scanning_ || reader_->Pending() > 0; }

void RecordListWindow::PlanVisit(const Visit::Plan& plan) {
  if (!model_->UnsavedRows().empty() &&
      Seams::MessageBox(this,
                        QStringLiteral("In der Liste \u201EPrüfungen\u201C sind Daten eingegeben, die in keiner Datei "
                                       "gespeichert sind. Die Liste für den Besuch bei \u201E%1\u201C neu füllen?")
                            .arg(plan.Customer.Name),
                        kCaption, Win::MB_YESNO | Win::MB_ICONQUESTION | Win::MB_DEFBUTTON2) != Win::IDYES)
    return;
  if (form_) {
    // The client of every report: the customer as the archive keeps it.
    const ArchiveData::Customer& c = plan.Customer;
    form_->SetFieldText(Layout::kFieldAuftraggeber, c.Name);
    form_->SetFieldText(Layout::kFieldAGAnschrift, c.Anschrift);
    form_->SetFieldText(Layout::kFieldAGPlzStadt, c.PlzStadt);
    form_->SetFieldText(Layout::kFieldAGTel, c.Telefon);
    form_->SetFieldText(Layout::kFieldAGFax, c.Fax);
    form_->SetFieldText(Layout::kFieldAGKontaktperson, c.Kontaktperson);
    if (!c.PlzStadt.isEmpty() || !c.Kontaktperson.isEmpty())
      form_->CmErzeugenUnternehmer();
    else
      form_->SetFieldText(Layout::kFieldUnternehmer, QString());
  }
  model_->Plan(plan);
  table_->sortByColumn(RecordListModel::ColNumber, Qt::AscendingOrder);
  table_->verticalHeader()->setVisible(true);
  table_->resizeColumnsToContents();
  SetCurrentRow(model_->Rows().empty() ? -1 : Visit::NextRow(model_->Rows(), -1));
  scanNote_->setText(QStringLiteral("Besuch bei \u201E%1\u201C vorbereitet: %2 Geräte in der Reihenfolge des letzten "
                                    "Besuchs. Scannen Sie jedes Gerät, wenn es geprüft wird, oder springen Sie mit "
                                    "\u201EÜberspringen\u201C über Geräte, die es nicht mehr gibt.")
                         .arg(plan.Customer.Name)
                         .arg(plan.Appliances.size()));
  UpdateLoadState();
  scan_->setFocus();
}

int RecordListWindow::CurrentRow() const {
  const QModelIndex current = table_->currentIndex();
  return current.isValid() ? proxy_->mapToSource(current).row() : -1;
}

void RecordListWindow::SetCurrentRow(int row) {
  if (row < 0 || row >= model_->RecordCount()) {
    table_->setCurrentIndex(QModelIndex());
    return;
  }
  const QModelIndex index = proxy_->mapFromSource(model_->index(row, RecordListModel::ColInventar));
  table_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  static_cast<QTableView*>(table_)->scrollTo(index);
  table_->horizontalScrollBar()->setValue(table_->horizontalScrollBar()->minimum());
}

void RecordListWindow::Scan(const QString& number) {
  // A label's code may carry more after the number (customer, date).
  const QString wanted = Labels::InventarOfCode(number).simplified();
  if (wanted.isEmpty()) return;
  scans_.push_back(wanted);
  if (!scanning_) NextScan();
}

void RecordListWindow::NextScan() {
  if (scans_.empty()) {
    scanning_ = false;
    return;
  }
  scanning_ = true;
  const QString number = scans_.front();
  scans_.erase(scans_.begin());
  if (Visit::RowOf(model_->Rows(), number) >= 0) {
    Placed(number, nullptr, QString());
    NextScan();
    return;
  }
  // Not in the list: does the archive know it?
  LookUpNumber(number, [this, number](const ArchiveData::Appliance* known, const QString& error) {
    Placed(number, known, error);
    NextScan();
  });
}

void RecordListWindow::Placed(const QString& number, const ArchiveData::Appliance* known, const QString& lookupError) {
  // The current row; the row scanned last is done (typing its data there
  // does not bring the walk back to it).
  int cursor = CurrentRow();
  if (cursor >= 0 && cursor == model_->Marked()) cursor = Visit::NextRow(model_->Rows(), cursor);
  if (cursor < 0) cursor = model_->RecordCount() ? Visit::NextRow(model_->Rows(), -1) : 0;
  const Visit::Placed placed = model_->Place(cursor, number, known);
  const int record = model_->RecordOf(placed.row);
  const QString test = record >= 0 ? QStringLiteral("Prüfung %1").arg(CFormat("%03d", record + 1))
                                   : QStringLiteral("noch keine Prüfung");
  const ApplianceData& data = model_->Appliance(placed.row);
  const QString what = data.Bezeichnung.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(data.Bezeichnung);
  QString text;
  switch (placed.kind) {
    case Visit::Placed::Kind::Confirmed:
      text = QStringLiteral("%1%2: Zeile %3, %4.").arg(number, what).arg(placed.row + 1).arg(test);
      break;
    case Visit::Placed::Kind::Moved:
      text = QStringLiteral("%1%2 von Zeile %3 nach Zeile %4 geholt: %5 gehört zu diesem Gerät, die Zeilen dazwischen "
                            "rücken nach.")
                 .arg(number, what)
                 .arg(placed.from + 1)
                 .arg(placed.row + 1)
                 .arg(test);
      break;
    case Visit::Placed::Kind::Assigned:
      text = QStringLiteral("%1%2: %3 gehört zu diesem Gerät%4.")
                 .arg(number, what, test, known ? QStringLiteral(" (aus dem Archiv)") : QStringLiteral(" (neu)"));
      break;
    case Visit::Placed::Kind::Added:
      text = placed.from >= 0
                 ? QStringLiteral("%1%2 steht schon in Zeile %3: als weitere Prüfung desselben Geräts in Zeile %4 "
                                  "eingefügt (%5).")
                       .arg(number, what)
                       .arg(placed.from + 1)
                       .arg(placed.row + 1)
                       .arg(test)
             : known ? QStringLiteral("%1%2 aus dem Archiv in Zeile %3 eingefügt (%4).")
                           .arg(number, what)
                           .arg(placed.row + 1)
                           .arg(test)
                     : QStringLiteral("%1: neues Gerät, in Zeile %2 eingefügt (%3). Tragen Sie Bezeichnung und "
                                      "Hersteller ein.")
                           .arg(number)
                           .arg(placed.row + 1)
                           .arg(test);
      break;
  }
  if (!lookupError.isEmpty()) text += QStringLiteral(" Das Archiv konnte nicht gefragt werden: %1").arg(lookupError);
  scanNote_->setText(text);
  SetCurrentRow(Visit::NextRow(model_->Rows(), placed.row));
  model_->SetMarked(placed.row);
  UpdateLoadState();
}

void RecordListWindow::MoveCurrent(int delta) {
  const int row = CurrentRow();
  if (row < 0 || !model_->MoveRow(row, row + delta)) return;
  SetCurrentRow(row + delta);
  UpdateLoadState();
}

void RecordListWindow::SkipCurrent() {
  const int row = CurrentRow();
  if (row < 0) return;
  const bool skip = !model_->Rows()[size_t(row)].Skipped;
  model_->SetSkipped(row, skip);
  scanNote_->setText(skip ? QStringLiteral("Zeile %1 (%2) übersprungen: sie bekommt keine Prüfung; die Prüfungen "
                                           "danach rücken eine Zeile nach oben.")
                                .arg(row + 1)
                                .arg(model_->Appliance(row).InventarNr)
                          : QStringLiteral("Zeile %1 (%2) bekommt wieder eine Prüfung.").arg(row + 1).arg(model_->Appliance(row).InventarNr));
  if (skip) SetCurrentRow(Visit::NextRow(model_->Rows(), row));
  UpdateLoadState();
}

void RecordListWindow::InsertAtCurrent() {
  const int row = CurrentRow();
  const int at = model_->InsertRow(row < 0 ? model_->RecordCount() : row);
  SetCurrentRow(at);
  scanNote_->setText(QStringLiteral("Zeile %1 für ein neues Gerät eingefügt: scannen oder tippen Sie seine Inventar-Nr.")
                         .arg(at + 1));
  UpdateLoadState();
  scan_->setFocus();
}

void RecordListWindow::RemoveCurrent() {
  const int row = CurrentRow();
  if (row < 0) return;
  if (!model_->RemoveRow(row)) {
    scanNote_->setText(QStringLiteral("Eine geplante Zeile bleibt in der Liste; \u201EÜberspringen\u201C nimmt ihr die Prüfung."));
    return;
  }
  SetCurrentRow(std::min(row, model_->RecordCount() - 1));
  UpdateLoadState();
}

void RecordListWindow::RequestCompletion(const QString& prefix) {
  completePrefix_ = prefix.simplified();
  if (completePrefix_.isEmpty()) return;
  completeTimer_->start();
}

void RecordListWindow::NumberTyped(int row, const QString& number) {
  if (number.simplified().isEmpty()) return;
  LookUpNumber(number, [this, row, number](const ArchiveData::Appliance* known, const QString&) {
    // The row may have moved or been renumbered since: only the row still holding the number.
    if (!known || row >= model_->RecordCount() ||
        Archive::NumberKey(model_->Appliance(row).InventarNr) != Archive::NumberKey(number))
      return;
    model_->FillKnown(row, *known);
    scanNote_->setText(QStringLiteral("%1: aus dem Archiv ergänzt (%2).").arg(known->InventarNr, known->Bezeichnung));
  });
}

// The customer's appliance of this number (the plan's customer, else the
// form's client), asked on the archive's thread; `done` gets nullptr when
// there is none, and the reason when the archive could not be asked.
void RecordListWindow::LookUpNumber(const QString& number,
                                    std::function<void(const ArchiveData::Appliance*, const QString&)> done) {
  const bool planned = model_->Planned();
  const qint64 planId = model_->VisitPlan().Customer.Id;
  const QString name = CustomerName();
  auto found = std::make_shared<ArchiveData::Appliance>();
  reader_->Run(
      [number, planned, planId, name, found](Archive& archive, const ArchiveReader::Post&) {
        const qint64 id = planned ? planId : archive.CustomerId(name);
        if (id <= 0 || archive.Failed()) return;
        const std::map<QString, ArchiveData::Appliance> known = archive.Lookup(id, {number});
        const auto it = known.find(Archive::NumberKey(number));
        if (it != known.end()) *found = it->second;
      },
      [found, done = std::move(done)](const QString& error) { done(found->Id > 0 ? found.get() : nullptr, error); });
}

bool RecordListWindow::Review(std::vector<int>* rows) {
  if (model_->Reviewed()) return true;
  const std::set<int> chosen(rows->begin(), rows->end());
  const bool whole = int(ChosenRows().size()) == model_->RecordCount();
  // The archive's appliances of the numbers: asked on its thread; the window goes on meanwhile.
  QStringList numbers;
  for (const Visit::Row& row : model_->Rows()) numbers << row.Data.InventarNr;
  const bool planned = model_->Planned();
  const qint64 planId = model_->VisitPlan().Customer.Id;
  const QString name = CustomerName();
  struct Answer {
    std::map<QString, ArchiveData::Appliance> lookup;
    bool known = false, done = false;
    QString error;
  };
  auto answer = std::make_shared<Answer>();
  QProgressDialog progress(QStringLiteral("Abgleich mit dem Archiv ..."), QString(), 0, 0, this);
  progress.setWindowTitle(kCaption);
  progress.setMinimumDuration(400);
  progress.setWindowModality(Qt::ApplicationModal);
  QEventLoop waiting;
  reader_->Run(
      [numbers, planned, planId, name, answer](Archive& archive, const ArchiveReader::Post&) {
        const qint64 id = planned ? planId : archive.CustomerId(name);
        if (archive.Failed()) return;
        answer->known = id > 0;
        if (id > 0) answer->lookup = archive.Lookup(id, numbers);
      },
      [answer, &waiting](const QString& error) {
        answer->error = error;
        answer->done = true;
        waiting.quit();
      });
  if (!answer->done) waiting.exec();
  progress.hide();
  Visit::Review review =
      Visit::Match(model_->Rows(), [&] {
        std::vector<int> recordOf;
        for (int row = 0; row < model_->RecordCount(); ++row) recordOf.push_back(model_->HasRecord(row) ? model_->RecordOf(row) : -1);
        return recordOf;
      }(), model_->ClassesOfRows(), name, answer->known, answer->lookup);
  review.reached = answer->error.isEmpty();
  review.archiveError = answer->error;
  // The rows chosen; the planned ones without a test when the whole list is stored.
  review.items.erase(std::remove_if(review.items.begin(), review.items.end(),
                                    [&](const Visit::Item& item) {
                                      return item.record >= 0 ? !chosen.count(item.row)
                                                              : !(whole && item.kind == Visit::Item::Kind::NotTested);
                                    }),
                     review.items.end());
  // Duplicates the batch's question let go on are tests of the one appliance.
  if (duplicatesConfirmed_)
    for (Visit::Item& item : review.items)
      if (item.kind == Visit::Item::Kind::Duplicate) item.decision = Visit::Item::Decision::Store;
  ReviewDialog dialog(review, this);
  GenericDialogRequest request{this, QStringLiteral("review"), review.Summary()};
  if (Seams::GenericDialog(request, [&] { return dialog.exec() == QDialog::Accepted ? int(Win::IDOK) : int(Win::IDCANCEL); }) !=
      Win::IDOK)
    return false;
  std::vector<Visit::Row> changed = model_->Rows();
  Visit::Outcome outcome;
  QString why;
  if (!Visit::Apply(dialog.Result(), &changed, &outcome, &why)) {
    Seams::MessageBox(this, QStringLiteral("Der Abgleich ist nicht vollständig: %1").arg(why), kCaption,
                      Win::MB_OK | Win::MB_ICONEXCLAMATION);
    return false;
  }
  model_->TakeRows(changed);
  if (outcome.renumbered) return Review(rows);  // the new numbers are looked up too
  // The archive's master data first: an appliance back in service before its test is stored.
  if (!outcome.retire.empty() || !outcome.reactivate.empty()) {
    auto failures = std::make_shared<QStringList>();
    bool done = false;
    const QString reason = QStringLiteral("Besuch vom %1").arg(Clock::Today().toString(QStringLiteral("dd.MM.yyyy")));
    const QDate today = Clock::Today();
    QEventLoop master;
    reader_->Run(
        [outcome, failures, reason, today](Archive& archive, const ArchiveReader::Post&) {
          for (const auto& [id, why] : outcome.retire)
            if (!archive.Retire(id, today, why, reason)) *failures << archive.Error();
          for (qint64 id : outcome.reactivate) {
            ArchiveData::Appliance a;
            if (!archive.ReadAppliance(id, &a)) {
              *failures << archive.Error();
              continue;
            }
            a.RetiredOn = QDate();
            a.RetiredReason.clear();
            if (archive.SaveAppliance(a, reason) == 0) *failures << archive.Error();
          }
        },
        [&](const QString&) {
          done = true;
          master.quit();
        });
    if (!done) master.exec();
    if (!failures->isEmpty())
      Seams::MessageBox(this,
                        QStringLiteral("Ausmustern oder wieder in Betrieb nehmen ging im Archiv nicht:\n\n%1\n\nDie "
                                       "Prüfungen werden trotzdem gespeichert; holen Sie es im Fenster \u201EArchiv\u201C "
                                       "nach.")
                            .arg(failures->mid(0, 5).join(QLatin1Char('\n'))),
                        kCaption, Win::MB_OK | Win::MB_ICONEXCLAMATION);
  }
  std::vector<int> stored;
  for (int row : outcome.store)
    if (chosen.count(row) && model_->HasRecord(row)) stored.push_back(row);
  *rows = stored;
  model_->SetReviewed();
  return true;
}
