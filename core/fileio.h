#pragma once
// Reading and saving whole files with errors told in German.
//
// SaveFileAtomically writes the bytes to a temporary file beside the target,
// checks that every byte was written, makes the file durable (fsync) and only
// then renames it over the target and syncs the folder. On any failure the
// temporary file is removed and the target stays exactly as it was: a full
// disk never leaves an empty or half-written file where a good one was.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace FileIO {

// The reason for a system error number, in German, for the cases a user meets
// (missing file, permission, full disk, read-only file system, too large, ...).
QString ErrorText(int errorNumber);

enum class ReadResult { Ok, Missing, Failed };
// The one reader of files a user names or keeps in a folder: a regular file
// of at most maxBytes. Missing when nothing is at the path; Failed with *error
// set for a folder, a pipe, a device (or a link to one), a file over the limit
// or a read error. Never waits: the file is opened without blocking and
// checked on the open handle before anything is read.
ReadResult ReadFile(const QString& path, qint64 maxBytes, QByteArray* data, QString* error);
// The same for a path as the file system spells it (names that are not UTF-8).
ReadResult ReadFileNative(const QByteArray& path, qint64 maxBytes, QByteArray* data, QString* error);

// True when the bytes are in the file at `path` for good; false with *error.
bool SaveFileAtomically(const QString& path, const QByteArray& data, QString* error);

// Where a file is written until it is complete: a hidden name beside the
// target, ".kelvara-<process id>-XXXXXX.tmp", short whatever the target is
// called. Returns an open descriptor and the name, or -1 with *error.
int CreateTempFile(const QString& folder, QByteArray* tempPath, QString* error);

// Removes what a killed run of this program left in the folder: files named
// as CreateTempFile names them, of a process that no longer runs, last changed
// before this process started. Anyone else's files stay. Returns how many.
int RemoveStaleTempFiles(const QString& folder);

// Renames a complete temporary file (written by someone else, a printer
// driver for example) over the target: it must not be empty, must end with
// `trailer` (when given) and is made durable first. On failure the temporary
// file is removed and the target stays as it was.
bool CommitTempFile(const QByteArray& tempPath, const QString& target, const QByteArray& trailer, QString* error);

// Many files saved as SaveFileAtomically saves one, with a single wait for the
// disk for all of them: Add writes each to its temporary file, Commit makes
// them durable with one sync of the file system and renames each into place.
// What is not committed is removed with the group.
class SaveGroup {
 public:
  SaveGroup() = default;
  SaveGroup(const SaveGroup&) = delete;
  SaveGroup& operator=(const SaveGroup&) = delete;
  ~SaveGroup();
  // False with *error when the bytes could not be written (nothing is left then).
  bool Add(const QString& target, const QByteArray& data, QString* error);
  // One entry per Add that succeeded, in order: empty when the file is in
  // place, else why not.
  QStringList Commit();
  int Size() const { return int(files_.size()); }

 private:
  struct File {
    QByteArray temp, target;
    int fd = -1;
  };
  std::vector<File> files_;
};

// The steps of a save that a fault can be injected into.
enum class SaveStep { Write, Sync, Rename };
// Tests: called before each step; a non-zero return is taken as the errno of
// a failure of that step (ENOSPC for a disk that fills up while writing).
using SaveFault = std::function<int(SaveStep)>;
void SetSaveFault(SaveFault fault);

}  // namespace FileIO
