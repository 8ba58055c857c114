#include "platform/fileio.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
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

ReadResult ReadFile(const QString& path, qint64 maxBytes, QByteArray* data, QString* error) {
  data->clear();
  const QByteArray native = QFile::encodeName(path);
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
    // A pipe or a device file: opening it may wait forever for a writer, and
    // reading it may never end.
    *error = QStringLiteral("Der Pfad ist keine gewöhnliche Datei.");
    return ReadResult::Failed;
  }
  if (st.st_size > maxBytes) {
    *error = QStringLiteral("Die Datei ist zu groß für eine INI-Datei.");
    return ReadResult::Failed;
  }
  int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *error = ErrorText(errno);
    return ReadResult::Failed;
  }
  QByteArray bytes;
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
    bytes.append(buffer, static_cast<int>(n));
    if (bytes.size() > maxBytes) {  // it grew while being read
      *error = QStringLiteral("Die Datei ist zu groß für eine INI-Datei.");
      ::close(fd);
      return ReadResult::Failed;
    }
  }
  ::close(fd);
  *data = bytes;
  return ReadResult::Ok;
}

bool SaveFileAtomically(const QString& path, const QByteArray& data, QString* error) {
  // A link is followed: the file it points to gets the new contents, the link stays.
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
  const QString folder = targetInfo.absolutePath();
  const QByteArray nativeTarget = QFile::encodeName(targetInfo.absoluteFilePath());
  QByteArray temp = QFile::encodeName(folder + QLatin1String("/.") + targetInfo.fileName() + QLatin1String(".XXXXXX"));

  int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    *error = ErrorText(errno);
    return false;
  }
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
  int dirFd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

void SetSaveFault(SaveFault fault) { g_fault = std::move(fault); }

}  // namespace FileIO
