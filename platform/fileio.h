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
#include <functional>

namespace FileIO {

// The reason for a system error number, in German, for the cases a user meets
// (missing file, permission, full disk, read-only file system, too large, ...).
QString ErrorText(int errorNumber);

enum class ReadResult { Ok, Missing, Failed };
// Reads a regular file of at most maxBytes. Missing when nothing is at the
// path; Failed with *error set for a folder, a pipe or device, a file over the
// limit or a read error.
ReadResult ReadFile(const QString& path, qint64 maxBytes, QByteArray* data, QString* error);

// True when the bytes are in the file at `path` for good; false with *error.
bool SaveFileAtomically(const QString& path, const QByteArray& data, QString* error);

// The steps of a save that a fault can be injected into.
enum class SaveStep { Write, Sync, Rename };
// Tests: called before each step; a non-zero return is taken as the errno of
// a failure of that step (ENOSPC for a disk that fills up while writing).
using SaveFault = std::function<int(SaveStep)>;
void SetSaveFault(SaveFault fault);

}  // namespace FileIO
