#pragma once
// What every fuzz target shares: one application object for the process
// (an offscreen QApplication for a target that opens windows, which defines
// KELVARA_FUZZ_WINDOWS before this include; QCoreApplication for the others),
// and a temporary folder for the files a target writes.
#include <QTemporaryDir>
#include <cstdlib>
#ifdef KELVARA_FUZZ_WINDOWS
#include <QApplication>

#include "render/fonts.h"
using FuzzApplication = QApplication;
#else
#include <QCoreApplication>
using FuzzApplication = QCoreApplication;
#endif

namespace Fuzz {

inline const QTemporaryDir& Folder();

inline FuzzApplication& App() {
  static int argc = 1;
  static char name[] = "kelvara-fuzz";
  static char* argv[] = {name, nullptr};
  static FuzzApplication* app = [] {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The user's settings and archive stay untouched: a saved report goes
    // into an archive in the target's own folder.
    setenv("XDG_DATA_HOME", Folder().path().toLocal8Bit().constData(), 1);
    setenv("KELVARA_CONFIG_DIR", Folder().path().toLocal8Bit().constData(), 1);
    unsetenv("KELVARA_ARCHIVE");
    auto* a = new FuzzApplication(argc, argv);
#ifdef KELVARA_FUZZ_WINDOWS
    Fonts::InstallSubstitutions();
#endif
    return a;
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
