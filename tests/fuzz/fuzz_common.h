#pragma once
// What every fuzz target shares: one application object for the process (the
// targets are of the core: no window system) and a temporary folder for the
// files a target writes.
#include <QCoreApplication>
#include <QTemporaryDir>
#include <cstdlib>

namespace Fuzz {

inline const QTemporaryDir& Folder();

inline QCoreApplication& App() {
  static int argc = 1;
  static char name[] = "kelvara-fuzz";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* app = [] {
    // The user's data stay untouched: whatever a target keeps goes into its
    // own folder.
    setenv("XDG_DATA_HOME", Folder().path().toLocal8Bit().constData(), 1);
    unsetenv("KELVARA_ARCHIVE");
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
