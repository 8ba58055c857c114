#include "report/batch.h"

#include <QDir>
#include <functional>
#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

#include "platform/fileio.h"
#include "report/printing.h"
#include "report/recordlist.h"
#include "report/surface.h"

namespace Batch {
namespace {

// Where a file is written until it is complete: beside its target, hidden.
QString TempPath(const QString& path) {
  const QFileInfo info(path);
  return info.absoluteDir().filePath(QStringLiteral(".%1.part").arg(info.fileName()));
}

bool Commit(const QString& temp, const QString& path, QString* error) {
  QFile::remove(path);
  if (!QFile::rename(temp, path)) {
    QFile::remove(temp);
    *error = QStringLiteral("Die Datei \u201E%1\u201C konnte nicht angelegt werden.").arg(QDir::toNativeSeparators(path));
    return false;
  }
  return true;
}

void SetUpPdf(QPdfWriter& writer, const QString& title) {
  writer.setResolution(300);
  writer.setPageSize(QPageSize(QPageSize::A4));
  writer.setPageOrientation(QPageLayout::Portrait);
  writer.setPageMargins(QMarginsF(5, 5, 5, 5), QPageLayout::Millimeter);
  writer.setTitle(title);
  writer.setCreator(QStringLiteral("Kelvara"));
}

QSize PageSize(const QPagedPaintDevice& device) { return QSize(device.width(), device.height()); }

}  // namespace

Page::Input PrintInput(const ReportRecord& report) {
  Page::Input in;
  in.printing = true;
  in.originX = 60;
  in.originY = 60;
  in.pageHeight = 900;
  in.standard = report.VdePruefgrundlage;
  in.sichtpruefung = report.Sichtpruefung;
  in.funktionspruefung = report.Funktionspruefung;
  std::array<bool, kRowCount> shown{}, checked{};
  for (int r = 0; r < kRowCount; ++r) {
    in.rowActive[r] = report.RowActive[r] != 0;
    in.messText[r] = report.MessText[r];
    in.grenzText[r] = report.GrenzText[r];
    in.okChecked[r] = report.Ok[r];
    in.label[r] = RecordList::RowName(r);
    in.method[r] = RecordList::RowMethod(r);
    in.unit[r] = RecordList::RowUnit(r);
    shown[r] = in.rowActive[r];
    checked[r] = report.Ok[r];
  }
  in.gesamtOk = Report::GesamtOk(shown, checked);
  for (int f = 0; f < Layout::kFieldCount; ++f) in.fields[f] = report.Fields[f];
  return in;
}

QString Title(const ReportRecord& report) {
  QString title = QStringLiteral("Prüfprotokoll");
  const QString client = report.Fields[0].simplified();
  if (!client.isEmpty()) title += QLatin1Char(' ') + client;
  const QString day = report.Fields[25].simplified();
  if (!day.isEmpty()) title += QLatin1Char(' ') + day;
  return title;
}

void PaintPage(QPainter& painter, const QSize& pageSize, const ReportRecord& report) {
  painter.save();
  painter.setPen(Qt::black);
  painter.setRenderHint(QPainter::TextAntialiasing);
  const PrintJob::Mapping m = PrintJob::ComputeMapping(pageSize.width(), pageSize.height());
  if (m.scale > 0) {
    painter.scale(m.scale, m.scale);
    painter.setClipRect(QRect(0, 0, PrintJob::kLogicalWidth, PrintJob::kLogicalHeight), Qt::IntersectClip);
    QtSurface surface(&painter);
    Page::Paint(surface, PrintInput(report), false,
                QRect(0, 0, PrintJob::kLogicalWidth, PrintJob::kLogicalHeight));
  }
  painter.restore();
}

namespace {
// Writes one file per report: each under its temporary name first, renamed
// when complete; stops at the first failure or when the progress says so.
Result EachFile(const std::vector<ReportRecord>& reports, const QStringList& paths, const Progress& progress,
                const std::function<QString(const QString& temp, const ReportRecord& report)>& write) {
  Result result;
  for (size_t i = 0; i < reports.size(); ++i) {
    const QString temp = TempPath(paths[int(i)]);
    QFile::remove(temp);
    const QString error = write(temp, reports[i]);
    if (!error.isEmpty()) {
      QFile::remove(temp);
      result.ok = false;
      result.error = error.arg(QDir::toNativeSeparators(paths[int(i)]));
      return result;
    }
    if (!Commit(temp, paths[int(i)], &result.error)) {
      result.ok = false;
      return result;
    }
    ++result.written;
    if (progress && !progress(result.written)) {
      result.canceled = true;
      return result;
    }
  }
  return result;
}
}  // namespace

Result WritePdfs(const std::vector<ReportRecord>& reports, const QStringList& paths, const Progress& progress) {
  return EachFile(reports, paths, progress, [](const QString& temp, const ReportRecord& report) {
    QPdfWriter writer(temp);
    SetUpPdf(writer, Title(report));
    QPainter painter;
    if (!painter.begin(&writer)) return QStringLiteral("Die Datei \u201E%1\u201C kann nicht geschrieben werden.");
    PaintPage(painter, PageSize(writer), report);
    painter.end();
    return QString();
  });
}

Result WriteOnePdf(const std::vector<ReportRecord>& reports, const QString& path, const Progress& progress) {
  Result result;
  const QString temp = TempPath(path);
  bool complete = false;
  {
    QPdfWriter writer(temp);
    SetUpPdf(writer, reports.empty() ? QStringLiteral("Prüfprotokolle") : Title(reports.front()));
    QPainter painter;
    if (!painter.begin(&writer)) {
      result.ok = false;
      result.error =
          QStringLiteral("Die Datei \u201E%1\u201C kann nicht geschrieben werden.").arg(QDir::toNativeSeparators(path));
      QFile::remove(temp);
      return result;
    }
    for (size_t i = 0; i < reports.size(); ++i) {
      if (i > 0) writer.newPage();
      PaintPage(painter, PageSize(writer), reports[i]);
      ++result.written;
      if (progress && !progress(result.written)) {
        result.canceled = true;
        break;
      }
    }
    painter.end();
    complete = !result.canceled;
  }
  if (!complete) {
    QFile::remove(temp);
    return result;
  }
  if (!Commit(temp, path, &result.error)) result.ok = false;
  return result;
}

Result Print(const std::vector<ReportRecord>& reports, QPrinter& printer, const Progress& progress) {
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
    PaintPage(painter, pageSize, reports[i]);
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

Result WriteRecords(const std::vector<ReportRecord>& reports, const QStringList& paths, const Progress& progress) {
  // A new file each: nothing of an older file at that place is kept.
  return EachFile(reports, paths, progress, [](const QString& temp, const ReportRecord& report) {
    const Report::WriteResult written = Report::Write(temp, report);
    if (written.status == Report::WriteResult::Ok) return QString();
    return QStringLiteral("Der Datensatz \u201E%1\u201C konnte nicht gespeichert werden. ") + written.error;
  });
}

}  // namespace Batch
