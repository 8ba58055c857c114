#pragma once
// The program's archive: opened on first use at its configured place, and a
// local queue for tests that cannot reach it (a team's server that is down).
// Saving a report and the record list's batch store their tests here; what
// waits in the queue is sent as soon as the archive can be reached again.
#include <QByteArray>
#include <QString>
#include <memory>

class Archive;

class ArchiveService {
 public:
  static ArchiveService& Instance();

  // Where the archive is (Archive::DefaultLocation() unless set), and the
  // queue's file (beside the user's data, never on the server).
  QString Location() const;
  void SetLocation(const QString& location);
  static QString QueueFile();

  enum class Result { Stored, Duplicate, Queued, Failed };
  // Stores a test from its data record file; `corrects` names a test it
  // corrects. When the archive cannot be reached the test waits in the queue.
  Result Store(const QByteArray& recordFile, qint64 corrects = 0, qint64* testId = nullptr);
  // Sends what waits in the queue; true when nothing waits any more.
  bool Flush();
  // Tests waiting in the queue.
  int Pending() const;
  // The archive, opened on first use; nullptr when it cannot be reached
  // (Error() says why).
  Archive* Get();
  QString Error() const { return error_; }
  // One line for the status bar: where tests go, and what waits.
  QString StateText() const;
  // Closes the archive and the queue (the application ends).
  void Shutdown();

 private:
  ArchiveService();
  ~ArchiveService();
  bool Queue(const QByteArray& recordFile, qint64 corrects);

  QString location_;
  std::unique_ptr<Archive> archive_;
  QString error_;
  qint64 lastTry_ = -1;  // when the archive was last tried (ms since start), to not wait on a dead server for every save
};
