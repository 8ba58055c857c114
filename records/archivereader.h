#pragma once
// A window's own thread for the archive: its reads (lists, histories,
// completions) and its writes of master data run there with a connection of
// their own, so the window never waits for a slow, locked or frozen archive.
// Answers come back on the window's thread, and none after the reader is gone.
#include <QObject>
#include <QString>
#include <functional>

class Archive;
class ArchiveService;
class QThread;

class ArchiveReader : public QObject {
 public:
  // Reads the archive of `service` (its place as it is at each job).
  ArchiveReader(ArchiveService& service, QObject* parent);
  ~ArchiveReader() override;

  // Hands a callable to the owner's thread (from within a job).
  using Post = std::function<void(std::function<void()>)>;
  // Runs `job` on the reading thread with the archive, opened there on first
  // use and never made anew (a file that went away is not replaced). `done`
  // runs on this object's thread with the reason of a failure, empty when the
  // job succeeded (Archive::Failed() after it, or an archive that cannot be
  // opened).
  void Run(std::function<void(Archive&, const Post&)> job, std::function<void(const QString& error)> done);
  // Jobs whose answer has not come yet.
  int Pending() const { return pending_; }

 private:
  ArchiveService& service_;
  QThread* thread_ = nullptr;
  QObject* context_ = nullptr;  // lives on thread_, owns the thread's archive
  int pending_ = 0;
};
