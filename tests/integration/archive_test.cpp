// The test archive on a real SQLite file and on a real PostgreSQL server
// (started by scripts/test; its URL is in $KELVARA_TEST_PG).
#include <gtest/gtest.h>

#include <QAtomicInteger>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <csignal>
#include <cstring>
#include <sys/mount.h>
#include <thread>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/archive.h"
#include "core/reportrecord.h"
#include "tests/pgtestdb.h"

namespace {

QAtomicInteger<int> g_databases;

// A report of one appliance tested on a day.
ReportRecord Tested(const QString& customer, const QString& inventar, const QDate& day, bool passed = true,
                    const QString& interval = QStringLiteral("12 Monate")) {
  ReportRecord r;
  r.Fields[0] = customer;
  r.Fields[13] = QStringLiteral("Bohrmaschine");
  r.Fields[14] = QStringLiteral("Hersteller X");
  r.Fields[16] = QStringLiteral("Werkstatt");
  r.Fields[17] = inventar;
  r.Fields[18] = interval;
  r.Fields[25] = day.toString(QStringLiteral("dd.MM.yyyy"));
  r.Fields[30] = QStringLiteral("Prüfer Schmidt");
  r.VdePruefgrundlage = 4;
  r.VdeKlasse = 1;
  for (int row = 0; row < 4; ++row) {
    r.MessText[row] = QStringLiteral("  0.1%1").arg(row);
    r.GrenzText[row] = QStringLiteral(" 0.30");
    r.RowActive[row] = 1;
    r.Ok[row] = passed;
  }
  r.Sichtpruefung = r.Funktionspruefung = true;
  return r;
}

// Where each test's archive lives: a new SQLite file, or a new database on
// the PostgreSQL server.
class ArchiveTest : public ::testing::TestWithParam<Archive::Kind> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    if (GetParam() == Archive::Kind::SQLite) {
      location_ = dir_.filePath(QStringLiteral("archiv.sqlite"));
      return;
    }
    const QString server = qEnvironmentVariable("KELVARA_TEST_PG");
    if (server.isEmpty()) GTEST_SKIP() << "no PostgreSQL server: scripts/test starts one ($KELVARA_TEST_PG)";
    location_ = PgTestDb::Make(
        server, QStringLiteral("kelvara_%1_%2").arg(::getpid()).arg(g_databases.fetchAndAddRelaxed(1)));
    ASSERT_FALSE(location_.isEmpty()) << "the PostgreSQL server at $KELVARA_TEST_PG does not answer";
  }
  QTemporaryDir dir_;
  QString location_;
};

TEST_P(ArchiveTest, StoresTestsKeepsTheirFilesAndKnowsWhenEachApplianceIsDue) {
  Archive archive;
  ASSERT_TRUE(archive.Open(location_)) << archive.Error().toStdString();
  EXPECT_EQ(archive.SchemaVersion(), Archive::kSchemaVersion);
  EXPECT_EQ(archive.Type(), GetParam());

  const QDate day(2026, 3, 10);
  qint64 first = 0;
  ASSERT_EQ(archive.StoreReport(Tested("Elektro Müller", "INV-1", day), 0, &first), Archive::Stored::New);
  ASSERT_EQ(archive.StoreReport(Tested("Elektro Müller", "INV-2", day.addDays(1), false, "6")), Archive::Stored::New);
  ASSERT_EQ(archive.StoreReport(Tested("Bäckerei Korn", "INV-1", day, true, "24 Monate")), Archive::Stored::New);
  // The same data record file again is no new test.
  EXPECT_EQ(archive.StoreReport(Tested("Elektro Müller", "INV-1", day)), Archive::Stored::Duplicate);
  // A correction is a new test that names the one it corrects.
  ReportRecord corrected = Tested("Elektro Müller", "INV-1", day);
  corrected.Fields[28] = QStringLiteral("Messwert korrigiert");
  qint64 correction = 0;
  ASSERT_EQ(archive.StoreReport(corrected, first, &correction), Archive::Stored::New);
  EXPECT_EQ(archive.TestCount(), 4);
  EXPECT_EQ(archive.Customers(), (QStringList{QString::fromUtf8("Bäckerei Korn"), QString::fromUtf8("Elektro Müller")}));

  // Due: INV-2 (6 months) on 11.09.2026, INV-1 of Müller (12) on 10.03.2027,
  // Korn's INV-1 (24) on 10.03.2028.
  const std::vector<ArchiveData::Appliance> soon = archive.DueList(30, QDate(2026, 8, 20));
  ASSERT_EQ(soon.size(), 1u);
  EXPECT_EQ(soon[0].InventarNr, "INV-2");
  EXPECT_EQ(soon[0].NextDue, QDate(2026, 9, 11));
  const std::vector<ArchiveData::Appliance> overdue = archive.DueList(0, QDate(2027, 6, 1));
  ASSERT_EQ(overdue.size(), 2u);
  EXPECT_EQ(overdue[0].NextDue, QDate(2026, 9, 11));
  EXPECT_EQ(overdue[1].NextDue, QDate(2027, 3, 10));
  EXPECT_EQ(overdue[1].Bezeichnung, "Bohrmaschine");

  // The history of an appliance, with the file of each test byte for byte.
  const std::vector<ArchiveData::Appliance> found = archive.Search(QStringLiteral("müller"));
  ASSERT_EQ(found.size(), 2u);
  const std::vector<ArchiveData::Test> history = archive.History(found[0].Id);
  ASSERT_EQ(history.size(), 2u);
  EXPECT_EQ(history[1].Corrects, history[0].Id);
  EXPECT_EQ(history[0].Rows[0].Measured, "  0.10");
  EXPECT_TRUE(history[0].Rows[0].Active && history[0].Rows[0].Ok);
  EXPECT_TRUE(history[0].Passed);
  QByteArray original;
  ASSERT_EQ(Report::Encode(Tested("Elektro Müller", "INV-1", day), &original).status, Report::WriteResult::Ok);
  EXPECT_EQ(history[0].Record, original);
  // Search by Inventar-Nr. and by description; nothing matches a wildcard typed as text.
  EXPECT_EQ(archive.Search(QStringLiteral("INV-2")).size(), 1u);
  EXPECT_EQ(archive.Search(QStringLiteral("bohr")).size(), 3u);
  EXPECT_TRUE(archive.Search(QStringLiteral("%")).empty());

  // Opened again (as after a restart), everything is there.
  archive.Close();
  Archive again;
  ASSERT_TRUE(again.Open(location_));
  EXPECT_EQ(again.TestCount(), 4);
  EXPECT_EQ(again.Appliances(QString::fromUtf8("Elektro Müller")).size(), 2u);
}

TEST_P(ArchiveTest, ImportingAFolderGivesBackEveryFileByteForByte) {
  const QString folder = dir_.filePath(QStringLiteral("berichte"));
  QDir().mkpath(folder);
  std::vector<QByteArray> files;
  for (int i = 0; i < 1000; ++i) {
    QByteArray bytes;
    ASSERT_EQ(Report::Encode(Tested("Kunde", QStringLiteral("G-%1").arg(i % 20), QDate(2024, 1, 1).addDays(i)), &bytes)
                  .status,
              Report::WriteResult::Ok);
    QFile f(folder + QStringLiteral("/r%1.ini").arg(i, 4, 10, QLatin1Char('0')));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    files.push_back(bytes);
  }
  QFile copy(folder + QStringLiteral("/kopie.ini"));  // the same file twice
  ASSERT_TRUE(copy.open(QIODevice::WriteOnly));
  copy.write(files[5]);
  copy.close();
  QFile other(folder + QStringLiteral("/desktop.ini"));  // not a data record
  ASSERT_TRUE(other.open(QIODevice::WriteOnly));
  other.write("[.ShellClassInfo]\r\nIconResource=x\r\n");
  other.close();

  Archive archive;
  ASSERT_TRUE(archive.Open(location_)) << archive.Error().toStdString();
  const Archive::ImportResult result = archive.ImportFolder(folder);
  EXPECT_EQ(result.stored, 1000);
  EXPECT_EQ(result.duplicates, 1);
  ASSERT_EQ(result.unreadable.size(), 1);
  EXPECT_TRUE(result.unreadable[0].startsWith("desktop.ini: ")) << result.unreadable[0].toStdString();
  // Importing again adds nothing.
  EXPECT_EQ(archive.ImportFolder(folder).duplicates, 1001);
  EXPECT_EQ(archive.TestCount(), 1000);
  // Every file comes back as it was written.
  std::vector<QByteArray> back;
  for (const ArchiveData::Appliance& a : archive.Appliances())
    for (const ArchiveData::Test& t : archive.History(a.Id)) back.push_back(t.Record);
  ASSERT_EQ(back.size(), files.size());
  std::sort(back.begin(), back.end());
  std::sort(files.begin(), files.end());
  EXPECT_TRUE(back == files);
  // Each of the 20 appliances is due 12 months after its latest test.
  const std::vector<ArchiveData::Appliance> appliances = archive.Appliances(QStringLiteral("Kunde"));
  ASSERT_EQ(appliances.size(), 20u);
  for (const ArchiveData::Appliance& a : appliances) EXPECT_EQ(a.NextDue, a.LastTest.addMonths(12)) << a.InventarNr.toStdString();
}

TEST_P(ArchiveTest, AFolderWithAPipeADeviceAndANameThatIsNotUtf8) {
  // What a shared folder may hold: a pipe (opening it would wait for a
  // writer), a link to /dev/zero (reading it never ends), a record named in
  // Windows' code page ("Küche.ini" with the byte 0xFC) and an ordinary one.
  const QByteArray folder = QFile::encodeName(dir_.filePath(QStringLiteral("freigabe")));
  ASSERT_TRUE(QDir().mkpath(QFile::decodeName(folder)));
  ASSERT_EQ(::mkfifo(folder + "/pipe.ini", 0600), 0);
  ASSERT_EQ(::symlink("/dev/zero", folder + "/null.ini"), 0);
  for (const auto& [name, inventar] : {std::pair<QByteArray, QString>{"K\xfc" "che.ini", "K-1"}, {"flur.ini", "F-1"}}) {
    QByteArray bytes;
    ASSERT_EQ(Report::Encode(Tested("Kunde", inventar, QDate(2024, 5, 1)), &bytes).status, Report::WriteResult::Ok);
    const int fd = ::open(folder + "/" + name, O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, bytes.constData(), size_t(bytes.size())), bytes.size());
    ::close(fd);
  }
  Archive archive;
  ASSERT_TRUE(archive.Open(location_)) << archive.Error().toStdString();
  const Archive::ImportResult result = archive.ImportFolder(QFile::decodeName(folder));
  EXPECT_EQ(result.stored, 2);
  ASSERT_EQ(result.unreadable.size(), 2) << result.unreadable.join('\n').toStdString();
  EXPECT_TRUE(result.unreadable[0].startsWith("null.ini: Der Pfad ist keine gewöhnliche Datei"));
  EXPECT_TRUE(result.unreadable[1].startsWith("pipe.ini: Der Pfad ist keine gewöhnliche Datei"));
  EXPECT_EQ(archive.Appliances(QStringLiteral("Kunde")).size(), 2u);
}

TEST_P(ArchiveTest, TwoWritersAtOnceLoseNothing) {
  {
    Archive first;  // made before the writers start
    ASSERT_TRUE(first.Open(location_)) << first.Error().toStdString();
  }
  std::atomic<int> failures{0};
  auto writer = [&](int who) {
    Archive archive;
    if (!archive.Open(location_)) {
      ++failures;
      return;
    }
    // Both write tests of the same 25 appliances of the same customer.
    for (int i = 0; i < 50; ++i) {
      ReportRecord r = Tested("Gemeinsam", QStringLiteral("A-%1").arg(i % 25), QDate(2026, 1, 1).addDays(i));
      r.Fields[28] = QStringLiteral("Schreiber %1").arg(who);
      if (archive.StoreReport(r) != Archive::Stored::New) ++failures;
    }
  };
  std::thread a(writer, 1), b(writer, 2);
  a.join();
  b.join();
  EXPECT_EQ(failures.load(), 0);
  Archive check;
  ASSERT_TRUE(check.Open(location_));
  EXPECT_EQ(check.TestCount(), 100);
  EXPECT_EQ(check.Appliances(QStringLiteral("Gemeinsam")).size(), 25u);
  EXPECT_EQ(check.Customers().size(), 1);
}

TEST_P(ArchiveTest, StoresWhateverADataRecordFileHolds) {
  Archive archive;
  ASSERT_TRUE(archive.Open(location_)) << archive.Error().toStdString();
  // The project's own seed files: the form loads them although keys are
  // missing ("Pruefer", "Messgeraet", "Bemerkung", the measurement rows).
  for (const char* seed : {"minimal.ini", "odd_values.ini"}) {
    QFile f(QStringLiteral(KELVARA_SOURCE_DIR "/tests/fuzz/corpus/record/") + QLatin1String(seed));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << seed;
    EXPECT_EQ(archive.StoreRecord(f.readAll()), Archive::Stored::New) << seed << ": " << archive.Error().toStdString();
  }
  // A NUL byte in fields: the file is kept byte for byte, the texts shown
  // and searched have it replaced.
  QByteArray withNul = "[TEXT_EDIT_SETTINGS]\r\nVDEPruefgrundlage=4\r\nVDEKlasse=1\r\nNumOfEditFields=31\r\n"
                       "Auftraggeber=Nul GmbH\r\nIdentnummer=N-1\r\nPruefer=Sch";
  withNul += '\0';
  withNul += "midt\r\nBemerkung=a";
  withNul += '\0';
  withNul += "b\r\n";
  qint64 id = 0;
  ASSERT_EQ(archive.StoreRecord(withNul, 0, &id), Archive::Stored::New) << archive.Error().toStdString();
  const std::vector<ArchiveData::Appliance> found = archive.Search(QStringLiteral("Nul GmbH"));
  ASSERT_EQ(found.size(), 1u) << archive.Error().toStdString();
  const std::vector<ArchiveData::Test> history = archive.History(found[0].Id);
  ASSERT_EQ(history.size(), 1u) << archive.Error().toStdString();
  EXPECT_EQ(history[0].Record, withNul);
  EXPECT_FALSE(history[0].Tester.contains(QChar(0)));
  EXPECT_TRUE(history[0].Tester.startsWith(QStringLiteral("Sch"))) << history[0].Tester.toStdString();
  EXPECT_EQ(archive.TestCount(), 3);
  EXPECT_FALSE(archive.Failed());
}

TEST_P(ArchiveTest, AServerOrPlaceThatIsWrongIsToldInGermanAndNotAsAway) {
  Archive archive;
  if (GetParam() == Archive::Kind::SQLite) {
    // Only reading never makes an archive.
    EXPECT_FALSE(archive.Open(location_, Archive::OpenMode::ExistingOnly));
    EXPECT_EQ(archive.LastFault(), Archive::Fault::Gone);
    EXPECT_TRUE(archive.Error().contains(location_)) << archive.Error().toStdString();
    EXPECT_FALSE(QFile::exists(location_));
    // A folder that cannot be there (a share not mounted): away, tried again later.
    EXPECT_FALSE(archive.Open(QStringLiteral("/proc/kelvara/archiv.sqlite")));
    EXPECT_EQ(archive.LastFault(), Archive::Fault::Unreachable);
    EXPECT_TRUE(Archive::Passing(archive.LastFault()));
    return;
  }
  QUrl unknownDb(location_);
  unknownDb.setPath(QStringLiteral("/keine_solche_datenbank"));
  QUrl unknownUser(location_);
  unknownUser.setUserName(QStringLiteral("niemand"));
  QUrl nobody(location_);
  nobody.setPort(1);
  for (const QUrl& wrong : {unknownDb, unknownUser}) {
    EXPECT_FALSE(archive.Open(wrong.toString()));
    EXPECT_EQ(archive.LastFault(), Archive::Fault::Config) << archive.Error().toStdString();
    EXPECT_FALSE(Archive::Passing(archive.LastFault()));
    EXPECT_TRUE(archive.Error().startsWith(QStringLiteral("Anmeldung am Archiv-Server abgelehnt"))) << archive.Error().toStdString();
  }
  EXPECT_FALSE(archive.Open(nobody.toString()));
  EXPECT_EQ(archive.LastFault(), Archive::Fault::Unreachable) << archive.Error().toStdString();
  EXPECT_TRUE(archive.Error().contains(QStringLiteral("antwortet nicht"))) << archive.Error().toStdString();
  // A malformed address is the input's fault, before any connection.
  QString why;
  EXPECT_FALSE(Archive::CheckLocation(QStringLiteral("postgresql://:99999"), &why));
  EXPECT_TRUE(why.contains(QStringLiteral("ungültig"))) << why.toStdString();
  EXPECT_FALSE(archive.Open(QStringLiteral("postgresql://:99999")));
  EXPECT_EQ(archive.LastFault(), Archive::Fault::Config);
  // The empty database of a server is no archive for those who only read.
  EXPECT_FALSE(archive.Open(location_, Archive::OpenMode::ExistingOnly));
  EXPECT_EQ(archive.LastFault(), Archive::Fault::Config);
}

INSTANTIATE_TEST_SUITE_P(Databases, ArchiveTest, ::testing::Values(Archive::Kind::SQLite, Archive::Kind::PostgreSQL),
                         [](const ::testing::TestParamInfo<Archive::Kind>& info) {
                           return info.param == Archive::Kind::SQLite ? std::string("SQLite") : std::string("PostgreSQL");
                         });

// ---- faults from outside, on real files and a real server

QByteArray RecordFile(int i) {
  QByteArray bytes;
  ReportRecord r = Tested(QStringLiteral("Kunde %1").arg(i % 7), QStringLiteral("G-%1").arg(i), QDate(2025, 1, 1).addDays(i % 300));
  Report::Encode(r, &bytes);
  return bytes;
}

// Runs a command as root, or skips the test with a reason.
#define REQUIRE_ROOT() \
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root"

struct Mount {
  QTemporaryDir point;
  QByteArray where = QFile::encodeName(point.path());
  bool Make(const char* options) { return ::mount("tmpfs", where.constData(), "tmpfs", 0, options) == 0; }
  bool ReadOnly() { return ::mount("tmpfs", where.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0; }
  ~Mount() { ::umount2(where.constData(), MNT_DETACH); }
};

TEST(ArchiveFaults, ADamagedFileIsAnErrorNeverAnEmptyOrCompleteArchive) {
  QTemporaryDir dir;
  const QString good = dir.filePath(QStringLiteral("gut.sqlite"));
  {
    Archive archive;
    ASSERT_TRUE(archive.Open(good));
    for (int i = 0; i < 300; ++i) ASSERT_EQ(archive.StoreRecord(RecordFile(i)), Archive::Stored::New);
  }
  QFile goodFile(good);
  ASSERT_TRUE(goodFile.open(QIODevice::ReadOnly));
  const QByteArray bytes = goodFile.readAll();
  ASSERT_GT(bytes.size(), 40 * 4096);
  const int pages = int(bytes.size() / 4096);
  QRandomGenerator random(20);
  struct Damage {
    const char* what;
    QByteArray bytes;
  };
  std::vector<Damage> damages;
  QByteArray zeroed = bytes;  // pages zeroed in the middle
  for (int p = pages / 3; p < pages / 3 + 4; ++p) std::memset(zeroed.data() + p * 4096, 0, 4096);
  damages.push_back({"pages zeroed", zeroed});
  QByteArray scribbled = bytes;  // random bytes inside
  for (int k = 0; k < 200; ++k) scribbled[int(random.bounded(4096u, quint32(bytes.size())))] = char(random.bounded(256u));
  damages.push_back({"random bytes", scribbled});
  QByteArray head = bytes;  // the first page gone
  std::memset(head.data(), 0, 4096);
  damages.push_back({"first page zeroed", head});
  for (const Damage& d : damages) {
    const QString path = dir.filePath(QString::fromLatin1(d.what) + QStringLiteral(".sqlite"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(d.bytes);
    f.close();
    Archive archive;
    bool opened = archive.Open(path, Archive::OpenMode::ExistingOnly);
    if (opened) {
      // Damage the quick check cannot see (inside a stored file) shows when it is read.
      int read = 0;
      for (const ArchiveData::Appliance& a : archive.Appliances()) {
        if (archive.History(a.Id).empty()) break;
        ++read;
      }
      opened = !archive.Failed();
      EXPECT_LT(read, 300) << d.what;
    }
    EXPECT_FALSE(opened) << d.what;
    EXPECT_EQ(archive.LastFault(), Archive::Fault::Damaged) << d.what << ": " << archive.Error().toStdString();
    EXPECT_TRUE(archive.Error().contains(QStringLiteral("Sicherungskopie"))) << archive.Error().toStdString();
  }
}

TEST(ArchiveFaults, GoneLockedFullAndReadOnlyEachSayWhatTheyAre) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("archiv.sqlite"));
  Archive archive;
  ASSERT_TRUE(archive.Open(path));
  ASSERT_EQ(archive.StoreRecord(RecordFile(1)), Archive::Stored::New);

  // Moved away while open: noticed, and no new archive appears in its place.
  const QString moved = dir.filePath(QStringLiteral("verschoben.sqlite"));
  ASSERT_TRUE(QFile::rename(path, moved));
  EXPECT_EQ(archive.StoreRecord(RecordFile(2)), Archive::Stored::Failed);
  EXPECT_EQ(archive.LastFault(), Archive::Fault::Gone);
  EXPECT_TRUE(archive.Error().startsWith(QStringLiteral("Die Archivdatei %1 ist nicht mehr da").arg(path)))
      << archive.Error().toStdString();
  EXPECT_TRUE(archive.DueList(30).empty());
  EXPECT_TRUE(archive.Failed());
  EXPECT_FALSE(QFile::exists(path));
  ASSERT_TRUE(QFile::rename(moved, path));
  EXPECT_EQ(archive.StoreRecord(RecordFile(2)), Archive::Stored::New) << archive.Error().toStdString();

  // Another program holds the write lock.
  const QString sqlite = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
  if (sqlite.isEmpty()) {
    ADD_FAILURE() << "sqlite3 (a second program to hold the lock) is not installed";
  } else {
    QProcess holder;
    holder.start(sqlite, {path});
    ASSERT_TRUE(holder.waitForStarted());
    holder.write("BEGIN IMMEDIATE; INSERT INTO customers (name) VALUES ('Sperre'); SELECT 'gesperrt';\n");
    ASSERT_TRUE(holder.waitForReadyRead(10000));
    archive.SetWaitLimit(200);
    EXPECT_EQ(archive.StoreRecord(RecordFile(3)), Archive::Stored::Failed);
    EXPECT_EQ(archive.LastFault(), Archive::Fault::Locked);
    EXPECT_TRUE(archive.Error().startsWith(QStringLiteral("Das Archiv wird gerade von einem anderen Programm benutzt")))
        << archive.Error().toStdString();
    holder.closeWriteChannel();
    holder.waitForFinished();
    EXPECT_EQ(archive.StoreRecord(RecordFile(3)), Archive::Stored::New) << archive.Error().toStdString();
  }
  archive.Close();

  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system to fill needs root";
  // A drive that fills up.
  {
    Mount disk;
    ASSERT_TRUE(disk.Make("size=256k")) << std::strerror(errno);
    Archive small;
    ASSERT_TRUE(small.Open(disk.point.filePath(QStringLiteral("archiv.sqlite")))) << small.Error().toStdString();
    int i = 0;
    while (i < 2000 && small.StoreRecord(RecordFile(i)) == Archive::Stored::New) ++i;
    ASSERT_LT(i, 2000);
    EXPECT_EQ(small.LastFault(), Archive::Fault::Full) << small.Error().toStdString();
    EXPECT_TRUE(small.Error().startsWith(QStringLiteral("Kein Platz mehr"))) << small.Error().toStdString();
  }
  // A place that became read-only.
  {
    Mount disk;
    ASSERT_TRUE(disk.Make("size=4m")) << std::strerror(errno);
    const QString there = disk.point.filePath(QStringLiteral("archiv.sqlite"));
    {
      Archive first;
      ASSERT_TRUE(first.Open(there));
      ASSERT_EQ(first.StoreRecord(RecordFile(1)), Archive::Stored::New);
    }
    ASSERT_TRUE(disk.ReadOnly()) << std::strerror(errno);
    Archive readOnly;
    if (readOnly.Open(there)) readOnly.StoreRecord(RecordFile(2));
    EXPECT_EQ(readOnly.LastFault(), Archive::Fault::ReadOnly) << readOnly.Error().toStdString();
    EXPECT_TRUE(readOnly.Error().contains(QStringLiteral("schreibgeschützt"))) << readOnly.Error().toStdString();
  }
}

// A PostgreSQL server of its own (it is frozen), from scripts/pg-test-server.
TEST(ArchiveFaults, AFrozenServerEndsACallWithinTheWaitLimit) {
  const QString script = QStringLiteral(KELVARA_SOURCE_DIR "/scripts/pg-test-server");
  QTemporaryDir dir;
  // The server runs as the user postgres when the tests run as root.
  QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFile::ExeOther | QFile::ReadOther);
  const QString cluster = dir.filePath(QStringLiteral("pg"));
  QProcess start;
  start.start(script, {QStringLiteral("start"), cluster});
  start.waitForFinished(120000);
  const QString server = QString::fromUtf8(start.readAllStandardOutput()).trimmed();
  if (start.exitCode() != 0 || server.isEmpty()) GTEST_SKIP() << "no PostgreSQL here: " << start.readAllStandardError().toStdString();
  struct Stop {
    QString script, cluster;
    std::vector<pid_t> frozen;
    ~Stop() {
      for (pid_t p : frozen) ::kill(p, SIGCONT);
      QProcess::execute(script, {QStringLiteral("stop"), cluster});
    }
  } stop{script, cluster, {}};

  Archive archive;
  ASSERT_TRUE(archive.Open(server)) << archive.Error().toStdString();
  archive.SetWaitLimit(500);
  ASSERT_EQ(archive.StoreRecord(RecordFile(1)), Archive::Stored::New) << archive.Error().toStdString();
  // The server and every process of it stop (SIGSTOP): the kernel still
  // acknowledges what is sent, so only a bound on the wait ends the call.
  QFile pidFile(cluster + QStringLiteral("/data/postmaster.pid"));
  ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly));
  const pid_t postmaster = pid_t(pidFile.readLine().trimmed().toInt());
  ASSERT_GT(postmaster, 0);
  stop.frozen.push_back(postmaster);
  for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
    if (!entry.toInt() || !stat.open(QIODevice::ReadOnly)) continue;
    const QList<QByteArray> fields = stat.readAll().split(')').last().trimmed().split(' ');
    if (fields.size() > 1 && fields[1].toInt() == postmaster) stop.frozen.push_back(pid_t(entry.toInt()));
  }
  for (pid_t p : stop.frozen) ASSERT_EQ(::kill(p, SIGSTOP), 0);
  // Should the bound fail, the server wakes after a minute: a failure, not a hang.
  std::atomic<bool> done{false};
  std::thread failsafe([&] {
    for (int i = 0; i < 600 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (!done) {
      for (pid_t p : stop.frozen) ::kill(p, SIGCONT);
      ADD_FAILURE() << "the call waited on the frozen server for a minute";
    }
  });
  EXPECT_EQ(archive.StoreRecord(RecordFile(2)), Archive::Stored::Failed);
  EXPECT_EQ(archive.LastFault(), Archive::Fault::Unreachable) << archive.Error().toStdString();
  EXPECT_TRUE(archive.Error().contains(QStringLiteral("antwortet seit"))) << archive.Error().toStdString();
  EXPECT_FALSE(archive.IsOpen());
  // Connecting to the frozen server ends too (connect_timeout).
  Archive again;
  EXPECT_FALSE(again.Open(server));
  EXPECT_EQ(again.LastFault(), Archive::Fault::Unreachable) << again.Error().toStdString();
  done = true;
  failsafe.join();
  for (pid_t p : stop.frozen) ::kill(p, SIGCONT);
  stop.frozen.clear();
  ASSERT_TRUE(again.Open(server)) << again.Error().toStdString();
  EXPECT_EQ(again.StoreRecord(RecordFile(2)), Archive::Stored::New) << again.Error().toStdString();
}

}  // namespace
