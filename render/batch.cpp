#include "render/batch.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <functional>
#include <cerrno>
#include <set>

#include "core/fileio.h"
#include "core/layout.h"
#include "render/pdfsplit.h"
#include "render/pagemapping.h"
#include "render/fingerprint.h"
#include "core/recordlist.h"
#include "render/surface.h"

namespace Batch {
namespace {

void SetUpPdf(QPdfWriter& writer, const QString& title) {
  // Archival PDF: fonts embedded, no transparency, an output intent.
  writer.setPdfVersion(QPagedPaintDevice::PdfVersion_A1b);
  writer.setResolution(300);
  writer.setPageSize(QPageSize(QPageSize::A4));
  writer.setPageOrientation(QPageLayout::Portrait);
  writer.setPageMargins(QMarginsF(5, 5, 5, 5), QPageLayout::Millimeter);
  writer.setTitle(title);
  writer.setCreator(QStringLiteral("Kelvara"));
}

QSize PageSize(const QPagedPaintDevice& device) { return QSize(device.width(), device.height()); }

QString HashOf(const std::vector<QString>& hashes, size_t i) { return i < hashes.size() ? hashes[i] : QString(); }

QString DayOf(const ReportRecord& report) { return report.Fields[Layout::kFieldPruefungAm].simplified(); }

}  // namespace

Page::Input PrintInput(const ReportRecord& report) {
  Page::RowTexts texts;
  for (int r = 0; r < kRowCount; ++r) {
    texts.label[r] = RecordList::RowName(r);
    texts.method[r] = RecordList::RowMethod(r);
    texts.unit[r] = RecordList::RowUnit(r);
  }
  Page::Input in = Page::InputFor(report, texts);
  in.printing = true;
  in.originX = Layout::kPrintOriginX;
  in.originY = Layout::kPrintOriginY;
  in.pageHeight = Layout::kPrintPageHeight;
  return in;
}

QString Title(const ReportRecord& report) {
  QString title = QStringLiteral("Prüfprotokoll");
  const QString client = report.Fields[Layout::kFieldAuftraggeber].simplified();
  if (!client.isEmpty()) title += QLatin1Char(' ') + client;
  const QString day = report.Fields[Layout::kFieldPruefungAm].simplified();
  if (!day.isEmpty()) title += QLatin1Char(' ') + day;
  return title;
}

PdfSplit::Info InfoFor(const ReportRecord& report, const QString& hash) {
  PdfSplit::Info info;
  info.title = Title(report);
  info.author = report.Fields[Layout::kFieldPruefer].simplified();
  QStringList subject;
  const QString appliance = report.Fields[Layout::kFieldGeraetArt].simplified();
  const QString inventar = report.Fields[Layout::kFieldIdentnummer].simplified();
  if (!appliance.isEmpty()) subject << appliance;
  if (!inventar.isEmpty()) subject << QStringLiteral("Inventar-Nr. ") + inventar;
  if (!DayOf(report).isEmpty()) subject << QStringLiteral("geprüft am ") + DayOf(report);
  info.subject = subject.join(QStringLiteral(", "));
  QStringList keywords{QStringLiteral("Prüfprotokoll")};
  const QString standard = Page::HeadingLine3(report.VdePruefgrundlage);
  if (standard != QLatin1String("???")) keywords << standard.mid(standard.indexOf(QLatin1String("DIN")));
  keywords << (Report::Passed(report) ? QStringLiteral("bestanden") : QStringLiteral("nicht bestanden"));
  if (!hash.isEmpty()) keywords << Fingerprint::Text(hash);
  info.keywords = keywords.join(QStringLiteral("; "));
  return info;
}

PdfSplit::Info InfoFor(const std::vector<ReportRecord>& reports, const std::vector<QString>& hashes) {
  if (reports.size() == 1) return InfoFor(reports.front(), HashOf(hashes, 0));
  PdfSplit::Info info;
  info.title = QStringLiteral("Prüfprotokolle");
  QStringList testers, days, keywords{QStringLiteral("Prüfprotokoll")};
  for (size_t i = 0; i < reports.size(); ++i) {
    const QString tester = reports[i].Fields[Layout::kFieldPruefer].simplified();
    if (!tester.isEmpty() && !testers.contains(tester)) testers << tester;
    if (!DayOf(reports[i]).isEmpty() && !days.contains(DayOf(reports[i]))) days << DayOf(reports[i]);
    if (!HashOf(hashes, i).isEmpty()) keywords << Fingerprint::Text(HashOf(hashes, i));
  }
  info.author = testers.join(QStringLiteral(", "));
  info.subject = QStringLiteral("%1 Prüfprotokolle").arg(reports.size());
  if (!days.isEmpty())
    info.subject += days.size() == 1 ? QStringLiteral(", geprüft am ") + days.front()
                                     : QStringLiteral(", geprüft vom %1 bis %2").arg(days.front(), days.back());
  info.keywords = keywords.join(QStringLiteral("; "));
  return info;
}

void PaintPage(QPainter& painter, const QSize& pageSize, const ReportRecord& report, const QString& hash) {
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
    // The fingerprint in the lower margin, below the logical page where the
    // paper goes on.
    painter.setClipping(false);
    Fingerprint::Paint(painter, hash, pageSize.height() / m.scale);
  }
  painter.restore();
}

void RemoveLeftovers(const QString& folder) { FileIO::RemoveStaleTempFiles(folder); }

namespace {

// Reports drawn as one document each time: the fonts are embedded once per
// chunk, and a cancel or a kill loses at most one chunk.
constexpr int kChunk = 64;

bool CompletePdf(const QByteArray& pdf) { return pdf.startsWith("%PDF-") && pdf.right(16).contains("%%EOF"); }

enum class Drawn { Ok, Failed, Canceled };

// Draws reports[first, first + count) as the pages of one PDF in memory;
// afterPage(i) is asked after each page and false cancels: the document then
// ends complete with the pages drawn so far (*drawn of them).
Drawn DrawPdf(const std::vector<ReportRecord>& reports, const std::vector<QString>& hashes, size_t first, size_t count,
              const QString& title, QByteArray* pdf, const std::function<bool(size_t)>& afterPage,
              size_t* drawn = nullptr) {
  pdf->clear();
  QBuffer buffer(pdf);
  buffer.open(QIODevice::WriteOnly);
  QPdfWriter writer(&buffer);
  SetUpPdf(writer, title);
  QPainter painter;
  if (!painter.begin(&writer)) return Drawn::Failed;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0 && !writer.newPage()) {
      painter.end();
      return Drawn::Failed;
    }
    PaintPage(painter, PageSize(writer), reports[first + i], HashOf(hashes, first + i));
    if (drawn) *drawn = i + 1;
    if (afterPage && !afterPage(i)) {
      if (!painter.end()) return Drawn::Failed;
      buffer.close();
      return CompletePdf(*pdf) ? Drawn::Canceled : Drawn::Failed;
    }
  }
  if (!painter.end()) return Drawn::Failed;
  buffer.close();
  return CompletePdf(*pdf) ? Drawn::Ok : Drawn::Failed;
}

void RemoveLeftoversBeside(const QStringList& paths) {
  std::set<QString> folders;
  for (const QString& path : paths) folders.insert(QFileInfo(path).absolutePath());
  for (const QString& folder : folders) RemoveLeftovers(folder);
}

QString Line(const QString& path, const QString& why) {
  return QStringLiteral("\u201E%1\u201C: %2").arg(QFileInfo(path).fileName(), why);
}

// The message of a job that left files unwritten: how many, which and why
// (the first ten), and that nothing older was touched.
QString NotWrittenText(const QStringList& lines, int total, bool records) {
  QString text;
  if (total == 1)
    text = records ? QStringLiteral("Der Datensatz wurde nicht gespeichert:") : QStringLiteral("Der Bericht wurde nicht geschrieben:");
  else
    text = (records ? QStringLiteral("%1 von %2 Datensätzen wurden nicht gespeichert:")
                    : QStringLiteral("%1 von %2 Berichten wurden nicht geschrieben:"))
               .arg(lines.size())
               .arg(total);
  text += QStringLiteral("\n\n") + lines.mid(0, 10).join(QLatin1Char('\n'));
  if (lines.size() > 10) text += QStringLiteral("\n... und %1 weitere").arg(lines.size() - 10);
  text += total == 1 ? QStringLiteral("\n\nEine ältere Datei dieses Namens ist unverändert.")
                     : QStringLiteral("\n\nÄltere Dateien dieser Namen sind unverändert; die anderen Dateien sind "
                                      "vollständig geschrieben.");
  if (lines.join(QString()).contains(FileIO::ErrorText(ENOSPC)))
    text += QStringLiteral(" Schaffen Sie Platz auf dem Datenträger oder wählen Sie einen anderen Ordner.");
  return text;
}

// Collects what a job wrote and what it could not.
struct Tally {
  Result result;
  std::vector<std::pair<size_t, QString>> failed;

  void Failed(size_t index, const QString& path, const QString& why) { failed.emplace_back(index, Line(path, why)); }
  Result Finish(int total, bool records) {
    std::sort(failed.begin(), failed.end());
    for (const auto& f : failed) result.notWritten << f.second;
    std::sort(result.done.begin(), result.done.end());
    result.written = int(result.done.size());
    result.ok = result.notWritten.isEmpty();
    if (!result.ok) result.error = NotWrittenText(result.notWritten, total, records);
    return result;
  }
};

// Saves files[i] at paths[first + i] as one group: written, made durable
// together, then each renamed into place.
void SaveChunk(const std::vector<QByteArray>& files, const QStringList& paths, size_t first, Tally* tally) {
  FileIO::SaveGroup group;
  std::vector<size_t> added;
  for (size_t i = 0; i < files.size(); ++i) {
    QString error;
    if (group.Add(paths[int(first + i)], files[i], &error))
      added.push_back(first + i);
    else
      tally->Failed(first + i, paths[int(first + i)], error);
  }
  const QStringList results = group.Commit();
  for (size_t k = 0; k < added.size(); ++k) {
    if (results[int(k)].isEmpty())
      tally->result.done.push_back(int(added[k]));
    else
      tally->Failed(added[k], paths[int(added[k])], results[int(k)]);
  }
}

}  // namespace

Result WritePdfs(const std::vector<ReportRecord>& reports, const QStringList& paths, const Progress& progress,
                 const std::vector<QString>& hashes) {
  RemoveLeftoversBeside(paths);
  Tally tally;
  for (size_t first = 0; first < reports.size(); first += kChunk) {
    size_t count = std::min<size_t>(kChunk, reports.size() - first), pages = 0;
    QByteArray pdf;
    const Drawn drawn = DrawPdf(
        reports, hashes, first, count, QStringLiteral("Prüfprotokolle"), &pdf,
        [&](size_t i) { return !progress || progress(int(first + i + 1)); }, &pages);
    // Cancelled: the reports drawn until then are still written.
    if (drawn == Drawn::Canceled) {
      tally.result.canceled = true;
      count = pages;
    }
    std::vector<PdfSplit::Info> infos;
    for (size_t i = 0; i < count; ++i) infos.push_back(InfoFor(reports[first + i], HashOf(hashes, first + i)));
    std::vector<QByteArray> files;
    if (drawn != Drawn::Failed) files = PdfSplit::Split(pdf, infos);
    if (files.size() != count) {
      // Not splittable: each report drawn on its own.
      files.clear();
      for (size_t i = 0; i < count; ++i) {
        QByteArray one;
        if (DrawPdf(reports, hashes, first + i, 1, infos[i].title, &one, nullptr) != Drawn::Ok) one.clear();
        const QByteArray rewritten = PdfSplit::Rewrite(one, infos[i]);
        if (CompletePdf(rewritten)) one = rewritten;
        files.push_back(one);
      }
    }
    for (size_t i = 0; i < count; ++i) {
      if (CompletePdf(files[i])) continue;
      tally.Failed(first + i, paths[int(first + i)], QStringLiteral("Die Seite konnte nicht gezeichnet werden."));
    }
    // Only complete files are saved; the others were named above.
    size_t i = 0;
    while (i < count) {
      size_t j = i;
      while (j < count && CompletePdf(files[j])) ++j;
      if (j > i) SaveChunk(std::vector<QByteArray>(files.begin() + long(i), files.begin() + long(j)), paths, first + i, &tally);
      i = j + 1;
    }
    if (tally.result.canceled) break;
  }
  return tally.Finish(int(reports.size()), false);
}

Result WriteOnePdf(const std::vector<ReportRecord>& reports, const QString& path, const Progress& progress,
                   const std::vector<QString>& hashes) {
  RemoveLeftoversBeside({path});
  Result result;
  QByteArray pdf;
  const PdfSplit::Info info = InfoFor(reports, hashes);
  const Drawn drawn = DrawPdf(reports, hashes, 0, reports.size(), info.title, &pdf,
                              [&](size_t i) { return !progress || progress(int(i + 1)); });
  if (drawn == Drawn::Canceled) {
    result.canceled = true;
    return result;
  }
  // The document's own information and metadata; as the writer made it
  // should it not be of the form the rewriting reads.
  if (drawn == Drawn::Ok) {
    const QByteArray rewritten = PdfSplit::Rewrite(pdf, info);
    if (CompletePdf(rewritten)) pdf = rewritten;
  }
  QString error = QStringLiteral("Die Seiten konnten nicht gezeichnet werden.");
  if (drawn == Drawn::Ok && FileIO::SaveFileAtomically(path, pdf, &error)) {
    result.written = int(reports.size());
    for (size_t i = 0; i < reports.size(); ++i) result.done.push_back(int(i));
    return result;
  }
  result.ok = false;
  result.notWritten << Line(path, error);
  result.error = NotWrittenText(result.notWritten, 1, false);
  return result;
}

Result WriteRecords(const std::vector<ReportRecord>& reports, const QStringList& paths, const Progress& progress) {
  RemoveLeftoversBeside(paths);
  Tally tally;
  // A new file each: nothing of an older file at that place is kept.
  for (size_t first = 0; first < reports.size() && !tally.result.canceled; first += kChunk) {
    const size_t count = std::min<size_t>(kChunk, reports.size() - first);
    std::vector<QByteArray> files;
    size_t from = first;
    auto save = [&](size_t end) {
      if (!files.empty()) SaveChunk(files, paths, from, &tally);
      files.clear();
      from = end + 1;
    };
    for (size_t i = first; i < first + count; ++i) {
      QByteArray bytes;
      const Report::WriteResult encoded = Report::Encode(reports[i], &bytes);
      if (encoded.status == Report::WriteResult::Ok) {
        files.push_back(bytes);
      } else {
        save(i);
        tally.Failed(i, paths[int(i)],
                     encoded.status == Report::WriteResult::FieldNotStorable
                         ? QStringLiteral("Das Feld \u201E%1\u201C enthält ein Zeichen, das ein Datensatz nicht speichern kann.")
                               .arg(Layout::FieldLabel(encoded.field))
                         : QStringLiteral("Ein Mess- oder Grenzwert enthält ein Zeichen, das ein Datensatz nicht speichern kann."));
      }
      if (progress && !progress(int(i + 1))) {
        tally.result.canceled = true;  // what is done until then is still written
        break;
      }
    }
    save(first + count);
  }
  return tally.Finish(int(reports.size()), true);
}

}  // namespace Batch
