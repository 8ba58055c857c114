#pragma once
// A real, small file system that fills up: a tmpfs mounted for one test.
// Mounting needs root; without it the test says so and is skipped.
#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <cerrno>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

class SmallDisk {
 public:
  explicit SmallDisk(int kib) {
    if (!dir_.isValid() || ::geteuid() != 0) return;
    const QByteArray options = "size=" + QByteArray::number(kib) + "k";
    mounted_ = ::mount("tmpfs", QFile::encodeName(dir_.path()).constData(), "tmpfs", 0, options.constData()) == 0;
  }
  ~SmallDisk() {
    if (mounted_) ::umount2(QFile::encodeName(dir_.path()).constData(), MNT_DETACH);
  }
  // Why it could not be mounted, for GTEST_SKIP.
  bool Mounted() const { return mounted_; }
  static const char* SkipReason() { return "needs root to mount a small tmpfs that fills up"; }
  QString Path(const QString& name = QString()) const { return name.isEmpty() ? dir_.path() : dir_.filePath(name); }
  // Fills what is left, but `leave` bytes.
  void Fill(qint64 leave = 0) {
    const int fd = ::open(QFile::encodeName(Path(".fuellung")).constData(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    static const QByteArray block(4096, 'x');
    while (::write(fd, block.constData(), size_t(block.size())) == block.size()) {
    }
    ::close(fd);
    if (leave > 0) ::truncate(QFile::encodeName(Path(".fuellung")).constData(), QFile(Path(".fuellung")).size() - leave);
  }

 private:
  QTemporaryDir dir_;
  bool mounted_ = false;
};
