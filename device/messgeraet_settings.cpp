// Standards, protection classes and limits: which measurement rows belong to
// the chosen test, and their default limits.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "device/TMessgeraet.h"
#include "core/values.h"

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
  const Values::RowSettings settings = Values::Settings(VdeKlasse, VdePruefgrundlage, MeasurementAvailable, RowApplies,
                                                        DefaultLimits);
  for (int r = 0; r < kDeviceRowCount; ++r) {
    const bool active = settings.active[r];
    ValueStatic[r]->setVisible(active);
    UnitStatic[r]->setVisible(active);
    LabelStatic[r]->setVisible(active);
    LimitEdit[r]->setVisible(active);
    MethodStatic[r]->setVisible(active);
  }
  if (settings.hasLimits)
    for (int r = 0; r < kDeviceRowCount; ++r) LimitEdit[r]->setText(settings.limitText[r]);
}
