#pragma once
// A device window with hand-driven timers and, on request, a pseudo-terminal
// linked as COM4 in a port folder of its own, whose far end the test plays.
#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QTemporaryDir>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <pty.h>
#include <unistd.h>

#include "device/TMessgeraet.h"
#include "platform/seams.h"
#include "platform/wintimer.h"
#include "tests/testutil.h"

class DeviceLink : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    ports_.emplace(dir_.path());
    Seams::SetTimerResponder(TestUtil::ManualTimers);
    w = std::make_unique<TMessgeraet>(nullptr, 1000, 1);
    w->SetupWindow();
  }
  void TearDown() override {
    w.reset();
    Seams::SetTimerResponder(nullptr);
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
    ports_.reset();
  }

  // Links a pseudo-terminal as com4 and lets the first link tick open it.
  void AttachPty() {
    char name[256];
    ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    ASSERT_TRUE(QFile::link(QString::fromLocal8Bit(name), dir_.path() + "/com4"));
    if (w->ReopenPending)
      w->EvTimer(TMessgeraet::LinkTimer);
    else
      w->EvSelChangeCom();
    ASSERT_TRUE(w->PortReady);
    Sent();  // the first probe
  }
  // What the window wrote to the line since the last call.
  QByteArray Sent() {
    TestUtil::Pump(2);
    QByteArray all;
    char buf[512];
    ssize_t n;
    while ((n = read(master_, buf, sizeof buf)) > 0) all.append(buf, static_cast<int>(n));
    return all;
  }
  // Bytes from the tester, framed in chunks of at most five as the poll tick takes them.
  void Feed(const QByteArray& bytes) {
    for (int i = 0; i < bytes.size(); i += 5) w->ProcessChunk(bytes.mid(i, 5));
  }
  void Identify() { Feed("vQK236 V2.04.11\r"); }
  QString Text(int id) const { return w->GetDlgItemText(id); }
  QStringList Log() const {
    QStringList lines;
    for (int i = 0; i < w->LogList->count(); ++i) lines << w->LogList->item(i)->text();
    return lines;
  }
  QStringList LogSince(int from) const { return Log().mid(from); }
  bool ButtonsEnabled() const {
    for (QPushButton* b : w->RecordButton)
      if (!b->isEnabled()) return false;
    return true;
  }
  bool ButtonsDisabled() const {
    for (QPushButton* b : w->RecordButton)
      if (b->isEnabled()) return false;
    return true;
  }

  std::unique_ptr<TMessgeraet> w;
  QTemporaryDir dir_;
  std::optional<TestUtil::ScopedPortFolder> ports_;
  int master_ = -1, slave_ = -1;
};
