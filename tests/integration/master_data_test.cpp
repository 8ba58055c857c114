// The archive's master data on a real SQLite file and on the PostgreSQL
// server scripts/test starts: an archive of the former version brought up to
// date, customers and appliances edited, renamed, merged and retired with
// every change in the change log, the visit's order, the search, and writes
// that fail saying why.
#include <gtest/gtest.h>

#include <QAtomicInteger>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>
#include <sys/mount.h>
#include <cstring>
#include <unistd.h>

#include "core/archive.h"
#include "core/clock.h"
#include "core/reportrecord.h"
#include "tests/pgtestdb.h"

namespace {

QAtomicInteger<int> g_databases;
const QString kFixture = QStringLiteral(KELVARA_SOURCE_DIR "/tests/data/archive-v1");

ReportRecord Tested(const QString& customer, const QString& inventar, const QDate& day,
                    const QString& description = QStringLiteral("Bohrmaschine"), const QString& interval = QString()) {
  ReportRecord r;
  r.Fields[Layout::kFieldAuftraggeber] = customer;
  r.Fields[Layout::kFieldGeraetArt] = description;
  r.Fields[Layout::kFieldStandort] = QStringLiteral("Werkstatt");
  r.Fields[Layout::kFieldIdentnummer] = inventar;
  r.Fields[Layout::kFieldPruefintervall] = interval;
  r.Fields[Layout::kFieldPruefungAm] = day.toString(QStringLiteral("dd.MM.yyyy"));
  r.VdePruefgrundlage = 4;
  for (int row = 0; row < 4; ++row) {
    r.MessText[row] = QStringLiteral("  0.1%1").arg(row);
    r.GrenzText[row] = QStringLiteral(" 0.30");
    r.RowActive[row] = 1;
    r.Ok[row] = true;
  }
  r.Sichtpruefung = r.Funktionspruefung = true;
  return r;
}

// Every stored test and its rows, as the database holds them.
QString TestsAsStored(const QString& connection) {
  QSqlQuery q(QSqlDatabase::database(connection));
  QString dump;
  q.exec(QStringLiteral("SELECT id, appliance_id, test_date, record_hash, passed, corrects FROM tests ORDER BY id"));
  while (q.next())
    for (int c = 0; c < 6; ++c) dump += q.value(c).toString() + QLatin1Char(c == 5 ? '\n' : '|');
  q.exec(QStringLiteral("SELECT test_id, row_index, measured, limit_text, active, ok FROM test_rows ORDER BY test_id, row_index"));
  while (q.next())
    for (int c = 0; c < 6; ++c) dump += q.value(c).toString() + QLatin1Char(c == 5 ? '\n' : '|');
  return dump;
}

class MasterData : public ::testing::TestWithParam<Archive::Kind> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    if (GetParam() == Archive::Kind::SQLite) {
      location_ = dir_.filePath(QStringLiteral("archiv.sqlite"));
      return;
    }
    server_ = qEnvironmentVariable("KELVARA_TEST_PG");
    if (server_.isEmpty()) GTEST_SKIP() << "no PostgreSQL server: scripts/test starts one ($KELVARA_TEST_PG)";
    database_ = QStringLiteral("kelvara_master_%1_%2").arg(::getpid()).arg(g_databases.fetchAndAddRelaxed(1));
    location_ = PgTestDb::Make(server_, database_);
    ASSERT_FALSE(location_.isEmpty()) << "the PostgreSQL server at $KELVARA_TEST_PG does not answer";
  }
  // A connection of the test's own to the archive, beside the program's.
  QString Raw() {
    const QString name = QStringLiteral("raw-%1").arg(g_databases.fetchAndAddRelaxed(1));
    QSqlDatabase db = QSqlDatabase::addDatabase(GetParam() == Archive::Kind::SQLite ? "QSQLITE" : "QPSQL", name);
    if (GetParam() == Archive::Kind::SQLite) {
      db.setDatabaseName(location_);
    } else {
      const QUrl url(location_);
      db.setHostName(url.host());
      db.setPort(url.port());
      db.setUserName(url.userName());
      db.setDatabaseName(url.path().mid(1));
    }
    EXPECT_TRUE(db.open());
    return name;
  }
  QTemporaryDir dir_;
  QString location_, server_, database_;
  Clock::Scoped clock_{[] { return QDateTime(QDate(2026, 4, 20), QTime(9, 30)); }};
};

TEST_P(MasterData, AnArchiveOfTheFormerVersionComesUpToDateWithoutLoss) {
  // The archive as the former program made it (kelvara-cli archive import of
  // the folder beside it): its file, or its database's dump.
  if (GetParam() == Archive::Kind::SQLite) {
    ASSERT_TRUE(QFile::copy(kFixture + "/archiv-v1.sqlite", location_));
    QFile::setPermissions(location_, QFile::ReadOwner | QFile::WriteOwner);
  } else {
    const QString psql = QStandardPaths::findExecutable(QStringLiteral("psql"));
    ASSERT_FALSE(psql.isEmpty()) << "psql (PostgreSQL's client) is not installed";
    QProcess restore;
    restore.start(psql, {"-q", "-v", "ON_ERROR_STOP=1", "-d", location_, "-f", kFixture + "/archiv-v1.pgsql"});
    ASSERT_TRUE(restore.waitForFinished(60000));
    ASSERT_EQ(restore.exitCode(), 0) << restore.readAllStandardError().toStdString();
  }
  // What the former version knew, read before it is brought up to date.
  std::map<QString, QString> due;
  {
    const QString raw = Raw();
    QSqlQuery q(QSqlDatabase::database(raw));
    ASSERT_TRUE(q.exec("SELECT c.name, a.inventar_nr, a.next_due, a.description FROM appliances a JOIN customers c ON "
                       "c.id = a.customer_id"));
    while (q.next()) due[q.value(0).toString() + "/" + q.value(1).toString()] = q.value(2).toString() + q.value(3).toString();
    q.finish();
    QSqlDatabase::database(raw).close();
    QSqlDatabase::removeDatabase(raw);
  }
  ASSERT_EQ(due.size(), 8u);

  Archive archive;
  ASSERT_TRUE(archive.Open(location_)) << archive.Error().toStdString();
  EXPECT_EQ(archive.SchemaVersion(), Archive::kSchemaVersion);
  EXPECT_TRUE(archive.NameIndex());
  EXPECT_EQ(archive.TestCount(), 9);
  // Every test's file byte for byte, every appliance where it was and due when it was.
  std::set<QByteArray> files;
  for (const QString& name : QDir(kFixture + "/records").entryList({"*.ini"})) {
    QFile f(kFixture + "/records/" + name);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    files.insert(f.readAll());
  }
  size_t appliances = 0;
  for (const ArchiveData::Appliance& a : archive.Appliances()) {
    ++appliances;
    EXPECT_EQ(due[a.Customer + "/" + a.InventarNr], a.NextDue.toString(Qt::ISODate) + a.Bezeichnung) << a.InventarNr.toStdString();
    EXPECT_FALSE(a.Retired());
    EXPECT_GT(a.CustomerId, 0);
    for (const ArchiveData::Test& t : archive.History(a.Id)) EXPECT_EQ(files.erase(t.Record), 1u) << a.InventarNr.toStdString();
  }
  EXPECT_EQ(appliances, 8u);
  EXPECT_TRUE(files.empty());
  EXPECT_TRUE(archive.Changes(archive.CustomerId(QString::fromUtf8("Elektro Müller GmbH")), 0).empty());
  // The new indexes serve the old rows: a number with an umlaut by its
  // beginning in any case, a name anywhere in it.
  const qint64 mueller = archive.CustomerId(QString::fromUtf8("Elektro Müller GmbH"));
  ASSERT_GT(mueller, 0);
  ASSERT_EQ(archive.Complete(mueller, QString::fromUtf8("kü")).size(), 1u);
  EXPECT_EQ(archive.Complete(mueller, QString::fromUtf8("kü"))[0].InventarNr, QString::fromUtf8("KÜCHE-1"));
  ASSERT_EQ(archive.Search(QStringLiteral("wasserk")).size(), 1u);
  EXPECT_EQ(archive.Search(QStringLiteral("wasserk"))[0].InventarNr, "INV-0002");
  EXPECT_EQ(archive.Search(QStringLiteral("korn")).size(), 3u);
  // The last visit's order is there for planning: by the latest test of each.
  const std::vector<ArchiveData::Appliance> plan = archive.VisitPlan(mueller, {}, QDate());
  ASSERT_EQ(plan.size(), 4u);
  QStringList order;
  for (const ArchiveData::Appliance& a : plan) order << a.InventarNr;
  EXPECT_EQ(order.join(' '), QString::fromUtf8("INV-0001 INV-0002 INV-0003 KÜCHE-1"));
  // A further test of the old archive goes on as before.
  ASSERT_EQ(archive.StoreReport(Tested(QString::fromUtf8("Elektro Müller GmbH"), "INV-0002", QDate(2026, 4, 20),
                                       QStringLiteral("Wasserkocher"))),
            Archive::Stored::New)
      << archive.Error().toStdString();
  EXPECT_EQ(archive.Lookup(mueller, {"inv-0002"})["inv-0002"].NextDue, QDate(2028, 4, 20));  // its 24 months kept
}

TEST_P(MasterData, EditsRenamesAndRetirementsAreKeptWithTheirDateAndFoundByLaterTests) {
  Archive archive;
  ASSERT_TRUE(archive.Open(location_)) << archive.Error().toStdString();
  ASSERT_EQ(archive.StoreReport(Tested("Mueller", "A-1", QDate(2025, 4, 1), "Bohrmaschine", "12")), Archive::Stored::New);
  ASSERT_EQ(archive.StoreReport(Tested("Mueller", "A-2", QDate(2025, 4, 1), "Kettensäge", "12")), Archive::Stored::New);
  const qint64 id = archive.CustomerId("Mueller");
  ArchiveData::Customer customer;
  ASSERT_TRUE(archive.ReadCustomer(id, &customer));
  // The customer: the right name, its address and sites.
  customer.Name = QString::fromUtf8("Elektro Müller GmbH");
  customer.Anschrift = QString::fromUtf8("Hauptstraße 5");
  customer.PlzStadt = QString::fromUtf8("12345 Köln");
  customer.Standorte = {"Werkstatt", "Lager", "Büro"};
  ASSERT_EQ(archive.SaveCustomer(customer), id) << archive.Error().toStdString();
  EXPECT_EQ(archive.Customers(), QStringList{QString::fromUtf8("Elektro Müller GmbH")});
  EXPECT_EQ(archive.Sites(id), (QStringList{"Werkstatt", "Lager", QString::fromUtf8("Büro")}));
  // A report still made out to the former name belongs to the same customer.
  ASSERT_EQ(archive.StoreReport(Tested("Mueller", "A-1", QDate(2026, 4, 1))), Archive::Stored::New);
  EXPECT_EQ(archive.Customers().size(), 1);
  EXPECT_EQ(archive.CustomerId("Mueller"), id);
  EXPECT_EQ(archive.Search(QString::fromUtf8("müller")).size(), 2u);  // the search knows the new name

  // An appliance: a new number, interval and description.
  std::map<QString, ArchiveData::Appliance> known = archive.Lookup(id, {"A-1", "A-2"});
  ASSERT_EQ(known.size(), 2u);
  ArchiveData::Appliance a1 = known["a-1"];
  EXPECT_EQ(a1.NextDue, QDate(2027, 4, 1));
  a1.InventarNr = "INV-0001";
  a1.IntervalMonths = 24;
  a1.Seriennummer = "SN 4711";
  ASSERT_EQ(archive.SaveAppliance(a1), a1.Id) << archive.Error().toStdString();
  ASSERT_TRUE(archive.ReadAppliance(a1.Id, &a1));
  EXPECT_EQ(a1.NextDue, QDate(2028, 4, 1));  // the last test plus the new interval
  // Its old number (as on its label) still finds it; its history holds every test.
  ASSERT_EQ(archive.StoreReport(Tested("Mueller", "a-1", QDate(2026, 4, 15))), Archive::Stored::New);
  ASSERT_EQ(archive.History(a1.Id).size(), 3u);
  EXPECT_EQ(archive.Lookup(id, {"A-1"})["a-1"].Id, a1.Id);
  ASSERT_TRUE(archive.ReadAppliance(a1.Id, &a1));
  EXPECT_EQ(a1.NextDue, QDate(2028, 4, 15));  // a report naming no interval keeps the appliance's
  // Back to its first number: allowed; both numbers find it, its history stays.
  a1.InventarNr = "A-1";
  ASSERT_EQ(archive.SaveAppliance(a1), a1.Id) << archive.Error().toStdString();
  EXPECT_EQ(archive.Lookup(id, {"INV-0001"})["inv-0001"].Id, a1.Id);
  EXPECT_EQ(archive.Lookup(id, {"a-1"})["a-1"].InventarNr, "A-1");
  EXPECT_EQ(archive.History(a1.Id).size(), 3u);
  EXPECT_EQ(archive.Appliances(QString::fromUtf8("Elektro Müller GmbH")).size(), 2u);
  // Another customer cannot take the name; a number that is taken is refused.
  ArchiveData::Customer other;
  other.Name = QString::fromUtf8("Elektro Müller GmbH");
  EXPECT_EQ(archive.SaveCustomer(other), 0);
  EXPECT_EQ(archive.LastFault(), Archive::Fault::Refused);
  EXPECT_TRUE(archive.Error().contains(QStringLiteral("gibt es schon")));
  ArchiveData::Appliance a2 = known["a-2"];
  a2.InventarNr = "A-1";
  EXPECT_EQ(archive.SaveAppliance(a2), 0);
  EXPECT_TRUE(archive.Error().contains(QStringLiteral("zusammen"))) << archive.Error().toStdString();
  a2.InventarNr = "INV-0001";  // a former number of another appliance
  EXPECT_EQ(archive.SaveAppliance(a2), 0);
  EXPECT_TRUE(archive.Error().contains(QStringLiteral("frühere Nummer"))) << archive.Error().toStdString();

  // Retired: out of the due list, its history kept; a later test keeps it retired.
  ASSERT_TRUE(archive.Retire(a2.Id, QDate(2026, 4, 18), QString::fromUtf8("Gehäuse gebrochen")));
  EXPECT_TRUE(archive.DueList(3650, QDate(2026, 4, 20)).size() == 1u);
  EXPECT_EQ(archive.History(a2.Id).size(), 1u);
  EXPECT_TRUE(archive.VisitPlan(id, {}, QDate()).size() == 1u);
  ASSERT_EQ(archive.StoreReport(Tested("Mueller", "A-2", QDate(2026, 4, 19), QString::fromUtf8("Kettensäge"))),
            Archive::Stored::New);
  ASSERT_TRUE(archive.ReadAppliance(a2.Id, &a2));
  EXPECT_TRUE(a2.Retired());
  EXPECT_FALSE(a2.NextDue.isValid());
  // Back in service: due again after its last test.
  a2.RetiredOn = QDate();
  a2.RetiredReason.clear();
  ASSERT_EQ(archive.SaveAppliance(a2), a2.Id);
  ASSERT_TRUE(archive.ReadAppliance(a2.Id, &a2));
  EXPECT_EQ(a2.NextDue, QDate(2027, 4, 19));

  // Every change with its date and why; the appliance's own log and the customer's.
  const std::vector<ArchiveData::Change> mine = archive.Changes(0, a1.Id);
  QStringList fields;
  for (const ArchiveData::Change& c : mine) {
    fields << c.Field;
    EXPECT_EQ(c.At, QDateTime(QDate(2026, 4, 20), QTime(9, 30)));
  }
  for (const char* field : {"Inventar-Nr.", "Prüfintervall", "Seriennummer", "angelegt"})
    EXPECT_TRUE(fields.contains(QString::fromUtf8(field))) << field << ": " << fields.join(", ").toStdString();
  const std::vector<ArchiveData::Change> all = archive.Changes(id, 0);
  bool renamed = false, retired = false;
  for (const ArchiveData::Change& c : all) {
    renamed |= c.Field == "Name" && c.Before == "Mueller" && c.After == QString::fromUtf8("Elektro Müller GmbH") &&
               c.Reason == "von Hand";
    retired |= c.Field == "Zustand" && c.After.startsWith(QStringLiteral("ausgemustert am 18.04.2026"));
  }
  EXPECT_TRUE(renamed);
  EXPECT_TRUE(retired);
}

TEST_P(MasterData, MergingJoinsHistoriesAndNeverChangesATest) {
  Archive archive;
  ASSERT_TRUE(archive.Open(location_)) << archive.Error().toStdString();
  // One customer typed two ways, one appliance under two numbers.
  ASSERT_EQ(archive.StoreReport(Tested("Korn", "K-1", QDate(2025, 1, 10))), Archive::Stored::New);
  ASSERT_EQ(archive.StoreReport(Tested("Korn", "K-2", QDate(2025, 1, 10))), Archive::Stored::New);
  ASSERT_EQ(archive.StoreReport(Tested(QString::fromUtf8("Bäckerei Korn"), "K-1", QDate(2026, 1, 12))), Archive::Stored::New);
  ASSERT_EQ(archive.StoreReport(Tested(QString::fromUtf8("Bäckerei Korn"), "K-3", QDate(2026, 1, 12))), Archive::Stored::New);
  ASSERT_EQ(archive.StoreReport(Tested(QString::fromUtf8("Bäckerei Korn"), "K-03", QDate(2024, 1, 12))), Archive::Stored::New);
  const QString raw = Raw();
  const QString before = TestsAsStored(raw);

  const qint64 korn = archive.CustomerId("Korn"), baecker = archive.CustomerId(QString::fromUtf8("Bäckerei Korn"));
  std::map<QString, ArchiveData::Appliance> own = archive.Lookup(baecker, {"K-3", "K-03"});
  ASSERT_TRUE(archive.MergeAppliances(own["k-03"].Id, own["k-3"].Id)) << archive.Error().toStdString();
  ASSERT_TRUE(archive.MergeCustomers(korn, baecker)) << archive.Error().toStdString();
  EXPECT_EQ(archive.Customers(), QStringList{QString::fromUtf8("Bäckerei Korn")});
  const std::vector<ArchiveData::Appliance> left = archive.Appliances(QString::fromUtf8("Bäckerei Korn"));
  ASSERT_EQ(left.size(), 3u);  // K-1 (both customers'), K-2, K-3 (with K-03)
  std::map<QString, ArchiveData::Appliance> merged = archive.Lookup(baecker, {"K-1", "K-2", "K-03"});
  EXPECT_EQ(archive.History(merged["k-1"].Id).size(), 2u);
  EXPECT_EQ(archive.History(merged["k-2"].Id).size(), 1u);
  EXPECT_EQ(archive.History(merged["k-03"].Id).size(), 2u);
  EXPECT_EQ(merged["k-03"].InventarNr, "K-3");
  EXPECT_EQ(merged["k-1"].LastTest, QDate(2026, 1, 12));
  // The tests are exactly as they were stored, and their proof chain holds.
  EXPECT_EQ(TestsAsStored(raw), before);
  EXPECT_TRUE(archive.CheckChain().holds);
  // A report printed before the merge is still checked against its test.
  const std::vector<Archive::Found> same = archive.FindSameTest(Tested("Korn", "K-1", QDate(2025, 1, 10)));
  ASSERT_EQ(same.size(), 1u);
  EXPECT_TRUE(same[0].matches) << same[0].why.toStdString();
  EXPECT_EQ(archive.FindSameTest(Tested(QString::fromUtf8("Bäckerei Korn"), "K-03", QDate(2024, 1, 12))).size(), 1u);
  // Reports under the former name and number find the merged ones.
  ASSERT_EQ(archive.StoreReport(Tested("Korn", "K-03", QDate(2026, 4, 2))), Archive::Stored::New);
  EXPECT_EQ(archive.History(merged["k-03"].Id).size(), 3u);
  EXPECT_EQ(archive.Customers().size(), 1);
  // Neither can be merged again, nor with itself.
  EXPECT_FALSE(archive.MergeCustomers(korn, baecker));
  EXPECT_FALSE(archive.MergeAppliances(merged["k-1"].Id, merged["k-1"].Id));
  EXPECT_EQ(archive.LastFault(), Archive::Fault::Refused);
  QSqlDatabase::database(raw).close();
  QSqlDatabase::removeDatabase(raw);
}

TEST_P(MasterData, AVisitIsPlannedInTheOrderOfTheLastOneAndTheSearchUsesItsIndexes) {
  Archive archive;
  ASSERT_TRUE(archive.Open(location_)) << archive.Error().toStdString();
  EXPECT_TRUE(archive.NameIndex());
  // Walked 3, 1, 2 last time; 4 only in the office.
  for (const char* number : {"P-3", "P-1", "P-2"}) {
    ReportRecord r = Tested("Praxis", number, QDate(2025, 5, 5), QStringLiteral("Gerät %1").arg(number), "12");
    r.Fields[Layout::kFieldStandort] = QStringLiteral("Behandlung");
    ASSERT_EQ(archive.StoreReport(r), Archive::Stored::New);
  }
  ReportRecord office = Tested("Praxis", "P-4", QDate(2025, 11, 5), QString::fromUtf8("Kühlschrank"), "12");
  office.Fields[Layout::kFieldStandort] = QString::fromUtf8("Büro");
  ASSERT_EQ(archive.StoreReport(office), Archive::Stored::New);
  const qint64 praxis = archive.CustomerId("Praxis");
  ArchiveData::Appliance added;
  added.CustomerId = praxis;
  added.InventarNr = "P-0";
  added.Bezeichnung = "Neues Gerät";
  ASSERT_GT(archive.SaveAppliance(added), 0) << archive.Error().toStdString();
  auto numbers = [](const std::vector<ArchiveData::Appliance>& list) {
    QStringList n;
    for (const ArchiveData::Appliance& a : list) n << a.InventarNr;
    return n.join(' ');
  };
  EXPECT_EQ(numbers(archive.VisitPlan(praxis, {}, QDate())), "P-3 P-1 P-2 P-4 P-0");
  EXPECT_EQ(numbers(archive.VisitPlan(praxis, {}, QDate(2026, 5, 31))), "P-3 P-1 P-2 P-0");  // P-4 due in November
  EXPECT_EQ(numbers(archive.VisitPlan(praxis, {QString::fromUtf8("Büro")}, QDate())), "P-4");
  // The number by its beginning, a name anywhere, wildcards as plain text.
  EXPECT_EQ(numbers(archive.Search("p-")), "P-0 P-1 P-2 P-3 P-4");
  EXPECT_EQ(numbers(archive.Search(QString::fromUtf8("KÜHL"))), "P-4");
  EXPECT_EQ(numbers(archive.Search("raxi")), "P-0 P-1 P-2 P-3 P-4");
  EXPECT_TRUE(archive.Search("%").empty());
  EXPECT_TRUE(archive.Search("P_1").empty());
  EXPECT_EQ(numbers(archive.Complete(praxis, "p-", 3)), "P-0 P-1 P-2");
}

INSTANTIATE_TEST_SUITE_P(Databases, MasterData, ::testing::Values(Archive::Kind::SQLite, Archive::Kind::PostgreSQL),
                         [](const ::testing::TestParamInfo<Archive::Kind>& info) {
                           return info.param == Archive::Kind::SQLite ? std::string("SQLite") : std::string("PostgreSQL");
                         });

// ---- writes that fail, for real

struct Mount {
  QTemporaryDir point;
  QByteArray where = QFile::encodeName(point.path());
  bool Make(const char* options) { return ::mount("tmpfs", where.constData(), "tmpfs", 0, options) == 0; }
  bool ReadOnly() { return ::mount("tmpfs", where.constData(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0; }
  ~Mount() { ::umount2(where.constData(), MNT_DETACH); }
};

TEST(MasterDataFaults, AWriteThatFailsSaysWhyAndChangesNothing) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("archiv.sqlite"));
  Archive archive;
  ASSERT_TRUE(archive.Open(path));
  ASSERT_EQ(archive.StoreReport(Tested("Kunde", "X-1", QDate(2026, 1, 1))), Archive::Stored::New);
  const qint64 customer = archive.CustomerId("Kunde");
  ArchiveData::Appliance a = archive.Lookup(customer, {"X-1"})["x-1"];
  ASSERT_GT(a.Id, 0);
  // Another program holds the write lock.
  const QString sqlite = QStandardPaths::findExecutable(QStringLiteral("sqlite3"));
  ASSERT_FALSE(sqlite.isEmpty()) << "sqlite3 (a second program to hold the lock) is not installed";
  QProcess holder;
  holder.start(sqlite, {path});
  ASSERT_TRUE(holder.waitForStarted());
  holder.write("BEGIN IMMEDIATE; INSERT INTO customers (name) VALUES ('Sperre'); SELECT 'gesperrt';\n");
  ASSERT_TRUE(holder.waitForReadyRead(10000));
  archive.SetWaitLimit(200);
  ArchiveData::Appliance changed = a;
  changed.Bezeichnung = "Anders";
  EXPECT_EQ(archive.SaveAppliance(changed), 0);
  EXPECT_EQ(archive.LastFault(), Archive::Fault::Locked);
  EXPECT_TRUE(archive.Error().startsWith(QStringLiteral("Das Archiv wird gerade von einem anderen Programm benutzt")))
      << archive.Error().toStdString();
  EXPECT_FALSE(archive.Retire(a.Id, QDate(2026, 2, 1), "weg"));
  EXPECT_EQ(archive.LastFault(), Archive::Fault::Locked);
  holder.closeWriteChannel();
  holder.waitForFinished();
  ASSERT_TRUE(archive.ReadAppliance(a.Id, &a));
  EXPECT_EQ(a.Bezeichnung, "Bohrmaschine");
  EXPECT_FALSE(a.Retired());
  for (const ArchiveData::Change& c : archive.Changes(customer, 0))
    EXPECT_EQ(c.Field, QStringLiteral("angelegt")) << c.Field.toStdString();  // by the store only
  archive.Close();

  if (::geteuid() != 0) GTEST_SKIP() << "mounting a read-only file system needs root";
  Mount disk;
  ASSERT_TRUE(disk.Make("size=4m"));
  const QString there = disk.point.filePath(QStringLiteral("archiv.sqlite"));
  {
    Archive first;
    ASSERT_TRUE(first.Open(there));
    ASSERT_EQ(first.StoreReport(Tested("Kunde", "X-1", QDate(2026, 1, 1))), Archive::Stored::New);
  }
  // A copy on a read-only drive (without its write-ahead log, as a copy is
  // made) can be read, but not written.
  QProcess journal;
  journal.start(sqlite, {there, "PRAGMA journal_mode = DELETE;"});
  ASSERT_TRUE(journal.waitForFinished(10000));
  ASSERT_TRUE(disk.ReadOnly()) << std::strerror(errno);
  Archive readOnly;
  ASSERT_TRUE(readOnly.Open(there, Archive::OpenMode::ExistingOnly)) << readOnly.Error().toStdString();
  ArchiveData::Customer c;
  ASSERT_TRUE(readOnly.ReadCustomer(readOnly.CustomerId("Kunde"), &c));
  c.Anschrift = "Neue Straße 1";
  EXPECT_EQ(readOnly.SaveCustomer(c), 0);
  EXPECT_EQ(readOnly.LastFault(), Archive::Fault::ReadOnly) << readOnly.Error().toStdString();
  EXPECT_TRUE(readOnly.Error().contains(QStringLiteral("schreibgeschützt"))) << readOnly.Error().toStdString();
}

TEST(MasterDataFaults, AServerThatWentAwayIsToldAsSuch) {
  const QString server = qEnvironmentVariable("KELVARA_TEST_PG");
  if (server.isEmpty()) GTEST_SKIP() << "no PostgreSQL server: scripts/test starts one ($KELVARA_TEST_PG)";
  const QString location = PgTestDb::Make(server, QStringLiteral("kelvara_gone_%1").arg(::getpid()));
  ASSERT_FALSE(location.isEmpty());
  Archive archive;
  ASSERT_TRUE(archive.Open(location)) << archive.Error().toStdString();
  ASSERT_EQ(archive.StoreReport(Tested("Kunde", "X-1", QDate(2026, 1, 1))), Archive::Stored::New);
  const qint64 customer = archive.CustomerId("Kunde");
  ArchiveData::Customer c;
  ASSERT_TRUE(archive.ReadCustomer(customer, &c));
  // The server ends the archive's connection (as when it is restarted or the line drops).
  {
    QSqlDatabase admin = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("gone-admin"));
    const QUrl url(server);
    admin.setHostName(url.host());
    admin.setPort(url.port());
    admin.setUserName(url.userName());
    admin.setDatabaseName(url.path().mid(1));
    ASSERT_TRUE(admin.open());
    QSqlQuery q(admin);
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = "
                                      "'kelvara_gone_%1'")
                           .arg(::getpid())));
    admin.close();
  }
  QSqlDatabase::removeDatabase(QStringLiteral("gone-admin"));
  c.Telefon = "0221 1234";
  EXPECT_EQ(archive.SaveCustomer(c), 0);
  EXPECT_EQ(archive.LastFault(), Archive::Fault::Unreachable) << archive.Error().toStdString();
  EXPECT_TRUE(archive.Error().contains(QStringLiteral("nicht erreichbar"))) << archive.Error().toStdString();
  // Opened again, the change can be made; nothing of the failed one is there.
  Archive again;
  ASSERT_TRUE(again.Open(location));
  ArchiveData::Customer stored;
  ASSERT_TRUE(again.ReadCustomer(customer, &stored));
  EXPECT_TRUE(stored.Telefon.isEmpty());
  EXPECT_EQ(again.SaveCustomer(c), customer) << again.Error().toStdString();
}

}  // namespace
