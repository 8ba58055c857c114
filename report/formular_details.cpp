// The details of a test that the standards in force today and the rules for
// a test record ask for ("Prüfangaben"), and the appliance's previous test
// from the archive beside the measured values.
#include <QCheckBox>
#include <QPointer>
#include <QPushButton>
#include <cmath>

#include "core/archiveservice.h"
#include "core/earliertests.h"
#include "core/reportrules.h"
#include "report/TFormular.h"
#include "report/profiledialog.h"
#include "report/testdetailsdialog.h"

namespace {
QString Decimal(double value) { return QString::number(value, 'g', 6).replace(QLatin1Char('.'), QLatin1Char(',')); }
}  // namespace

std::vector<Profiles::UserProfile> TFormular::UserProfiles() const {
  std::vector<Profiles::UserProfile> profiles;
  QString error;
  if (!Profiles::LoadUserProfiles(&profiles, &error)) const_cast<TFormular*>(this)->NoteInStatusBar(error);
  return profiles;
}

void TFormular::CmPruefangaben() {
  if (ReadOnlyView) return;
  // Beside the form, not blocking it; one at a time.
  if (auto* open = findChild<TestDetailsDialog*>()) {
    open->raise();
    open->activateWindow();
    return;
  }
  auto* dialog = new TestDetailsDialog(Record(), UserProfiles(), this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QDialog::accepted, this, [this, dialog] { ApplyDetails(dialog->Result()); });
  connect(dialog, &TestDetailsDialog::EditProfiles, dialog, [dialog] {
    auto* editor = new ProfileDialog(dialog);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    connect(editor, &ProfileDialog::Saved, dialog, &TestDetailsDialog::SetProfiles);
    editor->open();
  });
  dialog->open();
}

void TFormular::ApplyDetails(const ReportRecord& changed) {
  // What the dialog edits, onto the report as it is now (the archive's answer
  // may have come while the dialog was open).
  const ReportRecord before = Record();
  ReportRecord after = before;
  const std::array<QString, kRowCount> previous = before.Vorwert;
  const QString previousDate = before.Vorpruefung;
  Report::CopyDetails(changed, &after);
  after.Vorwert = previous;
  after.Vorpruefung = previousDate;
  after.VdePruefgrundlage = changed.VdePruefgrundlage;
  after.Fields[Layout::kFieldLeistung] = changed.Fields[Layout::kFieldLeistung];
  Report::Relimit(before, UserProfiles(), &after);
  Show(after);
  Modified = true;
  emit DetailsChanged();
  LookUpEarlier(false);
}

bool TFormular::EarlierBusy() const { return earlier_ && earlier_->Busy(); }

void TFormular::LookUpEarlier(bool takeCord) {
  if (!archive_ || ReadOnlyView) return;
  const ReportRecord record = Record();
  EarlierTests::Key key;
  if (!Archive::KeyOf(record, &key.customer, &key.inventarNr)) return;
  key.before = Archive::TestDate(record, QDate::currentDate());
  if (!earlier_) earlier_ = new EarlierTests(this);
  earlier_->Request(archive_->Location(), {key}, 0, [this, key, takeCord](const EarlierTests::Result& result) {
    if (result.failed) {
      // No archive yet is nothing earlier; anything else the user learns.
      if (!result.noArchive)
        NoteInStatusBar(QStringLiteral("Die früheren Prüfungen des Geräts sind nicht zu lesen: %1").arg(result.error));
      return;
    }
    // Only for the appliance the form still shows.
    ReportRecord now = Record();
    EarlierTests::Key still;
    if (result.answers.empty() || !Archive::KeyOf(now, &still.customer, &still.inventarNr) ||
        still.customer != key.customer || still.inventarNr != key.inventarNr)
      return;
    const Archive::Earlier& earlier = result.answers.front().earlier;
    const ReportRecord before = now;
    Report::SetPrevious(earlier.previous, &now);
    // A new test of an appliance the archive knows: its cord and kind, where
    // the report names none.
    bool taken = false;
    if (takeCord && earlier.applianceFound) {
      if (now.Leitungslaenge.isEmpty() && !std::isnan(earlier.appliance.CordLengthM))
        now.Leitungslaenge = Decimal(earlier.appliance.CordLengthM), taken = true;
      if (now.Leitungsquerschnitt.isEmpty() && !std::isnan(earlier.appliance.CrossSectionMm2))
        now.Leitungsquerschnitt = Decimal(earlier.appliance.CrossSectionMm2), taken = true;
      if (now.Geraeteart == 0 && earlier.appliance.Kind != 0) now.Geraeteart = earlier.appliance.Kind, taken = true;
    }
    if (taken) Report::Relimit(before, UserProfiles(), &now);
    Show(now);
  });
}
