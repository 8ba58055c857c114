#pragma once
// "Prüfungen": every record of the last load from the tester at a glance, with
// its values, limits and verdict, the appliance data typed for it, and the
// reports of many records in one go (PDF, print, data record files, CSV).
//
// The list is a window of its own beside the main frame: with some twenty
// columns it needs far more than the frame's fixed 660 pixels, and a user
// working through a visit wants it large, next to the form. It remembers its
// size, and opens within the screen's free area whatever size it had.
#include <QAbstractTableModel>
#include <QDate>
#include <QElapsedTimer>
#include <functional>
#include <map>
#include <QWidget>
#include <vector>

#include "core/recordlist.h"
#include "core/visit.h"

class ArchiveReader;
class ArchiveService;
class EarlierTests;
class QCompleter;
class QGridLayout;
class QLineEdit;
class QStandardItemModel;
class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class FrozenColumnsTable;
class QTimer;
class TMessgeraet;
class TFormular;

// The list's rows: the records of the device window's loads, each with what
// the user typed for it. The list keeps its own copy of the records, so a
// load that is given up replaces only the records it read completely.
class RecordListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column {
    ColNumber, ColStandard, ColClass,
    ColFirstValue,  // value, limit, result for each of the four rows
    ColInventar = ColFirstValue + 3 * kDeviceRowCount, ColBezeichnung, ColHersteller, ColStandort, ColDatum,
    ColMessung, ColSicht, ColFunktion, ColVerdict, ColBemerkungen,
    ColNaechste,  // came later: after the others, so the CSV's columns before it keep their places
    // Today's standards (later still): the report's standard, reason, the
    // appliance's kind, power and cord, and the previous test (its values
    // shown beside this test's values, see RecordListWindow).
    ColReportStandard, ColAnlass, ColKind, ColLeistung, ColLaenge, ColQuerschnitt,
    ColFirstPrevious, ColVorpruefung = ColFirstPrevious + kDeviceRowCount, ColVergleich, ColumnCount
  };
  // The role that sorts by number where a column holds numbers (and by the
  // row's place in the number column).
  static constexpr int SortRole = Qt::UserRole + 1;

  RecordListModel(TMessgeraet* device, TFormular* form, QObject* parent = nullptr);

  // Takes the records of the device window as they stand (during a load the
  // records not yet read show neither values nor a verdict); the typed data
  // starts empty, unless a visit is planned: its rows stay.
  void Reload();
  // Takes what a load brought when it ended. A complete load replaces the
  // records; a load given up or cancelled replaces only those it read
  // completely. Without a visit a row is its record, and what was typed for
  // a record read again is dropped; in a visit the rows stay and take the
  // records by position.
  void TakeLoad();
  // The list's rows (in a visit also those without a record yet).
  int RecordCount() const { return static_cast<int>(rows_.size()); }
  ApplianceData& Appliance(int row) { return rows_[size_t(row)].Data; }
  const ApplianceData& Appliance(int row) const { return rows_[size_t(row)].Data; }
  // The record of a row (an empty one for a row without), and whether it has one that was read.
  const DeviceRecord& Record(int row) const;
  bool HasRecord(int row) const;
  int RecordOf(int row) const { return recordOf_[size_t(row)]; }
  // The entry and the report of a row, as they stand (the form is the template).
  ListEntry Entry(int row) const;
  ReportRecord Report(int row) const;
  // The form as the template of every row, when the list last took it.
  const ReportRecord& Template() const { return template_; }
  // Recomputes every row (after the form changed).
  void Refresh();
  // Asks the archive for the previous test of every appliance with an
  // Inventar-Nr. (the customer is the form's Auftraggeber); the rows follow
  // when the answers come. True while answers are awaited.
  void LookUpEarlier();
  bool EarlierBusy() const;
  // Rows that warn, and what the reports lack, for the line above the list.
  int WarningRows() const;
  QString MissingSummary() const;

  // ---- a visit planned from the archive: rows before records
  void Plan(const Visit::Plan& plan);
  bool Planned() const { return planned_; }
  const Visit::Plan& VisitPlan() const { return plan_; }
  const std::vector<Visit::Row>& Rows() const { return rows_; }
  // A row moved, skipped (it takes no record) or inserted (a new appliance):
  // the records follow the places.
  bool MoveRow(int row, int to);
  void SetSkipped(int row, bool skipped);
  int InsertRow(int at);
  // Removes a row made in this visit (not a planned one).
  bool RemoveRow(int row);
  // A number scanned at the row `cursor` (see Visit::Place).
  Visit::Placed Place(int cursor, const QString& number, const ArchiveData::Appliance* known);
  // The archive's appliance for a row whose number was typed: what the row
  // does not say yet is filled from it.
  void FillKnown(int row, const ArchiveData::Appliance& known);
  // The rows as the review left them.
  void TakeRows(const std::vector<Visit::Row>& rows);
  // The row of the last scan, shown marked.
  void SetMarked(int row);
  int Marked() const { return marked_; }
  // The protection class of each row as its report gets it.
  std::vector<int> ClassesOfRows() const;
  // The review was shown for the rows as they stand (nothing changed since).
  bool Reviewed() const { return reviewed_; }
  void SetReviewed() { reviewed_ = true; }

  // Rows the user typed something for, and those of them in no saved file.
  int TypedRows() const;
  std::vector<int> UnsavedRows() const;
  void MarkSaved(const std::vector<int>& rows);
  // The other rows with the same Inventar-Nr. as `row` (the list is one
  // customer's: the form's Auftraggeber).
  std::vector<int> SameInventar(int row) const;
  // The appliances' intervals as the archive knows them (asked off the
  // window's thread when the customer changes); true while an answer is awaited.
  bool IntervalsPending() const;
  // The archive the appliances' own intervals (none: 12 months where the
  // form names no interval) and their previous tests (none: the list shows
  // none) are read from.
  void SetArchive(const ArchiveService* archive) { archive_ = archive; }
  // Why the last setData refused its value (German), empty when it took it.
  QString LastRefusal() const { return refusal_; }
  // The typing limit of a text column.
  static int TextLimit(int column);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 private:
  RecordList::Source Source() const;
  void TakeRecords(std::vector<DeviceRecord> records, std::vector<char> read);
  // Records to rows by position, and every row's entry anew.
  void Rebuild();
  // After rows moved, were skipped, inserted or removed.
  void Changed();
  void Recompute(int row);
  void LookUpIntervals();
  void ApplyIntervals();
  void FindDuplicates();
  bool Refuse(const QString& why);
  TMessgeraet* device_;
  TFormular* form_;
  // The records of the loads, by their number.
  std::vector<DeviceRecord> records_;
  std::vector<char> read_;     // the record has been read completely
  // The rows, each with the appliance's data and the record of its place.
  std::vector<Visit::Row> rows_;
  std::vector<int> recordOf_;
  std::vector<char> typed_;    // the user typed something for it
  std::vector<char> unsaved_;  // ... that is in no file yet
  std::vector<ListEntry> entries_;
  std::vector<std::vector<int>> duplicates_;
  ReportRecord template_;
  QDate today_;
  QString refusal_;
  bool planned_ = false;
  Visit::Plan plan_;
  int marked_ = -1;
  bool reviewed_ = false;
  class IntervalLookup* lookup_ = nullptr;
  const ArchiveService* archive_ = nullptr;  // whose archive the intervals come from
  std::map<QString, int> known_;  // Inventar-Nr. -> months, of the customer in knownFor_
  QString knownFor_;
  EarlierTests* earlier_ = nullptr;
  QTimer* earlierTimer_ = nullptr;  // gathers the lookups of edits made in a row
  std::vector<Profiles::UserProfile> profiles_;
  QString earlierError_;  // why the archive could not say the previous tests
 public:
  QString EarlierError() const { return earlierError_; }
};

class RecordListWindow : public QWidget {
  Q_OBJECT
 public:
  // Action ids of the window (object names, as every control has its id).
  enum : int {
    PdfFilesId = 21001, OnePdfId = 21002, PrintId = 21003, RecordsId = 21004, CsvId = 21005, CsvPlainId = 21006,
    CancelLoadId = 21007, LabelsId = 21008, TableId = 21010, StatusId = 21011,
    FrozenColumnsId = 21012,  // the view that keeps Nr. and Inventar-Nr. in view over the table's left edge
    // The visit's row: the scanner's field, what the last scan did, and the rows' tools.
    ScanId = 21020, ScanNoteId = 21021, UpId = 21022, DownId = 21023, SkipId = 21024, InsertId = 21025, RemoveId = 21026
  };
  // The batch store of "Datensätze speichern..." goes to `archive`.
  RecordListWindow(TMessgeraet* device, TFormular* form, ArchiveService& archive, QWidget* parent = nullptr);
  ~RecordListWindow() override;
  void SetupWindow();

  RecordListModel* Model() const { return model_; }
  QTableView* Table() const;
  // The view over the table's left edge that keeps Nr. and Inventar-Nr. in view.
  QTableView* FrozenColumns() const;
  // The rows the batch commands work on: the selected ones, else all, in list order.
  std::vector<int> ChosenRows() const;

  // The commands (each asks for its target through the dialog seam).
  void ReportsAsPdfFiles();
  void ReportsAsOnePdf();
  void PrintReports();
  void SaveRecords();
  void ExportCsv(bool spreadsheet);
  // "Etiketten...": the test labels of the chosen rows, in a dialog of their
  // own (not modal); nullptr when there are no rows.
  class LabelDialog* OpenLabels();
  // Finds the row of an appliance by its Inventar-Nr. as a scanner types it
  // from a label's code (the Inventar-Nr. alone, or before the first ";"),
  // selects it and shows it; the row in the model, or -1 when none has it.
  int SelectByInventar(const QString& scanned);
  // What the batches and the list say when the instrument's calibration had
  // run out on the test date of some of the rows (empty when it had not).
  QString CalibrationNote(const std::vector<int>& rows) const;
  // A command of the window's buttons: the batches first ask when the same
  // Inventar-Nr. stands on more than one row.
  void Command(int id);
  bool ConfirmDuplicates(const std::vector<int>& rows);
  // Shows the record of a row in the device window.
  void ShowInDevice(int row);
  // Asked before the program ends: typed data in no saved file is offered
  // for saving (Ja), dropped (Nein) or the end is called off (Abbrechen).
  bool QueryClose();
  // Asked before a load replaces the records while the list holds typed data.
  bool ConfirmLoad(bool deleting);

  // ---- a visit
  // Fills the list with the plan's appliances (and the form's client fields
  // with the customer's), before the tester is read.
  void PlanVisit(const Visit::Plan& plan);
  // A number from the barcode scanner (it types the number and Enter into the
  // scanner's field) or typed there: see Visit::Place; then the next row is
  // the current one. A number the list does not hold is looked up in the
  // archive first (on its thread); scans are taken in their order.
  void Scan(const QString& number);
  // The current row, as the list's row. Scans go to it (or, while it is the
  // row scanned last, to the next one).
  int CurrentRow() const;
  void SetCurrentRow(int row);
  // The rows' tools, at the current row.
  void MoveCurrent(int delta);
  void SkipCurrent();
  void InsertAtCurrent();
  void RemoveCurrent();
  // An Inventar-Nr. typed into a row: the archive's data of it fill the row.
  void NumberTyped(int row, const QString& number);
  void LookUpNumber(const QString& number, std::function<void(const ArchiveData::Appliance*, const QString&)> done);
  // Asks the archive for numbers beginning with `prefix` (the completion of
  // the scanner's field and of the list's number cells).
  void RequestCompletion(const QString& prefix);
  class QAbstractItemModel* Completions() const;
  // The review before the visit's tests are stored: true when accepted (the
  // rows to store in *rows then). Shown until accepted once for the rows as they stand.
  bool Review(std::vector<int>* rows);
  // Waiting for the archive (a scan, a completion, a lookup).
  bool Busy() const;
  QLineEdit* ScanField() const { return scan_; }

 signals:
  // The user asked to see a record in the device window.
  void DeviceWindowWanted();

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void OnRecordsLoaded();
  void UpdateLoadState();
  bool ConfirmReplace(const QStringList& paths);
  QString AskFolder(const QString& title);
  // "Datensätze speichern...", and which rows it wrote.
  void SaveRecordsAndNote();
  QString AskFile(const QString& title, const QString& filter, const QString& name);
  // Runs a batch with a progress dialog; false when it failed (the user was told).
  bool RunWithProgress(const QString& title, int total, const std::function<bool(const std::function<bool(int)>&)>& job);
  std::vector<ReportRecord> Reports(const std::vector<int>& rows) const;
  // The hashes of the reports' stored tests (their fingerprints go on their
  // pages), looked up in the archive beside the window with a progress
  // dialog; empty for reports not stored, all empty when the archive cannot
  // be read or the user goes on without them.
  std::vector<QString> StoredHashes(const std::vector<ReportRecord>& reports);

  TMessgeraet* device_;
  TFormular* form_;
  ArchiveService& archive_;
  RecordListModel* model_ = nullptr;
  QSortFilterProxyModel* proxy_ = nullptr;
  FrozenColumnsTable* table_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* cancelLoad_ = nullptr;
  QTimer* loadWatch_ = nullptr;
  QElapsedTimer loadClock_;
  int loadStartRecord_ = 0;
  bool sizeRestored_ = false;
  QSize fitted_;  // the size the window was given to fit the screen (not the user's to save)
  void ArrangeButtons();
  // The previous test's columns stand beside their value columns.
  void ArrangePreviousColumns();
  QGridLayout* buttons_ = nullptr;
  std::vector<QPushButton*> commandButtons_;
  int buttonColumns_ = 0;
  QString lastFolder_;   // the folder the last folder dialog chose
  QTimer* formWatch_ = nullptr;  // the form changed: the list follows it
  // The visit.
  void NextScan();
  void Placed(const QString& number, const ArchiveData::Appliance* known, const QString& lookupError);
  QString CustomerName() const;
  std::vector<int> WithRecords(const std::vector<int>& rows) const;
  ArchiveReader* reader_ = nullptr;
  QLineEdit* scan_ = nullptr;
  QLabel* scanNote_ = nullptr;
  QCompleter* completer_ = nullptr;
  QStandardItemModel* completions_ = nullptr;
  QTimer* completeTimer_ = nullptr;
  QString completePrefix_;
  std::vector<QString> scans_;
  bool scanning_ = false;
  bool duplicatesConfirmed_ = false;
  std::vector<int> lastSaved_;  // the rows "Datensätze speichern..." wrote last  // the batch's question about duplicates was answered yes
};
