#pragma once
// The program's archive: opened on first use at its configured place, and a
// local queue for tests that cannot reach it (a team's server that is down, a
// file another program holds). Saving a report, the record list's batch store
// and the folder import store their tests here; what waits in the queue is
// sent as soon as the archive can be reached again.
//
// Every store, flush and import runs on a thread of its own with its own
// connections (a database connection belongs to the thread that made it), so
// a locked file or a server that stops answering never holds up the window.
// The window posts a job and gets its answer on its own thread, in the
// context of a receiver object (no answer once the receiver is gone).
//
// The queue keeps, per test, the archive it was meant for, and why it waits;
// a test the archive refuses (not a server that is away) stays with its
// reason and does not hold back the others. A batch of files notes its target
// files in the queue's journal before it writes them, so that a batch cut
// short by a crash is completed at the next start.
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "core/reportrecord.h"

class Archive;
class QThread;

class ArchiveService : public QObject {
  Q_OBJECT
 public:
  // The program has one, owned by its application object and handed to the
  // windows that store or read tests; the command-line tool and tests make
  // their own. Taking it down closes its archive and queue.
  explicit ArchiveService(QObject* parent = nullptr);
  ~ArchiveService() override;

  // Where the archive is (Archive::DefaultLocation() unless set), and the
  // queue's file (beside the user's data, never on the server).
  QString Location() const;
  void SetLocation(const QString& location);
  static QString QueueFile();

  enum class Result { Stored, Duplicate, Queued, Failed };
  struct Outcome {
    Result result = Result::Failed;
    qint64 testId = 0;
    bool refused = false;  // queued, but the archive refused it (not away)
    bool absent = false;   // a batch's file that is not there as the batch meant to write it
    QString reason;        // why the test waits or is not in the archive (German)
    QString chainHash;     // stored (or stored before): the test's hash, whose first digits its report prints
  };
  // A job's cancel flag: once set, the job stops after the test it is at.
  using Cancel = std::shared_ptr<std::atomic<bool>>;
  static Cancel NewCancel();

  // Stores a test from its data record file; `corrects` names a test it
  // corrects. When the archive cannot take it the test waits in the queue.
  // `done` runs on the receiver's thread.
  void StoreAsync(const QByteArray& recordFile, qint64 corrects, QObject* receiver,
                  std::function<void(const Outcome&)> done);
  // The same, waiting for the answer: for the command-line tool and tests,
  // never for the window.
  Result Store(const QByteArray& recordFile, qint64 corrects = 0, qint64* testId = nullptr);

  // A batch of data record files: BeginBatch notes the target files in the
  // journal (before any is written) and gives a journal id per path (empty
  // with *error when the journal cannot be written). Each file is handed over
  // with StoreBatchFile after the batch wrote it, with the report it was to
  // hold: a file that does not hold it was not written (`absent`). After a
  // cancel the rest waits in the queue instead of being tried.
  QList<qint64> BeginBatch(const QStringList& paths, QString* error);
  void StoreBatchFile(qint64 journalId, const QString& path, const ReportRecord& meant, const Cancel& cancel,
                      QObject* receiver, std::function<void(const Outcome&)> done);

  // The hashes of the stored tests of data record files (the fingerprints
  // their reports print): empty for a file that is not stored, all empty with
  // `why` when the archive cannot be read. Reads, never makes an archive.
  // `done` runs on the receiver's thread.
  void HashesAsync(const std::vector<QByteArray>& recordFiles, QObject* receiver,
                   std::function<void(const std::vector<QString>& hashes, const QString& why)> done);

  // Sends what waits in the queue for the current archive and waits for it
  // (command-line tool, tests); true when nothing waits for it any more.
  bool Flush();

  struct ImportResult {
    int total = 0, stored = 0, duplicates = 0;
    QStringList unreadable;  // "file: why"
    bool canceled = false;
    QString stopped;  // why the import stopped before the end (the archive went away)
  };
  // Reads every data record file (*.ini) of a folder into the archive.
  void ImportAsync(const QString& folder, const Cancel& cancel, QObject* receiver,
                   std::function<void(int, int)> progress, std::function<void(const ImportResult&)> done);

  // At the start of the program: completes the batches a crash cut short and
  // sends what waits (beside other jobs; see Sending).
  void Start();
  // Stops sending the queue after the test it is at; the rest waits until the
  // next start or the next test stored.
  void CancelSending();
  // Waits until every job posted so far is done (tests, shutdown).
  void WaitIdle();

  // Tests waiting in the queue, and of them those the archive refused.
  int Pending() const;
  int Refused() const;
  // The archive for reading (the archive window), opened on first use on the
  // calling thread; nullptr when it cannot be reached (Error() says why).
  Archive* Get();
  QString Error() const;
  // One line for the status bar: where tests go, and what waits and why.
  QString StateText() const;
  // Closes the archive and the queue (the application ends).
  void Shutdown();

 signals:
  // The queue or the archive's state changed (StateText() is new).
  void StateChanged();
  // Tests went into the archive (from this program: stored, sent from the
  // queue or imported). Emitted on the archive's thread.
  void TestsAdded();
  // Something the user is to be told now: the queue file was damaged and
  // moved aside, the archive file is gone, a test was refused.
  void Notice(const QString& text);
  // The queue is being sent: `done` of `total`; `finished` at its end (all
  // sent, the archive away again, or cancelled).
  void Sending(int done, int total, bool finished);

 private:
  struct Worker;
  struct State {
    int pending = 0, refused = 0, elsewhere = 0;
    QString refusal;         // the reason of the first refused test
    QString elsewhereWhere;  // an archive other tests wait for
    QString waiting;         // why the archive cannot take tests now
    bool configFault = false, reachable = false, server = false, known = false;
  };
  void EnsureWorker();
  void Post(std::function<void()> job);
  void RunBlocking(const std::function<void()>& job);
  void Publish(const State& state);
  State Snapshot() const;
  void SetSendCancel(const Cancel& cancel);

  const int id_;
  const QString journalConnection_;
  mutable std::mutex mutex_;
  QString location_;
  State state_;
  Cancel sendCancel_;
  QThread* thread_ = nullptr;
  Worker* worker_ = nullptr;  // lives on thread_
  // The reading connection of the thread that uses Get() (the window's).
  std::unique_ptr<Archive> archive_;
  QString error_;
  qint64 lastTry_ = -1;
};
