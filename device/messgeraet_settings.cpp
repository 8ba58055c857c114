// Standards, protection classes and limits: which measurement rows belong to
// the chosen test, and their default limits.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "device/TMessgeraet.h"
#include "platform/cformat.h"

void TMessgeraet::RefreshSettings() {
  const int k = KlasseCombo->currentIndex();
  const int n = NormCombo->currentIndex();

  // The choice relabels the record on display (never a slot outside the table).
  if (RecordIndex >= 0 && RecordIndex < kRecordSlots) {
    Records[RecordIndex].ClassIndex = k;
    Records[RecordIndex].NormIndex = n;
  }

  VdePruefgrundlage = n + 4;
  VdeKlasse = k + 1;

  // Table lookups only for codes the tables have; anything else shows no row
  // and leaves the limit texts alone.
  const bool classValid = VdeKlasse >= 1 && VdeKlasse <= kClassMax;
  const bool standardValid = VdePruefgrundlage >= 1 && VdePruefgrundlage <= kStandardMax;
  const bool valid = classValid && standardValid;

  for (int r = 0; r < kDeviceRowCount; ++r) {
    const bool active =
        valid && RowApplies[VdeKlasse][VdePruefgrundlage][r] == 1 && MeasurementAvailable[r] == 1;
    ValueStatic[r]->setVisible(active);
    UnitStatic[r]->setVisible(active);
    LabelStatic[r]->setVisible(active);
    LimitEdit[r]->setVisible(active);
    MethodStatic[r]->setVisible(active);
  }

  if (valid) {
    for (int r = 0; r < kDeviceRowCount; ++r)
      LimitEdit[r]->setText(
          CFormat("%5.2f", static_cast<double>(DefaultLimits[VdeKlasse][VdePruefgrundlage][r])));
  }
}
