// End to end: the device window with its real timers against zelto-sim on a
// pseudo-terminal linked as COM4.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <memory>

#include "device/TMessgeraet.h"
#include "platform/seams.h"
#include "tests/testutil.h"

namespace {

class SimLink : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    oldPorts_ = qgetenv("KELVARA_PORTS");
    qputenv("KELVARA_PORTS", dir_.path().toLocal8Bit());
  }
  void TearDown() override {
    w.reset();
    StopSim();
    if (oldPorts_.isNull())
      qunsetenv("KELVARA_PORTS");
    else
      qputenv("KELVARA_PORTS", oldPorts_);
  }
  void StartSim(const QStringList& args) {
    sim_ = std::make_unique<QProcess>();
    sim_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim_->start(KELVARA_SIM_PATH, QStringList{"--link", dir_.path() + "/com4"} + args);
    ASSERT_TRUE(sim_->waitForStarted(5000));
    ASSERT_TRUE(TestUtil::WaitFor([&] { return QFile::exists(dir_.path() + "/com4"); }, 5000));
  }
  void StopSim() {
    if (!sim_) return;
    sim_->terminate();
    sim_->waitForFinished(5000);
    sim_.reset();
  }
  void OpenWindow() {
    w = std::make_unique<TMessgeraet>(nullptr, 1000, 1);
    w->SetupWindow();
  }
  QString Text(int id) const { return w->GetDlgItemText(id); }
  bool ButtonsEnabled() const {
    for (QPushButton* b : w->RecordButton)
      if (!b->isEnabled()) return false;
    return true;
  }
  QStringList Log() const {
    QStringList lines;
    for (int i = 0; i < w->LogList->count(); ++i) lines << w->LogList->item(i)->text();
    return lines;
  }
  void LoadAll() {
    ASSERT_TRUE(TestUtil::WaitFor([&] { return ButtonsEnabled(); }, 5000));
    w->ButtonClicked(105);
    ASSERT_TRUE(TestUtil::WaitFor([&] { return w->LoadState == 0 && ButtonsEnabled(); }, 60000));
  }

  std::unique_ptr<TMessgeraet> w;
  std::unique_ptr<QProcess> sim_;
  QTemporaryDir dir_;
  QByteArray oldPorts_;
};

}  // namespace

TEST_F(SimLink, IdentifiesLoadsAndSteps) {
  const QString file = dir_.path() + "/records.txt";
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write("# norm code:raw x4\n0 3:1500 7:12000 9:32767 11:250\n1 4:1005 8:20000 10:15000 12:15000\n");
  f.close();
  StartSim({"--record-file", file});  // line rate: the log lines do not depend on timing
  OpenWindow();
  ASSERT_TRUE(TestUtil::WaitFor([&] { return Text(1448) == "Online"; }, 10000));
  EXPECT_EQ(Text(1104), "Com4:Baudrate: 38400/ Stopbits: 2/ Databits: 8/ Parity: 0");
  EXPECT_EQ(w->DeviceText, QString::fromUtf8("Zelto-Gerätetester  V2.04.11"));
  EXPECT_EQ(w->DeviceType, 2);

  w->ConnectionTestBox->setChecked(false);  // keep the log to the load
  TestUtil::Pump(300);
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
