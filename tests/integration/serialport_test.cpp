// The serial port layer over real pseudo-terminals: which device "COMn" is,
// the four open steps, exclusive use, raw line settings and the read rules.
#include <gtest/gtest.h>

#include <optional>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include "core/serialport.h"
#include "tests/support/coretestutil.h"

namespace {

SerialPort::LineSettings Settings8N2() {
  SerialPort::LineSettings s;
  s.BaudRate = 38400;
  s.ByteSize = 8;
  s.Parity = 0;
  s.StopBits = 2;
  return s;
}

SerialPort::Timeouts ProgramTimeouts() {
  SerialPort::Timeouts t;
  t.ReadIntervalTimeout = 50;
  t.ReadTotalTimeoutMultiplier = 10;
  t.ReadTotalTimeoutConstant = 50;
  t.WriteTotalTimeoutMultiplier = 10;
  t.WriteTotalTimeoutConstant = 50;
  return t;
}

// A port folder of its own with a pseudo-terminal linked as com4.
class PtyPort : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    ports_.emplace(dir_.path());
    char name[256];
    ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0);
    slavePath_ = QString::fromLocal8Bit(name);
    ASSERT_TRUE(QFile::link(slavePath_, dir_.path() + "/com4"));
    int flags = fcntl(master_, F_GETFL);
    fcntl(master_, F_SETFL, flags | O_NONBLOCK);
  }
  void TearDown() override {
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
    ports_.reset();
  }
  bool OpenAll(SerialPort& port, const QString& name = "Com4") {
    return port.Create(name) && port.Setup(1024, 1024) && port.SetState(Settings8N2()) &&
           port.SetTimeouts(ProgramTimeouts());
  }
  void Send(const QByteArray& bytes) { ASSERT_EQ(write(master_, bytes.constData(), bytes.size()), bytes.size()); }
  QByteArray FromPort() {
    char buf[256];
    ssize_t n = read(master_, buf, sizeof buf);
    return n > 0 ? QByteArray(buf, static_cast<int>(n)) : QByteArray();
  }
  // Runs one read and waits for its completion.
  QByteArray ReadOnce(SerialPort& port, int maxBytes = 5) {
    bool done = false;
    QByteArray got;
    EXPECT_TRUE(port.StartRead(maxBytes, [&](const QByteArray& b) {
      got = b;
      done = true;
    }));
    EXPECT_TRUE(TestUtil::WaitFor([&] { return done; }, 3000));
    return got;
  }

  QTemporaryDir dir_;
  std::optional<TestUtil::ScopedPortFolder> ports_;
  int master_ = -1, slave_ = -1;
  QString slavePath_;
};

}  // namespace

TEST_F(PtyPort, ComNameMapsToPortFolderLinkOrSerialDevice) {
  EXPECT_EQ(SerialPort::DevicePath(4), dir_.path() + "/com4");
  EXPECT_EQ(SerialPort::DevicePath(3), QString("/dev/ttyS2"));
  EXPECT_EQ(SerialPort::PortNumberFromName("Com9"), 9);
  EXPECT_EQ(SerialPort::PortNumberFromName("\\\\.\\Com10"), 10);
  EXPECT_EQ(SerialPort::PortNumberFromName("lpt1"), 0);
  // A link whose device vanished still names that device: opening fails
  // rather than falling back to some other port.
  ASSERT_TRUE(QFile::link("/nonexistent/tty", dir_.path() + "/com7"));
  EXPECT_EQ(SerialPort::DevicePath(7), dir_.path() + "/com7");
  qunsetenv("KELVARA_PORTS");
  EXPECT_EQ(SerialPort::PortFolder(), QDir::homePath() + "/.kelvara/ports");
}

TEST_F(PtyPort, EveryStepAfterAFailedOneFails) {
  SerialPort missing;
  ASSERT_TRUE(QFile::link("/nonexistent/tty", dir_.path() + "/com7"));
  EXPECT_FALSE(missing.Create("Com7"));
  EXPECT_FALSE(missing.Setup(1024, 1024));
  EXPECT_FALSE(missing.SetState(Settings8N2()));
  EXPECT_FALSE(missing.SetTimeouts(ProgramTimeouts()));
  EXPECT_EQ(missing.Write("v\r", nullptr), 0);

  // A device that opens but is no serial line.
  ASSERT_TRUE(QFile::link("/dev/null", dir_.path() + "/com8"));
  SerialPort null;
  EXPECT_TRUE(null.Create("Com8"));
  EXPECT_FALSE(null.Setup(1024, 1024));
  EXPECT_FALSE(null.SetState(Settings8N2()));
  EXPECT_FALSE(null.SetTimeouts(ProgramTimeouts()));
}

TEST_F(PtyPort, OpensExclusivelyAndAgainAfterClose) {
  SerialPort first, second;
  ASSERT_TRUE(OpenAll(first));
  EXPECT_FALSE(second.Create("Com4"));
  SerialPort::LineSettings s;
  ASSERT_TRUE(first.GetState(&s));
  EXPECT_EQ(s.BaudRate, 38400u);
  EXPECT_EQ(s.ByteSize, 8);
  EXPECT_EQ(s.Parity, 0);
  EXPECT_EQ(s.StopBits, 2);
  first.Close();
  EXPECT_TRUE(OpenAll(second));
}

TEST_F(PtyPort, RawLineAndChunksOfAtMostFiveBytes) {
  SerialPort port;
  ASSERT_TRUE(OpenAll(port));
  // CR and LF arrive untranslated, and nothing is echoed back.
  Send(QByteArray("vQK236\r\n", 8));
  EXPECT_EQ(ReadOnce(port), QByteArray("vQK23"));
  EXPECT_EQ(ReadOnce(port), QByteArray("6\r\n"));
  TestUtil::Pump(20);
  EXPECT_TRUE(FromPort().isEmpty());
  // Bytes from 0x80 up and NUL pass through the layer unchanged.
  Send(QByteArray("\x00\xff", 2));
  EXPECT_EQ(ReadOnce(port), QByteArray("\x00\xff", 2));
  // Nothing on the line: the read ends empty by its time-out.
  EXPECT_EQ(ReadOnce(port), QByteArray());
  // Writes reach the other side.
  int error = -1;
  EXPECT_EQ(port.Write("l 0001\r", &error), 7);
  EXPECT_EQ(error, 0);
  TestUtil::WaitFor([] { return false; }, 20);
  EXPECT_EQ(FromPort(), QByteArray("l 0001\r"));
}

TEST_F(PtyPort, EventLoopRunsWhileAReadWaits) {
  SerialPort port;
  ASSERT_TRUE(OpenAll(port));
  int ticks = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
  ticker.start(1);
  bool done = false;
  QByteArray got;
  ASSERT_TRUE(port.StartRead(5, [&](const QByteArray& b) {
    got = b;
    done = true;
  }));
  EXPECT_FALSE(done);
  EXPECT_FALSE(port.StartRead(5, [](const QByteArray&) {}));  // one read at a time
  QTimer::singleShot(5, [&] { Send("ab"); });
  ASSERT_TRUE(TestUtil::WaitFor([&] { return done; }, 3000));
  EXPECT_EQ(got, QByteArray("ab"));
  EXPECT_GT(ticks, 3);
}

TEST_F(PtyPort, CloseAndHangUpFinishAPendingRead) {
  SerialPort port;
  ASSERT_TRUE(OpenAll(port));
  bool done = false;
  ASSERT_TRUE(port.StartRead(5, [&](const QByteArray&) { done = true; }));
  port.Close();
  EXPECT_FALSE(done);  // never from inside Close
  ASSERT_TRUE(TestUtil::WaitFor([&] { return done; }, 1000));

  ASSERT_TRUE(OpenAll(port));
  close(slave_);
  slave_ = -1;
  close(master_);  // the other side goes away
  master_ = -1;
  EXPECT_EQ(ReadOnce(port), QByteArray());
  EXPECT_TRUE(port.Broken());
  EXPECT_GE(port.TakeReadFailures(), 1);
  EXPECT_EQ(port.TakeReadFailures(), 0);
  int error = 0;
  port.Write("v\r", &error);
  EXPECT_NE(error, 0);
}
