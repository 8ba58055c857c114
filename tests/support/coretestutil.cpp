#include "tests/support/coretestutil.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <cstdlib>

#include "core/places.h"

namespace TestUtil {

void KeepTheUsersFiles(const QString& folder) {
  static Places::Set places;
  places.settingsFolder = folder + QStringLiteral("/Kelvara");
  Places::Install(&places);
  setenv("XDG_CONFIG_HOME", folder.toLocal8Bit().constData(), 1);
  setenv("XDG_DATA_HOME", folder.toLocal8Bit().constData(), 1);
  unsetenv("KELVARA_ARCHIVE");
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeoutMs) return done();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
  return true;
}

void Pump(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QThread::msleep(1);
  }
}

ScopedPortFolder::ScopedPortFolder(const QString& path) : old_(qgetenv("KELVARA_PORTS")) {
  qputenv("KELVARA_PORTS", path.toLocal8Bit());
}

ScopedPortFolder::~ScopedPortFolder() {
  if (old_.isNull())
    qunsetenv("KELVARA_PORTS");
  else
    qputenv("KELVARA_PORTS", old_);
}

}  // namespace TestUtil
