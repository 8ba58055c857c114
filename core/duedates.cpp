#include "core/duedates.h"

#include <QRegularExpression>

#include "core/layout.h"
#include "core/reportrecord.h"

namespace DueDates {

const char* const kNextTestKey = "NaechstePruefung";

int IntervalMonths(const QString& text) {
  static const QRegularExpression number(QStringLiteral("(\\d+)"));
  const QRegularExpressionMatch m = number.match(text);
  if (!m.hasMatch() || m.captured(1).size() > 3) return 0;
  const int months = m.captured(1).toInt();
  return months >= 1 && months <= 120 ? months : 0;
}

int MonthsFor(const ReportRecord& report) {
  const int months = IntervalMonths(report.Fields[Layout::kFieldPruefintervall]);
  return months > 0 ? months : kDefaultMonths;
}

QDate ParseDate(const QString& typed, const QDate& today) {
  const QString text = typed.trimmed();
  for (const char* format : {"dd.MM.yyyy", "d.M.yyyy", "yyyy-MM-dd", "dd.MM.yy"}) {
    QDate d = QDate::fromString(text, QString::fromLatin1(format));
    if (!d.isValid()) continue;
    // Two digits of the year are read as 19xx: a test date is of this
    // century unless that lies more than a year ahead.
    if (text.size() == 8 && d.year() < 2000 && d.addYears(100) <= today.addYears(1)) d = d.addYears(100);
    return d;
  }
  return QDate();
}

QDate TestDate(const ReportRecord& report) { return ParseDate(report.Fields[Layout::kFieldPruefungAm]); }

QDate NextTest(const ReportRecord& report) {
  const QDate tested = TestDate(report);
  return tested.isValid() ? tested.addMonths(MonthsFor(report)) : QDate();
}

QString MonthText(const QDate& date) { return date.isValid() ? date.toString(QStringLiteral("MM/yyyy")) : QString(); }

QDate CalibrationValidUntil(const QString& typed) {
  const QString text = typed.trimmed();
  const QDate day = ParseDate(text);
  if (day.isValid()) return day;
  static const QRegularExpression monthYear(QStringLiteral("^(\\d{1,2})\\s*[./-]\\s*(\\d{4}|\\d{2})$"));
  static const QRegularExpression yearMonth(QStringLiteral("^(\\d{4})-(\\d{1,2})$"));
  static const QRegularExpression yearOnly(QStringLiteral("^(\\d{4})$"));
  int year = 0, month = 0;
  if (const QRegularExpressionMatch m = monthYear.match(text); m.hasMatch()) {
    month = m.captured(1).toInt();
    year = m.captured(2).toInt();
    if (m.captured(2).size() == 2) year += 2000;
  } else if (const QRegularExpressionMatch m = yearMonth.match(text); m.hasMatch()) {
    year = m.captured(1).toInt();
    month = m.captured(2).toInt();
  } else if (const QRegularExpressionMatch m = yearOnly.match(text); m.hasMatch()) {
    year = m.captured(1).toInt();
    month = 12;
  }
  if (month < 1 || month > 12 || year < 1900) return QDate();
  const QDate first(year, month, 1);
  return first.addDays(first.daysInMonth() - 1);
}

QString CalibrationWarning(const ReportRecord& report) {
  const QString text = report.Fields[Layout::kFieldNaechsteKalibrierung].simplified();
  const QDate validUntil = CalibrationValidUntil(text);
  const QDate tested = TestDate(report);
  if (!validUntil.isValid() || !tested.isValid() || tested <= validUntil) return QString();
  return QStringLiteral("Achtung: Die Kalibrierung des Messgeräts war am Prüftag (%1) abgelaufen "
                        "(nächste Kalibrierung: %2). Der Bericht wird trotzdem erstellt; lassen Sie das "
                        "Messgerät kalibrieren.")
      .arg(tested.toString(QStringLiteral("dd.MM.yyyy")), text);
}

}  // namespace DueDates
