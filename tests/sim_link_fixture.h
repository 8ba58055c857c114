#pragma once
// The device window with its real timers against zelto-sim on a
// pseudo-terminal linked as COM4 in a port folder of its own.
#include <gtest/gtest.h>

#include <QFile>
#include <QListWidget>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <QTemporaryDir>
#include <memory>
#include <optional>

#include "device/TMessgeraet.h"
#include "tests/testutil.h"

class SimLink : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    ports_.emplace(dir_.path());
  }
  void TearDown() override {
    w.reset();
    StopSim();
    ports_.reset();
  }
  void StartSim(const QStringList& args, const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    sim_ = std::make_unique<QProcess>();
    sim_->setProcessEnvironment(env);
    sim_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    sim_->start(KELVARA_SIM_PATH, QStringList{"--link", dir_.path() + "/com4"} + args);
    ASSERT_TRUE(sim_->waitForStarted(5000));
    ASSERT_TRUE(TestUtil::WaitFor([&] { return QFile::exists(dir_.path() + "/com4"); }, 5000));
  }
  void StopSim() {
    if (!sim_) return;
    sim_->terminate();
    if (!sim_->waitForFinished(5000)) {
      sim_->kill();
      sim_->waitForFinished(5000);
    }
    sim_.reset();
  }
  // Writes a record file for --record-file into the test's folder; returns its path.
  QString RecordFile(const QByteArray& lines) {
    const QString path = dir_.path() + "/records.txt";
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(lines);
    return path;
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
  std::optional<TestUtil::ScopedPortFolder> ports_;
};
