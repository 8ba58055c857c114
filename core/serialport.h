#pragma once
// A serial port with the behaviour the device window relies on, over a POSIX
// terminal device.
//
// Opening happens in the four steps of the Windows communications calls
// (create the handle, size the queues, apply the line settings, apply the
// time-outs), so that each failure can be reported on its own. Every step after
// a failed one fails too.
//
// Which device "COMn" is: the target of the link "comN" (lower case) in the
// port folder when that link exists, otherwise /dev/ttyS<n-1>. The port folder
// is $KELVARA_PORTS when set, else ~/.kelvara/ports.
//
// Reads are asynchronous: StartRead() returns at once and the completion is
// called from the event loop with at most `maxBytes` bytes, exactly when the
// driver's read would have returned: when maxBytes bytes are there, or when the
// read interval passed after the last byte without another, or when the total
// read time-out passed since the read began. Bytes are taken from the device as
// they arrive into an input queue (1024 bytes by default), each stamped with its
// arrival time, so the interval counts from the byte's arrival as a driver does.
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>

#include "core/bytelink.h"
#include <QString>
#include <deque>
#include <functional>

class QSocketNotifier;
class QTimer;

class SerialPort : public QObject, public ByteLink {
  Q_OBJECT
 public:
  // The line settings the program uses; the codes are those of a Windows DCB
  // (Parity 0 = none, StopBits 2 = two stop bits).
  struct LineSettings {
    unsigned BaudRate = 0;
    int ByteSize = 0;
    int Parity = 0;
    int StopBits = 0;
    bool AbortOnError = false;
  };
  // Milliseconds, as in a Windows COMMTIMEOUTS.
  struct Timeouts {
    unsigned ReadIntervalTimeout = 0;
    unsigned ReadTotalTimeoutMultiplier = 0;
    unsigned ReadTotalTimeoutConstant = 0;
    unsigned WriteTotalTimeoutMultiplier = 0;
    unsigned WriteTotalTimeoutConstant = 0;
  };

  explicit SerialPort(QObject* parent = nullptr);
  ~SerialPort() override;

  // The tester's line: 38400 baud, 8 data bits, no parity, 2 stop bits, and
  // reads that end 50 ms after the last byte (or 50 ms + 10 ms a byte).
  static void TesterLine(LineSettings* settings, Timeouts* timeouts);

  // The port folder and the device file that "COMn" stands for.
  static QString PortFolder();
  static QString DevicePath(int portNumber);
  // The port number in a name such as "Com4" or "\\.\Com10"; 0 when there is none.
  static int PortNumberFromName(const QString& name);

  // A serial device of the machine beyond COM1..COM30: a USB adapter found
  // under /dev/serial/by-id, or a /dev/ttyUSB* or /dev/ttyACM* device.
  struct MachineDevice {
    QString Label;  // what the port list shows: "FTDI FT232R USB UART A50285BI (ttyUSB0)"
    QString Path;   // the device file opened: "/dev/ttyUSB0"
  };
  // The machine's serial devices, each device once, sorted by label. The
  // folder searched is Places::DeviceRoot() (/dev unless a test installed another).
  static QList<MachineDevice> MachineDevices();

  // Step 1: opens the port exclusively for reading and writing. False when the
  // device does not exist, is in use or is not a terminal device we may open.
  // A name that starts with "/" is opened as that device file.
  bool Create(const QString& portName);
  // The errno of the last failed Create (EACCES when the user lacks the right), else 0.
  int OpenError() const { return openError_; }
  // When the last Create found the device in use (EBUSY): the program that
  // holds it, as "kelvara (PID 4711)", or empty when the system does not tell
  // (a process of another user).
  QString Holder() const;
  // Step 2: sizes the input queue (and notes the output size). Also empties
  // whatever the device had queued before it was opened.
  bool Setup(int inQueue, int outQueue);
  // Step 3: reads the current settings / applies baud rate, data bits, parity and
  // stop bits in raw mode. Raising DTR and RTS is attempted; pseudo-terminals
  // have no modem lines, which is not a failure.
  bool GetState(LineSettings* settings) const;
  bool SetState(const LineSettings& settings);
  // Step 4.
  bool GetTimeouts(Timeouts* timeouts) const;
  bool SetTimeouts(const Timeouts& timeouts);

  // Steps 1 to 4 for the tester's line, as the device window and kelvara-cli
  // open it: the port, queues of 1024 bytes, the port's settings changed to
  // the tester's line (TesterLine) and applied. Every step is tried even
  // after one failed, so each failure can be named; the settings applied are
  // left in *settings and *timeouts. The port stays as it is on a failure:
  // the caller closes it.
  struct TesterLineSteps {
    bool created = false;      // step 1
    bool setUp = false;        // step 2
    bool stateSet = false;     // step 3
    bool timeoutsSet = false;  // step 4
    bool Ok() const { return created && setUp && stateSet && timeoutsSet; }
  };
  TesterLineSteps OpenTesterLine(const QString& portName, LineSettings* settings, Timeouts* timeouts);

  void Close() override;
  bool IsOpen() const override { return fd_ >= 0; }

  // Starts one read. `done` runs exactly once, from the event loop or (when the
  // read can complete at once) before StartRead returns. A second read while one
  // is pending is refused (returns false, `done` is not called). When the port
  // is closed while a read is pending, the read completes with what it had.
  bool StartRead(int maxBytes, ReadDone done) override;

  // Reads at the line's pace, for kelvara-cli (off by default: the device
  // window keeps the time-outs). A read also ends as soon as a CR, the end of
  // the tester's answer, is among the bytes it takes, without waiting out the
  // read interval; and while it waits for more bytes, the port looks at the
  // device again after the time those bytes take on the line at the set baud
  // rate, as a UART with a receive FIFO would, instead of at every byte.
  void SetLinePacedReads(bool on) { paced_ = on; }

  // Writes the bytes, waiting at most WriteTotalTimeoutConstant +
  // WriteTotalTimeoutMultiplier x length ms. Returns the bytes handed over and
  // sets *error to 0 on success or to an errno value when not all of it went.
  int Write(const QByteArray& bytes, int* error) override;

  // True after the device reported a hang-up or a read error; the port stays
  // useless until it is closed and opened again.
  bool Broken() const { return broken_; }
  // Read failures (hang-up, I/O error) since the last call.
  int TakeReadFailures() override {
    int n = readFailures_;
    readFailures_ = 0;
    return n;
  }

 private:
  void OnReadable();
  void Arm();
  void Complete();
  void Pace();
  qint64 NowMs() const { return clock_.elapsed(); }

  int openError_ = 0;
  QByteArray openPath_;  // the device file the last Create tried
  int fd_ = -1;
  bool locked_ = false;
  QSocketNotifier* notifier_ = nullptr;
  QTimer* deadline_ = nullptr;
  QElapsedTimer clock_;
  struct Byte {
    char value;
    qint64 arrivedMs;
  };
  std::deque<Byte> queue_;
  int queueCapacity_ = 1024;
  Timeouts timeouts_{};
  bool stateSet_ = false;
  bool paced_ = false;
  qint64 byteNs_ = 0;        // one character on the line at the set baud rate
  QTimer* pace_ = nullptr;  // paced reads: when to look at the device again
  bool broken_ = false;
  int readFailures_ = 0;

  // The pending read.
  ReadDone pending_;
  int wanted_ = 0;
  qint64 startedMs_ = 0;
};
