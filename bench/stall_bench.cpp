// Benchmark of the window while the archive cannot take tests: "Datensätze
// speichern..." of 500 records through the record list, as the user starts it,
// while another program holds the SQLite archive's write lock, while the
// PostgreSQL server ($KELVARA_TEST_PG; left out without it) is frozen with
// SIGSTOP after the program connected, and while the archive file was deleted
// as the program runs. A 1 ms timer measures the gaps of the window's event
// loop; the median of the longest gap of each batch is given (target < 50 ms),
// then how long a cancel takes to answer and that nothing was lost by it.
// The runs per case are the argument (default 3).
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <signal.h>
#include <unistd.h>
#include <vector>

#include "core/archive.h"
#include "core/archiveservice.h"
#include "bench/timing.h"
#include "core/places.h"
#include "device/TMessgeraet.h"
#include "platform/seams.h"
#include "report/TFormular.h"
#include "records/recordlistwindow.h"
#include "tests/pgtestdb.h"

namespace {

// The second program: holds the write lock of a SQLite file until its input closes.
int HoldLock(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
  db.setDatabaseName(QString::fromLocal8Bit(argv[2]));
  if (!db.open() || !QSqlQuery(db).exec(QStringLiteral("BEGIN EXCLUSIVE"))) return 1;
  std::printf("locked\n");
  std::fflush(stdout);
  char c;
  while (::read(0, &c, 1) > 0) {
  }
  return 0;
}

// Every process of the PostgreSQL server behind `url`: its backends and
// helpers as the server lists them, and their parent.
std::vector<pid_t> ServerProcesses(const QString& url) {
  std::vector<pid_t> pids;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("bench-admin"));
    const QUrl u(url);
    db.setHostName(u.host());
    db.setPort(u.port());
    db.setUserName(u.userName());
    db.setDatabaseName(u.path().mid(1));
    if (db.open()) {
      QSqlQuery q(db);
      if (q.exec(QStringLiteral("SELECT pid FROM pg_stat_activity")))
        while (q.next()) pids.push_back(pid_t(q.value(0).toInt()));
    }
    db.close();
  }
  QSqlDatabase::removeDatabase(QStringLiteral("bench-admin"));
  if (!pids.empty()) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pids.front()));
    if (stat.open(QIODevice::ReadOnly)) {
      const QList<QByteArray> fields = stat.readAll().split(' ');
      if (fields.size() > 3) pids.push_back(pid_t(fields[3].toInt()));
    }
  }
  return pids;
}

struct Run {
  double longestStallMs = 0;
  double batchMs = 0;
  double cancelAnswerMs = -1;  // from the cancel to the batch's end
  QString status;
  bool nothingLost = true;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && QByteArray(argv[1]) == "--hold-lock") return HoldLock(argc, argv);
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // The queue and settings of this run only, never the user's.
  QTemporaryDir home;
  setenv("XDG_DATA_HOME", home.path().toLocal8Bit().constData(), 1);
  Places::Set places;
  places.settingsFolder = home.path();
  Places::Install(&places);
  unsetenv("KELVARA_ARCHIVE");
  QApplication app(argc, argv);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  Seams::SetTimerResponder([](unsigned, int) { return true; });
  Seams::SetMessageBoxResponder([](const MessageBoxRequest&) { return int(Win::IDYES); });
  Seams::SetGenericDialogResponder([](const GenericDialogRequest&) { return int(Win::IDOK); });

  TMessgeraet device(nullptr, 1000, 0);
  device.SetupWindow();
  for (int& a : device.MeasurementAvailable) a = 1;
  device.DeviceType = 2;
  device.RecordCount = 500;
  TFormular form(&device);
  form.SetupWindow();
  form.SetFieldText(0, QStringLiteral("Elektro Müller GmbH"));
  form.SetFieldText(30, QStringLiteral("M. Muster"));
  ArchiveService service;
  form.SetArchive(&service);
  RecordListWindow list(&device, &form, service);
  list.SetupWindow();
  list.show();
  int generation = 0;
  // New values for every batch, so that no test is a duplicate of an earlier one.
  auto refill = [&] {
    ++generation;
    form.SetFieldText(28, QStringLiteral("Lauf %1").arg(generation));
    for (int i = 0; i < 500; ++i) {
      DeviceRecord& r = device.Records[i];
      r.ClassIndex = i % 3;
      for (int e = 0; e < 4; ++e) {
        r.RangeCode[e] = 3 + e;
        r.RawValue[e] = (i * 37 + e * 1009 + generation * 7919) % 20000;
      }
    }
    emit device.RecordsLoaded();
    QApplication::processEvents();
  };
  auto* status = list.findChild<QLabel*>(QString::number(RecordListWindow::StatusId));

  // One batch of 500; `cancelAfterMs` >= 0 presses "Abbrechen" that long after the start.
  auto batch = [&](const QString& folder, int cancelAfterMs) {
    refill();
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    Seams::SetFileDialogResponder([folder](const FileDialogRequest&, QString* path) { return *path = folder, true; });
    Run run;
    QElapsedTimer clock, sinceTick, sinceCancel;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    bool canceled = false;
    QObject::connect(&tick, &QTimer::timeout, [&] {
      run.longestStallMs = std::max(run.longestStallMs, sinceTick.nsecsElapsed() / 1e6);
      sinceTick.restart();
      if (cancelAfterMs >= 0 && !canceled && clock.elapsed() >= cancelAfterMs)
        if (auto* dialog = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget())) {
          canceled = true;
          sinceCancel.start();
          if (auto* button = dialog->findChild<QPushButton*>()) button->click();
        }
    });
    const int pendingBefore = service.Pending();
    clock.start();
    sinceTick.start();
    tick.start();
    list.SaveRecords();
    tick.stop();
    run.batchMs = clock.nsecsElapsed() / 1e6;
    if (canceled) run.cancelAnswerMs = sinceCancel.nsecsElapsed() / 1e6;
    run.status = status->text();
    // Every file written is in the archive or waits in the queue.
    const int files = int(QDir(folder).entryList({QStringLiteral("*.ini")}, QDir::Files).size());
    const QString s = run.status;
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("(\\d+) im Archiv, (\\d+) schon im Archiv, (\\d+) warten")).match(s);
    if (m.hasMatch())
      run.nothingLost = m.captured(1).toInt() + m.captured(2).toInt() + m.captured(3).toInt() == files &&
                        service.Pending() - pendingBefore == m.captured(3).toInt();
    else
      run.nothingLost = s.startsWith(QStringLiteral("%1 Datensätze gespeichert und im Archiv").arg(files));
    return run;
  };

  auto fresh = [&](const QString& location) {
    service.Shutdown();
    QFile::remove(ArchiveService::QueueFile());
    service.SetLocation(location);
  };
  auto report = [&](const char* what, const std::vector<Run>& measured, const Run& canceled) {
    std::vector<double> stalls, times;
    for (const Run& r : measured) stalls.push_back(r.longestStallMs), times.push_back(r.batchMs);
    std::printf("%s: longest stall of the window %.1f ms (median of %d; target < 50), batch %.0f ms\n", what,
                Timing::Median(stalls), int(measured.size()), Timing::Median(times));
    std::printf("  status: %s\n", measured.back().status.toUtf8().constData());
    if (canceled.cancelAnswerMs >= 0)
      std::printf("  cancelled after 500 ms: the batch ended %.0f ms after the cancel, longest stall %.1f ms, %s\n"
                  "  status: %s\n",
                  canceled.cancelAnswerMs, canceled.longestStallMs,
                  canceled.nothingLost ? "every file written is in the archive or in the queue" : "TESTS LOST",
                  canceled.status.toUtf8().constData());
  };

  QTemporaryDir dir;
  const QString folder = dir.filePath(QStringLiteral("daten"));

  // For comparison: the archive free.
  {
    const QString path = dir.filePath(QStringLiteral("frei.sqlite"));
    fresh(path);
    std::vector<Run> measured;
    for (int i = 0; i < runs; ++i) measured.push_back(batch(folder, -1));
    report("SQLite archive free", measured, Run());
  }

  // Another program holds the SQLite archive's write lock.
  {
    const QString path = dir.filePath(QStringLiteral("gesperrt.sqlite"));
    {
      Archive archive;
      archive.Open(path);
    }
    QProcess holder;
    holder.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--hold-lock"), path});
    holder.waitForReadyRead(10000);
    std::vector<Run> measured;
    for (int i = 0; i < runs; ++i) {
      fresh(path);
      measured.push_back(batch(folder, -1));
    }
    fresh(path);
    const Run canceled = batch(folder, 500);
    report("SQLite archive locked by another program", measured, canceled);
    holder.closeWriteChannel();
    holder.waitForFinished(10000);
  }

  // The PostgreSQL server stops answering while connected.
  const QString server = qEnvironmentVariable("KELVARA_TEST_PG");
  if (!server.isEmpty()) {
    const QString url = PgTestDb::Make(server, QStringLiteral("kelvara_stall_%1").arg(::getpid()));
    std::vector<Run> measured;
    Run canceled;
    for (int i = 0; i <= runs; ++i) {
      fresh(url);
      refill();
      // Connected: one test stored before the server freezes.
      ReportRecord probe = list.Model()->Report(0);
      probe.Fields[28] = QStringLiteral("Verbindung %1").arg(i);
      QByteArray bytes;
      Report::Encode(probe, &bytes);
      service.Store(bytes);
      const std::vector<pid_t> pids = ServerProcesses(url);
      for (pid_t pid : pids) ::kill(pid, SIGSTOP);
      // A server that never answers again would hold the batch's current test
      // for as long as the archive's own time limits allow; after 30 s it
      // answers again, so that the benchmark ends.
      QTimer thaw;
      thaw.setSingleShot(true);
      QObject::connect(&thaw, &QTimer::timeout, [&] {
        for (pid_t pid : pids) ::kill(pid, SIGCONT);
      });
      thaw.start(30000);
      if (i < runs)
        measured.push_back(batch(folder, -1));
      else
        canceled = batch(folder, 500);
      if (thaw.isActive()) {
        thaw.stop();
        for (pid_t pid : pids) ::kill(pid, SIGCONT);
      }
    }
    report("PostgreSQL server frozen (SIGSTOP)", measured, canceled);
  } else {
    std::printf("PostgreSQL server frozen: left out (no $KELVARA_TEST_PG; scripts/pg-test-server starts one)\n");
  }

  // The archive file deleted while the program runs.
  {
    std::vector<Run> measured;
    Run canceled;
    for (int i = 0; i <= runs; ++i) {
      const QString path = dir.filePath(QStringLiteral("weg-%1.sqlite").arg(i));
      fresh(path);
      // Opened by the program: one test stored before the file goes.
      QByteArray bytes;
      Report::Encode(list.Model()->Report(0), &bytes);
      service.Store(bytes);
      for (const char* part : {"", "-wal", "-shm"}) QFile::remove(path + QLatin1String(part));
      if (i < runs)
        measured.push_back(batch(folder, -1));
      else
        canceled = batch(folder, 500);
    }
    report("SQLite archive file deleted while open", measured, canceled);
  }
  service.Shutdown();
  return 0;
}
