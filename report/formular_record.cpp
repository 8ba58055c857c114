// The data record file ("Datensatz"): the report as one section of an INI
// file, with the save and load commands and their file dialogs.
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QStatusBar>

#include "device/TMessgeraet.h"
#include "platform/seams.h"
#include "core/userfolders.h"
#include "core/archiveservice.h"
#include "report/TFormular.h"
#include "core/reportrecord.h"
#include "core/reportrules.h"

namespace {

const char* const kFilter = "Ini-Files (*.ini)|*.ini|All Files (*.*)|*.*";

QString SaveCaption() { return QStringLiteral("Datensatz speichern"); }
QString LoadCaption() { return QStringLiteral("Datensatz laden"); }

}  // namespace

ReportRecord TFormular::Record() const {
  ReportRecord record;
  for (int i = 0; i < kNumEdits; ++i) record.Fields[i] = FieldText(i);
  record.VdePruefgrundlage = VdePruefgrundlage;
  record.VdeKlasse = VdeKlasse;
  for (int r = 0; r < kRowCount; ++r) {
    record.MessText[r] = MessText[r];
    record.GrenzText[r] = GrenzText[r];
    record.RowActive[r] = RowActive[r];
    // A row's result counts only where the row belongs to the report.
    record.Ok[r] = OkBoxes[r]->isChecked() && RowActive[r] != 0;
  }
  record.Sichtpruefung = SichtpruefungBox->isChecked();
  record.Funktionspruefung = FunktionspruefungBox->isChecked();
  Report::CopyDetails(Details, &record);
  return record;
}

void TFormular::Show(const ReportRecord& record) {
  for (int i = 0; i < kNumEdits; ++i)
    if (FieldText(i) != record.Fields[i]) SetFieldText(i, record.Fields[i]);
  VdePruefgrundlage = record.VdePruefgrundlage;
  VdeKlasse = record.VdeKlasse;
  for (int r = 0; r < kRowCount; ++r) {
    MessText[r] = record.MessText[r];
    GrenzText[r] = record.GrenzText[r];
    RowActive[r] = record.RowActive[r];
    OkBoxes[r]->setChecked(record.Ok[r]);
  }
  SichtpruefungBox->setChecked(record.Sichtpruefung);
  FunktionspruefungBox->setChecked(record.Funktionspruefung);
  Report::CopyDetails(record, &Details);
  SyncOkBoxes();
  update();
}

bool TFormular::SaveRecord(const QString& path) {
  const Report::WriteResult written = Report::Write(path, Record());
  auto fail = [&](const QString& reason) {
    Seams::MessageBox(this,
                      QStringLiteral("Der Datensatz konnte nicht gespeichert werden.\n\n%1\n\n%2\n\n"
                                     "Eine bereits vorhandene Datei wurde nicht verändert.")
                          .arg(path, reason),
                      SaveCaption(), Win::MB_OK | Win::MB_ICONHAND);
    return false;
  };
  switch (written.status) {
    case Report::WriteResult::Ok: break;
    case Report::WriteResult::FieldNotStorable:
      Seams::MessageBox(this,
                        QStringLiteral("Der Datensatz wurde nicht gespeichert.\n\n"
                                       "Das Feld \u201E%1\u201C enthält Zeichen, die in einer Datensatz-Datei "
                                       "nicht gespeichert werden können. Bitte ersetzen Sie diese Zeichen.")
                            .arg(FieldLabel(written.field)),
                        SaveCaption(), Win::MB_OK | Win::MB_ICONEXCLAMATION);
      return false;
    case Report::WriteResult::ValueNotStorable:
      Seams::MessageBox(this,
                        QStringLiteral("Der Datensatz wurde nicht gespeichert.\n\n"
                                       "Ein Messwert oder Grenzwert enthält Zeichen, die in einer "
                                       "Datensatz-Datei nicht gespeichert werden können."),
                        SaveCaption(), Win::MB_OK | Win::MB_ICONEXCLAMATION);
      return false;
    case Report::WriteResult::Unreadable:
      return fail(QStringLiteral("Die vorhandene Datei kann nicht gelesen werden: %1").arg(written.error));
    case Report::WriteResult::NotWritable:
      return fail(QStringLiteral("Ein Wert lässt sich nicht in die Datei schreiben."));
    case Report::WriteResult::SaveFailed:
      return fail(written.error);
  }
  Modified = false;
  RecordPath = path;
  NoteMissing();
  NoteInStatusBar(QStringLiteral("Datensatz gespeichert: %1").arg(QDir::toNativeSeparators(path)) + Archived(path));
  return true;
}

QString TFormular::Archived(const QString& path) {
  // The test goes into the archive as the file now holds it. Saved again to the
  // same file, it corrects the test stored before. The archive's answer comes
  // later, into the status bar: the form does not wait for it.
  if (!archive_) return QString();
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QString();
  const qint64 corrects = path == ArchivedPath ? ArchivedTestId : 0;
  const QString saved = QStringLiteral("Datensatz gespeichert: %1").arg(QDir::toNativeSeparators(path));
  const QByteArray bytes = file.readAll();
  archive_->StoreAsync(bytes, corrects, this, [this, path, saved, bytes](const ArchiveService::Outcome& out) {
    QString note;
    switch (out.result) {
      case ArchiveService::Result::Stored:
        ArchivedPath = path;
        ArchivedTestId = out.testId;
        SetProof(bytes, out.chainHash);
        note = QStringLiteral(" \u2013 im Archiv");
        break;
      case ArchiveService::Result::Duplicate:
        SetProof(bytes, out.chainHash);
        note = QStringLiteral(" \u2013 schon im Archiv");
        break;
      case ArchiveService::Result::Queued:
        note = out.refused ? QStringLiteral(" \u2013 vom Archiv abgewiesen, wartet in der Warteschlange: %1").arg(out.reason)
                           : QStringLiteral(" \u2013 wartet auf das Archiv: %1").arg(out.reason);
        break;
      case ArchiveService::Result::Failed: note = QStringLiteral(" \u2013 nicht im Archiv: %1").arg(out.reason); break;
    }
    NoteInStatusBar(saved + note);
  });
  return QStringLiteral(" \u2013 wird ins Archiv übernommen ...");
}

bool TFormular::LoadRecord(const QString& path) {
  ReportRecord record = Record();
  const Report::ReadResult read = Report::Read(path, &record);
  switch (read.status) {
    case Report::ReadResult::Ok: break;
    case Report::ReadResult::Unreadable:
      // An I/O failure says nothing about the report: the form keeps what it shows.
      Seams::MessageBox(this,
                        QStringLiteral("Der Datensatz konnte nicht gelesen werden.\n\n%1\n\n%2").arg(path, read.error),
                        LoadCaption(), Win::MB_OK | Win::MB_ICONHAND);
      return false;
    case Report::ReadResult::Missing:
    case Report::ReadResult::NoRecord: {
      // Another program's INI file, a text file or no file at all: loading it
      // would only empty the form. What the user typed stays.
      const QString why = read.status == Report::ReadResult::Missing
                              ? QStringLiteral("Die Datei \u201E%1\u201C ist nicht vorhanden.")
                              : QStringLiteral("Die Datei \u201E%1\u201C enthält keinen Datensatz eines Prüfprotokolls.");
      Seams::MessageBox(this,
                        why.arg(QDir::toNativeSeparators(path)) + QStringLiteral("\n\nDas Formular bleibt unverändert."),
                        LoadCaption(), Win::MB_OK | Win::MB_ICONEXCLAMATION);
      return false;
    }
  }
  SetReadOnlyView(false);
  Show(record);
  Modified = false;
  RecordPath = path;
  missingNote_.clear();
  NoteInStatusBar(QStringLiteral("Datensatz geladen: %1").arg(QDir::toNativeSeparators(path)));
  return true;
}

namespace {
// Both record dialogs share filter, preset name and options; only the title and kind differ.
FileDialogRequest RecordDialog(QWidget* owner, bool save, const char* title) {
  FileDialogRequest request;
  request.owner = owner;
  request.save = save;
  request.title = QString::fromUtf8(title);
  request.filter = QString::fromLatin1(kFilter);
  request.initialName = QString();
  request.hideReadOnly = true;
  request.overwritePrompt = true;
  request.noReadOnlyReturn = true;
  return request;
}
}  // namespace

bool TFormular::SaveAs() {
  QString path;
  FileDialogRequest request = RecordDialog(this, true, "Datensatz speichern unter");
  request.initialName = UserFolders::StartFolder();
  if (!Seams::FileDialog(request, &path)) return false;
  UserFolders::Remember(path);
  if (!path.contains(QLatin1String(".ini"), Qt::CaseSensitive)) {
    path += QLatin1String(".ini");
    // The dialog asked about the name without the extension; a report stored
    // under the extended name would otherwise be replaced without a question.
    if (QFileInfo::exists(path) &&
        Seams::MessageBox(this,
                          QStringLiteral("Die Datei \u201E%1\u201C ist bereits vorhanden.\n"
                                         "Möchten Sie sie ersetzen?")
                              .arg(QDir::toNativeSeparators(path)),
                          QStringLiteral("Datensatz speichern unter"),
                          Win::MB_YESNO | Win::MB_ICONEXCLAMATION) != Win::IDYES)
      return false;
  }
  return SaveRecord(path);
}

void TFormular::CmDatensatzSpeichern() { SaveAs(); }

void TFormular::CmDatensatzLaden() {
  if (!QuerySaveChanges()) return;
  QString path;
  FileDialogRequest request = RecordDialog(this, false, "Datensatz laden");
  request.initialName = UserFolders::StartFolder();
  if (!Seams::FileDialog(request, &path)) return;
  UserFolders::Remember(path);
  LoadRecord(path);
}

bool TFormular::QuerySaveChanges() {
  if (!Modified) return true;
  switch (Seams::MessageBox(this, QStringLiteral("Der Bericht wurde geändert. Änderungen speichern?"),
                            QStringLiteral("Formular"), Win::MB_YESNOCANCEL | Win::MB_ICONQUESTION)) {
    case Win::IDYES: return RecordPath.isEmpty() ? SaveAs() : SaveRecord(RecordPath);
    case Win::IDNO: return true;
    default: return false;
  }
}

void TFormular::NoteInStatusBar(const QString& text) {
  StatusNote = missingNote_.isEmpty() ? text : text + QStringLiteral(" \u2013 ") + missingNote_;
  if (auto* frame = qobject_cast<QMainWindow*>(window()))
    if (QStatusBar* bar = frame->statusBar()) bar->showMessage(StatusNote);
}

void TFormular::NoteMissing() { missingNote_ = Report::MissingText(Report::Missing(Record())); }

void TFormular::SetProof(const QByteArray& storedRecord, const QString& hash) {
  ReportRecord stored;
  ProofReport.clear();
  ProofHashValue.clear();
  if (hash.isEmpty() || Report::ReadBytes(storedRecord, &stored).status != Report::ReadResult::Ok) return;
  if (Report::Encode(stored, &ProofReport).status != Report::WriteResult::Ok) return;
  ProofHashValue = hash;
}

QString TFormular::ProofHash() const {
  if (ProofHashValue.isEmpty()) return QString();
  QByteArray now;
  if (Report::Encode(Record(), &now).status != Report::WriteResult::Ok || now != ProofReport) return QString();
  return ProofHashValue;
}

void TFormular::ShowStored(const ReportRecord& record, const QString& hash) {
  Show(record);
  QByteArray bytes;
  if (Report::Encode(record, &bytes).status == Report::WriteResult::Ok) SetProof(bytes, hash);
  SetReadOnlyView(true);
  Modified = false;
  RecordPath.clear();
  ArchivedPath.clear();
  ArchivedTestId = 0;
  missingNote_.clear();
  NoteInStatusBar(QStringLiteral("Gespeicherte Prüfung aus dem Archiv (nur zum Lesen)"));
}

void TFormular::SetReadOnlyView(bool on) {
  ReadOnlyView = on;
  for (int i = 0; i < kNumEdits; ++i)
    Edits[i]->setReadOnly(on || i == kFieldAuswertung || i == kFieldSchutzklasse);
  SichtpruefungBox->setEnabled(!on);
  FunktionspruefungBox->setEnabled(!on);
  KopierenButton->setEnabled(!on);
  PruefangabenButton->setEnabled(!on);
  ErzeugenUnternehmerButton->setEnabled(!on);
  ErzeugenPrueferButton->setEnabled(!on);
}
