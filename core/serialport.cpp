#include "core/serialport.h"

#include "core/places.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>
#include <QSet>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace {

speed_t SpeedCode(unsigned baud) {
  switch (baud) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return B0;
  }
}

unsigned BaudFromCode(speed_t code) {
  switch (code) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    default: return 0;
  }
}

}  // namespace

SerialPort::SerialPort(QObject* parent) : QObject(parent) {
  clock_.start();
  deadline_ = new QTimer(this);
  deadline_->setSingleShot(true);
  deadline_->setTimerType(Qt::PreciseTimer);
  connect(deadline_, &QTimer::timeout, this, [this] { Arm(); });
  pace_ = new QTimer(this);
  pace_->setSingleShot(true);
  pace_->setTimerType(Qt::PreciseTimer);
  connect(pace_, &QTimer::timeout, this, [this] {
    // The notifier tells at once when bytes came meanwhile.
    if (notifier_ && !broken_ && static_cast<int>(queue_.size()) < queueCapacity_) notifier_->setEnabled(true);
  });
}

SerialPort::~SerialPort() {
  pending_ = nullptr;  // nobody is told about a read that dies with the port
  Close();
}

void SerialPort::TesterLine(LineSettings* settings, Timeouts* timeouts) {
  settings->BaudRate = 38400;
  settings->ByteSize = 8;
  settings->Parity = 0;
  settings->StopBits = 2;
  settings->AbortOnError = false;
  timeouts->ReadIntervalTimeout = 50;
  timeouts->ReadTotalTimeoutMultiplier = 10;
  timeouts->ReadTotalTimeoutConstant = 50;
  timeouts->WriteTotalTimeoutMultiplier = 10;
  timeouts->WriteTotalTimeoutConstant = 50;
}

SerialPort::TesterLineSteps SerialPort::OpenTesterLine(const QString& portName, LineSettings* settings,
                                                      Timeouts* timeouts) {
  TesterLineSteps steps;
  steps.created = Create(portName);
  steps.setUp = Setup(1024, 1024);
  GetState(settings);
  GetTimeouts(timeouts);
  TesterLine(settings, timeouts);
  steps.stateSet = SetState(*settings);
  steps.timeoutsSet = SetTimeouts(*timeouts);
  return steps;
}

QString SerialPort::PortFolder() {
  QByteArray env = qgetenv("KELVARA_PORTS");
  if (!env.isEmpty()) return QString::fromLocal8Bit(env);
  return QDir::homePath() + QStringLiteral("/.kelvara/ports");
}

QString SerialPort::DevicePath(int portNumber) {
  QString link = PortFolder() + QStringLiteral("/com") + QString::number(portNumber);
  struct stat st;
  QByteArray native = QFile::encodeName(link);
  if (::lstat(native.constData(), &st) == 0) return link;
  return QStringLiteral("/dev/ttyS") + QString::number(portNumber - 1);
}

int SerialPort::PortNumberFromName(const QString& name) {
  QString n = name;
  if (n.startsWith(QStringLiteral("\\\\.\\"))) n = n.mid(4);
  if (!n.startsWith(QStringLiteral("com"), Qt::CaseInsensitive)) return 0;
  bool ok = false;
  int number = n.mid(3).toInt(&ok);
  return ok && number > 0 ? number : 0;
}

QList<SerialPort::MachineDevice> SerialPort::MachineDevices() {
  const QString root = Places::DeviceRoot();
  QList<MachineDevice> found;
  QSet<QString> seen;
  // Adapters by their maker, model and serial number, as udev names them:
  // usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0 -> ../../ttyUSB0
  const QDir byId(root + QStringLiteral("/serial/by-id"));
  for (const QFileInfo& link : byId.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
    const QString target = link.canonicalFilePath();
    if (target.isEmpty() || seen.contains(target)) continue;
    seen.insert(target);
    QString name = link.fileName();
    name.remove(QRegularExpression(QStringLiteral("^(usb|pci|platform)-")));
    name.remove(QRegularExpression(QStringLiteral("-if\\d+(-port\\d+)?$")));
    name.replace(QLatin1Char('_'), QLatin1Char(' '));
    found.append({QStringLiteral("%1 (%2)").arg(name, QFileInfo(target).fileName()), target});
  }
  const QDir dev(root);
  for (const QFileInfo& file :
       dev.entryInfoList({QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*")}, QDir::Files | QDir::System, QDir::Name)) {
    const QString target = file.canonicalFilePath();
    if (target.isEmpty() || seen.contains(target)) continue;
    seen.insert(target);
    found.append({file.fileName(), target});
  }
  std::sort(found.begin(), found.end(),
            [](const MachineDevice& a, const MachineDevice& b) { return a.Label < b.Label; });
  return found;
}

bool SerialPort::Create(const QString& portName) {
  Close();
  openError_ = 0;
  QByteArray path;
  if (portName.startsWith(QLatin1Char('/'))) {
    path = QFile::encodeName(portName);
  } else {
    int number = PortNumberFromName(portName);
    if (number <= 0) return false;
    path = QFile::encodeName(DevicePath(number));
  }
  openPath_ = path;
  int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    openError_ = errno;
    return false;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    ::close(fd);
    return false;
  }
  // No sharing: refuse a port another program (or another window) holds.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    openError_ = EBUSY;
    ::close(fd);
    return false;
  }
  if (::isatty(fd)) {
    ::ioctl(fd, TIOCEXCL);
    locked_ = true;
  }
  fd_ = fd;
  broken_ = false;
  stateSet_ = false;
  queue_.clear();
  notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { OnReadable(); });
  return true;
}

QString SerialPort::Holder() const {
  struct stat device;
  if (openError_ != EBUSY || openPath_.isEmpty() || ::stat(openPath_.constData(), &device) != 0) return QString();
  auto named = [](const QString& pid) {
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    QString name = comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed() : QString();
    return QStringLiteral("%1 (PID %2)").arg(name.isEmpty() ? QStringLiteral("?") : name, pid);
  };
  // The lock we found taken: /proc/locks names its owner by device and inode
  // ("1: FLOCK ADVISORY WRITE 4711 00:18:3 0 EOF").
  QFile locks(QStringLiteral("/proc/locks"));
  if (locks.open(QIODevice::ReadOnly)) {
    const QString key = QStringLiteral("%1:%2:%3")
                            .arg(major(device.st_dev), 2, 16, QLatin1Char('0'))
                            .arg(minor(device.st_dev), 2, 16, QLatin1Char('0'))
                            .arg(quint64(device.st_ino));
    for (const QByteArray& line : locks.readAll().split('\n')) {
      const QList<QByteArray> f = line.simplified().split(' ');
      if (f.size() >= 6 && f[1] == "FLOCK" && QString::fromLatin1(f[5]) == key) return named(QString::fromLatin1(f[4]));
    }
  }
  // Else any other process that has the device open (an exclusive terminal).
  const QString self = QString::number(::getpid());
  for (const QString& pid : QDir(QStringLiteral("/proc")).entryList({QStringLiteral("[0-9]*")}, QDir::Dirs)) {
    if (pid == self) continue;
    const QString fdDir = QStringLiteral("/proc/%1/fd").arg(pid);
    // Only the processes we may look into; the others stay unnamed.
    for (const QString& fd : QDir(fdDir).entryList(QDir::System | QDir::NoDotAndDotDot)) {
      struct stat open;
      if (::stat(QFile::encodeName(fdDir + QLatin1Char('/') + fd).constData(), &open) == 0 &&
          open.st_dev == device.st_dev && open.st_ino == device.st_ino)
        return named(pid);
    }
  }
  return QString();
}

bool SerialPort::Setup(int inQueue, int outQueue) {
  if (fd_ < 0 || !::isatty(fd_) || inQueue <= 0 || outQueue <= 0) return false;
  queueCapacity_ = inQueue;
  // A freshly opened port starts with empty queues, whatever came before.
  ::tcflush(fd_, TCIOFLUSH);
  queue_.clear();
  return true;
}

bool SerialPort::GetState(LineSettings* settings) const {
  struct termios tio;
  if (fd_ < 0 || ::tcgetattr(fd_, &tio) != 0) return false;
  settings->BaudRate = BaudFromCode(cfgetospeed(&tio));
  switch (tio.c_cflag & CSIZE) {
    case CS5: settings->ByteSize = 5; break;
    case CS6: settings->ByteSize = 6; break;
    case CS7: settings->ByteSize = 7; break;
    default: settings->ByteSize = 8; break;
  }
  settings->Parity = (tio.c_cflag & PARENB) ? ((tio.c_cflag & PARODD) ? 1 : 2) : 0;
  settings->StopBits = (tio.c_cflag & CSTOPB) ? 2 : 0;
  settings->AbortOnError = false;
  return true;
}

bool SerialPort::SetState(const LineSettings& s) {
  struct termios tio;
  if (fd_ < 0 || ::tcgetattr(fd_, &tio) != 0) return false;
  speed_t speed = SpeedCode(s.BaudRate);
  if (speed == B0) return false;
  // Raw mode: no echo, no line editing, no character translation, no signals.
  tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON |
                                         IXOFF | IXANY | INPCK);
  tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
  switch (s.ByteSize) {
    case 5: tio.c_cflag |= CS5; break;
    case 6: tio.c_cflag |= CS6; break;
    case 7: tio.c_cflag |= CS7; break;
    case 8: tio.c_cflag |= CS8; break;
    default: return false;
  }
  if (s.Parity == 1) tio.c_cflag |= PARENB | PARODD;
  else if (s.Parity == 2) tio.c_cflag |= PARENB;
  else if (s.Parity != 0) return false;
  if (s.StopBits == 2) tio.c_cflag |= CSTOPB;
  else if (s.StopBits != 0) return false;
  tio.c_cflag |= CREAD | CLOCAL;
  // A character on the line: start bit, data bits, parity bit, stop bits.
  const int bits = 1 + s.ByteSize + (s.Parity != 0 ? 1 : 0) + (s.StopBits == 2 ? 2 : 1);
  byteNs_ = qint64(bits) * 1000000000LL / qint64(s.BaudRate);
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  cfsetispeed(&tio, speed);
  cfsetospeed(&tio, speed);
  if (::tcsetattr(fd_, TCSANOW, &tio) != 0) return false;
  // DTR and RTS up, as a Windows driver does at open; a pseudo-terminal has no
  // modem lines and refuses this, which does not matter.
  int lines = TIOCM_DTR | TIOCM_RTS;
  ::ioctl(fd_, TIOCMBIS, &lines);
  stateSet_ = true;
  return true;
}

bool SerialPort::GetTimeouts(Timeouts* timeouts) const {
  if (fd_ < 0) return false;
  *timeouts = timeouts_;
  return true;
}

bool SerialPort::SetTimeouts(const Timeouts& timeouts) {
  if (fd_ < 0 || !::isatty(fd_)) return false;
  timeouts_ = timeouts;
  return true;
}

void SerialPort::Close() {
  if (notifier_) {
    notifier_->setEnabled(false);
    delete notifier_;
    notifier_ = nullptr;
  }
  if (fd_ >= 0) {
    if (locked_) ::ioctl(fd_, TIOCNXCL);
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
  }
  fd_ = -1;
  locked_ = false;
  stateSet_ = false;
  if (pending_) {
    // Finish the read from the event loop, as if its time-out had come: the
    // caller may be in the middle of something when it closes the port.
    deadline_->start(0);
  } else {
    deadline_->stop();
    queue_.clear();
  }
}

bool SerialPort::StartRead(int maxBytes, ReadDone done) {
  if (pending_ || !done) return false;
  pending_ = std::move(done);
  wanted_ = maxBytes < 1 ? 1 : maxBytes;
  startedMs_ = NowMs();
  Arm();
  Pace();
  return true;
}

// Completes the pending read when one of its conditions holds, otherwise sets
// the timer for the earliest time-out that can still complete it.
void SerialPort::Arm() {
  if (!pending_) return;
  if (fd_ < 0 || broken_ || static_cast<int>(queue_.size()) >= wanted_) {
    Complete();
    return;
  }
  if (paced_ && std::any_of(queue_.begin(), queue_.end(), [](const Byte& b) { return b.value == '\r'; })) {
    Complete();
    return;
  }
  qint64 now = NowMs();
  qint64 total = static_cast<qint64>(timeouts_.ReadTotalTimeoutMultiplier) * wanted_ +
                 timeouts_.ReadTotalTimeoutConstant;
  qint64 deadline = -1;
  if (total > 0) deadline = startedMs_ + total;
  if (!queue_.empty() && timeouts_.ReadIntervalTimeout > 0) {
    qint64 interval = queue_.back().arrivedMs + timeouts_.ReadIntervalTimeout;
    if (deadline < 0 || interval < deadline) deadline = interval;
  }
  if (deadline < 0) {
    deadline_->stop();  // no time-out: wait for bytes
    return;
  }
  if (deadline <= now) {
    Complete();
    return;
  }
  deadline_->start(static_cast<int>(deadline - now));
}

void SerialPort::Complete() {
  deadline_->stop();
  QByteArray bytes;
  while (!queue_.empty() && bytes.size() < wanted_) {
    bytes.append(queue_.front().value);
    queue_.pop_front();
  }
  if (fd_ < 0) queue_.clear();
  if (notifier_ && !broken_ && !notifier_->isEnabled() && static_cast<int>(queue_.size()) < queueCapacity_)
    notifier_->setEnabled(true);
  ReadDone done = std::move(pending_);
  pending_ = nullptr;
  if (done) done(bytes);
}

void SerialPort::Pace() {
  // An answer is coming in and the rest of the read is still on the line:
  // look again when it can be here. (An empty queue waits for the notifier:
  // the tester may take its time to begin an answer.)
  if (!paced_ || !pending_ || byteNs_ <= 0 || queue_.empty() || static_cast<int>(queue_.size()) >= wanted_ ||
      !notifier_ || !notifier_->isEnabled() || pace_->isActive())
    return;
  if (std::any_of(queue_.begin(), queue_.end(), [](const Byte& b) { return b.value == '\r'; })) return;
  const qint64 ns = qint64(wanted_ - static_cast<int>(queue_.size())) * byteNs_;
  notifier_->setEnabled(false);
  pace_->start(int(std::max<qint64>(1, (ns + 999999) / 1000000)));
}

void SerialPort::OnReadable() {
  if (fd_ < 0) return;
  int room = queueCapacity_ - static_cast<int>(queue_.size());
  if (room <= 0) {
    // The input queue is full: leave the rest in the device until a read
    // makes room.
    notifier_->setEnabled(false);
    return;
  }
  char buf[1024];
  if (room > static_cast<int>(sizeof buf)) room = sizeof buf;
  ssize_t n = ::read(fd_, buf, static_cast<size_t>(room));
  if (n > 0) {
    qint64 now = NowMs();
    for (ssize_t i = 0; i < n; ++i) queue_.push_back({buf[i], now});
    if (static_cast<int>(queue_.size()) >= queueCapacity_) {
      notifier_->setEnabled(false);
    } else {
      Pace();
    }
  } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
    // Hang-up or I/O error (the cable is gone, the other side closed): stop
    // watching, or the notifier would fire without end.
    broken_ = true;
    ++readFailures_;
    notifier_->setEnabled(false);
  }
  if (pending_) Arm();
}

int SerialPort::Write(const QByteArray& bytes, int* error) {
  if (error) *error = 0;
  if (fd_ < 0) {
    if (error) *error = EBADF;
    return 0;
  }
  qint64 limit = static_cast<qint64>(timeouts_.WriteTotalTimeoutMultiplier) * bytes.size() +
                 timeouts_.WriteTotalTimeoutConstant;
  QElapsedTimer clock;
  clock.start();
  int done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
    if (n > 0) {
      done += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      if (error) *error = errno;
      return done;
    }
    qint64 left = limit - clock.elapsed();
    if (limit > 0 && left <= 0) {
      if (error) *error = ETIMEDOUT;
      return done;
    }
    struct pollfd p = {fd_, POLLOUT, 0};
    ::poll(&p, 1, limit > 0 ? static_cast<int>(left) : -1);
  }
  return done;
}
