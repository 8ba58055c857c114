#include "report/nexttesthint.h"

#include <QLineEdit>

#include "core/duedates.h"
#include "core/reportrecord.h"
#include "render/page.h"
#include "report/TFormular.h"

namespace NextTestHint {

QString ToolTip(const ReportRecord& report) {
  const QString month = DueDates::MonthText(DueDates::NextTest(report));
  if (month.isEmpty())
    return QStringLiteral("Die nächste Prüfung steht auf dem Bericht, sobald \u201EPrüfung am\u201C ein Datum hat.");
  const int named = DueDates::IntervalMonths(report.Fields[Layout::kFieldPruefintervall]);
  return Page::NextTestText(month) +
         (named > 0 ? QStringLiteral(" (Prüfung am + %1 Monate)").arg(named)
                    : QStringLiteral(" (Prüfung am + %1 Monate; das Feld nennt keine Monate)").arg(DueDates::kDefaultMonths));
}

QString AfterKopieren(const ReportRecord& report) {
  const QString warning = DueDates::CalibrationWarning(report);
  if (!warning.isEmpty()) return warning;
  const QString month = DueDates::MonthText(DueDates::NextTest(report));
  return month.isEmpty() ? QStringLiteral("Kopiert.") : QStringLiteral("Kopiert. %1.").arg(Page::NextTestText(month));
}

void Attach(TFormular& form) {
  TFormular* f = &form;
  auto update = [f] {
    ReportRecord dates;
    dates.Fields[Layout::kFieldPruefungAm] = f->FieldText(Layout::kFieldPruefungAm);
    dates.Fields[Layout::kFieldPruefintervall] = f->FieldText(Layout::kFieldPruefintervall);
    f->Edits[Layout::kFieldPruefintervall]->setToolTip(ToolTip(dates));
  };
  for (int field : {Layout::kFieldPruefungAm, Layout::kFieldPruefintervall})
    QObject::connect(f->Edits[field], &QLineEdit::textChanged, f, update);
  update();
}

}  // namespace NextTestHint
