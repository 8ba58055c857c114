#pragma once
// Where the program finds what belongs to the user and to the machine: the
// folder of the user's settings and the folder of the machine's devices.
// The program runs with the system's places. A test (or a benchmark) installs
// its own set, so that nothing of the user's or the machine's is touched; it
// is the core's counterpart of the window side's responders (Seams).
#include <QString>

namespace Places {

struct Set {
  QString settingsFolder;  // the folder of kelvara.ini; empty: "Kelvara" in the XDG config folder
  QString deviceRoot;      // where serial devices are looked for; empty: /dev
};

// Makes `places` the set in use (nullptr: the system's places again); the
// caller keeps it alive while it is installed.
void Install(const Set* places);
// The set in use.
const Set& Current();

// The folder of the user's settings and the device folder, as the set in use says.
QString SettingsFolder();
QString DeviceRoot();

// Installs a set for its lifetime and then gives the one before back.
class Scoped {
 public:
  explicit Scoped(Set places);
  ~Scoped();
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;

 private:
  Set places_;
  const Set* previous_;
};

}  // namespace Places
