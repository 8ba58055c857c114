#pragma once
// The dates a report leads to: when the appliance is to be tested next (its
// test date plus the interval in months that "Prüfintervall" names, 12 when it
// names none), and whether the measuring instrument was still calibrated on
// the test date ("nächste Kalibrierung").
#include <QDate>
#include <QString>

#include "core/clock.h"

struct ReportRecord;

namespace DueDates {

// The months a "Prüfintervall" text names ("12", "24 Monate", "6 Mon."):
// its first number from 1 to 120; 0 when it names none.
int IntervalMonths(const QString& text);
// The interval a report's next test date is computed with: the months its
// "Prüfintervall" names, else the default.
constexpr int kDefaultMonths = 12;
int MonthsFor(const ReportRecord& report);

// A test date as typed ("dd.MM.yyyy", "d.M.yyyy", "yyyy-MM-dd", "dd.MM.yy";
// a two-digit year is of this century unless that lies more than a year
// after `today`); invalid when the text is none of these.
QDate ParseDate(const QString& text, const QDate& today = Clock::Today());
// The test date of a report ("Prüfung am"); invalid when it has none.
QDate TestDate(const ReportRecord& report);

// The next test of a report: its test date plus MonthsFor(); invalid when the
// report has no test date.
QDate NextTest(const ReportRecord& report);
// The month of a date as the page and the labels show it: "06/2027"; empty for
// an invalid date.
QString MonthText(const QDate& date);
// The data record file's key for the next test's month ("06/2027"). Written
// with every report; a reader takes the date from the report's own fields, so
// a file edited by a program that does not know the key never shows a stale one.
extern const char* const kNextTestKey;

// The last day a "nächste Kalibrierung" text leaves the instrument calibrated:
// "15.03.2026" that day; "03/2026", "3.2026", "2026-03" the last day of that
// month; "2026" the last day of that year. Invalid when the text names no date.
QDate CalibrationValidUntil(const QString& text);
// When the instrument's calibration had run out on the report's test date:
// a German sentence that says so (for a status text; the report is still
// made); empty when it had not, or when either date is missing.
QString CalibrationWarning(const ReportRecord& report);

}  // namespace DueDates
