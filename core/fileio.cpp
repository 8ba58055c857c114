#include "core/fileio.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace FileIO {
namespace {

SaveFault g_fault;

int Injected(SaveStep step) { return g_fault ? g_fault(step) : 0; }

// Writes all bytes, resuming after short writes and signals.
bool WriteAll(int fd, const char* data, qint64 size, int* err) {
  qint64 done = 0;
  while (done < size) {
    if (int fault = Injected(SaveStep::Write)) {
      *err = fault;
      return false;
    }
    ssize_t n = ::write(fd, data + done, static_cast<size_t>(size - done));
    if (n < 0) {
      if (errno == EINTR) continue;
      *err = errno;
      return false;
    }
    if (n == 0) {
      *err = ENOSPC;
      return false;
    }
    done += n;
  }
  return true;
}

// The mode a new file gets: the old file's, else what the umask leaves of 0666.
mode_t ModeFor(const QByteArray& target) {
  struct stat st {};
  if (::stat(target.constData(), &st) == 0) return st.st_mode & 07777;
  mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

QString ErrorText(int e) {
  switch (e) {
    case ENOENT: return QStringLiteral("Die Datei oder der Ordner ist nicht vorhanden.");
    case EACCES:
    case EPERM: return QStringLiteral("Zugriff verweigert: Die Berechtigung dafür fehlt.");
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
      return QStringLiteral("Auf dem Datenträger ist kein Platz mehr.");
    case EROFS: return QStringLiteral("Das Dateisystem ist schreibgeschützt.");
    case EFBIG: return QStringLiteral("Die Datei ist zu groß.");
    case EISDIR: return QStringLiteral("Der Pfad ist ein Ordner.");
    case ENOTDIR: return QStringLiteral("Ein Teil des Pfades ist kein Ordner.");
    case ENAMETOOLONG: return QStringLiteral("Der Dateiname ist zu lang.");
    case EIO: return QStringLiteral("Ein-/Ausgabefehler des Datenträgers.");
    case EBUSY:
    case ETXTBSY: return QStringLiteral("Die Datei wird gerade verwendet.");
    case EMFILE:
    case ENFILE: return QStringLiteral("Es sind zu viele Dateien geöffnet.");
    case EXDEV: return QStringLiteral("Die Datei liegt auf einem anderen Datenträger.");
    default: return QStringLiteral("Systemfehler Nummer %1.").arg(e);
  }
}

namespace {

QString SizeText(qint64 bytes) {
  if (bytes >= 1024 * 1024 && bytes % (1024 * 1024) == 0) return QStringLiteral("%1 MiB").arg(bytes / (1024 * 1024));
  if (bytes >= 1024 && bytes % 1024 == 0) return QStringLiteral("%1 KiB").arg(bytes / 1024);
  return QStringLiteral("%1 Bytes").arg(bytes);
}

QString TooLarge(qint64 maxBytes) {
  return QStringLiteral("Die Datei ist zu groß (mehr als %1).").arg(SizeText(maxBytes));
}

QString NotRegular() {
  // A pipe or a device file (or a link to one): opening it may wait forever
  // for a writer, and reading it may never end.
  return QStringLiteral("Der Pfad ist keine gewöhnliche Datei (eine Pipe, ein Gerät oder ein Verweis darauf).");
}

// When this process started: temporary files changed before it cannot be
// those of a save under way in it.
const timespec g_processStart = [] {
  timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return now;
}();

bool Before(const timespec& a, const timespec& b) { return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec); }

const char kTempPrefix[] = ".kelvara-";
const char kTempSuffix[] = ".tmp";

// The folder and file a save goes to: a link is followed, so the file it
// points to gets the new contents and the link stays.
bool ResolveTarget(const QString& path, QString* folder, QByteArray* nativeTarget, QString* error) {
  QString target = path;
  QFileInfo info(path);
  if (info.isSymLink()) {
    QString resolved = info.symLinkTarget();
    if (!resolved.isEmpty()) target = resolved;
  }
  QFileInfo targetInfo(target);
  if (targetInfo.isDir()) {
    *error = ErrorText(EISDIR);
    return false;
  }
  *folder = targetInfo.absolutePath();
  *nativeTarget = QFile::encodeName(targetInfo.absoluteFilePath());
  return true;
}

void SyncFolder(const QString& folder) {
  int dirFd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
}

// Why a file came out shorter than it should: a full disk when the folder has
// no room left, otherwise an incomplete write.
QString IncompleteText(const QByteArray& path) {
  QByteArray folder = path;
  const int slash = folder.lastIndexOf('/');
  folder = slash > 0 ? folder.left(slash) : QByteArray(".");
  struct statvfs vfs {};
  if (::statvfs(folder.constData(), &vfs) == 0 && vfs.f_bavail * vfs.f_frsize < 64 * 1024) return ErrorText(ENOSPC);
  return QStringLiteral("Die Datei wurde nicht vollständig geschrieben.");
}

}  // namespace

ReadResult ReadFile(const QString& path, qint64 maxBytes, QByteArray* data, QString* error) {
  return ReadFileNative(QFile::encodeName(path), maxBytes, data, error);
}

ReadResult ReadFileNative(const QByteArray& native, qint64 maxBytes, QByteArray* data, QString* error) {
  data->clear();
  // Looked at before it is opened: opening a device can already do something
  // (a serial port raises its lines).
  struct stat st {};
  if (::stat(native.constData(), &st) != 0) {
    if (errno == ENOENT) return ReadResult::Missing;
    *error = ErrorText(errno);
    return ReadResult::Failed;
  }
  if (S_ISDIR(st.st_mode)) {
    *error = ErrorText(EISDIR);
    return ReadResult::Failed;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = NotRegular();
    return ReadResult::Failed;
  }
  if (st.st_size > maxBytes) {
    *error = TooLarge(maxBytes);
    return ReadResult::Failed;
  }
  // Opened without waiting, and checked again on the handle: the path may
  // have been swapped for a pipe in between.
  int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    *error = ErrorText(errno);
    return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
  }
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    *error = NotRegular();
    return ReadResult::Failed;
  }
  QByteArray bytes;
  bytes.reserve(int(std::min<qint64>(st.st_size, maxBytes)));
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      *error = ErrorText(errno);
      ::close(fd);
      return ReadResult::Failed;
    }
    if (n == 0) break;
    if (bytes.size() + n > maxBytes) {  // it grew while being read
      *error = TooLarge(maxBytes);
      ::close(fd);
      return ReadResult::Failed;
    }
    bytes.append(buffer, static_cast<int>(n));
  }
  ::close(fd);
  *data = bytes;
  return ReadResult::Ok;
}

int CreateTempFile(const QString& folder, QByteArray* tempPath, QString* error) {
  QByteArray name = QFile::encodeName(folder);
  if (!name.endsWith('/')) name += '/';
  name += kTempPrefix + QByteArray::number(qint64(::getpid())) + "-XXXXXX" + kTempSuffix;
  int fd = ::mkstemps(name.data(), int(sizeof kTempSuffix - 1));
  if (fd < 0) {
    *error = ErrorText(errno);
    return -1;
  }
  ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  *tempPath = name;
  return fd;
}

int RemoveStaleTempFiles(const QString& folder) {
  const QByteArray native = QFile::encodeName(folder);
  DIR* dir = ::opendir(native.constData());
  if (!dir) return 0;
  int removed = 0;
  const QByteArray prefix(kTempPrefix), suffix(kTempSuffix);
  while (dirent* entry = ::readdir(dir)) {
    const QByteArray name(entry->d_name);
    if (!name.startsWith(prefix) || !name.endsWith(suffix)) continue;
    // ".kelvara-<pid>-XXXXXX.tmp"
    const QByteArray middle = name.mid(prefix.size(), name.size() - prefix.size() - suffix.size());
    const int dash = middle.indexOf('-');
    if (dash <= 0 || middle.size() - dash - 1 != 6) continue;
    bool isNumber = false;
    const qint64 pid = middle.left(dash).toLongLong(&isNumber);
    if (!isNumber || pid <= 0 || pid == qint64(::getpid())) continue;
    if (::kill(pid_t(pid), 0) == 0 || errno != ESRCH) continue;  // that process still runs
    const QByteArray path = native + '/' + name;
    struct stat st {};
    if (::lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode) || !Before(st.st_mtim, g_processStart)) continue;
    if (::unlink(path.constData()) == 0) ++removed;
  }
  ::closedir(dir);
  return removed;
}

bool CommitTempFile(const QByteArray& temp, const QString& path, const QByteArray& trailer, QString* error) {
  auto failWith = [&](const QString& text) {
    ::unlink(temp.constData());
    *error = text;
    return false;
  };
  QString folder;
  QByteArray nativeTarget;
  if (!ResolveTarget(path, &folder, &nativeTarget, error)) return failWith(*error);
  int fd = ::open(temp.constData(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return failWith(ErrorText(errno));
  ::fchmod(fd, ModeFor(nativeTarget));
  struct stat st {};
  bool complete = ::fstat(fd, &st) == 0 && st.st_size > 0;
  if (complete && !trailer.isEmpty()) {
    // The end of the file: the trailer, perhaps followed by a line end.
    char tail[64];
    const qint64 at = std::max<qint64>(0, st.st_size - qint64(sizeof tail));
    const ssize_t n = ::pread(fd, tail, sizeof tail, off_t(at));
    complete = n > 0 && QByteArray(tail, int(n)).contains(trailer);
  }
  if (!complete) {
    ::close(fd);
    return failWith(IncompleteText(temp));
  }
  if (int fault = Injected(SaveStep::Sync)) {
    ::close(fd);
    return failWith(ErrorText(fault));
  }
  if (::fsync(fd) != 0) {
    const int e = errno;
    ::close(fd);
    return failWith(ErrorText(e));
  }
  if (::close(fd) != 0) return failWith(ErrorText(errno));
  if (int fault = Injected(SaveStep::Rename)) return failWith(ErrorText(fault));
  if (::rename(temp.constData(), nativeTarget.constData()) != 0) return failWith(ErrorText(errno));
  SyncFolder(folder);
  return true;
}

bool SaveFileAtomically(const QString& path, const QByteArray& data, QString* error) {
  QString folder;
  QByteArray nativeTarget;
  if (!ResolveTarget(path, &folder, &nativeTarget, error)) return false;
  QByteArray temp;
  int fd = CreateTempFile(folder, &temp, error);
  if (fd < 0) return false;
  int err = 0;
  auto failWith = [&](int e) {
    if (fd >= 0) ::close(fd);
    ::unlink(temp.constData());
    *error = ErrorText(e);
    return false;
  };
  ::fchmod(fd, ModeFor(nativeTarget));
  if (!WriteAll(fd, data.constData(), data.size(), &err)) return failWith(err);
  if (int fault = Injected(SaveStep::Sync)) return failWith(fault);
  if (::fsync(fd) != 0) return failWith(errno);
  // close reports the last write errors of some file systems (NFS).
  int closed = ::close(fd);
  fd = -1;
  if (closed != 0) return failWith(errno);
  if (int fault = Injected(SaveStep::Rename)) return failWith(fault);
  if (::rename(temp.constData(), nativeTarget.constData()) != 0) return failWith(errno);
  // The rename itself becomes durable with the folder.
  SyncFolder(folder);
  return true;
}

SaveGroup::~SaveGroup() {
  for (File& f : files_) {
    if (f.fd >= 0) ::close(f.fd);
    if (!f.temp.isEmpty()) ::unlink(f.temp.constData());
  }
}

bool SaveGroup::Add(const QString& path, const QByteArray& data, QString* error) {
  File f;
  QString folder;
  if (!ResolveTarget(path, &folder, &f.target, error)) return false;
  f.fd = CreateTempFile(folder, &f.temp, error);
  if (f.fd < 0) return false;
  int err = 0;
  ::fchmod(f.fd, ModeFor(f.target));
  struct stat st {};
  bool written = WriteAll(f.fd, data.constData(), data.size(), &err);
  if (written && ::fstat(f.fd, &st) != 0) {
    err = errno;
    written = false;
  } else if (written && st.st_size != data.size()) {  // not every byte is in the file
    err = ENOSPC;
    written = false;
  }
  if (!written) {
    ::close(f.fd);
    ::unlink(f.temp.constData());
    *error = ErrorText(err);
    return false;
  }
  files_.push_back(f);
  return true;
}

QStringList SaveGroup::Commit() {
  QStringList results;
  // One sync per file system instead of one per file: the files are on the
  // disk when it returns, and it reports a failed write-back of any of them.
  std::vector<QByteArray> folders;
  int syncError = Injected(SaveStep::Sync);
  for (File& f : files_) {
    QByteArray folder = f.temp.left(f.temp.lastIndexOf('/'));
    if (std::find(folders.begin(), folders.end(), folder) == folders.end()) {
      folders.push_back(folder);
      if (!syncError && ::syncfs(f.fd) != 0) syncError = errno;
    }
  }
  for (File& f : files_) {
    int e = syncError;
    if (::close(f.fd) != 0 && !e) e = errno;
    f.fd = -1;
    if (!e) e = Injected(SaveStep::Rename);
    if (!e && ::rename(f.temp.constData(), f.target.constData()) != 0) e = errno;
    if (e) {
      ::unlink(f.temp.constData());
      results << ErrorText(e);
    } else {
      results << QString();
    }
    f.temp.clear();
  }
  for (const QByteArray& folder : folders) SyncFolder(QFile::decodeName(folder));
  files_.clear();
  return results;
}

void SetSaveFault(SaveFault fault) { g_fault = std::move(fault); }

}  // namespace FileIO
