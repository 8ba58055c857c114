#include "report/storejob.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QProgressDialog>

#include "core/archiveservice.h"

namespace StoreJob {

QString Tally::Text() const {
  if (AllInArchive())
    return duplicates == 0
               ? QStringLiteral("%1 Datensätze gespeichert und im Archiv.").arg(written)
               : QStringLiteral("%1 Datensätze gespeichert: %2 im Archiv, %3 schon im Archiv.").arg(written).arg(stored).arg(duplicates);
  QString text = QStringLiteral("%1 Datensätze gespeichert: %2 im Archiv, %3 schon im Archiv, %4 warten auf das Archiv")
                     .arg(written)
                     .arg(stored)
                     .arg(duplicates)
                     .arg(queued);
  if (queued > 0 && !waitReason.isEmpty()) text += QStringLiteral(" (%1)").arg(waitReason);
  if (refused > 0)
    text += QStringLiteral(", %1 vom Archiv abgewiesen und in der Warteschlange (%2)").arg(refused).arg(refusal);
  if (failed > 0) text += QStringLiteral(", %1 fehlen im Archiv").arg(failed);
  text += QLatin1Char('.');
  if (canceled) text = QStringLiteral("Abgebrochen. ") + text;
  if (total > written)
    text += QStringLiteral(" %1 Datensätze wurden nicht geschrieben; bitte speichern Sie sie erneut.").arg(total - written);
  return text;
}

Tally SaveRecords(ArchiveService& service, QWidget* owner, const QString& caption,
                  const std::vector<ReportRecord>& reports, const QStringList& paths, Batch::Result* written) {
  Tally tally;
  tally.total = int(paths.size());
  // The target files are noted before the first is written: after a crash
  // the next start stores those that were written.
  const QList<qint64> journal = service.BeginBatch(paths, &tally.journalError);
  const ArchiveService::Cancel cancel = ArchiveService::NewCancel();

  QProgressDialog progress(QStringLiteral("Datensätze speichern ..."), QStringLiteral("Abbrechen"), 0,
                           std::max(1, tally.total), owner);
  progress.setWindowTitle(caption);
  progress.setWindowModality(Qt::ApplicationModal);
  progress.setAutoReset(false);
  progress.setAutoClose(false);
  progress.setMinimumDuration(300);
  progress.setValue(0);
  QObject::connect(&progress, &QProgressDialog::canceled, &progress, [&] {
    *cancel = true;
    progress.setLabelText(QStringLiteral("Wird abgebrochen: die laufende Prüfung wird noch zu Ende gespeichert ..."));
  });

  // The files first (quick, on this thread), then each test to the archive's
  // thread, which takes a file only as this batch wrote it.
  *written = Batch::WriteRecords(reports, paths, [&](int done) {
    progress.setValue(done);
    QCoreApplication::processEvents();
    if (progress.wasCanceled()) *cancel = true;
    return !*cancel;
  });
  if (!*cancel) {
    progress.setLabelText(QStringLiteral("Prüfungen ins Archiv übernehmen ..."));
    progress.setValue(0);
  }

  QObject answers;  // the answers' receiver: none arrives after this function
  QEventLoop waiting;
  int answered = 0;
  auto answer = [&](int index, const ArchiveService::Outcome& out) {
    const QString name = QFileInfo(paths[index]).fileName();
    if (!out.absent) ++tally.written;
    switch (out.result) {
      case ArchiveService::Result::Stored: ++tally.stored; break;
      case ArchiveService::Result::Duplicate: ++tally.duplicates; break;
      case ArchiveService::Result::Queued:
        if (out.refused) {
          ++tally.refused;
          if (tally.refusal.isEmpty()) tally.refusal = out.reason;
        } else {
          ++tally.queued;
          if (tally.waitReason.isEmpty()) tally.waitReason = out.reason;
        }
        break;
      case ArchiveService::Result::Failed:
        if (out.absent) break;
        ++tally.failed;
        tally.missing << QStringLiteral("%1: %2").arg(name, out.reason);
        break;
    }
    ++answered;
    progress.setValue(answered);
    if (answered >= tally.total) waiting.quit();
  };
  for (int i = 0; i < tally.total; ++i)
    service.StoreBatchFile(journal.value(i, 0), paths[i], i < int(reports.size()) ? reports[size_t(i)] : ReportRecord(),
                           cancel, &answers, [&answer, i](const ArchiveService::Outcome& out) { answer(i, out); });
  if (answered < tally.total) waiting.exec();
  tally.canceled = written->canceled || *cancel;
  return tally;
}

}  // namespace StoreJob
