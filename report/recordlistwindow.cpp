#include "report/recordlistwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <set>

#include "archive/service.h"
#include "device/TMessgeraet.h"
#include "platform/cformat.h"
#include "platform/fileio.h"
#include "platform/seams.h"
#include "platform/userfolders.h"
#include "report/TFormular.h"
#include "report/batch.h"
#include "report/printing.h"
#include "report/storejob.h"

namespace {

const QColor kPassedColor(0, 110, 0);
const QColor kFailedColor(190, 0, 0);
const QString kCaption = QStringLiteral("Prüfungen");

QString ResultText(int result) {
  return result < 0 ? QString() : result ? QStringLiteral("bestanden") : QStringLiteral("nicht bestanden");
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
    : QAbstractTableModel(parent), device_(device), form_(form) {}

RecordList::Source RecordListModel::Source() const {
  RecordList::Source source;
  if (!device_) return source;
  source.Records = device_->Records.get();
  source.Count = device_->RecordCount;
  for (int r = 0; r < kDeviceRowCount; ++r) source.MeasurementAvailable[r] = device_->MeasurementAvailable[r];
  source.DeviceText = device_->DeviceText;
  source.RowApplies = &device_->RowApplies;
  source.DefaultLimits = &device_->DefaultLimits;
  return source;
}

void RecordListModel::Reload() {
  beginResetModel();
  const int count = device_ ? device_->RecordCount : 0;
  data_.assign(size_t(count), ApplianceData());
  entries_.assign(size_t(count), ListEntry());
  template_ = form_ ? form_->Record() : ReportRecord();
  today_ = QDate::currentDate();
  for (int row = 0; row < count; ++row) Recompute(row);
  endResetModel();
}

void RecordListModel::Refresh() {
  if (data_.empty()) return;
  template_ = form_ ? form_->Record() : ReportRecord();
  for (int row = 0; row < RecordCount(); ++row) Recompute(row);
  emit dataChanged(index(0, 0), index(RecordCount() - 1, ColumnCount - 1));
}

void RecordListModel::Recompute(int row) {
  entries_[size_t(row)] = RecordList::EntryFor(Source(), row, data_[size_t(row)], template_, today_);
}

ListEntry RecordListModel::Entry(int row) const { return entries_[size_t(row)]; }

ReportRecord RecordListModel::Report(int row) const {
  return RecordList::ReportFor(Source(), row, data_[size_t(row)], template_, today_);
}

int RecordListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : RecordCount(); }
int RecordListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant RecordListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return QAbstractTableModel::headerData(section, orientation, role);
  const QStringList columns = RecordList::Columns();
  return section >= 0 && section < columns.size() ? columns[section] : QVariant();
}

Qt::ItemFlags RecordListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractTableModel::flags(index);
  int row = 0, part = 0;
  const int c = index.column();
  if ((c >= ColInventar && c <= ColDatum) || c == ColBemerkungen) flags |= Qt::ItemIsEditable;
  if (c == ColSicht || c == ColFunktion) flags |= Qt::ItemIsUserCheckable;
  if (IsValueColumn(c, &row, &part) && part == 1 && entries_[size_t(index.row())].RowResult[row] >= 0)
    flags |= Qt::ItemIsEditable;  // a limit of its own for this record
  return flags;
}

QVariant RecordListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= RecordCount()) return QVariant();
  const ListEntry& e = entries_[size_t(index.row())];
  const ApplianceData& d = data_[size_t(index.row())];
  const int c = index.column();
  int row = 0, part = 0;
  const bool value = IsValueColumn(c, &row, &part);

  if (role == Qt::DisplayRole || role == Qt::EditRole || role == SortRole) {
    if (role == SortRole) {
      if (c == ColNumber) return e.Number;
      if (value && part < 2) {
        bool ok = false;
        const double number = (part == 0 ? e.Value[row] : e.Limit[row]).trimmed().toDouble(&ok);
        if (ok) return number;
        return (part == 0 ? e.Value[row] : e.Limit[row]) == QLatin1String("Overflow") ? 1e30 : -1e30;
      }
    }
    switch (c) {
      case ColNumber: return CFormat("%03d", e.Number);
      case ColStandard: return e.StandardText;
      case ColClass: return e.ClassText;
      case ColInventar: return d.InventarNr;
      case ColBezeichnung: return d.Bezeichnung;
      case ColHersteller: return d.HerstellerTyp;
      case ColStandort: return d.Standort;
      case ColDatum: return d.Pruefdatum.isEmpty() ? today_.toString(QStringLiteral("dd.MM.yyyy")) : d.Pruefdatum;
      case ColVerdict: return ResultText(e.Passed ? 1 : 0);
      case ColBemerkungen: return d.Bemerkungen;
      case ColSicht:
      case ColFunktion: return QVariant();
      default: break;
    }
    if (value) {
      if (part == 0) return e.Value[row].trimmed();
      if (part == 1) return e.Limit[row];
      return ResultText(e.RowResult[row]);
    }
  }
  if (role == Qt::CheckStateRole && (c == ColSicht || c == ColFunktion)) {
    const int own = c == ColSicht ? d.Sichtpruefung : d.Funktionspruefung;
    const bool fromForm = c == ColSicht ? template_.Sichtpruefung : template_.Funktionspruefung;
    return (own < 0 ? fromForm : own == 1) ? Qt::Checked : Qt::Unchecked;
  }
  if (role == Qt::ForegroundRole) {
    if (c == ColVerdict) return e.Passed ? kPassedColor : kFailedColor;
    if (value && part == 2 && e.RowResult[row] >= 0) return e.RowResult[row] ? kPassedColor : kFailedColor;
  }
  if (role == Qt::BackgroundRole && c == ColVerdict)
    return e.Passed ? QColor(220, 245, 220) : QColor(250, 222, 222);
  if (role == Qt::TextAlignmentRole && value && part < 2) return int(Qt::AlignRight | Qt::AlignVCenter);
  return QVariant();
}

bool RecordListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || index.row() >= RecordCount()) return false;
  ApplianceData& d = data_[size_t(index.row())];
  const int c = index.column();
  if (role == Qt::CheckStateRole && (c == ColSicht || c == ColFunktion)) {
    const int checked = value.toInt() == Qt::Checked ? 1 : 0;
    (c == ColSicht ? d.Sichtpruefung : d.Funktionspruefung) = checked;
  } else if (role == Qt::EditRole) {
    // One line each: the data record file keeps a field as one line.
    QString text = value.toString();
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    int row = 0, part = 0;
    switch (c) {
      case ColInventar: d.InventarNr = text; break;
      case ColBezeichnung: d.Bezeichnung = text; break;
      case ColHersteller: d.HerstellerTyp = text; break;
      case ColStandort: d.Standort = text; break;
      case ColDatum: d.Pruefdatum = text; break;
      case ColBemerkungen: d.Bemerkungen = text; break;
      default:
        if (!IsValueColumn(c, &row, &part) || part != 1) return false;
        // A decimal comma is the decimal point, as in the device window.
        d.Limits[row] = text.trimmed().replace(QLatin1Char(','), QLatin1Char('.'));
        break;
    }
  } else {
    return false;
  }
  Recompute(index.row());
  emit dataChanged(this->index(index.row(), 0), this->index(index.row(), ColumnCount - 1));
  return true;
}

// ---- the window

RecordListWindow::RecordListWindow(TMessgeraet* device, TFormular* form, QWidget* parent)
    : QWidget(parent, Qt::Window), device_(device), form_(form) {
  setObjectName(QStringLiteral("20015"));
  setWindowTitle(kCaption);
  model_ = new RecordListModel(device, form, this);
  proxy_ = new QSortFilterProxyModel(this);
  proxy_->setSourceModel(model_);
  proxy_->setSortRole(RecordListModel::SortRole);
  table_ = new QTableView(this);
  table_->setObjectName(QString::number(TableId));
  table_->setModel(proxy_);
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

  status_ = new QLabel(this);
  status_->setObjectName(QString::number(StatusId));
  cancelLoad_ = new QPushButton(QStringLiteral("Laden abbrechen"), this);
  cancelLoad_->setObjectName(QString::number(CancelLoadId));
  cancelLoad_->hide();

  auto* top = new QHBoxLayout;
  top->addWidget(status_, 1);
  top->addWidget(cancelLoad_);
  auto* buttons = new QHBoxLayout;
  auto button = [&](int id, const QString& text, void (RecordListWindow::*slot)()) {
    auto* b = new QPushButton(text, this);
    b->setObjectName(QString::number(id));
    connect(b, &QPushButton::clicked, this, slot);
    buttons->addWidget(b);
  };
  button(PdfFilesId, QStringLiteral("Berichte als PDF..."), &RecordListWindow::ReportsAsPdfFiles);
  button(OnePdfId, QStringLiteral("Eine PDF-Datei..."), &RecordListWindow::ReportsAsOnePdf);
  button(PrintId, QStringLiteral("Berichte drucken..."), &RecordListWindow::PrintReports);
  button(RecordsId, QStringLiteral("Datensätze speichern..."), &RecordListWindow::SaveRecords);
  {
    auto* b = new QPushButton(QStringLiteral("CSV (Tabelle)..."), this);
    b->setObjectName(QString::number(CsvId));
    b->setToolTip(QStringLiteral("UTF-8 mit Semikolon, für eine deutsche Tabellenkalkulation"));
    connect(b, &QPushButton::clicked, this, [this] { ExportCsv(true); });
    buttons->addWidget(b);
    auto* plain = new QPushButton(QStringLiteral("CSV (Komma)..."), this);
    plain->setObjectName(QString::number(CsvPlainId));
    plain->setToolTip(QStringLiteral("UTF-8 mit Komma, für Skripte"));
    connect(plain, &QPushButton::clicked, this, [this] { ExportCsv(false); });
    buttons->addWidget(plain);
  }
  buttons->addStretch();

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(table_, 1);
  layout->addLayout(buttons);

  loadWatch_ = new QTimer(this);
  loadWatch_->setInterval(500);
  connect(loadWatch_, &QTimer::timeout, this, &RecordListWindow::UpdateLoadState);
  connect(cancelLoad_, &QPushButton::clicked, this, [this] {
    if (device_) device_->Session.CancelSequence();
  });
  connect(table_, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
    // Typing columns open their editor; the others show the record.
    if (!(model_->flags(proxy_->mapToSource(index)) & Qt::ItemIsEditable))
      ShowInDevice(proxy_->mapToSource(index).row());
  });
  if (device_) connect(device_, &TMessgeraet::RecordsLoaded, this, &RecordListWindow::OnRecordsLoaded);
}

RecordListWindow::~RecordListWindow() = default;

void RecordListWindow::SetupWindow() {
  resize(1180, 560);
  model_->Reload();
  table_->resizeColumnsToContents();
  UpdateLoadState();
  loadWatch_->start();
}

void RecordListWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (!sizeRestored_) {
    sizeRestored_ = true;
    const QStringList size = UserSettings::Value(QStringLiteral("Prüfungen"), QStringLiteral("Größe")).split('x');
    if (size.size() == 2 && size[0].toInt() >= 300 && size[1].toInt() >= 200) resize(size[0].toInt(), size[1].toInt());
  }
  // The form may have changed since: it is the template of every report.
  model_->Refresh();
}

void RecordListWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (sizeRestored_ && isVisible())
    UserSettings::SetValue(QStringLiteral("Prüfungen"), QStringLiteral("Größe"),
                           QStringLiteral("%1x%2").arg(width()).arg(height()));
}

void RecordListWindow::OnRecordsLoaded() {
  model_->Reload();
  table_->resizeColumnsToContents();
  UpdateLoadState();
}

void RecordListWindow::UpdateLoadState() {
  const bool loading = device_ && device_->LoadState != 0;
  cancelLoad_->setVisible(loading);
  if (!loading) {
    loadClock_.invalidate();
    int passed = 0;
    for (int row = 0; row < model_->RecordCount(); ++row) passed += model_->Entry(row).Passed ? 1 : 0;
    status_->setText(model_->RecordCount() == 0
                         ? QStringLiteral("Noch keine Prüfungen geladen: \u201ELade Alle Datensätze\u201C im Messgerät.")
                         : QStringLiteral("%1 Prüfungen, %2 bestanden, %3 nicht bestanden.")
                               .arg(model_->RecordCount())
                               .arg(passed)
                               .arg(model_->RecordCount() - passed));
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
  if (!device_ || row < 0 || row >= device_->RecordCount) return;
  device_->RecordIndex = row;
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
  QStringList paths;
  std::set<QString> used;
  for (int row : rows) {
    const QString stem = RecordList::FileStem(model.Entry(row), model.Appliance(row));
    QString name = stem + suffix;
    for (int n = 2; used.count(name.toLower()); ++n) name = QStringLiteral("%1-%2%3").arg(stem).arg(n).arg(suffix);
    used.insert(name.toLower());
    paths << QDir(folder).filePath(name);
  }
  return paths;
}
}  // namespace

void RecordListWindow::ReportsAsPdfFiles() {
  const std::vector<int> rows = ChosenRows();
  if (rows.empty()) return;
  const QString folder = AskFolder(QStringLiteral("Ordner für die Berichte (PDF)"));
  if (folder.isEmpty()) return;
  const QStringList paths = TargetPaths(*model_, rows, folder, QStringLiteral(".pdf"));
  if (!ConfirmReplace(paths)) return;
  const std::vector<ReportRecord> reports = Reports(rows);
  Batch::Result result;
  RunWithProgress(QStringLiteral("Berichte als PDF ..."), int(reports.size()), [&](const Batch::Progress& p) {
    result = Batch::WritePdfs(reports, paths, p);
    return result.ok;
  });
  if (!result.ok) Seams::MessageBox(this, result.error, kCaption, Win::MB_OK | Win::MB_ICONHAND);
}

void RecordListWindow::ReportsAsOnePdf() {
  const std::vector<int> rows = ChosenRows();
  if (rows.empty()) return;
  const QString path =
      AskFile(QStringLiteral("Alle Berichte in eine PDF-Datei"), QStringLiteral("PDF-Dateien (*.pdf)|*.pdf"),
              QStringLiteral("Prüfprotokolle %1.pdf").arg(QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"))));
  if (path.isEmpty()) return;
  const QString target = QFileInfo(path).suffix().isEmpty() ? path + QStringLiteral(".pdf") : path;
  const std::vector<ReportRecord> reports = Reports(rows);
  Batch::Result result;
  RunWithProgress(QStringLiteral("Berichte in eine PDF-Datei ..."), int(reports.size()), [&](const Batch::Progress& p) {
    result = Batch::WriteOnePdf(reports, target, p);
    return result.ok;
  });
  if (!result.ok) Seams::MessageBox(this, result.error, kCaption, Win::MB_OK | Win::MB_ICONHAND);
}

void RecordListWindow::PrintReports() {
  const std::vector<int> rows = ChosenRows();
  if (rows.empty() || !form_) return;
  QPrinter* printer = PrintJob::EnsurePrinter(*form_);
  if (printer->outputFormat() == QPrinter::PdfFormat) {
    // No printer on this machine: the reports go into one PDF file.
    ReportsAsOnePdf();
    return;
  }
  if (PrintJob::AskPrinter(*printer, this, QStringLiteral("%1 Berichte").arg(rows.size())) != Win::IDOK) return;
  const std::vector<ReportRecord> reports = Reports(rows);
  Batch::Result result;
  RunWithProgress(QStringLiteral("Berichte drucken ..."), int(reports.size()), [&](const Batch::Progress& p) {
    result = Batch::Print(reports, *printer, p);
    return result.ok;
  });
  if (!result.ok) Seams::MessageBox(this, result.error, kCaption, Win::MB_OK | Win::MB_ICONHAND);
}

void RecordListWindow::SaveRecords() {
  const std::vector<int> rows = ChosenRows();
  if (rows.empty()) return;
  const QString folder = AskFolder(QStringLiteral("Ordner für die Datensätze"));
  if (folder.isEmpty()) return;
  const QStringList paths = TargetPaths(*model_, rows, folder, QStringLiteral(".ini"));
  if (!ConfirmReplace(paths)) return;
  const std::vector<ReportRecord> reports = Reports(rows);
  // Each test goes into the archive (or its queue) as its file is written;
  // the archive's work runs beside the window, which never waits for it.
  Batch::Result result;
  const StoreJob::Tally tally = StoreJob::SaveRecords(this, kCaption, reports, paths, &result);
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
                               QStringLiteral("Prüfungen %1.csv").arg(QDate::currentDate().toString(QStringLiteral("dd.MM.yyyy"))));
  if (path.isEmpty()) return;
  const QString target = QFileInfo(path).suffix().isEmpty() ? path + QStringLiteral(".csv") : path;
  std::vector<QStringList> table{RecordList::Columns()};
  for (int row : rows) table.push_back(RecordList::CsvCells(model_->Entry(row), model_->Appliance(row), model_->Report(row)));
  QString error;
  if (!FileIO::SaveFileAtomically(target, RecordList::Csv(table, spreadsheet), &error))
    Seams::MessageBox(this, QStringLiteral("Die Liste konnte nicht gespeichert werden.\n\n%1\n\n%2").arg(target, error),
                      kCaption, Win::MB_OK | Win::MB_ICONHAND);
}
