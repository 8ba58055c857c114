// End to end: the device window with its real timers against zelto-sim on a
// pseudo-terminal linked as COM4.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <signal.h>
#include <vector>
#include <unistd.h>

#include "device/TMessgeraet.h"
#include "platform/seams.h"
#include "tests/sim_link_fixture.h"
#include "tests/testutil.h"

namespace {

// The program's end of the simulated line, opened directly, for looking at the
// simulator alone.
class RawLine {
 public:
  explicit RawLine(const QString& path)
      : fd_(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
  ~RawLine() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool IsOpen() const { return fd_ >= 0; }
  // Writes the bytes, waiting for room on the line for up to `limitMs`; returns how many went.
  qint64 Write(const QByteArray& bytes, int limitMs) {
    QElapsedTimer clock;
    clock.start();
    qint64 done = 0;
    while (done < bytes.size() && clock.elapsed() < limitMs) {
      ssize_t n = ::write(fd_, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
      if (n > 0) {
        done += n;
      } else {
        struct pollfd p = {fd_, POLLOUT, 0};
        ::poll(&p, 1, 100);
      }
    }
    return done;
  }
  // Reads until nothing came for `quietMs` (or `limitMs` passed).
  QByteArray Drain(int quietMs, int limitMs) {
    return ReadWhile([](const QByteArray&) { return true; }, quietMs, limitMs);
  }
  // Reads until what came contains `want` (or `limitMs` passed).
  QByteArray ReadUntil(const QByteArray& want, int limitMs) {
    return ReadWhile([&](const QByteArray& got) { return !got.contains(want); }, limitMs, limitMs);
  }

 private:
  template <typename More>
  QByteArray ReadWhile(More more, int quietMs, int limitMs) {
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (more(got) && clock.elapsed() < limitMs) {
      struct pollfd p = {fd_, POLLIN, 0};
      if (::poll(&p, 1, quietMs) <= 0) break;
      char buf[4096];
      ssize_t n = ::read(fd_, buf, sizeof buf);
      if (n <= 0) break;
      got.append(buf, static_cast<int>(n));
    }
    return got;
  }
  int fd_;
};

}  // namespace

TEST_F(SimLink, IdentifiesLoadsAndSteps) {
  const QString file =
      RecordFile("# norm code:raw x4\n0 3:1500 7:12000 9:32767 11:250\n1 4:1005 8:20000 10:15000 12:15000\n");
  StartSim({"--record-file", file});  // line rate: the log lines do not depend on timing
  OpenWindow();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return Text(1448) == "Online"; }, 10000));
  EXPECT_EQ(Text(1104), "Com4:Baudrate: 38400/ Stopbits: 2/ Databits: 8/ Parity: 0");
  EXPECT_EQ(w->DeviceText, QString::fromUtf8("Zelto-Gerätetester  V2.04.11"));
  EXPECT_EQ(w->DeviceType, 2);

  w->ConnectionTestBox->setChecked(false);  // keep the log to the load
  // A probe still on its way is answered before the load starts.
  ASSERT_TRUE(TestUtil::WaitFor([&] { return Log().last().startsWith("RxD:vQK"); }, 5000));
  int from = w->LogList->count();
  LoadAll();
  QStringList expected{"TxD:s", "RxD:s 0002", "RxD:d 0000 0 3 05DC"};
  const char* rest[7] = {"d 0001 0 7 2EE0", "d 0002 0 9 7FFF", "d 0003 0 B 00FA", "d 0004 1 4 03ED",
                         "d 0005 1 8 4E20", "d 0006 1 A 3A98", "d 0007 1 C 3A98"};
  for (int a = 0; a < 7; ++a) expected << QString("TxD:l %1").arg(a + 1, 4, 10, QChar('0')) << QString("RxD:") + rest[a];
  EXPECT_EQ(Log().mid(from), expected);
  EXPECT_EQ(w->RecordCount, 2);
  EXPECT_EQ(Text(1453), "001");
  EXPECT_EQ(w->ValueStatic[0]->text(), "  0.150");
  w->ButtonClicked(104);
  EXPECT_EQ(Text(1453), "002");
  EXPECT_EQ(w->ValueStatic[0]->text(), "   1.00");
  EXPECT_EQ(w->ValueStatic[1]->text(), "  200.0");
  EXPECT_EQ(w->NormCombo->currentIndex(), 1);
}

TEST_F(SimLink, ManyRecordsDeleteAllAndReload) {
  StartSim({"--fast", "--records", "30", "--seed", "5"});
  OpenWindow();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return w->DeviceType == 2; }, 10000));
  LoadAll();
  EXPECT_EQ(w->RecordCount, 30);
  EXPECT_EQ(Text(1466), "030");
  for (int i = 0; i < 5; ++i) w->ButtonClicked(109);
  EXPECT_EQ(Text(1453), "030");
  // Every record was read: its entries sit at addresses 4r to 4r+3.
  EXPECT_EQ(w->DeviceAddress, 119u);

  Seams::SetMessageBoxResponder([](const MessageBoxRequest&) { return int(Win::IDYES); });
  w->ButtonClicked(102);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return w->RecordCount == 0 && w->LoadState == 0 && ButtonsEnabled(); },
                                20000));
  EXPECT_EQ(Text(1466), "000");
}

TEST_F(SimLink, UnplugGoesOfflineAndReopensUntilBack) {
  StartSim({"--fast"});
  OpenWindow();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return Text(1448) == "Online"; }, 10000));
  StopSim();  // the cable is pulled
  ASSERT_TRUE(TestUtil::WaitFor([&] { return Text(1448) == "Offline"; }, 10000));
  EXPECT_EQ(Text(1104), "Schnittstelle nicht bereit!");
  StartSim({"--fast"});  // and plugged in again
  ASSERT_TRUE(TestUtil::WaitFor([&] { return Text(1448) == "Online"; }, 10000));
  EXPECT_TRUE(w->PortReady);
}

// Another program holds the port: the window says so, names it, and takes the
// port once it is free again.
TEST_F(SimLink, APortInUseByAnotherProgramIsNamed) {
  StartSim({"--fast"});
  QProcess holder;
  holder.start("flock", {"--close", dir_.path() + "/com4", "sleep", "600"});  // the lock stays with flock
  ASSERT_TRUE(holder.waitForStarted(5000));
  // flock has the lock once /proc/locks lists its process.
  ASSERT_TRUE(TestUtil::WaitFor(
      [&] {
        QFile locks("/proc/locks");
        return locks.open(QIODevice::ReadOnly) &&
               locks.readAll().contains(" " + QByteArray::number(qint64(holder.processId())) + " ");
      },
      5000));
  OpenWindow();
  w->EvSelChangeCom();
  EXPECT_FALSE(w->PortReady);
  EXPECT_EQ(Text(1104), QString("Schnittstelle belegt: flock (PID %1)").arg(holder.processId()));
  EXPECT_TRUE(w->Control(1104)->toolTip().contains("beenden")) << w->Control(1104)->toolTip().toStdString();
  holder.kill();
  holder.waitForFinished(5000);
  w->EvSelChangeCom();
  EXPECT_TRUE(w->PortReady);
}

TEST_F(SimLink, GarbageOnTheLineChangesNothingItShouldNot) {
  StartSim({"--fast", "--records", "3", "--garbage", "--crlf"});
  OpenWindow();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return w->DeviceType == 2; }, 10000));
  LoadAll();
  EXPECT_EQ(w->RecordCount, 3);
  EXPECT_EQ(w->DeviceAddress, 11u);
  EXPECT_EQ(w->DeviceText, QString::fromUtf8("Zelto-Gerätetester  V2.04.11"));
}

TEST_F(SimLink, AnswersInSmallPieces) {
  StartSim({"--fast", "--records", "2", "--split", "2"});
  OpenWindow();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return w->DeviceType == 2; }, 10000));
  LoadAll();
  EXPECT_EQ(w->RecordCount, 2);
  EXPECT_EQ(w->DeviceAddress, 7u);
}

TEST_F(SimLink, SilentTesterMidLoadReleasesTheButtons) {
  StartSim({"--fast", "--records", "5", "--silent-after", "12"});
  OpenWindow();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return w->DeviceType == 2; }, 10000));
  w->ConnectionTestBox->setChecked(false);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return ButtonsEnabled(); }, 5000));
  w->ButtonClicked(105);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return w->LoadState == 0 && ButtonsEnabled(); }, 20000));
  EXPECT_LT(w->RecordCount, 5);
}

// The tester's line goes dead in the middle of a load (after N load requests):
// the load is given up with a word, the connection test finds the tester gone,
// and once it is back it is found and loaded without a restart.
TEST_F(SimLink, TesterUnpluggedDuringALoadIsGivenUpAndFoundAgain) {
  OpenWindow();
  for (int n : {1, 6}) {
    StartSim({"--fast", "--records", "5", "--close-after", QString::number(n)});
    ASSERT_TRUE(TestUtil::WaitFor([&] { return w->DeviceType == 2 && Text(1448) == "Online"; }, 10000)) << n;
    ASSERT_TRUE(TestUtil::WaitFor([&] { return ButtonsEnabled(); }, 5000));
    w->ButtonClicked(105);
    ASSERT_TRUE(TestUtil::WaitFor([&] { return w->LoadState == 0 && ButtonsEnabled(); }, 30000)) << n;
    EXPECT_LT(w->RecordCount, 5) << n;
    EXPECT_TRUE(Text(1471).startsWith("Laden abgebrochen: ")) << Text(1471).toStdString();
    ASSERT_TRUE(TestUtil::WaitFor([&] { return Text(1448) == "Offline"; }, 10000)) << n;
    StopSim();
    StartSim({"--fast", "--records", "5"});
    ASSERT_TRUE(TestUtil::WaitFor([&] { return Text(1448) == "Online"; }, 10000)) << n;
    LoadAll();
    EXPECT_EQ(w->RecordCount, 5) << n;
    EXPECT_EQ(Text(1471), "");
    StopSim();
    ASSERT_TRUE(TestUtil::WaitFor([&] { return Text(1448) == "Offline"; }, 10000)) << n;
  }
}

TEST_F(SimLink, TesterKilledInTheMiddleOfASplitAnswerIsGivenUp) {
  StartSim({"--records", "5", "--split", "4"});
  OpenWindow();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return w->DeviceType == 2; }, 10000));
  ASSERT_TRUE(TestUtil::WaitFor([&] { return ButtonsEnabled(); }, 5000));
  w->ButtonClicked(105);
  // Wait until the second record is being read and a piece of an answer is in.
  ASSERT_TRUE(TestUtil::WaitFor([&] { return w->RecordIndex >= 1 && w->LineLength > 0; }, 20000));
  ::kill(static_cast<pid_t>(sim_->processId()), SIGKILL);
  sim_->waitForFinished(5000);
  sim_.reset();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return w->LoadState == 0 && ButtonsEnabled(); }, 30000));
  EXPECT_GE(w->RecordCount, 1);
  EXPECT_LT(w->RecordCount, 5);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return Text(1448) == "Offline"; }, 10000));
  StartSim({"--fast", "--records", "5"});
  ASSERT_TRUE(TestUtil::WaitFor([&] { return Text(1448) == "Online"; }, 10000));
  LoadAll();
  EXPECT_EQ(w->RecordCount, 5);
}

// A tester frozen during a load that wakes after the load was given up sends
// what it still owed; the records kept from the load stay as they were.
TEST_F(SimLink, AnswersOfAFrozenTesterAfterTheGiveUpChangeNoRecord) {
  StartSim({"--fast", "--records", "4"});
  OpenWindow();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return w->DeviceType == 2; }, 10000));
  w->ConnectionTestBox->setChecked(false);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return ButtonsEnabled(); }, 5000));
  w->ButtonClicked(105);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return w->RecordIndex >= 2; }, 20000));
  const pid_t pid = static_cast<pid_t>(sim_->processId());
  ::kill(pid, SIGSTOP);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return w->LoadState == 0 && ButtonsEnabled(); }, 30000));
  const int kept = w->RecordCount;
  ASSERT_GE(kept, 1);
  std::vector<DeviceRecord> before(w->Records.get(), w->Records.get() + kept);
  const int logged = w->LogList->count();
  ::kill(pid, SIGCONT);
  // The owed record-entry answer arrives and is logged ...
  ASSERT_TRUE(TestUtil::WaitFor(
      [&] {
        for (int i = logged; i < w->LogList->count(); ++i)
          if (w->LogList->item(i)->text().startsWith("RxD:d ")) return true;
        return false;
      },
      10000));
  TestUtil::Pump(50);
  // ... and changes nothing that was kept.
  EXPECT_EQ(w->RecordCount, kept);
  for (int r = 0; r < kept; ++r) {
    for (int e = 0; e < 4; ++e) {
      EXPECT_EQ(w->Records[r].RangeCode[e], before[r].RangeCode[e]) << r << "/" << e;
      EXPECT_EQ(w->Records[r].RawValue[e], before[r].RawValue[e]) << r << "/" << e;
    }
  }
}

TEST_F(SimLink, ANulAfterEveryAnswerLosesNoAnswer) {
  StartSim({"--fast", "--records", "4", "--nul"});
  OpenWindow();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return w->DeviceType == 2; }, 10000));
  LoadAll();
  EXPECT_EQ(w->RecordCount, 4);
  EXPECT_EQ(w->DeviceAddress, 15u);
  EXPECT_EQ(Text(1471), "");
}

// Junk and a 600-character line before every answer, sent in pieces of three
// bytes: about 4 s pass between two answers, and the load still completes.
TEST_F(SimLink, ASlowTesterThatKeepsSendingIsWaitedFor) {
  StartSim({"--fast", "--records", "1", "--garbage", "--crlf", "--overlong", "--split", "3"});
  OpenWindow();
  // No probes: their slow answers would queue up before the load's.
  w->ConnectionTestBox->setChecked(false);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return w->PortReady; }, 5000));
  w->ButtonClicked(1302);
  ASSERT_TRUE(TestUtil::WaitFor([&] { return w->DeviceType == 2; }, 20000));
  LoadAll();
  EXPECT_EQ(w->RecordCount, 1);
  EXPECT_EQ(w->DeviceAddress, 3u);
  EXPECT_EQ(Text(1471), "");
}

// The simulator on its own, with nobody reading its answers: it must go on
// taking commands, keep its answers whole, and stop when asked.
TEST_F(SimLink, SimulatorKeepsTakingCommandsWhileNobodyReads) {
  StartSim({"--fast"});
  RawLine line(dir_.path() + "/com4");
  ASSERT_TRUE(line.IsOpen());
  // About 90 kB of answers: more than the line holds.
  const QByteArray counts = QByteArray("s\r").repeated(4000);
  ASSERT_EQ(line.Write(counts, 20000), counts.size());
  // Unknown commands go unanswered, but they must still be read off the line.
  const QByteArray unknown = QByteArray("x\r").repeated(100000);
  ASSERT_EQ(line.Write(unknown, 20000), unknown.size());
  ASSERT_EQ(line.Write("d all\r", 5000), 6);

  const QByteArray backlog = line.Drain(500, 30000);
  ASSERT_TRUE(backlog.endsWith('\r'));
  const QRegularExpression whole("^(s [0-9A-F]{4}|d [0-9A-F]{4} [0-9A-F]+ [0-9A-F]+ [0-9A-F]{4}|d all ok)$");
  const QList<QByteArray> lines = backlog.left(backlog.size() - 1).split('\r');
  EXPECT_GT(lines.size(), 1000);
  for (const QByteArray& l : lines) ASSERT_TRUE(whole.match(QString::fromLatin1(l)).hasMatch()) << l.constData();

  // The delete sent while the answers were backed up took effect.
  ASSERT_EQ(line.Write("s\r", 5000), 2);
  EXPECT_TRUE(line.ReadUntil("s 0000\rd 0000 0 0 0000\r", 5000).endsWith("s 0000\rd 0000 0 0 0000\r"));

  // Backed up again, a termination request still ends it.
  ASSERT_EQ(line.Write(counts, 20000), counts.size());
  TestUtil::Pump(300);
  sim_->terminate();
  EXPECT_TRUE(sim_->waitForFinished(5000));
}

TEST_F(SimLink, SimulatorSendsDecimalPointsUnderAGermanLocale) {
  // A German environment must not turn the live value 1.234 into 1,234.
  const QString locales = dir_.path() + "/locales";
  QDir().mkpath(locales);
  QProcess localedef;
  localedef.start("localedef", {"-i", "de_DE", "-f", "UTF-8", locales + "/de_DE.UTF-8"});
  if (!localedef.waitForFinished(60000) || localedef.exitCode() != 0) GTEST_SKIP() << "no German locale available";
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("LOCPATH", locales);
  env.insert("LC_ALL", "de_DE.UTF-8");
  env.insert("LANG", "de_DE.UTF-8");
  StartSim({"--fast", "--measure", "20"}, env);
  RawLine line(dir_.path() + "/com4");
  ASSERT_TRUE(line.IsOpen());
  QByteArray got;
  for (int i = 0; i < 50 && got.count('\r') < 4; ++i) got += line.ReadUntil("\r", 1000);
  const QList<QByteArray> lines = got.split('\r');
  ASSERT_GE(lines.size(), 4);
  const QRegularExpression live("^m [0-9]+\\.[0-9]{3} [0-9A-F]+$");
  for (int i = 1; i < 3; ++i)  // the first may have been cut by opening mid-line
    EXPECT_TRUE(live.match(QString::fromLatin1(lines[i])).hasMatch()) << lines[i].constData();
}

TEST_F(SimLink, SimulatorRecordFileNumbersAreDecimalOrHex) {
  // A leading zero is not octal; 0x marks hexadecimal.
  const QString file = RecordFile("1 3:0250 7:0x2EE0 9:32767 11:08\n");
  StartSim({"--fast", "--record-file", file});
  RawLine line(dir_.path() + "/com4");
  ASSERT_TRUE(line.IsOpen());
  ASSERT_EQ(line.Write("l 0000\rl 0001\rl 0003\r", 5000), 21);
  const QByteArray want = "d 0000 1 3 00FA\rd 0001 1 7 2EE0\rd 0003 1 B 0008\r";
  EXPECT_EQ(line.ReadUntil(want, 5000), want);
}
