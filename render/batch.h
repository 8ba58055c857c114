#pragma once
// Reports for many records in one go: one PDF per report, one PDF with a page
// per report, one print job, or one data record file per report. Every page is
// drawn by the same page drawing as the form's print. A file is written under a
// temporary name and renamed when it is complete, so a cancelled or failed job
// leaves no half-written file.
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

#include "render/page.h"
#include "render/pdfsplit.h"
#include "core/reportrecord.h"

class QPainter;
class QPagedPaintDevice;

namespace Batch {

// The page input for a report as it is printed: the row texts the device
// window shows, print mode at the print origin, the report's own verdict.
Page::Input PrintInput(const ReportRecord& report);
// The title of a report's PDF: "Prüfprotokoll <Auftraggeber> <Prüfung am>".
QString Title(const ReportRecord& report);

// Draws one report page onto a printer page of `pageSize` device pixels, with
// the scaling of the form's print; `hash` is the hash of the report's stored
// test (its fingerprint is printed in the lower margin), or empty.
void PaintPage(QPainter& painter, const QSize& pageSize, const ReportRecord& report, const QString& hash = QString());

// What a report's PDF says of itself: its title, the tester as its author,
// the appliance and test date as its subject, and as keywords the standard,
// the verdict and its fingerprint where it has one (kelvara-cli verify finds
// it there). For one PDF of many reports: all their fingerprints.
PdfSplit::Info InfoFor(const ReportRecord& report, const QString& hash);
PdfSplit::Info InfoFor(const std::vector<ReportRecord>& reports, const std::vector<QString>& hashes);

// Called after each report with the number done; false cancels the job.
using Progress = std::function<bool(int done)>;

struct Result {
  bool ok = true;
  bool canceled = false;
  int written = 0;          // files (or pages) completed
  std::vector<int> done;    // the reports whose files are in place, in order
  QStringList notWritten;   // "file: why" of each report whose file could not be written
  QString error;            // German, naming the files it concerns and why; empty when ok
};

// Before a batch writes into a folder: the temporary files a killed run of
// the program left there are removed (its own only, recognised by name).
void RemoveLeftovers(const QString& folder);

// One PDF per report at paths[i]. A file that cannot be written is named
// with its reason in the result, and the others are still written; a file is
// only ever renamed into place complete, so an older file of that name stays
// as it was.
// Every PDF is archival PDF (PDF/A-1b). hashes[i] is the hash of report i's
// stored test, or empty (also when `hashes` is shorter).
Result WritePdfs(const std::vector<ReportRecord>& reports, const QStringList& paths, const Progress& progress,
                 const std::vector<QString>& hashes = {});
// All reports as the pages of one PDF.
Result WriteOnePdf(const std::vector<ReportRecord>& reports, const QString& path, const Progress& progress,
                   const std::vector<QString>& hashes = {});
// One data record file per report at paths[i].
Result WriteRecords(const std::vector<ReportRecord>& reports, const QStringList& paths, const Progress& progress);

}  // namespace Batch
