#include "report/batchprint.h"

#include <QPainter>
#include <QPrinter>

namespace Batch {

Result Print(const std::vector<ReportRecord>& reports, QPrinter& printer, const Progress& progress,
             const std::vector<QString>& hashes) {
  Result result;
  if (!reports.empty()) printer.setDocName(Title(reports.front()));
  QPainter painter;
  if (!painter.begin(&printer)) {
    result.ok = false;
    result.error = QStringLiteral("Der Drucker kann nicht benutzt werden.");
    return result;
  }
  const QSize pageSize(printer.width(), printer.height());
  for (size_t i = 0; i < reports.size(); ++i) {
    if (i > 0) printer.newPage();
    PaintPage(painter, pageSize, reports[i], i < hashes.size() ? hashes[i] : QString());
    ++result.written;
    if (progress && !progress(result.written)) {
      result.canceled = true;
      printer.abort();
      break;
    }
  }
  painter.end();
  return result;
}

}  // namespace Batch
