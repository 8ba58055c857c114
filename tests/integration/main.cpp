// Entry point of the core's integration tests: no window system, but real
// files, servers, pseudo-terminals and locales. Nothing of the user's is
// touched: settings and data go into a folder of the run's own.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include "tests/support/coretestutil.h"

int main(int argc, char** argv) {
  QTemporaryDir home;
  TestUtil::KeepTheUsersFiles(home.path());
  ::testing::InitGoogleTest(&argc, argv);
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
