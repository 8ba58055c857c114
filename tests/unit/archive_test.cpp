// The test archive on a real SQLite file and on a real PostgreSQL server
// (started by scripts/test; its URL is in $KELVARA_TEST_PG).
#include <gtest/gtest.h>

#include <QAtomicInteger>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>
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

INSTANTIATE_TEST_SUITE_P(Databases, ArchiveTest, ::testing::Values(Archive::Kind::SQLite, Archive::Kind::PostgreSQL),
                         [](const ::testing::TestParamInfo<Archive::Kind>& info) {
                           return info.param == Archive::Kind::SQLite ? std::string("SQLite") : std::string("PostgreSQL");
                         });

}  // namespace
