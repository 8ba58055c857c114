// Benchmark of the test archive: importing 500 data record files, and, with
// 1,000,000 tests of 100,000 appliances stored (each test with its eight
// measurement rows and a data record file of the real size), the due list and
// one appliance's history: the query alone, and the archive window asking for
// it and showing it. On a SQLite file, and on PostgreSQL when $KELVARA_TEST_PG
// names a server (scripts/pg-test-server start DIR prints one; it runs with
// fsync off, so its writes are faster than on a server that syncs). Medians.
// Also the proof chain over those tests: chaining them as the migration
// chains an archive of the older schema, and walking the chain
// (archive verify, the archive window's check).
//   build/archive_bench [appliances]   (default 100000, ten tests each)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QCryptographicHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <unistd.h>
#include <vector>

#include <QTableWidget>

#include "core/archive.h"
#include "core/archiveservice.h"
#include "bench/timing.h"
#include "records/archivewindow.h"
#include "core/reportrecord.h"
#include "tests/pgtestdb.h"

namespace {

QByteArray Record(int i) {
  ReportRecord r;
  r.Fields[0] = QStringLiteral("Kunde %1").arg(i % 7);
  r.Fields[13] = QStringLiteral("Bohrmaschine");
  r.Fields[17] = QStringLiteral("INV-%1").arg(i);
  r.Fields[18] = QStringLiteral("12");
  r.Fields[25] = QDate(2025, 1, 1).addDays(i % 365).toString(QStringLiteral("dd.MM.yyyy"));
  r.VdePruefgrundlage = 4;
  for (int row = 0; row < 4; ++row) {
    r.MessText[row] = QStringLiteral("  0.%1").arg(100 + row);
    r.GrenzText[row] = QStringLiteral(" 0.30");
    r.RowActive[row] = 1;
    r.Ok[row] = true;
  }
  QByteArray bytes;
  Report::Encode(r, &bytes);
  return bytes;
}

// Fills the archive with `appliances` appliances of ten tests each, straight
// in SQL (storing them one by one would take hours): tests spread over ten
// years, next tests over two years from a fortnight before the day measured
// (so about one in sixteen is due within 30 days or overdue).
bool Fill(const QString& connection, Archive::Kind kind, int appliances) {
  QSqlDatabase db = QSqlDatabase::database(connection);
  QSqlQuery q(db);
  const bool pg = kind == Archive::Kind::PostgreSQL;
  const QString series = pg ? QStringLiteral("SELECT generate_series(1, %1) AS n").arg(appliances)
                            : QStringLiteral("WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < %1) "
                                             "SELECT n FROM s").arg(appliances);
  const QString date = pg ? QStringLiteral("to_char(DATE '2016-01-01' + ((%1)::int), 'YYYY-MM-DD')")
                          : QStringLiteral("date('2016-01-01', printf('%+d days', %1))");
  // Files of the real size, each different (a checksum is unique).
  const QString blob = pg ? QStringLiteral("decode(repeat('5b', %1) || lpad(to_hex(a.id * 10 + KEY), 16, '0'), 'hex')")
                                .arg(Record(0).size() - 8)
                          : QStringLiteral("randomblob(%1)").arg(Record(0).size());
  const QStringList steps{
      QStringLiteral("INSERT INTO customers (name) SELECT 'Bench ' || n FROM (%1) AS s WHERE n <= 100").arg(series),
      QStringLiteral("INSERT INTO appliances (customer_id, inventar_nr, description, interval_months, last_test, next_due) "
                     "SELECT (SELECT MIN(id) FROM customers) + (n %% 100), 'B-' || n, 'Gerät', 12, %2, %3 FROM (%1) AS s")
          .arg(series, date.arg(QStringLiteral("n % 3650")), date.arg(QStringLiteral("3960 + n % 730")))
          .replace(QStringLiteral("%%"), QStringLiteral("%")),
  };
  for (const QString& sql : steps)
    if (!q.exec(sql)) {
      std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text()));
      return false;
    }
  for (int k = 0; k < 10; ++k) {
    const QString sql =
        QStringLiteral("INSERT INTO tests (appliance_id, test_date, standard, klasse, sicht, funktion, passed, record, "
                       "record_hash, stored_at) SELECT a.id, %1, 4, 1, 1, 1, 1, %2, 'b%3-' || a.id, '2026-01-01' "
                       "FROM appliances a WHERE a.inventar_nr LIKE 'B-%'")
            .arg(date.arg(QStringLiteral("a.id % 3650 - %1").arg(365 * k)), QString(blob).replace(QLatin1String("KEY"), QString::number(k)))
            .arg(k);
    if (!q.exec(sql)) {
      std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text()));
      return false;
    }
  }
  // Every test with its eight rows, as a stored test has them.
  const QString rows = QStringLiteral("INSERT INTO test_rows (test_id, row_index, measured, limit_text, active, ok) "
                                      "SELECT t.id, r.n - 1, '  0.10', ' 0.30', CASE WHEN r.n <= 4 THEN 1 ELSE 0 END, 1 "
                                      "FROM tests t CROSS JOIN (%1) AS r")
                           .arg(pg ? QStringLiteral("SELECT generate_series(1, 8) AS n")
                                   : QStringLiteral("WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s "
                                                    "WHERE n < 8) SELECT n FROM s"));
  if (!q.exec(rows)) {
    std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text()));
    return false;
  }
  // Each data record file's checksum, as a stored test has it.
  const QString hashes = pg ? QStringLiteral("UPDATE tests SET record_hash = encode(sha256(record), 'hex')") : QString();
  if (pg && !q.exec(hashes)) {
    std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text()));
    return false;
  }
  if (!pg) {
    qint64 after = 0;
    for (;;) {
      QSqlQuery read(db);
      read.prepare(QStringLiteral("SELECT id, record FROM tests WHERE id > ? ORDER BY id LIMIT 5000"));
      read.addBindValue(after);
      if (!read.exec()) return false;
      std::vector<std::pair<qint64, QString>> sums;
      while (read.next())
        sums.emplace_back(read.value(0).toLongLong(),
                          QString::fromLatin1(QCryptographicHash::hash(read.value(1).toByteArray(), QCryptographicHash::Sha256).toHex()));
      if (sums.empty()) break;
      db.transaction();
      QSqlQuery write(db);
      write.prepare(QStringLiteral("UPDATE tests SET record_hash = ? WHERE id = ?"));
      for (const auto& [id, sum] : sums) {
        write.addBindValue(sum);
        write.addBindValue(id);
        if (!write.exec()) return false;
      }
      db.commit();
      after = sums.back().first;
    }
  }
  q.exec(QStringLiteral("ANALYZE"));
  return true;
}

void Run(const QString& name, const QString& location, Archive::Kind kind, int appliances) {
  QTemporaryDir dir;
  const QString folder = dir.filePath(QStringLiteral("records"));
  QDir().mkpath(folder);
  for (int i = 0; i < 500; ++i) {
    QFile f(folder + QStringLiteral("/r%1.ini").arg(i));
    f.open(QIODevice::WriteOnly);
    f.write(Record(i));
  }
  std::vector<double> imports;
  for (int run = 0; run < 3; ++run) {
    Archive archive;
    const QString where = kind == Archive::Kind::SQLite ? dir.filePath(QStringLiteral("import%1.sqlite").arg(run))
                                                        : location + QStringLiteral("_import%1").arg(run);
    if (!archive.Open(where)) {
      std::printf("%s: %s\n", qPrintable(name), qPrintable(archive.Error()));
      return;
    }
    QElapsedTimer t;
    t.start();
    const Archive::ImportResult result = archive.ImportFolder(folder);
    imports.push_back(t.nsecsElapsed() / 1e6);
    if (result.stored != 500) std::printf("%s: only %d stored\n", qPrintable(name), result.stored);
  }
  std::printf("%s: import of 500 data record files: %.0f ms (median of 3)\n", qPrintable(name), Timing::Median(imports));

  Archive archive;
  const QString big = kind == Archive::Kind::SQLite ? dir.filePath(QStringLiteral("big.sqlite")) : location + QStringLiteral("_big");
  if (!archive.Open(big)) return;
  archive.SetWaitLimit(24 * 3600 * 1000);  // filling takes minutes
  QElapsedTimer fill;
  fill.start();
  QSqlDatabase::cloneDatabase(QSqlDatabase(), QString());  // no-op; keeps the SQL module linked
  const QString connection = QSqlDatabase::connectionNames().filter(QStringLiteral("kelvara-archive")).last();
  if (!Fill(connection, kind, appliances)) return;
  std::printf("%s: filled %d appliances, %d tests in %.0f s\n", qPrintable(name), appliances, archive.TestCount(),
              fill.elapsed() / 1000.0);
  // The tests put in straight are chained as an archive of the older schema
  // is when a newer program first opens it.
  {
    QSqlQuery q(QSqlDatabase::database(connection));
    for (const char* sql : {"DROP INDEX tests_chain", "DROP INDEX tests_chain_hash", "DROP TABLE chain_head",
                            "ALTER TABLE tests DROP COLUMN chain_seq", "ALTER TABLE tests DROP COLUMN chain_hash",
                            "UPDATE schema_version SET version = CHAIN_STEP_BEFORE"})
      if (!q.exec(QString::fromLatin1(sql).replace(QLatin1String("CHAIN_STEP_BEFORE"),
                                                   QString::number(Archive::kChainSchema - 1)))) {
        std::printf("%s: %s\n", qPrintable(name), qPrintable(q.lastError().text()));
        return;
      }
  }
  archive.Close();
  QElapsedTimer migrate;
  migrate.start();
  archive.SetWaitLimit(24 * 3600 * 1000);
  if (!archive.Open(big)) {
    std::printf("%s: %s\n", qPrintable(name), qPrintable(archive.Error()));
    return;
  }
  const double migrateS = migrate.elapsed() / 1000.0;
  QElapsedTimer walk;
  walk.start();
  const Archive::ChainCheck check = archive.CheckChain();
  std::printf("%s: proof chain: %d tests chained (the migration) in %.1f s, walked (archive verify) in %.1f s, %s\n",
              qPrintable(name), int(check.tests), migrateS, walk.elapsed() / 1000.0,
              check.holds ? "holds" : qPrintable(check.first));
  // The appliance whose history is read: ten tests stored as the program
  // stores them (its files are checked against their checksums when read).
  for (int k = 0; k < 10; ++k) {
    ReportRecord r;
    Report::ReadBytes(Record(k), &r);
    r.Fields[0] = QStringLiteral("Verlauf");
    r.Fields[17] = QStringLiteral("H-1");
    r.Fields[25] = QDate(2016, 3, 1).addYears(k).toString(QStringLiteral("dd.MM.yyyy"));
    if (archive.StoreReport(r) != Archive::Stored::New) {
      std::printf("%s: %s\n", qPrintable(name), qPrintable(archive.Error()));
      return;
    }
  }
  const QDate today(2026, 12, 9);
  size_t due = 0;
  const double dueMs = Timing::MedianMs(5, [&] { due = archive.DueList(30, today).size(); });
  const std::vector<ArchiveData::Appliance> some = archive.Search(QStringLiteral("H-1"), 1);
  size_t tests = 0, rows = 0;
  const double historyMs = Timing::MedianMs(5, [&] {
    const std::vector<ArchiveData::Test> history = some.empty() ? std::vector<ArchiveData::Test>() : archive.History(some[0].Id);
    tests = history.size();
    rows = 0;
    for (const ArchiveData::Test& t : history)
      for (const ArchiveData::TestRow& row : t.Rows) rows += row.Active ? 1 : 0;
  });
  std::printf("%s: query: due list for 30 days: %.1f ms (%zu appliances); history of one appliance: %.1f ms "
              "(%zu tests, %zu active rows)\n",
              qPrintable(name), dueMs, due, historyMs, tests, rows);

  // The window: from the click until the list stands in the window (opening
  // its own connection once, then the query on its thread and the table).
  ArchiveService service;
  service.SetLocation(big);
  ArchiveWindow window(nullptr, service);
  window.resize(1100, 640);
  window.show();
  auto settle = [&] {
    while (window.Busy()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    QCoreApplication::processEvents();
  };
  QElapsedTimer first;
  first.start();
  window.ShowSearch(QStringLiteral("H-1"));
  settle();
  const double openMs = first.nsecsElapsed() / 1e6;
  const int days = int(QDate::currentDate().daysTo(today)) + 30;
  const double windowDueMs = Timing::MedianMs(5, [&] {
    window.ShowDue(days);
    settle();
  });
  const size_t shown = window.Shown().size();
  window.ShowSearch(QStringLiteral("H-1"));
  settle();
  const double windowHistoryMs = Timing::MedianMs(5, [&] {
    window.ShowHistory(0);
    settle();
  });
  std::printf("%s: window: first list (opening the archive, with its check) %.0f ms; due list %.1f ms (%zu rows); "
              "history %.1f ms (%d rows)\n",
              qPrintable(name), openMs, windowDueMs, shown, windowHistoryMs, window.HistoryTable()->rowCount());
  if (kind == Archive::Kind::SQLite) {
    const int count = archive.TestCount();
    std::printf("%s: archive file of that size: %.0f MB (%.2f KB a test)\n", qPrintable(name), QFileInfo(big).size() / 1e6,
                QFileInfo(big).size() / 1e3 / std::max(1, count));
  }
}

QString MakeDatabases(const QString& server, const QString& name) {
  for (const QString& suffix :
       {QStringLiteral("_import0"), QStringLiteral("_import1"), QStringLiteral("_import2"), QStringLiteral("_big")})
    PgTestDb::Make(server, name + suffix);
  QUrl url(server);
  url.setPath(QLatin1Char('/') + name);
  return url.toString();
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int appliances = argc > 1 ? std::max(100, std::atoi(argv[1])) : 100000;
  Run(QStringLiteral("SQLite"), QString(), Archive::Kind::SQLite, appliances);
  const QString server = qEnvironmentVariable("KELVARA_TEST_PG");
  if (server.isEmpty()) {
    std::printf("PostgreSQL: skipped ($KELVARA_TEST_PG names no server)\n");
    return 0;
  }
  std::printf("PostgreSQL: the test server runs with fsync off (scripts/pg-test-server)\n");
  Run(QStringLiteral("PostgreSQL"), MakeDatabases(server, QStringLiteral("bench_%1").arg(::getpid())),
      Archive::Kind::PostgreSQL, appliances);
  return 0;
}
