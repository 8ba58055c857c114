// Entry point of the core's integration tests: no window system, but real
// files, servers, pseudo-terminals and locales. Nothing of the user's is
// touched: settings and data go into a folder of the run's own.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdlib>

#include "core/places.h"

int main(int argc, char** argv) {
  QTemporaryDir home;
  Places::Set places;
  places.settingsFolder = home.filePath(QStringLiteral("Kelvara"));
  Places::Install(&places);
  setenv("XDG_CONFIG_HOME", home.path().toLocal8Bit().constData(), 1);
  setenv("XDG_DATA_HOME", home.path().toLocal8Bit().constData(), 1);
  unsetenv("KELVARA_ARCHIVE");
  ::testing::InitGoogleTest(&argc, argv);
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
