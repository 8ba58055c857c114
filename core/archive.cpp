#include "core/archive.h"

#include <QAtomicInteger>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUrl>
#include <QVariant>
#include <algorithm>
#include <dirent.h>

#include "core/fileio.h"
#include "core/profile.h"
#include "core/userfolders.h"
#include "core/layout.h"

// Everything in which the two databases' SQL differs.
struct Archive::Dialect {
  QString IdColumn;    // an automatic primary key
  QString BytesType;   // a column for the data record file's bytes
  QString Like;        // a case-insensitive LIKE
};

namespace {

QAtomicInteger<int> g_connections;

constexpr int kFieldCustomer = Layout::kFieldAuftraggeber, kFieldDescription = Layout::kFieldGeraetArt,
              kFieldMaker = Layout::kFieldHersteller, kFieldSerial = Layout::kFieldSeriennummer,
              kFieldLocation = Layout::kFieldStandort, kFieldInventar = Layout::kFieldIdentnummer,
              kFieldInterval = Layout::kFieldPruefintervall, kFieldTester = Layout::kFieldPruefer,
              kFieldDate = Layout::kFieldPruefungAm, kFieldRemarks = Layout::kFieldBemerkung;

QString IsoDate(const QDate& d) { return d.isValid() ? d.toString(Qt::ISODate) : QString(); }
QDate FromIso(const QVariant& v) { return v.isNull() ? QDate() : QDate::fromString(v.toString(), Qt::ISODate); }

// The test interval in months from the report's "Prüfintervall" ("12",
// "24 Monate", "6 Mon."); 12 when it names none.
int IntervalMonths(const QString& text) {
  const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("(\\d{1,3})")).match(text);
  const int months = m.hasMatch() ? m.captured(1).toInt() : 0;
  return months >= 1 && months <= 120 ? months : 12;
}

}  // namespace

QString Archive::DefaultLocation() {
  const QString configured = qEnvironmentVariable("KELVARA_ARCHIVE");
  if (!configured.isEmpty()) return configured;
  const QString chosen = UserSettings::Value(QStringLiteral("Archiv"), QStringLiteral("Ort"));
  if (!chosen.isEmpty()) return chosen;
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Kelvara/archiv.sqlite");
}

Archive::Archive() : connection_(QStringLiteral("kelvara-archive-%1").arg(g_connections.fetchAndAddRelaxed(1))) {}

Archive::~Archive() { Close(); }

bool Archive::IsOpen() const { return QSqlDatabase::contains(connection_) && QSqlDatabase::database(connection_, false).isOpen(); }

void Archive::Close() {
  if (!QSqlDatabase::contains(connection_)) return;
  {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    db.close();
  }
  QSqlDatabase::removeDatabase(connection_);
}

bool Archive::Open(const QString& location) {
  Close();
  error_.clear();
  fault_ = Fault::None;
  dialect_ = std::make_unique<Dialect>();
  if (location.startsWith(QLatin1String("postgresql://")) || location.startsWith(QLatin1String("postgres://"))) {
    kind_ = Kind::PostgreSQL;
    *dialect_ = {QStringLiteral("BIGSERIAL PRIMARY KEY"), QStringLiteral("BYTEA"), QStringLiteral("ILIKE")};
    const QUrl url(location);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection_);
    db.setHostName(url.host().isEmpty() ? QStringLiteral("localhost") : url.host());
    if (url.port() > 0) db.setPort(url.port());
    db.setDatabaseName(url.path().mid(1).isEmpty() ? QStringLiteral("kelvara") : url.path().mid(1));
    if (!url.userName().isEmpty()) db.setUserName(url.userName());
    // A password comes from the usual places of PostgreSQL (~/.pgpass,
    // PGPASSWORD); one in the URL is taken but never stored by us.
    if (!url.password().isEmpty()) db.setPassword(url.password());
    db.setConnectOptions(QStringLiteral("connect_timeout=5"));
  } else {
    kind_ = Kind::SQLite;
    *dialect_ = {QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT"), QStringLiteral("BLOB"), QStringLiteral("LIKE")};
    QDir().mkpath(QFileInfo(location).absolutePath());
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    db.setDatabaseName(location);
    // Two programs writing at once wait for each other instead of failing.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
  }
  QSqlDatabase db = QSqlDatabase::database(connection_, false);
  if (!db.open()) {
    error_ = QStringLiteral("Das Archiv ist nicht erreichbar: %1").arg(db.lastError().text());
    fault_ = Fault::Unreachable;
    return false;
  }
  if (kind_ == Kind::SQLite) {
    Exec(QStringLiteral("PRAGMA foreign_keys = ON"));
    Exec(QStringLiteral("PRAGMA journal_mode = WAL"));
  }
  return Migrate();
}

bool Archive::Exec(const QString& sql) {
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  if (!q.exec(sql)) {
    error_ = q.lastError().text();
    return false;
  }
  return true;
}

int Archive::SchemaVersion() {
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  if (!q.exec(QStringLiteral("SELECT version FROM schema_version")) || !q.next()) return 0;
  return q.value(0).toInt();
}

bool Archive::Migrate() {
  QSqlDatabase db = QSqlDatabase::database(connection_, false);
  // Each step takes the schema from one version to the next; an archive made
  // by an older program is brought up to date, one by a newer one refused.
  const QStringList version1{
      QStringLiteral("CREATE TABLE customers (id %1, name TEXT NOT NULL UNIQUE, address TEXT NOT NULL DEFAULT '')")
          .arg(dialect_->IdColumn),
      QStringLiteral("CREATE TABLE appliances (id %1, customer_id BIGINT NOT NULL REFERENCES customers(id), "
                     "inventar_nr TEXT NOT NULL, description TEXT NOT NULL DEFAULT '', maker_type TEXT NOT NULL "
                     "DEFAULT '', location TEXT NOT NULL DEFAULT '', protection_class INTEGER NOT NULL DEFAULT 0, "
                     "interval_months INTEGER NOT NULL DEFAULT 12, last_test TEXT, next_due TEXT, "
                     "UNIQUE (customer_id, inventar_nr))")
          .arg(dialect_->IdColumn),
      QStringLiteral("CREATE INDEX appliances_due ON appliances (next_due)"),
      QStringLiteral("CREATE TABLE tests (id %1, appliance_id BIGINT NOT NULL REFERENCES appliances(id), "
                     "test_date TEXT NOT NULL, tester TEXT NOT NULL DEFAULT '', instrument TEXT NOT NULL DEFAULT '', "
                     "standard INTEGER NOT NULL, klasse INTEGER NOT NULL, sicht INTEGER NOT NULL, funktion INTEGER NOT "
                     "NULL, passed INTEGER NOT NULL, remarks TEXT NOT NULL DEFAULT '', corrects BIGINT REFERENCES "
                     "tests(id), record %2 NOT NULL, record_hash TEXT NOT NULL UNIQUE, stored_at TEXT NOT NULL)")
          .arg(dialect_->IdColumn, dialect_->BytesType),
      QStringLiteral("CREATE INDEX tests_history ON tests (appliance_id, test_date)"),
      QStringLiteral("CREATE TABLE test_rows (test_id BIGINT NOT NULL REFERENCES tests(id), row_index INTEGER NOT "
                     "NULL, measured TEXT NOT NULL, limit_text TEXT NOT NULL, active INTEGER NOT NULL, ok INTEGER "
                     "NOT NULL, PRIMARY KEY (test_id, row_index))"),
  };
  const std::vector<QStringList> steps{version1};

  if (!Exec(QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)"))) return false;
  int version = SchemaVersion();
  if (version > kSchemaVersion) {
    error_ = QStringLiteral("Das Archiv stammt von einer neueren Kelvara-Version (Schema %1).").arg(version);
    return false;
  }
  for (int step = version; step < kSchemaVersion; ++step) {
    if (!db.transaction()) {
      error_ = db.lastError().text();
      return false;
    }
    bool ok = true;
    for (const QString& sql : steps[size_t(step)]) ok = ok && Exec(sql);
    ok = ok && Exec(step == 0 ? QStringLiteral("INSERT INTO schema_version (version) VALUES (1)")
                              : QStringLiteral("UPDATE schema_version SET version = %1").arg(step + 1));
    if (!ok || !db.commit()) {
      const QString why = error_;
      db.rollback();
      // Two programs creating the archive at once: the other one was first.
      if (SchemaVersion() > step) continue;
      error_ = QStringLiteral("Das Archiv konnte nicht angelegt werden: %1").arg(why);
      return false;
    }
  }
  return true;
}

QDate Archive::TestDate(const ReportRecord& report, const QDate& fallback) {
  const QString text = report.Fields[kFieldDate].trimmed();
  for (const char* format : {"dd.MM.yyyy", "d.M.yyyy", "yyyy-MM-dd", "dd.MM.yy"}) {
    QDate d = QDate::fromString(text, QString::fromLatin1(format));
    if (d.isValid()) {
      if (d.year() < 100) d = d.addYears(2000);
      return d;
    }
  }
  return fallback;
}

ArchiveData::Appliance Archive::ApplianceOf(const ReportRecord& report, const QByteArray& recordFile) {
  ArchiveData::Appliance a;
  a.Customer = report.Fields[kFieldCustomer].simplified();
  if (a.Customer.isEmpty()) a.Customer = QStringLiteral("(ohne Auftraggeber)");
  a.InventarNr = report.Fields[kFieldInventar].simplified();
  // Without an Inventar-Nr. the serial number names the appliance, else the record itself.
  if (a.InventarNr.isEmpty() && !report.Fields[kFieldSerial].simplified().isEmpty())
    a.InventarNr = QStringLiteral("SN ") + report.Fields[kFieldSerial].simplified();
  if (a.InventarNr.isEmpty())
    a.InventarNr = QStringLiteral("ohne Nr. ") +
                   QString::fromLatin1(QCryptographicHash::hash(recordFile, QCryptographicHash::Sha256).toHex().left(8));
  a.Bezeichnung = report.Fields[kFieldDescription].simplified();
  a.HerstellerTyp = report.Fields[kFieldMaker].simplified();
  a.Standort = report.Fields[kFieldLocation].simplified();
  a.ProtectionClass = report.VdeKlasse;
  a.IntervalMonths = IntervalMonths(report.Fields[kFieldInterval]);
  return a;
}

Archive::Stored Archive::StoreReport(const ReportRecord& report, qint64 corrects, qint64* testId) {
  QByteArray bytes;
  if (Report::Encode(report, &bytes).status != Report::WriteResult::Ok) {
    error_ = QStringLiteral("Der Bericht enthält Zeichen, die ein Datensatz nicht speichern kann.");
    return Stored::Failed;
  }
  return StoreRecord(bytes, corrects, testId);
}

Archive::Stored Archive::StoreRecord(const QByteArray& recordFile, qint64 corrects, qint64* testId) {
  fault_ = Fault::None;
  ReportRecord report;
  const Report::ReadResult read = Report::ReadBytes(recordFile, kRowApplies, &report);
  if (read.status != Report::ReadResult::Ok) {
    error_ = QStringLiteral("Die Datei enthält keinen Datensatz eines Prüfprotokolls.");
    fault_ = Fault::Refused;
    return Stored::Failed;
  }
  QSqlDatabase db = QSqlDatabase::database(connection_, false);
  if (!db.isOpen()) {
    error_ = QStringLiteral("Das Archiv ist nicht geöffnet.");
    fault_ = Fault::Unreachable;
    return Stored::Failed;
  }
  const ArchiveData::Appliance appliance = ApplianceOf(report, recordFile);
  const QDate date = TestDate(report, QDate::currentDate());
  const QString hash = QString::fromLatin1(QCryptographicHash::hash(recordFile, QCryptographicHash::Sha256).toHex());

  auto fail = [&](const QSqlQuery& q) {
    error_ = q.lastError().text();
    fault_ = Fault::Unreachable;
    db.rollback();
    return Stored::Failed;
  };
  if (!db.transaction()) {
    error_ = db.lastError().text();
    fault_ = Fault::Unreachable;
    return Stored::Failed;
  }
  QSqlQuery q(db);
  // The customer and the appliance: made when new. A unique key and "do
  // nothing on conflict" keep two writers from making either twice.
  q.prepare(QStringLiteral("INSERT INTO customers (name) VALUES (?) ON CONFLICT (name) DO NOTHING"));
  q.addBindValue(appliance.Customer);
  if (!q.exec()) return fail(q);
  q.prepare(QStringLiteral("SELECT id FROM customers WHERE name = ?"));
  q.addBindValue(appliance.Customer);
  if (!q.exec() || !q.next()) return fail(q);
  const qint64 customerId = q.value(0).toLongLong();
  q.prepare(QStringLiteral("INSERT INTO appliances (customer_id, inventar_nr) VALUES (?, ?) "
                           "ON CONFLICT (customer_id, inventar_nr) DO NOTHING"));
  q.addBindValue(customerId);
  q.addBindValue(appliance.InventarNr);
  if (!q.exec()) return fail(q);
  q.prepare(QStringLiteral("SELECT id, last_test FROM appliances WHERE customer_id = ? AND inventar_nr = ?"));
  q.addBindValue(customerId);
  q.addBindValue(appliance.InventarNr);
  if (!q.exec() || !q.next()) return fail(q);
  const qint64 applianceId = q.value(0).toLongLong();
  const QDate lastTest = FromIso(q.value(1));

  // The test: its summary, its rows and the data record file as written.
  std::array<bool, kRowCount> shown{}, checked{};
  for (int r = 0; r < kRowCount; ++r) {
    shown[r] = report.RowActive[r] != 0;
    checked[r] = report.Ok[r];
  }
  const bool passed = Report::Passed(report.Sichtpruefung, report.Funktionspruefung, Report::GesamtOk(shown, checked));
  q.prepare(QStringLiteral("INSERT INTO tests (appliance_id, test_date, tester, instrument, standard, klasse, sicht, "
                           "funktion, passed, remarks, corrects, record, record_hash, stored_at) "
                           "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
                           "ON CONFLICT (record_hash) DO NOTHING RETURNING id"));
  q.addBindValue(applianceId);
  q.addBindValue(IsoDate(date));
  q.addBindValue(report.Fields[kFieldTester].simplified());
  q.addBindValue(report.Fields[Layout::kFieldMessgeraet].simplified());
  q.addBindValue(report.VdePruefgrundlage);
  q.addBindValue(report.VdeKlasse);
  q.addBindValue(report.Sichtpruefung ? 1 : 0);
  q.addBindValue(report.Funktionspruefung ? 1 : 0);
  q.addBindValue(passed ? 1 : 0);
  q.addBindValue(report.Fields[kFieldRemarks]);
  q.addBindValue(corrects > 0 ? QVariant(corrects) : QVariant(QMetaType(QMetaType::LongLong)));
  q.addBindValue(recordFile);
  q.addBindValue(hash);
  q.addBindValue(QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
  if (!q.exec()) return fail(q);
  if (!q.next()) {
    // The same data record file was stored before.
    db.rollback();
    return Stored::Duplicate;
  }
  const qint64 id = q.value(0).toLongLong();
  q.finish();
  q.prepare(QStringLiteral("INSERT INTO test_rows (test_id, row_index, measured, limit_text, active, ok) "
                           "VALUES (?, ?, ?, ?, ?, ?)"));
  for (int r = 0; r < kRowCount; ++r) {
    q.addBindValue(id);
    q.addBindValue(r);
    q.addBindValue(report.MessText[r]);
    q.addBindValue(report.GrenzText[r]);
    q.addBindValue(shown[r] ? 1 : 0);
    q.addBindValue(checked[r] ? 1 : 0);
    if (!q.exec()) return fail(q);
  }
  // The appliance as this test describes it, and its next test date when the
  // test is its latest.
  const bool latest = !lastTest.isValid() || date >= lastTest;
  q.prepare(QStringLiteral("UPDATE appliances SET description = CASE WHEN ? = '' THEN description ELSE ? END, "
                           "maker_type = CASE WHEN ? = '' THEN maker_type ELSE ? END, "
                           "location = CASE WHEN ? = '' THEN location ELSE ? END, protection_class = ?, "
                           "interval_months = ?, last_test = ?, next_due = ? WHERE id = ?"));
  for (const QString& text : {appliance.Bezeichnung, appliance.HerstellerTyp, appliance.Standort}) {
    q.addBindValue(text);
    q.addBindValue(text);
  }
  q.addBindValue(appliance.ProtectionClass);
  q.addBindValue(appliance.IntervalMonths);
  const QDate last = latest ? date : lastTest;
  q.addBindValue(IsoDate(last));
  q.addBindValue(IsoDate(last.addMonths(appliance.IntervalMonths)));
  q.addBindValue(applianceId);
  if (!q.exec()) return fail(q);
  if (!db.commit()) {
    error_ = db.lastError().text();
    db.rollback();
    return Stored::Failed;
  }
  if (testId) *testId = id;
  return Stored::New;
}

Archive::ImportResult Archive::ImportFolder(const QString& folder) {
  ImportResult result;
  // The names as the file system holds them: a name that is not UTF-8 (from a
  // Windows share) is read by its bytes and shown as well as it can be.
  std::vector<QByteArray> files;
  const QByteArray native = QFile::encodeName(folder);
  if (DIR* dir = ::opendir(native.constData())) {
    while (dirent* entry = ::readdir(dir)) {
      const QByteArray name(entry->d_name);
      if (name.startsWith('.') || !name.toLower().endsWith(".ini")) continue;
      files.push_back(name);
    }
    ::closedir(dir);
  }
  std::sort(files.begin(), files.end());
  for (const QByteArray& name : files) {
    QByteArray bytes;
    QString why;
    const FileIO::ReadResult read =
        FileIO::ReadFileNative(native + '/' + name, TProfile::kMaxFileSize, &bytes, &why);
    if (read != FileIO::ReadResult::Ok) {
      // Anything but a data record file of a sensible size: a pipe, a device, a folder.
      if (read == FileIO::ReadResult::Missing) continue;  // gone since it was listed
      result.unreadable << QStringLiteral("%1: %2").arg(QFile::decodeName(name), why);
      continue;
    }
    switch (StoreRecord(bytes)) {
      case Stored::New: ++result.stored; break;
      case Stored::Duplicate: ++result.duplicates; break;
      case Stored::Failed: result.unreadable << QStringLiteral("%1: %2").arg(QFile::decodeName(name), error_); break;
    }
  }
  return result;
}

std::vector<ArchiveData::Appliance> Archive::QueryAppliances(const QString& where, const QVariantList& values) {
  std::vector<ArchiveData::Appliance> list;
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  q.setForwardOnly(true);
  q.prepare(QStringLiteral("SELECT a.id, c.name, a.inventar_nr, a.description, a.maker_type, a.location, "
                           "a.protection_class, a.interval_months, a.last_test, a.next_due "
                           "FROM appliances a JOIN customers c ON c.id = a.customer_id ") +
            where);
  for (const QVariant& v : values) q.addBindValue(v);
  if (!q.exec()) {
    error_ = q.lastError().text();
    return list;
  }
  while (q.next()) {
    ArchiveData::Appliance a;
    a.Id = q.value(0).toLongLong();
    a.Customer = q.value(1).toString();
    a.InventarNr = q.value(2).toString();
    a.Bezeichnung = q.value(3).toString();
    a.HerstellerTyp = q.value(4).toString();
    a.Standort = q.value(5).toString();
    a.ProtectionClass = q.value(6).toInt();
    a.IntervalMonths = q.value(7).toInt();
    a.LastTest = FromIso(q.value(8));
    a.NextDue = FromIso(q.value(9));
    list.push_back(a);
  }
  return list;
}

std::vector<ArchiveData::Appliance> Archive::DueList(int days, const QDate& today) {
  return QueryAppliances(QStringLiteral("WHERE a.next_due <= ? ORDER BY a.next_due, c.name, a.inventar_nr"),
                         {IsoDate(today.addDays(days))});
}

std::vector<ArchiveData::Appliance> Archive::Search(const QString& text, int limit) {
  QString pattern = text;
  pattern.replace(QLatin1String("\\"), QLatin1String("\\\\")).replace(QLatin1String("%"), QLatin1String("\\%"))
      .replace(QLatin1String("_"), QLatin1String("\\_"));
  pattern = QLatin1Char('%') + pattern + QLatin1Char('%');
  const QString like = dialect_->Like;
  return QueryAppliances(QStringLiteral("WHERE a.inventar_nr %1 ? ESCAPE '\\' OR a.description %1 ? ESCAPE '\\' "
                                        "OR c.name %1 ? ESCAPE '\\' ORDER BY c.name, a.inventar_nr LIMIT %2")
                             .arg(like)
                             .arg(limit),
                         {pattern, pattern, pattern});
}

std::vector<ArchiveData::Appliance> Archive::Appliances(const QString& customer) {
  if (customer.isEmpty()) return QueryAppliances(QStringLiteral("ORDER BY c.name, a.inventar_nr"), {});
  return QueryAppliances(QStringLiteral("WHERE c.name = ? ORDER BY a.inventar_nr"), {customer});
}

QStringList Archive::Customers() {
  QStringList names;
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  if (q.exec(QStringLiteral("SELECT name FROM customers ORDER BY name")))
    while (q.next()) names << q.value(0).toString();
  return names;
}

int Archive::TestCount() {
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM tests")) || !q.next()) return -1;
  return q.value(0).toInt();
}

std::vector<ArchiveData::Test> Archive::History(qint64 applianceId) {
  std::vector<ArchiveData::Test> tests;
  QSqlDatabase db = QSqlDatabase::database(connection_, false);
  QSqlQuery q(db);
  q.setForwardOnly(true);
  q.prepare(QStringLiteral("SELECT id, test_date, tester, instrument, standard, klasse, sicht, funktion, passed, "
                           "remarks, corrects, record FROM tests WHERE appliance_id = ? ORDER BY test_date, id"));
  q.addBindValue(applianceId);
  if (!q.exec()) {
    error_ = q.lastError().text();
    return tests;
  }
  while (q.next()) {
    ArchiveData::Test t;
    t.Id = q.value(0).toLongLong();
    t.ApplianceId = applianceId;
    t.Date = FromIso(q.value(1));
    t.Tester = q.value(2).toString();
    t.Instrument = q.value(3).toString();
    t.Standard = q.value(4).toInt();
    t.Klasse = q.value(5).toInt();
    t.Sichtpruefung = q.value(6).toInt() != 0;
    t.Funktionspruefung = q.value(7).toInt() != 0;
    t.Passed = q.value(8).toInt() != 0;
    t.Remarks = q.value(9).toString();
    t.Corrects = q.value(10).isNull() ? 0 : q.value(10).toLongLong();
    t.Record = q.value(11).toByteArray();
    tests.push_back(t);
  }
  QSqlQuery rows(db);
  rows.setForwardOnly(true);
  rows.prepare(QStringLiteral("SELECT row_index, measured, limit_text, active, ok FROM test_rows WHERE test_id = ?"));
  for (ArchiveData::Test& t : tests) {
    rows.addBindValue(t.Id);
    if (!rows.exec()) continue;
    while (rows.next()) {
      const int r = rows.value(0).toInt();
      if (r < 0 || r >= kRowCount) continue;
      t.Rows[size_t(r)] = {rows.value(1).toString(), rows.value(2).toString(), rows.value(3).toInt() != 0,
                           rows.value(4).toInt() != 0};
    }
  }
  return tests;
}
