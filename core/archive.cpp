#include "core/archive.h"

#include <QAtomicInteger>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QUrl>
#include <QUrlQuery>
#include <QVariant>
#include <algorithm>
#include <cmath>
#include <set>
#include <dirent.h>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#ifdef Q_OS_UNIX
#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>
#endif

#include "core/chain.h"
#include "core/duedates.h"
#include "core/fileio.h"
#include "core/profile.h"
#include "core/userfolders.h"
#include "core/layout.h"
#include "core/limitprofiles.h"
#include "core/reportrules.h"

// Everything in which the two databases' SQL differs.
struct Archive::Dialect {
  QString IdColumn;    // an automatic primary key
  QString BytesType;   // a column for the data record file's bytes
  QString Like;        // a case-insensitive LIKE
};

namespace {

QAtomicInteger<int> g_connections;
// Up to this size a SQLite archive is checked whole when it is opened.
constexpr qint64 kFullCheckBytes = 256LL * 1024 * 1024;

constexpr int kFieldCustomer = Layout::kFieldAuftraggeber, kFieldDescription = Layout::kFieldGeraetArt,
              kFieldMaker = Layout::kFieldHersteller, kFieldSerial = Layout::kFieldSeriennummer,
              kFieldLocation = Layout::kFieldStandort, kFieldInventar = Layout::kFieldIdentnummer,
              kFieldTester = Layout::kFieldPruefer, kFieldRemarks = Layout::kFieldBemerkung;

// What an archive address may add after "?", as libpq takes it: whether
// and how the connection is encrypted (TLS), and the certificates to check.
const QStringList& TlsKeys() {
  static const QStringList keys{QStringLiteral("sslmode"), QStringLiteral("sslrootcert"), QStringLiteral("sslcert"),
                                QStringLiteral("sslkey"), QStringLiteral("sslcrl")};
  return keys;
}
const QStringList& SslModes() {
  static const QStringList modes{QStringLiteral("disable"), QStringLiteral("allow"),      QStringLiteral("prefer"),
                                 QStringLiteral("require"), QStringLiteral("verify-ca"), QStringLiteral("verify-full")};
  return modes;
}

QString IsoDate(const QDate& d) { return d.isValid() ? d.toString(Qt::ISODate) : QString(); }
QDate FromIso(const QVariant& v) { return v.isNull() ? QDate() : QDate::fromString(v.toString(), Qt::ISODate); }

// A text for a column: never NULL (a key missing from the file is an empty
// text) and without NUL, which PostgreSQL's text cannot hold; the data record
// file keeps every byte as it was.
QString Storable(const QString& text) {
  if (text.isNull()) return QLatin1String("");
  if (!text.contains(QChar(0))) return Chain::Normalized(text);
  QString copy = text;
  copy.replace(QChar(0), QChar(0xFFFD));
  return Chain::Normalized(copy);
}

}  // namespace

// Gives up on a PostgreSQL server that went silent in the middle of a call: a
// frozen server still has its connection acknowledged by the kernel, so no
// keepalive or TCP timeout notices it. After the wait limit the socket is shut
// down, which ends the waiting call with an error.
class Archive::Watchdog {
 public:
  Watchdog() : thread_([this] { Run(); }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
  }
  void Arm(int socket, int ms) {
    std::lock_guard<std::mutex> lock(mutex_);
    socket_ = socket;
    fired_ = false;
    deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    wake_.notify_all();
  }
  void Disarm() {
    std::lock_guard<std::mutex> lock(mutex_);
    socket_ = -1;
  }
  bool Fired() {
    std::lock_guard<std::mutex> lock(mutex_);
    return fired_;
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
      if (socket_ < 0) {
        wake_.wait(lock);
        continue;
      }
      if (std::chrono::steady_clock::now() < deadline_) {
        wake_.wait_until(lock, deadline_);
        continue;
      }
#ifdef Q_OS_UNIX
      ::shutdown(socket_, SHUT_RDWR);
#endif
      fired_ = true;
      socket_ = -1;
    }
  }
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false, fired_ = false;
  int socket_ = -1;
  std::chrono::steady_clock::time_point deadline_;
  std::thread thread_;
};

// One call to a PostgreSQL server, watched for as long as it runs.
class Archive::Bounded {
 public:
  explicit Bounded(Archive* archive) : archive_(archive) {
    if (archive_->watchdog_ && archive_->socket_ >= 0) archive_->watchdog_->Arm(archive_->socket_, archive_->waitLimitMs_ + 3000);
  }
  ~Bounded() {
    if (archive_->watchdog_) archive_->watchdog_->Disarm();
  }

 private:
  Archive* archive_;
};

void Archive::Watch() {
  if (watchdog_ && socket_ >= 0) watchdog_->Arm(socket_, waitLimitMs_ + 3000);
}

void Archive::Unwatch() {
  if (watchdog_) watchdog_->Disarm();
}

QString Archive::DefaultLocation() {
  const QString configured = qEnvironmentVariable("KELVARA_ARCHIVE");
  if (!configured.isEmpty()) return configured;
  const QString chosen = UserSettings::Value(QStringLiteral("Archiv"), QStringLiteral("Ort"));
  if (!chosen.isEmpty()) return chosen;
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Kelvara/archiv.sqlite");
}

Archive::Archive() : connection_(QStringLiteral("kelvara-archive-%1").arg(g_connections.fetchAndAddRelaxed(1))) {}

Archive::~Archive() { Close(); }

bool Archive::IsOpen() const {
  return !broken_ && QSqlDatabase::contains(connection_) && QSqlDatabase::database(connection_, false).isOpen();
}

void Archive::Close() {
  watchdog_.reset();
  socket_ = -1;
  broken_ = false;
  if (!QSqlDatabase::contains(connection_)) return;
  {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    db.close();
  }
  QSqlDatabase::removeDatabase(connection_);
}

void Archive::SetWaitLimit(int ms) {
  waitLimitMs_ = std::max(100, ms);
  if (!IsOpen()) return;
  Exec(kind_ == Kind::PostgreSQL ? QStringLiteral("SET statement_timeout = %1").arg(waitLimitMs_)
                                 : QStringLiteral("PRAGMA busy_timeout = %1").arg(waitLimitMs_));
}

void Archive::Begin() {
  fault_ = Fault::None;
  error_.clear();
}

bool Archive::CheckLocation(const QString& location, QString* why) {
  if (location.trimmed().isEmpty()) {
    *why = QStringLiteral("Es ist kein Archiv angegeben.");
    return false;
  }
  if (!location.startsWith(QLatin1String("postgresql://")) && !location.startsWith(QLatin1String("postgres://"))) return true;
  const QUrl url(location, QUrl::StrictMode);
  const bool portOk = url.port() == -1 || (url.port() >= 1 && url.port() <= 65535);
  if (!url.isValid() || !portOk) {
    QUrl shown(location);
    shown.setPassword(QString());
    *why = QStringLiteral("Die Adresse des Archiv-Servers „%1“ ist ungültig. Erwartet wird "
                          "postgresql://benutzer@rechner:5432/datenbank (Port 1 bis 65535).")
               .arg(url.isValid() ? shown.toString() : location.section(QLatin1Char('@'), -1));
    return false;
  }
  for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
    if (!TlsKeys().contains(key)) {
      *why = QStringLiteral("Die Adresse des Archiv-Servers enthält die unbekannte Angabe „%1“. Möglich sind %2.")
                 .arg(key, TlsKeys().join(QStringLiteral(", ")));
      return false;
    }
    if (key == QLatin1String("sslmode") && !SslModes().contains(value)) {
      *why = QStringLiteral("„sslmode=%1“ in der Adresse des Archiv-Servers gibt es nicht. Möglich sind %2; "
                            "verify-full prüft das Zertifikat und den Namen des Servers.")
                 .arg(value, SslModes().join(QStringLiteral(", ")));
      return false;
    }
    if (value.contains(QLatin1Char(';')) || value.isEmpty()) {
      *why = QStringLiteral("Die Angabe „%1“ in der Adresse des Archiv-Servers ist leer oder enthält ein Semikolon.").arg(key);
      return false;
    }
  }
  return true;
}

QString Archive::ServerUri(const QString& location, QString* password) {
  const QUrl url(location);
  if (password) *password = url.password();
  QUrl uri;
  uri.setScheme(QStringLiteral("postgresql"));
  uri.setHost(url.host().isEmpty() ? QStringLiteral("localhost") : url.host());
  if (url.port() > 0) uri.setPort(url.port());
  uri.setUserName(url.userName());
  uri.setPath(QLatin1Char('/') + (url.path().mid(1).isEmpty() ? QStringLiteral("kelvara") : url.path().mid(1)));
  QUrlQuery query(url);
  query.addQueryItem(QStringLiteral("connect_timeout"), QStringLiteral("5"));
  uri.setQuery(query);
  return uri.toString(QUrl::FullyEncoded);
}

bool Archive::Open(const QString& location, OpenMode mode) {
  Close();
  Begin();
  dialect_ = std::make_unique<Dialect>();
  QString why;
  const bool postgres = location.startsWith(QLatin1String("postgresql://")) || location.startsWith(QLatin1String("postgres://"));
  kind_ = postgres ? Kind::PostgreSQL : Kind::SQLite;
  location_ = location;
  if (!CheckLocation(location, &why)) return Fail(Fault::Config, why);
  if (postgres) {
    *dialect_ = {QStringLiteral("BIGSERIAL PRIMARY KEY"), QStringLiteral("BYTEA"), QStringLiteral("ILIKE")};
    const QUrl url(location);
    QUrl shown = url;
    shown.setPassword(QString());
    location_ = shown.toString();
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection_);
    db.setHostName(url.host().isEmpty() ? QStringLiteral("localhost") : url.host());
    if (url.port() > 0) db.setPort(url.port());
    db.setDatabaseName(url.path().mid(1).isEmpty() ? QStringLiteral("kelvara") : url.path().mid(1));
    if (!url.userName().isEmpty()) db.setUserName(url.userName());
    // A password comes from the usual places of PostgreSQL (~/.pgpass,
    // PGPASSWORD); one in the URL is taken but never stored by us.
    if (!url.password().isEmpty()) db.setPassword(url.password());
    // Every wait is bounded: the connection, a peer that went away (keepalives),
    // data the peer never acknowledges (a pulled cable), and each statement.
    QString options = QStringLiteral("connect_timeout=5;keepalives=1;keepalives_idle=10;keepalives_interval=3;"
                                     "keepalives_count=3;tcp_user_timeout=%1")
                          .arg(waitLimitMs_);
    // TLS as the address asks for it (sslmode=verify-full&sslrootcert=...).
    for (const auto& [key, value] : QUrlQuery(url).queryItems(QUrl::FullyDecoded)) {
      QString quoted = value;
      quoted.replace(QLatin1String("\\"), QLatin1String("\\\\")).replace(QLatin1String("'"), QLatin1String("\\'"));
      options += QStringLiteral(";%1='%2'").arg(key, quoted);
    }
    db.setConnectOptions(options);
  } else {
    *dialect_ = {QStringLiteral("INTEGER PRIMARY KEY AUTOINCREMENT"), QStringLiteral("BLOB"), QStringLiteral("LIKE")};
    const QFileInfo file(location);
    location_ = file.absoluteFilePath();
    if (mode == OpenMode::ExistingOnly && !file.exists())
      return Fail(Fault::Gone, QStringLiteral("Das Archiv %1 gibt es nicht: die Datei fehlt (verschoben, gelöscht, oder "
                                              "noch nie eine Prüfung gespeichert). Stellen Sie sie wieder her oder "
                                              "nennen Sie das Archiv mit KELVARA_ARCHIVE oder „Archiv wählen...“.")
                                  .arg(location_));
    if (mode == OpenMode::CreateIfMissing && !QDir().mkpath(file.absolutePath()))
      return Fail(Fault::Unreachable, QStringLiteral("Der Ordner des Archivs %1 ist nicht da und kann nicht angelegt werden "
                                                     "(ein Netzlaufwerk oder USB-Stick nicht verbunden?). Verbinden Sie "
                                                     "ihn, oder wählen Sie mit „Archiv wählen...“ ein anderes Archiv.")
                                          .arg(file.absolutePath()));
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    db.setDatabaseName(location);
    // Two programs writing at once wait for each other instead of failing.
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(waitLimitMs_));
  }
  QSqlDatabase db = QSqlDatabase::database(connection_, false);
  if (!db.isValid())
    return Fail(Fault::Config, QStringLiteral("Kelvara findet den Datenbanktreiber für %1 nicht. Installieren Sie das "
                                              "Paket %2.")
                                   .arg(postgres ? QStringLiteral("PostgreSQL") : QStringLiteral("SQLite"),
                                        postgres ? QStringLiteral("libqt6sql6-psql") : QStringLiteral("libqt6sql6-sqlite")));
  if (!db.open()) {
    Fail(db.lastError());
    db = QSqlDatabase();
    Close();
    return false;
  }
  if (kind_ == Kind::PostgreSQL) {
#ifdef Q_OS_UNIX
    // The connection's socket, for the watchdog (the driver's handle is libpq's
    // connection; Qt names its type either way).
    const QVariant handle = db.driver()->handle();
    if (handle.isValid() && (qstrcmp(handle.typeName(), "PGconn*") == 0 || qstrcmp(handle.typeName(), "pg_conn*") == 0)) {
      using SocketOf = int (*)(const void*);
      static const SocketOf socketOf = [] {
        void* libpq = dlopen("libpq.so.5", RTLD_NOW | RTLD_NOLOAD);
        return libpq ? reinterpret_cast<SocketOf>(dlsym(libpq, "PQsocket")) : nullptr;
      }();
      const void* connection = *static_cast<void* const*>(handle.constData());
      if (socketOf && connection) socket_ = socketOf(connection);
    }
#endif
    if (socket_ >= 0) watchdog_ = std::make_unique<Watchdog>();
    Bounded bounded(this);
    if (!Exec(QStringLiteral("SET statement_timeout = %1").arg(waitLimitMs_))) return false;
    // The server's notes ("... does not exist, skipping") are no messages for the user.
    if (!Exec(QStringLiteral("SET client_min_messages = warning"))) return false;
  } else {
    if (!CheckIntegrity()) return false;
    if (mode == OpenMode::ExistingOnly) {
      QSqlQuery q(db);
      if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM sqlite_master WHERE name = 'schema_version'")) || !q.next())
        return Fail(q.lastError());
      if (q.value(0).toInt() == 0)
        return Fail(Fault::Damaged, QStringLiteral("Die Datei %1 ist kein Archiv von Kelvara. Nennen Sie das Archiv mit "
                                                   "KELVARA_ARCHIVE oder „Archiv wählen...“.")
                                        .arg(location_));
    }
    if (!Exec(QStringLiteral("PRAGMA foreign_keys = ON"))) return false;
    QSqlQuery wal(db);
    // A read-only place keeps its journal as it is; writing then fails with its reason.
    wal.exec(QStringLiteral("PRAGMA journal_mode = WAL"));
  }
  if (!Migrate(mode)) return false;
  EnsureNameIndex();
#ifdef Q_OS_UNIX
  struct stat st {};
  if (kind_ == Kind::SQLite && ::stat(QFile::encodeName(location_).constData(), &st) == 0) {
    device_ = qulonglong(st.st_dev);
    inode_ = qulonglong(st.st_ino);
  }
#endif
  return true;
}

bool Archive::CheckIntegrity() {
  // quick_check reads every page (about 0.5 s for 400 MB) but skips the
  // costly comparison of indexes with their tables. A large archive has its
  // customers and appliances checked (what the due list reads); its tests
  // show damage when they are read (a failed query, a file that does not match
  // its checksum).
  QStringList checks{QStringLiteral("PRAGMA quick_check(5)")};
  if (QFileInfo(location_).size() > kFullCheckBytes) {
    checks.clear();
    QSqlQuery tables(QSqlDatabase::database(connection_, false));
    if (!tables.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name IN "
                                    "('schema_version', 'customers', 'appliances')")))
      return Fail(tables.lastError());
    while (tables.next()) checks << QStringLiteral("PRAGMA quick_check(%1)").arg(tables.value(0).toString());
    if (tables.lastError().isValid()) return Fail(tables.lastError());
  }
  QStringList problems;
  for (const QString& check : checks) {
    QSqlQuery q(QSqlDatabase::database(connection_, false));
    q.setForwardOnly(true);
    if (!q.exec(check)) return Fail(q.lastError());
    while (q.next())
      if (q.value(0).toString() != QLatin1String("ok")) problems << q.value(0).toString();
    if (q.lastError().isValid()) return Fail(q.lastError());
  }
  if (problems.isEmpty()) return true;
  return Fail(Fault::Damaged,
              QStringLiteral("Das Archiv %1 ist beschädigt. Beenden Sie Kelvara und ersetzen Sie die Datei durch ihre "
                             "letzte Sicherungskopie; Prüfungen, die nicht gespeichert werden konnten, bleiben in der "
                             "Warteschlange. (SQLite: %2)")
                  .arg(location_, problems.join(QStringLiteral("; ")).left(300)));
}

bool Archive::Ready() {
  Begin();
  if (!IsOpen()) return Fail(Fault::Unreachable, QStringLiteral("Das Archiv ist nicht geöffnet."));
  return StillThere();
}

bool Archive::StillThere() {
  if (kind_ != Kind::SQLite || !IsOpen()) return true;
#ifdef Q_OS_UNIX
  struct stat st {};
  const bool there = ::stat(QFile::encodeName(location_).constData(), &st) == 0;
  if (there && qulonglong(st.st_dev) == device_ && qulonglong(st.st_ino) == inode_) return true;
  return Fail(Fault::Gone,
              QStringLiteral("Die Archivdatei %1 ist nicht mehr da, wo sie geöffnet wurde (gelöscht, verschoben oder "
                             "ersetzt). Kelvara legt dort kein neues Archiv an. Legen Sie die Datei zurück oder wählen "
                             "Sie mit „Archiv wählen...“ das Archiv neu.")
                  .arg(location_));
#else
  if (QFileInfo::exists(location_)) return true;
  return Fail(Fault::Gone, QStringLiteral("Die Archivdatei %1 ist nicht mehr da (gelöscht oder verschoben). Legen Sie "
                                          "die Datei zurück oder wählen Sie mit „Archiv wählen...“ das Archiv neu.")
                               .arg(location_));
#endif
}

bool Archive::Fail(Fault fault, const QString& text) {
  fault_ = fault;
  error_ = text;
  return false;
}

bool Archive::Fail(const QSqlError& error) {
  QString raw = (error.databaseText().isEmpty() ? error.driverText() : error.databaseText()).simplified();
  if (raw.size() > 200) raw = raw.left(200) + QStringLiteral("...");
  const QString native = error.nativeErrorCode();
  lastNative_ = native;
  const QString where = location_;
  auto say = [&](Fault fault, const QString& text) {
    return Fail(fault, raw.isEmpty() ? text : QStringLiteral("%1 (%2)").arg(text, raw));
  };
  const QString damaged = QStringLiteral("Das Archiv %1 ist beschädigt oder keine Archivdatei. Beenden Sie Kelvara und "
                                         "ersetzen Sie die Datei durch ihre letzte Sicherungskopie; Prüfungen, die nicht "
                                         "gespeichert werden konnten, bleiben in der Warteschlange.")
                              .arg(where);
  if (kind_ == Kind::SQLite) {
    const int code = native.toInt() & 0xff;
    const QString folder = QFileInfo(where).absolutePath();
#ifdef Q_OS_UNIX
    const bool folderThere = QFileInfo(folder).isDir();
    const bool writable = folderThere && ::access(QFile::encodeName(folder).constData(), W_OK) == 0 &&
                          (!QFileInfo::exists(where) || ::access(QFile::encodeName(where).constData(), W_OK) == 0);
    struct statvfs fs {};
    const bool full = ::statvfs(QFile::encodeName(folder).constData(), &fs) == 0 &&
                      qulonglong(fs.f_bavail) * fs.f_frsize < 1024 * 1024;
#else
    const bool folderThere = QFileInfo(folder).isDir();
    const bool writable = folderThere && QFileInfo(folder).isWritable();
    const bool full = false;
#endif
    const QString readOnly = QStringLiteral("Das Archiv %1 liegt an einem schreibgeschützten Ort: Kelvara darf dort nicht "
                                            "schreiben. Geben Sie Datei und Ordner zum Schreiben frei, oder wählen Sie mit "
                                            "„Archiv wählen...“ ein anderes Archiv.")
                                 .arg(where);
    const QString noSpace = QStringLiteral("Kein Platz mehr für das Archiv %1: das Laufwerk ist voll. Schaffen Sie Platz "
                                           "auf dem Laufwerk und versuchen Sie es noch einmal.")
                                .arg(where);
    switch (code) {
      case 5:   // SQLITE_BUSY
      case 6:   // SQLITE_LOCKED
        return say(Fault::Locked, QStringLiteral("Das Archiv wird gerade von einem anderen Programm benutzt (%1). Schließen "
                                                 "Sie das andere Programm oder versuchen Sie es später noch einmal.")
                                      .arg(where));
      case 13:  // SQLITE_FULL
        return say(Fault::Full, noSpace);
      case 8:   // SQLITE_READONLY
        return say(Fault::ReadOnly, readOnly);
      case 11:  // SQLITE_CORRUPT
      case 26:  // SQLITE_NOTADB
        return say(Fault::Damaged, damaged);
      case 14:  // SQLITE_CANTOPEN
        if (!folderThere)
          return say(Fault::Unreachable, QStringLiteral("Der Ordner des Archivs %1 ist nicht da (ein Netzlaufwerk oder "
                                                        "USB-Stick nicht verbunden?). Verbinden Sie ihn, oder wählen Sie "
                                                        "mit „Archiv wählen...“ ein anderes Archiv.")
                                             .arg(folder));
        if (!writable) return say(Fault::ReadOnly, readOnly);
        break;
      case 10:  // SQLITE_IOERR: a disk that filled up, or a drive that went
        if (full) return say(Fault::Full, noSpace);
        if (!QFileInfo::exists(where))
          return say(Fault::Gone, QStringLiteral("Die Archivdatei %1 ist nicht mehr da. Legen Sie die Datei zurück oder "
                                                 "wählen Sie mit „Archiv wählen...“ das Archiv neu.")
                                      .arg(where));
        return say(Fault::Unreachable, QStringLiteral("Das Laufwerk des Archivs %1 antwortet nicht (Lese- oder "
                                                      "Schreibfehler). Prüfen Sie das Laufwerk und versuchen Sie es noch "
                                                      "einmal.")
                                           .arg(where));
      default: break;
    }
    if (full) return say(Fault::Full, noSpace);
    return say(Fault::Refused, QStringLiteral("Das Archiv %1 nimmt das nicht an; ein neuer Versuch ändert daran nichts. Der "
                                            "Datensatz bleibt als Datei erhalten; geben Sie den Text in Klammern an den "
                                            "weiter, der Kelvara betreut.")
                                 .arg(where));
  }

  // PostgreSQL: the SQLSTATE of a statement; a connection that fails has
  // none, so its reason is told by the message libpq and the server give.
  const bool timedOut = watchdog_ && watchdog_->Fired();
  const QString address = QUrl(where).toString(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery);
  const QString server = QStringLiteral("Der Archiv-Server %1").arg(address);
  const QString away =
      QStringLiteral("%1 ist nicht erreichbar: er antwortet nicht. Prüfen Sie die Netzverbindung, oder fragen Sie, "
                     "wer den Server betreut; es wird später noch einmal versucht.")
          .arg(server);
  const QString login = QStringLiteral("Anmeldung am Archiv-Server abgelehnt (%1): Benutzer, Kennwort (~/.pgpass) oder "
                                       "Datenbank stimmen nicht. Prüfen Sie die Angaben unter „Archiv wählen...“ oder "
                                       "fragen Sie, wer den Server betreut.")
                            .arg(where);
  auto brokenAway = [&](const QString& text) {
    broken_ = true;  // the connection is given up on; the next open makes a new one
    return say(Fault::Unreachable, text);
  };
  if (timedOut)
    return brokenAway(QStringLiteral("%1 antwortet seit %2 s nicht. Prüfen Sie die Netzverbindung, oder fragen Sie, wer "
                                     "den Server betreut; es wird später noch einmal versucht.")
                          .arg(server)
                          .arg((waitLimitMs_ + 3000) / 1000));
  const QString cls = native.left(2);
  if (native.isEmpty()) {
    const QString text = raw.toLower();
    // TLS: asked for and not offered, offered and not trusted, or demanded by
    // the server and not asked for. Trying again does not help.
    const QString sslmode = QUrlQuery(QUrl(where)).queryItemValue(QStringLiteral("sslmode"));
    if (text.contains(QLatin1String("does not support ssl")) || text.contains(QLatin1String("unterstützt kein ssl")))
      return say(Fault::Config,
                 QStringLiteral("%1 bietet keine verschlüsselte Verbindung (TLS) an, die Adresse verlangt sie aber "
                                "(sslmode=%2). Kelvara verbindet sich so nicht. Lassen Sie am Server TLS einschalten "
                                "(ssl = on mit Zertifikat, siehe README), oder fragen Sie, wer den Server betreut.")
                     .arg(server, sslmode));
    if (text.contains(QLatin1String("root certificate file")) || text.contains(QLatin1String("wurzelzertifikat")))
      return say(Fault::Config,
                 QStringLiteral("Die Datei der Zertifizierungsstelle für den Archiv-Server %1 fehlt oder ist nicht lesbar (sslrootcert "
                                "in der Adresse, sonst ~/.postgresql/root.crt). Legen Sie die Datei ab, die Sie von "
                                "dem bekommen, der den Server betreut, und nennen Sie sie unter „Archiv wählen...“.")
                     .arg(address));
    if (text.contains(QLatin1String("certificate")) || text.contains(QLatin1String("zertifikat")) ||
        text.contains(QLatin1String("ssl error")) || text.contains(QLatin1String("ssl-fehler")))
      return say(Fault::Config,
                 QStringLiteral("Das Zertifikat des Archiv-Servers %1 ist nicht bestätigt: es stammt nicht von der Zertifizierungsstelle "
                                "aus sslrootcert, oder es lautet nicht auf den Rechnernamen der Adresse. Kelvara "
                                "verbindet sich so nicht (ein fremder Rechner könnte sich als Server ausgeben). Prüfen "
                                "Sie sslrootcert und den Rechnernamen unter „Archiv wählen...“, oder fragen Sie, wer "
                                "den Server betreut.")
                     .arg(address));
    if (text.contains(QLatin1String("pg_hba.conf")) && (text.contains(QLatin1String("no encryption")) ||
                                                        text.contains(QLatin1String("ssl off")) ||
                                                        text.contains(QLatin1String("keine verschlüsselung"))))
      return say(Fault::Config,
                 QStringLiteral("%1 nimmt nur verschlüsselte Verbindungen an. Ergänzen Sie die Adresse unter "
                                "„Archiv wählen...“ um ?sslmode=verify-full&sslrootcert=DATEI (die Zertifizierungsstelle "
                                "des Servers).")
                     .arg(server));
    for (const char* refused : {"password authentication failed", "authentication failed", "no password supplied",
                                "pg_hba.conf", "does not exist", "authentifizierung", "existiert nicht", "kein passwort"})
      if (text.contains(QLatin1String(refused))) return say(Fault::Config, login);
    return brokenAway(away);
  }
  if (cls == QLatin1String("08") || native == QLatin1String("57P01") || native == QLatin1String("57P02") ||
      native == QLatin1String("57P03") || native == QLatin1String("53300") || native == QLatin1String("53200"))
    return brokenAway(away);
  if (native == QLatin1String("57014"))  // the statement_timeout
    return say(Fault::Unreachable, QStringLiteral("%1 hat nicht innerhalb von %2 s geantwortet (überlastet?). Es wird "
                                                  "später noch einmal versucht.")
                                       .arg(server)
                                       .arg(waitLimitMs_ / 1000));
  if (native == QLatin1String("53100"))
    return say(Fault::Full, QStringLiteral("%1 hat keinen Platz mehr. Sagen Sie es dem, der den Server betreut; es wird "
                                           "später noch einmal versucht.")
                                .arg(server));
  if (native == QLatin1String("40001") || native == QLatin1String("40P01") || native == QLatin1String("55P03"))
    return say(Fault::Locked, QStringLiteral("Das Archiv wird gerade von einem anderen Programm benutzt (%1). Versuchen "
                                             "Sie es später noch einmal.")
                                  .arg(where));
  if (cls == QLatin1String("28") || native == QLatin1String("3D000")) return say(Fault::Config, login);
  // A right that is missing: to add tests (a role that may only read), to
  // change a stored test (refused to everyone), or to read at all.
  if (native == QLatin1String("25006") || native == QLatin1String("42501")) {
    if (raw.contains(QLatin1String("Gespeicherte Prüfungen")))
      return say(Fault::Refused, QStringLiteral("%1 lässt gespeicherte Prüfungen nicht ändern oder löschen: eine Korrektur "
                                                "ist eine neue Prüfung, die auf die alte verweist.")
                                     .arg(server));
    if (storing_)
      return say(Fault::ReadOnly, QStringLiteral("%1 nimmt von diesem Benutzer keine Prüfungen an: nur Lesen ist erlaubt. "
                                                 "Fragen Sie, wer den Server betreut, nach dem Recht, Prüfungen "
                                                 "hinzuzufügen (die Rolle aus „kelvara-cli archive setup-roles“).")
                                      .arg(server));
    return say(Fault::Config, QStringLiteral("Dieser Benutzer darf das Archiv auf %1 nicht lesen. Fragen Sie, wer den "
                                             "Server betreut, nach einer der Rollen aus „kelvara-cli archive "
                                             "setup-roles“ (Prüfungen erfassen oder nur lesen).")
                                  .arg(server));
  }
  if (cls == QLatin1String("XX"))
    return say(Fault::Damaged, QStringLiteral("Das Archiv auf %1 ist beschädigt. Sagen Sie es dem, der den Server "
                                              "betreut (Wiederherstellen aus der Sicherung); Prüfungen, die nicht "
                                              "gespeichert werden konnten, bleiben in der Warteschlange.")
                                   .arg(server));
  return say(Fault::Refused, QStringLiteral("Das Archiv %1 nimmt das nicht an; ein neuer Versuch ändert daran nichts. Der "
                                            "Datensatz bleibt als Datei erhalten; geben Sie den Text in Klammern an den "
                                            "weiter, der Kelvara betreut.")
                                 .arg(where));
}

bool Archive::Exec(const QString& sql) {
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  if (!q.exec(sql)) return Fail(q.lastError());
  return true;
}

int Archive::SchemaVersion() {
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  if (!q.exec(QStringLiteral("SELECT version FROM schema_version")) || !q.next()) return 0;
  return q.value(0).toInt();
}

bool Archive::Migrate(OpenMode mode) {
  QSqlDatabase db = QSqlDatabase::database(connection_, false);
  auto OlderSchemaText = [this](int version) {
    return QStringLiteral("Das Archiv %1 hat noch den Stand einer älteren Kelvara-Version (Schema %2, nötig ist %3). "
                          "Auf den neuen Stand bringen darf es nur der Eigentümer der Datenbank: bitten Sie, wer den "
                          "Server betreut, das Archiv einmal als Eigentümer zu öffnen (zum Beispiel mit "
                          "„kelvara-cli archive verify“).")
        .arg(location_)
        .arg(version)
        .arg(kSchemaVersion);
  };
  Bounded bounded(this);
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
  // Version 2: the appliance's cord and kind, which the limits of the
  // standards in force today follow (the latest test that names them sets them).
  const QStringList version2{
      QStringLiteral("ALTER TABLE appliances ADD COLUMN cord_length_m DOUBLE PRECISION"),
      QStringLiteral("ALTER TABLE appliances ADD COLUMN cord_section_mm2 DOUBLE PRECISION"),
      QStringLiteral("ALTER TABLE appliances ADD COLUMN appliance_kind INTEGER NOT NULL DEFAULT 0"),
  };
  // Version 3: the proof chain (core/chain.h). Each test's place and hash,
  // and the chain's end in a row of its own that every append updates in its
  // transaction; the tests stored so far are chained in their stored order.
  const QStringList version3{
      QStringLiteral("ALTER TABLE tests ADD COLUMN chain_seq BIGINT"),
      QStringLiteral("ALTER TABLE tests ADD COLUMN chain_hash TEXT"),
      QStringLiteral("CREATE UNIQUE INDEX tests_chain ON tests (chain_seq)"),
      QStringLiteral("CREATE INDEX tests_chain_hash ON tests (chain_hash)"),
      QStringLiteral("CREATE TABLE chain_head (id INTEGER PRIMARY KEY, seq BIGINT NOT NULL, hash TEXT NOT NULL)"),
  };
  // Version 4: customers' and appliances' master data (archive_master.cpp).
  const std::vector<QStringList> steps{version1, version2, version3, MasterDataStep()};

  if (mode == OpenMode::ExistingOnly && kind_ == Kind::PostgreSQL) {
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM information_schema.tables WHERE table_name = 'schema_version'")) ||
        !q.next())
      return Fail(q.lastError());
    if (q.value(0).toInt() == 0)
      return Fail(Fault::Config, QStringLiteral("Die Datenbank %1 enthält noch kein Archiv von Kelvara (noch nie eine "
                                                "Prüfung gespeichert?). Prüfen Sie die Angabe des Archivs.")
                                     .arg(location_));
  }
  // An archive of the current schema is used as it is: a role that may only
  // add tests (or only read) may not create anything, not even "if not exists".
  int version = SchemaVersion();
  if (version == kSchemaVersion) return true;
  Begin();
  if (!Exec(QStringLiteral("CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)"))) {
    if (version > 0 && lastNative_ == QLatin1String("42501")) return Fail(Fault::Config, OlderSchemaText(version));
    return false;
  }
  version = SchemaVersion();
  if (version > kSchemaVersion)
    return Fail(Fault::Config, QStringLiteral("Das Archiv stammt von einer neueren Kelvara-Version (Schema %1). "
                                              "Installieren Sie die neuere Version von Kelvara.")
                                   .arg(version));
  for (int step = version; step < kSchemaVersion; ++step) {
    if (!db.transaction()) return Fail(db.lastError());
    bool ok = true;
    for (const QString& sql : steps[size_t(step)]) ok = ok && Exec(sql);
    if (ok && step + 1 == kChainSchema) ok = ChainExisting();
    if (step + 1 == kMasterDataSchema) ok = ok && FillMasterData();
    ok = ok && Exec(step == 0 ? QStringLiteral("INSERT INTO schema_version (version) VALUES (1)")
                              : QStringLiteral("UPDATE schema_version SET version = %1").arg(step + 1));
    if (ok && !db.commit()) ok = Fail(db.lastError());
    if (!ok) {
      const Fault fault = fault_;
      const bool forbidden = lastNative_ == QLatin1String("42501");
      const QString why = error_;
      db.rollback();
      // Two programs creating the archive at once: the other one was first.
      if (SchemaVersion() > step) {
        Begin();
        continue;
      }
      // A role that may not change the tables (one that may only add tests or read).
      if (step > 0 && forbidden) return Fail(Fault::Config, OlderSchemaText(step));
      return Fail(fault, QStringLiteral("Das Archiv konnte nicht angelegt werden. %1").arg(why));
    }
  }
  return true;
}

QDate Archive::TestDate(const ReportRecord& report, const QDate& fallback) {
  const QDate d = DueDates::TestDate(report);
  return d.isValid() ? d : fallback;
}

bool Archive::KeyOf(const ReportRecord& report, QString* customer, QString* inventarNr) {
  const ArchiveData::Appliance a = ApplianceOf(report, QByteArray());
  if (report.Fields[kFieldInventar].simplified().isEmpty() && report.Fields[kFieldSerial].simplified().isEmpty())
    return false;
  *customer = a.Customer;
  *inventarNr = a.InventarNr;
  return true;
}

Archive::Earlier Archive::EarlierTest(const QString& customer, const QString& inventarNr, const QDate& before) {
  Earlier earlier;
  // The customer under any name it had, the appliance under any number it had
  // (a merged one's tests are its history too).
  const qint64 customerId = CustomerId(customer);
  if (Failed() || customerId == 0) return earlier;
  const std::map<QString, ArchiveData::Appliance> found = Lookup(customerId, {inventarNr});
  const auto it = found.find(NumberKey(inventarNr));
  if (Failed() || it == found.end()) return earlier;
  earlier.applianceFound = true;
  earlier.appliance = it->second;
  const std::vector<ArchiveData::Test> tests = History(earlier.appliance.Id);
  if (Failed()) return earlier;
  // A corrected test is replaced by its correction.
  std::set<qint64> corrected;
  for (const ArchiveData::Test& t : tests)
    if (t.Corrects > 0) corrected.insert(t.Corrects);
  for (auto t = tests.rbegin(); t != tests.rend(); ++t) {
    if (!t->Date.isValid() || !(t->Date < before) || corrected.count(t->Id)) continue;
    Comparison::Previous& p = earlier.previous;
    p.found = true;
    p.date = t->Date;
    p.standard = t->Standard;
    for (int r = 0; r < kRowCount; ++r) p.measured[size_t(r)] = t->Rows[size_t(r)].Active ? t->Rows[size_t(r)].Measured : QString();
    break;
  }
  return earlier;
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
  // 0 when the report names no interval: the appliance keeps its own.
  a.IntervalMonths = DueDates::IntervalMonths(report.Fields[Layout::kFieldPruefintervall]);
  a.Seriennummer = report.Fields[kFieldSerial].simplified();
  a.Standard = report.VdePruefgrundlage;
  return a;
}

Archive::Stored Archive::StoreReport(const ReportRecord& report, qint64 corrects, qint64* testId) {
  QByteArray bytes;
  if (Report::Encode(report, &bytes).status != Report::WriteResult::Ok) {
    Fail(Fault::Refused, QStringLiteral("Der Bericht enthält Zeichen, die ein Datensatz nicht speichern kann."));
    return Stored::Failed;
  }
  return StoreRecord(bytes, corrects, testId);
}


Archive::Stored Archive::StoreRecord(const QByteArray& recordFile, qint64 corrects, qint64* testId) {
  Begin();
  lastHash_.clear();
  struct Storing {
    bool* flag;
    ~Storing() { *flag = false; }
  } storing{&storing_};
  storing_ = true;
  ReportRecord report;
  const Report::ReadResult read = Report::ReadBytes(recordFile, &report);
  if (read.status != Report::ReadResult::Ok) {
    Fail(Fault::Refused, QStringLiteral("Die Datei enthält keinen Datensatz eines Prüfprotokolls."));
    return Stored::Failed;
  }
  if (!Ready()) return Stored::Failed;
  QSqlDatabase db = QSqlDatabase::database(connection_, false);
  Bounded bounded(this);
  ArchiveData::Appliance appliance = ApplianceOf(report, recordFile);
  for (QString* text : {&appliance.Customer, &appliance.InventarNr, &appliance.Bezeichnung, &appliance.HerstellerTyp,
                        &appliance.Standort, &appliance.Seriennummer})
    *text = Storable(*text);
  const QDate date = TestDate(report, Clock::Today());
  const QString hash = QString::fromLatin1(QCryptographicHash::hash(recordFile, QCryptographicHash::Sha256).toHex());

  auto fail = [&](const QSqlError& error) {
    Fail(error);
    db.rollback();
    return Stored::Failed;
  };
  if (!db.transaction()) {
    Fail(db.lastError());
    return Stored::Failed;
  }
  // The end of the proof chain, held until the commit: two writers append
  // one after the other, so each test follows the one stored before it.
  qint64 chainSeq = 0;
  QString previousHash;
  if (!LockChainHead(&chainSeq, &previousHash)) {
    db.rollback();
    return Stored::Failed;
  }
  QSqlQuery q(db);
  // The customer and the appliance: found under any name they had, made when
  // new (a unique key and "do nothing on conflict" keep two writers from
  // making either twice).
  qint64 customerId = 0, applianceId = 0;
  QDate lastTest;
  bool made = false;
  if (!ResolveForStore(report, appliance, date, &customerId, &applianceId, &lastTest, &made)) {
    db.rollback();
    return Stored::Failed;
  }

  // The test: its summary, its rows and the data record file as written,
  // and its link in the proof chain over exactly the values stored.
  Chain::Entry link;
  link.seq = chainSeq + 1;
  link.testDate = IsoDate(date);
  link.tester = Storable(report.Fields[kFieldTester].simplified());
  link.instrument = Storable(report.Fields[Layout::kFieldMessgeraet].simplified());
  link.standard = report.VdePruefgrundlage;
  link.klasse = report.VdeKlasse;
  link.sicht = report.Sichtpruefung ? 1 : 0;
  link.funktion = report.Funktionspruefung ? 1 : 0;
  link.passed = Report::Passed(report) ? 1 : 0;
  link.remarks = Storable(report.Fields[kFieldRemarks]);
  link.corrects = corrects > 0 ? corrects : 0;
  link.storedAt = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
  link.recordHash = hash;
  link.record = recordFile;
  for (int r = 0; r < kRowCount; ++r)
    link.rows[size_t(r)] = {true, Storable(report.MessText[r]), Storable(report.GrenzText[r]),
                            report.RowActive[r] != 0 ? 1 : 0, report.Ok[r] ? 1 : 0};
  const QString chainHash = Chain::Hash(link, previousHash);
  q.prepare(QStringLiteral("INSERT INTO tests (appliance_id, test_date, tester, instrument, standard, klasse, sicht, "
                           "funktion, passed, remarks, corrects, record, record_hash, stored_at, chain_seq, chain_hash) "
                           "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
                           "ON CONFLICT (record_hash) DO NOTHING RETURNING id"));
  q.addBindValue(applianceId);
  q.addBindValue(link.testDate);
  q.addBindValue(link.tester);
  q.addBindValue(link.instrument);
  q.addBindValue(link.standard);
  q.addBindValue(link.klasse);
  q.addBindValue(link.sicht);
  q.addBindValue(link.funktion);
  q.addBindValue(link.passed);
  q.addBindValue(link.remarks);
  q.addBindValue(corrects > 0 ? QVariant(corrects) : QVariant(QMetaType(QMetaType::LongLong)));
  q.addBindValue(recordFile);
  q.addBindValue(hash);
  q.addBindValue(link.storedAt);
  q.addBindValue(link.seq);
  q.addBindValue(chainHash);
  if (!q.exec()) return fail(q.lastError());
  if (!q.next()) {
    if (q.lastError().isValid()) return fail(q.lastError());
    // The same data record file was stored before.
    db.rollback();
    lastHash_ = HashOfRecord(recordFile);
    Begin();  // not finding its hash leaves the duplicate a duplicate
    return Stored::Duplicate;
  }
  const qint64 id = q.value(0).toLongLong();
  q.finish();
  q.prepare(QStringLiteral("INSERT INTO test_rows (test_id, row_index, measured, limit_text, active, ok) "
                           "VALUES (?, ?, ?, ?, ?, ?)"));
  for (int r = 0; r < kRowCount; ++r) {
    const Chain::Row& row = link.rows[size_t(r)];
    q.addBindValue(id);
    q.addBindValue(r);
    q.addBindValue(row.measured);
    q.addBindValue(row.limit);
    q.addBindValue(row.active);
    q.addBindValue(row.ok);
    if (!q.exec()) return fail(q.lastError());
  }
  q.prepare(QStringLiteral("UPDATE chain_head SET seq = ?, hash = ? WHERE id = 1"));
  q.addBindValue(link.seq);
  q.addBindValue(chainHash);
  if (!q.exec()) return fail(q.lastError());
  if (q.numRowsAffected() != 1)
    return fail(QSqlError(QStringLiteral("chain_head"), QStringLiteral("the chain's end is missing"),
                          QSqlError::StatementError));
  // The appliance as this test describes it, and its next test date when the
  // test is its latest.
  q.finish();
  const bool latest = !lastTest.isValid() || date >= lastTest;
  if (!UpdateFromTest(applianceId, appliance, date, id, latest, lastTest, made)) {
    db.rollback();
    return Stored::Failed;
  }
  // The cord and kind as the latest test names them; a test that names no
  // cord keeps what an earlier one said.
  if (latest) {
    const Profiles::Appliance named = Report::ApplianceOf(report);
    auto number = [](double value) {
      return std::isnan(value) ? QVariant(QMetaType(QMetaType::Double)) : QVariant(value);
    };
    const bool current = Profiles::IsCurrent(report.VdePruefgrundlage);
    q.prepare(QStringLiteral("UPDATE appliances SET cord_length_m = COALESCE(?, cord_length_m), "
                             "cord_section_mm2 = COALESCE(?, cord_section_mm2), appliance_kind = %1 WHERE id = ?")
                  .arg(current ? QStringLiteral("?") : QStringLiteral("appliance_kind")));
    q.addBindValue(number(named.cordLengthM));
    q.addBindValue(number(named.crossSectionMm2));
    if (current) q.addBindValue(int(named.kind));
    q.addBindValue(applianceId);
    if (!q.exec()) return fail(q.lastError());
    q.finish();
  }
  if (!db.commit()) return fail(db.lastError());
  if (testId) *testId = id;
  lastHash_ = chainHash;
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
  if (!Ready()) return list;
  Bounded bounded(this);
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  q.setForwardOnly(true);
  q.prepare(QStringLiteral("SELECT a.id, c.name, a.inventar_nr, a.description, a.maker_type, a.location, "
                           "a.protection_class, a.interval_months, a.last_test, a.next_due, "
                           "a.cord_length_m, a.cord_section_mm2, a.appliance_kind, a.customer_id, a.serial_nr, "
                           "a.standard, a.retired_on, a.retired_reason "
                           "FROM appliances a JOIN customers c ON c.id = a.customer_id ") +
            where);
  for (const QVariant& v : values) q.addBindValue(v);
  if (!q.exec()) {
    Fail(q.lastError());
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
    if (!q.value(10).isNull()) a.CordLengthM = q.value(10).toDouble();
    if (!q.value(11).isNull()) a.CrossSectionMm2 = q.value(11).toDouble();
    a.Kind = q.value(12).toInt();
    a.CustomerId = q.value(13).toLongLong();
    a.Seriennummer = q.value(14).toString();
    a.Standard = q.value(15).toInt();
    a.RetiredOn = FromIso(q.value(16));
    a.RetiredReason = q.value(17).toString();
    list.push_back(std::move(a));
  }
  // A page that cannot be read ends the rows early: an error, not the end.
  if (q.lastError().isValid()) {
    Fail(q.lastError());
    list.clear();
  }
  return list;
}

std::vector<ArchiveData::Appliance> Archive::DueList(int days, const QDate& today) {
  return DueList(days, today, -1, nullptr);
}

std::vector<ArchiveData::Appliance> Archive::DueList(int days, const QDate& today, int limit,
                                                     const ArchiveData::Appliance* after) {
  // In the order of the index (the day, then the appliance), so a page is
  // read without sorting the whole list first. Retired and merged appliances
  // have no next test date.
  QString where = QStringLiteral("WHERE a.next_due <= ? ");
  QVariantList values{IsoDate(today.addDays(days))};
  if (after) {
    where += QStringLiteral("AND (a.next_due > ? OR (a.next_due = ? AND a.id > ?)) ");
    values << IsoDate(after->NextDue) << IsoDate(after->NextDue) << after->Id;
  }
  where += QStringLiteral("ORDER BY a.next_due, a.id");
  if (limit > 0) where += QStringLiteral(" LIMIT %1").arg(limit);
  return QueryAppliances(where, values);
}

std::vector<ArchiveData::Appliance> Archive::Appliances(const QString& customer) {
  if (customer.isEmpty())
    return QueryAppliances(QStringLiteral("WHERE a.merged_into IS NULL ORDER BY c.name, a.inventar_nr"), {});
  return QueryAppliances(QStringLiteral("WHERE c.name = ? AND a.merged_into IS NULL ORDER BY a.inventar_nr"),
                         {Storable(customer)});
}

QStringList Archive::Customers() {
  QStringList names;
  if (!Ready()) return names;
  Bounded bounded(this);
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  q.setForwardOnly(true);
  if (!q.exec(QStringLiteral("SELECT name FROM customers WHERE merged_into IS NULL ORDER BY name"))) {
    Fail(q.lastError());
    return names;
  }
  while (q.next()) names << q.value(0).toString();
  if (q.lastError().isValid()) {
    Fail(q.lastError());
    names.clear();
  }
  return names;
}

int Archive::TestCount() {
  if (!Ready()) return -1;
  Bounded bounded(this);
  QSqlQuery q(QSqlDatabase::database(connection_, false));
  if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM tests")) || !q.next()) return Fail(q.lastError()), -1;
  return q.value(0).toInt();
}

std::vector<ArchiveData::Test> Archive::History(qint64 applianceId) {
  std::vector<ArchiveData::Test> tests;
  if (!Ready()) return tests;
  Bounded bounded(this);
  QSqlDatabase db = QSqlDatabase::database(connection_, false);
  QSqlQuery q(db);
  q.setForwardOnly(true);
  // Its own tests and those of the appliances merged into it.
  q.prepare(QStringLiteral("SELECT id, test_date, tester, instrument, standard, klasse, sicht, funktion, passed, "
                           "remarks, corrects, record, record_hash, chain_seq, chain_hash, appliance_id FROM tests "
                           "WHERE appliance_id IN (SELECT ? UNION ALL SELECT id FROM appliances WHERE merged_into = ?) "
                           "ORDER BY test_date, id"));
  q.addBindValue(applianceId);
  q.addBindValue(applianceId);
  if (!q.exec()) {
    Fail(q.lastError());
    return tests;
  }
  while (q.next()) {
    ArchiveData::Test t;
    t.Id = q.value(0).toLongLong();
    t.ApplianceId = q.value(15).toLongLong();
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
    t.ChainSeq = q.value(13).toLongLong();
    t.ChainHash = q.value(14).toString();
    // The file kept as proof must be the one stored: a changed byte is damage.
    if (QString::fromLatin1(QCryptographicHash::hash(t.Record, QCryptographicHash::Sha256).toHex()) != q.value(12).toString()) {
      Fail(Fault::Damaged, QStringLiteral("Im Archiv %1 ist eine gespeicherte Prüfung (Nr. %2 vom %3) beschädigt: ihr "
                                          "Datensatz ist nicht mehr der gespeicherte. Ersetzen Sie das Archiv durch seine "
                                          "letzte Sicherungskopie.")
                                   .arg(location_)
                                   .arg(t.Id)
                                   .arg(t.Date.toString(QStringLiteral("dd.MM.yyyy"))));
      tests.clear();
      return tests;
    }
    tests.push_back(t);
  }
  if (q.lastError().isValid()) {
    Fail(q.lastError());
    tests.clear();
    return tests;
  }
  q.finish();
  QSqlQuery rows(db);
  rows.setForwardOnly(true);
  rows.prepare(QStringLiteral("SELECT row_index, measured, limit_text, active, ok FROM test_rows WHERE test_id = ?"));
  for (ArchiveData::Test& t : tests) {
    rows.addBindValue(t.Id);
    if (!rows.exec()) {
      Fail(rows.lastError());
      tests.clear();
      return tests;
    }
    while (rows.next()) {
      const int r = rows.value(0).toInt();
      if (r < 0 || r >= kRowCount) continue;
      t.Rows[size_t(r)] = {rows.value(1).toString(), rows.value(2).toString(), rows.value(3).toInt() != 0,
                           rows.value(4).toInt() != 0};
    }
    if (rows.lastError().isValid()) {
      Fail(rows.lastError());
      tests.clear();
      return tests;
    }
  }
  return tests;
}
