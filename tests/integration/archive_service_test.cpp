// The archive service without a window: a test that cannot reach the archive
// waits in the local queue and is sent when the archive is back; a damaged
// queue is moved aside, never emptied. Real SQLite files and the real
// PostgreSQL server scripts/test starts.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>

#include <unistd.h>

#include "core/archive.h"
#include "core/archiveservice.h"
#include "tests/pgtestdb.h"
#include "tests/support/coretestutil.h"

namespace {

QByteArray RecordOf(const QString& inventar) {
  ReportRecord r;
  r.Fields[Layout::kFieldAuftraggeber] = QStringLiteral("Kunde");
  r.Fields[Layout::kFieldIdentnummer] = inventar;
  r.Fields[Layout::kFieldPruefungAm] = QStringLiteral("01.02.2026");
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

}  // namespace
