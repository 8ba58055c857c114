#pragma once
// The record list's "Datensätze speichern...": one data record file per
// report, then each test handed to the archive's thread. A progress dialog
// with a cancel button stays up until every file written is in the archive or
// in its queue; the window's events go on meanwhile.
#include <QString>
#include <QStringList>
#include <vector>

#include "render/batch.h"
#include "core/reportrecord.h"

class ArchiveService;
class QWidget;

namespace StoreJob {

// What became of the files and their tests.
struct Tally {
  int total = 0;       // files asked for
  int written = 0;     // files written
  int stored = 0, duplicates = 0, queued = 0, refused = 0, failed = 0;
  bool canceled = false;
  QString waitReason;   // why tests wait for the archive (the first reason)
  QString refusal;      // why the archive refused a test (the first reason)
  QStringList missing;  // "file: why" of tests neither in the archive nor in the queue
  QString journalError; // the batch could not be noted for a restart after a crash

  bool AllInArchive() const { return !canceled && written == total && stored + duplicates == written; }
  // One line for the status bar, saying what happened to each test.
  QString Text() const;
};

// Writes reports[i] to paths[i] and stores each test in `archive`; `written`
// gets the file batch's own result (its error when a file could not be written).
Tally SaveRecords(ArchiveService& archive, QWidget* owner, const QString& caption,
                  const std::vector<ReportRecord>& reports, const QStringList& paths, Batch::Result* written);

}  // namespace StoreJob
