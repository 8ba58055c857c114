#pragma once
// Helpers of the tests of the windows: find controls by their id, grab widgets
// to PNG, answer the dialog seam; with those that need no window (waiting,
// the port folder).
#include <QApplication>
#include <QByteArray>
#include <QElapsedTimer>
#include <QImage>
#include <QPalette>
#include <QString>
#include <QWidget>
#include <functional>

#include "tests/support/coretestutil.h"

namespace TestUtil {

// The font set-up the program does at start (font substitutions).
void InstallFonts();

// The child of `root` whose objectName is the decimal id, or nullptr.
template <typename T = QWidget>
T* Find(QObject* root, int id) {
  return root->findChild<T*>(QString::number(id));
}

// Grabs the widget (shown offscreen if needed) into an image and writes it to
// <build>/test-out/<name>.png so it can be looked at. Returns the image.
QImage Grab(QWidget* widget, const QString& name);

// Where test output (PNG, PDF, INI files) goes; created on first use.
QString OutDir();

// Timer responders for the dialog seam: timers that count as running while
// the test drives their ticks, and timers that cannot be had.
inline bool ManualTimers(unsigned, int) { return true; }
inline bool NoTimers(unsigned, int) { return false; }

// A dark desktop theme: light writing on dark windows.
QPalette DarkPalette();

// Gives the application `palette` for its lifetime, then the old one back.
class ScopedAppPalette {
 public:
  explicit ScopedAppPalette(const QPalette& palette);
  ~ScopedAppPalette();
  ScopedAppPalette(const ScopedAppPalette&) = delete;
  ScopedAppPalette& operator=(const ScopedAppPalette&) = delete;

 private:
  QPalette old_;
};

}  // namespace TestUtil
