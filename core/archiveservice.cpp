#include "core/archiveservice.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include "core/archive.h"

namespace {
const QString kQueueConnection = QStringLiteral("kelvara-archive-queue");
// A server that could not be reached is tried again after this long.
constexpr qint64 kRetryMs = 30000;

QElapsedTimer& Clock() {
  static QElapsedTimer clock = [] {
    QElapsedTimer c;
    c.start();
    return c;
  }();
  return clock;
}

QSqlDatabase QueueDatabase() {
  if (QSqlDatabase::contains(kQueueConnection)) return QSqlDatabase::database(kQueueConnection);
  QDir().mkpath(QFileInfo(ArchiveService::QueueFile()).absolutePath());
  QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kQueueConnection);
  db.setDatabaseName(ArchiveService::QueueFile());
  if (db.open())
    QSqlQuery(db).exec(QStringLiteral("CREATE TABLE IF NOT EXISTS pending (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                                      "record BLOB NOT NULL, corrects INTEGER NOT NULL DEFAULT 0, queued_at TEXT)"));
  return db;
}
}  // namespace

ArchiveService& ArchiveService::Instance() {
  // Made once and kept for the process: the connections are closed with the
  // application, while the database layer still stands.
  static ArchiveService* service = [] {
    auto* s = new ArchiveService;
    if (QCoreApplication::instance()) qAddPostRoutine([] { Instance().Shutdown(); });
    return s;
  }();
  return *service;
}

void ArchiveService::Shutdown() {
  archive_.reset();
  if (QSqlDatabase::contains(kQueueConnection)) {
    QSqlDatabase::database(kQueueConnection, false).close();
    QSqlDatabase::removeDatabase(kQueueConnection);
  }
}

ArchiveService::ArchiveService() = default;
ArchiveService::~ArchiveService() = default;

QString ArchiveService::Location() const { return location_.isEmpty() ? Archive::DefaultLocation() : location_; }

void ArchiveService::SetLocation(const QString& location) {
  location_ = location;
  archive_.reset();
  lastTry_ = -1;
}

QString ArchiveService::QueueFile() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
         QStringLiteral("/Kelvara/warteschlange.sqlite");
}

Archive* ArchiveService::Get() {
  if (archive_ && archive_->IsOpen()) return archive_.get();
  if (lastTry_ >= 0 && Clock().elapsed() - lastTry_ < kRetryMs && !archive_) return nullptr;
  lastTry_ = Clock().elapsed();
  auto archive = std::make_unique<Archive>();
  if (!archive->Open(Location())) {
    error_ = archive->Error();
    archive_.reset();
    return nullptr;
  }
  error_.clear();
  archive_ = std::move(archive);
  return archive_.get();
}

bool ArchiveService::Queue(const QByteArray& recordFile, qint64 corrects) {
  QSqlQuery q(QueueDatabase());
  q.prepare(QStringLiteral("INSERT INTO pending (record, corrects, queued_at) VALUES (?, ?, datetime('now'))"));
  q.addBindValue(recordFile);
  q.addBindValue(corrects);
  return q.exec();
}

ArchiveService::Result ArchiveService::Store(const QByteArray& recordFile, qint64 corrects, qint64* testId) {
  Archive* archive = Get();
  if (archive) {
    Flush();
    switch (archive->StoreRecord(recordFile, corrects, testId)) {
      case Archive::Stored::New: return Result::Stored;
      case Archive::Stored::Duplicate: return Result::Duplicate;
      case Archive::Stored::Failed:
        error_ = archive->Error();
        // The connection broke in between: the test waits instead of being lost.
        if (!archive->IsOpen() || archive->Type() == Archive::Kind::PostgreSQL) {
          archive_.reset();
          lastTry_ = Clock().elapsed();
          break;
        }
        return Result::Failed;
    }
  }
  return Queue(recordFile, corrects) ? Result::Queued : Result::Failed;
}

bool ArchiveService::Flush() {
  if (!QFileInfo::exists(QueueFile())) return true;
  QSqlDatabase db = QueueDatabase();
  QSqlQuery q(db);
  if (!q.exec(QStringLiteral("SELECT id, record, corrects FROM pending ORDER BY id"))) return true;
  std::vector<std::tuple<qint64, QByteArray, qint64>> waiting;
  while (q.next()) waiting.emplace_back(q.value(0).toLongLong(), q.value(1).toByteArray(), q.value(2).toLongLong());
  q.finish();
  if (waiting.empty()) return true;
  Archive* archive = Get();
  if (!archive) return false;
  QSqlQuery remove(db);
  remove.prepare(QStringLiteral("DELETE FROM pending WHERE id = ?"));
  for (const auto& [id, record, corrects] : waiting) {
    if (archive->StoreRecord(record, corrects) == Archive::Stored::Failed && !archive->IsOpen()) return false;
    remove.addBindValue(id);
    remove.exec();
  }
  return true;
}

int ArchiveService::Pending() const {
  if (!QFileInfo::exists(QueueFile())) return 0;
  QSqlQuery q(QueueDatabase());
  if (!q.exec(QStringLiteral("SELECT COUNT(*) FROM pending")) || !q.next()) return 0;
  return q.value(0).toInt();
}

QString ArchiveService::StateText() const {
  const int pending = Pending();
  if (pending > 0)
    return QStringLiteral("Archiv nicht erreichbar: %1 %2 warten auf den Server").arg(pending).arg(
        pending == 1 ? QStringLiteral("Prüfung") : QStringLiteral("Prüfungen"));
  return archive_ ? QStringLiteral("Archiv: %1").arg(archive_->Type() == Archive::Kind::PostgreSQL
                                                          ? QStringLiteral("PostgreSQL-Server")
                                                          : QStringLiteral("lokale Datei"))
                  : QString();
}
