// The windows with the archive: saving a report stores its test, and saving
// it again stores a correction; the record list's batch while another
// program holds the archive, and one cut short by kill -9; the archive window.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QLabel>
#include <QTableView>
#include <QTimer>
#include <QTemporaryDir>

#include "core/archive.h"
#include "core/archiveservice.h"
#include "core/chain.h"
#include "device/TMessgeraet.h"
#include "platform/seams.h"
#include "report/TFormular.h"
#include "records/archivewindow.h"
#include "core/recordlist.h"
#include "records/recordlistwindow.h"
#include "tests/testutil.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <random>

namespace {

TEST(StoringFromTheWindows, SavingAReportStoresItsTestAndSavingAgainACorrection) {
  QTemporaryDir dir;
  const QString archivePath = dir.filePath("archiv.sqlite");
  ArchiveService service;
  service.SetLocation(archivePath);
  Seams::SetMessageBoxResponder([](const MessageBoxRequest&) { return int(Win::IDOK); });
  TFormular form(nullptr);
  form.SetArchive(&service);
  form.SetupWindow();
  form.SetFieldText(0, QStringLiteral("Elektro Müller"));
  form.SetFieldText(17, QStringLiteral("INV-9"));
  form.SetFieldText(25, QStringLiteral("09.12.2026"));
  const QString path = dir.filePath("bericht.ini");
  // The archive answers after the save has returned.
  ASSERT_TRUE(form.SaveRecord(path));
  ASSERT_TRUE(TestUtil::WaitFor([&] { return form.ArchivedTestId > 0; }, 20000));
  const qint64 first = form.ArchivedTestId;
  ASSERT_TRUE(form.SaveRecord(path));  // unchanged: the same test
  service.WaitIdle();
  QCoreApplication::processEvents();
  EXPECT_EQ(form.ArchivedTestId, first);
  form.SetFieldText(28, QStringLiteral("Nachtrag"));
  ASSERT_TRUE(form.SaveRecord(path));
  ASSERT_TRUE(TestUtil::WaitFor([&] { return form.ArchivedTestId != first; }, 20000));

  Archive archive;
  ASSERT_TRUE(archive.Open(archivePath));
  const std::vector<ArchiveData::Appliance> found = archive.Search(QStringLiteral("INV-9"));
  ASSERT_EQ(found.size(), 1u);
  const std::vector<ArchiveData::Test> history = archive.History(found[0].Id);
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(history[1].Corrects, first);
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(history[1].Record, file.readAll());
  EXPECT_EQ(found[0].NextDue, QDate(2027, 12, 9));
}


// A record list of `count` records from a tester, each test different.
struct ListOfRecords {
  ListOfRecords(int count, ArchiveService& archive) : device(nullptr, 1000, 0), form(&device), list(&device, &form, archive) {
    form.SetArchive(&archive);
    device.SetupWindow();
    for (int& a : device.MeasurementAvailable) a = 1;
    device.DeviceType = 2;
    for (int i = 0; i < count; ++i) {
      DeviceRecord& r = device.Records[i];
      r.ClassIndex = i % 3;
      for (int e = 0; e < 4; ++e) {
        r.RangeCode[e] = 3 + e;
        r.RawValue[e] = (i * 37 + e * 1009) % 20000;
      }
    }
    device.RecordCount = count;
    form.SetupWindow();
    form.SetFieldText(0, QStringLiteral("Elektro Müller GmbH"));
    list.SetupWindow();
    emit device.RecordsLoaded();
    QCoreApplication::processEvents();
    for (int row = 0; row < count; ++row)
      list.Model()->setData(list.Model()->index(row, RecordListModel::ColInventar), QStringLiteral("INV-%1").arg(row + 1),
                            Qt::EditRole);
  }
  // "Datensätze speichern..." into `folder`.
  void Save(const QString& folder) {
    Seams::SetFileDialogResponder([folder](const FileDialogRequest&, QString* path) { return *path = folder, true; });
    Seams::SetMessageBoxResponder([](const MessageBoxRequest&) { return int(Win::IDYES); });
    Seams::SetGenericDialogResponder([](const GenericDialogRequest&) { return int(Win::IDOK); });
    list.SaveRecords();
  }
  QString Status() const { return list.findChild<QLabel*>(QString::number(RecordListWindow::StatusId))->text(); }
  TMessgeraet device;
  TFormular form;
  RecordListWindow list;
};

// Runs one of the helpers below in a process of its own.
void StartHelper(QProcess& process, const char* name, const QStringList& env) {
  QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
  for (const QString& pair : env) e.insert(pair.section('=', 0, 0), pair.section('=', 1));
  // The same queue as this process (the test's entry point gives each process data of its own).
  e.insert("KELVARA_HELPER_DATA", qEnvironmentVariable("XDG_DATA_HOME"));
  process.setProcessEnvironment(e);
  process.start(QCoreApplication::applicationFilePath(),
                {"--gtest_also_run_disabled_tests", QStringLiteral("--gtest_filter=ArchiveServiceHelper.DISABLED_%1").arg(name)});
}

}  // namespace

// The helpers: run only as a process of their own by the tests above.
TEST(ArchiveServiceHelper, DISABLED_HoldWriteLock) {
  const QString path = qEnvironmentVariable("KELVARA_HOLD_LOCK");
  if (path.isEmpty()) GTEST_SKIP();
  QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "lock");
  db.setDatabaseName(path);
  ASSERT_TRUE(db.open());
  QSqlQuery q(db);
  ASSERT_TRUE(q.exec("BEGIN EXCLUSIVE"));
  std::printf("gesperrt\n");
  std::fflush(stdout);
  char c;
  while (::read(0, &c, 1) > 0) {
  }
  q.exec("ROLLBACK");
}

TEST(ArchiveServiceHelper, DISABLED_StoreBatch) {
  const QString folder = qEnvironmentVariable("KELVARA_BATCH_FOLDER");
  if (folder.isEmpty()) GTEST_SKIP();
  qputenv("XDG_DATA_HOME", qgetenv("KELVARA_HELPER_DATA"));
  ArchiveService service;
  service.SetLocation(qEnvironmentVariable("KELVARA_BATCH_ARCHIVE"));
  ListOfRecords records(500, service);
  std::printf("beginnt\n");
  std::fflush(stdout);
  records.Save(folder);
}

namespace {

TEST(StoringFromTheWindows, ABatchWhileAnotherProgramHoldsTheArchiveWaitsInTheQueueAndTheWindowGoesOn) {
  QTemporaryDir dir;
  const QString archivePath = dir.filePath("archiv.sqlite");
  {
    Archive archive;
    ASSERT_TRUE(archive.Open(archivePath));
  }
  ArchiveService service;
  service.SetLocation(archivePath);
  const int before = service.Pending();
  QProcess holder;
  StartHelper(holder, "HoldWriteLock", {"KELVARA_HOLD_LOCK=" + archivePath});
  ASSERT_TRUE(TestUtil::WaitFor([&] { return holder.readAllStandardOutput().contains("gesperrt"); }, 30000));

  ListOfRecords records(5, service);
  const QString folder = dir.filePath("daten");
  QDir().mkpath(folder);
  // The window's events go on while the archive waits for the lock: a timer
  // fires once all files are written and the store has not yet returned.
  bool ranWhileWaiting = false, returned = false;
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    if (!returned && QDir(folder).entryList({"*.ini"}, QDir::Files).size() == 5) ranWhileWaiting = true;
  });
  tick.start(5);
  records.Save(folder);
  returned = true;
  EXPECT_TRUE(ranWhileWaiting);
  EXPECT_TRUE(records.Status().startsWith("5 Datensätze gespeichert: 0 im Archiv, 0 schon im Archiv, "
                                          "5 warten auf das Archiv"))
      << records.Status().toStdString();
  EXPECT_EQ(service.Pending(), before + 5);

  // The other program lets go: the five go in, once each.
  holder.closeWriteChannel();
  ASSERT_TRUE(holder.waitForFinished(30000));
  service.SetLocation(archivePath);
  EXPECT_TRUE(service.Flush());
  EXPECT_EQ(service.Pending(), before);
  Archive check;
  ASSERT_TRUE(check.Open(archivePath));
  EXPECT_EQ(check.TestCount(), 5);
}

TEST(StoringFromTheWindows, TheListsReportsOfStoredTestsCarryTheirFingerprints) {
  QTemporaryDir dir;
  const QString archivePath = dir.filePath("archiv.sqlite");
  ArchiveService service;
  service.SetLocation(archivePath);
  ListOfRecords records(4, service);
  const QString folder = dir.filePath("daten");
  QDir().mkpath(folder);
  records.Save(folder);
  ASSERT_TRUE(records.Status().startsWith("4 Datensätze gespeichert und im Archiv")) << records.Status().toStdString();
  // Changed after it was stored: its report is no longer the stored test's.
  records.list.Model()->setData(records.list.Model()->index(3, RecordListModel::ColInventar), QStringLiteral("INV-X"),
                                Qt::EditRole);
  const QString pdfs = dir.filePath("pdf");
  QDir().mkpath(pdfs);
  Seams::SetFileDialogResponder([pdfs](const FileDialogRequest&, QString* path) { return *path = pdfs, true; });
  records.list.ReportsAsPdfFiles();
  Archive archive;
  ASSERT_TRUE(archive.Open(archivePath));
  for (int row = 0; row < 4; ++row) {
    const QString pdf = pdfs + (row < 3 ? QStringLiteral("/INV-%1.pdf").arg(row + 1) : QStringLiteral("/INV-X.pdf"));
    QProcess text;
    text.start("pdftotext", {pdf, "-"});
    ASSERT_TRUE(text.waitForFinished(30000));
    const QStringList printed = Chain::FingerprintsIn(QString::fromUtf8(text.readAllStandardOutput()));
    QByteArray bytes;
    Report::Encode(records.list.Model()->Report(row), &bytes);
    const QString hash = archive.HashOfRecord(bytes);
    EXPECT_EQ(printed, row < 3 ? QStringList{hash.left(16)} : QStringList()) << row;
    EXPECT_EQ(hash.isEmpty(), row == 3);
  }
}

TEST(StoringFromTheWindows, ABatchCutShortByKill9IsCompletedAtTheNextStart) {
  QTemporaryDir dir;
  std::mt19937 rng(20261209);
  for (int round = 0; round < 20; ++round) {
    const QString folder = dir.filePath(QStringLiteral("runde-%1").arg(round));
    const QString archivePath = dir.filePath(QStringLiteral("archiv-%1.sqlite").arg(round));
    QDir().mkpath(folder);
    QProcess batch;
    StartHelper(batch, "StoreBatch", {"KELVARA_BATCH_FOLDER=" + folder, "KELVARA_BATCH_ARCHIVE=" + archivePath});
    ASSERT_TRUE(TestUtil::WaitFor([&] { return batch.readAllStandardOutput().contains("beginnt"); }, 30000));
    // Killed once a random number of files is written, or of tests stored
    // (or the batch is over).
    const int files = int(rng() % 501);
    const bool whileStoring = round % 2 == 1;
    Archive watch;
    TestUtil::WaitFor([&] {
      if (batch.state() == QProcess::NotRunning) return true;
      if (!whileStoring) return QDir(folder).entryList({"*.ini"}, QDir::Files).size() >= files;
      return (watch.IsOpen() || (QFile::exists(archivePath) && watch.Open(archivePath))) && watch.TestCount() >= files;
    }, 60000);
    ::kill(pid_t(batch.processId()), SIGKILL);
    ASSERT_TRUE(batch.waitForFinished(30000));

    // The next start: every file written is in the archive, once.
    ArchiveService service;
    service.SetLocation(archivePath);
    service.Start();
    service.WaitIdle();
    const QStringList written = QDir(folder).entryList({"*.ini"}, QDir::Files);
    Archive check;
    ASSERT_TRUE(check.Open(archivePath)) << round;
    EXPECT_EQ(check.TestCount(), written.size()) << "round " << round << ", killed at " << files;
    for (const QString& name : written) {
      QFile file(QDir(folder).filePath(name));
      ASSERT_TRUE(file.open(QIODevice::ReadOnly));
      EXPECT_EQ(check.StoreRecord(file.readAll()), Archive::Stored::Duplicate) << round << " " << name.toStdString();
    }
  }
}

}  // namespace

namespace {

TEST(ArchiveWindowTest, AFewHundredAppliancesToLookAt) {
  QTemporaryDir dir;
  const QString archivePath = dir.filePath("archiv.sqlite");
  {
    Archive archive;
    ASSERT_TRUE(archive.Open(archivePath));
    for (int i = 0; i < 300; ++i) {
      ReportRecord r;
      r.Fields[0] = QStringLiteral("Kunde %1").arg(i % 9);
      r.Fields[13] = i % 2 ? QStringLiteral("Bohrmaschine") : QStringLiteral("Verlängerungsleitung 25 m");
      r.Fields[14] = QStringLiteral("Hersteller %1").arg(i % 5);
      r.Fields[16] = QStringLiteral("Halle %1").arg(i % 4);
      r.Fields[17] = QStringLiteral("INV-%1").arg(i, 4, 10, QLatin1Char('0'));
      r.Fields[18] = i % 3 ? QStringLiteral("12") : QStringLiteral("6");
      r.Fields[25] = QDate::currentDate().addDays(-(i * 2)).toString(QStringLiteral("dd.MM.yyyy"));
      r.VdeKlasse = 1 + i % 2;
      ASSERT_EQ(archive.StoreReport(r), Archive::Stored::New);
    }
  }
  ArchiveService service;
  service.SetLocation(archivePath);
  ArchiveWindow window(nullptr, service);
  window.SetupWindow();
  window.ShowDue(60);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !window.Busy(); }, 30000));
  EXPECT_GT(window.Shown().size(), 10u);
  // Overdue appliances are red, the others are not.
  const QDate today = QDate::currentDate();
  for (int row = 0; row < int(window.Shown().size()); ++row) {
    const bool overdue = window.Shown()[size_t(row)].NextDue < today;
    const QModelIndex cell = window.ApplianceModel()->index(row, 8);
    EXPECT_EQ(cell.data(Qt::ForegroundRole).value<QColor>() == QColor(190, 0, 0), overdue) << row;
  }
  window.ShowSearch(QString());
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !window.Busy(); }, 30000));
  EXPECT_EQ(window.Shown().size(), 300u);
  const QString listed = window.StatusLabel()->text();
  EXPECT_TRUE(listed.endsWith(QStringLiteral("300 Geräte."))) << listed.toStdString();
  // Rows chosen one after the other faster than their histories are read
  // (arrow keys down the list): the line says again what it said.
  window.AppliancesTable()->selectRow(2);
  window.AppliancesTable()->selectRow(1);
  window.AppliancesTable()->selectRow(0);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !window.Busy(); }, 30000));
  EXPECT_EQ(window.History()->rowCount(), 1);
  EXPECT_EQ(window.StatusLabel()->text().toStdString(), listed.toStdString());
  // The history as CSV, as it stands in the window.
  const QString csvPath = dir.filePath("verlauf.csv");
  Seams::SetFileDialogResponder([&](const FileDialogRequest&, QString* path) { return *path = csvPath, true; });
  window.ExportHistoryCsv();
  QFile csv(csvPath);
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  const std::vector<QStringList> rows = RecordList::ParseCsv(csv.readAll());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], QString::fromUtf8("Prüfung am"));
  EXPECT_EQ(rows[1][0], window.History()->Cells(0)[0]);
  window.show();
  TestUtil::Grab(&window, QStringLiteral("archive-window-300"));
}

}  // namespace
