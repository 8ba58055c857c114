#include "core/comparison.h"

#include <QRegularExpression>
#include <algorithm>
#include <cmath>

#include "core/cformat.h"
#include "core/limitprofiles.h"

namespace Comparison {
namespace {

const char* const kShort[kDeviceRowCount] = {"R-PE", "R-ISO", "I-ABL", "I-EA"};

// A measured text as a number, and the step of its last digit ("  0.150" ->
// 0.15 and 0.001). False for "Overflow", "?", empty texts.
bool Number(const QString& text, double* value, double* step) {
  static const QRegularExpression number(QStringLiteral("^\\s*(-?[0-9]+)(?:[.,]([0-9]+))?"));
  const QRegularExpressionMatch match = number.match(text);
  if (!match.hasMatch()) return false;
  const QString decimals = match.captured(2);
  *value = (match.captured(1) + QLatin1Char('.') + (decimals.isEmpty() ? QStringLiteral("0") : decimals)).toDouble();
  *step = std::pow(10.0, -double(decimals.size()));
  return true;
}

QString Percent(double ratio) { return CFormat("%+.0f %%", (ratio - 1.0) * 100.0); }

QString Decimal(double value, int decimals) {
  return CFormat("%.*f", decimals, value).replace(QLatin1Char('.'), QLatin1Char(','));
}

}  // namespace

Row Compare(int standard, int row, const QString& now, const QString& previous, const QString& limit) {
  Row result;
  if (row < 0 || row >= kDeviceRowCount) return result;
  double m = 0, stepNow = 0;
  if (!Number(now, &m, &stepNow)) return result;
  const QString name = QString::fromLatin1(kShort[row]);
  const bool current = row >= 2;
  double p = 0, stepBefore = 0;
  const bool hasPrevious = Number(previous, &p, &stepBefore);
  // What the display cannot tell apart is no change.
  const double step = std::max(stepNow, hasPrevious ? stepBefore : 0.0);

  if (Profiles::IsMedical(standard)) {
    if (!current) return result;
    double g = 0, ignored = 0;
    if (Number(limit, &g, &ignored) && g > 0 && m > 0.9 * g) {
      result.warn = true;
      result.why = QStringLiteral("%1 über 90 % des Grenzwerts").arg(name);
      return result;
    }
    if (!hasPrevious) return result;
    // mA: 10 uA is 0.010 mA.
    const double allowed = std::max(0.5 * p, 0.010);
    if (m - p > allowed && m - p > step) {
      result.warn = true;
      result.why = QStringLiteral("%1 um %2 µA gestiegen seit der letzten Prüfung").arg(name, Decimal((m - p) * 1000.0, 0));
    }
    return result;
  }
  if (!hasPrevious) return result;
  if (row == 1) {
    if (m < 0.5 * p && p - m > step) {
      result.warn = true;
      result.why = QStringLiteral("%1 auf weniger als die Hälfte gesunken seit der letzten Prüfung (%2)")
                       .arg(name, p > 0 ? Percent(m / p) : QString());
    }
    return result;
  }
  if (m > 1.5 * p && m - p > step) {
    result.warn = true;
    result.why = p > 0 ? QStringLiteral("%1 %2 seit der letzten Prüfung").arg(name, Percent(m / p))
                       : QStringLiteral("%1 gestiegen seit der letzten Prüfung").arg(name);
  }
  return result;
}

}  // namespace Comparison
