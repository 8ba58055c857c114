// The archive's proof chain on a real SQLite file and the real PostgreSQL
// server scripts/test starts: rows changed behind the program's back (with
// sqlite3 and psql, as someone with the file or the server would), writers at
// once, an archive of the older schema chained, finding a test by its
// fingerprint, and a backup made while a batch is stored.
#include <gtest/gtest.h>

#include <QAtomicInteger>
#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <thread>
#include <unistd.h>

#include "core/archive.h"
#include "core/chain.h"
#include "core/reportrecord.h"
#include "tests/pgtestdb.h"
#include "tests/schemasteps.h"

namespace {

QAtomicInteger<int> g_databases;

ReportRecord Tested(const QString& inventar, int day, bool passed = true) {
  ReportRecord r;
  r.Fields[0] = QStringLiteral("Elektro Müller");
  r.Fields[13] = QStringLiteral("Bohrmaschine");
  r.Fields[17] = inventar;
  r.Fields[18] = QStringLiteral("12");
  r.Fields[25] = QDate(2026, 1, 5).addDays(day).toString(QStringLiteral("dd.MM.yyyy"));
  r.Fields[28] = QStringLiteral("Zeile eins\nZeile zwei");
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

QByteArray FileOf(const ReportRecord& report) {
  QByteArray bytes;
  Report::Encode(report, &bytes);
  return bytes;
}

class ProofTest : public ::testing::TestWithParam<Archive::Kind> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    if (GetParam() == Archive::Kind::PostgreSQL && qEnvironmentVariable("KELVARA_TEST_PG").isEmpty())
      GTEST_SKIP() << "no PostgreSQL server: scripts/test starts one ($KELVARA_TEST_PG)";
  }
  // A new, empty archive.
  QString NewLocation() {
    if (GetParam() == Archive::Kind::SQLite)
      return dir_.filePath(QStringLiteral("archiv-%1.sqlite").arg(g_databases.fetchAndAddRelaxed(1)));
    const QString url = PgTestDb::Make(qEnvironmentVariable("KELVARA_TEST_PG"),
                                       QStringLiteral("proof_%1_%2").arg(::getpid()).arg(g_databases.fetchAndAddRelaxed(1)));
    EXPECT_FALSE(url.isEmpty());
    return url;
  }
  // SQL run behind the program's back, by the database's own command-line tool.
  void Behind(const QString& location, const QString& sql) {
    QProcess p;
    if (GetParam() == Archive::Kind::SQLite)
      p.start(QStringLiteral("sqlite3"), {location, sql});
    else
      p.start(QStringLiteral("psql"), {QStringLiteral("-v"), QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-q"),
                                       location, QStringLiteral("-c"), sql});
    ASSERT_TRUE(p.waitForFinished(30000));
    ASSERT_EQ(p.exitCode(), 0) << sql.toStdString() << ": " << p.readAllStandardError().toStdString();
  }
  QTemporaryDir dir_;
};

TEST_P(ProofTest, EveryChangeBehindTheProgramsBackIsFoundAndTheFirstTestNamed) {
  struct Case {
    const char* what;
    int test;  // the test (1..4) verify must name; 0: a break that is no test
    const char* sql;
  };
  // %1 is the id of test 2, %2 of test 3, %3 of test 4.
  const Case cases[] = {
      {"a verdict turned", 3, "UPDATE tests SET passed = 0 WHERE id = %2"},
      {"a measured value", 2, "UPDATE test_rows SET measured = '  0.01' WHERE test_id = %1 AND row_index = 1"},
      {"a row removed", 3, "DELETE FROM test_rows WHERE test_id = %2 AND row_index = 3"},
      {"the tester's name", 2, "UPDATE tests SET tester = 'Prüfer Meier' WHERE id = %1"},
      {"a date moved", 4, "UPDATE tests SET test_date = '2026-01-01' WHERE id = %3"},
      {"a number made a fraction", 2, "UPDATE tests SET klasse = 1.5 WHERE id = %1"},
      {"a test taken out", 4,
       "DELETE FROM test_rows WHERE test_id = %2; DELETE FROM tests WHERE id = %2"},
      {"the last test taken out", 0, "DELETE FROM test_rows WHERE test_id = %3; DELETE FROM tests WHERE id = %3"},
      {"the data record file",
       3, "UPDATE tests SET record = CAST(REPLACE(CAST(record AS TEXT), 'Bohrmaschine', 'Bohrmaschinf') AS BLOB) WHERE id = %2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const QString location = NewLocation();
    std::vector<qint64> ids;
    {
      Archive archive;
      ASSERT_TRUE(archive.Open(location)) << archive.Error().toStdString();
      for (int i = 0; i < 4; ++i) {
        qint64 id = 0;
        ASSERT_EQ(archive.StoreReport(Tested(QStringLiteral("INV-%1").arg(i), i), 0, &id), Archive::Stored::New);
        ids.push_back(id);
      }
      const Archive::ChainCheck before = archive.CheckChain();
      ASSERT_TRUE(before.holds) << before.first.toStdString();
      EXPECT_EQ(before.tests, 4);
    }
    QString sql = QString::fromUtf8(c.sql);
    for (int i = 1; i <= 3; ++i) sql.replace(QStringLiteral("%%1").arg(i), QString::number(ids[size_t(i)]));
    if (GetParam() == Archive::Kind::PostgreSQL)
      sql.replace(QLatin1String("CAST(REPLACE(CAST(record AS TEXT), 'Bohrmaschine', 'Bohrmaschinf') AS BLOB)"),
                  QLatin1String("overlay(record placing 'f'::bytea from position('Bohrmaschine'::bytea in record) + 11)"))
          .replace(QLatin1String("klasse = 1.5"), QLatin1String("klasse = 2"));
    Behind(location, sql);
    Archive archive;
    ASSERT_TRUE(archive.Open(location)) << archive.Error().toStdString();
    const Archive::ChainCheck after = archive.CheckChain();
    EXPECT_FALSE(after.holds);
    EXPECT_GE(after.broken, 1);
    EXPECT_EQ(after.firstTestId, c.test ? ids[size_t(c.test - 1)] : 0) << after.first.toStdString();
    if (c.test) EXPECT_TRUE(after.first.contains(QStringLiteral("Nr. %1").arg(ids[size_t(c.test - 1)]))) << after.first.toStdString();
  }
}

TEST_P(ProofTest, TwoWritersAtOnceLeaveAChainThatHolds) {
  const QString location = NewLocation();
  {
    Archive first;
    ASSERT_TRUE(first.Open(location)) << first.Error().toStdString();
  }
  std::atomic<int> stored{0};
  auto writer = [&](int who) {
    Archive archive;
    if (!archive.Open(location)) return;
    for (int i = 0; i < 60; ++i)
      if (archive.StoreReport(Tested(QStringLiteral("W%1-%2").arg(who).arg(i), i % 20)) == Archive::Stored::New) ++stored;
  };
  std::thread a(writer, 1), b(writer, 2);
  a.join();
  b.join();
  EXPECT_EQ(stored.load(), 120);
  Archive archive;
  ASSERT_TRUE(archive.Open(location));
  const Archive::ChainCheck check = archive.CheckChain();
  EXPECT_TRUE(check.holds) << check.first.toStdString();
  EXPECT_EQ(check.tests, 120);
}

TEST_P(ProofTest, AnArchiveOfTheOlderSchemaIsChainedInTheOrderItsTestsWereStored) {
  const QString location = NewLocation();
  QString lastHash;
  {
    Archive archive;
    ASSERT_TRUE(archive.Open(location));
    for (int i = 0; i < 5; ++i) ASSERT_EQ(archive.StoreReport(Tested(QStringLiteral("A-%1").arg(i), 4 - i)), Archive::Stored::New);
  }
  // Back to the schema before the chain, as an older program left it (the
  // steps after it undone too).
  Behind(location, SchemaSteps::UndoMasterData(GetParam() == Archive::Kind::PostgreSQL).join(QStringLiteral("; ")) +
                       QStringLiteral("; DROP INDEX tests_chain; DROP INDEX tests_chain_hash; DROP TABLE chain_head; "
                                      "ALTER TABLE tests DROP COLUMN chain_seq; ALTER TABLE tests DROP COLUMN chain_hash; "
                                      "UPDATE schema_version SET version = %1")
                           .arg(Archive::kChainSchema - 1));
  Archive archive;
  ASSERT_TRUE(archive.Open(location)) << archive.Error().toStdString();
  EXPECT_EQ(archive.SchemaVersion(), Archive::kSchemaVersion);
  const Archive::ChainCheck check = archive.CheckChain();
  EXPECT_TRUE(check.holds) << check.first.toStdString();
  EXPECT_EQ(check.tests, 5);
  // In stored order (by id), whatever their test dates.
  std::vector<std::pair<qint64, qint64>> order;
  for (const ArchiveData::Appliance& a : archive.Appliances())
    for (const ArchiveData::Test& t : archive.History(a.Id)) order.emplace_back(t.Id, t.ChainSeq);
  std::sort(order.begin(), order.end());
  for (size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i].second, qint64(i + 1));
  // Tests stored after the migration follow the chain.
  ASSERT_EQ(archive.StoreReport(Tested(QStringLiteral("A-9"), 9)), Archive::Stored::New);
  EXPECT_TRUE(archive.CheckChain().holds);
}

TEST_P(ProofTest, AFingerprintOrADataRecordFileFindsItsTestAndSaysWhetherItStillMatches) {
  const QString location = NewLocation();
  Archive archive;
  ASSERT_TRUE(archive.Open(location));
  const QByteArray file = FileOf(Tested(QStringLiteral("INV-7"), 3, false));
  ASSERT_EQ(archive.StoreRecord(FileOf(Tested(QStringLiteral("INV-6"), 2))), Archive::Stored::New);
  qint64 id = 0;
  ASSERT_EQ(archive.StoreRecord(file, 0, &id), Archive::Stored::New);
  const QString hash = archive.LastHash();
  ASSERT_EQ(hash.size(), 64);
  // Stored again: a duplicate, with the hash of the test stored before.
  EXPECT_EQ(archive.StoreRecord(file), Archive::Stored::Duplicate);
  EXPECT_EQ(archive.LastHash(), hash);
  EXPECT_EQ(archive.HashOfRecord(file), hash);

  QString digits;
  ASSERT_TRUE(Chain::ParseFingerprint(Chain::Grouped(Chain::Fingerprint(hash)), &digits));
  std::vector<Archive::Found> found = archive.FindByFingerprint(digits);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_TRUE(found[0].matches) << found[0].why.toStdString();
  EXPECT_EQ(found[0].test.Id, id);
  EXPECT_EQ(found[0].inventarNr, "INV-7");
  EXPECT_FALSE(found[0].test.Passed);
  EXPECT_EQ(found[0].test.Record, file);
  EXPECT_TRUE(archive.FindByFingerprint(QStringLiteral("0000000000000000")).empty());
  ASSERT_EQ(archive.FindByRecord(file).size(), 1u);
  EXPECT_TRUE(archive.FindByRecord(file)[0].matches);
  // A file changed by one byte is not in the archive; its test still is.
  QByteArray changed = file;
  changed[changed.indexOf("INV-7") + 4] = '8';
  EXPECT_TRUE(archive.FindByRecord(changed).empty());
  ReportRecord report;
  ASSERT_EQ(Report::ReadBytes(file, &report).status, Report::ReadResult::Ok);
  ASSERT_EQ(archive.FindSameTest(report).size(), 1u);

  // One byte of the stored data record file changed behind the program's back.
  archive.Close();
  Behind(location, GetParam() == Archive::Kind::SQLite
                       ? QStringLiteral("UPDATE tests SET record = CAST(REPLACE(CAST(record AS TEXT), 'INV-7', 'INV-8') AS "
                                        "BLOB) WHERE id = %1")
                             .arg(id)
                       : QStringLiteral("UPDATE tests SET record = overlay(record placing '8'::bytea from "
                                        "position('INV-7'::bytea in record) + 4) WHERE id = %1")
                             .arg(id));
  ASSERT_TRUE(archive.Open(location));
  found = archive.FindByFingerprint(digits);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_FALSE(found[0].matches);
  EXPECT_TRUE(found[0].why.contains(QStringLiteral("verändert"))) << found[0].why.toStdString();
}

TEST_P(ProofTest, ABackupWhileABatchIsStoredRestoresToAChainThatHolds) {
  const QString location = NewLocation();
  {
    Archive archive;
    ASSERT_TRUE(archive.Open(location));
    for (int i = 0; i < 20; ++i) ASSERT_EQ(archive.StoreReport(Tested(QStringLiteral("B-%1").arg(i), i)), Archive::Stored::New);
  }
  // 500 tests stored by another connection while the backup is made.
  std::atomic<int> stored{0};
  std::atomic<bool> started{false};
  std::thread batch([&] {
    Archive archive;
    if (!archive.Open(location)) return;
    for (int i = 0; i < 500; ++i) {
      if (archive.StoreReport(Tested(QStringLiteral("S-%1").arg(i), i % 300)) == Archive::Stored::New) ++stored;
      started = true;
    }
  });
  while (!started) std::this_thread::yield();
  const QString copy = dir_.filePath(QStringLiteral("sicherung-%1").arg(GetParam() == Archive::Kind::SQLite ? "sqlite" : "sql"));
  QString summary;
  {
    Archive archive;
    ASSERT_TRUE(archive.Open(location));
    ASSERT_TRUE(archive.Backup(copy, &summary)) << archive.Error().toStdString();
  }
  const int storedWhenCopied = stored.load();
  batch.join();
  EXPECT_EQ(stored.load(), 500);
  EXPECT_TRUE(summary.contains(QStringLiteral("Prüfkette intakt"))) << summary.toStdString();

  const Archive::Restored restored = Archive::Restore(copy, NewLocation());
  ASSERT_TRUE(restored.ok) << restored.error.toStdString();
  EXPECT_TRUE(restored.chainHolds) << restored.summary.toStdString();
  // The copy holds the tests of one moment: the 20 before, and those of the
  // batch stored until then, each whole.
  const int inCopy = QRegularExpression(QStringLiteral("^(\\d+) Prüfungen")).match(restored.summary).captured(1).toInt();
  EXPECT_GE(inCopy, 20 + 1);
  EXPECT_LE(inCopy, 20 + storedWhenCopied + 1);

  // After the batch, a backup restored holds all 520, and its chain holds.
  QString full;
  {
    Archive archive;
    ASSERT_TRUE(archive.Open(location));
    ASSERT_TRUE(archive.Backup(copy, &full)) << archive.Error().toStdString();
  }
  const QString target = NewLocation();
  const Archive::Restored all = Archive::Restore(copy, target);
  ASSERT_TRUE(all.ok) << all.error.toStdString();
  Archive back;
  ASSERT_TRUE(back.Open(target));
  EXPECT_EQ(back.TestCount(), 520);
  const Archive::ChainCheck check = back.CheckChain();
  EXPECT_TRUE(check.holds) << check.first.toStdString();
  Archive original;
  ASSERT_TRUE(original.Open(location));
  EXPECT_EQ(check.head, original.CheckChain().head);
  // Never over an archive that is there.
  const Archive::Restored again = Archive::Restore(copy, target);
  EXPECT_FALSE(again.ok);
  EXPECT_EQ(again.fault, Archive::Fault::Config);
}

INSTANTIATE_TEST_SUITE_P(Databases, ProofTest, ::testing::Values(Archive::Kind::SQLite, Archive::Kind::PostgreSQL),
                         [](const ::testing::TestParamInfo<Archive::Kind>& info) {
                           return info.param == Archive::Kind::SQLite ? std::string("SQLite") : std::string("PostgreSQL");
                         });

TEST(ChainForm, ValuesCannotBeMistakenForEachOtherAndFingerprintsAreReadAsTyped) {
  Chain::Entry a;
  a.tester = QStringLiteral("A\nremarks=3:xyz");
  Chain::Entry b;
  b.tester = QStringLiteral("A");
  b.remarks = QStringLiteral("xyz");
  EXPECT_NE(Chain::Hash(a, Chain::Genesis()), Chain::Hash(b, Chain::Genesis()));
  EXPECT_NE(Chain::Hash(b, Chain::Genesis()), Chain::Hash(b, QString(64, QLatin1Char('1'))));
  QString digits;
  EXPECT_TRUE(Chain::ParseFingerprint(QStringLiteral(" 3f9a-1C0B 7d2e 4F56 "), &digits));
  EXPECT_EQ(digits, "3f9a1c0b7d2e4f56");
  EXPECT_FALSE(Chain::ParseFingerprint(QStringLiteral("3f9a1c0b7d2e4f5"), &digits));  // 15 digits
  EXPECT_FALSE(Chain::ParseFingerprint(QStringLiteral("3f9a1c0b7d2e4f5g"), &digits));
  EXPECT_EQ(Chain::FingerprintsIn(QStringLiteral("x Prüfnachweis 3F9A 1C0B\n7D2E 4F56 y Pruefnachweis: 0123456789abcdef")),
            (QStringList{QStringLiteral("3f9a1c0b7d2e4f56"), QStringLiteral("0123456789abcdef")}));
}

}  // namespace
