// Benchmark of the test archive: importing 500 data record files, and, with
// 1,000,000 tests of 100,000 appliances stored (each test with its eight
// measurement rows and a data record file of the real size), the due list,
// one appliance's history and the search by Inventar-Nr. and by name: the
// query alone, and the archive window asking for it and showing it. The
// window's memory is measured in a process of its own that does what a user
// does (the due list, a search, a history). On a SQLite file, and on
// PostgreSQL when $KELVARA_TEST_PG names a server (scripts/pg-test-server
// start DIR prints one; it runs with fsync off, so its writes are faster than
// on a server that syncs). Medians.
// Also the migration of those tests from the schema before the proof chain
// (chaining them, then the master data step) and of the master data step
// alone, and walking the chain (archive verify, the archive window's check).
//   build/archive_bench [appliances [sqlite|postgresql]]   (default 100000, ten tests each; both)
#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <unistd.h>
#include <vector>

#include "bench/timing.h"
#include "core/archive.h"
#include "core/archiveservice.h"
#include "core/reportrecord.h"
#include "records/archivewindow.h"
#include "tests/pgtestdb.h"
#include "tests/schemasteps.h"

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

// What appliances are called: forty kinds, so a name matches one in forty.
const char* const kKinds[] = {
    "Bohrmaschine", "Wasserkocher", "Kaffeemaschine", "Verlängerungsleitung", "Mehrfachsteckdose", "Monitor",
    "Drucker", "Kühlschrank", "Mikrowelle", "Staubsauger", "Winkelschleifer", "Stichsäge", "Kreissäge", "Akkuladegerät",
    "Heizlüfter", "Ventilator", "Schreibtischleuchte", "Laptop-Netzteil", "Toaster", "Radio", "Lötstation",
    "Heißluftpistole", "Kabeltrommel", "Baustrahler", "Hochdruckreiniger", "Rasenmäher", "Kopierer", "Beamer",
    "Spülmaschine", "Waschmaschine", "Trockner", "Bandschleifer", "Exzenterschleifer", "Oberfräse", "Hobel",
    "Bohrhammer", "Schlagschrauber", "Tischkreissäge", "Kompressor", "Schweißgerät"};

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
  QStringList kinds;
  for (const char* k : kKinds) kinds << QStringLiteral("'%1'").arg(QString::fromUtf8(k));
  const QString kind40 = pg ? QStringLiteral("(ARRAY[%1])[1 + n %% 40]").arg(kinds.join(','))
                            : QStringLiteral("CASE n %% 40 %1 END").arg([&] {
                                QString cases;
                                for (int i = 0; i < 40; ++i) cases += QStringLiteral(" WHEN %1 THEN %2").arg(i).arg(kinds[i]);
                                return cases;
                              }());
  const QStringList steps{
      QStringLiteral("INSERT INTO customers (name) SELECT 'Bench ' || n FROM (%1) AS s WHERE n <= 100").arg(series),
      QStringLiteral("INSERT INTO appliances (customer_id, inventar_nr, inventar_key, description, maker_type, location, "
                     "interval_months, last_test, next_due) "
                     "SELECT (SELECT MIN(id) FROM customers) + (n %% 100), 'B-' || n, 'b-' || n, %4, 'Hersteller ' || "
                     "(n %% 25), 'Halle ' || (n %% 12), 12, %2, %3 FROM (%1) AS s")
          .arg(series, date.arg(QStringLiteral("n % 3650")), date.arg(QStringLiteral("3960 + n % 730")), kind40)
          .replace(QStringLiteral("%%"), QStringLiteral("%")),
      // The search's text, as the archive keeps it.
      QStringLiteral("UPDATE appliances SET search_text = description || ' ' || maker_type || ' ' || serial_nr || ' ' || "
                     "location || ' ' || (SELECT name FROM customers WHERE customers.id = appliances.customer_id)"),
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
  if (!q.exec(rows) ||
      !q.exec(QStringLiteral("UPDATE appliances SET last_test_id = (SELECT MAX(t.id) FROM tests t WHERE t.appliance_id "
                             "= appliances.id)"))) {
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

// The process's resident memory now and at its peak, in MB.
std::pair<double, double> Memory() {
  QFile status(QStringLiteral("/proc/self/status"));
  double now = 0, peak = 0;
  if (!status.open(QIODevice::ReadOnly)) return {0, 0};
  for (const QByteArray& line : status.readAll().split('\n')) {
    const QList<QByteArray> parts = line.simplified().split(' ');
    if (parts.size() < 2) continue;
    if (parts[0] == "VmRSS:") now = parts[1].toDouble() / 1024;
    if (parts[0] == "VmHWM:") peak = parts[1].toDouble() / 1024;
  }
  return {now, peak};
}

// The window alone, as the program shows it: the due list, a search by
// number and by name, a history; then its memory.
int WindowOnly(const QString& location, int days) {
  const auto before = Memory();
  ArchiveService service;
  service.SetLocation(location);
  ArchiveWindow window(nullptr, service);
  window.resize(1180, 680);
  window.show();
  auto settle = [&] {
    while (window.Busy()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    QCoreApplication::processEvents();
  };
  window.ShowDue(days);
  settle();
  const size_t due = window.Shown().size();
  window.ShowSearch(QStringLiteral("B-4711"));
  settle();
  window.ShowSearch(QStringLiteral("Wasserkocher"));
  settle();
  window.ShowHistory(0);
  settle();
  window.ShowDue(days);
  settle();
  window.AppliancesTable()->scrollToBottom();
  QCoreApplication::processEvents();
  const auto after = Memory();
  std::printf("%.1f %.1f %.1f %zu\n", before.first, after.first, after.second, due);
  return 0;
}

void Run(const QString& name, const QString& location, Archive::Kind kind, int appliances, const char* self) {
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
  const QString connection = QSqlDatabase::connectionNames().filter(QStringLiteral("kelvara-archive")).last();
  if (!Fill(connection, kind, appliances)) return;
  std::printf("%s: filled %d appliances, %d tests in %.0f s; names through an index: %s\n", qPrintable(name), appliances,
              archive.TestCount(), fill.elapsed() / 1000.0, archive.NameIndex() ? "yes" : "no");
  // Back to the schema before the proof chain: the tests put in straight are
  // chained as an archive of that schema is when a newer program first opens
  // it, and the master data step follows; then that step alone.
  auto migrated = [&](int version, double* seconds) {
    {
      QSqlQuery q(QSqlDatabase::database(connection));
      QStringList sql = SchemaSteps::UndoMasterData(kind == Archive::Kind::PostgreSQL);
      if (version < Archive::kChainSchema)
        sql << QStringLiteral("DROP INDEX tests_chain") << QStringLiteral("DROP INDEX tests_chain_hash")
            << QStringLiteral("DROP TABLE chain_head") << QStringLiteral("ALTER TABLE tests DROP COLUMN chain_seq")
            << QStringLiteral("ALTER TABLE tests DROP COLUMN chain_hash");
      sql << QStringLiteral("UPDATE schema_version SET version = %1").arg(version);
      for (const QString& statement : sql)
        if (!q.exec(statement)) {
          std::printf("%s: %s: %s\n", qPrintable(name), qPrintable(statement), qPrintable(q.lastError().text()));
          return false;
        }
    }
    archive.Close();
    QElapsedTimer t;
    t.start();
    archive.SetWaitLimit(24 * 3600 * 1000);
    if (!archive.Open(big)) {
      std::printf("%s: %s\n", qPrintable(name), qPrintable(archive.Error()));
      return false;
    }
    *seconds = t.elapsed() / 1000.0;
    return true;
  };
  double bothS = 0, masterS = 0;
  if (!migrated(Archive::kChainSchema - 1, &bothS) || !migrated(Archive::kMasterDataSchema - 1, &masterS)) return;
  QElapsedTimer walk;
  walk.start();
  const Archive::ChainCheck check = archive.CheckChain();
  std::printf("%s: migration from schema %d: %.1f s (the proof chain of %d tests about %.1f s, the master data %.1f s); "
              "chain walked (archive verify) in %.1f s, %s\n",
              qPrintable(name), Archive::kChainSchema - 1, bothS, int(check.tests), bothS - masterS, masterS,
              walk.elapsed() / 1000.0, check.holds ? "holds" : qPrintable(check.first));
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
  size_t due = 0, firstPage = 0, byNumber = 0, byName = 0;
  const double dueMs = Timing::MedianMs(5, [&] { due = archive.DueList(30, today).size(); });
  const double firstPageMs = Timing::MedianMs(5, [&] { firstPage = archive.DueList(30, today, 200, nullptr).size(); });
  const std::vector<ArchiveData::Appliance> some = archive.Search(QStringLiteral("H-1"), 1);
  size_t tests = 0, rows = 0;
  const double historyMs = Timing::MedianMs(5, [&] {
    const std::vector<ArchiveData::Test> history = some.empty() ? std::vector<ArchiveData::Test>() : archive.History(some[0].Id);
    tests = history.size();
    rows = 0;
    for (const ArchiveData::Test& t : history)
      for (const ArchiveData::TestRow& row : t.Rows) rows += row.Active ? 1 : 0;
  });
  const double numberMs = Timing::MedianMs(5, [&] { byNumber = archive.Search(QStringLiteral("B-4711")).size(); });
  const double nameMs = Timing::MedianMs(5, [&] { byName = archive.Search(QStringLiteral("Wasserkocher")).size(); });
  std::printf("%s: query: due list for 30 days: %.1f ms (%zu appliances), its first page %.1f ms (%zu); history of one "
              "appliance: %.1f ms (%zu tests, %zu active rows); search by number %.1f ms (%zu), by name %.1f ms (%zu)\n",
              qPrintable(name), dueMs, due, firstPageMs, firstPage, historyMs, tests, rows, numberMs, byNumber, nameMs,
              byName);

  // The window: from the click until the list stands in the window (opening
  // its own connection once, then the query on its thread and the table).
  ArchiveService service;
  service.SetLocation(big);
  ArchiveWindow window(nullptr, service);
  window.resize(1180, 680);
  window.show();
  auto settle = [&] {
    while (window.Busy()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    QCoreApplication::processEvents();
  };
  // Until its rows are painted.
  auto shown = [&] {
    while (window.Shown().empty() && window.Busy()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    window.AppliancesTable()->viewport()->repaint();
  };
  QElapsedTimer first;
  first.start();
  window.ShowSearch(QStringLiteral("H-1"));
  settle();
  const double openMs = first.nsecsElapsed() / 1e6;
  const int days = int(QDate::currentDate().daysTo(today)) + 30;
  std::vector<double> firstRows, complete;
  for (int run = 0; run < 5; ++run) {
    window.ShowSearch(QStringLiteral("zzz"));
    settle();
    QElapsedTimer t;
    t.start();
    window.ShowDue(days);
    shown();
    firstRows.push_back(t.nsecsElapsed() / 1e6);
    settle();
    complete.push_back(t.nsecsElapsed() / 1e6);
  }
  const size_t shownRows = window.Shown().size();
  auto windowSearch = [&](const QString& text, size_t* count) {
    return Timing::MedianMs(5, [&] {
      window.ShowSearch(text);
      shown();
      settle();
      *count = window.Shown().size();
    });
  };
  size_t numberRows = 0, nameRows = 0;
  const double windowNumberMs = windowSearch(QStringLiteral("B-4711"), &numberRows);
  const double windowNameMs = windowSearch(QStringLiteral("Wasserkocher"), &nameRows);
  window.ShowSearch(QStringLiteral("H-1"));
  settle();
  const double windowHistoryMs = Timing::MedianMs(5, [&] {
    window.ShowHistory(0);
    settle();
    window.HistoryTable()->viewport()->repaint();
  });
  std::printf("%s: window: first list (opening the archive, with its check) %.0f ms; due list: first rows shown %.1f ms, "
              "all %zu rows %.1f ms; search by number %.1f ms (%zu rows), by name %.1f ms (%zu rows); history %.1f ms (%d rows)\n",
              qPrintable(name), openMs, Timing::Median(firstRows), shownRows, Timing::Median(complete), windowNumberMs,
              numberRows, windowNameMs, nameRows, windowHistoryMs, window.History()->rowCount());
  // The window's memory, in a process of its own.
  QProcess alone;
  alone.start(QString::fromLocal8Bit(self), {QStringLiteral("--window"), big, QString::number(days)});
  alone.waitForFinished(600000);
  const QList<QByteArray> figures = alone.readAllStandardOutput().simplified().split(' ');
  if (figures.size() >= 4)
    std::printf("%s: the window alone (due list of %s rows, two searches, a history): %s MB before it opened, %s MB "
                "after, %s MB at the peak\n",
                qPrintable(name), figures[3].constData(), figures[0].constData(), figures[1].constData(),
                figures[2].constData());
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
  if (argc > 3 && QByteArray(argv[1]) == "--window") return WindowOnly(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]));
  const int appliances = argc > 1 ? std::max(100, std::atoi(argv[1])) : 100000;
  // A second argument measures one database only: sqlite or postgresql.
  const QByteArray only = argc > 2 ? QByteArray(argv[2]) : QByteArray();
  if (only != "postgresql") Run(QStringLiteral("SQLite"), QString(), Archive::Kind::SQLite, appliances, argv[0]);
  if (only == "sqlite") return 0;
  const QString server = qEnvironmentVariable("KELVARA_TEST_PG");
  if (server.isEmpty()) {
    std::printf("PostgreSQL: skipped ($KELVARA_TEST_PG names no server)\n");
    return 0;
  }
  std::printf("PostgreSQL: the test server runs with fsync off (scripts/pg-test-server)\n");
  Run(QStringLiteral("PostgreSQL"), MakeDatabases(server, QStringLiteral("bench_%1").arg(::getpid())),
      Archive::Kind::PostgreSQL, appliances, argv[0]);
  return 0;
}
