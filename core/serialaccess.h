#pragma once
// Whether the user may use the serial devices of the machine. On Debian only
// members of the group "dialout" may open them; a user who is not told so
// only sees a port that never gets ready.
#include <QList>
#include <QString>
#include <sys/types.h>

namespace SerialAccess {

// What decides it, read off the machine or set by a test.
struct Facts {
  uid_t User = 0;           // effective user id
  QList<gid_t> Groups;      // effective group and supplementary groups
  QString UserName;         // login name for the command to show
  bool DeviceFound = false; // a serial device to judge by
  uid_t DeviceOwner = 0;
  gid_t DeviceGroup = 0;
  unsigned DeviceMode = 0;  // permission bits
  QString GroupName;        // name of DeviceGroup ("dialout")
};

// The facts of this machine: the device that COM4 opens, else the first
// serial device of the machine, else /dev/ttyS0.
Facts Gather();
// The note to show, in German, or an empty text when the user may open the
// device (or there is no device to judge by).
QString ProblemFor(const Facts& facts);
// ProblemFor(Gather()).
QString Problem();

}  // namespace SerialAccess
