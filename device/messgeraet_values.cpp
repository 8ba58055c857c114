// Measured values: range texts, the live display, and the scaling and display
// of the four values of a record.
#include <QComboBox>
#include <QLabel>
#include <QSignalBlocker>

#include "controls/TColorStatic.h"
#include "device/TMessgeraet.h"
#include "platform/cformat.h"

namespace {

const char* const kRangeTexts[23] = {
    "intern/Start",
    "Spannung DC 200V",
    "Spannung AC 200V",
    "Schutzleiterwiderstand, RPE    2Ohm",
    "Schutzleiterwiderstand, RPE   20Ohm",
    "Isolationswiderstand,   RISO 200kOhm",
    "Isolationswiderstand,   RISO   2MOhm",
    "Isolationswiderstand,   RISO  20MOhm",
    "Isolationswiderstand,   RISO 200MOhm",
    "Ableitstrom, IABL  2mA",
    "Ableitstrom, IABL 20mA",
    "Ersatzableitstrom, IEA  2mA",
    "Ersatzableitstrom, IEA 20mA",
    "Leistung AC, 1kW",
    "Leistung AC, 4kW",
    "Laststrom AC, 16A",
    "intern/calibrate",
    "intern/PE-Test",
    "intern/Mains-Test",
    "Isolationswiderstand, Calibrierung RISO 200kOhm",
    "Isolationswiderstand, Calibrierung RISO   2MOhm",
    "Isolationswiderstand, Calibrierung RISO  20MOhm",
    "Isolationswiderstand, Calibrierung RISO 200MOhm",
};

// Codes 3 to 12: the row (index into ValueStatic), the factor from counts to
// the row's unit and the display format. The factors are extended precision;
// the product is rounded to single precision, as the tester's own software does.
struct Scaling {
  int row;
  long double factor;
  const char* format;
};
const Scaling kScaling[10] = {
    {0, 0.0001L, "%7.3f"},   // 3  R-PE 2 Ohm
    {0, 0.001L, "%7.2f"},    // 4  R-PE 20 Ohm
    {1, 0.00001L, "%7.4f"},  // 5  R-ISO 200 kOhm
    {1, 0.0001L, "%7.3f"},   // 6  R-ISO 2 MOhm
    {1, 0.001L, "%7.2f"},    // 7  R-ISO 20 MOhm
    {1, 0.01L, "%7.1f"},     // 8  R-ISO 200 MOhm
    {2, 0.0001L, "%7.3f"},   // 9  I-ABL 2 mA
    {2, 0.001L, "%7.3f"},    // 10 I-ABL 20 mA
    {3, 0.0001L, "%7.3f"},   // 11 I-EA 2 mA
    {3, 0.001L, "%7.2f"},    // 12 I-EA 20 mA
};

}  // namespace

QString TMessgeraet::RangeText(int code) {
  if (code < 0 || code > 22) return QStringLiteral("?");
  return QString::fromLatin1(kRangeTexts[code]);
}

void TMessgeraet::ShowRange(const QString& line) {
  QString word;
  unsigned code = 0;
  ScanField fields[2] = {{ScanField::Word, &word, 51}, {ScanField::Hex, &code}};
  if (CScanFields(line, "m %s %x", fields, 2) == 2) {
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
    int code = record.RangeCode[i];
    int raw = record.RawValue[i];
    if (code < 3 || code > 12) continue;
    const Scaling& s = kScaling[code - 3];
    QString text;
    if (raw == 32767 || raw == 32768) {
      text = QStringLiteral("Overflow");
    } else {
      float counts = static_cast<float>(raw);
      float value = static_cast<float>(static_cast<long double>(counts) * s.factor);
      text = CFormat(s.format, static_cast<double>(value));
    }
    ValueStatic[s.row]->setText(text);
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
