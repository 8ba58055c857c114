#include "core/archiveservice.h"

#include <cstdlib>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSemaphore>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QVariant>

#include <signal.h>
#include <unistd.h>

#include "core/archive.h"
#include "core/fileio.h"

namespace {
// The connections of each service have names of their own: more than one
// service may live in a process (a test's beside the program's).
QAtomicInt g_services;
// An archive that could not be reached is tried again after this long.
constexpr qint64 kRetryMs = 30000;
// The largest data record file taken from a folder.
constexpr qint64 kMaxRecordBytes = 4 * 1024 * 1024;

QElapsedTimer& Uptime() {
  static QElapsedTimer clock = [] {
    QElapsedTimer c;
    c.start();
    return c;
  }();
  return clock;
}

QString Tests(int n) { return n == 1 ? QStringLiteral("1 Prüfung") : QStringLiteral("%1 Prüfungen").arg(n); }

bool IsServer(const QString& location) { return location.startsWith(QLatin1String("postgres")); }

// A location as the user may see it: a server without its password.
QString Shown(const QString& location) {
  if (!IsServer(location)) return QDir::toNativeSeparators(location);
  const int at = location.lastIndexOf(QLatin1Char('@'));
  const int scheme = location.indexOf(QLatin1String("://"));
  if (at < 0 || scheme < 0) return location;
  const QString user = location.mid(scheme + 3, at - scheme - 3).section(QLatin1Char(':'), 0, 0);
  return location.left(scheme + 3) + user + location.mid(at);
}

// A wrong password, an unknown user or database, an archive of a newer
// program: trying again does not help, the archive's settings must change.
bool ConfigurationFault(Archive::Fault fault, const QString& error) {
  if (!Archive::Passing(fault)) return true;
  for (const char* sign : {"password authentication failed", "no password supplied", "does not exist",
                           "Passwort-Authentifizierung", "existiert nicht", "neueren Kelvara-Version"})
    if (error.contains(QLatin1String(sign), Qt::CaseInsensitive)) return true;
  return false;
}

// Opens (and on first use creates) a connection to the queue file.
QSqlDatabase OpenQueueFile(const QString& name) {
  QDir().mkpath(QFileInfo(ArchiveService::QueueFile()).absolutePath());
  QSqlDatabase db = QSqlDatabase::contains(name) ? QSqlDatabase::database(name, false)
                                                 : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
  db.setDatabaseName(ArchiveService::QueueFile());
  db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
  if (!db.isOpen()) db.open();
  return db;
}

void CloseConnection(const QString& name) {
  if (!QSqlDatabase::contains(name)) return;
  QSqlDatabase::database(name, false).close();
  QSqlDatabase::removeDatabase(name);
}

bool Exec(QSqlQuery& q, const QString& sql, QString* error) {
  if (q.exec(sql)) return true;
  if (error) *error = q.lastError().text();
  return false;
}
}  // namespace

// Everything that runs on the archive's thread: its own archive connection,
// its own queue connection.
struct ArchiveService::Worker {
  explicit Worker(ArchiveService* service)
      : service(service), queueConnection(QStringLiteral("kelvara-archive-queue-%1").arg(service->id_)) {}

  ArchiveService* service;
  const QString queueConnection;
  QObject context;  // moved to the thread: jobs are posted to it
  QTimer* retry = nullptr;
  std::unique_ptr<Archive> archive;
  QString openedAt;      // the location `archive` was opened at
  QSet<QString> opened;  // locations opened before: never made anew while the program runs
  QString tried;         // the location last tried
  qint64 lastTry = -1;   // when the archive was last found away
  QString away;          // why it is away (empty: not known to be away)
  bool configFault = false;
  bool queueOpen = false;
  QString queueError;

  // ---- the queue
  bool OpenQueue() {
    if (queueOpen && QSqlDatabase::database(queueConnection, false).isOpen()) return true;
    QSqlDatabase db = OpenQueueFile(queueConnection);
    bool damaged = false;
    if (db.isOpen()) {
      QSqlQuery q(db);
      // A file that is not a database, or one with damaged pages.
      damaged = !q.exec(QStringLiteral("PRAGMA quick_check")) || !q.next() ||
                q.value(0).toString() != QLatin1String("ok");
      if (!damaged) {
        q.finish();
        damaged = !Schema(db);
      }
    }
    if (damaged) {
      db = QSqlDatabase();
      CloseConnection(queueConnection);
      const QString aside = ArchiveService::QueueFile() + QStringLiteral(".beschaedigt-") +
                            QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
      bool moved = QFile::rename(ArchiveService::QueueFile(), aside);
      for (const char* part : {"-wal", "-shm"})
        if (QFile::exists(ArchiveService::QueueFile() + QLatin1String(part)))
          moved = QFile::rename(ArchiveService::QueueFile() + QLatin1String(part), aside + QLatin1String(part)) && moved;
      if (!moved) {
        queueError = QStringLiteral("Die Warteschlange des Archivs (%1) ist beschädigt und lässt sich nicht "
                                    "beiseitelegen. Bitte verschieben Sie die Datei von Hand.")
                         .arg(QDir::toNativeSeparators(ArchiveService::QueueFile()));
        emit service->Notice(queueError);
        return false;
      }
      emit service->Notice(QStringLiteral("Die Warteschlange des Archivs war beschädigt. Sie wurde unverändert "
                                          "beiseitegelegt als\n%1\nund eine neue, leere Warteschlange begonnen. "
                                          "Die Prüfungen in der alten Datei sind nicht verloren; bitte wenden Sie "
                                          "sich an Ihren Betreuer, um sie zu retten.")
                                .arg(QDir::toNativeSeparators(aside)));
      db = OpenQueueFile(queueConnection);
      if (!db.isOpen() || !Schema(db)) {
        queueError = db.lastError().text();
        db = QSqlDatabase();
        CloseConnection(queueConnection);
        return false;
      }
    } else if (!db.isOpen()) {
      queueError = db.lastError().text();
      db = QSqlDatabase();
      CloseConnection(queueConnection);
      return false;
    }
    queueOpen = true;
    queueError.clear();
    return true;
  }

  // The queue's tables; a queue of an older program gets the columns it lacks
  // (its tests were meant for the archive in use now).
  bool Schema(QSqlDatabase& db) {
    QSqlQuery q(db);
    if (!Exec(q, QStringLiteral("PRAGMA journal_mode = WAL"), nullptr)) return false;
    if (!Exec(q, QStringLiteral("CREATE TABLE IF NOT EXISTS pending (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                                "record BLOB NOT NULL, corrects INTEGER NOT NULL DEFAULT 0, queued_at TEXT)"),
              nullptr))
      return false;
    QStringList columns;
    if (!Exec(q, QStringLiteral("PRAGMA table_info(pending)"), nullptr)) return false;
    while (q.next()) columns << q.value(1).toString();
    q.finish();
    if (!columns.contains(QLatin1String("location"))) {
      QSqlQuery add(db);
      add.prepare(QStringLiteral("ALTER TABLE pending ADD COLUMN location TEXT NOT NULL DEFAULT ''"));
      if (!add.exec()) return false;
      add.prepare(QStringLiteral("UPDATE pending SET location = ? WHERE location = ''"));
      add.addBindValue(service->Location());
      if (!add.exec()) return false;
    }
    if (!columns.contains(QLatin1String("reason")) &&
        !Exec(q, QStringLiteral("ALTER TABLE pending ADD COLUMN reason TEXT NOT NULL DEFAULT ''"), nullptr))
      return false;
    if (!columns.contains(QLatin1String("refused")) &&
        !Exec(q, QStringLiteral("ALTER TABLE pending ADD COLUMN refused INTEGER NOT NULL DEFAULT 0"), nullptr))
      return false;
    return Exec(q, QStringLiteral("CREATE TABLE IF NOT EXISTS journal (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                                  "path TEXT NOT NULL, location TEXT NOT NULL, pid INTEGER NOT NULL DEFAULT 0)"),
                nullptr);
  }

  QSqlDatabase Queue() { return QSqlDatabase::database(queueConnection, false); }

  // Puts a test into the queue, and forgets its journal entry in the same
  // transaction. False with *error when the queue cannot take it.
  bool Enqueue(const QByteArray& record, qint64 corrects, const QString& location, const QString& reason,
               bool refused, qint64 journalId, QString* error) {
    if (!OpenQueue()) return *error = queueError, false;
    QSqlDatabase db = Queue();
    if (!db.transaction()) return *error = db.lastError().text(), false;
    QSqlQuery q(db);
    q.prepare(QStringLiteral("INSERT INTO pending (record, corrects, queued_at, location, reason, refused) "
                             "VALUES (?, ?, datetime('now'), ?, ?, ?)"));
    q.addBindValue(record);
    q.addBindValue(corrects);
    q.addBindValue(location);
    q.addBindValue(reason);
    q.addBindValue(refused ? 1 : 0);
    bool ok = q.exec();
    if (ok && journalId > 0) {
      q.prepare(QStringLiteral("DELETE FROM journal WHERE id = ?"));
      q.addBindValue(journalId);
      ok = q.exec();
    }
    if (!ok || !db.commit()) {
      *error = q.lastError().isValid() ? q.lastError().text() : db.lastError().text();
      db.rollback();
      return false;
    }
    return true;
  }

  void Forget(qint64 journalId) {
    if (journalId <= 0 || !OpenQueue()) return;
    QSqlQuery q(Queue());
    q.prepare(QStringLiteral("DELETE FROM journal WHERE id = ?"));
    q.addBindValue(journalId);
    q.exec();
  }

  // ---- the archive
  Archive* Get() {
    const QString location = service->Location();
    if (archive && openedAt != location) archive.reset();
    if (archive && archive->IsOpen()) return archive.get();
    archive.reset();
    if (lastTry >= 0 && Uptime().elapsed() - lastTry < kRetryMs) return nullptr;
    auto fresh = std::make_unique<Archive>();
    tried = location;
    // An archive file that went away after it was opened is not made again
    // empty at its place: its tests wait until it is back.
    if (!fresh->Open(location, opened.contains(location) ? Archive::OpenMode::ExistingOnly
                                                           : Archive::OpenMode::CreateIfMissing)) {
      GoneAway(fresh->LastFault(), fresh->Error());
      return nullptr;
    }
    away.clear();
    configFault = false;
    lastTry = -1;
    openedAt = location;
    opened.insert(location);
    archive = std::move(fresh);
    return archive.get();
  }

  // The archive cannot take tests now: it is not tried again for a while.
  void GoneAway(Archive::Fault fault, const QString& error) {
    const bool wasAway = !away.isEmpty();
    archive.reset();
    lastTry = Uptime().elapsed();
    configFault = ConfigurationFault(fault, error);
    away = error.isEmpty() ? QStringLiteral("Das Archiv ist nicht erreichbar.") : error;
    if (fault == Archive::Fault::Gone && !wasAway)
      emit service->Notice(QStringLiteral("Die Archivdatei ist nicht mehr dort, wo sie geöffnet wurde:\n%1\n\n%2\n\n"
                                          "Die Prüfungen warten in der Warteschlange, bis das Archiv wieder "
                                          "erreichbar ist. Bitte legen Sie die Datei zurück oder wählen Sie "
                                          "unter „Archiv wählen...“ ihren neuen Ort.")
                               .arg(Shown(service->Location()), away));
  }

  // Stores one test, or queues it with the reason it could not be stored.
  Outcome StoreOne(const QByteArray& record, qint64 corrects, const QString& location, qint64 journalId,
                   bool tryArchive) {
    Outcome out;
    bool refused = false;
    if (location != service->Location()) {
      out.reason = QStringLiteral("Sie wartet auf ihr Archiv %1.").arg(Shown(location));
    } else if (!tryArchive) {
      out.reason = QStringLiteral("nach dem Abbrechen in die Warteschlange gelegt");
    } else if (Archive* a = Get()) {
      switch (a->StoreRecord(record, corrects, &out.testId)) {
        case Archive::Stored::New:
          out.result = Result::Stored;
          emit service->TestsAdded();
          break;
        case Archive::Stored::Duplicate: out.result = Result::Duplicate; break;
        case Archive::Stored::Failed:
          out.reason = a->Error();
          // A test the archive refuses says nothing about the archive: the
          // others still go in.
          if (a->LastFault() == Archive::Fault::Refused)
            refused = true;
          else
            GoneAway(a->LastFault(), a->Error());
          break;
      }
      if (out.result != Result::Failed) {
        out.chainHash = a->LastHash();
        Forget(journalId);
        return out;
      }
    } else {
      out.reason = away;
    }
    QString error;
    if (Enqueue(record, corrects, location, out.reason, refused, journalId, &error)) {
      out.result = Result::Queued;
      out.refused = refused;
    } else {
      out.result = Result::Failed;
      out.reason = QStringLiteral("%1 Auch die Warteschlange kann sie nicht aufnehmen: %2").arg(out.reason, error);
    }
    return out;
  }

  // Sends what waits for the current archive, the oldest first. A refused
  // test stays with its reason; an archive that goes away ends the flush.
  // In steps: at most `limit` tests with ids after *after (which moves on);
  // *taken gets how many were taken, *stopped whether the archive went away
  // or the flush was cancelled.
  bool FlushQueue(const Cancel& cancel, const std::function<void(int, int)>& progress, int limit = -1,
                  qint64* after = nullptr, int* taken = nullptr, bool* stopped = nullptr) {
    if (taken) *taken = 0;
    if (stopped) *stopped = true;
    if (!QFileInfo::exists(ArchiveService::QueueFile())) return true;
    if (!OpenQueue()) return false;
    QSqlDatabase db = Queue();
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT id, record, corrects, refused FROM pending WHERE location = ? AND id > ? "
                             "ORDER BY id LIMIT ?"));
    q.addBindValue(service->Location());
    q.addBindValue(after ? *after : qint64(0));
    q.addBindValue(limit);
    if (!q.exec()) return false;
    struct Waiting {
      qint64 id;
      QByteArray record;
      qint64 corrects;
      bool refused;
    };
    std::vector<Waiting> waiting;
    while (q.next())
      waiting.push_back({q.value(0).toLongLong(), q.value(1).toByteArray(), q.value(2).toLongLong(), q.value(3).toInt() != 0});
    q.finish();
    if (stopped) *stopped = false;
    if (waiting.empty()) return true;
    Archive* a = Get();
    if (!a) {
      if (stopped) *stopped = true;
      return false;
    }
    QSqlQuery update(db);
    QStringList newlyRefused;
    int done = 0;
    bool complete = true;
    for (const Waiting& w : waiting) {
      if (cancel && *cancel) {
        complete = false;
        if (stopped) *stopped = true;
        break;
      }
      if (after) *after = w.id;
      if (taken) ++*taken;
      if (a->StoreRecord(w.record, w.corrects) != Archive::Stored::Failed) {
        update.prepare(QStringLiteral("DELETE FROM pending WHERE id = ?"));
        update.addBindValue(w.id);
        update.exec();
      } else if (a->LastFault() == Archive::Fault::Refused) {
        complete = false;
        update.prepare(QStringLiteral("UPDATE pending SET reason = ?, refused = 1 WHERE id = ?"));
        update.addBindValue(a->Error());
        update.addBindValue(w.id);
        update.exec();
        if (!w.refused) newlyRefused << a->Error();
      } else {
        GoneAway(a->LastFault(), a->Error());
        complete = false;
        if (stopped) *stopped = true;
        break;
      }
      ++done;
      if (progress && (done % 20 == 0 || done == int(waiting.size()))) progress(done, int(waiting.size()));
    }
    if (!newlyRefused.isEmpty())
      emit service->Notice(QStringLiteral("%1 aus der Warteschlange %2 vom Archiv abgewiesen und warten weiter:\n%3")
                               .arg(Tests(int(newlyRefused.size())))
                               .arg(newlyRefused.size() == 1 ? QStringLiteral("wurde") : QStringLiteral("wurden"))
                               .arg(newlyRefused.mid(0, 5).join(QLatin1Char('\n'))));
    return complete;
  }

  // Completes the batches a crash cut short: each target file that is there
  // goes into its archive (a file stored before is found as a duplicate).
  void Replay() {
    if (!QFileInfo::exists(ArchiveService::QueueFile()) || !OpenQueue()) return;
    QSqlQuery q(Queue());
    if (!q.exec(QStringLiteral("SELECT id, path, location, pid FROM journal ORDER BY id"))) return;
    struct Entry {
      qint64 id;
      QString path, location;
      qint64 pid;
    };
    std::vector<Entry> entries;
    while (q.next())
      entries.push_back({q.value(0).toLongLong(), q.value(1).toString(), q.value(2).toString(), q.value(3).toLongLong()});
    q.finish();
    for (const Entry& e : entries) {
      // Another Kelvara still at its batch.
      if (e.pid > 0 && e.pid != qint64(getpid()) && kill(pid_t(e.pid), 0) == 0) continue;
      if (e.pid == qint64(getpid())) continue;
      QByteArray bytes;
      QString error;
      if (FileIO::ReadFile(e.path, kMaxRecordBytes, &bytes, &error) != FileIO::ReadResult::Ok) {
        Forget(e.id);
        continue;
      }
      StoreOne(bytes, 0, e.location, e.id, true);
    }
  }

  // The state for the status bar, from the queue as it is.
  void Publish() {
    State s;
    s.known = true;
    s.reachable = archive != nullptr;
    s.server = IsServer(service->Location());
    s.waiting = away;
    s.configFault = configFault;
    if (!queueError.isEmpty()) s.waiting = queueError;
    if (QFileInfo::exists(ArchiveService::QueueFile()) && OpenQueue()) {
      QSqlQuery q(Queue());
      q.prepare(QStringLiteral("SELECT COUNT(*), COALESCE(SUM(refused), 0), COALESCE(SUM(location <> ?), 0) FROM pending"));
      q.addBindValue(service->Location());
      if (q.exec() && q.next()) {
        s.pending = q.value(0).toInt();
        s.refused = q.value(1).toInt();
        s.elsewhere = q.value(2).toInt();
      }
      q.finish();
      if (s.refused > 0 && q.exec(QStringLiteral("SELECT reason FROM pending WHERE refused = 1 ORDER BY id LIMIT 1")) &&
          q.next())
        s.refusal = q.value(0).toString();
      q.finish();
      q.prepare(QStringLiteral("SELECT location FROM pending WHERE location <> ? ORDER BY id LIMIT 1"));
      q.addBindValue(service->Location());
      if (s.elsewhere > 0 && q.exec() && q.next()) s.elsewhereWhere = q.value(0).toString();
    }
    service->Publish(s);
  }

  // Sends the queue beside the other jobs: a step of a few tests at a time,
  // so that a save posted meanwhile is not held up by a long queue. The
  // window is told how far it is (Sending), and may cancel it.
  bool sending = false;
  bool paused = false;  // the user cancelled: until the next start or store
  qint64 sentUpTo = 0;
  int sendTotal = 0, sendDone = 0;
  Cancel sendCancel;

  void SendInBackground() {
    if (sending || paused || !QFileInfo::exists(ArchiveService::QueueFile()) || !OpenQueue()) return;
    QSqlQuery q(Queue());
    q.prepare(QStringLiteral("SELECT COUNT(*) FROM pending WHERE location = ?"));
    q.addBindValue(service->Location());
    if (!q.exec() || !q.next() || q.value(0).toInt() == 0) return;
    sendTotal = q.value(0).toInt();
    q.finish();
    sending = true;
    sentUpTo = 0;
    sendDone = 0;
    sendCancel = NewCancel();
    service->SetSendCancel(sendCancel);
    emit service->Sending(0, sendTotal, false);
    QMetaObject::invokeMethod(&context, [this] { SendStep(); }, Qt::QueuedConnection);
  }

  void SendStep() {
    int taken = 0;
    bool stopped = false;
    FlushQueue(sendCancel, nullptr, 50, &sentUpTo, &taken, &stopped);
    sendDone += taken;
    const bool canceled = sendCancel && *sendCancel;
    if (!stopped && taken == 50 && !canceled) {
      emit service->Sending(sendDone, sendTotal, false);
      Publish();
      QMetaObject::invokeMethod(&context, [this] { SendStep(); }, Qt::QueuedConnection);
      return;
    }
    sending = false;
    paused = canceled;
    emit service->Sending(sendDone, sendTotal, true);
    AfterJob();
  }

  // After a job: while tests wait and the archive may be back, try again.
  void AfterJob() {
    Publish();
    const State s = service->Snapshot();
    if (s.pending - s.elsewhere > s.refused && retry && !retry->isActive()) retry->start();
  }

  void Close() {
    if (retry) retry->stop();
    archive.reset();
    CloseConnection(queueConnection);
    queueOpen = false;
  }
};

namespace {
// The services alive, so that a process that ends without taking them down
// (exit() from a tool, a leaked application) still stops their threads first.
std::mutex g_liveMutex;
QSet<ArchiveService*>& Live() {
  static QSet<ArchiveService*> live;
  return live;
}
void ShutdownLive() {
  std::lock_guard<std::mutex> lock(g_liveMutex);
  for (ArchiveService* service : Live()) service->Shutdown();
}
}  // namespace

ArchiveService::ArchiveService(QObject* parent)
    : QObject(parent),
      id_(g_services.fetchAndAddRelaxed(1)),
      journalConnection_(QStringLiteral("kelvara-archive-journal-%1").arg(id_)) {
  std::lock_guard<std::mutex> lock(g_liveMutex);
  Live().insert(this);
}

ArchiveService::~ArchiveService() {
  {
    std::lock_guard<std::mutex> lock(g_liveMutex);
    Live().remove(this);
  }
  Shutdown();
}

ArchiveService::Cancel ArchiveService::NewCancel() { return std::make_shared<std::atomic<bool>>(false); }

void ArchiveService::EnsureWorker() {
  if (thread_) return;
  // A process that ends without taking its application down (exit() from a
  // tool, a leaked QApplication) stops the thread before the database layer
  // goes: the layer's registry, its driver loader and its empty query are
  // made first, so they are torn down only after this has run.
  static const bool stopsAtExit = [] {
    QSqlDatabase::contains(QString());
    QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE"));
    { QSqlQuery warm; }
    std::atexit(ShutdownLive);
    if (QCoreApplication::instance()) qAddPostRoutine(ShutdownLive);
    return true;
  }();
  (void)stopsAtExit;
  thread_ = new QThread;
  thread_->setObjectName(QStringLiteral("Archiv"));
  worker_ = new Worker(this);
  worker_->context.moveToThread(thread_);
  thread_->start();
  Worker* w = worker_;
  QMetaObject::invokeMethod(&w->context, [w] {
    w->retry = new QTimer(&w->context);
    w->retry->setSingleShot(true);
    w->retry->setInterval(int(kRetryMs) + 100);
    QObject::connect(w->retry, &QTimer::timeout, &w->context, [w] { w->SendInBackground(); });
  }, Qt::QueuedConnection);
}

void ArchiveService::Post(std::function<void()> job) {
  EnsureWorker();
  QMetaObject::invokeMethod(&worker_->context, std::move(job), Qt::QueuedConnection);
}

void ArchiveService::RunBlocking(const std::function<void()>& job) {
  EnsureWorker();
  if (QThread::currentThread() == thread_) return job();
  QSemaphore done;
  Post([&] {
    job();
    done.release();
  });
  done.acquire();
}

void ArchiveService::WaitIdle() {
  // Until the queue's sending in steps is over, too.
  bool sending = true;
  while (sending) {
    Worker* w = worker_;
    RunBlocking([&sending, w] { sending = w && w->sending; });
  }
}

void ArchiveService::Shutdown() {
  if (thread_) {
    Worker* w = worker_;
    RunBlocking([w] { w->Close(); });
    thread_->quit();
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
    delete worker_;
    worker_ = nullptr;
  }
  archive_.reset();
  CloseConnection(journalConnection_);
}

QString ArchiveService::Location() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return location_.isEmpty() ? Archive::DefaultLocation() : location_;
}

void ArchiveService::SetLocation(const QString& location) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    location_ = location;
  }
  archive_.reset();
  lastTry_ = -1;
  error_.clear();
  // The worker opens the new archive with its next job, and says what waits.
  EnsureWorker();
  Worker* w = worker_;
  RunBlocking([w, location] {
    // Tests that waited for a server the program could not log in to (a
    // wrong database name, a user unknown there) go to the same server
    // under its corrected address.
    if (w->configFault && IsServer(w->tried) && IsServer(location) && w->tried != location && w->OpenQueue() &&
        QUrl(w->tried).host() == QUrl(location).host() && QUrl(w->tried).port() == QUrl(location).port()) {
      QSqlQuery q(w->Queue());
      q.prepare(QStringLiteral("UPDATE pending SET location = ? WHERE location = ?"));
      q.addBindValue(location);
      q.addBindValue(w->tried);
      q.exec();
    }
    w->archive.reset();
    w->lastTry = -1;
    w->away.clear();
    w->configFault = false;
    w->Publish();
  });
}

QString ArchiveService::QueueFile() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
         QStringLiteral("/Kelvara/warteschlange.sqlite");
}

Archive* ArchiveService::Get() {
  if (archive_ && archive_->IsOpen()) return archive_.get();
  if (lastTry_ >= 0 && Uptime().elapsed() - lastTry_ < kRetryMs && !archive_) return nullptr;
  lastTry_ = Uptime().elapsed();
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

QString ArchiveService::Error() const { return error_; }

namespace {
// Hands an answer to the receiver on the service's thread, unless the
// receiver is gone by then.
template <typename Fn>
void Answer(ArchiveService* service, QObject* receiver, Fn fn) {
  QPointer<QObject> guard(receiver);
  QMetaObject::invokeMethod(service, [guard, fn = std::move(fn)]() mutable {
    if (guard) fn();
  }, Qt::QueuedConnection);
}
}  // namespace

void ArchiveService::StoreAsync(const QByteArray& recordFile, qint64 corrects, QObject* receiver,
                                std::function<void(const Outcome&)> done) {
  EnsureWorker();
  Worker* w = worker_;
  const QString location = Location();
  QPointer<QObject> guard(receiver);
  Post([this, w, recordFile, corrects, location, guard, done = std::move(done)] {
    const Outcome out = w->StoreOne(recordFile, corrects, location, 0, true);
    w->AfterJob();
    if (out.result == Result::Stored || out.result == Result::Duplicate) {
      w->paused = false;
      w->SendInBackground();
    }
    if (done) Answer(this, guard.data(), [done, out] { done(out); });
  });
}

void ArchiveService::HashesAsync(const std::vector<QByteArray>& recordFiles, QObject* receiver,
                                 std::function<void(const std::vector<QString>&, const QString&)> done) {
  EnsureWorker();
  Worker* w = worker_;
  const QString location = Location();
  QPointer<QObject> guard(receiver);
  Post([this, w, recordFiles, location, guard, done = std::move(done)] {
    std::vector<QString> hashes;
    QString why;
    // The thread's own archive when it is open there, else one opened to read.
    Archive own;
    Archive* a = w->archive && w->archive->IsOpen() && w->openedAt == location ? w->archive.get() : nullptr;
    if (!a) {
      if (own.Open(location, Archive::OpenMode::ExistingOnly)) a = &own;
      else why = own.Error();
    }
    if (a) {
      for (const QByteArray& file : recordFiles) {
        hashes.push_back(a->HashOfRecord(file));
        if (a->Failed()) {
          why = a->Error();
          hashes.clear();
          break;
        }
      }
    }
    hashes.resize(recordFiles.size());
    if (done) Answer(this, guard.data(), [done, hashes, why] { done(hashes, why); });
  });
}

ArchiveService::Result ArchiveService::Store(const QByteArray& recordFile, qint64 corrects, qint64* testId) {
  EnsureWorker();
  Worker* w = worker_;
  const QString location = Location();
  Outcome out;
  RunBlocking([&] {
    out = w->StoreOne(recordFile, corrects, location, 0, true);
    w->AfterJob();
    if (out.result == Result::Stored || out.result == Result::Duplicate) {
      w->paused = false;
      w->SendInBackground();
    }
  });
  if (testId && out.result == Result::Stored) *testId = out.testId;
  if (out.result != Result::Stored && out.result != Result::Duplicate) error_ = out.reason;
  return out.result;
}

QList<qint64> ArchiveService::BeginBatch(const QStringList& paths, QString* error) {
  // On the calling thread: the journal must be in the queue file before the
  // first file is written, whatever the archive's thread is busy with.
  QList<qint64> ids;
  {
    QSqlDatabase db = OpenQueueFile(journalConnection_);
    QSqlQuery q(db);
    const QString location = Location();
    bool ok = db.isOpen() &&
              q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS journal (id INTEGER PRIMARY KEY AUTOINCREMENT, "
                                    "path TEXT NOT NULL, location TEXT NOT NULL, pid INTEGER NOT NULL DEFAULT 0)")) &&
              db.transaction();
    if (ok) {
      q.prepare(QStringLiteral("INSERT INTO journal (path, location, pid) VALUES (?, ?, ?)"));
      for (const QString& path : paths) {
        q.addBindValue(QFileInfo(path).absoluteFilePath());
        q.addBindValue(location);
        q.addBindValue(qint64(getpid()));
        if (!(ok = q.exec())) break;
        ids << q.lastInsertId().toLongLong();
      }
      ok = ok && db.commit();
    }
    if (!ok) {
      *error = q.lastError().isValid() ? q.lastError().text() : db.lastError().text();
      db.rollback();
      ids.clear();
    }
  }
  CloseConnection(journalConnection_);
  return ids;
}

void ArchiveService::StoreBatchFile(qint64 journalId, const QString& path, const ReportRecord& meant, const Cancel& cancel,
                                    QObject* receiver, std::function<void(const Outcome&)> done) {
  EnsureWorker();
  Worker* w = worker_;
  const QString location = Location();
  QPointer<QObject> guard(receiver);
  Post([this, w, journalId, path, meant, cancel, location, guard, done = std::move(done)] {
    QByteArray bytes, expected;
    QString error;
    Outcome out;
    if (Report::Encode(meant, &expected).status != Report::WriteResult::Ok ||
        FileIO::ReadFile(path, kMaxRecordBytes, &bytes, &error) != FileIO::ReadResult::Ok || bytes != expected) {
      // Not written (cancelled before, or it could not be): nothing to store.
      out.absent = true;
      w->Forget(journalId);
    } else {
      out = w->StoreOne(bytes, 0, location, journalId, !(cancel && *cancel));
    }
    w->AfterJob();
    if (done) Answer(this, guard.data(), [done, out] { done(out); });
  });
}

bool ArchiveService::Flush() {
  EnsureWorker();
  Worker* w = worker_;
  bool empty = false;
  RunBlocking([&] {
    empty = w->FlushQueue(nullptr, nullptr);
    w->AfterJob();
  });
  return empty;
}

void ArchiveService::ImportAsync(const QString& folder, const Cancel& cancel, QObject* receiver,
                                 std::function<void(int, int)> progress, std::function<void(const ImportResult&)> done) {
  EnsureWorker();
  Worker* w = worker_;
  QPointer<QObject> guard(receiver);
  Post([this, w, folder, cancel, guard, progress = std::move(progress), done = std::move(done)] {
    ImportResult result;
    QDirIterator it(folder, {QStringLiteral("*.ini"), QStringLiteral("*.INI")}, QDir::Files);
    QStringList files;
    while (it.hasNext()) files << it.next();
    files.sort();
    result.total = int(files.size());
    Archive* a = w->Get();
    if (!a) result.stopped = w->away;
    int done_ = 0;
    for (const QString& path : files) {
      if (!a) break;
      if (cancel && *cancel) {
        result.canceled = true;
        break;
      }
      QByteArray bytes;
      QString error;
      const QString name = QFileInfo(path).fileName();
      if (FileIO::ReadFile(path, kMaxRecordBytes, &bytes, &error) != FileIO::ReadResult::Ok) {
        result.unreadable << QStringLiteral("%1: %2").arg(name, error);
      } else {
        switch (a->StoreRecord(bytes)) {
          case Archive::Stored::New: ++result.stored; break;
          case Archive::Stored::Duplicate: ++result.duplicates; break;
          case Archive::Stored::Failed:
            if (a->LastFault() == Archive::Fault::Refused) {
              result.unreadable << QStringLiteral("%1: %2").arg(name, a->Error());
            } else {
              // The archive went away: the files stay in the folder for another try.
              result.stopped = a->Error();
              w->GoneAway(a->LastFault(), a->Error());
              a = nullptr;
            }
            break;
        }
      }
      ++done_;
      if (progress && (done_ % 50 == 0 || done_ == result.total))
        Answer(this, guard.data(), [progress, done_, total = result.total] { progress(done_, total); });
    }
    w->AfterJob();
    if (result.stored > 0) emit TestsAdded();
    if (done) Answer(this, guard.data(), [done, result] { done(result); });
  });
}

void ArchiveService::Start() {
  EnsureWorker();
  Worker* w = worker_;
  Post([w] {
    w->OpenQueue();
    w->Replay();
    w->paused = false;
    w->AfterJob();
    w->SendInBackground();
  });
}

void ArchiveService::SetSendCancel(const Cancel& cancel) {
  std::lock_guard<std::mutex> lock(mutex_);
  sendCancel_ = cancel;
}

void ArchiveService::CancelSending() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (sendCancel_) *sendCancel_ = true;
}

void ArchiveService::Publish(const State& state) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    state_ = state;
  }
  emit StateChanged();
}

ArchiveService::State ArchiveService::Snapshot() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return state_;
}

int ArchiveService::Pending() const { return Snapshot().pending; }
int ArchiveService::Refused() const { return Snapshot().refused; }

QString ArchiveService::StateText() const {
  const State s = Snapshot();
  const int here = s.pending - s.elsewhere;
  QStringList parts;
  if (here > 0) {
    QString text;
    if (s.configFault)
      text = QStringLiteral("Archiv falsch eingerichtet (%1): %2 %3, bis es unter „Archiv wählen...“ richtig "
                            "eingestellt ist")
                 .arg(s.waiting, Tests(here), here == 1 ? QStringLiteral("wartet") : QStringLiteral("warten"));
    else if (here > s.refused && s.server && !s.reachable)
      text = QStringLiteral("Archiv nicht erreichbar: %1 %2 auf den Server").arg(Tests(here)).arg(
          here == 1 ? QStringLiteral("wartet") : QStringLiteral("warten"));
    else
      text = QStringLiteral("%1 %2 auf das Archiv").arg(Tests(here)).arg(here == 1 ? QStringLiteral("wartet")
                                                                                   : QStringLiteral("warten"));
    if (!s.configFault && !s.reachable && !s.waiting.isEmpty() && here > s.refused)
      text += QStringLiteral(" (%1)").arg(s.waiting);
    if (s.refused > 0) text += QStringLiteral(", davon %1 abgewiesen: %2").arg(s.refused).arg(s.refusal);
    parts << text;
  }
  if (s.elsewhere > 0)
    parts << QStringLiteral("%1 %2 auf ein anderes Archiv (%3)")
                 .arg(Tests(s.elsewhere))
                 .arg(s.elsewhere == 1 ? QStringLiteral("wartet") : QStringLiteral("warten"))
                 .arg(Shown(s.elsewhereWhere));
  if (!parts.isEmpty()) return parts.join(QStringLiteral("; "));
  if (!s.reachable) return QString();
  return QStringLiteral("Archiv: %1").arg(s.server ? QStringLiteral("PostgreSQL-Server") : QStringLiteral("lokale Datei"));
}
