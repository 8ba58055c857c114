#include "core/serialaccess.h"

#include <QFile>
#include <QStringList>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/serialport.h"

namespace SerialAccess {

Facts Gather() {
  Facts facts;
  facts.User = ::geteuid();
  facts.Groups << ::getegid();
  const int count = ::getgroups(0, nullptr);
  if (count > 0) {
    QList<gid_t> more(count);
    const int got = ::getgroups(count, more.data());
    for (int i = 0; i < got; ++i) facts.Groups << more[i];
  }
  if (const passwd* pw = ::getpwuid(facts.User)) facts.UserName = QString::fromLocal8Bit(pw->pw_name);
  if (facts.UserName.isEmpty()) facts.UserName = qEnvironmentVariable("USER");

  QStringList candidates{SerialPort::DevicePath(4)};
  for (const SerialPort::MachineDevice& device : SerialPort::MachineDevices()) candidates << device.Path;
  candidates << QStringLiteral("/dev/ttyS0");
  for (const QString& path : candidates) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) continue;
    facts.DeviceFound = true;
    facts.DeviceOwner = st.st_uid;
    facts.DeviceGroup = st.st_gid;
    facts.DeviceMode = st.st_mode & 0777;
    if (const group* gr = ::getgrgid(st.st_gid)) facts.GroupName = QString::fromLocal8Bit(gr->gr_name);
    break;
  }
  return facts;
}

QString ProblemFor(const Facts& f) {
  if (!f.DeviceFound || f.User == 0) return QString();
  const unsigned rw = 06;
  if (f.DeviceOwner == f.User && ((f.DeviceMode >> 6) & rw) == rw) return QString();
  if (f.Groups.contains(f.DeviceGroup) && ((f.DeviceMode >> 3) & rw) == rw) return QString();
  if ((f.DeviceMode & rw) == rw) return QString();
  const QString group = f.GroupName.isEmpty() ? QStringLiteral("dialout") : f.GroupName;
  const QString user = f.UserName.isEmpty() ? QStringLiteral("BENUTZERNAME") : f.UserName;
  return QStringLiteral(
             "Sie dürfen die seriellen Schnittstellen dieses Rechners nicht öffnen, so kann Kelvara den "
             "Gerätetester nicht erreichen.\n\n"
             "Dazu muss der Benutzer \u201E%1\u201C Mitglied der Gruppe \u201E%2\u201C sein. Ein Administrator "
             "nimmt ihn auf mit:\n\n    sudo adduser %1 %2\n\n"
             "Danach einmal ab- und wieder anmelden.")
      .arg(user, group);
}

QString Problem() { return ProblemFor(Gather()); }

}  // namespace SerialAccess
