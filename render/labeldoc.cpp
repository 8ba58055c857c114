#include "render/labeldoc.h"

#include <QBuffer>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <cerrno>

#include "core/fileio.h"

namespace LabelDoc {
namespace {

constexpr double kMmPerInch = 25.4;
constexpr int kPdfResolution = 600;

QString Name(const Labels::LabelData& label) {
  return label.InventarNr.isEmpty() ? QStringLiteral("(ohne Inventar-Nr.)") : QStringLiteral("\u201E%1\u201C").arg(label.InventarNr);
}

bool CompletePdf(const QByteArray& pdf) { return pdf.startsWith("%PDF-") && pdf.right(16).contains("%%EOF"); }

}  // namespace

QPageLayout PageLayout(const Labels::Format& format) {
  const QSizeF size(format.pageWidth, format.pageHeight);
  // A4 for the sheets; every label format as a size of its own, never
  // rounded to a paper size that is near it.
  const QPageSize page = format.Sheet() && qFuzzyCompare(size.width(), 210.0) && qFuzzyCompare(size.height(), 297.0)
                             ? QPageSize(QPageSize::A4)
                             : QPageSize(size, QPageSize::Millimeter, format.name, QPageSize::ExactMatch);
  return QPageLayout(page, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
}

QStringList Problems(const Job& job) {
  QStringList problems;
  const std::vector<Labels::Slot> places = Labels::Place(job.format, int(job.labels.size()), job.start);
  for (size_t i = 0; i < job.labels.size(); ++i) {
    const LabelPaint::Layout layout = LabelPaint::Arrange(places[i].rect, job.labels[i], job.options);
    if (!layout.fits) problems << QStringLiteral("%1: %2").arg(Name(job.labels[i]), layout.problem);
  }
  return problems;
}

int PageCount(const Job& job) { return Labels::PageCount(job.format, int(job.labels.size()), job.start); }

Result Draw(QPainter& painter, QPagedPaintDevice& device, const Job& job, const Progress& progress) {
  Result result;
  const std::vector<Labels::Slot> places = Labels::Place(job.format, int(job.labels.size()), job.start);
  QStringList left;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.scale(device.logicalDpiX() / kMmPerInch, device.logicalDpiY() / kMmPerInch);
  int page = 0;
  for (size_t i = 0; i < job.labels.size(); ++i) {
    if (places[i].page != page) {
      if (!device.newPage()) {
        result.ok = false;
        result.error = QStringLiteral("Eine neue Seite konnte nicht begonnen werden.");
        break;
      }
      page = places[i].page;
    }
    const LabelPaint::Layout layout = LabelPaint::Paint(painter, places[i].rect, job.labels[i], job.options);
    if (layout.fits)
      ++result.labels;
    else
      left << QStringLiteral("%1: %2").arg(Name(job.labels[i]), layout.problem);
    if (progress && !progress(int(i + 1))) {
      result.canceled = true;
      break;
    }
  }
  painter.restore();
  result.pages = job.labels.empty() ? 0 : page + 1;
  if (!left.isEmpty()) {
    result.ok = false;
    result.error = QStringLiteral("%1 Etiketten passen nicht in das Format und wurden ausgelassen:\n\n%2")
                       .arg(left.size())
                       .arg(left.mid(0, 10).join(QLatin1Char('\n')) +
                            (left.size() > 10 ? QStringLiteral("\n... und %1 weitere").arg(left.size() - 10) : QString()));
  }
  return result;
}

Result DrawPdf(const Job& job, QByteArray* pdf, const Progress& progress) {
  pdf->clear();
  QBuffer buffer(pdf);
  buffer.open(QIODevice::WriteOnly);
  QPdfWriter writer(&buffer);
  writer.setResolution(kPdfResolution);
  writer.setPageLayout(PageLayout(job.format));
  writer.setTitle(QStringLiteral("Prüfplaketten"));
  writer.setCreator(QStringLiteral("Kelvara"));
  QPainter painter;
  Result result;
  if (!painter.begin(&writer)) {
    result.ok = false;
    result.error = QStringLiteral("Die Etiketten konnten nicht gezeichnet werden.");
    return result;
  }
  result = Draw(painter, writer, job, progress);
  const bool ended = painter.end();
  buffer.close();
  if (!ended || !CompletePdf(*pdf)) {
    result.ok = false;
    result.error = QStringLiteral("Die Etiketten konnten nicht gezeichnet werden.");
  }
  return result;
}

Result WritePdf(const Job& job, const QString& path, const Progress& progress) {
  QByteArray pdf;
  Result result = DrawPdf(job, &pdf, progress);
  if (result.canceled || !CompletePdf(pdf)) {
    if (!result.canceled) result.ok = false;
    result.labels = 0;
    return result;
  }
  QString error;
  if (!FileIO::SaveFileAtomically(path, pdf, &error)) {
    result.ok = false;
    result.saveFailed = true;
    result.labels = 0;
    result.error = QStringLiteral("Die Etiketten wurden nicht geschrieben:\n\n\u201E%1\u201C: %2\n\nEine ältere Datei "
                                  "dieses Namens ist unverändert.")
                       .arg(path, error);
    if (error.contains(FileIO::ErrorText(ENOSPC)))
      result.error += QStringLiteral(" Schaffen Sie Platz auf dem Datenträger oder wählen Sie einen anderen Ordner.");
  }
  return result;
}

QImage RenderPage(const Job& job, int page, double dpi, bool outlines) {
  const double dotsPerMm = dpi / kMmPerInch;
  QImage image(qMax(1, qRound(job.format.pageWidth * dotsPerMm)), qMax(1, qRound(job.format.pageHeight * dotsPerMm)),
               QImage::Format_RGB32);
  image.setDotsPerMeterX(qRound(dotsPerMm * 1000));
  image.setDotsPerMeterY(qRound(dotsPerMm * 1000));
  image.fill(Qt::white);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.scale(dotsPerMm, dotsPerMm);
  const std::vector<Labels::Slot> places = Labels::Place(job.format, int(job.labels.size()), job.start);
  if (outlines && job.format.Sheet()) {
    // Every position of the sheet, the ones taken before shaded.
    QPen pen(QColor(190, 190, 190));
    pen.setWidthF(0.2);
    painter.setPen(pen);
    const int first = page == 0 ? std::clamp(job.start, 1, job.format.PerPage()) - 1 : 0;
    painter.setBrush(Qt::NoBrush);
    for (const Labels::Slot& s : Labels::Place(job.format, job.format.PerPage(), 1)) painter.drawRect(s.rect);
    painter.setBrush(QColor(235, 235, 235));
    const std::vector<Labels::Slot> all = Labels::Place(job.format, first, 1);
    for (const Labels::Slot& s : all) painter.drawRect(s.rect);
  }
  for (size_t i = 0; i < job.labels.size(); ++i)
    if (places[i].page == page) LabelPaint::Paint(painter, places[i].rect, job.labels[i], job.options);
  painter.end();
  return image;
}

}  // namespace LabelDoc
