#pragma once
// What the form tells about the dates of its report: the month of the next
// test as the tool tip of "Prüfintervall" (the printed page shows it in that
// line; on screen the field covers it), and after Kopieren a status text with
// that month, or the warning that the instrument's calibration had run out on
// the test date (the report is made all the same).
#include <QString>

class TFormular;
struct ReportRecord;

namespace NextTestHint {

// Keeps the tool tip of "Prüfintervall" up to date while "Prüfung am" and
// "Prüfintervall" change.
void Attach(TFormular& form);
// The tool tip for a report: "Nächste Prüfung: 06/2027 ..." or why there is none.
QString ToolTip(const ReportRecord& report);
// The status text after Kopieren.
QString AfterKopieren(const ReportRecord& report);

}  // namespace NextTestHint
