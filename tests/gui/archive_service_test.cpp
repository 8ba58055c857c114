// The program's archive service: a test that cannot reach the archive waits
// in the local queue and is sent when the archive is back; saving a report
// stores its test, and saving it again stores a correction.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QLabel>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>
#include <QTemporaryDir>

#include "core/archive.h"
#include "core/archiveservice.h"
#include "device/TMessgeraet.h"
#include "platform/seams.h"
#include "report/TFormular.h"
#include "records/archivewindow.h"
#include "core/recordlist.h"
#include "records/recordlistwindow.h"
#include "tests/pgtestdb.h"
#include "tests/testutil.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <random>

namespace {

QByteArray RecordOf(const QString& inventar) {
  ReportRecord r;
  r.Fields[0] = QStringLiteral("Kunde");
  r.Fields[17] = inventar;
  r.Fields[25] = QStringLiteral("01.02.2026");
  QByteArray bytes;
  Report::Encode(r, &bytes);
  return bytes;
}

TEST(ArchiveServiceTest, TestsWaitForTheirOwnArchiveAndAreSentWhenItIsBack) {
  QTemporaryDir dir;
  ArchiveService service;
  // An archive that cannot be reached: a file below a "folder" that is a file.
  QFile blocker(dir.filePath("gesperrt"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  const QString away = dir.filePath("gesperrt/archiv.sqlite");
  service.SetLocation(away);
  const int before = service.Pending();
  EXPECT_EQ(service.Store(RecordOf("W-1")), ArchiveService::Result::Queued);
  EXPECT_EQ(service.Store(RecordOf("W-2")), ArchiveService::Result::Queued);
  EXPECT_EQ(service.Pending(), before + 2);
  // A file is never said to wait for a server.
  EXPECT_TRUE(service.StateText().contains("2 Prüfungen warten auf das Archiv")) << service.StateText().toStdString();

  // Another archive chosen meanwhile gets its own tests only; the two wait for theirs.
  const QString other = dir.filePath("anderes.sqlite");
  service.SetLocation(other);
  EXPECT_EQ(service.Store(RecordOf("W-3")), ArchiveService::Result::Stored);
  EXPECT_EQ(service.Pending(), before + 2);
  EXPECT_TRUE(service.StateText().contains("2 Prüfungen warten auf ein anderes Archiv")) << service.StateText().toStdString();

  // Their archive is back: what waited goes in.
  ASSERT_TRUE(QFile::remove(blocker.fileName()));
  service.SetLocation(away);
  EXPECT_TRUE(service.Flush());
  EXPECT_EQ(service.Pending(), before);
  Archive check, checkOther;
  ASSERT_TRUE(check.Open(away));
  EXPECT_EQ(check.TestCount(), 2);
  ASSERT_TRUE(checkOther.Open(other));
  EXPECT_EQ(checkOther.TestCount(), 1);
}

// The archive file deleted or moved while the program runs: no test is said
// to be in the archive, none lands in an empty archive made at its place, and
// all go in once the file is back.
TEST(ArchiveServiceTest, AnArchiveFileThatWentAwayIsNotMadeAgainAndItsTestsWait) {
  QTemporaryDir dir;
  ArchiveService service;
  const QString path = dir.filePath("archiv.sqlite"), moved = dir.filePath("verschoben.sqlite");
  service.SetLocation(path);
  const int before = service.Pending();
  ASSERT_EQ(service.Store(RecordOf("G-1")), ArchiveService::Result::Stored);
  ASSERT_TRUE(QFile::rename(path, moved));
  EXPECT_EQ(service.Store(RecordOf("G-2")), ArchiveService::Result::Queued);
  // Tried again (as the retry after a while does): still no file made.
  service.SetLocation(path);
  EXPECT_EQ(service.Store(RecordOf("G-3")), ArchiveService::Result::Queued);
  EXPECT_FALSE(QFile::exists(path));
  EXPECT_EQ(service.Pending(), before + 2);
  ASSERT_TRUE(QFile::rename(moved, path));
  service.SetLocation(path);  // as after "Archiv wählen..."; a later retry does the same
  EXPECT_TRUE(service.Flush());
  EXPECT_EQ(service.Pending(), before);
  service.Shutdown();
  Archive check;
  ASSERT_TRUE(check.Open(path));
  EXPECT_EQ(check.TestCount(), 3);
}

TEST(ArchiveServiceTest, ATestTheArchiveRefusesStaysWithItsReasonAndHoldsBackNoOther) {
  QTemporaryDir dir;
  ArchiveService service;
  service.SetLocation(dir.filePath("archiv.sqlite"));
  const int before = service.Pending();
  EXPECT_EQ(service.Store("kein Datensatz"), ArchiveService::Result::Queued);
  EXPECT_EQ(service.Store(RecordOf("R-1")), ArchiveService::Result::Stored);
  EXPECT_FALSE(service.Flush());
  EXPECT_EQ(service.Store(RecordOf("R-2")), ArchiveService::Result::Stored);
  EXPECT_EQ(service.Pending(), before + 1);
  EXPECT_EQ(service.Refused(), 1);
  EXPECT_TRUE(service.StateText().contains("davon 1 abgewiesen: ")) << service.StateText().toStdString();
  // Cleared so the other tests start from an empty queue.
  service.Shutdown();
  ASSERT_TRUE(QFile::remove(ArchiveService::QueueFile()));
}

TEST(ArchiveServiceTest, AnArchiveSetUpWronglyIsSaidToBeSoAndItsTestsGoInOnceItIsRight) {
  const QString server = qEnvironmentVariable("KELVARA_TEST_PG");
  if (server.isEmpty()) GTEST_SKIP() << "no PostgreSQL server: scripts/test starts one ($KELVARA_TEST_PG)";
  const QString right = PgTestDb::Make(server, QStringLiteral("kelvara_service_%1").arg(::getpid()));
  ASSERT_FALSE(right.isEmpty());
  ArchiveService service;
  QUrl wrong(right);
  wrong.setPath(QStringLiteral("/kein_solches_archiv"));
  service.SetLocation(wrong.toString());
  const int before = service.Pending();
  EXPECT_EQ(service.Store(RecordOf("F-1")), ArchiveService::Result::Queued);
  EXPECT_TRUE(service.StateText().startsWith("Archiv falsch eingerichtet")) << service.StateText().toStdString();
  // The database name corrected: the test goes to the same server.
  service.SetLocation(right);
  EXPECT_TRUE(service.Flush());
  EXPECT_EQ(service.Pending(), before);
  EXPECT_EQ(service.StateText(), QStringLiteral("Archiv: PostgreSQL-Server"));
}

TEST(ArchiveServiceTest, AnOldQueueIsKeptAndADamagedOneIsMovedAsideNeverEmptied) {
  QTemporaryDir dir;
  ArchiveService service;
  const QString archivePath = dir.filePath("archiv.sqlite");
  service.SetLocation(archivePath);
  service.Shutdown();
  const QString queue = ArchiveService::QueueFile();
  QFile::remove(queue);
  QDir().mkpath(QFileInfo(queue).absolutePath());
  {
    // A queue of the program before: no archive per test.
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "old-queue");
    db.setDatabaseName(queue);
    ASSERT_TRUE(db.open());
    QSqlQuery q(db);
    ASSERT_TRUE(q.exec("CREATE TABLE pending (id INTEGER PRIMARY KEY AUTOINCREMENT, record BLOB NOT NULL, "
                       "corrects INTEGER NOT NULL DEFAULT 0, queued_at TEXT)"));
    q.prepare("INSERT INTO pending (record) VALUES (?)");
    q.addBindValue(RecordOf("ALT-1"));
    ASSERT_TRUE(q.exec());
    for (int i = 0; i < 200; ++i) q.exec(QStringLiteral("INSERT INTO pending (record) VALUES (zeroblob(900))"));
  }
  QSqlDatabase::removeDatabase("old-queue");
  service.Start();
  service.WaitIdle();
  // Its test went into the archive in use; the 200 blank ones are refused and kept.
  Archive check;
  ASSERT_TRUE(check.Open(archivePath));
  EXPECT_EQ(check.TestCount(), 1);
  EXPECT_EQ(service.Pending(), 200);
  EXPECT_EQ(service.Refused(), 200);
  service.Shutdown();

  QStringList notices;
  QObject::connect(&service, &ArchiveService::Notice, [&](const QString& text) { notices << text; });
  for (const char* damage : {"zeroed", "random"}) {
    QFile file(queue);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QByteArray bytes = file.readAll();
    if (QByteArray(damage) == "zeroed") {
      bytes.replace(4096, 3 * 4096, QByteArray(3 * 4096, '\0'));  // pages 2 to 4
    } else {
      for (int i = 0; i < bytes.size(); i += 7) bytes[i] = char((i * 131) & 0xff);
    }
    ASSERT_TRUE(file.seek(0));
    ASSERT_EQ(file.write(bytes), bytes.size());
    file.close();
    notices.clear();
    service.Start();
    service.WaitIdle();
    ASSERT_TRUE(TestUtil::WaitFor([&] { return !notices.isEmpty(); }, 10000)) << damage;
    EXPECT_TRUE(notices[0].contains("beschädigt")) << notices[0].toStdString();
    const QStringList aside = QDir(QFileInfo(queue).path()).entryList({"warteschlange.sqlite.beschaedigt-*"}, QDir::Files);
    ASSERT_FALSE(aside.isEmpty()) << damage;
    QFile kept(QFileInfo(queue).dir().filePath(aside.filter(QRegularExpression("\\d$")).value(0)));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), bytes) << damage;
    kept.close();
    for (const QString& name : aside) QFile::remove(QFileInfo(queue).dir().filePath(name));
    // A new, empty queue takes tests.
    EXPECT_EQ(service.Pending(), 0);
    service.SetLocation(dir.filePath("gone/\0/archiv.sqlite"));
    EXPECT_EQ(service.Store(RecordOf("NEU-1")), ArchiveService::Result::Queued);
    EXPECT_EQ(service.Pending(), 1);
    service.Shutdown();
    service.SetLocation(archivePath);
    service.Shutdown();
  }
  QObject::disconnect(&service, &ArchiveService::Notice, nullptr, nullptr);
  QFile::remove(queue);
}

TEST(ArchiveServiceTest, SavingAReportStoresItsTestAndSavingAgainACorrection) {
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

TEST(ArchiveServiceTest, ABatchWhileAnotherProgramHoldsTheArchiveWaitsInTheQueueAndTheWindowGoesOn) {
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

TEST(ArchiveServiceTest, ABatchCutShortByKill9IsCompletedAtTheNextStart) {
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
  for (int row = 0; row < window.AppliancesTable()->rowCount(); ++row) {
    const bool overdue = window.Shown()[size_t(row)].NextDue < today;
    EXPECT_EQ(window.AppliancesTable()->item(row, 8)->foreground().color() == QColor(190, 0, 0), overdue) << row;
  }
  window.ShowSearch(QString());
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !window.Busy(); }, 30000));
  EXPECT_EQ(window.Shown().size(), 300u);
  window.AppliancesTable()->selectRow(0);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !window.Busy(); }, 30000));
  EXPECT_EQ(window.HistoryTable()->rowCount(), 1);
  // The history as CSV, as it stands in the window.
  const QString csvPath = dir.filePath("verlauf.csv");
  Seams::SetFileDialogResponder([&](const FileDialogRequest&, QString* path) { return *path = csvPath, true; });
  window.ExportHistoryCsv();
  QFile csv(csvPath);
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  const std::vector<QStringList> rows = RecordList::ParseCsv(csv.readAll());
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], QString::fromUtf8("Prüfung am"));
  EXPECT_EQ(rows[1][0], window.HistoryTable()->item(0, 0)->text());
  window.show();
  TestUtil::Grab(&window, QStringLiteral("archive-window-300"));
}

}  // namespace
