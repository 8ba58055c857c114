// Measured values on show: the live display and the four values of a record
// (the range texts and the scaling are in core/values).
#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>

#include "controls/TColorStatic.h"
#include "device/TMessgeraet.h"
#include "core/values.h"
#include "core/cformat.h"

QString TMessgeraet::RangeText(int code) { return Values::RangeText(code); }

void TMessgeraet::ShowRange(const QString& line) {
  QString word;
  unsigned code = 0;
  ScanField fields[2] = {{ScanField::Word, &word, 51}, {ScanField::Hex, &code}};
  // Parsed first, on its own line: as arguments of one call, the code could be
  // copied before the parse had filled it in.
  const bool parsed = CScanFields(line, "m %s %x", fields, 2) == 2;
  ShowRange(parsed, word, code);
}

void TMessgeraet::ShowRange(bool parsed, const QString& word, unsigned code) {
  if (parsed) {
    Display->SetText(word);
    SetDlgItemText(1467, code <= 22 ? RangeText(static_cast<int>(code)) : QStringLiteral("?"));
  } else {
    Display->SetText(QStringLiteral("?"));
    SetDlgItemText(1467, QStringLiteral("?"));
  }
}

void TMessgeraet::ShowRecord() {
  if (RecordIndex < 0 || RecordIndex >= kRecordSlots) RecordIndex = 0;
  const DeviceRecord& record = Records[RecordIndex];
  SetDlgItemText(1453, CFormat("%03d", RecordIndex + 1));
  {
    QSignalBlocker blockNorm(NormCombo);
    QSignalBlocker blockKlasse(KlasseCombo);
    if (record.NormIndex >= 0 && record.NormIndex < NormCombo->count()) NormCombo->setCurrentIndex(record.NormIndex);
    if (record.ClassIndex >= 0 && record.ClassIndex < KlasseCombo->count())
      KlasseCombo->setCurrentIndex(record.ClassIndex);
  }
  for (QLabel* value : ValueStatic) value->setText(QStringLiteral("?"));
  for (int i = 0; i < 4; ++i) {
    const Values::Shown shown = Values::FormatValue(record.RangeCode[i], record.RawValue[i]);
    if (shown.row >= 0) ValueStatic[shown.row]->setText(shown.text);
  }
  RefreshSettings();
}

void TMessgeraet::ShowRecordHex() {
  if (RecordIndex < 0 || RecordIndex >= kRecordSlots) return;
  const DeviceRecord& record = Records[RecordIndex];
  QString text = CFormat("%04x %04x", static_cast<unsigned>(record.ClassIndex), static_cast<unsigned>(record.NormIndex));
  for (int i = 0; i < 4; ++i)
    text += CFormat(" %04x %04x", static_cast<unsigned>(record.RangeCode[i]), static_cast<unsigned>(record.RawValue[i]));
  SetDlgItemText(203, text.left(127));
}
