// The device window's buttons: record navigation, load all, delete all, the
// identification request and the debug buttons.
#include <QLabel>
#include <cstdlib>

#include "device/TMessgeraet.h"
#include "core/cformat.h"
#include "platform/seams.h"

namespace {
constexpr unsigned kAddressCount = 2729;  // device addresses 0 to 2728
}

void TMessgeraet::ButtonClicked(int id) {
  int step = 0;
  switch (id) {
    case 101: step = -1; break;
    case 104: step = 1; break;
    case 110: step = -10; break;
    case 109: step = 10; break;
    case 105:
      if (ConfirmLoadAll && !ConfirmLoadAll(false)) return;
      StartLoadAll();
      return;
    case 102:
      if (Seams::MessageBox(this, QStringLiteral("Wirklich ?"), QStringLiteral("Alle Datensaetze loeschen"),
                            Win::MB_YESNO | Win::MB_ICONQUESTION | Win::MB_DEFBUTTON2) == Win::IDYES &&
          (!ConfirmLoadAll || ConfirmLoadAll(true))) {
        Seams::MessageBeep(Win::MB_ICONHAND);
        StartDeleteAll();
      }
      return;
    case 1302:
      SetDlgItemText(1304, QStringLiteral("?"));
      SendCommand(QByteArrayLiteral("v\r"));
      return;
    case 1459:
      ++DeviceAddress;
      if (DeviceAddress >= kAddressCount) DeviceAddress = 0;
      SetDlgItemText(1455, CFormat("%04u", DeviceAddress + 1u));
      return;
    case 1458:
      if (DeviceAddress == 0)
        DeviceAddress = kAddressCount - 1;
      else
        --DeviceAddress;
      SetDlgItemText(1455, CFormat("%04u", DeviceAddress + 1u));
      return;
    case 1457:
      LateAnswersIgnored = false;  // the user asks for this answer
      SendCommand(CFormat("l %04X\r", DeviceAddress).toLatin1());
      return;
    case 1469:
      SendCommand(QByteArrayLiteral("cal\r"));
      return;
    case 1447:
      RandomFill();
      return;
    case 1201:
      ClearLog();
      return;
    default:
      return;
  }

  // Navigation through the records on the PC; nothing goes to the tester.
  RecordIndex += step;
  if (step < 0 && RecordIndex <= 0) RecordIndex = 0;
  if (step > 0 && RecordIndex >= RecordCount) RecordIndex = RecordCount - 1;
  // Never beyond the records held, also when a later count answer shrank them.
  if (RecordIndex >= RecordCount) RecordIndex = RecordCount - 1;
  if (RecordIndex < 0) RecordIndex = 0;  // nothing loaded yet
  SetDlgItemText(206, CFormat("%03d", RecordIndex));
  ShowRecord();
}

void TMessgeraet::RandomFill() {
  for (QLabel* value : ValueStatic) {
    int k = std::rand() % 42;
    value->setText(CFormat("%7.2f", k * 1.234));
  }
}
