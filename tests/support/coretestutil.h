#pragma once
// Helpers of the tests that need no window system: run the event loop until
// something happens, and point the program's port folder at a test's own.
#include <QByteArray>
#include <QString>
#include <functional>

namespace TestUtil {

// Keeps the user's settings and data untouched for the rest of the process:
// the program's settings folder goes below `folder` (Places), and so do the
// settings and data of the programs the tests start (their XDG folders); no
// archive named by the user's environment.
void KeepTheUsersFiles(const QString& folder);

// Runs the event loop until `done` is true or `timeoutMs` passed; returns `done()`.
bool WaitFor(const std::function<bool()>& done, int timeoutMs);
// Runs the event loop for `ms` milliseconds.
void Pump(int ms);

// Points the program's port folder ($KELVARA_PORTS) at `path` for its
// lifetime, then gives back what was set before.
class ScopedPortFolder {
 public:
  explicit ScopedPortFolder(const QString& path);
  ~ScopedPortFolder();
  ScopedPortFolder(const ScopedPortFolder&) = delete;
  ScopedPortFolder& operator=(const ScopedPortFolder&) = delete;

 private:
  QByteArray old_;
};

}  // namespace TestUtil
