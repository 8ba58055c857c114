// The archive keeps each appliance's cord and finds its previous test, on a
// real SQLite file and on the PostgreSQL server of scripts/test; an archive
// of the schema before is brought up to date with its tests; the lookups run
// off the caller's thread.
#include <gtest/gtest.h>

#include <QAtomicInteger>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>
#include <cmath>
#include <unistd.h>

#include "core/archive.h"
#include "core/earliertests.h"
#include "core/limitprofiles.h"
#include "tests/pgtestdb.h"
#include "tests/support/coretestutil.h"

namespace {

QAtomicInteger<int> g_databases;

const QString kCustomer = QStringLiteral("Elektro Müller");

ReportRecord Tested(const QString& inventar, const QDate& day, const QString& rpe, int standard = 4) {
  ReportRecord r;
  r.Fields[Layout::kFieldAuftraggeber] = kCustomer;
  r.Fields[Layout::kFieldIdentnummer] = inventar;
  r.Fields[Layout::kFieldPruefungAm] = day.toString(QStringLiteral("dd.MM.yyyy"));
  r.Fields[Layout::kFieldPruefer] = QStringLiteral("Prüfer Schmidt");
  r.VdePruefgrundlage = standard;
  r.VdeKlasse = 1;
  r.MessText = {rpe, QStringLiteral("Overflow"), QStringLiteral("  0.120"), QStringLiteral("  0.300"), "??", "??", "??", "??"};
  r.GrenzText = {QStringLiteral(" 0.30"), QStringLiteral(" 1.00"), QStringLiteral(" 3.50"), QStringLiteral(" 3.50"),
                 "??", "??", "??", "??"};
  for (int row = 0; row < 4; ++row) r.RowActive[row] = 1, r.Ok[row] = true;
  r.Sichtpruefung = r.Funktionspruefung = true;
  return r;
}

class EarlierTest : public ::testing::TestWithParam<Archive::Kind> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    if (GetParam() == Archive::Kind::SQLite) {
      location_ = dir_.filePath(QStringLiteral("archiv.sqlite"));
      return;
    }
    const QString server = qEnvironmentVariable("KELVARA_TEST_PG");
    if (server.isEmpty()) GTEST_SKIP() << "no PostgreSQL server: scripts/test starts one ($KELVARA_TEST_PG)";
    location_ = PgTestDb::Make(server,
                               QStringLiteral("kelvara_e_%1_%2").arg(::getpid()).arg(g_databases.fetchAndAddRelaxed(1)));
    ASSERT_FALSE(location_.isEmpty());
  }
  QTemporaryDir dir_;
  QString location_;
};

TEST_P(EarlierTest, ThePreviousTestIsTheLatestBeforeTheDateAndACorrectionReplacesItsTest) {
  Archive archive;
  ASSERT_TRUE(archive.Open(location_)) << archive.Error().toStdString();
  const QDate first(2025, 3, 12), second(2026, 3, 10);
  qint64 firstId = 0;
  ASSERT_EQ(archive.StoreReport(Tested("INV-1", first, "  0.200"), 0, &firstId), Archive::Stored::New);
  // A mistyped value, corrected the same day.
  ReportRecord corrected = Tested("INV-1", first, "  0.210");
  ASSERT_EQ(archive.StoreReport(corrected, firstId), Archive::Stored::New);
  // Today's standard with the cord and kind of the appliance.
  ReportRecord current = Tested("INV-1", second, "  0.250", Profiles::kEn50699);
  current.Leitungslaenge = QStringLiteral("10");
  current.Leitungsquerschnitt = QStringLiteral("1,5");
  current.Geraeteart = int(Profiles::Kind::Heating);
  ASSERT_EQ(archive.StoreReport(current), Archive::Stored::New);

  Archive::Earlier e = archive.EarlierTest(kCustomer, QStringLiteral("INV-1"), QDate(2026, 6, 1));
  ASSERT_FALSE(archive.Failed()) << archive.Error().toStdString();
  ASSERT_TRUE(e.applianceFound && e.previous.found);
  EXPECT_EQ(e.previous.date, second);
  EXPECT_EQ(e.previous.standard, Profiles::kEn50699);
  EXPECT_EQ(e.previous.measured[0], QStringLiteral("  0.250"));
  EXPECT_TRUE(e.previous.measured[4].isEmpty());  // not part of the test
  EXPECT_DOUBLE_EQ(e.appliance.CordLengthM, 10.0);
  EXPECT_DOUBLE_EQ(e.appliance.CrossSectionMm2, 1.5);
  EXPECT_EQ(e.appliance.Kind, int(Profiles::Kind::Heating));
  // The test of the day itself is not its own previous one; the correction stands for its test.
  e = archive.EarlierTest(kCustomer, QStringLiteral("INV-1"), second);
  ASSERT_TRUE(e.previous.found);
  EXPECT_EQ(e.previous.date, first);
  EXPECT_EQ(e.previous.measured[0], QStringLiteral("  0.210"));
  // Nothing before the first test; an appliance the archive does not know.
  e = archive.EarlierTest(kCustomer, QStringLiteral("INV-1"), first);
  EXPECT_TRUE(e.applianceFound);
  EXPECT_FALSE(e.previous.found);
  e = archive.EarlierTest(kCustomer, QStringLiteral("INV-9"), second);
  EXPECT_FALSE(archive.Failed());
  EXPECT_FALSE(e.applianceFound || e.previous.found);

  // A later test of the tester's era names no cord: the appliance keeps it.
  ASSERT_EQ(archive.StoreReport(Tested("INV-1", QDate(2026, 9, 1), "  0.240")), Archive::Stored::New);
  e = archive.EarlierTest(kCustomer, QStringLiteral("INV-1"), QDate(2027, 1, 1));
  EXPECT_DOUBLE_EQ(e.appliance.CordLengthM, 10.0);
  EXPECT_EQ(e.appliance.Kind, int(Profiles::Kind::Heating));
  EXPECT_EQ(e.previous.date, QDate(2026, 9, 1));
  const std::vector<ArchiveData::Appliance> listed = archive.Appliances(kCustomer);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_DOUBLE_EQ(listed[0].CordLengthM, 10.0);
}

TEST_P(EarlierTest, AnArchiveOfTheSchemaBeforeIsBroughtUpToDateWithItsTests) {
  // An archive as the program of the first schema made it (kelvara-cli
  // archive import of tests/data/archive-v1/records): its file, or its dump.
  const QString fixture = QStringLiteral(KELVARA_SOURCE_DIR "/tests/data/archive-v1");
  if (GetParam() == Archive::Kind::SQLite) {
    ASSERT_TRUE(QFile::copy(fixture + "/archiv-v1.sqlite", location_));
    QFile::setPermissions(location_, QFile::ReadOwner | QFile::WriteOwner);
  } else {
    const QString psql = QStandardPaths::findExecutable(QStringLiteral("psql"));
    ASSERT_FALSE(psql.isEmpty()) << "psql (PostgreSQL's client) is not installed";
    QProcess restore;
    restore.start(psql, {"-q", "-v", "ON_ERROR_STOP=1", "-d", location_, "-f", fixture + "/archiv-v1.pgsql"});
    ASSERT_TRUE(restore.waitForFinished(60000));
    ASSERT_EQ(restore.exitCode(), 0) << restore.readAllStandardError().toStdString();
  }
  const QString customer = QString::fromUtf8("Elektro Müller GmbH");
  Archive archive;
  ASSERT_TRUE(archive.Open(location_)) << archive.Error().toStdString();
  EXPECT_EQ(archive.SchemaVersion(), Archive::kSchemaVersion);
  EXPECT_EQ(archive.TestCount(), 9);
  // Its tests are chained in the order they were stored.
  EXPECT_TRUE(archive.CheckChain().holds);
  Archive::Earlier e = archive.EarlierTest(customer, QStringLiteral("INV-0001"), QDate(2026, 1, 1));
  ASSERT_TRUE(e.previous.found);
  EXPECT_EQ(e.previous.date, QDate(2025, 3, 10));
  EXPECT_TRUE(std::isnan(e.appliance.CordLengthM));
  ReportRecord current = Tested("INV-0001", QDate(2026, 3, 20), "  0.250", Profiles::kEn50678);
  current.Fields[Layout::kFieldAuftraggeber] = customer;
  current.Leitungslaenge = QStringLiteral("2,5");
  ASSERT_EQ(archive.StoreReport(current), Archive::Stored::New) << archive.Error().toStdString();
  EXPECT_DOUBLE_EQ(archive.EarlierTest(customer, QStringLiteral("INV-0001"), QDate(2027, 1, 1)).appliance.CordLengthM, 2.5);
}

INSTANTIATE_TEST_SUITE_P(Databases, EarlierTest, ::testing::Values(Archive::Kind::SQLite, Archive::Kind::PostgreSQL),
                         [](const ::testing::TestParamInfo<Archive::Kind>& info) {
                           return info.param == Archive::Kind::SQLite ? std::string("SQLite") : std::string("PostgreSQL");
                         });

TEST(EarlierTests, AnswersComeOnTheCallersThreadAndAnOvertakenRequestIsDropped) {
  QTemporaryDir dir;
  const QString location = dir.filePath(QStringLiteral("archiv.sqlite"));
  EarlierTests reader;
  // No archive yet: nothing earlier, and no archive is made.
  EarlierTests::Result none;
  bool answered = false;
  reader.Request(location, {{kCustomer, QStringLiteral("INV-1"), QDate(2026, 1, 1)}}, 0,
                 [&](const EarlierTests::Result& r) { none = r, answered = true; });
  ASSERT_TRUE(TestUtil::WaitFor([&] { return answered; }, 10000));
  EXPECT_TRUE(none.failed && none.noArchive);
  EXPECT_FALSE(QFile::exists(location));

  {
    Archive archive;
    ASSERT_TRUE(archive.Open(location));
    ASSERT_EQ(archive.StoreReport(Tested("INV-1", QDate(2025, 3, 12), "  0.200")), Archive::Stored::New);
  }
  QThread* caller = QThread::currentThread();
  QThread* answeredOn = nullptr;
  int delivered = 0;
  EarlierTests::Result last;
  // Two requests of one channel: only the newer one's answer is delivered.
  reader.Request(location, {{kCustomer, QStringLiteral("INV-9"), QDate(2026, 1, 1)}}, 1,
                 [&](const EarlierTests::Result&) { ++delivered; });
  reader.Request(location, {{kCustomer, QStringLiteral("INV-1"), QDate(2026, 1, 1)}}, 1,
                 [&](const EarlierTests::Result& r) {
                   ++delivered;
                   last = r;
                   answeredOn = QThread::currentThread();
                 });
  ASSERT_TRUE(TestUtil::WaitFor([&] { return !reader.Busy(); }, 10000));
  EXPECT_EQ(delivered, 1);
  EXPECT_EQ(answeredOn, caller);
  ASSERT_FALSE(last.failed) << last.error.toStdString();
  ASSERT_EQ(last.answers.size(), 1u);
  EXPECT_EQ(last.answers[0].earlier.previous.date, QDate(2025, 3, 12));
}

}  // namespace
