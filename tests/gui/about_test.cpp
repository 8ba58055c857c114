// The about box: its texts, its layout and the ways it ends.
#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <memory>

#include "platform/seams.h"
#include "platform/wintimer.h"
#include "shell/dlgabout.h"
#include "shell/kelvara.h"
#include "tests/testutil.h"

namespace {

QString Text(QWidget* root, int id) {
  auto* label = TestUtil::Find<QLabel>(root, id);
  return label ? label->text() : QStringLiteral("<missing>");
}

TEST(DlgAbout, SetupReplacesTheTemplateTexts) {
  DlgAbout dialog(nullptr, 20050);
  EXPECT_EQ(Text(&dialog, 20043), QStringLiteral("Version 1.0"));
  dialog.SetupWindow();
  EXPECT_EQ(Text(&dialog, 20043), QStringLiteral("Version 1.22.00, 16.02.2010 "));
  EXPECT_EQ(Text(&dialog, 20044), QStringLiteral("Morvane\n"));
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Über..."));
  // The product-and-maker line names both and the years.
  bool found = false;
  for (QLabel* label : dialog.findChildren<QLabel*>()) {
    if (label->text() == QString::fromUtf8(DlgAbout::kProductLine)) {
      found = true;
      EXPECT_TRUE(label->text().contains("Kelvara") && label->text().contains("Morvane") &&
                  label->text().contains("2006/10"));
      EXPECT_EQ(label->textFormat(), Qt::PlainText);
      EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
    }
  }
  EXPECT_TRUE(found);
  // Template layout in pixels of the dialog font's units.
  EXPECT_EQ(dialog.size(), QSize(225, 228));
  auto* ok = TestUtil::Find<QPushButton>(&dialog, 1);
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->geometry(), QRect(86, 195, 60, 23));
  EXPECT_TRUE(ok->isDefault());
  TestUtil::Grab(&dialog, QStringLiteral("about-box"));
}

TEST(DlgAbout, OkEscapeAndCloseBoxEndIt) {
  for (int way = 0; way < 3; ++way) {
    DlgAbout dialog(nullptr, 20050);
    dialog.SetupWindow();
    dialog.show();
    ASSERT_TRUE(dialog.isVisible());
    if (way == 0) {
      TestUtil::Find<QPushButton>(&dialog, 1)->click();
      EXPECT_EQ(dialog.result(), QDialog::Accepted);
    } else if (way == 1) {
      QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QApplication::sendEvent(&dialog, &escape);
    } else {
      dialog.close();
    }
    EXPECT_FALSE(dialog.isVisible()) << way;
  }
}

TEST(DlgAbout, CommandBuildsANewDialogEachTime) {
  Seams::SetTimerResponder(TestUtil::ManualTimers);
  ChildWindowMakers makers;
  makers.MakeDevice = [](int) { return new QWidget; };
  makers.MakeForm = [](QWidget*, ArchiveService&) { return new QWidget; };
  auto app = std::make_unique<Kelvara>(QStringLiteral("Brisvel Kelvara"), 0, makers, [] { return HostInfo{}; });
  ASSERT_TRUE(app->InitMainWindow());
  std::vector<QString> versions;
  int asked = 0;
  Seams::SetGenericDialogResponder([&](const GenericDialogRequest& request) {
    ++asked;
    EXPECT_EQ(request.kind, QStringLiteral("about"));
    EXPECT_EQ(request.owner, app->Frame);
    // While it runs, exactly one about box exists, owned by the frame.
    const auto boxes = app->Frame->findChildren<DlgAbout*>();
    EXPECT_EQ(boxes.size(), 1);
    if (!boxes.isEmpty()) versions.push_back(Text(boxes[0], 20043));
    return Win::IDOK;
  });
  app->EvCommand(20034);
  EXPECT_TRUE(app->Frame->findChildren<DlgAbout*>().isEmpty());
  app->EvCommand(20034);
  EXPECT_TRUE(app->Frame->findChildren<DlgAbout*>().isEmpty());
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(versions, (std::vector<QString>{QStringLiteral("Version 1.22.00, 16.02.2010 "),
                                            QStringLiteral("Version 1.22.00, 16.02.2010 ")}));
  app.reset();
  Seams::SetTimerResponder(nullptr);
}

}  // namespace
