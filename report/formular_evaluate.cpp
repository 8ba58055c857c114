// "Kopieren": the report takes the test settings, measured values and limits
// the device window shows, and each row is judged against its limit.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include "device/TMessgeraet.h"
#include "platform/cformat.h"
#include "report/TFormular.h"

namespace {

// The texts of the device window are read as C strings of at most 18 characters.
constexpr int kCopyChars = 18;

// Whether measured value m keeps limit g in row r: the PE-conductor
// resistance must stay strictly below, the insulation resistance must reach
// at least the limit, every other quantity must not exceed it.
bool Keeps(int row, float m, float g) {
  switch (row) {
    case 0: return m < g;
    case 1: return m >= g;
    default: return m <= g;
  }
}

}  // namespace

void TFormular::CmKopieren() { Evaluate(); }

void TFormular::Evaluate() {
  if (!DeviceWindow) return;
  VdePruefgrundlage = DeviceWindow->VdePruefgrundlage;
  VdeKlasse = DeviceWindow->VdeKlasse;

  for (int r = 0; r < kDeviceRowCount; ++r) {
    RowActive[r] = RowApplicable(DeviceWindow->RowApplies, VdeKlasse, VdePruefgrundlage, r) &&
                           DeviceWindow->MeasurementAvailable[r] == 1
                       ? 1
                       : 0;
    const QLabel* value = DeviceWindow->ValueStatic[r];
    const QLineEdit* limit = DeviceWindow->LimitEdit[r];
    MessText[r] = value ? value->text().left(kCopyChars) : QString();
    GrenzText[r] = limit ? limit->text().left(kCopyChars) : QString();

    float m = 0, g = 0;
    const bool mConverts = ScanFloat(MessText[r], &m);
    const bool gConverts = ScanFloat(GrenzText[r], &g);
    bool ok = false;
    if (mConverts && gConverts)
      ok = Keeps(r, m, g);
    else if (r == 1 && MessText[r] == QLatin1String("Overflow") && gConverts)
      ok = true;  // beyond the insulation meter's range: more than any limit
    OkBoxes[r]->setChecked(ok);
  }
  // The device window has no source for rows 4..7. They are cleared so that a
  // report saved after Kopieren does not bring back old values as active rows
  // when it is loaded again.
  for (int r = kDeviceRowCount; r < kRowCount; ++r) {
    RowActive[r] = 0;
    OkBoxes[r]->setChecked(false);
    MessText[r] = QStringLiteral("??");
    GrenzText[r] = QStringLiteral("??");
  }

  static const char* const kClassNames[] = {"", "I", "II", "III"};
  SetFieldText(kFieldSchutzklasse,
               VdeKlasse >= 1 && VdeKlasse <= 3 ? QString::fromLatin1(kClassNames[VdeKlasse]) : QString());
  SetFieldText(kFieldMessgeraet, DeviceWindow->DeviceText);

  SyncOkBoxes();
  update();
}

int TFormular::ComputeGesamtOk() {
  GesamtOk = 1;
  int hidden = 0;
  for (int r = 0; r < kRowCount; ++r) {
    if (!OkBoxShown(r))
      ++hidden;
    else if (!OkBoxes[r]->isChecked())
      GesamtOk = 0;
  }
  if (hidden == kRowCount) GesamtOk = 0;
  return GesamtOk;
}

bool TFormular::ReportPassed() const {
  return SichtpruefungBox->isChecked() && FunktionspruefungBox->isChecked() && GesamtOk == 1;
}
