#pragma once
// What every fuzz target shares: one application object for the process (the
// targets are of the core: no window system) and a temporary folder for the
// files a target writes.
#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdlib>

#include "tests/support/coretestutil.h"

namespace Fuzz {

inline const QTemporaryDir& Folder();

inline QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "kelvara-fuzz";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = [] {
    // The user's files stay untouched: whatever a target keeps goes into its
    // own folder.
    TestUtil::KeepTheUsersFiles(Folder().path());
    return new QCoreApplication(argc, argv);
  }();
  return *app;
}

inline const QTemporaryDir& Folder() {
  static QTemporaryDir dir;  // removed when the process ends
  return dir;
}

// The target fails loudly (libFuzzer saves the input) when a rule is broken.
#define FUZZ_CHECK(cond)                                                         \
  do {                                                                           \
    if (!(cond)) {                                                               \
      fprintf(stderr, "%s:%d: broken rule: %s\n", __FILE__, __LINE__, #cond);   \
      abort();                                                                   \
    }                                                                            \
  } while (0)

}  // namespace Fuzz
