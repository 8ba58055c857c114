// The archive's proof: the chain over its tests (appended in StoreRecord,
// begun for older archives by the migration, walked by CheckChain), finding a
// test by its fingerprint or data record file, backups and their restore, and
// the roles of a team's server.
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUrl>
#include <QVariant>
#include <algorithm>
#include <cerrno>
#include <map>
#include <unistd.h>

#include "core/archive.h"
#include "core/chain.h"
#include "core/fileio.h"

// A stored test as the chain sees it.
struct Archive::Link {
  qint64 id = 0, applianceId = 0;
  bool chained = false;  // has a place and a hash at all
  bool odd = false;      // a number column holds something that is no whole number
  Chain::Entry entry;
  QString hash;
  QString customer, inventarNr;
};

namespace {

// Tests are read in pieces of this many: memory stays small, and each piece
// is one watched call to a server.
constexpr int kPiece = 500;

// Watches one call to a server, as the archive's own calls are watched.
class Watched {
 public:
  explicit Watched(Archive* archive, void (Archive::*watch)(), void (Archive::*unwatch)())
      : archive_(archive), unwatch_(unwatch) {
    (archive_->*watch)();
  }
  ~Watched() { (archive_->*unwatch_)(); }

 private:
  Archive* archive_;
  void (Archive::*unwatch_)();
};

QString DayText(const QString& iso) {
  const QDate d = QDate::fromString(iso, Qt::ISODate);
  return d.isValid() ? d.toString(QStringLiteral("dd.MM.yyyy")) : iso;
}

QString Placeholders(int n) {
  QStringList marks;
  for (int i = 0; i < n; ++i) marks << QStringLiteral("?");
  return marks.join(QLatin1Char(','));
}

// A whole number as a column gives it; false for anything else (a text, a
// fraction) that a plain conversion would quietly turn into one.
bool WholeNumber(const QVariant& v, qint64* n) {
  bool ok = false;
  *n = v.toLongLong(&ok);
  return ok && v.toString() == QString::number(*n);
}

ArchiveData::Test TestOf(const Chain::Entry& e, qint64 id, qint64 applianceId, const QString& hash) {
  ArchiveData::Test t;
  t.Id = id;
  t.ApplianceId = applianceId;
  t.Date = QDate::fromString(e.testDate, Qt::ISODate);
  t.Tester = e.tester;
  t.Instrument = e.instrument;
  t.Remarks = e.remarks;
  t.Standard = e.standard;
  t.Klasse = e.klasse;
  t.Sichtpruefung = e.sicht != 0;
  t.Funktionspruefung = e.funktion != 0;
  t.Passed = e.passed != 0;
  t.Corrects = e.corrects;
  t.Record = e.record;
  t.ChainSeq = e.seq;
  t.ChainHash = hash;
  for (size_t r = 0; r < e.rows.size(); ++r)
    t.Rows[r] = {e.rows[r].measured, e.rows[r].limit, e.rows[r].active != 0, e.rows[r].ok != 0};
  return t;
}

}  // namespace

QString Archive::NameOf(const Link& link) const {
  return QStringLiteral("Prüfung Nr. %1 (%2, Inventar-Nr. %3, geprüft am %4)")
      .arg(link.id)
      .arg(link.customer.isEmpty() ? QStringLiteral("ohne Gerät") : link.customer,
           link.inventarNr.isEmpty() ? QStringLiteral("?") : link.inventarNr, DayText(link.entry.testDate));
}

bool Archive::LoadLinks(const QString& where, const QVariantList& values, std::vector<Link>* links) {
  links->clear();
  QSqlDatabase db = QSqlDatabase::database(connection_, false);
  Watched watched(this, &Archive::Watch, &Archive::Unwatch);
  QSqlQuery q(db);
  q.setForwardOnly(true);
  q.prepare(QStringLiteral("SELECT t.id, t.appliance_id, t.chain_seq, t.chain_hash, t.test_date, t.tester, t.instrument, "
                           "t.standard, t.klasse, t.sicht, t.funktion, t.passed, t.remarks, t.corrects, t.stored_at, "
                           "t.record_hash, t.record, c.name, a.inventar_nr FROM tests t "
                           "LEFT JOIN appliances a ON a.id = t.appliance_id "
                           "LEFT JOIN customers c ON c.id = a.customer_id ") +
            where);
  for (const QVariant& v : values) q.addBindValue(v);
  if (!q.exec()) return Fail(q.lastError());
  std::map<qint64, size_t> index;
  while (q.next()) {
    Link link;
    link.id = q.value(0).toLongLong();
    link.applianceId = q.value(1).toLongLong();
    link.chained = !q.value(2).isNull() && !q.value(3).isNull();
    Chain::Entry& e = link.entry;
    qint64 n = 0;
    link.odd |= !q.value(2).isNull() && !WholeNumber(q.value(2), &e.seq);
    link.hash = q.value(3).toString();
    e.testDate = q.value(4).toString();
    e.tester = q.value(5).toString();
    e.instrument = q.value(6).toString();
    int* numbers[] = {&e.standard, &e.klasse, &e.sicht, &e.funktion, &e.passed};
    for (int i = 0; i < 5; ++i) {
      link.odd |= !WholeNumber(q.value(7 + i), &n);
      *numbers[i] = int(n);
    }
    e.remarks = q.value(12).toString();
    if (!q.value(13).isNull()) link.odd |= !WholeNumber(q.value(13), &e.corrects);
    e.storedAt = q.value(14).toString();
    e.recordHash = q.value(15).toString();
    e.record = q.value(16).toByteArray();
    link.customer = q.value(17).toString();
    link.inventarNr = q.value(18).toString();
    index[link.id] = links->size();
    links->push_back(link);
  }
  if (q.lastError().isValid()) return Fail(q.lastError());
  q.finish();
  if (links->empty()) return true;
  QSqlQuery rows(db);
  rows.setForwardOnly(true);
  rows.prepare(QStringLiteral("SELECT test_id, row_index, measured, limit_text, active, ok FROM test_rows "
                              "WHERE test_id IN (%1)")
                   .arg(Placeholders(int(links->size()))));
  for (const Link& link : *links) rows.addBindValue(link.id);
  if (!rows.exec()) return Fail(rows.lastError());
  while (rows.next()) {
    const auto it = index.find(rows.value(0).toLongLong());
    const int r = rows.value(1).toInt();
    if (it == index.end() || r < 0 || r >= kRowCount) continue;
    Link& link = (*links)[it->second];
    Chain::Row& row = link.entry.rows[size_t(r)];
    qint64 active = 0, ok = 0;
    link.odd |= !WholeNumber(rows.value(4), &active) || !WholeNumber(rows.value(5), &ok);
    row = {true, rows.value(2).toString(), rows.value(3).toString(), int(active), int(ok)};
  }
  if (rows.lastError().isValid()) return Fail(rows.lastError());
  return true;
}

bool Archive::LockChainHead(qint64* seq, QString* hash) {
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  // SQLite: a write first, so the file's write lock is taken (or waited for)
  // now and the end read below stays the end until the commit. PostgreSQL:
  // the row is locked until the commit; a second writer waits here.
  if (kind_ == Kind::SQLite && !q.exec(QStringLiteral("UPDATE chain_head SET seq = seq WHERE id = 1")))
    return Fail(q.lastError());
  if (!q.exec(kind_ == Kind::PostgreSQL ? QStringLiteral("SELECT seq, hash FROM chain_head WHERE id = 1 FOR UPDATE")
                                        : QStringLiteral("SELECT seq, hash FROM chain_head WHERE id = 1")))
    return Fail(q.lastError());
  if (!q.next()) {
    if (q.lastError().isValid()) return Fail(q.lastError());
    return Fail(Fault::Damaged, QStringLiteral("Im Archiv %1 fehlt das Ende der Prüfkette (jemand hat es außerhalb von "
                                               "Kelvara gelöscht). Es werden keine Prüfungen mehr angehängt. Prüfen Sie "
                                               "das Archiv mit „kelvara-cli archive verify“ und spielen Sie die letzte "
                                               "Sicherung zurück.")
                                    .arg(location_));
  }
  *seq = q.value(0).toLongLong();
  *hash = q.value(1).toString();
  return true;
}

bool Archive::ChainExisting() {
  // In the migration's transaction: every test so far, in the order stored.
  QSqlDatabase db = QSqlDatabase::database(connection_, false);
  std::vector<qint64> ids;
  {
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT id FROM tests ORDER BY id"))) return Fail(q.lastError());
    while (q.next()) ids.push_back(q.value(0).toLongLong());
    if (q.lastError().isValid()) return Fail(q.lastError());
  }
  qint64 seq = 0;
  QString previous = Chain::Genesis();
  QSqlQuery update(db);
  update.prepare(QStringLiteral("UPDATE tests SET chain_seq = ?, chain_hash = ? WHERE id = ?"));
  for (size_t first = 0; first < ids.size(); first += kPiece) {
    const size_t count = std::min<size_t>(kPiece, ids.size() - first);
    QVariantList values;
    for (size_t i = 0; i < count; ++i) values << ids[first + i];
    std::vector<Link> links;
    if (!LoadLinks(QStringLiteral("WHERE t.id IN (%1) ORDER BY t.id").arg(Placeholders(int(count))), values, &links))
      return false;
    for (Link& link : links) {
      link.entry.seq = ++seq;
      const QString hash = Chain::Hash(link.entry, previous);
      update.addBindValue(seq);
      update.addBindValue(hash);
      update.addBindValue(link.id);
      if (!update.exec()) return Fail(update.lastError());
      previous = hash;
    }
  }
  QSqlQuery head(db);
  head.prepare(QStringLiteral("INSERT INTO chain_head (id, seq, hash) VALUES (1, ?, ?)"));
  head.addBindValue(seq);
  head.addBindValue(previous);
  if (!head.exec()) return Fail(head.lastError());
  return true;
}

Archive::ChainCheck Archive::CheckChain(const std::function<bool(qint64, qint64)>& progress) {
  ChainCheck check;
  if (!Ready()) return check;
  QSqlDatabase db = QSqlDatabase::database(connection_, false);
  // One snapshot for the whole walk: tests stored meanwhile come after its end.
  if (!db.transaction()) {
    Fail(db.lastError());
    return check;
  }
  if (kind_ == Kind::PostgreSQL && !Exec(QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ"))) {
    db.rollback();
    return check;
  }
  check = WalkChain(progress);
  db.rollback();  // nothing was written
  return check;
}

Archive::ChainCheck Archive::WalkChain(const std::function<bool(qint64, qint64)>& progress) {
  ChainCheck check;
  QSqlDatabase db = QSqlDatabase::database(connection_, false);
  auto note = [&](qint64 testId, const QString& what) {
    if (check.broken++ == 0) {
      check.first = what;
      check.firstTestId = testId;
    }
  };
  qint64 headSeq = -1;
  QString headHash;
  {
    Watched watched(this, &Archive::Watch, &Archive::Unwatch);
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM tests")) || !q.next()) return Fail(q.lastError()), check;
    check.tests = q.value(0).toLongLong();
    if (!q.exec(QStringLiteral("SELECT seq, hash FROM chain_head WHERE id = 1"))) return Fail(q.lastError()), check;
    if (q.next()) {
      headSeq = q.value(0).toLongLong();
      headHash = q.value(1).toString();
    }
    if (q.lastError().isValid()) return Fail(q.lastError()), check;
    // Tests put in beside the chain (without a place in it).
    if (!q.exec(QStringLiteral("SELECT MIN(id), COUNT(*) FROM tests WHERE chain_seq IS NULL OR chain_hash IS NULL")) ||
        !q.next())
      return Fail(q.lastError()), check;
    if (q.value(1).toLongLong() > 0) {
      std::vector<Link> odd;
      if (!LoadLinks(QStringLiteral("WHERE t.id = ?"), {q.value(0)}, &odd)) return check;
      if (!odd.empty())
        note(odd.front().id, QStringLiteral("%1 steht in keiner Prüfkette: sie wurde außerhalb von Kelvara eingefügt "
                                            "oder ihr Platz in der Kette gelöscht (%2 solche Prüfungen).")
                                 .arg(NameOf(odd.front()))
                                 .arg(q.value(1).toLongLong()));
    }
  }
  if (headSeq < 0)
    note(0, QStringLiteral("Das Ende der Prüfkette fehlt im Archiv (außerhalb von Kelvara gelöscht)."));

  QString previous = Chain::Genesis();
  qint64 expected = 1, done = 0, lastSeq = 0;
  QString lastHash = Chain::Genesis();
  qint64 after = 0;
  for (;;) {
    std::vector<Link> links;
    if (!LoadLinks(QStringLiteral("WHERE t.chain_seq > ? AND t.chain_hash IS NOT NULL ORDER BY t.chain_seq LIMIT %1")
                       .arg(kPiece),
                   {after}, &links))
      return check;
    if (links.empty()) break;
    for (const Link& link : links) {
      const Chain::Entry& e = link.entry;
      if (e.seq != expected) {
        const qint64 missing = e.seq - expected;
        note(link.id, missing > 0
                          ? (missing == 1 ? QStringLiteral("Vor %1 fehlt eine Prüfung der Kette: sie wurde außerhalb von "
                                                           "Kelvara gelöscht.")
                                                .arg(NameOf(link))
                                          : QStringLiteral("Vor %1 fehlen %2 Prüfungen der Kette: sie wurden außerhalb von "
                                                           "Kelvara gelöscht.")
                                                .arg(NameOf(link))
                                                .arg(missing))
                          : QStringLiteral("%1 hat einen falschen Platz in der Prüfkette.").arg(NameOf(link)));
      } else if (link.odd) {
        note(link.id, QStringLiteral("%1 wurde nach dem Speichern verändert: eine Zahl in ihren Werten ist keine ganze "
                                     "Zahl mehr.")
                          .arg(NameOf(link)));
      } else if (QString::fromLatin1(QCryptographicHash::hash(e.record, QCryptographicHash::Sha256).toHex()) !=
                 e.recordHash) {
        note(link.id, QStringLiteral("%1 wurde nach dem Speichern verändert: ihr Datensatz ist nicht mehr der "
                                     "gespeicherte.")
                          .arg(NameOf(link)));
      } else if (Chain::Hash(e, previous) != link.hash) {
        note(link.id, QStringLiteral("%1 stimmt nicht mehr mit ihrem Prüfnachweis überein: sie (oder die Prüfung vor "
                                     "ihr) wurde nach dem Speichern verändert.")
                          .arg(NameOf(link)));
      }
      previous = link.hash;
      expected = e.seq + 1;
      lastSeq = e.seq;
      lastHash = link.hash;
      after = e.seq;
      ++done;
    }
    if (progress && !progress(done, check.tests)) {
      check.canceled = true;
      return check;
    }
  }
  if (headSeq >= 0) {
    if (headSeq > lastSeq)
      note(0, headSeq - lastSeq == 1
                  ? QStringLiteral("Die letzte Prüfung der Kette fehlt: sie wurde außerhalb von Kelvara gelöscht (die "
                                   "letzte vorhandene ist Glied %1 der Kette).")
                        .arg(lastSeq)
                  : QStringLiteral("Die letzten %1 Prüfungen der Kette fehlen: sie wurden außerhalb von Kelvara gelöscht "
                                   "(die letzte vorhandene ist Glied %2 der Kette).")
                        .arg(headSeq - lastSeq)
                        .arg(lastSeq));
    else if (headSeq < lastSeq || headHash != lastHash)
      note(0, QStringLiteral("Das Ende der Prüfkette passt nicht zu ihrer letzten Prüfung (außerhalb von Kelvara "
                             "verändert)."));
  }
  check.head = lastHash;
  check.holds = check.broken == 0;
  return check;
}

bool Archive::CheckLink(const Link& link, Found* found) {
  found->test = TestOf(link.entry, link.id, link.applianceId, link.hash);
  found->customer = link.customer;
  found->inventarNr = link.inventarNr;
  found->matches = false;
  if (!link.chained) {
    found->why = QStringLiteral("%1 steht in keiner Prüfkette (außerhalb von Kelvara eingefügt).").arg(NameOf(link));
    return true;
  }
  QString previous = Chain::Genesis();
  if (link.entry.seq > 1) {
    Watched watched(this, &Archive::Watch, &Archive::Unwatch);
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("SELECT chain_hash FROM tests WHERE chain_seq = ?"));
    q.addBindValue(link.entry.seq - 1);
    if (!q.exec()) return Fail(q.lastError());
    if (!q.next()) {
      if (q.lastError().isValid()) return Fail(q.lastError());
      found->why = QStringLiteral("Die Prüfung vor %1 fehlt in der Kette (außerhalb von Kelvara gelöscht); ob diese "
                                  "Prüfung unverändert ist, lässt sich so nicht bestätigen.")
                       .arg(NameOf(link));
      return true;
    }
    previous = q.value(0).toString();
  }
  if (link.odd ||
      QString::fromLatin1(QCryptographicHash::hash(link.entry.record, QCryptographicHash::Sha256).toHex()) !=
          link.entry.recordHash) {
    found->why = QStringLiteral("%1 wurde nach dem Speichern verändert.").arg(NameOf(link));
    return true;
  }
  if (Chain::Hash(link.entry, previous) != link.hash) {
    found->why = QStringLiteral("%1 stimmt nicht mehr mit ihrem Prüfnachweis überein: sie wurde nach dem Speichern "
                                "verändert.")
                     .arg(NameOf(link));
    return true;
  }
  found->matches = true;
  return true;
}

std::vector<Archive::Found> Archive::FindByFingerprint(const QString& digits) {
  std::vector<Found> result;
  if (!Ready()) return result;
  // A range of the index over the hashes: every hash that begins with the digits.
  std::vector<Link> links;
  if (!LoadLinks(QStringLiteral("WHERE t.chain_hash >= ? AND t.chain_hash < ? ORDER BY t.chain_seq LIMIT 20"),
                 {digits.toLower(), digits.toLower() + QLatin1Char('g')}, &links))
    return result;
  for (const Link& link : links) {
    if (!link.hash.startsWith(digits.toLower())) continue;
    Found found;
    if (!CheckLink(link, &found)) return {};
    result.push_back(found);
  }
  return result;
}

std::vector<Archive::Found> Archive::FindByRecord(const QByteArray& recordFile) {
  std::vector<Found> result;
  if (!Ready()) return result;
  std::vector<Link> links;
  const QString hash = QString::fromLatin1(QCryptographicHash::hash(recordFile, QCryptographicHash::Sha256).toHex());
  if (!LoadLinks(QStringLiteral("WHERE t.record_hash = ?"), {hash}, &links)) return result;
  for (const Link& link : links) {
    Found found;
    if (!CheckLink(link, &found)) return {};
    result.push_back(found);
  }
  return result;
}

std::vector<Archive::Found> Archive::FindSameTest(const ReportRecord& report) {
  std::vector<Found> result;
  if (!Ready()) return result;
  const ArchiveData::Appliance a = ApplianceOf(report, QByteArray());
  // The appliance under any name its customer had and any number it had (the
  // report may be older than a rename or a merge), with those merged into it.
  const qint64 customerId = CustomerId(Chain::Normalized(a.Customer));
  if (Failed() || customerId == 0) return result;
  const std::map<QString, ArchiveData::Appliance> known = Lookup(customerId, {Chain::Normalized(a.InventarNr)});
  const auto it = known.find(NumberKey(Chain::Normalized(a.InventarNr)));
  if (Failed() || it == known.end()) return result;
  std::vector<Link> links;
  if (!LoadLinks(QStringLiteral("WHERE t.appliance_id IN (SELECT ? UNION ALL SELECT id FROM appliances WHERE "
                                "merged_into = ?) AND t.test_date = ? ORDER BY t.chain_seq"),
                 {it->second.Id, it->second.Id, TestDate(report, QDate()).toString(Qt::ISODate)}, &links))
    return result;
  for (const Link& link : links) {
    Found found;
    if (!CheckLink(link, &found)) return {};
    result.push_back(found);
  }
  return result;
}

QString Archive::HashOfRecord(const QByteArray& recordFile) {
  if (!Ready()) return QString();
  Watched watched(this, &Archive::Watch, &Archive::Unwatch);
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  q.prepare(QStringLiteral("SELECT chain_hash FROM tests WHERE record_hash = ?"));
  q.addBindValue(QString::fromLatin1(QCryptographicHash::hash(recordFile, QCryptographicHash::Sha256).toHex()));
  if (!q.exec()) return Fail(q.lastError()), QString();
  return q.next() ? q.value(0).toString() : QString();
}

// ---- backups

namespace {

QString Tests(qint64 n) { return n == 1 ? QStringLiteral("1 Prüfung") : QStringLiteral("%1 Prüfungen").arg(n); }

QString Summary(const Archive::ChainCheck& check) {
  if (check.holds)
    return QStringLiteral("%1, Prüfkette intakt (letzter Prüfnachweis %2).")
        .arg(Tests(check.tests), Chain::Grouped(Chain::Fingerprint(check.head)));
  return QStringLiteral("%1, Prüfkette gebrochen: %2").arg(Tests(check.tests), check.first);
}

// Runs one of PostgreSQL's tools on a server address; false with *error
// (German) when it is not there or fails.
bool RunTool(const QString& tool, const QStringList& arguments, const QString& password, int timeoutMs, QString* error,
             QProcess* started = nullptr) {
  const QString program = QStandardPaths::findExecutable(tool);
  if (program.isEmpty()) {
    *error = QStringLiteral("Kelvara braucht dafür das Programm %1 (Paket postgresql-client). Installieren Sie es mit "
                            "„sudo apt install postgresql-client“.")
                 .arg(tool);
    return false;
  }
  QProcess own;
  QProcess& p = started ? *started : own;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  if (!password.isEmpty()) env.insert(QStringLiteral("PGPASSWORD"), password);
  env.insert(QStringLiteral("PGCONNECT_TIMEOUT"), QStringLiteral("5"));
  p.setProcessEnvironment(env);
  p.start(program, arguments);
  if (!p.waitForStarted(10000)) {
    *error = QStringLiteral("%1 lässt sich nicht starten.").arg(tool);
    return false;
  }
  if (started) return true;
  if (!p.waitForFinished(timeoutMs)) {
    p.kill();
    p.waitForFinished(5000);
    *error = QStringLiteral("%1 ist nach %2 Minuten nicht fertig geworden und wurde beendet.").arg(tool).arg(timeoutMs / 60000);
    return false;
  }
  if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
    QString said = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
    if (said.size() > 400) said = said.left(400) + QStringLiteral("...");
    *error = QStringLiteral("%1 meldet einen Fehler: %2").arg(tool, said.isEmpty() ? QStringLiteral("(ohne Text)") : said);
    return false;
  }
  return true;
}

// Copies a file into an open temporary file, checking every write.
bool CopyInto(const QString& from, int fd, QString* error) {
  QFile in(from);
  if (!in.open(QIODevice::ReadOnly)) {
    *error = QStringLiteral("%1 kann nicht gelesen werden: %2").arg(from, in.errorString());
    return false;
  }
  QByteArray buffer(1 << 20, Qt::Uninitialized);
  for (;;) {
    const qint64 n = in.read(buffer.data(), buffer.size());
    if (n < 0) {
      *error = QStringLiteral("%1 kann nicht gelesen werden: %2").arg(from, in.errorString());
      return false;
    }
    if (n == 0) return true;
    for (qint64 written = 0; written < n;) {
      const ssize_t w = ::write(fd, buffer.constData() + written, size_t(n - written));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        *error = FileIO::ErrorText(w < 0 ? errno : ENOSPC);
        return false;
      }
      written += w;
    }
  }
}

}  // namespace

bool Archive::Backup(const QString& file, QString* summary) {
  if (!Ready()) return false;
  const QFileInfo target(file);
  if (target.isDir())
    return Fail(Fault::Config, QStringLiteral("%1 ist ein Ordner; nennen Sie eine Datei für die Sicherung.").arg(file));
  // What a backup killed before it ended left there.
  FileIO::RemoveStaleTempFiles(target.absolutePath());
  QByteArray temp;
  QString error;
  const int fd = FileIO::CreateTempFile(target.absolutePath(), &temp, &error);
  if (fd < 0)
    return Fail(Fault::ReadOnly, QStringLiteral("Die Sicherung %1 kann nicht angelegt werden: %2").arg(file, error));
  ::close(fd);
  const QString tempPath = QFile::decodeName(temp);
  auto dropTemp = [&] { QFile::remove(tempPath); };

  if (kind_ == Kind::SQLite) {
    // A consistent copy made in one read transaction: stores of other
    // programs go on meanwhile and are in the copy or not, never half.
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.prepare(QStringLiteral("VACUUM INTO ?"));
    q.addBindValue(tempPath);
    if (!q.exec()) {
      const int code = q.lastError().nativeErrorCode().toInt() & 0xff;
      dropTemp();
      if (code == 13) return Fail(Fault::Full, QStringLiteral("Die Sicherung %1 wurde nicht geschrieben: %2")
                                                   .arg(file, FileIO::ErrorText(ENOSPC)));
      return Fail(q.lastError());
    }
    // What the copy holds, read from the copy itself.
    {
      Archive copy;
      if (!copy.Open(tempPath, OpenMode::ExistingOnly)) {
        const QString why = copy.Error();
        copy.Close();
        dropTemp();
        return Fail(Fault::Damaged, QStringLiteral("Die Sicherung ist nicht lesbar: %1").arg(why));
      }
      const ChainCheck check = copy.CheckChain();
      if (copy.Failed()) {
        const QString why = copy.Error();
        copy.Close();
        dropTemp();
        return Fail(Fault::Damaged, QStringLiteral("Die Sicherung ist nicht lesbar: %1").arg(why));
      }
      *summary = Summary(check);
    }
    for (const char* part : {"-wal", "-shm"}) QFile::remove(tempPath + QLatin1String(part));
  } else {
    // pg_dump in the snapshot this connection reads: the summary is what the dump holds.
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    if (!db.transaction()) {
      dropTemp();
      return Fail(db.lastError());
    }
    QSqlQuery q(db);
    QString snapshot;
    if (!q.exec(QStringLiteral("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ")) ||
        !q.exec(QStringLiteral("SELECT pg_export_snapshot()")) || !q.next()) {
      Fail(q.lastError());
      db.rollback();
      dropTemp();
      return false;
    }
    snapshot = q.value(0).toString();
    QString password;
    const QString uri = ServerUri(location_, &password);
    QProcess dump;
    if (!RunTool(QStringLiteral("pg_dump"),
                 {QStringLiteral("--format=plain"), QStringLiteral("--no-owner"), QStringLiteral("--no-privileges"),
                  QStringLiteral("--snapshot=") + snapshot, QStringLiteral("--file=") + tempPath,
                  QStringLiteral("--dbname=") + uri},
                 password, 0, &error, &dump)) {
      db.rollback();
      dropTemp();
      return Fail(Fault::Config, error);
    }
    const ChainCheck check = WalkChain({});
    const bool walked = !Failed();
    const QString walkError = error_;
    const Fault walkFault = fault_;
    // The snapshot lives as long as this transaction: pg_dump has to finish first.
    const bool finished = dump.waitForFinished(-1);
    const QString said = QString::fromLocal8Bit(dump.readAllStandardError()).trimmed().left(400);
    db.rollback();
    if (!finished || dump.exitStatus() != QProcess::NormalExit || dump.exitCode() != 0) {
      dropTemp();
      return Fail(Fault::Refused, QStringLiteral("pg_dump meldet einen Fehler: %1").arg(said));
    }
    if (!walked) {
      dropTemp();
      return Fail(walkFault, walkError);
    }
    *summary = Summary(check);
  }
  if (!FileIO::CommitTempFile(temp, file, QByteArray(), &error))
    return Fail(Fault::Full, QStringLiteral("Die Sicherung %1 wurde nicht geschrieben: %2").arg(file, error));
  return true;
}

Archive::Restored Archive::Restore(const QString& file, const QString& location) {
  Restored r;
  auto fail = [&](Fault fault, const QString& text) {
    r.fault = fault;
    r.error = text;
    return r;
  };
  QFile in(file);
  if (!in.open(QIODevice::ReadOnly))
    return fail(Fault::Config, QStringLiteral("Die Sicherung %1 kann nicht gelesen werden: %2").arg(file, in.errorString()));
  const QByteArray start = in.read(4096);
  in.close();
  const bool sqlite = start.startsWith(QByteArray("SQLite format 3\0", 16));
  const bool dump = start.contains("PostgreSQL database dump");
  const bool server = location.startsWith(QLatin1String("postgres"));
  if (!sqlite && !dump)
    return fail(Fault::Config, QStringLiteral("%1 ist keine Sicherung eines Archivs von Kelvara (weder eine SQLite-Datei "
                                              "noch ein SQL-Auszug von pg_dump).")
                                   .arg(file));
  if (sqlite == server)
    return fail(Fault::Config, sqlite ? QStringLiteral("%1 ist die Sicherung eines Archivs in einer SQLite-Datei; sie lässt "
                                                       "sich nur als SQLite-Datei zurückspielen (KELVARA_ARCHIVE=DATEI).")
                                            .arg(file)
                                      : QStringLiteral("%1 ist die Sicherung eines Archivs auf einem PostgreSQL-Server; sie "
                                                       "lässt sich nur auf einen PostgreSQL-Server zurückspielen.")
                                            .arg(file));
  QString error;
  if (sqlite) {
    const QFileInfo target(location);
    if (target.exists() || QFileInfo::exists(location + QStringLiteral("-wal")))
      return fail(Fault::Config, QStringLiteral("Das Archiv %1 gibt es schon. Zurückgespielt wird nur in ein neues, leeres "
                                                "Archiv: nennen Sie eine neue Datei, oder benennen Sie die alte zuerst um.")
                                     .arg(location));
    if (!QDir().mkpath(target.absolutePath()))
      return fail(Fault::Unreachable, QStringLiteral("Der Ordner %1 kann nicht angelegt werden.").arg(target.absolutePath()));
    FileIO::RemoveStaleTempFiles(target.absolutePath());
    QByteArray temp;
    const int fd = FileIO::CreateTempFile(target.absolutePath(), &temp, &error);
    if (fd < 0) return fail(Fault::ReadOnly, QStringLiteral("%1 kann nicht angelegt werden: %2").arg(location, error));
    const bool copied = CopyInto(file, fd, &error);
    ::close(fd);
    const QString tempPath = QFile::decodeName(temp);
    auto drop = [&] {
      for (const char* part : {"", "-wal", "-shm"}) QFile::remove(tempPath + QLatin1String(part));
    };
    if (!copied) {
      drop();
      return fail(Fault::Full, QStringLiteral("%1 wurde nicht geschrieben: %2").arg(location, error));
    }
    // The copy checked (and brought to the current schema) before it takes the archive's place.
    {
      Archive copy;
      if (!copy.Open(tempPath, OpenMode::ExistingOnly)) {
        const Restored failed = fail(Fault::Damaged, QStringLiteral("Die Sicherung ist nicht lesbar: %1").arg(copy.Error()));
        copy.Close();
        drop();
        return failed;
      }
      const ChainCheck check = copy.CheckChain();
      if (copy.Failed()) {
        const Restored failed = fail(copy.LastFault(), copy.Error());
        copy.Close();
        drop();
        return failed;
      }
      r.chainHolds = check.holds;
      r.summary = Summary(check);
    }
    for (const char* part : {"-wal", "-shm"}) QFile::remove(tempPath + QLatin1String(part));
    if (!FileIO::CommitTempFile(temp, location, QByteArray(), &error)) {
      drop();
      return fail(Fault::Full, QStringLiteral("%1 wurde nicht geschrieben: %2").arg(location, error));
    }
    r.ok = true;
    return r;
  }
  // A server: the database must hold no archive yet.
  QString why;
  if (!CheckLocation(location, &why)) return fail(Fault::Config, why);
  {
    Archive probe;
    if (probe.Open(location, OpenMode::ExistingOnly)) {
      const int tests = probe.TestCount();
      return fail(Fault::Config, QStringLiteral("Die Datenbank %1 enthält schon ein Archiv (%2). Zurückgespielt wird nur "
                                                "in eine leere Datenbank: legen Sie eine neue an (createdb) und nennen "
                                                "Sie diese.")
                                     .arg(probe.location_, Tests(std::max(tests, 0))));
    }
    if (!probe.Error().startsWith(QLatin1String("Die Datenbank"))) return fail(probe.LastFault(), probe.Error());
  }
  QString password;
  const QString uri = ServerUri(location, &password);
  if (!RunTool(QStringLiteral("psql"),
               {QStringLiteral("--no-psqlrc"), QStringLiteral("--quiet"), QStringLiteral("--set=ON_ERROR_STOP=1"),
                QStringLiteral("--single-transaction"), QStringLiteral("--output=/dev/null"),
                QStringLiteral("--file=") + file, QStringLiteral("--dbname=") + uri},
               password, 60 * 60 * 1000, &error))
    return fail(Fault::Refused, QStringLiteral("Die Sicherung wurde nicht zurückgespielt (die Datenbank ist unverändert): %1")
                                    .arg(error));
  Archive restored;
  if (!restored.Open(location)) return fail(restored.LastFault(), restored.Error());
  const ChainCheck check = restored.CheckChain();
  if (restored.Failed()) return fail(restored.LastFault(), restored.Error());
  r.chainHolds = check.holds;
  r.summary = Summary(check);
  r.ok = true;
  return r;
}

// ---- the roles of a team's server

bool Archive::SetUpRoles(const QString& writer, const QString& reader, QStringList* done) {
  if (!Ready()) return false;
  if (kind_ != Kind::PostgreSQL)
    return Fail(Fault::Config, QStringLiteral("Rollen gibt es nur für ein Archiv auf einem PostgreSQL-Server; eine "
                                              "SQLite-Datei schützen die Rechte ihres Ordners."));
  static const QRegularExpression name(QStringLiteral("^[a-z_][a-z0-9_]{0,62}$"));
  for (const QString& role : {writer, reader})
    if (!name.match(role).hasMatch() || writer == reader)
      return Fail(Fault::Config, QStringLiteral("„%1“ taugt nicht als Name einer Rolle: Kleinbuchstaben, Ziffern und "
                                                "„_“, höchstens 63 Zeichen, die beiden Rollen verschieden.")
                                     .arg(role));
  QSqlDatabase db = QSqlDatabase::database(connection_, false);
  Watched watched(this, &Archive::Watch, &Archive::Unwatch);
  const QString notOwner = QStringLiteral("Die Rollen wurden nicht eingerichtet: das darf nur der Eigentümer der Datenbank "
                                          "(mit dem Recht CREATEROLE). Rufen Sie den Befehl mit KELVARA_ARCHIVE auf "
                                          "den Eigentümer auf.");
  {
    // Rights given by someone else are no rights: PostgreSQL only warns.
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT pg_has_role(current_user, tableowner, 'MEMBER') FROM pg_tables "
                               "WHERE schemaname = current_schema() AND tablename = 'tests'")))
      return Fail(q.lastError());
    if (!q.next() || !q.value(0).toBool()) return Fail(Fault::Config, notOwner);
  }
  if (!db.transaction()) return Fail(db.lastError());
  // The tables a writer may change besides adding: the appliances' state
  // (last test, next due date) and the chain's end. Stored tests never.
  QStringList changeable;
  {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT tablename FROM pg_tables WHERE schemaname = current_schema() ORDER BY tablename"))) {
      Fail(q.lastError());
      db.rollback();
      return false;
    }
    while (q.next()) {
      const QString table = q.value(0).toString();
      if (table != QLatin1String("tests") && table != QLatin1String("test_rows") && table != QLatin1String("schema_version"))
        changeable << table;
    }
  }
  const QString database = db.databaseName();
  QStringList sql;
  for (const QString& role : {writer, reader})
    sql << QStringLiteral("DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = '%1') THEN "
                          "CREATE ROLE %1 NOLOGIN; END IF; END $$")
               .arg(role)
        << QStringLiteral("REVOKE ALL ON ALL TABLES IN SCHEMA public FROM %1").arg(role)
        << QStringLiteral("GRANT CONNECT ON DATABASE \"%1\" TO %2").arg(QString(database).replace(QLatin1Char('"'), QLatin1String("\"\"")), role)
        << QStringLiteral("GRANT USAGE ON SCHEMA public TO %1").arg(role)
        << QStringLiteral("GRANT SELECT ON ALL TABLES IN SCHEMA public TO %1").arg(role)
        << QStringLiteral("ALTER DEFAULT PRIVILEGES IN SCHEMA public GRANT SELECT ON TABLES TO %1").arg(role);
  sql << QStringLiteral("GRANT INSERT ON ALL TABLES IN SCHEMA public TO %1").arg(writer)
      << QStringLiteral("REVOKE INSERT ON schema_version FROM %1").arg(writer)
      << QStringLiteral("GRANT UPDATE ON %1 TO %2").arg(changeable.join(QStringLiteral(", ")), writer)
      // The master data's lists the archive window rewrites: a customer's
      // sites, and the stub a former name leaves when the name is taken back.
      << QStringLiteral("GRANT DELETE ON customer_sites, customers TO %1").arg(writer)
      << QStringLiteral("GRANT USAGE ON ALL SEQUENCES IN SCHEMA public TO %1").arg(writer)
      << QStringLiteral("ALTER DEFAULT PRIVILEGES IN SCHEMA public GRANT INSERT ON TABLES TO %1").arg(writer)
      << QStringLiteral("ALTER DEFAULT PRIVILEGES IN SCHEMA public GRANT USAGE ON SEQUENCES TO %1").arg(writer)
      // Refused to everyone, the owner too: a correction is a new test.
      << QStringLiteral(
             "CREATE OR REPLACE FUNCTION kelvara_pruefung_unveraenderlich() RETURNS trigger LANGUAGE plpgsql AS $$ "
             "BEGIN RAISE EXCEPTION USING ERRCODE = 'insufficient_privilege', MESSAGE = 'Gespeicherte Prüfungen werden "
             "nicht geändert oder gelöscht (Tabelle ' || TG_TABLE_NAME || '); eine Korrektur ist eine neue Prüfung.'; "
             "END $$");
  for (const char* table : {"tests", "test_rows"})
    sql << QStringLiteral("DROP TRIGGER IF EXISTS %1_unveraenderlich ON %1").arg(QLatin1String(table))
        << QStringLiteral("CREATE TRIGGER %1_unveraenderlich BEFORE UPDATE OR DELETE ON %1 FOR EACH ROW "
                          "EXECUTE FUNCTION kelvara_pruefung_unveraenderlich()")
               .arg(QLatin1String(table))
        << QStringLiteral("DROP TRIGGER IF EXISTS %1_nicht_leeren ON %1").arg(QLatin1String(table))
        << QStringLiteral("CREATE TRIGGER %1_nicht_leeren BEFORE TRUNCATE ON %1 FOR EACH STATEMENT "
                          "EXECUTE FUNCTION kelvara_pruefung_unveraenderlich()")
               .arg(QLatin1String(table));
  for (const QString& statement : sql) {
    if (!Exec(statement)) {
      const QString why = error_;
      db.rollback();
      if (lastNative_ == QLatin1String("42501") || lastNative_ == QLatin1String("42910"))
        return Fail(Fault::Config, QStringLiteral("%1 (%2)").arg(notOwner, why));
      return Fail(fault_ == Fault::None ? Fault::Refused : fault_,
                  QStringLiteral("Die Rollen wurden nicht eingerichtet (nichts geändert): %1").arg(why));
    }
  }
  if (!db.commit()) return Fail(db.lastError());
  *done << QStringLiteral("Rolle %1: darf Prüfungen hinzufügen und lesen, nie ändern oder löschen.").arg(writer)
        << QStringLiteral("Rolle %1: darf nur lesen (Büro).").arg(reader)
        << QStringLiteral("Gespeicherte Prüfungen lassen sich von niemandem ändern oder löschen, auch nicht vom Eigentümer "
                          "(Trigger auf tests und test_rows).")
        << QStringLiteral("Benutzer anlegen: CREATE ROLE anna LOGIN PASSWORD '...' IN ROLE %1;").arg(writer)
        << QStringLiteral("                  CREATE ROLE buero LOGIN PASSWORD '...' IN ROLE %1;").arg(reader);
  return true;
}
