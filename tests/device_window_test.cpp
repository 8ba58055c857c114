#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "controls/TColorStatic.h"
#include "device/TMessgeraet.h"
#include "platform/wintimer.h"
#include "tests/testutil.h"

namespace {
struct ManualTimers {
  ManualTimers() { WinTimers::SetManualForTests(true); }
  ~ManualTimers() { WinTimers::SetManualForTests(false); }
};
}  // namespace

TEST(DeviceWindow, GrabNormalAndDebug) {
  ManualTimers manual;
  TMessgeraet normal(nullptr, 1000, 0);
  normal.SetupWindow();
  TestUtil::Grab(&normal, "device_normal");
  TMessgeraet debug(nullptr, 1000, 1);
  debug.SetupWindow();
  for (int r = 0; r < 4; ++r) debug.MeasurementAvailable[r] = 1;
  debug.RefreshSettings();
  QImage img = TestUtil::Grab(&debug, "device_debug");
  img.copy(0, 0, img.width(), img.height() / 2).scaled(img.width() * 2, img.height(), Qt::IgnoreAspectRatio, Qt::FastTransformation).save(TestUtil::OutDir() + "/zoom_top.png");
  img.copy(0, img.height() / 2, img.width(), img.height() / 2).scaled(img.width() * 2, img.height(), Qt::IgnoreAspectRatio, Qt::FastTransformation).save(TestUtil::OutDir() + "/zoom_bottom.png");
}
