#pragma once
// The report form "Formular": one test report ("Prüfprotokoll") for one
// appliance. Its client area is the report page; the edit controls, check
// boxes and buttons lie over the page where the printed page shows their
// values. The form's facets live in separate units:
//   formular_window.cpp       construction, controls, set-up, commands, Erzeugen
//   formular_evaluate.cpp     Kopieren: copy from the device window, evaluate; the verdict
//   formular_record.cpp       the data record file: save, load and their dialogs
//   formular_page.cpp         the page rendering (screen, printer, preview)
//   formular_details.cpp      the test details of the current standards, the previous test
//   printing.cpp              printing and preview: printout, preview frame, commands
#include <QDateTime>
#include <QString>
#include <QWidget>
#include <array>

#include "core/tables.h"
#include "core/clock.h"
#include "core/commandids.h"
#include "core/limitprofiles.h"
#include "render/page.h"
#include "core/reportrecord.h"

class QLineEdit;
class QCheckBox;
class QPushButton;
class QPrinter;
class TMessgeraet;
class Surface;
class ArchiveService;
class EarlierTests;

class TFormular : public QWidget {
  Q_OBJECT
 public:
  // Control ids.
  static constexpr int kFirstEditId = 1000;
  static constexpr int kSichtpruefungId = 2000;
  static constexpr int kFunktionspruefungId = 2001;
  static constexpr int kFirstOkBoxId = 2002;
  static constexpr int kErzeugenUnternehmerId = 1100;
  static constexpr int kErzeugenPrueferId = 1101;
  static constexpr int kKopierenId = 1102;
  static constexpr int kPruefangabenId = 1103;
  // Menu commands the form handles.
  static constexpr int CmDatensatzSpeichernId = CommandIds::CmSave;
  static constexpr int CmDatensatzLadenId = CommandIds::CmLoad;
  static constexpr int CmDruckenId = CommandIds::CmPrint;
  static constexpr int CmDruckvorschauId = CommandIds::CmPreview;
  static constexpr int CmSeitenEinstellungId = CommandIds::CmPageSetup;

  static constexpr int kNumEdits = Layout::kFieldCount;
  static constexpr int kNumIniKeys = 55;
  static constexpr int kTextBufferSize = 20;  // MessText, GrenzText: 19 characters
  // Field indexes the program writes itself.
  static constexpr int kFieldSchutzklasse = Layout::kFieldSchutzklasse;
  static constexpr int kFieldMessgeraet = Layout::kFieldMessgeraet;
  static constexpr int kFieldAuswertung = Layout::kFieldAuswertung;
  static constexpr int kFieldUnternehmer = Layout::kFieldUnternehmer;
  static constexpr int kFieldPruefer = Layout::kFieldPruefer;
  // The section of the data record file.
  static const char* const kSection;

  explicit TFormular(TMessgeraet* deviceWindow, QWidget* parent = nullptr);
  ~TFormular() override;

  void SetupWindow();

  // A command from a control (control != nullptr, notify 0 for a click) or
  // from a menu (control == nullptr). Returns true when the form handled it.
  bool EvCommand(int id, QWidget* control, int notify);
  // Menu commands routed by the main frame (save, load, print, preview, page set-up).
  bool HandleCommand(int commandId);

  // Data record file.
  void CmDatensatzSpeichern();
  void CmDatensatzLaden();
  // Writes the form into the file; false (after telling the user) when the
  // file could not be written; the old file is then unchanged.
  bool SaveRecord(const QString& path);
  // Reads the file into the form; false (after telling the user, form
  // unchanged) when the file exists but cannot be read.
  bool LoadRecord(const QString& path);

  // Asks "Der Bericht wurde geändert. Änderungen speichern?" when the report
  // has changes that were not saved: Ja saves (through the save dialog when
  // the report has no file yet), Nein drops them, Abbrechen keeps them. True
  // when the caller may go on (close, load another record).
  bool QuerySaveChanges();
  // Asks for a file and saves there; true when the report was saved.
  bool SaveAs();

  // The report the form shows, as plain data, and the form showing a report.
  ReportRecord Record() const;
  void Show(const ReportRecord& record);
  // The archive the form stores the test of each saved report in (the
  // program's, handed over by the application); without one a save writes
  // the file only.
  void SetArchive(ArchiveService* archive) { archive_ = archive; }

  // The user's template of the report (the contractor, the instrument, the
  // signature lines): put into the form now and remembered from then on,
  // whenever the user changes one of its fields (a moment later) and when
  // the program ends. A damaged template file or a save that fails is told.
  void KeepTemplate();
  // Saves the template now if it changed; false (after telling why) when it
  // could not be written.
  bool SaveTemplate();

  // Shows a test stored in the archive, for reading only: no field can be
  // typed in and Kopieren and Erzeugen are off, until a data record is loaded.
  // `hash`: the stored test's hash, whose fingerprint its print carries.
  void ShowStored(const ReportRecord& record, const QString& hash = QString());
  // The stored test whose fingerprint the print carries while the form shows
  // it unchanged (saved and stored, or opened from the archive). ProofHash()
  // is its hash while Record() is that test's report, else empty: a report
  // typed into since prints no fingerprint.
  void SetProof(const QByteArray& storedRecord, const QString& hash);
  QString ProofHash() const;
  bool ReadOnlyView = false;
  void SetReadOnlyView(bool on);

  // What Kopieren takes from the device window.
  DeviceSnapshot DeviceState() const;

  // The details of the test the standards in force today and the rules for
  // a test record ask for (reason, scope, methods, cord, kind, limit profile,
  // the standard chosen for the tester's records), in the dialog
  // "Prüfangaben" (button 1103).
  void CmPruefangaben();
  // Takes changed details into the report: the limits follow them and each
  // row is judged again (Report::Relimit); the page is drawn anew.
  void ApplyDetails(const ReportRecord& changed);
  // The user's own limit profiles (read from his settings each time).
  std::vector<Profiles::UserProfile> UserProfiles() const;
  // Asks the archive, off the window's thread, for the appliance's previous
  // test (its values go beside the measured ones on the page of a current
  // standard); after Kopieren (`takeCord`) also for the cord and kind the
  // archive knows, where the report names none.
  void LookUpEarlier(bool takeCord);
  // True while the archive's answer is awaited.
  bool EarlierBusy() const;

  // Evaluation.
  void CmKopieren();
  void Evaluate();
  // The verdict of the report the form holds (Report::GesamtOk and
  // Report::Passed of Record()): from its rows, their OK boxes and the two
  // inspection boxes, never from what was last painted.
  int GesamtOk() const;
  bool ReportPassed() const;

  // Signatures.
  void CmErzeugenUnternehmer();
  void CmErzeugenPruefer();
  // The local calendar date as "dd.mm.yyyy".
  static QString TodayText(const QDateTime& now = Clock::Now());

  // Printing (implemented by the printing unit).
  void CmDrucken();
  void CmDruckvorschau();
  void CmSeitenEinstellung();

  // The screen rendering: shows or hides the OK boxes by RowActive and draws the page.
  void PaintScreen();
  // Draws the page onto a surface: on screen, for the printer and the
  // preview (in print mode); `rect` only bounds the white fill of `erase`.
  // The OK boxes follow RowActive first; the drawing changes nothing else.
  void Paint(Surface& surface, bool erase, const QRect& rect);
  // The page's input from the form's members, controls and the device window.
  Page::Input PageInput() const;
  // Shows (disabled) the OK boxes of active rows and hides the others.
  void SyncOkBoxes();
  // True when the row's OK box is shown (independent of whether the form itself is on screen).
  bool OkBoxShown(int row) const;

  // Sets a field's text the way the program does it: a text longer than the
  // field's typing limit is kept whole (the limit only stops typing).
  void SetFieldText(int index, const QString& text);
  QString FieldText(int index) const;
  // The first line of a field.
  QString FieldFirstLine(int index) const;
  // The typing limit of each field.
  static int FieldLimit(int index);
  static QRect FieldRect(int index);
  // The label the page shows for a field ("Auftraggeber:").
  static QString FieldLabel(int index);

  QSize sizeHint() const override;

  // ===== members

  std::array<QString, kNumIniKeys> IniKeys;
  std::array<QLineEdit*, kNumEdits> Edits{};
  QCheckBox* SichtpruefungBox = nullptr;      // 2000
  QCheckBox* FunktionspruefungBox = nullptr;  // 2001
  std::array<QCheckBox*, kRowCount> OkBoxes{};  // 2002..2009
  QPushButton* ErzeugenUnternehmerButton = nullptr;  // 1100
  QPushButton* ErzeugenPrueferButton = nullptr;      // 1101
  QPushButton* KopierenButton = nullptr;             // 1102
  int VdePruefgrundlage = 1;
  int VdeKlasse = 1;
  std::array<QString, kRowCount> MessText;
  std::array<QString, kRowCount> GrenzText;
  std::array<int, kRowCount> RowActive{};
  // What only the keys of the current standards hold (Report::CopyDetails);
  // the rest of this record is not used.
  ReportRecord Details;
  QPushButton* PruefangabenButton = nullptr;  // 1103
  // The form's last note for the status bar (also when it is in none).
  QString StatusNote;
  TMessgeraet* DeviceWindow = nullptr;
  // Changes since the last save or load (typing, Kopieren, Erzeugen, the
  // inspection boxes), and the file the report was last saved to or loaded from.
  bool Modified = false;
  QString RecordPath;
  // The test this form last stored in the archive, and the file it came from.
  qint64 ArchivedTestId = 0;
  QString ArchivedPath;
  // The report of the stored test whose fingerprint the print carries (as
  // the data record file encodes it), and its hash.
  QByteArray ProofReport;
  QString ProofHashValue;
  int Printing = 0;
  QPrinter* Printer = nullptr;

  // Page geometry in layout units.
  int PageWidth = Layout::kPageWidth;
  int PageHeight = Layout::kPageHeight;
  int ColRightLabel = Layout::kColRightLabel;
  int FieldWidth = Layout::kFieldWidth;
  std::array<int, 10> Band = Layout::kBands;
  int NumEdits = 0;
  int OriginX = 0;
  int OriginY = 0;

 signals:
  // The test details changed (the record list follows its template).
  void DetailsChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void CreateControls();
  // Shows the text in the main frame's status bar, when the form is in one.
  void NoteInStatusBar(const QString& text);
  // Stores the saved file's test in the archive; the note for the status bar.
  QString Archived(const QString& path);
  void ComposeSignature(int cityField, int contactField, int target);
  // What the report lacks, named after each note while it lacks it.
  void NoteMissing();
  QString missingNote_;
  ArchiveService* archive_ = nullptr;
  class QTimer* templateTimer_ = nullptr;  // the template's fields changed: saved a moment later
  ReportRecord templateSaved_;             // the template as its file holds it
  bool templateFailed_ = false;            // the last save failed (told once)
  EarlierTests* earlier_ = nullptr;
};
