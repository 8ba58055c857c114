// "Kopieren": the report takes the test settings, measured values and limits
// the device window shows; the core judges each row against its limit.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include "device/TMessgeraet.h"
#include "report/TFormular.h"
#include "core/reportrecord.h"
#include "core/reportrules.h"
#include "report/nexttesthint.h"

void TFormular::CmKopieren() {
  Evaluate();
  // The month of the next test, or that the instrument's calibration had run
  // out on the test date: told, not asked; the report is made all the same.
  NoteInStatusBar(NextTestHint::AfterKopieren(Record()));
}

DeviceSnapshot TFormular::DeviceState() const {
  DeviceSnapshot device;
  if (!DeviceWindow) return device;
  device.VdePruefgrundlage = DeviceWindow->VdePruefgrundlage;
  device.VdeKlasse = DeviceWindow->VdeKlasse;
  for (int r = 0; r < kDeviceRowCount; ++r) {
    device.MeasurementAvailable[r] = DeviceWindow->MeasurementAvailable[r];
    const QLabel* value = DeviceWindow->ValueStatic[r];
    const QLineEdit* limit = DeviceWindow->LimitEdit[r];
    device.ValueText[r] = value ? value->text() : QString();
    device.LimitText[r] = limit ? limit->text() : QString();
  }
  device.DeviceText = DeviceWindow->DeviceText;
  return device;
}

void TFormular::Evaluate() {
  if (!DeviceWindow) return;
  ReportRecord record = Record();
  const DeviceSnapshot device = DeviceState();
  Report::Evaluate(device, &record);
  // Reported under the current standard the user chose for the tester's
  // record; under the tester's own standard nothing more changes.
  Report::ReportUnderChoice(device, UserProfiles(), &record);
  Show(record);
  LookUpEarlier(true);
}

int TFormular::GesamtOk() const { return Report::GesamtOk(Record()); }

bool TFormular::ReportPassed() const { return Report::Passed(Record()); }
