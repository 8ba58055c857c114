// The data record file ("Datensatz"): the report as one section of an INI
// file, with the save and load commands and their file dialogs.
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QMainWindow>
#include <QStatusBar>

#include "device/TMessgeraet.h"
#include "platform/cformat.h"
#include "platform/cp1252.h"
#include "platform/profile.h"
#include "platform/seams.h"
#include "platform/userfolders.h"
#include "report/TFormular.h"

namespace {

const char* const kFilter = "Ini-Files (*.ini)|*.ini|All Files (*.*)|*.*";
// Text fields are read back with room for every character this program
// writes (the longest composed signature line is far below this); files of
// older programs hold at most 98 characters per field.
constexpr int kFieldReadBuffer = 400;
constexpr int kValueReadBuffer = TFormular::kTextBufferSize;
constexpr int kOkReadBuffer = 100;

QString SaveCaption() { return QStringLiteral("Datensatz speichern"); }
QString LoadCaption() { return QStringLiteral("Datensatz laden"); }

}  // namespace

const RowAppliesTable& TFormular::Applicability() const {
  return DeviceWindow ? DeviceWindow->RowApplies : kRowApplies;
}

bool TFormular::SaveRecord(const QString& path) {
  // Collect everything first, so that nothing is written when a text cannot
  // be stored: cp1252 has no byte for it and it would be lost.
  QStringList texts;
  for (int i = 0; i < kNumEdits; ++i) texts << FieldFirstLine(i);
  for (int i = 0; i < kNumEdits; ++i) {
    if (!IsCp1252Representable(texts[i])) {
      Seams::MessageBox(this,
                        QStringLiteral("Der Datensatz wurde nicht gespeichert.\n\n"
                                       "Das Feld \u201E%1\u201C enthält Zeichen, die in einer Datensatz-Datei "
                                       "nicht gespeichert werden können. Bitte ersetzen Sie diese Zeichen.")
                            .arg(FieldLabel(i)),
                        SaveCaption(), Win::MB_OK | Win::MB_ICONEXCLAMATION);
      return false;
    }
  }
  for (int r = 0; r < kRowCount; ++r) {
    if (!IsCp1252Representable(MessText[r]) || !IsCp1252Representable(GrenzText[r])) {
      Seams::MessageBox(this,
                        QStringLiteral("Der Datensatz wurde nicht gespeichert.\n\n"
                                       "Ein Messwert oder Grenzwert enthält Zeichen, die in einer "
                                       "Datensatz-Datei nicht gespeichert werden können."),
                        SaveCaption(), Win::MB_OK | Win::MB_ICONEXCLAMATION);
      return false;
    }
  }

  TProfile profile(QString::fromLatin1(kSection), path);
  auto fail = [&](const QString& reason) {
    Seams::MessageBox(this,
                      QStringLiteral("Der Datensatz konnte nicht gespeichert werden.\n\n%1\n\n%2\n\n"
                                     "Eine bereits vorhandene Datei wurde nicht verändert.")
                          .arg(path, reason),
                      SaveCaption(), Win::MB_OK | Win::MB_ICONHAND);
    return false;
  };
  if (profile.State() == TProfile::FileState::Unreadable)
    return fail(QStringLiteral("Die vorhandene Datei kann nicht gelesen werden: %1").arg(profile.ErrorText()));

  bool ok = true;
  ok &= profile.WriteInt(QStringLiteral("VDEPruefgrundlage"), VdePruefgrundlage);
  ok &= profile.WriteInt(QStringLiteral("VDEKlasse"), VdeKlasse);
  ok &= profile.WriteInt(QStringLiteral("NumOfEditFields"), kNumEdits);
  for (int i = 0; i < kNumEdits; ++i) ok &= profile.WriteString(IniKeys[i], texts[i]);
  for (int r = 0; r < kRowCount; ++r) ok &= profile.WriteString(IniKeys[kNumEdits + r], MessText[r]);
  for (int r = 0; r < kRowCount; ++r) ok &= profile.WriteString(IniKeys[kNumEdits + kRowCount + r], GrenzText[r]);
  for (int r = 0; r < kRowCount; ++r) {
    const bool passed = OkBoxes[r]->isChecked() && OkBoxShown(r);
    ok &= profile.WriteString(IniKeys[kNumEdits + 2 * kRowCount + r], passed ? QStringLiteral("1") : QStringLiteral("0"));
  }
  ok &= profile.WriteInt(QStringLiteral("Sichtpruefung"), SichtpruefungBox->isChecked() ? 1 : 0);
  ok &= profile.WriteInt(QStringLiteral("Funktionspruefung"), FunktionspruefungBox->isChecked() ? 1 : 0);
  if (!ok) return fail(QStringLiteral("Ein Wert lässt sich nicht in die Datei schreiben."));
  if (!profile.Flush()) return fail(profile.ErrorText());
  Modified = false;
  RecordPath = path;
  NoteInStatusBar(QStringLiteral("Datensatz gespeichert: %1").arg(QDir::toNativeSeparators(path)));
  return true;
}

bool TFormular::LoadRecord(const QString& path) {
  TProfile profile(QString::fromLatin1(kSection), path);
  if (profile.State() == TProfile::FileState::Unreadable) {
    // Unlike a missing file or section, an I/O failure says nothing about the
    // report: the form keeps what it shows.
    Seams::MessageBox(this,
                      QStringLiteral("Der Datensatz konnte nicht gelesen werden.\n\n%1\n\n%2")
                          .arg(path, profile.ErrorText()),
                      LoadCaption(), Win::MB_OK | Win::MB_ICONHAND);
    return false;
  }
  if (!profile.HasSection()) {
    // Another program's INI file, a text file or no file at all: loading it
    // would only empty the form. What the user typed stays.
    const QString why = profile.State() == TProfile::FileState::Missing
                            ? QStringLiteral("Die Datei \u201E%1\u201C ist nicht vorhanden.")
                            : QStringLiteral("Die Datei \u201E%1\u201C enthält keinen Datensatz eines Prüfprotokolls.");
    Seams::MessageBox(this, why.arg(QDir::toNativeSeparators(path)) + QStringLiteral("\n\nDas Formular bleibt unverändert."),
                      LoadCaption(), Win::MB_OK | Win::MB_ICONEXCLAMATION);
    return false;
  }

  VdePruefgrundlage = profile.GetInt(QStringLiteral("VDEPruefgrundlage"), 0);
  VdeKlasse = profile.GetInt(QStringLiteral("VDEKlasse"), 0);
  for (int i = 0; i < kNumEdits; ++i) SetFieldText(i, profile.GetString(IniKeys[i], kFieldReadBuffer));
  for (int r = 0; r < kRowCount; ++r) {
    MessText[r] = profile.GetString(IniKeys[kNumEdits + r], kValueReadBuffer);
    RowActive[r] = ScanFloat(MessText[r], nullptr) || MessText[r] == QLatin1String("Overflow") ? 1 : 0;
  }
  for (int r = 0; r < kRowCount; ++r)
    GrenzText[r] = profile.GetString(IniKeys[kNumEdits + kRowCount + r], kValueReadBuffer);
  for (int r = 0; r < kRowCount; ++r) {
    const QString ok = profile.GetString(IniKeys[kNumEdits + 2 * kRowCount + r], kOkReadBuffer);
    OkBoxes[r]->setChecked(ok.startsWith(QLatin1Char('1')));
  }
  SichtpruefungBox->setChecked(profile.GetInt(QStringLiteral("Sichtpruefung"), 0) == 1);
  FunktionspruefungBox->setChecked(profile.GetInt(QStringLiteral("Funktionspruefung"), 0) == 1);

  // Rows 0..3 belong to the report exactly when the stored standard and class
  // prescribe them.
  const RowAppliesTable& table = Applicability();
  for (int r = 0; r < kDeviceRowCount; ++r)
    RowActive[r] = RowApplicable(table, VdeKlasse, VdePruefgrundlage, r) ? 1 : 0;

  SyncOkBoxes();
  update();
  Modified = false;
  RecordPath = path;
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
  if (auto* frame = qobject_cast<QMainWindow*>(window()))
    if (QStatusBar* bar = frame->statusBar()) bar->showMessage(text);
}
