#include "core/values.h"

#include "core/cformat.h"

namespace Values {

QString ClassText(int klasse) {
  static const char* const kNames[kClassMax + 1] = {"", "I", "II", "III"};
  return klasse >= 1 && klasse <= kClassMax ? QString::fromLatin1(kNames[klasse]) : QString();
}

int ClassCode(const QString& text) {
  for (int k = 1; k <= kClassMax; ++k)
    if (text == ClassText(k)) return k;
  return 0;
}

QStringList ClassTexts() {
  QStringList texts;
  for (int k = 1; k <= kClassMax; ++k) texts << ClassText(k);
  return texts;
}
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

// Codes 3 to 12: the row, the factor from counts to the row's unit and the
// display format. The factors are extended precision; the product is rounded
// to single precision, as the tester's own software does.
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

QString RangeText(int code) {
  if (code < 0 || code > 22) return QStringLiteral("?");
  return QString::fromLatin1(kRangeTexts[code]);
}

Shown FormatValue(int code, int raw) {
  Shown shown;
  if (code < 3 || code > 12) return shown;
  const Scaling& s = kScaling[code - 3];
  shown.row = s.row;
  if (raw == 32767 || raw == 32768) {
    shown.text = QStringLiteral("Overflow");
  } else {
    const float counts = static_cast<float>(raw);
    const float value = static_cast<float>(static_cast<long double>(counts) * s.factor);
    shown.text = CFormat(s.format, static_cast<double>(value));
  }
  return shown;
}

bool RowApplies(const RowAppliesTable& table, int klasse, int standard, int row) {
  if (klasse < 1 || klasse > kClassMax || standard < 1 || standard > kStandardMax) return false;
  if (row < 0 || row >= kRowCount) return false;
  return table[klasse][standard][row] == 1;
}

RowSettings Settings(int klasse, int standard, const int (&available)[kDeviceRowCount], const RowAppliesTable& applies,
                     const DefaultLimitsTable& limits) {
  RowSettings settings;
  const bool valid = klasse >= 1 && klasse <= kClassMax && standard >= 1 && standard <= kStandardMax;
  for (int r = 0; r < kDeviceRowCount; ++r)
    settings.active[r] = valid && applies[klasse][standard][r] == 1 && available[r] == 1;
  settings.hasLimits = valid;
  if (valid)
    for (int r = 0; r < kDeviceRowCount; ++r)
      settings.limitText[r] = CFormat("%5.2f", static_cast<double>(limits[klasse][standard][r]));
  return settings;
}

}  // namespace Values
